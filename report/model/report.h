// The report container: the root of a report's tree and the storage owner of
// every object in it.
//
// A report owns its pages (and through them every band and view), the
// option groups that steer the engine, preview and printing, the lists of
// data sets, variables and styles, and the report script. It loads and saves
// the whole tree as one template document. Loading replaces the content, but
// the host program's own settings survive it: only a few engine and preview
// options are taken from the template (see LoadFromStream).
//
// Errors found while loading are collected (sorted, each once) and shown
// through the host's callback, not by the library: the window that started
// the action decides how to present them.
#pragma once

#include "report/model/component.h"
#include "report/model/expression_evaluator.h"
#include "report/model/report_lists.h"
#include "report/model/report_options.h"
#include "report/model/report_preparation.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class TovxDataSet;
class TovxDrawText;
class TovxStyles;

namespace ovx {
class ClassRegistry;
class ReportPreparation;
class Stream;

// An optional transformation of whole template streams (compression,
// encryption) that a host program may plug into a report.
class ReportStreamCodec {
 public:
  virtual ~ReportStreamCodec() = default;
  // Whether `data` is in this codec's form.
  virtual bool Recognizes(const QByteArray& data) const = 0;
  // Throws ovx::Error when the data does not decode (or the key is wrong).
  virtual QByteArray Decode(const QByteArray& data, const QString& key) const = 0;
  virtual QByteArray Encode(const QByteArray& data, const QString& key) const = 0;
};

}  // namespace ovx

class TovxReport : public TovxComponent {
  OVX_META_CLASS

 public:
  static constexpr const char* kVersion = "6.3.3";

  explicit TovxReport(TovxComponent* owner = nullptr);
  ~TovxReport() override;

  // --- published --------------------------------------------------------------
  QString Version() const { return QString::fromLatin1(kVersion); }
  // Any value written is replaced by the library's version.
  void SetVersion(const QString&) {}
  // The template this one inherits from, relative to this one's folder.
  // Set while loading, it loads that template first: its objects become
  // inherited ones, which this template's "inherited" elements change.
  const QString& ParentReport() const { return parent_report_; }
  void SetParentReport(const QString& file_name);
  TovxDataSet* DataSet() const;
  void SetDataSet(TovxDataSet* data_set);
  const QString& DataSetName() const { return data_set_name_; }
  void SetDataSetName(const QString& name);
  bool DotMatrixReport() const { return dot_matrix_report_; }
  void SetDotMatrixReport(bool on) { dot_matrix_report_ = on; }
  TovxEngineOptions& EngineOptions() { return engine_options_; }
  const TovxEngineOptions& EngineOptions() const { return engine_options_; }
  const QString& IniFile() const { return ini_file_; }
  void SetIniFile(const QString& ini_file) { ini_file_ = ini_file; }
  bool OldStyleProgress() const { return old_style_progress_; }
  void SetOldStyleProgress(bool on) { old_style_progress_ = on; }
  TovxPreviewOptions& PreviewOptions() { return preview_options_; }
  const TovxPreviewOptions& PreviewOptions() const { return preview_options_; }
  TovxPrintOptions& PrintOptions() { return print_options_; }
  const TovxPrintOptions& PrintOptions() const { return print_options_; }
  TovxReportOptions& ReportOptions() { return report_options_; }
  const TovxReportOptions& ReportOptions() const { return report_options_; }
  const QString& ScriptLanguage() const { return script_language_; }
  void SetScriptLanguage(const QString& language) { script_language_ = language; }
  const QStringList& ScriptText() const { return script_text_; }
  void SetScriptText(const QStringList& lines) { script_text_ = lines; }
  bool ShowProgress() const { return show_progress_; }
  void SetShowProgress(bool on) { show_progress_ = on; }
  bool StoreInDFM() const { return store_in_dfm_; }
  void SetStoreInDFM(bool on) { store_in_dfm_ = on; }
  // Names of report-script procedures run on these events.
  const QString& OnRunDialogs() const { return on_run_dialogs_; }
  void SetOnRunDialogs(const QString& procedure) { on_run_dialogs_ = procedure; }
  const QString& OnStartReport() const { return on_start_report_; }
  void SetOnStartReport(const QString& procedure) { on_start_report_ = procedure; }
  const QString& OnStopReport() const { return on_stop_report_; }
  void SetOnStopReport(const QString& procedure) { on_stop_report_ = procedure; }
  const QString& OnReportPrint() const { return on_report_print_; }
  void SetOnReportPrint(const QString& procedure) { on_report_print_ = procedure; }

