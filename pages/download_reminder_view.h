#pragma once

#include <string>

#include "pages/dialog_view.h"

namespace pelmar {

// Offers the manual download: "确认" opens the download address through the
// SDK; any click ends the owner's loop with the thread's quit message.
class DownloadReminderView : public DialogView {
 public:
  DownloadReminderView(HWND hwnd, IResourceMgr* resources, const PageContext& context);
  void SetDownloadAddress(const std::string& url) { url_ = url; }

 protected:
  void OnButton(int id) override;

 private:
  std::string url_;
};

// Window class "ProgressDReminderWnd".
class DownloadReminderWindow : public DialogWindow {
 public:
  DownloadReminderWindow(HWND parent, IResourceMgr* resources, const PageContext& context,
                         const std::string& url);
};

}  // namespace pelmar
