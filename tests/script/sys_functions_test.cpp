// The standard function library, called the way the interpreter calls a
// registered function: arguments by position, by-reference results written
// back into them.
#include "script/sys_functions.h"

#include "script/messages.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace ovx {
namespace {

using V = ScriptValue;

V I(qint64 i) { return V::Integer(i); }
V F(double d) { return V::Float(d); }
V S(const char* s) { return V::String(QString::fromUtf8(s)); }
V Arr(std::vector<V> items) {
  auto a = std::make_shared<ScriptArray>();
  a->low = {0};
  a->high = {static_cast<qint64>(items.size()) - 1};
  a->items = std::move(items);
  return V::Array(std::move(a));
}

// The routine name of a declaration: the word after the keyword.
QString NameOf(const QString& declaration) {
  static const QRegularExpression re(QStringLiteral(R"(^\s*\w+\s+(\w+))"));
  return re.match(declaration).captured(1);
}

const SysFunction* Find(const QString& name) {
  for (const SysFunction& f : SysFunctions()) {
    if (NameOf(f.declaration).compare(name, Qt::CaseInsensitive) == 0) return &f;
  }
  return nullptr;
}

V Call(const char* name, std::vector<V>& args) {
  const SysFunction* f = Find(QString::fromLatin1(name));
  if (!f) throw std::logic_error(std::string("no function ") + name);
  ScriptMethodCall call{V::Null(), QString(), QString::fromLatin1(name).toUpper(), args};
  return f->handler(call);
}

V Call(const char* name, std::initializer_list<V> list) {
  std::vector<V> args(list);
  return Call(name, args);
}

struct Case {
  const char* what;
  const char* name;
  std::vector<V> args;
  const char* expected;  // V::Display() of the result
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    try {
      std::vector<V> args = c.args;
      EXPECT_EQ(Call(c.name, args).Display().toStdString(), c.expected) << c.what;
    } catch (const ScriptError& e) {
      ADD_FAILURE() << c.what << " raised " << e.message.toStdString();
    }
  }
}

TEST(SysFunctionsTest, TheLibraryTable) {
  const V array = Call("VarArrayCreate", {Arr({I(0), I(4)}), I(kVarVariant)});
  const V sunday = Call("EncodeDate", {I(2024), I(1), I(7)});
  RunCases({
      {"Length(VarArrayCreate([0, 4], varVariant))", "Length", {array}, "5"},
      {"Length('abc')", "Length", {S("abc")}, "3"},
      {"Copy('abcdef', 2, 3)", "Copy", {S("abcdef"), I(2), I(3)}, "'bcd'"},
      {"Pos('cd', 'abcdef')", "Pos", {S("cd"), S("abcdef")}, "3"},
      {"NameCase('hello big world')", "NameCase", {S("hello big world")}, "'Hello Big World'"},
      {"DaysInMonth(2000, 2)", "DaysInMonth", {I(2000), I(2)}, "29"},
      {"DaysInMonth(1900, 2)", "DaysInMonth", {I(1900), I(2)}, "28"},
      {"Round(2.5)", "Round", {F(2.5)}, "2"},
      {"Round(3.5)", "Round", {F(3.5)}, "4"},
      {"BoolToStr(True)", "BoolToStr", {V::Bool(true)}, "'-1'"},
      {"DayOfWeek(EncodeDate(2024, 1, 7))", "DayOfWeek", {sunday}, "1"},
      {"Frac(1.23456)", "Frac", {F(1.23456)}, "0.23456"},
      {"ExtractFilePath('/a/b.ov3')", "ExtractFilePath", {S("/a/b.ov3")}, "'/a/'"},
  });
}

TEST(SysFunctionsTest, IncAndDecWriteBackTheirVariable) {
  std::vector<V> args = {I(41)};  // the optional step left out
  Call("Inc", args);
  EXPECT_EQ(args[0].Display(), "42");
  args = {I(41), I(5)};
  Call("Inc", args);
  EXPECT_EQ(args[0].Display(), "46");
  args = {I(10), I(3)};
  Call("Dec", args);
  EXPECT_EQ(args[0].Display(), "7");
  args = {I(std::numeric_limits<qint64>::max())};
  EXPECT_THROW(Call("Inc", args), ScriptError);
  // Currency and dates keep their kind and their fractions.
  args = {V::Currency(1.25)};
  Call("Inc", args);
  EXPECT_EQ(args[0].Display(), "2.25");
  EXPECT_EQ(args[0].kind(), V::Kind::kCurrency);
  args = {V::Currency(1.25), V::Currency(0.5)};
  Call("Dec", args);
  EXPECT_EQ(args[0].Display(), "0.75");
  args = {V::Date(36526.5)};
  Call("Inc", args);
  EXPECT_EQ(args[0].Display(), "2000/01/02 12:00:00");
  args = {V::CurrencyUnits(std::numeric_limits<qint64>::max())};
  EXPECT_THROW(Call("Inc", args), ScriptError);
}

