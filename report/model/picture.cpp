// Recognition, checking and decoding of pictures.
//
// Recognition looks only at signatures, in a fixed order. A recognised
// picture must then prove itself: raster kinds are decoded with Qt's image
// readers; JPEG and PNG are first walked segment by segment up to their end
// marker, because the decoders quietly turn a cut-off file into a partly
// grey image and report success. Metafiles are checked header by header
// (sizes within the data, a sane frame) and measured from their header.
#include "report/model/picture.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/rounding.h"
#include "base/stream.h"
#include "platform/safe_file.h"
#include "report/storage/property_record.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <list>
#include <mutex>
#include <optional>

namespace ovx {
namespace {

quint16 U16(QByteArrayView d, qsizetype at) {
  return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(d.data()) + at);
}
qint16 S16(QByteArrayView d, qsizetype at) { return static_cast<qint16>(U16(d, at)); }
quint32 U32(QByteArrayView d, qsizetype at) {
  return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(d.data()) + at);
}
qint32 S32(QByteArrayView d, qsizetype at) { return static_cast<qint32>(U32(d, at)); }
quint32 U32BigEndian(QByteArrayView d, qsizetype at) {
  return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(d.data()) + at);
}
uchar Byte(QByteArrayView d, qsizetype at) { return static_cast<uchar>(d[at]); }

constexpr quint32 kPlaceableKey = 0x9AC6CDD7u;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// Walks the marker segments of a JPEG file and answers whether its end
// marker is there. Entropy-coded data escapes 0xFF as FF 00, so after a
// start-of-scan the next marker is the first FF not followed by 00, a
// restart marker or another fill byte.
bool JpegIsComplete(QByteArrayView d) {
  const qsizetype n = d.size();
  qsizetype pos = 2;
  for (;;) {
    if (pos >= n || Byte(d, pos) != 0xFF) return false;
    while (pos < n && Byte(d, pos) == 0xFF) ++pos;
    if (pos >= n) return false;
    const uchar marker = Byte(d, pos++);
    if (marker == 0xD9) return true;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    if (marker == 0x00 || marker == 0xD8) return false;
    if (n - pos < 2) return false;
    const qsizetype length = (Byte(d, pos) << 8) | Byte(d, pos + 1);
    if (length < 2 || length > n - pos) return false;
    pos += length;
    if (marker != 0xDA) continue;
    for (;;) {
      if (pos + 1 >= n) return false;
      if (Byte(d, pos) != 0xFF) {
        ++pos;
        continue;
      }
      const uchar next = Byte(d, pos + 1);
      if (next == 0xFF) {
        ++pos;
      } else if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
        pos += 2;
      } else {
        break;  // a marker: the outer loop reads it
      }
    }
  }
}

// Walks the chunks of a PNG file up to IEND, every length within the data.
bool PngIsComplete(QByteArrayView d) {
  const qsizetype n = d.size();
  qsizetype pos = 8;
  while (n - pos >= 12) {
    const quint32 length = U32BigEndian(d, pos);
    if (length > 0x7FFFFFFFu || static_cast<qint64>(length) > n - pos - 12) return false;
    if (d.sliced(pos + 4, 4) == QByteArrayView("IEND")) return true;
    pos += 12 + static_cast<qsizetype>(length);
  }
  return false;
}

// Placeable header (22 bytes: key, handle, bounding box, units per inch,
// reserved, checksum), then the metafile header (type, header size in
// words 9, version, size in words, ...).
std::optional<QSize> MetafileSize(QByteArrayView d) {
  constexpr qsizetype kPlaceable = 22;
  constexpr qsizetype kHeader = 18;
  if (d.size() < kPlaceable + kHeader) return std::nullopt;
  const int width = S16(d, 10) - S16(d, 6);
  const int height = S16(d, 12) - S16(d, 8);
  const int inch = U16(d, 14);
  if (inch == 0 || width <= 0 || height <= 0) return std::nullopt;
  const quint16 type = U16(d, kPlaceable);
  const quint16 header_words = U16(d, kPlaceable + 2);
  const quint32 size_words = U32(d, kPlaceable + 6);
  if ((type != 1 && type != 2) || header_words != 9) return std::nullopt;
  if (size_words < 9 || static_cast<qint64>(size_words) * 2 > d.size() - kPlaceable) {
    return std::nullopt;
  }
  return QSize(static_cast<int>(Round(width * 96.0 / inch)),
               static_cast<int>(Round(height * 96.0 / inch)));
}

