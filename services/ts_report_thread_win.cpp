#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "services/sdk_binding.h"
#include "services/ts_report_thread.h"

namespace pelmar {

namespace {

// The export: writes the id as a NUL-terminated text into `buffer`.
using GetTSUIDFn = int(__cdecl*)(char* buffer, int size);

// Frees the library on every path out of the call.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};

std::wstring WithSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

}  // namespace

std::wstring DefaultSdkFolder() {
  std::wstring maker = CSdkBinding::Locations().makerDataDir;
  if (maker.empty()) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
      return {};
    maker = WithSeparator(path) + L"PelmarPkg\\";
  }
  return WithSeparator(maker) + L"Vek\\";
}

std::string ReadUserIdLibrary(const std::wstring& sdk_folder) {
  if (sdk_folder.empty()) return {};
  const std::wstring path = WithSeparator(sdk_folder) + L"TSUID.dll";
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  LoadedLibrary library(path);
  if (!library.Get()) return {};
  const auto get = reinterpret_cast<GetTSUIDFn>(
      reinterpret_cast<void*>(GetProcAddress(library.Get(), "GetTSUID")));
  if (!get) return {};
  char buffer[kTSUidBufferSize] = {};
  (void)get(buffer, static_cast<int>(kTSUidBufferSize));
  // A library that fills every byte leaves no terminator: read one less.
  return std::string(buffer, strnlen(buffer, kTSUidBufferSize - 1));
}

}  // namespace pelmar
