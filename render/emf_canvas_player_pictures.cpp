// The canvas replay of bitmap records: the source part of the bitmap
// drawn stretched into the mapped destination, mirrored for negative
// extents; blits without a source paint with the brush.
#include "render/emf_canvas_player.h"

#include <algorithm>
#include <climits>

namespace ovx {

namespace {

using namespace emf;

}  // namespace

// --- pictures ----------------------------------------------------------------------------

void EmfCanvasPlayer::DrawImage(const QRect& dest, QImage image, std::optional<Color> transparent) {
  if (image.isNull()) return;
  PixelRect r = CanvasRect(dest);
  // A negative extent mirrors the picture.
  const bool flip_x = r.right < r.left, flip_y = r.bottom < r.top;
  if (flip_x) std::swap(r.left, r.right);
  if (flip_y) std::swap(r.top, r.bottom);
  if (flip_x || flip_y) image = image.mirrored(flip_x, flip_y);
  canvas_.StretchDraw(r, image, transparent);
}

namespace {

bool BottomUp(const TEMRBitmap& r) { return r.BitmapSize().height() > 0; }

}  // namespace

void EmfCanvasPlayer::DoStretchDIBits() {
  TEMFAbstractExport::DoStretchDIBits();
  const auto& r = Current<TEMRStretchDIBitsObj>();
  if (r.U32(68) != kSrcCopy || !r.HasBitmap()) return;
  const QImage image =
      BitmapSourcePart(r.Image(), r.I32(32), r.I32(36), r.I32(40), r.I32(44), BottomUp(r));
  const qint64 x = r.I32(24), y = r.I32(28);
  DrawImage(QRect(QPoint(r.I32(24), r.I32(28)),
                  QPoint(static_cast<int>(std::clamp<qint64>(x + r.I32(72), INT_MIN, INT_MAX)),
                         static_cast<int>(std::clamp<qint64>(y + r.I32(76), INT_MIN, INT_MAX)))),
            image, std::nullopt);
}

void EmfCanvasPlayer::DoSetDIBitsToDevice() {
  TEMFAbstractExport::DoSetDIBitsToDevice();
  const auto& r = Current<TEMRSetDIBitsToDeviceObj>();
  if (!r.HasBitmap()) return;
  const int w = r.I32(40), h = r.I32(44);
  const QImage image = BitmapSourcePart(r.Image(), r.I32(32), r.I32(36), w, h, BottomUp(r));
  const qint64 x = r.I32(24), y = r.I32(28);
  DrawImage(QRect(QPoint(r.I32(24), r.I32(28)),
                  QPoint(static_cast<int>(std::clamp<qint64>(x + w, INT_MIN, INT_MAX)),
                         static_cast<int>(std::clamp<qint64>(y + h, INT_MIN, INT_MAX)))),
            image, std::nullopt);
}

namespace {

// The destination of the blit records: x, y, cx, cy at 24 as a rectangle.
QRect BlitDest(const TEnhMetaObj& r) {
  const qint64 x = r.I32(24), y = r.I32(28);
  return QRect(QPoint(r.I32(24), r.I32(28)),
               QPoint(static_cast<int>(std::clamp<qint64>(x + r.I32(32), INT_MIN, INT_MAX)),
                      static_cast<int>(std::clamp<qint64>(y + r.I32(36), INT_MIN, INT_MAX))));
}

}  // namespace

void EmfCanvasPlayer::DoBitBlt() {
  TEMFAbstractExport::DoBitBlt();
  const auto& r = Current<TEMRBitBltObj>();
  const quint32 rop = r.U32(40);
  if (!r.HasBitmap()) {
    // A blit without a source paints with the brush (or black, white).
    CanvasBrush brush;
    if (rop == kPatCopy)
      brush = BrushOf(DeviceContext().Data().brush);
    else if (rop == kBlackness)
      brush = {clBlack, TovxBrushStyle::bsSolid};
    else if (rop == kWhiteness)
      brush = {clWhite, TovxBrushStyle::bsSolid};
    else
      return;
    canvas_.Brush() = brush;
    PixelRect rect = CanvasRect(BlitDest(r));
    if (rect.right < rect.left) std::swap(rect.left, rect.right);
    if (rect.bottom < rect.top) std::swap(rect.top, rect.bottom);
    canvas_.FillRect(rect);
    return;
  }
  if (rop != kSrcCopy) return;
  DrawImage(BlitDest(r),
            BitmapSourcePart(r.Image(), r.I32(44), r.I32(48), r.I32(32), r.I32(36), false),
            std::nullopt);
}

void EmfCanvasPlayer::DoStretchBlt() {
  TEMFAbstractExport::DoStretchBlt();
  const auto& r = Current<TEMRStretchBltObj>();
  if (!r.HasBitmap() || r.U32(40) != kSrcCopy) return;
  DrawImage(BlitDest(r),
            BitmapSourcePart(r.Image(), r.I32(44), r.I32(48), r.I32(100), r.I32(104), false),
            std::nullopt);
}

void EmfCanvasPlayer::DoAlphaBlend() {
  TEMFAbstractExport::DoAlphaBlend();
  const auto& r = Current<TEMRAlphaBlendObj>();
  if (!r.HasBitmap()) return;
  const int constant = r.U8(42);
  QImage image =
      BitmapSourcePart(r.Image(r.U8(43) & 1), r.I32(44), r.I32(48), r.I32(100), r.I32(104), false);
  if (image.isNull() || constant == 0) return;
  if (constant < 255) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = row[x];
        row[x] = qRgba(qRed(p) * constant / 255, qGreen(p) * constant / 255,
                       qBlue(p) * constant / 255, qAlpha(p) * constant / 255);
      }
    }
  }
  DrawImage(BlitDest(r), image, std::nullopt);
}

void EmfCanvasPlayer::DoTransparentBlt() {
  TEMFAbstractExport::DoTransparentBlt();
  const auto& r = Current<TEMRTransparentBltObj>();
  if (!r.HasBitmap()) return;
  const Color key =
      static_cast<Color>(ResolveColorRef(r.U32(40), DeviceContext().Data().eof_palette));
  DrawImage(BlitDest(r),
            BitmapSourcePart(r.Image(), r.I32(44), r.I32(48), r.I32(100), r.I32(104), false), key);
}

}  // namespace ovx
