// The engine: turns a report template into prepared pages.
//
// Design: this engine runs page-level reports, whose pages hold positioned
// views and no bands: each run of a report page starts a prepared page and
// copies every object of the page onto it once, through a temporary null
// band at the current y, firing each object's before-print and after-print
// events around its data cycle. Band trees, data-band loops, groups,
// keeping and splitting join later; a page's data bands are reached
// through RunDataBands, which does nothing yet.
//
// Passes: with DoublePass the whole report runs twice; the first pass only
// counts pages (TotalPages is 0 then) and is given back before the second.
// A run cancelled during the first pass keeps the pages made so far and
// does not start the second.
//
// Unless EnableThreadSafe is set, the engine lets Qt process pending events
// before every page so a progress window's cancel button works; with it,
// it never does, and Run may be called on a worker thread.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <functional>
#include <vector>

class TovxComponent;
class TovxNullBand;
class TovxPreviewPages;
class TovxReport;
class TovxReportPage;

class TovxEngine {
 public:
  TovxEngine(TovxReport& report, TovxPreviewPages& pages);
  TovxEngine(const TovxEngine&) = delete;
  TovxEngine& operator=(const TovxEngine&) = delete;

  // Prepares the report (or only `page`); false when it did not start.
  bool Run(bool run_dialogs = true, TovxReportPage* page = nullptr);
  bool Running() const { return running_; }
  // Stops the run at the next page or object.
  void StopReport();

  // --- published state --------------------------------------------------------
  int CurColumn() const { return cur_column_; }
  double CurX() const { return cur_x_; }
  double CurY() const { return cur_y_; }
  void SetCurY(double y) { cur_y_ = y; }
  bool DoublePass() const;
  bool FinalPass() const { return final_pass_; }
  double PageHeight() const { return page_height_; }
  double PageWidth() const { return page_width_; }
  QDate StartDate() const { return start_date_; }
  QTime StartTime() const { return start_time_; }
  int TotalPages() const { return total_pages_; }
  double FreeSpace() const;

  void AddAnchor(const QString& text);
  int GetAnchorPage(const QString& text) const;

  // --- hooks ----------------------------------------------------------------------
  // Calls a report-script procedure with the object as its argument; empty
  // until the report script runs (no script text is interpreted here).
  std::function<void(const QString& procedure, TovxComponent& object)> call_script;
  // Processes the window system's pending events (QCoreApplication's by default).
  std::function<void()> process_events;
  // The host's manual build of a page; when set it replaces the page's bands.
  std::function<void(TovxReportPage&)> on_manual_build;

 private:
  void RunPass(TovxReportPage* only);
  void RunPages(TovxReportPage* only);
  void RunReportPage(TovxReportPage& page);
  void RunPageContents(TovxReportPage& page);
  void StartFirstPage(TovxReportPage& page);
  void ShowNullBand(TovxNullBand& band, const std::vector<TovxComponent*>& objects);
  void ShowObject(TovxComponent& object, double band_top);
  void RunDataBands(TovxReportPage& page) {}
  void FireBeforePrint(TovxComponent& object);
  void FireAfterPrint(TovxComponent& object);
  void CallScript(const QString& procedure, TovxComponent& object);
  // Lets events run (unless thread-safe); answers whether the run goes on.
  bool KeepGoing();

  TovxReport& report_;
  TovxPreviewPages& pages_;
  bool running_ = false;
  bool final_pass_ = true;
  int total_pages_ = 0;
  int cur_column_ = 1;
  double cur_x_ = 0;
  double cur_y_ = 0;
  double page_height_ = 0;
  double page_width_ = 0;
  double previous_footer_height_ = 0;
  QDate start_date_;
  QTime start_time_;
  bool first_report_page_ = true;
};

namespace ovx {

// Makes every report prepare with this engine (call once at start-up).
void InstallEngine();
// The store and the engine of a report; null when no engine is installed.
TovxPreviewPages* PreparedPages(TovxReport& report);
TovxEngine* ReportEngine(TovxReport& report);

}  // namespace ovx
