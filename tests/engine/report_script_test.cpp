// Report scripts and expressions through a whole preparation: the main
// block, name lookup, the expression cache, error texts and the events the
// engine and the preview call.
#include "engine/report_script.h"

#include "base/object_handle.h"
#include "base/stream.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/report_lists.h"
#include "tests/engine/band_report.h"
#include "tests/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::BandReport;

class ReportScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallScripting(); }

  // A report title holding memo "Memo1" with `text`.
  TovxMemoView* TitleMemo(BandReport& r, const QString& text) {
    auto* title = r.Add<TovxReportTitle>(QStringLiteral("Title"), 0, 40);
    return r.AddMemo(*title, QStringLiteral("Memo1"), text);
  }
  static QString Script(const QStringList& lines) { return lines.join(QStringLiteral("\r\n")); }
  static void SetScript(BandReport& r, const QString& text) {
    QStringList lines = text.split(QStringLiteral("\r\n"));
    r.report->SetScriptText(lines);
  }
  // A memo's text without the line end its last line gets.
  static QString Plain(QString text) {
    if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
    return text;
  }
  // The text of the first prepared object named `name`.
  static QString PreparedText(BandReport& r, const QString& name) {
    for (int i = 0; i < r.Pages().Count(); ++i) {
      for (const TovxComponent* object : r.Pages().GetPage(i)->AllObjects()) {
        if (object->Name() != name) continue;
        if (auto* memo = dynamic_cast<const TovxCustomMemoView*>(object)) {
          return Plain(memo->Text());
        }
      }
    }
    return QStringLiteral("<none>");
  }
  // A global variable of the report script after the run.
  static QString ScriptGlobal(BandReport& r, const QString& name) {
    for (const ScriptVariableInfo& v : ReportScripting(*r.report)->Script().Program().Variables()) {
      if (v.name.compare(name, Qt::CaseInsensitive) == 0) return v.value.ToString();
    }
    return QStringLiteral("<none>");
  }
};

TEST_F(ReportScriptTest, BracketExpressions) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"[V]", "5"},  // variable "2+3"
      {"[Lines]", "a\r\nb"},
      {"[IIF(1 = 1, ']', 'b')]x", "]x"},
      {"[1.5 #N0.00] [2.5]", "1.50 2.5"},
      {"[IIF(1, 'a', 'b')]", "b"},
      {"[IIF(True, 1, 1 div 0)]", "1"},
      {"[V * 2]", "10"},
      {"[Get('V') + 1]", "6"},
      {"[Calc('V') + Calc('3')]", "8"},
      {"[G]", "global"},
      {"[Report.Calc('V') + 1]", "6"},
  };
  GlobalVariables().SetValue(QStringLiteral("G"), QStringLiteral("global"));
  for (const Case& c : cases) {
    BandReport r;
    r.report->Variables().SetValue(QStringLiteral("V"), QStringLiteral("2+3"));
    r.report->Variables().SetValue(QStringLiteral("Lines"), QStringLiteral("a\r\nb"));
    TovxMemoView* memo = TitleMemo(r, QString::fromUtf8(c.text));
    ASSERT_TRUE(r.Prepare()) << c.text << ": " << r.report->Errors().join(u'|').toStdString();
    EXPECT_EQ(PreparedText(r, QStringLiteral("Memo1")), QString::fromUtf8(c.expected)) << c.text;
    EXPECT_TRUE(r.report->Errors().isEmpty()) << c.text;
    EXPECT_EQ(Plain(memo->Text()), QString::fromUtf8(c.text)) << "template changed: " << c.text;
  }
  GlobalVariables().Clear();
}

