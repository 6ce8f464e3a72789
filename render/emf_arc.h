// The arcs of metafile records (EMR_ARC, EMR_ARCTO, EMR_CHORD, EMR_PIE):
// the part of the ellipse inscribed in a box between the radials through
// two points, as the platform draws it. Shared by every output of the
// player, so that the screen and the PDF agree on where an arc starts,
// which way it runs and where it ends.
#pragma once

#include <QPointF>
#include <QRect>

#include <optional>
#include <vector>

namespace ovx::emf {

// Angles are the ellipse's parameter, in radians, in logical units with y
// down: the point at angle t is centre + (rx cos t, -ry sin t), so a
// growing angle runs counter-clockwise as the eye sees it.
struct EllipseArc {
  QPointF centre;
  double rx = 0;
  double ry = 0;
  double start = 0;
  // Signed: positive counter-clockwise; never 0 (equal radials make the
  // whole ellipse) and never beyond a full turn.
  double sweep = 0;

  QPointF PointAt(double angle) const;
  QPointF Start() const { return PointAt(start); }
  QPointF End() const { return PointAt(start + sweep); }
};

// The arc as the polyline the screen strokes, from Start() to End():
// pieces of about two logical units, 8 to 1024 of them. The PDF counts a
// styled pen's dashes along the same points, so both agree on where the
// dashes fall.
std::vector<QPointF> ArcPolyline(const EllipseArc& arc);

// The arc of the ellipse in `box` (corners as the record stores them, in
// either order) from the radial through `start` to the radial through
// `end`, counter-clockwise unless `counter_clockwise` is false (the arc
// direction AD_CLOCKWISE); a radial point at the centre counts as angle 0.
// Nothing for an ellipse without width or height.
std::optional<EllipseArc> ArcInBox(const QRect& box, QPointF start, QPointF end,
                                   bool counter_clockwise);

}  // namespace ovx::emf
