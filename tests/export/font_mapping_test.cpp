// TovxPDFFont: text to codes, the record of used glyphs with their widths
// and characters, and the dictionaries and streams of the PDF objects.
#include "base/error.h"
#include "export/pdf_font.h"
#include "export/truetype_font.h"
#include "tests/export/font_test_fonts.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::BuildTestFont;
using test::TestFontSpec;
using test::TestGlyph;

const PdfFontObjectNumbers kNumbers{10, 11, 12, 13, 14, 15};

QByteArray PlainString(int, QByteArrayView text) { return '(' + text.toByteArray() + ')'; }

// A font with glyphs 1.. for the characters given, in order.
TestFontSpec FontFor(const std::u32string& characters) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(characters.size() + 1);
  for (size_t i = 0; i < characters.size(); ++i) {
    spec.cmap.emplace_back(characters[i], uint16_t(i + 1));
    spec.glyphs[i + 1].advance = 400 + 10 * int(i);
  }
  return spec;
}

// The bfchar lines of a ToUnicode CMap: "<code> <utf16>".
QStringList BfChars(const QByteArray& cmap) {
  QStringList lines;
  bool inside = false;
  for (const QByteArray& text : cmap.split('\n')) {
    if (text.endsWith("beginbfchar")) {
      inside = true;
    } else if (text == "endbfchar") {
      inside = false;
    } else if (inside) {
      lines.append(QString::fromLatin1(text));
    }
  }
  return lines;
}

TEST(FontMappingTest, TheSameCharacterManyTimesIsOneGlyphAndOneCMapLine) {
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(FontFor(U"\u4E00")), 0, 0);
  const TRemapedString mapped = font.MapText(QString(500, QChar(0x4E00)), false, false);
  ASSERT_EQ(mapped.codes.size(), 500u);
  EXPECT_EQ(mapped.codes.front(), 1);
  EXPECT_EQ(mapped.width, 500 * 400);
  EXPECT_EQ(font.UsedGlyphs().size(), 1u);
  const PdfFontObjects objects = font.BuildObjects(kNumbers, PlainString);
  EXPECT_EQ(BfChars(objects.to_unicode), QStringList{"<0001> <4E00>"});
  EXPECT_TRUE(objects.to_unicode.contains("1 beginbfchar"));
}

TEST(FontMappingTest, RunResultsCountSpacesAndKeepVisualOrder) {
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(FontFor(U"ab ")), 0, 0);
  const TRemapedString ltr = font.MapText(u"a b ", false, false);
  EXPECT_EQ(ltr.codes, (std::vector<uint16_t>{1, 3, 2, 3}));
  EXPECT_EQ(ltr.advances, (std::vector<int>{400, 420, 410, 420}));
  EXPECT_EQ(ltr.width, 1650);
  EXPECT_EQ(ltr.spaces, 2);
  EXPECT_FALSE(ltr.fewer_glyphs);
  EXPECT_TRUE(ltr.all_below_65535);
  const TRemapedString rtl = font.MapText(u"ab", true, false);
  EXPECT_EQ(rtl.codes, (std::vector<uint16_t>{2, 1}));
  EXPECT_TRUE(font.MapText(u"", false, false).codes.empty());
}

// Glyphs 667 and 1639 once were special; they are glyphs like any other.
TEST(FontMappingTest, NoGlyphIdIsSpecial) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(1700);
  spec.glyphs[667].advance = 611;
  spec.glyphs[1639].advance = 250;
  spec.glyphs[1639].blank = true;
  spec.cmap = {{U'x', 667}, {U' ', 1639}};
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(spec), 0, 0);
  const TRemapedString mapped = font.MapText(u"x x", false, false);
  EXPECT_EQ(mapped.codes, (std::vector<uint16_t>{667, 1639, 667}));
  EXPECT_EQ(mapped.width, 611 + 250 + 611);
  const PdfFontObjects objects = font.BuildObjects(kNumbers, PlainString);
  EXPECT_TRUE(objects.cid_font_dict.contains("\r\n667 [611]")) << objects.cid_font_dict.constData();
  EXPECT_TRUE(objects.cid_font_dict.contains("\r\n1639 [250]"))
      << objects.cid_font_dict.constData();
  const TrueTypeFont subset(objects.font_file, 0);
  EXPECT_FALSE(
      subset.Get<GlyphTableClass>(truetype::MakeTag('g', 'l', 'y', 'f'))->GlyphData(667).isEmpty());
  EXPECT_EQ(subset.Advance(1639), 250);
}

