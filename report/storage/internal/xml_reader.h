// The reader of the library's XML dialect (private to the storage module).
//
// It reads tags only: text between tags is skipped, attribute texts are kept
// raw. Input is hostile: every failure (no declaration, "<" inside a tag, the
// end of the data inside a tag or comment, mismatched end tag, nesting deeper
// than kMaxXmlDepth, a tag longer than kMaxXmlTagSize, a NUL byte) throws
// TovxInvalidXMLException with a reason and the byte position. The writer
// escapes every NUL, so one in the input means it is no document of this
// dialect (a device full of zeros ends the read at its first byte). The one fault that does not
// stop it is a document that ends before its end tags: the tree keeps what was read and Truncated()
// tells.
#pragma once

#include "report/storage/xml_item.h"

#include <QByteArray>
#include <QHash>

namespace ovx {
class Stream;
}

namespace ovx::xml_internal {

// Elements nested deeper than this are rejected; the library's own formats
// use fewer than twenty levels, and the reader recurses once per level.
inline constexpr int kMaxXmlDepth = 256;
// A tag (name and attributes) longer than this is rejected. The largest the
// library writes hold a picture in hexadecimal, far below it.
inline constexpr qsizetype kMaxXmlTagSize = qsizetype{1} << 30;

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
  void SplitTag(QByteArrayView raw, Tag& tag);
  // The element name as bytes shared with every earlier tag of that name.
  QByteArray SharedName(QByteArrayView name);
  void CheckStartTag(const Tag& tag, int depth) const;
  void TakeElement(Tag& tag, TovxXMLItem* item, int depth, bool keep_identity);
  static bool TakeSwapMarker(QByteArray& text);
  bool ReadContent(TovxXMLItem* item, const QByteArray& name, int depth);
  [[noreturn]] void Fail(const char* reason, qint64 position) const;

  Stream& stream_;
  // The tag being read; its capacity is kept from tag to tag.
  QByteArray raw_;
  // Element names met so far (a bounded number), so that a million items of
  // one name hold its bytes once.
  QHash<QByteArray, QByteArray> names_;
  char buffer_[4096];
  qint64 buffer_start_;  // stream position of buffer_[0]
  int filled_ = 0;
  int read_ = 0;
  bool old_format_ = false;
  bool partial_ = false;
  bool truncated_ = false;
};

}  // namespace ovx::xml_internal
