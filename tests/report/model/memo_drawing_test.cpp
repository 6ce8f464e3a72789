// Memo views drawing, measuring and splitting their text through the text
// layout: where the text goes inside the gaps and frame, what height and
// width the text needs, and how a text that does not fit is cut.
#include "render/null_canvas.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

namespace {

// Keeps the text runs drawn on it.
class RunCanvas : public ovx::NullCanvas {
 public:
  struct Run {
    int x;
    int y;
    QString text;
    std::vector<int> advances;
    ovx::FontMetrics metrics;
  };
  using NullCanvas::NullCanvas;
  std::vector<Run> runs;

  void ExtTextOut(int x, int y, int, const ovx::PixelRect*, QStringView text,
                  std::span<const int> advances) override {
    runs.push_back({x, y, text.toString(), {advances.begin(), advances.end()}, Metrics()});
  }
};

TovxMemoView* Cell(TovxReportPage& page, double left, double top, double size,
                   const QString& text) {
  auto* memo = new TovxMemoView();
  memo->SetParent(&page);
  memo->SetBounds(left, top, size, size);
  memo->Font().SetName(QStringLiteral("楷体"));
  memo->Font().SetSize(15);
  memo->SetHAlign(TovxHAlign::haCenter);
  memo->SetVAlign(TovxVAlign::vaCenter);
  memo->SetText(text);
  return memo;
}

TEST(MemoDrawingTest, OneCharacterSitsInTheMiddleOfItsCell) {
  // The typesetter's grid cell: 29.92 units square, 15-point type. The
  // character's advance box (its advance wide, ascent plus descent high)
  // is centred on the cell within one device pixel at any resolution.
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  const double cell = 29.92;
  TovxMemoView* memo = Cell(*page, 466.77 - 4 * cell, 7 * cell, cell, QStringLiteral("玄"));
  for (int dpi : {96, 150, 300, 600, 1200}) {
    SCOPED_TRACE(dpi);
    const double scale = dpi / 96.0;
    RunCanvas canvas(dpi);
    memo->Draw(canvas, scale, scale, 0, 0);
    ASSERT_EQ(canvas.runs.size(), 1u);
    const RunCanvas::Run& run = canvas.runs[0];
    ASSERT_EQ(run.advances.size(), 1u);
    const double box_x = run.x + run.advances[0] / 2.0;
    const double box_y = run.y + run.metrics.height / 2.0;
    const double centre_x = (memo->Left() + cell / 2) * scale;
    const double centre_y = (memo->Top() + cell / 2) * scale;
    std::cout << "  " << dpi << " dpi: advance box centre off the cell centre by "
              << box_x - centre_x << ", " << box_y - centre_y << " px\n";
    EXPECT_LE(std::abs(box_x - centre_x), 1.0);
    EXPECT_LE(std::abs(box_y - centre_y), 1.0);
  }
}

TEST(MemoDrawingTest, TextAreaLeavesGapsAndTheInnerHalfOfFrameLines) {
  TovxMemoView memo;
  memo.SetBounds(10, 20, 100, 50);
  EXPECT_EQ(memo.TextRectInUnits(), (ovx::PixelRect{12, 21, 108, 69}));
  memo.Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftBottom});
  memo.Frame().SetWidth(4);
  EXPECT_EQ(memo.TextRectInUnits(), (ovx::PixelRect{14, 21, 108, 67}));
  // In pixels, from the drawing's rectangle, at scale 2.
  EXPECT_EQ(memo.TextRectInPixels({20, 40, 220, 140}, 2, 2), (ovx::PixelRect{28, 42, 216, 134}));
}

TEST(MemoDrawingTest, HeightAndWidthFollowTheText) {
  TovxMemoView memo;
  memo.SetBounds(0, 0, 60, 20);
  memo.SetText(QStringLiteral("one"));
  const double one_line = memo.CalcHeight();
  memo.SetText(QStringLiteral("one\ntwo\nthree"));
  const double three_lines = memo.CalcHeight();
  // Two more line steps (the line height plus the spacing of 2 units).
  EXPECT_NEAR(three_lines - one_line, 2 * (83 / 6.25 + 2), 1e-9);
  // Wrapping: the same words on one line need no more than the width of
  // the widest line when nothing wraps.
  memo.SetText(QStringLiteral("a long line of words that wraps"));
  EXPECT_GT(memo.CalcHeight(), one_line);
  EXPECT_GT(memo.CalcWidth(), memo.Width());
  // Nothing to show: the gaps alone.
  memo.SetText(QString());
  EXPECT_EQ(memo.CalcHeight(), 2);
  EXPECT_EQ(memo.CalcWidth(), 4);
}

TEST(MemoDrawingTest, DrawPartKeepsWhatFitsAndHandsOnTheRest) {
  TovxMemoView memo;
  memo.SetBounds(0, 0, 200, 33);  // two lines of the default font
  memo.SetText(QStringLiteral("one\ntwo\nthree\nfour"));
  memo.InitPart();
  const double rest_height = memo.DrawPart();
  EXPECT_EQ(memo.Text(), QStringLiteral("one\r\ntwo\r\n"));
  EXPECT_TRUE(memo.HasNextDataPart());
  EXPECT_EQ(memo.RestText(), QStringLiteral("three\r\nfour\r\n"));
  EXPECT_NEAR(rest_height, 2 * (83 / 6.25 + 2) + 2, 1e-9);

  memo.SetText(QStringLiteral("fits"));
  memo.InitPart();
  EXPECT_EQ(memo.DrawPart(), 0);
  EXPECT_FALSE(memo.HasNextDataPart());
  EXPECT_EQ(memo.Text(), QStringLiteral("fits\r\n"));
}

}  // namespace
