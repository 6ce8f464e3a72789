#include "xml_test_util.h"

namespace ovx::test {

QByteArray Dump(const TovxXMLItem* item) {
  QByteArray out = item->Name();
  if (item->Unloadable()) out += '*';
  if (!item->Loaded()) out += '~';
  if (!item->Text().isEmpty()) out += '[' + item->Text() + ']';
  if (item->Count() > 0) {
    out += '(';
    for (int i = 0; i < item->Count(); ++i) {
      if (i > 0) out += ',';
      out += Dump(item->Items(i));
    }
    out += ')';
  }
  return out;
}

QByteArray SaveToBytes(TovxXMLDocument& document, bool auto_indent) {
  MemoryStream stream;
  document.SetAutoIndent(auto_indent);
  document.SaveToStream(stream);
  return stream.TakeData();
}

QString LoadBytes(TovxXMLDocument& document, const QByteArray& bytes) {
  MemoryStream stream(bytes);
  try {
    document.LoadFromStream(stream);
  } catch (const TovxInvalidXMLException& error) {
    return error.Reason().isEmpty() ? QStringLiteral("?") : error.Reason();
  }
  return QString();
}

}  // namespace ovx::test
