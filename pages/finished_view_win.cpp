#include "pages/finished_view.h"

#include "base/text_convert.h"
#include "ui/image_resource.h"
#include "ui/window_messages.h"

namespace pelmar {

CFinishedView::CFinishedView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DeclaredView(hwnd, resources, context, FinishedPageDeclaration()) {
  keyboard().SetRoles(finished_ids::kLaunch, finished_ids::kClose, false);
}

MouseScheme CFinishedView::Scheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = false;
  s.dragOnPress = true;
  s.notTopmostOnPress = true;
  s.postsClick = [](const IBaseResource& r) { return r.type() == kTypeButton; };
  return s;
}

bool CFinishedView::ApplyStateRule(int index, UINT msg) {
  std::vector<WidgetState> states = CaptureStates();
  if (!ApplyButtonStateRule(&states, index, MouseEventOf(msg), /*includeDisabled=*/false)) {
    return false;
  }
  RestoreStates(states);
  return true;
}

void CFinishedView::OnClick(int index) {
  const PageContext& c = context();
  switch (IdAt(index)) {
    case finished_ids::kClose:
      (void)c.events->Send(Event("pCloseStartPage"));
      (void)c.actions->SendPageAction("0004", "0001", "");
      break;
    case finished_ids::kLaunch:
      (void)c.events->Send(Event("pImmediateUse"));
      (void)c.actions->SendPageAction("0004", "0002", "");
      // A product that does not start is not reported; the installer ends anyway.
      (void)c.userLauncher->RunAsUser("open", Utf8FromWide(productPath_));
      break;
    default:
      break;
  }
  if (ApplyStateRule(index, WM_RESOURCE_CLICKED)) Invalidate();
  QuitInstaller(hwnd_);
}

LRESULT CFinishedView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = Scheme();
  switch (msg) {
    case WM_PAINT:
      return DoubleBufferedPaint();
    case WM_CLOSE:
      PostQuitMessage(0);
      return DefWindowProcW(hwnd_, msg, wparam, lparam);
    default:
      return HandlePageMessage(scheme, msg, wparam, lparam);
  }
}

}  // namespace pelmar
