// Building a class's property table.
//
//   const ovx::MetaClass& TovxComponent::StaticMetaClass() {
//     static const ovx::MetaClass meta = [] {
//       ovx::ClassBuilder<TovxComponent> b("TovxComponent", nullptr);
//       b.String("Name", &TovxComponent::Name, &TovxComponent::SetName).Stored(false);
//       b.Integer("Tag", &TovxComponent::Tag, &TovxComponent::SetTag).Default(0);
//       return b.Build();
//     }();
//     return meta;
//   }
//
// Getters and setters are member functions of the class or of one of its
// bases; the builder adapts them to the untyped PropertyInfo. Properties are
// added in declaration order, which is also the order they are written in.
#pragma once

#include "base/meta_class.h"

#include <concepts>
#include <type_traits>
#include <utility>

namespace ovx {

template <class T>
struct IsEnumSet : std::false_type {};
template <class E>
struct IsEnumSet<EnumSet<E>> : std::true_type {
  using Element = E;
};

// Options of the property just added.
class PropertyBuilder {
 public:
  explicit PropertyBuilder(PropertyInfo& info) : info_(info) {}

  // Converted to the property's own value type, so Default(0) on a float
  // property is 0.0.
  template <class V>
  PropertyBuilder& Default(V value) {
    info_.default_value = Convert(value);
    return *this;
  }
  PropertyBuilder& Stored(bool stored) {
    if (stored) {
      info_.stored = nullptr;
    } else {
      info_.stored = [](const Persistent&) { return false; };
    }
    return *this;
  }
  template <class Object, class Predicate>
  PropertyBuilder& StoredWhen(Predicate predicate) {
    info_.stored = [predicate](const Persistent& o) {
      return predicate(static_cast<const Object&>(o));
    };
    return *this;
  }
  // For a nested object made on first use: the object if made, else null.
  template <class Object, class Get>
  PropertyBuilder& ExistingWhen(Get get) {
    info_.existing = [get](const Persistent& o) -> const Persistent* {
      return get(static_cast<const Object&>(o));
    };
    return *this;
  }
  PropertyBuilder& TypeName(QString type_name) {
    info_.type_name = std::move(type_name);
    return *this;
  }

 private:
  template <class V>
  PropertyValue Convert(V value) const {
    if constexpr (IsEnumSet<V>::value) {
      return static_cast<qint64>(value.Bits());
    } else if constexpr (std::is_enum_v<V> || std::is_integral_v<V> ||
                         std::is_floating_point_v<V>) {
      if (info_.kind == PropertyKind::kFloat) return static_cast<double>(value);
      return static_cast<qint64>(value);
    } else {
      return QString(value);
    }
  }

  PropertyInfo& info_;
};

template <class T>
class ClassBuilder {
 public:
  ClassBuilder(const char* class_name, const MetaClass* parent)
      : class_name_(QString::fromLatin1(class_name)), parent_(parent) {}

  // A class that can be created by name, with `owner` as the constructor's
  // argument when the class takes one.
  ClassBuilder& Creatable(MetaClass::Factory factory) {
    factory_ = std::move(factory);
    return *this;
  }

