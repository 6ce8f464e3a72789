// The QPainter canvas: lines, shapes, clipping and pictures (text is in
// painter_canvas_text.cpp).
//
// Two raster rules make the platform's pixels:
//   - Qt's aliased rasterizer samples each pixel at its centre, so a shape
//     whose corners are integer points covers its left and top edges but
//     not its right and bottom ones, which is the platform's polygon rule.
//     Fills and wide strokes are therefore plain paths in device
//     coordinates (and stay vectors on print devices): a polygon through
//     the outline's pixels fills one pixel less on the right and bottom,
//     which the one-pixel outline drawn over it then covers.
//   - One-pixel lines are our own Bresenham walk, emitted as runs of whole
//     pixels: the platform leaves out the end pixel, breaks midpoint ties
//     by octant so that a line covers the same pixels in both directions,
//     and counts dash patterns in pixels, none of which a QPainter pen does.
//
// Lines are walked and dashed only across the visible window (the device
// within the clip), and shapes are clamped to a window far beyond any
// device, so absurd coordinates from a damaged file cost nothing.
#include "render/painter_canvas.h"

#include "base/error.h"

#include <QPaintDevice>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace ovx {

namespace {

// "Everything", where a clip must be spelled out (ExcludeClipRect on a
// canvas without a clip): the window NullCanvas uses.
constexpr int kEverything = 1 << 24;

// Shape coordinates are clamped to this before they become Qt geometry.
constexpr int kCoordinateLimit = 1 << 26;

// Pens wider than this are as wide as any device already.
constexpr int kMaxPenWidth = 1 << 20;

int ClampCoordinate(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, -kCoordinateLimit, kCoordinateLimit));
}

QPoint ClampPoint(QPoint p) { return QPoint(ClampCoordinate(p.x()), ClampCoordinate(p.y())); }

// Pixels left..right-1 x top..bottom-1 (empty when right <= left or
// bottom <= top).
QRect PixelsOf(qint64 left, qint64 top, qint64 right, qint64 bottom) {
  return QRect(QPoint(ClampCoordinate(left), ClampCoordinate(top)),
               QPoint(ClampCoordinate(right) - 1, ClampCoordinate(bottom) - 1));
}

QRect PixelsOf(const PixelRect& r) { return PixelsOf(r.left, r.top, r.right, r.bottom); }

QRegion Everything() {
  return QRegion(-kEverything, -kEverything, 2 * kEverything, 2 * kEverything);
}

