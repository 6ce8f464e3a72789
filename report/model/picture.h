// Pictures: the image a picture view or a page background shows.
//
// A picture keeps the bytes it was loaded from, untouched, together with
// the kind recognised from their first bytes (never from a file name).
// Raster kinds are decoded once at load, so a damaged file is refused at
// load time rather than when a page is drawn; saving writes the original
// bytes back, so nothing is ever re-encoded. Metafiles are kept as bytes
// after a check of their header; the metafile player draws them.
//
// Identical contents share their bytes and decoded image: a report that
// loads the same background file into hundreds of pages holds it once.
#pragma once

#include "base/meta_class.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

namespace ovx {

class Stream;

enum class PictureKind {
  kNone,
  kBitmap,
  kJpeg,
  kPng,
  kMetafile,          // Windows metafile with the placeable header
  kEnhancedMetafile,  // EMF
  kIcon,
};

struct PictureRecognition {
  PictureKind kind = PictureKind::kNone;
  // Where the picture's own bytes start: 8 after an older picture header.
  qsizetype offset = 0;
};

// Tells the kind from the first bytes of `data`.
PictureRecognition RecognizePicture(QByteArrayView data);

// The largest picture accepted; beyond it a load fails instead of
// allocating whatever a damaged length asks for.
inline constexpr qint64 kMaxPictureBytes = qint64{512} << 20;

}  // namespace ovx

class TovxPicture : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxPicture() = default;

  // Recognises and decodes; on failure the picture is empty and the answer
  // false. `from_start` reads the stream from its beginning, otherwise from
  // its position. Stream errors (ovx::Error) pass through.
  [[nodiscard]] bool LoadFromStream(ovx::Stream& stream, bool from_start = true);
  // The kind comes from the content, whatever the file is called. Throws
  // ovx::Error when the file cannot be opened or read.
  [[nodiscard]] bool LoadFromFile(const QString& file_name);
  [[nodiscard]] bool LoadFromData(const QByteArray& data);
  void Clear();

  bool IsEmpty() const { return kind_ == ovx::PictureKind::kNone; }
  ovx::PictureKind Kind() const { return kind_; }
  // The bytes exactly as loaded (without an older picture header).
  const QByteArray& Data() const { return data_; }
  // The decoded raster image; null for metafiles and empty pictures.
  const QImage& Image() const { return image_; }
  // In pixels at 96 per inch; metafiles give their frame's size.
  QSize PixelSize() const { return size_; }
  int Width() const { return size_.width(); }
  int Height() const { return size_.height(); }

  // Same kind and bytes.
  bool SameAs(const TovxPicture& other) const;

  // One value "Data": the kind's class name (a length byte and the name),
  // then the original bytes. Empty for an empty picture.
  QByteArray DefinedData() const override;
  // Throws ovx::Error and leaves the picture empty when the record is
  // damaged or its picture does not load.
  void ReadDefinedData(const QByteArray& record) override;

  // The class name stored for a kind ("TBitmap", ...), empty for kNone.
  static QByteArray KindClassName(ovx::PictureKind kind);

 private:
  void ReadRecord(const QByteArray& record);

  ovx::PictureKind kind_ = ovx::PictureKind::kNone;
  QByteArray data_;
  QImage image_;
  QSize size_;
};
