// Fills: a view's background painted into a pixel rectangle.
//
// Three kinds: a brush (a colour with an optional hatch over it), a
// gradient between two colours in one of six styles, and the "glass" look
// (a colour with a lighter half and an optional hatch). Colours are
// interpolated channel by channel with the platform's multiply-then-divide
// rounding (halves away from zero), so strips land and change colour at
// the same pixels as in the layouts' home platform.
//
// The fills take plain values; the report model turns its fill objects
// into a FillParams.
#pragma once

#include "base/brush_style.h"
#include "base/color.h"
#include "base/meta_class.h"
#include "base/pixel_rect.h"

#include <variant>

OVX_ENUM(TovxGradientStyle, gsHorizontal, gsVertical, gsElliptic, gsRectangle, gsVertCenter,
         gsHorizCenter)
OVX_ENUM(TovxFillOrientation, foVertical, foHorizontal, foVerticalMirror, foHorizontalMirror)

namespace ovx {

class Canvas;

struct BrushFillParams {
  Color back_color = clNone;
  Color fore_color = clBlack;
  TovxBrushStyle style = TovxBrushStyle::bsSolid;
};

struct GradientFillParams {
  Color start_color = clWhite;
  Color end_color = clBlack;
  TovxGradientStyle style = TovxGradientStyle::gsHorizontal;
};

struct GlassFillParams {
  // clNone draws nothing.
  Color color = clGray;
  // The lighter half and the hatch over the whole, as the fill computes
  // them from its colour and blend.
  Color light_color = clWhite;
  Color hatch_color = clWhite;
  bool hatch = false;
  TovxFillOrientation orientation = TovxFillOrientation::foHorizontal;
};

using FillParams = std::variant<BrushFillParams, GradientFillParams, GlassFillParams>;

// Paints `fill` into `rect` (right and bottom exclusive). Leaves pen and
// brush changed and the clip as it was.
void DrawFill(Canvas& canvas, const FillParams& fill, const PixelRect& rect);

void DrawBrushFill(Canvas& canvas, const BrushFillParams& fill, const PixelRect& rect);
void DrawGradient(Canvas& canvas, const GradientFillParams& fill, const PixelRect& rect);
void DrawGlassFill(Canvas& canvas, const GlassFillParams& fill, const PixelRect& rect);

// The colour `step` of `steps` on the way from `start` to `end`, each
// channel start + MulDiv(step, end - start, steps); `end` when `steps` is 0.
Color GradientColor(Color start, Color end, int step, int steps);

}  // namespace ovx
