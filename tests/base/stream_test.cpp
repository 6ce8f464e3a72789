#include "base/stream.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace ovx {
namespace {

// The contract every stream shares: short reads only at the end, writes
// extend, seeks are bounded.
void CheckReadWriteSeek(Stream& stream) {
  stream.Write(QByteArray("hello world"));
  EXPECT_EQ(stream.Position(), 11);
  EXPECT_EQ(stream.Size(), 11);
  stream.Seek(6);
  stream.Write(QByteArray("there!"));
  EXPECT_EQ(stream.Size(), 12);
  stream.Seek(0);
  char buffer[32];
  EXPECT_EQ(stream.Read(buffer, 5), 5);
  EXPECT_EQ(QByteArray(buffer, 5), "hello");
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 7);
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0);
  stream.Seek(stream.Size());
  EXPECT_EQ(stream.Read(buffer, 1), 0);
  EXPECT_THROW(stream.Seek(-1), Error);
  EXPECT_THROW(stream.Seek(stream.Size() + 1), Error);
  stream.Seek(0);
  EXPECT_EQ(stream.ReadAll(), "hello there!");
}

TEST(MemoryStreamTest, ReadWriteSeek) {
  MemoryStream stream;
  CheckReadWriteSeek(stream);
  EXPECT_EQ(stream.TakeData(), "hello there!");
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStreamTest, WrapsBytesAndKeepsNul) {
  MemoryStream stream(QByteArray("a\0b", 3));
  EXPECT_EQ(stream.Size(), 3);
  EXPECT_EQ(stream.Read(10), QByteArray("a\0b", 3));
}

TEST(FileStreamTest, ReadWriteSeekAndModes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("data.bin");
  {
    FileStream stream(path, FileStream::Mode::kWrite);
    stream.Write(QByteArray("old content that is long"));
  }
  {
    // kWrite truncates; kWrite streams cannot be read.
    FileStream stream(path, FileStream::Mode::kWrite);
    EXPECT_EQ(stream.Size(), 0);
    char c;
    EXPECT_THROW(stream.Read(&c, 1), Error);
  }
  {
    FileStream stream(path, FileStream::Mode::kReadWrite);
    CheckReadWriteSeek(stream);
  }
  FileStream stream(path, FileStream::Mode::kRead);
  EXPECT_EQ(stream.ReadAll(), "hello there!");
  EXPECT_THROW(stream.Write(QByteArray("x")), Error);
}

TEST(FileStreamTest, OpenFailureNamesFileAndReason) {
  QTemporaryDir dir;
  const QString missing = dir.filePath("missing.xml");
  struct Case {
    QString path;
    FileStream::Mode mode;
    int reason;  // errno, whose text follows the user's locale
  };
  const Case cases[] = {
      {missing, FileStream::Mode::kRead, ENOENT},
      {missing, FileStream::Mode::kReadWrite, ENOENT},
      {dir.filePath("no/such/dir/out.xml"), FileStream::Mode::kWrite, ENOENT},
      {dir.path(), FileStream::Mode::kRead, EISDIR},
  };
  for (const Case& c : cases) {
    try {
      FileStream stream(c.path, c.mode);
      ADD_FAILURE() << "opened " << c.path.toStdString();
    } catch (const Error& error) {
      EXPECT_TRUE(error.Message().contains(c.path)) << error.what();
      EXPECT_TRUE(error.Message().contains(QString::fromLocal8Bit(std::strerror(c.reason))))
          << error.what();
    }
  }
}

TEST(FileStreamTest, FullDiskIsAnError) {
  if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  FileStream stream("/dev/full", FileStream::Mode::kReadWrite);
  EXPECT_THROW(stream.Write(QByteArray(10000, 'x')), Error);
}

TEST(BoundedStreamTest, ReadsOnlyItsWindow) {
  MemoryStream base(QByteArray("0123456789"));
  BoundedStream window(base, 3, 4);
  EXPECT_EQ(window.Size(), 4);
  EXPECT_EQ(window.ReadAll(), "3456");
  window.Seek(2);
  char buffer[8];
  EXPECT_EQ(window.Read(buffer, sizeof buffer), 2);
  EXPECT_EQ(QByteArray(buffer, 2), "56");
  EXPECT_EQ(window.Read(buffer, sizeof buffer), 0);
  EXPECT_THROW(window.Seek(5), Error);
  EXPECT_THROW(window.Write(QByteArray("x")), Error);

  // A window reaching past the end of its base ends where the base ends.
  BoundedStream beyond(base, 8, 100);
  EXPECT_EQ(beyond.ReadAll(), "89");
  BoundedStream outside(base, 50, 10);
  EXPECT_EQ(outside.ReadAll(), "");
  EXPECT_THROW(BoundedStream(base, -1, 1), Error);
}

TEST(StreamHelpersTest, CopyAndReadExactly) {
  MemoryStream source(QByteArray(100000, 'a') + "tail");
  MemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 99998), 99998);
  EXPECT_EQ(target.CopyFrom(source), 6);
  EXPECT_EQ(target.Data(), source.Data());
  source.Seek(source.Size() - 2);
  EXPECT_THROW(target.CopyFrom(source, 3), Error);

  source.Seek(source.Size() - 4);
  char buffer[8];
  source.ReadExactly(buffer, 4);
  EXPECT_EQ(QByteArray(buffer, 4), "tail");
  source.Seek(source.Size() - 2);
  EXPECT_THROW(source.ReadExactly(buffer, 4), Error);
}

}  // namespace
}  // namespace ovx
