#include "script/classes_module.h"

#include <QHash>

#include <algorithm>
#include <mutex>

#include "base/meta_class.h"
#include "base/object_handle.h"
#include "script/messages.h"
#include "script/script.h"

namespace ovx {
namespace {

// Every object of the module carries the metadata of the class the script
// named, so that members are found by the class it was created as.
class ClassesObject : public Persistent {
 public:
  explicit ClassesObject(const MetaClass& meta) : meta_(&meta) {}
  const MetaClass& GetMetaClass() const override { return *meta_; }

 private:
  const MetaClass* meta_;
};

const MetaClass& ObjectMeta() {
  static const MetaClass meta(QStringLiteral("TObject"), nullptr, {}, nullptr);
  return meta;
}
const MetaClass& PersistentMeta() {
  static const MetaClass meta(QStringLiteral("TPersistent"), &ObjectMeta(), {}, nullptr);
  return meta;
}
const MetaClass& ComponentMeta() {
  static const MetaClass meta(QStringLiteral("TComponent"), &PersistentMeta(), {}, nullptr);
  return meta;
}
const MetaClass& StringsMeta() {
  static const MetaClass meta(QStringLiteral("TStrings"), &PersistentMeta(), {}, nullptr);
  return meta;
}
const MetaClass& StringListMeta() {
  static const MetaClass meta(QStringLiteral("TStringList"), &StringsMeta(), {}, nullptr);
  return meta;
}

class ComponentObject : public ClassesObject {
 public:
  using ClassesObject::ClassesObject;
  // The owner by handle: it may be freed first, and then reads as nil.
  qint64 owner = 0;
  QString name;
};

enum Duplicates { kDupIgnore = 0, kDupAccept = 1, kDupError = 2 };

// Lines count against the program's element budget, like array elements,
// so that a loop of Adds cannot take all memory.
class StringListObject : public ClassesObject {
 public:
  StringListObject(const MetaClass& meta, std::shared_ptr<qint64> budget)
      : ClassesObject(meta), budget_(std::move(budget)) {}
  ~StringListObject() override { Refund(lines_.size()); }

  const QStringList& Lines() const { return lines_; }
  bool sorted = false;
  int duplicates = kDupIgnore;

  void Clear() {
    Refund(lines_.size());
    lines_.clear();
  }
  // Where `s` is or would go in a sorted list.
  bool Find(const QString& s, qsizetype* index) const {
    qsizetype lo = 0, hi = lines_.size() - 1;
    bool found = false;
    while (lo <= hi) {
      const qsizetype mid = (lo + hi) / 2;
      const int c = Compare(lines_[mid], s);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (duplicates != kDupAccept) lo = mid;
        }
      }
    }
    *index = lo;
    return found;
  }
  qsizetype IndexOf(const QString& s) const {
    if (sorted) {
      qsizetype i = 0;
      return Find(s, &i) ? i : -1;
    }
    for (qsizetype i = 0; i < lines_.size(); ++i)
      if (Compare(lines_[i], s) == 0) return i;
    return -1;
  }
  qsizetype Add(const QString& s) {
    qsizetype at = lines_.size();
    if (sorted && Find(s, &at)) {
      if (duplicates == kDupIgnore) return at;
      if (duplicates == kDupError)
        throw ScriptError(ScriptMessage(QStringLiteral("SDuplicateString"),
                                        QStringLiteral("String list does not allow duplicates")),
                          QStringLiteral("EStringListError"));
    }
    ScriptArray::Reserve(budget_, 1);
    lines_.insert(at, s);
    return at;
  }
  void Put(qint64 i, const QString& s) {
    if (sorted)
      throw ScriptError(ScriptMessage(QStringLiteral("SSortedListError"),
                                      QStringLiteral("Operation not allowed on sorted list")),
                        QStringLiteral("EStringListError"));
    lines_[CheckIndex(i)] = s;
  }
  void Delete(qint64 i) {
    lines_.removeAt(CheckIndex(i));
    Refund(1);
  }
  qsizetype CheckIndex(qint64 i) const {
    if (i < 0 || i >= lines_.size())
      throw ScriptError(ScriptMessage(QStringLiteral("SListIndexError"),
                                      QStringLiteral("List index out of bounds (%1)"))
                            .arg(i),
                        QStringLiteral("EStringListError"));
    return static_cast<qsizetype>(i);
  }
  void SetSorted(bool on) {
    if (on && !sorted) {
      std::stable_sort(lines_.begin(), lines_.end(),
                       [](const QString& a, const QString& b) { return Compare(a, b) < 0; });
    }
    sorted = on;
  }
  static int Compare(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive);
  }

 private:
  void Refund(qsizetype n) {
    if (budget_) *budget_ -= n;
  }
  QStringList lines_;
  std::shared_ptr<qint64> budget_;
};

