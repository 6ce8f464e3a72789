// The metafile recorder: what it writes is a well-formed enhanced metafile
// (header, counts, records other readers accept), text keeps its exact
// advances, and replaying the file draws the same pixels as drawing
// directly.
#include "render/emf_player.h"
#include "render/emf_records.h"
#include "tests/render/emf_test_support.h"

#include "base/stream.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

#ifdef VELMORA_HAVE_UEMF
extern "C" {
int U_emf_record_safe(const char* record);
int U_emf_record_sizeok(const char* record, const char* blimit, uint32_t* nSize, uint32_t* iType,
                        int torev);
}
#endif

namespace ovx {
namespace {

using test::Drawing;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

CanvasPen Pen(Color color, int width = 1, PenStyle style = PenStyle::kSolid) {
  CanvasPen pen;
  pen.color = color;
  pen.width = width;
  pen.style = style;
  return pen;
}

CanvasPen GeometricPen(Color color, int width, LineCap cap, std::vector<int> dashes = {},
                       PenStyle style = PenStyle::kSolid) {
  CanvasPen pen = Pen(color, width, style);
  pen.geometric = true;
  pen.cap = cap;
  pen.dashes = std::move(dashes);
  return pen;
}

QImage Picture(bool with_alpha) {
  QImage image(7, 5, with_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgba(30 * x, 50 * y, (x + y) % 2 ? 255 : 0, with_alpha ? 40 * x : 255));
  return image;
}

struct Case {
  const char* name;
  Drawing draw;
};

std::vector<Case> Cases() {
  return {
      {"styled one-pixel lines",
       [](Canvas& c) {
         const PenStyle styles[] = {PenStyle::kSolid, PenStyle::kDash, PenStyle::kDot,
                                    PenStyle::kDashDot, PenStyle::kDashDotDot};
         int y = 4;
         for (PenStyle style : styles) {
           for (bool solid_brush : {true, false}) {
             c.Pen() = Pen(clNavy, 1, style);
             c.Brush() = {clYellow,
                          solid_brush ? TovxBrushStyle::bsSolid : TovxBrushStyle::bsClear};
             c.MoveTo(3, y);
             c.LineTo(150, y + 7);
             c.LineTo(20, y + 9);
             const QPoint zigzag[] = {{5, y + 2}, {40, y + 9}, {60, y}, {61, y + 5}};
             c.Polyline(zigzag);
             y += 11;
           }
         }
       }},
      {"wide and geometric pens",
       [](Canvas& c) {
         c.Brush() = {clWhite, TovxBrushStyle::bsClear};
         c.Pen() = Pen(clRed, 3, PenStyle::kDash);
         c.MoveTo(5, 5);
         c.LineTo(150, 20);
         int y = 30;
         for (LineCap cap : {LineCap::kRound, LineCap::kSquare, LineCap::kFlat}) {
           c.Pen() = GeometricPen(clGreen, 5, cap);
           c.MoveTo(10, y);
           c.LineTo(70, y + 10);
           c.Pen() = GeometricPen(clBlue, 4, cap, {6, 3, 1, 3});
           c.MoveTo(80, y);
           c.LineTo(150, y);
           c.Pen() = GeometricPen(clPurple, 2, cap, {}, PenStyle::kDashDot);
           c.MoveTo(80, y + 8);
           c.LineTo(150, y + 20);
           y += 28;
         }
       }},
      {"shapes and brushes",
       [](Canvas& c) {
         const TovxBrushStyle brushes[] = {
             TovxBrushStyle::bsSolid,    TovxBrushStyle::bsClear,     TovxBrushStyle::bsHorizontal,
             TovxBrushStyle::bsVertical, TovxBrushStyle::bsFDiagonal, TovxBrushStyle::bsBDiagonal,
             TovxBrushStyle::bsCross,    TovxBrushStyle::bsDiagCross};
         int i = 0;
         for (TovxBrushStyle brush : brushes) {
           const int x = 4 + (i % 4) * 39, y = 4 + (i / 4) * 58;
           c.Pen() = i % 3 == 0 ? Pen(clBlack, 1, PenStyle::kClear) : Pen(clMaroon, 1 + i % 2);
           c.Brush() = {i % 2 ? clTeal : clFuchsia, brush};
           c.Rectangle({x, y, x + 30, y + 12});
           c.RoundRect({x + 30, y + 14, x, y + 27}, 9, 7);
           c.Ellipse({x, y + 29, x + 33, y + 44});
           const QPoint star[] = {{x + 2, y + 46},
                                  {x + 30, y + 47},
                                  {x + 8, y + 56},
                                  {x + 16, y + 44},
                                  {x + 24, y + 57}};
           c.Polygon(star);
           ++i;
         }
       }},
      {"fill rectangles",
       [](Canvas& c) {
         c.Brush() = {clSilver, TovxBrushStyle::bsSolid};
         c.FillRect({0, 0, kWidth, kHeight});
         c.Brush() = {clRed, TovxBrushStyle::bsCross};
         c.FillRect({10, 10, 70, 50});
         c.Brush() = {clWindowText, TovxBrushStyle::bsSolid};
         c.FillRect({80, 10, 150, 50});
         c.Brush() = {clNone, TovxBrushStyle::bsSolid};
         c.FillRect({0, 0, kWidth, kHeight});
       }},
      {"clips saved and restored",
       [](Canvas& c) {
         // Within a clip from the start, as pages are drawn: a canvas
         // whose clip a RestoreDC removes ignores the next clip region
         // (QPainter), which the replay does not imitate.
         c.IntersectClipRect({0, 0, kWidth, kHeight});
         c.Brush() = {clAqua, TovxBrushStyle::bsSolid};
         c.SaveDC();
         c.IntersectClipRect({20, 20, 100, 90});
         c.FillRect({0, 0, kWidth, kHeight});
         c.ExcludeClipRect({40, 40, 60, 60});
         c.Brush() = {clOlive, TovxBrushStyle::bsSolid};
         c.Ellipse({10, 10, 120, 100});
         c.RestoreDC();
         QRegion region(QRect(110, 5, 30, 30));
         region += QRect(120, 60, 35, 50);
         c.SelectClipRegion(region);
         c.SetMetaClip();
         c.IntersectClipRect({0, 0, 140, 100});
         c.Brush() = {clLime, TovxBrushStyle::bsSolid};
         c.FillRect({0, 0, kWidth, kHeight});
         c.SelectClipRegion(std::nullopt);
         c.Pen() = Pen(clBlack, 2);
         c.MoveTo(0, 0);
         c.LineTo(kWidth, kHeight);
       }},
      {"path clip",
       [](Canvas& c) {
         c.SaveDC();
         c.BeginPath();
         c.Ellipse({10, 10, 110, 80});
         c.MoveTo(120, 10);
         c.LineTo(150, 60);
         c.LineTo(120, 110);
         c.EndPath();
         c.SelectClipPath();
         for (int x = 0; x < kWidth; x += 4) {
           c.Brush() = {RgbColor(x, 255 - x, 128), TovxBrushStyle::bsSolid};
           c.FillRect({x, 0, x + 4, kHeight});
         }
         c.RestoreDC();
         c.Pen() = Pen(clBlack);
         c.Brush() = {clWhite, TovxBrushStyle::bsClear};
         c.Ellipse({10, 10, 110, 80});
       }},
      {"text",
       [](Canvas& c) {
         c.Font().name = QStringLiteral("Arial");
         c.Font().height = -14;
         c.ExtTextOut(2, 2, 0, nullptr, u"Plain text, font advances", {});
         const int advances[] = {12, 9, 15, 7, 11};
         c.Font().color = clRed;
         c.ExtTextOut(2, 20, 0, nullptr, u"Given", advances);
         c.ExtTextOut(70, 20, 0, nullptr, u"Partly given", std::span<const int>(advances, 2));
         c.Font().style_bits = 1 | 2 | 4 | 8;
         c.Font().color = clNavy;
         c.ExtTextOut(2, 38, 0, nullptr, u"Bold italic lines", {});
         c.Font().style_bits = 0;
         const PixelRect clip{10, 60, 60, 68};
         c.ExtTextOut(4, 56, kTextClipped, &clip, u"Clipped through", {});
         c.Font().escapement = 900;
         c.ExtTextOut(140, 115, 0, nullptr, u"Upwards", {});
         c.Font().escapement = 450;
         c.ExtTextOut(80, 110, kTextRtlReading, nullptr, u"Turned", {});
         c.Font().escapement = 0;
         c.Font().name = QStringLiteral("楷体");
         c.Font().height = -20;
         c.Font().color = clGreen;
         c.ExtTextOut(2, 80, 0, nullptr, u"道可道\U00020000非常道", {});
         c.Font().color = clNone;
         c.ExtTextOut(2, 100, 0, nullptr, u"never drawn", {});
       }},
      {"pictures",
       [](Canvas& c) {
         c.StretchDraw({5, 5, 75, 55}, Picture(false));
         c.StretchDraw({80, 5, 150, 55}, Picture(false), clBlack);
         c.Brush() = {clYellow, TovxBrushStyle::bsSolid};
         c.FillRect({0, 60, kWidth, kHeight});
         c.StretchDraw({5, 62, 150, 118}, Picture(true));
         QImage indexed = Picture(false).convertToFormat(QImage::Format_Indexed8);
         c.StretchDraw({-20, 90, 30, 200}, indexed);
       }},
      {"many pens, brushes and fonts",
       [](Canvas& c) {
         c.Font().name = QStringLiteral("Arial");
         for (int round = 0; round < 2; ++round) {
           for (int i = 0; i < 40; ++i) {
             c.Pen() = Pen(RgbColor(6 * i, 255 - 6 * i, 40 * round), 1 + i % 3);
             c.Brush() = {RgbColor(255 - 6 * i, 3 * i, 100), TovxBrushStyle::bsSolid};
             c.Rectangle({4 * i, 3 * i + 40 * round, 4 * i + 9, 3 * i + 40 * round + 7});
             c.Font().height = -(8 + i % 20);
             c.ExtTextOut(4 * i, 2 * i, 0, nullptr, u"x", {});
           }
         }
       }},
      {"coordinates beyond 16 bits",
       [](Canvas& c) {
         c.Pen() = Pen(clBlack, 1);
         c.Brush() = {clRed, TovxBrushStyle::bsSolid};
         const QPoint big[] = {{-40000, 60}, {80, -50000}, {70000, 90}, {80, 100}};
         c.Polygon(big);
         c.MoveTo(-100000, -100000);
         c.LineTo(100000, 100000);
         c.Rectangle({100, 100, 200000, 200000});
       }},
  };
}

// Record offsets and types of a metafile, walked by their sizes.
std::vector<std::pair<qsizetype, quint32>> Walk(const QByteArray& bytes) {
  std::vector<std::pair<qsizetype, quint32>> records;
  qsizetype at = 0;
  while (at + 8 <= bytes.size()) {
    const quint32 size = internal::LoadU32(bytes, at + 4);
    records.emplace_back(at, internal::LoadU32(bytes, at));
    if (size < 8) break;
    at += size;
  }
  return records;
}

TEST(MetafileCanvasTest, ReplayDrawsTheSamePixelsAsDirectDrawing) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const QImage direct = test::DrawDirectly(c.draw, kWidth, kHeight);
    const Metafile file = test::Record(c.draw, kWidth, kHeight);
    QString error;
    const QImage replayed = test::Replay(file, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_GT(test::InkedPixels(direct), 200);
    EXPECT_EQ(test::DifferingPixels(direct, replayed), 0);
  }
}

TEST(MetafileCanvasTest, HeaderCountsTheFile) {
  MetafileCanvas canvas(561, 397, 96, QStringLiteral("Page 1"));
  Cases()[2].draw(canvas);
  const Metafile file = canvas.Finish();
  const QByteArray& bytes = file.bytes;
  EXPECT_EQ(file.size, QSize(561, 397));
  const TEnhMetaHeaderObj header(bytes.left(internal::LoadU32(bytes, 4)));
  EXPECT_EQ(header.Type(), 1u);
  EXPECT_EQ(header.Signature(), emf::kSignature);
  EXPECT_EQ(header.FileBytes(), static_cast<quint32>(bytes.size()));
  const auto records = Walk(bytes);
  EXPECT_EQ(header.RecordCount(), records.size());
  EXPECT_EQ(records.back().second, static_cast<quint32>(emf::kEmrEoF));
  EXPECT_EQ(records.back().first + 20, bytes.size());
  quint32 max_handle = 0;
  for (const auto& [at, type] : records) {
    EXPECT_EQ(at % 4, 0);
    if (type == emf::kEmrCreatePen || type == emf::kEmrExtCreatePen ||
        type == emf::kEmrCreateBrushIndirect || type == emf::kEmrExtCreateFontIndirectW)
      max_handle = std::max(max_handle, internal::LoadU32(bytes, at + 8));
  }
  EXPECT_EQ(header.HandleCount(), max_handle + 1);
  // The frame in hundredths of a millimetre, the reference device at 96
  // pixels per inch exactly.
  EXPECT_EQ(header.Frame(), QRect(QPoint(0, 0), QPoint(14843, 10504)));
  EXPECT_DOUBLE_EQ(double(header.Device().width()) / header.Millimeters().width(), 96 / 25.4);
  EXPECT_DOUBLE_EQ(double(header.Device().height()) / header.Millimeters().height(), 96 / 25.4);
  EXPECT_EQ(header.Description(),
            QStringLiteral("Velmora") + QChar(0) + QStringLiteral("Page 1") + QChar(0) + QChar(0));
  // What was drawn lies inside the bounds.
  EXPECT_EQ(header.Bounds().topLeft(), QPoint(4, 4));
}

// A player that keeps a copy of every text record.
class TextRecords : public TEMFAbstractExport {
 public:
  using TEMFAbstractExport::TEMFAbstractExport;
  struct Run {
    QString text;
    QPoint reference;
    std::vector<int> advances;
    quint32 options;
    QString face;
    int height;
  };
  std::vector<Run> runs;
  int fonts_created = 0;

