// Fonts as a PDF document embeds them.
//
// One TovxPDFFont stands for one font program (one face of one font file)
// in one effective style. Text is shaped with HarfBuzz over exactly the
// bytes that will be embedded, so the glyph ids in the content stream are
// the ids of the embedded program. Each font is written as a Type0 font
// with Identity-H encoding over one CID font:
//  - TrueType outlines: CIDFontType2 with /FontFile2. Codes are glyph ids
//    (CIDToGIDMap /Identity) until one glyph is met for two different
//    characters; then the later character gets a fresh code above the
//    font's glyph ids and a CIDToGIDMap stream maps it back, so ToUnicode
//    can give each place its own character.
//  - CFF outlines (OTTO, and CFF faces inside collections): CIDFontType0
//    with /FontFile3 /Subtype /CIDFontType0C, the CFF table of the subset.
//    Codes are the CFF's CIDs (for a name-keyed CFF: glyph ids), which the
//    embedded subset keeps. A charset gives a glyph one CID only, so a CFF
//    glyph met for two characters keeps the first one (with a warning).
// Widths (/W) are each glyph's own hmtx advance at 1000 units per em.
// Measuring for layout stays with the font service; these widths only
// describe the embedded program.
//
// Usage by the document writer: PdfFontList::FindOrAdd (or MapRuns for
// text that may need fallback faces) while writing pages; at the end, for
// every font, allocate object numbers (font_file only when HasFontFile(),
// cid_to_gid_map only when NeedsCidToGidMap(), cid_set with font_file) and
// call BuildObjects.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace ovx {
class FontFace;
}

// Text mapped for the content stream: codes are what the page's Tj/TJ
// operators show (2 bytes each, Identity-H), not necessarily glyph ids.
struct TRemapedString {
  std::vector<uint16_t> codes;  // one per glyph, visual order
  std::vector<int> advances;    // per glyph, 1/1000 em
  int width = 0;                // sum of advances, 1/1000 em
  int spaces = 0;               // space glyphs, counted only when glyphs == characters
  bool all_below_65535 = true;  // every glyph id fits a 2-byte code below 0xFFFF
  bool fewer_glyphs = false;    // shaping gave fewer glyphs than UTF-16 units
};

namespace ovx {

struct PdfFontObjectNumbers {
  int type0 = 0;
  int cid_font = 0;
  int descriptor = 0;
  int font_file = 0;  // 0 when !HasFontFile()
  int to_unicode = 0;
  int cid_to_gid_map = 0;  // 0 when !NeedsCidToGidMap()
  int cid_set = 0;         // 0 when !HasFontFile()
};

// Writes a PDF string token for object `object_number` (escaped, and
// encrypted when the document is protected), e.g. "(Adobe)".
using PdfStringWriter = std::function<QByteArray(int object_number, QByteArrayView text)>;

struct PdfFontObjects {
  QByteArray type0_dict, cid_font_dict, descriptor_dict;  // "<< ... >>"
  QByteArray font_file;             // the program bytes, uncompressed; empty without one
  QByteArray font_file_dict_extra;  // "/Length1 123" or "/Subtype /CIDFontType0C"
  QByteArray to_unicode;            // CMap stream content, uncompressed
  QByteArray cid_to_gid_map;        // stream content, empty when not needed
  // The CIDSet stream: one bit per CID, most significant bit first, set
  // for every CID the embedded program holds a glyph for (PDF/A requires
  // it of subset CID fonts). Empty without a program.
  QByteArray cid_set;
};

// Metrics in 1/1000 em, y up from the baseline.
struct PdfFontMetrics {
  int ascent = 0;
  int descent = 0;  // negative below the baseline
  int leading = 0;  // line gap
  int cap_height = 0;
  int x_height = 0;
  int bbox[4] = {0, 0, 0, 0};  // x min, y min, x max, y max
  double italic_angle = 0;     // degrees, negative leans right
  int flags = 32;              // descriptor /Flags
  int stem_v = 0;
  int avg_width = 0;
  int max_width = 0;
  int underline_position = 0;  // centre of the stroke
  int underline_thickness = 0;
  int strikeout_position = 0;  // centre of the stroke
  int strikeout_thickness = 0;
};

}  // namespace ovx

class TovxPDFFont {
 public:
  // The text matrix of a simulated italic ("1 0 0.25 1 x y Tm").
  static constexpr std::string_view kItalicMatrix = "1 0 0.25 1";

  // A face the font service resolved, with the style bits the report asked
  // for (bold 1, italic 2, underline 4, strike-out 8). The font file is read
  // on first use; a file that cannot be read leaves the font without a
  // program (HasFontFile() false) and without glyphs.
  TovxPDFFont(QString name, int style_bits, const ovx::FontFace& face, int index);
  // Font bytes given directly (whole file or collection; `face_index`
  // chooses the face). For tools and tests. Throws ovx::Error when the
  // bytes are not a font.
  TovxPDFFont(QString name, int style_bits, QByteArray font_data, int face_index, int index);
  ~TovxPDFFont();
  TovxPDFFont(const TovxPDFFont&) = delete;
  TovxPDFFont& operator=(const TovxPDFFont&) = delete;

