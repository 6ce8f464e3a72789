// Loading and saving a report as a template document.
//
// Loading is the place where a template and the host program meet: the
// template decides the pages, objects, lists and most options, while the
// host's own settings (how errors are shown, the preview buttons, the
// settings location, ...) are put back after reading. A template that
// protects itself with a password is only kept when the password is known.
#include "base/error.h"
#include "base/stream.h"
#include "platform/safe_file.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/styles.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_error.h"
#include "report/storage/xml_serializer.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Passwords in unencrypted templates are kept with every character code
// lowered by 10 (read back raised by 10), so they are not plain to see.
QString ShiftCodes(const QString& text, int delta) {
  QString shifted = text;
  for (QChar& c : shifted) c = QChar(static_cast<char16_t>(c.unicode() + delta));
  return shifted;
}

// Restores the report's password when saving ends, however it ends.
class PasswordGuard {
 public:
  PasswordGuard(TovxReportOptions& options, const QString& plain)
      : options_(options), plain_(plain) {}
  ~PasswordGuard() { options_.SetPassword(plain_); }

 private:
  TovxReportOptions& options_;
  QString plain_;
};

}  // namespace

// --- collections ------------------------------------------------------------------

void TovxReport::WriteCollections(TovxXMLItem& element, TovxXMLSerializer& serializer) const {
  const auto add_list = [&element](const char* name) {
    TovxXMLItem* list = element.Add();
    list->SetName(name);
    return list;
  };
  const auto add_item = [&serializer](TovxXMLItem* list, const ovx::Persistent& item) {
    TovxXMLItem* entry = list->Add();
    entry->SetName("item");
    entry->SetText(serializer.WriteCollectionItem(item));
  };
  if (!data_sets_.empty()) {
    TovxXMLItem* list = add_list("Datasets");
    for (const auto& item : data_sets_) add_item(list, *item);
  }
  if (variables_.Count() > 0) {
    TovxXMLItem* list = add_list("Variables");
    for (int i = 0; i < variables_.Count(); ++i) add_item(list, variables_.Items(i));
  }
  if (styles_->Count() > 0) {
    TovxXMLItem* list = add_list("Styles");
    styles_->WriteTo(*list, serializer);
  }
}

// A list element holds the whole list, so it replaces what is there: the
// lists an ancestor template brought are written again in full by the
// template that inherits them.
bool TovxReport::ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) {
  const QByteArray& name = element.Name();
  if (name.compare("Datasets", Qt::CaseInsensitive) == 0) {
    data_sets_.clear();
    for (int i = 0; i < element.Count(); ++i) {
      serializer.ReadCollectionItem(element.Items(i)->Text(), AddDataSet());
    }
    return true;
  }
  if (name.compare("Variables", Qt::CaseInsensitive) == 0) {
    variables_.Clear();
    for (int i = 0; i < element.Count(); ++i) {
      serializer.ReadCollectionItem(element.Items(i)->Text(), variables_.Add());
    }
    return true;
  }
  if (name.compare("Styles", Qt::CaseInsensitive) == 0) {
    styles_->ReadFrom(element, serializer);
    return true;
  }
  return false;
}

// --- loading ------------------------------------------------------------------------

