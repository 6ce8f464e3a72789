// Views and their value objects: frames, fills, hyperlinks, what a template
// stores of them, device rectangles and prepared-page differences.
#include "report/model/view.h"

#include "base/class_registry.h"
#include "base/number_format.h"
#include "report/model/memo_view.h"
#include "report/storage/xml_serializer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

std::string S(const QString& s) { return s.toStdString(); }

// The attribute text a template gets for `object`.
std::string Written(const ovx::Persistent& object) {
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, nullptr);
  return serializer.WriteProperties(object).trimmed().toStdString();
}

bool Has(const std::string& text, const std::string& attribute) {
  return (" " + text).find(" " + attribute) != std::string::npos;
}

TEST(FrameTest, FrameValuesGoToAllFourLines) {
  TovxFrame frame;
  frame.LeftLine().SetColor(clRed);
  frame.SetColor(clBlue);
  frame.SetStyle(TovxFrameStyle::fsDot);
  frame.SetWidth(2.5);
  for (const TovxFrameLine* line :
       {&frame.LeftLine(), &frame.TopLine(), &frame.RightLine(), &frame.BottomLine()}) {
    EXPECT_EQ(line->Color(), clBlue);
    EXPECT_EQ(line->Style(), TovxFrameStyle::fsDot);
    EXPECT_EQ(line->Width(), 2.5);
  }
  frame.TopLine().SetWidth(1);
  EXPECT_EQ(frame.Width(), 2.5);
  EXPECT_EQ(frame.LeftLine().Width(), 2.5);
}

TEST(FrameTest, TypFifteenIsAllFourSides) {
  TovxFrame frame;
  const ovx::PropertyInfo* typ = frame.GetMetaClass().FindProperty(u"Typ");
  ASSERT_NE(typ, nullptr);
  typ->set(frame, qint64{15});
  for (TovxFrameType side : {TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                             TovxFrameType::ftBottom}) {
    EXPECT_TRUE(frame.Typ().Contains(side));
  }
  typ->set(frame, qint64{0xFFFF});  // bits beyond the four sides are dropped
  EXPECT_EQ(frame.Typ().Bits(), 15u);
}

TEST(FrameTest, LinesAreStoredOnlyWhereTheyDifferFromTheFrame) {
  TovxFrame frame;
  EXPECT_EQ(Written(frame), "Typ=\"0\"");  // Typ has no default: always written

  frame.SetColor(clRed);
  frame.SetWidth(2);
  EXPECT_EQ(Written(frame), "Color=\"255\" Typ=\"0\" Width=\"2\"");

  frame.LeftLine().SetColor(clBlack);
  frame.BottomLine().SetWidth(1);
  frame.TopLine().SetStyle(TovxFrameStyle::fsDouble);
  EXPECT_EQ(Written(frame),
            "Color=\"255\" Typ=\"0\" Width=\"2\" LeftLine.Color=\"0\" TopLine.Style=\"fsDouble\" "
            "BottomLine.Width=\"1\"");

  TovxFrameLine loose;  // a line of no frame stores everything
  EXPECT_EQ(Written(loose), "Color=\"0\" Style=\"fsSolid\" Width=\"1\"");
}

TEST(FrameTest, AssignAndEquality) {
  TovxFrame a;
  a.SetTyp({TovxFrameType::ftLeft});
  a.SetDropShadow(true);
  a.RightLine().SetColor(clGreen);
  TovxFrame b;
  EXPECT_FALSE(a == b);
  b.Assign(a);
  EXPECT_TRUE(a == b);
  EXPECT_EQ(b.RightLine().Frame(), &b);  // lines stay with their own frame
}

