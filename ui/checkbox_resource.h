#pragma once

#include <string>

#include "ui/image_resource.h"

namespace pelmar {

// A caption with a ticked or unticked picture (type 3). The page decides the
// flag; the check box never flips it itself.
class CCheckboxResource final : public CImageResource {
 public:
  CCheckboxResource(int id, const WidgetStyleSet* styles, const std::wstring& caption,
                    Gdiplus::Image* checkedPicture, Gdiplus::Image* uncheckedPicture);

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  void SetChecked(bool checked);
  bool checked() const { return checked_; }
  void SetCaption(const std::wstring& caption) { caption_ = caption; }
  const std::wstring& caption() const { return caption_; }
  const UiRect& iconRect() const { return iconRect_; }
  UiRect CaptionRect() const;

  static WidgetStyleSet DefaultStyles();

 private:
  Gdiplus::Image* CurrentIcon() const { return checked_ ? checkedPicture_ : uncheckedPicture_; }
  void UpdateIconRect();

  Gdiplus::Image* checkedPicture_;
  Gdiplus::Image* uncheckedPicture_;
  bool checked_ = true;
  UiRect iconRect_;
  std::wstring caption_;
};

}  // namespace pelmar
