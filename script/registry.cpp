#include "script/registry.h"

#include "base/number_format.h"
#include "base/object_handle.h"
#include "script/parser.h"
#include "script/script.h"
#include "script/sys_functions.h"

#include <algorithm>

namespace ovx {
namespace {

QString Key(const QString& name) { return name.toLower(); }

}  // namespace

bool BuiltInScriptType(const QString& name, ScriptVarType* type) {
  using VT = ScriptVarType;
  static const QHash<QString, VT> types = {
      {"byte", VT::kInt},          {"word", VT::kInt},        {"integer", VT::kInt},
      {"longint", VT::kInt},       {"cardinal", VT::kInt},    {"tcolor", VT::kInt},
      {"talphacolor", VT::kInt},   {"smallint", VT::kInt},    {"shortint", VT::kInt},
      {"longword", VT::kInt},      {"int64", VT::kInt64},     {"boolean", VT::kBool},
      {"bool", VT::kBool},         {"real", VT::kFloat},      {"single", VT::kFloat},
      {"double", VT::kFloat},      {"extended", VT::kFloat},  {"currency", VT::kFloat},
      {"tdate", VT::kFloat},       {"ttime", VT::kFloat},     {"tdatetime", VT::kFloat},
      {"char", VT::kChar},         {"string", VT::kString},   {"widestring", VT::kString},
      {"ansistring", VT::kString}, {"variant", VT::kVariant}, {"olevariant", VT::kVariant},
      {"pointer", VT::kVariant},   {"array", VT::kArray},     {"constructor", VT::kConstructor}};
  auto it = types.constFind(Key(name));
  if (it == types.constEnd()) return false;
  if (type) *type = *it;
  return true;
}

namespace {

ScriptVarType ResolveDeclType(const QString& name, const ScriptDeclarationContext& context) {
  ScriptVarType t;
  if (context.find_type && context.find_type(name, &t)) return t;
  if (BuiltInScriptType(name, &t)) return t;
  // An unregistered name is taken for a class.
  return ScriptVarType::kClass;
}

}  // namespace

ScriptDeclaration ParseScriptDeclaration(const QString& text,
                                         const ScriptDeclarationContext& context, bool on_class) {
  ScriptDeclaration d;
  TksParser p;
  p.SetText(text);
  QString word = p.GetIdent();
  QString lower = word.toLower();
  if (lower.startsWith(QLatin1String("macro"))) {
    d.is_macro = true;
    lower = lower.mid(5);
  }
  bool constructor = false;
  if (lower == u"function") {
    d.is_function = true;
  } else if (lower == u"constructor") {
    constructor = true;
    d.is_function = true;
  }
  d.name = p.GetIdent();
  p.SkipSpaces();
  if (p.Position() <= p.Size() && p.Text()[p.Position() - 1] == u'(') {
    p.GetChar();
    // Groups until ')' or the end; each group: [var|const] names : type [= default]
    for (int guard = 0; guard < 1000 && p.Position() <= p.Size(); ++guard) {
      p.SkipSpaces();
      if (p.Position() > p.Size()) break;
      const QChar c = p.Text()[p.Position() - 1];
      if (c == u')') {
        p.GetChar();
        break;
      }
      if (c == u';') {
        p.GetChar();
        continue;
      }
      bool by_ref = false;
      QStringList names;
      QString w = p.GetIdent();
      if (w.isEmpty()) {
        p.SetPosition(p.Position() + 1);  // something unexpected: step over it
        continue;
      }
      if (w.compare(QLatin1String("var"), Qt::CaseInsensitive) == 0) {
        by_ref = true;
        w = p.GetIdent();
      } else if (w.compare(QLatin1String("const"), Qt::CaseInsensitive) == 0) {
        w = p.GetIdent();
      }
      if (!w.isEmpty()) names << w;
      for (;;) {
        p.SkipSpaces();
        if (p.Position() > p.Size() || p.Text()[p.Position() - 1] != u',') break;
        p.GetChar();
        const QString n = p.GetIdent();
        if (n.isEmpty()) break;
        names << n;
      }
      QString type_name = QStringLiteral("Variant");
      p.SkipSpaces();
      if (p.Position() <= p.Size() && p.Text()[p.Position() - 1] == u':') {
        p.GetChar();
        const QString t = p.GetIdent();
        if (!t.isEmpty()) type_name = t;
      }
      bool optional = false;
      ScriptValue def = ScriptValue::Null();
      p.SkipSpaces();
      if (p.Position() <= p.Size() && p.Text()[p.Position() - 1] == u'=') {
        p.GetChar();
        optional = true;
        p.SkipSpaces();
        const QChar first = p.Position() <= p.Size() ? p.Text()[p.Position() - 1] : QChar();
        bool negative = false;
        if (first == u'-') {
          negative = true;
          p.GetChar();
        }
        const QString number = p.GetNumber();
        if (!number.isEmpty()) {
          if (auto i = ParseInt(number))
            def = ScriptValue::Integer(negative ? -*i : *i);
          else if (auto f = ParseFloat(number))
            def = ScriptValue::Float(negative ? -*f : *f);
        } else if (first == u'\'') {
          QString s = p.GetString();
          if (s.size() >= 2 && s.startsWith(u'\'') && s.endsWith(u'\''))
            s = s.mid(1, s.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
          def = ScriptValue::String(s);
        } else {
          const QString name = p.GetIdent();
          ScriptValue v;
          if (!name.isEmpty() && context.find_const && context.find_const(name, &v)) def = v;
          // Anything else leaves Null; skip to the end of the group.
          while (p.Position() <= p.Size()) {
            const QChar ch = p.Text()[p.Position() - 1];
            if (ch == u';' || ch == u')') break;
            p.SetPosition(p.Position() + 1);
          }
        }
      }
      const ScriptVarType type = ResolveDeclType(type_name, context);
      for (const QString& n : names) {
        ScriptParam param;
        param.name = n;
        param.type_name = type_name;
        param.type = type;
        param.by_ref = by_ref;
        param.optional = optional;
        param.default_value = def;
        d.params.push_back(std::move(param));
      }
    }
  }
  if (constructor && on_class) {
    d.result_type_name = QStringLiteral("Constructor");
    d.result_type = ScriptVarType::kConstructor;
  } else if (d.is_function) {
    // The word after the last ':' of the text.
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon >= 0) {
      TksParser r;
      r.SetText(text.mid(colon + 1));
      d.result_type_name = r.GetIdent();
    }
    if (d.result_type_name.isEmpty()) d.result_type_name = QStringLiteral("Variant");
    d.result_type = ResolveDeclType(d.result_type_name, context);
  }
  return d;
}

// ---- registry -----------------------------------------------------------------

ScriptItem* ScriptRegistry::FindLocal(const QString& name) const {
  const QString key = Key(name);
  if (ScriptItem* item = by_name_.value(key, nullptr)) return item;
  if (!on_miss_ || asking_ || misses_.contains(key)) return nullptr;
  struct Asking {
    bool& flag;
    ~Asking() { flag = false; }
  } asking{asking_};
  asking_ = true;
  // The handler adds through a registry it holds as non-const: this one.
  ScriptItem* item = on_miss_(name);
  if (!item) misses_.insert(key);
  return item;
}

void ScriptRegistry::SetMissHandler(MissHandler handler) {
  on_miss_ = std::move(handler);
  misses_.clear();
}

ScriptItem* ScriptRegistry::Add(std::unique_ptr<ScriptItem> item) {
  const QString key = Key(item->name);
  if (ScriptItem* old = by_name_.value(key, nullptr)) return old;
  ScriptItem* kept = item.get();
  items_.push_back(std::move(item));
  by_name_.insert(key, kept);
  return kept;
}

void ScriptRegistry::ClearHostItems() {
  std::vector<std::unique_ptr<ScriptItem>> kept;
  by_name_.clear();
  misses_.clear();
  for (auto& item : items_) {
    if (item->added_by != 1) continue;
    by_name_.insert(Key(item->name), item.get());
    kept.push_back(std::move(item));
  }
  items_ = std::move(kept);
}

ScriptItem* ScriptScope::Find(const QString& name) const {
  for (const ScriptRegistry* r : chain)
    if (ScriptItem* item = r->FindLocal(name)) return item;
  return nullptr;
}

TksClassVariable* ScriptScope::FindClass(const QString& name) const {
  for (const ScriptRegistry* r : chain) {
    ScriptItem* item = r->FindLocal(name);
    if (item && item->kind == ScriptItem::Kind::kClass) return item->cls.get();
  }
  return nullptr;
}

TksClassVariable* ScriptScope::ClassOf(const MetaClass& meta) const {
  for (const MetaClass* m = &meta; m; m = m->Parent())
    if (TksClassVariable* cls = FindClass(m->ClassName())) return cls;
  return nullptr;
}

namespace {
// Ancestor chains are host input too; a loop must not hang a lookup.
constexpr int kMaxAncestors = 64;
}  // namespace

const ScriptMember* ScriptScope::FindMember(const TksClassVariable* cls,
                                            const QString& name) const {
  for (int i = 0; cls && i < kMaxAncestors; ++i) {
    if (const ScriptMember* m = cls->FindOwn(name)) return m;
    cls = cls->Ancestor().isEmpty() ? nullptr : FindClass(cls->Ancestor());
  }
  return nullptr;
}

const ScriptMember* ScriptScope::DefaultProperty(const TksClassVariable* cls) const {
  for (int i = 0; cls && i < kMaxAncestors; ++i) {
    if (const ScriptMember* m = cls->DefProperty()) return m;
    cls = cls->Ancestor().isEmpty() ? nullptr : FindClass(cls->Ancestor());
  }
  return nullptr;
}

bool ScriptScope::InheritsFrom(const TksClassVariable* cls, const TksClassVariable* base) const {
  for (int i = 0; cls && i < kMaxAncestors; ++i) {
    if (cls == base) return true;
    if (base->ClassRef() && cls->ClassRef() && cls->ClassRef()->InheritsFrom(*base->ClassRef()))
      return true;
    cls = cls->Ancestor().isEmpty() ? nullptr : FindClass(cls->Ancestor());
  }
  return false;
}

// ---- owned components -----------------------------------------------------------

namespace {

struct OwnedComponentHook {
  std::mutex lock;
  ScriptOwnedComponent find;
};

OwnedComponentHook& OwnedHook() {
  static OwnedComponentHook hook;
  return hook;
}

}  // namespace

void SetScriptOwnedComponent(ScriptOwnedComponent find) {
  OwnedComponentHook& hook = OwnedHook();
  std::lock_guard guard(hook.lock);
  hook.find = std::move(find);
}

Persistent* FindOwnedComponent(Persistent& owner, const QString& name) {
  ScriptOwnedComponent find;
  {
    OwnedComponentHook& hook = OwnedHook();
    std::lock_guard guard(hook.lock);
    find = hook.find;
  }
  return find && !name.isEmpty() ? find(owner, name) : nullptr;
}

// ---- RTTI modules ------------------------------------------------------------

namespace {

struct ModuleList {
  std::mutex lock;
  std::vector<ScriptRttiModule> modules{RegisterSysFunctions};
};

ModuleList& Modules() {
  static ModuleList list;
  return list;
}

}  // namespace

void AddScriptRttiModule(ScriptRttiModule module) {
  ModuleList& list = Modules();
  std::lock_guard guard(list.lock);
  list.modules.push_back(std::move(module));
}

std::vector<ScriptRttiModule> ScriptRttiModules() {
  ModuleList& list = Modules();
  std::lock_guard guard(list.lock);
  return list.modules;
}

void RegisterSysFunctions(TksScript& script) {
  using VT = ScriptVarType;
  for (const char* name :
       {"Byte", "Word", "Integer", "Longint", "Cardinal", "TColor", "TAlphaColor"})
    script.AddType(QString::fromLatin1(name), VT::kInt);
  script.AddType(QStringLiteral("Boolean"), VT::kBool);
  for (const char* name :
       {"Real", "Single", "Double", "Extended", "Currency", "TDate", "TTime", "TDateTime"})
    script.AddType(QString::fromLatin1(name), VT::kFloat);
  script.AddType(QStringLiteral("Char"), VT::kChar);
  script.AddType(QStringLiteral("String"), VT::kString);
  script.AddType(QStringLiteral("Variant"), VT::kVariant);
  script.AddType(QStringLiteral("Pointer"), VT::kVariant);
  script.AddType(QStringLiteral("Array"), VT::kArray);
  script.AddType(QStringLiteral("Constructor"), VT::kConstructor);

  script.AddConst(QStringLiteral("True"), QStringLiteral("Boolean"), ScriptValue::Bool(true));
  script.AddConst(QStringLiteral("False"), QStringLiteral("Boolean"), ScriptValue::Bool(false));
  script.AddConst(QStringLiteral("nil"), QStringLiteral("Variant"), ScriptValue::Int(0));
  script.AddConst(QStringLiteral("Null"), QStringLiteral("Variant"), ScriptValue::Null());
  // The codes themselves live beside VarType and VarArrayCreate.
  static const std::pair<const char*, ScriptVarCode> var_codes[] = {
      {"varEmpty", kVarEmpty},       {"varNull", kVarNull},         {"varSmallint", kVarSmallint},
      {"varInteger", kVarInteger},   {"varSingle", kVarSingle},     {"varDouble", kVarDouble},
      {"varCurrency", kVarCurrency}, {"varDate", kVarDate},         {"varOleStr", kVarOleStr},
      {"varDispatch", kVarDispatch}, {"varError", kVarError},       {"varBoolean", kVarBoolean},
      {"varVariant", kVarVariant},   {"varUnknown", kVarUnknown},   {"varShortInt", kVarShortInt},
      {"varByte", kVarByte},         {"varWord", kVarWord},         {"varLongWord", kVarLongWord},
      {"varInt64", kVarInt64},       {"varStrArg", kVarStrArg},     {"varString", kVarString},
      {"varAny", kVarAny},           {"varTypeMask", kVarTypeMask}, {"varArray", kVarArray},
      {"varByRef", kVarByRef}};
  for (const auto& [name, code] : var_codes)
    script.AddConst(QString::fromLatin1(name), QStringLiteral("Integer"), ScriptValue::Int(code));
  // The interpreter keeps the exception's class and message per program;
  // these entries make the names known to hosts and the designer.
  script.AddVariable(QStringLiteral("ExceptionClassName"), QStringLiteral("String"),
                     ScriptValue::String(QString()));
  script.AddVariable(QStringLiteral("ExceptionMessage"), QStringLiteral("String"),
                     ScriptValue::String(QString()));
  // Character access of strings and element access of Variant arrays are
  // built into the interpreter; the names are taken so that no host
  // registers something else under them.
  script.AddMethod(QStringLiteral("function __StringHelper(i: Integer): Char"), {});
  script.AddMethod(
      QStringLiteral("function __ArrayHelper(i: Integer; j: Integer = 0; k: Integer = 0): Variant"),
      {});

  // ---- the standard functions ----
  // Registered here, after the types and constants their declarations
  // name (defaults such as "= varVariant" resolve through them), one
  // AddMethod per entry of ovx::SysFunctions() (script/sys_functions.h),
  // in its order.
  // The dialogs functions name these types; unregistered they would
  // resolve as classes. Values as ScriptDialogs documents them.
  script.AddEnum(QStringLiteral("TMsgDlgType"),
                 QStringLiteral("mtWarning, mtError, mtInformation, mtConfirmation, mtCustom"));
  script.AddEnumSet(QStringLiteral("TMsgDlgButtons"),
                    QStringLiteral("mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, "
                                   "mbAll, mbNoToAll, mbYesToAll, mbHelp, mbClose"));
  for (const SysFunction& f : SysFunctions())
    script.AddMethod(f.declaration, f.handler, f.category);
}

}  // namespace ovx

