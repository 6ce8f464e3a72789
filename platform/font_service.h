// Fonts: finding faces, measuring characters, giving glyph outlines.
//
// Every measurement the library makes goes through here, never through the
// window system's font metrics, so that a text breaks into the same lines on
// screen, printer, image and PDF. Faces are found through fontconfig (with
// the configuration the program ships, which maps the Windows face names
// templates use to Debian fonts, and with the private font files the program
// registers). Characters are measured with FreeType's design advances,
// unhinted and without kerning; vertical metrics come from the OS/2 table as
// the platform would report them. A character the requested face lacks is
// drawn with a fallback face chosen once per face and character and reused
// by measuring, drawing and PDF embedding alike.
//
// All calls are thread-safe: report preparation may measure in its own
// thread while the preview draws.
#pragma once

#include <QPainterPath>
#include <QString>
#include <QStringList>

#include <memory>

namespace ovx {

// One face of a font file. Faces live as long as the service; references to
// them stay valid.
class FontFace {
 public:
  virtual ~FontFace() = default;

  virtual const QString& FilePath() const = 0;
  // The face's index inside a collection file (0 for a single face).
  virtual int FaceIndex() const = 0;
  virtual const QString& FamilyName() const = 0;
  virtual int UnitsPerEm() const = 0;
  // usWinAscent and usWinDescent of the OS/2 table (the hhea values when
  // there is none), font units: the platform's cell above and below the
  // baseline.
  virtual int Ascent() const = 0;
  virtual int Descent() const = 0;
  // The style the face itself has (not a simulated one).
  virtual bool IsBold() const = 0;
  virtual bool IsItalic() const = 0;
  // Decoration lines in font units, positive above the baseline: the centre
  // of the underline (post table) and the top of the strike-out stroke
  // (OS/2), each with its thickness; made up from the em size when the
  // font does not say.
  virtual int UnderlinePosition() const = 0;
  virtual int UnderlineThickness() const = 0;
  virtual int StrikeoutPosition() const = 0;
  virtual int StrikeoutThickness() const = 0;

  // 0 when the face has no glyph for `ch`.
  virtual unsigned GlyphIndex(char32_t ch) const = 0;
  // Advance width of a glyph in font units, from the hmtx table.
  virtual int DesignAdvance(unsigned glyph) const = 0;
  // The outline in font units, y pointing up from the baseline; empty for
  // blank glyphs and for glyph ids the face does not have.
  virtual QPainterPath GlyphOutline(unsigned glyph) const = 0;
};

// Vertical metrics in device pixels, as the platform's text metrics give
// them.
struct FontMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;  // ascent + descent
};

// A face at a pixel size with a style: what a canvas font turns into.
// Cheap to make; the service shares the per-character caches between equal
// instances.
class ScaledFont {
 public:
  // `pixel_height` as the platform's font height: negative for the
  // character (em) height, positive for the cell height (ascent + descent).
  // Style bits: bold 1, italic 2 (underline and strike-out do not change
  // metrics).
  ScaledFont(const QString& family, int pixel_height, int style_bits);

  const FontFace& Face() const;
  // The em size in pixels (not rounded).
  double EmPixels() const;
  FontMetrics Metrics() const;

  // The face that draws `ch`: this font's face when it has the glyph,
  // otherwise the fallback chosen for it.
  const FontFace& FaceFor(char32_t ch) const;
  // Whole-pixel advance of one character: its design advance scaled to the
  // em size and rounded; a simulated bold adds nothing.
  int Advance(char32_t ch) const;
  // Whether bold or italic has to be simulated because the face lacks it.
  bool SimulatedBold() const;
  bool SimulatedItalic() const;

 private:
  friend class FontService;  // makes and keeps the shared caches
  struct Shared;
  std::shared_ptr<const Shared> shared_;
};

class FontService {
 public:
  static FontService& Instance();

  // Makes a font file's faces available to this process under their family
  // names (the program's private font). Fails with a message when the file
  // cannot be read as a font.
  bool AddPrivateFont(const QString& file_path, QString* error = nullptr);
  void RemovePrivateFont(const QString& file_path);

  // The best face for a family name and style bits (bold 1, italic 2). An
  // unknown family resolves as fontconfig substitutes it; never fails.
  const FontFace& Resolve(const QString& family, int style_bits);
  // The face that draws `ch` in text set in `primary` (see ScaledFont).
  const FontFace& FaceFor(const FontFace& primary, char32_t ch);

  // Family names of the faces fontconfig knows (for font pickers).
  QStringList Families();

  FontService(const FontService&) = delete;
  FontService& operator=(const FontService&) = delete;

 private:
  friend class ScaledFont;  // shares its per-character caches through Impl
  FontService();
  ~FontService();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ovx
