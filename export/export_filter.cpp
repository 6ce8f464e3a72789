// The filter classes, their published properties and the process-wide
// lists; the run itself is in export_filter_run.cpp.
#include "export/export_filter.h"

#include "base/class_builder.h"
#include "base/date_serial.h"
#include "base/error.h"
#include "engine/page_ranges.h"
#include "export/output_transport.h"
#include "report/model/report.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>

// --- TovxCustomExportFilter ----------------------------------------------------------------

TovxCustomExportFilter::TovxCustomExportFilter(TovxComponent* owner, bool registered)
    : TovxComponent(owner), registered_(registered) {
  if (registered_) ovx::ExportFilters().Register(this);
}

TovxCustomExportFilter::~TovxCustomExportFilter() {
  if (registered_) ovx::ExportFilters().Unregister(this);
}

void TovxCustomExportFilter::SetShowDialog(bool on) {
  show_dialog_ = on;
  dialog_transport_.reset();
}

void TovxCustomExportFilter::SetDialogTransport(std::unique_ptr<TovxCustomIOTransport> transport) {
  dialog_transport_ = std::move(transport);
}

std::unique_ptr<TovxCustomIOTransport> TovxCustomExportFilter::CreateDefaultIOTransport() {
  return std::make_unique<TovxFileDialogTransport>();
}

void TovxCustomExportFilter::PrepareFileName() {
  if (temporary_output_ && file_name_.isEmpty()) {
    const QString report_name =
        report_ ? QFileInfo(report_->FileName()).completeBaseName() : QString();
    if (!report_name.isEmpty()) {
      file_name_ = QDir(QDir::tempPath()).filePath(report_name + default_ext_);
    } else {
      // A unique name that nobody else takes while the export runs; the
      // placeholder file is removed, the export writes the real one.
      QTemporaryFile placeholder(
          QDir(QDir::tempPath()).filePath(QStringLiteral("velmora-XXXXXX") + default_ext_));
      placeholder.setAutoRemove(true);
      file_name_ =
          placeholder.open()
              ? placeholder.fileName()
              : QDir(QDir::tempPath()).filePath(QStringLiteral("velmora-export") + default_ext_);
    }
  }
  if (!file_name_.isEmpty() && !default_path_.isEmpty() && !file_name_.contains(u'/')) {
    file_name_ = QDir(default_path_).filePath(file_name_);
  }
}

ovx::Stream& TovxCustomExportFilter::BeginOutput(const QString& file_name) {
  if (stream_) return *stream_;
  if (!active_transport_) {
    throw ovx::Error(QString(), QStringLiteral("The filter writes only while an export runs"));
  }
  return active_transport_->GetStream(file_name);
}

void TovxCustomExportFilter::FinishOutput(ovx::Stream& stream) {
  if (&stream == stream_) return;
  if (active_transport_) active_transport_->FreeStream(stream);
}

void TovxCustomExportFilter::AbandonOutput(ovx::Stream& stream) {
  if (&stream == stream_) return;
  if (active_transport_) active_transport_->DiscardStream(stream);
}

bool TovxCustomExportFilter::IsPageExported(int index) const {
  return exported_pages_ && selection_ && selection_->Contains(index);
}

const ovx::MetaClass& TovxCustomExportFilter::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxCustomExportFilter;
    ovx::ClassBuilder<C> b("TovxCustomExportFilter", &TovxComponent::StaticMetaClass());
    b.Reference("IOTransport", "TovxCustomIOTransport", &C::IOTransport, &C::SetIOTransport);
    b.Bool("ShowDialog", &C::ShowDialog, &C::SetShowDialog).Default(true);
    b.String("FileName", &C::FileName, &C::SetFileName);
    b.Bool("ExportNotPrintable", &C::ExportNotPrintable, &C::SetExportNotPrintable).Default(false);
    b.Bool("UseFileCache", &C::UseFileCache, &C::SetUseFileCache).Default(true);
    b.String("DefaultPath", &C::DefaultPath, &C::SetDefaultPath).Default("");
    b.Bool("ShowProgress", &C::ShowProgress, &C::SetShowProgress).Default(true);
    b.Bool("OverwritePrompt", &C::OverwritePrompt, &C::SetOverwritePrompt).Default(false);
    // Set by every run, so not worth keeping.
    b.Float(
         "CreationTime",
         [](const C& c) { return ovx::SerialFromDateTime(c.CreationTime()).value_or(0.0); },
         [](C& c, double serial) { c.SetCreationTime(ovx::DateTimeFromSerial(serial)); },
         "TDateTime")
        .Stored(false);
    b.Bool("DataOnly", &C::DataOnly, &C::SetDataOnly);
    b.Method("OnBeforeExport");
    b.Method("OnBeginExport");
    return b.Build();
  }();
  return meta;
}

