// Measuring text on a canvas and drawing it on an image: advances per
// UTF-16 unit, glyphs at exactly the advances given, rotation, clipping,
// colour, decoration lines and simulated styles.
//
// The pixel tests look at ink (pixels that are not white) rather than at
// exact antialiased values: glyphs shifted by whole pixels render
// identically, so distances between inked columns are exact.
#include "render/null_canvas.h"
#include "render/painter_canvas.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

namespace ovx {
namespace {

bool IsInk(QRgb pixel) { return qRed(pixel) < 160 || qGreen(pixel) < 160 || qBlue(pixel) < 160; }

QRect InkBox(const QImage& image, QRect area = {}) {
  if (area.isNull()) area = image.rect();
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (IsInk(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// First columns of the runs of inked columns inside `area`.
std::vector<int> InkRunStarts(const QImage& image, QRect area) {
  std::vector<int> starts;
  bool inside = false;
  for (int x = area.left(); x <= area.right(); ++x) {
    bool ink = false;
    for (int y = area.top(); y <= area.bottom() && !ink; ++y) ink = IsInk(image.pixel(x, y));
    if (ink && !inside) starts.push_back(x);
    inside = ink;
  }
  return starts;
}

int InkCount(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += IsInk(image.pixel(x, y));
  }
  return count;
}

std::unique_ptr<PainterCanvas> ImageCanvas(int width, int height, const QString& font_name,
                                           int font_height) {
  auto canvas = PainterCanvas::ForImage(width, height);
  canvas->Font().name = font_name;
  canvas->Font().height = font_height;
  return canvas;
}

TEST(CanvasMeasuringTest, OneCumulativeAdvancePerUtf16Unit) {
  NullCanvas canvas(600);
  canvas.Font().name = QStringLiteral("Arial");
  canvas.Font().height = -40;
  const ScaledFont font(QStringLiteral("Arial"), -40, 0);
  const int a = font.Advance(U'A');
  const int zhong = font.Advance(U'中');
  const int ext_b = font.Advance(U'\U00020000');
  const int replacement = font.Advance(U'\uFFFD');
  ASSERT_GT(ext_b, 0);

  // A, 中, a surrogate pair, an unpaired low and an unpaired high half, A.
  const QString text = QStringLiteral("A中") + QString::fromUcs4(U"\U00020000") + QChar(0xDC00) +
                       QChar(0xD800) + QStringLiteral("A");
  ASSERT_EQ(text.size(), 7);
  std::vector<int> cumulative(text.size() + 1, -1);
  const int total = canvas.TextExtents(text, std::span(cumulative).first(text.size()));
  const std::vector<int> expected = {a,
                                     a + zhong,
                                     a + zhong + ext_b,
                                     a + zhong + ext_b,
                                     a + zhong + ext_b + replacement,
                                     a + zhong + ext_b + 2 * replacement,
                                     2 * a + zhong + ext_b + 2 * replacement,
                                     -1};
  EXPECT_EQ(cumulative, expected);
  EXPECT_EQ(total, expected[6]);
  EXPECT_EQ(canvas.TextWidth(text), total);

  // A buffer too short is filled as far as it goes; the total is whole.
  std::vector<int> short_buffer(3, -1);
  EXPECT_EQ(canvas.TextExtents(text, std::span(short_buffer).first(2)), total);
  EXPECT_EQ(short_buffer, (std::vector<int>{a, a + zhong, -1}));
  EXPECT_EQ(canvas.TextWidth(QString()), 0);
}

TEST(CanvasMeasuringTest, MetricsFollowTheCurrentFont) {
  NullCanvas canvas;
  canvas.Font().name = QStringLiteral("楷体");
  canvas.Font().height = -20;
  const FontMetrics kai = canvas.Metrics();
  EXPECT_EQ(kai.ascent, 19);
  EXPECT_EQ(kai.descent, 3);
  EXPECT_EQ(kai.height, 22);
  EXPECT_EQ(canvas.TextWidth(QStringLiteral("中中")), 40);

  canvas.Font().height = 22;  // the cell height
  EXPECT_EQ(canvas.Metrics().height, 22);
  canvas.Font().name = QStringLiteral("Arial");
  canvas.Font().height = -2048;
  canvas.Font().style_bits = 1;
  EXPECT_EQ(canvas.TextWidth(QStringLiteral("i")), 569);  // Arial Bold's i
  EXPECT_EQ(canvas.CurrentScaledFont().EmPixels(), 2048);
}

TEST(TextDrawingTest, GlyphsLandAtTheGivenAdvances) {
  const int own = ScaledFont(QStringLiteral("Arial"), -40, 0).Advance(U'l');
  const struct {
    const char* what;
    std::vector<int> advances;
    std::vector<int> offsets;
  } cases[] = {
      {"given", {30, 50, 7}, {0, 30, 80}},
      {"the font's own", {}, {0, own, 2 * own}},
      {"too few given", {25}, {0, 25, 25 + own}},
      {"negative", {60, -30, 0}, {0, 30, 60}},
  };
  for (const auto& c : cases) {
    auto canvas = ImageCanvas(200, 60, QStringLiteral("Arial"), -40);
    canvas->ExtTextOut(20, 5, 0, nullptr, u"lll", c.advances);
    canvas->End();
    const QImage& image = *canvas->Image();
    const std::vector<int> starts = InkRunStarts(image, image.rect());
    ASSERT_EQ(starts.size(), 3u) << c.what;
    // Liberation Sans's l starts 136 units right of its origin.
    EXPECT_NEAR(starts[0], 20 + 136 * 40 / 2048.0, 1) << c.what;
    std::vector<int> relative;
    for (int s : starts) relative.push_back(s - starts[0]);
    EXPECT_EQ(relative, c.offsets) << c.what;

    // The reference point is the top of the cell: the l stands on the
    // baseline, ascent (36) pixels below it, and reaches 1466 units up.
    const QRect box = InkBox(image);
    EXPECT_NEAR(box.bottom(), 5 + 36 - 1, 1) << c.what;
    EXPECT_NEAR(box.top(), 5 + 36 - 1466 * 40 / 2048.0, 1) << c.what;
  }
}

TEST(TextDrawingTest, EscapementRotatesCounterClockwiseAboutTheReferencePoint) {
  const int x = 60, y = 120;
  auto ink_relative = [&](int escapement) {
    auto canvas = ImageCanvas(200, 200, QStringLiteral("Arial"), -40);
    canvas->Font().escapement = escapement;
    canvas->ExtTextOut(x, y, 0, nullptr, u"LLL", {});
    canvas->End();
    return InkBox(*canvas->Image()).translated(-x, -y);
  };
  const QRect flat = ink_relative(0);
  const QRect up = ink_relative(900);
  const QRect down = ink_relative(2700);
  ASSERT_FALSE(flat.isEmpty());
  // 900 reads upwards: the run's length goes up from the reference point
  // and the cell's height to the right of it.
  EXPECT_GT(up.height(), up.width());
  EXPECT_LE(up.bottom(), 0);
  EXPECT_NEAR(up.top(), -(flat.right() + 1), 1);
  EXPECT_NEAR(up.left(), flat.top(), 1);
  EXPECT_NEAR(up.right(), flat.bottom(), 1);
  // 2700 reads downwards, the cell to the left.
  EXPECT_GE(down.top(), 0);
  EXPECT_NEAR(down.bottom(), flat.right(), 1);
  EXPECT_NEAR(down.right(), -flat.top(), 1);
  // A full turn is no turn.
  EXPECT_EQ(ink_relative(3600), flat);
}

TEST(TextDrawingTest, ClipOptionLimitsTheRunAndOnlyIt) {
  const PixelRect left_part{0, 0, 45, 60};
  const struct {
    const char* what;
    int options;
    const PixelRect* clip;
    size_t runs;
  } cases[] = {
      {"clipped", kTextClipped, &left_part, 1},
      {"clip without the option", 0, &left_part, 3},
      {"option without a clip", kTextClipped, nullptr, 3},
      {"right-to-left flag alone", kTextRtlReading, &left_part, 3},
  };
  for (const auto& c : cases) {
    auto canvas = ImageCanvas(200, 120, QStringLiteral("Arial"), -40);
    const std::vector<int> advances = {30, 50, 0};
    canvas->ExtTextOut(20, 5, c.options, c.clip, u"lll", advances);
    // The clip ends with the run that asked for it.
    canvas->ExtTextOut(20, 65, 0, nullptr, u"lll", advances);
    canvas->End();
    const QImage& image = *canvas->Image();
    EXPECT_EQ(InkRunStarts(image, QRect(0, 0, 200, 60)).size(), c.runs) << c.what;
    EXPECT_EQ(InkRunStarts(image, QRect(0, 60, 200, 60)).size(), 3u) << c.what;
    EXPECT_LT(InkBox(image, QRect(0, 0, 200, 60)).right(), c.runs == 1 ? 45 : 200) << c.what;
  }
}

TEST(TextDrawingTest, ColourAndDecorationLines) {
  // Liberation Sans at 40 pixels: baseline 36 below the top; the underline
  // lies below the baseline, the strike-out above it, both across the run.
  const struct {
    int style;
    int above_baseline_min, above_baseline_max;  // rows counted up from the baseline
  } cases[] = {
      {4, -6, -1},
      {8, 6, 14},
  };
  for (const auto& c : cases) {
    auto canvas = ImageCanvas(200, 80, QStringLiteral("Arial"), -40);
    canvas->Font().color = clRed;
    canvas->Font().style_bits = c.style;
    const std::vector<int> advances = {40, 40, 40};
    canvas->ExtTextOut(30, 10, 0, nullptr, u"...", advances);
    canvas->End();
    const QImage& image = *canvas->Image();
    const int baseline = 10 + 36;
    int line_rows = 0;
    for (int y = 0; y < image.height(); ++y) {
      int red = 0;
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (IsInk(p)) {
          EXPECT_EQ(qRed(p), 255) << x << "," << y;
          red += x >= 30 && x < 150;
        }
      }
      if (red == 120) {
        ++line_rows;
        EXPECT_GE(baseline - y, c.above_baseline_min) << "style " << c.style << " row " << y;
        EXPECT_LE(baseline - y, c.above_baseline_max) << "style " << c.style << " row " << y;
      }
    }
    EXPECT_GE(line_rows, 1) << "style " << c.style;
    EXPECT_LE(line_rows, 4) << "style " << c.style;
    EXPECT_EQ(InkBox(image).left(), 30) << "the line starts at the reference point";
    EXPECT_EQ(InkBox(image).right(), 149) << "and ends after the last advance";
  }

  // "No colour" draws nothing.
  auto canvas = ImageCanvas(100, 60, QStringLiteral("Arial"), -40);
  canvas->Font().color = clNone;
  canvas->Font().style_bits = 4;
  canvas->ExtTextOut(10, 10, 0, nullptr, u"ll", {});
  canvas->End();
  EXPECT_EQ(InkCount(*canvas->Image()), 0);
}

TEST(TextDrawingTest, SimulatedBoldThickensAndSimulatedItalicSlants) {
  // AR PL UKai has neither bold nor italic: both are simulated.
  auto draw = [](int style) {
    auto canvas = ImageCanvas(120, 120, QStringLiteral("楷体"), -80);
    canvas->Font().style_bits = style;
    canvas->ExtTextOut(20, 10, 0, nullptr, u"中", {});
    canvas->End();
    return *canvas->Image();
  };
  const QImage regular = draw(0);
  const QImage bold = draw(1);
  const QImage italic = draw(2);
  EXPECT_GT(InkCount(bold), InkCount(regular) * 11 / 10);
  // The vertical stroke of 中 leans right: its top moves right of its foot.
  auto stroke_x = [](const QImage& image, int y) {
    const std::vector<int> starts = InkRunStarts(image, QRect(0, y, image.width(), 1));
    return starts.empty() ? -1 : starts.front();
  };
  const QRect box = InkBox(regular);
  const int top = box.top() + 3, foot = box.bottom() - 3;
  EXPECT_NEAR(stroke_x(italic, top) - stroke_x(italic, foot) -
                  (stroke_x(regular, top) - stroke_x(regular, foot)),
              0.2 * (foot - top), 3);
}

}  // namespace
}  // namespace ovx
