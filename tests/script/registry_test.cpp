#include "script/registry.h"
#include "tests/script/run_script.h"

#include "base/class_builder.h"
#include "base/object_handle.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QHash>

#include <gtest/gtest.h>

namespace ovx {
namespace {

// Two small classes with metadata, standing in for report objects.
class TTestThing : public Persistent {
  OVX_META_CLASS
 public:
  double Left() const { return left_; }
  void SetLeft(double v) { left_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  QString Name() const { return name_; }
  void SetName(const QString& v) { name_ = v; }
  int Tag() const { return 42; }

 private:
  double left_ = 0;
  bool visible_ = true;
  QString name_ = QStringLiteral("thing");
};

const MetaClass& TTestThing::StaticMetaClass() {
  static const MetaClass meta = [] {
    using C = TTestThing;
    ClassBuilder<C> b("TTestThing", nullptr);
    b.String("Name", &C::Name, &C::SetName);
    b.Float("Left", &C::Left, &C::SetLeft);
    b.Bool("Visible", &C::Visible, &C::SetVisible);
    b.Integer("Tag", &C::Tag, nullptr);
    return b.Build();
  }();
  return meta;
}

class TTestOther : public Persistent {
  OVX_META_CLASS
 public:
  QString Name() const { return QStringLiteral("other"); }
  QString Caption() const { return QStringLiteral("caption"); }
};

const MetaClass& TTestOther::StaticMetaClass() {
  static const MetaClass meta = [] {
    using C = TTestOther;
    ClassBuilder<C> b("TTestOther", nullptr);
    b.String("Name", &C::Name, nullptr);
    b.String("Caption", &C::Caption, nullptr);
    return b.Build();
  }();
  return meta;
}

TEST(ScriptDeclarationTest, Table) {
  ScriptDeclarationContext context;
  context.find_const = [](const QString& name, ScriptValue* v) {
    if (name.compare(QLatin1String("MyConst"), Qt::CaseInsensitive) != 0) return false;
    *v = ScriptValue::Int(42);
    return true;
  };
  using VT = ScriptVarType;
  {
    const auto d = ParseScriptDeclaration(QStringLiteral(
        "macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant"));
    EXPECT_TRUE(d.is_macro);
    EXPECT_TRUE(d.is_function);
    EXPECT_EQ(d.name, QStringLiteral("IIF"));
    ASSERT_EQ(d.params.size(), 3u);
    EXPECT_EQ(d.params[0].type, VT::kBool);
    EXPECT_EQ(d.params[2].name, QStringLiteral("FalseValue"));
    EXPECT_EQ(d.params[2].type, VT::kVariant);
    EXPECT_EQ(d.result_type, VT::kVariant);
  }
  {
    const auto d =
        ParseScriptDeclaration(QStringLiteral("procedure Inc(var i: Integer; incr: Integer = 1)"));
    EXPECT_FALSE(d.is_function);
    EXPECT_FALSE(d.is_macro);
    ASSERT_EQ(d.params.size(), 2u);
    EXPECT_TRUE(d.params[0].by_ref);
    EXPECT_FALSE(d.params[0].optional);
    EXPECT_FALSE(d.params[1].by_ref);
    EXPECT_TRUE(d.params[1].optional);
    EXPECT_EQ(d.params[1].default_value.Display(), QStringLiteral("1"));
  }
  {
    const auto d = ParseScriptDeclaration(QStringLiteral("function Pi: Extended"));
    EXPECT_TRUE(d.is_function);
    EXPECT_TRUE(d.params.empty());
    EXPECT_EQ(d.result_type, VT::kFloat);
  }
  {
    const auto d = ParseScriptDeclaration(QStringLiteral("constructor Create(AOwner: TComponent)"),
                                          {}, /*on_class=*/true);
    EXPECT_EQ(d.name, QStringLiteral("Create"));
    EXPECT_TRUE(d.is_function);
    EXPECT_EQ(d.result_type, VT::kConstructor);
    EXPECT_EQ(d.result_type_name, QStringLiteral("Constructor"));
    ASSERT_EQ(d.params.size(), 1u);
    EXPECT_EQ(d.params[0].type, VT::kClass);  // an unregistered type name is a class
  }
  {
    const auto d = ParseScriptDeclaration(
        QStringLiteral(
            "procedure P(a: Integer = MyConst; b: String = 'x''y'; c: Integer = Foo; d: Extended "
            "= -2.5; e: Integer = -7)"),
        context);
    ASSERT_EQ(d.params.size(), 5u);
    EXPECT_EQ(d.params[0].default_value.Display(), QStringLiteral("42"));
    EXPECT_EQ(d.params[1].default_value.Display(), QStringLiteral("'x'y'"));
    EXPECT_EQ(d.params[2].default_value.kind(), ScriptValue::Kind::kNull);
    EXPECT_TRUE(d.params[2].optional);
    EXPECT_EQ(d.params[3].default_value.Display(), QStringLiteral("-2.5"));
    EXPECT_EQ(d.params[4].default_value.Display(), QStringLiteral("-7"));
  }
  {
    const auto d = ParseScriptDeclaration(
        QStringLiteral("procedure DecodeDate(Date: TDateTime; var Year, Month, Day: Word)"));
    ASSERT_EQ(d.params.size(), 4u);
    EXPECT_FALSE(d.params[0].by_ref);
    EXPECT_TRUE(d.params[1].by_ref && d.params[2].by_ref && d.params[3].by_ref);
    EXPECT_EQ(d.params[3].type, VT::kInt);
  }
  {
    const auto d =
        ParseScriptDeclaration(QStringLiteral("function StrToBool(const S: string): Boolean;"));
    ASSERT_EQ(d.params.size(), 1u);
    EXPECT_FALSE(d.params[0].by_ref);
    EXPECT_EQ(d.params[0].type, VT::kString);
    EXPECT_EQ(d.result_type, VT::kBool);
  }
  // Broken declarations give what was recognised and never fail.
  for (const char* text : {"", "function", "procedure X(", "function F(a: ; : ): ", "(((", "x y z"})
    (void)ParseScriptDeclaration(QString::fromLatin1(text));
}

TEST(ScriptRegistryTest, NothingTwiceAndEnumerations) {
  TksScript parent;
  parent.AddConst(QStringLiteral("Answer"), QStringLiteral("Integer"), ScriptValue::Int(42));
  TksScript child;
  child.SetParent(&parent);
  child.AddConst(QStringLiteral("ANSWER"), QStringLiteral("Integer"), ScriptValue::Int(1));
  EXPECT_EQ(child.Registry().FindLocal(QStringLiteral("Answer")), nullptr);
  EXPECT_EQ(child.Find(QStringLiteral("answer"))->value.Display(), QStringLiteral("42"));
  // The standard library's names are reached without AddRTTI, and taken.
  child.AddConst(QStringLiteral("varString"), QStringLiteral("Integer"), ScriptValue::Int(0));
  EXPECT_EQ(child.Find(QStringLiteral("varString"))->value.Display(), QStringLiteral("256"));
  EXPECT_EQ(child.AddClass(QStringLiteral("TX"), QString())->Name(), QStringLiteral("TX"));
  EXPECT_EQ(child.AddClass(QStringLiteral("tx"), QString()), nullptr);

  child.AddEnum(QStringLiteral("TColour"), QStringLiteral("cRed, cGreen, cBlue"));
  child.AddEnumSet(QStringLiteral("TStyles"), QStringLiteral("sBold, sItalic, sUnder"));
  child.AddMethod(
      QStringLiteral("function Twice(i: Integer): Integer"),
      [](ScriptMethodCall& c) { return ScriptValue::Int(c.Arg(0).ToInt32() * 2); },
      QStringLiteral("ctOther"));
  EXPECT_EQ(child.Find(QStringLiteral("Twice"))->method->description, QStringLiteral("Twice"));
  RegisterScriptLanguages();
  child.SetText(QStringLiteral(
      "var c: TColour; s, t: Integer; begin c := cBlue; s := sBold or sUnder; t := Twice(c) end."));
  ASSERT_TRUE(child.Compile()) << child.ErrorMsg().toStdString();
  ASSERT_TRUE(child.Execute()) << child.ErrorMsg().toStdString();
  QHash<QString, QString> vars;
  for (const auto& v : child.Program().Variables()) vars.insert(v.name, v.value.Display());
  EXPECT_EQ(vars.value(QStringLiteral("c")), QStringLiteral("2"));
  EXPECT_EQ(vars.value(QStringLiteral("s")), QStringLiteral("5"));
  EXPECT_EQ(vars.value(QStringLiteral("t")), QStringLiteral("4"));
  // Constants cannot be written.
  child.SetText(QStringLiteral("begin cRed := 3 end."));
  EXPECT_FALSE(child.Compile());
  EXPECT_EQ(child.ErrorMsg(), QStringLiteral("Left side cannot be assigned to"));
}

// Registered functions from every dialect: missing optional arguments get
// their default, by-reference arguments come back, macro functions see the
// text written.
TEST(ScriptRegistryTest, HostCallsInEveryDialect) {
  RegisterScriptLanguages();
  struct Case {
    const char* language;
    const char* program;
  } cases[] = {
      {"PascalScript",
       "var x: Integer; t: String; begin x := 1; Bump(x); Bump(x, 5); t := Src(x +  1) end."},
      {"C++Script", "int x; string t; { x = 1; Bump(x); Bump(x, 5); t = Src(x +  1); }"},
      {"BasicScript", "x = 1\r\nBump(x)\r\nBump(x, 5)\r\nt = Src(x +  1)\r\n"},
      {"JScript", "var x = 1; Bump(x); Bump(x, 5); var t = Src(x +  1);"},
  };
  for (const Case& c : cases) {
    TksScript script;
    int calls = 0;
    script.AddMethod(QStringLiteral("procedure Bump(var i: Integer; incr: Integer = 1)"),
                     [&calls](ScriptMethodCall& call) {
                       ++calls;
                       EXPECT_EQ(call.method_name, QStringLiteral("BUMP"));
                       EXPECT_EQ(call.ArgCount(), 2);
                       call.SetArg(0,
                                   ScriptValue::Int(call.Arg(0).ToInt32() + call.Arg(1).ToInt32()));
                       return ScriptValue();
                     });
    script.AddMethod(QStringLiteral("macrofunction Src(a: Variant): String"),
                     [](ScriptMethodCall& call) { return call.Arg(0); });
    script.SetSyntaxType(QString::fromLatin1(c.language));
    script.SetText(QString::fromLatin1(c.program));
    ASSERT_TRUE(script.Compile()) << c.language << ": " << script.ErrorMsg().toStdString();
    ASSERT_TRUE(script.Execute()) << c.language << ": " << script.ErrorMsg().toStdString();
    QHash<QString, QString> vars;
    for (const auto& v : script.Program().Variables())
      vars.insert(v.name.toLower(), v.value.Display());
    EXPECT_EQ(calls, 2) << c.language;
    EXPECT_EQ(vars.value(QStringLiteral("x")), QStringLiteral("7")) << c.language;
    EXPECT_EQ(vars.value(QStringLiteral("t")), QStringLiteral("'x +  1'")) << c.language;
  }
  // Argument counts are checked when compiling.
  TksScript script;
  script.AddMethod(QStringLiteral("procedure Two(a, b: Integer)"), {});
  for (const auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
           {"begin Two(1) end.", "Not enough actual parameters"},
           {"begin Two(1, 2, 3) end.", "Too many actual parameters"},
           {"begin Two('a', 2) end.", "Incompatible types: 'Integer', 'String'"}}) {
    script.SetText(QString::fromLatin1(text));
    EXPECT_FALSE(script.Compile()) << text;
    EXPECT_EQ(script.ErrorMsg().toStdString(), message) << text;
  }
}

// A script with two registered classes and objects of each.
struct Fixture {
  TksScript script;
  TTestThing* thing = new TTestThing;
  TTestOther other;
  QStringList log;

