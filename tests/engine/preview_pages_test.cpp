// The prepared pages store: differences, rebuilding, the page cache, the
// ".op3" file (round trip, partial loading and hostile input), page changes,
// links and drawing.
#include "engine/preview_pages.h"
#include "base/stream.h"
#include "base/units.h"
#include "engine/engine.h"
#include "engine/prepared_dump.h"
#include "render/painter_canvas.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/storage/xml_error.h"
#include "tests/engine/app_report.h"
#include "tests/image_golden.h"
#include "tests/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

using ovx::test::DataPath;

class PreviewPagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ovx::InstallEngine(); }

  // The application's report with `body_pages` pages, prepared.
  std::unique_ptr<TovxReport> Prepared(int body_pages) {
    auto report = ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), body_pages);
    EXPECT_TRUE(report->PrepareReport());
    return report;
  }

  static QByteArray Save(TovxPreviewPages& pages) {
    ovx::MemoryStream stream;
    pages.SaveToStream(stream);
    return stream.Data();
  }
};

TEST_F(PreviewPagesTest, AppReportPreparesCoverAndBodyPagesAsDifferences) {
  auto report = Prepared(3);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  ASSERT_EQ(pages.Count(), 4);
  const TovxReportPage* cover = pages.GetPage(0);
  ASSERT_NE(cover, nullptr);
  EXPECT_EQ(cover->Orientation(), TovxPrinterOrientation::poLandscape);
  EXPECT_EQ(pages.GetPageSize(0), QSize(561, 397));

  TovxXMLItem* items = pages.Document().Root()->FindItem("previewpages");
  for (int p = 1; p <= 3; ++p) {
    const auto* body_template =
        dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Body%1").arg(p - 1)));
    TovxReportPage* page = pages.GetPage(p);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->Objects().size(), 180u);
    ASSERT_EQ(items->Items(p)->Count(), 180);
    for (int i = 0; i < 180; ++i) {
      const auto* source = dynamic_cast<TovxMemoView*>(body_template->Objects()[i]);
      const auto* cell = dynamic_cast<TovxMemoView*>(page->Objects()[i]);
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->Name(), source->Name());
      EXPECT_NEAR(cell->Left(), source->Left(), 1e-9);
      EXPECT_NEAR(cell->Top(), source->Top(), 1e-9);
      EXPECT_EQ(cell->Text(), source->Text());
      EXPECT_EQ(cell->Font().Size(), 15);
      // Nothing differs from the source but the text the memo always stores.
      const TovxXMLItem& item = *items->Items(p)->Items(i);
      EXPECT_EQ(item.Text().trimmed(), "u=\"" + source->Text().trimmed().toUtf8() + '"');
      EXPECT_TRUE(item.Name().startsWith('m'));
    }
  }
}

TEST_F(PreviewPagesTest, SaveLoadSaveGivesTheSameBytesAndKeepsPictures) {
  auto report = ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), 2);
  auto* cover = dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Page1")));
  auto* picture = new TovxPictureView(cover);
  picture->SetName(QStringLiteral("Picture1"));
  picture->SetBounds(10, 10, 40, 30);
  ASSERT_TRUE(picture->Picture().LoadFromFile(DataPath("templates/red-4x3.png")));
  const QByteArray original = picture->Picture().Data();
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  pages.SetCurPage(0);
  pages.Outline().AddItem(QStringLiteral("封面"), 0);
  pages.AddAnchor(QStringLiteral("start"), 12);

  const QByteArray first = Save(pages);
  TovxReport other;
  TovxPreviewPages loaded(&other);
  ovx::MemoryStream in(first);
  loaded.LoadFromStream(in);
  EXPECT_TRUE(loaded.LoadErrors().isEmpty()) << loaded.LoadErrors().join('\n').toStdString();
  EXPECT_EQ(Save(loaded), first);
  EXPECT_EQ(ovx::DumpPreparedPages(loaded), ovx::DumpPreparedPages(pages));
  EXPECT_EQ(loaded.GetAnchorPage(QStringLiteral("START")), 1);

  const TovxReportPage* page = loaded.GetPage(0);
  ASSERT_NE(page, nullptr);
  const auto* view = dynamic_cast<TovxPictureView*>(page->FindObject(QStringLiteral("Picture1")));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(QCryptographicHash::hash(view->Picture().Data(), QCryptographicHash::Sha256),
            QCryptographicHash::hash(original, QCryptographicHash::Sha256));

  const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
  if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint is not installed";
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("report.op3"));
  loaded.SaveToFile(file);
  QProcess lint;
  lint.start(xmllint, {QStringLiteral("--noout"), file});
  ASSERT_TRUE(lint.waitForFinished());
  EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

