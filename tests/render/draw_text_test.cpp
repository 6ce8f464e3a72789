// The text layout: wrapping, tags, hyphenation, measurements, the text left
// for a next page, and drawing on a recording canvas.
//
// Measuring is real (the installed fonts through the font service), so
// expectations are computed from the measuring canvas's own extents, except
// where the fixed-pitch "Liberation Mono" makes a literal clearer.
#include "render/draw_text.h"

#include "base/rounding.h"
#include "render/internal/hyphenation.h"
#include "render/null_canvas.h"
#include "tests/render/recording_canvas.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ovx {
namespace {

using test::RecordingCanvas;

constexpr double kFactor = TovxDrawText::kMeasureFactor;
const QString kMono = QStringLiteral("Liberation Mono");
const QString kKai = QStringLiteral("楷体");

// Everything a memo hands the layout, with the memo defaults.
struct Memo {
  QString font = QStringLiteral("Arial");
  int size = 10;
  TovxFontStyles style;
  Color color = clBlack;
  bool word_wrap = true;
  bool tags = false;
  int rotation = 0;
  bool wysiwyg = true;
  bool word_break = false;
  bool rtl = false;
  double paragraph_gap = 0;
  double char_spacing = 0;
  double line_spacing = 0;
  double scale = 1;
  double print_scale = 1;
  PixelRect text_rect{0, 0, 200, 200};
  // Defaults to the text rectangle at the scale.
  std::optional<PixelRect> draw_rect;
  bool first_para_break = false;
};

void Configure(TovxDrawText& layout, const Memo& s, const QStringList& lines) {
  TovxFont font;
  font.SetName(s.font);
  font.SetSize(s.size);
  font.SetStyle(s.style);
  font.SetColor(s.color);
  layout.ApplyFont(font);
  layout.ApplyOptions(s.word_wrap, s.tags, s.rotation, s.wysiwyg, true, s.word_break, s.rtl);
  layout.ApplySpacing(s.paragraph_gap, s.char_spacing, s.line_spacing);
  const PixelRect& t = s.text_rect;
  const PixelRect draw = s.draw_rect.value_or(
      PixelRect{RoundToInt(t.left * s.scale), RoundToInt(t.top * s.scale),
                RoundToInt(t.right * s.scale), RoundToInt(t.bottom * s.scale)});
  layout.ApplyGeometry(s.scale, s.scale, s.print_scale, t, draw);
  layout.LayOutText(lines, s.first_para_break);
}

// Cumulative extents at 600 dpi, as the layout measures.
std::vector<int> Extents600(const QString& font, int size, const QString& text, int style = 0) {
  NullCanvas canvas(600);
  canvas.Font().name = font;
  canvas.Font().height = -RoundToInt(size * 600.0 / 72);
  canvas.Font().style_bits = style;
  std::vector<int> out(text.size());
  canvas.TextExtents(text, out);
  return out;
}

int Width600(const QString& font, int size, const QString& text, int style = 0) {
  return text.isEmpty() ? 0 : Extents600(font, size, text, style).back();
}

// The narrowest text-rectangle width (report units) whose 600-dpi width
// holds `pixels`; it holds less than a report unit (6.25 pixels) more.
int UnitsFor(int pixels) { return static_cast<int>(std::ceil(pixels / kFactor)); }

int MonoAdvance() { return Width600(kMono, 10, QStringLiteral("a")); }

// Runs drawn, as the recorder receives them.
struct DrawnRun {
  int x = 0;
  int y = 0;
  QString text;
  std::vector<int> advances;
  CanvasFont font;
};

class Runs : public TextRunSink {
 public:
  std::vector<DrawnRun> runs;
  void TextRun(int x, int y, int, const PixelRect&, QStringView text, std::span<const int> advances,
               const Canvas& canvas) override {
    runs.push_back({x, y, text.toString(), {advances.begin(), advances.end()}, canvas.Font()});
  }
};

std::vector<DrawnRun> Draw(TovxDrawText& layout, Canvas& canvas, TovxHAlign h = TovxHAlign::haLeft,
                           TovxVAlign v = TovxVAlign::vaTop,
                           TovxUnderlinesTextMode u = TovxUnderlinesTextMode::ulmNone) {
  Runs runs;
  layout.SetRecorder(&runs);
  layout.DrawLines(canvas, h, v, u);
  layout.SetRecorder(nullptr);
  return runs.runs;
}

int Sum(const std::vector<int>& v) { return std::accumulate(v.begin(), v.end(), 0); }

// A printer page: fonts at its own resolution times the print scale.
class PrinterCanvas : public RecordingCanvas {
 public:
  using RecordingCanvas::RecordingCanvas;
  bool IsPrinter() const override { return true; }
};

// A printer whose pixels are not square.
class WidePrinterCanvas : public NullCanvas {
 public:
  WidePrinterCanvas(int dpi_x, int dpi_y) : NullCanvas(dpi_x, dpi_y) {}
  bool IsPrinter() const override { return true; }
};

// --- wrapping ---------------------------------------------------------------------------------

TEST(DrawTextWrapTest, ChineseBreaksBeforeTheFirstCharacterThatDoesNotFit) {
  const QString text = QStringLiteral("天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往");
  const std::vector<int> ext = Extents600(kKai, 15, text);
  DrawTextLock lock;
  for (int fit : {1, 5, 7}) {
    SCOPED_TRACE(fit);
    TovxDrawText layout;
    Memo s;
    s.font = kKai;
    s.size = 15;
    s.text_rect = {0, 0, UnitsFor(ext[fit - 1]), 100};
    Configure(layout, s, {text});
    const QStringList& lines = layout.WrappedLines();
    ASSERT_EQ(lines.size(), (text.size() + fit - 1) / fit);
    for (int i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], text.mid(i * fit, fit));
    EXPECT_EQ(lines.join(QString()), text);
  }
}

