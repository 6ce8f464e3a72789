// The engine's XML classes for scripts: TksXMLDocument and TksXMLItem over
// script/xml.h.
//
// A script reaches an item through a view object of its program, one per
// item, that lives until the script frees it or the program ends. A tree
// (a document's, or that of an item the script created on its own) stays
// alive while its document or any view needs it, so freeing a document
// never leaves a view pointing into freed memory. Whatever removes items
// (Clear, Assign, loading) first retires the views of the items it
// removes; a retired view is an invalid reference, never a dangling one.
// Items count against the program's element budget.
#include <QHash>

#include "base/error.h"
#include "base/stream.h"
#include "script/classes_internal.h"
#include "script/messages.h"
#include "script/script.h"
#include "script/xml.h"

namespace ovx {
namespace classes {
namespace {

constexpr qint64 kMaxXmlFileBytes = 64 * 1024 * 1024;

class XmlItemObject;

qint64 CountItems(const TksXMLItem& item) {
  qint64 n = 0;
  std::vector<const TksXMLItem*> work{&item};
  while (!work.empty()) {
    const TksXMLItem* i = work.back();
    work.pop_back();
    ++n;
    for (int c = 0; c < i->Count(); ++c) work.push_back(i->Items(c));
  }
  return n;
}

bool Within(const TksXMLItem* item, const TksXMLItem* subtree) {
  for (const TksXMLItem* up = item; up; up = up->Parent())
    if (up == subtree) return true;
  return false;
}

struct XmlTree {
  explicit XmlTree(std::shared_ptr<qint64> budget) : charge(std::move(budget)) {}
  ~XmlTree();
  // A document's root, or the item the script created by itself; null
  // once that item moved into another tree.
  std::unique_ptr<TksXMLItem> root;
  // A document's root never leaves it.
  bool document = false;
  QHash<const TksXMLItem*, XmlItemObject*> views;
  Charge charge;

