// The metafile-to-PDF translation (see emf_to_pdf.h): paths, clips and
// levels here; text and bitmaps further down.
//
// Geometry: a logical point goes through the player's mapping to device
// pixels relative to the frame, then to the page by the scales the header
// sets: X = x * sx + left, Y = top - y * sy. Arcs are computed in logical
// units and each point is mapped, so a world transform bends them as it
// bends everything else.
#include "export/emf_to_pdf.h"

#include "base/error.h"
#include "base/stream.h"
#include "export/image_export.h"
#include "export/pdf_font.h"
#include "export/pdf_writer.h"
#include "render/emf_arc.h"
#include "render/internal/emf_canvas_pixels.h"
#include "report/model/picture_view.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <optional>

using namespace ovx::emf;

namespace ovx {

QByteArray EmfPdfNumber(double value) {
  if (std::isnan(value)) return "0";
  value = std::clamp(value, -kEmfPdfMaxNumber, kEmfPdfMaxNumber);
  char buffer[48];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  QByteArray text(buffer, static_cast<qsizetype>(result.ptr - buffer));
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  if (text == "-0") text = "0";
  return text;
}

}  // namespace ovx

namespace {

using ovx::EmfPdfNumber;
using ovx::PdfRect;

constexpr char kEol[] = "\r\n";
constexpr double kDegrees = std::numbers::pi / 180;

// Four decimals exactly, "-0.0000" as "0.0000".
QByteArray Fixed4(double value) {
  if (std::isnan(value)) return "0.0000";
  value = std::clamp(value, -ovx::kEmfPdfMaxNumber, ovx::kEmfPdfMaxNumber);
  char buffer[48];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
  QByteArray text(buffer, static_cast<qsizetype>(result.ptr - buffer));
  if (text == "-0.0000") text = "0.0000";
  return text;
}

// Comment text keeps to one line: control characters (CR and LF among
// them) would end the comment and let the rest be read as operators.
QByteArray CommentText(const QString& text) {
  QString clean = text;
  for (QChar& c : clean) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
  }
  return clean.toUtf8();
}

// The records the translation handles, for diagnostic comments.
bool Realized(quint32 type) {
  switch (type) {
    case kEmrAngleArc:
    case kEmrAlphaBlend:
    case kEmrBeginPath:
    case kEmrBitBlt:
    case kEmrSetBrushOrgEx:
    case kEmrCloseFigure:
    case kEmrCreateBrushIndirect:
    case kEmrCreatePen:
    case kEmrDeleteObject:
    case kEmrEllipse:
    case kEmrEndPath:
    case kEmrEoF:
    case kEmrExtCreateFontIndirectW:
    case kEmrExtCreatePen:
    case kEmrExtSelectClipRgn:
    case kEmrExtTextOutW:
    case kEmrFillPath:
    case kEmrGdiComment:
    case kEmrHeader:
    case kEmrLineTo:
    case kEmrMaskBlt:
    case kEmrModifyWorldTransform:
    case kEmrMoveToEx:
    case kEmrPolyBezier:
    case kEmrPolyBezier16:
    case kEmrPolyBezierTo:
    case kEmrPolyBezierTo16:
    case kEmrPolygon:
    case kEmrPolygon16:
    case kEmrPolyline:
    case kEmrPolyline16:
    case kEmrPolylineTo:
    case kEmrPolylineTo16:
    case kEmrPolyPolygon:
    case kEmrPolyPolygon16:
    case kEmrPolyPolyline:
    case kEmrPolyPolyline16:
    case kEmrRectangle:
    case kEmrRestoreDC:
    case kEmrRoundRect:
    case kEmrSaveDC:
    case kEmrSelectClipPath:
    case kEmrSelectObject:
    case kEmrSetBkColor:
    case kEmrSetBkMode:
    case kEmrSetICMMode:
    case kEmrSetLayout:
    case kEmrSetMetaRgn:
    case kEmrSetMiterLimit:
    case kEmrSetPolyFillMode:
    case kEmrSetRop2:
    case kEmrSetTextAlign:
    case kEmrSetTextColor:
    case kEmrSetStretchBltMode:
    case kEmrSetWorldTransform:
    case kEmrStretchDIBits:
    case kEmrStretchBlt:
    case kEmrStrokeAndFillPath:
    case kEmrStrokePath:
    case kEmrTransparentBlt:
      return true;
    default:
      return false;
  }
}

template <class R>
std::vector<QPoint> PointsOf(const R& record) {
  std::vector<QPoint> points;
  const int count = record.PointCount();
  points.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) points.push_back(record.Point(i));
  return points;
}

}  // namespace

// --- TRotation2D ---------------------------------------------------------------------------

TRotation2D::TRotation2D(QPointF centre, double angle)
    : centre_(centre), cos_(std::cos(angle)), sin_(std::sin(angle)) {
  if (!std::isfinite(cos_) || !std::isfinite(sin_)) cos_ = 1, sin_ = 0;
}

QByteArray TRotation2D::MatrixText() const {
  const double x = centre_.x(), y = centre_.y();
  const double e = x - x * cos_ + y * sin_;
  const double f = y - x * sin_ - y * cos_;
  return Fixed4(cos_) + ' ' + Fixed4(sin_) + ' ' + Fixed4(-sin_) + ' ' + Fixed4(cos_) + ' ' +
         Fixed4(e) + ' ' + Fixed4(f);
}

QPointF TRotation2D::Map(QPointF point) const {
  const QPointF d = point - centre_;
  return centre_ + QPointF(d.x() * cos_ + d.y() * sin_, -d.x() * sin_ + d.y() * cos_);
}

// --- TPDFDeviceContext, TPDFPath -------------------------------------------------------------

void TPDFDeviceContext::Assign(const TDeviceContext& other) { TDeviceContext::Assign(other); }

void TPDFDeviceContext::Reset() {
  TDeviceContext::Reset();
  clip_selected_ = false;
}

void TPDFPath::MoveTo(QPointF p) { ops_.push_back({'m', {p}}); }

void TPDFPath::LineTo(QPointF p) {
  ops_.push_back({'l', {p}});
  segments_ = true;
}

void TPDFPath::CurveTo(QPointF c1, QPointF c2, QPointF end) {
  ops_.push_back({'c', {c1, c2, end}});
  segments_ = true;
}

void TPDFPath::CurveV(QPointF c2, QPointF end) {
  ops_.push_back({'v', {c2, end}});
  segments_ = true;
}

void TPDFPath::Close() {
  ops_.push_back({'h', {}});
  segments_ = true;
}

void TPDFPath::Rect(double left, double bottom, double width, double height) {
  ops_.push_back({'r', {QPointF(left, bottom), QPointF(width, height)}});
  segments_ = true;
}

bool TPDFPath::HasClosedFigure() const {
  return std::any_of(ops_.begin(), ops_.end(),
                     [](const Op& op) { return op.op == 'h' || op.op == 'r'; });
}

void TPDFPath::Flush() {
  out_ += Text();
  Discard();
}

void TPDFPath::Discard() {
  ops_.clear();
  flats_.clear();
  segments_ = false;
}

namespace {

QByteArray PointText(QPointF p) { return EmfPdfNumber(p.x()) + ' ' + EmfPdfNumber(p.y()); }

// Half a device pixel along the page direction `d`: the page vector.
QPointF HalfPixelAlong(QPointF d, double px, double py) {
  if (!(px > 0) || !(py > 0)) return {};
  const QPointF device(d.x() / px, d.y() / py);
  const double length = std::hypot(device.x(), device.y());
  if (!(length > 0) || !std::isfinite(length)) return {};
  return QPointF(device.x() / length * 0.5 * px, device.y() / length * 0.5 * py);
}

}  // namespace

QByteArray TPDFPath::Text(const Placement& placement) const {
  QByteArray text;
  const QPointF s = placement.shift;
  // The points of each open figure of straight lines, when its ends are
  // placed on whole pixels.
  std::vector<QPointF> moved(ops_.size());
  for (size_t i = 0; i < ops_.size(); ++i) moved[i] = ops_[i].p[0] + s;
  if (placement.pixel_ends) {
    size_t i = 0;
    while (i < ops_.size()) {
      if (ops_[i].op != 'm') {
        ++i;
        continue;
      }
      size_t end = i + 1;
      while (end < ops_.size() && ops_[end].op == 'l') ++end;
      const bool open = end == ops_.size() || ops_[end].op == 'm';
      if (open && end - i >= 2) {
        moved[i] -= HalfPixelAlong(ops_[i + 1].p[0] - ops_[i].p[0], placement.px, placement.py);
        moved[end - 1] -=
            HalfPixelAlong(ops_[end - 1].p[0] - ops_[end - 2].p[0], placement.px, placement.py);
      }
      i = end;
    }
  }
  for (size_t i = 0; i < ops_.size(); ++i) {
    const Op& op = ops_[i];
    switch (op.op) {
      case 'm':
        text += PointText(moved[i]) + " m" + kEol;
        break;
      case 'l':
        text += PointText(moved[i]) + " l" + kEol;
        break;
      case 'c':
        text += PointText(op.p[0] + s) + ' ' + PointText(op.p[1] + s) + ' ' +
                PointText(op.p[2] + s) + " c" + kEol;
        break;
      case 'v':
        text += PointText(op.p[0] + s) + ' ' + PointText(op.p[1] + s) + " v" + kEol;
        break;
      case 'h':
        text += QByteArray("h") + kEol;
        break;
      case 'r': {
        const QPointF lb = op.p[0] + s;
        const double w = op.p[1].x(), h = op.p[1].y();
        if (placement.walk_rects) {
          text += PointText(QPointF(lb.x() + w, lb.y() + h)) + " m" + kEol;
          text += PointText(QPointF(lb.x(), lb.y() + h)) + " l" + kEol;
          text += PointText(lb) + " l" + kEol;
          text += PointText(QPointF(lb.x() + w, lb.y())) + " l" + kEol;
          text += QByteArray("h") + kEol;
        } else {
          text += PointText(lb) + ' ' + EmfPdfNumber(w) + ' ' + EmfPdfNumber(h) + " re" + kEol;
        }
        break;
      }
    }
  }
  return text;
}

void TPDFPath::SetFlat(size_t first, std::vector<QPointF> points) {
  if (first >= ops_.size() || points.empty()) return;
  const int index = static_cast<int>(flats_.size());
  flats_.push_back(std::move(points));
  for (size_t i = first; i < ops_.size(); ++i) ops_[i].flat = index;
  ops_[first].head = true;
}

std::vector<TPDFPath::Figure> TPDFPath::Figures() const {
  std::vector<Figure> figures;
  QPointF current, start;
  auto open = [&]() -> Figure& {
    if (figures.empty() || figures.back().closed) {
      figures.push_back({{current}, false});
      start = current;
    }
    return figures.back();
  };
  auto flatten = [&](QPointF p0, QPointF p1, QPointF p2, QPointF p3) {
    // As many pieces as the screen cuts a curve record into.
    constexpr int steps = 16;
    Figure& f = open();
    for (int i = 1; i <= steps; ++i) {
      const double t = double(i) / steps, u = 1 - t;
      f.points.push_back(p0 * (u * u * u) + p1 * (3 * u * u * t) + p2 * (3 * u * t * t) +
                         p3 * (t * t * t));
    }
    current = p3;
  };
  for (const Op& op : ops_) {
    if (op.flat >= 0 && op.op != 'h' && op.op != 'r') {
      const std::vector<QPointF>& points = flats_[static_cast<size_t>(op.flat)];
      if (op.head && op.op == 'm') {
        // The polyline starts its own figure.
        figures.push_back({points, false});
        start = points.front();
      } else if (op.head) {
        Figure& f = open();
        f.points.insert(f.points.end(), points.begin(), points.end());
      }
      current = op.op == 'c' ? op.p[2] : op.op == 'v' ? op.p[1] : op.p[0];
      continue;
    }
    switch (op.op) {
      case 'm':
        current = start = op.p[0];
        figures.push_back({{current}, false});
        break;
      case 'l':
        open().points.push_back(op.p[0]);
        current = op.p[0];
        break;
      case 'c':
        flatten(current, op.p[0], op.p[1], op.p[2]);
        break;
      case 'v':
        flatten(current, current, op.p[0], op.p[1]);
        break;
      case 'h':
        if (!figures.empty() && !figures.back().closed) figures.back().closed = true;
        current = start;
        break;
      case 'r': {
        const QPointF lb = op.p[0];
        const double w = op.p[1].x(), h = op.p[1].y();
        figures.push_back({{QPointF(lb.x() + w, lb.y() + h), QPointF(lb.x(), lb.y() + h), lb,
                            QPointF(lb.x() + w, lb.y())},
                           true});
        current = start = lb;
        break;
      }
    }
  }
  return figures;
}

