// Shapes and lines: views drawn with the frame's pen and the fill's brush.
//
// A shape is one of a few outlines (rectangle, rounded rectangle, ellipse,
// triangle, diamond, the two diagonals) fitted to the view's rectangle. A
// line view is a line along its rectangle's edge or, when Diagonal, from
// one corner to the other, with optional arrow heads; it stretches with
// its band like any stretchable view.
#pragma once

#include "render/shape_drawing.h"  // TovxShapeKind
#include "report/model/view.h"

class TovxShapeView : public TovxView {
  OVX_META_CLASS

 public:
  explicit TovxShapeView(TovxComponent* owner = nullptr) : TovxView(owner) {}

  QString GetDescription() const override { return QStringLiteral("obShape"); }

  // The corner size of rounded rectangles in tenths of a unit (scaled);
  // 0 lets the drawing take a quarter of the smaller side.
  int Curve() const { return curve_; }
  void SetCurve(int curve) { curve_ = curve; }
  TovxShapeKind Shape() const { return shape_; }
  void SetShape(TovxShapeKind shape) { shape_ = shape; }

  // The outline with the frame's pen and the fill inside it; a double
  // frame style adds a second outline inside the first.
  void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
            double offset_y) override;

 private:
  int curve_ = 0;
  TovxShapeKind shape_ = TovxShapeKind::skRectangle;
};

// The state of line views; TovxLineView publishes it.
class TovxCustomLineView : public TovxStretcheable {
  OVX_META_CLASS

 public:
  explicit TovxCustomLineView(TovxComponent* owner = nullptr) : TovxStretcheable(owner) {}

  QString GetDescription() const override { return QStringLiteral("obLine"); }

  // Arrow heads at either end; length and width in units.
  bool ArrowEnd() const { return arrow_end_; }
  void SetArrowEnd(bool on) { arrow_end_ = on; }
  int ArrowLength() const { return arrow_length_; }
  void SetArrowLength(int length) { arrow_length_ = length; }
  bool ArrowSolid() const { return arrow_solid_; }
  void SetArrowSolid(bool on) { arrow_solid_ = on; }
  bool ArrowStart() const { return arrow_start_; }
  void SetArrowStart(bool on) { arrow_start_ = on; }
  int ArrowWidth() const { return arrow_width_; }
  void SetArrowWidth(int width) { arrow_width_ = width; }
  // From corner to corner instead of along an edge.
  bool Diagonal() const { return diagonal_; }
  void SetDiagonal(bool on) { diagonal_ = on; }

  // A line that is not diagonal is drawn as one frame line of a view with
  // no extent across it: the smaller of Width and Height becomes 0 and the
  // frame shows only the left (or top) line. The view keeps these values.
  void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
            double offset_y) override;

 private:
  bool arrow_end_ = false;
  int arrow_length_ = 20;
  bool arrow_solid_ = false;
  bool arrow_start_ = false;
  int arrow_width_ = 5;
  bool diagonal_ = false;
};

class TovxLineView : public TovxCustomLineView {
  OVX_META_CLASS

 public:
  explicit TovxLineView(TovxComponent* owner = nullptr) : TovxCustomLineView(owner) {}
};
