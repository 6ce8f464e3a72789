// The band engine: the band tree and its errors, page arithmetic, data
// loops, groups, columns, loop guards, shifting, and a template left as it
// was found on every way out of a run.
#include "base/error.h"
#include "base/stream.h"
#include "base/units.h"
#include "engine/band_tree.h"
#include "engine/shift_engine.h"
#include "report/model/subreport.h"
#include "resources/resources.h"
#include "tests/engine/band_report.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <thread>
#include <tuple>
#include <type_traits>

namespace {

using ovx::test::BandReport;
using ovx::test::FunctionEvaluator;
using ovx::test::RowsDataSet;

QVariantList Keys(const QString& letters) {
  QVariantList rows;
  for (QChar c : letters) rows << QString(c);
  return rows;
}

class BandEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ovx::InstallEngine(); }
};

// --- band tree ------------------------------------------------------------------

TEST_F(BandEngineTest, BandTreeErrorsStopThePreparation) {
  struct Case {
    const char* what;
    std::function<void(BandReport&, RowsDataSet&)> build;
    QString error;
  };
  const Case cases[] = {
      {"group header without data band",
       [](BandReport& r, RowsDataSet&) {
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(1);
         r.Add<TovxGroupHeader>("GroupHeader1", 200, 20);
       },
       ovx::EngineText("enUnconnGroup") + " GroupHeader1"},
      {"group footer before its header",
       [](BandReport& r, RowsDataSet&) {
         r.Add<TovxGroupFooter>("GroupFooter1", 50, 20);
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(1);
       },
       ovx::EngineText("enUnconnGFooter") + " GroupFooter1"},
      {"footer not after a data band",
       [](BandReport& r, RowsDataSet&) {
         r.Add<TovxFooter>("Footer1", 50, 20);
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(1);
       },
       ovx::EngineText("enUnconnHeader") + " Footer1"},
      {"detail without master",
       [](BandReport& r, RowsDataSet&) {
         r.Add<TovxDetailData>("DetailData1", 100, 20)->SetRowCount(1);
       },
       ovx::EngineText("enBandPos") + " DetailData1"},
      {"report and page on one data set",
       [](BandReport& r, RowsDataSet& rows) {
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(1);
         r.report->SetDataSet(&rows);
         r.page->SetDataSet(&rows);
       },
       "Cannot use the same dataset for Report.DataSet and Page.DataSet"},
      {"report and band on one data set",
       [](BandReport& r, RowsDataSet& rows) {
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetDataSet(&rows);
         r.report->SetDataSet(&rows);
       },
       "Cannot use the same dataset for Report.DataSet and Band.DataSet"},
      {"page and band on one data set",
       [](BandReport& r, RowsDataSet& rows) {
         r.Add<TovxMasterData>("MasterData1", 100, 20)->SetDataSet(&rows);
         r.page->SetDataSet(&rows);
       },
       "Cannot use the same dataset for Page.DataSet and Band.DataSet"},
  };
  for (const Case& c : cases) {
    RowsDataSet rows(QStringLiteral("Rows"), Keys("AB"));
    BandReport r;
    c.build(r, rows);
    EXPECT_FALSE(r.Prepare()) << c.what;
    EXPECT_EQ(r.Pages().Count(), 0) << c.what;
    EXPECT_TRUE(r.report->Errors().contains(c.error))
        << c.what << ": " << r.report->Errors().join("|").toStdString();
    EXPECT_EQ(rows.opens, 0) << c.what;
  }
}

TEST_F(BandEngineTest, DataSetsOfTheirOwnAndLoadWarningsDoNotStopIt) {
  BandReport r;
  r.Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(2);
  r.report->AddError(QStringLiteral("a warning left from loading"));
  EXPECT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{2});
  EXPECT_TRUE(r.Prepare());  // and again: the tree is built afresh
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{2});
}

TEST_F(BandEngineTest, BandTreeLinksNestingAndNumericOrder) {
  BandReport r;
  // Created out of order; negative tops sort as numbers.
  auto* footer = r.Add<TovxFooter>("Footer1", 300, 20);
  auto* detail = r.Add<TovxDetailData>("DetailData1", 200, 20);
  auto* master = r.Add<TovxMasterData>("MasterData1", -5, 20);
  auto* header = r.Add<TovxHeader>("Header1", -10, 20);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 100, 20);
  auto* group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 250, 20);
  auto* master2 = r.Add<TovxMasterData>("MasterData2", 400, 20);
  ovx::BandTree tree;
  QStringList errors;
  ovx::BuildBandTree(*r.page, tree, errors);
  EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
  ASSERT_EQ(tree.top.size(), 2u);
  EXPECT_EQ(tree.top[0], master);
  EXPECT_EQ(tree.top[1], master2);
  EXPECT_EQ(tree.Links(master).header, header);
  EXPECT_EQ(tree.Links(master).sub_bands, std::vector<TovxDataBand*>{detail});
  EXPECT_EQ(tree.Links(detail).groups, std::vector<TovxGroupHeader*>{group});
  EXPECT_EQ(tree.GroupFooter(group), group_footer);
  EXPECT_EQ(tree.Links(detail).footer, footer);
  EXPECT_EQ(tree.Links(master).footer, nullptr);
}

TEST_F(BandEngineTest, AFooterPassesOnlyItsOwnGroupFooters) {
  BandReport r;
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
  auto* master = r.Add<TovxMasterData>("MasterData1", 40, 20);
  auto* detail = r.Add<TovxDetailData>("DetailData1", 70, 20);
  auto* group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 100, 20);
  auto* footer = r.Add<TovxFooter>("Footer1", 130, 20);
  ovx::BandTree tree;
  QStringList errors;
  ovx::BuildBandTree(*r.page, tree, errors);
  EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
  EXPECT_EQ(tree.Links(master).groups, std::vector<TovxGroupHeader*>{group});
  EXPECT_EQ(tree.GroupFooter(group), group_footer);
  EXPECT_EQ(tree.Links(master).footer, footer);
  EXPECT_EQ(tree.Links(detail).footer, nullptr);
}

TEST_F(BandEngineTest, CellsOfVerticalBandsStayInTheirBands) {
  BandReport r;
  auto* row = r.Add<TovxMasterData>("MasterData1", 100, 20);
  auto* cell = r.AddMemo(*row, "Cell", "x");
  cell->SetLeft(300);
  cell->SetWidth(50);
  auto* column = r.Add<TovxMasterData>("Column1", 0, 20);
  column->SetVertical(true);
  column->SetLeft(290);
  column->SetWidth(80);
  for (int run = 0; run < 2; ++run) {
    ovx::BandTree tree;
    QStringList errors;
    ovx::BuildBandTree(*r.page, tree, errors);
    EXPECT_EQ(tree.cells.at(cell), column);
    EXPECT_TRUE(tree.holds_cells.count(row));
    EXPECT_EQ(cell->Parent(), row);
    EXPECT_EQ(cell->Left(), 300);
    ASSERT_EQ(tree.vertical_top.size(), 1u);
  }
}

// --- pages ----------------------------------------------------------------------

TEST_F(BandEngineTest, RowsFillPagesBetweenHeaderAndFooter) {
  BandReport r;
  r.Add<TovxPageHeader>("PageHeader1", 0, 100);
  auto* data = r.Add<TovxMasterData>("MasterData1", 150, 100);
  data->SetRowCount(25);
  r.AddMemo(*data, "Row", "row");
  r.Add<TovxPageFooter>("PageFooter1", 300, 100);
  ASSERT_TRUE(r.Prepare());
  EXPECT_NEAR(r.Engine().PageHeight(), 1046.93, 0.005);
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{8, 8, 8, 1}));
  EXPECT_EQ(r.CountPerPage("TovxPageHeader"), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(r.CountPerPage("TovxPageFooter"), (std::vector<int>{1, 1, 1, 1}));
  const std::vector<double> tops = r.Tops(0, "MasterData1");
  ASSERT_EQ(tops.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(tops[i], 100 + 100 * i, 1e-6);
  EXPECT_NEAR(r.Tops(0, "PageFooter1").at(0), 946.93, 0.005);
  EXPECT_NEAR(r.Tops(3, "PageFooter1").at(0), 946.93, 0.005);
  EXPECT_EQ(r.Tops(0, "PageHeader1"), std::vector<double>{0});
}

TEST_F(BandEngineTest, ABandExactlyAsHighAsTheFreeSpaceFits) {
  BandReport r;
  r.Add<TovxPageHeader>("PageHeader1", 0, 100);
  auto* data = r.Add<TovxMasterData>("MasterData1", 150, 1046.93 - 200);
  data->SetRowCount(2);
  r.Add<TovxPageFooter>("PageFooter1", 300, 100);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{1, 1}));
}

TEST_F(BandEngineTest, TitleSummaryAndColumnBandsTakeTheirPlaces) {
  BandReport r;
  r.Add<TovxReportTitle>("ReportTitle1", 0, 50);
  r.Add<TovxPageHeader>("PageHeader1", 60, 40);
  auto* data = r.Add<TovxMasterData>("MasterData1", 150, 100);
  data->SetRowCount(12);
  r.Add<TovxReportSummary>("ReportSummary1", 400, 30);
  r.Add<TovxPageFooter>("PageFooter1", 500, 20);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 2);
  EXPECT_EQ(r.Bands(0).mid(0, 3), (QStringList{"ReportTitle1", "PageHeader1", "MasterData1"}));
  EXPECT_EQ(r.Tops(0, "PageHeader1"), std::vector<double>{50});
  EXPECT_EQ(r.CountPerPage("TovxReportTitle"), (std::vector<int>{1, 0}));
  EXPECT_EQ(r.CountPerPage("TovxReportSummary"), (std::vector<int>{0, 1}));
  // 9 rows below 90 units of title and header above a 20-unit footer.
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{9, 3}));
  EXPECT_NEAR(r.Tops(1, "ReportSummary1").at(0), 40 + 300, 1e-6);
}

TEST_F(BandEngineTest, PageHeaderSkipsTheFirstPageWhenAsked) {
  BandReport r;
  r.Add<TovxPageHeader>("PageHeader1", 0, 100)->SetPrintOnFirstPage(false);
  r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(12);
  r.Add<TovxPageFooter>("PageFooter1", 300, 100)->SetPrintOnLastPage(false);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxPageHeader"), (std::vector<int>{0, 1}));
  EXPECT_EQ(r.CountPerPage("TovxPageFooter"), (std::vector<int>{1, 0}));
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{9, 3}));
}

// --- data loops -------------------------------------------------------------------

TEST_F(BandEngineTest, DataLoopEdgeCases) {
  {  // RowCount limits a data set of its own.
    RowsDataSet rows(QStringLiteral("Rows"), Keys("ABCDE"));
    BandReport r;
    auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
    data->SetDataSet(&rows);
    data->SetRowCount(3);
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{3});
    EXPECT_EQ(rows.opens, 1);
    EXPECT_EQ(rows.closes, 1);
    EXPECT_FALSE(rows.Active());
  }
  {  // No rows and no PrintIfEmpty: no page.
    RowsDataSet rows(QStringLiteral("Rows"));
    BandReport r;
    r.Add<TovxMasterData>("MasterData1", 100, 20)->SetDataSet(&rows);
    r.page->SetPrintIfEmpty(false);
    EXPECT_FALSE(r.Prepare());
    EXPECT_EQ(r.Pages().Count(), 0);
  }
  for (const QVariant& result : {QVariant(1), QVariant(QStringLiteral("False")), QVariant(false)}) {
    BandReport r;
    FunctionEvaluator eval;
    eval.calc = [&](const QString&) { return result; };
    r.report->SetEvaluator(&eval);
    auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
    data->SetRowCount(4);
    data->SetFilter(QStringLiteral(" f "));
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{0})
        << result.toString().toStdString();
  }
  {  // Only a Boolean true passes.
    BandReport r;
    FunctionEvaluator eval;
    int calls = 0;
    eval.calc = [&](const QString&) { return QVariant(++calls % 2 == 0); };
    r.report->SetEvaluator(&eval);
    auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
    data->SetRowCount(4);
    data->SetFilter(QStringLiteral("f"));
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{2});
  }
}

