// Exact geometry of frames, fills, shapes, line views and arrows, recorded
// call by call, plus a few drawings on a real image where the pixels
// themselves are the point (corners that must close, colours per row).
#include "render/frame_drawing.h"
#include "render/fill_drawing.h"
#include "render/internal/drawing_limits.h"
#include "render/painter_canvas.h"
#include "render/primitives.h"
#include "render/shape_drawing.h"
#include "tests/render/recording_canvas.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace ovx {
namespace {

using test::RecordingCanvas;
using Calls = std::vector<std::string>;

constexpr PixelRect kRect{10, 20, 110, 70};

Calls CallsOf(const RecordingCanvas& canvas) {
  Calls out;
  for (const QString& call : canvas.calls) out.push_back(call.toStdString());
  return out;
}

// Only the calls that start with `prefix`.
Calls CallsStarting(const RecordingCanvas& canvas, const std::string& prefix) {
  Calls out;
  for (const std::string& call : CallsOf(canvas)) {
    if (call.rfind(prefix, 0) == 0) out.push_back(call);
  }
  return out;
}

FrameParams Frame(TovxFrameTypes typ, TovxFrameStyle style = TovxFrameStyle::fsSolid,
                  double width = 1, Color color = clBlack) {
  FrameParams f;
  f.typ = typ;
  f.style = style;
  f.width = width;
  f.color = color;
  f.left = f.top = f.right = f.bottom = FrameLineParams{color, style, width};
  return f;
}

const TovxFrameTypes kAllSides{TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                               TovxFrameType::ftBottom};

// Every number in the recorded calls lies within `limit` of the origin.
void ExpectCoordinatesWithin(const RecordingCanvas& canvas, int limit) {
  static const QRegularExpression kNumber(QStringLiteral("-?\\d+"));
  for (const QString& call : canvas.calls) {
    // Drop the state suffix: colours are hexadecimal.
    const QString geometry = call.section(QStringLiteral(" pen("), 0, 0);
    for (const auto& match : kNumber.globalMatch(geometry)) {
      EXPECT_LE(std::abs(match.captured().toLongLong()), limit) << call.toStdString();
    }
  }
}

// --- thick lines ---------------------------------------------------------------------

TEST(ThickLineTest, ParallelLinesAtOffsetsAroundTheLine) {
  struct Case {
    int width;
    Calls lines;
  };
  const Case cases[] = {
      {4, {"LineTo 0,8-100,8", "LineTo 0,9-100,9", "LineTo 0,10-100,10", "LineTo 0,11-100,11"}},
      {3, {"LineTo 0,9-100,9", "LineTo 0,10-100,10", "LineTo 0,11-100,11"}},
      {0, {"LineTo 0,10-100,10"}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    DrawThickLine(canvas, 0, 10, 100, 10, c.width);
    EXPECT_EQ(CallsOf(canvas), c.lines) << "width " << c.width;
  }
  // Steeper than 45 degrees: the lines lie side by side in x.
  RecordingCanvas canvas;
  DrawThickLine(canvas, 10, 0, 10, 100, 2);
  EXPECT_EQ(CallsOf(canvas), (Calls{"LineTo 9,0-9,100", "LineTo 10,0-10,100"}));
}

TEST(ThickLineTest, VisibleThickLineDrawsOnlyWhatTheClipShows) {
  RecordingCanvas whole;
  internal::DrawVisibleThickLine(whole, 0, 10, 100, 10, 100);
  RecordingCanvas plain;
  DrawThickLine(plain, 0, 10, 100, 10, 100);
  EXPECT_EQ(whole.calls, plain.calls);

  // Of the lines at y -40 to 59, those the clip shows are drawn, with one
  // to spare on either side.
  RecordingCanvas clipped;
  clipped.IntersectClipRect({0, 10, 100, 50});
  internal::DrawVisibleThickLine(clipped, 0, 10, 100, 10, 100);
  ASSERT_EQ(clipped.calls.size(), 42);
  EXPECT_EQ(clipped.calls.front(), "LineTo 0,9-100,9");
  EXPECT_EQ(clipped.calls.back(), "LineTo 0,50-100,50");

  // A width a damaged file may hold costs one line per visible pixel, also
  // for a slanted line that crosses far more of the coordinate range.
  RecordingCanvas huge;
  huge.IntersectClipRect({0, 0, 50, 50});
  internal::DrawVisibleThickLine(huge, 25, 0, 25, 100, 1'000'000'000);
  EXPECT_EQ(huge.calls.size(), 52);
  EXPECT_EQ(huge.calls.front(), "LineTo -1,0--1,100");
  EXPECT_EQ(huge.calls.back(), "LineTo 50,0-50,100");
  huge.Clear();
  internal::DrawVisibleThickLine(huge, -100'000, 100'000, 100'000, -100'000, 1'000'000'000);
  EXPECT_GE(huge.calls.size(), 100);
  EXPECT_LE(huge.calls.size(), 110);
  // So long a line is cut to the stretch over the clip.
  ExpectCoordinatesWithin(huge, 200);
}

TEST(ThickLineTest, VisibleWindowIsTheDeviceWithoutAClip) {
  auto image = PainterCanvas::ForImage(50, 40);
  EXPECT_EQ(internal::VisibleWindow(*image), (PixelRect{0, 0, 50, 40}));
  image->IntersectClipRect({10, 5, 200, 20});
  EXPECT_EQ(internal::VisibleWindow(*image), (PixelRect{10, 5, 50, 20}));
  image->IntersectClipRect({60, 5, 70, 20});
  EXPECT_TRUE(internal::VisibleWindow(*image).IsEmpty());
  image->End();
}

// --- frame lines ---------------------------------------------------------------------

TEST(FrameDrawingTest, LineEndsPensAndStyles) {
  struct Case {
    const char* name;
    FrameParams frame;
    double scale;
    Calls calls;
  };
  FrameParams red_right = Frame({TovxFrameType::ftRight});
  red_right.right.color = clRed;
  FrameParams left_none_right = Frame({TovxFrameType::ftLeft, TovxFrameType::ftRight});
  left_none_right.left.color = clNone;
  FrameParams solid_left_in_dashed = Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsDash);
  solid_left_in_dashed.left = {clBlack, TovxFrameStyle::fsSolid, 2};

  const Case cases[] = {
      // Free ends are pulled in by w div 2; the square caps reach the corners.
      {"solid left alone",
       Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsSolid, 3),
       1,
       {"LineTo 10,21-10,69 pen(0,3,0,geo,cap1)"}},
      {"solid left and top",
       Frame({TovxFrameType::ftLeft, TovxFrameType::ftTop}, TovxFrameStyle::fsSolid, 3),
       1,
       {"LineTo 10,20-10,69 pen(0,3,0,geo,cap1)", "LineTo 10,20-109,20 pen(0,3,0,geo,cap1)"}},
      {"width follows the horizontal scale",
       Frame({TovxFrameType::ftLeft}),
       2,
       {"LineTo 10,21-10,69 pen(0,2,0,geo,cap1)"}},
      {"solid bottom of width 1 ends at X1",
       Frame({TovxFrameType::ftBottom}),
       1,
       {"LineTo 10,70-110,70 pen(0,1,0,geo,cap1)"}},
      // Styled lines: a one-pixel styled pen, laid side by side.
      {"dashed top of width 2",
       Frame({TovxFrameType::ftTop}, TovxFrameStyle::fsDash, 2),
       1,
       {"LineTo 10,19-110,19 pen(0,1,1)", "LineTo 10,20-110,20 pen(0,1,1)"}},
      {"dotted left",
       Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsDot),
       1,
       {"LineTo 10,20-10,70 pen(0,1,2)"}},
      {"dash-dot right",
       Frame({TovxFrameType::ftRight}, TovxFrameStyle::fsDashDot),
       1,
       {"LineTo 110,20-110,70 pen(0,1,3)"}},
      // In a frame that is not solid, a one-pixel bottom line runs on by
      // one pixel and a two-pixel left line starts one higher.
      {"dash-dot-dot bottom runs on",
       Frame({TovxFrameType::ftBottom}, TovxFrameStyle::fsDashDotDot),
       1,
       {"LineTo 10,70-111,70 pen(0,1,4)"}},
      {"two-pixel left line in a dashed frame",
       solid_left_in_dashed,
       1,
       {"LineTo 10,20-10,69 pen(0,2,0,geo,cap1)"}},
      // Dots and squares: geometric pens with a dash pattern, no pull-in.
      {"alternate dots of width 1",
       Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsAltDot),
       1,
       {"LineTo 10,20-10,70 pen(0,1,0,geo,cap2,dash 1 1)"}},
      {"round dots of width 3",
       Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsAltDot, 3),
       1,
       {"LineTo 10,20-10,70 pen(0,3,0,geo,cap0,dash 0 6)"}},
      {"squares of width 3",
       Frame({TovxFrameType::ftLeft}, TovxFrameStyle::fsSquare, 3),
       1,
       {"LineTo 10,20-10,70 pen(0,3,0,geo,cap2,dash 3 3)"}},
      // Each line has its own colour; a line of no colour is left out.
      {"own colour", red_right, 1, {"LineTo 110,20-110,70 pen(ff,1,0,geo,cap1)"}},
      {"line without colour", left_none_right, 1, {"LineTo 110,20-110,70 pen(0,1,0,geo,cap1)"}},
      {"no sides", Frame({}), 1, {}},
      {"frame without colour", Frame(kAllSides, TovxFrameStyle::fsSolid, 1, clNone), 1, {}},
      {"frame of width 0", Frame(kAllSides, TovxFrameStyle::fsSolid, 0), 1, {}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    canvas.with_state = true;
    DrawFrame(canvas, c.frame, kRect, c.scale, c.scale);
    EXPECT_EQ(CallsOf(canvas), c.calls) << c.name;
  }
}

