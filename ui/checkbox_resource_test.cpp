#include "ui/checkbox_resource.h"

#include "ui/ui_test_fixture.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

using test::Dib;

class CheckboxResourceTest : public test::SkinTest {};

TEST_F(CheckboxResourceTest, PictureFollowsTheFlag) {
  CCheckboxResource box(6, nullptr, L"我已阅读并同意", Picture(L"main_checkbox_select.png"),
                        Picture(L"main_checkbox_deselect.png"));
  EXPECT_TRUE(box.checked());  // starts ticked
  ASSERT_TRUE(box.SetRect(0, 0, 160, 32));
  EXPECT_EQ((UiRect{0, 0, 32, 32}), box.iconRect());
  EXPECT_EQ((UiRect{35, 0, 160, 32}), box.CaptionRect());

  Dib ticked(160, 32);
  box.Draw(ticked.dc());
  // The ticked picture is a blue square with a white tick.
  const uint32_t fill = ticked.Pixel(6, 8);
  EXPECT_GT(test::Blue(fill), 200);
  EXPECT_LT(test::Red(fill), 60);
  EXPECT_GT(ticked.CountOther(35, 0, 160, 32, 0xFFFFFFFF), 40);  // caption in grey

  box.SetChecked(false);
  Dib unticked(160, 32);
  box.Draw(unticked.dc());
  // The unticked picture: white inside, grey frame.
  EXPECT_EQ(0xFFFFFFFFu, unticked.Pixel(16, 16));
  const uint32_t frame = unticked.Pixel(5, 16);
  EXPECT_LT(test::Red(frame), 240);
  EXPECT_EQ(test::Red(frame), test::Blue(frame));
}

TEST_F(CheckboxResourceTest, DefaultTextColoursPerState) {
  const struct {
    int state;
    Argb text;
  } cases[] = {{kStateNormal, 0xFF4D4D4D},
               {kStateHover, 0xFF4197FF},
               {kStatePressed, 0xFF1873DE},
               {kStateDisabled, 0xFF000000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    CCheckboxResource box(6, nullptr, L"同意", nullptr, nullptr);
    box.SetState(c.state);
    EXPECT_EQ(c.text, box.Style().textColor);
    EXPECT_EQ(0x00FFFFFFu, box.Style().fillColor);
    // Without pictures the caption takes the whole rectangle, centred vertically.
    ASSERT_TRUE(box.SetRect(0, 0, 100, 40));
    EXPECT_EQ(box.rect(), box.CaptionRect());
    Dib dib(100, 40);
    box.Draw(dib.dc());
    EXPECT_GT(dib.CountOther(0, 8, 100, 32, 0xFFFFFFFF), 20);
    EXPECT_EQ(0, dib.CountOther(0, 0, 100, 6, 0xFFFFFFFF));
  }
}

}  // namespace
}  // namespace pelmar
