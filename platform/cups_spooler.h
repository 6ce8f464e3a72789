// The print spooler as the printing module sees it, and its CUPS realisation.
//
// The printing module needs little from a spooler: the queues and the
// default one, what a queue can do (media with their unprintable margins,
// paper sources, sides, resolution), and a way to hand it a finished
// document with job options. `Spooler` is that surface; `CupsSpooler` is the
// only code that talks to libcups, and tests put a fake in its place.
//
// Sizes are millimetres, portrait (width <= height for ordinary media);
// margins are those of the portrait medium. Keywords are IPP's ("media",
// "media-source", "sides"), so the job options that carry them need no
// translation.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ovx {

struct SpoolerQueue {
  QString name;  // "queue" or "queue/instance"
  // Where the queue prints (its location, else its device without any
  // user name or password in it); may be empty.
  QString port;
  bool is_default = false;
};

struct SpoolerMedia {
  QByteArray keyword;  // "iso_a4_210x297mm"
  QString display_name;
  double width = 0;  // mm, portrait
  double height = 0;
  double left = 0;  // unprintable margins, mm
  double top = 0;
  double right = 0;
  double bottom = 0;
};

struct SpoolerChoice {
  QByteArray keyword;  // "tray-1", "two-sided-long-edge"
  QString display_name;
};

struct SpoolerCapabilities {
  std::vector<SpoolerMedia> media;
  QByteArray default_media;  // empty: none named
  std::vector<SpoolerChoice> sources;
  QByteArray default_source;
  std::vector<QByteArray> sides;
  QByteArray default_sides;
  bool landscape_default = false;
  // Dots per inch; 0 when the queue does not say.
  int dpi_x = 0;
  int dpi_y = 0;
};

using SpoolerOptions = std::vector<std::pair<QByteArray, QByteArray>>;

// One job at the spooler, holding one document.
class SpoolerJob {
 public:
  virtual ~SpoolerJob() = default;
  // Each answers false, with Error() saying why, when the spooler refused.
  [[nodiscard]] virtual bool Write(const char* data, qint64 size) = 0;
  // Ends the document: the job may print from now on.
  [[nodiscard]] virtual bool Finish() = 0;
  // Withdraws the job, also after Finish (pages it already printed stay
  // printed). Failures are ignored: there is nothing left to undo.
  virtual void Cancel() = 0;
  virtual int Id() const = 0;
  const QString& Error() const { return error_; }

 protected:
  QString error_;
};

class Spooler {
 public:
  virtual ~Spooler() = default;
  // Empty when no spooler answers.
  virtual std::vector<SpoolerQueue> Queues() = 0;
  // Nullopt when the queue cannot be asked (gone, or the spooler is down).
  virtual std::optional<SpoolerCapabilities> Capabilities(const QString& queue) = 0;
  // A new job of `format` ("application/pdf", "application/vnd.cups-raw");
  // null, with `error` set, when the spooler refused it.
  virtual std::unique_ptr<SpoolerJob> CreateJob(const QString& queue, const QString& title,
                                                const QByteArray& format,
                                                const SpoolerOptions& options, QString* error) = 0;
};

class CupsSpooler : public Spooler {
 public:
  std::vector<SpoolerQueue> Queues() override;
  std::optional<SpoolerCapabilities> Capabilities(const QString& queue) override;
  std::unique_ptr<SpoolerJob> CreateJob(const QString& queue, const QString& title,
                                        const QByteArray& format, const SpoolerOptions& options,
                                        QString* error) override;

  // Makes libcups talk to `server` (a host[:port] or the path of a domain
  // socket) on this thread; empty goes back to the user's configured one.
  static void SetServer(const QString& server);
};

}  // namespace ovx
