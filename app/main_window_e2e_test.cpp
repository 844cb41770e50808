// End to end, under Wine on an X display, against the maker backend on the
// endpoints install.exe is built for: the real installer is started, clicked
// and typed at with xdotool as a person would, and observed through its
// windows, screenshots, exit code and the analytics records the backend got.
// Usage: main_window_e2e_test <install.exe> <product_probe.exe> <backend data folder>
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/file_system.h"
#include "base/profile_file.h"
#include "base/testing/wait_until.h"
#include "base/win/registry_view.h"
#include "app/run_cache_census.h"
#include "app/single_instance.h"
#include "app/system_queries.h"
#include "app/version_stamp.h"
#include "app/welcome_address.h"
#include "base/text_convert.h"
#include "pages/page_declaration.h"
#include "pelmar_config.h"
#include "sdk/envelope.h"
#include "base/md5.h"
#include "product_bitness.h"
#include "temp_dir.h"
#include "base/win/gdiplus_include.h"
#include "ui/ui_test_support.h"

namespace pelmar {
namespace {

using test::RunUnixCommand;

std::wstring g_installer;
std::wstring g_probe;
std::wstring g_packages;     // the backend's package folder
std::wstring g_demoPackage;  // the demo product's package (a real setup program)

// Long enough for a cold Wine start; never an assertion on speed.
constexpr int kStartLimitMs = 60000;
constexpr int kRecordLimitMs = 30000;
// The backend's analytics log is read over HTTP: asked about twice a second.
constexpr std::chrono::milliseconds kCollectInterval{500};

const wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946}_is1";

std::string UnixPath(const std::wstring& windowsPath) {
  std::string s = Utf8FromWide(windowsPath.substr(2));  // Z: is the Unix root
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

std::wstring ShotFolder() {
  const std::wstring folder = test::ExecutableFolder() + L"\\..\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::string Url(const char* path) {
  return "http://127.0.0.1:" + std::to_string(config::kSupport.port) + path;
}

// The backend's control endpoints, through curl.
struct Backend {
  static bool Reset() { return RunUnixCommand("curl -sf -o /dev/null -X POST " + Url("/__reset")); }
  static bool SetFaults(const std::string& json) {
    const std::wstring file =
        L"Z:\\tmp\\pelmar_e2e_faults_" + std::to_wstring(GetCurrentProcessId());
    if (!test::WriteFileBytes(file, json)) return false;
    return RunUnixCommand("curl -sf -o /dev/null -X PUT --data-binary @" + UnixPath(file) + " " +
                          Url("/__faults"));
  }
  static Json::Value Get(const char* path) {
    const std::wstring file =
        L"Z:\\tmp\\pelmar_e2e_control_" + std::to_wstring(GetCurrentProcessId());
    Json::Value root;
    if (!RunUnixCommand("curl -sf -o " + UnixPath(file) + " " + Url(path))) return root;
    const std::string text = test::ReadFileBytes(file);
    DeleteFileW(file.c_str());
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(text);
    Json::parseFromStream(builder, in, &root, &errors);
    return root;
  }
  static Json::Value Records() { return Get("/__records")["records"]; }
  // The requests the backend logged, each with a sequence number, its route,
  // its status and the bytes sent once the answer was written.
  static Json::Value Requests() { return Get("/__requests")["requests"]; }
  static long long LastRequest() {
    long long last = 0;
    for (const Json::Value& r : Requests()) last = std::max(last, r["seq"].asInt64());
    return last;
  }
  // Whether requests after `since` got whole answers for routes holding each
  // of `parts`: the installer's start-up reads its records this way.
  static bool Answered(long long since, const std::vector<std::string>& parts) {
    const Json::Value requests = Requests();
    for (const std::string& part : parts) {
      bool answered = false;
      for (const Json::Value& r : requests) {
        answered = answered || (r["seq"].asInt64() > since && !r["status"].isNull() &&
                                r["sent"].asInt64() > 0 &&
                                r["route"].asString().find(part) != std::string::npos);
      }
      if (!answered) return false;
    }
    return true;
  }
};

// The routes of the package and channel records.
const std::vector<std::string> kRecordRoutes = {"/installer/package/index",
                                                "/applicationService/channel/welcome"};
// The package record alone.
const std::vector<std::string> kPackageRoute = {"/installer/package/index"};

std::string Decoded(const Json::Value& data, const char* field) {
  std::string out;
  if (!vek::Base64Decode(data[field].asString(), &out)) return "?";
  return out;
}

// What the backend received, in order: events by name, page actions as
// "page/action".
struct Seen {
  std::vector<Json::Value> events;
  std::vector<std::string> actions;

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : events) names.push_back(e["event"].asString());
    return names;
  }
  // The first event named `name` after `from`, or null.
  const Json::Value* Find(const std::string& name) const {
    for (const auto& e : events) {
      if (e["event"].asString() == name) return &e;
    }
    return nullptr;
  }
  bool Has(const std::string& name) const { return Find(name) != nullptr; }
  int Count(const std::string& name) const {
    int n = 0;
    for (const auto& e : events) n += e["event"].asString() == name;
    return n;
  }
};

long long NowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long t =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>(t / 10000 - 11644473600000ULL);
}

// Records older than this belong to earlier runs: the SDK delivers what an
// earlier run left in its spool with the next upload.
long long g_sinceMs = 0;

Seen Collect() {
  Seen seen;
  for (const Json::Value& r : Backend::Records()) {
    if (r["time"].asInt64() < g_sinceMs) continue;
    if (r["type"].asInt() == 6) seen.events.push_back(r);
    if (r["type"].asInt() == 2) {
      seen.actions.push_back(Decoded(r["data"], "10") + "/" + Decoded(r["data"], "11"));
    }
  }
  return seen;
}

// Waits until the backend has the quit event of the run.
Seen CollectUntilQuit() {
  Seen seen;
  (void)testing::WaitUntilEvery(
      [&] {
        seen = Collect();
        return seen.Has("vSoftQuit");
      },
      std::chrono::milliseconds(kRecordLimitMs), kCollectInterval);
  return seen;
}

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  return test::PumpUntil(done, ms);
}

// Waits until the backend has answered the installer's record requests made
// after request `since` (the installer reads them once, at start-up).
bool WaitForRecords(long long since, const std::vector<std::string>& routes = kRecordRoutes,
                    int ms = kRecordLimitMs) {
  return testing::WaitUntilEvery([&] { return Backend::Answered(since, routes); },
                                 std::chrono::milliseconds(ms), kCollectInterval);
}

// A message sent to `window` was answered: its thread (the installer's
// user-interface thread, whichever loop it is in) is back in its message
// loop. False when the window is gone. Not "abort if hung": on a loaded
// machine a thread busy for a few seconds looks hung, and it answers later.
bool RoundTrip(HWND window) {
  DWORD_PTR ignored = 0;
  return window != nullptr &&
         SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kStartLimitMs, &ignored) != 0;
}

// After input from xdotool: the installer's thread has taken what the system
// queued for it and come back to its loop. Checks that something happened
// wait for it on their own; checks that nothing happened rely on this. Twice,
// as the first answer may come before input queued with it was dispatched.
void Settle() {
  HWND main = FindFirstTopLevelWindowOfClass(kMainWindowClassName);
  for (int i = 0; i < 2 && RoundTrip(main); ++i) {
  }
}

