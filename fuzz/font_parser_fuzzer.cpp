// Fuzz target for font files: collection and directory parsing, every table
// the embedding reads, the glyph closure, the TrueType subset, shaping
// through HarfBuzz, the CFF subset and the PDF objects with their ToUnicode
// map.
//
// The input is a font file as it is. Beyond "no crash", it traps when
// - a subset of a font that parsed does not parse again, or its file
//   checksum is not the format's constant, or a kept glyph changed its
//   bytes or its advance;
// - mapping text gives a code count different from the advance count, or
//   a width that is not their sum.
#include "base/error.h"
#include "export/pdf_font.h"
#include "export/truetype_font.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "font_parser_fuzzer: check failed: %s\n", what);
  std::abort();
}

void CheckSubset(const ovx::TrueTypeFont& font, const std::vector<uint16_t>& glyphs) {
  ovx::TrueTypeSubset subset;
  try {
    subset = ovx::SubsetTrueTypeFont(font, glyphs);
  } catch (const ovx::Error&) {
    return;  // damage the subset had to read
  }
  Check(ovx::truetype::TableChecksum(subset.font) == 0xB1B0AFBAu, "subset file checksum");
  try {
    const ovx::TrueTypeFont again(subset.font, 0);
    const auto* before = font.Get<ovx::GlyphTableClass>(ovx::truetype::MakeTag('g', 'l', 'y', 'f'));
    const auto* after = again.Get<ovx::GlyphTableClass>(ovx::truetype::MakeTag('g', 'l', 'y', 'f'));
    Check(after != nullptr, "subset has a glyph table");
    for (uint16_t glyph : subset.kept_glyphs) {
      Check(again.Advance(glyph) == font.Advance(glyph), "kept glyph keeps its advance");
      const QByteArrayView old_data = before->GlyphData(glyph);
      const QByteArrayView new_data = after->GlyphData(glyph);
      Check(new_data.size() >= old_data.size() && new_data.first(old_data.size()) == old_data,
            "kept glyph keeps its bytes");
    }
  } catch (const ovx::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Check(false, "subset parses again");
  }
}

void MapAndBuild(const QByteArray& data, int face, const ovx::TrueTypeFont& font) {
  QString text = QStringLiteral(" A\u4E00\U00020000");
  if (const auto* cmap =
          font.Get<ovx::CmapTableClass>(ovx::truetype::MakeTag('c', 'm', 'a', 'p'))) {
    const auto& mapping = cmap->Mapping();
    for (size_t i = 0; i < mapping.size() && i < 24; i += 1 + mapping.size() / 24) {
      const char32_t c = mapping[i].first;
      text += QString::fromUcs4(&c, 1);
    }
  }
  try {
    TovxPDFFont pdf_font(QStringLiteral("Fuzz"), 3, data, face, 0);
    for (const bool rtl : {false, true}) {
      const TRemapedString mapped = pdf_font.MapText(text, rtl, rtl);
      Check(mapped.codes.size() == mapped.advances.size(), "one advance per code");
      long long sum = 0;
      for (int advance : mapped.advances) sum += advance;
      Check(sum == mapped.width, "width is the sum of the advances");
    }
    pdf_font.Metrics();
    const ovx::PdfFontObjects objects =
        pdf_font.BuildObjects({1, 2, 3, 4, 5, pdf_font.NeedsCidToGidMap() ? 6 : 0},
                              [](int, QByteArrayView t) { return '(' + t.toByteArray() + ')'; });
    Check(objects.to_unicode.endsWith("end\nend\n"), "ToUnicode is complete");
  } catch (const ovx::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  try {
    const ovx::TrueTypeCollection collection(bytes);
    for (int face = 0; face < collection.Count() && face < 3; ++face) {
      const ovx::TrueTypeFont* font = nullptr;
      try {
        font = &collection.Font(face);
      } catch (const ovx::Error&) {
        continue;
      }
      font->ChecksumErrors();
      font->FullName();
      if (!font->IsCff()) {
        std::vector<uint16_t> glyphs;
        for (int glyph = 1; glyph < font->NumGlyphs() && glyphs.size() < 12; glyph += 1 + glyph) {
          glyphs.push_back(uint16_t(glyph));
        }
        CheckSubset(*font, glyphs);
      }
      MapAndBuild(bytes, face, *font);
    }
  } catch (const ovx::Error&) {
  }
  return 0;
}
