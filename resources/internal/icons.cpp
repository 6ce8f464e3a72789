// Drawing the button pictures.
//
// Every picture is drawn in a 16 x 16 unit square (the wizard pictures are
// the same drawings at twice the scale) from a few shapes: pages, frames,
// arrows, a magnifier, a printer. Lines sit on pixel centres (x.5) so that
// one-unit strokes stay sharp at 16 x 16. No text is drawn: glyphs would
// depend on the fonts installed, and the lists must look the same
// everywhere.
//
// Cells that no window names yet get a plain tile with the cell's index
// written as dots, so every cell is distinct and an unintended use shows.
#include "resources/internal/icons.h"

#include "resources/image_catalogue.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <map>

namespace ovx::resources_internal {
namespace {

namespace im = ovx::images;

const QColor kInk(64, 64, 64);
const QColor kPaper(255, 255, 255);
const QColor kBlue(42, 111, 219);
const QColor kRed(208, 48, 48);
const QColor kGreen(47, 158, 68);
const QColor kYellow(242, 194, 0);
const QColor kFolder(232, 176, 74);
const QColor kGrey(150, 150, 150);
const QColor kLight(222, 226, 232);
const QColor kPurple(128, 72, 176);

class Icon {
 public:
  explicit Icon(QPainter& painter) : p_(painter) {}

  void Pen(const QColor& color, qreal width = 1) {
    p_.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  }
  void NoPen() { p_.setPen(Qt::NoPen); }
  void Fill(const QColor& color) { p_.setBrush(color); }
  void NoFill() { p_.setBrush(Qt::NoBrush); }

  void Line(qreal x1, qreal y1, qreal x2, qreal y2) {
    p_.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  }
  void Rect(qreal x, qreal y, qreal w, qreal h) { p_.drawRect(QRectF(x, y, w, h)); }
  void RoundRect(qreal x, qreal y, qreal w, qreal h, qreal r) {
    p_.drawRoundedRect(QRectF(x, y, w, h), r, r);
  }
  void Ellipse(qreal x, qreal y, qreal w, qreal h) { p_.drawEllipse(QRectF(x, y, w, h)); }
  void Polygon(std::initializer_list<QPointF> points) { p_.drawPolygon(QPolygonF(points)); }
  void Polyline(std::initializer_list<QPointF> points) { p_.drawPolyline(QPolygonF(points)); }
  void Path(const QPainterPath& path) { p_.drawPath(path); }

