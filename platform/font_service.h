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
  // The glyph the face's OpenType vertical forms (vert, vrt2) put in place
  // of its glyph for `ch`; 0 when they leave it as it is.
  virtual unsigned VerticalGlyphIndex(char32_t ch) const = 0;
};

// One glyph of one face.
struct FaceGlyph {
  const FontFace* face = nullptr;
  unsigned glyph = 0;
  // Where the glyph is drawn from its usual place, in the face's font
  // units, y up (a mark moved to the top right of its square).
  int shift_x = 0;
  int shift_y = 0;
};

// The Unicode vertical presentation form of a mark of Chinese text
// (U+FE10-FE19, U+FE30-FE44), 0 when it has none. Quotation marks give the
// corner brackets that stand for them in vertical Chinese text.
char32_t VerticalPresentationForm(char32_t ch);
// The ordinary mark a vertical presentation form stands for (a corner
// bracket, not a quotation mark), 0 for other characters.
char32_t MarkOfVerticalPresentationForm(char32_t form);

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
  // The glyph that sets `ch` in vertical text (FontService::VerticalGlyph);
  // it takes the place and advance of `ch`.
  FaceGlyph VerticalGlyph(char32_t ch) const;
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
  // A Chinese character the primary lacks comes from a face of the
  // primary's kind first (Kai, Song/Ming or Hei, told by its family name:
  // the private face "楷体-Velmora" is Kai), then from the other Chinese
  // faces, then from Hanazono (CJK Extension B and beyond); anything else,
  // or what none of those has, from fontconfig's order for the primary.
  // What no face has stays with the primary (its .notdef box).
  const FontFace& FaceFor(const FontFace& primary, char32_t ch);
  // The glyph that sets `ch` in vertical text set in `primary`. The marks
  // that stand beside the text (，、。．：；？！) keep their glyph, moved
  // from the bottom left to the top right of the em square as vertical
  // Chinese text places them (a face's own vertical forms of these follow
  // its region's rule, often centred). Brackets, parentheses, quotation
  // marks, dashes and the ellipsis turn: the vertical form (vert/vrt2) of
  // the face that draws `ch`, else the vertical presentation form from the
  // primary or its fallback. Anything else keeps its glyph. Screen, images,
  // print and PDF all ask here.
  FaceGlyph VerticalGlyph(const FontFace& primary, char32_t ch);

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
