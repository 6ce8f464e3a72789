// The canvas replay of metafile records (see emf_canvas_player.h).
//
// Geometry goes from logical units through the player's mapping to the
// metafile's device pixels, and from there by a plain scale and offset to
// the canvas; coordinates are rounded to the nearest pixel only at the
// end, so a metafile recorded at the canvas's resolution maps every point
// onto itself. Shapes drawn inside a path bracket are kept as deferred
// canvas calls and replayed into the canvas's own path when the path is
// used (as a clip, filled or stroked).
#include "render/emf_canvas_player.h"

#include "base/error.h"
#include "base/rounding.h"
#include "base/stream.h"
#include "render/emf_arc.h"
#include "render/internal/emf_canvas_pixels.h"

#include <QRegion>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovx {

namespace {

using namespace emf;
using internal::Px;

// Curves and gradients are cut into at most this many pieces.
constexpr int kMaxSteps = 1024;
constexpr int kMaxGradientStrips = 256;

bool AxisAligned(const QTransform& t) {
  return std::abs(t.m12()) < 1e-12 && std::abs(t.m21()) < 1e-12;
}

QRect BoundsOf(const std::vector<QPoint>& points) {
  if (points.empty()) return QRect();
  QRect r(points.front(), points.front());
  for (const QPoint& p : points) r |= QRect(p, p);
  return r;
}

QRect RectOf(const PixelRect& r) {
  return QRect(QPoint(std::min(r.left, r.right), std::min(r.top, r.bottom)),
               QPoint(std::max(r.left, r.right), std::max(r.top, r.bottom)));
}

PenStyle CanvasPenStyle(quint32 style) {
  switch (style & kPsStyleMask) {
    case kPsDash:
      return PenStyle::kDash;
    case kPsDot:
    case kPsAlternate:
    case kPsUserStyle:
      return PenStyle::kDot;
    case kPsDashDot:
      return PenStyle::kDashDot;
    case kPsDashDotDot:
      return PenStyle::kDashDotDot;
    case kPsNull:
      return PenStyle::kClear;
    default:
      return PenStyle::kSolid;
  }
}

// The cubic Bezier curves p0 p1 p2 p3, p3 p4 p5 p6, ... as a polyline.
std::vector<QPointF> FlattenBeziers(const std::vector<QPointF>& p) {
  std::vector<QPointF> out;
  if (p.empty()) return out;
  out.push_back(p[0]);
  constexpr int kSteps = 16;
  for (size_t i = 0; i + 3 < p.size(); i += 3) {
    for (int s = 1; s <= kSteps; ++s) {
      const double t = double(s) / kSteps, u = 1 - t;
      out.push_back(p[i] * (u * u * u) + p[i + 1] * (3 * u * u * t) + p[i + 2] * (3 * u * t * t) +
                    p[i + 3] * (t * t * t));
    }
  }
  return out;
}

// The arc of the ellipse in `box` from the radial through `start` to the
// radial through `end`, in logical units.
std::vector<QPointF> ArcPoints(const QRect& box, QPointF start, QPointF end, bool ccw) {
  const std::optional<EllipseArc> arc = ArcInBox(box, start, end, ccw);
  if (!arc) return {};
  return ArcPolyline(*arc);
}

}  // namespace

EmfCanvasPlayer::EmfCanvasPlayer(Stream& input, Canvas& canvas, const QRectF& dest)
    : TEMFAbstractExport(input, nullptr), canvas_(canvas), dest_(dest) {
  tx_ = dest_.isValid() ? dest_.left() : 0;
  ty_ = dest_.isValid() ? dest_.top() : 0;
}

EmfCanvasPlayer::~EmfCanvasPlayer() {
  // A playback that threw leaves the canvas as it found it all the same.
  if (open_) EndPlay();
}

void EmfCanvasPlayer::BeginPlay() {
  canvas_.SaveDC();
  // The outer bound is never "no clip": QPainter (6.4) ignores a clip
  // region set after clipping was switched off, which the canvas does when
  // a RestoreDC leaves no clip.
  if (!canvas_.ClipRegion()) {
    constexpr int kEverything = 1 << 24;
    canvas_.IntersectClipRect({-kEverything, -kEverything, kEverything, kEverything});
  }
  canvas_.SetMetaClip();
  open_ = true;
  saves_ = 0;
}

void EmfCanvasPlayer::EndPlay() {
  if (!open_) return;
  for (; saves_ > 0; --saves_) canvas_.RestoreDC();
  canvas_.RestoreDC();
  open_ = false;
}

