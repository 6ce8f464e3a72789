// Dates and numbers.
//
// Dates are serials (days since 1899-12-30, base/date_serial.h) held as
// floats. Calendar arguments from a script are checked before they reach a
// table or QDate, and a serial outside the years 1 to 9999 is an error, not
// an invalid date passed on.
//
// The numeric functions compute in double. A result the platform's FPU
// would trap on (NaN from a number, an infinity from a finite number) is a
// script error of the same class, so a script never carries a NaN into an
// integer conversion or a report text.
#include "base/date_serial.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "base/value_format.h"
#include "script/sys_functions_internal.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace ovx::sys {
namespace {

using V = ScriptValue;

bool IsLeapYear(qint64 year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(qint64 year, qint64 month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) {
    Fail("ERangeError", "rsScriptInvalidMonth", QStringLiteral("Invalid month: %1"),
         FormatInt(month));
  }
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

// 2^63: doubles at or beyond it (and below its negative) have no Int64.
constexpr double kInt64Limit = 9223372036854775808.0;

double NumberArg(const ScriptMethodCall& call, int i) {
  const double d = call.Arg(i).ToFloat();
  if (std::isnan(d)) InvalidFloatOperation();
  return d;
}

// The rounded or truncated number as an integer value; integers pass as
// they are (a double would lose the low digits of a large Int64).
V IntegerOf(const ScriptMethodCall& call, double (*how)(double)) {
  const V v = call.Arg(0);
  if (v.IsIntegral()) return v;
  // Checked before rounding: Round saturates. Near 2^63 every double is an
  // integer, so rounding and truncating cannot leave the range once in it.
  const double d = NumberArg(call, 0);
  if (!std::isfinite(d) || d >= kInt64Limit || d < -kInt64Limit) InvalidFloatOperation();
  return V::Integer(static_cast<qint64>(how(d)));
}

double RoundToEven(double d) { return static_cast<double>(ovx::Round(d)); }

// The outcome of f(x) as the FPU would report it.
V Checked(double x, double result) {
  if (std::isnan(result)) InvalidFloatOperation();
  if (std::isinf(result) && std::isfinite(x)) {
    if (x == 0) {
      Fail("EZeroDivide", "rsScriptFloatZeroDivide",
           QStringLiteral("Floating point division by zero"));
    }
    Fail("EOverflow", "rsScriptFloatOverflow", QStringLiteral("Floating point overflow"));
  }
  return V::Float(result);
}

using Unary = double (*)(double);

void AddUnary(std::vector<SysFunction>& out, const char* declaration, Unary f) {
  out.push_back(
      {QStringLiteral("ctMath"), QString::fromLatin1(declaration), [f](ScriptMethodCall& c) {
         const double x = NumberArg(c, 0);
         return Checked(x, f(x));
       }});
}

}  // namespace

// --- date and time text ------------------------------------------------------

namespace {

// "d/m/y" parts in the order of the short date format.
std::optional<QDate> ParseDatePart(QStringView text) {
  const FormatSettings& s = FormatSettings::Default();
  text = text.trimmed();
  std::vector<int> numbers;
  std::vector<int> digit_counts;
  qsizetype i = 0;
  while (i < text.size()) {
    const qsizetype start = i;
    int n = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - start < 4) {
      n = n * 10 + (text[i].unicode() - u'0');
      ++i;
    }
    if (i == start) return std::nullopt;
    numbers.push_back(n);
    digit_counts.push_back(static_cast<int>(i - start));
    if (i == text.size()) break;
    const QChar sep = text[i];
    const bool separator = (!s.date_separator.isEmpty() && sep == s.date_separator[0]) ||
                           sep == u'/' || sep == u'-' || sep == u'.';
    if (!separator || numbers.size() == 3) return std::nullopt;
    if (++i == text.size()) return std::nullopt;
  }
  if (numbers.size() < 2) return std::nullopt;
  // Which of year, month and day come first, by the format's letters.
  const QString pattern = s.short_date_format.toLower();
  struct Field {
    char letter;
    qsizetype at;
  };
  Field order[3] = {
      {'y', pattern.indexOf(u'y')}, {'m', pattern.indexOf(u'm')}, {'d', pattern.indexOf(u'd')}};
  std::sort(std::begin(order), std::end(order),
            [](const Field& a, const Field& b) { return a.at < b.at; });
  int year = QDate::currentDate().year(), month = 0, day = 0, year_digits = 4;
  size_t next = 0;
  for (const Field& f : order) {
    if (f.letter == 'y' && numbers.size() == 2) continue;  // no year: this one
    const int v = numbers[next];
    if (f.letter == 'y') {
      year = v;
      year_digits = digit_counts[next];
    } else if (f.letter == 'm') {
      month = v;
    } else {
      day = v;
    }
    ++next;
  }
  if (year_digits <= 2) {
    // Two-digit years fall in the 100 years ending 50 years from now.
    const int window_start = QDate::currentDate().year() - 50;
    year += window_start / 100 * 100;
    if (year < window_start) year += 100;
  }
  if (year < 1 || year > 9999) return std::nullopt;
  const QDate date(year, month, day);
  if (!date.isValid()) return std::nullopt;
  return date;
}

// "h:n[:s[.zzz]]" with an optional AM/PM marker ("h AM" too).
std::optional<QTime> ParseTimePart(QStringView text) {
  const FormatSettings& s = FormatSettings::Default();
  text = text.trimmed();
  int half = 0;  // 1 am, 2 pm
  for (const auto& [marker, which] :
       {std::pair{QStringView(s.time_am), 1}, std::pair{QStringView(s.time_pm), 2},
        std::pair{QStringView(u"AM"), 1}, std::pair{QStringView(u"PM"), 2}}) {
    if (!marker.isEmpty() && text.endsWith(marker, Qt::CaseInsensitive)) {
      half = which;
      text = text.chopped(marker.size()).trimmed();
      break;
    }
  }
  int parts[4] = {0, 0, 0, 0};
  int count = 0;
  qsizetype i = 0;
  while (i < text.size() && count < 4) {
    const qsizetype start = i;
    int n = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - start < 3) {
      n = n * 10 + (text[i].unicode() - u'0');
      ++i;
    }
    if (i == start) return std::nullopt;
    parts[count++] = n;
    if (i == text.size()) break;
    const QChar sep = text[i];
    const bool time_sep =
        sep == u':' || (!s.time_separator.isEmpty() && sep == s.time_separator[0]);
    if (!(count < 3 ? time_sep : count == 3 && sep == u'.')) return std::nullopt;
    if (++i == text.size()) return std::nullopt;
  }
  if (i != text.size() || count == 0 || (count == 1 && !half)) return std::nullopt;
  int hour = parts[0];
  if (half) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (half == 2 ? 12 : 0);
  }
  if (hour > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 999) return std::nullopt;
  return QTime(hour, parts[1], parts[2], parts[3]);
}

}  // namespace

