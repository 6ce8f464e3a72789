// Rounding rules of report values.
//
// Report arithmetic rounds to the nearest integer with halves going to the
// even neighbour (banker's rounding), which is what the FPU does under its
// default rounding mode; nothing in the program changes that mode. Device
// geometry that imitates the platform's multiply-then-divide helper rounds
// halves away from zero instead, hence the separate MulDiv. Integer div and
// mod truncate toward zero, which is plain C++ `/` and `%`.
#pragma once

#include <QtGlobal>

#include <optional>

namespace ovx {

// Nearest integer, halves to even: Round(2.5) == 2, Round(3.5) == 4,
// Round(-2.5) == -2. Defined for every input: NaN gives 0, and values beyond
// the qint64 range (infinities included) saturate to its minimum or maximum.
qint64 Round(double value);

// Round, saturated to the int range: device coordinates computed from the
// absurd sizes a damaged file may hold clamp instead of overflowing.
int RoundToInt(double value);

// a * b / c with a 64-bit intermediate, rounded to nearest with halves away
// from zero. nullopt when c is 0 or the result does not fit an int.
std::optional<int> TryMulDiv(int a, int b, int c);

// The platform convention: like TryMulDiv, but failures give -1. Note that -1
// is also a genuine result (MulDiv(-1, 1, 2)); callers that must tell the two
// apart use TryMulDiv.
int MulDiv(int a, int b, int c);

}  // namespace ovx
