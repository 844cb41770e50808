#include "ui/base_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include "base/app_context.h"
#include "ui/base_window.h"
#include "ui/button_resource.h"
#include "base/win/gdiplus_include.h"
#include "ui/layout_resource.h"
#include "ui/resource_manager.h"
#include "ui/spacer_resource.h"
#include "ui/text_resource.h"
#include "ui/view_geometry.h"
#include "ui/ui_test_support.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

using test::RunUnixCommand;

// Dispatches this thread's messages until `done` holds or about 10 s passed.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  return test::PumpUntil(done, timeoutMs);
}

void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

std::string Xdo(const std::string& args) { return "xdotool " + args; }

std::string At(int x, int y) {
  std::ostringstream s;
  s << "mousemove " << x << " " << y;
  return s.str();
}

// A view under test: paints layered or double-buffered, follows `scheme`,
// records the click messages it receives and every mouse message.
class TestView : public IBaseView {
 public:
  TestView(HWND hwnd, IResourceMgr* mgr, bool layered, MouseScheme scheme)
      : IBaseView(hwnd, mgr), layered_(layered), scheme_(std::move(scheme)) {}

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    switch (msg) {
      case WM_PAINT:
        ++paints;
        return layered_ ? LayeredPaint() : DoubleBufferedPaint();
      case WM_MOUSEMOVE:
        return OnMouseMove(scheme_, wparam, lparam);
      case WM_LBUTTONDOWN:
        ++buttonMessages;
        return OnLButtonDown(scheme_, wparam, lparam);
      case WM_LBUTTONUP:
        ++buttonMessages;
        return OnLButtonUp(scheme_, wparam, lparam);
      default:
        break;
    }
    if (msg == WM_RESOURCE_CLICKED) {
      clicks.push_back({static_cast<int>(wparam), lparam});
      if (onClick) onClick(static_cast<int>(wparam));
      if (ApplyStateRule(static_cast<int>(wparam), msg)) Invalidate();
      return 0;
    }
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }

  struct Click {
    int index;
    LPARAM position;
  };
  std::vector<Click> clicks;
  int paints = 0;
  int buttonMessages = 0;  // left button down and up
  std::function<void(int)> onClick;

 private:
  bool layered_;
  MouseScheme scheme_;
};

MouseScheme DialogScheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = true;
  s.dragOnPress = false;
  s.postsClick = [](const IBaseResource& r) { return r.type() == kTypeButton; };
  return s;
}

MouseScheme PageScheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeCheckbox, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = false;
  s.dragOnPress = true;
  s.notTopmostOnPress = true;
  s.postsClick = [](const IBaseResource& r) {
    if (r.type() == kTypeImageOpaque) return false;
    if (r.type() == kTypeButton) {
      return static_cast<const CImageResource&>(r).state() != kStateDisabled;
    }
    return true;
  };
  return s;
}

// Builds the page used by the window tests (design 400 x 200):
// 0 root layout, 1 background, 2 logo (type 1), 3 text, 4 button, 5 spacer.
void BuildPage(TestView* view, IResourceMgr* mgr, int width, int height) {
  auto* root = view->Add(std::make_unique<CLayoutResource>(kLayoutVertical));
  WidgetStyleSet bg;
  bg[kStateNormal].fillColor = 0xFFFFFFFF;
  bg[kStateNormal].borderWidth = 1;
  bg[kStateNormal].borderColor = 0xFFC0C0C0;
  auto* background = view->Add(std::make_unique<CImageResource>(0, &bg, kTypeImage));
  background->SetPicture(mgr->GetImage(L"main_bg.png"));
  auto* logo = view->Add(std::make_unique<CImageResource>(1, nullptr, kTypeImageOpaque));
  logo->SetPicture(mgr->GetImage(L"error_icon.png"));
  WidgetStyleSet textStyle;
  textStyle[kStateNormal].fillColor = 0x00FFFFFF;
  textStyle[kStateNormal].textColor = 0xFF1A1A1A;
  auto* text = view->Add(std::make_unique<CTextResource>(8, &textStyle, L"确认退出安装吗？"));
  auto* button = view->Add(std::make_unique<CButtonResource>(3, L"确认", nullptr));
  button->SetAspectRatio(3.0);
  auto* spacer = view->Add(std::make_unique<CSpacerResource>());
  root->SetMargins(20, 20, 20, 20);
  root->SetBackground(background);
  root->AddChild(logo, 3);
  root->AddChild(text, 2);
  root->AddChild(button, 3);
  root->AddChild(spacer, 1);
  ASSERT_TRUE(root->SetRect(0, 0, width, height));
}

class ViewWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    CreateAppContext();
    mgr_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
    // The pointer starts away from where the windows appear.
    ASSERT_TRUE(RunUnixCommand(Xdo("mousemove 1 1")));
  }
  void TearDown() override {
    window_.reset();
    mgr_.reset();
    DeleteAppContext();
  }

  TestView* MakeWindow(bool layered, MouseScheme scheme, HWND parent = nullptr,
                       const wchar_t* cls = L"PelmarViewTestWnd") {
    window_ = std::make_unique<ViewWindow>(200, parent, cls, 400);
    RECT r{};
    GetClientRect(window_->hwnd(), &r);
    auto* view = window_->SetView(
        std::make_unique<TestView>(window_->hwnd(), mgr_.get(), layered, std::move(scheme)));
    BuildPage(view, mgr_.get(), r.right, r.bottom);
    return view;
  }

  // Screen position of a client point of the window.
  POINT Screen(int x, int y) const {
    POINT p{x, y};
    ClientToScreen(window_->hwnd(), &p);
    return p;
  }
  std::string MoveTo(const IBaseResource* r) const {
    const POINT p =
        Screen((r->rect().left + r->rect().right) / 2, (r->rect().top + r->rect().bottom) / 2);
    return At(p.x, p.y);
  }

  // The colour of a screen pixel, read from a capture of the X display.
  uint32_t ScreenPixel(int x, int y) {
    const std::string file = "/tmp/pelmar_ui_pixel.txt";
    std::ostringstream cmd;
    cmd << "import -window root -crop 1x1+" << x << "+" << y << " +repage -depth 8 txt:- | "
        << "tail -n 1 | sed -e 's/.*#\\([0-9A-F]\\{6\\}\\).*/\\1/' > " << file;
    if (!RunUnixCommand(cmd.str())) return 0;
    const std::string hex = test::ReadFileBytes(L"Z:\\tmp\\pelmar_ui_pixel.txt");
    return 0xFF000000u | static_cast<uint32_t>(std::stoul(hex.substr(0, 6), nullptr, 16));
  }

  test::ScratchDir cache_;
  RecordingEventSink log_;
  std::unique_ptr<CResourceManager> mgr_;
  std::unique_ptr<ViewWindow> window_;
};

TEST_F(ViewWindowTest, HitTestAndLookupById) {
  TestView* view = MakeWindow(false, PageScheme());
  EXPECT_EQ(6, view->ResourceCount());
  EXPECT_EQ(view->At(3), view->FindById(8));
  EXPECT_EQ(view->At(4), view->FindById(3));
  EXPECT_EQ(nullptr, view->FindById(99));
  EXPECT_EQ(nullptr, view->At(6));
  const UiRect logo = view->At(2)->rect();
  EXPECT_EQ(2, view->HitTest(logo.left + 2, (logo.top + logo.bottom) / 2));
  EXPECT_EQ(1, view->HitTest(3, 3));  // only the background: its index
  EXPECT_EQ(0, view->HitTest(-5, -5));
}

