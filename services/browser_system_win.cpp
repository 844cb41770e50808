#include "services/browser_system.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

#include "base/file_stream.h"
#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/win/os_version.h"
#include "base/win/registry_read.h"
#include "base/win/scoped_handle.h"
#include "services/browser_rules.h"

namespace pelmar {
namespace {

constexpr DWORD kImagePathChars = 1024;
// The process list grows while it is read; a few retries always catch up on
// a real machine, and the bound keeps a broken answer from looping.
constexpr int kProcessListAttempts = 8;
constexpr ULONG kProcessListFirstBytes = 1000;
constexpr ULONG kProcessListSlackBytes = 4000;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr int kSystemProcessInformation = 5;
constexpr ULONG kThreadStateWaiting = 5;
constexpr ULONG kWaitReasonSuspended = 5;
// Windows file times count 100 ns from 1601; Unix seconds count from 1970.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// The system's process list entries, as laid out for this (32-bit or 64-bit)
// process; only the fields read here are named, the rest keeps the offsets.
struct SystemThreadEntry {
  LARGE_INTEGER kernelTime, userTime, createTime;
  ULONG waitTime;
  void* startAddress;
  HANDLE clientProcess, clientThread;
  LONG priority, basePriority;
  ULONG contextSwitches, threadState, waitReason;
};
struct SystemProcessEntry {
  ULONG nextEntryOffset;
  ULONG numberOfThreads;
  LARGE_INTEGER reserved1[3];
  LARGE_INTEGER createTime, userTime, kernelTime;
  USHORT nameLength, nameMaximumLength;
  wchar_t* nameBuffer;
  LONG basePriority;
  HANDLE uniqueProcessId;
  HANDLE inheritedFromUniqueProcessId;
  ULONG handleCount, sessionId;
  ULONG_PTR uniqueProcessKey;
  SIZE_T peakVirtualSize, virtualSize;
  ULONG pageFaultCount;
  SIZE_T peakWorkingSetSize, workingSetSize, quotaPeakPagedPoolUsage, quotaPagedPoolUsage,
      quotaPeakNonPagedPoolUsage, quotaNonPagedPoolUsage, pagefileUsage, peakPagefileUsage,
      privatePageCount;
  LARGE_INTEGER ioCounters[6];
  // SystemThreadEntry threads[numberOfThreads] follow.
};

using NtQuerySystemInformationFn = LONG(WINAPI*)(int, void*, ULONG, ULONG*);

int64_t UnixSecondsFromProcessTime(const FILETIME& time) {
  const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return (static_cast<int64_t>(ticks) - static_cast<int64_t>(kUnixEpochAsFileTime)) / 10000000;
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

class WindowsBrowserSystem : public IBrowserSystem {
 public:
  WindowsBrowserSystem(std::wstring own_file, StartAsUser start)
      : ownFile_(std::move(own_file)), start_(std::move(start)) {}

  std::wstring DefaultBrowserCommand() override {
    const bool view64 = win::IsOs64Bit();
    if (win::IsWindowsXp())
      return win::RegistryString(HKEY_CLASSES_ROOT, L"htmlfile\\shell\\open\\command", L"", view64);
    const std::wstring prog_id = win::RegistryString(
        HKEY_CURRENT_USER,
        L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
        L"ProgId", view64);
    if (prog_id.empty()) return {};
    return win::RegistryString(HKEY_CLASSES_ROOT, prog_id + L"\\shell\\open\\command", L"", view64);
  }

  bool IsRegularFile(const std::wstring& path) override {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool OwnFileLastWrite(int64_t* unix_seconds) override {
    try {
      CFileStream stream(OpenFileStream(kModeReadShared, OwnFile()));
      int64_t creation = 0, access = 0;
      return stream.IsOpen() && stream.GetTimes(&creation, &access, unix_seconds);
    } catch (...) {
      return false;  // "PelmarFileOpen failed": nothing is opened
    }
  }

  bool OwnImagePath(std::wstring* path) override {
    if (!ownFile_.empty()) {
      *path = ownFile_;
      return true;
    }
    return ImagePath(GetCurrentProcessId(), path);
  }

  bool UninstallLocation(const std::wstring& entry, std::wstring* folder) override {
    std::wstring location;
    if (!win::UninstallEntryLocation(entry, &location)) return false;
    *folder = WithTrailingSeparator(location);
    return true;
  }

  std::vector<RunningBrowser> RunningBrowsers() override {
    std::vector<RunningBrowser> found;
    win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      if (IsKnownBrowserName(entry.szExeFile)) {
        found.push_back({entry.th32ProcessID, entry.szExeFile});
      }
    }
    return found;
  }

  bool IsRunnable(uint32_t pid) override {
    const auto query = reinterpret_cast<NtQuerySystemInformationFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return false;
    std::vector<BYTE> buffer(kProcessListFirstBytes);
    LONG status = kStatusInfoLengthMismatch;
    for (int attempt = 0; attempt < kProcessListAttempts; ++attempt) {
      ULONG needed = 0;
      status = query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                     &needed);
      if (status != kStatusInfoLengthMismatch) break;
      buffer.resize(needed + kProcessListSlackBytes);
    }
    if (status < 0) return false;
    size_t offset = 0;
    while (offset + sizeof(SystemProcessEntry) <= buffer.size()) {
      const auto* process = reinterpret_cast<const SystemProcessEntry*>(buffer.data() + offset);
      if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(process->uniqueProcessId)) == pid) {
        if (process->numberOfThreads == 0 ||
            offset + sizeof(SystemProcessEntry) + sizeof(SystemThreadEntry) > buffer.size()) {
          return false;
        }
        const auto* first = reinterpret_cast<const SystemThreadEntry*>(process + 1);
        return !(first->threadState == kThreadStateWaiting &&
                 first->waitReason == kWaitReasonSuspended);
      }
      if (process->nextEntryOffset == 0) break;
      offset += process->nextEntryOffset;
    }
    return false;  // not in the list: gone
  }