// --- TEMFtoPDFExport ---------------------------------------------------------------------------

TEMFtoPDFExport::TEMFtoPDFExport(ovx::Stream& input, ovx::PdfDocument& document,
                                 const PdfRect& target)
    : TEMFAbstractExport(input, nullptr),
      document_(document),
      out_(document.Content()),
      target_(target),
      path_(document.Content()) {}

TEMFtoPDFExport::~TEMFtoPDFExport() = default;

std::unique_ptr<TDeviceContext> TEMFtoPDFExport::CreateDeviceContext() {
  return std::make_unique<TPDFDeviceContext>();
}

TPDFDeviceContext& TEMFtoPDFExport::Context() {
  return static_cast<TPDFDeviceContext&>(DeviceContext());
}

void TEMFtoPDFExport::Line(QByteArrayView line) {
  out_ += line;
  out_ += kEol;
}

bool TEMFtoPDFExport::InPath() const { return DeviceContext().Data().in_path; }

int TEMFtoPDFExport::SaveDepth() const {
  int depth = wrapper_depth_;
  for (const int n : levels_) depth += n;
  return depth;
}

void TEMFtoPDFExport::Export() {
  try {
    Play();
  } catch (...) {
    // The page around the drawing must stay intact whatever failed.
    if (playing_) {
      path_.Discard();
      for (; wrapper_depth_ > 0; --wrapper_depth_) Line("Q");
      EndPlay();
    }
    throw;
  }
}

void TEMFtoPDFExport::WriteComment(const QString& text) {
  if (!text.isEmpty()) {
    Line("%--" + CommentText(text));
    return;
  }
  if (!Diagnostics()) return;
  const quint32 type = RecordType();
  if (type == kEmrAbortPath || type == kEmrIntersectClipRect) {
    Line("% Realization: ?");
  } else if (!Realized(type)) {
    Line("% Realization: 0");
  }
  Line("%--" + CommentText(Description()));
}

// --- playing -----------------------------------------------------------------------------------

void TEMFtoPDFExport::BeginPlay() {
  playing_ = true;
  levels_.assign(1, 0);
  wrapper_depth_ = 0;
  const PdfRect t = target_;
  Line("q");
  Line(EmfPdfNumber(t.left) + ' ' + EmfPdfNumber(t.bottom) + ' ' + EmfPdfNumber(t.right - t.left) +
       ' ' + EmfPdfNumber(t.top - t.bottom) + " re");
  Line("W*");
  Line("n");
}

void TEMFtoPDFExport::EndPlay() {
  if (!playing_) return;
  if (path_.Pending()) {
    path_.Flush();
    Line("n");
  }
  CloseLevels(0);
  Line("Q");
  playing_ = false;
}

void TEMFtoPDFExport::CloseLevels(size_t keep) {
  while (levels_.size() > std::max<size_t>(keep, 1)) {
    for (int n = levels_.back(); n > 0; --n) Line("Q");
    levels_.pop_back();
  }
  if (keep == 0) {
    for (int n = levels_.front(); n > 0; --n) Line("Q");
    levels_.front() = 0;
  }
}

void TEMFtoPDFExport::DoHeader() {
  TEMFAbstractExport::DoHeader();
  const auto& header = Current<TEnhMetaHeaderObj>();
  const QRect frame = header.Frame();
  // The frame is stored in hundredths of a millimetre: a whole number of
  // pixels comes back a shade off. The player's pixels per millimetre fall
  // back to 96 per inch when the header's are unusable.
  auto pixels = [](double mm100, double per_mm) {
    const double p = mm100 / 100 * per_mm;
    return std::abs(p - std::round(p)) < 0.05 ? std::round(p) : p;
  };
  const double fw = pixels(double(frame.right()) - frame.left(), PixelsPerMillimetre().x());
  const double fh = pixels(double(frame.bottom()) - frame.top(), PixelsPerMillimetre().y());
  sx_ = (target_.right - target_.left) / fw;
  sy_ = (target_.top - target_.bottom) / fh;
  // An empty or damaged frame has nothing to map: the drawing is left out.
  frame_ok_ = fw > 0 && fh > 0 && std::isfinite(sx_) && std::isfinite(sy_) && sx_ > 0 && sy_ > 0;
  if (!frame_ok_) sx_ = sy_ = 0;
}

void TEMFtoPDFExport::DoEoF() {
  TEMFAbstractExport::DoEoF();
  if (path_.Pending()) {
    path_.Flush();
    Line("n");
  }
  CloseLevels(0);
  Context().SetClipSelected(false);
}

// --- levels and clips -------------------------------------------------------------------------

void TEMFtoPDFExport::DoSaveDC() {
  TEMFAbstractExport::DoSaveDC();
  Line("q");
  levels_.push_back(1);
}

void TEMFtoPDFExport::DoRestoreDC() {
  const int before = SavedContextCount();
  TEMFAbstractExport::DoRestoreDC();
  // Only the levels the player actually restored are closed: a restore
  // of more levels than were saved (or a positive one) must not pop the
  // page's own state.
  const int restored = before - SavedContextCount();
  if (restored > 0) CloseLevels(levels_.size() - static_cast<size_t>(restored));
}

void TEMFtoPDFExport::SelectClip() {
  TPDFDeviceContext& dc = Context();
  if (dc.ClipSelected()) {
    Line("Q");
  } else {
    dc.SetClipSelected(true);
    ++levels_.back();
  }
  Line("q");
  const std::optional<QRegion> clip = dc.EffectiveClip();
  if (!clip || !Drawing()) return;
  // Region rectangles are device pixels relative to the frame: no world
  // transform applies to them.
  QByteArray rects;
  for (const QRect& r : *clip) {
    const QPointF a = ToPage(QPointF(r.left(), r.top()));
    const QPointF b = ToPage(QPointF(double(r.left()) + r.width(), double(r.top()) + r.height()));
    rects += EmfPdfNumber(std::min(a.x(), b.x())) + ' ' + EmfPdfNumber(std::min(a.y(), b.y())) +
             ' ' + EmfPdfNumber(std::abs(b.x() - a.x())) + ' ' +
             EmfPdfNumber(std::abs(b.y() - a.y())) + " re" + kEol;
  }
  // An empty region clips everything away.
  if (rects.isEmpty()) rects = QByteArray("0 0 0 0 re") + kEol;
  out_ += rects;
  Line(dc.Data().poly_fill_mode == 1 ? "W*" : "W");
  Line("n");
}

void TEMFtoPDFExport::DoExtSelectClipRgn() {
  TEMFAbstractExport::DoExtSelectClipRgn();
  SelectClip();
}

// The other records that change the clip region write it the same way,
// so that what the player keeps is what the page clips to.
void TEMFtoPDFExport::DoIntersectClipRect() {
  TEMFAbstractExport::DoIntersectClipRect();
  SelectClip();
}

void TEMFtoPDFExport::DoExcludeClipRect() {
  TEMFAbstractExport::DoExcludeClipRect();
  SelectClip();
}

void TEMFtoPDFExport::DoOffsetClipRgn() {
  TEMFAbstractExport::DoOffsetClipRgn();
  SelectClip();
}

void TEMFtoPDFExport::DoSetMetaRgn() {
  TEMFAbstractExport::DoSetMetaRgn();
  SelectClip();
}

void TEMFtoPDFExport::DoSelectClipPath() {
  TEMFAbstractExport::DoSelectClipPath();
  if (!path_.Pending()) return;
  path_.Flush();
  Line(DeviceContext().Data().poly_fill_mode == 1 ? "W*" : "W");
  Line("n");
}

// --- coordinates ---------------------------------------------------------------------------------

QPointF TEMFtoPDFExport::ToPage(QPointF device) const {
  return QPointF(device.x() * sx_ + target_.left, target_.top - device.y() * sy_);
}

QPointF TEMFtoPDFExport::PagePoint(QPoint logical) const {
  return ToPage(MapPoint(logical.x(), logical.y()));
}

QByteArray TEMFtoPDFExport::PointText(QPointF page) const {
  return EmfPdfNumber(page.x()) + ' ' + EmfPdfNumber(page.y());
}

double TEMFtoPDFExport::PageLength(double logical) const {
  return MapLength(logical) * (sx_ + sy_) / 2;
}

PdfRect TEMFtoPDFExport::PageRect(const QRect& logical) const {
  const QPointF a = PagePoint(QPoint(logical.left(), logical.top()));
  const QPointF b = PagePoint(QPoint(logical.right(), logical.bottom()));
  return {std::min(a.x(), b.x()), std::max(a.y(), b.y()), std::max(a.x(), b.x()),
          std::min(a.y(), b.y())};
}

bool TEMFtoPDFExport::AxisAligned() const {
  const QTransform t = LogicalToDevice();
  return std::abs(t.m12()) < 1e-12 && std::abs(t.m21()) < 1e-12;
}

QByteArray TEMFtoPDFExport::BrushFill() {
  const TEnhMetaObj* brush = DeviceContext().Data().brush;
  if (!brush ||
      (brush->Type() != kEmrCreateMonoBrush && brush->Type() != kEmrCreateDIBPatternBrushPt)) {
    return ColorText(DeviceContext().BrushColor());
  }
  // A pattern brush fills in its pattern's average colour, as the
  // screen's replay fills it.
  auto [it, fresh] = pattern_colors_.try_emplace(brush, QByteArray("0 0 0"));
  if (fresh) {
    const QImage image = static_cast<const TEMRBitmap&>(*brush).Image();
    if (!image.isNull()) {
      const QRgb p =
          image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
      it->second = EmfPdfNumber(qRed(p) / 255.0) + ' ' + EmfPdfNumber(qGreen(p) / 255.0) + ' ' +
                   EmfPdfNumber(qBlue(p) / 255.0);
    }
  }
  return it->second;
}

QByteArray TEMFtoPDFExport::ColorText(quint32 color_ref) const {
  if (color_ref == static_cast<quint32>(clNone)) return "0 0 0";
  const quint32 rgb = ResolveColorRef(color_ref, DeviceContext().Data().eof_palette);
  return EmfPdfNumber((rgb & 0xFF) / 255.0) + ' ' + EmfPdfNumber(((rgb >> 8) & 0xFF) / 255.0) +
         ' ' + EmfPdfNumber(((rgb >> 16) & 0xFF) / 255.0);
}

// --- paths
// -----------------------------------------------------------------------------------------

void TEMFtoPDFExport::Move(QPointF page) { path_.MoveTo(page); }

void TEMFtoPDFExport::LineToPage(QPointF page) { path_.LineTo(page); }

void TEMFtoPDFExport::EnsureCurrentPoint() {
  if (!path_.HasCurrentPoint()) Move(PagePoint(DeviceContext().Data().previous_position));
}

void TEMFtoPDFExport::StartFigure() {
  if (!InPath() && path_.Pending() && !path_.HasSegments()) path_.Discard();
}

void TEMFtoPDFExport::BeginRecord() {
  if (InPath()) return;
  Line("q");
  ++wrapper_depth_;
}