TEST_F(BandEngineTest, MasterDetailWithHeadersAndFooters) {
  RowsDataSet masters(QStringLiteral("Masters"), Keys("AB"));
  RowsDataSet details(QStringLiteral("Details"), Keys("xyz"));
  RowsDataSet none(QStringLiteral("None"));
  BandReport r;
  r.Add<TovxHeader>("Header1", 10, 20);
  r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&masters);
  r.Add<TovxHeader>("Header2", 70, 20);
  auto* detail = r.Add<TovxDetailData>("DetailData1", 100, 20);
  detail->SetDataSet(&details);
  r.Add<TovxFooter>("Footer2", 130, 20);
  r.Add<TovxFooter>("Footer1", 160, 20);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0),
            (QStringList{"Header1", "MasterData1", "Header2", "DetailData1", "DetailData1",
                         "DetailData1", "Footer2", "MasterData1", "Header2", "DetailData1",
                         "DetailData1", "DetailData1", "Footer2", "Footer1"}));
  // A master without detail rows is left out unless PrintIfDetailEmpty.
  detail->SetDataSet(&none);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), QStringList{});
  r.report->FindObject("MasterData1")->GetMetaClass();
  dynamic_cast<TovxDataBand*>(r.report->FindObject("MasterData1"))->SetPrintIfDetailEmpty(true);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), (QStringList{"Header1", "MasterData1", "MasterData1", "Footer1"}));
}

TEST_F(BandEngineTest, GroupsWithSingleRecordFootersHidden) {
  RowsDataSet rows(QStringLiteral("Rows"), Keys("AABCC"));
  BandReport r;
  FunctionEvaluator eval;
  eval.calc = [&](const QString& e) -> QVariant {
    if (e == "key") return rows.Value(QStringLiteral("key"));
    return e;
  };
  r.report->SetEvaluator(&eval);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
  group->SetCondition(QStringLiteral("key"));
  r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
  r.Add<TovxGroupFooter>("GroupFooter1", 70, 20)->SetHideIfSingleDataRecord(true);
  std::vector<QString> footer_keys;
  r.report->on_before_print = [&](TovxComponent& c) {
    if (c.Name() == "GroupFooter1") footer_keys.push_back(rows.Value("key").toString());
  };
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxGroupHeader"), std::vector<int>{3});
  EXPECT_EQ(r.CountPerPage("TovxGroupFooter"), std::vector<int>{2});
  // The footers see the last record of their own group.
  EXPECT_EQ(footer_keys, (std::vector<QString>{"A", "C"}));
  EXPECT_EQ(r.Bands(0), (QStringList{"GroupHeader1", "MasterData1", "MasterData1", "GroupFooter1",
                                     "GroupHeader1", "MasterData1", "GroupHeader1", "MasterData1",
                                     "MasterData1", "GroupFooter1"}));
}

// Drill-down groups: collapsed, a group shows its header only; a listed
// (expanded) group shows its records too; ExpandDrillDown lists each group
// the first time it is met. A group's name is the header's, a dot and its
// value.
TEST_F(BandEngineTest, DrillDownGroupsShowTheirRecordsOnlyWhenExpanded) {
  RowsDataSet rows(QStringLiteral("Rows"), Keys("AAABBB"));
  BandReport r;
  FunctionEvaluator eval;
  eval.calc = [&](const QString& e) -> QVariant {
    if (e == "key") return rows.Value(QStringLiteral("key"));
    return e;
  };
  r.report->SetEvaluator(&eval);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
  group->SetCondition(QStringLiteral("key"));
  group->SetDrillDown(true);
  r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
  r.Add<TovxGroupFooter>("GroupFooter1", 70, 20);

  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), (QStringList{"GroupHeader1", "GroupHeader1"}));
  EXPECT_TRUE(group->DrillName().isEmpty());  // the template is left as it was

  TovxEngine& engine = *ovx::ReportEngine(*r.report);
  engine.ToggleDrillGroup(QStringLiteral("GroupHeader1.A"));
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), (QStringList{"GroupHeader1", "MasterData1", "MasterData1", "MasterData1",
                                     "GroupFooter1", "GroupHeader1"}));
  // With ShowFooterIfDrillDown a collapsed group keeps its footer.
  group->SetShowFooterIfDrillDown(true);
  engine.ToggleDrillGroup(QStringLiteral("GroupHeader1.A"));
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0),
            (QStringList{"GroupHeader1", "GroupFooter1", "GroupHeader1", "GroupFooter1"}));

  group->SetShowFooterIfDrillDown(false);
  group->SetExpandDrillDown(true);
  engine.ClearDrillDown();
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0).size(), 10);
  // Met once, a group is not listed again: the user's collapse holds.
  engine.ToggleDrillGroup(QStringLiteral("GroupHeader1.B"));
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), (QStringList{"GroupHeader1", "MasterData1", "MasterData1", "MasterData1",
                                     "GroupFooter1", "GroupHeader1"}));
}

// The child of a drill-down group's header follows the header when the
// group is expanded; a collapsed group shows it only with
// ShowChildIfDrillDown.
TEST_F(BandEngineTest, CollapsedGroupShowsItsHeadersChildOnlyWhenAsked) {
  struct Case {
    bool expanded;
    bool show_child;
    QStringList bands;
  };
  const QStringList expanded = {"GroupHeader1", "Child1", "MasterData1", "MasterData1",
                                "GroupHeader1", "Child1", "MasterData1"};
  const Case cases[] = {
      {false, false, {"GroupHeader1", "GroupHeader1"}},
      {false, true, {"GroupHeader1", "Child1", "GroupHeader1", "Child1"}},
      {true, false, expanded},
      {true, true, expanded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.expanded).arg(c.show_child).toStdString());
    RowsDataSet rows(QStringLiteral("Rows"), Keys("AAB"));
    BandReport r;
    FunctionEvaluator eval;
    eval.calc = [&](const QString& e) -> QVariant {
      if (e == "key") return rows.Value(QStringLiteral("key"));
      return e;
    };
    r.report->SetEvaluator(&eval);
    auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
    group->SetCondition(QStringLiteral("key"));
    group->SetDrillDown(true);
    group->SetExpandDrillDown(c.expanded);
    group->SetShowChildIfDrillDown(c.show_child);
    auto* child = r.Add<TovxChild>("Child1", 35, 10);
    group->SetChild(child);
    r.Add<TovxMasterData>("MasterData1", 50, 20)->SetDataSet(&rows);
    ASSERT_TRUE(r.Prepare());
    EXPECT_EQ(r.Bands(0), c.bands);
  }
}

TEST_F(BandEngineTest, ReprintedHeaderOpensEveryFollowingPage) {
  BandReport r;
  r.Add<TovxPageHeader>("PageHeader1", 0, 50);
  r.Add<TovxHeader>("Header1", 60, 50)->SetReprintOnNewPage(true);
  r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(25);
  r.Add<TovxFooter>("Footer1", 260, 20);
  r.Add<TovxPageFooter>("PageFooter1", 300, 100);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 4);
  for (int i = 0; i < 4; ++i) {
    const QStringList bands = r.Bands(i);
    EXPECT_EQ(bands.mid(0, 3), (QStringList{"PageHeader1", "Header1", "MasterData1"})) << i;
    EXPECT_EQ(bands.count("Header1"), 1) << i;
  }
  EXPECT_EQ(r.Bands(3).mid(r.Bands(3).size() - 2), (QStringList{"Footer1", "PageFooter1"}));
}

TEST_F(BandEngineTest, DoublePassCountsPagesForTheSecondPass) {
  BandReport r;
  r.report->EngineOptions().SetDoublePass(true);
  r.Add<TovxPageHeader>("PageHeader1", 0, 100);
  r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(25);
  r.Add<TovxPageFooter>("PageFooter1", 300, 100);
  std::vector<std::pair<bool, int>> seen;
  r.report->on_before_print = [&](TovxComponent& c) {
    if (c.Name() == "PageHeader1")
      seen.emplace_back(r.Engine().FinalPass(), r.Engine().TotalPages());
  };
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Pages().Count(), 4);
  ASSERT_EQ(seen.size(), 8u);
  EXPECT_EQ(seen.front(), std::make_pair(false, 0));
  EXPECT_EQ(seen.back(), std::make_pair(true, 4));
  // The second pass places the page's frame bands again.
  for (int i = 0; i < r.Pages().Count(); ++i) {
    SCOPED_TRACE(i);
    const QStringList bands = r.Bands(i);
    ASSERT_GE(bands.size(), 2);
    EXPECT_EQ(bands.front(), "PageHeader1");
    EXPECT_EQ(bands.back(), "PageFooter1");
  }
}

TEST_F(BandEngineTest, EventsOfBandsAndPagesReachTheScript) {
  BandReport r;
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetRowCount(2);
  data->SetOnBeforePrint("DataBefore");
  data->SetOnAfterPrint("DataAfter");
  r.page->SetOnBeforePrint("PageBefore");
  QStringList calls;
  r.Engine().call_script = [&](const QString& procedure, TovxComponent& object) {
    calls << procedure + ":" + object.Name() + ":" + QString::number(r.Engine().CurLine());
  };
  ASSERT_TRUE(r.Prepare());
  // The same state through the published table scripts read.
  const ovx::MetaClass& meta = r.Engine().GetMetaClass();
  ASSERT_NE(meta.FindProperty(u"CurLine"), nullptr);
  EXPECT_EQ(ovx::ToInt(meta.FindProperty(u"CurLine")->get(r.Engine())), 2);
  EXPECT_NEAR(ovx::ToDouble(meta.FindProperty(u"PageHeight")->get(r.Engine())), 1046.93, 0.005);
  EXPECT_TRUE(meta.FindProperty(u"TotalPages")->IsReadOnly());
  EXPECT_FALSE(meta.FindProperty(u"CurY")->IsReadOnly());
  EXPECT_EQ(calls, (QStringList{"PageBefore:Page1:0", "DataBefore:MasterData1:1",
                                "DataAfter:MasterData1:1", "DataBefore:MasterData1:2",
                                "DataAfter:MasterData1:2"}));
}

TEST_F(BandEngineTest, StartNewPageAndOutlineEntries) {
  BandReport r;
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetRowCount(3);
  data->SetStartNewPage(true);
  data->SetOutlineText(QStringLiteral("row"));
  auto* detail = r.Add<TovxDetailData>("DetailData1", 130, 20);
  detail->SetRowCount(2);
  detail->SetOutlineText(QStringLiteral("detail"));
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{1, 1, 1}));
  TovxOutline& outline = r.Pages().Outline();
  outline.LevelRoot();
  ASSERT_EQ(outline.Count(), 3);
  QString text;
  int page = -1;
  int top = -1;
  outline.GetItem(1, text, page, top);
  EXPECT_EQ(text, "row");
  EXPECT_EQ(page, 1);
  EXPECT_EQ(top, 0);
  outline.LevelDown(1);
  ASSERT_EQ(outline.Count(), 2);
  outline.GetItem(1, text, page, top);
  EXPECT_EQ(text, "detail");
  EXPECT_EQ(top, 40);
}