 protected:
  void DoExtTextOutW() override {
    TEMFAbstractExport::DoExtTextOutW();
    const auto& r = Current<TEMRExtTextOutWObj>();
    runs.push_back({r.Text(), r.Reference(), r.Advances(), r.Options(),
                    DeviceContext().FontFaceName(), DeviceContext().FontSignedHeight()});
  }
  void DoExtCreateFontIndirectW() override {
    TEMFAbstractExport::DoExtCreateFontIndirectW();
    ++fonts_created;
  }
};

TEST(MetafileCanvasTest, TextKeepsItsExactAdvances) {
  MetafileCanvas canvas(200, 100);
  canvas.Font().name = QStringLiteral("Arial");
  canvas.Font().height = -16;
  const int given[] = {11, 13};
  // "A", then a character outside the BMP (two units), then "B": the
  // caller gives two advances, the font the rest.
  const QString text = QStringLiteral("A") + QString::fromUcs4(U"\U00020000") + QStringLiteral("B");
  const PixelRect clip{0, 0, 50, 20};
  canvas.ExtTextOut(7, 9, kTextClipped, &clip, text, given);
  for (int i = 0; i < 30; ++i) canvas.ExtTextOut(i, 40, 0, nullptr, u"x", {});
  const Metafile file = canvas.Finish();

  MemoryStream input(file.bytes);
  TextRecords player(input, nullptr);
  player.Play();
  ASSERT_EQ(player.runs.size(), 31u);
  const TextRecords::Run& run = player.runs[0];
  EXPECT_EQ(run.text, text);
  EXPECT_EQ(run.reference, QPoint(7, 9));
  EXPECT_EQ(run.options, static_cast<quint32>(emf::kEtoClipped));
  EXPECT_EQ(run.face, QStringLiteral("Arial"));
  EXPECT_EQ(run.height, -16);
  const ScaledFont font(QStringLiteral("Arial"), -16, 0);
  EXPECT_EQ(run.advances, (std::vector<int>{11, 13, 0, font.Advance(U'B')}));
  // One font object serves every run of the same font.
  EXPECT_EQ(player.fonts_created, 1);
}

TEST(MetafileCanvasTest, ObjectsBeyondTheCacheAreDeletedAndTheirHandlesReused) {
  const Metafile file = test::Record(Cases()[8].draw, kWidth, kHeight);
  int created = 0, deleted = 0;
  for (const auto& [at, type] : Walk(file.bytes)) {
    created += type == emf::kEmrCreatePen || type == emf::kEmrCreateBrushIndirect ||
               type == emf::kEmrExtCreateFontIndirectW;
    deleted += type == emf::kEmrDeleteObject;
  }
  EXPECT_GT(deleted, 0);
  EXPECT_LE(created - deleted, 3 * 16 + 3);
  const TEnhMetaHeaderObj header(file.bytes.left(internal::LoadU32(file.bytes, 4)));
  EXPECT_LE(header.HandleCount(), 3 * 17 + 1);
}

TEST(MetafileCanvasTest, DrawingAfterFinishIsNotRecorded) {
  MetafileCanvas canvas(10, 10);
  canvas.Rectangle({1, 1, 5, 5});
  const Metafile file = canvas.Finish();
  canvas.Rectangle({2, 2, 6, 6});
  EXPECT_TRUE(canvas.Finish().IsEmpty());
  int rectangles = 0;
  for (const auto& [at, type] : Walk(file.bytes)) rectangles += type == emf::kEmrRectangle;
  EXPECT_EQ(rectangles, 1);
}

TEST(MetafileCanvasTest, VisibilityIsThatOfADeviceOfTheRecordedSize) {
  MetafileCanvas canvas(100, 50);
  EXPECT_TRUE(canvas.RectVisible({90, 40, 120, 60}));
  EXPECT_FALSE(canvas.RectVisible({100, 0, 120, 10}));
  EXPECT_FALSE(canvas.RectVisible({-20, 0, 0, 10}));
  canvas.IntersectClipRect({10, 10, 20, 20});
  EXPECT_FALSE(canvas.RectVisible({30, 30, 40, 40}));
  EXPECT_TRUE(canvas.RectVisible({15, 15, 40, 40}));
}

TEST(MetafileCanvasTest, OtherReadersAcceptEveryRecord) {
#ifndef VELMORA_HAVE_UEMF
  GTEST_SKIP() << "libuemf is not installed";
#else
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const QByteArray bytes = test::Record(c.draw, kWidth, kHeight).bytes;
    for (const auto& [at, type] : Walk(bytes)) {
      SCOPED_TRACE(emf::RecordName(type).toStdString());
      uint32_t size = 0, kind = 0;
      EXPECT_EQ(U_emf_record_sizeok(bytes.constData() + at, bytes.constData() + bytes.size(), &size,
                                    &kind, 1),
                1);
      EXPECT_EQ(U_emf_record_safe(bytes.constData() + at), 1);
    }
  }
#endif
}

