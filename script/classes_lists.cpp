// The module's lists of values: TList, and TCollection with the
// TCollectionItems it owns.
//
// Every entry counts against the program's element budget, like array
// elements, so that a loop of Adds stops with an error instead of taking
// all memory. Objects a list holds are kept as handles: the list never
// keeps an object alive, and one freed meanwhile reads as nil.
#include <algorithm>

#include "base/object_handle.h"
#include "script/classes_internal.h"
#include "script/messages.h"
#include "script/script.h"

namespace ovx {
namespace classes {
namespace {

// ---- TList ----

// Values as a list of pointers would compare them: objects by identity,
// numbers by value, texts exactly.
bool SameEntry(const ScriptValue& a, const ScriptValue& b) {
  using K = ScriptValue::Kind;
  if (a.kind() == K::kObject || b.kind() == K::kObject) return a.handle() == b.handle();
  if (a.kind() == K::kNull || a.kind() == K::kEmpty || b.kind() == K::kNull ||
      b.kind() == K::kEmpty)
    return (a.kind() == K::kNull || a.kind() == K::kEmpty) &&
           (b.kind() == K::kNull || b.kind() == K::kEmpty);
  if (a.kind() == K::kArray || b.kind() == K::kArray) return a.array() == b.array();
  if (a.IsNumeric() && b.IsNumeric()) {
    if (a.IsIntegral() && b.IsIntegral()) return a.ToInt64() == b.ToInt64();
    return a.ToFloat() == b.ToFloat();
  }
  if (a.kind() == K::kString && b.kind() == K::kString) return a.ToString() == b.ToString();
  if (a.kind() == K::kBool && b.kind() == K::kBool) return a.ToBool() == b.ToBool();
  return false;
}

class ListObject : public ClassesObject {
 public:
  explicit ListObject(std::shared_ptr<qint64> budget)
      : ClassesObject(Meta("TList")), charge_(std::move(budget)) {}
  std::vector<ScriptValue> items;
  qsizetype Count() const { return static_cast<qsizetype>(items.size()); }
  void Insert(qsizetype at, const ScriptValue& v) {
    charge_.Add(1);
    items.insert(items.begin() + at, v);
  }
  void Delete(qsizetype at) {
    items.erase(items.begin() + at);
    charge_.Add(-1);
  }
  void Resize(qint64 count) {
    if (count < 0 || count > kMaxScriptArrayElements) throw ListIndexError(count);
    charge_.Set(count);
    items.resize(static_cast<size_t>(count));
  }
  qsizetype IndexOf(const ScriptValue& v) const {
    for (qsizetype i = 0; i < Count(); ++i)
      if (SameEntry(items[static_cast<size_t>(i)], v)) return i;
    return -1;
  }

