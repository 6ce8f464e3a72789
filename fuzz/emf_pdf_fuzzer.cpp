// Fuzz target for metafiles written as PDF vector content.
//
// Whatever the bytes, playing them into a page ends (at the end record, the
// end of the input, a damaged record or an error) without a crash, and the
// content stream it leaves keeps what the page around it relies on:
// - every "q" is closed by a "Q", and no "Q" pops a state the metafile did
//   not open (the running depth never drops below zero);
// - every number is a plain decimal (no "nan", "inf" or exponent);
// - every line ends with CR LF (a comment never ends early);
// and the document still finishes.
#include "base/error.h"
#include "base/stream.h"
#include "export/emf_to_pdf.h"
#include "export/pdf_writer.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "emf_pdf_fuzzer: check failed: %s\n", what);
  std::abort();
}

void CheckBalanced(const QByteArray& content) {
  int depth = 0;
  for (qsizetype start = 0; start < content.size();) {
    qsizetype end = content.indexOf('\n', start);
    Check(end > start && content[end - 1] == '\r', "every line ends with CR LF");
    const QByteArray line = content.mid(start, end - 1 - start);
    Check(!line.contains('\r'), "no CR inside a line");
    start = end + 1;
    if (line.startsWith('%')) continue;
    if (line == "q") ++depth;
    if (line == "Q") --depth;
    Check(depth >= 0, "no Q without its q");
    const QByteArray lower = line.toLower();
    Check(!lower.contains("nan") && !lower.contains("inf") && !lower.contains("e+") &&
              !lower.contains("e-"),
          "numbers are plain decimals");
  }
  Check(depth == 0, "every q is closed");
}

void PlayOnce(const QByteArray& bytes, bool variant) {
  ovx::MemoryStream out;
  ovx::PdfDocumentOptions options;
  options.compressed = false;
  options.fixed_id = ovx::PdfFixedId();
  options.fixed_time = ovx::PdfFixedTime();
  ovx::PdfDocument document(out, options);
  document.Begin();
  document.BeginPage(300, 200, 0);
  ovx::MemoryStream input(bytes);
  TEMFtoPDFExport player(input, document, ovx::PdfRect{10, 190, 290, 10});
  if (variant) {
    player.SetDiagnostics(true);
    player.SetTransparency(true);
    player.SetBarcode(true);
  } else {
    player.SetShape(true);
  }
  try {
    player.Export();
  } catch (const ovx::Error&) {
  }
  CheckBalanced(document.Content());
  Check(player.SaveDepth() == 0, "the player holds no open level");
  document.EndPage();
  try {
    document.Finish();
  } catch (const ovx::Error&) {
    // A font that cannot be subset fails the document with its message.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "emf_pdf_fuzzer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  PlayOnce(bytes, false);
  PlayOnce(bytes, true);
  return 0;
}
