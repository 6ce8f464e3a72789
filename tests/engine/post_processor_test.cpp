// Deferred values: views filled in after the run (page, group and report
// totals shown above them), repeated values merged, cleared or hidden on
// rebuilt pages, the lists in the prepared report file, and stored indexes
// that a hostile file may bend.
#include "engine/post_processor.h"
#include "base/stream.h"
#include "engine/prepared_dump.h"
#include "render/painter_canvas.h"
#include "report/storage/xml_document.h"
#include "tests/engine/band_report.h"
#include "tests/test_support.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using ovx::test::BandReport;
using ovx::test::FunctionEvaluator;
using ovx::test::RowsDataSet;

// "key" from the rows (each read counted in `reads` and setting the report
// variable "Last" to ten times the key), "Last", "grp" as the group of the
// key (up to 2: a, else b), "reads", and the aggregate functions.
struct RowsEvaluator : FunctionEvaluator {
  int reads = 0;
  RowsEvaluator(BandReport& r, RowsDataSet& rows) {
    calc = [this, &r, &rows](const QString& e) -> QVariant {
      if (e == u"key") {
        ++reads;
        // As a script would: the report variable follows the rows.
        const QVariant key = rows.Value(QStringLiteral("key"));
        r.report->Variables().SetValue(QStringLiteral("Last"), key.toInt() * 10);
        return key;
      }
      if (e == u"Last") return r.report->Variables().Value(QStringLiteral("Last"));
      if (e == u"reads") return reads;
      if (e == u"grp") return rows.Value(QStringLiteral("key")).toInt() <= 2 ? "a" : "b";
      static const QRegularExpression call(QStringLiteral("^(\\w+)\\((.*)\\)$"));
      const QRegularExpressionMatch m = call.match(e);
      if (!m.hasMatch()) return e;
      QStringList args = m.captured(2).split(u',');
      while (args.size() < 3) args.append(QString());
      return r.Engine().AggregateValue(m.captured(1), args[0], nullptr, 0);
    };
  }
};

// The texts and heights of the views named `name`, page by page.
std::vector<QStringList> Texts(TovxPreviewPages& pages, const QString& name) {
  std::vector<QStringList> result;
  for (int i = 0; i < pages.Count(); ++i) {
    QStringList texts;
    for (const TovxComponent* object : pages.GetPage(i)->AllObjects()) {
      if (object->Name() != name) continue;
      if (auto* memo = dynamic_cast<const TovxCustomMemoView*>(object)) {
        texts << memo->Text().trimmed();
      }
    }
    result.push_back(texts);
  }
  return result;
}

std::vector<std::vector<double>> Heights(TovxPreviewPages& pages, const QString& name) {
  std::vector<std::vector<double>> result;
  for (int i = 0; i < pages.Count(); ++i) {
    std::vector<double> heights;
    for (const TovxComponent* object : pages.GetPage(i)->AllObjects()) {
      if (object->Name() == name) heights.push_back(object->Height());
    }
    result.push_back(heights);
  }
  return result;
}

// The store saved and loaded into a fresh one.
QByteArray DumpAfterRoundTrip(TovxPreviewPages& pages, TovxReport& report) {
  ovx::MemoryStream saved;
  pages.SaveToStream(saved);
  TovxPreviewPages loaded(&report);
  ovx::MemoryStream input(saved.Data());
  loaded.LoadFromStream(input);
  EXPECT_TRUE(loaded.LoadErrors().isEmpty()) << loaded.LoadErrors().join(u'\n').toStdString();
  return ovx::DumpPreparedPages(loaded);
}

class PostProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override { ovx::InstallEngine(); }
};