  // A sheet of paper with a folded top-right corner.
  void Page(qreal x, qreal y, qreal w, qreal h, const QColor& fill = kPaper) {
    const qreal fold = 3;
    Pen(kInk);
    Fill(fill);
    Polygon({{x + 0.5, y + 0.5},
             {x + w - fold - 0.5, y + 0.5},
             {x + w - 0.5, y + fold + 0.5},
             {x + w - 0.5, y + h - 0.5},
             {x + 0.5, y + h - 0.5}});
    Fill(kLight);
    Polygon({{x + w - fold - 0.5, y + 0.5},
             {x + w - fold - 0.5, y + fold + 0.5},
             {x + w - 0.5, y + fold + 0.5}});
  }
  // Grey lines standing for text.
  void TextLines(qreal x, qreal y, qreal w, int count, qreal step = 2) {
    Pen(kGrey);
    for (int i = 0; i < count; ++i) Line(x, y + i * step + 0.5, x + w, y + i * step + 0.5);
  }
  void Magnifier(qreal cx, qreal cy, qreal r) {
    Pen(kInk, 2);
    Line(cx + r * 0.7, cy + r * 0.7, cx + r * 1.9, cy + r * 1.9);
    Pen(kInk, 1.2);
    Fill(QColor(200, 225, 255));
    Ellipse(cx - r, cy - r, 2 * r, 2 * r);
  }
  // A filled arrow head pointing from (x1, y1) to (x2, y2), with its shaft.
  void Arrow(qreal x1, qreal y1, qreal x2, qreal y2, const QColor& color, qreal head = 3.5) {
    Pen(color, 1.5);
    const QLineF shaft(x1, y1, x2, y2);
    const QLineF unit = shaft.unitVector();
    const QPointF d = unit.p2() - unit.p1();
    const QPointF base = QPointF(x2, y2) - d * head;
    Line(x1, y1, base.x(), base.y());
    NoPen();
    Fill(color);
    const QPointF normal(-d.y(), d.x());
    Polygon({QPointF(x2, y2), base + normal * (head * 0.6), base - normal * (head * 0.6)});
  }
  // A solid triangle pointing left (-1) or right (+1).
  void Triangle(qreal x, qreal cy, qreal w, qreal h, int direction, const QColor& color) {
    NoPen();
    Fill(color);
    if (direction < 0) {
      Polygon({{x, cy}, {x + w, cy - h / 2}, {x + w, cy + h / 2}});
    } else {
      Polygon({{x + w, cy}, {x, cy - h / 2}, {x, cy + h / 2}});
    }
  }
  void Plus(qreal cx, qreal cy, qreal r, const QColor& color, qreal width = 1.5) {
    Pen(color, width);
    Line(cx - r, cy, cx + r, cy);
    Line(cx, cy - r, cx, cy + r);
  }
  void Minus(qreal cx, qreal cy, qreal r, const QColor& color, qreal width = 1.5) {
    Pen(color, width);
    Line(cx - r, cy, cx + r, cy);
  }
  void Cross(qreal cx, qreal cy, qreal r, const QColor& color, qreal width = 1.8) {
    Pen(color, width);
    Line(cx - r, cy - r, cx + r, cy + r);
    Line(cx - r, cy + r, cx + r, cy - r);
  }
  void Check(qreal x, qreal y, qreal s, const QColor& color) {
    Pen(color, 1.8);
    NoFill();
    Polyline({{x, y + s * 0.5}, {x + s * 0.35, y + s * 0.85}, {x + s, y}});
  }
  void Folder(qreal x, qreal y, qreal w, qreal h) {
    Pen(kInk);
    Fill(kFolder);
    Polygon({{x + 0.5, y + 2.5},
             {x + 5.5, y + 2.5},
             {x + 6.5, y + 0.5 + 2},
             {x + w - 0.5, y + 2.5},
             {x + w - 0.5, y + h - 0.5},
             {x + 0.5, y + h - 0.5}});
    Fill(QColor(248, 208, 120));
    Polygon({{x + 0.5, y + h - 0.5},
             {x + 2.5, y + 5.5},
             {x + w + 1, y + 5.5},
             {x + w - 0.5, y + h - 0.5}});
  }
  void Printer() {
    Page(4, 1, 8, 6);
    Pen(kInk);
    Fill(QColor(190, 195, 205));
    RoundRect(1.5, 6.5, 13, 6, 1);
    Fill(kPaper);
    Rect(4.5, 10.5, 7, 4);
    TextLines(5.5, 12, 5, 1);
    NoPen();
    Fill(kGreen);
    Rect(12, 8, 1.5, 1.5);
  }
  void Floppy() {
    Pen(kInk);
    Fill(kBlue);
    Polygon({{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}});
    Fill(kPaper);
    Rect(3.5, 1.5, 8, 5);
    Fill(QColor(200, 200, 200));
    Rect(4.5, 9.5, 7, 5);
    NoPen();
    Fill(kInk);
    Rect(9, 2.5, 1.5, 3);
  }
  void Envelope(qreal x, qreal y, qreal w, qreal h) {
    Pen(kInk);
    Fill(QColor(255, 250, 225));
    Rect(x + 0.5, y + 0.5, w - 1, h - 1);
    NoFill();
    Polyline({{x + 0.5, y + 0.5}, {x + w / 2, y + h * 0.6}, {x + w - 0.5, y + 0.5}});
  }
  void Pencil(qreal x, qreal y) {
    Pen(kInk);
    Fill(kYellow);
    Polygon({{x + 2, y + 9}, {x + 9, y + 2}, {x + 11, y + 4}, {x + 4, y + 11}});
    Fill(QColor(240, 200, 160));
    Polygon({{x + 2, y + 9}, {x + 4, y + 11}, {x, y + 13}});
  }
  void Cylinder(qreal x, qreal y, qreal w, qreal h, const QColor& color) {
    Pen(kInk);
    Fill(color);
    QPainterPath body;
    body.moveTo(x, y + 2);
    body.lineTo(x, y + h - 2);
    body.arcTo(QRectF(x, y + h - 4, w, 4), 180, 180);
    body.lineTo(x + w, y + 2);
    body.closeSubpath();
    Path(body);
    Fill(color.lighter(130));
    Ellipse(x, y, w, 4);
  }
  void Window(qreal x, qreal y, qreal w, qreal h) {
    Pen(kInk);
    Fill(kPaper);
    Rect(x + 0.5, y + 0.5, w - 1, h - 1);
    NoPen();
    Fill(kBlue);
    Rect(x + 1, y + 1, w - 2, 3);
  }
  void Grid(qreal x, qreal y, qreal w, qreal h, int columns, int rows) {
    Pen(kInk);
    Fill(kPaper);
    Rect(x + 0.5, y + 0.5, w - 1, h - 1);
    NoPen();
    Fill(QColor(180, 205, 240));
    Rect(x + 1, y + 1, w - 2, h / rows - 1);
    Pen(kInk);
    for (int c = 1; c < columns; ++c) {
      const qreal cx = x + std::round(w * c / columns) + 0.5;
      Line(cx, y, cx, y + h);
    }
    for (int r = 1; r < rows; ++r) {
      const qreal ry = y + std::round(h * r / rows) + 0.5;
      Line(x, ry, x + w, ry);
    }
  }

