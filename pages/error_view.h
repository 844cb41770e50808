#pragma once

#include "pages/dialog_view.h"

namespace pelmar {

// The network error of the progress page: "立即重试" ends the owner's loop
// with WM_DIALOG_RETRY, "稍后重试" without it. Mode 1 reports page "0007",
// any other mode "0008".
class ErrorView : public DialogView {
 public:
  ErrorView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

 protected:
  void OnButton(int id) override;
};

// Window class "ProgressChildCloseWnd".
class ErrorWindow : public DialogWindow {
 public:
  ErrorWindow(HWND parent, IResourceMgr* resources, const PageContext& context, int mode);
};

}  // namespace pelmar