TEST(FrameDrawingTest, DoubleFrameDrawsTwoNestedRectangles) {
  RecordingCanvas canvas;
  DrawFrame(canvas, Frame(kAllSides, TovxFrameStyle::fsDouble), kRect, 1, 1);
  // Outer x 9..111, y 19..71; inner x 11..109, y 21..69 (last pixels of
  // lines are not set, so every corner is closed by exactly one line).
  EXPECT_EQ(CallsOf(canvas), (Calls{
                                 "LineTo 9,19-9,71",
                                 "LineTo 11,21-11,69",
                                 "LineTo 109,21-109,69",
                                 "LineTo 111,19-111,71",
                                 "LineTo 9,19-111,19",
                                 "LineTo 11,21-109,21",
                                 "LineTo 11,69-110,69",
                                 "LineTo 9,71-112,71",
                             }));
}

TEST(FrameDrawingTest, DoubleLineWithoutNeighboursIsPulledInNotExtended) {
  RecordingCanvas canvas;
  DrawFrame(canvas, Frame({TovxFrameType::ftTop}, TovxFrameStyle::fsDouble, 2), kRect, 1, 1);
  EXPECT_EQ(CallsOf(canvas), (Calls{"LineTo 11,18-109,18", "LineTo 11,22-109,22"}));
}

