#include "pages/custome_view.h"

#include <objbase.h>
#include <shlobj.h>

#include "base/app_context.h"
#include "base/win/scoped_handle.h"
#include "pages/warn_view.h"
#include "ui/checkbox_resource.h"
#include "ui/edit_resource.h"
#include "ui/image_resource.h"
#include "ui/text_resource.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// The edit control reports losing the focus with this notification.
constexpr WORD kEditLostFocus = 0x200;
// How much of the field is read: the Windows path limit.
constexpr int kEditReadChars = 260;
// The page's hint for a path it cannot take, as the folder dialog words it.
constexpr wchar_t kPathHint[] = L"请选择正确的安装路径！";

// The page's own properties, with `name`.
Event PageEvent(const char* name) {
  return std::move(Event(name)
                       .SetBool("is_reinstall", is_reinstall.load())
                       .SetString("windows_name", "自定义安装"));
}

}  // namespace

CCustomeView::CCustomeView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : DeclaredView(hwnd, resources, context, CustomPageDeclaration()) {
  // No close button here: Esc asks the window to close, which asks first.
  keyboard().SetRoles(custom_ids::kInstall, -1, true);
  (void)context.events->Send(PageEvent("vInstallPage"));
}

MouseScheme CCustomeView::Scheme() {
  MouseScheme s;
  s.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeCheckbox, kTypeText, kTypeSpacer};
  s.pressDisabledButtons = false;
  s.dragOnPress = true;
  s.notTopmostOnPress = true;
  s.postsClick = [](const IBaseResource& r) {
    if (r.type() == kTypeCheckbox) return true;
    return r.type() == kTypeButton &&
           static_cast<const CImageResource&>(r).state() != kStateDisabled;
  };
  return s;
}

void CCustomeView::SetValueText(int id, const std::wstring& text) {
  if (auto* t = static_cast<CTextResource*>(FindById(id))) t->SetText(text);
}

const std::wstring& CCustomeView::installPath() const {
  static const std::wstring kNone;
  return tookPath_ ? context().installTarget->path() : kNone;
}

void CCustomeView::SetInstallPath(const std::wstring& path) {
  if (path == installPath()) return;
  // What is shown and used is the directory the text really names: "." and
  // ".." resolved, no trailing separator, every name one Windows keeps as
  // typed. The sub-path is part of what the setup program gets: the joined
  // path must be usable too.
  std::wstring canonical, joined;
  if (!UsableInstallPath(path, &canonical) ||
      !UsableInstallPath(appendProductFolder_ ? WithProductSubPath(canonical) : canonical,
                         &joined)) {
    RefusePath();
    return;
  }
  ShowPathHint(false);
  if (joined == installPath()) {
    if (edit()) edit()->SetText(installPath());
    return;
  }
  CInstallTarget& target = *context().installTarget;
  const SpaceCheck space = target.CheckSpace(path);
  spaceOk_ = space.roomy;
  target.SetPath(joined);
  tookPath_ = true;
  appendProductFolder_ = true;
  SetValueText(custom_ids::kRequired, SizeText(space.requiredBytes));
  SetValueText(custom_ids::kAvailable, SizeText(space.freeBytes > static_cast<uint64_t>(INT64_MAX)
                                                    ? INT64_MAX
                                                    : static_cast<int64_t>(space.freeBytes)));
  if (edit()) edit()->SetText(installPath());
  // The install button and the warning follow the new drive at once.
  std::vector<WidgetState> states = CaptureStates();
  if (ApplyCustomStateRule(&states, -1, MouseEvent::kClick, spaceOk_)) RestoreStates(states);
  Invalidate();
}

void CCustomeView::RefusePath() {
  if (edit()) edit()->SetText(installPath());
  ShowPathHint(true);
}

