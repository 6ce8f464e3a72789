// A canvas that measures but draws nothing: the text layout's private
// measuring surface (at 600 pixels per inch), and the base of canvases that
// only observe drawing.
#pragma once

#include "render/canvas.h"

#include <vector>

namespace ovx {

class NullCanvas : public Canvas {
 public:
  explicit NullCanvas(int dpi_x = 96, int dpi_y = 0)
      : dpi_x_(dpi_x), dpi_y_(dpi_y ? dpi_y : dpi_x) {}

  int DpiX() const override { return dpi_x_; }
  int DpiY() const override { return dpi_y_; }

  void LineTo(int x, int y) override { SetPenPos(QPoint(x, y)); }
  void Rectangle(const PixelRect&) override {}
  void FillRect(const PixelRect&) override {}
  void RoundRect(const PixelRect&, int, int) override {}
  void Ellipse(const PixelRect&) override {}
  void Polygon(std::span<const QPoint>) override {}
  void Polyline(std::span<const QPoint>) override {}
  void BeginPath() override {}
  void EndPath() override {}
  void SelectClipPath() override {}

  // The clip is tracked, so RectVisible answers as a real device would.
  void SaveDC() override;
  void RestoreDC() override;
  void IntersectClipRect(const PixelRect& rect) override;
  void ExcludeClipRect(const PixelRect& rect) override;
  std::optional<QRegion> ClipRegion() const override { return clip_; }
  void SelectClipRegion(const std::optional<QRegion>& region) override;
  void SetMetaClip() override;
  bool RectVisible(const PixelRect& rect) const override;

  void ExtTextOut(int, int, int, const PixelRect*, QStringView, std::span<const int>) override {}
  void StretchDraw(const PixelRect&, const QImage&, std::optional<Color>) override {}

 private:
  struct Saved {
    std::optional<QRegion> clip;
    std::optional<QRegion> meta_clip;
    CanvasFont font;
    CanvasPen pen;
    CanvasBrush brush;
  };
  int dpi_x_;
  int dpi_y_;
  std::optional<QRegion> clip_;
  std::optional<QRegion> meta_clip_;
  std::vector<Saved> saved_;
};

}  // namespace ovx
