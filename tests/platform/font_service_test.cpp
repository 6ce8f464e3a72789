// The font service against the Debian fonts scripts/setup.sh installs:
// which faces the Windows names templates use resolve to, how characters
// are measured, where missing characters come from, and private fonts.
//
// Private fonts are copies of Liberation Mono with the family renamed in
// the name table (and, where a test needs it, the OS/2 cell changed), so
// that a family exists only while the test has registered it.
#include "platform/font_service.h"

#include "base/rounding.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <thread>

namespace ovx {
namespace {

const QString kLiberationMono =
    QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf");

// Offset and length of an sfnt table, nullopt when the font has none.
std::optional<std::pair<int, int>> FindTable(const QByteArray& font, const char tag[4]) {
  if (font.size() < 12) return std::nullopt;
  const auto* data = reinterpret_cast<const uchar*>(font.constData());
  const int tables = qFromBigEndian<quint16>(data + 4);
  for (int i = 0; i < tables && 12 + 16 * (i + 1) <= font.size(); ++i) {
    const uchar* record = data + 12 + 16 * i;
    if (memcmp(record, tag, 4) != 0) continue;
    const int offset = static_cast<int>(qFromBigEndian<quint32>(record + 8));
    const int length = static_cast<int>(qFromBigEndian<quint32>(record + 12));
    if (offset < 0 || length < 0 || offset + length > font.size()) return std::nullopt;
    return std::make_pair(offset, length);
  }
  return std::nullopt;
}

// Liberation Mono under another family name: "Liberation" becomes `name`
// (ten characters) in the name table's Latin-1 and UTF-16 strings; with
// `win_cell` the OS/2 usWinAscent and usWinDescent become those values.
QByteArray RenamedLiberationMono(const char (&name)[11],
                                 std::optional<std::pair<int, int>> win_cell = std::nullopt) {
  QFile file(kLiberationMono);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray font = file.readAll();
  const auto table = FindTable(font, "name");
  if (!table) return {};
  QByteArray names = font.mid(table->first, table->second);
  auto utf16 = [](const char* text) {
    QByteArray out;
    for (const char* p = text; *p; ++p) out.append('\0').append(*p);
    return out;
  };
  names.replace("Liberation", name);
  names.replace(utf16("Liberation"), utf16(name));
  font.replace(table->first, table->second, names);
  if (win_cell) {
    const auto os2 = FindTable(font, "OS/2");
    if (!os2 || os2->second < 78) return {};
    qToBigEndian<quint16>(win_cell->first, font.data() + os2->first + 74);
    qToBigEndian<quint16>(win_cell->second, font.data() + os2->first + 76);
  }
  return font;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
  return path;
}

int ExpectedAdvance(const FontFace& face, char32_t ch, double em) {
  return RoundToInt(face.DesignAdvance(face.GlyphIndex(ch)) * em / face.UnitsPerEm());
}

TEST(FontServiceTest, WindowsFaceNamesResolveToTheDebianFaces) {
  const struct {
    const char* name;
    const char* family;
  } cases[] = {
      {"Arial", "Liberation Sans"},
      {"Helvetica", "Liberation Sans"},
      {"Times New Roman", "Liberation Serif"},
      {"Courier New", "Liberation Mono"},
      {"Tahoma", "WenQuanYi Zen Hei"},
      {"MS Sans Serif", "WenQuanYi Zen Hei"},
      {"System", "WenQuanYi Zen Hei"},
      {"system", "WenQuanYi Zen Hei"},
      {"楷体", "AR PL UKai CN"},
      {"楷体_GB2312", "AR PL UKai CN"},
      {"KaiTi", "AR PL UKai CN"},
      {"黑体", "WenQuanYi Zen Hei"},
      {"SimHei", "WenQuanYi Zen Hei"},
      {"宋体", "AR PL UMing CN"},
      {"新宋体", "AR PL UMing CN"},
      {"SimSun", "AR PL UMing CN"},
  };
  FontService& service = FontService::Instance();
  for (const auto& c : cases) {
    const QString name = QString::fromUtf8(c.name);
    const FontFace& face = service.Resolve(name, 0);
    EXPECT_EQ(face.FamilyName(), QString::fromUtf8(c.family)) << c.name;
    EXPECT_EQ(&service.Resolve(name, 0), &face) << c.name << ": resolved once";
  }
  // The user-interface names need a face that shows Chinese by itself.
  EXPECT_NE(service.Resolve(QStringLiteral("Tahoma"), 0).GlyphIndex(U'中'), 0u);
}

TEST(FontServiceTest, StyleBitsPickStyledFacesOrSimulateTheStyle) {
  const struct {
    const char* family;
    int style_bits;
    const char* file;
    bool simulated_bold;
    bool simulated_italic;
  } cases[] = {
      {"Arial", 0, "LiberationSans-Regular.ttf", false, false},
      {"Arial", 1, "LiberationSans-Bold.ttf", false, false},
      {"Arial", 2, "LiberationSans-Italic.ttf", false, false},
      {"Arial", 3 | 4 | 8, "LiberationSans-BoldItalic.ttf", false, false},
      {"楷体", 1, "ukai.ttc", true, false},
      {"楷体", 2, "ukai.ttc", false, true},
      {"宋体", 3, "uming.ttc", true, true},
  };
  for (const auto& c : cases) {
    const ScaledFont font(QString::fromUtf8(c.family), -20, c.style_bits);
    const QString context = QStringLiteral("%1 style %2").arg(c.family).arg(c.style_bits);
    EXPECT_TRUE(font.Face().FilePath().endsWith(QLatin1String(c.file)))
        << qPrintable(context) << ": " << qPrintable(font.Face().FilePath());
    EXPECT_EQ(font.SimulatedBold(), c.simulated_bold) << qPrintable(context);
    EXPECT_EQ(font.SimulatedItalic(), c.simulated_italic) << qPrintable(context);
  }
}

TEST(FontServiceTest, AdvancesAreDesignAdvancesScaledAndRoundedHalvesToEven) {
  // Liberation Sans keeps Arial's widths: W 1933, i 455, '.' 569, '1' 1139
  // of 2048 units, scaled linearly whatever the size (hinting would round
  // each width to the pixel grid of its size first).
  const struct {
    int em;
    char32_t ch;
    int advance;
  } cases[] =
      {
          {2048, U'W', 1933}, {2048, U'i', 455}, {2048, U'.', 569},
          {2048, U'1', 1139}, {13, U'W', 12},    {13, U'i', 3},
          {13, U'.', 4},      {13, U'1', 7},     {1024, U'.', 284},  // 284.5: the even neighbour
          {1024, U'W', 966},                                         // 966.5
          {0, U'W', 0},
      };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaledFont(QStringLiteral("Arial"), -c.em, 0).Advance(c.ch), c.advance)
        << "em " << c.em << " char " << static_cast<quint32>(c.ch);
  }

