// The drawing surface every output goes through: screen, printer, image
// and recorded page.
//
// The operations and their pixel conventions are those of the platform
// drawing interface the report layouts were made for, because the layout
// arithmetic relies on them:
//   - Rectangles (Rectangle, FillRect, Ellipse, RoundRect, clip rectangles)
//     have exclusive right and bottom edges: (0, 0, 10, 10) covers pixels
//     0..9. Rectangle outlines its area with the pen inside it, the brush
//     filling the inside; with a clear pen the fill of Rectangle, Ellipse
//     and RoundRect ends one pixel short on the right and at the bottom.
//   - LineTo draws from the current position up to, but not including, the
//     end point; a one-pixel pen sets exactly one pixel per step.
//   - A pen is cosmetic (one pixel, any of the styled patterns, or wider
//     and solid with round ends) or geometric (any width, flat, square or
//     round caps, an optional user dash pattern). The gaps of a styled
//     one-pixel line take the brush colour while the brush is solid (the
//     platform's opaque background) and stay transparent otherwise.
//   - Hatch brushes draw their lines in the brush colour over a transparent
//     background.
//   - Text is drawn with its reference point at the top left of the
//     character cell (the baseline lies `ascent` pixels below it), with a
//     transparent background, at the advances the caller gives or else at
//     the font's own advances.
//   - The clip is a region that can be saved and restored (SaveDC /
//     RestoreDC) and intersected or reduced by rectangles and paths; the
//     meta clip is an outer region the clip can never leave.
//
// Coordinates are device pixels; the canvas knows its resolution. All
// measuring is done here, from the font service, so every canvas measures
// alike; backends only draw.
#pragma once

#include "base/brush_style.h"
#include "base/color.h"
#include "base/pixel_rect.h"
#include "platform/font_service.h"

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QString>

#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace ovx {

// The canvas font, as the platform's logical font describes it.
struct CanvasFont {
  QString name = QStringLiteral("Arial");
  // Device pixels; negative: the character height, positive: the cell
  // height.
  int height = -13;
  // Bold 1, italic 2, underline 4, strike-out 8.
  int style_bits = 0;
  Color color = clBlack;
  int charset = 1;
  // Text direction in tenths of a degree, counter-clockwise (900 reads
  // upwards).
  int escapement = 0;
  // Marks and brackets take their vertical forms (the text reads top to
  // bottom one character at a time); the text itself stays as it is.
  bool vertical_forms = false;

  bool operator==(const CanvasFont&) const = default;
};

enum class PenStyle { kSolid, kDash, kDot, kDashDot, kDashDotDot, kClear };
enum class LineCap { kRound, kSquare, kFlat };

struct CanvasPen {
  Color color = clBlack;
  int width = 1;
  PenStyle style = PenStyle::kSolid;
  // A geometric pen keeps its width at any length, ends in `cap`, and
  // follows `dashes` (alternating dash and gap lengths in pixels) when
  // given.
  bool geometric = false;
  LineCap cap = LineCap::kRound;
  std::vector<int> dashes;

  bool operator==(const CanvasPen&) const = default;
};

struct CanvasBrush {
  Color color = clWhite;
  TovxBrushStyle style = TovxBrushStyle::bsSolid;

  bool operator==(const CanvasBrush&) const = default;
};

// ExtTextOut options.
inline constexpr int kTextClipped = 4;
inline constexpr int kTextRtlReading = 128;

class Canvas {
 public:
  Canvas() = default;
  virtual ~Canvas() = default;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // --- the device -------------------------------------------------------------
  // Pixels per inch; never 0.
  virtual int DpiX() const = 0;
  virtual int DpiY() const = 0;
  // A printer page (its fonts scale with the print scale).
  virtual bool IsPrinter() const { return false; }

  // --- state the next drawing uses ----------------------------------------------
  CanvasFont& Font() { return font_; }
  const CanvasFont& Font() const { return font_; }
  CanvasPen& Pen() { return pen_; }
  const CanvasPen& Pen() const { return pen_; }
  CanvasBrush& Brush() { return brush_; }
  const CanvasBrush& Brush() const { return brush_; }
  QPoint PenPos() const { return pen_pos_; }
  // Taken around every use by the text layout.
  std::recursive_mutex& Lock() { return lock_; }

  // --- measuring (the current font at this device's pixels) ------------------------
  FontMetrics Metrics() const;
  // One cumulative advance per UTF-16 unit of `text` (the low half of a
  // surrogate pair adds nothing); answers the total. `cumulative` must
  // hold text.size() entries.
  int TextExtents(QStringView text, std::span<int> cumulative) const;
  int TextWidth(QStringView text) const;
  // The current font as measured (shared caches; cheap to call).
  ScaledFont CurrentScaledFont() const;

  // --- lines and shapes -----------------------------------------------------------
  void MoveTo(int x, int y) { pen_pos_ = QPoint(x, y); }
  // Draws with the pen and moves the current position to (x, y).
  virtual void LineTo(int x, int y) = 0;
  // Outline with the pen, inside with the brush.
  virtual void Rectangle(const PixelRect& rect) = 0;
  // The brush only, no outline.
  virtual void FillRect(const PixelRect& rect) = 0;
  virtual void RoundRect(const PixelRect& rect, int corner_width, int corner_height) = 0;
  virtual void Ellipse(const PixelRect& rect) = 0;
  // Closed, outlined and filled.
  virtual void Polygon(std::span<const QPoint> points) = 0;
  // Open, outlined only.
  virtual void Polyline(std::span<const QPoint> points) = 0;

  // Between BeginPath and EndPath the shape calls above build a path
  // instead of drawing; SelectClipPath makes that path the clip (within
  // the meta clip) and forgets it.
  virtual void BeginPath() = 0;
  virtual void EndPath() = 0;
  virtual void SelectClipPath() = 0;

  // --- clipping -------------------------------------------------------------------
  // Saves and restores the clip (and meta clip), font, pen and brush.
  virtual void SaveDC() = 0;
  virtual void RestoreDC() = 0;
  virtual void IntersectClipRect(const PixelRect& rect) = 0;
  virtual void ExcludeClipRect(const PixelRect& rect) = 0;
  // The current clip, nullopt when there is none.
  virtual std::optional<QRegion> ClipRegion() const = 0;
  // Replaces the clip (nullopt removes it), always within the meta clip.
  virtual void SelectClipRegion(const std::optional<QRegion>& region) = 0;
  // Makes the current clip the meta clip and removes the clip.
  virtual void SetMetaClip() = 0;
  // Whether any part of `rect` may be drawn.
  virtual bool RectVisible(const PixelRect& rect) const = 0;

  // --- text ---------------------------------------------------------------------------
  // One run at (x, y), the top left of its first character cell (rotated
  // about that point by the font's escapement). `advances`, when not
  // empty, gives each UTF-16 unit's advance in pixels and is followed
  // exactly; `clip` limits the run when `options` has kTextClipped.
  virtual void ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                          std::span<const int> advances) = 0;

  // --- pictures -------------------------------------------------------------------
  // `image` stretched into `dest`; with `transparent`, pixels of that colour
  // are left out.
  virtual void StretchDraw(const PixelRect& dest, const QImage& image,
                           std::optional<Color> transparent = std::nullopt) = 0;

 protected:
  void SetPenPos(QPoint p) { pen_pos_ = p; }

 private:
  CanvasFont font_;
  CanvasPen pen_;
  CanvasBrush brush_;
  QPoint pen_pos_;
  std::recursive_mutex lock_;
};

}  // namespace ovx