 private:
  Charge charge_;
};

void RegisterList(TksScript& script) {
  TksClassVariable* cls = script.AddClass(QStringLiteral("TList"), QStringLiteral("TObject"));
  if (!cls) return;
  cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
    ScriptProgram& program = ProgramOf(call);
    return ScriptValue::Object(
        program.AdoptObject(std::make_unique<ListObject>(program.ElementBudget())));
  });
  cls->AddMethod(QStringLiteral("function Add(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   list.Insert(list.Count(), call.Arg(0));
                   return ScriptValue::Integer(list.Count() - 1);
                 });
  cls->AddMethod(QStringLiteral("procedure Insert(Index: Integer; Item: Variant)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   list.Insert(CheckedIndex(call.Arg(0), list.Count(), true), call.Arg(1));
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    list.Delete(CheckedIndex(call.Arg(0), list.Count()));
    return ScriptValue();
  });
  cls->AddMethod(QStringLiteral("function Remove(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   const qsizetype i = list.IndexOf(call.Arg(0));
                   if (i >= 0) list.Delete(i);
                   return ScriptValue::Integer(i);
                 });
  cls->AddMethod(QStringLiteral("function IndexOf(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   return ScriptValue::Integer(Self<ListObject>(call).IndexOf(call.Arg(0)));
                 });
  cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
    Self<ListObject>(call).Resize(0);
    return ScriptValue();
  });
  cls->AddMethod(QStringLiteral("procedure Exchange(Index1, Index2: Integer)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   std::swap(list.items[CheckedIndex(call.Arg(0), list.Count())],
                             list.items[CheckedIndex(call.Arg(1), list.Count())]);
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("procedure Move(CurIndex, NewIndex: Integer)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   const qsizetype from = CheckedIndex(call.Arg(0), list.Count());
                   const qsizetype to = CheckedIndex(call.Arg(1), list.Count());
                   const ScriptValue v = list.items[static_cast<size_t>(from)];
                   list.items.erase(list.items.begin() + from);
                   list.items.insert(list.items.begin() + to, v);
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("function First: Variant"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    return list.items[CheckedIndex(ScriptValue::Int(0), list.Count())];
  });
  cls->AddMethod(QStringLiteral("function Last: Variant"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    return list.items[CheckedIndex(ScriptValue::Integer(list.Count() - 1), list.Count())];
  });
  cls->AddProperty(
      QStringLiteral("Count"), QStringLiteral("Integer"),
      [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<ListObject>(call).Count()); },
      [](ScriptMethodCall& call, const ScriptValue& v) {
        Self<ListObject>(call).Resize(v.ToInt64());
      });
  cls->AddDefaultProperty(QStringLiteral("Items"), QStringLiteral("Integer"),
                          QStringLiteral("Variant"), [](ScriptMethodCall& call) {
                            ListObject& list = Self<ListObject>(call);
                            const qsizetype i = CheckedIndex(call.Arg(0), list.Count());
                            if (IsSet(call)) {
                              list.items[static_cast<size_t>(i)] = call.Arg(1);
                              return ScriptValue();
                            }
                            return list.items[static_cast<size_t>(i)];
                          });
}

// ---- TCollection / TCollectionItem ----

class CollectionObject;

class CollectionItemObject : public ClassesObject {
 public:
  CollectionItemObject(qint64 collection, qint64 id)
      : ClassesObject(Meta("TCollectionItem")), collection(collection), id(id) {}
  bool FreeFromOwner() override;
  qint64 collection;  // a handle
  qint64 id;
  QString display_name;
};

// Owns its items; an item freed by the script leaves its collection, and
// the collection's end frees the items left.
class CollectionObject : public ClassesObject {
 public:
  explicit CollectionObject(std::shared_ptr<qint64> budget)
      : ClassesObject(Meta("TCollection")), charge_(std::move(budget)) {}
  qsizetype Count() const { return static_cast<qsizetype>(items_.size()); }
  CollectionItemObject* At(qsizetype i) const { return items_[static_cast<size_t>(i)].get(); }
  CollectionItemObject* Insert(qsizetype at) {
    charge_.Add(1);
    auto item = std::make_unique<CollectionItemObject>(ObjectHandle(this), next_id_++);
    CollectionItemObject* p = item.get();
    items_.insert(items_.begin() + at, std::move(item));
    return p;
  }
  qsizetype IndexOf(const CollectionItemObject* item) const {
    for (qsizetype i = 0; i < Count(); ++i)
      if (At(i) == item) return i;
    return -1;
  }
  std::unique_ptr<CollectionItemObject> Take(qsizetype i) {
    std::unique_ptr<CollectionItemObject> item = std::move(items_[static_cast<size_t>(i)]);
    items_.erase(items_.begin() + i);
    charge_.Add(-1);
    return item;
  }
  // Takes `item` from whatever collection holds it.
  void Adopt(std::unique_ptr<CollectionItemObject> item, qsizetype at) {
    charge_.Add(1);
    item->collection = ObjectHandle(this);
    item->id = next_id_++;
    items_.insert(items_.begin() + at, std::move(item));
  }
  void Clear() {
    // Items go before the charge: their handles end with them.
    std::vector<std::unique_ptr<CollectionItemObject>> old;
    old.swap(items_);
    old.clear();
    charge_.Set(0);
  }
  void MoveItem(qsizetype from, qsizetype to) {
    auto item = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
  }

 private:
  std::vector<std::unique_ptr<CollectionItemObject>> items_;
  Charge charge_;
  qint64 next_id_ = 0;
};

bool CollectionItemObject::FreeFromOwner() {
  auto* owner = dynamic_cast<CollectionObject*>(ObjectFromHandle(collection));
  if (!owner) return false;
  const qsizetype i = owner->IndexOf(this);
  if (i < 0) return false;
  owner->Take(i);  // deletes this
  return true;
}

