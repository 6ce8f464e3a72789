// Picture, shape, line and subreport views: placement arithmetic, sizing
// and what their templates carry.
#include "report/model/picture_view.h"

#include "base/class_registry.h"
#include "report/model/shape_view.h"
#include "report/model/subreport.h"
#include "report/storage/xml_serializer.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QByteArray Written(const ovx::Persistent& object) {
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, nullptr);
  return serializer.WriteProperties(object);
}

struct PlacementCase {
  const char* name;
  QSizeF picture;
  bool stretched;
  bool keep_aspect_ratio;
  bool center;
  QRectF expected;
};

TEST(PictureRectTest, PlacesThePictureInTheView) {
  const QRectF view(10, 20, 100, 100);
  const PlacementCase cases[] = {
      {"stretched", {200, 100}, true, false, false, {10, 20, 100, 100}},
      {"in proportion", {200, 100}, true, true, false, {10, 20, 100, 50}},
      {"in proportion, centred", {200, 100}, true, true, true, {10, 45, 100, 50}},
      {"tall, centred", {50, 100}, true, true, true, {35, 20, 50, 100}},
      {"own size", {40, 30}, false, true, false, {10, 20, 40, 30}},
      {"own size, centred", {40, 30}, false, true, true, {40, 55, 40, 30}},
      {"larger than the view, centred", {200, 100}, false, false, true, {-40, 20, 200, 100}},
      {"no pixels", {0, 0}, true, true, true, {10, 20, 100, 100}},
  };
  for (const PlacementCase& c : cases) {
    EXPECT_EQ(ovx::PictureRect(view, c.picture, c.stretched, c.keep_aspect_ratio, c.center),
              c.expected)
        << c.name;
  }
  // Unstretched pictures follow the drawing scale.
  EXPECT_EQ(ovx::PictureRect(view, {40, 30}, false, false, false, 2, 3), QRectF(10, 20, 80, 90));
}

TEST(PictureViewTest, AutoSizeTakesThePicturePixelSize) {
  QImage image(7, 5, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray bmp;
  QBuffer buffer(&bmp);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "BMP"));
  TovxPicture picture;
  ASSERT_TRUE(picture.LoadFromData(bmp));

  TovxPictureView view;
  view.SetBounds(0, 0, 100, 100);
  view.SetPicture(picture);
  EXPECT_DOUBLE_EQ(view.Width(), 100);
  view.SetAutoSize(true);
  EXPECT_DOUBLE_EQ(view.Width(), 7);
  EXPECT_DOUBLE_EQ(view.Height(), 5);
  EXPECT_EQ(view.PictureRect(QRectF(0, 0, 70, 70)), QRectF(0, 0, 70, 50));
}

TEST(PictureViewTest, DefaultsAndStoredAttributes) {
  TovxPictureView view;
  EXPECT_TRUE(view.KeepAspectRatio());
  EXPECT_TRUE(view.Stretched());
  EXPECT_EQ(view.TransparentColor(), clWhite);
  EXPECT_EQ(view.GetDescription(), "obPicture");
  const QByteArray written = Written(view);
  EXPECT_TRUE(written.contains(R"( ImageIndex="0")")) << written.toStdString();
  EXPECT_FALSE(written.contains("KeepAspectRatio")) << written.toStdString();
  EXPECT_FALSE(written.contains("PropData")) << written.toStdString();
}

TEST(ShapeAndLineTest, ColourIsStoredThroughTheFillOrItself) {
  TovxShapeView shape;
  shape.SetColor(clRed);
  shape.SetShape(TovxShapeKind::skEllipse);
  const QByteArray shape_text = Written(shape);
  EXPECT_TRUE(shape_text.contains(R"(Fill.BackColor="255")")) << shape_text.toStdString();
  EXPECT_TRUE(shape_text.contains(R"(Shape="skEllipse")")) << shape_text.toStdString();
  EXPECT_FALSE(shape_text.contains(" Color=")) << shape_text.toStdString();

  TovxLineView line;
  EXPECT_EQ(line.Color(), clNone);
  EXPECT_EQ(line.ArrowLength(), 20);
  EXPECT_EQ(line.ArrowWidth(), 5);
  line.SetColor(clRed);
  line.SetDiagonal(true);
  const QByteArray line_text = Written(line);
  EXPECT_TRUE(line_text.contains(R"( Color="255")")) << line_text.toStdString();
  EXPECT_TRUE(line_text.contains(R"( Diagonal="True")")) << line_text.toStdString();
  EXPECT_FALSE(line_text.contains("Arrow")) << line_text.toStdString();
}

TEST(SubreportTest, NewSubreportIsAFramedGreyTahomaBox) {
  TovxSubreport subreport;
  EXPECT_EQ(subreport.Frame().Typ(),
            (TovxFrameTypes{TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                            TovxFrameType::ftBottom}));
  EXPECT_EQ(subreport.Font().Name(), "Tahoma");
  EXPECT_EQ(subreport.Font().Size(), 8);
  EXPECT_EQ(subreport.Color(), 0xC0C0C0);
  EXPECT_FALSE(subreport.PrintOnParent());
  EXPECT_EQ(subreport.GetDescription(), "obSubRep");
}

}  // namespace
