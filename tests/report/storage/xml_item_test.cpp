#include "report/storage/xml_item.h"
#include "report/storage/xml_document.h"

#include "base/stream.h"
#include "xml_test_util.h"

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::Dump;

TovxXMLItem* AddNamed(TovxXMLItem* parent, const char* name) {
  TovxXMLItem* item = parent->Add();
  item->SetName(name);
  return item;
}

TEST(XmlItemTest, ChildrenAreFoundIgnoringCase) {
  TovxXMLItem root;
  EXPECT_EQ(root.Count(), 0);
  EXPECT_EQ(root.Items(0), nullptr);
  TovxXMLItem* report = AddNamed(&root, "report");
  TovxXMLItem* pages = AddNamed(&root, "SourcePages");
  EXPECT_EQ(root.Find("sourcepages"), 1);
  EXPECT_EQ(root.Find("source"), -1);
  EXPECT_EQ(root.FindItem("REPORT"), report);
  TovxXMLItem* created = root.FindItem("dictionary");
  EXPECT_EQ(root.Count(), 3);
  EXPECT_EQ(created->Name(), "dictionary");
  EXPECT_EQ(created->Parent(), &root);
  EXPECT_EQ(root.IndexOf(pages), 1);
  EXPECT_EQ(root[2], created);
  EXPECT_EQ(root.Items(3), nullptr);
  EXPECT_EQ(root.Items(-1), nullptr);
}

TEST(XmlItemTest, MovingAndDeletingKeepParentsRight) {
  TovxXMLItem first;
  TovxXMLItem second;
  first.SetName("first");
  second.SetName("second");
  TovxXMLItem* a = AddNamed(&first, "a");
  TovxXMLItem* b = AddNamed(&first, "b");
  AddNamed(b, "b1");
  AddNamed(&second, "x");

  second.AddItem(b);
  EXPECT_EQ(Dump(&first), "first(a)");
  EXPECT_EQ(Dump(&second), "second(x,b(b1))");
  EXPECT_EQ(b->Parent(), &second);
  second.InsertItem(0, a);
  EXPECT_EQ(Dump(&first), "first");
  EXPECT_EQ(Dump(&second), "second(a,x,b(b1))");
  second.InsertItem(99, a);
  EXPECT_EQ(Dump(&second), "second(x,b(b1),a)");

  delete second.Items(1);
  EXPECT_EQ(Dump(&second), "second(x,a)");
  second.Clear();
  EXPECT_EQ(second.Count(), 0);
  EXPECT_TRUE(second.Loaded());
}

TEST(XmlItemTest, ClearMarksUnloadableItemsNotLoaded) {
  TovxXMLItem page;
  page.SetUnloadable(true);
  AddNamed(&page, "m");
  page.Clear();
  EXPECT_FALSE(page.Loaded());
  // Adding content makes it the item's content again.
  AddNamed(&page, "n");
  EXPECT_TRUE(page.Loaded());
}

TEST(XmlItemTest, VeryDeepTreesAreWrittenAndDestroyedWithoutRecursion) {
  constexpr int kDepth = 200000;
  TovxXMLDocument document;
  TovxXMLItem* item = document.Root();
  item->SetName("r");
  for (int i = 0; i < kDepth; ++i) item = AddNamed(item, "e");
  MemoryStream out;
  document.SaveToStream(out);
  // The declaration, <r></r>, <e></e> around all but the deepest, <e/>.
  EXPECT_EQ(out.Size(), 38 + 7 + (kDepth - 1) * 7 + 4);
  // A tree that deep is not read back: the reader limits nesting.
  TovxXMLDocument reread;
  out.Seek(0);
  EXPECT_THROW(reread.LoadFromStream(out), TovxInvalidXMLException);
  // ~TovxXMLDocument destroys the chain here.
}

}  // namespace
}  // namespace ovx