  template <class G, class S>
  PropertyBuilder Integer(const char* name, G get, S set, const char* type_name = "Integer") {
    PropertyBuilder b =
        Add(name, PropertyKind::kInteger, type_name,
            Getter(get, [](auto v) { return PropertyValue(static_cast<qint64>(v)); }),
            Setter(set, [](const PropertyValue& v) { return static_cast<int>(ToInt(v)); }));
    Last().copy = Copier(get, set, [](auto v) { return static_cast<int>(static_cast<qint64>(v)); });
    return b;
  }
  template <class G, class S>
  PropertyBuilder Color(const char* name, G get, S set) {
    return Integer(name, get, set, "TColor");
  }
  template <class G, class S>
  PropertyBuilder Bool(const char* name, G get, S set) {
    PropertyBuilder b =
        Add(name, PropertyKind::kEnumeration, "Boolean",
            Getter(get, [](bool v) { return PropertyValue(static_cast<qint64>(v ? 1 : 0)); }),
            Setter(set, [](const PropertyValue& v) { return ToInt(v) != 0; }));
    Last().enum_type = &BooleanType();
    Last().copy = Copier(get, set, [](bool v) { return v; });
    return b;
  }
  template <class G, class S>
  PropertyBuilder Enum(const char* name, G get, S set) {
    using E = std::decay_t<std::invoke_result_t<G, const T&>>;
    const EnumType& type = EnumTypeOf(E{});
    PropertyBuilder b =
        Add(name, PropertyKind::kEnumeration, type.Name(),
            Getter(get, [](E v) { return PropertyValue(static_cast<qint64>(v)); }), nullptr);
    Last().enum_type = &type;
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      // An ordinal outside the enumeration never reaches the object.
      Last().set = [set, count = type.Count()](Persistent& o, const PropertyValue& v) {
        const qint64 ordinal = ToInt(v);
        if (ordinal >= 0 && ordinal < count) std::invoke(set, Self(o), static_cast<E>(ordinal));
      };
      Last().copy = [get, set, count = type.Count()](const Persistent& from, Persistent& to) {
        const auto ordinal = static_cast<qint64>(std::invoke(get, Self(from)));
        if (ordinal >= 0 && ordinal < count) std::invoke(set, Self(to), static_cast<E>(ordinal));
      };
    }
    return b;
  }
  template <class G, class S>
  PropertyBuilder Set(const char* name, const char* set_type_name, G get, S set) {
    using SetType = std::decay_t<std::invoke_result_t<G, const T&>>;
    using E = typename IsEnumSet<SetType>::Element;
    const EnumType& type = EnumTypeOf(E{});
    PropertyBuilder b =
        Add(name, PropertyKind::kSet, set_type_name,
            Getter(get, [](SetType v) { return PropertyValue(static_cast<qint64>(v.Bits())); }),
            nullptr);
    Last().enum_type = &type;
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      // Bits beyond the enumeration's values are dropped.
      const std::uint32_t mask = type.Count() >= 32 ? ~0u : (1u << type.Count()) - 1;
      Last().set = [set, mask](Persistent& o, const PropertyValue& v) {
        std::invoke(set, Self(o), SetType::FromBits(static_cast<std::uint32_t>(ToInt(v)) & mask));
      };
      Last().copy = [get, set, mask](const Persistent& from, Persistent& to) {
        const SetType value = std::invoke(get, Self(from));
        std::invoke(set, Self(to),
                    SetType::FromBits(static_cast<std::uint32_t>(value.Bits()) & mask));
      };
    }
    return b;
  }
  template <class G, class S>
  PropertyBuilder Float(const char* name, G get, S set, const char* type_name = "Extended") {
    return Add(name, PropertyKind::kFloat, type_name,
               Getter(get, [](double v) { return PropertyValue(v); }),
               Setter(set, [](const PropertyValue& v) { return ToDouble(v); }));
  }
  template <class G, class S>
  PropertyBuilder String(const char* name, G get, S set, const char* type_name = "String") {
    PropertyBuilder b = Add(name, PropertyKind::kString, type_name,
                            Getter(get, [](const QString& v) { return PropertyValue(v); }),
                            Setter(set, [](const PropertyValue& v) { return ToText(v); }));
    Last().copy = Copier(get, set, [](const QString& v) -> const QString& { return v; });
    return b;
  }
  // The name of a report-script procedure run on an event.
  template <class G, class S>
  PropertyBuilder Event(const char* name, G get, S set, const char* type_name = "TovxNotifyEvent") {
    return String(name, get, set, type_name);
  }
  template <class G, class S>
  PropertyBuilder StringList(const char* name, G get, S set, bool wide = false) {
    return Add(name, wide ? PropertyKind::kWideStringList : PropertyKind::kStringList,
               wide ? "TWideStrings" : "TStrings",
               Getter(get, [](const QStringList& v) { return PropertyValue(v); }),
               Setter(set, [](const PropertyValue& v) { return ToStringList(v); }));
  }
  template <class G, class S>
  PropertyBuilder Variant(const char* name, G get, S set) {
    return Add(name, PropertyKind::kVariant, "Variant",
               Getter(get, [](const QVariant& v) { return PropertyValue(v); }),
               Setter(set, [](const PropertyValue& v) { return ToVariant(v); }));
  }
  // A nested value object reached through a non-const accessor returning a
  // reference; `set` (optional) copies a whole object in.
  template <class A, class S>
  PropertyBuilder Object(const char* name, A access, S set) {
    using Held = std::remove_reference_t<std::invoke_result_t<A, T&>>;
    const MetaClass& held_class = Held::StaticMetaClass();
    auto reach = [access](Persistent& o) -> Persistent* { return &std::invoke(access, Self(o)); };
    PropertyBuilder b = Add(
        name, PropertyKind::kObject, held_class.ClassName(),
        [reach](const Persistent& o) { return PropertyValue(reach(const_cast<Persistent&>(o))); },
        nullptr);
    Last().object = reach;
    Last().value_class = &Held::StaticMetaClass;
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      Last().set = [set](Persistent& o, const PropertyValue& v) {
        if (auto* source = dynamic_cast<const Held*>(ToObject(v)))
          std::invoke(set, Self(o), *source);
      };
    }
    return b;
  }
  template <class A>
  PropertyBuilder Object(const char* name, A access) {
    return Object(name, access, nullptr);
  }
  // A reference to another object; `get` answers a pointer (or null). The
  // type name is the referenced class's name, given here because the class
  // may be the one being built.
  template <class G, class S>
  PropertyBuilder Reference(const char* name, const char* type_name, G get, S set) {
    using Target = std::remove_pointer_t<std::decay_t<std::invoke_result_t<G, const T&>>>;
    using Plain = std::remove_const_t<Target>;
    PropertyBuilder b =
        Add(name, PropertyKind::kReference, type_name,
            Getter(get,
                   [](Target* v) {
                     return PropertyValue(static_cast<Persistent*>(const_cast<Plain*>(v)));
                   }),
            nullptr);
    Last().value_class = &Plain::StaticMetaClass;
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      Last().set = [set](Persistent& o, const PropertyValue& v) {
        Persistent* target = ToObject(v);
        auto* typed = dynamic_cast<Plain*>(target);
        if (target == nullptr || typed != nullptr) std::invoke(set, Self(o), typed);
      };
    }
    return b;
  }
  // A callback of the host program: listed, never stored.
  PropertyBuilder Method(const char* name, const char* type_name = "TNotifyEvent") {
    PropertyBuilder b = Add(name, PropertyKind::kMethod, type_name, nullptr, nullptr);
    Last().stored = [](const Persistent&) { return false; };
    return b;
  }

  MetaClass Build() {
    return MetaClass(class_name_, parent_, std::move(properties_), std::move(factory_));
  }

 private:
  static const T& Self(const Persistent& o) { return static_cast<const T&>(o); }
  static T& Self(Persistent& o) { return static_cast<T&>(o); }

  template <class G, class Box>
  static std::function<PropertyValue(const Persistent&)> Getter(G get, Box box) {
    return [get, box](const Persistent& o) { return box(std::invoke(get, Self(o))); };
  }
  // set(to, convert(get(from))), or none for a read-only property.
  template <class G, class S, class Convert>
  static std::function<void(const Persistent&, Persistent&)> Copier(G get, S set, Convert convert) {
    if constexpr (std::is_same_v<S, std::nullptr_t>) {
      return nullptr;
    } else {
      return [get, set, convert](const Persistent& from, Persistent& to) {
        std::invoke(set, Self(to), convert(std::invoke(get, Self(from))));
      };
    }
  }
  template <class S, class Unbox>
  static std::function<void(Persistent&, const PropertyValue&)> Setter(S set, Unbox unbox) {
    if constexpr (std::is_same_v<S, std::nullptr_t>) {
      return nullptr;
    } else {
      return [set, unbox](Persistent& o, const PropertyValue& v) {
        std::invoke(set, Self(o), unbox(v));
      };
    }
  }

  PropertyBuilder Add(const char* name, PropertyKind kind, const QString& type_name,
                      std::function<PropertyValue(const Persistent&)> get,
                      std::function<void(Persistent&, const PropertyValue&)> set) {
    auto info = std::make_unique<PropertyInfo>();
    info->name = QString::fromLatin1(name);
    info->kind = kind;
    info->type_name = type_name;
    info->get = std::move(get);
    info->set = std::move(set);
    properties_.push_back(std::move(info));
    return PropertyBuilder(Last());
  }
  PropertyBuilder Add(const char* name, PropertyKind kind, const char* type_name,
                      std::function<PropertyValue(const Persistent&)> get,
                      std::function<void(Persistent&, const PropertyValue&)> set) {
    return Add(name, kind, QString::fromLatin1(type_name), std::move(get), std::move(set));
  }
  PropertyInfo& Last() { return *properties_.back(); }

  QString class_name_;
  const MetaClass* parent_;
  std::vector<std::unique_ptr<PropertyInfo>> properties_;
  MetaClass::Factory factory_;
};

}  // namespace ovx
