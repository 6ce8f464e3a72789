// The memo view: text, bracketed expressions, the data cycle, highlights,
// data fields, stored collections and prepared-page differences.
#include "report/model/memo_view.h"

#include "base/class_registry.h"
#include "base/error.h"
#include "base/rounding.h"
#include "base/text_codec.h"
#include "report/model/bracket_expressions.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

#include <gtest/gtest.h>

#include <QDate>

#include <functional>
#include <utility>
#include <vector>

namespace {

std::string S(const QString& s) { return s.toStdString(); }

// Answers expressions from a table and fails on anything else, so a test
// sees every evaluation the memo asks for.
class TableEvaluator : public ovx::ExpressionEvaluator {
 public:
  QVariant Calc(const QString& expression, TovxComponent* context) override {
    calls.append(expression);
    contexts.push_back(context);
    const auto found = values.constFind(expression);
    if (found == values.constEnd()) {
      throw ovx::Error(QString(), QStringLiteral("unknown expression %s"), {expression});
    }
    return *found;
  }

  QHash<QString, QVariant> values;
  QStringList calls;
  std::vector<TovxComponent*> contexts;
};

// A report with one page and one memo on it, evaluating through `eval`.
struct MemoFixture {
  MemoFixture() {
    report.SetEvaluator(&eval);
    page = new TovxPage(&report);
    memo = new TovxMemoView(page);
  }

  // One pass of the data cycle; answers the text it produced.
  QString Print() {
    memo->BeforePrint();
    memo->GetData();
    const QString text = memo->Text();
    memo->AfterPrint();
    return text;
  }