void EmfCanvasPlayer::DoHeader() {
  TEMFAbstractExport::DoHeader();
  const auto& header = Current<TEnhMetaHeaderObj>();
  if (!dest_.isValid() || dest_.isEmpty()) return;
  const QRect frame = header.Frame();
  auto size = [](double mm100, double per_mm) {
    const double pixels = mm100 / 100 * per_mm;
    // The frame is stored in hundredths of a millimetre: a whole number
    // of pixels comes back a shade off.
    return std::abs(pixels - std::round(pixels)) < 0.05 ? std::round(pixels) : pixels;
  };
  const double w = size(double(frame.right()) - frame.left(), PixelsPerMillimetre().x());
  const double h = size(double(frame.bottom()) - frame.top(), PixelsPerMillimetre().y());
  if (w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h)) {
    sx_ = dest_.width() / w;
    sy_ = dest_.height() / h;
  }
}

// --- mapping -------------------------------------------------------------------------

QTransform EmfCanvasPlayer::ToCanvas() const {
  return LogicalToDevice() * QTransform(sx_, 0, 0, sy_, tx_, ty_);
}

QPoint EmfCanvasPlayer::CanvasPoint(QPointF logical) const { return Px(ToCanvas().map(logical)); }

PixelRect EmfCanvasPlayer::CanvasRect(const QRect& logical) const {
  const QTransform t = ToCanvas();
  const QPointF a = t.map(QPointF(logical.left(), logical.top()));
  const QPointF b = t.map(QPointF(logical.right(), logical.bottom()));
  if (AxisAligned(t)) return {Px(a.x()), Px(a.y()), Px(b.x()), Px(b.y())};
  const QRectF box = t.mapRect(
      QRectF(QPointF(logical.left(), logical.top()), QPointF(logical.right(), logical.bottom()))
          .normalized());
  return {Px(box.left()), Px(box.top()), Px(box.right()), Px(box.bottom())};
}

PixelRect EmfCanvasPlayer::DeviceToCanvas(const QRect& device) const {
  const QPointF origin = DeviceContext().Data().frame_origin;
  auto x = [&](double v) { return Px((v - origin.x()) * sx_ + tx_); };
  auto y = [&](double v) { return Px((v - origin.y()) * sy_ + ty_); };
  return {x(device.left()), y(device.top()), x(double(device.left()) + device.width()),
          y(double(device.top()) + device.height())};
}

QRegion EmfCanvasPlayer::DeviceRegionToCanvas(const std::vector<QRect>& rects) const {
  std::vector<QRect> mapped;
  mapped.reserve(rects.size());
  for (const QRect& r : rects) {
    const PixelRect p = DeviceToCanvas(r);
    if (!p.IsEmpty()) mapped.emplace_back(QPoint(p.left, p.top), QPoint(p.right - 1, p.bottom - 1));
  }
  return RegionOfRects(mapped);
}

// --- pens and brushes ------------------------------------------------------------------

CanvasPen EmfCanvasPlayer::CurrentPen() const {
  const TDeviceContext& dc = DeviceContext();
  const TEnhMetaObj* object = dc.Data().pen;
  const std::vector<quint32>& palette = dc.Data().eof_palette;
  CanvasPen pen;
  const QTransform t = ToCanvas();
  const double scale = (std::hypot(t.m11(), t.m12()) + std::hypot(t.m21(), t.m22())) / 2;
  const bool unscaled = std::abs(scale - 1) < 1e-9;
  auto scaled = [&](qint64 width) {
    if (unscaled || width <= 1)
      return static_cast<int>(std::clamp<qint64>(width, INT_MIN, INT_MAX));
    return std::max(1, RoundToInt(double(width) * scale));
  };
  if (object && object->Type() == kEmrCreatePen) {
    const quint32 style = object->U32(12);
    pen.style = CanvasPenStyle(style);
    pen.width = scaled(object->I32(16));
    pen.color = static_cast<Color>(ResolveColorRef(object->U32(24), palette));
  } else if (object && object->Type() == kEmrExtCreatePen) {
    const auto& ext = static_cast<const TEMRExtCreatePenObj&>(*object);
    const quint32 style = ext.PenStyle();
    pen.color = static_cast<Color>(ResolveColorRef(ext.Color(), palette));
    if (ext.BrushStyle() == kBsNull)
      pen.style = PenStyle::kClear;
    else
      pen.style = CanvasPenStyle(style);
    if ((style & kPsTypeMask) == kPsGeometric) {
      pen.geometric = true;
      pen.width = scaled(std::min<quint32>(ext.Width(), INT_MAX));
      const quint32 cap = style & kPsEndcapMask;
      pen.cap = cap == kPsEndcapFlat     ? LineCap::kFlat
                : cap == kPsEndcapSquare ? LineCap::kSquare
                                         : LineCap::kRound;
      if ((style & kPsStyleMask) == kPsUserStyle) {
        pen.style = PenStyle::kSolid;
        for (quint32 d : ext.StyleEntries())
          pen.dashes.push_back(scaled(std::min<quint32>(d, 1 << 20)));
      }
    }
  }
  switch (dc.Data().rop2) {
    case 1:  // R2_BLACK
      pen.color = clBlack;
      break;
    case 11:  // R2_NOP
      pen.style = PenStyle::kClear;
      break;
    case 16:  // R2_WHITE
      pen.color = clWhite;
      break;
  }
  return pen;
}

