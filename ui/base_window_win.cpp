#include "ui/base_window.h"

#include <mutex>

#include "base/app_context.h"
#include "base/pelmar_error.h"
#include "base/win/scoped_handle.h"
#include "ui/base_view.h"

namespace pelmar {
namespace {

constexpr wchar_t kWindowTitle[] = L"Morvantile";
constexpr int kProgramIconId = 102;

bool RegisterClassOnce(HINSTANCE instance, const wchar_t* className, WNDPROC proc) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIconId));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className;
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void StoreDisplayScale(double scale) {
  if (AppContext* ctx = GetAppContext()) {
    std::lock_guard<CXMutex> lock(ctx->mutex);
    ctx->displayScale = scale;
  }
}

}  // namespace

double ProcessDpiFactor() {
  static const double factor = [] {
    double f = 1.0;
    if (win::ScopedGetDc screen(nullptr); screen) {
      f = DpiFactorFrom(GetDeviceCaps(screen.get(), DESKTOPHORZRES),
                        GetDeviceCaps(screen.get(), HORZRES),
                        GetDeviceCaps(screen.get(), LOGPIXELSX));
    }
    if (AppContext* ctx = GetAppContext()) {
      std::lock_guard<CXMutex> lock(ctx->mutex);
      ctx->dpiFactor = f;
    }
    return f;
  }();
  return factor;
}

IBaseWindow::IBaseWindow(unsigned designHeight, HWND parent, const wchar_t* className,
                         unsigned designWidth)
    : designWidth_(designWidth), designHeight_(designHeight) {
  HINSTANCE instance = parent
                           ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE))
                           : GetModuleHandleW(nullptr);
  if (!RegisterClassOnce(instance, className, &IBaseWindow::WindowProc)) {
    throw PelmarError("create window error");
  }
  const WindowPlacement p = ComputePlacement();
  hwnd_ =
      CreateWindowExW(parent ? WS_EX_TOOLWINDOW : WS_EX_APPWINDOW, className, kWindowTitle,
                      WS_POPUP, p.x, p.y, p.width, p.height, parent, nullptr, instance, nullptr);
  if (!hwnd_) throw PelmarError("create window error");
  SetPropW(hwnd_, kWindowProperty, this);
}

IBaseWindow::~IBaseWindow() {
  if (hwnd_ && IsWindow(hwnd_)) {
    // Messages of the destruction go to the default procedure: the object is half gone.
    RemovePropW(hwnd_, kWindowProperty);
    DestroyWindow(hwnd_);
  }
}

WindowPlacement IBaseWindow::ComputePlacement() {
  RECT area{};
  const bool haveArea = SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) != FALSE;
  if (haveArea) workArea_ = area;
  const WindowPlacement p =
      ComputeWindowPlacement(haveArea, {area.left, area.top, area.right, area.bottom}, designWidth_,
                             designHeight_, haveArea ? ProcessDpiFactor() : 1.0);
  StoreDisplayScale(p.scale);
  return p;
}

void IBaseWindow::SetDesignSize(unsigned width, unsigned height) {
  designWidth_ = width;
  designHeight_ = height;
  if (!hwnd_) return;
  const WindowPlacement p = ComputePlacement();
  SetWindowPos(hwnd_, nullptr, p.x, p.y, p.width, p.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK IBaseWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = static_cast<IBaseWindow*>(GetPropW(hwnd, kWindowProperty));
  if (!self) return DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    RemovePropW(hwnd, kWindowProperty);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  return self->HandleMessage(msg, wparam, lparam);
}

ViewWindow::ViewWindow(unsigned designHeight, HWND parent, const wchar_t* className,
                       unsigned designWidth)
    : IBaseWindow(designHeight, parent, className, designWidth) {}

ViewWindow::~ViewWindow() {
  // The view goes first: its resources may own child windows of this window.
  view_.reset();
}

void ViewWindow::ReplaceView(std::unique_ptr<IBaseView> view) {
  // The old view goes before the new one takes its place, as its resources
  // may own child windows of this window.
  view_.reset();
  view_ = std::move(view);
}

LRESULT ViewWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_ERASEBKGND) return 0;
  if (view_) return view_->HandleMessage(msg, wparam, lparam);
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}

}  // namespace pelmar
