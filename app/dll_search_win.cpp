#include "app/dll_search.h"

#include <windows.h>

namespace pelmar {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, named here for headers of systems without it.
constexpr DWORD kSearchSystem32 = 0x00000800;

}  // namespace

bool RestrictLibrarySearchToSystem() {
  // kernel32 is mapped in every process before any of its code runs.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(kSearchSystem32)) return true;
  // Older systems: at least the current folder is no longer searched.
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  const auto set_directory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
  if (set_directory != nullptr) (void)set_directory(L"");
  return false;
}

}  // namespace pelmar
