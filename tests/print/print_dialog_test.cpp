// The print dialog and the printer's settings dialog, offscreen, over
// printers of a spooler in memory.
#include "print/ui/print_dialog.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "resources/resources.h"
#include "tests/print/print_fakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

template <class T>
T* Find(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

QStringList Items(QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

class PrintDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler_ = std::make_shared<FakeSpooler>();
    spooler_->queues = {
        {"office", "Room 12", true}, {"photo", "Desk", false}, {"letters", "Hall", false}};
    spooler_->capabilities["office"] = OfficeCapabilities();
    spooler_->capabilities["photo"] = OfficeCapabilities();
    SpoolerCapabilities letters = OfficeCapabilities();
    letters.media = {Media("na_letter_8.5x11in", 215.9, 279.4),
                     Media("iso_a4_210x297mm", 210, 297)};
    spooler_->capabilities["letters"] = letters;
    SetPrinters(std::make_unique<TovxPrinters>(spooler_));
    report_ = PreparedReport(Pages(5));
  }
  void TearDown() override {
    SetPrinters(nullptr);
    SetDriverDialog(nullptr);
    GlobalPrintHost() = PrintHost();
  }
  TovxPreviewPages& Store() { return *PreparedPages(*report_); }
  TovxPrintOptions& Options() { return report_->PrintOptions(); }

  std::shared_ptr<FakeSpooler> spooler_;
  std::unique_ptr<TovxReport> report_;
};

TEST_F(PrintDialogTest, ShowsTheCurrentPrinterAndTheOptions) {
  Options().SetCopies(3);
  Options().SetCollate(false);
  Options().SetPageNumbers(QStringLiteral("2-3"));
  Options().SetPrintPages(TovxPrintPages::ppOdd);
  Options().SetReverse(true);
  Options().SetPrintMode(TovxPrintMode::pmJoin);
  Options().SetPrintOnSheet(11);
  TovxPrintDialog dialog(*report_, Store(), 2);
  EXPECT_EQ(dialog.windowTitle(), "打印");
  EXPECT_EQ(Find<QGroupBox>(dialog, "Label12")->title(), "打印机");
  EXPECT_EQ(Find<QPushButton>(dialog, "PropButton")->text(), "属性(&P)");
  auto* printers = Find<QComboBox>(dialog, "PrintersCB");
  EXPECT_EQ(Items(printers), QStringList({"letters", "office", "photo"}));
  EXPECT_EQ(printers->currentText(), "office");
  EXPECT_EQ(Find<QLabel>(dialog, "WhereL1")->text(), "Room 12");
  EXPECT_EQ(Find<QSpinBox>(dialog, "CopiesE")->value(), 3);
  EXPECT_FALSE(Find<QCheckBox>(dialog, "CollateCB")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(dialog, "PageNumbersRB")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dialog, "PageNumbersE")->text(), "2-3");
  EXPECT_EQ(Find<QComboBox>(dialog, "PrintPagesCB")->currentIndex(), 1);
  EXPECT_EQ(Find<QComboBox>(dialog, "OrderCB")->currentText(), "反转 (9-1)");
  EXPECT_EQ(Find<QComboBox>(dialog, "PrintModeCB")->currentText(), "连接小页");
  auto* sheet = Find<QComboBox>(dialog, "PagPageSizeCB");
  // The printer's papers without the custom one, under "default".
  EXPECT_EQ(Items(sheet), QStringList({"默认", "A4", "Letter", "A5", "om_photo_100x150mm"}));
  EXPECT_TRUE(sheet->isEnabled());
  EXPECT_EQ(sheet->currentText(), "A5");
  EXPECT_EQ(Find<QComboBox>(dialog, "DuplexCB")->currentIndex(), 2);
  EXPECT_FALSE(Find<QLabel>(dialog, "CopiesPB")->pixmap().isNull());
}

TEST_F(PrintDialogTest, TheSheetListFollowsThePrintMode) {
  TovxPrintDialog dialog(*report_, Store(), 0);
  auto* mode = Find<QComboBox>(dialog, "PrintModeCB");
  auto* sheet = Find<QComboBox>(dialog, "PagPageSizeCB");
  EXPECT_EQ(mode->currentIndex(), 0);
  EXPECT_FALSE(sheet->isEnabled());
  EXPECT_EQ(sheet->currentIndex(), 0);
  mode->setCurrentIndex(static_cast<int>(TovxPrintMode::pmScale));
  EXPECT_TRUE(sheet->isEnabled());
  EXPECT_EQ(sheet->currentText(), "A4");
  sheet->setCurrentIndex(3);
  mode->setCurrentIndex(static_cast<int>(TovxPrintMode::pmSplit));
  EXPECT_EQ(sheet->currentText(), "A5");  // a chosen sheet stays
  mode->setCurrentIndex(0);
  EXPECT_FALSE(sheet->isEnabled());
  EXPECT_EQ(sheet->currentIndex(), 0);
}

