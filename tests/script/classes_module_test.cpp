#include "script/classes_module.h"
#include "script/forms_module.h"
#include "script/graphics_module.h"
#include "script/ini_module.h"
#include "tests/script/run_script.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include "base/font.h"
#include "base/object_handle.h"
#include "platform/safe_file.h"
#include "script/script.h"
#include "script/script_languages.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

namespace ovx {
namespace {

struct Runner {
  Runner() {
    RegisterScriptLanguages();
    RegisterClassesModule();
    RegisterGraphicsModule();
    RegisterFormsModule();
    RegisterIniModule();
    script.AddRTTI();
  }
  // Runs `text`; answers the error ("" when none) and fills `vars` with
  // the variables' values as displayed.
  QString Run(const QString& text, const QString& language, QHash<QString, QString>* vars) {
    return ovx::test::RunScript(script, text, language, vars);
  }
  TksScript script;
};

struct Case {
  const char* what;
  const char* pascal;  // the statements after "l := TStringList.Create;"
  const char* cpp;     // the same after "l = new TStringList;"
  const char* expect;  // r's value as displayed, or "run: ..." for an error
};

// Each case leaves its answer in r and frees the list unless the case is
// about Free.
TEST(ScriptClassesTest, StringListInPascalAndCpp) {
  const Case cases[] = {
      {"add three and count", "l.Add('b'); l.Add('a'); l.Add('c'); r := l.Count;",
       "l.Add(\"b\"); l.Add(\"a\"); l.Add(\"c\"); r = l.Count;", "3"},
      {"Strings[1]", "l.Add('b'); l.Add('a'); l.Add('c'); r := l.Strings[1];",
       "l.Add(\"b\"); l.Add(\"a\"); l.Add(\"c\"); r = l.Strings[1];", "'a'"},
      {"default property", "l.Add('b'); l.Add('a'); l[1] := 'x'; r := l[1];",
       "l.Add(\"b\"); l.Add(\"a\"); l[1] = \"x\"; r = l[1];", "'x'"},
      {"IndexOf ignores case",
       "l.Add('b'); l.Add('Abc'); r := IntToStr(l.IndexOf('aBC')) + IntToStr(l.IndexOf('z'));",
       "l.Add(\"b\"); l.Add(\"Abc\"); r = IntToStr(l.IndexOf(\"aBC\")) + "
       "IntToStr(l.IndexOf(\"z\"));",
       "'1-1'"},
      {"Delete", "l.Add('b'); l.Add('a'); l.Add('c'); l.Delete(0); r := l.CommaText;",
       "l.Add(\"b\"); l.Add(\"a\"); l.Add(\"c\"); l.Delete(0); r = l.CommaText;", "'a,c'"},
      {"Text ends each line in CR LF",
       "l.Add('a'); l.Add('b'); r := l.Text = 'a' + #13#10 + 'b' + #13#10;",
       "l.Add(\"a\"); l.Add(\"b\"); r = l.Text == \"a\\r\\nb\\r\\n\";", "True"},
      {"Text splits at any line end",
       "l.Text := 'x' + #13#10 + 'y' + #10 + #13 + 'z' + #13#10; r := l.CommaText;",
       "l.Text = \"x\\r\\ny\\n\\rz\\r\\n\"; r = l.CommaText;", "'x,y,\"\",z'"},
      {"Sorted keeps Add in order",
       "l.Add('c'); l.Sorted := True; l.Add('a'); l.Add('B'); r := l.CommaText;",
       "l.Add(\"c\"); l.Sorted = true; l.Add(\"a\"); l.Add(\"B\"); r = l.CommaText;", "'a,B,c'"},
      {"dupIgnore on a sorted list", "l.Sorted := True; l.Add('a'); r := l.Add('A') + l.Count;",
       "l.Sorted = true; l.Add(\"a\"); r = l.Add(\"A\") + l.Count;", "1"},
      {"dupError", "l.Sorted := True; l.Duplicates := dupError; l.Add('a'); l.Add('a');",
       "l.Sorted = true; l.Duplicates = dupError; l.Add(\"a\"); l.Add(\"a\");",
       "run: String list does not allow duplicates"},
      {"CommaText quotes and reads back",
       "l.CommaText := 'a, \"b c\",\"d\"\"e\"'; r := IntToStr(l.Count) + l[1] + l.CommaText;",
       "l.CommaText = \"a, \\\"b c\\\",\\\"d\\\"\\\"e\\\"\"; r = IntToStr(l.Count) + l[1] + "
       "l.CommaText;",
       "'3b ca,\"b c\",\"d\"\"e\"'"},
      {"Clear", "l.Add('a'); l.Clear; r := l.Count;", "l.Add(\"a\"); l.Clear; r = l.Count;", "0"},
      {"index past the end", "l.Add('a'); r := l[1];", "l.Add(\"a\"); r = l[1];",
       "run: List index out of bounds (1)"},
      {"negative Delete", "l.Delete(-1);", "l.Delete(-1);", "run: List index out of bounds (-1)"},
      {"ClassName", "r := l.ClassName;", "r = l.ClassName;", "'TStringList'"},
      {"use after Free", "l.Add('a'); l.Free; r := l.Count;", "l.Add(\"a\"); l.Free; r = l.Count;",
       "run: Invalid object reference: "},
  };
  for (const Case& c : cases) {
    const QString expect = QString::fromUtf8(c.expect);
    const bool frees = expect.startsWith(u"run: Invalid");
    const QString pascal =
        QStringLiteral("var l: TStringList; r: Variant;\nbegin l := TStringList.Create;\n") +
        QString::fromUtf8(c.pascal) + (frees ? "" : " l.Free;") + "\nend.";
    const QString cpp = QStringLiteral("TStringList l; Variant r;\n{ l = new TStringList;\n") +
                        QString::fromUtf8(c.cpp) + (frees ? "" : " delete l;") + "\n}";
    for (const auto& [language, text] : {std::pair{QStringLiteral("PascalScript"), pascal},
                                         std::pair{QStringLiteral("C++Script"), cpp}}) {
      Runner runner;
      QHash<QString, QString> vars;
      const qint64 live = LiveObjectHandles();
      const QString error = runner.Run(text, language, &vars);
      const QString got = expect.startsWith(u"run: ") ? error.left(expect.size())
                          : error.isEmpty()           ? vars.value("r")
                                                      : error;
      EXPECT_EQ(got.toStdString(), expect.toStdString())
          << c.what << " in " << language.toStdString();
      // The lists freed themselves or go with the program.
      runner.script.ClearItems();
      EXPECT_EQ(LiveObjectHandles(), live) << c.what << " in " << language.toStdString();
    }
  }
}

// The graphics and forms modules without any window: fonts, pens and
// brushes as values, colours and styles as constants, form classes as
// names for casts and tests only.
TEST(ScriptClassesTest, GraphicsAndFormsWithoutWindows) {
  const Case cases[] = {
      {"font from the metadata",
       "f := TFont.Create; f.Name := 'SimSun'; f.Size := 14; f.Style := [fsBold, fsUnderline];"
       " f.Color := clRed; r := f.Name + IntToStr(f.Size) + IntToStr(f.Style) +"
       " IntToStr(f.Color); f.Free;",
       "f = new TFont; f.Name = \"SimSun\"; f.Size = 14; f.Style = [fsBold, fsUnderline];"
       " f.Color = clRed; r = f.Name + IntToStr(f.Size) + IntToStr(f.Style) +"
       " IntToStr(f.Color); delete f;",
       "'SimSun145255'"},
      {"font Assign",
       "f := TFont.Create; g := TFont.Create; f.Size := 20; g.Assign(f); r := g.Size;",
       "f = new TFont; g = new TFont; f.Size = 20; g.Assign(f); r = g.Size;", "20"},
      {"Assign from another class", "f := TFont.Create; g := TPen.Create; f.Assign(g);",
       "f = new TFont; g = new TPen; f.Assign(g);", "run: Invalid object reference: "},
      {"pen defaults and values",
       "f := TPen.Create; r := IntToStr(f.Width) + IntToStr(f.Style) + IntToStr(f.Mode);"
       " f.Width := 0; f.Style := psDot; g := TPen.Create; g.Assign(f);"
       " r := r + '/' + IntToStr(g.Width) + IntToStr(g.Style);",
       "f = new TPen; r = IntToStr(f.Width) + IntToStr(f.Style) + IntToStr(f.Mode);"
       " f.Width = 0; f.Style = psDot; g = new TPen; g.Assign(f);"
       " r = r + \"/\" + IntToStr(g.Width) + IntToStr(g.Style);",
       "'104/12'"},
      {"brush", "f := TBrush.Create; f.Style := bsClear; f.Color := clBtnFace; r := f.Color;",
       "f = new TBrush; f.Style = bsClear; f.Color = clBtnFace; r = f.Color;", "-16777201"},
      {"an ordinal outside the enumeration leaves the style",
       "f := TPen.Create; f.Style := 99; r := f.Style;", "f = new TPen; f.Style = 99; r = f.Style;",
       "0"},
      {"colour identifiers", "r := IntToStr(clNone) + ' ' + IntToStr(clWindowText);",
       "r = IntToStr(clNone) + \" \" + IntToStr(clWindowText);", "'536870911 -16777208'"},
      {"modal results and button sets", "r := mrYes * 100 + mrClose + mbOKCancel * 1000;",
       "r = mrYes * 100 + mrClose + mbOKCancel * 1000;", "12611"},
      {"a cast to TForm yields the object",
       "f := TComponent.Create(nil); f.Name := 'c1'; g := TForm(f); r := TForm(f).Name +"
       " BoolToStr(g = f);",
       "f = new TComponent(nil); f.Name = \"c1\"; g = TForm(f); r = TForm(f).Name +"
       " BoolToStr(g == f);",
       "'c1-1'"},
      {"TForm alone is the class reference", "r := TForm;", "r = TForm;", "'TForm'"},
      {"a component is no form", "f := TComponent.Create(nil); r := f is TForm;",
       "f = new TComponent(nil); r = f is TForm;", "False"},
      {"no forms are made", "f := TForm.Create(nil);", "f = new TForm(nil);",
       "run: Cannot create TForm: scripts have no forms here"},
  };
  for (const Case& c : cases) {
    const QString expect = QString::fromUtf8(c.expect);
    const QString pascal = QStringLiteral("var f, g, r: Variant;\nbegin\n") +
                           QString::fromUtf8(c.pascal) + QStringLiteral("\nend.");
    const QString cpp =
        QStringLiteral("Variant f, g, r;\n{\n") + QString::fromUtf8(c.cpp) + QStringLiteral("\n}");
    for (const auto& [language, text] : {std::pair{QStringLiteral("PascalScript"), pascal},
                                         std::pair{QStringLiteral("C++Script"), cpp}}) {
      Runner runner;
      QHash<QString, QString> vars;
      const qint64 live = LiveObjectHandles();
      const QString error = runner.Run(text, language, &vars);
      const QString got = expect.startsWith(u"run: ") ? error.left(expect.size())
                          : error.isEmpty()           ? vars.value("r")
                                                      : error;
      EXPECT_EQ(got.toStdString(), expect.toStdString())
          << c.what << " in " << language.toStdString();
      runner.script.ClearItems();
      EXPECT_EQ(LiveObjectHandles(), live) << c.what << " in " << language.toStdString();
    }
  }
  // One TFont, whichever module registers it: the class is the metadata's.
  Runner runner;
  const TksClassVariable* font = runner.script.FindClass(QStringLiteral("TFont"));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->ClassRef(), &TovxFont::StaticMetaClass());
  EXPECT_EQ(runner.script.Scope().FindClass(QStringLiteral("TForm"))->Ancestor(),
            QStringLiteral("TCustomForm"));
}

// Objects the script did not free go with the program; host objects are
// not the script's to free.
TEST(ScriptClassesTest, ProgramOwnsWhatItCreates) {
  Runner runner;
  QHash<QString, QString> vars;
  const qint64 live = LiveObjectHandles();
  ASSERT_EQ(runner.Run(QStringLiteral(
                           "var l: TStringList; c, d: TComponent; i: Integer; o, n: String;\n"
                           "begin c := TComponent.Create(nil); c.Name := 'top';\n"
                           "  d := TComponent.Create(c); o := d.Owner.Name; n := d.ClassName;\n"
                           "  for i := 1 to 10 do begin l := TStringList.Create; l.Add('x') end;\n"
                           "  c.Free; if d.Owner = nil then o := o + ' gone' end."),
                       QStringLiteral("PascalScript"), &vars),
            QString());
  EXPECT_EQ(vars.value("o"), "'top gone'");
  EXPECT_EQ(vars.value("n"), "'TComponent'");
  EXPECT_EQ(LiveObjectHandles(), live + 11);
  runner.script.ClearItems();
  EXPECT_EQ(LiveObjectHandles(), live);

  EXPECT_EQ(runner.Run(QStringLiteral("var s: TStrings; begin s := TStrings.Create end."),
                       QStringLiteral("PascalScript"), nullptr),
            QStringLiteral("run: Cannot create an instance of abstract class TStrings"));
  EXPECT_EQ(
      runner.Run(QStringLiteral(
                     "var s: TObject; begin s := TObject.Create; s.Free; s := TPersistent.Create;\n"
                     " s.Free end."),
                 QStringLiteral("PascalScript"), nullptr),
      QString());
}

class HostThing : public Persistent {
 public:
  const MetaClass& GetMetaClass() const override {
    static const MetaClass meta(QStringLiteral("TComponent"), nullptr, {}, nullptr);
    return meta;
  }
};

// The host's objects are owned by the host: freeing one from a script
// would leave the host a dangling pointer.
TEST(ScriptClassesTest, HostObjectsAreNotTheScriptsToFree) {
  HostThing host;
  for (const char* language : {"PascalScript", "JScript"}) {
    Runner runner;
    runner.script.AddObject(QStringLiteral("Host"), &host);
    const QString text = QString::fromLatin1(language) == u"JScript"
                             ? QStringLiteral("delete Host;")
                             : QStringLiteral("begin Host.Free end.");
    EXPECT_EQ(runner.Run(text, QString::fromLatin1(language), nullptr),
              QStringLiteral("run: Cannot free TComponent: the script did not create it"))
        << language;
    EXPECT_NE(ObjectFromHandle(ObjectHandle(&host)), nullptr);
  }
}

TEST(ScriptClassesTest, EnumerationAndRegistration) {
  Runner runner;
  QHash<QString, QString> vars;
  ASSERT_EQ(runner.Run(QStringLiteral("var a, b, c: Integer; begin a := dupIgnore; b := dupAccept;"
                                      " c := dupError end."),
                       QStringLiteral("PascalScript"), &vars),
            QString());
  EXPECT_EQ(vars.value("a") + vars.value("b") + vars.value("c"), "012");
  // Registered once, however many scripts apply the modules.
  RegisterClassesModule();
  TksScript other;
  other.AddRTTI();
  EXPECT_NE(other.FindClass(QStringLiteral("TStringList")), nullptr);
  EXPECT_EQ(other.FindClass(QStringLiteral("TStringList"))->Ancestor(), QStringLiteral("TStrings"));
}

}  // namespace
}  // namespace ovx