 private:
  QPainter& p_;
};

using DrawFunction = void (*)(Icon&);

// --- Preview buttons ---------------------------------------------------------

const std::map<int, DrawFunction>& PreviewPictures() {
  static const std::map<int, DrawFunction> pictures = {
      {im::kPreviewOpen,
       [](Icon& i) {
         i.Folder(0, 2, 15, 12);
         i.Arrow(10, 6, 13, 1, kGreen, 3);
       }},
      {im::kPreviewSave, [](Icon& i) { i.Floppy(); }},
      {im::kPreviewPrint, [](Icon& i) { i.Printer(); }},
      {im::kPreviewExport,
       [](Icon& i) {
         i.Page(1, 1, 10, 14);
         i.TextLines(3, 5, 5, 4);
         i.Arrow(7, 10, 15, 10, kGreen);
       }},
      {im::kPreviewFind, [](Icon& i) { i.Magnifier(6, 6, 4.5); }},
      {im::kPreviewThumbnails,
       [](Icon& i) {
         i.Page(0, 0, 7, 7);
         i.Page(8, 0, 7, 7);
         i.Page(0, 8, 7, 7);
         i.Page(8, 8, 7, 7);
       }},
      {im::kPreviewClose, [](Icon& i) { i.Cross(8, 8, 5, kRed, 2.2); }},
      {im::kPreviewPageSetup,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.Pen(kBlue);
         i.NoFill();
         i.Rect(4.5, 4.5, 7, 8);
       }},
      {im::kPreviewFirst,
       [](Icon& i) {
         i.Pen(kBlue, 2);
         i.Line(4, 3, 4, 13);
         i.Triangle(5, 8, 7, 10, -1, kBlue);
       }},
      {im::kPreviewPrior, [](Icon& i) { i.Triangle(4, 8, 7, 10, -1, kBlue); }},
      {im::kPreviewNext, [](Icon& i) { i.Triangle(5, 8, 7, 10, +1, kBlue); }},
      {im::kPreviewLast,
       [](Icon& i) {
         i.Triangle(4, 8, 7, 10, +1, kBlue);
         i.Pen(kBlue, 2);
         i.Line(12, 3, 12, 13);
       }},
      {im::kPreviewOutline,
       [](Icon& i) {
         i.Pen(kGrey);
         i.Line(3.5, 4, 3.5, 12.5);
         i.Line(3.5, 8.5, 7, 8.5);
         i.Line(3.5, 12.5, 7, 12.5);
         i.NoPen();
         i.Fill(kBlue);
         i.Rect(1, 1, 5, 3);
         i.Rect(7, 7, 7, 3);
         i.Rect(7, 11, 7, 3);
       }},
      {im::kPreviewCollapseAll,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(2.5, 2.5, 11, 11);
         i.Minus(8, 8, 3.5, kInk);
       }},
      {im::kPreviewExpandAll,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(2.5, 2.5, 11, 11);
         i.Plus(8, 8, 3.5, kInk);
       }},
      {im::kPreviewZoomIn,
       [](Icon& i) {
         i.Magnifier(6, 6, 4.5);
         i.Plus(6, 6, 2.5, kInk, 1.2);
       }},
      {im::kPreviewZoomOut,
       [](Icon& i) {
         i.Magnifier(6, 6, 4.5);
         i.Minus(6, 6, 2.5, kInk, 1.2);
       }},
      {im::kPreviewCopy,
       [](Icon& i) {
         i.Page(1, 1, 9, 11);
         i.Page(6, 4, 9, 11);
         i.TextLines(8, 8, 4, 3);
       }},
      {im::kPreviewPaste,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kFolder);
         i.RoundRect(1.5, 2.5, 11, 12, 1);
         i.Fill(kGrey);
         i.Rect(4.5, 1.5, 5, 3);
         i.Page(7, 6, 8, 9);
       }},
      {im::kPreviewAddPage,
       [](Icon& i) {
         i.Page(1, 1, 10, 14);
         i.Plus(12, 11, 3, kGreen, 2);
       }},
      {im::kPreviewDeletePage,
       [](Icon& i) {
         i.Page(1, 1, 10, 14);
         i.Cross(12, 11, 2.8, kRed);
       }},
      {im::kPreviewEditPage,
       [](Icon& i) {
         i.Page(1, 1, 10, 14);
         i.TextLines(3, 5, 5, 3);
         i.Pencil(4, 2);
       }},
      {im::kPreviewFullScreen,
       [](Icon& i) {
         i.Arrow(6, 6, 1.5, 1.5, kInk, 3);
         i.Arrow(10, 6, 14.5, 1.5, kInk, 3);
         i.Arrow(6, 10, 1.5, 14.5, kInk, 3);
         i.Arrow(10, 10, 14.5, 14.5, kInk, 3);
       }},
      {im::kPreviewEmail, [](Icon& i) { i.Envelope(1, 3, 14, 10); }},
      {im::kPreviewPdf,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.NoPen();
         i.Fill(kRed);
         i.Rect(1, 8, 12, 5);
         i.Fill(kPaper);
         i.Rect(3, 10, 2, 1);
         i.Rect(6, 10, 2, 1);
         i.Rect(9, 10, 2, 1);
       }},
      {im::kPreviewHighlight,
       [](Icon& i) {
         i.Page(1, 1, 12, 14);
         i.NoPen();
         i.Fill(QColor(255, 235, 59, 200));
         i.Rect(3, 6, 8, 3);
         i.TextLines(3, 7, 8, 1);
       }},
  };
  return pictures;
}

