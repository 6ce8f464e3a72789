#include "tests/test_support.h"

#include <QDir>

namespace ovx::test {

QString DataPath(const QString& relative) {
  // CTest sets the variable; running a test binary by hand needs it too.
  const QString root = qEnvironmentVariable("VELMORA_TEST_DATA");
  return QDir(root.isEmpty() ? QStringLiteral("tests/data") : root).filePath(relative);
}

}  // namespace ovx::test
