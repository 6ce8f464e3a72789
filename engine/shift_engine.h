// Moving the objects of a band below objects whose height changed.
//
// Works on plain rectangles so it can be tested alone. kinds:
// - seDontShift: nothing moves;
// - seLinear: an object moves by the growth of every object above it whose
//   old bottom lies at or above its top (the largest growth wins, a shrink
//   moves it up by the smallest); smWhenOverlapped objects only follow
//   objects they overlap horizontally;
// - seTree: an object hangs below every object above it that overlaps it
//   horizontally with no third such object between them; it moves once,
//   by the largest move among those parents (a parent's own move plus its
//   growth), so template distances are kept.
// smDontShift objects never move (their growth still moves others).
#pragma once

#include "report/model/band.h"
#include "report/model/view.h"

#include <vector>

namespace ovx {

struct ShiftItem {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;  // before the change
  double growth = 0;  // new height minus old height
  TovxShiftMode mode = TovxShiftMode::smAlways;
};

// The amount each item moves down (same order as `items`).
std::vector<double> ComputeShifts(TovxShiftEngine kind, const std::vector<ShiftItem>& items);

}  // namespace ovx
