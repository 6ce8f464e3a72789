// Export filters: the base every filter derives from, the filters with a
// settings dialog, and the run that drives a filter over prepared pages.
//
// A filter is a long-lived component (the host keeps one per format); an
// export run lives inside one TovxPreviewPages::Export call, which this
// module installs (ovx::InstallExport), since the engine below cannot see
// filters. The run calls the filter in a fixed order:
//
//   ShowModal (when ShowDialog), PrepareFileName, Start, then per exported
//   page StartPage, ExportObject for each exported object, FinishPage;
//   then Finish and AfterFinish.
//
// Finish and AfterFinish also run when a page fails; they do not run when
// Start refuses. Objects are offered first to the export hook registered
// for their class (ovx::ObjectExportHooks); ExportObject sees only those
// the hook declines.
//
// A run answers true when it reached its end or the user cancelled it
// (EExportTerminated), false when a dialog was cancelled, the filter could
// not start, or an error occurred. Errors go to the report's error list
// and are shown the way the report's silent mode asks; they never escape
// the run except in re-throw mode.
//
// Every filter registers itself in the process-wide list of filters when
// created (unless created unregistered) and leaves it when destroyed; the
// preview's export menu lists that collection.
#pragma once

#include "report/model/component.h"

#include <QDateTime>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TovxCustomIOTransport;
class TovxPreviewPages;
class TovxReport;
class TovxReportPage;

namespace ovx {
class ExportRun;
class PageRanges;
class Stream;

// The result of a modal dialog, numbered as the platform numbers them.
enum class ModalResult { kNone = 0, kOk = 1, kCancel = 2 };
}  // namespace ovx

// Ends an export run when the user cancels it; the run closes normally.
class EExportTerminated : public std::exception {
 public:
  const char* what() const noexcept override { return "export terminated"; }
};

class TovxCustomExportFilter : public TovxComponent {
  OVX_META_CLASS

 public:
  // With `registered`, the filter joins ovx::ExportFilters() until it is
  // destroyed.
  explicit TovxCustomExportFilter(TovxComponent* owner = nullptr, bool registered = true);
  ~TovxCustomExportFilter() override;

  // --- published ------------------------------------------------------------------
  // Where output goes; none: a default transport made for each run.
  TovxCustomIOTransport* IOTransport() const { return io_transport_; }
  void SetIOTransport(TovxCustomIOTransport* transport) { io_transport_ = transport; }
  bool ShowDialog() const { return show_dialog_; }
  // Also drops the cached file-dialog transport.
  void SetShowDialog(bool on);
  // Put back after every run: a name chosen in the save dialog does not stay.
  const QString& FileName() const { return file_name_; }
  void SetFileName(const QString& file_name) { file_name_ = file_name; }
  bool ExportNotPrintable() const { return export_not_printable_; }
  void SetExportNotPrintable(bool on) { export_not_printable_ = on; }
  bool UseFileCache() const { return use_file_cache_; }
  void SetUseFileCache(bool on) { use_file_cache_ = on; }
  // The folder of file names without one.
  const QString& DefaultPath() const { return default_path_; }
  void SetDefaultPath(const QString& path) { default_path_ = path; }
  bool ShowProgress() const { return show_progress_; }
  void SetShowProgress(bool on) { show_progress_ = on; }
  bool OverwritePrompt() const { return overwrite_prompt_; }
  void SetOverwritePrompt(bool on) { overwrite_prompt_ = on; }
  // When the last run started (local time).
  const QDateTime& CreationTime() const { return creation_time_; }
  void SetCreationTime(const QDateTime& time) { creation_time_ = time; }
  // Only objects on data bands are exported.
  bool DataOnly() const { return data_only_; }
  void SetDataOnly(bool on) { data_only_ = on; }
  // Host callbacks: before the dialog, and when the pages start.
  std::function<void(TovxCustomExportFilter&)> on_before_export;
  std::function<void(TovxCustomExportFilter&)> on_begin_export;