// ---- TksClassVariable ------------------------------------------------------------

TksClassVariable::TksClassVariable(QString name, const ovx::MetaClass* meta, QString ancestor)
    : name_(std::move(name)), meta_(meta), ancestor_(std::move(ancestor)) {}

const ovx::ScriptMember* TksClassVariable::FindOwn(const QString& name) const {
  return by_name_.value(name.toLower(), nullptr);
}

ovx::ScriptMember* TksClassVariable::AddMember(std::unique_ptr<ovx::ScriptMember> member) {
  const QString key = member->name.toLower();
  if (ovx::ScriptMember* old = by_name_.value(key, nullptr)) return old;
  ovx::ScriptMember* kept = member.get();
  members_.push_back(std::move(member));
  by_name_.insert(key, kept);
  return kept;
}

ovx::ScriptVarType TksClassVariable::TypeOf(const QString& type_name) const {
  ovx::ScriptVarType t;
  if (context_.find_type && context_.find_type(type_name, &t)) return t;
  if (ovx::BuiltInScriptType(type_name, &t)) return t;
  return ovx::ScriptVarType::kClass;
}

void TksClassVariable::AddPublished(const ovx::PropertyInfo& info) {
  using K = ovx::PropertyKind;
  using VT = ovx::ScriptVarType;
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kProperty;
  m->name = info.name;
  m->type_name = info.type_name;
  m->published = &info;
  switch (info.kind) {
    case K::kMethod:
      return;
    case K::kChar:
      m->type = VT::kChar;
      break;
    case K::kEnumeration:
      if (info.type_name.compare(QLatin1String("Boolean"), Qt::CaseInsensitive) == 0 ||
          info.type_name.compare(QLatin1String("bool"), Qt::CaseInsensitive) == 0) {
        m->type = VT::kBool;
      } else {
        m->type = VT::kEnum;
      }
      break;
    case K::kFloat:
      m->type = VT::kFloat;
      break;
    case K::kString:
      m->type = VT::kString;
      break;
    case K::kSet:
      m->type = VT::kEnum;
      break;
    case K::kObject:
    case K::kReference:
    case K::kStringList:
    case K::kWideStringList:
      m->type = VT::kClass;
      break;
    case K::kVariant:
      m->type = VT::kVariant;
      break;
    case K::kInteger:
    case K::kInt64:
      m->type = VT::kInt;
      break;
  }
  AddMember(std::move(m));
}