  // --- lists ------------------------------------------------------------------
  // The data sets the report uses.
  int DataSetCount() const { return static_cast<int>(data_sets_.size()); }
  TovxDataSetItem& DataSets(int index) { return *data_sets_[static_cast<size_t>(index)]; }
  TovxDataSetItem& AddDataSet(TovxDataSet* data_set = nullptr);
  void ClearDataSets() { data_sets_.clear(); }
  // The data set of that user name among the report's data sets (ignoring case).
  TovxDataSet* GetDataset(const QString& alias) const;
  TovxVariables& Variables() { return variables_; }
  const TovxVariables& Variables() const { return variables_; }
  TovxStyles& Styles() { return *styles_; }
  const TovxStyles& Styles() const { return *styles_; }
  // "Date", "Time", "Page", "Page#", "TotalPages", ...
  const QStringList& SystemVariables() const { return system_variables_; }

  // --- errors -------------------------------------------------------------------
  // Problems found while loading or building the report, sorted, each once:
  // the resource text, a space, the object's name.
  const QStringList& Errors() const { return errors_; }
  void AddError(const QString& line);
  void ClearErrors() { errors_.clear(); }
  // Shows a text the way EngineOptions.NewSilentMode asks: through
  // `show_error` for message boxes, not at all when silent, as a thrown
  // ovx::Error ("clErrors") for re-throw.
  void ShowErrorText(const QString& text);

  // --- expressions --------------------------------------------------------------
  // The evaluator of expressions in texts (not owned); none gives every
  // expression back as its own text.
  ovx::ExpressionEvaluator* Evaluator() const { return evaluator_; }
  void SetEvaluator(ovx::ExpressionEvaluator* evaluator) { evaluator_ = evaluator; }
  QVariant Calc(const QString& expression, TovxComponent* context = nullptr) {
    return evaluator_ ? evaluator_->Calc(expression, context) : QVariant(expression);
  }
  void MemoValue(const QVariant& value) {
    if (evaluator_) evaluator_->MemoValue(value);
  }
  // Asked for a name no data field or system variable answers; a value left
  // valid is taken (report scripts and expressions).
  std::function<void(const QString& name, QVariant& value)> on_get_value;
  std::function<void(TovxReport& report, const QString& name, QVariant& value)> on_new_get_value;
  // Called after the report script compiled, before its main block runs.
  std::function<void(TovxReport& report)> on_after_script_compile;
  // Functions the host offers to this report's scripts and expressions,
  // each declared in Pascal ("function Tax(Amount: Double): Double"); a call
  // reaches on_user_function with the upper-cased name and the arguments,
  // written back for by-reference parameters.
  struct UserFunction {
    QString declaration;
    QString category;
    QString description;
  };
  void AddFunction(const QString& declaration, const QString& category = QStringLiteral("ctOther"),
                   const QString& description = QString()) {
    user_functions_.push_back({declaration, category, description});
  }
  const std::vector<UserFunction>& UserFunctions() const { return user_functions_; }
  std::function<QVariant(const QString& name, QVariantList& args)> on_user_function;
  // The report's own text layout object (created on first use).
  TovxDrawText& DrawText();

  // The object being filled from data, for expressions that refer to it.
  TovxComponent* CurrentObject() const { return current_object_; }
  void SetCurrentObject(TovxComponent* object) { current_object_ = object; }

  // --- whole report ---------------------------------------------------------------
  // Reads a template, replacing the content. Answers whether it loaded
  // without errors; the problems are in Errors() and were shown through
  // ShowErrorText. Throws ovx::Error, changing nothing, while the report is
  // being prepared (so do LoadFromFile and Clear).
  [[nodiscard]] bool LoadFromStream(ovx::Stream& stream);
  // Writes the report as a template. Throws ovx::Error when the stream fails.
  void SaveToStream(ovx::Stream& stream, bool save_children = true,
                    bool save_default_values = false);
  // Clears the report, then loads the file if it exists; answers whether it
  // existed (a file that exists but is damaged answers true, with errors).
  bool LoadFromFile(const QString& file_name);
  // Writes through a temporary file renamed into place; throws ovx::Error
  // with the file name and reason when that fails.
  void SaveToFile(const QString& file_name);
  // The file last loaded, empty after loading from a stream.
  const QString& FileName() const { return file_name_; }

