// Printers over a spooler in memory: the list, papers and sources, paper
// selection, the settings a job sends, and jobs that fail.
#include "print/printers.h"
#include "resources/resources.h"
#include "tests/print/print_fakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

class PrinterTest : public ::testing::Test {
 protected:
  PrinterTest() : spooler_(std::make_shared<FakeSpooler>()) {
    spooler_->queues = {{"office", "ipp://printhost/office", true}};
    spooler_->capabilities["office"] = OfficeCapabilities();
  }
  std::unique_ptr<TovxPrinter> Office() {
    auto printer = std::make_unique<TovxPrinter>(QStringLiteral("office"), QString(), spooler_);
    printer->Initialize();
    return printer;
  }
  // A job of two A4 sheets; answers whether it went through.
  static bool PrintTwoSheets(TovxCustomPrinter& printer) {
    if (!printer.SelectJobPaper(9, 0, 0, TovxPrinterOrientation::poPortrait, 7,
                                TovxDuplexMode::dmNone, 1))
      return false;
    if (!printer.StartJob()) return false;
    for (int i = 0; i < 2; ++i) {
      if (!printer.StartSheet()) return false;
      printer.Canvas().Brush().color = clBlack;
      printer.Canvas().FillRect({0, 0, 600, 600});
      if (!printer.FinishSheet()) return false;
    }
    return printer.FinishJob();
  }

  std::shared_ptr<FakeSpooler> spooler_;
};

std::vector<int> Numbers(const std::vector<PrinterEntry>& entries) {
  std::vector<int> numbers;
  for (const PrinterEntry& e : entries) numbers.push_back(e.number);
  return numbers;
}

TEST_F(PrinterTest, ListsQueuesSortedWithTheDefaultCurrent) {
  spooler_->queues = {
      {"zeta", "", false}, {"Alpha", "", false}, {"beta", "", true}, {"beta/draft", "", false}};
  TovxPrinters printers(spooler_);
  EXPECT_EQ(printers.Printers(), QStringList({"Alpha", "beta", "beta/draft", "zeta"}));
  EXPECT_TRUE(printers.HasPhysicalPrinters());
  EXPECT_EQ(printers.PrinterIndex(), 1);
  EXPECT_EQ(printers.IndexOf("ZETA"), 3);
  EXPECT_EQ(printers.IndexOf("预设"), -1);
  printers.SetPrinterIndex(3);
  EXPECT_EQ(printers.Printer()->Name(), "zeta");
  printers.SetPrinterIndex(-1);  // back to the system's default
  EXPECT_EQ(printers.Printer()->Name(), "beta");
  printers.SetPrinterIndex(17);
  EXPECT_EQ(printers.Printer(), nullptr);

  spooler_->queues = {{"only", "", false}};
  EXPECT_EQ(TovxPrinters(spooler_).PrinterIndex(), 0);  // no default named: the first
}

TEST_F(PrinterTest, WithoutQueuesAVirtualPrinterMeasuresButCannotPrint) {
  spooler_->queues.clear();
  TovxPrinters printers(spooler_);
  EXPECT_FALSE(printers.HasPhysicalPrinters());
  ASSERT_EQ(printers.Count(), 1);
  TovxCustomPrinter& printer = *printers.Printer();
  EXPECT_EQ(printer.Name(), TovxResources::Instance().Get(u"prVirtual"));
  EXPECT_TRUE(printer.Initialized());
  EXPECT_EQ(printer.Papers().size(), StandardPapers().size() + 1);
  EXPECT_EQ(printer.Papers().front().number, 256);
  EXPECT_EQ(printer.DPI(), QPoint(600, 600));
  EXPECT_TRUE(printer.SelectViewPaper(11, 0, 0, TovxPrinterOrientation::poLandscape));
  EXPECT_EQ(printer.PaperWidth(), 210);
  EXPECT_EQ(printer.PaperHeight(), 148);
  EXPECT_EQ(printer.LeftMargin(), 5);
  EXPECT_EQ(printer.BottomMargin(), 5);
  EXPECT_TRUE(printer.SelectViewPaper(256, 123, 45, TovxPrinterOrientation::poPortrait));
  EXPECT_EQ(printer.Paper(), 256);
  EXPECT_EQ(printer.PaperWidth(), 123);
  EXPECT_FALSE(PrintTwoSheets(printer));
  EXPECT_FALSE(printer.LastError().isEmpty());
}

