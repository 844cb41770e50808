#include <windows.h>
#include <shlobj.h>

#include <string>
#include <string_view>

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

// Where the system says an open folder really is, when it can say: a link
// the system does not mark as one (the host's links under Wine) shows here.
// Empty when unknown (Windows XP has no such query).
std::wstring FinalPathOf(HANDLE handle) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, wchar_t*, DWORD, DWORD);
  static const auto final_path = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (final_path == nullptr) return {};
  std::wstring path(32768, L'\0');
  const DWORD n = final_path(handle, &path[0], static_cast<DWORD>(path.size()), 0);
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  static constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
  if (path.compare(0, kLongPrefix.size(), kLongPrefix) == 0) path.erase(0, kLongPrefix.size());
  return path;
}

bool SamePathText(std::wstring a, std::wstring b) {
  while (!a.empty() && (a.back() == L'\\' || a.back() == L'/')) a.pop_back();
  while (!b.empty() && (b.back() == L'\\' || b.back() == L'/')) b.pop_back();
  return a.size() == b.size() &&
         CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Opens `dir` itself, not what a link there points to, and keeps anybody
// from renaming or deleting it while the handle lives: what is enumerated
// below is the folder that was checked. Empty for a link or a non-folder.
win::ScopedHandle HoldRealDirectory(const std::wstring& dir) {
  win::ScopedHandle held(CreateFileW(
      dir.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!held || !GetFileInformationByHandle(held.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return {};
  }
  const std::wstring final_path = FinalPathOf(held.get());
  if (!final_path.empty() && !SamePathText(final_path, dir)) return {};
  return held;
}

void RemoveChildren(const std::wstring& dir, int depth);

// Removes `dir`: a link (junction, symbolic link) is removed itself and never
// followed, so a link put in the place of one of our folders leaves what it
// points to untouched.
bool RemoveTree(const std::wstring& dir, int depth) {
  {
    const win::ScopedHandle held = HoldRealDirectory(dir);
    if (held && depth < kMaxRemoveDepth) RemoveChildren(dir, depth);
  }
  // RemoveDirectory removes a link, not its target, and an empty folder. A
  // host's link under Wine is removed as the file it is there.
  return RemoveDirectoryW(dir.c_str()) != FALSE || DeleteFileW(dir.c_str()) != FALSE;
}

void RemoveChildren(const std::wstring& dir, int depth) {
  const std::wstring base = WithTrailingSeparator(dir);
  WIN32_FIND_DATAW entry;
  win::ScopedFindHandle find(FindFirstFileW((base + L"*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = base + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      SetFileAttributesW(child.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Checked again by handle: the entry may have become a link since.
      RemoveTree(child, depth + 1);
    } else {
      DeleteFileW(child.c_str());  // a file link is removed, not its target
    }
  } while (FindNextFileW(find.get(), &entry));
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
