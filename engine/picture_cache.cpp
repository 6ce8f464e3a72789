// The picture cache (design in picture_cache.h).
#include "engine/picture_cache.h"

#include "base/stream.h"
#include "platform/temp_file.h"
#include "report/model/picture_view.h"

TovxPictureCache::TovxPictureCache() = default;
TovxPictureCache::~TovxPictureCache() = default;

void TovxPictureCache::SetInFile(bool in_file, const QString& temp_dir) {
  if (!items_.empty()) return;
  in_file_ = in_file;
  temp_dir_ = temp_dir;
}

ovx::Stream& TovxPictureCache::CurrentStream(qint64 adding) {
  if (streams_.empty() || streams_.back()->Size() + adding > kMaxStreamSize) {
    if (in_file_) {
      streams_.push_back(std::make_unique<ovx::TempFile>(temp_dir_, QStringLiteral("ovPic")));
    } else {
      streams_.push_back(std::make_unique<ovx::MemoryStream>());
    }
  }
  return *streams_.back();
}

int TovxPictureCache::AddBytes(const QByteArray& bytes) {
  ovx::Stream& stream = CurrentStream(bytes.size());
  const qint64 offset = stream.Size();
  stream.Seek(offset);
  stream.Write(bytes.constData(), bytes.size());
  items_.push_back({static_cast<int>(streams_.size()) - 1, offset, bytes.size()});
  return Count();
}

void TovxPictureCache::AddPicture(TovxPictureView& view) {
  if (view.Picture().IsEmpty()) {
    view.SetImageIndex(0);
    return;
  }
  view.SetImageIndex(AddBytes(view.Picture().Data()));
}

QByteArray TovxPictureCache::Bytes(int index) const {
  if (index < 1 || index > Count()) return {};
  const Item& item = items_[static_cast<size_t>(index - 1)];
  ovx::Stream& stream = *streams_[static_cast<size_t>(item.stream)];
  stream.Seek(item.offset);
  return stream.Read(item.size);
}

void TovxPictureCache::GetPicture(TovxPictureView& view) const {
  const QByteArray bytes = Bytes(view.ImageIndex());
  TovxPicture picture;
  if (!bytes.isEmpty() && !picture.LoadFromData(bytes)) picture = TovxPicture();
  view.Picture() = picture;
}

void TovxPictureCache::Clear() {
  items_.clear();
  streams_.clear();
}