  // Every size and style scales the same design widths, the fallback
  // face's for a character taken from it.
  for (const char* family : {"Arial", "楷体", "Times New Roman"}) {
    for (int em = 1; em <= 64; em += 3) {
      for (int style : {0, 1}) {
        const ScaledFont font(QString::fromUtf8(family), -em, style);
        for (char32_t ch : {U'a', U'W', U'中', U'。', U'1'}) {
          ASSERT_EQ(font.Advance(ch), ExpectedAdvance(font.FaceFor(ch), ch, em))
              << family << " em " << em << " style " << style << " char " << quint32(ch);
        }
      }
    }
  }
}

TEST(FontServiceTest, ChineseFacesMeasureTheirEmSquare) {
  // 中 fills the em square of AR PL UKai (1024 units): the cell reported
  // for the platform is the OS/2 win cell, 997 above and 133 below.
  const struct {
    int height;
    int advance, ascent, descent;
  } cases[] = {
      {-20, 20, 19, 3},
      {-125, 125, 122, 16},
      {22, 20, 19, 3},  // a cell of 22: em = 22 x 1024 / 1130 = 19.94
  };
  for (const auto& c : cases) {
    const ScaledFont font(QStringLiteral("楷体"), c.height, 0);
    EXPECT_EQ(font.Advance(U'中'), c.advance) << c.height;
    EXPECT_EQ(font.Metrics().ascent, c.ascent) << c.height;
    EXPECT_EQ(font.Metrics().descent, c.descent) << c.height;
    EXPECT_EQ(font.Metrics().height, c.ascent + c.descent) << c.height;
  }
}

