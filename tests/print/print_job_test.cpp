// The print job's modes on a recording printer: where every page goes, in
// which order and with which copy number, and how failures end a job; then
// Print itself with its options, dialog and file output.
#include "print/print_job.h"
#include "base/error.h"
#include "print/printers.h"
#include "render/null_canvas.h"
#include "resources/resources.h"
#include "tests/print/print_fakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace ovx::test {
namespace {

using O = TovxPrinterOrientation;

// Writes down the clip rectangles a job sets on a sheet.
class ClipCanvas : public NullCanvas {
 public:
  using NullCanvas::NullCanvas;
  std::vector<PixelRect> clips;
  int depth = 0;
  void SaveDC() override {
    ++depth;
    NullCanvas::SaveDC();
  }
  void RestoreDC() override {
    --depth;
    NullCanvas::RestoreDC();
  }
  void IntersectClipRect(const PixelRect& rect) override {
    clips.push_back(rect);
    NullCanvas::IntersectClipRect(rect);
  }
};

// A recording printer whose sheets are a clip-recording canvas.
class SheetPrinter : public RecordingPrinter {
 public:
  using RecordingPrinter::RecordingPrinter;
  ClipCanvas sheet{600};
  bool StartSheet() override {
    if (!RecordingPrinter::StartSheet()) return false;
    Canvas().SetTarget(&sheet);
    return true;
  }
  bool FinishSheet() override {
    Canvas().SetTarget(nullptr);
    return RecordingPrinter::FinishSheet();
  }
};

struct Drawn {
  int sheet;
  int page;  // from 1
  int copy_no;
  double scale_x, scale_y, offset_x, offset_y;
};

class PrintJobTest : public ::testing::Test {
 protected:
  // Runs a job over `report` and answers what was drawn where.
  std::vector<Drawn> Run(TovxReport& report, RecordingPrinter& printer, PrintJobOptions options,
                         const char* pages = "") {
    TovxPreviewPages& store = *PreparedPages(report);
    options.pages = PageRanges::Parse(QString::fromUtf8(pages), store.Count());
    PrintJob job(store, printer, std::move(options), host_);
    std::vector<Drawn> drawn;
    job.draw_page = [&](int index, Canvas& canvas, double sx, double sy, double ox, double oy) {
      EXPECT_EQ(&canvas, &printer.Canvas());
      drawn.push_back({printer.sheets, index + 1, store.CopyNo(), sx, sy, ox, oy});
      if (on_draw) on_draw(index);
    };
    ok_ = job.Run();
    error_ = job.Error();
    cancelled_ = job.Cancelled();
    return drawn;
  }

  static PrintJobOptions Join(int copies = 1, bool collate = false) {
    PrintJobOptions options;
    options.mode = TovxPrintMode::pmJoin;
    options.print_on_sheet = 9;
    options.sheet_width = 210;
    options.sheet_height = 297;
    options.copies = copies;
    options.collate = collate;
    return options;
  }

  // "sheet:page/copy" for each drawn page.
  static QStringList Order(const std::vector<Drawn>& drawn) {
    QStringList order;
    for (const Drawn& d : drawn)
      order << QStringLiteral("%1:%2/%3").arg(d.sheet).arg(d.page).arg(d.copy_no);
    return order;
  }

