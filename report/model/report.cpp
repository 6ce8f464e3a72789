#include "report/model/report.h"
#include "report/model/report_preparation.h"

#include "base/class_builder.h"
#include "base/class_registry.h"
#include "base/error.h"
#include "render/draw_text.h"
#include "report/model/classes.h"
#include "report/model/data_set.h"
#include "report/model/styles.h"

#include <algorithm>

namespace {

const QStringList& SystemVariableNames() {
  static const QStringList names = {"Date",       "Time",        "Page",       "Page#",
                                    "TotalPages", "TotalPages#", "Line",       "Line#",
                                    "CopyName#",  "TableRow",    "TableColumn"};
  return names;
}

QStringList DefaultScript() { return {QStringLiteral("begin"), QString(), QStringLiteral("end.")}; }

}  // namespace

TovxReport::TovxReport(TovxComponent* owner)
    : TovxComponent(owner), styles_(std::make_unique<TovxStyles>(this)) {
  ini_file_ = QStringLiteral("\\Software\\Orvane Works");
  Clear();
}

TovxReport::~TovxReport() {
  if (preparation_ && preparation_->Running()) {
    SetTerminated(true);
    preparation_->StopAndWait();
  }
  // A preview window borrows the report and its pages: it lets go first.
  if (ovx::PreviewHost* host = ovx::GetPreviewHost()) host->ReportDestroyed(*this);
}

TovxDrawText& TovxReport::DrawText() {
  if (!draw_text_) draw_text_ = std::make_unique<TovxDrawText>();
  return *draw_text_;
}

// A preparation walks the pages and objects: clearing or loading the
// report under it (from one of its own event handlers, or from another
// thread) would free them while it runs.
void TovxReport::RefuseWhilePreparing() const {
  if (preparation_ && preparation_->Running()) {
    throw ovx::Error(QStringLiteral("rsReportRunning"),
                     QStringLiteral("The report cannot be cleared or loaded while it is being "
                                    "prepared"));
  }
}

void TovxReport::Clear() {
  RefuseWhilePreparing();
  TovxComponent::Clear();
  data_sets_.clear();
  variables_.Clear();
  styles_->Clear();
  engine_options_.SetConvertNulls(true);
  engine_options_.SetIgnoreDevByZero(false);
  engine_options_.SetDoublePass(false);
  // Not in the original list of resets, but a template's value must not leak
  // into the next one loaded into the same report.
  engine_options_.SetPrintIfEmpty(true);
  preview_options_.ResetTemplateOptions();
  print_options_.Clear();
  report_options_.Clear();
  data_set_ = nullptr;
  data_set_name_.clear();
  dot_matrix_report_ = false;
  parent_report_.clear();
  script_language_ = QStringLiteral("PascalScript");
  script_text_ = DefaultScript();
  system_variables_ = SystemVariableNames();
  on_run_dialogs_.clear();
  on_start_report_.clear();
  on_stop_report_.clear();
}

// --- data sets --------------------------------------------------------------------

TovxDataSet* TovxReport::DataSet() const {
  if (!data_set_ && !data_set_name_.isEmpty()) data_set_ = ovx::FindDataSet(*this, data_set_name_);
  return data_set_;
}

void TovxReport::SetDataSet(TovxDataSet* data_set) {
  data_set_ = data_set;
  data_set_name_ = data_set ? data_set->UserName() : QString();
}

void TovxReport::SetDataSetName(const QString& name) {
  data_set_name_ = name;
  data_set_ = nullptr;
}

TovxDataSetItem& TovxReport::AddDataSet(TovxDataSet* data_set) {
  data_sets_.push_back(std::make_unique<TovxDataSetItem>());
  if (data_set) data_sets_.back()->SetDataSet(data_set);
  return *data_sets_.back();
}

TovxDataSet* TovxReport::GetDataset(const QString& alias) const {
  for (const auto& item : data_sets_) {
    TovxDataSet* data_set = item->DataSet();
    if (!data_set && !item->DataSetName().isEmpty())
      data_set = ovx::FindDataSet(*this, item->DataSetName());
    if (data_set && data_set->UserName().compare(alias, Qt::CaseInsensitive) == 0) return data_set;
  }
  return nullptr;
}

TovxComponent* TovxReport::FindObject(const QString& name) const {
  if (TovxComponent* found = TovxComponent::FindObject(name)) return found;
  return dynamic_cast<TovxComponent*>(ResolveOutsideReference(name));
}

