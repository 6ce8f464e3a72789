#include "base/date_serial.h"

#include <cmath>

namespace ovx {
namespace {

constexpr qint64 kDayMillis = 86400000;

QDate Epoch() { return QDate(1899, 12, 30); }

}  // namespace

QDateTime DateTimeFromSerial(double serial) {
  if (!std::isfinite(serial)) return {};
  const double day_part = std::trunc(serial);
  if (day_part < kMinSerialDay || day_part > kMaxSerialDay) return {};
  auto day = static_cast<qint64>(day_part);
  // Subtracting the integer part of a double is exact.
  auto millis = std::llround(std::fabs(serial - day_part) * kSerialDayMillis);
  if (millis >= kDayMillis) {
    // Rounded up to midnight: the next calendar day, which is day + 1 on both
    // sides of zero because the fraction always counts forward.
    millis = 0;
    ++day;
    if (day > kMaxSerialDay) return {};
  }
  return QDateTime(Epoch().addDays(day), QTime::fromMSecsSinceStartOfDay(static_cast<int>(millis)),
                   Qt::UTC);
}

QDate DateFromSerial(double serial) { return DateTimeFromSerial(serial).date(); }

QTime TimeFromSerial(double serial) { return DateTimeFromSerial(serial).time(); }

std::optional<double> SerialFromDate(QDate date) {
  if (!date.isValid()) return std::nullopt;
  const qint64 day = Epoch().daysTo(date);
  if (day < kMinSerialDay || day > kMaxSerialDay) return std::nullopt;
  return static_cast<double>(day);
}

std::optional<double> SerialFromTime(QTime time) {
  if (!time.isValid()) return std::nullopt;
  return time.msecsSinceStartOfDay() / kSerialDayMillis;
}

std::optional<double> SerialFromDateTime(const QDateTime& date_time) {
  if (!date_time.isValid()) return std::nullopt;
  const std::optional<double> day = SerialFromDate(date_time.date());
  const std::optional<double> fraction = SerialFromTime(date_time.time());
  if (!day || !fraction) return std::nullopt;
  return *day >= 0 ? *day + *fraction : *day - *fraction;
}

}  // namespace ovx
