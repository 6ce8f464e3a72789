#include "print/internal/pdf_sheets.h"

#include "render/painter_canvas.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTransform>

#include <algorithm>

namespace ovx {

// The PDF writer, reporting no pixel size: the canvas then bounds nothing
// by the first page's size, and sheets of other sizes or orientations
// later in the document are drawn whole.
class PdfSheets::Writer : public QPdfWriter {
 public:
  using QPdfWriter::QPdfWriter;

 protected:
  int metric(PaintDeviceMetric metric) const override {
    if (metric == PdmWidth || metric == PdmHeight) return 0;
    return QPdfWriter::metric(metric);
  }
};

PdfSheets::PdfSheets(QIODevice* out, const QString& title, int dpi_x, int dpi_y)
    : writer_(std::make_unique<Writer>(out)),
      dpi_x_(std::max(dpi_x, 1)),
      dpi_y_(std::max(dpi_y, 1)),
      resolution_(std::max(dpi_x_, dpi_y_)) {
  writer_->setResolution(resolution_);
  writer_->setTitle(title);
  writer_->setCreator(QStringLiteral("Velmora"));
}

PdfSheets::~PdfSheets() {
  if (canvas_) canvas_->End();
}

void PdfSheets::BeginSheet(QSizeF sheet, double left, double top) {
  // Exactly the size given, as it lies: no snapping to a nearby standard
  // size, which would move every cell by the difference.
  const QPageSize size(sheet, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
  const QPageLayout layout(size, QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
  // The layout of a page is fixed when the page starts: before the painter
  // begins for the first sheet, before newPage for the others.
  writer_->setPageLayout(layout);
  if (!canvas_) {
    canvas_ = std::make_unique<PainterCanvas>(writer_.get(), dpi_x_, dpi_y_);
  } else {
    writer_->newPage();
  }
  const double units_per_mm = resolution_ / 25.4;
  canvas_->Painter().setTransform(QTransform(static_cast<double>(resolution_) / dpi_x_, 0, 0,
                                             static_cast<double>(resolution_) / dpi_y_,
                                             left * units_per_mm, top * units_per_mm));
  ++sheets_;
}

Canvas& PdfSheets::SheetCanvas() { return *canvas_; }

void PdfSheets::EndSheet() {}

bool PdfSheets::Finish() {
  if (finished_) return true;
  finished_ = true;
  if (!canvas_) return true;
  canvas_->End();
  return true;
}

}  // namespace ovx
