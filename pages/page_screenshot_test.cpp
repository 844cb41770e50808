// Draws every page and dialog of the installer off-screen with the real skin,
// saves each as "drawn_<name>.png" in the build's screenshot folder, and checks
// the pixels a layout regression would move: button fills, the hint, the
// dialogs' see-through corners.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "base/app_context.h"
#include "pages/page_test_fixture.h"
#include "pages/begin_view.h"
#include "pages/custome_view.h"
#include "pages/dialog_view.h"
#include "pages/download_reminder_view.h"
#include "pages/error_view.h"
#include "pages/finished_view.h"
#include "pages/install_reminder_view.h"
#include "pages/reminder_view.h"
#include "pages/warn_view.h"
#include "ui/base_window.h"
#include "base/win/gdiplus_include.h"
#include "ui/resource_manager.h"
#include "ui/ui_test_support.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

constexpr uint32_t kBlue = 0xFF084AF4;
constexpr uint32_t kGreyButton = 0xFFF2F2F2;
constexpr uint32_t kDisabled = 0xFFD8D8D8;

std::wstring ShotFolder() {
  const std::wstring folder = test::ExecutableFolder() + L"\\..\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

UiPoint CentreOf(const PageDeclaration& page, DeclKind kind, int id, int w, int h) {
  const std::vector<UiRect> rects = LayOutDeclaration(page, w, h);
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].kind == kind && page[i].id == id) {
      return {(rects[i].left + rects[i].right) / 2, (rects[i].top + rects[i].bottom) / 2};
    }
  }
  return {-1, -1};
}

UiRect SlotOf(const PageDeclaration& page, DeclKind kind, int id, int w, int h) {
  const std::vector<UiRect> rects = LayOutDeclaration(page, w, h);
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].kind == kind && page[i].id == id) return rects[i];
  }
  return {};
}

// Pixels of the warning red (0xFF4D4F, anti-aliased) inside `r`.
int RedPixels(const test::Dib& dib, const UiRect& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const uint32_t p = dib.Pixel(x, y);
      n += ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 160 && (p & 0xFF) < 160;
    }
  }
  return n;
}

// The colour without alpha; a layered DIB holds premultiplied pixels, and the
// checked fills are opaque.
uint32_t Rgb(uint32_t p) { return p | 0xFF000000u; }

class PageScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateAppContext();
    manager_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
  }
  void TearDown() override {
    manager_.reset();
    DeleteAppContext();
  }
  // Draws `view` into a DIB of the window's client size and saves it.
  std::unique_ptr<test::Dib> Draw(IBaseWindow& window, IBaseView& view, const wchar_t* name,
                                  uint32_t background) {
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    auto dib = std::make_unique<test::Dib>(client.right, client.bottom, background);
    view.DrawAll(dib->dc());
    EXPECT_TRUE(dib->SavePng(ShotFolder() + L"\\drawn_" + name + L".png"));
    return dib;
  }

  test::ScratchDir cache_;
  RecordingEventSink log_;
  std::unique_ptr<CResourceManager> manager_;
};

class PageWindow : public ViewWindow {
 public:
  PageWindow(unsigned w, unsigned h) : ViewWindow(h, nullptr, L"PelmarPageShotWnd", w) {}
};

TEST_F(PageScreenshotTest, MainPageInstallButtonAndHint) {
  PageWindow window(600, 400);
  auto* view = window.SetView(
      std::make_unique<CBeginView>(window.hwnd(), manager_.get(), TestPageContext()));
  const PageDeclaration page = BeginPageDeclaration();
  const UiPoint install = CentreOf(page, DeclKind::kButton, begin_ids::kInstall, 600, 400);
  const UiRect hint = SlotOf(page, DeclKind::kText, begin_ids::kHint, 600, 400);
  {
    auto dib = Draw(window, *view, L"main_page", 0xFFFFFFFF);
    EXPECT_EQ(Rgb(dib->Pixel(install.x, install.y - 12)), kBlue);
    EXPECT_EQ(RedPixels(*dib, hint), 0);
    EXPECT_EQ(Rgb(dib->Pixel(0, 0)), 0xFFC0C0C0u);
  }
  // A click on the agreement box (list entry 16) unticks it: the hint shows,
  // install is disabled.
  view->HandleMessage(WM_RESOURCE_CLICKED, 16, 0);
  {
    auto dib = Draw(window, *view, L"main_page_unticked", 0xFFFFFFFF);
    EXPECT_EQ(Rgb(dib->Pixel(install.x, install.y - 12)), kDisabled);
    EXPECT_GT(RedPixels(*dib, hint), 50);
  }
  view->HandleMessage(WM_RESOURCE_CLICKED, 16, 0);
  // Too little space: the install button is disabled, the hint stays hidden.
  view->SetSpaceOk(false);
  {
    auto dib = Draw(window, *view, L"main_page_no_space", 0xFFFFFFFF);
    EXPECT_EQ(Rgb(dib->Pixel(install.x, install.y - 12)), kDisabled);
    EXPECT_EQ(RedPixels(*dib, hint), 0);
  }
}

