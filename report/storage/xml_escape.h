// Character escaping of the library's XML dialect.
//
// Every writer of the dialect escapes attribute values with XmlEscape: the
// bytes 0, 10, 13, 34 ("), 38 (&), 60 (<) and 62 (>) become decimal
// character references ("&#13;&#10;" for a line break); every other byte,
// tab, other control bytes and UTF-8 sequences included, is kept as it is.
// Escaping is byte-exact and reversible: XmlUnescape(XmlEscape(x)) == x for
// every byte string x.
//
// XmlUnescape reads what this writer and other XML producers write: decimal
// references ("&#38;"; below 128 the byte itself, from 128 up the Unicode
// character encoded as UTF-8) and the entities &quot; &amp; &lt; &gt;.
// Anything else that starts with "&" is kept unchanged: an unterminated or
// empty reference, one with a non-digit, a number beyond U+10FFFF or a
// surrogate, and any other entity name.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace ovx {

QByteArray XmlEscape(QByteArrayView value);
// Appends the escaped `value` to `out` (the writers' fast path).
void XmlEscapeTo(QByteArrayView value, QByteArray& out);

QByteArray XmlUnescape(QByteArrayView value);

// Appends the UTF-8 encoding of `code_point` (which must be a Unicode scalar
// value: at most 0x10FFFF and no surrogate).
void AppendUtf8(char32_t code_point, QByteArray& out);

}  // namespace ovx
