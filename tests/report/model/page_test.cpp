// Report pages: paper size, orientation, columns and the printable area,
// in the orders templates and code set them.
#include "report/model/page.h"

#include "base/class_registry.h"
#include "base/error.h"
#include "base/paper_sizes.h"
#include "base/stream.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "report/model/subreport.h"
#include "report/storage/xml_serializer.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

using enum TovxPrinterOrientation;

// Applies an attribute text as a template load would.
void Read(ovx::Persistent& object, const QByteArray& attributes) {
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, nullptr);
  serializer.ReadProperties(attributes, object);
  EXPECT_TRUE(serializer.Errors().isEmpty()) << serializer.Errors().join(u'\n').toStdString();
}

QByteArray Written(const ovx::Persistent& object) {
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, nullptr);
  return serializer.WriteProperties(object);
}

TEST(PaperSizesTest, StandardTableHoldsTheCommonPapers) {
  const struct {
    int number;
    double width;
    double height;
    const char* name;
  } cases[] = {{1, 215.9, 279.4, "Letter"}, {8, 297, 420, "A3"},  {9, 210, 297, "A4"},
               {11, 148, 210, "A5"},        {70, 105, 148, "A6"}, {5, 215.9, 355.6, "Legal"}};
  for (const auto& c : cases) {
    const std::optional<ovx::PaperInfo> paper = ovx::StandardPaperSource().Find(c.number);
    ASSERT_TRUE(paper) << c.number;
    EXPECT_DOUBLE_EQ(paper->width, c.width);
    EXPECT_DOUBLE_EQ(paper->height, c.height);
    EXPECT_EQ(paper->name, QString::fromLatin1(c.name));
  }
  for (int unknown : {0, 48, 49, 256, 1000, -1}) {
    EXPECT_FALSE(ovx::StandardPaperSource().Find(unknown)) << unknown;
  }
  const std::span<const ovx::PaperInfo> papers = ovx::StandardPapers();
  EXPECT_TRUE(std::is_sorted(papers.begin(), papers.end(),
                             [](const auto& a, const auto& b) { return a.number < b.number; }));
}

TEST(ReportPageTest, NewPageIsA4PortraitWithoutMargins) {
  TovxReportPage page;
  EXPECT_EQ(page.Orientation(), poPortrait);
  EXPECT_EQ(page.PaperSize(), 9);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 210);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 297);
  EXPECT_DOUBLE_EQ(page.Width(), 794);    // round(210 * 3.77953)
  EXPECT_DOUBLE_EQ(page.Height(), 1123);  // round(297 * 3.77953)
  EXPECT_EQ(page.Bin(), 7);
  EXPECT_EQ(page.BinOtherPages(), 7);
  EXPECT_EQ(page.PageCount(), 1);
  EXPECT_TRUE(page.PrintIfEmpty());
  EXPECT_TRUE(page.TitleBeforeHeader());
  EXPECT_TRUE(page.ShowTitleOnPreviousPage());
  EXPECT_TRUE(page.BackPictureVisible() && page.BackPicturePrintable() &&
              page.BackPictureStretched());
  EXPECT_FALSE(page.BackgroundView().KeepAspectRatio());
  EXPECT_EQ(page.BaseName(), "Page");
  EXPECT_EQ(page.GetDescription(), "obRepPage");
}

TEST(ReportPageTest, TemplateAttributeOrderGivesTheLandscapeCustomPaper) {
  TovxReportPage page;
  Read(page, R"(Orientation="poLandscape" PaperWidth="148.5" PaperHeight="105" PaperSize="256")");
  EXPECT_EQ(page.Orientation(), poLandscape);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 148.5);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 105);
  EXPECT_EQ(page.PaperSize(), 256);
  EXPECT_DOUBLE_EQ(page.Width(), 561);
  EXPECT_DOUBLE_EQ(page.Height(), 397);
}

TEST(ReportPageTest, PaperSetInCodeStaysPortraitAndCustom) {
  TovxReportPage page;
  page.SetPaperWidth(148.5);
  page.SetPaperHeight(105);
  EXPECT_EQ(page.Orientation(), poPortrait);
  EXPECT_EQ(page.PaperSize(), 256);
  EXPECT_DOUBLE_EQ(page.Width(), 561);
  EXPECT_DOUBLE_EQ(page.Height(), 397);
  page.SetPaperWidth(100.123456789);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 100.12345679);
  page.SetPaperWidth(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 100.12345679);
}

