// Recorded pages replayed: the application's cover and body pages and a
// template page with every view kind give the same pixels recorded and
// replayed as drawn directly; the text runs of a recorded page are its
// cells' texts; a picture view draws a metafile picture in its rectangle.
#include "engine/engine.h"
#include "engine/page_recording.h"
#include "engine/preview_pages.h"
#include "tests/render/emf_test_support.h"

#include "app/core/fixed_data.h"
#include "app/core/print_command.h"
#include "base/error.h"
#include "base/rounding.h"
#include "base/units.h"
#include "platform/font_service.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "report/model/shape_view.h"
#include "tests/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

class EmfReplayTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallEngine();
    font_path_ =
        QDir(QStringLiteral(VELMORA_APP_DATA_DIR)).filePath(QLatin1String(app::kPrivateFontFile));
    ASSERT_TRUE(FontService::Instance().AddPrivateFont(font_path_));
  }
  static void TearDownTestSuite() { FontService::Instance().RemovePrivateFont(font_path_); }

  static QString font_path_;
};

QString EmfReplayTest::font_path_;

QImage DrawPreparedPage(TovxPreviewPages& pages, int index) {
  const QSize size = pages.GetPageSize(index);
  auto canvas = PainterCanvas::ForImage(size.width(), size.height());
  pages.DrawPage(index, *canvas, 1, 1, 0, 0);
  canvas->End();
  return *canvas->Image();
}

