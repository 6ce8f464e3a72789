// Frame lines are drawn one side at a time in the order left, right, top,
// bottom; each side knows its neighbours (the lines that meet it at its
// start and end) only through the frame's set of sides.
//
// Two quirks of the home platform are kept because layouts were tuned to
// them: in a frame whose style is not solid, a left line drawn with a
// two-pixel pen starts one pixel higher, and a bottom line drawn with a
// one-pixel pen runs one pixel further (a line's last pixel is never set,
// so without it the bottom-right corner would stay open).
//
// The helpers shared with shapes and fills (the visible window, thick
// lines limited to it, the pens of the frame styles) live here too.
#include "render/frame_drawing.h"

#include "base/rounding.h"
#include "render/canvas.h"
#include "render/internal/drawing_limits.h"
#include "render/primitives.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ovx {

namespace internal {

PixelRect VisibleWindow(const Canvas& canvas) {
  PixelRect w{-kCoordinateLimit, -kCoordinateLimit, kCoordinateLimit, kCoordinateLimit};
  if (const std::optional<QRegion> clip = canvas.ClipRegion()) {
    const QRect b = clip->boundingRect();
    w.left = std::max(w.left, b.left());
    w.top = std::max(w.top, b.top());
    w.right = std::min(w.right, b.left() + b.width());
    w.bottom = std::min(w.bottom, b.top() + b.height());
  }
  if (w.IsEmpty() || !canvas.RectVisible(w)) return {};
  // The device's own bounds and the meta clip are known to the canvas
  // only through RectVisible: bisect each edge of the window with it.
  // Visibility of a band from one edge grows with the band, so each
  // search is monotonic.
  const auto first = [](int lo, int hi, auto visible_up_to) {
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (visible_up_to(mid)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    return lo;
  };
  const auto last = [](int lo, int hi, auto visible_from) {
    while (lo < hi) {
      const int mid = lo + (hi - lo + 1) / 2;
      if (visible_from(mid)) {
        lo = mid;
      } else {
        hi = mid - 1;
      }
    }
    return lo;
  };
  PixelRect v = w;
  v.left = first(w.left, w.right - 1, [&](int x) {
    return canvas.RectVisible({w.left, w.top, x + 1, w.bottom});
  });
  v.right = last(v.left, w.right - 1,
                 [&](int x) {
                   return canvas.RectVisible({x, w.top, w.right, w.bottom});
                 }) +
            1;
  v.top = first(w.top, w.bottom - 1, [&](int y) {
    return canvas.RectVisible({v.left, w.top, v.right, y + 1});
  });
  v.bottom = last(v.top, w.bottom - 1,
                  [&](int y) {
                    return canvas.RectVisible({v.left, y, v.right, w.bottom});
                  }) +
             1;
  return v;
}

void DrawVisibleThickLine(Canvas& canvas, int x1, int y1, int x2, int y2, int w) {
  x1 = ClampCoordinate(x1);
  y1 = ClampCoordinate(y1);
  x2 = ClampCoordinate(x2);
  y2 = ClampCoordinate(y2);
  w = ClampWidth(w);
  if (w <= kNarrowWidth) {
    DrawThickLine(canvas, x1, y1, x2, y2, w);
    return;
  }
  const PixelRect window = VisibleWindow(canvas);
  if (window.IsEmpty()) return;
  // The parallel lines are moved across the line's main direction: in y
  // for lines flatter than 45 degrees, in x otherwise.
  const bool moved_in_y = std::abs(x2 - x1) > std::abs(y2 - y1);
  const double along1 = moved_in_y ? x1 : y1;
  const double along2 = moved_in_y ? x2 : y2;
  const double across1 = moved_in_y ? y1 : x1;
  const double across2 = moved_in_y ? y2 : x2;
  const double window_along_low = moved_in_y ? window.left : window.top;
  const double window_along_high = (moved_in_y ? window.right : window.bottom) - 1;
  const double window_across_low = moved_in_y ? window.top : window.left;
  const double window_across_high = (moved_in_y ? window.bottom : window.right) - 1;
  // The stretch of the line over the window's extent along it (with a
  // pixel to spare, as a rasterised line strays up to half a pixel), and
  // how far across that stretch reaches.
  const double low = std::max(std::min(along1, along2), window_along_low - 1);
  const double high = std::min(std::max(along1, along2), window_along_high + 1);
  if (low > high) return;
  double across_min = std::min(across1, across2);
  double across_max = std::max(across1, across2);
  if (along1 != along2) {
    const double slope = (across2 - across1) / (along2 - along1);
    const double a = across1 + slope * (low - along1);
    const double b = across1 + slope * (high - along1);
    across_min = std::min(a, b);
    across_max = std::max(a, b);
  }
  const double first_visible = std::floor(window_across_low - across_max) - 1;
  const double last_visible = std::ceil(window_across_high - across_min) + 1;
  const int first = static_cast<int>(std::max<double>(-(w / 2), first_visible));
  const int last = static_cast<int>(std::min<double>(-(w / 2) + w - 1, last_visible));
  if (first > last) return;
  if (std::abs(along2 - along1) > kLongLine) {
    // Far longer than any device: styled pens would lay their pattern
    // along all of it. Keep the part over the window (the same for every
    // parallel line, as they are moved across); only lines from damaged
    // files are this long, so the pattern's phase may shift.
    const double slope = (across2 - across1) / (along2 - along1);
    const double from = along1 < along2 ? low : high;
    const double to = along1 < along2 ? high : low;
    const int along_from = static_cast<int>(from);
    const int along_to = static_cast<int>(to);
    const int across_from = ClampCoordinate(Round(across1 + slope * (from - along1)));
    const int across_to = ClampCoordinate(Round(across1 + slope * (to - along1)));
    if (moved_in_y) {
      x1 = along_from, y1 = across_from, x2 = along_to, y2 = across_to;
    } else {
      y1 = along_from, x1 = across_from, y2 = along_to, x2 = across_to;
    }
  }
  // DrawThickLine centres its n lines at -(n div 2); moving the line by
  // first + n div 2 makes them cover exactly first..last.
  const int n = last - first + 1;
  const int shift = first + n / 2;
  if (moved_in_y) {
    DrawThickLine(canvas, x1, y1 + shift, x2, y2 + shift, n);
  } else {
    DrawThickLine(canvas, x1 + shift, y1, x2 + shift, y2, n);
  }
}

CanvasPen FrameStylePen(Color color, TovxFrameStyle style, int width) {
  width = std::min(width, kMaxPenWidth);
  CanvasPen pen;
  pen.color = color;
  pen.width = std::max(width, 1);
  switch (style) {
    case TovxFrameStyle::fsAltDot:
    case TovxFrameStyle::fsSquare:
      pen.geometric = true;
      if (width <= 1) {
        pen.cap = LineCap::kFlat;
        pen.dashes = {1, 1};
      } else if (style == TovxFrameStyle::fsSquare) {
        pen.cap = LineCap::kFlat;
        pen.dashes = {width, width};
      } else {
        // Dashes of length 0 with round caps: dots of diameter w.
        pen.cap = LineCap::kRound;
        pen.dashes = {0, 2 * width};
      }
      break;
    case TovxFrameStyle::fsDash:
      if (width <= 1) pen.style = PenStyle::kDash;
      break;
    case TovxFrameStyle::fsDot:
      if (width <= 1) pen.style = PenStyle::kDot;
      break;
    case TovxFrameStyle::fsDashDot:
      if (width <= 1) pen.style = PenStyle::kDashDot;
      break;
    case TovxFrameStyle::fsDashDotDot:
      if (width <= 1) pen.style = PenStyle::kDashDotDot;
      break;
    case TovxFrameStyle::fsSolid:
    case TovxFrameStyle::fsDouble:
      break;
  }
  return pen;
}

}  // namespace internal

namespace {

using internal::ClampWidth;

enum class Side { kLeft, kRight, kTop, kBottom };

PenStyle StyledPen(TovxFrameStyle style) {
  switch (style) {
    case TovxFrameStyle::fsDash:
      return PenStyle::kDash;
    case TovxFrameStyle::fsDot:
      return PenStyle::kDot;
    case TovxFrameStyle::fsDashDot:
      return PenStyle::kDashDot;
    case TovxFrameStyle::fsDashDotDot:
      return PenStyle::kDashDotDot;
    default:
      return PenStyle::kSolid;
  }
}

bool IsStyled(TovxFrameStyle style) {
  return style == TovxFrameStyle::fsDash || style == TovxFrameStyle::fsDot ||
         style == TovxFrameStyle::fsDashDot || style == TovxFrameStyle::fsDashDotDot;
}

void Line(Canvas& canvas, QPoint from, QPoint to) {
  canvas.MoveTo(from.x(), from.y());
  canvas.LineTo(to.x(), to.y());
}

// A line runs from `start` to `end` along x (horizontal) or y (vertical);
// `at` is its fixed coordinate.
struct SideLine {
  bool vertical = false;
  int at = 0;
  int start = 0;
  int end = 0;

