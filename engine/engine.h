// The engine: turns a report template into prepared pages.
//
// Design: each run of a report page starts a prepared page and copies the
// page's own objects (views placed on the page, outside bands) onto it
// once, through a temporary null band at the current y; they take no
// vertical space. A subreport among them runs its page from its place (a
// subreport's page shows its own objects there in turn). Then the page's data bands run over their
// data sets (engine_data.cpp): headers, groups, records, nested data bands, footers and counted
// child bands, each shown by ShowBand (engine_bands.cpp), which prepares the band (events, data,
// stretching, shifting), breaks the column or page when it does not fit and adds it to the store.
// Page starts, breaks and ends with their title, headers, footers, summary and overlay are in
// engine_pages.cpp. A band with AllowSplit, or one higher than the page, that does not fit is
// output in parts over columns and pages (engine_split.cpp); another band that does not fit even on
// a fresh page is placed whole there and runs over the page's end. Kept bands move together to the
// next column or page (engine_keep.cpp); data bands with several columns place their records side
// by side. Subreports run the bands of their own page inside their band or beside it
// (engine_subreports.cpp). Vertical bands fill the cells of a horizontal
// band across the page and the pages after it (engine_vertical.cpp).
//
// Run state: the band tree (band_tree.h), line counters, group values and
// the header list live here, keyed by band; the template is only read,
// except for the data cycle of the objects shown, whose saved state is put
// back on every exit path (a script or expression error that throws out of
// a band included). A band is never broken twice: when nothing but the
// reprinted headers was placed since the page or column started, it is
// placed even if it does not fit, so no template makes pages endlessly.
//
// Passes: with DoublePass the whole report runs twice; the first pass only
// counts pages (TotalPages is 0 then) and is given back before the second.
// A run cancelled during the first pass keeps the pages made so far and
// does not start the second.
//
// Unless EnableThreadSafe is set, the engine lets Qt process pending events
// before every page and data-band loop so a progress window's cancel
// button works; with it, it never does, and Run may be called on a worker
// thread.
#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <QTime>

#include "engine/aggregate_sink.h"
#include "engine/aggregates.h"
#include "engine/band_tree.h"
#include "engine/custom_engine.h"

#include <QVariant>

#include <functional>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TovxBand;
class TovxComponent;
class TovxDataBand;
class TovxDataSet;
class TovxGroupHeader;
class TovxNullBand;
class TovxPreviewPages;
class TovxReport;
class TovxReportComponent;
class TovxReportPage;
class TovxSubreport;
class TovxView;

class TovxEngine : public TovxCustomEngine {
 public:
  TovxEngine(TovxReport& report, TovxPreviewPages& pages);
  TovxEngine(const TovxEngine&) = delete;
  TovxEngine& operator=(const TovxEngine&) = delete;

  // Prepares the report (or only `page`); false when it did not start.
  bool Run(bool run_dialogs = true, TovxReportPage* page = nullptr);
  bool Running() const { return running_; }
  TovxReport& Report() const { return report_; }
  // Stops the run at the next page or object.
  void StopReport();

  // --- published state --------------------------------------------------------
  int CurColumn() const override { return cur_column_; }
  int CurVColumn() const override { return cur_v_column_; }
  int CurLine() const override { return cur_line_; }
  int CurLineThrough() const override { return cur_line_through_; }
  bool SecondScriptCall() const override { return second_script_call_; }
  double CurX() const override { return cur_x_; }
  void SetCurX(double x) override;
  double CurY() const override { return cur_y_; }
  void SetCurY(double y) override;
  bool DoublePass() const override;
  bool FinalPass() const override { return final_pass_; }
  double PageHeight() const override { return page_height_; }
  double PageWidth() const override { return page_width_; }
  QDate StartDate() const override { return start_date_; }
  QTime StartTime() const override { return start_time_; }
  int TotalPages() const override { return total_pages_; }
  // Height left on the page above the footers (1000000 on an endless page).
  double FreeSpace() const;
  // Column header plus page header with its child chain; column footer
  // plus page footer.
  double HeaderHeight() const;
  double FooterHeight() const;

  // --- output -----------------------------------------------------------------
  // Shows a band and its child chain at the current position (nothing for
  // null or outside a run).
  void ShowBand(TovxBand* band);
  void NewPage();
  void NewColumn();