// Compiled expressions in every dialect; a bracket over two lines too.
TEST_F(ReportScriptTest, ExpressionsInEveryDialect) {
  struct Case {
    const char* language;
    QStringList script;
    const char* name;  // the text 'V' in the dialect
  } cases[] = {{"PascalScript", {"begin", "end."}, "'V'"},
               {"C++Script", {"{", "}"}, "\"V\""},
               {"BasicScript", {""}, "\"V\""},
               {"JScript", {""}, "\"V\""}};
  for (const Case& c : cases) {
    BandReport r;
    r.report->SetScriptLanguage(QString::fromLatin1(c.language));
    r.report->SetScriptText(c.script);
    r.report->Variables().SetValue(QStringLiteral("V"), 5);
    TitleMemo(r, QStringLiteral("[V *\r\n 2]|[IIF(V > 4, 1, 2)]|[Get(%1) - 1]")
                     .arg(QString::fromLatin1(c.name)));
    ASSERT_TRUE(r.Prepare()) << c.language << ": " << r.report->Errors().join(u'|').toStdString();
    EXPECT_EQ(PreparedText(r, QStringLiteral("Memo1")), QStringLiteral("10|1|4")) << c.language;
  }
}

// Null fields with ConvertNulls, and names that only look like fields.
TEST_F(ReportScriptTest, DataFieldsAndConvertNulls) {
  BandReport r;
  // Fields S (string), B (Boolean) and N (numeric) as the host types them,
  // all Null; the same fields untyped in Plain.
  auto* data = new TovxUserDataSet(r.page);
  data->SetName(QStringLiteral("DS"));
  data->SetFields({QStringLiteral("S"), QStringLiteral("B"), QStringLiteral("N")});
  data->on_get_field_type = [](const QString& field, TovxFieldType& type) {
    if (field == u"S") type = TovxFieldType::fftString;
    if (field == u"B") type = TovxFieldType::fftBoolean;
  };
  auto* plain = new TovxUserDataSet(r.page);
  plain->SetName(QStringLiteral("Plain"));
  plain->SetFields(data->Fields());
  ReportScript& script = *ReportScripting(*r.report);
  ASSERT_TRUE(script.PrepareScript());
  struct Case {
    const char* name;
    bool convert;
    bool found;
    QVariant expected;
  } cases[] = {
      {"DS.\"S\"", true, true, QVariant(QStringLiteral(""))},
      {"DS.\"B\"", true, true, QVariant(false)},
      {"DS.\"N\"", true, true, QVariant(0)},
      {"DS.\"S\"", false, true, QVariant()},
      {"Plain.\"S\"", true, true, QVariant(0)},
      {"Plain.\"B\"", true, true, QVariant(0)},
      {"DS.\"S", true, false, QVariant()},  // no closing quote: not a field
      {"DS.\"", true, false, QVariant()},
      {"Nope.\"S\"", true, false, QVariant()},
  };
  for (const Case& c : cases) {
    r.report->EngineOptions().SetConvertNulls(c.convert);
    QVariant value;
    EXPECT_EQ(script.GetReportValue(QString::fromUtf8(c.name), value), c.found) << c.name;
    if (!c.found) continue;
    EXPECT_EQ(value.isValid(), c.expected.isValid()) << c.name;
    if (c.expected.isValid()) {
      EXPECT_EQ(value.metaType().id() == QMetaType::Bool,
                c.expected.metaType().id() == QMetaType::Bool)
          << c.name;
      EXPECT_EQ(value.toString(), c.expected.toString()) << c.name;
    }
  }
}

TEST_F(ReportScriptTest, DivisionByZeroIsAnErrorUnlessIgnored) {
  for (bool ignore : {false, true}) {
    BandReport r;
    r.report->EngineOptions().SetIgnoreDevByZero(ignore);
    r.report->Variables().SetValue(QStringLiteral("Keep"), 1);
    SetScript(r, Script({"begin", "  Set('Keep', 2);", "end."}));
    TovxMemoView* memo = TitleMemo(r, QStringLiteral("[1 div 0]"));
    EXPECT_EQ(r.Prepare(), ignore);
    if (ignore) {
      EXPECT_TRUE(r.report->Errors().isEmpty()) << r.report->Errors().join(u'|').toStdString();
    } else {
      ASSERT_EQ(r.report->Errors().size(), 1) << r.report->Errors().join(u'|').toStdString();
      EXPECT_TRUE(r.report->Errors()[0].startsWith(QStringLiteral("Memo1: 运算式错误 '1 div 0': ")))
          << r.report->Errors()[0].toStdString();
    }
    // The template as it was: the memo's text and the variable the script set.
    EXPECT_EQ(Plain(memo->Text()), QStringLiteral("[1 div 0]"));
    EXPECT_EQ(r.report->Variables().Value(QStringLiteral("Keep")), QVariant(1));
  }
}