TEST(DrawTextWrapTest, BreaksAtSpacesAndInsideOverlongWords) {
  // Four monospaced characters fit.
  const int width = UnitsFor(4 * MonoAdvance());
  struct Case {
    QString line;
    QStringList wrapped;
  };
  const Case cases[] = {
      // The space at the break is dropped.
      {"ab cd ef", {"ab", "cd", "ef"}},
      {"abcd efgh", {"abcd", "efgh"}},
      // A word longer than the width breaks before its first character
      // that does not fit.
      {"abcdefghij klm", {"abcd", "efgh", "ij", "klm"}},
      // The last space before the overflow breaks; earlier ones stay.
      {"a  bcdefg", {"a ", "bcde", "fg"}},
      // A space at the start of a wrapped line is no break opportunity.
      {" abcdef", {" abc", "def"}},
  };
  DrawTextLock lock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.toStdString());
    TovxDrawText layout;
    Memo s;
    s.font = kMono;
    s.text_rect = {0, 0, width, 100};
    Configure(layout, s, {c.line});
    EXPECT_EQ(layout.WrappedLines(), c.wrapped);
  }
}

TEST(DrawTextWrapTest, CharacterWiderThanTheWidthStandsAlone) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.text_rect = {0, 0, 1, 100};
  // U+20000 and U+20001 (CJK Extension B) are surrogate pairs: never split.
  const QString ext_b = QString::fromUcs4(U"\U00020000\U00020001");
  Configure(layout, s, {QStringLiteral("天地"), ext_b, QStringLiteral("a b")});
  EXPECT_EQ(layout.WrappedLines(),
            QStringList({"天", "地", ext_b.left(2), ext_b.mid(2), "a", " ", "b"}));
}

TEST(DrawTextWrapTest, ParagraphFlagsAndEmptySourceLines) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.text_rect = {0, 0, UnitsFor(4 * MonoAdvance()), 100};
  Configure(layout, s, {"ab cd ef", "", "xy"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ab", "cd", "ef", " ", "xy"}));
  std::vector<int> flags;
  for (int i = 0; i < 5; ++i) flags.push_back(layout.ParagraphFlags(i));
  EXPECT_EQ(flags, std::vector<int>({1, 0, 2, 3, 3}));
  EXPECT_EQ(layout.FittingText(), QStringLiteral("ab cd ef\r\n \r\nxy\r\n"));
  EXPECT_EQ(layout.WrappedText(), QStringLiteral("ab\r\ncd\r\nef\r\n \r\nxy"));

  layout.ClearParagraphEnds(true, true);
  EXPECT_EQ(layout.ParagraphFlags(0), 0);
  EXPECT_EQ(layout.ParagraphFlags(4), 1);

  layout.LayOutText({}, false);
  EXPECT_TRUE(layout.WrappedLines().isEmpty());
  EXPECT_EQ(layout.MeasureHeight(), 0);
}

TEST(DrawTextWrapTest, ParagraphGapNarrowsFirstLinesUnlessTheParagraphBeganBefore) {
  const int a = MonoAdvance();
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  // Six characters fit in the width, four after the gap.
  s.text_rect = {0, 0, UnitsFor(6 * a), 100};
  s.paragraph_gap = (s.text_rect.right * kFactor - 4 * a - 1) / kFactor;
  Configure(layout, s, {"abcdef ghijkl", "mnopqr"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"abcd", "ef", "ghijkl", "mnop", "qr"}));

  s.first_para_break = true;
  Configure(layout, s, {"abcdef ghijkl", "mnopqr"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"abcdef", "ghijkl", "mnop", "qr"}));
}

