#include "demo/uninstall_entry.h"

#include <windows.h>

#include <array>
#include <vector>

namespace pelmar::demo {
namespace {

struct RegKey {
  HKEY key = nullptr;
  ~RegKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

// A value as it was before this run: absent, or its type and bytes.
struct SavedValue {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

SavedValue Save(HKEY key, const wchar_t* name) {
  SavedValue saved;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size) != ERROR_SUCCESS) {
    return saved;
  }
  saved.data.resize(size);
  if (RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(), &size) !=
      ERROR_SUCCESS) {
    return SavedValue();
  }
  saved.data.resize(size);
  saved.present = true;
  return saved;
}

void Restore(HKEY key, const wchar_t* name, const SavedValue& saved) {
  if (!saved.present) {
    RegDeleteValueW(key, name);
    return;
  }
  RegSetValueExW(key, name, 0, saved.type, saved.data.data(),
                 static_cast<DWORD>(saved.data.size()));
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Rolls a new entry back in the 32-bit view, where it was written, whatever
// the bitness of this build. 32-bit XP has one view and no RegDeleteKeyExW.
void DeleteEntryKey() {
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  const auto delete_ex =
      advapi == nullptr ? nullptr
                        : reinterpret_cast<DeleteKeyExFn>(
                              reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
  if (delete_ex != nullptr) {
    delete_ex(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
  } else {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
  }
}

}  // namespace

bool WriteUninstallEntry(const UninstallValues& values) {
  const std::array<std::pair<const wchar_t*, const std::wstring*>, 5> fields{{
      {L"DisplayIcon", &values.displayIcon},
      {L"DisplayName", &values.displayName},
      {L"DisplayVersion", &values.displayVersion},
      {L"InstallLocation", &values.installLocation},
      {L"Publisher", &values.publisher},
  }};
  RegKey key;
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key.key,
                      &disposition) != ERROR_SUCCESS) {
    return false;
  }
  std::array<SavedValue, fields.size()> saved;
  for (size_t i = 0; i < fields.size(); ++i) saved[i] = Save(key.key, fields[i].first);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (SetString(key.key, fields[i].first, *fields[i].second)) continue;
    if (disposition == REG_CREATED_NEW_KEY) {
      RegCloseKey(key.key);
      key.key = nullptr;
      DeleteEntryKey();
    } else {
      for (size_t j = 0; j <= i; ++j) Restore(key.key, fields[j].first, saved[j]);
    }
    return false;
  }
  // Every value is written; a flush that fails loses nothing the system
  // would not write back on its own.
  RegFlushKey(key.key);
  return true;
}

}  // namespace pelmar::demo
