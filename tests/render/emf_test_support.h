// Helpers of the metafile tests: drawing on an image directly, through a
// recorded metafile, and comparing the two.
#pragma once

#include "render/emf_canvas_player.h"
#include "render/emf_records.h"
#include "render/internal/emf_bytes.h"
#include "render/metafile_canvas.h"
#include "render/painter_canvas.h"

#include <QImage>
#include <QRect>

#include <functional>
#include <initializer_list>

namespace ovx::test {

using Drawing = std::function<void(Canvas&)>;

inline QImage DrawDirectly(const Drawing& draw, int width, int height) {
  auto canvas = PainterCanvas::ForImage(width, height);
  draw(*canvas);
  canvas->End();
  return *canvas->Image();
}

inline Metafile Record(const Drawing& draw, int width, int height) {
  MetafileCanvas canvas(width, height);
  draw(canvas);
  return canvas.Finish();
}

// Plays `file` onto a white image of its size; `error` receives what the
// player reported.
inline QImage Replay(const Metafile& file, QString* error = nullptr) {
  auto canvas = PainterCanvas::ForImage(file.size.width(), file.size.height());
  const QString message = PlayMetafile(file.bytes, *canvas);
  if (error) *error = message;
  canvas->End();
  return *canvas->Image();
}

// The number of pixels that differ at all.
inline qint64 DifferingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return qint64{a.width()} * a.height() + 1;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  qint64 count = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) count += (p[col] & RGB_MASK) != (q[col] & RGB_MASK);
  }
  return count;
}

// Pixels that are not white: a drawing that compares equal must have
// drawn something.
inline qint64 InkedPixels(const QImage& image) {
  const QImage x = image.convertToFormat(QImage::Format_RGB32);
  qint64 count = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) count += (p[col] & RGB_MASK) != 0xFFFFFF;
  }
  return count;
}

// Writes metafiles record by record for tests of the player.
class EmfBuilder {
 public:
  // A header of 88 bytes: the frame in hundredths of a millimetre over a
  // reference device of 96 pixels per inch.
  EmfBuilder& Header(quint16 handles = 8, quint32 palette_entries = 0,
                     QRect frame = QRect(QPoint(0, 0), QPoint(2540, 2540))) {
    internal::RecordWriter w;
    w.U32(emf::kEmrHeader).U32(88).I32(0).I32(0).I32(99).I32(99);
    w.I32(frame.left()).I32(frame.top()).I32(frame.right()).I32(frame.bottom());
    w.U32(emf::kSignature).U32(0x10000).U32(0).U32(0).U16(handles).U16(0);
    w.U32(0).U32(0).U32(palette_entries).I32(480).I32(480).I32(127).I32(127);
    bytes_.append(w.Data());
    return *this;
  }
  // A record of `type` whose body is the 32-bit `values`.
  EmfBuilder& Record(quint32 type, std::initializer_list<qint64> values) {
    internal::RecordWriter w;
    w.U32(type).U32(static_cast<quint32>(8 + 4 * values.size()));
    for (qint64 v : values) w.U32(static_cast<quint32>(v));
    bytes_.append(w.Data());
    return *this;
  }
  // A record of `type` with floats (world transforms) after `ints`.
  EmfBuilder& Transform(quint32 type, std::initializer_list<float> values, qint64 mode = -1) {
    internal::RecordWriter w;
    w.U32(type).U32(static_cast<quint32>(8 + 4 * values.size() + (mode >= 0 ? 4 : 0)));
    for (float v : values) w.F32(v);
    if (mode >= 0) w.U32(static_cast<quint32>(mode));
    bytes_.append(w.Data());
    return *this;
  }
  EmfBuilder& Raw(const QByteArray& bytes) {
    bytes_.append(bytes);
    return *this;
  }
  EmfBuilder& Eof(std::initializer_list<quint32> palette = {}) {
    internal::RecordWriter w;
    w.U32(emf::kEmrEoF).U32(static_cast<quint32>(20 + 4 * palette.size()));
    w.U32(static_cast<quint32>(palette.size())).U32(16);
    for (quint32 entry : palette) w.U32(entry);
    w.U32(static_cast<quint32>(20 + 4 * palette.size()));
    bytes_.append(w.Data());
    return *this;
  }
  const QByteArray& Bytes() const { return bytes_; }

 private:
  QByteArray bytes_;
};

}  // namespace ovx::test
