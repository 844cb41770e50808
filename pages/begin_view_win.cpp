#include "pages/begin_view.h"

#include <shellapi.h>

#include "base/app_context.h"
#include "base/text_convert.h"
#include "pages/warn_view.h"
#include "ui/image_resource.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

constexpr char kPageCode[] = "0001";

// The page's own properties, with `name`.
Event PageEvent(const char* name) {
  return std::move(Event(name)
                       .SetBool("is_reinstall", is_reinstall.load())
                       .SetString("windows_name", "立即安装"));
}

}  // namespace

CBeginView::CBeginView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DeclaredView(hwnd, resources, context, BeginPageDeclaration()) {
  keyboard().SetRoles(begin_ids::kInstall, begin_ids::kClose, false);
  (void)context.events->Send(PageEvent("vInstallPage"));
}

MouseScheme CBeginView::Scheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeCheckbox, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = false;
  s.dragOnPress = true;
  s.notTopmostOnPress = true;
  s.postsClick = [](const IBaseResource& r) {
    if (r.type() == kTypeImageOpaque) return false;
    if (r.type() == kTypeButton) {
      return static_cast<const CImageResource&>(r).state() != kStateDisabled;
    }
    return true;
  };
  return s;
}

void CBeginView::SetSpaceOk(bool spaceOk) {
  std::vector<WidgetState> states = CaptureStates();
  if (ApplyBeginSpaceOk(&states, spaceOk, &flags_)) {
    RestoreStates(states);
    Invalidate();
  }
}

bool CBeginView::ApplyStateRule(int index, UINT msg) {
  std::vector<WidgetState> states = CaptureStates();
  if (!ApplyBeginStateRule(&states, index, MouseEventOf(msg), &flags_)) return false;
  RestoreStates(states);
  return true;
}

void CBeginView::OnClick(int index) {
  using namespace begin_ids;
  IPageActionSink* actions = context().actions;
  const int id = IdAt(index);
  switch (id) {
    case kClose:
      actions->SendPageAction(kPageCode, "0001", "");
      CancelFlow();
      break;
    case kInstall:
      (void)context().events->Send(
          Event("pConfirmInstall").SetString("confirm_entrance", "立即安装"));
      actions->SendPageAction(kPageCode, "0002", "");
      PostMessageW(hwnd_, WM_GOTO_STEP, kStepProgress, 0);
      break;
    case kCustom:
      actions->SendPageAction(kPageCode, "0005", "");
      PostMessageW(hwnd_, WM_GOTO_STEP, kStepCustom, 0);
      break;
    case kAgreementLink: {
      actions->SendPageAction(kPageCode, "0004", "");
      const std::wstring url = WideFromUtf8(UserAgreementAddress(context().machineId->GetMid()));
      ShellExecuteW(hwnd_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    }
    case kAgreement:
      actions->SendPageAction(kPageCode, "0003", "");
      break;
    default:
      break;
  }
  if (ApplyStateRule(index, WM_RESOURCE_CLICKED)) Invalidate();
}

void CBeginView::CancelFlow() {
  const PageContext& pages = context();
  const bool confirmed = RunModalDialog([&pages](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(
        new WarnWindow(parent, resources, pages, WarnView::kModeMainPage));
  });
  if (!confirmed) return;
  (void)context().events->Send(PageEvent("pCancelInstall"));
  QuitInstaller(hwnd_);
}

LRESULT CBeginView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = Scheme();
  switch (msg) {
    case WM_PAINT:
      return DoubleBufferedPaint();
    case WM_CLOSE:
      CancelFlow();
      return 0;
    default:
      return HandlePageMessage(scheme, msg, wparam, lparam);
  }
}

}  // namespace pelmar
