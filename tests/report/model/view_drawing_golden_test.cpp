// A page holding every kind of view, drawn at screen resolution and
// compared with a reviewed golden image: a change in any drawing path
// (text, frames, fills, gradients, shapes, lines, arrows, pictures, the
// page background) shows up here as a picture a reviewer can look at.
#include "base/units.h"
#include "render/painter_canvas.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "report/model/shape_view.h"
#include "tests/image_golden.h"

#include <QBuffer>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QByteArray PngOf(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// A small picture with distinct corners, so placement and stretching show.
TovxPicture TestPicture(int width, int height, QColor base, QColor light = Qt::white,
                        QColor dark = Qt::black) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(base);
  QPainter p(&image);
  p.fillRect(0, 0, width / 2, height / 2, light);
  p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, dark);
  p.end();
  TovxPicture picture;
  EXPECT_TRUE(picture.LoadFromData(PngOf(image)));
  return picture;
}

TovxMemoView* AddMemo(TovxReportPage& page, double left, double top, double width, double height,
                      const QString& text) {
  auto* memo = new TovxMemoView();
  memo->SetParent(&page);
  memo->SetBounds(left, top, width, height);
  memo->SetText(text);
  return memo;
}

TovxShapeView* AddShape(TovxReportPage& page, double left, double top, TovxShapeKind kind) {
  auto* shape = new TovxShapeView();
  shape->SetParent(&page);
  shape->SetBounds(left, top, 50, 40);
  shape->SetShape(kind);
  shape->SetColor(0xE0C0A0);
  shape->Frame().SetColor(0x800000);
  shape->Frame().SetWidth(2);
  return shape;
}

TovxLineView* AddLine(TovxReportPage& page, double left, double top, double width, double height) {
  auto* line = new TovxLineView();
  line->SetParent(&page);
  line->SetBounds(left, top, width, height);
  line->Frame().SetWidth(2);
  return line;
}

