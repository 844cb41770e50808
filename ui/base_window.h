#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/view_geometry.h"

namespace pelmar {

class IBaseView;

// A borderless pop-up window drawn entirely by its view. The window object is
// found from the native window through the property "WndClassPtr".
// User-interface thread only.
class IBaseWindow {
 public:
  // Creates the native window (tool window when `parent` is given), sized by
  // the display rule and centred on the work area. Raises PelmarError
  // "create window error".
  IBaseWindow(unsigned designHeight, HWND parent, const wchar_t* className, unsigned designWidth);
  virtual ~IBaseWindow();
  IBaseWindow(const IBaseWindow&) = delete;
  IBaseWindow& operator=(const IBaseWindow&) = delete;

  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) = 0;

  HWND hwnd() const { return hwnd_; }
  unsigned designWidth() const { return designWidth_; }
  unsigned designHeight() const { return designHeight_; }
  const RECT& workArea() const { return workArea_; }
  // Sets the design size; an existing window is resized and re-centred.
  void SetDesignSize(unsigned width, unsigned height);

  static constexpr wchar_t kWindowProperty[] = L"WndClassPtr";

 protected:
  // The placement by the sizing rule; writes the display scale.
  WindowPlacement ComputePlacement();

  HWND hwnd_ = nullptr;
  RECT workArea_{};
  unsigned designWidth_;
  unsigned designHeight_;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
};

// The monitor's DPI factor, computed on first use and kept for the process.
double ProcessDpiFactor();

// A window with one view (the dialogs): erasing the background does nothing,
// every other message goes to the view, or to the default procedure while
// there is none.
class ViewWindow : public IBaseWindow {
 public:
  // Out of line, like the destructor: only the body knows the view's type.
  ViewWindow(unsigned designHeight, HWND parent, const wchar_t* className, unsigned designWidth);
  ~ViewWindow() override;

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  // Takes ownership (destroying the view before); returns the view, which
  // lives until it is replaced or the window is destroyed.
  template <typename T>
  T* SetView(std::unique_ptr<T> view) {
    T* raw = view.get();
    ReplaceView(std::move(view));
    return raw;
  }
  IBaseView* view() const { return view_.get(); }

 private:
  void ReplaceView(std::unique_ptr<IBaseView> view);

  std::unique_ptr<IBaseView> view_;
};

}  // namespace pelmar
