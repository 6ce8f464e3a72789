// Shapes and line views: outlines fitted to a pixel rectangle, drawn with
// a pen from the frame and a brush (or a clipped gradient) from the fill,
// and lines with optional arrow heads.
//
// Outlines cover their rectangle's right and bottom edges (X1, Y1), like
// the frame lines they stand in for; the two diagonals are thick lines.
#pragma once

#include "base/brush_style.h"
#include "base/color.h"
#include "base/meta_class.h"
#include "base/pixel_rect.h"
#include "render/fill_drawing.h"
#include "render/frame_drawing.h"

#include <QPoint>

#include <optional>

OVX_ENUM(TovxShapeKind, skRectangle, skRoundRectangle, skEllipse, skTriangle, skDiamond,
         skDiagonal1, skDiagonal2)

namespace ovx {

class Canvas;

struct ShapeParams {
  TovxShapeKind kind = TovxShapeKind::skRectangle;
  // Corner size of rounded rectangles in tenths of a unit; 0 takes a
  // quarter of the smaller side.
  int curve = 0;
  // The brush: colour (none: no fill) and style; a hatch style fills with
  // the colour first and hatches in the frame colour over it.
  Color color = clNone;
  TovxBrushStyle brush_style = TovxBrushStyle::bsSolid;
  // A gradient or glass fill painted inside the outline instead of the
  // brush.
  std::optional<FillParams> clipped_fill;
  // The pen: none when the colour is none.
  Color frame_color = clBlack;
  TovxFrameStyle frame_style = TovxFrameStyle::fsSolid;
  // Pixels.
  int frame_width = 1;
};

// The outline of `kind` in `rect` with the canvas's current pen and brush.
// `corner` is the rounded rectangle's corner size in pixels, `line_width`
// the diagonals' width in pixels.
void DrawShapeOutline(Canvas& canvas, TovxShapeKind kind, const PixelRect& rect, int corner,
                      int line_width);

// The whole shape. `inner`, for a double frame style, is the second
// outline's rectangle (the model moves the bounds inward in report units);
// both outlines are then drawn with a solid pen. Leaves pen and brush
// changed.
void DrawShape(Canvas& canvas, const ShapeParams& shape, const PixelRect& rect, double scale_x,
               const std::optional<PixelRect>& inner = std::nullopt);

struct ArrowParams {
  bool at_start = false;
  bool at_end = false;
  bool solid = false;
  // Report units, scaled by the horizontal scale.
  double width = 5;
  double length = 20;
};

// The wings of an arrow with its tip at `tip` on the line from `other`:
// base point and wings as the layouts' home platform computes them.
struct ArrowHead {
  QPoint tip;
  QPoint wing1;
  QPoint wing2;
};
ArrowHead ComputeArrowHead(QPoint tip, QPoint other, double width, double length);

// The arrows of a line from (rect.left, rect.top) to (rect.right,
// rect.bottom), in `color`, outlines `pen_width` pixels wide.
void DrawArrows(Canvas& canvas, const ArrowParams& arrows, const PixelRect& rect, Color color,
                int pen_width, double scale_x);

struct LineViewParams {
  // From corner to corner instead of along an edge.
  bool diagonal = false;
  // The brush of a diagonal line view (none: clear).
  Color color = clNone;
  ArrowParams arrows;
  // A straight line view's frame has one side (ftLeft or ftTop) and its
  // rectangle no extent across the line; see the model.
  FrameParams frame;
};

// A line view in `rect`: the frame line (or the diagonal) and the arrows.
void DrawLineView(Canvas& canvas, const LineViewParams& line, const PixelRect& rect, double scale_x,
                  double scale_y);

}  // namespace ovx