namespace ovx {
namespace {

// A Pascal program whose answer is r (as displayed) or its error.
QString RunPascal(Runner& runner, const QString& vars, const QString& body) {
  QHash<QString, QString> values;
  const QString error =
      runner.Run(QStringLiteral("var r: Variant; ") + vars + QStringLiteral("\nbegin\n") + body +
                     QStringLiteral("\nend."),
                 QStringLiteral("PascalScript"), &values);
  return error.isEmpty() ? values.value("r") : error;
}

struct PascalCase {
  const char* what;
  const char* vars;
  const char* body;
  const char* expect;  // r as displayed, or the start of the error
};

void RunTable(const std::vector<PascalCase>& cases) {
  for (const PascalCase& c : cases) {
    Runner runner;
    const qint64 live = LiveObjectHandles();
    const QString got = RunPascal(runner, QString::fromUtf8(c.vars), QString::fromUtf8(c.body));
    const QString expect = QString::fromUtf8(c.expect);
    EXPECT_EQ((expect.startsWith(u"run: ") ? got.left(expect.size()) : got).toStdString(),
              expect.toStdString())
        << c.what;
    runner.script.ClearItems();
    EXPECT_EQ(LiveObjectHandles(), live) << c.what << ": objects outlived the program";
  }
}

TEST(ScriptClassesTest, ListsAndCollections) {
  RunTable({
      {"TList keeps values and finds objects by identity", "l: TList;",
       "l := TList.Create; l.Add(1); l.Add('a'); l.Add(l); l.Insert(0, 2.5);\n"
       "r := IntToStr(l.Count) + IntToStr(l.IndexOf(l)) + IntToStr(l.IndexOf('a')) + "
       "IntToStr(l.IndexOf(1)) + IntToStr(l.IndexOf('1')) + VarToStr(l.First) + l.Last.ClassName;",
       "'4321-12.5TList'"},
      {"TList Remove, Exchange, Move, Items", "l: TList;",
       "l := TList.Create; l.Add('a'); l.Add('b'); l.Add('c'); l.Exchange(0, 2); l.Move(0, 1);\n"
       "l.Remove('b'); l[0] := 'x'; r := l[0] + l.Items[1] + IntToStr(l.Remove('zz'));",
       "'xa-1'"},
      {"TList Count grows with nils and shrinks", "l: TList;",
       "l := TList.Create; l.Count := 3; r := VarToStr(l[2]) + IntToStr(l.Count); l.Count := 1;"
       " r := r + IntToStr(l.Count);",
       "'31'"},
      {"TList index past the end", "l: TList;", "l := TList.Create; l.Add(1); r := l[1];",
       "run: List index out of bounds (1)"},
      {"TList First of an empty list", "l: TList;", "l := TList.Create; r := l.First;",
       "run: List index out of bounds (0)"},
      {"TList negative Count", "l: TList;", "l := TList.Create; l.Count := -1;",
       "run: List index out of bounds (-1)"},
      {"TStrings Insert, Exchange, Move", "s: TStringList;",
       "s := TStringList.Create; s.CommaText := 'a,b,c'; s.Insert(3, 'd'); s.Exchange(0, 3);"
       " s.Move(3, 0); r := s.CommaText;",
       "'a,d,b,c'"},
      {"sorted lists refuse what would unsort them", "s: TStringList;",
       "s := TStringList.Create; s.CommaText := 'b,a'; s.Sorted := True; s.Exchange(0, 1);",
       "run: Operation not allowed on sorted list"},
      {"sorted Insert", "s: TStringList;",
       "s := TStringList.Create; s.Sorted := True; s.Insert(0, 'x');",
       "run: Operation not allowed on sorted list"},
      {"Names and Values", "s: TStringList;",
       "s := TStringList.Create; s.Values['a'] := '1'; s.Add('plain'); s.Values['B'] := '2=3';\n"
       "s.Values['a'] := ''; r := s.Names[1] + '|' + s.Values['b'] + '|' + s.Names[0] + '|' +"
       " IntToStr(s.IndexOfName('b')) + '|' + s.Values['zz'];",
       "'B|2=3||1|'"},
      {"objects beside lines, nil once freed", "s: TStringList; o: TObject;",
       "s := TStringList.Create; o := TObject.Create; s.AddObject('x', o); s.Add('y');\n"
       "r := IntToStr(s.IndexOfObject(o)) + s.Objects[0].ClassName; o.Free;"
       " if s.Objects[0] = nil then r := r + ' nil';",
       "'0TObject nil'"},
      {"AddStrings from itself, Assign, Find, Sort", "s, t: TStringList; i: Integer;",
       "s := TStringList.Create; s.CommaText := 'c,a'; s.AddStrings(s); t := TStringList.Create;"
       " t.Assign(s); t.Sort;\nr := t.CommaText; if t.Find('c', i) then r := r + 'y' + IntToStr(i);"
       " t.Sorted := True;\nif not t.Find('b', i) then r := r + 'n' + IntToStr(i);",
       "'a,a,c,cy2n2'"},
      {"collection items, ids and moves", "c, d: TCollection; a, b: TCollectionItem;",
       "c := TCollection.Create(TCollectionItem); a := c.Add; b := c.Add; b.Index := 0;\n"
       "r := IntToStr(a.Index) + IntToStr(b.ID) + IntToStr(c.FindItemID(0).Index); d :="
       " TCollection.Create(TCollectionItem);\nb.Collection := d; r := r + IntToStr(c.Count) +"
       " IntToStr(d.Count) + IntToStr(b.ID); a.Free; r := r + IntToStr(c.Count);",
       "'1111100'"},
      {"an item of a freed collection is gone", "c: TCollection; a: TCollectionItem;",
       "c := TCollection.Create(TCollectionItem); a := TCollectionItem.Create(c); c.Free;"
       " r := a.Index;",
       "run: Invalid object reference: "},
      {"collection Delete and Insert", "c: TCollection; a: TCollectionItem;",
       "c := TCollection.Create(TCollectionItem); a := c.Add; c.Insert(0); c.Delete(1);"
       " r := c.Count; r := a.ID;",
       "run: Invalid object reference: "},
  });
}

TEST(ScriptClassesTest, StreamsAndXml) {
  RunTable({
      {"memory stream write, seek, read", "m, n: TMemoryStream; b: String; k: Integer;",
       "m := TMemoryStream.Create; m.Write('hello world', 5); m.Seek(-2, soFromEnd);"
       " k := m.Read(b, 99);\nr := b + IntToStr(k) + IntToStr(m.Position) + IntToStr(m.Size);"
       " n := TMemoryStream.Create; n.CopyFrom(m, 0); m.Position := 7; m.Write('!', 1);\n"
       "r := r + IntToStr(n.Size) + IntToStr(m.Size) + IntToStr(Ord(Chr(0)));",
       "'lo255580'"},
      {"a byte past U+00FF", "m: TMemoryStream;",
       "m := TMemoryStream.Create; m.Write('a' + Chr($4E2D), 2);",
       "run: Stream buffer holds a character above U+00FF at 2"},
      {"Count past the buffer", "m: TMemoryStream;",
       "m := TMemoryStream.Create; r := m.Write('ab', 1000000);", "2"},
      {"negative position", "m: TMemoryStream;",
       "m := TMemoryStream.Create; m.Seek(-1, soFromBeginning);",
       "run: Invalid stream position: -1"},
      {"far position", "m: TMemoryStream;",
       "m := TMemoryStream.Create; m.Seek(1000000000000, soFromBeginning);",
       "run: Invalid stream position: "},
      {"bad origin", "m: TMemoryStream;", "m := TMemoryStream.Create; m.Seek(0, 7);",
       "run: Invalid seek origin: 7"},
      {"streams count against the budget", "m: TMemoryStream; i: Integer; a: Variant;",
       "a := VarArrayCreate([0, 1048000], varVariant); m := TMemoryStream.Create;\n"
       "for i := 1 to 10000 do m.Write('0123456789', 10);",
       "run: Invalid array bounds: at most 1048576 elements"},
      {"abstract TStream", "m: TStream;", "m := TStream.Create;",
       "run: Cannot create an instance of abstract class TStream"},
      {"XML built, written and read back", "d, e: TksXMLDocument; x: TksXMLItem; m: TMemoryStream;",
       "d := TksXMLDocument.Create; d.Root.Name := 'root'; x := d.Root.Add; x.Name := 'a';\n"
       "x.Prop['v'] := '<\"&>'; x.Add.Name := 'b'; m := TMemoryStream.Create; d.SaveToStream(m);\n"
       "m.Position := 0; e := TksXMLDocument.Create; e.LoadFromStream(m);\n"
       "x := e.Root[0]; r := e.Root.Name + IntToStr(e.Root.Count) + x.Prop['v'] + x[0].Name +"
       " IntToStr(e.Root.IndexOf('A')) + e.Root.FindItem('a').Parent.Name;",
       "'root1<\"&>b0root'"},
      {"the root survives loading; removed items are gone", "d: TksXMLDocument; r0, x: TksXMLItem;",
       "d := TksXMLDocument.Create; r0 := d.Root; x := r0.Add; d.LoadFromString('<?xml "
       "version=\"1.0\"?><z><y/></z>');\n"
       "r := r0.Name + IntToStr(r0.Count); r := x.Name;",
       "run: Invalid object reference: "},
      {"Clear retires the children, not the item", "d: TksXMLDocument; x, y: TksXMLItem;",
       "d := TksXMLDocument.Create; x := d.Root.Add; y := x.Add; x.Clear; x.Name := 'k';"
       " r := d.Root[0].Name; r := y.Name;",
       "run: Invalid object reference: "},
      {"Assign from a child of itself", "d: TksXMLDocument; x: TksXMLItem;",
       "d := TksXMLDocument.Create; x := d.Root.Add; x.Name := 'c'; x.Add.Name := 'g';"
       " d.Root.Assign(x); r := d.Root.Name + d.Root[0].Name + IntToStr(d.Root.Count);",
       "'cg1'"},
      {"items move between documents and stay usable after their document goes",
       "d, e: TksXMLDocument; x: TksXMLItem;",
       "d := TksXMLDocument.Create; e := TksXMLDocument.Create; x := d.Root.Add; x.Name := 'm';"
       " x.Add;\ne.Root.AddItem(x); r := IntToStr(d.Root.Count) + IntToStr(e.Root.Count);"
       " e.Free; r := r + x.Name + IntToStr(x.Count) + x.Parent.Name;",
       "'01m1'"},
      {"an item made alone joins a document", "d: TksXMLDocument; x: TksXMLItem;",
       "x := TksXMLItem.Create; x.Name := 'alone'; d := TksXMLDocument.Create;"
       " d.Root.InsertItem(0, x); r := d.Root[0].Name + IntToStr(d.Root.Count);",
       "'alone1'"},
      {"a document's root stays its root", "d, e: TksXMLDocument;",
       "d := TksXMLDocument.Create; e := TksXMLDocument.Create; e.Root.AddItem(d.Root);",
       "run: The root item of a document cannot be moved"},
      {"an item into its own child is nothing", "d: TksXMLDocument; x: TksXMLItem;",
       "d := TksXMLDocument.Create; x := d.Root.Add; x.Add; x[0].AddItem(x);"
       " r := IntToStr(d.Root.Count) + IntToStr(x.Count);",
       "'11'"},
      {"malformed XML", "d: TksXMLDocument;",
       "d := TksXMLDocument.Create; d.LoadFromString('<a><b></a');", "run: Invalid file format"},
      {"items count against the budget", "d: TksXMLDocument; i: Integer; a: Variant;",
       "a := VarArrayCreate([0, 1048000], varVariant); d := TksXMLDocument.Create;\n"
       "for i := 1 to 10000 do d.Root.Add;",
       "run: Invalid array bounds: at most 1048576 elements"},
  });
}

class ScriptFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetScriptFiles(
        {[](const QString& path, qint64 max_bytes) { return ReadFileBounded(path, max_bytes); },
         &WriteFileSafely});
  }
  void TearDown() override { SetScriptFiles({}); }
  QString Path(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }
  QString Run(const QString& vars, QString body) {
    body.replace(QStringLiteral("DIR"), dir_.path());
    Runner runner;
    return RunPascal(runner, vars, body);
  }
  QTemporaryDir dir_;
};

