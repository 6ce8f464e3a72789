#include "script/interpreter.h"

#include "script/messages.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ovx {
namespace {

struct RunResult {
  bool compiled = false;
  bool ran = false;
  QString error;                 // "MESSAGE @ POS"
  QHash<QString, QString> vars;  // name -> displayed value
  QHash<QString, QString> types;
};

RunResult RunScript(const QString& language, const QString& text, TksScript* keep = nullptr) {
  RegisterScriptLanguages();
  TksScript local;
  TksScript& script = keep ? *keep : local;
  script.SetSyntaxType(language);
  script.SetText(text);
  RunResult run;
  run.compiled = script.Compile();
  if (run.compiled) run.ran = script.Execute();
  if (!script.ErrorMsg().isEmpty())
    run.error = script.ErrorMsg() + QStringLiteral(" @ ") + script.ErrorPos();
  if (run.compiled) {
    for (const auto& v : script.Program().Variables()) {
      run.vars.insert(v.name.toLower(), v.value.Display());
      run.types.insert(v.name.toLower(), v.type);
    }
  }
  return run;
}

// "name=value name=value" against the run's variables.
void ExpectVars(const RunResult& run, const QString& expected, const QString& context) {
  ASSERT_TRUE(run.ran) << context.toStdString() << ": " << run.error.toStdString();
  for (const QString& pair :
       expected.split(QRegularExpression(QStringLiteral(" (?=\\w+=)")), Qt::SkipEmptyParts)) {
    const qsizetype eq = pair.indexOf(u'=');
    const QString name = pair.left(eq).toLower();
    EXPECT_EQ(run.vars.value(name, QStringLiteral("<none>")).toStdString(),
              pair.mid(eq + 1).toStdString())
        << context.toStdString() << " variable " << name.toStdString();
  }
}

TEST(ScriptInterpreterTest, StatementTable) {
  struct Case {
    const char* language;
    const char* program;
    const char* expected;
  } cases[] = {
      {"PascalScript", "var i, n: Integer; begin for i := 1 to 3 do n := n + 1 end.", "i=3 n=3"},
      {"PascalScript",
       "var i, n: Integer; begin for i := 1 to 3 do begin n := n + 1; i := 10 end end.", "n=3"},
      {"PascalScript", "var i: Integer; begin i := 7; for i := 5 to 1 do i := 0 end.", "i=7"},
      {"PascalScript", "var i, n: Integer; begin for i := 3 downto 1 do n := n * 10 + i end.",
       "n=321 i=1"},
      {"BasicScript", "n = 0\r\nFor x = 1 To 2 Step 0.5\r\nn = n + 1\r\nNext\r\n", "n=3 x=2.5"},
      {"BasicScript", "n = 0\r\nFor x = 3 To 1 Step -1\r\nn = n + x\r\nNext\r\n", "n=6 x=0"},
      {"PascalScript", "var n: Integer; begin repeat n := n + 2 until n > 5 end.", "n=6"},
      {"PascalScript", "var n: Integer; begin while n < 4 do n := n + 1 end.", "n=4"},
      {"C++Script", "int n; { do n++; while (n < 3); }", "n=3"},
      // `/` is the quotient in every dialect; `div` divides integers.
      {"C++Script", "int n = 7, m = -7; float f; { f = n / 2; n = n div 2; m = m div 2; }",
       "f=3.5 n=3 m=-3"},
      {"C++Script", "float f = 7; int n = 7; { f /= 2; n *= 3; n -= 1; }", "f=3.5 n=20"},
      // A finally handler runs whole after break (G6).
      {"PascalScript",
       "var i, a, b: Integer; begin for i := 1 to 5 do try if i = 2 then break; finally a := a + "
       "1; "
       "b := b + 1 end end.",
       "i=2 a=2 b=2"},
      // An exit in a finally handler survives it.
      {"PascalScript", "var n: Integer; begin try n := 1 finally exit end; n := 2 end.", "n=1"},
      // A stray break in a routine does not leak into its next call (G7).
      {"PascalScript",
       "var n: Integer; procedure P(b: Boolean); begin if b then break; n := n + 1; n := n + 1 "
       "end; "
       "begin P(1 = 1); P(1 = 2) end.",
       "n=2"},
      // An empty case label selects and does nothing (G8).
      {"PascalScript", "var k: Integer; begin k := 13; case k of 13: ; else k := 0 end end.",
       "k=13"},
      {"PascalScript",
       "var k: Integer; s: String; begin k := 4; case k of 1, 2: s := 'a'; 3..5: s := 'b' else s "
       ":= 'c' end end.",
       "s='b'"},
      // In the C dialects a break ends the switch, not the loop round it.
      {"JScript",
       "var n = 0; for (var i = 0; i < 3; i++) { switch (i) { case 1: { n = n + 10; break; } "
       "default: n = n + 1; } }",
       "n=12 i=3"},
      // JScript for with two initial vars (G15).
      {"JScript", "var s = 0; for (var i = 0, j = 10; i < 3; i++) s = s + j;", "s=30"},
      // Basic Set is a plain assignment (G14).
      {"BasicScript", "Dim a\r\nSet a = 5\r\n", "a=5"},
      // Basic Sub declared inside an If block (G12), by-reference (G13).
      {"BasicScript",
       "n = 1\r\nIf n = 1 Then\r\nSub Inc2(ByRef v)\r\nv = v + 2\r\nEnd Sub\r\nEnd "
       "If\r\nInc2(n)\r\n",
       "n=3"},
      {"PascalScript",
       "var n: Integer; procedure Inc2(var v: Integer); begin v := v + 2 end; begin n := 1; "
       "Inc2(n) end.",
       "n=3"},
      {"PascalScript",
       "var n: Integer; procedure Inc2(v: Integer); begin v := v + 2 end; begin n := 1; Inc2(n) "
       "end.",
       "n=1"},
      {"C++Script", "int n = 1; void Inc2(int &v) { v += 2; } { Inc2(n); }", "n=3"},
      {"JScript", "function f() { y = 1; } f();", "y=1"},
      {"JScript", "var i = 5; for (var i = 0; i < 2; i++) n = i;", "i=2 n=1"},
      // Recursion with a by-reference counter (G3, G13).
      {"PascalScript",
       "var r, calls: Integer; function Fact(n: Integer; var c: Integer): Integer; begin c := c + "
       "1; "
       "if n <= 1 then Result := 1 else Result := n * Fact(n - 1, c) end; begin r := Fact(5, "
       "calls) end.",
       "r=120 calls=5"},
      // The outer activation keeps its own locals after an inner error (G2).
      {"PascalScript",
       "var r: Integer; function F(n: Integer): Integer; begin if n = 0 then Result := 1 div n; "
       "try Result := F(n - 1) except Result := n * 10 end end; begin r := F(2) end.",
       "r=10"},
      // Arguments are all taken before any parameter is set (G4).
      {"PascalScript",
       "var r: Integer; function F(a, b, d: Integer): Integer; begin if d = 0 then Result := F(b, "
       "a, 1) "
       "else Result := a * 10 + b end; begin r := F(1, 2, 0) end.",
       "r=21"},
      {"PascalScript",
       "var s: String; e: String; begin try s := 'x'; s := IntValue except e := ExceptionClassName "
       "end end.",
       ""},
      {"PascalScript",
       "var e, m: String; n: Integer; begin try n := 1 div n except e := ExceptionClassName; m := "
       "ExceptionMessage end end.",
       "e='EDivByZero' m='Division by zero'"},
      // 64-bit pass counts and counters that promote (G17).
      {"PascalScript",
       "var i, n: Integer; begin for i := 2147483646 to 2147483647 do n := n + 1 end.",
       "n=2 i=2147483647"},
      {"BasicScript", "n = 0\r\nFor i = 2147483640 To 2147483647\r\nn = n + 1\r\nNext\r\n",
       "n=8 i=2147483648"},
      {"PascalScript",
       "var a: array[1..3] of Integer; i, s: Integer; begin for i := 1 to 3 do a[i] := i * i; s := "
       "a[1] + a[2] + a[3] end.",
       "s=14 a=[1, 4, 9]"},
      {"PascalScript", "var a: array[0..1, 1..2] of Integer; begin a[1, 2] := 5; a[0, 1] := 1 end.",
       "a=[1, 0, 0, 5]"},
      {"PascalScript", "var s: String; begin s := 'abc'; s[2] := 'x' end.", "s='axc'"},
      {"PascalScript", "var c: Integer; begin c := $FF000008 end.", "c=-16777208"},
      {"PascalScript", "var a, b: array[0..1] of Integer; c, d: Integer = 5; begin b[1] := 2 end.",
       "a=[0, 0] b=[0, 2] c=5 d=5"},
      {"C++Script", "int a = 1, b[2], c; { c = 3; }", "a=1 b=[0, 0] c=3"},
      {"PascalScript", "var f: Extended; begin f := 3000000000 end.", "f=3000000000"},
      {"BasicScript", "s = \"1\"\r\ns = s & 2\r\n", "s='12'"},
      {"BasicScript", "s = \"a\" & 1\r\nt = 1 & 2\r\n", "s='a1' t=3"},
  };
  // The case with IntValue is a compile error; it is kept out of the table.
  for (const Case& c : cases) {
    if (QString::fromUtf8(c.program).contains(QLatin1String("IntValue"))) continue;
    ExpectVars(RunScript(QString::fromUtf8(c.language), QString::fromUtf8(c.program)),
               QString::fromUtf8(c.expected), QString::fromUtf8(c.program));
  }
}

// One computation in every dialect gives the same values.
TEST(ScriptInterpreterTest, DialectsAgree) {
  const char* programs[][2] = {
      {"PascalScript",
       "var n, i, calls, r, c: Integer; s: String;\n"
       "function Fact(k: Integer; var calls: Integer): Integer;\n"
       "begin calls := calls + 1; if k <= 1 then Result := 1 else Result := k * Fact(k - 1, calls) "
       "end;\n"
       "begin\n"
       "  for i := 1 to 10 do begin if i mod 2 = 0 then continue; n := n + i end;\n"
       "  while n > 0 do begin n := n - 1; if n = 20 then break end;\n"
       "  repeat c := c + 1 until c >= 3;\n"
       "  case n of 1, 2: s := 'small'; 20..25: s := 'middle'; else s := 'large'; end;\n"
       "  r := Fact(5, calls);\n"
       "  try r := r mod (c - 3) except r := -1 end;\n"
       "end."},
      {"C++Script",
       "int n, i, calls, r, c; string s;\n"
       "int Fact(int k, int &calls) { calls = calls + 1; if (k <= 1) return 1; else return k * "
       "Fact(k - 1, calls); }\n"
       "{\n"
       "  for (i = 1; i <= 10; i++) { if (i % 2 == 0) continue; n = n + i; }\n"
       "  while (n > 0) { n--; if (n == 20) break; }\n"
       "  do c++; while (c < 3);\n"
       "  switch (n) { case 1, 2: s = \"small\"; case 20..25: s = \"middle\"; default: s = "
       "\"large\"; }\n"
       "  r = Fact(5, calls);\n"
       "  try { r = r % (c - 3); } except { r = -1; }\n"
       "}"},
      {"JScript",
       "var n = 0, i, calls = 0, r, c = 0, s;\n"
       "function Fact(k, &calls) { calls = calls + 1; if (k <= 1) return 1; else return k * Fact(k "
       "- 1, calls); }\n"
       "for (i = 1; i <= 10; i++) { if (i % 2 == 0) continue; n = n + i; }\n"
       "while (n > 0) { n--; if (n == 20) break; }\n"
       "do c++; while (c < 3);\n"
       "switch (n) { case 1, 2: s = \"small\"; case 20..25: s = \"middle\"; default: s = "
       "\"large\"; }\n"
       "r = Fact(5, calls);\n"
       "try { r = r % (c - 3); } except { r = -1; }\n"},
      {"BasicScript",
       "Dim n, i, calls, r, c, s\r\n"
       "Function Fact(k, ByRef calls)\r\n  calls = calls + 1\r\n  If k <= 1 Then\r\n    Return "
       "1\r\n  Else\r\n"
       "    Return k * Fact(k - 1, calls)\r\n  End If\r\nEnd Function\r\n"
       "n = 0 : calls = 0 : c = 0\r\n"
       "For i = 1 To 10\r\n  If i Mod 2 = 0 Then Continue\r\n  n = n + i\r\nNext\r\n"
       "While n > 0\r\n  n = n - 1\r\n  If n = 20 Then Break\r\nWend\r\n"
       "Do\r\n  c = c + 1\r\nLoop Until c >= 3\r\n"
       "Select Case n\r\nCase 1, 2:\r\n  s = \"small\"\r\nCase 20..25:\r\n  s = \"middle\"\r\nCase "
       "Else:\r\n"
       "  s = \"large\"\r\nEnd Select\r\n"
       "r = Fact(5, calls)\r\n"
       "Try\r\n  r = r Mod (c - 3)\r\nCatch\r\n  r = -1\r\nEnd Try\r\n"},
  };
  for (const auto& p : programs)
    ExpectVars(RunScript(QString::fromUtf8(p[0]), QString::fromUtf8(p[1])),
               QStringLiteral("n=20 calls=5 r=-1 c=3 s='middle'"), QString::fromUtf8(p[0]));
}

TEST(ScriptInterpreterTest, ValueTable) {
  struct Case {
    const char* language;
    const char* expression;
    const char* value;
  } cases[] = {
      {"PascalScript", "1 + 2 * 3", "7"},
      {"PascalScript", "(1 + 2) * 3", "9"},
      {"PascalScript", "7 - 2 - 1", "4"},
      {"PascalScript", "-2 * 3", "-6"},
      {"PascalScript", "7 div 2", "3"},
      {"PascalScript", "-7 div 2", "-3"},
      {"PascalScript", "-7 mod 2", "-1"},
      {"PascalScript", "7 / 2", "3.5"},
      {"PascalScript", "5 in [1, 3..6, 9]", "True"},
      {"PascalScript", "7 in [1, 3..6, 9]", "False"},
      {"PascalScript", "2147483647", "2147483647"},
      {"PascalScript", "3000000000", "3000000000"},
      {"PascalScript", "$FF", "255"},
      {"C++Script", "0x1F", "31"},
      {"PascalScript", "1 shl 4", "16"},
      {"PascalScript", "not 0", "-1"},
      {"PascalScript", "'a' + 'b'", "'ab'"},
      {"BasicScript", "\"a\" & 1", "'a1'"},
      {"BasicScript", "1 & 2", "3"},
      {"PascalScript", "2147483647 + 1", "2147483648"},
      {"PascalScript", "(-2147483647 - 1) div (-1)", "2147483648"},
      {"PascalScript", "-(-2147483647 - 1)", "2147483648"},
      {"PascalScript", "1 shl 40", "256"},
      {"PascalScript", "-2147483648", "-2147483648"},
      {"PascalScript", "(1 = 2) or (2 < 3) and not False", "True"},
      {"PascalScript", "Null = Null", "True"},
      {"PascalScript", "Null <> 1", "True"},
      {"C++Script", "1 + 2", "3"},
      {"JScript", "1 + 2", "3"},
      {"BasicScript", "1 + 2", "3"},
      {"JScript", "5 > 3 && !(2 == 3)", "True"},
  };
  RegisterScriptLanguages();
  for (const Case& c : cases) {
    TksScript script;
    script.SetSyntaxType(QString::fromUtf8(c.language));
    const ScriptValue v = script.Evaluate(QString::fromUtf8(c.expression));
    EXPECT_FALSE(script.EvaluateFailed()) << c.expression << ": " << v.Display().toStdString();
    EXPECT_EQ(v.Display().toStdString(), c.value) << c.language << " " << c.expression;
  }
}

// Currency is exact to four decimals with itself and integers and a float
// with anything else; a date moved by days stays a date, the days between
// two dates are a number. Both cross the QVariant boundary as the model
// expects them.
TEST(ScriptInterpreterTest, CurrencyAndDateValues) {
  RegisterScriptLanguages();
  using K = ScriptValue::Kind;
  TksScript script;
  script.AddVariable(QStringLiteral("c15"), QStringLiteral("Variant"), ScriptValue::Currency(1.5));
  script.AddVariable(QStringLiteral("c25"), QStringLiteral("Variant"), ScriptValue::Currency(2.5));
  script.AddVariable(QStringLiteral("c01"), QStringLiteral("Variant"), ScriptValue::Currency(0.1));
  script.AddVariable(QStringLiteral("c02"), QStringLiteral("Variant"), ScriptValue::Currency(0.2));
  script.AddVariable(QStringLiteral("tiny"), QStringLiteral("Variant"),
                     ScriptValue::CurrencyUnits(1));
  script.AddVariable(QStringLiteral("cmax"), QStringLiteral("Variant"),
                     ScriptValue::CurrencyUnits(INT64_MAX));
  script.AddVariable(QStringLiteral("d"), QStringLiteral("Variant"), ScriptValue::Date(36526));
  script.AddVariable(QStringLiteral("d2"), QStringLiteral("Variant"), ScriptValue::Date(36526.25));
  struct Case {
    const char* expression;
    const char* display;  // "!" + message: an error
    K kind;
  } cases[] = {
      {"c01 + c02", "0.3", K::kCurrency},
      {"c01 + c02 = 0.3", "True", K::kBool},
      {"c15 * c15", "2.25", K::kCurrency},
      {"tiny * c15", "0.0002", K::kCurrency},  // 0.00015, half to even
      {"c15 + 1", "2.5", K::kCurrency},
      {"c15 * 2", "3", K::kCurrency},
      {"c15 - c25", "-1", K::kCurrency},
      {"-c15", "-1.5", K::kCurrency},
      {"c15 * 0.5", "0.75", K::kFloat},
      {"c15 / 2", "0.75", K::kFloat},
      {"c15 > 1", "True", K::kBool},
      {"cmax > 9223372036854775807", "False", K::kBool},
      {"IntToStr(c25) + IntToStr(c15)", "'22'", K::kString},
      {"cmax + tiny", "!Arithmetic overflow", K::kString},
      {"d + 1", "2000/01/02", K::kDate},
      {"1 + d", "2000/01/02", K::kDate},
      {"d - 0.5", "1999/12/31 12:00:00", K::kDate},
      {"d2 - d", "0.25", K::kFloat},
      {"d + c15", "2000/01/02 12:00:00", K::kDate},
      {"d < d2", "True", K::kBool},
      {"'on ' + DateToStr(d + 31)", "'on 2000/02/01'", K::kString},
      {"EncodeDate(2000, 2, 29) - EncodeDate(2000, 1, 1)", "59", K::kFloat},
      {"EncodeTime(6, 0, 0, 0)", "06:00:00", K::kDate},
  };
  for (const Case& c : cases) {
    const ScriptValue v = script.Evaluate(QString::fromLatin1(c.expression));
    if (c.display[0] == '!') {
      EXPECT_TRUE(script.EvaluateFailed()) << c.expression;
      EXPECT_EQ(v.ToString().toStdString(), c.display + 1) << c.expression;
      continue;
    }
    ASSERT_FALSE(script.EvaluateFailed()) << c.expression << ": " << v.ToString().toStdString();
    EXPECT_EQ(v.Display().toStdString(), c.display) << c.expression;
    EXPECT_EQ(v.kind(), c.kind) << c.expression;
  }

  // Conversions at the edges.
  EXPECT_EQ(ScriptValue::Currency(1.23456).ToCurrencyUnits(), 12346);
  EXPECT_EQ(ScriptValue::Currency(-2.5).ToInt32(), -2);
  EXPECT_EQ(ScriptValue::Currency(3.5).ToInt64(), 4);
  EXPECT_EQ(ScriptValue::CurrencyUnits(INT64_MIN).ToString().toStdString(),
            "-922337203685477.5808");
  EXPECT_THROW(ScriptValue::Currency(1e20), ScriptError);
  EXPECT_THROW(ScriptValue::Currency(std::nan("")), ScriptError);
  EXPECT_THROW(ScriptValue::Date(1e9).ToString(), ScriptError);
  EXPECT_EQ(ScriptValue::Date(1e9).Display().toStdString(), "1000000000");

  // The QVariant boundary.
  const QDateTime six(QDate(2000, 1, 1), QTime(6, 0), Qt::UTC);
  EXPECT_EQ(ScriptValue::Date(36526.25).ToQVariant().toDateTime(), six);
  EXPECT_EQ(ScriptValue::Date(36526.25).ToQVariant().typeId(), QMetaType::QDateTime);
  EXPECT_FALSE(ScriptValue::Date(1e9).ToQVariant().isValid());
  EXPECT_EQ(ScriptValue::Currency(1.5).ToQVariant().toDouble(), 1.5);
  struct In {
    QVariant value;
    double serial;
  } ins[] = {{QVariant(six), 36526.25},
             {QVariant(QDate(2000, 1, 1)), 36526},
             {QVariant(QTime(18, 0)), 0.75}};
  for (const In& in : ins) {
    const ScriptValue v = ScriptValue::FromQVariant(in.value);
    EXPECT_EQ(v.kind(), K::kDate) << in.value.toString().toStdString();
    EXPECT_EQ(v.ToFloat(), in.serial) << in.value.toString().toStdString();
  }

  // A Float variable (TDateTime) keeps a date; an Integer takes its day.
  const RunResult run = RunScript(QStringLiteral("PascalScript"),
                                  QStringLiteral("var d: TDateTime; n: Integer; begin\n"
                                                 "d := EncodeDate(2000, 1, 31) + 1.5;\n"
                                                 "n := Trunc(d) end."));
  ExpectVars(run, QStringLiteral("d=2000/02/01 12:00:00 n=36557"), QStringLiteral("TDateTime"));
}

TEST(ScriptInterpreterTest, StaticTypes) {
  struct Case {
    const char* program;
    const char* type;  // of r
  } cases[] = {
      {"var r: Variant; f: Extended; begin r := f + 10 end.", "Variant"},
      {"var r: Extended; f: Extended; begin r := 10 + f; r := f * 2; r := 7 / 2 end.", "Extended"},
      {"var r: Boolean; f: Extended; begin r := 0 < f end.", "Boolean"},
      {"var r: Int64; begin r := 3000000000 - 1; r := -3000000000 end.", "Int64"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunScript(QStringLiteral("PascalScript"), QString::fromUtf8(c.program));
    EXPECT_TRUE(run.ran) << c.program << ": " << run.error.toStdString();
    EXPECT_EQ(run.types.value(QStringLiteral("r")).toStdString(), c.type) << c.program;
  }
}

TEST(ScriptInterpreterTest, CompileErrors) {
  struct Case {
    const char* language;
    const char* program;
    const char* error;
  } cases[] = {
      {"PascalScript", "var x: Integer;\nx: String;\nbegin end.",
       "Identifier redeclared: 'x' @ 2:1"},
      {"PascalScript", "var x: Foo;\nbegin end.", "Unknown type: 'Foo' @ 1:8"},
      {"PascalScript", "var x: Integer;\nbegin\nx := 1.5 end.",
       "Incompatible types: 'Integer', 'Extended' @ 3:6"},
      {"PascalScript", "begin\n  y := 1 end.", "Undeclared identifier: 'y' @ 2:3"},
      {"PascalScript", "procedure P(a, b: Integer); begin end;\nbegin\nP(1) end.",
       "Not enough actual parameters @ 3:1"},
      {"PascalScript", "procedure P(a: Integer); begin end;\nbegin\nP(1, 2) end.",
       "Too many actual parameters @ 3:1"},
      {"PascalScript", "const c = 1;\nbegin\nc := 2 end.", "Left side cannot be assigned to @ 3:1"},
      {"PascalScript", "var s: String;\nbegin\nfor s := 1 to 2 do end.",
       "For loop variable must be numeric variable @ 3:5"},
      {"PascalScript", "var n: Integer;\nbegin\nwith n do n := 1 end.",
       "Class type required @ 3:6"},
      {"PascalScript", "var b: Boolean;\nbegin\nb := 'a' = 1 end.",
       "Incompatible types: 'String', 'Integer' @ 3:10"},
      {"PascalScript", "var b: Boolean;\nbegin\nb := True < False end.",
       "Incompatible types: 'Boolean', 'Boolean' @ 3:11"},
      {"PascalScript", "var a: array[0..2000000000] of Integer;\nbegin end.",
       "Invalid array bounds: at most 1048576 elements @ 1:14"},
      {"PascalScript", "var a: array[5..1] of Integer;\nbegin end.",
       "Invalid array bounds: at most 1048576 elements @ 1:14"},
      {"PascalScript", "var x: Integer; begin x := 1 end.\n", ""},
      // A compound assignment stores what the long form would, so it is
      // checked like it.
      {"C++Script", "int m = 7;\n{\nm /= 2;\n}", "Incompatible types: 'Integer', 'Extended' @ 3:6"},
      {"C++Script", "int m;\n{\nm += 1.5;\n}", "Incompatible types: 'Integer', 'Extended' @ 3:6"},
      {"C++Script", "string s;\n{\ns++;\n}", "Incompatible types: 'String', 'Integer' @ 3:1"},
      {"BasicScript", "Dim b As Boolean\nb += 1\n",
       "Incompatible types: 'Boolean', 'Integer' @ 2:6"},
      {"C++Script", "float f = 7; int n = 7; string s;\n{ f /= 2; n *= 3; s += \"x\"; }", ""},
  };
  for (const Case& c : cases) {
    const RunResult run = RunScript(QString::fromUtf8(c.language), QString::fromUtf8(c.program));
    if (!*c.error) {
      EXPECT_TRUE(run.ran) << run.error.toStdString();
      continue;
    }
    EXPECT_FALSE(run.compiled) << c.program;
    // The message and the line; columns follow the tree's positions.
    static const QRegularExpression column(QStringLiteral(":\\d+$"));
    EXPECT_EQ(QString(run.error).remove(column).toStdString(),
              QString::fromUtf8(c.error).remove(column).toStdString())
        << c.program;
  }
  // JScript and Basic make undeclared names variables.
  EXPECT_TRUE(RunScript(QStringLiteral("JScript"), QStringLiteral("y = 1;")).ran);
  EXPECT_TRUE(RunScript(QStringLiteral("BasicScript"), QStringLiteral("y = 1\r\n")).ran);
}

TEST(ScriptInterpreterTest, CompileErrorsFollowTheMessageTable) {
  SetScriptMessages({{QStringLiteral("SIdRedeclared"), QStringLiteral("标识符重复声明: ")}});
  const RunResult run =
      RunScript(QStringLiteral("PascalScript"), QStringLiteral("var x, x: Integer; begin end."));
  SetScriptMessages({});
  EXPECT_EQ(run.error.toStdString(), "标识符重复声明: 'x' @ 1:9");
}

TEST(ScriptInterpreterTest, RunTimeErrors) {
  struct Case {
    const char* program;
    const char* error;
  } cases[] = {
      {"var n: Integer;\nbegin\n  n := 1 div n end.", "Division by zero @ 3:3"},
      {"var n: Integer;\nbegin\n  n := 1 mod n end.", "Division by zero @ 3:3"},
      {"var f: Extended; n: Integer;\nbegin\n  f := 1 / n end.", "Division by zero @ 3:3"},
      {"var s: String;\nbegin\n  s := 'abc';\n  s := s[100] end.", "Index out of range: 100 @ 4:3"},
      {"var s: String;\nbegin\n  s := 'abc';\n  s[0] := 'x' end.", "Index out of range: 0 @ 4:3"},
      {"var a: array[0..4] of Integer;\nbegin\n  a[5] := 1 end.", "Index out of range: 5 @ 3:3"},
      {"var x: Variant; b: Boolean;\nbegin\n  x := [1, Null];\n  b := 3 in x end.", ""},
      {"var b: Boolean;\nbegin\n  b := 5 in 7 end.", "Set or array expected @ 3:3"},
      {"var i: Int64;\nbegin\n  i := 9223372036854775807;\n  i := i + 1 end.",
       "Arithmetic overflow @ 4:3"},
      // Arrays share one budget, however many and however deep the recursion.
      {"var a, b: array[0..599999] of Integer;\nbegin\nend.",
       "Invalid array bounds: at most 1048576 elements @ 1:1"},
      {"procedure P(n: Integer); var a: array[0..299999] of Integer; begin P(n + 1) end;\nbegin\n  "
       "P(1) end.",
       "Invalid array bounds: at most 1048576 elements @ 1:1"},
      {"var a: array[0..599999] of Integer; v: Variant;\nbegin\n  v := a end.",
       "Invalid array bounds: at most 1048576 elements @ 3:3"},
      {"function F(n: Integer): Integer; begin Result := F(n + 1) end;\nbegin\n  F(1) end.",
       "Too many nested calls (more than 1000) @ 1:41"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunScript(QStringLiteral("PascalScript"), QString::fromUtf8(c.program));
    ASSERT_TRUE(run.compiled) << c.program << ": " << run.error.toStdString();
    if (!*c.error) {
      EXPECT_TRUE(run.ran) << c.program << ": " << run.error.toStdString();
      continue;
    }
    EXPECT_FALSE(run.ran) << c.program;
    static const QRegularExpression column(QStringLiteral(":\\d+$"));
    EXPECT_EQ(QString(run.error).remove(column).toStdString(),
              QString::fromUtf8(c.error).remove(column).toStdString())
        << c.program;
  }
  // Endless recursion is catchable.
  ExpectVars(
      RunScript(QStringLiteral("PascalScript"),
                QStringLiteral(
                    "var e: String; function F(n: Integer): Integer; begin Result := F(n + 1) end;"
                    " begin try F(1) except e := ExceptionClassName end end.")),
      QStringLiteral("e='EScriptStackOverflow'"), QStringLiteral("catch"));
}

TEST(ScriptInterpreterTest, HostileDepthIsACompileError) {
  QString sum = QStringLiteral("var x: Integer; begin x := 1");
  for (int i = 0; i < 100000; ++i) sum += QStringLiteral(" + x");
  sum += QStringLiteral(" end.");
  RunResult run = RunScript(QStringLiteral("PascalScript"), sum);
  EXPECT_FALSE(run.compiled);
  EXPECT_TRUE(run.error.startsWith(QLatin1String("Expression too complex")))
      << run.error.toStdString();
  // Constants fold as they are read, so a long constant sum stays flat.
  sum = QStringLiteral("var x: Integer; begin x := 1");
  for (int i = 0; i < 100000; ++i) sum += QStringLiteral(" + 1");
  ExpectVars(RunScript(QStringLiteral("PascalScript"), sum + QStringLiteral(" end.")),
             QStringLiteral("x=100001"), QStringLiteral("constant sum"));
  QString nested = QStringLiteral("var x: Integer; begin x := ") + QString(100000, u'(') + u'1' +
                   QString(100000, u')') + QStringLiteral(" end.");
  run = RunScript(QStringLiteral("PascalScript"), nested);
  EXPECT_FALSE(run.compiled);
  EXPECT_FALSE(run.error.isEmpty());
}

TEST(ScriptInterpreterTest, ShortCircuit) {
  const char* program =
      "var calls: Integer; r: Boolean; v: Variant;\n"
      "function F: Boolean; begin calls := calls + 1; Result := True end;\n"
      "begin r := (1 = 2) and F; r := (1 = 1) or F; end.";
  ExpectVars(RunScript(QStringLiteral("PascalScript"), QString::fromUtf8(program)),
             QStringLiteral("calls=0 r=True"), QStringLiteral("short"));
  const char* variant =
      "var calls: Integer; r: Variant; v: Variant;\n"
      "function F: Boolean; begin calls := calls + 1; Result := True end;\n"
      "begin v := 1 = 2; r := v and F; end.";
  ExpectVars(RunScript(QStringLiteral("PascalScript"), QString::fromUtf8(variant)),
             QStringLiteral("calls=1 r=False"), QStringLiteral("variant"));
}

TEST(ScriptInterpreterTest, HostCalls) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetText(QStringLiteral(
      "var n: Integer;\n"
      "function Add(a: Integer; b: Integer = 5): Integer; begin Result := a + b end;\n"
      "procedure Twice(var v: Integer); begin v := v * 2 end;\n"
      "procedure NoArgs; begin n := n + 1 end;\n"
      "begin end."));
  ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
  ASSERT_TRUE(script.Execute());
  std::vector<ScriptValue> args{ScriptValue::Int(1)};
  EXPECT_EQ(script.CallFunction(QStringLiteral("Add"), args).Display().toStdString(), "6");
  args = {ScriptValue::Int(1), ScriptValue::Int(2), ScriptValue::Int(3)};
  EXPECT_EQ(script.CallFunction(QStringLiteral("add"), args).Display().toStdString(), "3");
  args = {ScriptValue::Int(21)};
  script.CallFunction(QStringLiteral("Twice"), args);
  EXPECT_EQ(args[0].Display().toStdString(), "42");
  args = {ScriptValue::String(QStringLiteral("sender"))};
  script.CallFunction(QStringLiteral("NoArgs"), args);
  EXPECT_EQ(script.Evaluate(QStringLiteral("n")).Display().toStdString(), "1");
  args = {};
  EXPECT_THROW(script.CallFunction(QStringLiteral("Missing"), args), ScriptError);
  // QVariant at the boundary.
  EXPECT_EQ(script.Evaluate(QStringLiteral("1 = 1")).ToQVariant().typeId(), QMetaType::Bool);
  EXPECT_FALSE(script.Evaluate(QStringLiteral("Null")).ToQVariant().isValid());
  EXPECT_EQ(ScriptValue::FromQVariant(QVariant(2.5)).Display().toStdString(), "2.5");
}

TEST(ScriptInterpreterTest, EvaluateAndCallsFromInsideARoutine) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetText(
      QStringLiteral("var seen, outer: Integer;\n"
                     "function Work(k: Integer): Integer; var local: Integer;\n"
                     "begin local := k * 3;\n"
                     "  Result := local\n"
                     "end;\n"
                     "begin outer := Work(7) end."));
  ASSERT_TRUE(script.Compile());
  QString value;
  bool reentered = false;
  script.SetOnRunLine([&](const QString& pos) {
    if (pos.startsWith(QLatin1String("4:")) && !reentered) {
      value = script.Evaluate(QStringLiteral("local + k")).Display();
      reentered = true;
      std::vector<ScriptValue> args{ScriptValue::Int(100)};
      script.CallFunction(QStringLiteral("Work"), args);
    }
  });
  ASSERT_TRUE(script.Execute()) << script.ErrorMsg().toStdString();
  EXPECT_EQ(value.toStdString(), "28");
  EXPECT_EQ(script.Evaluate(QStringLiteral("outer")).Display().toStdString(), "21");
  // A failed Evaluate answers the message; the next one clears the flag.
  script.Evaluate(QStringLiteral("1 +"));
  EXPECT_TRUE(script.EvaluateFailed());
  script.Evaluate(QStringLiteral("1"));
  EXPECT_FALSE(script.EvaluateFailed());
}

// Names only the host knows are asked for when they run; without a resolver
// they do not compile.
TEST(ScriptInterpreterTest, TheHostResolvesUnknownNames) {
  RegisterScriptLanguages();
  const QString text = QStringLiteral(
      "function F: Variant; begin Result := Known * 2 end;\n"
      "function G: Variant; begin Result := Unknown end;\n"
      "begin end.");
  TksScript plain;
  plain.SetText(text);
  EXPECT_FALSE(plain.Compile());

  TksScript script;
  script.SetText(text);
  int asked = 0;
  script.SetNameResolver([&](const QString& name, ScriptValue& value) {
    ++asked;
    if (name.compare(u"known", Qt::CaseInsensitive) != 0) return false;
    value = ScriptValue::Int(21);
    return true;
  });
  ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
  std::vector<ScriptValue> args;
  EXPECT_EQ(script.CallFunction(QStringLiteral("F"), args).Display().toStdString(), "42");
  EXPECT_EQ(script.CallFunction(QStringLiteral("F"), args).Display().toStdString(), "42");
  EXPECT_EQ(asked, 2);  // at each run, not once at compile time
  EXPECT_THROW(script.CallFunction(QStringLiteral("G"), args), ScriptError);
  EXPECT_EQ(script.Program().ActiveRoutine(), QString());
}

TEST(ScriptInterpreterTest, TerminateStopsALoopingScript) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetText(QStringLiteral("var n: Integer; begin while True do n := n + 1 end."));
  ASSERT_TRUE(script.Compile());
  int lines = 0;
  script.SetOnRunLine([&](const QString&) {
    if (++lines == 1000) script.Terminate();
  });
  EXPECT_TRUE(script.Execute());
  // Lines: the loop, then the loop's body and condition alternating (a
  // declaration without a value is no line of its own).
  EXPECT_EQ(script.Evaluate(QStringLiteral("n")).Display().toStdString(), "999");
  // The next run starts afresh.
  lines = 0;
  EXPECT_TRUE(script.Execute());
}

