// Printing prepared pages: the Print command and the job with its modes.
//
// PrintPages is what TovxPreviewPages::Print runs once InstallPrinting has
// been called: it takes the report's print options, picks the printer they
// name, shows the print dialog (when the host installed one and the options
// ask for it), measures the sheet and runs a PrintJob. The options are put
// back afterwards, so dialog choices apply to one job; so does a print-to-
// file name.
//
// A PrintJob drives one printer sheet by sheet in one of four modes:
//   pmDefault  every page on a sheet of its own paper, at its size;
//   pmScale    every page stretched onto the chosen sheet;
//   pmSplit    a large page cut into pieces on several sheets;
//   pmJoin     small pages side by side, from the sheet's physical corner.
// Page positions are computed in the printer's device pixels with the
// origin on the printable area's corner, so a page drawn at minus the
// margins has its corner on the paper's corner.
//
// Failures are never reported as success: a spooler call that fails, a
// printer that cannot be used or a sheet the mode cannot arrange abort the
// job, the error is shown through the report, and Print answers false. A
// cancel by the user (the report's Terminated, checked before every page
// and after every joined sheet) withdraws the job and still answers true.
#pragma once

#include "engine/page_ranges.h"
#include "report/model/report_options.h"

#include <QString>

#include <functional>
#include <set>

class TovxCustomPrinter;
class TovxPreviewPages;
class TovxReport;
class TovxReportPage;

namespace ovx {

class Canvas;

// What the host program adds around printing; every hook may be empty.
struct PrintHost {
  // The print dialog; false when the user cancelled. `duplex` is the job's
  // duplex mode (0 to 3), in and out. Installed by the print dialogs.
  std::function<bool(TovxReport& report, TovxPreviewPages& pages, int& duplex)> show_dialog;
  // Report events: before the job, before each page printed on its own
  // sheet (with its copy number), after the job.
  std::function<void(TovxReport& report)> on_print_report;
  std::function<void(TovxReportPage& page, int copy_no)> on_print_page;
  std::function<void(TovxReport& report)> on_after_print_report;
  // Progress of the job ("prPrinting": the page number being printed).
  std::function<void()> on_progress_start;
  std::function<void(int page)> on_progress;
  std::function<void()> on_progress_stop;
  // Lets the window system work between sheets, unless the engine runs
  // thread-safe (QCoreApplication's event processing when empty).
  std::function<void()> process_events;
};

// The process's hooks.
PrintHost& GlobalPrintHost();

struct PrintJobOptions {
  int copies = 1;
  bool collate = true;
  PageRanges pages;
  TovxPrintMode mode = TovxPrintMode::pmDefault;
  // The paper of the sheet in the three other modes, and its size in
  // portrait (mm).
  int print_on_sheet = 0;
  double sheet_width = 0;
  double sheet_height = 0;
  TovxPrintPages parity = TovxPrintPages::ppAll;
  bool reverse = false;
  // 0 takes every page's own duplex mode.
  int duplex = 0;
  // Overlap strip of split pieces, mm.
  double overlap = 3;
  bool thread_safe = false;
};

class PrintJob {
 public:
  PrintJob(TovxPreviewPages& pages, TovxCustomPrinter& printer, PrintJobOptions options,
           PrintHost& host);

  // Draws one page; TovxPreviewPages::DrawPage unless replaced (tests
  // record where pages go).
  std::function<void(int index, Canvas& canvas, double scale_x, double scale_y, double offset_x,
                     double offset_y)>
      draw_page;

  // Runs the job: false when it failed (Error() says why); true when it
  // printed or the user cancelled it.
  [[nodiscard]] bool Run();
  const QString& Error() const { return error_; }
  bool Cancelled() const { return cancelled_; }
  // Sheets (join) or pages sent by the last mode routine.
  int PrintedCount() const { return printed_; }

 private:
  enum class Step { kContinue, kStop };

  bool RunMode();
  Step PageStep(qint64 position);
  Step SplitStep(qint64 position);
  void JoinRoutine();
  bool Terminated() const;
  void ProcessEvents();
  void ProgressStart();
  void Progress(int page);
  void ProgressStop();
  // Records the printer's error and stops the job.
  Step Fail(const QString& error);
  // Starts the job at the spooler once.
  bool EnsureStarted();
  // The page at a list position after the parity filter, or -1.
  int PageForStep(qint64 position) const;
  void FirePrintPage(TovxReportPage& page, int copy_no);
  int CopiesPerSheet() const { return options_.collate ? 1 : options_.copies; }
  int CopyNo() const { return options_.collate ? pass_ : 1; }
  int DuplexOf(const TovxReportPage& page) const;
  void Draw(int index, double scale_x, double scale_y, double offset_x, double offset_y);

  TovxPreviewPages& pages_;
  TovxCustomPrinter& printer_;
  PrintJobOptions options_;
  PrintHost& host_;
  QString error_;
  bool failed_ = false;
  bool cancelled_ = false;
  bool started_ = false;
  int printed_ = 0;
  int pass_ = 1;
  bool duplex_flip_ = false;
  // Settings of the previous sheet.
  int last_paper_ = 0;
  qint64 last_width_ = 0;
  qint64 last_height_ = 0;
  int last_bin_ = 0;
  int last_orientation_ = -1;
  int last_duplex_ = 0;
  bool last_rotated_ = false;
  std::set<int> seen_bins_;
};

// Prints `pages` with their report's print options; see the file comment.
// Throws ovx::Error for a page-number text that is not a list of numbers
// (before any sheet is sent, the options put back).
[[nodiscard]] bool PrintPages(TovxPreviewPages& pages);

// Makes TovxPreviewPages::Print run PrintPages and report pages take their
// default paper from the current printer. Call once at start-up.
void InstallPrinting();

}  // namespace ovx