TEST(FrameDrawingTest, DropShadowStripsOutsideTheRectangle) {
  FrameParams frame = Frame({});
  frame.drop_shadow = true;
  frame.shadow_color = clGray;
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFrame(canvas, frame, kRect, 1, 1);
  // Four columns right of X1 from Y + 4, four rows below Y1 from X + 4.
  EXPECT_EQ(CallsOf(canvas), (Calls{
                                 "LineTo 110,24-110,70 pen(808080,1,0)",
                                 "LineTo 111,24-111,70 pen(808080,1,0)",
                                 "LineTo 112,24-112,70 pen(808080,1,0)",
                                 "LineTo 113,24-113,70 pen(808080,1,0)",
                                 "LineTo 14,70-114,70 pen(808080,1,0)",
                                 "LineTo 14,71-114,71 pen(808080,1,0)",
                                 "LineTo 14,72-114,72 pen(808080,1,0)",
                                 "LineTo 14,73-114,73 pen(808080,1,0)",
                             }));

  // The lines come after the shadow, which the scale widens per axis.
  canvas.Clear();
  canvas.with_state = false;
  frame.typ = {TovxFrameType::ftLeft};
  frame.shadow_width = 1;
  DrawFrame(canvas, frame, kRect, 2, 1);
  EXPECT_EQ(CallsOf(canvas), (Calls{"LineTo 110,22-110,70", "LineTo 111,22-111,70",
                                    "LineTo 11,70-111,70", "LineTo 10,21-10,69"}));
}