TEST_F(ScriptFilesTest, FileStreamsReplaceFilesWhole) {
  WriteFileSafely(Path("old.bin"), "0123456789");
  // Read-write: changed in memory, written back whole when freed.
  EXPECT_EQ(Run(QStringLiteral("f: TFileStream; b: String;"),
                QStringLiteral("f := TFileStream.Create('DIR/old.bin', fmOpenReadWrite);"
                               " f.Seek(8, soFromBeginning); f.Write('abcd', 4); f.Position := 0;"
                               " f.Read(b, 3); r := b; f.Free;")),
            "'012'");
  EXPECT_EQ(ReadFileBounded(Path("old.bin"), 100), "01234567abcd");
  EXPECT_EQ(Run(QStringLiteral("f: TFileStream;"),
                QStringLiteral("f := TFileStream.Create('DIR/new.bin', fmCreate); f.Free;"
                               " f := TFileStream.Create('DIR/new.bin', fmOpenRead);"
                               " r := f.Size; f.Write('x', 1);")),
            "run: Stream write error: the stream was opened for reading");
  EXPECT_EQ(ReadFileBounded(Path("new.bin"), 100), "");
  EXPECT_EQ(
      Run(QStringLiteral("f: TFileStream; b: String;"),
          QStringLiteral("f := TFileStream.Create('DIR/old.bin', fmOpenWrite); f.Read(b, 1);")),
      "run: Stream read error: the stream was opened for writing");
  // A missing file names itself.
  const QString missing =
      Run(QStringLiteral("f: TFileStream;"),
          QStringLiteral("f := TFileStream.Create('DIR/none.bin', fmOpenRead);"));
  EXPECT_TRUE(missing.startsWith(u"run: ") && missing.contains(Path("none.bin")))
      << missing.toStdString();

  // A write that fails (the target is a folder) is the script's error, and
  // the folder is left alone; the old file of a failed script stays too.
  QDir(dir_.path()).mkdir(QStringLiteral("folder"));
  const QString refused = Run(QStringLiteral("f: TFileStream;"),
                              QStringLiteral("f := TFileStream.Create('DIR/folder', fmCreate);"
                                             " f.Write('x', 1); f.Free;"));
  EXPECT_TRUE(refused.startsWith(u"run: ")) << refused.toStdString();
  EXPECT_TRUE(QFileInfo(Path("folder")).isDir());
}

