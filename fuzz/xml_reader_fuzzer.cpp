// Fuzz target for the XML document reader.
//
// Beyond "no crash", it checks the properties the library relies on, and
// traps when one fails:
// - a tree the reader built is written in a form that reads back to the same
//   tree (writing it again gives the same bytes);
// - partial loading, loading each swapped-out item, unloading every
//   unloadable item and writing give the same bytes as a full load;
// - the caller's stream is never written.
// Failures of the input itself (TovxInvalidXMLException) are expected.
#include "base/stream.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_document.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "xml_reader_fuzzer: check failed: %s\n", what);
  std::abort();
}

void ForEachItem(TovxXMLItem* item, const std::function<void(TovxXMLItem*)>& visit) {
  visit(item);
  for (int i = 0; i < item->Count(); ++i) ForEachItem(item->Items(i), visit);
}

QByteArray Save(TovxXMLDocument& document) {
  ovx::MemoryStream out;
  document.SaveToStream(out);
  return out.TakeData();
}

void ReadEveryProp(TovxXMLItem* item) {
  ovx::XmlAttributeScanner scanner(item->Text());
  ovx::XmlAttributeSpan span;
  while (scanner.Next(span)) {
    const QByteArray value = item->Prop(span.name);
    if (span.has_value) {
      // The first attribute of a name is the one Prop answers; writing it
      // back unchanged must keep it.
      TovxXMLItem copy;
      copy.SetText(item->Text());
      copy.SetProp(span.name, value);
      Check(copy.Prop(span.name) == value, "SetProp then Prop");
    }
  }
  (void)item->Prop("Name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  TovxXMLDocument full;
  bool whole = true;
  {
    ovx::MemoryStream stream(input);
    try {
      full.LoadFromStream(stream);
    } catch (const TovxInvalidXMLException&) {
      whole = false;
    }
  }
  ForEachItem(full.Root(), ReadEveryProp);
  // Whatever was read, complete or not, must be written in a stable form.
  // (A document cut before its root has a root without a name, which no
  // writer can express; skip it.)
  if (full.Root()->Name().isEmpty()) return 0;
  const QByteArray written = Save(full);
  {
    TovxXMLDocument again;
    ovx::MemoryStream stream(written);
    again.LoadFromStream(stream);
    Check(Save(again) == written, "written tree reads back the same");
  }
  if (!whole) return 0;

  // Partial loading must give the same document, and never write the source.
  ovx::MemoryStream source(input);
  TovxXMLDocument partial;
  partial.LoadFromStream(source, true);
  Check(Save(partial) == written, "partial load saves like a full load");
  int unloadable = 0;
  ForEachItem(partial.Root(), [&](TovxXMLItem* item) {
    if (!item->Unloadable()) return;
    ++unloadable;
    partial.LoadItem(item);
  });
  Check(Save(partial) == written, "loading every item saves the same");
  if (unloadable > 0) {
    // Unload the deepest items first, so that outer items are written while
    // inner ones are swapped out.
    std::vector<TovxXMLItem*> items;
    ForEachItem(partial.Root(), [&](TovxXMLItem* item) {
      if (item->Unloadable()) items.push_back(item);
    });
    for (auto it = items.rbegin(); it != items.rend(); ++it) partial.UnloadItem(*it);
    Check(Save(partial) == written, "unloading every item saves the same");
  }
  Check(source.Data() == input, "source stream unchanged");
  return 0;
}
