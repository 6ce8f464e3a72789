// Partial loading and swapping of document items.
#include "report/storage/xml_document.h"

#include "base/stream.h"
#include "xml_test_util.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::Dump;
using test::SaveToBytes;

// A prepared report as the writer produces it: two swappable pages, one
// ordinary element.
QByteArray PreparedReport() {
  TovxXMLDocument document;
  TovxXMLItem* root = document.Root();
  root->SetName("preparedreport");
  root->FindItem("sourcepages")->Add()->SetName("TovxReportPage");
  for (int p = 0; p < 2; ++p) {
    TovxXMLItem* page = root->Add();
    page->SetName("page0");
    page->SetUnloadable(true);
    for (int m = 0; m < 3; ++m) {
      TovxXMLItem* memo = page->Add();
      memo->SetName("m" + QByteArray::number(m));
      memo->SetProp("u", "第" + QByteArray::number(p) + "頁 " + QByteArray::number(m));
    }
  }
  return SaveToBytes(document, true);
}

class XmlSwapTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.isValid());
    original_ = PreparedReport();
    source_ = std::make_unique<MemoryStream>(original_);
    document_.SetTempDir(temp_dir_.path());
    document_.LoadFromStream(*source_, true);
  }
  TovxXMLItem* Page(int index) { return document_.Root()->Items(1 + index); }
  bool SwapFileExists() const { return !QDir(temp_dir_.path()).isEmpty(); }

  QTemporaryDir temp_dir_;
  QByteArray original_;
  std::unique_ptr<MemoryStream> source_;
  TovxXMLDocument document_;
};

TEST_F(XmlSwapTest, PartialLoadingLeavesMarkedItemsInTheSource) {
  EXPECT_EQ(Dump(document_.Root()), "preparedreport(sourcepages(TovxReportPage),page0*~,page0*~)");
  EXPECT_TRUE(document_.SwapFileName().isEmpty());

  document_.LoadItem(Page(1));
  EXPECT_TRUE(Page(1)->Loaded());
  ASSERT_EQ(Page(1)->Count(), 3);
  EXPECT_EQ(Page(1)->Items(2)->Prop("u"), "第1頁 2");
  EXPECT_EQ(Page(1)->Items(0)->Parent(), Page(1));
  EXPECT_FALSE(Page(0)->Loaded());
  EXPECT_FALSE(SwapFileExists());
}

TEST_F(XmlSwapTest, SavingAPartiallyLoadedDocumentWritesEverything) {
  EXPECT_EQ(SaveToBytes(document_, true), original_);
  // Writing brought the pages back only for the time of writing.
  EXPECT_FALSE(Page(0)->Loaded());
  EXPECT_EQ(Page(0)->Count(), 0);
  document_.LoadItem(Page(0));
  EXPECT_EQ(SaveToBytes(document_, true), original_);
}

TEST_F(XmlSwapTest, ChangedItemsGoToThePrivateSwapFile) {
  document_.LoadItem(Page(0));
  Page(0)->Items(1)->SetProp("u", "changed");
  document_.UnloadItem(Page(0));
  EXPECT_FALSE(Page(0)->Loaded());
  EXPECT_EQ(Page(0)->Count(), 0);

  // The caller's stream is untouched; the copy lives in TempDir.
  EXPECT_EQ(source_->Data(), original_);
  const QString swap = document_.SwapFileName();
  ASSERT_FALSE(swap.isEmpty());
  EXPECT_EQ(QFileInfo(swap).absolutePath(), QFileInfo(temp_dir_.path()).absoluteFilePath());
  EXPECT_GT(QFileInfo(swap).size(), 0);

  document_.LoadItem(Page(0));
  EXPECT_EQ(Page(0)->Items(1)->Prop("u"), "changed");
  document_.UnloadItem(Page(0));
  document_.LoadItem(Page(0));
  EXPECT_EQ(Page(0)->Items(1)->Prop("u"), "changed");

  QByteArray expected = original_;
  expected.replace("第0頁 1", "changed");
  EXPECT_EQ(SaveToBytes(document_, true), expected);
  EXPECT_EQ(source_->Data(), original_);
}

TEST_F(XmlSwapTest, SwapFileIsDeletedWithTheDocumentState) {
  document_.LoadItem(Page(0));
  document_.UnloadItem(Page(0));
  EXPECT_TRUE(SwapFileExists());
  document_.Clear();
  EXPECT_FALSE(SwapFileExists());
  EXPECT_TRUE(document_.SwapFileName().isEmpty());

  {
    TovxXMLDocument other;
    other.SetTempDir(temp_dir_.path());
    MemoryStream stream(original_);
    other.LoadFromStream(stream, true);
    other.LoadItem(other.Root()->Items(1));
    other.UnloadItem(other.Root()->Items(1));
    EXPECT_TRUE(SwapFileExists());
    // Loading again drops the old swap file.
    MemoryStream again(original_);
    other.LoadFromStream(again, true);
    EXPECT_FALSE(SwapFileExists());
    other.LoadItem(other.Root()->Items(1));
    other.UnloadItem(other.Root()->Items(1));
    EXPECT_TRUE(SwapFileExists());
  }
  EXPECT_FALSE(SwapFileExists());
}

