// Device-independent bitmaps as metafile records carry them: a bitmap
// header (with its colour table or masks) and the pixel bits, each at its
// own recorded offset.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

namespace ovx::internal {

// The largest bitmap decoded, in pixels; larger ones decode as null.
inline constexpr qint64 kMaxDibPixels = qint64{1} << 26;

// Decodes `header` (BITMAPCOREHEADER, BITMAPINFOHEADER or a later
// version, followed by masks or a colour table) and `bits`. Answers a null
// image when they contradict each other, exceed kMaxDibPixels or do not
// decode. 32-bit pixels keep their alpha (as premultiplied, which is how
// blending records store them) only with `use_alpha`.
QImage DecodeDib(QByteArrayView header, QByteArrayView bits, bool use_alpha);

// A bottom-up BITMAPINFOHEADER image of `image`: 24-bit BGR, or with
// `with_alpha` 32-bit premultiplied BGRA. Answers the header and the bits.
struct EncodedDib {
  QByteArray header;
  QByteArray bits;
};
EncodedDib EncodeDib(const QImage& image, bool with_alpha);

}  // namespace ovx::internal
