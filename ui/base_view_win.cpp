#include "ui/base_view.h"

#include <windowsx.h>

#include <algorithm>

#include "base/win/scoped_handle.h"
#include "base/win/system_api.h"
#include "ui/accessible_view.h"
#include "ui/base_window.h"
#include "ui/image_resource.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// The work area of the monitor nearest to `window`, else the primary one's.
bool WorkAreaOf(HWND window, RECT* work) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
      monitor != nullptr && GetMonitorInfoW(monitor, &info)) {
    *work = info.rcWork;
    return true;
  }
  return SystemParametersInfoW(SPI_GETWORKAREA, 0, work, 0) != FALSE;
}

bool Contains(const std::vector<int>& types, int type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

}  // namespace

IBaseView::IBaseView(HWND hwnd, IResourceMgr* resources) : hwnd_(hwnd), resources_mgr_(resources) {}

IBaseView::~IBaseView() {
  if (accessible_ != nullptr) {
    accessible_->Detach();
    accessible_->Release();
  }
}

bool IBaseView::HandleAccessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (msg == WM_KEYDOWN && keyboard_.OnKeyDown(wparam)) {
    *result = 0;
    return true;
  }
  if (msg == WM_GETOBJECT && static_cast<DWORD>(lparam) == static_cast<DWORD>(OBJID_CLIENT)) {
    if (accessible_ == nullptr) accessible_ = new CAccessibleView(this);
    *result = sys::LresultFromObject(IID_IAccessible, wparam, accessible_);
    return true;
  }
  return false;
}

int IBaseView::AddResource(std::unique_ptr<IBaseResource> resource) {
  resources_.push_back(std::move(resource));
  return static_cast<int>(resources_.size()) - 1;
}

IBaseResource* IBaseView::FindById(int id) const {
  for (const auto& r : resources_) {
    if (r->id() == id) return r.get();
  }
  return nullptr;
}

IBaseResource* IBaseView::At(int index) const {
  if (index < 0 || index >= ResourceCount()) return nullptr;
  return resources_[static_cast<std::size_t>(index)].get();
}

int IBaseView::HitTest(int x, int y) const {
  std::vector<HitTarget> targets;
  targets.reserve(resources_.size());
  for (const auto& r : resources_) targets.push_back({r->type(), r->rect()});
  return HitTestTargets(targets, x, y);
}

void IBaseView::Invalidate() { InvalidateRect(hwnd_, nullptr, FALSE); }

void IBaseView::DrawAll(HDC hdc) {
  for (const auto& r : resources_) r->Draw(hdc);
  keyboard_.DrawMark(hdc);
}

LRESULT IBaseView::LayeredPaint() {
  PAINTSTRUCT ps;
  BeginPaint(hwnd_, &ps);
  const LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  if (!(ex & WS_EX_LAYERED)) SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex | WS_EX_LAYERED);
  RECT wr{};
  GetWindowRect(hwnd_, &wr);
  const int width = wr.right - wr.left;
  const int height = wr.bottom - wr.top;
  {
    win::ScopedGetDc screen(nullptr);
    win::ScopedCreatedDc mem(CreateCompatibleDC(screen.get()));
    if (mem && width > 0 && height > 0) {
      SetBkMode(mem.get(), TRANSPARENT);
      BITMAPINFO info = {};
      info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = height;  // bottom-up
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      win::ScopedGdiObject<HBITMAP> dib(
          CreateDIBSection(mem.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
      // Declared after the bitmap: the old one is selected back before it is deleted.
      win::ScopedSelectObject selected(mem.get(), dib.get());
      if (dib && selected.ok()) {
        DrawAll(mem.get());
        POINT dst{wr.left, wr.top};
        POINT src{0, 0};
        SIZE size{width, height};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(hwnd_, screen.get(), &dst, &size, mem.get(), &src, 0, &blend,
                            ULW_ALPHA);
      }
    }
  }
  EndPaint(hwnd_, &ps);
  return 0;
}

LRESULT IBaseView::DoubleBufferedPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (dc && width > 0 && height > 0) {
    win::ScopedCreatedDc mem(CreateCompatibleDC(dc));
    if (mem) {
      win::ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
      win::ScopedSelectObject selected(mem.get(), bitmap.get());
      if (bitmap && selected.ok()) {
        DrawAll(mem.get());
        BitBlt(dc, 0, 0, width, height, mem.get(), 0, 0, SRCCOPY);
      }
    }
  }
  EndPaint(hwnd_, &ps);
  return DefWindowProcW(hwnd_, WM_PAINT, 0, 0);
}

void IBaseView::Show(HWND hwnd, bool topmost) {
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
}

