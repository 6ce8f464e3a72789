// TovxXMLDocument: loading, saving and swapping; see xml_document.h.
#include "report/storage/xml_document.h"

#include "base/error.h"
#include "base/stream.h"
#include "platform/safe_file.h"
#include "platform/temp_file.h"
#include "report/storage/internal/xml_reader.h"
#include "report/storage/internal/xml_writer.h"

#include <QFileInfo>

using ovx::xml_internal::TovxXMLReader;
using ovx::xml_internal::TovxXMLWriter;

TovxXMLDocument::TovxXMLDocument() : root_(std::make_unique<TovxXMLItem>()) {}

TovxXMLDocument::~TovxXMLDocument() = default;

void TovxXMLDocument::Clear() {
  root_->Clear();
  source_ = nullptr;
  owned_source_.reset();
  swap_file_.reset();
}

QString TovxXMLDocument::SwapFileName() const {
  return swap_file_ ? swap_file_->Path() : QString();
}

void TovxXMLDocument::LoadFromStream(ovx::Stream& stream, bool allow_partial_loading) {
  LoadFrom(stream, allow_partial_loading, nullptr);
}

void TovxXMLDocument::LoadFrom(ovx::Stream& stream, bool allow_partial_loading,
                               std::unique_ptr<ovx::Stream> owned_stream) {
  Clear();
  // The root object stays the same (callers keep pointers to it); only its
  // content is replaced.
  root_->name_.clear();
  root_->text_.clear();
  void* data = root_->Data();
  root_->extra_.reset();
  root_->SetData(data);
  if (allow_partial_loading) {
    // Set before reading: after a failure the tree may already refer to it.
    source_ = &stream;
    owned_source_ = std::move(owned_stream);
  }
  TovxXMLReader reader(stream);
  reader.ReadHeader();
  old_version_ = reader.OldFormat();
  reader.ReadElement(root_.get(), allow_partial_loading);
  if (reader.Truncated()) {
    throw TovxInvalidXMLException(QStringLiteral("document ends before its end tags"),
                                  reader.Position());
  }
}

void TovxXMLDocument::SaveToStream(ovx::Stream& stream) {
  if (&stream == source_) {
    throw ovx::Error("", "Cannot save an XML document into the stream it is being loaded from");
  }
  TovxXMLWriter writer(stream, this);
  writer.SetAutoIndent(auto_indent_);
  writer.WriteHeader();
  writer.WriteItem(root_.get());
  writer.Flush();
}

void TovxXMLDocument::LoadFromFile(const QString& file_name, bool allow_partial_loading) {
  // A missing file is reported by the stream, as before; what exists must
  // be a regular file of a bounded size (a device or a pipe never ends).
  if (QFileInfo::exists(file_name))
    ovx::CheckReadableFile(file_name, ovx::kMaxDocumentFileBytes, QStringLiteral("document"));
  auto file = std::make_unique<ovx::FileStream>(file_name, ovx::FileStream::Mode::kRead);
  ovx::Stream& stream = *file;
  std::unique_ptr<ovx::Stream> owned;
  if (allow_partial_loading) owned = std::move(file);
  LoadFrom(stream, allow_partial_loading, std::move(owned));
}

void TovxXMLDocument::SaveToFile(const QString& file_name) {
  ovx::SafeFile file(file_name);
  SaveToStream(file);
  file.Commit();
}

ovx::Stream* TovxXMLDocument::SwapStreamOf(const TovxXMLItem* item) const {
  switch (item->Place()) {
    case TovxXMLItem::SwapPlace::kSource:
      return source_;
    case TovxXMLItem::SwapPlace::kSwapFile:
      return swap_file_.get();
    case TovxXMLItem::SwapPlace::kNone:
      break;
  }
  return nullptr;
}

void TovxXMLDocument::LoadItem(TovxXMLItem* item) {
  if (!item->Unloadable() || item->Loaded()) return;
  if (item->Place() == TovxXMLItem::SwapPlace::kNone) {
    // Cleared but never swapped out: there is nothing to bring back.
    item->ForgetSwappedCopy();
    return;
  }
  ovx::Stream* stream = SwapStreamOf(item);
  if (stream == nullptr) throw ovx::Error("", "The swapped-out XML item has no stream");
  const qint64 offset = item->extra_->offset;
  if (offset < 0 || offset >= stream->Size()) {
    throw TovxInvalidXMLException(QStringLiteral("swap position outside the stream"), offset);
  }
  stream->Seek(offset);
  // Read into a scratch item, so a damaged copy leaves `item` untouched.
  TovxXMLItem scratch;
  TovxXMLReader reader(*stream);
  reader.ReadElementAgain(item->name_, &scratch);
  item->items_ = std::move(scratch.items_);
  if (item->items_) {
    for (TovxXMLItem* child : *item->items_) child->parent_ = item;
  }
  item->extra_->loaded = true;
}

void TovxXMLDocument::UnloadItem(TovxXMLItem* item) {
  if (!item->Unloadable() || !item->Loaded()) return;
  if (!swap_file_) swap_file_ = std::make_unique<ovx::TempFile>(temp_dir_, "velmora-swap-");
  const qint64 offset = swap_file_->Size();
  swap_file_->Seek(offset);
  TovxXMLWriter writer(*swap_file_, this);
  writer.WriteItem(item);
  writer.Flush();
  item->Clear();
  item->extra_->offset = offset;
  item->extra_->swap_place = TovxXMLItem::SwapPlace::kSwapFile;
}
