// Fuzz target for preparing report templates.
//
// Whatever the template, loading and preparing it must end without a crash
// or a hang, and the template must save to the same bytes after the run as
// before it. The host's hooks stop runs that would make more than 200
// pages or show more than 20,000 objects. A page that a subreport shows
// is also prepared on its own (as a detail page is), which is the way a
// subreport can reach a page that is already running.
#include "base/error.h"
#include "base/stream.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray Save(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "prepare_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  static const bool installed = (ovx::InstallEngine(), true);
  (void)installed;

  TovxReport report;
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
  const QByteArray before = Save(report);
  (void)report.PrepareReport();
  if (Save(report) != before) std::abort();
  TovxEngine* engine = ovx::ReportEngine(report);
  TovxPreviewPages* pages = ovx::PreparedPages(report);
  int alone = 0;
  for (TovxComponent* child : report.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (!page || !page->Subreport() || !engine || !pages) continue;
    if (++alone > 3) break;
    pages->Clear();
    shown = 0;
    report.SetTerminated(false);
    try {
      (void)engine->Run(true, page);
    } catch (const ovx::Error&) {
    }
    if (Save(report) != before) std::abort();
  }
  return 0;
}
