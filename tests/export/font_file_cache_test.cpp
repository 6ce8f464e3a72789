// The process-wide cache of font file bytes: one disk read per unchanged
// file, a fresh read when the file changes, and a bounded total.
#include "export/font_file_cache.h"

#include "base/error.h"
#include "export/pdf_font.h"
#include "export/truetype_font.h"
#include "platform/font_service.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

class FontFileCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    cache().Clear();
    cache().SetByteLimit(kMaxFontFileBytes);
  }
  void TearDown() override {
    cache().Clear();
    cache().SetByteLimit(kMaxFontFileBytes);
  }
  static FontFileCache& cache() { return FontFileCache::Instance(); }
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
  }
  // Reads `path` and returns how many disk reads that took.
  static int64_t ReadsFor(const QString& path, QByteArray* bytes = nullptr) {
    const int64_t before = cache().DiskReads();
    QByteArray read = cache().Read(path);
    if (bytes != nullptr) *bytes = read;
    return cache().DiskReads() - before;
  }
  QTemporaryDir dir_;
};

TEST_F(FontFileCacheTest, UnchangedFileIsReadOnceAndChangedFileAgain) {
  const QString path = Write(QStringLiteral("a.ttf"), QByteArray(1000, 'a'));
  QByteArray bytes;
  EXPECT_EQ(ReadsFor(path, &bytes), 1);
  EXPECT_EQ(bytes, QByteArray(1000, 'a'));
  EXPECT_EQ(ReadsFor(path, &bytes), 0);
  EXPECT_EQ(bytes, QByteArray(1000, 'a'));

  struct Change {
    const char* what;
    QByteArray bytes;
    int seconds_later;  // 0: the time is set back to the entry's own
  };
  const Change changes[] = {
      {"new size", QByteArray(1200, 'b'), 10},
      {"same size, new time", QByteArray(1200, 'c'), 20},
      {"new size, same time", QByteArray(900, 'd'), 0},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    const QDateTime was = QFileInfo(path).lastModified();
    Write(QStringLiteral("a.ttf"), change.bytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(was.addSecs(change.seconds_later), QFileDevice::FileModificationTime));
    file.close();
    EXPECT_EQ(ReadsFor(path, &bytes), 1);
    EXPECT_EQ(bytes, change.bytes);
    EXPECT_EQ(ReadsFor(path, &bytes), 0);
    EXPECT_EQ(bytes, change.bytes);
  }
  EXPECT_EQ(cache().KeptBytes(), 900);
}

TEST_F(FontFileCacheTest, TotalStaysWithinTheBoundDroppingTheLeastRecentlyUsed) {
  cache().SetByteLimit(2500);
  const QString a = Write(QStringLiteral("a.ttf"), QByteArray(1000, 'a'));
  const QString b = Write(QStringLiteral("b.ttf"), QByteArray(1000, 'b'));
  const QString c = Write(QStringLiteral("c.ttf"), QByteArray(1000, 'c'));
  const QString huge = Write(QStringLiteral("huge.ttf"), QByteArray(3000, 'h'));
  EXPECT_EQ(ReadsFor(a), 1);
  EXPECT_EQ(ReadsFor(b), 1);
  EXPECT_EQ(ReadsFor(a), 0);  // b is now the least recently used
  EXPECT_EQ(ReadsFor(c), 1);
  EXPECT_LE(cache().KeptBytes(), 2500);
  EXPECT_EQ(ReadsFor(a), 0);
  EXPECT_EQ(ReadsFor(c), 0);
  EXPECT_EQ(ReadsFor(b), 1);
  // A file larger than the bound is returned whole but never kept.
  QByteArray bytes;
  EXPECT_EQ(ReadsFor(huge, &bytes), 1);
  EXPECT_EQ(bytes.size(), 3000);
  EXPECT_EQ(ReadsFor(huge), 1);
  EXPECT_LE(cache().KeptBytes(), 2500);
}

TEST_F(FontFileCacheTest, FilesStillInUseStayWhateverTheBound) {
  cache().SetByteLimit(1500);
  const QString a = Write(QStringLiteral("a.ttf"), QByteArray(1000, 'a'));
  const QString b = Write(QStringLiteral("b.ttf"), QByteArray(1000, 'b'));
  const QString c = Write(QStringLiteral("c.ttf"), QByteArray(1000, 'c'));
  // As in one export using more faces than the bound: each face is held
  // by its font while the next is read, and all are found again.
  {
    QByteArray held_a, held_b, held_c;
    EXPECT_EQ(ReadsFor(a, &held_a), 1);
    EXPECT_EQ(ReadsFor(b, &held_b), 1);
    EXPECT_EQ(ReadsFor(c, &held_c), 1);
    EXPECT_EQ(cache().KeptBytes(), 3000);
  }
  // Once released, the idle files shrink back to the bound at the next miss.
  const QString d = Write(QStringLiteral("d.ttf"), QByteArray(500, 'd'));
  EXPECT_EQ(ReadsFor(d), 1);
  EXPECT_LE(cache().KeptBytes(), 1500);
  EXPECT_EQ(ReadsFor(c), 0);  // the most recently used stayed
  EXPECT_EQ(ReadsFor(a), 1);  // the least recently used went
}

TEST_F(FontFileCacheTest, FailedReadsPassTheErrorAndKeepNothing) {
  const QString missing = dir_.filePath(QStringLiteral("missing.ttf"));
  EXPECT_THROW(cache().Read(missing), Error);
  EXPECT_THROW(cache().Read(dir_.path()), Error);
  EXPECT_EQ(cache().KeptBytes(), 0);
  // A file that appears later is read then.
  Write(QStringLiteral("missing.ttf"), QByteArray(10, 'x'));
  EXPECT_EQ(ReadsFor(missing), 1);
}

TEST_F(FontFileCacheTest, TwoPdfFontsOfOneFaceReadTheFileOnce) {
  const FontFace& face = FontService::Instance().Resolve(QStringLiteral("DejaVu Sans"), 0);
  if (face.FilePath().isEmpty()) GTEST_SKIP() << "no DejaVu Sans file";
  const int64_t before = cache().DiskReads();
  for (int index = 0; index < 2; ++index) {
    TovxPDFFont font(QStringLiteral("DejaVu Sans"), 0, face, index);
    font.MapText(QStringLiteral("Velmora"), false, false);
    EXPECT_FALSE(font.BuildSubsetFont().isEmpty());
  }
  EXPECT_EQ(cache().DiskReads() - before, 1);
}

}  // namespace
}  // namespace ovx
