// The main window, offscreen: its fixed texts and fields, and the print
// button with each option set.
#include "app/main_window.h"
#include "app/script_dialogs.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "preview/page_list.h"
#include "preview/preview.h"
#include "preview/preview_form.h"
#include "preview/preview_host.h"
#include "preview/preview_workspace.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QAction>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

int BodyPages(TovxReport& report, bool* all_have_picture) {
  int pages = 0;
  *all_have_picture = true;
  for (TovxComponent* c : report.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(c);
    if (!page || page->Name() == u"Page1") continue;
    ++pages;
    *all_have_picture = *all_have_picture && !page->BackPicture().IsEmpty();
  }
  return pages;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { ovx::InstallEngine(); }

  void FixedTexts() {
    TfrmMain window(QStringLiteral(VELMORA_APP_DATA_DIR));
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmora打印"));
    QCOMPARE(window.size(), QSize(411, 333));
    QCOMPARE(window.findChild<QCheckBox*>("chk1")->text(), QStringLiteral("封面加背景（420X300)"));
    QCOMPARE(window.findChild<QCheckBox*>("chk2")->text(), QStringLiteral("正文加背景"));
    QCOMPARE(window.findChild<QCheckBox*>("chk3")->text(), QStringLiteral("去掉标点符号"));
    QCOMPARE(window.findChild<QLabel*>("lbl3")->text(), QStringLiteral("在A4纸上打印4页："));
    QCOMPARE(window.findChild<QPushButton*>("btn2")->text(), QStringLiteral("打印"));
    QVERIFY(!window.findChild<QSpinBox*>("edt1")->isVisible());
    QCOMPARE(window.findChild<QSpinBox*>("edt1")->value(), 15);
    QCOMPARE(window.findChild<QSpinBox*>("edt2")->value(), 12);
    QVERIFY(window.PrivateFontRegistered());
    window.close();
    QVERIFY(!window.PrivateFontRegistered());
  }

  void PrintButton_data() {
    QTest::addColumn<bool>("cover");
    QTest::addColumn<bool>("body");
    QTest::addColumn<bool>("remove");
    QTest::newRow("all checked") << true << true << true;
    QTest::newRow("no cover picture") << false << true << true;
    QTest::newRow("no body picture") << true << false << true;
    QTest::newRow("punctuation kept") << true << true << false;
    QTest::newRow("all cleared") << false << false << false;
  }

  void PrintButton() {
    QFETCH(bool, cover);
    QFETCH(bool, body);
    QFETCH(bool, remove);
    TfrmMain window(QStringLiteral(VELMORA_APP_DATA_DIR));
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.show();
    window.findChild<QCheckBox*>("chk1")->setChecked(cover);
    window.findChild<QCheckBox*>("chk2")->setChecked(body);
    window.findChild<QCheckBox*>("chk3")->setChecked(remove);
    // The report's own hook stands in for the preview window (tests/preview
    // opens the real one).
    int shown = 0;
    int prepared_pages = 0;
    window.Report().show_prepared = [&](TovxReport& report) {
      ++shown;
      prepared_pages = ovx::PreparedPages(report)->Count();
    };
    QTest::mouseClick(window.findChild<QPushButton*>("btn2"), Qt::LeftButton);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    auto* cover_page = dynamic_cast<TovxReportPage*>(window.Report().FindObject("Page1"));
    QVERIFY(cover_page);
    QCOMPARE(!cover_page->BackPicture().IsEmpty(), cover);
    bool pictures = false;
    const int pages = BodyPages(window.Report(), &pictures);
    QCOMPARE(pages, remove ? 38 : 44);
    QCOMPARE(pictures, body);
    QVERIFY(window.StatusText().contains(QStringLiteral("正文 %1 页").arg(pages)));
    QCOMPARE(shown, 1);
    QCOMPARE(prepared_pages, pages + 1);
  }

  // The preview opens on the cover and the first body page while later
  // pages are still being typeset; its cancel button stops the typesetting,
  // and the window then shows the pages made so far until it is closed.
  void PreviewShowsTheFirstPagesWhileTypesetting() {
    ovx::InstallPreview();
    TfrmMain window(QStringLiteral(VELMORA_APP_DATA_DIR));
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.show();
    ovx::app::PrintSettings settings = window.CurrentSettings();
    settings.body_lines += settings.body_lines;  // about 80 pages
    window.ApplySettings(settings);

    constexpr int kCancelAfter = 6;
    bool pictures = false;
    int body_pages_at_page_two = -1;
    int shown_page = -1;
    bool running = false;
    QString cancel_text_running;
    QRgb page_pixel = 0;
    QRgb ground_pixel = 0;
    int pages_after_cancel = -1;
    bool open_after_cancel = false;
    QString cancel_text_after;
    QTimer poll;
    poll.setInterval(5);
    window.Report().on_progress = [&](int page) {
      const auto forms = ovx::OpenPreviewForms();
      if (forms.size() != 1) return;
      TovxPreviewForm* form = forms.front();
      TovxPreview* preview = form->Preview();
      if (page == 2) {
        body_pages_at_page_two = BodyPages(window.Report(), &pictures);
        shown_page = preview->PageNo();
        running = preview->Running();
        cancel_text_running = form->Button("CancelB")->text();
        const QImage view = preview->Workspace()->viewport()->grab().toImage();
        const QRect first = preview->Workspace()->PageList().PageRect(0).translated(
            -preview->Workspace()->horizontalScrollBar()->value(),
            -preview->Workspace()->verticalScrollBar()->value());
        // The cover's picture fills its page: not the white of an empty page.
        page_pixel = view.pixel(first.center());
        ground_pixel = view.pixel(2, 2);
      }
      if (page == kCancelAfter) {
        // As a click does: between two pages, from the event loop.
        QTimer::singleShot(0, form, [form] { form->Button("CancelB")->trigger(); });
        QObject::connect(&poll, &QTimer::timeout, form, [&, form, preview] {
          if (preview->Running() || pages_after_cancel >= 0) return;
          pages_after_cancel = preview->PageCount();
          open_after_cancel = form->isVisible();
          cancel_text_after = form->Button("CancelB")->text();
          form->Button("CancelB")->trigger();
        });
        poll.start();
      }
    };
    QTest::mouseClick(window.findChild<QPushButton*>("btn2"), Qt::LeftButton);
    window.Report().on_progress = nullptr;
    ovx::UninstallPreview();
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    // Page 1 was on screen when only the first body page had been typeset.
    QCOMPARE(body_pages_at_page_two, 1);
    QCOMPARE(shown_page, 1);
    QVERIFY(running);
    QCOMPARE(cancel_text_running, QStringLiteral("取消"));
    QVERIFY(page_pixel != qRgb(255, 255, 255));
    QVERIFY(page_pixel != ground_pixel);
    // Cancelled after page 6: six whole pages stay, the window stays open
    // on them, and nothing more was typeset.
    QCOMPARE(pages_after_cancel, kCancelAfter);
    QVERIFY(open_after_cancel);
    QCOMPARE(cancel_text_after, QStringLiteral("关闭(&X)"));
    QCOMPARE(BodyPages(window.Report(), &pictures), kCancelAfter - 1);
    QVERIFY(ovx::OpenPreviewForms().empty());
    QVERIFY2(window.StatusText().contains(QStringLiteral("正文 5 页")),
             qPrintable(window.StatusText()));
    QVERIFY(window.StatusText().contains(QStringLiteral("未排完")));
  }

  // While a preview that is not modal still prepares the report, the print
  // button does nothing: loading the template again would take the pages
  // from under the engine.
  void PrintButtonWaitsForARunningPreparation() {
    ovx::InstallPreview();
    TfrmMain window(QStringLiteral(VELMORA_APP_DATA_DIR));
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.show();
    window.Report().PreviewOptions().SetModal(false);
    auto* button = window.findChild<QPushButton*>("btn2");
    bool pressed = false;
    window.Report().on_progress = [&](int page) {
      if (page != 3 || pressed) return;
      pressed = true;
      QTest::mouseClick(button, Qt::LeftButton);
    };
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(ovx::OpenPreviewForms().size(), size_t{1});
    TovxPreviewForm* form = ovx::OpenPreviewForms().front();
    QTRY_VERIFY_WITH_TIMEOUT(pressed && !form->Preview()->Running(), 20000);
    window.Report().on_progress = nullptr;
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    bool pictures = false;
    QCOMPARE(BodyPages(window.Report(), &pictures), 38);
    QCOMPARE(form->Preview()->PageCount(), 39);
    QCOMPARE(ovx::OpenPreviewForms().size(), size_t{1});
    form->Button("CancelB")->trigger();
    QTRY_VERIFY(ovx::OpenPreviewForms().empty());
    ovx::UninstallPreview();
  }

  void MissingPictureThenSecondPress() {
    QTemporaryDir empty;
    TfrmMain window(empty.path());
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.Report().show_prepared = [](TovxReport&) {};
    window.show();
    auto* button = window.findChild<QPushButton*>("btn2");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors[0].contains("bg_fm.jpg"));
    window.findChild<QCheckBox*>("chk1")->setChecked(false);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[1].contains("bg_zw.jpg"));
    window.findChild<QCheckBox*>("chk2")->setChecked(false);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(errors.size(), 2);
    bool pictures = true;
    QCOMPARE(BodyPages(window.Report(), &pictures), 38);
  }

  // A damaged private font stops the print button with the file's name
  // (a missing one is substituted, as the case above shows).
  void DamagedPrivateFontStopsThePrintButton() {
    QTemporaryDir data;
    for (const char* picture : {"bg_fm.jpg", "bg_zw.jpg"}) {
      QVERIFY(QFile::copy(QStringLiteral(VELMORA_APP_DATA_DIR "/") + QLatin1String(picture),
                          data.filePath(QLatin1String(picture))));
    }
    QFile font(data.filePath(QStringLiteral("KaitiVelmora.otf")));
    QVERIFY(font.open(QIODevice::WriteOnly));
    font.write(QByteArray("OTTO") + QByteArray(2000, '\0'));
    font.close();
    TfrmMain window(data.path());
    QStringList errors;
    window.show_error = [&](const QString& text) { errors << text; };
    window.Report().show_prepared = [](TovxReport&) {};
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>("btn2"), Qt::LeftButton);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains("KaitiVelmora.otf"), qPrintable(errors[0]));
  }

  // Scripts' message and input boxes are the program's own, and what the
  // user answers is what the script gets.
  void ScriptDialogsAnswerForTheUser() {
    ovx::RegisterScriptLanguages();
    ovx::app::InstallScriptDialogs();
    QStringList seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen << box->text();
        if (QAbstractButton* no = box->button(QMessageBox::No))
          no->click();
        else
          box->accept();
      } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
        seen << input->labelText() + u'=' + input->textValue();
        input->setTextValue(QStringLiteral("typed"));
        input->accept();
      }
    });
    answer.start(20);
    TksScript script;
    script.SetText(QStringLiteral(
        "var r: Integer; s: String; b: Boolean;\n"
        "begin ShowMessage('hello'); r := MessageDlg('Sure?', mtConfirmation, [mbYes, mbNo], 0);\n"
        "  s := 'old'; b := InputQuery('Caption', 'Name', s) end."));
    QVERIFY2(script.Compile(), qPrintable(script.ErrorMsg()));
    QVERIFY2(script.Execute(), qPrintable(script.ErrorMsg()));
    answer.stop();
    ovx::SetScriptDialogs(nullptr);
    QCOMPARE(seen.join(u'|'), QStringLiteral("hello|Sure?|Name=old"));
    for (const auto& v : script.Program().Variables()) {
      if (v.name == u"r") QCOMPARE(v.value.ToInt32(), 7);  // mrNo
      if (v.name == u"s") QCOMPARE(v.value.ToString(), QStringLiteral("typed"));
      if (v.name == u"b") QVERIFY(v.value.ToBool());
    }
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
