// Whole jobs through a private CUPS server: what the queue reports, and the
// application's report printed in join mode as the spooler receives it,
// checked against the pages drawn on their own.
#include "app/core/fixed_data.h"
#include "app/core/print_command.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "platform/cups_spooler.h"
#include "platform/font_service.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "render/painter_canvas.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "resources/resources.h"
#include "tests/print/private_cups.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace ovx::test {
namespace {

class CupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new PrivateCups;
    skip_reason_ = new QString(server_->Start());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete skip_reason_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!skip_reason_->isEmpty())
      GTEST_SKIP() << "no private CUPS server: " << skip_reason_->toStdString();
    CupsSpooler::SetServer(server_->Socket());
    server_->ClearJobs();
    InstallPrinting();
    SetPrinters(std::make_unique<TovxPrinters>(std::make_shared<CupsSpooler>()));
    GlobalPrintHost() = PrintHost();
  }
  void TearDown() override { SetPrinters(nullptr); }

  static PrivateCups* server_;
  static QString* skip_reason_;
};

PrivateCups* CupsTest::server_ = nullptr;
QString* CupsTest::skip_reason_ = nullptr;

// Runs a tool of poppler-utils; empty when it is missing or fails.
QByteArray RunTool(const QString& tool, const QStringList& arguments) {
  if (QStandardPaths::findExecutable(tool).isEmpty()) return {};
  QProcess process;
  process.start(tool, arguments);
  if (!process.waitForFinished(120000) || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

TEST_F(CupsTest, TheQueueReportsTheDriversPapersTraysAndSides) {
  CupsSpooler spooler;
  const std::vector<SpoolerQueue> queues = spooler.Queues();
  ASSERT_EQ(queues.size(), 2u);
  EXPECT_EQ(queues[0].name, "capture");
  EXPECT_TRUE(queues[0].is_default);
  EXPECT_TRUE(queues[0].port.startsWith("capture:/")) << queues[0].port.toStdString();
  const std::optional<SpoolerCapabilities> caps = spooler.Capabilities(QStringLiteral("capture"));
  ASSERT_TRUE(caps);
  EXPECT_FALSE(spooler.Capabilities(QStringLiteral("nosuchqueue")));

  TovxPrinter& printer = dynamic_cast<TovxPrinter&>(*ovxPrinters().Printer());
  ASSERT_TRUE(printer.Initialized()) << printer.LastError().toStdString();
  EXPECT_EQ(printer.Name(), "capture");
  EXPECT_EQ(printer.DPI(), QPoint(600, 600));
  ASSERT_GE(printer.PaperIndex(9), 0);
  EXPECT_GE(printer.PaperIndex(11), 0);  // A5
  EXPECT_GE(printer.PaperIndex(1), 0);   // Letter
  EXPECT_GE(printer.PaperIndex(43), 0);  // the 100 x 148 mm postcard
  // A4 with the driver's margins, every side its own.
  ASSERT_TRUE(printer.SelectViewPaper(9, 0, 0, TovxPrinterOrientation::poPortrait));
  EXPECT_DOUBLE_EQ(printer.PaperWidth(), 210);
  EXPECT_DOUBLE_EQ(printer.PaperHeight(), 297);
  EXPECT_DOUBLE_EQ(printer.LeftMargin(), 6.35);
  EXPECT_DOUBLE_EQ(printer.TopMargin(), 10);
  EXPECT_DOUBLE_EQ(printer.RightMargin(), 5.17);
  EXPECT_DOUBLE_EQ(printer.BottomMargin(), 5);
  // Automatic is the seed; the upper tray and manual feed follow.
  ASSERT_EQ(printer.Bins().size(), 3u);
  EXPECT_EQ(printer.Bins()[1].number, 1);
  EXPECT_EQ(printer.Bins()[2].number, 4);
  EXPECT_EQ(printer.DuplexCodes(), (std::vector<int>{1, 2, 3}));
}

// Mean difference (0..255) of the grey values of `cell` placed at (x, y)
// in `sheet`, over the cell without a border of 4 pixels.
double Difference(const QImage& sheet, const QImage& cell, int x, int y) {
  double sum = 0;
  qint64 count = 0;
  for (int v = 4; v < cell.height() - 4; ++v) {
    for (int u = 4; u < cell.width() - 4; ++u) {
      const int sx = x + u;
      const int sy = y + v;
      if (sx < 0 || sy < 0 || sx >= sheet.width() || sy >= sheet.height()) continue;
      sum += std::abs(qGray(sheet.pixel(sx, sy)) - qGray(cell.pixel(u, v)));
      ++count;
    }
  }
  return count ? sum / count : 255;
}

TEST_F(CupsTest, TheApplicationsReportPrintsFourPagesToAnA4SheetAtTheirExactPlaces) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
    GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
  const QString data = QStringLiteral(VELMORA_APP_DATA_DIR);
  const QString font = QDir(data).filePath(QLatin1String(app::kPrivateFontFile));
  const bool font_added = FontService::Instance().AddPrivateFont(font);
  TovxReport report;
  app::PrintSettings settings = app::DefaultPrintSettings();
  settings.data_directory = data;
  app::Typesetter typesetter;
  (void)app::BuildReport(report, settings, typesetter);
  InstallEngine();
  ASSERT_TRUE(report.PrepareReport());
  TovxPreviewPages& pages = *PreparedPages(report);
  ASSERT_GT(pages.Count(), 8);
  // As the template asks: join mode on A4. The dialog is the preview's.
  EXPECT_EQ(report.PrintOptions().PrintMode(), TovxPrintMode::pmJoin);
  EXPECT_EQ(report.PrintOptions().PrintOnSheet(), 9);
  report.PrintOptions().SetShowDialog(false);
  QStringList errors;
  report.show_error = [&](const QString& text) { errors << text; };
  ASSERT_TRUE(pages.Print()) << errors.join(u'\n').toStdString();

  const std::vector<CapturedJob> jobs = server_->WaitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  const CapturedJob& job = jobs[0];
  // Nothing may scale the sheets again.
  EXPECT_EQ(job.options.value("print-scaling"), "none");
  EXPECT_TRUE(job.options.contains("nofit-to-page"));
  EXPECT_FALSE(job.options.contains("fit-to-page"));
  EXPECT_FALSE(job.options.contains("scaling"));
  EXPECT_FALSE(job.options.contains("natural-scaling"));
  EXPECT_FALSE(job.options.contains("number-up") && job.options.value("number-up") != "1");
  EXPECT_EQ(job.options.value("media"), "iso_a4_210x297mm");
  EXPECT_EQ(job.copies, 1);

  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("job.pdf"));
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(job.document);
  file.close();
  const QByteArray info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  const int sheets = (pages.Count() + 3) / 4;
  EXPECT_TRUE(info.contains("Pages:           " + QByteArray::number(sheets)))
      << info.toStdString();
  // A4 turned: 297 x 210 mm in whole points.
  EXPECT_TRUE(info.contains("842 x 595 pts")) << info.toStdString();

  // The first two sheets as images, each cell against its page drawn alone.
  constexpr int kDpi = 100;
  const double cell_w = 148.5 / 25.4 * kDpi;
  const double cell_h = 105 / 25.4 * kDpi;
  for (int sheet = 0; sheet < 2; ++sheet) {
    const QString number = QString::number(sheet + 1);
    const QString png = dir.filePath("sheet-" + number);
    (void)RunTool(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"), number,
                   QStringLiteral("-l"), number, QStringLiteral("-singlefile"),
                   QStringLiteral("-png"), pdf, png});
    const QImage image(png + ".png");
    ASSERT_FALSE(image.isNull());
    EXPECT_NEAR(image.width(), 297 / 25.4 * kDpi, 1);
    EXPECT_NEAR(image.height(), 210 / 25.4 * kDpi, 1);
    for (int cell = 0; cell < 4; ++cell) {
      const int index = sheet * 4 + cell;
      auto canvas = PainterCanvas::ForImage(static_cast<int>(std::lround(cell_w)),
                                            static_cast<int>(std::lround(cell_h)), kDpi);
      pages.DrawPage(index, *canvas, kDpi / 96.0, kDpi / 96.0, 0, 0);
      canvas->End();
      const QImage& expected = *canvas->Image();
      const int x = static_cast<int>(std::lround(cell % 2 * cell_w));
      const int y = static_cast<int>(std::lround(cell / 2 * cell_h));
      // The best match within four pixels either way must be where the
      // cell belongs.
      QPoint best;
      double best_difference = 1e9;
      for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
          const double difference = Difference(image, expected, x + dx, y + dy);
          if (difference < best_difference) {
            best_difference = difference;
            best = QPoint(dx, dy);
          }
        }
      }
      EXPECT_LE(std::abs(best.x()), 1) << "page " << index + 1;
      EXPECT_LE(std::abs(best.y()), 1) << "page " << index + 1;
      EXPECT_LT(best_difference, 12) << "page " << index + 1;
    }
  }
  if (font_added) FontService::Instance().RemovePrivateFont(font);
}

