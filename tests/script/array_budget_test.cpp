// Arrays between script and host: assigning an array that nothing else
// holds hands it over (an array something else still holds is copied, as
// values must be), and host functions of the array form.
#include <gtest/gtest.h>

#include <QHash>

#include "script/script.h"
#include "script/script_languages.h"

namespace ovx {
namespace {

TEST(ScriptArrayBudgetTest, AssignmentChargesAnArrayOnce) {
  struct Case {
    const char* what;
    const char* program;
    const char* expect;  // r as displayed, or the error
  };
  const Case cases[] = {
      // 900,001 elements of 1,048,576: a copy beside the original would not fit.
      {"a new array fills most of the budget",
       "var a: Variant; r: Variant;\nbegin a := VarArrayCreate([0, 900000], varVariant);"
       " a[900000] := 7; r := a[900000] end.",
       "7"},
      {"a typed array variable too",
       "var a: array of Variant; r: Variant;\nbegin a := VarArrayCreate([0, 900000], varVariant);"
       " a[900000] := 7; r := a[900000] end.",
       "7"},
      {"a function's result",
       "function F: Variant; begin Result := VarArrayCreate([0, 900000], varVariant) end;\n"
       "var a, r: Variant;\nbegin a := F; a[900000] := 7; r := a[900000] end.",
       "7"},
      // Values stay values: the copy is a copy, charged as one.
      {"a kept array is copied",
       "var a, b, r: Variant;\nbegin a := VarArrayCreate([0, 2], varVariant); a[0] := 1;"
       " b := a; b[0] := 2; r := IntToStr(a[0]) + IntToStr(b[0]) end.",
       "'12'"},
      {"copying a big kept array still meets the budget",
       "var a, b, r: Variant;\nbegin a := VarArrayCreate([0, 600000], varVariant); b := a end.",
       "Invalid array bounds: at most 1048576 elements"},
  };
  RegisterScriptLanguages();
  for (const Case& c : cases) {
    TksScript script;
    script.SetText(QString::fromUtf8(c.program));
    ASSERT_TRUE(script.Compile()) << c.what << ": " << script.ErrorMsg().toStdString();
    QString got;
    if (script.Execute()) {
      for (const auto& v : script.Program().Variables())
        if (v.name.compare(QLatin1String("r"), Qt::CaseInsensitive) == 0) got = v.value.Display();
    } else {
      got = script.ErrorMsg();
    }
    EXPECT_EQ(got.toStdString(), c.expect) << c.what;
  }
}

}  // namespace
}  // namespace ovx

namespace ovx {
namespace {

// Host functions of the array form get the arguments as one array and
// hand by-reference results back through it; growing or dropping the
// array does not reach past the arguments.
TEST(ScriptArrayHandlerTest, ArgumentsTravelAsOneArray) {
  RegisterScriptLanguages();
  TksScript script;
  QString seen;
  script.AddArrayMethod(
      QStringLiteral("function Swap(var a, b: Variant; n: Integer = 3): Integer"),
      [&seen](Persistent* instance, const QString& class_name, const QString& name,
              ScriptValue& params) {
        ScriptArray& p = *params.array();
        seen = name + u'/' + QString::number(p.items.size()) + u'/' + QString::number(p.high[0]) +
               (instance || !class_name.isEmpty() ? QStringLiteral("!") : QString());
        std::swap(p.items[0], p.items[1]);
        return ScriptValue::Int(p.items[2].ToInt32() * 2);
      });
  script.AddArrayMethod(QStringLiteral("procedure Grow(var a: Variant)"),
                        [](Persistent*, const QString&, const QString&, ScriptValue& params) {
                          params.array()->items.resize(100, ScriptValue::Int(9));
                          params.array()->items[0] = ScriptValue::String(QStringLiteral("g"));
                          return ScriptValue();
                        });
  script.AddArrayMethod(QStringLiteral("procedure Drop(var a: Variant)"),
                        [](Persistent*, const QString&, const QString&, ScriptValue& params) {
                          params = ScriptValue::Null();
                          return ScriptValue();
                        });
  script.SetText(
      QStringLiteral("var x, y, r, g, d: Variant;\nbegin x := 1; y := 'b'; r := Swap(x, y);"
                     " g := 1; Grow(g); d := 5; Drop(d) end."));
  ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
  ASSERT_TRUE(script.Execute()) << script.ErrorMsg().toStdString();
  QHash<QString, QString> vars;
  for (const auto& v : script.Program().Variables())
    vars.insert(v.name.toLower(), v.value.Display());
  EXPECT_EQ(seen, QStringLiteral("SWAP/3/2"));
  EXPECT_EQ(vars.value("x") + vars.value("y") + vars.value("r"), QStringLiteral("'b'16"));
  EXPECT_EQ(vars.value("g") + vars.value("d"), QStringLiteral("'g'5"));
}

}  // namespace
}  // namespace ovx
