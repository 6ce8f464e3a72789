// A print document: sheets drawn through the canvas into PDF pages.
//
// Each sheet becomes one page of the sheet's physical size in its
// orientation, so the spooler gets a document it need not scale. Drawing
// is vector throughout (the canvas fills glyph outlines at the advances the
// layout computed), at the printer's resolution.
//
// The canvas coordinates have their origin on the printable area's corner,
// like a printer device; each sheet moves that origin by the sheet's left
// and top margins onto the paper, the one place where the printable-area
// origin is undone. Nothing clips to the printable area: the printer drops
// what it cannot reach, as it would anyway.
#pragma once

#include <QSizeF>
#include <QString>

#include <memory>

class QIODevice;
class QPdfWriter;

namespace ovx {

class Canvas;
class PainterCanvas;

class PdfSheets {
 public:
  // Writes to `out` (open for writing; it must outlive this object).
  PdfSheets(QIODevice* out, const QString& title, int dpi_x, int dpi_y);
  ~PdfSheets();
  PdfSheets(const PdfSheets&) = delete;
  PdfSheets& operator=(const PdfSheets&) = delete;

  // A new page of `sheet` (mm, as it lies: a landscape sheet is wider than
  // high); the canvas origin lies `left` and `top` mm from the page's
  // top-left corner (the printable area's corner).
  void BeginSheet(QSizeF sheet, double left, double top);
  // The current sheet's canvas (valid between BeginSheet and EndSheet).
  Canvas& SheetCanvas();
  void EndSheet();
  // Ends the document; false when nothing could be written.
  bool Finish();
  int Sheets() const { return sheets_; }

 private:
  class Writer;
  std::unique_ptr<Writer> writer_;
  std::unique_ptr<PainterCanvas> canvas_;
  int dpi_x_;
  int dpi_y_;
  int resolution_;
  int sheets_ = 0;
  bool finished_ = false;
};

}  // namespace ovx