CanvasBrush EmfCanvasPlayer::BrushOf(const TEnhMetaObj* object) {
  if (!object) return {clWhite, TovxBrushStyle::bsSolid};
  const std::vector<quint32>& palette = DeviceContext().Data().eof_palette;
  if (object->Type() == kEmrCreateBrushIndirect) {
    const Color color = static_cast<Color>(ResolveColorRef(object->U32(16), palette));
    switch (object->U32(12)) {
      case kBsNull:
        return {clWhite, TovxBrushStyle::bsClear};
      case kBsHatched:
        if (const quint32 hatch = object->U32(20); hatch <= 5) {
          return {color, static_cast<TovxBrushStyle>(
                             static_cast<int>(TovxBrushStyle::bsHorizontal) + int(hatch))};
        }
        return {color, TovxBrushStyle::bsSolid};
      default:
        return {color, TovxBrushStyle::bsSolid};
    }
  }
  if (object->Type() == kEmrCreateMonoBrush || object->Type() == kEmrCreateDIBPatternBrushPt) {
    // The canvas has no pattern brushes: the pattern's average colour.
    auto [it, fresh] = pattern_colors_.try_emplace(object, clBlack);
    if (fresh) {
      const QImage image = static_cast<const TEMRBitmap&>(*object).Image();
      if (!image.isNull()) {
        const QImage one = image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QRgb p = one.pixel(0, 0);
        it->second = RgbColor(qRed(p), qGreen(p), qBlue(p));
      }
    }
    return {it->second, TovxBrushStyle::bsSolid};
  }
  return {clWhite, TovxBrushStyle::bsSolid};
}

void EmfCanvasPlayer::Apply(Style style) {
  const TDeviceContextData& d = DeviceContext().Data();
  canvas_.Pen() = CurrentPen();
  if (style == Style::kFill) {
    canvas_.Brush() = BrushOf(d.brush);
  } else if (d.bk_mode == kOpaque) {
    // The gaps of a styled line take the background in opaque mode.
    canvas_.Brush() = {static_cast<Color>(ResolveColorRef(d.bk_color, d.eof_palette)),
                       TovxBrushStyle::bsSolid};
  } else {
    canvas_.Brush() = {clWhite, TovxBrushStyle::bsClear};
  }
}

std::optional<CanvasBrush> EmfCanvasPlayer::HatchBackground(const CanvasBrush& brush) const {
  const TDeviceContextData& d = DeviceContext().Data();
  if (d.bk_mode != kOpaque || brush.style == TovxBrushStyle::bsSolid ||
      brush.style == TovxBrushStyle::bsClear || brush.color == clNone) {
    return std::nullopt;
  }
  return CanvasBrush{static_cast<Color>(ResolveColorRef(d.bk_color, d.eof_palette)),
                     TovxBrushStyle::bsSolid};
}

void EmfCanvasPlayer::Run(std::function<void(Canvas&)> draw, const QRect& bounds, Style style) {
  if (DeviceContext().Data().in_path) {
    path_.push_back({std::move(draw), bounds});
    return;
  }
  Apply(style);
  // A hatch in opaque mode fills the gaps between its lines with the
  // background colour first, as the platform fills them.
  if (style == Style::kFill) {
    if (const std::optional<CanvasBrush> under = HatchBackground(canvas_.Brush())) {
      const CanvasBrush hatch = canvas_.Brush();
      const CanvasPen pen = canvas_.Pen();
      canvas_.Pen() = CanvasPen{clBlack, 1, PenStyle::kClear, false, LineCap::kRound, {}};
      canvas_.Brush() = *under;
      draw(canvas_);
      canvas_.Pen() = pen;
      canvas_.Brush() = hatch;
    }
  }
  draw(canvas_);
}

// --- lines and shapes ----------------------------------------------------------------

void EmfCanvasPlayer::DrawPoints(const std::vector<QPoint>& logical, bool closed,
                                 bool from_current) {
  std::vector<QPoint> points;
  points.reserve(logical.size() + 1);
  if (from_current) points.push_back(CanvasPoint(DeviceContext().Data().previous_position));
  for (const QPoint& p : logical) points.push_back(CanvasPoint(p));
  const QRect bounds = BoundsOf(points);
  if (closed) {
    Run([points](Canvas& c) { c.Polygon(points); }, bounds, Style::kFill);
  } else {
    Run([points](Canvas& c) { c.Polyline(points); }, bounds, Style::kStroke);
  }
}

void EmfCanvasPlayer::DrawBeziers(const std::vector<QPoint>& logical, bool from_current) {
  std::vector<QPointF> control;
  if (from_current) control.emplace_back(DeviceContext().Data().previous_position);
  for (const QPoint& p : logical) control.emplace_back(p);
  std::vector<QPoint> points;
  for (const QPointF& p : FlattenBeziers(control)) points.push_back(CanvasPoint(p));
  Run([points](Canvas& c) { c.Polyline(points); }, BoundsOf(points), Style::kStroke);
}

