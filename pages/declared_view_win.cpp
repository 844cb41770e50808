#include "pages/declared_view.h"

#include <memory>

#include "ui/button_resource.h"
#include "ui/checkbox_resource.h"
#include "ui/edit_resource.h"
#include "ui/image_resource.h"
#include "ui/layout_resource.h"
#include "ui/resource_manager.h"
#include "ui/spacer_resource.h"
#include "ui/text_resource.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

bool IsDrawn(int type) { return type != kTypeLayout && type != kTypeSpacer; }

}  // namespace

DeclaredView::DeclaredView(HWND hwnd, IResourceMgr* resources, const PageContext& context,
                           const PageDeclaration& page)
    : IBaseView(hwnd, resources), context_(&context) {
  Build(page);
  LayOut();
}

void DeclaredView::Build(const PageDeclaration& page) {
  auto picture = [this](const std::wstring& name) -> Gdiplus::Image* {
    if (name.empty() || resources_mgr_ == nullptr) return nullptr;
    return resources_mgr_->GetImage(name.c_str());
  };
  for (const ResourceDecl& d : page) {
    const WidgetStyleSet* styles = d.hasStyles ? &d.styles : nullptr;
    IBaseResource* made = nullptr;
    CImageResource* drawn = nullptr;
    switch (d.kind) {
      case DeclKind::kLayout: {
        auto* layout = Add(std::make_unique<CLayoutResource>(d.direction));
        layout->SetMargins(d.margins.left, d.margins.top, d.margins.right, d.margins.bottom);
        layout->SetSpacing(d.margins.spacing);
        made = layout;
        break;
      }
      case DeclKind::kSpacer:
        made = Add(std::make_unique<CSpacerResource>());
        break;
      case DeclKind::kImage:
        drawn = Add(std::make_unique<CImageResource>(d.id, styles, d.imageType));
        drawn->SetPicture(picture(d.picture));
        break;
      case DeclKind::kText:
        drawn = Add(std::make_unique<CTextResource>(d.id, styles, d.text));
        break;
      case DeclKind::kButton: {
        auto* button = Add(std::make_unique<CButtonResource>(d.id, d.text, styles));
        for (int s = 0; s < 4; ++s)
          button->SetStateIcon(s, picture(d.icons[static_cast<size_t>(s)]));
        drawn = button;
        break;
      }
      case DeclKind::kCheckbox:
        drawn = Add(std::make_unique<CCheckboxResource>(d.id, styles, d.text, picture(d.picture),
                                                        picture(d.picture2)));
        break;
      case DeclKind::kEdit:
        edit_ = Add(std::make_unique<CEditResource>(hwnd_, styles));
        drawn = edit_;
        break;
    }
    if (drawn != nullptr) {
      drawn->SetAspectRatio(d.aspect);
      drawn->SetMargins(d.hMargin, d.vMargin);
      drawn->SetVisible(d.visible);
      made = drawn;
    }
    if (d.parent == kNoParent) {
      if (root_ == nullptr && d.kind == DeclKind::kLayout)
        root_ = static_cast<CLayoutResource*>(made);
      continue;
    }
    auto* parent = static_cast<CLayoutResource*>(At(d.parent));
    if (d.background) {
      parent->SetBackground(made);
    } else {
      parent->AddChild(made, d.weight);
    }
  }
}

void DeclaredView::LayOut() {
  if (root_ == nullptr) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  // A layout that does not fit keeps its children where they were; nothing to report.
  (void)root_->SetRect(client.left, client.top, client.right, client.bottom);
}

int DeclaredView::IdAt(int index) const {
  const IBaseResource* r = At(index);
  return r ? r->id() : kNoId;
}

std::vector<WidgetState> DeclaredView::CaptureStates() const {
  std::vector<WidgetState> states(static_cast<size_t>(ResourceCount()));
  for (int i = 0; i < ResourceCount(); ++i) {
    const IBaseResource* r = At(i);
    WidgetState& s = states[static_cast<size_t>(i)];
    s.id = r->id();
    s.type = r->type();
    s.visible = r->visible();
    if (IsDrawn(r->type())) s.state = static_cast<const CImageResource*>(r)->state();
    if (r->type() == kTypeCheckbox) s.checked = static_cast<const CCheckboxResource*>(r)->checked();
  }
  return states;
}

void DeclaredView::RestoreStates(const std::vector<WidgetState>& states) {
  for (int i = 0; i < ResourceCount() && i < static_cast<int>(states.size()); ++i) {
    IBaseResource* r = At(i);
    const WidgetState& s = states[static_cast<size_t>(i)];
    r->SetVisible(s.visible);
    if (IsDrawn(r->type())) static_cast<CImageResource*>(r)->SetState(s.state);
    if (r->type() == kTypeCheckbox) static_cast<CCheckboxResource*>(r)->SetChecked(s.checked);
  }
}

LRESULT DeclaredView::BringToFront() {
  Show(hwnd_, true);
  return 0;
}

LRESULT DeclaredView::HandlePageMessage(const MouseScheme& scheme, UINT msg, WPARAM wparam,
                                        LPARAM lparam) {
  if (LRESULT result = 0; HandleAccessMessage(msg, wparam, lparam, &result)) return result;
  switch (msg) {
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
    OnClick(static_cast<int>(wparam));
    return 0;
  }
  if (msg == WM_BRING_TO_FRONT) return BringToFront();
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}

MouseEvent MouseEventOf(UINT msg) {
  if (msg == WM_MOUSEMOVE) return MouseEvent::kMove;
  if (msg == WM_LBUTTONDOWN) return MouseEvent::kPress;
  return MouseEvent::kClick;
}

void QuitInstaller(HWND mainWindow) {
  ShowWindow(mainWindow, SW_HIDE);
  PostQuitMessage(0);
}

}  // namespace pelmar
