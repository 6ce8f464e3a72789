// Gradient geometry is computed in 64 bits on the rectangle as given and
// clamped only when a strip is handed to the canvas, so a view that
// reaches far off the page still shows the colours it would have on a
// device large enough to hold it. Styles that step once per pixel (the
// centred ones) visit only the strips that cross the visible window.
#include "render/fill_drawing.h"

#include "render/canvas.h"
#include "render/internal/drawing_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ovx {

namespace {

using internal::ClampCoordinate;

// a * b / c rounded to nearest, halves away from zero; c > 0. Operands stay
// far below 2^31, so the product cannot overflow.
qint64 MulDiv64(qint64 a, qint64 b, qint64 c) {
  const qint64 product = a * b;
  const qint64 half = c / 2;
  return product >= 0 ? (product + half) / c : (product - half) / c;
}

// Colours of a gradient: resolved, with "none" read as its channels (a
// gradient has no transparent end).
Color GradientRgb(Color color) { return ColorToRgb(color) & 0xFFFFFF; }

void SolidBrush(Canvas& canvas, Color color) {
  canvas.Brush() = CanvasBrush{color, TovxBrushStyle::bsSolid};
}

void Fill(Canvas& canvas, qint64 left, qint64 top, qint64 right, qint64 bottom) {
  const PixelRect r{ClampCoordinate(left), ClampCoordinate(top), ClampCoordinate(right),
                    ClampCoordinate(bottom)};
  if (!r.IsEmpty()) canvas.FillRect(r);
}

bool IsHatch(TovxBrushStyle style) {
  return style != TovxBrushStyle::bsSolid && style != TovxBrushStyle::bsClear;
}

// Strips of one pixel from both edges of a span towards its centre line;
// `strip(position)` fills the strip at `position`.
template <class FillStrip>
void CentredStrips(Canvas& canvas, const GradientFillParams& fill, qint64 start, qint64 size,
                   qint64 window_low, qint64 window_high, FillStrip strip) {
  // Below two pixels there is no half to step through (and no step count
  // to divide by).
  if (size < 2) return;
  const qint64 half = size / 2;
  const Color from = GradientRgb(fill.start_color);
  const Color to = GradientRgb(fill.end_color);
  // Steps whose strip from the start edge, or from the far edge, can show.
  const qint64 near_low = std::max<qint64>(0, window_low - start);
  const qint64 near_high = std::min<qint64>(half, window_high - 1 - start);
  const qint64 far_low = std::max<qint64>(0, start + size - window_high);
  const qint64 far_high = std::min<qint64>(half, start + size - 1 - window_low);
  const auto step = [&](qint64 i) {
    SolidBrush(canvas, GradientColor(from, to, static_cast<int>(i), static_cast<int>(half)));
    if (i >= near_low && i <= near_high) strip(start + i);
    if (i >= far_low && i <= far_high) strip(start + size - i - 1);
  };
  const bool near_empty = near_low > near_high;
  const bool far_empty = far_low > far_high;
  // Where the two ranges meet, the strips overlap at the centre line and
  // must come in rising order so that the end colour wins there.
  if (!near_empty && !far_empty && near_low <= far_high + 1 && far_low <= near_high + 1) {
    for (qint64 i = std::min(near_low, far_low); i <= std::max(near_high, far_high); ++i) step(i);
    return;
  }
  if (!near_empty) {
    for (qint64 i = near_low; i <= near_high; ++i) step(i);
  }
  if (!far_empty) {
    for (qint64 i = far_low; i <= far_high; ++i) step(i);
  }
}

// Fills of spans up to this size are drawn without asking the canvas what
// is visible, which costs more than drawing them.
constexpr qint64 kNarrowSpan = 8192;

// Where strips across a span of `size` pixels can show.
PixelRect StripWindow(const Canvas& canvas, qint64 size) {
  if (size <= kNarrowSpan) {
    return {-internal::kCoordinateLimit, -internal::kCoordinateLimit, internal::kCoordinateLimit,
            internal::kCoordinateLimit};
  }
  return internal::VisibleWindow(canvas);
}

// Whether the ellipse inscribed in `e` contains every pixel of `window`
// (with a pixel to spare for the rasteriser).
bool Covers(const PixelRect& e, const PixelRect& window) {
  const double a = (static_cast<double>(e.right) - e.left) / 2;
  const double b = (static_cast<double>(e.bottom) - e.top) / 2;
  if (a <= 0 || b <= 0) return false;
  const double cx = e.left + a;
  const double cy = e.top + b;
  for (const double px : {window.left - 1.0, window.right + 1.0}) {
    for (const double py : {window.top - 1.0, window.bottom + 1.0}) {
      const double u = (px - cx) / a;
      const double v = (py - cy) / b;
      if (u * u + v * v > 1) return false;
    }
  }
  return true;
}

}  // namespace

