#pragma once

#include <string>

#include "ui/base_resource.h"
#include "ui/widget_style.h"

namespace Gdiplus {
class Graphics;
class Image;
}  // namespace Gdiplus

namespace pelmar {

// A picture with a style: fill, border, rounded corners. The base of every
// drawn resource. Types 0 (hit-testing looks through it) and 1 (it stops
// hit-testing). User-interface thread only.
class CImageResource : public IBaseResource {
 public:
  // styles: copied; null gives the defaults.
  CImageResource(int id, const WidgetStyleSet* styles, int type);

  bool Draw(NativeDc hdc) override;
  // Picture placement: margins, aspect ratio, then the picture's own proportions.
  bool SetRect(int left, int top, int right, int bottom) override;

  void SetState(int state) { state_ = state; }
  int state() const { return state_; }
  // Recomputes the picture rectangle only when the pointer changes.
  void SetPicture(Gdiplus::Image* picture);
  Gdiplus::Image* picture() const { return picture_; }
  void SetAspectRatio(double aspect) { aspect_ = aspect; }
  // Design pixels, taken inward on each side; negative values grow the resource.
  void SetMargins(int horizontal, int vertical) {
    hMargin_ = horizontal;
    vMargin_ = vertical;
  }
  const WidgetStyle& Style() const { return styles_.ForState(state_); }
  WidgetStyleSet& styles() { return styles_; }
  const UiRect& pictureRect() const { return pictureRect_; }

 protected:
  // Fill, picture and border of the current style; false when invisible.
  bool DrawBase(Gdiplus::Graphics& g);
  // The caption in `box`: a filled glyph outline, or anti-aliased text when
  // underlined. noWrap for single-line captions; forceVCentre (check boxes)
  // centres vertically whatever the style says.
  void DrawCaption(Gdiplus::Graphics& g, const std::wstring& text, const UiRect& box, bool noWrap,
                   bool forceVCentre) const;
  static void DrawPicture(Gdiplus::Graphics& g, Gdiplus::Image* picture, const UiRect& box);
  static bool PictureSize(Gdiplus::Image* picture, unsigned* width, unsigned* height);
  void UpdatePictureRect();

  int state_ = kStateNormal;
  WidgetStyleSet styles_;
  int hMargin_ = 0;
  int vMargin_ = 0;
  double aspect_ = 0.0;
  Gdiplus::Image* picture_ = nullptr;
  UiRect pictureRect_;
};

// Fills (and strokes once with the same colour, as 1-pixel edges) the rounded
// rectangle of `box` with corner diameter `diameter`; 0 gives square corners.
void FillRoundedRect(Gdiplus::Graphics& g, const UiRect& box, int diameter, Argb color);

}  // namespace pelmar
