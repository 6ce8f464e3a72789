// The text form of a property value, as templates store it: enumeration
// values by name ("poLandscape", "True"), other ordinals and sets as decimal
// numbers, floats in the general number format, string lists joined by
// CR LF, references by the referenced object's name.
#pragma once

#include "base/meta_class.h"

#include <QString>

namespace ovx {

// Empty for nested objects and host callbacks, which have no text of their own.
QString PropertyText(const PropertyInfo& property, const Persistent& object);

// The same for a value of the property's kind.
QString PropertyValueText(const PropertyInfo& property, const PropertyValue& value);

}  // namespace ovx
