// What a script can reach of its host: registered types, constants,
// variables, functions and classes with their members.
//
// Every function and member is described by a declaration in Pascal syntax
// ("function Copy(s: String; from, count: Integer): String"), parsed once
// when it is registered, and implemented by a handler of the caller form
// (script/method_call.h). Classes of the report library are registered from
// their property metadata (base/meta_class.h); there is no second table.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "script/interpreter.h"
#include "script/method_call.h"

#include "base/meta_class.h"

class TksScript;
class TksClassVariable;

namespace ovx {

// The static types of script items, numbered as scripts and hosts know them.
enum class ScriptVarType {
  kInt = 0,
  kBool = 1,
  kFloat = 2,
  kChar = 3,
  kString = 4,
  kClass = 5,
  kArray = 6,
  kVariant = 7,
  kEnum = 8,
  kConstructor = 9,
  kInt64 = 10
};

struct ScriptParam {
  QString name;
  QString type_name;
  ScriptVarType type = ScriptVarType::kVariant;
  bool by_ref = false;
  bool optional = false;
  ScriptValue default_value;  // Null unless a default was written
};

struct ScriptDeclaration {
  QString name;
  bool is_macro = false;
  bool is_function = false;
  std::vector<ScriptParam> params;
  QString result_type_name;
  ScriptVarType result_type = ScriptVarType::kVariant;
};

// Answers a registered type's kind and a registered constant's value while
// a declaration is read; either may be empty.
struct ScriptDeclarationContext {
  std::function<bool(const QString& name, ScriptVarType* type)> find_type;
  std::function<bool(const QString& name, ScriptValue* value)> find_const;
};

// Declarations are the host's own text: a malformed one gives a routine
// with whatever name and parameters were recognised, never an error.
// `on_class` rewrites a constructor into a function named after it with
// result type Constructor.
ScriptDeclaration ParseScriptDeclaration(const QString& text,
                                         const ScriptDeclarationContext& context = {},
                                         bool on_class = false);

// The type names every script knows, before any registration.
bool BuiltInScriptType(const QString& name, ScriptVarType* type);

// The events a script procedure can handle, by the arguments they pass.
// Objects travel as object values typed Variant; `*` marks what the host
// reads back after the procedure ran (when the procedure takes it `var`).
enum class ScriptEventKind {
  kNotify,      // Sender
  kMouse,       // Sender, Button, Shift, X, Y
  kMouseMove,   // Sender, Shift, X, Y
  kKey,         // Sender, *Key, Shift
  kKeyPress,    // Sender, *Key: the host passes and gets back a character
                // code; the script sees a one-character string
  kClose,       // Sender, *Action
  kCloseQuery,  // Sender, *CanClose
  kCanResize    // Sender, *NewWidth, *NewHeight, *Resize
};

// What a fired event calls: the arguments in the order above, written
// back in place.
using ScriptEventHandler = std::function<void(std::vector<ScriptValue>& args)>;
// Stores `handler` as the object's handler of the event; an empty handler
// detaches it. Called again whenever the script assigns, replaces or
// drops its handler, so the host never keeps one that outlived its script.
using ScriptEventAttach = std::function<void(Persistent& object, ScriptEventHandler handler)>;

using ScriptPropertyGetter = std::function<ScriptValue(ScriptMethodCall& call)>;
using ScriptPropertySetter = std::function<void(ScriptMethodCall& call, const ScriptValue& value)>;

// A registered function, method, constructor or index property.
struct ScriptMethod {
  ScriptDeclaration decl;
  QString syntax;
  QString category;
  QString description;
  ScriptMethodHandler handler;
  bool index_property = false;
  bool read_only = false;  // index properties
};

struct ScriptMember {
  // kComponent: a component owned by a registered form, reached by name.
  enum class Kind { kProperty, kMethod, kEvent, kComponent };
  Kind kind = Kind::kProperty;
  QString name;
  ScriptVarType type = ScriptVarType::kVariant;
  QString type_name;
  // Published properties: read and written through the metadata.
  const PropertyInfo* published = nullptr;
  ScriptPropertyGetter getter;
  ScriptPropertySetter setter;  // empty: read-only
  std::unique_ptr<ScriptMethod> method;
  ScriptEventKind event = ScriptEventKind::kNotify;
  ScriptEventAttach attach;
  qint64 component = 0;  // its handle
  bool ReadOnly() const {
    if (kind == Kind::kComponent) return true;
    if (kind == Kind::kMethod) return !method->index_property || method->read_only;
    if (kind == Kind::kEvent) return !attach;
    return published ? published->set == nullptr : !setter;
  }
};

// One item registered with a script.
struct ScriptItem {
  enum class Kind { kType, kConst, kVariable, kMethod, kClass };
  Kind kind = Kind::kType;
  QString name;
  ScriptVarType type = ScriptVarType::kVariant;
  QString type_name;
  ScriptValue value;  // constants and variables
  std::unique_ptr<ScriptMethod> method;
  std::unique_ptr<TksClassVariable> cls;
  // 1 for what RTTI modules registered.
  int added_by = 0;
};

// The registrations of one script; searched after a script's own
// declarations, before its parent's.
class ScriptRegistry {
 public:
  ScriptRegistry() = default;
  ScriptRegistry(const ScriptRegistry&) = delete;
  ScriptRegistry& operator=(const ScriptRegistry&) = delete;

  // Only this registry; case-insensitive.
  ScriptItem* FindLocal(const QString& name) const;
  // Adds `item` unless its name is taken; answers the item kept.
  ScriptItem* Add(std::unique_ptr<ScriptItem> item);
  const std::vector<std::unique_ptr<ScriptItem>>& Items() const { return items_; }
  // Drops what the host registered, keeps what RTTI modules did.
  void ClearHostItems();

