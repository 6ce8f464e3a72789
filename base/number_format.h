// Number text that never follows the user's locale.
//
// Every number the program writes into a file goes through these helpers, so
// a template saved on a German desktop ("," as decimal separator) is
// byte-identical to one saved on an English one. Reading is lenient the other
// way round: older files were written with whatever separator the writing
// machine used, so both "." and "," are taken as the decimal point.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string>

namespace ovx {

// The general format with at most 15 significant digits (correctly rounded):
// fixed notation while the rounded value has at most 15 digits before the
// point and is 0 or at least 0.00001 in magnitude, otherwise scientific like
// "1.5E-7", "1E20", "-2.5E16". Trailing zeros and a trailing point are
// dropped; -0 gives "0"; NaN, +inf and -inf give "NAN", "INF" and "-INF".
// 15 digits is the file format's precision: values whose 16th or 17th digit
// matters do not survive a write and read, and the few doubles above
// 1.79769313486231E308 give text that ParseFloat rejects as out of range.
QString FormatFloat(double value);
// The same text as bytes, for writers that produce byte streams.
std::string FormatFloatAscii(double value);

// Decimal text with an optional sign, exponent ("E"/"e") and either "." or ","
// as the decimal point; every white-space character is ignored first, so
// " 1 000,5" reads as 1000.5. The whole text must be a number: empty text,
// garbage, two decimal points, hexadecimal floats, "inf"/"nan" and values
// beyond the range of double (overflow, or underflow below the smallest
// subnormal) give nullopt.
std::optional<double> ParseFloat(QStringView text);

QString FormatInt(qint64 value);

// Decimal with an optional sign, or hexadecimal after "$" or "0x" (the sign,
// if any, comes first: "-$1F"); white space around the number is ignored.
// Without a sign a hexadecimal number may also give the two's-complement bit
// pattern of the target width ("$FFFFFFFF" is -1 for ParseInt32, the way
// colour values are written). Values out of range give nullopt.
std::optional<qint64> ParseInt(QStringView text);
std::optional<qint32> ParseInt32(QStringView text);

}  // namespace ovx
