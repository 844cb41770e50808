#include "app/system_queries.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/win/scoped_handle.h"
#include "base/event_sink.h"

namespace pelmar {
namespace {

// "error_status" of "vInstallPathError": 最大磁盘空间不足.
constexpr char kInstallPathErrorStatus[] =
    "\xE6\x9C\x80\xE5\xA4\xA7\xE7\xA3\x81\xE7\x9B\x98"
    "\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3";
constexpr uint32_t kMountPathChars = 261;
constexpr DWORD kImagePathChars = 260;
// More volumes than this are not a real machine; the bound keeps a broken
// enumeration from looping.
constexpr int kMaxVolumes = 256;

std::wstring SpecialFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) return std::wstring();
  return folder;
}

template <typename Fn>
Fn Kernel32Function(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

}  // namespace

std::vector<std::wstring> VolumeMountPaths(const std::wstring& volume_name) {
  return ReadGrowingMultiString(
      kMountPathChars, [&](wchar_t* buffer, uint32_t capacity, uint32_t* needed) {
        DWORD length = 0;
        if (GetVolumePathNamesForVolumeNameW(volume_name.c_str(), buffer, capacity, &length)) {
          return kListRead;
        }
        *needed = length;
        return GetLastError() == ERROR_MORE_DATA ? kListTooSmall : kListFailed;
      });
}

std::vector<std::wstring> AllVolumeMountPaths() {
  std::vector<std::wstring> paths;
  wchar_t name[MAX_PATH] = {};
  const win::ScopedFindVolumeHandle find(FindFirstVolumeW(name, MAX_PATH));
  if (!find) return paths;
  int count = 0;
  do {
    const std::wstring volume = name;
    if (volume.size() < 5 || volume.compare(0, 4, L"\\\\?\\") != 0 || volume.back() != L'\\') {
      continue;
    }
    for (auto& path : VolumeMountPaths(volume)) paths.push_back(std::move(path));
  } while (++count < kMaxVolumes && FindNextVolumeW(find.get(), name, MAX_PATH));
  return paths;
}

std::wstring BestVolumeRoot() {
  std::wstring best;
  uint64_t best_free = 0;
  for (const auto& root : AllVolumeMountPaths()) {
    const uint64_t free = FreeSpace(root);
    if (free <= best_free) continue;
    // A volume counts only where a directory can be made (not read-only, not
    // denied). A probe folder that was there before is left alone.
    const std::wstring probe = WithTrailingSeparator(root) + L"PelmarPkg";
    const bool existed = DirectoryExists(probe);
    if (!CreateDirectories(probe)) continue;
    if (!existed) RemoveDirectoryW(probe.c_str());
    best = WithTrailingSeparator(root);
    best_free = free;
  }
  if (!best.empty()) return best;
  best = MakerDataDirectory();
  if (!best.empty()) return best;
  return VolumeRootOf(SpecialFolder(CSIDL_WINDOWS));
}

// The product is a 32-bit program and installs where 32-bit programs go:
// "Program Files (x86)" on 64-bit Windows, whichever build asks. Systems
// before Vista may know no such folder; there the one folder is meant.
std::wstring ProgramFilesFolder() {
  const std::wstring x86 = SpecialFolder(CSIDL_PROGRAM_FILESX86);
  return x86.empty() ? SpecialFolder(CSIDL_PROGRAM_FILES) : x86;
}

std::wstring DefaultInstallLocation(const CInstallTarget& target, IEventSink& events) {
  const std::wstring program_files = ProgramFilesFolder();
  if (!program_files.empty() && target.CheckSpace(program_files).roomy) return program_files;
  const std::wstring best = BestVolumeRoot();
  if (target.CheckSpace(best).roomy) return best;
  (void)events.Send(Event("vInstallPathError").SetString("error_status", kInstallPathErrorStatus));
  return std::wstring();
}

bool ParentProcessId(DWORD pid, DWORD* parent) {
  win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) {
      *parent = entry.th32ParentProcessID;
      return true;
    }
  }
  return false;
}

bool ProcessImagePath(DWORD pid, std::wstring* path) {
  win::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return false;
  wchar_t buffer[kImagePathChars + 1] = {};
  DWORD size = kImagePathChars;
  using QueryFullFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
  using ModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
  if (const auto query = Kernel32Function<QueryFullFn>("QueryFullProcessImageNameW")) {
    if (!query(process.get(), 0, buffer, &size)) return false;
    *path = std::wstring(buffer, size);
    return !path->empty();
  }
  auto module_name = Kernel32Function<ModuleNameFn>("K32GetModuleFileNameExW");
  win::ScopedLibrary psapi;
  if (module_name == nullptr) {
    psapi.reset(LoadLibraryW(L"psapi.dll"));
    if (psapi) {
      module_name = reinterpret_cast<ModuleNameFn>(
          reinterpret_cast<void*>(GetProcAddress(psapi.get(), "GetModuleFileNameExW")));
    }
  }
  const DWORD n =
      module_name != nullptr ? module_name(process.get(), nullptr, buffer, kImagePathChars) : 0;
  if (n == 0) return false;
  *path = std::wstring(buffer, n);
  return true;
}

std::vector<ProcessEntry> ProcessesMatching(
    const std::function<bool(const std::wstring&)>& accept) {
  std::vector<ProcessEntry> found;
  win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (accept(entry.szExeFile)) found.push_back({entry.th32ProcessID, entry.szExeFile});
  }
  return found;
}

}  // namespace pelmar
