// The shipped data: the body text keeps the typesetter's conventions, and
// the private font draws every character of it, the rare ones at their
// single-byte signs with the glyph of the real character.
#include "app/core/fixed_data.h"
#include "platform/font_service.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ovx::app {
namespace {

QString ChineseNumber(int n) {
  static const QString digits = QStringLiteral("零一二三四五六七八九");
  if (n < 10) return digits[n];
  const int tens = n / 10;
  const int units = n % 10;
  return (tens == 1 ? QString() : QString(digits[tens])) + u'十' +
         (units ? QString(digits[units]) : QString());
}

TEST(FixedDataTest, BodyTextConventions) {
  const QStringList lines = BodyTextLines();
  ASSERT_EQ(lines.size(), 16);
  const QString text = lines.join(QString());
  EXPECT_GE(text.size(), 7000);
  EXPECT_LE(text.size(), 7500);
  // Two parts, 81 chapters in order, each "第N章", a space, a name, "x".
  EXPECT_TRUE(text.startsWith(QStringLiteral("道经x第一章 ")));
  EXPECT_EQ(text.count(QStringLiteral("德经x第三十八章 ")), 1);
  static const QRegularExpression chapter(
      QStringLiteral("第([一二三四五六七八九十]+)章 (\\p{Han}{2})x"));
  int n = 0;
  for (const QRegularExpressionMatch& m : chapter.globalMatch(text)) {
    ++n;
    EXPECT_EQ(m.captured(1), ChineseNumber(n));
  }
  EXPECT_EQ(n, 81);
  // ASCII only as mark-up: "x", the space before each name, and the signs
  // of the rare characters.
  QString signs;
  for (const RareCharacter& r : kRareCharacters) signs += QChar(r.sign);
  for (QChar c : text) {
    if (c.unicode() < 0x80) {
      EXPECT_TRUE(c == u'x' || c == u' ' || signs.contains(c)) << static_cast<int>(c.unicode());
    }
    for (const RareCharacter& r : kRareCharacters) EXPECT_NE(c, QChar(r.real));
  }
  EXPECT_EQ(text.count(u' '), 81);
  EXPECT_EQ(TitleLines(), (QStringList{"道", "德", "经"}));
}

TEST(FixedDataTest, PrivateFontCoversTheText) {
  FontService& fonts = FontService::Instance();
  const QString path = QStringLiteral(VELMORA_APP_DATA_DIR "/KaitiVelmora.otf");
  QString error;
  ASSERT_TRUE(fonts.AddPrivateFont(path, &error)) << error.toStdString();
  const FontFace& face = fonts.Resolve(QString::fromUtf16(kPrivateFace), 0);
  EXPECT_EQ(face.FamilyName(), QString::fromUtf16(kPrivateFace));
  const QString text = BodyTextLines().join(QString()) + TitleLines().join(QString());
  for (char32_t c : text.toUcs4()) EXPECT_NE(face.GlyphIndex(c), 0u) << static_cast<int>(c);
  for (const RareCharacter& r : kRareCharacters) {
    EXPECT_NE(face.GlyphIndex(r.real), 0u);
    EXPECT_EQ(face.GlyphIndex(r.sign), face.GlyphIndex(r.real)) << static_cast<int>(r.sign);
  }
  fonts.RemovePrivateFont(path);
}

}  // namespace
}  // namespace ovx::app
