#include "script/il_parser.h"

#include "base/stream.h"
#include "script/messages.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

// The tree without positions, as nested text: wrappers as name(children),
// leaves as name:text, the trailing `types` left out.
QString Shape(const TksXMLItem* item) {
  if (item->Count() == 0) {
    const QString text = item->Prop(QStringLiteral("text"));
    return text.isEmpty() ? item->Name() : item->Name() + u':' + text;
  }
  QStringList children;
  for (int i = 0; i < item->Count(); ++i) {
    if (item->Items(i)->Name() == u"types" && item->Name() == u"program") continue;
    children << Shape(item->Items(i));
  }
  return item->Name() + u'(' + children.join(u' ') + u')';
}

struct Result {
  bool ok;
  QString shape;
  QString error;  // "MESSAGE @ POS [UNIT]"
};

Result Parse(const QString& language, const QString& text,
             TksScript::GetUnitEvent units = nullptr) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetSyntaxType(language);
  script.SetText(text);
  if (units) script.SetOnGetUnit(std::move(units));
  TksILParser parser(script);
  parser.SelectLanguage(language);
  Result result;
  result.ok = parser.MakeILScript(script.SourceText());
  if (result.ok) result.shape = Shape(parser.ILScript().Root());
  result.error = script.ErrorMsg() + QStringLiteral(" @ ") + script.ErrorPos();
  if (!script.ErrorUnit().isEmpty())
    result.error += QStringLiteral(" [") + script.ErrorUnit() + u']';
  return result;
}

TEST(IlParserTest, SyntaxErrorsTable) {
  struct Case {
    const char* language;
    const char16_t* text;
    const char16_t* error;
  };
  const Case cases[] = {
      {"PascalScript", u"begin x : = 1 end.", u"'=' expected @ 1:11"},
      {"C++Script", u"{ x = 1 }", u"';' expected @ 1:9"},
      {"PascalScript", u"", u"'BEGIN' expected @ 1:1"},
      {"PascalScript", u"begin\r\n  x := 1\r\n  y := 2\r\nend.", u"';' expected @ 3:3"},
      {"PascalScript", u"begin x := (1 + 2; end.", u"')' expected @ 1:18"},
      // An identifier lower bound in a set range reads as a designator.
      {"PascalScript", u"begin x := [a..b]; end.", u"Identifier expected @ 1:15"},
      // Text the program did not take is an error in dialects whose
      // statements stand at top level, at its position.
      {"BasicScript", u"Wend\r\nx = 1", u"End of line expected @ 1:1"},
      {"BasicScript", u"x = 1\r\nWend\r\ny = 2", u"End of line expected @ 2:1"},
      {"JScript", u"a = 1; } b = 2;", u"Statement expected @ 1:8"},
      {"BasicScript", u"remaining = 1\r\nIf x Then\r\n", u"'END' expected @ 3:1"},
  };
  for (const Case& c : cases) {
    const Result result = Parse(QString::fromLatin1(c.language), QString::fromUtf16(c.text));
    EXPECT_FALSE(result.ok) << QString::fromUtf16(c.text).toStdString();
    EXPECT_EQ(result.error, QString::fromUtf16(c.error))
        << QString::fromUtf16(c.text).toStdString();
  }
}