void EmfCanvasPlayer::DrawPolygons(const std::vector<std::vector<QPoint>>& logical, bool closed) {
  std::vector<std::vector<QPoint>> polygons;
  QRect bounds;
  for (const auto& polygon : logical) {
    std::vector<QPoint> points;
    points.reserve(polygon.size());
    for (const QPoint& p : polygon) points.push_back(CanvasPoint(p));
    bounds |= BoundsOf(points);
    polygons.push_back(std::move(points));
  }
  if (!closed || polygons.size() == 1 || DeviceContext().Data().in_path) {
    for (auto& points : polygons) {
      if (closed)
        Run([points](Canvas& c) { c.Polygon(points); }, BoundsOf(points), Style::kFill);
      else
        Run([points](Canvas& c) { c.Polyline(points); }, BoundsOf(points), Style::kStroke);
    }
    return;
  }
  // Several polygons fill as one shape (holes stay open): through a clip.
  // A path the metafile built and has not used yet waits meanwhile.
  std::vector<PathOp> waiting = std::move(path_);
  path_.clear();
  for (const auto& points : polygons)
    path_.push_back({[points](Canvas& c) { c.Polygon(points); }, BoundsOf(points)});
  FillPath();
  path_ = std::move(waiting);
  Apply(Style::kFill);
  for (auto points : polygons) {
    if (points.empty()) continue;
    points.push_back(points.front());
    canvas_.Polyline(points);
  }
}

void EmfCanvasPlayer::DrawBox(quint32 type, const QRect& box, QSize corner) {
  const QTransform t = ToCanvas();
  if (AxisAligned(t)) {
    const PixelRect r = CanvasRect(box);
    const QRect bounds = RectOf(r);
    if (type == kEmrRectangle) {
      Run([r](Canvas& c) { c.Rectangle(r); }, bounds, Style::kFill);
    } else if (type == kEmrEllipse) {
      Run([r](Canvas& c) { c.Ellipse(r); }, bounds, Style::kFill);
    } else {
      const int cw = Px(corner.width() * std::abs(t.m11()));
      const int ch = Px(corner.height() * std::abs(t.m22()));
      Run([r, cw, ch](Canvas& c) { c.RoundRect(r, cw, ch); }, bounds, Style::kFill);
    }
    return;
  }
  // Turned by the world transform: the outline as a polygon.
  std::vector<QPoint> points;
  if (type == kEmrEllipse) {
    const QPointF start(box.right(), (double(box.top()) + box.bottom()) / 2);
    for (const QPointF& p : ArcPoints(box, start, start, true)) points.push_back(CanvasPoint(p));
  } else {
    for (const QPointF& p : {QPointF(box.left(), box.top()), QPointF(box.right(), box.top()),
                             QPointF(box.right(), box.bottom()), QPointF(box.left(), box.bottom())})
      points.push_back(CanvasPoint(p));
  }
  Run([points](Canvas& c) { c.Polygon(points); }, BoundsOf(points), Style::kFill);
}

void EmfCanvasPlayer::DrawArc(quint32 type, const QRect& box, QPoint start, QPoint end) {
  const TDeviceContextData& d = DeviceContext().Data();
  const std::vector<QPointF> arc = ArcPoints(box, start, end, d.arc_direction != 2);
  std::vector<QPoint> points;
  if (type == kEmrArcTo) points.push_back(CanvasPoint(d.previous_position));
  for (const QPointF& p : arc) points.push_back(CanvasPoint(p));
  if (type == kEmrPie && !arc.empty()) {
    const QRectF r(QPointF(box.left(), box.top()), QPointF(box.right(), box.bottom()));
    points.push_back(CanvasPoint(r.center()));
  }
  if (type == kEmrArcTo && !arc.empty()) {
    DeviceContext().Data().current_position = Px(arc.back());
  }
  const QRect bounds = BoundsOf(points);
  if (type == kEmrChord || type == kEmrPie)
    Run([points](Canvas& c) { c.Polygon(points); }, bounds, Style::kFill);
  else
    Run([points](Canvas& c) { c.Polyline(points); }, bounds, Style::kStroke);
}

void EmfCanvasPlayer::DoPolyBezier() {
  TEMFAbstractExport::DoPolyBezier();
  const auto& r = Current<TEMRPolyObj>();
  std::vector<QPoint> p;
  for (int i = 0; i < r.PointCount(); ++i) p.push_back(r.Point(i));
  DrawBeziers(p, false);
}

void EmfCanvasPlayer::DoPolyBezier16() {
  TEMFAbstractExport::DoPolyBezier16();
  const auto& r = Current<TEMRPoly16Obj>();
  std::vector<QPoint> p;
  for (int i = 0; i < r.PointCount(); ++i) p.push_back(r.Point(i));
  DrawBeziers(p, false);
}

