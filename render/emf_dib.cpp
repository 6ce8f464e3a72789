// Decoding and encoding the bitmaps of metafile records.
//
// The common uncompressed depths are decoded here, row by row, with every
// size checked against the bytes the record holds. Run-length compressed
// bitmaps go through Qt's BMP reader (given a file header that points at
// the bits wherever the record put them), JPEG and PNG bits through Qt's
// readers, both under Qt's allocation limit.
#include "render/internal/emf_dib.h"

#include "render/internal/emf_bytes.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

namespace ovx::internal {

namespace {

constexpr quint32 kBiRgb = 0;
constexpr quint32 kBiRle8 = 1;
constexpr quint32 kBiRle4 = 2;
constexpr quint32 kBiBitfields = 3;
constexpr quint32 kBiJpeg = 4;
constexpr quint32 kBiPng = 5;

struct DibHeader {
  qint64 header_size = 0;
  qint64 width = 0;
  qint64 height = 0;  // negative: top-down
  int bit_count = 0;
  quint32 compression = kBiRgb;
  quint32 colors_used = 0;
  bool core = false;  // BITMAPCOREHEADER: 3-byte colour table entries
};

std::optional<DibHeader> ReadHeader(QByteArrayView h) {
  DibHeader d;
  d.header_size = LoadU32(h, 0);
  if (d.header_size == 12 && h.size() >= 12) {
    d.core = true;
    d.width = LoadU16(h, 4);
    d.height = LoadU16(h, 6);
    d.bit_count = LoadU16(h, 10);
    return d;
  }
  if (d.header_size < 40 || d.header_size > h.size()) return std::nullopt;
  d.width = LoadI32(h, 4);
  d.height = LoadI32(h, 8);
  d.bit_count = LoadU16(h, 14);
  d.compression = LoadU32(h, 16);
  d.colors_used = LoadU32(h, 32);
  return d;
}

// Where a mask's bits sit and how many there are.
struct Channel {
  quint32 mask = 0;
  int shift = 0;
  int bits = 0;
  int Read(quint32 pixel) const {
    if (bits == 0) return 0;
    const quint32 v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<int>(v >> (bits - 8));
    // Spread a short channel over 0..255.
    return static_cast<int>(v * 255 / ((1u << bits) - 1));
  }
};

Channel MakeChannel(quint32 mask) {
  Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  c.bits = std::popcount(mask);
  // Masks with holes read as the contiguous run from the lowest bit.
  c.bits = std::min(c.bits, 32 - c.shift);
  return c;
}

QImage DecodeThroughReader(const QByteArray& file, const char* format) {
  QBuffer buffer;
  buffer.setData(file);
  if (!buffer.open(QIODevice::ReadOnly)) return QImage();
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  const QSize size = reader.size();
  if (size.isValid() && qint64{size.width()} * size.height() > kMaxDibPixels) return QImage();
  QImage image = reader.read();
  if (image.isNull()) return image;
  return image.convertToFormat(QImage::Format_RGB32);
}

// A BMP file of the header and the bits, the bits right after the header.
QByteArray BmpFile(QByteArrayView header, QByteArrayView bits) {
  RecordWriter w;
  const qint64 total = 14 + header.size() + bits.size();
  w.U16(0x4D42)
      .U32(static_cast<quint32>(total))
      .U32(0)
      .U32(static_cast<quint32>(14 + header.size()));
  w.Bytes(header).Bytes(bits);
  return w.Data();
}

}  // namespace

QImage DecodeDib(QByteArrayView header, QByteArrayView bits, bool use_alpha) {
  const std::optional<DibHeader> d = ReadHeader(header);
  if (!d) return QImage();
  if (d->compression == kBiJpeg) return DecodeThroughReader(bits.toByteArray(), "JPEG");
  if (d->compression == kBiPng) return DecodeThroughReader(bits.toByteArray(), "PNG");

  const qint64 width = d->width;
  const qint64 rows = d->height < 0 ? -d->height : d->height;
  if (width <= 0 || rows <= 0 || width > (1 << 20) || rows > (1 << 20) ||
      width * rows > kMaxDibPixels) {
    return QImage();
  }
  if (d->compression == kBiRle8 || d->compression == kBiRle4) {
    if (d->core) return QImage();
    return DecodeThroughReader(BmpFile(header, bits), "BMP");
  }
  if (d->compression != kBiRgb && d->compression != kBiBitfields) return QImage();
  const int bpp = d->bit_count;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return QImage();

  // Colour table or masks follow the header.
  std::vector<QRgb> palette;
  Channel red, green, blue, alpha;
  if (bpp <= 8) {
    const qint64 entry = d->core ? 3 : 4;
    qint64 count = d->colors_used ? d->colors_used : (qint64{1} << bpp);
    count = std::min<qint64>(count, 256);
    const qint64 available = (header.size() - d->header_size) / entry;
    count = std::min(count, available);
    for (qint64 i = 0; i < count; ++i) {
      const qint64 at = d->header_size + i * entry;
      palette.push_back(qRgb(LoadU8(header, at + 2), LoadU8(header, at + 1), LoadU8(header, at)));
    }
    if (palette.empty()) return QImage();
  } else if (d->compression == kBiBitfields) {
    if (bpp != 16 && bpp != 32) return QImage();
    // Version 4 and 5 headers hold the masks; the plain header is
    // followed by them.
    const qint64 at = d->header_size >= 52 ? 40 : d->header_size;
    if (!Fits(header.size(), at, 12)) return QImage();
    red = MakeChannel(LoadU32(header, at));
    green = MakeChannel(LoadU32(header, at + 4));
    blue = MakeChannel(LoadU32(header, at + 8));
    if (d->header_size >= 56) alpha = MakeChannel(LoadU32(header, 52));
  } else if (bpp == 16) {
    red = MakeChannel(0x7C00);
    green = MakeChannel(0x03E0);
    blue = MakeChannel(0x001F);
  } else if (bpp == 32) {
    red = MakeChannel(0x00FF0000);
    green = MakeChannel(0x0000FF00);
    blue = MakeChannel(0x000000FF);
    alpha = MakeChannel(0xFF000000);
  }

  const qint64 stride = (width * bpp + 31) / 32 * 4;
  if (stride * rows > bits.size()) return QImage();
  const bool with_alpha = use_alpha && bpp == 32 && alpha.bits > 0;
  QImage image(static_cast<int>(width), static_cast<int>(rows),
               with_alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  if (image.isNull()) return image;
  const auto* data = reinterpret_cast<const uchar*>(bits.data());
  for (qint64 row = 0; row < rows; ++row) {
    const uchar* src = data + row * stride;
    const qint64 y = d->height < 0 ? row : rows - 1 - row;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
    for (qint64 x = 0; x < width; ++x) {
      QRgb pixel;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          const qint64 bit = x * bpp;
          const int index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
          pixel = index < static_cast<int>(palette.size()) ? palette[index] : palette[0];
          break;
        }
        case 24:
          pixel = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
          break;
        default: {
          const quint32 v = bpp == 16 ? quint32{src[2 * x]} | (quint32{src[2 * x + 1]} << 8)
                                      : LoadU32(QByteArrayView(src + 4 * x, 4), 0);
          if (with_alpha) {
            const int a = alpha.Read(v);
            pixel = qRgba(std::min(red.Read(v), a), std::min(green.Read(v), a),
                          std::min(blue.Read(v), a), a);
          } else {
            pixel = qRgb(red.Read(v), green.Read(v), blue.Read(v));
          }
        }
      }
      out[x] = pixel;
    }
  }
  return image;
}

