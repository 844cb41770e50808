// Every page and dialog must show its texts. The missing-face case takes the
// prefix's mapping of the designed faces away (as on a machine without them),
// draws every page and dialog in a fresh process of this executable, and
// counts pixels of each caption's text colour inside the caption's box.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/app_context.h"
#include "base/text_convert.h"
#include "pages/page_test_fixture.h"
#include "pages/begin_view.h"
#include "pages/custome_view.h"
#include "pages/download_reminder_view.h"
#include "pages/error_view.h"
#include "pages/finished_view.h"
#include "pages/install_reminder_view.h"
#include "pages/progress_view.h"
#include "pages/reminder_view.h"
#include "pages/warn_view.h"
#include "ui/base_window.h"
#include "ui/button_resource.h"
#include "ui/caption_face.h"
#include "ui/checkbox_resource.h"
#include "base/win/gdiplus_include.h"
#include "ui/resource_manager.h"
#include "ui/text_resource.h"
#include "ui/ui_test_support.h"
#include "ui/widget_style.h"

namespace pelmar {
namespace {

constexpr char kChildVariable[] = "PELMAR_NO_FACE_CHILD";
constexpr char kScaleVariable[] = "PELMAR_SCALE_CHILD";

std::wstring ShotFolder() {
  const std::wstring folder = test::ExecutableFolder() + L"\\..\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

class PageWindow : public ViewWindow {
 public:
  PageWindow(unsigned w, unsigned h) : ViewWindow(h, nullptr, L"PelmarCaptionShotWnd", w) {}
};

// One page or dialog, made on demand.
struct Gallery {
  const wchar_t* name;
  std::function<std::unique_ptr<IBaseWindow>(IResourceMgr*)> make;
  uint32_t background;  // what the DIB starts as (dialogs are see-through)
};

template <typename View>
std::unique_ptr<IBaseWindow> Page(IResourceMgr* m, unsigned w, unsigned h) {
  auto window = std::make_unique<PageWindow>(w, h);
  window->SetView(std::make_unique<View>(window->hwnd(), m, TestPageContext()));
  return window;
}

std::vector<Gallery> EveryPageAndDialog() {
  return {
      {L"main_page", [](IResourceMgr* m) { return Page<CBeginView>(m, 600, 400); }, 0xFFFFFFFF},
      {L"custom_page", [](IResourceMgr* m) { return Page<CCustomeView>(m, 600, 400); }, 0xFFFFFFFF},
      {L"progress_page", [](IResourceMgr* m) { return Page<CProgressView>(m, 600, 400); },
       0xFFFFFFFF},
      {L"finished_page", [](IResourceMgr* m) { return Page<CFinishedView>(m, 600, 400); },
       0xFFFFFFFF},
      {L"reinstall_reminder", [](IResourceMgr* m) { return Page<CReminderView>(m, 400, 200); },
       0xFFFFFFFF},
      {L"cancel_confirmation",
       [](IResourceMgr* m) {
         return std::make_unique<WarnWindow>(nullptr, m, TestPageContext(), 1);
       },
       0},
      {L"error_dialog",
       [](IResourceMgr* m) {
         return std::make_unique<ErrorWindow>(nullptr, m, TestPageContext(), 1);
       },
       0},
      {L"download_reminder",
       [](IResourceMgr* m) {
         return std::make_unique<DownloadReminderWindow>(nullptr, m, TestPageContext(),
                                                         "http://localhost/x");
       },
       0},
      {L"install_reminder",
       [](IResourceMgr* m) {
         return std::make_unique<InstallReminderWindow>(nullptr, m, TestPageContext(),
                                                        L"C:\\setup.exe");
       },
       0},
  };
}

// A caption the page shows: its text, box and colour.
struct Caption {
  int index = 0;
  std::wstring text;
  UiRect box;
  uint32_t colour = 0;
};

std::wstring TextOf(const IBaseResource& r) {
  if (r.type() == kTypeButton) return static_cast<const CButtonResource&>(r).caption();
  if (r.type() == kTypeCheckbox) return static_cast<const CCheckboxResource&>(r).caption();
  if (r.type() == kTypeText) return static_cast<const CTextResource&>(r).text();
  return {};
}

void SetTextOf(IBaseResource* r, const std::wstring& text) {
  if (r->type() == kTypeButton) static_cast<CButtonResource*>(r)->SetCaption(text);
  if (r->type() == kTypeCheckbox) static_cast<CCheckboxResource*>(r)->SetCaption(text);
  if (r->type() == kTypeText) static_cast<CTextResource*>(r)->SetText(text);
}

std::vector<Caption> CaptionsOf(const IBaseView& view) {
  std::vector<Caption> captions;
  for (int i = 0; i < view.ResourceCount(); ++i) {
    const IBaseResource* r = view.At(i);
    const std::wstring text = TextOf(*r);
    if (!r->visible() || text.find_first_not_of(L" ") == std::wstring::npos) continue;
    const auto* drawn = static_cast<const CImageResource*>(r);
    captions.push_back({i, text, r->rect(), drawn->Style().textColor});
  }
  return captions;
}

// Pixels inside `box` within a small distance of `colour` in every channel
// (the cores of anti-aliased strokes); alpha is not compared.
int TextColourPixels(const test::Dib& dib, const UiRect& box, uint32_t colour) {
  auto closeTo = [](uint32_t a, uint32_t b, int shift) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    return d >= -40 && d <= 40;
  };
  int n = 0;
  for (int y = std::max(box.top, 0); y < std::min(box.bottom, dib.height()); ++y) {
    for (int x = std::max(box.left, 0); x < std::min(box.right, dib.width()); ++x) {
      const uint32_t p = dib.Pixel(x, y);
      n += (p >> 24) != 0 && closeTo(p, colour, 16) && closeTo(p, colour, 8) &&
           closeTo(p, colour, 0);
    }
  }
  return n;
}

// Draws the view with every caption emptied, then as it is, and counts in
// each caption's box the pixels of that caption's text colour: the captions
// must add them (pictures and corners under a caption may share its colour).
void ExpectEveryCaptionShows(IBaseWindow& window, IBaseView& view, const Gallery& g,
                             const std::wstring& prefix) {
  RECT client{};
  GetClientRect(window.hwnd(), &client);
  const std::vector<Caption> captions = CaptionsOf(view);
  EXPECT_FALSE(captions.empty());
  test::Dib bare(client.right, client.bottom, g.background);
  for (const Caption& c : captions) SetTextOf(view.At(c.index), L"");
  view.DrawAll(bare.dc());
  for (const Caption& c : captions) SetTextOf(view.At(c.index), c.text);
  test::Dib drawn(client.right, client.bottom, g.background);
  view.DrawAll(drawn.dc());
  EXPECT_TRUE(drawn.SavePng(ShotFolder() + L"\\" + prefix + g.name + L".png"));
  for (const Caption& c : captions) {
    SCOPED_TRACE(Utf8FromWide(g.name) + ": \"" + Utf8FromWide(c.text) + "\" at " +
                 std::to_string(c.box.left) + "," + std::to_string(c.box.top));
    EXPECT_GE(TextColourPixels(drawn, c.box, c.colour) - TextColourPixels(bare, c.box, c.colour),
              8);
  }
}

class CaptionPixelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateAppContext();
    manager_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
  }
  void TearDown() override {
    manager_.reset();
    DeleteAppContext();
  }