ScriptError ObjectError(const QString& text) {
  return ScriptError(text, QStringLiteral("EInvalidOperation"));
}

ScriptProgram& ProgramOf(ScriptMethodCall& call) {
  if (!call.program)
    throw ObjectError(
        ScriptMessage(QStringLiteral("rsScriptNoProgram"),
                      QStringLiteral("Objects can be created only by a running script")));
  return *call.program;
}

StringListObject& ListOf(ScriptMethodCall& call) {
  auto* list = dynamic_cast<StringListObject*>(call.instance.ObjectPointer());
  if (!list)
    throw ScriptError(ScriptMessage(QStringLiteral("SInvalidObjectRef"),
                                    QStringLiteral("Invalid object reference: %1"))
                          .arg(call.instance.ToString()),
                      QStringLiteral("EAccessViolation"));
  return *list;
}

ComponentObject& ComponentOf(ScriptMethodCall& call) {
  auto* c = dynamic_cast<ComponentObject*>(call.instance.ObjectPointer());
  if (!c)
    throw ScriptError(ScriptMessage(QStringLiteral("SInvalidObjectRef"),
                                    QStringLiteral("Invalid object reference: %1"))
                          .arg(call.instance.ToString()),
                      QStringLiteral("EAccessViolation"));
  return *c;
}

QString TextOf(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  return text;
}