TEST_F(EmfReplayTest, ApplicationPagesReplayAsDrawn) {
  TovxReport report;
  app::Typesetter typesetter;
  app::PrintSettings settings = app::DefaultPrintSettings();
  settings.data_directory = QStringLiteral(VELMORA_APP_DATA_DIR);
  (void)app::BuildReport(report, settings, typesetter);
  ASSERT_TRUE(report.PrepareReport());
  TovxPreviewPages* pages = PreparedPages(report);
  ASSERT_NE(pages, nullptr);
  ASSERT_GT(pages->Count(), 2);

  for (int index : {0, 1, pages->Count() - 1}) {
    SCOPED_TRACE(index);
    const QImage direct = DrawPreparedPage(*pages, index);
    const Metafile file = RecordPreparedPage(*pages, index);
    EXPECT_EQ(file.size, direct.size());
    QString error;
    const QImage replayed = test::Replay(file, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_GT(test::InkedPixels(direct), direct.width() * direct.height() / 4);
    EXPECT_EQ(test::DifferingPixels(direct, replayed), 0);
  }

  // The runs of a body page are its cells' characters, each inside its
  // cell, at the advances the layout gave.
  const Metafile body = RecordPreparedPage(*pages, 1);
  // The same page records to the same bytes.
  EXPECT_EQ(RecordPreparedPage(*pages, 1).bytes, body.bytes);
  EXPECT_THROW(RecordPreparedPage(*pages, pages->Count()), Error);
  const std::vector<RecordedTextRun> runs = RecordedTextRuns(body.bytes);
  TovxReportPage* page = pages->GetPage(1);
  ASSERT_NE(page, nullptr);
  QString cells;
  std::vector<QRectF> rects;
  const double left = page->LeftMargin() * ov01cm, top = page->TopMargin() * ov01cm;
  for (TovxComponent* object : page->AllObjects()) {
    if (auto* memo = dynamic_cast<TovxMemoView*>(object); memo && !memo->Memo().isEmpty()) {
      cells += memo->Memo().join(QString());
      rects.emplace_back(memo->AbsLeft() + left, memo->AbsTop() + top, memo->Width(),
                         memo->Height());
    }
  }
  QString text;
  for (const RecordedTextRun& run : runs) text += run.text;
  EXPECT_EQ(text, cells);
  ASSERT_EQ(runs.size(), rects.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(rects[i].adjusted(-1, -1, 1, 1).contains(runs[i].reference));
    EXPECT_EQ(runs[i].advances.size(), static_cast<size_t>(runs[i].text.size()));
    EXPECT_EQ(runs[i].font_name, QString::fromUtf16(app::kPrivateFace));
  }
}

TEST_F(EmfReplayTest, EveryViewKindReplaysAsDrawn) {
  TovxReport report;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  ASSERT_TRUE(report.LoadFromFile(test::DataPath(QStringLiteral("templates/everything.ov3"))));
  TovxReportPage* page = nullptr;
  for (TovxComponent* object : report.Objects()) {
    if (auto* p = dynamic_cast<TovxReportPage*>(object); p && !page) page = p;
  }
  ASSERT_NE(page, nullptr);
  int memos = 0, lines = 0, shapes = 0, pictures = 0;
  for (TovxComponent* object : page->AllObjects()) {
    memos += dynamic_cast<TovxCustomMemoView*>(object) != nullptr;
    lines += dynamic_cast<TovxLineView*>(object) != nullptr;
    shapes += dynamic_cast<TovxShapeView*>(object) != nullptr;
    pictures += dynamic_cast<TovxPictureView*>(object) != nullptr;
  }
  EXPECT_GE(memos, 2);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(shapes, 1);
  EXPECT_EQ(pictures, 1);

  for (int dpi : {96, 192}) {
    SCOPED_TRACE(dpi);
    const double scale = dpi / 96.0;
    const int width = RoundToInt(page->Width() * scale);
    const int height = RoundToInt(page->Height() * scale);
    auto draw = [&](Canvas& canvas) {
      page->Draw(canvas, scale, scale, 0, 0);
      for (TovxComponent* object : page->AllObjects()) {
        if (auto* view = dynamic_cast<TovxView*>(object)) {
          view->Draw(canvas, scale, scale, page->LeftMargin() * ov01cm * scale,
                     page->TopMargin() * ov01cm * scale);
        }
      }
    };
    auto direct = PainterCanvas::ForImage(width, height, dpi);
    draw(*direct);
    direct->End();
    MetafileCanvas recorder(width, height, dpi);
    draw(recorder);
    const Metafile file = recorder.Finish();
    auto replayed = PainterCanvas::ForImage(width, height, dpi);
    EXPECT_TRUE(PlayMetafile(file.bytes, *replayed).isEmpty());
    replayed->End();
    EXPECT_GT(test::InkedPixels(*direct->Image()), 1000);
    EXPECT_EQ(test::DifferingPixels(*direct->Image(), *replayed->Image()), 0);
  }
}

TEST_F(EmfReplayTest, PictureViewDrawsAMetafileInItsRectangle) {
  // 100 x 50 pixels, the left half black.
  const Metafile file = test::Record(
      [](Canvas& c) {
        c.Brush() = {clBlack, TovxBrushStyle::bsSolid};
        c.FillRect({0, 0, 50, 50});
        c.FillRect({90, 0, 130, 50});  // beyond the frame
      },
      100, 50);
  TovxPicture picture;
  ASSERT_TRUE(picture.LoadFromData(file.bytes));
  EXPECT_EQ(picture.Kind(), PictureKind::kEnhancedMetafile);
  EXPECT_EQ(picture.PixelSize(), QSize(100, 50));

  struct Case {
    bool stretched;
    bool keep_aspect_ratio;
    bool center;
    // The view is at (10, 10), 200 x 60: the bounds of the black pixels
    // (both blocks), and a pixel just right of the left block.
    QRect black;
    QPoint white;
  };
  const Case cases[] = {
      // Twice as wide, 1.2 times as high; the block beyond the frame is
      // cut at the view's edge.
      {true, false, false, QRect(QPoint(10, 10), QPoint(209, 69)), QPoint(110, 40)},
      {true, true, false, QRect(QPoint(10, 10), QPoint(165, 69)), QPoint(70, 40)},
      {true, true, true, QRect(QPoint(50, 10), QPoint(205, 69)), QPoint(110, 40)},
      {false, true, false, QRect(QPoint(10, 10), QPoint(139, 59)), QPoint(60, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stretched << c.keep_aspect_ratio << c.center);
    TovxPictureView view;
    view.SetBounds(10, 10, 200, 60);
    view.SetPicture(picture);
    view.SetStretched(c.stretched);
    view.SetKeepAspectRatio(c.keep_aspect_ratio);
    view.SetCenter(c.center);
    auto canvas = PainterCanvas::ForImage(300, 100);
    view.Draw(*canvas, 1, 1, 0, 0);
    canvas->End();
    const QImage& image = *canvas->Image();
    QRect black;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == qRgb(0, 0, 0)) black |= QRect(x, y, 1, 1);
    EXPECT_EQ(black, c.black);
    EXPECT_EQ(image.pixel(c.white), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(c.white - QPoint(1, 0)), qRgb(0, 0, 0));
  }
}

}  // namespace
}  // namespace ovx