// Objects without a name are saved under a name of their own and load back.
TEST_F(PreviewPagesTest, UnnamedObjectsLoadBack) {
  auto report = ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), 1);
  auto* cover = dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Page1")));
  ASSERT_NE(cover, nullptr);
  for (const char* text : {"甲", "乙"}) {
    auto* memo = new TovxMemoView(cover);
    memo->SetBounds(10, 10, 40, 30);
    memo->SetText(QString::fromUtf8(text));
    ASSERT_TRUE(memo->Name().isEmpty());
  }
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  const QByteArray saved = Save(pages);
  ASSERT_EQ(saved.indexOf("name=\"Page0.\""), -1);

  const auto texts = [](TovxPreviewPages& from) {
    QStringList all;
    for (TovxComponent* object : from.GetPage(0)->AllObjects()) {
      if (auto* memo = dynamic_cast<TovxMemoView*>(object)) all << memo->Text().trimmed();
    }
    return all;
  };
  const QStringList expected = texts(pages);
  ASSERT_TRUE(expected.contains(QStringLiteral("甲")) && expected.contains(QStringLiteral("乙")));

  TovxPreviewPages loaded(nullptr);
  ovx::MemoryStream in(saved);
  loaded.LoadFromStream(in);
  EXPECT_TRUE(loaded.LoadErrors().isEmpty()) << loaded.LoadErrors().join('\n').toStdString();
  EXPECT_EQ(texts(loaded), expected);
  EXPECT_EQ(ovx::DumpPreparedPages(loaded), ovx::DumpPreparedPages(pages));
}

// A file written before every copy was named lists its unnamed objects as
// "Page<k>." only (here the first two memos of the first body page); they
// are matched to the page's unnamed objects in tree order and load back.
TEST_F(PreviewPagesTest, UnnamedEntriesOfOlderFilesLoadBack) {
  TovxPreviewPages pages(nullptr);
  ASSERT_TRUE(pages.LoadFromFile(DataPath("engine/unnamed_entries.op3")));
  EXPECT_TRUE(pages.LoadErrors().isEmpty()) << pages.LoadErrors().join('\n').toStdString();
  ASSERT_GE(pages.Count(), 3);
  QStringList texts;
  for (TovxComponent* object : pages.GetPage(1)->AllObjects()) {
    if (auto* memo = dynamic_cast<TovxMemoView*>(object)) texts << memo->Text().trimmed();
  }
  EXPECT_EQ(texts, (QStringList{QStringLiteral("天"), QStringLiteral("地"), QStringLiteral("1")}));
  // Saved again, every object has a name and the pages stay the same.
  const QByteArray saved = Save(pages);
  EXPECT_EQ(saved.indexOf("name=\"Page1.\""), -1);
  TovxPreviewPages again(nullptr);
  ovx::MemoryStream in(saved);
  again.LoadFromStream(in);
  EXPECT_TRUE(again.LoadErrors().isEmpty()) << again.LoadErrors().join('\n').toStdString();
  EXPECT_EQ(ovx::DumpPreparedPages(again), ovx::DumpPreparedPages(pages));
}

// A file written before source pages were stored as differences (kept as
// written then, with the dump the program of that time gave) loads to the
// same pages, and saved again in the present form it still does.
TEST_F(PreviewPagesTest, FileOfTheFormerFormLoadsToTheSamePages) {
  QFile expected_file(DataPath("engine/former_form.dump"));
  ASSERT_TRUE(expected_file.open(QIODevice::ReadOnly));
  const QByteArray expected = expected_file.readAll();
  TovxReport report;
  TovxPreviewPages pages(&report);
  ASSERT_TRUE(pages.LoadFromFile(DataPath("engine/former_form.op3")));
  EXPECT_TRUE(pages.LoadErrors().isEmpty()) << pages.LoadErrors().join('\n').toStdString();
  EXPECT_EQ(ovx::DumpPreparedPages(pages).toStdString(), expected.toStdString());

  const QByteArray saved = Save(pages);
  EXPECT_LT(saved.size(), QFileInfo(DataPath("engine/former_form.op3")).size());
  TovxPreviewPages again(&report);
  ovx::MemoryStream in(saved);
  again.LoadFromStream(in);
  EXPECT_TRUE(again.LoadErrors().isEmpty());
  EXPECT_EQ(ovx::DumpPreparedPages(again).toStdString(), expected.toStdString());
  EXPECT_EQ(Save(again), saved);
}

