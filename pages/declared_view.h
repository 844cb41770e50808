#pragma once

#include <windows.h>

#include <vector>

#include "pages/page_context.h"
#include "pages/page_declaration.h"
#include "pages/page_rules.h"
#include "ui/base_view.h"

namespace pelmar {

class CLayoutResource;
class CEditResource;

// A view built from a page declaration: the widgets in declaration order,
// the layouts wired, the root laid out over the window's client area. Pages
// and dialogs derive from it and add their click rules. User-interface thread
// only.
class DeclaredView : public IBaseView {
 public:
  // Raises PelmarError "create widget error" when the edit control cannot be made.
  // `context` outlives the view.
  DeclaredView(HWND hwnd, IResourceMgr* resources, const PageContext& context,
               const PageDeclaration& page);

  // The widgets' states as the portable rules see them, and back.
  std::vector<WidgetState> CaptureStates() const;
  void RestoreStates(const std::vector<WidgetState>& states);
  // The root layout over the client rectangle.
  void LayOut();
  int IdAt(int index) const;

 protected:
  // Shows the window normally, topmost, in the foreground with the focus.
  LRESULT BringToFront();
  // The messages every page answers alike, after its own cases: the mouse
  // through `scheme`, a click to OnClick, a second start's bring-to-front;
  // anything else goes to the default procedure.
  LRESULT HandlePageMessage(const MouseScheme& scheme, UINT msg, WPARAM wparam, LPARAM lparam);
  // A release over the widget at `index` (WM_RESOURCE_CLICKED).
  virtual void OnClick(int /*index*/) {}
  CEditResource* edit() const { return edit_; }
  const PageContext& context() const { return *context_; }

  CLayoutResource* root_ = nullptr;

 private:
  void Build(const PageDeclaration& page);
  const PageContext* const context_;
  CEditResource* edit_ = nullptr;
};

// The rule event of a mouse message (move, press, or the click message).
MouseEvent MouseEventOf(UINT msg);

// Hides the installer's main window and ends its message loop.
void QuitInstaller(HWND mainWindow);

}  // namespace pelmar
