// Recorded pages: a prepared page drawn into an enhanced metafile, and the
// text runs such a metafile holds.
//
// The metafile is the page as the preview draws it (background, then every
// visible view), at 96 pixels per inch with the paper's top left at the
// origin; replayed at that resolution it gives the same pixels as drawing
// the page directly. The text runs are what a search through the page and
// a vector export read back: each EXTTEXTOUTW record's string, its
// reference point and its advances.
#pragma once

#include "render/metafile_canvas.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

class TovxPreviewPages;

namespace ovx {

// Prepared page `index` (0-based) of `pages` as a metafile. Throws
// ovx::Error for an index outside the pages.
Metafile RecordPreparedPage(TovxPreviewPages& pages, int index);

// One text record of a metafile, in the metafile's pixels (relative to its
// frame's top left).
struct RecordedTextRun {
  QString text;
  // Where the run starts, as recorded (the top left of its first cell in
  // the metafiles the recorder writes).
  QPoint reference;
  // One advance per UTF-16 unit of `text` as recorded (pixels in the
  // metafiles the recorder writes); empty when the record has none.
  std::vector<int> advances;
  // The record's bounds as the writer stored them.
  QRect bounds;
  QString font_name;
  int font_height = 0;
};

// Every EXTTEXTOUTW (and EXTTEXTOUTA) run of `metafile`, in playing order.
// A damaged file gives the runs before the damage.
std::vector<RecordedTextRun> RecordedTextRuns(const QByteArray& metafile);

}  // namespace ovx