  bool CreationTime(uint32_t pid, int64_t* unix_seconds) override {
    win::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process) return false;
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return false;
    *unix_seconds = UnixSecondsFromProcessTime(created);
    return true;
  }

  bool ImagePath(uint32_t pid, std::wstring* path) override {
    win::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return false;
    wchar_t buffer[kImagePathChars] = {};
    DWORD size = kImagePathChars;
    using QueryFullFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
    const auto query = reinterpret_cast<QueryFullFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "QueryFullProcessImageNameW")));
    if (query != nullptr) {
      if (!query(process.get(), 0, buffer, &size) || size == 0) return false;
      *path = std::wstring(buffer, size);
      return true;
    }
    // Windows XP: the module file name of the process, from the process
    // status library (loaded here, it is not always present).
    using ModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
    const win::ScopedLibrary psapi(LoadLibraryW(L"psapi.dll"));
    if (!psapi) return false;
    const auto module_name = reinterpret_cast<ModuleNameFn>(
        reinterpret_cast<void*>(GetProcAddress(psapi.get(), "GetModuleFileNameExW")));
    const DWORD n =
        module_name != nullptr ? module_name(process.get(), nullptr, buffer, kImagePathChars) : 0;
    if (n == 0) return false;
    *path = std::wstring(buffer, n);
    return true;
  }

  std::vector<std::wstring> TrustedBrowserFolders() override {
    std::vector<std::wstring> folders;
    for (std::wstring folder :
         {ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_PROGRAM_FILESX86),
          // A 32-bit process is told the 32-bit folder; the 64-bit one is here.
          EnvironmentValue(L"ProgramW6432"), ShellFolder(CSIDL_LOCAL_APPDATA),
          DirectoryOfFile(DefaultBrowserPathFromCommand(DefaultBrowserCommand()))}) {
      if (!folder.empty()) folders.push_back(std::move(folder));
    }
    return folders;
  }

  bool ShellOpen(const std::wstring& file, const std::wstring& parameters) override {
    if (start_) return start_(file, parameters);
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", file.c_str(),
                      parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOWNORMAL);
    // Values above 32 mean success.
    return reinterpret_cast<INT_PTR>(result) > 32;
  }

 private:
  std::wstring OwnFile() const { return ownFile_.empty() ? ModulePath() : ownFile_; }

  std::wstring ownFile_;
  StartAsUser start_;
};

}  // namespace

std::unique_ptr<IBrowserSystem> CreateBrowserSystem(const std::wstring& own_file,
                                                    StartAsUser start) {
  return std::make_unique<WindowsBrowserSystem>(own_file, std::move(start));
}

}  // namespace pelmar
