// The print command's cost: building the report for the built-in text, and
// for a text long enough to reach the 501-page limit (about 90,000 cells),
// with the background pictures on every page.
//
// Peak memory is the process's maximum resident set size; run one benchmark
// per process (--benchmark_filter) to read it for that case alone.
#include "bench/app_run.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

namespace {

void Run(benchmark::State& state, int repeat) {
  const ovx::app::PrintSettings settings = ovx::bench::RepeatedTextSettings(repeat);
  ovx::app::BuildResult result;
  for (auto _ : state) {
    TovxReport report;
    ovx::app::Typesetter typesetter;
    result = ovx::app::BuildReport(report, settings, typesetter);
    benchmark::DoNotOptimize(report.Objects().size());
  }
  state.counters["body_pages"] = result.body_pages;
  state.counters["cells"] = result.cells;
  state.counters["peak_MB"] = ovx::bench::PeakMegabytes();
}

void BM_BuiltInText(benchmark::State& state) { Run(state, 1); }
BENCHMARK(BM_BuiltInText)->Unit(benchmark::kMillisecond);

// Sixteen copies of the text run past 501 pages of 180 cells.
void BM_FiveHundredOnePages(benchmark::State& state) { Run(state, 16); }
BENCHMARK(BM_FiveHundredOnePages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
