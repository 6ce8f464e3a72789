// The device context a metafile's records were recorded against, as the
// metafile player keeps it: mapping, world transform, selected objects,
// colours and modes, clip, current position, path bracket.
//
// The selected objects are references to record objects the player owns
// (or to the shared stock objects); the values derived from them (pen
// width, brush colour, font face, ...) are computed here so that every
// output of the player reads them alike.
//
// Regions are in device pixels relative to the metafile frame's top left,
// with exclusive right and bottom edges as everywhere in the drawing code.
#pragma once

#include "render/emf_records.h"

#include <QPoint>
#include <QPointF>
#include <QRegion>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// A world transform as the records store it: x' = x eM11 + y eM21 + eDx,
// y' = x eM12 + y eM22 + eDy.
struct TEMFXForm {
  float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

  bool operator==(const TEMFXForm&) const = default;
  // The product `a` then `b` (a applied first).
  static TEMFXForm Multiply(const TEMFXForm& a, const TEMFXForm& b);
};

struct TDeviceContextData {
  // Top left of the metafile frame in device pixels (set by the header).
  QPointF frame_origin;
  quint32 layout = 0;
  quint32 map_mode = ovx::emf::kMmText;
  QPoint window_origin;
  QPoint viewport_origin;
  QPoint brush_origin;
  QSize window_extent{1, 1};
  QSize viewport_extent{1, 1};
  const TEnhMetaObj* pen = nullptr;
  const TEnhMetaObj* brush = nullptr;
  const TEnhMetaObj* font = nullptr;
  const TEnhMetaObj* palette = nullptr;
  const TEnhMetaObj* color_space = nullptr;
  const TEnhMetaObj* color_adjustment = nullptr;
  // The current position before the record being played.
  QPoint previous_position;
  QPoint current_position;
  quint32 bk_mode = ovx::emf::kOpaque;
  // A float as EMR_SETMITERLIMIT stores it (4.0).
  quint32 miter_limit = 0x40800000;
  quint32 bk_color = 0xFFFFFF;
  quint32 text_color = 0;
  quint32 rop2 = 13;
  quint32 poly_fill_mode = 1;
  // None: no clipping.
  std::optional<QRegion> clip_region;
  // The outer region EMR_SETMETARGN fixes; the clip never leaves it.
  std::optional<QRegion> meta_region;
  // The palette of the end-of-file record, as 0x00BBGGRR values.
  std::vector<quint32> eof_palette;
  quint32 stretch_mode = 1;
  bool in_path = false;
  quint32 text_align = 0;
  quint32 icm_mode = 0;
  TEMFXForm world_transform;
  quint32 mapper_flags = 0;
  quint32 arc_direction = 1;
};

class TDeviceContext {
 public:
  enum class HAlign { kLeft, kCenter, kRight };
  enum class VAlign { kTop, kBottom, kBaseline };

  TDeviceContext() = default;
  virtual ~TDeviceContext() = default;
  TDeviceContext(const TDeviceContext&) = delete;
  TDeviceContext& operator=(const TDeviceContext&) = delete;

  // Copies the whole state of `other`.
  virtual void Assign(const TDeviceContext& other) { data_ = other.data_; }
  // The state of a fresh context (the frame origin is kept).
  virtual void Reset();

  TDeviceContextData& Data() { return data_; }
  const TDeviceContextData& Data() const { return data_; }

  // --- derived values ------------------------------------------------------------
  // lbColor of an EMR_CREATEBRUSHINDIRECT brush, clNone for its BS_NULL,
  // white for no brush or another kind.
  quint32 BrushColor() const;
  bool BrushIsNull() const;
  quint32 BrushStyle() const;
  // lopnStyle / elpPenStyle; 0x2200 without a pen.
  quint32 PenStyleWord() const;
  quint32 PenType() const { return PenStyleWord() & 0xF; }
  quint32 PenEndCap() const { return PenStyleWord() & 0xF00; }
  quint32 PenJoin() const { return PenStyleWord() & 0xF000; }
  qint64 PenWidth() const;
  quint32 PenColor() const;
  double MiterLimit() const;
  QString FontFaceName() const;
  int FontCharset() const;
  bool FontItalic() const;
  bool FontUnderline() const;
  bool FontStrikeOut() const;
  // Tenths of a degree; the angle in radians.
  int FontEscapement() const;
  double FontEscapementAngle() const;
  // Absolute values; 12 and 400 without a font.
  int FontHeight() const;
  int FontWeight() const;
  // lfHeight with its sign (0 without a font).
  int FontSignedHeight() const;
  HAlign HorizontalAlignment() const;
  VAlign VerticalAlignment() const;
  bool IsIdentityTransform() const;
  // The clip within the meta region; none when neither exists.
  std::optional<QRegion> EffectiveClip() const;

 private:
  TDeviceContextData data_;
};

namespace ovx::emf {

// "Everything": a region larger than any device, standing for the whole
// surface where an operation needs the region a missing clip means.
QRegion EverythingRegion();

// `region` moved by `shift`, the shift cut short where the region would
// leave the window of EverythingRegion (and go beyond int coordinates
// after enough moves).
QRegion Translated(const QRegion& region, qint64 dx, qint64 dy);

// The union of `rects`, merged pairwise so that many rectangles cost
// n log n rather than n squared.
QRegion RegionOfRects(const std::vector<QRect>& rects);

// A COLORREF as an RGB colour 0x00BBGGRR: palette indices (high byte 1)
// are looked up in `palette` (black when absent), other flags dropped.
quint32 ResolveColorRef(quint32 color_ref, const std::vector<quint32>& palette = {});

}  // namespace ovx::emf