TEST(FillTest, DerivedColourPerFillType) {
  TovxMemoView memo;
  EXPECT_EQ(memo.Color(), clNone);
  EXPECT_EQ(memo.BrushStyle(), TovxBrushStyle::bsSolid);
  memo.SetColor(clYellow);
  EXPECT_EQ(static_cast<const TovxBrushFill&>(memo.Fill()).BackColor(), clYellow);
  EXPECT_EQ(memo.Color(), clYellow);

  memo.SetFillType(TovxFillType::ftGradient);  // a new fill with its defaults
  auto& gradient = static_cast<TovxGradientFill&>(memo.Fill());
  EXPECT_EQ(gradient.StartColor(), clWhite);
  EXPECT_EQ(memo.Color(), 0x808080);  // 255 - 255 * 127 / 255 = 128 per channel
  gradient.SetStartColor(ovx::RgbColor(200, 0, 10));
  gradient.SetEndColor(ovx::RgbColor(0, 100, 255));
  // 200 - 99.6, 0 + 49.8, 10 + 122.02, each rounded
  EXPECT_EQ(memo.Color(), ovx::RgbColor(100, 50, 132));
  memo.SetColor(clRed);  // only a brush takes a colour
  EXPECT_EQ(memo.Color(), ovx::RgbColor(100, 50, 132));
  EXPECT_EQ(memo.BrushStyle(), TovxBrushStyle::bsClear);
  memo.SetBrushStyle(TovxBrushStyle::bsCross);
  EXPECT_EQ(memo.FillType(), TovxFillType::ftGradient);

  memo.SetFillType(TovxFillType::ftGradient);  // same type: the fill stays
  EXPECT_EQ(static_cast<TovxGradientFill&>(memo.Fill()).EndColor(), ovx::RgbColor(0, 100, 255));

  memo.SetFillType(TovxFillType::ftGlass);
  EXPECT_EQ(memo.Color(), clGray);
  static_cast<TovxGlassFill&>(memo.Fill()).SetColor(clTeal);
  EXPECT_EQ(memo.Color(), clTeal);

  memo.SetFillType(TovxFillType::ftBrush);
  EXPECT_EQ(memo.Color(), clNone);
}

TEST(FillTest, GlassLightAndHatchColoursStayInEachChannel) {
  const struct {
    ovx::Color color;
    double blend;
    ovx::Color light;
    ovx::Color hatch;
  } cases[] = {
      {0x808080, 0.5, 0xC0C0C0, 0xBABABA},  // 128 + round(63.5) = 192, halves to even
      {0x000000, 0.5, 0x808080, 0x7A7A7A},
      {0x00FF00, 0, 0x00FF00, 0x00F900},   // hatch: channels at 0 stay 0, no borrow
      {0x000300, 0, 0x000300, 0x000000},   // 3 - 6 stops at 0
      {0x102030, 2, 0xFFFFFF, 0xF9F9F9},   // a blend above 1 is kept within 255
      {0x102030, -5, 0x000000, 0x000000},  // and one below 0 at 0
  };
  for (const auto& c : cases) {
    TovxGlassFill glass;
    glass.SetColor(c.color);
    glass.SetBlend(c.blend);
    EXPECT_EQ(glass.LightColor(), c.light) << std::hex << c.color << " " << c.blend;
    EXPECT_EQ(glass.HatchColor(), c.hatch) << std::hex << c.color << " " << c.blend;
  }
  EXPECT_EQ(ovx::DarkerBy(0x000500, 6), 0);  // the packed subtraction would give 0xFFFEFA
  EXPECT_EQ(ovx::DarkerBy(0x102030, 6), 0x0A1A2A);
}

TEST(HyperlinkTest, UrlSetterChoosesTheKind) {
  const struct {
    const char16_t* url;
    TovxHyperlinkKind kind;
    const char16_t* value;
  } cases[] = {
      {u"#top", TovxHyperlinkKind::hkAnchor, u"top"},
      {u"@12", TovxHyperlinkKind::hkPageNumber, u"12"},
      {u"http://example.org/a#b", TovxHyperlinkKind::hkURL, u"http://example.org/a#b"},
      {u"@", TovxHyperlinkKind::hkPageNumber, u""},
  };
  for (const auto& c : cases) {
    TovxMemoView memo;
    memo.SetURL(QString::fromUtf16(c.url));
    EXPECT_EQ(memo.Hyperlink().Kind(), c.kind) << S(QString::fromUtf16(c.url));
    EXPECT_EQ(S(memo.Hyperlink().Value()), S(QString::fromUtf16(c.value)));
    EXPECT_EQ(S(memo.URL()), S(QString::fromUtf16(c.url)));
  }
  TovxMemoView memo;
  memo.SetURL(QStringLiteral("#top"));
  memo.SetURL(QString());  // empty changes nothing
  EXPECT_EQ(memo.Hyperlink().Kind(), TovxHyperlinkKind::hkAnchor);
  EXPECT_EQ(S(memo.Hyperlink().Value()), "top");
  memo.SetURL(u'@' + QString(300, u'9'));
  EXPECT_EQ(memo.Hyperlink().Value().size(), 255);
}

