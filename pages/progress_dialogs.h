#pragma once

#include <string>

#include "pages/page_context.h"
#include "ui/base_view.h"

namespace pelmar {

// The dialogs the progress page runs, made in one place.

// The network error dialog with its retry choice; `errorType` 1 for a failed
// download, 2 for a failed setup run.
// `context` outlives the dialogs.
IBaseView::DialogFactory ProgressErrorDialog(const PageContext& context, int errorType);
// The manual download offer, given the download address.
IBaseView::DialogFactory DownloadReminderDialog(const PageContext& context,
                                                const std::string& downloadUrl);
// The manual install offer, given the downloaded setup program's path.
IBaseView::DialogFactory InstallReminderDialog(const PageContext& context,
                                               const std::wstring& setupProgram);

// Tests: replace the three factories (any left empty keeps its own).
struct ProgressDialogFactories {
  std::function<IBaseView::DialogFactory(int)> error;
  std::function<IBaseView::DialogFactory(const std::string&)> downloadReminder;
  std::function<IBaseView::DialogFactory(const std::wstring&)> installReminder;
};
void SetProgressDialogsForTesting(const ProgressDialogFactories& factories);

}  // namespace pelmar
