// What the model draws and in which order: views (fill under the frame),
// design marks, shapes with their second outline, line views that become
// frame lines, pictures placed in their views, and the page background.
#include "base/units.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/model/shape_view.h"
#include "report/model/view.h"
#include "tests/render/recording_canvas.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

// Records like RecordingCanvas; can pose as a printer and notes the clip
// a picture is drawn under.
class TestCanvas : public ovx::test::RecordingCanvas {
 public:
  bool printer = false;
  std::optional<QRect> clip_at_picture;

  bool IsPrinter() const override { return printer; }
  void StretchDraw(const ovx::PixelRect& r, const QImage& image,
                   std::optional<ovx::Color> transparent) override {
    if (const std::optional<QRegion> clip = ClipRegion()) clip_at_picture = clip->boundingRect();
    RecordingCanvas::StretchDraw(r, image, transparent);
  }

  Calls Recorded() const {
    Calls out;
    for (const QString& call : calls) out.push_back(call.toStdString());
    return out;
  }
  Calls Starting(const std::string& prefix) const {
    Calls out;
    for (const std::string& call : Recorded()) {
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
  }
};

const TovxFrameTypes kAllSides{TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                               TovxFrameType::ftBottom};

TovxPicture PngPicture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  TovxPicture picture;
  EXPECT_TRUE(picture.LoadFromData(bytes));
  return picture;
}

// An enhanced metafile: header and end record only.
TovxPicture MetafilePicture() {
  QByteArray d(108 + 20, '\0');
  const auto put32 = [&d](int at, quint32 v) { qToLittleEndian(v, d.data() + at); };
  put32(0, 1);
  put32(4, 108);
  put32(32, 2540);
  put32(36, 1270);
  d.replace(40, 4, " EMF");
  put32(44, 0x10000);
  put32(48, 128);
  put32(52, 2);
  put32(108, 14);
  put32(112, 20);
  TovxPicture picture;
  EXPECT_TRUE(picture.LoadFromData(d));
  return picture;
}

// --- views ----------------------------------------------------------------------------

TEST(ViewDrawingTest, FillUnderTheFrameLines) {
  struct Case {
    TovxFrameTypes typ;
    double width;
    const char* fill;
  };
  // The fill reaches half a line width under each line, the odd pixel
  // going right and down.
  const Case cases[] = {
      {kAllSides, 2, "FillRect 9,19,111,71"},
      {{TovxFrameType::ftLeft}, 3, "FillRect 8,20,110,70"},
      {{TovxFrameType::ftRight, TovxFrameType::ftBottom}, 3, "FillRect 10,20,113,73"},
      {{}, 3, "FillRect 10,20,110,70"},
  };
  for (const Case& c : cases) {
    TovxView view;
    view.SetBounds(10, 20, 100, 50);
    view.SetColor(clYellow);
    view.Frame().SetTyp(c.typ);
    view.Frame().SetWidth(c.width);
    TestCanvas canvas;
    view.Draw(canvas, 1, 1, 0, 0);
    const Calls calls = canvas.Recorded();
    ASSERT_FALSE(calls.empty());
    // The fill first, then one line per side.
    EXPECT_EQ(calls.front(), c.fill);
    EXPECT_EQ(canvas.Starting("LineTo").size(), calls.size() - 1) << c.fill;
  }
}

TEST(ViewDrawingTest, ScaleOffsetAndDropShadow) {
  TovxView view;
  view.SetBounds(10, 20, 100, 50);
  view.SetColor(clYellow);
  view.Frame().SetDropShadow(true);
  view.Frame().SetShadowWidth(2);
  TestCanvas canvas;
  view.Draw(canvas, 2, 1.5, 5, 7);
  // (5 + 20, 7 + 30) to (5 + 220 - 4, 7 + 105 - 3); the shadow outside it.
  EXPECT_EQ(canvas.Recorded().front(), "FillRect 25,37,221,109");
  EXPECT_EQ(canvas.Starting("LineTo").size(), 4 + 3);
}

