// Finding text in prepared pages, as the preview's find and find-next do.
//
// Design: a page is searched as it is drawn. It is recorded at scale 1 as
// an enhanced metafile and its text-output records are walked in drawing
// order; every record whose
// text contains the search text is one occurrence, with the record's bounds
// as the area to show. The search remembers the page and record of the last
// find, so find-next continues after it, on the same page and then on the
// following pages. The records of the page searched last are kept, so
// stepping through one page records it once.
#pragma once

#include <QRect>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class TovxPreviewPages;

namespace ovx {

// One text output of a recorded page; bounds in pixels at 96 per inch
// relative to the page's top-left paper corner.
struct PageTextRecord {
  QString text;
  QRect bounds;
};

// The text records of page `index` (0-based) drawn at scale 1, in drawing
// order; empty outside the pages.
std::vector<PageTextRecord> RecordPageText(TovxPreviewPages& pages, int index);

class PageTextSearch {
 public:
  struct Hit {
    int page = -1;  // 0-based
    QRect bounds;   // as PageTextRecord::bounds
  };

  // Starts a new search at page `first_page` (0-based), before its first
  // record. An empty text finds nothing.
  void Start(const QString& text, bool case_sensitive, int first_page);
  bool Active() const { return !text_.isEmpty(); }
  const QString& Text() const { return text_; }
  bool CaseSensitive() const { return case_sensitive_; }

  // The next record containing the text after the last find; nullopt when
  // there is none up to the last page (the position then stays where it
  // was, so asking again answers the same).
  std::optional<Hit> FindNext(TovxPreviewPages& pages);
  // The last find, if the search found anything yet.
  std::optional<Hit> Current() const { return current_; }

  // Forgets the kept records (the pages changed).
  void Invalidate();

  // Replaces the page recorder (tests count the pages recorded).
  std::function<std::vector<PageTextRecord>(TovxPreviewPages&, int)> record = RecordPageText;

 private:
  bool Matches(const QString& text) const;

  QString text_;
  QString upper_text_;
  bool case_sensitive_ = false;
  int page_ = 0;
  int record_ = -1;  // the last found record on page_, -1 before the first
  std::optional<Hit> current_;
  int kept_page_ = -1;
  std::vector<PageTextRecord> kept_records_;
};

}  // namespace ovx