TEST_F(PrinterTest, PapersAndSourcesGetDriverNumbersAfterTheSeeds) {
  auto printer = Office();
  ASSERT_TRUE(printer->Initialized());
  // Custom first; A4 once (bordered), Letter, A5, then the odd size.
  EXPECT_EQ(Numbers(printer->Papers()), (std::vector<int>{256, 9, 1, 11, 257}));
  EXPECT_EQ(printer->Papers()[1].name, "A4");
  EXPECT_EQ(printer->Papers()[0].name, TovxResources::Instance().Get(u"prCustom"));
  EXPECT_EQ(printer->Papers()[4].name, "om_photo_100x150mm");
  // Automatic is the seed entry; top and manual have their driver numbers.
  EXPECT_EQ(Numbers(printer->Bins()), (std::vector<int>{7, 1, 4, 257}));
  EXPECT_EQ(printer->Bins()[3].name, "Tray 3");
  EXPECT_EQ(printer->DuplexCodes(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(printer->DefPaper(), 9);
  EXPECT_EQ(printer->DefPaperWidth(), 210);
  EXPECT_EQ(printer->DefPaperHeight(), 297);
  EXPECT_EQ(printer->DefBin(), 7);
  EXPECT_EQ(printer->DefDuplex(), 1);
  EXPECT_EQ(printer->Bin(), -1);
  EXPECT_EQ(printer->DPI(), QPoint(600, 600));
  EXPECT_EQ(printer->PaperIndex(11), 3);
  EXPECT_EQ(printer->PaperIndex(70), -1);
  EXPECT_EQ(printer->PaperNameToNumber("a4"), 9);
  EXPECT_EQ(printer->PaperNameToNumber("nothing"), 256);
  EXPECT_EQ(printer->BinNameToNumber("MANUAL FEED"), 4);
  EXPECT_EQ(printer->BinNameToNumber("nothing"), 7);
  // The bordered A4 won over the borderless one listed before it.
  EXPECT_EQ(printer->LeftMargin(), 4);
  EXPECT_EQ(printer->TopMargin(), 3);
  EXPECT_EQ(printer->RightMargin(), 5);
  EXPECT_EQ(printer->BottomMargin(), 6);
}

TEST_F(PrinterTest, AQueueThatDoesNotAnswerLeavesThePrinterUninitialised) {
  TovxPrinter printer(QStringLiteral("gone"), QString(), spooler_);
  printer.Initialize();
  EXPECT_FALSE(printer.Initialized());
  EXPECT_EQ(Numbers(printer.Papers()), std::vector<int>{256});
  EXPECT_EQ(Numbers(printer.Bins()), std::vector<int>{7});
  EXPECT_EQ(printer.PaperWidth(), 0);
}

TEST_F(PrinterTest, ViewPaperMeasuresInTheOrientationGiven) {
  auto printer = Office();
  using O = TovxPrinterOrientation;
  struct Case {
    int paper;
    double width, height;
    O orientation;
    int expected_paper;
    double paper_width, paper_height, left, top, right, bottom;
  };
  const Case cases[] = {
      {9, 0, 0, O::poPortrait, 9, 210, 297, 4, 3, 5, 6},
      // Turned as a report page turns: the top margin becomes the left one.
      {9, 0, 0, O::poLandscape, 9, 297, 210, 3, 5, 6, 4},
      {11, 0, 0, O::poPortrait, 11, 148, 210, 4, 3, 5, 6},
      // A number the printer does not list is a custom size, measured on
      // A4's margins, at the size asked for.
      {70, 105, 148, O::poPortrait, 256, 105, 148, 4, 3, 5, 6},
      {256, 148.5, 105, O::poLandscape, 256, 148.5, 105, 3, 5, 6, 4},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(printer->SelectViewPaper(c.paper, c.width, c.height, c.orientation)) << c.paper;
    EXPECT_EQ(printer->Paper(), c.expected_paper) << c.paper;
    EXPECT_EQ(printer->Orientation(), c.orientation) << c.paper;
    EXPECT_EQ(printer->PaperWidth(), c.paper_width) << c.paper;
    EXPECT_EQ(printer->PaperHeight(), c.paper_height) << c.paper;
    EXPECT_EQ(printer->LeftMargin(), c.left) << c.paper;
    EXPECT_EQ(printer->TopMargin(), c.top) << c.paper;
    EXPECT_EQ(printer->RightMargin(), c.right) << c.paper;
    EXPECT_EQ(printer->BottomMargin(), c.bottom) << c.paper;
  }
}

TEST_F(PrinterTest, CustomSizeOnAPrinterWithoutPapersEndsInOneStep) {
  SpoolerCapabilities bare;
  bare.dpi_x = bare.dpi_y = 300;
  spooler_->capabilities["bare"] = bare;
  TovxPrinter printer(QStringLiteral("bare"), QString(), spooler_);
  printer.Initialize();
  ASSERT_TRUE(printer.Initialized());
  EXPECT_EQ(Numbers(printer.Papers()), std::vector<int>{256});
  EXPECT_TRUE(printer.SelectViewPaper(256, 100, 50, TovxPrinterOrientation::poPortrait));
  EXPECT_EQ(printer.Paper(), 256);
  EXPECT_EQ(printer.PaperWidth(), 100);
  EXPECT_EQ(printer.PaperHeight(), 50);
  EXPECT_TRUE(printer.SelectViewPaper(-1, 0, 0, TovxPrinterOrientation::poPortrait));
  EXPECT_EQ(printer.Paper(), 256);
}

TEST_F(PrinterTest, JobPaperBecomesTheSettingsOfTheNextSheet) {
  auto printer = Office();
  using O = TovxPrinterOrientation;
  using D = TovxDuplexMode;
  using R = PrinterSettingsRecord;
  struct Case {
    const char* name;
    int paper;
    double width, height;
    O orientation;
    int bin;
    D duplex;
    int copies;
    // Expected record.
    int paper_size, length, paper_width, source, duplex_code;
    bool duplex_flag;
    // Expected job options.
    const char* media;
    const char* media_source;
    const char* sides;
  };
  const Case cases[] = {
      {"A4 from the top tray", 9, 0, 0, O::poPortrait, 1, D::dmNone, 1, 9, 0, 0, 1, 1, false,
       "iso_a4_210x297mm", "top", "one-sided"},
      {"automatic source", 11, 0, 0, O::poPortrait, 7, D::dmNone, 1, 11, 0, 0, 7, 1, false,
       "iso_a5_148x210mm", "", "one-sided"},
      {"long edge", 9, 0, 0, O::poPortrait, 7, D::dmVertical, 1, 9, 0, 0, 7, 2, true,
       "iso_a4_210x297mm", "", "two-sided-long-edge"},
      {"short edge", 9, 0, 0, O::poPortrait, 257, D::dmHorizontal, 1, 9, 0, 0, 257, 3, true,
       "iso_a4_210x297mm", "tray-3", "two-sided-short-edge"},
      {"simplex has no duplex flag", 9, 0, 0, O::poPortrait, 7, D::dmSimplex, 1, 9, 0, 0, 7, 1,
       false, "iso_a4_210x297mm", "", "one-sided"},
      // Custom sizes go in portrait terms: a landscape 148.5 x 105 page is
      // 105 wide and 148.5 long.
      {"custom landscape", 256, 148.5, 105, O::poLandscape, 7, D::dmNone, 1, 256, 1485, 1050, 7, 1,
       false, "custom_105x148.5mm_105x148.5mm", "", "one-sided"},
      {"custom portrait", 256, 148.5, 105, O::poPortrait, 7, D::dmNone, 1, 256, 1050, 1485, 7, 1,
       false, "custom_148.5x105mm_148.5x105mm", "", "one-sided"},
      {"unlisted paper is custom", 70, 105, 148, O::poPortrait, 7, D::dmNone, 1, 256, 1480, 1050, 7,
       1, false, "custom_105x148mm_105x148mm", "", "one-sided"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(printer->SelectJobPaper(c.paper, c.width, c.height, c.orientation, c.bin, c.duplex,
                                        c.copies))
        << c.name;
    const R& record = printer->Record();
    EXPECT_EQ(record.paper_size, c.paper_size) << c.name;
    EXPECT_EQ(record.paper_length, c.length) << c.name;
    EXPECT_EQ(record.paper_width, c.paper_width) << c.name;
    EXPECT_EQ(record.default_source, c.source) << c.name;
    EXPECT_EQ(record.duplex, c.duplex_code) << c.name;
    EXPECT_EQ((record.fields & R::kDuplex) != 0, c.duplex_flag) << c.name;
    EXPECT_EQ(record.collate, 0) << c.name;
    EXPECT_EQ(printer->Paper(), c.paper_size) << c.name;
    const SpoolerOptions options = printer->JobOptions();
    EXPECT_EQ(FakeJob::OptionOf(options, "media"), c.media) << c.name;
    EXPECT_EQ(FakeJob::OptionOf(options, "media-source"), c.media_source) << c.name;
    EXPECT_EQ(FakeJob::OptionOf(options, "sides"), c.sides) << c.name;
    EXPECT_EQ(FakeJob::OptionOf(options, "print-scaling"), "none") << c.name;
    EXPECT_EQ(FakeJob::OptionOf(options, "fit-to-page"), "false") << c.name;
    EXPECT_EQ(FakeJob::OptionOf(options, "copies"), "") << c.name;
  }
  ASSERT_TRUE(printer->SelectJobPaper(9, 0, 0, O::poPortrait, 7, D::dmNone, 3));
  const SpoolerOptions options = printer->JobOptions();
  EXPECT_EQ(FakeJob::OptionOf(options, "copies"), "3");
  EXPECT_EQ(FakeJob::OptionOf(options, "multiple-document-handling"),
            "separate-documents-uncollated-copies");
}

TEST_F(PrinterTest, DriverDialogChoicesHoldUntilTheJobEnds) {
  auto printer = Office();
  SetDriverDialog([](const TovxCustomPrinter&, PrinterSettingsRecord& record) {
    record.default_source = 4;
    record.duplex = 2;
    return true;
  });
  ASSERT_TRUE(printer->ShowDriverDialog());
  SetDriverDialog(nullptr);
  EXPECT_EQ(printer->Bin(), 4);
  EXPECT_EQ(printer->DefBin(), 4);
  EXPECT_EQ(printer->Duplex(), 2);
  // Source 7 and the default sides take the dialog's choices.
  ASSERT_TRUE(printer->SelectJobPaper(9, 0, 0, TovxPrinterOrientation::poPortrait, 7,
                                      TovxDuplexMode::dmSimplex, 1));
  EXPECT_EQ(printer->Record().default_source, 4);
  EXPECT_EQ(printer->Record().duplex, 2);
  ASSERT_TRUE(printer->StartJob());
  ASSERT_TRUE(printer->StartSheet());
  ASSERT_TRUE(printer->FinishSheet());
  ASSERT_TRUE(printer->FinishJob());
  EXPECT_EQ(printer->Bin(), -1);
  EXPECT_EQ(printer->Duplex(), -1);
  EXPECT_EQ(printer->Record().default_source, printer->DefBin());
  EXPECT_EQ(printer->Record().duplex, 1);
  EXPECT_FALSE(printer->ShowDriverDialog());  // no dialog installed
}

TEST_F(PrinterTest, SheetsGoToTheQueueAsOnePdfWithoutScaling) {
  auto printer = Office();
  printer->SetTitle(QStringLiteral("Quarterly"));
  ASSERT_TRUE(PrintTwoSheets(*printer)) << printer->LastError().toStdString();
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  const FakeJob& job = *spooler_->jobs[0];
  EXPECT_EQ(job.queue, "office");
  EXPECT_EQ(job.title, "Quarterly");
  EXPECT_EQ(job.format, "application/pdf");
  EXPECT_TRUE(job.finished);
  EXPECT_TRUE(job.data.startsWith("%PDF-"));
  EXPECT_EQ(job.data.count("/Type /Page\n") + job.data.count("/Type /Page ") +
                job.data.count("/Type/Page\n"),
            2)
      << "two pages";
  EXPECT_EQ(job.Option("print-scaling"), "none");
  EXPECT_FALSE(printer->Printing());
}

TEST_F(PrinterTest, SheetsWithOtherJobSettingsGoAsSeparateJobs) {
  auto printer = Office();
  using O = TovxPrinterOrientation;
  ASSERT_TRUE(printer->StartJob());
  const int papers[] = {9, 9, 11, 11, 9};
  for (int paper : papers) {
    ASSERT_TRUE(printer->SelectJobPaper(paper, 0, 0, O::poPortrait, 7, TovxDuplexMode::dmNone, 1));
    ASSERT_TRUE(printer->StartSheet());
    ASSERT_TRUE(printer->FinishSheet());
  }
  // A turned sheet of the same paper stays in its job.
  ASSERT_TRUE(printer->SelectJobPaper(9, 0, 0, O::poLandscape, 7, TovxDuplexMode::dmNone, 1));
  ASSERT_TRUE(printer->StartSheet());
  ASSERT_TRUE(printer->FinishSheet());
  ASSERT_TRUE(printer->FinishJob());
  ASSERT_EQ(spooler_->jobs.size(), 3u);
  EXPECT_EQ(spooler_->jobs[0]->Option("media"), "iso_a4_210x297mm");
  EXPECT_EQ(spooler_->jobs[1]->Option("media"), "iso_a5_148x210mm");
  EXPECT_EQ(spooler_->jobs[2]->Option("media"), "iso_a4_210x297mm");
  for (const auto& job : spooler_->jobs) EXPECT_TRUE(job->finished);
}

TEST_F(PrinterTest, ASpoolerThatRefusesFailsTheJob) {
  auto printer = Office();
  spooler_->refuse = QStringLiteral("queue is stopped");
  EXPECT_FALSE(PrintTwoSheets(*printer));
  EXPECT_EQ(printer->LastError(), "queue is stopped");
  EXPECT_FALSE(printer->Printing());

  spooler_->refuse.clear();
  spooler_->refuse_finish = QStringLiteral("document rejected");
  EXPECT_FALSE(PrintTwoSheets(*printer));
  EXPECT_EQ(printer->LastError(), "document rejected");
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  EXPECT_TRUE(spooler_->jobs[0]->cancelled);
}

TEST_F(PrinterTest, AbortWithdrawsWhatTheJobAlreadyGaveTheSpooler) {
  auto printer = Office();
  using O = TovxPrinterOrientation;
  ASSERT_TRUE(printer->StartJob());
  for (int paper : {9, 11}) {
    ASSERT_TRUE(printer->SelectJobPaper(paper, 0, 0, O::poPortrait, 7, TovxDuplexMode::dmNone, 1));
    ASSERT_TRUE(printer->StartSheet());
    ASSERT_TRUE(printer->FinishSheet());
  }
  printer->AbortJob();
  ASSERT_EQ(spooler_->jobs.size(), 1u);  // the A4 sheet went as its own job
  EXPECT_TRUE(spooler_->jobs[0]->cancelled);
  EXPECT_FALSE(printer->Printing());
}

TEST_F(PrinterTest, PrintingToAFileWritesThePdfThereInstead) {
  QTemporaryDir dir;
  auto printer = Office();
  const QString file = dir.filePath(QStringLiteral("out.prn"));
  printer->SetFileName(file);
  ASSERT_TRUE(PrintTwoSheets(*printer)) << printer->LastError().toStdString();
  EXPECT_TRUE(spooler_->jobs.empty());
  QFile written(file);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_TRUE(written.readAll().startsWith("%PDF-"));

  printer->SetFileName(dir.filePath(QStringLiteral("no/such/folder/out.prn")));
  EXPECT_FALSE(PrintTwoSheets(*printer));
  EXPECT_TRUE(printer->LastError().contains("no/such/folder"))
      << printer->LastError().toStdString();
}

TEST_F(PrinterTest, RawJobsPassBytesThrough) {
  auto printer = Office();
  ASSERT_TRUE(printer->StartRawJob());
  ASSERT_TRUE(
      printer->WriteRaw("\x1b"
                        "E hello"));
  ASSERT_TRUE(printer->FinishRawJob());
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  EXPECT_EQ(spooler_->jobs[0]->format, "application/vnd.cups-raw");
  EXPECT_EQ(spooler_->jobs[0]->data,
            "\x1b"
            "E hello");
  EXPECT_FALSE(printer->WriteRaw("late"));
}

TEST_F(PrinterTest, TheCanvasDrawsOnTheCurrentSheetOnly) {
  auto printer = Office();
  TovxPrinterCanvas& canvas = printer->Canvas();
  EXPECT_TRUE(canvas.IsPrinter());
  EXPECT_EQ(canvas.DpiX(), 600);
  // Between sheets nothing is drawn and nothing is visible.
  EXPECT_FALSE(canvas.RectVisible({0, 0, 10, 10}));
  canvas.FillRect({0, 0, 10, 10});
  canvas.LineTo(5, 5);
  EXPECT_EQ(canvas.PenPos(), QPoint(5, 5));
  ASSERT_TRUE(printer->SelectJobPaper(9, 0, 0, TovxPrinterOrientation::poPortrait, 7,
                                      TovxDuplexMode::dmNone, 1));
  ASSERT_TRUE(printer->StartJob());
  ASSERT_TRUE(printer->StartSheet());
  ASSERT_NE(canvas.Target(), nullptr);
  EXPECT_TRUE(canvas.RectVisible({0, 0, 10, 10}));
  // SaveDC and RestoreDC bring this canvas's own state back, not only the
  // sheet's.
  canvas.Font().name = QStringLiteral("Before");
  canvas.SaveDC();
  canvas.Font().name = QStringLiteral("Inside");
  canvas.Pen().width = 7;
  canvas.IntersectClipRect({0, 0, 10, 10});
  EXPECT_FALSE(canvas.RectVisible({20, 20, 30, 30}));
  canvas.RestoreDC();
  EXPECT_EQ(canvas.Font().name, "Before");
  EXPECT_EQ(canvas.Pen().width, 1);
  EXPECT_TRUE(canvas.RectVisible({20, 20, 30, 30}));
  ASSERT_TRUE(printer->FinishSheet());
  EXPECT_EQ(canvas.Target(), nullptr);
  printer->AbortJob();
  EXPECT_TRUE(spooler_->jobs.empty());
}

TEST_F(PrinterTest, PaperNumbersMatchTheStandardTable) {
  struct Case {
    int number;
    double width, height;
  };
  for (const Case& c :
       {Case{9, 210, 297}, Case{11, 148, 210}, Case{1, 215.9, 279.4}, Case{70, 105, 148}}) {
    const auto size = GetPaperDimensions(c.number);
    ASSERT_TRUE(size) << c.number;
    EXPECT_DOUBLE_EQ(size->width, c.width) << c.number;
    EXPECT_DOUBLE_EQ(size->height, c.height) << c.number;
  }
  EXPECT_FALSE(GetPaperDimensions(256));
  EXPECT_FALSE(GetPaperDimensions(48));
}

}  // namespace
}  // namespace ovx::test
