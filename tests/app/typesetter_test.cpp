// The grid typesetter through the print command, on small grids: each case
// renders the body pages as text, one vertical line after another (right to
// left), "." for a row without a cell, "_" for a cell without text, then
// "#" and the page number as its digit cells hold it.
#include "app/core/typesetter.h"
#include "app/core/print_command.h"
#include "base/units.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <utility>

namespace ovx::app {
namespace {

struct Built {
  TovxReport report;
  Typesetter typesetter;
  BuildResult result;
  std::vector<TovxReportPage*> body;
};

void Build(Built& b, const QString& text, int lines, int chars, bool remove_punctuation = false) {
  PrintSettings settings;
  settings.body_lines = {text};
  settings.title_lines = {QStringLiteral("道")};
  settings.cover_background = false;
  settings.body_background = false;
  settings.remove_punctuation = remove_punctuation;
  settings.lines = QString::number(lines);
  settings.chars = QString::number(chars);
  b.result = BuildReport(b.report, settings, b.typesetter);
  for (TovxComponent* c : b.report.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(c);
    if (page && page->Name().isEmpty()) b.body.push_back(page);
  }
}

std::vector<TovxMemoView*> Cells(const TovxReportPage& page) {
  std::vector<TovxMemoView*> cells;
  for (TovxComponent* c : page.Objects()) cells.push_back(dynamic_cast<TovxMemoView*>(c));
  return cells;
}

QStringList Render(const Built& b, int lines, int chars) {
  const double w = 138.5 * ov01cm;
  const double cell = std::min(95 * ov01cm / chars, w / lines);
  const double x0 = w - 15 * ov01cm;
  QStringList pages;
  for (const TovxReportPage* page : b.body) {
    std::vector<QString> grid(static_cast<size_t>(lines * chars), QStringLiteral("."));
    QString number;
    for (const TovxMemoView* memo : Cells(*page)) {
      if (memo->Width() < cell - 1e-9) {
        number += memo->Lines().join(QString());
        continue;
      }
      const int l = static_cast<int>(std::lround((x0 - memo->Left()) / cell));
      const int r = static_cast<int>(std::lround(memo->Top() / cell)) + 1;
      EXPECT_TRUE(l >= 1 && l <= lines && r >= 1 && r <= chars) << l << " " << r;
      const QString t = memo->Lines().join(QString());
      grid[static_cast<size_t>((l - 1) * chars + r - 1)] = t.isEmpty() ? QStringLiteral("_") : t;
    }
    QString out;
    for (int l = 0; l < lines; ++l) {
      if (l) out += u'|';
      for (int r = 0; r < chars; ++r) out += grid[static_cast<size_t>(l * chars + r)];
    }
    pages << out + u'#' + number;
  }
  return pages;
}

struct Case {
  const char* what;
  const char16_t* text;
  QStringList pages;  // on a grid of 2 lines of 3 cells
};

TEST(TypesetterTest, GridCases) {
  const Case cases[] = {
      {"x in row 1 is skipped", u"xabcd", {"abc|d..#1"}},
      {"x in a later row ends the line", u"abxcd", {"ab.|cd.#1"}},
      {"two x at the top: the second is drawn", u"xxab", {"xab|...#1"}},
      {"empty text: one page with only its number", u"", {"...|...#1"}},
      {"text runs out mid-page: last page", u"abcd", {"abc|d..#1"}},
      {"text ends on the last cell: one more page", u"abcdef", {"abc|def#1", "...|...#2"}},
      {"x ends the last line: one more page", u"abcdex", {"abc|de.#1", "...|...#2"}},
      {"ending with x in row 1: one empty cell", u"abcx", {"abc|_..#1"}},
      {"a space takes a cell", u"a b", {"a b|...#1"}},
      {"outside the BMP and outside GBK: one cell each",
       u"a𠀀b\u3400c𪚥",
       {"a𠀀b|\u3400c𪚥#1", "...|...#2"}},
      {"a lone surrogate is a character of its own",
       u"a\xD800"
       u"b",
       {QString::fromUtf16(u"a\xD800"
                           u"b|...#1")}},
      {"combining marks share the cell before them",
       u"e\u0301a\u0308\u20DD\u8449\U000E0100b",
       {QString::fromUtf16(u"e\u0301a\u0308\u20DD\u8449\U000E0100|b..#1")}},
      {"a mark at the start of the text takes its own cell", u"\u0301ab", {"\u0301ab|...#1"}},
      {"C0 controls are dropped, not drawn as empty cells",
       u"a\x01"
       u"b\tc\x1B\x1F"
       u"d",
       {"abc|d..#1"}},
  };
  for (const Case& c : cases) {
    Built b;
    Build(b, QString::fromUtf16(c.text), 2, 3);
    EXPECT_EQ(Render(b, 2, 3), c.pages) << c.what;
  }
}

TEST(TypesetterTest, PunctuationRemovedOrKept) {
  const QString text = QStringLiteral("道，可、道？非?常。道！名：可；名「玄」");
  Built removed;
  Build(removed, text, 3, 4, true);
  EXPECT_EQ(Render(removed, 3, 4).value(0), QStringLiteral("道可道非|常道名可|名「玄」#1"));
  Built kept;
  Build(kept, text, 5, 4, false);
  EXPECT_EQ(Render(kept, 5, 4).value(0).left(9), QStringLiteral("道，可、|道？非?"));
}

TEST(TypesetterTest, KeptMarksAndBracketsTakeTheirVerticalForms) {
  Built kept;
  Build(kept, QStringLiteral("道，可、道。非「常」？（名）“玄”"), 5, 4, false);
  ASSERT_EQ(kept.body.size(), 1u);
  QString vertical;
  QString upright;
  for (const TovxMemoView* memo : Cells(*kept.body[0])) {
    (memo->VerticalForms() ? vertical : upright) += memo->Lines().join(QString());
  }
  // The text stays the ordinary marks; the page number stays upright.
  EXPECT_EQ(vertical, QStringLiteral("，、。「」？（）“”"));
  EXPECT_EQ(upright, QStringLiteral("道可道非常名玄1"));
}

TEST(TypesetterTest, PageNumbersOfTwoAndMoreDigits) {
  Built b;
  Build(b, QString(123, u'a'), 1, 1);
  ASSERT_EQ(b.body.size(), 124u);
  const double s = 95 * ov01cm;  // one cell fills the printable height
  const double x0 = 138.5 * ov01cm - 15 * ov01cm;
  struct Expect {
    int page;
    QStringList digits;
  };
  for (const Expect& e : {Expect{9, {"9"}}, Expect{10, {"1", "0"}}, Expect{99, {"9", "9"}},
                          Expect{123, {"12", "3"}}}) {
    const auto cells = Cells(*b.body[static_cast<size_t>(e.page - 1)]);
    ASSERT_EQ(cells.size(), 1 + static_cast<size_t>(e.digits.size())) << e.page;
    for (qsizetype i = 0; i < e.digits.size(); ++i) {
      const TovxMemoView& digit = *cells[static_cast<size_t>(1 + i)];
      EXPECT_EQ(digit.Lines(), QStringList{e.digits[i]}) << e.page;
      EXPECT_DOUBLE_EQ(digit.Left(), x0 + s / 4 * (1 + i)) << e.page;
      EXPECT_DOUBLE_EQ(digit.Top(), s - s / 2);
      EXPECT_DOUBLE_EQ(digit.Width(), s / 2);
    }
  }
}

TEST(TypesetterTest, StopsAt501Pages) {
  Built b;
  Build(b, QString(700, u'a'), 1, 1);
  EXPECT_EQ(b.result.body_pages, kMaxBodyPages);
  EXPECT_EQ(b.body.size(), static_cast<size_t>(kMaxBodyPages));
  EXPECT_EQ(b.typesetter.Remaining().size(), 700 - kMaxBodyPages);
  // What the limit left out is counted, in characters, not UTF-16 units.
  EXPECT_EQ(b.result.text_characters, 700);
  EXPECT_EQ(b.result.left_out_characters, 700 - kMaxBodyPages);
  Built wide;
  Build(wide, QString::fromUtf16(u"\U00020000").repeated(600), 1, 1);
  EXPECT_EQ(wide.result.left_out_characters, 600 - kMaxBodyPages);
  EXPECT_TRUE(BuildNotes(wide.result).join(u' ').contains(u"99 of its 600 characters"))
      << BuildNotes(wide.result).join(u' ').toStdString();
}

TEST(TypesetterTest, ControlCharactersAreDroppedAndCounted) {
  Built b;
  // NUL too, which a C string would end at.
  const char16_t text[] = u"a\0\0b\x7F\x1F";
  Build(b, QString::fromUtf16(text, std::size(text) - 1), 2, 3);
  EXPECT_EQ(b.result.dropped_controls, 3);  // DEL is no C0 control
  EXPECT_EQ(Render(b, 2, 3), QStringList{QString::fromUtf16(u"ab\x7F|...#1")});
  EXPECT_TRUE(BuildNotes(b.result).join(u' ').contains(u"3 control characters"));
  Built clean;
  Build(clean, QStringLiteral("ab"), 2, 3);
  EXPECT_TRUE(BuildNotes(clean.result).isEmpty());
}

TEST(TypesetterTest, NamesFacesAndColours) {
  Built b;
  // The chapter name after the space is green up to the next "x", across a
  // page break; single-byte characters take the private face.
  Build(b, QStringLiteral("一 二三x四a"), 1, 3);
  ASSERT_EQ(b.body.size(), 3u);
  struct Expect {
    QString text;
    ovx::Color color;
  };
  const std::vector<Expect> expected = {{"一", kBlack}, {" ", kGreen},  {"二", kGreen},
                                        {"1", kGreen},  {"三", kGreen}, {"2", kBlack},
                                        {"四", kBlack}, {"a", kBlack},  {"3", kBlack}};
  int n = 0;
  for (TovxReportPage* page : b.body) {
    for (TovxMemoView* memo : Cells(*page)) {
      ASSERT_LT(static_cast<size_t>(n), expected.size());
      EXPECT_EQ(memo->Name(), QStringLiteral("F%1").arg(n));
      EXPECT_EQ(memo->Lines().join(QString()), expected[static_cast<size_t>(n)].text) << n;
      EXPECT_EQ(memo->Font().Color(), expected[static_cast<size_t>(n)].color) << n;
      EXPECT_EQ(memo->HAlign(), TovxHAlign::haCenter);
      EXPECT_EQ(memo->VAlign(), TovxVAlign::vaCenter);
      // The cleared display format is the shared default, not an item of
      // the cell's own.
      EXPECT_EQ(memo->FormatCount(), 0);
      EXPECT_EQ(std::as_const(*memo).DisplayFormat().Kind(), TovxFormatKind::fkText);
      EXPECT_TRUE(std::as_const(*memo).DisplayFormat().FormatStr().isEmpty());
      ++n;
    }
  }
  EXPECT_EQ(n, 9);
  EXPECT_EQ(b.result.cells, 9);
}

TEST(TypesetterTest, FaceFollowsTheCharacterKind) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  Typesetter t;
  t.SetHolderFace(QStringLiteral("楷体"));
  t.Reset(QStringLiteral("a道]"));
  const QString faces[] = {QStringLiteral("楷体-Velmora"), QStringLiteral("楷体"),
                           QStringLiteral("楷体-Velmora")};
  for (const QString& face : faces) {
    t.AddCell(t.NextChar(), *page, 0, 0, 10);
    EXPECT_EQ(t.CurrentFace(), face);
    EXPECT_EQ(page->Objects().back()->Font().Name(), face);
  }
  // Nothing left: the face stays as it was.
  EXPECT_EQ(t.NextChar(), QString());
  EXPECT_EQ(t.CurrentFace(), faces[2]);
}

}  // namespace
}  // namespace ovx::app
