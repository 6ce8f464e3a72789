#include "base/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ovx {

qint64 Round(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  // 2^63 is exactly representable; every double below it and at or above
  // -2^63 converts without overflow.
  constexpr double kLimit = 9223372036854775808.0;
  if (rounded >= kLimit) return std::numeric_limits<qint64>::max();
  if (rounded < -kLimit) return std::numeric_limits<qint64>::min();
  return static_cast<qint64>(rounded);
}

int RoundToInt(double value) {
  const qint64 r = Round(value);
  return static_cast<int>(
      std::clamp<qint64>(r, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::optional<int> TryMulDiv(int a, int b, int c) {
  if (c == 0) return std::nullopt;
  // |a * b| <= 2^62, so neither the product nor its negation overflows, and a
  // negated divisor (at most 2^31) fits as well.
  std::int64_t product = static_cast<std::int64_t>(a) * b;
  std::int64_t divisor = c;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  // Division truncates toward zero, so moving the dividend half a divisor
  // away from zero first rounds halves away from zero. For odd divisors the
  // truncated half is still exact: no remainder equals c / 2 there.
  const std::int64_t half = divisor / 2;
  const std::int64_t result = (product >= 0 ? product + half : product - half) / divisor;
  if (result < std::numeric_limits<int>::min() || result > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(result);
}

int MulDiv(int a, int b, int c) { return TryMulDiv(a, b, c).value_or(-1); }

}  // namespace ovx