bool TovxReport::LoadFromStream(ovx::Stream& stream) {
  RefuseWhilePreparing();
  ClearErrors();
  file_name_.clear();
  // A template is read whole (it may be packed or encrypted); one beyond any
  // the library writes is refused before a byte of it is held in memory.
  constexpr qint64 kMaxTemplateBytes = qint64{1} << 30;
  if (stream.Size() - stream.Position() > kMaxTemplateBytes) {
    AddError(QStringLiteral("The template is larger than 1 GiB"));
    ShowLoadErrors();
    return false;
  }
  QByteArray bytes = stream.ReadAll();
  bool decrypted = false;
  try {
    if (compressor_ && compressor_->Recognizes(bytes)) bytes = compressor_->Decode(bytes, {});
  } catch (const ovx::Error&) {
    AddError(QStringLiteral("Stream 解压缩发生错误"));
    ShowLoadErrors();
    return false;
  }
  try {
    if (encryptor_ && encryptor_->Recognizes(bytes)) {
      bytes = encryptor_->Decode(bytes, load_password_);
      decrypted = true;
    }
  } catch (const ovx::Error&) {
    AddError(QStringLiteral("Invalid password"));
    ShowLoadErrors();
    return false;
  }

  // The host's settings, which a template must not change.
  const TovxEngineOptions engine = engine_options_;
  const TovxPreviewOptions preview = preview_options_;
  const QString ini_file = ini_file_;
  const bool old_style_progress = old_style_progress_;
  const bool show_progress = show_progress_;
  const bool store_in_dfm = store_in_dfm_;

  ovx::MemoryStream source(bytes);
  ReadTemplate(source, decrypted);
  if (!decrypted) report_options_.SetPassword(ShiftCodes(report_options_.Password(), 10));
  EnsureDataPage();

  TovxEngineOptions loaded_engine = engine_options_;
  engine_options_ = engine;
  engine_options_.SetConvertNulls(loaded_engine.ConvertNulls());
  engine_options_.SetIgnoreDevByZero(loaded_engine.IgnoreDevByZero());
  engine_options_.SetDoublePass(loaded_engine.DoublePass());
  engine_options_.SetPrintIfEmpty(loaded_engine.PrintIfEmpty());
  const TovxPreviewOptions loaded_preview = preview_options_;
  preview_options_ = preview;
  preview_options_.TakeTemplateOptions(loaded_preview);
  ini_file_ = ini_file;
  old_style_progress_ = old_style_progress;
  show_progress_ = show_progress;
  store_in_dfm_ = store_in_dfm;

  const QString& password = report_options_.Password();
  if (!decrypted && !engine_options_.EnableThreadSafe() && !password.isEmpty() &&
      password != load_password_) {
    const std::optional<QString> typed = ask_password ? ask_password() : std::nullopt;
    if (!typed || *typed != password) {
      AddError(QStringLiteral("Invalid password"));
      ShowLoadErrors();
      Clear();
      return false;
    }
  }
  ShowLoadErrors();
  return errors_.isEmpty();
}

void TovxReport::ReadTemplate(ovx::Stream& stream, bool decrypted) {
  SetLoading(true);
  TovxXMLSerializer serializer(Classes(), this);
  try {
    // A new template replaces everything, objects of an earlier ancestor too.
    for (TovxComponent* object : AllObjects()) object->SetAncestor(false);
    Clear();
    serializer.ReadRootComponent(*this, stream);
  } catch (const TovxInvalidXMLException& error) {
    AddError(decrypted ? QStringLiteral("Invalid password") : error.Message());
  } catch (const ovx::Error& error) {
    AddError(error.Message());
  }
  for (const QString& line : serializer.Errors()) AddError(line);
  SetLoading(false);
}

void TovxReport::EnsureDataPage() {
  const ovx::MetaClass* data_page_class = Classes().Find(QStringLiteral("TovxDataPage"));
  if (!data_page_class) return;
  TovxComponent* data_page = nullptr;
  for (TovxComponent* child : Objects()) {
    if (child->GetMetaClass().InheritsFrom(*data_page_class)) {
      data_page = child;
      break;
    }
  }
  if (!data_page) {
    data_page = dynamic_cast<TovxComponent*>(data_page_class->Create(this));
    if (!data_page) return;
    // "Data" may be taken, also by an object the report stores outside its
    // tree; a generated name never is.
    try {
      data_page->SetName(QStringLiteral("Data"));
    } catch (const ovx::Error&) {
      data_page->CreateUniqueName();
    }
  }
  data_page->MoveToFront();
  // Data objects found elsewhere are gathered on the data page in a row.
  double left = 60;
  for (TovxComponent* object : AllObjects()) {
    auto* data = dynamic_cast<TovxDialogComponent*>(object);
    if (!data || data->Parent() == data_page || dynamic_cast<TovxDialogPage*>(data->Page()))
      continue;
    data->SetParent(data_page);
    data->SetLeft(left);
    data->SetTop(20);
    left += 64;
  }
}