TEST(IlParserTest, TreeShapesTable) {
  struct Case {
    const char* language;
    const char16_t* text;
    const char16_t* part;  // must occur in the shape
  };
  const Case cases[] = {
      // A dropped alternative leaves nothing behind: one bound, not two.
      {"PascalScript", u"var a: array[5] of Integer; begin end.", u"array(dim(expr(number:5)))"},
      {"PascalScript", u"var a: array[1..5] of Integer; begin end.",
       u"array(dim(expr(number:1) expr(number:5)))"},
      {"PascalScript", u"begin x := [1..5, 7]; end.",
       u"set(expr(number:1) range:. expr(number:5) expr(number:7))"},
      {"C++Script", u"{ a += 1; }", u"assignstmt(dsgn(node:a) modificator:+ expr(number:1))"},
      {"C++Script", u"{ x = a == b; }", u"expr(dsgn(node:a) op:= dsgn(node:b))"},
      {"C++Script", u"{ x = !a; }", u"expr(op:not dsgn(node:a))"},
      {"C++Script", u"{ x = a != b; }", u"expr(dsgn(node:a) op:<> dsgn(node:b))"},
      {"C++Script", u"{ x = a * b; }", u"expr(dsgn(node:a) op:* dsgn(node:b))"},
      {"C++Script", u"{ i++; }", u"callstmt(dsgn(node:i) modificator:+)"},
      {"JScript", u"x = !a;", u"expr(op:not dsgn(node:a))"},
      {"JScript", u"x = a != b;", u"expr(dsgn(node:a) op:<> dsgn(node:b))"},
      {"BasicScript", u"x = \"a\" & \"b\"", u"expr(string:'a' op:strcat string:'b')"},
      {"BasicScript", u"x = 7 \\ 2", u"expr(number:7 op:div number:2)"},
      {"BasicScript", u"x = 7 * 2", u"expr(number:7 op:* number:2)"},
      // `rem` is a comment only as a whole word, in any case.
      {"BasicScript", u"remaining = 1 REM note\r\nRem x = 2\r\n",
       u"compoundstmt(assignstmt(dsgn(node:remaining) expr(number:1)))"},
      {"PascalScript", u"begin case x of 1: a := 1; 2: a := 2; else a := 3; end; end.",
       u"casestmt(expr(dsgn(node:x)) caseselector(set(expr(number:1)) assignstmt("},
      {"PascalScript", u"begin case x of 1: a := 1; end; end.", u"casestmt("},
      // A dangling operator after two operands is dropped (the loop keeps
      // what its last complete pass read).
      {"PascalScript", u"begin x := 1 + 2 + ; end.", u"expr(number:1 op:+ number:2 op:+)"},
      {"PascalScript", u"begin x := <Date> + f(1, 2,) end.",
       u"expr(dsgn(node:Get expr(string:'Date')) op:+ dsgn(node:f expr(number:1) "
       u"expr(number:2)))"},
      {"PascalScript", u"begin x := (a = 1) and (b = 2) end.", u"op:and op:("},
      {"C++Script", u"{ x = (a == 1) && (b == 2); }", u"op:) op:and op:("},
      // && and || bind like * and +: without parentheses the comparison
      // takes the conjunction as its operand.
      {"C++Script", u"{ x = a == 1 && b == 2; }",
       u"expr(dsgn(node:a) op:= number:1 op:and dsgn(node:b) op:= number:2)"},
      // Entities in script strings are text, not markup.
      {"PascalScript", u"begin x := '&quot;<>&#65;' end.", u"string:'&quot;<>&#65;'"},
      // An empty report expression still calls Get.
      {"PascalScript", u"begin x := <> end.", u"dsgn(node:Get expr(string:''))"},
      // Text after the main block is not examined in PascalScript.
      {"PascalScript", u"begin end. this is ignored", u"program(compoundstmt)"},
  };
  for (const Case& c : cases) {
    const Result result = Parse(QString::fromLatin1(c.language), QString::fromUtf16(c.text));
    ASSERT_TRUE(result.ok) << QString::fromUtf16(c.text).toStdString() << ": "
                           << result.error.toStdString();
    EXPECT_TRUE(result.shape.contains(QString::fromUtf16(c.part)))
        << QString::fromUtf16(c.text).toStdString() << "\n  shape: " << result.shape.toStdString();
  }
}