TEST(FontServiceTest, MissingCharactersComeFromOneFallbackFaceForTheRun) {
  FontService& service = FontService::Instance();
  const FontFace& arial = service.Resolve(QStringLiteral("Arial"), 0);
  ASSERT_EQ(arial.GlyphIndex(U'中'), 0u);
  const FontFace& cjk = service.FaceFor(arial, U'中');
  EXPECT_EQ(cjk.FamilyName(), QStringLiteral("WenQuanYi Zen Hei"));
  for (int em : {9, 20, 125}) {
    const ScaledFont font(QStringLiteral("Arial"), -em, 0);
    EXPECT_EQ(&font.FaceFor(U'中'), &cjk) << em;
    EXPECT_EQ(&service.FaceFor(arial, U'中'), &cjk) << em;
    EXPECT_EQ(font.Advance(U'中'), ExpectedAdvance(cjk, U'中', em)) << em;
    EXPECT_EQ(&font.FaceFor(U'W'), &arial) << em;
  }

  // CJK Extension B is reached from every face, through Hanazono.
  for (const char* family : {"Arial", "楷体", "宋体", "黑体", "Courier New"}) {
    const FontFace& face = ScaledFont(QString::fromUtf8(family), -20, 0).FaceFor(U'\U00020000');
    EXPECT_TRUE(face.FamilyName().startsWith(QLatin1String("HanaMin"))) << family;
    EXPECT_NE(face.GlyphIndex(U'\U00020000'), 0u) << family;
  }

  // What nobody has, and what is no character, stays with the primary.
  for (char32_t ch : {U'\U0010FFFD', char32_t{0xD800}, char32_t{0x110000}, char32_t{0xFFFFFFFF}}) {
    EXPECT_EQ(&service.FaceFor(arial, ch), &arial) << static_cast<quint32>(ch);
  }
}

