#include "platform/temp_file.h"

#include "base/error.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace ovx {
namespace {

TEST(TempFileTest, CreatedInDirectoryAndRemovedWhenDestroyed) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString path;
  {
    TempFile first(dir.path(), "swap-");
    TempFile second(dir.path(), "swap-");
    path = first.Path();
    EXPECT_NE(first.Path(), second.Path());
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith("swap-"));
    EXPECT_TRUE(QFileInfo::exists(path));
    first.Write(QByteArray("swapped"));
    first.Seek(0);
    EXPECT_EQ(first.ReadAll(), "swapped");
  }
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(TempFileTest, FallsBackToSystemDirectory) {
  QTemporaryDir dir;
  for (const QString& directory : {QString(), dir.filePath("does-not-exist")}) {
    TempFile file(directory);
    EXPECT_EQ(QFileInfo(file.Path()).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath())
        << directory.toStdString();
  }
}

TEST(TempFileTest, UnwritableDirectoryThrows) {
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
  if (QFileInfo(dir.path()).isWritable()) GTEST_SKIP() << "running with permission overrides";
  EXPECT_THROW(TempFile file(dir.path()), Error);
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace ovx
