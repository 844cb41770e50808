#include "ui/button_resource.h"

#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"

namespace pelmar {

WidgetStyleSet CButtonResource::DefaultStyles() {
  WidgetStyleSet set;
  const Argb fills[4] = {0xFF4197FF, 0xFF62A6FB, 0xFF1873DE, 0xFFD8D8D8};
  for (int s = 0; s < 4; ++s) {
    set[s].textColor = 0xFFFFFFFF;
    set[s].fillColor = fills[s];
    set[s].borderColor = 0x00FFFFFF;
    set[s].cornerRadius = 2;
    set[s].borderWidth = 0;
    set[s].hAlign = kAlignCentre;
    set[s].vAlign = kAlignCentre;
  }
  return set;
}

CButtonResource::CButtonResource(int id, const std::wstring& caption, const WidgetStyleSet* styles)
    : CImageResource(id, styles, kTypeButton), caption_(caption) {
  if (!styles) styles_ = DefaultStyles();
}

Gdiplus::Image* CButtonResource::CurrentIcon() const {
  if (state_ < kStateNormal || state_ > kStateDisabled) return nullptr;
  return icons_[static_cast<std::size_t>(state_)];
}

void CButtonResource::SetStateIcon(int state, Gdiplus::Image* icon) {
  if (state < kStateNormal || state > kStateDisabled) return;
  if (icons_[static_cast<std::size_t>(state)] == icon) return;
  icons_[static_cast<std::size_t>(state)] = icon;
  UpdateIconRect();
}

void CButtonResource::UpdateIconRect() {
  // Only the normal, hover and pressed icons place the icon rectangle.
  if (state_ < kStateNormal || state_ > kStatePressed) return;
  unsigned w = 0, h = 0;
  if (!PictureSize(CurrentIcon(), &w, &h)) return;
  iconRect_ = FitIcon(rect_, w, h, Style().iconPlacement);
}

bool CButtonResource::SetRect(int left, int top, int right, int bottom) {
  CImageResource::SetRect(left, top, right, bottom);
  UpdateIconRect();
  return true;
}

UiRect CButtonResource::CaptionRect() const {
  if (!CurrentIcon()) return rect_;
  return CaptionBesideIcon(rect_, iconRect_.Width(), Style().iconPlacement);
}

bool CButtonResource::Draw(NativeDc hdc) {
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  DrawBase(g);
  if (Gdiplus::Image* icon = CurrentIcon()) DrawPicture(g, icon, iconRect_);
  DrawCaption(g, caption_, CaptionRect(), /*noWrap=*/true, /*forceVCentre=*/false);
  return true;
}

}  // namespace pelmar
