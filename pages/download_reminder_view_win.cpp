#include "pages/download_reminder_view.h"

namespace pelmar {

DownloadReminderView::DownloadReminderView(HWND hwnd, IResourceMgr* resources,
                                           const PageContext& context)
    : DialogView(hwnd, resources, context, DownloadReminderLook()) {}

void DownloadReminderView::OnButton(int id) {
  if (id == dialog_ids::kLeft) {
    ReportClick("0010", "0001");
    (void)context().urlOpener->OpenUrl(url_);  // a failure to open is not reported
  } else if (id == dialog_ids::kRight) {
    ReportClick("0010", "0002");
  }
  EndThroughThread();
}

DownloadReminderWindow::DownloadReminderWindow(HWND parent, IResourceMgr* resources,
                                               const PageContext& context, const std::string& url)
    : DialogWindow(parent, L"ProgressDReminderWnd") {
  auto* view = SetView(std::make_unique<DownloadReminderView>(hwnd(), resources, context));
  view->SetDownloadAddress(url);
}

}  // namespace pelmar