  test::ScratchDir cache_;
  RecordingEventSink log_;
  std::unique_ptr<CResourceManager> manager_;
};

// The mapping of the designed faces in the prefix's registry, removed for
// the object's lifetime and put back as it was.
class FaceMappingRemoved {
 public:
  FaceMappingRemoved() {
    for (const Place& p : Places()) {
      for (const wchar_t* face : {L"Microsoft Yahei", L"SimHei"}) Remove(p, face);
    }
  }
  ~FaceMappingRemoved() {
    for (const Saved& s : saved_) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(s.root, s.path, 0, KEY_SET_VALUE | s.view, &key) != ERROR_SUCCESS) continue;
      RegSetValueExW(key, s.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(s.value.c_str()),
                     static_cast<DWORD>((s.value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }
  int removed() const { return static_cast<int>(saved_.size()); }

 private:
  struct Place {
    HKEY root;
    const wchar_t* path;
    REGSAM view;
  };
  struct Saved {
    HKEY root;
    const wchar_t* path;
    REGSAM view;
    std::wstring name;
    std::wstring value;
  };
  static std::vector<Place> Places() {
    const wchar_t* substitutes =
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes";
    return {{HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0},
            {HKEY_LOCAL_MACHINE, substitutes, KEY_WOW64_64KEY},
            {HKEY_LOCAL_MACHINE, substitutes, KEY_WOW64_32KEY}};
  }
  void Remove(const Place& p, const wchar_t* face) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(p.root, p.path, 0, KEY_READ | KEY_SET_VALUE | p.view, &key) != ERROR_SUCCESS)
      return;
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, face, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ && RegDeleteValueW(key, face) == ERROR_SUCCESS) {
      saved_.push_back({p.root, p.path, p.view, face, value});
    }
    RegCloseKey(key);
  }
  std::vector<Saved> saved_;
};

