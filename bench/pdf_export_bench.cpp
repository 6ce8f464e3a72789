// PDF export of the typesetting application's report: the built-in text
// (the cover and 38 body pages) and a text long enough for the 501-page
// limit, both with the background pictures, exported with the window's
// filter settings into memory.
//
// Counters: the file size, the bytes the document shares between pages
// (font programs and objects, images) and the bytes each page costs beyond
// them (content stream, page object, its cross-reference entry). Peak
// memory is the process's maximum resident set size; run one benchmark per
// process (--benchmark_filter) to read it for that case alone.
#include "base/stream.h"
#include "bench/app_run.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

// The stored length of every stream whose dictionary contains `marker`.
qint64 StreamBytes(const QByteArray& pdf, QByteArrayView marker) {
  qint64 total = 0;
  qsizetype at = 0;
  while ((at = pdf.indexOf(marker, at)) >= 0) {
    const qsizetype length = pdf.indexOf("/Length ", at);
    const qsizetype stream = pdf.indexOf("stream\r\n", at);
    if (length < 0 || stream < 0) break;
    if (length < stream) total += pdf.mid(length + 8, 12).split('/').first().toLongLong();
    at = stream;
  }
  return total;
}

void Export(benchmark::State& state, int repeat) {
  const ovx::app::PrintSettings settings = ovx::bench::RepeatedTextSettings(repeat);
  TovxReport report;
  ovx::app::Typesetter typesetter;
  ovx::app::BuildReport(report, settings, typesetter);
  report.EngineOptions().SetEnableThreadSafe(true);
  if (!report.PrepareReport()) state.SkipWithError("preparation failed");
  TovxPreviewPages& pages = *ovx::PreparedPages(report);

  TovxPDFExport filter(nullptr, false);
  filter.SetShowDialog(false);
  filter.SetEmbeddedFonts(true);
  filter.SetBackground(true);
  filter.SetTitle(QStringLiteral("Velmora"));
  filter.SetAuthor(QStringLiteral("Ilmar"));
  filter.SetSubject(QStringLiteral("Velmora"));
  filter.SetHideToolbar(true);
  QByteArray pdf;
  for (auto _ : state) {
    ovx::MemoryStream out;
    filter.SetStream(&out);
    if (!pages.Export(filter)) state.SkipWithError("export failed");
    pdf = out.TakeData();
  }
  // The images, and the fonts (programs, dictionaries, widths, ToUnicode
  // maps): everything after the last page object up to the page tree.
  const qint64 shared = StreamBytes(pdf, "/Subtype /Image") +
                        (pdf.indexOf("/Type /Pages") - pdf.lastIndexOf("/Type /Page\r\n"));
  state.counters["pages"] = pages.Count();
  state.counters["file_KB"] = pdf.size() / 1024.0;
  state.counters["shared_KB"] = shared / 1024.0;
  state.counters["page_KB"] = (pdf.size() - shared) / 1024.0 / pages.Count();
  state.counters["peak_MB"] = ovx::bench::PeakMegabytes();
}

void BM_PdfBuiltInText(benchmark::State& state) { Export(state, 1); }
BENCHMARK(BM_PdfBuiltInText)->Unit(benchmark::kMillisecond);

// Sixteen copies of the text run past 501 pages of 180 cells.
void BM_PdfFiveHundredOnePages(benchmark::State& state) { Export(state, 16); }
BENCHMARK(BM_PdfFiveHundredOnePages)->Unit(benchmark::kMillisecond);

// Every metafile of the fuzz corpus as a picture view, on each of 100
// pages, written as vectors (argument 1) or drawn into images (0).
void BM_ExportVectorViews(benchmark::State& state) {
  const bool vectors = state.range(0) != 0;
  ovx::InstallEngine();
  ovx::InstallExport();
  const QDir seeds(QStringLiteral(VELMORA_EMF_SEEDS));
  std::vector<QByteArray> metafiles;
  for (const QString& name : seeds.entryList({QStringLiteral("*.emf")}, QDir::Files)) {
    QFile file(seeds.filePath(name));
    TovxPicture picture;
    // Seeds whose header the picture refuses are not pictures a view holds.
    if (file.open(QIODevice::ReadOnly) && picture.LoadFromData(file.readAll())) {
      metafiles.push_back(picture.Data());
    }
  }
  TovxReport report;
  report.EngineOptions().SetEnableThreadSafe(true);
  for (int p = 0; p < 100; ++p) {
    auto* page = new TovxReportPage(&report);
    page->SetName(QStringLiteral("Page%1").arg(p + 1));
    for (size_t i = 0; i < metafiles.size(); ++i) {
      auto* view = new TovxPictureView(page);
      view->SetName(QStringLiteral("Picture%1_%2").arg(p).arg(i));
      view->SetBounds(20 + 180.0 * (i % 4), 20 + 150.0 * (i / 4), 160, 120);
      view->SetAllowVectorExport(vectors);
      (void)view->Picture().LoadFromData(metafiles[i]);
    }
  }
  if (!report.PrepareReport()) state.SkipWithError("preparation failed");
  TovxPreviewPages& pages = *ovx::PreparedPages(report);
  TovxPDFExport filter(nullptr, false);
  filter.SetShowDialog(false);
  filter.SetEmbeddedFonts(true);
  QByteArray pdf;
  for (auto _ : state) {
    ovx::MemoryStream out;
    filter.SetStream(&out);
    if (!pages.Export(filter)) state.SkipWithError("export failed");
    pdf = out.TakeData();
  }
  state.counters["pages"] = pages.Count();
  state.counters["views"] = double(metafiles.size()) * pages.Count();
  state.counters["file_KB"] = pdf.size() / 1024.0;
  state.counters["peak_MB"] = ovx::bench::PeakMegabytes();
}
BENCHMARK(BM_ExportVectorViews)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