TEST(FrameDrawingTest, DamagedSizesStayBoundedAndInRange) {
  // A shadow and a dashed frame a billion pixels wide, on a small clip.
  FrameParams frame = Frame(kAllSides, TovxFrameStyle::fsDash, 1e9);
  frame.drop_shadow = true;
  frame.shadow_width = 1e9;
  RecordingCanvas canvas;
  canvas.IntersectClipRect({0, 0, 100, 100});
  DrawFrame(canvas, frame, kRect, 1, 1);
  EXPECT_LE(canvas.calls.size(), 6 * 100);
  EXPECT_FALSE(canvas.calls.isEmpty());

  // A view reaching the ends of the int range: no overflow, coordinates
  // clamped far outside any device.
  canvas.Clear();
  DrawFrame(canvas, Frame(kAllSides, TovxFrameStyle::fsDouble, 3),
            {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 1, 1);
  EXPECT_EQ(canvas.calls.size(), 8);
  ExpectCoordinatesWithin(canvas, internal::kCoordinateLimit + 10);
}

// --- fills -----------------------------------------------------------------------------

TEST(FillDrawingTest, BrushFillsThenHatchesOverIt) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFill(canvas, BrushFillParams{clRed, clBlue, TovxBrushStyle::bsCross}, kRect);
  EXPECT_EQ(CallsOf(canvas),
            (Calls{"FillRect 10,20,110,70 brush(ff,0)", "FillRect 10,20,110,70 brush(ff0000,6)"}));
  canvas.Clear();
  // No colour and no hatch: nothing at all.
  DrawFill(canvas, BrushFillParams{clNone, clBlue, TovxBrushStyle::bsSolid}, kRect);
  DrawFill(canvas, BrushFillParams{clNone, clBlue, TovxBrushStyle::bsClear}, kRect);
  EXPECT_TRUE(canvas.calls.isEmpty());
}

TEST(FillDrawingTest, GlassFillsOneHalfLighter) {
  struct Case {
    TovxFillOrientation orientation;
    const char* light;
  };
  // 101 x 51 pixels: the integer half is 50 across and 25 down.
  const PixelRect rect{10, 20, 111, 71};
  const Case cases[] = {
      {TovxFillOrientation::foVertical, "FillRect 10,20,60,71 brush(c0c0c0,0)"},
      {TovxFillOrientation::foHorizontal, "FillRect 10,20,111,45 brush(c0c0c0,0)"},
      {TovxFillOrientation::foVerticalMirror, "FillRect 61,20,111,71 brush(c0c0c0,0)"},
      {TovxFillOrientation::foHorizontalMirror, "FillRect 10,46,111,71 brush(c0c0c0,0)"},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    canvas.with_state = true;
    DrawFill(canvas, GlassFillParams{clGray, clSilver, 0xBABABA, true, c.orientation}, rect);
    EXPECT_EQ(CallsOf(canvas), (Calls{"FillRect 10,20,111,71 brush(808080,0)", c.light,
                                      "FillRect 10,20,111,71 brush(bababa,5)"}))
        << static_cast<int>(c.orientation);
  }
  RecordingCanvas canvas;
  DrawFill(canvas, GlassFillParams{clNone, clSilver, clSilver, true}, rect);
  EXPECT_TRUE(canvas.calls.isEmpty());
}

TEST(FillDrawingTest, GradientColourSteps) {
  EXPECT_EQ(GradientColor(clWhite, clBlack, 0, 255), clWhite);
  EXPECT_EQ(GradientColor(clWhite, clBlack, 255, 255), clBlack);
  // Channels apart, rounded half away from zero: 255 * 1 / 2 = 127.5.
  EXPECT_EQ(GradientColor(RgbColor(0, 255, 100), RgbColor(255, 0, 100), 1, 2),
            RgbColor(128, 127, 100));
}

TEST(FillDrawingTest, VerticalCentreGradientMeetsInTheEndColour) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsVertCenter},
           {0, 0, 4, 10});
  // Strips 0 to 5 from the top and from the bottom, step i of 5.
  EXPECT_EQ(CallsOf(canvas), (Calls{
                                 "FillRect 0,0,4,1 brush(ffffff,0)",
                                 "FillRect 0,9,4,10 brush(ffffff,0)",
                                 "FillRect 0,1,4,2 brush(cccccc,0)",
                                 "FillRect 0,8,4,9 brush(cccccc,0)",
                                 "FillRect 0,2,4,3 brush(999999,0)",
                                 "FillRect 0,7,4,8 brush(999999,0)",
                                 "FillRect 0,3,4,4 brush(666666,0)",
                                 "FillRect 0,6,4,7 brush(666666,0)",
                                 "FillRect 0,4,4,5 brush(333333,0)",
                                 "FillRect 0,5,4,6 brush(333333,0)",
                                 "FillRect 0,5,4,6 brush(0,0)",
                                 "FillRect 0,4,4,5 brush(0,0)",
                             }));
}

