#include "pages/reminder_view.h"

#include "base/app_context.h"
#include "base/text_convert.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

void SendOperation(IEventSink* events, const char* eventName) {
  (void)events->Send(Event("vReInstallOpera").SetString("event_name", eventName));
}

}  // namespace

CReminderView::CReminderView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DeclaredView(hwnd, resources, context, DialogDeclaration(ReminderLook())) {
  keyboard().SetRoles(dialog_ids::kRight, dialog_ids::kClose, false);
  (void)context.events->Send(Event("vInstallPage")
                                 .SetBool("is_reinstall", is_reinstall.load())
                                 .SetString("windows_name", "覆盖安装"));
}

MouseScheme CReminderView::Scheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeCheckbox, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = true;
  s.dragOnPress = true;
  s.notTopmostOnPress = true;
  s.postsClick = [](const IBaseResource& r) { return r.type() == kTypeButton; };
  return s;
}

bool CReminderView::ApplyStateRule(int index, UINT msg) {
  std::vector<WidgetState> states = CaptureStates();
  if (!ApplyButtonStateRule(&states, index, MouseEventOf(msg), /*includeDisabled=*/true)) {
    return false;
  }
  RestoreStates(states);
  return true;
}

void CReminderView::OnClick(int index) {
  switch (IdAt(index)) {
    case dialog_ids::kLeft:
      SendOperation(context().events, "打开软件");
      // A product that does not start is not reported; the installer ends anyway.
      (void)context().userLauncher->RunAsUser("open", Utf8FromWide(productPath_));
      QuitInstaller(hwnd_);
      return;
    case dialog_ids::kRight:
      SendOperation(context().events, "直接安装");
      PostMessageW(hwnd_, WM_GOTO_STEP, kStepMain, 0);
      Invalidate();
      break;
    case dialog_ids::kClose:
      SendOperation(context().events, "关闭");
      QuitInstaller(hwnd_);
      return;
    default:
      break;
  }
  if (ApplyStateRule(index, WM_RESOURCE_CLICKED)) Invalidate();
}

LRESULT CReminderView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = Scheme();
  switch (msg) {
    case WM_PAINT:
      return DoubleBufferedPaint();
    default:
      return HandlePageMessage(scheme, msg, wparam, lparam);
  }
}

}  // namespace pelmar
