// Fills, frames, lines, shapes, raster views and links of a PDF page; the
// memo text is in pdf_text.cpp.
//
// Geometry is computed in points as doubles and written with two
// decimals, so nothing is snapped to a device grid. Fills follow the
// screen's choice of colours and directions; frame lines follow its corner
// rules (a free end is pulled in by half the width so that the square cap
// ends at the corner; a double line is two lines one width either side of
// the edge, with a gap of one width between them).
#include "export/pdf_page_content.h"

#include "base/error.h"
#include "base/rounding.h"
#include "base/units.h"
#include "export/emf_to_pdf.h"
#include "export/image_export.h"
#include "export/pdf_objects.h"
#include "render/fill_drawing.h"
#include "render/painter_canvas.h"
#include "render/shape_drawing.h"
#include "report/model/fill.h"
#include "report/model/frame.h"
#include "report/model/memo_view.h"
#include "report/model/picture_view.h"
#include "report/model/shape_view.h"
#include "report/model/view.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace ovx {
namespace {

constexpr char kEol[] = "\r\n";
// Hatch lines: the screen's 8-pixel cell at 96 dpi, one pixel wide.
constexpr double kHatchPitch = 6.0;
constexpr double kHatchWidth = 0.75;
// More hatch lines than this in one fill means a damaged size; the hatch
// is left out rather than writing megabytes of lines.
constexpr int kMaxHatchLines = 20000;
// Raster views larger than this many pixels a side are drawn smaller.
constexpr int kMaxRasterSide = 8000;
// Bezier control distance of a quarter circle.
constexpr double kKappa = 0.5522847498307936;

QByteArray P(double v) { return PdfFixed(v); }

QByteArray Point(double x, double y) { return P(x) + ' ' + P(y); }

QByteArray RectOperands(const PdfRect& r) {
  return P(r.left) + ' ' + P(r.bottom) + ' ' + P(r.Width()) + ' ' + P(r.Height());
}

// The rectangle with left < right and bottom < top.
PdfRect Normalized(PdfRect r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.bottom > r.top) std::swap(r.bottom, r.top);
  return r;
}

Color Rgb(Color color) { return ColorToRgb(color) & 0xFFFFFF; }

bool IsHatch(TovxBrushStyle style) {
  return style != TovxBrushStyle::bsSolid && style != TovxBrushStyle::bsClear;
}

// Dash array operands of a frame line style; `w` is the width in report
// units.
QByteArray DashArray(TovxFrameStyle style, double w) {
  const QByteArray six = P(6 * w) + ' ';
  const QByteArray two = P(2 * w) + ' ';
  switch (style) {
    case TovxFrameStyle::fsDash:
      return '[' + six + "] 0 d";
    case TovxFrameStyle::fsDot:
      return '[' + two + six + "] 0 d";
    case TovxFrameStyle::fsDashDot:
      return '[' + six + six + two + six + "] 0 d";
    case TovxFrameStyle::fsDashDotDot:
      return '[' + six + six + two + six + two + six + "] 0 d";
    case TovxFrameStyle::fsSquare:
      return '[' + two + two + "] 0 d";
    default:
      return "[] 0 d";
  }
}

// A closed ellipse path inscribed in `r`.
QByteArray EllipsePath(const PdfRect& r) {
  const double cx = (r.left + r.right) / 2;
  const double cy = (r.bottom + r.top) / 2;
  const double a = r.Width() / 2;
  const double b = r.Height() / 2;
  const double ka = a * kKappa;
  const double kb = b * kKappa;
  QByteArray out;
  out += Point(cx + a, cy) + " m\r\n";
  out += Point(cx + a, cy + kb) + ' ' + Point(cx + ka, cy + b) + ' ' + Point(cx, cy + b) + " c\r\n";
  out += Point(cx - ka, cy + b) + ' ' + Point(cx - a, cy + kb) + ' ' + Point(cx - a, cy) + " c\r\n";
  out += Point(cx - a, cy - kb) + ' ' + Point(cx - ka, cy - b) + ' ' + Point(cx, cy - b) + " c\r\n";
  out += Point(cx + ka, cy - b) + ' ' + Point(cx + a, cy - kb) + ' ' + Point(cx + a, cy) + " c\r\n";
  out += "h\r\n";
  return out;
}

