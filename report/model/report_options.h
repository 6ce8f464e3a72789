// The option groups of a report: engine, printing, preview, and the report's
// own description. Each is a value object stored as dotted attributes of the
// report ("PrintOptions.PrintMode").
#pragma once

#include "base/enum_set.h"
#include "base/meta_class.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class TovxPicture;

OVX_ENUM(TovxSilentMode, simMessageBoxes, simSilent, simReThrow)
OVX_ENUM(TovxPrintMode, pmDefault, pmSplit, pmJoin, pmScale)
OVX_ENUM(TovxPrintPages, ppAll, ppOdd, ppEven)
OVX_ENUM(TovxZoomMode, zmDefault, zmWholePage, zmPageWidth, zmManyPages)
OVX_ENUM(TovxPreviewButton, pbPrint, pbLoad, pbSave, pbExport, pbZoom, pbFind, pbOutline,
         pbPageSetup, pbTools, pbEdit, pbNavigator, pbExportQuick, pbNoClose, pbNoFullScreen,
         pbNoEmail, pbCopy, pbPaste, pbSelection, pbInplaceEdit)
using TovxPreviewButtons = ovx::EnumSet<TovxPreviewButton>;

class TovxEngineOptions : public ovx::Persistent {
  OVX_META_CLASS

 public:
  bool ConvertNulls() const { return convert_nulls_; }
  void SetConvertNulls(bool on) { convert_nulls_ = on; }
  bool DoublePass() const { return double_pass_; }
  void SetDoublePass(bool on) { double_pass_ = on; }
  int MaxMemSize() const { return max_mem_size_; }
  void SetMaxMemSize(int megabytes) { max_mem_size_ = megabytes; }
  bool PrintIfEmpty() const { return print_if_empty_; }
  void SetPrintIfEmpty(bool on) { print_if_empty_ = on; }
  // A view of NewSilentMode: silent or not.
  bool SilentMode() const { return new_silent_mode_ == TovxSilentMode::simSilent; }
  void SetSilentMode(bool on) {
    new_silent_mode_ = on ? TovxSilentMode::simSilent : TovxSilentMode::simMessageBoxes;
  }
  TovxSilentMode NewSilentMode() const { return new_silent_mode_; }
  void SetNewSilentMode(TovxSilentMode mode) { new_silent_mode_ = mode; }
  const QString& TempDir() const { return temp_dir_; }
  void SetTempDir(const QString& dir) { temp_dir_ = dir; }
  bool UseFileCache() const { return use_file_cache_; }
  void SetUseFileCache(bool on) { use_file_cache_ = on; }
  bool IgnoreDevByZero() const { return ignore_dev_by_zero_; }
  void SetIgnoreDevByZero(bool on) { ignore_dev_by_zero_ = on; }

  // Not stored: set up by the host program.
  bool EnableThreadSafe() const { return enable_thread_safe_; }
  void SetEnableThreadSafe(bool on) { enable_thread_safe_ = on; }
  bool UseGlobalDataSetList() const { return use_global_data_sets_; }
  void SetUseGlobalDataSetList(bool on) { use_global_data_sets_ = on; }
  bool DestroyForms() const { return destroy_forms_; }
  void SetDestroyForms(bool on) { destroy_forms_ = on; }

  void Assign(const TovxEngineOptions& other) { *this = other; }

 private:
  bool convert_nulls_ = true;
  bool double_pass_ = false;
  int max_mem_size_ = 10;
  bool print_if_empty_ = true;
  TovxSilentMode new_silent_mode_ = TovxSilentMode::simMessageBoxes;
  QString temp_dir_;
  bool use_file_cache_ = false;
  bool ignore_dev_by_zero_ = false;
  bool enable_thread_safe_ = false;
  bool use_global_data_sets_ = true;
  bool destroy_forms_ = true;
};

class TovxPrintOptions : public ovx::Persistent {
  OVX_META_CLASS

