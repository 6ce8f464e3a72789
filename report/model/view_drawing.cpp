// Drawing views, shapes, lines, pictures and the page background.
//
// The model only turns its objects into the plain values the rendering
// module draws (a FrameParams, a FillParams, a ShapeParams) and decides what is
// drawn in which order; the drawing geometry lives in render/. Memo views
// add their text in memo_view_drawing.cpp between the same steps.
#include "base/rounding.h"
#include "base/units.h"
#include "render/canvas.h"
#include "render/emf_canvas_player.h"
#include "render/fill_drawing.h"
#include "render/frame_drawing.h"
#include "render/shape_drawing.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/shape_view.h"
#include "report/model/view.h"

#include <QRectF>

#include <algorithm>
#include <array>

namespace {

ovx::FrameLineParams LineParamsOf(const TovxFrameLine& line) {
  return {line.Color(), line.Style(), line.Width()};
}

ovx::FrameParams FrameParamsOf(const TovxFrame& frame) {
  ovx::FrameParams params;
  params.typ = frame.Typ();
  params.color = frame.Color();
  params.style = frame.Style();
  params.width = frame.Width();
  params.drop_shadow = frame.DropShadow();
  params.shadow_color = frame.ShadowColor();
  params.shadow_width = frame.ShadowWidth();
  params.left = LineParamsOf(frame.LeftLine());
  params.top = LineParamsOf(frame.TopLine());
  params.right = LineParamsOf(frame.RightLine());
  params.bottom = LineParamsOf(frame.BottomLine());
  return params;
}

ovx::FillParams FillParamsOf(const TovxCustomFill& fill) {
  if (const auto* gradient = dynamic_cast<const TovxGradientFill*>(&fill)) {
    return ovx::GradientFillParams{gradient->StartColor(), gradient->EndColor(),
                                   gradient->GradientStyle()};
  }
  if (const auto* glass = dynamic_cast<const TovxGlassFill*>(&fill)) {
    return ovx::GlassFillParams{glass->Color(), glass->LightColor(), glass->HatchColor(),
                                glass->Hatch(), glass->Orientation()};
  }
  const auto& brush = static_cast<const TovxBrushFill&>(fill);
  return ovx::BrushFillParams{brush.BackColor(), brush.ForeColor(), brush.Style()};
}

// Device rectangles of views from damaged files can reach the ends of the
// int range; the small fixed offsets added around them (corner marks, the
// placeholder) and the picture's size must not overflow. Nothing that far
// out is on any device.
constexpr int kCoordinateLimit = 1 << 24;

ovx::PixelRect Clamped(const ovx::PixelRect& r) {
  const auto clamp = [](int v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); };
  return {clamp(r.left), clamp(r.top), clamp(r.right), clamp(r.bottom)};
}

bool AllFourLines(TovxFrameTypes typ) {
  return typ.Contains(TovxFrameType::ftLeft) && typ.Contains(TovxFrameType::ftRight) &&
         typ.Contains(TovxFrameType::ftTop) && typ.Contains(TovxFrameType::ftBottom);
}

ovx::CanvasPen SolidPen(ovx::Color color) {
  ovx::CanvasPen pen;
  pen.color = color;
  return pen;
}

}  // namespace

// --- TovxView ---------------------------------------------------------------------

ovx::ViewDrawing TovxView::BeginDraw(ovx::Canvas& canvas, double scale_x, double scale_y,
                                     double offset_x, double offset_y) const {
  return ovx::ViewDrawing{canvas,
                          scale_x,
                          scale_y,
                          offset_x,
                          offset_y,
                          PixelRect(scale_x, scale_y, offset_x, offset_y),
                          FramePixelWidth(scale_x)};
}

void TovxView::DrawBackground(const ovx::ViewDrawing& drawing) const {
  ovx::DrawFill(drawing.canvas, FillParamsOf(Fill()),
                BackgroundRect(drawing.rect, drawing.scale_x, drawing.scale_y));
}

