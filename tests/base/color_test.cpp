#include "base/color.h"

#include <gtest/gtest.h>

#include <QSet>

namespace ovx {
namespace {

TEST(ColorTest, ValuesAsFilesStoreThem) {
  EXPECT_EQ(clWindowText, -16777208);
  EXPECT_EQ(clTransparent, 536870911);
  EXPECT_EQ(clNone, clTransparent);
  EXPECT_EQ(clRed, 255);
  EXPECT_EQ(clBlue, 0xFF0000);
  EXPECT_EQ(clInfoBk, static_cast<Color>(0xFF000018u));

  const Color c = RgbColor(0x12, 0x34, 0x56);
  EXPECT_EQ(c, 0x563412);
  EXPECT_EQ(RedOf(c), 0x12);
  EXPECT_EQ(GreenOf(c), 0x34);
  EXPECT_EQ(BlueOf(c), 0x56);
  EXPECT_EQ(RgbColor(256 + 1, -1, 0), RgbColor(1, 255, 0));
}

TEST(ColorTest, ColorToRgbResolvesOnlySystemColours) {
  const struct {
    Color color;
    Color expected;
  } cases[] = {
      {clWindowText, clBlack},
      {clWindow, clWhite},
      {clBtnFace, RgbColor(240, 240, 240)},
      {clHighlight, RgbColor(0, 120, 215)},
      {clInfoBk, RgbColor(255, 255, 225)},
      {clScrollBar, RgbColor(200, 200, 200)},
      {static_cast<Color>(0xFF00001Au), RgbColor(0, 102, 204)},  // index 26, unnamed here
      {static_cast<Color>(0xFF000019u), clBlack},                // unassigned index
      {static_cast<Color>(0xFF0000FFu), clBlack},                // unknown index
      {clRed, clRed},
      {clWhite, clWhite},
      {clTransparent, clTransparent},  // "no colour" is left for the caller
      {static_cast<Color>(0xFF010008u), static_cast<Color>(0xFF010008u)},  // not 0xFF0000nn
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ColorToRgb(c.color), c.expected) << std::hex << c.color;
    EXPECT_FALSE(IsSystemColor(ColorToRgb(c.color)));
  }
}

TEST(ColorTest, IdentifiersConvertBothWays) {
  EXPECT_EQ(ColorFromIdent(u"clRed"), 255);
  EXPECT_EQ(ColorFromIdent(u"CLRED"), 255);
  EXPECT_EQ(ColorFromIdent(u"clwindowtext"), -16777208);
  EXPECT_EQ(ColorFromIdent(u"clTransparent"), 536870911);
  EXPECT_EQ(ColorFromIdent(u"cl3DDkShadow"), static_cast<Color>(0xFF000015u));
  EXPECT_FALSE(ColorFromIdent(u"clNoSuchColour").has_value());
  EXPECT_FALSE(ColorFromIdent(u"").has_value());
  EXPECT_FALSE(ColorFromIdent(u"clRed ").has_value());

  EXPECT_EQ(ColorToIdent(255), QStringLiteral("clRed"));
  EXPECT_EQ(ColorToIdent(-16777208), QStringLiteral("clWindowText"));
  EXPECT_EQ(ColorToIdent(536870911), QStringLiteral("clNone"));
  EXPECT_FALSE(ColorToIdent(0x123456).has_value());

  QSet<QString> names;
  for (const ColorIdent& ident : ColorIdents()) {
    const QString name = QString::fromLatin1(ident.name);
    EXPECT_FALSE(names.contains(name.toLower())) << ident.name;
    names.insert(name.toLower());
    EXPECT_EQ(ColorFromIdent(name), ident.value) << ident.name;
  }
  EXPECT_EQ(names.size(), 47);  // 20 named colours, clNone, clTransparent, 25 system colours
}

}  // namespace
}  // namespace ovx
