#include "ui/edit_resource.h"

#include <vector>

#include "base/pelmar_error.h"
#include "ui/caption_face.h"
#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {
constexpr wchar_t kEditProp[] = L"EditClassPtr";
// Child, visible, border, vertical scroll, automatic horizontal scroll.
constexpr DWORD kEditStyle = 0x50A00080;
constexpr wchar_t kChineseSample[] = L"安装路径";
}  // namespace

CEditResource::CEditResource(HWND parent, const WidgetStyleSet* styles)
    : CImageResource(kId, styles, kTypeEdit) {
  if (!styles) {
    for (int s = 0; s < 4; ++s) {
      styles_[s].textColor = 0xFF1A1A1A;
      styles_[s].fillColor = 0x00FFFFFF;
      styles_[s].borderColor = 0x00FFFFFF;
    }
  }
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", L"C:/", kEditStyle, 0, 0, 100, 25, parent,
                          reinterpret_cast<HMENU>(static_cast<intptr_t>(kId)), instance, nullptr);
  if (!edit_) throw PelmarError("create widget error");
  SetPropW(edit_, kEditProp, this);
  savedProc_ = SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc));

  const WidgetStyle& normal = styles_.ForState(kStateNormal);
  const int height = -static_cast<int>(normal.fontSize * CurrentDisplayScale());
  // Install paths may hold Chinese folder names: the face must have them.
  const std::wstring face = CaptionFace(normal.fontFamily, kChineseSample);
  font_.reset(CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                          (face.empty() ? normal.fontFamily : face).c_str()));
  if (font_) SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
}

CEditResource::~CEditResource() {
  if (edit_ && IsWindow(edit_)) {
    SetWindowLongPtrW(edit_, GWLP_WNDPROC, savedProc_);
    RemovePropW(edit_, kEditProp);
    DestroyWindow(edit_);
  }
  // The font member is deleted after this body, once the window that used it is gone.
}

LRESULT CALLBACK CEditResource::EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = static_cast<CEditResource*>(GetPropW(hwnd, kEditProp));
  if (!self) return DefWindowProcW(hwnd, msg, wparam, lparam);
  // The sunken client edge is drawn by the page itself; skip the frame paint.
  if (msg == WM_NCPAINT && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) return 0;
  // Tab, Enter and Esc belong to the page (focus, main button, close); the
  // field swallows their characters so that it does not beep.
  const bool pageKey = wparam == VK_TAB || wparam == VK_RETURN || wparam == VK_ESCAPE;
  if (msg == WM_KEYDOWN && pageKey) {
    SendMessageW(GetParent(hwnd), msg, wparam, lparam);
    return 0;
  }
  if (msg == WM_CHAR && (wparam == L'\t' || wparam == L'\r' || wparam == 0x1B)) return 0;
  return CallWindowProcW(reinterpret_cast<WNDPROC>(self->savedProc_), hwnd, msg, wparam, lparam);
}

bool CEditResource::Draw(NativeDc) {
  ShowWindow(edit_, SW_SHOW);
  InvalidateRect(edit_, nullptr, TRUE);
  return true;
}

bool CEditResource::SetRect(int left, int top, int right, int bottom) {
  CImageResource::SetRect(left, top, right, bottom);
  MoveWindow(edit_, rect_.left, rect_.top, rect_.Width(), rect_.Height(), TRUE);
  return true;
}

std::wstring CEditResource::GetText(int maxChars) const {
  if (maxChars <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<std::size_t>(maxChars) + 1, L'\0');
  const int n = GetWindowTextW(edit_, buffer.data(), maxChars + 1);
  return std::wstring(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

void CEditResource::SetText(const std::wstring& text) { SetWindowTextW(edit_, text.c_str()); }

}  // namespace pelmar
