#include "preview/preview_workspace.h"

#include "base/rounding.h"
#include "engine/preview_pages.h"
#include "preview/preview.h"
#include "render/painter_canvas.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <exception>

namespace {

// Bytes of page images a workspace keeps.
constexpr qint64 kPageCacheBytes = qint64{96} << 20;
constexpr qint64 kThumbnailCacheBytes = qint64{16} << 20;
// A paint draws new pages for this long, then leaves the rest to the next.
constexpr qint64 kPaintBudgetMs = 40;
// Pages around the one at the scroll position that may be in the window.
constexpr int kPagesBefore = 60;
constexpr int kPagesAfter = 340;
// A press and release closer than this is a click, not a drag.
constexpr int kClickSlack = 3;

QColor ToQColor(ovx::Color color) {
  const ovx::Color rgb = ovx::ColorToRgb(color);
  return QColor(ovx::RedOf(rgb), ovx::GreenOf(rgb), ovx::BlueOf(rgb));
}

}  // namespace

TovxPreviewWorkspace::TovxPreviewWorkspace(TovxPreview* preview, bool thumbnails, QWidget* parent)
    : QAbstractScrollArea(parent),
      preview_(preview),
      thumbnails_(thumbnails),
      cache_limit_(thumbnails ? kThumbnailCacheBytes : kPageCacheBytes) {
  setObjectName(thumbnails ? QStringLiteral("ThumbnailWorkspace") : QStringLiteral("Workspace"));
  setFocusPolicy(thumbnails ? Qt::ClickFocus : Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  // Painting fills everything; no system background first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  horizontalScrollBar()->setSingleStep(kLineStep);
  verticalScrollBar()->setSingleStep(kLineStep);
}

TovxPreviewWorkspace::~TovxPreviewWorkspace() = default;

void TovxPreviewWorkspace::SetPages(TovxPreviewPages* pages) {
  pages_ = pages;
  found_page_ = -1;
  selection_.reset();
  InvalidateImages();
  list_.Clear();
  UpdateScrollRanges();
  viewport()->update();
}

void TovxPreviewWorkspace::SetZoom(double zoom) { list_.SetZoom(zoom); }

int TovxPreviewWorkspace::LayoutWidth() const {
  return width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) - 26;
}

void TovxPreviewWorkspace::Rebuild(int count) {
  list_.Clear();
  Extend(count);
}

void TovxPreviewWorkspace::Extend(int count) {
  if (pages_) count = std::min(count, pages_->Count());
  if (!pages_) count = 0;
  for (int i = list_.Count(); i < count; ++i) list_.AddPage(pages_->GetPageSize(i));
  list_.Layout(LayoutWidth());
  UpdateScrollRanges();
  viewport()->update();
}

void TovxPreviewWorkspace::UpdateScrollRanges() {
  const QSize view = viewport()->size();
  const int width = list_.Count() > 0 ? list_.LayoutWidth() + TovxPageList::kGap : 0;
  const int height = list_.Count() > 0 ? list_.LayoutHeight() + TovxPageList::kGap : 0;
  horizontalScrollBar()->setRange(0, std::max(0, width - view.width()));
  horizontalScrollBar()->setPageStep(std::max(1, view.width()));
  verticalScrollBar()->setRange(0, std::max(0, height - view.height()));
  verticalScrollBar()->setPageStep(kPageStep);
}

void TovxPreviewWorkspace::SetCurrentPage(int index) {
  if (current_page_ == index) return;
  current_page_ = index;
  viewport()->update();
}

void TovxPreviewWorkspace::ScrollToPage(int index, int offset) {
  if (index < 0 || index >= list_.Count()) return;
  scrolling_by_code_ = true;
  verticalScrollBar()->setValue(list_.PageRect(index).top() - TovxPageList::kGap + offset);
  scrolling_by_code_ = false;
}

void TovxPreviewWorkspace::ScrollToArea(int index, const QRect& area, int spare) {
  if (index < 0 || index >= list_.Count()) return;
  const QRect page = list_.PageRect(index);
  const double zoom = list_.Zoom();
  const QRect target(page.left() + ovx::RoundToInt(area.left() * zoom) - spare,
                     page.top() + ovx::RoundToInt(area.top() * zoom) - spare,
                     ovx::RoundToInt(area.width() * zoom) + 2 * spare,
                     ovx::RoundToInt(area.height() * zoom) + 2 * spare);
  const QPoint origin = Origin();
  const QSize view = viewport()->size();
  auto fit = [](int start, int length, int view_start, int view_length) {
    if (start < view_start) return start;
    if (start + length > view_start + view_length) {
      return std::min(start, start + length - view_length);
    }
    return view_start;
  };
  horizontalScrollBar()->setValue(fit(target.left(), target.width(), origin.x(), view.width()));
  verticalScrollBar()->setValue(fit(target.top(), target.height(), origin.y(), view.height()));
}

