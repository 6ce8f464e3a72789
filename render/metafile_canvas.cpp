// Recording canvas calls as EMF records.
//
// The recorder mirrors the metafile's device context: which pen, brush and
// font are selected, the background mode and colours, the current
// position, and a copy of all of it per SaveDC, so that a record is only
// written when the state the next drawing needs differs from what the
// metafile already has. Objects are kept alive in a small cache keyed by
// their record bytes (a page of a few hundred cells uses one font and a
// handful of pens); when a kind's cache is full the least recently used
// object that no saved state refers to is deleted and its handle reused.
//
// Styled one-pixel lines take the brush colour in their gaps while the
// brush is solid (canvas.h); the platform takes the background colour in
// opaque mode. Such lines are therefore recorded in opaque mode with the
// brush colour as background, everything else in transparent mode.
#include "render/metafile_canvas.h"

#include "base/color.h"
#include "base/rounding.h"
#include "base/utf16.h"
#include "render/emf_records.h"
#include "render/internal/emf_bytes.h"
#include "render/internal/emf_dib.h"

#include <QRegion>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace ovx {

namespace {

using internal::RecordWriter;
using namespace emf;

// Handles no object has: the state before anything was selected.
constexpr quint32 kUnknown = 0xFFFFFFFF;
// Live objects of one kind kept before the oldest is deleted.
constexpr size_t kMaxLiveObjects = 16;
// Picture coordinates are kept where their width still fits 32 bits.
constexpr int kPictureLimit = 1 << 30;

enum class Kind { kPen, kBrush, kFont };

struct LiveObject {
  quint32 handle;
  Kind kind;
  QByteArray key;
  quint64 last_use;
};

struct DcState {
  quint32 pen = kUnknown;
  quint32 brush = kUnknown;
  quint32 font = kUnknown;
  quint32 bk_mode = 0;
  quint32 bk_color = kUnknown;
  quint32 text_color = kUnknown;
  std::optional<QPoint> position;
};

quint32 ColorRef(Color color) { return static_cast<quint32>(ColorToRgb(color)) & 0xFFFFFF; }

quint32 PenStyleValue(PenStyle style) {
  switch (style) {
    case PenStyle::kDash:
      return kPsDash;
    case PenStyle::kDot:
      return kPsDot;
    case PenStyle::kDashDot:
      return kPsDashDot;
    case PenStyle::kDashDotDot:
      return kPsDashDotDot;
    case PenStyle::kClear:
      return kPsNull;
    default:
      return kPsSolid;
  }
}

bool IsStyledPixelPen(const CanvasPen& pen) {
  return !pen.geometric && pen.width <= 1 && pen.style != PenStyle::kSolid &&
         pen.style != PenStyle::kClear && pen.color != clNone;
}

bool IsSolidBrush(const CanvasBrush& brush) {
  return brush.style == TovxBrushStyle::bsSolid && brush.color != clNone;
}

QRect Normalized(const PixelRect& r) {
  const int l = std::min(r.left, r.right), rr = std::max(r.left, r.right);
  const int t = std::min(r.top, r.bottom), b = std::max(r.top, r.bottom);
  return QRect(QPoint(l, t), QPoint(rr, b));
}

QRect BoundsOf(std::span<const QPoint> points) {
  int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
  for (const QPoint& p : points) {
    l = std::min(l, p.x());
    t = std::min(t, p.y());
    r = std::max(r, p.x());
    b = std::max(b, p.y());
  }
  return QRect(QPoint(l, t), QPoint(r, b));
}

bool Fits16(std::span<const QPoint> points) {
  return std::all_of(points.begin(), points.end(), [](const QPoint& p) {
    return p.x() >= SHRT_MIN && p.x() <= SHRT_MAX && p.y() >= SHRT_MIN && p.y() <= SHRT_MAX;
  });
}

}  // namespace

