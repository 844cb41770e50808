// Entry of the window tests. With "--placement-probe W H" the process instead
// creates one window of design size W x H in a DPI-aware process and prints
// "x y width height scale factor", for the DPI tests that need a fresh process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/app_context.h"
#include "ui/base_window.h"

namespace {

class ProbeWindow : public pelmar::IBaseWindow {
 public:
  ProbeWindow(unsigned w, unsigned h) : IBaseWindow(h, nullptr, L"PelmarProbeWnd", w) {}
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
};

int RunProbe(unsigned w, unsigned h) {
  using SetAwareFn = BOOL(WINAPI*)();
  if (auto aware = reinterpret_cast<SetAwareFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware")))) {
    aware();
  }
  pelmar::AppContext* ctx = pelmar::CreateAppContext();
  ProbeWindow window(w, h);
  RECT r{};
  GetWindowRect(window.hwnd(), &r);
  std::printf("%ld %ld %ld %ld %.4f %.4f\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
              ctx->displayScale, ctx->dpiFactor);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--placement-probe") == 0) {
    return RunProbe(static_cast<unsigned>(std::atoi(argv[2])),
                    static_cast<unsigned>(std::atoi(argv[3])));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