  TableEvaluator eval;
  TovxReport report;
  TovxPage* page;
  TovxMemoView* memo;
};

TEST(MemoViewTest, NewMemoDefaults) {
  TovxMemoView memo;
  EXPECT_EQ(memo.GapX(), 2);
  EXPECT_EQ(memo.GapY(), 1);
  EXPECT_EQ(memo.LineSpacing(), 2);
  EXPECT_TRUE(memo.WordWrap());
  EXPECT_TRUE(memo.AllowExpressions());
  EXPECT_TRUE(memo.ParentFont());
  EXPECT_TRUE(memo.Clipped());
  EXPECT_TRUE(memo.Wysiwyg());
  EXPECT_TRUE(memo.AllowVectorExport());
  EXPECT_FALSE(memo.AutoWidth());
  EXPECT_EQ(S(memo.ExpressionDelimiters()), "[,]");
  EXPECT_EQ(memo.HAlign(), TovxHAlign::haLeft);
  EXPECT_EQ(memo.VAlign(), TovxVAlign::vaTop);
  EXPECT_EQ(memo.ShiftMode(), TovxShiftMode::smAlways);
  EXPECT_EQ(memo.FillType(), TovxFillType::ftBrush);
  EXPECT_TRUE(memo.Frame().Typ().IsEmpty());
  EXPECT_TRUE(memo.Memo().isEmpty());
  EXPECT_EQ(S(memo.Text()), "");
  EXPECT_EQ(std::as_const(memo).DisplayFormat().Kind(), TovxFormatKind::fkText);
  // Nothing was created on the way: lists fill on demand.
  EXPECT_EQ(memo.FormatCount(), 0);
  EXPECT_EQ(memo.HighlightCount(), 0);
  EXPECT_EQ(memo.DisplayFormat().Kind(), TovxFormatKind::fkText);
  EXPECT_EQ(memo.FormatCount(), 1);
  EXPECT_EQ(S(memo.BaseName()), "Memo");
}

TEST(MemoViewTest, GridCellMemo) {
  // One character cell of a typeset page: 29.92 units square.
  TovxPage page;
  auto* memo = new TovxMemoView(nullptr);
  memo->SetParent(&page);
  const double size = 29.92;
  memo->SetBounds(437.0, 29.92, size, size);
  memo->Font().SetSize(static_cast<int>(ovx::Round(size * 0.49)));
  memo->SetHAlign(TovxHAlign::haCenter);
  memo->SetVAlign(TovxVAlign::vaCenter);
  memo->DisplayFormat().SetFormatStr(QString());
  memo->DisplayFormat().SetKind(TovxFormatKind::fkText);
  memo->Font().SetName(QStringLiteral("楷体-Velmora"));
  memo->Font().SetColor(0x008000);
  memo->SetText(QStringLiteral("道"));

  EXPECT_EQ(memo->Font().Size(), 15);
  EXPECT_FALSE(memo->ParentFont());
  EXPECT_EQ(memo->Memo(), QStringList{QStringLiteral("道")});
  EXPECT_EQ(S(memo->Text()), "道\r\n");
  EXPECT_TRUE(memo->Frame().Typ().IsEmpty());
  EXPECT_EQ(memo->Color(), clNone);
  EXPECT_TRUE(memo->WordWrap());
  EXPECT_TRUE(memo->AllowExpressions());
  // A text without "[" goes through the data cycle untouched.
  memo->BeforePrint();
  memo->GetData();
  EXPECT_EQ(S(memo->Text()), "道\r\n");
  memo->AfterPrint();
  EXPECT_EQ(memo->Width(), size);
}

// Printing gives a memo without formats its default item. Memos of a
// typeset page share that item until one of them changes it; a change
// through any way in must stay with that memo.
TEST(MemoViewTest, PrintedMemosShareTheDefaultFormatUntilOneChangesIt) {
  struct Case {
    const char* name;
    std::function<void(TovxMemoView&)> change;
    int count_after;
  };
  const std::vector<Case> cases = {
      {"FormatAt", [](TovxMemoView& m) { m.FormatAt(0).SetFormatStr("0.00"); }, 1},
      {"DisplayFormat",
       [](TovxMemoView& m) { m.DisplayFormat().SetKind(TovxFormatKind::fkNumeric); }, 1},
      {"AddFormat", [](TovxMemoView& m) { m.AddFormat().SetFormatStr("yyyy"); }, 2},
      {"DeleteFormat", [](TovxMemoView& m) { m.DeleteFormat(0); }, 0},
      {"ClearFormats", [](TovxMemoView& m) { m.ClearFormats(); }, 0},
      {"property",
       [](TovxMemoView& m) {
         auto* format = ovx::ToObject(m.GetMetaClass().FindProperty(u"DisplayFormat")->get(m));
         static_cast<TovxFormat*>(format)->SetFormatStr("#0");
       },
       1},
  };
  for (const Case& c : cases) {
    TovxMemoView changed;
    TovxMemoView other;
    for (TovxMemoView* memo : {&changed, &other}) {
      memo->SetText("1");
      memo->GetData();
      ASSERT_EQ(memo->FormatCount(), 1) << c.name;
      EXPECT_EQ(std::as_const(*memo).FormatAt(0), TovxFormat()) << c.name;
    }
    EXPECT_EQ(&std::as_const(changed).FormatAt(0), &std::as_const(other).FormatAt(0));
    c.change(changed);
    EXPECT_EQ(changed.FormatCount(), c.count_after) << c.name;
    ASSERT_EQ(other.FormatCount(), 1) << c.name;
    EXPECT_EQ(std::as_const(other).FormatAt(0), TovxFormat()) << c.name;
    EXPECT_EQ(std::as_const(other).DisplayFormat(), TovxFormat()) << c.name;
    // A memo printed afterwards still gets the untouched default.
    TovxMemoView later;
    later.GetData();
    EXPECT_EQ(std::as_const(later).DisplayFormat(), TovxFormat()) << c.name;
  }
}

TEST(MemoViewTest, TextLinesAndStoredText) {
  TovxMemoView memo;
  memo.SetText(QStringLiteral("a\r\nb\nc\r"));
  EXPECT_EQ(memo.Lines(), (QStringList{"a", "b", "c"}));
  EXPECT_EQ(S(memo.Text()), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(S(*memo.StoredText()), "a\r\nb\r\nc");

  // The stored text is the lines joined, so every line list survives.
  memo.SetLines({"a", ""});
  EXPECT_EQ(S(*memo.StoredText()), "a\r\n");
  memo.SetStoredText(*memo.StoredText());
  EXPECT_EQ(memo.Lines(), (QStringList{"a", ""}));
  memo.SetStoredText(QString());
  EXPECT_TRUE(memo.Lines().isEmpty());
  EXPECT_EQ(S(*memo.StoredText()), "");

  memo.SetText(QStringLiteral("汉字"));
  EXPECT_EQ(memo.AnsiText(), ovx::ToGbk(u"汉字\r\n"));
  memo.SetAnsiText(ovx::ToGbk(u"中文"));
  EXPECT_EQ(memo.Lines(), QStringList{QStringLiteral("中文")});
}

struct ScanCase {
  const char16_t* text;
  const char16_t* delimiters;
  const char16_t* expected;
};

TEST(BracketExpressionsTest, Scanner) {
  const ScanCase cases[] = {
      {u"a[b]c", u"[,]", u"a<b>c"},
      {u"[a][b]", u"[,]", u"<a><b>"},
      {u"[a[b]c] d", u"[,]", u"<a[b]c> d"},      // nested
      {u"[a = ']'] x", u"[,]", u"<a = ']'> x"},  // closing delimiter in quotes
      {u"[\"x]\" + 'y[']", u"[,]", u"<\"x]\" + 'y['>"},
      {u"[\"it's]\"]", u"[,]", u"<\"it's]\">"},  // ' inside "..." is plain
      {u"[a] and [b", u"[,]", u"<a> and [b"},    // unclosed: unchanged from there
      {u"[a [b] c", u"[,]", u"[a [b] c"},
      {u"[", u"[,]", u"["},
      {u"]", u"[,]", u"]"},
      {u"[]", u"[,]", u"<>"},
      {u"no brackets", u"[,]", u"no brackets"},
      {u"x <%a%> y <%b%>", u"<%,%>", u"x <a> y <b>"},  // multi-character delimiters
      {u"x <%a <%b%> c%> <%d", u"<%,%>", u"x <a <%b%> c> <%d"},
      {u"<%%>", u"<%,%>", u"<>"},
      {u"|a| |b|", u"|,|", u"<a> <b>"},  // equal delimiters close
      {u"{{a}}", u"{{,}}", u"<a>"},
  };
  for (const ScanCase& c : cases) {
    const auto delimiters = ovx::ExpressionDelimiters::Parse(QString::fromUtf16(c.delimiters));
    ASSERT_TRUE(delimiters) << S(QString::fromUtf16(c.delimiters));
    const QString out =
        ovx::ExpandExpressions(QString::fromUtf16(c.text), *delimiters,
                               [](const QString& e, int) { return u'<' + e + u'>'; });
    EXPECT_EQ(S(out), S(QString::fromUtf16(c.expected))) << S(QString::fromUtf16(c.text));
  }
}

TEST(BracketExpressionsTest, DelimiterSettings) {
  EXPECT_FALSE(ovx::ExpressionDelimiters::Parse(QString()));
  EXPECT_FALSE(ovx::ExpressionDelimiters::Parse(QStringLiteral("[")));
  EXPECT_FALSE(ovx::ExpressionDelimiters::Parse(QStringLiteral("[,")));
  EXPECT_FALSE(ovx::ExpressionDelimiters::Parse(QStringLiteral(",]")));
  EXPECT_FALSE(ovx::ExpressionDelimiters::Parse(QStringLiteral(",")));
  const auto split = ovx::ExpressionDelimiters::Parse(QStringLiteral("a,b,c"));
  ASSERT_TRUE(split);
  EXPECT_EQ(S(split->open), "a");
  EXPECT_EQ(S(split->close), "b,c");
  // Expression numbers count from 0 in text order.
  QList<int> numbers;
  ovx::ExpandExpressions(u"[a][b][c]", ovx::ExpressionDelimiters{}, [&](const QString&, int n) {
    numbers << n;
    return QString();
  });
  EXPECT_EQ(numbers, (QList<int>{0, 1, 2}));
}

TEST(MemoDataTest, ExpressionsUseTheFormatOfTheirPosition) {
  MemoFixture f;
  f.eval.values = {{"a", 1234.5}, {"b", 37588.0}, {"c", 7.25}, {"d", 0.5}};
  f.memo->DisplayFormat().SetKind(TovxFormatKind::fkNumeric);
  f.memo->DisplayFormat().SetFormatStr(QStringLiteral("#,##0.00"));
  TovxFormat& second = f.memo->AddFormat();
  second.SetKind(TovxFormatKind::fkDateTime);
  second.SetFormatStr(QStringLiteral("dd mmm yyyy"));
  f.memo->SetText(QStringLiteral("A=[a]\r\nB=[b] C=[c] D=[d]"));

  // The last item serves every further expression.
  EXPECT_EQ(S(f.Print()), "A=1,234.50\r\nB=28 Nov 2002 C=06 Jan 1900 D=30 Dec 1899\r\n");
  EXPECT_EQ(f.eval.calls, (QStringList{"a", "b", "c", "d"}));
  EXPECT_EQ(f.eval.contexts.front(), f.memo);
  EXPECT_EQ(f.memo->Value(), QVariant(0.5));
  EXPECT_EQ(f.report.CurrentObject(), f.memo);
  // The template text is back after printing.
  EXPECT_EQ(S(f.memo->Text()), "A=[a]\r\nB=[b] C=[c] D=[d]\r\n");
}

TEST(MemoDataTest, BracketsWithOwnFormatsAndPageMacros) {
  MemoFixture f;
  f.eval.values = {{"x", 1.5}, {"flag", true}, {"day", QDate(2002, 11, 28)}, {"f(1)", 2}};
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"[x #n%2,2f]", u"1,50\r\n"},  // "," becomes the decimal separator
      {u"[x #N0.000]", u"1.500\r\n"},
      {u"[flag #BNo,Yes]", u"Yes\r\n"},
      {u"[day #Dyyyy-mm-dd]", u"2002-11-28\r\n"},
      {u"[f(1) #n0)]", u"2\r\n"},  // ")" after "#": not a format, but f(1) #n0)
      {u"[x] [TotalPages#] [copyname#]", u"1.5 [TotalPages#] [CopyName#]\r\n"},
  };
  f.eval.values.insert(QStringLiteral("f(1) #n0)"), 2);
  for (const auto& c : cases) {
    f.memo->SetText(QString::fromUtf16(c.text));
    EXPECT_EQ(S(f.Print()), S(QString::fromUtf16(c.expected))) << S(QString::fromUtf16(c.text));
  }
  // Page macros under other delimiters come out in the standard form.
  f.memo->SetExpressionDelimiters(QStringLiteral("<,>"));
  f.memo->SetText(QStringLiteral("<TOTALPAGES#>"));
  EXPECT_EQ(S(f.Print()), "[TotalPages#]\r\n");
}