struct MetafileCanvas::Recorder {
  int width = 0;
  int height = 0;
  int dpi = 96;
  QString title;
  QByteArray body;
  quint32 records = 0;
  bool finished = false;
  std::vector<LiveObject> live;
  std::vector<bool> used_handles{true};  // index 0 is the metafile's own
  quint32 max_handle = 0;
  quint64 clock = 0;
  DcState dc;
  std::vector<DcState> saved;
  bool in_path = false;
  std::optional<QRect> path_bounds;
  std::optional<QRect> bounds;

  void Emit(RecordWriter& w) {
    w.Pad4();
    w.PatchU32(4, static_cast<quint32>(w.Size()));
    body.append(w.Data());
    ++records;
  }

  static RecordWriter Start(quint32 type) {
    RecordWriter w;
    w.U32(type).U32(0);
    return w;
  }

  void Simple(quint32 type) {
    RecordWriter w = Start(type);
    Emit(w);
  }

  void OneValue(quint32 type, quint32 value) {
    RecordWriter w = Start(type);
    w.U32(value);
    Emit(w);
  }

  static void Rect(RecordWriter& w, const QRect& r) {
    w.I32(r.left()).I32(r.top()).I32(r.right()).I32(r.bottom());
  }

  // What the header's rclBounds covers: what was drawn, on the surface.
  void Touch(const QRect& drawn) {
    const QRect on_surface = drawn & QRect(0, 0, width, height);
    if (on_surface.isEmpty() || in_path) return;
    bounds = bounds ? (*bounds | on_surface) : on_surface;
  }

  bool IsReferenced(quint32 handle) const {
    auto refers = [&](const DcState& s) {
      return s.pen == handle || s.brush == handle || s.font == handle;
    };
    return refers(dc) || std::any_of(saved.begin(), saved.end(), refers);
  }

  quint32 AllocateHandle() {
    for (quint32 i = 1; i < used_handles.size(); ++i) {
      if (!used_handles[i]) {
        used_handles[i] = true;
        return i;
      }
    }
    used_handles.push_back(true);
    const auto handle = static_cast<quint32>(used_handles.size() - 1);
    max_handle = std::max(max_handle, handle);
    return handle;
  }

  // The handle of an object whose creation record is `type`, a handle
  // slot, then `body`: an existing one, or a new one written now.
  quint32 Object(Kind kind, quint32 type, const QByteArray& key) {
    ++clock;
    for (LiveObject& o : live) {
      if (o.kind == kind && o.key == key) {
        o.last_use = clock;
        return o.handle;
      }
    }
    const quint32 handle = AllocateHandle();
    RecordWriter w = Start(type);
    w.U32(handle).Bytes(key);
    Emit(w);
    live.push_back({handle, kind, key, clock});
    return handle;
  }

  // Deletes the oldest objects of `kind` beyond the cache size that no
  // state refers to.
  void Evict(Kind kind) {
    while (std::count_if(live.begin(), live.end(), [&](const LiveObject& o) {
             return o.kind == kind;
           }) > static_cast<long>(kMaxLiveObjects)) {
      auto oldest = live.end();
      for (auto it = live.begin(); it != live.end(); ++it) {
        if (it->kind != kind || IsReferenced(it->handle)) continue;
        if (oldest == live.end() || it->last_use < oldest->last_use) oldest = it;
      }
      if (oldest == live.end()) return;
      OneValue(kEmrDeleteObject, oldest->handle);
      used_handles[oldest->handle] = false;
      live.erase(oldest);
    }
  }

  void Select(quint32& selected, quint32 handle, Kind kind) {
    if (selected == handle) return;
    OneValue(kEmrSelectObject, handle);
    selected = handle;
    Evict(kind);
  }

