// How pages share a sheet (join) or a page spreads over sheets (split).
//
// Counts are in whole pages per sheet side, with the tolerance printing has
// always had: a remainder of 11 mm or more needs one more piece, a smaller
// one is rounded away (a 148.5 mm page goes twice into 297 mm, a 300 mm page
// once into 297 mm, its last 3 mm lost in the margin).
//
// The arithmetic refuses what it cannot place: a size of zero or less, or a
// grid of more than kMaxSheetGrid pieces along a side (a damaged prepared
// report). That is an ovx::Error for the job to show, never a division by
// zero or a job of millions of sheets.
#pragma once

namespace ovx {

inline constexpr int kMaxSheetGrid = 1000;

// How many `part`s fit along `whole` (both in millimetres).
int FitCount(double whole, double part);

struct SheetGrid {
  int columns = 1;
  int rows = 1;
  // The other way round (part turned) needs fewer pieces.
  bool rotated = false;
};

// Pieces of c x d along a x b: columns = FitCount(a, c), rows = FitCount(b,
// d); turned (FitCount(a, d) by FitCount(b, c)) only when that gives fewer.
SheetGrid Arrange(double a, double b, double c, double d);

}  // namespace ovx
