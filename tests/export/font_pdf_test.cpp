// The font objects inside a real PDF, read back by poppler: the fonts are
// listed as embedded subsets with ToUnicode, the text comes back (rare
// characters and shared glyphs included), and every code selects the glyph
// it was mapped from. The last point matters most for CFF fonts, where the
// PDF viewer finds glyphs by CID through the subset's charset: a page of
// text is rendered next to a page where the same glyphs are filled as
// outlines taken from the original font, and both must look the same.
//
// The PDF is written here by a few lines of test code, so these tests
// depend on nothing but the font objects. They skip when poppler-utils or
// the fonts are missing.
#include "export/pdf_font.h"
#include "platform/font_service.h"
#include "tests/export/font_test_fonts.h"
#include "tests/test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainterPath>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

constexpr double kSize = 40;  // points per em on the test page
constexpr int kPerRow = 10;

struct PageGlyph {
  uint16_t code;
  uint16_t glyph;
};

QByteArray Num(double value) { return QByteArray::number(value, 'f', 3); }

// Glyph outlines from the font service, in PDF path operators scaled to
// kSize at (x, y).
QByteArray OutlineOperators(const FontFace& face, uint16_t glyph, double x, double y) {
  const QPainterPath path = face.GlyphOutline(glyph);
  const double scale = kSize / face.UnitsPerEm();
  QByteArray ops = "q " + Num(scale) + " 0 0 " + Num(scale) + ' ' + Num(x) + ' ' + Num(y) + " cm\n";
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo()) {
      ops += Num(e.x) + ' ' + Num(e.y) + " m\n";
    } else if (e.isLineTo()) {
      ops += Num(e.x) + ' ' + Num(e.y) + " l\n";
    } else if (e.isCurveTo()) {
      const auto c1 = path.elementAt(i + 1), c2 = path.elementAt(i + 2);
      ops += Num(e.x) + ' ' + Num(e.y) + ' ' + Num(c1.x) + ' ' + Num(c1.y) + ' ' + Num(c2.x) + ' ' +
             Num(c2.y) + " c\n";
      i += 2;
    }
  }
  return ops + "f Q\n";
}

