#pragma once

#include <vector>

#include "ui/widget_geometry.h"

namespace pelmar {

// The monitor's DPI factor: the ratio of physical to logical desktop width when
// the system scales the desktop for us, else the logical pixels per inch / 96.
double DpiFactorFrom(int physicalWidth, int logicalWidth, int logPixelsX);

struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  double scale = 1.0;  // becomes the display scale
};

// The sizing rule: a window of design size (w, h) grows by the DPI factor along
// the work area's shorter side (never shrinks) and keeps its proportions, and
// is centred on the work area. Without a work area it keeps its design size.
WindowPlacement ComputeWindowPlacement(bool haveWorkArea, const UiRect& workArea,
                                       unsigned designWidth, unsigned designHeight,
                                       double dpiFactor);

// A dialog of (width, height) centred over its owner (integer division).
struct UiPoint {
  int x = 0;
  int y = 0;
};
UiPoint CentreOver(const UiRect& owner, int width, int height);

// `at` moved the least so that a box of `width` x `height` lies inside
// `area`; a box larger than the area keeps to its left and top edges.
UiPoint KeepInside(const UiRect& area, UiPoint at, int width, int height);

// What hit-testing needs of a resource.
struct HitTarget {
  int type = 0;
  UiRect rect;
};

// Resource types that matter to hit-testing and the mouse scheme.
inline constexpr int kTypeImage = 0;        // looked through (backgrounds)
inline constexpr int kTypeImageOpaque = 1;  // stops hit-testing (logo, icons)
inline constexpr int kTypeButton = 2;
inline constexpr int kTypeCheckbox = 3;
inline constexpr int kTypeMovie = 4;  // looked through
inline constexpr int kTypeText = 5;
inline constexpr int kTypeEdit = 6;
inline constexpr int kTypeProgress = 7;
inline constexpr int kTypeLayout = 9;  // never hit
inline constexpr int kTypeSpacer = 10;

// Index of the resource under (x, y): the first hit that is neither type 0 nor
// 4, else the last such see-through hit, else 0 (normally the page background).
int HitTestTargets(const std::vector<HitTarget>& targets, int x, int y);

}  // namespace pelmar
