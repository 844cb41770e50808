#include "ui/base_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "base/app_context.h"
#include "base/pelmar_error.h"
#include "ui/base_view.h"
#include "ui/ui_test_support.h"

namespace pelmar {
namespace {

class PlainWindow : public IBaseWindow {
 public:
  PlainWindow(unsigned w, unsigned h, const wchar_t* cls, HWND parent = nullptr)
      : IBaseWindow(h, parent, cls, w) {}
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    ++handled;
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
  int handled = 0;
};

RECT WindowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

TEST(BaseWindowTest, BorderlessPopupWithThePropertyAndTitle) {
  CreateAppContext();
  {
    PlainWindow main(600, 400, L"PelmarTestMainWnd");
    ASSERT_NE(nullptr, main.hwnd());
    EXPECT_EQ(&main, GetPropW(main.hwnd(), L"WndClassPtr"));
    const LONG_PTR style = GetWindowLongPtrW(main.hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongPtrW(main.hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    wchar_t title[32] = {};
    GetWindowTextW(main.hwnd(), title, 32);
    EXPECT_STREQ(L"Morvantile", title);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"PelmarTestMainWnd", &wc));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), wc.style);

    // A second window of the same class: registration counts as done.
    PlainWindow child(400, 200, L"PelmarTestMainWnd", main.hwnd());
    EXPECT_TRUE(GetWindowLongPtrW(child.hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(main.hwnd(), GetWindow(child.hwnd(), GW_OWNER));

    // Messages reach the object through the property.
    const int before = main.handled;
    SendMessageW(main.hwnd(), WM_NULL, 0, 0);
    EXPECT_EQ(before + 1, main.handled);
  }
  DeleteAppContext();
}

TEST(BaseWindowTest, SizedAndCentredOnTheWorkAreaAndResized) {
  CreateAppContext();
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  const WindowPlacement expect = ComputeWindowPlacement(
      true, {area.left, area.top, area.right, area.bottom}, 600, 400, ProcessDpiFactor());
  PlainWindow window(600, 400, L"PelmarTestSizeWnd");
  RECT r = WindowRect(window.hwnd());
  EXPECT_EQ(expect.x, r.left);
  EXPECT_EQ(expect.y, r.top);
  EXPECT_EQ(expect.width, r.right - r.left);
  EXPECT_EQ(expect.height, r.bottom - r.top);
  EXPECT_DOUBLE_EQ(expect.scale, GetAppContext()->displayScale);

  window.SetDesignSize(300, 100);
  const WindowPlacement small = ComputeWindowPlacement(
      true, {area.left, area.top, area.right, area.bottom}, 300, 100, ProcessDpiFactor());
  r = WindowRect(window.hwnd());
  EXPECT_EQ(small.x, r.left);
  EXPECT_EQ(small.y, r.top);
  EXPECT_EQ(small.width, r.right - r.left);
  EXPECT_EQ(300u, window.designWidth());
  DeleteAppContext();
}

TEST(BaseWindowTest, WindowThatCannotBeCreatedIsAConstructionError) {
  // An owner handle that names no window.
  HWND stale = reinterpret_cast<HWND>(static_cast<intptr_t>(0x7FFF0));
  ASSERT_FALSE(IsWindow(stale));
  try {
    PlainWindow window(100, 100, L"PelmarTestStaleOwnerWnd", stale);
    ADD_FAILURE() << "created";
  } catch (const PelmarError& e) {
    EXPECT_STREQ("create window error", e.what());
  }
}

// The window's size in a fresh process at a given LogPixels of the prefix.
struct DpiCase {
  DWORD logPixels;
  unsigned w, h;
};

std::string Probe(unsigned w, unsigned h) {
  const std::wstring exe = test::ExecutableFolder() + L"\\ui_window_tests.exe";
  const std::wstring out = test::ExecutableFolder() + L"\\dpi_probe.txt";
  DeleteFileW(out.c_str());
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "no output file";
  std::wstringstream cmd;
  cmd << L"\"" << exe << L"\" --placement-probe " << w << L" " << h;
  std::wstring line = cmd.str();
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(file);
  if (!started) return "not started";
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  std::string text = test::ReadFileBytes(out);
  DeleteFileW(out.c_str());
  return text;
}

// Sets HKCU\Control Panel\Desktop\LogPixels and puts the old state back.
class LogPixelsOverride {
 public:
  explicit LogPixelsOverride(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = sizeof(old_), type = 0;
    had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_),
                            &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof(dpi));
  }
  ~LogPixelsOverride() {
    if (had_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof(old_));
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

TEST(BaseWindowTest, SizeFollowsThePrefixDpi) {
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  const struct {
    DWORD dpi;
    unsigned w, h;
    double factor;
  } cases[] = {
      {96, 400, 200, 1.0}, {144, 400, 200, 1.5}, {144, 600, 400, 1.5}, {72, 400, 200, 0.75}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " DPI, " << c.w << " x " << c.h);
    std::string line;
    {
      LogPixelsOverride dpi(c.dpi);
      line = Probe(c.w, c.h);
    }
    long x = 0, y = 0, w = 0, h = 0;
    double scale = 0, factor = 0;
    ASSERT_EQ(6,
              std::sscanf(line.c_str(), "%ld %ld %ld %ld %lf %lf", &x, &y, &w, &h, &scale, &factor))
        << line;
    EXPECT_DOUBLE_EQ(c.factor, factor);
    const WindowPlacement p = ComputeWindowPlacement(
        true, {area.left, area.top, area.right, area.bottom}, c.w, c.h, c.factor);
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.width, w);
    EXPECT_EQ(p.height, h);
    EXPECT_NEAR(p.scale, scale, 1e-4);
    // Never smaller than designed.
    EXPECT_GE(w, static_cast<long>(c.w));
    EXPECT_GE(h, static_cast<long>(c.h));
  }
}

}  // namespace
}  // namespace pelmar