TEST(DrawTextWrapTest, WordWrapOffAndNoWrapSpaces) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.text_rect = {0, 0, UnitsFor(5 * MonoAdvance()), 100};
  s.word_wrap = false;
  Configure(layout, s, {"ab cd ef gh"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ab cd ef gh"}));

  s.word_wrap = true;
  s.tags = true;
  Configure(layout, s, {"<nowrap>ab cd</nowrap> ef gh"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ab cd", "ef gh"}));
  Configure(layout, s, {"ab <nowrap>cd ef gh</nowrap>"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ab", "cd ef", " gh"}));
}

// --- tags -------------------------------------------------------------------------------------

struct TagCase {
  QString source;
  QString visible;
  // One character per visible character: the field under test.
  std::function<int(const TovxHTMLTag&)> field;
  std::vector<int> expected;
};

int StyleOf(const TovxHTMLTag& t) { return t.style; }
int SizeOf(const TovxHTMLTag& t) { return t.size; }
int LoweredOf(const TovxHTMLTag& t) { return t.lowered; }
int ScriptOf(const TovxHTMLTag& t) { return t.script; }
int ColorOf(const TovxHTMLTag& t) { return t.color; }
int NoWrapOf(const TovxHTMLTag& t) { return t.no_wrap; }
int PositionOf(const TovxHTMLTag& t) { return t.position; }
int UnchangedOf(const TovxHTMLTag& t) { return t.unchanged; }
int ReducedOf(const TovxHTMLTag& t) { return t.reduced; }

TEST(DrawTextTagTest, EachTagSetsItsAttribute) {
  const TagCase cases[] = {
      {"<b>a</b>b", "ab", StyleOf, {1, 0}},
      {"<I>a</i>b", "ab", StyleOf, {2, 0}},
      {"<u>a</U>b", "ab", StyleOf, {4, 0}},
      {"<strike>a</strike>b", "ab", StyleOf, {8, 0}},
      {"<b><i>a</b>b</i>c", "abc", StyleOf, {3, 2, 0}},
      {"a<sub>2</sub>b", "a2b", SizeOf, {10, 7, 10}},
      {"a<sub>2</sub>b", "a2b", LoweredOf, {0, 1, 0}},
      {"a<sub>2</sub>b", "a2b", ScriptOf, {0, 1, 0}},
      {"a<sup>2</sup>b", "a2b", SizeOf, {10, 7, 10}},
      {"a<sup>2</sup>b", "a2b", LoweredOf, {0, 0, 0}},
      {"a<sup>2</sup>b", "a2b", ScriptOf, {0, 2, 0}},
      {"a<sup>2</sup>b", "a2b", ReducedOf, {0, 1, 0}},
      {"<nowrap>a b</nowrap> c", "a b c", NoWrapOf, {1, 1, 1, 0, 0}},
      {"<font color=\"#FF0000\">r</font>k", "rk", ColorOf, {clRed, clBlack}},
      {"<font color=\"#00ff80\">g", "g", ColorOf, {RgbColor(0, 0xFF, 0x80)}},
      {"<font color=red>r</FONT>k", "rk", ColorOf, {clRed, clBlack}},
      {"<FONT COLOR=  Navy>n", "n", ColorOf, {clNavy}},
      // Positions count the tags of the plain text, 1-based.
      {"<b>ab</b>c", "abc", PositionOf, {4, 5, 10}},
      // Unchanged: against the previous record, the first against the font.
      {"a<b>b</b>c<i></i>d", "abcd", UnchangedOf, {1, 0, 0, 1}},
      {"<b>a", "a", UnchangedOf, {0}},
  };
  DrawTextLock lock;
  for (const TagCase& c : cases) {
    SCOPED_TRACE(c.source.toStdString());
    TovxDrawText layout;
    Memo s;
    s.tags = true;
    s.word_wrap = false;
    Configure(layout, s, {c.source});
    ASSERT_EQ(layout.WrappedLines(), QStringList({c.visible}));
    const TovxHTMLTags& tags = layout.LineTags(0);
    ASSERT_EQ(tags.size(), static_cast<size_t>(c.visible.size()));
    std::vector<int> actual;
    for (const TovxHTMLTag& t : tags) actual.push_back(c.field(t));
    EXPECT_EQ(actual, c.expected);
  }
}

TEST(DrawTextTagTest, WhatIsNotATagStaysText) {
  struct Case {
    QString source;
    QString visible;
  };
  const Case cases[] = {
      // Unquoted hex is no colour; the "</font>" after it is a tag.
      {"<font color=#FF0000>bare</font>", "<font color=#FF0000>bare"},
      {"a<b", "a<b"},
      {"<x>y", "<x>y"},
      {"<font color=\"#FF00\">", "<font color=\"#FF00\">"},
      {"<font color=\"#GG0000\">", "<font color=\"#GG0000\">"},
      {"<font color=\"red\">", "<font color=\"red\">"},
      {"<font color=nosuch>", "<font color=nosuch>"},
      {"<font color=", "<font color="},
  };
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.tags = true;
  s.word_wrap = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source.toStdString());
    Configure(layout, s, {c.source});
    ASSERT_EQ(layout.WrappedLines(), QStringList({c.visible}));
    for (const TovxHTMLTag& t : layout.LineTags(0)) EXPECT_EQ(t.color, clBlack);
  }

  // A colour tag cut off at the line end never takes its ">" from the next
  // line.
  Configure(layout, s, {"a<font color=red", ">b"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"a<font color=red", ">b"}));
  for (int i = 0; i < 2; ++i) {
    for (const TovxHTMLTag& t : layout.LineTags(i)) EXPECT_EQ(t.color, clBlack);
  }

  // Without tags allowed nothing is a tag, and every record is unchanged.
  s.tags = false;
  Configure(layout, s, {"<b>a</b>"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"<b>a</b>"}));
  for (const TovxHTMLTag& t : layout.LineTags(0)) {
    EXPECT_TRUE(t.unchanged);
    EXPECT_EQ(t.style, 0);
  }
}

TEST(DrawTextTagTest, RecordsFollowLinesAndBreaks) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.tags = true;
  s.font = kMono;
  s.text_rect = {0, 0, UnitsFor(4 * MonoAdvance()), 100};
  // The bold starts at the space that the break drops: the next line's
  // first record still marks the change.
  Configure(layout, s, {"<b></b>", "abc<b> def"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({" ", "abc", "def"}));
  // An emptied line is one space, at the position after its tags.
  EXPECT_EQ(layout.LineTags(0)[0].position, 8);
  EXPECT_EQ(layout.LineTags(1)[0].position, 10);
  const TovxHTMLTag& d = layout.LineTags(2)[0];
  EXPECT_EQ(d.position, 17);
  EXPECT_EQ(d.style, 1);
  EXPECT_FALSE(d.unchanged);

  RecordingCanvas canvas;
  const std::vector<DrawnRun> runs = Draw(layout, canvas);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].font.style_bits, 0);
  EXPECT_EQ(runs[2].text, "def");
  EXPECT_EQ(runs[2].font.style_bits, 1);
}

// --- hyphenation ------------------------------------------------------------------------------

TEST(DrawTextHyphenationTest, PrefixBeforeTheOverflowingLetter) {
  struct Case {
    QString line;
    qsizetype word_start;
    qsizetype overflow;
    qsizetype prefix;
  };
  // ПРОГРАММИРОВАНИЕ may break after ПРО, ПРОГ, ПРОГРАМ, ПРОГРАММИ,
  // ПРОГРАММИРО and ПРОГРАММИРОВА (not ПРОГРА before the doubled М, not
  // before the single last letter).
  const QString p = QStringLiteral("ПРОГРАММИРОВАНИЕ");
  const Case cases[] = {
      {p, 0, 16, 13},
      {p, 0, 13, 13},
      {p, 0, 12, 11},
      {p, 0, 10, 9},
      {p, 0, 8, 7},
      {p, 0, 6, 4},
      {p, 0, 3, 3},
      {p, 0, 2, 0},
      {QStringLiteral("программирование"), 0, 12, 11},
      // The word starts behind a space and ends at the first of " .,-;"
      // at or after the overflow.
      {"ЭТО ПРОГРАММИРОВАНИЕ, ДА", 4, 15, 11},
      {"ЭТО ПРОГРАММИРОВАНИЕ, ДА", 4, 3, 0},
      {QStringLiteral("ВАННА"), 0, 5, 3},    // not ВА-ННА
      {QStringLiteral("ПОДЪЕЗД"), 0, 7, 2},  // not before Ъ; ЗД has no vowel
      {QStringLiteral("ВОЙНА"), 0, 5, 3},    // not before Й
      {QStringLiteral("ДОМ"), 0, 3, 0},      // three letters or fewer
      {QStringLiteral("HYPHENATION"), 0, 10, 0},
      {QStringLiteral("АБВ"), 5, 9, 0},  // out of range
      // A character whose upper case is longer makes the word foreign.
      {QStringLiteral("программированиеß"), 0, 12, 0},
      {QStringLiteral("программирование ß"), 0, 12, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 @%2").arg(c.line).arg(c.overflow).toStdString());
    EXPECT_EQ(HyphenatedPrefixLength(c.line, c.word_start, c.overflow), c.prefix);
  }
}

TEST(DrawTextHyphenationTest, WordBreakHyphenatesWrappedLines) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.word_break = true;
  s.tags = true;
  s.text_rect = {0, 0, UnitsFor(8 * MonoAdvance()), 100};
  Configure(layout, s, {"ОН <b>ПРОГРАММИРОВАНИЕ</b>"});
  // After the space the line keeps "ОН " and the prefix that ends before
  // the letter that overflowed; without a space, the prefix alone. The
  // hyphen may stand beyond the width.
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ОН ПРОГ-", "РАММИРО-", "ВАНИЕ"}));
  const TovxHTMLTags& tags = layout.LineTags(0);
  ASSERT_EQ(tags.size(), 8u);
  EXPECT_EQ(tags[7].style, 1);  // the hyphen copies the letter before it
  EXPECT_EQ(tags[7].position, tags[6].position);

  s.word_break = false;
  Configure(layout, s, {"ОН <b>ПРОГРАММИРОВАНИЕ</b>"});
  EXPECT_EQ(layout.WrappedLines(), QStringList({"ОН", "ПРОГРАММ", "ИРОВАНИЕ"}));
}