// --- Object palette and report tree ------------------------------------------

void DiagonalWithArrows(Icon& i, bool at_start, bool at_end) {
  i.Pen(kInk, 1.5);
  i.Line(3, 13, 13, 3);
  if (at_end) i.Arrow(7, 9, 14, 2, kInk, 4);
  if (at_start) i.Arrow(9, 7, 2, 14, kInk, 4);
}

const std::map<int, DrawFunction>& ObjectPictures() {
  static const std::map<int, DrawFunction> pictures = {
      {im::kObjectSelect,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Polygon({{3.5, 1.5},
                    {3.5, 13.5},
                    {6.5, 10.5},
                    {8.5, 14.5},
                    {10.5, 13.5},
                    {8.5, 9.5},
                    {12.5, 9.5}});
       }},
      {im::kObjectHand,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(250, 220, 190));
         i.RoundRect(3.5, 6.5, 9, 8, 3);
         for (int f = 0; f < 4; ++f) i.RoundRect(3.5 + f * 2.3, 2.5, 2, 6, 1);
       }},
      {im::kObjectMemo,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(1.5, 2.5, 13, 11);
         i.Pen(kBlue, 1.5);
         i.Polyline({{3.5, 10.5}, {5.5, 4.5}, {7.5, 10.5}});
         i.Line(4.2, 8.5, 6.8, 8.5);
         i.TextLines(9, 5, 4, 3);
       }},
      {im::kObjectPicture,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(200, 230, 255));
         i.Rect(1.5, 2.5, 13, 11);
         i.NoPen();
         i.Fill(kYellow);
         i.Ellipse(9, 4, 3, 3);
         i.Fill(kGreen);
         i.Polygon({{2, 13}, {6, 7}, {9, 11}, {11, 9}, {14, 13}});
       }},
      {im::kObjectSubreport,
       [](Icon& i) {
         i.Page(1, 1, 14, 14);
         i.Pen(kBlue);
         i.Fill(QColor(220, 232, 250));
         i.Rect(4.5, 6.5, 7, 6);
       }},
      {im::kObjectLine,
       [](Icon& i) {
         i.Pen(kInk, 1.5);
         i.Line(2, 8, 14, 8);
       }},
      {im::kObjectDrawCategory,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.Rect(1.5, 1.5, 8, 8);
         i.Fill(QColor(250, 200, 120));
         i.Ellipse(6.5, 6.5, 8, 8);
       }},
      {im::kObjectDiagonalLine,
       [](Icon& i) {
         i.Pen(kInk, 1.5);
         i.Line(2, 14, 14, 2);
       }},
      {im::kObjectRectangle,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.Rect(1.5, 3.5, 13, 9);
       }},
      {im::kObjectRoundRectangle,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.RoundRect(1.5, 3.5, 13, 9, 3);
       }},
      {im::kObjectEllipse,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.Ellipse(1.5, 3.5, 13, 9);
       }},
      {im::kObjectTriangle,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.Polygon({{8, 2.5}, {14.5, 13.5}, {1.5, 13.5}});
       }},
      {im::kObjectDotMatrixCommand,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(1.5, 3.5, 13, 9);
         i.NoPen();
         i.Fill(kInk);
         for (int x = 0; x < 5; ++x) {
           for (int y = 0; y < 3; ++y) {
             if ((x + y) % 2 == 0) i.Rect(3 + x * 2, 5 + y * 2, 1, 1);
           }
         }
       }},
      {im::kObjectCheckBox,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(2.5, 2.5, 11, 11);
         i.Check(4.5, 5, 7, kGreen);
       }},
      {im::kObjectDiamond,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(180, 205, 240));
         i.Polygon({{8, 1.5}, {14.5, 8}, {8, 14.5}, {1.5, 8}});
       }},
      {im::kObjectSystemMemo,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPaper);
         i.Rect(1.5, 2.5, 13, 11);
         i.Pen(kPurple, 1.5);
         i.NoFill();
         i.Polyline({{11, 5}, {5, 5}, {8, 8}, {5, 11}, {11, 11}});
       }},
      {im::kObjectReport,
       [](Icon& i) {
         i.Page(5, 0, 10, 12);
         i.Page(3, 2, 10, 12);
         i.Page(1, 4, 10, 12);
         i.TextLines(3, 8, 5, 3);
       }},
      {im::kObjectReportPage,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.TextLines(4, 5, 7, 4);
       }},
      {im::kObjectDialogPage,
       [](Icon& i) {
         i.Window(1, 2, 14, 12);
         i.Pen(kInk);
         i.Fill(QColor(230, 230, 230));
         i.Rect(8.5, 10.5, 5, 2);
       }},
      {im::kObjectDataPage,
       [](Icon& i) {
         i.Page(1, 1, 12, 14);
         i.Cylinder(6, 6, 9, 9, kYellow);
       }},
      {im::kObjectBand,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(255, 236, 179));
         i.Rect(0.5, 4.5, 15, 7);
         i.NoPen();
         i.Fill(kFolder);
         i.Rect(1, 5, 4, 6);
       }},
      {im::kObjectArrowEnd, [](Icon& i) { DiagonalWithArrows(i, false, true); }},
      {im::kObjectArrowStart, [](Icon& i) { DiagonalWithArrows(i, true, false); }},
      {im::kObjectArrowBoth, [](Icon& i) { DiagonalWithArrows(i, true, true); }},
      {im::kObjectOtherCategory,
       [](Icon& i) {
         i.NoPen();
         i.Fill(kInk);
         for (int k = 0; k < 3; ++k) i.Ellipse(2 + k * 4.5, 6.5, 3, 3);
       }},
  };
  return pictures;
}