TEST(MemoDataTest, TextsThatAreNotScanned) {
  MemoFixture f;  // the evaluator knows nothing: any evaluation would throw
  const struct {
    const char16_t* text;
    const char16_t* delimiters;
    bool allow;
  } cases[] = {
      {u"plain text without brackets", u"[,]", true},
      {u"a ] b", u"[,]", true},
      {u"[a] unevaluated", u"[,]", false},
      {u"[a] no delimiters", u"", true},
      {u"[a] no comma", u"[]", true},
      {u"[a] empty closing", u"[,", true},
      {u"[a] other delimiters", u"<%,%>", true},
      {u"[never closed", u"[,]", true},
  };
  for (const auto& c : cases) {
    f.memo->SetText(QString::fromUtf16(c.text));
    f.memo->SetExpressionDelimiters(QString::fromUtf16(c.delimiters));
    f.memo->SetAllowExpressions(c.allow);
    EXPECT_EQ(S(f.Print()), S(QString::fromUtf16(c.text) + QStringLiteral("\r\n")));
  }
  EXPECT_TRUE(f.eval.calls.isEmpty());
}

TEST(MemoDataTest, HideZerosBlanksNumericZerosOnly) {
  MemoFixture f;
  f.eval.values = {{"z", 0}, {"zf", 0.0}, {"s", QStringLiteral("0")}, {"one", 1}};
  f.memo->SetHideZeros(true);
  f.memo->SetText(QStringLiteral("[z]|[zf]|[s]|[one]"));
  EXPECT_EQ(S(f.Print()), "||0|1\r\n");
}