// Body pages of one background: the picture is written once, and every page
// gets it back.
TEST_F(PreviewPagesTest, PictureOfEverySourcePageIsWrittenOnce) {
  auto report = ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), 3);
  TovxPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(DataPath("templates/red-4x3.png")));
  for (int i = 0; i < 3; ++i) {
    auto* body = dynamic_cast<TovxReportPage*>(report->FindObject(QStringLiteral("Body%1").arg(i)));
    ASSERT_NE(body, nullptr);
    body->SetBackPicture(picture);
  }
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  const QByteArray saved = Save(pages);
  const QByteArray hex = picture.Data().toHex().toUpper();
  EXPECT_EQ(saved.count(hex), 1);

  TovxReport other;
  TovxPreviewPages loaded(&other);
  ovx::MemoryStream in(saved);
  loaded.LoadFromStream(in);
  EXPECT_TRUE(loaded.LoadErrors().isEmpty()) << loaded.LoadErrors().join('\n').toStdString();
  EXPECT_EQ(ovx::DumpPreparedPages(loaded), ovx::DumpPreparedPages(pages));
  for (int i = 1; i <= 3; ++i) {
    const TovxReportPage* page = loaded.GetPage(i);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->BackPicture().Data(), picture.Data());
  }

  // A reference to a page that is not before it is refused, not followed.
  for (const QByteArray& to : {QByteArray("SharedData=\"9\""), QByteArray("SharedData=\"-1\""),
                               QByteArray("SharedData=\"x\"")}) {
    QByteArray bad = saved;
    const qsizetype at = bad.indexOf("SharedData=\"");
    ASSERT_GE(at, 0);
    bad.replace(at, bad.indexOf('"', at + 12) - at + 1, to);
    TovxPreviewPages damaged(nullptr);
    ovx::MemoryStream bad_in(bad);
    damaged.LoadFromStream(bad_in);
    EXPECT_FALSE(damaged.LoadErrors().isEmpty());
    EXPECT_EQ(damaged.Count(), 4);
    auto canvas = ovx::PainterCanvas::ForImage(200, 150);
    for (int i = 0; i < damaged.Count(); ++i) damaged.DrawPage(i, *canvas, 0.3, 0.3, 0, 0);
  }
}

// A file the store swaps from is replaced through a temporary file.
TEST_F(PreviewPagesTest, SavingOverTheLoadedFileKeepsItWhole) {
  auto report = Prepared(2);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("a.op3"));
  pages.SaveToFile(file);
  TovxPreviewPages loaded(report.get());
  ASSERT_TRUE(loaded.LoadFromFile(file));
  loaded.SaveToFile(file);
  TovxPreviewPages again(report.get());
  ASSERT_TRUE(again.LoadFromFile(file));
  EXPECT_EQ(ovx::DumpPreparedPages(again), ovx::DumpPreparedPages(pages));
  EXPECT_FALSE(again.LoadFromFile(dir.filePath(QStringLiteral("missing.op3"))));
  EXPECT_THROW(again.LoadFromFile(dir.filePath(QStringLiteral("missing.op3")), true), ovx::Error);
}

