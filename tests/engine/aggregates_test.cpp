// Aggregate calls in footers: which calls are found, what rows they take,
// when they reset, and how keeping moves rows between page footers.
#include "engine/aggregates.h"
#include "tests/engine/band_report.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using ovx::test::BandReport;
using ovx::test::FunctionEvaluator;
using ovx::test::RowsDataSet;

// Answers "key" from the rows, "grp" as the group of the key (up to 2: a,
// else b) and the aggregate functions from the engine, as the report's
// script will.
struct AggregateEvaluator : FunctionEvaluator {
  AggregateEvaluator(BandReport& r, RowsDataSet& rows) {
    calc = [&r, &rows](const QString& e) -> QVariant {
      if (e == u"key") return rows.Value(QStringLiteral("key"));
      if (e == u"grp") return rows.Value(QStringLiteral("key")).toInt() <= 2 ? "a" : "b";
      static const QRegularExpression call(QStringLiteral("^(\\w+)\\((.*)\\)$"));
      const QRegularExpressionMatch m = call.match(e);
      if (!m.hasMatch()) return e;
      QStringList args = m.captured(2).split(u',');
      const QString name = m.captured(1);
      if (name.compare(u"COUNT", Qt::CaseInsensitive) == 0) args.prepend(QString());
      while (args.size() < 3) args.append(QString());
      auto* band = dynamic_cast<TovxBand*>(r.report->FindObject(args[1].trimmed()));
      return r.Engine().AggregateValue(name, args[0], band, ovx::AggregateFlags(args[2]));
    };
  }
};

// The texts of the memos named `name`, page by page.
std::vector<QStringList> Texts(BandReport& r, const QString& name) {
  std::vector<QStringList> pages;
  for (int i = 0; i < r.Pages().Count(); ++i) {
    QStringList texts;
    for (const TovxComponent* object : r.Pages().GetPage(i)->AllObjects()) {
      if (object->Name() != name) continue;
      if (auto* memo = dynamic_cast<const TovxCustomMemoView*>(object)) {
        texts << memo->Text().trimmed();
      }
    }
    pages.push_back(texts);
  }
  return pages;
}

class AggregatesTest : public ::testing::Test {
 protected:
  void SetUp() override { ovx::InstallEngine(); }
};

TEST_F(AggregatesTest, FooterTotals) {
  struct Case {
    const char* what;
    QVariantList rows;
    QString text;
    bool data_visible;
    QString printed;
  };
  const Case cases[] = {
      {"all functions",
       {10, 20, QVariant()},
       "[SUM(key)] [AVG(key)] [COUNT(MasterData1)] [MIN(key)] [MAX(key)]",
       true,
       "30 15 3 10 20"},
      {"only Null", {QVariant(), QVariant()}, "[SUM(key)] [AVG(key)] [MAX(key)]", true, "0 0 0"},
      {"Booleans count as 1 and 0",
       {true, false, true, false},
       "[SUM(key)] [AVG(key)]",
       true,
       "2 0.5"},
      {"False alone is 0", {false, false}, "[sum(key)]", true, "0"},
      {"invisible rows count with flags 1",
       {1, 2, 3},
       "[COUNT(MasterData1,1)] [COUNT(MasterData1)]",
       false,
       "3 0"},
      {"a named band and flags",
       {4, 5},
       "[SUM(key,MasterData1,0)] [SUM(key, MasterData1)]",
       true,
       "9 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RowsDataSet rows(QStringLiteral("Rows"), c.rows);
    BandReport r;
    AggregateEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    auto* data = r.Add<TovxMasterData>("MasterData1", 40, 20);
    data->SetDataSet(&rows);
    data->SetVisible(c.data_visible);
    auto* footer = r.Add<TovxFooter>("Footer1", 70, 20);
    r.AddMemo(*footer, "Total", c.text);
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(Texts(r, "Total"), std::vector<QStringList>{QStringList{c.printed}});
  }
}

// Group footers reset after they print unless flags 2 make a running
// total; a double pass prints what a single pass does.
TEST_F(AggregatesTest, GroupSumsAndRunningTotals) {
  for (const bool double_pass : {false, true}) {
    SCOPED_TRACE(double_pass ? "double pass" : "single pass");
    RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 3, 4});
    BandReport r;
    r.report->EngineOptions().SetDoublePass(double_pass);
    AggregateEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    r.Add<TovxGroupHeader>("GroupHeader1", 10, 20)->SetCondition(QStringLiteral("grp"));
    r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
    auto* group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 70, 20);
    r.AddMemo(*group_footer, "Group", "[SUM(key)]");
    auto* running = r.AddMemo(*group_footer, "Running", "[SUM(key,MasterData1,2)]");
    running->SetLeft(300);
    auto* footer = r.Add<TovxFooter>("Footer1", 100, 20);
    r.AddMemo(*footer, "Total", "[SUM(key)] [COUNT(MasterData1)]");
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(Texts(r, "Group"), std::vector<QStringList>{(QStringList{"3", "7"})});
    EXPECT_EQ(Texts(r, "Running"), std::vector<QStringList>{(QStringList{"3", "10"})});
    EXPECT_EQ(Texts(r, "Total"), std::vector<QStringList>{QStringList{"10 4"}});
  }
}

