// Formatting values for display: numbers, date-times and Booleans as report
// authors write their format strings.
//
// Report texts carry format strings in the conventions of the desktop
// platform the report format comes from: number pictures ("#,##0.00",
// "0.00E+00", sections for negative and zero values), printf-like number
// directives ("%2.2f", "%n"), date-time pictures ("dd mmm yyyy hh:nn") and
// Boolean texts ("No,Yes": the text for False, a comma, the text for True).
// The rules here are that platform's, with one difference on purpose:
// nothing follows the user's locale. Separators, month and day names and
// the date and time patterns come from FormatSettings, whose defaults are
// fixed (English names, "." and ","), so a report looks the same on every
// machine. Memo display formats and the script library's FormatFloat and
// FormatDateTime share these functions.
//
// Format strings come from files: every function accepts any text and never
// fails; widths and precisions are capped, so no format string can ask for
// an unbounded amount of output.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>

namespace ovx {

// The ordinals are those of the display format's Kind.
enum class ValueFormatKind { kText, kNumeric, kDateTime, kBoolean };

struct FormatSettings {
  // Empty separators fall back to "." and no grouping respectively.
  QString decimal_separator = QStringLiteral(".");
  QString thousand_separator = QStringLiteral(",");
  // What "/" and ":" in date-time pictures stand for.
  QString date_separator = QStringLiteral("/");
  QString time_separator = QStringLiteral(":");
  // Patterns behind "ddddd", "dddddd", "t", "tt" and "c".
  QString short_date_format = QStringLiteral("yyyy/mm/dd");
  QString long_date_format = QStringLiteral("dddd, mmmm d, yyyy");
  QString short_time_format = QStringLiteral("hh:nn");
  QString long_time_format = QStringLiteral("hh:nn:ss");
  QString time_am = QStringLiteral("AM");
  QString time_pm = QStringLiteral("PM");
  // "%m" money: symbol before the number.
  QString currency = QStringLiteral("$");

  static const FormatSettings& Default();
};

// A number as a picture: digit placeholders "0" (always a digit) and "#"
// (a digit only where the number has one), "." for the decimal separator,
// "," anywhere before it for thousand grouping, "E+"/"E-"/"e+"/"e-" with
// "0"s for a scientific exponent, quoted text ("..." or '...') and any other
// character as literals. Up to three sections split by ";": positive,
// negative (shown without its minus sign), zero; an empty or missing
// section falls back to the first. Values round half away from zero on the
// number's 15 significant digits. An empty picture gives the general form
// (at most 15 significant digits). NaN and infinities give "NAN", "INF",
// "-INF".
QString FormatNumberPicture(QStringView picture, double value,
                            const FormatSettings& settings = FormatSettings::Default());

// A value through printf-like directives: "%" [index ":"] ["-"] [width]
// ["." precision] type, with types d, u (integer; precision = minimum
// digits), x (hexadecimal), e (scientific, precision = significant digits,
// default 15), f (fixed, precision = decimals, default 2), g (general,
// precision = significant digits, default 15), n (fixed with thousand
// separators), m (money) and s (text; precision = maximum length). "%%" is
// a percent sign. There is only one argument: a second directive, or one
// that does not parse, is copied as it stands.
QString FormatDirective(QStringView format, const QVariant& value,
                        const FormatSettings& settings = FormatSettings::Default());

// The directives of FormatDirective over a list of arguments, taken in
// order; an index ("%1:s") moves to that argument and the ones after it
// follow from there. Width and precision may be "*", each taking an integer
// argument (a negative width justifies left). Integer directives (d, u, x)
// need an integer argument, number directives (e, f, g, n, m) an integer or
// floating point one, and "s" any value but a list (null gives empty text).
// A directive that does not parse, an argument that is missing or of the
// wrong kind give nullopt: a caller reports the whole format as invalid
// rather than guess at output.
std::optional<QString> FormatArguments(QStringView format, const QVariantList& args,
                                       const FormatSettings& settings = FormatSettings::Default());

// A date-time as a picture: d dd ddd dddd ddddd dddddd, m mm mmm mmmm (an
// "m" right after an hour means minutes), yy yyyy, h hh, n nn, s ss, z zzz,
// t tt, c, am/pm a/p ampm (these make the hours before them 12-hour), "/"
// and ":" as the settings' separators, quoted text literal, letters case-
// insensitive. An empty picture means "c": the short date, then the long
// time unless it is midnight.
QString FormatDateTimePicture(QStringView picture, const QDateTime& date_time,
                              const FormatSettings& settings = FormatSettings::Default());

// The number a value holds: numeric types, and texts that read as a number
// (either decimal separator). Booleans, dates and other texts have none.
// Whether the value holds a number (an integer or floating point type),
// as opposed to text that may look like one.
bool IsNumberValue(const QVariant& value);

std::optional<double> NumberOf(const QVariant& value);

// The date-time a value holds: QDateTime, QDate, QTime (on day 0,
// 1899-12-30) or a number taken as a date serial. Invalid otherwise.
QDateTime DateTimeOf(const QVariant& value);

// A value as plain text: numbers in the general form, Booleans "True" and
// "False", dates through "c" (QDate: the short date, QTime: the long time),
// null and invalid values as empty text.
QString ValueToText(const QVariant& value,
                    const FormatSettings& settings = FormatSettings::Default());

// A value with a display format:
// - kText: ValueToText;
// - kNumeric: numbers through FormatDirective when the format holds "%",
//   else FormatNumberPicture; values that are no number as plain text;
// - kDateTime: FormatDateTimePicture; values that are no date as text;
// - kBoolean: "False text,True text" split at the first comma (without a
//   comma True gives the whole format and False nothing; an empty format
//   gives "True"/"False"); a number counts as True when not 0, a text
//   "True"/"False" (any case) as that value; anything else as plain text.
QString FormatValue(const QVariant& value, ValueFormatKind kind, QStringView format,
                    const FormatSettings& settings = FormatSettings::Default());

}  // namespace ovx