void TovxPreviewWorkspace::SetFoundArea(int index, const std::optional<QRect>& area) {
  found_page_ = area ? index : -1;
  found_area_ = area.value_or(QRect());
  viewport()->update();
}

void TovxPreviewWorkspace::SetBackColor(ovx::Color color) {
  back_color_ = color;
  viewport()->update();
}

void TovxPreviewWorkspace::SetFrameColor(ovx::Color color) {
  frame_color_ = color;
  viewport()->update();
}

void TovxPreviewWorkspace::SetActiveFrameColor(ovx::Color color) {
  active_frame_color_ = color;
  viewport()->update();
}

void TovxPreviewWorkspace::SetHighlightEditable(bool on) {
  if (highlight_editable_ == on) return;
  highlight_editable_ = on;
  InvalidateImages();
  viewport()->update();
}

void TovxPreviewWorkspace::SetRightToLeft(bool on) {
  list_.SetRightToLeft(on);
  viewport()->update();
}

void TovxPreviewWorkspace::InvalidateImages() {
  cache_.clear();
  cache_index_.clear();
  cache_bytes_ = 0;
  viewport()->update();
}

void TovxPreviewWorkspace::InvalidatePage(int index) {
  const auto it = cache_index_.find(index);
  if (it == cache_index_.end()) return;
  cache_bytes_ -= (*it)->image.sizeInBytes();
  cache_.erase(*it);
  cache_index_.erase(it);
  viewport()->update();
}

void TovxPreviewWorkspace::Freeze() {
  if (frozen_) return;
  frozen_picture_ = viewport()->grab();
  frozen_ = true;
}

void TovxPreviewWorkspace::Unfreeze() {
  if (!frozen_) return;
  frozen_ = false;
  frozen_picture_ = QPixmap();
  viewport()->update();
}

QPoint TovxPreviewWorkspace::Origin() const {
  return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

// --- drawing ---------------------------------------------------------------------------------

QImage TovxPreviewWorkspace::Draw(int index, const QRect& part) const {
  // A damaged page must not take the window down: it stays blank paper.
  try {
    auto canvas = ovx::PainterCanvas::ForImage(part.width(), part.height());
    const double zoom = list_.Zoom();
    pages_->DrawPage(index, *canvas, zoom, zoom, -part.left(), -part.top(),
                     highlight_editable_ && !thumbnails_);
    canvas->End();
    return *canvas->Image();
  } catch (const std::exception&) {
    return QImage();
  }
}

void TovxPreviewWorkspace::Keep(int index, QImage image) {
  InvalidatePage(index);
  cache_bytes_ += image.sizeInBytes();
  cache_.push_front(CachedImage{index, std::move(image)});
  cache_index_.insert(index, cache_.begin());
  // The page just drawn stays even when it alone exceeds the limit.
  while (cache_bytes_ > cache_limit_ && cache_.size() > 1) {
    cache_bytes_ -= cache_.back().image.sizeInBytes();
    cache_index_.remove(cache_.back().index);
    cache_.pop_back();
  }
}

void TovxPreviewWorkspace::PaintPage(QPainter& painter, int index, const QRect& rect,
                                     const QRect& visible, bool& may_draw) {
  painter.setPen(ToQColor(frame_color_));
  painter.setBrush(Qt::white);
  painter.drawRect(rect.adjusted(-1, -1, 0, 0));
  if (rect.isEmpty()) return;

  const qint64 whole_bytes = qint64{rect.width()} * rect.height() * 4;
  if (whole_bytes <= cache_limit_ / 4) {
    const auto it = cache_index_.find(index);
    if (it != cache_index_.end() && (*it)->image.size() == rect.size()) {
      // Most recently used first.
      cache_.splice(cache_.begin(), cache_, *it);
      painter.drawImage(rect.topLeft(), cache_.front().image);
    } else if (may_draw) {
      QImage image = Draw(index, QRect(QPoint(0, 0), rect.size()));
      if (!image.isNull()) {
        painter.drawImage(rect.topLeft(), image);
        // The page the engine is still writing is drawn, not kept.
        const bool final_page = preview_ && preview_->Running() && index >= pages_->Count() - 1;
        if (!final_page) Keep(index, std::move(image));
      }
      may_draw = false;
    } else {
      pending_ = true;
    }
  } else {
    // Too big for one image: only the part in the window, every time.
    const QRect part = rect.intersected(visible);
    if (!part.isEmpty()) {
      const QImage image = Draw(index, part.translated(-rect.topLeft()));
      if (!image.isNull()) painter.drawImage(part.topLeft(), image);
    }
  }

  if (thumbnails_) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    painter.setFont(font);
    const QString number = QStringLiteral(" %1 ").arg(index + 1);
    const QRect text_rect = painter.fontMetrics().boundingRect(number);
    const QRect box(rect.left() + 1, rect.top() + 1, text_rect.width(), text_rect.height());
    painter.fillRect(box, ToQColor(back_color_));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, number);
  }
  if (index == found_page_ && !found_area_.isEmpty()) {
    const double zoom = list_.Zoom();
    const QRect area(rect.left() + ovx::RoundToInt(found_area_.left() * zoom) - 1,
                     rect.top() + ovx::RoundToInt(found_area_.top() * zoom) - 1,
                     ovx::RoundToInt(found_area_.width() * zoom) + 2,
                     ovx::RoundToInt(found_area_.height() * zoom) + 2);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(area, Qt::white);
    painter.restore();
  }
}

void TovxPreviewWorkspace::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  if (frozen_) {
    painter.drawPixmap(0, 0, frozen_picture_);
    return;
  }
  painter.fillRect(viewport()->rect(), ToQColor(back_color_));
  pending_ = false;
  if (!pages_ || list_.Count() == 0) return;

  const QPoint origin = Origin();
  const QRect visible(QPoint(0, 0), viewport()->size());
  const int at = list_.FindPage(origin.y());
  const int first = std::max(0, at - kPagesBefore);
  const int last = std::min(list_.Count() - 1, at + kPagesAfter);

  if (current_page_ >= first && current_page_ <= last) {
    const QRect rect = list_.PageRect(current_page_).translated(-origin);
    painter.setPen(QPen(ToQColor(active_frame_color_), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect).adjusted(-2, -2, 2, 2));
  }

  QElapsedTimer budget;
  budget.start();
  for (int i = first; i <= last; ++i) {
    const QRect rect = list_.PageRect(i).translated(-origin);
    if (!rect.adjusted(-3, -3, 3, 3).intersects(visible)) continue;
    // At least one new page per paint, then as many as the budget allows.
    bool may_draw = budget.elapsed() < kPaintBudgetMs;
    PaintPage(painter, i, rect, visible, may_draw);
  }

  if (!selection_viewport_.isNull()) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(selection_viewport_.normalized());
    painter.restore();
  }
  if (pending_) QTimer::singleShot(0, this, [this] { viewport()->update(); });
}

void TovxPreviewWorkspace::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  list_.Layout(LayoutWidth());
  UpdateScrollRanges();
  emit Resized();
}

void TovxPreviewWorkspace::scrollContentsBy(int, int dy) {
  viewport()->update();
  if (dy != 0 && !scrolling_by_code_) emit Scrolled();
}

// --- keys, wheel and mouse --------------------------------------------------------------------

