#include "base/number_format.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace ovx {
namespace {

struct FormatCase {
  double value;
  const char* expected;
};

const FormatCase kFormatCases[] = {
    {138.5 * 3.77953, "523.464905"},
    {190.0 / 3, "63.3333333333333"},
    {43490.6580637153, "43490.6580637153"},
    {0.1 + 0.2, "0.3"},
    {359.05535, "359.05535"},
    {0, "0"},
    {-0.0, "0"},
    {1, "1"},
    {-2.5, "-2.5"},
    {100, "100"},
    {0.1, "0.1"},
    {1234567.891, "1234567.891"},
    {99999.99999999999, "100000"},  // rounding to 15 digits carries into a new digit
    {999999999999999, "999999999999999"},
    {999999999999999.9, "1E15"},  // rounds to 16 digits before the point
    {1e15, "1E15"},
    {1e16, "1E16"},
    {-2.5e16, "-2.5E16"},
    {1e20, "1E20"},
    {123456789012345678.0, "1.23456789012346E17"},
    {0.00001, "0.00001"},
    {-0.0000123456, "-0.0000123456"},
    {0.000001, "1E-6"},
    {1.5e-7, "1.5E-7"},
    {std::nextafter(0.00001, 0.0), "0.00001"},  // the rounded value decides
    {std::numeric_limits<double>::max(), "1.79769313486232E308"},
    {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
    {std::numeric_limits<double>::quiet_NaN(), "NAN"},
    {std::numeric_limits<double>::infinity(), "INF"},
    {-std::numeric_limits<double>::infinity(), "-INF"},
};

TEST(FormatFloatTest, GeneralFormatWithFifteenDigits) {
  for (const FormatCase& c : kFormatCases) {
    EXPECT_EQ(FormatFloat(c.value), QString::fromLatin1(c.expected)) << c.expected;
    EXPECT_EQ(FormatFloatAscii(c.value), std::string(c.expected)) << c.expected;
  }
}

TEST(FormatFloatTest, ReadsBackToTheSameText) {
  for (const FormatCase& c : kFormatCases) {
    if (!std::isfinite(c.value)) continue;
    if (c.value == std::numeric_limits<double>::max()) {
      // Rounded to 15 digits the largest doubles lie beyond the double range;
      // reading them back fails loudly instead of giving infinity.
      EXPECT_FALSE(ParseFloat(FormatFloat(c.value)).has_value());
      continue;
    }
    const std::optional<double> parsed = ParseFloat(FormatFloat(c.value));
    ASSERT_TRUE(parsed.has_value()) << c.expected;
    EXPECT_EQ(FormatFloat(*parsed), QString::fromLatin1(c.expected));
  }
}

TEST(ParseFloatTest, AcceptsPointOrCommaAndIgnoresSpaces) {
  const struct {
    const char16_t* text;
    double expected;
  } cases[] = {
      {u"439,65337", 439.65337},
      {u"523.464905", 523.464905},
      {u" 1 000,5", 1000.5},
      {u"\u00A012,5\t", 12.5},
      {u"1E-6", 1e-6},
      {u"-2.5e16", -2.5e16},
      {u"1e+5", 1e5},
      {u"+3", 3},
      {u"-0", 0},
      {u".5", 0.5},
      {u"5.", 5},
      {u"007", 7},
      {u"4.94065645841247E-324", std::numeric_limits<double>::denorm_min()},
  };
  for (const auto& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    const std::optional<double> parsed = ParseFloat(text);
    ASSERT_TRUE(parsed.has_value()) << text.toStdString();
    EXPECT_EQ(*parsed, c.expected) << text.toStdString();
  }
}

TEST(ParseFloatTest, RejectsAnythingButOneWholeNumber) {
  const char16_t* const cases[] = {
      u"",
      u" ",
      u"abc",
      u"12a",
      u"1.000,5",
      u"1,2,3",
      u"..5",
      u".",
      u"-",
      u"+-1",
      u"--1",
      u"1e",
      u"e5",
      u"1e5.5",
      u"0x1p3",
      u"inf",
      u"-INF",
      u"nan",
      u"1e400",
      u"-1e400",
      u"1e-400",
      u"1e99999999999999999999",
      u"\u0661\u0662",  // Arabic-Indic digits
      u"\uFF11",        // fullwidth one
  };
  for (const char16_t* c : cases) {
    const QString text = QString::fromUtf16(c);
    EXPECT_FALSE(ParseFloat(text).has_value()) << text.toStdString();
  }
}

TEST(IntTest, FormatsAndParsesDecimalAndHexadecimal) {
  EXPECT_EQ(FormatInt(0), QStringLiteral("0"));
  EXPECT_EQ(FormatInt(-16777208), QStringLiteral("-16777208"));
  EXPECT_EQ(FormatInt(std::numeric_limits<qint64>::min()), QStringLiteral("-9223372036854775808"));

  const struct {
    const char16_t* text;
    std::optional<qint64> expected;
  } cases[] = {
      {u"0", 0},
      {u"-16777208", -16777208},
      {u"+42", 42},
      {u" 7\t", 7},
      {u"$1F", 31},
      {u"0x1F", 31},
      {u"0X1f", 31},
      {u"-$10", -16},
      {u"9223372036854775807", std::numeric_limits<qint64>::max()},
      {u"-9223372036854775808", std::numeric_limits<qint64>::min()},
      {u"$FFFFFFFFFFFFFFFF", -1},  // bit pattern
      {u"9223372036854775808", std::nullopt},
      {u"-9223372036854775809", std::nullopt},
      {u"99999999999999999999999", std::nullopt},
      {u"$1FFFFFFFFFFFFFFFF", std::nullopt},
      {u"-$FFFFFFFFFFFFFFFF", std::nullopt},
      {u"", std::nullopt},
      {u"-", std::nullopt},
      {u"$", std::nullopt},
      {u"0x", std::nullopt},
      {u"1 2", std::nullopt},
      {u"1.0", std::nullopt},
      {u"12a", std::nullopt},
      {u"$-1", std::nullopt},
      {u"\u0661", std::nullopt},
  };
  for (const auto& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(ParseInt(text), c.expected) << text.toStdString();
  }

  const struct {
    const char16_t* text;
    std::optional<qint32> expected;
  } cases32[] = {
      {u"2147483647", 2147483647},
      {u"-2147483648", std::numeric_limits<qint32>::min()},
      {u"$FF000008", -16777208},
      {u"$1FFFFFFF", 536870911},
      {u"2147483648", std::nullopt},
      {u"4294967295", std::nullopt},  // decimal never wraps
      {u"$100000000", std::nullopt},
      {u"+$FFFFFFFF", std::nullopt},  // a sign means a magnitude, not a bit pattern
  };
  for (const auto& c : cases32) {
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(ParseInt32(text), c.expected) << text.toStdString();
  }
}

// Switches the C and Qt locales to German (comma decimal point) for one
// scope and restores both afterwards, even when an assertion fails.
class GermanLocaleScope {
 public:
  GermanLocaleScope() : saved_c_(std::setlocale(LC_ALL, nullptr)), saved_qt_(QLocale()) {
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  ~GermanLocaleScope() {
    std::setlocale(LC_ALL, saved_c_.c_str());
    QLocale::setDefault(saved_qt_);
  }
  bool Active() const { return active_; }

 private:
  std::string saved_c_;
  QLocale saved_qt_;
  bool active_ = false;
};

TEST(NumberLocaleTest, CommaDecimalLocaleChangesNothing) {
  std::vector<QString> formatted;
  for (const FormatCase& c : kFormatCases) formatted.push_back(FormatFloat(c.value));
  const QString inputs[] = {"439,65337", "523.464905", " 1 000,5", "-2.5E16"};
  std::vector<std::optional<double>> parsed;
  for (const QString& text : inputs) parsed.push_back(ParseFloat(text));

  GermanLocaleScope german;
  if (!german.Active()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  // Proof that the switch took: both locales now write a comma.
  ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
  ASSERT_EQ(QLocale().toString(1.5), QStringLiteral("1,5"));

  for (std::size_t i = 0; i < std::size(kFormatCases); ++i) {
    EXPECT_EQ(FormatFloat(kFormatCases[i].value), formatted[i]);
  }
  for (std::size_t i = 0; i < std::size(inputs); ++i) {
    EXPECT_EQ(ParseFloat(inputs[i]), parsed[i]) << inputs[i].toStdString();
  }
  EXPECT_EQ(FormatInt(-1234567), QStringLiteral("-1234567"));
  EXPECT_EQ(ParseInt(u"1234567"), 1234567);
}

}  // namespace
}  // namespace ovx