TEST(ReportPageTest, PaperNumberTakesTheTableSizeTurnedForLandscape) {
  TovxReportPage page;
  page.SetPaperWidth(100);
  page.SetPaperSize(9);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 210);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 297);
  page.SetOrientation(poLandscape);
  page.SetPaperSize(11);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 210);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 148);
  page.SetPaperSize(9);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 297);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 210);
  EXPECT_DOUBLE_EQ(page.Width(), 1123);
  // A number the table lacks is stored, the size stays.
  page.SetPaperSize(48);
  EXPECT_EQ(page.PaperSize(), 48);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 297);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 210);
  page.SetPaperSize(300);
  EXPECT_EQ(page.PaperSize(), 300);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 297);
}

TEST(ReportPageTest, PaperComesFromTheInstalledSource) {
  struct OnePaper : ovx::PaperSource {
    std::optional<ovx::PaperInfo> Find(int number) const override {
      if (number != 9) return std::nullopt;
      return ovx::PaperInfo{9, 200, 300, QStringLiteral("A4 of this printer")};
    }
    ovx::DefaultPaper Default() const override { return {70, 148, 105, poLandscape}; }
  } source;
  ovx::SetCurrentPaperSource(&source);
  TovxReportPage page;
  page.SetPaperSize(9);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 200);
  page.ResetToPrinterDefaults();
  EXPECT_EQ(page.PaperSize(), 70);
  EXPECT_EQ(page.Orientation(), poLandscape);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 148);
  EXPECT_DOUBLE_EQ(page.LeftMargin(), 10);
  EXPECT_DOUBLE_EQ(page.Width(), 559);
  ovx::SetCurrentPaperSource(nullptr);

  page.ResetToPrinterDefaults();
  EXPECT_EQ(page.PaperSize(), 9);
  EXPECT_EQ(page.Orientation(), poPortrait);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 297);
}

TEST(ReportPageTest, OrientationTurnsSizesAndMarginsAndTwiceRestoresThem) {
  TovxReportPage page;
  page.SetLeftMargin(1);
  page.SetRightMargin(2);
  page.SetTopMargin(3);
  page.SetBottomMargin(4);
  page.SetOrientation(poLandscape);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 297);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 210);
  EXPECT_DOUBLE_EQ(page.LeftMargin(), 3);
  EXPECT_DOUBLE_EQ(page.RightMargin(), 4);
  EXPECT_DOUBLE_EQ(page.TopMargin(), 2);
  EXPECT_DOUBLE_EQ(page.BottomMargin(), 1);
  EXPECT_EQ(page.PaperSize(), 9);
  page.SetOrientation(poLandscape);  // no change, no second turn
  EXPECT_DOUBLE_EQ(page.LeftMargin(), 3);
  page.SetOrientation(poPortrait);
  EXPECT_DOUBLE_EQ(page.PaperWidth(), 210);
  EXPECT_DOUBLE_EQ(page.PaperHeight(), 297);
  EXPECT_DOUBLE_EQ(page.Width(), 794);
  EXPECT_DOUBLE_EQ(page.Height(), 1123);
  EXPECT_DOUBLE_EQ(page.LeftMargin(), 1);
  EXPECT_DOUBLE_EQ(page.RightMargin(), 2);
  EXPECT_DOUBLE_EQ(page.TopMargin(), 3);
  EXPECT_DOUBLE_EQ(page.BottomMargin(), 4);
}

TEST(ReportPageTest, ColumnsDivideThePrintableWidthInLocaleFreeText) {
  TovxReportPage page;
  page.SetLeftMargin(10);
  page.SetRightMargin(10);
  page.SetColumns(3);
  EXPECT_DOUBLE_EQ(page.ColumnWidth(), 190.0 / 3);
  EXPECT_EQ(page.ColumnPositions(), QStringList({"0", "63.3333333333333", "126.666666666667"}));
  page.SetColumns(0);
  EXPECT_TRUE(page.ColumnPositions().isEmpty());
  EXPECT_DOUBLE_EQ(page.ColumnWidth(), 190.0 / 3);  // kept when there are no columns
  EXPECT_THROW(page.SetColumns(2000000000), ovx::Error);
  EXPECT_EQ(page.Columns(), 0);
}

TEST(ReportPageTest, PageCountIgnoresCountsBelowOne) {
  TovxReportPage page;
  page.SetPageCount(3);
  page.SetPageCount(0);
  page.SetPageCount(-2);
  EXPECT_EQ(page.PageCount(), 3);
}