// A rectangle with corners rounded by quarter ellipses of `rx` x `ry`.
QByteArray RoundRectPath(const PdfRect& r, double rx, double ry) {
  rx = std::clamp(rx, 0.0, r.Width() / 2);
  ry = std::clamp(ry, 0.0, r.Height() / 2);
  const double kx = rx * kKappa;
  const double ky = ry * kKappa;
  QByteArray out;
  out += Point(r.left + rx, r.top) + " m\r\n";
  out += Point(r.right - rx, r.top) + " l\r\n";
  out += Point(r.right - rx + kx, r.top) + ' ' + Point(r.right, r.top - ry + ky) + ' ' +
         Point(r.right, r.top - ry) + " c\r\n";
  out += Point(r.right, r.bottom + ry) + " l\r\n";
  out += Point(r.right, r.bottom + ry - ky) + ' ' + Point(r.right - rx + kx, r.bottom) + ' ' +
         Point(r.right - rx, r.bottom) + " c\r\n";
  out += Point(r.left + rx, r.bottom) + " l\r\n";
  out += Point(r.left + rx - kx, r.bottom) + ' ' + Point(r.left, r.bottom + ry - ky) + ' ' +
         Point(r.left, r.bottom + ry) + " c\r\n";
  out += Point(r.left, r.top - ry) + " l\r\n";
  out += Point(r.left, r.top - ry + ky) + ' ' + Point(r.left + rx - kx, r.top) + ' ' +
         Point(r.left + rx, r.top) + " c\r\n";
  out += "h\r\n";
  return out;
}

// The outline of a shape; diagonals are open paths.
QByteArray ShapePath(TovxShapeKind kind, const PdfRect& r, double corner) {
  const double mx = (r.left + r.right) / 2;
  const double my = (r.bottom + r.top) / 2;
  switch (kind) {
    case TovxShapeKind::skRectangle:
      return RectOperands(r) + " re\r\n";
    case TovxShapeKind::skRoundRectangle:
      return RoundRectPath(r, corner / 2, corner / 2);
    case TovxShapeKind::skEllipse:
      return EllipsePath(r);
    case TovxShapeKind::skTriangle:
      return Point(r.right, r.bottom) + " m\r\n" + Point(r.left, r.bottom) + " l\r\n" +
             Point(mx, r.top) + " l\r\nh\r\n";
    case TovxShapeKind::skDiamond:
      return Point(mx, r.top) + " m\r\n" + Point(r.right, my) + " l\r\n" + Point(mx, r.bottom) +
             " l\r\n" + Point(r.left, my) + " l\r\nh\r\n";
    case TovxShapeKind::skDiagonal1:
      return Point(r.left, r.bottom) + " m\r\n" + Point(r.right, r.top) + " l\r\n";
    case TovxShapeKind::skDiagonal2:
      return Point(r.left, r.top) + " m\r\n" + Point(r.right, r.bottom) + " l\r\n";
  }
  return {};
}

bool IsDiagonal(TovxShapeKind kind) {
  return kind == TovxShapeKind::skDiagonal1 || kind == TovxShapeKind::skDiagonal2;
}

// One frame side in points: along x (horizontal) or y, at `at`, from
// `start` to `end`; `outward` is +1 or -1 across the line, away from the
// view.
struct Side {
  bool horizontal = true;
  double at = 0;
  double start = 0;
  double end = 0;
  int outward = 1;
  bool start_joined = false;
  bool end_joined = false;
};

QByteArray SegmentPath(const Side& side, double offset, double start, double end) {
  const double at = side.at + offset;
  if (side.horizontal) return Point(start, at) + " m " + Point(end, at) + " l S\r\n";
  return Point(at, start) + " m " + Point(at, end) + " l S\r\n";
}

// Writes the line of one side with `line`'s colour, style and width.
void WriteSide(QByteArray& out, const Side& side, const TovxFrameLine& line) {
  const double w = line.Width();
  if (line.Color() == clNone || !(w >= 0.01) || !std::isfinite(w)) return;
  const double pw = 0.75 * w;
  // +1 when the side runs towards larger coordinates.
  const double direction = side.end >= side.start ? 1 : -1;
  out += DashArray(line.Style(), w) + kEol;
  out += P(pw) + " w 2 J " + PdfColorOperands(line.Color()) + " RG\r\n";
  double start = side.start;
  double end = side.end;
  if (!side.start_joined) start += direction * pw / 2;
  if (!side.end_joined) end -= direction * pw / 2;
  if (line.Style() != TovxFrameStyle::fsDouble) {
    out += SegmentPath(side, 0, start, end);
    return;
  }
  // The outer line reaches out to its neighbours' outer lines, the inner
  // one stops at their inner lines: two nested rectangles.
  for (const int across : {1, -1}) {
    const double grow = across * pw;
    const double s = side.start_joined ? start - direction * grow : start;
    const double e = side.end_joined ? end + direction * grow : end;
    out += SegmentPath(side, across * side.outward * pw, s, e);
  }
}

}  // namespace

