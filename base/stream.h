// Byte streams with 64-bit positions, the one I/O interface of every file
// format of the library.
//
// Design: a small abstract class with five primitives (Read, Write, Position,
// Seek, Size) and a few helpers built on them. Streams never fail silently:
// Write either writes every byte or throws ovx::Error, and an I/O error while
// reading throws too; only the end of the data makes Read answer fewer bytes.
// Seek accepts 0..Size() on every stream and throws ovx::Error outside that
// range, so a position can never point into a hole or before the start.
// Streams are not copyable; they are used by reference.
#pragma once

#include <QByteArray>
#include <QString>

namespace ovx {

class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  virtual ~Stream();

  // Reads up to `size` bytes at the position and advances it. Answers the
  // number of bytes read: fewer than `size` only at the end, 0 at the end.
  virtual qint64 Read(char* data, qint64 size) = 0;
  // Writes all `size` bytes at the position (overwriting, extending at the
  // end) and advances it, or throws ovx::Error (read-only stream, disk full).
  virtual void Write(const char* data, qint64 size) = 0;
  virtual qint64 Position() const = 0;
  // 0 <= position <= Size(), else throws ovx::Error.
  virtual void Seek(qint64 position) = 0;
  virtual qint64 Size() const = 0;

  void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
  // Up to `max_size` bytes from the position.
  QByteArray Read(qint64 max_size);
  // Everything from the position to the end.
  QByteArray ReadAll();
  // Exactly `size` bytes, or throws ovx::Error when the stream ends first.
  void ReadExactly(char* data, qint64 size);
  // Copies `count` bytes from `source` (from its position) to this stream;
  // a negative count copies the rest of `source`. Throws ovx::Error when
  // `source` ends before `count` bytes. Answers the number of bytes copied.
  qint64 CopyFrom(Stream& source, qint64 count = -1);

 protected:
  // Throws the error of a seek outside 0..size.
  [[noreturn]] static void ThrowBadSeek(qint64 position, qint64 size);
  [[noreturn]] static void ThrowReadOnly();
};

// A growable stream in memory.
class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  // Starts with `data` at position 0.
  explicit MemoryStream(QByteArray data) : data_(std::move(data)) {}

  qint64 Read(char* data, qint64 size) override;
  void Write(const char* data, qint64 size) override;
  using Stream::Read;
  using Stream::Write;
  qint64 Position() const override { return position_; }
  void Seek(qint64 position) override;
  qint64 Size() const override { return data_.size(); }

  const QByteArray& Data() const { return data_; }
  // Hands the bytes over and leaves the stream empty at position 0.
  QByteArray TakeData();

 private:
  QByteArray data_;
  qint64 position_ = 0;
};

// A file opened through the operating system, unbuffered (the readers and
// writers of the library keep their own buffers).
class FileStream : public Stream {
 public:
  enum class Mode {
    kRead,       // existing file, read only
    kWrite,      // created or truncated, write only
    kReadWrite,  // existing file, read and write
  };

  // Throws ovx::Error naming the file and the system's reason when the file
  // cannot be opened.
  FileStream(const QString& file_name, Mode mode);
  ~FileStream() override;

  qint64 Read(char* data, qint64 size) override;
  void Write(const char* data, qint64 size) override;
  using Stream::Read;
  using Stream::Write;
  qint64 Position() const override { return position_; }
  void Seek(qint64 position) override;
  qint64 Size() const override;

  const QString& FileName() const { return file_name_; }

 protected:
  // Takes over an open descriptor (for files created elsewhere, such as
  // temporary files).
  FileStream(int descriptor, QString file_name, bool readable, bool writable);

 private:
  [[noreturn]] void ThrowSystemError(const char* action, int error_number) const;

  int descriptor_ = -1;
  QString file_name_;
  qint64 position_ = 0;
  bool readable_ = false;
  bool writable_ = false;
};

// A read-only window on [offset, offset + length) of another stream, with
// positions relative to the window. It never reads outside the window; when
// the underlying stream is shorter, reads end where it ends. The underlying
// stream must outlive the window; its position is moved by every read.
class BoundedStream : public Stream {
 public:
  BoundedStream(Stream& base, qint64 offset, qint64 length);

  qint64 Read(char* data, qint64 size) override;
  void Write(const char* data, qint64 size) override;
  using Stream::Read;
  using Stream::Write;
  qint64 Position() const override { return position_; }
  void Seek(qint64 position) override;
  qint64 Size() const override { return length_; }

 private:
  Stream& base_;
  qint64 offset_;
  qint64 length_;
  qint64 position_ = 0;
};

}  // namespace ovx
