#pragma once

#include <windows.h>

#include "pages/declared_view.h"
#include "ui/base_window.h"

namespace pelmar {

// The shared 400 x 200 dialog: title bar, icon, headline, grey body, a grey
// and a blue button. Each member gives its look and what its buttons do.
// Dialog windows paint layered (per-pixel alpha for the rounded corners) and
// cannot be dragged.
class DialogView : public DeclaredView {
 public:
  DialogView(HWND hwnd, IResourceMgr* resources, const PageContext& context,
             const DialogLook& look);

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

  // Set by the creator before the dialog runs.
  void SetMode(int mode) { mode_ = mode; }
  int mode() const { return mode_; }

 protected:
  bool ApplyStateRule(int index, UINT msg) override;
  // A button (id 1 left, 2 right, 3 close) was clicked.
  virtual void OnButton(int id) = 0;

  // Ends the owner's loop through this dialog's own window: `flag`
  // (WM_DIALOG_CONFIRMED, WM_DIALOG_RETRY, or 0 for none), then hide, close
  // and quit.
  void EndThroughWindow(UINT flag);
  // Ends the owner's loop with the thread's quit message.
  void EndThroughThread();
  void ReportClick(const char* page, const char* element);

 private:
  static MouseScheme Scheme();
  int mode_ = 1;
};

// A 400 x 200 tool window over its owner, holding one dialog view.
class DialogWindow : public ViewWindow {
 public:
  DialogWindow(HWND parent, const wchar_t* className) : ViewWindow(200, parent, className, 400) {}
};

}  // namespace pelmar