struct PdfPageContent::BackgroundImage {
  QByteArray data;
  PictureKind kind = PictureKind::kNone;
  Color color = clNone;
  TovxFrame frame;
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  double scale = 1;
  bool masked = false;
  PdfImage image;

  bool SameDrawing(const BackgroundImage& other) const {
    return kind == other.kind && color == other.color && frame == other.frame &&
           left == other.left && top == other.top && width == other.width &&
           height == other.height && scale == other.scale && masked == other.masked &&
           data == other.data;
  }
};

PdfPageContent::PdfPageContent(PdfDocument& document, PdfContentSettings settings)
    : document_(document), settings_(std::move(settings)) {
  settings_.quality = std::clamp(settings_.quality, 1, 100);
}

PdfPageContent::~PdfPageContent() = default;

void PdfPageContent::BeginPage(double width_units, double height_units, double left_margin_mm,
                               double top_margin_mm, int index) {
  text_ = SharedText{};
  height_ = 0.75 * height_units;
  offset_x_ = std::isfinite(left_margin_mm) ? left_margin_mm * 0.05 : 0;
  offset_y_ = std::isfinite(top_margin_mm) ? top_margin_mm * 0.05 : 0;
  page_index_ = index;
  document_.BeginPage(0.75 * width_units, height_, index);
}

void PdfPageContent::EndPage() {
  CloseText();
  document_.EndPage();
}

PdfRect PdfPageContent::ViewRect(const TovxView& view) const {
  const double s = view.Frame().DropShadow() ? view.Frame().ShadowWidth() : 0;
  const double left = view.AbsLeft();
  const double top = view.AbsTop();
  return {X(left), Y(top), X(left + view.Width() - s), Y(top + view.Height() - s)};
}

// --- dispatch -----------------------------------------------------------------------

void PdfPageContent::WriteView(TovxView& view, bool background_picture_visible) {
  if (view.Name() == u"_pagebackground") {
    if (!settings_.background) return;
    CloseText();
    const PdfRect rect = ViewRect(view);
    Out() += "q\r\n";
    WriteFill(view.Fill(), rect);
    const auto* picture = dynamic_cast<const TovxPictureView*>(&view);
    if (background_picture_visible && picture && !picture->Picture().IsEmpty()) {
      WriteRaster(view, /*skip_fill_and_frame=*/true);
    }
    WriteFrame(view.Frame(), rect);
    Out() += "Q\r\n";
    return;
  }
  WriteLink(view, ViewRect(view));
  if (auto* memo = dynamic_cast<TovxCustomMemoView*>(&view)) {
    WriteMemo(*memo);
    return;
  }
  // Only memos write into the shared text object.
  CloseText();
  if (auto* line = dynamic_cast<TovxCustomLineView*>(&view)) {
    WriteLine(*line);
  } else if (auto* shape = dynamic_cast<TovxShapeView*>(&view)) {
    WriteShape(*shape);
  } else if (&view.GetMetaClass() == &TovxView::StaticMetaClass()) {
    // A plain view is its fill and frame.
    const PdfRect rect = ViewRect(view);
    Out() += "q\r\n";
    WriteFill(view.Fill(), rect);
    WriteFrame(view.Frame(), rect);
    Out() += "Q\r\n";
  } else if (WritesVectorPicture(view) &&
             WriteVectorPicture(*this, document_, static_cast<TovxPictureView&>(view), settings_)) {
    // Written as vectors.
  } else if (view.Width() > 0 && view.Height() > 0) {
    WriteRaster(view);
  }
}

// --- links ----------------------------------------------------------------------------