  void SelectPen(const CanvasPen& pen) {
    if (pen.style == PenStyle::kClear || pen.color == clNone) {
      Select(dc.pen, kStockObject | kNullPen, Kind::kPen);
      return;
    }
    RecordWriter key;
    quint32 type;
    if (!pen.geometric) {
      type = kEmrCreatePen;
      key.U32(PenStyleValue(pen.style)).I32(pen.width).I32(0).U32(ColorRef(pen.color));
    } else {
      type = kEmrExtCreatePen;
      quint32 style = kPsGeometric | kPsJoinRound;
      style |= pen.cap == LineCap::kFlat     ? kPsEndcapFlat
               : pen.cap == LineCap::kSquare ? kPsEndcapSquare
                                             : kPsEndcapRound;
      style |= pen.dashes.empty() ? PenStyleValue(pen.style) : kPsUserStyle;
      // No bitmap: offBmi, cbBmi, offBits, cbBits are 0.
      key.U32(0).U32(0).U32(0).U32(0);
      key.U32(style).U32(static_cast<quint32>(std::max(pen.width, 0)));
      key.U32(kBsSolid).U32(ColorRef(pen.color)).U32(0);
      key.U32(static_cast<quint32>(pen.dashes.size()));
      // A negative dash draws as none.
      for (int d : pen.dashes) key.U32(static_cast<quint32>(std::max(d, 0)));
    }
    Select(dc.pen, Object(Kind::kPen, type, key.Data()), Kind::kPen);
  }

  void SelectBrush(const CanvasBrush& brush) {
    if (brush.style == TovxBrushStyle::bsClear || brush.color == clNone) {
      Select(dc.brush, kStockObject | kNullBrush, Kind::kBrush);
      return;
    }
    RecordWriter key;
    if (brush.style == TovxBrushStyle::bsSolid) {
      key.U32(kBsSolid).U32(ColorRef(brush.color)).U32(0);
    } else {
      // The hatch styles follow the platform's order from horizontal on.
      const auto hatch = static_cast<quint32>(static_cast<int>(brush.style) -
                                              static_cast<int>(TovxBrushStyle::bsHorizontal));
      key.U32(kBsHatched).U32(ColorRef(brush.color)).U32(hatch);
    }
    Select(dc.brush, Object(Kind::kBrush, kEmrCreateBrushIndirect, key.Data()), Kind::kBrush);
  }

  void SelectFont(const CanvasFont& font) {
    RecordWriter key;
    key.I32(font.height).I32(0).I32(font.escapement).I32(font.escapement);
    key.I32(font.style_bits & 1 ? 700 : 400);
    key.U8(font.style_bits & 2 ? 1 : 0).U8(font.style_bits & 4 ? 1 : 0);
    key.U8(font.style_bits & 8 ? 1 : 0).U8(static_cast<quint8>(font.charset));
    key.U8(0).U8(0).U8(0).U8(0);
    // 32 units with a terminating 0: longer names keep their first 31.
    for (int i = 0; i < 32; ++i)
      key.U16(i < 31 && i < font.name.size() ? font.name[i].unicode() : 0);
    Select(dc.font, Object(Kind::kFont, kEmrExtCreateFontIndirectW, key.Data()), Kind::kFont);
  }

  void BkMode(quint32 mode, std::optional<quint32> color = std::nullopt) {
    if (dc.bk_mode != mode) {
      OneValue(kEmrSetBkMode, mode);
      dc.bk_mode = mode;
    }
    if (color && dc.bk_color != *color) {
      OneValue(kEmrSetBkColor, *color);
      dc.bk_color = *color;
    }
  }

  // The pen, brush and background a shape or line needs.
  void PrepareOutline(const CanvasPen& pen, const CanvasBrush& brush, bool fill) {
    if (in_path) return;
    SelectPen(pen);
    if (fill) SelectBrush(brush);
    if (IsStyledPixelPen(pen) && IsSolidBrush(brush))
      BkMode(kOpaque, ColorRef(brush.color));
    else
      BkMode(kTransparent);
  }

  void MoveTo(QPoint p) {
    if (dc.position == p) return;
    RecordWriter w = Start(kEmrMoveToEx);
    w.I32(p.x()).I32(p.y());
    Emit(w);
    dc.position = p;
  }

