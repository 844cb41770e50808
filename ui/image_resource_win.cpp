#include "ui/image_resource.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "ui/caption_face.h"
#include "ui/font_fallback.h"
#include "base/win/gdiplus_include.h"

namespace pelmar {
namespace {

void AddRoundedFigure(Gdiplus::GraphicsPath& path, const UiRect& box, int diameter) {
  const auto arcs = RoundedRectArcs(box.left, box.top, box.Width(), box.Height(), diameter);
  for (const ArcSpec& a : arcs) {
    path.AddArc(a.x, a.y, a.size, a.size, a.startAngle, 90.0f);
  }
  path.CloseFigure();
}

void StrokeRoundedRect(Gdiplus::Graphics& g, const UiRect& box, int diameter, Argb color) {
  Gdiplus::Pen pen(Gdiplus::Color(color), 1.0f);
  Gdiplus::GraphicsPath path;
  AddRoundedFigure(path, box, diameter);
  g.DrawPath(&pen, &path);
}

int Diameter(double radiusPixels) { return RoundCoord(2.0 * radiusPixels); }

}  // namespace

void FillRoundedRect(Gdiplus::Graphics& g, const UiRect& box, int diameter, Argb color) {
  if ((color >> 24) == 0 || box.Width() <= 0 || box.Height() <= 0) return;
  Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
  Gdiplus::Pen pen(Gdiplus::Color(color), 1.0f);
  if (diameter <= 0) {
    const Gdiplus::Rect r(box.left, box.top, box.Width() - 1, box.Height() - 1);
    g.FillRectangle(&brush, r);
    g.DrawRectangle(&pen, r);
    return;
  }
  Gdiplus::GraphicsPath path;
  AddRoundedFigure(path, box, diameter);
  g.FillPath(&brush, &path);
  g.DrawPath(&pen, &path);
}

CImageResource::CImageResource(int id, const WidgetStyleSet* styles, int type)
    : IBaseResource(type, id) {
  if (styles) styles_ = *styles;
}

void CImageResource::SetPicture(Gdiplus::Image* picture) {
  if (picture == picture_) return;
  picture_ = picture;
  UpdatePictureRect();
}

bool CImageResource::PictureSize(Gdiplus::Image* picture, unsigned* width, unsigned* height) {
  *width = *height = 0;
  if (!picture || picture->GetLastStatus() != Gdiplus::Ok) return false;
  *width = picture->GetWidth();
  *height = picture->GetHeight();
  return *width > 0 && *height > 0;
}

void CImageResource::UpdatePictureRect() {
  unsigned w = 0, h = 0;
  PictureSize(picture_, &w, &h);
  pictureRect_ = FitCentered(rect_, w, h);
}

bool CImageResource::SetRect(int left, int top, int right, int bottom) {
  rect_ = PlaceWithMargins({left, top, right, bottom}, hMargin_, vMargin_, CurrentDisplayScale(),
                           aspect_);
  UpdatePictureRect();
  return true;
}

void CImageResource::DrawPicture(Gdiplus::Graphics& g, Gdiplus::Image* picture, const UiRect& box) {
  unsigned w = 0, h = 0;
  if (!PictureSize(picture, &w, &h) || box.Width() <= 0 || box.Height() <= 0) return;
  g.DrawImage(picture, Gdiplus::Rect(box.left, box.top, box.Width(), box.Height()));
}

bool CImageResource::DrawBase(Gdiplus::Graphics& g) {
  if (!visible_) return false;
  const WidgetStyle& style = Style();
  const double scale = CurrentDisplayScale();
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  const int diameter = Diameter(style.cornerRadius * scale);
  FillRoundedRect(g, rect_, diameter, style.fillColor);
  DrawPicture(g, picture_, pictureRect_);

  const double borderPixels = style.borderWidth * scale;
  if (borderPixels < 1.0 || (style.borderColor >> 24) == 0) return true;
  if (diameter >= 2) {
    // Nested 1-pixel outlines, each one step further in.
    UiRect r = rect_;
    StrokeRoundedRect(g, r, diameter, style.borderColor);
    const int count = static_cast<int>(borderPixels);
    for (int i = 1; i < count; ++i) {
      r.left += 1;
      r.right -= 1;
      StrokeRoundedRect(g, r, diameter, style.borderColor);
      r.top += 1;
      r.bottom -= 1;
      StrokeRoundedRect(g, r, diameter, style.borderColor);
    }
  } else {
    Gdiplus::Pen pen(Gdiplus::Color(style.borderColor), static_cast<Gdiplus::REAL>(borderPixels));
    g.DrawRectangle(&pen,
                    Gdiplus::Rect(rect_.left, rect_.top, rect_.Width() - 1, rect_.Height() - 1));
  }
  return true;
}

bool CImageResource::Draw(NativeDc hdc) {
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  DrawBase(g);
  return true;
}

void CImageResource::DrawCaption(Gdiplus::Graphics& g, const std::wstring& text, const UiRect& box,
                                 bool noWrap, bool forceVCentre) const {
  if (text.empty() || box.Width() <= 0 || box.Height() <= 0) return;
  const WidgetStyle& style = Style();
  const double scale = CurrentDisplayScale();
  Gdiplus::REAL emPixels = static_cast<Gdiplus::REAL>(style.fontSize * scale);
  const int fontStyle = style.bold        ? Gdiplus::FontStyleBold
                        : style.underline ? Gdiplus::FontStyleUnderline
                                          : Gdiplus::FontStyleRegular;

  const std::wstring face = CaptionFace(style.fontFamily, text);
  if (face.empty()) return;
  const Gdiplus::FontFamily chosen(face.c_str());
  if (!chosen.IsAvailable()) return;
  const Gdiplus::FontFamily* family = &chosen;
  // Only a fallback face is fitted: the designed face is what the boxes were
  // drawn for.
  const bool fitToBox = face != style.fontFamily;

  auto alignment = [](int value) {
    return value == kAlignCentre ? Gdiplus::StringAlignmentCenter
           : value == kAlignFar  ? Gdiplus::StringAlignmentFar
                                 : Gdiplus::StringAlignmentNear;
  };
  const int vAlign = forceVCentre ? kAlignCentre : style.vAlign;
  Gdiplus::StringFormat format;
  format.SetAlignment(alignment(style.hAlign));
  format.SetLineAlignment(alignment(vAlign));
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  if (noWrap) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);