// The header record: type 1, its size, bounds, frame in 0.01 mm, the
// signature at 40, the whole file's size at 48.
std::optional<QSize> EnhancedMetafileSize(QByteArrayView d) {
  constexpr quint32 kMinHeader = 88;
  const quint32 header_size = U32(d, 4);
  const quint32 file_size = U32(d, 48);
  if (U32(d, 0) != 1 || header_size < kMinHeader || header_size % 4 != 0) return std::nullopt;
  if (static_cast<qint64>(header_size) > d.size() || file_size < header_size ||
      static_cast<qint64>(file_size) > d.size()) {
    return std::nullopt;
  }
  const qint64 width = qint64{S32(d, 32)} - S32(d, 24);
  const qint64 height = qint64{S32(d, 36)} - S32(d, 28);
  if (width <= 0 || height <= 0) return std::nullopt;
  return QSize(static_cast<int>(Round(width * 96.0 / 2540.0)),
               static_cast<int>(Round(height * 96.0 / 2540.0)));
}

std::optional<QImage> DecodeRaster(const QByteArray& bytes, const char* format) {
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  return image;
}

struct Decoded {
  PictureKind kind = PictureKind::kNone;
  QByteArray data;
  QImage image;
  QSize size;
};

std::optional<Decoded> Decode(PictureKind kind, const QByteArray& bytes) {
  Decoded result;
  result.kind = kind;
  result.data = bytes;
  std::optional<QImage> image;
  std::optional<QSize> size;
  switch (kind) {
    case PictureKind::kBitmap:
      image = DecodeRaster(bytes, "bmp");
      break;
    case PictureKind::kJpeg:
      if (JpegIsComplete(bytes)) image = DecodeRaster(bytes, "jpeg");
      break;
    case PictureKind::kPng:
      if (PngIsComplete(bytes)) image = DecodeRaster(bytes, "png");
      break;
    case PictureKind::kIcon:
      image = DecodeRaster(bytes, "ico");
      break;
    case PictureKind::kMetafile:
      size = MetafileSize(bytes);
      break;
    case PictureKind::kEnhancedMetafile:
      size = EnhancedMetafileSize(bytes);
      break;
    case PictureKind::kNone:
      break;
  }
  if (image) {
    result.image = *image;
    result.size = image->size();
  } else if (size) {
    result.size = *size;
  } else {
    return std::nullopt;
  }
  return result;
}

// Recently decoded contents, so that loading the same file again (a
// background on every page) shares bytes and image instead of decoding and
// holding a copy per page. Bounded by bytes; entries in use stay alive in
// the pictures that share them after they leave the cache.
class DecodedCache {
 public:
  static DecodedCache& Instance() {
    static DecodedCache cache;
    return cache;
  }

  std::optional<Decoded> Find(QByteArrayView bytes) {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->data.size() == bytes.size() && QByteArrayView(it->data) == bytes) {
        entries_.splice(entries_.begin(), entries_, it);
        return entries_.front();
      }
    }
    return std::nullopt;
  }

  void Add(const Decoded& decoded) {
    const qint64 cost = Cost(decoded);
    if (cost > kBudget) return;
    std::lock_guard lock(mutex_);
    entries_.push_front(decoded);
    total_ += cost;
    while (total_ > kBudget && !entries_.empty()) {
      total_ -= Cost(entries_.back());
      entries_.pop_back();
    }
  }

 private:
  static constexpr qint64 kBudget = qint64{96} << 20;
  static qint64 Cost(const Decoded& d) { return d.data.size() + d.image.sizeInBytes(); }

  std::mutex mutex_;
  std::list<Decoded> entries_;
  qint64 total_ = 0;
};

[[noreturn]] void ThrowDamaged(const QString& what) {
  throw Error(QString(), QStringLiteral("Damaged picture data: %s"), {what});
}

}  // namespace

PictureRecognition RecognizePicture(QByteArrayView data) {
  PictureRecognition result;
  if (data.size() >= 8 && U16(data, 0) == 1 && U16(data, 2) == 256 &&
      static_cast<qint64>(U32(data, 4)) == data.size() - 8) {
    result.offset = 8;
  }
  const QByteArrayView d = data.sliced(result.offset);
  const qsizetype n = d.size();
  if (n >= 14 && d[0] == 'B' && d[1] == 'M') {
    result.kind = PictureKind::kBitmap;
  } else if (n >= 2 && Byte(d, 0) == 0xFF && Byte(d, 1) == 0xD8) {
    result.kind = PictureKind::kJpeg;
  } else if (n >= 8 && d.first(8) == QByteArrayView(kPngSignature, 8)) {
    result.kind = PictureKind::kPng;
  } else if (n >= 22 && U32(d, 0) == kPlaceableKey) {
    result.kind = PictureKind::kMetafile;
  } else if (n >= 100 && d.sliced(40, 4) == QByteArrayView(" EMF")) {
    result.kind = PictureKind::kEnhancedMetafile;
  } else if (n >= 6 && U16(d, 2) < 2) {
    result.kind = PictureKind::kIcon;
  } else {
    result.offset = 0;
  }
  return result;
}

}  // namespace ovx

// --- TovxPicture ------------------------------------------------------------------