TEST(FontMappingTest, WidthsAreTheGlyphsOwnAdvancesAtAThousandUnitsPerEm) {
  TestFontSpec spec = FontFor(U"AVW");
  spec.units_per_em = 2048;
  spec.glyphs[1].advance = 1366;  // 667 per mille
  spec.glyphs[2].advance = 1024;
  spec.glyphs[3].advance = 2048;
  spec.number_of_h_metrics = 2;  // V and W take the last long advance
  spec.kern = {{1, 2, -200}};
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(spec), 0, 0);
  EXPECT_EQ(font.MapText(u"AVW", false, false).advances, (std::vector<int>{667, 667, 667}));
  const PdfFontObjects objects = font.BuildObjects(kNumbers, PlainString);
  // Kerning never reduces a width.
  EXPECT_TRUE(objects.cid_font_dict.contains("/W [\r\n1 [667 667 667]\r\n]"))
      << objects.cid_font_dict.constData();
}

TEST(FontMappingTest, CharactersBeyondTheBmpMapToSurrogatePairs) {
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(FontFor(U"\U00020000\u4E00")), 0, 0);
  const TRemapedString mapped = font.MapText(u"\U00020000\u4E00", false, false);
  EXPECT_EQ(mapped.codes, (std::vector<uint16_t>{1, 2}));
  EXPECT_FALSE(mapped.fewer_glyphs);
  EXPECT_EQ(BfChars(font.BuildObjects(kNumbers, PlainString).to_unicode),
            (QStringList{"<0001> <D840DC00>", "<0002> <4E00>"}));
}

TEST(FontMappingTest, AGlyphForSeveralCharactersMapsToAllOfThem) {
  // HarfBuzz composes e + U+0301 into the font's é.
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(FontFor(U"e\u00E9")), 0, 0);
  const TRemapedString mapped = font.MapText(u"e\u0301e", false, false);
  EXPECT_EQ(mapped.codes, (std::vector<uint16_t>{2, 1}));
  EXPECT_TRUE(mapped.fewer_glyphs);
  EXPECT_EQ(mapped.spaces, 0);
  EXPECT_EQ(BfChars(font.BuildObjects(kNumbers, PlainString).to_unicode),
            (QStringList{"<0001> <0065>", "<0002> <00650301>"}));
}

TEST(FontMappingTest, OneGlyphForTwoCharactersGetsTwoCodes) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(3);
  spec.cmap = {{U'A', 2}, {U'\u0391', 2}, {U'B', 1}};  // Latin A and Greek Alpha share
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(spec), 0, 0);
  const TRemapedString first = font.MapText(u"A\u0391B", false, false);
  ASSERT_EQ(first.codes.size(), 3u);
  EXPECT_EQ(first.codes[0], 2);
  EXPECT_EQ(first.codes[1], 3);  // the first code above the font's glyph ids
  EXPECT_EQ(first.codes[2], 1);
  // Each character keeps its code on later use.
  EXPECT_EQ(font.MapText(u"\u0391A", false, false).codes, (std::vector<uint16_t>{3, 2}));
  ASSERT_TRUE(font.NeedsCidToGidMap());
  const PdfFontObjects objects = font.BuildObjects(kNumbers, PlainString);
  EXPECT_EQ(BfChars(objects.to_unicode),
            (QStringList{"<0001> <0042>", "<0002> <0041>", "<0003> <0391>"}));
  EXPECT_EQ(objects.cid_to_gid_map, QByteArray("\0\0\0\1\0\2\0\2", 8));
  EXPECT_TRUE(objects.cid_font_dict.contains("/CIDToGIDMap 15 0 R"));
}

TEST(FontMappingTest, GlyphsNamedForARareCharacterGiveThatCharacter) {
  TestFontSpec spec;
  spec.glyphs = std::vector<TestGlyph>(4);
  // '\' and U+5155 share glyph 1, named after U+5155; ']' shows glyph 2,
  // named uni57CF, but the font does not map U+57CF to it.
  spec.cmap = {{U'\\', 1}, {U'\u5155', 1}, {U']', 2}, {U'a', 3}};
  spec.glyph_names = {{1, "uni5155"}, {2, "uni57CF"}, {3, "uni0061"}};
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(spec), 0, 0);
  const TRemapedString mapped = font.MapText(u"\\\u5155]a", false, false);
  EXPECT_EQ(mapped.codes, (std::vector<uint16_t>{1, 1, 2, 3}));
  EXPECT_FALSE(font.NeedsCidToGidMap());
  EXPECT_EQ(BfChars(font.BuildObjects(kNumbers, PlainString).to_unicode),
            (QStringList{"<0001> <5155>", "<0002> <005D>", "<0003> <0061>"}));
}