class Installer {
 public:
  ~Installer() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 10000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  // Starts install.exe (or a copy) and waits for its main window to be shown.
  bool Start(const std::wstring& exe = g_installer) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info_)) {
      return false;
    }
    const bool shown = WaitFor(
        [&] {
          window_ = FindFirstTopLevelWindowOfClass(kMainWindowClassName);
          return (window_ && IsWindowVisible(window_)) || !Running();
        },
        kStartLimitMs);
    // Start-up shows the window and paints it at once (UpdateWindow) before
    // its message loop answers: the first paint is done then.
    return shown && Running() && window_ && RoundTrip(window_);
  }
  HWND window() const { return window_; }
  HANDLE process() const { return info_.hProcess; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  long long WaitExit(int ms = kStartLimitMs) {
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  RECT Rect() const {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
  }
  int Width() const { return Rect().right - Rect().left; }
  int Height() const { return Rect().bottom - Rect().top; }

  // The screen point at the centre of entry `index` of `page` laid out over `window`.
  static POINT CentreOf(HWND window, const PageDeclaration& page, int index) {
    RECT r{};
    GetWindowRect(window, &r);
    const std::vector<UiRect> rects = LayOutDeclaration(page, r.right - r.left, r.bottom - r.top);
    const UiRect& slot = rects[static_cast<size_t>(index)];
    return {r.left + (slot.left + slot.right) / 2, r.top + (slot.top + slot.bottom) / 2};
  }

 private:
  PROCESS_INFORMATION info_ = {};
  HWND window_ = nullptr;
};

bool Click(POINT p) {
  // The window there (a dialog just shown, say) answers from its loop first:
  // its thread has handed its new window to the X server by then, so the
  // pointer meets it rather than what was below it.
  if (HWND there = WindowFromPoint(p)) (void)RoundTrip(GetAncestor(there, GA_ROOT));
  std::ostringstream c;
  // Hover first, as a hand does: the views act on the move, the press and the release.
  c << "xdotool mousemove " << p.x << " " << p.y << " sleep 0.2 click 1";
  const bool ok = RunUnixCommand(c.str());
  Settle();
  return ok;
}

// Keys by X keysym names, e.g. "End shift+Home C colon backslash".
bool Keys(const std::string& keys) {
  const bool ok = RunUnixCommand("xdotool key --delay 40 " + keys);
  Settle();
  return ok;
}

std::string KeysFor(const std::string& text) {
  std::string keys;
  for (char c : text) {
    if (!keys.empty()) keys += ' ';
    switch (c) {
      case ':':
        keys += "colon";
        break;
      case '\\':
        keys += "backslash";
        break;
      case '*':
        keys += "asterisk";
        break;
      case '"':
        keys += "quotedbl";
        break;
      case ' ':
        keys += "space";
        break;
      default:
        keys += c;
        break;
    }
  }
  return keys;
}

int EntryIndex(const PageDeclaration& page, DeclKind kind, int id) {
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].kind == kind && page[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

// A screenshot of `window`'s rectangle, saved as <name>.png in the build's
// screenshot folder; pixels are read back through GDI+.
class Shot {
 public:
  Shot(HWND window, const wchar_t* name) {
    RECT r{};
    GetWindowRect(window, &r);
    path_ = ShotFolder() + L"\\" + name + L".png";
    std::ostringstream region;
    region << (r.right - r.left) << "x" << (r.bottom - r.top) << "+" << r.left << "+" << r.top;
    ok_ = RunUnixCommand("import -window root -crop " + region.str() + " +repage '" +
                         UnixPath(path_) + "'");
    if (ok_) bitmap_ = std::make_unique<Gdiplus::Bitmap>(path_.c_str());
    ok_ = ok_ && bitmap_->GetLastStatus() == Gdiplus::Ok;
  }
  bool ok() const { return ok_; }
  uint32_t Pixel(int x, int y) const {
    Gdiplus::Color c;
    if (!ok_ || bitmap_->GetPixel(x, y, &c) != Gdiplus::Ok) return 0;
    return c.GetValue() | 0xFF000000u;
  }
  // Pixels in the rectangle that are not near-white.
  int Ink(const UiRect& r) const {
    int ink = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        const uint32_t p = Pixel(x, y);
        if (((p >> 16) & 0xFF) < 200 || ((p >> 8) & 0xFF) < 200) ++ink;
      }
    }
    return ink;
  }

 private:
  std::wstring path_;
  bool ok_ = false;
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
};

// A screenshot taken again until `shows` holds for it or the deadline
// passes (the X server shows a repaint a moment after the page made it).
// The last one is kept for the checks that follow, which say what it shows.
std::unique_ptr<Shot> ShotWhen(HWND window, const wchar_t* name,
                               const std::function<bool(const Shot&)>& shows, int ms = 20000) {
  std::unique_ptr<Shot> shot;
  (void)WaitFor(
      [&] {
        shot.reset();
        shot = std::make_unique<Shot>(window, name);
        return shot->ok() && shows(*shot);
      },
      ms);
  return shot;
}

UiRect SlotOf(HWND window, const PageDeclaration& page, int index) {
  RECT r{};
  GetWindowRect(window, &r);
  return LayOutDeclaration(page, r.right - r.left, r.bottom - r.top)[static_cast<size_t>(index)];
}

// Colours within a small distance (anti-aliasing, PNG round trip).
bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > 6 || d < -6) return false;
  }
  return true;
}

// The dialog's window is gone and its loop (which drops posted messages for
// other windows) has ended: the thread answers from the page's loop again.
bool DialogGone(const wchar_t* className) {
  const bool gone = WaitFor([&] { return FindWindowW(className, nullptr) == nullptr; });
  (void)RoundTrip(FindFirstTopLevelWindowOfClass(kMainWindowClassName));
  return gone;
}

HWND VisibleWindowOfClass(const wchar_t* className) {
  HWND w = FindWindowW(className, nullptr);
  return w && IsWindowVisible(w) ? w : nullptr;
}

std::wstring EditText(HWND main) {
  HWND edit = FindWindowExW(main, nullptr, L"Edit", nullptr);
  wchar_t text[300] = {};
  DWORD_PTR copied = 0;
  if (!edit || !SendMessageTimeoutW(edit, WM_GETTEXT, 299, reinterpret_cast<LPARAM>(text),
                                    SMTO_ABORTIFHUNG, 5000, &copied)) {
    return L"<none>";
  }
  return text;
}

bool EditVisible(HWND main) {
  HWND edit = FindWindowExW(main, nullptr, L"Edit", nullptr);
  return edit && IsWindowVisible(edit);
}

// The centre of button `id` of a dialog of the given look (the cancel
// confirmation's by default).
POINT DialogButton(HWND dialog, int id, const DialogLook& look = WarnLook()) {
  const PageDeclaration page = DialogDeclaration(look);
  return Installer::CentreOf(dialog, page, EntryIndex(page, DeclKind::kButton, id));
}

class MainWindowE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FindFirstTopLevelWindowOfClass(kMainWindowClassName), nullptr)
        << "another installer runs in this prefix";
    ASSERT_TRUE(Backend::Reset()) << "no maker backend on " << Url("/");
    g_sinceMs = NowMs();
  }
};

const PageDeclaration kBegin = BeginPageDeclaration();