bool TovxPicture::LoadFromStream(ovx::Stream& stream, bool from_start) {
  if (from_start) stream.Seek(0);
  const qint64 available = stream.Size() - stream.Position();
  if (available > ovx::kMaxPictureBytes) {
    Clear();
    return false;
  }
  return LoadFromData(stream.Read(available));
}

bool TovxPicture::LoadFromFile(const QString& file_name) {
  ovx::CheckReadableFile(file_name, ovx::kMaxPictureBytes, QStringLiteral("picture"));
  ovx::FileStream file(file_name, ovx::FileStream::Mode::kRead);
  return LoadFromStream(file, true);
}

bool TovxPicture::LoadFromData(const QByteArray& data) {
  if (data.size() > ovx::kMaxPictureBytes) {
    Clear();
    return false;
  }
  const ovx::PictureRecognition recognised = ovx::RecognizePicture(data);
  if (recognised.kind == ovx::PictureKind::kNone) {
    Clear();
    return false;
  }
  const QByteArray bytes = recognised.offset == 0 ? data : data.mid(recognised.offset);
  ovx::DecodedCache& cache = ovx::DecodedCache::Instance();
  std::optional<ovx::Decoded> decoded = cache.Find(bytes);
  if (!decoded || decoded->kind != recognised.kind) {
    decoded = ovx::Decode(recognised.kind, bytes);
    if (!decoded) {
      Clear();
      return false;
    }
    cache.Add(*decoded);
  }
  kind_ = decoded->kind;
  data_ = decoded->data;
  image_ = decoded->image;
  size_ = decoded->size;
  return true;
}

void TovxPicture::Clear() {
  kind_ = ovx::PictureKind::kNone;
  data_.clear();
  image_ = QImage();
  size_ = QSize();
}

bool TovxPicture::SameAs(const TovxPicture& other) const {
  return kind_ == other.kind_ && data_ == other.data_;
}

QByteArray TovxPicture::KindClassName(ovx::PictureKind kind) {
  switch (kind) {
    case ovx::PictureKind::kBitmap:
      return "TBitmap";
    case ovx::PictureKind::kJpeg:
      return "TJPEGImage";
    case ovx::PictureKind::kPng:
      return "TPngImage";
    case ovx::PictureKind::kMetafile:
    case ovx::PictureKind::kEnhancedMetafile:
      return "TMetafile";
    case ovx::PictureKind::kIcon:
      return "TIcon";
    case ovx::PictureKind::kNone:
      break;
  }
  return {};
}

QByteArray TovxPicture::DefinedData() const {
  if (IsEmpty()) return {};
  const QByteArray class_name = KindClassName(kind_);
  QByteArray payload;
  payload.reserve(1 + class_name.size() + data_.size());
  payload.append(static_cast<char>(class_name.size()));
  payload.append(class_name);
  payload.append(data_);
  ovx::PropertyRecordWriter writer;
  writer.WriteBinary("Data", payload);
  return writer.Data();
}

void TovxPicture::ReadDefinedData(const QByteArray& record) {
  Clear();
  try {
    ReadRecord(record);
  } catch (...) {
    Clear();
    throw;
  }
}

void TovxPicture::ReadRecord(const QByteArray& record) {
  ovx::PropertyRecordReader reader(record);
  while (!reader.AtEnd()) {
    const ovx::RecordValue value = reader.Next();
    if (value.name.compare("Data", Qt::CaseInsensitive) != 0) continue;
    if (value.type != ovx::RecordValueType::kBinary)
      ovx::ThrowDamaged(QStringLiteral("not binary"));
    const QByteArray& payload = value.bytes;
    if (payload.isEmpty()) ovx::ThrowDamaged(QStringLiteral("no class name"));
    const qsizetype name_length = static_cast<uchar>(payload[0]);
    if (name_length > payload.size() - 1) ovx::ThrowDamaged(QStringLiteral("class name cut off"));
    const QByteArray class_name = payload.mid(1, name_length);
    const QByteArray bytes = payload.mid(1 + name_length);
    static constexpr ovx::PictureKind kKinds[] = {
        ovx::PictureKind::kBitmap, ovx::PictureKind::kJpeg, ovx::PictureKind::kPng,
        ovx::PictureKind::kMetafile, ovx::PictureKind::kIcon};
    bool known = false;
    for (ovx::PictureKind kind : kKinds) known = known || KindClassName(kind) == class_name;
    if (!known) ovx::ThrowDamaged(QString::fromLatin1(class_name.toPercentEncoding()));
    if (bytes.isEmpty()) continue;  // a graphic of a known class without content
    if (!LoadFromData(bytes) || KindClassName(kind_) != class_name) {
      ovx::ThrowDamaged(QString::fromLatin1(class_name));
    }
  }
}

const ovx::MetaClass& TovxPicture::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxPicture> b("TovxPicture", nullptr);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxPicture; });
    return b.Build();
  }();
  return meta;
}
