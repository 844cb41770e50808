#include "ui/layout_resource.h"

#include <gtest/gtest.h>

#include <mutex>

#include "base/app_context.h"
#include "ui/spacer_resource.h"

namespace pelmar {
namespace {

class LayoutResourceTest : public testing::Test {
 protected:
  void SetScale(double scale) {
    AppContext* ctx = CreateAppContext();
    std::lock_guard<CXMutex> lock(ctx->mutex);
    ctx->displayScale = scale;
  }
  void TearDown() override { DeleteAppContext(); }
};

// The main page's outline: a vertical root with margins, a background, a top
// bar holding a spacer and a square slot, and a weighted body.
TEST_F(LayoutResourceTest, NestedLayoutsAndBackground) {
  for (double scale : {1.0, 1.5}) {
    SCOPED_TRACE(scale);
    SetScale(scale);
    CLayoutResource root(kLayoutVertical);
    CSpacerResource background, barSpacer, close, body;
    CLayoutResource bar(kLayoutHorizontal);
    root.SetMargins(20, 24, 20, 24);
    root.SetBackground(&background);
    root.AddChild(&bar, 4);
    root.AddChild(&body, 45);
    bar.AddChild(&barSpacer, 27);
    bar.AddChild(&close, 1);

    const int w = static_cast<int>(600 * scale), h = static_cast<int>(400 * scale);
    ASSERT_TRUE(root.SetRect(0, 0, w, h));
    EXPECT_EQ((UiRect{0, 0, w, h}), background.rect());
    EXPECT_EQ((UiRect{0, 0, w, h}), root.rect());
    const int l = RoundCoord(20 * scale), t = RoundCoord(24 * scale);
    EXPECT_EQ(l, bar.rect().left);
    EXPECT_EQ(t, bar.rect().top);
    EXPECT_EQ(w - l, close.rect().right);
    EXPECT_EQ(bar.rect().top, close.rect().top);
    EXPECT_EQ(bar.rect().bottom, close.rect().bottom);
    EXPECT_EQ(barSpacer.rect().right, close.rect().left);
    EXPECT_EQ(bar.rect().bottom, body.rect().top);
    EXPECT_EQ(h - t, body.rect().bottom);
    // The bar is 4/49 of the inner height; the close slot 1/28 of the bar.
    const double inner = h - 2 * 24 * scale;
    EXPECT_NEAR(inner * 4 / 49, bar.rect().Height(), 1);
    EXPECT_NEAR((w - 2 * 20 * scale) / 28, close.rect().Width(), 1);
    DeleteAppContext();
  }
}

TEST_F(LayoutResourceTest, FailureLeavesChildrenAndBackgroundWhereTheyWere) {
  CLayoutResource root(kLayoutVertical);
  CSpacerResource background, a, b;
  root.SetBackground(&background);
  root.SetMargins(0, 10, 0, 10);
  root.AddChild(&a, 1);
  root.AddChild(&b, 1);
  ASSERT_TRUE(root.SetRect(0, 0, 100, 100));
  const UiRect before = a.rect();
  // Too short for the margins plus a pixel per child.
  EXPECT_FALSE(root.SetRect(0, 0, 100, 21));
  EXPECT_EQ(before, a.rect());
  EXPECT_EQ((UiRect{0, 0, 100, 100}), background.rect());
  // The layout itself records the rectangle it was given.
  EXPECT_EQ((UiRect{0, 0, 100, 21}), root.rect());
}

TEST_F(LayoutResourceTest, EmptyOrZeroWeightLayoutPlacesNothing) {
  CLayoutResource empty(kLayoutHorizontal);
  EXPECT_FALSE(empty.SetRect(0, 0, 100, 100));
  CLayoutResource zero(kLayoutHorizontal);
  CSpacerResource a;
  zero.AddChild(&a, 0);
  EXPECT_FALSE(zero.SetRect(0, 0, 100, 100));
  EXPECT_EQ((UiRect{0, 0, 50, 20}), a.rect());  // a new resource's rectangle
}

TEST_F(LayoutResourceTest, NestedLayoutThatDoesNotFitKeepsItsChildren) {
  CLayoutResource root(kLayoutHorizontal);
  CLayoutResource inner(kLayoutVertical);
  CSpacerResource leaf;
  inner.SetMargins(0, 30, 0, 30);
  inner.AddChild(&leaf, 1);
  root.AddChild(&inner, 1);
  // The root fits; the inner layout (50 high, needs 61) does not.
  EXPECT_TRUE(root.SetRect(0, 0, 80, 50));
  EXPECT_EQ((UiRect{0, 0, 80, 50}), inner.rect());
  EXPECT_EQ((UiRect{0, 0, 50, 20}), leaf.rect());
}

}  // namespace
}  // namespace pelmar
