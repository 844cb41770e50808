#include "ui/view_geometry.h"

#include <algorithm>
#include <cmath>

namespace pelmar {

double DpiFactorFrom(int physicalWidth, int logicalWidth, int logPixelsX) {
  if (logicalWidth > 0 && physicalWidth > 0) {
    const double ratio = static_cast<double>(physicalWidth) / logicalWidth;
    if (std::fabs(ratio - 1.0) > 1e-8) return ratio;
  }
  // A device that reports no pixels per inch is taken as the 96 of a plain screen.
  if (logPixelsX <= 0) return 1.0;
  return logPixelsX / 96.0;
}

WindowPlacement ComputeWindowPlacement(bool haveWorkArea, const UiRect& workArea,
                                       unsigned designWidth, unsigned designHeight,
                                       double dpiFactor) {
  WindowPlacement p;
  p.width = static_cast<int>(designWidth);
  p.height = static_cast<int>(designHeight);
  p.scale = 1.0;
  double width = designWidth;
  double height = designHeight;
  if (haveWorkArea && designWidth > 0 && designHeight > 0) {
    const double aspect = static_cast<double>(designWidth) / designHeight;
    if (workArea.Width() > workArea.Height()) {
      height = std::max(dpiFactor * designHeight, static_cast<double>(designHeight));
      width = height * aspect;
      p.scale = height / designHeight;
    } else {
      width = std::max(dpiFactor * designWidth, static_cast<double>(designWidth));
      height = width / aspect;
      p.scale = width / designWidth;
    }
    p.width = RoundCoord(width);
    p.height = RoundCoord(height);
  }
  if (haveWorkArea) {
    p.x = RoundCoord(workArea.right / 2.0 - width / 2);
    p.y = RoundCoord(workArea.bottom / 2.0 - height / 2);
  }
  return p;
}

UiPoint CentreOver(const UiRect& owner, int width, int height) {
  return {owner.left + (owner.Width() - width) / 2, owner.top + (owner.Height() - height) / 2};
}

UiPoint KeepInside(const UiRect& area, UiPoint at, int width, int height) {
  at.x = std::max(area.left, std::min(at.x, area.right - width));
  at.y = std::max(area.top, std::min(at.y, area.bottom - height));
  return at;
}

int HitTestTargets(const std::vector<HitTarget>& targets, int x, int y) {
  int seeThrough = -1;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const HitTarget& t = targets[i];
    if (t.type == kTypeLayout || !t.rect.Contains(x, y)) continue;
    if (t.type != kTypeImage && t.type != kTypeMovie) return static_cast<int>(i);
    seeThrough = static_cast<int>(i);
  }
  return seeThrough >= 0 ? seeThrough : 0;
}

}  // namespace pelmar