void EmfCanvasPlayer::DoPolyBezierTo() {
  TEMFAbstractExport::DoPolyBezierTo();
  const auto& r = Current<TEMRPolyObj>();
  std::vector<QPoint> p;
  for (int i = 0; i < r.PointCount(); ++i) p.push_back(r.Point(i));
  DrawBeziers(p, true);
}

void EmfCanvasPlayer::DoPolyBezierTo16() {
  TEMFAbstractExport::DoPolyBezierTo16();
  const auto& r = Current<TEMRPoly16Obj>();
  std::vector<QPoint> p;
  for (int i = 0; i < r.PointCount(); ++i) p.push_back(r.Point(i));
  DrawBeziers(p, true);
}

#define OVX_EMF_POLY(name, cls, closed, from_current)                 \
  void EmfCanvasPlayer::Do##name() {                                  \
    TEMFAbstractExport::Do##name();                                   \
    const auto& r = Current<cls>();                                   \
    std::vector<QPoint> p;                                            \
    p.reserve(static_cast<size_t>(r.PointCount()));                   \
    for (int i = 0; i < r.PointCount(); ++i) p.push_back(r.Point(i)); \
    DrawPoints(p, closed, from_current);                              \
  }
OVX_EMF_POLY(Polygon, TEMRPolyObj, true, false)
OVX_EMF_POLY(Polygon16, TEMRPoly16Obj, true, false)
OVX_EMF_POLY(Polyline, TEMRPolyObj, false, false)
OVX_EMF_POLY(Polyline16, TEMRPoly16Obj, false, false)
OVX_EMF_POLY(PolylineTo, TEMRPolyObj, false, true)
OVX_EMF_POLY(PolylineTo16, TEMRPoly16Obj, false, true)
#undef OVX_EMF_POLY

#define OVX_EMF_POLYPOLY(name, cls, closed)          \
  void EmfCanvasPlayer::Do##name() {                 \
    TEMFAbstractExport::Do##name();                  \
    DrawPolygons(Current<cls>().Polygons(), closed); \
  }
OVX_EMF_POLYPOLY(PolyPolygon, TEMRPolyPolygonObj, true)
OVX_EMF_POLYPOLY(PolyPolygon16, TEMRPolyPolygon16Obj, true)
OVX_EMF_POLYPOLY(PolyPolyline, TEMRPolyPolylineObj, false)
OVX_EMF_POLYPOLY(PolyPolyline16, TEMRPolyPolyline16Obj, false)
#undef OVX_EMF_POLYPOLY

void EmfCanvasPlayer::DrawFigures(const TEMRPolyObj& poly) {
  const auto& draw = static_cast<const TEMRPolyDrawObj&>(poly);
  TDeviceContextData& d = DeviceContext().Data();
  std::vector<QPointF> figure{QPointF(d.previous_position)};
  auto flush = [&](bool close) {
    if (close && !figure.empty()) figure.push_back(figure.front());
    if (figure.size() >= 2) {
      std::vector<QPoint> points;
      for (const QPointF& p : figure) points.push_back(CanvasPoint(p));
      Run([points](Canvas& c) { c.Polyline(points); }, BoundsOf(points), Style::kStroke);
    }
  };
  QPointF last = figure.front();
  const int count = draw.PointCount();
  for (int i = 0; i < count; ++i) {
    const quint8 kind = draw.PointType(i);
    const QPointF p(draw.Point(i));
    switch (kind & ~1) {
      case 6:  // PT_MOVETO
        flush(false);
        figure = {p};
        break;
      case 4:  // PT_BEZIERTO: this point and the next two
        if (i + 2 < count) {
          const std::vector<QPointF> curve =
              FlattenBeziers({last, p, QPointF(draw.Point(i + 1)), QPointF(draw.Point(i + 2))});
          figure.insert(figure.end(), curve.begin() + 1, curve.end());
          i += 2;
        }
        break;
      default:  // PT_LINETO
        figure.push_back(p);
    }
    last = figure.back();
    if (draw.PointType(i) & 1) {  // PT_CLOSEFIGURE
      flush(true);
      figure = {last = figure.front()};
    }
  }
  flush(false);
  d.current_position = Px(last);
}

void EmfCanvasPlayer::DoPolyDraw() {
  TEMFAbstractExport::DoPolyDraw();
  DrawFigures(Current<TEMRPolyDrawObj>());
}

void EmfCanvasPlayer::DoPolyDraw16() {
  TEMFAbstractExport::DoPolyDraw16();
  DrawFigures(Current<TEMRPolyDraw16Obj>());
}

void EmfCanvasPlayer::DoMoveToEx() {
  TEMFAbstractExport::DoMoveToEx();
  figure_start_ = DeviceContext().Data().current_position;
}

void EmfCanvasPlayer::DoLineTo() {
  TEMFAbstractExport::DoLineTo();
  const TDeviceContextData& d = DeviceContext().Data();
  const QPoint from = CanvasPoint(d.previous_position);
  const QPoint to = CanvasPoint(d.current_position);
  Run(
      [from, to](Canvas& c) {
        c.MoveTo(from.x(), from.y());
        c.LineTo(to.x(), to.y());
      },
      QRect(from, to).normalized(), Style::kStroke);
}