TEST_F(ReportScriptTest, CacheKeysAndCompilations) {
  BandReport r;
  SetScript(r, Script({"var A, B: Variant;", "procedure P;", "begin", "  A := Calc('1 + 1');",
                       "end;", "begin", "  B := Calc('1 + 1');", "  P;", "end."}));
  TitleMemo(r, QString());
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'|').toStdString();
  ReportScript& script = *ReportScripting(*r.report);
  EXPECT_EQ(script.Cache().Count(), 2);
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("A")), QStringLiteral("2"));

  // Every record runs the expression compiled once.
  QVariantList values;
  for (int i = 0; i < 10000; ++i) values << i;
  test::RowsDataSet data(QStringLiteral("Rows"), values);
  BandReport rows;
  auto* band = rows.Add<TovxMasterData>(QStringLiteral("Data"), 0, 1);
  band->SetDataSet(&data);
  rows.AddMemo(*band, QStringLiteral("M"), QStringLiteral("[Line * 2]"), 1);
  ASSERT_TRUE(rows.Prepare()) << rows.report->Errors().join(u'|').toStdString();
  EXPECT_EQ(ReportScripting(*rows.report)->Cache().Compilations(), 1);
  EXPECT_EQ(ReportScripting(*rows.report)->Cache().Count(), 1);
}

TEST_F(ReportScriptTest, ScriptErrorsStopThePreparation) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString parent_file = dir.filePath(QStringLiteral("parent.ov3"));
  {
    TovxReport parent;
    parent.SetScriptText(
        {QStringLiteral("begin"), QStringLiteral("  x := ;"), QStringLiteral("end.")});
    parent.SaveToFile(parent_file);
  }
  struct Case {
    QStringList script;
    QString parent;
    QString starts;
  } cases[] = {
      {{"begin", "  x := ;", "end."}, {}, QStringLiteral("Script 错误在 2:")},
      {{"begin", "end."},
       parent_file,
       QStringLiteral("Script 错误在 Parent report: ") + parent_file + QStringLiteral(" Line: 2:")},
      {{"var a: Integer;", "begin", "  a := 0;", "  a := 1 div a;", "end."},
       {},
       QStringLiteral("Division by zero 4:")},
  };
  for (const Case& c : cases) {
    BandReport r;
    r.report->SetScriptText(c.script);
    r.report->SetParentReport(c.parent);
    TitleMemo(r, QStringLiteral("x"));
    EXPECT_FALSE(r.Prepare()) << c.starts.toStdString();
    EXPECT_EQ(r.Pages().Count(), 0);
    ASSERT_EQ(r.report->Errors().size(), 1) << r.report->Errors().join(u'|').toStdString();
    EXPECT_TRUE(r.report->Errors()[0].startsWith(c.starts)) << r.report->Errors()[0].toStdString();
  }
}

TEST_F(ReportScriptTest, VariablesThatNameThemselvesEnd) {
  BandReport r;
  r.report->Variables().SetValue(QStringLiteral("X"), QStringLiteral("X"));
  r.report->Variables().SetValue(QStringLiteral("A"), QStringLiteral("B"));
  r.report->Variables().SetValue(QStringLiteral("B"), QStringLiteral("A + 1"));
  TitleMemo(r, QStringLiteral("[X]|[A]"));
  r.Prepare();
  EXPECT_TRUE(r.report->Errors().contains(QStringLiteral("未知的变量或数据库字段: X")))
      << r.report->Errors().join(u'|').toStdString();
  EXPECT_TRUE(r.report->Errors().contains(QStringLiteral("未知的变量或数据库字段: A")))
      << r.report->Errors().join(u'|').toStdString();
}

