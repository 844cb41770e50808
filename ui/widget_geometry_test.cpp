#include "ui/widget_geometry.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

struct LayoutCase {
  const char* what;
  UiRect rect;
  int direction;
  LayoutMargins margins;
  double scale;
  std::vector<unsigned> weights;
  std::size_t children;
  bool fits;
  std::vector<UiRect> expected;
};

const LayoutCase kLayoutCases[] = {
    // Weights are pixels when the length equals their sum.
    {"vertical 4/3/42 over 49 plus margins",
     {0, 0, 100, 49 + 24 + 24},
     kLayoutVertical,
     {20, 24, 20, 24, 0},
     1.0,
     {4, 3, 42},
     3,
     true,
     {{20, 24, 80, 28}, {20, 28, 80, 31}, {20, 31, 80, 73}}},
    // Spacing sits between children only, not after the last.
    {"horizontal with spacing",
     {10, 5, 10 + 2 + 30 + 4 + 60 + 2, 25},
     kLayoutHorizontal,
     {2, 1, 2, 1, 4},
     1.0,
     {1, 2},
     2,
     true,
     {{12, 6, 42, 24}, {46, 6, 106, 24}}},
    // Margins and spacing scale with the display; weights stay proportions.
    {"scale 1.5",
     {0, 0, 300, 100},
     kLayoutHorizontal,
     {10, 0, 10, 0, 0},
     1.5,
     {1, 1},
     2,
     true,
     {{15, 0, 150, 100}, {150, 0, 285, 100}}},
    // Fractional units round each edge independently.
    {"thirds",
     {0, 0, 10, 10},
     kLayoutVertical,
     {},
     1.0,
     {1, 1, 1},
     3,
     true,
     {{0, 0, 10, 3}, {0, 3, 10, 7}, {0, 7, 10, 10}}},
    {"weights sum to 0", {0, 0, 100, 100}, kLayoutVertical, {}, 1.0, {0, 0}, 2, false, {}},
    {"fewer weights than children", {0, 0, 100, 100}, kLayoutVertical, {}, 1.0, {1}, 2, false, {}},
    {"more weights than children",
     {0, 0, 100, 100},
     kLayoutVertical,
     {},
     1.0,
     {1, 2},
     1,
     false,
     {}},
    {"no children", {0, 0, 100, 100}, kLayoutHorizontal, {}, 1.0, {}, 0, false, {}},
    // Along: 3 children need 3 + 10 + 10 + 2*5 = 33.
    {"too short along",
     {0, 0, 100, 32},
     kLayoutVertical,
     {0, 10, 0, 10, 5},
     1.0,
     {1, 1, 1},
     3,
     false,
     {}},
    {"exactly long enough along",
     {0, 0, 100, 33},
     kLayoutVertical,
     {0, 10, 0, 10, 5},
     1.0,
     {1, 1, 1},
     3,
     true,
     {{0, 10, 100, 11}, {0, 16, 100, 17}, {0, 22, 100, 23}}},
    {"too narrow across",
     {0, 0, 39, 100},
     kLayoutVertical,
     {20, 0, 20, 0, 0},
     1.0,
     {1},
     1,
     false,
     {}},
    {"margins that grow with the scale no longer fit",
     {0, 0, 100, 45},
     kLayoutVertical,
     {0, 20, 0, 20, 0},
     1.5,
     {1},
     1,
     false,
     {}},
    {"unknown direction", {0, 0, 100, 100}, 3, {}, 1.0, {1}, 1, false, {}},
};

class WeightedLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(WeightedLayoutTest, PlacesChildren) {
  const LayoutCase& c = GetParam();
  std::vector<UiRect> out{{1, 2, 3, 4}};
  EXPECT_EQ(c.fits, ComputeWeightedLayout(c.rect, c.direction, c.margins, c.scale, c.weights,
                                          c.children, &out));
  ASSERT_EQ(c.expected.size(), out.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c.expected[i].left, out[i].left);
    EXPECT_EQ(c.expected[i].top, out[i].top);
    EXPECT_EQ(c.expected[i].right, out[i].right);
    EXPECT_EQ(c.expected[i].bottom, out[i].bottom);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WeightedLayoutTest, testing::ValuesIn(kLayoutCases),
                         [](const testing::TestParamInfo<LayoutCase>& info) {
                           return "case" + std::to_string(info.index);
                         });

