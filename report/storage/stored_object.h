// What the object serializer needs of a report object beyond its published
// properties.
//
// The serializer walks trees of report objects without knowing the report
// model: the model's base class implements this interface. Its published
// properties come from the property metadata (base/meta_class.h); the tree,
// the name, the loading state and the few kinds of content that are not
// plain properties (a memo's text, nested collections such as a memo's
// formats, the attributes of classes kept as they were read) come from here.
#pragma once

#include "base/meta_class.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class TovxXMLItem;
class TovxXMLSerializer;

namespace ovx {

class StoredObject : public Persistent {
 public:
  // --- identity and tree --------------------------------------------------
  virtual QString StoredName() const = 0;
  // Throws ovx::Error when the name is refused (not an identifier, taken).
  virtual void SetStoredName(const QString& name) = 0;
  // Gives the object a generated name that no other object holds; used when
  // the stored name was refused, so that the object stays reachable.
  virtual void TakeFreshStoredName() {}
  // The element name: the class name, or the class an object stands in for.
  virtual QString StoredClassName() const { return GetMetaClass().ClassName(); }
  // The children in storage order.
  virtual std::vector<StoredObject*> StoredChildren() const = 0;
  // Whether an object of `child_class` may be a child of this one.
  virtual bool CanContain(const MetaClass& child_class) const { return true; }
  // Moves the object to the end of its parent's children.
  virtual void MoveToEnd() = 0;
  // Comes from an ancestor template (inherited reports).
  virtual bool IsInherited() const = 0;
  // An object this one stores (as a report stores all of its objects) by
  // name: where an inherited template's objects are found while reading.
  virtual StoredObject* FindStored(const QString& name) const = 0;
  // The object a reference of this tree names (the report's own lookup).
  virtual StoredObject* ResolveReference(const QString& name) const { return FindStored(name); }
  // The same among objects outside the tree (a report's data sets that the
  // host program holds), for names no object of the tree has.
  virtual StoredObject* ResolveOutsideReference(const QString& name) const { return nullptr; }

  // --- loading --------------------------------------------------------------
  virtual void SetLoading(bool loading) = 0;
  // After the whole tree was read and its references resolved.
  virtual void Loaded() {}

  // --- content that is not a plain property --------------------------------
  // A memo's text, written as "Text" after all properties.
  virtual std::optional<QString> StoredText() const { return std::nullopt; }
  virtual void SetStoredText(const QString& text) {}
  // Objects of classes that are kept as they were read answer their
  // attributes (everything but Name) instead of published properties.
  virtual std::optional<QByteArray> RawAttributes() const { return std::nullopt; }
  virtual bool SetRawAttributes(const QByteArray& attributes) { return false; }
  // Nested collections, written as child elements before the child objects.
  virtual void WriteCollections(TovxXMLItem& element, TovxXMLSerializer& serializer) const {}
  // Offered each child element first; answers whether it was a collection.
  virtual bool ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) {
    return false;
  }
};

}  // namespace ovx