// --- loop guards -------------------------------------------------------------------

TEST_F(BandEngineTest, TemplatesThatCouldBreakForeverEnd) {
  struct Case {
    const char* what;
    std::function<void(BandReport&)> build;
    int max_pages;
  };
  const Case cases[] = {
      {"page header taller than the page",
       [](BandReport& r) {
         r.Add<TovxPageHeader>("PageHeader1", 0, 1100);
         r.Add<TovxMasterData>("MasterData1", 1200, 100)->SetRowCount(5);
       },
       6},
      {"data band that fits no page below its headers",
       [](BandReport& r) {
         r.Add<TovxPageHeader>("PageHeader1", 0, 100);
         r.Add<TovxMasterData>("MasterData1", 150, 900)->SetRowCount(3);
         r.Add<TovxPageFooter>("PageFooter1", 1100, 100);
       },
       3},
      {"page columns 0 with a column break",
       [](BandReport& r) {
         r.page->SetColumns(0);
         r.Add<TovxMasterData>("MasterData1", 150, 400)->SetRowCount(5);
       },
       3},
      {"three columns and one position",
       [](BandReport& r) {
         r.page->SetColumns(3);
         r.page->SetColumnWidth(60);
         r.page->SetColumnPositions({"0"});
         r.Add<TovxMasterData>("MasterData1", 150, 400)->SetRowCount(13);
       },
       3},
  };
  for (const Case& c : cases) {
    BandReport r;
    c.build(r);
    ASSERT_TRUE(r.Prepare()) << c.what;
    EXPECT_LE(r.Pages().Count(), c.max_pages) << c.what;
    EXPECT_GE(r.Pages().Count(), 1) << c.what;
  }
}

TEST_F(BandEngineTest, CountedChildrenStop) {
  for (const bool visible : {true, false}) {
    for (const double height : {0.0, 30.0}) {
      BandReport r;
      auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
      data->SetRowCount(2);
      auto* child = r.Add<TovxChild>("Child1", 200, height);
      child->SetVisible(visible);
      child->SetToNRowsMode(TovxToNRowsMode::rmTillPageEnds);
      data->SetChild(child);
      ASSERT_TRUE(r.Prepare());
      ASSERT_EQ(r.Pages().Count(), 1);
      const int expected = visible && height > 0 ? static_cast<int>((1046.93 - 40) / 30) : 0;
      EXPECT_EQ(r.CountPerPage("TovxChild"), std::vector<int>{expected});
    }
  }
  BandReport r;
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetRowCount(3);
  auto* child = r.Add<TovxChild>("Child1", 200, 10);
  child->SetToNRows(10);
  data->SetChild(child);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxChild"), std::vector<int>{7});
}

TEST_F(BandEngineTest, ColumnsUseTheirPositionsOrEqualWidths) {
  BandReport r;
  r.page->SetColumns(3);
  r.page->SetColumnWidth(60);
  r.page->SetColumnPositions({"0", "oops"});
  r.Add<TovxPageHeader>("PageHeader1", 0, 46.93);
  r.Add<TovxMasterData>("MasterData1", 150, 500)->SetRowCount(4);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 2);
  std::vector<std::pair<double, double>> places;
  for (const TovxComponent* object : r.Pages().GetPage(0)->Objects()) {
    if (object->Name() == "MasterData1") places.emplace_back(object->Left(), object->Top());
  }
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[0], std::make_pair(0.0, 46.93));
  EXPECT_NEAR(places[1].first, 60 * 3.77953, 1e-6);
  EXPECT_NEAR(places[1].second, 46.93, 1e-6);
  EXPECT_NEAR(places[2].first, 120 * 3.77953, 1e-6);
}

// --- the template stays as it was --------------------------------------------------

QByteArray Saved(TovxReport& report) {
  ovx::MemoryStream stream;
  report.SaveToStream(stream);
  return stream.Data();
}

TEST_F(BandEngineTest, AThrowingExpressionLeavesTheTemplateAsItWas) {
  RowsDataSet rows(QStringLiteral("Rows"), Keys("ABC"));
  BandReport r;
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetDataSet(&rows);
  auto* memo = r.AddMemo(*data, "Value", "[key] and [bad]");
  memo->SetStretchMode(TovxStretchMode::smActualHeight);
  auto* below = r.AddMemo(*data, "Below", "[key]");
  below->SetTop(20);
  data->SetHeight(40);
  FunctionEvaluator eval;
  eval.calc = [&](const QString& e) -> QVariant {
    if (e == "key") return QStringLiteral("long text\nover\nlines\nand more lines");
    throw ovx::Error(QString(), QStringLiteral("bad expression %s"), {e});
  };
  r.report->SetEvaluator(&eval);
  const QByteArray before = Saved(*r.report);
  EXPECT_FALSE(r.Prepare());
  EXPECT_FALSE(r.Engine().Running());
  EXPECT_TRUE(r.report->Errors().contains("bad expression bad"))
      << r.report->Errors().join("|").toStdString();
  EXPECT_EQ(Saved(*r.report), before);
  EXPECT_EQ(rows.closes, rows.opens);
  EXPECT_FALSE(rows.Active());
  // Without the bad expression it prepares, stretches and shifts, and the
  // template is again unchanged.
  memo->SetText(QStringLiteral("[key]"));
  const QByteArray good = Saved(*r.report);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(Saved(*r.report), good);
  const TovxComponent* shown = nullptr;
  for (const TovxComponent* object : r.Pages().GetPage(0)->AllObjects()) {
    if (object->Name() == "Below" && !shown) shown = object;
  }
  ASSERT_NE(shown, nullptr);
  EXPECT_GT(shown->Top(), 20);
}

TEST_F(BandEngineTest, AThrowingEventOnAPageObjectLeavesItAsItWas) {
  BandReport r;
  auto* loose = new TovxMemoView(r.page);
  loose->SetName(QStringLiteral("Loose"));
  loose->SetBounds(10, 10, 100, 20);
  loose->SetText(QStringLiteral("[key]"));
  FunctionEvaluator eval;
  eval.calc = [](const QString&) -> QVariant { return QStringLiteral("value"); };
  r.report->SetEvaluator(&eval);
  r.report->on_after_print = [](TovxComponent& c) {
    if (c.Name() == "Loose") throw ovx::Error(QString(), QStringLiteral("stop here"));
  };
  const QByteArray before = Saved(*r.report);
  EXPECT_FALSE(r.Prepare());
  EXPECT_TRUE(r.report->Errors().contains("stop here"));
  EXPECT_EQ(loose->Text().trimmed(), "[key]");
  EXPECT_EQ(Saved(*r.report), before);
  EXPECT_FALSE(r.Engine().Running());
}

TEST_F(BandEngineTest, AnEndlessPageNeverBreaks) {
  BandReport r;
  r.page->SetEndlessHeight(true);
  r.Add<TovxPageHeader>("PageHeader1", 0, 100);
  r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(25);
  r.Add<TovxPageFooter>("PageFooter1", 300, 100);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{25});
}

// --- splitting -----------------------------------------------------------------------

QString NumberedLines(int count) {
  QStringList lines;
  for (int i = 1; i <= count; ++i) lines << QString::number(i);
  return lines.join('\n');
}

// The lines of the memo named `name` on each prepared page, and its tops.
struct MemoParts {
  std::vector<int> lines;
  std::vector<double> tops;
};
MemoParts PartsOf(BandReport& r, const QString& name) {
  MemoParts parts;
  for (int i = 0; i < r.Pages().Count(); ++i) {
    for (const TovxComponent* object : r.Pages().GetPage(i)->AllObjects()) {
      const auto* memo = dynamic_cast<const TovxMemoView*>(object);
      if (!memo || memo->Name() != name) continue;
      parts.lines.push_back(
          static_cast<int>(memo->Text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).size()));
      parts.tops.push_back(memo->Top() + memo->Parent()->Top());
    }
  }
  return parts;
}

TEST_F(BandEngineTest, BandsSplitOverPagesByWholeLines) {
  // The height of one memo line and of the memo's gaps.
  TovxMemoView probe;
  probe.SetBounds(0, 0, 200, 10);
  probe.SetText(QStringLiteral("1"));
  const double one = probe.CalcHeight();
  probe.SetText(QStringLiteral("1\n2"));
  const double line = probe.CalcHeight() - one;
  const double gaps = one - line;
  ASSERT_GT(line, 1);
  // Pages that hold 40 lines and a half of the next.
  const double body = 40.5 * line + gaps;
  const double to_mm = 1 / 3.77953;

  struct Case {
    const char* what;
    int lines;
    bool allow_split;
    double page_height;      // printable, report units
    double header;           // page header height, 0 for none
    std::vector<int> parts;  // lines per page; empty: only all lines, each page some
  };
  const Case cases[] = {
      {"AllowSplit band", 100, true, body, 0, {40, 40, 20}},
      {"band higher than the page without AllowSplit", 100, false, body, 0, {40, 40, 20}},
      {"line taller than the page", 5, true, line / 2, 0, {1, 1, 1, 1, 1}},
      // Nothing fits below the header: every page takes a few lines.
      {"page header taller than the page", 3, true, body, body + 50, {}},
  };
  for (const Case& c : cases) {
    BandReport r;
    r.page->SetTopMargin(0);
    r.page->SetBottomMargin(0);
    r.page->SetPaperHeight(c.page_height * to_mm);
    if (c.header > 0) r.Add<TovxPageHeader>("PageHeader1", 0, c.header);
    auto* band = r.Add<TovxMasterData>("MasterData1", 2000, 20);
    band->SetRowCount(1);
    band->SetStretched(true);
    band->SetAllowSplit(c.allow_split);
    TovxMemoView* memo = r.AddMemo(*band, "Memo1", NumberedLines(c.lines), 20);
    memo->SetStretchMode(TovxStretchMode::smActualHeight);
    const QString text = memo->Text();
    ASSERT_TRUE(r.Prepare()) << c.what;
    const MemoParts parts = PartsOf(r, "Memo1");
    if (c.parts.empty()) {
      int lines = 0;
      for (int count : parts.lines) {
        EXPECT_GT(count, 0) << c.what;
        lines += count;
      }
      EXPECT_EQ(lines, c.lines) << c.what;
    } else {
      EXPECT_EQ(parts.lines, c.parts) << c.what;
    }
    EXPECT_EQ(r.Pages().Count(), static_cast<int>(parts.lines.size())) << c.what;
    // Every continuation opens its page, below the page header.
    for (size_t i = 1; i < parts.tops.size(); ++i) {
      EXPECT_NEAR(parts.tops[i], c.header, 0.01) << c.what;
    }
    // The template is as it was.
    EXPECT_EQ(memo->Text(), text) << c.what;
    EXPECT_EQ(memo->Height(), 20) << c.what;
    EXPECT_EQ(band->Height(), 20) << c.what;
    EXPECT_EQ(band->Objects().size(), 1u) << c.what;
  }
}