// --- Designer buttons and trees ----------------------------------------------

void Field(Icon& i) {
  i.Pen(kInk);
  i.Fill(kPaper);
  i.Rect(0.5, 3.5, 15, 9);
}

const std::map<int, DrawFunction>& DesignerPictures() {
  static const std::map<int, DrawFunction> pictures = {
      {im::kDesignerFunction,
       [](Icon& i) {
         i.Pen(kPurple, 1.5);
         i.NoFill();
         QPainterPath f;
         f.moveTo(11, 2.5);
         f.cubicTo(8, 1.5, 7.5, 4, 7, 8);
         f.cubicTo(6.5, 12, 6, 14.5, 3, 13.5);
         i.Path(f);
         i.Line(4, 6.5, 10, 6.5);
       }},
      {im::kDesignerDataRoot, [](Icon& i) { i.Cylinder(2, 1, 12, 14, kYellow); }},
      {im::kDesignerCategory, [](Icon& i) { i.Folder(0, 1, 15, 13); }},
      {im::kDesignerDataSet, [](Icon& i) { i.Grid(1, 2, 14, 12, 3, 3); }},
      {im::kDesignerProperty,
       [](Icon& i) {
         i.NoPen();
         i.Fill(kBlue);
         i.Rect(2, 4, 12, 8);
         i.Pen(kPaper, 1.2);
         i.Line(4, 8, 12, 8);
       }},
      {im::kDesignerMember,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kPurple);
         i.Polygon({{8, 2.5}, {13.5, 8}, {8, 13.5}, {2.5, 8}});
       }},
      {im::kDesignerClass,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(QColor(250, 200, 120));
         i.Polygon({{2.5, 5.5}, {8, 2.5}, {13.5, 5.5}, {13.5, 11.5}, {8, 14.5}, {2.5, 11.5}});
         i.NoFill();
         i.Polyline({{2.5, 5.5}, {8, 8.5}, {13.5, 5.5}});
         i.Line(8, 8.5, 8, 14.5);
       }},
      {im::kDesignerEvent,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kYellow);
         i.Polygon({{9.5, 1.5}, {3.5, 9.5}, {7.5, 9.5}, {6.5, 14.5}, {12.5, 6.5}, {8.5, 6.5}});
       }},
      {im::kDesignerVariable,
       [](Icon& i) {
         i.Pen(kInk);
         i.Fill(kGreen);
         i.Ellipse(2.5, 2.5, 11, 11);
         i.Pen(kPaper, 1.5);
         i.Line(5, 6.5, 11, 6.5);
         i.Line(5, 9.5, 11, 9.5);
       }},
      {im::kDesignerInherited,
       [](Icon& i) {
         // A small badge: it is drawn over the corner of objects.
         i.Pen(kInk);
         i.Fill(kFolder);
         i.Rect(0.5, 0.5, 8, 8);
         i.Arrow(2, 7, 7, 2, kInk, 2.5);
       }},
      {im::kDesignerFieldString,
       [](Icon& i) {
         Field(i);
         i.Pen(kBlue, 1.2);
         i.NoFill();
         i.Polyline({{2.5, 9}, {4.5, 6}, {6.5, 9}, {8.5, 6}, {10.5, 9}, {12.5, 6}});
       }},
      {im::kDesignerFieldNumeric,
       [](Icon& i) {
         Field(i);
         i.Pen(kRed, 1.2);
         i.Line(6.5, 5, 5.5, 11);
         i.Line(10.5, 5, 9.5, 11);
         i.Line(4, 7, 12, 7);
         i.Line(4, 9.5, 12, 9.5);
       }},
      {im::kDesignerFieldOther,
       [](Icon& i) {
         Field(i);
         i.NoPen();
         i.Fill(kGrey);
         i.Ellipse(6, 6, 4, 4);
       }},
      {im::kDesignerFieldBoolean,
       [](Icon& i) {
         Field(i);
         i.Check(5, 5.5, 6, kGreen);
       }},
  };
  return pictures;
}

