// Helpers for the XML document tests.
#pragma once

#include "base/stream.h"
#include "report/storage/xml_document.h"

#include <QByteArray>

namespace ovx::test {

// A compact picture of a tree: name[text](child,child...), text and
// children shown only when present, "~" after the name of an item that is
// not loaded, "*" after one that is unloadable.
QByteArray Dump(const TovxXMLItem* item);

QByteArray SaveToBytes(TovxXMLDocument& document, bool auto_indent = false);

// Loads `bytes`; answers the reason of the TovxInvalidXMLException thrown,
// or an empty string when the load succeeded.
QString LoadBytes(TovxXMLDocument& document, const QByteArray& bytes);

}  // namespace ovx::test
