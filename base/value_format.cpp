// Numbers are turned into decimal digits once (15 significant digits for
// doubles, exact digits for integers) and every format rounds those digits
// half away from zero. Rounding the shortest decimal form rather than the
// binary value is what makes 2.675 show as 2.68 with two decimals, as a
// report author expects; the binary value is 2.67499999...
#include "base/value_format.h"

#include "base/date_serial.h"
#include "base/number_format.h"
#include "base/rounding.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ovx {
namespace {

// Bounds on what a format string may ask for; far beyond any real report.
constexpr int kMaxWidth = 255;
constexpr int kMaxPrecision = 255;
constexpr int kSignificantDigits = 15;
// Nested patterns ("c" is the short date and the long time).
constexpr int kMaxPatternDepth = 3;

const char* const kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
// Monday first, as QDate::dayOfWeek counts (1 = Monday).
const char* const kShortDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kLongDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};

// value = 0.<digits> x 10^point; zero has no digits.
struct Decimal {
  bool negative = false;
  std::string digits;
  int point = 0;

  bool IsZero() const { return digits.empty(); }
};

void TrimTrailingZeros(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.point = 0;
}

Decimal DecimalOfDouble(double value) {
  Decimal d;
  if (value == 0 || !std::isfinite(value)) return d;
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, kSignificantDigits - 1);
  const char* p = buffer;
  const char* const end = result.ptr;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') d.digits += *p;
  }
  int exponent = 0;
  if (p != end) {
    ++p;
    if (*p == '+') ++p;
    std::from_chars(p, end, exponent);
  }
  d.point = exponent + 1;
  TrimTrailingZeros(d);
  return d;
}

Decimal DecimalOfUnsigned(unsigned long long magnitude, bool negative) {
  Decimal d;
  if (magnitude == 0) return d;
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
  d.digits.assign(buffer, result.ptr);
  d.point = static_cast<int>(d.digits.size());
  d.negative = negative;
  TrimTrailingZeros(d);
  return d;
}

bool IsIntegerType(int type_id) {
  switch (type_id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
      return true;
    default:
      return false;
  }
}

bool IsFloatType(int type_id) {
  return type_id == QMetaType::Double || type_id == QMetaType::Float;
}

// Integers keep every digit; everything else goes through double.
Decimal DecimalOfValue(const QVariant& value, double number) {
  const int type = value.metaType().id();
  if (type == QMetaType::ULongLong || type == QMetaType::ULong) {
    return DecimalOfUnsigned(value.toULongLong(), false);
  }
  if (IsIntegerType(type)) {
    const qint64 v = value.toLongLong();
    const unsigned long long magnitude =
        v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    return DecimalOfUnsigned(magnitude, v < 0);
  }
  return DecimalOfDouble(number);
}

// Keeps the first `keep` digits, rounding half away from zero.
void RoundToLength(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    d.point = 0;
    return;
  }
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
      d.digits[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    }
  }
  TrimTrailingZeros(d);
}

void RoundToDecimals(Decimal& d, int decimals) {
  if (d.IsZero()) return;
  RoundToLength(d, d.point + decimals);
}

// The digits before the point ("" below 1).
std::string IntegerDigits(const Decimal& d) {
  if (d.point <= 0) return {};
  std::string s = d.digits.substr(0, std::min(d.digits.size(), static_cast<size_t>(d.point)));
  s.append(static_cast<size_t>(d.point) - s.size(), '0');
  return s;
}

// Exactly `count` digits after the point.
std::string FractionDigits(const Decimal& d, int count) {
  std::string s;
  s.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    const int index = d.point + i;
    s += index >= 0 && index < static_cast<int>(d.digits.size())
             ? d.digits[static_cast<size_t>(index)]
             : '0';
  }
  return s;
}

QString DecimalSeparator(const FormatSettings& s) {
  return s.decimal_separator.isEmpty() ? QStringLiteral(".") : s.decimal_separator;
}

// Integer digits with the thousand separator between groups of three.
QString Grouped(const std::string& digits, const QString& separator) {
  QString out;
  const int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    out += QLatin1Char(digits[static_cast<size_t>(i)]);
    const int rest = n - 1 - i;
    if (rest > 0 && rest % 3 == 0) out += separator;
  }
  return out;
}