TEST_F(PreviewPagesTest, HostileFilesSkipBadEntriesAndKeepTheRest) {
  auto report = Prepared(1);
  const QByteArray good = Save(*ovx::PreparedPages(*report));
  struct Case {
    const char* what;
    QByteArray from, to;
    int pages;  // pages left after loading
  };
  const Case cases[] = {
      {"page of a missing source page", "page1>", "page7>", 1},
      {"page with a negative index", "page1>", "page-1>", 1},
      {"page named by an unknown class", "page0>", "TovxShell>", 1},
      {"dictionary entry of a missing page", "name=\"Page1.F0_0\"", "name=\"Page9.F0_0\"", 2},
      {"dictionary entry of a missing object", "name=\"Page1.F0_0\"", "name=\"Page1.Nobody\"", 2},
      {"dictionary name given twice", "<m3 name=", "<m2 name=", 2},
      {"objects like a sibling that is not there", "<TovxMemoView ", "<like ", 2},
      {"damaged picture", "<dictionary>",
       "<picturecache><item stream=\"ABZ\"/></picturecache><dictionary>", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QByteArray bad = good;
    ASSERT_GE(bad.indexOf(c.from), 0);
    bad.replace(c.from, c.to);
    TovxPreviewPages loaded(nullptr);
    ovx::MemoryStream in(bad);
    loaded.LoadFromStream(in);
    EXPECT_FALSE(loaded.LoadErrors().isEmpty());
    EXPECT_EQ(loaded.Count(), c.pages);
    // Every page still rebuilds and draws.
    auto canvas = ovx::PainterCanvas::ForImage(200, 150);
    for (int i = 0; i < loaded.Count(); ++i) loaded.DrawPage(i, *canvas, 0.3, 0.3, 0, 0);
  }
}

TEST_F(PreviewPagesTest, MalformedFileKeepsTheCurrentContents) {
  auto report = Prepared(2);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  const QByteArray before = ovx::DumpPreparedPages(pages);
  for (const QByteArray& bad :
       {Save(pages).left(2000), QByteArray("<?xml version=\"1.0\"?><other/>"), QByteArray()}) {
    ovx::MemoryStream in(bad);
    EXPECT_THROW(pages.LoadFromStream(in), TovxInvalidXMLException);
    EXPECT_EQ(ovx::DumpPreparedPages(pages), before);
  }
}

TEST_F(PreviewPagesTest, PageCacheKeepsTheReturnedAndTheLockedPage) {
  auto report = Prepared(4);
  report->PreviewOptions().SetPagesInCache(0);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  pages.LockPage(1);
  TovxReportPage* locked = pages.GetPage(1);
  TovxReportPage* page = pages.GetPage(2);
  TovxReportPage* next = pages.GetPage(3);
  ASSERT_NE(next, nullptr);
  // The locked page survives later calls; the page returned is usable.
  EXPECT_EQ(pages.GetPage(1), locked);
  EXPECT_EQ(locked->Objects().size(), 180u);
  EXPECT_EQ(next->Objects().size(), 180u);
  (void)page;
  // The same index comes back from the cache, not rebuilt.
  EXPECT_EQ(pages.GetPage(3), pages.GetPage(3));
  EXPECT_EQ(pages.GetPage(-1), nullptr);
  EXPECT_EQ(pages.GetPage(5), nullptr);
  EXPECT_EQ(pages.GetPageSize(5), QSize(0, 0));
}

// Cut items that leave out `l` or `t` stand where their source stands.
TEST_F(PreviewPagesTest, PasteMovesByTheSourcePositionWhenAnItemOmitsIt) {
  auto report = Prepared(1);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  pages.SetCurPage(1);
  const double source_left = pages.GetPage(1)->Objects()[0]->Left();
  const double source_top = pages.GetPage(1)->Objects()[0]->Top();
  const double left_178 = pages.GetPage(1)->Objects()[178]->Left();
  EXPECT_EQ(pages.CutObjects(178), 2);
  pages.PasteObjects(0, 100);  // never moves left at x 0
  pages.ClearCache();
  const TovxReportPage* page = pages.GetPage(1);
  ASSERT_EQ(page->Objects().size(), 180u);
  // Both keep their distance: the second stays one cell below the first.
  EXPECT_NEAR(page->Objects()[178]->Top(), 100, 1e-9);
  EXPECT_NEAR(page->Objects()[179]->Top(), 100 + ovx::test::kCell, 1e-9);
  EXPECT_NEAR(page->Objects()[178]->Left(), left_178, 1e-9);
  pages.CutObjects(0);
  pages.PasteObjects(source_left + 10, source_top);
  pages.ClearCache();
  EXPECT_NEAR(pages.GetPage(1)->Objects()[0]->Left(), source_left + 10, 1e-9);
  EXPECT_NEAR(pages.GetPage(1)->Objects()[0]->Top(), source_top, 1e-9);
  EXPECT_NEAR(pages.GetPage(1)->Objects()[1]->Top(), source_top + ovx::test::kCell, 1e-9);
}

TEST_F(PreviewPagesTest, DeletingAndInsertingPagesShiftsWhatPointsBehind) {
  auto report = Prepared(3);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  pages.SetCurPage(3);
  pages.AddAnchor(QStringLiteral("last"), 5);
  pages.Outline().LevelRoot();
  pages.Outline().AddItem(QStringLiteral("last"), 5);
  pages.SetCurPage(0);
  pages.AddAnchor(QStringLiteral("first"), 0);
  const auto outline_page = [&] {
    QString text;
    int page = -1, top = -1;
    pages.Outline().LevelRoot();
    pages.Outline().GetItem(0, text, page, top);
    return page;
  };
  EXPECT_EQ(pages.GetAnchorPage(QStringLiteral("last")), 4);
  pages.DeletePage(1);
  EXPECT_EQ(pages.Count(), 3);
  EXPECT_EQ(pages.GetAnchorPage(QStringLiteral("last")), 3);
  EXPECT_EQ(pages.GetAnchorPage(QStringLiteral("first")), 1);
  EXPECT_EQ(outline_page(), 2);
  pages.InsertEmptyPage(1);
  EXPECT_EQ(pages.Count(), 4);
  EXPECT_EQ(pages.GetPage(1)->Objects().size(), 0u);
  EXPECT_EQ(pages.GetPageSize(1), pages.GetPageSize(2));
  EXPECT_EQ(pages.GetAnchorPage(QStringLiteral("last")), 4);
  EXPECT_EQ(outline_page(), 3);
  EXPECT_EQ(pages.GetAnchorPage(QStringLiteral("nowhere")), 1);

  TovxPreviewPages one(nullptr);
  ovx::MemoryStream in(Save(pages));
  one.LoadFromStream(in);
  while (one.Count() > 1) one.DeletePage(0);
  one.DeletePage(0);  // the last page stays
  EXPECT_EQ(one.Count(), 1);
}

TEST_F(PreviewPagesTest, ModifyObjectAndModifyPageAreStored) {
  auto report = Prepared(1);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  auto* cell = dynamic_cast<TovxMemoView*>(pages.GetPage(1)->Objects()[5]);
  cell->SetText(QStringLiteral("改"));
  cell->SetLeft(3);
  pages.ModifyObject(*cell);
  TovxReportPage* cover = pages.GetPage(0);
  auto* title = dynamic_cast<TovxMemoView*>(cover->FindObject(QStringLiteral("title")));
  title->SetText(QStringLiteral("新題"));
  pages.ModifyPage(0, *cover);
  pages.ClearCache();
  const auto* again = dynamic_cast<TovxMemoView*>(pages.GetPage(1)->Objects()[5]);
  EXPECT_EQ(again->Text().trimmed(), QStringLiteral("改"));
  EXPECT_DOUBLE_EQ(again->Left(), 3);
  const auto* new_title =
      dynamic_cast<TovxMemoView*>(pages.GetPage(0)->FindObject(QStringLiteral("title")));
  EXPECT_EQ(new_title->Text().trimmed(), QStringLiteral("新題"));
}

TEST_F(PreviewPagesTest, AppendReportAddsPagesAnchorsAndOutline) {
  auto first = Prepared(1);
  auto second = Prepared(2);
  TovxPreviewPages& a = *ovx::PreparedPages(*first);
  TovxPreviewPages& b = *ovx::PreparedPages(*second);
  b.SetCurPage(1);
  b.AddAnchor(QStringLiteral("b"), 0);
  b.Outline().AddItem(QStringLiteral("b"), 0);
  a.AppendReport(b);
  ASSERT_EQ(a.Count(), 5);
  EXPECT_EQ(a.GetAnchorPage(QStringLiteral("b")), 4);
  for (int i = 0; i < 3; ++i) {
    const TovxReportPage* ours = a.GetPage(2 + i);
    const TovxReportPage* theirs = b.GetPage(i);
    ASSERT_EQ(ours->Objects().size(), theirs->Objects().size());
    EXPECT_EQ(ours->Orientation(), theirs->Orientation());
    for (size_t k = 0; k < ours->Objects().size(); ++k) {
      EXPECT_EQ(ours->Objects()[k]->Name(), theirs->Objects()[k]->Name());
      EXPECT_DOUBLE_EQ(ours->Objects()[k]->Left(), theirs->Objects()[k]->Left());
    }
  }
}

TEST_F(PreviewPagesTest, UrlLinksOpenWebAddressesAndAskForAnythingElse) {
  auto report = ovx::test::MakeAppReport(DataPath("templates/velmora.ov3"), 0);
  auto* title = dynamic_cast<TovxMemoView*>(report->FindObject(QStringLiteral("title")));
  ASSERT_TRUE(report->PrepareReport());
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  struct Case {
    const char* link;
    bool asks;
    bool answer;
    bool opens;
  };
  const Case cases[] = {
      {"https://example.org/", false, false, true}, {"HTTP://example.org/", false, false, true},
      {"mailto:a@example.org", false, false, true}, {"file:///etc/passwd", true, false, false},
      {"/usr/bin/xterm", true, true, true},         {"javascript:alert(1)", true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    TovxReportPage* page = pages.GetPage(0);
    auto* memo = dynamic_cast<TovxMemoView*>(page->FindObject(title->Name()));
    memo->Hyperlink().SetKind(TovxHyperlinkKind::hkURL);
    memo->Hyperlink().SetValue(QString::fromLatin1(c.link));
    bool asked = false;
    QString opened;
    pages.confirm_open = [&](const QString&) {
      asked = true;
      return c.answer;
    };
    pages.open_url = [&](const QString& url) { opened = url; };
    const auto result = pages.HandleMouse(0, TovxPreviewPages::MouseEvent::kClick, 100, 100, 1.0);
    EXPECT_EQ(result.object, memo);
    EXPECT_TRUE(result.hand);
    EXPECT_EQ(asked, c.asks);
    EXPECT_EQ(opened.isEmpty(), !c.opens);
  }
}

TEST_F(PreviewPagesTest, DrawPageMatchesGoldens) {
  auto report = Prepared(1);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  for (const int page : {0, 1}) {
    for (const int scale : {1, 2}) {
      const QSize size = pages.GetPageSize(page) * scale;
      auto canvas = ovx::PainterCanvas::ForImage(size.width(), size.height(), 96);
      canvas->Image();
      pages.DrawPage(page, *canvas, scale, scale, 0, 0);
      canvas->End();
      ovx::test::ExpectImageGolden(QStringLiteral("engine/page%1_scale%2.png").arg(page).arg(scale),
                                   *canvas->Image());
    }
  }
}

// A canvas that answers as a printer does, over an image.
class PrinterImageCanvas : public ovx::PainterCanvas {
 public:
  using ovx::PainterCanvas::PainterCanvas;
  bool IsPrinter() const override { return true; }
};

// Draws page `index` at scale 1 on a fresh image of the page's size.
QImage DrawnPage(TovxPreviewPages& pages, int index, bool highlight = false, bool printer = false) {
  const QSize size = pages.GetPageSize(index);
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    std::unique_ptr<ovx::PainterCanvas> canvas =
        printer ? std::make_unique<PrinterImageCanvas>(&image, 96, 96)
                : std::make_unique<ovx::PainterCanvas>(&image, 96, 96);
    pages.DrawPage(index, *canvas, 1, 1, 0, 0, highlight);
  }
  return image;
}

TEST_F(PreviewPagesTest, DrawnMemosTakeThePageCountAndCopy) {
  auto report = Prepared(2);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  ASSERT_EQ(pages.Count(), 3);
  pages.SetCopyNo(2);
  struct Case {
    const char16_t* text;
    bool copy_name_variable;
    const char16_t* drawn;
  };
  const Case cases[] = {
      {u"第[TOTALPAGES#]頁", false, u"第3頁"},
      {u"[totalpages#]/[TotalPages#]", false, u"3/3"},
      {u"[COPYNAME#]", true, u"副本2"},
      {u"<[CopyName#]>", false, u"<>"},
      {u"[COPYNAME#][copyname#]", true, u"副本2副本2"},
      // Only ASCII letters fold: a long s is not an s.
      {u"[TOTALPAGE\u017F#]", false, u"[TOTALPAGE\u017F#]"},
      {u"[TOTALPAGES]", false, u"[TOTALPAGES]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
    report->Variables().Clear();
    if (c.copy_name_variable)
      report->Variables().SetValue(QStringLiteral("CopyName"), QStringLiteral("副本"));
    auto* memo = dynamic_cast<TovxCustomMemoView*>(pages.GetPage(1)->Objects()[0]);
    ASSERT_NE(memo, nullptr);
    memo->SetText(QString::fromUtf16(c.text));
    DrawnPage(pages, 1);
    EXPECT_EQ(memo->Lines(), QStringList{QString::fromUtf16(c.drawn)});
    EXPECT_EQ(memo->GetPrintState(), nullptr) << "the state outlives the drawing";
  }
  // The global variable goes before the report's.
  auto* memo = dynamic_cast<TovxCustomMemoView*>(pages.GetPage(1)->Objects()[0]);
  ovx::GlobalVariables().SetValue(QStringLiteral("CopyName"), QStringLiteral("G"));
  report->Variables().SetValue(QStringLiteral("CopyName"), QStringLiteral("副本"));
  memo->SetText(QStringLiteral("[CopyName#]"));
  DrawnPage(pages, 1);
  EXPECT_EQ(memo->Lines(), QStringList{QStringLiteral("G2")});
  ovx::GlobalVariables().Clear();
  // Without expressions, or outside a store, the macros stay.
  memo->SetAllowExpressions(false);
  memo->SetText(QStringLiteral("[TOTALPAGES#]"));
  DrawnPage(pages, 1);
  EXPECT_EQ(memo->Lines(), QStringList{QStringLiteral("[TOTALPAGES#]")});
  memo->SetAllowExpressions(true);
  auto canvas = ovx::PainterCanvas::ForImage(200, 200);
  memo->Draw(*canvas, 1, 1, 0, 0);
  EXPECT_EQ(memo->Lines(), QStringList{QStringLiteral("[TOTALPAGES#]")});
}

// The store's print scale sizes the text on a printer only.
TEST_F(PreviewPagesTest, PrintScaleReachesTheTextLayoutOnPrinters) {
  auto report = Prepared(1);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  const QImage screen = DrawnPage(pages, 1);
  const QImage printed = DrawnPage(pages, 1, false, true);
  pages.SetPrintScale(0.5);
  EXPECT_EQ(DrawnPage(pages, 1), screen);
  const QImage half = DrawnPage(pages, 1, false, true);
  EXPECT_NE(half, printed);
  // Smaller glyphs: less ink.
  const auto ink = [](const QImage& image) {
    qint64 dark = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
    }
    return dark;
  };
  EXPECT_LT(ink(half), ink(printed));
}

TEST_F(PreviewPagesTest, HighlightOutlinesOnlyViewsEditableInThePreview) {
  auto report = Prepared(1);
  TovxPreviewPages& pages = *ovx::PreparedPages(*report);
  TovxReportPage* page = pages.GetPage(1);
  ASSERT_NE(page, nullptr);
  for (TovxComponent* object : page->AllObjects()) {
    object->SetRestrictions(TovxRestrictions{TovxRestriction::rfDontEditInPreview});
  }
  EXPECT_EQ(DrawnPage(pages, 1, true), DrawnPage(pages, 1, false));

  auto* editable = dynamic_cast<TovxView*>(page->Objects()[7]);
  editable->SetRestrictions({});
  const QImage plain = DrawnPage(pages, 1, false);
  const QImage highlighted = DrawnPage(pages, 1, true);
  const double left = editable->AbsLeft() + page->LeftMargin() * ov01cm;
  const double top = editable->AbsTop() + page->TopMargin() * ov01cm;
  const QRect rect(
      QPoint(qRound(left) - 1, qRound(top) - 1),
      QPoint(qRound(left + editable->Width()) + 1, qRound(top + editable->Height()) + 1));
  int changed = 0;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      if (plain.pixel(x, y) == highlighted.pixel(x, y)) continue;
      ++changed;
      EXPECT_TRUE(rect.contains(x, y)) << x << ',' << y;
    }
  }
  EXPECT_GT(changed, 40);
}

