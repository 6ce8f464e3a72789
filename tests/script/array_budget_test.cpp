// Assigning an array that nothing else holds hands it over; an array that
// something else still holds is copied, as values must be.
#include <gtest/gtest.h>

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