 public:
  // The printer name meaning "the default printer" (resource "prDefault").
  static QString DefaultPrinterName();

  TovxPrintOptions();
  // Back to the values of a new report.
  void Clear();

  int Copies() const { return copies_; }
  void SetCopies(int copies) { copies_ = copies; }
  bool Collate() const { return collate_; }
  void SetCollate(bool on) { collate_ = on; }
  const QString& PageNumbers() const { return page_numbers_; }
  void SetPageNumbers(const QString& pages) { page_numbers_ = pages; }
  const QString& Printer() const { return printer_; }
  void SetPrinter(const QString& printer) { printer_ = printer; }
  TovxPrintMode PrintMode() const { return print_mode_; }
  void SetPrintMode(TovxPrintMode mode) { print_mode_ = mode; }
  // Paper number of the physical sheet for split, join and scale.
  int PrintOnSheet() const { return print_on_sheet_; }
  void SetPrintOnSheet(int paper) { print_on_sheet_ = paper; }
  TovxPrintPages PrintPages() const { return print_pages_; }
  void SetPrintPages(TovxPrintPages pages) { print_pages_ = pages; }
  bool Reverse() const { return reverse_; }
  void SetReverse(bool on) { reverse_ = on; }
  bool ShowDialog() const { return show_dialog_; }
  void SetShowDialog(bool on) { show_dialog_ = on; }
  bool SwapPageSize() const { return swap_page_size_; }
  void SetSwapPageSize(bool on) { swap_page_size_ = on; }

  // Not stored: set for one print job.
  const QString& PrintToFileName() const { return print_to_file_name_; }
  void SetPrintToFileName(const QString& name) { print_to_file_name_ = name; }
  int DuplexOverride() const { return duplex_override_; }
  void SetDuplexOverride(int duplex) { duplex_override_ = duplex; }
  int SplitOverlap() const { return split_overlap_; }
  void SetSplitOverlap(int millimetres) { split_overlap_ = millimetres; }
  int PagesOnSheet() const { return pages_on_sheet_; }
  void SetPagesOnSheet(int pages) { pages_on_sheet_ = pages; }

  void Assign(const TovxPrintOptions& other) { *this = other; }

 private:
  int copies_;
  bool collate_;
  QString page_numbers_;
  QString printer_;
  TovxPrintMode print_mode_;
  int print_on_sheet_;
  TovxPrintPages print_pages_;
  bool reverse_;
  bool show_dialog_;
  bool swap_page_size_;
  QString print_to_file_name_;
  int duplex_override_;
  int split_overlap_;
  int pages_on_sheet_;
};

class TovxPreviewOptions : public ovx::Persistent {
  OVX_META_CLASS

 public:
  static TovxPreviewButtons DefaultButtons();

  bool AllowEdit() const { return allow_edit_; }
  void SetAllowEdit(bool on) { allow_edit_ = on; }
  bool AllowPreviewEdit() const { return allow_preview_edit_; }
  void SetAllowPreviewEdit(bool on) { allow_preview_edit_ = on; }
  TovxPreviewButtons Buttons() const { return buttons_; }
  void SetButtons(TovxPreviewButtons buttons) { buttons_ = buttons; }
  bool DoubleBuffered() const { return double_buffered_; }
  void SetDoubleBuffered(bool on) { double_buffered_ = on; }
  bool Maximized() const { return maximized_; }
  void SetMaximized(bool on) { maximized_ = on; }
  bool MDIChild() const { return mdi_child_; }
  void SetMDIChild(bool on) { mdi_child_ = on; }
  bool Modal() const { return modal_; }
  void SetModal(bool on) { modal_ = on; }
  bool OutlineExpand() const { return outline_expand_; }
  void SetOutlineExpand(bool on) { outline_expand_ = on; }
  bool OutlineVisible() const { return outline_visible_; }
  void SetOutlineVisible(bool on) { outline_visible_ = on; }
  int OutlineWidth() const { return outline_width_; }
  void SetOutlineWidth(int width) { outline_width_ = width; }
  int PagesInCache() const { return pages_in_cache_; }
  void SetPagesInCache(int pages) { pages_in_cache_ = pages; }
  bool ThumbnailVisible() const { return thumbnail_visible_; }
  void SetThumbnailVisible(bool on) { thumbnail_visible_ = on; }
  bool ShowCaptions() const { return show_captions_; }
  void SetShowCaptions(bool on) { show_captions_ = on; }
  double Zoom() const { return zoom_; }
  void SetZoom(double zoom) { zoom_ = zoom; }
  TovxZoomMode ZoomMode() const { return zoom_mode_; }
  void SetZoomMode(TovxZoomMode mode) { zoom_mode_ = mode; }
  bool PictureCacheInFile() const { return picture_cache_in_file_; }
  void SetPictureCacheInFile(bool on) { picture_cache_in_file_ = on; }

