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

QByteArrayView TrimmedXmlSpace(QByteArrayView text) {
  qsizetype end = text.size();
  while (end > 0 && IsXmlSpace(text[end - 1])) --end;
  qsizetype begin = 0;
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  return text.sliced(begin, end - begin);
}

void TrimXmlSpace(QByteArray& text) {
  const QByteArrayView trimmed = TrimmedXmlSpace(text);
  if (trimmed.size() < text.size()) text = trimmed.toByteArray();
}

// How many distinct element names are shared; documents of the library use
// a few dozen, and a hostile one with more only loses the sharing.
constexpr qsizetype kMaxSharedNames = 4096;

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
    const int skipped_end =
        found != nullptr ? static_cast<int>(static_cast<const char*>(found) - buffer_) : filled_;
    if (const void* zero = std::memchr(buffer_ + read_, 0, skipped_end - read_)) {
      Fail("NUL byte in the document", buffer_start_ + (static_cast<const char*>(zero) - buffer_));
    }
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
    if (c == 0) Fail("NUL byte in the document", Position() - 1);
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
    tag.resize(0);
    // The first three bytes tell a comment from a tag.
    char c;
    while (tag.size() < 3) {
      if (!NextByte(c)) Fail("end of data inside a tag", position);
      if (c == '<') Fail("\"<\" inside a tag", Position() - 1);
      if (c == 0) Fail("NUL byte in the document", Position() - 1);
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
      while (p < end && *p != '>' && *p != '<' && *p != 0) ++p;
      if (tag.size() + (p - start) > kMaxXmlTagSize) Fail("tag longer than 1 GiB", position);
      tag.append(start, p - start);
      read_ = static_cast<int>(p - buffer_);
      if (p == end) continue;
      if (*p == '<') Fail("\"<\" inside a tag", Position());
      if (*p == 0) Fail("NUL byte in the document", Position());
      ++read_;
      return true;
    }
  }
}

QByteArray TovxXMLReader::SharedName(QByteArrayView name) {
  if (name.isEmpty()) return {};
  const auto it = names_.constFind(QByteArray::fromRawData(name.data(), name.size()));
  if (it != names_.constEnd()) return *it;
  QByteArray copy = name.toByteArray();
  if (names_.size() < kMaxSharedNames) names_.insert(copy, copy);
  return copy;
}

void TovxXMLReader::SplitTag(QByteArrayView raw, Tag& tag) {
  tag.end = raw.startsWith('/');
  const qsizetype name_begin = tag.end ? 1 : 0;
  qsizetype i = name_begin;
  while (i < raw.size() && !IsXmlSpace(raw[i])) ++i;
  QByteArrayView name = raw.sliced(name_begin, i - name_begin);
  QByteArrayView text = raw.sliced(i);
  tag.empty = false;
  if (!tag.end) {
    // White space around the attribute text carries no meaning. Dropping
    // all of it (not only one trailing space) is what makes every tag the
    // writer wrote read back to the very same text.
    text = TrimmedXmlSpace(text);
    if (name.endsWith('/')) {
      // All of them: a name the writer wrote never ends in "/".
      while (name.endsWith('/')) name.chop(1);
      tag.empty = true;
    } else if (text.endsWith('/')) {
      text.chop(1);
      text = TrimmedXmlSpace(text);
      tag.empty = true;
    }
  }
  tag.name = SharedName(name);
  // A copy of its own size: the tag buffer is reused and may be much larger.
  tag.text = text.isEmpty() ? QByteArray() : text.toByteArray();
}

bool TovxXMLReader::ReadTag(Tag& tag) {
  if (!ReadRawTag(raw_, tag.position)) return false;
  SplitTag(raw_, tag);
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
    if (marked) item->SetUnloadable(true);
  }
  if (tag.empty) return;
  if (marked && partial_ && item != nullptr) {
    // Leave the children in the stream; only their end has to be found.
    TovxXMLItem::Extra& extra = item->Ext();
    extra.loaded = false;
    extra.offset = tag.position;
    extra.swap_place = TovxXMLItem::SwapPlace::kSource;
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