TEST(FillDrawingTest, CentredGradientsBelowTwoPixelsDrawNothing) {
  struct Case {
    TovxGradientStyle style;
    PixelRect rect;
  };
  const Case cases[] = {
      {TovxGradientStyle::gsVertCenter, {0, 0, 10, 1}},
      {TovxGradientStyle::gsVertCenter, {0, 0, 10, 0}},
      {TovxGradientStyle::gsHorizCenter, {0, 0, 1, 10}},
      {TovxGradientStyle::gsHorizCenter, {5, 0, 0, 10}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    DrawFill(canvas, GradientFillParams{clWhite, clBlack, c.style}, c.rect);
    EXPECT_TRUE(canvas.calls.isEmpty()) << RecordingCanvas::RectText(c.rect).toStdString();
  }
  // Two pixels: one strip from each side, both in the end colour.
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFill(canvas, GradientFillParams{clWhite, clRed, TovxGradientStyle::gsHorizCenter},
           {0, 0, 2, 5});
  EXPECT_EQ(CallsOf(canvas),
            (Calls{"FillRect 0,0,1,5 brush(ffffff,0)", "FillRect 1,0,2,5 brush(ffffff,0)",
                   "FillRect 1,0,2,5 brush(ff,0)", "FillRect 0,0,1,5 brush(ff,0)"}));
}

TEST(FillDrawingTest, LinearGradientsTile256Strips) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsHorizontal},
           {0, 0, 512, 10});
  ASSERT_EQ(canvas.calls.size(), 256);
  EXPECT_EQ(canvas.calls.front(), "FillRect 0,0,2,10 brush(ffffff,0)");
  EXPECT_EQ(canvas.calls[1], "FillRect 2,0,4,10 brush(fefefe,0)");
  EXPECT_EQ(canvas.calls.back(), "FillRect 510,0,512,10 brush(0,0)");

  // Fewer rows than steps: empty strips are skipped, the rest tile the
  // rectangle without gaps or overlaps.
  canvas.Clear();
  canvas.with_state = false;
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsVertical},
           {0, 100, 7, 200});
  ASSERT_EQ(canvas.calls.size(), 100);
  int next = 100;
  for (const QString& call : canvas.calls) {
    const QStringList r = call.section(' ', 1).split(',');
    EXPECT_EQ(r[1].toInt(), next);
    next = r[3].toInt();
  }
  EXPECT_EQ(next, 200);
}

TEST(FillDrawingTest, RectangleAndEllipticGradientsShrinkInwards) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsRectangle},
           {0, 0, 510, 255});
  // The first step already leaves a ring of one step to the background.
  ASSERT_FALSE(canvas.calls.isEmpty());
  EXPECT_EQ(canvas.calls.front(), "FillRect 1,0,509,254 brush(ffffff,0)");
  EXPECT_LE(canvas.calls.size(), 256);

  canvas.Clear();
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsElliptic},
           {0, 0, 100, 80});
  // The first ellipse overhangs by a quarter of the size; each next one
  // lies inside the one before; the clip to the rectangle is undone.
  ASSERT_GT(canvas.calls.size(), 100);
  EXPECT_LE(canvas.calls.size(), 156);
  EXPECT_EQ(canvas.calls.front(), "Ellipse -25,-20,125,100 pen(0,1,5) brush(ffffff,0)");
  int left = INT_MIN;
  for (const QString& call : canvas.calls) {
    const int l = call.section(' ', 1, 1).section(',', 0, 0).toInt();
    EXPECT_GE(l, left);
    left = l;
  }
  EXPECT_FALSE(canvas.ClipRegion().has_value());
}

