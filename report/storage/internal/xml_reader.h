// The reader of the library's XML dialect (private to the storage module).
//
// It reads tags only: text between tags is skipped, attribute texts are kept
// raw. Input is hostile: every failure (no declaration, "<" inside a tag, the
// end of the data inside a tag or comment, mismatched end tag, nesting deeper
// than kMaxXmlDepth) throws TovxInvalidXMLException with a reason and the
// byte position. The one fault that does not stop it is a document that ends
// before its end tags: the tree keeps what was read and Truncated() tells.
#pragma once

#include "report/storage/xml_item.h"

#include <QByteArray>

namespace ovx {
class Stream;
}

namespace ovx::xml_internal {

// Elements nested deeper than this are rejected; the library's own formats
// use fewer than twenty levels, and the reader recurses once per level.
inline constexpr int kMaxXmlDepth = 256;

class TovxXMLReader {
 public:
  // Reads from the current position of `stream`, which must not be moved by
  // anyone else while the reader works.
  explicit TovxXMLReader(Stream& stream);

  // The first tag (after comments) must be the XML declaration.
  void ReadHeader();
  // True when the declaration says version "1.0" and has no standalone
  // attribute (what this library's writer produces).
  bool OldFormat() const { return old_format_; }

  // Reads one element with everything inside it into `item` (its name,
  // attribute text and children). With `partial`, elements marked ld="0" are
  // skipped over and left not loaded, with their start tag's position as the
  // offset of a copy kept in the stream.
  void ReadElement(TovxXMLItem* item, bool partial);
  // Reads the children of the element at the current position into `into`;
  // its start tag must carry `name` (ignoring case). Used to bring back a
  // swapped-out item, so a truncated element throws: a copy must be whole.
  void ReadElementAgain(const QByteArray& name, TovxXMLItem* into);

  bool Truncated() const { return truncated_; }
  // Stream position of the next unread byte.
  qint64 Position() const { return buffer_start_ + read_; }

 private:
  struct Tag {
    QByteArray name;
    QByteArray text;
    qint64 position = 0;  // of its "<"
    bool end = false;     // "</name>"
    bool empty = false;   // "<name/>"
  };

  bool Fill();
  bool NextByte(char& c);
  bool SkipToTagStart(qint64& position);
  void SkipComment(qint64 position);
  bool ReadRawTag(QByteArray& tag, qint64& position);
  bool ReadTag(Tag& tag);
  static void SplitTag(QByteArray raw, Tag& tag);
  void CheckStartTag(const Tag& tag, int depth) const;
  void TakeElement(Tag& tag, TovxXMLItem* item, int depth, bool keep_identity);
  static bool TakeSwapMarker(QByteArray& text);
  bool ReadContent(TovxXMLItem* item, const QByteArray& name, int depth);
  [[noreturn]] void Fail(const char* reason, qint64 position) const;

  Stream& stream_;
  char buffer_[4096];
  qint64 buffer_start_;  // stream position of buffer_[0]
  int filled_ = 0;
  int read_ = 0;
  bool old_format_ = false;
  bool partial_ = false;
  bool truncated_ = false;
};

}  // namespace ovx::xml_internal