TEST_F(MainWindowE2E, AgreementGatesInstallAndCloseAsksFirst) {
  using namespace begin_ids;
  Installer installer;
  ASSERT_TRUE(installer.Start()) << "install.exe showed no main window";
  HWND main = installer.window();
  EXPECT_EQ(installer.Width(), 600);
  EXPECT_EQ(installer.Height(), 400);
  const int install = EntryIndex(kBegin, DeclKind::kButton, kInstall);
  const int box = EntryIndex(kBegin, DeclKind::kCheckbox, kAgreement);
  const int hint = EntryIndex(kBegin, DeclKind::kText, kHint);
  const UiRect installSlot = SlotOf(main, kBegin, install);
  const int ix = (installSlot.left + installSlot.right) / 2;
  const int iy = (installSlot.top + installSlot.bottom) / 2;
  {
    const auto shot = ShotWhen(main, L"main_page", [&](const Shot& s) {
      return Near(s.Pixel(ix, iy - 12), 0xFF084AF4) && s.Pixel(0, 0) == 0xFFC0C0C0u;
    });
    ASSERT_TRUE(shot->ok());
    EXPECT_TRUE(Near(shot->Pixel(ix, iy - 12), 0xFF084AF4)) << std::hex << shot->Pixel(ix, iy - 12);
    EXPECT_EQ(shot->Ink(SlotOf(main, kBegin, hint)), 0);
    EXPECT_EQ(shot->Pixel(0, 0), 0xFFC0C0C0u);  // the page's grey border
  }
  // Unticking the agreement disables install and shows the hint.
  ASSERT_TRUE(Click(Installer::CentreOf(main, kBegin, box)));
  {
    const auto shot = ShotWhen(main, L"main_page_unticked", [&](const Shot& s) {
      return Near(s.Pixel(ix, iy - 12), 0xFFD8D8D8) && s.Ink(SlotOf(main, kBegin, hint)) > 50;
    });
    EXPECT_TRUE(Near(shot->Pixel(ix, iy - 12), 0xFFD8D8D8)) << std::hex << shot->Pixel(ix, iy - 12);
    EXPECT_GT(shot->Ink(SlotOf(main, kBegin, hint)), 50);
  }
  // Neither the disabled install button nor the custom link does anything now.
  ASSERT_TRUE(Click(Installer::CentreOf(main, kBegin, install)));
  ASSERT_TRUE(
      Click(Installer::CentreOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kCustom))));
  EXPECT_EQ(FindWindowExW(main, nullptr, L"Edit", nullptr), nullptr);
  // Ticking restores both.
  ASSERT_TRUE(Click(Installer::CentreOf(main, kBegin, box)));
  RunUnixCommand("xdotool mousemove 5 5");
  Settle();
  {
    const auto shot = ShotWhen(main, L"main_page_ticked_again", [&](const Shot& s) {
      return Near(s.Pixel(ix, iy - 12), 0xFF084AF4) && s.Ink(SlotOf(main, kBegin, hint)) == 0;
    });
    EXPECT_TRUE(Near(shot->Pixel(ix, iy - 12), 0xFF084AF4)) << std::hex << shot->Pixel(ix, iy - 12);
    EXPECT_EQ(shot->Ink(SlotOf(main, kBegin, hint)), 0);
  }
  // Input is taken in order: the tick has been handled, so have the two
  // clicks before it.
  EXPECT_EQ(FindWindowExW(main, nullptr, L"Edit", nullptr), nullptr);

  // The close button asks; "取消" keeps the installer.
  const POINT close =
      Installer::CentreOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kClose));
  ASSERT_TRUE(Click(close));
  HWND dialog = nullptr;
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
  {
    RECT d{}, m{};
    GetWindowRect(dialog, &d);
    GetWindowRect(main, &m);
    EXPECT_EQ(d.right - d.left, 400);
    EXPECT_EQ(d.left, m.left + (600 - 400) / 2);  // centred over its owner
    Shot shot(dialog, L"cancel_confirmation");
    EXPECT_GT(shot.Ink({0, 0, 400, 200}), 500);
    // Pressing the dialog's background and moving does not move it.
    std::ostringstream drag;
    drag << "xdotool mousemove " << d.left + 12 << " " << d.top + 100 << " mousedown 1 sleep 0.2"
         << " mousemove " << d.left + 80 << " " << d.top + 150 << " sleep 0.2 mouseup 1";
    ASSERT_TRUE(RunUnixCommand(drag.str()));
    Settle();
    RECT after{};
    GetWindowRect(dialog, &after);
    EXPECT_EQ(after.left, d.left);
    EXPECT_EQ(after.top, d.top);
  }
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kRight)));
  EXPECT_TRUE(DialogGone(L"BeginChildCloseWnd"));
  EXPECT_TRUE(installer.Running());
  // Its own close button keeps the installer too, and reports nothing.
  ASSERT_TRUE(Click(close));
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kClose)));
  EXPECT_TRUE(DialogGone(L"BeginChildCloseWnd"));
  EXPECT_TRUE(installer.Running());
  // The window's close message asks the same way; closing again while it is
  // open brings the same dialog back instead of a second one.
  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
  // The dialog's loop drops posted messages for other windows; a sent close
  // (as the system's close command arrives) reaches the page.
  DWORD_PTR ignored = 0;
  EXPECT_TRUE(SendMessageTimeoutW(main, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored));
  Settle();
  EXPECT_EQ(FindWindowW(L"BeginChildCloseWnd", nullptr), dialog);
  EXPECT_EQ(FindWindowExW(nullptr, dialog, L"BeginChildCloseWnd", nullptr), nullptr);
  // "确认" ends the installer with exit code 0.
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
  EXPECT_EQ(installer.WaitExit(), 0);

  const Seen seen = CollectUntilQuit();
  ASSERT_TRUE(seen.Has("vInstallPage"));
  EXPECT_EQ((*seen.Find("vInstallPage"))["props"]["windows_name"].asString(), "立即安装");
  EXPECT_FALSE((*seen.Find("vInstallPage"))["props"]["is_reinstall"].asBool());
  ASSERT_TRUE(seen.Has("pCancelInstall"));
  EXPECT_EQ((*seen.Find("pCancelInstall"))["props"]["windows_name"].asString(), "立即安装");
  EXPECT_FALSE(seen.Has("pConfirmInstall"));
  EXPECT_FALSE(seen.Has("vJoinPlan"));
  // Box twice, close twice (the dialog's cancel, then its own close button:
  // no report), close again, confirm.
  const std::vector<std::string> actions = {"0001/0003", "0001/0003", "0001/0001",
                                            "0005/0002", "0001/0001", "0005/0001"};
  EXPECT_EQ(seen.actions, actions);
}

// Watches a quit from a thread of its own, so a click command that takes long
// to return hides nothing: when the window went from the screen and when the
// process ended.
// Bounded: gives up after 30 s.
class QuitWatch {
 public:
  QuitWatch(HWND window, HANDLE process)
      : thread_([this, window, process] {
          for (int i = 0; i < 6000; ++i) {
            const long long now = NowMs();
            // Quitting hides the window at once; it is destroyed later.
            if (windowGoneMs_ == 0 && !IsWindowVisible(window)) windowGoneMs_ = now;
            // Waits on the process itself, a few milliseconds at a time.
            if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0) {
              const long long ended = NowMs();
              if (windowGoneMs_ == 0) windowGoneMs_ = ended;
              exitedMs_ = ended;
              return;
            }
          }
        }) {}
  ~QuitWatch() {
    if (thread_.joinable()) thread_.join();
  }
  // Milliseconds from the window's end to the process's; -1 while unseen.
  long long WindowToExitMs() {
    if (thread_.joinable()) thread_.join();
    return exitedMs_ == 0 ? -1 : exitedMs_ - windowGoneMs_;
  }

 private:
  std::atomic<long long> windowGoneMs_{0};
  std::atomic<long long> exitedMs_{0};
  std::thread thread_;
};

