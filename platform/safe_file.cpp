// Safe writes and bounded reads; see safe_file.h.
#include "platform/safe_file.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovx {
namespace {

constexpr qint64 kBufferSize = qint64{1} << 16;
constexpr qint64 kMaxTransfer = qint64{1} << 30;

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

[[noreturn]] void Throw(const QString& text, const QStringList& args) {
  throw Error(QString(), text, args);
}

QString KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("a folder");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device");
  if (S_ISFIFO(mode)) return QStringLiteral("a pipe");
  if (S_ISSOCK(mode)) return QStringLiteral("a socket");
  return QStringLiteral("not a regular file");
}

QByteArray Directory(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  if (slash == 0) return QByteArrayLiteral("/");
  return path.left(slash);
}

// Where the bytes of `target` finally go: the target itself, or the regular
// file a symbolic link names (the link stays a link). Throws when the
// target exists and is not a regular file.
QByteArray FinalPath(const QString& target, struct stat* existing, bool* exists) {
  const QByteArray path = QFile::encodeName(target);
  *exists = false;
  struct stat info;
  if (::lstat(path.constData(), &info) != 0) {
    if (errno == ENOENT) return path;
    Throw(QStringLiteral("Cannot write \"%s\": %s"), {Shown(target), SystemErrorText(errno)});
  }
  if (S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved) == nullptr) {
      Throw(QStringLiteral("Cannot write \"%s\": it is a symbolic link to a missing file"),
            {Shown(target)});
    }
    if (::stat(resolved, &info) != 0) {
      Throw(QStringLiteral("Cannot write \"%s\": %s"), {Shown(target), SystemErrorText(errno)});
    }
    if (!S_ISREG(info.st_mode)) {
      Throw(QStringLiteral("Cannot write \"%s\": it links to %s, which is never replaced"),
            {Shown(target), KindOf(info.st_mode)});
    }
    *existing = info;
    *exists = true;
    return QByteArray(resolved);
  }
  if (!S_ISREG(info.st_mode)) {
    Throw(QStringLiteral("Cannot write \"%s\": it is %s, which is never replaced"),
          {Shown(target), KindOf(info.st_mode)});
  }
  *existing = info;
  *exists = true;
  return path;
}

}  // namespace

SafeFile::SafeFile(QString target) : target_(std::move(target)) {
  if (target_.isEmpty()) Throw(QStringLiteral("Cannot write a file without a name"), {});
  struct stat existing {};
  bool exists = false;
  final_path_ = FinalPath(target_, &existing, &exists);
  const QByteArray dir = Directory(final_path_);
  const QByteArray base = final_path_.mid(final_path_.lastIndexOf('/') + 1);
  // Hidden and unique, so that a folder listing or a second writer never
  // mistakes it for the file.
  int error_number = 0;
  for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
    const QByteArray suffix =
        QByteArray::number(QRandomGenerator::global()->generate() & 0xffffff, 36);
    temp_path_ = dir + "/." + base.left(200) + '.' + suffix + ".tmp";
    do {
      descriptor_ = ::open(temp_path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (descriptor_ < 0 && errno == EINTR);
    error_number = errno;
    if (descriptor_ < 0 && error_number != EEXIST) break;
  }
  if (descriptor_ < 0) {
    temp_path_.clear();
    const QString folder = Shown(QFile::decodeName(dir));
    if (error_number == ENOENT) {
      Throw(QStringLiteral("Cannot write \"%s\": the folder \"%s\" does not exist"),
            {Shown(target_), folder});
    }
    if ((error_number == EACCES || error_number == EPERM || error_number == EROFS) && exists &&
        ::access(final_path_.constData(), W_OK) == 0) {
      Throw(QStringLiteral("Cannot replace \"%s\": the file may be written, but its folder \"%s\" "
                           "does not allow new files (%s), and the file is replaced by writing a "
                           "new one beside it, so that a failed write never damages it"),
            {Shown(target_), folder, SystemErrorText(error_number)});
    }
    Throw(QStringLiteral("Cannot write \"%s\": %s"),
          {Shown(target_), SystemErrorText(error_number)});
  }
  if (exists) {
    // The replacement looks like the file it replaces: the owner first,
    // since changing it may clear set-id bits.
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored = ::fchown(descriptor_, existing.st_uid, existing.st_gid);
    }
    if (::fchmod(descriptor_, existing.st_mode & 07777) != 0) {
      const int error = errno;
      Discard();
      Throw(QStringLiteral("Cannot write \"%s\": %s"), {Shown(target_), SystemErrorText(error)});
    }
  }
  buffer_.reserve(kBufferSize);
}

SafeFile::~SafeFile() {
  if (!committed_) Discard();
}

qint64 SafeFile::Read(char*, qint64) {
  Throw(QStringLiteral("\"%s\" is being written and cannot be read"), {Shown(target_)});
}

void SafeFile::Write(const char* data, qint64 size) {
  if (descriptor_ < 0 || finished_) FailWrite(EBADF);
  if (size <= 0) return;
  // The buffer always holds the bytes from flushed_ to position_.
  if (buffer_.size() + size > kBufferSize) FlushBuffer();
  if (size >= kBufferSize) {
    WriteAt(data, size, position_);
    position_ += size;
    flushed_ = position_;
    size_ = std::max(size_, position_);
    return;
  }
  buffer_.append(data, size);
  position_ += size;
}