  // Retires the views of `subtree`'s items, `subtree` itself only when
  // `self`. Call before the items go.
  void Retire(const TksXMLItem* subtree, bool self);
};

class XmlItemObject : public ClassesObject {
 public:
  XmlItemObject(std::shared_ptr<XmlTree> tree, TksXMLItem* item)
      : ClassesObject(Meta("TksXMLItem")), tree(std::move(tree)), item(item) {}
  ~XmlItemObject() override {
    if (item && tree) tree->views.remove(item);
  }
  std::shared_ptr<XmlTree> tree;
  TksXMLItem* item;  // null once retired
};

XmlTree::~XmlTree() {
  for (XmlItemObject* view : std::as_const(views)) view->item = nullptr;
}

void XmlTree::Retire(const TksXMLItem* subtree, bool self) {
  for (auto it = views.begin(); it != views.end();) {
    const TksXMLItem* item = it.key();
    if (Within(item, subtree) && (self || item != subtree)) {
      it.value()->item = nullptr;
      it = views.erase(it);
    } else {
      ++it;
    }
  }
}

class XmlDocumentObject : public ClassesObject {
 public:
  explicit XmlDocumentObject(std::shared_ptr<XmlTree> tree)
      : ClassesObject(Meta("TksXMLDocument")), tree(std::move(tree)) {}
  std::shared_ptr<XmlTree> tree;
  bool auto_indent = false;
};

TksXMLItem& ItemOf(ScriptMethodCall& call) {
  XmlItemObject& view = Self<XmlItemObject>(call);
  if (!view.item) throw InvalidReference(call.instance);
  return *view.item;
}
XmlItemObject& ItemArg(ScriptMethodCall& call, int i) {
  XmlItemObject& view = ArgObject<XmlItemObject>(call, i);
  if (!view.item) throw InvalidReference(call.Arg(i));
  return view;
}

// The program's one view of `item` of `tree`.
ScriptValue ViewOf(ScriptMethodCall& call, const std::shared_ptr<XmlTree>& tree, TksXMLItem* item) {
  if (!item) return ScriptValue::Null();
  if (XmlItemObject* view = tree->views.value(item)) return ScriptValue::Object(view);
  auto view = std::make_unique<XmlItemObject>(tree, item);
  XmlItemObject* p = view.get();
  ProgramOf(call).AdoptObject(std::move(view));
  tree->views.insert(item, p);
  return ScriptValue::Object(p);
}

// Makes `target` a copy of `source`; the copy is made first, since
// `source` may lie inside `target`.
void AssignItem(XmlTree& tree, TksXMLItem& target, const TksXMLItem& source) {
  TksXMLItem copy;
  copy.Assign(source);
  const qint64 added = CountItems(copy) - 1;
  const qint64 removed = CountItems(target) - 1;
  tree.charge.Add(added - removed);
  tree.Retire(&target, false);
  target.Assign(copy);
}

// Moves `item` with its children under `parent` at `index`; between trees
// the views and the charge move along.
void MoveItem(XmlItemObject& parent, int index, XmlItemObject& item) {
  if (Within(parent.item, item.item)) return;  // into itself: nothing
  XmlTree& from = *item.tree;
  XmlTree& to = *parent.tree;
  TksXMLItem* moving = item.item;
  if (!moving->Parent() && (from.document || from.root.get() != moving))
    throw ObjectError(ScriptMessage(QStringLiteral("rsScriptXmlRootMove"),
                                    QStringLiteral("The root item of a document cannot be moved")));
  if (&from != &to) {
    const qint64 n = CountItems(*moving);
    to.charge.Add(n);
    from.charge.Add(-n);
    const std::shared_ptr<XmlTree> keep = item.tree;
    for (auto it = from.views.begin(); it != from.views.end();) {
      if (Within(it.key(), moving)) {
        XmlItemObject* view = it.value();
        view->tree = parent.tree;
        to.views.insert(it.key(), view);
        it = from.views.erase(it);
      } else {
        ++it;
      }
    }
    if (from.root.get() == moving) static_cast<void>(from.root.release());
  }
  // InsertItem takes over an item without parent; `from` let go of it.
  parent.item->InsertItem(index, moving);
}

void LoadInto(XmlDocumentObject& doc, const QByteArray& bytes) {
  TksXMLDocument loaded;
  try {
    MemoryStream stream(bytes);
    loaded.LoadFromStream(stream);
  } catch (const Error& e) {
    throw ScriptError(e.Message(), QStringLiteral("EParserError"));
  }
  // Into the same root, so views of the root stay good.
  AssignItem(*doc.tree, *doc.tree->root, *loaded.Root());
}

QByteArray SaveOf(const XmlDocumentObject& doc) {
  MemoryStream stream;
  TksXMLWriter writer(stream);
  writer.SetAutoIndent(doc.auto_indent);
  writer.WriteHeader();
  writer.WriteRootItem(doc.tree->root.get());
  writer.Flush();
  return stream.Data();
}

}  // namespace

void RegisterXml(TksScript& script) {
  using I = XmlItemObject;
  using D = XmlDocumentObject;
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TksXMLItem"), QStringLiteral("TObject"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      auto tree = std::make_shared<XmlTree>(ProgramOf(call).ElementBudget());
      tree->charge.Add(1);
      tree->root = std::make_unique<TksXMLItem>();
      return ViewOf(call, tree, tree->root.get());
    });
    cls->AddProperty(
        QStringLiteral("Name"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(ItemOf(call).Name()); },
        [](ScriptMethodCall& call, const ScriptValue& v) { ItemOf(call).SetName(v.ToString()); });
    cls->AddProperty(
        QStringLiteral("Text"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(ItemOf(call).Text()); },
        [](ScriptMethodCall& call, const ScriptValue& v) { ItemOf(call).SetText(v.ToString()); });
    cls->AddProperty(QStringLiteral("Count"), QStringLiteral("Integer"),
                     [](ScriptMethodCall& call) { return ScriptValue::Int(ItemOf(call).Count()); });
    cls->AddProperty(QStringLiteral("Parent"), QStringLiteral("TksXMLItem"),
                     [](ScriptMethodCall& call) {
                       TksXMLItem& item = ItemOf(call);
                       return ViewOf(call, Self<I>(call).tree, item.Parent());
                     });
    cls->AddMethod(QStringLiteral("function Root: TksXMLItem"), [](ScriptMethodCall& call) {
      TksXMLItem& item = ItemOf(call);
      return ViewOf(call, Self<I>(call).tree, item.Root());
    });
    cls->AddMethod(QStringLiteral("function Add: TksXMLItem"), [](ScriptMethodCall& call) {
      TksXMLItem& item = ItemOf(call);
      I& self = Self<I>(call);
      self.tree->charge.Add(1);
      return ViewOf(call, self.tree, item.Add());
    });
    cls->AddMethod(QStringLiteral("procedure AddItem(Item: TksXMLItem)"),
                   [](ScriptMethodCall& call) {
                     I& self = Self<I>(call);
                     ItemOf(call);
                     MoveItem(self, self.item->Count(), ItemArg(call, 0));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure InsertItem(Index: Integer; Item: TksXMLItem)"),
                   [](ScriptMethodCall& call) {
                     I& self = Self<I>(call);
                     const TksXMLItem& item = ItemOf(call);
                     const qint64 index = call.Arg(0).ToInt64();
                     if (index < 0 || index > item.Count()) throw ListIndexError(index);
                     MoveItem(self, static_cast<int>(index), ItemArg(call, 1));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("function IndexOf(const Name: String): Integer"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Int(ItemOf(call).IndexOf(call.Arg(0).ToString()));
                   });
    cls->AddMethod(QStringLiteral("function FindItem(const Name: String): TksXMLItem"),
                   [](ScriptMethodCall& call) {
                     TksXMLItem& item = ItemOf(call);
                     I& self = Self<I>(call);
                     const QString name = call.Arg(0).ToString();
                     if (item.IndexOf(name) < 0) self.tree->charge.Add(1);
                     return ViewOf(call, self.tree, item.FindItem(name));
                   });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      TksXMLItem& item = ItemOf(call);
      XmlTree& tree = *Self<I>(call).tree;
      tree.charge.Add(1 - CountItems(item));
      tree.Retire(&item, false);
      item.Clear();
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Assign(Item: TksXMLItem)"),
                   [](ScriptMethodCall& call) {
                     TksXMLItem& item = ItemOf(call);
                     AssignItem(*Self<I>(call).tree, item, *ItemArg(call, 0).item);
                     return ScriptValue();
                   });
    cls->AddIndexProperty(QStringLiteral("Prop"), QStringLiteral("String"),
                          QStringLiteral("String"), [](ScriptMethodCall& call) {
                            TksXMLItem& item = ItemOf(call);
                            if (IsSet(call)) {
                              item.SetProp(call.Arg(0).ToString(), call.Arg(1).ToString());
                              return ScriptValue();
                            }
                            return ScriptValue::String(item.Prop(call.Arg(0).ToString()));
                          });
    cls->AddDefaultProperty(
        QStringLiteral("Items"), QStringLiteral("Integer"), QStringLiteral("TksXMLItem"),
        [](ScriptMethodCall& call) {
          TksXMLItem& item = ItemOf(call);
          const qint64 i = call.Arg(0).ToInt64();
          if (i < 0 || i >= item.Count()) throw ListIndexError(i);
          return ViewOf(call, Self<I>(call).tree, item.Items(static_cast<int>(i)));
        },
        true);
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TksXMLDocument"), QStringLiteral("TObject"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      ScriptProgram& program = ProgramOf(call);
      auto tree = std::make_shared<XmlTree>(program.ElementBudget());
      tree->charge.Add(1);
      tree->root = std::make_unique<TksXMLItem>();
      tree->document = true;
      return ScriptValue::Object(program.AdoptObject(std::make_unique<D>(std::move(tree))));
    });
    cls->AddProperty(QStringLiteral("Root"), QStringLiteral("TksXMLItem"),
                     [](ScriptMethodCall& call) {
                       D& doc = Self<D>(call);
                       return ViewOf(call, doc.tree, doc.tree->root.get());
                     });
    cls->AddProperty(
        QStringLiteral("AutoIndent"), QStringLiteral("Boolean"),
        [](ScriptMethodCall& call) { return ScriptValue::Bool(Self<D>(call).auto_indent); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<D>(call).auto_indent = v.ToBool();
        });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      D& doc = Self<D>(call);
      const TksXMLItem empty;
      AssignItem(*doc.tree, *doc.tree->root, empty);
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure LoadFromFile(const FileName: String)"),
                   [](ScriptMethodCall& call) {
                     D& doc = Self<D>(call);
                     LoadInto(doc, ReadScriptFile(call.Arg(0).ToString(), kMaxXmlFileBytes));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure SaveToFile(const FileName: String)"),
                   [](ScriptMethodCall& call) {
                     WriteScriptFile(call.Arg(0).ToString(), SaveOf(Self<D>(call)));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure LoadFromStream(Stream: TStream)"),
                   [](ScriptMethodCall& call) {
                     D& doc = Self<D>(call);
                     LoadInto(doc, ReadRest(ArgObject<StreamObject>(call, 0)));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure SaveToStream(Stream: TStream)"),
                   [](ScriptMethodCall& call) {
                     const QByteArray bytes = SaveOf(Self<D>(call));
                     WriteBytes(ArgObject<StreamObject>(call, 0), bytes);
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure LoadFromString(const Text: String)"),
                   [](ScriptMethodCall& call) {
                     LoadInto(Self<D>(call), call.Arg(0).ToString().toUtf8());
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("function SaveToString: String"), [](ScriptMethodCall& call) {
      return ScriptValue::String(QString::fromUtf8(SaveOf(Self<D>(call))));
    });
  }
}

}  // namespace classes
}  // namespace ovx