std::optional<double> ParseDateText(QStringView text) {
  const std::optional<QDate> date = ParseDatePart(text);
  return date ? SerialFromDate(*date) : std::nullopt;
}

std::optional<double> ParseTimeText(QStringView text) {
  const std::optional<QTime> time = ParseTimePart(text);
  return time ? SerialFromTime(*time) : std::nullopt;
}

std::optional<double> ParseDateTimeText(QStringView text) {
  text = text.trimmed();
  if (const std::optional<QDate> date = ParseDatePart(text)) return SerialFromDate(*date);
  const qsizetype blank = text.indexOf(u' ');
  if (blank < 0) return ParseTimeText(text);
  const std::optional<QDate> date = ParseDatePart(text.left(blank));
  const std::optional<QTime> time = ParseTimePart(text.mid(blank + 1));
  if (!date || !time) return std::nullopt;
  return SerialFromDateTime(QDateTime(*date, *time, Qt::UTC));
}

// --- the functions ------------------------------------------------------------

void AddDateFunctions(std::vector<SysFunction>& out) {
  const QString cat = QStringLiteral("ctDate");
  out.push_back({cat, QStringLiteral("function EncodeDate(Year, Month, Day: Word): TDateTime"),
                 [](ScriptMethodCall& c) {
                   const qint64 y = c.Arg(0).ToInt64(), m = c.Arg(1).ToInt64(),
                                d = c.Arg(2).ToInt64();
                   std::optional<double> serial;
                   if (y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= 31)
                     serial = SerialFromDate(QDate(int(y), int(m), int(d)));
                   if (!serial) {
                     Fail("EConvertError", "rsScriptDateEncode",
                          QStringLiteral("Invalid argument to date encode"));
                   }
                   return V::Date(*serial);
                 }});
  out.push_back(
      {cat, QStringLiteral("procedure DecodeDate(Date: TDateTime; var Year, Month, Day: Word)"),
       [](ScriptMethodCall& c) {
         const QDate date = DateTimeArg(c, 0).date();
         c.SetArg(1, V::Int(date.year()));
         c.SetArg(2, V::Int(date.month()));
         c.SetArg(3, V::Int(date.day()));
         return V();
       }});
  out.push_back({cat, QStringLiteral("function EncodeTime(Hour, Min, Sec, MSec: Word): TDateTime"),
                 [](ScriptMethodCall& c) {
                   const qint64 h = c.Arg(0).ToInt64(), m = c.Arg(1).ToInt64(),
                                s = c.Arg(2).ToInt64(), ms = c.Arg(3).ToInt64();
                   if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0 ||
                       ms > 999) {
                     Fail("EConvertError", "rsScriptTimeEncode",
                          QStringLiteral("Invalid argument to time encode"));
                   }
                   return V::Date(static_cast<double>(((h * 60 + m) * 60 + s) * 1000 + ms) /
                                  kSerialDayMillis);
                 }});
  out.push_back(
      {cat, QStringLiteral("procedure DecodeTime(Time: TDateTime; var Hour, Min, Sec, MSec: Word)"),
       [](ScriptMethodCall& c) {
         const QTime time = DateTimeArg(c, 0).time();
         c.SetArg(1, V::Int(time.hour()));
         c.SetArg(2, V::Int(time.minute()));
         c.SetArg(3, V::Int(time.second()));
         c.SetArg(4, V::Int(time.msec()));
         return V();
       }});
  out.push_back({cat, QStringLiteral("function Date: TDateTime"), [](ScriptMethodCall&) {
                   return V::Date(SerialFromDate(QDate::currentDate()).value_or(0));
                 }});
  out.push_back({cat, QStringLiteral("function Time: TDateTime"), [](ScriptMethodCall&) {
                   return V::Date(SerialFromTime(QTime::currentTime()).value_or(0));
                 }});
  out.push_back({cat, QStringLiteral("function Now: TDateTime"), [](ScriptMethodCall&) {
                   return V::Date(SerialFromDateTime(QDateTime::currentDateTime()).value_or(0));
                 }});
  out.push_back({cat, QStringLiteral("function DayOfWeek(aDate: TDateTime): Integer"),
                 [](ScriptMethodCall& c) {
                   // Qt counts Monday 1 to Sunday 7; scripts count Sunday 1.
                   return V::Int(DateTimeArg(c, 0).date().dayOfWeek() % 7 + 1);
                 }});
  out.push_back({cat, QStringLiteral("function IsLeapYear(Year: Word): Boolean"),
                 [](ScriptMethodCall& c) { return V::Bool(IsLeapYear(c.Arg(0).ToInt64())); }});
  out.push_back({cat, QStringLiteral("function DaysInMonth(nYear, nMonth: Integer): Integer"),
                 [](ScriptMethodCall& c) {
                   return V::Int(DaysInMonth(c.Arg(0).ToInt64(), c.Arg(1).ToInt64()));
                 }});
}

