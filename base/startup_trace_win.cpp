#include "base/startup_trace.h"

#include <windows.h>
#include <psapi.h>

#include <cstdlib>

#include "base/text_convert.h"
#include "base/win/system_api.h"

namespace pelmar {

double StartupTraceClockMs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

using MemoryInfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

// Looked up, not imported: psapi.dll is not on the protected list, and only
// a traced run asks (kernel32 has the function from Windows 7 on).
MemoryInfoFn MemoryInfo() {
  static const MemoryInfoFn found = [] {
    auto fn = reinterpret_cast<MemoryInfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    if (fn) return fn;
    HMODULE psapi = sys::LoadSystemLibrary(L"psapi.dll");
    return psapi ? reinterpret_cast<MemoryInfoFn>(
                       reinterpret_cast<void*>(GetProcAddress(psapi, "GetProcessMemoryInfo")))
                 : nullptr;
  }();
  return found;
}

}  // namespace

void StartupTraceWorkingSet(uint64_t* current, uint64_t* peak) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  const MemoryInfoFn info = MemoryInfo();
  if (!info || !info(GetCurrentProcess(), &counters, sizeof counters)) {
    *current = *peak = 0;
    return;
  }
  *current = counters.WorkingSetSize;
  *peak = counters.PeakWorkingSetSize;
}

std::FILE* OpenStartupTraceFile(const std::string& utf8Path) {
  return _wfopen(WideFromUtf8(utf8Path).c_str(), L"ab");
}

std::string StartupTraceVariable() {
  const wchar_t* value = _wgetenv(L"PELMAR_STARTUP_TRACE");
  return value ? Utf8FromWide(value) : std::string();
}

}  // namespace pelmar
