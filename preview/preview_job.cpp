// The rules of a print or an export run from the preview; see
// preview_job.h.
#include "preview/preview_job.h"

#include <algorithm>

namespace ovx {

bool PreviewJob::Begin(PreviewJobKind kind, int total_pages) {
  if (Busy() || kind == PreviewJobKind::kNone) return false;
  kind_ = kind;
  total_ = std::max(total_pages, 0);
  steps_ = 0;
  page_ = 0;
  cancel_ = false;
  close_pending_ = false;
  return true;
}

bool PreviewJob::End() {
  if (!Busy()) return false;
  kind_ = PreviewJobKind::kNone;
  const bool close = close_pending_;
  close_pending_ = false;
  cancel_ = false;
  return close;
}

bool PreviewJob::Step(int page) {
  if (!Busy()) return false;
  // The page goes out whatever; a cancel stops the run before the next.
  ++steps_;
  page_ = page;
  return !cancel_;
}

void PreviewJob::Cancel() {
  if (Busy()) cancel_ = true;
}

bool PreviewJob::RequestClose() {
  if (!Busy()) return true;
  close_pending_ = true;
  cancel_ = true;
  return false;
}

}  // namespace ovx