void TEMFtoPDFExport::EndRecord(int set, bool moves_current_position) {
  if (InPath()) return;
  Paint(Reduced(set), set & kFill ? Painter::kShape : Painter::kLine);
  Line("Q");
  --wrapper_depth_;
  // The next "To" record goes on from here.
  if (moves_current_position) Move(PagePoint(DeviceContext().Data().current_position));
}

int TEMFtoPDFExport::Reduced(int set) const {
  const TDeviceContext& dc = DeviceContext();
  const quint32 brush = dc.BrushStyle();
  if (shape_ || dc.BrushIsNull() || brush == 7 || brush == 8 || brush == 9) set &= ~kFill;
  bool no_pen = dc.PenType() == kPsNull;
  // An extended pen with a null brush draws nothing either.
  if (const TEnhMetaObj* pen = dc.Data().pen; pen && pen->Type() == kEmrExtCreatePen) {
    no_pen = no_pen || static_cast<const TEMRExtCreatePenObj&>(*pen).BrushStyle() == kBsNull;
  }
  if (no_pen) set &= ~kStroke;
  return set;
}

TEMFtoPDFExport::StrokePlan TEMFtoPDFExport::PlanStroke() const {
  const TDeviceContext& dc = DeviceContext();
  const TEnhMetaObj* pen = dc.Data().pen;
  const QTransform t = LogicalToDevice();
  double scale = (std::hypot(t.m11(), t.m12()) + std::hypot(t.m21(), t.m22())) / 2;
  if (!std::isfinite(scale)) scale = 1;
  const bool ext = pen && pen->Type() == kEmrExtCreatePen;
  const quint32 style = dc.PenStyleWord();
  const bool geometric = ext && (style & kPsTypeMask) == kPsGeometric;
  // Widths of 0 and 1 are one pixel at any scale; wider ones scale to
  // whole pixels; a cosmetic extended pen is one pixel.
  auto scaled = [&](double width) {
    if (width <= 1) return 1.0;
    return std::clamp(std::round(width * scale), 1.0, double(1 << 20));
  };
  StrokePlan plan;
  plan.width = ext && !geometric ? 1 : scaled(static_cast<double>(dc.PenWidth()));
  plan.pixel = !geometric && plan.width <= 1;
  quint32 type = style & kPsStyleMask;
  if (!geometric && (type == kPsAlternate || type == kPsUserStyle)) type = kPsDot;
  if (plan.pixel) {
    // The platform's cosmetic patterns, in pixels; one-pixel lines have
    // square ends and corners.
    switch (type) {
      case kPsDash:
        plan.dashes = {18, 6};
        break;
      case kPsDot:
        plan.dashes = {3, 3};
        break;
      case kPsDashDot:
        plan.dashes = {9, 6, 3, 6};
        break;
      case kPsDashDotDot:
        plan.dashes = {9, 3, 3, 3, 3, 3};
        break;
      default:
        break;
    }
    plan.cap = 0;
    plan.join = 0;
    return plan;
  }
  if (!geometric) {
    // Wider cosmetic pens: solid with round ends.
    plan.cap = 1;
    plan.join = 1;
    return plan;
  }
  const quint32 cap = style & kPsEndcapMask;
  plan.cap = cap == kPsEndcapFlat ? 0 : cap == kPsEndcapSquare ? 2 : 1;
  const quint32 join = style & kPsJoinMask;
  plan.join = join == kPsJoinBevel ? 2 : join == kPsJoinMiter ? 0 : 1;
  if (type == kPsUserStyle) {
    // The pen's own dashes and gaps, in logical units.
    double sum = 0;
    for (const quint32 entry : static_cast<const TEMRExtCreatePenObj&>(*pen).StyleEntries()) {
      if (plan.dashes.size() >= 16) break;
      const double length = std::min<quint32>(entry, 1u << 20);
      plan.dashes.push_back(length <= 1 ? length : scaled(length));
      sum += plan.dashes.back();
    }
    // Nothing but zeros would be no pattern at all.
    if (!(sum > 0)) plan.dashes.clear();
    return plan;
  }
  // The platform's geometric patterns, in pen widths; caps reach half a
  // width past each end of a dash, so dashes are a width shorter and gaps
  // a width longer to keep the period.
  std::vector<double> units;
  switch (type) {
    case kPsDash:
      units = {3, 1};
      break;
    case kPsDot:
      units = {1, 1};
      break;
    case kPsDashDot:
      units = {3, 1, 1, 1};
      break;
    case kPsDashDotDot:
      units = {3, 1, 1, 1, 1, 1};
      break;
    default:
      break;
  }
  for (size_t i = 0; i < units.size(); ++i) {
    double length = units[i] * plan.width;
    if (plan.cap != 0) length += i % 2 == 0 ? -plan.width : plan.width;
    plan.dashes.push_back(length);
  }
  return plan;
}

std::optional<QByteArray> TEMFtoPDFExport::PixelDashes(const std::vector<double>& dashes) const {
  if (!(sx_ > 0) || !(sy_ > 0)) return std::nullopt;
  std::vector<bool> marks;
  for (size_t i = 0; i < dashes.size(); ++i)
    marks.insert(marks.end(), static_cast<size_t>(std::max(dashes[i], 0.0)), i % 2 == 0);
  if (marks.empty()) return std::nullopt;
  // Only pixels within the frame (and one around it) can show; the budget
  // bounds the walk and the output a damaged file could ask for.
  const double fw = (target_.right - target_.left) / sx_;
  const double fh = (target_.top - target_.bottom) / sy_;
  const QRectF window(-1, -1, fw + 2, fh + 2);
  qint64 budget = 1 << 22;
  QByteArray out;
  auto device = [&](QPointF page) {
    return QPointF((page.x() - target_.left) / sx_, (target_.top - page.y()) / sy_);
  };
  auto page = [&](QPointF d) { return ToPage(d + QPointF(0.5, 0.5)); };
  for (const TPDFPath::Figure& figure : path_.Figures()) {
    std::vector<QPoint> points;
    for (const QPointF& p : figure.points) {
      const QPointF d = device(p);
      points.push_back(QPoint(ovx::internal::Px(d.x()), ovx::internal::Px(d.y())));
    }
    if (points.size() < 2) continue;
    qint64 phase = 0;
    const size_t segments = figure.closed ? points.size() : points.size() - 1;
    for (size_t s = 0; s < segments; ++s) {
      const QPointF a = points[s], b = points[(s + 1) % points.size()];
      const qint64 n = qint64(std::max(std::abs(b.x() - a.x()), std::abs(b.y() - a.y())));
      if (n == 0) continue;
      // The steps whose pixel lies in the window.
      double t0 = 0, t1 = 1;
      const double d[2] = {b.x() - a.x(), b.y() - a.y()};
      const double from[2] = {a.x(), a.y()};
      const double lo[2] = {window.left(), window.top()};
      const double hi[2] = {window.right(), window.bottom()};
      for (int axis = 0; axis < 2; ++axis) {
        if (d[axis] == 0) {
          if (from[axis] < lo[axis] || from[axis] > hi[axis]) t0 = 1, t1 = 0;
          continue;
        }
        double u = (lo[axis] - from[axis]) / d[axis], v = (hi[axis] - from[axis]) / d[axis];
        if (u > v) std::swap(u, v);
        t0 = std::max(t0, u);
        t1 = std::min(t1, v);
      }
      if (t0 <= t1) {
        const qint64 first = std::max<qint64>(0, qint64(std::floor(t0 * double(n))));
        const qint64 last = std::min<qint64>(n - 1, qint64(std::ceil(t1 * double(n))));
        budget -= last - first + 1;
        if (budget < 0) return std::nullopt;
        auto at = [&](double step) { return a + (b - a) * (step / double(n)); };
        for (qint64 i = first; i <= last;) {
          const bool on = marks[size_t((phase + i) % qint64(marks.size()))];
          qint64 end = i;
          while (end + 1 <= last && marks[size_t((phase + end + 1) % qint64(marks.size()))] == on)
            ++end;
          if (on) {
            // A quarter step beyond either centre: a dash of one pixel
            // still has a length to draw.
            out += PointText(page(at(double(i) - 0.25))) + " m" + kEol;
            out += PointText(page(at(double(end) + 0.25))) + " l" + kEol;
            if (--budget < 0) return std::nullopt;
          }
          i = end + 1;
        }
      }
      phase = (phase + n) % qint64(marks.size());
    }
  }
  return out;
}

void TEMFtoPDFExport::WriteStrokeState(const StrokePlan& plan, double phase) {
  const TDeviceContext& dc = DeviceContext();
  const double unit = (sx_ + sy_) / 2;
  QByteArray dash;
  for (size_t i = 0; i < plan.dashes.size(); ++i)
    dash += (i ? " " : "") + EmfPdfNumber(plan.dashes[i] * unit);
  Line('[' + dash + "] " + (dash.isEmpty() ? QByteArray("0") : EmfPdfNumber(phase * unit)) + " d");
  Line(ColorText(dc.PenColor()) + " RG");
  Line(plan.pixel ? QByteArray("0 w") : EmfPdfNumber(plan.width * unit) + " w");
  const double miter = dc.MiterLimit();
  Line(EmfPdfNumber(std::isfinite(miter) ? std::max(miter, 1.0) : 10.0) + " M");
  Line(barcode_ ? "2 J" : QByteArray::number(plan.cap) + " J");
  Line(barcode_ ? "0 j" : QByteArray::number(plan.join) + " j");
}

namespace {

// Pattern brushes up to this many pixels are drawn pixel for pixel; a
// larger bitmap (which a hostile file can make as large as it likes)
// fills in its average colour, as the screen's replay fills it.
constexpr qint64 kMaxPatternPixels = 128 * 128;

// How far short of a pattern pixel's right and bottom edges its square
// ends, in pixels: a sixtieth or so, far below what any reader shows.
constexpr double kPixelInset = 0.016;

// The platform's 8 x 8 hatch cells (HS_HORIZONTAL ... HS_DIAGCROSS), y down.
bool HatchPixel(quint32 hatch, int x, int y) {
  switch (hatch) {
    case 0:
      return y == 3;
    case 1:
      return x == 4;
    case 2:
      return x == y;
    case 3:
      return x == 7 - y;
    case 4:
      return y == 3 || x == 4;
    case 5:
      return x == y || x == 7 - y;
    default:
      return false;
  }
}

// A cell of pixels as filled rectangles in pattern space (a unit a pixel,
// y down): per colour, the runs of each row; pixels `at` gives no colour
// stay clear.
QByteArray CellOfPixels(int width, int height,
                        const std::function<std::optional<QRgb>(int, int)>& at) {
  std::map<QRgb, QByteArray> runs;  // ordered: equal cells give equal bytes
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width;) {
      const std::optional<QRgb> c = at(x, y);
      int end = x + 1;
      while (end < width && at(end, y) == c) ++end;
      if (c) {
        // A shade short of the pixel's far edges: readers that smooth
        // edges ink a sliver of the next pixel when a cell's edge lies on
        // a device pixel's edge (poppler does, inside patterns only).
        runs[*c] += QByteArray::number(x) + ' ' + QByteArray::number(y) + ' ' +
                    EmfPdfNumber(end - x - kPixelInset) + ' ' + EmfPdfNumber(1 - kPixelInset) +
                    " re" + kEol;
      }
      x = end;
    }
  }
  QByteArray cell;
  for (const auto& [rgb, rects] : runs) {
    cell += EmfPdfNumber(qRed(rgb) / 255.0) + ' ' + EmfPdfNumber(qGreen(rgb) / 255.0) + ' ' +
            EmfPdfNumber(qBlue(rgb) / 255.0) + " rg" + kEol;
    cell += rects;
    cell += QByteArray("f") + kEol;
  }
  return cell;
}

}  // namespace