// Leaving after a failed download, once with the banner's request answered
// and once with it still getting one byte every 2.8 s (under its 3 s receive
// limit): under Wine no stop ends a receive already waiting, so the quit must
// not wait for the banner. Either way the process ends, a new start right
// after shows its own window, and every run's quit record arrives. The quit
// times are reported side by side, not asserted.
TEST_F(MainWindowE2E, QuitDoesNotWaitForABannerStillReceiving) {
  using namespace begin_ids;
  const std::string failing_download = R"({"path": "/cdn/", "action": "status", "status": 404},
      {"path": "/mirror/", "action": "status", "status": 404},
      {"path": "/application/", "action": "status", "status": 404})";
  struct Case {
    const char* banner;
    std::string faults;
  };
  const Case cases[] = {
      {"answered", "[" + failing_download + "]"},
      {"receiving", "[" + failing_download +
                        R"(, {"path": "/applicationService/app/installerConfig",
                              "action": "drip", "interval": 2.8}])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.banner);
    ASSERT_TRUE(Backend::SetFaults(c.faults));
    const std::set<std::wstring> caches_before = RunCacheDirectories();
    const long long before = Backend::LastRequest();
    Installer installer;
    ASSERT_TRUE(installer.Start());
    HWND main = installer.window();
    std::set<std::wstring> own_cache;
    for (const std::wstring& dir : RunCacheDirectories()) {
      if (caches_before.count(dir) == 0) own_cache.insert(dir);
    }
    EXPECT_EQ(own_cache.size(), 1u);
    // The plain name carries no channel: the package record is the one asked.
    ASSERT_TRUE(WaitForRecords(before, kPackageRoute)) << "the package record was not answered";
    ASSERT_TRUE(
        Click(Installer::CentreOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kInstall))));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (dialog = VisibleWindowOfClass(L"ProgressChildCloseWnd")) != nullptr; },
        60000))
        << "the download did not fail";
    // "稍后重试": back to the main page; the banner's request goes on.
    ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kRight, ErrorLook())));
    EXPECT_TRUE(DialogGone(L"ProgressChildCloseWnd"));
    ASSERT_TRUE(
        Click(Installer::CentreOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kClose))));
    ASSERT_TRUE(
        WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
    QuitWatch watch(main, installer.process());
    ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
    EXPECT_EQ(installer.WaitExit(), 0);
    const long long quit_ms = watch.WindowToExitMs();
    EXPECT_GE(quit_ms, 0) << "the watch did not see the process end";
    std::printf("quit with the banner %s: %lld ms from the window's end to the process's\n",
                c.banner, quit_ms);
    // The run's cache went with it, whatever still ran at the quit.
    for (const std::wstring& dir : own_cache) {
      EXPECT_FALSE(DirectoryExists(dir)) << Utf8FromWide(dir);
    }

    Installer second;
    ASSERT_TRUE(second.Start()) << "the second start showed no window";
    PostMessageW(second.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(
        WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
    ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
    EXPECT_EQ(second.WaitExit(), 0);
  }
  // One quit record per run; the uploader may deliver them in several batches.
  int quits = 0;
  (void)testing::WaitUntilEvery(
      [&] {
        quits = 0;
        for (const auto& e : Collect().events) quits += e["event"].asString() == "vSoftQuit";
        return quits >= 4;
      },
      std::chrono::milliseconds(kRecordLimitMs), kCollectInterval);
  EXPECT_EQ(quits, 4);
}

TEST_F(MainWindowE2E, CustomPageKeepsAValidPathAndRestoresAnInvalidOne) {
  using namespace custom_ids;
  Installer installer;
  ASSERT_TRUE(installer.Start());
  HWND main = installer.window();
  ASSERT_TRUE(Click(Installer::CentreOf(
      main, kBegin, EntryIndex(kBegin, DeclKind::kButton, begin_ids::kCustom))));
  ASSERT_TRUE(WaitFor([&] { return EditVisible(main); }));
  // The page takes the install path on entry: the field shows it.
  EXPECT_TRUE(WaitFor([&] { return EditText(main).size() >= 20; }));
  const PageDeclaration custom = CustomPageDeclaration();
  const std::wstring first = EditText(main);
  ASSERT_GE(first.size(), 20u);
  EXPECT_EQ(first.substr(first.size() - 17), L"Pelmar\\Morvantile");
  {
    const UiRect required = SlotOf(main, custom, EntryIndex(custom, DeclKind::kText, kRequired));
    const UiRect available = SlotOf(main, custom, EntryIndex(custom, DeclKind::kText, kAvailable));
    const auto shot = ShotWhen(main, L"custom_page", [&](const Shot& s) {
      return s.Ink(required) > 30 && s.Ink(available) > 30;
    });
    EXPECT_GT(shot->Ink(required), 30);
    EXPECT_GT(shot->Ink(available), 30);
    EXPECT_EQ(shot->Ink(SlotOf(main, custom, EntryIndex(custom, DeclKind::kText, kDiskFull))), 0);
  }
  const POINT edit = Installer::CentreOf(main, custom, EntryIndex(custom, DeclKind::kEdit, kEdit));
  // The first label: pressing on the page takes the focus from the field.
  const POINT label =
      Installer::CentreOf(main, custom, EntryIndex(custom, DeclKind::kText, kLabel));
  const struct {
    const char* typed;
    const wchar_t* shown;
  } cases[] = {
      {"C:\\a*b", nullptr},   // not a path: the previous one returns
      {"C:\\a\"b", nullptr},  // a quote would break the setup's command line
      {"Games", nullptr},     // no drive
      {"C:\\Games", L"C:\\Games\\Pelmar\\Morvantile"},  // the product folder is appended
      {"C:\\Games\\Pelmar\\Morvantile\\x", L"C:\\Games\\Pelmar\\Morvantile\\x"},  // kept
  };
  std::wstring expected = first;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    ASSERT_TRUE(Click(edit));
    ASSERT_TRUE(Keys("End shift+Home " + KeysFor(c.typed)));
    ASSERT_TRUE(Click(label));
    if (c.shown) expected = c.shown;
    // Leaving the field takes or refuses the text: either way it shows this.
    EXPECT_TRUE(WaitFor([&] { return EditText(main) == expected; }));
    EXPECT_EQ(EditText(main), expected);
  }
  // "返回" keeps the chosen path; entering again shows it.
  ASSERT_TRUE(
      Click(Installer::CentreOf(main, custom, EntryIndex(custom, DeclKind::kButton, kBack))));
  ASSERT_TRUE(WaitFor([&] { return !EditVisible(main); }));
  ASSERT_TRUE(Click(Installer::CentreOf(
      main, kBegin, EntryIndex(kBegin, DeclKind::kButton, begin_ids::kCustom))));
  ASSERT_TRUE(WaitFor([&] { return EditVisible(main); }));
  EXPECT_EQ(EditText(main), expected);
  Shot(main, L"custom_page_chosen_path");

  // Closing from the custom page asks with its own dialog; "确认" ends it.
  PostMessageW(main, WM_CLOSE, 0, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"CustomeChildCloseWnd")) != nullptr; }));
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
  EXPECT_EQ(installer.WaitExit(), 0);

  const Seen seen = CollectUntilQuit();
  EXPECT_EQ(seen.Count("vInstallPage"), 2);  // the main page, then the custom page once
  ASSERT_TRUE(seen.Has("pCancelInstall"));
  EXPECT_EQ((*seen.Find("pCancelInstall"))["props"]["windows_name"].asString(), "自定义安装");
  EXPECT_NE(std::find(seen.actions.begin(), seen.actions.end(), "0006/0001"), seen.actions.end());
}