TEST(FillDrawingTest, HugeCentredGradientVisitsOnlyVisibleStrips) {
  RecordingCanvas canvas;
  canvas.IntersectClipRect({0, 0, 100, 100});
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsVertCenter},
           {0, -1'000'000'000, 100, 1'000'000'000});
  EXPECT_GT(canvas.calls.size(), 0);
  EXPECT_LE(canvas.calls.size(), 2 * 101);
  ExpectCoordinatesWithin(canvas, 100);

  canvas.Clear();
  DrawFill(canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsHorizontal},
           {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
  // Strips 16 million pixels wide: only those reaching the coordinate
  // window are left after clamping.
  EXPECT_FALSE(canvas.calls.isEmpty());
  EXPECT_LE(canvas.calls.size(), 3);
  ExpectCoordinatesWithin(canvas, internal::kCoordinateLimit);
}

// --- shapes ------------------------------------------------------------------------------

constexpr PixelRect kShapeRect{10, 20, 50, 60};

TEST(ShapeDrawingTest, OutlinesOfEveryKind) {
  struct Case {
    TovxShapeKind kind;
    int curve;
    double scale;
    const char* call;
  };
  const Case cases[] = {
      {TovxShapeKind::skRectangle, 0, 1, "Rectangle 10,20,51,61"},
      {TovxShapeKind::skRoundRectangle, 0, 1, "RoundRect 10,20,51,61 10,10"},
      {TovxShapeKind::skRoundRectangle, 2, 1.5, "RoundRect 10,20,51,61 30,30"},
      {TovxShapeKind::skEllipse, 0, 1, "Ellipse 10,20,51,61"},
      {TovxShapeKind::skTriangle, 0, 1, "Polygon 50,60 10,60 30,20 50,60"},
      {TovxShapeKind::skDiamond, 0, 1, "Polygon 30,20 50,40 30,60 10,40"},
      {TovxShapeKind::skDiagonal1, 0, 1, "LineTo 10,60-50,20"},
      {TovxShapeKind::skDiagonal2, 0, 1, "LineTo 10,20-50,60"},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    ShapeParams shape;
    shape.kind = c.kind;
    shape.curve = c.curve;
    DrawShape(canvas, shape, kShapeRect, c.scale);
    EXPECT_EQ(CallsOf(canvas), Calls{c.call}) << c.call;
  }
}

TEST(ShapeDrawingTest, PenAndBrushFromFrameAndColour) {
  struct Case {
    const char* name;
    Color color;
    TovxBrushStyle brush;
    Color frame_color;
    TovxFrameStyle style;
    int width;
    Calls calls;
  };
  const Case cases[] = {
      {"solid",
       clGreen,
       TovxBrushStyle::bsSolid,
       clRed,
       TovxFrameStyle::fsSolid,
       2,
       {"Rectangle 10,20,51,61 pen(ff,2,0) brush(8000,0)"}},
      {"dashed, one pixel",
       clNone,
       TovxBrushStyle::bsSolid,
       clRed,
       TovxFrameStyle::fsDash,
       1,
       {"Rectangle 10,20,51,61 pen(ff,1,1) brush(ffffff,1)"}},
      // A wide cosmetic pen cannot be dashed: it draws solid.
      {"dashed, wide",
       clNone,
       TovxBrushStyle::bsSolid,
       clRed,
       TovxFrameStyle::fsDash,
       3,
       {"Rectangle 10,20,51,61 pen(ff,3,0) brush(ffffff,1)"}},
      {"no pen",
       clGreen,
       TovxBrushStyle::bsSolid,
       clNone,
       TovxFrameStyle::fsSolid,
       1,
       {"Rectangle 10,20,51,61 pen(0,1,5) brush(8000,0)"}},
      {"clear brush",
       clGreen,
       TovxBrushStyle::bsClear,
       clRed,
       TovxFrameStyle::fsSolid,
       1,
       {"Rectangle 10,20,51,61 pen(ff,1,0) brush(ffffff,1)"}},
      // A hatch: the colour without outline first, then the hatch in the
      // frame's colour with the outline.
      {"hatch",
       clYellow,
       TovxBrushStyle::bsCross,
       clRed,
       TovxFrameStyle::fsSolid,
       1,
       {"Rectangle 10,20,51,61 pen(0,1,5) brush(ffff,0)",
        "Rectangle 10,20,51,61 pen(ff,1,0) brush(ff,6)"}},
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    canvas.with_state = true;
    ShapeParams shape;
    shape.color = c.color;
    shape.brush_style = c.brush;
    shape.frame_color = c.frame_color;
    shape.frame_style = c.style;
    shape.frame_width = c.width;
    DrawShape(canvas, shape, kShapeRect, 1);
    EXPECT_EQ(CallsOf(canvas), c.calls) << c.name;
  }
}

