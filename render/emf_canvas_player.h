// Replaying a metafile onto a canvas: the screen, an image, a printer page.
//
// The player turns each drawing record back into the canvas call it
// stands for, at the canvas pixels the metafile's frame is stretched over.
// At one metafile pixel per canvas pixel (a recorded page replayed at its
// own resolution) the calls are exactly those that were recorded, so the
// replay and the direct drawing cover the same pixels.
//
// The canvas's own clip stays the outer bound of everything the metafile
// does (it becomes the meta clip for the time of the playback), and the
// canvas's state is restored afterwards, also when playback fails.
//
// What the canvas cannot express is approximated: polygons fill by the
// alternate rule whatever the metafile asks, paths are filled through a
// clip, pattern brushes are drawn in their average colour, curves are
// flattened, raster operations other than copying a source or a pattern
// are left out, and text given as glyph indices is not drawn.
#pragma once

#include "render/canvas.h"
#include "render/emf_player.h"

#include <QRectF>

#include <functional>
#include <optional>
#include <unordered_map>

namespace ovx {

class Stream;

class EmfCanvasPlayer : public TEMFAbstractExport {
 public:
  // `dest` (canvas pixels) receives the metafile's frame; when it is
  // empty the metafile plays at its own pixels with the frame's top left
  // at the canvas origin.
  EmfCanvasPlayer(Stream& input, Canvas& canvas, const QRectF& dest = QRectF());
  ~EmfCanvasPlayer() override;

 protected:
  void BeginPlay() override;
  void EndPlay() override;

  void DoHeader() override;
  void DoPolyBezier() override;
  void DoPolygon() override;
  void DoPolyline() override;
  void DoPolyBezierTo() override;
  void DoPolylineTo() override;
  void DoPolyPolyline() override;
  void DoPolyPolygon() override;
  void DoSetPixelV() override;
  void DoOffsetClipRgn() override;
  void DoMoveToEx() override;
  void DoSetMetaRgn() override;
  void DoExcludeClipRect() override;
  void DoIntersectClipRect() override;
  void DoSaveDC() override;
  void DoRestoreDC() override;
  void DoAngleArc() override;
  void DoEllipse() override;
  void DoRectangle() override;
  void DoRoundRect() override;
  void DoArc() override;
  void DoChord() override;
  void DoPie() override;
  void DoLineTo() override;
  void DoArcTo() override;
  void DoPolyDraw() override;
  void DoBeginPath() override;
  void DoCloseFigure() override;
  void DoFillPath() override;
  void DoStrokeAndFillPath() override;
  void DoStrokePath() override;
  void DoSelectClipPath() override;
  void DoAbortPath() override;
  void DoFillRgn() override;
  void DoPaintRgn() override;
  void DoExtSelectClipRgn() override;
  void DoBitBlt() override;
  void DoStretchBlt() override;
  void DoSetDIBitsToDevice() override;
  void DoStretchDIBits() override;
  void DoExtTextOutA() override;
  void DoExtTextOutW() override;
  void DoPolyBezier16() override;
  void DoPolygon16() override;
  void DoPolyline16() override;
  void DoPolyBezierTo16() override;
  void DoPolylineTo16() override;
  void DoPolyPolyline16() override;
  void DoPolyPolygon16() override;
  void DoPolyDraw16() override;
  void DoPolyTextOutA() override;
  void DoPolyTextOutW() override;
  void DoSmallTextOut() override;
  void DoAlphaBlend() override;
  void DoTransparentBlt() override;
  void DoGradientFill() override;

 private:
  enum class Style { kStroke, kFill };
  struct PathOp {
    std::function<void(Canvas&)> draw;
    QRect bounds;
  };
  struct TextRun {
    QPoint reference;
    quint32 options = 0;
    QRect clip;
    QString text;
    std::vector<int> advances;  // logical units; empty: the font's
  };

  QTransform ToCanvas() const;
  QPoint CanvasPoint(QPointF logical) const;
  PixelRect CanvasRect(const QRect& logical) const;
  PixelRect DeviceToCanvas(const QRect& device) const;
  QRegion DeviceRegionToCanvas(const std::vector<QRect>& rects) const;
  CanvasPen CurrentPen() const;
  CanvasBrush BrushOf(const TEnhMetaObj* brush);
  void Apply(Style style);
  // The background a hatched `brush` lays under its lines: the background
  // colour in opaque mode; nothing for other brushes.
  std::optional<CanvasBrush> HatchBackground(const CanvasBrush& brush) const;
  void Run(std::function<void(Canvas&)> draw, const QRect& bounds, Style style);
  void DrawPoints(const std::vector<QPoint>& logical, bool closed, bool from_current);
  void DrawBeziers(const std::vector<QPoint>& logical, bool from_current);
  void DrawPolygons(const std::vector<std::vector<QPoint>>& logical, bool closed);
  void DrawBox(quint32 type, const QRect& box, QSize corner);
  void DrawArc(quint32 type, const QRect& box, QPoint start, QPoint end);
  void DrawFigures(const TEMRPolyObj& poly);
  void FillPath();
  void StrokePath();
  void DrawText(const TextRun& run);
  void DrawImage(const QRect& dest_logical, QImage image, std::optional<Color> transparent);
  void CombineCanvasClip(const std::optional<QRegion>& region, quint32 mode);
  void FillDeviceRects(const std::vector<QRect>& rects, const CanvasBrush& brush);

  Canvas& canvas_;
  QRectF dest_;
  double sx_ = 1, sy_ = 1, tx_ = 0, ty_ = 0;
  bool open_ = false;
  int saves_ = 0;
  std::vector<PathOp> path_;
  QPoint figure_start_;
  std::unordered_map<const TEnhMetaObj*, Color> pattern_colors_;
};

// Plays the metafile `bytes` onto `canvas` with its frame in `dest` (see
// EmfCanvasPlayer). Answers an empty text when it played to its end,
// otherwise why it stopped; what played before stays drawn.
QString PlayMetafile(const QByteArray& bytes, Canvas& canvas, const QRectF& dest = QRectF());

}  // namespace ovx