TEST(SysFunctionsTest, ByReferenceResults) {
  std::vector<V> args = {Call("EncodeDate", {I(2002), I(11), I(28)}), V(), V(), V()};
  Call("DecodeDate", args);
  EXPECT_EQ(args[1].Display() + args[2].Display() + args[3].Display(), "20021128");
  args = {Call("EncodeTime", {I(14), I(5), I(9), I(7)}), V(), V(), V(), V()};
  Call("DecodeTime", args);
  EXPECT_EQ(args[1].Display() + u':' + args[2].Display() + u':' + args[3].Display() + u'.' +
                args[4].Display(),
            "14:5:9.7");
  args = {S("abcdef"), I(2), I(3)};
  Call("Delete", args);
  EXPECT_EQ(args[0].Display(), "'aef'");
  args = {S("XY"), S("abc"), I(2)};
  Call("Insert", args);
  EXPECT_EQ(args[1].Display(), "'aXYbc'");
  args = {S("abc"), I(5)};
  Call("SetLength", args);
  EXPECT_EQ(args[0].Display(), "'abc  '");
  args = {Arr({I(1), I(2), I(3)}), I(2)};
  Call("SetLength", args);
  EXPECT_EQ(args[0].Display(), "[1, 2]");
  args = {Arr({I(1)}), I(3)};
  Call("SetLength", args);
  EXPECT_EQ(args[0].Display(), "[1, Empty, Empty]");
}