  PrintHost host_;
  std::function<void(int index)> on_draw;
  bool ok_ = false;
  bool cancelled_ = false;
  QString error_;
};

constexpr double kDots = 600 / 25.4;  // device pixels per mm at 600 dpi

TEST_F(PrintJobTest, JoinPutsFourApplicationPagesOnALandscapeA4FromThePaperCorner) {
  // The body pages of the application: 148.5 x 105 mm, nine of them.
  auto report = PreparedReport(Pages(9, {148.5, 105}));
  RecordingPrinter printer(600, 5);
  const std::vector<Drawn> drawn = Run(*report, printer, Join());
  ASSERT_TRUE(ok_) << error_.toStdString();
  EXPECT_EQ(printer.calls.front(), "SelectJobPaper(9 L bin 7 dup 0 copies 1)");
  EXPECT_EQ(printer.calls.count("StartSheet"), 3);
  EXPECT_EQ(printer.calls.back(), "FinishJob");
  ASSERT_EQ(drawn.size(), 9u);
  const double origin = -5 * kDots;  // minus the margin: the physical corner
  const double cell_x[] = {origin, origin + 148.5 * kDots};
  const double cell_y[] = {origin, origin + 105 * kDots};
  for (size_t i = 0; i < drawn.size(); ++i) {
    const int cell = static_cast<int>(i % 4);
    EXPECT_EQ(drawn[i].sheet, static_cast<int>(i / 4) + 1) << i;
    EXPECT_EQ(drawn[i].page, static_cast<int>(i) + 1);
    EXPECT_DOUBLE_EQ(drawn[i].scale_x, 6.25);
    EXPECT_DOUBLE_EQ(drawn[i].scale_y, 6.25);
    EXPECT_NEAR(drawn[i].offset_x, cell_x[cell % 2], 1e-9) << i;
    EXPECT_NEAR(drawn[i].offset_y, cell_y[cell / 2], 1e-9) << i;
  }
  EXPECT_EQ(printer.PaperWidth(), 297);
}

TEST_F(PrintJobTest, CopiesAndCollateDecideTheOrder) {
  struct Case {
    const char* name;
    PrintJobOptions options;
    int pages;
    const char* range;
    QStringList order;
  };
  PrintJobOptions single;
  auto with = [](PrintJobOptions o, auto change) {
    change(o);
    return o;
  };
  const Case cases[] = {
      // Uncollated copies fill adjacent cells and run on to the next
      // sheet: no copy is lost where a sheet ends.
      {"join, 2 copies", Join(2), 3, "", {"1:1/1", "1:1/2", "1:2/1", "1:2/2", "2:3/1", "2:3/2"}},
      {"join, 3 copies",
       Join(3),
       5,
       "",
       {"1:1/1", "1:1/2", "1:1/3", "1:2/1", "2:2/2", "2:2/3", "2:3/1", "2:3/2", "3:3/3", "3:4/1",
        "3:4/2", "3:4/3", "4:5/1", "4:5/2", "4:5/3"}},
      // Collated: each pass prints every page once, on sheets of its own.
      {"join, collated",
       Join(2, true),
       3,
       "",
       {"1:1/1", "1:2/1", "1:3/1", "2:1/2", "2:2/2", "2:3/2"}},
      {"join ignores reverse and parity",
       with(Join(),
            [](auto& o) {
              o.reverse = true;
              o.parity = TovxPrintPages::ppEven;
            }),
       3,
       "",
       {"1:1/1", "1:2/1", "1:3/1"}},
      {"join with a range", Join(), 6, "5,2-3", {"1:5/1", "1:2/1", "1:3/1"}},
      {"default, collated",
       with(single, [](auto& o) { o.copies = 2; }),
       2,
       "",
       {"1:1/1", "2:2/1", "3:1/2", "4:2/2"}},
      {"default, uncollated: the printer makes the copies",
       with(single,
            [](auto& o) {
              o.copies = 2;
              o.collate = false;
            }),
       2,
       "",
       {"1:1/1", "2:2/1"}},
      {"reverse",
       with(single, [](auto& o) { o.reverse = true; }),
       5,
       "1-3",
       {"1:3/1", "2:2/1", "3:1/1"}},
      {"even pages",
       with(single, [](auto& o) { o.parity = TovxPrintPages::ppEven; }),
       5,
       "",
       {"1:2/1", "2:4/1"}},
      {"even pages of 1,3",
       with(single, [](auto& o) { o.parity = TovxPrintPages::ppEven; }),
       5,
       "1,3",
       {}},
      {"odd pages",
       with(single, [](auto& o) { o.parity = TovxPrintPages::ppOdd; }),
       5,
       "",
       {"1:1/1", "2:3/1", "3:5/1"}},
      {"a page twice", single, 5, "1-3,2", {"1:1/1", "2:2/1", "3:3/1", "4:2/1"}},
      {"nothing", single, 5, "3-1", {}},
  };
  for (const Case& c : cases) {
    auto report = PreparedReport(Pages(c.pages, {148.5, 105}));
    RecordingPrinter printer;
    EXPECT_EQ(Order(Run(*report, printer, c.options, c.range)), c.order) << c.name;
    EXPECT_TRUE(ok_) << c.name;
    // A job that printed nothing never started.
    EXPECT_EQ(printer.calls.contains("StartJob"), !c.order.isEmpty()) << c.name;
  }
}

TEST_F(PrintJobTest, UncollatedCopiesAreAskedOfThePrinter) {
  auto report = PreparedReport(Pages(2));
  RecordingPrinter printer;
  PrintJobOptions options;
  options.copies = 3;
  options.collate = false;
  Run(*report, printer, options);
  EXPECT_EQ(printer.calls.front(), "SelectJobPaper(256 P bin 7 dup 0 copies 3)");
  options.collate = true;
  RecordingPrinter collating;
  Run(*report, collating, options);
  EXPECT_EQ(collating.calls.front(), "SelectJobPaper(256 P bin 7 dup 0 copies 1)");
}

TEST_F(PrintJobTest, TwoSidedCollatedCopiesStartOnAFreshSheet) {
  auto report = PreparedReport(Pages(3, {.duplex = TovxDuplexMode::dmVertical}));
  RecordingPrinter printer;
  PrintJobOptions options;
  options.copies = 2;
  const std::vector<Drawn> drawn = Run(*report, printer, options);
  EXPECT_EQ(Order(drawn), QStringList({"1:1/1", "2:2/1", "3:3/1", "5:1/2", "6:2/2", "7:3/2"}));
  // Sheets 4 and 8 are empty: the backs of the last sheet of each copy.
  EXPECT_EQ(printer.sheets, 8);
  // Join keeps copies apart the same way.
  auto joined = PreparedReport(Pages(5, {148.5, 105, false, 7, 7, TovxDuplexMode::dmVertical}));
  RecordingPrinter join_printer;
  EXPECT_EQ(Order(Run(*joined, join_printer, Join(2, true))),
            QStringList({"1:1/1", "1:2/1", "1:3/1", "1:4/1", "2:5/1", "3:1/2", "3:2/2", "3:3/2",
                         "3:4/2", "4:5/2"}));
  EXPECT_EQ(join_printer.sheets, 4);  // two sheets a pass: nothing to add
}

TEST_F(PrintJobTest, FirstPageOfEachBinFromItAndLaterOnesFromTheOther) {
  auto report = PreparedReport(Pages(3, {.bin = 2, .bin_other_pages = 3}));
  RecordingPrinter printer;
  PrintJobOptions options;
  options.copies = 2;
  Run(*report, printer, options);
  QStringList selections = printer.calls.filter("SelectJobPaper");
  // Bin 2 once for the whole job, across collated copies.
  EXPECT_EQ(selections, QStringList({"SelectJobPaper(256 P bin 2 dup 0 copies 1)",
                                     "SelectJobPaper(256 P bin 3 dup 0 copies 1)"}));
}

TEST_F(PrintJobTest, DefaultModeReselectsPaperOnlyWhenThePageChanges) {
  auto report = PreparedReport({{210, 297}, {210, 297}, {420, 297, true}, {148, 210}});
  RecordingPrinter printer;
  PrintJobOptions options;
  options.duplex = 3;
  const std::vector<Drawn> drawn = Run(*report, printer, options);
  EXPECT_EQ(printer.calls.filter("SelectJobPaper"),
            QStringList({"SelectJobPaper(256 P bin 7 dup 3 copies 1)",
                         "SelectJobPaper(256 L bin 7 dup 3 copies 1)",
                         "SelectJobPaper(256 P bin 7 dup 3 copies 1)"}));
  ASSERT_EQ(drawn.size(), 4u);
  for (const Drawn& d : drawn) {
    EXPECT_DOUBLE_EQ(d.scale_x, 6.25);
    EXPECT_NEAR(d.offset_x, -5 * kDots, 1e-9);
    EXPECT_NEAR(d.offset_y, -5 * kDots, 1e-9);
  }
}

TEST_F(PrintJobTest, ScaleStretchesEachPageOntoTheSheet) {
  auto report = PreparedReport({{105, 148.5}, {148.5, 105, true}});
  RecordingPrinter printer;
  PrintJobOptions options;
  options.mode = TovxPrintMode::pmScale;
  options.print_on_sheet = 9;
  options.sheet_width = 210;
  options.sheet_height = 297;
  std::vector<double> print_scales;
  TovxPreviewPages& store = *PreparedPages(*report);
  on_draw = [&](int) { print_scales.push_back(store.PrintScale()); };
  const std::vector<Drawn> drawn = Run(*report, printer, options);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_DOUBLE_EQ(drawn[0].scale_x, 6.25 * 2);
  EXPECT_DOUBLE_EQ(drawn[0].scale_y, 6.25 * 2);
  // The landscape page on a turned sheet.
  EXPECT_DOUBLE_EQ(drawn[1].scale_x, 6.25 * 297 / 148.5);
  EXPECT_DOUBLE_EQ(drawn[1].scale_y, 6.25 * 2);
  EXPECT_EQ(print_scales, (std::vector<double>{2, 2}));
  EXPECT_EQ(printer.calls.filter("SelectJobPaper"),
            QStringList({"SelectJobPaper(9 P bin 7 dup 0 copies 1)",
                         "SelectJobPaper(9 L bin 7 dup 0 copies 1)"}));
}

TEST_F(PrintJobTest, SplitCutsALargePageIntoPiecesThatMeetExactly) {
  // 300 x 400 mm onto A4 with 5 mm margins and a 3 mm overlap: two pieces
  // on turned sheets, one above the other.
  auto report = PreparedReport({{300, 400}});
  SheetPrinter printer(600, 5);
  PrintJobOptions options;
  options.mode = TovxPrintMode::pmSplit;
  options.print_on_sheet = 9;
  options.sheet_width = 210;
  options.sheet_height = 297;
  const std::vector<Drawn> drawn = Run(*report, printer, options);
  ASSERT_TRUE(ok_) << error_.toStdString();
  EXPECT_EQ(printer.calls.front(), "SelectJobPaper(9 L bin 7 dup 0 copies 1)");
  ASSERT_EQ(drawn.size(), 2u);
  const double margin = 5 * kDots;
  const double strip = 3 * kDots;
  const double piece_h = 210 * kDots;
  EXPECT_NEAR(drawn[0].offset_x, -margin, 1e-9);
  EXPECT_NEAR(drawn[0].offset_y, -margin, 1e-9);
  EXPECT_NEAR(drawn[1].offset_x, -margin, 1e-9);
  EXPECT_NEAR(drawn[1].offset_y, -(margin + piece_h - 2 * margin - strip), 1e-9);
  // The clips: the whole first piece; the second without its leading strip.
  const int right = static_cast<int>(std::lround(300 * kDots - margin)) - 1;
  const int bottom = static_cast<int>(std::lround(400 * kDots - margin)) - 1;
  ASSERT_EQ(printer.sheet.clips.size(), 2u);
  EXPECT_EQ(printer.sheet.clips[0], (PixelRect{0, 0, right, bottom}));
  EXPECT_EQ(printer.sheet.clips[1], (PixelRect{0, 71, right, bottom}));
  EXPECT_EQ(printer.sheet.depth, 0);
  // The second piece shows the page from where the first one's printable
  // area ended: no page line is lost or printed twice.
  const double first_end = (piece_h - 2 * margin) - drawn[0].offset_y;
  const double second_start = printer.sheet.clips[1].top - drawn[1].offset_y;
  EXPECT_NEAR(second_start, first_end, 1);
}

TEST_F(PrintJobTest, SplitPiecesMeetAlongAWholeRow) {
  // 560 mm wide: three pieces across a row of portrait A4 sheets.
  auto report = PreparedReport({{560, 280}});
  SheetPrinter printer(600, 5);
  PrintJobOptions options;
  options.mode = TovxPrintMode::pmSplit;
  options.print_on_sheet = 9;
  options.sheet_width = 210;
  options.sheet_height = 297;
  const std::vector<Drawn> drawn = Run(*report, printer, options);
  ASSERT_TRUE(ok_) << error_.toStdString();
  ASSERT_EQ(drawn.size(), 3u);
  const double printable = (210 - 10) * kDots;
  EXPECT_NEAR(printer.sheet.clips[0].left - drawn[0].offset_x, 5 * kDots, 1);
  for (size_t i = 1; i < drawn.size(); ++i) {
    const double previous_end = printable - drawn[i - 1].offset_x;
    const double start = printer.sheet.clips[i].left - drawn[i].offset_x;
    EXPECT_NEAR(start, previous_end, 1) << "piece " << i;
  }
}

TEST_F(PrintJobTest, FailuresAbortTheJobAndAreNeverSuccess) {
  struct Case {
    const char* name;
    std::function<void(RecordingPrinter&)> arrange;
    PrintJobOptions options;
    std::vector<PageSpec> pages;
    const char* error;
    bool aborted;
  };
  PrintJobOptions split;
  split.mode = TovxPrintMode::pmSplit;
  split.print_on_sheet = 9;
  split.sheet_width = 210;
  split.sheet_height = 297;
  const Case cases[] = {
      {"a sheet fails", [](RecordingPrinter& p) { p.fail_sheet = 2; }, Join(),
       Pages(9, {148.5, 105}), "paper jam", true},
      {"the job does not start",
       [](RecordingPrinter& p) { p.fail_start = true; },
       {},
       Pages(2),
       "no job today",
       true},
      {"the job does not end",
       [](RecordingPrinter& p) { p.fail_finish = true; },
       {},
       Pages(2),
       "spooler gone",
       false},
      // A damaged prepared page of no size cannot be joined.
      {"a page of no size", [](RecordingPrinter&) {}, Join(), {{0, 105}}, "", false},
      // Margins that eat the sheet leave no room for split pieces.
      {"margins larger than the sheet", [](RecordingPrinter&) {}, split, {{300, 400}}, "", false},
  };
  for (const Case& c : cases) {
    auto report = PreparedReport(c.pages);
    RecordingPrinter printer(600, c.name == std::string("margins larger than the sheet") ? 120 : 5);
    c.arrange(printer);
    Run(*report, printer, c.options);
    EXPECT_FALSE(ok_) << c.name;
    EXPECT_FALSE(error_.isEmpty()) << c.name;
    if (*c.error) {
      EXPECT_EQ(error_, c.error) << c.name;
    }
    EXPECT_EQ(printer.aborts > 0, c.aborted) << c.name;
    EXPECT_FALSE(printer.calls.contains("FinishJob") && c.aborted) << c.name;
  }
}

TEST_F(PrintJobTest, ACancelWithdrawsTheJobButIsNoFailure) {
  auto report = PreparedReport(Pages(5));
  RecordingPrinter printer;
  on_draw = [&](int index) {
    if (index == 1) report->SetTerminated(true);
  };
  const std::vector<Drawn> drawn = Run(*report, printer, {});
  EXPECT_TRUE(ok_);
  EXPECT_TRUE(cancelled_);
  EXPECT_EQ(drawn.size(), 2u);
  EXPECT_EQ(printer.calls.back(), "AbortJob");
  EXPECT_FALSE(printer.calls.contains("FinishJob"));

  // Join checks after every sheet.
  auto joined = PreparedReport(Pages(9, {148.5, 105}));
  RecordingPrinter join_printer;
  on_draw = [&](int index) {
    if (index == 0) joined->SetTerminated(true);
  };
  EXPECT_EQ(Run(*joined, join_printer, Join()).size(), 4u);
  EXPECT_TRUE(cancelled_);
  EXPECT_EQ(join_printer.calls.back(), "AbortJob");
}

// --- Print ---------------------------------------------------------------------------------------

class PrintPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPrinting();
    spooler_ = std::make_shared<FakeSpooler>();
    spooler_->queues = {{"office", "", true}, {"other", "", false}};
    spooler_->capabilities["office"] = OfficeCapabilities();
    spooler_->capabilities["other"] = OfficeCapabilities();
    SetPrinters(std::make_unique<TovxPrinters>(spooler_));
    report_ = PreparedReport(Pages(3, {148.5, 105}));
    report_->EngineOptions().SetNewSilentMode(TovxSilentMode::simMessageBoxes);
    report_->show_error = [this](const QString& text) { errors_ << text; };
    report_->PrintOptions().SetShowDialog(false);
    GlobalPrintHost() = PrintHost();
  }
  void TearDown() override {
    SetPrinters(nullptr);
    GlobalPrintHost() = PrintHost();
  }
  TovxPreviewPages& Store() { return *PreparedPages(*report_); }

  std::shared_ptr<FakeSpooler> spooler_;
  std::unique_ptr<TovxReport> report_;
  QStringList errors_;
};

