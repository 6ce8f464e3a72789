#include "report/model/report_options.h"

#include "base/class_builder.h"
#include "base/date_serial.h"
#include "report/model/picture.h"

namespace {

double Now() { return ovx::SerialFromDateTime(QDateTime::currentDateTime()).value_or(0); }

}  // namespace

// --- engine -----------------------------------------------------------------------

const ovx::MetaClass& TovxEngineOptions::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxEngineOptions;
    ovx::ClassBuilder<C> b("TovxEngineOptions", nullptr);
    b.Bool("ConvertNulls", &C::ConvertNulls, &C::SetConvertNulls).Default(true);
    b.Bool("DoublePass", &C::DoublePass, &C::SetDoublePass).Default(false);
    b.Integer("MaxMemSize", &C::MaxMemSize, &C::SetMaxMemSize).Default(10);
    b.Bool("PrintIfEmpty", &C::PrintIfEmpty, &C::SetPrintIfEmpty).Default(true);
    b.Bool("SilentMode", &C::SilentMode, &C::SetSilentMode).Stored(false);
    b.Enum("NewSilentMode", &C::NewSilentMode, &C::SetNewSilentMode)
        .Default(TovxSilentMode::simMessageBoxes);
    b.String("TempDir", &C::TempDir, &C::SetTempDir);
    b.Bool("UseFileCache", &C::UseFileCache, &C::SetUseFileCache).Default(false);
    b.Bool("IgnoreDevByZero", &C::IgnoreDevByZero, &C::SetIgnoreDevByZero).Default(false);
    return b.Build();
  }();
  return meta;
}

// --- printing -----------------------------------------------------------------------

QString TovxPrintOptions::DefaultPrinterName() { return QStringLiteral("预设"); }

TovxPrintOptions::TovxPrintOptions() { Clear(); }

void TovxPrintOptions::Clear() {
  copies_ = 1;
  collate_ = true;
  page_numbers_.clear();
  printer_ = DefaultPrinterName();
  print_mode_ = TovxPrintMode::pmDefault;
  print_on_sheet_ = 0;
  print_pages_ = TovxPrintPages::ppAll;
  reverse_ = false;
  show_dialog_ = true;
  swap_page_size_ = false;
  print_to_file_name_.clear();
  duplex_override_ = 0;
  split_overlap_ = 3;
  pages_on_sheet_ = 0;
}

const ovx::MetaClass& TovxPrintOptions::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPrintOptions;
    ovx::ClassBuilder<C> b("TovxPrintOptions", nullptr);
    b.Integer("Copies", &C::Copies, &C::SetCopies).Default(1);
    b.Bool("Collate", &C::Collate, &C::SetCollate).Default(true);
    b.String("PageNumbers", &C::PageNumbers, &C::SetPageNumbers);
    b.String("Printer", &C::Printer, &C::SetPrinter).Default(C::DefaultPrinterName());
    b.Enum("PrintMode", &C::PrintMode, &C::SetPrintMode).Default(TovxPrintMode::pmDefault);
    b.Integer("PrintOnSheet", &C::PrintOnSheet, &C::SetPrintOnSheet).Default(0);
    b.Enum("PrintPages", &C::PrintPages, &C::SetPrintPages).Default(TovxPrintPages::ppAll);
    b.Bool("Reverse", &C::Reverse, &C::SetReverse).Default(false);
    b.Bool("ShowDialog", &C::ShowDialog, &C::SetShowDialog).Default(true);
    b.Bool("SwapPageSize", &C::SwapPageSize, &C::SetSwapPageSize).Stored(false);
    return b.Build();
  }();
  return meta;
}

// --- preview -----------------------------------------------------------------------

TovxPreviewButtons TovxPreviewOptions::DefaultButtons() {
  using B = TovxPreviewButton;
  return {B::pbPrint,     B::pbLoad,        B::pbSave,      B::pbExport,   B::pbZoom,
          B::pbFind,      B::pbOutline,     B::pbPageSetup, B::pbTools,    B::pbEdit,
          B::pbNavigator, B::pbExportQuick, B::pbCopy,      B::pbSelection};
}

void TovxPreviewOptions::TakeTemplateOptions(const TovxPreviewOptions& loaded) {
  outline_visible_ = loaded.outline_visible_;
  outline_width_ = loaded.outline_width_;
  outline_expand_ = loaded.outline_expand_;
  pages_in_cache_ = loaded.pages_in_cache_;
  thumbnail_visible_ = loaded.thumbnail_visible_;
}

