#include "ui/widget_style.h"

#include "base/win/os_version.h"

namespace pelmar {

const std::wstring& DefaultFontFamily() {
  static const std::wstring kFamily = win::IsWindowsXp() ? L"SimHei" : L"Microsoft Yahei";
  return kFamily;
}

}  // namespace pelmar
