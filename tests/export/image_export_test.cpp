// JPEG export: one file per exported page or one for all, sizes at the
// resolution, the side limit, cropping, monochrome, stream output and the
// settings it refuses.
#include "export/image_export.h"
#include "base/error.h"
#include "base/stream.h"
#include "base/units.h"
#include "export/output_transport.h"
#include "report/model/fill.h"
#include "tests/export/filter_fixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace ovx::test {
namespace {

// Pixels of `mm` millimetres at `dpi`, as the filter sizes a page.
int PagePixels(double mm, int dpi) {
  return static_cast<int>(std::nearbyint(MmToUnits(mm) * dpi / 96.0));
}

class ImageExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    filter_.SetShowDialog(false);
    filter_.SetFileName(dir_.filePath("velmora"));
  }

  QStringList Files() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }
  QImage Read(const QString& name) const { return QImage(dir_.filePath(name), "JPEG"); }

  // The image of a one-page export to a stream.
  QImage ExportToStream(TovxReport& report) {
    MemoryStream stream;
    filter_.SetStream(&stream);
    EXPECT_TRUE(PagesOf(report).Export(filter_));
    filter_.SetStream(nullptr);
    EXPECT_TRUE(stream.Data().startsWith("\xFF\xD8\xFF"));
    return QImage::fromData(stream.Data(), "JPEG");
  }

  QTemporaryDir dir_;
  TovxJPEGExport filter_{nullptr, false};
};

TEST_F(ImageExportTest, SeparateFilesAreNumberedByExportedPage) {
  auto report = PreparedReport({{60, 40}, {70, 45}, {80, 40}, {90, 50}});
  filter_.SetResolution(192);
  filter_.SetPageNumbers(QStringLiteral("2,4"));
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_EQ(Files(), (QStringList{"velmora.1.jpg", "velmora.2.jpg"}));
  const QImage first = Read("velmora.1.jpg");
  const QImage second = Read("velmora.2.jpg");
  EXPECT_EQ(first.size(), QSize(PagePixels(70, 192), PagePixels(45, 192)));
  EXPECT_EQ(second.size(), QSize(PagePixels(90, 192), PagePixels(50, 192)));
  EXPECT_NEAR(first.dotsPerMeterX() * 0.0254, 192, 1);
  EXPECT_EQ(filter_.FileName(), dir_.filePath("velmora"));
}

TEST_F(ImageExportTest, ACombinedImageStacksTheExportedPages) {
  auto report = PreparedReport({{60, 40}, {80, 40}, {60, 50}, {200, 200}});
  filter_.SetSeparateFiles(false);
  filter_.SetPageNumbers(QStringLiteral("1-3"));
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_EQ(Files(), QStringList{"velmora.jpg"});
  const QImage image = Read("velmora.jpg");
  EXPECT_EQ(image.size(), QSize(PagePixels(80, 96), PagePixels(40, 96) * 2 + PagePixels(50, 96)));
  // The text of the third page lies below the first two.
  const int third_top = PagePixels(40, 96) * 2;
  int dark = 0;
  for (int y = third_top; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  }
  EXPECT_GT(dark, 0);
}

TEST_F(ImageExportTest, SidesAreLimitedTo30000PixelsAndSinglePagesBeyondAreRefused) {
  // 3000 mm is 35433 pixels at 300 dpi.
  auto report = PreparedReport({{10, 3000}, {10, 3000}});
  filter_.SetResolution(300);
  filter_.SetSeparateFiles(false);
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_EQ(Read("velmora.jpg").size(), QSize(PagePixels(10, 300), 30000));

  QFile::remove(dir_.filePath("velmora.jpg"));
  filter_.SetSeparateFiles(true);
  EXPECT_FALSE(PagesOf(*report).Export(filter_));
  EXPECT_TRUE(Files().isEmpty());
  ASSERT_EQ(report->Errors().size(), 1);
  EXPECT_TRUE(report->Errors()[0].contains(u"30000")) << report->Errors()[0].toStdString();
}