  TovxComponent* FindObject(const QString& name) const override;
  ovx::StoredObject* ResolveOutsideReference(const QString& name) const override;
  // Destroys pages and objects (inherited ones are kept empty) and resets
  // lists and options to those of a new report.
  void Clear() override;
  void WriteCollections(TovxXMLItem& element, TovxXMLSerializer& serializer) const override;
  bool ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) override;

  // --- host program ---------------------------------------------------------------
  // Classes templates may hold; the library's own by default.
  const ovx::ClassRegistry& Classes() const;
  void SetClasses(const ovx::ClassRegistry* classes) { classes_ = classes; }
  // Plug-ins for compressed and encrypted templates (not owned; none by default).
  void SetCompressor(const ovx::ReportStreamCodec* codec) { compressor_ = codec; }
  void SetEncryptor(const ovx::ReportStreamCodec* codec) { encryptor_ = codec; }
  // The password given for the next load (of an encrypted or protected
  // template).
  void SetLoadPassword(const QString& password) { load_password_ = password; }
  // Asks the user for a template's password; none or nullopt cancels.
  std::function<std::optional<QString>()> ask_password;
  // Shows an error text (message boxes belong to the host's windows).
  std::function<void(const QString&)> show_error;
  // Host events raised around each object during preparation.
  std::function<void(TovxComponent&)> on_before_print;
  std::function<void(TovxComponent&)> on_after_print;

  // --- preparation ------------------------------------------------------------------
  // Runs the engine (installed by the engine module, see
  // report_preparation.h); answers whether pages were prepared. Throws
  // ovx::Error when no engine is installed.
  bool PrepareReport(bool clear_last_report = true);
  // Shows the report in a preview: through `show_prepared` once the pages
  // are prepared, else in the installed preview window, which prepares the
  // report while it shows (see report_preparation.h); without either it only
  // prepares. Nothing while a preparation runs. Answers whether it prepared
  // (or, with the preview window, whether the window opened).
  bool ShowReport(bool clear_last_report = true);
  // Shows the pages prepared so far (`show_prepared`, else the installed
  // preview window).
  void ShowPrepared();
  // The engine and store of this report, created on first use (null when no
  // engine is installed).
  ovx::ReportPreparation* Preparation();
  // Safe to set from another thread than the one preparing.
  bool Terminated() const { return terminated_.load(std::memory_order_relaxed); }
  // Asks a running preparation to stop at its next page, band or record.
  void SetTerminated(bool terminated) { terminated_.store(terminated, std::memory_order_relaxed); }
  // Shows the prepared pages (the preview belongs to the host).
  std::function<void(TovxReport&)> show_prepared;
  // Progress of a preparation: started, one more page (its number), stopped.
  std::function<void()> on_progress_start;
  std::function<void(int)> on_progress;
  std::function<void()> on_progress_stop;

 private:
  // Throws ovx::Error while a preparation of this report runs.
  void RefuseWhilePreparing() const;
  // The template's own part of loading, between decoding and the checks.
  void ReadTemplate(ovx::Stream& stream, bool decrypted);
  // Reads the ancestor template `file_name` into this report and marks
  // everything it holds as inherited.
  void LoadAncestor(const QString& file_name);
  QString AncestorPath(const QString& file_name) const;
  // A data page named "Data" first among the children; stray data objects
  // moved onto it.
  void EnsureDataPage();
  void ShowLoadErrors();

  QString parent_report_;
  mutable TovxDataSet* data_set_ = nullptr;
  QString data_set_name_;
  bool dot_matrix_report_ = false;
  TovxEngineOptions engine_options_;
  QString ini_file_;
  bool old_style_progress_ = false;
  TovxPreviewOptions preview_options_;
  TovxPrintOptions print_options_;
  TovxReportOptions report_options_;
  QString script_language_;
  QStringList script_text_;
  bool show_progress_ = true;
  bool store_in_dfm_ = true;
  QString on_run_dialogs_;
  QString on_start_report_;
  QString on_stop_report_;
  QString on_report_print_;

  std::vector<std::unique_ptr<TovxDataSetItem>> data_sets_;
  TovxVariables variables_;
  std::unique_ptr<TovxStyles> styles_;
  QStringList system_variables_;
  QStringList errors_;
  QString file_name_;
  // Where relative ancestor names are found: the folder of the template
  // being read or written (the current folder for streams).
  QString base_directory_;
  int ancestor_depth_ = 0;
  QString load_password_;

  ovx::ExpressionEvaluator* evaluator_ = nullptr;
  std::vector<UserFunction> user_functions_;
  std::unique_ptr<TovxDrawText> draw_text_;
  TovxComponent* current_object_ = nullptr;
  const ovx::ClassRegistry* classes_ = nullptr;
  const ovx::ReportStreamCodec* compressor_ = nullptr;
  const ovx::ReportStreamCodec* encryptor_ = nullptr;
  std::atomic<bool> terminated_{false};
  // Destroyed before the pages (members go before the base's children).
  std::unique_ptr<ovx::ReportPreparation> preparation_;
};