// Runs this executable again with `filter` and `variable` set to `value`; its exit code.
DWORD RunChild(const std::wstring& filter, const char* variable = kChildVariable,
               const char* value = "1") {
  const std::wstring exe = test::ExecutableFolder() + L"\\pages_window_tests.exe";
  std::wstring line = L"\"" + exe + L"\" --gtest_brief=1 --gtest_filter=" + filter;
  SetEnvironmentVariableA(variable, value);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(variable, nullptr);
  if (!started) return 1000;
  DWORD code = 1001;
  if (WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

bool InChild() {
  return std::getenv(kChildVariable) != nullptr || std::getenv(kScaleVariable) != nullptr;
}

TEST_F(CaptionPixelsTest, EveryCaptionShowsWithTheDesignedFace) {
  ASSERT_TRUE(FaceExists(DefaultFontFamily()));
  for (const Gallery& g : EveryPageAndDialog()) {
    std::unique_ptr<IBaseWindow> window = g.make(manager_.get());
    auto& host = static_cast<ViewWindow&>(*window);
    ExpectEveryCaptionShows(host, *host.view(), g, L"face_");
  }
}

TEST_F(CaptionPixelsTest, EveryCaptionShowsWithoutTheDesignedFace) {
  if (InChild()) return;
  FaceMappingRemoved removed;
  // The project's prefix maps both faces in two places at least.
  ASSERT_GE(removed.removed(), 2);
  EXPECT_EQ(0u, RunChild(L"MissingFaceChild.*"));
}

// Sets the prefix's HKCU\Control Panel\Desktop\LogPixels (what Wine takes
// the screen's DPI from when a process starts) and puts the old state back.
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

// Every page and dialog at 100 %, 150 % and 200 %: each scale in a process
// of its own, started with the prefix's DPI set.
TEST_F(CaptionPixelsTest, EveryPageAndDialogAtThreeScales) {
  if (InChild()) return;
  for (const char* dpi : {"96", "144", "192"}) {
    SCOPED_TRACE(std::string(dpi) + " DPI");
    LogPixelsOverride set(static_cast<DWORD>(std::atoi(dpi)));
    EXPECT_EQ(0u, RunChild(L"ScaledChild.*", kScaleVariable, dpi));
  }
}

// Pixels of `drawn` that differ from `bare` outside `box` grown by `slack`.
int PixelsOutside(const test::Dib& drawn, const test::Dib& bare, const UiRect& box, int slack) {
  int n = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      const bool inside = x >= box.left - slack && x < box.right + slack && y >= box.top - slack &&
                          y < box.bottom + slack;
      if (!inside && drawn.Pixel(x, y) != bare.Pixel(x, y)) ++n;
    }
  }
  return n;
}

// Runs inside the case above, one process per scale.
class ScaledChild : public CaptionPixelsTest {};

