#include "base/win/system_api.h"

#include <string>

namespace pelmar::sys {
namespace {

// The address of `name` in the System32 library `library`, looked up once
// (function-local statics: the first call from any thread makes it).
template <typename Fn>
Fn Resolve(const wchar_t* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#define PELMAR_SYSTEM_FUNCTION(library, name) \
  static const auto fn = Resolve<decltype(&::name)>(library, #name)

constexpr wchar_t kVersion[] = L"version.dll";
constexpr wchar_t kWinmm[] = L"winmm.dll";
constexpr wchar_t kIphlpapi[] = L"iphlpapi.dll";
constexpr wchar_t kWinhttp[] = L"winhttp.dll";
constexpr wchar_t kSetupapi[] = L"setupapi.dll";
constexpr wchar_t kOleacc[] = L"oleacc.dll";

template <typename T>
T Missing(T failure) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return failure;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  // By its full path: no folder is searched. The reference is kept for the
  // rest of the process, so each library is mapped once.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

DWORD GetFileVersionInfoSizeW(const wchar_t* file, DWORD* handle) {
  PELMAR_SYSTEM_FUNCTION(kVersion, GetFileVersionInfoSizeW);
  return fn ? fn(file, handle) : Missing<DWORD>(0);
}

BOOL GetFileVersionInfoW(const wchar_t* file, DWORD handle, DWORD size, void* data) {
  PELMAR_SYSTEM_FUNCTION(kVersion, GetFileVersionInfoW);
  return fn ? fn(file, handle, size, data) : Missing<BOOL>(FALSE);
}

BOOL VerQueryValueW(const void* block, const wchar_t* sub_block, void** buffer, UINT* length) {
  PELMAR_SYSTEM_FUNCTION(kVersion, VerQueryValueW);
  return fn ? fn(block, sub_block, buffer, length) : Missing<BOOL>(FALSE);
}

MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT flags) {
  PELMAR_SYSTEM_FUNCTION(kWinmm, timeSetEvent);
  return fn ? fn(delay, resolution, callback, user, flags) : Missing<MMRESULT>(0);
}

MMRESULT timeKillEvent(UINT id) {
  PELMAR_SYSTEM_FUNCTION(kWinmm, timeKillEvent);
  return fn ? fn(id) : Missing<MMRESULT>(MMSYSERR_INVALPARAM);
}

DWORD timeGetTime() {
  PELMAR_SYSTEM_FUNCTION(kWinmm, timeGetTime);
  // Without the multimedia library the system's tick count is the same
  // millisecond clock, only coarser.
  return fn ? fn() : GetTickCount();
}

DWORD GetNetworkParams(FIXED_INFO* info, ULONG* size) {
  PELMAR_SYSTEM_FUNCTION(kIphlpapi, GetNetworkParams);
  return fn ? fn(info, size) : Missing<DWORD>(ERROR_NOT_SUPPORTED);
}

DWORD GetAdaptersInfo(IP_ADAPTER_INFO* info, ULONG* size) {
  PELMAR_SYSTEM_FUNCTION(kIphlpapi, GetAdaptersInfo);
  return fn ? fn(info, size) : Missing<DWORD>(ERROR_NOT_SUPPORTED);
}

HINTERNET WinHttpOpen(const wchar_t* agent, DWORD access, const wchar_t* proxy,
                      const wchar_t* bypass, DWORD flags) {
  PELMAR_SYSTEM_FUNCTION(kWinhttp, WinHttpOpen);
  return fn ? fn(agent, access, proxy, bypass, flags) : Missing<HINTERNET>(nullptr);
}

BOOL WinHttpCloseHandle(HINTERNET handle) {
  PELMAR_SYSTEM_FUNCTION(kWinhttp, WinHttpCloseHandle);
  return fn ? fn(handle) : Missing<BOOL>(FALSE);
}

BOOL WinHttpGetProxyForUrl(HINTERNET session, const wchar_t* url,
                           WINHTTP_AUTOPROXY_OPTIONS* options, WINHTTP_PROXY_INFO* info) {
  PELMAR_SYSTEM_FUNCTION(kWinhttp, WinHttpGetProxyForUrl);
  return fn ? fn(session, url, options, info) : Missing<BOOL>(FALSE);
}

BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config) {
  PELMAR_SYSTEM_FUNCTION(kWinhttp, WinHttpGetIEProxyConfigForCurrentUser);
  return fn ? fn(config) : Missing<BOOL>(FALSE);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* guid, const wchar_t* enumerator, HWND parent,
                              DWORD flags) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiGetClassDevsW);
  return fn ? fn(guid, enumerator, parent, flags) : Missing<HDEVINFO>(INVALID_HANDLE_VALUE);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiDestroyDeviceInfoList);
  return fn ? fn(set) : Missing<BOOL>(FALSE);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* info) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiEnumDeviceInfo);
  return fn ? fn(set, index, info) : Missing<BOOL>(FALSE);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* info, const GUID* guid, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiEnumDeviceInterfaces);
  return fn ? fn(set, info, guid, index, data) : Missing<BOOL>(FALSE);
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                      DWORD* needed, SP_DEVINFO_DATA* info) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiGetDeviceInterfaceDetailW);
  return fn ? fn(set, data, detail, size, needed, info) : Missing<BOOL>(FALSE);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* info, DWORD property,
                                       DWORD* type, BYTE* buffer, DWORD size, DWORD* needed) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiGetDeviceRegistryPropertyW);
  return fn ? fn(set, info, property, type, buffer, size, needed) : Missing<BOOL>(FALSE);
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* info, wchar_t* id, DWORD size,
                                 DWORD* needed) {
  PELMAR_SYSTEM_FUNCTION(kSetupapi, SetupDiGetDeviceInstanceIdW);
  return fn ? fn(set, info, id, size, needed) : Missing<BOOL>(FALSE);
}

LRESULT LresultFromObject(REFIID riid, WPARAM wparam, IUnknown* object) {
  PELMAR_SYSTEM_FUNCTION(kOleacc, LresultFromObject);
  return fn ? fn(riid, wparam, object) : Missing<LRESULT>(E_NOTIMPL);
}

HRESULT AccessibleObjectFromWindow(HWND window, DWORD object_id, REFIID riid, void** object) {
  PELMAR_SYSTEM_FUNCTION(kOleacc, AccessibleObjectFromWindow);
  if (fn == nullptr) {
    if (object != nullptr) *object = nullptr;
    return Missing<HRESULT>(E_NOTIMPL);
  }
  return fn(window, object_id, riid, object);
}

}  // namespace pelmar::sys