std::optional<QByteArray> TEMFtoPDFExport::BrushPattern() {
  const TDeviceContext& dc = DeviceContext();
  const TEnhMetaObj* brush = dc.Data().brush;
  if (!brush || !Drawing()) return std::nullopt;
  const Cell* cell = nullptr;
  Cell hatch;
  if (brush->Type() == kEmrCreateBrushIndirect) {
    if (dc.BrushStyle() != kBsHatched || brush->U32(20) > 5) return std::nullopt;
    const quint32 style = brush->U32(20);
    const quint32 rgb = ResolveColorRef(dc.BrushColor(), dc.Data().eof_palette);
    const QRgb color = qRgb(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    hatch.size = QSize(8, 8);
    hatch.content = CellOfPixels(8, 8, [&](int x, int y) -> std::optional<QRgb> {
      if (HatchPixel(style, x, y)) return color;
      return std::nullopt;
    });
    cell = &hatch;
  } else if (brush->Type() == kEmrCreateMonoBrush || brush->Type() == kEmrCreateDIBPatternBrushPt) {
    auto [it, fresh] = pattern_cells_.try_emplace(brush);
    if (fresh) {
      const auto& bitmap = static_cast<const TEMRBitmap&>(*brush);
      const QSize size = bitmap.BitmapSize();
      // The size is checked before anything is decoded.
      if (size.width() != 0 && size.height() != 0 &&
          qint64(std::abs(qint64(size.width()))) * std::abs(qint64(size.height())) <=
              kMaxPatternPixels) {
        const QImage image = bitmap.Image().convertToFormat(QImage::Format_RGB32);
        if (!image.isNull() && qint64(image.width()) * image.height() <= kMaxPatternPixels) {
          Cell made;
          made.size = image.size();
          made.content = CellOfPixels(
              image.width(), image.height(),
              [&](int x, int y) -> std::optional<QRgb> { return image.pixel(x, y) | 0xFF000000u; });
          it->second = std::move(made);
        }
      }
    }
    if (!it->second) return std::nullopt;
    cell = &*it->second;
  } else {
    return std::nullopt;
  }
  // The brush origin is a device point; its cells start there. Only its
  // place within a cell matters, which keeps the numbers small whatever
  // the record says.
  const double w = cell->size.width(), h = cell->size.height();
  const QPointF origin = QPointF(dc.Data().brush_origin) - dc.Data().frame_origin;
  auto wrap = [](double v, double period) {
    const double r = std::fmod(v, period);
    return std::isfinite(r) ? (r < 0 ? r + period : r) : 0.0;
  };
  const QPointF at = ToPage(QPointF(wrap(origin.x(), w), wrap(origin.y(), h)));
  ovx::PdfTilingPattern pattern;
  pattern.cell = cell->content;
  pattern.bbox = {0, 0, w, h};
  pattern.x_step = w;
  pattern.y_step = h;
  // Pattern space is the device's pixels (y down) on the page.
  pattern.matrix = {sx_, 0, 0, -sy_, at.x(), at.y()};
  return document_.UsePattern(pattern);
}

void TEMFtoPDFExport::FillWithBrush(const QByteArray& path, const QByteArray& fill_op) {
  const TDeviceContextData& d = DeviceContext().Data();
  if (const std::optional<QByteArray> pattern = BrushPattern()) {
    // A hatch in opaque mode fills the gaps between its lines with the
    // background colour, as the platform fills them.
    if (DeviceContext().BrushStyle() == kBsHatched && d.bk_mode == kOpaque) {
      Line(ColorText(d.bk_color) + " rg");
      out_ += path;
      Line(fill_op);
    }
    Line("/Pattern cs");
    Line(*pattern + " scn");
  } else {
    Line(BrushFill() + " rg");
  }
  out_ += path;
  Line(fill_op);
}

void TEMFtoPDFExport::Paint(int set, Painter painter, bool text_background) {
  const TDeviceContextData& d = DeviceContext().Data();
  const QByteArray fill_op = d.poly_fill_mode == 1 ? "f*" : "f";
  if (set != kEnd && set != kStroke && set != kFill && set != kFillStroke)
    throw ovx::Error(QString(), QStringLiteral("Invalid Patch Painting"));
  if (set == kEnd) {
    path_.Flush();
    Line("n");
    return;
  }
  const QByteArray path = path_.Buffer();
  if (set & kFill) {
    if (text_background) {
      Line(ColorText(d.bk_color) + " rg");
      out_ += path;
      Line(fill_op);
    } else {
      FillWithBrush(path, fill_op);
    }
  }
  if (set & kStroke) {
    const StrokePlan plan = PlanStroke();
    // The screen inks a line of odd width over the pixels right of and
    // below its points (a pixel's centre is half a pixel in): the stroke
    // lies half a device pixel off the fill it outlines.
    TPDFPath::Placement placement;
    if (static_cast<qint64>(plan.width) % 2 == 1) placement.shift = QPointF(sx_ / 2, -sy_ / 2);
    placement.pixel_ends = plan.pixel && !barcode_;
    placement.px = sx_;
    placement.py = sy_;
    placement.walk_rects = !plan.dashes.empty();
    const QByteArray stroke = path_.Text(placement);
    std::optional<QByteArray> dashes;
    if (plan.pixel && !plan.dashes.empty()) dashes = PixelDashes(plan.dashes);
    if (dashes) {
      StrokePlan solid = plan;
      solid.dashes.clear();
      WriteStrokeState(solid, 0);
    } else {
      // A closed figure's first dash covers the pixel its walk starts on:
      // half a pixel before the (shifted) first point.
      WriteStrokeState(plan, plan.pixel && path_.HasClosedFigure() ? 0.5 : 0);
    }
    // The gaps of a one-pixel styled line: the background on lines in
    // opaque mode, a solid brush on shapes, nothing on paths.
    std::optional<QByteArray> gaps;
    if (plan.pixel && !plan.dashes.empty()) {
      if (painter == Painter::kLine && d.bk_mode == kOpaque) {
        gaps = ColorText(d.bk_color);
      } else if (painter == Painter::kShape && d.brush && !DeviceContext().BrushIsNull() &&
                 DeviceContext().BrushStyle() == kBsSolid) {
        gaps = BrushFill();
      }
    }
    if (gaps) {
      Line("q");
      Line("[] 0 d");
      Line(*gaps + " RG");
      out_ += stroke;
      Line("S");
      Line("Q");
    }
    // Dashes all out of sight leave nothing to stroke.
    if (!dashes || !dashes->isEmpty()) {
      out_ += dashes ? *dashes : stroke;
      Line("S");
    }
  }
  path_.Discard();
}

void TEMFtoPDFExport::AddPoints(const std::vector<QPoint>& points, bool closed) {
  if (points.empty()) return;
  Move(PagePoint(points.front()));
  for (size_t i = 1; i < points.size(); ++i) LineToPage(PagePoint(points[i]));
  if (closed) path_.Close();
}

void TEMFtoPDFExport::AddBeziers(const std::vector<QPoint>& points) {
  size_t i = 0;
  while (points.size() - i > 1) {
    const size_t left = points.size() - i;
    if (left == 2 || left == 4) {
      path_.CurveV(PagePoint(points[i]), PagePoint(points[i + 1]));
      i += 2;
    } else {
      path_.CurveTo(PagePoint(points[i]), PagePoint(points[i + 1]), PagePoint(points[i + 2]));
      i += 3;
    }
  }
}

void TEMFtoPDFExport::DrawPoly(const std::vector<QPoint>& points, bool closed, bool to) {
  if (!Drawing()) return;
  if (to) {
    if (points.empty()) return;
    BeginRecord();
    EnsureCurrentPoint();
    for (const QPoint& p : points) LineToPage(PagePoint(p));
    EndRecord(kStroke, true);
    return;
  }
  if (points.size() < 2) return;
  StartFigure();
  BeginRecord();
  AddPoints(points, closed);
  EndRecord(closed ? kFillStroke : kStroke);
}

void TEMFtoPDFExport::DrawPolyBezier(const std::vector<QPoint>& points, bool to) {
  if (!Drawing() || points.empty()) return;
  if (!to) StartFigure();
  BeginRecord();
  if (to) {
    EnsureCurrentPoint();
    AddBeziers(points);
  } else {
    Move(PagePoint(points.front()));
    AddBeziers(std::vector<QPoint>(points.begin() + 1, points.end()));
  }
  EndRecord(kStroke, to);
}

void TEMFtoPDFExport::DrawPolyPolygon(const std::vector<std::vector<QPoint>>& polygons,
                                      bool closed) {
  if (!Drawing() || polygons.empty()) return;
  StartFigure();
  BeginRecord();
  for (const auto& polygon : polygons) AddPoints(polygon, closed);
  EndRecord(closed ? kFillStroke : kStroke);
}

void TEMFtoPDFExport::DoMoveToEx() {
  TEMFAbstractExport::DoMoveToEx();
  if (!Drawing()) return;
  StartFigure();
  Move(PagePoint(DeviceContext().Data().current_position));
}

void TEMFtoPDFExport::DoLineTo() {
  TEMFAbstractExport::DoLineTo();
  if (!Drawing()) return;
  BeginRecord();
  EnsureCurrentPoint();
  LineToPage(PagePoint(DeviceContext().Data().current_position));
  EndRecord(kStroke, true);
}

void TEMFtoPDFExport::DoCloseFigure() {
  TEMFAbstractExport::DoCloseFigure();
  if (Drawing() && path_.HasCurrentPoint()) path_.Close();
}

void TEMFtoPDFExport::DoBeginPath() {
  TEMFAbstractExport::DoBeginPath();
  // A new path replaces whatever was being built.
  path_.Discard();
}

void TEMFtoPDFExport::DoAbortPath() {
  TEMFAbstractExport::DoAbortPath();
  path_.Discard();
}

void TEMFtoPDFExport::DoFillPath() {
  TEMFAbstractExport::DoFillPath();
  if (!Drawing() || !path_.Pending()) return;
  Line("q");
  Paint(Reduced(kFill), Painter::kPath);
  Line("Q");
}

void TEMFtoPDFExport::DoStrokePath() {
  TEMFAbstractExport::DoStrokePath();
  if (!Drawing() || !path_.Pending()) return;
  Line("q");
  Paint(Reduced(kStroke), Painter::kPath);
  Line("Q");
}

void TEMFtoPDFExport::DoStrokeAndFillPath() {
  TEMFAbstractExport::DoStrokeAndFillPath();
  if (!Drawing() || !path_.Pending()) return;
  Line("q");
  Paint(Reduced(kFillStroke), Painter::kPath);
  Line("Q");
}

void TEMFtoPDFExport::DoPolyline() {
  TEMFAbstractExport::DoPolyline();
  DrawPoly(PointsOf(Current<TEMRPolyObj>()), false, false);
}
void TEMFtoPDFExport::DoPolyline16() {
  TEMFAbstractExport::DoPolyline16();
  DrawPoly(PointsOf(Current<TEMRPoly16Obj>()), false, false);
}
void TEMFtoPDFExport::DoPolylineTo() {
  TEMFAbstractExport::DoPolylineTo();
  DrawPoly(PointsOf(Current<TEMRPolyObj>()), false, true);
}
void TEMFtoPDFExport::DoPolylineTo16() {
  TEMFAbstractExport::DoPolylineTo16();
  DrawPoly(PointsOf(Current<TEMRPoly16Obj>()), false, true);
}
void TEMFtoPDFExport::DoPolygon() {
  TEMFAbstractExport::DoPolygon();
  DrawPoly(PointsOf(Current<TEMRPolyObj>()), true, false);
}
void TEMFtoPDFExport::DoPolygon16() {
  TEMFAbstractExport::DoPolygon16();
  DrawPoly(PointsOf(Current<TEMRPoly16Obj>()), true, false);
}
void TEMFtoPDFExport::DoPolyPolyline() {
  TEMFAbstractExport::DoPolyPolyline();
  DrawPolyPolygon(Current<TEMRPolyPolylineObj>().Polygons(), false);
}
void TEMFtoPDFExport::DoPolyPolyline16() {
  TEMFAbstractExport::DoPolyPolyline16();
  DrawPolyPolygon(Current<TEMRPolyPolyline16Obj>().Polygons(), false);
}
void TEMFtoPDFExport::DoPolyPolygon() {
  TEMFAbstractExport::DoPolyPolygon();
  DrawPolyPolygon(Current<TEMRPolyPolygonObj>().Polygons(), true);
}
void TEMFtoPDFExport::DoPolyPolygon16() {
  TEMFAbstractExport::DoPolyPolygon16();
  DrawPolyPolygon(Current<TEMRPolyPolygon16Obj>().Polygons(), true);
}
void TEMFtoPDFExport::DoPolyBezier() {
  TEMFAbstractExport::DoPolyBezier();
  DrawPolyBezier(PointsOf(Current<TEMRPolyObj>()), false);
}
void TEMFtoPDFExport::DoPolyBezier16() {
  TEMFAbstractExport::DoPolyBezier16();
  DrawPolyBezier(PointsOf(Current<TEMRPoly16Obj>()), false);
}
void TEMFtoPDFExport::DoPolyBezierTo() {
  TEMFAbstractExport::DoPolyBezierTo();
  DrawPolyBezier(PointsOf(Current<TEMRPolyObj>()), true);
}
void TEMFtoPDFExport::DoPolyBezierTo16() {
  TEMFAbstractExport::DoPolyBezierTo16();
  DrawPolyBezier(PointsOf(Current<TEMRPoly16Obj>()), true);
}

// --- shapes
// ----------------------------------------------------------------------------------------

void TEMFtoPDFExport::AddRoundRect(const PdfRect& r, double rx, double ry,
                                   const std::function<QPointF(QPointF)>& map) {
  const double l = r.left, b = r.bottom, rt = r.right, t = r.top;
  rx = std::clamp(rx, 0.0, (rt - l) / 2);
  ry = std::clamp(ry, 0.0, (t - b) / 2);
  auto P = [&](double x, double y) { return map ? map(QPointF(x, y)) : QPointF(x, y); };
  // From the right end of the top right corner, counter-clockwise, as the
  // screen walks the outline (a dash pattern starts there).
  path_.MoveTo(P(rt, t - ry));
  path_.CurveTo(P(rt, t - ry / 2), P(rt - rx / 2, t), P(rt - rx, t));
  path_.LineTo(P(l + rx, t));
  path_.CurveTo(P(l + rx / 2, t), P(l, t - ry / 2), P(l, t - ry));
  path_.LineTo(P(l, b + ry));
  path_.CurveTo(P(l, b + ry / 2), P(l + rx / 2, b), P(l + rx, b));
  path_.LineTo(P(rt - rx, b));
  path_.CurveTo(P(rt - rx / 2, b), P(rt, b + ry / 2), P(rt, b + ry));
  path_.LineTo(P(rt, t - ry));
}

void TEMFtoPDFExport::AddRectangle(const QRect& box) {
  if (AxisAligned()) {
    const PdfRect r = OutlineRect(box);
    path_.Rect(r.left, r.bottom, r.right - r.left, r.top - r.bottom);
    return;
  }
  // Turned by the world transform: the four corners.
  AddPoints({box.topLeft(), QPoint(box.right(), box.top()), QPoint(box.right(), box.bottom()),
             QPoint(box.left(), box.bottom())},
            true);
}

PdfRect TEMFtoPDFExport::OutlineRect(const QRect& box) const {
  // The screen's rectangles and ellipses exclude their right and bottom
  // edges: the outline runs through the last pixels inside (and a shape
  // without a pen fills one pixel less), as the platform draws them.
  PdfRect r = PageRect(box);
  if (r.right - r.left > sx_)
    r.right -= sx_;
  else
    r.right = r.left;
  if (r.top - r.bottom > sy_)
    r.bottom += sy_;
  else
    r.bottom = r.top;
  return r;
}

void TEMFtoPDFExport::DrawBox(quint32 type) {
  if (!Drawing()) return;
  const auto& r = Current<TEnhMetaObj>();
  // The record's box as stored: right and bottom are coordinates, not
  // sizes (QRect's own right() is one less).
  const QRect box(QPoint(r.I32(8), r.I32(12)), QPoint(r.I32(16), r.I32(20)));
  StartFigure();
  BeginRecord();
  if (type == kEmrRectangle) {
    AddRectangle(box);
  } else if (!AxisAligned()) {
    // Turned by the world transform: the outline is built in logical
    // units and each point mapped (an affine map keeps Bezier curves), so
    // the ellipse turns with the transform instead of standing upright in
    // the box of its mapped corners.
    const QRectF logical =
        QRectF(QPointF(box.left(), box.top()), QPointF(box.right(), box.bottom())).normalized();
    double rx = logical.width() / 2, ry = logical.height() / 2;
    if (type == kEmrRoundRect) {
      rx = std::abs(double(r.I32(24))) / 2;
      ry = std::abs(double(r.I32(28))) / 2;
    }
    // The same outline as upright, in a frame with y up (y negated).
    const PdfRect flipped{logical.left(), -logical.top(), logical.right(), -logical.bottom()};
    const size_t first = path_.OpCount();
    AddRoundRect(flipped, rx, ry, [this](QPointF p) { return ToPage(MapPointF(p.x(), -p.y())); });
    // The screen walks a turned ellipse from the end of its horizontal
    // axis, in its own pieces: so are its dashes counted.
    const QPointF right(box.right(), (double(box.top()) + box.bottom()) / 2);
    if (const std::optional<EllipseArc> whole = ArcInBox(box, right, right, true);
        whole && type == kEmrEllipse) {
      std::vector<QPointF> flat;
      for (const QPointF& p : ArcPolyline(*whole)) flat.push_back(ToPage(MapPointF(p.x(), p.y())));
      path_.SetFlat(first, std::move(flat));
    }
    path_.Close();
  } else {
    const PdfRect page = OutlineRect(box);
    double rx = (page.right - page.left) / 2, ry = (page.top - page.bottom) / 2;
    if (type == kEmrRoundRect) {
      rx = MapLengthX(std::abs(double(r.I32(24)))) * sx_ / 2;
      ry = MapLengthY(std::abs(double(r.I32(28)))) * sy_ / 2;
    }
    AddRoundRect(page, rx, ry);
    path_.Close();
  }
  EndRecord(kFillStroke);
}

void TEMFtoPDFExport::DoRectangle() {
  TEMFAbstractExport::DoRectangle();
  DrawBox(kEmrRectangle);
}

void TEMFtoPDFExport::DoRoundRect() {
  TEMFAbstractExport::DoRoundRect();
  DrawBox(kEmrRoundRect);
}

void TEMFtoPDFExport::DoEllipse() {
  TEMFAbstractExport::DoEllipse();
  DrawBox(kEmrEllipse);
}

namespace {

// A logical position from a point an arc computed: the nearest unit,
// halves up, as the screen's replay rounds it.
QPoint LogicalPosition(QPointF p) {
  auto unit = [](double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(std::clamp(std::floor(v + 0.5), -2e9, 2e9));
  };
  return QPoint(unit(p.x()), unit(p.y()));
}

}  // namespace

void TEMFtoPDFExport::AddArc(const EllipseArc& arc, bool connect) {
  // Computed in logical units and each point mapped, so that a world
  // transform bends the arc as it bends everything else.
  auto page = [&](QPointF logical) { return ToPage(MapPointF(logical.x(), logical.y())); };
  if (connect) {
    EnsureCurrentPoint();
    LineToPage(page(arc.Start()));
  } else {
    Move(page(arc.Start()));
  }
  // At most a sixth of a turn per curve: a whole ellipse is six; the
  // shade below keeps rounding in the division from adding a seventh.
  const double turns = std::abs(arc.sweep) / (std::numbers::pi / 3);
  if (!std::isfinite(turns)) return;
  const int n = static_cast<int>(std::clamp(std::ceil(turns - 1e-9), 0.0, 6.0));
  if (n == 0) return;
  const double a = arc.sweep / n;
  const double t = std::tan(a / 2);
  const double k = std::sin(a) * (std::sqrt(4 + 3 * t * t) - 1) / 3;
  const double rx = arc.rx, ry = arc.ry;
  const size_t first = path_.OpCount();
  for (int i = 0; i < n; ++i) {
    const double s = arc.start + a * i;
    const QPointF p0 = arc.PointAt(s), p3 = arc.PointAt(s + a);
    const QPointF p1 = p0 + k * QPointF(-rx * std::sin(s), -ry * std::cos(s));
    const QPointF p2 = p3 + k * QPointF(rx * std::sin(s + a), ry * std::cos(s + a));
    path_.CurveTo(page(p1), page(p2), page(p3));
  }
  std::vector<QPointF> flat;
  for (const QPointF& p : ArcPolyline(arc)) flat.push_back(page(p));
  path_.SetFlat(first, std::move(flat));
}

void TEMFtoPDFExport::DrawArc(quint32 type) {
  const auto& r = Current<TEnhMetaObj>();
  TDeviceContextData& d = DeviceContext().Data();
  // The radials and the direction as the screen takes them; an ellipse
  // without width or height has no arc (and draws nothing, as there).
  const std::optional<EllipseArc> arc =
      ArcInBox(r.Rect(8), QPointF(r.I32(24), r.I32(28)), QPointF(r.I32(32), r.I32(36)),
               d.arc_direction != 2);
  if (!arc) return;
  const bool to = type == kEmrArcTo;
  if (to) d.current_position = LogicalPosition(arc->End());
  if (!Drawing()) return;
  if (!to) StartFigure();
  BeginRecord();
  AddArc(*arc, to);
  if (type == kEmrPie) LineToPage(ToPage(MapPointF(arc->centre.x(), arc->centre.y())));
  const bool closed = type == kEmrChord || type == kEmrPie;
  if (closed) path_.Close();
  EndRecord(closed ? kFillStroke : kStroke, to);
}

void TEMFtoPDFExport::DoArc() {
  TEMFAbstractExport::DoArc();
  DrawArc(kEmrArc);
}

void TEMFtoPDFExport::DoArcTo() {
  TEMFAbstractExport::DoArcTo();
  DrawArc(kEmrArcTo);
}

void TEMFtoPDFExport::DoChord() {
  TEMFAbstractExport::DoChord();
  DrawArc(kEmrChord);
}

void TEMFtoPDFExport::DoPie() {
  TEMFAbstractExport::DoPie();
  DrawArc(kEmrPie);
}

void TEMFtoPDFExport::DoAngleArc() {
  TEMFAbstractExport::DoAngleArc();
  const auto& r = Current<TEnhMetaObj>();
  const double start = r.F32(20);
  double sweep = r.F32(24);
  // The angles are floats from the file: NaN or infinity would make the
  // number of segments undefined, and a huge sweep unbounded.
  if (!std::isfinite(start) || !std::isfinite(sweep)) return;
  sweep = std::clamp(sweep, -360.0, 360.0);
  const double radius = std::min<quint32>(r.U32(16), 1u << 30);
  const EllipseArc arc{QPointF(r.I32(8), r.I32(12)), radius, radius, start * kDegrees,
                       sweep * kDegrees};
  // As on the screen: a line from the current position to the arc's
  // start, and the current position ends at its end.
  DeviceContext().Data().current_position = LogicalPosition(arc.End());
  if (!Drawing()) return;
  BeginRecord();
  AddArc(arc, true);
  EndRecord(kStroke, true);
}

// --- pixels, regions and gradients
// ------------------------------------------------------------------------

void TEMFtoPDFExport::DoSetPixelV() {
  TEMFAbstractExport::DoSetPixelV();
  if (!Drawing() || InPath()) return;
  const auto& r = Current<TEnhMetaObj>();
  // The device pixel the point falls in, as the screen inks it.
  const QPointF device = MapPoint(r.I32(8), r.I32(12));
  if (!std::isfinite(device.x()) || !std::isfinite(device.y())) return;
  const QPointF pixel(std::floor(device.x() + 0.5), std::floor(device.y() + 0.5));
  const QPointF a = ToPage(pixel), b = ToPage(pixel + QPointF(1, 1));
  FillRect({std::min(a.x(), b.x()), std::max(a.y(), b.y()), std::max(a.x(), b.x()),
            std::min(a.y(), b.y())},
           ColorText(r.U32(16)));
}

void TEMFtoPDFExport::FillRegion(const std::vector<QRect>& rects, const TEnhMetaObj* brush) {
  if (!Drawing() || InPath() || rects.empty() || !brush) return;
  TDeviceContextData& d = DeviceContext().Data();
  // The brush fills as the selected one would (hatches and patterns
  // included), and the selection is put back whatever happens.
  const TEnhMetaObj* selected = d.brush;
  d.brush = brush;
  struct Restore {
    TDeviceContextData& d;
    const TEnhMetaObj* brush;
    ~Restore() { d.brush = brush; }
  } restore{d, selected};
  if (DeviceContext().BrushIsNull()) return;
  StartFigure();
  // Region rectangles are device pixels, placed as the clip's: relative
  // to the frame, no world transform.
  const QPointF origin = d.frame_origin;
  for (const QRect& r : rects) {
    const QPointF a = ToPage(QPointF(r.left(), r.top()) - origin);
    const QPointF b =
        ToPage(QPointF(double(r.left()) + r.width(), double(r.top()) + r.height()) - origin);
    path_.Rect(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()),
               std::abs(b.y() - a.y()));
  }
  Line("q");
  ++wrapper_depth_;
  Paint(kFill, Painter::kShape);
  Line("Q");
  --wrapper_depth_;
}

