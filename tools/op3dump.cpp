// op3dump: shows what a prepared report (".op3") holds, page by page: the
// stored items with their attributes (only differences from the source
// objects, or whole objects) and the objects as rebuilt from them; with
// --png, draws one page to a PNG image instead.
//
//   op3dump FILE [--first N] [--last N]
//   op3dump FILE --png PAGE OUT.png [--scale S]
#include "base/error.h"
#include "engine/engine.h"
#include "engine/prepared_dump.h"
#include "engine/preview_pages.h"
#include "render/painter_canvas.h"
#include "report/model/report.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int Usage() {
  std::fputs(
      "usage: op3dump FILE [--first N] [--last N]\n"
      "       op3dump FILE --png PAGE OUT.png [--scale S]\n",
      stderr);
  return 2;
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty() || args[0].startsWith(u"--")) return Usage();
  int first = 0, last = -1, png_page = -1;
  double scale = 1;
  QString png_file;
  for (qsizetype i = 1; i < args.size(); ++i) {
    bool ok = true;
    if (args[i] == u"--first" && i + 1 < args.size()) {
      first = args[++i].toInt(&ok);
    } else if (args[i] == u"--last" && i + 1 < args.size()) {
      last = args[++i].toInt(&ok);
    } else if (args[i] == u"--png" && i + 2 < args.size()) {
      png_page = args[++i].toInt(&ok);
      png_file = args[++i];
    } else if (args[i] == u"--scale" && i + 1 < args.size()) {
      scale = args[++i].toDouble(&ok);
      ok = ok && scale > 0 && scale <= 16;
    } else {
      return Usage();
    }
    if (!ok) return Usage();
  }
  TovxReport report;
  TovxPreviewPages pages(&report);
  try {
    if (!pages.LoadFromFile(args[0])) {
      std::fprintf(stderr, "op3dump: %s: no such file\n", qPrintable(args[0]));
      return 1;
    }
  } catch (const ovx::Error& e) {
    std::fprintf(stderr, "op3dump: %s: %s\n", qPrintable(args[0]), e.what());
    return 1;
  }
  for (const QString& line : pages.LoadErrors()) {
    std::fprintf(stderr, "op3dump: %s\n", qPrintable(line));
  }
  if (png_page >= 0) {
    const QSize size = pages.GetPageSize(png_page);
    if (size.isEmpty()) {
      std::fprintf(stderr, "op3dump: no page %d\n", png_page);
      return 1;
    }
    auto canvas = ovx::PainterCanvas::ForImage(qRound(size.width() * scale),
                                               qRound(size.height() * scale), qRound(96 * scale));
    pages.DrawPage(png_page, *canvas, scale, scale, 0, 0);
    canvas->End();
    ovx::tools::WritePng(*canvas->Image(), png_file);
    return 0;
  }
  const QByteArray dump = ovx::DumpPreparedPages(pages, first, last);
  std::fwrite(dump.constData(), 1, static_cast<size_t>(dump.size()), stdout);
  return pages.LoadErrors().isEmpty() ? 0 : 1;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("op3dump", [&] { return Main(argc, argv); });
}
