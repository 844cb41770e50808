#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelmar {

// Rectangles in window client pixels; right and bottom are exclusive, as in Win32.
struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const UiRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Every computed coordinate is rounded this way: add 0.5, truncate toward zero.
int RoundCoord(double value);

// One quarter arc of a rounded-rectangle outline: its bounding square and start angle.
struct ArcSpec {
  int x = 0;
  int y = 0;
  int size = 0;
  float startAngle = 0.0f;
  bool operator==(const ArcSpec& o) const {
    return x == o.x && y == o.y && size == o.size && startAngle == o.startAngle;
  }
};

// The four arcs (top-left, top-right, bottom-right, bottom-left) of the rounded
// outline of (x, y, w, h) with corner diameter d (reduced to fit). Diameter 20,
// the pages' 10-pixel corners, uses 21-pixel arcs for the last three corners,
// one pixel further in, so those corners keep the look the skin was drawn for.
std::array<ArcSpec, 4> RoundedRectArcs(int x, int y, int w, int h, int diameter);

// Resource rectangle after margins (design pixels × scale, grown outward on
// both sides; negative shrinks) and the optional width/height ratio
// (|aspect| <= 1e-8 means free), centred.
UiRect PlaceWithMargins(const UiRect& given, int hMargin, int vMargin, double scale, double aspect);

// The largest rectangle with the picture's proportions inside `box`, centred.
// A picture without a size gives an empty rectangle at the box's centre.
UiRect FitCentered(const UiRect& box, unsigned picWidth, unsigned picHeight);

// Icon placement: 0 icon on the left, 1 icon on the right.
inline constexpr int kIconLeft = 0;
inline constexpr int kIconRight = 1;

// A state icon scaled into `box` keeping its proportions, vertically centred,
// flush left (kIconLeft) or flush right (kIconRight).
UiRect FitIcon(const UiRect& box, unsigned picWidth, unsigned picHeight, int placement);

// The caption's rectangle beside an icon `iconWidth` wide (3-pixel gap, none on
// a button 3 pixels wide or less).
UiRect CaptionBesideIcon(const UiRect& box, int iconWidth, int placement);

// The filled part of a progress track at `percent` (above 100 counts as 100).
UiRect ProgressBarRect(const UiRect& track, unsigned percent);

// Weighted layout of `weights.size()` children inside `rect`.
inline constexpr int kLayoutVertical = 1;
inline constexpr int kLayoutHorizontal = 2;

struct LayoutMargins {
  unsigned left = 0;
  unsigned top = 0;
  unsigned right = 0;
  unsigned bottom = 0;
  unsigned spacing = 0;
};

// Fills `out` with one rectangle per child and returns true; returns false and
// leaves `out` empty when the counts differ, there are no children, the weights
// sum to 0, or the rectangle is too small for the margins and one pixel a child.
[[nodiscard]] bool ComputeWeightedLayout(const UiRect& rect, int direction,
                                         const LayoutMargins& margins, double scale,
                                         const std::vector<unsigned>& weights,
                                         std::size_t childCount, std::vector<UiRect>* out);

// Greedy line breaking for wrapped text: each line is the longest run that
// `fits`, broken after the last space when the run has one (words), else
// between characters (Chinese has no spaces). A line feed always breaks; a
// character wider than the line gets a line of its own. Trailing spaces and
// carriage returns are dropped from each line.
std::vector<std::wstring> BreakTextLines(const std::wstring& text,
                                         const std::function<bool(const std::wstring&)>& fits);

}  // namespace pelmar
