#include "report/storage/property_text.h"

#include "base/number_format.h"
#include "report/storage/stored_object.h"

namespace ovx {

QString PropertyValueText(const PropertyInfo& property, const PropertyValue& value) {
  switch (property.kind) {
    case PropertyKind::kEnumeration: {
      const qint64 ordinal = ToInt(value);
      const QString name = property.enum_type ? property.enum_type->NameOf(ordinal) : QString();
      return name.isEmpty() ? QString::number(ordinal) : name;
    }
    case PropertyKind::kInteger:
    case PropertyKind::kChar:
    case PropertyKind::kSet:
    case PropertyKind::kInt64:
      return QString::number(ToInt(value));
    case PropertyKind::kFloat:
      return FormatFloat(ToDouble(value));
    case PropertyKind::kString:
      return ToText(value);
    case PropertyKind::kVariant:
      return ToVariant(value).toString();
    case PropertyKind::kStringList:
    case PropertyKind::kWideStringList:
      return ToStringList(value).join(QStringLiteral("\r\n"));
    case PropertyKind::kReference: {
      const auto* target = dynamic_cast<const StoredObject*>(ToObject(value));
      return target ? target->StoredName() : QString();
    }
    case PropertyKind::kObject:
    case PropertyKind::kMethod:
      return {};
  }
  return {};
}

QString PropertyText(const PropertyInfo& property, const Persistent& object) {
  if (!property.get) return {};
  return PropertyValueText(property, property.get(object));
}

}  // namespace ovx