void CCustomeView::ShowPathHint(bool shown) {
  // The status line is the page's last text; it names the refusal so a path
  // that was not taken never goes unnoticed.
  for (int i = ResourceCount() - 1; i >= 0; --i) {
    IBaseResource* r = At(i);
    if (r == nullptr || r->id() != custom_ids::kLabel || r->type() != kTypeText) continue;
    auto* status = static_cast<CTextResource*>(r);
    const std::wstring text = shown ? kPathHint : L"";
    if (status->text() != text) {
      status->SetText(text);
      Invalidate();
    }
    return;
  }
}

bool CCustomeView::ApplyStateRule(int index, UINT msg) {
  std::vector<WidgetState> states = CaptureStates();
  if (!ApplyCustomStateRule(&states, index, MouseEventOf(msg), spaceOk_)) return false;
  RestoreStates(states);
  return true;
}

void CCustomeView::HideEdit() {
  if (edit()) ShowWindow(edit()->hwnd(), SW_HIDE);
}

void CCustomeView::OnClick(int index) {
  using namespace custom_ids;
  switch (IdAt(index)) {
    case kBack:
      HideEdit();
      PostMessageW(hwnd_, WM_GOTO_STEP, kStepMain, 0);
      break;
    case kBrowse:
      BrowseForFolder();
      break;
    case kInstall: {
      (void)context().events->Send(
          Event("pConfirmInstall").SetString("confirm_entrance", "开始安装"));
      (void)context().actions->SendPageAction("0002", "0005", "");
      HideEdit();
      PostMessageW(hwnd_, WM_GOTO_STEP, kStepProgress, 0);
      break;
    }
    case kJoinPlan:
      // The state rule below flips the box; the flag is its new value.
      if (const IBaseResource* box = At(index); box && box->type() == kTypeCheckbox) {
        joinPlan_ = !static_cast<const CCheckboxResource*>(box)->checked();
      }
      break;
    default:
      break;
  }
  if (ApplyStateRule(index, WM_RESOURCE_CLICKED)) Invalidate();
}

void CCustomeView::BrowseForFolder() {
  // The new-style folder dialog needs COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BROWSEINFOW info = {};
  info.hwndOwner = hwnd_;
  info.lpszTitle = L"安装路径选择：";
  info.ulFlags = BIF_NEWDIALOGSTYLE;
  if (win::ScopedCoTaskMem<ITEMIDLIST> item(SHBrowseForFolderW(&info)); item) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(item.get(), path)) {
      SetInstallPath(path);
    } else {
      MessageBoxW(hwnd_, kPathHint, L"路径选择错误", MB_OK);
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

void CCustomeView::CancelFlow() {
  const PageContext& pages = context();
  const bool confirmed = RunModalDialog([&pages](HWND parent, IResourceMgr* resources) {
    return std::unique_ptr<IBaseWindow>(
        new WarnWindow(parent, resources, pages, WarnView::kModeCustomPage));
  });
  if (!confirmed) return;
  (void)context().events->Send(PageEvent("pCancelInstall"));
  QuitInstaller(hwnd_);
}

LRESULT CCustomeView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = Scheme();
  switch (msg) {
    case WM_PAINT:
      return DoubleBufferedPaint();
    case WM_CLOSE:
      CancelFlow();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == custom_ids::kEdit && HIWORD(wparam) == kEditLostFocus && edit()) {
        SetInstallPath(edit()->GetText(kEditReadChars));
      }
      return DefWindowProcW(hwnd_, msg, wparam, lparam);
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, RGB(0x1A, 0x1A, 0x1A));
      SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
      // A white brush rather than a hollow one: the field repaints alone when
      // its text changes, and a hollow background would leave the old text.
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    case WM_LBUTTONDOWN:
      // Taking the focus makes the field report an edited path first.
      SetFocus(hwnd_);
      return OnLButtonDown(scheme, wparam, lparam);
    default:
      return HandlePageMessage(scheme, msg, wparam, lparam);
  }
}

}  // namespace pelmar
