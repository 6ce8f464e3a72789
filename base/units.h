// Report units and the constants that convert to them.
//
// Positions and sizes of report objects are doubles in screen units of 96 per
// inch, independent of any device. Paper sizes stay in millimetres; a page's
// size in units is the millimetre value times 3.77953, rounded. The constants
// below keep the names report authors and scripts know, so they live at
// global scope.
#pragma once

#include <cmath>

inline constexpr double ov01cm = 3.77953;  // units per millimetre
inline constexpr double ov1cm = 37.7953;   // units per centimetre
inline constexpr double ov01in = 9.6;      // units per tenth of an inch
inline constexpr double ov1in = 96;        // units per inch
// One character cell of character-grid reports.
inline constexpr double ov1CharX = 9.6;
inline constexpr double ov1CharY = 17;

namespace ovx {

// Positions computed along different paths (stretching, splitting, loading a
// rounded text) differ in the last bits; closer than this they are the same.
inline constexpr double kPositionTolerance = 0.0001;

inline bool SamePosition(double a, double b) { return std::fabs(a - b) <= kPositionTolerance; }

// Millimetres to whole report units. Halves go to the even neighbour, like
// every rounding of report values; NaN and infinities pass through unchanged.
inline double MmToUnits(double mm) { return std::nearbyint(mm * ov01cm); }

// PDF user space has 72 points per inch.
inline constexpr double UnitsToPoints(double units) { return units * 0.75; }
inline constexpr double PointsToUnits(double points) { return points / 0.75; }

}  // namespace ovx
