#include "ui/edit_resource.h"

#include <gtest/gtest.h>

#include "base/app_context.h"
#include "base/pelmar_error.h"
#include "ui/base_window.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

class HostWindow : public IBaseWindow {
 public:
  HostWindow() : IBaseWindow(400, nullptr, L"PelmarEditHostWnd", 600) {}
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
};

TEST(EditResourceTest, NativeFieldInsideTheView) {
  CreateAppContext();
  {
    HostWindow host;
    CEditResource edit(host.hwnd(), nullptr);
    EXPECT_EQ(5, edit.id());
    EXPECT_EQ(kTypeEdit, edit.type());
    EXPECT_EQ(0xFF1A1A1Au, edit.Style().textColor);
    ASSERT_NE(nullptr, edit.hwnd());
    EXPECT_EQ(host.hwnd(), GetParent(edit.hwnd()));
    EXPECT_EQ(5, GetDlgCtrlID(edit.hwnd()));
    wchar_t cls[16] = {};
    GetClassNameW(edit.hwnd(), cls, 16);
    EXPECT_STREQ(L"Edit", cls);
    EXPECT_EQ(static_cast<LONG_PTR>(0x50A00080),
              GetWindowLongPtrW(edit.hwnd(), GWL_STYLE) & 0x50A00080);
    EXPECT_TRUE(GetWindowLongPtrW(edit.hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(&edit, GetPropW(edit.hwnd(), L"EditClassPtr"));
    EXPECT_NE(nullptr, reinterpret_cast<HFONT>(SendMessageW(edit.hwnd(), WM_GETFONT, 0, 0)));
    EXPECT_EQ(L"C:/", edit.GetText());

    // Positioned with the picture-placement rule: vertical margin 4 inward.
    edit.SetMargins(0, 4);
    ASSERT_TRUE(edit.SetRect(100, 50, 400, 80));
    RECT r{};
    GetWindowRect(edit.hwnd(), &r);
    MapWindowPoints(nullptr, host.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ((UiRect{100, 54, 400, 76}), (UiRect{r.left, r.top, r.right, r.bottom}));

    // Reading is bounded.
    edit.SetText(std::wstring(300, L'a'));
    EXPECT_EQ(260u, edit.GetText().size());
    EXPECT_EQ(10u, edit.GetText(10).size());
    EXPECT_EQ(L"", edit.GetText(0));
    edit.SetText(L"D:\\Program Files\\Morvantile");
    EXPECT_EQ(L"D:\\Program Files\\Morvantile", edit.GetText());

    // Draw shows the control.
    ShowWindow(edit.hwnd(), SW_HIDE);
    EXPECT_TRUE(edit.Draw(nullptr));
    EXPECT_TRUE(GetWindowLongPtrW(edit.hwnd(), GWL_STYLE) & WS_VISIBLE);
  }
  DeleteAppContext();
}

TEST(EditResourceTest, NoParentWindowIsAConstructionError) {
  try {
    CEditResource edit(nullptr, nullptr);
    ADD_FAILURE() << "created";
  } catch (const PelmarError& e) {
    EXPECT_STREQ("create widget error", e.what());
  }
}

}  // namespace
}  // namespace pelmar