TEST_F(PrintPagesTest, JoinOnA4GoesToTheQueueAsOneJob) {
  TovxPrintOptions& options = report_->PrintOptions();
  options.SetPrintMode(TovxPrintMode::pmJoin);
  options.SetPrintOnSheet(9);
  QStringList events;
  GlobalPrintHost().on_print_report = [&](TovxReport&) { events << "print report"; };
  GlobalPrintHost().on_after_print_report = [&](TovxReport&) { events << "after print report"; };
  GlobalPrintHost().on_progress = [&](int page) { events << QStringLiteral("page %1").arg(page); };
  ASSERT_TRUE(Store().Print()) << errors_.join(u'\n').toStdString();
  EXPECT_TRUE(errors_.isEmpty());
  EXPECT_EQ(events, QStringList({"print report", "page 3", "after print report"}));
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  EXPECT_EQ(spooler_->jobs[0]->queue, "office");
  EXPECT_EQ(spooler_->jobs[0]->Option("media"), "iso_a4_210x297mm");
  EXPECT_EQ(Store().CopyNo(), 0);
}

TEST_F(PrintPagesTest, TheOptionsNameThePrinterAndComeBackAfterTheJob) {
  TovxPrintOptions& options = report_->PrintOptions();
  options.SetPrinter(QStringLiteral("OTHER"));
  options.SetShowDialog(true);
  GlobalPrintHost().show_dialog = [](TovxReport& report, TovxPreviewPages&, int& duplex) {
    report.PrintOptions().SetCopies(2);
    report.PrintOptions().SetPageNumbers(QStringLiteral("2"));
    duplex = 2;
    return true;
  };
  ASSERT_TRUE(Store().Print());
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  EXPECT_EQ(spooler_->jobs[0]->queue, "other");
  EXPECT_EQ(spooler_->jobs[0]->Option("sides"), "two-sided-short-edge");
  EXPECT_EQ(ovxPrinters().Printer()->Name(), "other");  // the choice of printer stays
  EXPECT_EQ(options.Copies(), 1);
  EXPECT_EQ(options.PageNumbers(), "");
  EXPECT_EQ(options.Printer(), "OTHER");
  EXPECT_EQ(options.DuplexOverride(), 2);  // so does the duplex mode

  GlobalPrintHost().show_dialog = [](TovxReport&, TovxPreviewPages&, int&) { return false; };
  EXPECT_FALSE(Store().Print());
  EXPECT_EQ(spooler_->jobs.size(), 1u);
}

