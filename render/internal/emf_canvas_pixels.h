// Pixel rounding shared by the parts of the canvas replay.
#pragma once

#include <QPoint>
#include <QPointF>

#include <algorithm>
#include <cmath>

namespace ovx::internal {

// Canvas coordinates stay within this (the canvas clamps further), so
// that rectangles of them still have widths that fit an int.
inline constexpr double kCanvasLimit = 1 << 28;

// The nearest pixel, halves up; NaN gives 0.
inline int Px(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::floor(std::clamp(v, -kCanvasLimit, kCanvasLimit) + 0.5));
}

inline QPoint Px(QPointF p) { return QPoint(Px(p.x()), Px(p.y())); }

}  // namespace ovx::internal
