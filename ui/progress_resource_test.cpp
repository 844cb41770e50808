#include "ui/progress_resource.h"

#include "ui/ui_test_fixture.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

using test::Dib;

class ProgressResourceTest : public test::SkinTest {};

TEST_F(ProgressResourceTest, BarFollowsThePercentage) {
  const struct {
    unsigned percent;
    int barRight;
  } cases[] = {{0, 10}, {1, 14}, {50, 210}, {100, 410}, {180, 410}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.percent);
    CProgressResource bar(nullptr);
    EXPECT_EQ(2, bar.id());
    ASSERT_TRUE(bar.SetRect(10, 10, 410, 18));
    bar.SetPercent(c.percent);
    EXPECT_EQ((UiRect{10, 10, c.barRight, 18}), bar.barRect());
    Dib dib(420, 30);
    bar.Draw(dib.dc());
    // Middle row: bar colour up to the bar's end, track colour after it.
    if (c.barRight - 10 >= 20) {
      EXPECT_EQ(0xFF4197FFu, dib.Pixel(c.barRight - 10, 14));
    }
    if (c.barRight < 400) {
      EXPECT_EQ(0xFFEEEEEEu, dib.Pixel(c.barRight + 5, 14));
    }
    if (c.percent == 0) {
      EXPECT_EQ(0xFFEEEEEEu, dib.Pixel(12, 14));
    }
  }
}

TEST_F(ProgressResourceTest, SetRectRecomputesTheBar) {
  CProgressResource bar(nullptr);
  bar.SetPercent(25);
  ASSERT_TRUE(bar.SetRect(0, 0, 200, 10));
  EXPECT_EQ((UiRect{0, 0, 50, 10}), bar.barRect());
  ASSERT_TRUE(bar.SetRect(100, 0, 500, 10));
  EXPECT_EQ((UiRect{100, 0, 200, 10}), bar.barRect());
}

}  // namespace
}  // namespace pelmar