// Fixed notation with `decimals` digits after the point.
QString FixedText(Decimal d, int decimals, const FormatSettings& s, bool grouping) {
  RoundToDecimals(d, decimals);
  std::string int_digits = IntegerDigits(d);
  if (int_digits.empty()) int_digits = "0";
  QString out;
  if (d.negative && !d.IsZero()) out += u'-';
  out += grouping ? Grouped(int_digits, s.thousand_separator) : QString::fromLatin1(int_digits);
  if (decimals > 0) {
    out += DecimalSeparator(s);
    out += QString::fromLatin1(FractionDigits(d, decimals));
  }
  return out;
}

QString ExponentText(int exponent, int min_digits, bool always_sign) {
  QString out;
  if (exponent < 0) {
    out += u'-';
  } else if (always_sign) {
    out += u'+';
  }
  QString digits = QString::number(std::abs(exponent));
  if (digits.size() < min_digits) digits.prepend(QString(min_digits - digits.size(), u'0'));
  return out + digits;
}

// "d.ddd" + "E" + exponent with `significant` digits in all.
QString ScientificText(Decimal d, int significant, int exponent_digits, bool trim,
                       const FormatSettings& s) {
  significant = std::clamp(significant, 1, kMaxPrecision);
  RoundToLength(d, significant);
  const int exponent = d.IsZero() ? 0 : d.point - 1;
  std::string digits = d.digits;
  if (digits.empty()) digits = "0";
  if (!trim)
    digits.append(static_cast<size_t>(std::max(0, significant - static_cast<int>(digits.size()))),
                  '0');
  QString out;
  if (d.negative && !d.IsZero()) out += u'-';
  out += QLatin1Char(digits[0]);
  if (digits.size() > 1) {
    out += DecimalSeparator(s);
    out += QString::fromLatin1(digits.substr(1));
  }
  out += u'E';
  out += ExponentText(exponent, exponent_digits, !trim);
  return out;
}

// At most `significant` digits, fixed while that shows the number without
// an exponent and it is at least 0.00001, trailing zeros dropped.
QString GeneralText(Decimal d, int significant, const FormatSettings& s) {
  significant = std::clamp(significant, 1, kMaxPrecision);
  RoundToLength(d, significant);
  if (d.IsZero()) return QStringLiteral("0");
  if (d.point > significant || d.point < -4) return ScientificText(d, significant, 1, true, s);
  const int decimals = std::max(0, static_cast<int>(d.digits.size()) - d.point);
  return FixedText(d, decimals, s, false);
}

bool IsFiniteNumber(double v) { return std::isfinite(v); }

QString NonFiniteText(double v) {
  if (std::isnan(v)) return QStringLiteral("NAN");
  return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
}

// --- number pictures ------------------------------------------------------------

// Where a quoted literal that starts at `i` ends (one past its closing
// quote, or the end of the text when the quote is not closed).
qsizetype SkipQuoted(QStringView text, qsizetype i) {
  const QChar quote = text[i];
  qsizetype j = i + 1;
  while (j < text.size() && text[j] != quote) ++j;
  return std::min(j + 1, text.size());
}

// The text inside the quoted literal at `i`, which ends at `end`.
QStringView QuotedInner(QStringView text, qsizetype i, qsizetype end) {
  const bool closed = end - 1 > i && text[end - 1] == text[i];
  return text.mid(i + 1, (closed ? end - 1 : end) - i - 1);
}

std::vector<QStringView> SplitSections(QStringView picture) {
  std::vector<QStringView> sections;
  qsizetype start = 0;
  qsizetype i = 0;
  while (i < picture.size()) {
    const QChar c = picture[i];
    if (c == u'"' || c == u'\'') {
      i = SkipQuoted(picture, i);
    } else if (c == u';') {
      sections.push_back(picture.mid(start, i - start));
      start = ++i;
    } else {
      ++i;
    }
  }
  sections.push_back(picture.mid(start));
  return sections;
}

