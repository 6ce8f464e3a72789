// Scanning the raw attribute text of an element.
//
// An element keeps its attributes as the text that followed its name in the
// tag (`Name="Page1" PaperSize="256"`, values still escaped) and parses it
// only when asked. The scanner walks that text as name="value" pairs, so a
// value can never be mistaken for an attribute: in `a="x t=" t="1"` the
// attribute `t` is "1". It is tolerant of what hand-written files contain:
// any XML white space between pairs and around "=", single or double quotes,
// unquoted values (up to the next white space), bare words without "=" (seen,
// but never matched by name), and an unterminated quote (the value runs to
// the end of the text).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace ovx {

struct XmlAttributeSpan {
  qsizetype begin = 0;  // first byte of the name
  qsizetype end = 0;    // one past the closing quote (or the value's end)
  QByteArrayView name;
  QByteArrayView raw_value;  // still escaped
  bool has_value = false;    // false for a bare word
};

class XmlAttributeScanner {
 public:
  explicit XmlAttributeScanner(QByteArrayView text) : text_(text) {}
  // The next pair; false at the end of the text.
  bool Next(XmlAttributeSpan& span);

 private:
  QByteArrayView text_;
  qsizetype position_ = 0;
};

// The first attribute with a value whose name equals `name` ignoring ASCII
// case.
bool FindXmlAttribute(QByteArrayView text, QByteArrayView name, XmlAttributeSpan& span);

// The unescaped value of attribute `name`, or empty when it is absent.
QByteArray ReadXmlAttribute(QByteArrayView text, QByteArrayView name);

// Sets attribute `name` to `value` (escaped here): an existing attribute is
// replaced where it stands, so the order of the others is kept; a new one is
// appended, after a space when the text does not already end in white space.
void WriteXmlAttribute(QByteArray& text, QByteArrayView name, QByteArrayView value);

// Removes the attribute spanned by `span` together with one white space byte
// before it (or, at the start of the text, after it).
void RemoveXmlAttribute(QByteArray& text, const XmlAttributeSpan& span);

inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace ovx
