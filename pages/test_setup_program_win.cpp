// A stand-in for the product's setup program in the progress page's tests:
// appends its command line (UTF-8) to "setup_runs.txt" in the folder given
// by /DIR="...", then waits PELMAR_TEST_SETUP_MS milliseconds and exits with
// PELMAR_TEST_SETUP_EXIT (both from the environment it inherits; 0 and 0
// when unset).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

unsigned long EnvNumber(const wchar_t* name) {
  wchar_t value[32] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 32);
  if (n == 0 || n >= 32) return 0;
  return std::wcstoul(value, nullptr, 10);
}

std::wstring InstallDir(const std::wstring& commandLine) {
  const std::wstring key = L"/DIR=\"";
  const size_t at = commandLine.find(key);
  if (at == std::wstring::npos) return {};
  const size_t start = at + key.size();
  const size_t end = commandLine.find(L'"', start);
  if (end == std::wstring::npos) return {};
  return commandLine.substr(start, end - start);
}

void AppendLine(const std::wstring& path, const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  if (bytes > 1)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  utf8 += "\n";
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int wmain() {
  const std::wstring commandLine = GetCommandLineW();
  const std::wstring dir = InstallDir(commandLine);
  if (!dir.empty()) {
    CreateDirectoryW(dir.c_str(), nullptr);
    AppendLine(dir + L"\\setup_runs.txt", commandLine);
  }
  Sleep(EnvNumber(L"PELMAR_TEST_SETUP_MS"));
  return static_cast<int>(EnvNumber(L"PELMAR_TEST_SETUP_EXIT"));
}