EncodedDib EncodeDib(const QImage& source, bool with_alpha) {
  const QImage image = source.convertToFormat(with_alpha ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
  const int width = image.width();
  const int height = image.height();
  const int bpp = with_alpha ? 32 : 24;
  const qint64 stride = (qint64{width} * bpp + 31) / 32 * 4;
  EncodedDib dib;
  RecordWriter h;
  h.U32(40).I32(width).I32(height).U16(1).U16(static_cast<quint16>(bpp)).U32(kBiRgb);
  h.U32(static_cast<quint32>(stride * height));
  // 96 per inch.
  h.I32(3780).I32(3780).U32(0).U32(0);
  dib.header = std::move(h.Data());
  dib.bits = QByteArray(stride * height, '\0');
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    auto* out = reinterpret_cast<uchar*>(dib.bits.data()) + qint64{height - 1 - y} * stride;
    for (int x = 0; x < width; ++x) {
      uchar* p = out + qint64{x} * (bpp / 8);
      p[0] = static_cast<uchar>(qBlue(in[x]));
      p[1] = static_cast<uchar>(qGreen(in[x]));
      p[2] = static_cast<uchar>(qRed(in[x]));
      if (with_alpha) p[3] = static_cast<uchar>(qAlpha(in[x]));
    }
  }
  return dib;
}

}  // namespace ovx::internal
