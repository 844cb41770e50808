#include "ui/widget_style.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(WidgetStyleTest, Defaults) {
  const WidgetStyle s;
  EXPECT_EQ(0xFF000000u, s.textColor);
  EXPECT_EQ(0x00FFFFFFu, s.fillColor);
  EXPECT_EQ(0u, s.borderWidth);
  EXPECT_EQ(0, s.cornerRadius);
  EXPECT_EQ(0xFFC0C0C0u, s.borderColor);
  EXPECT_EQ(16u, s.fontSize);
  // Neither target of these tests is Windows XP.
  EXPECT_EQ(L"Microsoft Yahei", s.fontFamily);
  EXPECT_FALSE(s.underline);
  EXPECT_FALSE(s.bold);
  EXPECT_EQ(kAlignNear, s.hAlign);
  EXPECT_EQ(kAlignCentre, s.vAlign);
  EXPECT_EQ(0, s.iconPlacement);
}

TEST(WidgetStyleTest, StatesAndFallback) {
  WidgetStyleSet set;
  for (int state = 0; state < 4; ++state) set[state].fontSize = 10 + state;
  for (int state = 0; state < 4; ++state) EXPECT_EQ(10u + state, set.ForState(state).fontSize);
  // Any other state value reads a default record.
  for (int state : {-1, 4, 100}) {
    SCOPED_TRACE(state);
    EXPECT_EQ(16u, set.ForState(state).fontSize);
  }
}

}  // namespace
}  // namespace pelmar