QColor ToQColor(Color color) {
  const Color rgb = ColorToRgb(color);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// --- brushes ---------------------------------------------------------------------

// The platform's 8 x 8 hatch cells, aligned to the device origin.
bool HatchSet(TovxBrushStyle style, int x, int y) {
  switch (style) {
    case TovxBrushStyle::bsHorizontal:
      return y == 3;
    case TovxBrushStyle::bsVertical:
      return x == 4;
    case TovxBrushStyle::bsFDiagonal:
      return x == y;
    case TovxBrushStyle::bsBDiagonal:
      return x == 7 - y;
    case TovxBrushStyle::bsCross:
      return y == 3 || x == 4;
    case TovxBrushStyle::bsDiagCross:
      return x == y || x == 7 - y;
    default:
      return false;
  }
}

// Nothing for a clear brush or one without a colour. Hatches draw their
// lines only; the rest of the cell stays transparent.
std::optional<QBrush> ToQBrush(const CanvasBrush& brush) {
  if (brush.style == TovxBrushStyle::bsClear || brush.color == clNone) return std::nullopt;
  const QColor color = ToQColor(brush.color);
  if (brush.style == TovxBrushStyle::bsSolid) return QBrush(color);
  QImage cell(8, 8, QImage::Format_ARGB32_Premultiplied);
  cell.fill(Qt::transparent);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if (HatchSet(brush.style, x, y)) cell.setPixel(x, y, color.rgba());
  return QBrush(cell);
}

// --- pens ------------------------------------------------------------------------

// The platform's dash patterns (dash, gap, dash, ...) per styled pen:
// cosmetic pens in pixels, geometric pens in pen widths.
struct DashPatterns {
  std::span<const int> cosmetic;
  std::span<const int> geometric;
};

DashPatterns DashesOf(PenStyle style) {
  static constexpr int kDash[] = {18, 6};
  static constexpr int kDot[] = {3, 3};
  static constexpr int kDashDot[] = {9, 6, 3, 6};
  static constexpr int kDashDotDot[] = {9, 3, 3, 3, 3, 3};
  static constexpr int kGeometricDash[] = {3, 1};
  static constexpr int kGeometricDot[] = {1, 1};
  static constexpr int kGeometricDashDot[] = {3, 1, 1, 1};
  static constexpr int kGeometricDashDotDot[] = {3, 1, 1, 1, 1, 1};
  switch (style) {
    case PenStyle::kDash:
      return {kDash, kGeometricDash};
    case PenStyle::kDot:
      return {kDot, kGeometricDot};
    case PenStyle::kDashDot:
      return {kDashDot, kGeometricDashDot};
    case PenStyle::kDashDotDot:
      return {kDashDotDot, kGeometricDashDotDot};
    default:
      return {};
  }
}

// How an outline is drawn with the current pen.
struct PenPlan {
  enum Kind { kNone, kPixel, kWide };
  Kind kind = kNone;
  QColor color;
  // Dash and gap lengths in pixels, starting with a dash; empty: solid.
  std::vector<double> dashes;
  // kPixel: the colour the gaps of a styled line get, if any.
  std::optional<QColor> gap_color;
  // kWide:
  double width = 1;
  Qt::PenCapStyle cap = Qt::RoundCap;
};

PenPlan PlanPen(const CanvasPen& pen, const CanvasBrush& brush) {
  PenPlan plan;
  if (pen.style == PenStyle::kClear || pen.color == clNone) return plan;
  plan.color = ToQColor(pen.color);
  if (!pen.geometric && pen.width <= 1) {
    plan.kind = PenPlan::kPixel;
    for (int d : DashesOf(pen.style).cosmetic) plan.dashes.push_back(d);
    // A styled line's gaps take the background, which the platform's
    // canvas makes opaque in the brush colour while the brush is solid
    // (and transparent otherwise): callers clear the brush to keep the
    // gaps transparent.
    if (!plan.dashes.empty() && brush.style == TovxBrushStyle::bsSolid && brush.color != clNone)
      plan.gap_color = ToQColor(brush.color);
    return plan;
  }
  plan.kind = PenPlan::kWide;
  plan.width = std::clamp(pen.width, 1, kMaxPenWidth);
  if (!pen.geometric) return plan;  // wider cosmetic pens: solid, round ends
  plan.cap = pen.cap == LineCap::kFlat     ? Qt::FlatCap
             : pen.cap == LineCap::kSquare ? Qt::SquareCap
                                           : Qt::RoundCap;
  if (!pen.dashes.empty()) {
    double total = 0;
    for (int d : pen.dashes) {
      plan.dashes.push_back(std::max(d, 0));
      total += plan.dashes.back();
    }
    if (total <= 0) plan.dashes.clear();  // all zero: nothing to repeat
    return plan;
  }
  const std::span<const int> style = DashesOf(pen.style).geometric;
  for (size_t i = 0; i < style.size(); ++i) {
    double length = style[i] * plan.width;
    // Caps reach half a width past each end of a dash, so the platform
    // shortens dashes by a width (and lengthens gaps) to keep the period.
    if (plan.cap != Qt::FlatCap) length += (i % 2 == 0 ? -plan.width : plan.width);
    plan.dashes.push_back(length);
  }
  return plan;
}

// --- one-pixel lines ---------------------------------------------------------------

// Whether the platform steps on a midpoint tie: for lines heading into
// octants 3, 5, 6 and 8, counted clockwise from +x with y pointing down.
int TieBias(qint64 dx, qint64 dy) {
  int octant;
  if (dy > 0)
    octant = dx > 0 ? (dx > dy ? 1 : 2) : (-dx > dy ? 4 : 3);
  else
    octant = dx < 0 ? (-dx > -dy ? 5 : 6) : (dx > -dy ? 8 : 7);
  return octant == 3 || octant == 5 || octant == 6 || octant == 8 ? 1 : 0;
}

// Collects the pixels of one-pixel lines as runs, split into those the
// pattern draws and its gaps.
class PixelLineWriter {
 public:
  // `dashes`: an even count of dash and gap lengths; empty draws solid.
  PixelLineWriter(const QRect& window, const std::vector<double>& dashes) : window_(window) {
    for (size_t i = 0; i < dashes.size(); ++i)
      marks_.insert(marks_.end(), static_cast<size_t>(dashes[i]), i % 2 == 0);
  }

  // Walks from `a` to `b`, leaving out `b`; the first pixel is at pattern
  // position `phase`. Answers the number of pixels the line has (visible
  // or not), by which the pattern moves on.
  qint64 Walk(QPoint a, QPoint b, qint64 phase) {
    const qint64 dx = qint64{b.x()} - a.x();
    const qint64 dy = qint64{b.y()} - a.y();
    const bool x_major = std::abs(dx) > std::abs(dy);
    const qint64 d_major = std::max(std::abs(dx), std::abs(dy));
    const qint64 d_minor = std::min(std::abs(dx), std::abs(dy));
    if (d_major == 0) return 0;
    const qint64 s_major = (x_major ? dx : dy) > 0 ? 1 : -1;
    const qint64 s_minor = (x_major ? dy : dx) > 0 ? 1 : -1;
    const qint64 a_major = x_major ? a.x() : a.y();
    const qint64 a_minor = x_major ? a.y() : a.x();
    const qint64 lo = x_major ? window_.left() : window_.top();
    const qint64 hi = x_major ? window_.right() : window_.bottom();
    const qint64 minor_lo = x_major ? window_.top() : window_.left();
    const qint64 minor_hi = x_major ? window_.bottom() : window_.right();

    // Only the steps whose major coordinate lies in the window.
    qint64 first = s_major > 0 ? lo - a_major : a_major - hi;
    qint64 last = s_major > 0 ? hi - a_major : a_major - lo;
    first = std::max<qint64>(first, 0);
    last = std::min(last, d_major - 1);
    if (first > last || window_.isEmpty()) return d_major;

    // Pixel i lies ceil((2 i d_minor + bias - d_major) / (2 d_major))
    // minor steps from the start; the remainder carries the error term.
    const qint64 two_major = 2 * d_major;
    const __int128 numerator =
        static_cast<__int128>(2) * first * d_minor + TieBias(dx, dy) + d_major - 1;
    qint64 n = static_cast<qint64>(numerator / two_major);
    qint64 rem = static_cast<qint64>(numerator % two_major);
    for (qint64 i = first; i <= last; ++i) {
      const qint64 minor = a_minor + s_minor * n;
      if (minor >= minor_lo && minor <= minor_hi)
        Add(a_major + s_major * i, minor, x_major, Mark(phase + i));
      else
        Flush();
      rem += 2 * d_minor;
      if (rem >= two_major) {
        rem -= two_major;
        ++n;
      }
    }
    Flush();
    return d_major;
  }

  std::vector<QRect> on;
  std::vector<QRect> off;

 private:
  bool Mark(qint64 position) const {
    return marks_.empty() || marks_[static_cast<size_t>(position % qint64(marks_.size()))];
  }

  void Add(qint64 major, qint64 minor, bool x_major, bool mark) {
    if (open_ && x_major == x_major_ && minor == minor_ && mark == mark_ &&
        (major == lo_ - 1 || major == hi_ + 1)) {
      lo_ = std::min(lo_, major);
      hi_ = std::max(hi_, major);
      return;
    }
    Flush();
    open_ = true;
    x_major_ = x_major;
    minor_ = minor;
    mark_ = mark;
    lo_ = hi_ = major;
  }

  void Flush() {
    if (!open_) return;
    open_ = false;
    const QRect run = x_major_
                          ? QRect(QPoint(int(lo_), int(minor_)), QPoint(int(hi_), int(minor_)))
                          : QRect(QPoint(int(minor_), int(lo_)), QPoint(int(minor_), int(hi_)));
    (mark_ ? on : off).push_back(run);
  }

  QRect window_;
  std::vector<bool> marks_;
  bool open_ = false;
  bool x_major_ = false;
  bool mark_ = false;
  qint64 minor_ = 0;
  qint64 lo_ = 0;
  qint64 hi_ = 0;
};

// --- wide lines --------------------------------------------------------------------

// The part [t0, t1] of the segment p + t (q - p), t in [0, 1], inside
// `window`, or nullopt.
std::optional<std::pair<double, double>> ClipSegment(QPointF p, QPointF q, const QRectF& window) {
  double t0 = 0, t1 = 1;
  const double d[2] = {q.x() - p.x(), q.y() - p.y()};
  const double start[2] = {p.x(), p.y()};
  const double min[2] = {window.left(), window.top()};
  const double max[2] = {window.right(), window.bottom()};
  for (int axis = 0; axis < 2; ++axis) {
    if (d[axis] == 0) {
      if (start[axis] < min[axis] || start[axis] > max[axis]) return std::nullopt;
      continue;
    }
    double a = (min[axis] - start[axis]) / d[axis];
    double b = (max[axis] - start[axis]) / d[axis];
    if (a > b) std::swap(a, b);
    t0 = std::max(t0, a);
    t1 = std::min(t1, b);
  }
  if (t0 > t1) return std::nullopt;
  return std::make_pair(t0, t1);
}

// Cuts an outline into the dashes of a pattern, walking only the parts
// that can show.
class Dasher {
 public:
  Dasher(const std::vector<double>& dashes, const QRectF& window)
      : dashes_(dashes), window_(window), left_(dashes.front()) {
    for (double d : dashes) period_ += d;
    if (dashes.size() % 2 == 1) period_ *= 2;
  }

  // The dashes as polylines; a zero-length dash is a single point.
  std::vector<std::vector<QPointF>> Run(std::span<const QPointF> points, bool closed) {
    const size_t segments = closed ? points.size() : points.size() - 1;
    bool started_at_start = false;
    for (size_t i = 0; i < segments; ++i) {
      const QPointF p = points[i];
      const QPointF q = points[(i + 1) % points.size()];
      const double length = std::hypot(q.x() - p.x(), q.y() - p.y());
      if (length == 0) continue;
      const auto visible = ClipSegment(p, q, window_);
      if (!visible) {
        EndPiece();
        Skip(length);
        continue;
      }
      const double t0 = visible->first * length;
      const double t1 = visible->second * length;
      auto at = [&](double t) { return p + (q - p) * (t / length); };
      if (t0 > 0) {
        EndPiece();
        Skip(t0);
      }
      if (i == 0 && t0 == 0 && on_) started_at_start = true;
      double t = t0;
      while (true) {
        if (on_ && !piece_) piece_.emplace(1, at(t));
        if (left_ > t1 - t) {
          left_ -= t1 - t;
          if (piece_) piece_->push_back(at(t1));
          break;
        }
        t += left_;
        if (piece_) piece_->push_back(at(t));
        EndPiece();
        Next();
      }
      if (t1 < length) {
        EndPiece();
        Skip(length - t1);
      }
    }
    // A dash running through the start of a closed figure is one dash.
    if (closed && piece_ && started_at_start && !pieces_.empty()) {
      piece_->insert(piece_->end(), pieces_.front().begin() + 1, pieces_.front().end());
      pieces_.front() = std::move(*piece_);
      piece_.reset();
    }
    EndPiece();
    return std::move(pieces_);
  }

 private:
  void Next() {
    index_ = (index_ + 1) % dashes_.size();
    left_ = dashes_[index_];
    on_ = !on_;
  }

  void Skip(double length) {
    length = std::fmod(length, period_);
    while (length > 0) {
      if (left_ > length) {
        left_ -= length;
        return;
      }
      length -= left_;
      Next();
    }
  }

  void EndPiece() {
    if (piece_) pieces_.push_back(std::move(*piece_));
    piece_.reset();
  }

  const std::vector<double>& dashes_;
  QRectF window_;
  double period_ = 0;
  size_t index_ = 0;
  double left_;
  bool on_ = true;
  std::optional<std::vector<QPointF>> piece_;
  std::vector<std::vector<QPointF>> pieces_;
};

// --- outlines of shapes ------------------------------------------------------------

// An ordered rectangle of outline pixels (right and bottom inclusive), or
// nullopt for an empty one; the platform orders the corners of shapes.
struct Box {
  int left, top, right, bottom;
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
};

std::optional<Box> OutlineBox(const PixelRect& rect) {
  int l = ClampCoordinate(rect.left), r = ClampCoordinate(rect.right);
  int t = ClampCoordinate(rect.top), b = ClampCoordinate(rect.bottom);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (l == r || t == b) return std::nullopt;
  return Box{l, t, r - 1, b - 1};
}

// Counter-clockwise from the top right corner, as the platform walks it
// (the dash pattern starts there).
std::vector<QPoint> RectangleOutline(const Box& box) {
  return {
      {box.right, box.top}, {box.left, box.top}, {box.left, box.bottom}, {box.right, box.bottom}};
}

// The top right quarter of the ellipse whose outline fills a w x h box, as
// offsets from the box's top left, from the end of the horizontal axis up
// to the top of the vertical one. Halves round away from the centre, so
// the mirrored quarters meet symmetrically.
std::vector<QPoint> QuarterEllipse(int w, int h) {
  const double a = (w - 1) / 2.0;
  const double b = (h - 1) / 2.0;
  // Steps shorter than half a pixel; beyond that size the curve is
  // smooth enough as a polygon.
  const int steps = std::clamp(w + h, 8, 4096);
  std::vector<QPoint> out;
  for (int i = 0; i <= steps; ++i) {
    const double angle = std::numbers::pi / 2 * i / steps;
    const QPoint p(static_cast<int>(std::floor(a + a * std::cos(angle) + 0.5)),
                   static_cast<int>(std::ceil(b - b * std::sin(angle) - 0.5)));
    if (out.empty() || out.back() != p) out.push_back(p);
  }
  return out;
}

// Counter-clockwise from the right end of the horizontal axis, as the
// platform walks it.
std::vector<QPoint> RoundRectOutline(const Box& box, int cw, int ch) {
  const std::vector<QPoint> q = QuarterEllipse(cw, ch);
  const int right = box.right - cw + 1;  // left column of the right corners
  std::vector<QPoint> out;
  auto add = [&](int x, int y) {
    if (out.empty() || out.back() != QPoint(x, y)) out.emplace_back(x, y);
  };
  for (auto it = q.begin(); it != q.end(); ++it) add(right + it->x(), box.top + it->y());
  for (auto it = q.rbegin(); it != q.rend(); ++it)
    add(box.left + cw - 1 - it->x(), box.top + it->y());
  for (auto it = q.begin(); it != q.end(); ++it)
    add(box.left + cw - 1 - it->x(), box.bottom - it->y());
  for (auto it = q.rbegin(); it != q.rend(); ++it) add(right + it->x(), box.bottom - it->y());
  if (out.size() > 1 && out.back() == out.front()) out.pop_back();
  return out;
}

std::vector<QPoint> Clamped(std::span<const QPoint> points) {
  std::vector<QPoint> out;
  out.reserve(points.size());
  for (const QPoint& p : points) out.push_back(ClampPoint(p));
  return out;
}

QPainterPath PolygonPath(std::span<const QPoint> points, bool closed) {
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  if (points.empty()) return path;
  path.moveTo(points.front());
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  if (closed) path.closeSubpath();
  return path;
}

// The pixels a path covers under the fill rule, as a region: the path is
// rasterized as a fill draws it, a strip of rows at a time so that a
// page-sized path on a printer takes a few megabytes.
QRegion RegionOf(const QPainterPath& path, const QRect& window) {
  const QRect area = path.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1) & window;
  if (area.isEmpty()) return QRegion();
  const int strip_rows = std::clamp((1 << 22) / area.width(), 1, area.height());
  QImage mask(area.width(), strip_rows, QImage::Format_Alpha8);
  if (mask.isNull()) return QRegion();

  // Rows with equal runs share one band, as QRegion::setRects wants.
  std::vector<QRect> rects;
  std::vector<std::pair<int, int>> runs, band_runs;
  int band_top = area.top();
  auto close_band = [&](int bottom) {
    for (auto [x0, x1] : band_runs)
      rects.emplace_back(QPoint(area.left() + x0, band_top), QPoint(area.left() + x1, bottom));
  };
  for (int strip = area.top(); strip <= area.bottom(); strip += strip_rows) {
    mask.fill(0);
    {
      QPainter painter(&mask);
      painter.translate(-area.left(), -strip);
      painter.fillPath(path, Qt::black);
    }
    for (int row = 0; row < strip_rows && strip + row <= area.bottom(); ++row) {
      const uchar* pixels = mask.constScanLine(row);
      runs.clear();
      for (int x = 0; x < area.width();) {
        if (pixels[x] == 0) {
          ++x;
          continue;
        }
        const int start = x;
        while (x < area.width() && pixels[x] != 0) ++x;
        runs.emplace_back(start, x - 1);
      }
      if (runs != band_runs) {
        close_band(strip + row - 1);
        band_runs = runs;
        band_top = strip + row;
      }
    }
  }
  close_band(area.bottom());
  QRegion region;
  if (!rects.empty()) region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}

}  // namespace