TEST_F(BandEngineTest, ABottomAlignedObjectClosesTheLastPart) {
  BandReport r;
  auto* band = r.Add<TovxMasterData>("MasterData1", 0, 40);
  band->SetRowCount(1);
  band->SetAllowSplit(true);
  band->SetStretched(true);
  r.AddMemo(*band, "Memo1", NumberedLines(100), 20)
      ->SetStretchMode(TovxStretchMode::smActualHeight);
  TovxMemoView* end = r.AddMemo(*band, "End", "end", 10);
  end->SetTop(30);
  end->SetAlign(TovxAlign::baBottom);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 2);
  // Only in the last part, at its bottom.
  EXPECT_EQ(r.CountPerPage("TovxMemoView"), (std::vector<int>{1, 2}));
  const TovxComponent* part = nullptr;
  for (const TovxComponent* object : r.Pages().GetPage(1)->Objects()) {
    if (object->Name() == "MasterData1") part = object;
  }
  ASSERT_NE(part, nullptr);
  const std::vector<double> tops = r.Tops(1, "End");
  ASSERT_EQ(tops.size(), 1u);
  EXPECT_NEAR(tops[0] + 10, part->Height(), 1e-6);
  EXPECT_EQ(end->Top(), 30);
}

TEST_F(BandEngineTest, AStretchedViewAlignedToTheBottomStaysAtTheBandsBottom) {
  struct Case {
    const char* what;
    int lines;  // of the memo beside it
    int pages;
  };
  const Case cases[] = {{"band that grows", 5, 1}, {"band split over pages", 100, 2}};
  for (const Case& c : cases) {
    BandReport r;
    auto* band = r.Add<TovxMasterData>("MasterData1", 0, 40);
    band->SetRowCount(1);
    band->SetAllowSplit(true);
    band->SetStretched(true);
    r.AddMemo(*band, "Memo1", NumberedLines(c.lines), 20)
        ->SetStretchMode(TovxStretchMode::smActualHeight);
    // Beside the growing memo, so nothing shifts it; it grows itself.
    TovxMemoView* end = r.AddMemo(*band, "End", NumberedLines(2), 10);
    end->SetBounds(300, 30, 100, 10);
    end->SetAlign(TovxAlign::baBottom);
    end->SetStretchMode(TovxStretchMode::smActualHeight);
    const QByteArray before = Saved(*r.report);
    ASSERT_TRUE(r.Prepare()) << c.what;
    ASSERT_EQ(r.Pages().Count(), c.pages) << c.what;
    // Once, whole, closing the last part.
    const MemoParts ends = PartsOf(r, "End");
    EXPECT_EQ(ends.lines, std::vector<int>{2}) << c.what;
    const TovxComponent* part = nullptr;
    const TovxComponent* shown = nullptr;
    for (const TovxComponent* object : r.Pages().GetPage(c.pages - 1)->AllObjects()) {
      if (object->Name() == "MasterData1") part = object;
      if (object->Name() == "End") shown = object;
    }
    ASSERT_NE(part, nullptr) << c.what;
    ASSERT_NE(shown, nullptr) << c.what;
    EXPECT_GT(shown->Height(), 10) << c.what;
    EXPECT_NEAR(shown->Top() + shown->Height(), part->Height(), 1e-6) << c.what;
    EXPECT_GT(part->Height(), 40) << c.what;
    EXPECT_EQ(Saved(*r.report), before) << c.what;
  }
}

TEST_F(BandEngineTest, ObjectsBelowASplitMemoFollowItsRest) {
  BandReport r;
  auto* band = r.Add<TovxMasterData>("MasterData1", 0, 40);
  band->SetRowCount(1);
  band->SetStretched(true);
  band->SetAllowSplit(true);
  TovxMemoView* memo = r.AddMemo(*band, "Memo1", NumberedLines(100), 20);
  memo->SetStretchMode(TovxStretchMode::smActualHeight);
  TovxMemoView* below = r.AddMemo(*band, "Below", QStringLiteral("end"), 15);
  below->SetTop(25);
  TovxMemoView* beside = r.AddMemo(*band, "Beside", QStringLiteral("x"), 15);
  beside->SetBounds(300, 0, 100, 15);
  ASSERT_TRUE(r.Prepare());
  const MemoParts parts = PartsOf(r, "Memo1");
  ASSERT_EQ(parts.lines.size(), 2u);
  EXPECT_EQ(parts.lines[0] + parts.lines[1], 100);
  // The memo beside the split one stays in the first part; the one below
  // follows the rest, 5 units under it.
  EXPECT_EQ(PartsOf(r, "Beside").lines, std::vector<int>{1});
  const MemoParts end = PartsOf(r, "Below");
  ASSERT_EQ(end.lines, std::vector<int>{1});
  TovxMemoView rest;
  rest.SetBounds(0, 0, 200, 10);
  rest.SetText(NumberedLines(parts.lines[1]));
  EXPECT_NEAR(end.tops[0], rest.CalcHeight() + 5, 0.01);
  EXPECT_EQ(r.CountPerPage("TovxMemoView"), (std::vector<int>{2, 2}));
}

TEST_F(BandEngineTest, AThrowingFooterBetweenPartsLeavesTheSplitBandWhole) {
  BandReport r;
  auto* band = r.Add<TovxMasterData>("MasterData1", 100, 40);
  band->SetRowCount(1);
  band->SetStretched(true);
  band->SetAllowSplit(true);
  r.AddMemo(*band, "Memo1", NumberedLines(100), 20)
      ->SetStretchMode(TovxStretchMode::smActualHeight);
  r.AddMemo(*band, "Below", "end", 15)->SetTop(25);
  auto* footer = r.Add<TovxPageFooter>("PageFooter1", 900, 30);
  r.AddMemo(*footer, "Page", "[bad]");
  FunctionEvaluator eval;
  r.report->SetEvaluator(&eval);  // throws for every expression
  const QByteArray before = Saved(*r.report);
  EXPECT_FALSE(r.Prepare());
  EXPECT_EQ(Saved(*r.report), before);
  EXPECT_EQ(band->Objects().size(), 2u);
}

// --- keeping -------------------------------------------------------------------------

TEST_F(BandEngineTest, KeptBandsMoveTogetherUnlessTheyFitNoPage) {
  // Printable height 1046.93: a title of `title` and rows of 100.
  struct Case {
    const char* what;
    double title;
    int rows;
    std::function<void(BandReport&, TovxMasterData&)> build;
    std::vector<QStringList> pages;  // first two bands of each page
  };
  const auto header = [](BandReport& r, TovxMasterData& data, bool keep) {
    r.Add<TovxHeader>("Header1", 50, 50);
    data.SetKeepHeader(keep);
  };
  const auto footer = [](BandReport& r, TovxMasterData& data, bool keep) {
    r.Add<TovxFooter>("Footer1", 500, 100);
    data.SetKeepFooter(keep);
  };
  const QString T = "ReportTitle1", H = "Header1", D = "MasterData1", F = "Footer1";
  const Case cases[] = {
      {"header alone at the page end",
       900,
       2,
       [&](BandReport& r, TovxMasterData& d) { header(r, d, false); },
       {{T, H}, {D, D}}},
      {"KeepHeader takes the header along",
       900,
       2,
       [&](BandReport& r, TovxMasterData& d) { header(r, d, true); },
       {{T}, {H, D}}},
      {"footer alone on the next page",
       700,
       3,
       [&](BandReport& r, TovxMasterData& d) { footer(r, d, false); },
       {{T, D}, {F}}},
      {"KeepFooter takes the last row along",
       700,
       3,
       [&](BandReport& r, TovxMasterData& d) { footer(r, d, true); },
       {{T, D}, {D, F}}},
      // The group with its second row would not fit a whole page.
      {"KeepTogether too big for a page breaks as usual",
       100,
       3,
       [&](BandReport& r, TovxMasterData& d) {
         d.SetHeight(500);
         auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 60, 50);
         group->SetKeepTogether(true);
         group->SetCondition(QStringLiteral("same"));
       },
       {{T, "GroupHeader1"}, {D, D}}},
      {"KeepTogether moves a group that fits",
       900,
       3,
       [&](BandReport& r, TovxMasterData&) {
         auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 60, 50);
         group->SetKeepTogether(true);
         group->SetCondition(QStringLiteral("same"));
       },
       {{T}, {"GroupHeader1", D}}},
  };
  for (const Case& c : cases) {
    BandReport r;
    r.Add<TovxReportTitle>(T, 0, c.title);
    auto* data = r.Add<TovxMasterData>(D, 200, 100);
    data->SetRowCount(c.rows);
    c.build(r, *data);
    ASSERT_TRUE(r.Prepare()) << c.what;
    ASSERT_EQ(r.Pages().Count(), static_cast<int>(c.pages.size())) << c.what;
    for (size_t i = 0; i < c.pages.size(); ++i) {
      EXPECT_EQ(r.Bands(static_cast<int>(i)).mid(0, 2).join(',').toStdString(),
                c.pages[i].join(',').toStdString())
          << c.what << " page " << i;
    }
  }
}

TEST_F(BandEngineTest, AKeptGroupTakesItsOutlineEntryAlong) {
  BandReport r;
  r.Add<TovxReportTitle>("ReportTitle1", 0, 900);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 100, 50);
  group->SetCondition(QStringLiteral("same"));
  group->SetOutlineText(QStringLiteral("G"));
  group->SetKeepTogether(true);
  r.Add<TovxMasterData>("MasterData1", 200, 100)->SetRowCount(2);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Bands(0), QStringList{"ReportTitle1"});
  EXPECT_EQ(r.Bands(1), (QStringList{"GroupHeader1", "MasterData1", "MasterData1"}));
  TovxOutline& outline = r.Pages().Outline();
  outline.LevelRoot();
  ASSERT_EQ(outline.Count(), 1);
  QString text;
  int page = -1;
  int top = -1;
  outline.GetItem(0, text, page, top);
  EXPECT_EQ(text, "G");
  EXPECT_EQ(page, 1);
  EXPECT_EQ(top, 0);
}

// Text, page and top of every anchor of the prepared report.
std::vector<std::tuple<QString, int, int>> Anchors(BandReport& r) {
  ovx::MemoryStream stream;
  r.Pages().SaveToStream(stream);
  const QString xml = QString::fromUtf8(stream.Data());
  const qsizetype from = xml.indexOf(QStringLiteral("<anchors"));
  const qsizetype to = xml.indexOf(QStringLiteral("</anchors>"));
  std::vector<std::tuple<QString, int, int>> anchors;
  if (from < 0 || to < from) return anchors;
  static const QRegularExpression item(
      QStringLiteral("<item text=\"([^\"]*)\" page=\"(-?\\d+)\" top=\"(-?\\d+)\""));
  for (auto m = item.globalMatch(xml.mid(from, to - from)); m.hasNext();) {
    const QRegularExpressionMatch one = m.next();
    anchors.emplace_back(one.captured(1), one.captured(2).toInt(), one.captured(3).toInt());
  }
  return anchors;
}

// Page and top of the outline's top-level items.
std::vector<std::pair<int, int>> OutlinePlaces(BandReport& r) {
  TovxOutline& outline = r.Pages().Outline();
  outline.LevelRoot();
  std::vector<std::pair<int, int>> places;
  for (int i = 0; i < outline.Count(); ++i) {
    QString text;
    int page = -1, top = -1;
    outline.GetItem(i, text, page, top);
    places.emplace_back(page, top);
  }
  return places;
}

