#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/file_system.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {
namespace fs = std::filesystem;

fs::path Native(const std::wstring& path) { return fs::u8path(Utf8FromWide(path)); }
}  // namespace

const wchar_t kPathSeparator = L'/';

std::wstring ModulePath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::wstring() : WideFromUtf8(self.u8string());
}

std::wstring MakerDataDirectory() {
  static std::wstring cached;
  if (cached.empty()) {
    // The roaming application data of this platform's desktops.
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
      base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
      base = std::string(home) + "/.local/share";
    } else {
      return std::wstring();
    }
    if (base.back() != '/') base.push_back('/');
    cached = WideFromUtf8(base) + L"PelmarPkg/";
    if (!DirectoryExists(cached)) CreateDirectories(cached);
  }
  return cached;
}

std::wstring ProductDataDirectory() {
  const std::wstring maker = MakerDataDirectory();
  return maker.empty() ? std::wstring() : maker + L"MORVANTILE/";
}

bool FileExists(const std::wstring& path) {
  struct stat info;
  return !path.empty() && stat(Utf8FromWide(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::wstring& path) {
  struct stat info;
  return !path.empty() && stat(Utf8FromWide(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectories(const std::wstring& path) {
  if (path.empty()) return false;
  std::error_code error;
  fs::create_directories(Native(path), error);
  return DirectoryExists(path);
}

bool RemoveDirectoryTree(const std::wstring& path) {
  if (!DirectoryExists(path)) return false;
  std::error_code error;
  // remove_all deletes symbolic links themselves and does not descend into them.
  fs::remove_all(Native(path), error);
  return !error && !fs::exists(fs::symlink_status(Native(path)));
}

uint64_t FreeSpace(const std::wstring& path) {
  struct statvfs info;
  if (path.empty() || statvfs(Utf8FromWide(path).c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace pelmar