TEST(ShapeDrawingTest, GradientIsClippedToTheOutline) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  ShapeParams shape;
  shape.kind = TovxShapeKind::skEllipse;
  shape.color = clGray;
  shape.clipped_fill = GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsVertCenter};
  DrawShape(canvas, shape, kShapeRect, 1);
  const Calls calls = CallsOf(canvas);
  ASSERT_GT(calls.size(), 5);
  EXPECT_EQ(Calls(calls.begin(), calls.begin() + 4),
            (Calls{"BeginPath", "Ellipse 10,20,51,61 pen(0,1,0) brush(ffffff,0)", "EndPath",
                   "SelectClipPath"}));
  // The strips cover the outline's rectangle (41 rows: 21 from each side).
  EXPECT_EQ(CallsStarting(canvas, "FillRect").size(), 2 * 21);
  EXPECT_EQ(calls.back(), "Ellipse 10,20,51,61 pen(0,1,0) brush(ffffff,1)");
  EXPECT_FALSE(canvas.ClipRegion().has_value());
}

TEST(ShapeDrawingTest, DoubleStyleDrawsASecondSolidOutlineInside) {
  RecordingCanvas canvas;
  canvas.with_state = true;
  ShapeParams shape;
  shape.color = clWhite;
  shape.frame_style = TovxFrameStyle::fsDouble;
  shape.frame_width = 2;
  DrawShape(canvas, shape, kShapeRect, 1, PixelRect{14, 24, 46, 56});
  EXPECT_EQ(CallsOf(canvas), (Calls{"Rectangle 10,20,51,61 pen(0,2,0) brush(ffffff,0)",
                                    "Rectangle 14,24,47,57 pen(0,2,0) brush(ffffff,1)"}));

  // Bounds moved past each other leave only the first outline.
  canvas.Clear();
  DrawShape(canvas, shape, kShapeRect, 1, PixelRect{40, 24, 20, 56});
  EXPECT_EQ(canvas.calls.size(), 1);
}

// --- arrows and line views ---------------------------------------------------------------

TEST(ArrowTest, BaseAndWings) {
  struct Case {
    QPoint tip;
    QPoint other;
    QPoint wing1;
    QPoint wing2;
  };
  const Case cases[] = {
      // Horizontal, either end: the base 20 pixels back, wings 5 either side.
      {{110, 20}, {10, 20}, {90, 15}, {90, 25}},
      {{10, 20}, {110, 20}, {30, 15}, {30, 25}},
      // A 3-4-5 slope: base (16, 12).
      {{0, 0}, {40, 30}, {19, 8}, {13, 16}},
      // Vertical: the base towards the other end, also when that is below.
      {{10, 100}, {10, 0}, {5, 80}, {15, 80}},
      {{10, 0}, {10, 100}, {5, 20}, {15, 20}},
      // Within 8 pixels of vertical counts as vertical.
      {{18, 100}, {10, 0}, {13, 80}, {23, 80}},
  };
  for (const Case& c : cases) {
    const ArrowHead head = ComputeArrowHead(c.tip, c.other, 5, 20);
    EXPECT_EQ(head.tip, c.tip);
    EXPECT_EQ(head.wing1, c.wing1) << c.tip.x() << "," << c.tip.y();
    EXPECT_EQ(head.wing2, c.wing2) << c.tip.x() << "," << c.tip.y();
  }
}

TEST(LineViewDrawingTest, StraightLineWithArrowHeads) {
  LineViewParams line;
  line.frame = Frame({TovxFrameType::ftTop}, TovxFrameStyle::fsSolid, 1, clBlue);
  line.arrows.at_end = true;
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawLineView(canvas, line, {10, 20, 110, 20}, 1, 1);
  EXPECT_EQ(CallsOf(canvas), (Calls{"LineTo 10,20-110,20 pen(ff0000,1,0,geo,cap1)",
                                    "Polyline 90,15 110,20 90,25 pen(ff0000,1,0)"}));

  canvas.Clear();
  line.arrows = {true, false, true, 5, 20};
  DrawLineView(canvas, line, {10, 20, 110, 20}, 2, 2);
  EXPECT_EQ(CallsStarting(canvas, "Polygon"),
            Calls{"Polygon 10,20 50,10 50,30 pen(ff0000,1,0) brush(ff0000,0)"});
}