TEST(FontMappingTest, ThePrivateFontGivesTheRealCharacters) {
  QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  TovxPDFFont font(QStringLiteral("KaitiVelmora"), 0, file.readAll(), 0, 0);
  font.MapText(u"\\]^_`\u5155A", false, false);
  QStringList texts;
  for (const auto& used : font.UsedGlyphs()) texts.append(used.text);
  EXPECT_EQ(texts, (QStringList{QStringLiteral("\u5155"), QStringLiteral("\u57CF"),
                                QStringLiteral("\u6BC2"), QStringLiteral("\u725D"),
                                QStringLiteral("\u7C65"), QStringLiteral("A")}));
}

TEST(FontMappingTest, ObjectsDescribeTheFontForPdf) {
  TestFontSpec spec = FontFor(U"ab");
  spec.family = QStringLiteral("My Font");
  const QByteArray data = BuildTestFont(spec);
  TovxPDFFont font(QStringLiteral("My Font(1)"), 1, data, 0, 3);
  EXPECT_EQ(font.ResourceName(), QByteArray("/F3"));
  EXPECT_TRUE(font.SimulatedBold(1));  // the face is not bold
  EXPECT_FALSE(font.SimulatedBold(0));
  EXPECT_EQ(font.EffectiveStyle(), 0);
  font.MapText(u"ab", false, false);
  const QByteArray base = font.BaseFontName();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+My#20Font#281#29$"))
                  .match(QString::fromLatin1(base))
                  .hasMatch())
      << base.constData();
  std::vector<QByteArray> strings;
  const PdfFontObjects objects = font.BuildObjects(kNumbers, [&](int number, QByteArrayView text) {
    strings.push_back(QByteArray::number(number) + ':' + text.toByteArray());
    return "<" + text.toByteArray().toHex() + ">";
  });
  EXPECT_EQ(strings, (std::vector<QByteArray>{"11:Adobe", "11:Identity"}));
  EXPECT_TRUE(objects.type0_dict.startsWith("<<") && objects.type0_dict.endsWith(">>"));
  for (const char* part : {"/Subtype /Type0", "/Encoding /Identity-H", "/DescendantFonts [11 0 R]",
                           "/ToUnicode 14 0 R"}) {
    EXPECT_TRUE(objects.type0_dict.contains(part)) << part;
  }
  for (const char* part : {"/Subtype /CIDFontType2", "/Registry <41646f6265>",
                           "/FontDescriptor 12 0 R", "/CIDToGIDMap /Identity"}) {
    EXPECT_TRUE(objects.cid_font_dict.contains(part)) << part;
  }
  for (const char* part : {"/FontFile2 13 0 R", "/ItalicAngle 0\r\n", "/CapHeight 700",
                           "/Ascent 800", "/Descent -200", "/MaxWidth ", "/Flags 32"}) {
    EXPECT_TRUE(objects.descriptor_dict.contains(part)) << part;
  }
  EXPECT_TRUE(objects.descriptor_dict.contains("/FontName /" + base + "\r\n"));
  EXPECT_EQ(objects.font_file_dict_extra,
            "/Length1 " + QByteArray::number(objects.font_file.size()));
  EXPECT_TRUE(objects.cid_to_gid_map.isEmpty());
  EXPECT_EQ(TovxPDFFont::BoldSimulationOperators(10, "1 0 0"), QByteArray("2 Tr 0.29 w 1 0 0 RG"));

  // The tag follows the glyph set, the same in every run.
  TovxPDFFont same(QStringLiteral("My Font(1)"), 1, data, 0, 3);
  same.MapText(u"ba", false, false);
  EXPECT_EQ(same.BaseFontName(), base);
  TovxPDFFont other(QStringLiteral("My Font(1)"), 1, data, 0, 3);
  other.MapText(u"a", false, false);
  EXPECT_NE(other.BaseFontName().left(6), base.left(6));
}

TEST(FontMappingTest, MetricsComeFromTheFontAtAThousandUnitsPerEm) {
  TestFontSpec spec;
  spec.units_per_em = 2000;
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(spec), 0, 0);
  const PdfFontMetrics& m = font.Metrics();
  EXPECT_EQ(m.ascent, 400);
  EXPECT_EQ(m.descent, -100);
  EXPECT_EQ(m.cap_height, 350);
  EXPECT_EQ((std::vector<int>{m.bbox[0], m.bbox[1], m.bbox[2], m.bbox[3]}),
            (std::vector<int>{0, -100, 500, 400}));
  EXPECT_EQ(m.underline_thickness, 25);
  EXPECT_EQ(m.underline_position, -62);  // centre of the stroke under -100
  EXPECT_EQ(m.strikeout_position, 138);  // centre of the 50 units below 300
  EXPECT_EQ(m.stem_v, 88);
}