  Fixture() {
    RegisterScriptLanguages();
    TksClassVariable* root = script.AddClass(QStringLiteral("TObject"), QString());
    root->AddMethod(QStringLiteral("procedure Free"), [this](ScriptMethodCall& call) {
      Persistent* p = call.instance.ObjectPointer();
      log << QStringLiteral("FREE");
      if (p == thing) thing = nullptr;
      delete p;
      return ScriptValue();
    });
    TksClassVariable* component =
        script.AddClass(QStringLiteral("TComponent"), QStringLiteral("TObject"));
    component->AddProperty(QStringLiteral("Owner"), QStringLiteral("Integer"),
                           [this](ScriptMethodCall& call) {
                             log << call.class_name + u' ' + call.method_name;
                             return ScriptValue::Int(-1);
                           });
    component->AddDefaultProperty(
        QStringLiteral("Items"), QStringLiteral("Integer"), QStringLiteral("String"),
        [this](ScriptMethodCall& call) {
          log << call.method_name + u' ' + call.Arg(0).ToString() +
                     (call.ArgCount() > 1 ? u' ' + call.Arg(1).ToString() : QString());
          return ScriptValue::String(QStringLiteral("item") + call.Arg(0).ToString());
        });
    TksClassVariable* cls =
        script.AddClass(TTestThing::StaticMetaClass(), QStringLiteral("TComponent"));
    cls->AddMethod(QStringLiteral("function Describe(prefix: String; n: Integer = 2): String"),
                   [](ScriptMethodCall& call) {
                     auto* t = dynamic_cast<TTestThing*>(call.instance.ObjectPointer());
                     return ScriptValue::String(call.Arg(0).ToString() +
                                                (t ? t->Name() : QString()) +
                                                call.Arg(1).ToString());
                   });
    cls->AddConstructor(QStringLiteral("constructor Create"), [this](ScriptMethodCall& call) {
      log << call.class_name + u' ' + call.method_name +
                 (call.instance.kind() == ScriptValue::Kind::kNull ? QStringLiteral(" nil")
                                                                   : QString());
      return ScriptValue::Object(new TTestThing);
    });
    script.AddClass(TTestOther::StaticMetaClass(), QStringLiteral("TObject"));
    script.AddObject(QStringLiteral("Thing"), thing);
    script.AddObject(QStringLiteral("Other"), &other);
    script.AddMethod(QStringLiteral("procedure Drop"), [this](ScriptMethodCall&) {
      delete thing;
      thing = nullptr;
      return ScriptValue();
    });
  }
  ~Fixture() { delete thing; }

