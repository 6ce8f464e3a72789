// Shapes draw their outline once with the pen and brush the model gives;
// a gradient or glass fill is painted first, clipped to the same outline
// through a path, and the outline then drawn over it with a clear brush.
//
// Arrow heads follow the layouts' home platform: the base point sits on
// the line at the arrow's length from the tip, and lines closer to
// vertical than 8 pixels across take a straight up-or-down base, which
// keeps the slope finite.
#include "render/shape_drawing.h"

#include "base/rounding.h"
#include "render/canvas.h"
#include "render/internal/drawing_limits.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ovx {

namespace {

using internal::ClampCoordinate;

QPoint RoundedPoint(double x, double y) {
  return QPoint(ClampCoordinate(Round(x)), ClampCoordinate(Round(y)));
}

CanvasPen PlainPen(Color color, int width, PenStyle style) {
  CanvasPen pen;
  pen.color = color;
  pen.width = width;
  pen.style = style;
  return pen;
}

bool IsDiagonal(TovxShapeKind kind) {
  return kind == TovxShapeKind::skDiagonal1 || kind == TovxShapeKind::skDiagonal2;
}

bool IsHatch(TovxBrushStyle style) {
  return style != TovxBrushStyle::bsSolid && style != TovxBrushStyle::bsClear;
}

int CornerSize(const ShapeParams& shape, const PixelRect& r, double scale_x) {
  if (shape.curve == 0) return std::min(r.Width(), r.Height()) / 4;
  return internal::ClampWidth(RoundToInt(shape.curve * scale_x * 10));
}

}  // namespace

void DrawShapeOutline(Canvas& canvas, TovxShapeKind kind, const PixelRect& rect, int corner,
                      int line_width) {
  const PixelRect r = internal::ClampRect(rect);
  // The outline covers X1 and Y1, as a frame's right and bottom lines do.
  const PixelRect outline{r.left, r.top, r.right + 1, r.bottom + 1};
  const int dx = r.Width();
  const int dy = r.Height();
  switch (kind) {
    case TovxShapeKind::skRectangle:
      canvas.Rectangle(outline);
      break;
    case TovxShapeKind::skRoundRectangle:
      canvas.RoundRect(outline, corner, corner);
      break;
    case TovxShapeKind::skEllipse:
      canvas.Ellipse(outline);
      break;
    case TovxShapeKind::skTriangle: {
      const std::array<QPoint, 4> points{QPoint(r.right, r.bottom), QPoint(r.left, r.bottom),
                                         QPoint(r.left + dx / 2, r.top), QPoint(r.right, r.bottom)};
      canvas.Polygon(points);
      break;
    }
    case TovxShapeKind::skDiamond: {
      const std::array<QPoint, 4> points{
          QPoint(r.left + dx / 2, r.top), QPoint(r.right, r.top + dy / 2),
          QPoint(r.left + dx / 2, r.bottom), QPoint(r.left, r.top + dy / 2)};
      canvas.Polygon(points);
      break;
    }
    case TovxShapeKind::skDiagonal1:
      internal::DrawVisibleThickLine(canvas, r.left, r.bottom, r.right, r.top, line_width);
      break;
    case TovxShapeKind::skDiagonal2:
      internal::DrawVisibleThickLine(canvas, r.left, r.top, r.right, r.bottom, line_width);
      break;
  }
}

void DrawShape(Canvas& canvas, const ShapeParams& shape, const PixelRect& rect, double scale_x,
               const std::optional<PixelRect>& inner) {
  const PixelRect r = internal::ClampRect(rect);
  const bool twice = shape.frame_style == TovxFrameStyle::fsDouble && inner.has_value();
  const int width = internal::ClampWidth(shape.frame_width);
  const bool diagonal = IsDiagonal(shape.kind);

  CanvasPen pen;
  if (shape.frame_color == clNone) {
    pen.style = PenStyle::kClear;
  } else if (diagonal) {
    // The thick line lays one-pixel lines side by side.
    pen = internal::FrameStylePen(ColorToRgb(shape.frame_color), shape.frame_style, 1);
  } else {
    pen = internal::FrameStylePen(ColorToRgb(shape.frame_color), shape.frame_style, width);
  }
  if (twice && pen.style != PenStyle::kClear)
    pen = PlainPen(pen.color, pen.width, PenStyle::kSolid);

  CanvasBrush brush{clWhite, TovxBrushStyle::bsClear};
  if (shape.clipped_fill && !diagonal) {
    canvas.SaveDC();
    canvas.BeginPath();
    DrawShapeOutline(canvas, shape.kind, r, CornerSize(shape, r, scale_x), width);
    canvas.EndPath();
    canvas.SelectClipPath();
    DrawFill(canvas, *shape.clipped_fill, PixelRect{r.left, r.top, r.right + 1, r.bottom + 1});
    canvas.RestoreDC();
  } else if (!diagonal && shape.color != clNone && shape.brush_style != TovxBrushStyle::bsClear) {
    brush = CanvasBrush{ColorToRgb(shape.color), TovxBrushStyle::bsSolid};
    if (IsHatch(shape.brush_style)) {
      // The colour goes under the hatch, which takes the frame's colour.
      canvas.Pen() = PlainPen(clBlack, 1, PenStyle::kClear);
      canvas.Brush() = brush;
      DrawShapeOutline(canvas, shape.kind, r, CornerSize(shape, r, scale_x), width);
      brush = shape.frame_color == clNone
                  ? CanvasBrush{clWhite, TovxBrushStyle::bsClear}
                  : CanvasBrush{ColorToRgb(shape.frame_color), shape.brush_style};
    }
  }

  canvas.Pen() = pen;
  canvas.Brush() = brush;
  DrawShapeOutline(canvas, shape.kind, r, CornerSize(shape, r, scale_x), width);
  // Bounds moved inward past each other leave no second outline.
  if (twice && inner->right >= inner->left && inner->bottom >= inner->top) {
    const PixelRect in = internal::ClampRect(*inner);
    canvas.Brush() = CanvasBrush{clWhite, TovxBrushStyle::bsClear};
    DrawShapeOutline(canvas, shape.kind, in, CornerSize(shape, in, scale_x), width);
  }
}