TEST(ReportPageTest, PrintableAreaIsTheClientRectangle) {
  TovxReportPage page;
  page.SetPaperWidth(148.5);
  page.SetPaperHeight(105);
  for (auto set : {&TovxReportPage::SetLeftMargin, &TovxReportPage::SetRightMargin,
                   &TovxReportPage::SetTopMargin, &TovxReportPage::SetBottomMargin}) {
    (page.*set)(5);
  }
  EXPECT_NEAR(page.PrintableWidth(), 523.464905, 1e-9);
  EXPECT_NEAR(page.PrintableHeight(), 359.05535, 1e-9);
  auto* view = new TovxPictureView(&page);
  view->SetAlign(TovxAlign::baClient);
  page.AlignChildren();
  EXPECT_DOUBLE_EQ(view->Left(), 0);
  EXPECT_NEAR(view->Width(), 523.464905, 1e-9);
  EXPECT_NEAR(view->Height(), 359.05535, 1e-9);
  EXPECT_DOUBLE_EQ(page.Width(), 561);  // the page keeps the paper size
}

TEST(ReportPageTest, AligningGivesBandsTheirWidthAndVerticalBandsTheirHeight) {
  TovxReportPage page;
  page.SetLeftMargin(10);
  page.SetRightMargin(10);
  page.SetTopMargin(10);
  page.SetBottomMargin(10);
  auto* header = new TovxPageHeader(&page);
  auto* data = new TovxMasterData(&page);
  auto* vertical = new TovxMasterData(&page);
  data->SetLeft(20);
  vertical->SetVertical(true);
  vertical->SetTop(30);
  page.AlignChildren();
  const double printable = 190 * 3.77953;
  EXPECT_DOUBLE_EQ(header->Width(), printable);
  EXPECT_DOUBLE_EQ(data->Width(), printable - 20);
  EXPECT_DOUBLE_EQ(vertical->Height(), 277 * 3.77953 - 30);

  page.SetColumns(2);
  page.AlignChildren();
  EXPECT_DOUBLE_EQ(header->Width(), printable);
  EXPECT_DOUBLE_EQ(data->Width(), 95 * 3.77953);

  EXPECT_EQ(page.FindBand<TovxDataBand>(), data);
  EXPECT_EQ(page.FindBand<TovxPageHeader>(), header);
  EXPECT_EQ(page.FindBand<TovxPageFooter>(), nullptr);
}

TEST(ReportPageTest, SubreportLinkGoesWithEitherSide) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  auto* shown = new TovxReportPage(&report);
  auto* subreport = new TovxSubreport(page);
  subreport->SetPage(shown);
  EXPECT_EQ(shown->Subreport(), subreport);
  delete shown;
  EXPECT_EQ(subreport->Page(), nullptr);

  auto* other = new TovxReportPage(&report);
  subreport->SetPage(other);
  delete subreport;
  EXPECT_EQ(other->Subreport(), nullptr);
}

TEST(ReportPageTest, DataSetIsFoundByNameAndNeverDangles) {
  TovxReport report;
  auto* data_page = new TovxDataPage(&report);
  auto* page = new TovxReportPage(&report);
  auto* data_set = new TovxUserDataSet(data_page);
  data_set->SetName(QStringLiteral("Orders"));
  page->SetDataSet(data_set);
  EXPECT_EQ(page->DataSetName(), "Orders");
  EXPECT_EQ(page->DataSet(), data_set);
  delete data_set;
  EXPECT_EQ(page->DataSet(), nullptr);
}

// The page as the application's template holds it: only these attributes
// are written, in this order.
TEST(ReportPageTest, WritesWhatTheTemplateHolds) {
  TovxReportPage page;
  page.SetOrientation(poLandscape);
  page.SetPaperWidth(148.5);
  page.SetPaperHeight(105);
  page.SetLeftMargin(5);
  page.SetRightMargin(5);
  page.SetTopMargin(5);
  page.SetBottomMargin(5);
  const QByteArray template_attributes =
      R"( Orientation="poLandscape" PaperWidth="148.5" PaperHeight="105" PaperSize="256")"
      R"( LeftMargin="5" RightMargin="5" TopMargin="5" BottomMargin="5" ColumnWidth="0")"
      R"( ColumnPositions.Text="" Frame.Typ="0" MirrorMode="0" HGuides.Text="")"
      R"( VGuides.Text="")";
  EXPECT_EQ(Written(page), template_attributes);
  TovxReportPage loaded;
  Read(loaded, template_attributes);
  EXPECT_EQ(Written(loaded), template_attributes);

  // Values away from their defaults appear at their places.
  page.SetColor(clRed);
  page.SetBin(4);
  page.SetPrintIfEmpty(false);
  const QByteArray changed = Written(page);
  EXPECT_TRUE(changed.contains(R"(ColumnPositions.Text="" Bin="4" Color="255" Frame.Typ="0")"))
      << changed.toStdString();
  EXPECT_TRUE(changed.contains(R"( MirrorMode="0" PrintIfEmpty="False" HGuides.Text="")"))
      << changed.toStdString();
}

