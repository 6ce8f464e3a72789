// Wide lines made of one-pixel lines, so that their pixels follow the
// one-pixel line rules of every canvas.
#include "render/primitives.h"

#include "render/canvas.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace ovx {

namespace {

// Past this many lines a thick line covers any device many times over;
// the cap keeps a width from a damaged file from looping for minutes.
constexpr int kMaxLines = 1 << 20;

int Saturate(qint64 value) { return static_cast<int>(std::clamp<qint64>(value, INT_MIN, INT_MAX)); }

}  // namespace

void DrawThickLine(Canvas& canvas, int x1, int y1, int x2, int y2, int w) {
  w = std::clamp(w, 1, kMaxLines);
  // The lines stack across the main direction; a 45-degree line counts as
  // steep.
  const bool stack_in_y = std::abs(qint64{x2} - x1) > std::abs(qint64{y2} - y1);
  for (int i = 0; i < w; ++i) {
    const qint64 o = -(w / 2) + i;
    if (stack_in_y) {
      canvas.MoveTo(x1, Saturate(y1 + o));
      canvas.LineTo(x2, Saturate(y2 + o));
    } else {
      canvas.MoveTo(Saturate(x1 + o), y1);
      canvas.LineTo(Saturate(x2 + o), y2);
    }
  }
}

}  // namespace ovx
