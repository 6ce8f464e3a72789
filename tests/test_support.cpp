#include "tests/test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace ovx::test {

QString DataPath(const QString& relative) {
  // CTest sets the variable; running a test binary by hand needs it too.
  const QString root = qEnvironmentVariable("VELMORA_TEST_DATA");
  return QDir(root.isEmpty() ? QStringLiteral("tests/data") : root).filePath(relative);
}

void ExpectGolden(const QString& relative, const QByteArray& actual) {
  const QString path = DataPath(relative);
  QFile file(path);
  if (qEnvironmentVariableIntValue("VELMORA_UPDATE_GOLDENS") == 1) {
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(actual);
    return;
  }
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString() << " (missing golden file)";
  // As text, so a failure shows the difference.
  EXPECT_EQ(actual.toStdString(), file.readAll().toStdString())
      << "golden file " << path.toStdString();
}

}  // namespace ovx::test
