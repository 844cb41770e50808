#include "app/app_info.h"

#include <cstdio>
#include <vector>

#include "base/file_system.h"
#include "base/win/registry_view.h"
#include "base/win/scoped_handle.h"
#include "base/win/system_api.h"

namespace pelmar {
namespace {

// "DisplayIcon" values longer than this are not read (and count as empty).
constexpr DWORD kDisplayIconBytes = 1023;

}  // namespace

CAppInfo* CAppInfo::Instance() {
  static CAppInfo instance;
  return &instance;
}

CAppInfo::CAppInfo(HKEY root, std::wstring uninstall_key)
    : root_(root), uninstall_key_(std::move(uninstall_key)) {
  Reload();
}

bool CAppInfo::Reload() {
  installed_path_.clear();
  installed_version_.clear();
  win::ScopedRegKey key;
  if (RegOpenKeyExW(root_, uninstall_key_.c_str(), 0, KEY_READ | win::kProductRegistryView,
                    key.receive()) == ERROR_SUCCESS) {
    // One spare character so a value stored without its terminator still ends.
    wchar_t data[kDisplayIconBytes / sizeof(wchar_t) + 2] = {};
    DWORD size = kDisplayIconBytes;
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), L"DisplayIcon", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      installed_path_ = data;
    }
  }
  if (!installed_path_.empty() && !FileExists(installed_path_)) installed_path_.clear();
  if (!installed_path_.empty()) installed_version_ = ProductVersionOfFile(installed_path_);
  return true;
}

std::wstring CAppInfo::ProductVersionOfFile(const std::wstring& path) {
  const std::wstring file = path.empty() ? ModulePath() : path;
  if (file.empty()) return std::wstring();
  DWORD ignored = 0;
  const DWORD size = sys::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::wstring();
  // Twice the size: older systems convert the block in place and need room.
  std::vector<uint8_t> block(size_t{size} * 2 + 2);
  if (!sys::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return std::wstring();

  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (!sys::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length) ||
      translation == nullptr || length < sizeof(Translation)) {
    return std::wstring();
  }
  wchar_t sub_block[64];
  std::swprintf(sub_block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                translation->code_page, L"ProductVersion");
  wchar_t* text = nullptr;
  if (!sys::VerQueryValueW(block.data(), sub_block, reinterpret_cast<void**>(&text), &length) ||
      text == nullptr || length == 0) {
    return std::wstring();
  }
  // The length counts characters and may include the terminator.
  std::wstring version(text, length);
  return version.substr(0, version.find(L'\0'));
}

}  // namespace pelmar
