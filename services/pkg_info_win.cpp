#include <windows.h>

#include <cwchar>
#include <vector>

#include "base/text_convert.h"
#include "services/pkg_info.h"
#include "base/win/system_api.h"

namespace pelmar {

namespace {

// "ProductVersion" of the running module's version resource, in the first
// language its translation table names.
std::wstring OwnProductVersion() {
  wchar_t module[1024] = {};
  const DWORD n = GetModuleFileNameW(nullptr, module, 1023);
  if (n == 0 || n >= 1023) return {};
  DWORD ignored = 0;
  const DWORD size = sys::GetFileVersionInfoSizeW(module, &ignored);
  if (size == 0) return {};
  // Twice the size: older systems convert the block in place and need room.
  std::vector<BYTE> block(size_t{size} * 2 + 2);
  if (!sys::GetFileVersionInfoW(module, 0, size, block.data())) return {};
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (!sys::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length) ||
      translation == nullptr || length < sizeof(Translation)) {
    return {};
  }
  wchar_t query[64];
  std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language,
                translation->codePage);
  wchar_t* text = nullptr;
  if (!sys::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &length) ||
      text == nullptr || length == 0) {
    return {};
  }
  // The length counts characters and may include the terminator.
  std::wstring version(text, length);
  return version.substr(0, version.find(L'\0'));
}

}  // namespace

std::string InstallerVersionForRequests() {
  const std::string version = Utf8FromWide(OwnProductVersion());
  return version.empty() ? std::string("0.9.0.1") : version;
}

}  // namespace pelmar