// A group footer hidden for a single record still ends its group: the
// next group's total starts afresh, across the page as down it.
TEST_F(AggregatesTest, AHiddenGroupFooterStillResetsItsTotals) {
  // Groups b (3), a (1, 2), b (5): only a's footer shows.
  const QVariantList keys{3, 1, 2, 5};
  for (const bool vertical : {false, true}) {
    SCOPED_TRACE(vertical ? "vertical" : "horizontal");
    RowsDataSet rows(QStringLiteral("Rows"), vertical ? QVariantList{1} : keys);
    RowsDataSet columns(QStringLiteral("Columns"), keys);
    BandReport r;
    AggregateEvaluator aggregates(r, vertical ? columns : rows);
    r.report->SetEvaluator(&aggregates);
    auto* data = r.Add<TovxMasterData>("MasterData1", 40, 20);
    data->SetDataSet(&rows);
    TovxGroupHeader* group = nullptr;
    TovxGroupFooter* group_footer = nullptr;
    if (vertical) {
      group = r.Add<TovxGroupHeader>("Group", 0, 0);
      group->SetBounds(90, 0, 0, 300);
      auto* across = r.Add<TovxMasterData>("Across", 0, 0);
      across->SetBounds(100, 0, 60, 300);
      across->SetDataSet(&columns);
      across->SetVertical(true);
      group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 0, 0);
      group_footer->SetBounds(200, 0, 60, 300);
      r.AddMemo(*data, "Sum", "[SUM(key,Across)]")->SetBounds(200, 0, 60, 18);
    } else {
      group = r.Add<TovxGroupHeader>("Group", 10, 20);
      group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 70, 20);
      r.AddMemo(*group_footer, "Sum", "[SUM(key)]");
    }
    group->SetVertical(vertical);
    group->SetCondition(QStringLiteral("grp"));
    group_footer->SetVertical(vertical);
    group_footer->SetHideIfSingleDataRecord(true);
    ASSERT_TRUE(r.Prepare()) << r.report->Errors().join("|").toStdString();
    EXPECT_EQ(Texts(r, "Sum"), std::vector<QStringList>{QStringList{"3"}});
  }
}

// A footer kept with the last row takes the row to the next page: the
// page footer of the page it leaves does not count it.
TEST_F(AggregatesTest, KeptFooterRowCountsOnTheNextPage) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "KeepFooter" : "no keep");
    RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 4});
    BandReport r;
    AggregateEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    r.Add<TovxReportTitle>("ReportTitle1", 0, 600);
    auto* data = r.Add<TovxMasterData>("MasterData1", 620, 100);
    data->SetDataSet(&rows);
    data->SetKeepFooter(keep);
    auto* footer = r.Add<TovxFooter>("Footer1", 730, 100);
    r.AddMemo(*footer, "Total", "[SUM(key)]");
    auto* page_footer = r.Add<TovxPageFooter>("PageFooter1", 900, 50);
    r.AddMemo(*page_footer, "PageTotal", "[SUM(key)]");
    ASSERT_TRUE(r.Prepare());
    ASSERT_EQ(r.Pages().Count(), 2);
    EXPECT_EQ(Texts(r, "Total"), (std::vector<QStringList>{{}, {"7"}}));
    if (keep) {
      EXPECT_EQ(Texts(r, "PageTotal"), (std::vector<QStringList>{{"3"}, {"4"}}));
    } else {
      EXPECT_EQ(Texts(r, "PageTotal"), (std::vector<QStringList>{{"7"}, {"0"}}));
    }
  }
}