void TovxView::DrawFrame(const ovx::ViewDrawing& drawing) const {
  ovx::DrawFrame(drawing.canvas, FrameParamsOf(Frame()), drawing.rect, drawing.scale_x,
                 drawing.scale_y);
}

void TovxView::DrawDesignMarks(const ovx::ViewDrawing& drawing) const {
  if (!IsDesigning() || dynamic_cast<const TovxDataPage*>(Page())) return;
  // A full frame already shows where the view ends.
  if (AllFourLines(Frame().Typ())) return;
  ovx::Canvas& canvas = drawing.canvas;
  canvas.Pen() = SolidPen(clBlack);
  const ovx::PixelRect r = Clamped(drawing.rect);
  // Two arms of three pixels beyond each corner pixel, pointing inwards
  // (the last point of a polyline is not set).
  constexpr int kArm = 3;
  const std::array<std::array<QPoint, 3>, 4> marks{{
      {QPoint(r.left, r.top + kArm), QPoint(r.left, r.top), QPoint(r.left + kArm, r.top)},
      {QPoint(r.right - kArm, r.top), QPoint(r.right, r.top), QPoint(r.right, r.top + kArm)},
      {QPoint(r.left, r.bottom - kArm), QPoint(r.left, r.bottom), QPoint(r.left + kArm, r.bottom)},
      {QPoint(r.right - kArm, r.bottom), QPoint(r.right, r.bottom),
       QPoint(r.right, r.bottom - kArm)},
  }};
  for (const auto& mark : marks) canvas.Polyline(mark);
}

void TovxView::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                    double offset_y) {
  const ovx::ViewDrawing drawing = BeginDraw(canvas, scale_x, scale_y, offset_x, offset_y);
  DrawBackground(drawing);
  DrawFrame(drawing);
  DrawDesignMarks(drawing);
}

// --- TovxShapeView ------------------------------------------------------------------

void TovxShapeView::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                         double offset_y) {
  const ovx::ViewDrawing drawing = BeginDraw(canvas, scale_x, scale_y, offset_x, offset_y);
  ovx::ShapeParams params;
  params.kind = shape_;
  params.curve = curve_;
  params.color = Color();
  params.brush_style = BrushStyle();
  if (FillType() != TovxFillType::ftBrush) params.clipped_fill = FillParamsOf(Fill());
  params.frame_color = Frame().Color();
  params.frame_style = Frame().Style();
  params.frame_width = drawing.frame_width;

  std::optional<ovx::PixelRect> inner;
  if (Frame().Style() == TovxFrameStyle::fsDouble) {
    // The second outline's bounds, moved inward in report units by
    // multiples of the frame width (more for the pointed shapes, whose
    // sides run closer to the corners).
    const double w = Frame().Width();
    auto inset = [&](const ovx::UnitInset& in) {
      return PixelRect(drawing.scale_x, drawing.scale_y, drawing.offset_x, drawing.offset_y, in);
    };
    switch (shape_) {
      case TovxShapeKind::skRectangle:
      case TovxShapeKind::skRoundRectangle:
      case TovxShapeKind::skEllipse:
        inner = inset({2 * w, 2 * w, -4 * w, -4 * w});
        break;
      case TovxShapeKind::skTriangle:
        inner = inset({4 * w, 4 * w, -8 * w, -6 * w});
        break;
      case TovxShapeKind::skDiamond:
        inner = inset({3 * w, 3 * w, -6 * w, -6 * w});
        break;
      case TovxShapeKind::skDiagonal1:
      case TovxShapeKind::skDiagonal2:
        inner = inset({2 * w, 0, 0, 0});
        break;
    }
  }
  ovx::DrawShape(canvas, params, drawing.rect, scale_x, inner);
}

// --- TovxCustomLineView --------------------------------------------------------------