CollectionObject& CollectionOf(CollectionItemObject& item) {
  auto* owner = dynamic_cast<CollectionObject*>(ObjectFromHandle(item.collection));
  if (!owner) throw InvalidReference(ScriptValue::Integer(item.collection));
  return *owner;
}

void RegisterCollections(TksScript& script) {
  using C = CollectionObject;
  using I = CollectionItemObject;
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TCollectionItem"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(Collection: TCollection)"),
                        [](ScriptMethodCall& call) {
                          C& owner = ArgObject<C>(call, 0);
                          return ScriptValue::Object(owner.Insert(owner.Count()));
                        });
    cls->AddProperty(
        QStringLiteral("Collection"), QStringLiteral("TCollection"),
        [](ScriptMethodCall& call) {
          return ScriptValue::Object(ObjectFromHandle(Self<I>(call).collection));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          I& item = Self<I>(call);
          C& from = CollectionOf(item);
          C& to = *[&] {
            auto* c = dynamic_cast<C*>(v.ObjectPointer());
            if (!c) throw InvalidReference(v);
            return c;
          }();
          if (&from == &to) return;
          to.Adopt(from.Take(from.IndexOf(&item)), to.Count());
        });
    cls->AddProperty(
        QStringLiteral("Index"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) {
          I& item = Self<I>(call);
          return ScriptValue::Integer(CollectionOf(item).IndexOf(&item));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          I& item = Self<I>(call);
          C& owner = CollectionOf(item);
          owner.MoveItem(owner.IndexOf(&item), CheckedIndex(v, owner.Count()));
        });
    cls->AddProperty(QStringLiteral("ID"), QStringLiteral("Integer"),
                     [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<I>(call).id); });
    cls->AddProperty(
        QStringLiteral("DisplayName"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(Self<I>(call).display_name); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<I>(call).display_name = v.ToString();
        });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TCollection"), QStringLiteral("TPersistent"))) {
    // Items are TCollectionItems whatever class is named: scripts cannot
    // derive classes of their own.
    cls->AddConstructor(QStringLiteral("constructor Create(ItemClass: Variant)"),
                        [](ScriptMethodCall& call) {
                          ScriptProgram& program = ProgramOf(call);
                          return ScriptValue::Object(
                              program.AdoptObject(std::make_unique<C>(program.ElementBudget())));
                        });
    cls->AddMethod(QStringLiteral("function Add: TCollectionItem"), [](ScriptMethodCall& call) {
      C& c = Self<C>(call);
      return ScriptValue::Object(c.Insert(c.Count()));
    });
    cls->AddMethod(
        QStringLiteral("function Insert(Index: Integer): TCollectionItem"),
        [](ScriptMethodCall& call) {
          C& c = Self<C>(call);
          return ScriptValue::Object(c.Insert(CheckedIndex(call.Arg(0), c.Count(), true)));
        });
    cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
      C& c = Self<C>(call);
      c.Take(CheckedIndex(call.Arg(0), c.Count()));
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      Self<C>(call).Clear();
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure BeginUpdate"), [](ScriptMethodCall& call) {
      Self<C>(call);
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure EndUpdate"), [](ScriptMethodCall& call) {
      Self<C>(call);
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("function FindItemID(ID: Integer): TCollectionItem"),
                   [](ScriptMethodCall& call) {
                     C& c = Self<C>(call);
                     const qint64 id = call.Arg(0).ToInt64();
                     for (qsizetype i = 0; i < c.Count(); ++i)
                       if (c.At(i)->id == id) return ScriptValue::Object(c.At(i));
                     return ScriptValue::Null();
                   });
    cls->AddProperty(
        QStringLiteral("Count"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<C>(call).Count()); });
    cls->AddDefaultProperty(
        QStringLiteral("Items"), QStringLiteral("Integer"), QStringLiteral("TCollectionItem"),
        [](ScriptMethodCall& call) {
          C& c = Self<C>(call);
          return ScriptValue::Object(c.At(CheckedIndex(call.Arg(0), c.Count())));
        },
        true);
  }
}

}  // namespace

void RegisterLists(TksScript& script) {
  RegisterList(script);
  RegisterCollections(script);
}

}  // namespace classes
}  // namespace ovx