ArrowHead ComputeArrowHead(QPoint tip, QPoint other, double width, double length) {
  const double xt = tip.x();
  const double yt = tip.y();
  const double xo = other.x();
  const double yo = other.y();
  double xb = 0;
  double yb = 0;
  ArrowHead head;
  head.tip = tip;
  if (std::abs(xt - xo) > 8) {
    const double k = (yt - yo) / (xt - xo);
    const double a = std::atan(k);
    // Of the two points at `length` from the tip, the one towards the
    // other end.
    xb = xt + (xo > xt ? 1 : -1) * length * std::cos(a);
    yb = yt + k * (xb - xt);
    head.wing1 = RoundedPoint(xb + std::sin(a) * width, yb - std::cos(a) * width);
    head.wing2 = RoundedPoint(xb - std::sin(a) * width, yb + std::cos(a) * width);
  } else {
    xb = xt;
    yb = yt - length;
    if (yb < std::min(yt, yo) || yb > std::max(yt, yo)) yb = yt + length;
    head.wing1 = RoundedPoint(xb - width, yb);
    head.wing2 = RoundedPoint(xb + width, yb);
  }
  return head;
}

void DrawArrows(Canvas& canvas, const ArrowParams& arrows, const PixelRect& rect, Color color,
                int pen_width, double scale_x) {
  if (color == clNone || (!arrows.at_start && !arrows.at_end)) return;
  const PixelRect r = internal::ClampRect(rect);
  const Color rgb = ColorToRgb(color);
  const double width = arrows.width * scale_x;
  const double length = arrows.length * scale_x;
  const auto draw = [&](QPoint tip, QPoint other) {
    const ArrowHead head = ComputeArrowHead(tip, other, width, length);
    if (arrows.solid) {
      canvas.Pen() = PlainPen(rgb, 1, PenStyle::kSolid);
      canvas.Brush() = CanvasBrush{rgb, TovxBrushStyle::bsSolid};
      const std::array<QPoint, 3> points{head.tip, head.wing1, head.wing2};
      canvas.Polygon(points);
    } else {
      canvas.Pen() =
          PlainPen(rgb, std::clamp(pen_width, 1, internal::kMaxPenWidth), PenStyle::kSolid);
      const std::array<QPoint, 3> points{head.wing1, head.tip, head.wing2};
      canvas.Polyline(points);
    }
  };
  if (arrows.at_start) draw(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
  if (arrows.at_end) draw(QPoint(r.right, r.bottom), QPoint(r.left, r.top));
}

void DrawLineView(Canvas& canvas, const LineViewParams& line, const PixelRect& rect, double scale_x,
                  double scale_y) {
  const FrameParams& frame = line.frame;
  const int pen_width = RoundToInt(frame.width * scale_x);
  if (!line.diagonal) {
    DrawFrame(canvas, frame, rect, scale_x, scale_y);
  } else {
    if (frame.color == clNone || frame.width == 0) return;
    canvas.Brush() = line.color == clNone
                         ? CanvasBrush{clWhite, TovxBrushStyle::bsClear}
                         : CanvasBrush{ColorToRgb(line.color), TovxBrushStyle::bsSolid};
    canvas.Pen() = internal::FrameStylePen(ColorToRgb(frame.color), frame.style, 1);
    const PixelRect r = internal::ClampRect(rect);
    internal::DrawVisibleThickLine(canvas, r.left, r.top, r.right, r.bottom,
                                   internal::ClampWidth(pen_width));
  }
  if (frame.width == 0) return;
  DrawArrows(canvas, line.arrows, rect, frame.color, pen_width, scale_x);
}

}  // namespace ovx
