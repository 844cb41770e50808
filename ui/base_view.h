#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "ui/base_resource.h"
#include "ui/keyboard_focus.h"
#include "ui/view_geometry.h"

namespace pelmar {

class IResourceMgr;
class IBaseWindow;
class CAccessibleView;

// What differs between the views' shared mouse handling.
struct MouseScheme {
  // Types whose hover resets the previously hovered resource to normal.
  std::vector<int> passiveTypes;
  // Whether a disabled button may still be pressed (dialogs: yes).
  bool pressDisabledButtons = false;
  // Whether pressing elsewhere drags the window (pages: yes, dialogs: no).
  bool dragOnPress = true;
  // Pages drop their topmost placement on any press, so that a window the
  // user brings forward can cover them.
  bool notTopmostOnPress = false;
  // Whether a release over the resource posts WM_RESOURCE_CLICKED.
  std::function<bool(const IBaseResource&)> postsClick;
};

// A page or dialog: owns its resources, draws them in list order, hit-tests
// them and handles the window's messages. User-interface thread only.
class IBaseView {
 public:
  IBaseView(HWND hwnd, IResourceMgr* resources);
  virtual ~IBaseView();
  IBaseView(const IBaseView&) = delete;
  IBaseView& operator=(const IBaseView&) = delete;

  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) = 0;
  // Draws into a 32-bit DIB and updates the layered window with per-pixel alpha.
  virtual LRESULT LayeredPaint();
  // Draws into an off-screen bitmap and copies it to the window.
  virtual LRESULT DoubleBufferedPaint();
  // Shows the window normally, topmost or not, in the foreground with the focus.
  virtual void Show(HWND hwnd, bool topmost);

  // Takes ownership; returns the resource's index in the list.
  int AddResource(std::unique_ptr<IBaseResource> resource);
  // Takes ownership; returns the resource, which lives as long as the view.
  template <typename T>
  T* Add(std::unique_ptr<T> resource) {
    T* raw = resource.get();
    AddResource(std::move(resource));
    return raw;
  }
  // The first resource with `id`, or null.
  IBaseResource* FindById(int id) const;
  IBaseResource* At(int index) const;
  int ResourceCount() const { return static_cast<int>(resources_.size()); }
  // Index of the resource under the point (see HitTestTargets).
  int HitTest(int x, int y) const;
  void Invalidate();
  // Draws every resource in list order onto `hdc`.
  void DrawAll(HDC hdc);

  HWND hwnd() const { return hwnd_; }
  CKeyboardFocus& keyboard() { return keyboard_; }
  const CKeyboardFocus& keyboard() const { return keyboard_; }
  // The keys (WM_KEYDOWN) and the screen reader's question (WM_GETOBJECT)
  // every view answers alike; true, with `*result`, when `msg` was one of them.
  bool HandleAccessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);
  IResourceMgr* resourceManager() const { return resources_mgr_; }
  int hoveredIndex() const { return hovered_; }
  HWND openDialog() const { return openDialog_; }

  // Runs a dialog made by `create` (parent window, resource manager) modally
  // over this view's window. Returns true when the dialog posted
  // WM_DIALOG_CONFIRMED (or WM_DIALOG_RETRY when `retryConfirms`). When a
  // dialog is open already, it is brought back instead and false returned.
  using DialogFactory = std::function<std::unique_ptr<IBaseWindow>(HWND, IResourceMgr*)>;
  bool RunModalDialog(const DialogFactory& create, bool retryConfirms = false);

 protected:
  // The page's state rule for the resource at `index` after message `msg`
  // (WM_MOUSEMOVE, WM_LBUTTONDOWN or WM_RESOURCE_CLICKED); true when any
  // state changed. The default applies the standard button rule.
  virtual bool ApplyStateRule(int index, UINT msg);
  // Every button: not hit → normal; hit by a move → hover; by a press →
  // pressed; by a click → normal. Disabled buttons are left alone unless
  // `includeDisabled`.
  bool StandardButtonRule(int index, UINT msg, bool includeDisabled);

  // The shared mouse scheme.
  LRESULT OnMouseMove(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam);
  LRESULT OnLButtonDown(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam);
  LRESULT OnLButtonUp(const MouseScheme& scheme, WPARAM wparam, LPARAM lparam);

  HWND hwnd_;
  IResourceMgr* resources_mgr_;
  std::vector<std::unique_ptr<IBaseResource>> resources_;
  int hovered_ = -1;
  HWND openDialog_ = nullptr;

 private:
  CKeyboardFocus keyboard_{this};
  CAccessibleView* accessible_ = nullptr;  // one reference held, made on first question
};

// The modal loop: dispatches the dialog's messages (and paints of other
// windows) until the quit message, discards every other message. True when
// WM_DIALOG_CONFIRMED (or, with `retryConfirms`, WM_DIALOG_RETRY) was seen.
bool RunDialogLoop(HWND dialog, bool retryConfirms);

}  // namespace pelmar