void PdfPageContent::WriteLink(const TovxView& view, const PdfRect& rect) {
  const TovxHyperlink& link = view.Hyperlink();
  const QString value = link.Value().trimmed();
  if (value.isEmpty()) return;
  PdfLink annotation;
  const PdfRect r = Normalized(rect);
  annotation.left = r.left;
  annotation.bottom = r.bottom;
  annotation.right = r.right;
  annotation.top = r.top;
  switch (link.Kind()) {
    case TovxHyperlinkKind::hkURL:
      annotation.uri = value;
      break;
    case TovxHyperlinkKind::hkAnchor: {
      if (!settings_.find_anchor) return;
      const auto anchor = settings_.find_anchor(value);
      if (!anchor) return;
      annotation.target_page = anchor->first;
      annotation.target_top = anchor->second;
      break;
    }
    case TovxHyperlinkKind::hkPageNumber: {
      bool ok = false;
      const int number = value.toInt(&ok);
      if (!ok || number < 1) return;
      annotation.target_page = number - 1;
      break;
    }
    default:
      return;
  }
  if (annotation.target_page >= 0 && settings_.page_exported &&
      !settings_.page_exported(annotation.target_page)) {
    return;
  }
  document_.AddLink(annotation);
}

// --- fills ------------------------------------------------------------------------------

void PdfPageContent::WriteFill(const TovxCustomFill& fill, const PdfRect& rect) {
  const PdfRect r = Normalized(rect);
  if (!(r.Width() > 0) || !(r.Height() > 0)) return;
  QByteArray& out = Out();
  if (const auto* gradient = dynamic_cast<const TovxGradientFill*>(&fill)) {
    WriteGradient(gradient->StartColor(), gradient->EndColor(),
                  static_cast<int>(gradient->GradientStyle()), r);
    return;
  }
  if (const auto* glass = dynamic_cast<const TovxGlassFill*>(&fill)) {
    if (glass->Color() == clNone) return;
    out += PdfColorOperands(glass->Color()) + " rg " + RectOperands(r) + " re f\r\n";
    PdfRect half = r;
    switch (glass->Orientation()) {
      case TovxFillOrientation::foVertical:
        half.right = r.left + r.Width() / 2;
        break;
      case TovxFillOrientation::foHorizontal:
        half.bottom = r.top - r.Height() / 2;
        break;
      case TovxFillOrientation::foVerticalMirror:
        half.left = r.right - r.Width() / 2;
        break;
      case TovxFillOrientation::foHorizontalMirror:
        half.top = r.bottom + r.Height() / 2;
        break;
    }
    out += PdfColorOperands(glass->LightColor()) + " rg " + RectOperands(half) + " re f\r\n";
    if (glass->Hatch()) WriteHatch(TovxBrushStyle::bsBDiagonal, glass->HatchColor(), r);
    return;
  }
  const auto& brush = static_cast<const TovxBrushFill&>(fill);
  if (brush.BackColor() != clNone) {
    out += PdfColorOperands(brush.BackColor()) + " rg " + RectOperands(r) + " re f\r\n";
  }
  if (IsHatch(brush.Style()) && brush.ForeColor() != clNone) {
    WriteHatch(brush.Style(), brush.ForeColor(), r);
  }
}

void PdfPageContent::WriteHatch(TovxBrushStyle style, Color color, const PdfRect& r) {
  const bool horizontal = style == TovxBrushStyle::bsHorizontal || style == TovxBrushStyle::bsCross;
  const bool vertical = style == TovxBrushStyle::bsVertical || style == TovxBrushStyle::bsCross;
  // Screen y runs down: the forward diagonal falls to the right there, so
  // here x + y is constant along it.
  const bool forward = style == TovxBrushStyle::bsFDiagonal || style == TovxBrushStyle::bsDiagCross;
  const bool backward =
      style == TovxBrushStyle::bsBDiagonal || style == TovxBrushStyle::bsDiagCross;
  const double count = (r.Width() + r.Height()) / kHatchPitch;
  if (!(count < kMaxHatchLines)) return;
  QByteArray lines;
  // Lines sit on the page's 6-point grid, as the screen's cells sit on the
  // device's pixel grid.
  auto first = [](double from) { return std::ceil(from / kHatchPitch) * kHatchPitch; };
  if (horizontal) {
    for (double y = first(r.bottom); y <= r.top; y += kHatchPitch) {
      lines += Point(r.left, y) + " m " + Point(r.right, y) + " l\r\n";
    }
  }
  if (vertical) {
    for (double x = first(r.left); x <= r.right; x += kHatchPitch) {
      lines += Point(x, r.bottom) + " m " + Point(x, r.top) + " l\r\n";
    }
  }
  if (forward) {
    for (double c = first(r.left + r.bottom); c <= r.right + r.top; c += kHatchPitch) {
      lines += Point(c - r.top, r.top) + " m " + Point(c - r.bottom, r.bottom) + " l\r\n";
    }
  }
  if (backward) {
    for (double c = first(r.left - r.top); c <= r.right - r.bottom; c += kHatchPitch) {
      lines += Point(c + r.bottom, r.bottom) + " m " + Point(c + r.top, r.top) + " l\r\n";
    }
  }
  if (lines.isEmpty()) return;
  QByteArray& out = Out();
  out += "q " + RectOperands(r) + " re W n\r\n";
  out += "[] 0 d " + P(kHatchWidth) + " w 0 J " + PdfColorOperands(color) + " RG\r\n";
  out += lines;
  out += "S Q\r\n";
}

