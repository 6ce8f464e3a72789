#include "print/print_job.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "print/printers.h"
#include "print/sheet_grid.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace ovx {
namespace {

QString Localized(const Error& error) { return TovxResources::Instance().Message(error); }

Error JobFailed(const QString& detail) {
  return Error(QStringLiteral("rsPrintJobFailed"), QStringLiteral("The print job failed: %s"),
               {detail});
}

// The options a job may change, put back when Print ends.
struct SavedOptions {
  explicit SavedOptions(const TovxPrintOptions& o)
      : copies(o.Copies()),
        collate(o.Collate()),
        page_numbers(o.PageNumbers()),
        printer(o.Printer()),
        mode(o.PrintMode()),
        print_on_sheet(o.PrintOnSheet()),
        print_pages(o.PrintPages()),
        reverse(o.Reverse()),
        show_dialog(o.ShowDialog()),
        split_overlap(o.SplitOverlap()) {}

  void Restore(TovxPrintOptions& o) const {
    o.SetCopies(copies);
    o.SetCollate(collate);
    o.SetPageNumbers(page_numbers);
    o.SetPrinter(printer);
    o.SetPrintMode(mode);
    o.SetPrintOnSheet(print_on_sheet);
    o.SetPrintPages(print_pages);
    o.SetReverse(reverse);
    o.SetShowDialog(show_dialog);
    o.SetSplitOverlap(split_overlap);
  }

  int copies;
  bool collate;
  QString page_numbers;
  QString printer;
  TovxPrintMode mode;
  int print_on_sheet;
  TovxPrintPages print_pages;
  bool reverse;
  bool show_dialog;
  int split_overlap;
};

bool TwoSided(int duplex) {
  return duplex == static_cast<int>(TovxDuplexMode::dmVertical) ||
         duplex == static_cast<int>(TovxDuplexMode::dmHorizontal);
}

TovxPrinterOrientation OrientationOf(bool landscape) {
  return landscape ? TovxPrinterOrientation::poLandscape : TovxPrinterOrientation::poPortrait;
}

}  // namespace

PrintHost& GlobalPrintHost() {
  static PrintHost host;
  return host;
}

// --- the job ---------------------------------------------------------------------------------

PrintJob::PrintJob(TovxPreviewPages& pages, TovxCustomPrinter& printer, PrintJobOptions options,
                   PrintHost& host)
    : pages_(pages), printer_(printer), options_(std::move(options)), host_(host) {}

bool PrintJob::Terminated() const { return pages_.Report() && pages_.Report()->Terminated(); }

void PrintJob::ProcessEvents() {
  if (options_.thread_safe) return;
  if (host_.process_events) {
    host_.process_events();
  } else if (QCoreApplication::instance()) {
    QCoreApplication::processEvents();
  }
}

// The report's progress notifications are the ones a preview shows
// (preparation and export send theirs there too); the host's hooks are for
// programs without a preview.
void PrintJob::ProgressStart() {
  if (host_.on_progress_start) host_.on_progress_start();
  if (TovxReport* report = pages_.Report(); report && report->on_progress_start) {
    report->on_progress_start();
  }
}

void PrintJob::Progress(int page) {
  if (host_.on_progress) host_.on_progress(page);
  if (TovxReport* report = pages_.Report(); report && report->on_progress) {
    report->on_progress(page);
  }
}

void PrintJob::ProgressStop() {
  if (host_.on_progress_stop) host_.on_progress_stop();
  if (TovxReport* report = pages_.Report(); report && report->on_progress_stop) {
    report->on_progress_stop();
  }
}

PrintJob::Step PrintJob::Fail(const QString& error) {
  if (!failed_) error_ = error;
  failed_ = true;
  return Step::kStop;
}

bool PrintJob::EnsureStarted() {
  if (started_) return true;
  if (!printer_.StartJob()) {
    Fail(printer_.LastError());
    // A job that did not start may still hold a half-opened output.
    printer_.AbortJob();
    return false;
  }
  started_ = true;
  return true;
}

int PrintJob::PageForStep(qint64 position) const {
  const int index = options_.pages.PageAt(position);
  if (index < 0) return -1;
  const bool even = (index + 1) % 2 == 0;
  if (options_.parity == TovxPrintPages::ppOdd && even) return -1;
  if (options_.parity == TovxPrintPages::ppEven && !even) return -1;
  return index;
}

void PrintJob::FirePrintPage(TovxReportPage& page, int copy_no) {
  pages_.SetCopyNo(copy_no);
  if (host_.on_print_page) host_.on_print_page(page, copy_no);
}