  // Runs `text`; answers the error ("" when none) and fills `vars`.
  QString Run(const QString& text, QHash<QString, QString>* vars = nullptr,
              const QString& language = QStringLiteral("PascalScript")) {
    return ovx::test::RunScript(script, text, language, vars);
  }
};

TEST(ScriptRegistryTest, MembersOfRegisteredClasses) {
  Fixture f;
  QHash<QString, QString> vars;
  ASSERT_EQ(
      f.Run(QStringLiteral("var a: Extended; b: Boolean; d, s: String; o: Integer;\n"
                           "begin Thing.Left := 2.5; a := Thing.Left + 1; Thing.Visible := False;\n"
                           "b := Thing.Visible; d := Thing.Describe('>'); o := Thing.Owner;\n"
                           "s := Thing[3]; Thing.Items[4] := 'q' end."),
            &vars),
      QString());
  EXPECT_EQ(f.thing->Left(), 2.5);
  EXPECT_FALSE(f.thing->Visible());
  EXPECT_EQ(vars.value("a"), "3.5");
  EXPECT_EQ(vars.value("b"), "False");
  EXPECT_EQ(vars.value("d"), "'>thing2'");
  EXPECT_EQ(vars.value("o"), "-1");
  EXPECT_EQ(vars.value("s"), "'item3'");
  EXPECT_EQ(f.log.join(u'|'), "TTestThing OWNER|ITEMS.GET 3|ITEMS.SET 4 q");

  // with, type casts and class references.
  vars.clear();
  ASSERT_EQ(
      f.Run(QStringLiteral(
                "var n: String; l: Extended; v: Variant; c: Variant;\n"
                "begin v := Thing; with Thing do begin Left := 7; n := Describe('<', 0) end;\n"
                "l := TTestThing(v).Left; c := TTestThing end."),
            &vars),
      QString());
  EXPECT_EQ(f.thing->Left(), 7);
  EXPECT_EQ(vars.value("n"), "'<thing0'");
  EXPECT_EQ(vars.value("l"), "7");
  EXPECT_EQ(vars.value("c"), "'TTestThing'");

  // Compile-time errors, texts exact.
  const std::pair<const char*, const char*> errors[] = {
      {"begin Thing.Tag := 1 end.", "compile: Left side cannot be assigned to"},
      {"var s: String; begin s := Other[1] end.",
       "compile: Class TTestOther does not have a default property"},
      {"var s: String; begin s := s.X end.", "compile: Strings doesn't have properties or methods"},
      {"begin Thing.Nope := 1 end.", "compile: Undeclared identifier: 'Nope'"},
      {"var i: Integer; begin with i do i := 1 end.", "compile: Class type required"},
      {"var s: String; begin s := Thing.Items end.", "compile: Index required"},
      {"var b: Boolean; begin b := Thing is 5 end.", "compile: Class type required"},
      {"var t: TTestThing; begin t := Other end.",
       "compile: Incompatible types: 'TTestThing', 'TTestOther'"},
  };
  for (const auto& [text, message] : errors)
    EXPECT_EQ(f.Run(QString::fromLatin1(text)).toStdString(), message) << text;
}

// Object values are handles: made-up numbers and objects that are gone are
// errors (or False for `is`), never a dereference.
TEST(ScriptRegistryTest, HandlesAreCheckedAgainstLiveObjects) {
  Fixture f;
  QHash<QString, QString> vars;
  EXPECT_TRUE(f.Run(QStringLiteral("var v: Variant; begin v := 12345; v.Name := 'x'; end."))
                  .startsWith(QStringLiteral("run: Invalid object reference: 12345")));
  EXPECT_TRUE(f.Run(QStringLiteral("var s: String; begin s := TTestThing(12345).Name end."))
                  .startsWith(QStringLiteral("run: Invalid object reference: 12345")));
  ASSERT_EQ(f.Run(QStringLiteral(
                      "var a, b, c, d: Boolean; begin a := nil is TObject;\n"
                      "b := 5 is TObject; c := Thing is TObject; d := Other is TTestThing end."),
                  &vars),
            QString());
  EXPECT_EQ(vars.value("a"), "False");
  EXPECT_EQ(vars.value("b"), "False");
  EXPECT_EQ(vars.value("c"), "True");
  EXPECT_EQ(vars.value("d"), "False");

  // The integer face: a handle stored in an integer still reaches its
  // object, and compares equal to it.
  vars.clear();
  ASSERT_EQ(f.Run(QStringLiteral(
                      "var i: Integer; v: Variant; s: String; e: Boolean;\n"
                      "begin v := Thing; i := v + 0; s := TTestThing(i).Name; e := v = i end."),
                  &vars),
            QString());
  EXPECT_EQ(vars.value("s"), "'thing'");
  EXPECT_EQ(vars.value("e"), "True");

  // The object goes while the script holds it.
  vars.clear();
  const qint64 handle = ObjectHandle(f.thing);
  ASSERT_EQ(f.Run(QStringLiteral("var keep: Variant; a, b: Boolean; c: String;\n"
                                 "begin keep := Thing; a := keep is TTestThing; Drop;\n"
                                 "b := keep is TTestThing;\n"
                                 "try keep.Left := 1 except c := ExceptionMessage end;\n"
                                 "Thing.Left := 1 end."),
                  &vars)
                .toStdString(),
            QStringLiteral("run: Invalid object reference: %1").arg(handle).toStdString());
  EXPECT_EQ(vars.value("a"), "True");
  EXPECT_EQ(vars.value("b"), "False");
  EXPECT_EQ(vars.value("c"), QStringLiteral("'Invalid object reference: %1'").arg(handle));
  EXPECT_EQ(ObjectFromHandle(handle), nullptr);
}

// Constructors and Free; freeing twice finds no object the second time.
// The standard library meets object references by their integer face, the
// handle's number.
TEST(ScriptRegistryTest, LibraryFunctionsTakeObjects) {
  Fixture f;
  QHash<QString, QString> vars;
  ASSERT_EQ(f.Run(QStringLiteral("var v: Variant; t: Integer; s: String; ok: Boolean;\n"
                                 "begin v := Thing; t := VarType(v); s := VarToStr(v);\n"
                                 "  ok := ValidInt(v) end."),
                  &vars),
            QString());
  const QString number = QString::number(ObjectHandle(f.thing));
  EXPECT_EQ(vars.value(QStringLiteral("t")), QStringLiteral("20"));  // varInt64
  EXPECT_EQ(vars.value(QStringLiteral("s")), u'\'' + number + u'\'');
  EXPECT_EQ(vars.value(QStringLiteral("ok")), QStringLiteral("True"));
}

TEST(ScriptRegistryTest, ConstructAndFree) {
  Fixture f;
  QHash<QString, QString> vars;
  EXPECT_EQ(f.Run(QStringLiteral("var t: TTestThing; l: Extended; begin t := TTestThing.Create;\n"
                                 "t.Left := 3; l := t.Left; t.Free; t.Free end."),
                  &vars)
                .left(31),
            QStringLiteral("run: Invalid object reference: "));
  EXPECT_EQ(vars.value("l"), "3");
  EXPECT_EQ(f.log.join(u'|'), "TTestThing CREATE nil|FREE");
  vars.clear();
  f.log.clear();
  EXPECT_EQ(f.Run(QStringLiteral("var t = new TTestThing; t.Left = 5; var l = t.Left; delete t;"),
                  &vars, QStringLiteral("JScript")),
            QString());
  EXPECT_EQ(vars.value("l"), "5");
  EXPECT_EQ(f.log.join(u'|'), "TTestThing CREATE nil|FREE");
  // A Variant: Free is looked up when it runs, and 1 is no object.
  EXPECT_EQ(f.Run(QStringLiteral("var i = 1; delete i;"), nullptr, QStringLiteral("JScript")),
            QStringLiteral("run: Invalid object reference: 1"));
  EXPECT_EQ(f.Run(QStringLiteral("int i; { delete i; }"), nullptr, QStringLiteral("C++Script")),
            QStringLiteral("compile: Class type required"));
  EXPECT_EQ(
      f.Run(QStringLiteral("{ Variant x = new Nothing; }"), nullptr, QStringLiteral("C++Script")),
      QStringLiteral("compile: Class type required"));
}

class TTestForm : public Persistent {
  OVX_META_CLASS
};

const MetaClass& TTestForm::StaticMetaClass() {
  static const MetaClass meta = ClassBuilder<TTestForm>("TTestForm", nullptr).Build();
  return meta;
}

// A form's owned components are members of its class.
TEST(ScriptRegistryTest, ComponentMembers) {
  Fixture f;
  TTestForm form;
  f.script.AddComponent(QStringLiteral("Form1"), &form, QStringLiteral("TForm"),
                        {{QStringLiteral("Button1"), f.thing}});
  TksClassVariable* cls = f.script.FindClass(QStringLiteral("TTestForm"));
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->Ancestor(), QStringLiteral("TForm"));
  QHash<QString, QString> vars;
  ASSERT_EQ(f.Run(QStringLiteral("var n: String; begin Form1.Button1.Left := 9; "
                                 "with Form1 do n := Button1.Name end."),
                  &vars),
            QString());
  EXPECT_EQ(f.thing->Left(), 9);
  EXPECT_EQ(vars.value("n"), "'thing'");
  EXPECT_EQ(f.Run(QStringLiteral("begin Form1.Button1 := nil end.")),
            QStringLiteral("compile: Left side cannot be assigned to"));
  EXPECT_EQ(f.Run(QStringLiteral("begin Drop; Form1.Button1.Left := 1 end.")).left(31),
            QStringLiteral("run: Invalid object reference: "));
}

// One late-bound designator meeting objects of two classes reaches each
// one's own member.
TEST(ScriptRegistryTest, LateBindingFollowsTheObjectsClass) {
  Fixture f;
  QHash<QString, QString> vars;
  ASSERT_EQ(f.Run(QStringLiteral(
                      "var r: String;\n"
                      "procedure Show(o: Variant); begin r := r + o.Name + ';'; end;\n"
                      "procedure Cap(o: Variant); begin with o do r := r + Name + ';' end;\n"
                      "begin Show(Thing); Show(Other); Show(Thing); Cap(Other); Cap(Thing) end."),
                  &vars),
            QString());
  EXPECT_EQ(vars.value("r"), "'thing;other;thing;other;thing;'");
  // A member the object's class lacks is a run-time error.
  EXPECT_EQ(
      f.Run(QStringLiteral("var v: Variant; s: String; begin v := Thing; s := v.Caption end.")),
      QStringLiteral("run: Undeclared identifier: 'Caption'"));
  EXPECT_EQ(f.Run(QStringLiteral("var v: Variant; s: String; begin v := 'abc'; s := v.X end.")),
            QStringLiteral("run: Strings doesn't have properties or methods"));
  // JScript and BasicScript reach members the same way.
  vars.clear();
  ASSERT_EQ(f.Run(QStringLiteral("Thing.Left = 4; var x = Thing.Left * 2; var n = Other.Name;"),
                  &vars, QStringLiteral("JScript")),
            QString());
  EXPECT_EQ(vars.value("x"), "8");
  EXPECT_EQ(vars.value("n"), "'other'");
}

// Each bracket indexes what the one before gave: a default or index
// property takes the first, the text it answers the next. A member found
// only at run time takes its own index, whatever the default property is.
TEST(ScriptRegistryTest, BracketsAfterADefaultProperty) {
  Fixture f;
  const std::pair<const char*, const char*> cases[] = {
      {"r := Thing[3][2];", "'t'"},
      {"r := Thing.Items[45][6];", "'5'"},
      {"v := Thing; r := v[3][1];", "'i'"},
      {"v := Thing; r := v.Name[2];", "'h'"},
      {"v := Thing; r := v.Items[7];", "'item7'"},
      {"r := Thing[3, 4];", "compile: Too many actual parameters"},
      {"r := Thing[3][9];", "run: Index out of range: 9"},
      {"v := Thing; v.Name[1] := 'x';", "run: Left side cannot be assigned to"},
  };
  for (const auto& [text, expect] : cases) {
    QHash<QString, QString> vars;
    const QString error = f.Run(QStringLiteral("var r, v: Variant; begin ") +
                                    QString::fromLatin1(text) + QStringLiteral(" end."),
                                &vars);
    EXPECT_EQ((error.isEmpty() ? vars.value("r") : error).toStdString(), expect) << text;
  }
  // Written through a Variant, the last bracket sets the default property.
  f.log.clear();
  EXPECT_EQ(f.Run(QStringLiteral("var v: Variant; begin v := Thing; v[5] := 'z' end.")), QString());
  EXPECT_EQ(f.log.join(u'|'), "ITEMS.SET 5 z");
  EXPECT_EQ(f.Run(QStringLiteral("var v: Variant; begin v := Other; v[1] := 'z' end.")),
            QStringLiteral("run: Class TTestOther does not have a default property"));
  EXPECT_EQ(f.Run(QStringLiteral("var v: Variant; begin v := 3; v[1] := 'z' end.")),
            QStringLiteral("run: Array type required"));
}

// A name a class lacks, on an object known while compiling, is the
// component that object owns under that name; the handle is still checked
// when the statement runs.
TEST(ScriptRegistryTest, OwnedComponentsFoundWhileCompiling) {
  Fixture f;
  SetScriptOwnedComponent([&f](Persistent& owner, const QString& name) -> Persistent* {
    return &owner == &f.other && name.compare(QLatin1String("button1"), Qt::CaseInsensitive) == 0
               ? f.thing
               : nullptr;
  });
  QHash<QString, QString> vars;
  EXPECT_EQ(f.Run(QStringLiteral("var n: String; begin Other.BUTTON1.Left := 6; "
                                 "n := Other.Button1.Describe('>') end."),
                  &vars),
            QString());
  EXPECT_EQ(f.thing->Left(), 6);
  EXPECT_EQ(vars.value("n"), "'>thing2'");
  // Typed by the component's class: its members are checked while compiling.
  EXPECT_EQ(f.Run(QStringLiteral("begin Other.Button1.Nope := 1 end.")),
            QStringLiteral("compile: Undeclared identifier: 'Nope'"));
  EXPECT_EQ(f.Run(QStringLiteral("begin Other.Button2.Left := 1 end.")),
            QStringLiteral("compile: Undeclared identifier: 'Button2'"));
  // Only a live object is asked: a Variant is not known while compiling.
  EXPECT_EQ(
      f.Run(QStringLiteral("var v: Variant; begin v := Other; v.Button1.Left := 1 end.")).left(25),
      QStringLiteral("run: Undeclared identifie"));
  EXPECT_EQ(f.Run(QStringLiteral("begin Drop; Other.Button1.Left := 1 end.")).left(31),
            QStringLiteral("run: Invalid object reference: "));
  SetScriptOwnedComponent({});
}

// Arrays reach host functions shared, not copied; what a host keeps of
// one stays as it was when the script later changes its own.
TEST(ScriptRegistryTest, ArraysReachHostFunctionsShared) {
  RegisterScriptLanguages();
  TksScript script;
  ScriptValue kept;
  script.AddMethod(QStringLiteral("procedure Keep(a: Variant)"), [&](ScriptMethodCall& call) {
    kept = call.Arg(0);
    return ScriptValue();
  });
  script.AddMethod(QStringLiteral("function SameAsKept(a: Array): Boolean"),
                   [&](ScriptMethodCall& call) {
                     return ScriptValue::Bool(call.Arg(0).array() == kept.array());
                   });
  QHash<QString, QString> vars;
  ASSERT_EQ(ovx::test::RunScript(script,
                                 QStringLiteral("var a, b: Variant; s1, s2, s3: Boolean;\n"
                                                "begin a := VarArrayCreate([0, 2], varVariant);\n"
                                                "a[0] := 1; Keep(a); s1 := SameAsKept(a);\n"
                                                "a[0] := 2; s2 := SameAsKept(a); b := a;\n"
                                                "Keep(b); b[1] := 5; s3 := SameAsKept(a) end."),
                                 QStringLiteral("PascalScript"), &vars),
            QString());
  EXPECT_EQ(vars.value("s1"), "True");
  EXPECT_EQ(vars.value("s2"), "False");
  EXPECT_EQ(vars.value("s3"), "False");
  EXPECT_EQ(vars.value("a"), "[2, Empty, Empty]");
  EXPECT_EQ(vars.value("b"), "[2, 5, Empty]");
  EXPECT_EQ(kept.Display(), "[2, Empty, Empty]");
}

class TTestButton : public Persistent {
  OVX_META_CLASS
 public:
  ScriptEventHandler on_click, on_key;
};

const MetaClass& TTestButton::StaticMetaClass() {
  static const MetaClass meta = ClassBuilder<TTestButton>("TTestButton", nullptr).Build();
  return meta;
}

// Events of host objects run script procedures; a handler never outlives
// the assignment or the script that made it.
TEST(ScriptRegistryTest, EventBridges) {
  RegisterScriptLanguages();
  auto button = std::make_unique<TTestButton>();
  std::vector<ScriptEventHandler> given;  // every handler the host was given
  {
    TksScript script;
    TksClassVariable* cls = script.AddClass(TTestButton::StaticMetaClass(), QString());
    cls->AddEvent(QStringLiteral("OnClick"), ScriptEventKind::kNotify,
                  [&given](Persistent& o, ScriptEventHandler h) {
                    given.push_back(h);
                    static_cast<TTestButton&>(o).on_click = std::move(h);
                  });
    cls->AddEvent(QStringLiteral("OnKeyPress"), ScriptEventKind::kKeyPress,
                  [](Persistent& o, ScriptEventHandler h) {
                    static_cast<TTestButton&>(o).on_key = std::move(h);
                  });
    script.AddObject(QStringLiteral("Button"), button.get());
    script.SetText(QStringLiteral(
        "var n: Integer; b: Boolean; e: String;\n"
        "procedure Clicked(Sender: Variant); begin n := n + 1; b := Sender is TTestButton end;\n"
        "procedure Other(Sender: Variant); begin n := n + 100 end;\n"
        "procedure Key(Sender: Variant; var Key: Char); begin if Key = 'a' then Key := 'b' else "
        "Key := '' end;\n"
        "begin Button.OnClick := @Other; Button.OnClick := 'Clicked'; Button.OnKeyPress := @Key;\n"
        "e := Button.OnClick end."));
    ASSERT_TRUE(script.Compile()) << script.ErrorMsg().toStdString();
    ASSERT_TRUE(script.Execute()) << script.ErrorMsg().toStdString();
    ASSERT_EQ(given.size(), 2u);
    std::vector<ScriptValue> args{ScriptValue::Object(button.get())};
    button->on_click(args);
    given[0](args);  // the replaced handler does nothing
    std::vector<ScriptValue> key{ScriptValue::Object(button.get()), ScriptValue::Int('a')};
    button->on_key(key);
    EXPECT_EQ(key[1].ToInt32(), 'b');
    key[1] = ScriptValue::Int('x');
    button->on_key(key);
    EXPECT_EQ(key[1].ToInt32(), 0);  // emptied by the script: no character
    QHash<QString, QString> vars;
    for (const auto& v : script.Program().Variables()) vars.insert(v.name, v.value.Display());
    EXPECT_EQ(vars.value("n"), "1");
    EXPECT_EQ(vars.value("b"), "True");
    EXPECT_EQ(vars.value("e"), "''");

    script.SetText(QStringLiteral("begin Button.OnClick := 'Nope' end."));
    ASSERT_TRUE(script.Compile());
    EXPECT_FALSE(script.Execute());
    EXPECT_EQ(script.ErrorMsg(), QStringLiteral("Event handler must be a procedure"));
    script.SetText(QStringLiteral("var x: Variant; begin x := @Button end."));
    EXPECT_FALSE(script.Compile());
    EXPECT_EQ(script.ErrorMsg(), QStringLiteral("Variable required"));
  }
  // The script is gone: its handlers were taken back, and a copy the host
  // kept does nothing.
  EXPECT_FALSE(button->on_click);
  EXPECT_FALSE(button->on_key);
  std::vector<ScriptValue> args{ScriptValue::Object(button.get())};
  given[1](args);
}

}  // namespace
}  // namespace ovx
