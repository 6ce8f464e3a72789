// The program's PDF and JPEG pages as a reader sees them, on a classical
// text beyond the built-in one (tests/data/app/qianziwen.txt: most of its
// characters are not in the private font, one is from CJK Extension B) and
// on the built-in text with its punctuation kept: the PDF carries the ink
// of the JPEG pages, its Chinese characters stay in Kai faces, the cover's
// title is bold and the body regular, and kept marks stand at the top
// right of their cells as vertical text sets them.
#include "app/core/command_line.h"
#include "app/core/fixed_data.h"
#include "app/core/print_command.h"
#include "base/units.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "tests/export/pdf_test_support.h"

#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ovx {
namespace {

const QString kSourceDir = QStringLiteral(VELMORA_SOURCE_DIR);
const QString kFixture = kSourceDir + QStringLiteral("/tests/data/app/qianziwen.txt");

// Runs the program's command line in this process; its data (the private
// font) comes from the source tree.
void RunVelmora(const QStringList& arguments) {
  app::PrintSettings defaults = app::DefaultPrintSettings();
  defaults.data_directory = kSourceDir + QStringLiteral("/app/data");
  const app::CommandLine command = app::ParseCommandLine(arguments, defaults);
  QByteArray out;
  QByteArray err;
  ASSERT_EQ(app::RunCommandLine(command, out, err), 0) << err.constData();
}

// One page of a PDF as pdftoppm draws it.
QImage RenderPdfPage(const QString& pdftoppm, const QString& pdf, int page, int dpi) {
  const QString prefix = pdf + QStringLiteral("-page");
  const test::ToolResult result =
      test::RunTool(pdftoppm, {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
                               QString::number(page), QStringLiteral("-l"), QString::number(page),
                               QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, prefix});
  EXPECT_EQ(result.exit_code, 0) << result.err.constData();
  return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
}

QImage JpegPage(const QString& dir, int page) {
  return QImage(dir + QStringLiteral("/velmora.%1.jpg").arg(page))
      .convertToFormat(QImage::Format_Grayscale8);
}

// Pixels darker than `threshold` inside `area` of a grey image.
qint64 DarkPixels(const QImage& image, const QRect& area, int threshold) {
  qint64 count = 0;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const uchar* line = image.constScanLine(y);
    for (int x = r.left(); x <= r.right(); ++x) count += line[x] < threshold ? 1 : 0;
  }
  return count;
}

