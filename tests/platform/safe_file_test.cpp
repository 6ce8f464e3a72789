// The safe writer and the bounded reader: a write that fails (file-size
// limit, full disk, closed folder) keeps the old file byte for byte and
// says why; devices, pipes and folders are never replaced; permissions
// survive; whole-file reads stop at their bound and never block on a pipe.
#include "platform/safe_file.h"
#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ovx {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QStringList Entries(const QTemporaryDir& dir) {
  return QDir(dir.path())
      .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The message of what `write` throws; empty when it throws nothing.
template <class F>
QString Failure(F&& write) {
  try {
    write();
  } catch (const Error& e) {
    return e.Message();
  }
  return {};
}

mode_t ModeOf(const QString& path) {
  struct stat info;
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

TEST(SafeFileTest, ReplacesOnlyOnCommitAndKeepsThePermissionBits) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("out.bin"));
  Put(path, "old");
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
  {
    SafeFile file(path);
    file.Write(QByteArray(200000, 'n'));  // past the buffer
    file.Seek(0);
    file.Write(QByteArray("N"));
    EXPECT_EQ(file.Size(), 200000);
    EXPECT_EQ(ReadAll(path), "old");
    file.Commit();
  }
  const QByteArray written = ReadAll(path);
  EXPECT_EQ(written.size(), 200000);
  EXPECT_TRUE(written.startsWith("Nnn"));
  EXPECT_EQ(ModeOf(path) & 07777, 0640u);
  EXPECT_EQ(Entries(dir), QStringList{"out.bin"});

  // Dropped without Commit: nothing changes and nothing is left behind.
  {
    SafeFile file(path);
    file.Write(QByteArray("half"));
  }
  EXPECT_EQ(ReadAll(path).size(), 200000);
  EXPECT_EQ(Entries(dir), QStringList{"out.bin"});

  // A link to a regular file stays a link; the file it names is replaced.
  const QString link = dir.filePath(QStringLiteral("link.bin"));
  ASSERT_TRUE(QFile::link(path, link));
  WriteFileSafely(link, "through the link");
  EXPECT_TRUE(S_ISLNK(ModeOf(link)));
  EXPECT_EQ(ReadAll(path), "through the link");
}

// The file-size limit the shell's `ulimit -f` sets, with SIGXFSZ ignored so
// that the write fails with EFBIG instead of killing the process.
TEST(SafeFileTest, AWriteBeyondTheFileSizeLimitKeepsTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("limited.bin"));
  const QByteArray old(10000, 'o');
  Put(path, old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const QString failure = Failure([&] { WriteFileSafely(path, QByteArray(8192, 'n')); });
    // 3: no failure; 4: a message without the file or the reason.
    if (failure.isEmpty()) ::_exit(3);
    if (!failure.contains(path) || !failure.contains(QStringLiteral("large"))) ::_exit(4);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(Entries(dir), QStringList{"limited.bin"});
}

TEST(SafeFileTest, DevicesPipesAndFoldersAreNeverReplaced) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  const QString folder = dir.filePath(QStringLiteral("folder"));
  ASSERT_TRUE(QDir().mkdir(folder));
  const QString link_to_fifo = dir.filePath(QStringLiteral("to-fifo"));
  ASSERT_TRUE(QFile::link(fifo, link_to_fifo));
  const QString link_to_null = dir.filePath(QStringLiteral("to-null"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link_to_null));
  QStringList targets = {fifo, folder, link_to_fifo, link_to_null, QStringLiteral("/dev/null")};
  // A device node of our own (the null device's numbers) where we may make one.
  const QString device = dir.filePath(QStringLiteral("device"));
  if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    targets << device;
  for (const QString& target : targets) {
    SCOPED_TRACE(target.toStdString());
    const mode_t before = ModeOf(target);
    const QString failure = Failure([&] { WriteFileSafely(target, "data"); });
    EXPECT_TRUE(failure.contains(target)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("never replaced"))) << failure.toStdString();
    EXPECT_THROW(CheckWritableTarget(target), Error);
    EXPECT_EQ(ModeOf(target), before);
  }
  EXPECT_TRUE(S_ISCHR(ModeOf(QStringLiteral("/dev/null"))));
  // Nothing was left beside them.
  EXPECT_EQ(Entries(dir).size(), targets.contains(device) ? 5 : 4);
}

TEST(SafeFileTest, MessagesNameTheFileAndTheReason) {
  QTemporaryDir dir;
  const QString missing = dir.filePath(QStringLiteral("no/such/out.pdf"));
  QString failure = Failure([&] { WriteFileSafely(missing, "x"); });
  EXPECT_TRUE(failure.contains(missing) && failure.contains(QStringLiteral("does not exist")))
      << failure.toStdString();
  EXPECT_TRUE(Failure([] { SafeFile file{QString()}; }).contains(QStringLiteral("without a name")));

  // A writable file in a folder that takes no new files cannot be replaced
  // by renaming; the message says so. Root may write anywhere, so the case
  // runs as an ordinary user where the test may become one.
  const QString closed = dir.filePath(QStringLiteral("closed"));
  ASSERT_TRUE(QDir().mkdir(closed));
  const QString file = closed + QStringLiteral("/kept.txt");
  Put(file, "kept");
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0666), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(closed).constData(), 0555), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(5);
    failure = Failure([&] { WriteFileSafely(file, "new"); });
    if (!failure.contains(file)) ::_exit(3);
    if (!failure.contains(QStringLiteral("does not allow new files"))) ::_exit(4);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(QFile::encodeName(closed).constData(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 5) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(file), "kept");
}

TEST(ReadFileBoundedTest, ReadsRegularFilesUpToTheBound) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("in.txt"));
  Put(path, "0123456789");
  EXPECT_EQ(ReadFileBounded(path, 10), "0123456789");
  CheckReadableFile(path, 10);
  const QString fifo = dir.filePath(QStringLiteral("fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  struct Case {
    QString path;
    qint64 bound;
    const char* message_part;
  };
  const Case cases[] = {
      {path, 9, "larger than 9 bytes"},
      {fifo, 100, "a pipe"},  // would block for ever if it were opened plainly
      {QStringLiteral("/dev/zero"), 100, "a device"},
      {dir.path(), 100, "a folder"},
      {dir.filePath(QStringLiteral("missing")), 100, "No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    const QString failure = Failure([&] { ReadFileBounded(c.path, c.bound, "font file"); });
    EXPECT_TRUE(failure.contains(c.path)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QLatin1String(c.message_part))) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QStringLiteral("font file"))) << failure.toStdString();
    EXPECT_THROW(CheckReadableFile(c.path, c.bound), Error);
  }
}

TEST(ReadFileBoundedTest, SameFileThroughLinksAndRelativeParts) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("t.txt"));
  Put(path, "t");
  const QString link = dir.filePath(QStringLiteral("l.txt"));
  ASSERT_TRUE(QFile::link(path, link));
  EXPECT_TRUE(IsSameFile(path, link));
  ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral("sub"))));
  EXPECT_TRUE(IsSameFile(path, dir.path() + QStringLiteral("/./sub/../t.txt")));
  EXPECT_FALSE(IsSameFile(path, dir.filePath(QStringLiteral("other.txt"))));
}

}  // namespace
}  // namespace ovx
