// The pictures of a prepared report's picture views, each stored once.
//
// Design: pictures are appended, in their own file format, to append-only
// streams, in memory or (PictureCacheInFile) in temporary files named
// "ovPic...". An item is (stream, offset, size); a view refers to its
// picture by number (ImageIndex, from 1). A new stream starts before one
// would pass kMaxStreamSize, so offsets stay far from any 32-bit limit of
// other readers.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class TovxPictureView;

namespace ovx {
class Stream;
}

class TovxPictureCache {
 public:
  static constexpr qint64 kMaxStreamSize = 1789569705;

  TovxPictureCache();
  ~TovxPictureCache();
  TovxPictureCache(const TovxPictureCache&) = delete;
  TovxPictureCache& operator=(const TovxPictureCache&) = delete;

  // Mode and folder change only while the cache is empty.
  void SetInFile(bool in_file, const QString& temp_dir);
  int Count() const { return static_cast<int>(items_.size()); }
  // The view's picture gets the next number (its ImageIndex); a view
  // without a picture gets 0.
  void AddPicture(TovxPictureView& view);
  // Appends raw picture bytes; answers the new number.
  int AddBytes(const QByteArray& bytes);
  // The bytes of picture `index` (from 1); empty outside the items.
  QByteArray Bytes(int index) const;
  // Gives the view picture ImageIndex, or clears its picture when there is none.
  void GetPicture(TovxPictureView& view) const;
  // Deletes every picture and the temporary files.
  void Clear();

 private:
  struct Item {
    int stream;
    qint64 offset;
    qint64 size;
  };
  ovx::Stream& CurrentStream(qint64 adding);

  std::vector<std::unique_ptr<ovx::Stream>> streams_;
  std::vector<Item> items_;
  bool in_file_ = false;
  QString temp_dir_;
};
