// Units inside a program, and what a debugger sees of a run: the unit and
// line of each statement, the code-line table, and unit trees the host
// supplies ready-made.
#include "base/stream.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QHash>

#include <gtest/gtest.h>

namespace ovx {
namespace {

// A script whose units come from `units` (name -> text) and which knows
// the macro function Src (it answers its argument's source text).
struct UnitFixture {
  TksScript script;
  QHash<QString, QString> units;

  explicit UnitFixture(const QString& text) {
    RegisterScriptLanguages();
    script.AddMethod(QStringLiteral("macrofunction Src(a: Variant): String"),
                     [](ScriptMethodCall& call) { return call.Arg(0); });
    script.SetText(text);
    script.SetOnGetUnit(
        [this](TksScript&, const QString& unit, QString& out) { out = units.value(unit); });
  }
  QString Var(const QString& name) {
    for (const auto& v : script.Program().Variables())
      if (v.name.compare(name, Qt::CaseInsensitive) == 0) return v.value.Display();
    return QStringLiteral("<none>");
  }
};

// The macro's argument text comes from the text its call was written in:
// the unit's own for a call inside a unit (its routine bodies, its main
// block and its constants), the main script's otherwise. The main script
// is written so that the unit's positions cut different text from it.
TEST(ScriptUnitsTest, MacroArgumentsAreCutFromTheirOwnText) {
  UnitFixture f(
      QStringLiteral("uses 'lib.pas';\n"
                     "var a, b, c: String;\n"
                     "begin a := Src(1 +   2); b := LibText; c := Src(LibText) end."));
  f.units.insert(QStringLiteral("lib.pas"), QStringLiteral("var u: String;\n"
                                                           "function LibText: String;\n"
                                                           "begin Result := Src(40 + 2) end;\n"
                                                           "begin u := Src( 6 * 7 ) end."));
  ASSERT_TRUE(f.script.Compile()) << f.script.ErrorMsg().toStdString();
  ASSERT_TRUE(f.script.Execute()) << f.script.ErrorMsg().toStdString();
  EXPECT_EQ(f.Var(QStringLiteral("a")).toStdString(), "'1 +   2'");
  EXPECT_EQ(f.Var(QStringLiteral("b")).toStdString(), "'40 + 2'");
  EXPECT_EQ(f.Var(QStringLiteral("c")).toStdString(), "'LibText'");
  EXPECT_EQ(f.Var(QStringLiteral("u")).toStdString(), "'6 * 7'");
}

// Errors inside a unit name it, at compile time and at run time, with the
// position in the unit's text.
TEST(ScriptUnitsTest, ErrorsNameTheirUnit) {
  struct Case {
    const char* unit_text;
    bool compiles;
    const char* error;  // "MESSAGE @ POS [UNIT]"
  } cases[] = {
      {"procedure P;\nbegin\n  y := 1\nend;\nbegin end.", false,
       "Undeclared identifier: 'y' @ 3:4 [lib.pas]"},
      {"procedure P;\nvar z: Integer;\nbegin\n  z := 1 div z\nend;\nbegin end.", true,
       "Division by zero @ 4:3 [lib.pas]"},
  };
  for (const Case& c : cases) {
    UnitFixture f(QStringLiteral("uses 'lib.pas';\nbegin\n  P\nend."));
    f.units.insert(QStringLiteral("lib.pas"), QString::fromLatin1(c.unit_text));
    const bool compiled = f.script.Compile();
    EXPECT_EQ(compiled, c.compiles) << c.unit_text;
    if (compiled) EXPECT_FALSE(f.script.Execute());
    EXPECT_EQ((f.script.ErrorMsg() + QStringLiteral(" @ ") + f.script.ErrorPos() +
               QStringLiteral(" [") + f.script.ErrorUnit() + u']')
                  .toStdString(),
              c.error);
  }
}

// Each statement is announced with its unit and position before it runs,
// to the script's handler or else to its nearest parent's, with the
// running script as sender; the code-line table lists the same lines.
TEST(ScriptUnitsTest, RunLineAndCodeLines) {
  UnitFixture f(
      QStringLiteral("uses 'lib.pas';\n"
                     "var n: Integer;\n"
                     "begin\n"
                     "  n := 1;\n"
                     "\n"
                     "  P(n)\n"
                     "end."));
  f.units.insert(QStringLiteral("lib.pas"), QStringLiteral("procedure P(var k: Integer);\n"
                                                           "begin\n"
                                                           "  k := k + 1;\n"
                                                           "  if k > 0 then\n"
                                                           "    k := k * 10\n"
                                                           "end;\n"
                                                           "begin end."));
  TksScript parent;
  f.script.SetParent(&parent);
  QStringList seen;
  TksScript* sender = nullptr;
  parent.SetOnRunLine([&](TksScript& s, const QString& unit, const QString& pos) {
    sender = &s;
    seen << unit + u'@' + pos.section(u':', 0, 0);
  });
  ASSERT_TRUE(f.script.Compile()) << f.script.ErrorMsg().toStdString();
  ASSERT_TRUE(f.script.Execute()) << f.script.ErrorMsg().toStdString();
  EXPECT_EQ(sender, &f.script);
  EXPECT_EQ(seen.join(u' ').toStdString(), "@4 @6 lib.pas@3 lib.pas@4 lib.pas@5");
  EXPECT_EQ(f.Var(QStringLiteral("n")).toStdString(), "20");

  struct Line {
    int line;
    const char* unit;
    bool executable;
  } lines[] = {{4, "", true},         {5, "", false},        {6, "", true},
               {2, "", false},        {3, "LIB.PAS", true},  {5, "lib.pas", true},
               {2, "lib.pas", false}, {6, "lib.pas", false}, {3, "other.pas", false}};
  for (const Line& l : lines)
    EXPECT_EQ(f.script.IsExecutableLine(l.line, QString::fromLatin1(l.unit)), l.executable)
        << l.unit << ":" << l.line;
  f.script.AddCodeLine(QString(), QStringLiteral("5:1"));
  EXPECT_TRUE(f.script.IsExecutableLine(5));

  // The script's own handler goes first, and only it is told.
  int own = 0;
  seen.clear();
  f.script.SetOnRunLine([&](const QString&) { ++own; });
  ASSERT_TRUE(f.script.Execute());
  EXPECT_EQ(own, 5);
  EXPECT_TRUE(seen.isEmpty());

  // A fresh compilation starts a fresh table.
  f.script.SetText(QStringLiteral("begin\nend."));
  ASSERT_TRUE(f.script.Compile());
  EXPECT_FALSE(f.script.IsExecutableLine(5));
}

// The host may supply a unit's syntax tree; it is compiled in place of the
// included source and keeps its own positions. A broken tree is a compile
// error of that unit.
TEST(ScriptUnitsTest, HostSuppliedUnitTrees) {
  RegisterScriptLanguages();
  // The tree of a unit as the parser writes it.
  TksScript maker;
  maker.SetText(QStringLiteral("var fromTree: Integer;\nbegin\n  fromTree := 42\nend."));
  MemoryStream out;
  ASSERT_TRUE(maker.GetILCode(out));
  const QString tree = QString::fromUtf8(out.Data());

  struct Case {
    QString il;  // what OnGetILUnit answers
    const char* expect;
  } cases[] = {
      {tree, "fromTree=42"},
      {QString(), "fromSource=7"},
      {QStringLiteral("<program><compoundstmt"), "error [lib.pas]"},
  };
  for (const Case& c : cases) {
    UnitFixture f(QStringLiteral("uses 'lib.pas';\nbegin end."));
    f.units.insert(QStringLiteral("lib.pas"),
                   QStringLiteral("var fromSource: Integer;\nbegin fromSource := 7 end."));
    QStringList asked;
    f.script.SetOnGetILUnit([&](TksScript&, const QString& unit, QString& text) {
      asked << unit;
      text = c.il;
    });
    QStringList lines;
    f.script.SetOnRunLine([&](TksScript&, const QString& unit, const QString& pos) {
      lines << unit + u'@' + pos.section(u':', 0, 0);
    });
    const QString expect = QString::fromLatin1(c.expect);
    if (expect.startsWith(u"error")) {
      EXPECT_FALSE(f.script.Compile());
      EXPECT_FALSE(f.script.ErrorMsg().isEmpty());
      EXPECT_EQ(f.script.ErrorUnit().toStdString(), "lib.pas");
      continue;
    }
    ASSERT_TRUE(f.script.Compile()) << f.script.ErrorMsg().toStdString();
    ASSERT_TRUE(f.script.Execute()) << f.script.ErrorMsg().toStdString();
    EXPECT_EQ(asked, QStringList{QStringLiteral("lib.pas")});
    const QString name = expect.section(u'=', 0, 0);
    EXPECT_EQ(f.Var(name).toStdString(), expect.section(u'=', 1).toStdString());
    if (!c.il.isEmpty()) {
      EXPECT_EQ(f.Var(QStringLiteral("fromSource")).toStdString(), "<none>");
      EXPECT_EQ(lines.join(u' ').toStdString(), "lib.pas@3");
    }
  }
}

}  // namespace
}  // namespace ovx
