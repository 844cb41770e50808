// product_probe: stands in for the installed product in end-to-end tests. When
// started it writes "started.txt" beside itself and exits 0, so a test can see
// that the installer ran it.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  std::wstring marker(path, n);
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"started.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, "started\n", 8, &written, nullptr);
  CloseHandle(file);
  return 0;
}