TEST(MemoDataTest, SuppressRepeatedBlanksARepeatedText) {
  MemoFixture f;
  f.memo->SetSuppressRepeated(true);
  f.memo->SetText(QStringLiteral("[v]"));
  const struct {
    int value;
    const char* shown;
  } rows[] = {{1, "1\r\n"}, {1, ""}, {1, ""}, {2, "2\r\n"}, {1, "1\r\n"}};
  for (const auto& row : rows) {
    f.eval.values[QStringLiteral("v")] = row.value;
    EXPECT_EQ(S(f.Print()), row.shown);
  }
  f.memo->ResetSuppressRepeated();
  EXPECT_EQ(S(f.Print()), "1\r\n");
}

TEST(MemoDataTest, HighlightIsAppliedAndUndone) {
  MemoFixture f;
  f.page->Font().SetName(QStringLiteral("宋体"));
  f.memo->Frame().SetTyp({TovxFrameType::ftLeft});
  TovxHighlight& never = f.memo->AddHighlight();
  never.SetCondition(QStringLiteral("one"));  // 1 is not True
  TovxHighlight& red = f.memo->AddHighlight();
  red.SetCondition(QStringLiteral("yes"));
  red.Font().SetColor(clRed);
  red.SetColor(clYellow);
  red.SetApplyFrame(true);
  red.Frame().SetTyp({TovxFrameType::ftTop, TovxFrameType::ftBottom});
  TovxHighlight& later = f.memo->AddHighlight();
  later.SetCondition(QStringLiteral("yes"));
  later.SetVisible(false);
  f.eval.values = {{"one", 1}, {"yes", true}};

  f.memo->BeforePrint();
  f.memo->GetData();
  EXPECT_EQ(f.memo->Font().Color(), clRed);
  EXPECT_EQ(f.memo->Color(), clYellow);
  EXPECT_TRUE(f.memo->Frame().Typ().Contains(TovxFrameType::ftTop));
  EXPECT_TRUE(f.memo->Visible());  // the first match wins
  EXPECT_TRUE(red.Active());
  EXPECT_FALSE(later.Active());
  EXPECT_EQ(f.eval.calls, (QStringList{"one", "yes"}));
  f.memo->AfterPrint();

  EXPECT_TRUE(f.memo->ParentFont());
  EXPECT_EQ(S(f.memo->Font().Name()), "宋体");
  EXPECT_EQ(f.memo->Font().Color(), clBlack);
  EXPECT_EQ(f.memo->Color(), clNone);
  EXPECT_EQ(f.memo->Frame().Typ(), TovxFrameTypes{TovxFrameType::ftLeft});
  EXPECT_FALSE(red.Active());

  red.SetCondition(QStringLiteral("one"));
  f.memo->BeforePrint();
  f.memo->GetData();
  EXPECT_FALSE(f.memo->Visible());  // "later" hides the memo for this print
  f.memo->AfterPrint();
  EXPECT_TRUE(f.memo->Visible());
}