  // The five options a loaded template decides; the report keeps the others.
  void TakeTemplateOptions(const TovxPreviewOptions& loaded);
  // Outline expanded, hidden and 120 wide, 50 pages in cache, no thumbnails.
  void ResetTemplateOptions();
  void Assign(const TovxPreviewOptions& other) { *this = other; }

 private:
  bool allow_edit_ = true;
  bool allow_preview_edit_ = true;
  TovxPreviewButtons buttons_ = DefaultButtons();
  bool double_buffered_ = true;
  bool maximized_ = true;
  bool mdi_child_ = false;
  bool modal_ = true;
  bool outline_expand_ = true;
  bool outline_visible_ = false;
  int outline_width_ = 120;
  int pages_in_cache_ = 50;
  bool thumbnail_visible_ = false;
  bool show_captions_ = false;
  double zoom_ = 1;
  TovxZoomMode zoom_mode_ = TovxZoomMode::zmDefault;
  bool picture_cache_in_file_ = false;
};

class TovxReportOptions : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxReportOptions();
  ~TovxReportOptions() override;
  // Clears every field, sets both dates to now.
  void Clear();

  const QString& Author() const { return author_; }
  void SetAuthor(const QString& author) { author_ = author; }
  bool Compressed() const { return compressed_; }
  void SetCompressed(bool on) { compressed_ = on; }
  const QString& ConnectionName() const { return connection_name_; }
  void SetConnectionName(const QString& name) { connection_name_ = name; }
  // Date serials (days since 1899-12-30).
  double CreateDate() const { return create_date_; }
  void SetCreateDate(double date) { create_date_ = date; }
  const QStringList& Description() const { return description_; }
  void SetDescription(const QStringList& lines) { description_ = lines; }
  const QString& InitString() const { return init_string_; }
  void SetInitString(const QString& text) { init_string_ = text; }
  double LastChange() const { return last_change_; }
  void SetLastChange(double date) { last_change_ = date; }
  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  const QString& Password() const { return password_; }
  void SetPassword(const QString& password) { password_ = password; }
  TovxPicture& Picture() { return *picture_; }
  const TovxPicture& Picture() const { return *picture_; }
  const QString& VersionBuild() const { return version_build_; }
  void SetVersionBuild(const QString& v) { version_build_ = v; }
  const QString& VersionMajor() const { return version_major_; }
  void SetVersionMajor(const QString& v) { version_major_ = v; }
  const QString& VersionMinor() const { return version_minor_; }
  void SetVersionMinor(const QString& v) { version_minor_ = v; }
  const QString& VersionRelease() const { return version_release_; }
  void SetVersionRelease(const QString& v) { version_release_ = v; }

 private:
  QString author_;
  bool compressed_ = false;
  QString connection_name_;
  double create_date_ = 0;
  QStringList description_;
  QString init_string_;
  double last_change_ = 0;
  QString name_;
  QString password_;
  std::unique_ptr<TovxPicture> picture_;
  QString version_build_;
  QString version_major_;
  QString version_minor_;
  QString version_release_;
};
