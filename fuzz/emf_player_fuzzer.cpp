// Fuzz target for the metafile player and its canvas replay.
//
// Whatever the bytes, playing ends at the end record, at the end of the
// input, at a damaged record or with an error, and never crashes. Beyond
// that it traps when the player breaks what callers rely on:
// - the records it keeps are copies of the input, never more bytes;
// - the canvas replay (stretched over an image, and at the metafile's own
//   pixels) leaves the canvas's clip, font, pen and brush as it found
//   them, however the metafile saves, restores and clips;
// - playing twice draws the same.
#include "base/error.h"
#include "base/stream.h"
#include "render/emf_canvas_player.h"
#include "render/emf_player.h"
#include "render/painter_canvas.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "emf_player_fuzzer: check failed: %s\n", what);
  std::abort();
}

QImage Play(const QByteArray& bytes, const QRectF& dest) {
  auto canvas = ovx::PainterCanvas::ForImage(64, 48);
  canvas->IntersectClipRect({2, 2, 62, 46});
  canvas->Pen().color = clRed;
  canvas->Font().name = QStringLiteral("Arial");
  const std::optional<QRegion> clip = canvas->ClipRegion();
  const ovx::CanvasFont font = canvas->Font();
  const ovx::CanvasPen pen = canvas->Pen();
  const ovx::CanvasBrush brush = canvas->Brush();
  (void)ovx::PlayMetafile(bytes, *canvas, dest);
  Check(canvas->ClipRegion() == clip, "the canvas clip is restored");
  Check(canvas->Font() == font && canvas->Pen() == pen && canvas->Brush() == brush,
        "the canvas font, pen and brush are restored");
  canvas->End();
  return *canvas->Image();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "emf_player_fuzzer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  ovx::MemoryStream input(bytes);
  TEMFAbstractExport player(input, nullptr);
  player.SetDiagnostics(true);
  try {
    player.Play();
  } catch (const ovx::Error&) {
  }
  size_t kept = 0;
  for (const auto& record : player.Records()) {
    Check(record->Bytes().size() == static_cast<qsizetype>(record->Size()),
          "records keep nSize bytes");
    kept += static_cast<size_t>(record->Bytes().size());
  }
  Check(kept <= size, "no more bytes kept than given");

  const QImage stretched = Play(bytes, QRectF(0, 0, 64, 48));
  Check(Play(bytes, QRectF(0, 0, 64, 48)) == stretched, "playing twice draws the same");
  (void)Play(bytes, QRectF());
  return 0;
}