  void Poly(quint32 type32, quint32 type16, std::span<const QPoint> points) {
    const QRect box = BoundsOf(points);
    const bool small = Fits16(points);
    RecordWriter w = Start(small ? type16 : type32);
    Rect(w, box);
    w.U32(static_cast<quint32>(points.size()));
    for (const QPoint& p : points) {
      if (small)
        w.I16(static_cast<qint16>(p.x())).I16(static_cast<qint16>(p.y()));
      else
        w.I32(p.x()).I32(p.y());
    }
    Emit(w);
    Touch(box);
    if (in_path) path_bounds = path_bounds ? (*path_bounds | box) : box;
  }

  void BoxRecord(quint32 type, const PixelRect& r, std::optional<QSize> corner = std::nullopt) {
    RecordWriter w = Start(type);
    w.I32(r.left).I32(r.top).I32(r.right).I32(r.bottom);
    if (corner) w.I32(corner->width()).I32(corner->height());
    Emit(w);
    const QRect box = Normalized(r);
    Touch(box);
    if (in_path) path_bounds = path_bounds ? (*path_bounds | box) : box;
  }

  void RegionRecord(const std::optional<QRegion>& region) {
    RecordWriter w = Start(kEmrExtSelectClipRgn);
    if (!region) {
      w.U32(0).U32(kRgnCopy);
      Emit(w);
      return;
    }
    const auto count = static_cast<quint32>(region->rectCount());
    w.U32(32 + 16 * count).U32(kRgnCopy);
    const QRect b = region->boundingRect();
    w.U32(32).U32(1).U32(count).U32(16 * count);
    w.I32(b.left()).I32(b.top()).I32(b.left() + b.width()).I32(b.top() + b.height());
    for (const QRect& r : *region)
      w.I32(r.left()).I32(r.top()).I32(r.left() + r.width()).I32(r.top() + r.height());
    Emit(w);
  }

  QByteArray Header(quint32 total_bytes, quint32 total_records) const {
    QString description = QStringLiteral("Velmora");
    description.append(QChar(0)).append(title).append(QChar(0)).append(QChar(0));
    // A reference device whose pixels per millimetre are exactly dpi /
    // 25.4: 5 dpi pixels to 127 millimetres, enough of them for the page.
    const qint64 unit = 5 * qint64{dpi};
    const qint64 kx = std::max<qint64>(1, (width + unit - 1) / unit);
    const qint64 ky = std::max<qint64>(1, (height + unit - 1) / unit);
    RecordWriter w;
    w.U32(kEmrHeader).U32(0);
    if (bounds)
      Rect(w, *bounds);
    else
      w.I32(0).I32(0).I32(-1).I32(-1);
    w.I32(0).I32(0);
    w.I32(static_cast<qint32>(std::llround(width * 2540.0 / dpi)));
    w.I32(static_cast<qint32>(std::llround(height * 2540.0 / dpi)));
    w.U32(kSignature).U32(0x10000).U32(total_bytes).U32(total_records);
    w.U16(static_cast<quint16>(std::min<quint32>(max_handle + 1, 0xFFFF))).U16(0);
    w.U32(static_cast<quint32>(description.size())).U32(108).U32(0);
    w.I32(static_cast<qint32>(unit * kx)).I32(static_cast<qint32>(unit * ky));
    w.I32(static_cast<qint32>(127 * kx)).I32(static_cast<qint32>(127 * ky));
    w.U32(0).U32(0).U32(0);  // no pixel format, no OpenGL
    w.I32(static_cast<qint32>(std::llround(width * 25400.0 / dpi)));
    w.I32(static_cast<qint32>(std::llround(height * 25400.0 / dpi)));
    for (QChar c : description) w.U16(c.unicode());
    w.Pad4();
    w.PatchU32(4, static_cast<quint32>(w.Size()));
    return w.Data();
  }
};