  // Asked by FindLocal for a name the registry does not hold, so a host
  // with many possible names registers only those a script uses: it may
  // Add an item for the name and answers that item, or null. It is not
  // asked again while it answers (lookups made meanwhile see only what is
  // registered), nor again for a name it could not answer, until the
  // handler is set anew or the host items are cleared.
  using MissHandler = std::function<ScriptItem*(const QString& name)>;
  void SetMissHandler(MissHandler handler);

 private:
  std::vector<std::unique_ptr<ScriptItem>> items_;
  QHash<QString, ScriptItem*> by_name_;
  MissHandler on_miss_;
  mutable QSet<QString> misses_;
  mutable bool asking_ = false;
};

// The registrations a script reaches: its own, then its parents'.
struct ScriptScope {
  std::vector<const ScriptRegistry*> chain;
  ScriptItem* Find(const QString& name) const;
  TksClassVariable* FindClass(const QString& name) const;
  // The registered class an object of class `meta` belongs to: its own or
  // the nearest registered base class; null when none is registered.
  TksClassVariable* ClassOf(const MetaClass& meta) const;
  // `name` in `cls` and its ancestors; null when absent.
  const ScriptMember* FindMember(const TksClassVariable* cls, const QString& name) const;
  const ScriptMember* DefaultProperty(const TksClassVariable* cls) const;
  // Whether `cls` is `base` or inherits from it.
  bool InheritsFrom(const TksClassVariable* cls, const TksClassVariable* base) const;
};

// The component `owner` owns under `name` (case-insensitive), for names a
// designator reaches through a live object while compiling (Page1.Memo1);
// null when it owns none of that name. The host installs it once at
// start-up (report objects: their child of that name); without it no
// component is found that way.
using ScriptOwnedComponent = std::function<Persistent*(Persistent& owner, const QString& name)>;
void SetScriptOwnedComponent(ScriptOwnedComponent find);
Persistent* FindOwnedComponent(Persistent& owner, const QString& name);

// A registration module: called with each script that applies AddRTTI.
using ScriptRttiModule = std::function<void(TksScript& script)>;

// The modules in order, the standard library first. Modules are added at
// start-up; the list is copied under a lock, so a script being prepared on
// a worker thread never sees it change under it.
void AddScriptRttiModule(ScriptRttiModule module);
std::vector<ScriptRttiModule> ScriptRttiModules();

// The standard library's registrations: types, constants, the exception
// variables and the helper items.
void RegisterSysFunctions(TksScript& script);

}  // namespace ovx

// A registered class: its members in registration order, its ancestor (by
// registered name) and its default property. As a value, the class name
// alone is the class reference, and with one argument a type cast.
class TksClassVariable {
 public:
  TksClassVariable(QString name, const ovx::MetaClass* meta, QString ancestor);

  const QString& Name() const { return name_; }
  const ovx::MetaClass* ClassRef() const { return meta_; }
  const QString& Ancestor() const { return ancestor_; }
  // Own members only, in registration order.
  const std::vector<std::unique_ptr<ovx::ScriptMember>>& Members() const { return members_; }
  const ovx::ScriptMember* FindOwn(const QString& name) const;
  // Own only; the scope looks at the ancestors.
  const ovx::ScriptMember* DefProperty() const { return def_property_; }
  void SetDeclarationContext(ovx::ScriptDeclarationContext context) {
    context_ = std::move(context);
  }

  // A published property of the class's metadata, typed as scripts see
  // it; method pointers are not registered.
  void AddPublished(const ovx::PropertyInfo& info);
  void AddConstructor(const QString& declaration, ovx::ScriptMethodHandler handler);
  void AddMethod(const QString& declaration, ovx::ScriptMethodHandler handler);
  void AddProperty(const QString& name, const QString& type_name, ovx::ScriptPropertyGetter getter,
                   ovx::ScriptPropertySetter setter = {});
  // AddProperty in place of an own member of the same name (a published
  // property the host answers better); before any script compiles
  // against the class.
  void ReplaceProperty(const QString& name, const QString& type_name,
                       ovx::ScriptPropertyGetter getter, ovx::ScriptPropertySetter setter = {});
  // Registered as a method NAME(p0: T0, p1: T1, ...) flagged as an index
  // property; the handler is called with NAME.GET or NAME.SET.
  void AddIndexProperty(const QString& name, const QString& param_types, const QString& type_name,
                        ovx::ScriptMethodHandler handler, bool read_only = false);
  void AddDefaultProperty(const QString& name, const QString& param_types, const QString& type_name,
                          ovx::ScriptMethodHandler handler, bool read_only = false);
  // An event property: scripts assign a procedure's name (or '0' to
  // detach); reading it gives the empty string.
  void AddEvent(const QString& name, ovx::ScriptEventKind kind, ovx::ScriptEventAttach attach);
  // A component the class's objects own, as a read-only member.
  void AddComponentMember(const QString& name, ovx::Persistent* component);

 private:
  ovx::ScriptMember* AddMember(std::unique_ptr<ovx::ScriptMember> member);
  ovx::ScriptVarType TypeOf(const QString& type_name) const;

  QString name_;
  const ovx::MetaClass* meta_;
  QString ancestor_;
  std::vector<std::unique_ptr<ovx::ScriptMember>> members_;
  QHash<QString, ovx::ScriptMember*> by_name_;
  const ovx::ScriptMember* def_property_ = nullptr;
  ovx::ScriptDeclarationContext context_;
};
