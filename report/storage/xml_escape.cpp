// Escaping and unescaping of attribute values; see xml_escape.h.
#include "report/storage/xml_escape.h"

#include <cstring>

namespace ovx {

namespace {

constexpr bool NeedsEscape(unsigned char c) {
  return c == 0 || c == 10 || c == 13 || c == '"' || c == '&' || c == '<' || c == '>';
}

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes the reference starting at `p` (pointing at "&") and ending before
// `end`. Appends its replacement and answers the byte after it, or answers
// nullptr when the text there is no reference this reader understands.
const char* DecodeReference(const char* p, const char* end, QByteArray& out) {
  const char* q = p + 1;
  if (q < end && *q == '#') {
    ++q;
    const char* digits = q;
    char32_t code = 0;
    bool too_big = false;
    while (q < end && *q >= '0' && *q <= '9') {
      // Saturate instead of overflowing: any number past the Unicode range
      // is rejected below, however long it is.
      if (!too_big) {
        code = code * 10 + static_cast<char32_t>(*q - '0');
        too_big = code > kMaxCodePoint;
      }
      ++q;
    }
    if (q == digits || q >= end || *q != ';' || too_big || IsSurrogate(code)) return nullptr;
    if (code < 128) {
      out.append(static_cast<char>(code));
    } else {
      AppendUtf8(code, out);
    }
    return q + 1;
  }
  struct Entity {
    const char* name;  // without "&", with ";"
    char replacement;
  };
  static constexpr Entity kEntities[] = {{"quot;", '"'}, {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}};
  for (const Entity& entity : kEntities) {
    const size_t length = std::strlen(entity.name);
    if (static_cast<size_t>(end - q) >= length && std::memcmp(q, entity.name, length) == 0) {
      out.append(entity.replacement);
      return q + length;
    }
  }
  return nullptr;
}

}  // namespace

void XmlEscapeTo(QByteArrayView value, QByteArray& out) {
  const char* p = value.data();
  const char* end = p + value.size();
  const char* run = p;
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!NeedsEscape(c)) continue;
    out.append(run, p - run);
    out.append("&#");
    if (c >= 10) out.append(static_cast<char>('0' + c / 10));
    out.append(static_cast<char>('0' + c % 10));
    out.append(';');
    run = p + 1;
  }
  out.append(run, end - run);
}

QByteArray XmlEscape(QByteArrayView value) {
  QByteArray out;
  out.reserve(value.size());
  XmlEscapeTo(value, out);
  return out;
}

QByteArray XmlUnescape(QByteArrayView value) {
  const char* p = value.data();
  const char* end = p + value.size();
  const void* first = value.isEmpty() ? nullptr : std::memchr(p, '&', value.size());
  if (first == nullptr) return value.toByteArray();
  QByteArray out;
  out.reserve(value.size());
  const char* run = p;
  p = static_cast<const char*>(first);
  while (p != nullptr) {
    out.append(run, p - run);
    const char* next = DecodeReference(p, end, out);
    if (next == nullptr) {
      out.append('&');
      next = p + 1;
    }
    run = next;
    p = run < end ? static_cast<const char*>(std::memchr(run, '&', end - run)) : nullptr;
  }
  out.append(run, end - run);
  return out;
}

void AppendUtf8(char32_t c, QByteArray& out) {
  if (c < 0x80) {
    out.append(static_cast<char>(c));
  } else if (c < 0x800) {
    out.append(static_cast<char>(0xC0 | (c >> 6)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.append(static_cast<char>(0xE0 | (c >> 12)));
    out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.append(static_cast<char>(0xF0 | (c >> 18)));
    out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace ovx