// --- measurements -----------------------------------------------------------------------------

TEST(DrawTextMeasureTest, HeightWidthAndLineHeight) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.text_rect = {0, 0, UnitsFor(4 * MonoAdvance()), 100};
  // 10 points: 83 pixels at 600 dpi.
  for (double spacing : {0.0, 3.0, -2.0}) {
    SCOPED_TRACE(spacing);
    s.line_spacing = spacing;
    Configure(layout, s, {"ab cd ef"});
    EXPECT_DOUBLE_EQ(layout.LineHeight(), 83 / kFactor + spacing);
    EXPECT_DOUBLE_EQ(layout.MeasureHeight(),
                     (83 / kFactor + spacing) * 3 + (spacing < 0 ? -spacing : 0));
  }

  // Above 12 points the cell's extra height below counts once.
  s.size = 15;
  s.line_spacing = 0;
  Configure(layout, s, {"ab cd"});
  NullCanvas canvas(600);
  canvas.Font().name = kMono;
  canvas.Font().height = -125;
  const int cell = canvas.Metrics().height;
  ASSERT_GT(cell, 125);
  EXPECT_DOUBLE_EQ(layout.MeasureHeight(), 20.0 * 2 + (cell - 125) / kFactor);

  // Width: the widest line, its characters' spacing, the first line's gap.
  s.size = 10;
  s.font = QStringLiteral("Arial");
  s.char_spacing = 0.5;
  s.paragraph_gap = 3;
  s.text_rect = {0, 0, 1000, 100};
  Configure(layout, s, {"<b>bold</b> and <i>so on</i>"});
  const int extent = Width600("Arial", 10, "<b>bold</b> and <i>so on</i>");
  EXPECT_DOUBLE_EQ(layout.MeasureWidth(), (extent + 28 * 0.5 * kFactor + 3 * kFactor) / kFactor);
  s.tags = true;
  Configure(layout, s, {"<b>bold</b> and <i>so on</i>", "x"});
  const int tagged = Width600("Arial", 10, "bold", 1) + Width600("Arial", 10, " and ") +
                     Width600("Arial", 10, "so on", 2);
  EXPECT_DOUBLE_EQ(layout.MeasureWidth(), (tagged + 14 * 0.5 * kFactor + 3 * kFactor) / kFactor);
}

TEST(DrawTextMeasureTest, FitCountAndSpareHeight) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kKai;
  s.size = 15;  // 125 pixels at 600 dpi: lines of exactly 20 units
  struct Case {
    int height;
    double spare;
    int kept;
  };
  const Case cases[] = {
      {39, 0.0001, 2},  // 40 = 2 x 20: an exact fit is not "no room"
      {45, 6, 2},
      {18, 0, 0},
      {200, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    s.text_rect = {0, 0, 1000, c.height};
    Configure(layout, s, {"一", "二", "三", "四", "五"});
    EXPECT_DOUBLE_EQ(layout.SpareHeight(), c.spare);
    bool para_break = true;
    const QString rest = layout.OverflowText(&para_break);
    EXPECT_FALSE(para_break);
    EXPECT_EQ(layout.WrappedLines().size(), c.kept);
    EXPECT_EQ(rest.isEmpty(), c.kept == 5);
  }

  // A line height of zero or less takes no room: everything fits.
  s.line_spacing = -20;
  s.text_rect = {0, 0, 1000, 10};
  Configure(layout, s, {"一", "二", "三"});
  EXPECT_EQ(layout.LineHeight(), 0);
  EXPECT_EQ(layout.OverflowText(nullptr), QString());
  EXPECT_EQ(layout.WrappedLines().size(), 3);
  s.line_spacing = -30;
  Configure(layout, s, {"一", "二", "三"});
  EXPECT_EQ(layout.OverflowText(nullptr), QString());
  EXPECT_EQ(layout.WrappedLines().size(), 3);
}

TEST(DrawTextMeasureTest, OverflowTextContinuesWhereTheKeptLinesEnd) {
  const int a = MonoAdvance();
  // Two lines of 10 points fit.
  const PixelRect two_lines{0, 0, UnitsFor(8 * a), 30};
  struct Case {
    QStringList lines;
    bool tags;
    bool word_break;
    QString rest;
    bool para_break;
    QString fitting;
  };
  const Case cases[] = {
      // Cut inside a paragraph: the space at the cut belongs to neither.
      {{"aaaa bbbb cccc dddd"}, false, false, "cccc dddd\r\n", true, "aaaa bbbb "},
      // Cut at a paragraph end.
      {{"aaaa", "bbbb", "cccc"}, false, false, "cccc\r\n", false, "aaaa\r\nbbbb\r\n"},
      // Tags re-opened at the first character left over, in a fixed order.
      {{"<font color=red><b><u><i><strike><nowrap>aaaa</nowrap> bbbb <nowrap>cccc"},
       true,
       false,
       "<font color=\"#FF0000\"><u><i><b><strike><nowrap>cccc\r\n",
       true,
       // The tags before that character stay with the kept text.
       "<font color=red><b><u><i><strike><nowrap>aaaa</nowrap> bbbb <nowrap>"},
      // Subscripts are two thirds wide: twelve to a line.
      {{"a<sub>aaa bbbb cccc dddd eeee"},
       true,
       false,
       "<font color=\"#000000\"><sub>eeee\r\n",
       true,
       "a<sub>aaa bbbb cccc dddd "},
      {{"aaaa</b>", "<sup>bbbb", "cccc"},
       true,
       false,
       "<font color=\"#000000\"><sup>cccc\r\n",
       false,
       "aaaa</b>\r\n<sup>bbbb\r\n"},
      // A hyphen the layout added ends the kept text too.
      // ("ПРОГРАМ-", "МИРОВА-", "НИЕ ДА")
      {{"ПРОГРАММИРОВАНИЕ ДА"}, false, true, "НИЕ ДА\r\n", true, "ПРОГРАММИРОВА-"},
      // One that was in the source is not doubled.
      {{"abcdefghijklmno-pqrstu"}, false, true, "pqrstu\r\n", true, "abcdefghijklmno-"},
  };
  DrawTextLock lock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.join('|').toStdString());
    TovxDrawText layout;
    Memo s;
    s.font = kMono;
    s.tags = c.tags;
    s.word_break = c.word_break;
    s.text_rect = two_lines;
    Configure(layout, s, c.lines);
    ASSERT_GT(layout.WrappedLines().size(), 2);
    bool para_break = !c.para_break;
    EXPECT_EQ(layout.OverflowText(&para_break), c.rest);
    EXPECT_EQ(para_break, c.para_break);
    EXPECT_EQ(layout.FittingText(), c.fitting);
    EXPECT_EQ(layout.WrappedLines().size(), 2);
  }
}