MetafileCanvas::MetafileCanvas(int width, int height, int dpi, const QString& title)
    : NullCanvas(dpi > 0 ? dpi : 96), recorder_(std::make_unique<Recorder>()) {
  Recorder& r = *recorder_;
  r.width = std::max(width, 0);
  r.height = std::max(height, 0);
  r.dpi = dpi > 0 ? dpi : 96;
  r.title = title;
  // Text is drawn at the top left of its cell over a transparent
  // background; polygons fill by the alternate rule.
  r.OneValue(kEmrSetBkMode, kTransparent);
  r.dc.bk_mode = kTransparent;
  r.OneValue(kEmrSetTextAlign, 0);
  r.OneValue(kEmrSetPolyFillMode, 1);
  r.OneValue(kEmrSetStretchBltMode, 3);
}

MetafileCanvas::~MetafileCanvas() = default;

Metafile MetafileCanvas::Finish() {
  Recorder& r = *recorder_;
  Metafile file;
  file.size = QSize(r.width, r.height);
  if (r.finished) return file;
  r.finished = true;
  RecordWriter eof = Recorder::Start(kEmrEoF);
  eof.U32(0).U32(16).U32(20);
  r.Emit(eof);
  const QByteArray probe = r.Header(0, 0);
  const auto total_bytes = static_cast<quint32>(probe.size() + r.body.size());
  file.bytes = r.Header(total_bytes, r.records + 1) + r.body;
  r.body.clear();
  return file;
}

// --- lines and shapes --------------------------------------------------------------

void MetafileCanvas::LineTo(int x, int y) {
  Recorder& r = *recorder_;
  const QPoint from = PenPos();
  NullCanvas::LineTo(x, y);
  if (r.finished) return;
  r.PrepareOutline(Pen(), Brush(), false);
  r.MoveTo(from);
  RecordWriter w = Recorder::Start(kEmrLineTo);
  w.I32(x).I32(y);
  r.Emit(w);
  r.dc.position = QPoint(x, y);
  const QRect line = QRect(from, QPoint(x, y)).normalized();
  r.Touch(line);
  if (r.in_path) r.path_bounds = r.path_bounds ? (*r.path_bounds | line) : line;
}

void MetafileCanvas::Rectangle(const PixelRect& rect) {
  Recorder& r = *recorder_;
  if (r.finished) return;
  r.PrepareOutline(Pen(), Brush(), true);
  r.BoxRecord(kEmrRectangle, rect);
}

void MetafileCanvas::FillRect(const PixelRect& rect) {
  Recorder& r = *recorder_;
  if (r.finished || rect.IsEmpty()) return;
  // A pattern blit draws with the brush alone, and draws inside a path
  // bracket too, as the canvas's FillRect does.
  const bool in_path = r.in_path;
  r.in_path = false;
  r.SelectBrush(Brush());
  r.BkMode(kTransparent);
  RecordWriter w = Recorder::Start(kEmrBitBlt);
  const QRect box = Normalized(rect);
  Recorder::Rect(w, QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1)));
  w.I32(rect.left).I32(rect.top).I32(rect.Width()).I32(rect.Height());
  w.U32(kPatCopy).I32(0).I32(0);
  w.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);  // xformSrc
  w.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);  // colour, usage, no bitmap
  r.Emit(w);
  r.Touch(box);
  r.in_path = in_path;
}

void MetafileCanvas::RoundRect(const PixelRect& rect, int corner_width, int corner_height) {
  Recorder& r = *recorder_;
  if (r.finished) return;
  r.PrepareOutline(Pen(), Brush(), true);
  r.BoxRecord(kEmrRoundRect, rect, QSize(corner_width, corner_height));
}

void MetafileCanvas::Ellipse(const PixelRect& rect) {
  Recorder& r = *recorder_;
  if (r.finished) return;
  r.PrepareOutline(Pen(), Brush(), true);
  r.BoxRecord(kEmrEllipse, rect);
}