TEST(MemoDataTest, TagAndHyperlinkExpressions) {
  MemoFixture f;
  f.eval.values = {{"a", 1}, {"b", QStringLiteral("x")}, {"n", 2.5}};
  f.memo->SetTagStr(QStringLiteral("tag [a]"));
  f.memo->Hyperlink().SetValue(QStringLiteral("p[a];[b]q"));
  f.memo->BeforePrint();
  f.memo->GetData();
  EXPECT_EQ(S(f.memo->TagStr()), "tag 1");
  EXPECT_EQ(S(f.memo->Hyperlink().Value()), "p1;xq");
  f.memo->AfterPrint();
  EXPECT_EQ(S(f.memo->TagStr()), "tag [a]");
  EXPECT_EQ(S(f.memo->Hyperlink().Value()), "p[a];[b]q");

  f.memo->Hyperlink().SetExpression(QStringLiteral("a;n"));
  f.memo->BeforePrint();
  f.memo->GetData();
  EXPECT_EQ(S(f.memo->Hyperlink().Value()), "1;2.5");
  f.memo->AfterPrint();
  EXPECT_EQ(S(f.memo->Hyperlink().Value()), "p[a];[b]q");
}

TEST(MemoDataTest, DataFieldThroughAUserDataSet) {
  MemoFixture f;
  auto* data = new TovxUserDataSet(&f.report);
  data->SetName(QStringLiteral("UserData1"));
  data->SetUserName(QStringLiteral("Customers"));
  data->SetFields({"Name", "Amount", "Notes"});
  QVariant amount = 1234.5;
  data->on_get_value = [&](const QString& field, QVariant& value) {
    if (field == u"Name") value = QStringLiteral("Ilmar");
    if (field == u"Amount") value = amount;
  };
  data->on_is_blob_field = [](const QString& field) { return field == u"Notes"; };
  data->on_get_blob_value = [](const QString&, QByteArray& blob) { blob = "line 1\r\nline 2"; };

  f.memo->SetDataSetName(QStringLiteral("customers"));
  EXPECT_EQ(f.memo->DataSet(), data);
  f.memo->SetDataField(QStringLiteral("Amount"));
  f.memo->SetText(QStringLiteral("[never evaluated]"));
  EXPECT_EQ(S(f.Print()), "1234.5\r\n");  // fkText: the field's display text
  f.memo->DisplayFormat().SetKind(TovxFormatKind::fkNumeric);
  f.memo->DisplayFormat().SetFormatStr(QStringLiteral("#,##0.00"));
  EXPECT_EQ(S(f.Print()), "1,234.50\r\n");
  EXPECT_EQ(f.memo->Value(), QVariant(1234.5));
  amount = 0;
  f.memo->SetHideZeros(true);
  EXPECT_EQ(S(f.Print()), "");

  f.memo->SetDataField(QStringLiteral("Notes"));
  EXPECT_EQ(S(f.Print()), "line 1\r\nline 2\r\n");
  f.memo->SetDataField(QStringLiteral("Missing"));
  EXPECT_EQ(S(f.Print()), "");
  EXPECT_TRUE(f.eval.calls.isEmpty());
  // The template keeps its own text through every printed copy.
  EXPECT_EQ(S(f.memo->Text()), "[never evaluated]\r\n");

  // The link is a name: a data set that goes leaves nothing dangling.
  TovxUserDataSet other;
  f.memo->SetDataSet(&other);  // no user name yet: follows its name
  EXPECT_EQ(S(f.memo->DataSetName()), "");
  f.memo->SetDataSet(data);
  EXPECT_EQ(S(f.memo->DataSetName()), "Customers");
  delete data;
  EXPECT_EQ(f.memo->DataSet(), nullptr);
  EXPECT_FALSE(f.memo->IsDataField());
  f.memo->SetText(QStringLiteral("kept"));
  EXPECT_EQ(S(f.Print()), "kept\r\n");
}

