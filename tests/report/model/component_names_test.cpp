// Names within a report: uniqueness, generated names and lookup.
#include "base/error.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A view class of its own, so generated names have a stem ("Memo").
class TovxMemoView : public TovxView {
  OVX_META_CLASS

 public:
  explicit TovxMemoView(TovxComponent* owner = nullptr) : TovxView(owner) {}
};

const ovx::MetaClass& TovxMemoView::StaticMetaClass() {
  static const ovx::MetaClass meta("TovxMemoView", &TovxView::StaticMetaClass(), {}, nullptr);
  return meta;
}

struct ReportFixture : ::testing::Test {
  TovxReport report;
  TovxPage* page = new TovxPage(&report);

  TovxMemoView* Memo(const char* name) {
    auto* memo = new TovxMemoView(page);
    memo->SetName(QString::fromUtf8(name));
    return memo;
  }
};

// Expects `action` to throw an ovx::Error with the given resource name.
template <class Action>
void ExpectError(Action action, const char* resource_name) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << resource_name;
  } catch (const ovx::Error& error) {
    EXPECT_EQ(error.ResourceName(), QString::fromLatin1(resource_name)) << error.what();
  }
}

using NamesTest = ReportFixture;

TEST_F(NamesTest, ChangeOfCaseOnlyIsIgnored) {
  TovxMemoView* memo = Memo("Memo1");
  memo->SetName("MEMO1");
  EXPECT_EQ(memo->Name(), "Memo1");
}

TEST_F(NamesTest, RejectedRenamesChangeNothing) {
  TovxMemoView* first = Memo("Memo1");
  TovxMemoView* second = Memo("Memo2");
  TovxMemoView* inherited = Memo("Inherited1");
  inherited->SetAncestor(true);

  ExpectError([&] { second->SetName("memo1"); }, "prDupl");
  ExpectError([&] { inherited->SetName("Other"); }, "clCantRen");
  ExpectError([&] { second->SetName("1Memo"); }, "");
  ExpectError([&] { second->SetName("Memo 3"); }, "");

  EXPECT_EQ(second->Name(), "Memo2");
  EXPECT_EQ(inherited->Name(), "Inherited1");
  // The index still knows every old name and nothing else.
  EXPECT_EQ(report.FindObject("Memo1"), first);
  EXPECT_EQ(report.FindObject("Memo2"), second);
  EXPECT_EQ(report.FindObject("Inherited1"), inherited);
  ExpectError([&] { Memo("Memo2"); }, "prDupl");
  EXPECT_NO_THROW(Memo("Other"));
}

TEST_F(NamesTest, CantRenameMessageNamesTheOldName) {
  TovxMemoView* memo = Memo("Title");
  memo->SetAncestor(true);
  try {
    memo->SetName("Caption");
    FAIL();
  } catch (const ovx::Error& error) {
    EXPECT_EQ(error.Message(), "Could not rename Title, it was introduced in the ancestor report");
  }
}

TEST_F(NamesTest, NamesAreFreeAgainAfterDestroyRenameOrClearing) {
  TovxMemoView* renamed = Memo("Renamed");
  TovxMemoView* cleared = Memo("Cleared");
  auto* other_page = new TovxPage(&report);
  auto* doomed = new TovxMemoView(other_page);
  doomed->SetName("Doomed");

  renamed->SetName("Renamed2");
  cleared->SetName("");
  delete other_page;

  EXPECT_NO_THROW(Memo("Renamed"));
  EXPECT_NO_THROW(Memo("Cleared"));
  EXPECT_NO_THROW(Memo("Doomed"));
  EXPECT_EQ(report.FindObject("Doomed")->Parent(), page);
}

TEST_F(NamesTest, PageClearFreesTheNamesOfItsObjects) {
  Memo("Memo1");
  Memo("Memo2");
  page->Clear();
  EXPECT_TRUE(page->Objects().empty());
  EXPECT_NO_THROW(Memo("Memo1"));
  EXPECT_NO_THROW(Memo("Memo2"));
}

