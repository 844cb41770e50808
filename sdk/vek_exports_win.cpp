// Vek.dll: configuration, records, the signed request and sealed payload,
// machine identifier, URL opening and crash capture. Exported undecorated
// with __stdcall (see vek.def).
#include <windows.h>
#include <dbghelp.h>
#include <shellapi.h>
#include <wincrypt.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>

#include "sdk/envelope.h"
#include "sdk/http_text.h"
#include "sdk/open_address.h"
#include "sdk/spool_file.h"
#include "sdk/spool_record.h"
#include "sdk/vek_api.h"

using namespace pelmar::vek;

namespace {

// A system library from the System32 folder only, whatever the search path.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE g_module = nullptr;
CRITICAL_SECTION g_lock;

struct Config {
  std::string appId, appKey, appName, host, sensorPath;
  int port = 80;
  int midVersion = 1;
};

struct Instance {
  Config config;
  VekCrashHandler crashHandler = nullptr;
  void* crashContext = nullptr;
};

struct Record {
  SpoolRecord body;
  Config config;  // copied at creation: a record outlives a freed handle
};

// Guarded by g_lock.
std::set<Instance*> g_live;
Instance* g_current = nullptr;  // the instance the handle-less utilities use
std::string g_mid;
VekCrashHandler g_crashHandler = nullptr;
void* g_crashContext = nullptr;

class Locked {
 public:
  Locked() { EnterCriticalSection(&g_lock); }
  ~Locked() { LeaveCriticalSection(&g_lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

std::wstring WideFromUtf8(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

// The folder holding Vek.dll, with a trailing backslash.
std::wstring SdkFolder() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return {};
  std::wstring folder(path, n);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

bool RandomBytes(void* out, DWORD size) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return false;
  const BOOL ok = CryptGenRandom(provider, size, static_cast<BYTE*>(out));
  CryptReleaseContext(provider, 0);
  return ok != FALSE;
}

std::string NewUid() {
  unsigned char bytes[16] = {};
  if (!RandomBytes(bytes, sizeof bytes)) {
    // No provider: time, process, counter and address still differ per record.
    static LONG counter = 0;
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const LONG c = InterlockedIncrement(&counter);
    const DWORD pid = GetCurrentProcessId();
    std::memcpy(bytes, &ft, 8);
    std::memcpy(bytes + 8, &pid, 4);
    std::memcpy(bytes + 12, &c, 4);
  }
  return HexLower(bytes, sizeof bytes);
}

int64_t NowMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const uint64_t t = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int64_t>((t - 116444736000000000ull) / 10000);
}

// The identifier lives in the user's registry hive, so it survives a fresh
// unpacking of the SDK and differs per user.
const wchar_t kMidKey[] = L"Software\\PelmarPkg\\Vek";

std::string LoadOrCreateMid() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kMidKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return {};
  wchar_t value[64] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  std::string mid;
  if (RegQueryValueExW(key, L"mid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ) {
    for (const wchar_t* p = value; *p; ++p)
      if (*p < 128) mid += static_cast<char>(*p);
  }
  if (mid.size() != 32) {
    unsigned char bytes[16];
    mid = RandomBytes(bytes, sizeof bytes) ? HexLower(bytes, sizeof bytes) : std::string();
    if (!mid.empty()) {
      const std::wstring wide(mid.begin(), mid.end());
      RegSetValueExW(key, L"mid", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                     static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
  }
  RegCloseKey(key);
  return mid;
}

std::string Mid() {
  Locked lock;
  if (g_mid.empty()) g_mid = LoadOrCreateMid();
  return g_mid;
}

char* CopyOut(const std::string& text, int* outLength) {
  char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
  if (!buffer) return nullptr;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  if (outLength) *outLength = static_cast<int>(text.size());
  return buffer;
}

bool SpoolHasRecords(const std::wstring& folder) {
  std::string content;
  CSpoolFile spool(folder);
  if (!spool.Lock()) return false;
  const bool ok = spool.ReadAll(&content);
  spool.Unlock();
  return ok && content.find('\n') != std::string::npos;
}

// Starts Vek.exe unless one already serves this folder. The uploader checks
// for new records and lets go of its mutex under the spool lock, and we look
// for it after our append has released that lock, so a record is never left
// behind by an uploader that is just ending.
void StartUploader(const std::wstring& folder, const Config& config) {
  if (config.host.empty() || config.sensorPath.empty() || folder.empty()) return;
  HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, UploaderMutexName(folder).c_str());
  if (running) {
    CloseHandle(running);
    return;
  }
  const std::wstring exe = folder + L"Vek.exe";
  std::wstring command = L"\"" + exe + L"\" \"" + WideFromUtf8(config.host) + L"\" " +
                         std::to_wstring(config.port) + L" \"" + WideFromUtf8(config.sensorPath) +
                         L"\" \"" + WideFromUtf8(config.appId) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE,
                     CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr, folder.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

Instance* LiveInstance(VekHandle handle) {
  auto* instance = static_cast<Instance*>(handle);
  return g_live.count(instance) ? instance : nullptr;
}

// Sets one configuration member of a live handle; 1 for an unknown handle.
template <typename Setter>
int Configure(VekHandle handle, Setter set) {
  Locked lock;
  Instance* instance = LiveInstance(handle);
  if (!instance) return 1;
  return set(instance->config);
}

typedef BOOL(WINAPI* MiniDumpWriteDumpFn)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

LONG g_crashing = 0;

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers) {
  // A second fault inside the handler goes straight to the system.
  if (InterlockedExchange(&g_crashing, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
  VekCrashHandler handler;
  void* context;
  {
    Locked lock;
    handler = g_crashHandler;
    context = g_crashContext;
  }
  const std::wstring path = SdkFolder() + L"crash_" + std::to_wstring(GetCurrentProcessId()) +
                            L"_" + std::to_wstring(GetTickCount()) + L".dmp";
  bool written = false;
  // By its System32 path: a "dbghelp.dll" beside the installer or in the
  // current folder must never be the one loaded.
  if (HMODULE dbghelp = LoadSystemLibrary(L"dbghelp.dll")) {
    auto write = reinterpret_cast<MiniDumpWriteDumpFn>(
        reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (write && file != INVALID_HANDLE_VALUE) {
      MINIDUMP_EXCEPTION_INFORMATION info{};
      info.ThreadId = GetCurrentThreadId();
      info.ExceptionPointers = pointers;
      info.ClientPointers = FALSE;
      written = write(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                      pointers ? &info : nullptr, nullptr, nullptr) != FALSE;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  if (!written) DeleteFileW(path.c_str());
  if (handler) handler(context, written ? path.c_str() : L"");
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// Every export catches everything: no exception may cross into the caller,
// which has its own runtime.
extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    InitializeCriticalSection(&g_lock);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

int VEK_CALL vekCreate(VekHandle* out) {
  try {
    if (!out) return 1;
    Instance* instance = new (std::nothrow) Instance;
    if (!instance) return 1;
    Locked lock;
    g_live.insert(instance);
    g_current = instance;
    *out = instance;
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekFree(VekHandle handle) {
  try {
    Locked lock;
    Instance* instance = LiveInstance(handle);
    if (!instance) return 1;
    g_live.erase(instance);
    if (g_current == instance) g_current = nullptr;
    if (g_crashContext == instance->crashContext && g_crashHandler == instance->crashHandler) {
      g_crashHandler = nullptr;
      g_crashContext = nullptr;
    }
    delete instance;
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekSetApplyKey(VekHandle handle, const char* appId, const char* appKey) {
  try {
    if (!appId || !appKey || !*appId || !*appKey) return 1;
    return Configure(handle, [&](Config& c) {
      c.appId = appId;
      c.appKey = appKey;
      return 0;
    });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekSetAppInfo(VekHandle handle, const char* appName, int, int) {
  try {
    if (!appName || !*appName) return 1;
    return Configure(handle, [&](Config& c) {
      c.appName = appName;
      return 0;
    });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekSetHostInfo(VekHandle handle, const char* host, int port) {
  try {
    if (!host || !*host || port <= 0 || port > 65535) return 1;
    return Configure(handle, [&](Config& c) {
      c.host = host;
      c.port = port;
      return 0;
    });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekSetSensorUrl(VekHandle handle, const char* path) {
  try {
    if (!path || path[0] != '/') return 1;
    Config config;
    const int status = Configure(handle, [&](Config& c) {
      c.sensorPath = path;
      config = c;
      return 0;
    });
    // Records left by an earlier run go as soon as the SDK knows where to.
    const std::wstring folder = SdkFolder();
    if (status == 0 && SpoolHasRecords(folder)) StartUploader(folder, config);
    return status;
  } catch (...) {
    return 1;
  }
}

// The keys are kept for a transport that encrypts; records and requests here
// are authenticated with the application key instead.
int VEK_CALL vekSetPubCertificate(VekHandle handle, const char* key) {
  try {
    return Configure(handle, [&](Config&) { return key && *key ? 0 : 1; });
  } catch (...) {
    return 1;
  }
}
int VEK_CALL vekSetPriCcertificate(VekHandle handle, const char* key) {
  try {
    return Configure(handle, [&](Config&) { return key && *key ? 0 : 1; });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekSetMidVersion(VekHandle handle, int version) {
  try {
    return Configure(handle, [&](Config& c) {
      c.midVersion = version;
      return 0;
    });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekEnableSandbox(VekHandle handle, int) {
  try {
    return Configure(handle, [](Config&) { return 0; });
  } catch (...) {
    return 1;
  }
}
int VEK_CALL vekSetNetProtocol(VekHandle handle, int) {
  try {
    return Configure(handle, [](Config&) { return 0; });
  } catch (...) {
    return 1;
  }
}
int VEK_CALL vekSetURLVersion(VekHandle handle, const char*) {
  try {
    return Configure(handle, [](Config&) { return 0; });
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekEnableCrashReport(VekHandle handle, VekCrashHandler handler, void* context) {
  try {
    {
      Locked lock;
      Instance* instance = LiveInstance(handle);
      if (!instance) return 1;
      instance->crashHandler = handler;
      instance->crashContext = context;
      g_crashHandler = handler;
      g_crashContext = context;
    }
    SetUnhandledExceptionFilter(&CrashFilter);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTCreate(VekHandle handle, int type, VekRecord* out) {
  try {
    if (!out || type <= 0) return 1;
    Locked lock;
    Instance* instance = LiveInstance(handle);
    if (!instance) return 1;
    Record* record = new (std::nothrow) Record{SpoolRecord(type), instance->config};
    if (!record) return 1;
    *out = record;
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTSensorWriteEvent(VekRecord record, const char* name, int eventId) {
  try {
    if (!record || !name) return 1;
    static_cast<Record*>(record)->body.WriteEvent(name, eventId);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTSensorWriteIntProperties(VekRecord record, const char* key, int value) {
  try {
    if (!record || !key) return 1;
    static_cast<Record*>(record)->body.WriteIntProperty(key, value);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTSensorWriteBoolProperties(VekRecord record, const char* key,
                                             unsigned char value) {
  try {
    if (!record || !key) return 1;
    static_cast<Record*>(record)->body.WriteBoolProperty(key, value != 0);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTSensorWriteStringProperties(VekRecord record, const char* key,
                                               const char* value) {
  try {
    if (!record || !key || !value) return 1;
    static_cast<Record*>(record)->body.WriteStringProperty(key, value);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTWriteInt(VekRecord record, int field, int value) {
  try {
    if (!record) return 1;
    static_cast<Record*>(record)->body.WriteInt(field, value);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTWriteData(VekRecord record, int field, const void* bytes, int length) {
  try {
    if (!record || length < 0 || (length > 0 && !bytes)) return 1;
    static_cast<Record*>(record)->body.WriteData(
        field, std::string(static_cast<const char*>(bytes), static_cast<size_t>(length)));
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTCommit(VekRecord record) {
  try {
    if (!record) return 1;
    const Record& r = *static_cast<Record*>(record);
    RecordContext context;
    context.uid = NewUid();
    context.appId = r.config.appId;
    context.appName = r.config.appName;
    context.mid = Mid();
    context.timeMs = NowMs();
    const std::string line = r.body.ToJsonLine(context);
    const std::wstring folder = SdkFolder();
    if (folder.empty()) return 1;
    {
      CSpoolFile spool(folder);
      if (!spool.Lock()) return 1;
      const bool appended = spool.AppendLine(line);
      spool.Unlock();
      if (!appended) return 1;
    }
    StartUploader(folder, r.config);
    return 0;
  } catch (...) {
    return 1;
  }
}

int VEK_CALL vekCLTFree(VekRecord record) {
  try {
    delete static_cast<Record*>(record);
    return 0;
  } catch (...) {
    return 1;
  }
}

char* VEK_CALL vekBuildHttpData(const char* path, const char* body, int length, int* outLength, int,
                                const char* version) {
  try {
    if (outLength) *outLength = 0;
    if (!path || length < 0 || (length > 0 && !body) || !outLength) return nullptr;
    Config config;
    {
      Locked lock;
      if (!g_current) return nullptr;
      config = g_current->config;
    }
    if (config.host.empty() || config.appKey.empty()) return nullptr;
    const std::string request = BuildSignedRequest(
        config.host, config.port, config.appId, config.appKey, version ? version : "", path,
        std::string_view(body ? body : "", static_cast<size_t>(length)));
    return CopyOut(request, outLength);
  } catch (...) {
    return nullptr;
  }
}

char* VEK_CALL vekDecryptData(const char* body, int length, int* outLength) {
  try {
    if (outLength) *outLength = 0;
    if (!body || length <= 0 || !outLength) return nullptr;
    std::string key;
    {
      Locked lock;
      if (!g_current) return nullptr;
      key = g_current->config.appKey;
    }
    std::string payload;
    if (key.empty() || !Open(key, std::string_view(body, static_cast<size_t>(length)), &payload) ||
        payload.empty())
      return nullptr;
    return CopyOut(payload, outLength);
  } catch (...) {
    return nullptr;
  }
}

void VEK_CALL vekDataFree(void* buffer) { std::free(buffer); }

char* VEK_CALL vekMid(void) {
  try {
    const std::string mid = Mid();
    return mid.empty() ? nullptr : CopyOut(mid, nullptr);
  } catch (...) {
    return nullptr;
  }
}

char* VEK_CALL vekMidEx(int) { return vekMid(); }

int VEK_CALL vekOpenUrl(const char* url) {
  try {
    // The caller may run elevated: only a web page is opened, never a file,
    // a share or a program the address might name.
    if (!url || !IsOpenableAddress(url)) return 1;
    const HINSTANCE r =
        ShellExecuteW(nullptr, L"open", WideFromUtf8(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32 ? 0 : 1;
  } catch (...) {
    return 1;
  }
}

}  // extern "C"
