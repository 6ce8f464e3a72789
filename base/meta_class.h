// Property metadata: the one description of every published property.
//
// Each class whose objects are stored, scripted or shown in the object
// inspector describes its published properties once, in declaration order,
// with kind, type name, enumeration names, default, stored rule, getter and
// setter. The template serializer, the prepared-pages differences, the script
// class registry and the inspector all walk this table; there is no second
// reflection mechanism.
//
// A class publishes its table through OVX_META_CLASS and builds it with
// ClassBuilder (base/class_builder.h) in its StaticMetaClass(). The table is
// built on first use and never changes afterwards, so it may be read from any
// thread.
#pragma once

#include "base/enum_set.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace ovx {

class MetaClass;

// Root of every object that has published properties.
class Persistent {
 public:
  Persistent() = default;
  Persistent(const Persistent&) = default;
  Persistent& operator=(const Persistent&) = default;
  // Ends the object's script handle, if it has one (base/object_handle.h).
  virtual ~Persistent();
  virtual const MetaClass& GetMetaClass() const = 0;

  // Data the object keeps beyond its published properties (a picture's
  // bytes), as a binary property record; empty when there is none.
  virtual QByteArray DefinedData() const { return {}; }
  // Takes back what DefinedData gave; throws ovx::Error on damaged data and
  // then leaves the object as it was or empty, never half-read.
  virtual void ReadDefinedData(const QByteArray& record) {}
};

// Declares the class's metadata accessors; the class defines
// StaticMetaClass() in its source file.
#define OVX_META_CLASS                                                                \
 public:                                                                              \
  static const ::ovx::MetaClass& StaticMetaClass();                                   \
  const ::ovx::MetaClass& GetMetaClass() const override { return StaticMetaClass(); } \
                                                                                      \
 private:

enum class PropertyKind {
  kInteger,      // 32-bit integers, colours, cursors
  kChar,         // one character (its code)
  kEnumeration,  // ordinal of an enumeration; Boolean is the enumeration False, True
  kFloat,        // floating point, date-times
  kString,       // text; script event handlers are strings with a "Tovx...Event" type
  kSet,          // bit set over an enumeration
  kObject,       // a nested value object owned by the holder (font, frame, fill)
  kReference,    // a reference to another object, stored by its name
  kStringList,   // a list of lines, stored as "<name>.Text"
  kWideStringList,
  kVariant,
  kInt64,
  kMethod,  // a callback of the host program; never stored
};

// The "class" kinds of the scripting and inspector views of a property.
constexpr bool IsClassKind(PropertyKind kind) {
  return kind == PropertyKind::kObject || kind == PropertyKind::kReference ||
         kind == PropertyKind::kStringList || kind == PropertyKind::kWideStringList;
}

// Ordinal kinds (integer, character, enumeration, set) carry a qint64.
using PropertyValue =
    std::variant<std::monostate, qint64, double, QString, QStringList, QVariant, Persistent*>;

qint64 ToInt(const PropertyValue& v);
double ToDouble(const PropertyValue& v);
QString ToText(const PropertyValue& v);
QStringList ToStringList(const PropertyValue& v);
QVariant ToVariant(const PropertyValue& v);
Persistent* ToObject(const PropertyValue& v);

// The names of an enumeration's values in ordinal order.
class EnumType {
 public:
  EnumType(QString name, std::vector<QString> values);
  // `values` as the comma-separated list OVX_ENUM stringizes.
  EnumType(const char* name, const char* comma_separated_values);

  const QString& Name() const { return name_; }
  const std::vector<QString>& Values() const { return values_; }
  int Count() const { return static_cast<int>(values_.size()); }
  // Case-insensitive, as value names in files and scripts are.
  std::optional<int> IndexOf(QStringView value_name) const;
  // Empty for an ordinal outside the enumeration.
  QString NameOf(qint64 ordinal) const;

 private:
  QString name_;
  std::vector<QString> values_;
};

