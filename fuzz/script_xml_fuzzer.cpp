// Fuzz target for the scripting engine's compact XML reader (grammars and
// syntax trees). Malformed input must end in "Invalid file format"; what
// was read must be written in a form that reads back to the same bytes,
// and its attributes must survive a write through SetProp. Whatever reads
// as a document is also tried as a grammar.
#include "base/error.h"
#include "base/stream.h"
#include "script/grammar.h"
#include "script/parser.h"
#include "script/xml.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "script_xml_fuzzer: check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  TksXMLDocument document;
  try {
    ovx::MemoryStream stream(input);
    document.LoadFromStream(stream);
  } catch (const ovx::Error&) {
    Check(document.Root()->Count() == 0 && document.Root()->Name().isEmpty(),
          "a failed load leaves an empty document");
    return 0;
  }
  for (bool indent : {false, true}) {
    document.SetAutoIndent(indent);
    const QString written = document.SaveToString();
    TksXMLDocument again;
    again.LoadFromString(written);
    again.SetAutoIndent(indent);
    Check(again.SaveToString() == written, "written tree reads back the same");
  }
  std::vector<const TksXMLItem*> work{document.Root()};
  while (!work.empty()) {
    const TksXMLItem* item = work.back();
    work.pop_back();
    for (const char* name : {"text", "pos", "node"}) {
      const QString value = item->Prop(QString::fromLatin1(name));
      TksXMLItem copy;
      copy.SetText(item->Text());
      copy.SetProp(QString::fromLatin1(name), value + u'&');
      Check(copy.Prop(QString::fromLatin1(name)) == value + u'&', "SetProp then Prop");
    }
    for (int i = 0; i < item->Count(); ++i) work.push_back(item->Items(i));
  }
  try {
    auto grammar = ovx::CompileGrammar(QStringLiteral("Fuzz"), QString::fromUtf8(input),
                                       ovx::TrailingText::kError);
    TksParser parser;
    grammar->Configure(parser);
    parser.SetText(QString::fromUtf8(input.left(256)));
    for (int i = 0; i < 64 && parser.Position() <= parser.Size(); ++i) {
      const int before = parser.Position();
      parser.GetString();
      parser.GetNumber();
      parser.GetWord();
      parser.GetEOL();
      parser.GetChar();
      if (parser.Position() == before) parser.SetPosition(before + 1);
    }
  } catch (const ovx::Error&) {
  }
  return 0;
}