TEST(MemoDataTest, FlowToIsFoundByNameAndTakesTheRest) {
  MemoFixture f;
  f.memo->SetName(QStringLiteral("Memo1"));
  auto* next = new TovxMemoView(f.page);
  next->SetName(QStringLiteral("Memo2"));
  next->SetText(QStringLiteral("[overwritten]"));
  f.memo->SetFlowTo(next);
  EXPECT_EQ(f.memo->FlowTo(), next);
  // A chain back to the memo is refused, the link stays as it was.
  EXPECT_THROW(f.memo->SetFlowTo(f.memo), ovx::Error);
  EXPECT_THROW(next->SetFlowTo(f.memo), ovx::Error);
  EXPECT_EQ(f.memo->FlowTo(), next);
  EXPECT_EQ(next->FlowTo(), nullptr);
  // Room for two lines of the default font: the other two flow on, as
  // plain text.
  f.memo->SetBounds(0, 0, 200, 33);
  f.memo->SetText(QStringLiteral("one\ntwo\nthree\nfour"));
  EXPECT_EQ(f.Print(), QStringLiteral("one\r\ntwo\r\n"));
  EXPECT_EQ(next->Text(), QStringLiteral("three\r\nfour\r\n"));
  EXPECT_FALSE(next->AllowExpressions());
  // When everything fits the follower is emptied.
  f.memo->SetText(QStringLiteral("all fits"));
  f.Print();
  EXPECT_TRUE(next->Memo().isEmpty());
  delete next;
  EXPECT_EQ(f.memo->FlowTo(), nullptr);
}

