#include "app/placeholder_window.h"

#include "app/single_instance.h"
#include "base/pelmar_error.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {
constexpr int kWidth = 600;  // the main window's design size
constexpr int kHeight = 400;
}  // namespace

PlaceholderWindow::PlaceholderWindow(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(102));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kMainWindowClassName;
  RegisterClassExW(&wc);  // fails harmlessly when registered already
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  hwnd_ = CreateWindowExW(0, kMainWindowClassName, L"Morvantile",
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, kWidth,
                          kHeight, nullptr, nullptr, instance, nullptr);
  if (hwnd_ == nullptr) throw PelmarError("create window error");
}

PlaceholderWindow::~PlaceholderWindow() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  UnregisterClassW(kMainWindowClassName, instance_);
}

LRESULT CALLBACK PlaceholderWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  switch (message) {
    case WM_BRING_TO_FRONT:
      ShowWindow(hwnd, SW_SHOWNORMAL);
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      SetForegroundWindow(hwnd);
      SetFocus(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      SetBkMode(dc, TRANSPARENT);
      DrawTextW(dc, L"Morvantile", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace pelmar