TEST_F(CupsTest, AQueueThatRefusesJobsFailsThePrint) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  page->SetName(QStringLiteral("Page1"));
  InstallEngine();
  ASSERT_TRUE(report.PrepareReport());
  report.PrintOptions().SetShowDialog(false);
  report.PrintOptions().SetPrinter(QStringLiteral("closed"));
  QStringList errors;
  report.show_error = [&](const QString& text) { errors << text; };
  EXPECT_FALSE(PreparedPages(report)->Print());
  ASSERT_EQ(errors.size(), 1);
  // The job failed with the spooler's reason (in the user's language).
  const QString failed = TovxResources::Instance().Get(u"rsPrintJobFailed").section(u'%', 0, 0);
  EXPECT_TRUE(errors[0].startsWith(failed)) << errors[0].toStdString();
  EXPECT_GT(errors[0].size(), failed.size() + 3) << errors[0].toStdString();
}

TEST_F(CupsTest, VelmoraPrintsItsReportInJoinMode) {
  const QString program = QStringLiteral(VELMORA_PROGRAM);
  if (!QFileInfo::exists(program)) GTEST_SKIP() << "velmora is not built";
  QProcess velmora;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("CUPS_SERVER"), server_->Socket());
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  velmora.setProcessEnvironment(env);
  velmora.start(program, {QStringLiteral("--print")});
  ASSERT_TRUE(velmora.waitForFinished(300000));
  const QString err = QString::fromUtf8(velmora.readAllStandardError());
  ASSERT_EQ(velmora.exitCode(), 0) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("on capture"))) << err.toStdString();
  const std::vector<CapturedJob> jobs = server_->WaitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].options.value("print-scaling"), "none");
  EXPECT_TRUE(jobs[0].document.startsWith("%PDF-"));
  // Every sheet is a turned A4.
  QTemporaryDir dir;
  QFile pdf(dir.filePath(QStringLiteral("job.pdf")));
  ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
  pdf.write(jobs[0].document);
  pdf.close();
  const QByteArray info = RunTool(QStringLiteral("pdfinfo"),
                                  {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                   QStringLiteral("1000"), pdf.fileName()});
  if (!info.isEmpty()) {
    const qsizetype sheets = QString::fromUtf8(info).count(QRegularExpression("Page +\\d+ size:"));
    EXPECT_GT(sheets, 1) << info.toStdString();
    EXPECT_EQ(info.count("842 x 595 pts"), sheets) << info.toStdString();
  }

  velmora.start(program, {QStringLiteral("--print=nosuchprinter")});
  ASSERT_TRUE(velmora.waitForFinished(300000));
  EXPECT_EQ(velmora.exitCode(), 1);
  EXPECT_TRUE(velmora.readAllStandardError().contains("capture"));
}

}  // namespace
}  // namespace ovx::test
