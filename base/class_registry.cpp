#include "base/class_registry.h"

namespace ovx {

void ClassRegistry::Register(const MetaClass& meta) {
  const QString key = meta.ClassName().toCaseFolded();
  if (by_folded_name_.contains(key)) return;
  by_folded_name_.insert(key, &meta);
  classes_.push_back(&meta);
}

const MetaClass* ClassRegistry::Find(QStringView class_name) const {
  return by_folded_name_.value(class_name.toString().toCaseFolded(), nullptr);
}

}  // namespace ovx
