// Reading font files: collections, faces by name, the tables the embedding
// relies on, and damaged or hostile files, which must give an ovx::Error
// and never a crash or a read outside the data.
#include "base/error.h"
#include "export/truetype_font.h"
#include "tests/export/font_test_fonts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace ovx {
namespace {

using test::BuildTestCollection;
using test::BuildTestFont;
using test::FindTable;
using test::TestFontSpec;
using test::TestGlyph;
using test::WriteU16;
using test::WriteU32;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.Message().toStdString();
  }
  return "(no error)";
}

TEST(FontCollectionTest, SingleFontsAndCollectionsGiveTheirFaces) {
  TestFontSpec first;
  first.family = QStringLiteral("Alpha Sans");
  TestFontSpec second;
  second.family = QStringLiteral("Beta Serif");
  const QByteArray single = BuildTestFont(first);
  const TrueTypeCollection one(single);
  EXPECT_FALSE(one.IsCollection());
  ASSERT_EQ(one.Count(), 1);
  EXPECT_EQ(one.Font(0).FamilyName(), QStringLiteral("Alpha Sans"));

  const TrueTypeCollection both(BuildTestCollection({single, BuildTestFont(second)}));
  EXPECT_TRUE(both.IsCollection());
  ASSERT_EQ(both.Count(), 2);
  EXPECT_EQ(both.Font(1).FullName(), QStringLiteral("Beta Serif Regular"));
  EXPECT_EQ(both.Font(1).PostScriptName(), QStringLiteral("BetaSerif-Regular"));
  // Full name first, then family name, ignoring case.
  EXPECT_EQ(both.FindFont(QStringLiteral("beta serif regular")), 1);
  EXPECT_EQ(both.FindFont(QStringLiteral("Alpha Sans")), 0);
  EXPECT_EQ(both.FindFont(QStringLiteral("Gamma")), -1);
  EXPECT_NE(ErrorOf([&] { both.Font(2); }), "(no error)");
}

TEST(FontCollectionTest, UnknownHeadersAreRejected) {
  QByteArray version3("ttcf\x00\x03\x00\x00\x00\x00\x00\x01\x00\x00\x00\x10", 16);
  QByteArray huge_count("ttcf\x00\x01\x00\x00\x7F\xFF\xFF\xFF", 12);
  const struct {
    const char* name;
    QByteArray data;
    const char* error;
  } cases[] = {
      {"empty", QByteArray(), "TrueType font format error"},
      {"unknown tag", QByteArray("wOFF\0\0\0\0", 8), "TrueType font format error"},
      {"collection version 3", version3, "Unknown font collection version"},
      {"more faces than the file holds", huge_count, "TrueType font format error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorOf([&] { TrueTypeCollection collection(c.data); }).rfind(c.error, 0), 0u)
        << ErrorOf([&] { TrueTypeCollection collection(c.data); });
  }
}

TEST(FontTablesTest, GlyphsBeyondTheLongMetricsTakeTheLastAdvance) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(6);
  for (int i = 0; i < 6; ++i) spec.glyphs[i].advance = 100 * (i + 1);
  spec.glyphs[5].lsb = -7;
  spec.number_of_h_metrics = 3;
  const QByteArray data = BuildTestFont(spec);
  const TrueTypeFont font(data, 0);
  const HorizontalMetrixClass& hmtx = font.Hmtx();
  EXPECT_EQ(hmtx.NumberOfHMetrics(), 3);
  EXPECT_EQ(hmtx.Advance(1), 200);
  EXPECT_EQ(hmtx.Advance(2), 300);
  EXPECT_EQ(hmtx.Advance(3), 300);
  EXPECT_EQ(hmtx.Advance(5), 300);
  EXPECT_EQ(hmtx.LeftSideBearing(5), -7);
  // Ids the font does not have never read past the table.
  EXPECT_EQ(hmtx.Advance(6), 0);
  EXPECT_EQ(hmtx.Advance(65535), 0);
}

