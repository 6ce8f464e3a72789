// The sorted, case-insensitive name index kept at the root of a report tree.
//
// Names compare by their upper-case form, so a generated name can count the
// entries that sort between "Memo0" and "MemoA" (the names "Memo" followed
// by a digit) in logarithmic time; an order-statistics tree gives both the
// lookups and those counts. An entry may be a marker: a name placed by name
// generation that no object holds. A marker never blocks an object from
// taking its name, and it stays when that object lets the name go again, so
// the sequence of generated names does not depend on it.
#pragma once

#include <QString>

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

class TovxComponent;

namespace ovx {

class NameRegistry {
 public:
  struct Entry {
    TovxComponent* object = nullptr;
    bool marker = false;
  };

  // The entry for `name`, or null.
  const Entry* Find(const QString& name) const;
  // The object holding `name`, or null (also for a bare marker).
  TovxComponent* ObjectNamed(const QString& name) const;
  // Adds `name` for `object`; an existing entry held by another object wins
  // (duplicates are ignored), a bare marker is taken over.
  void Add(const QString& name, TovxComponent* object);
  void AddMarker(const QString& name);
  // Removes `name` if `object` holds it; a marker entry only loses its object.
  void Remove(const QString& name, const TovxComponent* object);
  // The number of entries that sort strictly between `low` and `high`.
  qsizetype CountBetween(const QString& low, const QString& high) const;
  qsizetype Count() const { return static_cast<qsizetype>(entries_.size()); }

 private:
  struct KeyLess {
    bool operator()(const QString& a, const QString& b) const { return a < b; }
  };
  using Tree = __gnu_pbds::tree<QString, Entry, KeyLess, __gnu_pbds::rb_tree_tag,
                                __gnu_pbds::tree_order_statistics_node_update>;

  static QString Key(const QString& name) { return name.toUpper(); }

  Tree entries_;
};

}  // namespace ovx
