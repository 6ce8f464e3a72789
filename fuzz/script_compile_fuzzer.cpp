// Fuzz target for the script parser: the first byte picks the dialect, the
// rest is the source (UTF-8). Units are answered from the same input, so
// include clauses and the language directive are reached too, and some
// units are offered as ready-made syntax trees.
//
// Beyond "no crash", a tree the parser built must be written and read back
// by the compact XML to the same text. What compiles also runs, stopped
// after 10,000 statements, against a host that registers a class with
// every kind of member, objects of it (one of which the script can destroy
// while holding it) and functions with by-reference, default and macro
// parameters, and a Currency and a Date variable. The platform modules
// (classes, graphics, forms, ini files) are there too; their files live in
// memory, one set per input, so streams and ini files read back what the
// same script wrote. fuzz/script.dict holds the names.
#include "base/class_builder.h"
#include "base/error.h"
#include "base/stream.h"
#include "script/classes_module.h"
#include "script/forms_module.h"
#include "script/graphics_module.h"
#include "script/ini_module.h"
#include "script/script.h"
#include "script/script_languages.h"
#include "script/xml.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

class TFuzzThing : public ovx::Persistent {
  OVX_META_CLASS
 public:
  double Left() const { return left_; }
  void SetLeft(double v) { left_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  QString Name() const { return name_; }
  void SetName(const QString& v) { name_ = v; }
  int Tag() const { return 7; }
  ovx::ScriptEventHandler on_click;

 private:
  double left_ = 0;
  bool visible_ = true;
  QString name_;
};

const ovx::MetaClass& TFuzzThing::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TFuzzThing;
    ovx::ClassBuilder<C> b("TFuzzThing", nullptr);
    b.String("Name", &C::Name, &C::SetName);
    b.Float("Left", &C::Left, &C::SetLeft);
    b.Bool("Visible", &C::Visible, &C::SetVisible);
    b.Integer("Tag", &C::Tag, nullptr);
    return b.Build();
  }();
  return meta;
}

void Register(TksScript& script, TFuzzThing*& dropped, TFuzzThing& kept) {
  using ovx::ScriptMethodCall;
  using ovx::ScriptValue;
  script.AddClass(QStringLiteral("TObject"), QString());
  TksClassVariable* cls = script.AddClass(TFuzzThing::StaticMetaClass(), QStringLiteral("TObject"));
  cls->AddMethod(
      QStringLiteral("function Twice(s: String; n: Integer = 2): String"),
      [](ScriptMethodCall& c) { return ScriptValue::String(c.Arg(0).ToString().repeated(2)); });
  cls->AddDefaultProperty(QStringLiteral("Items"), QStringLiteral("Integer"),
                          QStringLiteral("Variant"),
                          [](ScriptMethodCall& c) { return c.Arg(c.ArgCount() - 1); });
  cls->AddProperty(
      QStringLiteral("Count"), QStringLiteral("Integer"),
      [](ScriptMethodCall&) { return ScriptValue::Int(3); },
      [](ScriptMethodCall&, const ScriptValue& v) { (void)v.ToInt32(); });
  cls->AddEvent(QStringLiteral("OnClick"), ovx::ScriptEventKind::kNotify,
                [](ovx::Persistent& o, ovx::ScriptEventHandler h) {
                  static_cast<TFuzzThing&>(o).on_click = std::move(h);
                });
  script.AddObject(QStringLiteral("Thing"), dropped);
  script.AddObject(QStringLiteral("Kept"), &kept);
  script.AddMethod(QStringLiteral("procedure Drop"), [&dropped](ScriptMethodCall&) {
    delete dropped;
    dropped = nullptr;
    return ScriptValue();
  });
  script.AddMethod(
      QStringLiteral("procedure Bump(var i: Integer; incr: Integer = 1)"), [](ScriptMethodCall& c) {
        c.SetArg(0, ScriptValue::Integer(qint64{c.Arg(0).ToInt32()} + c.Arg(1).ToInt32()));
        return ScriptValue();
      });
  script.AddMethod(QStringLiteral("macrofunction Src(a: Variant): String"),
                   [](ScriptMethodCall& c) { return c.Arg(0); });
  script.AddEnum(QStringLiteral("TFuzzKind"), QStringLiteral("fkOne, fkTwo, fkThree"));
  script.AddVariable(QStringLiteral("Money"), QStringLiteral("Variant"),
                     ScriptValue::Currency(12.5));
  script.AddVariable(QStringLiteral("Day"), QStringLiteral("Variant"), ScriptValue::Date(36526.5));
}