TEST(SysFunctionsTest, TheRestOfTheLibrary) {
  const V date = Call("EncodeDate", {I(2024), I(1), I(7)});
  const V noon = Call("EncodeTime", {I(12), I(0), I(0), I(0)});
  RunCases({
      {"IntToStr", "IntToStr", {I(-9000000000)}, "'-9000000000'"},
      {"FloatToStr", "FloatToStr", {F(1.5)}, "'1.5'"},
      {"DateToStr", "DateToStr", {date}, "'2024/01/07'"},
      {"TimeToStr", "TimeToStr", {noon}, "'12:00:00'"},
      {"DateTimeToStr", "DateTimeToStr", {F(date.ToFloat() + 0.5)}, "'2024/01/07 12:00:00'"},
      {"BoolToStr(False)", "BoolToStr", {V::Bool(false)}, "'0'"},
      {"VarToStr(Null)", "VarToStr", {V::Null()}, "''"},
      {"VarToStr(1.5)", "VarToStr", {F(1.5)}, "'1.5'"},
      {"StrToInt hex", "StrToInt", {S("$1F")}, "31"},
      {"StrToInt 64-bit", "StrToInt", {S("-9000000000")}, "-9000000000"},
      {"StrToFloat point", "StrToFloat", {S("2.5")}, "2.5"},
      {"StrToFloat comma", "StrToFloat", {S("2,5")}, "2.5"},
      {"StrToDate", "StrToDate", {S("2024/01/07")}, "45298"},
      {"StrToDate dashes", "StrToDate", {S("2024-1-7")}, "45298"},
      {"StrToTime", "StrToTime", {S("18:00")}, "0.75"},
      {"StrToTime pm", "StrToTime", {S("6:00 PM")}, "0.75"},
      {"StrToDateTime", "StrToDateTime", {S("2024/01/07 18:00:00")}, "45298.75"},
      {"StrToBool", "StrToBool", {S("TRUE")}, "True"},
      {"StrToBool number", "StrToBool", {S("0")}, "False"},
      {"Format", "Format", {S("%d-%s-%.2f"), Arr({I(7), S("x"), F(1.5)})}, "'7-x-1.50'"},
      {"FormatFloat", "FormatFloat", {S("#,##0.00"), F(1234.5)}, "'1,234.50'"},
      {"FormatDateTime", "FormatDateTime", {S("dd mmm yyyy"), date}, "'07 Jan 2024'"},
      {"FormatMaskText",
       "FormatMaskText",
       {S("!(999)000-0000;0;_"), S("5551234567")},
       "'(555)123-4567'"},
      {"FormatMaskText literals kept", "FormatMaskText", {S(">LL-00;1;_"), S("ab-1")}, "'AB-1_'"},
      {"IsLeapYear(2000)", "IsLeapYear", {I(2000)}, "True"},
      {"IsLeapYear(1900)", "IsLeapYear", {I(1900)}, "False"},
      {"DayOfWeek Saturday", "DayOfWeek", {F(0)}, "7"},
      {"Uppercase", "Uppercase", {S("abcä")}, "'ABCÄ'"},
      {"Lowercase", "Lowercase", {S("ABC")}, "'abc'"},
      {"Trim", "Trim", {S("\t a b \r\n")}, "'a b'"},
      {"CompareText", "CompareText", {S("abc"), S("ABD")}, "-1"},
      {"CompareText equal", "CompareText", {S("abc"), S("ABC")}, "0"},
      {"Chr", "Chr", {I(65)}, "'A'"},
      {"Ord", "Ord", {S("A")}, "65"},
      {"Pos absent", "Pos", {S("x"), S("abc")}, "0"},
      {"Trunc", "Trunc", {F(-2.7)}, "-2"},
      {"Int keeps a float", "Int", {F(-2.7)}, "-2"},
      {"Round of a large Int64", "Round", {I(9007199254740993)}, "9007199254740993"},
      {"Sqrt beyond the Currency range", "Sqrt", {F(1e20)}, "10000000000"},
      {"Sin keeps small values", "Sin", {F(0.00001)}, "9.99999999983333E-6"},
      {"Abs", "Abs", {F(-1.5)}, "1.5"},
      {"Cos", "Cos", {F(0)}, "1"},
      {"ArcTan", "ArcTan", {F(1)}, "0.785398163397448"},
      {"Tan", "Tan", {F(0)}, "0"},
      {"Exp", "Exp", {F(1)}, "2.71828182845905"},
      {"Ln", "Ln", {F(1)}, "0"},
      {"Pi", "Pi", {}, "3.14159265358979"},
      {"ValidInt", "ValidInt", {S("12")}, "True"},
      {"ValidInt bad", "ValidInt", {S("1x")}, "False"},
      {"ValidFloat comma", "ValidFloat", {S("1,5")}, "True"},
      {"ValidFloat Null", "ValidFloat", {V::Null()}, "False"},
      {"ValidDate", "ValidDate", {S("2024/02/29")}, "True"},
      {"ValidDate no such day", "ValidDate", {S("2023/02/29")}, "False"},
      {"ValidDate of a date value", "ValidDate", {date}, "True"},
      {"ValidDate of no date", "ValidDate", {F(1e10)}, "False"},
      {"ExtractFilePath Windows", "ExtractFilePath", {S("C:\\a\\b.ov3")}, "'C:\\a\\'"},
      {"ExtractFilePath drive", "ExtractFilePath", {S("C:b.ov3")}, "'C:'"},
      {"ExtractFilePath bare", "ExtractFilePath", {S("b.ov3")}, "''"},
      {"VarType string", "VarType", {S("a")}, "256"},
      {"VarType integer", "VarType", {I(1)}, "3"},
      {"VarType double", "VarType", {F(1)}, "5"},
      {"VarType Null", "VarType", {V::Null()}, "1"},
      {"VarType array", "VarType", {Arr({})}, "8204"},
      {"typed array elements", "VarArrayCreate", {Arr({I(1), I(2)}), I(kVarInteger)}, "[0, 0]"},
      {"empty array", "VarArrayCreate", {Arr({I(0), I(-1)}), I(kVarVariant)}, "[]"},
  });
  const V two_d = Call("VarArrayCreate", {Arr({I(0), I(1), I(1), I(3)}), I(kVarDouble)});
  EXPECT_EQ(two_d.array()->items.size(), 6u);
  EXPECT_EQ(Call("Length", {two_d}).Display(), "2");
  for (int i = 0; i < 100; ++i) {
    const double r = Call("Random", {}).ToFloat();
    ASSERT_TRUE(r >= 0 && r < 1) << r;
  }
  EXPECT_EQ(Call("Randomize", {}).kind(), V::Kind::kEmpty);
  const double now = Call("Now", {}).ToFloat();
  EXPECT_NEAR(now, Call("Date", {}).ToFloat() + Call("Time", {}).ToFloat(), 1.0 / 24 / 60);
}