void EmfCanvasPlayer::DoRectangle() {
  TEMFAbstractExport::DoRectangle();
  DrawBox(kEmrRectangle, Current<TEnhMetaObj>().Rect(8), QSize());
}

void EmfCanvasPlayer::DoEllipse() {
  TEMFAbstractExport::DoEllipse();
  DrawBox(kEmrEllipse, Current<TEnhMetaObj>().Rect(8), QSize());
}

void EmfCanvasPlayer::DoRoundRect() {
  TEMFAbstractExport::DoRoundRect();
  const auto& r = Current<TEnhMetaObj>();
  DrawBox(kEmrRoundRect, r.Rect(8), QSize(r.I32(24), r.I32(28)));
}

void EmfCanvasPlayer::DoArc() {
  TEMFAbstractExport::DoArc();
  const auto& r = Current<TEnhMetaObj>();
  DrawArc(kEmrArc, r.Rect(8), QPoint(r.I32(24), r.I32(28)), QPoint(r.I32(32), r.I32(36)));
}

void EmfCanvasPlayer::DoChord() {
  TEMFAbstractExport::DoChord();
  const auto& r = Current<TEnhMetaObj>();
  DrawArc(kEmrChord, r.Rect(8), QPoint(r.I32(24), r.I32(28)), QPoint(r.I32(32), r.I32(36)));
}

void EmfCanvasPlayer::DoPie() {
  TEMFAbstractExport::DoPie();
  const auto& r = Current<TEnhMetaObj>();
  DrawArc(kEmrPie, r.Rect(8), QPoint(r.I32(24), r.I32(28)), QPoint(r.I32(32), r.I32(36)));
}

void EmfCanvasPlayer::DoArcTo() {
  TEMFAbstractExport::DoArcTo();
  const auto& r = Current<TEnhMetaObj>();
  DrawArc(kEmrArcTo, r.Rect(8), QPoint(r.I32(24), r.I32(28)), QPoint(r.I32(32), r.I32(36)));
}

void EmfCanvasPlayer::DoAngleArc() {
  TEMFAbstractExport::DoAngleArc();
  const auto& r = Current<TEnhMetaObj>();
  const QPointF center(r.I32(8), r.I32(12));
  const double radius = std::min<quint32>(r.U32(16), 1u << 30);
  const double start = double(r.F32(20)) * std::numbers::pi / 180;
  const double sweep = std::clamp(double(r.F32(24)), -360.0, 360.0) * std::numbers::pi / 180;
  if (!std::isfinite(start) || !std::isfinite(sweep)) return;
  TDeviceContextData& d = DeviceContext().Data();
  std::vector<QPoint> points{CanvasPoint(d.previous_position)};
  const EllipseArc arc{center, radius, radius, start, sweep};
  QPointF last;
  for (const QPointF& p : ArcPolyline(arc)) {
    last = p;
    points.push_back(CanvasPoint(last));
  }
  d.current_position = Px(last);
  Run([points](Canvas& c) { c.Polyline(points); }, BoundsOf(points), Style::kStroke);
}

void EmfCanvasPlayer::DoSetPixelV() {
  TEMFAbstractExport::DoSetPixelV();
  const auto& r = Current<TEnhMetaObj>();
  const QPoint p = CanvasPoint(QPointF(r.I32(8), r.I32(12)));
  canvas_.Brush() = {
      static_cast<Color>(ResolveColorRef(r.U32(16), DeviceContext().Data().eof_palette)),
      TovxBrushStyle::bsSolid};
  canvas_.FillRect({p.x(), p.y(), p.x() + 1, p.y() + 1});
}

// --- paths -----------------------------------------------------------------------------

void EmfCanvasPlayer::DoBeginPath() {
  TEMFAbstractExport::DoBeginPath();
  path_.clear();
}

void EmfCanvasPlayer::DoAbortPath() {
  TEMFAbstractExport::DoAbortPath();
  path_.clear();
}

void EmfCanvasPlayer::DoCloseFigure() {
  TEMFAbstractExport::DoCloseFigure();
  const TDeviceContextData& d = DeviceContext().Data();
  if (!d.in_path) return;
  const QPoint from = CanvasPoint(d.current_position);
  const QPoint to = CanvasPoint(figure_start_);
  path_.push_back({[from, to](Canvas& c) {
                     c.MoveTo(from.x(), from.y());
                     c.LineTo(to.x(), to.y());
                   },
                   QRect(from, to).normalized()});
}