void TovxCustomLineView::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                              double offset_y) {
  if (!diagonal_) {
    if (Width() <= Height()) {
      SetWidth(0);
      Frame().SetTyp({TovxFrameType::ftLeft});
    } else {
      SetHeight(0);
      Frame().SetTyp({TovxFrameType::ftTop});
    }
  }
  const ovx::ViewDrawing drawing = BeginDraw(canvas, scale_x, scale_y, offset_x, offset_y);
  ovx::LineViewParams params;
  params.diagonal = diagonal_;
  params.color = Color();
  params.arrows.at_start = arrow_start_;
  params.arrows.at_end = arrow_end_;
  params.arrows.solid = arrow_solid_;
  params.arrows.width = arrow_width_;
  params.arrows.length = arrow_length_;
  params.frame = FrameParamsOf(Frame());
  ovx::DrawLineView(canvas, params, drawing.rect, scale_x, scale_y);
}

// --- TovxPictureView ---------------------------------------------------------------

void TovxPictureView::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                           double offset_y) {
  const ovx::ViewDrawing drawing = BeginDraw(canvas, scale_x, scale_y, offset_x, offset_y);
  DrawBackground(drawing);
  const ovx::PixelRect r = Clamped(drawing.rect);

  if (picture_.IsEmpty()) {
    if (IsDesigning()) {
      // A small framed landscape in the top-left corner, inside the view.
      canvas.SaveDC();
      canvas.IntersectClipRect(r);
      canvas.Pen() = SolidPen(clGray);
      canvas.Brush() = ovx::CanvasBrush{clWhite, TovxBrushStyle::bsSolid};
      canvas.Rectangle({r.left + 2, r.top + 2, r.left + 20, r.top + 18});
      const std::array<QPoint, 5> hills{
          QPoint(r.left + 4, r.top + 15), QPoint(r.left + 9, r.top + 9),
          QPoint(r.left + 12, r.top + 12), QPoint(r.left + 14, r.top + 10),
          QPoint(r.left + 18, r.top + 15)};
      canvas.Polyline(hills);
      canvas.RestoreDC();
    }
  } else if (picture_.Kind() == ovx::PictureKind::kEnhancedMetafile) {
    // Scaled into place like a raster picture, and kept inside the view:
    // a metafile may draw beyond its frame. A damaged one shows what
    // played before the damage.
    const QRectF place =
        PictureRect(QRectF(r.left, r.top, r.Width(), r.Height()), scale_x, scale_y);
    canvas.SaveDC();
    canvas.IntersectClipRect(r);
    (void)ovx::PlayMetafile(picture_.Data(), canvas, place);
    canvas.RestoreDC();
  } else if (!picture_.Image().isNull()) {
    // Placeable metafiles (WMF) have no raster image and no player: they
    // show nothing.
    const QRectF place =
        PictureRect(QRectF(r.left, r.top, r.Width(), r.Height()), scale_x, scale_y);
    const ovx::PixelRect dest =
        Clamped({ovx::RoundToInt(place.left()), ovx::RoundToInt(place.top()),
                 ovx::RoundToInt(place.right()), ovx::RoundToInt(place.bottom())});
    const std::optional<ovx::Color> transparent =
        transparent_ ? std::optional<ovx::Color>(ovx::ColorToRgb(transparent_color_))
                     : std::nullopt;
    if (!dest.IsEmpty()) {
      if (stretched_) {
        canvas.StretchDraw(dest, picture_.Image(), transparent);
      } else {
        // At its own size the picture may be larger than the view.
        canvas.SaveDC();
        canvas.IntersectClipRect(r);
        canvas.StretchDraw(dest, picture_.Image(), transparent);
        canvas.RestoreDC();
      }
    }
  }

  DrawFrame(drawing);
  DrawDesignMarks(drawing);
}

// --- TovxReportPage ----------------------------------------------------------------

void TovxReportPage::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                          double offset_y) {
  TovxPictureView& view = *background_;
  if (back_picture_stretched_) {
    view.SetBounds(0, 0, PrintableWidth(), PrintableHeight());
  } else {
    view.SetBounds(0, 0, view.Picture().Width(), view.Picture().Height());
  }
  if (!back_picture_visible_ || (canvas.IsPrinter() && !back_picture_printable_)) return;
  view.Draw(canvas, scale_x, scale_y, offset_x + scale_x * left_margin_ * ov01cm,
            offset_y + scale_y * top_margin_ * ov01cm);
}
