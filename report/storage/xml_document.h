// An XML document of the library's dialect: templates, prepared reports,
// variables files, style sheets and resource documents are all stored in it.
//
// Design: the document owns one root item, which becomes the single top
// element, and through it the whole tree (see xml_item.h). Loading builds
// the tree in memory; with partial loading, elements marked ld="0" stay in
// the source stream and are read on demand (LoadItem), so a long prepared
// report need not be in memory at once. Items swapped out later (UnloadItem)
// always go to the document's own temporary file: the caller's stream is
// only ever read, never written.
//
// Errors: malformed input throws TovxInvalidXMLException ("Invalid file
// format"). A document that ends before its end tags is malformed too, but
// the tree keeps everything read up to the cut before the exception is
// thrown, so a caller may still show what was there; other faults also leave
// the elements read before them in the tree. I/O failures throw ovx::Error.
#pragma once

#include "report/storage/xml_error.h"
#include "report/storage/xml_item.h"

#include <QString>

#include <memory>

namespace ovx {
class Stream;
class TempFile;
}  // namespace ovx

namespace ovx {
// The largest template, prepared report or other document read from a file.
inline constexpr qint64 kMaxDocumentFileBytes = qint64{1} << 30;
}  // namespace ovx

class TovxXMLDocument {
 public:
  TovxXMLDocument();
  TovxXMLDocument(const TovxXMLDocument&) = delete;
  TovxXMLDocument& operator=(const TovxXMLDocument&) = delete;
  ~TovxXMLDocument();

  // The top element; it lives as long as the document (never delete it).
  TovxXMLItem* Root() const { return root_.get(); }

  // Deletes the root's children and drops the swap file and the partial
  // loading source.
  void Clear();

  // Clears the document and reads one from `stream` (from its position).
  // With `allow_partial_loading`, elements marked ld="0" are left in
  // `stream`, which must then stay open and unchanged until the document is
  // cleared, loaded again or destroyed. Throws TovxInvalidXMLException on
  // malformed input, after the tree received what could be read.
  void LoadFromStream(ovx::Stream& stream, bool allow_partial_loading = false);
  // Writes the declaration and the whole tree, bringing swapped-out items
  // back for the time of writing. `stream` must not be the stream the
  // document was partially loaded from (throws ovx::Error).
  void SaveToStream(ovx::Stream& stream);
  // The same through a file. With partial loading the document keeps the
  // file open. Saving writes a temporary file beside the target and renames
  // it into place, so a failed save leaves the old file intact and saving
  // over the file the document was partially loaded from is safe.
  // Refuses what is not a regular file of at most kMaxDocumentFileBytes
  // (a device or a pipe would never end) with ovx::Error naming the file.
  void LoadFromFile(const QString& file_name, bool allow_partial_loading = false);
  void SaveToFile(const QString& file_name);

  // Brings back the children of a swapped-out item (unloadable and not
  // loaded); does nothing for other items. Throws TovxInvalidXMLException
  // when the swapped-out copy is damaged; the item then stays not loaded.
  void LoadItem(TovxXMLItem* item);
  // Swaps out the children of an unloadable, loaded item of this document to
  // the document's temporary file (created on first use in TempDir()) and
  // deletes them from memory; does nothing for other items.
  void UnloadItem(TovxXMLItem* item);

  // With AutoIndent every tag is written on its own line, ending in CR LF
  // and indented two spaces per level.
  bool AutoIndent() const { return auto_indent_; }
  void SetAutoIndent(bool auto_indent) { auto_indent_ = auto_indent; }
  // True for new documents and for documents whose declaration says version
  // "1.0" without a standalone attribute (what this writer produces).
  bool OldVersion() const { return old_version_; }
  void SetOldVersion(bool old_version) { old_version_ = old_version; }
  // Directory of the swap file; empty or missing means the system's
  // temporary directory.
  const QString& TempDir() const { return temp_dir_; }
  void SetTempDir(const QString& temp_dir) { temp_dir_ = temp_dir; }
  // Path of the swap file, empty while there is none.
  QString SwapFileName() const;

 private:
  void LoadFrom(ovx::Stream& stream, bool allow_partial_loading,
                std::unique_ptr<ovx::Stream> owned_stream);
  ovx::Stream* SwapStreamOf(const TovxXMLItem* item) const;

  std::unique_ptr<TovxXMLItem> root_;
  bool auto_indent_ = false;
  bool old_version_ = true;
  QString temp_dir_;
  // The stream of a partial load, and its owner when the document opened it.
  ovx::Stream* source_ = nullptr;
  std::unique_ptr<ovx::Stream> owned_source_;
  std::unique_ptr<ovx::TempFile> swap_file_;
};
