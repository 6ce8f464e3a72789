// A readable account of a prepared report: each page with its stored items
// (name and the attributes actually stored) and the rebuilt objects with
// their main properties. Used by the op3dump tool and by tests that compare
// two stores.
#pragma once

#include <QByteArray>

class TovxPreviewPages;

namespace ovx {

// Pages `first` to `last` (all by default).
QByteArray DumpPreparedPages(TovxPreviewPages& pages, int first = 0, int last = -1);

}  // namespace ovx
