#include "platform/cups_spooler.h"

#include <QUrl>

#include <cups/cups.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ovx {
namespace {

// What a server sends is outside input: lists are capped and sizes checked
// before they reach the printer model.
constexpr int kMaxMedia = 1000;
constexpr int kMaxChoices = 200;
constexpr int kMaxHundredthsMm = 1000000;  // 10 m
constexpr int kMaxDpi = 100000;

QString Text(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

// "queue/instance" into its two parts (instance null when there is none).
struct DestName {
  QByteArray name;
  QByteArray instance;
  const char* Instance() const { return instance.isEmpty() ? nullptr : instance.constData(); }
};

DestName Split(const QString& queue) {
  const qsizetype slash = queue.indexOf(u'/');
  if (slash < 0) return {queue.toUtf8(), {}};
  return {queue.left(slash).toUtf8(), queue.mid(slash + 1).toUtf8()};
}

// A destination with its information, freed together.
struct Dest {
  cups_dest_t* dest = nullptr;
  cups_dinfo_t* info = nullptr;
  http_t* http = CUPS_HTTP_DEFAULT;

  Dest() = default;
  Dest(const Dest&) = delete;
  Dest& operator=(const Dest&) = delete;
  ~Dest() {
    if (info) cupsFreeDestInfo(info);
    if (http) httpClose(http);
    if (dest) cupsFreeDests(1, dest);
  }

  // `own_connection`: a connection of its own to the configured server
  // (jobs stream documents over it); else the thread's default one. Not
  // the queue's own address: that names a network port even where the
  // server listens on a local socket only.
  bool Open(const QString& queue, bool own_connection, QString* error) {
    const DestName name = Split(queue);
    dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.name.constData(), name.Instance());
    if (!dest) {
      if (error)
        *error = QStringLiteral("The printer \"%1\" is not known to the spooler").arg(queue);
      return false;
    }
    if (own_connection) {
      http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000,
                          nullptr);
      if (!http) {
        if (error) *error = Text(cupsLastErrorString());
        return false;
      }
    }
    info = cupsCopyDestInfo(http, dest);
    if (!info) {
      if (error) *error = Text(cupsLastErrorString());
      return false;
    }
    return true;
  }
};

QString Localized(const Dest& d, const char* option, const char* value) {
  const char* text = cupsLocalizeDestValue(d.http, d.dest, d.info, option, value);
  // libcups gives the keyword back when it has no text for it.
  if (text && std::strcmp(text, value) != 0) return Text(text);
  QString words = Text(value).replace(u'-', u' ');
  if (!words.isEmpty()) words[0] = words[0].toUpper();
  return words;
}

std::vector<SpoolerChoice> Choices(const Dest& d, const char* option) {
  std::vector<SpoolerChoice> choices;
  ipp_attribute_t* supported = cupsFindDestSupported(d.http, d.dest, d.info, option);
  const int count = std::min(supported ? ippGetCount(supported) : 0, kMaxChoices);
  for (int i = 0; i < count; ++i) {
    const char* value = ippGetString(supported, i, nullptr);
    if (!value || !*value) continue;
    choices.push_back({QByteArray(value), Localized(d, option, value)});
  }
  return choices;
}

QByteArray DefaultKeyword(const Dest& d, const char* option) {
  ipp_attribute_t* attr = cupsFindDestDefault(d.http, d.dest, d.info, option);
  const char* value = attr ? ippGetString(attr, 0, nullptr) : nullptr;
  return value ? QByteArray(value) : QByteArray();
}

class CupsJob : public SpoolerJob {
 public:
  CupsJob(std::unique_ptr<Dest> dest, int id) : dest_(std::move(dest)), id_(id) {}
  ~CupsJob() override {
    if (!finished_) Cancel();
  }

  bool Write(const char* data, qint64 size) override {
    while (size > 0) {
      const size_t chunk = static_cast<size_t>(std::min<qint64>(size, 1 << 20));
      if (cupsWriteRequestData(dest_->http, data, chunk) != HTTP_STATUS_CONTINUE) {
        error_ = Text(cupsLastErrorString());
        return false;
      }
      data += chunk;
      size -= static_cast<qint64>(chunk);
    }
    return true;
  }

  bool Finish() override {
    const ipp_status_t status = cupsFinishDestDocument(dest_->http, dest_->dest, dest_->info);
    finished_ = true;
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
      error_ = Text(cupsLastErrorString());
      return false;
    }
    return true;
  }

  void Cancel() override {
    if (cancelled_) return;
    cancelled_ = true;
    if (!finished_) {
      // The document request is still open on our connection: dropping
      // the connection ends it, and the cancel goes over a fresh one.
      httpClose(dest_->http);
      dest_->http = CUPS_HTTP_DEFAULT;
      finished_ = true;
    }
    cupsCancelDestJob(dest_->http, dest_->dest, id_);
  }

  int Id() const override { return id_; }

 private:
  std::unique_ptr<Dest> dest_;
  int id_;
  bool finished_ = false;
  bool cancelled_ = false;
};

}  // namespace

void CupsSpooler::SetServer(const QString& server) {
  cupsSetServer(server.isEmpty() ? nullptr : server.toUtf8().constData());
}

