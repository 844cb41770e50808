#include "pages/error_view.h"

#include "ui/window_messages.h"

namespace pelmar {

ErrorView::ErrorView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DialogView(hwnd, resources, context, ErrorLook()) {}

void ErrorView::OnButton(int id) {
  const char* page = mode() == 1 ? "0007" : "0008";
  UINT flag = 0;
  if (id == dialog_ids::kLeft) {
    ReportClick(page, "0001");
    flag = WM_DIALOG_RETRY;
  } else if (id == dialog_ids::kRight) {
    ReportClick(page, "0002");
  }
  EndThroughWindow(flag);
}

ErrorWindow::ErrorWindow(HWND parent, IResourceMgr* resources, const PageContext& context, int mode)
    : DialogWindow(parent, L"ProgressChildCloseWnd") {
  auto* view = SetView(std::make_unique<ErrorView>(hwnd(), resources, context));
  view->SetMode(mode);
}

}  // namespace pelmar