TEST(ViewDrawingTest, DesignMarksOnlyWhereTheFrameLeavesCornersOpen) {
  struct Case {
    const char* name;
    bool designing;
    bool on_data_page;
    TovxFrameTypes typ;
    size_t marks;
  };
  const Case cases[] = {
      {"designer", true, false, {}, 4},
      {"designer, three lines",
       true,
       false,
       {TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop},
       4},
      {"designer, full frame", true, false, kAllSides, 0},
      {"data page", true, true, {}, 0},
      {"preview", false, false, {}, 0},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TovxPage> page;
    if (c.on_data_page) {
      page = std::make_unique<TovxDataPage>();
    } else {
      page = std::make_unique<TovxReportPage>();
    }
    auto* view = new TovxView(page.get());
    view->SetBounds(10, 20, 100, 50);
    view->SetDesigning(c.designing);
    view->Frame().SetTyp(c.typ);
    TestCanvas canvas;
    view->Draw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(canvas.Starting("Polyline").size(), c.marks) << c.name;
  }
  TovxReportPage page;
  auto* view = new TovxView(&page);
  view->SetBounds(10, 20, 100, 50);
  view->SetDesigning(true);
  TestCanvas canvas;
  view->Draw(canvas, 1, 1, 0, 0);
  // Three pixels along each edge from every corner, inwards.
  EXPECT_EQ(canvas.Recorded(),
            (Calls{"Polyline 10,23 10,20 13,20", "Polyline 107,20 110,20 110,23",
                   "Polyline 10,67 10,70 13,70", "Polyline 107,70 110,70 110,67"}));
}

// --- shapes ---------------------------------------------------------------------------

TEST(ShapeViewDrawingTest, DoubleFrameDrawsAnInsetOutlineAndKeepsTheBounds) {
  struct Case {
    TovxShapeKind kind;
    Calls calls;
  };
  // Frame width 2: rectangles move in by 2w on each side, triangles by
  // 4w at left and top and lose 8w and 6w, the diagonals move right 2w.
  const Case cases[] = {
      {TovxShapeKind::skRectangle, {"Rectangle 10,20,111,81", "Rectangle 14,24,107,77"}},
      {TovxShapeKind::skTriangle,
       {"Polygon 110,80 10,80 60,20 110,80", "Polygon 102,76 18,76 60,28 102,76"}},
      {TovxShapeKind::skDiamond,
       {"Polygon 60,20 110,50 60,80 10,50", "Polygon 60,26 104,50 60,74 16,50"}},
      {TovxShapeKind::skDiagonal1,
       {"LineTo 10,79-110,19", "LineTo 10,80-110,20", "LineTo 14,79-114,19",
        "LineTo 14,80-114,20"}},
  };
  for (const Case& c : cases) {
    TovxShapeView shape;
    shape.SetBounds(10, 20, 100, 60);
    shape.SetShape(c.kind);
    shape.Frame().SetStyle(TovxFrameStyle::fsDouble);
    shape.Frame().SetWidth(2);
    TestCanvas canvas;
    shape.Draw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(canvas.Recorded(), c.calls) << static_cast<int>(c.kind);
    EXPECT_EQ(shape.Left(), 10);
    EXPECT_EQ(shape.Top(), 20);
    EXPECT_EQ(shape.Width(), 100);
    EXPECT_EQ(shape.Height(), 60);
    EXPECT_EQ(shape.Frame().Style(), TovxFrameStyle::fsDouble);
  }
}

TEST(ShapeViewDrawingTest, FillKindsChooseBrushOrClippedFill) {
  TovxShapeView shape;
  shape.SetBounds(10, 20, 100, 60);
  shape.SetShape(TovxShapeKind::skEllipse);
  shape.SetColor(clAqua);
  shape.Frame().SetWidth(3);
  shape.Frame().SetColor(clRed);
  TestCanvas canvas;
  canvas.with_state = true;
  shape.Draw(canvas, 1, 1, 0, 0);
  EXPECT_EQ(canvas.Recorded(), Calls{"Ellipse 10,20,111,81 pen(ff,3,0) brush(ffff00,0)"});

  canvas.Clear();
  shape.SetFillType(TovxFillType::ftGlass);
  shape.Draw(canvas, 1, 1, 0, 0);
  EXPECT_EQ(canvas.Starting("SelectClipPath").size(), 1);
  EXPECT_EQ(canvas.Starting("FillRect").size(), 2);
  EXPECT_EQ(canvas.Recorded().back(), "Ellipse 10,20,111,81 pen(ff,3,0) brush(ffffff,1)");
}

// --- line views -----------------------------------------------------------------------

