// Data sets: the rows that data bands repeat over and memos take fields from.
//
// A data set lives on the report's data page. It walks its records with
// First/Next/Eof; the host program supplies the rows of a user data set
// through callbacks. Every data set is listed in a process-wide directory
// while it exists, so a report can use data sets the host program created
// outside it.
#pragma once

#include "report/model/component.h"

#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>
#include <vector>

OVX_ENUM(TovxRangeBegin, rbFirst, rbCurrent)
OVX_ENUM(TovxRangeEnd, reLast, reCurrent, reCount)
// What a field holds, as far as a Null in it matters (ConvertNulls).
OVX_ENUM(TovxFieldType, fftNumeric, fftString, fftBoolean)

// Non-visual objects of the data page (data sets, databases).
class TovxDialogComponent : public TovxReportComponent {
  OVX_META_CLASS

 public:
  explicit TovxDialogComponent(TovxComponent* owner = nullptr) : TovxReportComponent(owner) {}
};

class TovxDataSet : public TovxDialogComponent {
  OVX_META_CLASS

 public:
  explicit TovxDataSet(TovxComponent* owner = nullptr);
  ~TovxDataSet() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  TovxRangeBegin RangeBegin() const { return range_begin_; }
  void SetRangeBegin(TovxRangeBegin range_begin) { range_begin_ = range_begin; }
  TovxRangeEnd RangeEnd() const { return range_end_; }
  void SetRangeEnd(TovxRangeEnd range_end) { range_end_ = range_end; }
  int RangeEndCount() const { return range_end_count_; }
  void SetRangeEndCount(int count) { range_end_count_ = count; }
  // The name report authors see and expressions use.
  const QString& UserName() const { return user_name_; }
  // Throws ovx::Error ("prInvProp") for a blank name.
  void SetUserName(const QString& user_name);
  // Open the data source when the report runs.
  bool OpenDataSourceOnRun() const { return open_on_run_; }
  void SetOpenDataSourceOnRun(bool open) { open_on_run_ = open; }

  // Renaming keeps UserName in step while it still follows the name.
  void SetName(const QString& name) override;

  // --- opening -------------------------------------------------------------------
  // Connects the data source; a data set starts closed. The engine opens the
  // data sets a run uses and closes only those it opened.
  virtual void Open() { active_ = true; }
  virtual void Close() { active_ = false; }
  bool Active() const { return active_; }

  // --- walking the records ------------------------------------------------------
  virtual void First();
  virtual void Next();
  virtual void Prior();
  virtual bool Eof() const;
  int RecNo() const { return rec_no_; }

  // --- fields ---------------------------------------------------------------------
  virtual QStringList FieldNames() const { return {}; }
  bool HasField(const QString& field) const;
  virtual QVariant Value(const QString& field) const { return {}; }
  virtual QString DisplayText(const QString& field) const { return Value(field).toString(); }
  virtual bool IsBlobField(const QString& field) const { return false; }
  // Numeric unless the data set knows better.
  virtual TovxFieldType FieldType(const QString& field) const {
    (void)field;
    return TovxFieldType::fftNumeric;
  }

  // Host callbacks.
  std::function<void(TovxDataSet&, bool& eof)> on_check_eof;
  std::function<void(TovxDataSet&)> on_first;
  std::function<void(TovxDataSet&)> on_next;
  std::function<void(TovxDataSet&)> on_prior;

 protected:
  // Without an end-of-data test from the host, a data set ends where its
  // record count says; with neither, it has no records.
  virtual bool HasEndTest() const { return static_cast<bool>(on_check_eof); }

 private:
  bool enabled_ = true;
  TovxRangeBegin range_begin_ = TovxRangeBegin::rbFirst;
  TovxRangeEnd range_end_ = TovxRangeEnd::reLast;
  int range_end_count_ = 0;
  QString user_name_;
  bool open_on_run_ = true;
  int rec_no_ = 0;
  bool eof_ = false;
  bool active_ = false;
};

// A data set whose rows the host program supplies through callbacks.
class TovxUserDataSet : public TovxDataSet {
  OVX_META_CLASS

 public:
  explicit TovxUserDataSet(TovxComponent* owner = nullptr) : TovxDataSet(owner) {}

  const QStringList& Fields() const { return fields_; }
  void SetFields(const QStringList& fields) { fields_ = fields; }

  QStringList FieldNames() const override { return fields_; }
  // From on_get_value, then on_new_get_value; empty when neither is set.
  QVariant Value(const QString& field) const override;
  bool IsBlobField(const QString& field) const override;
  // From on_get_field_type; numeric when it is not set.
  TovxFieldType FieldType(const QString& field) const override;

  std::function<void(const QString& field, QVariant& value)> on_get_value;
  std::function<void(TovxUserDataSet&, const QString& field, QVariant& value)> on_new_get_value;
  std::function<void(const QString& field, QByteArray& blob)> on_get_blob_value;
  std::function<bool(const QString& field)> on_is_blob_field;
  // Answers the type of a field (for null values the report converts);
  // `type` comes in as fftNumeric.
  std::function<void(const QString& field, TovxFieldType& type)> on_get_field_type;

 private:
  QStringList fields_;
};

// The base of data sets over database tables and queries.
class TovxCustomDBDataSet : public TovxDataSet {
  OVX_META_CLASS

 public:
  explicit TovxCustomDBDataSet(TovxComponent* owner = nullptr) : TovxDataSet(owner) {}

  bool CloseDataSource() const { return close_data_source_; }
  void SetCloseDataSource(bool close) { close_data_source_ = close; }
  const QStringList& FieldAliases() const { return field_aliases_; }
  void SetFieldAliases(const QStringList& aliases) { field_aliases_ = aliases; }
  bool OpenDataSource() const { return open_data_source_; }
  void SetOpenDataSource(bool open) { open_data_source_ = open; }

  // Open and Close tell the host through on_open and on_close.
  void Open() override;
  void Close() override;

  std::function<void(TovxCustomDBDataSet&)> on_open;
  std::function<void(TovxCustomDBDataSet&)> on_close;

 private:
  bool close_data_source_ = false;
  QStringList field_aliases_;
  bool open_data_source_ = true;
};

namespace ovx {

// The data set a property names by its user name (ignoring case): first
// among the objects of `context`'s report, then among the host program's
// data sets. Null when there is none.
TovxDataSet* FindDataSet(const TovxComponent& context, const QString& user_name);

// Every data set that exists in the process, for reports that use data
// sets of the host program. Safe to use from several threads.
class DataSetDirectory {
 public:
  static DataSetDirectory& Instance();
  void Add(TovxDataSet* data_set);
  void Remove(TovxDataSet* data_set);
  // A copy, so callers may walk it while others create data sets.
  std::vector<TovxDataSet*> List() const;
  // The first data set whose UserName is `user_name` (ignoring case).
  TovxDataSet* FindByUserName(const QString& user_name) const;

 private:
  mutable std::mutex mutex_;
  std::vector<TovxDataSet*> data_sets_;
};

}  // namespace ovx
