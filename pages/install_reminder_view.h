#pragma once

#include <string>

#include "pages/dialog_view.h"

namespace pelmar {

// Offers the downloaded setup program for a manual install: "确认" opens it
// with the shell; any click ends the owner's loop with the thread's quit
// message.
class InstallReminderView : public DialogView {
 public:
  InstallReminderView(HWND hwnd, IResourceMgr* resources, const PageContext& context);
  void SetFilePath(const std::wstring& path) { path_ = path; }

 protected:
  void OnButton(int id) override;

 private:
  std::wstring path_;
};

// Window class "ProgressIReminderWnd".
class InstallReminderWindow : public DialogWindow {
 public:
  InstallReminderWindow(HWND parent, IResourceMgr* resources, const PageContext& context,
                        const std::wstring& path);
};

}  // namespace pelmar