// The fuzzer's seeds compile and, where they compile, run to the end or
// to the statement budget with a message for every failure.
TEST(ScriptInterpreterTest, SeedsRunWithinABudget) {
  RegisterScriptLanguages();
  static const char* const dialects[] = {"PascalScript", "C++Script", "BasicScript", "JScript"};
  const QDir compile(QStringLiteral(VELMORA_SCRIPT_SEEDS "/compile"));
  int ran = 0;
  for (const QString& name : compile.entryList(QDir::Files)) {
    QFile file(compile.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) continue;
    TksScript script;
    script.SetSyntaxType(QString::fromLatin1(dialects[bytes[0] % 4]));
    script.SetText(QString::fromUtf8(bytes.mid(1)));
    script.SetOnGetUnit([](TksScript&, const QString&, QString& text) { text.clear(); });
    if (!script.Compile()) {
      EXPECT_FALSE(script.ErrorMsg().isEmpty()) << name.toStdString();
      continue;
    }
    int lines = 0;
    script.SetOnRunLine([&](const QString&) {
      if (++lines >= 10000) script.Terminate();
    });
    if (!script.Execute()) {
      EXPECT_FALSE(script.ErrorMsg().isEmpty()) << name.toStdString();
    }
    ++ran;
  }
  EXPECT_GT(ran, 0);
}

}  // namespace
}  // namespace ovx