TEST(WeightedLayoutTest, ChildrenTileTheLengthWithoutGaps) {
  // Many odd weights over an odd length: each child starts where the last ended.
  std::vector<unsigned> weights;
  for (unsigned i = 1; i <= 17; ++i) weights.push_back(i * 7 % 11 + 1);
  for (int length : {97, 113, 640, 1001}) {
    SCOPED_TRACE(length);
    std::vector<UiRect> out;
    ASSERT_TRUE(ComputeWeightedLayout({0, 0, length, 50}, kLayoutHorizontal, {}, 1.0, weights,
                                      weights.size(), &out));
    EXPECT_EQ(0, out.front().left);
    EXPECT_EQ(length, out.back().right);
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i - 1].right, out[i].left);
  }
}

struct ArcCase {
  const char* what;
  int x, y, w, h, diameter;
  std::array<ArcSpec, 4> expected;
};

const ArcCase kArcCases[] = {
    // Radius 10: the three far corners use 21-pixel arcs, one pixel further in.
    {"radius 10",
     0,
     0,
     100,
     40,
     20,
     {{{0, 0, 20, 180}, {78, 0, 21, 270}, {78, 18, 21, 0}, {0, 18, 21, 90}}}},
    {"radius 10 on exactly 20 x 20",
     5,
     7,
     20,
     20,
     20,
     {{{5, 7, 20, 180}, {3, 7, 21, 270}, {3, 5, 21, 0}, {5, 5, 21, 90}}}},
    {"radius 9",
     0,
     0,
     100,
     40,
     18,
     {{{0, 0, 18, 180}, {81, 0, 18, 270}, {81, 21, 18, 0}, {0, 21, 18, 90}}}},
    {"radius 11",
     0,
     0,
     100,
     40,
     22,
     {{{0, 0, 22, 180}, {77, 0, 22, 270}, {77, 17, 22, 0}, {0, 17, 22, 90}}}},
    // The diameter never exceeds the smaller side.
    {"radius 100 on a 40-high bar",
     10,
     10,
     200,
     40,
     200,
     {{{10, 10, 40, 180}, {169, 10, 40, 270}, {169, 9, 40, 0}, {10, 9, 40, 90}}}},
};

TEST(RoundedRectArcsTest, Table) {
  for (const ArcCase& c : kArcCases) {
    SCOPED_TRACE(c.what);
    const auto arcs = RoundedRectArcs(c.x, c.y, c.w, c.h, c.diameter);
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(c.expected[i].x, arcs[i].x);
      EXPECT_EQ(c.expected[i].y, arcs[i].y);
      EXPECT_EQ(c.expected[i].size, arcs[i].size);
      EXPECT_EQ(c.expected[i].startAngle, arcs[i].startAngle);
    }
  }
}

struct PlaceCase {
  const char* what;
  UiRect given;
  int hMargin, vMargin;
  double scale, aspect;
  UiRect expected;
};

const PlaceCase kPlaceCases[] = {
    {"free", {3, 4, 50, 60}, 0, 0, 1.0, 0.0, {3, 4, 50, 60}},
    // Wider than the ratio allows keeps the width and shortens the height, centred.
    {"aspect 3.5 on 210 x 80", {0, 0, 210, 80}, 0, 0, 1.0, 3.5, {0, 10, 210, 70}},
    // Taller than the ratio keeps the height and narrows, centred.
    {"aspect 1 on 100 x 40", {10, 0, 110, 40}, 0, 0, 1.0, 1.0, {40, 0, 80, 40}},
    // Margins grow the slot outward on both sides.
    {"vertical margin 4", {0, 10, 200, 40}, 0, 4, 1.0, 0.0, {0, 6, 200, 44}},
    {"vertical margin 4 at scale 1.5", {0, 10, 200, 40}, 0, 4, 1.5, 0.0, {0, 4, 200, 46}},
    {"horizontal margin 3", {10, 0, 110, 20}, 3, 0, 1.0, 0.0, {7, 0, 113, 20}},
    // A negative margin shrinks it: the check box's -4 and the title backgrounds' -1/-2.
    {"vertical margin -4", {0, 0, 200, 30}, 0, -4, 1.0, 0.0, {0, 4, 200, 26}},
    {"margins -1/-2", {10, 5, 590, 35}, -1, -2, 1.0, 0.0, {11, 7, 589, 33}},
    {"margins -1/-2 at scale 2", {10, 5, 590, 35}, -1, -2, 2.0, 0.0, {12, 9, 588, 31}},
    // The ratio applies to the grown rectangle.
    {"margins then aspect", {10, 5, 110, 55}, 10, 5, 1.0, 2.0, {0, 0, 120, 60}},
    {"margins then aspect narrows", {10, 10, 110, 20}, 0, 10, 1.0, 2.0, {30, 0, 90, 30}},
    {"tiny aspect counts as free", {0, 0, 10, 10}, 0, 0, 1.0, 1e-9, {0, 0, 10, 10}},
    // Nothing to proportion: left as it is.
    {"zero height", {0, 5, 100, 5}, 0, 0, 1.0, 2.0, {0, 5, 100, 5}},
};

