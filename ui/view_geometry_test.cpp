#include "ui/view_geometry.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

struct SizingCase {
  const char* what;
  bool haveWorkArea;
  UiRect workArea;
  unsigned w, h;
  double factor;
  WindowPlacement expected;
};

const SizingCase kSizingCases[] = {
    {"dialog at 144 DPI on a landscape work area",
     true,
     {0, 0, 1920, 1040},
     400,
     200,
     1.5,
     {660, 370, 600, 300, 1.5}},
    {"main window at 96 DPI keeps its design size",
     true,
     {0, 0, 1920, 1040},
     600,
     400,
     1.0,
     {660, 320, 600, 400, 1.0}},
    {"a factor below 1 never shrinks",
     true,
     {0, 0, 1920, 1040},
     600,
     400,
     0.75,
     {660, 320, 600, 400, 1.0}},
    // A portrait work area scales by width instead.
    {"portrait work area", true, {0, 0, 1080, 1880}, 600, 400, 1.25, {165, 690, 750, 500, 1.25}},
    {"portrait, factor below 1",
     true,
     {0, 0, 1080, 1880},
     600,
     400,
     0.5,
     {240, 740, 600, 400, 1.0}},
    // The position halves the work area's right and bottom edges.
    {"work area not at the origin",
     true,
     {100, 50, 1380, 850},
     400,
     200,
     1.0,
     {490, 325, 400, 200, 1.0}},
    // Fractional sizes are rounded; the scale is exact.
    {"factor 1.25 on odd sizes",
     true,
     {0, 0, 1600, 900},
     333,
     111,
     1.25,
     {592, 381, 416, 139, 1.25}},
    {"no work area", false, {}, 400, 200, 2.0, {0, 0, 400, 200, 1.0}},
};

TEST(WindowPlacementTest, SizingRule) {
  for (const SizingCase& c : kSizingCases) {
    SCOPED_TRACE(c.what);
    const WindowPlacement p =
        ComputeWindowPlacement(c.haveWorkArea, c.workArea, c.w, c.h, c.factor);
    EXPECT_EQ(c.expected.x, p.x);
    EXPECT_EQ(c.expected.y, p.y);
    EXPECT_EQ(c.expected.width, p.width);
    EXPECT_EQ(c.expected.height, p.height);
    EXPECT_DOUBLE_EQ(c.expected.scale, p.scale);
  }
}

TEST(DpiFactorTest, PhysicalRatioFirstThenPixelsPerInch) {
  const struct {
    int physical, logical, logPixels;
    double factor;
  } cases[] = {
      {1920, 1920, 96, 1.0},                      // plain screen
      {1920, 1920, 144, 1.5},                     // DPI-aware at 150 %
      {1920, 1280, 96, 1.5},                      // desktop virtualised by the system
      {1920, 1920, 120, 1.25}, {0, 0, 192, 2.0},  // no desktop resolution reported
      {1920, 1920, 0, 1.0},                       // no pixels per inch reported
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.physical << "/" << c.logical << "@" << c.logPixels);
    EXPECT_DOUBLE_EQ(c.factor, DpiFactorFrom(c.physical, c.logical, c.logPixels));
  }
}

TEST(CentreOverTest, IntegerDivision) {
  EXPECT_EQ(110, CentreOver({10, 20, 610, 420}, 400, 200).x);
  EXPECT_EQ(120, CentreOver({10, 20, 610, 420}, 400, 200).y);
  // Odd differences round toward zero; a larger dialog sits left of its owner.
  EXPECT_EQ(2, CentreOver({0, 0, 5, 5}, 0, 0).x);
  EXPECT_EQ(-50, CentreOver({0, 0, 100, 100}, 200, 200).x);
}

TEST(KeepInsideTest, MovedTheLeastIntoTheWorkArea) {
  const UiRect area{0, 0, 1920, 1040};
  const struct {
    const char* what;
    UiPoint at;
    int width, height;
    UiPoint kept;
  } cases[] = {
      {"inside stays", {100, 100}, 400, 200, {100, 100}},
      {"owner dragged half off the left", {-300, 400}, 400, 200, {0, 400}},
      {"off the right and the bottom", {1700, 1000}, 400, 200, {1520, 840}},
      {"above the top", {500, -50}, 400, 200, {500, 0}},
      {"exactly at the far corner", {1520, 840}, 400, 200, {1520, 840}},
      {"larger than the area keeps its top left", {-10, -10}, 2000, 1100, {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const UiPoint kept = KeepInside(area, c.at, c.width, c.height);
    EXPECT_EQ(kept.x, c.kept.x);
    EXPECT_EQ(kept.y, c.kept.y);
  }
  // A work area that does not start at 0 (a task bar on the left or top).
  const UiPoint shifted = KeepInside({60, 40, 1920, 1080}, {0, 0}, 400, 200);
  EXPECT_EQ(shifted.x, 60);
  EXPECT_EQ(shifted.y, 40);
}

TEST(HitTestTest, SeeThroughTypesAndOrder) {
  // A page: background (0), layout (9) over everything, logo (1), a movie (4)
  // over the logo's right half, a button (2) and a text (5) overlapping it.
  const std::vector<HitTarget> page = {
      {kTypeLayout, {0, 0, 600, 400}},           // 0
      {kTypeImage, {0, 0, 600, 400}},            // 1 background
      {kTypeImageOpaque, {100, 100, 200, 200}},  // 2 logo
      {kTypeMovie, {150, 100, 300, 200}},        // 3 movie
      {kTypeButton, {250, 150, 350, 250}},       // 4 button
      {kTypeText, {300, 200, 400, 300}},         // 5 text
      {kTypeSpacer, {500, 0, 600, 50}},          // 6 spacer
  };
  const struct {
    int x, y, index;
    const char* what;
  } cases[] = {
      {10, 10, 1, "only the background: its index"},
      {120, 120, 2, "logo stops the walk"},
      {160, 120, 2, "logo comes before the movie in the list"},
      {260, 120, 3, "only see-through hits: the last one"},
      {260, 160, 4, "button under the movie"},
      {320, 220, 4, "earlier of two overlapping non-see-through"},
      {360, 260, 5, "text"},
      {550, 10, 6, "spacer is hit like any other"},
      {700, 10, 0, "outside everything: 0"},
      {600, 400, 0, "right and bottom edges are outside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.index, HitTestTargets(page, c.x, c.y));
  }
  EXPECT_EQ(0, HitTestTargets({}, 1, 1));
  // A layout alone never answers itself.
  EXPECT_EQ(0, HitTestTargets({{kTypeImage, {0, 0, 1, 1}}, {kTypeLayout, {0, 0, 9, 9}}}, 5, 5));
}

}  // namespace
}  // namespace pelmar
