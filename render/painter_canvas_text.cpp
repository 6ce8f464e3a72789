// Text on a QPainter: every character is filled from its glyph outline at
// the position the caller's advances give, never through QFont, so what is
// drawn is exactly what the font service measured.
//
// The run is laid out in a frame whose origin is the reference point (the
// top left of the first cell) and whose x axis is the text direction; the
// escapement rotates that frame counter-clockwise on screen. Glyph outlines
// come in font units with y up, so each glyph is scaled by em / upem of the
// face that draws it (fallback faces have their own em square) and flipped
// about the baseline, which lies `ascent` below the reference point.
#include "render/painter_canvas.h"

#include "base/rounding.h"
#include "base/utf16.h"

#include <QPainterPath>
#include <QTransform>

#include <cmath>

namespace ovx {

namespace {

// The slant of a simulated italic: x moves by this much per unit of height.
constexpr double kSimulatedItalicShear = 0.2;
// A simulated bold thickens every stroke by an outline pen of em / 32.
constexpr double kSimulatedBoldPenPerEm = 1.0 / 32;

QColor ToQColor(Color color) {
  const Color rgb = ColorToRgb(color);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

}  // namespace

void PainterCanvas::ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                               std::span<const int> advances) {
  const CanvasFont& font = Font();
  if (text.isEmpty() || !painter_.isActive() || font.color == clNone) return;
  const ScaledFont scaled = CurrentScaledFont();
  const double em = scaled.EmPixels();
  if (em <= 0) return;
  const QColor color = ToQColor(font.color);
  const bool bold = scaled.SimulatedBold();
  const double shear = scaled.SimulatedItalic() ? kSimulatedItalicShear : 0.0;
  const int ascent = scaled.Metrics().ascent;

  painter_.save();
  if ((options & kTextClipped) && clip) {
    // Qt replaces rather than intersects when there is no clip yet, which
    // is what an unclipped canvas needs as well.
    painter_.setClipRect(QRect(clip->left, clip->top, clip->Width(), clip->Height()),
                         Qt::IntersectClip);
  }
  painter_.setRenderHint(QPainter::Antialiasing, true);
  painter_.translate(x, y);
  if (font.escapement % 3600 != 0) painter_.rotate(-font.escapement / 10.0);
  const QTransform run = painter_.transform();
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(color);

  qint64 pen_x = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    // Plain variables, not a structured binding: lambdas below capture them.
    const CodePointAt read = ReadCodePoint(text, i);
    const char32_t code_point = read.code_point;
    const bool pair = read.length == 2;
    auto advance_at = [&](qsizetype k) {
      if (k < static_cast<qsizetype>(advances.size())) return qint64{advances[k]};
      // Past the caller's advances (or without any) the font's own apply;
      // the low half of a pair has none of its own.
      return k == i ? qint64{scaled.Advance(code_point)} : qint64{0};
    };
    const qint64 advance = advance_at(i) + (pair ? advance_at(i + 1) : 0);

    FaceGlyph glyph{&scaled.FaceFor(code_point), 0, 0, 0};
    if (font.vertical_forms) {
      glyph = scaled.VerticalGlyph(code_point);
    } else {
      glyph.glyph = glyph.face->GlyphIndex(code_point);
    }
    const FontFace& face = *glyph.face;
    const QPainterPath outline = face.GlyphOutline(glyph.glyph);
    if (!outline.isEmpty()) {
      const double s = em / face.UnitsPerEm();
      painter_.setTransform(QTransform(s, 0, shear * s, -s, static_cast<double>(pen_x), ascent) *
                            run);
      if (glyph.shift_x != 0 || glyph.shift_y != 0)
        painter_.translate(glyph.shift_x, glyph.shift_y);
      if (bold) {
        painter_.setPen(QPen(color, face.UnitsPerEm() * kSimulatedBoldPenPerEm));
        painter_.drawPath(outline);
        painter_.setPen(Qt::NoPen);
      } else {
        painter_.drawPath(outline);
      }
    }
    pen_x += advance;
    if (pair) ++i;
  }

  if (font.style_bits & (4 | 8)) {
    // Decoration lines span the run and sit on whole pixels, as the
    // platform draws them.
    painter_.setTransform(run);
    const FontFace& face = scaled.Face();
    const double s = em / face.UnitsPerEm();
    auto line = [&](double top, int thickness) {
      const int pixels = std::max(1, RoundToInt(thickness * s));
      painter_.fillRect(QRectF(0, RoundToInt(top), static_cast<double>(pen_x), pixels), color);
    };
    if (font.style_bits & 4) {
      const int thickness = face.UnderlineThickness();
      line(ascent - face.UnderlinePosition() * s - std::max(1, RoundToInt(thickness * s)) / 2,
           thickness);
    }
    if (font.style_bits & 8) line(ascent - face.StrikeoutPosition() * s, face.StrikeoutThickness());
  }
  painter_.restore();
}

}  // namespace ovx
