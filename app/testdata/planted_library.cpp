// A DLL someone drops beside the installer under a system library's name: if
// it is ever loaded, it leaves "<its own path>.loaded" beside itself. It
// exports what a program imports from those libraries (doing nothing), so a
// program that imports them really gets it, as with a real planted copy.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}

extern "C" {
// version.dll
DWORD WINAPI PlantedGetFileVersionInfoSizeW(const wchar_t*, DWORD*) { return 0; }
BOOL WINAPI PlantedGetFileVersionInfoW(const wchar_t*, DWORD, DWORD, void*) { return FALSE; }
BOOL WINAPI PlantedVerQueryValueW(const void*, const wchar_t*, void**, UINT*) { return FALSE; }
// winmm.dll
UINT WINAPI PlantedTimeSetEvent(UINT, UINT, void*, DWORD_PTR, UINT) { return 0; }
UINT WINAPI PlantedTimeKillEvent(UINT) { return 0; }
DWORD WINAPI PlantedTimeGetTime() { return GetTickCount(); }
// iphlpapi.dll
DWORD WINAPI PlantedGetNetworkParams(void*, ULONG*) { return ERROR_NOT_SUPPORTED; }
DWORD WINAPI PlantedGetAdaptersInfo(void*, ULONG*) { return ERROR_NOT_SUPPORTED; }
// winhttp.dll
void* WINAPI PlantedWinHttpOpen(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, DWORD) {
  return nullptr;
}
BOOL WINAPI PlantedWinHttpCloseHandle(void*) { return FALSE; }
BOOL WINAPI PlantedWinHttpGetProxyForUrl(void*, const wchar_t*, void*, void*) { return FALSE; }
BOOL WINAPI PlantedWinHttpGetIEProxyConfigForCurrentUser(void*) { return FALSE; }
// setupapi.dll
void* WINAPI PlantedSetupDiGetClassDevsW(const void*, const wchar_t*, HWND, DWORD) {
  return INVALID_HANDLE_VALUE;
}
BOOL WINAPI PlantedSetupDiDestroyDeviceInfoList(void*) { return FALSE; }
BOOL WINAPI PlantedSetupDiEnumDeviceInfo(void*, DWORD, void*) { return FALSE; }
BOOL WINAPI PlantedSetupDiEnumDeviceInterfaces(void*, void*, const void*, DWORD, void*) {
  return FALSE;
}
BOOL WINAPI PlantedSetupDiGetDeviceInterfaceDetailW(void*, void*, void*, DWORD, DWORD*, void*) {
  return FALSE;
}
BOOL WINAPI PlantedSetupDiGetDeviceRegistryPropertyW(void*, void*, DWORD, DWORD*, BYTE*, DWORD,
                                                     DWORD*) {
  return FALSE;
}
BOOL WINAPI PlantedSetupDiGetDeviceInstanceIdW(void*, void*, wchar_t*, DWORD, DWORD*) {
  return FALSE;
}
// dbghelp.dll
BOOL WINAPI PlantedMiniDumpWriteDump(HANDLE, DWORD, HANDLE, int, void*, void*, void*) {
  return FALSE;
}
}