TEST(ViewTest, PrintableMirrorsVsPrint) {
  TovxMemoView memo;
  EXPECT_TRUE(memo.Printable());
  memo.SetPrintable(false);
  EXPECT_EQ(memo.Visibility(),
            (TovxVisibilityTypes{TovxVisibilityType::vsPreview, TovxVisibilityType::vsExport}));
  memo.SetVisibility({TovxVisibilityType::vsPrint});
  EXPECT_TRUE(memo.Printable());
  const ovx::PropertyInfo* printable = memo.GetMetaClass().FindProperty(u"Printable");
  ASSERT_NE(printable, nullptr);
  printable->set(memo, qint64{0});
  EXPECT_TRUE(memo.Visibility().IsEmpty());
}

struct StoredCase {
  const char* name;
  std::function<void(TovxMemoView&)> change;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

TEST(ViewTest, StoredRulesOfAMemo) {
  const StoredCase cases[] = {
      {"new memo",
       [](TovxMemoView&) {},
       {"AllowVectorExport=\"True\"", "Frame.Typ=\"0\"", "Text=\"\""},
       {"GapX",
        "GapY",
        "CharSpacing",
        "LineSpacing",
        "ParagraphGap",
        "Printable",
        "URL",
        "Color",
        "BrushStyle",
        "Font.",
        "ParentFont",
        "DisplayFormat",
        "Highlight",
        "ExpressionDelimiters",
        "Hyperlink.ValuesSeparator",
        "Visibility",
        "ShiftMode",
        "WordWrap",
        "AllowExpressions",
        "FillType",
        "Fill.",
        "Frame.LeftLine"}},
      {"gaps and spacing",
       [](TovxMemoView& m) {
         m.SetGapX(3);
         m.SetGapY(0);
         m.SetCharSpacing(0.5);
         m.SetLineSpacing(2);
       },
       {"GapX=\"3\"", "GapY=\"0\"", "CharSpacing=\"0.5\""},
       {"LineSpacing"}},
      {"derived and mirrored values are not stored",
       [](TovxMemoView& m) {
         m.SetPrintable(false);
         m.SetURL(QStringLiteral("#top"));
         m.SetColor(clRed);
         m.SetBrushStyle(TovxBrushStyle::bsCross);
       },
       {"Visibility=\"3\"", "Hyperlink.Kind=\"hkAnchor\"", "Hyperlink.Value=\"top\"",
        "Fill.BackColor=\"255\"", "Fill.Style=\"bsCross\""},
       {"Printable", "URL", "Color", "BrushStyle"}},
      {"own font",
       [](TovxMemoView& m) { m.Font().SetName(QStringLiteral("Tahoma")); },
       {"Font.Name=\"Tahoma\"", "ParentFont=\"False\""},
       {}},
      {"one display format",
       [](TovxMemoView& m) { m.DisplayFormat().SetKind(TovxFormatKind::fkNumeric); },
       {"DisplayFormat.Kind=\"fkNumeric\""},
       {"DisplayFormat.DecimalSeparator", "DisplayFormat.ThousandSeparator"}},
      {"two display formats go to the list",
       [](TovxMemoView& m) {
         m.DisplayFormat().SetKind(TovxFormatKind::fkNumeric);
         m.AddFormat();
       },
       {},
       {"DisplayFormat"}},
      {"a highlight with a condition",
       [](TovxMemoView& m) { m.Highlight().SetCondition(QStringLiteral("Value > 0")); },
       {"Highlight.Condition=\"Value &#62; 0\"", "Highlight.Frame.Typ=\"0\""},
       {"Highlight.Active", "Highlight.Color"}},
      {"a highlight with a blank condition",
       [](TovxMemoView& m) { m.Highlight().SetCondition(QStringLiteral("  ")); },
       {},
       {"Highlight"}},
      {"delimiters and fills",
       [](TovxMemoView& m) {
         m.SetExpressionDelimiters(QStringLiteral("<%,%>"));
         m.SetFillType(TovxFillType::ftGradient);
         static_cast<TovxGradientFill&>(m.Fill()).SetEndColor(clRed);
         m.Hyperlink().SetValuesSeparator(QStringLiteral("|"));
       },
       {"ExpressionDelimiters=\"&#60;%,%&#62;\"", "FillType=\"ftGradient\"",
        "Fill.EndColor=\"255\"", "Hyperlink.ValuesSeparator=\"|\""},
       {"Fill.StartColor", "Fill.BackColor"}},
  };
  for (const StoredCase& c : cases) {
    TovxMemoView memo;
    c.change(memo);
    const std::string written = Written(memo);
    for (const std::string& a : c.present) EXPECT_TRUE(Has(written, a)) << c.name << ": " << a;
    for (const std::string& a : c.absent) EXPECT_FALSE(Has(written, a)) << c.name << ": " << a;
  }
}

TEST(ViewTest, DeclaredDefaultsOfTheMetadata) {
  const ovx::MetaClass& meta = TovxMemoView::StaticMetaClass();
  const ovx::PropertyInfo* allow = meta.FindProperty(u"AllowVectorExport");
  ASSERT_NE(allow, nullptr);
  EXPECT_FALSE(allow->default_value.has_value());
  const ovx::PropertyInfo* typ = TovxFrame::StaticMetaClass().FindProperty(u"Typ");
  EXPECT_FALSE(typ->default_value.has_value());
  // Base classes first, then the view's table in its order.
  QStringList names;
  for (const ovx::PropertyInfo* p : TovxView::StaticMetaClass().Properties()) names << p->name;
  EXPECT_EQ(S(names.mid(0, 9).join(u' ')),
            "Name Tag Description IndexTag Anchors Align AllowVectorExport Printable ShiftMode");
  EXPECT_EQ(S(names.mid(names.size() - 4).join(u' ')), "Hyperlink Hint ShowHint Visibility");
}

TEST(ViewTest, PixelRectangles) {
  TovxMemoView memo;
  memo.SetBounds(10, 20, 100, 50);
  EXPECT_EQ(memo.PixelRect(1.5, 1.5, 3, 4), (ovx::PixelRect{18, 34, 168, 109}));
  memo.Frame().SetDropShadow(true);
  memo.Frame().SetShadowWidth(4);
  EXPECT_EQ(memo.PixelRect(1.5, 1.5, 3, 4), (ovx::PixelRect{18, 34, 162, 103}));
  memo.Frame().SetDropShadow(false);
  // Halves go to the even neighbour.
  memo.SetBounds(0.5, 1.5, 2, 1);
  EXPECT_EQ(memo.PixelRect(1, 1, 0, 0), (ovx::PixelRect{0, 2, 2, 2}));

  memo.Frame().SetWidth(3);
  const ovx::PixelRect base{10, 10, 50, 50};
  EXPECT_EQ(memo.BackgroundRect(base, 1, 1), base);  // no lines, no widening
  memo.Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftBottom});
  // w = 3: half round(1.5) = 2, odd pixel 3 mod 2 = 1 to the right and down
  EXPECT_EQ(memo.BackgroundRect(base, 1, 1), (ovx::PixelRect{8, 10, 53, 53}));
  // w = 4.5: half round(2.25) = 2, round(4.5) = 4 is even
  EXPECT_EQ(memo.BackgroundRect(base, 1.5, 1.5), (ovx::PixelRect{8, 10, 52, 52}));
  EXPECT_EQ(memo.FramePixelWidth(1.5), 4);
  memo.SetBounds(1e300, 0, 1, 1);  // saturates instead of overflowing
  EXPECT_EQ(memo.PixelRect(1, 1, 0, 0).left, std::numeric_limits<int>::max());
}