int PrintJob::DuplexOf(const TovxReportPage& page) const {
  return options_.duplex != 0 ? options_.duplex : static_cast<int>(page.Duplex());
}

void PrintJob::Draw(int index, double scale_x, double scale_y, double offset_x, double offset_y) {
  if (draw_page) {
    draw_page(index, printer_.Canvas(), scale_x, scale_y, offset_x, offset_y);
  } else {
    pages_.DrawPage(index, printer_.Canvas(), scale_x, scale_y, offset_x, offset_y);
  }
}

bool PrintJob::Run() {
  if (TovxReport* report = pages_.Report()) {
    report->SetTerminated(false);
    QString title = report->ReportOptions().Name();
    if (title.isEmpty()) title = report->FileName();
    printer_.SetTitle(title);
  }
  ProgressStart();
  options_.copies = std::max(options_.copies, 1);
  try {
    if (options_.collate) {
      for (pass_ = 1; pass_ <= options_.copies; ++pass_) {
        if (!RunMode()) break;
        // Each copy of a two-sided run starts on a sheet of its own.
        if (duplex_flip_) {
          duplex_flip_ = false;
          if (!printer_.StartSheet() || !printer_.FinishSheet()) {
            Fail(printer_.LastError());
            break;
          }
        }
        if (Terminated()) {
          cancelled_ = true;
          break;
        }
      }
    } else {
      pass_ = 1;
      (void)RunMode();
    }
    if (started_ && !failed_ && !cancelled_) {
      started_ = false;
      if (!printer_.FinishJob()) Fail(printer_.LastError());
    }
  } catch (...) {
    if (started_) printer_.AbortJob();
    ProgressStop();
    throw;
  }
  if (started_ && (failed_ || cancelled_)) printer_.AbortJob();
  started_ = false;
  ProgressStop();
  return !failed_;
}

bool PrintJob::RunMode() {
  printed_ = 0;
  try {
    if (options_.mode == TovxPrintMode::pmJoin) {
      JoinRoutine();
    } else {
      const qint64 count = options_.pages.Count();
      for (qint64 i = 0; i < count; ++i) {
        const qint64 position = options_.reverse ? count - 1 - i : i;
        const Step step =
            options_.mode == TovxPrintMode::pmSplit ? SplitStep(position) : PageStep(position);
        if (step == Step::kStop) break;
      }
    }
  } catch (const ovx::Error& e) {
    Fail(Localized(e));
  }
  return !failed_ && !cancelled_;
}

PrintJob::Step PrintJob::PageStep(qint64 position) {
  const int index = PageForStep(position);
  if (index < 0) return Step::kContinue;
  if (Terminated()) {
    cancelled_ = true;
    return Step::kStop;
  }
  TovxReportPage* page = pages_.GetPage(index);
  if (!page) return Step::kContinue;
  FirePrintPage(*page, CopyNo());
  // Rebuilt pages may leave the cache while others are drawn: keep what
  // this step needs.
  const double page_width = page->PaperWidth();
  const double page_height = page->PaperHeight();
  const int paper = page->PaperSize();
  const TovxPrinterOrientation orientation = page->Orientation();

  // The first page of each Bin comes from it, later ones from BinOtherPages
  // (across collated copies too).
  int bin = page->BinOtherPages();
  if (seen_bins_.insert(page->Bin()).second) bin = page->Bin();
  const int duplex = DuplexOf(*page);
  if (duplex != last_duplex_) duplex_flip_ = false;
  if (TwoSided(duplex)) duplex_flip_ = !duplex_flip_;

  const int orientation_code = static_cast<int>(orientation);
  double sheet_width = page_width;
  double sheet_height = page_height;
  if (options_.mode == TovxPrintMode::pmScale) {
    if (!started_ || bin != last_bin_ || orientation_code != last_orientation_ ||
        duplex != last_duplex_) {
      // The sheet is always given in portrait: the printer turns it.
      if (!printer_.SelectJobPaper(options_.print_on_sheet, options_.sheet_width,
                                   options_.sheet_height, orientation, bin,
                                   static_cast<TovxDuplexMode>(duplex), CopiesPerSheet()))
        return Fail(printer_.LastError());
    }
    sheet_width = printer_.PaperWidth();
    sheet_height = printer_.PaperHeight();
  } else {
    const qint64 width = Round(page_width);
    const qint64 height = Round(page_height);
    if (!started_ || paper != last_paper_ || width != last_width_ || height != last_height_ ||
        bin != last_bin_ || orientation_code != last_orientation_ || duplex != last_duplex_) {
      if (!printer_.SelectJobPaper(paper, page_width, page_height, orientation, bin,
                                   static_cast<TovxDuplexMode>(duplex), CopiesPerSheet()))
        return Fail(printer_.LastError());
    }
    last_width_ = width;
    last_height_ = height;
  }
  if (!EnsureStarted()) return Step::kStop;
  if (!printer_.StartSheet()) return Fail(printer_.LastError());

  double scale_x = 1;
  double scale_y = 1;
  if (options_.mode == TovxPrintMode::pmScale) {
    if (!(page_width > 0) || !(page_height > 0)) {
      return Fail(Localized(
          ovx::Error(QStringLiteral("rsPrintBadSheetGrid"),
                     QStringLiteral("Pages of %s mm cannot be arranged on %s mm of paper"),
                     {FormatFloat(page_width) + u'x' + FormatFloat(page_height),
                      FormatFloat(sheet_width) + u'x' + FormatFloat(sheet_height)})));
    }
    scale_x = sheet_width / page_width;
    scale_y = sheet_height / page_height;
    pages_.SetPrintScale(std::min(scale_x, scale_y));
  }
  const QPoint dpi = printer_.DPI();
  Draw(index, dpi.x() / 96.0 * scale_x, dpi.y() / 96.0 * scale_y,
       -printer_.LeftMargin() * dpi.x() / 25.4, -printer_.TopMargin() * dpi.y() / 25.4);
  Progress(index + 1);
  if (!printer_.FinishSheet()) return Fail(printer_.LastError());
  ProcessEvents();

  ++printed_;
  last_paper_ = paper;
  last_bin_ = bin;
  last_orientation_ = orientation_code;
  last_duplex_ = duplex;
  pages_.ClearCache();
  return Step::kContinue;
}

