// The typesetting application's worst case for the object model and the
// template format: 501 report pages holding 90,000 memo views (one per
// character), created, saved as a template and loaded again.
//
// Peak memory is reported as the process's maximum resident set size after
// each benchmark; run one benchmark per process (--benchmark_filter) to read
// it for that phase alone.
#include "base/stream.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int kPages = 501;
constexpr int kMemos = 90'000;

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Builds the report the way the typesetter does: cells named "F<n>", each
// holding one character, laid out in a grid of 15 lines of 12 cells.
void Build(TovxReport& report) {
  const QString text = QStringLiteral("天地玄黃宇宙洪荒日月盈昃辰宿列張");
  int cell = 0;
  for (int p = 0; p < kPages && cell < kMemos; ++p) {
    auto* page = new TovxReportPage(&report);
    page->SetPaperWidth(148.5);
    page->SetPaperHeight(105);
    page->SetLeftMargin(5);
    page->SetRightMargin(5);
    page->SetTopMargin(5);
    page->SetBottomMargin(5);
    for (int i = 0; i < 180 && cell < kMemos; ++i, ++cell) {
      auto* memo = new TovxMemoView();
      memo->SetParent(page);
      memo->SetName(QStringLiteral("F%1").arg(cell));
      const double size = 29.92;
      memo->SetBounds(466.77 - (i / 12 + 1) * size, (i % 12) * size, size, size);
      memo->Font().SetSize(15);
      memo->Font().SetName(QStringLiteral("楷体-Velmora"));
      memo->SetHAlign(TovxHAlign::haCenter);
      memo->SetVAlign(TovxVAlign::vaCenter);
      memo->SetText(text.mid(cell % text.size(), 1));
    }
  }
}

QByteArray Save(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.TakeData();
}

void BM_CreateReport(benchmark::State& state) {
  for (auto _ : state) {
    TovxReport report;
    Build(report);
    benchmark::DoNotOptimize(report.Objects().size());
  }
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_CreateReport)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveTemplate(benchmark::State& state) {
  TovxReport report;
  Build(report);
  qint64 bytes = 0;
  for (auto _ : state) bytes = Save(report).size();
  state.counters["template_MB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_SaveTemplate)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadTemplate(benchmark::State& state) {
  QByteArray saved;
  {
    TovxReport report;
    Build(report);
    saved = Save(report);
  }
  for (auto _ : state) {
    TovxReport report;
    ovx::MemoryStream stream(saved);
    if (!report.LoadFromStream(stream)) state.SkipWithError("the template did not load cleanly");
  }
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
