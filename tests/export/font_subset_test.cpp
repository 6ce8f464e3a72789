// The TrueType subset: kept glyphs byte for byte at their ids, dropped ones
// empty, metrics that read back the same, and a file laid out the way the
// format requires (aligned, zero padded, sorted, checksummed).
#include "base/error.h"
#include "export/truetype_font.h"
#include "tests/export/font_test_fonts.h"
#include "tests/test_support.h"

#include <QFile>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::BuildTestCollection;
using test::BuildTestFont;
using test::ReadU16;
using test::ReadU32;
using test::TestFontSpec;
using test::TestGlyph;

constexpr uint32_t kGlyf = truetype::MakeTag('g', 'l', 'y', 'f');
constexpr uint32_t kCmap = truetype::MakeTag('c', 'm', 'a', 'p');

const GlyphTableClass& Glyf(const TrueTypeFont& font) { return *font.Get<GlyphTableClass>(kGlyf); }

TestFontSpec TenGlyphs() {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(10);
  for (int i = 0; i < 10; ++i) {
    spec.glyphs[i].advance = 300 + 10 * i;
    spec.glyphs[i].lsb = 20 + i;
    spec.glyphs[i].instruction_bytes = i % 3;
  }
  spec.glyphs[7].components = {5};
  spec.glyphs[4].blank = true;
  spec.cmap = {{U'a', 1}, {U'b', 2}, {U'c', 3}, {U'\U00020001', 7}, {U'd', 8}};
  return spec;
}

TEST(FontSubsetTest, KeptGlyphsStayAtTheirIdsAndOthersAreEmpty) {
  const QByteArray source = BuildTestFont(TenGlyphs());
  const TrueTypeFont original(source, 0);
  const TrueTypeSubset subset = SubsetTrueTypeFont(original, {3, 7, 4});
  EXPECT_EQ(subset.kept_glyphs, (std::vector<uint16_t>{0, 3, 4, 5, 7}));

  const TrueTypeCollection parsed(subset.font);
  const TrueTypeFont& font = parsed.Font(0);
  EXPECT_EQ(font.NumGlyphs(), 8);  // ends after the last kept glyph
  for (uint32_t glyph = 0; glyph < 8; ++glyph) {
    SCOPED_TRACE(glyph);
    const bool kept = glyph == 0 || glyph == 3 || glyph == 4 || glyph == 5 || glyph == 7;
    const QByteArrayView data = Glyf(font).GlyphData(glyph);
    if (!kept) {
      EXPECT_TRUE(data.isEmpty());
      continue;
    }
    // The same bytes, up to the even padding of each glyph.
    const QByteArrayView before = Glyf(original).GlyphData(glyph);
    EXPECT_EQ(data.first(before.size()), before);
    EXPECT_LE(data.size() - before.size(), 1);
    EXPECT_EQ(font.Advance(glyph), original.Advance(glyph));
    EXPECT_EQ(font.Hmtx().LeftSideBearing(glyph), original.Hmtx().LeftSideBearing(glyph));
  }
  EXPECT_EQ(Glyf(font).Components(7), (std::vector<uint16_t>{5}));

  // The cmap keeps the characters of kept glyphs only, beyond the BMP too.
  const auto* cmap = font.Get<CmapTableClass>(kCmap);
  ASSERT_NE(cmap, nullptr);
  EXPECT_EQ(cmap->Mapping(),
            (std::vector<std::pair<char32_t, uint16_t>>{{U'c', 3}, {U'\U00020001', 7}}));
}

TEST(FontSubsetTest, FileLayoutFollowsTheFormat) {
  const QByteArray source = BuildTestFont(TenGlyphs());
  const QByteArray out = SubsetTrueTypeFont(TrueTypeFont(source, 0), {1, 2, 3, 7}).font;
  ASSERT_EQ(out.size() % 4, 0);
  EXPECT_EQ(ReadU32(out, 0), 0x00010000u);
  const int count = ReadU16(out, 4);
  int power = 1, selector = 0;
  while (power * 2 <= count) power *= 2, ++selector;
  EXPECT_EQ(ReadU16(out, 6), power * 16);
  EXPECT_EQ(ReadU16(out, 8), selector);
  EXPECT_EQ(ReadU16(out, 10), count * 16 - power * 16);

  uint32_t previous_tag = 0;
  for (int i = 0; i < count; ++i) {
    const qint64 entry = 12 + 16 * i;
    const uint32_t tag = ReadU32(out, entry);
    const uint32_t offset = ReadU32(out, entry + 8);
    const uint32_t length = ReadU32(out, entry + 12);
    SCOPED_TRACE(out.mid(entry, 4).toStdString());
    EXPECT_GT(tag, previous_tag);
    previous_tag = tag;
    EXPECT_EQ(offset % 4, 0u);
    ASSERT_LE(qint64(offset) + length, out.size());
    // Padding up to the next table is zeros; the length stays unpadded.
    for (uint32_t pad = offset + length; pad % 4 != 0; ++pad) EXPECT_EQ(out[pad], '\0');
    if (tag == truetype::MakeTag('h', 'e', 'a', 'd')) {
      EXPECT_EQ(length, 54u);
      QByteArray head = out.mid(offset, length);
      test::WriteU32(head, 8, 0);
      EXPECT_EQ(truetype::TableChecksum(head), ReadU32(out, entry + 4));
    } else {
      EXPECT_EQ(truetype::TableChecksum(QByteArrayView(out).sliced(offset, length)),
                ReadU32(out, entry + 4));
    }
  }
  EXPECT_EQ(truetype::TableChecksum(out), 0xB1B0AFBAu);
  EXPECT_TRUE(TrueTypeFont(out, 0).ChecksumErrors().isEmpty());
}

