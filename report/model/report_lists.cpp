#include "report/model/report_lists.h"

#include "base/class_builder.h"
#include "report/model/data_set.h"

void TovxDataSetItem::SetDataSet(TovxDataSet* data_set) {
  data_set_ = data_set;
  if (data_set_) data_set_name_ = data_set_->UserName();
}

TovxVariable& TovxVariables::Add() {
  items_.push_back(std::make_unique<TovxVariable>());
  return *items_.back();
}

int TovxVariables::IndexOf(const QString& name) const {
  for (int i = 0; i < Count(); ++i) {
    const TovxVariable& v = Items(i);
    if (!v.IsCategory() && v.Name().compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

QVariant TovxVariables::Value(const QString& name) const {
  const int index = IndexOf(name);
  return index < 0 ? QVariant() : Items(index).Value();
}

void TovxVariables::SetValue(const QString& name, const QVariant& value) {
  const int index = IndexOf(name);
  TovxVariable& variable = index < 0 ? Add() : Items(index);
  if (index < 0) variable.SetName(name);
  variable.SetValue(value);
}

void TovxVariables::Delete(int index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

const ovx::MetaClass& TovxDataSetItem::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxDataSetItem;
    ovx::ClassBuilder<C> b("TovxDataSetItem", nullptr);
    b.Reference("DataSet", "TovxDataSet", &C::DataSet, &C::SetDataSet);
    b.String("DataSetName", &C::DataSetName, &C::SetDataSetName);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new C; });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxVariable::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxVariable;
    ovx::ClassBuilder<C> b("TovxVariable", nullptr);
    b.String("Name", &C::Name, &C::SetName);
    b.Variant("Value", &C::Value, &C::SetValue);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new C; });
    return b.Build();
  }();
  return meta;
}