// An installed product as the uninstall entry names it: the probe program
// stamped with `version`.
class InstalledProduct {
 public:
  explicit InstalledProduct(const std::wstring& version) {
    exe_ = dir_.File(L"Morvantile.exe");
    ok_ = CopyFileW(g_probe.c_str(), exe_.c_str(), FALSE) && StampProductVersion(exe_, version);
    HKEY key = nullptr;
    ok_ = ok_ && test::CreateProductKey(kUninstallKey, &key);
    if (key) {
      RegSetValueExW(key, L"DisplayIcon", 0, REG_SZ, reinterpret_cast<const BYTE*>(exe_.c_str()),
                     static_cast<DWORD>((exe_.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }
  ~InstalledProduct() { test::DeleteProductKey(kUninstallKey); }
  bool ok() const { return ok_; }
  bool Started() const { return test::FileExists(dir_.File(L"started.txt")); }

 private:
  testing::TempDir dir_;
  std::wstring exe_;
  bool ok_ = false;
};

TEST_F(MainWindowE2E, SameVersionInstalledOpensOnTheReinstallReminder) {
  InstalledProduct product(L"1.0.0.1");  // the backend's package version
  ASSERT_TRUE(product.ok());
  const PageDeclaration reminder = DialogDeclaration(ReminderLook());
  {
    Installer installer;
    ASSERT_TRUE(installer.Start());
    HWND main = installer.window();
    EXPECT_EQ(installer.Width(), 400);
    EXPECT_EQ(installer.Height(), 200);
    {
      Shot shot(main, L"reinstall_reminder");
      EXPECT_GT(shot.Ink({0, 0, 400, 200}), 500);
    }
    // "安装" goes on to the main page at 600 x 400.
    ASSERT_TRUE(Click(Installer::CentreOf(
        main, reminder, EntryIndex(reminder, DeclKind::kButton, dialog_ids::kRight))));
    ASSERT_TRUE(WaitFor([&] { return installer.Width() == 600 && installer.Height() == 400; }));
    // Kept for a look, once the main page's border shows.
    (void)ShotWhen(main, L"main_page_after_reminder",
                   [](const Shot& s) { return s.Pixel(0, 0) == 0xFFC0C0C0u; });
    PostMessageW(main, WM_CLOSE, 0, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
    ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
    EXPECT_EQ(installer.WaitExit(), 0);
    const Seen seen = CollectUntilQuit();
    const std::vector<std::string> names = seen.Names();
    const auto at = [&](const char* n) {
      return std::find(names.begin(), names.end(), n) - names.begin();
    };
    ASSERT_TRUE(seen.Has("vReInstall"));
    EXPECT_LT(at("vReInstall"), at("vInstallPage"));
    const Json::Value& page = *seen.Find("vInstallPage");
    EXPECT_EQ(page["props"]["windows_name"].asString(), "覆盖安装");
    EXPECT_TRUE(page["props"]["is_reinstall"].asBool());
    ASSERT_TRUE(seen.Has("vReInstallOpera"));
    EXPECT_EQ((*seen.Find("vReInstallOpera"))["props"]["event_name"].asString(), "直接安装");
    EXPECT_TRUE((*seen.Find("pCancelInstall"))["props"]["is_reinstall"].asBool());
  }
  ASSERT_TRUE(Backend::Reset());
  g_sinceMs = NowMs();
  {
    // "打开" starts the installed product and ends the installer.
    Installer installer;
    ASSERT_TRUE(installer.Start());
    ASSERT_TRUE(Click(Installer::CentreOf(
        installer.window(), reminder, EntryIndex(reminder, DeclKind::kButton, dialog_ids::kLeft))));
    EXPECT_EQ(installer.WaitExit(), 0);
    EXPECT_TRUE(WaitFor([&] { return product.Started(); }));
    const Seen seen = CollectUntilQuit();
    ASSERT_TRUE(seen.Has("vReInstallOpera"));
    EXPECT_EQ((*seen.Find("vReInstallOpera"))["props"]["event_name"].asString(), "打开软件");
    EXPECT_FALSE(seen.Has("pCancelInstall"));
  }
}

TEST_F(MainWindowE2E, TooLittleSpaceKeepsTheMainPageWithABox) {
  // A package needing more than any disk has; the record arrives a little
  // after the main page is built, so the page's own check still passed.
  const std::wstring sidecar = g_packages + L"\\install.exe.json";
  const std::string original = test::ReadFileBytes(sidecar);
  ASSERT_TRUE(test::WriteFileBytes(
      sidecar,
      R"({"package_name": "install", "version": "1.0.0.1", "origin_size": 4611686018427387904})"));
  struct Restore {
    std::wstring path;
    std::string bytes;
    ~Restore() { test::WriteFileBytes(path, bytes); }
  } restore{sidecar, original};
  ASSERT_TRUE(Backend::SetFaults(
      R"([{"path": "/installer/package/index", "action": "stall", "seconds": 3}])"));

  const long long before = Backend::LastRequest();
  Installer installer;
  ASSERT_TRUE(installer.Start());
  HWND main = installer.window();
  ASSERT_TRUE(WaitForRecords(before, kPackageRoute)) << "the package record was not answered";
  ASSERT_TRUE(Click(Installer::CentreOf(
      main, kBegin, EntryIndex(kBegin, DeclKind::kButton, begin_ids::kInstall))));
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(nullptr, L"路径错误")) != nullptr; }));
  EXPECT_TRUE(RoundTrip(box));  // the box's loop runs: it has been shown
  {
    RECT r{};
    GetWindowRect(box, &r);
    Shot shot(box, L"disk_space_box");
    EXPECT_TRUE(shot.ok());
    bool found = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t text[100] = {};
      GetWindowTextW(child, text, 99);
      found = found || std::wstring(text) == L"软件安装路径的磁盘空间不足";
    }
    EXPECT_TRUE(found);
  }
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([] { return FindWindowW(nullptr, L"路径错误") == nullptr; }));
  // Still the main page.
  EXPECT_TRUE(installer.Running());
  EXPECT_EQ(installer.Width(), 600);
  PostMessageW(main, WM_CLOSE, 0, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
  EXPECT_EQ(installer.WaitExit(), 0);

  const Seen seen = CollectUntilQuit();
  const std::vector<std::string> names = seen.Names();
  const auto at = [&](const char* n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  ASSERT_TRUE(seen.Has("vJoinPlan"));
  EXPECT_TRUE((*seen.Find("vJoinPlan"))["props"]["choose_join_plan"].asBool());
  ASSERT_TRUE(seen.Has("vInstallPathError"));
  EXPECT_LT(at("pConfirmInstall"), at("vJoinPlan"));
  EXPECT_LT(at("vJoinPlan"), at("vInstallPathError"));
  EXPECT_EQ((*seen.Find("vInstallPathError"))["props"]["error_status"].asString(), "磁盘空间不足");
  EXPECT_EQ((*seen.Find("pConfirmInstall"))["props"]["confirm_entrance"].asString(), "立即安装");
}

// The backend serves `folder`'s install.exe, sidecar and signed release
// statement for the test's duration; the package folder's own files come
// back afterwards (and a statement it did not have goes again).
class ServedPackage {
 public:
  explicit ServedPackage(const std::wstring& folder) {
    for (const wchar_t* name : {L"install.exe", L"install.exe.json", L"install.exe.sig"}) {
      const std::wstring served = g_packages + L"\\" + name;
      saved_.push_back({served, test::FileExists(served), test::ReadFileBytes(served)});
      ok_ = ok_ && CopyFileW((folder + L"\\" + name).c_str(), served.c_str(), FALSE);
    }
  }
  ~ServedPackage() {
    for (const Saved& s : saved_) {
      if (s.existed) {
        test::WriteFileBytes(s.path, s.bytes);
      } else {
        DeleteFileW(s.path.c_str());
      }
    }
  }
  bool ok() const { return ok_; }

 private:
  struct Saved {
    std::wstring path;
    bool existed;
    std::string bytes;
  };
  bool ok_ = true;
  std::vector<Saved> saved_;
};

std::string Query(const std::string& url, const std::string& key) {
  const size_t at = url.find(key + "=");
  if (at == std::string::npos) return "<absent>";
  const size_t start = at + key.size() + 1;
  return url.substr(start, url.find('&', start) - start);
}

TEST_F(MainWindowE2E, WholeInstallationEndsOnTheFinishedPage) {
  if (g_demoPackage.empty() || !test::FileExists(g_demoPackage + L"\\install.exe")) {
    GTEST_SKIP() << "no demo package given";
  }
  ServedPackage package(g_demoPackage);
  ASSERT_TRUE(package.ok());
  test::DeleteProductKey(kUninstallKey);
  struct Uninstall {
    ~Uninstall() { test::DeleteProductKey(kUninstallKey); }
  } uninstall;
  // No download recorded from an earlier run: this one fetches the package.
  const std::wstring settingsFile = ProductDataDirectory() + L"config.ini";
  DeleteFileW(settingsFile.c_str());
  // A channel in the name: the backend's channel record then names a welcome
  // address and an advertising account.
  testing::TempDir dir;
  const std::wstring copy = dir.File(L"install_huawei00.exe");
  ASSERT_TRUE(CopyFileW(g_installer.c_str(), copy.c_str(), FALSE));

  const long long before = Backend::LastRequest();
  Installer installer;
  ASSERT_TRUE(installer.Start(copy));
  HWND main = installer.window();
  ASSERT_TRUE(WaitForRecords(before)) << "the installer's records were not answered";
  ASSERT_TRUE(Click(Installer::CentreOf(
      main, kBegin, EntryIndex(kBegin, DeclKind::kButton, begin_ids::kInstall))));
  Seen seen;
  ASSERT_TRUE(WaitFor([&] { return (seen = Collect()).Has("vOpenUrl"); }, 180000))
      << "the installation did not finish";
  // The installer's window carries its progress ticks' durations; reported,
  // not asserted (a loaded machine stretches any one tick).
  const auto tick = [&](const wchar_t* name) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(GetPropW(main, name)));
  };
  EXPECT_GT(tick(L"PelmarLongestProgressTickUs"), 0u);
  EXPECT_GT(tick(L"PelmarProgressEndTickUs"), 0u);
  std::printf("whole installation: longest progress tick %lu us (%lu ticks, %lu over 16 ms)\n",
              tick(L"PelmarLongestProgressTickUs"), tick(L"PelmarProgressTicks"),
              tick(L"PelmarProgressSlowTicks"));
  std::printf("whole installation: the tick at the run's end %lu us\n",
              tick(L"PelmarProgressEndTickUs"));
  const PageDeclaration finished = FinishedPageDeclaration();
  const int launch = EntryIndex(finished, DeclKind::kButton, finished_ids::kLaunch);
  {
    const UiRect slot = SlotOf(main, finished, launch);
    const int x = (slot.left + slot.right) / 2;
    const int y = (slot.top + slot.bottom) / 2;
    const auto shot = ShotWhen(main, L"finished_page",
                               [&](const Shot& s) { return Near(s.Pixel(x, y - 12), 0xFF084AF4); });
    EXPECT_TRUE(Near(shot->Pixel(x, y - 12), 0xFF084AF4)) << std::hex << shot->Pixel(x, y - 12);
  }

  // The finished step: the result event, then the welcome page's opening.
  const std::vector<std::string> names = seen.Names();
  const auto at = [&](const char* n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  ASSERT_TRUE(seen.Has("pSoftInstallResult"));
  EXPECT_LT(at("vJoinPlan"), at("pSoftInstallResult"));
  EXPECT_LT(at("pSoftInstallResult"), at("vOpenUrl"));
  const Json::Value& result = (*seen.Find("pSoftInstallResult"))["props"];
  EXPECT_TRUE(result["is_first_install"].asBool());
  EXPECT_FALSE(result["is_reinstall"].asBool());
  EXPECT_EQ(result["install_status"].asString(), "安装成功");
  EXPECT_EQ(result["soft_package_name"].asString(), "install_huawei00");
  EXPECT_EQ(result["install_type"].asString(), "安装器");
  EXPECT_EQ(result.size(), 5u);

  // The run in the settings file, and the welcome address built from it.
  const ProfileFile settings(settingsFile);
  auto value = [&](const wchar_t* key) { return Utf8FromWide(settings.Read(L"General", key)); };
  EXPECT_EQ(value(L"install"), "1");
  EXPECT_EQ(value(L"is_sem"), "1");
  EXPECT_EQ(value(L"channel_id"), "huawei00");
  EXPECT_EQ(value(L"app_id"), "10001061");
  EXPECT_EQ(value(L"app_version"), "1.0.0.1");
  EXPECT_EQ(value(L"advertising_account_name"), "pelmar_ads_huawei00");
  const std::string url = value(L"welcome_url");
  const std::string sid = value(L"session_id");
  ASSERT_EQ(sid.size(), 32u);
  const size_t query = url.find("?_channel=huawei00&_mid=");
  ASSERT_NE(query, std::string::npos) << url;
  EXPECT_EQ(Query(url, "_mid"), value(L"mid"));
  EXPECT_EQ(Query(url, "app_version"), "1.0.0.1");
  EXPECT_EQ(Query(url, "time_stamp"), value(L"end_timestamp"));
  EXPECT_EQ(Query(url, "session_id"), sid);
  EXPECT_EQ(Md5Text(url.substr(0, url.find("&session_id="))), sid);
  EXPECT_EQ(Query(url, "ad_account"), "pelmar_ads_huawei00");
  EXPECT_EQ(url.substr(url.find("&def_welcom_url=")),
            "&def_welcom_url=" + EncodeQueryValue(DefaultWelcomeAddress()));

  // "立即体验" starts the installed product and ends the installer.
  ASSERT_TRUE(Click(Installer::CentreOf(main, finished, launch)));
  EXPECT_EQ(installer.WaitExit(), 0);
  std::vector<ProcessEntry> products;
  EXPECT_TRUE(WaitFor([&] {
    products = ProcessesMatching([](const std::wstring& exe) { return exe == L"Morvantile.exe"; });
    return !products.empty();
  }));
  for (const ProcessEntry& p : products) {
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, p.pid)) {
      TerminateProcess(h, 0);
      CloseHandle(h);
    }
  }
  seen = CollectUntilQuit();
  ASSERT_TRUE(seen.Has("pImmediateUse"));
  EXPECT_EQ(seen.actions.back(), "0004/0002");
}

