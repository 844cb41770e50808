#pragma once

// What the installer must use because the product is a 32-bit program, said
// once for every Windows test. The same sources also build for x86_64 (the
// test build that 64-bit Wine runs on hosts without 32-bit code); that build
// must behave exactly like the product, so these expectations hold for both
// and nothing here is weakened for either.

#include <windows.h>

namespace pelmar::test {

// The build under test, for messages only: no expectation depends on it.
constexpr bool kBuildIs64Bit = sizeof(void*) == 8;
constexpr const char* kBuildName = kBuildIs64Bit ? "x86_64 test build" : "32-bit product";

// The product's setup writes its uninstall entry into the 32-bit view, and
// the installer reads it there.
constexpr REGSAM kProductRegistryView = KEY_WOW64_32KEY;

// The folder 32-bit programs install into on 64-bit Windows (the project's
// prefixes are 64-bit ones).
constexpr const wchar_t* kProductProgramFiles = L"C:\\Program Files (x86)";

// Creates (or opens) `path` under HKLM in the product's view for writing.
inline bool CreateProductKey(const wchar_t* path, HKEY* key) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE | kProductRegistryView,
                         nullptr, key, nullptr) == ERROR_SUCCESS;
}

inline bool ProductKeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | kProductRegistryView, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

inline void DeleteProductKey(const wchar_t* path) {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, kProductRegistryView, 0);
}

}  // namespace pelmar::test
