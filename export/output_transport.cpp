// Output transports; see output_transport.h.
#include "export/output_transport.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/stream.h"
#include "export/export_filter.h"
#include "platform/safe_file.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// --- TovxCustomIOTransport ------------------------------------------------------------------

TovxCustomIOTransport::TovxCustomIOTransport(TovxComponent* owner) : TovxComponent(owner) {}

TovxCustomIOTransport::~TovxCustomIOTransport() = default;

void TovxCustomIOTransport::TakeSettingsFrom(const TovxCustomExportFilter& filter) {
  default_path_ = filter.DefaultPath();
  default_ext_ = filter.DefaultExt();
  file_name_ = filter.FileName();
  report_ = filter.Report();
  filter_string_ = filter.FilterDesc();
  overwrite_prompt_ = filter.OverwritePrompt();
  write_access_ = true;
  base_path_ = file_name_.contains(u'/') ? QFileInfo(file_name_).path() : default_path_;
}

QString TovxCustomIOTransport::GetDescription() const { return GetMetaClass().ClassName(); }

void TovxCustomIOTransport::CloseFilter() {
  streams_.clear();
  held_.clear();
  holding_ = false;
}

void TovxCustomIOTransport::HoldCompletedFiles() { holding_ = true; }

void TovxCustomIOTransport::CommitHeldFiles() {
  holding_ = false;
  std::vector<std::unique_ptr<ovx::Stream>> held = std::move(held_);
  held_.clear();
  for (auto& stream : held) CompleteStream(*stream);
}

QString TovxCustomIOTransport::ResolvePath(const QString& file_name) const {
  // A bare name lies in the base folder; a name with a folder stands as
  // given (relative ones to the current folder), so "out/a" is never
  // turned into "out/out/a".
  if (file_name.contains(u'/') || base_path_.isEmpty()) return file_name;
  return QDir(base_path_).filePath(file_name);
}

ovx::Stream& TovxCustomIOTransport::GetStream(const QString& file_name) {
  streams_.push_back(CreateStream(ResolvePath(file_name)));
  return *streams_.back();
}

void TovxCustomIOTransport::FreeStream(ovx::Stream& stream) {
  const auto it = std::find_if(streams_.begin(), streams_.end(),
                               [&](const auto& owned) { return owned.get() == &stream; });
  if (it == streams_.end()) return;
  std::unique_ptr<ovx::Stream> owned = std::move(*it);
  streams_.erase(it);
  if (!holding_) {
    CompleteStream(*owned);
    return;
  }
  FinishStream(*owned);
  held_.push_back(std::move(owned));
}

void TovxCustomIOTransport::DiscardStream(ovx::Stream& stream) {
  const auto it = std::find_if(streams_.begin(), streams_.end(),
                               [&](const auto& owned) { return owned.get() == &stream; });
  if (it != streams_.end()) streams_.erase(it);
}

const ovx::MetaClass& TovxCustomIOTransport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxCustomIOTransport> b("TovxCustomIOTransport",
                                               &TovxComponent::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

// --- files -----------------------------------------------------------------------------------

std::unique_ptr<ovx::Stream> TovxFileTransport::CreateStream(const QString& file_name) {
  if (WriteAccess()) return std::make_unique<ovx::SafeFile>(file_name);
  return std::make_unique<ovx::FileStream>(file_name, ovx::FileStream::Mode::kRead);
}

void TovxFileTransport::CompleteStream(ovx::Stream& stream) {
  if (auto* file = dynamic_cast<ovx::SafeFile*>(&stream)) file->Commit();
}

void TovxFileTransport::FinishStream(ovx::Stream& stream) {
  if (auto* file = dynamic_cast<ovx::SafeFile*>(&stream)) file->Finish();
}

const ovx::MetaClass& TovxFileTransport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxFileTransport> b("TovxFileTransport",
                                           &TovxCustomIOTransport::StaticMetaClass());
    b.Creatable(ovx::ComponentFactory<TovxFileTransport>());
    return b.Build();
  }();
  return meta;
}

QString TovxFileDialogTransport::GetDescription() const {
  return TovxResources::Instance().GetNumbered(163);
}

bool TovxFileDialogTransport::OpenFilter() {
  const ovx::SaveDialogHook& hook = ovx::GetSaveDialogHook();
  if (!hook) {
    throw ovx::Error(QStringLiteral("rsExportNoSaveDialog"),
                     QStringLiteral("No save dialog is available to choose the export file: "
                                    "give a file name and turn the export dialog off"));
  }
  ovx::SaveDialogRequest request;
  request.default_ext = DefaultExt();
  if (!FileName().isEmpty()) {
    const QFileInfo info(FileName());
    request.initial_name = info.completeBaseName();
    if (FileName().contains(u'/')) request.initial_folder = info.path();
  } else if (Report() && !Report()->FileName().isEmpty()) {
    request.initial_name = QFileInfo(Report()->FileName()).completeBaseName() + DefaultExt();
  }
  if (request.initial_folder.isEmpty()) request.initial_folder = DefaultPath();
  request.filter = ovx::QtFileFilter(FilterString());
  request.overwrite_prompt = OverwritePrompt();
  const std::optional<QString> chosen = hook(request);
  if (!chosen || chosen->isEmpty()) return false;
  SetFileName(*chosen);
  SetBasePath(QFileInfo(*chosen).path());
  return true;
}

const ovx::MetaClass& TovxFileDialogTransport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxFileDialogTransport> b("TovxFileDialogTransport",
                                                 &TovxFileTransport::StaticMetaClass());
    b.Creatable(ovx::ComponentFactory<TovxFileDialogTransport>());
    return b.Build();
  }();
  return meta;
}

// --- process-wide ------------------------------------------------------------------------------

namespace ovx {

namespace {

SaveDialogHook& SaveDialog() {
  static SaveDialogHook hook;
  return hook;
}

std::vector<TransportClass>& Transports() {
  static std::vector<TransportClass> transports = {
      {QStringLiteral("TovxFileDialogTransport"),
       [] { return std::make_unique<TovxFileDialogTransport>(); }}};
  return transports;
}

}  // namespace

void SetSaveDialogHook(SaveDialogHook hook) { SaveDialog() = std::move(hook); }

const SaveDialogHook& GetSaveDialogHook() { return SaveDialog(); }

QString QtFileFilter(const QString& filter_string) {
  const QStringList parts = filter_string.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
    if (description.isEmpty() && patterns.isEmpty()) continue;
    patterns.replace(u';', u' ');
    if (patterns.isEmpty()) patterns = QStringLiteral("*");
    // "Jpeg (*.jpg)|*.jpg" already names its pattern; Qt reads the one in
    // brackets.
    filters.append(description.contains(u'(')
                       ? description
                       : description + QStringLiteral(" (") + patterns + u')');
  }
  return filters.join(QStringLiteral(";;"));
}

const std::vector<TransportClass>& TransportClasses() { return Transports(); }

void RegisterTransportClass(TransportClass transport_class) {
  std::vector<TransportClass>& transports = Transports();
  const bool known = std::any_of(transports.begin(), transports.end(), [&](const auto& t) {
    return t.class_name == transport_class.class_name;
  });
  if (!known && transport_class.create) transports.push_back(std::move(transport_class));
}

}  // namespace ovx