// Hostile arguments: each is a script error (or a clamped result), never a
// read outside the value; the sanitizer build runs this too.
TEST(SysFunctionsTest, HostileArguments) {
  const qint64 max = std::numeric_limits<qint64>::max();
  const qint64 min = std::numeric_limits<qint64>::min();
  RunCases({
      {"Copy('abc', -5, 99)", "Copy", {S("abc"), I(-5), I(99)}, "'abc'"},
      {"Copy('abc', 10, 1)", "Copy", {S("abc"), I(10), I(1)}, "''"},
      {"Copy negative count", "Copy", {S("abc"), I(2), I(-1)}, "''"},
      {"Copy extreme", "Copy", {S("abc"), I(min), I(max)}, "'abc'"},
      {"Copy far", "Copy", {S("abc"), I(max), I(max)}, "''"},
      {"Copy float position", "Copy", {S("abcdef"), F(2.5), F(2)}, "'bc'"},
  });
  std::vector<V> args = {S("abc"), I(0), I(2)};
  Call("Delete", args);
  EXPECT_EQ(args[0].Display(), "'abc'") << "Delete before the start";
  args = {S("abc"), I(2), I(max)};
  Call("Delete", args);
  EXPECT_EQ(args[0].Display(), "'a'") << "Delete past the end";
  args = {S("X"), S("abc"), I(-5)};
  Call("Insert", args);
  EXPECT_EQ(args[1].Display(), "'Xabc'");
  args = {S("X"), S("abc"), I(max)};
  Call("Insert", args);
  EXPECT_EQ(args[1].Display(), "'abcX'");

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Bad {
    const char* what;
    const char* name;
    std::vector<V> args;
    const char* message;  // a part of the message
  };
  const Bad bad[] = {
      {"DaysInMonth(2000, 13)", "DaysInMonth", {I(2000), I(13)}, "Invalid month: 13"},
      {"DaysInMonth(2000, 0)", "DaysInMonth", {I(2000), I(0)}, "Invalid month"},
      {"DaysInMonth(2000, -1e10)", "DaysInMonth", {I(2000), I(-10000000000)}, "Invalid month"},
      {"EncodeDate(2001, 2, 29)", "EncodeDate", {I(2001), I(2), I(29)}, "date encode"},
      {"EncodeDate(0, 1, 1)", "EncodeDate", {I(0), I(1), I(1)}, "date encode"},
      {"EncodeDate(2001, 99, 1)", "EncodeDate", {I(2001), I(99), I(1)}, "date encode"},
      {"EncodeDate huge", "EncodeDate", {I(max), I(max), I(max)}, "date encode"},
      {"EncodeTime(24, 0, 0, 0)", "EncodeTime", {I(24), I(0), I(0), I(0)}, "time encode"},
      {"EncodeTime(0, 0, 0, -1)", "EncodeTime", {I(0), I(0), I(0), I(-1)}, "time encode"},
      {"Round(1e20)", "Round", {F(1e20)}, "Invalid floating point operation"},
      {"Round(-1e19)", "Round", {F(-1e19)}, "Invalid floating point operation"},
      {"Round(inf)", "Round", {F(inf)}, "Invalid floating point operation"},
      {"Trunc(NaN)", "Trunc", {F(nan)}, "Invalid floating point operation"},
      {"Trunc(2^63)", "Trunc", {F(9223372036854775808.0)}, "Invalid floating point operation"},
      {"Int(inf)", "Int", {F(inf)}, "Invalid floating point operation"},
      {"Frac(NaN)", "Frac", {F(nan)}, "Invalid floating point operation"},
      {"Sqrt(-1)", "Sqrt", {F(-1)}, "Invalid floating point operation"},
      {"Ln(-1)", "Ln", {F(-1)}, "Invalid floating point operation"},
      {"Ln(0)", "Ln", {F(0)}, "division by zero"},
      {"Exp(1e6)", "Exp", {F(1e6)}, "overflow"},
      {"Sin(inf)", "Sin", {F(inf)}, "Invalid floating point operation"},
      {"StrToInt overflow", "StrToInt", {S("99999999999999999999")}, "not a valid integer"},
      {"StrToInt garbage", "StrToInt", {S("12x")}, "not a valid integer"},
      {"StrToFloat garbage", "StrToFloat", {S("1.2.3")}, "not a valid floating point"},
      {"StrToDate garbage", "StrToDate", {S("2024/13/01")}, "not a valid date"},
      {"StrToDate too many parts", "StrToDate", {S("1/2/3/4")}, "not a valid date"},
      {"StrToDate long number", "StrToDate", {S("2024/01/0000000007")}, "not a valid date"},
      {"StrToTime garbage", "StrToTime", {S("25:00")}, "not a valid time"},
      {"StrToBool garbage", "StrToBool", {S("maybe")}, "not a valid boolean"},
      {"Chr(65536)", "Chr", {I(65536)}, "Chr"},
      {"Chr(-1)", "Chr", {I(-1)}, "Chr"},
      {"DecodeDate(1e10)", "DecodeDate", {F(1e10), V(), V(), V()}, "Invalid date value"},
      {"DayOfWeek(NaN)", "DayOfWeek", {F(nan)}, "Invalid date value"},
      {"DateToStr(-1e9)", "DateToStr", {F(-1e9)}, "Invalid date value"},
      {"FormatDateTime(1e300)", "FormatDateTime", {S("yyyy"), F(1e300)}, "Invalid date value"},
      {"VarArrayCreate([0], varVariant)",
       "VarArrayCreate",
       {Arr({I(0)}), I(kVarVariant)},
       "bounds"},
      {"VarArrayCreate([], varVariant)", "VarArrayCreate", {Arr({}), I(kVarVariant)}, "bounds"},
      {"VarArrayCreate high < low - 1",
       "VarArrayCreate",
       {Arr({I(5), I(3)}), I(kVarVariant)},
       "bounds"},
      {"VarArrayCreate extreme",
       "VarArrayCreate",
       {Arr({I(min), I(max)}), I(kVarVariant)},
       "at most"},
      {"VarArrayCreate beyond the budget",
       "VarArrayCreate",
       {Arr({I(0), I(1 << 12), I(0), I(1 << 12)}), I(kVarVariant)},
       "at most"},
      {"VarArrayCreate of no type", "VarArrayCreate", {Arr({I(0), I(1)}), I(9999)}, "variant type"},
      {"VarArrayCreate without bounds", "VarArrayCreate", {I(4), I(kVarVariant)}, "bounds"},
      {"Format('%d %d', [1])",
       "Format",
       {S("%d %d"), Arr({I(1)})},
       "Format '%d %d' invalid or incompatible with argument"},
      {"Format('%d', ['x'])", "Format", {S("%d"), Arr({S("x")})}, "incompatible"},
      {"Format('%s', [[1]])", "Format", {S("%s"), Arr({Arr({I(1)})})}, "incompatible"},
      {"Format('%')", "Format", {S("%"), Arr({})}, "incompatible"},
      {"SetLength negative", "SetLength", {S("abc"), I(-1)}, "Invalid length"},
      {"SetLength huge", "SetLength", {S("abc"), I(max)}, "Invalid length"},
      {"SetLength of an array beyond the element limit",
       "SetLength",
       {Arr({I(1)}), I(kMaxScriptArrayElements + 1)},
       "at most"},
      {"Inc of text", "Inc", {S("x")}, "Could not convert"},
      {"RaiseException", "RaiseException", {S("stop here")}, "stop here"},
      {"CreateOleObject",
       "CreateOleObject",
       {S("Excel.Application")},
       "OLE error 800401F3: Excel.Application: Invalid class string"},
  };
  for (const Bad& b : bad) {
    try {
      std::vector<V> args = b.args;
      const V v = Call(b.name, args);
      ADD_FAILURE() << b.what << " gave " << v.Display().toStdString();
    } catch (const ScriptError& e) {
      EXPECT_TRUE(e.message.contains(QString::fromLatin1(b.message)))
          << b.what << ": " << e.message.toStdString();
    }
  }
}

