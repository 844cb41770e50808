// What a screen reader gets from the pages: the tree read through the
// system's accessibility interface (AccessibleObjectFromWindow and the
// IAccessible it hands back), as an assistive tool in this process reads it.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

#include "base/app_context.h"
#include "base/text_convert.h"
#include "pages/page_test_fixture.h"
#include "pages/begin_view.h"
#include "pages/custome_view.h"
#include "pages/page_declaration.h"
#include "pages/progress_view.h"
#include "pages/warn_view.h"
#include "ui/base_window.h"
#include "ui/checkbox_resource.h"
#include "ui/progress_resource.h"
#include "ui/resource_manager.h"
#include "ui/ui_test_support.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// One child as read back.
struct Heard {
  std::wstring name;
  long role = 0;
  long state = 0;
  std::wstring value;
  RECT box{};

  std::string Text() const { return "\"" + Utf8FromWide(name) + "\" role " + std::to_string(role); }
};

std::wstring Take(BSTR text) {
  std::wstring s = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return s;
}

VARIANT Child(long id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// The client object of `window`, through the system.
IAccessible* ClientOf(HWND window) {
  IAccessible* acc = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(&acc)))) {
    return nullptr;
  }
  return acc;
}

std::vector<Heard> Read(IAccessible* acc) {
  std::vector<Heard> heard;
  long count = 0;
  if (FAILED(acc->get_accChildCount(&count))) return heard;
  for (long id = 1; id <= count; ++id) {
    Heard h;
    const VARIANT child = Child(id);
    BSTR name = nullptr;
    acc->get_accName(child, &name);
    h.name = Take(name);
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    if (SUCCEEDED(acc->get_accRole(child, &role)) && role.vt == VT_I4) h.role = role.lVal;
    if (SUCCEEDED(acc->get_accState(child, &state)) && state.vt == VT_I4) h.state = state.lVal;
    BSTR value = nullptr;
    if (acc->get_accValue(child, &value) == S_OK) h.value = Take(value);
    long x = 0, y = 0, w = 0, hgt = 0;
    if (SUCCEEDED(acc->accLocation(&x, &y, &w, &hgt, child))) h.box = {x, y, x + w, y + hgt};
    heard.push_back(h);
  }
  return heard;
}

const Heard* Named(const std::vector<Heard>& heard, const std::wstring& name) {
  for (const Heard& h : heard) {
    if (h.name == name) return &h;
  }
  return nullptr;
}

class PageWindow : public ViewWindow {
 public:
  PageWindow(unsigned w, unsigned h) : ViewWindow(h, nullptr, L"PelmarAccessibleWnd", w) {}
};

// Hosts the progress page the way the main window does during its step.
class ProgressHost : public IBaseWindow {
 public:
  ProgressHost() : IBaseWindow(400, nullptr, L"PelmarAccessibleProgressWnd", 600) {}
  ~ProgressHost() override { view.reset(); }
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    if (msg == WM_ERASEBKGND || msg == WM_CLOSE) return 0;
    if (view) return view->HandleMessage(msg, wparam, lparam);
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
  std::unique_ptr<CProgressView> view;
};

class AccessibleTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CreateAppContext();
    manager_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
  }
  void TearDown() override {
    manager_.reset();
    DeleteAppContext();
    CoUninitialize();
  }

  test::ScratchDir cache_;
  RecordingEventSink log_;
  std::unique_ptr<CResourceManager> manager_;
};

TEST_F(AccessibleTreeTest, MainPageNamesEveryWidgetAndCaption) {
  PageWindow window(600, 400);
  auto* view = window.SetView(
      std::make_unique<CBeginView>(window.hwnd(), manager_.get(), TestPageContext()));
  IAccessible* acc = ClientOf(window.hwnd());
  ASSERT_NE(acc, nullptr);
  const std::vector<Heard> heard = Read(acc);
  std::string all;
  for (const Heard& h : heard) all += h.Text() + "; ";
  SCOPED_TRACE(all);
  // In list order: close, title, install, agreement box, link, custom link.
  const struct {
    const wchar_t* name;
    long role;
  } expected[] = {
      {L"关闭", ROLE_SYSTEM_PUSHBUTTON},     {L"Morvantile", ROLE_SYSTEM_STATICTEXT},
      {L"立即安装", ROLE_SYSTEM_PUSHBUTTON}, {L"我已阅读并同意", ROLE_SYSTEM_CHECKBUTTON},
      {L"用户使用协议", ROLE_SYSTEM_LINK},   {L"自定义安装", ROLE_SYSTEM_LINK},
  };
  for (const auto& e : expected) {
    const Heard* h = Named(heard, e.name);
    ASSERT_NE(h, nullptr) << Utf8FromWide(e.name);
    EXPECT_EQ(h->role, e.role) << Utf8FromWide(e.name);
  }
  // The hidden hint is not read; nothing unnamed is.
  EXPECT_EQ(Named(heard, L"（勾选已阅读用户协议后才能安装）"), nullptr);
  for (const Heard& h : heard) EXPECT_FALSE(h.name.empty()) << h.Text();

  // States: the box is checked and focusable; install is available.
  const Heard* box = Named(heard, L"我已阅读并同意");
  EXPECT_TRUE(box->state & STATE_SYSTEM_CHECKED);
  EXPECT_TRUE(box->state & STATE_SYSTEM_FOCUSABLE);
  EXPECT_FALSE(Named(heard, L"立即安装")->state & STATE_SYSTEM_UNAVAILABLE);
  // Location: the install button's box on the screen, from the page's layout.
  RECT w{};
  GetWindowRect(window.hwnd(), &w);
  const PageDeclaration page = BeginPageDeclaration();
  const std::vector<UiRect> slots = LayOutDeclaration(page, 600, 400);
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].kind != DeclKind::kButton || page[i].id != begin_ids::kInstall) continue;
    const RECT& b = Named(heard, L"立即安装")->box;
    EXPECT_EQ(b.left - w.left, view->At(static_cast<int>(i))->rect().left);
    EXPECT_EQ(b.right - b.left, slots[i].right - slots[i].left);
  }

  // Unticking the box (the click the page handles) shows in the tree: the
  // box is no longer checked, install is unavailable, the hint is read.
  int boxIndex = -1;
  for (int i = 0; i < view->ResourceCount(); ++i) {
    if (view->At(i)->type() == kTypeCheckbox) boxIndex = i;
  }
  view->HandleMessage(WM_RESOURCE_CLICKED, static_cast<WPARAM>(boxIndex), 0);
  const std::vector<Heard> after = Read(acc);
  EXPECT_FALSE(Named(after, L"我已阅读并同意")->state & STATE_SYSTEM_CHECKED);
  EXPECT_TRUE(Named(after, L"立即安装")->state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_NE(Named(after, L"（勾选已阅读用户协议后才能安装）"), nullptr);

  // Tab moves the focus; the tree says which child has it.
  SetFocus(window.hwnd());
  view->HandleMessage(WM_KEYDOWN, VK_TAB, 0);
  VARIANT focus;
  VariantInit(&focus);
  ASSERT_EQ(acc->get_accFocus(&focus), S_OK);
  ASSERT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(Read(acc)[static_cast<size_t>(focus.lVal - 1)].name, L"关闭");
  EXPECT_TRUE(Read(acc)[static_cast<size_t>(focus.lVal - 1)].state & STATE_SYSTEM_FOCUSED);
  acc->Release();
}

