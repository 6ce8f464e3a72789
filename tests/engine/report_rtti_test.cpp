// The report library as scripts see it: classes from their metadata with
// their methods, the enumerations, the date functions, and what happens
// when a script holds an object the host has freed.
#include "engine/report_rtti.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>

#include "base/class_registry.h"
#include "base/error.h"
#include "base/object_handle.h"
#include "engine/custom_engine.h"
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "platform/safe_file.h"
#include "report/model/band.h"
#include "report/model/classes.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "script/classes_module.h"
#include "script/registry.h"
#include "script/script.h"
#include "script/script_languages.h"
#include "tests/engine/band_report.h"
#include "tests/script/run_script.h"

namespace ovx {
namespace {

// A report with a title band holding Memo1, a data band over three rows
// holding Memo2, and a script that reaches them by name.
struct ScriptedReport : test::BandReport {
  ScriptedReport() {
    RegisterScriptLanguages();
    RegisterReportModule();
    InstallEngine();
    title = Add<TovxReportTitle>(QStringLiteral("Title1"), 0, 40);
    memo = AddMemo(*title, QStringLiteral("Memo1"), QStringLiteral("one\r\ntwo"));
    auto* data = new test::RowsDataSet(QStringLiteral("Rows"), {1, 2, 3});
    data->SetUserName(QStringLiteral("Rows"));
    report->AddDataSet(data);
    rows = data;
    master = Add<TovxMasterData>(QStringLiteral("MasterData1"), 60, 20);
    master->SetDataSet(data);
    AddMemo(*master, QStringLiteral("Memo2"), QStringLiteral("row"));
    script.SetExtendedCharset(true);
    script.AddRTTI();
    script.AddObject(QStringLiteral("Report"), report.get());
    script.AddObject(QStringLiteral("Engine"), &Engine());
    script.AddObject(QStringLiteral("PreviewPages"), &Pages());
    script.AddObject(QStringLiteral("Outline"), &Pages().Outline());
    for (TovxComponent* o : report->AllObjects())
      if (!o->Name().isEmpty()) script.AddObject(o->Name(), o);
    script.AddObject(QStringLiteral("Rows"), rows);
  }
  // The data set outlives the report that refers to it.
  ~ScriptedReport() {
    report.reset();
    delete rows;
  }

  // Runs `text`; answers "" or the error, and fills `vars` with the
  // variables as displayed.
  QString Run(const QString& text, const QString& language, QHash<QString, QString>* vars) {
    return ovx::test::RunScript(script, text, language, vars);
  }

