// The writer of the library's XML dialect (private to the storage module).
//
// Output is collected in memory and handed to the stream in pieces of about
// 4 KB. The writer remembers its own position in the stream and seeks back
// to it before every piece, because loading a swapped-out item in the middle
// of writing may read from the very stream being written (the swap file).
#pragma once

#include "report/storage/xml_item.h"

#include <QByteArray>

class TovxXMLDocument;

namespace ovx {
class Stream;
}

namespace ovx::xml_internal {

class TovxXMLWriter {
 public:
  // Writes at the current position of `stream`. `document` brings back
  // swapped-out items on the way; without one, writing such an item throws.
  TovxXMLWriter(Stream& stream, TovxXMLDocument* document);

  // Every line on its own, ending in CR LF, indented two spaces per level.
  void SetAutoIndent(bool auto_indent) { auto_indent_ = auto_indent; }

  void WriteHeader();
  // Writes `item` and everything below it, `item` at indentation `level`.
  // An unloadable item that is not loaded is loaded for the time of writing
  // and cleared again afterwards.
  void WriteItem(TovxXMLItem* item, int level = 0);
  // Hands the rest of the output to the stream; call it before the end.
  void Flush();

  // Stream position the next byte written will have.
  qint64 Position() const { return position_ + buffer_.size(); }

 private:
  // Writes the start tag (or the whole element when it has no children).
  // Answers whether it has children, so an end tag is due.
  bool WriteStart(TovxXMLItem* item, int level);
  void WriteEnd(const TovxXMLItem* item, int level);
  void Indent(int level);
  void EndLine();
  void FlushIfFull();

  Stream& stream_;
  TovxXMLDocument* document_;
  QByteArray buffer_;
  qint64 position_;
  bool auto_indent_ = false;
};

}  // namespace ovx::xml_internal