  // The report font name (or the fallback face's family).
  const QString& Name() const;
  // Style bits without simulated bold and italic.
  int EffectiveStyle() const;
  int Index() const;
  // "/F" and the index.
  QByteArray ResourceName() const;

  // Shapes `text` (UTF-16) with this font and records every glyph it uses.
  // `rtl`: the run reads right to left (glyphs come back in visual order).
  // `pdfa`: fonts named like Arial map character by character first, so
  // every character gets a glyph of its own. Characters the face lacks come
  // back as glyph 0 (.notdef); PdfFontList::MapRuns splits by face first.
  // `glyph_indices`: the UTF-16 units are glyph ids of this font (text a
  // metafile recorded as glyphs): one run in the order given, no shaping,
  // each glyph standing for the first character the font's cmap maps to it
  // (nothing when none does); ids beyond the font show .notdef.
  // Throws ovx::Error when the font program is damaged.
  TRemapedString MapText(QStringView text, bool rtl, bool pdfa, bool glyph_indices = false);
  // Records one glyph chosen by the caller (a vertical form the font
  // service picked) as standing for `text`, which copying gives back.
  TRemapedString MapGlyph(unsigned glyph, QStringView text);

  // Whether a run whose report font asks for `style_bits` gets its bold or
  // italic drawn by the writer because the face (or the simulation list)
  // has none. One font serves every request of its effective style (a bold
  // title and a regular body in a face without a bold member share it), so
  // this follows each run's own request, never the one that made the font.
  bool SimulatedBold(int style_bits) const;
  bool SimulatedItalic(int style_bits) const;
  // "2 Tr <size/35, two decimals> w <rgb> RG": `rgb` is the colour operand
  // text such as "0 0 0".
  static QByteArray BoldSimulationOperators(double size_points, QByteArrayView rgb);

  const ovx::PdfFontMetrics& Metrics() const;

  bool HasFontFile() const;
  // True when some code needs a CIDToGIDMap stream (see the file note);
  // final once all text is mapped.
  bool NeedsCidToGidMap() const;
  // Texts of problems that did not stop the export (a table whose checksum
  // does not match), one line per problem of the font, each naming it: the
  // caller may show or log them.
  QStringList Warnings() const;

  // Builds the subset and every dictionary and stream of the font. Call
  // once, after all text is mapped. Throws ovx::Error for damaged font data.
  ovx::PdfFontObjects BuildObjects(const ovx::PdfFontObjectNumbers& numbers,
                                   const ovx::PdfStringWriter& write_string);
  // The standalone subset font the program is cut from (TrueType, or
  // OpenType with CFF outlines), for tools that check it; empty without
  // font data. Ends the mapping like BuildObjects.
  QByteArray BuildSubsetFont();

  // The base font name with its subset tag, "ABCDEF+Name" (escaped as a PDF
  // name, without the slash); valid after mapping.
  QByteArray BaseFontName() const;

  // Every code used so far, in order of first use: the glyph it shows, the
  // glyph's own advance in 1/1000 em and the characters it stands for.
  struct UsedGlyph {
    uint16_t code = 0;
    uint16_t glyph = 0;
    int width = 0;
    QString text;
  };
  std::vector<UsedGlyph> UsedGlyphs() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

namespace ovx {

// One run of text in one font, in visual order.
struct PdfTextRun {
  TovxPDFFont* font = nullptr;
  int first_char = 0;  // UTF-16 offset of the run in the text given
  int char_count = 0;
  // The glyph that shows the run's one character when it is not shaped
  // from the text (a vertical form); 0 for shaped runs.
  unsigned glyph = 0;
  // How far that glyph is drawn from its usual place, in thousandths of
  // an em, y up (a mark moved to the top right of its square).
  int shift_x = 0;
  int shift_y = 0;
  TRemapedString mapped;
};

// The fonts of one document, "/F0", "/F1", ... in order of first use.
class PdfFontList {
 public:
  PdfFontList();
  ~PdfFontList();
  PdfFontList(const PdfFontList&) = delete;
  PdfFontList& operator=(const PdfFontList&) = delete;

  // The font for a report font name and style bits, matched by name (case
  // insensitive) and effective style; a new one is appended. References
  // stay valid while the list lives.
  TovxPDFFont& FindOrAdd(const QString& name, int style_bits);
  // Maps `text` set in the report font, splitting it where the font service
  // draws characters with a fallback face; each fallback face gets its own
  // font in this list (with its own simulation flags: ask each run's font).
  // Runs come in logical order (each run's glyphs in visual order); a
  // one-font text gives one run. With `vertical_forms`, each mark that has
  // a vertical form (FontService::VerticalGlyph) is a run of its own that
  // shows that glyph.
  std::vector<PdfTextRun> MapRuns(const QString& name, int style_bits, QStringView text, bool rtl,
                                  bool pdfa, bool vertical_forms = false);

  int Count() const;
  TovxPDFFont& At(int index);
  void Clear();

 private:
  std::vector<PdfTextRun> MapNewRuns(const QString& name, int style_bits, QStringView text,
                                     bool rtl, bool pdfa, bool vertical_forms);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ovx