TEST_F(BandEngineTest, AKeptGroupTakesItsAnchorsAndOutlineToTheNextColumn) {
  BandReport r;
  r.page->SetColumns(2);
  // Nine rows fill column 1 to 900, where the kept group starts; its first
  // row does not fit there, so header and rows open column 2.
  r.Add<TovxMasterData>("MasterData1", 100, 100)->SetRowCount(9);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 300, 50);
  group->SetCondition(QStringLiteral("same"));
  group->SetOutlineText(QStringLiteral("G"));
  group->SetKeepTogether(true);
  r.Add<TovxMasterData>("MasterData2", 400, 100)->SetRowCount(2);
  int rows = 0;
  r.report->on_before_print = [&](TovxComponent& object) {
    if (object.Name() == "MasterData2") r.Engine().AddAnchor(QString("row%1").arg(++rows));
  };
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 1);
  using A = std::tuple<QString, int, int>;
  EXPECT_EQ(Anchors(r), (std::vector<A>{{"row1", 0, 50}, {"row2", 0, 150}}));
  EXPECT_EQ(OutlinePlaces(r), (std::vector<std::pair<int, int>>{{0, 0}}));
}

// --- data bands of several columns ---------------------------------------------------

TEST_F(BandEngineTest, RecordsRunSideBySideInDataColumns) {
  struct Case {
    const char* what;
    double title;  // 0: none
    int rows;
    std::vector<std::vector<std::pair<double, double>>> pages;  // left, top per record
  };
  const Case cases[] = {
      {"seven records in three columns",
       0,
       7,
       {{{0, 0}, {60, 0}, {120, 0}, {0, 20}, {60, 20}, {120, 20}, {0, 40}}}},
      // The second row would end 3.07 below the page: it opens the next.
      {"a row past the page's end moves whole",
       1010,
       5,
       {{{0, 1010}, {60, 1010}, {120, 1010}}, {{0, 0}, {60, 0}}}},
  };
  for (const Case& c : cases) {
    BandReport r;
    if (c.title > 0) r.Add<TovxReportTitle>("ReportTitle1", 0, c.title);
    auto* data = r.Add<TovxMasterData>("MasterData1", 2000, 20);
    data->SetRowCount(c.rows);
    data->SetColumns(3);
    data->SetColumnWidth(50);
    data->SetColumnGap(10);
    ASSERT_TRUE(r.Prepare()) << c.what;
    ASSERT_EQ(r.Pages().Count(), static_cast<int>(c.pages.size())) << c.what;
    for (size_t i = 0; i < c.pages.size(); ++i) {
      std::vector<std::pair<double, double>> places;
      for (const TovxComponent* object : r.Pages().GetPage(static_cast<int>(i))->Objects()) {
        if (object->Name() == "MasterData1") places.emplace_back(object->Left(), object->Top());
      }
      EXPECT_EQ(places, c.pages[i]) << c.what << " page " << i;
    }
    EXPECT_EQ(data->Left(), 0) << c.what;
  }
}

TEST_F(BandEngineTest, DetailsOfARecordInDataColumnsStayInItsColumn) {
  using P = std::pair<double, double>;
  struct Case {
    const char* what;
    double title;  // 0: none
    std::vector<std::vector<P>> records, details;
  };
  const Case cases[] = {
      // Each record with its two details below it; the next record goes
      // back up to the row's top.
      {"four records in three columns",
       0,
       {{{0, 0}, {60, 0}, {120, 0}, {0, 40}}},
       {{{0, 20}, {0, 30}, {60, 20}, {60, 30}, {120, 20}, {120, 30}, {0, 60}, {0, 70}}}},
      // The fourth record ends 3.07 past the page: its row moves to the
      // next page before its details print.
      {"a record past the page's end moves with its row first",
       990,
       {{{0, 990}, {60, 990}, {120, 990}}, {{0, 0}}},
       {{{0, 1010}, {0, 1020}, {60, 1010}, {60, 1020}, {120, 1010}, {120, 1020}},
        {{0, 20}, {0, 30}}}},
      // The first record's second detail goes to the next page: the row
      // ends with it, and the next record opens a row below it.
      {"details over a break end the row",
       1010,
       {{{0, 1010}}, {{0, 10}, {60, 10}, {120, 10}}},
       {{{0, 1030}}, {{0, 0}, {0, 30}, {0, 40}, {60, 30}, {60, 40}, {120, 30}, {120, 40}}}},
  };
  for (const Case& c : cases) {
    BandReport r;
    if (c.title > 0) r.Add<TovxReportTitle>("ReportTitle1", 0, c.title);
    auto* data = r.Add<TovxMasterData>("MasterData1", 2000, 20);
    data->SetRowCount(4);
    data->SetColumns(3);
    data->SetColumnWidth(50);
    data->SetColumnGap(10);
    auto* detail = r.Add<TovxDetailData>("DetailData1", 2100, 10);
    detail->SetRowCount(2);
    detail->SetWidth(50);
    ASSERT_TRUE(r.Prepare()) << c.what;
    const auto places = [&](const QString& name) {
      std::vector<std::vector<P>> pages;
      for (int i = 0; i < r.Pages().Count(); ++i) {
        std::vector<P> page;
        for (const TovxComponent* object : r.Pages().GetPage(i)->Objects()) {
          if (object->Name() == name) page.emplace_back(object->Left(), object->Top());
        }
        pages.push_back(page);
      }
      return pages;
    };
    EXPECT_EQ(places("MasterData1"), c.records) << c.what;
    EXPECT_EQ(places("DetailData1"), c.details) << c.what;
    EXPECT_EQ(data->Left(), 0) << c.what;
  }
}

TEST_F(BandEngineTest, OutlineEntriesOfDataColumnsStandAtTheirRow) {
  BandReport r;
  auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
  data->SetRowCount(7);
  data->SetColumns(3);
  data->SetColumnWidth(50);
  data->SetColumnGap(10);
  data->SetOutlineText(QStringLiteral("row"));
  ASSERT_TRUE(r.Prepare());
  TovxOutline& outline = r.Pages().Outline();
  outline.LevelRoot();
  std::vector<int> tops;
  for (int i = 0; i < outline.Count(); ++i) {
    QString text;
    int page = -1, top = -1;
    outline.GetItem(i, text, page, top);
    tops.push_back(top);
  }
  EXPECT_EQ(tops, (std::vector<int>{0, 0, 0, 20, 20, 20, 40}));
}

TEST_F(BandEngineTest, ARowMovedOnTakesItsOutlineEntriesAndAnchors) {
  // The second row would end below the page: it moves whole to the next.
  BandReport r;
  r.Add<TovxReportTitle>("ReportTitle1", 0, 1010);
  auto* data = r.Add<TovxMasterData>("MasterData1", 2000, 20);
  data->SetRowCount(5);
  data->SetColumns(3);
  data->SetColumnWidth(50);
  data->SetColumnGap(10);
  data->SetOutlineText(QStringLiteral("row"));
  int rows = 0;
  r.report->on_before_print = [&](TovxComponent& object) {
    if (object.Name() == "MasterData1") r.Engine().AddAnchor(QString("row%1").arg(++rows));
  };
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 2);
  EXPECT_EQ(OutlinePlaces(r),
            (std::vector<std::pair<int, int>>{{0, 1010}, {0, 1010}, {0, 1010}, {1, 0}, {1, 0}}));
  const auto anchors = Anchors(r);
  ASSERT_EQ(anchors.size(), 5u);
  EXPECT_EQ(std::get<1>(anchors[3]), 1);
  EXPECT_EQ(std::get<2>(anchors[3]), 0);
  EXPECT_EQ(std::get<1>(anchors[4]), 1);
  EXPECT_EQ(std::get<2>(anchors[4]), 0);
}

TEST_F(BandEngineTest, OnlyDataSetsTheRunOpenedAreClosed) {
  RowsDataSet mine(QStringLiteral("Mine"), Keys("AB"));
  RowsDataSet theirs(QStringLiteral("Theirs"), Keys("AB"));
  theirs.Open();
  BandReport r;
  r.Add<TovxMasterData>("MasterData1", 100, 20)->SetDataSet(&mine);
  r.Add<TovxMasterData>("MasterData2", 200, 20)->SetDataSet(&theirs);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{4});
  EXPECT_EQ(mine.opens, 1);
  EXPECT_EQ(mine.closes, 1);
  EXPECT_TRUE(theirs.Active());
  EXPECT_EQ(theirs.closes, 0);
}

TEST_F(BandEngineTest, DestroyingAReportWaitsForItsRunOnAnotherThread) {
  auto r = std::make_unique<BandReport>();
  r->report->EngineOptions().SetEnableThreadSafe(true);
  r->Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(10000000);
  std::atomic<int> shown{0};
  r->report->on_before_print = [&](TovxComponent&) { ++shown; };
  TovxReport* report = r->report.get();
  std::thread worker([report] { (void)report->PrepareReport(); });
  while (shown.load() < 100) std::this_thread::yield();
  r->report.reset();  // stops the run and waits for it
  const int at_end = shown.load();
  worker.join();
  EXPECT_EQ(shown.load(), at_end);
  EXPECT_LT(at_end, 10000000);
}

// --- subreports ------------------------------------------------------------------

// A second report page for subreports, with one data band of `rows` rows
// of `height` holding a memo named `memo`.
TovxReportPage* SubreportPage(BandReport& r, const QString& name, int rows, double height,
                              const QString& memo) {
  auto* page = new TovxReportPage(r.report.get());
  page->SetName(name);
  auto* band = new TovxMasterData(page);
  band->SetName(name + "Data");
  band->SetBounds(0, 100, 300, height);
  band->SetRowCount(rows);
  r.AddMemo(*band, memo, memo, height);
  return page;
}

TovxSubreport* AddSubreport(TovxComponent& parent, const QString& name, TovxReportPage* page,
                            double left, double top, bool on_parent) {
  auto* subreport = new TovxSubreport(&parent);
  subreport->SetName(name);
  subreport->SetBounds(left, top, 200, 30);
  subreport->SetPage(page);
  subreport->SetPrintOnParent(on_parent);
  return subreport;
}

// The left and top on the page of every object named `name`, per page.
std::vector<std::vector<std::pair<double, double>>> Places(BandReport& r, const QString& name) {
  std::vector<std::vector<std::pair<double, double>>> pages;
  for (int i = 0; i < r.Pages().Count(); ++i) {
    std::vector<std::pair<double, double>> places;
    for (const TovxComponent* object : r.Pages().GetPage(i)->AllObjects()) {
      if (object->Name() != name) continue;
      const TovxComponent* parent = object->Parent();
      const bool in_band = dynamic_cast<const TovxBand*>(parent);
      places.emplace_back(object->Left() + (in_band ? parent->Left() : 0),
                          object->Top() + (in_band ? parent->Top() : 0));
    }
    pages.push_back(places);
  }
  return pages;
}

TEST_F(BandEngineTest, ASubreportOnItsParentStretchesTheBand) {
  BandReport r;
  auto* band = r.Add<TovxMasterData>("MasterData1", 100, 40);
  band->SetRowCount(2);
  band->SetStretched(true);
  TovxReportPage* rows = SubreportPage(r, "Page2", 3, 20, "Row");
  AddSubreport(*band, "Subreport1", rows, 10, 5, true);
  const QByteArray before = Saved(*r.report);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 1);
  // Each record's band holds the three rows at their places inside it and
  // is as high as they reach; the placeholder itself is not printed.
  std::vector<double> heights;
  for (const TovxComponent* object : r.Pages().GetPage(0)->Objects()) {
    if (object->Name() == "MasterData1") heights.push_back(object->Height());
  }
  EXPECT_EQ(heights, (std::vector<double>{65, 65}));
  using P = std::pair<double, double>;
  EXPECT_EQ(Places(r, "Row")[0],
            (std::vector<P>{{10, 5}, {10, 25}, {10, 45}, {10, 70}, {10, 90}, {10, 110}}));
  EXPECT_EQ(r.CountPerPage("TovxSubreport"), std::vector<int>{0});
  // Page2 runs only through the subreport; the template is as it was.
  EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{2});
  EXPECT_EQ(Saved(*r.report), before);
}