  void AddAnchor(const QString& text);
  int GetAnchorPage(const QString& text) const;

  // --- drill-down groups ----------------------------------------------------------
  // A group header with DrillDown shows its records only while its group
  // is expanded: its run-time DrillName (the header's name, a dot and the
  // group's value) is in this list. ExpandDrillDown lists an instance the
  // first time a run meets it. The list outlives preparations, so a
  // preview can toggle a name and prepare again; ClearDrillDown forgets it.
  const QSet<QString>& ExpandedDrillGroups() const { return drill_expanded_; }
  // Adds the name when absent, else removes it.
  void ToggleDrillGroup(const QString& name);
  void ClearDrillDown();

  // --- hooks ----------------------------------------------------------------------
  // Calls a report-script procedure with the object as its argument; empty
  // until the report script runs (no script text is interpreted here).
  std::function<void(const QString& procedure, TovxComponent& object)> call_script;
  // Calls the report's OnRunDialogs procedure with a Result argument that
  // starts true; false cancels the run. Empty: dialogs never stop a run.
  std::function<bool(const QString& procedure)> call_run_dialogs;
  // Processes the window system's pending events (QCoreApplication's by default).
  std::function<void()> process_events;
  // The host's manual build of a page; when set it replaces the page's bands.
  std::function<void(TovxReportPage&)> on_manual_build;
  // Asked when every page of the report has run: the host may append
  // further report pages and answers whether it did. A host that makes its
  // pages one by one (the typesetter) so has the first page shown long
  // before the last is made. Not asked by a run of a single page, nor once
  // the run is cancelled.
  std::function<bool()> more_pages;
  // The text of a resource name in the band-tree, data set and subreport
  // errors.
  ovx::ResourceTextLookup resource_text = &ovx::EngineText;
  // The aggregate calls of the report's pages, collected at each run.
  TovxAggregateList& Aggregates() { return aggregate_list_; }
  // The value of an aggregate call printed in the band being shown (Null
  // when no collected call matches); `band` names the data band, if any.
  QVariant AggregateValue(const QString& function, const QString& expression,
                          TovxBand* band = nullptr, int flags = 0);
  // Evaluates now a view of the running report whose Processing is
  // paCustom and that waits in the post-processor (the script procedure
  // ProcessObject); false for any other view.
  bool ProcessObject(TovxView* view);
  // The store the engine fills, with its post-processor.
  TovxPreviewPages& Pages() const { return pages_; }
  // Deferred objects told of the points of a run (not owned); none does
  // nothing.
  void SetAggregates(ovx::AggregateSink* aggregates) {
    aggregates_ = aggregates ? aggregates : &no_aggregates_;
  }

 private:
  // Where output stands on the current page: objects, y, the last anchor
  // and the outline items added.
  struct OutputMark {
    int position = 0;
    double y = 0;
    int anchor = -1;
    int outline = 0;
  };
  struct BandRun {
    int line = 1;
    int line_through = 1;
    // A data band of several columns: the column of the next record, the
    // column of the last one, and the row they share.
    int column = 1;
    int placed_column = 1;
    double row_top = 0;
    double row_bottom = 0;
    int row_page = -1;
    int row_position = 0;
    // With detail bands the next column waits until the record's details
    // are out, below the record in its column.
    bool details_in_column = false;
    bool next_column_due = false;
    int row_anchor = -1;
    int row_outline = 0;
  };
  struct GroupRun {
    QVariant value;
    int line = 1;
    int line_through = 1;
    int rows = 0;  // records of the data band shown in this group
    bool outlined = false;
    bool collapsed = false;  // a drill-down group not expanded
    QString drill_name;      // of the group shown now, for a drill-down header
  };
  // Writes a band to the current page; a drill-down header carries the
  // DrillName of its group there (the template keeps its own value).
  void AddBandToPage(TovxBand& band, double offset_y,
                     const std::vector<TovxComponent*>* part = nullptr);
  // Whether one of the first `count` groups of the band's run is collapsed.
  bool GroupsCollapsed(TovxDataBand& band, size_t count);
  struct HeaderItem {
    TovxBand* band;
    double x;
  };
  // engine.cpp
  bool Initialize(TovxReportPage* only);
  // The band tree of one page, with the checks of its data sets.
  void SetUpPage(TovxReportPage& page, QStringList& errors);
  // Asks more_pages and sets up the pages it appended; answers whether the
  // run goes on with them.
  bool TakeMorePages();
  void OpenDataSets(TovxReportPage* only);
  void OpenDataSets(std::vector<TovxDataSet*> used);
  void CloseDataSets();
  void RestoreSavedObjects();
  void RunPass(TovxReportPage* only);
  void RunPages(TovxReportPage* only);
  void RunReportPage(TovxReportPage& page);
  void RunPageContents(TovxReportPage& page);
  void ShowPageObjects(TovxReportPage& page, double x);
  void ShowNullBand(TovxNullBand& band, const std::vector<TovxComponent*>& objects);
  void ShowObject(TovxComponent& object, double band_x, double band_top);
  void FireBeforePrint(TovxComponent& object);
  void FireAfterPrint(TovxComponent& object);
  void CallScript(const QString& procedure, TovxComponent& object);
  // Lets events run (unless thread-safe); answers whether the run goes on.
  bool KeepGoing();

