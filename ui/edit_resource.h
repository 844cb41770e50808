#pragma once

#include <string>

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "ui/image_resource.h"

namespace pelmar {

// A native single-line edit field (type 6, id 5) inside the view's window.
// The control paints itself; Draw only shows it.
class CEditResource final : public CImageResource {
 public:
  // Raises PelmarError "create widget error" when the control cannot be made.
  CEditResource(HWND parent, const WidgetStyleSet* styles);
  ~CEditResource() override;

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  // Up to `maxChars` characters of the field's text.
  std::wstring GetText(int maxChars = 260) const;
  void SetText(const std::wstring& text);
  HWND hwnd() const { return edit_; }

  static constexpr int kId = 5;

 private:
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND edit_ = nullptr;
  win::ScopedGdiObject<HFONT> font_;  // deleted after the window (member order)
  LONG_PTR savedProc_ = 0;
};

}  // namespace pelmar
