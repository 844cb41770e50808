#include "base/win/registry_read.h"

#include "base/win/os_version.h"
#include "base/win/registry_view.h"
#include "base/win/scoped_handle.h"

namespace pelmar::win {
namespace {

constexpr DWORD kRegistryValueBytes = 520;

}  // namespace

std::wstring RegistryString(HKEY root, const std::wstring& key, const std::wstring& value,
                            bool view64) {
  // Read access, not full access: full access to the machine hive is denied
  // to every non-elevated process, which would make every lookup there fail.
  ScopedRegKey opened;
  const REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : kProductRegistryView);
  if (RegOpenKeyExW(root, key.c_str(), 0, access, opened.receive()) != ERROR_SUCCESS) return {};
  wchar_t data[kRegistryValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kRegistryValueBytes;
  DWORD type = 0;
  if (RegQueryValueExW(opened.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  // The stored text need not end with a terminator; cut at the first one.
  std::wstring text(data, size / sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

bool UninstallEntryLocation(const std::wstring& entry_name, std::wstring* location) {
  const std::wstring key =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry_name;
  const bool view64 = IsOs64Bit();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring dir = RegistryString(root, key, L"InstallLocation", view64);
    if (!dir.empty()) {
      *location = dir;
      return true;
    }
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    std::wstring icon = RegistryString(root, key, L"DisplayIcon", view64);
    // Icon values are often quoted ("\"C:\\x\\a.exe\",0"); the quote is no part of the path.
    if (!icon.empty() && icon.front() == L'"') icon.erase(0, 1);
    const size_t slash = icon.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 0) {
      *location = icon.substr(0, slash);
      return true;
    }
  }
  return false;
}

}  // namespace pelmar::win
