// The engine's run for page-level reports: pages, passes, events, progress,
// cancelling, thread-safe runs and the file cache.
#include "engine/engine.h"
#include "engine/prepared_dump.h"
#include "engine/preview_pages.h"
#include "tests/engine/app_report.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using ovx::test::DataPath;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ovx::InstallEngine(); }
  std::unique_ptr<TovxReport> App(int body_pages) {
    return ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), body_pages);
  }
};

TEST_F(EngineTest, EveryObjectGetsBothEventsAroundItsCopy) {
  auto report = App(2);
  QStringList events;
  report->on_before_print = [&](TovxComponent& c) { events << "before " + c.Name(); };
  report->on_after_print = [&](TovxComponent& c) { events << "after " + c.Name(); };
  TovxEngine& engine = *ovx::ReportEngine(*report);
  double max_y = 0;
  report->on_after_print = [&](TovxComponent& c) {
    events << "after " + c.Name();
    max_y = std::max(max_y, engine.CurY());
  };
  ASSERT_TRUE(report->PrepareReport());
  EXPECT_EQ(events.size(), 2 * (1 + 2 * 180));
  EXPECT_EQ(events.count(QStringLiteral("before title")), 1);
  EXPECT_LT(events.indexOf(QStringLiteral("before title")),
            events.indexOf(QStringLiteral("after title")));
  EXPECT_EQ(events.count(QStringLiteral("after F1_179")), 1);
  EXPECT_EQ(max_y, 0);  // page-level objects take no space
  EXPECT_FALSE(engine.Running());
  EXPECT_EQ(engine.StartDate(), QDate::currentDate());
  // A change made in an event reaches the prepared page, not the template.
  report->on_before_print = [](TovxComponent& c) {
    if (c.Name() == "F0_0") dynamic_cast<TovxMemoView&>(c).SetText(QStringLiteral("改"));
  };
  report->on_after_print = nullptr;
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  EXPECT_EQ(dynamic_cast<TovxMemoView*>(pages.GetPage(1)->Objects()[0])->Text().trimmed(),
            QStringLiteral("改"));
}

TEST_F(EngineTest, PageCountAndPrintIfEmptyDecideThePages) {
  struct Case {
    int page_count;
    bool page_print_if_empty;
    bool engine_print_if_empty;
    int pages;
  };
  const Case cases[] = {
      {1, true, true, 2}, {3, true, true, 4}, {1, false, true, 1}, {1, true, false, 0}};
  for (const Case& c : cases) {
    auto report = App(1);
    auto* body = dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Body0")));
    body->SetPageCount(c.page_count);
    body->SetPrintIfEmpty(c.page_print_if_empty);
    report->EngineOptions().SetPrintIfEmpty(c.engine_print_if_empty);
    report->PrepareReport();
    EXPECT_EQ(ovx::PreparedPages(*report)->Count(), c.pages) << c.page_count;
  }
}

TEST_F(EngineTest, DoublePassCountsPagesFirstAndKeepsOnlyTheSecond) {
  auto report = App(3);
  report->EngineOptions().SetDoublePass(true);
  TovxEngine& engine = *ovx::ReportEngine(*report);
  std::vector<std::pair<bool, int>> seen;  // (final pass, total pages) at the title
  report->on_before_print = [&](TovxComponent& c) {
    if (c.Name() == "title") seen.emplace_back(engine.FinalPass(), engine.TotalPages());
  };
  ASSERT_TRUE(report->PrepareReport());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(false, 0));
  EXPECT_EQ(seen[1], std::make_pair(true, 4));
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  EXPECT_EQ(pages.Count(), 4);
  EXPECT_EQ(pages.GetPage(3)->Objects().size(), 180u);
  // Totals of the first pass stay for the second.
  pages.SetCurPage(2);
  EXPECT_EQ(pages.LogicalPageNo(), 3);
  EXPECT_EQ(pages.LogicalTotalPages(), 4);
}

TEST_F(EngineTest, CancellingKeepsThePagesMadeSoFar) {
  for (const bool double_pass : {false, true}) {
    SCOPED_TRACE(double_pass);
    auto report = App(5);
    report->EngineOptions().SetDoublePass(double_pass);
    int passes = 0;
    report->on_before_print = [&](TovxComponent& c) {
      if (c.Name() == "title") ++passes;
      if (c.Name() == "F1_0") report->SetTerminated(true);
    };
    EXPECT_TRUE(report->PrepareReport());
    TovxPreviewPages& pages = *ovx::PreparedPages(*report);
    EXPECT_EQ(passes, 1);  // no second pass after a cancel
    EXPECT_EQ(pages.Count(), 3);
    // The kept pages show what was printed.
    ASSERT_NE(pages.GetPage(2), nullptr);
    EXPECT_EQ(dynamic_cast<TovxMemoView*>(pages.GetPage(2)->Objects()[0])->Text(),
              dynamic_cast<TovxMemoView*>(report->FindObject(QStringLiteral("F1_0")))->Text());
  }
}

