// Fuzz target for preparing report templates.
//
// Whatever the template, loading and preparing it must end without a crash
// or a hang, and the template must save to the same bytes after the run as
// before it. The host's hooks stop runs that would make more than 200
// pages or show more than 20,000 objects, and a watchdog stops a run (its
// script included, between two statements) after a few seconds. A page
// that a subreport shows is also prepared on its own (as a detail page
// is), which is the way a subreport can reach a page that is already
// running.
//
// Report scripts run: events, ShowBand and the engine's other calls from
// scripts. A script may change the template on purpose (that is what
// setting a property in an event does), so the byte check is made only for
// templates whose script is an empty program. The host appends up to two
// pages while the run goes on (as the application appends its body pages),
// shaped by a hash of the input; they are taken out again before the
// template is compared.
#include "base/error.h"
#include "base/stream.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "engine/report_script.h"
#include "report/model/band.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

QByteArray Save(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.Data();
}

// A script that runs nothing, in any of the dialects.
bool EmptyScript(const TovxReport& report) {
  QString text = report.ScriptText().join(QString());
  text.remove(QRegularExpression(QStringLiteral("\\s")));
  text = text.toLower();
  return text.isEmpty() || text == u"beginend." || text == u"{}";
}

// Stops the report it watches once its time is up.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Loop(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Watch(TovxReport* report) {
    std::lock_guard<std::mutex> lock(mutex_);
    report_ = report;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, std::chrono::milliseconds(100));
      if (report_ && std::chrono::steady_clock::now() > deadline_) report_->SetTerminated(true);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  TovxReport* report_ = nullptr;
  std::chrono::steady_clock::time_point deadline_;
  bool stop_ = false;
  std::thread thread_;
};

struct Unwatch {
  Watchdog& watchdog;
  ~Unwatch() { watchdog.Watch(nullptr); }
};

// A page the host appends: a page-level memo and a data band, with the
// options that change where it starts taken from `shape`.
void AppendPage(TovxReport& report, int number, uint8_t shape) {
  auto* page = new TovxReportPage(&report);
  page->SetName(QStringLiteral("FuzzMore%1").arg(number));
  page->SetPaperWidth(100 + (shape & 0x3) * 50);
  page->SetPaperHeight(80 + ((shape >> 2) & 0x3) * 60);
  page->SetPrintOnPreviousPage(shape & 0x10);
  page->SetColumns(1 + ((shape >> 5) & 0x1));
  auto* note = new TovxMemoView(page);
  note->SetName(QStringLiteral("FuzzNote%1").arg(number));
  note->SetBounds(10, 5, 100, 20);
  note->SetText(QStringLiteral("[Page#] [TotalPages#]"));
  auto* band = new TovxMasterData(page);
  band->SetName(QStringLiteral("FuzzData%1").arg(number));
  band->SetBounds(0, 40, 200, 30 + (shape >> 6) * 40);
  band->SetRowCount(1 + (shape & 0x7));
  band->SetStretched(true);
  band->SetAllowSplit(shape & 0x8);
  auto* row = new TovxMemoView(band);
  row->SetName(QStringLiteral("FuzzRow%1").arg(number));
  row->SetBounds(0, 0, 150, 20);
  row->SetStretchMode(TovxStretchMode::smActualHeight);
  row->SetText(QStringLiteral("[Line]\n[Line#]\n[Page]"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "prepare_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  static const bool installed = (ovx::InstallScripting(), true);
  (void)installed;
  static Watchdog watchdog;

  TovxReport report;
  Unwatch unwatch{watchdog};  // before the report goes
  ovx::MemoryStream input(
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  (void)report.LoadFromStream(input);
  report.EngineOptions().SetEnableThreadSafe(true);
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  int shown = 0;
  report.on_before_print = [&](TovxComponent&) {
    TovxPreviewPages* pages = ovx::PreparedPages(report);
    if (++shown > 20000 || (pages && pages->Count() > 200)) report.SetTerminated(true);
  };
  const bool check = EmptyScript(report);
  const QByteArray before = Save(report);
  const size_t template_objects = report.Objects().size();
  // Any change of the input may change the pages appended.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const auto shape = static_cast<uint8_t>(hash ^ (hash >> 8) ^ (hash >> 16) ^ (hash >> 24));
  int appended = 0;
  if (TovxEngine* engine = ovx::ReportEngine(report)) {
    engine->more_pages = [&] {
      if (appended >= 2 || !(shape & 0x80)) return false;
      ++appended;
      AppendPage(report, appended, static_cast<uint8_t>(shape + appended));
      return true;
    };
  }
  watchdog.Watch(&report);
  try {
    (void)report.PrepareReport();
  } catch (const ovx::Error&) {
  }
  // The host's pages go before the template is compared.
  while (report.Objects().size() > template_objects) delete report.Objects().back();
  if (check && Save(report) != before) std::abort();
  TovxEngine* engine = ovx::ReportEngine(report);
  TovxPreviewPages* pages = ovx::PreparedPages(report);
  if (engine) engine->more_pages = nullptr;
  int alone = 0;
  for (TovxComponent* child : report.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (!page || !page->Subreport() || !engine || !pages) continue;
    if (++alone > 3) break;
    pages->Clear();
    shown = 0;
    report.SetTerminated(false);
    watchdog.Watch(&report);
    try {
      (void)engine->Run(true, page);
    } catch (const ovx::Error&) {
    }
    if (check && Save(report) != before) std::abort();
  }
  return 0;
}