TEST(LineViewDrawingTest, StraightLinesBecomeOneFrameLine) {
  struct Case {
    double width;
    double height;
    bool diagonal;
    double width_after;
    double height_after;
    TovxFrameTypes typ_after;
    const char* line;
  };
  const Case cases[] = {
      {100, 30, false, 100, 0, {TovxFrameType::ftTop}, "LineTo 10,20-110,20"},
      {5, 50, false, 0, 50, {TovxFrameType::ftLeft}, "LineTo 10,20-10,70"},
      // A square goes vertical.
      {30, 30, false, 0, 30, {TovxFrameType::ftLeft}, "LineTo 10,20-10,50"},
      // A diagonal keeps its bounds and frame.
      {100, 30, true, 100, 30, {}, "LineTo 10,20-110,50"},
  };
  for (const Case& c : cases) {
    TovxLineView line;
    line.SetBounds(10, 20, c.width, c.height);
    line.SetDiagonal(c.diagonal);
    TestCanvas canvas;
    line.Draw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(canvas.Recorded(), Calls{c.line}) << c.line;
    // The view keeps what drawing made of it.
    EXPECT_EQ(line.Width(), c.width_after) << c.line;
    EXPECT_EQ(line.Height(), c.height_after) << c.line;
    EXPECT_EQ(line.Frame().Typ(), c.typ_after) << c.line;
  }
}

TEST(LineViewDrawingTest, ArrowsAtTheirEnds) {
  TovxLineView line;
  line.SetBounds(10, 20, 100, 0);
  line.SetArrowStart(true);
  line.SetArrowEnd(true);
  TestCanvas canvas;
  line.Draw(canvas, 1, 1, 0, 0);
  EXPECT_EQ(canvas.Starting("Polyline"),
            (Calls{"Polyline 30,15 10,20 30,25", "Polyline 90,15 110,20 90,25"}));
}

// --- pictures -------------------------------------------------------------------------

TEST(PictureViewDrawingTest, PicturePlacement) {
  struct Case {
    const char* name;
    QSize picture;
    bool stretched;
    bool keep_aspect_ratio;
    bool center;
    double scale;
    const char* call;
  };
  const Case cases[] = {
      {"stretched", {200, 100}, true, false, false, 1, "Picture 0,0,100,100"},
      {"kept in proportion", {200, 100}, true, true, false, 1, "Picture 0,0,100,50"},
      {"kept and centred", {200, 100}, true, true, true, 1, "Picture 0,25,100,75"},
      {"tall, centred", {50, 100}, true, true, true, 1, "Picture 25,0,75,100"},
      {"own size, scaled", {40, 20}, false, true, false, 2, "Picture 0,0,80,40"},
      {"own size, centred", {40, 20}, false, true, true, 2, "Picture 60,80,140,120"},
      {"larger than the view", {300, 100}, false, true, true, 1, "Picture -100,0,200,100"},
  };
  for (const Case& c : cases) {
    TovxPictureView view;
    view.SetBounds(0, 0, 100, 100);
    view.SetPicture(PngPicture(c.picture.width(), c.picture.height()));
    view.SetStretched(c.stretched);
    view.SetKeepAspectRatio(c.keep_aspect_ratio);
    view.SetCenter(c.center);
    TestCanvas canvas;
    view.Draw(canvas, c.scale, c.scale, 0, 0);
    EXPECT_EQ(canvas.Recorded(), Calls{c.call}) << c.name;
    // Unstretched pictures are clipped to the view, and the clip undone.
    if (!c.stretched) {
      const int side = static_cast<int>(100 * c.scale);
      EXPECT_EQ(canvas.clip_at_picture, QRect(0, 0, side, side)) << c.name;
    }
    EXPECT_FALSE(canvas.ClipRegion().has_value()) << c.name;
  }
}

TEST(PictureViewDrawingTest, FillPictureFrameInThatOrder) {
  TovxPictureView view;
  view.SetBounds(10, 20, 100, 50);
  view.SetPicture(PngPicture(10, 5));
  view.SetColor(clYellow);
  view.SetTransparent(true);
  view.Frame().SetTyp({TovxFrameType::ftBottom});
  TestCanvas canvas;
  view.Draw(canvas, 1, 1, 0, 0);
  EXPECT_EQ(canvas.Recorded(), (Calls{"FillRect 10,20,110,71", "Picture 10,20,110,70 transparent",
                                      "LineTo 10,70-110,70"}));
}

