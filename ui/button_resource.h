#pragma once

#include <array>
#include <string>

#include "ui/image_resource.h"

namespace pelmar {

// A clickable caption with an optional icon per state (type 2).
class CButtonResource final : public CImageResource {
 public:
  // styles: null gives the blue button of the installer.
  CButtonResource(int id, const std::wstring& caption, const WidgetStyleSet* styles);

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  // Icons of states 0..3; recomputes the icon rectangle when the pointer changes.
  void SetStateIcon(int state, Gdiplus::Image* icon);
  void SetCaption(const std::wstring& caption) { caption_ = caption; }
  const std::wstring& caption() const { return caption_; }
  const UiRect& iconRect() const { return iconRect_; }
  // The caption's rectangle as drawn in the current state.
  UiRect CaptionRect() const;

  static WidgetStyleSet DefaultStyles();

 private:
  Gdiplus::Image* CurrentIcon() const;
  void UpdateIconRect();

  std::array<Gdiplus::Image*, 4> icons_{};
  UiRect iconRect_;
  std::wstring caption_;
};

}  // namespace pelmar
