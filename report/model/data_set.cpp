#include "report/model/data_set.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "report/model/report.h"

#include <algorithm>

TovxDataSet::TovxDataSet(TovxComponent* owner) : TovxDialogComponent(owner) {
  ovx::DataSetDirectory::Instance().Add(this);
}

TovxDataSet::~TovxDataSet() { ovx::DataSetDirectory::Instance().Remove(this); }

void TovxDataSet::SetUserName(const QString& user_name) {
  if (user_name.trimmed().isEmpty()) {
    throw ovx::Error(QStringLiteral("prInvProp"), QStringLiteral("无效属性值"));
  }
  user_name_ = user_name;
}

void TovxDataSet::SetName(const QString& name) {
  const QString old_name = Name();
  TovxDialogComponent::SetName(name);
  if (user_name_.isEmpty() || user_name_ == old_name) user_name_ = Name();
}

bool TovxDataSet::HasField(const QString& field) const {
  return FieldNames().contains(field, Qt::CaseInsensitive);
}

void TovxDataSet::First() {
  rec_no_ = 0;
  eof_ = false;
  if (on_first) on_first(*this);
}

void TovxDataSet::Next() {
  eof_ = false;
  ++rec_no_;
  if (range_end_ == TovxRangeEnd::reCount && rec_no_ >= range_end_count_) {
    rec_no_ = std::max(range_end_count_ - 1, 0);
    eof_ = true;
    return;
  }
  if (on_next) on_next(*this);
}

void TovxDataSet::Prior() {
  --rec_no_;
  if (on_prior) on_prior(*this);
}

bool TovxDataSet::Eof() const {
  bool eof = false;
  if (range_end_ == TovxRangeEnd::reCount) {
    eof = rec_no_ >= range_end_count_ || eof_;
  } else if (!HasEndTest()) {
    // Nothing can ever say where the rows end: no rows rather than endless.
    eof = true;
  }
  if (on_check_eof) on_check_eof(const_cast<TovxDataSet&>(*this), eof);
  return eof;
}

void TovxCustomDBDataSet::Open() {
  TovxDataSet::Open();
  if (on_open) on_open(*this);
}

void TovxCustomDBDataSet::Close() {
  TovxDataSet::Close();
  if (on_close) on_close(*this);
}

QVariant TovxUserDataSet::Value(const QString& field) const {
  QVariant value;
  if (on_get_value) on_get_value(field, value);
  if (on_new_get_value) on_new_get_value(const_cast<TovxUserDataSet&>(*this), field, value);
  return value;
}

bool TovxUserDataSet::IsBlobField(const QString& field) const {
  return on_is_blob_field ? on_is_blob_field(field) : false;
}

TovxFieldType TovxUserDataSet::FieldType(const QString& field) const {
  TovxFieldType type = TovxFieldType::fftNumeric;
  if (on_get_field_type) on_get_field_type(field, type);
  return type;
}

// --- directory -------------------------------------------------------------------

namespace ovx {

TovxDataSet* FindDataSet(const TovxComponent& context, const QString& user_name) {
  if (user_name.isEmpty()) return nullptr;
  if (const TovxComponent* report = context.Report()) {
    for (TovxComponent* object : report->AllObjects()) {
      auto* data_set = dynamic_cast<TovxDataSet*>(object);
      if (data_set && data_set->UserName().compare(user_name, Qt::CaseInsensitive) == 0) {
        return data_set;
      }
    }
  }
  return DataSetDirectory::Instance().FindByUserName(user_name);
}

DataSetDirectory& DataSetDirectory::Instance() {
  static DataSetDirectory directory;
  return directory;
}

void DataSetDirectory::Add(TovxDataSet* data_set) {
  std::lock_guard lock(mutex_);
  data_sets_.push_back(data_set);
}

void DataSetDirectory::Remove(TovxDataSet* data_set) {
  std::lock_guard lock(mutex_);
  std::erase(data_sets_, data_set);
}

std::vector<TovxDataSet*> DataSetDirectory::List() const {
  std::lock_guard lock(mutex_);
  return data_sets_;
}

TovxDataSet* DataSetDirectory::FindByUserName(const QString& user_name) const {
  std::lock_guard lock(mutex_);
  for (TovxDataSet* data_set : data_sets_) {
    if (data_set->UserName().compare(user_name, Qt::CaseInsensitive) == 0) return data_set;
  }
  return nullptr;
}

}  // namespace ovx

// --- published properties ----------------------------------------------------------

const ovx::MetaClass& TovxDialogComponent::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxDialogComponent;
    ovx::ClassBuilder<C> b("TovxDialogComponent", &TovxReportComponent::StaticMetaClass());
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Float("Top", &C::Top, &C::SetTop).Default(0);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxDataSet::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxDataSet;
    ovx::ClassBuilder<C> b("TovxDataSet", &TovxDialogComponent::StaticMetaClass());
    b.Bool("Enabled", &C::Enabled, &C::SetEnabled).Default(true);
    b.Enum("RangeBegin", &C::RangeBegin, &C::SetRangeBegin).Default(TovxRangeBegin::rbFirst);
    b.Enum("RangeEnd", &C::RangeEnd, &C::SetRangeEnd).Default(TovxRangeEnd::reLast);
    b.Integer("RangeEndCount", &C::RangeEndCount, &C::SetRangeEndCount).Default(0);
    b.String("UserName", &C::UserName, &C::SetUserName);
    b.Method("OnCheckEOF", "TovxCheckEOFEvent");
    b.Method("OnFirst");
    b.Method("OnNext");
    b.Method("OnPrior");
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxUserDataSet::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxUserDataSet;
    ovx::ClassBuilder<C> b("TovxUserDataSet", &TovxDataSet::StaticMetaClass());
    b.StringList("Fields", &C::Fields, &C::SetFields);
    b.Method("OnGetValue", "TovxGetValueEvent");
    b.Method("OnNewGetValue", "TovxNewGetValueEvent");
    b.Method("OnGetBlobValue", "TovxGetBlobValueEvent");
    b.Method("OnIsBlobField", "TovxIsBlobFieldEvent");
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxCustomDBDataSet::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxCustomDBDataSet;
    ovx::ClassBuilder<C> b("TovxCustomDBDataSet", &TovxDataSet::StaticMetaClass());
    b.Bool("CloseDataSource", &C::CloseDataSource, &C::SetCloseDataSource).Default(false);
    b.StringList("FieldAliases", &C::FieldAliases, &C::SetFieldAliases);
    b.Bool("OpenDataSource", &C::OpenDataSource, &C::SetOpenDataSource).Default(true);
    b.Method("OnClose");
    b.Method("OnOpen");
    return b.Build();
  }();
  return meta;
}