PrintJob::Step PrintJob::SplitStep(qint64 position) {
  const int index = PageForStep(position);
  if (index < 0) return Step::kContinue;
  if (Terminated()) {
    cancelled_ = true;
    return Step::kStop;
  }
  TovxReportPage* page = pages_.GetPage(index);
  if (!page) return Step::kContinue;
  FirePrintPage(*page, CopyNo());
  const int bin = index == 0 ? page->Bin() : page->BinOtherPages();
  const double page_width = page->PaperWidth();
  const double page_height = page->PaperHeight();
  const int duplex = DuplexOf(*page);
  const double sheet_width = options_.sheet_width;
  const double sheet_height = options_.sheet_height;
  const double overlap = options_.overlap;

  // The overlap strip and the unprintable margins come off every piece but
  // the first of a row or column.
  SheetGrid grid = Arrange(page_width, page_height, sheet_width, sheet_height);
  double overlap_x =
      grid.columns > 1 ? overlap + printer_.LeftMargin() + printer_.RightMargin() : 0;
  double overlap_y = grid.rows > 1 ? overlap + printer_.TopMargin() + printer_.BottomMargin() : 0;
  if (grid.rotated) std::swap(overlap_x, overlap_y);
  grid = Arrange(page_width, page_height, sheet_width - overlap_x, sheet_height - overlap_y);

  if (!started_ || grid.rotated != last_rotated_) {
    if (!printer_.SelectJobPaper(options_.print_on_sheet, sheet_width, sheet_height,
                                 OrientationOf(grid.rotated), bin,
                                 static_cast<TovxDuplexMode>(duplex), CopiesPerSheet()))
      return Fail(printer_.LastError());
  }
  if (!EnsureStarted()) return Step::kStop;

  const QPoint dpi = printer_.DPI();
  const double per_mm_x = dpi.x() / 25.4;
  const double per_mm_y = dpi.y() / 25.4;
  const double piece_w = per_mm_x * (grid.rotated ? sheet_height : sheet_width);
  const double piece_h = per_mm_y * (grid.rotated ? sheet_width : sheet_height);
  const double left = printer_.LeftMargin() * per_mm_x;
  const double right = printer_.RightMargin() * per_mm_x;
  const double top = printer_.TopMargin() * per_mm_y;
  const double bottom = printer_.BottomMargin() * per_mm_y;
  const double strip_x = overlap * per_mm_x;
  const double strip_y = overlap * per_mm_y;
  if ((grid.columns > 1 && piece_w - left - right - strip_x <= 0) ||
      (grid.rows > 1 && piece_h - top - bottom - strip_y <= 0)) {
    return Fail(Localized(ovx::Error(QStringLiteral("rsPrintNoRoom"),
                                     QStringLiteral("The overlap and the margins leave no room "
                                                    "on the sheet"))));
  }
  const int clip_right = RoundToInt(page_width * 96 / 25.4 * dpi.x() / 96 - right) - 1;
  const int clip_bottom = RoundToInt(page_height * 96 / 25.4 * dpi.y() / 96 - bottom) - 1;

  // Each piece shows the page from where the previous one ended: the page
  // moves by the printable width less the strip, and the strip at the
  // piece's leading edge stays blank for pasting the neighbour over it.
  Canvas& canvas = printer_.Canvas();
  double acc_y = 0;
  double shift_y = 0;
  for (int row = 0; row < grid.rows; ++row) {
    double acc_x = 0;
    double shift_x = 0;
    for (int column = 0; column < grid.columns; ++column) {
      if (!printer_.StartSheet()) return Fail(printer_.LastError());
      {
        canvas.SaveDC();
        struct Restore {
          Canvas& canvas;
          ~Restore() { canvas.RestoreDC(); }
        } restore{canvas};
        canvas.IntersectClipRect(
            {RoundToInt(shift_x), RoundToInt(shift_y), clip_right, clip_bottom});
        canvas.SetMetaClip();
        Draw(index, dpi.x() / 96.0, dpi.y() / 96.0, -(left + acc_x), -(top + acc_y));
      }
      if (!printer_.FinishSheet()) return Fail(printer_.LastError());
      shift_x = strip_x;
      acc_x += piece_w - left - right - shift_x;
    }
    shift_y = strip_y;
    acc_y += piece_h - top - bottom - shift_y;
  }
  Progress(index + 1);
  ProcessEvents();
  ++printed_;
  last_rotated_ = grid.rotated;
  pages_.ClearCache();
  return Step::kContinue;
}

void PrintJob::JoinRoutine() {
  if (pages_.Count() == 0 || options_.pages.Count() == 0) return;
  const int first = options_.pages.PageAt(0);
  TovxReportPage* page = first >= 0 ? pages_.GetPage(first) : nullptr;
  if (!page) return;
  // The first page decides the layout: every cell has its size.
  const double page_width = page->PaperWidth();
  const double page_height = page->PaperHeight();
  const int duplex = DuplexOf(*page);
  SheetGrid grid = Arrange(options_.sheet_width, options_.sheet_height, page_width, page_height);
  if (grid.rotated) std::swap(grid.columns, grid.rows);
  if (!printer_.SelectJobPaper(options_.print_on_sheet, options_.sheet_width, options_.sheet_height,
                               OrientationOf(grid.rotated), page->Bin(),
                               static_cast<TovxDuplexMode>(duplex), 1)) {
    Fail(printer_.LastError());
    return;
  }
  if (!EnsureStarted()) return;

  const QPoint dpi = printer_.DPI();
  const double cell_w = dpi.x() / 25.4 * page_width;
  const double cell_h = dpi.y() / 25.4 * page_height;
  const double left = -printer_.LeftMargin() * dpi.x() / 25.4;
  const double top = -printer_.TopMargin() * dpi.y() / 25.4;
  const qint64 count = options_.pages.Count();
  // Uncollated copies fill adjacent cells and run on across sheets, so a
  // sheet that ends between two copies of a page loses neither; collated
  // copies are whole passes, each page once per pass.
  const int copies = CopiesPerSheet();
  qint64 position = 0;
  int copy = 1;
  while (position < count) {
    if (Terminated()) {
      cancelled_ = true;
      return;
    }
    if (!printer_.StartSheet()) {
      Fail(printer_.LastError());
      return;
    }
    int last_page = 0;
    double y = top;
    for (int row = 0; row < grid.rows && position < count; ++row) {
      double x = left;
      for (int column = 0; column < grid.columns && position < count; ++column) {
        const int index = options_.pages.PageAt(position);
        pages_.SetCopyNo(options_.collate ? pass_ : copy);
        // A copy after the first is drawn anew: its copy number may show.
        if (copy > 1) pages_.ClearCache();
        Draw(index, dpi.x() / 96.0, dpi.y() / 96.0, x, y);
        last_page = index + 1;
        x += cell_w;
        if (++copy > copies) {
          copy = 1;
          ++position;
        }
      }
      y += cell_h;
    }
    if (!printer_.FinishSheet()) {
      Fail(printer_.LastError());
      return;
    }
    Progress(last_page);
    ProcessEvents();
    if (Terminated()) {
      cancelled_ = true;
      return;
    }
    ++printed_;
    pages_.ClearCache();
    if (TwoSided(duplex)) duplex_flip_ = !duplex_flip_;
  }
}