TEST_F(ScaledChild, EveryPageAndDialog) {
  const char* dpiText = std::getenv(kScaleVariable);
  if (dpiText == nullptr) GTEST_SKIP() << "started by EveryPageAndDialogAtThreeScales";
  const int dpi = std::atoi(dpiText);
  const double factor = dpi / 96.0;
  ASSERT_DOUBLE_EQ(factor, ProcessDpiFactor());
  const std::wstring prefix = L"scale_" + std::to_wstring(dpi * 100 / 96) + L"_";
  for (const Gallery& g : EveryPageAndDialog()) {
    SCOPED_TRACE(Utf8FromWide(g.name));
    std::unique_ptr<IBaseWindow> window = g.make(manager_.get());
    auto& host = static_cast<ViewWindow&>(*window);
    IBaseView& view = *host.view();
    // The sizing rule on a screen wider than tall: the design size times the
    // DPI factor, and the widgets drawn at that scale.
    RECT r{};
    GetWindowRect(host.hwnd(), &r);
    EXPECT_EQ(r.right - r.left, static_cast<long>(host.designWidth() * factor + 0.5));
    EXPECT_EQ(r.bottom - r.top, static_cast<long>(host.designHeight() * factor + 0.5));
    EXPECT_DOUBLE_EQ(CurrentDisplayScale(), factor);
    ExpectEveryCaptionShows(host, view, g, prefix);
    // Each caption alone against none: everything it draws lies in its box
    // (one pixel of anti-aliasing aside).
    const std::vector<Caption> captions = CaptionsOf(view);
    RECT client{};
    GetClientRect(host.hwnd(), &client);
    for (const Caption& c : captions) SetTextOf(view.At(c.index), L"");
    test::Dib bare(client.right, client.bottom, g.background);
    view.DrawAll(bare.dc());
    for (const Caption& c : captions) {
      SCOPED_TRACE(Utf8FromWide(c.text));
      SetTextOf(view.At(c.index), c.text);
      test::Dib alone(client.right, client.bottom, g.background);
      view.DrawAll(alone.dc());
      EXPECT_EQ(PixelsOutside(alone, bare, c.box, 1), 0);
      SetTextOf(view.At(c.index), L"");
    }
    for (const Caption& c : captions) SetTextOf(view.At(c.index), c.text);
  }
}

// Runs inside the case above, in a process that started without the mapping.
class MissingFaceChild : public CaptionPixelsTest {};

TEST_F(MissingFaceChild, EveryPageAndDialogShowsItsTexts) {
  if (std::getenv(kChildVariable) == nullptr) {
    GTEST_SKIP() << "started by EveryCaptionShowsWithoutTheDesignedFace";
  }
  ASSERT_FALSE(FaceExists(DefaultFontFamily()));
  const std::wstring face = CaptionFace(DefaultFontFamily(), L"立即安装");
  std::printf("[ fallback face ] %s\n", Utf8FromWide(face).c_str());
  EXPECT_TRUE(FaceExists(face));
  EXPECT_NE(face, DefaultFontFamily());
  for (const Gallery& g : EveryPageAndDialog()) {
    std::unique_ptr<IBaseWindow> window = g.make(manager_.get());
    auto& host = static_cast<ViewWindow&>(*window);
    ExpectEveryCaptionShows(host, *host.view(), g, L"no_face_");
  }
  // The path field is a system edit control with a font of its own: it must
  // have glyphs for a Chinese folder name too.
  std::unique_ptr<IBaseWindow> custom = Page<CCustomeView>(manager_.get(), 600, 400);
  HWND edit = FindWindowExW(custom->hwnd(), nullptr, L"Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  const std::wstring folder = L"我的游戏";
  WORD glyphs[4] = {};
  EXPECT_EQ(GetGlyphIndicesW(dc, folder.c_str(), 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS), 4u);
  SelectObject(dc, old);
  DeleteDC(dc);
  for (WORD g : glyphs) EXPECT_NE(g, 0xFFFF);
}

}  // namespace
}  // namespace pelmar