  // engine_bands.cpp
  // False when a counted child found the page full and stopped.
  bool ShowOneBand(TovxBand& band);
  double PrepareBand(TovxBand& band);
  void FinishBand(TovxBand& band);
  void SaveState(TovxReportComponent& object);
  void RestoreState(TovxReportComponent& object);
  void StretchAndShift(TovxBand& band);
  bool IsCountedChild(const TovxBand& band) const;
  // Whether nothing but reprinted headers was placed since the page or
  // column started.
  bool AtBodyStart() const;
  // A data band of several columns: places the record's column before it
  // is added, and moves on to the next column or row after.
  void PlaceInColumn(TovxDataBand& band, const OutputMark& before);
  void NextDataColumn(TovxDataBand& band);
  // Closes a row of records that did not fill all columns.
  void FinishDataRow(TovxDataBand& band);
  // Post-processor notifications and aggregate resets after a shown band.
  void NotifyFinished(TovxBand& band);
  // Tells the deferred objects that a point of the run is reached, with
  // `band` (when given) as the current band.
  void NotifyEvent(TovxProcessAtMode event, TovxBand* band);
  // Data levels of the post-processor around a data band's records.
  struct DataLevel {
    TovxPreviewPages& pages;
    explicit DataLevel(TovxPreviewPages& p);
    ~DataLevel();
  };
  // Outputs a band that does not fit in parts, one per column or page.
  void SplitBand(TovxBand& band);
  void ShowChain(TovxBand* band);

  // engine_keep.cpp
  OutputMark MarkOutput() const;
  // Keeps what is added from here (or from an earlier mark on the current
  // page) together with the bands that follow, until EndKeep for `band`.
  void StartKeep(TovxBand* band, const OutputMark* from = nullptr);
  void EndKeep(const TovxBand* band);
  void DropKeep();
  bool KeptPartFits(double height) const;
  // Before a break: cuts the kept objects from the page; false when there
  // is no keep, or it no longer fits a page and was dropped.
  bool CutKept();
  // After a break: the cut objects, their outline items and anchors at the
  // current position.
  void PasteKept();

  // engine_subreports.cpp
  // Copies of objects the engine makes during a run; the store forgets
  // them as they go.
  struct CopyDeleter {
    TovxPreviewPages* pages;
    void operator()(TovxComponent* object) const;
  };
  using Copy = std::unique_ptr<TovxComponent, CopyDeleter>;
  Copy CopyObject(const TovxComponent& object);
  // The visible subreports among `objects` that show a page, printed on
  // their parent or not.
  static std::vector<TovxSubreport*> SubreportsOf(const std::vector<TovxComponent*>& objects,
                                                  bool on_parent);
  // Subreports printed on their parent: their output becomes objects of
  // `band`, placed at their positions inside it. Answers the lowest bottom.
  double RunSubreportsOnParent(TovxBand& band);
  // Runs subreports printed on their parent (`band`, if any, is theirs);
  // answers their output, placed relative to the parent's corner.
  std::vector<Copy> CollectSubreports(TovxBand* band,
                                      const std::vector<TovxSubreport*>& subreports);
  // The other subreports of a band shown at `x`, `top` on page `page`;
  // the run goes on at the furthest position any of them reached.
  void RunSubreportsBeside(TovxBand& band, int page, double x, double top);
  void RunSubreportsBeside(TovxBand* band, const std::vector<TovxSubreport*>& subreports, int page,
                           double x, double top);
  // Runs the bands of a subreport's page at the current position; false
  // when it is refused (its page already runs further up).
  bool RunSubreportPage(TovxSubreport& subreport);
  // Whether `band` is output with more or fewer objects than its own.
  bool HasOtherOutput(const TovxBand& band) const;
  // The objects `band` is output with: its own but subreports, and the
  // objects placed on it during this preparation.
  std::vector<TovxComponent*> OutputObjects(const TovxBand& band) const;
  // Output into the collector of a subreport printed on its parent.
  void CollectBand(const TovxBand& band, double x);
  bool Collecting() const { return !collectors_.empty(); }
  // Where output stands and the state of the page it stands on.
  struct PagePosition {
    int page, column;
    double y, x, page_x, first_column_y, previous_footer_height;
    bool first_page, footer_on_page, column_footer_shown, title_above_body;
    int body_page, body_position, body_column;
    TovxBand* last_band_on_page;
  };
  PagePosition TakePosition() const;
  void PutPosition(const PagePosition& position);

