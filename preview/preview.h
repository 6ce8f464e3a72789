// The preview control: prepared pages on a grey ground, with zoom,
// scrolling, page navigation, outline and thumbnail panes, tabs, text
// search and the commands of the preview window.
//
// Design: the control borrows a report and its prepared pages store (or
// owns them for detail tabs, see preview_tabs.h) and shows them through two
// workspaces, the pages and the thumbnails. It never keeps a rebuilt page
// across a return to the event loop: pages are asked of the store again
// whenever they are drawn, measured or searched, so a store that changes (a
// new preparation, a loaded file, a changed page) is never read through a
// stale pointer. What it keeps are pictures of pages (see
// preview_workspace.h), dropped by every command that changes pages.
//
// Preparation runs on the user-interface thread (Prepare): the engine lets
// the event loop run between pages, and the control follows it through the
// report's progress callbacks, showing the first pages at once. Meanwhile
// page commands are ignored; Cancel asks the engine to stop at the next
// page. Whoever closes a window around the control waits until Running()
// is false, so the engine never writes into a store that was freed.
//
// Failures of commands (a file that does not load, a failed export) are
// shown through `show_error`, notices through `show_message`; both are
// message boxes unless a host or a test replaces them.
#pragma once

#include "base/color.h"
#include "engine/preview_pages.h"
#include "preview/page_search.h"
#include "preview/preview_job.h"
#include "preview/preview_tabs.h"
#include "report/model/report_options.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QLabel;
class QPushButton;
class QSplitter;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;
class TovxComponent;
class TovxHyperlink;
class TovxCustomExportFilter;
class TovxPreviewWorkspace;
class TovxProgress;
class TovxReport;

class TovxPreview : public QWidget {
  Q_OBJECT

 public:
  // Width of the left panes' splitter handle; height of the tab strip.
  static constexpr int kSplitterWidth = 4;
  static constexpr int kTabHeight = 22;
  // Pages added to the view at once while a preparation runs.
  static constexpr int kPagesShownAtOnce = 50;

  explicit TovxPreview(QWidget* parent = nullptr);
  ~TovxPreview() override;

  // Binds a report and its store (the first tab); null for both shows
  // nothing. Neither is owned.
  void Init(TovxReport* report, TovxPreviewPages* pages);
  TovxReport* Report() const { return report_; }
  TovxPreviewPages* PreviewPages() const { return pages_; }

  // --- navigation (1-based; ignored while preparing or without pages) ------------------
  int PageNo() const { return page_no_; }
  void SetPageNo(int page_no);
  void First();
  void Prior();
  void Next();
  void Last();
  // The store's page count; 0 without a store.
  int PageCount() const;
  // Shows `top` (report units from the page's top margin) of page
  // `page_no`, as outline items and anchors ask.
  void GoToPosition(int page_no, int top);

  // --- zoom -----------------------------------------------------------------------------
  double Zoom() const { return zoom_; }
  // Clamped to the zoom limits; sets the zoom mode to zmDefault.
  void SetZoom(double zoom);
  TovxZoomMode ZoomMode() const { return zoom_mode_; }
  void SetZoomMode(TovxZoomMode mode);

  // --- panes and looks --------------------------------------------------------------------
  bool OutlineVisible() const { return outline_visible_; }
  // Showing the outline hides the thumbnails and the other way round.
  void SetOutlineVisible(bool visible);
  int OutlineWidth() const { return outline_width_; }
  void SetOutlineWidth(int width);
  bool ThumbnailVisible() const { return thumbnail_visible_; }
  void SetThumbnailVisible(bool visible);
  ovx::Color BackColor() const;
  void SetBackColor(ovx::Color color);
  ovx::Color FrameColor() const;
  void SetFrameColor(ovx::Color color);
  ovx::Color ActiveFrameColor() const;
  void SetActiveFrameColor(ovx::Color color);
  bool UseReportHints() const { return use_report_hints_; }
  void SetUseReportHints(bool on) { use_report_hints_ = on; }
  bool EachReportInTab() const { return each_report_in_tab_; }
  void SetEachReportInTab(bool on) { each_report_in_tab_ = on; }
  bool HighlightEditable() const;
  void SetHighlightEditable(bool on);

  // --- commands -----------------------------------------------------------------------------
  // Prints through the installed print module (false without one, or
  // while another run goes on). The print job's progress shows in the
  // progress window (page N of M) and the view is locked until it ends.
  bool Print();
  // Through the save dialog; false when cancelled, ignored or failed (the
  // failure shown).
  bool SaveToFile();
  // Throws ovx::Error when the file cannot be written; false while a
  // preparation runs (nothing is written then).
  [[nodiscard]] bool SaveToFile(const QString& file_name);
  // Through the open dialog; false when cancelled, ignored or failed.
  bool LoadFromFile();
  // Throws ovx::Error (after unfreezing the view) when the file cannot be
  // read; a damaged entry that was skipped is shown, not thrown. False
  // while a preparation runs (nothing is read then).
  [[nodiscard]] bool LoadFromFile(const QString& file_name);
  // Exports with the current page as the page of "current page" ranges;
  // the view is locked while the export runs, as while printing.
  bool Export(TovxCustomExportFilter& filter);
  // The search dialog, then the first occurrence.
  void Find();
  // Starts a search without the dialog (from the first page, or the
  // current one) and finds the first occurrence.
  bool Find(const QString& text, bool case_sensitive, bool from_first_page);
  // The next occurrence; without one, "clStrNotFound" is shown. Answers
  // whether it found one.
  bool FindNext();
  ovx::PageTextSearch& Search() { return search_; }
  void PageSetupDialog();
  // Editing pages needs the designer, which is not part of the program yet.
  bool Edit();
  // Inserts an empty page after the current one; deletes the current page.
  void AddPage();
  void DeletePage();
  // Stops a running preparation, print or export at its next page.
  void Cancel();
  // The window around the control wants to close: true when it may now;
  // else the run is asked to stop and the window waits for
  // RunningChanged(false).
  bool RequestClose();
  // Prepares the report again and comes back to the same place.
  void RefreshReport();
  // Expands a collapsed drill-down group, or collapses an expanded one, and
  // prepares the report again; answers whether it did.
  bool ToggleDrillGroup(const QString& drill_name);
  void Lock();
  void Unlock();
  void ShowMessage(const QString& text);
  void HideMessage();
  bool MessageVisible() const;

