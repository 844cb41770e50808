#include "ui/widget_style.h"

#include <windows.h>

namespace pelmar {
namespace {

// Windows XP and Server 2003 are NT 5.x. The version number comes from ntdll
// because GetVersionEx lies to programs without a compatibility manifest.
bool IsWindowsXp() {
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  DWORD major = 0, minor = 0, build = 0;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    auto fn = reinterpret_cast<RtlGetNtVersionNumbersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
    if (fn) fn(&major, &minor, &build);
  }
  if (major == 0) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExW(&info)) major = info.dwMajorVersion;
  }
  return major == 5;
}

}  // namespace

const std::wstring& DefaultFontFamily() {
  static const std::wstring kFamily = IsWindowsXp() ? L"SimHei" : L"Microsoft Yahei";
  return kFamily;
}

}  // namespace pelmar