// --- TovxBaseDialogExportFilter ------------------------------------------------------------

ovx::ModalResult TovxBaseDialogExportFilter::ShowModal() {
  if (Stream()) return ovx::ModalResult::kOk;
  const ovx::ExportDialogFactory factory = ovx::FindExportDialog(export_dialog_class_);
  if (!factory) {
    throw ovx::Error(QStringLiteral("rsExportNoDialog"),
                     QStringLiteral("The export settings dialog %s is not available here"),
                     {export_dialog_class_});
  }
  const std::unique_ptr<ovx::ExportSettingsDialog> dialog = factory();
  dialog->FillFrom(*this);
  const ovx::ModalResult result = dialog->Execute();
  if (result == ovx::ModalResult::kOk) dialog->CopyTo(*this);
  return result;
}

QString TovxBaseDialogExportFilter::OutputFileName() const { return FileName(); }

void TovxBaseDialogExportFilter::AfterFinish() {
  if (!OpenAfterExport() || Stream()) return;
  const QString file = OutputFileName();
  if (file.isEmpty()) return;
  if (open_file) {
    open_file(file);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // Without a desktop session (headless runs) there is nothing to open with.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
  }
}

const ovx::MetaClass& TovxBaseDialogExportFilter::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxBaseDialogExportFilter> b("TovxBaseDialogExportFilter",
                                                    &TovxCustomExportFilter::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

// --- lists --------------------------------------------------------------------------------

void TovxExportFilterCollection::Register(TovxCustomExportFilter* filter) {
  if (filter && std::find(filters_.begin(), filters_.end(), filter) == filters_.end()) {
    filters_.push_back(filter);
  }
}

void TovxExportFilterCollection::Unregister(TovxCustomExportFilter* filter) {
  filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

namespace ovx {

TovxExportFilterCollection& ExportFilters() {
  static TovxExportFilterCollection filters;
  return filters;
}

namespace {

QHash<QString, ExportDialogFactory>& DialogFactories() {
  static QHash<QString, ExportDialogFactory> factories;
  return factories;
}

}  // namespace

void RegisterExportDialog(const QString& class_name, ExportDialogFactory factory) {
  if (factory) {
    DialogFactories().insert(class_name, std::move(factory));
  } else {
    DialogFactories().remove(class_name);
  }
}

ExportDialogFactory FindExportDialog(const QString& class_name) {
  return DialogFactories().value(class_name);
}

void ObjectExportHooks::Register(const QString& class_name, ObjectExportHook hook) {
  const auto it = std::find_if(hooks_.begin(), hooks_.end(),
                               [&](const auto& entry) { return entry.first == class_name; });
  if (it != hooks_.end()) hooks_.erase(it);
  if (hook) hooks_.emplace_back(class_name, std::move(hook));
}

const ObjectExportHook* ObjectExportHooks::Find(const TovxComponent& object) const {
  if (hooks_.empty()) return nullptr;
  for (const MetaClass* meta = &object.GetMetaClass(); meta; meta = meta->Parent()) {
    for (const auto& [name, hook] : hooks_) {
      if (name == meta->ClassName()) return &hook;
    }
  }
  return nullptr;
}

ObjectExportHooks& GlobalObjectExportHooks() {
  static ObjectExportHooks hooks;
  return hooks;
}

}  // namespace ovx
