// Moving objects below stretched ones (see shift_engine.h).
#include "engine/shift_engine.h"

#include <algorithm>
#include <numeric>

namespace ovx {
namespace {

constexpr double kEpsilon = 0.0001;

bool OverlapHorizontally(const ShiftItem& a, const ShiftItem& b) {
  return a.left < b.left + b.width - kEpsilon && b.left < a.left + a.width - kEpsilon;
}

// `upper` ends at or above the top of `lower`.
bool Above(const ShiftItem& upper, const ShiftItem& lower) {
  return upper.top + upper.height <= lower.top + kEpsilon;
}

std::vector<double> Linear(const std::vector<ShiftItem>& items) {
  std::vector<double> shifts(items.size(), 0);
  for (size_t i = 0; i < items.size(); ++i) {
    const ShiftItem& item = items[i];
    if (item.mode == TovxShiftMode::smDontShift) continue;
    double down = 0;
    double up = 0;
    for (const ShiftItem& other : items) {
      if (&other == &item || other.growth == 0 || !Above(other, item)) continue;
      if (item.mode == TovxShiftMode::smWhenOverlapped && !OverlapHorizontally(other, item)) {
        continue;
      }
      down = std::max(down, other.growth);
      up = std::min(up, other.growth);
    }
    shifts[i] = down > 0 ? down : up;
  }
  return shifts;
}

std::vector<double> Tree(const std::vector<ShiftItem>& items) {
  std::vector<size_t> order(items.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return items[a].top < items[b].top; });
  // How far each item's bottom moves: its own move plus its growth.
  std::vector<double> shifts(items.size(), 0);
  std::vector<double> bottom_moves(items.size(), 0);
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    const ShiftItem& item = items[i];
    bool has_parent = false;
    double move = 0;
    for (size_t m = 0; m < k; ++m) {
      const size_t p = order[m];
      const ShiftItem& parent = items[p];
      if (!Above(parent, item) || !OverlapHorizontally(parent, item)) continue;
      // A third object between them, overlapping both, is the nearer parent.
      bool between = false;
      for (size_t n = 0; n < k && !between; ++n) {
        const ShiftItem& third = items[order[n]];
        if (order[n] == p) continue;
        between = Above(parent, third) && Above(third, item) && OverlapHorizontally(third, item) &&
                  OverlapHorizontally(third, parent);
      }
      if (between) continue;
      move = has_parent ? std::max(move, bottom_moves[p]) : bottom_moves[p];
      has_parent = true;
    }
    if (item.mode == TovxShiftMode::smDontShift) move = 0;
    shifts[i] = move;
    bottom_moves[i] = move + item.growth;
  }
  return shifts;
}

}  // namespace

std::vector<double> ComputeShifts(TovxShiftEngine kind, const std::vector<ShiftItem>& items) {
  switch (kind) {
    case TovxShiftEngine::seDontShift:
      return std::vector<double>(items.size(), 0);
    case TovxShiftEngine::seLinear:
      return Linear(items);
    case TovxShiftEngine::seTree:
      break;
  }
  return Tree(items);
}

}  // namespace ovx
