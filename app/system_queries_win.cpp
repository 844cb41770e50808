#include "app/system_queries.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/win/registry_view.h"
#include "base/win/scoped_handle.h"
#include "services/logger_server.h"

namespace pelmar {
namespace {

// "error_status" of "vInstallPathError": 最大磁盘空间不足.
constexpr char kInstallPathErrorStatus[] =
    "\xE6\x9C\x80\xE5\xA4\xA7\xE7\xA3\x81\xE7\x9B\x98"
    "\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3";
constexpr uint32_t kMountPathChars = 261;
constexpr DWORD kRegistryValueBytes = 520;
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
  HANDLE find = FindFirstVolumeW(name, MAX_PATH);
  if (find == INVALID_HANDLE_VALUE) return paths;
  int count = 0;
  do {
    const std::wstring volume = name;
    if (volume.size() < 5 || volume.compare(0, 4, L"\\\\?\\") != 0 || volume.back() != L'\\') {
      continue;
    }
    for (auto& path : VolumeMountPaths(volume)) paths.push_back(std::move(path));
  } while (++count < kMaxVolumes && FindNextVolumeW(find, name, MAX_PATH));
  FindVolumeClose(find);
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

std::wstring DefaultInstallLocation(uint64_t required_bytes, IEventSink* events) {
  const std::wstring program_files = ProgramFilesFolder();
  if (!program_files.empty() && FreeSpace(program_files) > required_bytes) return program_files;
  const std::wstring best = BestVolumeRoot();
  if (FreeSpace(best) > required_bytes) return best;
  if (events == nullptr) events = GetLogger();
  (void)events->Send(Event("vInstallPathError").SetString("error_status", kInstallPathErrorStatus));
  return std::wstring();
}

int OsVersionClass() {
  static int cached = -1;
  if (cached != -1) return cached;
  cached = 6;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return cached;
  if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) {
    cached = 0;
  } else if (info.dwMajorVersion == 6 && info.dwMinorVersion == 0) {
    cached = 1;
  } else if (info.dwMajorVersion == 6 && info.dwMinorVersion == 1) {
    cached = info.wServicePackMajor != 0 ? 3 : 2;
  } else if (info.dwMajorVersion == 6) {
    // Without a manifest, Windows 8.1 and 10 report 6.2; the kernel's own
    // numbers tell them apart.
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    static const auto get_numbers =
        reinterpret_cast<RtlGetNtVersionNumbersFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers")));
    DWORD major = 0, minor = 0, build = 0;
    if (get_numbers != nullptr) get_numbers(&major, &minor, &build);
    cached = major == 10 ? 5 : 4;
  }
  return cached;
}

bool IsOs64Bit() {
  using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
  if (const auto native = Kernel32Function<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
    SYSTEM_INFO info = {};
    native(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
  }
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  if (const auto is_wow64 = Kernel32Function<IsWow64ProcessFn>("IsWow64Process")) {
    BOOL wow64 = FALSE;
    return is_wow64(GetCurrentProcess(), &wow64) && wow64;
  }
  return false;
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
  HMODULE psapi = nullptr;
  if (module_name == nullptr) {
    psapi = LoadLibraryW(L"psapi.dll");
    if (psapi != nullptr) {
      module_name = reinterpret_cast<ModuleNameFn>(
          reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleFileNameExW")));
    }
  }
  const DWORD n =
      module_name != nullptr ? module_name(process.get(), nullptr, buffer, kImagePathChars) : 0;
  if (psapi != nullptr) FreeLibrary(psapi);
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

std::wstring RegistryString(HKEY root, const std::wstring& key, const std::wstring& value,
                            bool view64) {
  // Read access, not full access: full access to the machine hive is denied
  // to every non-elevated process, which would make every lookup there fail.
  win::ScopedRegKey opened;
  const REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : win::kProductRegistryView);
  if (RegOpenKeyExW(root, key.c_str(), 0, access, opened.receive()) != ERROR_SUCCESS) return {};
  wchar_t data[kRegistryValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kRegistryValueBytes;
  DWORD type = 0;
  if (RegQueryValueExW(opened.get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  // The stored text need not end with a terminator; cut at the first one.
  std::wstring text(data, size / sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

bool UninstallEntryLocation(const std::wstring& entry_name, std::wstring* location) {
  const std::wstring key =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry_name;
  const bool view64 = IsOs64Bit();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring dir = RegistryString(root, key, L"InstallLocation", view64);
    if (!dir.empty()) {
      *location = dir;
      return true;
    }
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    std::wstring icon = RegistryString(root, key, L"DisplayIcon", view64);
    // Icon values are often quoted ("\"C:\\x\\a.exe\",0"); the quote is no part of the path.
    if (!icon.empty() && icon.front() == L'"') icon.erase(0, 1);
    const size_t slash = icon.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 0) {
      *location = icon.substr(0, slash);
      return true;
    }
  }
  return false;
}

}  // namespace pelmar
