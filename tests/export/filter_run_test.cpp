// The export run over prepared pages: the order in which a filter is
// called, page ranges, cancelling, failures and how they are reported,
// and what the run leaves on the filter afterwards.
#include "base/error.h"
#include "base/units.h"
#include "export/image_export.h"
#include "export/output_transport.h"
#include "resources/resources.h"
#include "tests/export/filter_fixture.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

using Log = std::vector<std::string>;

TEST(FilterRunTest, CallsTheFilterInProtocolOrder) {
  auto report = PreparedReport(2);
  RecordingFilter filter;
  TovxFileTransport transport;
  filter.SetIOTransport(&transport);
  filter.SetShowDialog(true);
  filter.on_before_export = [&](TovxCustomExportFilter&) { filter.log.push_back("BeforeExport"); };
  filter.on_begin_export = [&](TovxCustomExportFilter&) { filter.log.push_back("BeginExport"); };

  EXPECT_TRUE(PagesOf(*report).Export(filter));
  const Log expected = {"BeforeExport",
                        "ShowModal",
                        "BeginExport",
                        "PrepareFileName",
                        "Start",
                        "StartPage 0",
                        "Object _pagebackground",
                        "Object P1A",
                        "Object P1B",
                        "FinishPage 0",
                        "StartPage 1",
                        "Object _pagebackground",
                        "Object P2A",
                        "Object P2B",
                        "FinishPage 1",
                        "Finish",
                        "AfterFinish"};
  EXPECT_EQ(filter.log, expected);
  EXPECT_TRUE(report->Errors().isEmpty());
  EXPECT_EQ(filter.Report(), report.get());
  EXPECT_TRUE(filter.CreationTime().isValid());
}

TEST(FilterRunTest, ObjectsHaveTheirPlaceOnThePaperWhileTheyAreExported) {
  auto report = PreparedReport(1);
  RecordingFilter filter;
  double left = 0;
  double top = 0;
  double background_left = 0;
  filter.on_object = [&](TovxComponent& object) {
    if (object.Name() == u"P1A") {
      left = object.AbsLeft();
      top = object.AbsTop();
    } else if (object.Name() == u"_pagebackground") {
      background_left = object.AbsLeft();
    }
  };
  ASSERT_TRUE(PagesOf(*report).Export(filter));
  // 5 mm margins: the page's edges move to them during the page.
  EXPECT_NEAR(left, 10 + 5 * ov01cm, 1e-9);
  EXPECT_NEAR(top, 10 + 5 * ov01cm, 1e-9);
  EXPECT_NEAR(background_left, 5 * ov01cm, 1e-9);
  EXPECT_EQ(PagesOf(*report).GetPage(0)->Left(), 0);
}

struct RangeCase {
  const char* page_numbers;
  bool cur_page;
  int preview_page;  // 0: no preview
  std::vector<int> expected;
};

TEST(FilterRunTest, ExportsThePagesOfTheRangeInAscendingOrder) {
  const RangeCase cases[] = {
      {"", false, 0, {0, 1, 2, 3}},
      {"2,4", false, 0, {1, 3}},
      {" 4 , 2 ", false, 0, {1, 3}},
      {"3-", false, 0, {2, 3}},
      {"2-3,3", false, 0, {1, 2}},
      {"3-1", false, 0, {}},
      {"9", false, 0, {}},
      // Clamped to the pages: never a list of two billion numbers.
      {"2-2000000000", false, 0, {1, 2, 3}},
      {"", true, 0, {0}},
      {"2,4", true, 3, {2}},
  };
  auto report = PreparedReport(4);
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.page_numbers);
    PagesOf(*report).SetCurPreviewPage(c.preview_page);
    RecordingFilter filter;
    filter.SetPageNumbers(QString::fromUtf8(c.page_numbers));
    filter.SetCurPage(c.cur_page);
    EXPECT_TRUE(PagesOf(*report).Export(filter));
    EXPECT_EQ(filter.Pages(), c.expected);
    // The current page stands in for the range during the run only.
    EXPECT_EQ(filter.PageNumbers(), QString::fromUtf8(c.page_numbers));
  }
  PagesOf(*report).SetCurPreviewPage(0);
}

