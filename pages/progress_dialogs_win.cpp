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

IBaseView::DialogFactory ProgressErrorDialog(const PageContext& context, int errorType) {
  if (Overrides().error) return Overrides().error(errorType);
  // The error type is the dialog's mode: it picks the reported page code.
  return [&context, errorType](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(new ErrorWindow(parent, resources, context, errorType));
  };
}

IBaseView::DialogFactory DownloadReminderDialog(const PageContext& context,
                                                const std::string& downloadUrl) {
  if (Overrides().downloadReminder) return Overrides().downloadReminder(downloadUrl);
  return [&context, downloadUrl](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(
        new DownloadReminderWindow(parent, resources, context, downloadUrl));
  };
}

IBaseView::DialogFactory InstallReminderDialog(const PageContext& context,
                                               const std::wstring& setupProgram) {
  if (Overrides().installReminder) return Overrides().installReminder(setupProgram);
  return [&context, setupProgram](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(
        new InstallReminderWindow(parent, resources, context, setupProgram));
  };
}

void SetProgressDialogsForTesting(const ProgressDialogFactories& factories) {
  Overrides() = factories;
}

}  // namespace pelmar
