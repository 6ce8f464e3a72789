// Fuzz target for loading report templates.
//
// Whatever the bytes, loading must end without a crash, and what the report
// holds afterwards must save and load again to the same bytes (nothing the
// library writes may be unreadable to it).
#include "base/stream.h"
#include "report/model/report.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray Save(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "template_fuzzer";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);

  TovxReport report;
  ovx::MemoryStream input(
      QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  (void)report.LoadFromStream(input);

  const QByteArray first = Save(report);
  TovxReport again;
  ovx::MemoryStream saved(first);
  (void)again.LoadFromStream(saved);
  if (Save(again) != first) std::abort();
  return 0;
}