void EmfCanvasPlayer::FillPath() {
  if (path_.empty()) return;
  QRect bounds;
  for (const PathOp& op : path_) bounds |= op.bounds;
  canvas_.SaveDC();
  // The path clips within the present clip.
  canvas_.SetMetaClip();
  canvas_.BeginPath();
  for (const PathOp& op : path_) op.draw(canvas_);
  canvas_.EndPath();
  canvas_.SelectClipPath();
  canvas_.Brush() = BrushOf(DeviceContext().Data().brush);
  const PixelRect area{bounds.left() - 1, bounds.top() - 1, bounds.right() + 2,
                       bounds.bottom() + 2};
  if (const std::optional<CanvasBrush> under = HatchBackground(canvas_.Brush())) {
    const CanvasBrush hatch = canvas_.Brush();
    canvas_.Brush() = *under;
    canvas_.FillRect(area);
    canvas_.Brush() = hatch;
  }
  canvas_.FillRect(area);
  canvas_.RestoreDC();
}

void EmfCanvasPlayer::StrokePath() {
  Apply(Style::kStroke);
  canvas_.Brush() = {clWhite, TovxBrushStyle::bsClear};
  for (const PathOp& op : path_) op.draw(canvas_);
}

void EmfCanvasPlayer::DoFillPath() {
  TEMFAbstractExport::DoFillPath();
  FillPath();
  path_.clear();
}

void EmfCanvasPlayer::DoStrokeAndFillPath() {
  TEMFAbstractExport::DoStrokeAndFillPath();
  FillPath();
  StrokePath();
  path_.clear();
}

void EmfCanvasPlayer::DoStrokePath() {
  TEMFAbstractExport::DoStrokePath();
  StrokePath();
  path_.clear();
}

void EmfCanvasPlayer::DoSelectClipPath() {
  TEMFAbstractExport::DoSelectClipPath();
  const quint32 mode = Current<TEnhMetaObj>().U32(8);
  const std::optional<QRegion> before = canvas_.ClipRegion();
  canvas_.BeginPath();
  for (const PathOp& op : path_) op.draw(canvas_);
  canvas_.EndPath();
  canvas_.SelectClipPath();
  path_.clear();
  if (mode == kRgnCopy) return;
  const std::optional<QRegion> path = canvas_.ClipRegion();
  canvas_.SelectClipRegion(before);
  CombineCanvasClip(path, mode);
}

// --- clipping ----------------------------------------------------------------------------

void EmfCanvasPlayer::CombineCanvasClip(const std::optional<QRegion>& region, quint32 mode) {
  if (!region) return;
  const std::optional<QRegion> clip = canvas_.ClipRegion();
  const QRegion base = clip ? *clip : EverythingRegion();
  switch (mode) {
    case kRgnAnd:
      canvas_.SelectClipRegion(base & *region);
      break;
    case kRgnOr:
      if (clip) canvas_.SelectClipRegion(*clip | *region);
      break;
    case kRgnXor:
      canvas_.SelectClipRegion(base ^ *region);
      break;
    case kRgnDiff:
      canvas_.SelectClipRegion(base - *region);
      break;
    case kRgnCopy:
      canvas_.SelectClipRegion(region);
      break;
  }
}

void EmfCanvasPlayer::DoExtSelectClipRgn() {
  TEMFAbstractExport::DoExtSelectClipRgn();
  const auto& r = Current<TEMRExtSelectClipRgnObj>();
  if (r.RegionDataSize() == 0) {
    canvas_.SelectClipRegion(std::nullopt);
    return;
  }
  CombineCanvasClip(DeviceRegionToCanvas(r.Rects()), r.Mode());
}

void EmfCanvasPlayer::DoIntersectClipRect() {
  TEMFAbstractExport::DoIntersectClipRect();
  canvas_.IntersectClipRect(CanvasRect(Current<TEnhMetaObj>().Rect(8)));
}

void EmfCanvasPlayer::DoExcludeClipRect() {
  TEMFAbstractExport::DoExcludeClipRect();
  canvas_.ExcludeClipRect(CanvasRect(Current<TEnhMetaObj>().Rect(8)));
}

void EmfCanvasPlayer::DoOffsetClipRgn() {
  TEMFAbstractExport::DoOffsetClipRgn();
  const auto& r = Current<TEnhMetaObj>();
  std::optional<QRegion> clip = canvas_.ClipRegion();
  if (!clip) return;
  const QPoint shift = CanvasPoint(QPointF(r.I32(8), r.I32(12))) - CanvasPoint(QPointF(0, 0));
  canvas_.SelectClipRegion(Translated(*clip, shift.x(), shift.y()));
}

void EmfCanvasPlayer::DoSetMetaRgn() {
  TEMFAbstractExport::DoSetMetaRgn();
  canvas_.SetMetaClip();
}

void EmfCanvasPlayer::DoSaveDC() {
  TEMFAbstractExport::DoSaveDC();
  canvas_.SaveDC();
  ++saves_;
}

void EmfCanvasPlayer::DoRestoreDC() {
  const int before = SavedContextCount();
  TEMFAbstractExport::DoRestoreDC();
  for (int popped = before - SavedContextCount(); popped > 0 && saves_ > 0; --popped, --saves_)
    canvas_.RestoreDC();
}

