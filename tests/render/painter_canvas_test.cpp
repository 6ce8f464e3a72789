// The QPainter canvas, pixel by pixel: every drawing is read back as a
// small picture, one character per pixel, so a case shows exactly which
// pixels a convention sets and which it leaves alone.
#include "render/painter_canvas.h"
#include "render/primitives.h"
#include "tests/render/recording_canvas.h"

#include "base/error.h"

#include <QBuffer>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ovx {
namespace {

using test::RecordingCanvas;
using Picture = std::vector<std::string>;
using Drawing = std::function<void(PainterCanvas&)>;

// A picture written as a block of text, one row per line.
Picture Rows(std::string_view text) {
  Picture rows;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) rows.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return rows;
}

// '.' white, '#' black, 'r' red, 'g' lime, 'b' blue, '?' anything else.
Picture PictureOf(const QImage& image) {
  Picture rows;
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = 0; x < image.width(); ++x) {
      switch (image.pixel(x, y) & RGB_MASK) {
        case 0xFFFFFF:
          row += '.';
          break;
        case 0x000000:
          row += '#';
          break;
        case 0xFF0000:
          row += 'r';
          break;
        case 0x00FF00:
          row += 'g';
          break;
        case 0x0000FF:
          row += 'b';
          break;
        default:
          row += '?';
      }
    }
    rows.push_back(row);
  }
  return rows;
}

Picture Draw(int width, int height, const Drawing& draw, int dpi = 96) {
  auto canvas = PainterCanvas::ForImage(width, height, dpi);
  draw(*canvas);
  canvas->End();
  return PictureOf(*canvas->Image());
}

// The pixels that differ from white.
std::set<std::pair<int, int>> Inked(const Picture& picture) {
  std::set<std::pair<int, int>> out;
  for (size_t y = 0; y < picture.size(); ++y)
    for (size_t x = 0; x < picture[y].size(); ++x)
      if (picture[y][x] != '.') out.emplace(int(x), int(y));
  return out;
}

QImage Tiny(std::initializer_list<std::initializer_list<QRgb>> rows) {
  QImage image(int(rows.begin()->size()), int(rows.size()), QImage::Format_RGB32);
  int y = 0;
  for (const auto& row : rows) {
    int x = 0;
    for (QRgb c : row) image.setPixel(x++, y, c | 0xFF000000);
    ++y;
  }
  return image;
}

// --- the device ---------------------------------------------------------------------

TEST(PainterCanvasTest, ImageCanvasIsWhiteAtItsResolutionAndStopsAtEnd) {
  auto canvas = PainterCanvas::ForImage(3, 2, 300);
  EXPECT_EQ(canvas->DpiX(), 300);
  EXPECT_EQ(canvas->DpiY(), 300);
  ASSERT_NE(canvas->Image(), nullptr);
  EXPECT_EQ(canvas->Image()->logicalDpiX(), 300);
  canvas->End();
  EXPECT_EQ(PictureOf(*canvas->Image()), (Picture{"...", "..."}));
  canvas->FillRect({0, 0, 3, 2});
  EXPECT_EQ(PictureOf(*canvas->Image()), (Picture{"...", "..."})) << "drawing after End";

  EXPECT_THROW(PainterCanvas::ForImage(0, 10), Error);
  EXPECT_THROW(PainterCanvas::ForImage(10, -1), Error);
}

TEST(PainterCanvasTest, DeviceCanvasTakesTheDeviceResolutionUnlessGiven) {
  QImage image(4, 4, QImage::Format_RGB32);
  image.setDotsPerMeterX(5906);   // 150 dpi
  image.setDotsPerMeterY(11811);  // 300 dpi
  {
    PainterCanvas canvas(&image);
    EXPECT_EQ(canvas.Image(), nullptr);
    EXPECT_EQ(canvas.DpiX(), 150);
    EXPECT_EQ(canvas.DpiY(), 300);
  }
  PainterCanvas given(&image, 72, 144);
  EXPECT_EQ(given.DpiX(), 72);
  EXPECT_EQ(given.DpiY(), 144);
  PainterCanvas none(nullptr);
  EXPECT_EQ(none.DpiX(), 96);
  none.FillRect({0, 0, 4, 4});  // ignored, not a crash
}

TEST(PainterCanvasTest, PrintDeviceDrawsAtItsResolution) {
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  QPdfWriter writer(&pdf);
  writer.setResolution(300);
  {
    PainterCanvas canvas(&writer);
    EXPECT_EQ(canvas.DpiX(), 300);
    EXPECT_TRUE(canvas.RectVisible({0, 0, 10, 10}));
    canvas.Rectangle({10, 10, 200, 100});
    canvas.End();
  }
  EXPECT_TRUE(pdf.data().startsWith("%PDF"));
  EXPECT_EQ(PainterCanvas(&writer, 600).DpiX(), 600);
}

// --- lines and shapes ---------------------------------------------------------------