TEST_F(ViewWindowTest, LayeredWindowPaintsAndButtonFollowsTheMouse) {
  TestView* view = MakeWindow(true, DialogScheme());
  view->Show(window_->hwnd(), false);
  ASSERT_TRUE(PumpUntil([&] { return view->paints > 0; }));
  Pump(300);
  EXPECT_TRUE(GetWindowLongPtrW(window_->hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);

  auto* button = static_cast<CButtonResource*>(view->At(4));
  const UiRect b = button->rect();
  // What the X display shows: the blue button, the white page, the grey frame.
  const POINT inButton = Screen(b.left + 3, b.top + 3);
  EXPECT_EQ(0xFF4197FFu, ScreenPixel(inButton.x, inButton.y));
  const POINT corner = Screen(0, 0);
  EXPECT_EQ(0xFFC0C0C0u, ScreenPixel(corner.x, corner.y));

  // Hover, press, release: states and the click message with the button's index.
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(button))));
  EXPECT_TRUE(PumpUntil([&] { return button->state() == kStateHover; }));
  EXPECT_EQ(4, view->hoveredIndex());
  ASSERT_TRUE(RunUnixCommand(Xdo("mousedown 1")));
  EXPECT_TRUE(PumpUntil([&] { return button->state() == kStatePressed; }));
  ASSERT_TRUE(RunUnixCommand(Xdo("mouseup 1")));
  ASSERT_TRUE(PumpUntil([&] { return !view->clicks.empty(); }));
  EXPECT_EQ(4, view->clicks[0].index);
  const POINT mid{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
  EXPECT_NEAR(mid.x, static_cast<short>(LOWORD(view->clicks[0].position)), 1);
  EXPECT_NEAR(mid.y, static_cast<short>(HIWORD(view->clicks[0].position)), 1);
  EXPECT_EQ(kStateNormal, button->state());  // the click returns it to normal

  // Hovering the icon (passive) after the button resets the button; moving
  // within the same resource changes nothing.
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(view->At(2)))));
  EXPECT_TRUE(PumpUntil([&] { return view->hoveredIndex() == 2; }));
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(button))));
  EXPECT_TRUE(PumpUntil([&] { return button->state() == kStateHover; }));
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(view->At(2)))));
  EXPECT_TRUE(PumpUntil([&] { return button->state() == kStateNormal; }));
  EXPECT_EQ(2, view->hoveredIndex());

  // Pressing a dialog's background does not move it, and posts no click.
  RECT before{}, after{};
  GetWindowRect(window_->hwnd(), &before);
  const POINT bg = Screen(6, b.bottom + 4);
  std::ostringstream drag;
  drag << At(bg.x, bg.y) << " mousedown 1 " << At(bg.x + 60, bg.y + 40) << " mouseup 1";
  ASSERT_TRUE(RunUnixCommand(Xdo(drag.str())));
  Pump(500);
  GetWindowRect(window_->hwnd(), &after);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
  EXPECT_EQ(1u, view->clicks.size());
}

TEST_F(ViewWindowTest, DoubleBufferedPageClicksAndDrags) {
  TestView* view = MakeWindow(false, PageScheme());
  view->Show(window_->hwnd(), false);
  ASSERT_TRUE(PumpUntil([&] { return view->paints > 0; }));
  Pump(300);
  EXPECT_FALSE(GetWindowLongPtrW(window_->hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
  const UiRect b = view->At(4)->rect();
  const POINT inButton = Screen(b.left + 3, b.top + 3);
  EXPECT_EQ(0xFF4197FFu, ScreenPixel(inButton.x, inButton.y));

  // Shown topmost; the first press drops that.
  view->Show(window_->hwnd(), true);
  Pump(100);
  EXPECT_TRUE(GetWindowLongPtrW(window_->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  // A click on the logo (type 1) posts nothing; on the button its index; on
  // the page background only, the background's index.
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(view->At(2)) + " click 1")));
  Pump(400);
  EXPECT_TRUE(view->clicks.empty());
  EXPECT_FALSE(GetWindowLongPtrW(window_->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(view->At(4)) + " click 1")));
  ASSERT_TRUE(PumpUntil([&] { return view->clicks.size() == 1; }));
  EXPECT_EQ(4, view->clicks[0].index);

  // A disabled button posts nothing.
  static_cast<CImageResource*>(view->At(4))->SetState(kStateDisabled);
  ASSERT_TRUE(RunUnixCommand(Xdo(MoveTo(view->At(4)) + " click 1")));
  Pump(400);
  EXPECT_EQ(1u, view->clicks.size());

  // Pressing on the empty page drags the window.
  RECT before{}, after{};
  GetWindowRect(window_->hwnd(), &before);
  const POINT bg = Screen(6, 6);
  std::ostringstream drag;
  drag << At(bg.x, bg.y) << " mousedown 1 sleep 0.2 " << At(bg.x + 30, bg.y + 20) << " sleep 0.2 "
       << At(bg.x + 60, bg.y + 40) << " sleep 0.2 mouseup 1";
  ASSERT_TRUE(RunUnixCommand(Xdo(drag.str())));
  EXPECT_TRUE(PumpUntil([&] {
    GetWindowRect(window_->hwnd(), &after);
    return after.left == before.left + 60 && after.top == before.top + 40;
  }));
  EXPECT_EQ(before.left + 60, after.left);
  EXPECT_EQ(before.top + 40, after.top);

  // A plain click on the background neither moves the window nor posts: the
  // system's move loop that the press starts takes the release.
  const POINT bg2 = Screen(6, 6);
  std::ostringstream click;
  click << At(bg2.x, bg2.y) << " click 1";
  ASSERT_TRUE(RunUnixCommand(Xdo(click.str())));
  Pump(500);
  RECT still{};
  GetWindowRect(window_->hwnd(), &still);
  EXPECT_EQ(after.left, still.left);
  EXPECT_EQ(after.top, still.top);
  EXPECT_EQ(1u, view->clicks.size());
}