// Characters of a string by index, through the interpreter.
TEST(SysFunctionsTest, StringIndexesOutsideTheTextAreErrors) {
  RegisterScriptLanguages();
  for (const char* index : {"0", "4", "-9223372036854775807"}) {
    TksScript script;
    script.SetSyntaxType(QStringLiteral("PascalScript"));
    script.SetText(QStringLiteral("var s, c: String; begin s := 'abc'; c := s[%1]; end.")
                       .arg(QLatin1String(index)));
    ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
    EXPECT_FALSE(script.Execute()) << index;
    EXPECT_FALSE(script.ErrorMsg().isEmpty());
  }
}

class RecordingDialogs : public ScriptDialogs {
 public:
  void ShowMessage(const QString& text) override { log += QStringLiteral("show:") + text + u';'; }
  int MessageDlg(const QString& text, int type, int buttons, int help) override {
    log += QStringLiteral("dlg:%1,%2,%3,%4;").arg(text).arg(type).arg(buttons).arg(help);
    return 6;
  }
  std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                    const QString& value) override {
    log += QStringLiteral("input:%1,%2,%3;").arg(caption, prompt, value);
    if (value == u"cancel") return std::nullopt;
    return value + u'!';
  }
  QString log;
};

TEST(SysFunctionsTest, DialogsGoThroughTheHost) {
  SetScriptDialogs(nullptr);
  // Without a host: nothing shown, the answers of a dialog not confirmed.
  std::vector<V> query = {S("c"), S("p"), S("v")};
  EXPECT_EQ(Call("InputQuery", query).Display(), "False");
  EXPECT_EQ(query[2].Display(), "'v'");
  EXPECT_EQ(Call("InputBox", {S("c"), S("p"), S("def")}).Display(), "'def'");
  EXPECT_EQ(Call("MessageDlg", {S("m"), I(3), Arr({I(1), I(2)}), I(0)}).Display(), "0");
  EXPECT_EQ(Call("ShowMessage", {S("hi")}).kind(), V::Kind::kEmpty);

  auto host = std::make_shared<RecordingDialogs>();
  SetScriptDialogs(host);
  Call("ShowMessage", {S("hi")});
  EXPECT_EQ(Call("MessageDlg", {S("m"), I(3), Arr({I(1), I(2)}), I(0)}).Display(), "6");
  EXPECT_EQ(Call("InputQuery", query).Display(), "True");
  EXPECT_EQ(query[2].Display(), "'v!'");
  EXPECT_EQ(Call("InputBox", {S("c"), S("p"), S("cancel")}).Display(), "'cancel'");
  EXPECT_EQ(host->log, "show:hi;dlg:m,3,3,0;input:c,p,v;input:c,p,cancel;");

  // A script on a worker thread never reaches the host.
  host->log.clear();
  V answer;
  std::thread worker([&] { answer = Call("InputBox", {S("c"), S("p"), S("def")}); });
  worker.join();
  EXPECT_EQ(answer.Display(), "'def'");
  EXPECT_TRUE(host->log.isEmpty());
  SetScriptDialogs(nullptr);
}

