// One scrolling view of prepared pages: the preview's page area, or its
// thumbnail pane.
//
// Design: the workspace lays the pages out with a TovxPageList and paints
// only what is in the window. Each page is drawn by the store once per zoom
// into an image, kept in a cache bounded by its size in bytes (least
// recently used pages go first), and the images are reused while
// scrolling. Pages not yet in the cache are drawn a few at a time: a paint
// draws pages until a short time budget is spent, shows the rest as blank
// paper, and asks for another paint, so a window full of thumbnails never
// blocks the window. A page too big for one image at a high zoom is drawn
// only where it is visible, on every paint.
//
// While the report is being prepared the store may still change its last
// page, so that one is never cached then; the preview empties the cache
// when the preparation ends.
//
// The workspace talks to its preview control for everything that is not
// drawing or scrolling: keys, the store's mouse handling, the current page.
#pragma once

#include "base/color.h"
#include "preview/page_list.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>

#include <list>
#include <optional>

class TovxPreview;
class TovxPreviewPages;

class TovxPreviewWorkspace : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Large and small scroll steps in pixels.
  static constexpr int kPageStep = 300;
  static constexpr int kLineStep = 8;
  static constexpr int kWheelStep = 20;

  TovxPreviewWorkspace(TovxPreview* preview, bool thumbnails, QWidget* parent = nullptr);
  ~TovxPreviewWorkspace() override;

  // The store drawn (not owned); null shows no pages.
  void SetPages(TovxPreviewPages* pages);
  TovxPreviewPages* Pages() const { return pages_; }
  bool Thumbnails() const { return thumbnails_; }

  double Zoom() const { return list_.Zoom(); }
  // Takes effect with the next Rebuild.
  void SetZoom(double zoom);
  const TovxPageList& PageList() const { return list_; }
  // The width pages are laid out in: the workspace less a vertical scroll
  // bar and 26 pixels.
  int LayoutWidth() const;
  // Makes the list hold the store's first `count` pages at the zoom, lays
  // them out and sets the scroll ranges, keeping the scroll positions.
  void Rebuild(int count);
  // Adds the store's pages up to `count` to the list (a running
  // preparation) and lays them out again.
  void Extend(int count);

  // The page framed as current (0-based, -1 for none).
  void SetCurrentPage(int index);
  // Scrolls so that the page's top, plus `offset` pixels, is 10 pixels
  // below the window's top.
  void ScrollToPage(int index, int offset = 0);
  // Scrolls so that `area` (pixels at scale 1 on page `index`) is visible
  // with `spare` pixels around it.
  void ScrollToArea(int index, const QRect& area, int spare);
  // The found text, inverted when painted; nullopt for none.
  void SetFoundArea(int index, const std::optional<QRect>& area);

  ovx::Color BackColor() const { return back_color_; }
  void SetBackColor(ovx::Color color);
  ovx::Color FrameColor() const { return frame_color_; }
  void SetFrameColor(ovx::Color color);
  ovx::Color ActiveFrameColor() const { return active_frame_color_; }
  void SetActiveFrameColor(ovx::Color color);
  bool HighlightEditable() const { return highlight_editable_; }
  void SetHighlightEditable(bool on);
  void SetRightToLeft(bool on);

  // Drops the drawn pages (the pages changed).
  void InvalidateImages();
  void InvalidatePage(int index);
  // Pages drawn and kept, for tests and the status of lazy drawing.
  int CachedPageCount() const { return static_cast<int>(cache_.size()); }
  // Whether every page in the window has been drawn (no paint is pending).
  bool FullyDrawn() const { return !pending_; }

  // While frozen the workspace shows a picture of itself taken now and
  // ignores the mouse.
  void Freeze();
  void Unfreeze();
  bool Frozen() const { return frozen_; }

  // The selection dragged with Shift, in pixels at scale 1 on its page.
  std::optional<std::pair<int, QRect>> Selection() const { return selection_; }

 signals:
  // The user scrolled vertically (not through ScrollToPage).
  void Scrolled();
  // A click (press and release without dragging) on a page.
  void PageClicked(int index);
  // The workspace changed its size (and laid its pages out again).
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct CachedImage {
    int index;
    QImage image;
  };

  QPoint Origin() const;
  void UpdateScrollRanges();
  // The page image from the cache or drawn now; null when the budget is
  // spent (`budget_left` false) or the page cannot be drawn.
  const QImage* PageImage(int index, bool may_draw);
  QImage Draw(int index, const QRect& part) const;
  void Keep(int index, QImage image);
  void PaintPage(QPainter& painter, int index, const QRect& rect, const QRect& visible,
                 bool& may_draw);
  // The page under a viewport point and the point in page pixels.
  int PageAt(QPoint viewport_point, QPoint* in_page) const;
  // Hands a mouse event to the preview; answers whether an object with a
  // link took it.
  bool Mouse(QMouseEvent* event, int kind);

  TovxPreview* preview_;
  const bool thumbnails_;
  TovxPreviewPages* pages_ = nullptr;
  TovxPageList list_;
  int current_page_ = -1;
  ovx::Color back_color_ = 8421504;
  ovx::Color frame_color_ = 6316128;
  ovx::Color active_frame_color_ = 3983359;
  bool highlight_editable_ = false;

  std::list<CachedImage> cache_;  // most recently used first
  QHash<int, std::list<CachedImage>::iterator> cache_index_;
  qint64 cache_bytes_ = 0;
  qint64 cache_limit_;
  bool pending_ = false;

  int found_page_ = -1;
  QRect found_area_;

  bool frozen_ = false;
  QPixmap frozen_picture_;

  // Mouse state: where the button went down, and what the drag does.
  enum class Drag { kNone, kScroll, kSelect };
  Drag drag_ = Drag::kNone;
  QPoint press_point_;
  QPoint last_point_;
  bool moved_ = false;
  int press_page_ = -1;
  std::optional<std::pair<int, QRect>> selection_;
  QRect selection_viewport_;
  bool scrolling_by_code_ = false;
};