TEST(DrawTextMeasureTest, LinesLongerThanOneMeasuringSliceMeasureWhole) {
  // Long lines are measured in slices of 4096 units; a surrogate pair
  // across the slice border is measured whole.
  const QString ext_b = QString::fromUcs4(U"\U00020000");
  const QString line = QString(4095, QChar(0x5929)) + ext_b + QString(5000, QChar(0x5929));
  const int a = Width600(kKai, 15, QStringLiteral("天"));
  const int b = Width600(kKai, 15, ext_b);
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kKai;
  s.size = 15;
  s.word_wrap = false;
  Configure(layout, s, {line});
  EXPECT_DOUBLE_EQ(layout.MeasureWidth(), (9095.0 * a + b) / kFactor);

  // Wrapped at 1000 characters a line; the pair is one character, as wide
  // as any ideograph.
  ASSERT_EQ(a, b);
  s.word_wrap = true;
  s.text_rect = {0, 0, UnitsFor(1000 * a), 100};
  Configure(layout, s, {line});
  ASSERT_EQ(layout.WrappedLines().size(), 10);
  EXPECT_EQ(layout.WrappedLines()[4].size(), 1001);
  EXPECT_EQ(layout.WrappedLines()[9].size(), 96);
}

// --- drawing ----------------------------------------------------------------------------------

// One line "ab cd" (Arial 10) in a rectangle 200 pixels wide at 96 dpi.
TEST(DrawTextDrawTest, HorizontalAlignment) {
  const QString text = QStringLiteral("ab cd");
  const int g = Width600("Arial", 10, text);
  const int w = RoundToInt(g / kFactor);
  DrawTextLock lock;
  struct Case {
    TovxHAlign align;
    TovxFontStyles style;
    int x;
  };
  const TovxFontStyles bold = TovxFontStyles().With(TovxFontStyle::fsBold, true);
  const int wb = RoundToInt(Width600("Arial", 10, text, 1) / kFactor);
  const Case cases[] = {
      {TovxHAlign::haLeft, {}, 10},
      {TovxHAlign::haRight, {}, 10 + 200 - w},
      // Bold or italic text stands one pixel further left.
      {TovxHAlign::haRight, bold, 10 + 200 - wb - 1},
      {TovxHAlign::haCenter, {}, 10 + RoundToInt((200 - w) / 2.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.align));
    TovxDrawText layout;
    Memo s;
    s.style = c.style;
    s.text_rect = {10, 20, 210, 120};
    Configure(layout, s, {text});
    RecordingCanvas canvas;
    const std::vector<DrawnRun> runs = Draw(layout, canvas, c.align);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].x, c.x);
    EXPECT_EQ(runs[0].y, 20);
    EXPECT_EQ(Sum(runs[0].advances), c.style.Bits() ? wb : w);
    // The canvas draws exactly what the recorder received.
    ASSERT_EQ(canvas.calls.size(), 1);
    EXPECT_TRUE(canvas.calls[0].startsWith(QStringLiteral("Text %1,20 4 'ab cd' ").arg(c.x)));
  }
}

TEST(DrawTextDrawTest, BlockJustifiesAllButParagraphEnds) {
  const int a = MonoAdvance();
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.text_rect = {0, 0, UnitsFor(8 * a), 100};  // "aa bb cc" fits, " dd" not
  const int width = s.text_rect.right;
  Configure(layout, s, {"aa bb cc dd"});
  ASSERT_EQ(layout.WrappedLines(), QStringList({"aa bb cc", "dd"}));

  RecordingCanvas canvas;
  std::vector<DrawnRun> runs = Draw(layout, canvas, TovxHAlign::haBlock);
  ASSERT_EQ(runs.size(), 2u);
  // The first line fills the width; its two spaces share the extra pixels
  // (the first one more when they do not divide evenly).
  EXPECT_EQ(Sum(runs[0].advances), width);
  const std::vector<int>& adv = runs[0].advances;
  EXPECT_GE(adv[2], adv[5]);
  EXPECT_LE(adv[2] - adv[5], 1);
  EXPECT_EQ(adv[0], adv[1]);
  // The paragraph's last line is left-aligned ...
  EXPECT_EQ(runs[1].x, 0);
  EXPECT_LT(Sum(runs[1].advances), width / 2);

  // ... right-aligned when reading right to left ...
  s.rtl = true;
  Configure(layout, s, {"aa bb cc dd"});
  runs = Draw(layout, canvas, TovxHAlign::haBlock);
  EXPECT_EQ(runs[1].x, width - Sum(runs[1].advances));

  // ... and justified when the paragraph goes on elsewhere.
  s.rtl = false;
  Configure(layout, s, {"aa bb cc d d"});
  layout.ClearParagraphEnds(false, true);
  runs = Draw(layout, canvas, TovxHAlign::haBlock);
  EXPECT_EQ(runs[1].x, 0);
  EXPECT_EQ(Sum(runs[1].advances), width);
}