// Lines end at CR LF, CR or LF; a break after the last line makes no
// empty line.
QStringList SplitText(const QString& text) {
  QStringList lines;
  QString line;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines << line;
      line.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

// Items with spaces, commas, quotes or control characters are quoted, with
// quotes doubled; an empty item is "".
QString CommaTextOf(const QStringList& lines) {
  QStringList parts;
  for (const QString& s : lines) {
    const bool quote = s.isEmpty() || std::any_of(s.begin(), s.end(), [](QChar c) {
                         return c <= u' ' || c == u',' || c == u'"';
                       });
    if (quote) {
      QString q = s;
      q.replace(u'"', QStringLiteral("\"\""));
      parts << u'"' + q + u'"';
    } else {
      parts << s;
    }
  }
  return parts.join(u',');
}

// Items are separated by commas or characters up to the space; quoted
// items keep those, with "" for a quote. An unclosed quote runs to the end.
QStringList SplitCommaText(const QString& text) {
  QStringList items;
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto skip_blanks = [&] {
    while (i < n && text[i] <= u' ') ++i;
  };
  skip_blanks();
  while (i < n) {
    QString item;
    if (text[i] == u'"') {
      ++i;
      while (i < n) {
        if (text[i] == u'"') {
          if (i + 1 < n && text[i + 1] == u'"') {
            item += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < n && text[i] > u' ' && text[i] != u',') item += text[i++];
    }
    items << item;
    skip_blanks();
    if (i < n && text[i] == u',') {
      ++i;
      skip_blanks();
      // A trailing comma leaves an empty last item.
      if (i >= n) items << QString();
    }
  }
  return items;
}

void SetLines(StringListObject& list, const QStringList& lines) {
  list.Clear();
  for (const QString& s : lines) list.Add(s);
}

}  // namespace

void RegisterClasses(TksScript& script) {
  script.AddEnum(QStringLiteral("TDuplicates"), QStringLiteral("dupIgnore, dupAccept, dupError"));

  if (TksClassVariable* cls = script.AddClass(QStringLiteral("TObject"), QString())) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      return ScriptValue::Object(
          ProgramOf(call).AdoptObject(std::make_unique<ClassesObject>(ObjectMeta())));
    });
    // Only what the script created is its to free: the host's objects are
    // owned elsewhere, and deleting them here would leave the owner with
    // a dangling pointer.
    cls->AddMethod(QStringLiteral("procedure Free"), [](ScriptMethodCall& call) {
      Persistent* object = call.instance.ObjectPointer();
      if (!object) return ScriptValue();
      if (!call.program || !call.program->FreeObject(object))
        throw ObjectError(
            ScriptMessage(QStringLiteral("rsScriptFreeHostObject"),
                          QStringLiteral("Cannot free %1: the script did not create it"))
                .arg(object->GetMetaClass().ClassName()));
      return ScriptValue();
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
          ProgramOf(call).AdoptObject(std::make_unique<ClassesObject>(PersistentMeta())));
    });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TComponent"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(AOwner: TComponent)"),
                        [](ScriptMethodCall& call) {
                          auto c = std::make_unique<ComponentObject>(ComponentMeta());
                          if (Persistent* owner = call.Arg(0).ObjectPointer())
                            c->owner = ObjectHandle(owner);
                          return ScriptValue::Object(ProgramOf(call).AdoptObject(std::move(c)));
                        });
    cls->AddProperty(QStringLiteral("Owner"), QStringLiteral("TComponent"),
                     [](ScriptMethodCall& call) {
                       return ScriptValue::Object(ObjectFromHandle(ComponentOf(call).owner));
                     });
    cls->AddProperty(
        QStringLiteral("Name"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(ComponentOf(call).name); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          ComponentOf(call).name = v.ToString();
        });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TStrings"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall&) -> ScriptValue {
      throw ObjectError(
          ScriptMessage(QStringLiteral("rsScriptAbstractClass"),
                        QStringLiteral("Cannot create an instance of abstract class %1"))
              .arg(QStringLiteral("TStrings")));
    });
    cls->AddMethod(QStringLiteral("function Add(const S: String): Integer"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Integer(ListOf(call).Add(call.Arg(0).ToString()));
                   });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      ListOf(call).Clear();
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
      ListOf(call).Delete(call.Arg(0).ToInt64());
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("function IndexOf(const S: String): Integer"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Integer(ListOf(call).IndexOf(call.Arg(0).ToString()));
                   });
    cls->AddProperty(
        QStringLiteral("Count"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(ListOf(call).Lines().size()); });
    cls->AddProperty(
        QStringLiteral("Text"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(TextOf(ListOf(call).Lines())); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          SetLines(ListOf(call), SplitText(v.ToString()));
        });
    cls->AddProperty(
        QStringLiteral("CommaText"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          return ScriptValue::String(CommaTextOf(ListOf(call).Lines()));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          SetLines(ListOf(call), SplitCommaText(v.ToString()));
        });
    cls->AddDefaultProperty(
        QStringLiteral("Strings"), QStringLiteral("Integer"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          StringListObject& list = ListOf(call);
          if (call.method_name.endsWith(QLatin1String(".SET"))) {
            list.Put(call.Arg(0).ToInt64(), call.Arg(1).ToString());
            return ScriptValue();
          }
          return ScriptValue::String(list.Lines()[list.CheckIndex(call.Arg(0).ToInt64())]);
        });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TStringList"), QStringLiteral("TStrings"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      ScriptProgram& program = ProgramOf(call);
      return ScriptValue::Object(program.AdoptObject(
          std::make_unique<StringListObject>(StringListMeta(), program.ElementBudget())));
    });
    cls->AddProperty(
        QStringLiteral("Sorted"), QStringLiteral("Boolean"),
        [](ScriptMethodCall& call) { return ScriptValue::Bool(ListOf(call).sorted); },
        [](ScriptMethodCall& call, const ScriptValue& v) { ListOf(call).SetSorted(v.ToBool()); });
    cls->AddProperty(
        QStringLiteral("Duplicates"), QStringLiteral("TDuplicates"),
        [](ScriptMethodCall& call) { return ScriptValue::Int(ListOf(call).duplicates); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          const qint64 d = v.ToInt64();
          if (d < kDupIgnore || d > kDupError)
            throw ScriptError(ScriptMessage(QStringLiteral("SInvalidPropertyValue"),
                                            QStringLiteral("Invalid property value")));
          ListOf(call).duplicates = static_cast<int>(d);
        });
  }
}

void RegisterClassesModule() {
  static std::once_flag once;
  std::call_once(once, [] { AddScriptRttiModule(RegisterClasses); });
}

}  // namespace ovx
