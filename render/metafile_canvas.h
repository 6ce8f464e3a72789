// The recorded page: a canvas that writes everything drawn on it as an
// enhanced metafile in the public EMF record layout, which the metafile
// player reads back (on screen, in images, into PDF) and which other
// programs can read as well.
//
// Each canvas call becomes the records the platform itself would write:
// pens, brushes and fonts as object records (created once, selected when
// they change, deleted when the small cache of live objects overflows),
// shapes as their records, FillRect as a pattern blit, text as
// EXTTEXTOUTW with the advance of every UTF-16 unit spelled out (the
// font's own advances where the caller gave none), pictures as
// STRETCHDIBITS (or ALPHABLEND when they have transparent parts), clips
// and SaveDC/RestoreDC as theirs. Replayed onto a canvas of the same
// resolution, the records make exactly the calls that were recorded, so
// the replay matches drawing directly pixel for pixel.
//
// Measuring is the base canvas's (the font service), and the clip is
// tracked as on a device of the recorded size, so layouts and visibility
// tests answer as they would on the screen.
#pragma once

#include "render/null_canvas.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>

namespace ovx {

// An enhanced metafile: the file's bytes and the size of the surface it
// was recorded on, in pixels.
struct Metafile {
  QByteArray bytes;
  QSize size;

  bool IsEmpty() const { return bytes.isEmpty(); }
};

class MetafileCanvas : public NullCanvas {
 public:
  // A surface of `width` x `height` pixels at `dpi` pixels per inch (96:
  // report units). `title` names the picture in the file's description.
  MetafileCanvas(int width, int height, int dpi = 96, const QString& title = QString());
  ~MetafileCanvas() override;

  // Ends the recording and hands the file over; drawing after it is not
  // recorded.
  Metafile Finish();

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
  void SelectClipRegion(const std::optional<QRegion>& region) override;
  void SetMetaClip() override;
  bool RectVisible(const PixelRect& rect) const override;

  void ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                  std::span<const int> advances) override;
  void StretchDraw(const PixelRect& dest, const QImage& image,
                   std::optional<Color> transparent = std::nullopt) override;

 private:
  struct Recorder;
  std::unique_ptr<Recorder> recorder_;
};

}  // namespace ovx
