// Keeping bands together: what was added since a keep started moves with
// the band that does not fit to the next column or page, unless the kept
// part would not fit a whole page either; then the keep is dropped and the
// bands break or split as they come.
#include "base/rounding.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"

namespace {

constexpr double kEpsilon = 0.0001;

}  // namespace

TovxEngine::OutputMark TovxEngine::MarkOutput() const {
  return OutputMark{pages_.ObjectPosition(), cur_y_, pages_.AnchorPosition(),
                    pages_.OutlinePosition()};
}

void TovxEngine::StartKeep(TovxBand* band, const OutputMark* from) {
  if (keep_.band || !band || !running_ || Collecting()) return;
  const OutputMark mark = from ? *from : MarkOutput();
  const int position = mark.position;
  // Kept from the top of the page or column: moving on would gain nothing
  // (the report title, shown only once, does not come along).
  if (!title_above_body_ && pages_.CurPage() == body_start_page_ &&
      cur_column_ == body_start_column_ && position <= body_start_position_) {
    return;
  }
  keep_ = Keep{band, mark.y, position, pages_.CurPage(), cur_column_, mark.anchor, mark.outline};
  aggregates_->TakeSnapshot();
  aggregate_list_.BeginKeepSnapshot();
}

void TovxEngine::EndKeep(const TovxBand* band) {
  if (!keep_.band || keep_.band != band) return;
  aggregate_list_.EndKeepSnapshot();
  keep_ = Keep();
}

// A keep given up still closes the page-footer snapshot: its rows count on
// the page where they stay.
void TovxEngine::DropKeep() {
  if (!keep_.band) return;
  aggregates_->DropSnapshot();
  aggregate_list_.EndKeepSnapshot();
  keep_ = Keep();
}

TovxDataBand* TovxEngine::KeptFooterOwner() const {
  auto* footer = dynamic_cast<TovxFooter*>(keep_.band);
  TovxDataBand* owner = footer && tree_ ? tree_->Owner(footer) : nullptr;
  return owner && owner->KeepFooter() ? owner : nullptr;
}

bool TovxEngine::KeptPartFits(double height) const {
  return cur_y_ - keep_.y + height <= page_height_ - FooterHeight() - HeaderHeight() + kEpsilon;
}

bool TovxEngine::CutKept() {
  if (!keep_.band) return false;
  const double height = current_band_ ? current_band_->Height() : 0;
  if (keep_.page != pages_.CurPage() || keep_.column != cur_column_ || !KeptPartFits(height)) {
    DropKeep();
    return false;
  }
  pages_.CutObjects(keep_.position);
  // The last row leaves with the footer kept with it: the page it leaves
  // does not count it.
  if (TovxDataBand* owner = KeptFooterOwner()) aggregate_list_.TakeBackLast(*owner);
  return true;
}

void TovxEngine::PasteKept() {
  const int page = pages_.CurPage();
  const double y = cur_y_;
  pages_.PasteObjects(cur_x_, y);
  // Outline items and anchors made since the keep started go with the
  // kept part, to the next page or to the next column of the same page.
  const int shift = static_cast<int>(ovx::Round(y - keep_.y));
  pages_.MoveOutlineItems(keep_.outline, page, shift);
  pages_.MoveAnchors(keep_.anchor, page, shift);
  const double used = pages_.LastUsedY(cur_x_);
  if (used > cur_y_) cur_y_ = used;
  aggregate_list_.EndKeepSnapshot();
  if (TovxDataBand* owner = KeptFooterOwner()) aggregate_list_.RetakeLast(*owner);
  keep_ = Keep();
}