// A Chinese character a face lacks comes from a face of the same kind
// first, so a page never mixes brush, serif and sans letters.
TEST(FontServiceTest, FallbackKeepsTheKindOfTheRequestedFace) {
  FontService& service = FontService::Instance();
  const QString private_font = QStringLiteral(VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf");
  QString error;
  ASSERT_TRUE(service.AddPrivateFont(private_font, &error)) << qPrintable(error);
  const struct {
    const char* request;
    char32_t ch;
    const char* family;
  } cases[] = {
      {"楷体-Velmora", U'黄', "AR PL UKai CN"},      // not among its rare characters
      {"楷体-Velmora", U'\uFE10', "AR PL UKai CN"},  // a vertical comma
      {"楷体-Velmora", U'\U0002000B', "HanaMinA"},
      {"楷体", U'\u5358', "AR PL UMing CN"},  // 単: no Kai face has it
      {"楷体", U'\U0002000B', "HanaMinA"},
      {"宋体", U'\U0002000B', "HanaMinA"},
      {"黑体", U'\U0002000B', "HanaMinA"},
      {"Arial", U'黄', "WenQuanYi Zen Hei"},
      {"Arial", U'\U0002000B', "HanaMinA"},
  };
  for (const auto& c : cases) {
    const FontFace& requested = service.Resolve(QString::fromUtf8(c.request), 0);
    ASSERT_EQ(requested.GlyphIndex(c.ch), 0u) << c.request;
    const FontFace& chosen = service.FaceFor(requested, c.ch);
    EXPECT_EQ(chosen.FamilyName(), QString::fromUtf8(c.family))
        << c.request << " U+" << std::hex << static_cast<quint32>(c.ch);
    EXPECT_NE(chosen.GlyphIndex(c.ch), 0u) << c.request;
    // Measuring and drawing take the same face.
    EXPECT_EQ(&ScaledFont(QString::fromUtf8(c.request), -20, 0).FaceFor(c.ch), &chosen);
  }
  service.RemovePrivateFont(private_font);
}

// Vertical text moves the marks beside the text to the top right of the
// em square and turns brackets and quotation marks: the face's own
// vertical form, else the Unicode presentation form from the Kai chain.
TEST(FontServiceTest, VerticalFormsOfMarks) {
  EXPECT_EQ(VerticalPresentationForm(U'，'), U'\uFE10');
  EXPECT_EQ(VerticalPresentationForm(U'、'), U'\uFE11');
  EXPECT_EQ(VerticalPresentationForm(U'。'), U'\uFE12');
  EXPECT_EQ(VerticalPresentationForm(U'「'), U'\uFE41');
  EXPECT_EQ(VerticalPresentationForm(U'“'), U'\uFE43');
  EXPECT_EQ(VerticalPresentationForm(U'道'), 0u);
  EXPECT_EQ(VerticalPresentationForm(U'x'), 0u);
  EXPECT_EQ(MarkOfVerticalPresentationForm(U'\uFE10'), U'，');
  EXPECT_EQ(MarkOfVerticalPresentationForm(U'\uFE43'), U'『');
  EXPECT_EQ(MarkOfVerticalPresentationForm(U'，'), 0u);

  FontService& service = FontService::Instance();
  const QString private_font = QStringLiteral(VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf");
  ASSERT_TRUE(service.AddPrivateFont(private_font));
  const FontFace& kai = service.Resolve(QStringLiteral("楷体"), 0);
  const FontFace& velmora = service.Resolve(QStringLiteral("楷体-Velmora"), 0);
  ASSERT_EQ(velmora.FamilyName(), QStringLiteral("楷体-Velmora"));

  // Marks keep their own glyph, moved into the top-right quarter of the em
  // square (AR PL UKai centres them, for horizontal and vertical text).
  for (const FontFace* face : {&kai, &velmora}) {
    const int em = face->UnitsPerEm();
    const double bottom = -face->Descent() * em / double(face->Ascent() + face->Descent());
    for (char32_t mark : {U'，', U'、', U'。'}) {
      const FaceGlyph moved = service.VerticalGlyph(*face, mark);
      EXPECT_EQ(moved.face, face);
      EXPECT_EQ(moved.glyph, face->GlyphIndex(mark));
      const QRectF ink =
          face->GlyphOutline(moved.glyph).boundingRect().translated(moved.shift_x, moved.shift_y);
      const std::string what =
          face->FamilyName().toStdString() + " U+" + QString::number(mark, 16).toStdString();
      EXPECT_GE(ink.left(), face->DesignAdvance(moved.glyph) / 2.0) << what;
      EXPECT_LE(ink.right(), face->DesignAdvance(moved.glyph)) << what;
      EXPECT_GE(ink.top(), bottom + em / 2.0) << what;  // y up: top() is the lowest
      EXPECT_LE(ink.bottom(), bottom + em) << what;
    }
  }
  // AR PL UKai's vert feature turns its ellipsis.
  const FaceGlyph ellipsis = service.VerticalGlyph(kai, U'…');
  EXPECT_EQ(ellipsis.face, &kai);
  EXPECT_NE(ellipsis.glyph, kai.GlyphIndex(U'…'));
  EXPECT_EQ(ellipsis.shift_x, 0);
  // The private face has no corner bracket: AR PL UKai's vertical one.
  const FaceGlyph bracket = service.VerticalGlyph(velmora, U'「');
  EXPECT_EQ(bracket.face->FamilyName(), QStringLiteral("AR PL UKai CN"));
  EXPECT_EQ(bracket.glyph, bracket.face->GlyphIndex(U'\uFE41'));
  EXPECT_EQ(ScaledFont(QStringLiteral("楷体-Velmora"), -20, 0).VerticalGlyph(U'「').glyph,
            bracket.glyph);
  // A character without a vertical form keeps its glyph and place.
  const FaceGlyph dao = service.VerticalGlyph(velmora, U'道');
  EXPECT_EQ(dao.face, &velmora);
  EXPECT_EQ(dao.glyph, velmora.GlyphIndex(U'道'));
  EXPECT_EQ(dao.shift_x, 0);
  EXPECT_EQ(dao.shift_y, 0);
  service.RemovePrivateFont(private_font);
}

TEST(FontServiceTest, OutlinesAreInFontUnitsWithYUp) {
  const FontFace& face = FontService::Instance().Resolve(QStringLiteral("Arial"), 0);
  const QRectF box = face.GlyphOutline(face.GlyphIndex(U'H')).boundingRect();
  // A capital stands on the baseline and reaches the cap height (1409 of
  // 2048 units in Arial's metrics).
  EXPECT_NEAR(box.top(), 0, 1);
  EXPECT_NEAR(box.bottom(), 1409, 2);
  EXPECT_TRUE(face.GlyphOutline(face.GlyphIndex(U' ')).isEmpty());
  EXPECT_TRUE(face.GlyphOutline(1u << 30).isEmpty());
  EXPECT_EQ(face.DesignAdvance(1u << 30), 0);
}

TEST(FontServiceTest, BadPrivateFontFilesFailWithAMessage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile mono(kLiberationMono);
  ASSERT_TRUE(mono.open(QIODevice::ReadOnly));
  const QByteArray font = mono.readAll();
  QByteArray bad_directory = font.left(12);
  bad_directory.append(QByteArray(16 * 20, '\xFF'));
  const struct {
    const char* what;
    QString path;
  } cases[] = {
      {"missing", dir.filePath(QStringLiteral("missing.ttf"))},
      {"directory", dir.path()},
      {"empty", WriteFile(dir, QStringLiteral("empty.ttf"), {})},
      {"text", WriteFile(dir, QStringLiteral("text.ttf"), "This is not a font.\n")},
      {"truncated", WriteFile(dir, QStringLiteral("truncated.ttf"), font.left(200))},
      {"table directory out of range", WriteFile(dir, QStringLiteral("tables.ttf"), bad_directory)},
      {"empty name", QString()},
  };
  FontService& service = FontService::Instance();
  const int families = service.Families().size();
  for (const auto& c : cases) {
    QString error;
    EXPECT_FALSE(service.AddPrivateFont(c.path, &error)) << c.what;
    EXPECT_FALSE(error.isEmpty()) << c.what;
    if (!c.path.isEmpty()) {
      EXPECT_TRUE(error.contains(c.path)) << c.what << ": " << qPrintable(error);
    }
    service.RemovePrivateFont(c.path);  // never registered: nothing happens
  }
  EXPECT_EQ(service.Families().size(), families);
  EXPECT_EQ(service.Resolve(QStringLiteral("Arial"), 0).FamilyName(),
            QStringLiteral("Liberation Sans"));
}

TEST(FontServiceTest, DamagedGlyphDataNeverBreaksMeasuringOrOutlines) {
  // Files whose headers are sound but whose glyphs are garbage or cut off
  // may be accepted; what they give must then be harmless.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QByteArray scrambled = RenamedLiberationMono("VelmoraBad");
  if (scrambled.isEmpty()) GTEST_SKIP() << "Liberation Mono is not installed (scripts/setup.sh)";
  const auto glyf = FindTable(scrambled, "glyf");
  ASSERT_TRUE(glyf);
  quint32 state = 12345;
  for (int i = glyf->first; i < glyf->first + glyf->second; ++i) {
    state = state * 1103515245u + 12345u;
    scrambled[i] = static_cast<char>(state >> 24);
  }
  const QByteArray cut = RenamedLiberationMono("VelmoraCut").left(glyf->first + glyf->second / 2);
  FontService& service = FontService::Instance();
  for (const auto& [name, bytes] :
       {std::pair{"VelmoraBad", scrambled}, std::pair{"VelmoraCut", cut}}) {
    const QString path = WriteFile(dir, QString::fromLatin1(name) + ".ttf", bytes);
    QString error;
    if (!service.AddPrivateFont(path, &error)) {
      EXPECT_FALSE(error.isEmpty()) << name;
      continue;
    }
    const ScaledFont font(QString::fromLatin1(name) + " Mono", -20, 0);
    for (char32_t ch = 0x20; ch < 0x250; ++ch) {
      const FontFace& face = font.FaceFor(ch);
      EXPECT_GE(font.Advance(ch), 0);
      face.GlyphOutline(face.GlyphIndex(ch));
    }
    service.RemovePrivateFont(path);
  }
}

TEST(FontServiceTest, PrivateFontResolvesByItsFamilyUntilRemoved) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray bytes = RenamedLiberationMono("VelmoraPvt");
  if (bytes.isEmpty()) GTEST_SKIP() << "Liberation Mono is not installed (scripts/setup.sh)";
  const QString path = WriteFile(dir, QStringLiteral("private.ttf"), bytes);
  const QString family = QStringLiteral("VelmoraPvt Mono");
  FontService& service = FontService::Instance();
  ASSERT_NE(service.Resolve(family, 0).FamilyName(), family);
  ASSERT_FALSE(service.Families().contains(family));

  QString error;
  ASSERT_TRUE(service.AddPrivateFont(path, &error)) << qPrintable(error);
  EXPECT_TRUE(service.AddPrivateFont(path, &error)) << "adding twice is harmless";
  const FontFace& face = service.Resolve(family, 0);
  EXPECT_EQ(face.FamilyName(), family);
  EXPECT_EQ(face.FilePath(), path);
  EXPECT_TRUE(service.Families().contains(family));
  const ScaledFont before(family, -20, 0);
  EXPECT_EQ(&before.Face(), &face);
  EXPECT_EQ(before.Advance(U'x'), 12);  // 1229 units of a monospaced 2048

  service.RemovePrivateFont(path);
  EXPECT_NE(service.Resolve(family, 0).FilePath(), path);
  EXPECT_NE(ScaledFont(family, -20, 0).Face().FilePath(), path);
  EXPECT_FALSE(service.Families().contains(family));
  // What was handed out before stays usable.
  EXPECT_EQ(face.FamilyName(), family);
  EXPECT_FALSE(face.GlyphOutline(face.GlyphIndex(U'x')).isEmpty());
  EXPECT_EQ(before.Advance(U'y'), 12);

  // Registering again finds the family again.
  ASSERT_TRUE(service.AddPrivateFont(path, &error)) << qPrintable(error);
  EXPECT_EQ(service.Resolve(family, 0).FilePath(), path);
  service.RemovePrivateFont(path);
}

TEST(FontServiceTest, VerticalMetricsAreTheOs2WinCell) {
  // A face whose OS/2 win cell (1800 + 600) differs from its hhea cell
  // (1705 + 615): the platform's metrics follow OS/2.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray bytes = RenamedLiberationMono("VelmoraOs2", std::make_pair(1800, 600));
  if (bytes.isEmpty()) GTEST_SKIP() << "Liberation Mono is not installed (scripts/setup.sh)";
  const QString path = WriteFile(dir, QStringLiteral("os2.ttf"), bytes);
  FontService& service = FontService::Instance();
  QString error;
  ASSERT_TRUE(service.AddPrivateFont(path, &error)) << qPrintable(error);
  const QString family = QStringLiteral("VelmoraOs2 Mono");
  const FontFace& face = service.Resolve(family, 0);
  ASSERT_EQ(face.FilePath(), path);
  EXPECT_EQ(face.Ascent(), 1800);
  EXPECT_EQ(face.Descent(), 600);

  const struct {
    int height;
    double em;
    int ascent, descent;
  } cases[] = {
      {-2048, 2048, 1800, 600},
      {-20, 20, 18, 6},         // 17.58, 5.86
      {2400, 2048, 1800, 600},  // positive: the cell height
      {24, 20.48, 18, 6},
  };
  for (const auto& c : cases) {
    const ScaledFont font(family, c.height, 0);
    EXPECT_DOUBLE_EQ(font.EmPixels(), c.em) << c.height;
    EXPECT_EQ(font.Metrics().ascent, c.ascent) << c.height;
    EXPECT_EQ(font.Metrics().descent, c.descent) << c.height;
    EXPECT_EQ(font.Metrics().height, c.ascent + c.descent) << c.height;
  }
  service.RemovePrivateFont(path);
}

TEST(FontServiceTest, ConcurrentMeasuringGivesTheSameAdvances) {
  const QString text = QStringLiteral("天地玄黄宇宙洪荒 The quick brown fox 日月盈昃辰宿列张");
  auto measure = [&](int em) {
    std::vector<int> advances;
    const ScaledFont font(QStringLiteral("楷体"), -em, 0);
    const ScaledFont latin(QStringLiteral("Arial"), -em, 1);
    for (QChar c : text) {
      advances.push_back(font.Advance(c.unicode()));
      advances.push_back(latin.Advance(c.unicode()));
    }
    return advances;
  };
  std::vector<std::vector<int>> results(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int em = 30; em < 60; ++em) {
        std::vector<int> r = measure(em);
        results[t].insert(results[t].end(), r.begin(), r.end());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<int> expected;
  for (int em = 30; em < 60; ++em) {
    std::vector<int> r = measure(em);
    expected.insert(expected.end(), r.begin(), r.end());
  }
  for (const auto& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
}  // namespace ovx