TEST(MemoListsTest, HighlightNumbers) {
  TovxMemoView memo;
  EXPECT_EQ(memo.AddHighlight().UniqueNumber(), 1);
  EXPECT_EQ(memo.AddHighlight().UniqueNumber(), 2);
  EXPECT_EQ(memo.AddHighlight().UniqueNumber(), 3);
  memo.DeleteHighlight(0);  // {2, 3}: the smallest is 2 or more
  EXPECT_EQ(memo.AddHighlight().UniqueNumber(), 1);
  EXPECT_EQ(memo.AddHighlight().UniqueNumber(), 4);
  EXPECT_EQ(S(memo.HighlightAt(0).CollectionName()), "ovxUIN2");
  memo.DeleteHighlight(99);
  EXPECT_EQ(memo.HighlightCount(), 4);
}

TEST(MemoListsTest, CollectionsRoundTrip) {
  TovxMemoView memo;
  memo.DisplayFormat().SetKind(TovxFormatKind::fkNumeric);
  memo.DisplayFormat().SetFormatStr(QStringLiteral("#,##0.00"));
  TovxFormat& date = memo.AddFormat();
  date.SetKind(TovxFormatKind::fkDateTime);
  date.SetFormatStr(QStringLiteral("dd.mm.yyyy"));
  memo.FormatAt(0).SetDecimalSeparator(QStringLiteral(","));
  memo.FormatAt(0).SetThousandSeparator(QStringLiteral(" "));
  memo.AddHighlight().SetCondition(QStringLiteral("Value < 0"));
  memo.DeleteHighlight(0);
  TovxHighlight& first = memo.AddHighlight();  // number 1
  first.SetCondition(QStringLiteral("Value < 0"));
  first.Font().SetColor(clRed);
  first.SetFillType(TovxFillType::ftGlass);
  TovxHighlight& second = memo.AddHighlight();  // number 2
  second.SetCondition(QStringLiteral("Value > 100"));
  second.SetApplyFrame(true);
  second.Frame().SetTyp({TovxFrameType::ftBottom});
  memo.SetText(QStringLiteral("[a] [b]"));

  ovx::ClassRegistry classes;
  classes.Register(TovxMemoView::StaticMetaClass());
  TovxXMLItem element;
  TovxXMLSerializer writer(classes, nullptr);
  writer.WriteComponentTree(memo, false, element);
  EXPECT_EQ(element.Name(), "TovxMemoView");
  EXPECT_EQ(element.Find("Formats"), 0);
  EXPECT_EQ(element.Find("Highlights"), 1);
  ASSERT_EQ(element[0]->Count(), 2);
  EXPECT_EQ(element[0]->Items(1)->Name(), "item");
  ASSERT_EQ(element[1]->Count(), 2);
  EXPECT_EQ(element[1]->Items(0)->Prop("uin"), "1");
  EXPECT_EQ(element[1]->Items(1)->Prop("uin"), "2");
  EXPECT_FALSE(element.Text().contains("DisplayFormat"));
  EXPECT_FALSE(element.Text().contains("Highlight."));

  TovxMemoView copy;
  TovxXMLSerializer reader(classes, nullptr);
  reader.ReadComponentTree(copy, element);
  EXPECT_TRUE(reader.Errors().isEmpty()) << S(reader.Errors().join(u'\n'));
  ASSERT_EQ(copy.FormatCount(), 2);
  EXPECT_TRUE(copy.FormatAt(0) == memo.FormatAt(0));
  EXPECT_TRUE(copy.FormatAt(1) == memo.FormatAt(1));
  ASSERT_EQ(copy.HighlightCount(), 2);
  EXPECT_EQ(copy.HighlightAt(0).UniqueNumber(), 1);
  EXPECT_EQ(copy.HighlightAt(1).UniqueNumber(), 2);
  EXPECT_EQ(S(copy.HighlightAt(1).Condition()), "Value > 100");
  EXPECT_EQ(copy.HighlightAt(0).Font().Color(), clRed);
  EXPECT_EQ(copy.HighlightAt(0).FillType(), TovxFillType::ftGlass);
  EXPECT_TRUE(copy.HighlightAt(1).ApplyFrame());
  EXPECT_EQ(copy.HighlightAt(1).Frame().Typ(), TovxFrameTypes{TovxFrameType::ftBottom});
  EXPECT_EQ(S(copy.Text()), "[a] [b]\r\n");
  EXPECT_EQ(copy.AddHighlight().UniqueNumber(), 3);
}

