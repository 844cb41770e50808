// A stand-in for a web browser in the opener's tests: copied under a
// browser's executable name, it appends the command line it was started with
// to "<its own path>.log" and ends. Started with "--stay" it records nothing
// and keeps running (at most two minutes), to be found as a running browser.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kStayLimitMs = 120000;

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  if (std::wcscmp(arguments, L"--stay") == 0) {
    Sleep(kStayLimitMs);
    return 0;
  }
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  const std::wstring log = std::wstring(own) + L".log";
  FILE* file = _wfopen(log.c_str(), L"ab");
  if (file == nullptr) return 1;
  const std::string line = Utf8(GetCommandLineW()) + "\n";
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
  return 0;
}
