// Date-times as serial numbers.
//
// Scripts, report variables and templates keep a date-time as a double: the
// integer part counts days since 1899-12-30, the fraction is the time of day.
// Below zero the fraction still counts forward from midnight (its absolute
// value is the time), so -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00. A
// consequence is that -0.5 and 0.5 denote the same moment.
//
// Conversions do no time-zone arithmetic: a serial is a wall-clock reading and
// becomes a QDateTime in UTC, which has no daylight-saving gaps that could
// shift or reject a time. Times resolve to the nearest millisecond. The range
// is the years 1 to 9999.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <optional>

namespace ovx {

inline constexpr double kSerialDayMillis = 86400000.0;
// 0001-01-01 and 9999-12-31 as day numbers.
inline constexpr int kMinSerialDay = -693593;
inline constexpr int kMaxSerialDay = 2958465;

// Invalid QDateTime for NaN, infinities and serials outside the range.
QDateTime DateTimeFromSerial(double serial);
QDate DateFromSerial(double serial);
QTime TimeFromSerial(double serial);

// The wall-clock date and time of `date_time` as they are, whatever its time
// spec. nullopt for invalid input or a date outside the range.
std::optional<double> SerialFromDateTime(const QDateTime& date_time);
std::optional<double> SerialFromDate(QDate date);
// The fraction of a day; nullopt for an invalid time.
std::optional<double> SerialFromTime(QTime time);

}  // namespace ovx