TEST_F(BandEngineTest, SubreportsBesideTheBandGoOnAtTheFurthestPosition) {
  BandReport r;
  auto* band = r.Add<TovxMasterData>("MasterData1", 100, 50);
  band->SetRowCount(2);
  r.Add<TovxPageHeader>("PageHeader1", 0, 0);
  r.Add<TovxPageFooter>("PageFooter1", 900, 0);
  // Rows of 30, 34 to a page: 50 of them, and 40 beside them at x 300.
  AddSubreport(*band, "Long", SubreportPage(r, "Page2", 50, 30, "Row2"), 0, 0, false);
  AddSubreport(*band, "Short", SubreportPage(r, "Page3", 40, 30, "Row3"), 300, 0, false);
  ASSERT_TRUE(r.Prepare());
  using P = std::pair<double, double>;
  // Record 1 on page 1: 34 + 16 long rows, 34 + 6 short ones; record 2
  // below the longer, on page 2 at 480: 18 + 32 long rows, 18 + 22 short.
  const auto bands = Places(r, "MasterData1");
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0], std::vector<P>{P(0, 0)});
  EXPECT_EQ(bands[1], std::vector<P>{P(0, 480)});
  EXPECT_EQ(r.CountPerPage("TovxMasterData"),
            (std::vector<int>{1 + 34 + 34, 16 + 6 + 1 + 18 + 18, 32 + 22}));
  const auto long_rows = Places(r, "Row2");
  EXPECT_EQ(long_rows[1][0], P(0, 0));
  EXPECT_EQ(long_rows[1][16], P(0, 480));
  EXPECT_EQ(long_rows[2].back(), P(0, 31 * 30));
  const auto short_rows = Places(r, "Row3");
  EXPECT_EQ(short_rows[0][0], P(300, 0));
  EXPECT_EQ(short_rows[1][0], P(300, 0));
  EXPECT_EQ(short_rows[1][6], P(300, 480));
  EXPECT_EQ(short_rows[2].back(), P(300, 21 * 30));
  // Pages reached again keep one header and one footer each.
  EXPECT_EQ(r.CountPerPage("TovxPageHeader"), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(r.CountPerPage("TovxPageFooter"), (std::vector<int>{1, 1, 1}));
}

TEST_F(BandEngineTest, ASubreportOfARunningPageIsRefused) {
  struct Case {
    const char* what;
    bool pair;  // Page1 -> Page2 -> Page1, else Page1 -> Page1
    bool on_parent;
    bool on_page = false;  // the first subreport lies on the page, not the band
  };
  const Case cases[] = {{"own page beside", false, false},
                        {"own page on parent", false, true},
                        {"two pages showing each other", true, false},
                        {"two pages on parent", true, true},
                        {"own page from the page", false, false, true},
                        {"own page from the page on parent", false, true, true},
                        {"from the page through another page", true, false, true}};
  for (const Case& c : cases) {
    BandReport r;
    auto* band = r.Add<TovxMasterData>("MasterData1", 100, 40);
    band->SetRowCount(3);
    r.AddMemo(*band, "Row", "Row");
    QString refused = "Subreport1";
    if (c.pair) {
      TovxReportPage* other = SubreportPage(r, "Page2", 2, 20, "Row2");
      AddSubreport(c.on_page ? static_cast<TovxComponent&>(*r.page) : *band, "Subreport1", other, 0,
                   20, c.on_parent);
      AddSubreport(*other->FindBand<TovxMasterData>(), "Subreport2", r.page, 0, 0, c.on_parent);
      refused = "Subreport2";
    } else {
      AddSubreport(c.on_page ? static_cast<TovxComponent&>(*r.page) : *band, "Subreport1", r.page,
                   0, 20, c.on_parent);
    }
    const QByteArray before = Saved(*r.report);
    ASSERT_TRUE(r.Engine().Run(true, r.page)) << c.what;
    EXPECT_EQ(r.CountPerPage("TovxMemoView").size(), 1u) << c.what;
    // Reported once, with the name of the subreport that was not run.
    const QString error = QStringLiteral("不允许循环引用子区段 ") + refused;
    EXPECT_EQ(r.report->Errors().filter(error).size(), 1)
        << c.what << ": " << r.report->Errors().join("|").toStdString();
    EXPECT_EQ(Saved(*r.report), before) << c.what;
  }
}

TEST_F(BandEngineTest, SubreportsOnThePageRunTheirPagesInPlace) {
  for (const bool on_parent : {false, true}) {
    SCOPED_TRACE(on_parent ? "printed on its parent" : "beside");
    BandReport r;
    r.Add<TovxMasterData>("MasterData1", 100, 40)->SetRowCount(1);
    TovxReportPage* rows = SubreportPage(r, "Page2", 3, 20, "Row");
    // A view on the subreport's page, outside its bands.
    auto* note = new TovxMemoView(rows);
    note->SetName("Note");
    note->SetBounds(5, 7, 100, 10);
    note->SetText("note");
    AddSubreport(*r.page, "Subreport1", rows, 300, 50, on_parent);
    const QByteArray before = Saved(*r.report);
    ASSERT_TRUE(r.Prepare());
    ASSERT_EQ(r.Pages().Count(), 1);
    // The placeholders print what their pages make, never themselves.
    EXPECT_EQ(r.CountPerPage("TovxSubreport"), std::vector<int>{0});
    using P = std::pair<double, double>;
    EXPECT_EQ(Places(r, "Row")[0], (std::vector<P>{{300, 50}, {300, 70}, {300, 90}}));
    EXPECT_EQ(Places(r, "Note")[0], std::vector<P>{P(305, 57)});
    // Standing where it stayed on the page, it takes no space.
    EXPECT_EQ(Places(r, "MasterData1")[0], std::vector<P>{P(0, 0)});
    EXPECT_EQ(Saved(*r.report), before);
  }
}

TEST_F(BandEngineTest, APageSubreportThatRunsOnIsFollowedByThePagesBands) {
  BandReport r;
  r.Add<TovxMasterData>("MasterData1", 100, 40)->SetRowCount(1);
  // 52 rows of 20 fill a page, 8 more run onto the next.
  AddSubreport(*r.page, "Subreport1", SubreportPage(r, "Page2", 60, 20, "Row"), 0, 0, false);
  ASSERT_TRUE(r.Prepare());
  ASSERT_EQ(r.Pages().Count(), 2);
  using P = std::pair<double, double>;
  EXPECT_EQ(Places(r, "Row")[1].size(), 8u);
  EXPECT_EQ(Places(r, "MasterData1")[1], std::vector<P>{P(0, 160)});
}

// --- vertical bands --------------------------------------------------------------

TEST_F(BandEngineTest, VerticalBandsFillCellsAcrossPages) {
  // PageWidth 718.11: seven cells of 100 across, then a page across.
  for (const int rows : {1, 2}) {
    BandReport r;
    auto* master = r.Add<TovxMasterData>("MasterData1", 100, 20);
    master->SetRowCount(rows);
    master->SetAllowSplit(true);
    r.AddMemo(*master, "Cell", "Cell", 20)->SetWidth(100);
    auto* across = r.Add<TovxMasterData>("Across", 0, 200);
    across->SetVertical(true);
    across->SetBounds(0, 0, 100, 200);
    across->SetRowCount(12);
    const QByteArray before = Saved(*r.report);
    ASSERT_TRUE(r.Prepare()) << rows;
    EXPECT_NEAR(r.Engine().PageWidth(), 718.11, 0.005);
    ASSERT_EQ(r.Pages().Count(), 2) << rows;
    using P = std::pair<double, double>;
    std::vector<P> first, second;
    for (int row = 0; row < rows; ++row) {
      for (int i = 0; i < 7; ++i) first.emplace_back(100 * i, 20 * row);
      for (int i = 0; i < 5; ++i) second.emplace_back(100 * i, 20 * row);
    }
    const auto cells = Places(r, "Cell");
    EXPECT_EQ(cells[0], first) << rows;
    EXPECT_EQ(cells[1], second) << rows;
    // The cell, the master band's AllowSplit and the rest of the template
    // are as they were.
    EXPECT_EQ(Saved(*r.report), before) << rows;
    EXPECT_EQ(r.Pages().GetAddMode(), TovxPreviewPages::AddMode::kAppend);
  }
}

TEST_F(BandEngineTest, AThrowingFooterAcrossLeavesTheMasterBandAsItWas) {
  BandReport r;
  auto* master = r.Add<TovxMasterData>("MasterData1", 100, 20);
  master->SetRowCount(1);
  master->SetAllowSplit(true);
  r.AddMemo(*master, "Cell", "[x]", 20)->SetWidth(100);
  auto* across = r.Add<TovxMasterData>("Across", 0, 200);
  across->SetVertical(true);
  across->SetBounds(0, 0, 100, 200);
  across->SetRowCount(12);
  // The footer of the page across throws while the master band is stored.
  auto* footer = r.Add<TovxPageFooter>("PageFooter1", 900, 30);
  r.AddMemo(*footer, "Page", "[bad]");
  FunctionEvaluator eval;
  eval.calc = [](const QString& expression) -> QVariant {
    if (expression == "x") return QStringLiteral("v");
    throw ovx::Error(QString(), QStringLiteral("bad expression %s"), {expression});
  };
  r.report->SetEvaluator(&eval);
  const QByteArray before = Saved(*r.report);
  EXPECT_FALSE(r.Prepare());
  EXPECT_TRUE(master->AllowSplit());
  EXPECT_EQ(r.Pages().GetAddMode(), TovxPreviewPages::AddMode::kAppend);
  EXPECT_EQ(Saved(*r.report), before);
  EXPECT_EQ(master->Objects().size(), 1u);
}