bool IsExponentAt(QStringView section, qsizetype i) {
  return (section[i] == u'E' || section[i] == u'e') && i + 1 < section.size() &&
         (section[i + 1] == u'+' || section[i + 1] == u'-');
}

struct Picture {
  int int_placeholders = 0;
  int int_min = 0;  // placeholders from the first "0" before the point
  int frac_placeholders = 0;
  int frac_min = 0;  // placeholders up to the last "0" after the point
  bool grouping = false;
  bool scientific = false;
  int exponent_digits = 1;

  bool HasDigits() const { return int_placeholders + frac_placeholders > 0; }
};

Picture AnalysePicture(QStringView section) {
  Picture p;
  bool after_point = false;
  int first_int_zero = -1;
  qsizetype i = 0;
  while (i < section.size()) {
    const QChar c = section[i];
    if (c == u'"' || c == u'\'') {
      i = SkipQuoted(section, i);
      continue;
    }
    if (c == u'0' || c == u'#') {
      if (after_point) {
        ++p.frac_placeholders;
        if (c == u'0') p.frac_min = p.frac_placeholders;
      } else {
        if (c == u'0' && first_int_zero < 0) first_int_zero = p.int_placeholders;
        ++p.int_placeholders;
      }
    } else if (c == u'.') {
      after_point = true;
    } else if (c == u',') {
      p.grouping = true;
    } else if (IsExponentAt(section, i)) {
      p.scientific = true;
      i += 2;
      int zeros = 0;
      while (i < section.size() && section[i] == u'0') {
        ++zeros;
        ++i;
      }
      p.exponent_digits = std::max(zeros, 1);
      break;  // what follows the exponent is literal text
    }
    ++i;
  }
  if (first_int_zero >= 0) p.int_min = p.int_placeholders - first_int_zero;
  return p;
}

// Lays the digits of `d` (already rounded for the picture) out along the
// picture's placeholders and literals.
QString ApplyPicture(QStringView section, const Picture& p, const Decimal& d, int exponent,
                     bool minus, const FormatSettings& s) {
  std::string int_digits = IntegerDigits(d);
  if (static_cast<int>(int_digits.size()) < p.int_min) {
    int_digits.insert(0, static_cast<size_t>(p.int_min) - int_digits.size(), '0');
  }
  const int length = static_cast<int>(int_digits.size());
  const std::string frac_all = FractionDigits(d, p.frac_placeholders);
  int frac_shown = p.frac_min;
  for (int i = p.frac_placeholders - 1; i >= frac_shown; --i) {
    if (frac_all[static_cast<size_t>(i)] != '0') {
      frac_shown = i + 1;
      break;
    }
  }

  QString out;
  if (minus) out += u'-';
  const QString thousands = p.grouping ? s.thousand_separator : QString();
  auto emit_int_digit = [&](int k) {
    out += QLatin1Char(int_digits[static_cast<size_t>(k)]);
    const int rest = length - 1 - k;
    if (rest > 0 && rest % 3 == 0) out += thousands;
  };
  // Digits beyond the placeholders go with the first one.
  const int extra = length - p.int_placeholders;
  int int_seen = 0;
  int frac_seen = 0;
  bool after_point = false;
  bool point_done = false;
  auto emit_point = [&] {
    if (point_done) return;
    point_done = true;
    if (p.int_placeholders == 0) {
      for (int k = 0; k < length; ++k) emit_int_digit(k);
    }
    if (frac_shown > 0) out += DecimalSeparator(s);
  };

  qsizetype i = 0;
  while (i < section.size()) {
    const QChar c = section[i];
    if (c == u'"' || c == u'\'') {
      const qsizetype end = SkipQuoted(section, i);
      out += QuotedInner(section, i, end);
      i = end;
      continue;
    }
    if ((c == u'0' || c == u'#') && !after_point) {
      if (int_seen == 0) {
        for (int k = 0; k < extra; ++k) emit_int_digit(k);
      }
      // A "#" left of the number's first digit shows nothing.
      const int k = int_seen + extra;
      if (k >= 0 && k < length) emit_int_digit(k);
      ++int_seen;
    } else if ((c == u'0' || c == u'#') && after_point) {
      if (frac_seen < frac_shown) out += QLatin1Char(frac_all[static_cast<size_t>(frac_seen)]);
      ++frac_seen;
    } else if (c == u'.' && !after_point) {
      after_point = true;
      emit_point();
    } else if (c == u',') {
      // only marks grouping
    } else if (p.scientific && IsExponentAt(section, i)) {
      if (!point_done && p.int_placeholders == 0) emit_point();
      out += c;
      out += ExponentText(exponent, p.exponent_digits, section[i + 1] == u'+');
      i += 2;
      while (i < section.size() && section[i] == u'0') ++i;
      continue;
    } else {
      out += c;
    }
    ++i;
  }
  if (!point_done && p.int_placeholders == 0 && p.frac_placeholders > 0) emit_point();
  return out;
}