// emf2svg-conv converts the file, and the SVG rendered by rsvg-convert
// looks like our own drawing: the same pixels are inked to within the
// rasterizers' differences at edges.
TEST(MetafileCanvasTest, Emf2svgRendersTheRecordedFileAlike) {
  const QString converter = QStandardPaths::findExecutable(QStringLiteral("emf2svg-conv"));
  const QString rasterizer = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
  if (converter.isEmpty() || rasterizer.isEmpty())
    GTEST_SKIP() << "emf2svg-conv or rsvg-convert is not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Shapes, lines and a picture: emf2svg draws text with its own fonts,
  // so text is compared by its presence in the SVG only. (It draws every
  // outline one pixel wide, so the pen is that wide.)
  const Drawing draw = [](Canvas& c) {
    c.Brush() = {clWhite, TovxBrushStyle::bsSolid};
    c.FillRect({0, 0, kWidth, kHeight});
    c.Pen() = Pen(clBlack, 1);
    c.Brush() = {clRed, TovxBrushStyle::bsSolid};
    c.Rectangle({10, 10, 70, 50});
    c.Brush() = {clBlue, TovxBrushStyle::bsSolid};
    c.Ellipse({80, 10, 150, 60});
    const QPoint triangle[] = {{20, 110}, {70, 60}, {120, 110}};
    c.Brush() = {clGreen, TovxBrushStyle::bsSolid};
    c.Polygon(triangle);
    // In the proportions of its place: SVG images keep theirs.
    QImage gradient(6, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 6; ++x) gradient.setPixel(x, y, qRgb(40 * x, 30 * y, 128));
    c.StretchDraw({125, 70, 155, 110}, gradient);
    c.Font().name = QStringLiteral("Arial");
    c.Font().height = -12;
    c.ExtTextOut(4, 100, 0, nullptr, u"Velmora", {});
  };
  const QString emf = dir.filePath(QStringLiteral("page.emf"));
  const QString svg = dir.filePath(QStringLiteral("page.svg"));
  const QString png = dir.filePath(QStringLiteral("page.png"));
  QFile out(emf);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(test::Record(draw, kWidth, kHeight).bytes);
  out.close();
  QProcess convert;
  convert.start(converter, {QStringLiteral("-i"), emf, QStringLiteral("-o"), svg});
  ASSERT_TRUE(convert.waitForFinished(60000));
  ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
  QFile svg_file(svg);
  ASSERT_TRUE(svg_file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg_file.readAll().contains("Velmora"));
  QProcess raster;
  // At the SVG's own size: emf2svg takes it from the inclusive bounds, a
  // pixel short of ours, and stretching would move every edge.
  raster.start(rasterizer,
               {QStringLiteral("-b"), QStringLiteral("white"), QStringLiteral("-o"), png, svg});
  ASSERT_TRUE(raster.waitForFinished(60000));
  ASSERT_EQ(raster.exitCode(), 0) << raster.readAllStandardError().toStdString();
  const QImage theirs = QImage(png)
                            .convertToFormat(QImage::Format_RGB32)
                            .copy(0, 0, kWidth, kHeight);  // pads with black
  ASSERT_FALSE(theirs.isNull());
  const QImage ours = test::DrawDirectly(draw, kWidth, kHeight);
  auto near = [](QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
  };
  // Away from the text line and the picture, each of our pixels has a
  // pixel of like colour within one pixel in theirs: the rasterizers
  // differ at edges, where theirs spreads a one-pixel line over two grey
  // ones.
  const QRect picture(QPoint(125, 70), QPoint(154, 109));
  qint64 differing = 0, compared = 0;
  for (int y = 1; y < 94; ++y) {
    for (int x = 1; x < kWidth - 1; ++x) {
      if (picture.contains(x, y)) continue;
      ++compared;
      bool found = false;
      for (int dy = -1; dy <= 1 && !found; ++dy)
        for (int dx = -1; dx <= 1 && !found; ++dx)
          found = near(ours.pixel(x, y), theirs.pixel(x + dx, y + dy), 128);
      differing += !found;
    }
  }
  EXPECT_LT(differing * 100, compared) << differing << " of " << compared << " pixels differ";
  // The picture's 6 x 8 cells, smoothed by the SVG renderer, keep their
  // colours at their centres.
  for (int cy = 0; cy < 8; ++cy) {
    for (int cx = 0; cx < 6; ++cx) {
      const QPoint centre(125 + 5 * cx + 2, 70 + 5 * cy + 2);
      EXPECT_TRUE(near(ours.pixel(centre), theirs.pixel(centre), 24)) << cx << "," << cy;
    }
  }
}

}  // namespace
}  // namespace ovx
