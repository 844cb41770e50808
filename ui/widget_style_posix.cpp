#include "ui/widget_style.h"

namespace pelmar {

const std::wstring& DefaultFontFamily() {
  static const std::wstring kFamily = L"Microsoft Yahei";
  return kFamily;
}

}  // namespace pelmar