TEST_F(PreviewPagesTest, PartialLoadingReadsPagesWhenUsedAndMatchesAFullLoad) {
  auto report = Prepared(4);
  const QByteArray file = Save(*ovx::PreparedPages(*report));
  struct Case {
    const char* what;
    QByteArray from, to;
  };
  // A file may mark any element swappable; only pages may stay on disk.
  const Case cases[] = {
      {"as written", {}, {}},
      {"swappable source pages", "<sourcepages form=\"differences\">",
       "<sourcepages form=\"differences\" ld=\"0\">"},
      {"swappable source page", "<sourcepages form=\"differences\"><TovxReportPage ",
       "<sourcepages form=\"differences\"><TovxReportPage ld=\"0\" "},
      {"swappable dictionary", "<dictionary>", "<dictionary ld=\"0\">"},
      {"swappable first page", "<page0>", "<page0 ld=\"0\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QByteArray bytes = file;
    if (!c.from.isEmpty()) {
      ASSERT_GE(bytes.indexOf(c.from), 0);
      bytes.replace(c.from, c.to);
    }
    TovxReport full_report;
    TovxPreviewPages full(&full_report);
    ovx::MemoryStream full_in(bytes);
    full.LoadFromStream(full_in);
    TovxReport partial_report;
    TovxPreviewPages partial(&partial_report);
    ovx::MemoryStream partial_in(bytes);
    partial.LoadFromStream(partial_in, true);
    EXPECT_EQ(partial.LoadErrors(), full.LoadErrors());

    TovxXMLItem* items = partial.Document().Root()->FindItem("previewpages");
    ASSERT_EQ(items->Count(), 5);
    EXPECT_TRUE(items->Items(1)->Loaded());
    EXPECT_FALSE(items->Items(3)->Loaded());
    EXPECT_EQ(partial.GetPageSize(3), full.GetPageSize(3));
    EXPECT_EQ(ovx::DumpPreparedPages(partial), ovx::DumpPreparedPages(full));
    EXPECT_TRUE(items->Items(3)->Loaded());
    EXPECT_EQ(Save(partial), Save(full));
  }
  EXPECT_TRUE(file.contains("<page3 ld=\"0\">"));
  EXPECT_FALSE(file.contains("<page1 ld=\"0\">"));
}

// The stream a partial load reads from changes or shrinks under the store.
TEST_F(PreviewPagesTest, DamagedPageFoundAfterPartialLoadingIsReported) {
  auto report = Prepared(4);
  const QByteArray file = Save(*ovx::PreparedPages(*report));
  const qsizetype page3 = file.indexOf("<page3 ld=\"0\">");
  ASSERT_GT(page3, 0);
  const qsizetype inside = file.indexOf('>', page3) + 1;
  struct Case {
    const char* what;
    std::function<void(QFile&)> damage;
    std::vector<int> damaged;  // pages whose objects were on disk and are lost
  };
  const Case cases[] = {
      {"overwritten",
       [&](QFile& f) {
         f.seek(inside);
         f.write("</x><<>>\"\"</y>");
       },
       {3}},
      {"cut short", [&](QFile& f) { f.resize(inside + 5); }, {3, 4}},
      {"emptied", [&](QFile& f) { f.resize(0); }, {2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.op3"));
    {
      QFile out(path);
      ASSERT_TRUE(out.open(QIODevice::WriteOnly));
      out.write(file);
    }
    TovxReport other;
    TovxPreviewPages pages(&other);
    ovx::FileStream in(path, ovx::FileStream::Mode::kRead);
    pages.LoadFromStream(in, true);
    ASSERT_TRUE(pages.LoadErrors().isEmpty());
    {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::ReadWrite));
      c.damage(f);
    }
    EXPECT_EQ(pages.GetPage(c.damaged[0]), nullptr);
    EXPECT_EQ(
        pages.LoadErrors(),
        QStringList{QStringLiteral("Damaged page %1: Invalid file format").arg(c.damaged[0] + 1)});
    const QByteArray dump = ovx::DumpPreparedPages(pages);
    auto canvas = ovx::PainterCanvas::ForImage(100, 100);
    for (int i = 0; i < pages.Count(); ++i) pages.DrawPage(i, *canvas, 0.2, 0.2, 0, 0);
    // Each damaged page reported once, however often it is asked for.
    EXPECT_EQ(pages.LoadErrors().size(), static_cast<qsizetype>(c.damaged.size()));
    EXPECT_EQ(other.Errors().size(), pages.LoadErrors().size());
    for (const int page : c.damaged) {
      EXPECT_TRUE(dump.contains("page " + QByteArray::number(page) + " damaged\n")) << page;
    }
    // Pages kept in memory are untouched.
    ASSERT_NE(pages.GetPage(1), nullptr);
    EXPECT_EQ(pages.GetPage(1)->Objects().size(), 180u);
  }
}

}  // namespace

