#include "base/rounding.h"
#include "base/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovx {
namespace {

TEST(RoundTest, HalvesGoToTheEvenNeighbour) {
  const struct {
    double value;
    qint64 expected;
  } cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {-3.5, -4},
      {0.5, 0},
      {-0.5, 0},
      {1.5, 2},
      {2.4999, 2},
      {2.5000001, 3},
      {-2.5000001, -3},
      {561.26, 561},
      {396.85, 397},
      {4503599627370497.0, 4503599627370497},
  };
  for (const auto& c : cases) EXPECT_EQ(Round(c.value), c.expected) << c.value;
}

TEST(RoundTest, NonFiniteAndHugeValuesHaveDefinedResults) {
  constexpr qint64 kMax = std::numeric_limits<qint64>::max();
  constexpr qint64 kMin = std::numeric_limits<qint64>::min();
  EXPECT_EQ(Round(std::nan("")), 0);
  EXPECT_EQ(Round(std::numeric_limits<double>::infinity()), kMax);
  EXPECT_EQ(Round(-std::numeric_limits<double>::infinity()), kMin);
  EXPECT_EQ(Round(9223372036854775808.0), kMax);   // 2^63, just out of range
  EXPECT_EQ(Round(-9223372036854775808.0), kMin);  // -2^63, just in range
  EXPECT_EQ(Round(1e300), kMax);
  EXPECT_EQ(Round(-1e300), kMin);
  EXPECT_EQ(Round(9223372036854774784.0), 9223372036854774784);  // largest double below 2^63
}

TEST(MulDivTest, RoundsHalvesAwayFromZero) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  const struct {
    int a, b, c, expected;
  } cases[] = {
      {10, 96, 72, 13},    // 13.33
      {-13, 72, 96, -10},  // -9.75
      {1, 1, 2, 1},        // 0.5
      {-1, 1, 2, -1},      // -0.5
      {1, -1, 2, -1},
      {-1, -1, 2, 1},
      {1, 1, -2, -1},
      {-1, 1, -2, 1},
      {5, 1, 2, 3},  // 2.5: away from zero, not to even
      {1, 1, 3, 0},
      {2, 1, 3, 1},
      {-2, 1, 3, -1},
      {0, 5, 7, 0},
      {kMax, kMax, kMax, kMax},  // the product needs 62 bits
      {kMin, kMin, kMin, kMin},
      {kMin, 1, 1, kMin},
      {kMax, 3, 6, 1073741824},  // 1073741823.5
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
  }
}

TEST(MulDivTest, FailuresGiveMinusOneOrNullopt) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  const struct {
    int a, b, c;
  } failures[] = {{1, 1, 0},     {0, 0, 0},     {kMax, 2, 1},
                  {kMin, -1, 1}, {kMin, 1, -1}, {kMax, kMax, 1}};
  for (const auto& f : failures) {
    EXPECT_EQ(MulDiv(f.a, f.b, f.c), -1) << f.a << " * " << f.b << " / " << f.c;
    EXPECT_FALSE(TryMulDiv(f.a, f.b, f.c).has_value()) << f.a << " * " << f.b << " / " << f.c;
  }
  // A genuine -1 stays distinguishable from failure.
  EXPECT_EQ(TryMulDiv(-1, 1, 2), -1);
}

TEST(UnitsTest, ConversionsAndTolerance) {
  EXPECT_DOUBLE_EQ(ov1cm, 10 * ov01cm);
  EXPECT_DOUBLE_EQ(ov1in, 10 * ov01in);
  // The application's page: 148.5 x 105 mm.
  EXPECT_EQ(MmToUnits(148.5), 561);  // 561.26
  EXPECT_EQ(MmToUnits(105), 397);    // 396.85
  EXPECT_EQ(MmToUnits(297), 1123);   // 1122.52
  EXPECT_DOUBLE_EQ(UnitsToPoints(ov1in), 72);
  EXPECT_DOUBLE_EQ(PointsToUnits(72), ov1in);
  EXPECT_TRUE(SamePosition(10, 10.0001));
  EXPECT_TRUE(SamePosition(10.0001, 10));
  EXPECT_FALSE(SamePosition(10, 10.00011));
}

}  // namespace
}  // namespace ovx