TEST(LineViewDrawingTest, DiagonalLine) {
  LineViewParams line;
  line.diagonal = true;
  line.frame = Frame({}, TovxFrameStyle::fsDash, 3, clRed);
  line.arrows.at_start = true;
  RecordingCanvas canvas;
  canvas.with_state = true;
  DrawLineView(canvas, line, {10, 20, 110, 70}, 1, 1);
  const Calls calls = CallsOf(canvas);
  ASSERT_EQ(calls.size(), 4);
  EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3),
            (Calls{"LineTo 10,19-110,69 pen(ff,1,1)", "LineTo 10,20-110,70 pen(ff,1,1)",
                   "LineTo 10,21-110,71 pen(ff,1,1)"}));
  EXPECT_EQ(calls[3].rfind("Polyline ", 0), 0);
  EXPECT_NE(calls[3].find("pen(ff,3,0)"), std::string::npos);

  for (const FrameParams& nothing : {Frame({}, TovxFrameStyle::fsSolid, 1, clNone),
                                     Frame({}, TovxFrameStyle::fsSolid, 0, clRed)}) {
    canvas.Clear();
    line.frame = nothing;
    DrawLineView(canvas, line, {10, 20, 110, 70}, 1, 1);
    EXPECT_TRUE(canvas.calls.isEmpty());
  }
}

// --- pixels --------------------------------------------------------------------------------

QRgb Pixel(const PainterCanvas& canvas, int x, int y) {
  return canvas.Image()->pixel(x, y) & 0xFFFFFF;
}

TEST(FramePixelTest, DoubleFrameCornersClose) {
  auto canvas = PainterCanvas::ForImage(40, 40);
  DrawFrame(*canvas, Frame(kAllSides, TovxFrameStyle::fsDouble), {10, 10, 30, 30}, 1, 1);
  canvas->End();
  for (int i = 9; i <= 31; ++i) {
    // The outer ring, corners included.
    EXPECT_EQ(Pixel(*canvas, 9, i), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, 31, i), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, i, 9), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, i, 31), 0u) << i;
    // Just inside and outside it: white.
    EXPECT_EQ(Pixel(*canvas, 8, i), 0xFFFFFFu) << i;
    EXPECT_EQ(Pixel(*canvas, 32, i), 0xFFFFFFu) << i;
  }
  for (int i = 11; i <= 29; ++i) {
    EXPECT_EQ(Pixel(*canvas, 11, i), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, 29, i), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, i, 11), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, i, 29), 0u) << i;
    EXPECT_EQ(Pixel(*canvas, 10, i), 0xFFFFFFu) << i;
  }
  EXPECT_EQ(Pixel(*canvas, 20, 20), 0xFFFFFFu);
}

TEST(FramePixelTest, CentreGradientRows) {
  auto canvas = PainterCanvas::ForImage(4, 10);
  DrawFill(*canvas, GradientFillParams{clWhite, clBlack, TovxGradientStyle::gsVertCenter},
           {0, 0, 4, 10});
  canvas->End();
  const QRgb rows[] = {0xFFFFFF, 0xCCCCCC, 0x999999, 0x666666, 0,
                       0,        0x666666, 0x999999, 0xCCCCCC, 0xFFFFFF};
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(*canvas, x, y), rows[y]) << x << "," << y;
  }
}

TEST(FramePixelTest, SolidArrowHeadIsFilled) {
  auto canvas = PainterCanvas::ForImage(120, 40);
  LineViewParams line;
  line.frame = Frame({TovxFrameType::ftTop}, TovxFrameStyle::fsSolid, 1, clBlue);
  line.arrows = {false, true, true, 5, 20};
  DrawLineView(*canvas, line, {10, 20, 110, 20}, 1, 1);
  canvas->End();
  const QRgb blue = 0x0000FF;               // QRgb is 0xRRGGBB
  EXPECT_EQ(Pixel(*canvas, 50, 20), blue);  // the line
  EXPECT_EQ(Pixel(*canvas, 95, 18), blue);  // inside the head
  EXPECT_EQ(Pixel(*canvas, 95, 22), blue);
  EXPECT_EQ(Pixel(*canvas, 88, 15), 0xFFFFFFu);  // behind its base
  EXPECT_EQ(Pixel(*canvas, 50, 18), 0xFFFFFFu);
}

}  // namespace
}  // namespace ovx