TEST_F(BandEngineTest, VerticalGroupsFrameTheirRecordsAcross) {
  struct Case {
    const char* what;
    QString keys;
    bool start_new_page;
    // Left of each cell per page.
    std::vector<std::vector<double>> heads, cells, foots;
  };
  const Case cases[] = {
      // A 50, A 150, footer; B 350 to 550, footer; C opens a page across
      // (its single-record footer hidden).
      {"groups of two, three and one",
       "AABBBC",
       false,
       {{0, 300}, {0}},
       {{50, 150, 350, 450, 550}, {50}},
       {{250, 650}, {}}},
      // The group's header is shown again on the page across its seventh
      // record opens.
      {"one group over two pages across",
       "AAAAAAA",
       false,
       {{0}, {0}},
       {{50, 150, 250, 350, 450, 550}, {50}},
       {{}, {150}}},
      {"each group opens a page across",
       "AABBC",
       true,
       {{0}, {0}, {0}},
       {{50, 150}, {50, 150}, {50}},
       {{250}, {250}, {}}},
  };
  for (const Case& c : cases) {
    RowsDataSet columns(QStringLiteral("Columns"), Keys(c.keys));
    BandReport r;
    FunctionEvaluator eval;
    eval.calc = [&](const QString& e) -> QVariant {
      if (e == "key") return columns.Value(QStringLiteral("key"));
      return e;
    };
    r.report->SetEvaluator(&eval);
    auto* master = r.Add<TovxMasterData>("MasterData1", 100, 20);
    master->SetRowCount(1);
    r.AddMemo(*master, "Head", "[key]", 20)->SetWidth(50);
    auto* cell = r.AddMemo(*master, "Cell", "[key]", 20);
    cell->SetBounds(50, 0, 100, 20);
    auto* foot = r.AddMemo(*master, "Foot", "end", 20);
    foot->SetBounds(150, 0, 50, 20);
    auto* header = r.Add<TovxGroupHeader>("VHeader", 0, 200);
    header->SetVertical(true);
    header->SetBounds(0, 0, 50, 200);
    header->SetCondition(QStringLiteral("key"));
    header->SetReprintOnNewPage(true);
    header->SetStartNewPage(c.start_new_page);
    auto* across = r.Add<TovxMasterData>("Across", 0, 200);
    across->SetVertical(true);
    across->SetBounds(50, 0, 100, 200);
    across->SetDataSet(&columns);
    auto* footer = r.Add<TovxGroupFooter>("VFooter", 0, 200);
    footer->SetVertical(true);
    footer->SetBounds(150, 0, 50, 200);
    footer->SetHideIfSingleDataRecord(true);
    const QByteArray before = Saved(*r.report);
    ASSERT_TRUE(r.Prepare()) << c.what << r.report->Errors().join("|").toStdString();
    ASSERT_EQ(r.Pages().Count(), static_cast<int>(c.cells.size())) << c.what;
    const auto lefts = [&](const QString& name) {
      std::vector<std::vector<double>> pages;
      for (const auto& page : Places(r, name)) {
        std::vector<double> xs;
        for (const auto& [x, y] : page) xs.push_back(x);
        pages.push_back(xs);
      }
      return pages;
    };
    EXPECT_EQ(lefts("Head"), c.heads) << c.what;
    EXPECT_EQ(lefts("Cell"), c.cells) << c.what;
    EXPECT_EQ(lefts("Foot"), c.foots) << c.what;
    EXPECT_EQ(Saved(*r.report), before) << c.what;
  }
}

TEST_F(BandEngineTest, AVerticalBandStartsAPageAcrossOnAnEndlessWidthPage) {
  // 12 records of 100 across: an endless-width page grows to hold them all
  // (7 fit 718.11); with StartNewPage each record opens a page across of
  // the printable width instead.
  for (const bool start_new : {false, true}) {
    BandReport r;
    r.page->SetEndlessWidth(true);
    auto* master = r.Add<TovxMasterData>("MasterData1", 100, 20);
    master->SetRowCount(1);
    r.AddMemo(*master, "Cell", "Cell", 20)->SetWidth(100);
    auto* across = r.Add<TovxMasterData>("Across", 0, 200);
    across->SetVertical(true);
    across->SetBounds(0, 0, 100, 200);
    across->SetRowCount(12);
    across->SetStartNewPage(start_new);
    ASSERT_TRUE(r.Prepare()) << start_new;
    std::vector<std::vector<std::pair<double, double>>> expected;
    if (start_new) {
      expected.assign(12, {{0, 0}});
    } else {
      expected.resize(1);
      for (int i = 0; i < 12; ++i) expected[0].emplace_back(100 * i, 0);
    }
    EXPECT_EQ(Places(r, "Cell"), expected) << start_new;
    EXPECT_NEAR(r.Engine().PageWidth(), start_new ? 718.11 : 1218.11, 0.005) << start_new;
  }
}

// --- shifting --------------------------------------------------------------------

TEST(ShiftEngineTest, ObjectsMoveBelowGrownOnes) {
  using ovx::ShiftItem;
  const auto items = [](TovxShiftMode c_mode, TovxShiftMode e_mode = TovxShiftMode::smAlways) {
    return std::vector<ShiftItem>{
        {0, 0, 100, 20, 30, TovxShiftMode::smAlways},  // A grows to 50
        {0, 30, 100, 10, 0, TovxShiftMode::smAlways},  // B under A
        {150, 30, 50, 10, 0, c_mode},                  // C beside A
        {0, 50, 100, 10, 0, e_mode},                   // E under B
    };
  };
  struct Case {
    TovxShiftEngine kind;
    TovxShiftMode c_mode;
    TovxShiftMode e_mode;
    std::vector<double> shifts;
  };
  using E = TovxShiftEngine;
  using M = TovxShiftMode;
  const Case cases[] = {
      {E::seTree, M::smAlways, M::smAlways, {0, 30, 0, 30}},
      {E::seLinear, M::smAlways, M::smAlways, {0, 30, 30, 30}},
      {E::seLinear, M::smWhenOverlapped, M::smAlways, {0, 30, 0, 30}},
      {E::seTree, M::smAlways, M::smDontShift, {0, 30, 0, 0}},
      {E::seLinear, M::smAlways, M::smDontShift, {0, 30, 30, 0}},
      {E::seDontShift, M::smAlways, M::smAlways, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ovx::ComputeShifts(c.kind, items(c.c_mode, c.e_mode)), c.shifts)
        << static_cast<int>(c.kind);
  }
  // A child under two parents moves once, by the larger growth.
  const std::vector<ShiftItem> two{{0, 0, 50, 20, 10, M::smAlways},
                                   {60, 0, 50, 20, 30, M::smAlways},
                                   {0, 30, 110, 10, 0, M::smAlways}};
  EXPECT_EQ(ovx::ComputeShifts(E::seTree, two), (std::vector<double>{0, 0, 30}));
  EXPECT_EQ(ovx::ComputeShifts(E::seLinear, two), (std::vector<double>{0, 0, 30}));
}

}  // namespace

// The preview finds a click on a drill-down header by the name the prepared
// header carries, in the store and in a file saved from it.
TEST_F(BandEngineTest, PreparedDrillDownHeadersNameTheirGroups) {
  RowsDataSet rows(QStringLiteral("Rows"), Keys("AAABBB"));
  BandReport r;
  FunctionEvaluator eval;
  eval.calc = [&](const QString& e) -> QVariant {
    if (e == "key") return rows.Value(QStringLiteral("key"));
    return e;
  };
  r.report->SetEvaluator(&eval);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
  group->SetCondition(QStringLiteral("key"));
  group->SetDrillDown(true);
  r.AddMemo(*group, QStringLiteral("Title"), QStringLiteral("key"));
  r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
  ASSERT_TRUE(r.Prepare());
  r.Engine().ToggleDrillGroup(QStringLiteral("GroupHeader1.A"));
  ASSERT_TRUE(r.Prepare());
  EXPECT_TRUE(group->DrillName().isEmpty());

  // Band tops on the page: header A at 0, its three rows, header B at 80.
  const auto click = [](TovxPreviewPages& pages, double top) {
    pages.ClearCache();
    const double x = (10 * ov01cm + 5) * 2;
    const double y = (10 * ov01cm + top + 5) * 2;
    return pages.HandleMouse(0, TovxPreviewPages::MouseEvent::kClick, x, y, 2.0).drill_name;
  };
  struct Case {
    double top;
    QString name;
  };
  const std::vector<Case> cases = {{0, QStringLiteral("GroupHeader1.A")},
                                   {20, QString()},
                                   {80, QStringLiteral("GroupHeader1.B")},
                                   {110, QString()}};
  ovx::MemoryStream saved;
  r.Pages().SaveToStream(saved);
  TovxReport other;
  TovxPreviewPages loaded(&other);
  saved.Seek(0);
  loaded.LoadFromStream(saved);
  EXPECT_TRUE(loaded.LoadErrors().isEmpty());
  for (const Case& c : cases) {
    EXPECT_EQ(click(r.Pages(), c.top), c.name) << c.top;
    EXPECT_EQ(click(loaded, c.top), c.name) << c.top;
  }
}

// --- the preparation fuzzer's seeds ----------------------------------------------

namespace {

// The checks the preparation fuzzer makes, on every seed of its corpus (its
// findings among them): the run ends, stopped by the same limits, and leaves
// the template as it was; a page a subreport shows is prepared on its own too.
// The seeds that are not findings are sound templates and prepare pages.
TEST(PrepareSeedsTest, EverySeedPreparesAndLeavesItsTemplate) {
  ovx::InstallEngine();
  const QDir seeds(ovx::test::DataPath("../../fuzz/corpus/prepare"));
  const QStringList files = seeds.entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << seeds.path().toStdString();
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    QFile in(seeds.filePath(file));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    TovxReport report;
    ovx::MemoryStream input(in.readAll());
    const bool loaded = report.LoadFromStream(input);
    report.EngineOptions().SetEnableThreadSafe(true);
    report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
    int shown = 0;
    report.on_before_print = [&](TovxComponent&) {
      TovxPreviewPages* pages = ovx::PreparedPages(report);
      if (++shown > 20000 || (pages && pages->Count() > 200)) report.SetTerminated(true);
    };
    const QByteArray before = Saved(report);
    const bool prepared = report.PrepareReport();
    if (!file.startsWith("regression-")) {
      EXPECT_TRUE(loaded) << report.Errors().join("|").toStdString();
      EXPECT_TRUE(prepared) << report.Errors().join("|").toStdString();
      ASSERT_NE(ovx::PreparedPages(report), nullptr);
      EXPECT_GT(ovx::PreparedPages(report)->Count(), 0);
      EXPECT_LE(shown, 20000);
    }
    EXPECT_EQ(Saved(report), before);
    TovxEngine* engine = ovx::ReportEngine(report);
    TovxPreviewPages* pages = ovx::PreparedPages(report);
    for (TovxComponent* child : report.Objects()) {
      auto* page = dynamic_cast<TovxReportPage*>(child);
      if (!page || !page->Subreport() || !engine || !pages) continue;
      pages->Clear();
      shown = 0;
      report.SetTerminated(false);
      try {
        (void)engine->Run(true, page);
      } catch (const ovx::Error&) {
      }
      EXPECT_EQ(Saved(report), before) << page->Name().toStdString();
    }
  }
}

// --- endless pages ----------------------------------------------------------------