std::vector<SpoolerQueue> CupsSpooler::Queues() {
  std::vector<SpoolerQueue> queues;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& d = dests[i];
    if (!d.name) continue;
    SpoolerQueue queue;
    queue.name = Text(d.name);
    if (d.instance) queue.name += u'/' + Text(d.instance);
    queue.port = Text(cupsGetOption("printer-location", d.num_options, d.options));
    if (queue.port.isEmpty()) {
      const QUrl device(Text(cupsGetOption("device-uri", d.num_options, d.options)));
      queue.port = device.toString(QUrl::RemoveUserInfo);
    }
    queue.is_default = d.is_default != 0;
    queues.push_back(std::move(queue));
  }
  cupsFreeDests(count, dests);
  return queues;
}

std::optional<SpoolerCapabilities> CupsSpooler::Capabilities(const QString& queue) {
  Dest d;
  if (!d.Open(queue, false, nullptr)) return std::nullopt;
  SpoolerCapabilities caps;

  const int media_count =
      std::min(cupsGetDestMediaCount(d.http, d.dest, d.info, CUPS_MEDIA_FLAGS_DEFAULT), kMaxMedia);
  for (int i = 0; i < media_count; ++i) {
    cups_size_t size{};
    if (!cupsGetDestMediaByIndex(d.http, d.dest, d.info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size))
      continue;
    auto valid = [](int v, int max) { return v >= 0 && v <= max; };
    if (size.width <= 0 || size.length <= 0 || !valid(size.width, kMaxHundredthsMm) ||
        !valid(size.length, kMaxHundredthsMm) || !valid(size.left, size.width) ||
        !valid(size.right, size.width) || !valid(size.top, size.length) ||
        !valid(size.bottom, size.length) || size.left + size.right >= size.width ||
        size.top + size.bottom >= size.length) {
      continue;
    }
    SpoolerMedia media;
    media.keyword = QByteArray(size.media);
    const char* name =
        cupsLocalizeDestMedia(d.http, d.dest, d.info, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    media.display_name = Text(name);
    if (media.display_name.isEmpty()) {
      const pwg_media_t* pwg = pwgMediaForPWG(size.media);
      if (pwg && pwg->ppd) media.display_name = Text(pwg->ppd);
    }
    media.width = size.width / 100.0;
    media.height = size.length / 100.0;
    media.left = size.left / 100.0;
    media.right = size.right / 100.0;
    media.top = size.top / 100.0;
    media.bottom = size.bottom / 100.0;
    caps.media.push_back(std::move(media));
  }
  cups_size_t default_size{};
  if (cupsGetDestMediaDefault(d.http, d.dest, d.info, CUPS_MEDIA_FLAGS_DEFAULT, &default_size))
    caps.default_media = QByteArray(default_size.media);

  caps.sources = Choices(d, CUPS_MEDIA_SOURCE);
  caps.default_source = DefaultKeyword(d, CUPS_MEDIA_SOURCE);
  for (SpoolerChoice& side : Choices(d, CUPS_SIDES)) caps.sides.push_back(side.keyword);
  caps.default_sides = DefaultKeyword(d, CUPS_SIDES);

  if (ipp_attribute_t* orientation =
          cupsFindDestDefault(d.http, d.dest, d.info, CUPS_ORIENTATION)) {
    caps.landscape_default = ippGetInteger(orientation, 0) == IPP_ORIENT_LANDSCAPE;
  }
  if (ipp_attribute_t* resolution =
          cupsFindDestDefault(d.http, d.dest, d.info, "printer-resolution")) {
    int y = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    int x = ippGetResolution(resolution, 0, &y, &units);
    if (units == IPP_RES_PER_CM) {
      x = static_cast<int>(std::lround(x * 2.54));
      y = static_cast<int>(std::lround(y * 2.54));
    }
    if (x > 0 && y > 0 && x <= kMaxDpi && y <= kMaxDpi) {
      caps.dpi_x = x;
      caps.dpi_y = y;
    }
  }
  return caps;
}

std::unique_ptr<SpoolerJob> CupsSpooler::CreateJob(const QString& queue, const QString& title,
                                                   const QByteArray& format,
                                                   const SpoolerOptions& options, QString* error) {
  auto d = std::make_unique<Dest>();
  QString failure;
  if (!d->Open(queue, true, &failure)) {
    if (error) *error = failure;
    return nullptr;
  }
  cups_option_t* cups_options = nullptr;
  int option_count = 0;
  for (const auto& [name, value] : options)
    option_count = cupsAddOption(name.constData(), value.constData(), option_count, &cups_options);
  const QByteArray title_utf8 = title.toUtf8();
  int id = 0;
  const ipp_status_t status = cupsCreateDestJob(d->http, d->dest, d->info, &id,
                                                title_utf8.constData(), option_count, cups_options);
  cupsFreeOptions(option_count, cups_options);
  if (status > IPP_STATUS_OK_EVENTS_COMPLETE || id <= 0) {
    if (error) *error = Text(cupsLastErrorString());
    return nullptr;
  }
  if (cupsStartDestDocument(d->http, d->dest, d->info, id, title_utf8.constData(),
                            format.constData(), 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
    if (error) *error = Text(cupsLastErrorString());
    cupsCancelDestJob(d->http, d->dest, id);
    return nullptr;
  }
  return std::make_unique<CupsJob>(std::move(d), id);
}

}  // namespace ovx