void TEMFtoPDFExport::DoFillRgn() {
  TEMFAbstractExport::DoFillRgn();
  const auto& r = Current<TEnhMetaObj>();
  FillRegion(r.RegionRects(32, r.U32(24)), ObjectAt(r.U32(28)));
}

void TEMFtoPDFExport::DoPaintRgn() {
  TEMFAbstractExport::DoPaintRgn();
  const auto& r = Current<TEnhMetaObj>();
  FillRegion(r.RegionRects(28, r.U32(24)), DeviceContext().Data().brush);
}

void TEMFtoPDFExport::DoFrameRgn() {
  TEMFAbstractExport::DoFrameRgn();
  const auto& r = Current<TEnhMetaObj>();
  const std::vector<QRect> rects = r.RegionRects(40, r.U32(24));
  // The frame is the region's border, szlStroke wide and high inside it:
  // the region less the region shrunk by that much each way. Regions of
  // more rectangles than a page should carry are left out, as are frames
  // wider than any device.
  constexpr size_t kMaxFrameRects = 20000;
  const qint64 w = r.I32(32), h = r.I32(36);
  if (rects.empty() || rects.size() > kMaxFrameRects || w < 1 || h < 1 || w > (1 << 20) ||
      h > (1 << 20)) {
    return;
  }
  const QRegion region = RegionOfRects(rects);
  QRegion inner = region;
  for (const QPoint shift :
       {QPoint(int(w), 0), QPoint(-int(w), 0), QPoint(0, int(h)), QPoint(0, -int(h))}) {
    inner &= Translated(region, shift.x(), shift.y());
  }
  const QRegion frame = region - inner;
  FillRegion(std::vector<QRect>(frame.begin(), frame.end()), ObjectAt(r.U32(28)));
}

