#include "pages/dialog_view.h"

#include "ui/window_messages.h"

namespace pelmar {

DialogView::DialogView(HWND hwnd, IResourceMgr* resources, const PageContext& context,
                       const DialogLook& look)
    : DeclaredView(hwnd, resources, context, DialogDeclaration(look)) {
  // Enter takes the blue button, the one that leaves things as they are; Esc
  // the close button, or that same button where there is none.
  using namespace dialog_ids;
  keyboard().SetRoles(kRight, look.closeButton ? kClose : kRight, false);
}

MouseScheme DialogView::Scheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = true;
  s.dragOnPress = false;
  s.postsClick = [](const IBaseResource& r) { return r.type() == kTypeButton; };
  return s;
}

bool DialogView::ApplyStateRule(int index, UINT msg) {
  std::vector<WidgetState> states = CaptureStates();
  if (!ApplyButtonStateRule(&states, index, MouseEventOf(msg), /*includeDisabled=*/true)) {
    return false;
  }
  RestoreStates(states);
  return true;
}

LRESULT DialogView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = Scheme();
  if (LRESULT result = 0; HandleAccessMessage(msg, wparam, lparam, &result)) return result;
  switch (msg) {
    case WM_PAINT:
      return LayeredPaint();
    case WM_MOUSEMOVE:
      return OnMouseMove(scheme, wparam, lparam);
    case WM_LBUTTONDOWN:
      return OnLButtonDown(scheme, wparam, lparam);
    case WM_LBUTTONUP:
      return OnLButtonUp(scheme, wparam, lparam);
    default:
      break;
  }
  if (msg == WM_RESOURCE_CLICKED) {
    const int index = static_cast<int>(wparam);
    OnButton(IdAt(index));
    if (hwnd_ != nullptr && IsWindow(hwnd_) && ApplyStateRule(index, msg)) Invalidate();
    return 0;
  }
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}

void DialogView::EndThroughWindow(UINT flag) {
  if (flag != 0) PostMessageW(hwnd_, flag, 0, 0);
  ShowWindow(hwnd_, SW_HIDE);
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  PostMessageW(hwnd_, WM_QUIT, 0, 0);
}

void DialogView::EndThroughThread() {
  ShowWindow(hwnd_, SW_HIDE);
  PostQuitMessage(0);
}

void DialogView::ReportClick(const char* page, const char* element) {
  (void)context().actions->SendPageAction(page, element, "");
}

}  // namespace pelmar
