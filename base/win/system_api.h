#pragma once

// The functions of system libraries that are not on Windows' protected
// (known) list. Imported the usual way, such a library is looked for first
// in the folder the installer was started from, before any of our code runs,
// so a DLL of that name dropped into Downloads would run with the
// installer's rights. These are loaded by their System32 path on first use
// instead, and the installer's import table names protected libraries only.
// Each wrapper behaves like the function it stands for; when the library or
// the function cannot be had it fails the way that function fails (0, FALSE,
// null or an error code, the last error ERROR_PROC_NOT_FOUND).
// Windows files only.

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <mmsystem.h>
#include <setupapi.h>
#include <winhttp.h>
#include <winver.h>
#include <oleacc.h>

namespace pelmar::sys {

// A library from the System32 folder only, loaded once and kept; null when
// it is missing there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// version.dll
DWORD GetFileVersionInfoSizeW(const wchar_t* file, DWORD* handle);
BOOL GetFileVersionInfoW(const wchar_t* file, DWORD handle, DWORD size, void* data);
BOOL VerQueryValueW(const void* block, const wchar_t* sub_block, void** buffer, UINT* length);

// winmm.dll
MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT flags);
MMRESULT timeKillEvent(UINT id);
DWORD timeGetTime();

// iphlpapi.dll
DWORD GetNetworkParams(FIXED_INFO* info, ULONG* size);
DWORD GetAdaptersInfo(IP_ADAPTER_INFO* info, ULONG* size);

// winhttp.dll
HINTERNET WinHttpOpen(const wchar_t* agent, DWORD access, const wchar_t* proxy,
                      const wchar_t* bypass, DWORD flags);
BOOL WinHttpCloseHandle(HINTERNET handle);
BOOL WinHttpGetProxyForUrl(HINTERNET session, const wchar_t* url,
                           WINHTTP_AUTOPROXY_OPTIONS* options, WINHTTP_PROXY_INFO* info);
BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config);

// setupapi.dll (protected on current Windows, but not on every system, and
// under Wine its own imports would be looked for beside the installer)
HDEVINFO SetupDiGetClassDevsW(const GUID* guid, const wchar_t* enumerator, HWND parent,
                              DWORD flags);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* info);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* info, const GUID* guid, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                      DWORD* needed, SP_DEVINFO_DATA* info);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* info, DWORD property,
                                       DWORD* type, BYTE* buffer, DWORD size, DWORD* needed);
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* info, wchar_t* id, DWORD size,
                                 DWORD* needed);

// oleacc.dll (screen readers ask the pages through it)
LRESULT LresultFromObject(REFIID riid, WPARAM wparam, IUnknown* object);
HRESULT AccessibleObjectFromWindow(HWND window, DWORD object_id, REFIID riid, void** object);

}  // namespace pelmar::sys