TEST_F(ReportScriptTest, EventsRunWithTheirObject) {
  BandReport r;
  SetScript(r,
            Script({
                "var Log: String;",
                "procedure Ev(Sender: Variant; Tag: String);",
                "begin",
                "  Log := Log + Tag + ':' + Sender.Name + ';';",
                "end;",
                "procedure RS(Sender: TObject); begin Ev(Sender, 'RS'); end;",
                "procedure RE(Sender: TObject); begin Ev(Sender, 'RE'); end;",
                "procedure PB(Sender: TObject); begin Ev(Sender, 'PB'); end;",
                "procedure PA(Sender: TObject); begin Ev(Sender, 'PA'); end;",
                "procedure BB(Sender: TObject); begin Ev(Sender, 'BB'); end;",
                "procedure BA(Sender: TObject); begin Ev(Sender, 'BA'); end;",
                "procedure BH(Sender: TObject); begin Ev(Sender, 'BH'); end;",
                "procedure MB(Sender: TObject); begin Ev(Sender, 'MB'); end;",
                "procedure MA(Sender: TObject); begin Ev(Sender, 'MA'); end;",
                "procedure MD(Sender: TObject);",
                "begin",
                "  Ev(Sender, 'MD=' + VarToStr(Value));",
                "end;",
                "procedure Click(Sender: Variant; Button, Shift: Integer; var Modified: Boolean);",
                "begin",
                "  Log := Log + 'Click:' + Sender.Name + ';';",
                "  Modified := True;",
                "end;",
                "begin",
                "end.",
            }));
  r.report->SetOnStartReport(QStringLiteral("RS"));
  r.report->SetOnStopReport(QStringLiteral("RE"));
  r.page->SetOnBeforePrint(QStringLiteral("PB"));
  r.page->SetOnAfterPrint(QStringLiteral("PA"));
  TovxMemoView* memo = TitleMemo(r, QStringLiteral("[2 + 3]"));
  auto* band = dynamic_cast<TovxBand*>(memo->Parent());
  band->SetOnBeforePrint(QStringLiteral("BB"));
  band->SetOnAfterPrint(QStringLiteral("BA"));
  band->SetOnAfterCalcHeight(QStringLiteral("BH"));
  memo->SetEventHandler(TovxView::Event::kOnBeforePrint, QStringLiteral("MB"));
  memo->SetEventHandler(TovxView::Event::kOnAfterPrint, QStringLiteral("MA"));
  memo->SetEventHandler(TovxView::Event::kOnAfterData, QStringLiteral("MD"));
  memo->SetEventHandler(TovxView::Event::kOnPreviewClick, QStringLiteral("Click"));
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'|').toStdString();
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Log")),
            QStringLiteral("RS:;PB:Page1;BB:Title;MB:Memo1;MD=5:Memo1;BH:Title;MA:Memo1;BA:Title;"
                           "PA:Page1;RE:;"));

  // Outside a run only forced events are called.
  ReportScript& script = *ReportScripting(*r.report);
  script.Script().Program().SetVariable(QStringLiteral("Log"), ScriptValue::String(QString()));
  script.CallNotifyEvent(*memo, QStringLiteral("MB"));
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Log")), QString());
  script.CallNotifyEvent(*memo, QStringLiteral("MB"), true);
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Log")), QStringLiteral("MB:Memo1;"));

  // A click in the preview, where the engine is idle.
  script.Script().Program().SetVariable(QStringLiteral("Log"), ScriptValue::String(QString()));
  const TovxPreviewPages::MouseResult click =
      r.Pages().HandleMouse(0, TovxPreviewPages::MouseEvent::kClick, 40 + 5, 40 + 5, 1);
  ASSERT_NE(click.object, nullptr);
  EXPECT_TRUE(click.modified);
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Log")), QStringLiteral("Click:Memo1;"));
}

