#include "tests/print/private_cups.h"

#include "platform/cups_spooler.h"
#include "tests/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace ovx::test {
namespace {

bool WriteFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Where the installed CUPS keeps cups-exec, which cupsd runs every backend
// through.
QString ServerBin() {
  for (const char* dir : {"/usr/lib/cups", "/usr/libexec/cups", "/usr/local/lib/cups"}) {
    if (QFileInfo::exists(QString::fromLatin1(dir) + "/daemon/cups-exec"))
      return QString::fromLatin1(dir);
  }
  return {};
}

}  // namespace

PrivateCups::~PrivateCups() {
  CupsSpooler::SetServer(QString());
  if (cupsd_.state() != QProcess::NotRunning) {
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) {
      cupsd_.kill();
      cupsd_.waitForFinished(5000);
    }
  }
}

QString PrivateCups::Path(const QString& relative) const { return dir_.filePath(relative); }

QString PrivateCups::Socket() const { return Path(QStringLiteral("cups.sock")); }

QString PrivateCups::ErrorLog() const {
  return QString::fromUtf8(ReadFile(Path(QStringLiteral("log/error_log"))).right(2000));
}

QString PrivateCups::Start() {
  const QString cupsd = QStandardPaths::findExecutable(
      QStringLiteral("cupsd"),
      {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
  if (cupsd.isEmpty()) {
    return QStringLiteral("cupsd is not installed (scripts/setup.sh installs cups-daemon)");
  }
  const QString server_bin = ServerBin();
  if (server_bin.isEmpty()) return QStringLiteral("CUPS's daemon/cups-exec was not found");
  if (!dir_.isValid()) return QStringLiteral("no temporary folder for the server");

  const QDir root(dir_.path());
  for (const char* sub : {"bin/backend", "spool/tmp", "cache", "state", "log", "ppd", "out"}) {
    if (!root.mkpath(QString::fromLatin1(sub))) return QStringLiteral("cannot make %1").arg(sub);
  }
  if (!QFile::link(server_bin + "/daemon", Path(QStringLiteral("bin/daemon"))))
    return QStringLiteral("cannot link cups-exec");
  const QString backend = Path(QStringLiteral("bin/backend/capture"));
  if (!QFile::copy(QStringLiteral(VELMORA_CAPTURE_BACKEND), backend) ||
      !QFile::copy(DataPath(QStringLiteral("print/capture.ppd")),
                   Path(QStringLiteral("ppd/capture.ppd"))) ||
      !QFile::copy(DataPath(QStringLiteral("print/capture.ppd")),
                   Path(QStringLiteral("ppd/closed.ppd")))) {
    return QStringLiteral("cannot copy the capture backend and driver");
  }
  // A backend only the owner may run is run as root by a root cupsd (and
  // may then write into this private folder).
  QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  const QByteArray d = dir_.path().toUtf8();
  const bool written =
      WriteFile(Path(QStringLiteral("cups-files.conf")),
                "ServerRoot " + d + "\nServerBin " + d + "/bin\nDataDir /usr/share/cups\n" +
                    "RequestRoot " + d + "/spool\nTempDir " + d + "/spool/tmp\nCacheDir " + d +
                    "/cache\nStateDir " + d + "/state\nAccessLog " + d +
                    "/log/access_log\nErrorLog " + d + "/log/error_log\nPageLog " + d +
                    "/log/page_log\n" + (getuid() == 0 ? "SystemGroup root\n" : "")) &&
      WriteFile(Path(QStringLiteral("cupsd.conf")),
                "LogLevel warn\nListen " + d + "/cups.sock\nBrowsing No\nWebInterface No\n" +
                    "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n" +
                    "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n" +
                    "  </Limit>\n</Policy>\n") &&
      WriteFile(Path(QStringLiteral("printers.conf")),
                "<DefaultPrinter capture>\nInfo Velmora capture\nDeviceURI capture:" + d +
                    "/out\nState Idle\nAccepting Yes\nShared No\n</DefaultPrinter>\n" +
                    "<Printer closed>\nInfo Closed\nDeviceURI capture:" + d +
                    "/out\nState Idle\nAccepting No\nShared No\n</Printer>\n");
  if (!written) return QStringLiteral("cannot write the server's configuration");

  cupsd_.setProgram(cupsd);
  cupsd_.setArguments({QStringLiteral("-f"), QStringLiteral("-c"), Path("cupsd.conf"),
                       QStringLiteral("-s"), Path("cups-files.conf")});
  cupsd_.setProcessChannelMode(QProcess::MergedChannels);
  cupsd_.start();
  if (!cupsd_.waitForStarted(10000)) return QStringLiteral("cupsd did not start");

  // Ready once it lists the queue on its socket.
  CupsSpooler::SetServer(Socket());
  CupsSpooler spooler;
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 30000) {
    if (cupsd_.state() == QProcess::NotRunning) {
      return QStringLiteral("cupsd stopped: %1 %2")
          .arg(QString::fromUtf8(cupsd_.readAll()), ErrorLog());
    }
    if (QFileInfo::exists(Socket())) {
      const std::vector<SpoolerQueue> queues = spooler.Queues();
      if (std::any_of(queues.begin(), queues.end(),
                      [](const SpoolerQueue& q) { return q.name == u"capture"; }))
        return {};
    }
    QThread::msleep(100);
  }
  return QStringLiteral("cupsd did not answer: %1").arg(ErrorLog());
}

void PrivateCups::ClearJobs() {
  QDir out(Path(QStringLiteral("out")));
  for (const QString& name : out.entryList(QDir::Files)) out.remove(name);
}

std::vector<CapturedJob> PrivateCups::WaitForJobs(int count) {
  const QDir out(Path(QStringLiteral("out")));
  QStringList done;
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    done = out.entryList({QStringLiteral("job-*.txt")}, QDir::Files);
    if (done.size() >= count || waited.elapsed() > 60000) break;
    QThread::msleep(100);
  }
  auto job_number = [](const QString& name) {
    return name.section(u'-', 1).section(u'.', 0, 0).toInt();
  };
  std::sort(done.begin(), done.end(),
            [&](const QString& a, const QString& b) { return job_number(a) < job_number(b); });
  std::vector<CapturedJob> jobs;
  for (const QString& name : done) {
    CapturedJob job;
    job.document = ReadFile(out.filePath(QString(name).replace(".txt", ".pdf")));
    for (const QByteArray& line : ReadFile(out.filePath(name)).split('\n')) {
      if (line.startsWith("title=")) job.title = QString::fromUtf8(line.mid(6));
      if (line.startsWith("copies=")) job.copies = line.mid(7).toInt();
      if (line.startsWith("options=")) {
        // CUPS writes a false flag as "noname".
        for (const QByteArray& option : line.mid(8).split(' ')) {
          const qsizetype eq = option.indexOf('=');
          if (eq > 0) {
            job.options.insert(option.left(eq), option.mid(eq + 1));
          } else if (!option.isEmpty()) {
            job.options.insert(option, QByteArray());
          }
        }
      }
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

}  // namespace ovx::test
