// Bounds that keep the drawing of frames, fills and shapes finite.
//
// A damaged or hostile file may hold a view a billion pixels wide, a frame
// line as wide, or coordinates at the ends of the int range. Geometry is
// therefore clamped to a window larger than any device (an A0 sheet at
// 2400 dots per inch fits), and steps that would repeat once per pixel (the
// parallel lines of a thick line, the strips of a centred gradient, nested
// ellipses) are limited to what can show: the clip and the device.
#pragma once

#include "base/color.h"
#include "base/pixel_rect.h"
#include "render/frame_drawing.h"

#include <QtGlobal>

#include <algorithm>

namespace ovx {

class Canvas;
struct CanvasPen;

namespace internal {

inline constexpr int kCoordinateLimit = 1 << 17;

inline int ClampCoordinate(qint64 value) {
  return static_cast<int>(std::clamp<qint64>(value, -kCoordinateLimit, kCoordinateLimit));
}

inline PixelRect ClampRect(const PixelRect& r) {
  return {ClampCoordinate(r.left), ClampCoordinate(r.top), ClampCoordinate(r.right),
          ClampCoordinate(r.bottom)};
}

// Widths in pixels: negative values count as 0, huge ones stop at the
// window.
inline int ClampWidth(qint64 width) {
  return static_cast<int>(std::clamp<qint64>(width, 0, 2 * qint64{kCoordinateLimit}));
}

// Steps below this many pixels are drawn without asking what is visible.
inline constexpr int kNarrowWidth = 64;

// Thick lines longer than this are cut to the visible window.
inline constexpr int kLongLine = 1 << 15;

// Pens handed to the canvas are at most this wide: wider ones would cost
// the backend's stroker dearly and already cover any page where they run.
inline constexpr int kMaxPenWidth = 1 << 14;

// The bounds of what can show on `canvas` (right and bottom exclusive;
// empty when nothing can): the clip, the meta clip and the device, within
// the coordinate window. Costs a few dozen RectVisible calls.
PixelRect VisibleWindow(const Canvas& canvas);

// DrawThickLine limited, for wide lines, to the parallel lines that cross
// the visible window (with one to spare on either side), which are drawn
// exactly as DrawThickLine draws them. A line longer than kLongLine is
// also cut to its stretch over the window.
void DrawVisibleThickLine(Canvas& canvas, int x1, int y1, int x2, int y2, int w);

// The pen of an outline `width` pixels wide in a frame style: the dotted
// and square styles get a geometric pen with their dash pattern; the
// dashed styles a styled pen when one pixel wide and, like the platform's
// wider cosmetic pens, a solid one otherwise; solid and double a solid
// pen.
CanvasPen FrameStylePen(Color color, TovxFrameStyle style, int width);

}  // namespace internal
}  // namespace ovx