void PdfPageContent::WriteGradient(Color start_color, Color end_color, int style_value,
                                   const PdfRect& r) {
  const auto style = static_cast<TovxGradientStyle>(style_value);
  const Color from = Rgb(start_color);
  const Color to = Rgb(end_color);
  QByteArray& out = Out();
  const int steps =
      std::max({std::abs(RedOf(to) - RedOf(from)), std::abs(GreenOf(to) - GreenOf(from)),
                std::abs(BlueOf(to) - BlueOf(from))});
  // Equal colours make one solid fill: there is no step to divide by.
  if (steps == 0) {
    out += PdfColorOperands(from) + " rg " + RectOperands(r) + " re f\r\n";
    return;
  }
  auto color = [&](int k) { return PdfColorOperands(GradientColor(from, to, k, steps)); };
  out += "q " + RectOperands(r) + " re W n\r\n";
  switch (style) {
    case TovxGradientStyle::gsHorizontal:
    case TovxGradientStyle::gsVertical:
    case TovxGradientStyle::gsHorizCenter:
    case TovxGradientStyle::gsVertCenter: {
      // Lines across the direction of change, each 1.8 steps wide so that
      // neighbours overlap and no gap shows between them.
      const bool along_x =
          style == TovxGradientStyle::gsHorizontal || style == TovxGradientStyle::gsHorizCenter;
      const bool centred =
          style == TovxGradientStyle::gsHorizCenter || style == TovxGradientStyle::gsVertCenter;
      const double extent = along_x ? r.Width() : r.Height();
      const double travel = centred ? extent / 2 : extent;
      const double step = travel / steps;
      out += "[] 0 d 0 J " + P(step * 1.8) + " w\r\n";
      for (int k = 0; k <= steps; ++k) {
        const double d = k * step;
        out += color(k) + " RG ";
        if (along_x) {
          out += Point(r.left + d, r.bottom) + " m " + Point(r.left + d, r.top) + " l S";
          if (centred) {
            out += ' ' + Point(r.right - d, r.bottom) + " m " + Point(r.right - d, r.top) + " l S";
          }
        } else {
          out += Point(r.left, r.top - d) + " m " + Point(r.right, r.top - d) + " l S";
          if (centred) {
            out +=
                ' ' + Point(r.left, r.bottom + d) + " m " + Point(r.right, r.bottom + d) + " l S";
          }
        }
        out += kEol;
      }
      break;
    }
    case TovxGradientStyle::gsElliptic: {
      // From an ellipse a quarter larger than the rectangle on each side
      // (its corners covered) down to the centre.
      for (int k = 0; k <= steps; ++k) {
        const double t = double(k) / steps;
        const double dx = t * 0.75 * r.Width() - 0.25 * r.Width();
        const double dy = t * 0.75 * r.Height() - 0.25 * r.Height();
        const PdfRect e{r.left + dx, r.top - dy, r.right - dx, r.bottom + dy};
        if (!(e.Width() > 0) || !(e.Height() > 0)) break;
        out += color(k) + " rg\r\n" + EllipsePath(e) + "f\r\n";
      }
      break;
    }
    case TovxGradientStyle::gsRectangle: {
      // Nested rectangles closing in on the centre.
      const double sx = r.Width() / 2 / (steps + 1);
      const double sy = r.Height() / 2 / (steps + 1);
      for (int k = 0; k <= steps; ++k) {
        const PdfRect e{r.left + k * sx, r.top - k * sy, r.right - k * sx, r.bottom + k * sy};
        out += color(k) + " rg " + RectOperands(e) + " re f\r\n";
      }
      break;
    }
  }
  out += "Q\r\n";
}