TEST(FontMappingTest, MappingAfterBuildingIsAnError) {
  TovxPDFFont font(QStringLiteral("Test"), 0, BuildTestFont(FontFor(U"a")), 0, 0);
  font.MapText(u"a", false, false);
  font.BuildObjects(kNumbers, PlainString);
  EXPECT_THROW(font.MapText(u"a", false, false), Error);
}

TEST(FontMappingTest, DamagedFontDataIsAnError) {
  EXPECT_THROW(TovxPDFFont(QStringLiteral("X"), 0, QByteArray("not a font"), 0, 0), Error);
  TestFontSpec spec = FontFor(U"a");
  spec.glyphs[1].components = {7};  // beyond the glyph count
  TovxPDFFont font(QStringLiteral("X"), 0, BuildTestFont(spec), 0, 0);
  font.MapText(u"a", false, false);
  EXPECT_THROW(font.BuildObjects(kNumbers, PlainString), Error);
}

// The document's font list, over the fonts the font service finds.
TEST(PdfFontListTest, FontsAreFoundByNameAndEffectiveStyle) {
  PdfFontList list;
  TovxPDFFont& regular = list.FindOrAdd(QStringLiteral("DejaVu Sans"), 0);
  EXPECT_EQ(&list.FindOrAdd(QStringLiteral("dejavu sans"), 4), &regular);  // underline: same font
  EXPECT_EQ(regular.ResourceName(), QByteArray("/F0"));
  // Arial Black's bold is always simulated: the regular face, no "Bold".
  TovxPDFFont& black = list.FindOrAdd(QStringLiteral("Arial Black"), 1);
  EXPECT_EQ(black.ResourceName(), QByteArray("/F1"));
  EXPECT_TRUE(black.SimulatedBold(1));
  EXPECT_EQ(black.EffectiveStyle(), 0);
  // A regular request shares the font program but not its simulation.
  EXPECT_EQ(&list.FindOrAdd(QStringLiteral("Arial Black"), 0), &black);
  EXPECT_FALSE(black.SimulatedBold(0));
  black.MapText(u"A", false, false);
  EXPECT_FALSE(black.BaseFontName().contains("Bold")) << black.BaseFontName().constData();
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(PdfFontListTest, CharactersOfFallbackFacesGetTheirOwnFont) {
  PdfFontList list;
  const QString text = QStringLiteral("A\U00020000\U00020000B");
  const std::vector<PdfTextRun> runs =
      list.MapRuns(QStringLiteral("DejaVu Sans"), 0, text, false, false);
  if (runs.size() == 1) GTEST_SKIP() << "no font with U+20000 besides DejaVu Sans";
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].font, &list.At(0));
  EXPECT_NE(runs[1].font, runs[0].font);
  EXPECT_EQ(runs[2].font, runs[0].font);
  EXPECT_EQ((std::vector<int>{runs[0].first_char, runs[1].first_char, runs[2].first_char}),
            (std::vector<int>{0, 1, 5}));
  EXPECT_EQ(runs[1].char_count, 4);
  ASSERT_EQ(runs[1].mapped.codes.size(), 2u);
  EXPECT_NE(runs[1].mapped.codes[0], 0);  // a real glyph of the fallback face
  EXPECT_EQ(runs[1].mapped.codes[1], runs[1].mapped.codes[0]);
  EXPECT_EQ(list.Count(), 2);
  // The fallback font is found again, not added twice.
  list.MapRuns(QStringLiteral("DejaVu Sans"), 0, QStringLiteral("\U00020000"), false, false);
  EXPECT_EQ(list.Count(), 2);
}

// A typeset page maps the same characters cell by cell: asked again, a
// short text maps the same, adds no font, and still fails once the font's
// subset is built.
TEST(PdfFontListTest, AShortTextAskedAgainMapsTheSame) {
  PdfFontList list;
  const QString name = QStringLiteral("DejaVu Sans");
  const std::vector<PdfTextRun> first = list.MapRuns(name, 0, u"Ab", false, false);
  const std::vector<PdfTextRun> again = list.MapRuns(name, 0, u"Ab", false, false);
  ASSERT_EQ(first.size(), again.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(again[i].font, first[i].font);
    EXPECT_EQ(again[i].mapped.codes, first[i].mapped.codes);
    EXPECT_EQ(again[i].mapped.width, first[i].mapped.width);
  }
  const int fonts = list.Count();
  // Other flags are other mappings.
  list.MapRuns(name, 1, u"Ab", false, false);
  EXPECT_GE(list.Count(), fonts);
  ASSERT_FALSE(list.At(0).BuildSubsetFont().isEmpty());
  EXPECT_THROW(list.MapRuns(name, 0, u"Ab", false, false), ovx::Error);
}

}  // namespace
}  // namespace ovx