TEST(ViewTest, DifferenceTextOfTheViewPart) {
  TovxMemoView base;
  TovxMemoView memo;
  EXPECT_EQ(memo.DifferenceText(base), " u=\"\"");

  memo.SetLeft(10);
  memo.SetAlign(TovxAlign::baRight);
  memo.Frame().SetTyp({TovxFrameType::ftLeft, TovxFrameType::ftTop});
  memo.Frame().LeftLine().SetColor(clRed);
  memo.SetCursor(150);
  memo.SetPrintable(false);
  memo.SetTagStr(QStringLiteral("a\"b"));
  memo.SetFillType(TovxFillType::ftGlass);
  static_cast<TovxGlassFill&>(memo.Fill()).SetBlend(0.25);
  memo.Hyperlink().SetExpression(QStringLiteral("not in differences"));
  memo.Hyperlink().SetValue(QStringLiteral("v"));
  EXPECT_EQ(memo.DifferenceText(base).toStdString(),
            " l=\"10\" Align=\"2\" Frame.Typ=\"5\" Frame.LeftLine.Color=\"255\" Cursor=\"150\""
            " Visibility=\"3\" TagStr=\"a&#34;b\" FillType=\"2\" Fill.Blend=\"0.25\""
            " Hyperlink.Value=\"v\" u=\"\"");

  // Same fill type: only the values that differ.
  base.SetFillType(TovxFillType::ftGlass);
  static_cast<TovxGlassFill&>(base.Fill()).SetColor(clRed);
  const std::string again = memo.DifferenceText(base).toStdString();
  EXPECT_TRUE(Has(again, "Fill.Color=\"8421504\" Fill.Blend=\"0.25\"")) << again;
  EXPECT_FALSE(Has(again, "FillType")) << again;
}

