// The preview control and window, offscreen: page layout, zoom, the
// toolbar rules, navigation, find, hyperlinks, files, closing during a
// preparation, and the application's print button ending in the preview.
#include "preview/preview.h"
#include "app/core/print_command.h"
#include "app/main_window.h"
#include "base/units.h"
#include "engine/engine.h"
#include "engine/prepared_dump.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "export/image_export.h"
#include "preview/page_list.h"
#include "preview/page_search.h"
#include "preview/page_settings_form.h"
#include "preview/preview_form.h"
#include "preview/preview_host.h"
#include "preview/preview_workspace.h"
#include "preview/zoom.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "tests/engine/band_report.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

using B = TovxPreviewButton;

// A report of small landscape pages (148.5 x 105 mm, 561 x 397 pixels),
// each holding one memo per text, one under the other.
std::unique_ptr<TovxReport> MakeReport(const QList<QStringList>& pages) {
  auto report = std::make_unique<TovxReport>();
  report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  for (const QStringList& texts : pages) {
    auto* page = new TovxReportPage(report.get());
    page->SetPaperWidth(148.5);
    page->SetPaperHeight(105);
    for (int i = 0; i < texts.size(); ++i) {
      auto* memo = new TovxMemoView(page);
      memo->SetName(QStringLiteral("M%1_%2").arg(report->Objects().size()).arg(i));
      memo->SetBounds(20, 10 + i * 40, 300, 30);
      memo->SetText(texts[i]);
    }
  }
  return report;
}

// `count` pages of two memos each.
std::unique_ptr<TovxReport> ManyPages(int count) {
  QList<QStringList> pages;
  for (int i = 0; i < count; ++i) pages << QStringList{QStringLiteral("第%1页").arg(i + 1), "天地"};
  return MakeReport(pages);
}

// The viewport point of (x, y) report units inside the printable area of
// page `index`.
QPoint PointOnPage(TovxPreview& preview, int index, double x, double y) {
  const TovxReportPage* page = preview.PreviewPages()->GetPage(index);
  const QPoint in_page(qRound(page->LeftMargin() * ov01cm + x),
                       qRound(page->TopMargin() * ov01cm + y));
  TovxPreviewWorkspace* workspace = preview.Workspace();
  return workspace->PageList().PageRect(index).topLeft() + in_page -
         QPoint(workspace->horizontalScrollBar()->value(), workspace->verticalScrollBar()->value());
}

