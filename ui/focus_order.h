#pragma once

#include <vector>

#include "ui/view_geometry.h"

namespace pelmar {

// What the keyboard needs to know of one resource of a view.
struct FocusCandidate {
  int index = 0;  // in the view's list
  int type = 0;   // resource type (button, check box, edit, ...)
  UiRect rect;
  bool visible = true;
  bool enabled = true;  // buttons: not in the disabled state
};

// Whether the keyboard can reach the candidate: a visible button that is not
// disabled, a visible check box, or the visible edit field.
bool TakesKeyboardFocus(const FocusCandidate& c);

// The list indices the Tab key visits, in reading order: rows from top to
// bottom (a widget whose vertical centre lies inside the first widget of a
// row joins that row), each row from left to right.
std::vector<int> FocusOrder(const std::vector<FocusCandidate>& candidates);

// The index after (forward) or before `current` in `order`, wrapping; from
// nothing focused (or a widget no longer in the order) the first or the
// last. -1 when the order is empty.
int NextFocus(const std::vector<int>& order, int current, bool forward);

enum class KeyName { kTab, kEnter, kSpace, kEscape, kOther };

// The page's own buttons for keys that act without focus.
struct KeyRoles {
  int mainIndex = -1;   // pressed by Enter when no button has the focus
  int closeIndex = -1;  // pressed by Esc
  // Without a close button Esc asks the window to close (the same question
  // the close button asks); pages that must not close say false.
  bool escapeClosesWindow = false;
};

struct KeyOutcome {
  enum Kind { kNone, kMoveFocus, kPress, kCloseWindow };
  Kind kind = kNone;
  int index = -1;  // the widget to focus or press
};

// What a key does: Tab and Shift+Tab move the focus; Enter presses the
// focused button, else the main button; Space presses the focused button or
// check box; Esc presses the close button, or closes the window where
// `roles` allow it. Disabled or hidden buttons are never pressed.
KeyOutcome ResolveKey(KeyName key, bool shift, const std::vector<FocusCandidate>& candidates,
                      int focused, const KeyRoles& roles);

}  // namespace pelmar
