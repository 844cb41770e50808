#include "ui/widget_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace pelmar {

int RoundCoord(double value) {
  // Clamped so that a runaway scale or size cannot overflow the conversion.
  const double v = value + 0.5;
  if (!(v > -2147483648.0)) return std::numeric_limits<int>::min();
  if (v >= 2147483647.0) return std::numeric_limits<int>::max();
  return static_cast<int>(v);
}

std::array<ArcSpec, 4> RoundedRectArcs(int x, int y, int w, int h, int diameter) {
  int d = std::min({diameter, w, h});
  if (d < 0) d = 0;
  std::array<ArcSpec, 4> arcs;
  arcs[0] = {x, y, d, 180.0f};
  if (d == 20) {
    arcs[1] = {x + w - d - 2, y, 21, 270.0f};
    arcs[2] = {x + w - d - 2, y + h - d - 2, 21, 0.0f};
    arcs[3] = {x, y + h - d - 2, 21, 90.0f};
  } else {
    arcs[1] = {x + w - d - 1, y, d, 270.0f};
    arcs[2] = {x + w - d - 1, y + h - d - 1, d, 0.0f};
    arcs[3] = {x, y + h - d - 1, d, 90.0f};
  }
  return arcs;
}

UiRect PlaceWithMargins(const UiRect& given, int hMargin, int vMargin, double scale,
                        double aspect) {
  const double mx = hMargin * scale;
  const double my = vMargin * scale;
  // Margins grow the rectangle outward; a negative margin shrinks it.
  double l = given.left - mx;
  double t = given.top - my;
  double r = given.right + mx;
  double b = given.bottom + my;
  if (std::fabs(aspect) > 1e-8) {
    const double w = r - l;
    const double h = b - t;
    // A degenerate height has no ratio to compare; keep the rectangle as it is.
    if (h > 0 && w > 0) {
      if (aspect < w / h) {
        const double nw = aspect * h;
        l += (w - nw) / 2;
        r = l + nw;
      } else {
        const double nh = w / aspect;
        t += (h - nh) / 2;
        b = t + nh;
      }
    }
  }
  return {RoundCoord(l), RoundCoord(t), RoundCoord(r), RoundCoord(b)};
}

UiRect FitCentered(const UiRect& box, unsigned picWidth, unsigned picHeight) {
  const int cx = box.left + box.Width() / 2;
  const int cy = box.top + box.Height() / 2;
  if (picWidth == 0 || picHeight == 0 || box.Width() <= 0 || box.Height() <= 0) {
    return {cx, cy, cx, cy};
  }
  const double sx = static_cast<double>(box.Width()) / picWidth;
  const double sy = static_cast<double>(box.Height()) / picHeight;
  const double s = std::min(sx, sy);
  const double w = picWidth * s;
  const double h = picHeight * s;
  const double l = box.left + (box.Width() - w) / 2;
  const double t = box.top + (box.Height() - h) / 2;
  return {RoundCoord(l), RoundCoord(t), RoundCoord(l + w), RoundCoord(t + h)};
}

UiRect FitIcon(const UiRect& box, unsigned picWidth, unsigned picHeight, int placement) {
  UiRect fitted = FitCentered(box, picWidth, picHeight);
  const int w = fitted.Width();
  if (placement == kIconRight) {
    fitted.right = box.right;
    fitted.left = box.right - w;
  } else {
    fitted.left = box.left;
    fitted.right = box.left + w;
  }
  return fitted;
}

UiRect CaptionBesideIcon(const UiRect& box, int iconWidth, int placement) {
  const int gap = box.Width() > 3 ? 3 : 0;
  UiRect text = box;
  if (placement == kIconRight) {
    text.right = box.right - gap - iconWidth;
  } else {
    text.left = box.left + gap + iconWidth;
  }
  return text;
}

UiRect ProgressBarRect(const UiRect& track, unsigned percent) {
  const unsigned p = std::min(percent, 100u);
  UiRect bar = track;
  const long long width = track.Width() > 0 ? track.Width() : 0;
  bar.right = track.left + static_cast<int>(width * p / 100);
  return bar;
}

bool ComputeWeightedLayout(const UiRect& rect, int direction, const LayoutMargins& margins,
                           double scale, const std::vector<unsigned>& weights,
                           std::size_t childCount, std::vector<UiRect>* out) {
  out->clear();
  if (weights.size() != childCount || childCount == 0) return false;
  if (direction != kLayoutVertical && direction != kLayoutHorizontal) return false;
  double total = 0;
  for (unsigned w : weights) total += w;
  if (total == 0) return false;

  const double L = margins.left * scale;
  const double T = margins.top * scale;
  const double R = margins.right * scale;
  const double B = margins.bottom * scale;
  const double S = margins.spacing * scale;
  const double n = static_cast<double>(childCount);
  const bool vertical = direction == kLayoutVertical;
  const double along = vertical ? rect.Height() : rect.Width();
  const double across = vertical ? rect.Width() : rect.Height();
  const double alongMargins = vertical ? T + B : L + R;
  const double acrossMargins = vertical ? L + R : T + B;
  if (along < n + alongMargins + S * (n - 1) || across < acrossMargins) return false;

  const double unit = (along - alongMargins - S * (n - 1)) / total;
  out->reserve(childCount);
  if (vertical) {
    double y = rect.top + T;
    for (unsigned w : weights) {
      out->push_back({RoundCoord(rect.left + L), RoundCoord(y), RoundCoord(rect.right - R),
                      RoundCoord(y + w * unit)});
      y += w * unit + S;
    }
  } else {
    double x = rect.left + L;
    for (unsigned w : weights) {
      out->push_back({RoundCoord(x), RoundCoord(rect.top + T), RoundCoord(x + w * unit),
                      RoundCoord(rect.bottom - B)});
      x += w * unit + S;
    }
  }
  return true;
}

std::vector<std::wstring> BreakTextLines(const std::wstring& text,
                                         const std::function<bool(const std::wstring&)>& fits) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t feed = text.find(L'\n', start);
    if (feed == std::wstring::npos) feed = text.size();
    std::size_t end = start;
    while (end < feed && fits(text.substr(start, end + 1 - start))) ++end;
    if (end == start && end < feed) end = start + 1;  // a character wider than the line
    if (end < feed && text[end] != L' ') {
      const std::size_t space = text.find_last_of(L' ', end);
      if (space != std::wstring::npos && space > start) end = space + 1;
    }
    std::wstring line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\r')) line.pop_back();
    lines.push_back(line);
    start = end;
    if (start == feed && feed < text.size()) {
      ++start;  // the line feed
    } else {
      while (start < feed && text[start] == L' ') ++start;  // spaces at a wrap
    }
  }
  return lines;
}

}  // namespace pelmar