void TEMFtoPDFExport::FillPolygon(const std::vector<QPointF>& logical, const QByteArray& color) {
  if (logical.size() < 3) return;
  path_.MoveTo(ToPage(MapPointF(logical[0].x(), logical[0].y())));
  for (size_t i = 1; i < logical.size(); ++i)
    path_.LineTo(ToPage(MapPointF(logical[i].x(), logical[i].y())));
  path_.Close();
  Line(color + " rg");
  path_.Flush();
  Line("f");
}

void TEMFtoPDFExport::DoGradientFill() {
  TEMFAbstractExport::DoGradientFill();
  if (!Drawing() || InPath()) return;
  const auto& r = Current<TEnhMetaObj>();
  const qint64 vertices = r.U32(24), meshes = r.U32(28);
  const quint32 mode = r.U32(32);
  const qint64 mesh_size = mode == 2 ? 12 : 8;
  if (mode > 2 || vertices > (1 << 20) || meshes > (1 << 20) ||
      !r.Fits(36, vertices * 16 + meshes * mesh_size)) {
    return;
  }
  struct Vertex {
    QPointF at;  // logical
    double rgb[3];
  };
  auto vertex = [&](quint32 index) -> std::optional<Vertex> {
    if (index >= vertices) return std::nullopt;
    const qint64 at = 36 + 16 * qint64{index};
    return Vertex{
        QPointF(r.I32(at), r.I32(at + 4)),
        {double(r.U16(at + 8) >> 8), double(r.U16(at + 10) >> 8), double(r.U16(at + 12) >> 8)}};
  };
  auto colour = [](const double rgb[3]) {
    return EmfPdfNumber(std::round(rgb[0]) / 255) + ' ' + EmfPdfNumber(std::round(rgb[1]) / 255) +
           ' ' + EmfPdfNumber(std::round(rgb[2]) / 255);
  };
  // Device pixels between two logical points, for how finely to cut.
  auto pixels = [&](QPointF a, QPointF b) {
    const QPointF d = MapPointF(a.x(), a.y()) - MapPointF(b.x(), b.y());
    const double length = std::hypot(d.x(), d.y());
    return std::isfinite(length) ? length : 0.0;
  };
  StartFigure();
  Line("q");
  ++wrapper_depth_;
  const qint64 mesh_at = 36 + vertices * 16;
  // Fills per record, however many meshes it holds.
  int budget = 1 << 14;
  for (qint64 m = 0; m < meshes && budget > 0; ++m) {
    const qint64 at = mesh_at + m * mesh_size;
    if (mode == 2) {
      // Triangles in flat pieces: each cut into n x n similar triangles
      // filled with the colour at their centre, n from the largest step
      // of colour (at most 8 levels a piece) and never finer than a device
      // pixel; the screen draws each triangle in its average colour.
      const auto a = vertex(r.U32(at)), b = vertex(r.U32(at + 4)), c = vertex(r.U32(at + 8));
      if (!a || !b || !c) continue;
      double step = 0;
      for (int k = 0; k < 3; ++k) {
        step = std::max({step, std::abs(a->rgb[k] - b->rgb[k]), std::abs(b->rgb[k] - c->rgb[k]),
                         std::abs(a->rgb[k] - c->rgb[k])});
      }
      const double size =
          std::max({pixels(a->at, b->at), pixels(b->at, c->at), pixels(a->at, c->at)});
      const int n =
          static_cast<int>(std::clamp(std::min(std::ceil(step / 8), std::ceil(size)), 1.0, 32.0));
      // Barycentric grid: point (i, j) is a + (b - a) i/n + (c - a) j/n.
      auto point = [&](double i, double j) {
        return a->at + (b->at - a->at) * (i / n) + (c->at - a->at) * (j / n);
      };
      auto fill = [&](double i, double j) {
        double rgb[3];
        for (int k = 0; k < 3; ++k) {
          rgb[k] =
              a->rgb[k] + (b->rgb[k] - a->rgb[k]) * (i / n) + (c->rgb[k] - a->rgb[k]) * (j / n);
        }
        return colour(rgb);
      };
      for (int i = 0; i < n && budget > 0; ++i) {
        for (int j = 0; i + j < n && budget > 0; ++j) {
          --budget;
          FillPolygon({point(i, j), point(i + 1, j), point(i, j + 1)},
                      fill(i + 1.0 / 3, j + 1.0 / 3));
          if (i + j + 1 < n) {
            --budget;
            FillPolygon({point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)},
                        fill(i + 2.0 / 3, j + 2.0 / 3));
          }
        }
      }
      continue;
    }
    // Rectangles: strips across the direction of the change, one a device
    // pixel (at most 256), coloured from the first corner's colour to the
    // second's, as the screen's strips. Each strip reaches into the next,
    // so that a reader's smoothing of their edges never lets the page
    // show through between them.
    const auto a = vertex(r.U32(at)), b = vertex(r.U32(at + 4));
    if (!a || !b) continue;
    const bool horizontal = mode == 0;
    const QPointF along =
        horizontal ? QPointF(b->at.x() - a->at.x(), 0) : QPointF(0, b->at.y() - a->at.y());
    const QPointF across =
        horizontal ? QPointF(0, b->at.y() - a->at.y()) : QPointF(b->at.x() - a->at.x(), 0);
    const int strips =
        static_cast<int>(std::clamp(std::round(pixels(a->at, a->at + along)), 1.0, 256.0));
    budget -= strips;
    if (budget < 0) break;
    for (int k = 0; k < strips; ++k) {
      const double t = strips == 1 ? 0 : double(k) / (strips - 1);
      double rgb[3];
      for (int c = 0; c < 3; ++c) rgb[c] = a->rgb[c] + (b->rgb[c] - a->rgb[c]) * t;
      const QPointF from = a->at + along * (double(k) / strips);
      const QPointF to = a->at + along * (double(std::min(k + 2, strips)) / strips);
      FillPolygon({from, to, to + across, from + across}, colour(rgb));
    }
  }
  Line("Q");
  --wrapper_depth_;
}

// --- text
// --------------------------------------------------------------------------------------------

void TEMFtoPDFExport::DoExtTextOutW() {
  TEMFAbstractExport::DoExtTextOutW();
  const auto& r = Current<TEMRExtTextOutWObj>();
  DrawText({r.Reference(), r.Options(), r.ClipRect(), r.Text(), r.Advances()});
}

// The 8-bit and small records go the same way as EMR_EXTTEXTOUTW: one
// text code for fonts, placement, advances and decorations.
void TEMFtoPDFExport::DoExtTextOutA() {
  TEMFAbstractExport::DoExtTextOutA();
  const auto& r = Current<TEMRExtTextOutAObj>();
  std::vector<int> advances = r.Advances();
  const QString text = EightBitText(r.Text(), DeviceContext().FontCharset(), advances);
  DrawText({r.Reference(), r.Options(), r.ClipRect(), text, std::move(advances)});
}

void TEMFtoPDFExport::DoSmallTextOut() {
  TEMFAbstractExport::DoSmallTextOut();
  const auto& r = Current<TEMRSmallTextOutObj>();
  // No advances: the font's own widths place the characters. Without a
  // rectangle there is nothing to make opaque or clip to.
  quint32 options = r.Options() & ~quint32{kEtoSmallChars};
  if (options & kEtoNoRect) options &= ~quint32{kEtoOpaque | kEtoClipped};
  DrawText({r.Reference(), options, r.ClipRect(), r.Text(), {}});
}

void TEMFtoPDFExport::DoPolyTextOutW() {
  TEMFAbstractExport::DoPolyTextOutW();
  const auto& r = Current<TEMRPolyTextOutWObj>();
  for (int i = 0; i < r.StringCount(); ++i)
    DrawText({r.Reference(i), r.Options(i), r.Rect(60 + 40 * i), r.Text(i), r.Advances(i)});
}

void TEMFtoPDFExport::DoPolyTextOutA() {
  TEMFAbstractExport::DoPolyTextOutA();
  const auto& r = Current<TEMRPolyTextOutAObj>();
  for (int i = 0; i < r.StringCount(); ++i) {
    std::vector<int> advances = r.Advances(i);
    const QString text = EightBitText(r.Text(i), DeviceContext().FontCharset(), advances);
    DrawText({r.Reference(i), r.Options(i), r.Rect(60 + 40 * i), text, std::move(advances)});
  }
}