TEST_F(ScriptFilesTest, ListsAndDocumentsGoThroughFiles) {
  EXPECT_EQ(
      Run(QStringLiteral("s, t: TStringList; d, e: TksXMLDocument; m: TMemoryStream;"),
          QStringLiteral(
              "s := TStringList.Create; s.Add('一'); s.Add('b'); s.SaveToFile('DIR/l.txt');\n"
              "t := TStringList.Create; t.LoadFromFile('DIR/l.txt'); r := t.CommaText;\n"
              "d := TksXMLDocument.Create; d.Root.Name := 'x'; d.SaveToFile('DIR/d.xml');\n"
              "e := TksXMLDocument.Create; e.LoadFromFile('DIR/d.xml'); r := r + e.Root.Name;\n"
              "m := TMemoryStream.Create; m.LoadFromFile('DIR/l.txt'); r := r + IntToStr(m.Size);"
              " m.SaveToFile('DIR/m.bin');")),
      "'一,bx8'");
  EXPECT_EQ(ReadFileBounded(Path("l.txt"), 100), "\xE4\xB8\x80\r\nb\r\n");
  EXPECT_EQ(ReadFileBounded(Path("m.bin"), 100), ReadFileBounded(Path("l.txt"), 100));
  // Older text files in code page 936 still load.
  WriteFileSafely(Path("gbk.txt"), "\xD6\xD0\xCE\xC4\r\n");
  EXPECT_EQ(
      Run(QStringLiteral("s: TStringList;"),
          QStringLiteral("s := TStringList.Create; s.LoadFromFile('DIR/gbk.txt'); r := s[0];")),
      "'中文'");
}

