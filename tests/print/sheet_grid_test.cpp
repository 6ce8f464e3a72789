// How many pages a sheet holds, and the grids of joined and split pages.
#include "print/sheet_grid.h"
#include "base/error.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovx {
namespace {

TEST(SheetGridTest, FitCountRoundsAwayRemaindersBelowElevenMillimetres) {
  struct Case {
    double whole, part;
    int count;
  };
  const Case cases[] = {
      {210, 148.5, 2},  // 61.5 mm over: one more
      {297, 105, 3},    // 87 mm over
      {210, 105, 2},    // exact
      {297, 148.5, 2},  //
      {300, 297, 1},    // 3 mm over: rounded away
      {400, 210, 2},    //
      {307, 297, 1},    // 10 mm over: still one
      {308, 297, 2},    // 11 mm over: one more
      {210, 300, 1},    // a page larger than the sheet takes one
      {12, 30, 1},      // 12 mm left over
      {25, 10, 2},      // 5 mm over, 2.5 rounds to even
      {35, 10, 4},      // 5 mm over, 3.5 rounds to even
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitCount(c.whole, c.part), c.count) << c.whole << " / " << c.part;
  }
}

TEST(SheetGridTest, ArrangeTurnsOnlyForFewerPieces) {
  struct Case {
    double a, b, c, d;
    SheetGrid grid;
  };
  const Case cases[] = {
      // Four 148.5 x 105 pages on A4, turned: 2 x 2 instead of 2 x 3.
      {210, 297, 148.5, 105, {2, 2, true}},
      // The same pages on an A4 sheet already turned.
      {297, 210, 148.5, 105, {2, 2, false}},
      // A5 pages on A4: 2 x 2 as they lie (62 mm too much across), two turned.
      {210, 297, 148, 210, {1, 2, true}},
      // A 300 x 400 mm page in A4 pieces: 1 x 2 turned, not 2 x 2.
      {300, 400, 210, 297, {1, 2, true}},
  };
  for (const Case& c : cases) {
    const SheetGrid grid = Arrange(c.a, c.b, c.c, c.d);
    EXPECT_EQ(grid.columns, c.grid.columns) << c.a << "x" << c.b << " by " << c.c << "x" << c.d;
    EXPECT_EQ(grid.rows, c.grid.rows) << c.a << "x" << c.b << " by " << c.c << "x" << c.d;
    EXPECT_EQ(grid.rotated, c.grid.rotated) << c.a << "x" << c.b << " by " << c.c << "x" << c.d;
  }
}

TEST(SheetGridTest, SizesThatCannotBeArrangedAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double whole, part;
  };
  const Case cases[] = {
      {210, 0},    {210, -5},  {0, 105},   {-210, 105}, {210, nan},
      {nan, 105},  {inf, 105}, {210, inf}, {5, 30},  // less than one piece
      {210, 1e-9},                                   // millions of cells
      {1e12, 210},
  };
  for (const Case& c : cases) {
    try {
      (void)FitCount(c.whole, c.part);
      ADD_FAILURE() << c.whole << " / " << c.part << " was arranged";
    } catch (const Error& e) {
      EXPECT_EQ(e.ResourceName(), "rsPrintBadSheetGrid");
    }
  }
  EXPECT_THROW((void)Arrange(210, 297, 0, 105), Error);
  EXPECT_EQ(FitCount(kMaxSheetGrid, 1), kMaxSheetGrid);
}

}  // namespace
}  // namespace ovx
