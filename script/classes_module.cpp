// The module's registration, its classes at the root (TObject, TPersistent,
// TComponent), the metadata of every class it registers and the hooks the
// host installs (file access, owners of host components).
#include "script/classes_module.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <map>
#include <mutex>

#include "base/error.h"
#include "base/meta_class.h"
#include "base/object_handle.h"
#include "script/classes_internal.h"
#include "script/messages.h"
#include "script/script.h"

namespace ovx {
namespace classes {

namespace {

// Each class with its base; bases come first.
constexpr std::pair<const char*, const char*> kClasses[] = {
    {"TObject", nullptr},
    {"TPersistent", "TObject"},
    {"TComponent", "TPersistent"},
    {"TList", "TObject"},
    {"TStrings", "TPersistent"},
    {"TStringList", "TStrings"},
    {"TCollectionItem", "TPersistent"},
    {"TCollection", "TPersistent"},
    {"TStream", "TObject"},
    {"TMemoryStream", "TStream"},
    {"TFileStream", "TStream"},
    {"TksXMLItem", "TObject"},
    {"TksXMLDocument", "TObject"},
    {"TCustomIniFile", "TObject"},
    {"TMemIniFile", "TCustomIniFile"},
    {"TIniFile", "TCustomIniFile"},
};

const std::map<QString, std::unique_ptr<MetaClass>>& MetaTable() {
  static const auto table = [] {
    std::map<QString, std::unique_ptr<MetaClass>> t;
    for (const auto& [name, base] : kClasses) {
      const MetaClass* parent = base ? t.at(QString::fromLatin1(base)).get() : nullptr;
      t.emplace(QString::fromLatin1(name),
                std::make_unique<MetaClass>(QString::fromLatin1(name), parent,
                                            std::vector<std::unique_ptr<PropertyInfo>>{}, nullptr));
    }
    return t;
  }();
  return table;
}

QMutex& HooksMutex() {
  static QMutex mutex;
  return mutex;
}
ScriptFiles& FilesSlot() {
  static ScriptFiles files;
  return files;
}
ScriptOwnerOf& OwnerSlot() {
  static ScriptOwnerOf owner_of;
  return owner_of;
}

ScriptError FileError(const QString& text) {
  return ScriptError(text, QStringLiteral("EFOpenError"));
}

}  // namespace

const MetaClass& Meta(const char* class_name) {
  return *MetaTable().at(QString::fromLatin1(class_name));
}

ScriptError ObjectError(const QString& text) {
  return ScriptError(text, QStringLiteral("EInvalidOperation"));
}

ScriptError StreamError(const QString& text) {
  return ScriptError(text, QStringLiteral("EStreamError"));
}

QString ScriptMessageText(const char* name, const char* built_in) {
  return ScriptMessage(QString::fromLatin1(name), QString::fromUtf8(built_in));
}

ScriptError InvalidReference(const ScriptValue& value) {
  return ScriptError(ScriptMessage(QStringLiteral("rsScriptInvalidObject"),
                                   QStringLiteral("Invalid object reference: %1"))
                         .arg(value.ToString()),
                     QStringLiteral("EAccessViolation"));
}

ScriptError ListIndexError(qint64 index) {
  return ScriptError(ScriptMessage(QStringLiteral("rsScriptListIndex"),
                                   QStringLiteral("List index out of bounds (%1)"))
                         .arg(index),
                     QStringLiteral("EListError"));
}

qsizetype CheckedIndex(const ScriptValue& v, qsizetype size, bool end_ok) {
  const qint64 i = v.ToInt64();
  if (i < 0 || i > size || (i == size && !end_ok)) throw ListIndexError(i);
  return static_cast<qsizetype>(i);
}

ScriptProgram& ProgramOf(ScriptMethodCall& call) {
  if (!call.program)
    throw ObjectError(
        ScriptMessage(QStringLiteral("rsScriptNoProgram"),
                      QStringLiteral("Objects can be created only by a running script")));
  return *call.program;
}

void Charge::Set(qint64 elements) {
  if (elements > held_)
    ScriptArray::Reserve(budget_, elements - held_);
  else if (budget_)
    *budget_ -= held_ - elements;
  held_ = elements;
}

QByteArray ReadScriptFile(const QString& path, qint64 max_bytes) {
  ScriptFiles files;
  {
    QMutexLocker lock(&HooksMutex());
    files = FilesSlot();
  }
  if (!files.read)
    throw FileError(ScriptMessage(QStringLiteral("rsScriptNoFiles"),
                                  QStringLiteral("Cannot open file \"%1\": scripts have no file "
                                                 "access here"))
                        .arg(path));
  try {
    return files.read(path, max_bytes);
  } catch (const Error& e) {
    throw FileError(e.Message());
  }
}

void WriteScriptFile(const QString& path, const QByteArray& bytes) {
  ScriptFiles files;
  {
    QMutexLocker lock(&HooksMutex());
    files = FilesSlot();
  }
  if (!files.write)
    throw ScriptError(ScriptMessage(QStringLiteral("rsScriptNoFiles"),
                                    QStringLiteral("Cannot open file \"%1\": scripts have no file "
                                                   "access here"))
                          .arg(path),
                      QStringLiteral("EFCreateError"));
  try {
    files.write(path, bytes);
  } catch (const Error& e) {
    throw ScriptError(e.Message(), QStringLiteral("EFCreateError"));
  }
}

namespace {

class ComponentObject : public ClassesObject {
 public:
  ComponentObject() : ClassesObject(Meta("TComponent")) {}
  // The owner by handle: it may be freed first, and then reads as nil.
  qint64 owner = 0;
  QString name;
};

Persistent* OwnerOf(ScriptMethodCall& call) {
  Persistent* object = call.instance.ObjectPointer();
  if (auto* own = dynamic_cast<ComponentObject*>(object)) return ObjectFromHandle(own->owner);
  ScriptOwnerOf owner_of;
  {
    QMutexLocker lock(&HooksMutex());
    owner_of = OwnerSlot();
  }
  if (!object || !owner_of) throw InvalidReference(call.instance);
  return owner_of(*object);
}

void RegisterRoots(TksScript& script) {
  if (TksClassVariable* cls = script.AddClass(QStringLiteral("TObject"), QString())) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      return ScriptValue::Object(
          ProgramOf(call).AdoptObject(std::make_unique<ClassesObject>(Meta("TObject"))));
    });
    // Only what the script created is its to free: the host's objects are
    // owned elsewhere, and deleting them here would leave the owner with
    // a dangling pointer.
    cls->AddMethod(QStringLiteral("procedure Free"), [](ScriptMethodCall& call) {
      Persistent* object = call.instance.ObjectPointer();
      if (!object) return ScriptValue();
      if (auto* own = dynamic_cast<ClassesObject*>(object)) own->BeforeFree();
      if (call.program && call.program->FreeObject(object)) return ScriptValue();
      if (auto* own = dynamic_cast<ClassesObject*>(object); own && own->FreeFromOwner())
        return ScriptValue();
      throw ObjectError(
          ScriptMessage(QStringLiteral("rsScriptFreeHostObject"),
                        QStringLiteral("Cannot free %1: the script did not create it"))
              .arg(object->GetMetaClass().ClassName()));
    });
    cls->AddMethod(QStringLiteral("function ClassName: String"), [](ScriptMethodCall& call) {
      Persistent* object = call.instance.ObjectPointer();
      return ScriptValue::String(object ? object->GetMetaClass().ClassName() : call.class_name);
    });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TPersistent"), QStringLiteral("TObject"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      return ScriptValue::Object(
          ProgramOf(call).AdoptObject(std::make_unique<ClassesObject>(Meta("TPersistent"))));
    });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TComponent"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(AOwner: TComponent)"),
                        [](ScriptMethodCall& call) {
                          auto c = std::make_unique<ComponentObject>();
                          if (Persistent* owner = call.Arg(0).ObjectPointer())
                            c->owner = ObjectHandle(owner);
                          return ScriptValue::Object(ProgramOf(call).AdoptObject(std::move(c)));
                        });
    cls->AddProperty(QStringLiteral("Owner"), QStringLiteral("TComponent"),
                     [](ScriptMethodCall& call) { return ScriptValue::Object(OwnerOf(call)); });
    cls->AddProperty(
        QStringLiteral("Name"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          return ScriptValue::String(Self<ComponentObject>(call).name);
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<ComponentObject>(call).name = v.ToString();
        });
  }
}

}  // namespace
}  // namespace classes

void RegisterClasses(TksScript& script) {
  script.AddEnum(QStringLiteral("TDuplicates"), QStringLiteral("dupIgnore, dupAccept, dupError"));
  script.AddEnum(QStringLiteral("TPrinterOrientation"), QStringLiteral("poPortrait, poLandscape"));
  classes::RegisterRoots(script);
  classes::RegisterLists(script);
  classes::RegisterStrings(script);
  classes::RegisterStreams(script);
  classes::RegisterXml(script);
}

void RegisterClassesModule() {
  static std::once_flag once;
  std::call_once(once, [] { AddScriptRttiModule(RegisterClasses); });
}

void SetScriptFiles(ScriptFiles files) {
  QMutexLocker lock(&classes::HooksMutex());
  classes::FilesSlot() = std::move(files);
}

void SetScriptOwnerOf(ScriptOwnerOf owner_of) {
  QMutexLocker lock(&classes::HooksMutex());
  classes::OwnerSlot() = std::move(owner_of);
}

}  // namespace ovx
