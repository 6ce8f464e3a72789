// The component tree: ownership, order, geometry, fonts and anchors.
#include "base/error.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts destructions, to see who frees whom.
class CountedView : public TovxView {
 public:
  explicit CountedView(TovxComponent* owner, int* destroyed)
      : TovxView(owner), destroyed_(destroyed) {}
  ~CountedView() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

QStringList Names(const std::vector<TovxComponent*>& objects) {
  QStringList names;
  for (const TovxComponent* c : objects) names << c->Name();
  return names;
}

TEST(ComponentTreeTest, NewObjectJoinsItsOwnersPageAndReport) {
  TovxReport report;
  auto* page = new TovxPage(&report);
  page->Font().SetName("黑体");
  page->Font().SetSize(12);
  auto* first = new TovxView(page);
  auto* view = new TovxView(page);

  EXPECT_EQ(page->Objects().back(), view);
  EXPECT_EQ(view->Parent(), page);
  EXPECT_EQ(view->Owner(), &report);
  EXPECT_EQ(view->Page(), page);
  EXPECT_EQ(view->Report(), &report);
  EXPECT_TRUE(view->ParentFont());
  EXPECT_TRUE(view->Font().SameAs(page->Font()));
  EXPECT_EQ(view->Font().Name(), "黑体");

  view->Font().SetColor(0xFF);
  EXPECT_FALSE(view->ParentFont());
  EXPECT_TRUE(first->ParentFont());
}

TEST(ComponentTreeTest, FontChangesFlowDownToFollowers) {
  TovxPage page;
  auto* band = new TovxView(&page);
  auto* follower = new TovxView(band);
  auto* own_font = new TovxView(band);
  own_font->Font().SetName("宋体");

  page.Font().SetSize(20);
  EXPECT_EQ(band->Font().Size(), 20);
  EXPECT_EQ(follower->Font().Size(), 20);
  EXPECT_EQ(own_font->Font().Size(), 10);
  EXPECT_TRUE(follower->ParentFont());

  // Following again takes the parent's font at once.
  own_font->SetParentFont(true);
  EXPECT_EQ(own_font->Font().Name(), "Arial");
  EXPECT_EQ(own_font->Font().Size(), 20);

  TovxFont font;
  font.SetHeight(-64);
  band->SetFont(font);
  EXPECT_FALSE(band->ParentFont());
  EXPECT_EQ(follower->Font().Size(), 48);
}

TEST(ComponentTreeTest, MovingKeepsOrderAndRejectsCycles) {
  TovxPage page;
  auto* a = new TovxView(&page);
  auto* b = new TovxView(&page);
  auto* c = new TovxView(b);
  a->SetName("A");
  b->SetName("B");
  c->SetName("C");

  a->SetParent(b);
  EXPECT_EQ(Names(page.Objects()), QStringList{"B"});
  EXPECT_EQ(Names(b->Objects()), (QStringList{"C", "A"}));
  EXPECT_EQ(Names(page.AllObjects()), (QStringList{"B", "C", "A"}));

  EXPECT_THROW(b->SetParent(c), ovx::Error);
  EXPECT_THROW(b->SetParent(b), ovx::Error);
  EXPECT_EQ(c->Parent(), b);
  EXPECT_EQ(b->Parent(), &page);
}

TEST(ComponentTreeTest, ClearKeepsInheritedObjectsButEmptiesThem) {
  TovxReport report;
  auto* page = new TovxPage(&report);
  auto* inherited = new TovxView(page);
  inherited->SetName("Inherited");
  inherited->SetAncestor(true);
  auto* inside = new TovxView(inherited);
  inside->SetName("Inside");
  auto* plain = new TovxView(page);
  plain->SetName("Plain");

  page->Clear();
  EXPECT_EQ(Names(page->Objects()), QStringList{"Inherited"});
  EXPECT_TRUE(inherited->Objects().empty());
  EXPECT_EQ(report.FindObject("Inside"), nullptr);
}

TEST(ComponentTreeTest, ReportFreesDetachedObjectsItStores) {
  int destroyed = 0;
  {
    TovxReport report;
    auto* page = new TovxPage(&report);
    new CountedView(page, &destroyed);
    auto* detached = new CountedView(page, &destroyed);
    new CountedView(detached, &destroyed);
    detached->SetParent(nullptr);
    EXPECT_EQ(detached->Owner(), &report);
    delete page;
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(ComponentTreeTest, AnOwnerLeavesObjectsHangingElsewhereToTheirParent) {
  int destroyed = 0;
  auto keeper = std::make_unique<TovxReport>();
  auto* page = new TovxPage(keeper.get());
  {
    TovxReport owner;
    auto* view = new CountedView(new TovxPage(&owner), &destroyed);
    view->SetParent(page);
    EXPECT_EQ(view->Owner(), &owner);
  }
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(page->Objects().size(), 1u);
  keeper.reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(ComponentTreeTest, AbsolutePositionsAddUpToTheDialogPage) {
  TovxReport report;
  auto* page = new TovxPage(&report);
  auto* band = new TovxView(page);
  band->SetBounds(10, 20, 300, 100);
  auto* view = new TovxView(band);
  view->SetBounds(1.5, 2.5, 10, 10);
  EXPECT_DOUBLE_EQ(view->AbsLeft(), 11.5);
  EXPECT_DOUBLE_EQ(view->AbsTop(), 22.5);

  auto* dialog = new TovxDialogPage(&report);
  dialog->SetLeft(500);
  auto* control = new TovxView(dialog);
  control->SetBounds(7, 8, 10, 10);
  EXPECT_DOUBLE_EQ(control->AbsLeft(), 7);
  EXPECT_DOUBLE_EQ(control->AbsTop(), 8);
}

TEST(ComponentTreeTest, AnchorsDecideHowChildrenFollowAResize) {
  using A = TovxAnchor;
  struct Case {
    TovxAnchors anchors;
    double left, top, width, height;  // after the container grew by 100 x 50
  };
  // Child starts at (10, 10) sized 20 x 20; 100 / 1.18 rounds to 85, 50 / 1.18 to 42.
  const Case cases[] = {
      {{A::fraLeft, A::fraTop}, 10, 10, 20, 20},
      {{A::fraLeft, A::fraRight, A::fraTop, A::fraBottom}, 10, 10, 120, 70},
      {{A::fraRight, A::fraBottom}, 110, 60, 20, 20},
      {{}, 95, 52, 20, 20},
  };
  for (const Case& c : cases) {
    TovxView band;
    band.SetBounds(0, 0, 200, 100);
    auto* child = new TovxView(&band);
    child->SetBounds(10, 10, 20, 20);
    child->SetAnchors(c.anchors);
    band.SetWidth(300);
    band.SetHeight(150);
    EXPECT_DOUBLE_EQ(child->Left(), c.left) << c.anchors.Bits();
    EXPECT_DOUBLE_EQ(child->Top(), c.top) << c.anchors.Bits();
    EXPECT_DOUBLE_EQ(child->Width(), c.width) << c.anchors.Bits();
    EXPECT_DOUBLE_EQ(child->Height(), c.height) << c.anchors.Bits();
  }
}

TEST(ComponentTreeTest, TinyResizesAndDesignRestrictionsLeaveChildrenAlone) {
  TovxView band;
  band.SetWidth(200);
  auto* child = new TovxView(&band);
  child->SetAnchors({TovxAnchor::fraRight});
  band.SetWidth(200.005);
  EXPECT_DOUBLE_EQ(child->Left(), 0);

  child->SetDesigning(true);
  child->SetRestrictions({TovxRestriction::rfDontMove, TovxRestriction::rfDontSize});
  child->SetBounds(5, 5, 50, 50);
  EXPECT_DOUBLE_EQ(child->Left(), 0);
  EXPECT_DOUBLE_EQ(child->Width(), 0);
}

TEST(ComponentTreeTest, DifferenceTextListsWhatDiffersFromTheTemplate) {
  TovxPage page;
  TovxView base(&page);
  base.SetBounds(10, 20, 30, 40);
  TovxView copy(&page);
  copy.SetBounds(10.00005, 25, 30, 41.5);
  copy.SetTag(7);
  EXPECT_EQ(copy.DifferenceText(base), R"( t="25" h="41.5" Tag="7")");

  copy.Font().SetName("A&B");
  copy.Font().SetStyle({TovxFontStyle::fsBold, TovxFontStyle::fsItalic});
  copy.SetVisible(false);
  EXPECT_EQ(
      copy.DifferenceText(base),
      R"( t="25" h="41.5" Visible="0" Font.Name="A&#38;B" Font.Style="3" ParentFont="0" Tag="7")");

  // Classes that do not publish a position never record one.
  TovxPage other;
  other.SetLeft(5);
  EXPECT_EQ(other.DifferenceText(page), "");
}

}  // namespace
