#include <windows.h>
#include <shlobj.h>

#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/win/scoped_handle.h"

namespace pelmar {
namespace {

constexpr DWORD kModulePathChars = 1023;
// Deeper trees than this are not ours (the run cache and SDK folders are
// two or three levels deep); the bound keeps a hostile tree from exhausting
// the stack.
constexpr int kMaxRemoveDepth = 64;

bool RemoveTree(const std::wstring& dir, int depth) {
  if (depth < kMaxRemoveDepth) {
    const std::wstring base = WithTrailingSeparator(dir);
    WIN32_FIND_DATAW entry;
    win::ScopedFindHandle find(FindFirstFileW((base + L"*").c_str(), &entry));
    if (find) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = base + name;
        const bool is_dir = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool is_link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
          SetFileAttributesW(child.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        }
        if (is_dir && !is_link) {
          RemoveTree(child, depth + 1);
        } else if (is_dir) {
          RemoveDirectoryW(child.c_str());  // a junction: remove the link only
        } else {
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(find.get(), &entry));
    }
  }
  return RemoveDirectoryW(dir.c_str()) != FALSE;
}

}  // namespace

const wchar_t kPathSeparator = L'\\';

std::wstring ModulePath() {
  wchar_t buffer[kModulePathChars + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, kModulePathChars);
  // A full buffer means the path was cut: report nothing rather than a wrong path.
  if (n == 0 || n >= kModulePathChars) return std::wstring();
  return std::wstring(buffer, n);
}

std::wstring MakerDataDirectory() {
  static std::wstring cached;
  if (cached.empty()) {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE)) return std::wstring();
    cached = WithTrailingSeparator(folder) + L"PelmarPkg\\";
    if (!DirectoryExists(cached)) CreateDirectories(cached);
  }
  return cached;
}

std::wstring ProductDataDirectory() {
  const std::wstring maker = MakerDataDirectory();
  return maker.empty() ? std::wstring() : maker + L"MORVANTILE\\";
}

bool FileExists(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::wstring& path) {
  if (path.empty() || DirectoryExists(path)) return false;
  return DeleteFileW(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RenameReplacing(const std::wstring& from, const std::wstring& to) {
  if (from.empty() || to.empty()) return false;
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool DirectoryExists(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectories(const std::wstring& path) {
  const auto pieces = SplitPathPieces(path);
  if (pieces.empty()) return false;
  std::wstring built = pieces[0] + L"\\";  // the drive
  for (size_t i = 1; i < pieces.size(); ++i) {
    built += pieces[i] + L"\\";
    if (!CreateDirectoryW(built.c_str(), nullptr)) {
      const DWORD error = GetLastError();
      // Nothing deeper can succeed; an existing level or a denied one may
      // still have its children created.
      if (error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) break;
    }
  }
  return DirectoryExists(path);
}

bool RemoveDirectoryTree(const std::wstring& path) {
  if (path.empty()) return false;
  std::wstring dir = path;
  while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return RemoveTree(dir, 0);
}

uint64_t FreeSpace(const std::wstring& path) {
  const std::wstring root = VolumeRootOf(path);
  if (root.empty()) return 0;
  const UINT type = GetDriveTypeW(root.c_str());
  if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) return 0;
  ULARGE_INTEGER available = {};
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

}  // namespace pelmar