TEST(PlaceWithMarginsTest, Table) {
  for (const PlaceCase& c : kPlaceCases) {
    SCOPED_TRACE(c.what);
    const UiRect r = PlaceWithMargins(c.given, c.hMargin, c.vMargin, c.scale, c.aspect);
    EXPECT_EQ(c.expected.left, r.left);
    EXPECT_EQ(c.expected.top, r.top);
    EXPECT_EQ(c.expected.right, r.right);
    EXPECT_EQ(c.expected.bottom, r.bottom);
  }
}

struct FitCase {
  const char* what;
  UiRect box;
  unsigned pw, ph;
  int placement;
  UiRect centred;
  UiRect icon;
};

const FitCase kFitCases[] = {
    {"square into wide", {0, 0, 100, 20}, 32, 32, kIconLeft, {40, 0, 60, 20}, {0, 0, 20, 20}},
    {"square into wide, right",
     {0, 0, 100, 20},
     32,
     32,
     kIconRight,
     {40, 0, 60, 20},
     {80, 0, 100, 20}},
    {"wide into square", {0, 0, 60, 60}, 1200, 604, kIconLeft, {0, 15, 60, 45}, {0, 15, 60, 45}},
    {"exact", {5, 5, 245, 245}, 240, 240, kIconLeft, {5, 5, 245, 245}, {5, 5, 245, 245}},
    {"empty picture", {0, 0, 10, 10}, 0, 0, kIconLeft, {5, 5, 5, 5}, {0, 5, 0, 5}},
};

TEST(FitPictureTest, Table) {
  for (const FitCase& c : kFitCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.centred, FitCentered(c.box, c.pw, c.ph));
    EXPECT_EQ(c.icon, FitIcon(c.box, c.pw, c.ph, c.placement));
  }
}

TEST(CaptionBesideIconTest, GapAndPlacement) {
  EXPECT_EQ((UiRect{23, 0, 100, 20}), CaptionBesideIcon({0, 0, 100, 20}, 20, kIconLeft));
  EXPECT_EQ((UiRect{0, 0, 77, 20}), CaptionBesideIcon({0, 0, 100, 20}, 20, kIconRight));
  // No gap on a button 3 pixels wide or less.
  EXPECT_EQ((UiRect{2, 0, 3, 3}), CaptionBesideIcon({0, 0, 3, 3}, 2, kIconLeft));
}

TEST(ProgressBarRectTest, Percentages) {
  const UiRect track{10, 20, 211, 28};  // 201 wide: truncation shows
  const struct {
    unsigned percent;
    int right;
  } cases[] = {{0, 10}, {1, 12}, {50, 110}, {99, 208}, {100, 211}, {250, 211}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.percent);
    EXPECT_EQ((UiRect{10, 20, c.right, 28}), ProgressBarRect(track, c.percent));
  }
}

TEST(BreakTextLinesTest, Table) {
  const struct {
    const wchar_t* text;
    std::size_t width;  // characters that fit on a line
    std::vector<std::wstring> lines;
  } cases[] = {
      {L"", 5, {}},
      {L"hello world", 11, {L"hello world"}},
      {L"hello world", 5, {L"hello", L"world"}},
      {L"hello world", 8, {L"hello", L"world"}},
      {L"hello  world", 6, {L"hello", L"world"}},
      {L"ab cd", 4, {L"ab", L"cd"}},
      {L"abcdefgh", 3, {L"abc", L"def", L"gh"}},
      {L"检测到网络异常", 3, {L"检测到", L"网络异", L"常"}},
      {L"a\nb", 10, {L"a", L"b"}},
      {L"a\r\n\nb", 10, {L"a", L"", L"b"}},
      {L"ab", 0, {L"a", L"b"}},  // nothing fits: a character a line
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width);
    const auto lines =
        BreakTextLines(c.text, [&](const std::wstring& s) { return s.size() <= c.width; });
    EXPECT_EQ(c.lines, lines);
  }
}

TEST(RoundCoordTest, AddsHalfAndTruncates) {
  const struct {
    double in;
    int out;
  } cases[] = {{0.0, 0},
               {0.49, 0},
               {0.5, 1},
               {1.5, 2},
               {-0.4, 0},
               {-0.6, 0},
               {-1.6, -1},
               {2.999, 3},
               {1e300, 2147483647},
               {-1e300, -2147483647 - 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.out, RoundCoord(c.in));
  }
}

}  // namespace
}  // namespace pelmar
