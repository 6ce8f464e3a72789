// The reader of the library's XML dialect; see xml_reader.h.
//
// Tags are collected from a 4096-byte buffer with a byte scan for "<" and
// ">"; attribute texts are copied, never parsed, except for the ld="0" swap
// marker. Elements recurse once per level, which kMaxXmlDepth bounds.
// Positions are absolute stream positions, so offsets of skipped elements
// stay valid for reading them again later.
#include "report/storage/internal/xml_reader.h"

#include "base/stream.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_error.h"

#include <cstring>

namespace ovx::xml_internal {

namespace {

void TrimXmlSpace(QByteArray& text) {
  qsizetype end = text.size();
  while (end > 0 && IsXmlSpace(text[end - 1])) --end;
  qsizetype begin = 0;
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  if (begin > 0 || end < text.size()) text = text.sliced(begin, end - begin);
}

bool SameName(const QByteArray& a, const QByteArray& b) {
  return a.size() == b.size() && qstrnicmp(a.constData(), a.size(), b.constData(), b.size()) == 0;
}

}  // namespace

TovxXMLReader::TovxXMLReader(Stream& stream) : stream_(stream), buffer_start_(stream.Position()) {}

void TovxXMLReader::Fail(const char* reason, qint64 position) const {
  throw TovxInvalidXMLException(QString::fromLatin1(reason), position);
}

bool TovxXMLReader::Fill() {
  buffer_start_ += filled_;
  read_ = 0;
  filled_ = static_cast<int>(stream_.Read(buffer_, sizeof buffer_));
  return filled_ > 0;
}

bool TovxXMLReader::NextByte(char& c) {
  if (read_ == filled_ && !Fill()) return false;
  c = buffer_[read_++];
  return true;
}

bool TovxXMLReader::SkipToTagStart(qint64& position) {
  for (;;) {
    if (read_ == filled_ && !Fill()) return false;
    const void* found = std::memchr(buffer_ + read_, '<', filled_ - read_);
    if (found != nullptr) {
      const int index = static_cast<int>(static_cast<const char*>(found) - buffer_);
      position = buffer_start_ + index;
      read_ = index + 1;
      return true;
    }
    read_ = filled_;
  }
}

void TovxXMLReader::SkipComment(qint64 position) {
  // A comment may hold "<" and ">"; only "-->" ends it.
  int dashes = 0;
  char c;
  while (NextByte(c)) {
    if (c == '-') {
      ++dashes;
    } else if (c == '>' && dashes >= 2) {
      return;
    } else {
      dashes = 0;
    }
  }
  Fail("comment not closed", position);
}

bool TovxXMLReader::ReadRawTag(QByteArray& tag, qint64& position) {
  for (;;) {
    if (!SkipToTagStart(position)) return false;
    tag.clear();
    // The first three bytes tell a comment from a tag.
    char c;
    while (tag.size() < 3) {
      if (!NextByte(c)) Fail("end of data inside a tag", position);
      if (c == '<') Fail("\"<\" inside a tag", Position() - 1);
      if (c == '>') return true;
      tag.append(c);
    }
    if (tag == "!--") {
      SkipComment(position);
      continue;
    }
    for (;;) {
      if (read_ == filled_ && !Fill()) Fail("end of data inside a tag", position);
      const char* start = buffer_ + read_;
      const char* end = buffer_ + filled_;
      const char* p = start;
      while (p < end && *p != '>' && *p != '<') ++p;
      tag.append(start, p - start);
      read_ = static_cast<int>(p - buffer_);
      if (p == end) continue;
      if (*p == '<') Fail("\"<\" inside a tag", Position());
      ++read_;
      return true;
    }
  }
}

void TovxXMLReader::SplitTag(QByteArray raw, Tag& tag) {
  tag.end = raw.startsWith('/');
  const qsizetype name_begin = tag.end ? 1 : 0;
  qsizetype i = name_begin;
  while (i < raw.size() && !IsXmlSpace(raw[i])) ++i;
  tag.name = raw.sliced(name_begin, i - name_begin);
  tag.text = raw.sliced(i);
  tag.empty = false;
  if (tag.end) return;
  // White space around the attribute text carries no meaning. Dropping all
  // of it (not only one trailing space) is what makes every tag the writer
  // wrote read back to the very same text.
  TrimXmlSpace(tag.text);
  if (tag.name.endsWith('/')) {
    // All of them: a name the writer wrote never ends in "/".
    while (tag.name.endsWith('/')) tag.name.chop(1);
    tag.empty = true;
  } else if (tag.text.endsWith('/')) {
    tag.text.chop(1);
    TrimXmlSpace(tag.text);
    tag.empty = true;
  }
}

bool TovxXMLReader::ReadTag(Tag& tag) {
  QByteArray raw;
  if (!ReadRawTag(raw, tag.position)) return false;
  SplitTag(std::move(raw), tag);
  return true;
}

void TovxXMLReader::ReadHeader() {
  QByteArray raw;
  qint64 position = 0;
  if (!ReadRawTag(raw, position)) Fail("no XML declaration", Position());
  if (!raw.startsWith("?xml")) Fail("first tag is not the XML declaration", position);
  QByteArrayView text = QByteArrayView(raw).sliced(4);
  if (text.endsWith('?')) text.chop(1);
  XmlAttributeSpan span;
  old_format_ = FindXmlAttribute(text, "version", span) && span.raw_value == "1.0" &&
                !FindXmlAttribute(text, "standalone", span);
}

bool TovxXMLReader::TakeSwapMarker(QByteArray& text) {
  // The writer appends the marker at the very end; taking it from there
  // first makes what it wrote read back exactly, whatever the text before
  // it holds (even an unbalanced quote).
  constexpr QByteArrayView kMarker = "ld=\"0\"";
  const qsizetype size = text.size();
  if (size >= kMarker.size() && qstrnicmp(text.constData() + size - kMarker.size(), kMarker.size(),
                                          kMarker.data(), kMarker.size()) == 0) {
    if (size == kMarker.size()) {
      text.clear();
      return true;
    }
    if (IsXmlSpace(text[size - kMarker.size() - 1])) {
      text.chop(kMarker.size() + 1);
      return true;
    }
  }
  // Elsewhere in the text (written by hand or by another program) it is
  // found as an attribute pair, never inside a value.
  bool candidate = false;
  for (qsizetype i = 1; i < size && !candidate; ++i) {
    candidate = (text[i] | 0x20) == 'd' && (text[i - 1] | 0x20) == 'l';
  }
  if (!candidate) return false;
  XmlAttributeScanner scanner(text);
  XmlAttributeSpan span;
  XmlAttributeSpan last;
  bool found = false;
  while (scanner.Next(span)) {
    if (span.has_value && span.raw_value == "0" && span.name.size() == 2 &&
        (span.name[0] | 0x20) == 'l' && (span.name[1] | 0x20) == 'd') {
      last = span;
      found = true;
    }
  }
  if (found) {
    RemoveXmlAttribute(text, last);
    TrimXmlSpace(text);
  }
  return found;
}

void TovxXMLReader::CheckStartTag(const Tag& tag, int depth) const {
  if (depth > kMaxXmlDepth) Fail("elements nested too deeply", tag.position);
  // The writer could not write a nameless element back ("</>" is an end tag).
  if (tag.name.isEmpty()) Fail("element without a name", tag.position);
}

void TovxXMLReader::TakeElement(Tag& tag, TovxXMLItem* item, int depth, bool keep_identity) {
  const bool marked = TakeSwapMarker(tag.text);
  const QByteArray name = tag.name;
  if (item != nullptr) {
    if (!keep_identity) {
      item->name_ = std::move(tag.name);
      item->text_ = std::move(tag.text);
    }
    if (marked) item->unloadable_ = true;
  }
  if (tag.empty) return;
  if (marked && partial_ && item != nullptr) {
    // Leave the children in the stream; only their end has to be found.
    item->loaded_ = false;
    item->offset_ = tag.position;
    item->swap_place_ = TovxXMLItem::SwapPlace::kSource;
    ReadContent(nullptr, name, depth);
  } else {
    ReadContent(item, name, depth);
  }
}

bool TovxXMLReader::ReadContent(TovxXMLItem* item, const QByteArray& name, int depth) {
  Tag tag;
  for (;;) {
    if (!ReadTag(tag)) {
      truncated_ = true;
      return false;
    }
    if (tag.end) {
      if (!SameName(tag.name, name)) Fail("end tag does not match its start tag", tag.position);
      return true;
    }
    // Checked before the child exists, so a rejected tag leaves no trace.
    CheckStartTag(tag, depth + 1);
    TovxXMLItem* child = item != nullptr ? item->Add() : nullptr;
    TakeElement(tag, child, depth + 1, false);
    if (truncated_) return false;
  }
}

void TovxXMLReader::ReadElement(TovxXMLItem* item, bool partial) {
  partial_ = partial;
  Tag tag;
  if (!ReadTag(tag)) Fail("no root element", Position());
  if (tag.end) Fail("end tag without start tag", tag.position);
  CheckStartTag(tag, 1);
  TakeElement(tag, item, 1, false);
}

void TovxXMLReader::ReadElementAgain(const QByteArray& name, TovxXMLItem* into) {
  partial_ = false;
  Tag tag;
  if (!ReadTag(tag)) Fail("no element at the swap position", Position());
  if (tag.end || !SameName(tag.name, name)) {
    Fail("swapped-out element does not match its item", tag.position);
  }
  CheckStartTag(tag, 1);
  TakeElement(tag, into, 1, true);
  if (truncated_) Fail("swapped-out element is incomplete", Position());
}

}  // namespace ovx::xml_internal