// --- frames -----------------------------------------------------------------------------

void PdfPageContent::WriteFrame(const TovxFrame& frame, const PdfRect& rect) {
  QByteArray& out = Out();
  if (frame.DropShadow() && frame.ShadowColor() != clNone && frame.ShadowWidth() > 0) {
    // Strips along the right and bottom edges, outside the rectangle.
    const double s = 0.75 * frame.ShadowWidth();
    const PdfRect r = Normalized(rect);
    const QByteArray color = PdfColorOperands(frame.ShadowColor());
    out += color + " rg " + RectOperands({r.right, r.top - s, r.right + s, r.bottom - s}) +
           " re f\r\n";
    out +=
        color + " rg " + RectOperands({r.left + s, r.bottom, r.right, r.bottom - s}) + " re f\r\n";
  }
  const TovxFrameTypes typ = frame.Typ();
  if (typ.IsEmpty() || frame.Color() == clNone) return;
  const bool left = typ.Contains(TovxFrameType::ftLeft);
  const bool right = typ.Contains(TovxFrameType::ftRight);
  const bool top = typ.Contains(TovxFrameType::ftTop);
  const bool bottom = typ.Contains(TovxFrameType::ftBottom);
  const PdfRect& r = rect;
  out += "q\r\n";
  if (bottom) {
    WriteSide(out, {true, r.bottom, r.left, r.right, -1, left, right}, frame.BottomLine());
  }
  if (left) WriteSide(out, {false, r.left, r.top, r.bottom, -1, top, bottom}, frame.LeftLine());
  if (top) WriteSide(out, {true, r.top, r.left, r.right, 1, left, right}, frame.TopLine());
  if (right) WriteSide(out, {false, r.right, r.top, r.bottom, 1, top, bottom}, frame.RightLine());
  out += "Q\r\n";
}

// --- lines and shapes ---------------------------------------------------------------------

void PdfPageContent::WriteLine(TovxCustomLineView& line) {
  const TovxFrame& frame = line.Frame();
  const double w = frame.Width();
  if (frame.Color() == clNone || !(w > 0) || !std::isfinite(w)) return;
  const double left = line.AbsLeft();
  const double top = line.AbsTop();
  QByteArray& out = Out();
  out += "q\r\n";
  // A straight line runs along the longer side of its rectangle, like the
  // frame line it is drawn as on screen.
  double x1 = X(left);
  double y1 = Y(top);
  double x2 = X(left + line.Width());
  double y2 = Y(top + line.Height());
  QByteArray cap = "0 J";
  if (!line.Diagonal()) {
    const double pw = 0.75 * w;
    if (line.Width() <= line.Height()) {
      x2 = x1;
      y1 -= pw / 2;
      y2 += pw / 2;
    } else {
      y2 = y1;
      x1 += pw / 2;
      x2 -= pw / 2;
    }
    cap = "2 J";
  }
  out += DashArray(frame.Style(), w) + kEol;
  out += P(0.75 * w) + " w " + cap + ' ' + PdfColorOperands(frame.Color()) + " RG\r\n";
  out += Point(x1, y1) + " m " + Point(x2, y2) + " l S\r\n";

  if (line.ArrowStart() || line.ArrowEnd()) {
    // The screen's arrow geometry, computed at the text scale and brought
    // back to points.
    const double k = kTextScale;
    const QPoint a(RoundToInt(left * k), RoundToInt(top * k));
    const QPoint b(RoundToInt((left + line.Width()) * k), RoundToInt((top + line.Height()) * k));
    auto point = [&](QPoint p) { return Point(X(p.x() / k), Y(p.y() / k)); };
    const QByteArray color = PdfColorOperands(frame.Color());
    auto arrow = [&](QPoint tip, QPoint other) {
      const ArrowHead head =
          ComputeArrowHead(tip, other, line.ArrowWidth() * k, line.ArrowLength() * k);
      out += "[] 0 d 0 J\r\n";
      if (line.ArrowSolid()) {
        out += color + " rg 0.75 w " + point(head.tip) + " m " + point(head.wing1) + " l " +
               point(head.wing2) + " l h B\r\n";
      } else {
        out += point(head.wing1) + " m " + point(head.tip) + " l " + point(head.wing2) + " l S\r\n";
      }
    };
    if (line.ArrowStart()) arrow(a, b);
    if (line.ArrowEnd()) arrow(b, a);
  }
  out += "Q\r\n";
}

