#include "ui/progress_resource.h"

#include <algorithm>

#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"

namespace pelmar {

CProgressResource::CProgressResource(const WidgetStyleSet* styles)
    : CImageResource(kId, styles, kTypeProgress) {
  if (!styles) {
    styles_[kStateNormal].textColor = 0xFF4197FF;
    styles_[kStateNormal].fillColor = 0xFFEEEEEE;
    styles_[kStateNormal].cornerRadius = 100;
  }
  bar_ = ProgressBarRect(rect_, percent_);
}

void CProgressResource::SetPercent(unsigned percent) {
  percent_ = std::min(percent, 100u);
  bar_ = ProgressBarRect(rect_, percent_);
}

bool CProgressResource::SetRect(int left, int top, int right, int bottom) {
  CImageResource::SetRect(left, top, right, bottom);
  bar_ = ProgressBarRect(rect_, percent_);
  return true;
}

bool CProgressResource::Draw(NativeDc hdc) {
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  DrawBase(g);
  const WidgetStyle& normal = styles_.ForState(kStateNormal);
  // The bar's radius is not scaled: the track's height limits it anyway.
  FillRoundedRect(g, bar_, 2 * normal.cornerRadius, normal.textColor);
  return true;
}

}  // namespace pelmar
