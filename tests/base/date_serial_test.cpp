#include "base/date_serial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovx {
namespace {

QString Text(const QDateTime& date_time) {
  return date_time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

TEST(DateSerialTest, SerialsBecomeWallClockTimes) {
  const struct {
    double serial;
    const char* expected;
  } cases[] = {
      {43490.6580637153, "2019-01-25 15:47:36.705"},
      {0, "1899-12-30 00:00:00.000"},
      {2, "1900-01-01 00:00:00.000"},
      {1.5, "1899-12-31 12:00:00.000"},
      {-1.25, "1899-12-29 06:00:00.000"},  // the fraction counts forward below zero too
      {-1.75, "1899-12-29 18:00:00.000"},
      {-0.5, "1899-12-30 12:00:00.000"},
      {0.99999999999, "1899-12-31 00:00:00.000"},   // rounds up into the next day
      {-1.99999999999, "1899-12-30 00:00:00.000"},  // and here too
      {0.0000000058, "1899-12-30 00:00:00.001"},    // 0.501 ms
      {-693593, "0001-01-01 00:00:00.000"},
      {2958465.5, "9999-12-31 12:00:00.000"},
      {2958465.9999999, "9999-12-31 23:59:59.991"},
  };
  for (const auto& c : cases) {
    const QDateTime date_time = DateTimeFromSerial(c.serial);
    ASSERT_TRUE(date_time.isValid()) << c.expected;
    EXPECT_EQ(Text(date_time), QString::fromLatin1(c.expected));
    EXPECT_EQ(date_time.timeSpec(), Qt::UTC);
    EXPECT_EQ(DateFromSerial(c.serial), date_time.date());
    EXPECT_EQ(TimeFromSerial(c.serial), date_time.time());
  }
}

TEST(DateSerialTest, RejectsWhatNoDateCanBe) {
  const double cases[] = {
      std::numeric_limits<double>::quiet_NaN(),
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      2958466,
      2958465.999999995,  // rounds to midnight of the year 10000
      -693594,
      1e300,
      -1e300,
  };
  for (const double serial : cases) {
    EXPECT_FALSE(DateTimeFromSerial(serial).isValid()) << serial;
    EXPECT_FALSE(DateFromSerial(serial).isValid()) << serial;
  }
}

TEST(DateSerialTest, DateTimesBecomeSerials) {
  const struct {
    QDateTime date_time;
    double expected;
  } cases[] = {
      {QDateTime(QDate(2019, 1, 25), QTime(15, 47, 36, 705), Qt::UTC), 43490.65806371528},
      {QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC), 0},
      {QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC), -1.25},
      {QDateTime(QDate(1900, 1, 1), QTime(18, 0), Qt::UTC), 2.75},
      // The wall clock counts, whatever the time spec.
      {QDateTime(QDate(2019, 1, 25), QTime(12, 0), Qt::LocalTime), 43490.5},
      {QDateTime(QDate(2019, 1, 25), QTime(12, 0), Qt::OffsetFromUTC, 8 * 3600), 43490.5},
  };
  for (const auto& c : cases) {
    const std::optional<double> serial = SerialFromDateTime(c.date_time);
    ASSERT_TRUE(serial.has_value()) << Text(c.date_time).toStdString();
    EXPECT_NEAR(*serial, c.expected, 1e-9) << Text(c.date_time).toStdString();
  }
  EXPECT_EQ(SerialFromDate(QDate(1900, 1, 1)), 2);
  EXPECT_EQ(SerialFromTime(QTime(6, 0)), 0.25);

  EXPECT_FALSE(SerialFromDateTime(QDateTime()).has_value());
  EXPECT_FALSE(SerialFromDate(QDate()).has_value());
  EXPECT_FALSE(SerialFromDate(QDate(10000, 1, 1)).has_value());
  EXPECT_FALSE(SerialFromDate(QDate(-1, 12, 31)).has_value());
  EXPECT_FALSE(SerialFromTime(QTime()).has_value());
}

TEST(DateSerialTest, RoundTrips) {
  const QDateTime date_times[] = {
      QDateTime(QDate(2019, 1, 25), QTime(15, 47, 36, 705), Qt::UTC),
      QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59, 999), Qt::UTC),
      QDateTime(QDate(1899, 12, 29), QTime(0, 0, 0, 1), Qt::UTC),
      QDateTime(QDate(1753, 2, 28), QTime(13, 14, 15, 16), Qt::UTC),
      QDateTime(QDate(1, 1, 1), QTime(0, 0, 0, 1), Qt::UTC),
      QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
      QDateTime(QDate(2000, 2, 29), QTime(12, 0), Qt::UTC),
  };
  for (const QDateTime& date_time : date_times) {
    const std::optional<double> serial = SerialFromDateTime(date_time);
    ASSERT_TRUE(serial.has_value()) << Text(date_time).toStdString();
    EXPECT_EQ(DateTimeFromSerial(*serial), date_time) << Text(date_time).toStdString();
  }

  constexpr double kHalfMilli = 0.5 / kSerialDayMillis;
  const double serials[] = {43490.6580637153, 0,          1,        0.25, -1.25,
                            -400000.123456,   2958465.75, -693593.5};
  for (const double serial : serials) {
    const std::optional<double> back = SerialFromDateTime(DateTimeFromSerial(serial));
    ASSERT_TRUE(back.has_value()) << serial;
    EXPECT_NEAR(*back, serial, kHalfMilli) << serial;
  }
}

}  // namespace
}  // namespace ovx