TEST_F(ScriptFilesTest, IniFiles) {
  WriteFileSafely(Path("a.ini"), "; kept\r\n[Main]\r\nName = x y\r\nN=12z\r\n");
  // TIniFile writes through at once; what it read before the first
  // section is kept.
  EXPECT_EQ(
      Run(QStringLiteral("f: TIniFile;"),
          QStringLiteral("f := TIniFile.Create('DIR/a.ini'); f.WriteInteger('main', 'Count', 3);\n"
                         "f.WriteBool('New', 'On', True);\n"
                         "r := f.ReadString('MAIN', 'name', '?') + IntToStr(f.ReadInteger('Main', "
                         "'N', 7)) + f.ReadString('x', 'y', 'def');")),
      "'x y7def'");
  EXPECT_EQ(ReadFileBounded(Path("a.ini"), 1000),
            "; kept\r\n\r\n[Main]\r\nName = x y\r\nN=12z\r\nCount=3\r\n\r\n[New]\r\nOn=1\r\n\r\n");
  // TMemIniFile writes on UpdateFile only.
  EXPECT_EQ(Run(QStringLiteral("m: TMemIniFile; l: TStringList;"),
                QStringLiteral("m := TMemIniFile.Create('DIR/a.ini'); m.EraseSection('Main');"
                               " m.WriteFloat('New', 'F', 2.5);\nl := TStringList.Create;"
                               " m.ReadSections(l); r := l.CommaText; m.ReadSection('New', l);"
                               " r := r + '|' + l.CommaText;")),
            "'New|On,F'");
  EXPECT_TRUE(ReadFileBounded(Path("a.ini"), 1000).contains("[Main]"));
  EXPECT_EQ(
      Run(QStringLiteral("m: TMemIniFile; s, t: TMemoryStream; b: String;"),
          QStringLiteral("m := TMemIniFile.Create('DIR/new.ini'); s := TMemoryStream.Create;"
                         " s.Write('AB', 2); s.Position := 0;\nm.WriteBinaryStream('S', 'b', s);"
                         " m.UpdateFile; t := TMemoryStream.Create;\n"
                         "r := m.ReadBinaryStream('S', 'b', t); t.Position := 0; t.Read(b, 9);"
                         " r := IntToStr(r) + b;")),
      "'2AB'");
  EXPECT_EQ(ReadFileBounded(Path("new.ini"), 1000), "[S]\r\nb=4142\r\n\r\n");
  // Entries that would change the file's structure are refused.
  EXPECT_EQ(
      Run(QStringLiteral("m: TMemIniFile;"),
          QStringLiteral("m := TMemIniFile.Create('DIR/b.ini'); m.WriteString('S', 'a=b', 'v');")),
      "run: Invalid ini file entry: [S] a=b");
  EXPECT_EQ(Run(QStringLiteral("m: TMemIniFile;"),
                QStringLiteral(
                    "m := TMemIniFile.Create('DIR/b.ini'); m.WriteString('S', 'k', 'v'#10'[X]');"))
                .left(28),
            "run: Invalid ini file entry:");
  // A folder is not an ini file.
  EXPECT_TRUE(Run(QStringLiteral("m: TIniFile;"), QStringLiteral("m := TIniFile.Create('DIR');"))
                  .startsWith(u"run: "));
}