// Calls are found through variables and brackets; texts that name
// themselves, nest without end or never close end the search.
TEST_F(AggregatesTest, CollectingCallsEndsOnHostileTexts) {
  const QString deep = QString(10000, u'(') + "SUM(key)" + QString(10000, u')');
  struct Case {
    const char* what;
    QString text;
    int items;
  };
  const Case cases[] = {
      {"plain", "[SUM(key)] and [COUNT(MasterData1)]", 2},
      {"inside a call and angle brackets", "[IIF(<x> > 0, SUM(key), MAX(<key>))]", 2},
      {"a variable holding a call", "[Total]", 1},
      {"a variable naming itself", "[X]", 0},
      {"a cycle of variables", "[A] [B]", 0},
      {"a cycle through a call", "[C]", 1},
      {"quoted text is not a call", "['SUM(key)' + \"MAX(key)\"]", 0},
      {"an open quote ends the scan", "[\"SUM(key)]", 0},
      {"10,000 nested parentheses", "[" + deep + "]", 0},
      {"an unmatched opener", "[(((SUM(key)]", 1},
      {"20,000 unmatched openers", "[" + QString(20000, u'(') + "]", 0},
      {"20,000 unclosed calls", "[" + QString("SUM(").repeated(20000) + "]", 0},
      {"an unmatched angle", "[<<SUM(key) + 1]", 1},
      {"a call never closed", "[SUM(key]", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RowsDataSet rows(QStringLiteral("Rows"), {1});
    BandReport r;
    AggregateEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    TovxVariables& variables = r.report->Variables();
    variables.SetValue("Total", QStringLiteral("SUM(key)"));
    variables.SetValue("X", QStringLiteral("X"));
    variables.SetValue("A", QStringLiteral("B"));
    variables.SetValue("B", QStringLiteral("A"));
    variables.SetValue("C", QStringLiteral("SUM(key) + C"));
    r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
    auto* footer = r.Add<TovxFooter>("Footer1", 70, 20);
    auto* memo = r.AddMemo(*footer, "Total1", c.text);
    memo->SetAllowExpressions(false);  // only the collection is under test
    auto* shown = r.AddMemo(*footer, "Total2", c.text);
    shown->SetVisible(false);
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(r.Engine().Aggregates().Count(), c.items);
  }
}

// A cross table: rows r = 1, 2, 3 down (groups a: 1, 2 and b: 3), columns
// c = 1 to 4 across (vertical groups x: 1, 2 and y: 3, 4), cell value
// v = 100 r + c. Column totals print in the cells of horizontal footers,
// row totals in the cells of vertical footers, the grand total where the
// two meet; each resets with the band it prints in.
TEST_F(AggregatesTest, TotalsPerColumnAndRowOfVerticalBands) {
  RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 3});
  RowsDataSet columns(QStringLiteral("Columns"), {1, 2, 3, 4});
  BandReport r;
  AggregateEvaluator aggregates(r, rows);
  FunctionEvaluator eval;
  eval.calc = [&](const QString& e) -> QVariant {
    const int row = rows.Value(QStringLiteral("key")).toInt();
    const int column = columns.Eof() ? 0 : columns.Value(QStringLiteral("key")).toInt();
    if (e == u"v") return 100 * row + column;
    if (e == u"grp") return row <= 2 ? "a" : "b";
    if (e == u"cgrp") return column <= 2 ? "x" : "y";
    return aggregates.calc(e);
  };
  r.report->SetEvaluator(&eval);
  const auto vertical = [&](TovxBand* band, double left, double width) {
    band->SetVertical(true);
    band->SetBounds(left, 0, width, 300);
  };
  const auto cell = [&](TovxBand& band, const char* name, const char* text, double left) {
    r.AddMemo(band, name, text, 20)->SetBounds(left, 0, 60, 20);
  };
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 60, 20);
  group->SetCondition(QStringLiteral("grp"));
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetDataSet(&rows);
  cell(*data, "Cell", "[v]", 100);
  cell(*data, "RowSub", "[SUM(v,Across)]", 200);
  cell(*data, "RowTotal", "[SUM(v,Across)]", 300);
  auto* group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 140, 20);
  cell(*group_footer, "GroupSum", "[SUM(v,MasterData1)]", 100);
  auto* footer = r.Add<TovxFooter>("Footer1", 180, 20);
  cell(*footer, "ColumnSum", "[SUM(v,MasterData1)]", 100);
  cell(*footer, "ColumnCount", "[COUNT(MasterData1)]", 100);
  cell(*footer, "Grand", "[SUM(v,Across)]", 300);
  // The same call beside the cells is no total per column.
  cell(*footer, "All", "[SUM(v)]", 500);
  auto* across_group = r.Add<TovxGroupHeader>("AcrossGroup", 0, 0);
  vertical(across_group, 90, 0);
  across_group->SetCondition(QStringLiteral("cgrp"));
  auto* across = r.Add<TovxMasterData>("Across", 0, 0);
  vertical(across, 100, 60);
  across->SetDataSet(&columns);
  vertical(r.Add<TovxGroupFooter>("AcrossGroupFooter", 0, 0), 200, 60);
  vertical(r.Add<TovxFooter>("AcrossFooter", 0, 0), 300, 60);
  ASSERT_TRUE(r.Prepare()) << r.report->Errors().join("|").toStdString();
  ASSERT_EQ(r.Pages().Count(), 1);
  const auto texts = [&](const char* name) { return Texts(r, name)[0].join(u' '); };
  EXPECT_EQ(texts("Cell"), "101 102 103 104 201 202 203 204 301 302 303 304");
  EXPECT_EQ(texts("RowSub"), "203 207 403 407 603 607");
  EXPECT_EQ(texts("RowTotal"), "410 810 1210");
  EXPECT_EQ(texts("GroupSum"), "302 304 306 308 301 302 303 304");
  EXPECT_EQ(texts("ColumnSum"), "603 606 609 612");
  EXPECT_EQ(texts("ColumnCount"), "3 3 3 3");
  // Counted once: the vertical records shown in the footer's own row are
  // not data.
  EXPECT_EQ(texts("Grand"), "2430");
  // The master rows' values, taken after each row ran across (c = 0 then).
  EXPECT_EQ(texts("All"), "600");
}