// Pixels of the keyboard's focus mark (the skin's pressed blue) in the band
// just outside `slot`.
int FocusMarkPixels(const Shot& shot, const UiRect& slot) {
  int n = 0;
  for (int y = slot.top - 4; y < slot.bottom + 4; ++y) {
    for (int x = slot.left - 4; x < slot.right + 4; ++x) {
      const bool inside = x >= slot.left && x < slot.right && y >= slot.top && y < slot.bottom;
      if (!inside && Near(shot.Pixel(x, y), 0xFF1873DE)) ++n;
    }
  }
  return n;
}

// The keyboard alone, as a user without a mouse would: Tab walks the main
// page with a visible mark, Space ticks the agreement, Esc asks before
// closing and the dialog answers Enter and Esc, Enter follows a focused link
// and, with nothing focused, presses the page's main button; the progress
// page ignores Esc. The backend gets the same page actions a mouse would cause.
TEST_F(MainWindowE2E, KeyboardDrivesThePagesAndTheirDialog) {
  using namespace begin_ids;
  // The download stalls: the progress page stays while Esc is tried there.
  ASSERT_TRUE(Backend::SetFaults(R"({"path": "/cdn/", "action": "stall", "seconds": 60})"));
  Installer installer;
  ASSERT_TRUE(installer.Start());
  HWND main = installer.window();
  const RECT r = installer.Rect();
  // The pointer rests on the page's background, where it hovers nothing; the
  // keys go to the window under it.
  ASSERT_TRUE(RunUnixCommand("xdotool mousemove " + std::to_string(r.left + 300) + " " +
                             std::to_string(r.top + 120)));
  const UiRect install = SlotOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kInstall));
  const UiRect close = SlotOf(main, kBegin, EntryIndex(kBegin, DeclKind::kButton, kClose));
  const int ix = (install.left + install.right) / 2;
  const int iy = (install.top + install.bottom) / 2;
  {
    Shot shot(main, L"keyboard_main_page_untouched");
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(FocusMarkPixels(shot, install), 0);
    EXPECT_EQ(FocusMarkPixels(shot, close), 0);
  }
  // Reading order: the close button (top right) first, then "立即安装".
  ASSERT_TRUE(Keys("Tab"));
  {
    const auto shot = ShotWhen(main, L"keyboard_focus_close", [&](const Shot& s) {
      return FocusMarkPixels(s, close) > 10 && FocusMarkPixels(s, install) == 0;
    });
    EXPECT_GT(FocusMarkPixels(*shot, close), 10);
    EXPECT_EQ(FocusMarkPixels(*shot, install), 0);
  }
  ASSERT_TRUE(Keys("Tab"));
  {
    const auto shot = ShotWhen(main, L"keyboard_focus_install", [&](const Shot& s) {
      return FocusMarkPixels(s, install) > 40 && FocusMarkPixels(s, close) == 0;
    });
    EXPECT_GT(FocusMarkPixels(*shot, install), 40);
    EXPECT_EQ(FocusMarkPixels(*shot, close), 0);
  }
  // Shift+Tab goes back and Tab forth again; then the agreement box, which
  // Space unticks (install disabled) and ticks again.
  ASSERT_TRUE(Keys("shift+Tab"));
  {
    const auto shot = ShotWhen(main, L"keyboard_focus_back_to_close",
                               [&](const Shot& s) { return FocusMarkPixels(s, close) > 10; });
    EXPECT_GT(FocusMarkPixels(*shot, close), 10);
  }
  ASSERT_TRUE(Keys("Tab Tab space"));
  {
    const auto shot = ShotWhen(main, L"keyboard_agreement_unticked", [&](const Shot& s) {
      return Near(s.Pixel(ix, iy - 12), 0xFFD8D8D8);
    });
    EXPECT_TRUE(Near(shot->Pixel(ix, iy - 12), 0xFFD8D8D8)) << std::hex << shot->Pixel(ix, iy - 12);
  }
  ASSERT_TRUE(Keys("space"));
  {
    const auto shot = ShotWhen(main, L"keyboard_agreement_ticked", [&](const Shot& s) {
      return Near(s.Pixel(ix, iy - 12), 0xFF084AF4);
    });
    EXPECT_TRUE(Near(shot->Pixel(ix, iy - 12), 0xFF084AF4)) << std::hex << shot->Pixel(ix, iy - 12);
  }
  // Esc does what the close button does: it asks. The dialog's Enter is its
  // blue "取消", its Esc its close button; the installer stays either way.
  ASSERT_TRUE(Keys("Escape"));
  ASSERT_TRUE(WaitFor([&] { return VisibleWindowOfClass(L"BeginChildCloseWnd") != nullptr; }));
  ASSERT_TRUE(Keys("Return"));
  EXPECT_TRUE(DialogGone(L"BeginChildCloseWnd"));
  EXPECT_TRUE(installer.Running());
  ASSERT_TRUE(Keys("Escape"));
  ASSERT_TRUE(WaitFor([&] { return VisibleWindowOfClass(L"BeginChildCloseWnd") != nullptr; }));
  ASSERT_TRUE(Keys("Escape"));
  EXPECT_TRUE(DialogGone(L"BeginChildCloseWnd"));
  EXPECT_TRUE(installer.Running());
  // From the box: the agreement link, then "自定义安装", which Enter follows.
  ASSERT_TRUE(Keys("Tab Tab Return"));
  ASSERT_TRUE(WaitFor([&] { return EditVisible(main); }));
  EXPECT_TRUE(RoundTrip(main));  // the step's switch has ended
  // The custom page has no close button: Esc asks through the window's close.
  ASSERT_TRUE(Keys("Escape"));
  ASSERT_TRUE(WaitFor([&] { return VisibleWindowOfClass(L"CustomeChildCloseWnd") != nullptr; }));
  ASSERT_TRUE(Keys("Return"));
  EXPECT_TRUE(DialogGone(L"CustomeChildCloseWnd"));
  // Nothing focused on this page yet (the field does not count): Enter
  // presses its main button, "立即安装".
  ASSERT_TRUE(Keys("Return"));
  Seen seen;
  ASSERT_TRUE(WaitFor([&] { return (seen = Collect()).Has("pConfirmInstall"); }))
      << ::testing::PrintToString(seen.actions);
  EXPECT_EQ((*seen.Find("pConfirmInstall"))["props"]["confirm_entrance"].asString(), "开始安装");
  // The progress page is up once its download asks the (stalling) CDN.
  EXPECT_TRUE(testing::WaitUntilEvery(
      [] {
        for (const Json::Value& r : Backend::Requests()) {
          if (r["route"].asString().rfind("/cdn/", 0) == 0) return true;
        }
        return false;
      },
      std::chrono::milliseconds(kRecordLimitMs), kCollectInterval));
  // The progress page must not close: Esc opens nothing and ends nothing.
  ASSERT_TRUE(Keys("Escape"));
  EXPECT_TRUE(installer.Running());
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(VisibleWindowOfClass(L"BeginChildCloseWnd"), nullptr);
  EXPECT_EQ(VisibleWindowOfClass(L"CustomeChildCloseWnd"), nullptr);
  {
    Shot shot(main, L"keyboard_progress_page");
    EXPECT_TRUE(shot.ok());
  }
  seen = Collect();
  // Box twice, close and the dialog's "取消", close again (its own close
  // button reports nothing), the custom link, the custom page's dialog's
  // "取消", install: what the same clicks report.
  const std::vector<std::string> actions = {"0001/0003", "0001/0003", "0001/0001", "0005/0002",
                                            "0001/0001", "0001/0005", "0006/0002", "0002/0005"};
  EXPECT_EQ(seen.actions, actions);
}

