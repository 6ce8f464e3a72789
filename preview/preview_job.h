// A print or an export started from the preview, and what it forbids while
// it runs.
//
// Design: the run borrows the preview's store, so while it runs the
// preview changes no page, starts no second print or export, prepares and
// loads nothing, and a window that is asked to close waits for the run to
// end (and asks it to stop). These rules live here, apart from the
// widgets, so they are tested without a window; TovxPreview keeps one
// PreviewJob and consults it.
//
// Progress: the run reports the number of each page as it sends it (page
// N of M, M the pages of the store); a cancel asked for between two steps
// stops the run before its next page.
#pragma once

namespace ovx {

enum class PreviewJobKind { kNone, kPrint, kExport };

class PreviewJob {
 public:
  // Starts a run over `total_pages` pages; false (and nothing changes)
  // while another runs or for kNone.
  [[nodiscard]] bool Begin(PreviewJobKind kind, int total_pages);
  // Ends the run; answers whether a close of the window waited for it (the
  // window closes now).
  [[nodiscard]] bool End();

  bool Busy() const { return kind_ != PreviewJobKind::kNone; }
  PreviewJobKind Kind() const { return kind_; }
  // Page commands, a second run, preparing and loading are refused while
  // a run goes on.
  bool Allows() const { return !Busy(); }

  // Page `page` (1-based) is being sent. Answers whether the run may go
  // on: false once a cancel was asked for.
  [[nodiscard]] bool Step(int page);
  int Steps() const { return steps_; }
  int Page() const { return page_; }
  int Total() const { return total_; }

  // Asks the run to stop before its next page; ignored when idle.
  void Cancel();
  bool CancelRequested() const { return cancel_; }

  // The window around the preview is asked to close: true when it may
  // close now; while a run goes on, false, the close waits for End and the
  // run is asked to stop.
  [[nodiscard]] bool RequestClose();
  bool ClosePending() const { return close_pending_; }

 private:
  PreviewJobKind kind_ = PreviewJobKind::kNone;
  int total_ = 0;
  int steps_ = 0;
  int page_ = 0;
  bool cancel_ = false;
  bool close_pending_ = false;
};

}  // namespace ovx