TEST(ScriptClassesTest, WithoutFileAccessFilesAreAnError) {
  Runner runner;
  EXPECT_EQ(RunPascal(runner, QStringLiteral("s: TStringList;"),
                      QStringLiteral("s := TStringList.Create; s.LoadFromFile('/etc/hostname');")),
            "run: Cannot open file \"/etc/hostname\": scripts have no file access here");
}

// Host components answer their owner through the host's hook.
TEST(ScriptClassesTest, HostComponentsAnswerTheirOwner) {
  HostThing owner, child;
  SetScriptOwnerOf([&](Persistent& c) -> Persistent* { return &c == &child ? &owner : nullptr; });
  Runner runner;
  runner.script.AddObject(QStringLiteral("Child"), &child);
  runner.script.AddObject(QStringLiteral("Top"), &owner);
  EXPECT_EQ(RunPascal(runner, QString(),
                      QStringLiteral("if Child.Owner = Top then r := 'top'; if Top.Owner = nil then"
                                     " r := r + ' nil';")),
            "'top nil'");
  SetScriptOwnerOf({});
  EXPECT_TRUE(RunPascal(runner, QString(), QStringLiteral("r := Child.Owner;"))
                  .startsWith(u"run: Invalid object reference"));
}

}  // namespace
}  // namespace ovx