TEST_F(AccessibleTreeTest, CustomPageReadsThePathField) {
  PageWindow window(600, 400);
  auto* view = window.SetView(
      std::make_unique<CCustomeView>(window.hwnd(), manager_.get(), TestPageContext()));
  view->SetInstallPath(L"C:\\Games");
  IAccessible* acc = ClientOf(window.hwnd());
  ASSERT_NE(acc, nullptr);
  const std::vector<Heard> heard = Read(acc);
  std::string all;
  for (const Heard& h : heard) all += h.Text() + "; ";
  SCOPED_TRACE(all);
  const Heard* field = nullptr;
  for (const Heard& h : heard) {
    if (h.role == ROLE_SYSTEM_TEXT) field = &h;
  }
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->name, L"安装路径");
  EXPECT_EQ(field->value, L"C:\\Games\\Pelmar\\Morvantile");
  EXPECT_TRUE(field->state & STATE_SYSTEM_FOCUSABLE);
  const struct {
    const wchar_t* name;
    long role;
  } expected[] = {
      {L"返回", ROLE_SYSTEM_LINK},
      {L"浏览", ROLE_SYSTEM_LINK},
      {L"立即安装", ROLE_SYSTEM_PUSHBUTTON},
      {L"同意并参加用户体验改善计划", ROLE_SYSTEM_CHECKBUTTON},
      {L"自定义安装", ROLE_SYSTEM_STATICTEXT},
  };
  for (const auto& e : expected) {
    const Heard* h = Named(heard, e.name);
    ASSERT_NE(h, nullptr) << Utf8FromWide(e.name);
    EXPECT_EQ(h->role, e.role) << Utf8FromWide(e.name);
  }
  acc->Release();
}

TEST_F(AccessibleTreeTest, DialogAndProgressBar) {
  {
    WarnWindow dialog(nullptr, manager_.get(), TestPageContext(), WarnView::kModeMainPage);
    IAccessible* acc = ClientOf(dialog.hwnd());
    ASSERT_NE(acc, nullptr);
    const std::vector<Heard> heard = Read(acc);
    std::string all;
    for (const Heard& h : heard) all += h.Text() + "; ";
    SCOPED_TRACE(all);
    for (const wchar_t* name : {L"确认", L"取消", L"关闭"}) {
      const Heard* h = Named(heard, name);
      ASSERT_NE(h, nullptr) << Utf8FromWide(name);
      EXPECT_EQ(h->role, ROLE_SYSTEM_PUSHBUTTON) << Utf8FromWide(name);
    }
    acc->Release();
  }
  ProgressHost host;
  host.view = std::make_unique<CProgressView>(host.hwnd(), manager_.get(), TestPageContext());
  IAccessible* acc = ClientOf(host.hwnd());
  ASSERT_NE(acc, nullptr);
  CProgressResource* bar = nullptr;
  for (int i = 0; i < host.view->ResourceCount(); ++i) {
    if (host.view->At(i)->type() == kTypeProgress) {
      bar = static_cast<CProgressResource*>(host.view->At(i));
    }
  }
  ASSERT_NE(bar, nullptr);
  for (unsigned percent : {0u, 42u, 100u}) {
    bar->SetPercent(percent);
    const Heard* read = nullptr;
    const std::vector<Heard> heard = Read(acc);
    for (const Heard& h : heard) {
      if (h.role == ROLE_SYSTEM_PROGRESSBAR) read = &h;
    }
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->value, std::to_wstring(percent) + L"%");
  }
  EXPECT_NE(Named(Read(acc), L"隐藏窗口"), nullptr);
  acc->Release();
}

}  // namespace
}  // namespace pelmar