// Rounds for the picture; for scientific pictures also finds the exponent
// and shifts the point so that the integer placeholders hold the leading
// digits.
Decimal RoundForPicture(Decimal d, const Picture& p, int& exponent) {
  exponent = 0;
  if (!p.scientific) {
    RoundToDecimals(d, p.frac_placeholders);
    return d;
  }
  RoundToLength(d, std::max(p.int_placeholders + p.frac_placeholders, 1));
  if (!d.IsZero()) {
    exponent = d.point - p.int_placeholders;
    d.point = p.int_placeholders;
  }
  return d;
}

QString GeneralWithSeparator(double value, const FormatSettings& s) {
  QString text = FormatFloat(value);
  const QString separator = DecimalSeparator(s);
  if (separator != u".") text.replace(u'.', separator);
  return text;
}

QString FormatDecimalPicture(QStringView picture, const Decimal& value, const FormatSettings& s) {
  const std::vector<QStringView> sections = SplitSections(picture);
  const auto usable = [&](size_t index) {
    return index < sections.size() && !sections[index].isEmpty();
  };

  int exponent = 0;
  const Picture first = AnalysePicture(sections[0]);
  const Decimal rounded_first = RoundForPicture(value, first, exponent);
  size_t chosen = 0;
  if (rounded_first.IsZero()) {
    if (usable(2)) chosen = 2;
  } else if (value.negative && usable(1)) {
    chosen = 1;
  }
  const QStringView section = sections[chosen];
  const Picture picture_info = chosen == 0 ? first : AnalysePicture(section);
  Decimal rounded = chosen == 0 ? rounded_first : RoundForPicture(value, picture_info, exponent);
  const bool minus = chosen == 0 && value.negative && !rounded.IsZero();
  if (!picture_info.HasDigits()) {
    return ApplyPicture(section, picture_info, Decimal{}, 0, false, s);
  }
  return ApplyPicture(section, picture_info, rounded, exponent, minus, s);
}

// --- directives --------------------------------------------------------------------

QString Pad(QString text, int width, bool left_justify) {
  if (text.size() >= width) return text;
  const QString fill(width - text.size(), u' ');
  return left_justify ? text + fill : fill + text;
}

// Reads a decimal number (capped) at `i`; nullopt when there is no digit.
std::optional<int> ReadCount(QStringView f, qsizetype& i, int cap) {
  if (i >= f.size() || !f[i].isDigit() || f[i].unicode() > 127) return std::nullopt;
  qint64 n = 0;
  while (i < f.size() && f[i].unicode() >= '0' && f[i].unicode() <= '9') {
    n = std::min<qint64>(n * 10 + (f[i].unicode() - '0'), cap);
    ++i;
  }
  return static_cast<int>(n);
}

// One "%" [index ":"] ["-"] [width] ["." precision] type directive, as read
// from the "%" at its start. Width and precision may be "*" (taken from the
// argument list by the formats that have one).
struct Directive {
  std::optional<int> index;
  bool left = false;
  int width = 0;
  bool width_from_argument = false;
  std::optional<int> precision;
  bool precision_from_argument = false;
  // Null when the text ends before a type letter.
  QChar type;
  // Just past the type letter (or the end of the text).
  qsizetype end = 0;
};