// The bounding box of the pixels darker than `threshold` inside `area`.
QRect InkBox(const QImage& image, const QRect& area, int threshold) {
  QRect box;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const uchar* line = image.constScanLine(y);
    for (int x = r.left(); x <= r.right(); ++x) {
      if (line[x] < threshold) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// The content streams of each page, uncompressed by qpdf.
QStringList PageContents(const QString& qpdf, const QString& pdf) {
  const QString qdf = pdf + QStringLiteral(".qdf");
  const test::ToolResult result =
      test::RunTool(qpdf, {QStringLiteral("--qdf"), QStringLiteral("--decrypt"),
                           QStringLiteral("--object-streams=disable"), pdf, qdf});
  EXPECT_EQ(result.exit_code, 0) << result.err.constData();
  QFile file(qdf);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromLatin1(file.readAll());
  QStringList pages;
  const QRegularExpression mark(QStringLiteral("%% Contents for page (\\d+)"));
  for (auto it = mark.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    const qsizetype end = text.indexOf(QStringLiteral("endstream"), m.capturedEnd());
    const int page = m.captured(1).toInt();
    while (pages.size() < page) pages.append(QString());
    pages[page - 1] += text.mid(m.capturedEnd(), end - m.capturedEnd());
  }
  return pages;
}

class VelmoraTextFixture : public ::testing::Test {
 protected:
  static constexpr int kDpi = 150;

  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    RunVelmora({QStringLiteral("--text"), kFixture, QStringLiteral("--no-body-background"),
                QStringLiteral("--pdf"), Pdf(), QStringLiteral("--jpeg"), dir_->path(),
                QStringLiteral("--jpeg-dpi"), QString::number(kDpi)});
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static QString Pdf() { return dir_->filePath(QStringLiteral("book.pdf")); }
  static int JpegPages() {
    return int(QDir(dir_->path()).entryList({QStringLiteral("velmora.*.jpg")}).size());
  }

  static QTemporaryDir* dir_;
};

QTemporaryDir* VelmoraTextFixture::dir_ = nullptr;

// A regular body drawn with the title's simulated bold carried 43 % more
// dark pixels than the JPEG of the same page; a per-mille comparison of
// differing pixels does not see a weight change, ink counts do.
TEST_F(VelmoraTextFixture, BodyPagesOfThePdfCarryTheInkOfTheJpegPages) {
  VELMORA_REQUIRE_TOOL(pdftoppm);
  const int pages = JpegPages();
  ASSERT_GE(pages, 3);  // the cover and at least two body pages
  for (int page = 2; page <= pages; ++page) {
    const QImage jpeg = JpegPage(dir_->path(), page);
    const QImage pdf = RenderPdfPage(tool_pdftoppm, Pdf(), page, kDpi);
    // The two round the page size apart by a pixel at most.
    ASSERT_LE(std::abs(pdf.width() - jpeg.width()) + std::abs(pdf.height() - jpeg.height()), 1)
        << "page " << page;
    const qint64 jpeg_ink = DarkPixels(jpeg, jpeg.rect(), 80);
    const qint64 pdf_ink = DarkPixels(pdf, pdf.rect(), 80);
    ASSERT_GT(jpeg_ink, 1000) << "page " << page;
    EXPECT_NEAR(double(pdf_ink) / double(jpeg_ink), 1.0, 0.05)
        << "page " << page << ": " << pdf_ink << " dark pixels in the PDF, " << jpeg_ink
        << " in the JPEG";
  }
}

TEST_F(VelmoraTextFixture, ChineseCharactersStayInKaiFaces) {
  VELMORA_REQUIRE_TOOL(pdffonts);
  const QList<QByteArray> rows = test::RunTool(tool_pdffonts, {Pdf()}).out.split('\n');
  ASSERT_GE(rows.size(), 2);
  const qsizetype name_width = rows[1].indexOf(' ');  // the first column's dashes
  QStringList families;
  for (const QByteArray& row : rows.mid(2)) {
    if (row.trimmed().isEmpty()) continue;
    const QString name = QString::fromUtf8(row.left(name_width)).trimmed();
    families.append(name.mid(name.indexOf(u'+') + 1));
  }
  // The private face, AR PL UKai for what it lacks, Hanazono for U+2000B.
  const QRegularExpression kai(
      QStringLiteral("^(\\x{6977}\\x{4F53}-Velmora|AR#20PL#20UKai|"
                     "AR PL UKai|HanaMinA)"));
  for (const QString& family : families) {
    EXPECT_TRUE(kai.match(family).hasMatch()) << family.toStdString();
  }
  EXPECT_TRUE(families.join(u' ').contains(QStringLiteral("UKai")))
      << families.join(u' ').toStdString();
  EXPECT_TRUE(families.join(u' ').contains(QStringLiteral("HanaMinA")));
}

TEST_F(VelmoraTextFixture, TheCoverTitleIsBoldAndTheBodyRegular) {
  VELMORA_REQUIRE_TOOL(qpdf);
  const QStringList contents = PageContents(tool_qpdf, Pdf());
  ASSERT_GE(contents.size(), 3);
  // The private face has no bold member: the title's bold is simulated.
  EXPECT_TRUE(contents[0].contains(QStringLiteral(" 2 Tr ")) ||
              contents[0].contains(QStringLiteral("\n2 Tr ")));
  for (int page = 1; page < contents.size(); ++page) {
    EXPECT_FALSE(contents[page].contains(QStringLiteral(" Tr"))) << "page " << page + 1;
    EXPECT_TRUE(contents[page].contains(QStringLiteral(" TJ"))) << "page " << page + 1;
  }
}

// The commas, enumeration commas and full stops of the built-in text's
// first body page, punctuation kept, lie in the top-right quarter of their
// cells in the JPEG and in the PDF; the PDF's text gives the ordinary marks.
TEST(VelmoraPunctuation, KeptMarksStandAtTheTopRightOfTheirCells) {
  VELMORA_REQUIRE_TOOL(pdftoppm);
  VELMORA_REQUIRE_TOOL(pdftotext);
  constexpr int kDpi = 192;
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("book.pdf"));
  RunVelmora({QStringLiteral("--keep-punctuation"), QStringLiteral("--no-body-background"),
              QStringLiteral("--pdf"), pdf, QStringLiteral("--jpeg"), dir.path(),
              QStringLiteral("--jpeg-dpi"), QString::number(kDpi)});

  // The cells, from the report the same options build.
  app::PrintSettings settings = app::DefaultPrintSettings();
  settings.remove_punctuation = false;
  settings.body_background = false;
  settings.data_directory = kSourceDir + QStringLiteral("/app/data");
  TovxReport report;
  app::Typesetter typesetter;
  app::BuildReport(report, settings, typesetter);
  const TovxReportPage* body = nullptr;
  for (TovxComponent* child : report.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (page && page->Name().isEmpty()) {
      body = page;
      break;
    }
  }
  ASSERT_NE(body, nullptr);
  const double px = kDpi / 96.0;
  struct Mark {
    QString text;
    QRect cell;
  };
  std::vector<Mark> marks;
  for (TovxComponent* child : body->Objects()) {
    const auto* memo = dynamic_cast<const TovxMemoView*>(child);
    if (!memo) continue;
    const QString text = memo->Lines().join(QString());
    if (!QStringLiteral("，、。").contains(text) || text.size() != 1) continue;
    const double left = (body->LeftMargin() * ov01cm + memo->Left()) * px;
    const double top = (body->TopMargin() * ov01cm + memo->Top()) * px;
    marks.push_back({text, QRect(QPoint(int(std::ceil(left)), int(std::ceil(top))),
                                 QPoint(int((left + memo->Width() * px)) - 1,
                                        int((top + memo->Height() * px)) - 1))});
  }
  QString kinds;
  for (const Mark& mark : marks) {
    if (!kinds.contains(mark.text)) kinds += mark.text;
  }
  ASSERT_TRUE(kinds.contains(u'，') && kinds.contains(u'。')) << kinds.toStdString();

  const QImage jpeg = JpegPage(dir.path(), 2);
  const QImage rendered = RenderPdfPage(tool_pdftoppm, pdf, 2, kDpi);
  ASSERT_EQ(jpeg.size(), rendered.size());
  for (const auto& [name, image] : {std::pair{"JPEG", &jpeg}, std::pair{"PDF", &rendered}}) {
    for (const Mark& mark : marks) {
      const QRect ink = InkBox(*image, mark.cell, 128);
      const QPoint middle = mark.cell.center();
      ASSERT_FALSE(ink.isEmpty()) << name << ' ' << mark.text.toStdString();
      // One pixel of slack for antialiasing on the middle lines.
      EXPECT_GE(ink.left(), middle.x() - 1)
          << name << ' ' << mark.text.toStdString() << " at " << mark.cell.x() << ','
          << mark.cell.y() << ": ink " << ink.x() << ',' << ink.y() << ' ' << ink.width() << 'x'
          << ink.height();
      EXPECT_LE(ink.bottom(), middle.y() + 1)
          << name << ' ' << mark.text.toStdString() << " at " << mark.cell.x() << ','
          << mark.cell.y() << ": ink " << ink.x() << ',' << ink.y() << ' ' << ink.width() << 'x'
          << ink.height();
    }
  }

  const QString text = QString::fromUtf8(
      test::RunTool(tool_pdftotext,
                    {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"),
                     QStringLiteral("2"), QStringLiteral("-raw"), pdf, QStringLiteral("-")})
          .out);
  for (const QChar mark : kinds) EXPECT_TRUE(text.contains(mark)) << QString(mark).toStdString();
  EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[\\x{FE10}-\\x{FE19}]"))))
      << text.toStdString();
}

}  // namespace
}  // namespace ovx