  // engine_vertical.cpp
  // A horizontal band holding cells of vertical bands becomes the master
  // band: the vertical bands run across the page, record by record, and
  // each shown vertical band adds copies of its cells to the master band.
  void RunVerticalBands(TovxBand& band);
  void RunVerticalDataBands(const std::vector<TovxDataBand*>& bands, int depth);
  void ShowVerticalBand(TovxBand& band);
  // The groups of a vertical data band: headers from group `from` on, and
  // footers innermost first down to group `down_to`.
  void ShowVerticalGroupHeaders(TovxDataBand& band, size_t from, bool first_record);
  void ShowVerticalGroupFooters(TovxDataBand& band, size_t down_to);
  void RemoveVerticalHeader(const TovxBand* band);
  // Stores the master band stretch by stretch, each on its page across.
  void StoreVerticalStretches(TovxBand& band);
  bool IsCell(const TovxComponent& object) const;

  // engine_pages.cpp
  void StartFirstPage(TovxReportPage& page);
  void StartNewPage(bool show_headers);
  void EndPage();
  // An endless page gets the size it used (its printable height grows or
  // shrinks to its contents and the page footer of `footer_height` that
  // follows them), in the store too.
  void FitEndlessPage(double footer_height);
  void AddHeader(TovxBand* band);
  void RemoveHeader(const TovxBand* band);
  void ShowHeaders(bool page_start);
  void AddPageOutline();
  double ColumnPosition(int column) const;
  void MarkBodyStart();
  void ShowColumnFooter();

  // engine_data.cpp
  void RunDataBands(const std::vector<TovxDataBand*>& bands);
  void RunDataBand(TovxDataBand& band, TovxDataSet& data_set);
  void RunCountedChild(TovxDataBand& band, int rows);
  // The detail bands of a record of a data band of several columns, in the
  // record's column; then the next column.
  void RunColumnDetails(TovxDataBand& band, const std::vector<TovxDataBand*>& details);
  void MoveRowBeforeDetails(TovxDataBand& band);
  bool PassesFilter(TovxDataBand& band);
  bool HasDetailData(TovxDataBand& band, int depth = 0);
  bool PageHasData(TovxReportPage& page);
  void ShowGroupHeaders(TovxDataBand& band, size_t from, bool first_record);
  void StartGroupLine(GroupRun& run, bool first_record, bool changed);
  // Vertical: the groups of a vertical data band, across the page.
  void CheckGroups(TovxDataBand& band, TovxDataSet& data_set, bool vertical = false);
  void ShowGroupFooters(TovxDataBand& band, size_t down_to);
  bool AddOutline(TovxBand& band);
  void ShowKeptFooter(TovxDataBand& band, int page, const OutputMark& record);

  TovxReport& report_;
  TovxPreviewPages& pages_;
  bool running_ = false;
  bool final_pass_ = true;
  int total_pages_ = 0;
  int cur_column_ = 1;
  int cur_v_column_ = 0;
  int cur_line_ = 0;
  int cur_line_through_ = 0;
  bool second_script_call_ = false;
  double cur_x_ = 0;
  double cur_y_ = 0;
  double page_height_ = 0;
  double page_width_ = 0;
  double page_x_ = 0;
  double first_column_y_ = 0;
  double previous_footer_height_ = 0;
  QDate start_date_;
  QTime start_time_;
  bool first_report_page_ = true;