// Five equal rows, three to a page: repeats are merged, cleared or hidden
// within a page, and the next page shows its first copy again. The saved
// and loaded report shows the same.
TEST_F(PostProcessorTest, DuplicatesOnRebuiltPages) {
  struct Case {
    TovxDuplicateMode mode;
    std::vector<QStringList> texts;
    std::vector<std::vector<double>> heights;
  };
  const Case cases[] = {
      {TovxDuplicateMode::dmShow, {{"x", "x", "x"}, {"x", "x"}}, {{18, 18, 18}, {18, 18}}},
      // The first copy reaches down to the bottom of the third.
      {TovxDuplicateMode::dmMerge, {{"x"}, {"x"}}, {{618}, {318}}},
      {TovxDuplicateMode::dmClear, {{"x", "", ""}, {"x", ""}}, {{18, 18, 18}, {18, 18}}},
      {TovxDuplicateMode::dmHide, {{"x"}, {"x"}}, {{18}, {18}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    RowsDataSet rows(QStringLiteral("Rows"), {"x", "x", "x", "x", "x"});
    BandReport r;
    RowsEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    auto* data = r.Add<TovxMasterData>("MasterData1", 40, 300);
    data->SetDataSet(&rows);
    r.AddMemo(*data, "Value", "[key]")->SetDuplicates(c.mode);
    ASSERT_TRUE(r.Prepare());
    ASSERT_EQ(r.Pages().Count(), 2);
    EXPECT_EQ(Texts(r.Pages(), "Value"), c.texts);
    EXPECT_EQ(Heights(r.Pages(), "Value"), c.heights);
    // Equal rows share one entry.
    const TovxMacrosItem* list = r.Pages().PostProcessor().Find("value");
    ASSERT_EQ(list != nullptr, c.mode != TovxDuplicateMode::dmShow);
    if (list) {
      EXPECT_EQ(list->Count(), 1);
    }
    EXPECT_EQ(DumpAfterRoundTrip(r.Pages(), *r.report), ovx::DumpPreparedPages(r.Pages()));
  }
}

// Values known only later: a report total in the title, each page's count
// in its header, each group's sum in its header, the data band's sum in its
// header. Without a group footer the group still ends.
TEST_F(PostProcessorTest, DeferredValuesShowTheirLaterValue) {
  for (const bool double_pass : {false, true}) {
    SCOPED_TRACE(double_pass ? "double pass" : "single pass");
    RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 3, 4, 5});
    BandReport r;
    r.report->EngineOptions().SetDoublePass(double_pass);
    RowsEvaluator eval(r, rows);
    r.report->SetEvaluator(&eval);
    const auto deferred = [&](TovxBand& band, const char* name, const char* text,
                              TovxProcessAtMode at) {
      TovxMemoView* memo = r.AddMemo(band, name, text);
      memo->Processing().SetProcessAt(at);
      return memo;
    };
    auto* title = r.Add<TovxReportTitle>("ReportTitle1", 0, 20);
    deferred(*title, "Final", "[reads]", TovxProcessAtMode::paReportFinished);
    deferred(*title, "LastKey", "[Last]", TovxProcessAtMode::paReportFinished)->SetLeft(300);
    auto* page_header = r.Add<TovxPageHeader>("PageHeader1", 30, 20);
    deferred(*page_header, "PageReads", "[reads]", TovxProcessAtMode::paPageFinished);
    auto* header = r.Add<TovxHeader>("Header1", 60, 20);
    deferred(*header, "DataSum", "[SUM(key)]", TovxProcessAtMode::paDataFinished);
    auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 90, 20);
    group->SetCondition(QStringLiteral("grp"));
    deferred(*group, "GroupSum", "[SUM(key)]", TovxProcessAtMode::paGroupFinished);
    auto* data = r.Add<TovxMasterData>("MasterData1", 120, 280);
    data->SetDataSet(&rows);
    r.AddMemo(*data, "Key", "[key]");
    r.Add<TovxPageFooter>("PageFooter1", 1020, 20);
    auto* group_footer = r.Add<TovxGroupFooter>("GroupFooter1", 410, 20);
    r.AddMemo(*group_footer, "GroupTotal", "[SUM(key)]");
    auto* footer = r.Add<TovxFooter>("Footer1", 440, 20);
    r.AddMemo(*footer, "Total", "[SUM(key)]");
    ASSERT_TRUE(r.Prepare());
    TovxPreviewPages& pages = r.Pages();
    ASSERT_EQ(pages.Count(), 2);
    const int reads = eval.reads;
    EXPECT_EQ(Texts(pages, "Key"), (std::vector<QStringList>{{"1", "2", "3"}, {"4", "5"}}));
    EXPECT_EQ(Texts(pages, "Final"), (std::vector<QStringList>{{QString::number(reads)}, {}}));
    EXPECT_EQ(Texts(pages, "LastKey"), (std::vector<QStringList>{{"50"}, {}}));
    EXPECT_EQ(Texts(pages, "DataSum"), (std::vector<QStringList>{{"15"}, {}}));
    EXPECT_EQ(Texts(pages, "GroupSum"), (std::vector<QStringList>{{"3", "12"}, {}}));
    EXPECT_EQ(Texts(pages, "GroupTotal"), (std::vector<QStringList>{{"3"}, {"12"}}));
    // Page 1 ends after three rows, page 2 after all five.
    const QStringList first = Texts(pages, "PageReads")[0];
    const QStringList second = Texts(pages, "PageReads")[1];
    ASSERT_EQ(first.size(), 1);
    ASSERT_EQ(second.size(), 1);
    EXPECT_LT(first[0].toInt(), second[0].toInt());
    EXPECT_EQ(second[0].toInt(), reads);
    EXPECT_EQ(pages.PostProcessor().PendingCount(), 0);
    EXPECT_EQ(DumpAfterRoundTrip(pages, *r.report), ovx::DumpPreparedPages(pages));
  }
}

