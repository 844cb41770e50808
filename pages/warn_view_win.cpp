#include "pages/warn_view.h"

#include "ui/window_messages.h"

namespace pelmar {

WarnView::WarnView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DialogView(hwnd, resources, context, WarnLook()) {}

void WarnView::OnButton(int id) {
  const char* page = mode() == kModeMainPage ? "0005" : "0006";
  UINT flag = 0;
  if (id == dialog_ids::kLeft) {
    ReportClick(page, "0001");
    flag = WM_DIALOG_CONFIRMED;
  } else if (id == dialog_ids::kRight) {
    ReportClick(page, "0002");
  }
  EndThroughWindow(flag);
}

const wchar_t* WarnWindow::ClassNameFor(int mode) {
  return mode == WarnView::kModeMainPage ? L"BeginChildCloseWnd" : L"CustomeChildCloseWnd";
}

WarnWindow::WarnWindow(HWND parent, IResourceMgr* resources, const PageContext& context, int mode)
    : DialogWindow(parent, ClassNameFor(mode)) {
  auto* view = SetView(std::make_unique<WarnView>(hwnd(), resources, context));
  view->SetMode(mode);
}

}  // namespace pelmar
