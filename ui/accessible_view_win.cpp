#include "ui/accessible_view.h"

#include <string>
#include <vector>

#include "base/win/system_api.h"
#include "ui/accessible_rules.h"
#include "ui/base_view.h"
#include "ui/button_resource.h"
#include "ui/checkbox_resource.h"
#include "ui/edit_resource.h"
#include "ui/progress_resource.h"
#include "ui/text_resource.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

std::wstring CaptionOf(const IBaseResource& r) {
  switch (r.type()) {
    case kTypeButton:
      return static_cast<const CButtonResource&>(r).caption();
    case kTypeCheckbox:
      return static_cast<const CCheckboxResource&>(r).caption();
    case kTypeText:
      return static_cast<const CTextResource&>(r).text();
    default:
      return {};
  }
}

AccessSource SourceOf(const IBaseView& view, int index) {
  const IBaseResource& r = *view.At(index);
  AccessSource s;
  s.index = index;
  s.type = r.type();
  s.visible = r.visible();
  if (r.type() != kTypeLayout && r.type() != kTypeSpacer) {
    const auto& drawn = static_cast<const CImageResource&>(r);
    s.transparentFill = (drawn.Style().fillColor >> 24) == 0;
  }
  s.caption = CaptionOf(r);
  return s;
}

std::vector<AccessSource> SourcesOf(const IBaseView& view) {
  std::vector<AccessSource> sources;
  for (int i = 0; i < view.ResourceCount(); ++i) sources.push_back(SourceOf(view, i));
  return sources;
}

std::vector<int> ChildrenOf(const IBaseView& view) { return AccessibleChildren(SourcesOf(view)); }

long RoleNumber(AccessRole role) {
  switch (role) {
    case AccessRole::kPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessRole::kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessRole::kLink:
      return ROLE_SYSTEM_LINK;
    case AccessRole::kStaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessRole::kEditText:
      return ROLE_SYSTEM_TEXT;
    case AccessRole::kProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessRole::kNone:
      break;
  }
  return ROLE_SYSTEM_CLIENT;
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], length + 1)));
  return text;
}

void SetChild(VARIANT* out, long id) {
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = id;
}

}  // namespace

int AccessibleChildIdOf(const IBaseView& view, int index) {
  return ChildIdOf(ChildrenOf(view), index);
}

CAccessibleView::CAccessibleView(IBaseView* view) : view_(view) {}

HRESULT CAccessibleView::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG CAccessibleView::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG CAccessibleView::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT CAccessibleView::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT CAccessibleView::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}
HRESULT CAccessibleView::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT CAccessibleView::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                UINT*) {
  return E_NOTIMPL;
}

bool CAccessibleView::Resolve(const VARIANT& child, int* index, HRESULT* result) const {
  if (view_ == nullptr) {
    *result = RPC_E_DISCONNECTED;
    return false;
  }
  if (child.vt != VT_I4) {
    *result = E_INVALIDARG;
    return false;
  }
  if (child.lVal == CHILDID_SELF) {
    *index = -1;
    return true;
  }
  *index = IndexOfChild(ChildrenOf(*view_), child.lVal);
  if (*index < 0) {
    *result = E_INVALIDARG;
    return false;
  }
  return true;
}

HRESULT CAccessibleView::get_accParent(IDispatch** parent) {
  if (parent == nullptr) return E_POINTER;
  *parent = nullptr;
  if (view_ == nullptr) return RPC_E_DISCONNECTED;
  return sys::AccessibleObjectFromWindow(view_->hwnd(), static_cast<DWORD>(OBJID_WINDOW),
                                         IID_IDispatch, reinterpret_cast<void**>(parent));
}

HRESULT CAccessibleView::get_accChildCount(long* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  if (view_ == nullptr) return RPC_E_DISCONNECTED;
  *count = static_cast<long>(ChildrenOf(*view_).size());
  return S_OK;
}

HRESULT CAccessibleView::get_accChild(VARIANT child, IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  // The children are simple elements answered by this object.
  return index < 0 ? E_INVALIDARG : S_FALSE;
}

HRESULT CAccessibleView::get_accName(VARIANT child, BSTR* name) {
  int index = -1;
  HRESULT hr = S_OK;
  if (name != nullptr) *name = nullptr;
  if (!Resolve(child, &index, &hr)) return hr;
  if (index < 0) return ReturnText(WindowText(view_->hwnd()), name);
  if (view_->At(index)->type() == kTypeEdit) {
    return ReturnText(LabelFor(SourcesOf(*view_), index), name);
  }
  const bool isClose = index == view_->keyboard().closeIndex();
  return ReturnText(AccessibleName(SourceOf(*view_, index), isClose), name);
}

