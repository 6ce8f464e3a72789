// The writer of the library's XML dialect; see xml_writer.h.
//
// The tree is walked with an explicit stack, so a tree built by a program
// can be written whatever its depth.
#include "report/storage/internal/xml_writer.h"

#include "base/error.h"
#include "base/stream.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_document.h"
#include "report/storage/xml_escape.h"

#include <vector>

namespace ovx::xml_internal {

namespace {

constexpr qsizetype kFlushSize = 4096;

// Refuses what would read back as something else, rather than write a
// document that cannot be read: a name that is empty, holds white space or
// brackets, starts like an end tag or a comment, or ends like an empty
// element; an attribute text with brackets, or ending in "/" on an element
// with content (unless the swap marker follows it); a NUL byte in either
// (the reader takes one for a sign of a file that is no document).
void CheckWritable(const TovxXMLItem* item) {
  const QByteArray& name = item->Name();
  bool bad_name =
      name.isEmpty() || name.startsWith('/') || name.endsWith('/') || name.startsWith("!--");
  for (const char c : name) {
    bad_name = bad_name || IsXmlSpace(c) || c == '<' || c == '>' || c == 0;
  }
  if (bad_name) {
    throw Error("", "Cannot write an XML element named \"%s\"", {QString::fromUtf8(name)});
  }
  const QByteArray& text = item->Text();
  if (text.contains('<') || text.contains('>') || text.contains('\0') ||
      (text.endsWith('/') && !item->Unloadable() &&
       (item->Count() > 0 || !item->Value().isEmpty()))) {
    throw Error("", "Cannot write the attributes of XML element %s", {QString::fromUtf8(name)});
  }
}

}  // namespace

TovxXMLWriter::TovxXMLWriter(Stream& stream, TovxXMLDocument* document)
    : stream_(stream), document_(document), position_(stream.Position()) {
  buffer_.reserve(2 * kFlushSize);
}

void TovxXMLWriter::Flush() {
  if (buffer_.isEmpty()) return;
  if (stream_.Position() != position_) stream_.Seek(position_);
  stream_.Write(buffer_);
  position_ += buffer_.size();
  buffer_.resize(0);  // keeps the allocation, unlike clear()
}

void TovxXMLWriter::FlushIfFull() {
  if (buffer_.size() > kFlushSize) Flush();
}

void TovxXMLWriter::Indent(int level) {
  if (auto_indent_) buffer_.append(2 * qsizetype{level}, ' ');
}

void TovxXMLWriter::EndLine() {
  if (auto_indent_) buffer_.append("\r\n");
  FlushIfFull();
}

void TovxXMLWriter::WriteHeader() {
  buffer_.append(R"(<?xml version="1.0" encoding="utf-8"?>)");
  EndLine();
}

bool TovxXMLWriter::WriteStart(TovxXMLItem* item, int level) {
  CheckWritable(item);
  Indent(level);
  buffer_.append('<');
  buffer_.append(item->Name());
  const QByteArray& text = item->Text();
  if (!text.isEmpty() || item->Unloadable()) {
    if (!text.startsWith(' ')) buffer_.append(' ');
    buffer_.append(text);
    if (item->Unloadable()) buffer_.append(text.isEmpty() ? R"(ld="0")" : R"( ld="0")");
  }
  if (item->Count() > 0) {
    buffer_.append('>');
    EndLine();
    return true;
  }
  if (!item->Value().isEmpty()) {
    // Escaped, so a value can never forge or break tags.
    buffer_.append('>');
    XmlEscapeTo(item->Value(), buffer_);
    buffer_.append("</");
    buffer_.append(item->Name());
    buffer_.append('>');
  } else {
    buffer_.append("/>");
  }
  EndLine();
  return false;
}

void TovxXMLWriter::WriteEnd(const TovxXMLItem* item, int level) {
  Indent(level);
  buffer_.append("</");
  buffer_.append(item->Name());
  buffer_.append('>');
  EndLine();
}

void TovxXMLWriter::WriteItem(TovxXMLItem* top, int level) {
  struct Frame {
    TovxXMLItem* item;
    int next_child;
    bool loaded_here;
  };
  std::vector<Frame> stack;
  // Opens `item`: loads it if it is swapped out, writes its start, and
  // either pushes it (children follow) or finishes it.
  auto open = [&](TovxXMLItem* item) {
    bool loaded_here = false;
    if (item->Unloadable() && !item->Loaded()) {
      if (document_ == nullptr) throw Error("", "Cannot write a swapped-out XML item");
      document_->LoadItem(item);
      loaded_here = true;
    }
    const int depth = level + static_cast<int>(stack.size());
    if (WriteStart(item, depth)) {
      stack.push_back({item, 0, loaded_here});
    } else if (loaded_here) {
      item->Clear();
    }
  };
  open(top);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next_child < frame.item->Count()) {
      open(frame.item->Items(frame.next_child++));
      continue;
    }
    const Frame done = frame;
    stack.pop_back();
    WriteEnd(done.item, level + static_cast<int>(stack.size()));
    if (done.loaded_here) done.item->Clear();
  }
}

}  // namespace ovx::xml_internal
