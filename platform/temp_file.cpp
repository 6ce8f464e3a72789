// Temporary files: mkstemp naming, removal on destruction.
#include "platform/temp_file.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace ovx {

TempFile::TempFile(const QString& directory, const QString& prefix)
    : TempFile(CreateFile(directory, prefix)) {}

TempFile::TempFile(Created created)
    : FileStream(created.descriptor, std::move(created.path), true, true) {}

TempFile::~TempFile() {
  // Removing the name is enough: the descriptor closed by the base class
  // releases the data.
  ::unlink(QFile::encodeName(Path()).constData());
}

QString TempFile::DirectoryFor(const QString& directory) {
  if (!directory.isEmpty()) {
    const QFileInfo info(directory);
    if (info.isDir()) return info.absoluteFilePath();
  }
  return QDir::tempPath();
}

TempFile::Created TempFile::CreateFile(const QString& directory, const QString& prefix) {
  const QString dir = DirectoryFor(directory);
  // The prefix must not smuggle in a path of its own.
  QString safe_prefix = prefix;
  safe_prefix.replace(u'/', u'_');
  QByteArray pattern = QFile::encodeName(QDir(dir).filePath(safe_prefix + "XXXXXX"));
  int descriptor;
  do {
    descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    throw Error("", "Cannot create a temporary file in %s: %s", {dir, SystemErrorText(errno)});
  }
  return {descriptor, QFile::decodeName(pattern)};
}

}  // namespace ovx