TEST_F(ReportScriptTest, StartAndStopOnceAlsoWhenCancelled) {
  BandReport r;
  SetScript(r, Script({"var Starts, Stops: Integer;",
                       "procedure RS(Sender: TObject); begin Starts := Starts + 1; end;",
                       "procedure RE(Sender: TObject); begin Stops := Stops + 1; end;", "begin",
                       "end."}));
  r.report->SetOnStartReport(QStringLiteral("RS"));
  r.report->SetOnStopReport(QStringLiteral("RE"));
  TitleMemo(r, QStringLiteral("x"));
  r.report->on_before_print = [&](TovxComponent&) { r.report->SetTerminated(true); };
  r.Prepare();
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Starts")), QStringLiteral("1"));
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("Stops")), QStringLiteral("1"));
}

// Objects are named as they are at each preparation.
TEST_F(ReportScriptTest, ObjectsAreNamedAsTheyAreNow) {
  BandReport r;
  TovxMemoView* memo = TitleMemo(r, QStringLiteral("x"));
  SetScript(r, Script({"var N: String;", "begin", "  N := Memo1.Name;", "end."}));
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'|').toStdString();
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("N")), QStringLiteral("Memo1"));
  memo->SetName(QStringLiteral("Renamed"));
  EXPECT_FALSE(r.Prepare());  // Memo1 is no more
  r.report->ClearErrors();
  SetScript(r, Script({"var N: String;", "begin", "  N := Renamed.Name;", "end."}));
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'|').toStdString();
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("N")), QStringLiteral("Renamed"));
}

// Objects are registered when first named, by the script or by an
// expression, and keep their classes for member access and `is`.
TEST_F(ReportScriptTest, ObjectsNamedByScriptsAndExpressionsInEveryDialect) {
  struct Case {
    const char* language;
    QStringList script;
  } cases[] = {
      {"PascalScript",
       {"var R: String;", "begin",
        "  R := Trim(Memo1.Text) + IntToStr(Memo1.Font.Size) + Page1.Objects[0].Name;",
        "  if Memo1 is TovxMemoView then R := R + '!';", "end."}},
      {"C++Script",
       {"string R;", "{",
        "  R = Trim(Memo1.Text) + IntToStr(Memo1.Font.Size) + Page1.Objects[0].Name;",
        "  if (Memo1 is TovxMemoView) R = R + \"!\";", "}"}},
      {"BasicScript",
       {"Dim R", "R = Trim(Memo1.Text) + IntToStr(Memo1.Font.Size) + Page1.Objects[0].Name",
        "If Memo1 Is TovxMemoView Then", "  R = R + \"!\"", "End If"}},
      {"JScript",
       {"var R = Trim(Memo1.Text) + IntToStr(Memo1.Font.Size) + Page1.Objects[0].Name;",
        "if (Memo1 is TovxMemoView) R = R + \"!\";"}},
  };
  for (const Case& c : cases) {
    BandReport r;
    r.report->SetScriptLanguage(QString::fromLatin1(c.language));
    r.report->SetScriptText(c.script);
    TovxMemoView* memo = TitleMemo(r, QStringLiteral("x"));
    memo->Font().SetSize(12);
    r.AddMemo(*static_cast<TovxBand*>(memo->Parent()), QStringLiteral("Memo2"),
              QStringLiteral("[Memo1.Width + 1]"));
    ASSERT_TRUE(r.Prepare()) << c.language << ": " << r.report->Errors().join(u'|').toStdString();
    EXPECT_EQ(ScriptGlobal(r, QStringLiteral("R")), QStringLiteral("x12Title!")) << c.language;
    EXPECT_EQ(PreparedText(r, QStringLiteral("Memo2")), QStringLiteral("201")) << c.language;
  }
}