void PdfPageContent::WriteShape(TovxShapeView& shape) {
  const PdfRect r = ViewRect(shape);
  const TovxFrame& frame = shape.Frame();
  const TovxShapeKind kind = shape.Shape();
  const double corner = shape.Curve() == 0 ? std::min(std::abs(r.Width()), std::abs(r.Height())) / 4
                                           : 0.75 * shape.Curve() * 10;
  const PdfRect outline = Normalized(r);
  QByteArray& out = Out();
  out += "q\r\n";
  if (!IsDiagonal(kind)) {
    if (shape.FillType() != TovxFillType::ftBrush) {
      out += "q\r\n" + ShapePath(kind, outline, corner) + "W n\r\n";
      WriteFill(shape.Fill(), outline);
      out += "Q\r\n";
    } else if (shape.Color() != clNone && shape.BrushStyle() != TovxBrushStyle::bsClear) {
      out +=
          PdfColorOperands(shape.Color()) + " rg\r\n" + ShapePath(kind, outline, corner) + "f\r\n";
      // The hatch goes over the colour in the frame's colour.
      if (IsHatch(shape.BrushStyle()) && frame.Color() != clNone) {
        out += "q\r\n" + ShapePath(kind, outline, corner) + "W n\r\n";
        WriteHatch(shape.BrushStyle(), frame.Color(), outline);
        out += "Q\r\n";
      }
    }
  }
  if (frame.Color() != clNone) {
    const double w = std::isfinite(frame.Width()) ? std::max(0.0, frame.Width()) : 0.0;
    const bool twice = frame.Style() == TovxFrameStyle::fsDouble;
    out += DashArray(twice ? TovxFrameStyle::fsSolid : frame.Style(), w) + kEol;
    out += P(0.75 * w) + " w 0 J " + PdfColorOperands(frame.Color()) + " RG\r\n";
    out += ShapePath(kind, outline, corner) + "S\r\n";
    if (twice) {
      // The second outline's bounds move inward by multiples of the width
      // (more for the pointed shapes, whose sides run near the corners).
      const double pw = 0.75 * w;
      double dx = 2 * pw, dy = 2 * pw, dw = 4 * pw, dh = 4 * pw;
      if (kind == TovxShapeKind::skTriangle) {
        dx = 4 * pw, dy = 4 * pw, dw = 8 * pw, dh = 6 * pw;
      } else if (kind == TovxShapeKind::skDiamond) {
        dx = 3 * pw, dy = 3 * pw, dw = 6 * pw, dh = 6 * pw;
      } else if (IsDiagonal(kind)) {
        dx = 2 * pw, dy = 0, dw = 0, dh = 0;
      }
      const PdfRect inner{outline.left + dx, outline.top - dy,
                          outline.left + dx + outline.Width() - dw,
                          outline.top - dy - (outline.Height() - dh)};
      if (inner.right >= inner.left && inner.top >= inner.bottom) {
        out += ShapePath(kind, inner, corner) + "S\r\n";
      }
    }
  }
  out += "Q\r\n";
}

// --- raster views -----------------------------------------------------------------------

// Places an encoded bitmap with its top left corner at the view's.
void PdfPageContent::WriteImage(const PdfImage& image, int pixels_x, int pixels_y, double scale,
                                const TovxView& view) {
  const QByteArray name = document_.UseImage(image);
  const double w = 0.75 * pixels_x / scale;
  const double h = 0.75 * pixels_y / scale;
  const double x = X(view.AbsLeft());
  const double y = Y(view.AbsTop()) - h;
  Out() += "q " + P(w) + " 0 0 " + P(h) + ' ' + Point(x, y) + " cm " + name + " Do Q\r\n";
}