  // --- public fields ----------------------------------------------------------------
  // The report being exported (set by the run). Hides TovxComponent::Report:
  // a filter is never part of a report's tree.
  TovxReport* Report() const { return report_; }
  void SetReport(TovxReport* report) { report_ = report; }
  // When set, output goes to this stream (not owned) and no file or dialog
  // is used.
  ovx::Stream* Stream() const { return stream_; }
  void SetStream(ovx::Stream* stream) { stream_ = stream; }
  // Page numbers and ranges ("1,3,5-12", "4-"); empty: all pages.
  const QString& PageNumbers() const { return page_numbers_; }
  void SetPageNumbers(const QString& text) { page_numbers_ = text; }
  // Export only the page the preview shows (page 1 without a preview).
  bool CurPage() const { return cur_page_; }
  void SetCurPage(bool on) { cur_page_ = on; }
  bool OpenAfterExport() const { return open_after_export_; }
  void SetOpenAfterExport(bool on) { open_after_export_ = on; }
  // With the dot (".jpg").
  const QString& DefaultExt() const { return default_ext_; }
  void SetDefaultExt(const QString& ext) { default_ext_ = ext; }
  // "Description|*.ext".
  const QString& FilterDesc() const { return filter_desc_; }
  void SetFilterDesc(const QString& text) { filter_desc_ = text; }
  // Page headers only on the first page, page footers only on the last.
  bool SuppressPageBands() const { return suppress_page_bands_; }
  void SetSuppressPageBands(bool on) { suppress_page_bands_ = on; }
  // Output to a temporary file (for mail and the like); see PrepareFileName.
  bool TemporaryOutput() const { return temporary_output_; }
  void SetTemporaryOutput(bool on) { temporary_output_ = on; }

  // The file-dialog transport kept between runs (made on first use, or
  // chosen in the settings dialog); dropped by SetShowDialog.
  TovxCustomIOTransport* DialogTransport() const { return dialog_transport_.get(); }
  void SetDialogTransport(std::unique_ptr<TovxCustomIOTransport> transport);

  // --- protocol -----------------------------------------------------------------------
  // What the export menu calls the filter; empty here.
  QString GetDescription() const override { return {}; }
  // OK here.
  virtual ovx::ModalResult ShowModal() { return ovx::ModalResult::kOk; }
  // With TemporaryOutput and no FileName: a name in the temporary folder
  // (the report's file name, or a new temporary name, with DefaultExt). A
  // FileName without a folder is put in DefaultPath.
  virtual void PrepareFileName();
  // Answers false to stop the run before any page (Finish is not called).
  [[nodiscard]] virtual bool Start() { return true; }
  // `index` is the page's 0-based index in the prepared report.
  virtual void StartPage(TovxReportPage& page, int index) {}
  virtual void ExportObject(TovxComponent& object) = 0;
  virtual void FinishPage(TovxReportPage& page, int index) {}
  virtual void Finish() {}
  virtual void AfterFinish() {}
  // The transport used when neither IOTransport nor Stream is set and the
  // dialog is on: a file-dialog transport.
  virtual std::unique_ptr<TovxCustomIOTransport> CreateDefaultIOTransport();

  // --- output, for filters ------------------------------------------------------------
  // The stream output goes to: Stream when set, else a new stream from the
  // run's transport for `file_name`. Give it back with FinishOutput, which
  // completes the file. Throws ovx::Error outside a run or when the file
  // cannot be opened.
  ovx::Stream& BeginOutput(const QString& file_name);
  void FinishOutput(ovx::Stream& stream);
  // Gives back a stream whose file must not be completed (a run that failed
  // while writing it); the file it would replace stays as it was.
  void AbandonOutput(ovx::Stream& stream);
  // The transport of the running export; null outside a run.
  TovxCustomIOTransport* ActiveTransport() const { return active_transport_; }
  // The pages of the running export (null outside a run) and whether the
  // run exports the page of 0-based `index` (the page range applied).
  TovxPreviewPages* ExportedPages() const { return exported_pages_; }
  bool IsPageExported(int index) const;

 private:
  friend class ovx::ExportRun;

  TovxCustomIOTransport* io_transport_ = nullptr;
  bool show_dialog_ = true;
  QString file_name_;
  bool export_not_printable_ = false;
  bool use_file_cache_ = true;
  QString default_path_;
  bool show_progress_ = true;
  bool overwrite_prompt_ = false;
  QDateTime creation_time_;
  bool data_only_ = false;