Directive ParseDirective(QStringView f, qsizetype start) {
  Directive d;
  const qsizetype n = f.size();
  qsizetype j = start + 1;
  qsizetype k = j;
  if (const std::optional<int> index = ReadCount(f, k, kMaxWidth); index && k < n && f[k] == u':') {
    d.index = index;
    j = k + 1;
  }
  d.left = j < n && f[j] == u'-';
  if (d.left) ++j;
  if (j < n && f[j] == u'*') {
    d.width_from_argument = true;
    ++j;
  } else {
    d.width = ReadCount(f, j, kMaxWidth).value_or(0);
  }
  if (j < n && f[j] == u'.') {
    ++j;
    if (j < n && f[j] == u'*') {
      d.precision_from_argument = true;
      d.precision = 0;
      ++j;
    } else {
      d.precision = ReadCount(f, j, kMaxPrecision).value_or(0);
    }
  }
  if (j < n) d.type = f[j];
  d.end = std::min(j + 1, n);
  return d;
}

std::optional<QString> ApplyDirective(QChar type, std::optional<int> precision,
                                      const QVariant& value, const FormatSettings& s) {
  const char t = static_cast<char>(type.toLower().unicode());
  if (t == 's') {
    QString text = ValueToText(value, s);
    if (precision && text.size() > *precision) text.truncate(*precision);
    return text;
  }
  if (std::string_view("duxefgnm").find(t) == std::string_view::npos || type.unicode() > 127) {
    return std::nullopt;
  }
  const std::optional<double> number = NumberOf(value);
  if (!number) return ValueToText(value, s);
  if (!IsFiniteNumber(*number)) return NonFiniteText(*number);
  Decimal d = DecimalOfValue(value, *number);
  switch (t) {
    case 'd':
    case 'u':
    case 'x': {
      // Integer directives take the number rounded as an integer cast does.
      const bool exact = IsIntegerType(value.metaType().id());
      const qint64 v = exact ? value.toLongLong() : Round(*number);
      if (t == 'x') {
        QString hex = v >= INT32_MIN && v <= INT32_MAX
                          ? QString::number(static_cast<quint32>(static_cast<qint32>(v)), 16)
                          : QString::number(static_cast<quint64>(v), 16);
        hex = hex.toUpper();
        if (precision && hex.size() < *precision) {
          hex.prepend(QString(*precision - hex.size(), u'0'));
        }
        return hex;
      }
      QString digits = exact ? QString::fromLatin1(IntegerDigits(d)) : QString::number(v);
      if (digits.startsWith(u'-')) digits.remove(0, 1);
      if (digits.isEmpty()) digits = QStringLiteral("0");
      if (precision && digits.size() < *precision) {
        digits.prepend(QString(*precision - digits.size(), u'0'));
      }
      const bool negative = exact ? d.negative && !d.IsZero() : v < 0;
      return negative ? u'-' + digits : digits;
    }
    case 'e':
      return ScientificText(d, precision.value_or(15), 3, false, s);
    case 'f':
      return FixedText(d, precision.value_or(2), s, false);
    case 'g':
      return GeneralText(d, precision.value_or(15), s);
    case 'n':
      return FixedText(d, precision.value_or(2), s, true);
    case 'm': {
      const bool negative = d.negative && !d.IsZero();
      d.negative = false;
      QString text = s.currency + FixedText(d, precision.value_or(2), s, true);
      return negative ? u'-' + text : text;
    }
  }
  return std::nullopt;
}

// --- date-time pictures --------------------------------------------------------

QString TwoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

bool StartsWithIgnoringCase(QStringView text, qsizetype i, QLatin1StringView what) {
  return text.mid(i).startsWith(what, Qt::CaseInsensitive);
}

// Whether an am/pm marker follows before the next hour specifier.
bool TwelveHourAhead(QStringView picture, qsizetype i) {
  while (i < picture.size()) {
    const QChar c = picture[i];
    if (c == u'"' || c == u'\'') {
      i = SkipQuoted(picture, i);
      continue;
    }
    if (c == u'h' || c == u'H') return false;
    if ((c == u'a' || c == u'A') &&
        (StartsWithIgnoringCase(picture, i, QLatin1StringView("am/pm")) ||
         StartsWithIgnoringCase(picture, i, QLatin1StringView("a/p")) ||
         StartsWithIgnoringCase(picture, i, QLatin1StringView("ampm")))) {
      return true;
    }
    ++i;
  }
  return false;
}

