#include "report/model/report_lists.h"

#include <algorithm>

#include "base/class_builder.h"
#include "report/model/classes.h"
#include "report/model/data_set.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_serializer.h"

void TovxDataSetItem::SetDataSet(TovxDataSet* data_set) {
  data_set_ = data_set;
  if (data_set_) data_set_name_ = data_set_->UserName();
}

TovxVariable& TovxVariables::Add() {
  items_.push_back(std::make_unique<TovxVariable>());
  return *items_.back();
}

TovxVariables& TovxVariables::operator=(const TovxVariables& other) {
  if (this == &other) return *this;
  std::vector<std::unique_ptr<TovxVariable>> items;
  items.reserve(other.items_.size());
  for (const auto& item : other.items_) {
    auto copy = std::make_unique<TovxVariable>();
    copy->SetName(item->Name());
    copy->SetValue(item->Value());
    items.push_back(std::move(copy));
  }
  items_ = std::move(items);
  return *this;
}

TovxVariable& TovxVariables::Insert(int index) {
  index = std::clamp(index, 0, Count());
  return **items_.insert(items_.begin() + index, std::make_unique<TovxVariable>());
}

int TovxVariables::IndexOfName(const QString& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (Items(i).Name().compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
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

int TovxVariables::HeaderIndex(const QString& category) const {
  const QString header = u' ' + category;
  for (int i = 0; i < Count(); ++i) {
    const TovxVariable& v = Items(i);
    if (v.IsCategory() && v.Name().compare(header, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

int TovxVariables::CategoryEnd(int header) const {
  int end = header + 1;
  while (end < Count() && !Items(end).IsCategory()) ++end;
  return end;
}

void TovxVariables::CategoryNames(QStringList& list, bool clear_first) const {
  if (clear_first) list.clear();
  for (const auto& item : items_) {
    if (item->IsCategory()) list.append(item->Name().mid(1));
  }
}

void TovxVariables::VariablesOfCategory(const QString& category, QStringList& list) const {
  list.clear();
  if (category.isEmpty()) {
    for (int i = 0; i < Count() && !Items(i).IsCategory(); ++i) list.append(Items(i).Name());
    return;
  }
  const int header = HeaderIndex(category);
  if (header < 0) return;
  for (int i = header + 1; i < Count(); ++i) {
    const TovxVariable& v = Items(i);
    if (v.IsCategory() || v.Name().isEmpty()) break;
    list.append(v.Name());
  }
}

void TovxVariables::RemoveCategory(const QString& category) {
  const int header = HeaderIndex(category);
  if (header < 0) return;
  items_.erase(items_.begin() + header, items_.begin() + CategoryEnd(header));
}

void TovxVariables::RemoveVariable(const QString& name) { Delete(IndexOfName(name)); }

void TovxVariables::AddToCategory(const QString& category, const QString& name,
                                  const QVariant& value) {
  const int header = HeaderIndex(category);
  if (header < 0) return;
  const int existing = IndexOfName(name);
  TovxVariable& variable = existing >= 0 ? Items(existing) : Insert(CategoryEnd(header));
  if (existing < 0) variable.SetName(name);
  variable.SetValue(value);
}

namespace {

// The variables of a document that was read whole; another root gives none.
TovxVariables ReadDocument(const TovxXMLDocument& document) {
  TovxVariables loaded;
  const TovxXMLItem& root = *document.Root();
  if (root.Name().compare("variables", Qt::CaseInsensitive) == 0) {
    TovxXMLSerializer serializer(ovx::ReportClasses(), nullptr);
    for (int i = 0; i < root.Count(); ++i) {
      const TovxXMLItem& item = *root.Items(i);
      if (item.Name().compare("item", Qt::CaseInsensitive) != 0) continue;
      serializer.ReadCollectionItem(item.Text(), loaded.Add());
    }
  }
  return loaded;
}

}  // namespace

void TovxVariables::LoadFromFile(const QString& file_name) {
  TovxXMLDocument document;
  document.LoadFromFile(file_name);
  *this = ReadDocument(document);
}

void TovxVariables::LoadFromStream(ovx::Stream& stream) {
  TovxXMLDocument document;
  document.LoadFromStream(stream);
  *this = ReadDocument(document);
}

namespace {

void BuildDocument(const TovxVariables& variables, TovxXMLDocument& document) {
  document.SetAutoIndent(true);
  TovxXMLItem& root = *document.Root();
  root.SetName("variables");
  TovxXMLSerializer serializer(ovx::ReportClasses(), nullptr);
  for (int i = 0; i < variables.Count(); ++i) {
    TovxXMLItem* item = root.Add();
    item->SetName("item");
    item->SetText(serializer.WriteCollectionItem(variables.Items(i)));
  }
}

}  // namespace

void TovxVariables::SaveToFile(const QString& file_name) const {
  TovxXMLDocument document;
  BuildDocument(*this, document);
  document.SaveToFile(file_name);
}

void TovxVariables::SaveToStream(ovx::Stream& stream) const {
  TovxXMLDocument document;
  BuildDocument(*this, document);
  document.SaveToStream(stream);
}

int TovxArray::IndexOf(const QVariant& key) const {
  const QString name = key.toString();
  for (int i = 0; i < Count(); ++i) {
    if (Items(i).Name().compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

QVariant TovxArray::Value(const QVariant& key) const {
  const int index = IndexOf(key);
  return index < 0 ? QVariant() : Items(index).Value();
}

void TovxArray::SetValue(const QVariant& key, const QVariant& value) {
  const int index = IndexOf(key);
  if (index >= 0) {
    items_[static_cast<size_t>(index)]->SetValue(value);
    return;
  }
  auto item = std::make_unique<TovxVariable>();
  item->SetName(key.toString());
  item->SetValue(value);
  items_.push_back(std::move(item));
}

namespace ovx {

QVariant GlobalVariableList::Value(const QString& name) const {
  std::lock_guard lock(mutex_);
  return variables_.Value(name);
}

void GlobalVariableList::SetValue(const QString& name, const QVariant& value) {
  std::lock_guard lock(mutex_);
  variables_.SetValue(name, value);
}

std::optional<QVariant> GlobalVariableList::Find(const QString& name) const {
  std::lock_guard lock(mutex_);
  const int index = variables_.IndexOf(name);
  if (index < 0) return std::nullopt;
  return variables_.Items(index).Value();
}

void GlobalVariableList::Clear() {
  std::lock_guard lock(mutex_);
  variables_.Clear();
}

TovxVariables GlobalVariableList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return variables_;
}

void GlobalVariableList::Access(const std::function<void(TovxVariables&)>& work) {
  std::lock_guard lock(mutex_);
  work(variables_);
}

GlobalVariableList& GlobalVariables() {
  static GlobalVariableList list;
  return list;
}

std::optional<QString> CopyNameVariable(const TovxVariables* report_variables) {
  static const QString kName = QStringLiteral("CopyName");
  if (auto global = GlobalVariables().Find(kName)) return global->toString();
  if (report_variables && report_variables->IndexOf(kName) >= 0) {
    return report_variables->Value(kName).toString();
  }
  return std::nullopt;
}

}  // namespace ovx

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
