#include "ui/button_resource.h"

#include "ui/ui_test_fixture.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

using test::Dib;

class ButtonResourceTest : public test::SkinTest {};

TEST_F(ButtonResourceTest, DefaultFillPerState) {
  const struct {
    int state;
    uint32_t fill;
  } cases[] = {{kStateNormal, 0xFF4197FF},
               {kStateHover, 0xFF62A6FB},
               {kStatePressed, 0xFF1873DE},
               {kStateDisabled, 0xFFD8D8D8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    CButtonResource b(3, L"", nullptr);
    b.SetState(c.state);
    ASSERT_TRUE(b.SetRect(0, 0, 120, 40));
    Dib dib(120, 40);
    EXPECT_TRUE(b.Draw(dib.dc()));
    EXPECT_EQ(c.fill, dib.Pixel(60, 20));
    EXPECT_EQ(c.fill, dib.Pixel(2, 20));
  }
}

// The caption really is drawn: pixels other than the fill inside the caption's
// rectangle, in white on the brand blue, for Latin and Chinese captions.
TEST_F(ButtonResourceTest, CaptionPixelsAppear) {
  const struct {
    const wchar_t* caption;
    bool underline;
    bool bold;
  } cases[] = {{L"Install", false, false},
               {L"立即安装", false, false},
               {L"立即安装", false, true},
               {L"用户使用协议", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.underline << c.bold);
    WidgetStyleSet styles = CButtonResource::DefaultStyles();
    styles[kStateNormal].fillColor = 0xFF084AF4;
    styles[kStateNormal].underline = c.underline;
    styles[kStateNormal].bold = c.bold;
    CButtonResource b(3, c.caption, &styles);
    ASSERT_TRUE(b.SetRect(0, 0, 210, 60));
    Dib dib(210, 60);
    b.Draw(dib.dc());
    const int ink = dib.CountOther(0, 0, 210, 60, 0xFF084AF4);
    EXPECT_GT(ink, 60);
    // Centred: the left and right fifths stay plain.
    EXPECT_EQ(0, dib.CountOther(4, 4, 40, 56, 0xFF084AF4));
    EXPECT_EQ(0, dib.CountOther(170, 4, 206, 56, 0xFF084AF4));
    // The ink is white text, not some other colour.
    int whiteish = 0;
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 210; ++x) {
        const uint32_t p = dib.Pixel(x, y);
        if (test::Red(p) > 200 && test::Green(p) > 200) ++whiteish;
      }
    }
    EXPECT_GT(whiteish, 10);
  }
}

TEST_F(ButtonResourceTest, IconBesideCaptionAndDisabledWithoutIcon) {
  WidgetStyleSet styles;
  for (int s = 0; s < 4; ++s) styles[s].textColor = 0xFF4D4D4D;
  styles[kStateNormal].iconPlacement = kIconRight;
  styles[kStateHover].iconPlacement = kIconRight;
  CButtonResource b(4, L"自定义安装", &styles);
  b.SetStateIcon(kStateNormal, Picture(L"main_word_custom_normal.png"));
  b.SetStateIcon(kStateHover, Picture(L"main_word_custom_hover.png"));
  ASSERT_TRUE(b.SetRect(0, 0, 120, 20));
  // The square icon fits the height, flush right; the caption ends 3 pixels before it.
  EXPECT_EQ((UiRect{100, 0, 120, 20}), b.iconRect());
  EXPECT_EQ((UiRect{0, 0, 97, 20}), b.CaptionRect());

  Dib normal(120, 20);
  b.Draw(normal.dc());
  EXPECT_GT(normal.CountOther(100, 0, 120, 20, 0xFFFFFFFF), 10);  // the arrow
  EXPECT_GT(normal.CountOther(0, 0, 97, 20, 0xFFFFFFFF), 30);     // the caption

  // Disabled without a disabled icon: no icon, the caption over the whole rectangle.
  b.SetState(kStateDisabled);
  EXPECT_EQ(b.rect(), b.CaptionRect());
  Dib disabled(120, 20);
  b.Draw(disabled.dc());
  EXPECT_EQ(0, disabled.CountOther(104, 0, 120, 20, 0xFFFFFFFF));

  // Icon placement left.
  styles[kStateNormal].iconPlacement = kIconLeft;
  CButtonResource back(1, L"返回", &styles);
  back.SetStateIcon(kStateNormal, Picture(L"custom_btn_back_normal.png"));
  ASSERT_TRUE(back.SetRect(10, 10, 90, 42));
  EXPECT_EQ((UiRect{10, 10, 42, 42}), back.iconRect());
  EXPECT_EQ((UiRect{45, 10, 90, 42}), back.CaptionRect());
}

TEST_F(ButtonResourceTest, CloseButtonKeepsSquareByAspectRatio) {
  WidgetStyleSet styles;
  for (int s = 0; s < 3; ++s) {
    styles[s].fillColor = 0x00FFFFFF;
    styles[s].borderColor = 0x00FFFFFF;
  }
  CButtonResource close(2, L"", &styles);
  close.SetAspectRatio(1.0);
  close.SetStateIcon(kStateNormal, Picture(L"global_btn_close_normal.png"));
  ASSERT_TRUE(close.SetRect(500, 0, 560, 30));
  EXPECT_EQ((UiRect{515, 0, 545, 30}), close.rect());
  EXPECT_EQ((UiRect{515, 0, 545, 30}), close.iconRect());
  Dib dib(600, 30);
  close.Draw(dib.dc());
  EXPECT_GT(dib.CountOther(515, 0, 545, 30, 0xFFFFFFFF), 10);
  EXPECT_EQ(0, dib.CountOther(0, 0, 515, 30, 0xFFFFFFFF));
}

}  // namespace
}  // namespace pelmar
