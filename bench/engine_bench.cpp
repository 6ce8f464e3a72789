// Preparing the typesetting application's report and reading it back.
//
// The report is built the way the application builds it (the application's
// template with its landscape cover, then body pages of 180 one-character
// memos). Arguments are body pages: 40 is about what the built-in text
// needs, 500 is the application's limit of 501 pages. Each case reports the
// process's peak resident memory; run one case per process for a peak that
// belongs to it:
//   engine_bench --benchmark_filter='BM_Prepare/500$'
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "engine/report_script.h"
#include "tests/engine/app_report.h"
#include "tests/engine/band_report.h"

#include <QFile>
#include <QRegularExpression>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

const QString kTemplate = QStringLiteral(VELMORA_SOURCE_DIR "/tests/data/templates/velmora.ov3");

// The application's body text without line breaks, or the sample text.
QString BodyText() {
  QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/app/data/body.txt"));
  if (!file.open(QIODevice::ReadOnly)) return ovx::test::SampleText();
  QString text = QString::fromUtf8(file.readAll());
  text.remove(QRegularExpression(QStringLiteral("\\s")));
  return text.isEmpty() ? ovx::test::SampleText() : text;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

void BM_Prepare(benchmark::State& state) {
  ovx::InstallEngine();
  auto report = ovx::test::MakeAppReport(kTemplate, static_cast<int>(state.range(0)), BodyText());
  report->EngineOptions().SetEnableThreadSafe(true);
  // The template alone: the application's report holds every cell of every page.
  state.counters["template_MB"] = PeakMegabytes();
  for (auto _ : state) {
    if (!report->PrepareReport()) state.SkipWithError("preparation failed");
  }
  state.counters["pages"] = ovx::PreparedPages(*report)->Count();
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_Prepare)->Arg(40)->Arg(500)->Unit(benchmark::kMillisecond);

// The same with the report script installed, as the application prepares:
// the script compiles and runs its main block before every run.
void BM_PrepareScripted(benchmark::State& state) {
  ovx::InstallScripting();
  auto report = ovx::test::MakeAppReport(kTemplate, static_cast<int>(state.range(0)), BodyText());
  report->EngineOptions().SetEnableThreadSafe(true);
  for (auto _ : state) {
    if (!report->PrepareReport()) state.SkipWithError("preparation failed");
  }
  state.counters["pages"] = ovx::PreparedPages(*report)->Count();
  ovx::InstallEngine();
}
BENCHMARK(BM_PrepareScripted)->Arg(40)->Arg(500)->Unit(benchmark::kMillisecond);

// 600 pages of one body page template, in memory (0) or with the file
// cache at MaxMemSize 1 (1).
void BM_Prepare600(benchmark::State& state) {
  ovx::InstallEngine();
  auto report = ovx::test::MakeAppReport(kTemplate, 1, BodyText());
  dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Body0")))->SetPageCount(600);
  report->EngineOptions().SetEnableThreadSafe(true);
  report->EngineOptions().SetUseFileCache(state.range(0) != 0);
  report->EngineOptions().SetMaxMemSize(1);
  for (auto _ : state) report->PrepareReport();
  state.counters["pages"] = ovx::PreparedPages(*report)->Count();
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_Prepare600)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Rebuilding one prepared body page (the cache holds one page, so two
// pages taken in turn are rebuilt every time).
void BM_GetPage(benchmark::State& state) {
  ovx::InstallEngine();
  auto report = ovx::test::MakeAppReport(kTemplate, 4, BodyText());
  report->PreviewOptions().SetPagesInCache(1);
  report->PrepareReport();
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  int index = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pages.GetPage(index));
    index = index == 1 ? 2 : 1;
  }
  state.SetLabel("one body page of 180 cells");
}
BENCHMARK(BM_GetPage)->Unit(benchmark::kMicrosecond);

// A band report: a MasterData band over 10,000 counted rows, each with five
// memos, on A4 pages under a page header and above a page footer. States
// rows per second.
void BM_Bands(benchmark::State& state) {
  ovx::InstallEngine();
  ovx::test::BandReport r;
  r.report->EngineOptions().SetEnableThreadSafe(true);
  r.Add<TovxPageHeader>(QStringLiteral("PageHeader1"), 0, 40);
  auto* data = r.Add<TovxMasterData>(QStringLiteral("MasterData1"), 60, 20);
  const int rows = static_cast<int>(state.range(0));
  data->SetRowCount(rows);
  for (int i = 0; i < 5; ++i) {
    r.AddMemo(*data, QStringLiteral("Cell%1").arg(i), QStringLiteral("行%1").arg(i))
        ->SetLeft(i * 140);
  }
  r.Add<TovxPageFooter>(QStringLiteral("PageFooter1"), 100, 30);
  for (auto _ : state) {
    if (!r.Prepare()) state.SkipWithError("preparation failed");
  }
  state.counters["pages"] = r.Pages().Count();
  state.counters["rows_per_s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Bands)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