TEST(PainterCanvasTest, FillRectCoversLeftAndTopButNotRightAndBottomEdges) {
  struct Case {
    PixelRect rect;
    Picture picture;
  };
  const Case cases[] = {
      {{1, 1, 4, 3}, {".....", ".###.", ".###.", "....."}},
      {{3, 1, 1, 3}, {".....", ".....", ".....", "....."}},  // right before left
      {{1, 2, 4, 2}, {".....", ".....", ".....", "....."}},
      {{INT_MIN, 2, INT_MAX, INT_MAX}, {".....", ".....", "#####", "#####"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Draw(5, 4,
                   [&](PainterCanvas& canvas) {
                     canvas.Brush().color = clBlack;
                     canvas.FillRect(c.rect);
                   }),
              c.picture)
        << RecordingCanvas::RectText(c.rect).toStdString();
  }
}

TEST(PainterCanvasTest, LineToLeavesOutItsEndPixelAndMovesThePen) {
  struct Case {
    QPoint from, to;
    CanvasPen pen;
    Picture picture;
  };
  CanvasPen clear;
  clear.style = PenStyle::kClear;
  CanvasPen none;
  none.color = clNone;
  const Case cases[] = {
      {{0, 1}, {5, 1}, {}, {"......", "#####.", "......", "......"}},
      {{5, 2}, {0, 2}, {}, {"......", "......", ".#####", "......"}},
      {{1, 0}, {1, 3}, {}, {".#....", ".#....", ".#....", "......"}},
      {{0, 0}, {3, 3}, {}, {"#.....", ".#....", "..#...", "......"}},
      {{0, 0}, {4, 2}, {}, {"##....", "..##..", "......", "......"}},
      {{2, 2}, {2, 2}, {}, {"......", "......", "......", "......"}},
      {{0, 1}, {5, 1}, clear, {"......", "......", "......", "......"}},
      {{0, 1}, {5, 1}, none, {"......", "......", "......", "......"}},
      {{INT_MIN, 3}, {INT_MAX, 3}, {}, {"......", "......", "......", "######"}},
      {{-1'000'000'000, -1'000'000'000},
       {1'000'000'000, 1'000'000'000},
       {},
       {"#.....", ".#....", "..#...", "...#.."}},
  };
  for (const Case& c : cases) {
    QPoint pen_pos;
    EXPECT_EQ(Draw(6, 4,
                   [&](PainterCanvas& canvas) {
                     canvas.Pen() = c.pen;
                     canvas.MoveTo(c.from.x(), c.from.y());
                     canvas.LineTo(c.to.x(), c.to.y());
                     pen_pos = canvas.PenPos();
                   }),
              c.picture)
        << c.from.x() << "," << c.from.y() << " to " << c.to.x() << "," << c.to.y();
    EXPECT_EQ(pen_pos, c.to);
  }
}

TEST(PainterCanvasTest, SlopedLinesCoverTheSamePixelsInBothDirections) {
  // The platform breaks midpoint ties by direction so that a line and its
  // reverse differ only in which end pixel they leave out.
  const std::pair<QPoint, QPoint> lines[] = {
      {{0, 0}, {8, 2}}, {{0, 0}, {2, 8}}, {{9, 0}, {1, 3}}, {{1, 8}, {9, 1}},
      {{0, 5}, {9, 4}}, {{3, 0}, {6, 9}}, {{0, 0}, {9, 9}}, {{9, 0}, {0, 6}},
  };
  for (const auto& [a, b] : lines) {
    auto line = [](QPoint from, QPoint to) {
      return Inked(Draw(10, 10, [&](PainterCanvas& canvas) {
        canvas.MoveTo(from.x(), from.y());
        canvas.LineTo(to.x(), to.y());
      }));
    };
    auto forward = line(a, b);
    auto backward = line(b, a);
    forward.emplace(b.x(), b.y());
    backward.emplace(a.x(), a.y());
    EXPECT_EQ(forward, backward) << a.x() << "," << a.y() << " - " << b.x() << "," << b.y();
  }
}

TEST(PainterCanvasTest, RectangleOutlinesInsideItsAreaAndFillsWithTheBrush) {
  struct Case {
    const char* name;
    PixelRect rect;
    CanvasPen pen;
    CanvasBrush brush;
    std::string_view picture;
  };
  CanvasPen clear;
  clear.style = PenStyle::kClear;
  CanvasPen wide;
  wide.width = 3;
  const CanvasBrush red{clRed, TovxBrushStyle::bsSolid};
  const CanvasBrush hollow{clRed, TovxBrushStyle::bsClear};
  const Case cases[] = {
      {"one-pixel pen", {2, 2, 8, 7}, {}, red, R"(
..........
..........
..######..
..#rrrr#..
..#rrrr#..
..#rrrr#..
..######..
..........
)"},
      {"corners in any order", {8, 7, 2, 2}, {}, red, R"(
..........
..........
..######..
..#rrrr#..
..#rrrr#..
..#rrrr#..
..######..
..........
)"},
      // Without an outline the platform fills one pixel less.
      {"clear pen", {2, 2, 8, 7}, clear, red, R"(
..........
..........
..rrrrr...
..rrrrr...
..rrrrr...
..rrrrr...
..........
..........
)"},
      {"clear brush", {2, 2, 8, 7}, {}, hollow, R"(
..........
..........
..######..
..#....#..
..#....#..
..#....#..
..######..
..........
)"},
      // Wider pens are centred on the one-pixel outline.
      {"three-pixel pen", {2, 2, 8, 7}, wide, red, R"(
..........
.########.
.########.
.########.
.###rr###.
.########.
.########.
.########.
)"},
      {"no width", {2, 2, 2, 7}, {}, red, R"(
..........
..........
..........
..........
..........
..........
..........
..........
)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Draw(10, 8,
                   [&](PainterCanvas& canvas) {
                     canvas.Pen() = c.pen;
                     canvas.Brush() = c.brush;
                     canvas.Rectangle(c.rect);
                   }),
              Rows(c.picture))
        << c.name;
  }
}

