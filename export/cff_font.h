// Fonts with CFF outlines: what PDF needs to know of the CFF program, and
// their subset.
//
// A PDF shows a CIDFontType0 glyph by CID. In a CID-keyed CFF (every CJK
// OpenType font) the charset maps glyph ids to CIDs, so the content stream
// carries the CID of each glyph; the subset (made by HarfBuzz's subsetter,
// which keeps each glyph's CID and only the charstrings and subroutines the
// kept glyphs need) then finds the same glyph under the same CID. A
// name-keyed CFF has no CIDs: the PDF uses codes as glyph ids, so its
// subset keeps glyph ids.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <utility>
#include <vector>

namespace ovx {

class TrueTypeFont;

// The parts of a CFF table the embedding reads.
class CffProgram {
 public:
  // Parses the header, the first Top DICT and the charset of `cff` (the
  // "CFF " table). Throws ovx::Error for damaged data.
  explicit CffProgram(QByteArrayView cff);

  bool CidKeyed() const { return cid_keyed_; }
  int GlyphCount() const { return glyph_count_; }
  // The CID of a glyph (CID-keyed), else the glyph id itself; 0 beyond the
  // glyph count.
  uint16_t CidOf(uint32_t glyph) const;
  // The glyph holding `cid`, or -1.
  int GlyphOfCid(uint16_t cid) const;

 private:
  bool cid_keyed_ = false;
  int glyph_count_ = 0;
  std::vector<uint16_t> cids_;  // per glyph, CID-keyed only
};

// A standalone OpenType font holding the glyphs `glyphs` (and .notdef) of
// face `face_index` of `file` with CFF outlines: CFF, head, hhea, hmtx,
// maxp, OS/2, name, post and a cmap of `unicodes` (code point, glyph) whose
// glyphs are kept. `retain_gids` keeps glyph ids (name-keyed CFF). Throws
// ovx::Error when HarfBuzz cannot subset the font.
QByteArray SubsetOpenTypeCff(QByteArrayView file, int face_index,
                             const std::vector<uint16_t>& glyphs,
                             const std::vector<std::pair<char32_t, uint16_t>>& unicodes,
                             bool retain_gids);

}  // namespace ovx