void TovxPreviewOptions::ResetTemplateOptions() {
  outline_expand_ = true;
  outline_visible_ = false;
  outline_width_ = 120;
  pages_in_cache_ = 50;
  thumbnail_visible_ = false;
}

const ovx::MetaClass& TovxPreviewOptions::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPreviewOptions;
    ovx::ClassBuilder<C> b("TovxPreviewOptions", nullptr);
    b.Bool("AllowEdit", &C::AllowEdit, &C::SetAllowEdit).Default(true);
    b.Bool("AllowPreviewEdit", &C::AllowPreviewEdit, &C::SetAllowPreviewEdit).Default(true);
    b.Set("Buttons", "TovxPreviewButtons", &C::Buttons, &C::SetButtons);
    b.Bool("DoubleBuffered", &C::DoubleBuffered, &C::SetDoubleBuffered).Default(true);
    b.Bool("Maximized", &C::Maximized, &C::SetMaximized).Default(true);
    b.Bool("MDIChild", &C::MDIChild, &C::SetMDIChild).Default(false);
    b.Bool("Modal", &C::Modal, &C::SetModal).Default(true);
    b.Bool("OutlineExpand", &C::OutlineExpand, &C::SetOutlineExpand).Default(true);
    b.Bool("OutlineVisible", &C::OutlineVisible, &C::SetOutlineVisible).Default(false);
    b.Integer("OutlineWidth", &C::OutlineWidth, &C::SetOutlineWidth).Default(120);
    b.Integer("PagesInCache", &C::PagesInCache, &C::SetPagesInCache).Default(50);
    b.Bool("ThumbnailVisible", &C::ThumbnailVisible, &C::SetThumbnailVisible).Default(false);
    b.Bool("ShowCaptions", &C::ShowCaptions, &C::SetShowCaptions).Default(false);
    b.Float("Zoom", &C::Zoom, &C::SetZoom).Default(1);
    b.Enum("ZoomMode", &C::ZoomMode, &C::SetZoomMode).Default(TovxZoomMode::zmDefault);
    b.Bool("PictureCacheInFile", &C::PictureCacheInFile, &C::SetPictureCacheInFile).Default(false);
    return b.Build();
  }();
  return meta;
}

// --- report description -----------------------------------------------------------------

TovxReportOptions::TovxReportOptions() : picture_(std::make_unique<TovxPicture>()) { Clear(); }

TovxReportOptions::~TovxReportOptions() = default;

void TovxReportOptions::Clear() {
  author_.clear();
  compressed_ = false;
  connection_name_.clear();
  create_date_ = Now();
  description_.clear();
  init_string_.clear();
  last_change_ = create_date_;
  name_.clear();
  password_.clear();
  picture_->Clear();
  version_build_.clear();
  version_major_.clear();
  version_minor_.clear();
  version_release_.clear();
}

const ovx::MetaClass& TovxReportOptions::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxReportOptions;
    ovx::ClassBuilder<C> b("TovxReportOptions", nullptr);
    b.String("Author", &C::Author, &C::SetAuthor);
    b.Bool("Compressed", &C::Compressed, &C::SetCompressed).Default(false);
    b.String("ConnectionName", &C::ConnectionName, &C::SetConnectionName);
    b.Float("CreateDate", &C::CreateDate, &C::SetCreateDate, "TDateTime");
    b.StringList("Description", &C::Description, &C::SetDescription);
    b.String("InitString", &C::InitString, &C::SetInitString);
    b.Float("LastChange", &C::LastChange, &C::SetLastChange, "TDateTime");
    b.String("Name", &C::Name, &C::SetName);
    b.String("Password", &C::Password, &C::SetPassword);
    b.Object("Picture", [](C& c) -> TovxPicture& { return c.Picture(); });
    b.String("VersionBuild", &C::VersionBuild, &C::SetVersionBuild);
    b.String("VersionMajor", &C::VersionMajor, &C::SetVersionMajor);
    b.String("VersionMinor", &C::VersionMinor, &C::SetVersionMinor);
    b.String("VersionRelease", &C::VersionRelease, &C::SetVersionRelease);
    return b.Build();
  }();
  return meta;
}