void AppendDateTime(QString& out, QStringView picture, const QDate& date, const QTime& time,
                    const FormatSettings& s, int depth) {
  if (depth > kMaxPatternDepth) return;
  char last_letter = 0;
  bool twelve_hour = false;
  qsizetype i = 0;
  const qsizetype n = picture.size();
  while (i < n) {
    const QChar c = picture[i];
    if (c == u'"' || c == u'\'') {
      const qsizetype end = SkipQuoted(picture, i);
      out += QuotedInner(picture, i, end);
      i = end;
      continue;
    }
    if (c == u'/') {
      out += s.date_separator;
      ++i;
      continue;
    }
    if (c == u':') {
      out += s.time_separator;
      ++i;
      continue;
    }
    const char16_t u = c.unicode();
    const bool letter = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    if (!letter) {
      out += c;
      ++i;
      continue;
    }
    char token = static_cast<char>(u >= u'a' ? u - (u'a' - u'A') : u);
    if (token == 'M' && last_letter == 'H') token = 'N';
    qsizetype count = 1;  // the run of the same letter, either case
    switch (token) {
      case 'C':
        AppendDateTime(out, s.short_date_format, date, time, s, depth + 1);
        if (time.isValid() && time != QTime(0, 0)) {
          out += u' ';
          AppendDateTime(out, s.long_time_format, date, time, s, depth + 1);
        }
        break;
      case 'D':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'D') ++count;
        if (count == 1) {
          out += QString::number(date.day());
        } else if (count == 2) {
          out += TwoDigits(date.day());
        } else if (count == 3) {
          out += QLatin1StringView(kShortDayNames[date.dayOfWeek() - 1]);
        } else if (count == 4) {
          out += QLatin1StringView(kLongDayNames[date.dayOfWeek() - 1]);
        } else if (count == 5) {
          AppendDateTime(out, s.short_date_format, date, time, s, depth + 1);
        } else {
          AppendDateTime(out, s.long_date_format, date, time, s, depth + 1);
        }
        break;
      case 'M':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'M') ++count;
        if (count == 1) {
          out += QString::number(date.month());
        } else if (count == 2) {
          out += TwoDigits(date.month());
        } else if (count == 3) {
          out += QLatin1StringView(kShortMonthNames[date.month() - 1]);
        } else {
          out += QLatin1StringView(kLongMonthNames[date.month() - 1]);
        }
        break;
      case 'N':
        while (i + count < n && (QChar::toUpper(picture[i + count].unicode()) == u'N' ||
                                 QChar::toUpper(picture[i + count].unicode()) == u'M')) {
          ++count;
        }
        out += count == 1 ? QString::number(time.minute()) : TwoDigits(time.minute());
        break;
      case 'Y':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'Y') ++count;
        if (count <= 2) {
          out += TwoDigits(date.year() % 100);
        } else {
          out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
        }
        break;
      case 'H': {
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'H') ++count;
        twelve_hour = TwelveHourAhead(picture, i + count);
        int hour = time.hour();
        if (twelve_hour) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        out += count == 1 ? QString::number(hour) : TwoDigits(hour);
        break;
      }
      case 'S':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'S') ++count;
        out += count == 1 ? QString::number(time.second()) : TwoDigits(time.second());
        break;
      case 'Z':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'Z') ++count;
        out += count < 3 ? QString::number(time.msec())
                         : QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
        break;
      case 'T':
        while (i + count < n && QChar::toUpper(picture[i + count].unicode()) == u'T') ++count;
        AppendDateTime(out, count == 1 ? s.short_time_format : s.long_time_format, date, time, s,
                       depth + 1);
        break;
      case 'A': {
        const bool pm = time.hour() >= 12;
        if (StartsWithIgnoringCase(picture, i, QLatin1StringView("am/pm"))) {
          out += picture.mid(i + (pm ? 3 : 0), 2);
          count = 5;
        } else if (StartsWithIgnoringCase(picture, i, QLatin1StringView("a/p"))) {
          out += picture[i + (pm ? 2 : 0)];
          count = 3;
        } else if (StartsWithIgnoringCase(picture, i, QLatin1StringView("ampm"))) {
          out += pm ? s.time_pm : s.time_am;
          count = 4;
        } else {
          out += c;
        }
        break;
      }
      default:
        out += c;
        break;
    }
    last_letter = token;
    i += count;
  }
}

}  // namespace