  QPoint Point(int along, int across_offset = 0) const {
    return vertical ? QPoint(at + across_offset, along) : QPoint(along, at + across_offset);
  }
};

void DrawSide(Canvas& canvas, const FrameParams& frame, Side side, const PixelRect& r,
              double scale_x) {
  const FrameLineParams& line_params = side == Side::kLeft    ? frame.left
                                       : side == Side::kRight ? frame.right
                                       : side == Side::kTop   ? frame.top
                                                              : frame.bottom;
  // A line of no colour shows nothing, like a frame of no colour.
  if (line_params.color == clNone) return;
  const Color color = ColorToRgb(line_params.color);
  const TovxFrameStyle style = line_params.style;
  const int w = ClampWidth(RoundToInt(line_params.width * scale_x));

  CanvasPen pen;
  pen.color = color;
  pen.style = StyledPen(style);
  pen.width = IsStyled(style) ? 1 : std::clamp(w, 1, internal::kMaxPenWidth);
  canvas.Pen() = pen;

  const bool styled_frame = frame.style != TovxFrameStyle::fsSolid;
  SideLine line;
  switch (side) {
    case Side::kLeft:
      line = {true, r.left, r.top, r.bottom};
      if (pen.width == 2 && styled_frame) line.start = r.top - 1;
      break;
    case Side::kRight:
      line = {true, r.right, r.top, r.bottom};
      break;
    case Side::kTop:
      line = {false, r.top, r.left, r.right};
      break;
    case Side::kBottom:
      line = {false, r.bottom, r.left, r.right};
      if (pen.width == 1 && styled_frame) line.end = r.right + 1;
      break;
  }
  const bool start_joined =
      frame.typ.Contains(line.vertical ? TovxFrameType::ftTop : TovxFrameType::ftLeft);
  const bool end_joined =
      frame.typ.Contains(line.vertical ? TovxFrameType::ftBottom : TovxFrameType::ftRight);

  switch (style) {
    case TovxFrameStyle::fsSolid:
    case TovxFrameStyle::fsDouble: {
      // A free end stops half a width short, so its square cap (or the
      // double line's outer end) ends at the corner.
      if (!start_joined) line.start += w / 2;
      if (!end_joined) line.end -= w / 2;
      if (style == TovxFrameStyle::fsSolid) {
        CanvasPen geometric;
        geometric.color = color;
        geometric.width = std::clamp(w, 1, internal::kMaxPenWidth);
        geometric.geometric = true;
        geometric.cap = LineCap::kSquare;
        canvas.Pen() = geometric;
        Line(canvas, line.Point(line.start), line.Point(line.end));
        break;
      }
      const bool outer_is_minus = side == Side::kLeft || side == Side::kTop;
      for (const int offset : {-w, w}) {
        const bool outer = (offset < 0) == outer_is_minus;
        // Outer lines reach out to meet their neighbours, inner lines stop
        // short of them: together they form two nested rectangles.
        const int grow = outer ? w : -w;
        const int start = start_joined ? line.start - grow : line.start;
        const int end = end_joined ? line.end + grow : line.end;
        Line(canvas, line.Point(start, offset), line.Point(end, offset));
      }
      break;
    }
    case TovxFrameStyle::fsDash:
    case TovxFrameStyle::fsDot:
    case TovxFrameStyle::fsDashDot:
    case TovxFrameStyle::fsDashDotDot: {
      const QPoint from = line.Point(line.start);
      const QPoint to = line.Point(line.end);
      internal::DrawVisibleThickLine(canvas, from.x(), from.y(), to.x(), to.y(), w);
      break;
    }
    case TovxFrameStyle::fsAltDot:
    case TovxFrameStyle::fsSquare: {
      canvas.Pen() = internal::FrameStylePen(color, style, w);
      Line(canvas, line.Point(line.start), line.Point(line.end));
      break;
    }
  }
}

}  // namespace

void DrawFrameShadow(Canvas& canvas, const FrameParams& frame, const PixelRect& rect,
                     double scale_x, double scale_y) {
  if (!frame.drop_shadow || frame.shadow_color == clNone) return;
  const PixelRect r = internal::ClampRect(rect);
  CanvasPen pen;
  pen.color = ColorToRgb(frame.shadow_color);
  canvas.Pen() = pen;
  // A negative width (only a damaged file holds one) has no strip to draw.
  const int sx = RoundToInt(frame.shadow_width * scale_x);
  if (sx >= 0) {
    const int w = ClampWidth(sx);
    internal::DrawVisibleThickLine(canvas, r.right + w / 2, r.top + w, r.right + w / 2, r.bottom,
                                   w);
  }
  const int sy = RoundToInt(frame.shadow_width * scale_y);
  if (sy >= 0) {
    const int w = ClampWidth(sy);
    internal::DrawVisibleThickLine(canvas, r.left + w, r.bottom + w / 2, r.right + w,
                                   r.bottom + w / 2, w);
  }
}

void DrawFrameLines(Canvas& canvas, const FrameParams& frame, const PixelRect& rect,
                    double scale_x) {
  if (frame.typ.IsEmpty() || frame.color == clNone || frame.width == 0) return;
  const PixelRect r = internal::ClampRect(rect);
  // The gaps of styled lines stay transparent.
  canvas.Brush().style =
      frame.style == TovxFrameStyle::fsSolid ? TovxBrushStyle::bsSolid : TovxBrushStyle::bsClear;
  for (const auto& [side, type] : {std::pair{Side::kLeft, TovxFrameType::ftLeft},
                                   std::pair{Side::kRight, TovxFrameType::ftRight},
                                   std::pair{Side::kTop, TovxFrameType::ftTop},
                                   std::pair{Side::kBottom, TovxFrameType::ftBottom}}) {
    if (frame.typ.Contains(type)) DrawSide(canvas, frame, side, r, scale_x);
  }
}

void DrawFrame(Canvas& canvas, const FrameParams& frame, const PixelRect& rect, double scale_x,
               double scale_y) {
  DrawFrameShadow(canvas, frame, rect, scale_x, scale_y);
  DrawFrameLines(canvas, frame, rect, scale_x);
}

}  // namespace ovx
