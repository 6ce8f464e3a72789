// Drawing one body page of the typesetting application: 180 memo views of
// one Chinese character each (15 lines of 12 cells of 29.92 units, 15-point
// type, centred both ways), laid out and drawn on a page image at screen
// and at print resolution. The layout of each cell is done afresh on every
// draw, as the preview and the exports do.
#include "render/painter_canvas.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double kCell = 29.92;

void FillBodyPage(TovxReportPage& page) {
  const QString text =
      QStringLiteral("天地玄黃宇宙洪荒日月盈昃辰宿列張寒來暑往秋收冬藏閏餘成歲律呂調陽");
  page.SetPaperWidth(148.5);
  page.SetPaperHeight(105);
  for (int i = 0; i < 180; ++i) {
    auto* memo = new TovxMemoView();
    memo->SetParent(&page);
    memo->SetName(QStringLiteral("F%1").arg(i));
    memo->SetBounds(466.77 - (i / 12 + 1) * kCell, (i % 12) * kCell, kCell, kCell);
    memo->Font().SetSize(15);
    memo->Font().SetName(QStringLiteral("楷体"));
    memo->SetHAlign(TovxHAlign::haCenter);
    memo->SetVAlign(TovxVAlign::vaCenter);
    memo->SetText(text.mid(i % text.size(), 1));
  }
}

void BM_DrawBodyPage(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  FillBodyPage(*page);
  const double scale = dpi / 96.0;
  const int width = static_cast<int>(148.5 / 25.4 * dpi);
  const int height = static_cast<int>(105 / 25.4 * dpi);
  auto canvas = ovx::PainterCanvas::ForImage(width, height, dpi);
  for (auto _ : state) {
    for (TovxComponent* child : page->Objects()) {
      if (auto* view = dynamic_cast<TovxView*>(child)) view->Draw(*canvas, scale, scale, 0, 0);
    }
  }
  canvas->End();
  state.SetLabel("one page of 180 cells");
}
BENCHMARK(BM_DrawBodyPage)->Arg(96)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace
