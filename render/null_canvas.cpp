#include "render/null_canvas.h"

#include <algorithm>

namespace ovx {

namespace {

QRect ToQRect(const PixelRect& r) {
  return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
}

}  // namespace

void NullCanvas::SaveDC() { saved_.push_back({clip_, meta_clip_, Font(), Pen(), Brush()}); }

void NullCanvas::RestoreDC() {
  if (saved_.empty()) return;
  Saved s = std::move(saved_.back());
  saved_.pop_back();
  clip_ = std::move(s.clip);
  meta_clip_ = std::move(s.meta_clip);
  Font() = s.font;
  Pen() = s.pen;
  Brush() = s.brush;
}

void NullCanvas::IntersectClipRect(const PixelRect& rect) {
  QRegion r(ToQRect(rect));
  if (meta_clip_) r &= *meta_clip_;
  clip_ = clip_ ? (*clip_ & r) : r;
}

void NullCanvas::ExcludeClipRect(const PixelRect& rect) {
  // Without a clip the whole device is visible: start from a region large
  // enough for any page.
  QRegion base =
      clip_ ? *clip_
            : (meta_clip_ ? *meta_clip_ : QRegion(-(1 << 24), -(1 << 24), 1 << 25, 1 << 25));
  clip_ = base.subtracted(QRegion(ToQRect(rect)));
}

void NullCanvas::SelectClipRegion(const std::optional<QRegion>& region) {
  if (!region) {
    clip_.reset();
    return;
  }
  clip_ = meta_clip_ ? (*region & *meta_clip_) : *region;
}

void NullCanvas::SetMetaClip() {
  if (clip_) meta_clip_ = meta_clip_ ? (*meta_clip_ & *clip_) : *clip_;
  clip_.reset();
}

bool NullCanvas::RectVisible(const PixelRect& rect) const {
  if (rect.IsEmpty()) return false;
  const QRect r = ToQRect(rect);
  if (meta_clip_ && !meta_clip_->intersects(r)) return false;
  return !clip_ || clip_->intersects(r);
}

}  // namespace ovx