HRESULT CAccessibleView::get_accValue(VARIANT child, BSTR* value) {
  int index = -1;
  HRESULT hr = S_OK;
  if (value != nullptr) *value = nullptr;
  if (!Resolve(child, &index, &hr)) return hr;
  const IBaseResource* r = view_->At(index);
  if (r != nullptr && r->type() == kTypeEdit) {
    return ReturnText(WindowText(static_cast<const CEditResource*>(r)->hwnd()), value);
  }
  if (r != nullptr && r->type() == kTypeProgress) {
    const unsigned percent = static_cast<const CProgressResource*>(r)->percent();
    return ReturnText(std::to_wstring(percent) + L"%", value);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::get_accDescription(VARIANT child, BSTR* text) {
  if (text != nullptr) *text = nullptr;
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::get_accRole(VARIANT child, VARIANT* role) {
  if (role == nullptr) return E_POINTER;
  VariantInit(role);
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  role->vt = VT_I4;
  role->lVal = index < 0 ? ROLE_SYSTEM_CLIENT : RoleNumber(RoleOf(SourceOf(*view_, index)));
  return S_OK;
}

HRESULT CAccessibleView::get_accState(VARIANT child, VARIANT* state) {
  if (state == nullptr) return E_POINTER;
  VariantInit(state);
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  const bool windowFocused = GetFocus() == view_->hwnd();
  long bits = 0;
  if (index < 0) {
    bits = STATE_SYSTEM_FOCUSABLE | (windowFocused ? STATE_SYSTEM_FOCUSED : 0);
  } else {
    const IBaseResource* r = view_->At(index);
    const auto* drawn = static_cast<const CImageResource*>(r);
    if (r->type() == kTypeText || r->type() == kTypeProgress) bits |= STATE_SYSTEM_READONLY;
    if (r->type() == kTypeButton && drawn->state() == kStateDisabled) {
      bits |= STATE_SYSTEM_UNAVAILABLE;
    }
    if (r->type() == kTypeCheckbox && static_cast<const CCheckboxResource*>(r)->checked()) {
      bits |= STATE_SYSTEM_CHECKED;
    }
    for (const FocusCandidate& c : view_->keyboard().Candidates()) {
      if (c.index == index && TakesKeyboardFocus(c)) bits |= STATE_SYSTEM_FOCUSABLE;
    }
    const int focused = view_->keyboard().focused();
    const bool edit = r->type() == kTypeEdit;
    if (focused == index && (windowFocused || edit)) bits |= STATE_SYSTEM_FOCUSED;
    if (drawn->state() == kStateHover) bits |= STATE_SYSTEM_HOTTRACKED;
    if (r->type() == kTypeButton && drawn->state() == kStatePressed) bits |= STATE_SYSTEM_PRESSED;
  }
  state->vt = VT_I4;
  state->lVal = bits;
  return S_OK;
}

HRESULT CAccessibleView::get_accHelp(VARIANT, BSTR* help) {
  if (help != nullptr) *help = nullptr;
  return view_ == nullptr ? RPC_E_DISCONNECTED : DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file != nullptr) *file = nullptr;
  if (topic != nullptr) *topic = -1;
  return view_ == nullptr ? RPC_E_DISCONNECTED : DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::get_accKeyboardShortcut(VARIANT child, BSTR* keys) {
  if (keys != nullptr) *keys = nullptr;
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  // The main button answers Enter, the close button Esc.
  if (index >= 0 && index == view_->keyboard().mainIndex()) return ReturnText(L"Enter", keys);
  if (index >= 0 && index == view_->keyboard().closeIndex()) return ReturnText(L"Esc", keys);
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::get_accFocus(VARIANT* child) {
  if (child == nullptr) return E_POINTER;
  VariantInit(child);
  if (view_ == nullptr) return RPC_E_DISCONNECTED;
  const int focused = view_->keyboard().focused();
  const int id = focused >= 0 ? AccessibleChildIdOf(*view_, focused) : 0;
  if (id > 0) {
    SetChild(child, id);
    return S_OK;
  }
  if (GetFocus() == view_->hwnd()) {
    SetChild(child, CHILDID_SELF);
    return S_OK;
  }
  return S_FALSE;
}

HRESULT CAccessibleView::get_accSelection(VARIANT* children) {
  if (children == nullptr) return E_POINTER;
  VariantInit(children);
  return view_ == nullptr ? RPC_E_DISCONNECTED : S_FALSE;
}

HRESULT CAccessibleView::get_accDefaultAction(VARIANT child, BSTR* action) {
  if (action != nullptr) *action = nullptr;
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  if (index < 0) return DISP_E_MEMBERNOTFOUND;
  const IBaseResource* r = view_->At(index);
  if (r->type() == kTypeButton) return ReturnText(L"按下", action);
  if (r->type() == kTypeCheckbox) {
    const bool checked = static_cast<const CCheckboxResource*>(r)->checked();
    return ReturnText(checked ? L"取消勾选" : L"勾选", action);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleView::accSelect(long flags, VARIANT child) {
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  if (flags != SELFLAG_TAKEFOCUS) return E_INVALIDARG;
  if (index < 0) {
    SetFocus(view_->hwnd());
    return S_OK;
  }
  for (const FocusCandidate& c : view_->keyboard().Candidates()) {
    if (c.index == index && TakesKeyboardFocus(c)) {
      view_->keyboard().MoveTo(index);
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT CAccessibleView::accLocation(long* left, long* top, long* width, long* height,
                                     VARIANT child) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  *left = *top = *width = *height = 0;
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  RECT box{};
  if (index < 0) {
    GetClientRect(view_->hwnd(), &box);
  } else {
    const UiRect& r = view_->At(index)->rect();
    box = {r.left, r.top, r.right, r.bottom};
  }
  POINT origin{box.left, box.top};
  ClientToScreen(view_->hwnd(), &origin);
  *left = origin.x;
  *top = origin.y;
  *width = box.right - box.left;
  *height = box.bottom - box.top;
  return S_OK;
}

HRESULT CAccessibleView::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (end == nullptr) return E_POINTER;
  VariantInit(end);
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(start, &index, &hr)) return hr;
  const std::vector<int> children = ChildrenOf(*view_);
  const long count = static_cast<long>(children.size());
  long target = 0;
  if (index < 0) {
    if (direction == NAVDIR_FIRSTCHILD) target = count > 0 ? 1 : 0;
    if (direction == NAVDIR_LASTCHILD) target = count;
    if (direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD) return E_NOTIMPL;
  } else {
    const long id = ChildIdOf(children, index);
    if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
      target = id < count ? id + 1 : 0;
    } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
      target = id > 1 ? id - 1 : 0;
    } else {
      return E_INVALIDARG;
    }
  }
  if (target == 0) return S_FALSE;
  SetChild(end, target);
  return S_OK;
}

HRESULT CAccessibleView::accHitTest(long x, long y, VARIANT* child) {
  if (child == nullptr) return E_POINTER;
  VariantInit(child);
  if (view_ == nullptr) return RPC_E_DISCONNECTED;
  POINT p{x, y};
  ScreenToClient(view_->hwnd(), &p);
  RECT client{};
  GetClientRect(view_->hwnd(), &client);
  if (!PtInRect(&client, p)) return S_FALSE;
  // The last child whose box holds the point: it is drawn on top.
  const std::vector<int> children = ChildrenOf(*view_);
  long hit = CHILDID_SELF;
  for (size_t i = 0; i < children.size(); ++i) {
    const UiRect& r = view_->At(children[i])->rect();
    if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) {
      hit = static_cast<long>(i) + 1;
    }
  }
  SetChild(child, hit);
  return S_OK;
}

HRESULT CAccessibleView::accDoDefaultAction(VARIANT child) {
  int index = -1;
  HRESULT hr = S_OK;
  if (!Resolve(child, &index, &hr)) return hr;
  const IBaseResource* r = view_->At(index);
  if (r == nullptr || (r->type() != kTypeButton && r->type() != kTypeCheckbox)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (r->type() == kTypeButton &&
      static_cast<const CImageResource*>(r)->state() == kStateDisabled) {
    return S_FALSE;
  }
  // The same message a click posts: the page runs the same action.
  PostMessageW(view_->hwnd(), WM_RESOURCE_CLICKED, static_cast<WPARAM>(index), 0);
  return S_OK;
}

HRESULT CAccessibleView::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
HRESULT CAccessibleView::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

}  // namespace pelmar