TEST(FilterRunTest, PageNumbersThatAreNoNumbersFailBeforeAnyPage) {
  auto report = PreparedReport(2);
  for (const char* text : {"1,,2", "x", "1-a", "99999999999", "-2", "1-2-3", "2.5"}) {
    SCOPED_TRACE(text);
    report->ClearErrors();
    RecordingFilter filter;
    filter.SetPageNumbers(QString::fromUtf8(text));
    EXPECT_FALSE(PagesOf(*report).Export(filter));
    EXPECT_FALSE(filter.Logged("Start"));
    ASSERT_EQ(report->Errors().size(), 1);
    EXPECT_TRUE(report->Errors()[0].contains(QString::fromUtf8(text)))
        << report->Errors()[0].toStdString();
    EXPECT_EQ(filter.FileName(), "out");
  }
}

TEST(FilterRunTest, CancelledDialogEndsTheRunBeforeAnything) {
  auto report = PreparedReport(1);
  RecordingFilter filter;
  filter.SetShowDialog(true);
  filter.modal_result = ModalResult::kCancel;
  EXPECT_FALSE(PagesOf(*report).Export(filter));
  EXPECT_EQ(filter.log, Log{"ShowModal"});
  EXPECT_TRUE(report->Errors().isEmpty());
}

TEST(FilterRunTest, AFilterThatDoesNotStartMakesTheExportFail) {
  auto report = PreparedReport(1);
  RecordingFilter filter;
  filter.start_result = false;
  EXPECT_FALSE(PagesOf(*report).Export(filter));
  EXPECT_EQ(filter.log, (Log{"PrepareFileName", "Start"}));
  EXPECT_EQ(report->Errors(), QStringList{TovxResources::Instance().Get(u"rsExportNotStarted")});
}

TEST(FilterRunTest, CancelStopsAfterTheObjectAndClosesNormally) {
  auto report = PreparedReport(3);
  RecordingFilter filter;
  filter.on_object = [&](TovxComponent& object) {
    if (object.Name() == u"P2A") report->SetTerminated(true);
  };
  EXPECT_TRUE(PagesOf(*report).Export(filter));
  EXPECT_EQ(filter.Pages(), (std::vector<int>{0, 1}));
  EXPECT_FALSE(filter.Logged("Object P2B"));
  const Log tail(filter.log.end() - 3, filter.log.end());
  EXPECT_EQ(tail, (Log{"FinishPage 1", "Finish", "AfterFinish"}));
  EXPECT_TRUE(report->Errors().isEmpty());
}

TEST(FilterRunTest, ErrorsGoToTheErrorListAndAreShownAsTheSilentModeSays) {
  for (const TovxSilentMode mode :
       {TovxSilentMode::simMessageBoxes, TovxSilentMode::simSilent, TovxSilentMode::simReThrow}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto report = PreparedReport(2);
    report->EngineOptions().SetNewSilentMode(mode);
    QStringList shown;
    report->show_error = [&](const QString& text) { shown.append(text); };
    RecordingFilter filter;
    filter.on_object = [](TovxComponent& object) {
      if (object.Name() == u"P1B") throw Error(QString(), QStringLiteral("disk on fire"));
    };
    const QString header = TovxResources::Instance().Get(u"clErrors") + u'\n';
    if (mode == TovxSilentMode::simReThrow) {
      try {
        (void)PagesOf(*report).Export(filter);
        ADD_FAILURE() << "no error raised";
      } catch (const Error& e) {
        EXPECT_EQ(e.Message(), header + "disk on fire");
      }
    } else {
      EXPECT_FALSE(PagesOf(*report).Export(filter));
    }
    EXPECT_EQ(report->Errors(), QStringList{"disk on fire"});
    EXPECT_EQ(shown, mode == TovxSilentMode::simMessageBoxes ? QStringList{header + "disk on fire"}
                                                             : QStringList());
    // The failing page and the run still close; no later page starts.
    EXPECT_TRUE(filter.Logged("FinishPage 0"));
    EXPECT_TRUE(filter.Logged("Finish"));
    EXPECT_TRUE(filter.Logged("AfterFinish"));
    EXPECT_EQ(filter.Pages(), std::vector<int>{0});
    EXPECT_EQ(filter.FileName(), "out");
  }
}

