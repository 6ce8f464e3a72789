#include "preview/page_search.h"

#include "base/error.h"
#include "engine/page_recording.h"
#include "engine/preview_pages.h"

namespace ovx {

std::vector<PageTextRecord> RecordPageText(TovxPreviewPages& pages, int index) {
  if (index < 0 || index >= pages.Count()) return {};
  Metafile metafile;
  try {
    metafile = RecordPreparedPage(pages, index);
  } catch (const Error&) {
    // A page of no size has nothing to find.
    return {};
  }
  std::vector<PageTextRecord> records;
  for (RecordedTextRun& run : RecordedTextRuns(metafile.bytes)) {
    records.push_back({std::move(run.text), run.bounds});
  }
  return records;
}

void PageTextSearch::Start(const QString& text, bool case_sensitive, int first_page) {
  text_ = text;
  upper_text_ = text.toUpper();
  case_sensitive_ = case_sensitive;
  page_ = first_page < 0 ? 0 : first_page;
  record_ = -1;
  current_.reset();
}

bool PageTextSearch::Matches(const QString& text) const {
  return case_sensitive_ ? text.contains(text_) : text.toUpper().contains(upper_text_);
}

std::optional<PageTextSearch::Hit> PageTextSearch::FindNext(TovxPreviewPages& pages) {
  if (text_.isEmpty()) return std::nullopt;
  for (int page = page_; page < pages.Count(); ++page) {
    if (page != kept_page_) {
      kept_records_ = record(pages, page);
      kept_page_ = page;
    }
    const int first = page == page_ ? record_ + 1 : 0;
    for (int i = first; i < static_cast<int>(kept_records_.size()); ++i) {
      const PageTextRecord& found = kept_records_[static_cast<size_t>(i)];
      if (!Matches(found.text)) continue;
      page_ = page;
      record_ = i;
      current_ = Hit{page, found.bounds};
      return current_;
    }
  }
  return std::nullopt;
}

void PageTextSearch::Invalidate() {
  kept_page_ = -1;
  kept_records_.clear();
}

}  // namespace ovx