TEST(SysFunctionsTest, EveryFunctionOnceInItsCategory) {
  const QStringList expected =
      QStringLiteral(
          "IntToStr FloatToStr DateToStr TimeToStr DateTimeToStr BoolToStr VarToStr StrToInt "
          "StrToFloat StrToDate StrToTime StrToDateTime StrToBool Format FormatFloat "
          "FormatDateTime "
          "FormatMaskText EncodeDate DecodeDate EncodeTime DecodeTime Date Time Now DayOfWeek "
          "IsLeapYear DaysInMonth Length Copy Pos Delete DeleteStr Insert Uppercase Lowercase Trim "
          "NameCase CompareText Chr Ord SetLength Round Trunc Int Frac Sqrt Abs Sin Cos ArcTan Tan "
          "Exp Ln Pi Inc Dec RaiseException ShowMessage Randomize Random ValidInt ValidFloat "
          "ValidDate ExtractFilePath CreateOleObject VarArrayCreate VarType MessageDlg InputBox "
          "InputQuery")
          .split(u' ');
  QStringList names, categories;
  for (const SysFunction& f : SysFunctions()) {
    names << NameOf(f.declaration);
    if (!categories.contains(f.category)) categories << f.category;
    EXPECT_TRUE(f.handler) << f.declaration.toStdString();
  }
  EXPECT_EQ(names, expected);
  EXPECT_EQ(categories.join(u' '), "ctConv ctFormat ctDate ctString ctMath ctOther");
  // Declarations as the registry parses them, trailing ";" included.
  EXPECT_EQ(Find(QStringLiteral("Inc"))->declaration,
            "procedure Inc(var i: Integer; incr: Integer = 1)");
  EXPECT_EQ(Find(QStringLiteral("StrToBool"))->declaration,
            "function StrToBool(const S: string): Boolean;");
  EXPECT_EQ(Find(QStringLiteral("MessageDlg"))->declaration,
            "function MessageDlg(Msg: string; DlgType: TMsgDlgType; Buttons: TMsgDlgButtons; "
            "HelpCtx: Longint): Integer");
}

}  // namespace
}  // namespace ovx