TEST_F(BandEngineTest, AnEndlessPageIsStoredAtTheSizeItUsed) {
  const double u = 3.77953;
  struct Case {
    const char* what;
    std::function<void(BandReport&)> build;
    int pages;
    double width, height;  // millimetres, every page
    bool own_size;         // the store gives the page a size of its own
    double footer_top;     // on the last page; -1: no footer
  };
  const Case cases[] = {
      {"short: the page shrinks, the footer follows the rows",
       [](BandReport& r) {
         r.page->SetEndlessHeight(true);
         r.Add<TovxPageHeader>("PageHeader1", 0, 100);
         r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(2);
         r.Add<TovxPageFooter>("PageFooter1", 300, 100);
       },
       1, 210, 20 + 400 / u, true, 300},
      {"long: every row on one page",
       [](BandReport& r) {
         r.page->SetEndlessHeight(true);
         r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(25);
         r.Add<TovxPageFooter>("PageFooter1", 300, 100);
       },
       1, 210, 20 + 2600 / u, true, 2500},
      {"a footer left off the last page takes no room",
       [](BandReport& r) {
         r.page->SetEndlessHeight(true);
         r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(2);
         r.Add<TovxPageFooter>("PageFooter1", 300, 100)->SetPrintOnLastPage(false);
       },
       1, 210, 20 + 200 / u, true, -1},
      {"the page's own objects count as used",
       [](BandReport& r) {
         r.page->SetEndlessHeight(true);
         auto* memo = new TovxMemoView(r.page);
         memo->SetName("Low");
         memo->SetBounds(0, 500, 100, 50);
         r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(1);
       },
       1, 210, 20 + 550 / u, true, -1},
      {"forced breaks: every page its own height",
       [](BandReport& r) {
         r.page->SetEndlessHeight(true);
         auto* data = r.Add<TovxMasterData>("MasterData1", 150, 100);
         data->SetRowCount(3);
         data->SetStartNewPage(true);
       },
       3, 210, 20 + 100 / u, true, -1},
      {"endless width without vertical bands keeps the paper",
       [](BandReport& r) {
         r.page->SetEndlessWidth(true);
         r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(2);
       },
       1, 210, 297, true, -1},
      {"a page that is not endless keeps its source's size",
       [](BandReport& r) { r.Add<TovxMasterData>("MasterData1", 150, 100)->SetRowCount(2); }, 1,
       210, 297, false, -1},
  };
  for (const Case& c : cases) {
    BandReport r;
    c.build(r);
    ASSERT_TRUE(r.Prepare()) << c.what;
    ASSERT_EQ(r.Pages().Count(), c.pages) << c.what;
    for (int i = 0; i < c.pages; ++i) {
      const TovxReportPage* page = r.Pages().GetPage(i);
      EXPECT_NEAR(page->PaperWidth(), c.width, 1e-6) << c.what << " page " << i;
      EXPECT_NEAR(page->PaperHeight(), c.height, 1e-6) << c.what << " page " << i;
      EXPECT_EQ(!r.Pages().PageItem(i)->Prop("PaperHeight").isEmpty(), c.own_size) << c.what;
      EXPECT_EQ(r.Pages().GetPageSize(i), QSize(qRound(c.width * u), qRound(c.height * u)))
          << c.what;
    }
    const std::vector<double> footer = r.Tops(c.pages - 1, "PageFooter1");
    if (c.footer_top < 0) {
      EXPECT_TRUE(footer.empty()) << c.what;
    } else {
      ASSERT_EQ(footer.size(), 1u) << c.what;
      EXPECT_NEAR(footer[0], c.footer_top, 1e-6) << c.what;
    }
    EXPECT_EQ(r.page->PaperHeight(), 297) << c.what;  // the template's own
  }
}

// --- a report page printed on the previous page ---------------------------------

// A report page like the first, with two columns.
TovxReportPage* TwoColumnPage(BandReport& r, TovxReportPage* page, bool on_previous) {
  if (!page) {
    page = new TovxReportPage(r.report.get());
    page->SetName(QStringLiteral("Page2"));
    page->SetPaperWidth(210);
    page->SetPaperHeight(297);
    page->SetLeftMargin(10);
    page->SetRightMargin(10);
    page->SetTopMargin(10);
    page->SetBottomMargin(10);
  }
  page->SetColumns(2);  // of 95 mm each
  page->SetPrintOnPreviousPage(on_previous);
  return page;
}

template <class Band>
Band* AddTo(TovxReportPage* page, const QString& name, double top, double height, int rows = 0) {
  auto* band = new Band(page);
  band->SetName(name);
  band->SetBounds(0, top, 300, height);
  if constexpr (std::is_base_of_v<TovxDataBand, Band>) band->SetRowCount(rows);
  return band;
}

// Places (left, top) of the bands named `name` on page `index`.
std::vector<std::pair<double, double>> Places(BandReport& r, int index, const QString& name) {
  std::vector<std::pair<double, double>> places;
  for (const TovxComponent* object : r.Pages().GetPage(index)->Objects()) {
    if (object->Name() == name) places.emplace_back(object->Left(), object->Top());
  }
  return places;
}

void ExpectPlace(const std::pair<double, double>& place, double left, double top,
                 const char* what) {
  EXPECT_NEAR(place.first, left, 1e-6) << what;
  EXPECT_NEAR(place.second, top, 1e-6) << what;
}

TEST_F(BandEngineTest, PrintOnPreviousPageGoesOnInTheColumnItStopped) {
  const double column2 = 95 * 3.77953;
  {
    // 10 rows fill the first column, 3 go to the second; the next report
    // page goes on below them there.
    BandReport r;
    AddTo<TovxMasterData>(TwoColumnPage(r, r.page, false), "MasterData1", 150, 100, 13);
    AddTo<TovxMasterData>(TwoColumnPage(r, nullptr, true), "MasterData2", 100, 100, 2);
    ASSERT_TRUE(r.Prepare());
    ASSERT_EQ(r.Pages().Count(), 1);
    const auto places = Places(r, 0, "MasterData2");
    ASSERT_EQ(places.size(), 2u);
    ExpectPlace(places[0], column2, 300, "second column");
    ExpectPlace(places[1], column2, 400, "second column");
    int column = 0;
    double x = -1;
    ASSERT_TRUE(r.Pages().PageColumn(0, column, x));
    EXPECT_EQ(column, 2);
    EXPECT_NEAR(x, column2, 1e-6);
  }
  {
    // A title of its own is shown across the page below everything.
    BandReport r;
    AddTo<TovxMasterData>(TwoColumnPage(r, r.page, false), "MasterData1", 150, 100, 13);
    AddTo<TovxReportTitle>(TwoColumnPage(r, nullptr, true), "Title2", 0, 20);
    ASSERT_TRUE(r.Prepare());
    const auto places = Places(r, 0, "Title2");
    ASSERT_EQ(places.size(), 1u);
    ExpectPlace(places[0], 0, 1000, "title");
  }
  {
    // The next column of the continued page starts where that page's
    // columns did, below its page header: 1 row ends the first column,
    // 10 fill the second, the last one goes to a new page.
    BandReport r;
    TwoColumnPage(r, r.page, false);
    r.Add<TovxPageHeader>("PageHeader1", 0, 40);
    AddTo<TovxMasterData>(r.page, "MasterData1", 150, 100, 9);
    AddTo<TovxMasterData>(TwoColumnPage(r, nullptr, true), "MasterData2", 100, 100, 12);
    ASSERT_TRUE(r.Prepare());
    ASSERT_EQ(r.Pages().Count(), 2);
    const auto places = Places(r, 0, "MasterData2");
    ASSERT_EQ(places.size(), 11u);
    ExpectPlace(places[0], 0, 940, "first column");
    ExpectPlace(places[1], column2, 40, "second column");
    EXPECT_EQ(Places(r, 1, "MasterData2").size(), 1u);
  }
  // A place the previous page does not have (a page read from a file may
  // say anything) starts in the first column below everything; rows that
  // do not fit there go on to a new page, not over the page's end.
  for (const auto& [c, cp] : std::vector<std::pair<QByteArray, QByteArray>>{
           {"3", "0"}, {"2", "1e300"}, {"2", "-5"}, {"x", "y"}, {"2", "nan"}}) {
    BandReport r;
    AddTo<TovxMasterData>(TwoColumnPage(r, r.page, true), "MasterData1", 150, 100, 13);
    ASSERT_TRUE(r.Prepare());
    r.Pages().PageItem(0)->SetProp("c", c);
    r.Pages().PageItem(0)->SetProp("cp", cp);
    ASSERT_TRUE(r.report->PrepareReport(false)) << c.constData() << " " << cp.constData();
    EXPECT_EQ(r.CountPerPage("TovxMasterData"), (std::vector<int>{13, 13}))
        << c.constData() << " " << cp.constData();
    const auto places = Places(r, 1, "MasterData1");
    ASSERT_FALSE(places.empty()) << c.constData() << " " << cp.constData();
    ExpectPlace(places[0], 0, 0, "new page");
  }
}

// --- a report changed from inside its own run -------------------------------------

TEST_F(BandEngineTest, ReloadingOrPreparingFromInsideTheRunIsRefused) {
  struct Case {
    const char* what;
    std::function<void(TovxReport&)> call;
    bool prepared;  // the run goes on; else it ends with an error
  };
  const Case cases[] = {
      {"prepare again", [](TovxReport& report) { EXPECT_FALSE(report.PrepareReport()); }, true},
      {"show again", [](TovxReport& report) { EXPECT_FALSE(report.ShowReport()); }, true},
      {"load a template",
       [](TovxReport& report) {
         ovx::MemoryStream stream(QByteArray("<TovxReport/>"));
         (void)report.LoadFromStream(stream);
       },
       false},
      {"clear", [](TovxReport& report) { report.Clear(); }, false},
  };
  for (const Case& c : cases) {
    BandReport r;
    auto* data = r.Add<TovxMasterData>("MasterData1", 100, 20);
    data->SetRowCount(3);
    r.AddMemo(*data, "Row", "row");
    const QByteArray before = Saved(*r.report);
    int rows = 0;
    r.report->on_before_print = [&](TovxComponent& object) {
      if (object.Name() == "Row" && ++rows == 2) c.call(*r.report);
    };
    EXPECT_EQ(r.Prepare(), c.prepared) << c.what;
    EXPECT_FALSE(r.Engine().Running()) << c.what;
    r.report->on_before_print = nullptr;
    EXPECT_EQ(Saved(*r.report), before) << c.what;
    EXPECT_EQ(r.report->FindObject("Row"), r.page->FindObject("Row")) << c.what;
    if (c.prepared) {
      EXPECT_EQ(r.CountPerPage("TovxMasterData"), std::vector<int>{3}) << c.what;
    } else {
      EXPECT_EQ(r.report->Errors().filter("cannot be cleared or loaded").size(), 1) << c.what;
    }
  }
}

TEST_F(BandEngineTest, DestroyingAReportFromInsideItsOwnRunStopsTheProgram) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        auto r = std::make_unique<BandReport>();
        r->Add<TovxMasterData>("MasterData1", 100, 20)->SetRowCount(3);
        r->report->on_before_print = [&](TovxComponent&) { r->report.reset(); };
        (void)r->Prepare();
      },
      "destroyed from inside its own preparation");
}

// --- texts ------------------------------------------------------------------------

// Band and data set errors come from the resource table: a language file
// changes them.
TEST_F(BandEngineTest, ErrorTextsComeFromTheResourceTable) {
  EXPECT_EQ(ovx::EngineText("enUnconnGroup"), QString::fromUtf8("群组未连接至数据库"));
  EXPECT_EQ(ovx::EngineText("enBandPos"), QString::fromUtf8("Band的位置错误:"));
  EXPECT_EQ(ovx::EngineText("rsSameDataSetPageBand"),
            "Cannot use the same dataset for Page.DataSet and Band.DataSet");
  TovxResources& texts = TovxResources::Instance();
  texts.AddString("enBandPos", "Misplaced band:");
  texts.AddString("rsSameDataSetPageBand", "One data set for page and band");
  struct Reset {
    TovxResources& texts;
    ~Reset() { texts.Reset(); }
  } reset{texts};
  RowsDataSet rows(QStringLiteral("Rows"), Keys("AB"));
  BandReport r;
  r.Add<TovxDetailData>("DetailData1", 100, 20)->SetRowCount(1);
  r.Add<TovxMasterData>("MasterData1", 200, 20)->SetDataSet(&rows);
  r.page->SetDataSet(&rows);
  EXPECT_FALSE(r.Prepare());
  const QStringList errors = r.report->Errors();
  EXPECT_TRUE(errors.contains("Misplaced band: DetailData1")) << errors.join("|").toStdString();
  EXPECT_TRUE(errors.contains("One data set for page and band")) << errors.join("|").toStdString();
}

}  // namespace
