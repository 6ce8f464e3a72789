// Fuzz target for loading prepared reports (".op3").
//
// Whatever the bytes, loading ends with the store loaded or an error and no
// crash; every page of what loaded rebuilds, measures and draws, and the
// store saves to a file that loads again.
#include "base/error.h"
#include "base/stream.h"
#include "engine/preview_pages.h"
#include "render/painter_canvas.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "op3_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);

  TovxReport report;
  TovxPreviewPages pages(&report);
  ovx::MemoryStream input(
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  try {
    pages.LoadFromStream(input);
  } catch (const ovx::Error&) {
    return 0;
  }
  static auto canvas = ovx::PainterCanvas::ForImage(64, 48);
  for (int i = 0; i < pages.Count() && i < 8; ++i) {
    (void)pages.GetPageSize(i);
    pages.DrawPage(i, *canvas, 0.1, 0.1, 0, 0);
  }
  ovx::MemoryStream saved;
  pages.SaveToStream(saved);
  TovxPreviewPages again(&report);
  ovx::MemoryStream reread(saved.Data());
  try {
    again.LoadFromStream(reread);
  } catch (const ovx::Error&) {
    std::abort();  // what the store writes must load
  }
  if (again.Count() != pages.Count()) std::abort();
  return 0;
}