// "Page N of M" in one pass: N is the page's value when its footer ends,
// M is filled in by the store when the page is drawn.
TEST_F(PostProcessorTest, PageNOfMByValues) {
  RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 3, 4, 5});
  BandReport r;
  RowsEvaluator eval(r, rows);
  const auto rows_calc = eval.calc;
  eval.calc = [&](const QString& e) -> QVariant {
    if (e == u"Page#") return r.Pages().CurPage() + 1;
    if (e == u"TotalPages#") return QStringLiteral("[TotalPages#]");
    return rows_calc(e);
  };
  r.report->SetEvaluator(&eval);
  r.Add<TovxMasterData>("MasterData1", 40, 300)->SetDataSet(&rows);
  auto* footer = r.Add<TovxPageFooter>("PageFooter1", 1000, 20);
  r.AddMemo(*footer, "PageOf", "[Page#] of [TotalPages#]")
      ->Processing()
      .SetProcessAt(TovxProcessAtMode::paPageFinished);
  ASSERT_TRUE(r.Prepare());
  TovxPreviewPages& pages = r.Pages();
  ASSERT_EQ(pages.Count(), 2);
  EXPECT_EQ(Texts(pages, "PageOf"),
            (std::vector<QStringList>{{"1 of [TotalPages#]"}, {"2 of [TotalPages#]"}}));
  auto canvas = ovx::PainterCanvas::ForImage(100, 100);
  for (int i = 0; i < pages.Count(); ++i) pages.DrawPage(i, *canvas, 0.1, 0.1, 0, 0);
  EXPECT_EQ(Texts(pages, "PageOf"), (std::vector<QStringList>{{"1 of 2"}, {"2 of 2"}}));
}

// A group that has no footer still ends its level: the next group's
// deferred header is processed too.
TEST_F(PostProcessorTest, GroupsWithoutFooterEnd) {
  RowsDataSet rows(QStringLiteral("Rows"), {1, 2, 3});
  BandReport r;
  RowsEvaluator eval(r, rows);
  r.report->SetEvaluator(&eval);
  auto* group = r.Add<TovxGroupHeader>("GroupHeader1", 10, 20);
  group->SetCondition(QStringLiteral("grp"));
  r.AddMemo(*group, "Done", "done")->Processing().SetProcessAt(TovxProcessAtMode::paGroupFinished);
  r.Add<TovxMasterData>("MasterData1", 40, 20)->SetDataSet(&rows);
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(Texts(r.Pages(), "Done"), std::vector<QStringList>{(QStringList{"done", "done"})});
}

// A view without a name cannot find a value again: it keeps what it
// shows, deferred or not, and the file gets no list for it.
TEST_F(PostProcessorTest, UnnamedViewsKeepTheirText) {
  RowsDataSet rows(QStringLiteral("Rows"), {"x", "x", "x"});
  BandReport r;
  RowsEvaluator eval(r, rows);
  r.report->SetEvaluator(&eval);
  auto* title = r.Add<TovxReportTitle>("ReportTitle1", 0, 20);
  TovxMemoView* late = r.AddMemo(*title, "Late", "[reads]");
  late->Processing().SetProcessAt(TovxProcessAtMode::paReportFinished);
  late->SetName(QString());
  auto* data = r.Add<TovxMasterData>("MasterData1", 40, 20);
  data->SetDataSet(&rows);
  TovxMemoView* hidden = r.AddMemo(*data, "Value", "[key]");
  hidden->SetDuplicates(TovxDuplicateMode::dmHide);
  hidden->SetName(QString());
  ASSERT_TRUE(r.Prepare());
  EXPECT_EQ(r.Pages().PostProcessor().ListCount(), 0);
  QStringList texts;
  for (const TovxComponent* object : r.Pages().GetPage(0)->AllObjects()) {
    if (auto* memo = dynamic_cast<const TovxCustomMemoView*>(object)) {
      texts << memo->Text().trimmed();
    }
  }
  EXPECT_EQ(texts, (QStringList{"0", "x", "x", "x"}));
  EXPECT_EQ(DumpAfterRoundTrip(r.Pages(), *r.report), ovx::DumpPreparedPages(r.Pages()));
}