void TksClassVariable::AddConstructor(const QString& declaration,
                                      ovx::ScriptMethodHandler handler) {
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kMethod;
  m->method = std::make_unique<ovx::ScriptMethod>();
  m->method->decl = ovx::ParseScriptDeclaration(declaration, context_, true);
  m->method->syntax = declaration;
  m->method->handler = std::move(handler);
  m->name = m->method->decl.name;
  m->type = m->method->decl.result_type;
  m->type_name = name_;
  AddMember(std::move(m));
}

void TksClassVariable::AddMethod(const QString& declaration, ovx::ScriptMethodHandler handler) {
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kMethod;
  m->method = std::make_unique<ovx::ScriptMethod>();
  m->method->decl = ovx::ParseScriptDeclaration(declaration, context_, true);
  m->method->syntax = declaration;
  m->method->handler = std::move(handler);
  m->name = m->method->decl.name;
  m->type = m->method->decl.result_type;
  m->type_name = m->method->decl.result_type_name;
  AddMember(std::move(m));
}

void TksClassVariable::AddProperty(const QString& name, const QString& type_name,
                                   ovx::ScriptPropertyGetter getter,
                                   ovx::ScriptPropertySetter setter) {
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kProperty;
  m->name = name;
  m->type_name = type_name;
  m->type = TypeOf(type_name);
  m->getter = std::move(getter);
  m->setter = std::move(setter);
  AddMember(std::move(m));
}