namespace ovx {
namespace {

// Parameter names a declaration's text lists: the groups between its
// parentheses, names before each ':' (after var/const).
int ParamCountOf(const QString& declaration) {
  const qsizetype open = declaration.indexOf(u'(');
  const qsizetype close = declaration.indexOf(u')');
  if (open < 0 || close < open) return 0;
  int count = 0;
  for (QString group : declaration.mid(open + 1, close - open - 1).split(u';')) {
    group = group.section(u':', 0, 0).trimmed();
    group.remove(QRegularExpression(QStringLiteral(R"(^(var|const)\s+)"),
                                    QRegularExpression::CaseInsensitiveOption));
    if (!group.isEmpty()) count += static_cast<int>(group.split(u',').size());
  }
  return count;
}

TEST(SysFunctionsScriptTest, EveryDeclarationIsRegisteredAsWritten) {
  const TksScript& unit = TksScript::GlobalUnit();
  for (const SysFunction& f : SysFunctions()) {
    const std::string text = f.declaration.toStdString();
    const ScriptItem* item = unit.Find(NameOf(f.declaration));
    ASSERT_TRUE(item) << text;
    ASSERT_EQ(item->kind, ScriptItem::Kind::kMethod) << text;
    ASSERT_TRUE(item->method) << text;
    EXPECT_EQ(item->method->syntax, f.declaration) << "another registration took the name";
    EXPECT_EQ(item->method->category, f.category) << text;
    EXPECT_TRUE(item->method->handler) << text;
    const ScriptDeclaration& d = item->method->decl;
    EXPECT_EQ(d.name, NameOf(f.declaration)) << text;
    EXPECT_EQ(static_cast<int>(d.params.size()), ParamCountOf(f.declaration)) << text;
    for (const ScriptParam& p : d.params)
      EXPECT_NE(p.type, ScriptVarType::kClass) << text << ": " << p.type_name.toStdString();
  }
  const ScriptItem* buttons = unit.Find(QStringLiteral("TMsgDlgButtons"));
  ASSERT_TRUE(buttons);
  EXPECT_EQ(buttons->kind, ScriptItem::Kind::kType);
  for (const auto& [name, value] :
       std::vector<std::pair<const char*, qint64>>{{"mtWarning", 0},
                                                   {"mtCustom", 4},
                                                   {"mbYes", 1},
                                                   {"mbOK", 4},
                                                   {"mbClose", 2048},
                                                   {"varVariant", kVarVariant},
                                                   {"varArray", kVarArray}}) {
    const ScriptItem* c = unit.Find(QString::fromLatin1(name));
    ASSERT_TRUE(c) << name;
    EXPECT_EQ(c->value.ToInt64(), value) << name;
  }
}

QHash<QString, QString> RunScript(const char* language, const QString& text, QString* error) {
  RegisterScriptLanguages();
  TksScript script;
  script.SetSyntaxType(QString::fromLatin1(language));
  script.SetText(text);
  QHash<QString, QString> vars;
  if (!script.Compile()) {
    *error = QStringLiteral("compile: ") + script.ErrorMsg();
    return vars;
  }
  if (!script.Execute()) *error = QStringLiteral("run: ") + script.ErrorMsg();
  for (const auto& v : script.Program().Variables())
    vars.insert(v.name.toLower(), v.value.Display());
  return vars;
}

TEST(SysFunctionsScriptTest, ScriptsCallTheLibraryInEveryDialect) {
  const std::pair<const char*, const char*> programs[] = {
      {"PascalScript",
       "var a, c, d, e, f, g, h: Variant; x, y: Integer; big: Int64;\n"
       "begin a := Copy('abcdef', 2, 3); x := 1; Inc(x); y := 1; Inc(y, 5);\n"
       "  c := DaysInMonth(2000, 2); d := Round(2.5);\n"
       "  e := Length(VarArrayCreate([0, 4], varVariant)); f := Format('%d-%s', [1, 'a']);\n"
       "  g := ExtractFilePath('/a/b.ov3'); big := 10000000000; Inc(big, 2);\n"
       "  h := IntToStr(Round(1e12)) end."},
      {"C++Script",
       "Variant a, c, d, e, f, g, h; int x, y; Int64 big;\n"
       "{ a = Copy(\"abcdef\", 2, 3); x = 1; Inc(x); y = 1; Inc(y, 5);\n"
       "  c = DaysInMonth(2000, 2); d = Round(2.5);\n"
       "  e = Length(VarArrayCreate([0, 4], varVariant)); f = Format(\"%d-%s\", [1, \"a\"]);\n"
       "  g = ExtractFilePath(\"/a/b.ov3\"); big = 10000000000; Inc(big, 2);\n"
       "  h = IntToStr(Round(1e12)); }"},
      {"BasicScript",
       "Dim a, c, d, e, f, g, h, x, y, big\r\n"
       "a = Copy(\"abcdef\", 2, 3) : x = 1 : Inc(x) : y = 1 : Inc(y, 5)\r\n"
       "c = DaysInMonth(2000, 2) : d = Round(2.5)\r\n"
       "e = Length(VarArrayCreate([0, 4], varVariant)) : f = Format(\"%d-%s\", [1, \"a\"])\r\n"
       "g = ExtractFilePath(\"/a/b.ov3\") : big = 10000000000 : Inc(big, 2)\r\n"
       "h = IntToStr(Round(1e12))\r\n"},
      {"JScript",
       "var a = Copy(\"abcdef\", 2, 3); var x = 1; Inc(x); var y = 1; Inc(y, 5);\n"
       "var c = DaysInMonth(2000, 2); var d = Round(2.5);\n"
       "var e = Length(VarArrayCreate([0, 4], varVariant)); var f = Format(\"%d-%s\", [1, "
       "\"a\"]);\n"
       "var g = ExtractFilePath(\"/a/b.ov3\"); var big = 10000000000; Inc(big, 2);\n"
       "var h = IntToStr(Round(1e12));"},
  };
  for (const auto& [language, text] : programs) {
    QString error;
    const QHash<QString, QString> vars = RunScript(language, QString::fromLatin1(text), &error);
    ASSERT_TRUE(error.isEmpty()) << language << ": " << error.toStdString();
    QStringList got;
    for (const char* name : {"a", "x", "y", "c", "d", "e", "f", "g", "big", "h"})
      got << vars.value(QString::fromLatin1(name));
    EXPECT_EQ(got.join(u' ').toStdString(),
              "'bcd' 2 6 29 2 5 '1-a' '/a/' 10000000002 '1000000000000'")
        << language;
  }
}

// Hostile arguments through a script: each either answers or raises an
// error the script catches; the statement after the failing one in the
// try block never runs.
TEST(SysFunctionsScriptTest, HostileArgumentsRaiseCatchableErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {"Copy('abc', -5, 99)", ""},    {"s[4]", "ERangeError"},
      {"DaysInMonth(2000, 13)", "*"}, {"EncodeDate(2001, 2, 29)", "*"},
      {"Round(1e20)", "*"},           {"VarArrayCreate([0], varVariant)", "EVariantError"},
      {"Format('%d %d', [1])", "*"},  {"MessageDlg('x', mtError, [mbOK, mbCancel], 0)", ""},
  };
  for (const auto& [expr, kind] : cases) {
    const QString text =
        QStringLiteral(
            "var s, cls, msg: String; v: Variant; after: Boolean;\n"
            "begin s := 'abc'; try v := %1; after := True; except cls := ExceptionClassName;\n"
            "  msg := ExceptionMessage; end; end.")
            .arg(QString::fromLatin1(expr));
    QString error;
    const QHash<QString, QString> vars = RunScript("PascalScript", text, &error);
    ASSERT_TRUE(error.isEmpty()) << expr << ": " << error.toStdString();
    const QString cls = vars.value(QStringLiteral("cls"));
    if (QByteArray(kind).isEmpty()) {
      EXPECT_EQ(cls, QStringLiteral("''")) << expr << " raised " << cls.toStdString();
      EXPECT_EQ(vars.value(QStringLiteral("after")), QStringLiteral("True")) << expr;
    } else {
      EXPECT_NE(cls, QStringLiteral("''")) << expr << " did not raise";
      EXPECT_NE(vars.value(QStringLiteral("msg")), QStringLiteral("''")) << expr;
      EXPECT_EQ(vars.value(QStringLiteral("after")), QStringLiteral("False")) << expr;
      if (QByteArray(kind) != "*")
        EXPECT_EQ(cls, u'\'' + QString::fromLatin1(kind) + u'\'') << expr;
    }
  }
  QString error;
  EXPECT_EQ(RunScript("PascalScript",
                      QStringLiteral("var v: Variant; begin v := Copy('abc', -5, 99) end."), &error)
                .value(QStringLiteral("v")),
            QStringLiteral("'abc'"));
}

// A replaced message text keeps the value the message names.
TEST(SysFunctionsScriptTest, ReplacedMessagesKeepTheirArgument) {
  SetScriptMessages({{QStringLiteral("rsScriptInvalidMonth"), QStringLiteral("月份无效: %1")},
                     {QStringLiteral("rsScriptNotInteger"), QStringLiteral("不是整数: %1")}});
  std::vector<std::string> got;
  const std::pair<const char*, std::vector<V>> calls[] = {{"DaysInMonth", {I(2000), I(13)}},
                                                          {"StrToInt", {S("x1")}}};
  for (const auto& [name, args] : calls) {
    try {
      std::vector<V> values = args;
      Call(name, values);
      got.push_back("no error");
    } catch (const ScriptError& e) {
      got.push_back(e.message.toStdString());
    }
  }
  SetScriptMessages({});
  EXPECT_EQ(got, (std::vector<std::string>{"月份无效: 13", "不是整数: x1"}));
}

// Arrays the library makes are the program's: they count against its
// element budget while they live and give it back when dropped.
TEST(SysFunctionsScriptTest, LibraryArraysChargeTheProgramsBudget) {
  QString error;
  QHash<QString, QString> vars = RunScript(
      "PascalScript",
      QStringLiteral("var keep: array[0..9] of Variant; i, made: Integer; cls: String;\n"
                     "begin try for i := 0 to 9 do begin\n"
                     "  keep[i] := VarArrayCreate([0, 199999], varVariant); made := i + 1; end;\n"
                     "except cls := ExceptionClassName end end."),
      &error);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_EQ(vars.value(QStringLiteral("cls")), QStringLiteral("'EOutOfMemory'"));
  EXPECT_LE(vars.value(QStringLiteral("made")).toInt(), 5);
  // Dropped arrays return their elements: many in turn fit.
  vars = RunScript(
      "PascalScript",
      QStringLiteral("var v: Variant; i, made: Integer;\n"
                     "begin for i := 1 to 40 do begin\n"
                     "  v := VarArrayCreate([0, 199999], varVariant); made := i end end."),
      &error);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_EQ(vars.value(QStringLiteral("made")), QStringLiteral("40"));
  // SetLength of a library array grows it within the same budget.
  vars =
      RunScript("PascalScript",
                QStringLiteral("var a, b, c: Variant; cls: String;\n"
                               "begin a := VarArrayCreate([0, 0], varVariant);\n"
                               "  b := VarArrayCreate([0, 399999], varVariant);\n"
                               "  try SetLength(a, 700000) except cls := ExceptionClassName end;\n"
                               "  c := Length(a) end."),
                &error);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_EQ(vars.value(QStringLiteral("cls")), QStringLiteral("'EOutOfMemory'"));
  EXPECT_EQ(vars.value(QStringLiteral("c")), QStringLiteral("1"));
}

}  // namespace
}  // namespace ovx