TEST(IlParserTest, LanguageDirectiveOnTheFirstLineOnly) {
  const QString basic = QStringLiteral("#language BasicScript\r\nx = 1\r\n");
  Result result = Parse(QStringLiteral("PascalScript"), basic);
  EXPECT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.shape, QStringLiteral("program(compoundstmt(assignstmt(dsgn(node:x) "
                                         "expr(number:1))))"));
  EXPECT_FALSE(Parse(QStringLiteral("PascalScript"), u' ' + basic).ok);
  // LF-only, and no line end at all: the name stops at the line end, and
  // the parse never starts past the text.
  EXPECT_TRUE(Parse(QStringLiteral("PascalScript"), QStringLiteral("#language BasicScript")).ok);
  // A script of nothing but blanks and comments is an empty program.
  EXPECT_EQ(Parse(QStringLiteral("BasicScript"), QStringLiteral("' only a comment\r\n")).shape,
            QStringLiteral("program()"));
  RegisterScriptLanguages();
  TksScript script;
  TksILParser parser(script);
  parser.SelectLanguage(QStringLiteral("PascalScript"));
  EXPECT_TRUE(parser.MakeILScript(QStringLiteral("#language BasicScript\nx = 1\r\n")));
  EXPECT_TRUE(parser.MakeILScript(QStringLiteral("#language BasicScript")));
  EXPECT_EQ(parser.ILScript().Root()->Count(), 1);  // only `types`
}

TEST(IlParserTest, UnitsAreIncludedOnceAndReportTheirErrors) {
  const auto units = [](TksScript&, const QString& unit, QString& text) {
    if (unit == u"a.pas") text = QStringLiteral("uses 'b.pas';\r\nbegin end.");
    if (unit == u"b.pas") text = QStringLiteral("uses 'a.pas';\nbegin x := 1 end.");
    if (unit == u"bad.pas") text = QStringLiteral("begin x := end.");
    if (unit == u"lf.vb") text = QStringLiteral("x = 1\ny = 2\n' comment\nz = 3");
  };
  Result result = Parse(QStringLiteral("PascalScript"),
                        QStringLiteral("uses 'a.pas', 'b.pas'; begin end."), units);
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.shape.count(QStringLiteral("uses(")), 2) << result.shape.toStdString();
  EXPECT_EQ(result.shape.count(QStringLiteral("node:x")), 1) << result.shape.toStdString();

  result =
      Parse(QStringLiteral("PascalScript"), QStringLiteral("uses 'bad.pas'; begin end."), units);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, QStringLiteral("Expression expected @ 1:12 [bad.pas]"));

  // A unit with LF line ends reads as lines in BasicScript too.
  result = Parse(QStringLiteral("BasicScript"), QStringLiteral("Imports \"lf.vb\"\r\n"), units);
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.shape.count(QStringLiteral("assignstmt(")), 3) << result.shape.toStdString();
}

TEST(IlParserTest, UnitsNestedWithoutEndAreAnError) {
  // Every unit names a new one: the nesting bound ends it.
  const auto units = [](TksScript&, const QString& unit, QString& text) {
    text = QStringLiteral("uses '%1x'; begin end.").arg(unit);
  };
  const Result result =
      Parse(QStringLiteral("PascalScript"), QStringLiteral("uses 'u'; begin end."), units);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.startsWith(QStringLiteral("Units nested too deeply @ 1:")))
      << result.error.toStdString();
}

TEST(IlParserTest, UnitFilesAreFoundThroughTheIncludePath) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.filePath(QStringLiteral("lib.pas")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("var v: Integer;\nbegin v := 1 end.");
  file.close();
  const QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  RegisterScriptLanguages();
  TksScript script;  // IncludePath: one empty entry, the current directory
  script.SetText(QStringLiteral("uses 'lib.pas'; begin end."));
  MemoryStream out;
  const bool ok = script.GetILCode(out);
  QDir::setCurrent(old);
  EXPECT_TRUE(ok) << script.ErrorMsg().toStdString();
  EXPECT_TRUE(out.Data().contains("<uses unit=\"lib.pas\">"));

  // A unit file that is not UTF-8 is read as GBK.
  QFile gbk(dir.filePath(QStringLiteral("gbk.pas")));
  ASSERT_TRUE(gbk.open(QIODevice::WriteOnly));
  gbk.write("var \xb1\xe4\xc1\xbf: Integer;\r\nbegin end.");
  gbk.close();
  TksScript national;
  national.SetExtendedCharset(true);
  national.IncludePath() = QStringList{dir.path()};
  national.SetText(QStringLiteral("uses 'gbk.pas'; begin end."));
  MemoryStream tree;
  EXPECT_TRUE(national.GetILCode(tree)) << national.ErrorMsg().toStdString();
  EXPECT_TRUE(
      QString::fromUtf8(tree.Data()).contains(QString::fromUtf16(u"text=\"\u53d8\u91cf\"")));

  TksScript missing;
  missing.IncludePath() = QStringList{dir.path()};
  missing.SetText(QStringLiteral("uses 'none.pas'; begin end."));
  EXPECT_FALSE(missing.GetILCode(out));
  EXPECT_TRUE(missing.ErrorMsg().contains(QStringLiteral("none.pas")));
}

