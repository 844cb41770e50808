#include "ui/checkbox_resource.h"

#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"

namespace pelmar {

WidgetStyleSet CCheckboxResource::DefaultStyles() {
  WidgetStyleSet set;
  const Argb texts[3] = {0xFF4D4D4D, 0xFF4197FF, 0xFF1873DE};
  for (int s = 0; s < 4; ++s) {
    if (s < 3) set[s].textColor = texts[s];
    set[s].fillColor = 0x00FFFFFF;
    set[s].borderColor = 0x00FFFFFF;
  }
  return set;
}

CCheckboxResource::CCheckboxResource(int id, const WidgetStyleSet* styles,
                                     const std::wstring& caption, Gdiplus::Image* checkedPicture,
                                     Gdiplus::Image* uncheckedPicture)
    : CImageResource(id, styles, kTypeCheckbox),
      checkedPicture_(checkedPicture),
      uncheckedPicture_(uncheckedPicture),
      caption_(caption) {
  if (!styles) styles_ = DefaultStyles();
}

void CCheckboxResource::UpdateIconRect() {
  unsigned w = 0, h = 0;
  if (!PictureSize(CurrentIcon(), &w, &h)) return;
  iconRect_ = FitIcon(rect_, w, h, Style().iconPlacement);
}

void CCheckboxResource::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  UpdateIconRect();
}

bool CCheckboxResource::SetRect(int left, int top, int right, int bottom) {
  CImageResource::SetRect(left, top, right, bottom);
  UpdateIconRect();
  return true;
}

UiRect CCheckboxResource::CaptionRect() const {
  if (!CurrentIcon()) return rect_;
  return CaptionBesideIcon(rect_, iconRect_.Width(), Style().iconPlacement);
}

bool CCheckboxResource::Draw(NativeDc hdc) {
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  DrawBase(g);
  DrawCaption(g, caption_, CaptionRect(), /*noWrap=*/true, /*forceVCentre=*/true);
  if (Gdiplus::Image* icon = CurrentIcon()) DrawPicture(g, icon, iconRect_);
  return true;
}

}  // namespace pelmar
