// The canvas over a QPainter: images (screen pages, thumbnails, JPEG
// export) and print devices.
//
// Drawing is aliased and follows the pixel conventions of canvas.h exactly;
// text is filled from the font service's glyph outlines at the advances the
// caller gives, antialiased, so what is drawn is what was measured.
#pragma once

#include "render/canvas.h"

#include <QPainter>

#include <memory>

class QPaintDevice;

namespace ovx {

class PainterCanvas : public Canvas {
 public:
  // Draws on `device` (which must outlive the canvas) at the given
  // resolution; 0 takes the device's own (and 96 when it has none).
  explicit PainterCanvas(QPaintDevice* device, int dpi_x = 0, int dpi_y = 0);
  ~PainterCanvas() override;

  // An image of `width` x `height` pixels at `dpi`, filled white, that the
  // canvas owns. Throws ovx::Error when no such image can be made (a size
  // of 0 or less, or too large for memory).
  static std::unique_ptr<PainterCanvas> ForImage(int width, int height, int dpi = 96);
  // The owned image (null for a canvas over another device). Finish
  // drawing (End) before reading it.
  const QImage* Image() const;
  // Ends painting; further drawing is ignored.
  void End();

  int DpiX() const override { return dpi_x_; }
  int DpiY() const override { return dpi_y_; }

  void LineTo(int x, int y) override;
  void Rectangle(const PixelRect& rect) override;
  void FillRect(const PixelRect& rect) override;
  void RoundRect(const PixelRect& rect, int corner_width, int corner_height) override;
  void Ellipse(const PixelRect& rect) override;
  void Polygon(std::span<const QPoint> points) override;
  void Polyline(std::span<const QPoint> points) override;
  void BeginPath() override;
  void EndPath() override;
  void SelectClipPath() override;

  void SaveDC() override;
  void RestoreDC() override;
  void IntersectClipRect(const PixelRect& rect) override;
  void ExcludeClipRect(const PixelRect& rect) override;
  std::optional<QRegion> ClipRegion() const override;
  void SelectClipRegion(const std::optional<QRegion>& region) override;
  void SetMetaClip() override;
  bool RectVisible(const PixelRect& rect) const override;

  void ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                  std::span<const int> advances) override;

  void StretchDraw(const PixelRect& dest, const QImage& image,
                   std::optional<Color> transparent = std::nullopt) override;

  // The painter, for backends that add device-specific steps.
  QPainter& Painter() { return painter_; }

 private:
  struct State;
  std::unique_ptr<QImage> owned_image_;
  QPainter painter_;
  int dpi_x_ = 96;
  int dpi_y_ = 96;
  std::unique_ptr<State> state_;
};

}  // namespace ovx