void BuildPage(TovxReportPage& page) {
  page.SetPaperWidth(148.5);
  page.SetPaperHeight(105);
  page.SetLeftMargin(5);
  page.SetTopMargin(5);
  page.SetRightMargin(5);
  page.SetBottomMargin(5);
  page.SetBackPicture(TestPicture(8, 6, QColor(0xF4, 0xEE, 0xDD), QColor(0xFA, 0xF8, 0xF0),
                                  QColor(0xE8, 0xE0, 0xC8)));

  // Memos: text with the frame kinds and the fill kinds.
  TovxMemoView* m = AddMemo(page, 0, 0, 120, 40, QStringLiteral("Memo 文字\nsecond line"));
  m->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                     TovxFrameType::ftBottom});
  m->SetColor(clYellow);
  m->SetHAlign(TovxHAlign::haCenter);

  m = AddMemo(page, 130, 0, 100, 40, QStringLiteral("Gradient"));
  m->SetFillType(TovxFillType::ftGradient);
  m->Frame().SetTyp({TovxFrameType::ftBottom});
  m->Frame().SetStyle(TovxFrameStyle::fsDouble);

  m = AddMemo(page, 240, 0, 100, 40, QStringLiteral("Glass"));
  m->SetFillType(TovxFillType::ftGlass);
  static_cast<TovxGlassFill&>(m->Fill()).SetColor(0xA06020);
  static_cast<TovxGlassFill&>(m->Fill()).SetHatch(true);

  m = AddMemo(page, 350, 0, 100, 40, QStringLiteral("<b>Hatch</b> <font color=red>red</font>"));
  m->SetAllowHTMLTags(true);
  m->SetBrushStyle(TovxBrushStyle::bsDiagCross);
  static_cast<TovxBrushFill&>(m->Fill()).SetForeColor(clSilver);
  m->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftTop});
  m->Frame().SetStyle(TovxFrameStyle::fsDash);
  m->Frame().SetDropShadow(true);

  m = AddMemo(page, 0, 50, 40, 110, QStringLiteral("竖排文字"));
  m->SetRotation(90);
  m->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                     TovxFrameType::ftBottom});
  m->Frame().SetStyle(TovxFrameStyle::fsAltDot);
  m->Frame().SetWidth(2);

  m = AddMemo(page, 50, 50, 29.92, 29.92, QStringLiteral("玄"));
  m->Font().SetName(QStringLiteral("楷体"));
  m->Font().SetSize(15);
  m->SetHAlign(TovxHAlign::haCenter);
  m->SetVAlign(TovxVAlign::vaCenter);
  m->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                     TovxFrameType::ftBottom});
  m->Frame().SetStyle(TovxFrameStyle::fsSquare);

  m = AddMemo(page, 90, 50, 150, 60,
              QStringLiteral("Justified text that wraps over several lines in a box."));
  m->SetHAlign(TovxHAlign::haBlock);
  m->SetUnderlines(true);
  m->SetFillType(TovxFillType::ftGradient);
  auto& vertical = static_cast<TovxGradientFill&>(m->Fill());
  vertical.SetGradientStyle(TovxGradientStyle::gsVertCenter);
  vertical.SetStartColor(clWhite);
  vertical.SetEndColor(0xFFC080);

  // Shapes, every kind, one with a gradient and one with a double outline.
  const TovxShapeKind kinds[] = {TovxShapeKind::skRectangle, TovxShapeKind::skRoundRectangle,
                                 TovxShapeKind::skEllipse,   TovxShapeKind::skTriangle,
                                 TovxShapeKind::skDiamond,   TovxShapeKind::skDiagonal1,
                                 TovxShapeKind::skDiagonal2};
  for (int i = 0; i < 7; ++i) AddShape(page, 60 * i, 170, kinds[i]);
  TovxShapeView* s = AddShape(page, 250, 60, TovxShapeKind::skEllipse);
  s->SetFillType(TovxFillType::ftGradient);
  static_cast<TovxGradientFill&>(s->Fill()).SetGradientStyle(TovxGradientStyle::gsElliptic);
  s = AddShape(page, 310, 60, TovxShapeKind::skRectangle);
  s->Frame().SetStyle(TovxFrameStyle::fsDouble);
  s->Frame().SetWidth(1);

  // Lines: plain, dotted, diagonal with arrows.
  TovxLineView* l = AddLine(page, 0, 230, 150, 0);
  l->SetArrowEnd(true);
  l = AddLine(page, 170, 220, 0, 60);
  l->Frame().SetStyle(TovxFrameStyle::fsDot);
  l = AddLine(page, 190, 220, 120, 60);
  l->SetDiagonal(true);
  l->SetArrowStart(true);
  l->SetArrowEnd(true);
  l->SetArrowSolid(true);
  l->Frame().SetColor(clBlue);

  // Pictures: stretched with kept proportions and centred; at its own size.
  auto* p = new TovxPictureView();
  p->SetParent(&page);
  p->SetBounds(330, 220, 60, 60);
  p->SetPicture(TestPicture(40, 20, QColor(0x30, 0x80, 0xC0)));
  p->SetCenter(true);
  p->Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                     TovxFrameType::ftBottom});
  p = new TovxPictureView();
  p->SetParent(&page);
  p->SetBounds(400, 220, 60, 60);
  p->SetPicture(TestPicture(40, 20, QColor(0xC0, 0x40, 0x30)));
  p->SetStretched(false);
}

TEST(ViewDrawingGoldenTest, PageWithEveryViewKind) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  BuildPage(*page);
  const double scale = 1;
  auto canvas = ovx::PainterCanvas::ForImage(page->Width(), page->Height(), 96);
  page->Draw(*canvas, scale, scale, 0, 0);
  const double left = page->LeftMargin() * ov01cm * scale;
  const double top = page->TopMargin() * ov01cm * scale;
  for (TovxComponent* object : page->Objects()) {
    if (auto* view = dynamic_cast<TovxView*>(object)) view->Draw(*canvas, scale, scale, left, top);
  }
  canvas->End();
  ovx::test::ExpectImageGolden(QStringLiteral("drawing/every_view.png"), *canvas->Image());
}

}  // namespace
