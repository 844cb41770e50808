#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pelmar {

// 32-bit ARGB, alpha in the top byte; alpha 0 draws nothing.
using Argb = uint32_t;

// Text alignment values of a style.
inline constexpr int kAlignNear = 0;
inline constexpr int kAlignCentre = 1;
inline constexpr int kAlignFar = 2;

// The family every style starts with: "SimHei" on Windows XP, which lacks the
// newer family, "Microsoft Yahei" elsewhere.
const std::wstring& DefaultFontFamily();

// How a resource looks in one visual state. Sizes are design pixels.
struct WidgetStyle {
  Argb textColor = 0xFF000000;
  Argb fillColor = 0x00FFFFFF;
  unsigned borderWidth = 0;
  int cornerRadius = 0;
  Argb borderColor = 0xFFC0C0C0;
  unsigned fontSize = 16;
  std::wstring fontFamily = DefaultFontFamily();
  bool underline = false;
  bool bold = false;
  int hAlign = kAlignNear;
  int vAlign = kAlignCentre;
  int iconPlacement = 0;  // 0 icon on the left, 1 on the right
};

// Visual states of buttons and check boxes.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateHover = 1;
inline constexpr int kStatePressed = 2;
inline constexpr int kStateDisabled = 3;

// One style per visual state.
struct WidgetStyleSet {
  std::array<WidgetStyle, 4> states;

  WidgetStyle& operator[](int state) { return states[static_cast<std::size_t>(state)]; }
  // The record of `state`; any other value gets a default-constructed record.
  const WidgetStyle& ForState(int state) const;
};

}  // namespace pelmar