const FormatSettings& FormatSettings::Default() {
  static const FormatSettings settings;
  return settings;
}

QString FormatNumberPicture(QStringView picture, double value, const FormatSettings& settings) {
  if (!IsFiniteNumber(value)) return NonFiniteText(value);
  if (picture.isEmpty()) return GeneralWithSeparator(value, settings);
  return FormatDecimalPicture(picture, DecimalOfDouble(value), settings);
}

QString FormatDirective(QStringView format, const QVariant& value, const FormatSettings& settings) {
  QString out;
  bool used = false;
  qsizetype i = 0;
  const qsizetype n = format.size();
  while (i < n) {
    const QChar c = format[i];
    if (c != u'%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < n && format[i + 1] == u'%') {
      out += u'%';
      i += 2;
      continue;
    }
    const Directive d = ParseDirective(format, i);
    // Only the one argument exists, and nothing to take "*" from.
    const bool valid = (!d.index || *d.index == 0) && !d.width_from_argument &&
                       !d.precision_from_argument && !d.type.isNull();
    std::optional<QString> text;
    if (valid && !used) text = ApplyDirective(d.type, d.precision, value, settings);
    if (!text) {
      // Copied as it stands, up to and including the type letter.
      out += format.mid(i, d.end - i);
      i = d.end;
      continue;
    }
    used = true;
    out += Pad(*text, d.width, d.left);
    i = d.end;
  }
  return out;
}

std::optional<QString> FormatArguments(QStringView format, const QVariantList& args,
                                       const FormatSettings& settings) {
  QString out;
  qsizetype next = 0;
  // Width and precision taken from the list.
  const auto count_argument = [&](int cap) -> std::optional<int> {
    if (next >= args.size() || !IsIntegerType(args[next].metaType().id())) return std::nullopt;
    const qint64 v = args[next++].toLongLong();
    return static_cast<int>(std::clamp<qint64>(v, -cap, cap));
  };
  qsizetype i = 0;
  const qsizetype n = format.size();
  while (i < n) {
    const QChar c = format[i];
    if (c != u'%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < n && format[i + 1] == u'%') {
      out += u'%';
      i += 2;
      continue;
    }
    Directive d = ParseDirective(format, i);
    if (d.type.isNull()) return std::nullopt;
    if (d.index) next = *d.index;
    if (d.width_from_argument) {
      const std::optional<int> width = count_argument(kMaxWidth);
      if (!width) return std::nullopt;
      // A negative width from the list justifies left, as a "-" would.
      d.left = d.left || *width < 0;
      d.width = std::abs(*width);
    }
    if (d.precision_from_argument) {
      const std::optional<int> precision = count_argument(kMaxPrecision);
      if (!precision) return std::nullopt;
      d.precision = std::max(*precision, 0);
    }
    if (next >= args.size()) return std::nullopt;
    const QVariant& value = args[next++];
    const int type = value.metaType().id();
    const char t = d.type.unicode() < 128 ? static_cast<char>(d.type.toLower().unicode()) : 0;
    bool fits;
    switch (t) {
      case 'd':
      case 'u':
      case 'x':
        fits = IsIntegerType(type);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm':
        fits = IsIntegerType(type) || IsFloatType(type);
        break;
      case 's':
        fits = type != QMetaType::QVariantList && type != QMetaType::QStringList;
        break;
      default:
        fits = false;
    }
    if (!fits) return std::nullopt;
    const std::optional<QString> text = ApplyDirective(d.type, d.precision, value, settings);
    if (!text) return std::nullopt;
    out += Pad(*text, d.width, d.left);
    i = d.end;
  }
  return out;
}

