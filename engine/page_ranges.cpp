#include "engine/page_ranges.h"

#include "base/error.h"

#include <QString>

#include <algorithm>

namespace ovx {
namespace {

// A whole number of decimal digits that fits an int.
int PageNumber(QStringView item, QStringView text) {
  bool ok = !item.isEmpty() &&
            std::all_of(item.begin(), item.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  const int number = ok ? item.toInt(&ok) : 0;
  if (!ok) {
    throw Error(QStringLiteral("rsBadPageNumber"),
                QStringLiteral("\"%s\" in the page numbers \"%s\" is not a page number"),
                {item.toString(), text.toString()});
  }
  return number;
}

}  // namespace

PageRanges::PageRanges(int page_count) : page_count_(std::max(page_count, 0)) {
  count_ = page_count_;
}

PageRanges PageRanges::Parse(QStringView text, int page_count) {
  PageRanges ranges(page_count);
  QString compact;
  compact.reserve(text.size());
  for (QChar c : text) {
    if (!c.isSpace()) compact += c;
  }
  if (compact.isEmpty()) return ranges;
  if (compact.endsWith(u'-')) compact += QString::number(ranges.page_count_);

  ranges.all_ = false;
  ranges.count_ = 0;
  // Every item is read before anything is kept, so a bad item anywhere
  // stops the whole text, as it would stop a job before its first sheet.
  for (QStringView item : QStringView(compact).split(u',')) {
    const qsizetype dash = item.indexOf(u'-');
    if (dash >= 0) {
      ranges.Add(PageNumber(item.left(dash), text), PageNumber(item.mid(dash + 1), text));
    } else {
      const int page = PageNumber(item, text);
      ranges.Add(page, page);
    }
  }
  return ranges;
}

void PageRanges::Add(qint64 first_number, qint64 last_number) {
  first_number = std::max<qint64>(first_number, 1);
  last_number = std::min<qint64>(last_number, page_count_);
  if (last_number < first_number) return;
  runs_.push_back({static_cast<int>(first_number - 1), static_cast<int>(last_number - 1), count_});
  count_ += last_number - first_number + 1;
}

int PageRanges::PageAt(qint64 position) const {
  if (position < 0 || position >= count_) return -1;
  if (all_) return static_cast<int>(position);
  // The run holding `position`: the last whose start is not after it.
  const auto it = std::upper_bound(runs_.begin(), runs_.end(), position,
                                   [](qint64 p, const Run& run) { return p < run.start; });
  const Run& run = *(it - 1);
  return run.first + static_cast<int>(position - run.start);
}

bool PageRanges::Contains(int index) const {
  if (index < 0 || index >= page_count_) return false;
  if (all_) return true;
  return std::any_of(runs_.begin(), runs_.end(),
                     [index](const Run& run) { return index >= run.first && index <= run.last; });
}

}  // namespace ovx