TEST(MemoListsTest, SingleItemsTravelAsProperties) {
  TovxMemoView memo;
  memo.DisplayFormat().SetKind(TovxFormatKind::fkBoolean);
  memo.DisplayFormat().SetFormatStr(QStringLiteral("No,Yes"));
  memo.Highlight().SetCondition(QStringLiteral("Value"));
  memo.Highlight().SetApplyFont(false);
  // The fill's class follows FillType, which is read before the fill.
  memo.SetFillType(TovxFillType::ftGradient);
  static_cast<TovxGradientFill&>(memo.Fill()).SetEndColor(clRed);
  memo.Frame().SetColor(clBlue);
  memo.Frame().LeftLine().SetColor(clGreen);

  ovx::ClassRegistry classes;
  TovxXMLItem element;
  TovxXMLSerializer writer(classes, nullptr);
  writer.WriteComponentTree(memo, false, element);
  EXPECT_EQ(element.Count(), 0);
  TovxMemoView copy;
  TovxXMLSerializer reader(classes, nullptr);
  reader.ReadComponentTree(copy, element);
  ASSERT_EQ(copy.FormatCount(), 1);
  EXPECT_TRUE(copy.DisplayFormat() == memo.DisplayFormat());
  ASSERT_EQ(copy.HighlightCount(), 1);
  EXPECT_EQ(S(copy.Highlight().Condition()), "Value");
  EXPECT_FALSE(copy.Highlight().ApplyFont());
  ASSERT_EQ(copy.FillType(), TovxFillType::ftGradient);
  EXPECT_TRUE(copy.Fill().Equals(memo.Fill()));
  EXPECT_TRUE(copy.Frame() == memo.Frame());
  EXPECT_EQ(copy.Frame().LeftLine().Color(), clGreen);
  EXPECT_EQ(copy.Frame().TopLine().Color(), clBlue);
}

TEST(MemoDifferenceTest, MemoPartAndParagraphBreaks) {
  TovxMemoView base;
  base.SetText(QStringLiteral("template"));
  TovxMemoView memo;
  memo.SetText(QStringLiteral("one line"));
  EXPECT_EQ(memo.DifferenceText(base).toStdString(), " u=\"one line\"");

  memo.SetText(QStringLiteral("a\r\n\"b\"\r\n"));
  memo.SetGapX(3);
  memo.SetHAlign(TovxHAlign::haCenter);
  memo.SetHint(QStringLiteral("tip"));
  memo.SetVAlign(TovxVAlign::vaBottom);
  memo.SetWordWrap(false);
  memo.DisplayFormat().SetKind(TovxFormatKind::fkNumeric);
  memo.DisplayFormat().SetFormatStr(QStringLiteral("0.0"));
  memo.SetLastParaBreak(true);
  EXPECT_EQ(memo.DifferenceText(base).toStdString(),
            " GapX=\"3\" HAlign=\"2\" u=\"a&#13;&#10;&#34;b&#34;\" Hint=\"tip\" VAlign=\"1\""
            " WordWrap=\"0\" DisplayFormat.Kind=\"1\" DisplayFormat.FormatStr=\"0.0\""
            " LastParaBreak=\"1\"");
  // The next part starts where this one ended.
  EXPECT_TRUE(memo.FirstParaBreak());
  EXPECT_FALSE(memo.LastParaBreak());
  const std::string next = memo.DifferenceText(base).toStdString();
  EXPECT_NE(next.find(" FirstParaBreak=\"1\""), std::string::npos);
  EXPECT_EQ(next.find("LastParaBreak"), std::string::npos);
  EXPECT_FALSE(memo.FirstParaBreak());

  memo.AddFormat();  // two formats: none of them in the differences
  EXPECT_EQ(memo.DifferenceText(base).toStdString().find("DisplayFormat"), std::string::npos);
}

TEST(MemoDifferenceTest, AutoWidthLeavesTheWidthOut) {
  TovxMemoView base;
  TovxMemoView memo;
  memo.SetWidth(120);
  memo.SetHeight(30);
  EXPECT_EQ(memo.DifferenceText(base).toStdString(), " w=\"120\" h=\"30\" u=\"\"");
  memo.SetAutoWidth(true);
  EXPECT_EQ(memo.DifferenceText(base).toStdString(), " h=\"30\" AutoWidth=\"1\" u=\"\"");
}

}  // namespace