struct PainterCanvas::State {
  QRect device_rect;
  std::optional<QRegion> clip;
  std::optional<QRegion> meta_clip;
  struct Saved {
    std::optional<QRegion> clip;
    std::optional<QRegion> meta_clip;
    CanvasFont font;
    CanvasPen pen;
    CanvasBrush brush;
  };
  std::vector<Saved> saved;
  bool building_path = false;
  std::optional<QPainterPath> path;

  // The pixels drawing can reach.
  QRect Window() const {
    const std::optional<QRegion>& bound = clip ? clip : meta_clip;
    return bound ? device_rect & bound->boundingRect() : device_rect;
  }

  QPainterPath& Path() {
    if (!path) {
      path.emplace();
      path->setFillRule(Qt::OddEvenFill);
    }
    return *path;
  }

  void AddToPath(std::span<const QPoint> points, bool closed) {
    Path().addPath(PolygonPath(points, closed));
  }
};

PainterCanvas::PainterCanvas(QPaintDevice* device, int dpi_x, int dpi_y)
    : state_(std::make_unique<State>()) {
  state_->device_rect = QRect(-kEverything, -kEverything, 2 * kEverything, 2 * kEverything);
  if (device) {
    if (dpi_x <= 0) dpi_x = device->logicalDpiX();
    if (dpi_y <= 0) dpi_y = device->logicalDpiY();
    if (device->width() > 0 && device->height() > 0)
      state_->device_rect = QRect(0, 0, device->width(), device->height());
    if (painter_.begin(device)) {
      painter_.setRenderHint(QPainter::Antialiasing, false);
      painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
  }
  dpi_x_ = dpi_x > 0 ? dpi_x : 96;
  dpi_y_ = dpi_y > 0 ? dpi_y : 96;
}

PainterCanvas::~PainterCanvas() { End(); }

std::unique_ptr<PainterCanvas> PainterCanvas::ForImage(int width, int height, int dpi) {
  if (dpi <= 0) dpi = 96;
  std::unique_ptr<QImage> image;
  if (width > 0 && height > 0)
    image = std::make_unique<QImage>(width, height, QImage::Format_RGB32);
  if (!image || image->isNull()) {
    throw Error(QString(), QStringLiteral("Cannot make an image of %d x %d pixels"),
                {QString::number(width), QString::number(height)});
  }
  image->fill(Qt::white);
  const int dots_per_meter = static_cast<int>(std::lround(dpi / 0.0254));
  image->setDotsPerMeterX(dots_per_meter);
  image->setDotsPerMeterY(dots_per_meter);
  auto canvas = std::make_unique<PainterCanvas>(image.get(), dpi, dpi);
  canvas->owned_image_ = std::move(image);
  return canvas;
}

const QImage* PainterCanvas::Image() const { return owned_image_.get(); }

void PainterCanvas::End() {
  if (painter_.isActive()) painter_.end();
}

// --- drawing ---------------------------------------------------------------------

namespace {

// Strokes an outline with the canvas pen. `points` are pixels.
void StrokeOutline(QPainter& painter, const QRect& window, const CanvasPen& pen,
                   const CanvasBrush& brush, std::span<const QPoint> points, bool closed) {
  if (points.size() < 2) return;
  const PenPlan plan = PlanPen(pen, brush);
  if (plan.kind == PenPlan::kNone) return;

  if (plan.kind == PenPlan::kPixel) {
    PixelLineWriter writer(window, plan.dashes);
    qint64 phase = 0;
    const size_t segments = closed ? points.size() : points.size() - 1;
    for (size_t i = 0; i < segments; ++i)
      phase += writer.Walk(points[i], points[(i + 1) % points.size()], phase);
    if (plan.gap_color)
      for (const QRect& r : writer.off) painter.fillRect(r, *plan.gap_color);
    for (const QRect& r : writer.on) painter.fillRect(r, plan.color);
    return;
  }

  // Qt samples pixel (x, y) at its centre (x + 0.5, y + 0.5). A stroke of
  // even width centred on the pixel corner (x, y) covers as many pixels on
  // either side; one of odd width is centred on the pixel itself, and a
  // shade less, so that a flat end still covers its start pixel and not its
  // end pixel, as a one-pixel line does.
  const double shift = static_cast<int>(plan.width) % 2 == 1 ? 0.5 - 1.0 / 64 : 0.0;
  std::vector<QPointF> outline;
  outline.reserve(points.size());
  for (const QPoint& p : points) outline.push_back(QPointF(ClampPoint(p)) + QPointF(shift, shift));
  if (std::all_of(outline.begin(), outline.end(), [&](QPointF p) { return p == outline[0]; }))
    return;

  QPainterPathStroker stroker;
  stroker.setWidth(plan.width);
  stroker.setCapStyle(plan.cap);
  stroker.setJoinStyle(Qt::RoundJoin);
  auto stroke = [&](std::span<const QPointF> piece, bool closed_piece) {
    QPainterPath line;
    line.moveTo(piece.front());
    for (size_t i = 1; i < piece.size(); ++i) line.lineTo(piece[i]);
    if (closed_piece) line.closeSubpath();
    painter.fillPath(stroker.createStroke(line), plan.color);
  };

  if (plan.dashes.empty()) {
    stroke(outline, closed);
    return;
  }
  // Dashes out of sight are not walked; the margin keeps their caps.
  const double margin = plan.width + 2;
  const QRectF reach = QRectF(window).adjusted(-margin, -margin, margin, margin);
  for (const std::vector<QPointF>& piece : Dasher(plan.dashes, reach).Run(outline, closed)) {
    const bool dot =
        std::all_of(piece.begin(), piece.end(), [&](QPointF p) { return p == piece[0]; });
    if (!dot) {
      stroke(piece, false);
    } else if (plan.cap == Qt::RoundCap) {
      // A dash of no length is its round cap.
      QPainterPath circle;
      circle.addEllipse(piece[0], plan.width / 2, plan.width / 2);
      painter.fillPath(circle, plan.color);
    }
  }
}

}  // namespace

void PainterCanvas::LineTo(int x, int y) {
  const QPoint line[] = {PenPos(), QPoint(x, y)};
  SetPenPos(QPoint(x, y));
  if (state_->building_path) {
    // A line continues the figure that ends where it starts.
    QPainterPath& path = state_->Path();
    const QPoint from = ClampPoint(line[0]);
    if (path.isEmpty() || path.currentPosition() != QPointF(from)) path.moveTo(from);
    path.lineTo(ClampPoint(line[1]));
    return;
  }
  if (!painter_.isActive()) return;
  StrokeOutline(painter_, state_->Window(), Pen(), Brush(), line, false);
}

void PainterCanvas::Rectangle(const PixelRect& rect) {
  const std::optional<Box> box = OutlineBox(rect);
  if (!box) return;
  const std::vector<QPoint> outline = RectangleOutline(*box);
  if (state_->building_path) {
    state_->AddToPath(outline, true);
    return;
  }
  if (!painter_.isActive()) return;
  // The polygon rule leaves the right and bottom outline to the pen: a
  // clear pen fills one pixel less, as on the platform.
  if (const auto brush = ToQBrush(Brush()))
    painter_.fillRect(PixelsOf(box->left, box->top, box->right, box->bottom), *brush);
  StrokeOutline(painter_, state_->Window(), Pen(), Brush(), outline, true);
}

void PainterCanvas::FillRect(const PixelRect& rect) {
  // Not a path operation: it draws even while a path is built.
  if (!painter_.isActive() || rect.IsEmpty()) return;
  if (const auto brush = ToQBrush(Brush())) painter_.fillRect(PixelsOf(rect), *brush);
}

void PainterCanvas::RoundRect(const PixelRect& rect, int corner_width, int corner_height) {
  const std::optional<Box> box = OutlineBox(rect);
  if (!box) return;
  const int cw = static_cast<int>(std::min<qint64>(box->Width(), std::abs(qint64{corner_width})));
  const int ch = static_cast<int>(std::min<qint64>(box->Height(), std::abs(qint64{corner_height})));
  // Corners this small are square on the platform.
  if (cw <= 2 || ch <= 2) {
    Rectangle(rect);
    return;
  }
  const std::vector<QPoint> outline = RoundRectOutline(*box, cw, ch);
  if (state_->building_path) {
    state_->AddToPath(outline, true);
    return;
  }
  if (!painter_.isActive()) return;
  if (const auto brush = ToQBrush(Brush())) painter_.fillPath(PolygonPath(outline, true), *brush);
  StrokeOutline(painter_, state_->Window(), Pen(), Brush(), outline, true);
}

void PainterCanvas::Ellipse(const PixelRect& rect) {
  RoundRect(rect,
            static_cast<int>(std::clamp<qint64>(qint64{rect.right} - rect.left, INT_MIN, INT_MAX)),
            static_cast<int>(std::clamp<qint64>(qint64{rect.bottom} - rect.top, INT_MIN, INT_MAX)));
}

void PainterCanvas::Polygon(std::span<const QPoint> points) {
  if (points.size() < 2) return;
  if (state_->building_path) {
    state_->AddToPath(Clamped(points), true);
    return;
  }
  if (!painter_.isActive()) return;
  if (const auto brush = ToQBrush(Brush()))
    painter_.fillPath(PolygonPath(Clamped(points), true), *brush);
  StrokeOutline(painter_, state_->Window(), Pen(), Brush(), points, true);
}

void PainterCanvas::Polyline(std::span<const QPoint> points) {
  if (points.size() < 2) return;
  if (state_->building_path) {
    state_->AddToPath(Clamped(points), false);
    return;
  }
  if (!painter_.isActive()) return;
  StrokeOutline(painter_, state_->Window(), Pen(), Brush(), points, false);
}

// --- paths -----------------------------------------------------------------------

void PainterCanvas::BeginPath() {
  state_->building_path = true;
  state_->path.reset();
}

void PainterCanvas::EndPath() { state_->building_path = false; }

void PainterCanvas::SelectClipPath() {
  state_->building_path = false;
  if (!state_->path) return;
  QRect window = state_->device_rect;
  if (state_->meta_clip) window &= state_->meta_clip->boundingRect();
  QRegion region = RegionOf(*state_->path, window);
  state_->path.reset();
  SelectClipRegion(region);
}

// --- clipping --------------------------------------------------------------------

namespace {

void ApplyClip(QPainter& painter, const std::optional<QRegion>& clip,
               const std::optional<QRegion>& meta_clip) {
  if (!painter.isActive()) return;
  const std::optional<QRegion>& effective = clip ? clip : meta_clip;
  if (effective) {
    // Qt ignores a new clip region while clipping is switched off, which it
    // is after a restore that left no clip.
    painter.setClipping(true);
    painter.setClipRegion(*effective);
  } else
    painter.setClipping(false);
}

}  // namespace

void PainterCanvas::SaveDC() {
  state_->saved.push_back({state_->clip, state_->meta_clip, Font(), Pen(), Brush()});
}

void PainterCanvas::RestoreDC() {
  if (state_->saved.empty()) return;
  State::Saved s = std::move(state_->saved.back());
  state_->saved.pop_back();
  state_->clip = std::move(s.clip);
  state_->meta_clip = std::move(s.meta_clip);
  Font() = std::move(s.font);
  Pen() = std::move(s.pen);
  Brush() = s.brush;
  ApplyClip(painter_, state_->clip, state_->meta_clip);
}

void PainterCanvas::IntersectClipRect(const PixelRect& rect) {
  QRegion r(PixelsOf(rect));
  if (state_->meta_clip) r &= *state_->meta_clip;
  state_->clip = state_->clip ? (*state_->clip & r) : r;
  ApplyClip(painter_, state_->clip, state_->meta_clip);
}

void PainterCanvas::ExcludeClipRect(const PixelRect& rect) {
  const QRegion base =
      state_->clip ? *state_->clip : (state_->meta_clip ? *state_->meta_clip : Everything());
  state_->clip = base.subtracted(QRegion(PixelsOf(rect)));
  ApplyClip(painter_, state_->clip, state_->meta_clip);
}

std::optional<QRegion> PainterCanvas::ClipRegion() const { return state_->clip; }

void PainterCanvas::SelectClipRegion(const std::optional<QRegion>& region) {
  if (!region)
    state_->clip.reset();
  else
    state_->clip = state_->meta_clip ? (*region & *state_->meta_clip) : *region;
  ApplyClip(painter_, state_->clip, state_->meta_clip);
}

void PainterCanvas::SetMetaClip() {
  if (state_->clip)
    state_->meta_clip = state_->meta_clip ? (*state_->meta_clip & *state_->clip) : *state_->clip;
  state_->clip.reset();
  ApplyClip(painter_, state_->clip, state_->meta_clip);
}

bool PainterCanvas::RectVisible(const PixelRect& rect) const {
  if (rect.IsEmpty()) return false;
  const QRect r = PixelsOf(rect);
  if (!state_->device_rect.intersects(r)) return false;
  if (state_->meta_clip && !state_->meta_clip->intersects(r)) return false;
  return !state_->clip || state_->clip->intersects(r);
}

// --- pictures --------------------------------------------------------------------

void PainterCanvas::StretchDraw(const PixelRect& dest, const QImage& image,
                                std::optional<Color> transparent) {
  if (!painter_.isActive() || image.isNull() || dest.IsEmpty()) return;
  const QRectF target(dest.left, dest.top, static_cast<double>(dest.right) - dest.left,
                      static_cast<double>(dest.bottom) - dest.top);
  // Only the part that can show is scaled: a damaged file may ask for a
  // picture a billion pixels wide.
  const QRectF visible = target & QRectF(state_->Window());
  if (visible.isEmpty()) return;
  const double sx = image.width() / target.width();
  const double sy = image.height() / target.height();
  const QRectF source((visible.left() - target.left()) * sx, (visible.top() - target.top()) * sy,
                      visible.width() * sx, visible.height() * sy);

  QImage picture = image;
  if (transparent && *transparent != clNone) {
    // The platform masks the colour out; an alpha of 0 does the same.
    picture = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = ToQColor(*transparent).rgb() & RGB_MASK;
    for (int y = 0; y < picture.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
      for (int x = 0; x < picture.width(); ++x)
        if ((row[x] & RGB_MASK) == key) row[x] = 0;
    }
  }
  painter_.save();
  // Printers (and other fine devices) get smooth scaling, the platform's
  // halftone mode; screens the plain nearest pixel.
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, DpiX() > 200);
  painter_.drawImage(visible, picture, source);
  painter_.restore();
}

}  // namespace ovx
