#include "script/classes_module.h"

#include <gtest/gtest.h>

#include <QHash>

#include "base/object_handle.h"
#include "script/script.h"
#include "script/script_languages.h"

namespace ovx {
namespace {

struct Runner {
  Runner() {
    RegisterScriptLanguages();
    RegisterClassesModule();
    script.AddRTTI();
  }
  // Runs `text`; answers the error ("" when none) and fills `vars` with
  // the variables' values as displayed.
  QString Run(const QString& text, const QString& language, QHash<QString, QString>* vars) {
    script.SetSyntaxType(language);
    script.SetText(text);
    if (!script.Compile()) return QStringLiteral("compile: ") + script.ErrorMsg();
    const bool ran = script.Execute();
    if (vars) {
      for (const auto& v : script.Program().Variables())
        vars->insert(v.name.toLower(), v.value.Display());
    }
    return ran ? QString() : QStringLiteral("run: ") + script.ErrorMsg();
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
