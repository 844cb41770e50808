#pragma once

#include <string>

namespace pelmar::demo {

// The product's uninstall entry under HKEY_LOCAL_MACHINE, in the 32-bit view
// (where the 32-bit installer looks for it).
inline constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946}_is1";

struct UninstallValues {
  std::wstring displayIcon;  // the installed Morvantile.exe, unquoted
  std::wstring displayName;
  std::wstring displayVersion;
  std::wstring installLocation;  // with a trailing backslash
  std::wstring publisher;
};

// Writes all five values. On any failure the entry is put back as it was
// (removed again when this call created it) and false is returned.
[[nodiscard]] bool WriteUninstallEntry(const UninstallValues& values);

}  // namespace pelmar::demo