  // --- preparation ---------------------------------------------------------------------------
  // Prepares the report in this control; answers whether pages were made.
  bool Prepare(bool clear_last_report);
  bool Running() const { return running_; }
  // A preparation, a print or an export runs: the store is in use, page
  // commands are ignored and a window closing around the control waits.
  bool Busy() const { return running_ || job_.Busy(); }
  const ovx::PreviewJob& Job() const { return job_; }
  // The progress window of the running print or export; null otherwise.
  TovxProgress* JobProgress() const { return job_progress_; }
  // The page count shown so far (it lags behind the store while preparing).
  int ShownPageCount() const;
  // Called by the report's progress callbacks while Prepare runs.
  void ProgressStart();
  void ProgressPage(int page_number);
  void ProgressStop();

  // --- tabs ------------------------------------------------------------------------------------
  TovxPreviewTabs& Tabs() { return tabs_; }
  int CurrentTab() const { return current_tab_; }
  void SwitchTab(int index);
  void CloseTab(int index);
  // Opens a tab on another report and store (owned when `owned`), or
  // selects the tab already open under `name`.
  void AddTab(std::unique_ptr<TovxPreviewTabs::Tab> tab);

  // --- parts, for the window and tests ---------------------------------------------------------
  TovxPreviewWorkspace* Workspace() const { return workspace_; }
  TovxPreviewWorkspace* ThumbnailWorkspace() const { return thumbnails_; }
  QTreeWidget* OutlineTree() const { return outline_; }
  QTabBar* TabBar() const { return tab_bar_; }

  // Called by the workspaces.
  bool HandleKey(QKeyEvent* event);
  void HandleWheelZoom(int notches);
  // Answers whether an object with a link is under the mouse.
  bool HandleMouse(int page_index, TovxPreviewPages::MouseEvent kind, QPoint in_page,
                   QPoint global);
  void LeavePages();

  std::function<void(const QString&)> show_error;
  std::function<void(const QString&)> show_message;
  // Problems an export or print recorded while it still succeeded (a font
  // written as it was, damaged), shown once the run is over.
  std::function<void(const QString&)> show_warning;

 signals:
  void PageChanged(int page_no);
  void PageCountChanged(int page_count);
  void ZoomChanged();
  void RunningChanged(bool running);
  // During the first pass of a two-pass run: pages so far.
  void FirstPassProgress(int pages);
  // The hyperlink value and hint of the object under the mouse.
  void ObjectHovered(const QString& hyperlink, const QString& hint);
  // A prepared report was loaded from a file.
  void ReportLoaded();
  // The panes were shown or hidden.
  void PanesChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Rebuilds both page lists for the zoom (mode) and the pages shown.
  void UpdatePages();
  void ApplyZoomMode();
  void GoToPage(int page_no, bool scroll);
  void OnPagesScrolled();
  void OnWorkspaceResized();
  void BuildOutline();
  void UpdatePanes();
  void SizePanes();
  void UpdateTabBar();
  void SaveViewState(TovxPreviewTabs::Tab& tab);
  void Bind(TovxReport* report, TovxPreviewPages* pages);
  void FollowLink(TovxComponent* object);
  void OpenDetailReport(const TovxHyperlink& link);
  void OpenDetailPage(const TovxHyperlink& link);
  void Fail(const QString& text);
  void PlaceMessage();
  bool PageCommandsAllowed() const;
  // Runs a print or an export under the job's rules with its progress
  // window; failures are shown, never thrown.
  bool RunJob(ovx::PreviewJobKind kind, const std::function<bool()>& run);
  bool ButtonAllowed(TovxPreviewButton button) const;

  TovxReport* report_ = nullptr;
  TovxPreviewPages* pages_ = nullptr;
  int page_no_ = 0;
  double zoom_ = 1;
  TovxZoomMode zoom_mode_ = TovxZoomMode::zmDefault;
  bool outline_visible_ = false;
  int outline_width_ = 120;
  bool thumbnail_visible_ = false;
  bool use_report_hints_ = true;
  bool each_report_in_tab_ = false;
  bool setting_page_ = false;
  bool panes_sized_ = false;

  // Preparation state.
  bool running_ = false;
  bool refreshing_ = false;
  int shown_pages_ = 0;
  int refresh_interval_ = 20;
  QElapsedTimer first_page_time_;

  // Print and export state.
  ovx::PreviewJob job_;
  TovxProgress* job_progress_ = nullptr;

  ovx::PageTextSearch search_;
  TovxPreviewTabs tabs_;
  int current_tab_ = -1;
  int lock_count_ = 0;

  QTabBar* tab_bar_;
  QSplitter* splitter_;
  QWidget* left_pane_;
  QTreeWidget* outline_;
  TovxPreviewWorkspace* thumbnails_;
  TovxPreviewWorkspace* workspace_;
  QWidget* message_panel_;
  QLabel* message_label_;
  QPushButton* message_cancel_;
};