TEST(ReportPageTest, BackgroundPictureTravelsAsPropData) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "PNG"));
  TovxReportPage page;
  ASSERT_TRUE(page.BackPicture().LoadFromData(png));
  const QByteArray written = Written(page);
  EXPECT_TRUE(written.contains(R"(ColumnPositions.Text="" BackPicture.PropData=")"))
      << written.toStdString();

  TovxReportPage copy;
  Read(copy, written);
  EXPECT_TRUE(copy.BackPicture().SameAs(page.BackPicture()));
  EXPECT_EQ(copy.BackPicture().Data(), png);
  EXPECT_EQ(copy.Color(), clNone);  // the background view starts transparent
}

// The application's template, loaded whole: the pages come out as it
// describes them and align the title memo to the printable area.
TEST(ReportPageTest, ApplicationTemplateLoads) {
  const QByteArray text =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<TovxReport Version=\"6.3.3\" ScriptLanguage=\"PascalScript\">\r\n"
      "  <TovxDataPage Name=\"Data\" Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"/>\r\n"
      "  <TovxReportPage Name=\"Page1\" Orientation=\"poLandscape\" PaperWidth=\"148.5\" "
      "PaperHeight=\"105\" PaperSize=\"256\" LeftMargin=\"5\" RightMargin=\"5\" TopMargin=\"5\" "
      "BottomMargin=\"5\" ColumnWidth=\"0\" ColumnPositions.Text=\"\" Frame.Typ=\"0\" "
      "MirrorMode=\"0\" HGuides.Text=\"\" VGuides.Text=\"\">\r\n"
      "    <TovxMemoView Name=\"title\" Align=\"baClient\" AllowVectorExport=\"True\" Left=\"0\" "
      "Top=\"0\" Width=\"10\" Height=\"10\" HAlign=\"haCenter\" ParentFont=\"False\" "
      "VAlign=\"vaCenter\" Text=\"\"/>\r\n"
      "  </TovxReportPage>\r\n"
      "</TovxReport>\r\n";
  ovx::ClassRegistry classes;
  for (const ovx::MetaClass* meta :
       {&TovxReport::StaticMetaClass(), &TovxDataPage::StaticMetaClass(),
        &TovxReportPage::StaticMetaClass(), &TovxMemoView::StaticMetaClass()}) {
    classes.Register(*meta);
  }
  TovxReport report;
  report.SetClasses(&classes);
  ovx::MemoryStream stream(text);
  ASSERT_TRUE(report.LoadFromStream(stream)) << report.Errors().join(u'\n').toStdString();
  auto* data = dynamic_cast<TovxDataPage*>(report.FindObject(QStringLiteral("Data")));
  auto* page = dynamic_cast<TovxReportPage*>(report.FindObject(QStringLiteral("Page1")));
  ASSERT_TRUE(data && page);
  EXPECT_DOUBLE_EQ(data->Width(), 1000);
  EXPECT_EQ(page->Orientation(), poLandscape);
  EXPECT_EQ(page->PaperSize(), 256);
  EXPECT_DOUBLE_EQ(page->Width(), 561);
  EXPECT_DOUBLE_EQ(page->Height(), 397);
  auto* title = dynamic_cast<TovxMemoView*>(report.FindObject(QStringLiteral("title")));
  ASSERT_NE(title, nullptr);
  page->AlignChildren();
  EXPECT_NEAR(title->Width(), 523.464905, 1e-9);
  EXPECT_NEAR(title->Height(), 359.05535, 1e-9);
}

TEST(DataPageTest, MeasuresAThousandUnitsAndPublishesItsBounds) {
  TovxDataPage page;
  EXPECT_DOUBLE_EQ(page.Width(), 1000);
  EXPECT_DOUBLE_EQ(page.Height(), 1000);
  EXPECT_EQ(page.GetDescription(), "obDataPage");
  EXPECT_EQ(Written(page), R"( Height="1000" Left="0" Top="0" Width="1000")");
}

}  // namespace