TEST(FontTablesTest, MetricsAndNamesAreRead) {
  TestFontSpec spec;
  spec.units_per_em = 2048;
  spec.glyphs[1].advance = 1024;
  spec.glyph_names = {{2, "uni5155"}, {3, "A"}};
  const QByteArray data = BuildTestFont(spec);
  const TrueTypeFont font(data, 0);
  EXPECT_EQ(font.UnitsPerEm(), 2048);
  EXPECT_EQ(font.AdvanceThousandths(1), 500);
  const auto* post = font.Get<PostScriptClass>(truetype::MakeTag('p', 'o', 's', 't'));
  ASSERT_NE(post, nullptr);
  EXPECT_EQ(post->CustomGlyphName(2), QByteArray("uni5155"));
  EXPECT_EQ(post->CustomGlyphName(3), QByteArray("A"));
  EXPECT_TRUE(post->CustomGlyphName(0).isEmpty());
  EXPECT_TRUE(post->CustomGlyphName(9).isEmpty());
  EXPECT_EQ(post->UnderlinePosition(), -100);
  const auto* os2 = font.Get<OS2WindowsMetricsClass>(truetype::MakeTag('O', 'S', '/', '2'));
  ASSERT_NE(os2, nullptr);
  EXPECT_EQ(os2->CapHeight(), 700);
  EXPECT_EQ(os2->WinDescent(), 250);
}

TEST(FontTablesTest, CmapGivesBmpAndSupplementaryCharacters) {
  TestFontSpec spec;
  spec.cmap = {{U'A', 1}, {U'\u4E00', 2}, {U'\U00020000', 3}};
  const QByteArray data = BuildTestFont(spec);
  const TrueTypeFont font(data, 0);
  const auto* cmap = font.Get<CmapTableClass>(truetype::MakeTag('c', 'm', 'a', 'p'));
  ASSERT_NE(cmap, nullptr);
  EXPECT_EQ(cmap->GlyphFor(U'A'), 1);
  EXPECT_EQ(cmap->GlyphFor(U'\u4E00'), 2);
  EXPECT_EQ(cmap->GlyphFor(U'\U00020000'), 3);
  EXPECT_EQ(cmap->GlyphFor(U'B'), 0);
}

TEST(FontTablesTest, ChecksumsAreVerifiedWithTheHeadAdjustmentLeftOut) {
  QByteArray data = BuildTestFont(TestFontSpec());
  EXPECT_TRUE(TrueTypeFont(data, 0).ChecksumErrors().isEmpty());
  const auto glyf = FindTable(data, "glyf");
  ASSERT_TRUE(glyf);
  data[glyf->offset + 12] = char(data[glyf->offset + 12] ^ 0x10);
  const QStringList errors = TrueTypeFont(data, 0).ChecksumErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Table ID \"glyf\" checksum error. ")))
      << errors[0].toStdString();
}