// Only what scripts name gets registered: a report of many memos whose
// script names one gives handles to that one, not to every object.
TEST_F(ReportScriptTest, OnlyNamedObjectsAreRegistered) {
  BandReport r;
  auto* title = r.Add<TovxReportTitle>(QStringLiteral("Title"), 0, 40);
  for (int i = 1; i <= 500; ++i) r.AddMemo(*title, QStringLiteral("Memo%1").arg(i), QString());
  SetScript(r, Script({"var N: String;", "begin", "  N := Memo250.Name;", "end."}));
  ReportScript& script = *ReportScripting(*r.report);
  const qint64 before = LiveObjectHandles();
  ASSERT_TRUE(script.PrepareScript()) << r.report->Errors().join(u'|').toStdString();
  EXPECT_LT(LiveObjectHandles() - before, 10);
  ASSERT_TRUE(script.Script().Execute());
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("N")), QStringLiteral("Memo250"));
}

// The run's own names win over objects of the same name; a name nothing
// answers stays an error.
TEST_F(ReportScriptTest, RegisteredNamesWinAndUnknownNamesFail) {
  BandReport r;
  auto* title = r.Add<TovxReportTitle>(QStringLiteral("Title"), 0, 40);
  r.AddMemo(*title, QStringLiteral("Report"), QStringLiteral("x"));
  r.AddMemo(*title, QStringLiteral("Engine"), QStringLiteral("x"));
  r.AddMemo(*title, QStringLiteral("Outline"), QStringLiteral("x"));
  r.AddMemo(*title, QStringLiteral("PreviewPages"), QStringLiteral("x"));
  SetScript(r, Script({"var R: String;", "begin",
                       "  if Report is TovxReport then R := 'report' else R := 'memo';",
                       "  if Engine is TovxMemoView then R := R + ' memo';",
                       "  if Outline is TovxOutline then R := R + ' outline';",
                       "  if PreviewPages is TovxPreviewPages then R := R + ' pages';", "end."}));
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'|').toStdString();
  EXPECT_EQ(ScriptGlobal(r, QStringLiteral("R")), QStringLiteral("report outline pages"));

  SetScript(r, Script({"var R: String;", "begin", "  R := Memo9.Name;", "end."}));
  r.report->ClearErrors();
  EXPECT_FALSE(r.Prepare());
  EXPECT_TRUE(r.report->Errors().join(u'|').contains(QStringLiteral("Memo9")))
      << r.report->Errors().join(u'|').toStdString();
  SetScript(r, Script({"begin", "end."}));
  r.AddMemo(*title, QStringLiteral("Shows"), QStringLiteral("[Memo9.Name]"));
  r.report->ClearErrors();
  EXPECT_FALSE(r.Prepare());
  EXPECT_TRUE(r.report->Errors().join(u'|').contains(QStringLiteral("Memo9.Name")))
      << r.report->Errors().join(u'|').toStdString();
}

// An expression or IIF evaluated while a routine runs sees the routine's
// parameters and locals, which hide a global of the same name only there.
TEST_F(ReportScriptTest, ExpressionsSeeTheRunningRoutinesLocals) {
  struct Case {
    const char* language;
    QStringList script;
  } cases[] = {
      {"PascalScript",
       {"var L: Integer; R: String;", "function F(A: Integer): String;", "var L: Integer;", "begin",
        "  L := A + 1;", "  Result := IntToStr(Calc('L * A')) + IIF(L > 5, 'big', 'small');",
        "end;", "begin", "  L := 100;", "  R := F(6) + '|' + F(1) + '|' + IntToStr(Calc('L'));",
        "end."}},
      {"JScript",
       {"var L = 100;", "function F(A) {", "  var L = A + 1;",
        "  return IntToStr(Calc(\"L * A\")) + IIF(L > 5, \"big\", \"small\");", "}",
        "var R = F(6) + \"|\" + F(1) + \"|\" + IntToStr(Calc(\"L\"));"}},
  };
  for (const Case& c : cases) {
    BandReport r;
    r.report->SetScriptLanguage(QString::fromLatin1(c.language));
    r.report->SetScriptText(c.script);
    TitleMemo(r, QStringLiteral("x"));
    ASSERT_TRUE(r.Prepare()) << c.language << ": " << r.report->Errors().join(u'|').toStdString();
    EXPECT_EQ(ScriptGlobal(r, QStringLiteral("R")), QStringLiteral("42big|2small|100"))
        << c.language;
  }
}

