// The lexical pieces of a PDF file: numbers, strings, names, colours and
// compressed stream data.
//
// Every number goes through std::to_chars, never through printf or the
// locale, so a file written on a German desktop is byte-identical to one
// written on an English one. Values that no page could hold (NaN,
// infinities, coordinates from a damaged template) are clamped to a range
// every reader accepts instead of producing "inf" or "1e+300", which would
// make the whole content stream unreadable.
#pragma once

#include "base/color.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace ovx {

// Coordinates and sizes beyond this many points are clamped; PDF readers
// must accept reals of this magnitude, and no paper is larger.
inline constexpr double kPdfMaxCoordinate = 1.0e7;

// Fixed point with two decimals and a dot: "12.00", "-0.75". NaN gives
// "0.00", infinities the clamped limit; -0.00 is written as "0.00".
QByteArray PdfFixed(double value);
// Up to `max_decimals` decimals with trailing zeros and a trailing dot
// removed: "0.25", "1", "-3.125".
QByteArray PdfReal(double value, int max_decimals = 3);
QByteArray PdfInt(qint64 value);

// "r g b" operands of a colour: each channel / 255 with two decimals, except
// black (and no colour) as "0 0 0" and white as "1 1 1". System colours are
// resolved first.
QByteArray PdfColorOperands(Color color);

// A literal string token of raw bytes: "(" bytes ")" with LF, CR, "(", ")"
// and "\" escaped. Any other byte (encrypted data included) is written as is.
QByteArray PdfLiteralString(QByteArrayView bytes);
// A hex string token of raw bytes: "<" uppercase hex digits ">".
QByteArray PdfHexString(QByteArrayView bytes);
// A text string's bytes: FE FF and the UTF-16 big-endian code units.
QByteArray PdfTextBytes(const QString& text);
// A name token from arbitrary text: "/" then the UTF-8 bytes, with every
// byte outside "!".."~" and every delimiter or "#" written as "#" and two
// uppercase hex digits.
QByteArray PdfName(const QString& text);

// The date form "D:yyyyMMddHHmmss+00'00'" of a UTC time.
QByteArray PdfDate(const QDateTime& utc);

// Deflate in zlib format at `level` (the writer uses 1). Throws ovx::Error
// when zlib fails (which happens only when memory runs out).
QByteArray PdfDeflate(QByteArrayView data, int level = 1);

}  // namespace ovx
