// The pages a page-number text names: "1,3,5-12", "4-".
//
// The syntax is the print dialog's, shared by printing and export: blanks
// are ignored, items are separated by commas, "a-b" names a, a+1, ..., b
// (nothing when b < a), a trailing "a-" runs to the last page, and an empty
// text means every page. Items keep the order given and repeat when named
// twice ("1-3,2" prints page 2 twice).
//
// The text comes from users and files, so it is bounded here: ranges are
// clamped to the pages that exist and kept as ranges, never expanded, so
// "1-2000000000" costs one entry. Page numbers that do not exist select
// nothing and take no position, so a job never meets a hole in its list.
#pragma once

#include <QStringView>

#include <vector>

namespace ovx {

class PageRanges {
 public:
  // Every page of a report of `page_count` pages.
  explicit PageRanges(int page_count);
  PageRanges() : PageRanges(0) {}

  // Throws ovx::Error ("rsBadPageNumber") for an item that is not a whole
  // number that fits an int, an empty item included.
  static PageRanges Parse(QStringView text, int page_count);

  // The text was empty: every page, in order.
  bool All() const { return all_; }
  // The number of positions of the list (the page count when All).
  qint64 Count() const { return count_; }
  // The 0-based page index at `position` (0 <= position < Count()); -1
  // outside.
  int PageAt(qint64 position) const;
  // Whether page `index` (0-based) is named at least once.
  bool Contains(int index) const;

 private:
  struct Run {
    int first;  // 0-based page indexes, first <= last
    int last;
    qint64 start;  // the list position of `first`
  };

  void Add(qint64 first_number, qint64 last_number);

  bool all_ = true;
  int page_count_ = 0;
  qint64 count_ = 0;
  std::vector<Run> runs_;
};

}  // namespace ovx