bool IBaseView::StandardButtonRule(int index, UINT msg, bool includeDisabled) {
  bool changed = false;
  for (int i = 0; i < ResourceCount(); ++i) {
    IBaseResource* r = At(i);
    if (r->type() != kTypeButton) continue;
    auto* button = static_cast<CImageResource*>(r);
    if (button->state() == kStateDisabled && !includeDisabled) continue;
    int next = kStateNormal;
    if (i == index) {
      if (msg == WM_MOUSEMOVE) next = kStateHover;
      if (msg == WM_LBUTTONDOWN) next = kStatePressed;
    }
    if (button->state() != next) {
      button->SetState(next);
      changed = true;
    }
  }
  return changed;
}

bool IBaseView::ApplyStateRule(int index, UINT msg) {
  return StandardButtonRule(index, msg, /*includeDisabled=*/false);
}

LRESULT IBaseView::OnMouseMove(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam) {
  const LRESULT result = DefWindowProcW(hwnd_, WM_MOUSEMOVE, wparam, lparam);
  const int index = HitTest(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
  if (index == hovered_) return result;
  bool changed = false;
  if (IBaseResource* hit = At(index)) {
    if (hit->type() == kTypeButton) {
      changed = ApplyStateRule(index, WM_MOUSEMOVE);
    } else if (Contains(scheme.passiveTypes, hit->type()) && hovered_ != -1) {
      changed = ApplyStateRule(index, WM_MOUSEMOVE);
    }
  }
  if (changed) Invalidate();
  hovered_ = index;
  return result;
}

LRESULT IBaseView::OnLButtonDown(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam) {
  if (scheme.notTopmostOnPress) {
    SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  const LRESULT result = DefWindowProcW(hwnd_, WM_LBUTTONDOWN, wparam, lparam);
  const int index = HitTest(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
  IBaseResource* hit = At(index);
  if (hit && hit->type() == kTypeButton &&
      (scheme.pressDisabledButtons ||
       static_cast<CImageResource*>(hit)->state() != kStateDisabled)) {
    if (ApplyStateRule(index, WM_LBUTTONDOWN)) Invalidate();
    return result;
  }
  if (hit && hit->type() == kTypeCheckbox) return result;
  ReleaseCapture();
  if (scheme.dragOnPress) SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  return result;
}

LRESULT IBaseView::OnLButtonUp(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam) {
  const LRESULT result = DefWindowProcW(hwnd_, WM_LBUTTONUP, wparam, lparam);
  const int index = HitTest(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
  IBaseResource* hit = At(index);
  if (hit && scheme.postsClick && scheme.postsClick(*hit)) {
    PostMessageW(hwnd_, WM_RESOURCE_CLICKED, static_cast<WPARAM>(index), lparam);
  }
  return result;
}

bool RunDialogLoop(HWND dialog, bool retryConfirms) {
  bool confirmed = false;
  MSG msg;
  // GetMessage answers -1 on a bad call; that ends the loop like the quit message.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == dialog || (msg.hwnd && IsChild(dialog, msg.hwnd))) {
      if (msg.message == WM_DIALOG_CONFIRMED || (retryConfirms && msg.message == WM_DIALOG_RETRY)) {
        confirmed = true;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else if (msg.message == WM_PAINT) {
      // A paint is not queued but synthesised while a window stays invalid:
      // dropping it would return it at once, forever. Let the owner repaint.
      DispatchMessageW(&msg);
    }
  }
  return confirmed;
}

bool IBaseView::RunModalDialog(const DialogFactory& create, bool retryConfirms) {
  if (openDialog_ && IsWindow(openDialog_)) {
    Show(openDialog_, true);
    SetWindowPos(openDialog_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return false;
  }
  std::unique_ptr<IBaseWindow> dialog = create(hwnd_, resources_mgr_);
  if (!dialog) return false;
  openDialog_ = dialog->hwnd();
  RECT owner{}, box{};
  GetWindowRect(hwnd_, &owner);
  GetWindowRect(openDialog_, &box);
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  UiPoint at = CentreOver({owner.left, owner.top, owner.right, owner.bottom}, width, height);
  // Centred over an owner dragged partly off the screen, the dialog would be
  // partly off it too, its buttons out of reach: keep it in the work area.
  RECT work{};
  if (WorkAreaOf(hwnd_, &work)) {
    at = KeepInside({work.left, work.top, work.right, work.bottom}, at, width, height);
  }
  MoveWindow(openDialog_, at.x, at.y, width, height, TRUE);
  ShowWindow(openDialog_, SW_SHOW);
  UpdateWindow(openDialog_);
  const bool confirmed = RunDialogLoop(openDialog_, retryConfirms);
  openDialog_ = nullptr;
  dialog.reset();
  return confirmed;
}

}  // namespace pelmar