// A PDF with one font: a page per text line, and with `outline_face` one
// more page of the used glyphs in a grid, then the same grid filled as
// outlines of the original font.
QByteArray WritePdf(TovxPDFFont& font, const std::vector<TRemapedString>& lines,
                    const FontFace* outline_face) {
  std::vector<QByteArray> contents;
  // Text pages: rows of 30 glyphs at 12 points, so that every row fits.
  for (const TRemapedString& line : lines) {
    QByteArray content = "BT /F0 12 Tf 14 TL 20 800 Td\n";
    for (size_t i = 0; i < line.codes.size(); i += 30) {
      QByteArray codes;
      for (size_t k = i; k < std::min(line.codes.size(), i + 30); ++k) {
        codes += QByteArray::number(line.codes[k], 16).rightJustified(4, '0');
      }
      content += "<" + codes + "> Tj T*\n";
    }
    contents.push_back(content + "ET\n");
  }
  std::vector<PageGlyph> grid;
  for (const auto& used : font.UsedGlyphs()) grid.push_back({used.code, used.glyph});
  if (outline_face != nullptr) {
    QByteArray text, outlines;
    for (size_t i = 0; i < grid.size(); ++i) {
      const double x = 10 + (i % kPerRow) * kSize * 1.25;
      const double y = 800 - (i / kPerRow + 1) * kSize * 1.25;
      text += "BT /F0 " + Num(kSize) + " Tf " + Num(x) + ' ' + Num(y) + " Td <" +
              QByteArray::number(grid[i].code, 16).rightJustified(4, '0') + "> Tj ET\n";
      outlines += OutlineOperators(*outline_face, grid[i].glyph, x, y);
    }
    contents.push_back(text);
    contents.push_back(outlines);
  }

  // Objects: 1 catalog, 2 page tree, then the font, then page and content
  // pairs.
  const int pages = int(contents.size());
  const bool map = font.NeedsCidToGidMap();
  PdfFontObjectNumbers numbers{3, 4, 5, 6, 7, map ? 8 : 0};
  const int first_page = map ? 9 : 8;
  const PdfFontObjects objects =
      font.BuildObjects(numbers, [](int, QByteArrayView t) { return '(' + t.toByteArray() + ')'; });
  std::vector<QByteArray> bodies(first_page - 1 + 2 * pages);
  bodies[0] = "<< /Type /Catalog /Pages 2 0 R >>";
  QByteArray kids;
  for (int i = 0; i < pages; ++i) kids += QByteArray::number(first_page + 2 * i) + " 0 R ";
  bodies[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
  bodies[2] = objects.type0_dict;
  bodies[3] = objects.cid_font_dict;
  bodies[4] = objects.descriptor_dict;
  const auto stream = [](const QByteArray& data, const QByteArray& extra) {
    return "<< /Length " + QByteArray::number(data.size()) + ' ' + extra + " >>\nstream\n" + data +
           "\nendstream";
  };
  bodies[5] = stream(objects.font_file, objects.font_file_dict_extra);
  bodies[6] = stream(objects.to_unicode, "");
  if (map) bodies[7] = stream(objects.cid_to_gid_map, "");
  for (int i = 0; i < pages; ++i) {
    bodies[first_page - 1 + 2 * i] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 842] /Resources << /Font << /F0 3 0 R >> "
        ">> /Contents " +
        QByteArray::number(first_page + 2 * i + 1) + " 0 R >>";
    bodies[first_page + 2 * i] = stream(contents[i], "");
  }
  QByteArray pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<qsizetype> offsets;
  for (size_t i = 0; i < bodies.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += QByteArray::number(qulonglong(i + 1)) + " 0 obj\n" + bodies[i] + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(qulonglong(bodies.size() + 1)) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) {
    pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  }
  pdf += "trailer\n<< /Size " + QByteArray::number(qulonglong(bodies.size() + 1)) +
         " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

class FontPdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"pdftotext", "pdffonts", "pdftoppm"}) {
      if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
        GTEST_SKIP() << tool << " not installed";
      }
    }
    ASSERT_TRUE(dir_.isValid());
  }

  QByteArray Run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
  }

  QString Save(const QByteArray& pdf) {
    const QString path = dir_.filePath(QStringLiteral("font.pdf"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pdf);
    return path;
  }

  // Text of page `page` (1-based), without the form feed.
  QString PageText(const QString& pdf, int page) {
    const QString n = QString::number(page);
    QString text =
        QString::fromUtf8(Run(QStringLiteral("pdftotext"), {"-f", n, "-l", n, "-raw", "-enc",
                                                            "UTF-8", pdf, QStringLiteral("-")}));
    text.remove(QChar(u'\f'));
    text.remove(QChar(u'\n'));
    return text.trimmed();
  }

  QImage Render(const QString& pdf, int page) {
    const QString n = QString::number(page);
    const QString base = dir_.filePath(QStringLiteral("page") + n);
    Run(QStringLiteral("pdftoppm"),
        {"-f", n, "-l", n, "-r", "72", "-gray", "-png", "-singlefile", pdf, base});
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
  }

  // The used glyphs drawn as text and as outlines differ in few pixels.
  void ExpectGlyphsMatchOutlines(const QString& pdf, int text_page) {
    const QImage text = Render(pdf, text_page);
    const QImage outlines = Render(pdf, text_page + 1);
    ASSERT_FALSE(text.isNull());
    ASSERT_EQ(text.size(), outlines.size());
    int ink = 0, differing = 0;
    for (int y = 0; y < text.height(); ++y) {
      const uchar* a = text.constScanLine(y);
      const uchar* b = outlines.constScanLine(y);
      for (int x = 0; x < text.width(); ++x) {
        if (b[x] < 128) ++ink;
        if (std::abs(int(a[x]) - int(b[x])) > 128) ++differing;
      }
    }
    EXPECT_GT(ink, 100);
    // Rasterizer differences stay on the edges; a wrong glyph differs in
    // most of its ink.
    EXPECT_LT(differing, ink / 20) << "ink " << ink << ", differing " << differing;
  }

  QTemporaryDir dir_;
};

QString BodySample(int characters) {
  QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/app/data/body.txt"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text;
  for (const QChar c : QString::fromUtf8(file.readAll())) {
    if (c.unicode() > 0x2E80 && !text.contains(c)) text += c;
    if (text.size() == characters) break;
  }
  return text;
}

