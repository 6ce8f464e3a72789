// The report's lists that are stored as nested collections: the data sets a
// report uses and its variables.
#pragma once

#include "base/meta_class.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class TovxDataSet;

namespace ovx {
class Stream;
}

// One data set the report uses.
class TovxDataSetItem : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxDataSet* DataSet() const { return data_set_; }
  void SetDataSet(TovxDataSet* data_set);
  // The user name of the data set, resolved when the data set is asked for.
  const QString& DataSetName() const { return data_set_name_; }
  void SetDataSetName(const QString& name) { data_set_name_ = name; }

 private:
  TovxDataSet* data_set_ = nullptr;
  QString data_set_name_;
};

// A named value of the report. A name beginning with a blank is a category
// header: the variables after it, up to the next header, belong to it.
class TovxVariable : public ovx::Persistent {
  OVX_META_CLASS

 public:
  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  // Null when created.
  const QVariant& Value() const { return value_; }
  void SetValue(const QVariant& value) { value_ = value; }
  bool IsCategory() const { return name_.startsWith(u' '); }

 private:
  QString name_;
  QVariant value_;
};

class TovxVariables {
 public:
  TovxVariables() = default;
  TovxVariables(const TovxVariables& other) { *this = other; }
  TovxVariables& operator=(const TovxVariables& other);
  TovxVariables(TovxVariables&&) noexcept = default;
  TovxVariables& operator=(TovxVariables&&) noexcept = default;

  int Count() const { return static_cast<int>(items_.size()); }
  TovxVariable& Items(int index) { return *items_[static_cast<size_t>(index)]; }
  const TovxVariable& Items(int index) const { return *items_[static_cast<size_t>(index)]; }
  TovxVariable& Add();
  // A new variable at `index` (0..Count()).
  TovxVariable& Insert(int index);
  // A variable (not a category) named `name`, ignoring case; -1 when none.
  int IndexOf(const QString& name) const;
  // The first entry, header or variable, whose name equals `name` ignoring
  // case; -1 when none.
  int IndexOfName(const QString& name) const;
  // The value of variable `name`; Null when there is none.
  QVariant Value(const QString& name) const;
  // Sets the value, adding the variable at the end when it does not exist.
  void SetValue(const QString& name, const QVariant& value);
  void Delete(int index);
  void Clear() { items_.clear(); }

  // --- categories -----------------------------------------------------------
  // Appends the names of the category headers, without their leading blank.
  void CategoryNames(QStringList& list, bool clear_first = true) const;
  // Replaces `list` by the names of the category's variables: those after
  // the header " " + `category` (ignoring case) up to the next header or a
  // nameless entry; for an empty category those before the first header;
  // nothing for an unknown one.
  void VariablesOfCategory(const QString& category, QStringList& list) const;
  // Removes the header and the variables after it up to the next header.
  void RemoveCategory(const QString& category);
  void RemoveVariable(const QString& name);
  // Nothing when the category has no header. A variable `name` that exists
  // anywhere gets the value; otherwise a new one goes after the category's
  // last variable.
  void AddToCategory(const QString& category, const QString& name, const QVariant& value);

  // --- variables files ------------------------------------------------------
  // An XML document whose root "variables" holds one "item" per variable.
  // Loading replaces the list only once the whole document was read: a
  // damaged file throws and leaves the list as it was; a readable document
  // with another root empties it. Saving goes through a temporary file, so a
  // failed save keeps the old file and throws.
  void LoadFromFile(const QString& file_name);
  void LoadFromStream(ovx::Stream& stream);
  void SaveToFile(const QString& file_name) const;
  void SaveToStream(ovx::Stream& stream) const;

 private:
  int HeaderIndex(const QString& category) const;
  // One past the last entry of the category whose header is at `header`.
  int CategoryEnd(int header) const;

  std::vector<std::unique_ptr<TovxVariable>> items_;
};

// Named values addressed by a key of any type: the key's text names the
// entry, ignoring case.
class TovxArray {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TovxVariable& Items(int index) const { return *items_[static_cast<size_t>(index)]; }
  // Null when no entry is named by the key.
  QVariant Value(const QVariant& key) const;
  // Appends an entry named by the key's text when none matches.
  void SetValue(const QVariant& key, const QVariant& value);
  int IndexOf(const QVariant& key) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TovxVariable>> items_;
};

namespace ovx {

// The process-wide variables of the host program and of scripts. Reports
// may be prepared on worker threads, so every access takes the lock; the
// list itself is reached only inside Access.
class GlobalVariableList {
 public:
  QVariant Value(const QString& name) const;
  void SetValue(const QString& name, const QVariant& value);
  // The variable's value, or nothing when there is no such variable.
  std::optional<QVariant> Find(const QString& name) const;
  void Clear();
  // A copy, for callers that walk the list.
  TovxVariables Snapshot() const;
  // Runs `work` with the list under the lock; `work` must not come back
  // here (the lock is not recursive).
  void Access(const std::function<void(TovxVariables&)>& work);

 private:
  mutable std::mutex mutex_;
  TovxVariables variables_;
};

GlobalVariableList& GlobalVariables();

// The copy name the page-count and copy-name macros print before the copy
// number: the global variable "CopyName", else the report's variable of
// that name (`report_variables` may be null); nothing when neither exists.
std::optional<QString> CopyNameVariable(const TovxVariables* report_variables);

}  // namespace ovx
