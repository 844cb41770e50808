#include "base/win/registry_view.h"

namespace pelmar::win {

LONG DeleteRegistryKey(HKEY root, const wchar_t* path, REGSAM view) {
  // RegDeleteKeyExW exists from Windows XP x64 and Vista on; 32-bit XP has
  // only one view, which the plain delete reaches.
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  const auto delete_ex =
      advapi == nullptr ? nullptr
                        : reinterpret_cast<DeleteKeyExFn>(
                              reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
  if (delete_ex != nullptr) return delete_ex(root, path, view, 0);
  return RegDeleteKeyW(root, path);
}

}  // namespace pelmar::win
