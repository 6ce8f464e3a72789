// The PDF filter's settings dialog, offscreen: its tabs and texts, filling
// from the filter and copying back, and the rules a PDF/A level puts on
// the other controls.
#include "export/pdf_export.h"
#include "export/ui/pdf_export_dialog.h"
#include "report/model/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace ovx {
namespace {

TEST(PdfExportDialog, TabsAndTextsComeFromTheResources) {
  TovxPDFExportDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), u"导出到 PDF");
  ASSERT_EQ(dialog.PageControl()->count(), 4);
  EXPECT_EQ(dialog.PageControl()->tabText(0), u"导出");
  EXPECT_EQ(dialog.PageControl()->tabText(1), u"信息");
  EXPECT_EQ(dialog.PageControl()->tabText(2), u"安全性");
  EXPECT_EQ(dialog.PageControl()->tabText(3), u"查看器");
  EXPECT_EQ(dialog.EmbeddedCB()->text(), u"嵌入字体");
  EXPECT_EQ(dialog.CompressedCB()->text(), u"压缩");
  EXPECT_EQ(dialog.PrintCB()->text(), u"打印");
  EXPECT_EQ(dialog.HideToolbarCB()->text(), u"隐藏工具栏");
  EXPECT_EQ(dialog.PDFStandardComboBox()->count(), 7);
  EXPECT_EQ(dialog.PDFVersionComboBox()->itemText(0), u"1.4");
}

TEST(PdfExportDialog, SettingsGoThereAndBack) {
  TovxPDFExport filter(nullptr, false);
  filter.SetTitle(QStringLiteral("T"));
  filter.SetAuthor(QStringLiteral("A"));
  filter.SetKeywords(QStringLiteral("K"));
  filter.SetOwnerPassword(QStringLiteral("own"));
  filter.SetProtectionFlags({TovxPDFPermission::ePrint, TovxPDFPermission::eAnnot});
  filter.SetHideToolbar(true);
  filter.SetPrintScaling(true);
  filter.SetQuality(80);
  filter.SetBackground(true);
  filter.SetPDFVersion(TPDFVersion::pv15);
  filter.SetOpenAfterExport(true);

  TovxPDFExportDialog dialog;
  dialog.FillFrom(filter);
  EXPECT_EQ(dialog.TitleE()->text(), u"T");
  EXPECT_EQ(dialog.OwnPassE()->text(), u"own");
  EXPECT_TRUE(dialog.PrintCB()->isChecked());
  EXPECT_FALSE(dialog.CopyCB()->isChecked());
  EXPECT_TRUE(dialog.AnnotCB()->isChecked());
  EXPECT_TRUE(dialog.HideToolbarCB()->isChecked());
  EXPECT_EQ(dialog.QualityEdit()->value(), 80);
  EXPECT_EQ(dialog.PDFVersionComboBox()->currentText(), u"1.5");
  EXPECT_TRUE(dialog.PDFVersionComboBox()->isEnabled());
  EXPECT_FALSE(dialog.OpenCB()->isHidden());
  EXPECT_TRUE(dialog.OpenCB()->isChecked());

  dialog.SubjectE()->setText(QStringLiteral("S"));
  dialog.CopyCB()->setChecked(true);
  dialog.PrintCB()->setChecked(false);
  dialog.FitWindowCB()->setChecked(true);
  dialog.QualityEdit()->setValue(60);
  dialog.PDFVersionComboBox()->setCurrentIndex(3);
  dialog.CopyTo(filter);
  EXPECT_EQ(filter.Subject(), u"S");
  EXPECT_EQ(filter.ProtectionFlags(),
            TovxPDFPermissions({TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot}));
  EXPECT_EQ(filter.Permissions(), (4 + 8) * 4 - 64);
  EXPECT_TRUE(filter.FitWindow());
  EXPECT_EQ(filter.Quality(), 60);
  EXPECT_EQ(filter.PDFVersion(), TPDFVersion::pv17);
  EXPECT_EQ(filter.Keywords(), u"K");
}

TEST(PdfExportDialog, APdfALevelLocksWhatItForces) {
  TovxPDFExport filter(nullptr, false);
  filter.SetTransparency(true);
  TovxPDFExportDialog dialog;
  dialog.FillFrom(filter);
  EXPECT_TRUE(dialog.TransparentCB()->isChecked());

  dialog.PDFStandardComboBox()->setCurrentText(QStringLiteral("PDF/A-1b"));
  EXPECT_EQ(dialog.PDFVersionComboBox()->currentText(), u"1.4");
  EXPECT_FALSE(dialog.PDFVersionComboBox()->isEnabled());
  EXPECT_TRUE(dialog.EmbeddedCB()->isChecked());
  EXPECT_FALSE(dialog.EmbeddedCB()->isEnabled());
  EXPECT_FALSE(dialog.TransparentCB()->isChecked());
  EXPECT_FALSE(dialog.TransparentCB()->isEnabled());
  EXPECT_TRUE(dialog.SecurityGroup()->isHidden());
  EXPECT_TRUE(dialog.PermissionsGroup()->isHidden());

  dialog.PDFStandardComboBox()->setCurrentText(QStringLiteral("PDF/A-2b"));
  EXPECT_EQ(dialog.PDFVersionComboBox()->currentText(), u"1.7");
  EXPECT_TRUE(dialog.TransparentCB()->isEnabled());
  dialog.CopyTo(filter);
  EXPECT_EQ(filter.PDFStandard(), TPDFStandard::psPDFA_2b);
  EXPECT_TRUE(filter.EmbeddedFonts());

  dialog.PDFStandardComboBox()->setCurrentText(QStringLiteral("None"));
  EXPECT_TRUE(dialog.PDFVersionComboBox()->isEnabled());
  EXPECT_TRUE(dialog.EmbeddedCB()->isEnabled());
  EXPECT_FALSE(dialog.SecurityGroup()->isHidden());
}

TEST(PdfExportDialog, OutlineOnlyWhereTheReportShowsOne) {
  TovxReport report;
  TovxPDFExport filter(nullptr, false);
  filter.SetReport(&report);
  filter.SetOutline(true);
  for (const bool visible : {false, true}) {
    report.PreviewOptions().SetOutlineVisible(visible);
    TovxPDFExportDialog dialog;
    dialog.FillFrom(filter);
    EXPECT_EQ(dialog.OutlineCB()->isEnabled(), visible);
    EXPECT_EQ(dialog.OutlineCB()->isChecked(), visible);
  }
}

}  // namespace
}  // namespace ovx

// The dialog needs a QApplication, not the shared QCoreApplication main.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