// --- Print -----------------------------------------------------------------------------------

bool PrintPages(TovxPreviewPages& pages) {
  TovxReport* report = pages.Report();
  if (!report)
    throw Error(QString(), QStringLiteral("Prepared pages without a report cannot print"));
  PrintHost& host = GlobalPrintHost();
  auto show = [report](const Error& error) { report->ShowErrorText(Localized(error)); };

  TovxPrinters& printers = ovxPrinters();
  if (!printers.HasPhysicalPrinters()) {
    show(Error(QStringLiteral("clNoPrinters"), QStringLiteral("No printer is installed")));
    return false;
  }
  pages.SetPrintScale(1);
  TovxPrintOptions& options = report->PrintOptions();
  const SavedOptions saved(options);
  int duplex = options.DuplexOverride();
  // A name that is no installed printer ("预设", the default) keeps the
  // current one.
  const int named = printers.IndexOf(options.Printer());
  if (named >= 0 && named != printers.PrinterIndex()) printers.SetPrinterIndex(named);

  if (options.ShowDialog() && host.show_dialog) {
    if (!host.show_dialog(*report, pages, duplex)) {
      pages.SetCopyNo(0);
      saved.Restore(options);
      return false;
    }
    options.SetDuplexOverride(duplex);
  }
  TovxCustomPrinter* printer = printers.Printer();
  if (!printer) {
    show(Error(QStringLiteral("rsPrinterNotValid"),
               QStringLiteral("Printer selected is not valid")));
    saved.Restore(options);
    return false;
  }
  if (!options.PrintToFileName().isEmpty()) printer->SetFileName(options.PrintToFileName());

  // Whatever happens from here on: the after-print event, and the options
  // and the output file back as they were, so this job's choices do not
  // leak into the next one.
  struct Finally {
    TovxPreviewPages& pages;
    TovxReport& report;
    TovxCustomPrinter& printer;
    const SavedOptions& saved;
    PrintHost& host;
    ~Finally() {
      pages.SetCopyNo(0);
      pages.SetPrintScale(1);
      saved.Restore(report.PrintOptions());
      report.PrintOptions().SetPrintToFileName(QString());
      printer.SetFileName(QString());
      if (host.on_after_print_report) host.on_after_print_report(report);
    }
  } finally{pages, *report, *printer, saved, host};

  PrintJobOptions job;
  job.mode = options.PrintMode();
  job.print_on_sheet = options.PrintOnSheet();
  if (job.mode != TovxPrintMode::pmDefault) {
    if (job.print_on_sheet == kPaperCustom) {
      printer->SelectViewPaper(kPaperCustom, printer->PaperWidth(), printer->PaperHeight(),
                               TovxPrinterOrientation::poPortrait);
    } else {
      printer->SelectViewPaper(job.print_on_sheet, 0, 0, TovxPrinterOrientation::poPortrait);
    }
    job.sheet_width = printer->PaperWidth() != 0 ? printer->PaperWidth() : printer->DefPaperWidth();
    job.sheet_height =
        printer->PaperHeight() != 0 ? printer->PaperHeight() : printer->DefPaperHeight();
  }
  job.copies = options.Copies();
  job.collate = options.Collate();
  job.parity = options.PrintPages();
  job.reverse = options.Reverse();
  job.duplex = duplex;
  job.overlap = options.SplitOverlap();
  job.thread_safe = report->EngineOptions().EnableThreadSafe();

  if (host.on_print_report) host.on_print_report(*report);
  if (TovxEngine* engine = ReportEngine(*report);
      engine && engine->call_script && !report->OnReportPrint().isEmpty()) {
    engine->call_script(report->OnReportPrint(), *report);
  }
  if (!printer->Initialized()) {
    show(Error(QStringLiteral("rsPrinterNotValid"),
               QStringLiteral("Printer selected is not valid")));
    return false;
  }
  job.pages = PageRanges::Parse(options.PageNumbers(), pages.Count());
  pages.ClearCache();
  PrintJob print_job(pages, *printer, std::move(job), host);
  const bool printed = print_job.Run();
  if (!printed) show(JobFailed(print_job.Error()));
  return printed;
}

namespace {

bool PrintThroughHook(TovxPreviewPages& pages) { return PrintPages(pages); }

}  // namespace

void InstallPrinting() {
  SetPagesPrinter(&PrintThroughHook);
  SetCurrentPaperSource(&PrinterPaperSource());
}

}  // namespace ovx