Color GradientColor(Color start, Color end, int step, int steps) {
  if (steps == 0) return end;
  const auto channel = [&](int s, int e) {
    return static_cast<int>(s + MulDiv64(step, e - s, steps));
  };
  return RgbColor(channel(RedOf(start), RedOf(end)), channel(GreenOf(start), GreenOf(end)),
                  channel(BlueOf(start), BlueOf(end)));
}

void DrawBrushFill(Canvas& canvas, const BrushFillParams& fill, const PixelRect& rect) {
  if (fill.back_color != clNone) {
    SolidBrush(canvas, ColorToRgb(fill.back_color));
    Fill(canvas, rect.left, rect.top, rect.right, rect.bottom);
  }
  if (IsHatch(fill.style) && fill.fore_color != clNone) {
    // Hatch brushes leave their background transparent: the colour above
    // shows between the lines.
    canvas.Brush() = CanvasBrush{ColorToRgb(fill.fore_color), fill.style};
    Fill(canvas, rect.left, rect.top, rect.right, rect.bottom);
  }
}

void DrawGradient(Canvas& canvas, const GradientFillParams& fill, const PixelRect& rect) {
  const qint64 x = rect.left;
  const qint64 y = rect.top;
  const qint64 width = qint64{rect.right} - rect.left;
  const qint64 height = qint64{rect.bottom} - rect.top;
  if (width <= 0 || height <= 0) return;
  const Color from = GradientRgb(fill.start_color);
  const Color to = GradientRgb(fill.end_color);
  canvas.Pen().style = PenStyle::kClear;

  switch (fill.style) {
    case TovxGradientStyle::gsHorizontal:
    case TovxGradientStyle::gsVertical: {
      const bool across = fill.style == TovxGradientStyle::gsHorizontal;
      const qint64 size = across ? width : height;
      for (int i = 0; i < 256; ++i) {
        const qint64 a = MulDiv64(i, size, 256);
        const qint64 b = MulDiv64(i + 1, size, 256);
        if (a == b) continue;
        SolidBrush(canvas, GradientColor(from, to, i, 255));
        if (across) {
          Fill(canvas, x + a, rect.top, x + b, rect.bottom);
        } else {
          Fill(canvas, rect.left, y + a, rect.right, y + b);
        }
      }
      break;
    }
    case TovxGradientStyle::gsElliptic: {
      canvas.SaveDC();
      canvas.IntersectClipRect(internal::ClampRect(rect));
      canvas.Pen().style = PenStyle::kClear;
      // The first ellipse reaches a quarter of the size beyond each side,
      // so the rectangle's corners are covered; the last one has shrunk to
      // the centre.
      const qint64 quarter_x = MulDiv64(width, 1, 4);
      const qint64 quarter_y = MulDiv64(height, 1, 4);
      const qint64 travel_x = MulDiv64(width, 3, 4);
      const qint64 travel_y = MulDiv64(height, 3, 4);
      const auto ellipse = [&](int i) {
        const qint64 dx = MulDiv64(i, travel_x, 155) - quarter_x;
        const qint64 dy = MulDiv64(i, travel_y, 155) - quarter_y;
        return PixelRect{ClampCoordinate(x + dx), ClampCoordinate(y + dy),
                         ClampCoordinate(rect.right - dx), ClampCoordinate(rect.bottom - dy)};
      };
      int first = 0;
      if (width > kNarrowSpan || height > kNarrowSpan) {
        // Of an ellipse far larger than the device only a small part
        // shows; every ellipse before the last one that covers all of it
        // is painted over entirely and can be left out.
        const PixelRect window = internal::VisibleWindow(canvas);
        for (int i = 155; i > 0; --i) {
          if (window.IsEmpty() || Covers(ellipse(i), window)) {
            first = i;
            break;
          }
        }
      }
      for (int i = first; i <= 155; ++i) {
        const PixelRect e = ellipse(i);
        if (e.IsEmpty()) break;
        SolidBrush(canvas, GradientColor(from, to, i, 155));
        canvas.Ellipse(e);
      }
      canvas.RestoreDC();
      break;
    }
    case TovxGradientStyle::gsRectangle: {
      double l = static_cast<double>(x);
      double r = static_cast<double>(x + width);
      double t = static_cast<double>(y);
      double b = static_cast<double>(y + height);
      const double sx = static_cast<double>(width) / 2 / 255;
      const double sy = static_cast<double>(height) / 2 / 255;
      for (int i = 0; i <= 255; ++i) {
        l += sx;
        r -= sx;
        t += sy;
        b -= sy;
        SolidBrush(canvas, GradientColor(from, to, i, 255));
        Fill(canvas, static_cast<qint64>(std::trunc(l)), static_cast<qint64>(std::trunc(t)),
             static_cast<qint64>(std::trunc(r)), static_cast<qint64>(std::trunc(b)));
      }
      break;
    }
    case TovxGradientStyle::gsVertCenter: {
      const PixelRect window = StripWindow(canvas, height);
      CentredStrips(canvas, fill, y, height, window.top, window.bottom,
                    [&](qint64 at) { Fill(canvas, rect.left, at, rect.right, at + 1); });
      break;
    }
    case TovxGradientStyle::gsHorizCenter: {
      const PixelRect window = StripWindow(canvas, width);
      CentredStrips(canvas, fill, x, width, window.left, window.right,
                    [&](qint64 at) { Fill(canvas, at, rect.top, at + 1, rect.bottom); });
      break;
    }
  }
}