// --- Wizards (drawn at twice the scale) --------------------------------------

const std::map<int, DrawFunction>& WizardPictures() {
  static const std::map<int, DrawFunction> pictures = {
      {im::kWizardEmptyReport, [](Icon& i) { i.Page(2, 1, 12, 14); }},
      {im::kWizardReport,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.TextLines(4, 6, 7, 4);
         i.Pen(kInk);
         i.Fill(kYellow);
         i.Polygon({{12, 0.5},
                    {13, 3},
                    {15.5, 3.5},
                    {13.5, 5},
                    {14, 7.5},
                    {12, 6},
                    {10, 7.5},
                    {10.5, 5},
                    {8.5, 3.5},
                    {11, 3}});
       }},
      {im::kWizardDotMatrix,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.NoPen();
         i.Fill(kInk);
         for (int row = 0; row < 4; ++row) {
           for (int column = 0; column < 8; column += 2)
             i.Rect(4 + column, 5 + row * 2.5, 0.8, 0.8);
         }
       }},
      {im::kWizardDialog,
       [](Icon& i) {
         i.Window(1, 2, 14, 12);
         i.Pen(kInk);
         i.Fill(QColor(230, 230, 230));
         i.Rect(3.5, 6.5, 9, 2);
         i.Rect(8.5, 10.5, 5, 2);
       }},
      {im::kWizardData, [](Icon& i) { i.Cylinder(3, 1, 10, 14, kYellow); }},
      {im::kWizardTemplate,
       [](Icon& i) {
         i.Page(2, 1, 12, 14);
         i.NoPen();
         i.Fill(kBlue);
         i.Rect(3, 4, 8, 2);
         i.TextLines(4, 8, 7, 3);
       }},
  };
  return pictures;
}

