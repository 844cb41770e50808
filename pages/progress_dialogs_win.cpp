#include "pages/progress_dialogs.h"

#include "pages/download_reminder_view.h"
#include "pages/error_view.h"
#include "pages/install_reminder_view.h"
#include "ui/base_window.h"

namespace pelmar {
namespace {

ProgressDialogFactories& Overrides() {
  static ProgressDialogFactories overrides;
  return overrides;
}

}  // namespace

IBaseView::DialogFactory ProgressErrorDialog(int errorType) {
  if (Overrides().error) return Overrides().error(errorType);
  // The error type is the dialog's mode: it picks the reported page code.
  return [errorType](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(new ErrorWindow(parent, resources, errorType));
  };
}

IBaseView::DialogFactory DownloadReminderDialog(const std::string& downloadUrl) {
  if (Overrides().downloadReminder) return Overrides().downloadReminder(downloadUrl);
  return [downloadUrl](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(new DownloadReminderWindow(parent, resources, downloadUrl));
  };
}

IBaseView::DialogFactory InstallReminderDialog(const std::wstring& setupProgram) {
  if (Overrides().installReminder) return Overrides().installReminder(setupProgram);
  return [setupProgram](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(new InstallReminderWindow(parent, resources, setupProgram));
  };
}

void SetProgressDialogsForTesting(const ProgressDialogFactories& factories) {
  Overrides() = factories;
}

}  // namespace pelmar