TEST_F(XmlSwapTest, DamagedSourceCopiesFailCleanly) {
  // The source changed under the document: a page's start tag is gone.
  source_->Seek(original_.indexOf("<page0"));
  source_->Write(QByteArray("<xxxx0"));
  EXPECT_THROW(document_.LoadItem(Page(0)), TovxInvalidXMLException);
  EXPECT_FALSE(Page(0)->Loaded());
  EXPECT_EQ(Page(0)->Count(), 0);
  EXPECT_THROW(SaveToBytes(document_), TovxInvalidXMLException);

  // The source file was cut short: one copy is incomplete, one out of range.
  const QString path = temp_dir_.path() + "/cut.op3";
  {
    FileStream file(path, FileStream::Mode::kWrite);
    file.Write(original_);
  }
  TovxXMLDocument document;
  document.LoadFromFile(path, true);
  {
    FileStream file(path, FileStream::Mode::kWrite);
    file.Write(original_.left(original_.indexOf("</page0>")));
  }
  EXPECT_THROW(document.LoadItem(document.Root()->Items(1)), TovxInvalidXMLException);
  EXPECT_THROW(document.LoadItem(document.Root()->Items(2)), TovxInvalidXMLException);
  EXPECT_EQ(document.Root()->Items(1)->Count(), 0);
}

TEST_F(XmlSwapTest, DamagedPrivateSwapFileFailsCleanly) {
  document_.LoadItem(Page(0));
  document_.UnloadItem(Page(0));
  {
    FileStream swap(document_.SwapFileName(), FileStream::Mode::kReadWrite);
    swap.Write(QByteArray("<zz"));
  }
  EXPECT_THROW(document_.LoadItem(Page(0)), TovxInvalidXMLException);
  EXPECT_FALSE(Page(0)->Loaded());
  { FileStream truncate(document_.SwapFileName(), FileStream::Mode::kWrite); }
  EXPECT_THROW(document_.LoadItem(Page(0)), TovxInvalidXMLException);
}

TEST_F(XmlSwapTest, NestedSwappedItemsInsideAnUnloadedItem) {
  // An outer item written to the swap file while an inner one must be read
  // back from that same file, with output large enough to be flushed before
  // and after the inner read.
  TovxXMLDocument document;
  document.SetTempDir(temp_dir_.path());
  TovxXMLItem* root = document.Root();
  root->SetName("r");
  TovxXMLItem* outer = root->Add();
  outer->SetName("outer");
  outer->SetUnloadable(true);
  outer->SetProp("big", QByteArray(6000, 'b'));
  TovxXMLItem* inner = outer->Add();
  inner->SetName("inner");
  inner->SetUnloadable(true);
  TovxXMLItem* leaf = inner->Add();
  leaf->SetName("leaf");
  leaf->SetProp("v", QByteArray(6000, 'i'));
  TovxXMLItem* after = outer->Add();
  after->SetName("after");
  after->SetProp("v", QByteArray(6000, 'a'));
  const QByteArray expected = SaveToBytes(document);

  document.UnloadItem(inner);
  document.UnloadItem(outer);
  EXPECT_EQ(SaveToBytes(document), expected);
  document.LoadItem(outer);
  ASSERT_EQ(outer->Count(), 2);
  EXPECT_TRUE(outer->Items(0)->Unloadable());
  EXPECT_EQ(outer->Items(0)->Items(0)->Prop("v"), QByteArray(6000, 'i'));
  EXPECT_EQ(SaveToBytes(document), expected);
}

TEST_F(XmlSwapTest, SavingIntoTheSourceStreamIsRefused) {
  EXPECT_THROW(document_.SaveToStream(*source_), Error);
  EXPECT_EQ(source_->Data(), original_);
}

TEST_F(XmlSwapTest, PartialLoadFromFileCanBeSavedOverThatFile) {
  const QString path = temp_dir_.path() + "/report.op3";
  {
    FileStream file(path, FileStream::Mode::kWrite);
    file.Write(original_);
  }
  TovxXMLDocument document;
  document.LoadFromFile(path, true);
  document.SetAutoIndent(true);
  document.SaveToFile(path);
  document.SaveToFile(path);
  FileStream file(path, FileStream::Mode::kRead);
  EXPECT_EQ(file.ReadAll(), original_);
}

TEST_F(XmlSwapTest, AddingToASwappedOutItemReplacesItsCopy) {
  Page(0)->Add()->SetName("fresh");
  EXPECT_TRUE(Page(0)->Loaded());
  document_.LoadItem(Page(0));  // nothing to bring back any more
  EXPECT_EQ(Dump(Page(0)), "page0*(fresh)");
}

TEST_F(XmlSwapTest, ClearingAnUnloadableItemMarksItNotLoaded) {
  document_.LoadItem(Page(0));
  Page(0)->Clear();
  EXPECT_FALSE(Page(0)->Loaded());
  // Its copy in the source is still there to be loaded.
  document_.LoadItem(Page(0));
  EXPECT_EQ(Page(0)->Count(), 3);
}

}  // namespace
}  // namespace ovx