// A view of a rebuilt page stored again (changed in the preview) keeps an
// index in its item: a numeric text is not later taken for one.
TEST_F(PostProcessorTest, ChangedViewsStayIndexes) {
  RowsDataSet rows(QStringLiteral("Rows"), {"1", "1", "0"});
  BandReport r;
  RowsEvaluator eval(r, rows);
  r.report->SetEvaluator(&eval);
  auto* data = r.Add<TovxMasterData>("MasterData1", 40, 20);
  data->SetDataSet(&rows);
  r.AddMemo(*data, "Value", "[key]")->SetDuplicates(TovxDuplicateMode::dmHide);
  ASSERT_TRUE(r.Prepare());
  TovxPreviewPages& pages = r.Pages();
  ASSERT_EQ(Texts(pages, "Value"), std::vector<QStringList>{(QStringList{"1", "0"})});
  const TovxComponent* changed = nullptr;
  for (const TovxComponent* object : pages.GetPage(0)->AllObjects()) {
    if (object->Name() == u"Value") changed = object;
  }
  ASSERT_NE(changed, nullptr);
  pages.ModifyObject(*changed);
  pages.ClearCache();
  EXPECT_EQ(Texts(pages, "Value"), std::vector<QStringList>{(QStringList{"1", "0"})});
  EXPECT_EQ(DumpAfterRoundTrip(pages, *r.report), ovx::DumpPreparedPages(pages));
}

// A prepared report whose pages store indexes no list holds (-1, 99, 2^40,
// beyond 64 bits) and whose lists name one view twice: the bad texts stay,
// the later list is reported (the first one serves), the rest of the pages
// still merge.
TEST_F(PostProcessorTest, HostileFileKeepsBadIndexesAsText) {
  TovxReport report;
  TovxPreviewPages pages(&report);
  ASSERT_TRUE(
      pages.LoadFromFile(ovx::test::DataPath("../../fuzz/corpus/op3/deferred_bad_indexes.op3")));
  EXPECT_TRUE(pages.LoadErrors().join(u'\n').contains(u"Bad post-processing list Merged"))
      << pages.LoadErrors().join(u'\n').toStdString();
  EXPECT_EQ(Texts(pages, "Merged"), (std::vector<QStringList>{{"dup"}, {"-1", "dup"}}));
  EXPECT_EQ(Texts(pages, "Cleared")[1], (QStringList{"99", "+0", "清"}));
  EXPECT_EQ(Texts(pages, "Hidden")[1],
            (QStringList{"1099511627776", "99999999999999999999", "藏"}));
  EXPECT_EQ(Heights(pages, "Merged")[0], std::vector<double>{830});
}

