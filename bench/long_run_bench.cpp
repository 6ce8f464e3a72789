// The whole long run of the typesetting application, as the command line
// does it: build the report of a long text, prepare it and export it as a
// PDF (or save the prepared pages), every iteration from scratch. The
// built-in text seven times gives about 270 body pages; sixteen times
// reaches the 501-page limit.
//
// Counters: pages per second of the whole run, the output's size per page
// and the process's peak resident set size (run one benchmark per process,
// with --benchmark_filter, to read it for that case alone).
#include "base/stream.h"
#include "bench/app_run.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

namespace {

enum class Output { kPdf, kOp3 };

void LongRun(benchmark::State& state, int repeat, Output output) {
  const ovx::app::PrintSettings settings = ovx::bench::RepeatedTextSettings(repeat);

  int page_count = 0;
  qint64 bytes = 0;
  for (auto _ : state) {
    TovxReport report;
    ovx::app::Typesetter typesetter;
    ovx::app::BuildReport(report, settings, typesetter);
    report.EngineOptions().SetEnableThreadSafe(true);
    if (!report.PrepareReport()) state.SkipWithError("preparation failed");
    TovxPreviewPages& pages = *ovx::PreparedPages(report);
    page_count = pages.Count();
    ovx::MemoryStream out;
    if (output == Output::kPdf) {
      TovxPDFExport filter(nullptr, false);
      filter.SetShowDialog(false);
      filter.SetEmbeddedFonts(true);
      filter.SetBackground(true);
      filter.SetStream(&out);
      if (!pages.Export(filter)) state.SkipWithError("export failed");
    } else {
      pages.SaveToStream(out);
    }
    bytes = out.Data().size();
  }
  state.counters["pages"] = page_count;
  state.counters["pages_per_s"] =
      benchmark::Counter(page_count, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["KB_per_page"] = bytes / 1024.0 / std::max(page_count, 1);
  state.counters["peak_MB"] = ovx::bench::PeakMegabytes();
}

void BM_LongRunPdf270Pages(benchmark::State& state) { LongRun(state, 7, Output::kPdf); }
BENCHMARK(BM_LongRunPdf270Pages)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LongRunPdf501Pages(benchmark::State& state) { LongRun(state, 16, Output::kPdf); }
BENCHMARK(BM_LongRunPdf501Pages)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_LongRunOp3270Pages(benchmark::State& state) { LongRun(state, 7, Output::kOp3); }
BENCHMARK(BM_LongRunOp3270Pages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
