// Printing and exporting from the preview control, offscreen: the print
// job's progress in the preview's progress window, cancel between pages,
// the view locked while a run goes on, and what a run that succeeded with
// problems tells the user. Prints go to a private CUPS server.
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/cups_spooler.h"
#include "platform/font_service.h"
#include "preview/preview.h"
#include "preview/preview_form.h"
#include "preview/preview_host.h"
#include "preview/progress.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "tests/export/font_test_fonts.h"
#include "tests/print/private_cups.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// `count` A4 pages with one memo each, prepared.
std::unique_ptr<TovxReport> A4Pages(int count) {
  auto report = std::make_unique<TovxReport>();
  report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  for (int i = 0; i < count; ++i) {
    auto* page = new TovxReportPage(report.get());
    page->SetName(QStringLiteral("Page%1").arg(i + 1));
    page->SetPaperSize(9);
    auto* memo = new TovxMemoView(page);
    memo->SetName(QStringLiteral("Memo%1").arg(i + 1));
    memo->SetBounds(20, 20, 300, 30);
    memo->SetText(QStringLiteral("Page %1").arg(i + 1));
  }
  report->PrintOptions().SetShowDialog(false);
  report->PrintOptions().SetPrintMode(TovxPrintMode::pmDefault);
  return report;
}

int PdfPageCount(const QByteArray& pdf) {
  const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
  if (qpdf.isEmpty()) return -1;
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("job.pdf")));
  if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size()) return -1;
  file.close();
  QProcess process;
  process.start(qpdf, {QStringLiteral("--show-npages"), file.fileName()});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return -1;
  return process.readAllStandardOutput().trimmed().toInt();
}

// Records what the preview's progress window shows while a print runs,
// through the host's hooks (which run before the preview's own).
struct ProgressRecord {
  int maximum = -1;
  QList<int> positions;
  QString last_message;
  int pages_sent = 0;
};

void Record(TovxPreview& preview, ProgressRecord& record, int cancel_at_page) {
  ovx::PrintHost& host = ovx::GlobalPrintHost();
  host = ovx::PrintHost();
  host.on_progress_start = [&preview, &record] {
    TovxProgress* progress = preview.JobProgress();
    QVERIFY(progress);
    auto* bar = progress->findChild<QProgressBar*>();
    QVERIFY(bar);
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [bar, &record, progress](int value) {
      record.maximum = bar->maximum();
      if (value > 0) record.positions << value;
      record.last_message = progress->Message();
    });
  };
  host.on_print_page = [&record](TovxReportPage&, int) { ++record.pages_sent; };
  host.on_progress = [&preview, cancel_at_page](int page) {
    if (page != cancel_at_page) return;
    // The user presses cancel in the progress window while page 10 goes out.
    auto* cancel = preview.JobProgress()->findChild<QPushButton*>(QStringLiteral("CancelB"));
    QVERIFY(cancel);
    cancel->click();
  };
}

}  // namespace

class PreviewJobWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    ovx::InstallEngine();
    ovx::InstallExport();
    ovx::InstallPrinting();
    ovx::InstallPreview();
    skip_reason_ = cups_.Start();
    if (skip_reason_.isEmpty()) {
      ovx::CupsSpooler::SetServer(cups_.Socket());
      ovx::SetPrinters(std::make_unique<TovxPrinters>(std::make_shared<ovx::CupsSpooler>()));
    }
  }

  void cleanupTestCase() {
    ovx::GlobalPrintHost() = ovx::PrintHost();
    ovx::SetPrinters(nullptr);
  }

  // A 50-page print: 50 steps in the progress window (page N of 50), and
  // the spooler receives the 50 pages.
  void PrintShowsEveryPageInTheProgressWindow() {
    if (!skip_reason_.isEmpty()) QSKIP(qPrintable(skip_reason_));
    cups_.ClearJobs();
    auto report = A4Pages(50);
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.Init(report.get(), ovx::PreparedPages(*report));
    preview.resize(600, 400);
    ProgressRecord record;
    Record(preview, record, -1);
    QList<bool> running;
    connect(&preview, &TovxPreview::RunningChanged, this, [&](bool on) { running << on; });
    QVERIFY(preview.Print());
    QCOMPARE(running, (QList<bool>{true, false}));
    QCOMPARE(preview.Job().Steps(), 50);
    QCOMPARE(record.maximum, 50);
    QList<int> expected;
    for (int page = 1; page <= 50; ++page) expected << page;
    QCOMPARE(record.positions, expected);
    QVERIFY2(record.last_message.contains(QStringLiteral("50")), qPrintable(record.last_message));
    QCOMPARE(record.pages_sent, 50);
    QVERIFY(!preview.JobProgress());
    QVERIFY(!preview.Busy());
    const std::vector<ovx::test::CapturedJob> jobs = cups_.WaitForJobs(1);
    QCOMPARE(jobs.size(), size_t{1});
    const int pages = PdfPageCount(jobs[0].document);
    if (pages >= 0) QCOMPARE(pages, 50);
  }

  // Cancel pressed while page 10 goes out: no page after it is drawn, the
  // job is withdrawn, and the spooler gets nothing of it.
  void CancelAfterPageTenSendsNoFurtherPage() {
    if (!skip_reason_.isEmpty()) QSKIP(qPrintable(skip_reason_));
    cups_.ClearJobs();
    auto report = A4Pages(50);
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.Init(report.get(), ovx::PreparedPages(*report));
    ProgressRecord record;
    Record(preview, record, 10);
    QVERIFY(preview.Print());  // a cancelled job is no failure
    QCOMPARE(record.pages_sent, 10);
    QCOMPARE(preview.Job().Steps(), 10);
    QVERIFY(!preview.Busy());
    // The next print goes out whole, and it is the only job the queue saw.
    auto small = A4Pages(3);
    QVERIFY(small->PrepareReport());
    TovxPreview second;
    second.Init(small.get(), ovx::PreparedPages(*small));
    ovx::GlobalPrintHost() = ovx::PrintHost();
    QVERIFY(second.Print());
    const std::vector<ovx::test::CapturedJob> jobs = cups_.WaitForJobs(1);
    QCOMPARE(jobs.size(), size_t{1});
    const int pages = PdfPageCount(jobs[0].document);
    if (pages >= 0) QCOMPARE(pages, 3);
  }

  // While an export runs the view is locked: no page change, no second
  // export, no print; the preview is busy until the run ends.
  void ExportLocksThePreview() {
    auto report = A4Pages(6);
    QVERIFY(report->PrepareReport());
    TovxPreview preview;
    preview.Init(report.get(), ovx::PreparedPages(*report));
    QTemporaryDir dir;
    TovxJPEGExport filter(nullptr, false);
    filter.SetShowDialog(false);
    filter.SetFileName(dir.filePath(QStringLiteral("page.jpg")));
    TovxJPEGExport second(nullptr, false);
    second.SetShowDialog(false);
    second.SetFileName(dir.filePath(QStringLiteral("second.jpg")));
    int steps = 0;
    bool second_started = true;
    bool printed = true;
    int page_during = -1;
    report->on_progress = [&](int page) {
      ++steps;
      if (page != 3) return;
      QVERIFY(preview.Busy());
      preview.Last();
      page_during = preview.PageNo();
      second_started = preview.Export(second);
      printed = preview.Print();
    };
    QVERIFY(preview.Export(filter));
    QCOMPARE(steps, 6);
    QCOMPARE(page_during, 1);
    QVERIFY(!second_started);
    QVERIFY(!printed);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("second.1.jpg"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("page.6.jpg"))));
    // The host's own hook is back, and the preview is free again.
    QVERIFY(report->on_progress);
    QVERIFY(!preview.Busy());
    preview.Last();
    QCOMPARE(preview.PageNo(), 6);
  }

  // Closing the preview window while an export runs stops the export;
  // the window closes once the run has returned, never under it.
  void ClosingDuringAnExportWaitsForIt() {
    auto report = A4Pages(8);
    report->PreviewOptions().SetModal(false);
    QVERIFY(report->ShowReport());
    const auto forms = ovx::OpenPreviewForms();
    QCOMPARE(forms.size(), size_t{1});
    QPointer<TovxPreviewForm> form = forms.front();
    QTRY_VERIFY_WITH_TIMEOUT(!form->Preview()->Busy() && form->Preview()->PageCount() == 8, 20000);
    QTemporaryDir dir;
    TovxJPEGExport filter(nullptr, false);
    filter.SetShowDialog(false);
    filter.SetFileName(dir.filePath(QStringLiteral("page.jpg")));
    int steps = 0;
    bool visible_after_close = false;
    report->on_progress = [&](int page) {
      ++steps;
      if (page != 3 || !form) return;
      form->reject();
      visible_after_close = form && form->isVisible();
    };
    QVERIFY(form->Preview()->Export(filter));  // a cancelled export is no failure
    QVERIFY(visible_after_close);
    QVERIFY2(steps == 3, qPrintable(QString::number(steps)));
    QTRY_VERIFY_WITH_TIMEOUT(!form || !form->isVisible(), 20000);
    report->on_progress = nullptr;
  }

  // A PDF export that writes a damaged font: the export succeeds, and once
  // it is over the preview's warning box lists the font's problem, only the
  // problems of this run, and again on the next run.
  void ExportWithAFontProblemShowsAWarningAfterwards() {
    QTemporaryDir dir;
    ovx::test::TestFontSpec spec;
    spec.family = QStringLiteral("Velmora Damaged");
    spec.cmap = {{U'A', 1}, {U'B', 2}};
    QFile font(dir.filePath(QStringLiteral("damaged.ttf")));
    QVERIFY(font.open(QIODevice::WriteOnly));
    QVERIFY(font.write(ovx::test::WithBadChecksum(ovx::test::BuildTestFont(spec), "glyf")) > 0);
    font.close();
    QVERIFY(ovx::FontService::Instance().AddPrivateFont(font.fileName()));
    struct Unregister {
      QString path;
      ~Unregister() { ovx::FontService::Instance().RemovePrivateFont(path); }
    } unregister{font.fileName()};

    auto report = A4Pages(2);
    for (int i = 1; i <= 2; ++i) {
      auto* memo = dynamic_cast<TovxMemoView*>(report->FindObject(QStringLiteral("Memo%1").arg(i)));
      QVERIFY(memo);
      memo->Font().SetName(spec.family);
      memo->SetText(QStringLiteral("ABBA"));
    }
    QVERIFY(report->PrepareReport());
    report->AddError(QStringLiteral("an earlier problem"));
    TovxPreview preview;
    preview.Init(report.get(), ovx::PreparedPages(*report));
    QStringList failures;
    preview.show_error = [&](const QString& text) { failures << text; };
    TovxPDFExport filter(nullptr, false);
    filter.SetShowDialog(false);
    filter.SetEmbeddedFonts(true);
    filter.SetFileName(dir.filePath(QStringLiteral("out.pdf")));

    for (int run = 0; run < 2; ++run) {
      // The window's own box, answered as soon as it is up.
      QString shown;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QTimer answer;
      connect(&answer, &QTimer::timeout, this, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          auto* box = qobject_cast<QMessageBox*>(widget);
          if (!box || !box->isVisible()) continue;
          shown = box->text();
          icon = box->icon();
          box->accept();
        }
      });
      answer.start(10);
      QVERIFY(preview.Export(filter));
      answer.stop();
      QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
      QCOMPARE(icon, QMessageBox::Warning);
      QVERIFY2(shown.contains(spec.family) && shown.contains(QStringLiteral("\"glyf\" checksum")),
               qPrintable(shown));
      QVERIFY2(!shown.contains(QStringLiteral("an earlier problem")), qPrintable(shown));
      QVERIFY(QFileInfo(dir.filePath(QStringLiteral("out.pdf"))).size() > 0);
      // The report keeps every problem, earlier ones included.
      QVERIFY(report->Errors().contains(QStringLiteral("an earlier problem")));
      QCOMPARE(report->Errors().size(), 2);
    }
  }

 private:
  ovx::test::PrivateCups cups_;
  QString skip_reason_;
};

QTEST_MAIN(PreviewJobWindowTest)
#include "preview_job_window_test.moc"