// Cells come by the thousand: a view makes its frame and its rarely used
// texts only when something sets them, and copies make them only when the
// source has them.
TEST(ViewTest, FrameAndRareTextsAreMadeOnFirstUse) {
  TovxMemoView plain;
  TovxMemoView copy;
  copy.Assign(plain);
  static_cast<void>(copy.DifferenceText(plain));
  EXPECT_EQ(plain.ExistingFrame(), nullptr);
  EXPECT_EQ(copy.ExistingFrame(), nullptr);
  const TovxMemoView& read_only = copy;
  EXPECT_TRUE(read_only.Frame() == TovxFrame());
  EXPECT_TRUE(copy.TagStr().isEmpty() && copy.Hint().isEmpty() && copy.DataField().isEmpty());

  TovxMemoView framed;
  framed.Frame().SetTyp({TovxFrameType::ftLeft});
  framed.Frame().SetWidth(2);
  framed.SetTagStr(QStringLiteral("tag"));
  framed.SetHint(QStringLiteral("hint"));
  framed.SetDataField(QStringLiteral("field"));
  copy.Assign(framed);
  ASSERT_NE(copy.ExistingFrame(), nullptr);
  EXPECT_TRUE(copy.Frame() == framed.Frame());
  EXPECT_EQ(S(copy.TagStr()), "tag");
  EXPECT_EQ(S(copy.Hint()), "hint");
  EXPECT_EQ(S(copy.DataField()), "field");
  // A memo's hint always goes with its differences.
  EXPECT_EQ(copy.DifferenceText(framed).toStdString(), " u=\"\" Hint=\"hint\"");
  copy.SetTagStr(QString());
  EXPECT_TRUE(copy.TagStr().isEmpty());
}

// A copy holds each position as a file would give it back (15 significant
// digits), also when thousands of different values pass, in any order.
TEST(ViewTest, CopiedPositionsAreThoseAFileGivesBack) {
  std::vector<double> values;
  for (int i = 0; i < 3000; ++i) values.push_back(i / 7.0 + 1e-13 * i);
  for (int round = 0; round < 2; ++round) {
    for (const double value : values) {
      TovxMemoView source;
      source.SetLeft(value);
      source.SetTop(-value * 3);
      TovxMemoView copy;
      copy.Assign(source);
      const auto stored = [](double v) {
        return ovx::ParseFloat(ovx::FormatFloat(v)).value_or(std::nan(""));
      };
      ASSERT_EQ(copy.Left(), stored(value)) << value;
      ASSERT_EQ(copy.Top(), stored(-value * 3)) << value;
    }
    std::reverse(values.begin(), values.end());
  }
}

TEST(ViewTest, TheDataCycleGivesBackTagAndHyperlinkValue) {
  TovxMemoView memo;
  memo.BeforePrint();
  memo.SetTagStr(QStringLiteral("set while printing"));
  memo.Hyperlink().SetValue(QStringLiteral("made while printing"));
  memo.AfterPrint();
  EXPECT_TRUE(memo.TagStr().isEmpty());
  EXPECT_TRUE(memo.Hyperlink().Value().isEmpty());

  memo.SetTagStr(QStringLiteral("tag"));
  memo.Hyperlink().SetValue(QStringLiteral("v"));
  memo.BeforePrint();
  memo.SetTagStr(QStringLiteral("x"));
  memo.Hyperlink().SetValue(QStringLiteral("w"));
  memo.AfterPrint();
  EXPECT_EQ(S(memo.TagStr()), "tag");
  EXPECT_EQ(S(memo.Hyperlink().Value()), "v");
}

}  // namespace

namespace {

// The data cycle puts back only bounds it saved: a second AfterPrint, or
// one without BeforePrint, leaves the object where it is.
TEST(DataCycleTest, AfterPrintRestoresOnlySavedBounds) {
  TovxMemoView memo;
  memo.SetBounds(10, 20, 30, 40);
  memo.AfterPrint();
  EXPECT_EQ(memo.Top(), 20);
  memo.BeforePrint();
  memo.SetBounds(1, 2, 3, 4);
  memo.AfterPrint();
  EXPECT_EQ(memo.Left(), 10);
  EXPECT_EQ(memo.Height(), 40);
  memo.SetTop(50);
  memo.AfterPrint();
  EXPECT_EQ(memo.Top(), 50);
}

}  // namespace