QString FormatDateTimePicture(QStringView picture, const QDateTime& date_time,
                              const FormatSettings& settings) {
  if (!date_time.isValid()) return {};
  QString out;
  AppendDateTime(out, picture.isEmpty() ? QStringView(u"c") : picture, date_time.date(),
                 date_time.time(), settings, 0);
  return out;
}

bool IsNumberValue(const QVariant& value) {
  const int type = value.metaType().id();
  return IsIntegerType(type) || IsFloatType(type);
}

std::optional<double> NumberOf(const QVariant& value) {
  const int type = value.metaType().id();
  if (IsIntegerType(type) || IsFloatType(type)) return value.toDouble();
  if (type == QMetaType::QString) return ParseFloat(value.toString());
  return std::nullopt;
}

QDateTime DateTimeOf(const QVariant& value) {
  switch (value.metaType().id()) {
    case QMetaType::QDateTime:
      return value.toDateTime();
    case QMetaType::QDate:
      return QDateTime(value.toDate(), QTime(0, 0), Qt::UTC);
    case QMetaType::QTime:
      return QDateTime(QDate(1899, 12, 30), value.toTime(), Qt::UTC);
    default:
      break;
  }
  const int type = value.metaType().id();
  if (IsIntegerType(type) || IsFloatType(type)) return DateTimeFromSerial(value.toDouble());
  return {};
}

QString ValueToText(const QVariant& value, const FormatSettings& settings) {
  const int type = value.metaType().id();
  if (!value.isValid() || value.isNull()) return {};
  switch (type) {
    case QMetaType::Bool:
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime:
      return FormatDateTimePicture(u"c", value.toDateTime(), settings);
    case QMetaType::QDate:
      return FormatDateTimePicture(settings.short_date_format, DateTimeOf(value), settings);
    case QMetaType::QTime:
      return FormatDateTimePicture(settings.long_time_format, DateTimeOf(value), settings);
    default:
      break;
  }
  if (IsFloatType(type)) return GeneralWithSeparator(value.toDouble(), settings);
  if (IsIntegerType(type)) return value.toString();
  return value.toString();
}

QString FormatValue(const QVariant& value, ValueFormatKind kind, QStringView format,
                    const FormatSettings& settings) {
  if (!value.isValid() || value.isNull()) return {};
  switch (kind) {
    case ValueFormatKind::kText:
      return ValueToText(value, settings);
    case ValueFormatKind::kNumeric: {
      if (value.metaType().id() == QMetaType::Bool) return ValueToText(value, settings);
      const std::optional<double> number = NumberOf(value);
      if (!number) return ValueToText(value, settings);
      if (format.contains(u'%')) return FormatDirective(format, value, settings);
      if (!IsFiniteNumber(*number)) return NonFiniteText(*number);
      if (format.isEmpty()) {
        return ValueToText(value.metaType().id() == QMetaType::QString ? QVariant(*number) : value,
                           settings);
      }
      return FormatDecimalPicture(format, DecimalOfValue(value, *number), settings);
    }
    case ValueFormatKind::kDateTime: {
      const QDateTime date_time = DateTimeOf(value);
      if (!date_time.isValid()) return ValueToText(value, settings);
      return FormatDateTimePicture(format, date_time, settings);
    }
    case ValueFormatKind::kBoolean: {
      bool truth;
      const int type = value.metaType().id();
      if (type == QMetaType::Bool) {
        truth = value.toBool();
      } else if (IsIntegerType(type) || IsFloatType(type)) {
        truth = value.toDouble() != 0;
      } else if (type == QMetaType::QString &&
                 value.toString().trimmed().compare(u"True", Qt::CaseInsensitive) == 0) {
        truth = true;
      } else if (type == QMetaType::QString &&
                 value.toString().trimmed().compare(u"False", Qt::CaseInsensitive) == 0) {
        truth = false;
      } else {
        return ValueToText(value, settings);
      }
      if (format.isEmpty()) return truth ? QStringLiteral("True") : QStringLiteral("False");
      const qsizetype comma = format.indexOf(u',');
      if (comma < 0) return truth ? format.toString() : QString();
      return (truth ? format.mid(comma + 1) : format.left(comma)).toString();
    }
  }
  return ValueToText(value, settings);
}

}  // namespace ovx
