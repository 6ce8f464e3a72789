// Aligning child views inside their container.
//
// Aligned views are ordered by their Left position, rounded to hundredths
// (equal positions keep their child order). Left-aligned views are then
// packed against the nearest vertically overlapping view before them,
// right-aligned ones against the nearest after them; centred, bottom and
// client views are placed in the client rectangle last.
#include "base/rounding.h"
#include "base/units.h"
#include "report/model/component.h"
#include "report/model/view.h"

#include <algorithm>

namespace {

bool OverlapVertically(const TovxView& a, const TovxView& b) {
  return a.Top() < b.Top() + b.Height() - ovx::kPositionTolerance &&
         b.Top() < a.Top() + a.Height() - ovx::kPositionTolerance;
}

double Right(const TovxView& v) { return v.Left() + v.Width(); }

}  // namespace

void TovxComponent::AlignChildren() {
  double client_left = 0, client_top = 0, client_width = 0, client_height = 0;
  GetClientRect(client_left, client_top, client_width, client_height);

  std::vector<TovxView*> aligned;
  for (TovxComponent* child : objects_) {
    auto* view = dynamic_cast<TovxView*>(child);
    if (view && view->Align() != TovxAlign::baNone) aligned.push_back(view);
  }
  std::stable_sort(aligned.begin(), aligned.end(), [](const TovxView* a, const TovxView* b) {
    return ovx::Round(a->Left() * 100) < ovx::Round(b->Left() * 100);
  });

  for (size_t i = 0; i < aligned.size(); ++i) {
    TovxView& view = *aligned[i];
    const TovxAlign align = view.Align();
    if (align != TovxAlign::baLeft && align != TovxAlign::baWidth) continue;
    double left = client_left;
    for (size_t j = i; j-- > 0;) {
      const TovxView& other = *aligned[j];
      if (align == TovxAlign::baWidth && other.Left() > view.Left()) continue;
      if (OverlapVertically(view, other)) {
        left = Right(other);
        break;
      }
    }
    view.SetLeft(left);
  }

  for (size_t i = aligned.size(); i-- > 0;) {
    TovxView& view = *aligned[i];
    const TovxAlign align = view.Align();
    if (align != TovxAlign::baRight && align != TovxAlign::baWidth) continue;
    double right = client_left + client_width;
    for (size_t j = i + 1; j < aligned.size(); ++j) {
      const TovxView& other = *aligned[j];
      if (align == TovxAlign::baWidth && Right(other) < Right(view)) continue;
      if (OverlapVertically(view, other)) {
        right = other.Left();
        break;
      }
    }
    if (align == TovxAlign::baRight) {
      view.SetLeft(right - view.Width());
    } else {
      view.SetWidth(right - view.Left());
    }
  }

  for (TovxComponent* child : objects_) {
    if (auto* view = dynamic_cast<TovxView*>(child)) {
      switch (view->Align()) {
        case TovxAlign::baCenter:
          view->SetLeft((client_width - view->Width()) / 2);
          break;
        case TovxAlign::baBottom:
          view->SetTop(client_height - view->Height());
          break;
        case TovxAlign::baClient:
          view->SetBounds(client_left, client_top, client_width, client_height);
          break;
        default:
          break;
      }
    }
    child->AlignChildren();
  }
}