  TovxReportTitle* title = nullptr;
  TovxMasterData* master = nullptr;
  TovxMemoView* memo = nullptr;
  TovxDataSet* rows = nullptr;
  TksScript script;
};

struct Case {
  const char* what;
  const char* pascal;  // statements leaving the answer in r
  const char* cpp;     // the same in C++Script
  const char* expect;  // r as displayed, or the start of "run: ..." / "compile: ..."
};

TEST(ReportRttiTest, PropertiesMethodsAndConstantsInPascalAndCpp) {
  const Case cases[] = {
      {"published property through an ancestor", "r := Memo1.Left + Memo1.Width;",
       "r = Memo1.Left + Memo1.Width;", "200"},
      {"enumeration constant written and read", "Memo1.HAlign := haCenter; r := Memo1.HAlign;",
       "Memo1.HAlign = haCenter; r = Memo1.HAlign;", "2"},
      {"set constants combine", "Memo1.Anchors := fraLeft + fraBottom; r := Memo1.Anchors;",
       "Memo1.Anchors = fraLeft + fraBottom; r = Memo1.Anchors;", "9"},
      {"nested value object",
       "Memo1.Frame.Typ := ftTop; Memo1.Font.Size := 14; r := Memo1.Font.Size;",
       "Memo1.Frame.Typ = ftTop; Memo1.Font.Size = 14; r = Memo1.Font.Size;", "14"},
      {"event property holds a procedure name",
       "Memo1.OnBeforePrint := 'Memo1Before'; r := Memo1.OnBeforePrint;",
       "Memo1.OnBeforePrint = \"Memo1Before\"; r = Memo1.OnBeforePrint;", "'Memo1Before'"},
      {"Lines read", "r := IntToStr(Memo1.Lines.Count) + Memo1.Lines[1];",
       "r = IntToStr(Memo1.Lines.Count) + Memo1.Lines[1];", "'2two'"},
      {"Lines changed in place",
       "Memo1.Lines.Add('three'); Memo1.Lines.Delete(0); Memo1.Lines[0] := 'TWO'; "
       "Memo1.Lines.Insert(0, 'zero'); r := Memo1.Lines.IndexOf('three');",
       "Memo1.Lines.Add(\"three\"); Memo1.Lines.Delete(0); Memo1.Lines[0] = \"TWO\"; "
       "Memo1.Lines.Insert(0, \"zero\"); r = Memo1.Lines.IndexOf(\"three\");",
       "2"},
      {"Text splits into lines", "Memo1.Text := 'a' + #13#10 + 'b'; r := Memo1.Lines.Count;",
       "Memo1.Text = \"a\\r\\nb\"; r = Memo1.Lines.Count;", "2"},
      {"line index past the end", "r := Memo1.Lines[2];", "r = Memo1.Lines[2];",
       "run: List index out of bounds (2)"},
      {"Memo is the list of lines",
       "Memo1.Memo.Add('three'); r := IntToStr(Memo1.Memo.Count) + Memo1.Memo.Strings[2] + "
       "Memo1.Memo[0] + IntToStr(Length(Memo1.Memo.Text));",
       "Memo1.Memo.Add(\"three\"); r = IntToStr(Memo1.Memo.Count) + Memo1.Memo.Strings[2] + "
       "Memo1.Memo[0] + IntToStr(Length(Memo1.Memo.Text));",
       "'3threeone17'"},
      {"Memo set through its Text and from another memo's lines",
       "Memo1.Memo.Text := 'a' + #13#10 + 'b'; Memo2.Memo := Memo1.Memo; Memo1.Memo.Clear; "
       "r := IntToStr(Memo2.Memo.Count) + Memo2.Memo[1] + IntToStr(Memo1.Lines.Count);",
       "Memo1.Memo.Text = \"a\\r\\nb\"; Memo2.Memo = Memo1.Memo; Memo1.Memo.Clear; "
       "r = IntToStr(Memo2.Memo.Count) + Memo2.Memo[1] + IntToStr(Memo1.Lines.Count);",
       "'2b0'"},
      {"Memo set from a text in a Variant",
       "r := 'x' + #13#10 + 'y'; Memo1.Memo := r; "
       "r := Memo1.Lines.Count;",
       "r = \"x\\r\\ny\"; Memo1.Memo = r; r = Memo1.Lines.Count;", "2"},
      {"Memo is no string", "Memo1.Memo := 'x';", "Memo1.Memo = \"x\";",
       "compile: Incompatible types"},
      {"Memo set from an object that is no list", "r := Memo2; Memo1.Memo := r;",
       "r = Memo2; Memo1.Memo = r;", "run: Invalid class typecast"},
      {"FindObject and the tree", "r := Report.FindObject('memo2').Parent.Name + Memo1.Page.Name;",
       "r = Report.FindObject(\"memo2\").Parent.Name + Memo1.Page.Name;", "'MasterData1Page1'"},
      {"FindObject of a missing name is nil", "r := Report.FindObject('nothing') = nil;",
       "r = Report.FindObject(\"nothing\") == nil;", "True"},
      {"SetBounds and AbsTop", "Memo1.SetBounds(1, 2, 3, 4); r := Memo1.AbsTop + Memo1.Width;",
       "Memo1.SetBounds(1, 2, 3, 4); r = Memo1.AbsTop + Memo1.Width;", "5"},
      {"Objects by index", "r := Title1.Objects[0].Name + IntToStr(Page1.ObjectCount);",
       "r = Title1.Objects[0].Name + IntToStr(Page1.ObjectCount);", "'Memo12'"},
      {"report variables", "Report.Variables['Total'] := 5; r := Report.Variables['total'] * 2;",
       "Report.Variables[\"Total\"] = 5; r = Report.Variables[\"total\"] * 2;", "10"},
      {"missing report variable is Null", "r := VarType(Report.Variables['none']);",
       "r = VarType(Report.Variables[\"none\"]);", "1"},
      {"data set walk",
       "r := 0; Rows.Open; Rows.First; while not Rows.Eof do begin r := r + Rows.Value['key']; "
       "Rows.Next end;",
       "r = 0; Rows.Open; Rows.First; while (!Rows.Eof) { r = r + Rows.Value[\"key\"]; "
       "Rows.Next; }",
       "6"},
      {"GetDataset by user name", "r := Report.GetDataset('rows').Name;",
       "r = Report.GetDataset(\"rows\").Name;", "'Rows'"},
      {"engine state outside a run", "r := Engine.FreeSpace = Engine.FreeSpace;",
       "r = Engine.FreeSpace == Engine.FreeSpace;", "True"},
      {"engine calls outside a run do nothing", "Engine.NewPage; Engine.ShowBand(Title1); r := 1;",
       "Engine.NewPage; Engine.ShowBand(Title1); r = 1;", "1"},
      {"PrepareReport outside a run", "r := Report.PrepareReport;", "r = Report.PrepareReport;",
       "True"},
      {"ShowReport without a preview prepares", "Report.ShowReport; r := PreviewPages.Count;",
       "Report.ShowReport; r = PreviewPages.Count;", "1"},
      {"a template that is not there", "r := Report.LoadFromFile('/no-such-dir/x.ov3');",
       "r = Report.LoadFromFile(\"/no-such-dir/x.ov3\");", "False"},
      {"a save that fails is an error", "Report.SaveToFile('/no-such-dir/x.ov3');",
       "Report.SaveToFile(\"/no-such-dir/x.ov3\");", "run: "},
      {"outline levels",
       "Outline.AddItem('a'); Outline.AddItem('b'); Outline.LevelRoot; "
       "Outline.AddItem('c'); Outline.LevelRoot; r := Outline.Count; Outline.LevelDown(0); "
       "r := r * 10 + Outline.Count;",
       "Outline.AddItem(\"a\"); Outline.AddItem(\"b\"); Outline.LevelRoot; "
       "Outline.AddItem(\"c\"); Outline.LevelRoot; r = Outline.Count; Outline.LevelDown(0); "
       "r = r * 10 + Outline.Count;",
       "21"},
      {"outline level that is not there", "Outline.LevelDown(0);", "Outline.LevelDown(0);",
       "run: List index out of bounds (0)"},
      {"store pages", "PreviewPages.ModifyObject(Memo1); r := PreviewPages.Count;",
       "PreviewPages.ModifyObject(Memo1); r = PreviewPages.Count;", "0"},
      {"a current page the store does not have", "PreviewPages.CurPage := 3;",
       "PreviewPages.CurPage = 3;", "run: Page index out of range: 3"},
      {"date functions",
       "r := IntToStr(DayOf(EncodeDate(2024, 2, 29))) + '.' + "
       "IntToStr(MonthOf(EncodeDate(2024, 2, 29))) + '.' + IntToStr(YearOf(EncodeDate(2024, 2, "
       "29)));",
       "r = IntToStr(DayOf(EncodeDate(2024, 2, 29))) + \".\" + "
       "IntToStr(MonthOf(EncodeDate(2024, 2, 29))) + \".\" + IntToStr(YearOf(EncodeDate(2024, 2, "
       "29)));",
       "'29.2.2024'"},
      {"a date outside the calendar", "r := DayOf(1e12);", "r = DayOf(1e12);", "run: "},
      // Types known when compiling are checked then; a Variant's only
      // when the call is made.
      {"a memo where a band belongs", "Engine.ShowBand(Memo1);", "Engine.ShowBand(Memo1);",
       "compile: Incompatible types"},
      {"a memo in a Variant where a band belongs", "r := Memo1; Engine.ShowBand(r);",
       "r = Memo1; Engine.ShowBand(r);",
       "run: Invalid argument to SHOWBAND: TovxBand expected, TovxMemoView given"},
      {"a number that is no object", "r := 12345; Engine.ShowBand(r);",
       "r = 12345; Engine.ShowBand(r);", "run: Invalid object reference: 12345"},
      {"a text where a number belongs", "r := 'left'; Memo1.SetBounds(r, 0, 0, 0);",
       "r = \"left\"; Memo1.SetBounds(r, 0, 0, 0);", "run: "},
      {"a host object cannot be freed", "Memo1.Free;", "delete Memo1;", "run: Cannot free"},
      {"undeclared member", "r := Memo1.NoSuchThing;", "r = Memo1.NoSuchThing;", "compile: "},
      {"a child found while compiling",
       "r := Title1.Memo1.Name + IntToStr(Page1.Title1.Memo1.Lines.Count);",
       "r = Title1.Memo1.Name + IntToStr(Page1.Title1.Memo1.Lines.Count);", "'Memo12'"},
      {"only an object's own children", "r := Page1.Memo1.Name;", "r = Page1.Memo1.Name;",
       "compile: Undeclared identifier: 'Memo1'"},
      {"brackets after a default property", "r := Memo1.Lines[1][2];", "r = Memo1.Lines[1][2];",
       "'w'"},
      {"font style as a set", "Memo1.Font.Style := [fsBold, fsItalic]; r := Memo1.Font.Style;",
       "Memo1.Font.Style = [fsBold, fsItalic]; r = Memo1.Font.Style;", "3"},
      {"colour constants", "Memo1.Font.Color := clBlue; r := Memo1.Font.Color;",
       "Memo1.Font.Color = clBlue; r = Memo1.Font.Color;", "16711680"},
      {"a font the script makes",
       "r := TFont.Create; r.Size := 20; Memo1.Font.Assign(r); r.Free; r := Memo1.Font.Size;",
       "r = new TFont; r.Size = 20; Memo1.Font.Assign(r); delete r; r = Memo1.Font.Size;", "20"},
      {"a report object cast to a form", "r := TForm(Memo1).Name;", "r = TForm(Memo1).Name;",
       "'Memo1'"},
      {"style sheet add, find and apply",
       "Report.Styles.Add.Font.Size := 20; Memo1.Style := 'STYLE1'; Report.Styles.Apply; "
       "r := IntToStr(Memo1.Font.Size) + Report.Styles.Find('style1').Name + "
       "IntToStr(Report.Styles.Count);",
       "Report.Styles.Add.Font.Size = 20; Memo1.Style = \"STYLE1\"; Report.Styles.Apply; "
       "r = IntToStr(Memo1.Font.Size) + Report.Styles.Find(\"style1\").Name + "
       "IntToStr(Report.Styles.Count);",
       "'20Style11'"},
      {"a style the sheet lacks is forgotten",
       "Memo1.Style := 'none'; Report.Styles.Apply; r := Memo1.Style;",
       "Memo1.Style = \"none\"; Report.Styles.Apply; r = Memo1.Style;", "''"},
      {"style names into a string list",
       "Report.Styles.Add; Report.Styles.Add; r := TStringList.Create; Report.Styles.GetList(r); "
       "r := r.CommaText;",
       "Report.Styles.Add; Report.Styles.Add; r = new TStringList; Report.Styles.GetList(r); "
       "r = r.CommaText;",
       "'Style1,Style2'"},
      {"style index past the end", "r := Report.Styles[0].Name;", "r = Report.Styles[0].Name;",
       "run: List index out of bounds (0)"},
      {"missing style is nil", "r := Report.Styles.Find('x') = nil;",
       "r = Report.Styles.Find(\"x\") == nil;", "True"},
      {"a report saved to a stream and loaded back",
       "r := TMemoryStream.Create; Report.Variables['K'] := 7; Report.SaveToStream(r); "
       "Report.Variables['K'] := 1; r.Position := 0; Report.LoadFromStream(r); "
       "r := Report.Variables['K'];",
       "r = new TMemoryStream; Report.Variables[\"K\"] = 7; Report.SaveToStream(r); "
       "Report.Variables[\"K\"] = 1; r.Position = 0; Report.LoadFromStream(r); "
       "r = Report.Variables[\"K\"];",
       "'7'"},
      {"Calc needs the report's scripting", "r := Report.Calc('1');", "r = Report.Calc(\"1\");",
       "run: CALC: the report evaluates no expressions here"},
      {"an empty picture", "r := Page1.BackPicture.Width + Page1.BackPicture.Height;",
       "r = Page1.BackPicture.Width + Page1.BackPicture.Height;", "0"},
      {"picture files need the host's file access", "Page1.BackPicture.LoadFromFile('a.png');",
       "Page1.BackPicture.LoadFromFile(\"a.png\");", "run: Cannot open file \"a.png\""},
  };
  for (const Case& c : cases) {
    const QString expect = QString::fromUtf8(c.expect);
    const QString pascal = QStringLiteral("var r: Variant;\nbegin\n") +
                           QString::fromUtf8(c.pascal) + QStringLiteral("\nend.");
    const QString cpp =
        QStringLiteral("Variant r;\n{\n") + QString::fromUtf8(c.cpp) + QStringLiteral("\n}");
    for (const auto& [language, text] : {std::pair{QStringLiteral("PascalScript"), pascal},
                                         std::pair{QStringLiteral("C++Script"), cpp}}) {
      ScriptedReport report;
      QHash<QString, QString> vars;
      const QString error = report.Run(text, language, &vars);
      const bool failure = expect.startsWith(u"run: ") || expect.startsWith(u"compile: ");
      const QString got = failure           ? error.left(expect.size())
                          : error.isEmpty() ? vars.value("r")
                                            : error;
      EXPECT_EQ(got.toStdString(), expect.toStdString())
          << c.what << " in " << language.toStdString();
    }
  }
}

// What a script changed is in the model, not in a copy.
TEST(ReportRttiTest, ChangesReachTheModel) {
  ScriptedReport r;
  ASSERT_EQ(
      r.Run(QStringLiteral("begin Memo1.Lines.Add('three'); Memo1.HAlign := haBlock;\n"
                           "  Memo1.Visibility := vsPreview + vsPrint; Memo1.Align := baClient;\n"
                           "  Report.Variables['Answer'] := 'yes' end."),
            QStringLiteral("PascalScript"), nullptr),
      QString());
  EXPECT_EQ(r.memo->Lines(), (QStringList{"one", "two", "three"}));
  EXPECT_EQ(r.memo->HAlign(), TovxHAlign::haBlock);
  EXPECT_EQ(r.memo->Align(), TovxAlign::baClient);
  EXPECT_TRUE(r.memo->Visibility().Contains(TovxVisibilityType::vsPrint));
  EXPECT_FALSE(r.memo->Visibility().Contains(TovxVisibilityType::vsExport));
  EXPECT_EQ(r.report->Variables().Value(QStringLiteral("answer")).toString(), "yes");
}

// Every enumeration and set of the published properties is a script type
// whose constants have the values of the library's own tables: ordinals for
// enumerations, bits for sets. A name two tables share would give one of
// them a wrong value; the walk finds it.
TEST(ReportRttiTest, EnumerationsMatchTheirTables) {
  ScriptedReport r;
  int checked = 0;
  // Every class the module registered from metadata, value classes too.
  std::vector<const MetaClass*> metas;
  for (const auto& item : r.script.Registry().Items())
    if (item->cls && item->cls->ClassRef()) metas.push_back(item->cls->ClassRef());
  ASSERT_GT(metas.size(), ReportClasses().Classes().size());
  for (const MetaClass* m : metas) {
    for (const PropertyInfo* p : m->Properties()) {
      if (!p->enum_type || p->enum_type == &BooleanType()) continue;
      const bool is_set = p->kind == PropertyKind::kSet;
      const ScriptItem* type = r.script.Find(p->type_name);
      ASSERT_NE(type, nullptr) << p->type_name.toStdString();
      EXPECT_EQ(type->kind, ScriptItem::Kind::kType);
      const auto& values = p->enum_type->Values();
      for (size_t i = 0; i < values.size(); ++i) {
        const ScriptItem* constant = r.script.Find(values[i]);
        ASSERT_NE(constant, nullptr) << values[i].toStdString();
        EXPECT_EQ(constant->value.ToInt64(), is_set ? qint64{1} << i : qint64(i))
            << p->type_name.toStdString() << "." << values[i].toStdString();
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 50);
  // The types scripts and the designer name, some only reached through
  // value objects (frames, fills, options).
  for (const char* name : {"TovxShiftMode",      "TovxDuplexMode",
                           "TovxAlign",          "TovxFrameStyle",
                           "TovxHAlign",         "TovxVAlign",
                           "TovxShapeKind",      "TovxZoomMode",
                           "TovxPrintPages",     "TovxRangeBegin",
                           "TovxRangeEnd",       "TovxFillType",
                           "TovxPrintMode",      "TovxUnderlinesTextMode",
                           "TovxFrameTypes",     "TovxVisibilityTypes",
                           "TovxRestrictions",   "TovxAnchors",
                           "TovxPreviewButtons", "TFont",
                           "TovxFrame",          "TovxFrameLine",
                           "TovxBrushFill",      "TovxGradientFill",
                           "TovxEngineOptions",  "TovxPreviewOptions",
                           "TovxPrintOptions",   "TovxCustomEngine",
                           "TovxEngine",         "TWideStrings"}) {
    EXPECT_NE(r.script.Find(QString::fromLatin1(name)), nullptr) << name;
  }
}

// Classes hang under their real ancestors, so a member registered once on
// a base class reaches every descendant and `is` answers by the tree.
TEST(ReportRttiTest, AncestorsFollowTheClassTree) {
  ScriptedReport r;
  const ScriptScope scope = r.script.Scope();
  struct Link {
    const char* cls;
    const char* ancestor;
  } links[] = {{"TovxMemoView", "TovxCustomMemoView"},
               {"TovxCustomMemoView", "TovxStretcheable"},
               {"TovxView", "TovxReportComponent"},
               {"TovxMasterData", "TovxDataBand"},
               {"TovxReportComponent", "TovxComponent"},
               {"TovxComponent", "TComponent"},
               {"TovxReport", "TovxComponent"},
               {"TovxUserDataSet", "TovxDataSet"},
               {"TFont", "TPersistent"}};
  for (const Link& l : links) {
    const TksClassVariable* cls = r.script.FindClass(QString::fromLatin1(l.cls));
    ASSERT_NE(cls, nullptr) << l.cls;
    EXPECT_EQ(cls->Ancestor(), QString::fromLatin1(l.ancestor)) << l.cls;
  }
  const TksClassVariable* memo = r.script.FindClass(QStringLiteral("TovxMemoView"));
  EXPECT_NE(scope.FindMember(memo, QStringLiteral("FindObject")), nullptr);
  EXPECT_TRUE(scope.InheritsFrom(memo, r.script.FindClass(QStringLiteral("TovxComponent"))));
  QHash<QString, QString> vars;
  ASSERT_EQ(r.Run(QStringLiteral("var a, b, c: Boolean;\n"
                                 "begin a := Memo1 is TovxView; b := Memo1 is TovxBand;\n"
                                 "  c := MasterData1 is TovxBand end."),
                  QStringLiteral("PascalScript"), &vars),
            QString());
  EXPECT_EQ(vars.value("a"), "True");
  EXPECT_EQ(vars.value("b"), "False");
  EXPECT_EQ(vars.value("c"), "True");
}

// A script keeps objects the host frees: reaching them afterwards is a
// script error, never freed memory, through every kind of member.
TEST(ReportRttiTest, FreedObjectIsAnError) {
  const char* uses[] = {"r := m.Left",        "m.Left := 1", "m.SetBounds(0, 0, 1, 1)",
                        "r := m.Lines.Count", "l.Add('x')",  "r := l.Strings[0]",
                        "r := m.Parent"};
  for (const char* use : uses) {
    ScriptedReport r;
    r.script.SetText(QStringLiteral("var m, l, r: Variant;\n"
                                    "procedure Use; begin ") +
                     QString::fromLatin1(use) +
                     QStringLiteral(" end;\nbegin m := Memo1; l := Memo1.Lines end."));
    ASSERT_TRUE(r.script.Compile()) << use << ": " << r.script.ErrorMsg().toStdString();
    ASSERT_TRUE(r.script.Execute()) << use << ": " << r.script.ErrorMsg().toStdString();
    std::vector<ScriptValue> none;
    EXPECT_NO_THROW(r.script.CallFunction(QStringLiteral("Use"), none)) << use;
    delete r.memo;
    try {
      r.script.CallFunction(QStringLiteral("Use"), none);
      ADD_FAILURE() << use << ": a freed memo was reached";
    } catch (const ScriptError& error) {
      EXPECT_TRUE(error.message.startsWith(QStringLiteral("Invalid object reference")))
          << use << ": " << error.message.toStdString();
    }
  }
}

// Loading a template into the report a run is walking would free the
// objects under the engine; the script gets an error and the run goes on.
// Engine calls from band events reach the running engine, and a band that
// shows itself from its own event stops at a depth, not at the stack's end.
TEST(ReportRttiTest, ScriptsDuringARun) {
  ScriptedReport r;
  QStringList errors;
  r.Engine().call_script = [&](const QString& procedure, TovxComponent& object) {
    std::vector<ScriptValue> args{ScriptValue::Object(&object)};
    try {
      r.script.CallFunction(procedure, args);
    } catch (const ScriptError& error) {
      errors << error.message;
    }
  };
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("other.ov3"));
  r.script.SetText(
      QStringLiteral("var shown: Integer; path: String;\n"
                     "procedure RowBefore(Sender: Variant);\n"
                     "begin Report.LoadFromFile(path) end;\n"
                     "procedure TitleBefore(Sender: Variant);\n"
                     "begin shown := shown + 1; Engine.ShowBand(Title1) end;\n"
                     "procedure RowAfter(Sender: Variant);\n"
                     "begin Outline.AddItem('row' + IntToStr(Rows.RecNo)); Outline.LevelRoot;\n"
                     "  if Rows.RecNo = 1 then Engine.NewPage end;\n"
                     "begin shown := 0 end."));
  ASSERT_TRUE(r.script.Compile()) << r.script.ErrorMsg().toStdString();
  ASSERT_TRUE(r.script.Execute());
  r.script.Program().SetVariable(QStringLiteral("path"), ScriptValue::String(file));
  r.report->SaveToFile(file);
  r.master->SetOnBeforePrint(QStringLiteral("RowBefore"));
  r.master->SetOnAfterPrint(QStringLiteral("RowAfter"));
  r.title->SetOnBeforePrint(QStringLiteral("TitleBefore"));
  // Low, so that the title shown again and again fits on the first page.
  r.title->SetHeight(1);
  r.memo->SetHeight(1);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage(QStringLiteral("TovxMasterData")), (std::vector<int>{2, 1}));
  ASSERT_FALSE(errors.isEmpty());
  EXPECT_EQ(errors.count(
                QStringLiteral("LOADFROMFILE cannot be called while the report is being prepared")),
            3);
  EXPECT_TRUE(errors.filter(QStringLiteral("ShowBand nested too deeply")).size() == 1)
      << errors.join(u'\n').toStdString();
  // Outline items the script added sit where the engine was.
  TovxOutline& outline = r.Pages().Outline();
  outline.LevelRoot();
  ASSERT_EQ(outline.Count(), 3);
  QString text;
  int page = -1, top = -1;
  outline.GetItem(2, text, page, top);
  EXPECT_EQ(text, "row2");
  EXPECT_EQ(page, 1);
  EXPECT_GT(top, 0);
  // The template is still the one that ran.
  EXPECT_EQ(r.report->FindObject(QStringLiteral("Memo1")), r.memo);
}

// The engine's header and footer heights reach scripts, and a script may
// move the position: the band placed after its event lies there.
TEST(ReportRttiTest, EngineHeightsAndPositionFromAScript) {
  ScriptedReport r;
  r.Add<TovxPageHeader>(QStringLiteral("PageHeader1"), 100, 30);
  r.Add<TovxPageFooter>(QStringLiteral("PageFooter1"), 200, 25);
  r.Engine().call_script = [&](const QString& procedure, TovxComponent& object) {
    std::vector<ScriptValue> args{ScriptValue::Object(&object)};
    r.script.CallFunction(procedure, args);
  };
  r.script.SetText(
      QStringLiteral("var heights: String;\n"
                     "procedure RowBefore(Sender: Variant);\n"
                     "begin\n"
                     "  heights := FloatToStr(Engine.HeaderHeight) + ' ' +\n"
                     "    FloatToStr(Engine.FooterHeight);\n"
                     "  Engine.CurX := 50\n"
                     "end;\n"
                     "function MeasuredHeights: String; begin Result := heights end;\n"
                     "begin heights := 'none' end."));
  ASSERT_TRUE(r.script.Compile()) << r.script.ErrorMsg().toStdString();
  ASSERT_TRUE(r.script.Execute());
  r.master->SetOnBeforePrint(QStringLiteral("RowBefore"));
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join(u'\n').toStdString();
  std::vector<ScriptValue> none;
  EXPECT_EQ(r.script.CallFunction(QStringLiteral("MeasuredHeights"), none).ToString(), "30 25");
  int rows = 0;
  for (const TovxComponent* object : r.Pages().GetPage(0)->Objects()) {
    if (object->Name() != QStringLiteral("MasterData1")) continue;
    EXPECT_EQ(object->Left(), 50);
    ++rows;
  }
  EXPECT_EQ(rows, 3);
  // Outside a run there are no bands to measure.
  EXPECT_EQ(r.Engine().HeaderHeight(), 0);
  EXPECT_THROW(r.Engine().SetCurY(std::nan("")), ovx::Error);
}

// A memo's value list reached from a script, and what a script may do
// wrong with it: a name without a list, an index outside it, members that
// would move stored positions, calls outside a run, and a list or
// post-processor kept past the store's Clear.
TEST(ReportRttiTest, ValueListsFromScripts) {
  struct Case {
    const char* what;
    const char* pascal;
    const char* expect;
  } cases[] = {
      {"read", "r := Engine.GetPostProcessor.GetMacroList('memo1')[0];", "'one'"},
      {"append and count",
       "r := Engine.GetPostProcessor.GetMacroList('Memo1').Add('two') * 10 + "
       "Engine.GetPostProcessor.GetMacroList('Memo1').Count;",
       "12"},
      {"write",
       "Engine.GetPostProcessor.GetMacroList('Memo1')[0] := 'new'; "
       "r := Engine.GetPostProcessor.GetMacroList('Memo1').IndexOf('NEW');",
       "0"},
      {"index past the end", "r := Engine.GetPostProcessor.GetMacroList('Memo1')[1];",
       "run: List index out of bounds (1)"},
      {"negative index", "Engine.GetPostProcessor.GetMacroList('Memo1')[-1] := 'x';",
       "run: List index out of bounds (-1)"},
      {"a name without a list", "r := Engine.GetPostProcessor.GetMacroList('none') = nil;", "True"},
      {"a member of no list", "r := Engine.GetPostProcessor.GetMacroList('none').Count;",
       "run: Invalid object reference: nil"},
      {"delete would move the stored positions",
       "Engine.GetPostProcessor.GetMacroList('Memo1').Delete(0);", "run: DELETE: the values of"},
      {"insert too", "Engine.GetPostProcessor.GetMacroList('Memo1').Insert(0, 'x');",
       "run: INSERT: the values of"},
      {"clear too", "Engine.GetPostProcessor.GetMacroList('Memo1').Clear;",
       "run: CLEAR: the values of"},
      {"ProcessObject outside a run", "Engine.ProcessObject(Memo1);",
       "run: PROCESSOBJECT can only be called while the report is prepared"},
      {"ProcessObject of nil", "Engine.ProcessObject(nil);", "run: Invalid object reference: nil"},
      {"ProcessObject of a report", "r := Report; Engine.ProcessObject(r);",
       "run: Invalid argument to PROCESSOBJECT: TovxView expected, TovxReport given"},
      {"a list kept past a new preparation",
       "r := Engine.GetPostProcessor.GetMacroList('Memo1'); Report.PrepareReport; r := r.Count;",
       "run: Invalid object reference"},
      {"the post-processor kept past a new preparation",
       "r := Engine.GetPostProcessor; Report.PrepareReport; r := r.GetMacroList('Memo1');",
       "run: Invalid object reference"},
  };
  for (const Case& c : cases) {
    ScriptedReport report;
    report.memo->SetMemo({QStringLiteral("one")});
    report.memo->SetDuplicates(TovxDuplicateMode::dmMerge);
    ASSERT_TRUE(report.Prepare());
    ASSERT_NE(report.Pages().PostProcessor().Find(QStringLiteral("Memo1")), nullptr);
    QHash<QString, QString> vars;
    const QString error = report.Run(QStringLiteral("var r: Variant;\nbegin\n") +
                                         QString::fromUtf8(c.pascal) + QStringLiteral("\nend."),
                                     QStringLiteral("PascalScript"), &vars);
    const QString expect = QString::fromUtf8(c.expect);
    const QString got = expect.startsWith(u"run: ") ? error.left(expect.size())
                        : error.isEmpty()           ? vars.value("r")
                                                    : error;
    EXPECT_EQ(got.toStdString(), expect.toStdString()) << c.what;
  }
}

// Style sheets and pictures through the host's file access: what is saved
// loads back; a file that is damaged, of another root or of no picture kind
// is an error that leaves the sheet as it was (the picture empty).
class ScriptFilesRttiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetScriptFiles(
        {[](const QString& path, qint64 max_bytes) { return ReadFileBounded(path, max_bytes); },
         &WriteFileSafely});
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir_.filePath(QStringLiteral("p.png")), "PNG"));
    Write("bad.png", "not a picture");
    Write("damaged.xml", "<style Name=\"S\"><item Name=\"X\"");
    Write("other.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<other><item Name=\"X\"/></other>");
  }
  void TearDown() override { SetScriptFiles({}); }
  void Write(const char* name, const QByteArray& bytes) {
    WriteFileSafely(dir_.filePath(QString::fromLatin1(name)), bytes);
  }
  QString Run(ScriptedReport& report, QString body, QHash<QString, QString>* vars) {
    body.replace(QStringLiteral("DIR"), dir_.path());
    return report.Run(QStringLiteral("var r: Variant;\nbegin\n") + body + QStringLiteral("\nend."),
                      QStringLiteral("PascalScript"), vars);
  }
  QTemporaryDir dir_;
};

