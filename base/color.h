// Colours as report files and scripts hold them.
//
// A colour is a signed 32-bit value 0x00BBGGRR (red in the low byte). Values
// 0xFF0000nn name the platform's system colour number nn and are resolved
// against a fixed default palette, so output does not depend on the desktop
// theme of the machine that renders. 0x1FFFFFFF means "no colour": nothing is
// drawn. Templates store colours as signed decimals ("-16777208" is window
// text), which is why the type is signed.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <span>

namespace ovx {

using Color = std::int32_t;

// System colours are this plus the platform's colour index.
inline constexpr Color kSystemColorBase = static_cast<Color>(0xFF000000u);

}  // namespace ovx

inline constexpr ovx::Color clBlack = 0x000000;
inline constexpr ovx::Color clMaroon = 0x000080;
inline constexpr ovx::Color clGreen = 0x008000;
inline constexpr ovx::Color clOlive = 0x008080;
inline constexpr ovx::Color clNavy = 0x800000;
inline constexpr ovx::Color clPurple = 0x800080;
inline constexpr ovx::Color clTeal = 0x808000;
inline constexpr ovx::Color clGray = 0x808080;
inline constexpr ovx::Color clSilver = 0xC0C0C0;
inline constexpr ovx::Color clRed = 0x0000FF;
inline constexpr ovx::Color clLime = 0x00FF00;
inline constexpr ovx::Color clYellow = 0x00FFFF;
inline constexpr ovx::Color clBlue = 0xFF0000;
inline constexpr ovx::Color clFuchsia = 0xFF00FF;
inline constexpr ovx::Color clAqua = 0xFFFF00;
inline constexpr ovx::Color clWhite = 0xFFFFFF;
inline constexpr ovx::Color clMoneyGreen = 0xC0DCC0;
inline constexpr ovx::Color clSkyBlue = 0xF0CAA6;
inline constexpr ovx::Color clCream = 0xF0FBFF;
inline constexpr ovx::Color clMedGray = 0xA4A0A0;

inline constexpr ovx::Color clNone = 0x1FFFFFFF;
inline constexpr ovx::Color clTransparent = 0x1FFFFFFF;

inline constexpr ovx::Color clScrollBar = ovx::kSystemColorBase | 0;
inline constexpr ovx::Color clBackground = ovx::kSystemColorBase | 1;
inline constexpr ovx::Color clActiveCaption = ovx::kSystemColorBase | 2;
inline constexpr ovx::Color clInactiveCaption = ovx::kSystemColorBase | 3;
inline constexpr ovx::Color clMenu = ovx::kSystemColorBase | 4;
inline constexpr ovx::Color clWindow = ovx::kSystemColorBase | 5;
inline constexpr ovx::Color clWindowFrame = ovx::kSystemColorBase | 6;
inline constexpr ovx::Color clMenuText = ovx::kSystemColorBase | 7;
inline constexpr ovx::Color clWindowText = ovx::kSystemColorBase | 8;
inline constexpr ovx::Color clCaptionText = ovx::kSystemColorBase | 9;
inline constexpr ovx::Color clActiveBorder = ovx::kSystemColorBase | 10;
inline constexpr ovx::Color clInactiveBorder = ovx::kSystemColorBase | 11;
inline constexpr ovx::Color clAppWorkSpace = ovx::kSystemColorBase | 12;
inline constexpr ovx::Color clHighlight = ovx::kSystemColorBase | 13;
inline constexpr ovx::Color clHighlightText = ovx::kSystemColorBase | 14;
inline constexpr ovx::Color clBtnFace = ovx::kSystemColorBase | 15;
inline constexpr ovx::Color clBtnShadow = ovx::kSystemColorBase | 16;
inline constexpr ovx::Color clGrayText = ovx::kSystemColorBase | 17;
inline constexpr ovx::Color clBtnText = ovx::kSystemColorBase | 18;
inline constexpr ovx::Color clInactiveCaptionText = ovx::kSystemColorBase | 19;
inline constexpr ovx::Color clBtnHighlight = ovx::kSystemColorBase | 20;
inline constexpr ovx::Color cl3DDkShadow = ovx::kSystemColorBase | 21;
inline constexpr ovx::Color cl3DLight = ovx::kSystemColorBase | 22;
inline constexpr ovx::Color clInfoText = ovx::kSystemColorBase | 23;
inline constexpr ovx::Color clInfoBk = ovx::kSystemColorBase | 24;

namespace ovx {

// Channels outside 0..255 keep only their low byte.
constexpr Color RgbColor(int red, int green, int blue) {
  return static_cast<Color>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

// Channel getters read an RGB colour; resolve system colours first.
constexpr int RedOf(Color color) { return color & 0xFF; }
constexpr int GreenOf(Color color) { return (color >> 8) & 0xFF; }
constexpr int BlueOf(Color color) { return (color >> 16) & 0xFF; }

constexpr bool IsSystemColor(Color color) {
  return (static_cast<std::uint32_t>(color) & 0xFFFFFF00u) == 0xFF000000u;
}

// A system colour becomes its RGB value from the default palette (the
// platform's standard scheme; unknown numbers give black, as the platform
// answers for them). Every other value is returned unchanged, clTransparent
// included: "no colour" has no RGB value, so callers test for it before
// drawing rather than after resolving.
Color ColorToRgb(Color color);

struct ColorIdent {
  Color value;
  const char* name;
};

// The standard colour identifiers, named colours first, then the system
// colours in index order. clNone precedes clTransparent, so clNone is the
// name shown for 0x1FFFFFFF; both names are accepted.
std::span<const ColorIdent> ColorIdents();

// "clRed" -> 255; the name is compared ignoring case.
std::optional<Color> ColorFromIdent(QStringView name);

// 255 -> "clRed"; nullopt for a value without a name.
std::optional<QString> ColorToIdent(Color color);

}  // namespace ovx
