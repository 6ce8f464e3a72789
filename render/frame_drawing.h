// Frames: the drop shadow and the four lines around a view's rectangle.
//
// The geometry is that of the report layouts' home platform, pixel for
// pixel: lines are centred on the rectangle's edges (the right and bottom
// lines on the exclusive edges X1 and Y1), solid lines end in square caps
// that fill the corners where two lines meet, and an end without a
// neighbouring line is pulled in by half the line width so that the cap
// stops at the corner. Double lines run one line width either side of the
// edge and join their neighbours as an outer and an inner rectangle.
//
// Everything here takes plain values: the report model fills a FrameParams
// from its frame objects and calls DrawFrame.
#pragma once

#include "base/color.h"
#include "base/enum_set.h"
#include "base/meta_class.h"
#include "base/pixel_rect.h"

OVX_ENUM(TovxFrameStyle, fsSolid, fsDash, fsDot, fsDashDot, fsDashDotDot, fsDouble, fsAltDot,
         fsSquare)
OVX_ENUM(TovxFrameType, ftLeft, ftRight, ftTop, ftBottom)
using TovxFrameTypes = ovx::EnumSet<TovxFrameType>;

namespace ovx {

class Canvas;

struct FrameLineParams {
  Color color = clBlack;
  TovxFrameStyle style = TovxFrameStyle::fsSolid;
  // Report units; scaled by the horizontal scale on every side.
  double width = 1;
};

struct FrameParams {
  TovxFrameTypes typ;
  Color color = clBlack;
  TovxFrameStyle style = TovxFrameStyle::fsSolid;
  double width = 1;
  bool drop_shadow = false;
  Color shadow_color = clBlack;
  double shadow_width = 4;
  FrameLineParams left;
  FrameLineParams top;
  FrameLineParams right;
  FrameLineParams bottom;
};

// The shadow (when set) and then the lines of `frame` around `rect`, the
// view's pixel rectangle already reduced by the shadow. Leaves pen and
// brush changed.
void DrawFrame(Canvas& canvas, const FrameParams& frame, const PixelRect& rect, double scale_x,
               double scale_y);

// The drop shadow alone: strips along the right and bottom edges, outside
// `rect`.
void DrawFrameShadow(Canvas& canvas, const FrameParams& frame, const PixelRect& rect,
                     double scale_x, double scale_y);

// The frame lines alone; nothing when `typ` is empty, the frame's colour is
// none or its width is 0.
void DrawFrameLines(Canvas& canvas, const FrameParams& frame, const PixelRect& rect,
                    double scale_x);

}  // namespace ovx
