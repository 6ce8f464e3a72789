// The report's lists that are stored as nested collections: the data sets a
// report uses and its variables.
#pragma once

#include "base/meta_class.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class TovxDataSet;

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
  int Count() const { return static_cast<int>(items_.size()); }
  TovxVariable& Items(int index) { return *items_[static_cast<size_t>(index)]; }
  const TovxVariable& Items(int index) const { return *items_[static_cast<size_t>(index)]; }
  TovxVariable& Add();
  // A variable (not a category) named `name`, ignoring case; -1 when none.
  int IndexOf(const QString& name) const;
  // The value of variable `name`; Null when there is none.
  QVariant Value(const QString& name) const;
  // Sets the value, adding the variable at the end when it does not exist.
  void SetValue(const QString& name, const QVariant& value);
  void Delete(int index);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TovxVariable>> items_;
};
