// Lexical pieces of PDF files; see pdf_objects.h.
#include "export/pdf_objects.h"

#include "base/error.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace ovx {
namespace {

double Clamped(double value) {
  if (std::isnan(value)) return 0;
  return std::clamp(value, -kPdfMaxCoordinate, kPdfMaxCoordinate);
}

QByteArray Fixed(double value, int decimals) {
  value = Clamped(value);
  char buffer[48];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  QByteArray text(buffer, result.ptr - buffer);
  // A value that rounds to zero from below prints as "-0.00".
  if (text.startsWith('-') && text.count('0') == text.size() - 2) text.remove(0, 1);
  return text;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

QByteArray PdfFixed(double value) { return Fixed(value, 2); }

QByteArray PdfReal(double value, int max_decimals) {
  QByteArray text = Fixed(value, std::clamp(max_decimals, 0, 10));
  if (text.contains('.')) {
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
  }
  if (text == "-0") text = "0";
  return text;
}

QByteArray PdfInt(qint64 value) { return QByteArray::number(value); }

QByteArray PdfColorOperands(Color color) {
  if (color == clNone) return "0 0 0";
  const Color rgb = ColorToRgb(color);
  if (rgb == clBlack) return "0 0 0";
  if (rgb == clWhite) return "1 1 1";
  return PdfFixed(RedOf(rgb) / 255.0) + ' ' + PdfFixed(GreenOf(rgb) / 255.0) + ' ' +
         PdfFixed(BlueOf(rgb) / 255.0);
}

QByteArray PdfLiteralString(QByteArrayView bytes) {
  QByteArray out;
  out.reserve(bytes.size() + bytes.size() / 8 + 2);
  out += '(';
  for (const char c : bytes) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '(':
      case ')':
      case '\\':
        out += '\\';
        out += c;
        break;
      default:
        out += c;
    }
  }
  out += ')';
  return out;
}

QByteArray PdfHexString(QByteArrayView bytes) {
  QByteArray out;
  out.reserve(bytes.size() * 2 + 2);
  out += '<';
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
  }
  out += '>';
  return out;
}

QByteArray PdfTextBytes(const QString& text) {
  QByteArray out;
  out.reserve(2 + text.size() * 2);
  out += '\xFE';
  out += '\xFF';
  for (const QChar c : text) {
    out += static_cast<char>(c.unicode() >> 8);
    out += static_cast<char>(c.unicode() & 0xFF);
  }
  return out;
}

QByteArray PdfName(const QString& text) {
  static constexpr QByteArrayView kDelimiters = "()<>[]{}/%#";
  QByteArray out("/");
  for (const char c : text.toUtf8()) {
    const auto b = static_cast<unsigned char>(c);
    if (b < '!' || b > '~' || kDelimiters.contains(c)) {
      out += '#';
      out += kHexDigits[b >> 4];
      out += kHexDigits[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

QByteArray PdfDate(const QDateTime& utc) {
  return "D:" + utc.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "+00'00'";
}

QByteArray PdfDeflate(QByteArrayView data, int level) {
  // zlib counts in uLong; data beyond that is far beyond any stream of a page.
  if (static_cast<quint64>(data.size()) > std::numeric_limits<uLong>::max() / 2) {
    throw Error(QStringLiteral("rsPdfStreamTooLarge"), QStringLiteral("A PDF stream is too large"));
  }
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
  const int result = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                               reinterpret_cast<const Bytef*>(data.data()),
                               static_cast<uLong>(data.size()), level);
  if (result != Z_OK) {
    throw Error(QStringLiteral("rsPdfCompressFailed"),
                QStringLiteral("Compressing a PDF stream failed"));
  }
  out.truncate(static_cast<qsizetype>(size));
  return out;
}

}  // namespace ovx
