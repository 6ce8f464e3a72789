// Classes that can be created by name.
//
// Templates and prepared reports name each object's class; loading looks the
// name up here. A registry is a plain object filled by an explicit call (each
// module offers a Register...Classes function), so a test can build a fresh
// one and nothing depends on the order of static initialisation.
#pragma once

#include "base/meta_class.h"

#include <QHash>
#include <QString>

#include <vector>

namespace ovx {

class ClassRegistry {
 public:
  // Registering a class again, or another class under the same name
  // (ignoring case), keeps the first.
  void Register(const MetaClass& meta);
  // Case-insensitive; null for a name never registered.
  const MetaClass* Find(QStringView class_name) const;
  // In registration order.
  const std::vector<const MetaClass*>& Classes() const { return classes_; }

 private:
  QHash<QString, const MetaClass*> by_folded_name_;
  std::vector<const MetaClass*> classes_;
};

}  // namespace ovx
