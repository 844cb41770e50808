#include "pages/progress_dialogs.h"

#include "ui/base_window.h"

namespace pelmar {
namespace {

ProgressDialogFactories& Overrides() {
  static ProgressDialogFactories overrides;
  return overrides;
}

// The dialog classes of the page family are not part of this tree yet; until
// they are, no dialog window is made and the page acts as if it was closed
// without a choice. Each factory below is the one place to wire its class.
IBaseView::DialogFactory NoDialog() {
  return [](HWND, IResourceMgr*) { return std::unique_ptr<IBaseWindow>(); };
}

}  // namespace

IBaseView::DialogFactory ProgressErrorDialog(int errorType) {
  if (Overrides().error) return Overrides().error(errorType);
  return NoDialog();
}

IBaseView::DialogFactory DownloadReminderDialog(const std::string& downloadUrl) {
  if (Overrides().downloadReminder) return Overrides().downloadReminder(downloadUrl);
  return NoDialog();
}

IBaseView::DialogFactory InstallReminderDialog(const std::wstring& setupProgram) {
  if (Overrides().installReminder) return Overrides().installReminder(setupProgram);
  return NoDialog();
}

void SetProgressDialogsForTesting(const ProgressDialogFactories& factories) {
  Overrides() = factories;
}

}  // namespace pelmar