// A report whose pages hold a page header, a data band and a page footer,
// each with one memo, put on the prepared pages by a manual build.
std::unique_ptr<TovxReport> BandedReport(int pages) {
  InstallEngine();
  InstallExport();
  auto report = MakeReport(std::vector<PageSize>(static_cast<size_t>(pages)),
                           [](TovxReportPage& page, int n) {
                             const auto add = [&](TovxBand* band, const char* name, double top) {
                               band->SetName(QStringLiteral("%1%2").arg(name).arg(n));
                               band->SetBounds(0, top, 150, 20);
                               auto* memo = new TovxMemoView(band);
                               memo->SetName(QStringLiteral("%1%2Memo").arg(name).arg(n));
                               memo->SetBounds(0, 0, 40, 20);
                             };
                             add(new TovxPageHeader(&page), "Header", 0);
                             add(new TovxMasterData(&page), "Data", 30);
                             add(new TovxPageFooter(&page), "Footer", 60);
                           });
  TovxReport* raw = report.get();
  ReportEngine(*report)->on_manual_build = [raw](TovxReportPage& page) {
    for (TovxComponent* child : page.Objects()) {
      if (dynamic_cast<TovxBand*>(child)) PagesOf(*raw).AddObject(*child);
    }
  };
  EXPECT_TRUE(report->PrepareReport());
  return report;
}

TEST(FilterRunTest, SuppressPageBandsKeepsTheFirstHeaderAndTheLastFooter) {
  auto report = BandedReport(3);
  RecordingFilter filter;
  filter.SetSuppressPageBands(true);
  ASSERT_TRUE(PagesOf(*report).Export(filter));
  EXPECT_TRUE(filter.Logged("Object Header1"));
  EXPECT_TRUE(filter.Logged("Object Header1Memo"));
  EXPECT_FALSE(filter.Logged("Object Header2Memo"));
  EXPECT_FALSE(filter.Logged("Object Header3"));
  EXPECT_FALSE(filter.Logged("Object Footer1Memo"));
  EXPECT_FALSE(filter.Logged("Object Footer2"));
  EXPECT_TRUE(filter.Logged("Object Footer3Memo"));
  EXPECT_TRUE(filter.Logged("Object Data2Memo"));

  RecordingFilter all;
  ASSERT_TRUE(PagesOf(*report).Export(all));
  EXPECT_TRUE(all.Logged("Object Header2Memo"));
  EXPECT_TRUE(all.Logged("Object Footer1Memo"));
}

TEST(FilterRunTest, DataOnlyExportsOnlyWhatLiesOnDataBands) {
  auto report = BandedReport(2);
  RecordingFilter filter;
  filter.SetDataOnly(true);
  ASSERT_TRUE(PagesOf(*report).Export(filter));
  const Log expected = {"PrepareFileName",  "Start",        "StartPage 0", "Object Data1",
                        "Object Data1Memo", "FinishPage 0", "StartPage 1", "Object Data2",
                        "Object Data2Memo", "FinishPage 1", "Finish",      "AfterFinish"};
  EXPECT_EQ(filter.log, expected);
}

TEST(FilterRunTest, ObjectsAreOfferedToTheirClassHookFirstAndMemosGetTheirTotals) {
  auto report = PreparedReport(3, [](TovxReportPage& page, int n) {
    auto* hidden = new TovxMemoView(&page);
    hidden->SetName(QStringLiteral("P%1C").arg(n));
    hidden->SetVisibility({TovxVisibilityType::vsPreview, TovxVisibilityType::vsPrint});
  });
  QStringList offered;
  GlobalObjectExportHooks().Register(QStringLiteral("TovxCustomMemoView"),
                                     [&](TovxComponent& object, TovxCustomExportFilter&) {
                                       offered.append(object.Name());
                                       return object.Name().endsWith(u'A');
                                     });
  RecordingFilter filter;
  QString total;
  filter.on_object = [&](TovxComponent& object) {
    if (object.Name() == u"P2B") total = static_cast<TovxMemoView&>(object).Memo().join(u'|');
  };
  const bool exported = PagesOf(*report).Export(filter);
  GlobalObjectExportHooks().Register(QStringLiteral("TovxCustomMemoView"), nullptr);

  ASSERT_TRUE(exported);
  EXPECT_EQ(offered, (QStringList{"P1A", "P1B", "P2A", "P2B", "P3A", "P3B"}));
  EXPECT_FALSE(filter.Logged("Object P1A"));  // the hook handled it
  EXPECT_TRUE(filter.Logged("Object P1B"));
  EXPECT_FALSE(filter.Logged("Object P1C"));  // not for export
  EXPECT_EQ(total, "3");
}