TEST_F(ImageExportTest, CroppingCutsToTheViewsAndKeepsEmptyPagesWhole) {
  struct Case {
    const char* name;
    std::function<void(TovxReportPage&, int)> build;
    QSize expected;
  };
  // The memos cover units (10, 10) to (50, 60) inside 5 mm margins.
  const int left = static_cast<int>(std::nearbyint(5 * ov01cm + 10));
  const int right = static_cast<int>(std::nearbyint(5 * ov01cm + 50)) + 1;
  const int bottom = static_cast<int>(std::nearbyint(5 * ov01cm + 60)) + 1;
  const Case cases[] = {
      {"memos", nullptr, QSize(right - left, bottom - left)},
      {"background only",
       [](TovxReportPage& page, int) {
         for (TovxComponent* object : page.Objects()) {
           static_cast<TovxView*>(object)->SetVisibility({TovxVisibilityType::vsPrint});
         }
       },
       QSize(PagePixels(60, 96), PagePixels(40, 96))},
      {"beyond the page",
       [](TovxReportPage& page, int) {
         static_cast<TovxView*>(page.Objects()[1])->SetBounds(10, 40, 500, 500);
       },
       QSize(PagePixels(60, 96) - left, PagePixels(40, 96) - left)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto report = PreparedReport(1, c.build);
    filter_.SetCropImages(true);
    EXPECT_EQ(ExportToStream(*report).size(), c.expected);
  }
}

TEST_F(ImageExportTest, MonochromeWritesOnlyBlackAndWhiteInGrey) {
  auto report = PreparedReport(1, [](TovxReportPage& page, int) {
    static_cast<TovxView*>(page.Objects()[0])->SetColor(0xC0C0C0);  // light grey
    static_cast<TovxView*>(page.Objects()[1])->SetColor(0x404040);  // dark grey
  });
  filter_.SetMonochrome(true);
  const QImage image = ExportToStream(*report);
  EXPECT_EQ(image.format(), QImage::Format_Grayscale8);
  const int margin = static_cast<int>(5 * ov01cm);
  EXPECT_GT(qGray(image.pixel(margin + 45, margin + 25)), 235);  // light became white
  EXPECT_LT(qGray(image.pixel(margin + 45, margin + 57)), 20);   // dark became black

  filter_.SetMonochrome(false);
  const QImage colour = ExportToStream(*report);
  EXPECT_NE(colour.format(), QImage::Format_Grayscale8);
  EXPECT_NEAR(qGray(colour.pixel(margin + 45, margin + 25)), 0xC0, 8);
}

TEST_F(ImageExportTest, QualitySetsTheEncoder) {
  auto report = PreparedReport(1);
  filter_.SetJPEGQuality(10);
  MemoryStream low;
  filter_.SetStream(&low);
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  filter_.SetJPEGQuality(100);
  MemoryStream high;
  filter_.SetStream(&high);
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_LT(low.Data().size(), high.Data().size());
  EXPECT_TRUE(Files().isEmpty());  // a stream needs no file
}

TEST_F(ImageExportTest, RefusesResolutionsBelowOne) {
  auto report = PreparedReport(1);
  for (int dpi : {0, -96}) {
    report->ClearErrors();
    filter_.SetResolution(dpi);
    EXPECT_FALSE(PagesOf(*report).Export(filter_));
    EXPECT_TRUE(Files().isEmpty());
    ASSERT_EQ(report->Errors().size(), 1);
    EXPECT_TRUE(report->Errors()[0].contains(QString::number(dpi)));
  }
}

TEST_F(ImageExportTest, AFileThatCannotBeWrittenFailsTheExport) {
  auto report = PreparedReport(2);
  filter_.SetFileName(dir_.filePath("missing/velmora"));
  EXPECT_FALSE(PagesOf(*report).Export(filter_));
  ASSERT_EQ(report->Errors().size(), 1);
  EXPECT_TRUE(report->Errors()[0].contains(u"velmora.1.jpg")) << report->Errors()[0].toStdString();
  EXPECT_EQ(filter_.Bitmap(), nullptr);
}

TEST_F(ImageExportTest, OpenAfterExportOpensTheFirstFileWritten) {
  auto report = PreparedReport(2);
  QStringList opened;
  filter_.open_file = [&](const QString& file) {
    opened.append(file);
    return true;
  };
  filter_.SetOpenAfterExport(true);
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_EQ(opened, QStringList{dir_.filePath("velmora.1.jpg")});

  MemoryStream stream;
  filter_.SetStream(&stream);
  ASSERT_TRUE(PagesOf(*report).Export(filter_));
  EXPECT_EQ(opened.size(), 1);  // nothing to open for a stream
}

TEST_F(ImageExportTest, WithoutAFileNameTheExportDoesNotStart) {
  auto report = PreparedReport(1);
  filter_.SetFileName(QString());
  EXPECT_FALSE(PagesOf(*report).Export(filter_));
  EXPECT_TRUE(Files().isEmpty());
  EXPECT_EQ(filter_.Bitmap(), nullptr);
}

TEST(JpegEncoderTest, RefusesImagesItCannotEncode) {
  EXPECT_THROW(EncodeJpeg(QImage(), 90, false, 96), Error);
  const QByteArray grey = EncodeJpeg(QImage(3, 2, QImage::Format_RGB32), 90, true, 96);
  const QImage back = QImage::fromData(grey, "JPEG");
  EXPECT_EQ(back.size(), QSize(3, 2));
  EXPECT_TRUE(back.isGrayscale());
}

}  // namespace
}  // namespace ovx::test