void MetafileCanvas::Polygon(std::span<const QPoint> points) {
  Recorder& r = *recorder_;
  if (r.finished || points.size() < 2) return;
  r.PrepareOutline(Pen(), Brush(), true);
  r.Poly(kEmrPolygon, kEmrPolygon16, points);
}

void MetafileCanvas::Polyline(std::span<const QPoint> points) {
  Recorder& r = *recorder_;
  if (r.finished || points.size() < 2) return;
  r.PrepareOutline(Pen(), Brush(), false);
  r.Poly(kEmrPolyline, kEmrPolyline16, points);
}

void MetafileCanvas::BeginPath() {
  Recorder& r = *recorder_;
  if (r.finished) return;
  r.Simple(kEmrBeginPath);
  r.in_path = true;
  r.path_bounds.reset();
}

void MetafileCanvas::EndPath() {
  Recorder& r = *recorder_;
  if (r.finished || !r.in_path) return;
  r.Simple(kEmrEndPath);
  r.in_path = false;
}

void MetafileCanvas::SelectClipPath() {
  Recorder& r = *recorder_;
  if (r.finished) return;
  // The platform selects only a closed path.
  EndPath();
  r.OneValue(kEmrSelectClipPath, kRgnCopy);
  // What the path covers lies within its bounds: visibility tests answer
  // from them.
  if (r.path_bounds) {
    constexpr int kLimit = 1 << 24;
    NullCanvas::SelectClipRegion(
        QRegion(*r.path_bounds & QRect(-kLimit, -kLimit, 2 * kLimit, 2 * kLimit)));
  }
  r.path_bounds.reset();
}

// --- clipping ------------------------------------------------------------------------

void MetafileCanvas::SaveDC() {
  NullCanvas::SaveDC();
  Recorder& r = *recorder_;
  if (r.finished) return;
  r.Simple(kEmrSaveDC);
  r.saved.push_back(r.dc);
}

void MetafileCanvas::RestoreDC() {
  NullCanvas::RestoreDC();
  Recorder& r = *recorder_;
  if (r.finished || r.saved.empty()) return;
  RecordWriter w = Recorder::Start(kEmrRestoreDC);
  w.I32(-1);
  r.Emit(w);
  r.dc = r.saved.back();
  r.saved.pop_back();
}

void MetafileCanvas::IntersectClipRect(const PixelRect& rect) {
  NullCanvas::IntersectClipRect(rect);
  Recorder& r = *recorder_;
  if (r.finished) return;
  RecordWriter w = Recorder::Start(kEmrIntersectClipRect);
  w.I32(rect.left).I32(rect.top).I32(rect.right).I32(rect.bottom);
  r.Emit(w);
}

void MetafileCanvas::ExcludeClipRect(const PixelRect& rect) {
  NullCanvas::ExcludeClipRect(rect);
  Recorder& r = *recorder_;
  if (r.finished) return;
  RecordWriter w = Recorder::Start(kEmrExcludeClipRect);
  w.I32(rect.left).I32(rect.top).I32(rect.right).I32(rect.bottom);
  r.Emit(w);
}

void MetafileCanvas::SelectClipRegion(const std::optional<QRegion>& region) {
  NullCanvas::SelectClipRegion(region);
  if (!recorder_->finished) recorder_->RegionRecord(region);
}

void MetafileCanvas::SetMetaClip() {
  NullCanvas::SetMetaClip();
  if (!recorder_->finished) recorder_->Simple(kEmrSetMetaRgn);
}

bool MetafileCanvas::RectVisible(const PixelRect& rect) const {
  // As a device of the recorded size answers.
  const PixelRect device{0, 0, recorder_->width, recorder_->height};
  if (rect.right <= device.left || rect.left >= device.right || rect.bottom <= device.top ||
      rect.top >= device.bottom) {
    return false;
  }
  return NullCanvas::RectVisible(rect);
}

// --- text ------------------------------------------------------------------------------

