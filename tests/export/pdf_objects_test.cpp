// Numbers, strings, names, colours and compression of the PDF writer, and
// the RC4 cipher and permission values of the security handler.
#include "export/pdf_objects.h"
#include "export/pdf_security.h"

#include <QByteArray>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <limits>

namespace ovx {
namespace {

TEST(PdfNumbers, FixedAndRealTextIgnoresTheLocale) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    const char* fixed;
    const char* real;
  } cases[] = {
      {12, "12.00", "12"},
      {0.25, "0.25", "0.25"},
      {-3.1254, "-3.13", "-3.125"},
      {1234567.891, "1234567.89", "1234567.891"},
      // Rounding to zero from below must not print a sign.
      {-0.001, "0.00", "-0.001"},
      {-0.0001, "0.00", "0"},
      // Nothing a reader would reject.
      {std::nan(""), "0.00", "0"},
      {inf, "10000000.00", "10000000"},
      {-inf, "-10000000.00", "-10000000"},
      {1e300, "10000000.00", "10000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PdfFixed(c.value), c.fixed) << c.value;
    EXPECT_EQ(PdfReal(c.value), c.real) << c.value;
  }
  EXPECT_EQ(PdfReal(2.5, 0), "2");  // halves to even, as the library rounds
}

TEST(PdfStrings, LiteralStringsEscapeDelimitersAndLineEnds) {
  EXPECT_EQ(PdfLiteralString("a(b)c\\d"), "(a\\(b\\)c\\\\d)");
  EXPECT_EQ(PdfLiteralString("\r\n"), "(\\r\\n)");
  // Other bytes, binary ones included, stay as they are.
  EXPECT_EQ(PdfLiteralString(QByteArray("\x00\xFF\t", 3)), QByteArray("(\x00\xFF\t)", 5));
}

TEST(PdfStrings, TextStringsAreUtf16BigEndianWithAMark) {
  // U+5C28 and U+2829 hold the bytes of "\" and "(" in their UTF-16 form.
  const QByteArray bytes = PdfTextBytes(QString::fromUtf16(u"A\u5C28\u2829"));
  EXPECT_EQ(bytes, QByteArray("\xFE\xFF\x00"
                              "A\x5C\x28\x28\x29",
                              8));
  EXPECT_EQ(PdfLiteralString(bytes), QByteArray("(\xFE\xFF\x00"
                                                "A\\\\\\(\\(\\))",
                                                14));
  EXPECT_EQ(PdfHexString("\x01\xAB"), "<01AB>");
}

TEST(PdfStrings, NamesEscapeDelimitersSpacesAndNonAscii) {
  EXPECT_EQ(PdfName(QStringLiteral("Arial")), "/Arial");
  EXPECT_EQ(PdfName(QStringLiteral("Times New (Roman)/#")), "/Times#20New#20#28Roman#29#2F#23");
  EXPECT_EQ(PdfName(QString::fromUtf16(u"\u6977")), "/#E6#A5#B7");
}

TEST(PdfColors, OperandsOfColours) {
  EXPECT_EQ(PdfColorOperands(clBlack), "0 0 0");
  EXPECT_EQ(PdfColorOperands(clNone), "0 0 0");
  EXPECT_EQ(PdfColorOperands(clWhite), "1 1 1");
  EXPECT_EQ(PdfColorOperands(clRed), "1.00 0.00 0.00");
  EXPECT_EQ(PdfColorOperands(RgbColor(0, 128, 255)), "0.00 0.50 1.00");
  // System colours resolve first (window text is black).
  EXPECT_EQ(PdfColorOperands(clWindowText), "0 0 0");
}

TEST(PdfDeflate, RoundTripsThroughZlib) {
  QByteArray data;
  for (int i = 0; i < 5000; ++i) data += QByteArray::number(i % 97) + ' ';
  const QByteArray packed = PdfDeflate(data);
  ASSERT_LT(packed.size(), data.size());
  QByteArray unpacked(data.size(), '\0');
  uLongf size = static_cast<uLongf>(unpacked.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &size,
                       reinterpret_cast<const Bytef*>(packed.data()), packed.size()),
            Z_OK);
  EXPECT_EQ(unpacked, data);
  EXPECT_FALSE(PdfDeflate(QByteArray()).isEmpty());
}

TEST(PdfSecurity, Rc4MatchesPublishedVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher_hex;
  } cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const Case& c : cases) {
    const QByteArray cipher = Rc4::Crypt(c.key, c.plain);
    EXPECT_EQ(cipher.toHex(), c.cipher_hex) << c.key;
    EXPECT_EQ(Rc4::Crypt(c.key, cipher), c.plain) << c.key;
  }
}

TEST(PdfSecurity, PermissionValues) {
  EXPECT_EQ(PdfPermissionValue(15), -4);
  EXPECT_EQ(PdfPermissionValue(0), -64);
  EXPECT_EQ(PdfPermissionValue(kPdfPermitPrint | kPdfPermitCopy | kPdfPermitAnnotate), -12);
}

TEST(PdfSecurity, PasswordsArePaddedOrCut) {
  const QByteArray empty = PdfStandardSecurity::PaddedPassword(QString());
  EXPECT_EQ(empty.size(), 32);
  EXPECT_EQ(empty.left(4).toHex(), "28bf4e5e");
  const QByteArray short_one = PdfStandardSecurity::PaddedPassword(QStringLiteral("ab"));
  EXPECT_EQ(short_one.left(3), QByteArray("ab\x28"));
  const QByteArray long_one = PdfStandardSecurity::PaddedPassword(QString(40, u'x'));
  EXPECT_EQ(long_one, QByteArray(32, 'x'));
  // Characters beyond Latin-1 are kept (as UTF-8), not turned into "?".
  EXPECT_EQ(PdfStandardSecurity::PaddedPassword(QString::fromUtf16(u"\u5BC6")).left(3),
            QByteArray("\xE5\xAF\x86"));
}

}  // namespace
}  // namespace ovx