  // --- run state ------------------------------------------------------------------
  std::unordered_map<const TovxReportPage*, ovx::BandTree> trees_;
  const ovx::BandTree* tree_ = nullptr;
  TovxReportPage* page_ = nullptr;
  std::unordered_map<const TovxBand*, BandRun> band_runs_;
  std::unordered_map<const TovxGroupHeader*, GroupRun> group_runs_;
  QSet<QString> drill_expanded_;
  QSet<QString> drill_met_;
  std::vector<HeaderItem> headers_;
  // Objects whose data cycle began and has not ended, in order.
  std::vector<TovxReportComponent*> saved_;
  // How many data cycles each object saved by SaveState is in.
  std::unordered_map<const TovxReportComponent*, int> active_;
  // Where each band being prepared starts in saved_.
  std::vector<size_t> band_marks_;
  double last_band_height_ = 0;
  std::vector<TovxDataSet*> opened_;
  TovxBand* current_band_ = nullptr;
  TovxBand* last_band_on_page_ = nullptr;
  TovxBand* start_new_page_band_ = nullptr;
  bool is_first_page_ = false;
  bool is_last_page_ = false;
  bool summary_shown_ = false;
  bool in_page_start_ = false;
  bool in_end_page_ = false;
  bool footer_on_page_ = false;
  bool column_footer_shown_ = false;
  bool break_band_tree_ = false;
  // The object count and y where the current page or column's own bands
  // begin (after its headers): nothing placed since means a fresh page.
  int body_start_position_ = -1;
  int body_start_page_ = -1;
  int body_start_column_ = 0;
  struct Keep {
    TovxBand* band = nullptr;  // null: not keeping
    double y = 0;
    int position = 0;
    int page = -1;
    int column = 1;
    int anchor = -1;
    int outline = 0;
  };
  Keep keep_;
  // Bands that belong to a page's frame (headers, footers, overlay) added
  // to a page and column: a page reached again (a second subreport beside
  // the first) does not get them twice.
  std::set<std::tuple<const TovxBand*, int, int>> frame_bands_;
  // The tree whose data bands run: the page's own, or a subreport's.
  const ovx::BandTree* data_tree_ = nullptr;
  // Pages running now, outermost first (the report page, then subreports).
  std::vector<const TovxReportPage*> running_pages_;
  // Subreports refused this run (reported once each).
  std::unordered_set<const TovxSubreport*> refused_;
  // Where the output of subreports printed on their parent goes.
  std::vector<std::vector<Copy>> collectors_;
  // Per band being prepared: whether it holds subreports, and the objects
  // placed on it.
  struct BandExtras {
    bool subreports = false;
    std::vector<Copy> placed;
    // A vertical master band: where in `placed` each page across begins,
    // and where the last one ends.
    std::vector<size_t> splits;
    // On an endless-width page: the width each page across used.
    std::vector<double> widths;
  };
  std::unordered_map<const TovxBand*, BandExtras> extras_;
  // The vertical master band while it is shown, and the vertical headers
  // shown again on every page across.
  TovxBand* vertical_master_ = nullptr;
  std::vector<TovxBand*> vertical_headers_;
  bool in_vertical_headers_ = false;
  // The page the page's own objects were placed on, and their lowest
  // bottom there.
  int page_objects_page_ = -1;
  double page_objects_bottom_ = 0;
  // The page ended last in this pass, and where its columns started.
  int ended_page_ = -1;
  // The last page a report page printed on the previous page went on from.
  int continued_page_ = -1;
  double ended_first_column_y_ = 0;
  // Whether the report title lies between the page's top and the body.
  bool title_above_body_ = false;
  ovx::AggregateSink no_aggregates_;
  ovx::AggregateSink* aggregates_ = &no_aggregates_;
  TovxAggregateList aggregate_list_{report_};
  // The data band whose footer the current keep holds with its last row.
  TovxDataBand* KeptFooterOwner() const;
};

namespace ovx {

// Makes every report prepare with this engine (call once at start-up);
// without report scripts (see InstallScripting in report_script.h).
void InstallEngine();
// The store and the engine of a report; null when no engine is installed.
TovxPreviewPages* PreparedPages(TovxReport& report);
TovxEngine* ReportEngine(TovxReport& report);

}  // namespace ovx
