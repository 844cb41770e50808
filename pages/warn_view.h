#pragma once

#include "pages/dialog_view.h"

namespace pelmar {

// The cancel confirmation: "确认" ends the installer (the owner acts on the
// confirmed flag), "取消" and the close button go on.
class WarnView : public DialogView {
 public:
  static constexpr int kModeMainPage = 1;    // opened by the main page
  static constexpr int kModeCustomPage = 2;  // opened by the custom page

  WarnView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

 protected:
  void OnButton(int id) override;
};

// Its window: "BeginChildCloseWnd" for the main page, "CustomeChildCloseWnd"
// for the custom page.
class WarnWindow : public DialogWindow {
 public:
  WarnWindow(HWND parent, IResourceMgr* resources, const PageContext& context, int mode);
  static const wchar_t* ClassNameFor(int mode);
};

}  // namespace pelmar