const EnumType& BooleanType();

// Declares `enum class Name { values... }` together with its EnumType, found
// by argument-dependent lookup as EnumTypeOf(Name{}). One list feeds both,
// so the C++ values and the names in files cannot drift apart.
#define OVX_ENUM(Name, ...)                                 \
  enum class Name { __VA_ARGS__ };                          \
  inline const ::ovx::EnumType& EnumTypeOf(Name) {          \
    static const ::ovx::EnumType type(#Name, #__VA_ARGS__); \
    return type;                                            \
  }

struct PropertyInfo {
  QString name;
  PropertyKind kind = PropertyKind::kInteger;
  // As scripts and the inspector see it: "Integer", "TColor", "Boolean",
  // "TovxAlign", "TovxNotifyEvent", the class name of a nested object.
  QString type_name;
  // Enumeration: its values; set: the values of its elements.
  const EnumType* enum_type = nullptr;
  // Object: the class of the held object; reference: the referenced class.
  // Looked up on demand, since a class may refer to objects of its own kind.
  const MetaClass& (*value_class)() = nullptr;
  // None means the value is written whatever it is.
  std::optional<PropertyValue> default_value;
  // Empty means always stored.
  std::function<bool(const Persistent&)> stored;
  std::function<PropertyValue(const Persistent&)> get;
  // Empty for read-only properties.
  std::function<void(Persistent&, const PropertyValue&)> set;
  // Optional, for plain values: set(to, get(from)) between two objects of
  // the declaring class, without boxing the value (copies of objects by
  // the hundred thousand go through it).
  std::function<void(const Persistent& from, Persistent& to)> copy;
  // Object kind only: the nested object itself, for reading and writing its
  // own properties in place.
  std::function<Persistent*(Persistent&)> object;
  // Object kind, optional: the nested object if the holder has made it,
  // null while it has not (value objects made on first use, which then
  // hold their defaults). Lets a reader skip them without making them.
  std::function<const Persistent*(const Persistent&)> existing;
  const MetaClass* declared_in = nullptr;

  bool IsStored(const Persistent& o) const { return !stored || stored(o); }
  const MetaClass* ValueClass() const { return value_class ? &value_class() : nullptr; }
  bool IsReadOnly() const { return !set; }
  bool IsEvent() const;
  // Whether the current value equals the declared default (false without one).
  bool HasDefaultValue(const Persistent& o) const;
};

// Exact comparison. Floats are compared with different tolerances by
// different users (templates, prepared pages), so those compare ToDouble
// themselves.
bool SameValue(const PropertyValue& a, const PropertyValue& b);

class MetaClass {
 public:
  using Factory = std::function<Persistent*(Persistent* owner)>;

  MetaClass(QString class_name, const MetaClass* parent,
            std::vector<std::unique_ptr<PropertyInfo>> own_properties, Factory factory);
  MetaClass(MetaClass&&) noexcept;
  ~MetaClass();

  const QString& ClassName() const { return class_name_; }
  const MetaClass* Parent() const { return parent_; }
  bool InheritsFrom(const MetaClass& other) const;

  // Every published property, base classes first, each in declaration order.
  // A property a class publishes again keeps its base class's place.
  std::span<const PropertyInfo* const> Properties() const { return properties_; }
  // Case-insensitive.
  const PropertyInfo* FindProperty(QStringView name) const;

  bool CanCreate() const { return static_cast<bool>(factory_); }
  // A new object of this class; for report objects `owner` becomes its parent
  // and owns it, otherwise the caller owns it.
  Persistent* Create(Persistent* owner) const;

 private:
  QString class_name_;
  const MetaClass* parent_;
  std::vector<std::unique_ptr<PropertyInfo>> own_;
  std::vector<const PropertyInfo*> properties_;
  QHash<QString, int> index_by_folded_name_;
  Factory factory_;
};

}  // namespace ovx