TEST(DrawTextDrawTest, JustificationWithoutWysiwygStillWidensSpaces) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kMono;
  s.wysiwyg = false;
  s.text_rect = {0, 0, UnitsFor(8 * MonoAdvance()), 100};
  Configure(layout, s, {"aa bb cc dd"});
  RecordingCanvas canvas;
  std::vector<DrawnRun> runs = Draw(layout, canvas, TovxHAlign::haBlock);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(Sum(runs[0].advances), s.text_rect.right);
  // Other lines are spaced by the device.
  EXPECT_TRUE(runs[1].advances.empty());
}

TEST(DrawTextDrawTest, VerticalAlignment) {
  // Kai 15 points: 125 pixels at 600 dpi, 20 at 96.
  DrawTextLock lock;
  struct Case {
    TovxVAlign align;
    double line_spacing;
    int y;
  };
  const Case cases[] = {
      {TovxVAlign::vaTop, 0, 0},
      {TovxVAlign::vaBottom, 0, 100 - 40},
      {TovxVAlign::vaCenter, 0, 30},
      {TovxVAlign::vaCenter, 4, (100 - 48) / 2},
      // Negative spacing: the block counts |2 x spacing| taller.
      {TovxVAlign::vaBottom, -2, 100 - 36 - 4},
      {TovxVAlign::vaTop, -2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 %2").arg(int(c.align)).arg(c.line_spacing).toStdString());
    TovxDrawText layout;
    Memo s;
    s.font = kKai;
    s.size = 15;
    s.line_spacing = c.line_spacing;
    s.text_rect = {0, 0, 100, 100};
    Configure(layout, s, {"天", "地"});
    RecordingCanvas canvas;
    const std::vector<DrawnRun> runs = Draw(layout, canvas, TovxHAlign::haLeft, c.align);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].y, c.y);
    EXPECT_EQ(runs[1].y - runs[0].y, 20 + RoundToInt(c.line_spacing));
  }
}

TEST(DrawTextDrawTest, RotationStartPoints) {
  // One line, draw rectangle (10, 20)-(110, 70), Kai 15 points: H = 20.
  const PixelRect rect{10, 20, 110, 70};
  const double s45 = std::sin(M_PI / 4);
  const int w45 = RoundToInt((100 - s45 * 20) / s45);
  struct Case {
    int rotation;
    int x;
    int y;
  };
  const Case cases[] = {
      {0, 10, 20},
      {90, 10, 70},
      {180, 110, 70},
      {270, 110, 20},
      {45, 10, 20 + RoundToInt(s45 * w45)},
      {135, 10 + RoundToInt(s45 * w45), 70},
      {225, 110, 70 - RoundToInt(s45 * w45)},
      {315, 10 + RoundToInt(s45 * 20), 20},
      {-90, 110, 20},  // the same as 270
      {450, 10, 70},   // the same as 90
      {-315, 10, 20 + RoundToInt(s45 * w45)},
  };
  DrawTextLock lock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rotation);
    TovxDrawText layout;
    Memo s;
    s.font = kKai;
    s.size = 15;
    s.rotation = c.rotation;
    s.text_rect = {0, 0, 100, 50};
    s.draw_rect = rect;
    Configure(layout, s, {"天"});
    RecordingCanvas canvas;
    canvas.with_state = true;
    const std::vector<DrawnRun> runs = Draw(layout, canvas);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].x, c.x);
    EXPECT_EQ(runs[0].y, c.y);
    const int normalised = ((c.rotation % 360) + 360) % 360;
    EXPECT_EQ(runs[0].font.escapement, normalised * 10);
    // The canvas gets its font back afterwards.
    EXPECT_EQ(canvas.Font(), CanvasFont());
  }
}

TEST(DrawTextDrawTest, RotatedLinesStepAcross) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kKai;
  s.size = 15;
  s.rotation = 90;
  s.text_rect = {0, 0, 100, 100};
  Configure(layout, s, {"天", "地"});
  RecordingCanvas canvas;
  std::vector<DrawnRun> runs = Draw(layout, canvas, TovxHAlign::haLeft, TovxVAlign::vaBottom);
  ASSERT_EQ(runs.size(), 2u);
  // Lines read upwards and follow each other to the right; the bottom
  // alignment moves them to the right edge.
  EXPECT_EQ(runs[0].x, 100 - 40);
  EXPECT_EQ(runs[1].x, 100 - 20);
  EXPECT_EQ(runs[0].y, 100);
}

TEST(DrawTextDrawTest, WysiwygAdvancesMatchTheMeasuredWidthAtAnyResolution) {
  const QStringList text = {
      "Lines of text that wrap the same on every device, whatever its resolution.",
      "天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏"};
  std::optional<QStringList> first;
  DrawTextLock lock;
  for (int dpi : {96, 300, 600, 1200}) {
    for (double zoom : {0.5, 1.0, 1.5}) {
      SCOPED_TRACE(QStringLiteral("%1 dpi x %2").arg(dpi).arg(zoom).toStdString());
      const double scale = zoom * dpi / 96;
      TovxDrawText layout;
      Memo s;
      s.font = kKai;
      s.size = 11;
      s.char_spacing = 0.3;
      s.line_spacing = 1.7;
      s.scale = scale;
      s.text_rect = {0, 0, 150, 400};
      Configure(layout, s, text);
      if (!first) first = layout.WrappedLines();
      EXPECT_EQ(layout.WrappedLines(), *first);

      RecordingCanvas canvas(dpi);
      const std::vector<DrawnRun> runs = Draw(layout, canvas);
      ASSERT_EQ(runs.size(), static_cast<size_t>(first->size()));
      const int target_spacing = RoundToInt(0.3 * scale);
      const int measure_spacing = RoundToInt(0.3 * kFactor);
      for (const DrawnRun& run : runs) {
        const int g = Width600(kKai, 11, run.text) + measure_spacing * (run.text.size() - 1);
        EXPECT_EQ(Sum(run.advances) - target_spacing, RoundToInt(g / kFactor * scale));
      }
      // The lines end where the measuring canvas put them.
      const int h_m = 92;  // 11 points at 600 dpi
      const int n = runs.size();
      const int h = RoundToInt((1.7 * kFactor * n + h_m * n) / kFactor * scale);
      const int h_t = RoundToInt(11 * scale * 96 / 72);
      EXPECT_EQ(runs.back().y - runs.front().y, h - h_t - RoundToInt(1.7 * scale));
    }
  }
}

