// Evaluations of one cached report expression: what every record of a data
// band pays for each bracket of its memos once the text is compiled. The
// counter items_per_second is the figure to quote.
#include "engine/engine.h"
#include "engine/report_script.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

namespace {

void BM_CachedExpression(benchmark::State& state) {
  ovx::InstallScripting();
  TovxReport report;
  ovx::ReportScript& script = *ovx::ReportScripting(report);
  if (!script.PrepareScript()) {
    state.SkipWithError("the script did not compile");
    return;
  }
  script.MemoValue(21);
  const QString expression = QStringLiteral("Value * 2");
  constexpr int kEvaluations = 100000;
  for (auto _ : state) {
    for (int i = 0; i < kEvaluations; ++i) {
      benchmark::DoNotOptimize(script.Calc(expression, nullptr));
    }
  }
  state.SetItemsProcessed(state.iterations() * kEvaluations);
  state.counters["compilations"] = script.Cache().Compilations();
}
BENCHMARK(BM_CachedExpression)->Unit(benchmark::kMillisecond);

}  // namespace