bool TovxReport::LoadFromFile(const QString& file_name) {
  Clear();
  file_name_.clear();
  if (!QFileInfo::exists(file_name)) return false;
  base_directory_ = QFileInfo(file_name).absolutePath();
  try {
    ovx::CheckReadableFile(file_name, ovx::kMaxDocumentFileBytes, QStringLiteral("template"));
    ovx::FileStream stream(file_name, ovx::FileStream::Mode::kRead);
    (void)LoadFromStream(stream);
  } catch (const ovx::Error& error) {
    AddError(error.Message());
    ShowLoadErrors();
  }
  file_name_ = file_name;
  return true;
}

// --- inherited templates --------------------------------------------------------------

namespace {

// Ancestors of ancestors are followed this deep; a template that names
// itself (or a circle of templates) ends here.
constexpr int kMaxAncestorDepth = 8;

}  // namespace

void TovxReport::SetParentReport(const QString& file_name) {
  parent_report_ = file_name;
  if (IsLoading() && !file_name.isEmpty()) LoadAncestor(file_name);
}

QString TovxReport::AncestorPath(const QString& file_name) const {
  const QDir base(base_directory_.isEmpty() ? QDir::currentPath() : base_directory_);
  return base.absoluteFilePath(file_name);
}

void TovxReport::LoadAncestor(const QString& file_name) {
  if (ancestor_depth_ >= kMaxAncestorDepth) {
    AddError(QStringLiteral("Too many ancestor reports: %1").arg(file_name));
    return;
  }
  const QString path = AncestorPath(file_name);
  if (!QFileInfo::exists(path)) {
    AddError(QStringLiteral("Cannot find the ancestor report %1").arg(file_name));
    return;
  }
  const QString saved_base = base_directory_;
  base_directory_ = QFileInfo(path).absolutePath();
  ++ancestor_depth_;
  TovxXMLSerializer serializer(Classes(), this);
  try {
    ovx::FileStream stream(path, ovx::FileStream::Mode::kRead);
    serializer.ReadRootComponent(*this, stream);
  } catch (const ovx::Error& error) {
    AddError(error.Message());
  }
  for (const QString& line : serializer.Errors()) AddError(line);
  --ancestor_depth_;
  base_directory_ = saved_base;
  for (TovxComponent* object : AllObjects()) object->SetAncestor(true);
  // The ancestor's own attributes named its ancestor, and its reading ended
  // the loading state this template is still in.
  parent_report_ = file_name;
  SetLoading(true);
}

// --- saving ---------------------------------------------------------------------------

void TovxReport::SaveToStream(ovx::Stream& stream, bool save_children, bool save_default_values) {
  const bool encrypt = encryptor_ && !report_options_.Password().isEmpty();
  const bool compress = compressor_ && report_options_.Compressed();
  PasswordGuard guard(report_options_, report_options_.Password());
  if (!encrypt) report_options_.SetPassword(ShiftCodes(report_options_.Password(), -10));

  // Inherited objects are written with what differs from the ancestor's.
  std::unique_ptr<TovxReport> ancestor;
  if (!parent_report_.isEmpty()) {
    ancestor = std::make_unique<TovxReport>();
    ancestor->SetClasses(classes_);
    ancestor->base_directory_ = base_directory_;
    if (!ancestor->LoadFromFile(AncestorPath(parent_report_))) ancestor.reset();
  }
  ovx::MemoryStream buffer;
  TovxXMLSerializer serializer(Classes(), this);
  serializer.SetSerializeDefaultValues(save_default_values);
  serializer.ancestor_of =
      [&ancestor](const ovx::StoredObject& object) -> const ovx::StoredObject* {
    if (!ancestor || !object.IsInherited()) return nullptr;
    return ancestor->FindObject(object.StoredName());
  };
  serializer.WriteRootComponent(*this, save_children, buffer);
  QByteArray bytes = buffer.TakeData();
  if (encrypt) bytes = encryptor_->Encode(bytes, report_options_.Password());
  if (compress) bytes = compressor_->Encode(bytes, {});
  stream.Write(bytes);
}

void TovxReport::SaveToFile(const QString& file_name) {
  const QFileInfo target(file_name);
  // The ancestor is named relative to the file, wherever it was read from.
  if (!parent_report_.isEmpty()) {
    parent_report_ = target.absoluteDir().relativeFilePath(AncestorPath(parent_report_));
  }
  base_directory_ = target.absolutePath();
  ovx::MemoryStream buffer;
  SaveToStream(buffer);
  ovx::WriteFileSafely(file_name, buffer.Data());
}
