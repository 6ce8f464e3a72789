// The help page and the button image lists.
#include "resources/image_catalogue.h"
#include "tests/resources/resources_test_util.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>
#include <QUrl>

namespace ovx::test {
namespace {

namespace im = ovx::images;

class HelpTest : public ResourcesTest {
 protected:
  void SetUp() override {
    ResourcesTest::SetUp();
    // The built-in page is written to the cache folder: keep it in the test's.
    saved_cache_ = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", dir_.filePath(QStringLiteral("cache")).toLocal8Bit());
  }
  void TearDown() override { qputenv("XDG_CACHE_HOME", saved_cache_); }

  QByteArray saved_cache_;
};

TEST_F(HelpTest, OpensTheTopicOfAWindowInTheHelpPage) {
  std::vector<QUrl> opened;
  resources_->SetUrlOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  struct Case {
    const char* class_name;
    const char* anchor;
  };
  const Case cases[] = {
      {"TovxSyntaxMemo", "script"},
      {"TovxPrintDialog", "printing"},
      {"TovxMemoView", ""},  // no topic: the top of the page
  };
  for (const Case& c : cases) {
    QString message;
    ASSERT_TRUE(resources_->ShowHelp(QString::fromLatin1(c.class_name), &message)) << c.class_name;
    EXPECT_TRUE(message.isEmpty());
    const QUrl url = opened.back();
    EXPECT_EQ(url.fragment(), QString::fromLatin1(c.anchor));
    QFile page(url.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << url.toString().toStdString();
    if (*c.anchor != '\0') {
      EXPECT_TRUE(page.readAll().contains("id=\"" + QByteArray(c.anchor) + "\"")) << c.anchor;
    }
  }
}

TEST_F(HelpTest, EveryTopicExistsInThePage) {
  QFile page(resources_->HelpFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QByteArray html = page.readAll();
  EXPECT_TRUE(html.contains("lang=\"zh-CN\""));
  for (const char* name :
       {"TovxDesignerForm",     "TovxOptionsEditor",       "TovxReportEditorForm",
        "TovxPageEditorForm",   "TovxCrossEditorForm",     "TovxChartEditorForm",
        "TovxSyntaxMemo",       "TovxDialogPage",          "TovxDialogComponent",
        "TovxVarEditorForm",    "TovxHighlightEditorForm", "TovxSysMemoEditorForm",
        "TovxFormatEditorForm", "TovxGroupEditorForm",     "TovxPictureEditorForm",
        "TovxMemoEditorForm",   "TovxSQLEditorForm",       "TovxPreviewForm",
        "TovxPrintDialog",      "TovxPDFExportDialog"}) {
    const QString anchor = TovxResources::HelpTopic(QString::fromLatin1(name));
    ASSERT_FALSE(anchor.isEmpty()) << name;
    EXPECT_TRUE(html.contains("id=\"" + anchor.toLatin1() + "\"")) << name;
  }
}

TEST_F(HelpTest, WithoutADesktopItSaysWhereThePageIs) {
  // The tests run under a QCoreApplication: no window system to ask.
  QString message;
  EXPECT_FALSE(resources_->ShowHelp(u"TovxDesignerForm", &message));
  EXPECT_TRUE(message.startsWith(QStringLiteral("没有可以打开帮助的网页浏览器")))
      << message.toStdString();
  EXPECT_TRUE(message.contains(resources_->HelpFile()));
  resources_->SetUrlOpener([](const QUrl&) { return false; });
  EXPECT_FALSE(resources_->ShowHelp(u"TovxDesignerForm"));
}

TEST_F(HelpTest, AnUnwritableCacheIsReported) {
  const QString blocked = dir_.filePath(QStringLiteral("blocked"));
  WriteFile(QStringLiteral("blocked"), "a file where the cache folder should be");
  qputenv("XDG_CACHE_HOME", blocked.toLocal8Bit());
  QString message;
  EXPECT_FALSE(resources_->ShowHelp(u"TovxDesignerForm", &message));
  EXPECT_TRUE(message.startsWith(QStringLiteral("无法写出帮助文件"))) << message.toStdString();
}

// --- Images --------------------------------------------------------------------

bool HasVisiblePixels(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > 0) return true;
    }
  }
  return false;
}

QByteArray Fingerprint(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  return QCryptographicHash::hash(
      QByteArrayView(reinterpret_cast<const char*>(argb.constBits()), argb.sizeInBytes()),
      QCryptographicHash::Sha1);
}

TEST_F(ResourcesTest, ImageListsHoldDistinctPicturesAtTheIndexesWindowsUse) {
  struct Case {
    const char* list;
    const ovx::ImageList& images;
    int cell_size;
    int highest_named_index;
  };
  const Case cases[] = {
      {"preview", resources_->PreviewImages(), 16, im::kPreviewHighlight},
      {"designer", resources_->DesignerImages(), 16, im::kDesignerFieldBoolean},
      {"designer greyed", resources_->DesignerImagesGreyed(), 16, im::kDesignerFieldBoolean},
      {"object", resources_->ObjectImages(), 16, im::kObjectOtherCategory},
      {"wizard", resources_->WizardImages(), 32, im::kWizardTemplate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(c.images.CellSize(), c.cell_size);
    EXPECT_GT(c.images.Count(), c.highest_named_index);
    QSet<QByteArray> seen;
    for (int i = 0; i < c.images.Count(); ++i) {
      const QImage image = c.images.Image(i);
      ASSERT_EQ(image.size(), QSize(c.cell_size, c.cell_size)) << i;
      EXPECT_TRUE(image.hasAlphaChannel()) << i;
      EXPECT_TRUE(HasVisiblePixels(image)) << i;
      EXPECT_FALSE(seen.contains(Fingerprint(image))) << "picture " << i << " repeats";
      seen.insert(Fingerprint(image));
    }
    EXPECT_TRUE(c.images.Image(c.images.Count()).isNull());
    EXPECT_TRUE(c.images.Image(-1).isNull());
  }
  // Filled once and shared.
  EXPECT_EQ(&resources_->PreviewImages(), &resources_->PreviewImages());
}

TEST_F(ResourcesTest, GreyedCopiesAndButtonGlyphs) {
  const ovx::ImageList& normal = resources_->DesignerImages();
  const ovx::ImageList& greyed = resources_->DesignerImagesGreyed();
  ASSERT_EQ(greyed.Count(), normal.Count());
  for (int i = 0; i < normal.Count(); ++i) {
    const QImage n = normal.Image(i).convertToFormat(QImage::Format_ARGB32);
    const QImage g = greyed.Image(i).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const QRgb gp = g.pixel(x, y);
        ASSERT_EQ(qAlpha(gp), qAlpha(n.pixel(x, y))) << i << " " << x << "," << y;
        if (qAlpha(gp) == 0) continue;
        ASSERT_TRUE(qRed(gp) == qGreen(gp) && qGreen(gp) == qBlue(gp)) << i;
        if (qAlpha(gp) == 255) {
          ASSERT_GE(qRed(gp), 128) << i;  // lighter than the darkest ink
        }
      }
    }
  }

  const QImage glyph = resources_->ButtonGlyph(im::kDesignerEvent);
  ASSERT_EQ(glyph.size(), QSize(32, 16));
  const QImage expected_normal =
      normal.Image(im::kDesignerEvent).convertToFormat(QImage::Format_ARGB32);
  const QImage expected_grey =
      greyed.Image(im::kDesignerEvent).convertToFormat(QImage::Format_ARGB32);
  const QImage actual = glyph.convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(actual.copy(0, 1, 16, 15), expected_normal.copy(0, 0, 16, 15));
  EXPECT_EQ(actual.copy(16, 1, 16, 15), expected_grey.copy(0, 0, 16, 15));
  for (int x = 0; x < 32; ++x) EXPECT_EQ(qAlpha(actual.pixel(x, 0)), 0) << x;
  EXPECT_TRUE(resources_->ButtonGlyph(normal.Count()).isNull());
}

}  // namespace
}  // namespace ovx::test
