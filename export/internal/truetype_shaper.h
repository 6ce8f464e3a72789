// Text to glyphs through HarfBuzz, over exactly the bytes that will be
// embedded (the face of a font file or collection in memory).
#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <cstdint>
#include <vector>

struct hb_blob_t;
struct hb_face_t;
struct hb_font_t;

namespace ovx {

struct ShapedGlyph {
  uint32_t glyph = 0;
  int x_advance = 0;     // font units
  uint32_t cluster = 0;  // UTF-16 offset in the shaped text where its characters start
};

class TrueTypeShaper {
 public:
  // `file` must outlive the shaper.
  TrueTypeShaper(QByteArrayView file, int face_index);
  ~TrueTypeShaper();
  TrueTypeShaper(const TrueTypeShaper&) = delete;
  TrueTypeShaper& operator=(const TrueTypeShaper&) = delete;

  // Glyphs in visual order. The text is split into runs of one script, each
  // shaped with the direction given; runs of a right-to-left text are
  // placed right to left. Kerning is off: advances are the glyphs' own, as
  // the layout measured them.
  std::vector<ShapedGlyph> Shape(QStringView text, bool rtl) const;

 private:
  hb_blob_t* blob_ = nullptr;
  hb_face_t* face_ = nullptr;
  hb_font_t* font_ = nullptr;
};

}  // namespace ovx
