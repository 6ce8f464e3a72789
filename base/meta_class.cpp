#include "base/meta_class.h"

#include "base/object_handle.h"

namespace ovx {

Persistent::~Persistent() { internal::ForgetObjectHandle(this); }

qint64 ToInt(const PropertyValue& v) {
  if (const auto* i = std::get_if<qint64>(&v)) return *i;
  if (const auto* d = std::get_if<double>(&v)) return static_cast<qint64>(*d);
  if (const auto* q = std::get_if<QVariant>(&v)) return q->toLongLong();
  return 0;
}

double ToDouble(const PropertyValue& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<qint64>(&v)) return static_cast<double>(*i);
  if (const auto* q = std::get_if<QVariant>(&v)) return q->toDouble();
  return 0;
}

QString ToText(const PropertyValue& v) {
  if (const auto* s = std::get_if<QString>(&v)) return *s;
  if (const auto* l = std::get_if<QStringList>(&v)) return l->join(QStringLiteral("\r\n"));
  if (const auto* q = std::get_if<QVariant>(&v)) return q->toString();
  return {};
}

QStringList ToStringList(const PropertyValue& v) {
  if (const auto* l = std::get_if<QStringList>(&v)) return *l;
  if (const auto* s = std::get_if<QString>(&v)) return {*s};
  return {};
}

QVariant ToVariant(const PropertyValue& v) {
  if (const auto* q = std::get_if<QVariant>(&v)) return *q;
  if (const auto* i = std::get_if<qint64>(&v)) return QVariant(*i);
  if (const auto* d = std::get_if<double>(&v)) return QVariant(*d);
  if (const auto* s = std::get_if<QString>(&v)) return QVariant(*s);
  return {};
}

Persistent* ToObject(const PropertyValue& v) {
  if (auto* const* o = std::get_if<Persistent*>(&v)) return *o;
  return nullptr;
}

namespace {

std::vector<QString> SplitValueList(const char* comma_separated) {
  std::vector<QString> values;
  for (const QString& part : QString::fromLatin1(comma_separated).split(u',')) {
    const QString value = part.trimmed();
    if (!value.isEmpty()) values.push_back(value);
  }
  return values;
}

}  // namespace

EnumType::EnumType(QString name, std::vector<QString> values)
    : name_(std::move(name)), values_(std::move(values)) {}

EnumType::EnumType(const char* name, const char* comma_separated_values)
    : name_(QString::fromLatin1(name)), values_(SplitValueList(comma_separated_values)) {}

std::optional<int> EnumType::IndexOf(QStringView value_name) const {
  for (int i = 0; i < Count(); ++i) {
    if (value_name.compare(values_[i], Qt::CaseInsensitive) == 0) return i;
  }
  return std::nullopt;
}

QString EnumType::NameOf(qint64 ordinal) const {
  if (ordinal < 0 || ordinal >= Count()) return {};
  return values_[static_cast<size_t>(ordinal)];
}

const EnumType& BooleanType() {
  static const EnumType type(QStringLiteral("Boolean"),
                             {QStringLiteral("False"), QStringLiteral("True")});
  return type;
}

bool PropertyInfo::IsEvent() const {
  return kind == PropertyKind::kString && type_name.startsWith(u"Tovx", Qt::CaseInsensitive) &&
         type_name.endsWith(u"Event", Qt::CaseInsensitive);
}

bool PropertyInfo::HasDefaultValue(const Persistent& o) const {
  return default_value && get && SameValue(get(o), *default_value);
}

bool SameValue(const PropertyValue& a, const PropertyValue& b) { return a == b; }

MetaClass::MetaClass(QString class_name, const MetaClass* parent,
                     std::vector<std::unique_ptr<PropertyInfo>> own_properties, Factory factory)
    : class_name_(std::move(class_name)),
      parent_(parent),
      own_(std::move(own_properties)),
      factory_(std::move(factory)) {
  if (parent_) {
    properties_.assign(parent_->properties_.begin(), parent_->properties_.end());
    index_by_folded_name_ = parent_->index_by_folded_name_;
  }
  for (const auto& property : own_) {
    property->declared_in = this;
    const QString key = property->name.toCaseFolded();
    const auto found = index_by_folded_name_.constFind(key);
    if (found != index_by_folded_name_.constEnd()) {
      properties_[static_cast<size_t>(*found)] = property.get();
    } else {
      index_by_folded_name_.insert(key, static_cast<int>(properties_.size()));
      properties_.push_back(property.get());
    }
  }
}

MetaClass::MetaClass(MetaClass&& other) noexcept
    : class_name_(std::move(other.class_name_)),
      parent_(other.parent_),
      own_(std::move(other.own_)),
      properties_(std::move(other.properties_)),
      index_by_folded_name_(std::move(other.index_by_folded_name_)),
      factory_(std::move(other.factory_)) {
  for (const auto& property : own_) property->declared_in = this;
}

MetaClass::~MetaClass() = default;

bool MetaClass::InheritsFrom(const MetaClass& other) const {
  for (const MetaClass* c = this; c; c = c->parent_) {
    if (c == &other) return true;
  }
  return false;
}

const PropertyInfo* MetaClass::FindProperty(QStringView name) const {
  const auto found = index_by_folded_name_.constFind(name.toString().toCaseFolded());
  return found == index_by_folded_name_.constEnd() ? nullptr
                                                   : properties_[static_cast<size_t>(*found)];
}

Persistent* MetaClass::Create(Persistent* owner) const {
  return factory_ ? factory_(owner) : nullptr;
}

}  // namespace ovx