// An export is copy 1; the copy name comes from the global variable first.
TEST(FilterRunTest, CopyNameMacroIsTheFirstCopy) {
  struct Case {
    const char* global;
    const char* report;
    const char16_t* exported;
  };
  const Case cases[] = {
      {nullptr, nullptr, u"<>"},
      {nullptr, "Report", u"<Report1>"},
      {"Global", "Report", u"<Global1>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.exported).toStdString());
    ovx::GlobalVariables().Clear();
    if (c.global) ovx::GlobalVariables().SetValue("CopyName", QString::fromUtf8(c.global));
    auto report = PreparedReport(1, [](TovxReportPage& page, int) {
      static_cast<TovxMemoView*>(page.FindObject(QStringLiteral("P1A")))
          ->SetText(QStringLiteral("<[COPYNAME#]>"));
    });
    if (c.report) report->Variables().SetValue("CopyName", QString::fromUtf8(c.report));
    RecordingFilter filter;
    QString text;
    filter.on_object = [&](TovxComponent& object) {
      if (object.Name() == u"P1A") text = static_cast<TovxMemoView&>(object).Memo().join(u'|');
    };
    ASSERT_TRUE(PagesOf(*report).Export(filter));
    EXPECT_EQ(text, QString::fromUtf16(c.exported));
  }
  ovx::GlobalVariables().Clear();
}

TEST(FilterRunTest, FiltersJoinTheProcessListUnlessCreatedUnregistered) {
  const auto listed = [](const TovxCustomExportFilter* filter) {
    const auto& filters = ExportFilters().Filters();
    return std::find(filters.begin(), filters.end(), filter) != filters.end();
  };
  RecordingFilter unregistered;
  EXPECT_FALSE(listed(&unregistered));
  const int before = ExportFilters().Count();
  {
    TovxJPEGExport jpeg;
    EXPECT_TRUE(listed(&jpeg));
    ExportFilters().Register(&jpeg);  // never twice
    EXPECT_EQ(ExportFilters().Count(), before + 1);
  }
  EXPECT_EQ(ExportFilters().Count(), before);
}

TEST(FilterRunTest, PrepareFileNamePlacesBareNamesAndTemporaryOutput) {
  struct Case {
    const char* file_name;
    const char* default_path;
    bool temporary;
    QString expected;
  };
  const QString temp = QDir::tempPath();
  const Case cases[] = {
      {"velmora", "", false, "velmora"},
      {"velmora", "/srv/out", false, "/srv/out/velmora"},
      {"sub/velmora", "/srv/out", false, "sub/velmora"},
      {"/abs/velmora", "/srv/out", false, "/abs/velmora"},
      {"velmora", "/srv/out", true, "/srv/out/velmora"},
      {"", "", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_name);
    RecordingFilter filter;
    filter.SetFileName(QString::fromUtf8(c.file_name));
    filter.SetDefaultPath(QString::fromUtf8(c.default_path));
    filter.SetTemporaryOutput(c.temporary);
    filter.PrepareFileName();
    EXPECT_EQ(filter.FileName(), c.expected);
  }
  RecordingFilter temporary;
  temporary.SetFileName(QString());
  temporary.SetTemporaryOutput(true);
  temporary.SetDefaultExt(QStringLiteral(".jpg"));
  temporary.PrepareFileName();
  EXPECT_TRUE(temporary.FileName().startsWith(temp + u'/')) << temporary.FileName().toStdString();
  EXPECT_TRUE(temporary.FileName().endsWith(u".jpg"));
}

}  // namespace
}  // namespace ovx::test