TEST(PainterCanvasTest, EllipseAndRoundRectStayInsideTheirRectangle) {
  auto ellipse = [](PenStyle style) {
    return Draw(14, 11, [&](PainterCanvas& canvas) {
      canvas.Pen().style = style;
      canvas.Brush().color = clRed;
      canvas.Ellipse({1, 1, 12, 10});
    });
  };
  EXPECT_EQ(ellipse(PenStyle::kSolid), Rows(R"(
..............
....#####.....
..##rrrrr##...
.##rrrrrrr##..
.#rrrrrrrrr#..
.#rrrrrrrrr#..
.#rrrrrrrrr#..
.##rrrrrrr##..
..##rrrrr##...
....#####.....
..............
)"));
  EXPECT_EQ(ellipse(PenStyle::kClear), Rows(R"(
..............
....rrrrr.....
..rrrrrrrr....
.rrrrrrrrrr...
.rrrrrrrrrr...
.rrrrrrrrrr...
.rrrrrrrrrr...
..rrrrrrrr....
....rrrrr.....
..............
..............
)"));
  EXPECT_EQ(Draw(14, 11,
                 [](PainterCanvas& canvas) {
                   canvas.Brush().color = clRed;
                   canvas.RoundRect({1, 1, 13, 10}, 6, 6);
                 }),
            Rows(R"(
..............
..##########..
.##rrrrrrrr##.
.#rrrrrrrrrr#.
.#rrrrrrrrrr#.
.#rrrrrrrrrr#.
.#rrrrrrrrrr#.
.#rrrrrrrrrr#.
.##rrrrrrrr##.
..##########..
..............
)"));
  // Corners of two pixels or less are square.
  auto rect = [](const Drawing& draw) { return Draw(8, 8, draw); };
  EXPECT_EQ(rect([](PainterCanvas& c) {
              c.RoundRect({1, 1, 7, 7}, 2, 5);
            }),
            rect([](PainterCanvas& c) {
              c.Rectangle({1, 1, 7, 7});
            }));
}

TEST(PainterCanvasTest, PolygonAndPolylineFollowTheirPoints) {
  const QPoint triangle[] = {{1, 1}, {7, 1}, {1, 7}};
  auto draw = [&](void (PainterCanvas::*shape)(std::span<const QPoint>)) {
    return Draw(9, 9, [&](PainterCanvas& canvas) {
      canvas.Brush().color = clRed;
      (canvas.*shape)(std::span<const QPoint>(triangle));
    });
  };
  EXPECT_EQ(draw(&PainterCanvas::Polygon), Rows(R"(
.........
.#######.
.#rrrr#..
.#rrr#...
.#rr#....
.#r#.....
.##......
.#.......
.........
)"));
  EXPECT_EQ(draw(&PainterCanvas::Polyline), Rows(R"(
.........
.#######.
......#..
.....#...
....#....
...#.....
..#......
.........
.........
)"));
}

// --- pens ---------------------------------------------------------------------------

TEST(PainterCanvasTest, StyledPensRepeatThePlatformPatternsFromEachLine) {
  struct Case {
    PenStyle style;
    std::string row;
  };
  // Dash 18 on 6 off, dot 3/3, dash-dot 9,6,3,6, dash-dot-dot 9,3,3,3,3,3.
  const Case cases[] = {
      {PenStyle::kDash, "##################......##################......"},
      {PenStyle::kDot, "###...###...###...###...###...###...###...###..."},
      {PenStyle::kDashDot, "#########......###......#########......###......"},
      {PenStyle::kDashDotDot, "#########...###...###...#########...###...###..."},
  };
  for (const Case& c : cases) {
    const Picture picture = Draw(49, 1, [&](PainterCanvas& canvas) {
      canvas.Pen().style = c.style;
      canvas.Brush().style = TovxBrushStyle::bsClear;
      canvas.MoveTo(0, 0);
      canvas.LineTo(49, 0);
    });
    EXPECT_EQ(picture[0].substr(0, 48), c.row) << int(c.style);
  }

  // Every LineTo starts the pattern afresh; a polyline carries it on.
  auto dotted = [](const Drawing& lines) {
    return Draw(20, 1, [&](PainterCanvas& canvas) {
      canvas.Pen().style = PenStyle::kDot;
      canvas.Brush().style = TovxBrushStyle::bsClear;
      lines(canvas);
    })[0];
  };
  EXPECT_EQ(dotted([](PainterCanvas& c) {
              c.MoveTo(0, 0);
              c.LineTo(10, 0);
              c.LineTo(20, 0);
            }),
            "###...###.###...###.");
  EXPECT_EQ(dotted([](PainterCanvas& c) {
              const QPoint points[] = {{0, 0}, {10, 0}, {20, 0}};
              c.Polyline(points);
            }),
            "###...###...###...##");

  // The gaps show the brush colour while the brush is solid and let the
  // background through otherwise.
  auto gaps = [](CanvasBrush brush) {
    return Draw(12, 1, [&](PainterCanvas& canvas) {
      canvas.Pen().style = PenStyle::kDot;
      canvas.Brush() = brush;
      canvas.MoveTo(0, 0);
      canvas.LineTo(12, 0);
    })[0];
  };
  EXPECT_EQ(gaps({clRed, TovxBrushStyle::bsSolid}), "###rrr###rrr");
  EXPECT_EQ(gaps({clRed, TovxBrushStyle::bsClear}), "###...###...");
  EXPECT_EQ(gaps({clRed, TovxBrushStyle::bsCross}), "###...###...");
  EXPECT_EQ(gaps({clNone, TovxBrushStyle::bsSolid}), "###...###...");
}

TEST(PainterCanvasTest, WiderCosmeticPensAreSolidWithRoundEnds) {
  EXPECT_EQ(Draw(16, 9,
                 [](PainterCanvas& canvas) {
                   canvas.Pen().width = 5;
                   canvas.Pen().style = PenStyle::kDash;
                   canvas.MoveTo(4, 4);
                   canvas.LineTo(11, 4);
                 }),
            Rows(R"(
................
................
...##########...
..############..
..############..
..############..
...##########...
................
................
)"));
}

TEST(PainterCanvasTest, GeometricPensEndInTheirCaps) {
  struct Case {
    LineCap cap;
    std::string_view picture;
  };
  // Width 4 about y = 4 covers rows 2..5. The line ends before x = 12 as
  // every line does; square and round caps reach 2 pixels further.
  const Case cases[] = {
      {LineCap::kFlat, R"(
................
................
....########....
....########....
....########....
....########....
................
)"},
      {LineCap::kSquare, R"(
................
................
..############..
..############..
..############..
..############..
................
)"},
      {LineCap::kRound, R"(
................
................
...##########...
..############..
..############..
...##########...
................
)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Draw(16, 7,
                   [&](PainterCanvas& canvas) {
                     canvas.Pen().geometric = true;
                     canvas.Pen().width = 4;
                     canvas.Pen().cap = c.cap;
                     canvas.MoveTo(4, 4);
                     canvas.LineTo(12, 4);
                   }),
              Rows(c.picture))
        << int(c.cap);
  }
  // An odd width is centred on the line's pixels: a frame line pulled in by
  // one pixel at both ends reaches back to the corners with its caps.
  EXPECT_EQ(Draw(5, 9,
                 [](PainterCanvas& canvas) {
                   canvas.Pen().geometric = true;
                   canvas.Pen().width = 3;
                   canvas.Pen().cap = LineCap::kSquare;
                   canvas.MoveTo(2, 2);
                   canvas.LineTo(2, 6);
                 }),
            Rows(R"(
.....
.###.
.###.
.###.
.###.
.###.
.###.
.###.
.....
)"));
}

TEST(PainterCanvasTest, GeometricDashPatternsMakeDashesDotsAndSquares) {
  struct Case {
    const char* name;
    int width;
    LineCap cap;
    std::vector<int> dashes;
    PenStyle style;
    std::string_view picture;
  };
  const Case cases[] = {
      {"zero-length round dashes are dots", 3, LineCap::kRound, {0, 6}, PenStyle::kSolid, R"(
....................
.###...###...###....
.###...###...###....
.###...###...###....
)"},
      {"even dots sit on the pixel corner", 2, LineCap::kRound, {0, 4}, PenStyle::kSolid, R"(
....................
.##..##..##..##..##.
.##..##..##..##..##.
....................
)"},
      {"flat squares", 3, LineCap::kFlat, {3, 3}, PenStyle::kSolid, R"(
....................
..###...###...###...
..###...###...###...
..###...###...###...
)"},
      {"single pixels", 1, LineCap::kFlat, {1, 1}, PenStyle::kSolid, R"(
....................
....................
..#.#.#.#.#.#.#.#...
....................
)"},
      {"a dotted style scales with the width", 2, LineCap::kFlat, {}, PenStyle::kDot, R"(
....................
..##..##..##..##....
..##..##..##..##....
....................
)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Draw(20, 4,
                   [&](PainterCanvas& canvas) {
                     canvas.Pen().geometric = true;
                     canvas.Pen().width = c.width;
                     canvas.Pen().cap = c.cap;
                     canvas.Pen().dashes = c.dashes;
                     canvas.Pen().style = c.style;
                     canvas.MoveTo(2, 2);
                     canvas.LineTo(18, 2);
                   }),
              Rows(c.picture))
        << c.name;
  }
}

// --- brushes ------------------------------------------------------------------------

TEST(PainterCanvasTest, HatchBrushesDrawOnlyTheirLinesAlignedToTheDevice) {
  struct Case {
    TovxBrushStyle style;
    std::string_view cell;
  };
  const Case cases[] = {
      {TovxBrushStyle::bsHorizontal,
       "gggggggg gggggggg gggggggg rrrrrrrr gggggggg gggggggg gggggggg gggggggg"},
      {TovxBrushStyle::bsVertical,
       "ggggrggg ggggrggg ggggrggg ggggrggg ggggrggg ggggrggg ggggrggg ggggrggg"},
      {TovxBrushStyle::bsFDiagonal,
       "rggggggg grgggggg ggrggggg gggrgggg ggggrggg gggggrgg ggggggrg gggggggr"},
      {TovxBrushStyle::bsBDiagonal,
       "gggggggr ggggggrg gggggrgg ggggrggg gggrgggg ggrggggg grgggggg rggggggg"},
      {TovxBrushStyle::bsCross,
       "ggggrggg ggggrggg ggggrggg rrrrrrrr ggggrggg ggggrggg ggggrggg ggggrggg"},
      {TovxBrushStyle::bsDiagCross,
       "rggggggr grggggrg ggrggrgg gggrrggg gggrrggg ggrggrgg grggggrg rggggggr"},
      {TovxBrushStyle::bsClear,
       "gggggggg gggggggg gggggggg gggggggg gggggggg gggggggg gggggggg gggggggg"},
  };
  for (const Case& c : cases) {
    auto hatch = [&](const PixelRect& area) {
      return Draw(16, 16, [&](PainterCanvas& canvas) {
        canvas.Brush().color = clLime;
        canvas.FillRect({0, 0, 16, 16});
        canvas.Brush() = {clRed, c.style};
        canvas.FillRect(area);
      });
    };
    const Picture whole = hatch({0, 0, 16, 16});
    for (int y = 0; y < 16; ++y) {
      const std::string row(c.cell.substr(y % 8 * 9, 8));
      EXPECT_EQ(whole[y], row + row) << int(c.style) << " row " << y;
    }
    // A rectangle elsewhere shows the same device-aligned cells.
    const Picture part = hatch({3, 5, 13, 11});
    for (int y = 5; y < 11; ++y)
      EXPECT_EQ(part[y].substr(3, 10), whole[y].substr(3, 10)) << int(c.style) << " row " << y;
  }
}

// --- clipping -----------------------------------------------------------------------

TEST(PainterCanvasTest, ClipStackSavesClipPenBrushAndFont) {
  auto canvas = PainterCanvas::ForImage(8, 8);
  canvas->IntersectClipRect({1, 1, 7, 7});
  canvas->SaveDC();
  canvas->ExcludeClipRect({3, 3, 5, 5});
  canvas->IntersectClipRect({0, 0, 6, 8});
  EXPECT_EQ(canvas->ClipRegion(), QRegion(1, 1, 5, 6) - QRegion(3, 3, 2, 2));
  canvas->Pen().color = clRed;
  canvas->Brush().color = clBlue;
  canvas->Font().name = QStringLiteral("Other");
  canvas->FillRect({0, 0, 8, 8});
  canvas->RestoreDC();
  EXPECT_EQ(canvas->ClipRegion(), QRegion(1, 1, 6, 6));
  EXPECT_EQ(canvas->Pen(), CanvasPen());
  EXPECT_EQ(canvas->Brush(), CanvasBrush());
  EXPECT_EQ(canvas->Font(), CanvasFont());
  canvas->RestoreDC();  // nothing left to restore: no change
  EXPECT_EQ(canvas->ClipRegion(), QRegion(1, 1, 6, 6));
  canvas->Brush().color = clBlack;
  canvas->FillRect({6, 0, 8, 8});
  canvas->End();
  EXPECT_EQ(PictureOf(*canvas->Image()), Rows(R"(
........
.bbbbb#.
.bbbbb#.
.bb..b#.
.bb..b#.
.bbbbb#.
.bbbbb#.
........
)"));
}

TEST(PainterCanvasTest, RestoreDCEndsAMetaClipSetAfterSaveDC) {
  // Otherwise a page that bounds its drawing with a meta clip would bound
  // every later page on the same canvas.
  auto canvas = PainterCanvas::ForImage(4, 4);
  canvas->SaveDC();
  canvas->IntersectClipRect({0, 0, 2, 2});
  canvas->SetMetaClip();
  EXPECT_FALSE(canvas->RectVisible({2, 2, 4, 4}));
  canvas->RestoreDC();
  EXPECT_TRUE(canvas->RectVisible({2, 2, 4, 4}));
  canvas->Brush().color = clBlack;
  canvas->FillRect({0, 0, 4, 4});
  canvas->End();
  EXPECT_EQ(PictureOf(*canvas->Image()), Picture(4, "####"));
}

TEST(PainterCanvasTest, AClipAfterARestoreToNoClipStillClips) {
  EXPECT_EQ(Draw(4, 2,
                 [](PainterCanvas& canvas) {
                   canvas.SaveDC();
                   canvas.IntersectClipRect({0, 0, 1, 1});
                   canvas.RestoreDC();
                   canvas.SelectClipRegion(QRegion(1, 0, 2, 2));
                   canvas.Brush().color = clBlack;
                   canvas.FillRect({0, 0, 4, 2});
                 }),
            (Picture{".##.", ".##."}));
}

TEST(PainterCanvasTest, ExcludeWithoutAClipLeavesEverythingButTheRectangle) {
  EXPECT_EQ(Draw(5, 4,
                 [](PainterCanvas& canvas) {
                   canvas.ExcludeClipRect({1, 1, 3, 3});
                   canvas.Brush().color = clBlack;
                   canvas.FillRect({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
                 }),
            (Picture{"#####", "#..##", "#..##", "#####"}));
}

TEST(PainterCanvasTest, MetaClipBoundsEveryLaterClip) {
  auto canvas = PainterCanvas::ForImage(6, 6);
  canvas->IntersectClipRect({0, 0, 4, 4});
  canvas->SetMetaClip();
  EXPECT_EQ(canvas->ClipRegion(), std::nullopt);
  canvas->SelectClipRegion(QRegion(2, 2, 4, 4));
  EXPECT_EQ(canvas->ClipRegion(), QRegion(2, 2, 2, 2));
  canvas->IntersectClipRect({5, 5, 6, 6});
  EXPECT_EQ(canvas->ClipRegion(), QRegion());
  canvas->Brush().color = clRed;
  canvas->FillRect({0, 0, 6, 6});  // an empty clip shows nothing
  canvas->SelectClipRegion(std::nullopt);
  canvas->ExcludeClipRect({1, 1, 2, 2});
  EXPECT_EQ(canvas->ClipRegion(), QRegion(0, 0, 4, 4) - QRegion(1, 1, 1, 1));
  canvas->SelectClipRegion(std::nullopt);
  canvas->Brush().color = clBlack;
  canvas->FillRect({0, 0, 6, 6});
  canvas->End();
  EXPECT_EQ(PictureOf(*canvas->Image()),
            (Picture{"####..", "####..", "####..", "####..", "......", "......"}));
}

TEST(PainterCanvasTest, PainterClipIsAlwaysTheCanvasClip) {
  // The text drawing relies on the painter clipping as the canvas does.
  auto canvas = PainterCanvas::ForImage(20, 20);
  const std::function<void()> steps[] = {
      [&] {
        canvas->IntersectClipRect({2, 2, 18, 18});
      },
      [&] { canvas->SaveDC(); },
      [&] {
        canvas->ExcludeClipRect({5, 5, 8, 8});
      },
      [&] { canvas->SetMetaClip(); },
      [&] {
        canvas->IntersectClipRect({0, 0, 10, 10});
      },
      [&] { canvas->SelectClipRegion(std::nullopt); },
      [&] { canvas->RestoreDC(); },
      [&] { canvas->SelectClipRegion(std::nullopt); },
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    steps[i]();
    QPainter& painter = canvas->Painter();
    const std::optional<QRegion> clip = canvas->ClipRegion();
    if (clip) {
      EXPECT_TRUE(painter.hasClipping()) << "step " << i;
      EXPECT_EQ(painter.clipRegion(), *clip) << "step " << i;
    }
  }
  // No clip is left: the painter draws everywhere.
  EXPECT_FALSE(canvas->Painter().hasClipping());
  // With only a meta clip, the painter clips to it.
  canvas->IntersectClipRect({1, 1, 3, 3});
  canvas->SetMetaClip();
  EXPECT_EQ(canvas->Painter().clipRegion(), QRegion(1, 1, 2, 2));
}

TEST(PainterCanvasTest, RectVisibleAnswersForTheDeviceAndBothClips) {
  auto canvas = PainterCanvas::ForImage(100, 100);
  struct Case {
    PixelRect rect;
    bool visible;
  };
  auto check = [&](std::initializer_list<Case> cases, const char* stage) {
    for (const Case& c : cases)
      EXPECT_EQ(canvas->RectVisible(c.rect), c.visible)
          << stage << " " << RecordingCanvas::RectText(c.rect).toStdString();
  };
  check({{{0, 0, 1, 1}, true},
         {{99, 99, 200, 200}, true},
         {{100, 0, 200, 50}, false},
         {{-50, -50, 0, 100}, false},
         {{10, 10, 10, 20}, false}},
        "device");
  canvas->IntersectClipRect({10, 10, 50, 50});
  canvas->SetMetaClip();
  canvas->ExcludeClipRect({20, 20, 30, 30});
  check({{{49, 49, 60, 60}, true},
         {{50, 10, 60, 60}, false},
         {{21, 21, 29, 29}, false},
         {{21, 21, 31, 29}, true},
         {{0, 0, 10, 100}, false}},
        "clipped");
}

TEST(PainterCanvasTest, PathsClipWithoutDrawing) {
  const QPoint triangle[] = {{1, 1}, {7, 1}, {1, 7}};
  auto canvas = PainterCanvas::ForImage(9, 9);
  canvas->IntersectClipRect({0, 0, 9, 5});
  canvas->SetMetaClip();
  canvas->BeginPath();
  canvas->Polygon(triangle);
  canvas->Rectangle({3, 2, 8, 8});
  canvas->EndPath();
  canvas->SelectClipPath();
  canvas->Brush().color = clRed;
  canvas->FillRect({0, 0, 9, 9});
  canvas->End();
  // The figures' insides by the polygon rule (their right and bottom
  // outlines belong to the pen), overlaps cancelling, within the meta clip.
  EXPECT_EQ(PictureOf(*canvas->Image()), Rows(R"(
.........
.rrrrrr..
.rr...r..
.rr..rr..
.rr.rrr..
.........
.........
.........
.........
)"));
}

TEST(PainterCanvasTest, PathClipCoversExactlyTheFillOfItsShape) {
  // Large enough that the clip is worked out in several strips.
  const QPoint star[] = {{100, 1500}, {1500, 20}, {2900, 1500}, {20, 500}, {2980, 500}};
  const Drawing shapes[] = {
      [](PainterCanvas& c) {
        c.Ellipse({10, 10, 2990, 1590});
      },
      [](PainterCanvas& c) {
        c.RoundRect({-50, 300, 2000, 1700}, 900, 700);
      },
      [&](PainterCanvas& c) { c.Polygon(star); },
  };
  QImage blank(3000, 1600, QImage::Format_RGB32);
  blank.fill(Qt::white);
  for (size_t i = 0; i < std::size(shapes); ++i) {
    auto filled = PainterCanvas::ForImage(3000, 1600);
    filled->Pen().style = PenStyle::kClear;
    filled->Brush().color = clRed;
    shapes[i](*filled);
    filled->End();
    auto clipped = PainterCanvas::ForImage(3000, 1600);
    clipped->BeginPath();
    shapes[i](*clipped);
    clipped->EndPath();
    clipped->SelectClipPath();
    clipped->Brush().color = clRed;
    clipped->FillRect({0, 0, 3000, 1600});
    clipped->End();
    EXPECT_FALSE(*filled->Image() == blank) << "shape " << i;
    EXPECT_TRUE(*filled->Image() == *clipped->Image()) << "shape " << i;
  }
}

TEST(PainterCanvasTest, LinesBuildPathsFigureByFigure) {
  EXPECT_EQ(Draw(8, 6,
                 [](PainterCanvas& canvas) {
                   canvas.BeginPath();
                   canvas.MoveTo(1, 1);
                   canvas.LineTo(6, 1);
                   canvas.LineTo(6, 5);
                   canvas.LineTo(1, 5);
                   canvas.EndPath();
                   canvas.SelectClipPath();
                   canvas.Brush().color = clBlack;
                   canvas.FillRect({0, 0, 8, 6});
                 }),
            (Picture{"........", ".#####..", ".#####..", ".#####..", ".#####..", "........"}));
}

// --- pictures -----------------------------------------------------------------------

TEST(PainterCanvasTest, StretchDrawScalesIntoTheRectangleLeavingOutTheTransparentColour) {
  const QImage quads = Tiny({{0xFF0000, 0x00FF00}, {0x0000FF, 0x000000}});
  auto stretch = [&](PixelRect dest, std::optional<Color> transparent) {
    return Draw(10, 8,
                [&](PainterCanvas& canvas) { canvas.StretchDraw(dest, quads, transparent); });
  };
  EXPECT_EQ(stretch({1, 1, 9, 7}, std::nullopt), Rows(R"(
..........
.rrrrgggg.
.rrrrgggg.
.rrrrgggg.
.bbbb####.
.bbbb####.
.bbbb####.
..........
)"));
  EXPECT_EQ(stretch({1, 1, 9, 7}, clLime), Rows(R"(
..........
.rrrr.....
.rrrr.....
.rrrr.....
.bbbb####.
.bbbb####.
.bbbb####.
..........
)"));
  EXPECT_EQ(stretch({9, 1, 1, 7}, std::nullopt), Picture(8, ".........."));
  // Drawn in parts under different clips, the parts meet without a seam.
  const QImage stripes = Tiny({{0xFF0000, 0x00FF00, 0x0000FF}});
  const Picture whole = Draw(10, 1, [&](PainterCanvas& c) {
    c.StretchDraw({0, 0, 10, 1}, stripes);
  });
  EXPECT_EQ(Draw(10, 1,
                 [&](PainterCanvas& c) {
                   for (int x : {0, 3, 5, 7}) {
                     c.SaveDC();
                     c.IntersectClipRect({x, 0, x + 3, 1});
                     c.StretchDraw({0, 0, 10, 1}, stripes);
                     c.RestoreDC();
                   }
                 }),
            whole);
  // A picture a damaged file made two billion pixels wide: the device
  // shows part of its bottom right quarter.
  EXPECT_EQ(stretch({-1'000'000'000, -1'000'000'000, 1'000'000'000, 1'000'000'000}, clRed),
            Picture(8, "##########"));
}

TEST(PainterCanvasTest, StretchDrawSmoothsOnFineDevicesOnly) {
  const QImage black_white = Tiny({{0x000000, 0xFFFFFF}});
  auto row = [&](int dpi) {
    return Draw(
        12, 1,
        [&](PainterCanvas& c) {
          c.StretchDraw({0, 0, 12, 1}, black_white);
        },
        dpi)[0];
  };
  EXPECT_EQ(row(96), "######......");
  const std::string smooth = row(300);
  EXPECT_EQ(smooth.front(), '#');
  EXPECT_EQ(smooth.back(), '.');
  EXPECT_NE(smooth.find('?'), std::string::npos) << smooth;
}

// --- robustness ---------------------------------------------------------------------

TEST(PainterCanvasTest, AbsurdGeometryDrawsOnlyWhatShows) {
  // Each of these would take minutes if walked or dashed pixel by pixel.
  const Picture picture = Draw(24, 6, [](PainterCanvas& canvas) {
    canvas.Brush().style = TovxBrushStyle::bsClear;
    canvas.Pen().style = PenStyle::kDash;
    canvas.MoveTo(-1'000'000'008, 0);
    canvas.LineTo(INT_MAX, 0);
    canvas.Pen() = CanvasPen();
    canvas.Pen().geometric = true;
    canvas.Pen().cap = LineCap::kFlat;
    canvas.Pen().dashes = {1, 1};
    canvas.MoveTo(INT_MIN, 2);
    canvas.LineTo(INT_MAX, 2);
    canvas.Pen() = CanvasPen();
    canvas.Pen().width = INT_MAX;
    canvas.Ellipse({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    canvas.Pen() = CanvasPen();
    canvas.RoundRect({-2'000'000'000, 4, 2'000'000'000, 2'000'000'000}, INT_MAX, INT_MIN);
  });
  // 1'000'000'008 is a whole number of dash periods (24) before x = 0.
  EXPECT_EQ(picture[0], "##################......");
  EXPECT_EQ(picture[2], "#.#.#.#.#.#.#.#.#.#.#.#.");
  EXPECT_EQ(picture[4], "########################");
  EXPECT_EQ(picture[5], "........................");
}

// --- thick lines ----------------------------------------------------------------------

TEST(DrawThickLineTest, StacksOnePixelLinesAcrossTheMainDirection) {
  struct Case {
    QPoint from, to;
    int width;
    QStringList lines;
  };
  const Case cases[] = {
      {{0, 10},
       {100, 10},
       4,
       {"LineTo 0,8-100,8", "LineTo 0,9-100,9", "LineTo 0,10-100,10", "LineTo 0,11-100,11"}},
      {{5, 0}, {7, 50}, 3, {"LineTo 4,0-6,50", "LineTo 5,0-7,50", "LineTo 6,0-8,50"}},
      {{100, 20}, {0, 10}, 0, {"LineTo 100,20-0,10"}},
      {{100, 20}, {0, 10}, -3, {"LineTo 100,20-0,10"}},
      // At 45 degrees the lines stand side by side in x.
      {{10, 0}, {0, 10}, 2, {"LineTo 9,0--1,10", "LineTo 10,0-0,10"}},
      {{0, INT_MAX},
       {100, INT_MAX},
       2,
       {"LineTo 0,2147483646-100,2147483646", "LineTo 0,2147483647-100,2147483647"}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    DrawThickLine(canvas, c.from.x(), c.from.y(), c.to.x(), c.to.y(), c.width);
    EXPECT_EQ(canvas.calls, c.lines) << "width " << c.width;
  }
}

TEST(DrawThickLineTest, DrawsWithTheCurrentPenOnAnImage) {
  EXPECT_EQ(Draw(8, 6,
                 [](PainterCanvas& canvas) {
                   canvas.Pen().color = clRed;
                   DrawThickLine(canvas, 1, 3, 7, 3, 4);
                 }),
            (Picture{"........", ".rrrrrr.", ".rrrrrr.", ".rrrrrr.", ".rrrrrr.", "........"}));
}

}  // namespace
}  // namespace ovx