TEST_F(PrintDialogTest, ChangingThePrinterKeepsTheSheetItLists) {
  Options().SetPrintMode(TovxPrintMode::pmJoin);
  Options().SetPrintOnSheet(11);
  TovxPrintDialog dialog(*report_, Store(), 0);
  auto* printers = Find<QComboBox>(dialog, "PrintersCB");
  auto* sheet = Find<QComboBox>(dialog, "PagPageSizeCB");
  printers->setCurrentIndex(printers->findText("photo"));
  EXPECT_EQ(ovxPrinters().Printer()->Name(), "photo");
  EXPECT_EQ(Find<QLabel>(dialog, "WhereL1")->text(), "Desk");
  EXPECT_EQ(sheet->currentText(), "A5");
  printers->setCurrentIndex(printers->findText("letters"));
  EXPECT_EQ(Items(sheet), QStringList({"默认", "Letter", "A4"}));
  EXPECT_EQ(sheet->currentIndex(), 0);  // no A5 there
  dialog.reject();
  EXPECT_EQ(ovxPrinters().Printer()->Name(), "office");  // Cancel goes back
}

TEST_F(PrintDialogTest, OkCopiesTheChoicesIntoTheOptions) {
  Store().SetCurPreviewPage(4);
  struct Case {
    const char* name;
    std::function<void(TovxPrintDialog&)> choose;
    std::function<void(TovxPrintOptions&, int duplex)> check;
  };
  const Case cases[] = {
      {"everything",
       [](TovxPrintDialog& d) {
         Find<QSpinBox>(d, "CopiesE")->setValue(4);
         Find<QCheckBox>(d, "CollateCB")->setChecked(false);
         Find<QRadioButton>(d, "CurPageRB")->setChecked(true);
         Find<QComboBox>(d, "PrintPagesCB")->setCurrentIndex(2);
         Find<QComboBox>(d, "OrderCB")->setCurrentIndex(1);
         Find<QComboBox>(d, "PrintModeCB")->setCurrentIndex(1);
         Find<QComboBox>(d, "PagPageSizeCB")->setCurrentIndex(2);
         Find<QComboBox>(d, "DuplexCB")->setCurrentIndex(3);
       },
       [](TovxPrintOptions& o, int duplex) {
         EXPECT_EQ(o.Copies(), 4);
         EXPECT_FALSE(o.Collate());
         EXPECT_EQ(o.PageNumbers(), "4");  // the preview's page
         EXPECT_EQ(o.PrintPages(), TovxPrintPages::ppEven);
         EXPECT_TRUE(o.Reverse());
         EXPECT_EQ(o.PrintMode(), TovxPrintMode::pmSplit);
         EXPECT_EQ(o.PrintOnSheet(), 1);  // Letter
         EXPECT_EQ(duplex, 3);
       }},
      {"all pages, default sheet",
       [](TovxPrintDialog& d) {
         Find<QLineEdit>(d, "PageNumbersE")->setText(QStringLiteral("1-2"));
         Find<QRadioButton>(d, "AllRB")->setChecked(true);
         Find<QComboBox>(d, "PrintModeCB")->setCurrentIndex(2);
         Find<QComboBox>(d, "PagPageSizeCB")->setCurrentIndex(0);
       },
       [](TovxPrintOptions& o, int duplex) {
         EXPECT_EQ(o.PageNumbers(), "");
         EXPECT_EQ(o.PrintMode(), TovxPrintMode::pmJoin);
         EXPECT_EQ(o.PrintOnSheet(), 256);  // "default": the custom entry
         EXPECT_EQ(duplex, 0);
       }},
      {"page numbers",
       [](TovxPrintDialog& d) {
         Find<QRadioButton>(d, "PageNumbersRB")->setChecked(true);
         Find<QLineEdit>(d, "PageNumbersE")->setText(QStringLiteral("1,3-"));
       },
       [](TovxPrintOptions& o, int) { EXPECT_EQ(o.PageNumbers(), "1,3-"); }},
  };
  for (const Case& c : cases) {
    report_->PrintOptions().Clear();
    TovxPrintDialog dialog(*report_, Store(), 0);
    c.choose(dialog);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name;
    c.check(report_->PrintOptions(), dialog.Duplex());
  }
}

