#include "report/model/internal/name_registry.h"

namespace ovx {

const NameRegistry::Entry* NameRegistry::Find(const QString& name) const {
  const auto it = entries_.find(Key(name));
  return it == entries_.end() ? nullptr : &it->second;
}

TovxComponent* NameRegistry::ObjectNamed(const QString& name) const {
  const Entry* entry = Find(name);
  return entry ? entry->object : nullptr;
}

void NameRegistry::Add(const QString& name, TovxComponent* object) {
  const auto [it, inserted] = entries_.insert({Key(name), Entry{object, false}});
  if (!inserted && it->second.object == nullptr) it->second.object = object;
}

void NameRegistry::AddMarker(const QString& name) {
  const auto [it, inserted] = entries_.insert({Key(name), Entry{nullptr, true}});
  if (!inserted) it->second.marker = true;
}

void NameRegistry::Remove(const QString& name, const TovxComponent* object) {
  const auto it = entries_.find(Key(name));
  if (it == entries_.end() || it->second.object != object) return;
  if (it->second.marker) {
    it->second.object = nullptr;
  } else {
    entries_.erase(it);
  }
}

qsizetype NameRegistry::CountBetween(const QString& low, const QString& high) const {
  const QString low_key = Key(low);
  const QString high_key = Key(high);
  if (!(low_key < high_key)) return 0;
  qsizetype count = static_cast<qsizetype>(entries_.order_of_key(high_key)) -
                    static_cast<qsizetype>(entries_.order_of_key(low_key));
  if (entries_.find(low_key) != entries_.end()) --count;
  return count;
}

}  // namespace ovx
