#include "ui/text_resource.h"

#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"

namespace pelmar {

CTextResource::CTextResource(int id, const WidgetStyleSet* styles, const std::wstring& text)
    : CImageResource(id, styles, kTypeText), text_(text) {
  if (!styles) styles_[kStateNormal].fillColor = 0xFFFFFFFF;
}

bool CTextResource::Draw(NativeDc hdc) {
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  DrawBase(g);
  DrawCaption(g, text_, rect_, /*noWrap=*/false, /*forceVCentre=*/false);
  return true;
}

}  // namespace pelmar