TEST_F(PrintPagesTest, APrintToFileNameServesOneJob) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("job.prn"));
  report_->PrintOptions().SetPrintToFileName(file);
  ASSERT_TRUE(Store().Print()) << errors_.join(u'\n').toStdString();
  EXPECT_TRUE(QFile::exists(file));
  EXPECT_TRUE(spooler_->jobs.empty());
  EXPECT_EQ(ovxPrinters().Printer()->FileName(), "");
  EXPECT_EQ(report_->PrintOptions().PrintToFileName(), "");
  ASSERT_TRUE(Store().Print());
  EXPECT_EQ(spooler_->jobs.size(), 1u);  // the next job goes to the printer
}

TEST_F(PrintPagesTest, FailuresAreShownAndAnsweredFalse) {
  spooler_->refuse = QStringLiteral("queue is stopped");
  EXPECT_FALSE(Store().Print());
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_TRUE(errors_[0].contains("queue is stopped")) << errors_[0].toStdString();

  // A printer that cannot be initialised prints nothing and says so.
  errors_.clear();
  spooler_->refuse.clear();
  spooler_->capabilities.erase("other");
  report_->PrintOptions().SetPrinter(QStringLiteral("other"));
  EXPECT_FALSE(Store().Print());
  EXPECT_EQ(errors_, QStringList{TovxResources::Instance().Get(u"rsPrinterNotValid")});

  // No printer at all.
  errors_.clear();
  spooler_->queues.clear();
  SetPrinters(std::make_unique<TovxPrinters>(spooler_));
  EXPECT_FALSE(Store().Print());
  EXPECT_EQ(errors_, QStringList{TovxResources::Instance().Get(u"clNoPrinters")});
}

TEST_F(PrintPagesTest, ABadPageRangeStopsBeforeAnySheetAndRestoresTheOptions) {
  TovxPrintOptions& options = report_->PrintOptions();
  options.SetShowDialog(true);
  GlobalPrintHost().show_dialog = [](TovxReport& report, TovxPreviewPages&, int&) {
    report.PrintOptions().SetPageNumbers(QStringLiteral("1,x"));
    return true;
  };
  EXPECT_THROW((void)Store().Print(), Error);
  EXPECT_TRUE(spooler_->jobs.empty());
  EXPECT_EQ(options.PageNumbers(), "");
  EXPECT_TRUE(options.ShowDialog());
}

TEST_F(PrintPagesTest, ReportPagesTakeTheCurrentPrintersDefaultPaper) {
  spooler_->capabilities["office"].default_media = "iso_a5_148x210mm";
  SetPrinters(std::make_unique<TovxPrinters>(spooler_));
  auto* page = new TovxReportPage(report_.get());
  page->ResetToPrinterDefaults();
  EXPECT_EQ(page->PaperSize(), 11);
  EXPECT_EQ(page->PaperWidth(), 148);
  EXPECT_EQ(page->PaperHeight(), 210);
}

}  // namespace
}  // namespace ovx::test
