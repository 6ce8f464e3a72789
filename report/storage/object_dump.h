// A canonical, readable dump of an object tree: every published property of
// every object with its value, children indented below their parent. Two
// trees with the same content dump to the same text, whatever the order of
// the attributes in the files they came from, so the dump is what tests and
// tools compare.
#pragma once

#include "report/storage/stored_object.h"

#include <QString>

namespace ovx {

// Lines end with "\n"; strings are quoted with \r, \n, \t, \" and \\ escaped.
QString DumpObjectTree(const StoredObject& root);

}  // namespace ovx