void MetafileCanvas::ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                                std::span<const int> advances) {
  Recorder& r = *recorder_;
  const CanvasFont& font = Font();
  if (r.finished || text.isEmpty() || font.color == clNone) return;
  // Every unit's advance, as the canvas would draw it: the caller's, else
  // the font's for a character and nothing for the low half of a pair.
  const ScaledFont scaled = CurrentScaledFont();
  // A mark alone in a vertical cell that keeps its glyph but moves (to the
  // top right) is recorded as itself at the moved reference point.
  bool moved = false;
  if (font.vertical_forms && font.escapement % 3600 == 0 &&
      ReadCodePoint(text, 0).length == text.size()) {
    const FaceGlyph glyph = scaled.VerticalGlyph(ReadCodePoint(text, 0).code_point);
    if (glyph.shift_x != 0 || glyph.shift_y != 0) {
      const double s = scaled.EmPixels() / std::max(1, glyph.face->UnitsPerEm());
      x += RoundToInt(glyph.shift_x * s);
      y -= RoundToInt(glyph.shift_y * s);
      moved = true;
    }
  }
  std::vector<qint32> dx(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const CodePointAt read = ReadCodePoint(text, i);
    auto advance_at = [&](qsizetype k) {
      if (k < static_cast<qsizetype>(advances.size())) return advances[k];
      return k == i ? scaled.Advance(read.code_point) : 0;
    };
    dx[i] = advance_at(i);
    if (read.length == 2) {
      dx[i + 1] = advance_at(i + 1);
      ++i;
    }
  }

  const bool clipped = (options & kTextClipped) && clip;
  const quint32 flags = (clipped ? quint32{kEtoClipped} : 0u) |
                        (options & kTextRtlReading ? quint32{kEtoRtlReading} : 0u);

  r.SelectFont(font);
  const quint32 color = ColorRef(font.color);
  if (r.dc.text_color != color) {
    r.OneValue(kEmrSetTextColor, color);
    r.dc.text_color = color;
  }
  r.BkMode(kTransparent);

  // The cell the run covers, turned about its reference point.
  qint64 width = 0;
  for (qint32 a : dx) width += std::max(a, 0);
  const int cell = Metrics().height;
  const double angle = font.escapement / 10.0 * std::numbers::pi / 180;
  const double c = std::cos(angle), s = std::sin(angle);
  double min_x = x, max_x = x, min_y = y, max_y = y;
  for (const auto& [u, v] : {std::pair<double, double>{double(width), 0.0},
                             {0.0, double(cell)},
                             {double(width), double(cell)}}) {
    const double px = x + u * c + v * s;
    const double py = y - u * s + v * c;
    min_x = std::min(min_x, px), max_x = std::max(max_x, px);
    min_y = std::min(min_y, py), max_y = std::max(max_y, py);
  }
  auto clamp = [](double v) {
    return static_cast<int>(std::clamp(v, double(INT_MIN / 2), double(INT_MAX / 2)));
  };
  QRect box(QPoint(clamp(std::floor(min_x)), clamp(std::floor(min_y))),
            QPoint(clamp(std::ceil(max_x)), clamp(std::ceil(max_y))));
  if (clipped)
    box &= QRect(QPoint(clip->left, clip->top), QPoint(clip->right - 1, clip->bottom - 1));

  const auto count = static_cast<quint32>(text.size());
  const quint32 string_bytes = (2 * count + 3) / 4 * 4;
  RecordWriter w = Recorder::Start(kEmrExtTextOutW);
  Recorder::Rect(w, box);
  w.U32(1);  // GM_COMPATIBLE
  w.F32(static_cast<float>(2540.0 / r.dpi)).F32(static_cast<float>(2540.0 / r.dpi));
  w.I32(x).I32(y).U32(count).U32(76).U32(flags);
  if (clipped)
    w.I32(clip->left).I32(clip->top).I32(clip->right).I32(clip->bottom);
  else
    w.I32(0).I32(0).I32(0).I32(0);
  w.U32(76 + string_bytes);
  // A metafile names characters, not glyphs: other vertical forms are
  // recorded as the presentation forms (all in the BMP, as are the marks
  // they stand for).
  for (QChar unit : text) {
    const char32_t form =
        font.vertical_forms && !moved ? VerticalPresentationForm(unit.unicode()) : 0;
    w.U16(form != 0 ? static_cast<quint16>(form) : unit.unicode());
  }
  w.Pad4();
  for (qint32 a : dx) w.I32(a);
  r.Emit(w);
  r.Touch(box);
}

