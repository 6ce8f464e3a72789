// The export settings dialogs, offscreen: texts by tag, filling from a
// filter and copying back, the page-number edit, the single-tab layout,
// and ShowModal through the registered dialog.
#include "base/stream.h"
#include "export/image_export.h"
#include "export/output_transport.h"
#include "export/ui/export_dialogs.h"
#include "report/model/report.h"
#include "tests/test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

// An image filter that has no use for the JPEG quality.
class PlainImageExport : public TovxCustomImageExport {
 public:
  PlainImageExport() : TovxCustomImageExport(nullptr, false) {}
};

TEST(ExportDialogTest, ControlsTakeTheirTextsFromTheirTags) {
  TovxIMGExportDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "导出设置");
  EXPECT_EQ(dialog.GroupPageRange()->title(), "页数范围");
  EXPECT_EQ(dialog.AllRB()->text(), "全部");
  EXPECT_EQ(dialog.CurPageRB()->text(), "本页");
  EXPECT_EQ(dialog.PageNumbersRB()->text(), "页:");
  EXPECT_EQ(dialog.GroupImage()->title(), " 图像设置 ");
  EXPECT_EQ(dialog.SeparateCB()->text(), "分割文件");
  EXPECT_EQ(dialog.Mono()->text(), "黑白");
  EXPECT_EQ(dialog.findChild<QPushButton*>("OkB")->text(), "确定");
  EXPECT_EQ(dialog.findChild<QPushButton*>("CancelB")->text(), "取消");
  EXPECT_EQ(dialog.PageControl()->tabText(0), "导出");
  TovxBaseExportDialog base;
  EXPECT_EQ(base.windowTitle(), "导出到 PDF");
}

TEST(ExportDialogTest, FillsFromTheFilterAndCopiesBackOnOk) {
  TovxJPEGExport filter(nullptr, false);
  filter.SetPageNumbers(QStringLiteral("2-3"));
  filter.SetJPEGQuality(70);
  filter.SetResolution(150);
  filter.SetMonochrome(true);
  filter.SetOpenAfterExport(true);
  TovxIMGExportDialog dialog;
  dialog.FillFrom(filter);
  EXPECT_TRUE(dialog.PageNumbersRB()->isChecked());
  EXPECT_EQ(dialog.PageNumbersE()->text(), "2-3");
  EXPECT_EQ(dialog.Quality()->value(), 70);
  EXPECT_TRUE(dialog.Quality()->isEnabled());
  EXPECT_EQ(dialog.Resolution()->value(), 150);
  EXPECT_TRUE(dialog.Mono()->isChecked());
  EXPECT_FALSE(dialog.CropPage()->isChecked());
  EXPECT_TRUE(dialog.SeparateCB()->isChecked());
  EXPECT_TRUE(dialog.OpenCB()->isHidden());
  // One transport to save to: the list and its group stay hidden.
  EXPECT_EQ(dialog.FiltersNameCB()->count(), 1);
  EXPECT_TRUE(dialog.GroupBox1()->isHidden());

  dialog.CurPageRB()->setChecked(true);
  dialog.Quality()->setValue(40);
  dialog.Resolution()->setValue(300);
  dialog.SeparateCB()->setChecked(false);
  dialog.CropPage()->setChecked(true);
  dialog.CopyTo(filter);
  EXPECT_TRUE(filter.CurPage());
  EXPECT_EQ(filter.PageNumbers(), "");
  EXPECT_EQ(filter.JPEGQuality(), 40);
  EXPECT_EQ(filter.Resolution(), 300);
  EXPECT_FALSE(filter.SeparateFiles());
  EXPECT_TRUE(filter.CropImages());
  EXPECT_TRUE(filter.Monochrome());
  // The hidden "open after export" box keeps what the filter had.
  EXPECT_TRUE(filter.OpenAfterExport());
  ASSERT_NE(filter.DialogTransport(), nullptr);
  EXPECT_EQ(filter.DialogTransport()->GetMetaClass().ClassName(), "TovxFileDialogTransport");

  dialog.PageNumbersRB()->setChecked(true);
  dialog.PageNumbersE()->setText(QStringLiteral("5,7"));
  dialog.CopyTo(filter);
  EXPECT_FALSE(filter.CurPage());
  EXPECT_EQ(filter.PageNumbers(), "5,7");
}