namespace {

// The checks the prepared-report fuzzer makes, on every seed of its corpus
// (its findings among them): loading ends loaded or with an error, every
// page of what loaded measures and draws, and what the store saves loads
// again with as many pages.
TEST(Op3SeedsTest, EverySeedLoadsDrawsAndSavesAgain) {
  ovx::InstallEngine();
  const QDir seeds(DataPath("../../fuzz/corpus/op3"));
  const QStringList files = seeds.entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << seeds.path().toStdString();
  auto canvas = ovx::PainterCanvas::ForImage(64, 48);
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    QFile in(seeds.filePath(file));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    TovxReport report;
    TovxPreviewPages pages(&report);
    ovx::MemoryStream input(in.readAll());
    try {
      pages.LoadFromStream(input);
    } catch (const ovx::Error&) {
      EXPECT_TRUE(file.startsWith(u"regression-")) << "a sound seed did not load";
      continue;
    }
    for (int i = 0; i < pages.Count() && i < 8; ++i) {
      (void)pages.GetPageSize(i);
      pages.DrawPage(i, *canvas, 0.1, 0.1, 0, 0);
    }
    ovx::MemoryStream saved;
    pages.SaveToStream(saved);
    TovxPreviewPages again(&report);
    ovx::MemoryStream reread(saved.Data());
    ASSERT_NO_THROW(again.LoadFromStream(reread));
    EXPECT_EQ(again.Count(), pages.Count());
  }
}

}  // namespace