// --- regions and gradients -------------------------------------------------------------------

void EmfCanvasPlayer::FillDeviceRects(const std::vector<QRect>& rects, const CanvasBrush& brush) {
  canvas_.Pen() = CanvasPen{clBlack, 1, PenStyle::kClear, false, LineCap::kRound, {}};
  if (const std::optional<CanvasBrush> under = HatchBackground(brush)) {
    canvas_.Brush() = *under;
    for (const QRect& r : rects) canvas_.FillRect(DeviceToCanvas(r));
  }
  canvas_.Brush() = brush;
  for (const QRect& r : rects) canvas_.FillRect(DeviceToCanvas(r));
}

void EmfCanvasPlayer::DoFillRgn() {
  TEMFAbstractExport::DoFillRgn();
  const auto& r = Current<TEnhMetaObj>();
  FillDeviceRects(r.RegionRects(32, r.U32(24)), BrushOf(ObjectAt(r.U32(28))));
}

void EmfCanvasPlayer::DoPaintRgn() {
  TEMFAbstractExport::DoPaintRgn();
  const auto& r = Current<TEnhMetaObj>();
  FillDeviceRects(r.RegionRects(28, r.U32(24)), BrushOf(DeviceContext().Data().brush));
}

void EmfCanvasPlayer::DoGradientFill() {
  TEMFAbstractExport::DoGradientFill();
  const auto& r = Current<TEnhMetaObj>();
  const qint64 vertices = r.U32(24), meshes = r.U32(28);
  const quint32 mode = r.U32(32);
  const qint64 mesh_size = mode == 2 ? 12 : 8;
  if (vertices > (1 << 20) || meshes > (1 << 20) ||
      !r.Fits(36, vertices * 16 + meshes * mesh_size)) {
    return;
  }
  struct Vertex {
    QPoint at;
    int red, green, blue;
  };
  auto vertex = [&](quint32 index) -> std::optional<Vertex> {
    if (index >= vertices) return std::nullopt;
    const qint64 at = 36 + 16 * qint64{index};
    return Vertex{CanvasPoint(QPointF(r.I32(at), r.I32(at + 4))), r.U16(at + 8) >> 8,
                  r.U16(at + 10) >> 8, r.U16(at + 12) >> 8};
  };
  const qint64 mesh_at = 36 + vertices * 16;
  canvas_.Pen() = CanvasPen{clBlack, 1, PenStyle::kClear, false, LineCap::kRound, {}};
  // Fills per record, however many meshes it holds.
  int budget = 1 << 14;
  for (qint64 m = 0; m < meshes; ++m) {
    const qint64 at = mesh_at + m * mesh_size;
    if (mode == 2) {
      const auto a = vertex(r.U32(at)), b = vertex(r.U32(at + 4)), c = vertex(r.U32(at + 8));
      if (!a || !b || !c) continue;
      if (--budget < 0) break;
      canvas_.Brush() = {
          RgbColor((a->red + b->red + c->red) / 3, (a->green + b->green + c->green) / 3,
                   (a->blue + b->blue + c->blue) / 3),
          TovxBrushStyle::bsSolid};
      const QPoint points[] = {a->at, b->at, c->at};
      canvas_.Polygon(points);
      continue;
    }
    const auto a = vertex(r.U32(at)), b = vertex(r.U32(at + 4));
    if (!a || !b) continue;
    const bool horizontal = mode == 0;
    const qint64 from = horizontal ? a->at.x() : a->at.y();
    const qint64 to = horizontal ? b->at.x() : b->at.y();
    const qint64 span = to - from;
    const int strips = static_cast<int>(std::clamp<qint64>(std::abs(span), 1, kMaxGradientStrips));
    budget -= strips;
    if (budget < 0) break;
    for (int s = 0; s < strips; ++s) {
      const double t = strips == 1 ? 0 : double(s) / (strips - 1);
      auto mix = [&](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * t)); };
      canvas_.Brush() = {
          RgbColor(mix(a->red, b->red), mix(a->green, b->green), mix(a->blue, b->blue)),
          TovxBrushStyle::bsSolid};
      const int lo = static_cast<int>(from + span * s / strips);
      const int hi = static_cast<int>(from + span * (s + 1) / strips);
      if (horizontal)
        canvas_.FillRect({std::min(lo, hi), a->at.y(), std::max(lo, hi), b->at.y()});
      else
        canvas_.FillRect({a->at.x(), std::min(lo, hi), b->at.x(), std::max(lo, hi)});
    }
  }
}

// --- convenience --------------------------------------------------------------------------

QString PlayMetafile(const QByteArray& bytes, Canvas& canvas, const QRectF& dest) {
  MemoryStream input(bytes);
  EmfCanvasPlayer player(input, canvas, dest);
  try {
    player.Play();
  } catch (const Error& e) {
    return e.Message();
  }
  return player.Damage();
}

}  // namespace ovx