void TEMFtoPDFExport::DrawText(const TextRecord& r) {
  if (!Drawing() || InPath()) return;
  TDeviceContext& dc = DeviceContext();
  TDeviceContextData& d = dc.Data();
  const QString& text = r.text;
  if (text.isEmpty()) return;
  const quint32 options = r.options;
  const int charset = dc.FontCharset();
  const bool rtl = (options & kEtoRtlReading) || (d.text_align & 0x100) || (d.layout & 1) ||
                   charset == 177 || charset == 178;
  // Glyph indices are drawn as the record gives them, in its order.
  const bool glyphs = options & kEtoGlyphIndex;

  ovx::CanvasFont font = CreateCurrentFont();
  const double unit = PageLength(1);
  const double height = dc.FontHeight();
  TovxPDFFont& primary = document_.Fonts().FindOrAdd(font.name, font.style_bits & 3);
  const ovx::PdfFontMetrics& metrics = primary.Metrics();
  // lfHeight above 0 is the cell height, below 0 the em.
  double em = PageLength(height);
  const int cell = metrics.ascent - metrics.descent;
  if (dc.FontSignedHeight() > 0 && cell > 0) em = em * 1000 / cell;
  // The size as mapped (a whole number would draw the glyphs up to half
  // a point larger or smaller than the advances place them); a size that
  // rounds to 0 has no glyphs to show, and would divide by zero below.
  const double size = std::min(em, ovx::kEmfPdfMaxNumber);
  if (!(std::nearbyint(size) >= 1)) return;

  const std::vector<int>& advances = r.advances;
  const bool update_cp = d.text_align & kTaUpdateCp;
  const QPoint reference = update_cp ? d.current_position : r.reference;

  // Mapping: glyphs of each run, with the font each needs.
  std::vector<ovx::PdfTextRun> runs;
  if (glyphs) {
    ovx::PdfTextRun run;
    run.font = &primary;
    run.char_count = static_cast<int>(text.size());
    run.mapped = primary.MapText(text, false, pdfa_, true);
    runs.push_back(std::move(run));
  } else if (rtl) {
    ovx::PdfTextRun run;
    run.font = &primary;
    run.char_count = static_cast<int>(text.size());
    run.mapped = primary.MapText(text, true, pdfa_);
    runs.push_back(std::move(run));
  } else {
    runs = document_.Fonts().MapRuns(font.name, font.style_bits & 3, text, false, pdfa_);
  }

  // Widths in logical units: the record's advances, or the fonts' own.
  double width = 0;
  for (const int a : advances) width += std::max(a, 0);
  if (advances.empty()) {
    for (const auto& run : runs) width += run.mapped.width * size / 1000 / unit;
  }

  const double angle = dc.FontEscapementAngle();
  const double sin_t = std::sin(angle), cos_t = std::cos(angle);
  double v = 0;
  switch (dc.VerticalAlignment()) {
    case TDeviceContext::VAlign::kTop:
      v = metrics.ascent / 1000.0 * size / unit;
      break;
    case TDeviceContext::VAlign::kBottom:
      v = metrics.descent / 1000.0 * size / unit;
      break;
    default:
      break;
  }
  double u = 0;
  switch (dc.HorizontalAlignment()) {
    case TDeviceContext::HAlign::kRight:
      u = -1;
      break;
    case TDeviceContext::HAlign::kCenter:
      u = -0.5;
      break;
    default:
      break;
  }
  const QPointF logical_origin(reference.x() + v * sin_t + width * u * cos_t,
                               reference.y() + v * cos_t - width * u * sin_t);
  if (update_cp) {
    d.current_position.rx() =
        static_cast<int>(std::clamp(double(d.current_position.x()) + std::round(width), -2e9, 2e9));
  }
  const QPointF origin = ToPage(MapPointF(logical_origin.x(), logical_origin.y()));

  Line("q");
  if ((options & kEtoOpaque) || (options & kEtoClipped)) {
    const PdfRect rc = PageRect(r.clip);
    const QByteArray rect = EmfPdfNumber(rc.left) + ' ' + EmfPdfNumber(rc.bottom) + ' ' +
                            EmfPdfNumber(rc.right - rc.left) + ' ' +
                            EmfPdfNumber(rc.top - rc.bottom) + " re";
    if (options & kEtoOpaque) {
      Line(ColorText(d.bk_color) + " rg");
      Line(rect);
      Line("f");
    }
    if (options & kEtoClipped) {
      Line(rect);
      Line("W");
      Line("n");
    }
  }
  if (font.escapement % 3600 != 0) Line(TRotation2D(origin, angle).MatrixText() + " cm");
  if (path_.Pending()) {
    path_.Flush();
    Line("n");
  }
  const QByteArray color = ColorText(d.text_color);
  const QByteArray size_text = EmfPdfNumber(size);
  bool bold_written = false;
  Line("BT");
  double previous_start = 0;
  double fonts_width = 0;  // the runs before, by the fonts' own widths
  for (size_t k = 0; k < runs.size(); ++k) {
    const ovx::PdfTextRun& run = runs[k];
    TovxPDFFont& run_font = *run.font;
    const TRemapedString& m = run.mapped;
    // Where the run starts along the text, in points: the record's
    // advances of the characters before it.
    double start = fonts_width;
    if (!advances.empty()) {
      start = 0;
      const size_t end = std::min(advances.size(), static_cast<size_t>(run.first_char));
      for (size_t i = 0; i < end; ++i) start += advances[i] * unit;
    }
    fonts_width += m.width * size / 1000;
    Line(document_.UseFont(run_font) + ' ' + size_text + " Tf");
    if (k == 0) {
      Line("[] 0 d");
      Line(color + " rg");
      Line(PointText(origin) + " Td");
    } else {
      Line(EmfPdfNumber(start - previous_start) + " 0 Td");
    }
    previous_start = start;
    if (run_font.SimulatedItalic(font.style_bits)) {
      Line(QByteArray(TovxPDFFont::kItalicMatrix.data(),
                      static_cast<qsizetype>(TovxPDFFont::kItalicMatrix.size())) +
           ' ' + PointText(origin + QPointF(start, 0)) + " Tm");
    }
    if (run_font.SimulatedBold(font.style_bits) && !bold_written) {
      Line(TovxPDFFont::BoldSimulationOperators(size, color));
      bold_written = true;
    }
    // The record's advance of each glyph: one per character (a surrogate
    // pair's two make one).
    std::vector<double> record;
    if (!rtl && !advances.empty()) {
      for (int i = run.first_char; i < run.first_char + run.char_count; ++i) {
        if (static_cast<size_t>(i) >= advances.size()) break;
        const bool low = !glyphs && i > run.first_char && text[i].isLowSurrogate() &&
                         text[i - 1].isHighSurrogate();
        if (low && !record.empty()) {
          record.back() += advances[i];
        } else {
          record.push_back(advances[i]);
        }
      }
    }
    auto hex = [](uint16_t code) {
      return QByteArray::number(code, 16).toUpper().rightJustified(4, '0');
    };
    const bool adjust = !rtl && m.all_below_65535 && record.size() == m.codes.size();
    if (!adjust) {
      QByteArray codes = "<";
      for (const uint16_t code : m.codes) codes += hex(code);
      Line(codes + "> Tj");
      continue;
    }
    // After each glyph, the difference between the running sums of the
    // glyphs' own advances and the record's (in thousandths of the size),
    // so that each glyph starts where the record places it and rounding
    // never accumulates along the run.
    const double f = unit * 1000 / size;
    QByteArray codes = "[<";
    double own = 0, wanted = 0, moved = 0;
    for (size_t i = 0; i < m.codes.size(); ++i) {
      if (i > 0) {
        const double shift = std::nearbyint(own - wanted - moved);
        if (shift != 0 && std::isfinite(shift)) {
          codes += "> " + EmfPdfNumber(shift) + " <";
          moved += shift;
        }
      }
      codes += hex(m.codes[i]);
      own += m.advances[i];
      wanted += record[i] * f;
    }
    Line(codes + ">] TJ");
  }
  Line("ET");
  if (bold_written) Line("0 Tr");
  const double run_width = width * unit;
  if (font.style_bits & (4 | 8)) {
    Line("[] 0 d");
    Line(color + " RG");
    auto rule = [&](double thickness, double y) {
      Line(EmfPdfNumber(thickness) + " w");
      Line(PointText(QPointF(origin.x(), origin.y() + y)) + " m");
      Line(PointText(QPointF(origin.x() + run_width, origin.y() + y)) + " l");
      Line("S");
    };
    if (font.style_bits & 4) rule(size * 0.07125, -0.125 * size);
    if (font.style_bits & 8) rule(size * 0.07125 / 2, 0.29 * size);
  }
  Line("Q");
}

// --- bitmaps
// ---------------------------------------------------------------------------------------

namespace {

constexpr quint32 kSrcAnd = 0x008800C6;
constexpr quint32 kSrcInvert = 0x00660046;
constexpr quint32 kSrcPaint = 0x00EE0086;
constexpr quint32 kDstCopy = 0x00AA0029;
// Alpha-blended bitmaps are redrawn at no more than this a side.
constexpr int kMaxRedraw = 4096;

// The destination of the blit records: x, y, cx, cy at 24.
QRect BlitDest(const TEnhMetaObj& r) {
  const qint64 x = r.I32(24), y = r.I32(28);
  return QRect(QPoint(r.I32(24), r.I32(28)),
               QPoint(static_cast<int>(std::clamp<qint64>(x + r.I32(32), INT_MIN, INT_MAX)),
                      static_cast<int>(std::clamp<qint64>(y + r.I32(36), INT_MIN, INT_MAX))));
}

// The source rectangle of a bitmap record: x, y, width and height at the
// given offsets; empty (the whole bitmap) when the values are beyond any
// bitmap, which would also overflow the rectangle's own arithmetic.
QRect SourceRect(const TEnhMetaObj& r, qint64 x, qint64 y, qint64 w, qint64 h) {
  constexpr qint64 kLimit = qint64{1} << 24;
  const qint64 vx = r.I32(x), vy = r.I32(y), vw = r.I32(w), vh = r.I32(h);
  if (std::abs(vx) > kLimit || std::abs(vy) > kLimit || std::abs(vw) > kLimit ||
      std::abs(vh) > kLimit) {
    return QRect();
  }
  return QRect(static_cast<int>(vx), static_cast<int>(vy), static_cast<int>(vw),
               static_cast<int>(vh));
}

}  // namespace

void TEMFtoPDFExport::FillRect(const PdfRect& r, const QByteArray& color) {
  Line("q");
  Line(color + " rg");
  Line(EmfPdfNumber(r.left) + ' ' + EmfPdfNumber(r.bottom) + ' ' + EmfPdfNumber(r.right - r.left) +
       ' ' + EmfPdfNumber(r.top - r.bottom) + " re");
  Line("f");
  Line("Q");
}

void TEMFtoPDFExport::PlaceImage(const ovx::PdfImage& image, const PdfRect& r) {
  const QByteArray name = document_.UseImage(image);
  // Readers that ink every pixel an image's far edge reaches (poppler
  // inks the pixel column right of an edge that lies exactly on it) would
  // draw one pixel more than the screen: the image ends a 64th of a
  // device pixel short, which no reader sampling pixel centres notices.
  const double w = std::max(r.right - r.left - sx_ / 64, 0.0);
  const double h = std::max(r.top - r.bottom - sy_ / 64, 0.0);
  Line("q");
  Line(EmfPdfNumber(w) + " 0 0 " + EmfPdfNumber(h) + ' ' +
       PointText(QPointF(r.left, r.bottom + (r.top - r.bottom - h))) + " cm");
  Line(name + " Do");
  Line("Q");
}

