// Draws a sample page and a sample dialog with every kind of widget and saves
// them as PNG files in "<build>/ui_screenshots" for a person to look at: the
// off-screen drawing, and what the X display shows of the real windows.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "base/app_context.h"
#include "ui/base_view.h"
#include "ui/base_window.h"
#include "ui/button_resource.h"
#include "ui/checkbox_resource.h"
#include "base/win/gdiplus_include.h"
#include "ui/layout_resource.h"
#include "ui/progress_resource.h"
#include "ui/resource_manager.h"
#include "ui/spacer_resource.h"
#include "ui/text_resource.h"
#include "ui/ui_test_support.h"

namespace pelmar {
namespace {

class SampleView : public IBaseView {
 public:
  SampleView(HWND hwnd, IResourceMgr* mgr, bool layered)
      : IBaseView(hwnd, mgr), layered_(layered) {}
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    if (msg == WM_PAINT) {
      ++paints;
      return layered_ ? LayeredPaint() : DoubleBufferedPaint();
    }
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
  int paints = 0;

 private:
  bool layered_;
};

WidgetStyleSet Link(bool underline, int hAlign) {
  WidgetStyleSet s;
  const Argb text[4] = {0xFF4D4D4D, 0xFF084AF4, 0xFF90ADFA, 0xFF4D4D4D};
  for (int i = 0; i < 4; ++i) {
    s[i].textColor = text[i];
    s[i].fillColor = 0x00FFFFFF;
    s[i].borderColor = 0x00FFFFFF;
    s[i].fontSize = 14;
    s[i].underline = underline && i < 3;
    s[i].hAlign = hAlign;
    s[i].iconPlacement = 1;
  }
  return s;
}

// A page in the installer's look: logo, title, install button, agreement row,
// progress bar, close button.
void BuildSamplePage(IBaseView* v, IResourceMgr* m, int w, int h) {
  auto* root = v->Add(std::make_unique<CLayoutResource>(kLayoutVertical));
  root->SetMargins(20, 24, 20, 24);
  WidgetStyleSet bg;
  bg[0].fillColor = 0xFFFFFFFF;
  bg[0].borderWidth = 1;
  bg[0].borderColor = 0xFFC0C0C0;
  auto* page = v->Add(std::make_unique<CImageResource>(0, &bg, kTypeImage));
  page->SetPicture(m->GetImage(L"main_bg.png"));
  root->SetBackground(page);

  auto* bar = v->Add(std::make_unique<CLayoutResource>(kLayoutHorizontal));
  auto* barSpace = v->Add(std::make_unique<CSpacerResource>());
  WidgetStyleSet clear;
  for (int i = 0; i < 3; ++i) {
    clear[i].fillColor = 0x00FFFFFF;
    clear[i].borderColor = 0x00FFFFFF;
  }
  auto* close = v->Add(std::make_unique<CButtonResource>(2, L"", &clear));
  close->SetAspectRatio(1.0);
  close->SetStateIcon(0, m->GetImage(L"global_btn_close_normal.png"));
  close->SetStateIcon(1, m->GetImage(L"global_btn_close_hover.png"));
  bar->AddChild(barSpace, 27);
  bar->AddChild(close, 1);
  auto* gap = v->Add(std::make_unique<CSpacerResource>());
  auto* logoArea = v->Add(std::make_unique<CLayoutResource>(kLayoutVertical));
  auto* logo = v->Add(std::make_unique<CImageResource>(1, nullptr, kTypeImageOpaque));
  logo->SetPicture(m->GetImage(L"logo.png"));
  WidgetStyleSet title;
  title[0].textColor = 0xFF1A1A1A;
  title[0].fontSize = 24;
  title[0].hAlign = kAlignCentre;
  auto* name = v->Add(std::make_unique<CTextResource>(8, &title, L"Morvantile"));
  logoArea->AddChild(logo, 15);
  logoArea->AddChild(name, 4);

  auto* row = v->Add(std::make_unique<CLayoutResource>(kLayoutHorizontal));
  WidgetStyleSet install;
  const Argb fills[4] = {0xFF084AF4, 0xFF5E89F8, 0xFF90ADFA, 0xFFD8D8D8};
  for (int i = 0; i < 4; ++i) {
    install[i].textColor = 0xFFFFFFFF;
    install[i].fillColor = fills[i];
    install[i].cornerRadius = 2;
    install[i].hAlign = kAlignCentre;
  }
  auto* left = v->Add(std::make_unique<CSpacerResource>());
  auto* button = v->Add(std::make_unique<CButtonResource>(3, L"立即安装", &install));
  button->SetAspectRatio(3.5);
  auto* right = v->Add(std::make_unique<CSpacerResource>());
  row->AddChild(left, 25);
  row->AddChild(button, 21);
  row->AddChild(right, 25);

  auto* progress = v->Add(std::make_unique<CProgressResource>(nullptr));
  progress->SetMargins(-60, -6);
  progress->SetPercent(42);

  auto* agree = v->Add(std::make_unique<CLayoutResource>(kLayoutHorizontal));
  agree->SetMargins(0, 10, 0, 0);
  WidgetStyleSet check = Link(false, kAlignNear);
  for (int i = 0; i < 4; ++i) check[i].iconPlacement = 0;
  auto* box = v->Add(std::make_unique<CCheckboxResource>(
      6, &check, L"我已阅读并同意", m->GetImage(L"main_checkbox_select.png"),
      m->GetImage(L"main_checkbox_deselect.png")));
  WidgetStyleSet terms = Link(true, kAlignNear);
  auto* link = v->Add(std::make_unique<CButtonResource>(5, L"用户使用协议", &terms));
  auto* filler = v->Add(std::make_unique<CSpacerResource>());
  WidgetStyleSet custom = Link(false, kAlignFar);
  auto* customLink = v->Add(std::make_unique<CButtonResource>(4, L"自定义安装", &custom));
  customLink->SetStateIcon(0, m->GetImage(L"main_word_custom_normal.png"));
  agree->AddChild(box, 12);
  agree->AddChild(link, 10);
  agree->AddChild(filler, 20);
  agree->AddChild(customLink, 10);

  root->AddChild(bar, 4);
  root->AddChild(gap, 3);
  root->AddChild(logoArea, 42);
  root->AddChild(row, 16);
  root->AddChild(progress, 4);
  root->AddChild(agree, 8);
  ASSERT_TRUE(root->SetRect(0, 0, w, h));
}

void BuildSampleDialog(IBaseView* v, IResourceMgr* m, int w, int h) {
  auto* root = v->Add(std::make_unique<CLayoutResource>(kLayoutVertical));
  root->SetMargins(24, 20, 24, 20);
  WidgetStyleSet bg;
  bg[0].fillColor = 0xFFFFFFFF;
  bg[0].cornerRadius = 10;
  bg[0].borderWidth = 1;
  bg[0].borderColor = 0xFFC0C0C0;
  auto* page = v->Add(std::make_unique<CImageResource>(0, &bg, kTypeImage));
  root->SetBackground(page);
  auto* top = v->Add(std::make_unique<CLayoutResource>(kLayoutHorizontal));
  auto* icon = v->Add(std::make_unique<CImageResource>(3, nullptr, kTypeImageOpaque));
  icon->SetPicture(m->GetImage(L"inquire_icon.png"));
  WidgetStyleSet head;
  head[0].textColor = 0xFF1A1A1A;
  head[0].fontSize = 18;
  head[0].bold = true;
  auto* title = v->Add(std::make_unique<CTextResource>(5, &head, L"确定要退出安装吗？"));
  top->AddChild(icon, 2);
  top->AddChild(title, 8);
  WidgetStyleSet body;
  body[0].textColor = 0xFF4D4D4D;
  body[0].fontSize = 13;
  body[0].vAlign = kAlignNear;
  auto* text = v->Add(std::make_unique<CTextResource>(
      5, &body, L"检测到网络异常，必要组件无法加载，请检查网络后重试。"));
  auto* buttons = v->Add(std::make_unique<CLayoutResource>(kLayoutHorizontal));
  buttons->SetSpacing(12);
  auto* space = v->Add(std::make_unique<CSpacerResource>());
  WidgetStyleSet grey;
  for (int i = 0; i < 4; ++i) {
    grey[i].textColor = 0xFF4D4D4D;
    grey[i].fillColor = 0xFFFFFFFF;
    grey[i].borderWidth = 1;
    grey[i].cornerRadius = 2;
    grey[i].hAlign = kAlignCentre;
  }
  auto* cancel = v->Add(std::make_unique<CButtonResource>(2, L"取消", &grey));
  auto* ok = v->Add(std::make_unique<CButtonResource>(1, L"确认", nullptr));
  buttons->AddChild(space, 10);
  buttons->AddChild(cancel, 5);
  buttons->AddChild(ok, 5);
  root->AddChild(top, 5);
  root->AddChild(text, 6);
  root->AddChild(buttons, 4);
  ASSERT_TRUE(root->SetRect(0, 0, w, h));
}

std::wstring ShotFolder() {
  const std::wstring folder = test::ExecutableFolder() + L"\\..\\ui_screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::string UnixPath(const std::wstring& windowsPath) {
  // Z: is the Unix root in the prefix.
  std::string s;
  for (wchar_t c : windowsPath.substr(2)) s.push_back(c == L'\\' ? '/' : static_cast<char>(c));
  return s;
}

// Non-white pixels of a saved PNG, read back through GDI+.
int InkOf(const std::wstring& png) {
  Gdiplus::Bitmap bitmap(png.c_str());
  if (bitmap.GetLastStatus() != Gdiplus::Ok) return -1;
  int ink = 0;
  for (UINT y = 0; y < bitmap.GetHeight(); y += 2) {
    for (UINT x = 0; x < bitmap.GetWidth(); x += 2) {
      Gdiplus::Color c;
      bitmap.GetPixel(x, y, &c);
      if (c.GetR() < 200 || c.GetG() < 200) ++ink;
    }
  }
  return ink;
}

uint32_t PixelOf(const std::wstring& png, int x, int y) {
  Gdiplus::Bitmap bitmap(png.c_str());
  Gdiplus::Color c;
  if (bitmap.GetLastStatus() != Gdiplus::Ok || bitmap.GetPixel(x, y, &c) != Gdiplus::Ok) return 0;
  return c.GetValue();
}

TEST(SamplePageScreenshotTest, SavesPagesAndDialogs) {
  CreateAppContext();
  test::ScratchDir cache;
  RecordingEventSink log;
  {
    CResourceManager mgr(cache.path(), &log);
    const std::wstring folder = ShotFolder();
    struct Shot {
      const wchar_t* name;
      unsigned w, h;
      bool layered;
      void (*build)(IBaseView*, IResourceMgr*, int, int);
    } shots[] = {{L"sample_page", 600, 400, false, &BuildSamplePage},
                 {L"sample_dialog", 400, 200, true, &BuildSampleDialog}};
    for (const Shot& s : shots) {
      SCOPED_TRACE(std::string(s.name, s.name + wcslen(s.name)));
      ViewWindow window(s.h, nullptr, L"PelmarSampleWnd", s.w);
      RECT client{};
      GetClientRect(window.hwnd(), &client);
      auto* view = window.SetView(std::make_unique<SampleView>(window.hwnd(), &mgr, s.layered));
      s.build(view, &mgr, client.right, client.bottom);

      // The off-screen drawing.
      test::Dib dib(client.right, client.bottom, s.layered ? 0x00000000 : 0xFFFFFFFF);
      view->DrawAll(dib.dc());
      const std::wstring drawn = folder + L"\\" + s.name + L"_drawn.png";
      ASSERT_TRUE(dib.SavePng(drawn));
      EXPECT_GT(InkOf(drawn), 500);

      // The real window on the X display, and what lay there before it.
      RECT r{};
      GetWindowRect(window.hwnd(), &r);
      std::ostringstream region;
      region << (r.right - r.left) << "x" << (r.bottom - r.top) << "+" << r.left << "+" << r.top;
      const std::wstring behind = folder + L"\\" + s.name + L"_behind.png";
      ASSERT_TRUE(test::RunUnixCommand("import -window root -crop " + region.str() + " +repage " +
                                       UnixPath(behind)));
      view->Show(window.hwnd(), true);
      MSG msg;
      (void)test::PumpUntil([&] { return view->paints > 0; }, 1000);
      // The X server shows the painted window a moment later; nothing on
      // this side tells when, so this pause stays.
      Sleep(300);
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      const std::wstring shown = folder + L"\\" + s.name + L"_screen.png";
      ASSERT_TRUE(test::RunUnixCommand("import -window root -crop " + region.str() + " +repage " +
                                       UnixPath(shown)));
      EXPECT_GT(InkOf(shown), 500);
      // The middle is the page's white; the dialog's rounded corner lets the
      // screen behind show through (per-pixel alpha), the page's square one not.
      EXPECT_EQ(0xFFFFFFFFu, PixelOf(shown, (r.right - r.left) / 2, (r.bottom - r.top) - 12));
      if (s.layered) {
        EXPECT_EQ(PixelOf(behind, 0, 0), PixelOf(shown, 0, 0));
      } else {
        EXPECT_EQ(0xFFC0C0C0u, PixelOf(shown, 0, 0));
      }
      DeleteFileW(behind.c_str());
    }
  }
  DeleteAppContext();
}

}  // namespace
}  // namespace pelmar
