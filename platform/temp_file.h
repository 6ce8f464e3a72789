// Temporary files that disappear with their owner.
//
// Design: a TempFile is a read-write FileStream on a file created with a
// unique name (mkstemp), so two documents or two processes never share one.
// The file is removed from disk when the object is destroyed; a crash leaves
// it behind, as the system's temporary directory is cleaned by the system.
#pragma once

#include "base/stream.h"

#include <QString>

namespace ovx {

class TempFile : public FileStream {
 public:
  // Creates an empty file named `prefix` + six random characters in
  // `directory`, or in the system's temporary directory (QDir::tempPath(),
  // which follows TMPDIR) when `directory` is empty or is not an existing
  // directory. Throws ovx::Error naming the directory and the system's
  // reason when the file cannot be created.
  explicit TempFile(const QString& directory = QString(), const QString& prefix = "velmora-");
  ~TempFile() override;

  // The absolute path of the file.
  const QString& Path() const { return FileName(); }

  // The directory a TempFile created with `directory` goes to.
  static QString DirectoryFor(const QString& directory);

 private:
  struct Created {
    int descriptor;
    QString path;
  };
  explicit TempFile(Created created);
  static Created CreateFile(const QString& directory, const QString& prefix);
};

}  // namespace ovx
