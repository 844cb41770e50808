#include "base/win/os_version.h"

#include <windows.h>

namespace pelmar::win {
namespace {

constexpr int kUnknownClass = 6;

template <typename Fn>
Fn Kernel32Function(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

// Without a manifest, Windows 8.1 and 10 report 6.2 to GetVersionEx; the
// kernel's own numbers tell them apart.
int ClassOfLaterSix() {
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  static const auto get_numbers =
      reinterpret_cast<RtlGetNtVersionNumbersFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers")));
  DWORD major = 0, minor = 0, build = 0;
  if (get_numbers != nullptr) get_numbers(&major, &minor, &build);
  return major == 10 ? 5 : 4;
}

int ReadOsVersionClass() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return kUnknownClass;
  if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) return 0;
  if (info.dwMajorVersion == 6 && info.dwMinorVersion == 0) return 1;
  if (info.dwMajorVersion == 6 && info.dwMinorVersion == 1) return info.wServicePackMajor ? 3 : 2;
  if (info.dwMajorVersion == 6) return ClassOfLaterSix();
  return kUnknownClass;
}

}  // namespace

int OsVersionClass() {
  static int cached = -1;
  if (cached == -1) cached = ReadOsVersionClass();
  return cached;
}

bool IsWindowsXp() { return OsVersionClass() == 0; }

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

}  // namespace pelmar::win