void DrawGlassFill(Canvas& canvas, const GlassFillParams& fill, const PixelRect& rect) {
  if (fill.color == clNone) return;
  const qint64 half_width = (qint64{rect.right} - rect.left) / 2;
  const qint64 half_height = (qint64{rect.bottom} - rect.top) / 2;
  SolidBrush(canvas, ColorToRgb(fill.color));
  Fill(canvas, rect.left, rect.top, rect.right, rect.bottom);
  SolidBrush(canvas, fill.light_color);
  switch (fill.orientation) {
    case TovxFillOrientation::foVertical:
      Fill(canvas, rect.left, rect.top, rect.left + half_width, rect.bottom);
      break;
    case TovxFillOrientation::foHorizontal:
      Fill(canvas, rect.left, rect.top, rect.right, rect.top + half_height);
      break;
    case TovxFillOrientation::foVerticalMirror:
      Fill(canvas, rect.right - half_width, rect.top, rect.right, rect.bottom);
      break;
    case TovxFillOrientation::foHorizontalMirror:
      Fill(canvas, rect.left, rect.bottom - half_height, rect.right, rect.bottom);
      break;
  }
  if (fill.hatch) {
    canvas.Brush() = CanvasBrush{fill.hatch_color, TovxBrushStyle::bsBDiagonal};
    Fill(canvas, rect.left, rect.top, rect.right, rect.bottom);
  }
}

void DrawFill(Canvas& canvas, const FillParams& fill, const PixelRect& rect) {
  std::visit(
      [&](const auto& fill_params) {
        using T = std::decay_t<decltype(fill_params)>;
        if constexpr (std::is_same_v<T, BrushFillParams>) {
          DrawBrushFill(canvas, fill_params, rect);
        } else if constexpr (std::is_same_v<T, GradientFillParams>) {
          DrawGradient(canvas, fill_params, rect);
        } else {
          DrawGlassFill(canvas, fill_params, rect);
        }
      },
      fill);
}

}  // namespace ovx
