// Parsing scripts into syntax trees: the first half of every compilation.
//
// A generated PascalScript of N statements (assignments with arithmetic,
// calls, if/else, loops) inside a few routines; the counter "lines/s" is
// source lines parsed per second, the figure to compare with the size of
// report scripts. The second case parses the same program as BasicScript,
// whose line ends are tokens.
//   script_bench --benchmark_filter=Compile
#include "base/stream.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <benchmark/benchmark.h>

namespace {

QStringList PascalProgram(int statements) {
  QStringList lines{QStringLiteral("var i, n, total: Integer;"),
                    QStringLiteral("    s: String;"),
                    QStringLiteral("function Twice(x: Integer): Integer;"),
                    QStringLiteral("begin"),
                    QStringLiteral("  Result := x * 2"),
                    QStringLiteral("end;"),
                    QStringLiteral("begin")};
  for (int i = 0; i < statements; ++i) {
    switch (i % 5) {
      case 0:
        lines << QStringLiteral("  total := total + Twice(%1) * (n - 3) div 2;").arg(i);
        break;
      case 1:
        lines << QStringLiteral(
                     "  if total > %1 then s := 'big ' + IntToStr(total) else n := n + 1;")
                     .arg(i);
        break;
      case 2:
        lines << QStringLiteral("  for i := 1 to 10 do n := n + i;");
        break;
      case 3:
        lines << QStringLiteral("  while n > %1 do n := n - 1;").arg(i);
        break;
      default:
        lines << QStringLiteral("  s := s + <Date> + Format('%d', [n]);");
        break;
    }
  }
  lines << QStringLiteral("  n := 0") << QStringLiteral("end.");
  return lines;
}

QStringList BasicProgram(int statements) {
  QStringList lines{QStringLiteral("Dim i, n, total, s")};
  for (int i = 0; i < statements; ++i) {
    switch (i % 4) {
      case 0:
        lines << QStringLiteral("total = total + Twice(%1) * (n - 3) \\ 2").arg(i);
        break;
      case 1:
        lines << QStringLiteral("If total > %1 Then s = \"big \" & total").arg(i);
        break;
      case 2:
        lines << QStringLiteral("For i = 1 To 10") << QStringLiteral("  n = n + i")
              << QStringLiteral("Next");
        break;
      default:
        lines << QStringLiteral("s = s & <Date>");
        break;
    }
  }
  return lines;
}

void Compile(benchmark::State& state, const QString& language, const QStringList& lines) {
  ovx::RegisterScriptLanguages();
  TksScript script;
  script.SetSyntaxType(language);
  script.SetLines(lines);
  for (auto _ : state) {
    ovx::MemoryStream out;
    if (!script.GetILCode(out)) {
      state.SkipWithError(script.ErrorMsg().toUtf8().constData());
      break;
    }
    benchmark::DoNotOptimize(out.Data().size());
  }
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(lines.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void BM_CompilePascal(benchmark::State& state) {
  Compile(state, QStringLiteral("PascalScript"), PascalProgram(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_CompilePascal)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CompileBasic(benchmark::State& state) {
  Compile(state, QStringLiteral("BasicScript"), BasicProgram(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_CompileBasic)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

// Running: a counting loop, the cost of one statement with an assignment
// and an addition per pass.
//   script_bench --benchmark_filter=Loop
void BM_Loop(benchmark::State& state) {
  ovx::RegisterScriptLanguages();
  TksScript script;
  script.SetText(QStringLiteral(
      "var i: Integer; x: Int64;\nbegin\n  for i := 1 to 1000000 do x := x + i\nend."));
  if (!script.Compile()) state.SkipWithError("compile failed");
  for (auto _ : state) {
    if (!script.Execute()) state.SkipWithError("run failed");
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_Loop)->Unit(benchmark::kMillisecond);

// One compiled expression evaluated again and again, the per-record path
// of data bands: `a * 2 + b - c div 3` a million times.
//   script_bench --benchmark_filter=Expr
void BM_Expr(benchmark::State& state) {
  ovx::RegisterScriptLanguages();
  TksScript script;
  script.SetText(
      QStringLiteral("var a, b, c, r, k: Integer;\nbegin\n  a := 5; b := 7; c := 11;\n"
                     "  for k := 1 to 1000000 do r := a * 2 + b - c div 3\nend."));
  if (!script.Compile()) state.SkipWithError("compile failed");
  for (auto _ : state) {
    if (!script.Execute()) state.SkipWithError("run failed");
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_Expr)->Unit(benchmark::kMillisecond);