// Vertical columns far beyond the first thousand keep their own totals.
TEST_F(AggregatesTest, ColumnsGrowAsNeeded) {
  RowsDataSet rows(QStringLiteral("Rows"), {5});
  BandReport r;
  AggregateEvaluator eval(r, rows);
  r.report->SetEvaluator(&eval);
  auto* data = r.Add<TovxMasterData>("MasterData1", 40, 20);
  data->SetDataSet(&rows);
  auto* footer = r.Add<TovxFooter>("Footer1", 70, 20);
  r.AddMemo(*footer, "Total", "[SUM(key)]");
  ASSERT_TRUE(r.Prepare());
  TovxAggregateList& list = r.Engine().Aggregates();
  ASSERT_EQ(list.Count(), 1);
  rows.Open();
  rows.First();
  for (const int column : {1, 1000, 1001, 5000}) list.TakeValues(*data, column);
  list.TakeValues(*data, 5000);
  const auto value = [&](int column) {
    return list.ValueOf("sum", " key ", nullptr, 0, footer, column);
  };
  EXPECT_EQ(value(1), QVariant(5));
  EXPECT_EQ(value(1001), QVariant(5));
  EXPECT_EQ(value(5000), QVariant(10));
  EXPECT_EQ(value(4999), QVariant(0));
  EXPECT_EQ(value(1 << 30), QVariant(0));
  EXPECT_FALSE(list.ValueOf("sum", "key", nullptr, 0, data, 1).isValid()) << "other band";
  list.ClearAllValues();
  EXPECT_EQ(value(5000), QVariant(0));
}

}  // namespace