TEST_F(ViewWindowTest, ModalDialogSwallowsClicksOnItsOwner) {
  TestView* owner = MakeWindow(false, PageScheme(), nullptr, L"PelmarModalOwnerWnd");
  owner->Show(window_->hwnd(), false);
  ASSERT_TRUE(PumpUntil([&] { return owner->paints > 0; }));
  Pump(200);

  TestView* dialogView = nullptr;
  auto factory = [&](HWND parent, IResourceMgr* mgr) -> std::unique_ptr<IBaseWindow> {
    auto dialog = std::make_unique<ViewWindow>(100, parent, L"PelmarModalDialogWnd", 200);
    RECT r{};
    GetClientRect(dialog->hwnd(), &r);
    dialogView =
        dialog->SetView(std::make_unique<TestView>(dialog->hwnd(), mgr, true, DialogScheme()));
    BuildPage(dialogView, mgr, r.right, r.bottom);
    HWND self = dialog->hwnd();
    dialogView->onClick = [self](int) {
      // The dialog view's ending: confirm, hide, close and quit.
      PostMessageW(self, WM_DIALOG_CONFIRMED, 0, 0);
      ShowWindow(self, SW_HIDE);
      PostMessageW(self, WM_CLOSE, 0, 0);
      PostMessageW(self, WM_QUIT, 0, 0);
    };
    return dialog;
  };

  // The clicks come from another thread once the dialog shows: first on the
  // owner's button (outside the dialog), then on the dialog's button.
  std::atomic<bool> scripted{false};
  const UiRect ownerButton = owner->At(4)->rect();
  std::thread clicker([&] {
    (void)test::WaitUntil(
        [&] { return owner->openDialog() && IsWindowVisible(owner->openDialog()); }, 5000);
    Sleep(300);
    HWND dialog = owner->openDialog();
    if (!dialog || !dialogView) return;
    POINT ownerAt{ownerButton.left + 2, ownerButton.top + 2};
    ClientToScreen(window_->hwnd(), &ownerAt);
    const UiRect db = dialogView->At(4)->rect();
    POINT dialogAt{(db.left + db.right) / 2, (db.top + db.bottom) / 2};
    ClientToScreen(dialog, &dialogAt);
    std::ostringstream s;
    s << At(ownerAt.x, ownerAt.y) << " click 1 sleep 0.3 " << At(dialogAt.x, dialogAt.y)
      << " click 1";
    scripted = RunUnixCommand(Xdo(s.str()));
  });
  const int ownerButtonsBefore = owner->buttonMessages;
  const bool confirmed = owner->RunModalDialog(factory);
  clicker.join();
  ASSERT_TRUE(scripted);
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(nullptr, owner->openDialog());
  // The owner's button was clicked while the dialog ran: nothing reached it.
  Pump(300);
  EXPECT_TRUE(owner->clicks.empty());
  EXPECT_EQ(ownerButtonsBefore, owner->buttonMessages);
}

TEST_F(ViewWindowTest, ModalDialogClosedWithoutConfirmingReturnsFalse) {
  TestView* owner = MakeWindow(false, PageScheme(), nullptr, L"PelmarModalOwnerWnd");
  auto factory = [&](HWND parent, IResourceMgr*) -> std::unique_ptr<IBaseWindow> {
    auto dialog = std::make_unique<ViewWindow>(100, parent, L"PelmarModalDialogWnd", 200);
    // Ends at once without the confirmation message.
    PostMessageW(dialog->hwnd(), WM_CLOSE, 0, 0);
    PostMessageW(dialog->hwnd(), WM_QUIT, 0, 0);
    return dialog;
  };
  EXPECT_FALSE(owner->RunModalDialog(factory));
  EXPECT_EQ(nullptr, owner->openDialog());
}