TEST_F(ScriptFilesRttiTest, StyleSheetsAndPictures) {
  struct Case {
    const char* what;
    const char* pascal;
    const char* expect;
  } cases[] = {
      {"a sheet saved and loaded",
       "Report.Styles.Name := 'Sheet'; Report.Styles.Add.Name := 'Big'; "
       "Report.Styles.Find('big').Font.Size := 30; Report.Styles.SaveToFile('DIR/s.xml'); "
       "Report.Styles.Clear; Memo1.Style := 'Big'; Report.Styles.LoadFromFile('DIR/s.xml'); "
       "r := Report.Styles.Name + Report.Styles[0].Name + IntToStr(Memo1.Font.Size);",
       "'SheetBig30'"},
      {"a damaged sheet",
       "Report.Styles.Add; try Report.Styles.LoadFromFile('DIR/damaged.xml'); r := 'loaded'; "
       "except r := Report.Styles.Count; end;",
       "1"},
      {"a sheet of another root",
       "Report.Styles.Add; try Report.Styles.LoadFromFile('DIR/other.xml'); r := 'loaded'; "
       "except r := Report.Styles[0].Name + ' ' + ExceptionMessage; end;",
       "'Style1 Not a style sheet: the root element is \"other\"'"},
      {"a missing sheet", "Report.Styles.LoadFromFile('DIR/none.xml');", "run: "},
      {"a sheet saved where no folder is", "Report.Styles.SaveToFile('DIR/no/s.xml');", "run: "},
      {"a picture loaded and saved",
       "Page1.BackPicture.LoadFromFile('DIR/p.png'); Page1.BackPicture.SaveToFile('DIR/q.png'); "
       "Page1.BackPicture.Clear; Page1.BackPicture.LoadFromFile('DIR/q.png'); "
       "r := Page1.BackPicture.Width * 10 + Page1.BackPicture.Height;",
       "32"},
      {"a picture through a stream",
       "Page1.BackPicture.LoadFromFile('DIR/p.png'); r := TMemoryStream.Create; "
       "Page1.BackPicture.SaveToStream(r); Page1.BackPicture.Clear; r.Position := 0; "
       "Page1.BackPicture.LoadFromStream(r); "
       "r := Page1.BackPicture.Width * 10 + Page1.BackPicture.Height;",
       "32"},
      {"a file of no picture kind empties the picture",
       "Page1.BackPicture.LoadFromFile('DIR/p.png'); "
       "try Page1.BackPicture.LoadFromFile('DIR/bad.png'); except end; "
       "r := Page1.BackPicture.Width;",
       "0"},
      {"the error names it", "Page1.BackPicture.LoadFromFile('DIR/bad.png');",
       "run: Unknown picture format: "},
      {"an empty picture has nothing to save", "Page1.BackPicture.SaveToFile('DIR/e.png');",
       "run: No picture to save: "},
  };
  for (const Case& c : cases) {
    ScriptedReport report;
    QHash<QString, QString> vars;
    const QString error = Run(report, QString::fromUtf8(c.pascal), &vars);
    const QString expect = QString::fromUtf8(c.expect);
    const QString got = expect.startsWith(u"run: ") ? error.left(expect.size())
                        : error.isEmpty()           ? vars.value("r")
                                                    : error;
    EXPECT_EQ(got.toStdString(), expect.toStdString()) << c.what;
  }
  EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("e.png"))));
}

}  // namespace
}  // namespace ovx
