#include "ui/keyboard_focus.h"

#include "ui/accessible_view.h"
#include "ui/base_view.h"
#include "ui/edit_resource.h"
#include "base/win/gdiplus_include.h"
#include "ui/image_resource.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// The mark: the pressed blue of the skin, a pixel wide per display scale,
// two pixels outside the widget.
constexpr Argb kMarkColour = 0xFF1873DE;
constexpr int kMarkGap = 2;

KeyName NameOf(WPARAM key) {
  switch (key) {
    case VK_TAB:
      return KeyName::kTab;
    case VK_RETURN:
      return KeyName::kEnter;
    case VK_SPACE:
      return KeyName::kSpace;
    case VK_ESCAPE:
      return KeyName::kEscape;
    default:
      return KeyName::kOther;
  }
}

HWND EditWindowOf(const IBaseResource* r) {
  if (r == nullptr || r->type() != kTypeEdit) return nullptr;
  return static_cast<const CEditResource*>(r)->hwnd();
}

}  // namespace

void CKeyboardFocus::SetRoles(int mainId, int closeId, bool escapeClosesWindow) {
  mainId_ = mainId;
  closeId_ = closeId;
  escapeClosesWindow_ = escapeClosesWindow;
}

int CKeyboardFocus::ButtonIndex(int id) const {
  if (id < 0) return -1;
  for (int i = 0; i < view_->ResourceCount(); ++i) {
    const IBaseResource* r = view_->At(i);
    if (r->id() == id && r->type() == kTypeButton) return i;
  }
  return -1;
}

std::vector<FocusCandidate> CKeyboardFocus::Candidates() const {
  std::vector<FocusCandidate> candidates;
  for (int i = 0; i < view_->ResourceCount(); ++i) {
    const IBaseResource* r = view_->At(i);
    const int type = r->type();
    if (type != kTypeButton && type != kTypeCheckbox && type != kTypeEdit) continue;
    const bool enabled = static_cast<const CImageResource*>(r)->state() != kStateDisabled;
    candidates.push_back({i, type, r->rect(), r->visible(), enabled});
  }
  return candidates;
}

int CKeyboardFocus::focused() const {
  // The edit field may have taken the focus by a click.
  const HWND focus = GetFocus();
  for (int i = 0; focus != nullptr && i < view_->ResourceCount(); ++i) {
    if (EditWindowOf(view_->At(i)) == focus) return i;
  }
  return focused_;
}

bool CKeyboardFocus::OnKeyDown(WPARAM key) {
  const KeyName name = NameOf(key);
  if (name == KeyName::kOther) return false;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  KeyRoles roles;
  roles.mainIndex = ButtonIndex(mainId_);
  roles.closeIndex = ButtonIndex(closeId_);
  roles.escapeClosesWindow = escapeClosesWindow_;
  const KeyOutcome out = ResolveKey(name, shift, Candidates(), focused(), roles);
  switch (out.kind) {
    case KeyOutcome::kMoveFocus:
      MoveTo(out.index);
      break;
    case KeyOutcome::kPress:
      Press(out.index);
      break;
    case KeyOutcome::kCloseWindow:
      PostMessageW(view_->hwnd(), WM_CLOSE, 0, 0);
      break;
    case KeyOutcome::kNone:
      break;
  }
  return true;
}

void CKeyboardFocus::MoveTo(int index) {
  const IBaseResource* target = view_->At(index);
  if (target == nullptr) return;
  focused_ = index;
  const HWND edit = EditWindowOf(target);
  const HWND wanted = edit != nullptr ? edit : view_->hwnd();
  if (GetFocus() != wanted) SetFocus(wanted);
  view_->Invalidate();
  const int child = AccessibleChildIdOf(*view_, index);
  if (child > 0) NotifyWinEvent(EVENT_OBJECT_FOCUS, view_->hwnd(), OBJID_CLIENT, child);
}

void CKeyboardFocus::Press(int index) const {
  PostMessageW(view_->hwnd(), WM_RESOURCE_CLICKED, static_cast<WPARAM>(index), 0);
}

void CKeyboardFocus::DrawMark(HDC dc) const {
  const IBaseResource* r = view_->At(focused_);
  // The edit field shows its own caret.
  if (r == nullptr || !r->visible() || r->type() == kTypeEdit) return;
  const double scale = CurrentDisplayScale();
  const int gap = static_cast<int>(kMarkGap * scale + 0.5);
  const UiRect& box = r->rect();
  Gdiplus::Graphics g(dc);
  g.SetSmoothingMode(Gdiplus::SmoothingModeNone);
  Gdiplus::Pen pen(Gdiplus::Color(kMarkColour),
                   static_cast<Gdiplus::REAL>(scale < 1.0 ? 1.0 : scale));
  pen.SetDashStyle(Gdiplus::DashStyleDot);
  g.DrawRectangle(&pen, Gdiplus::Rect(box.left - gap, box.top - gap, box.Width() + 2 * gap - 1,
                                      box.Height() + 2 * gap - 1));
}

}  // namespace pelmar