TEST(IlParserTest, DeepNestingIsAnErrorNotACrash) {
  const QString texts[] = {
      QStringLiteral("begin x := ") + QString(100000, u'(') + QStringLiteral("1 end."),
      QStringLiteral("begin x := ") + QStringLiteral("1 + ").repeated(100000) +
          QStringLiteral("1 end."),
      QStringLiteral("begin ") + QStringLiteral("begin ").repeated(100000) +
          QStringLiteral("end.").repeated(1),
  };
  for (const QString& text : texts) {
    const Result result = Parse(QStringLiteral("PascalScript"), text);
    if (!result.ok) {
      EXPECT_FALSE(result.error.startsWith(QStringLiteral(" @")));
    }
  }
  EXPECT_FALSE(Parse(QStringLiteral("PascalScript"), texts[0]).ok);
}

TEST(IlParserTest, UnknownDialectIsACompileError) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetSyntaxType(QStringLiteral("Cobol"));
  script.SetText(QStringLiteral("x"));
  MemoryStream out;
  EXPECT_FALSE(script.GetILCode(out));
  EXPECT_EQ(script.ErrorMsg(), QStringLiteral("Language 'Cobol' not found"));
  EXPECT_EQ(out.Size(), 0);

  // The message follows the localised table, and goes back without it.
  SetScriptMessages(
      {{QStringLiteral("SLangNotFound"), QString::fromUtf16(u"\u627e\u4e0d\u5230 '%s'")}});
  EXPECT_FALSE(script.GetILCode(out));
  EXPECT_EQ(script.ErrorMsg(), QString::fromUtf16(u"\u627e\u4e0d\u5230 'Cobol'"));
  SetScriptMessages({});
  EXPECT_FALSE(script.GetILCode(out));
  EXPECT_EQ(script.ErrorMsg(), QStringLiteral("Language 'Cobol' not found"));
}

}  // namespace
}  // namespace ovx

namespace ovx {
namespace {

// The fuzz seeds are sound programs (first byte: the dialect) and sound
// documents.
TEST(IlParserTest, FuzzSeedsParse) {
  RegisterScriptLanguages();
  const char* const dialects[] = {"PascalScript", "C++Script", "BasicScript", "JScript"};
  const QDir compile(QStringLiteral(VELMORA_SCRIPT_SEEDS "/compile"));
  const QStringList seeds = compile.entryList(QDir::Files);
  ASSERT_FALSE(seeds.isEmpty());
  for (const QString& name : seeds) {
    QFile file(compile.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_FALSE(bytes.isEmpty());
    TksScript script;
    script.SetSyntaxType(QString::fromLatin1(dialects[bytes[0] % 4]));
    script.SetText(QString::fromUtf8(bytes.mid(1)));
    script.SetOnGetUnit([](TksScript&, const QString&, QString& text) { text.clear(); });
    MemoryStream out;
    EXPECT_TRUE(script.GetILCode(out))
        << name.toStdString() << ": " << script.ErrorMsg().toStdString();
  }
  const QDir xml(QStringLiteral(VELMORA_SCRIPT_SEEDS "/xml"));
  for (const QString& name : xml.entryList(QDir::Files)) {
    FileStream stream(xml.filePath(name), FileStream::Mode::kRead);
    TksXMLDocument document;
    EXPECT_NO_THROW(document.LoadFromStream(stream)) << name.toStdString();
  }
}

}  // namespace
}  // namespace ovx
