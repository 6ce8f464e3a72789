// Stream helpers and the three concrete streams.
//
// FileStream keeps its own position and uses pread/pwrite, so the kernel's
// file offset never matters and Seek is only a bounds check. Interrupted
// system calls are retried; short writes are continued until every byte is
// written or the system reports an error.
#include "base/stream.h"

#include "base/error.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovx {

namespace {

// One system call never transfers more than this; larger requests loop.
constexpr qint64 kMaxTransfer = qint64{1} << 30;

}  // namespace

Stream::~Stream() = default;

QByteArray Stream::Read(qint64 max_size) {
  QByteArray bytes;
  const qint64 available = std::max<qint64>(0, Size() - Position());
  const qint64 wanted = std::clamp<qint64>(max_size, 0, available);
  bytes.resize(wanted);
  const qint64 got = Read(bytes.data(), wanted);
  bytes.resize(got);
  return bytes;
}

QByteArray Stream::ReadAll() { return Read(std::numeric_limits<qint64>::max()); }

void Stream::ReadExactly(char* data, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    const qint64 got = Read(data + done, size - done);
    if (got <= 0) {
      throw Error("", "Unexpected end of data: %d of %d bytes read",
                  {QString::number(done), QString::number(size)});
    }
    done += got;
  }
}

qint64 Stream::CopyFrom(Stream& source, qint64 count) {
  char buffer[65536];
  qint64 copied = 0;
  while (count < 0 || copied < count) {
    const qint64 wanted =
        count < 0 ? qint64{sizeof buffer} : std::min<qint64>(sizeof buffer, count - copied);
    const qint64 got = source.Read(buffer, wanted);
    if (got <= 0) {
      if (count < 0) break;
      throw Error("", "Unexpected end of data: %d of %d bytes read",
                  {QString::number(copied), QString::number(count)});
    }
    Write(buffer, got);
    copied += got;
  }
  return copied;
}

void Stream::ThrowBadSeek(qint64 position, qint64 size) {
  throw Error("", "Stream position %d outside 0..%d",
              {QString::number(position), QString::number(size)});
}

void Stream::ThrowReadOnly() { throw Error("", "Stream is read-only"); }

// MemoryStream

qint64 MemoryStream::Read(char* data, qint64 size) {
  const qint64 count = std::clamp<qint64>(data_.size() - position_, 0, std::max<qint64>(size, 0));
  if (count > 0) std::memcpy(data, data_.constData() + position_, count);
  position_ += count;
  return count;
}

void MemoryStream::Write(const char* data, qint64 size) {
  if (size <= 0) return;
  const qint64 end = position_ + size;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, data, size);
  position_ = end;
}

void MemoryStream::Seek(qint64 position) {
  if (position < 0 || position > data_.size()) ThrowBadSeek(position, data_.size());
  position_ = position;
}

QByteArray MemoryStream::TakeData() {
  position_ = 0;
  return std::exchange(data_, QByteArray());
}

// FileStream

FileStream::FileStream(const QString& file_name, Mode mode) : file_name_(file_name) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      readable_ = true;
      break;
    case Mode::kWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      writable_ = true;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      readable_ = writable_ = true;
      break;
  }
  const QByteArray path = QFile::encodeName(file_name);
  do {
    descriptor_ = ::open(path.constData(), flags, 0666);
  } while (descriptor_ < 0 && errno == EINTR);
  if (descriptor_ < 0) {
    throw Error("", "Cannot open file %s: %s", {file_name, SystemErrorText(errno)});
  }
  // Opening a directory read-only succeeds; reading it would fail later with
  // a less helpful message.
  struct stat info;
  if (::fstat(descriptor_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(descriptor_);
    descriptor_ = -1;
    throw Error("", "Cannot open file %s: %s", {file_name, SystemErrorText(EISDIR)});
  }
}

FileStream::FileStream(int descriptor, QString file_name, bool readable, bool writable)
    : descriptor_(descriptor),
      file_name_(std::move(file_name)),
      readable_(readable),
      writable_(writable) {}

FileStream::~FileStream() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void FileStream::ThrowSystemError(const char* action, int error_number) const {
  throw Error("", "Cannot %s file %s: %s",
              {QString::fromLatin1(action), file_name_, SystemErrorText(error_number)});
}

qint64 FileStream::Read(char* data, qint64 size) {
  if (!readable_) ThrowSystemError("read", EBADF);
  qint64 done = 0;
  while (done < size) {
    const ssize_t got =
        ::pread(descriptor_, data + done, std::min(size - done, kMaxTransfer), position_ + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError("read", errno);
    }
    if (got == 0) break;
    done += got;
  }
  position_ += done;
  return done;
}

void FileStream::Write(const char* data, qint64 size) {
  if (!writable_) ThrowSystemError("write", EBADF);
  qint64 done = 0;
  while (done < size) {
    const ssize_t put =
        ::pwrite(descriptor_, data + done, std::min(size - done, kMaxTransfer), position_ + done);
    if (put < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError("write", errno);
    }
    // pwrite answering 0 for a non-empty request means no progress is
    // possible; treat it like a full disk rather than loop forever.
    if (put == 0) ThrowSystemError("write", ENOSPC);
    done += put;
  }
  position_ += done;
}

void FileStream::Seek(qint64 position) {
  const qint64 size = Size();
  if (position < 0 || position > size) ThrowBadSeek(position, size);
  position_ = position;
}

qint64 FileStream::Size() const {
  struct stat info;
  if (::fstat(descriptor_, &info) != 0) ThrowSystemError("examine", errno);
  return info.st_size;
}

// BoundedStream

BoundedStream::BoundedStream(Stream& base, qint64 offset, qint64 length)
    : base_(base), offset_(offset), length_(length) {
  if (offset < 0 || length < 0 || length > std::numeric_limits<qint64>::max() - offset) {
    throw Error("", "Invalid stream range %d + %d",
                {QString::number(offset), QString::number(length)});
  }
}

qint64 BoundedStream::Read(char* data, qint64 size) {
  const qint64 count = std::clamp<qint64>(length_ - position_, 0, std::max<qint64>(size, 0));
  if (count == 0) return 0;
  // The base may be shorter than the window; never seek past its end.
  const qint64 start = offset_ + position_;
  if (start >= base_.Size()) return 0;
  base_.Seek(start);
  const qint64 got = base_.Read(data, count);
  position_ += got;
  return got;
}

void BoundedStream::Write(const char*, qint64) { ThrowReadOnly(); }

void BoundedStream::Seek(qint64 position) {
  if (position < 0 || position > length_) ThrowBadSeek(position, length_);
  position_ = position;
}

}  // namespace ovx
