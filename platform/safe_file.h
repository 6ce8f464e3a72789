// Writing files so that a failure never costs the user the file that was
// there, and reading whole files with a bound.
//
// Design: every file the program and its tools write goes through SafeFile.
// The bytes go to a new file beside the target (same folder, so the final
// rename is atomic); Finish flushes, syncs and closes it and checks each
// step, and only Commit renames it over the target. A SafeFile destroyed
// before Commit removes its temporary file and leaves the target as it was.
// Qt's QSaveFile is not used: in Qt 6.4 its commit() can answer true after
// its final flush failed (a full disk, a file-size limit), so a truncated
// file would replace a good one and the caller would report success.
//
// Targets that exist must be regular files: a device, a pipe or a folder is
// refused (renaming over /dev/null would destroy it), also behind a symbolic
// link. A symbolic link to a regular file stays a link; its target file is
// replaced. A replaced file keeps its permission bits (and its owner where
// the writer may set it). Messages name the file and the system's reason.
#pragma once

#include "base/stream.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace ovx {

class SafeFile : public Stream {
 public:
  // Checks the target and creates the temporary file beside it. Throws
  // ovx::Error naming `target` when it cannot be written.
  explicit SafeFile(QString target);
  // Discards the temporary file unless committed.
  ~SafeFile() override;

  qint64 Read(char* data, qint64 size) override;
  void Write(const char* data, qint64 size) override;
  using Stream::Write;
  qint64 Position() const override { return position_; }
  void Seek(qint64 position) override;
  qint64 Size() const override;

  // Flushes, syncs and closes the temporary file; the target is untouched
  // still. Throws ovx::Error (and discards the file) when any step fails.
  void Finish();
  // Finishes if needed, then renames the file into place. Throws ovx::Error
  // and discards the file when it cannot.
  void Commit();
  // Drops the temporary file; the target stays as it was.
  void Discard();

  // The path as the caller gave it (messages name this one).
  const QString& Target() const { return target_; }
  bool Committed() const { return committed_; }

 private:
  void WriteAt(const char* data, qint64 size, qint64 offset);
  void FlushBuffer();
  [[noreturn]] void FailWrite(int error_number);

  QString target_;
  QByteArray final_path_;
  QByteArray temp_path_;
  int descriptor_ = -1;
  QByteArray buffer_;
  qint64 position_ = 0;  // logical position, buffer included
  qint64 flushed_ = 0;   // position of the descriptor's start of buffer_
  qint64 size_ = 0;      // size of what was flushed
  bool finished_ = false;
  bool committed_ = false;
};

// Writes `bytes` to `path` through a SafeFile. Throws ovx::Error naming the
// file and the reason.
void WriteFileSafely(const QString& path, const QByteArray& bytes);

// Throws ovx::Error unless `path` may be written by a SafeFile: an existing
// non-regular file is refused. Lets a program refuse before it works.
void CheckWritableTarget(const QString& path);

// Reads a whole regular file of at most `max_bytes`. A file that is not a
// regular file (a device, a pipe, a folder) is refused without reading it;
// a larger file is refused before it is read, and a file that grows past
// the bound while read stops there. `what` names the kind of file in the
// messages ("font file"); every message names the path.
QByteArray ReadFileBounded(const QString& path, qint64 max_bytes,
                           const QString& what = QStringLiteral("file"));

// Throws ovx::Error unless `path` is a regular file of at most `max_bytes`
// (for readers that stream the file themselves).
void CheckReadableFile(const QString& path, qint64 max_bytes,
                       const QString& what = QStringLiteral("file"));

// True when both paths name the same existing file (same device and inode,
// through links and relative parts).
bool IsSameFile(const QString& a, const QString& b);

}  // namespace ovx