TEST_F(PageScreenshotTest, CustomAndFinishedPages) {
  {
    PageWindow window(600, 400);
    auto* view = window.SetView(
        std::make_unique<CCustomeView>(window.hwnd(), manager_.get(), TestPageContext()));
    view->SetInstallPath(L"C:\\Games");
    EXPECT_EQ(view->installPath(), L"C:\\Games\\Pelmar\\Morvantile");
    const PageDeclaration page = CustomPageDeclaration();
    auto dib = Draw(window, *view, L"custom_page", 0xFFFFFFFF);
    const UiPoint install = CentreOf(page, DeclKind::kButton, custom_ids::kInstall, 600, 400);
    EXPECT_EQ(Rgb(dib->Pixel(install.x, install.y - 12)), view->spaceOk() ? kBlue : kDisabled);
    const UiRect required = SlotOf(page, DeclKind::kText, custom_ids::kRequired, 600, 400);
    EXPECT_GT(
        dib->CountOther(required.left, required.top, required.right, required.bottom, 0xFFFFFFFF),
        20);
  }
  {
    PageWindow window(600, 400);
    auto* view = window.SetView(
        std::make_unique<CFinishedView>(window.hwnd(), manager_.get(), TestPageContext()));
    auto dib = Draw(window, *view, L"finished_page", 0xFFFFFFFF);
    const UiPoint launch =
        CentreOf(FinishedPageDeclaration(), DeclKind::kButton, finished_ids::kLaunch, 600, 400);
    EXPECT_EQ(Rgb(dib->Pixel(launch.x, launch.y - 12)), kBlue);
  }
}

TEST_F(PageScreenshotTest, EveryDialogOnTheSharedLayout) {
  const struct {
    const wchar_t* name;
    DialogLook look;
    std::function<std::unique_ptr<IBaseWindow>(IResourceMgr*)> make;
    bool roundCorners;
  } dialogs[] = {
      {L"cancel_confirmation", WarnLook(),
       [](IResourceMgr* m) {
         return std::make_unique<WarnWindow>(nullptr, m, TestPageContext(), 1);
       },
       true},
      {L"error_dialog", ErrorLook(),
       [](IResourceMgr* m) {
         return std::make_unique<ErrorWindow>(nullptr, m, TestPageContext(), 1);
       },
       true},
      {L"download_reminder", DownloadReminderLook(),
       [](IResourceMgr* m) {
         return std::make_unique<DownloadReminderWindow>(nullptr, m, TestPageContext(),
                                                         "http://localhost/x");
       },
       true},
      {L"install_reminder", InstallReminderLook(),
       [](IResourceMgr* m) {
         return std::make_unique<InstallReminderWindow>(nullptr, m, TestPageContext(),
                                                        L"C:\\setup.exe");
       },
       true},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(std::string(d.name, d.name + wcslen(d.name)));
    std::unique_ptr<IBaseWindow> window = d.make(manager_.get());
    auto& dialog = static_cast<ViewWindow&>(*window);
    auto dib = Draw(dialog, *dialog.view(), d.name, 0x00000000);
    const PageDeclaration page = DialogDeclaration(d.look);
    const UiPoint left = CentreOf(page, DeclKind::kButton, dialog_ids::kLeft, 400, 200);
    const UiPoint right = CentreOf(page, DeclKind::kButton, dialog_ids::kRight, 400, 200);
    EXPECT_EQ(Rgb(dib->Pixel(left.x, left.y - 5)), kGreyButton);
    EXPECT_EQ(Rgb(dib->Pixel(right.x, right.y - 5)), kBlue);
    // Rounded corners let the screen show through (alpha 0 in the corner).
    EXPECT_EQ(dib->Pixel(0, 0) >> 24, d.roundCorners ? 0u : 255u);
    EXPECT_EQ(Rgb(dib->Pixel(200, 100)), 0xFFFFFFFFu);
  }
  // The reinstall reminder is a page of the main window: square corners.
  PageWindow window(400, 200);
  auto* view = window.SetView(
      std::make_unique<CReminderView>(window.hwnd(), manager_.get(), TestPageContext()));
  auto dib = Draw(window, *view, L"reinstall_reminder", 0xFFFFFFFF);
  EXPECT_EQ(dib->Pixel(0, 0) >> 24, 255u);
  const UiPoint right =
      CentreOf(DialogDeclaration(ReminderLook()), DeclKind::kButton, dialog_ids::kRight, 400, 200);
  EXPECT_EQ(Rgb(dib->Pixel(right.x, right.y - 5)), kBlue);
}

}  // namespace
}  // namespace pelmar
