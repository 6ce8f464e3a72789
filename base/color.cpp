#include "base/color.h"

#include <array>

namespace ovx {
namespace {

// Default RGB values of the platform's system colour indices 0..30, as its
// standard (non-high-contrast) scheme has them. Index 25 is unassigned.
constexpr std::array<Color, 31> kSystemPalette = {
    RgbColor(200, 200, 200),  //  0 scroll bar
    RgbColor(0, 0, 0),        //  1 desktop background
    RgbColor(153, 180, 209),  //  2 active caption
    RgbColor(191, 205, 219),  //  3 inactive caption
    RgbColor(240, 240, 240),  //  4 menu
    RgbColor(255, 255, 255),  //  5 window
    RgbColor(100, 100, 100),  //  6 window frame
    RgbColor(0, 0, 0),        //  7 menu text
    RgbColor(0, 0, 0),        //  8 window text
    RgbColor(0, 0, 0),        //  9 caption text
    RgbColor(180, 180, 180),  // 10 active border
    RgbColor(244, 247, 252),  // 11 inactive border
    RgbColor(171, 171, 171),  // 12 application workspace
    RgbColor(0, 120, 215),    // 13 highlight
    RgbColor(255, 255, 255),  // 14 highlight text
    RgbColor(240, 240, 240),  // 15 button face
    RgbColor(160, 160, 160),  // 16 button shadow
    RgbColor(109, 109, 109),  // 17 grey text
    RgbColor(0, 0, 0),        // 18 button text
    RgbColor(0, 0, 0),        // 19 inactive caption text
    RgbColor(255, 255, 255),  // 20 button highlight
    RgbColor(105, 105, 105),  // 21 3D dark shadow
    RgbColor(227, 227, 227),  // 22 3D light
    RgbColor(0, 0, 0),        // 23 tooltip text
    RgbColor(255, 255, 225),  // 24 tooltip background
    RgbColor(0, 0, 0),        // 25 unassigned
    RgbColor(0, 102, 204),    // 26 hot-tracked item
    RgbColor(185, 209, 234),  // 27 active caption gradient
    RgbColor(215, 228, 242),  // 28 inactive caption gradient
    RgbColor(0, 120, 215),    // 29 menu highlight
    RgbColor(240, 240, 240),  // 30 menu bar
};

constexpr ColorIdent kIdents[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clNone, "clNone"},
    {clTransparent, "clTransparent"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
};

}  // namespace

Color ColorToRgb(Color color) {
  if (!IsSystemColor(color)) return color;
  const auto index = static_cast<std::size_t>(color & 0xFF);
  return index < kSystemPalette.size() ? kSystemPalette[index] : clBlack;
}

std::span<const ColorIdent> ColorIdents() { return kIdents; }

std::optional<Color> ColorFromIdent(QStringView name) {
  for (const ColorIdent& ident : kIdents) {
    if (name.compare(QLatin1StringView(ident.name), Qt::CaseInsensitive) == 0) return ident.value;
  }
  return std::nullopt;
}

std::optional<QString> ColorToIdent(Color color) {
  for (const ColorIdent& ident : kIdents) {
    if (ident.value == color) return QString::fromLatin1(ident.name);
  }
  return std::nullopt;
}

}  // namespace ovx