void AddMathFunctions(std::vector<SysFunction>& out) {
  const QString cat = QStringLiteral("ctMath");
  out.push_back({cat, QStringLiteral("function Round(e: Extended): Integer"),
                 [](ScriptMethodCall& c) { return IntegerOf(c, RoundToEven); }});
  out.push_back(
      {cat, QStringLiteral("function Trunc(e: Extended): Integer"),
       [](ScriptMethodCall& c) { return IntegerOf(c, [](double d) { return std::trunc(d); }); }});
  // Declared Integer, but the integral part of any double fits a double.
  AddUnary(out, "function Int(e: Extended): Integer", [](double d) {
    if (!std::isfinite(d)) InvalidFloatOperation();
    return std::trunc(d);
  });
  AddUnary(out, "function Frac(X: Extended): Extended", [](double d) {
    if (!std::isfinite(d)) InvalidFloatOperation();
    return d - std::trunc(d);
  });
  AddUnary(out, "function Sqrt(e: Extended): Extended", [](double d) { return std::sqrt(d); });
  AddUnary(out, "function Abs(e: Extended): Extended", [](double d) { return std::fabs(d); });
  AddUnary(out, "function Sin(e: Extended): Extended", [](double d) { return std::sin(d); });
  AddUnary(out, "function Cos(e: Extended): Extended", [](double d) { return std::cos(d); });
  AddUnary(out, "function ArcTan(X: Extended): Extended", [](double d) { return std::atan(d); });
  AddUnary(out, "function Tan(X: Extended): Extended",
           [](double d) { return std::sin(d) / std::cos(d); });
  AddUnary(out, "function Exp(X: Extended): Extended", [](double d) { return std::exp(d); });
  AddUnary(out, "function Ln(X: Extended): Extended", [](double d) { return std::log(d); });
  out.push_back({cat, QStringLiteral("function Pi: Extended"),
                 [](ScriptMethodCall&) { return V::Float(3.1415926535897932385); }});
}

}  // namespace ovx::sys
