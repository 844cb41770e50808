#pragma once

#include <string>

#include <windows.h>

namespace pelmar {

// What the installer knows about an earlier installation of the product and
// about the product version of files.
class IAppInfo {
 public:
  virtual ~IAppInfo() = default;
  // Re-reads the installed product's path and version; returns success.
  virtual bool Reload() = 0;
  // The uninstall entry's "DisplayIcon" when that file exists, else empty.
  virtual const std::wstring& InstalledProductPath() = 0;
  // The product version of that file; empty when there is none.
  virtual const std::wstring& InstalledProductVersion() = 0;
  // "ProductVersion" of a file's version resource (the running module's for
  // an empty path); empty when it has none.
  virtual std::wstring ProductVersionOfFile(const std::wstring& path) = 0;
};

class CAppInfo : public IAppInfo {
 public:
  // The product's uninstall entry, read in the 32-bit view as a 32-bit
  // installer sees it.
  static constexpr const wchar_t* kUninstallKey =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
      L"{3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946}_is1";

  // Process-wide instance, created (and loaded) on first call.
  static CAppInfo* Instance();

  // Reads the entry `uninstall_key` under `root` (tests use their own keys).
  explicit CAppInfo(HKEY root = HKEY_LOCAL_MACHINE, std::wstring uninstall_key = kUninstallKey);

  bool Reload() override;
  const std::wstring& InstalledProductPath() override { return installed_path_; }
  const std::wstring& InstalledProductVersion() override { return installed_version_; }
  std::wstring ProductVersionOfFile(const std::wstring& path) override;

 private:
  HKEY root_;
  std::wstring uninstall_key_;
  std::wstring installed_path_;
  std::wstring installed_version_;
};

}  // namespace pelmar