// Hostile nesting ends in listed errors, never at the stack's end: report
// variables each naming the next, a bracket nested deeply, a band that
// shows itself from its own event. Short chains still work.
TEST_F(ReportScriptTest, DeepNestingEndsInErrors) {
  for (int length : {20, 3000}) {
    BandReport r;
    for (int i = 0; i < length; ++i) {
      r.report->Variables().SetValue(QStringLiteral("V%1").arg(i),
                                     QStringLiteral("V%1 + 1").arg(i + 1));
    }
    r.report->Variables().SetValue(QStringLiteral("V%1").arg(length), 0);
    TitleMemo(r, QStringLiteral("[V0]"));
    const bool ok = r.Prepare();
    EXPECT_EQ(ok, length == 20) << length;
    if (ok) {
      EXPECT_EQ(PreparedText(r, QStringLiteral("Memo1")), QStringLiteral("20"));
    } else {
      EXPECT_FALSE(r.report->Errors().isEmpty());
    }
  }
  {
    BandReport r;
    const int depth = 100000;
    TitleMemo(r, u'[' + QString(depth, u'(') + u'1' + QString(depth, u')') + u']');
    EXPECT_FALSE(r.Prepare());
    EXPECT_FALSE(r.report->Errors().isEmpty());
  }
  {
    BandReport r;
    SetScript(r, Script({"procedure TB(Sender: TObject);", "begin", "  Engine.ShowBand(Title);",
                         "end;", "begin", "end."}));
    TovxMemoView* memo = TitleMemo(r, QStringLiteral("x"));
    auto* title = static_cast<TovxBand*>(memo->Parent());
    // Low, so that the title shown again and again fits on the page.
    memo->SetHeight(1);
    title->SetHeight(1);
    title->SetOnBeforePrint(QStringLiteral("TB"));
    EXPECT_FALSE(r.Prepare());
    EXPECT_TRUE(
        r.report->Errors().join(u'|').contains(QStringLiteral("ShowBand nested too deeply")))
        << r.report->Errors().join(u'|').toStdString();
  }
}

TEST_F(ReportScriptTest, RunDialogsDecidesWhetherTheRunGoesOn) {
  for (bool go_on : {true, false}) {
    BandReport r;
    SetScript(
        r, Script({"procedure RD(var Result: Boolean);", "begin",
                   go_on ? "  Result := True;" : "  Result := False;", "end;", "begin", "end."}));
    r.report->SetOnRunDialogs(QStringLiteral("RD"));
    TitleMemo(r, QStringLiteral("x"));
    EXPECT_EQ(r.Prepare(), go_on);
    EXPECT_EQ(r.Pages().Count() > 0, go_on);
  }
}

