// Loading templates made to hurt: n styles, variables, memos or highlights
// that all carry one name. Every repeated name is renamed and reported, and
// the time must grow linearly with n (the fitted complexity is printed as
// "BigO"; RMS near 0 % means the fit holds).
#include "base/stream.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray Template(const QByteArray& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TovxReport>" + body + "</TovxReport>";
}

QByteArray Repeated(const QByteArray& element, qint64 n) {
  QByteArray out;
  out.reserve(element.size() * n);
  for (qint64 i = 0; i < n; ++i) out += element;
  return out;
}

void Load(benchmark::State& state, const QByteArray& bytes) {
  for (auto _ : state) {
    TovxReport report;
    ovx::MemoryStream stream(bytes);
    (void)report.LoadFromStream(stream);
    benchmark::DoNotOptimize(report.Errors().size());
  }
  state.SetComplexityN(state.range(0));
}

void BM_StylesOfOneName(benchmark::State& state) {
  Load(state,
       Template("<Styles>" + Repeated(R"(<item Name="Title"/>)", state.range(0)) + "</Styles>"));
}

void BM_StylesWithoutNames(benchmark::State& state) {
  Load(state, Template("<Styles>" + Repeated("<item/>", state.range(0)) + "</Styles>"));
}

void BM_VariablesOfOneName(benchmark::State& state) {
  Load(state,
       Template("<Variables>" + Repeated(R"(<item Name="Total" Value="1"/>)", state.range(0)) +
                "</Variables>"));
}

void BM_MemosOfOneName(benchmark::State& state) {
  Load(state, Template(R"(<TovxReportPage Name="Page1">)" +
                       Repeated(R"(<TovxMemoView Name="Memo1" Text="a"/>)", state.range(0)) +
                       "</TovxReportPage>"));
}

void BM_HighlightsOfOneMemo(benchmark::State& state) {
  Load(state, Template(R"(<TovxReportPage Name="Page1"><TovxMemoView Name="Memo1"><Highlights>)" +
                       Repeated(R"(<item Condition="1"/>)", state.range(0)) +
                       "</Highlights></TovxMemoView></TovxReportPage>"));
}

#define VELMORA_HOSTILE_BENCH(name)   \
  BENCHMARK(name)                     \
      ->RangeMultiplier(10)           \
      ->Range(1'000, 100'000)         \
      ->Unit(benchmark::kMillisecond) \
      ->Complexity(benchmark::oN)

VELMORA_HOSTILE_BENCH(BM_StylesOfOneName);
VELMORA_HOSTILE_BENCH(BM_StylesWithoutNames);
VELMORA_HOSTILE_BENCH(BM_VariablesOfOneName);
VELMORA_HOSTILE_BENCH(BM_MemosOfOneName);
VELMORA_HOSTILE_BENCH(BM_HighlightsOfOneMemo);

}  // namespace
