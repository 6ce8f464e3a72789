// Narrow text of code page 936 (GBK) and UTF-8 validation.
//
// In memory all text is UTF-16 (QString) and files are written in UTF-8.
// Names and resource texts of older files were written in the system code
// page 936, so a narrow string read from a file decodes as UTF-8 when it is
// valid UTF-8 and as GBK otherwise. A short GBK string can happen to be valid
// UTF-8 as well; UTF-8 wins then, since every current file is UTF-8.
//
// Conversions never drop data silently: an undecodable byte becomes U+FFFD
// and decoding goes on (a well-formed two-byte code without a mapping counts
// as one character), a character GBK cannot hold becomes "?" and the caller
// is told. The conversion uses glibc iconv's CP936, which like
// the platform's code page maps byte 0x80 to the euro sign. Iconv handles are
// kept per thread, so the functions may be called from any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace ovx {

// Throws ovx::Error when the C library offers no CP936 converter.
QString FromGbk(const QByteArray& bytes);

// Characters outside GBK (non-BMP characters, lone surrogates, most scripts
// other than Chinese, Latin, Greek, Cyrillic and kana) become "?". When
// `lossless` is given it is set to whether no such replacement was needed.
// Throws ovx::Error when the C library offers no CP936 converter.
QByteArray ToGbk(QStringView text, bool* lossless = nullptr);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// truncated sequences.
bool IsValidUtf8(const QByteArray& bytes);

// UTF-8 when the bytes are valid UTF-8, GBK otherwise.
QString DecodeNarrow(const QByteArray& bytes);

}  // namespace ovx