TEST_F(FontPdfTest, TrueTypeFromACollection) {
  const FontFace& face = FontService::Instance().Resolve(QStringLiteral("AR PL UKai CN"), 0);
  if (!face.FilePath().endsWith(QLatin1String("ukai.ttc"))) GTEST_SKIP() << "no AR PL UKai";
  TovxPDFFont font(QStringLiteral("AR PL UKai CN"), 0, face, 0);
  const QString text = BodySample(60);
  const TRemapedString line = font.MapText(text, false, false);
  const QString pdf = Save(WritePdf(font, {line}, &face));
  EXPECT_EQ(PageText(pdf, 1), text);
  const QString fonts = QString::fromUtf8(Run(QStringLiteral("pdffonts"), {pdf}));
  EXPECT_TRUE(fonts.contains(QRegularExpression(QStringLiteral(
      "[A-Z]{6}\\+AR PL UKai CN\\s+CID TrueType\\s+Identity-H\\s+yes\\s+yes\\s+yes"))))
      << fonts.toStdString();
  ExpectGlyphsMatchOutlines(pdf, 2);
}

TEST_F(FontPdfTest, CffFromACollectionSelectsGlyphsByCid) {
  const FontFace& face = FontService::Instance().Resolve(QStringLiteral("Noto Sans CJK SC"), 0);
  if (!face.FilePath().contains(QLatin1String("NotoSansCJK"))) GTEST_SKIP() << "no Noto Sans CJK";
  TovxPDFFont font(QStringLiteral("Noto Sans CJK SC"), 0, face, 0);
  const QString text = BodySample(60) + QStringLiteral("ABC xyz");
  const TRemapedString line = font.MapText(text, false, false);
  const QByteArray bytes = WritePdf(font, {line}, &face);
  const QString pdf = Save(bytes);
  EXPECT_EQ(PageText(pdf, 1), text);
  const QString fonts = QString::fromUtf8(Run(QStringLiteral("pdffonts"), {pdf}));
  EXPECT_TRUE(fonts.contains(QRegularExpression(QStringLiteral(
      "[A-Z]{6}\\+Noto Sans CJK SC-Identity-H\\s+CID Type 0C\\s+Identity-H\\s+yes\\s+yes\\s+yes"))))
      << fonts.toStdString();
  // A subset, not the whole 19 MB collection.
  EXPECT_LT(bytes.size(), 200000);
  ExpectGlyphsMatchOutlines(pdf, 2);
}

TEST_F(FontPdfTest, PrivateFontSlotsGiveTheRareCharacters) {
  QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/app/data/KaitiVelmora.otf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  TovxPDFFont font(QStringLiteral("KaitiVelmora"), 0, file.readAll(), 0, 0);
  const TRemapedString line = font.MapText(u"\u5929\\]^_`\u5730", false, false);
  const QString pdf = Save(WritePdf(font, {line}, nullptr));
  EXPECT_EQ(PageText(pdf, 1), QStringLiteral("\u5929\u5155\u57CF\u6BC2\u725D\u7C65\u5730"));
}

TEST_F(FontPdfTest, OneGlyphForTwoCharactersGivesBothBack) {
  test::TestFontSpec spec;
  spec.glyphs = std::vector<test::TestGlyph>(3);
  spec.cmap = {{U'A', 2}, {U'\u0391', 2}, {U'B', 1}};
  TovxPDFFont font(QStringLiteral("Shared"), 0, test::BuildTestFont(spec), 0, 0);
  const TRemapedString first = font.MapText(u"A\u0391B", false, false);
  const TRemapedString second = font.MapText(u"\u0391A", false, false);
  ASSERT_TRUE(font.NeedsCidToGidMap());
  const QString pdf = Save(WritePdf(font, {first, second}, nullptr));
  EXPECT_EQ(PageText(pdf, 1), QStringLiteral("A\u0391B"));
  EXPECT_EQ(PageText(pdf, 2), QStringLiteral("\u0391A"));
  // Both codes draw the same glyph: two 6-point cells on the first row.
  const QImage page = Render(pdf, 2);
  ASSERT_FALSE(page.isNull());
  const QImage left = page.copy(20, 842 - 800 - 10, 6, 12);
  const QImage right = page.copy(26, 842 - 800 - 10, 6, 12);
  QImage blank(left.size(), left.format());
  blank.fill(Qt::white);
  EXPECT_NE(left, blank);
  EXPECT_EQ(left, right);
}

}  // namespace
}  // namespace ovx