// Each case damages one field of a valid font; parsing (or collecting the
// glyphs a subset needs) must stop with a clear error.
TEST(FontTablesTest, DamagedFontsGiveClearErrors) {
  const struct {
    const char* name;
    std::function<void(QByteArray&)> damage;
    const char* error_part;
  } cases[] = {
      {"table beyond the file",
       [](QByteArray& d) { WriteU32(d, FindTable(d, "glyf")->directory_entry + 8, 0x7FFFFFF0); },
       "lies outside"},
      {"length beyond the file",
       [](QByteArray& d) { WriteU32(d, FindTable(d, "hmtx")->directory_entry + 12, 0xFFFFFFFF); },
       "lies outside"},
      {"table count beyond the file", [](QByteArray& d) { WriteU16(d, 4, 0xFFFF); }, "outside"},
      {"duplicate table",
       [](QByteArray& d) { d.replace(FindTable(d, "post")->directory_entry, 4, "name"); },
       "appears twice"},
      {"head magic", [](QByteArray& d) { WriteU32(d, FindTable(d, "head")->offset + 12, 0); },
       "bad magic"},
      {"units per em 0", [](QByteArray& d) { WriteU16(d, FindTable(d, "head")->offset + 18, 0); },
       "unitsPerEm"},
      {"unknown loca format",
       [](QByteArray& d) { WriteU16(d, FindTable(d, "head")->offset + 50, 7); },
       "Unknown IndexToLoc value 7"},
      {"no glyphs", [](QByteArray& d) { WriteU16(d, FindTable(d, "maxp")->offset + 4, 0); },
       "no glyphs"},
      {"no long metrics", [](QByteArray& d) { WriteU16(d, FindTable(d, "hhea")->offset + 34, 0); },
       "numberOfHMetrics is 0"},
      {"hmtx shorter than its metrics",
       [](QByteArray& d) { WriteU32(d, FindTable(d, "hmtx")->directory_entry + 12, 6); }, "hmtx"},
      {"loca shorter than the glyph count",
       [](QByteArray& d) { WriteU32(d, FindTable(d, "loca")->directory_entry + 12, 4); }, "loca"},
      {"missing hhea",
       [](QByteArray& d) { d.replace(FindTable(d, "hhea")->directory_entry, 4, "xxxx"); },
       "required table \"hhea\" missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray data = BuildTestFont(TestFontSpec());
    c.damage(data);
    const std::string error = ErrorOf([&] {
      const TrueTypeCollection collection(data);
      CollectSubsetGlyphs(collection.Font(0), {1, 2, 3});
    });
    EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
  }
}

TEST(FontTablesTest, EveryTruncationIsAnErrorOrAFont) {
  TestFontSpec spec;
  spec.cmap = {{U'A', 1}, {U'B', 2}};
  spec.glyphs[3].components = {1, 2};
  spec.kern = {{1, 2, -50}};
  const QByteArray data = BuildTestFont(spec);
  for (qsizetype size = 0; size < data.size(); ++size) {
    try {
      const TrueTypeCollection collection(data.left(size));
      SubsetTrueTypeFont(collection.Font(0), {1, 2, 3});
    } catch (const Error&) {
    }
  }
}

TEST(FontTablesTest, LocaRunningBackwardsIsAnErrorForThatGlyph) {
  QByteArray data = BuildTestFont(TestFontSpec());
  const auto loca = FindTable(data, "loca");
  WriteU16(data, loca->offset + 2 * 2, 0x0001);  // glyph 2 starts before glyph 1 ends
  const TrueTypeCollection collection(data);
  EXPECT_NE(ErrorOf([&] { CollectSubsetGlyphs(collection.Font(0), {1}); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { SubsetTrueTypeFont(collection.Font(0), {1}); }).find("backwards"),
            std::string::npos);
  // Glyph 2 itself is still readable.
  EXPECT_EQ(ErrorOf([&] { SubsetTrueTypeFont(collection.Font(0), {2}); }), "(no error)");
}

TEST(FontClosureTest, CompositesKeepTheirComponentsRecursively) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(10);
  spec.glyphs[7].components = {5, 2};
  spec.glyphs[5].components = {3};
  spec.glyphs[9].components = {7, 7};
  const QByteArray data = BuildTestFont(spec);
  const TrueTypeFont font(data, 0);
  EXPECT_EQ(CollectSubsetGlyphs(font, {9}), (std::vector<uint16_t>{0, 2, 3, 5, 7, 9}));
  EXPECT_EQ(CollectSubsetGlyphs(font, {4, 4, 1}), (std::vector<uint16_t>{0, 1, 4}));
}

TEST(FontClosureTest, CyclesDepthAndForeignComponentsAreErrors) {
  const auto chain = [](int length) {
    TestFontSpec spec;
    spec.glyphs = std::vector<TestGlyph>(length + 2);
    for (int i = 1; i <= length; ++i) spec.glyphs[i].components = {uint16_t(i + 1)};
    return spec;
  };
  TestFontSpec cycle;
  cycle.glyphs = std::vector<TestGlyph>(4);
  cycle.glyphs[1].components = {2};
  cycle.glyphs[2].components = {3};
  cycle.glyphs[3].components = {1};
  TestFontSpec self;
  self.glyphs[2].components = {2};
  TestFontSpec foreign;
  foreign.glyphs[1].components = {2, 400};
  const struct {
    const char* name;
    TestFontSpec spec;
    const char* error_part;
  } cases[] = {
      {"cycle", cycle, "contains itself"},
      {"self reference", self, "contains itself"},
      {"component beyond the glyph count", foreign, "names component 400 beyond"},
      {"nesting too deep", chain(40), "deeper than"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray data = BuildTestFont(c.spec);
    const TrueTypeFont font(data, 0);
    const std::string error = ErrorOf([&] { CollectSubsetGlyphs(font, {1, 2}); });
    EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
  }
  // A long but legal chain is fine.
  const QByteArray data = BuildTestFont(chain(20));
  EXPECT_EQ(CollectSubsetGlyphs(TrueTypeFont(data, 0), {1}).size(), 22u);
}

}  // namespace
}  // namespace ovx