TEST(PictureViewDrawingTest, EmptyAndMetafilePictures) {
  TovxPictureView view;
  view.SetBounds(10, 20, 100, 50);
  TestCanvas canvas;
  view.Draw(canvas, 1, 1, 0, 0);
  EXPECT_TRUE(canvas.calls.isEmpty());

  // The designer shows a placeholder in the corner, and the corner marks.
  view.SetDesigning(true);
  view.Draw(canvas, 1, 1, 0, 0);
  EXPECT_EQ(canvas.Starting("Rectangle"), Calls{"Rectangle 12,22,30,38"});
  EXPECT_EQ(canvas.Starting("Polyline").size(), 1 + 4);

  // Metafiles wait for the metafile player: nothing of the picture.
  canvas.Clear();
  view.SetDesigning(false);
  view.SetPicture(MetafilePicture());
  ASSERT_FALSE(view.Picture().IsEmpty());
  view.Draw(canvas, 1, 1, 0, 0);
  EXPECT_TRUE(canvas.calls.isEmpty());
}

// --- damaged files ----------------------------------------------------------------------

TEST(ViewDrawingTest, AbsurdBoundsAndWidthsDrawBoundedWork) {
  for (const double v : {1e12, -1e12, 1e300, std::nan("")}) {
    std::vector<std::unique_ptr<TovxView>> views;
    auto shape = std::make_unique<TovxShapeView>();
    shape->SetShape(TovxShapeKind::skEllipse);
    shape->SetFillType(TovxFillType::ftGradient);
    static_cast<TovxGradientFill&>(shape->Fill()).SetGradientStyle(TovxGradientStyle::gsVertCenter);
    shape->Frame().SetStyle(TovxFrameStyle::fsDouble);
    views.push_back(std::move(shape));
    auto line = std::make_unique<TovxLineView>();
    line->SetDiagonal(true);
    line->SetArrowStart(true);
    line->SetArrowEnd(true);
    line->SetArrowLength(1'000'000'000);
    line->Frame().SetStyle(TovxFrameStyle::fsDash);
    views.push_back(std::move(line));
    auto picture = std::make_unique<TovxPictureView>();
    picture->SetPicture(PngPicture(2, 2));
    picture->SetStretched(false);
    picture->SetCenter(true);
    picture->SetDesigning(true);
    views.push_back(std::move(picture));
    for (const auto& view : views) {
      view->SetBounds(v, -v, std::fabs(v), std::fabs(v));
      view->Frame().SetWidth(v);
      TestCanvas canvas;
      canvas.IntersectClipRect({0, 0, 100, 100});
      view->Draw(canvas, 1, 1, 0, 0);
      EXPECT_LE(canvas.calls.size(), 1000) << view->GetDescription().toStdString() << " " << v;
    }
  }
}

// --- the page background ----------------------------------------------------------------

TEST(PageDrawingTest, BackgroundOverThePrintableArea) {
  TovxReportPage page;
  page.SetLeftMargin(10);
  page.SetTopMargin(5);
  page.SetColor(clYellow);
  page.SetBackPicture(PngPicture(2, 3));
  TestCanvas canvas;
  page.Draw(canvas, 1, 1, 0, 0);
  // Left 10 mm = 37.8 units, top 18.9; the printable area 200 x 292 mm.
  EXPECT_EQ(canvas.Recorded(), (Calls{"FillRect 38,19,794,1123", "Picture 38,19,794,1123"}));

  // The margins scale with the page; an unstretched picture keeps its
  // own size.
  canvas.Clear();
  page.SetBackPictureStretched(false);
  page.Draw(canvas, 2, 2, 5, 7);
  EXPECT_EQ(canvas.Recorded(), (Calls{"FillRect 81,45,85,51", "Picture 81,45,85,51"}));
}

TEST(PageDrawingTest, VisibleAndPrintableFlags) {
  struct Case {
    bool visible;
    bool printable;
    bool printer;
    bool drawn;
  };
  const Case cases[] = {
      {true, true, false, true},  {true, true, true, true},    {true, false, false, true},
      {true, false, true, false}, {false, true, false, false}, {false, true, true, false},
  };
  for (const Case& c : cases) {
    TovxReportPage page;
    page.SetBackPicture(PngPicture(2, 2));
    page.SetBackPictureVisible(c.visible);
    page.SetBackPicturePrintable(c.printable);
    TestCanvas canvas;
    canvas.printer = c.printer;
    page.Draw(canvas, 1, 1, 0, 0);
    EXPECT_EQ(!canvas.calls.isEmpty(), c.drawn) << c.visible << c.printable << c.printer;
  }
}

}  // namespace
