#include "render/emf_arc.h"

#include <QRectF>

#include <cmath>
#include <numbers>

namespace ovx::emf {

QPointF EllipseArc::PointAt(double angle) const {
  return QPointF(centre.x() + rx * std::cos(angle), centre.y() - ry * std::sin(angle));
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