  TovxReport* report_ = nullptr;
  ovx::Stream* stream_ = nullptr;
  QString page_numbers_;
  bool cur_page_ = false;
  bool open_after_export_ = false;
  QString default_ext_;
  QString filter_desc_;
  bool suppress_page_bands_ = false;
  bool temporary_output_ = false;

  bool registered_ = false;
  std::unique_ptr<TovxCustomIOTransport> dialog_transport_;
  TovxCustomIOTransport* active_transport_ = nullptr;
  TovxPreviewPages* exported_pages_ = nullptr;
  const ovx::PageRanges* selection_ = nullptr;
};

// A filter with a settings dialog, shown by ShowModal.
class TovxBaseDialogExportFilter : public TovxCustomExportFilter {
  OVX_META_CLASS

 public:
  explicit TovxBaseDialogExportFilter(TovxComponent* owner = nullptr, bool registered = true)
      : TovxCustomExportFilter(owner, registered) {}

  // The class name of the settings dialog, looked up among the dialogs the
  // user-interface library registered (ovx::RegisterExportDialog).
  const QString& ExportDialogClass() const { return export_dialog_class_; }
  void SetExportDialogClass(const QString& class_name) { export_dialog_class_ = class_name; }

  // With a Stream: OK at once. Otherwise fills the dialog from the filter,
  // shows it and copies its settings back on OK. Throws ovx::Error
  // ("rsExportNoDialog") when no dialog of that class is registered.
  ovx::ModalResult ShowModal() override;
  // Opens the output file with the desktop when OpenAfterExport is set and
  // no Stream is given.
  void AfterFinish() override;

  // Opens a file with the desktop's application for it (QDesktopServices
  // unless replaced); answers whether it did.
  std::function<bool(const QString& file_name)> open_file;

 protected:
  // The file AfterFinish opens: FileName here.
  virtual QString OutputFileName() const;

 private:
  QString export_dialog_class_ = QStringLiteral("TovxBaseExportDialog");
};

// The process-wide list of export filters, in order of creation; no
// filter is in it twice.
class TovxExportFilterCollection {
 public:
  void Register(TovxCustomExportFilter* filter);
  void Unregister(TovxCustomExportFilter* filter);
  int Count() const { return static_cast<int>(filters_.size()); }
  TovxCustomExportFilter* Items(int index) const { return filters_.at(static_cast<size_t>(index)); }
  const std::vector<TovxCustomExportFilter*>& Filters() const { return filters_; }

 private:
  std::vector<TovxCustomExportFilter*> filters_;
};

namespace ovx {

// Created on first use.
TovxExportFilterCollection& ExportFilters();

// Makes TovxPreviewPages::Export run filters (call once at start-up).
void InstallExport();

// --- settings dialogs -----------------------------------------------------------------

// A settings dialog as the filters see it; the user-interface library
// implements it with widgets.
class ExportSettingsDialog {
 public:
  virtual ~ExportSettingsDialog() = default;
  virtual void FillFrom(TovxCustomExportFilter& filter) = 0;
  // Shows the dialog modally.
  virtual ModalResult Execute() = 0;
  virtual void CopyTo(TovxCustomExportFilter& filter) = 0;
};
using ExportDialogFactory = std::function<std::unique_ptr<ExportSettingsDialog>()>;
// A factory registered again replaces the earlier one.
void RegisterExportDialog(const QString& class_name, ExportDialogFactory factory);
// An empty function when none is registered.
ExportDialogFactory FindExportDialog(const QString& class_name);

// --- objects that export themselves -----------------------------------------------

// A class's own export of its objects: answers true when it handled the
// object, so that the filter's ExportObject is not called for it.
using ObjectExportHook = std::function<bool(TovxComponent& object, TovxCustomExportFilter& filter)>;

class ObjectExportHooks {
 public:
  // For objects of `class_name` and classes derived from it; a class
  // registered again gets the new hook, an empty hook removes it.
  void Register(const QString& class_name, ObjectExportHook hook);
  // The hook of the object's class or its nearest base class that has one.
  const ObjectExportHook* Find(const TovxComponent& object) const;

 private:
  std::vector<std::pair<QString, ObjectExportHook>> hooks_;
};
// Process-wide; created on first use.
ObjectExportHooks& GlobalObjectExportHooks();

}  // namespace ovx
