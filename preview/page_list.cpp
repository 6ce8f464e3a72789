#include "preview/page_list.h"

#include "base/rounding.h"

#include <algorithm>
#include <climits>

namespace {
// An A4 page at 96 pixels per inch, for indexes outside the list.
constexpr int kA4Width = 794;
constexpr int kA4Height = 1123;
}  // namespace

void TovxPageList::Clear() {
  pages_.clear();
  layout_width_ = 0;
  layout_height_ = 0;
}

void TovxPageList::AddPage(QSize size) {
  Page page;
  // Saturated: a damaged file may give a page of absurd size.
  page.width = std::max(0, ovx::RoundToInt(zoom_ * size.width()));
  page.height = std::max(0, ovx::RoundToInt(zoom_ * size.height()));
  pages_.push_back(page);
}

void TovxPageList::Layout(int width) {
  available_width_ = width;
  layout_width_ = 0;
  layout_height_ = 0;
  // 64-bit sums: many pages of saturated size must not wrap around.
  long long y = kGap;
  size_t row_start = 0;
  while (row_start < pages_.size()) {
    long long row_width = 0;
    size_t row_end = row_start;
    while (row_end < pages_.size()) {
      const long long page_width = pages_[row_end].width;
      if (row_end > row_start && row_width + page_width > width) break;
      row_width += page_width + kGap;
      ++row_end;
    }
    long long shift = (width - row_width + kGap) / 2;
    shift = shift < 0 ? kGap : shift + kGap;
    long long x = shift;
    int tallest = 0;
    for (size_t i = row_start; i < row_end; ++i) {
      Page& page = pages_[i];
      page.x = static_cast<int>(std::min<long long>(x, INT_MAX / 2));
      page.y = static_cast<int>(std::min<long long>(y, INT_MAX / 2));
      x += page.width + kGap;
      tallest = std::max(tallest, page.height);
    }
    layout_width_ = static_cast<int>(
        std::max<long long>(layout_width_, std::min<long long>(row_width, INT_MAX / 2)));
    y += tallest + kGap;
    row_start = row_end;
  }
  if (!pages_.empty()) {
    const Page& last = pages_.back();
    layout_height_ = static_cast<int>(
        std::min<long long>(static_cast<long long>(last.y) + last.height, INT_MAX / 2));
  }
}

int TovxPageList::FindPage(int y) const {
  if (pages_.empty()) return -1;
  // The tops never decrease and a row starts below the tallest page of the
  // row before, so the condition holds for a prefix of the pages (within a
  // row of unequal heights only nearly; the result is then a neighbour).
  int low = 0;
  int high = Count() - 1;
  int found = 0;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const Page& page = pages_[static_cast<size_t>(mid)];
    if (static_cast<long long>(page.y) <= static_cast<long long>(y) + page.height / 5) {
      found = mid;
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  return found;
}

int TovxPageList::FindPageAt(int x, int y) const {
  const int near = FindPage(y);
  if (near < 0) return -1;
  const int first = std::max(0, near - 20);
  const int last = std::min(Count() - 1, near + 20);
  for (int i = first; i <= last; ++i) {
    if (PageRect(i).contains(x, y)) return i;
  }
  return -1;
}

QRect TovxPageList::PageRect(int index) const {
  if (index < 0 || index >= Count()) {
    const int width = ovx::RoundToInt(kA4Width * zoom_);
    const int height = ovx::RoundToInt(kA4Height * zoom_);
    const int left = available_width_ > width ? (available_width_ - width) / 2 : kGap;
    return QRect(left, ovx::RoundToInt(kGap * zoom_), width, height);
  }
  const Page& page = pages_[static_cast<size_t>(index)];
  const int x = right_to_left_ ? available_width_ - page.width - page.x : page.x;
  return QRect(x, page.y, page.width, page.height);
}
