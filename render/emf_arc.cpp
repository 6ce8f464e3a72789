#include "render/emf_arc.h"

#include <QRectF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovx::emf {

QPointF EllipseArc::PointAt(double angle) const {
  return QPointF(centre.x() + rx * std::cos(angle), centre.y() - ry * std::sin(angle));
}

std::vector<QPointF> ArcPolyline(const EllipseArc& arc) {
  const double length = std::abs(arc.sweep) * std::max(arc.rx, arc.ry);
  const int steps = length >= 0 ? static_cast<int>(std::clamp(length / 2, 8.0, 1024.0)) : 8;
  std::vector<QPointF> out;
  out.reserve(static_cast<size_t>(steps) + 1);
  for (int i = 0; i <= steps; ++i) out.push_back(arc.PointAt(arc.start + arc.sweep * i / steps));
  return out;
}

std::optional<EllipseArc> ArcInBox(const QRect& box, QPointF start, QPointF end,
                                   bool counter_clockwise) {
  const QRectF r =
      QRectF(QPointF(box.left(), box.top()), QPointF(box.right(), box.bottom())).normalized();
  EllipseArc arc;
  arc.rx = r.width() / 2;
  arc.ry = r.height() / 2;
  if (!(arc.rx > 0) || !(arc.ry > 0)) return std::nullopt;
  arc.centre = r.center();
  // The radial's angle on the circle the ellipse is stretched from.
  auto angle = [&](QPointF p) {
    return std::atan2(-(p.y() - arc.centre.y()) / arc.ry, (p.x() - arc.centre.x()) / arc.rx);
  };
  const double ts = angle(start);
  double te = angle(end);
  if (!std::isfinite(ts) || !std::isfinite(te)) return std::nullopt;
  if (counter_clockwise) {
    if (te <= ts) te += 2 * std::numbers::pi;
  } else if (te >= ts) {
    te -= 2 * std::numbers::pi;
  }
  arc.start = ts;
  arc.sweep = te - ts;
  return arc;
}

}  // namespace ovx::emf
