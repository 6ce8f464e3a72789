// Splitting a band over columns and pages: each part takes the objects
// that fit into the free space, stretchable views as many whole lines as
// fit, and the rest moves up to the top of the next part.
//
// The band keeps all its objects in the template throughout: a part is
// added to the store with the list of its objects, so an exception between
// two parts cannot lose any. Positions and heights changed here are part of
// the band's data cycle and go back when the band is finished.
//
// Every part places something: on a fresh page or column where nothing
// fits, the first object goes in anyway (a stretchable view with at least
// one line), so a band ends even when a line is taller than the page.
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/report.h"
#include "report/model/subreport.h"
#include "report/model/view.h"

#include <algorithm>

namespace {

constexpr double kEpsilon = 0.0001;

struct Piece {
  TovxComponent* object;
  TovxStretcheable* stretch;  // null for objects that are never split
  double full_height;         // the height the object's content needs
};

bool OverlapsHorizontally(const TovxComponent& a, const TovxComponent& b) {
  return a.Left() < b.Left() + b.Width() - kEpsilon && b.Left() < a.Left() + a.Width() - kEpsilon;
}

// Lays out the part of a stretchable view that fits into `height`; answers
// the height its rest needs, or a negative value when nothing fitted (the
// content stays whole then).
double TryPart(Piece& piece, double height) {
  piece.stretch->SetHeight(std::max(height, 0.0));
  const double rest = piece.stretch->DrawPart();
  if (!piece.stretch->HasNextDataPart()) return 0;
  if (rest >= piece.full_height - kEpsilon) {
    piece.stretch->TakeNextPart();
    piece.stretch->SetHeight(piece.full_height);
    return -1;
  }
  return rest;
}

}  // namespace