TEST(ExportDialogTest, TemporaryOutputAndFiltersWithoutQuality) {
  PlainImageExport filter;
  filter.SetTemporaryOutput(true);
  filter.SetOpenAfterExport(true);
  TovxIMGExportDialog dialog;
  dialog.FillFrom(filter);
  EXPECT_FALSE(dialog.Quality()->isEnabled());
  EXPECT_TRUE(dialog.SeparateCB()->isHidden());
  EXPECT_FALSE(dialog.SeparateCB()->isChecked());
  EXPECT_FALSE(dialog.FiltersNameCB()->isEnabled());
  EXPECT_FALSE(dialog.OpenCB()->isEnabled());
  EXPECT_FALSE(filter.OpenAfterExport());
  EXPECT_TRUE(dialog.AllRB()->isChecked());
}

TEST(ExportDialogTest, AnEmptyFileNameBecomesTheReportsName) {
  TovxReport report;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  ASSERT_TRUE(report.LoadFromFile(DataPath("templates/velmora.ov3")));
  TovxJPEGExport filter(nullptr, false);
  filter.SetReport(&report);
  TovxIMGExportDialog dialog;
  dialog.FillFrom(filter);
  EXPECT_EQ(filter.FileName(), "velmora.jpg");

  TovxJPEGExport temporary(nullptr, false);
  temporary.SetReport(&report);
  temporary.SetTemporaryOutput(true);
  dialog.FillFrom(temporary);
  EXPECT_EQ(temporary.FileName(), "");
}

TEST(ExportDialogTest, ThePageNumberEditTakesDigitsCommasAndDashesAndSelectsItsButton) {
  TovxBaseExportDialog dialog;
  ASSERT_TRUE(dialog.AllRB()->isChecked());
  QTest::keyClicks(dialog.PageNumbersE(), QStringLiteral("1a, 3-5;x9"));
  EXPECT_EQ(dialog.PageNumbersE()->text(), "1,3-59");
  EXPECT_TRUE(dialog.PageNumbersRB()->isChecked());
  QTest::keyClick(dialog.PageNumbersE(), Qt::Key_Backspace);
  EXPECT_EQ(dialog.PageNumbersE()->text(), "1,3-5");
}

TEST(ExportDialogTest, ASingleTabLiesOnTheFormAndMoreTabsShowTheTabControl) {
  TovxBaseExportDialog dialog;
  dialog.ArrangePages();
  EXPECT_TRUE(dialog.PageControl()->isHidden());
  EXPECT_EQ(dialog.ExportPage()->parentWidget(), &dialog);
  dialog.ArrangePages();  // again: nothing changes
  EXPECT_EQ(dialog.ExportPage()->parentWidget(), &dialog);

  auto* options = new QWidget;
  EXPECT_EQ(dialog.AddPage(options, QStringLiteral("选项")), 1);
  dialog.ArrangePages();
  EXPECT_FALSE(dialog.PageControl()->isHidden());
  EXPECT_EQ(dialog.PageControl()->count(), 2);
  EXPECT_EQ(dialog.PageControl()->widget(0), dialog.ExportPage());
}

TEST(ExportDialogTest, ShowModalRunsTheRegisteredDialog) {
  InstallExportDialogs();
  TovxJPEGExport filter(nullptr, false);
  filter.SetJPEGQuality(55);
  const auto answer = [](bool ok) {
    QTimer::singleShot(0, [ok] {
      auto* dialog = qobject_cast<TovxIMGExportDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->Quality()->setValue(33);
      ok ? dialog->accept() : dialog->reject();
    });
  };
  answer(false);
  EXPECT_EQ(filter.ShowModal(), ModalResult::kCancel);
  EXPECT_EQ(filter.JPEGQuality(), 55);
  answer(true);
  EXPECT_EQ(filter.ShowModal(), ModalResult::kOk);
  EXPECT_EQ(filter.JPEGQuality(), 33);

  // A filter writing to a stream needs no dialog.
  MemoryStream stream;
  filter.SetStream(&stream);
  EXPECT_EQ(filter.ShowModal(), ModalResult::kOk);
}

}  // namespace
}  // namespace ovx::test

// The dialogs need a QApplication, not the shared QCoreApplication main.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