// A dialog over a window dragged half off the screen is centred over it as
// far as the work area allows: all of it stays on the screen.
RECT g_dialogRect{};

void CALLBACK NoteAndClose(HWND dialog, UINT, UINT_PTR id, DWORD) {
  KillTimer(dialog, id);
  GetWindowRect(dialog, &g_dialogRect);
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  PostMessageW(dialog, WM_QUIT, 0, 0);
}

TEST_F(ViewWindowTest, ModalDialogOfAWindowHalfOffScreenStaysInTheWorkArea) {
  TestView* owner = MakeWindow(false, PageScheme(), nullptr, L"PelmarModalOwnerWnd");
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  RECT placed{};
  GetWindowRect(window_->hwnd(), &placed);
  const int ownerWidth = placed.right - placed.left;
  const int ownerHeight = placed.bottom - placed.top;
  const struct {
    const char* what;
    int x, y;  // the owner's new top-left corner
  } cases[] = {
      {"half off the left edge", work.left - ownerWidth / 2 - 100, work.top + 100},
      {"half off the bottom right", work.right - ownerWidth / 3, work.bottom - ownerHeight / 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MoveWindow(window_->hwnd(), c.x, c.y, ownerWidth, ownerHeight, TRUE);
    g_dialogRect = RECT{};
    auto factory = [&](HWND parent, IResourceMgr*) -> std::unique_ptr<IBaseWindow> {
      auto dialog = std::make_unique<ViewWindow>(100, parent, L"PelmarModalDialogWnd", 200);
      SetTimer(dialog->hwnd(), 1, 50, &NoteAndClose);
      return dialog;
    };
    EXPECT_FALSE(owner->RunModalDialog(factory));
    ASSERT_GT(g_dialogRect.right, g_dialogRect.left);
    EXPECT_GE(g_dialogRect.left, work.left);
    EXPECT_GE(g_dialogRect.top, work.top);
    EXPECT_LE(g_dialogRect.right, work.right);
    EXPECT_LE(g_dialogRect.bottom, work.bottom);
    // Still over its owner where the work area leaves room for that.
    const UiPoint centred =
        CentreOver({c.x, c.y, c.x + ownerWidth, c.y + ownerHeight},
                   g_dialogRect.right - g_dialogRect.left, g_dialogRect.bottom - g_dialogRect.top);
    if (centred.y >= work.top &&
        centred.y + (g_dialogRect.bottom - g_dialogRect.top) <= work.bottom)
      EXPECT_EQ(g_dialogRect.top, centred.y);
  }
}

// Asking for the dialog again while it runs brings the open one back instead
// of making a second. The request comes from a timer of the dialog, which the
// modal loop dispatches.
TestView* g_owner = nullptr;
int g_secondFactoryCalls = 0;
bool g_secondResult = true;
HWND g_openDuringSecond = nullptr;

void CALLBACK AskAgain(HWND dialog, UINT, UINT_PTR id, DWORD) {
  KillTimer(dialog, id);
  g_secondResult = g_owner->RunModalDialog([](HWND, IResourceMgr*) {
    ++g_secondFactoryCalls;
    return std::unique_ptr<IBaseWindow>();
  });
  g_openDuringSecond = g_owner->openDialog();
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  PostMessageW(dialog, WM_QUIT, 0, 0);
}

TEST_F(ViewWindowTest, SecondRequestBringsTheOpenDialogBack) {
  TestView* owner = MakeWindow(false, PageScheme(), nullptr, L"PelmarModalOwnerWnd");
  g_owner = owner;
  HWND dialogHwnd = nullptr;
  auto factory = [&](HWND parent, IResourceMgr*) -> std::unique_ptr<IBaseWindow> {
    auto dialog = std::make_unique<ViewWindow>(100, parent, L"PelmarModalDialogWnd", 200);
    dialogHwnd = dialog->hwnd();
    SetTimer(dialog->hwnd(), 1, 50, &AskAgain);
    return dialog;
  };
  EXPECT_FALSE(owner->RunModalDialog(factory));
  EXPECT_EQ(0, g_secondFactoryCalls);
  EXPECT_FALSE(g_secondResult);
  EXPECT_EQ(dialogHwnd, g_openDuringSecond);  // still the first dialog
  EXPECT_EQ(nullptr, owner->openDialog());
  g_owner = nullptr;
}

}  // namespace
}  // namespace pelmar