void SafeFile::WriteAt(const char* data, qint64 size, qint64 offset) {
  qint64 done = 0;
  while (done < size) {
    const ssize_t put =
        ::pwrite(descriptor_, data + done, std::min(size - done, kMaxTransfer), offset + done);
    if (put < 0) {
      if (errno == EINTR) continue;
      FailWrite(errno);
    }
    done += put;
  }
}

void SafeFile::FlushBuffer() {
  WriteAt(buffer_.constData(), buffer_.size(), flushed_);
  flushed_ += buffer_.size();
  size_ = std::max(size_, flushed_);
  buffer_.clear();
}

void SafeFile::Seek(qint64 position) {
  if (position < 0 || position > Size()) ThrowBadSeek(position, Size());
  if (descriptor_ < 0 || finished_) FailWrite(EBADF);
  FlushBuffer();
  position_ = position;
  flushed_ = position;
}

qint64 SafeFile::Size() const {
  return std::max(size_, flushed_ + static_cast<qint64>(buffer_.size()));
}

void SafeFile::FailWrite(int error_number) {
  Discard();
  Throw(QStringLiteral("Cannot write \"%s\": %s"), {Shown(target_), SystemErrorText(error_number)});
}

void SafeFile::Finish() {
  if (finished_) return;
  if (descriptor_ < 0) FailWrite(EBADF);
  FlushBuffer();
  // The data must be on the disk before the name points at it, or a crash
  // right after the rename could leave an empty file in place of the old one.
  if (::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) FailWrite(errno);
  const int descriptor = descriptor_;
  descriptor_ = -1;
  if (::close(descriptor) != 0 && errno != EINTR) FailWrite(errno);
  finished_ = true;
}

void SafeFile::Commit() {
  if (committed_) return;
  Finish();
  if (::rename(temp_path_.constData(), final_path_.constData()) != 0) {
    const int error = errno;
    Discard();
    Throw(QStringLiteral("Cannot write \"%s\": %s"), {Shown(target_), SystemErrorText(error)});
  }
  committed_ = true;
  temp_path_.clear();
  // The new name is durable once the folder is synced; a failure here
  // leaves a complete file, so it is not an error.
  const int dir = ::open(Directory(final_path_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void SafeFile::Discard() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
  if (!temp_path_.isEmpty()) {
    ::unlink(temp_path_.constData());
    temp_path_.clear();
  }
  buffer_.clear();
  finished_ = true;
}

void WriteFileSafely(const QString& path, const QByteArray& bytes) {
  SafeFile file(path);
  file.Write(bytes);
  file.Commit();
}

void CheckWritableTarget(const QString& path) {
  struct stat existing {};
  bool exists = false;
  FinalPath(path, &existing, &exists);
}

namespace {

// Opens `path` for reading without blocking on a pipe, and refuses what is
// not a regular file or is larger than the bound. Answers the descriptor;
// `size` gets the file's size when it was opened.
int OpenBounded(const QString& path, qint64 max_bytes, const QString& what,
                qint64* size = nullptr) {
  const QByteArray name = QFile::encodeName(path);
  int descriptor;
  do {
    descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    Throw(QStringLiteral("Cannot read the %s \"%s\": %s"),
          {what, Shown(path), SystemErrorText(errno)});
  }
  struct stat info;
  if (::fstat(descriptor, &info) != 0) {
    const int error = errno;
    ::close(descriptor);
    Throw(QStringLiteral("Cannot read the %s \"%s\": %s"),
          {what, Shown(path), SystemErrorText(error)});
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(descriptor);
    Throw(QStringLiteral("Cannot read the %s \"%s\": it is %s"),
          {what, Shown(path), KindOf(info.st_mode)});
  }
  if (info.st_size > max_bytes) {
    ::close(descriptor);
    Throw(QStringLiteral("The %s \"%s\" is larger than %s bytes"),
          {what, Shown(path), QString::number(max_bytes)});
  }
  if (size) *size = info.st_size;
  return descriptor;
}

}  // namespace

void CheckReadableFile(const QString& path, qint64 max_bytes, const QString& what) {
  ::close(OpenBounded(path, max_bytes, what));
}

QByteArray ReadFileBounded(const QString& path, qint64 max_bytes, const QString& what) {
  qint64 size = 0;
  const int descriptor = OpenBounded(path, max_bytes, what, &size);
  struct Closer {
    int descriptor;
    ~Closer() { ::close(descriptor); }
  } closer{descriptor};
  QByteArray bytes;
  bytes.reserve(size + 1);  // one allocation unless the file grows meanwhile
  // One byte more than the bound tells a file that grew while read.
  const qint64 want = max_bytes + 1;
  qint64 done = 0;
  while (done < want) {
    const qint64 chunk = std::min<qint64>(want - done, kBufferSize * 16);
    bytes.resize(done + chunk);
    const ssize_t got = ::read(descriptor, bytes.data() + done, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      Throw(QStringLiteral("Cannot read the %s \"%s\": %s"),
            {what, Shown(path), SystemErrorText(errno)});
    }
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  if (done > max_bytes) {
    Throw(QStringLiteral("The %s \"%s\" is larger than %s bytes"),
          {what, Shown(path), QString::number(max_bytes)});
  }
  return bytes;
}

bool IsSameFile(const QString& a, const QString& b) {
  struct stat first, second;
  if (::stat(QFile::encodeName(a).constData(), &first) != 0) return false;
  if (::stat(QFile::encodeName(b).constData(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace ovx
