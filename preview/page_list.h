// The page layout of a preview workspace: where each prepared page stands,
// in pixels at the workspace's zoom.
//
// Design: pages are placed in rows, top to bottom, 10 pixels apart; a page
// joins the current row while the row still fits the available width, and
// every row is centred. Rows only grow downwards, so the page tops never
// decrease with the index, which lets the page at a scroll position be found
// by binary search. The list knows nothing of widgets; the workspace fills
// it from the store's page sizes and asks it where to paint.
#pragma once

#include <QRect>
#include <QSize>

#include <vector>

class TovxPageList {
 public:
  // Pixels between pages, between rows and around the layout.
  static constexpr int kGap = 10;

  double Zoom() const { return zoom_; }
  void SetZoom(double zoom) { zoom_ = zoom; }
  bool RightToLeft() const { return right_to_left_; }
  void SetRightToLeft(bool on) { right_to_left_ = on; }

  void Clear();
  // Appends a page of `size` pixels at 96 per inch, stored at the zoom.
  void AddPage(QSize size);
  int Count() const { return static_cast<int>(pages_.size()); }

  // Places the pages in rows for the available width `width`.
  void Layout(int width);
  // The widest row and the bottom of the last page.
  int LayoutWidth() const { return layout_width_; }
  int LayoutHeight() const { return layout_height_; }

  // The page shown at vertical position `y`: the last page whose top is not
  // below y plus a fifth of its height (the first page above the first
  // top); -1 without pages.
  int FindPage(int y) const;
  // The page that holds the point, looking at pages near the one FindPage
  // gives for `y`; -1 when none does.
  int FindPageAt(int x, int y) const;
  // A page's rectangle, mirrored for right-to-left. An index outside the
  // list gives an empty A4 page's place, so callers never meet a null page.
  QRect PageRect(int index) const;

 private:
  struct Page {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
  };

  std::vector<Page> pages_;
  double zoom_ = 1;
  bool right_to_left_ = false;
  int available_width_ = 0;
  int layout_width_ = 0;
  int layout_height_ = 0;
};
