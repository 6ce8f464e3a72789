// Subsetting 3,000 glyphs out of a big CJK font, as the PDF export does for
// a long text: AR PL UKai (17 MB TrueType collection, our own subsetter)
// and Noto Sans CJK (19 MB CFF collection, through HarfBuzz's subsetter).
// Each font is measured twice: the subset alone, over a font already
// parsed, and the whole way of one PDF font (read the file, parse, verify
// checksums, shape the 3,000 characters, subset, write the objects).
#include "export/pdf_font.h"
#include "export/truetype_font.h"

#include <QFile>

#include <benchmark/benchmark.h>

namespace {

struct BigFont {
  const char* path;
  int face;
};
constexpr BigFont kUKai{"/usr/share/fonts/truetype/arphic/ukai.ttc", 0};
constexpr BigFont kNoto{"/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", 2};

QByteArray ReadFont(const BigFont& font) {
  QFile file(QLatin1String(font.path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// 3,000 CJK ideographs the font has, spread over its whole range.
QString Ideographs(const ovx::TrueTypeFont& font) {
  const auto* cmap = font.Get<ovx::CmapTableClass>(ovx::truetype::MakeTag('c', 'm', 'a', 'p'));
  std::vector<char32_t> candidates;
  for (const auto& [code_point, glyph] : cmap->Mapping()) {
    if (code_point >= 0x4E00 && code_point <= 0x9FFF) candidates.push_back(code_point);
  }
  QString text;
  const size_t step = std::max<size_t>(1, candidates.size() / 3000);
  for (size_t i = 0; i < candidates.size() && text.size() < 3000; i += step) {
    text += QString::fromUcs4(&candidates[i], 1);
  }
  return text;
}

void BM_PdfFont(benchmark::State& state, BigFont big) {
  const QByteArray data = ReadFont(big);
  if (data.isEmpty()) {
    state.SkipWithError("font not installed");
    return;
  }
  const ovx::TrueTypeCollection collection(data);
  const QString text = Ideographs(collection.Font(big.face));
  qint64 bytes = 0;
  for (auto _ : state) {
    TovxPDFFont font(QStringLiteral("Big"), 0, data, big.face, 0);
    font.MapText(text, false, false);
    const ovx::PdfFontObjects objects = font.BuildObjects(
        {1, 2, 3, 4, 5, 0}, [](int, QByteArrayView t) { return '(' + t.toByteArray() + ')'; });
    bytes = objects.font_file.size();
    benchmark::DoNotOptimize(objects);
  }
  state.counters["glyphs"] = text.size();
  state.counters["program_bytes"] = double(bytes);
}
BENCHMARK_CAPTURE(BM_PdfFont, UKai, kUKai)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PdfFont, NotoSansCJK, kNoto)->Unit(benchmark::kMillisecond);

void BM_TrueTypeSubsetOnly(benchmark::State& state) {
  const QByteArray data = ReadFont(kUKai);
  if (data.isEmpty()) {
    state.SkipWithError("font not installed");
    return;
  }
  const ovx::TrueTypeCollection collection(data);
  const ovx::TrueTypeFont& font = collection.Font(kUKai.face);
  const auto* cmap = font.Get<ovx::CmapTableClass>(ovx::truetype::MakeTag('c', 'm', 'a', 'p'));
  std::vector<uint16_t> glyphs;
  for (const QChar c : Ideographs(font)) glyphs.push_back(cmap->GlyphFor(c.unicode()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ovx::SubsetTrueTypeFont(font, glyphs));
  }
  state.counters["glyphs"] = double(glyphs.size());
}
BENCHMARK(BM_TrueTypeSubsetOnly)->Unit(benchmark::kMillisecond);

}  // namespace