// --- pictures --------------------------------------------------------------------------

void MetafileCanvas::StretchDraw(const PixelRect& dest_in, const QImage& source,
                                 std::optional<Color> transparent) {
  Recorder& r = *recorder_;
  if (r.finished || source.isNull() || dest_in.IsEmpty()) return;
  const PixelRect dest{std::clamp(dest_in.left, -kPictureLimit, kPictureLimit),
                       std::clamp(dest_in.top, -kPictureLimit, kPictureLimit),
                       std::clamp(dest_in.right, -kPictureLimit, kPictureLimit),
                       std::clamp(dest_in.bottom, -kPictureLimit, kPictureLimit)};
  if (dest.IsEmpty()) return;

  QImage image = source;
  if (qint64{image.width()} * image.height() > internal::kMaxDibPixels) {
    image = image.scaled(8192, 8192, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  bool alpha = false;
  if (transparent && *transparent != clNone) {
    // The colour is left out as the canvas leaves it out: alpha 0.
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgb(RedOf(ColorToRgb(*transparent)), GreenOf(ColorToRgb(*transparent)),
                          BlueOf(ColorToRgb(*transparent))) &
                     RGB_MASK;
    for (int yy = 0; yy < image.height(); ++yy) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(yy));
      for (int xx = 0; xx < image.width(); ++xx)
        if ((row[xx] & RGB_MASK) == key) row[xx] = 0;
    }
    alpha = true;
  } else if (image.hasAlphaChannel()) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int yy = 0; yy < argb.height() && !alpha; ++yy) {
      const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(yy));
      for (int xx = 0; xx < argb.width(); ++xx) {
        if (qAlpha(row[xx]) != 255) {
          alpha = true;
          break;
        }
      }
    }
  }
  const internal::EncodedDib dib = internal::EncodeDib(image, alpha);
  const QRect box(QPoint(dest.left, dest.top), QPoint(dest.right - 1, dest.bottom - 1));
  const auto cb_bmi = static_cast<quint32>(dib.header.size());
  const auto cb_bits = static_cast<quint32>(dib.bits.size());
  RecordWriter w;
  if (!alpha) {
    w = Recorder::Start(kEmrStretchDIBits);
    Recorder::Rect(w, box);
    w.I32(dest.left).I32(dest.top).I32(0).I32(0).I32(image.width()).I32(image.height());
    w.U32(80).U32(cb_bmi).U32(80 + cb_bmi).U32(cb_bits);
    w.U32(0).U32(kSrcCopy).I32(dest.Width()).I32(dest.Height());
  } else {
    w = Recorder::Start(kEmrAlphaBlend);
    Recorder::Rect(w, box);
    w.I32(dest.left).I32(dest.top).I32(dest.Width()).I32(dest.Height());
    // AC_SRC_OVER, no flags, constant alpha 255, per-pixel alpha.
    w.U8(0).U8(0).U8(255).U8(1);
    w.I32(0).I32(0);
    w.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0);
    w.U32(0).U32(0);
    w.U32(108).U32(cb_bmi).U32(108 + cb_bmi).U32(cb_bits);
    w.I32(image.width()).I32(image.height());
  }
  w.Bytes(dib.header).Bytes(dib.bits);
  r.Emit(w);
  r.Touch(box);
}

}  // namespace ovx