void TEMFtoPDFExport::DrawBitmap(const TEMRBitmap& record, const QRect& dest, quint32 rop,
                                 QRect source, std::optional<quint32> key) {
  if (!Drawing()) return;
  const PdfRect page = PageRect(dest);
  if (!(page.right - page.left > 0) || !(page.top - page.bottom > 0)) return;
  const TDeviceContext& dc = DeviceContext();
  const bool alpha_blend = record.Type() == kEmrAlphaBlend;
  if (rop == kPatCopy) {
    if (!dc.BrushIsNull()) {
      Line("q");
      FillWithBrush(EmfPdfNumber(page.left) + ' ' + EmfPdfNumber(page.bottom) + ' ' +
                        EmfPdfNumber(page.right - page.left) + ' ' +
                        EmfPdfNumber(page.top - page.bottom) + " re" + kEol,
                    "f");
      Line("Q");
    }
    return;
  }
  if (rop == kBlackness || rop == kWhiteness) {
    FillRect(page, rop == kBlackness ? "0 0 0" : "1 1 1");
    return;
  }
  if (rop == kDstCopy) return;
  const bool copy = rop == kSrcCopy || rop == kSrcAnd || rop == kSrcInvert || rop == kSrcPaint;
  // A blend function: operation 0, flags 0; the source alpha and the
  // constant alpha say how much shows.
  const bool blend = alpha_blend && (rop & 0xFFFF) == 0 && ((rop >> 24) & ~1u) == 0;
  if ((!copy && !blend) || !record.HasBitmap()) {
    // A record without a bitmap has nothing to copy.
    WriteComment(QStringLiteral(" Unsupported dwRop: %1").arg(rop));
    return;
  }
  const bool bottom_up = record.BitmapSize().height() > 0;
  const bool source_alpha = blend && (rop >> 24) & 1;
  QImage image = ovx::emf::BitmapSourcePart(record.Image(source_alpha), source.x(), source.y(),
                                            source.width(), source.height(), bottom_up);
  if (image.isNull()) return;
  const bool flip_x = dest.right() < dest.left(), flip_y = dest.bottom() < dest.top();
  if (flip_x || flip_y) image = image.mirrored(flip_x, flip_y);

  ovx::PdfImage pdf;
  const int constant = blend ? static_cast<int>((rop >> 16) & 0xFF) : 255;
  const bool soft = blend && (source_alpha || constant < 255);
  if (soft && constant == 0) return;
  if (soft && transparency_) {
    // Un-premultiplied colours with their alpha as the soft mask, redrawn
    // at about one pixel per point, never larger than the source (nor
    // 4096 a side).
    const int w = static_cast<int>(std::clamp(std::round(page.right - page.left), 1.0,
                                              double(std::min(image.width(), kMaxRedraw))));
    const int h = static_cast<int>(std::clamp(std::round(page.top - page.bottom), 1.0,
                                              double(std::min(image.height(), kMaxRedraw))));
    const QImage scaled = image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                              .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage colours(w, h, QImage::Format_RGB32);
    QByteArray alpha(qsizetype(w) * h, '\0');
    for (int y = 0; y < h; ++y) {
      const auto* in = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
      auto* out = reinterpret_cast<QRgb*>(colours.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const int a = qAlpha(in[x]) * constant / 255;
        const int pa = qAlpha(in[x]);
        auto un = [pa](int c) { return pa == 0 ? 0 : std::clamp((c * 255 + pa / 2) / pa, 0, 255); };
        out[x] = qRgb(un(qRed(in[x])), un(qGreen(in[x])), un(qBlue(in[x])));
        alpha[qsizetype(y) * w + x] = static_cast<char>(a);
      }
    }
    pdf.jpeg = ovx::EncodeJpeg(colours, document_quality_, false, 72, true);
    pdf.width = w;
    pdf.height = h;
    pdf.alpha = alpha;
  } else {
    // A bitmap stretched larger goes in at its size in device pixels,
    // stretched as the screen stretches it (nearest pixel): readers scale
    // small images by rules of their own, or smooth them, and a 4 x 3
    // swatch would come out blurred or its cells a pixel off.
    const double dw = std::round((page.right - page.left) / sx_);
    const double dh = std::round((page.top - page.bottom) / sy_);
    if ((dw > image.width() || dh > image.height()) && dw >= 1 && dh >= 1 &&
        dw * dh <= double(kMaxRedraw) * kMaxRedraw / 4) {
      image = image.scaled(int(dw), int(dh), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    if (soft) {
      // Without transparency the blend is made over white, as the page
      // under it shows on the screen.
      QImage over(image.size(), QImage::Format_RGB32);
      over.fill(Qt::white);
      QPainter painter(&over);
      painter.setOpacity(constant / 255.0);
      painter.drawImage(0, 0, image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
      painter.end();
      image = over;
    }
    // Record bitmaps are often tiny and stretched (icons, swatches): each
    // pixel keeps its own colour.
    pdf.jpeg = ovx::EncodeJpeg(image.convertToFormat(QImage::Format_RGB32), jpeg_quality_, false,
                               96, true);
    pdf.width = image.width();
    pdf.height = image.height();
    if (key) {
      // The transparent colour's pixels are clipped away: the clip is the
      // image's other pixels, as rectangles of runs (rows with the same
      // runs share one), so the key stays exact whatever the JPEG does to
      // colours and needs no transparency (PDF/A-1 keeps it too).
      const QByteArray clip = KeyClip(image, *key, page);
      if (clip.isNull()) return;  // every pixel transparent
      Line("q");
      out_ += clip;
      Line("W");
      Line("n");
      PlaceImage(pdf, page);
      Line("Q");
      return;
    }
  }
  PlaceImage(pdf, page);
}

QByteArray TEMFtoPDFExport::KeyClip(const QImage& image, quint32 key, const PdfRect& page) const {
  const quint32 rgb = ResolveColorRef(key, DeviceContext().Data().eof_palette);
  const QRgb transparent = qRgb(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
  const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
  const int w = pixels.width(), h = pixels.height();
  const double pw = (page.right - page.left) / w, ph = (page.top - page.bottom) / h;
  QByteArray clip;
  bool any = false;
  std::vector<std::pair<int, int>> runs, previous;
  int first_row = 0;
  // A noisy picture would make a clip of millions of rectangles: beyond
  // this many the picture is drawn whole.
  constexpr int kMaxRectangles = 20000;
  int rectangles = 0;
  auto write = [&](int end_row) {
    for (const auto& [from, to] : previous) {
      ++rectangles;
      clip += EmfPdfNumber(page.left + from * pw) + ' ' + EmfPdfNumber(page.top - end_row * ph) +
              ' ' + EmfPdfNumber((to - from) * pw) + ' ' +
              EmfPdfNumber((end_row - first_row) * ph) + " re" + kEol;
      any = true;
    }
  };
  for (int y = 0; y < h; ++y) {
    runs.clear();
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int x = 0; x < w;) {
      if ((row[x] & RGB_MASK) == (transparent & RGB_MASK)) {
        ++x;
        continue;
      }
      const int from = x;
      while (x < w && (row[x] & RGB_MASK) != (transparent & RGB_MASK)) ++x;
      runs.emplace_back(from, x);
    }
    if (runs != previous) {
      if (rectangles > kMaxRectangles) break;
      write(y);
      previous = runs;
      first_row = y;
    }
  }
  write(h);
  if (rectangles > kMaxRectangles) {
    return EmfPdfNumber(page.left) + ' ' + EmfPdfNumber(page.bottom) + ' ' +
           EmfPdfNumber(page.right - page.left) + ' ' + EmfPdfNumber(page.top - page.bottom) +
           " re" + kEol;
  }
  return any ? clip : QByteArray();
}

void TEMFtoPDFExport::DoBitBlt() {
  TEMFAbstractExport::DoBitBlt();
  const auto& r = Current<TEMRBitBltObj>();
  DrawBitmap(r, BlitDest(r), r.U32(40), SourceRect(r, 44, 48, 32, 36));
}

void TEMFtoPDFExport::DoStretchBlt() {
  TEMFAbstractExport::DoStretchBlt();
  const auto& r = Current<TEMRStretchBltObj>();
  DrawBitmap(r, BlitDest(r), r.U32(40), SourceRect(r, 44, 48, 100, 104));
}

void TEMFtoPDFExport::DoMaskBlt() {
  TEMFAbstractExport::DoMaskBlt();
  const auto& r = Current<TEMRMaskBltObj>();
  DrawBitmap(r, BlitDest(r), r.U32(40), SourceRect(r, 44, 48, 32, 36));
}

void TEMFtoPDFExport::DoTransparentBlt() {
  TEMFAbstractExport::DoTransparentBlt();
  const auto& r = Current<TEMRTransparentBltObj>();
  // The transparent colour stands where the others keep the operation:
  // the source is copied, less the pixels of that colour, as the screen
  // draws it.
  DrawBitmap(r, BlitDest(r), kSrcCopy, SourceRect(r, 44, 48, 100, 104), r.U32(40));
}

void TEMFtoPDFExport::DoAlphaBlend() {
  TEMFAbstractExport::DoAlphaBlend();
  const auto& r = Current<TEMRAlphaBlendObj>();
  DrawBitmap(r, BlitDest(r), r.U32(40), SourceRect(r, 44, 48, 100, 104));
}

void TEMFtoPDFExport::DoStretchDIBits() {
  TEMFAbstractExport::DoStretchDIBits();
  const auto& r = Current<TEMRStretchDIBitsObj>();
  const qint64 x = r.I32(24), y = r.I32(28);
  const QRect dest(QPoint(r.I32(24), r.I32(28)),
                   QPoint(static_cast<int>(std::clamp<qint64>(x + r.I32(72), INT_MIN, INT_MAX)),
                          static_cast<int>(std::clamp<qint64>(y + r.I32(76), INT_MIN, INT_MAX))));
  DrawBitmap(r, dest, r.U32(68), SourceRect(r, 32, 36, 40, 44));
}

// --- views
// -----------------------------------------------------------------------------------------

namespace ovx {

bool WritesVectorPicture(const TovxView& view) {
  const auto* picture = dynamic_cast<const TovxPictureView*>(&view);
  return picture && view.AllowVectorExport() &&
         picture->Picture().Kind() == PictureKind::kEnhancedMetafile;
}

bool WriteVectorPicture(PdfPageContent& page, PdfDocument& document, TovxPictureView& view,
                        const PdfContentSettings& settings) {
  const PdfRect rect = page.ViewRect(view);
  QByteArray& out = document.Content();
  const qsizetype start = out.size();
  out += "q\r\n";
  page.WriteFill(view.Fill(), rect);
  const double width = view.Width(), height = view.Height();
  const QRectF place = view.PictureRect(QRectF(view.AbsLeft(), view.AbsTop(), width, height), 1, 1);
  if (width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height) &&
      place.width() > 0 && place.height() > 0) {
    // A metafile may draw beyond its frame: the view keeps it in.
    const double left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
    const double bottom = std::min(rect.bottom, rect.top), top = std::max(rect.bottom, rect.top);
    out += "q\r\n" + EmfPdfNumber(left) + ' ' + EmfPdfNumber(bottom) + ' ' +
           EmfPdfNumber(right - left) + ' ' + EmfPdfNumber(top - bottom) + " re\r\nW\r\nn\r\n";
    const PdfRect target{page.X(place.left()), page.Y(place.top()), page.X(place.right()),
                         page.Y(place.bottom())};
    MemoryStream input(view.Picture().Data());
    TEMFtoPDFExport player(input, document, target);
    player.SetTransparency(settings.transparency && document.Options().pdfa_part != 1);
    player.SetPdfA(settings.pdfa);
    player.SetDocumentQuality(settings.quality);
    try {
      player.Export();
    } catch (const ovx::Error&) {
      out.truncate(start);
      return false;
    }
    out += "Q\r\n";
  }
  page.WriteFrame(view.Frame(), rect);
  out += "Q\r\n";
  return true;
}

}  // namespace ovx
