#include "pages/install_reminder_view.h"

#include <shellapi.h>

namespace pelmar {

InstallReminderView::InstallReminderView(HWND hwnd, IResourceMgr* resources,
                                         const PageContext& context)
    : DialogView(hwnd, resources, context, InstallReminderLook()) {}

void InstallReminderView::OnButton(int id) {
  if (id == dialog_ids::kLeft) {
    ReportClick("0011", "0001");
    // A failure to start the setup program is not reported.
    ShellExecuteW(hwnd_, L"open", path_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  } else if (id == dialog_ids::kRight) {
    ReportClick("0011", "0002");
  }
  EndThroughThread();
}

InstallReminderWindow::InstallReminderWindow(HWND parent, IResourceMgr* resources,
                                             const PageContext& context, const std::wstring& path)
    : DialogWindow(parent, L"ProgressIReminderWnd") {
  auto* view = SetView(std::make_unique<InstallReminderView>(hwnd(), resources, context));
  view->SetFilePath(path);
}

}  // namespace pelmar
