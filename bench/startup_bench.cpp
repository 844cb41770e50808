// Start-up benchmark driver, under Wine:
//   startup_bench <install.exe> [reps]   measures install.exe against an empty
//                                        window (this program, "empty" mode)
//   startup_bench empty                  the reference: one empty 600 x 400 window
// For each program and repetition: the time from CreateProcess to the first
// paint of its window (the window is visible and its update region empty, which
// the paint's BeginPaint leaves), then its peak working set once it has
// settled on that page. Prints the medians side by side and their ratio.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The installer's main window class (the single-instance name start-up uses).
constexpr wchar_t kMainWindowClass[] = L"KavriPkg-Window-3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946";

constexpr wchar_t kEmptyClass[] = L"PelmarBenchEmptyWindow";
constexpr DWORD kStartLimitMs = 60000;
constexpr DWORD kSettleMs = 1000;

LRESULT CALLBACK EmptyProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

int RunEmptyWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = EmptyProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kEmptyClass;
  if (!RegisterClassW(&wc)) return 1;
  HWND w = CreateWindowExW(WS_EX_APPWINDOW, kEmptyClass, L"empty", WS_POPUP, 660, 340, 600, 400,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 1;
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Sample {
  double firstPaintMs = -1;
  double peakWorkingSetMiB = -1;
};

HWND FindWindowOf(DWORD pid, const wchar_t* className) {
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

// Ends the installer as a user would, through the remote beside it ("close"
// answers the cancel question with "确认").
void CloseInstaller(const std::wstring& installer, HANDLE process) {
  const std::wstring remote =
      installer.substr(0, installer.find_last_of(L"\\/") + 1) + L"installer_remote.exe";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + remote + L"\" close 30";
  if (CreateProcessW(remote.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &pi)) {
    WaitForSingleObject(pi.hProcess, kStartLimitMs);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  WaitForSingleObject(process, kStartLimitMs);
}

Sample Measure(const std::wstring& exe, const std::wstring& args, const wchar_t* className,
               bool installer) {
  Sample s;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + exe + L"\"" + args;
  const double started = NowMs();
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &pi)) {
    return s;
  }
  HWND window = nullptr;
  while (NowMs() - started < kStartLimitMs) {
    if (!window) window = FindWindowOf(pi.dwProcessId, className);
    if (window && IsWindowVisible(window) && !GetUpdateRect(window, nullptr, FALSE)) {
      s.firstPaintMs = NowMs() - started;
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(1);
  }
  Sleep(kSettleMs);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters)) {
    s.peakWorkingSetMiB = static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
  }
  if (window) {
    if (installer) {
      CloseInstaller(exe, pi.hProcess);
    } else {
      PostMessageW(window, WM_CLOSE, 0, 0);
      WaitForSingleObject(pi.hProcess, kStartLimitMs);
    }
  }
  if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return s;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && std::wstring(argv[1]) == L"empty") return RunEmptyWindow();
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_bench <install.exe> [reps] | startup_bench empty\n");
    return 2;
  }
  const std::wstring installer = argv[1];
  const int reps = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);

  std::vector<double> paintInstaller, paintEmpty, memInstaller, memEmpty;
  // One warm-up of each: the first Wine start of a program maps its files cold.
  Measure(self, L" empty", kEmptyClass, false);
  Measure(installer, L"", kMainWindowClass, true);
  for (int i = 0; i < reps; ++i) {
    const Sample e = Measure(self, L" empty", kEmptyClass, false);
    const Sample s = Measure(installer, L"", kMainWindowClass, true);
    if (e.firstPaintMs < 0 || s.firstPaintMs < 0) {
      std::fprintf(stderr, "startup_bench: a window did not paint\n");
      return 1;
    }
    paintEmpty.push_back(e.firstPaintMs);
    paintInstaller.push_back(s.firstPaintMs);
    memEmpty.push_back(e.peakWorkingSetMiB);
    memInstaller.push_back(s.peakWorkingSetMiB);
    std::printf("run %d: empty window %.0f ms %.1f MiB, install.exe %.0f ms %.1f MiB\n", i + 1,
                e.firstPaintMs, e.peakWorkingSetMiB, s.firstPaintMs, s.peakWorkingSetMiB);
  }
  const double pe = Median(paintEmpty), pi = Median(paintInstaller);
  const double me = Median(memEmpty), mi = Median(memInstaller);
  std::printf("first paint (median of %d): install.exe %.0f ms, empty window %.0f ms, ratio %.2f\n",
              reps, pi, pe, pi / pe);
  std::printf(
      "peak working set (median): install.exe %.1f MiB, empty window %.1f MiB, "
      "difference %.1f MiB\n",
      mi, me, mi - me);
  return 0;
}