TEST_F(NamesTest, GeneratedNamesContinueTheSequence) {
  auto* first = new TovxMemoView(page);
  first->CreateUniqueName();
  EXPECT_EQ(first->Name(), "Memo1");
  for (int i = 2; i <= 5; ++i) Memo(QStringLiteral("Memo%1").arg(i).toUtf8().constData());
  auto* next = new TovxMemoView(page);
  next->CreateUniqueName();
  EXPECT_EQ(next->Name(), "Memo6");

  // Gaps below the count are filled from the top of the run.
  report.FindObject("Memo3")->SetName("Renamed");
  auto* after_gap = new TovxMemoView(page);
  after_gap->CreateUniqueName();
  EXPECT_EQ(after_gap->Name(), "Memo7");

  auto* new_page = new TovxPage(&report);
  new_page->CreateUniqueName();
  EXPECT_EQ(new_page->Name(), "Page1");
}

TEST_F(NamesTest, MarkersNeverBlockRealNames) {
  for (int i = 1; i <= 5; ++i) {
    auto* memo = new TovxMemoView(page);
    memo->CreateUniqueName();
  }
  // Name generation has placed its markers "Memo0" and "MemoA" by now.
  TovxMemoView* zero = nullptr;
  EXPECT_NO_THROW(zero = Memo("Memo0"));
  EXPECT_NO_THROW(Memo("MemoA"));
  EXPECT_EQ(report.FindObject("memo0"), zero);

  auto* next = new TovxMemoView(page);
  next->CreateUniqueName();
  EXPECT_EQ(next->Name(), "Memo6");

  // Giving the name up again leaves the marker, not a taken name.
  delete zero;
  EXPECT_EQ(report.FindObject("Memo0"), nullptr);
  EXPECT_NO_THROW(Memo("Memo0"));
}

TEST_F(NamesTest, FindObjectIgnoresCaseAndSearchesBelowOnly) {
  TovxMemoView* memo = Memo("Memo1");
  EXPECT_EQ(report.FindObject("memo1"), memo);
  EXPECT_EQ(page->FindObject("MEMO1"), memo);
  EXPECT_EQ(memo->FindObject("Memo1"), nullptr);
  auto* other_page = new TovxPage(&report);
  EXPECT_EQ(other_page->FindObject("Memo1"), nullptr);
  EXPECT_EQ(report.FindObject("Nobody"), nullptr);
  EXPECT_EQ(report.FindObject(""), nullptr);

  // Moving the object keeps it findable from its new place.
  memo->SetParent(other_page);
  EXPECT_EQ(other_page->FindObject("memo1"), memo);
  EXPECT_EQ(page->FindObject("memo1"), nullptr);
}

TEST(NamesWithoutReportTest, EqualNamesAreAllowedAndTheFirstInTreeOrderWins) {
  TovxPage page;
  auto* band = new TovxView(&page);
  auto* inner = new TovxMemoView(band);
  inner->SetName("Twin");
  auto* outer = new TovxMemoView(&page);
  outer->SetName("Twin");
  EXPECT_EQ(page.FindObject("twin"), inner);
  EXPECT_EQ(outer->Owner(), nullptr);
}

TEST(NamesWithoutReportTest, StandaloneObjectsTakeAnyValidName) {
  TovxMemoView memo;
  memo.SetName("Memo1");
  EXPECT_EQ(memo.Name(), "Memo1");
  EXPECT_THROW(memo.SetName("not valid"), ovx::Error);
  EXPECT_EQ(memo.Name(), "Memo1");
}

TEST(NamesValidityTest, Identifiers) {
  struct Case {
    const char* name;
    bool valid;
  };
  const Case cases[] = {
      {"Memo1", true}, {"_x", true},   {"标题", true}, {"a_1_b", true}, {"", false},
      {"1a", false},   {"a-b", false}, {"a b", false}, {"a.b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TovxComponent::IsValidName(QString::fromUtf8(c.name)), c.valid) << c.name;
  }
}

}  // namespace
