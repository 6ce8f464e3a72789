// The general float format is built from std::to_chars in scientific form
// with 15 significant digits, which rounds correctly from the exact binary
// value; the digits and exponent are then rearranged into fixed or
// scientific notation. Nothing here consults the C or Qt locale.
#include "base/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <type_traits>

namespace ovx {
namespace {

constexpr int kSignificantDigits = 15;
// Decimal exponents (of the form d.ddd x 10^e) that still print in fixed
// notation: 0.00001 is the smallest magnitude, 15 digits before the point the
// largest, since a sixteenth digit would be an invented zero.
constexpr int kMinFixedExponent = -5;
constexpr int kMaxFixedExponent = kSignificantDigits - 1;

}  // namespace

std::string FormatFloatAscii(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";  // also -0

  // "-d.ddddddddddddddde-ddd" fits comfortably.
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, kSignificantDigits - 1);
  const char* p = buffer;
  const char* const end = result.ptr;
  const bool negative = *p == '-';
  if (negative) ++p;

  std::string digits;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  int exponent = 0;
  if (p != end) {
    ++p;  // 'e'
    if (*p == '+') ++p;
    std::from_chars(p, end, exponent);
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (negative) out += '-';
  if (exponent >= kMinFixedExponent && exponent <= kMaxFixedExponent) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const auto int_digits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
      } else {
        out.append(digits, 0, int_digits);
        out += '.';
        out.append(digits, int_digits);
      }
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    char exponent_text[8];
    const auto written =
        std::to_chars(exponent_text, exponent_text + sizeof exponent_text, std::abs(exponent));
    out.append(exponent_text, written.ptr);
  }
  return out;
}

QString FormatFloat(double value) { return QString::fromLatin1(FormatFloatAscii(value)); }

std::optional<double> ParseFloat(QStringView text) {
  std::string ascii;
  ascii.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar c : text) {
    if (c.isSpace()) continue;
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'e' || u == u'E' || u == u'.') {
      ascii += static_cast<char>(u);
    } else if (u == u',') {
      ascii += '.';
    } else {
      return std::nullopt;
    }
  }

  // [sign] digits [. digits] [(e|E) [sign] digits], with at least one
  // mantissa digit. from_chars alone would also take "inf" and "nan" and
  // stop early instead of failing, so the shape is checked here.
  std::size_t i = 0;
  const std::size_t n = ascii.size();
  const auto digits_from = [&](std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < n && ascii[pos] >= '0' && ascii[pos] <= '9') ++pos;
    return pos - start;
  };
  std::size_t number_start = 0;
  if (i < n && (ascii[i] == '+' || ascii[i] == '-')) {
    if (ascii[i] == '+') number_start = 1;  // from_chars rejects a plus sign
    ++i;
  }
  std::size_t mantissa_digits = digits_from(i);
  if (i < n && ascii[i] == '.') {
    ++i;
    mantissa_digits += digits_from(i);
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < n && (ascii[i] == 'e' || ascii[i] == 'E')) {
    ++i;
    if (i < n && (ascii[i] == '+' || ascii[i] == '-')) ++i;
    if (digits_from(i) == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;

  double value = 0;
  const char* const first = ascii.data() + number_start;
  const char* const last = ascii.data() + n;
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
  return value;
}

QString FormatInt(qint64 value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return QString::fromLatin1(buffer, result.ptr - buffer);
}

namespace {

template <typename Int>
std::optional<Int> ParseIntImpl(QStringView text) {
  using Unsigned = std::make_unsigned_t<Int>;
  const QStringView t = text.trimmed();
  qsizetype i = 0;
  const qsizetype n = t.size();
  bool has_sign = false;
  bool negative = false;
  if (i < n && (t[i] == u'+' || t[i] == u'-')) {
    has_sign = true;
    negative = t[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && t[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && t[i] == u'0' && (t[i + 1] == u'x' || t[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return std::nullopt;

  std::uint64_t magnitude = 0;
  constexpr std::uint64_t kUnsignedMax = std::numeric_limits<Unsigned>::max();
  for (; i < n; ++i) {
    const char16_t u = t[i].unicode();
    int digit;
    if (u >= u'0' && u <= u'9') {
      digit = u - u'0';
    } else if (base == 16 && u >= u'a' && u <= u'f') {
      digit = u - u'a' + 10;
    } else if (base == 16 && u >= u'A' && u <= u'F') {
      digit = u - u'A' + 10;
    } else {
      return std::nullopt;
    }
    if (magnitude > (kUnsignedMax - static_cast<std::uint64_t>(digit)) / base) {
      return std::nullopt;
    }
    magnitude = magnitude * base + static_cast<std::uint64_t>(digit);
  }

  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
  if (negative) {
    if (magnitude > kMax + 1) return std::nullopt;
    // Two's complement of the magnitude in the unsigned type, so that the
    // minimum value does not overflow on the way.
    return static_cast<Int>(static_cast<Unsigned>(0) - static_cast<Unsigned>(magnitude));
  }
  if (magnitude <= kMax) return static_cast<Int>(magnitude);
  if (base == 16 && !has_sign) return static_cast<Int>(static_cast<Unsigned>(magnitude));
  return std::nullopt;
}

}  // namespace

std::optional<qint64> ParseInt(QStringView text) { return ParseIntImpl<qint64>(text); }

std::optional<qint32> ParseInt32(QStringView text) { return ParseIntImpl<qint32>(text); }

}  // namespace ovx