  const Gdiplus::RectF layout(
      static_cast<Gdiplus::REAL>(box.left), static_cast<Gdiplus::REAL>(box.top),
      static_cast<Gdiplus::REAL>(box.Width()), static_cast<Gdiplus::REAL>(box.Height()));
  Gdiplus::SolidBrush brush{Gdiplus::Color(style.textColor)};
  Gdiplus::StringFormat single(&format);
  single.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  single.SetLineAlignment(Gdiplus::StringAlignmentNear);
  auto widthOf = [&](const Gdiplus::Font& font, const std::wstring& s) {
    Gdiplus::RectF used;
    const Gdiplus::RectF wide(0, 0, 1e6f, layout.Height);
    g.MeasureString(s.c_str(), static_cast<INT>(s.size()), &font, wide, &single, &used);
    return used.Width;
  };
  auto breakLines = [&](const Gdiplus::Font& font) {
    if (noWrap) return std::vector<std::wstring>{text};
    return BreakTextLines(text,
                          [&](const std::wstring& s) { return widthOf(font, s) <= layout.Width; });
  };
  if (fitToBox) {
    // A fallback face has other widths: a caption that would not fit its box
    // any more is made smaller, down to three quarters of the design size.
    const Gdiplus::Font design(family, emPixels, fontStyle, Gdiplus::UnitPixel);
    const double needed =
        noWrap ? widthOf(design, text)
               : design.GetHeight(&g) * static_cast<double>(breakLines(design).size());
    const double available = noWrap ? layout.Width : layout.Height;
    emPixels = static_cast<Gdiplus::REAL>(
        FitFontPixels(emPixels, needed, available, MinimumFitPixels(emPixels)));
  }
  if (style.underline && !style.bold) {
    Gdiplus::Font font(family, emPixels, fontStyle, Gdiplus::UnitPixel);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, layout, &format, &brush);
    return;
  }
  // A filled outline keeps correct alpha on a layered window, where GDI text
  // would not. The lines are broken and placed here, one single-line path
  // string each: some GDI+ implementations (Wine's) neither wrap a path string
  // between Chinese characters nor honour its line alignment.
  Gdiplus::Font font(family, emPixels, fontStyle, Gdiplus::UnitPixel);
  std::vector<std::wstring> lines = breakLines(font);
  const Gdiplus::REAL lineHeight = font.GetHeight(&g);
  Gdiplus::REAL total = lineHeight * static_cast<Gdiplus::REAL>(lines.size());
  // Lines below the rectangle are dropped; the first line always shows.
  while (lines.size() > 1 && total > layout.Height) {
    lines.pop_back();
    total -= lineHeight;
  }
  Gdiplus::REAL y = layout.Y;
  if (vAlign == kAlignCentre) y += (layout.Height - total) / 2;
  if (vAlign == kAlignFar) y += layout.Height - total;
  Gdiplus::GraphicsPath path;
  for (const std::wstring& line : lines) {
    const Gdiplus::RectF row(layout.X, y, layout.Width, std::max(lineHeight, 1.0f));
    path.AddString(line.c_str(), static_cast<INT>(line.size()), family, fontStyle, emPixels, row,
                   &single);
    y += lineHeight;
  }
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  g.FillPath(&brush, &path);
}

}  // namespace pelmar