// The files of the current input; a name no write made is missing.
std::map<QString, QByteArray>& Files() {
  static std::map<QString, QByteArray> files;
  return files;
}

void RegisterModules() {
  ovx::RegisterScriptLanguages();
  // In the order the hosts register them.
  ovx::RegisterClassesModule();
  ovx::RegisterGraphicsModule();
  ovx::RegisterFormsModule();
  ovx::RegisterIniModule();
  ovx::SetScriptFiles(
      {[](const QString& path, qint64 max_bytes) {
         const auto it = Files().find(path);
         if (it == Files().end())
           throw ovx::Error(QString(), QStringLiteral("File not found: %s"), {path});
         if (it->second.size() > max_bytes)
           throw ovx::Error(QString(), QStringLiteral("File too large: %s"), {path});
         return it->second;
       },
       [](const QString& path, const QByteArray& bytes) {
         // A failing disk, now and then, so the callers' error paths run.
         if (path.endsWith(QLatin1String(".ro")))
           throw ovx::Error(QString(), QStringLiteral("Cannot write %s"), {path});
         qint64 total = bytes.size();
         for (const auto& [name, held] : Files())
           if (name != path) total += held.size();
         // A small disk, so a writing loop ends in an error, not in the
         // fuzzer's memory limit.
         if (total > (qint64{16} << 20))
           throw ovx::Error(QString(), QStringLiteral("Disk full writing %s"), {path});
         Files()[path] = bytes;
       }});
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "script_compile_fuzzer: check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (RegisterModules(), true);
  (void)registered;
  if (size == 0) return 0;
  Files().clear();
  static const char* const kDialects[] = {"PascalScript", "C++Script", "BasicScript", "JScript"};
  const QString source =
      QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
  TFuzzThing* dropped = new TFuzzThing;
  TFuzzThing kept;
  struct Free {
    TFuzzThing*& p;
    ~Free() { delete p; }
  } free_dropped{dropped};
  TksScript script;
  Register(script, dropped, kept);
  script.SetSyntaxType(QString::fromLatin1(kDialects[data[0] % 4]));
  script.SetExtendedCharset(data[0] & 4);
  script.SetText(source);
  script.SetOnGetUnit([&](TksScript&, const QString& unit, QString& text) {
    // Every unit is the script itself; the uses list stops the cycle.
    if (unit.size() % 2 == 0) text = source;
  });
  // Some units are answered as ready-made trees: the input again, which is
  // rarely a well-formed one.
  script.SetOnGetILUnit([&](TksScript&, const QString& unit, QString& text) {
    if (unit.size() % 3 == 0) text = source;
  });
  ovx::MemoryStream out;
  if (!script.GetILCode(out)) {
    Check(!script.ErrorMsg().isEmpty(), "a failure has a message");
    Check(out.Size() == 0, "a failure writes nothing");
    return 0;
  }
  TksXMLDocument tree;
  tree.SetAutoIndent(true);
  ovx::MemoryStream in(out.Data());
  tree.LoadFromStream(in);
  Check(tree.SaveToString().toUtf8() == out.Data(), "the tree reads back the same");
  if (script.Compile()) {
    int lines = 0;
    script.SetOnRunLine([&](const QString&) {
      if (++lines >= 10000) script.Terminate();
    });
    if (!script.Execute()) Check(!script.ErrorMsg().isEmpty(), "a failed run has a message");
    // Events the run attached fire once, then the handler must not outlive
    // the script.
    std::vector<ovx::ScriptValue> args{ovx::ScriptValue::Object(&kept)};
    if (kept.on_click) {
      try {
        kept.on_click(args);
      } catch (const ovx::ScriptError&) {
      }
    }
  } else {
    Check(!script.ErrorMsg().isEmpty(), "a failed compile has a message");
  }
  return 0;
}
