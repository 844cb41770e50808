// TaskAsUser.dll: starts a file as the signed-in desktop user. An elevated
// caller borrows the token of the desktop shell's process, so the program
// does not inherit the installer's elevation; otherwise (or when that is not
// possible, as on systems without elevation) the shell's open verb is used.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "sdk/vek_api.h"

namespace {

std::wstring WideFromUtf8(const char* s) {
  if (!s || !*s) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring out(n - 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, &out[0], n);
  return out;
}

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* out() { return &h_; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

bool IsElevated() {
  Handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) return false;
  // TokenElevation (20) exists from Vista on; earlier systems have no elevation.
  DWORD elevation = 0;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(20), &elevation,
                           sizeof elevation, &size))
    return false;
  return elevation != 0;
}

typedef BOOL(WINAPI* CreateProcessWithTokenWFn)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                                LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

bool StartWithShellToken(const std::wstring& file, const std::wstring& parameters) {
  auto createWithToken = reinterpret_cast<CreateProcessWithTokenWFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "CreateProcessWithTokenW")));
  if (!createWithToken) return false;
  HWND shell = GetShellWindow();
  if (!shell) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(shell, &pid);
  if (!pid) return false;
  Handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process.get()) return false;
  Handle shellToken;
  if (!OpenProcessToken(process.get(), TOKEN_DUPLICATE, shellToken.out())) return false;
  Handle token;
  const DWORD access = TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_ADJUST_DEFAULT |
                       TOKEN_ADJUST_SESSIONID;
  if (!DuplicateTokenEx(shellToken.get(), access, nullptr, SecurityImpersonation, TokenPrimary,
                        token.out()))
    return false;
  std::wstring folder = file;
  const size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
  std::wstring command = L"\"" + file + L"\"";
  if (!parameters.empty()) command += L" " + parameters;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!createWithToken(token.get(), 0, file.c_str(), &command[0], 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

extern "C" {

// Non-zero when the file was started. `parametersUtf8` (may be null) is the
// program's command line after its own name.
int VEK_CALL ShellExecAsUser(const char* verb, const char* fileUtf8, const char* parametersUtf8,
                             const char*, const char*) {
  const std::wstring file = WideFromUtf8(fileUtf8);
  const std::wstring wideVerb = WideFromUtf8(verb);
  const std::wstring parameters = WideFromUtf8(parametersUtf8);
  if (file.empty() || wideVerb.empty()) return 0;
  if (IsElevated() && wideVerb == L"open") {
    if (StartWithShellToken(file, parameters)) return 1;
    // An address or a protocol is no program: the desktop user's own shell
    // opens it, so the browser it picks does not inherit the elevation.
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
      wchar_t windows[MAX_PATH] = {};
      const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
      if (n > 0 && n < MAX_PATH &&
          StartWithShellToken(std::wstring(windows) + L"\\explorer.exe", L"\"" + file + L"\""))
        return 1;
    }
  }
  const HINSTANCE r =
      ShellExecuteW(nullptr, wideVerb.c_str(), file.c_str(),
                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32 ? 1 : 0;
}

}  // extern "C"