TEST(DrawTextDrawTest, PrinterCanvasUsesItsResolutionAndThePrintScale) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kKai;
  s.size = 12;
  s.print_scale = 1.25;
  s.text_rect = {0, 0, 200, 200};
  s.draw_rect = PixelRect{0, 0, 3000, 3000};
  Configure(layout, s, {"天地玄黄", "宇宙"});
  PrinterCanvas canvas(300);
  const std::vector<DrawnRun> runs = Draw(layout, canvas);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].font.height, -RoundToInt(300 * 12 * 1.25 / 72));
  const int g = Width600(kKai, 12, "天地玄黄");
  EXPECT_EQ(Sum(runs[0].advances), RoundToInt(g * 1.25 / (600.0 / 300)));
  // u = 600 / 300 / 1.25; two lines of 100 pixels at 600 dpi.
  const double u = 600.0 / 300 / 1.25;
  // The one gap takes up the rounding: H - h_t.
  EXPECT_EQ(runs[1].y, RoundToInt(2 * 100 / u) - 62);
}

TEST(DrawTextDrawTest, CorrectionLargerThanTheLineIsSharedOut) {
  // Pixels twice as wide as high: the measured width is twice what the
  // font's own advances give, more than one pixel per character.
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.font = kKai;
  s.size = 10;
  s.text_rect = {0, 0, 1000, 200};
  Configure(layout, s, {"天", "地玄"});
  WidePrinterCanvas canvas(600, 300);
  const std::vector<DrawnRun> runs = Draw(layout, canvas);
  ASSERT_EQ(runs.size(), 2u);
  const int a = Width600(kKai, 10, "天");
  EXPECT_EQ(runs[0].advances, std::vector<int>({a}));
  EXPECT_EQ(runs[1].advances, std::vector<int>({a, a}));
}

TEST(DrawTextDrawTest, RunsFollowTheAttributes) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.tags = true;
  s.scale = 2;
  s.text_rect = {0, 0, 500, 100};
  Configure(layout, s, {"H<sub>2</sub>O <font color=red><b>hot</b></font>"});
  RecordingCanvas canvas;
  std::vector<DrawnRun> runs = Draw(layout, canvas);
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].text, "H");
  EXPECT_EQ(runs[1].text, "2");
  EXPECT_EQ(runs[2].text, "O ");
  EXPECT_EQ(runs[3].text, "hot");
  // Subscripts: smaller, lowered by their size at the scale.
  EXPECT_EQ(runs[1].font.height, -RoundToInt(7 * 2 * 96 / 72.0));
  EXPECT_EQ(runs[1].y, runs[0].y + 14);
  EXPECT_EQ(runs[1].x, runs[0].x + Sum(runs[0].advances));
  EXPECT_EQ(runs[3].x, runs[2].x + Sum(runs[2].advances));
  EXPECT_EQ(runs[3].font.color, clRed);
  EXPECT_EQ(runs[3].font.style_bits, 1);
  EXPECT_EQ(runs[2].font.height, -27);

  // Drawing again draws the same.
  const QStringList calls = canvas.calls;
  canvas.Clear();
  Draw(layout, canvas);
  EXPECT_EQ(canvas.calls, calls);

  // Monochrome output: all black.
  layout.SetMonoFont(true);
  Configure(layout, s, {"<font color=red>hot</font>"});
  runs = Draw(layout, canvas);
  EXPECT_EQ(runs[0].font.color, clBlack);
  layout.SetMonoFont(false);
}

TEST(DrawTextDrawTest, WithoutWysiwygTheDeviceSpacesAndTheRecorderStillHearsEveryRun) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.wysiwyg = false;
  Configure(layout, s, {"abc", "def"});
  RecordingCanvas canvas;
  const std::vector<DrawnRun> runs = Draw(layout, canvas);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_TRUE(runs[0].advances.empty());
  EXPECT_EQ(canvas.calls, QStringList({"Text 0,0 4 'abc' ", "Text 0,13 4 'def' "}));
}

TEST(DrawTextDrawTest, Underlines) {
  // Kai 15 points at 96 dpi: 20-pixel lines, pitch 21; rect 0..100 high.
  struct Case {
    QStringList lines;
    TovxUnderlinesTextMode mode;
    TovxVAlign align;
    std::vector<int> rows;
  };
  using M = TovxUnderlinesTextMode;
  const Case cases[] = {
      {{}, M::ulmUnderlinesAll, TovxVAlign::vaTop, {21, 42, 63, 84}},
      {{}, M::ulmUnderlinesText, TovxVAlign::vaTop, {}},
      {{"天", " ", "地"}, M::ulmUnderlinesText, TovxVAlign::vaTop, {21, 61}},
      {{"天", " ", "地"}, M::ulmUnderlinesTextAndEmptyLines, TovxVAlign::vaTop, {21, 41, 61}},
      {{"天", "地"}, M::ulmUnderlinesAll, TovxVAlign::vaTop, {21, 41, 62, 83}},
      // Centred: text at 30 and 50; ruled above (from the first line's
      // top) and below.
      {{"天", "地"}, M::ulmUnderlinesAll, TovxVAlign::vaCenter, {30, 9, 51, 71, 92}},
      {{"天", "地"}, M::ulmUnderlinesAll, TovxVAlign::vaBottom, {60, 39, 18, 81}},
  };
  DrawTextLock lock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.join('|').toStdString() + " " + std::to_string(int(c.mode)) + " " +
                 std::to_string(int(c.align)));
    TovxDrawText layout;
    Memo s;
    s.font = kKai;
    s.size = 15;
    s.text_rect = {0, 0, 50, 100};
    Configure(layout, s, c.lines);
    RecordingCanvas canvas;
    Draw(layout, canvas, TovxHAlign::haLeft, c.align, c.mode);
    std::vector<int> rows;
    for (const QString& call : canvas.calls) {
      if (!call.startsWith("LineTo")) continue;
      const QRegularExpressionMatch m =
          QRegularExpression(R"(LineTo 0,(-?\d+)-50,(-?\d+))").match(call);
      ASSERT_TRUE(m.hasMatch()) << call.toStdString();
      EXPECT_EQ(m.captured(1), m.captured(2));
      rows.push_back(m.captured(1).toInt());
    }
    EXPECT_EQ(rows, c.rows);
  }
}

