// Fuzz target for the script parser: the first byte picks the dialect, the
// rest is the source (UTF-8). Units are answered from the same input, so
// include clauses and the language directive are reached too.
//
// Beyond "no crash", a tree the parser built must be written and read back
// by the compact XML to the same text. What compiles also runs, stopped
// after 10,000 statements.
#include "base/stream.h"
#include "script/script.h"
#include "script/script_languages.h"
#include "script/xml.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "script_compile_fuzzer: check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (ovx::RegisterScriptLanguages(), true);
  (void)registered;
  if (size == 0) return 0;
  static const char* const kDialects[] = {"PascalScript", "C++Script", "BasicScript", "JScript"};
  const QString source =
      QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
  TksScript script;
  script.SetSyntaxType(QString::fromLatin1(kDialects[data[0] % 4]));
  script.SetExtendedCharset(data[0] & 4);
  script.SetText(source);
  script.SetOnGetUnit([&](TksScript&, const QString& unit, QString& text) {
    // Every unit is the script itself; the uses list stops the cycle.
    if (unit.size() % 2 == 0) text = source;
  });
  ovx::MemoryStream out;
  if (!script.GetILCode(out)) {
    Check(!script.ErrorMsg().isEmpty(), "a failure has a message");
    Check(out.Size() == 0, "a failure writes nothing");
    return 0;
  }
  TksXMLDocument tree;
  tree.SetAutoIndent(true);
  ovx::MemoryStream in(out.Data());
  tree.LoadFromStream(in);
  Check(tree.SaveToString().toUtf8() == out.Data(), "the tree reads back the same");
  if (script.Compile()) {
    int lines = 0;
    script.SetOnRunLine([&](const QString&) {
      if (++lines >= 10000) script.Terminate();
    });
    if (!script.Execute()) Check(!script.ErrorMsg().isEmpty(), "a failed run has a message");
  } else {
    Check(!script.ErrorMsg().isEmpty(), "a failed compile has a message");
  }
  return 0;
}