TEST(FontSubsetTest, LocaFormatFollowsTheCompactedSize) {
  TestFontSpec spec = TenGlyphs();
  spec.long_loca = true;
  const QByteArray small_source = BuildTestFont(spec);
  const QByteArray small = SubsetTrueTypeFont(TrueTypeFont(small_source, 0), {2}).font;
  EXPECT_EQ(TrueTypeFont(small, 0).Head().IndexToLocFormat(), 0);

  // More than 128 KB of glyph data needs long offsets.
  TestFontSpec big;
  big.glyphs = std::vector<TestGlyph>(2100);
  for (TestGlyph& glyph : big.glyphs) glyph.instruction_bytes = 40;
  big.long_loca = true;
  std::vector<uint16_t> all;
  for (int i = 1; i < 2100; ++i) all.push_back(uint16_t(i));
  const QByteArray big_source = BuildTestFont(big);
  const QByteArray out = SubsetTrueTypeFont(TrueTypeFont(big_source, 0), all).font;
  const TrueTypeFont font(out, 0);
  EXPECT_EQ(font.Head().IndexToLocFormat(), 1);
  EXPECT_EQ(Glyf(font).GlyphData(2099), Glyf(TrueTypeFont(big_source, 0)).GlyphData(2099));
}

// Horizontal metrics are written as short as they can be; every kept
// glyph's advance reads back unchanged.
TEST(FontSubsetTest, AdvancesOfKeptGlyphsSurviveMetricsCompaction) {
  const struct {
    const char* name;
    std::vector<int> advances;
    int number_of_h_metrics;
    std::vector<uint16_t> keep;
  } cases[] = {
      {"all equal", {500, 500, 500, 500, 500, 500}, -1, {2, 5}},
      {"last differs", {500, 500, 500, 500, 500, 900}, -1, {1, 5}},
      {"dropped glyph between", {500, 700, 800, 500, 500, 500}, -1, {1, 4}},
      {"source metrics short", {500, 600, 700, 700, 700, 700}, 3, {1, 4, 5}},
      {"only notdef and the last", {200, 600, 700, 800, 900, 1000}, -1, {5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestFontSpec spec;
    spec.glyphs = std::vector<TestGlyph>(c.advances.size());
    for (size_t i = 0; i < c.advances.size(); ++i) spec.glyphs[i].advance = c.advances[i];
    spec.number_of_h_metrics = c.number_of_h_metrics;
    const QByteArray source = BuildTestFont(spec);
    const TrueTypeFont original(source, 0);
    const QByteArray out = SubsetTrueTypeFont(original, c.keep).font;
    const TrueTypeFont font(out, 0);
    for (uint16_t glyph : CollectSubsetGlyphs(original, c.keep)) {
      EXPECT_EQ(font.Advance(glyph), original.Advance(glyph)) << glyph;
    }
  }
}

TEST(FontSubsetTest, FaceOfACollectionBecomesAStandaloneFont) {
  TestFontSpec first = TenGlyphs();
  first.family = QStringLiteral("First");
  TestFontSpec second = TenGlyphs();
  second.family = QStringLiteral("Second");
  const TrueTypeCollection collection(
      BuildTestCollection({BuildTestFont(first), BuildTestFont(second)}));
  const QByteArray out = SubsetTrueTypeFont(collection.Font(1), {3}).font;
  const TrueTypeCollection standalone(out);
  EXPECT_FALSE(standalone.IsCollection());
  EXPECT_EQ(standalone.Font(0).FamilyName(), QStringLiteral("Second"));
  EXPECT_TRUE(standalone.Font(0).ChecksumErrors().isEmpty());
}

TEST(FontSubsetTest, CffFontsAreNotWrittenAsTrueType) {
  const QString path = QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no Noto Sans CJK";
  const TrueTypeCollection collection(file.readAll());
  EXPECT_TRUE(collection.Font(0).IsCff());
  try {
    SubsetTrueTypeFont(collection.Font(0), {100});
    ADD_FAILURE() << "a CFF font was subset as TrueType";
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Glyph table not found"));
  }
}

TEST(FontSubsetTest, RealCompositeGlyphsBringTheirComponents) {
  QFile file(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
  if (!file.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no DejaVu Sans";
  const TrueTypeCollection collection(file.readAll());
  const TrueTypeFont& font = collection.Font(0);
  const auto* cmap = font.Get<CmapTableClass>(kCmap);
  const uint16_t e_acute = cmap->GlyphFor(U'\u00E9');
  const std::vector<uint16_t> components = Glyf(font).Components(e_acute);
  ASSERT_FALSE(components.empty()) << "é is a composite in DejaVu Sans";
  const TrueTypeSubset subset = SubsetTrueTypeFont(font, {e_acute});
  for (uint16_t component : components) {
    EXPECT_TRUE(
        std::binary_search(subset.kept_glyphs.begin(), subset.kept_glyphs.end(), component));
  }
  const TrueTypeFont out(subset.font, 0);
  EXPECT_EQ(Glyf(out).GlyphData(e_acute), Glyf(font).GlyphData(e_acute));
  EXPECT_TRUE(out.ChecksumErrors().isEmpty());
}

}  // namespace
}  // namespace ovx