// Focus events a screen reader would get, from any process, out of context.
std::vector<std::pair<HWND, long>> g_focusEvents;
void CALLBACK OnFocusEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                           DWORD) {
  if (object == OBJID_CLIENT) g_focusEvents.push_back({window, child});
}

std::wstring Bstr(BSTR text) {
  std::wstring s = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return s;
}

// What a screen reader in its own process hears on the main page: the
// installer's window answers through the system with one child per widget
// and caption, each named and with its role, and raises a focus event when
// Tab moves the focus.
TEST_F(MainWindowE2E, ScreenReaderReadsTheMainPage) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  struct ComEnd {
    ~ComEnd() { CoUninitialize(); }
  } comEnd;
  Installer installer;
  ASSERT_TRUE(installer.Start());
  HWND main = installer.window();
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(main, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  ASSERT_NE(acc, nullptr);
  long count = 0;
  ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
  std::vector<std::pair<std::wstring, long>> heard;
  for (long id = 1; id <= count; ++id) {
    VARIANT child;
    VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    BSTR name = nullptr;
    acc->get_accName(child, &name);
    VARIANT role;
    VariantInit(&role);
    acc->get_accRole(child, &role);
    heard.push_back({Bstr(name), role.vt == VT_I4 ? role.lVal : 0});
  }
  std::string said;
  for (const auto& h : heard) said += Utf8FromWide(h.first) + "/" + std::to_string(h.second) + " ";
  std::printf("[ screen reader ] %s\n", said.c_str());
  const std::vector<std::pair<std::wstring, long>> expected = {
      {L"关闭", ROLE_SYSTEM_PUSHBUTTON},     {L"Morvantile", ROLE_SYSTEM_STATICTEXT},
      {L"立即安装", ROLE_SYSTEM_PUSHBUTTON}, {L"我已阅读并同意", ROLE_SYSTEM_CHECKBUTTON},
      {L"用户使用协议", ROLE_SYSTEM_LINK},   {L"自定义安装", ROLE_SYSTEM_LINK},
  };
  EXPECT_EQ(heard, expected) << said;

  // Tab: a focus event for the client's first child in reading order, the
  // close button, and the tree says it is focused.
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr,
                                       &OnFocusEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  g_focusEvents.clear();
  const RECT r = installer.Rect();
  ASSERT_TRUE(RunUnixCommand("xdotool mousemove " + std::to_string(r.left + 300) + " " +
                             std::to_string(r.top + 120)));
  ASSERT_TRUE(Keys("Tab"));
  EXPECT_TRUE(WaitFor(
      [&] {
        for (const auto& e : g_focusEvents) {
          if (e.first == main && e.second == 1) return true;
        }
        return false;
      },
      5000));
  UnhookWinEvent(hook);
  VARIANT focus;
  VariantInit(&focus);
  EXPECT_EQ(acc->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(focus.lVal, 1);
  acc->Release();
}

// The review's attack with the real installer: a release statement signed by
// a key the installer does not pin (the genuine statement text, so only the
// signature gives it away) ends in the download-failure dialog; no setup
// program is started and no downloaded file stays.
TEST_F(MainWindowE2E, ForgedReleaseEndsInTheDownloadFailureDialogAndStartsNothing) {
  if (g_demoPackage.empty() || !test::FileExists(g_demoPackage + L"\\install.exe")) {
    GTEST_SKIP() << "no demo package given";
  }
  ServedPackage package(g_demoPackage);
  ASSERT_TRUE(package.ok());
  // Nothing installed (an earlier test's product may still be registered in
  // the 32-bit view the installer reads) and nothing stored: the main page.
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    (void)win::DeleteRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKey, view);
  }
  const std::wstring data = ProductDataDirectory();
  DeleteFileW((data + L"config.ini").c_str());
  {
    // An earlier test's download goes too: this run must leave none.
    WIN32_FIND_DATAW earlier{};
    HANDLE search = FindFirstFileW((data + L"*.exe*").c_str(), &earlier);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((data + earlier.cFileName).c_str());
      } while (FindNextFileW(search, &earlier));
      FindClose(search);
    }
  }
  ASSERT_TRUE(Backend::SetFaults(R"([{"action": "release", "mode": "forged"}])"));

  const long long before = Backend::LastRequest();
  Installer installer;
  ASSERT_TRUE(installer.Start());
  HWND main = installer.window();
  ASSERT_EQ(installer.Width(), 600) << "not the main page";
  ASSERT_TRUE(WaitForRecords(before, kPackageRoute)) << "the package record was not answered";
  ASSERT_TRUE(Click(Installer::CentreOf(
      main, kBegin, EntryIndex(kBegin, DeclKind::kButton, begin_ids::kInstall))));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] { return (dialog = VisibleWindowOfClass(L"ProgressChildCloseWnd")) != nullptr; }, 60000))
      << "no download-failure dialog";
  EXPECT_TRUE(RoundTrip(dialog));  // its loop runs: it has been shown
  {
    Shot shot(dialog, L"forged_release_download_failed");
    EXPECT_TRUE(shot.ok());
  }
  // Nothing of the download is left in the folder the setup program would
  // have been started from.
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((data + L"*.exe*").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Utf8FromWide(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  // "稍后重试": back to the main page, then close.
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kRight, ErrorLook())));
  EXPECT_TRUE(DialogGone(L"ProgressChildCloseWnd"));
  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = VisibleWindowOfClass(L"BeginChildCloseWnd")) != nullptr; }));
  ASSERT_TRUE(Click(DialogButton(dialog, dialog_ids::kLeft)));
  EXPECT_EQ(installer.WaitExit(), 0);

  const Seen seen = CollectUntilQuit();
  ASSERT_TRUE(seen.Has("vSoftDownloadError"));
  std::vector<std::string> statuses;
  for (const auto& e : seen.events) {
    if (e["event"].asString() == "vSoftDownloadError") {
      statuses.push_back(e["props"]["error_status"].asString());
    }
  }
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "发布声明签名无效"), statuses.end())
      << ::testing::PrintToString(statuses);
  ASSERT_TRUE(seen.Has("pSoftDownloadResult"));
  EXPECT_EQ((*seen.Find("pSoftDownloadResult"))["props"]["soft_download_status"].asString(),
            "下载失败");
  EXPECT_FALSE(seen.Has("vSoftInstallStart"));
  EXPECT_FALSE(seen.Has("pSoftInstallResult"));
}

}  // namespace
}  // namespace pelmar

// ctest hands over Unix paths; Wine sees the Unix root as drive Z:.
std::wstring WindowsPath(const wchar_t* path) {
  std::wstring p = path;
  if (!p.empty() && p[0] == L'/') p = L"Z:" + p;
  std::replace(p.begin(), p.end(), L'/', L'\\');
  return p;
}

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    std::fprintf(
        stderr,
        "usage: main_window_e2e_test <install.exe> <product_probe.exe> <packages folder>\n");
    return 2;
  }
  pelmar::g_installer = WindowsPath(argv[1]);
  pelmar::g_probe = WindowsPath(argv[2]);
  pelmar::g_packages = WindowsPath(argv[3]);
  if (argc > 4) pelmar::g_demoPackage = WindowsPath(argv[4]);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  const int result = RUN_ALL_TESTS();
  Gdiplus::GdiplusShutdown(token);
  return result;
}