// A plain tile with `index` written in binary as dots (3 x 3, lowest bit top
// left).
void Placeholder(Icon& i, int index) {
  i.Pen(kGrey);
  i.Fill(QColor::fromHsv((index * 47) % 360, 40, 245));
  i.RoundRect(1.5, 1.5, 13, 13, 2);
  i.NoPen();
  i.Fill(kInk);
  for (int bit = 0; bit < 9; ++bit) {
    if ((index >> bit) & 1) i.Rect(3.5 + (bit % 3) * 3.5, 3.5 + (bit / 3) * 3.5, 2, 2);
  }
}

std::vector<QImage> DrawList(int count, int cell_size,
                             const std::map<int, DrawFunction>& pictures) {
  std::vector<QImage> images;
  images.reserve(static_cast<size_t>(count));
  for (int index = 0; index < count; ++index) {
    QImage image(cell_size, cell_size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(cell_size / 16.0, cell_size / 16.0);
    Icon icon(painter);
    const auto it = pictures.find(index);
    if (it != pictures.end()) {
      it->second(icon);
    } else {
      Placeholder(icon, index);
    }
    painter.end();
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace

std::vector<QImage> DrawPreviewImages() {
  return DrawList(im::kPreviewImageCount, 16, PreviewPictures());
}
std::vector<QImage> DrawDesignerImages() {
  return DrawList(im::kDesignerImageCount, 16, DesignerPictures());
}
std::vector<QImage> DrawObjectImages() {
  return DrawList(im::kObjectImageCount, 16, ObjectPictures());
}
std::vector<QImage> DrawWizardImages() {
  return DrawList(im::kWizardImageCount, 32, WizardPictures());
}

}  // namespace ovx::resources_internal