// While loading, a reference may name a data set of the report's list that
// lives outside the report.
ovx::StoredObject* TovxReport::ResolveOutsideReference(const QString& name) const {
  if (!IsLoading() || engine_options_.UseGlobalDataSetList()) return nullptr;
  for (const auto& item : data_sets_) {
    TovxDataSet* data_set = item->DataSet();
    if (data_set && data_set->Name().compare(name, Qt::CaseInsensitive) == 0) return data_set;
  }
  return nullptr;
}

// --- errors -----------------------------------------------------------------------

void TovxReport::AddError(const QString& line) {
  const auto it = std::lower_bound(errors_.begin(), errors_.end(), line);
  if (it == errors_.end() || *it != line) errors_.insert(it, line);
}

void TovxReport::ShowErrorText(const QString& text) {
  switch (engine_options_.NewSilentMode()) {
    case TovxSilentMode::simMessageBoxes:
      if (show_error) show_error(text);
      break;
    case TovxSilentMode::simSilent:
      break;
    case TovxSilentMode::simReThrow:
      throw ovx::Error(QStringLiteral("clErrors"), text);
  }
}

void TovxReport::ShowLoadErrors() {
  if (errors_.isEmpty()) return;
  ShowErrorText(QStringLiteral("发生下列的错误:") + u'\n' + errors_.join(u'\n'));
}

const ovx::ClassRegistry& TovxReport::Classes() const {
  return classes_ ? *classes_ : ovx::ReportClasses();
}

// --- published properties ------------------------------------------------------------

const ovx::MetaClass& TovxReport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxReport;
    ovx::ClassBuilder<C> b("TovxReport", &TovxComponent::StaticMetaClass());
    b.String("Version", &C::Version, &C::SetVersion).Default(TovxReport::kVersion);
    b.String("ParentReport", &C::ParentReport, &C::SetParentReport);
    b.Reference("DataSet", "TovxDataSet", &C::DataSet, &C::SetDataSet).Stored(false);
    b.String("DataSetName", &C::DataSetName, &C::SetDataSetName);
    b.Bool("DotMatrixReport", &C::DotMatrixReport, &C::SetDotMatrixReport);
    b.Object("EngineOptions", [](C& c) -> TovxEngineOptions& { return c.EngineOptions(); });
    b.String("IniFile", &C::IniFile, &C::SetIniFile).Default("\\Software\\Orvane Works");
    b.Bool("OldStyleProgress", &C::OldStyleProgress, &C::SetOldStyleProgress).Default(false);
    b.Object("PreviewOptions", [](C& c) -> TovxPreviewOptions& { return c.PreviewOptions(); });
    b.Object("PrintOptions", [](C& c) -> TovxPrintOptions& { return c.PrintOptions(); });
    b.Object("ReportOptions", [](C& c) -> TovxReportOptions& { return c.ReportOptions(); });
    b.String("ScriptLanguage", &C::ScriptLanguage, &C::SetScriptLanguage).Default("PascalScript");
    b.StringList("ScriptText", &C::ScriptText, &C::SetScriptText);
    b.Bool("ShowProgress", &C::ShowProgress, &C::SetShowProgress).Default(true);
    b.Bool("StoreInDFM", &C::StoreInDFM, &C::SetStoreInDFM).Default(true);
    for (const char* event :
         {"OnAfterPrint",   "OnBeforeConnect",      "OnAfterDisconnect", "OnBeforePrint",
          "OnBeginDoc",     "OnClickObject",        "OnDblClickObject",  "OnEndDoc",
          "OnGetValue",     "OnNewGetValue",        "OnManualBuild",     "OnMouseOverObject",
          "OnMouseEnter",   "OnMouseLeave",         "OnPreview",         "OnPrintPage",
          "OnPrintReport",  "OnAfterPrintReport",   "OnProgressStart",   "OnProgress",
          "OnProgressStop", "OnUserFunction",       "OnLoadTemplate",    "OnLoadDetailTemplate",
          "OnClosePreview", "OnAfterScriptCompile", "OnGetCustomData",   "OnSaveCustomData"}) {
      b.Method(event);
    }
    b.Event("OnRunDialogs", &C::OnRunDialogs, &C::SetOnRunDialogs, "TovxRunDialogsEvent");
    b.Event("OnStartReport", &C::OnStartReport, &C::SetOnStartReport);
    b.Event("OnStopReport", &C::OnStopReport, &C::SetOnStopReport);
    b.Event("OnReportPrint", &C::OnReportPrint, &C::SetOnReportPrint);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