TEST(DrawTextDrawTest, UnderlinePitchIsAtLeastOnePixel) {
  DrawTextLock lock;
  TovxDrawText layout;
  Memo s;
  s.size = 0;
  s.scale = 0.4;
  s.text_rect = {0, 0, 10, 10};
  s.draw_rect = PixelRect{0, 0, 10, 5};
  Configure(layout, s, {});
  RecordingCanvas canvas;
  Draw(layout, canvas, TovxHAlign::haLeft, TovxVAlign::vaTop,
       TovxUnderlinesTextMode::ulmUnderlinesAll);
  EXPECT_EQ(canvas.calls, QStringList({"LineTo 0,1-10,1", "LineTo 0,2-10,2", "LineTo 0,3-10,3",
                                       "LineTo 0,4-10,4"}));
}

// A single character centred in a grid cell of 29.92 units with gaps of 2
// and 1 units, as the typesetter places them.
TEST(DrawTextDrawTest, SingleChineseCharacterCentredInItsCell) {
  const double cell = 29.92;
  DrawTextLock lock;
  for (int dpi : {96, 600}) {
    SCOPED_TRACE(dpi);
    const double scale = dpi / 96.0;
    TovxDrawText layout;
    Memo s;
    s.font = kKai;
    s.size = 15;
    s.scale = scale;
    s.text_rect = {2, 1, RoundToInt(2 + 25.92), RoundToInt(1 + 27.92)};
    s.draw_rect = PixelRect{RoundToInt(2 * scale), RoundToInt(1 * scale),
                            RoundToInt((2 + 25.92) * scale), RoundToInt((1 + 27.92) * scale)};
    Configure(layout, s, {"玄"});
    RecordingCanvas canvas(dpi);
    const std::vector<DrawnRun> runs =
        Draw(layout, canvas, TovxHAlign::haCenter, TovxVAlign::vaCenter);
    ASSERT_EQ(runs.size(), 1u);
    const int em = -runs[0].font.height;
    const double centre_x = runs[0].x + runs[0].advances[0] / 2.0;
    const double centre_y = runs[0].y + em / 2.0;
    const double cell_centre_x = (cell / 2 + 0) * scale;
    const double cell_centre_y = cell / 2 * scale;
    RecordProperty(QStringLiteral("offset_%1dpi").arg(dpi).toStdString(),
                   QStringLiteral("%1,%2")
                       .arg(centre_x - cell_centre_x)
                       .arg(centre_y - cell_centre_y)
                       .toStdString());
    // The text block is centred in the text rectangle, which itself sits
    // half a unit left of and up from the cell's middle.
    EXPECT_LE(std::abs(centre_x - cell_centre_x), 1.5 * scale);
    EXPECT_LE(std::abs(centre_y - cell_centre_y), 1.5 * scale);
  }
}

// --- hostile input ----------------------------------------------------------------------------

TEST(DrawTextHostileTest, AbsurdSettingsNeitherCrashNorLoseText) {
  const QString lone = QString(QChar(0xD800)) + "a" + QChar(0xDC00);
  struct Case {
    int size;
    double spacing;
    double scale;
    int rotation;
    PixelRect rect;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {0, 0, 1, 0, {0, 0, 0, 0}},
      {-12, -5, 1, 33, {0, 0, -50, -50}},
      {100000, 1e300, 1e300, INT_MIN, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}},
      {10, nan, nan, INT_MAX, {0, 0, 100, 100}},
      {1, -1e9, -3, 271, {0, 0, 1, 100000}},
  };
  DrawTextLock lock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TovxDrawText layout;
    Memo s;
    s.size = c.size;
    s.tags = true;
    s.word_break = true;
    s.char_spacing = c.spacing;
    s.line_spacing = c.spacing;
    s.paragraph_gap = c.spacing;
    s.scale = c.scale;
    s.rotation = c.rotation;
    s.text_rect = c.rect;
    s.draw_rect = c.rect;
    const QStringList lines = {lone, "<font color=", "<sub>x</sub> ПРОГРАММИРОВАНИЕ <b", ""};
    Configure(layout, s, lines);
    QString visible = layout.WrappedLines().join(QString());
    for (const QString& part : {QString("a"), QString("<font color="), QString("ПРОГРА")}) {
      EXPECT_TRUE(visible.contains(part)) << visible.toStdString();
    }
    RecordingCanvas canvas;
    for (auto mode : {TovxUnderlinesTextMode::ulmNone, TovxUnderlinesTextMode::ulmUnderlinesAll}) {
      for (auto align : {TovxHAlign::haLeft, TovxHAlign::haBlock, TovxHAlign::haRight}) {
        Draw(layout, canvas, align, TovxVAlign::vaCenter, mode);
      }
    }
    EXPECT_TRUE(std::isfinite(layout.MeasureHeight()));
    EXPECT_TRUE(std::isfinite(layout.MeasureWidth()));
    EXPECT_TRUE(std::isfinite(layout.SpareHeight()));
    layout.OverflowText(nullptr);
    EXPECT_TRUE(layout.FittingText().size() <= lines.join("\r\n").size() + 8);
  }
}

// The fuzz seeds (and inputs the fuzzer once found) run every stage under
// the fuzz target's own checks, which abort on a broken promise.
TEST(DrawTextHostileTest, FuzzSeedsPassTheFuzzTargetsChecks) {
  const QDir dir(QStringLiteral(VELMORA_TEXT_LAYOUT_SEEDS));
  const QStringList names = dir.entryList(QDir::Files, QDir::Name);
  ASSERT_GE(names.size(), 5) << dir.path().toStdString();
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
  }
}

TEST(DrawTextLockTest, OneRecursiveLockSharedByEveryLayout) {
  ASSERT_EQ(&TovxDrawText::Global(), &TovxDrawText::Global());
  // A memo measured while its report's drawing holds the lock takes it
  // again on the same thread.
  DrawTextLock outer;
  DrawTextLock inner;
  TovxDrawText::LockDrawText();
  TovxDrawText::UnlockDrawText();
}

}  // namespace
}  // namespace ovx
