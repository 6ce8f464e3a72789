#include "script/parser.h"

#include "script/languages.h"
#include "script/script_languages.h"

#include <gtest/gtest.h>

#include <functional>

namespace ovx {
namespace {

// A tokenizer configured as dialect `language` reads `text`.
TksParser Dialect(const QString& language, const QString& text) {
  RegisterScriptLanguages();
  TksParser parser;
  FindLanguage(language)->Configure(parser);
  parser.SetText(text);
  return parser;
}

enum class Reader { kNumber, kChar, kString, kWord, kIdent, kEol, kOvString };

QString Read(TksParser& parser, Reader reader) {
  switch (reader) {
    case Reader::kNumber:
      return parser.GetNumber();
    case Reader::kChar:
      parser.SkipSpaces();
      return parser.GetChar();
    case Reader::kString:
      return parser.GetString();
    case Reader::kWord:
      return parser.GetWord();
    case Reader::kIdent:
      return parser.GetIdent();
    case Reader::kEol:
      return parser.GetEOL() ? QStringLiteral("EOL") : QStringLiteral("no EOL");
    case Reader::kOvString:
      return parser.GetOvString();
  }
  return QString();
}

TEST(TokenizerTest, ReadersTable) {
  struct Step {
    Reader reader;
    const char16_t* token;
  };
  struct Case {
    const char* language;
    const char16_t* text;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"PascalScript",
       u"1..5",
       {{Reader::kNumber, u"1"},
        {Reader::kChar, u"."},
        {Reader::kChar, u"."},
        {Reader::kNumber, u"5"}}},
      {"C++Script", u"0x1F", {{Reader::kNumber, u"$1F"}}},
      {"PascalScript",
       u"$ff + 2.5E-3 1.5e",
       {{Reader::kNumber, u"$ff"},
        {Reader::kChar, u"+"},
        {Reader::kNumber, u"2.5E-3"},
        {Reader::kNumber, u"1.5"},
        {Reader::kWord, u"e"}}},
      {"PascalScript", u"'it''s'", {{Reader::kString, u"'it's'"}}},
      {"C++Script", u"\"a\\\"b\\n\"", {{Reader::kString, u"'a\"b\n'"}}},
      {"C++Script", u"\"\\x41\\x\\X4142\\q\"", {{Reader::kString, u"'ABq'"}}},
      {"PascalScript", u"'a'#13#10'b'", {{Reader::kString, u"'a\r\nb'"}}},
      {"PascalScript", u"#$41#128512", {{Reader::kString, u"'A\U0001F600'"}}},
      // A code past the last code point ends the string there.
      {"PascalScript", u"'a'#99999999999", {{Reader::kString, u"'a'"}, {Reader::kChar, u"#"}}},
      {"PascalScript", u"'abc", {{Reader::kString, u""}, {Reader::kChar, u"'"}}},
      {"PascalScript", u"'a\u0001b'", {{Reader::kString, u""}}},
      {"C++Script",
       u"IF if",
       {{Reader::kIdent, u"IF"}, {Reader::kIdent, u""}, {Reader::kWord, u"if"}}},
      {"PascalScript",
       u"BEGIN begin",
       {{Reader::kIdent, u""}, {Reader::kWord, u"BEGIN"}, {Reader::kIdent, u""}}},
      {"PascalScript", u"{ c } (* d *) // e\r\nx", {{Reader::kWord, u"x"}}},
      // A block comment opened and closed by the same marker: scanned from
      // after the opening one.
      {"BasicScript", u"/\\ c /\\x", {{Reader::kWord, u"x"}}},
      {"BasicScript", u"' note\r\nx", {{Reader::kEol, u"no EOL"}, {Reader::kWord, u"x"}}},
      {"BasicScript",
       u"x ' note\r\ny",
       {{Reader::kWord, u"x"}, {Reader::kEol, u"EOL"}, {Reader::kWord, u"y"}}},
      {"BasicScript", u"remaining", {{Reader::kWord, u"remaining"}}},
      {"BasicScript", u"REM note\r\nx", {{Reader::kWord, u"x"}}},
      {"BasicScript", u"y Rem note\r\n", {{Reader::kWord, u"y"}, {Reader::kEol, u"EOL"}}},
      {"BasicScript",
       u"a _\r\nb",
       {{Reader::kWord, u"a"}, {Reader::kEol, u"no EOL"}, {Reader::kWord, u"b"}}},
      {"BasicScript", u"a _ ' why\r\nb", {{Reader::kWord, u"a"}, {Reader::kWord, u"b"}}},
      {"BasicScript", u"_x = 1", {{Reader::kWord, u"_x"}}},
      {"BasicScript",
       u"a\nb\r\n",
       {{Reader::kWord, u"a"},
        {Reader::kEol, u"no EOL"},
        {Reader::kWord, u"b"},
        {Reader::kEol, u"EOL"}}},
      {"PascalScript",
       u"'>' + f(<a>) ] > x",
       {{Reader::kOvString, u"'>' + f(<a>) "}, {Reader::kChar, u"]"}}},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    TksParser parser = Dialect(QString::fromLatin1(c.language), text);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(Read(parser, c.steps[i].reader), QString::fromUtf16(c.steps[i].token))
          << c.language << " " << text.toStdString() << " step " << i;
    }
  }
}

