// Display formats of numbers, date-times and Booleans.
#include "base/value_format.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

#include <limits>

namespace ovx {
namespace {

struct PictureCase {
  const char16_t* picture;
  double value;
  const char16_t* expected;
};

const PictureCase kPictureCases[] = {
    {u"#,##0.00", 1234.5, u"1,234.50"},
    {u"#,##0.00", -1234.5, u"-1,234.50"},
    {u"#,##0.00", 0, u"0.00"},
    {u"#,##0.00", 1234567.891, u"1,234,567.89"},
    {u"#,##0", 999.6, u"1,000"},
    {u"#,##0", 1e18, u"1,000,000,000,000,000,000"},
    {u"0.###", 1.5, u"1.5"},
    {u"0.###", 2, u"2"},
    {u"0.###", 1.23456, u"1.235"},
    {u"0.00", 2.675, u"2.68"},  // the decimal digits round, not the binary value
    {u"0.00", 0.125, u"0.13"},  // halves away from zero
    {u"0.00", 99.996, u"100.00"},
    {u"0.00", -0.001, u"0.00"},  // rounds to zero: no minus sign
    {u"0", 2.5, u"3"},
    {u"0", -2.5, u"-3"},
    {u"000", 7, u"007"},
    {u"#", 0, u""},
    {u"#.##", 0.5, u".5"},
    {u".00", 0.5, u".50"},
    {u".00", 12.5, u"12.50"},  // digits without a place go before the point
    {u"00-00", 1234, u"12-34"},
    {u"##-##", 5, u"-5"},
    {u"$#,##0.00", -5, u"-$5.00"},
    {u"'abc'0", 5, u"abc5"},
    {u"0 \"kg\"", 5, u"5 kg"},
    {u"0.0 'x", 1.5, u"1.5 x"},  // an unclosed quote runs to the end
    {u"0.00E+00", 1234.5, u"1.23E+03"},
    {u"0.00E+00", 0.000123, u"1.23E-04"},
    {u"0.00E+00", 9.999, u"1.00E+01"},
    {u"0.00E+00", 0, u"0.00E+00"},
    {u"0.0E-0", 1234.5, u"1.2E3"},
    {u"0.0E-0", 0.0012, u"1.2E-3"},
    {u"00.0E+0", 1234.5, u"12.3E+2"},
    {u"0.00;(0.00);'zero'", 5, u"5.00"},
    {u"0.00;(0.00);'zero'", -5, u"(5.00)"},
    {u"0.00;(0.00);'zero'", 0, u"zero"},
    {u"0.00;(0.00);'zero'", 0.001, u"zero"},
    {u"0.00;;zero", -5, u"-5.00"},  // empty negative section: the first with a minus
    {u"0.0;(0.0)", 0, u"0.0"},
    {u"'a;b'0", 5, u"a;b5"},  // ";" inside quotes is no section break
    {u"", 1234.5, u"1234.5"},
    {u"", 1e-7, u"1E-7"},
    {u"0.00", std::numeric_limits<double>::quiet_NaN(), u"NAN"},
    {u"0.00", -std::numeric_limits<double>::infinity(), u"-INF"},
};

TEST(ValueFormatTest, NumberPictures) {
  for (const PictureCase& c : kPictureCases) {
    const QString picture = QString::fromUtf16(c.picture);
    EXPECT_EQ(FormatNumberPicture(picture, c.value), QString::fromUtf16(c.expected))
        << picture.toStdString() << " with " << c.value;
  }
}

TEST(ValueFormatTest, SeparatorsComeFromTheSettings) {
  FormatSettings s;
  s.decimal_separator = QStringLiteral(",");
  s.thousand_separator = QStringLiteral(".");
  EXPECT_EQ(FormatNumberPicture(u"#,##0.00", 1234567.5, s), "1.234.567,50");
  EXPECT_EQ(FormatNumberPicture(u"", 2.5, s), "2,5");
  EXPECT_EQ(FormatDirective(u"%2.2f", 1234.5, s), "1234,50");
  EXPECT_EQ(FormatDirective(u"%n", 1234.5, s), "1.234,50");
  s.decimal_separator.clear();
  s.thousand_separator.clear();
  EXPECT_EQ(FormatNumberPicture(u"#,##0.00", 1234.5, s), "1234.50");
}

TEST(ValueFormatTest, IntegersKeepEveryDigit) {
  const QVariant big = QVariant::fromValue<qint64>(9007199254740993);
  EXPECT_EQ(FormatValue(big, ValueFormatKind::kNumeric, u"#,##0"), "9,007,199,254,740,993");
  EXPECT_EQ(FormatValue(big, ValueFormatKind::kNumeric, u"%d"), "9007199254740993");
  EXPECT_EQ(FormatValue(big, ValueFormatKind::kNumeric, u""), "9007199254740993");
  const QVariant huge = QVariant::fromValue<quint64>(18446744073709551615ull);
  EXPECT_EQ(FormatValue(huge, ValueFormatKind::kNumeric, u"%d"), "18446744073709551615");
  EXPECT_EQ(FormatValue(QVariant::fromValue<qint64>(std::numeric_limits<qint64>::min()),
                        ValueFormatKind::kNumeric, u"0"),
            "-9223372036854775808");
}

struct DirectiveCase {
  const char16_t* format;
  QVariant value;
  const char16_t* expected;
};

TEST(ValueFormatTest, Directives) {
  const DirectiveCase cases[] = {
      {u"%2.2f", 1234.5, u"1234.50"},
      {u"%f", 1.005, u"1.01"},
      {u"%g", 1234.5, u"1234.5"},
      {u"%g", 1e20, u"1E20"},
      {u"%g", 0.000001, u"1E-6"},
      {u"%.3g", 1234.5, u"1.23E3"},
      {u"%2.2n", 1234.5, u"1,234.50"},
      {u"%2.2m", 1234.5, u"$1,234.50"},
      {u"%m", -1234.5, u"-$1,234.50"},
      {u"%d", 42, u"42"},
      {u"%5d", 42, u"   42"},
      {u"%-5d|", 42, u"42   |"},
      {u"%.4d", -42, u"-0042"},
      {u"%d", 2.5, u"2"},  // rounds as an integer cast: halves to even
      {u"%d", 3.5, u"4"},
      {u"%x", 255, u"FF"},
      {u"%.4x", 255, u"00FF"},
      {u"%x", -1, u"FFFFFFFF"},
      {u"%e", 1234.5, u"1.23450000000000E+003"},
      {u"%.3e", -1234.5, u"-1.23E+003"},
      {u"%s", 5, u"5"},
      {u"%.2s", QStringLiteral("abcdef"), u"ab"},
      {u"%0:s!", QStringLiteral("a"), u"a!"},
      {u"Total: %2.2f EUR", 1234.5, u"Total: 1234.50 EUR"},
      {u"100%%", 1, u"100%"},
      {u"%d %d", 5, u"5 %d"},  // one argument only
      {u"%1:d", 5, u"%1:d"},
      {u"%*d", 5, u"%*d"},
      {u"%q", 5, u"%q"},
      {u"50%", 5, u"50%"},
      {u"%f", QStringLiteral("abc"), u"abc"},  // no number: its text
      {u"%f", QStringLiteral("2,5"), u"2.50"},
  };
  for (const DirectiveCase& c : cases) {
    const QString format = QString::fromUtf16(c.format);
    EXPECT_EQ(FormatDirective(format, c.value), QString::fromUtf16(c.expected))
        << format.toStdString() << " with " << c.value.toString().toStdString();
  }
}

TEST(ValueFormatTest, HugeWidthsAndPrecisionsAreCapped) {
  EXPECT_EQ(FormatDirective(u"%999999999999d", 1).size(), 255);
  EXPECT_LE(FormatDirective(u"%.99999999f", 1.5).size(), 300);
  EXPECT_LE(FormatDirective(u"%.99999999e", 1.5).size(), 300);
}

struct ArgumentsCase {
  const char16_t* format;
  QVariantList args;
  const char16_t* expected;  // null: invalid or incompatible
};

TEST(ValueFormatTest, FormatOverArgumentLists) {
  const ArgumentsCase cases[] = {
      {u"%d-%s", {7, QStringLiteral("x")}, u"7-x"},
      {u"%s and %s", {QStringLiteral("a"), QStringLiteral("b")}, u"a and b"},
      {u"%1:s %0:s %s", {QStringLiteral("a"), QStringLiteral("b")}, u"b a b"},
      {u"[%5d|%-5d]", {42, 42}, u"[   42|42   ]"},
      {u"%*d|%-*d", {4, 1, 3, 2}, u"   1|2  "},
      {u"%*d", {-3, 1}, u"1  "},
      {u"%.*f", {3, 1.5}, u"1.500"},
      {u"%.2f %e", {2, 1234.5}, u"2.00 1.23450000000000E+003"},  // integers pass as numbers
      {u"%n / %m", {1234.5, -2.5}, u"1,234.50 / -$2.50"},
      {u"%x %.4x", {255, 10}, u"FF 000A"},
      {u"%s|%s|%s", {true, 1.5, QVariant()}, u"True|1.5|"},
      {u"%.2s", {QStringLiteral("abcdef")}, u"ab"},
      {u"100%% of %d", {3}, u"100% of 3"},
      {u"no directives", {}, u"no directives"},
      {u"%d", {QVariant(qint64(9000000000))}, u"9000000000"},
      // Too few arguments, wrong kinds and broken directives.
      {u"%d %d", {1}, nullptr},
      {u"%d", {}, nullptr},
      {u"%5:d", {1}, nullptr},
      {u"%d", {QStringLiteral("1")}, nullptr},
      {u"%d", {2.5}, nullptr},
      {u"%d", {true}, nullptr},
      {u"%f", {QStringLiteral("1.5")}, nullptr},
      {u"%f", {QVariant()}, nullptr},
      {u"%s", {QVariantList{1, 2}}, nullptr},
      {u"%*d", {QStringLiteral("4"), 1}, nullptr},
      {u"%*d", {4}, nullptr},
      {u"%q", {1}, nullptr},
      {u"50%", {1}, nullptr},
      {u"%-", {1}, nullptr},
  };
  for (const ArgumentsCase& c : cases) {
    const QString format = QString::fromUtf16(c.format);
    const std::optional<QString> text = FormatArguments(format, c.args);
    if (!c.expected) {
      EXPECT_FALSE(text) << format.toStdString() << " gave " << text->toStdString();
    } else {
      ASSERT_TRUE(text) << format.toStdString();
      EXPECT_EQ(*text, QString::fromUtf16(c.expected)) << format.toStdString();
    }
  }
  // Widths from the list are capped like written ones.
  EXPECT_EQ(FormatArguments(u"%*d", {1 << 30, 1})->size(), 255);
}

struct DateCase {
  const char16_t* picture;
  const char16_t* expected;
};

TEST(ValueFormatTest, DateTimePictures) {
  const QDateTime when(QDate(2002, 11, 28), QTime(14, 5, 9, 7), Qt::UTC);  // a Thursday
  const DateCase cases[] = {
      {u"yyyy-mm-dd hh:nn:ss", u"2002-11-28 14:05:09"},
      {u"dd mmm yyyy", u"28 Nov 2002"},
      {u"mmmm", u"November"},
      {u"MMM", u"Nov"},
      {u"ddd", u"Thu"},
      {u"dddd", u"Thursday"},
      {u"d/m/yy", u"28/11/02"},
      {u"mm.dd.yyyy", u"11.28.2002"},
      {u"h:n", u"14:5"},
      {u"hh:mm", u"14:05"},  // "m" after an hour means minutes
      {u"hh:mm:ss", u"14:05:09"},
      {u"hh:mm am/pm", u"02:05 pm"},
      {u"hh:mm AM/PM", u"02:05 PM"},
      {u"h a/p", u"2 p"},
      {u"hh ampm", u"02 PM"},
      {u"am/pm hh", u"pm 14"},  // only a marker after the hour makes it 12-hour
      {u"mmmm dd, yyyy", u"November 28, 2002"},
      {u"hh:mm am/pm, mmmm dd, yyyy", u"02:05 pm, November 28, 2002"},
      {u"z zzz", u"7 007"},
      {u"c", u"2002/11/28 14:05:09"},
      {u"", u"2002/11/28 14:05:09"},
      {u"ddddd", u"2002/11/28"},
      {u"dddddd", u"Thursday, November 28, 2002"},
      {u"t", u"14:05"},
      {u"tt", u"14:05:09"},
      {u"'day' d", u"day 28"},
      {u"\"mm\" m", u"mm 11"},
      {u"yyyy'", u"2002"},
      {u"x-Q", u"x-Q"},
  };
  for (const DateCase& c : cases) {
    const QString picture = QString::fromUtf16(c.picture);
    EXPECT_EQ(FormatDateTimePicture(picture, when), QString::fromUtf16(c.expected))
        << picture.toStdString();
  }
}

TEST(ValueFormatTest, DateTimeEdges) {
  const QDateTime midnight(QDate(2002, 11, 28), QTime(0, 30), Qt::UTC);
  EXPECT_EQ(FormatDateTimePicture(u"h:nn am/pm", midnight), "12:30 am");
  EXPECT_EQ(FormatDateTimePicture(u"c", QDateTime(QDate(2002, 11, 28), QTime(0, 0), Qt::UTC)),
            "2002/11/28");
  EXPECT_EQ(FormatDateTimePicture(u"yyyy", QDateTime(QDate(5, 1, 1), QTime(0, 0), Qt::UTC)),
            "0005");
  EXPECT_EQ(FormatDateTimePicture(u"yyyy", QDateTime()), "");
  FormatSettings looping;
  looping.short_date_format = QStringLiteral("c");  // must not recurse forever
  EXPECT_LT(FormatDateTimePicture(u"ddddd", midnight, looping).size(), 100);
  FormatSettings dots;
  dots.date_separator = QStringLiteral(".");
  EXPECT_EQ(FormatDateTimePicture(u"dd/mm/yyyy", midnight, dots), "28.11.2002");
}

struct ValueCase {
  QVariant value;
  ValueFormatKind kind;
  const char16_t* format;
  const char16_t* expected;
};

TEST(ValueFormatTest, FormatValueByKind) {
  using K = ValueFormatKind;
  const ValueCase cases[] = {
      {QVariant(), K::kNumeric, u"0.00", u""},
      {1.5, K::kText, u"", u"1.5"},
      {true, K::kText, u"", u"True"},
      {QDate(2002, 11, 28), K::kText, u"", u"2002/11/28"},
      {QTime(14, 5), K::kText, u"", u"14:05:00"},
      {QStringLiteral("12.5"), K::kNumeric, u"0.00", u"12.50"},
      {QStringLiteral("abc"), K::kNumeric, u"0.00", u"abc"},
      {true, K::kNumeric, u"0.00", u"True"},
      {1234.5, K::kNumeric, u"", u"1234.5"},
      {1234.5, K::kNumeric, u"%2.2n", u"1,234.50"},
      {37588.5, K::kDateTime, u"yyyy-mm-dd hh:nn", u"2002-11-28 12:00"},  // a serial
      {QDate(2002, 11, 28), K::kDateTime, u"dd mmm yyyy", u"28 Nov 2002"},
      {QStringLiteral("soon"), K::kDateTime, u"yyyy", u"soon"},
      {true, K::kBoolean, u"No,Yes", u"Yes"},
      {false, K::kBoolean, u"No,Yes", u"No"},
      {true, K::kBoolean, u"", u"True"},
      {1, K::kBoolean, u"0,1", u"1"},
      {0.0, K::kBoolean, u"_,x", u"_"},
      {true, K::kBoolean, u"x", u"x"},
      {false, K::kBoolean, u"x", u""},
      {QStringLiteral("TRUE"), K::kBoolean, u"No,Yes", u"Yes"},
      {QStringLiteral("maybe"), K::kBoolean, u"No,Yes", u"maybe"},
  };
  for (const ValueCase& c : cases) {
    const QString format = QString::fromUtf16(c.format);
    EXPECT_EQ(FormatValue(c.value, c.kind, format), QString::fromUtf16(c.expected))
        << c.value.toString().toStdString() << " / " << format.toStdString();
  }
}

TEST(ValueFormatTest, NumbersAndDatesOfValues) {
  EXPECT_EQ(NumberOf(QStringLiteral(" 2,5 ")), 2.5);
  EXPECT_EQ(NumberOf(QVariant(7)), 7.0);
  EXPECT_FALSE(NumberOf(QVariant(true)));
  EXPECT_FALSE(NumberOf(QStringLiteral("x")));
  EXPECT_EQ(DateTimeOf(QVariant(2.25)), QDateTime(QDate(1900, 1, 1), QTime(6, 0), Qt::UTC));
  EXPECT_FALSE(DateTimeOf(QStringLiteral("2002-11-28")).isValid());
}

}  // namespace
}  // namespace ovx