void TksClassVariable::ReplaceProperty(const QString& name, const QString& type_name,
                                       ovx::ScriptPropertyGetter getter,
                                       ovx::ScriptPropertySetter setter) {
  const QString key = name.toLower();
  bool was_default = false;
  if (ovx::ScriptMember* old = by_name_.value(key, nullptr)) {
    was_default = old == def_property_;
    by_name_.remove(key);
    members_.erase(std::find_if(members_.begin(), members_.end(),
                                [old](const auto& m) { return m.get() == old; }));
  }
  AddProperty(name, type_name, std::move(getter), std::move(setter));
  if (was_default) def_property_ = FindOwn(name);
}

void TksClassVariable::AddIndexProperty(const QString& name, const QString& param_types,
                                        const QString& type_name, ovx::ScriptMethodHandler handler,
                                        bool read_only) {
  QString declaration = QStringLiteral("function ") + name + u'(';
  const QStringList types = param_types.split(u',', Qt::SkipEmptyParts);
  for (int i = 0; i < types.size(); ++i) {
    if (i) declaration += QStringLiteral("; ");
    declaration += QStringLiteral("p%1: %2").arg(i).arg(types[i].trimmed());
  }
  declaration += QStringLiteral("): ") + type_name;
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kMethod;
  m->method = std::make_unique<ovx::ScriptMethod>();
  m->method->decl = ovx::ParseScriptDeclaration(declaration, context_, true);
  m->method->syntax = declaration;
  m->method->handler = std::move(handler);
  m->method->index_property = true;
  m->method->read_only = read_only;
  m->name = name;
  m->type = m->method->decl.result_type;
  m->type_name = type_name;
  AddMember(std::move(m));
}

void TksClassVariable::AddDefaultProperty(const QString& name, const QString& param_types,
                                          const QString& type_name,
                                          ovx::ScriptMethodHandler handler, bool read_only) {
  AddIndexProperty(name, param_types, type_name, std::move(handler), read_only);
  def_property_ = FindOwn(name);
}

void TksClassVariable::AddEvent(const QString& name, ovx::ScriptEventKind kind,
                                ovx::ScriptEventAttach attach) {
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kEvent;
  m->name = name;
  m->type = ovx::ScriptVarType::kString;
  m->type_name = QStringLiteral("String");
  m->event = kind;
  m->attach = std::move(attach);
  AddMember(std::move(m));
}

void TksClassVariable::AddComponentMember(const QString& name, ovx::Persistent* component) {
  if (!component || name.isEmpty()) return;
  auto m = std::make_unique<ovx::ScriptMember>();
  m->kind = ovx::ScriptMember::Kind::kComponent;
  m->name = name;
  m->type = ovx::ScriptVarType::kClass;
  m->type_name = component->GetMetaClass().ClassName();
  m->component = ovx::ObjectHandle(component);
  AddMember(std::move(m));
}
