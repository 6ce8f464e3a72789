// Attribute text scanning; see xml_attributes.h.
#include "report/storage/xml_attributes.h"

#include "report/storage/xml_escape.h"

namespace ovx {

namespace {

bool SameNameIgnoringCase(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool XmlAttributeScanner::Next(XmlAttributeSpan& span) {
  const qsizetype size = text_.size();
  qsizetype i = position_;
  while (i < size && IsXmlSpace(text_[i])) ++i;
  if (i >= size) {
    position_ = size;
    return false;
  }
  span = XmlAttributeSpan();
  span.begin = i;
  while (i < size && !IsXmlSpace(text_[i]) && text_[i] != '=') ++i;
  span.name = text_.sliced(span.begin, i - span.begin);
  qsizetype after_name = i;
  while (i < size && IsXmlSpace(text_[i])) ++i;
  if (i >= size || text_[i] != '=' || span.name.isEmpty()) {
    if (span.name.isEmpty()) {
      // A stray "=": step over it so the scan always moves on.
      after_name = i + 1;
    }
    span.end = after_name;
    position_ = after_name;
    return true;
  }
  ++i;  // "="
  while (i < size && IsXmlSpace(text_[i])) ++i;
  span.has_value = true;
  if (i < size && (text_[i] == '"' || text_[i] == '\'')) {
    const char quote = text_[i];
    const qsizetype value_begin = ++i;
    while (i < size && text_[i] != quote) ++i;
    span.raw_value = text_.sliced(value_begin, i - value_begin);
    span.end = i < size ? i + 1 : size;
  } else {
    const qsizetype value_begin = i;
    while (i < size && !IsXmlSpace(text_[i])) ++i;
    span.raw_value = text_.sliced(value_begin, i - value_begin);
    span.end = i;
  }
  position_ = span.end;
  return true;
}

bool FindXmlAttribute(QByteArrayView text, QByteArrayView name, XmlAttributeSpan& span) {
  XmlAttributeScanner scanner(text);
  while (scanner.Next(span)) {
    if (span.has_value && SameNameIgnoringCase(span.name, name)) return true;
  }
  return false;
}

QByteArray ReadXmlAttribute(QByteArrayView text, QByteArrayView name) {
  XmlAttributeSpan span;
  if (!FindXmlAttribute(text, name, span)) return QByteArray();
  return XmlUnescape(span.raw_value);
}

void WriteXmlAttribute(QByteArray& text, QByteArrayView name, QByteArrayView value) {
  QByteArray pair;
  pair.reserve(name.size() + value.size() + 3);
  pair.append(name);
  pair.append("=\"");
  XmlEscapeTo(value, pair);
  pair.append('"');
  XmlAttributeSpan span;
  if (FindXmlAttribute(text, name, span)) {
    text.replace(span.begin, span.end - span.begin, pair);
    return;
  }
  if (!text.isEmpty() && !IsXmlSpace(text.back())) text.append(' ');
  text.append(pair);
}

void RemoveXmlAttribute(QByteArray& text, const XmlAttributeSpan& span) {
  qsizetype begin = span.begin;
  qsizetype end = span.end;
  if (begin > 0 && IsXmlSpace(text[begin - 1])) {
    --begin;
  } else if (end < text.size() && IsXmlSpace(text[end])) {
    ++end;
  }
  text.remove(begin, end - begin);
}

}  // namespace ovx
