// Naming and finding report objects at scale.
//
// A typeset report holds one memo per character, so a few hundred pages mean
// a hundred thousand named objects. Creating them with their names and
// finding each again by name must stay close to n log n.
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"

#include <benchmark/benchmark.h>

namespace {

void BM_NameAndFindComponents(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  QStringList names;
  names.reserve(count);
  for (int i = 0; i < count; ++i) names << QStringLiteral("Memo%1").arg(i + 1);
  for (auto _ : state) {
    TovxReport report;
    auto* page = new TovxPage(&report);
    page->SetName(QStringLiteral("Page1"));
    for (int i = 0; i < count; ++i) {
      auto* view = new TovxView(page);
      view->SetName(names[i]);
    }
    for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(report.FindObject(names[i]));
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_NameAndFindComponents)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

void BM_GeneratedNames(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TovxReport report;
    auto* page = new TovxPage(&report);
    for (int i = 0; i < count; ++i) (new TovxView(page))->CreateUniqueName();
  }
  state.SetComplexityN(count);
}
BENCHMARK(BM_GeneratedNames)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace
