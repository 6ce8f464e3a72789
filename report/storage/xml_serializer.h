// The object serializer: report objects to XML elements and back.
//
// An object is an element named after its class; its published properties
// are attributes in declaration order (nested value objects as dotted names
// "Font.Name", string lists as "<name>.Text"), written only where the
// property's stored rule says so and its value differs from the declared
// default (or from the ancestor's value in inherited templates). Child
// objects are child elements. The same walk produces the one-line object
// records of prepared reports and applies attribute texts to single objects.
//
// Strings are written as UTF-8. Reading takes UTF-8 and, where the bytes
// are not valid UTF-8 (files of older versions), the narrow code page GBK.
//
// Reading never stops at a bad value: a value that does not convert, an
// enumeration name or ordinal outside its type, a non-finite number, an
// unknown class, damaged picture data all add a line to the error list
// (sorted, each line once) and reading goes on. Only a damaged document
// structure ends a read, with TovxInvalidXMLException.
//
// No object of a tree is lost: an element whose name an object read earlier
// already holds (or whose name is refused) makes a new object, which gets a
// generated name; the error list says which name was replaced by which.
#pragma once

#include "base/class_registry.h"
#include "base/meta_class.h"
#include "report/storage/stored_object.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class TovxXMLItem;

namespace ovx {
class Stream;
}

class TovxXMLSerializer {
 public:
  // `owner` is the report being read or written: it resolves references and
  // finds the objects an inherited template already holds.
  TovxXMLSerializer(const ovx::ClassRegistry& classes, ovx::StoredObject* owner);
  ~TovxXMLSerializer();
  TovxXMLSerializer(const TovxXMLSerializer&) = delete;
  TovxXMLSerializer& operator=(const TovxXMLSerializer&) = delete;

  // --- switches -------------------------------------------------------------
  // Let objects write and read their nested collections (report and memo).
  bool HandleNestedProperties() const { return handle_nested_; }
  void SetHandleNestedProperties(bool on) { handle_nested_ = on; }
  // Write every stored property, defaults included (used to copy objects).
  bool SerializeDefaultValues() const { return write_defaults_; }
  void SetSerializeDefaultValues(bool on) { write_defaults_ = on; }
  // Inherited templates: the ancestor's object of the same name, or null.
  std::function<const ovx::StoredObject*(const ovx::StoredObject&)> ancestor_of;
  // Data of the host program, in an element "OvxCustomData" under the top.
  std::function<void(TovxXMLItem&)> save_custom_data;
  std::function<void(const TovxXMLItem&)> load_custom_data;

  // --- trees ----------------------------------------------------------------
  // Writes `root` (and its children when asked) as a template document.
  void WriteRootComponent(const ovx::StoredObject& root, bool save_children, ovx::Stream& stream);
  // Builds the element tree of `root` under `element` without writing it.
  void WriteComponentTree(const ovx::StoredObject& root, bool save_children, TovxXMLItem& element);
  // Reads a template document into `root`: its attributes, collections and
  // children, then resolves references and runs the loaded hooks. Throws
  // TovxInvalidXMLException for a damaged document (after reading what it
  // could).
  void ReadRootComponent(ovx::StoredObject& root, ovx::Stream& stream);
  // The same from an element already read.
  void ReadComponentTree(ovx::StoredObject& root, const TovxXMLItem& element);

  // --- single objects -------------------------------------------------------
  // The attribute text of `object`'s properties (each attribute after a
  // space), compared with `ancestor` when given; `prefix` goes before every
  // name ("Font." for a nested object).
  QByteArray WriteProperties(const ovx::Persistent& object, const QByteArray& prefix = {},
                             const ovx::Persistent* ancestor = nullptr);
  // Applies an attribute text to `object`; references wait for
  // ResolveReferences.
  void ReadProperties(const QByteArray& text, ovx::Persistent& object);
  // The class name followed by the attribute text.
  QByteArray ObjectToString(const ovx::StoredObject& object);
  // "<" + ObjectToString + "/>", straight to the stream.
  void WriteObjectRecord(const ovx::StoredObject& object, ovx::Stream& stream);
  // Creates an object from a record's text under `parent`, reads its
  // attributes, resolves references and runs its loaded hook. Null (and an
  // error line) for an unknown class.
  ovx::StoredObject* ReadObjectRecord(const QByteArray& text, ovx::StoredObject* parent);

  // --- collections ----------------------------------------------------------
  // The attribute text of a collection item ("InheritedName" first when
  // `ancestor_name` is given, "uin" last when `unique_number` > 0).
  QByteArray WriteCollectionItem(const ovx::Persistent& item,
                                 const ovx::Persistent* ancestor = nullptr,
                                 const QString& ancestor_name = {}, int unique_number = 0);
  // Applies an item element's attributes and resolves references.
  void ReadCollectionItem(const QByteArray& text, ovx::Persistent& item);

  // Assigns the references read so far: names found through the owner;
  // names no object has leave the reference empty.
  void ResolveReferences();

  // The problems met while reading, sorted, each once.
  const QStringList& Errors() const;
  void AddError(const QString& line);

 private:
  struct Fixup {
    ovx::Persistent* object;
    const ovx::PropertyInfo* property;
    QString name;
  };

  void WriteObjectAttributes(const ovx::Persistent& object, const QByteArray& prefix,
                             const ovx::Persistent* ancestor, QByteArray& out);
  void WriteObjectElement(const ovx::StoredObject& object, bool save_children, bool is_top,
                          TovxXMLItem& element);
  void ReadElement(ovx::StoredObject& object, const TovxXMLItem& element, bool is_top,
                   std::vector<ovx::StoredObject*>& read);
  void ReadChildElement(ovx::StoredObject& parent, const TovxXMLItem& element,
                        std::vector<ovx::StoredObject*>& read);
  // The name first (when `take_name`), then the rest: raw for objects kept
  // as read, property by property otherwise.
  void ReadAttributes(ovx::StoredObject& object, const QByteArray& text, bool take_name);
  // Names the object as stored; a refused name goes to the error list, and
  // while a tree is read the object gets a generated name instead.
  void TakeName(ovx::StoredObject& object, const QString& name);
  void ReadAttribute(ovx::Persistent& object, const QByteArray& name, const QByteArray& value);
  void SetPropertyFromText(ovx::Persistent& object, const ovx::PropertyInfo& property,
                           const QByteArray& value, const QByteArray& attribute);

  const ovx::ClassRegistry& classes_;
  ovx::StoredObject* owner_;
  bool handle_nested_ = true;
  bool write_defaults_ = false;
  // While a tree is read, references wait for its end (they may point
  // forward); single items and records resolve at once.
  bool reading_tree_ = false;
  // The name of the object being read, for error lines.
  QString current_object_name_;
  // The objects a tree read has reached so far: a second element of the same
  // name makes an object of its own instead of reading into the first.
  QSet<const ovx::StoredObject*> read_objects_;
  std::vector<Fixup> fixups_;
  // Sorted when asked for; the set keeps each line once.
  mutable QStringList errors_;
  mutable bool errors_sorted_ = true;
  QSet<QString> error_set_;
};