TEST_F(PrintDialogTest, PrintingToAFileAsksForTheNameOrCancels) {
  TovxPrintDialog dialog(*report_, Store(), 0);
  Find<QCheckBox>(dialog, "FileCB")->setChecked(true);
  dialog.ask_file_name = [] { return QStringLiteral("/tmp/jobs/report.txt"); };
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ovxPrinters().Printer()->FileName(), "/tmp/jobs/report.prn");

  TovxPrintDialog cancelled(*report_, Store(), 0);
  Find<QComboBox>(cancelled, "PrintersCB")->setCurrentIndex(2);
  Find<QCheckBox>(cancelled, "FileCB")->setChecked(true);
  cancelled.ask_file_name = [] { return QString(); };
  cancelled.accept();
  EXPECT_EQ(cancelled.result(), QDialog::Rejected);
  EXPECT_EQ(ovxPrinters().Printer()->Name(), "office");
  EXPECT_EQ(ovxPrinters().At(2)->FileName(), "");
}

TEST_F(PrintDialogTest, TypingPageNumbersChoosesThem) {
  TovxPrintDialog dialog(*report_, Store(), 0);
  auto* edit = Find<QLineEdit>(dialog, "PageNumbersE");
  EXPECT_TRUE(Find<QRadioButton>(dialog, "AllRB")->isChecked());
  QTest::keyClicks(edit, QStringLiteral("1a,3-5"));
  EXPECT_EQ(edit->text(), "1,3-5");  // digits, commas and dashes only
  EXPECT_TRUE(Find<QRadioButton>(dialog, "PageNumbersRB")->isChecked());
}

TEST_F(PrintDialogTest, ThePropertiesButtonShowsTheDriverChoiceOfSides) {
  struct Case {
    int code;
    int duplex_index;
  };
  for (const Case& c : {Case{3, 2}, Case{2, 1}}) {
    SetPrinters(std::make_unique<TovxPrinters>(spooler_));
    SetDriverDialog([&c](const TovxCustomPrinter&, PrinterSettingsRecord& record) {
      record.duplex = c.code;
      return true;
    });
    TovxPrintDialog dialog(*report_, Store(), 0);
    Find<QPushButton>(dialog, "PropButton")->click();
    EXPECT_EQ(Find<QComboBox>(dialog, "DuplexCB")->currentIndex(), c.duplex_index) << c.code;
  }
}

TEST_F(PrintDialogTest, TheSettingsDialogListsThePrintersChoicesAndWritesTheRecord) {
  TovxCustomPrinter& printer = *ovxPrinters().Printer();
  PrinterSettingsRecord record = printer.Record();
  TovxPrinterSettingsDialog dialog(printer, record);
  auto* paper = Find<QComboBox>(dialog, "PaperCB");
  auto* source = Find<QComboBox>(dialog, "SourceCB");
  auto* sides = Find<QComboBox>(dialog, "SidesCB");
  EXPECT_EQ(Items(paper), QStringList({"A4", "Letter", "A5", "om_photo_100x150mm"}));
  EXPECT_EQ(paper->currentText(), "A4");
  EXPECT_EQ(Items(source), QStringList({TovxResources::Instance().Get(u"prDefault"), "Upper tray",
                                        "Manual feed", "Tray 3"}));
  EXPECT_EQ(sides->count(), 3);
  paper->setCurrentIndex(2);
  Find<QComboBox>(dialog, "OrientationCB")->setCurrentIndex(1);
  source->setCurrentIndex(2);
  sides->setCurrentIndex(1);
  dialog.accept();
  EXPECT_EQ(record.paper_size, 11);
  EXPECT_EQ(record.orientation, 2);
  EXPECT_EQ(record.default_source, 4);
  EXPECT_EQ(record.duplex, 2);
}

TEST_F(PrintDialogTest, PrintShowsTheInstalledDialogAndPrintsWhatItChose) {
  InstallPrinting();
  InstallPrintDialog();
  Options().SetShowDialog(true);
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<TovxPrintDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    Find<QComboBox>(*dialog, "PrintersCB")->setCurrentIndex(2);  // photo
    Find<QSpinBox>(*dialog, "CopiesE")->setValue(2);
    Find<QCheckBox>(*dialog, "CollateCB")->setChecked(false);
    dialog->accept();
  });
  ASSERT_TRUE(Store().Print());
  ASSERT_EQ(spooler_->jobs.size(), 1u);
  EXPECT_EQ(spooler_->jobs[0]->queue, "photo");
  EXPECT_EQ(spooler_->jobs[0]->Option("copies"), "2");
  EXPECT_EQ(Options().Copies(), 1);  // for this job only

  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_FALSE(Store().Print());
  EXPECT_EQ(spooler_->jobs.size(), 1u);
}

}  // namespace
}  // namespace ovx::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