TEST(TokenizerTest, PositionsAsLineAndColumn) {
  TksParser parser = Dialect(QStringLiteral("PascalScript"), QStringLiteral("ab\r\ncd"));
  EXPECT_EQ(parser.XYPosition(5), QStringLiteral("2:1"));
  EXPECT_EQ(parser.XYPosition(4), QStringLiteral("1:4"));
  EXPECT_EQ(parser.XYPosition(1), QStringLiteral("1:1"));
  EXPECT_EQ(parser.PosToPoint(1, 2), 5);
  EXPECT_EQ(parser.PosToPoint(1, 3), -1);
  EXPECT_EQ(parser.PosToPoint(1, 0), -1);
}

TEST(TokenizerTest, ExtendedCharsetTakesNationalLettersNotSpaces) {
  RegisterScriptLanguages();
  TksParser parser;
  FindLanguage(QStringLiteral("PascalScript"))->Configure(parser);
  parser.SetExtendedCharset(true);
  parser.SetText(QString::fromUtf16(u"\u5099\u6ce8\uff11 \U00020000a \u00a0x \uff11b"));
  EXPECT_EQ(parser.GetWord(), QString::fromUtf16(u"\u5099\u6ce8\uff11"));
  EXPECT_EQ(parser.GetWord(), QString::fromUtf16(u"\U00020000a"));
  EXPECT_EQ(parser.GetWord(), QString());  // NBSP is not a letter
}

TEST(TokenizerTest, HostileTextsEndWithoutCrash) {
  const QString texts[] = {
      QString(1000000, u'_'),
      QStringLiteral("' c\r\n").repeated(200000),
      QStringLiteral("a _\r\n").repeated(200000),
      QString(QChar(u'\0')) + QStringLiteral("'a") + QChar(u'\0') + u'#',
      QStringLiteral("/\\ never closed"),
  };
  for (const QString& text : texts) {
    TksParser parser = Dialect(QStringLiteral("BasicScript"), text);
    int guard = 0;
    while (parser.Position() <= parser.Size() && ++guard < 10) {
      const int before = parser.Position();
      parser.GetWord();
      parser.GetNumber();
      parser.GetString();
      parser.GetEOL();
      parser.GetChar();
      if (parser.Position() == before) parser.SetPosition(before + 1);
    }
    SUCCEED();
  }
}

TEST(TokenizerTest, EmptyMarkersNeverMatch) {
  TksParser parser;
  parser.SetCommentLine1(QString());
  parser.SetCommentBlock1(QStringLiteral(","));
  parser.SetCommentBlock2(QStringLiteral("(*"));
  parser.SetHexSequence(QString());   // keeps "$"
  parser.SetStringQuotes(QString());  // keeps "'"
  parser.SetText(QStringLiteral("x $1F 'q'"));
  EXPECT_EQ(parser.GetWord(), QStringLiteral("x"));
  EXPECT_EQ(parser.GetNumber(), QStringLiteral("$1F"));
  EXPECT_EQ(parser.GetString(), QStringLiteral("'q'"));
}

}  // namespace
}  // namespace ovx
