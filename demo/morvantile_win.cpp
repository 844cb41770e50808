// Morvantile, the demo product: one window that names the product and the
// version it was built as, so an installation can be seen and checked.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr int kIconId = 102;
constexpr wchar_t kWindowClass[] = L"MorvantileDemoWindow";

// The "ProductVersion" of this program's own version resource.
std::wstring OwnProductVersion() {
  wchar_t path[MAX_PATH] = {};
  if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return std::wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return std::wstring();
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return std::wstring();
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                      reinterpret_cast<void**>(&text), &length) ||
      text == nullptr) {
    return std::wstring();
  }
  return std::wstring(text);
}

// The channel the installer recorded for the product ("channel_id" in its
// settings file under the roaming application data), or empty.
std::wstring InstalledChannel() {
  wchar_t appdata[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  const std::wstring settings = std::wstring(appdata) + L"\\PelmarPkg\\MORVANTILE\\config.ini";
  wchar_t channel[64] = {};
  GetPrivateProfileStringW(L"General", L"channel_id", L"", channel, 64, settings.c_str());
  return channel;
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH band = CreateSolidBrush(RGB(0x08, 0x4A, 0xF4));
  RECT top = client;
  top.bottom = top.top + (client.bottom - client.top) / 3;
  FillRect(dc, &top, band);
  DeleteObject(band);
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId));
  if (icon != nullptr) DrawIconEx(dc, 24, 24, icon, 48, 48, 0, nullptr, DI_NORMAL);

  SetBkMode(dc, TRANSPARENT);
  HFONT title_font = CreateFontW(36, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                 CLEARTYPE_QUALITY, 0, L"Tahoma");
  HGDIOBJ old_font = SelectObject(dc, title_font);
  SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
  RECT title = {90, 24, client.right - 16, 72};
  DrawTextW(dc, L"Morvantile", -1, &title, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  SelectObject(dc, old_font);
  DeleteObject(title_font);

  HFONT body_font = CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                CLEARTYPE_QUALITY, 0, L"Tahoma");
  old_font = SelectObject(dc, body_font);
  SetTextColor(dc, RGB(0x1A, 0x1A, 0x1A));
  std::wstring lines = L"Version " + OwnProductVersion();
  const std::wstring channel = InstalledChannel();
  if (!channel.empty()) lines += L"\r\nChannel " + channel;
  RECT body = {24, top.bottom + 24, client.right - 24, client.bottom - 24};
  DrawTextW(dc, lines.c_str(), -1, &body, DT_TOP | DT_LEFT);
  SelectObject(dc, old_font);
  DeleteObject(body_font);
  EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  window_class.hIconSm = window_class.hIcon;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // arrow
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&window_class)) return 1;

  // The title carries the version too, so a script can find this window by it.
  const std::wstring title = L"Morvantile " + OwnProductVersion();
  HWND window = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 480, 300, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