// What a rebuilt view does with the index it stored: anything but a
// decimal number naming an entry leaves its text as it is.
TEST(PostProcessorList, StoredIndexesAreChecked) {
  TovxPostProcessor processor;
  TovxMemoView base;
  base.SetName(QStringLiteral("M"));
  for (const char* text : {"zero", "one"}) {
    processor.Register("B", "M", false, base, TovxProcessAtMode::paDefault, text);
  }
  struct Case {
    const char* stored;
    const char* shown;
  };
  const Case cases[] = {
      {"0", "zero"},
      {"1", "one"},
      {"-1", "-1"},
      {"2", "2"},
      {"99", "99"},
      {"1099511627776", "1099511627776"},
      {"4294967296", "4294967296"},
      {"99999999999999999999999", "99999999999999999999999"},
      {"", ""},
      {"+1", "+1"},
      {" 1", " 1"},
      {"1x", "1x"},
      {"0x1", "0x1"},
      {"-", "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    processor.ResetRunState();
    TovxMemoView view;
    view.SetName(QStringLiteral("m"));
    view.SetText(QString::fromUtf8(c.stored));
    EXPECT_FALSE(processor.RestoreView(view));
    const QString shown = QString::fromUtf8(c.shown);
    EXPECT_EQ(view.Text(), shown.isEmpty() ? shown : shown + QStringLiteral("\r\n"));
  }
}

// Filing: equal texts share an entry until the band restarts; a list waits
// once per run of values; an event processes each waiting list once.
TEST(PostProcessorList, FilingAndProcessing) {
  TovxPostProcessor processor;
  TovxMemoView a, b;
  a.SetName(QStringLiteral("A"));
  b.SetName(QStringLiteral("B"));
  const auto file = [&](TovxMemoView& view, const char* text) {
    return processor.Register("Band", view.Name(), true, view, TovxProcessAtMode::paReportFinished,
                              text);
  };
  EXPECT_EQ(file(a, "1"), 0);
  EXPECT_EQ(file(a, "1"), 0);
  EXPECT_EQ(file(b, "1"), 0);
  EXPECT_EQ(file(a, "2"), 1);
  EXPECT_EQ(processor.PendingCount(), 3);  // A, B, A
  processor.MarkBandRestart(QStringLiteral("band"));
  EXPECT_EQ(file(a, "2"), 2);
  EXPECT_EQ(processor.PendingCount(), 3);  // A is last already
  // Not ready yet: reads as empty.
  EXPECT_EQ(processor.Find("a")->Entry(2), QString());
  int evaluated = 0;
  processor.after_data = [&](TovxView&) { ++evaluated; };
  processor.ProcessEvent(TovxProcessAtMode::paPageFinished);
  EXPECT_EQ(evaluated, 0);
  processor.ProcessEvent(TovxProcessAtMode::paReportFinished);
  EXPECT_EQ(evaluated, 2) << "each list once";
  EXPECT_EQ(processor.PendingCount(), 0);
  EXPECT_TRUE(processor.Find("A")->Ready(2));
  EXPECT_FALSE(processor.Find("A")->Ready(0)) << "only the newest entry is evaluated";
}

// Script code run while a list is evaluated may file new values, process
// lists itself and evaluate again: the walk stays valid, and a value filed
// meanwhile waits for the next event.
TEST(PostProcessorList, ScriptsChangeThePendingListWhileItIsWalked) {
  TovxPostProcessor processor;
  std::vector<std::unique_ptr<TovxMemoView>> views;
  for (int i = 0; i < 40; ++i) {
    views.push_back(std::make_unique<TovxMemoView>());
    views.back()->SetName(QStringLiteral("V%1").arg(i));
    processor.Register("Band", views.back()->Name(), false, *views.back(),
                       TovxProcessAtMode::paPageFinished, "x");
  }
  int calls = 0;
  bool took = false;
  processor.after_data = [&](TovxView& view) {
    ++calls;
    // Files a value for itself and for many new lists, and takes the
    // last list away before the walk reaches it.
    processor.Register("Band", view.Name(), false, view, TovxProcessAtMode::paPageFinished,
                       "again");
    for (int i = 0; i < 20; ++i) {
      processor.Register("Band", view.Name() + QString::number(i), false, view,
                         TovxProcessAtMode::paPageFinished, "new");
    }
    if (!took) {
      took = true;
      EXPECT_TRUE(processor.ProcessObject(*views.back()));
    }
  };
  processor.ProcessEvent(TovxProcessAtMode::paPageFinished);
  // 40 lists, the last one by ProcessObject from inside the first.
  EXPECT_EQ(calls, 40);
  // Every list filed again waits (the last one's own filing happened after
  // it was taken out, inside its own processing).
  EXPECT_GE(processor.PendingCount(), 40);
  EXPECT_FALSE(processor.Find("V0")->Ready(1));
  EXPECT_TRUE(processor.Find("V0")->Ready(0));
}

// The "postprocessing" element of a file: names and texts come back, bad
// lists are reported and skipped.
TEST(PostProcessorList, FileElement) {
  TovxPostProcessor processor;
  TovxMemoView view;
  view.SetName(QStringLiteral("Memo1"));
  const QString text = QStringLiteral("\"<&>'\r\n  總計 \t");
  processor.Register("", "Memo1", false, view, TovxProcessAtMode::paDefault, text);
  processor.Register("", "Memo1", false, view, TovxProcessAtMode::paReportFinished, "wait");
  TovxXMLDocument document;
  document.Root()->SetName("postprocessing");
  processor.WriteTo(*document.Root());
  ASSERT_EQ(document.Root()->Count(), 1);
  EXPECT_EQ(document.Root()->Items(0)->Name(), "Memo1");
  TovxXMLItem* duplicate = document.Root()->Add();
  duplicate->SetName("MEMO1");
  TovxXMLItem* entry = duplicate->Add();
  entry->SetName("i");
  entry->SetProp("cnt", "other");
  ovx::MemoryStream file;
  document.SaveToStream(file);
  TovxXMLDocument read;
  ovx::MemoryStream input(file.Data());
  read.LoadFromStream(input);
  TovxPostProcessor loaded;
  QStringList errors;
  loaded.ReadFrom(*read.Root(), errors);
  EXPECT_EQ(errors.size(), 1);
  const TovxMacrosItem* list = loaded.Find("memo1");
  ASSERT_NE(list, nullptr);
  // The entry that never got its value was empty, and is saved so.
  EXPECT_EQ(list->Entries(), (QStringList{text, QString()}));
}

}  // namespace