// A host that makes its pages as the run reaches them: each is asked for
// only after every page before it is stored, and is prepared like the
// pages there from the start.
TEST_F(EngineTest, PagesAppendedDuringTheRunArePreparedInTurn) {
  struct Case {
    bool double_pass;
    const char* cancel_at;  // the object whose printing cancels the run
    int pages;
    std::vector<int> asked_at;  // stored pages when more were asked for
  };
  const Case cases[] = {
      {false, "", 5, {2, 3, 4, 5}},
      {true, "", 5, {2, 3, 4, 5, 5}},
      {false, "F1_0", 3, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.double_pass).arg(c.cancel_at).toStdString());
    auto report = App(1);
    report->EngineOptions().SetDoublePass(c.double_pass);
    TovxPreviewPages& pages = *ovx::PreparedPages(*report);
    TovxEngine& engine = *ovx::ReportEngine(*report);
    std::vector<int> asked_at;
    int added = 0;
    engine.more_pages = [&] {
      asked_at.push_back(pages.Count());
      if (added == 3) return false;
      ovx::test::AddBodyPage(*report, 1 + added++, ovx::test::SampleText());
      return true;
    };
    report->on_before_print = [&](TovxComponent& object) {
      if (object.Name() == QLatin1String(c.cancel_at)) report->SetTerminated(true);
    };
    EXPECT_TRUE(report->PrepareReport());
    EXPECT_EQ(pages.Count(), c.pages);
    EXPECT_EQ(asked_at, c.asked_at);
    // The last page shows the objects of the page appended last.
    const int last = c.pages - 2;
    ASSERT_NE(pages.GetPage(c.pages - 1), nullptr);
    ASSERT_FALSE(pages.GetPage(c.pages - 1)->Objects().empty());
    EXPECT_EQ(
        dynamic_cast<TovxMemoView*>(pages.GetPage(c.pages - 1)->Objects()[0])->Text(),
        dynamic_cast<TovxMemoView*>(report->FindObject(QStringLiteral("F%1_0").arg(last)))->Text());
  }
}

TEST_F(EngineTest, ProgressEventsAndThreadSafeRuns) {
  auto report = App(3);
  std::vector<int> progress;
  int started = 0, stopped = 0, processed = 0;
  report->on_progress_start = [&] { ++started; };
  report->on_progress = [&](int page) { progress.push_back(page); };
  report->on_progress_stop = [&] { ++stopped; };
  ovx::ReportEngine(*report)->process_events = [&] { ++processed; };
  ASSERT_TRUE(report->PrepareReport());
  EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(started, 1);
  EXPECT_EQ(stopped, 1);
  EXPECT_GT(processed, 0);

  // Thread-safe: never processes events, and runs on a worker thread.
  report->EngineOptions().SetEnableThreadSafe(true);
  processed = 0;
  bool prepared = false;
  std::thread worker([&] { prepared = report->PrepareReport(); });
  worker.join();
  EXPECT_TRUE(prepared);
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(ovx::PreparedPages(*report)->Count(), 4);
}

TEST_F(EngineTest, FileCacheGivesTheSamePagesAsMemory) {
  const auto run = [&](bool file_cache) {
    auto report = App(1);
    auto* body = dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Body0")));
    body->SetPageCount(600);
    report->EngineOptions().SetUseFileCache(file_cache);
    report->EngineOptions().SetMaxMemSize(1);
    report->PreviewOptions().SetPagesInCache(5);
    EXPECT_TRUE(report->PrepareReport());
    TovxPreviewPages& pages = *ovx::PreparedPages(*report);
    TovxXMLItem* items = pages.Document().Root()->FindItem("previewpages");
    int swapped = 0;
    for (int i = 0; i < items->Count(); ++i) swapped += items->Items(i)->Loaded() ? 0 : 1;
    if (file_cache) {
      EXPECT_GT(swapped, 0);
      EXPECT_FALSE(pages.Document().SwapFileName().isEmpty());
    } else {
      EXPECT_EQ(swapped, 0);
    }
    return ovx::DumpPreparedPages(pages);
  };
  const QByteArray in_memory = run(false);
  EXPECT_EQ(run(true), in_memory);
  EXPECT_TRUE(in_memory.startsWith("pages 601\n"));
}

TEST_F(EngineTest, ShowReportHandsThePagesToThePreview) {
  auto report = App(1);
  int shown = 0;
  report->show_prepared = [&](TovxReport& r) {
    ++shown;
    EXPECT_EQ(ovx::PreparedPages(r)->Count(), 2);
  };
  EXPECT_TRUE(report->ShowReport());
  EXPECT_EQ(shown, 1);
  // Preparing again without clearing appends a further report.
  EXPECT_TRUE(report->PrepareReport(false));
  EXPECT_EQ(ovx::PreparedPages(*report)->Count(), 4);
}

}  // namespace