void TovxPreviewWorkspace::keyPressEvent(QKeyEvent* event) {
  if (preview_ && preview_->HandleKey(event)) return;
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  switch (event->key()) {
    case Qt::Key_Up:
      vertical->setValue(vertical->value() - kLineStep);
      break;
    case Qt::Key_Down:
      vertical->setValue(vertical->value() + kLineStep);
      break;
    case Qt::Key_Left:
      horizontal->setValue(horizontal->value() - kLineStep);
      break;
    case Qt::Key_Right:
      horizontal->setValue(horizontal->value() + kLineStep);
      break;
    case Qt::Key_PageUp:
      vertical->setValue(vertical->value() - kPageStep);
      break;
    case Qt::Key_PageDown:
      vertical->setValue(vertical->value() + kPageStep);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void TovxPreviewWorkspace::wheelEvent(QWheelEvent* event) {
  const QPoint angle = event->angleDelta();
  if (event->modifiers() & Qt::ControlModifier) {
    if (preview_ && !thumbnails_) preview_->HandleWheelZoom(angle.y() / 120);
    event->accept();
    return;
  }
  const bool sideways = (event->modifiers() & Qt::ShiftModifier) || angle.x() != 0;
  const int delta = sideways ? (angle.x() != 0 ? angle.x() : angle.y()) : angle.y();
  QScrollBar* bar = sideways ? horizontalScrollBar() : verticalScrollBar();
  bar->setValue(bar->value() - delta * kWheelStep / 120);
  event->accept();
}

int TovxPreviewWorkspace::PageAt(QPoint viewport_point, QPoint* in_page) const {
  const QPoint point = viewport_point + Origin();
  const int index = list_.FindPageAt(point.x(), point.y());
  if (index >= 0 && in_page) *in_page = point - list_.PageRect(index).topLeft();
  return index;
}

bool TovxPreviewWorkspace::Mouse(QMouseEvent* event, int kind) {
  if (!preview_ || thumbnails_) return false;
  QPoint in_page;
  const int index = PageAt(event->position().toPoint(), &in_page);
  if (index < 0) {
    preview_->LeavePages();
    return false;
  }
  return preview_->HandleMouse(index, static_cast<TovxPreviewPages::MouseEvent>(kind), in_page,
                               event->globalPosition().toPoint());
}

void TovxPreviewWorkspace::mousePressEvent(QMouseEvent* event) {
  if (frozen_ || !pages_ || list_.Count() == 0 || event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  press_point_ = last_point_ = event->position().toPoint();
  moved_ = false;
  press_page_ = PageAt(press_point_, nullptr);
  // A link under the mouse takes the press; elsewhere the press drags.
  const bool taken = Mouse(event, static_cast<int>(TovxPreviewPages::MouseEvent::kDown));
  if (thumbnails_ || taken) {
    drag_ = Drag::kNone;
  } else if (event->modifiers() & Qt::ShiftModifier) {
    drag_ = Drag::kSelect;
    selection_.reset();
    selection_viewport_ = QRect(press_point_, QSize(1, 1));
  } else {
    drag_ = Drag::kScroll;
    viewport()->setCursor(Qt::ClosedHandCursor);
  }
  event->accept();
}

void TovxPreviewWorkspace::mouseMoveEvent(QMouseEvent* event) {
  if (frozen_ || !pages_ || list_.Count() == 0) return;
  const QPoint point = event->position().toPoint();
  if ((point - press_point_).manhattanLength() > kClickSlack) moved_ = true;
  switch (drag_) {
    case Drag::kScroll: {
      const QPoint delta = point - last_point_;
      horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
      verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
      break;
    }
    case Drag::kSelect:
      selection_viewport_ = QRect(press_point_, point).normalized();
      viewport()->update();
      break;
    case Drag::kNone:
      if (!(event->buttons() & Qt::LeftButton)) {
        Mouse(event, static_cast<int>(TovxPreviewPages::MouseEvent::kMove));
      }
      break;
  }
  last_point_ = point;
}

void TovxPreviewWorkspace::mouseReleaseEvent(QMouseEvent* event) {
  if (frozen_ || !pages_ || list_.Count() == 0 || event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    return;
  }
  const Drag drag = drag_;
  drag_ = Drag::kNone;
  if (drag == Drag::kScroll) viewport()->unsetCursor();
  if (drag == Drag::kSelect) {
    if (press_page_ >= 0 && moved_) {
      const QRect page = list_.PageRect(press_page_).translated(-Origin());
      const double zoom = list_.Zoom();
      const QRect in_page = selection_viewport_.translated(-page.topLeft());
      selection_ = std::pair{
          press_page_,
          QRect(ovx::RoundToInt(in_page.left() / zoom), ovx::RoundToInt(in_page.top() / zoom),
                ovx::RoundToInt(in_page.width() / zoom), ovx::RoundToInt(in_page.height() / zoom))};
    }
    selection_viewport_ = QRect();
    viewport()->update();
  }
  const int index = PageAt(event->position().toPoint(), nullptr);
  if (!moved_) {
    // The page becomes current first, so that a link on it may lead on.
    if (index >= 0) emit PageClicked(index);
    Mouse(event, static_cast<int>(TovxPreviewPages::MouseEvent::kClick));
  }
  Mouse(event, static_cast<int>(TovxPreviewPages::MouseEvent::kUp));
  event->accept();
}

void TovxPreviewWorkspace::mouseDoubleClickEvent(QMouseEvent* event) {
  if (frozen_ || !pages_ || list_.Count() == 0) return;
  Mouse(event, static_cast<int>(TovxPreviewPages::MouseEvent::kDoubleClick));
}

void TovxPreviewWorkspace::leaveEvent(QEvent* event) {
  if (preview_ && !thumbnails_) preview_->LeavePages();
  QAbstractScrollArea::leaveEvent(event);
}
