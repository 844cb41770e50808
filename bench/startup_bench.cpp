// Start-up benchmark driver, under Wine:
//   startup_bench <install.exe> [reps]   measures install.exe against an empty
//                                        window (this program, "empty" mode)
//   startup_bench empty                  the reference: one empty 600 x 400 window
// For each program and repetition: the time from CreateProcess to the first
// paint of its window (the window is visible and its update region empty, which
// the paint's BeginPaint leaves), then its peak working set once it has
// settled on that page. Prints the medians side by side and their ratio.
// The installer runs with PELMAR_STARTUP_TRACE set: its step marks (when each
// step of start-up ended, and the working set then) are printed as medians
// too, on the same time line as the first paint.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/startup_trace.h"
#include "base/text_convert.h"

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

constexpr double kMiB = 1024.0 * 1024.0;

struct Sample {
  double firstPaintMs = -1;
  double peakWorkingSetMiB = -1;
  std::vector<pelmar::StartupMark> marks;  // times from the process's creation
};

std::wstring TracePath() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD n = GetTempPathW(MAX_PATH, folder);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(folder, n) + L"pelmar_startup_trace_" +
         std::to_wstring(GetCurrentProcessId()) + L".txt";
}

std::string ReadText(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

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
  const std::wstring trace = installer ? TracePath() : std::wstring();
  if (!trace.empty()) {
    DeleteFileW(trace.c_str());
    SetEnvironmentVariableW(L"PELMAR_STARTUP_TRACE", trace.c_str());
  }
  const double started = NowMs();
  const BOOL made = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &pi);
  SetEnvironmentVariableW(L"PELMAR_STARTUP_TRACE", nullptr);
  if (!made) return s;
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
    s.peakWorkingSetMiB = static_cast<double>(counters.PeakWorkingSetSize) / kMiB;
  }
  if (!trace.empty()) {
    s.marks = pelmar::CStartupTrace::Parse(ReadText(trace));
    for (pelmar::StartupMark& m : s.marks) m.ms -= started;
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
  if (!trace.empty()) DeleteFileW(trace.c_str());
  return s;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Each step's median end time and working set over the runs, in the order
// of the first run (a step a run did not mark is left out of its median).
void PrintSteps(const std::vector<Sample>& runs, double firstPaintMs) {
  std::vector<std::string> order;
  std::map<std::string, std::vector<double>> ms, workingSet, peak;
  for (const Sample& run : runs) {
    std::map<std::string, bool> seen;
    for (const pelmar::StartupMark& m : run.marks) {
      if (seen[m.step]) continue;
      seen[m.step] = true;
      if (ms.find(m.step) == ms.end()) order.push_back(m.step);
      ms[m.step].push_back(m.ms);
      workingSet[m.step].push_back(static_cast<double>(m.workingSet) / kMiB);
      peak[m.step].push_back(static_cast<double>(m.peakWorkingSet) / kMiB);
    }
  }
  if (order.empty()) {
    std::printf("install.exe marked no steps (PELMAR_STARTUP_TRACE not honoured)\n");
    return;
  }
  std::stable_sort(order.begin(), order.end(), [&](const std::string& a, const std::string& b) {
    return Median(ms[a]) < Median(ms[b]);
  });
  std::printf(
      "install.exe steps (medians; ms from process creation, step = since the previous "
      "line; working set and peak at the mark):\n");
  std::printf("  %-34s %8s %8s %9s %9s %s\n", "step ended", "ms", "step", "WS MiB", "peak MiB", "");
  double previous = 0;
  bool pastPaint = false;
  for (const std::string& step : order) {
    const double at = Median(ms[step]);
    if (!pastPaint && at > firstPaintMs) {
      std::printf("  %-34s %8.0f %8s %9s %9s (the bench saw the first paint)\n", "----",
                  firstPaintMs, "", "", "");
      pastPaint = true;
    }
    std::printf("  %-34s %8.0f %8.0f %9.1f %9.1f%s\n", step.c_str(), at, at - previous,
                Median(workingSet[step]), Median(peak[step]),
                ms[step].size() < runs.size() ? " (not in every run)" : "");
    previous = at;
  }
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
  std::vector<Sample> installerRuns;
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
    installerRuns.push_back(s);
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
  PrintSteps(installerRuns, pi);
  return 0;
}
