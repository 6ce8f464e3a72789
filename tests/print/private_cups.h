// A CUPS server of the test's own: cupsd with its configuration, spool and
// domain socket in a temporary folder, one queue "capture" (driver
// tests/data/print/capture.ppd) whose backend stores each job's document
// and options, and one queue "closed" that accepts no jobs. Nothing of the
// machine's own CUPS is used or touched.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace ovx::test {

struct CapturedJob {
  QByteArray document;
  QString title;
  int copies = 0;
  // name -> value; a flag CUPS wrote as "noname" is "noname" -> "".
  QMap<QByteArray, QByteArray> options;
};

class PrivateCups {
 public:
  PrivateCups() = default;
  ~PrivateCups();
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;

  // Starts cupsd and points this thread's libcups at it. Answers why it
  // could not, empty when the server runs.
  QString Start();
  // The value of CUPS_SERVER for programs that should use this server.
  QString Socket() const;
  // Forgets the jobs captured so far.
  void ClearJobs();
  // The jobs captured since ClearJobs, in job order, once there are at
  // least `count` of them; fewer when they do not come within a minute.
  std::vector<CapturedJob> WaitForJobs(int count);

 private:
  QString Path(const QString& relative) const;
  QString ErrorLog() const;

  QTemporaryDir dir_;
  QProcess cupsd_;
};

}  // namespace ovx::test
