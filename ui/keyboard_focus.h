#pragma once

#include <windows.h>

#include <vector>

#include "ui/focus_order.h"

namespace pelmar {

class IBaseView;

// The keyboard of one view: which widget has the focus, the focus mark the
// skin draws around it, and what Tab, Enter, Space and Esc do (see
// ResolveKey). A key presses a widget by posting the same WM_RESOURCE_CLICKED
// a mouse click posts, so the page runs the same action and reports the same
// events. User-interface thread only.
class CKeyboardFocus {
 public:
  explicit CKeyboardFocus(IBaseView* view) : view_(view) {}

  // The page's main button (Enter) and close button (Esc), by resource id;
  // -1 for none. Without a close button, `escapeClosesWindow` lets Esc send
  // the window its close message.
  void SetRoles(int mainId, int closeId, bool escapeClosesWindow);
  // A key pressed in the view's window (or passed on by its edit field);
  // true when the key was one of the keyboard's.
  bool OnKeyDown(WPARAM key);
  // The list index of the focused widget, or -1 before the keyboard was used.
  int focused() const;
  // Gives the widget at `index` the focus: the mark moves, an edit field
  // takes the window focus, and screen readers are told.
  void MoveTo(int index);
  // The focus mark, drawn over the widgets.
  void DrawMark(HDC dc) const;
  std::vector<FocusCandidate> Candidates() const;
  int mainIndex() const { return ButtonIndex(mainId_); }
  int closeIndex() const { return ButtonIndex(closeId_); }

 private:
  int ButtonIndex(int id) const;
  void Press(int index) const;

  IBaseView* view_;
  int focused_ = -1;
  int mainId_ = -1;
  int closeId_ = -1;
  bool escapeClosesWindow_ = false;
};

}  // namespace pelmar