QStringList VisibleButtons(const TovxPreviewForm& form) {
  QStringList names;
  for (QAction* action : form.ToolBar()->actions()) {
    if (action->isVisible() && !action->isSeparator()) names << action->objectName();
  }
  return names;
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    ovx::InstallEngine();
    ovx::InstallExport();
    ovx::InstallPreview();
  }

  void cleanup() {
    for (TovxPreviewForm* form : ovx::OpenPreviewForms()) delete form;
  }

  // --- layout and zoom, without widgets -------------------------------------------------

  void PageLayout_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<QRect>>("rects");
    // Two 561 x 397 pages: a row is each page plus 10, centred in W.
    QTest::newRow("side by side at 1132")
        << 1132 << QList<QRect>{{10, 10, 561, 397}, {581, 10, 561, 397}};
    QTest::newRow("stacked at 1131")
        << 1131 << QList<QRect>{{295, 10, 561, 397}, {295, 417, 561, 397}};
    QTest::newRow("centred in a wide window")
        << 1500 << QList<QRect>{{194, 10, 561, 397}, {765, 10, 561, 397}};
    QTest::newRow("narrower than a page")
        << 300 << QList<QRect>{{10, 10, 561, 397}, {10, 417, 561, 397}};
  }

  void PageLayout() {
    QFETCH(int, width);
    QFETCH(QList<QRect>, rects);
    TovxPageList list;
    list.AddPage(QSize(561, 397));
    list.AddPage(QSize(561, 397));
    list.Layout(width);
    QCOMPARE(list.PageRect(0), rects[0]);
    QCOMPARE(list.PageRect(1), rects[1]);
    QCOMPARE(list.LayoutHeight(), rects[1].bottom() + 1);
  }

  void PageLayoutLookups() {
    TovxPageList list;
    list.SetZoom(0.5);
    for (int i = 0; i < 5; ++i) list.AddPage(QSize(561, 397));  // 281 x 199 at 0.5
    list.Layout(300);                                           // one page a row
    // 198.5 rounds to the even 198.
    QCOMPARE(list.PageRect(1).top(), 10 + 198 + 10);
    // A page counts as shown once its top is within a fifth of its height.
    QCOMPARE(list.FindPage(0), 0);
    QCOMPARE(list.FindPage(218 - 39 - 1), 0);
    QCOMPARE(list.FindPage(218 - 39), 1);
    QCOMPARE(list.FindPage(100000), 4);
    QCOMPARE(list.FindPageAt(20, 20), 0);
    QCOMPARE(list.FindPageAt(5, 20), -1);  // the gap left of the page
    // Outside the list: an empty A4 page's place at the zoom.
    QCOMPARE(list.PageRect(99).size(), QSize(397, 562));
    QCOMPARE(TovxPageList().FindPage(0), -1);
  }

  void ZoomText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("zoom");  // -1: not a number, ignored
    QTest::newRow("space and per cent") << "75 %" << 0.75;
    QTest::newRow("per cent") << "10%" << 0.1;
    QTest::newRow("bare number") << "150" << 1.5;
    QTest::newRow("decimal comma") << "12,5%" << 0.125;
    QTest::newRow("words") << "abc" << -1.0;
    QTest::newRow("empty") << "" << -1.0;
    QTest::newRow("only a sign") << "%" << -1.0;
    QTest::newRow("infinite") << "inf%" << -1.0;
    QTest::newRow("overflow") << "1e999%" << -1.0;
  }

  void ZoomText() {
    QFETCH(QString, text);
    QFETCH(double, zoom);
    const std::optional<double> parsed = ovx::ParseZoomText(text);
    if (zoom < 0) {
      QVERIFY(!parsed);
    } else {
      QVERIFY(parsed);
      QCOMPARE(*parsed, zoom);
    }
  }

  void FitZoomNeedsAPage() {
    const QSize workspace(826, 626);
    // 800 x 600 available; a single page leaves out the scroll bar.
    QCOMPARE(*ovx::WholePageZoom(workspace, QSize(400, 200), 17, 1), 2.0);
    QCOMPARE(*ovx::WholePageZoom(workspace, QSize(200, 600), 17, 3), 1.0);
    QCOMPARE(*ovx::PageWidthZoom(workspace, QSize(783, 100), 17, 2), 1.0);
    QVERIFY(!ovx::WholePageZoom(workspace, QSize(400, 200), 17, 0));
    QVERIFY(!ovx::WholePageZoom(workspace, QSize(0, 200), 17, 1));
    QVERIFY(!ovx::PageWidthZoom(workspace, QSize(0, 0), 17, 1));
    // A window smaller than its margins still gives a positive zoom.
    QVERIFY(*ovx::WholePageZoom(QSize(3, 3), QSize(400, 200), 17, 1) > 0);
  }

  // --- the control ------------------------------------------------------------------------

  void EmptyPreviewKeepsZoomAndIgnoresPageCommands() {
    TovxPreview preview;
    preview.resize(800, 600);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.SetZoom(1.5);
    preview.SetZoomMode(TovxZoomMode::zmWholePage);
    QCOMPARE(preview.Zoom(), 1.5);
    preview.SetZoomMode(TovxZoomMode::zmPageWidth);
    QCOMPARE(preview.Zoom(), 1.5);
    preview.Next();
    preview.Last();
    preview.SetPageNo(3);
    QCOMPARE(preview.PageNo(), 0);
    QVERIFY(!preview.FindNext());
    // Painting and the mouse find nothing to do.
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton);
    preview.Workspace()->repaint();
  }

  void ZoomLimits() {
    auto report = ManyPages(2);
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.Init(report.get(), ovx::PreparedPages(*report));
    preview.SetZoom(0.1);
    QCOMPARE(preview.Zoom(), 0.25);
    preview.SetZoom(1e9);
    QCOMPARE(preview.Zoom(), ovx::kMaxZoom);
    preview.SetZoom(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(preview.Zoom(), ovx::kMaxZoom);
    // Ctrl + wheel: 0.1 a notch, never below 0.3 that way.
    preview.SetZoom(0.5);
    preview.HandleWheelZoom(-5);
    QCOMPARE(preview.Zoom(), 0.3);
    preview.HandleWheelZoom(2);
    QVERIFY(qAbs(preview.Zoom() - 0.5) < 1e-9);
    // A fitted zoom follows the window.
    preview.resize(700, 500);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.SetZoomMode(TovxZoomMode::zmWholePage);
    const double small = preview.Zoom();
    preview.resize(1400, 1000);
    QTRY_VERIFY(preview.Zoom() > small * 1.5);
    QCOMPARE(preview.ZoomMode(), TovxZoomMode::zmWholePage);
  }

  void KeysNavigate() {
    auto report = ManyPages(5);
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.resize(700, 500);
    preview.Init(report.get(), ovx::PreparedPages(*report));
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QWidget* pages = preview.Workspace();
    QCOMPARE(preview.PageNo(), 1);
    struct Step {
      Qt::Key key;
      Qt::KeyboardModifiers modifiers;
      int page;
    };
    const Step steps[] = {
        {Qt::Key_End, Qt::NoModifier, 5},          {Qt::Key_PageUp, Qt::ControlModifier, 4},
        {Qt::Key_PageUp, Qt::ControlModifier, 3},  {Qt::Key_Home, Qt::NoModifier, 1},
        {Qt::Key_PageUp, Qt::ControlModifier, 1},  {Qt::Key_PageDown, Qt::ControlModifier, 2},
        {Qt::Key_PageDown, Qt::ControlModifier, 3}};
    for (const Step& step : steps) {
      QTest::keyClick(pages, step.key, step.modifiers);
      QCOMPARE(preview.PageNo(), step.page);
    }
    // Without Ctrl, Page Down scrolls 300 pixels and the page follows the
    // scroll position.
    preview.First();
    QScrollBar* bar = preview.Workspace()->verticalScrollBar();
    const int top = bar->value();
    QTest::keyClick(pages, Qt::Key_PageDown);
    QCOMPARE(bar->value(), top + 300);
    // Page 2 starts at 417 and counts from a fifth of its 397 pixels before.
    QCOMPARE(preview.PageNo(), 1);
    QTest::keyClick(pages, Qt::Key_Down);
    QTest::keyClick(pages, Qt::Key_Down);
    QTest::keyClick(pages, Qt::Key_Down);
    QTest::keyClick(pages, Qt::Key_Down);
    QTest::keyClick(pages, Qt::Key_Down);
    QCOMPARE(bar->value(), top + 340);
    QCOMPARE(preview.PageNo(), 2);
  }

  void FindStepsThroughRecordsAndPages() {
    auto report = MakeReport({{"天地", "玄黄", "天下"}, {"宇宙", "天"}});
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.resize(700, 500);
    preview.Init(report.get(), ovx::PreparedPages(*report));
    QStringList messages;
    preview.show_message = [&](const QString& text) { messages << text; };
    int recorded = 0;
    preview.Search().record = [&](TovxPreviewPages& pages, int index) {
      ++recorded;
      return ovx::RecordPageText(pages, index);
    };
    QVERIFY(preview.Find(QStringLiteral("天"), true, true));
    QCOMPARE(preview.Search().Current()->page, 0);
    const QRect first = preview.Search().Current()->bounds;
    QVERIFY(preview.FindNext());
    QCOMPARE(preview.Search().Current()->page, 0);
    QVERIFY(preview.Search().Current()->bounds.top() > first.top());  // "天下", further down
    QCOMPARE(recorded, 1);                                            // one page, recorded once
    QVERIFY(preview.FindNext());
    QCOMPARE(preview.Search().Current()->page, 1);
    QCOMPARE(preview.PageNo(), 2);
    QVERIFY(messages.isEmpty());
    QVERIFY(!preview.FindNext());
    QCOMPARE(messages, QStringList{QStringLiteral("Text not found")});
    // Case sensitivity decides for Latin text.
    auto latin = MakeReport({{"Alpha", "alpha"}});
    QVERIFY(latin->PrepareReport());
    preview.Init(latin.get(), ovx::PreparedPages(*latin));
    QVERIFY(preview.Find(QStringLiteral("ALPHA"), false, true));
    QVERIFY(preview.FindNext());
    QVERIFY(!preview.Find(QStringLiteral("ALPHA"), true, true));
  }

  void HyperlinkToAPage() {
    auto report = ManyPages(4);
    auto* link = dynamic_cast<TovxMemoView*>(
        dynamic_cast<TovxReportPage*>(report->Objects()[0])->Objects()[0]);
    QVERIFY(link);
    link->Hyperlink().SetKind(TovxHyperlinkKind::hkPageNumber);
    link->Hyperlink().SetValue(QStringLiteral("3"));
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.resize(700, 500);
    preview.Init(report.get(), ovx::PreparedPages(*report));
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QString hovered;
    connect(&preview, &TovxPreview::ObjectHovered, this,
            [&](const QString& value, const QString&) { hovered = value; });
    const QPoint at = PointOnPage(preview, 0, 40, 20);  // inside the first memo
    QTest::mouseMove(preview.Workspace()->viewport(), at);
    QCOMPARE(hovered, QStringLiteral("3"));
    QCOMPARE(preview.Workspace()->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(preview.PageNo(), 3);
  }

  // A click on a drill-down header opens its group and the view stays where
  // it was; a new preparation closes the groups again.
  void DrillDownHeaderOpensItsGroup() {
    ovx::test::RowsDataSet rows(QStringLiteral("Rows"), {"甲", "甲", "甲", "乙", "乙", "乙"});
    ovx::test::FunctionEvaluator eval;
    eval.calc = [&](const QString& e) -> QVariant {
      if (e == "key") return rows.Value(QStringLiteral("key"));
      if (e == "row") return QStringLiteral("第%1行").arg(rows.RecNo() + 1);
      return e;
    };
    auto report = MakeReport({{"封面"}, {}});
    report->SetEvaluator(&eval);
    auto* page = dynamic_cast<TovxReportPage*>(report->Objects()[1]);
    QVERIFY(page);
    page->SetName(QStringLiteral("Groups"));
    const auto add_band = [&](TovxBand* band, const QString& name, double top,
                              const QString& text) {
      band->SetName(name);
      band->SetBounds(0, top, 480, 24);
      auto* memo = new TovxMemoView(band);
      memo->SetName(name + QStringLiteral("Memo"));
      memo->SetBounds(4, 2, 200, 20);
      memo->SetText(text);
    };
    auto* group = new TovxGroupHeader(page);
    add_band(group, QStringLiteral("GroupHeader1"), 10, QStringLiteral("[key]组"));
    group->SetCondition(QStringLiteral("key"));
    group->SetDrillDown(true);
    auto* data = new TovxMasterData(page);
    add_band(data, QStringLiteral("MasterData1"), 50, QStringLiteral("[row]"));
    data->SetDataSet(&rows);

    TovxPreview preview;
    preview.resize(700, 500);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.Init(report.get(), ovx::PreparedPages(*report));
    QVERIFY(preview.Prepare(true));
    const auto lines = [&] {
      QStringList names;
      for (const TovxComponent* o : preview.PreviewPages()->GetPage(1)->Objects()) {
        if (dynamic_cast<const TovxBand*>(o)) names << o->Name();
      }
      return names;
    };
    const QString shots = qEnvironmentVariable("VELMORA_DRILL_SHOTS");
    const auto shoot = [&](const char* name) {
      if (shots.isEmpty()) return;
      preview.repaint();
      QVERIFY(preview.grab().save(QDir(shots).filePath(QString::fromLatin1(name))));
    };
    QCOMPARE(lines(), (QStringList{"GroupHeader1", "GroupHeader1"}));
    preview.SetPageNo(2);
    QCOMPARE(preview.PageNo(), 2);
    QApplication::processEvents();
    const int scrolled = preview.Workspace()->verticalScrollBar()->value();
    shoot("drill_collapsed.png");

    bool frozen_while_running = false;
    connect(&preview, &TovxPreview::RunningChanged, this, [&](bool running) {
      if (running) frozen_while_running = preview.Workspace()->Frozen();
    });
    const QPoint header = PointOnPage(preview, 1, 20, 10);
    // Sent, not moved: a real cursor on a display moves in its own time.
    QMouseEvent move(QEvent::MouseMove, header,
                     preview.Workspace()->viewport()->mapToGlobal(header), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(preview.Workspace()->viewport(), &move);
    QCOMPARE(preview.Workspace()->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier, header);
    QCOMPARE(lines(), (QStringList{"GroupHeader1", "MasterData1", "MasterData1", "MasterData1",
                                   "GroupHeader1"}));
    QVERIFY(frozen_while_running);
    QVERIFY(!preview.Workspace()->Frozen());
    QCOMPARE(preview.PageNo(), 2);
    QCOMPARE(preview.Workspace()->verticalScrollBar()->value(), scrolled);
    QVERIFY(group->DrillName().isEmpty());
    shoot("drill_expanded.png");

    // The same click closes it again.
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      PointOnPage(preview, 1, 20, 10));
    QCOMPARE(lines().size(), 2);
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      PointOnPage(preview, 1, 20, 10));
    QCOMPARE(lines().size(), 5);
    // A new preparation starts from the template: every group closed.
    QVERIFY(preview.Prepare(true));
    QCOMPARE(lines().size(), 2);
  }

  // A link to a detail page opens it in a tab of its own, with its own
  // store; closing the tab frees it and the report's pages come back.
  void DetailPageOpensInATab() {
    auto report = MakeReport({{"目录"}, {"细节一", "细节二"}});
    auto* detail = dynamic_cast<TovxReportPage*>(report->Objects()[1]);
    detail->SetName(QStringLiteral("Detail"));
    detail->SetVisible(false);  // reached only through the link
    auto* link = dynamic_cast<TovxMemoView*>(
        dynamic_cast<TovxReportPage*>(report->Objects()[0])->Objects()[0]);
    link->Hyperlink().SetKind(TovxHyperlinkKind::hkDetailPage);
    link->Hyperlink().SetDetailPage(QStringLiteral("Detail"));
    link->Hyperlink().SetValue(QStringLiteral("1"));
    link->Hyperlink().SetTabCaption(QStringLiteral("细节"));
    QVERIFY(report->PrepareReport());
    TovxPreviewPages* pages = ovx::PreparedPages(*report);
    QCOMPARE(pages->Count(), 1);
    TovxPreview preview;
    preview.resize(700, 500);
    preview.Init(report.get(), pages);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QVERIFY(preview.TabBar()->isHidden());
    const QPoint at = PointOnPage(preview, 0, 40, 20);
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(preview.Tabs().Count(), 2);
    QCOMPARE(preview.CurrentTab(), 1);
    QVERIFY(preview.TabBar()->isVisible());
    QCOMPARE(preview.TabBar()->tabText(1), QStringLiteral("细节"));
    QVERIFY(preview.PreviewPages() != pages);
    QCOMPARE(preview.PageCount(), 1);
    QVERIFY(preview.Find(QStringLiteral("细节二"), true, true));
    // The same link again selects the open tab.
    preview.SwitchTab(0);
    QCOMPARE(preview.PreviewPages(), pages);
    QTest::mouseClick(preview.Workspace()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      PointOnPage(preview, 0, 40, 20));
    QCOMPARE(preview.Tabs().Count(), 2);
    QCOMPARE(preview.CurrentTab(), 1);
    preview.CloseTab(1);
    QCOMPARE(preview.Tabs().Count(), 1);
    QCOMPARE(preview.PreviewPages(), pages);
    QVERIFY(preview.TabBar()->isHidden());
    preview.Workspace()->repaint();
  }

  void SaveAndLoadGiveTheSamePages() {
    auto report = MakeReport({{"天地", "玄黄"}, {"宇宙"}, {"洪荒", "日月", "盈昃"}});
    QVERIFY(report->PrepareReport());
    TovxPreviewPages* pages = ovx::PreparedPages(*report);
    pages->Outline().AddItem(QStringLiteral("第一章"), 0);
    TovxPreview preview;
    preview.Init(report.get(), pages);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pages.op3"));
    QVERIFY(preview.SaveToFile(file));

    TovxReport other;
    TovxPreview loaded;
    QStringList errors;
    loaded.show_error = [&](const QString& text) { errors << text; };
    loaded.Init(&other, ovx::PreparedPages(other));
    int loaded_signals = 0;
    connect(&loaded, &TovxPreview::ReportLoaded, this, [&] { ++loaded_signals; });
    QVERIFY(loaded.LoadFromFile(file));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
    QCOMPARE(loaded_signals, 1);
    QCOMPARE(loaded.PageCount(), 3);
    QCOMPARE(loaded.PageNo(), 1);
    QCOMPARE(ovx::DumpPreparedPages(*ovx::PreparedPages(other)), ovx::DumpPreparedPages(*pages));
    QCOMPARE(loaded.OutlineTree()->topLevelItemCount(), 1);
    QCOMPARE(loaded.OutlineTree()->topLevelItem(0)->text(0), QStringLiteral("第一章"));
    QVERIFY(!loaded.Workspace()->Frozen());

    // A damaged file: the error goes on, the view comes back unfrozen and
    // keeps the pages it had.
    QFile damaged(dir.filePath(QStringLiteral("damaged.op3")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("<?xml version=\"1.0\"?><preparedreport><previewpages><page0");
    damaged.close();
    bool threw = false;
    try {
      (void)loaded.LoadFromFile(damaged.fileName());
    } catch (const ovx::Error&) {
      threw = true;
    }
    QVERIFY(threw);
    QVERIFY(!loaded.Workspace()->Frozen());
    QVERIFY(!loaded.MessageVisible());
    QCOMPARE(loaded.PageCount(), 3);
  }

  void PageSettingsRejectsImpossibleValues_data() {
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("left");
    QTest::addColumn<bool>("valid");
    QTest::newRow("fits") << "14.85"
                          << "0.5" << true;
    QTest::newRow("not a number") << "abc"
                                  << "0.5" << false;
    QTest::newRow("zero width") << "0"
                                << "0.5" << false;
    QTest::newRow("margins eat the paper") << "14.85"
                                           << "14.9" << false;
    QTest::newRow("negative margin") << "14.85"
                                     << "-1" << false;
    QTest::newRow("absurdly wide") << "1e7"
                                   << "0.5" << false;
  }

  void PageSettingsRejectsImpossibleValues() {
    QFETCH(QString, width);
    QFETCH(QString, left);
    QFETCH(bool, valid);
    TovxReportPage page;
    page.SetPaperWidth(148.5);
    page.SetPaperHeight(105);
    TovxPageSettingsForm form(nullptr, TovxPageSettingsForm::Unit::kCentimetres);
    form.SetPage(page);
    form.findChild<QLineEdit*>("WidthE")->setText(width);
    form.findChild<QLineEdit*>("LeftE")->setText(left);
    const auto values = form.TryValues();
    QCOMPARE(values.has_value(), valid);
    if (valid) {
      QCOMPARE(values->paper_width, 148.5);
      QCOMPARE(values->left_margin, 5.0);
    }
  }

  // --- the window -------------------------------------------------------------------------

  void ToolbarFollowsTheButtons_data() {
    QTest::addColumn<quint32>("buttons");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("separated");  // groups with a separator before them
    const auto bits = [](std::initializer_list<B> set) { return TovxPreviewButtons(set).Bits(); };
    QTest::newRow("without pbZoom")
        << bits({B::pbPrint, B::pbFind, B::pbNavigator})
        << QStringList{"PrintB",     "FindB", "FirstB", "PriorB", "PageE",
                       "PageCountL", "NextB", "LastB",  "CancelB"}
        << QStringList{"FindB", "FirstB", "CancelB"};
    QTest::newRow("zoom only, no full screen, no close")
        << bits({B::pbZoom, B::pbNoFullScreen, B::pbNoClose})
        << QStringList{"ZoomPlusB", "ZoomCB", "ZoomMinusB"} << QStringList{};
    QTest::newRow("outline and page setup")
        << bits({B::pbOutline, B::pbPageSetup, B::pbEdit, B::pbLoad})
        << QStringList{"OpenB", "OutlineB", "ThumbB", "PageSettingsB", "DesignerB", "CancelB"}
        << QStringList{"OutlineB", "CancelB"};
  }

  void ToolbarFollowsTheButtons() {
    QFETCH(quint32, buttons);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, separated);
    auto report = ManyPages(1);
    report->PreviewOptions().SetButtons(TovxPreviewButtons::FromBits(buttons));
    QVERIFY(report->PrepareReport());
    TovxPreviewForm form;
    form.Init(report.get(), ovx::PreparedPages(*report));
    QCOMPARE(VisibleButtons(form), shown);
    for (const char* group : {"FindB", "ZoomPlusB", "OutlineB", "FirstB", "CancelB"}) {
      QCOMPARE(form.SeparatorBeforeVisible(group), separated.contains(QLatin1String(group)));
    }
  }

  void SaveMenuWithExportOnly() {
    // A registered filter for the export menu, for the time of the test.
    TovxJPEGExport jpeg;
    auto report = ManyPages(1);
    report->PreviewOptions().SetButtons({B::pbExport});
    QVERIFY(report->PrepareReport());
    TovxPreviewForm form;
    form.Init(report.get(), ovx::PreparedPages(*report));
    QVERIFY(form.Button("SaveB")->isVisible());
    const QList<QAction*> entries = form.SaveMenu()->actions();
    QVERIFY(!entries.isEmpty());
    for (QAction* entry : entries) {
      QVERIFY(!entry->isSeparator());
      QVERIFY(entry->text().endsWith(QStringLiteral("...")));
    }
    QVERIFY(!form.SaveMenu()->findChild<QAction*>("SaveOp3"));
  }

  void ZoomAndPageBoxes() {
    auto report = ManyPages(3);
    QVERIFY(report->PrepareReport());
    TovxPreviewForm form;
    form.Init(report.get(), ovx::PreparedPages(*report));
    struct Case {
      const char* text;
      double zoom;
      const char* shown;
    };
    const Case cases[] = {{"75 %", 0.75, "75%"},
                          {"10%", 0.25, "25%"},
                          {"abc", 0.25, "25%"},  // ignored, as the page box does
                          {"200%", 2.0, "200%"}};
    for (const Case& c : cases) {
      form.ApplyZoomText(QString::fromUtf8(c.text));
      QCOMPARE(form.Preview()->Zoom(), c.zoom);
      QCOMPARE(form.ZoomBox()->currentText(), QString::fromUtf8(c.shown));
    }
    form.ApplyZoomText(QStringLiteral("整页"));
    QCOMPARE(form.Preview()->ZoomMode(), TovxZoomMode::zmWholePage);

    form.ApplyPageText(QStringLiteral("3"));
    QCOMPARE(form.Preview()->PageNo(), 3);
    form.ApplyPageText(QStringLiteral("x"));
    QCOMPARE(form.Preview()->PageNo(), 3);
    form.ApplyPageText(QStringLiteral("99"));
    QCOMPARE(form.Preview()->PageNo(), 3);
    QCOMPARE(form.PageBox()->text(), QStringLiteral("3"));
    QCOMPARE(form.StatusText(0), QStringLiteral("页 3 / 3"));
  }

  void EscapeClosesWithoutACloseButton() {
    auto report = ManyPages(1);
    report->PreviewOptions().SetButtons({B::pbNoClose});
    QVERIFY(report->PrepareReport());
    TovxPreviewForm form;
    form.Init(report.get(), ovx::PreparedPages(*report));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.Button("CancelB")->isVisible());
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(!form.isVisible());
  }

  // Closing while the engine runs stops it first; the window closes only
  // once the engine has returned, and the store is whole.
  void ClosingDuringPreparationWaitsForTheEngine() {
    auto report = ManyPages(300);
    report->PreviewOptions().SetModal(false);
    QVERIFY(report->ShowReport());
    const auto forms = ovx::OpenPreviewForms();
    QCOMPARE(forms.size(), size_t{1});
    QPointer<TovxPreviewForm> form = forms.front();
    bool closed_early = false;
    int asked = 0;
    connect(form->Preview(), &TovxPreview::PageCountChanged, this, [&](int count) {
      if (count < 3 || asked++ > 0) return;
      form->reject();
      closed_early = !form->isVisible();
    });
    QTRY_VERIFY_WITH_TIMEOUT(asked > 0, 20000);
    QVERIFY(!closed_early);
    QTRY_VERIFY_WITH_TIMEOUT(!form || !form->isVisible(), 20000);
    QVERIFY(!ovx::ReportEngine(*report)->Running());
    const int prepared = ovx::PreparedPages(*report)->Count();
    QVERIFY2(prepared > 0 && prepared < 300, qPrintable(QString::number(prepared)));
    // The window went away with its pointer to the pages; the report and
    // its pages are still fine to use.
    QTRY_VERIFY(!form);
    QVERIFY(report->PrepareReport());
    QCOMPARE(ovx::PreparedPages(*report)->Count(), 300);
  }

  // Minimising the modal window minimises the windows it blocks; restoring
  // one of them brings everything back with the preview on top. A modeless
  // preview minimises alone.
  void MinimisingAModalPreviewTakesTheApplication_data() {
    QTest::addColumn<bool>("modal");
    QTest::newRow("modal") << true;
    QTest::newRow("modeless") << false;
  }

  void MinimisingAModalPreviewTakesTheApplication() {
    QFETCH(bool, modal);
    QWidget main_window;
    main_window.resize(300, 200);
    main_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main_window));
    auto report = ManyPages(3);
    report->PreviewOptions().SetModal(modal);
    bool main_minimised = false;
    bool main_back = false;
    bool preview_back = false;
    QTimer::singleShot(0, [&] {
      TovxPreviewForm* form = ovx::OpenPreviewForms().front();
      form->setWindowState(Qt::WindowMinimized);
      main_minimised = main_window.isMinimized();
      main_window.setWindowState(Qt::WindowNoState);
      main_back = !main_window.isMinimized();
      preview_back = !form->isMinimized() && form->isVisible();
      if (modal) form->reject();
    });
    QVERIFY(report->ShowReport());
    if (!modal) QTRY_VERIFY(preview_back || main_back);
    QCOMPARE(main_minimised, modal);
    QVERIFY(main_back);
    QCOMPARE(preview_back, modal);
  }

  // With MDIChild the preview opens as a subwindow of the area the host
  // named (never modal), and closing it removes the subwindow; without the
  // option or the area it is a window of its own.
  void MdiChildOpensInTheHostsArea_data() {
    QTest::addColumn<bool>("mdi_child");
    QTest::addColumn<bool>("area");
    QTest::newRow("MDIChild in an area") << true << true;
    QTest::newRow("MDIChild without an area") << true << false;
    QTest::newRow("not MDIChild") << false << true;
  }

  void MdiChildOpensInTheHostsArea() {
    QFETCH(bool, mdi_child);
    QFETCH(bool, area);
    QMainWindow host;
    auto* mdi = new QMdiArea(&host);
    host.setCentralWidget(mdi);
    host.resize(900, 700);
    host.show();
    ovx::SetPreviewMdiArea(area ? mdi : nullptr);
    auto report = ManyPages(30);
    report->PreviewOptions().SetMDIChild(mdi_child);
    // Modal, unless it is a subwindow: then ShowReport returns at once.
    bool was_subwindow = false;
    const bool expect_subwindow = mdi_child && area;
    if (expect_subwindow) {
      QVERIFY(report->ShowReport());
      QCOMPARE(mdi->subWindowList().size(), 1);
      TovxPreviewForm* form = ovx::OpenPreviewForms().front();
      was_subwindow = mdi->subWindowList().front()->widget() == form;
      QVERIFY(form->isVisible());
      QVERIFY(!form->isWindow());
      QTRY_VERIFY_WITH_TIMEOUT(!form->Preview()->Running() && form->Preview()->PageCount() == 30,
                               20000);
      form->Button("CancelB")->trigger();
      QTRY_VERIFY(mdi->subWindowList().isEmpty());
      QVERIFY(ovx::OpenPreviewForms().empty());
    } else {
      // Looked at, and closed, from inside the modal window's own loop.
      bool window_of_its_own = false;
      QTimer::singleShot(0, [&] {
        for (TovxPreviewForm* form : ovx::OpenPreviewForms()) {
          window_of_its_own = form->isWindow() && mdi->subWindowList().isEmpty();
          form->reject();
        }
      });
      QVERIFY(report->ShowReport());
      QVERIFY(window_of_its_own);
      QVERIFY(mdi->subWindowList().isEmpty());
    }
    QCOMPARE(was_subwindow, expect_subwindow);
    ovx::SetPreviewMdiArea(nullptr);
  }

  // With old-style progress the report is prepared first (behind the
  // progress window) and the preview opens on the finished pages.
  void OldStyleProgressPreparesBeforeShowing() {
    auto report = ManyPages(12);
    report->SetOldStyleProgress(true);
    report->PreviewOptions().SetModal(false);
    QVERIFY(report->ShowReport());
    QCOMPARE(ovx::OpenPreviewForms().size(), size_t{1});
    TovxPreview& preview = *ovx::OpenPreviewForms().front()->Preview();
    QVERIFY(!preview.Running());
    QCOMPARE(preview.PageCount(), 12);
    QCOMPARE(preview.PageNo(), 1);
    // Nothing left hooked into the report.
    QVERIFY(!report->on_progress && !report->on_progress_start && !report->on_progress_stop);
  }

  void ReportDestroyedClosesItsWindow() {
    auto report = ManyPages(2);
    report->PreviewOptions().SetModal(false);
    QVERIFY(report->ShowReport());
    QPointer<TovxPreviewForm> form = ovx::OpenPreviewForms().front();
    QTRY_COMPARE(form->Preview()->PageCount(), 2);
    QTRY_VERIFY(!form->Preview()->Running());
    report.reset();
    QVERIFY(!form || !form->isVisible());
    QVERIFY(!form || !form->Preview()->PreviewPages());
  }

  // The application's print button: the cover and body pages in the
  // preview, thumbnails open, exactly the application's five buttons.
  void PrintButtonOpensThePreview() {
    TfrmMain window(QStringLiteral(VELMORA_APP_DATA_DIR));
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.Report().PreviewOptions().SetModal(false);
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>("btn2"), Qt::LeftButton);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    QCOMPARE(ovx::OpenPreviewForms().size(), size_t{1});
    TovxPreviewForm& form = *ovx::OpenPreviewForms().front();
    TovxPreview& preview = *form.Preview();
    QTRY_VERIFY_WITH_TIMEOUT(preview.PageCount() > 0 && !preview.Running(), 30000);
    QCOMPARE(preview.PageCount(), 39);
    QCOMPARE(form.Report()->PreviewOptions().Buttons(), ovx::app::ApplicationPreviewButtons());
    QCOMPARE(VisibleButtons(form), (QStringList{"PrintB", "SaveB", "PdfB", "ZoomPlusB", "ZoomCB",
                                                "ZoomMinusB", "FullScreenBtn", "CancelB"}));
    QVERIFY(!form.Button("PrintB")->isEnabled());
    QVERIFY(!form.Button("PrintB")->toolTip().isEmpty());
    QCOMPARE(form.ZoomBox()->currentText(), QStringLiteral("100%"));
    QCOMPARE(form.StatusText(0), QStringLiteral("页 1 / 39"));

    QVERIFY(preview.ThumbnailVisible());
    TovxPreviewWorkspace* thumbnails = preview.ThumbnailWorkspace();
    QVERIFY(thumbnails->isVisible());
    QCOMPARE(thumbnails->PageList().Count(), 39);
    QCOMPARE(thumbnails->Zoom(), ovx::kThumbnailZoom);
    // Drawn a few at a time, until every one in the pane is there.
    QTRY_VERIFY_WITH_TIMEOUT(thumbnails->FullyDrawn() && thumbnails->CachedPageCount() > 0, 20000);
    // The cover is landscape (561 x 397), body pages too: 56 x 40 at 0.1.
    QCOMPARE(thumbnails->PageList().PageRect(0).size(), QSize(56, 40));

    // The right-click menu repeats the toolbar up to its second separator.
    QStringList entries;
    for (QAction* action : form.PopupMenu()->actions()) entries << action->text();
    QVERIFY(entries.contains(QStringLiteral("放大")));
    QCOMPARE(entries.first(), QStringLiteral("打印"));
    QVERIFY(!form.PopupMenu()->actions().first()->isEnabled());
    QVERIFY(!entries.contains(QStringLiteral("关闭(&X)")));
    form.reject();
  }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