// The preparation fuzzer's seeds with scripts: their events break
// columns and pages, show bands and write anchors and outline items, also
// from subreports. Each run ends, makes pages without errors and leaves the
// template as it was (these scripts set no property).
TEST_F(ReportScriptTest, ScriptedSeedsPrepareAndLeaveTheirTemplates) {
  const QDir seeds(test::DataPath("../../fuzz/corpus/prepare"));
  const QStringList files = seeds.entryList({QStringLiteral("script-*.ov3")}, QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << seeds.path().toStdString();
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    QFile in(seeds.filePath(file));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    TovxReport report;
    MemoryStream input(in.readAll());
    ASSERT_TRUE(report.LoadFromStream(input));
    report.EngineOptions().SetEnableThreadSafe(true);
    report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
    int shown = 0;
    report.on_before_print = [&](TovxComponent&) {
      TovxPreviewPages* pages = PreparedPages(report);
      if (++shown > 20000 || (pages && pages->Count() > 200)) report.SetTerminated(true);
    };
    MemoryStream before;
    report.SaveToStream(before);
    EXPECT_TRUE(report.PrepareReport()) << report.Errors().join(u'|').toStdString();
    EXPECT_GT(PreparedPages(report)->Count(), 0);
    EXPECT_LE(shown, 20000);
    MemoryStream after;
    report.SaveToStream(after);
    EXPECT_EQ(after.Data(), before.Data());
  }
}

// A script forces a view waiting for paCustom, reads the value it got and
// writes it back changed, in every dialect; the page shows what it wrote.
TEST_F(ReportScriptTest, ScriptsProcessAndChangeDeferredValues) {
  struct Case {
    const char* language;
    QStringList script;
  } cases[] = {
      {"PascalScript",
       {"var Counter: Integer;", "procedure RowDone(Sender: TObject);", "var L: TWideStrings;",
        "begin", "  Counter := Counter + 1;", "  if Counter = 2 then", "  begin",
        "    Engine.ProcessObject(Custom);",
        "    L := Engine.GetPostProcessor.GetMacroList('Custom');",
        "    L[0] := L[0] + ' of ' + IntToStr(L.Count);", "  end;", "end;", "begin",
        "  Counter := 0;", "end."}},
      {"C++Script",
       {"int Counter;", "void RowDone(TObject Sender)", "{", "  Counter = Counter + 1;",
        "  if (Counter == 2)", "  {", "    Engine.ProcessObject(Custom);",
        "    TWideStrings L = Engine.GetPostProcessor.GetMacroList(\"Custom\");",
        "    L[0] = L[0] + \" of \" + IntToStr(L.Count);", "  }", "}", "{", "  Counter = 0;", "}"}},
      {"BasicScript",
       {"Dim Counter", "Sub RowDone(Sender)", "  Dim L As TWideStrings", "  Counter = Counter + 1",
        "  If Counter = 2 Then", "    Engine.ProcessObject(Custom)",
        "    L = Engine.GetPostProcessor.GetMacroList(\"Custom\")",
        "    L[0] = L[0] & \" of \" & L.Count", "  End If", "End Sub", "Counter = 0"}},
      {"JScript",
       {"var Counter = 0;", "function RowDone(Sender)", "{", "  Counter = Counter + 1;",
        "  if (Counter == 2)", "  {", "    Engine.ProcessObject(Custom);",
        "    var L = Engine.GetPostProcessor.GetMacroList(\"Custom\");",
        "    L.Strings[0] = L.Strings[0] + \" of \" + IntToStr(L.Count);", "  }", "}"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    TovxReport report;
    ASSERT_TRUE(report.LoadFromFile(test::DataPath(QStringLiteral("script/deferred_custom.ov3"))));
    report.SetScriptLanguage(QString::fromLatin1(c.language));
    report.SetScriptText(c.script);
    ASSERT_TRUE(report.PrepareReport()) << report.Errors().join(u'|').toStdString();
    TovxPreviewPages& pages = *PreparedPages(report);
    QStringList custom;
    for (int i = 0; i < pages.Count(); ++i) {
      for (const TovxComponent* object : pages.GetPage(i)->AllObjects()) {
        if (auto* memo = dynamic_cast<const TovxCustomMemoView*>(object);
            memo && memo->Name() == u"Custom")
          custom << Plain(memo->Text());
      }
    }
    // Evaluated after the second row, not when the title printed.
    EXPECT_EQ(custom, QStringList{QStringLiteral("2 of 1")});
  }
}

}  // namespace
}  // namespace ovx