void TovxEngine::SplitBand(TovxBand& band) {
  std::vector<Piece> remaining;
  const double page_body = page_height_ - FooterHeight();
  // Objects aligned to the band's bottom close its last part, stretched
  // views with all their content; one higher than a page is split like any
  // other object, as it could never close a part.
  std::vector<TovxComponent*> bottom_aligned;
  const auto add_piece = [&remaining](TovxComponent* object) {
    auto* stretch = dynamic_cast<TovxStretcheable*>(object);
    if (stretch) stretch->InitPart();
    remaining.push_back({object, stretch, object->Height()});
  };
  for (TovxComponent* object : OutputObjects(band)) {
    if (!object->Visible()) continue;
    if (const auto* view = dynamic_cast<const TovxView*>(object);
        view && view->Align() == TovxAlign::baBottom && object->Height() <= page_body + kEpsilon) {
      bottom_aligned.push_back(object);
      continue;
    }
    add_piece(object);
  }
  // Nothing else to split: they are split like any other object.
  if (remaining.empty()) {
    for (TovxComponent* object : bottom_aligned) add_piece(object);
    bottom_aligned.clear();
  }
  std::stable_sort(remaining.begin(), remaining.end(), [](const Piece& a, const Piece& b) {
    return a.object->Top() < b.object->Top();
  });

  // A break that could not start a fresh column (no page to break to)
  // counts as one, so the loop ends all the same.
  bool broke = false;
  auto next_column = [&] {
    NewColumn();
    current_band_ = &band;
    broke = true;
  };
  while (!remaining.empty() && KeepGoing()) {
    const bool fresh = AtBodyStart() || broke;
    broke = false;
    const double space = FreeSpace();
    if (space <= kEpsilon && !fresh) {
      next_column();
      continue;
    }
    std::vector<double> tops;
    tops.reserve(remaining.size());
    for (const Piece& piece : remaining) tops.push_back(piece.object->Top());
    // How far the rest moves up for the next part: never down.
    double advance = std::max(space, 0.0);
    std::vector<TovxComponent*> part;
    std::vector<Piece> rest;
    // What each object below a split one is pushed down by.
    std::vector<double> push(remaining.size(), 0);
    for (size_t i = 0; i < remaining.size(); ++i) {
      Piece& piece = remaining[i];
      TovxComponent& object = *piece.object;
      if (push[i] > 0) object.SetTop(object.Top() + push[i]);
      const double top = object.Top();
      const double bottom = top + object.Height();
      auto push_below = [&](double old_bottom, double by) {
        for (size_t j = i + 1; j < remaining.size(); ++j) {
          const TovxComponent& below = *remaining[j].object;
          if (below.Top() >= old_bottom - kEpsilon && OverlapsHorizontally(object, below)) {
            push[j] = std::max(push[j], by);
          }
        }
      };
      if (bottom <= space + kEpsilon) {
        part.push_back(&object);
      } else if (piece.stretch && top < space - kEpsilon) {
        const double rest_height = TryPart(piece, space - top);
        if (rest_height == 0) {
          part.push_back(&object);
        } else if (rest_height > 0) {
          part.push_back(&object);
          rest.push_back({&object, piece.stretch, rest_height});
          // The rest starts the next part; what lay below it follows it
          // at its old distance.
          push_below(top + piece.full_height, space - top + rest_height - piece.full_height);
        } else {
          rest.push_back(piece);
          push_below(top + piece.full_height, space - top);
        }
      } else if (!piece.stretch && object.Height() > page_body + kEpsilon) {
        part.push_back(&object);
      } else if (top < space - kEpsilon) {
        // Starts above the end of the part but ends below it: it opens the
        // next part instead.
        object.SetTop(space);
        push_below(bottom, space - top);
        rest.push_back(piece);
      } else {
        rest.push_back(piece);
      }
    }

    if (part.empty()) {
      // Nothing fitted: the part starts again from the template's places.
      for (size_t i = 0; i < remaining.size(); ++i) remaining[i].object->SetTop(tops[i]);
      rest = remaining;
      if (!fresh) {
        next_column();
        continue;
      }
      // Nothing fits on a fresh page: the first object goes in anyway, a
      // stretchable view with as few lines as make progress.
      Piece& first = rest.front();
      const double top = first.object->Top();
      double rest_height = 0;
      double height = 0;
      if (first.stretch) {
        height = std::max(space - top, 1.0);
        while (true) {
          height = std::min(height * 2, first.full_height);
          rest_height = TryPart(first, height);
          if (rest_height >= 0 || height >= first.full_height) break;
        }
        if (rest_height < 0) rest_height = 0;
      }
      part.push_back(first.object);
      advance = std::max(advance, top + (first.stretch ? height : first.object->Height()));
      if (rest_height > 0) {
        // What lay below the view follows its rest at the old distance.
        const double old_bottom = top + first.full_height;
        const double by = advance - top + rest_height - first.full_height;
        for (size_t j = 1; j < rest.size(); ++j) {
          TovxComponent& below = *rest[j].object;
          if (below.Top() >= old_bottom - kEpsilon && OverlapsHorizontally(*first.object, below)) {
            below.SetTop(below.Top() + by);
          }
        }
        first.full_height = rest_height;
      } else {
        rest.erase(rest.begin());
      }
    }

    double height = 0;
    for (const TovxComponent* object : part) {
      height = std::max(height, object->Top() + object->Height());
    }
    if (rest.empty() && !bottom_aligned.empty()) {
      // No room left for them below the end of the content: they close a
      // part of their own on the next column or page.
      double needed = 0;
      for (const TovxComponent* object : bottom_aligned)
        needed = std::max(needed, object->Height());
      if (needed > space + kEpsilon && !part.empty()) {
        for (TovxComponent* object : bottom_aligned) {
          object->SetTop(advance);
          add_piece(object);
          rest.push_back(remaining.back());
          remaining.pop_back();
        }
        bottom_aligned.clear();
      }
    }
    band.SetHeight(height);
    if (rest.empty()) {
      for (TovxComponent* object : bottom_aligned) height = std::max(height, object->Height());
      for (TovxComponent* object : bottom_aligned) {
        object->SetTop(height - object->Height());
        part.push_back(object);
      }
      band.SetHeight(height);
      for (TovxComponent* object : part) {
        auto* stretch = dynamic_cast<TovxStretcheable*>(object);
        if (stretch && stretch->StretchMode() == TovxStretchMode::smMaxHeight) {
          stretch->SetHeight(std::max(height - stretch->Top(), 0.0));
        }
      }
    }
    if (band.Left() != cur_x_) band.SetLeft(cur_x_);
    AddBandToPage(band, cur_y_ - band.Top(), &part);
    cur_y_ += height;
    remaining = std::move(rest);
    if (remaining.empty()) break;

    next_column();
    for (Piece& piece : remaining) {
      TovxComponent& object = *piece.object;
      object.SetTop(std::max(object.Top() - advance, 0.0));
      if (piece.stretch) {
        piece.stretch->TakeNextPart();
        piece.stretch->SetHeight(piece.full_height);
      }
    }
  }
}