void PdfPageContent::WriteRaster(TovxView& view, bool skip_fill_and_frame) {
  const bool memo = dynamic_cast<TovxCustomMemoView*>(&view) != nullptr;
  const bool plain_brush =
      view.FillType() == TovxFillType::ftBrush && (view.BrushStyle() == TovxBrushStyle::bsSolid ||
                                                   view.BrushStyle() == TovxBrushStyle::bsClear);
  double scale = (settings_.print_optimized || memo) && plain_brush ? 3 : 1;
  const double width = view.Width() + 1;
  const double height = view.Height() + 1;
  if (!(width > 1) || !(height > 1) || !std::isfinite(width) || !std::isfinite(height)) return;
  // A damaged size draws smaller rather than asking for gigabytes.
  scale = std::min(scale, kMaxRasterSide / std::max(width, height));
  const int pixels_x = std::max(1, RoundToInt(width * scale));
  const int pixels_y = std::max(1, RoundToInt(height * scale));

  const PdfRect rect = ViewRect(view);
  QByteArray& out = Out();
  if (!skip_fill_and_frame) {
    out += "q\r\n";
    WriteFill(view.Fill(), rect);
  }

  // A view without a fill (or a picture with a transparent colour) lets
  // the page show through, when transparency may be used.
  const auto* picture = dynamic_cast<const TovxPictureView*>(&view);
  const bool no_fill = view.FillType() == TovxFillType::ftBrush && view.Color() == clNone;
  const bool masked = settings_.transparency && (no_fill || (picture && picture->Transparent()));

  // A page background like the last one is the same bitmap: its picture,
  // colour, frame, place and size decide every pixel.
  std::unique_ptr<BackgroundImage> key;
  if (skip_fill_and_frame && picture) {
    key = std::make_unique<BackgroundImage>();
    key->data = picture->Picture().Data();
    key->kind = picture->Picture().Kind();
    key->color = view.Color();
    key->frame.Assign(view.Frame());
    key->left = view.AbsLeft();
    key->top = view.AbsTop();
    key->width = view.Width();
    key->height = view.Height();
    key->scale = scale;
    key->masked = masked;
    if (last_background_ && last_background_->SameDrawing(*key)) {
      WriteImage(last_background_->image, pixels_x, pixels_y, scale, view);
      return;
    }
  }

  QImage image(pixels_x, pixels_y,
               masked ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  if (image.isNull()) {
    throw Error(QStringLiteral("rsPdfImageTooLarge"),
                QStringLiteral("Not enough memory for an image of %s x %s pixels"),
                {QString::number(pixels_x), QString::number(pixels_y)});
  }
  image.fill(masked ? Qt::transparent : Qt::white);
  {
    // The frame is written as vector lines; the bitmap gets none.
    TovxFrame saved;
    saved.Assign(view.Frame());
    view.Frame().SetWidth(0);
    struct Restore {
      TovxView& view;
      const TovxFrame& saved;
      ~Restore() { view.Frame().Assign(saved); }
    } restore{view, saved};
    PainterCanvas canvas(&image, RoundToInt(96 * scale), RoundToInt(96 * scale));
    view.Draw(canvas, scale, scale, -view.AbsLeft() * scale, -view.AbsTop() * scale);
    canvas.End();
  }

  PdfImage pdf_image;
  pdf_image.width = pixels_x;
  pdf_image.height = pixels_y;
  if (masked) {
    QByteArray alpha(qsizetype(pixels_x) * pixels_y, '\0');
    bool opaque = true;
    for (int y = 0; y < pixels_y; ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < pixels_x; ++x) {
        const int a = qAlpha(line[x]);
        alpha[qsizetype(y) * pixels_x + x] = static_cast<char>(a);
        opaque = opaque && a == 255;
      }
    }
    if (!opaque) pdf_image.alpha = alpha;
    // The colours under the mask, over white where the mask hides them.
    QImage over_white(pixels_x, pixels_y, QImage::Format_RGB32);
    over_white.fill(Qt::white);
    QPainter painter(&over_white);
    painter.drawImage(0, 0, image);
    painter.end();
    image = over_white;
  }
  pdf_image.jpeg = EncodeJpeg(image, settings_.quality, false, RoundToInt(96 * scale));
  WriteImage(pdf_image, pixels_x, pixels_y, scale, view);
  if (key) {
    key->image = pdf_image;
    last_background_ = std::move(key);
  }
  if (!skip_fill_and_frame) {
    WriteFrame(view.Frame(), rect);
    out += "Q\r\n";
  }
}

}  // namespace ovx
