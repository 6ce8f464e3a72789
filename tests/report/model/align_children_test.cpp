// Aligning child views in their container.
#include "report/model/view.h"

#include <gtest/gtest.h>

namespace {

struct AlignFixture : ::testing::Test {
  TovxView band;
  AlignFixture() { band.SetBounds(0, 0, 500, 100); }

  TovxView* Add(TovxAlign align, double left, double top, double width, double height) {
    auto* view = new TovxView(&band);
    view->SetAlign(align);
    view->SetBounds(left, top, width, height);
    return view;
  }
};

using AlignChildrenTest = AlignFixture;

TEST_F(AlignChildrenTest, LeftViewsPackAgainstOverlappingNeighbours) {
  TovxView* first = Add(TovxAlign::baLeft, 50, 0, 40, 20);
  TovxView* second = Add(TovxAlign::baLeft, 200, 10, 30, 20);
  TovxView* below = Add(TovxAlign::baLeft, 300, 20, 30, 20);  // touches `first` only at its bottom
  band.AlignChildren();
  EXPECT_DOUBLE_EQ(first->Left(), 0);
  EXPECT_DOUBLE_EQ(second->Left(), 40);
  EXPECT_DOUBLE_EQ(below->Left(), 70);  // overlaps `second`, not `first`
}

TEST_F(AlignChildrenTest, RightAndWidthViewsReachTheNextNeighbour) {
  TovxView* left = Add(TovxAlign::baLeft, 10, 0, 100, 20);
  TovxView* fill = Add(TovxAlign::baWidth, 150, 0, 10, 20);
  TovxView* right = Add(TovxAlign::baRight, 300, 0, 50, 20);
  band.AlignChildren();
  EXPECT_DOUBLE_EQ(left->Left(), 0);
  EXPECT_DOUBLE_EQ(right->Left(), 450);
  EXPECT_DOUBLE_EQ(fill->Left(), 100);
  EXPECT_DOUBLE_EQ(fill->Width(), 350);
}

TEST_F(AlignChildrenTest, CentreBottomAndClientUseTheClientRectangle) {
  TovxView* centre = Add(TovxAlign::baCenter, 7, 3, 100, 20);
  TovxView* bottom = Add(TovxAlign::baBottom, 7, 3, 100, 20);
  TovxView* client = Add(TovxAlign::baClient, 7, 3, 100, 20);
  TovxView* loose = Add(TovxAlign::baNone, 7, 3, 100, 20);
  band.AlignChildren();
  EXPECT_DOUBLE_EQ(centre->Left(), 200);
  EXPECT_DOUBLE_EQ(bottom->Top(), 80);
  EXPECT_DOUBLE_EQ(client->Left(), 0);
  EXPECT_DOUBLE_EQ(client->Top(), 0);
  EXPECT_DOUBLE_EQ(client->Width(), 500);
  EXPECT_DOUBLE_EQ(client->Height(), 100);
  EXPECT_DOUBLE_EQ(loose->Left(), 7);
}

TEST_F(AlignChildrenTest, NegativePositionsOrderNumerically) {
  // Added out of order: the packing must follow -20, -5, 3.
  TovxView* c = Add(TovxAlign::baLeft, 3, 0, 10, 20);
  TovxView* a = Add(TovxAlign::baLeft, -20, 0, 10, 20);
  TovxView* b = Add(TovxAlign::baLeft, -5, 0, 10, 20);
  band.AlignChildren();
  EXPECT_DOUBLE_EQ(a->Left(), 0);
  EXPECT_DOUBLE_EQ(b->Left(), 10);
  EXPECT_DOUBLE_EQ(c->Left(), 20);
}

TEST_F(AlignChildrenTest, EqualPositionsKeepChildOrderAndChildrenAlignTheirOwn) {
  TovxView* first = Add(TovxAlign::baLeft, 5.001, 0, 10, 20);
  TovxView* second = Add(TovxAlign::baLeft, 5.004, 0, 10, 20);
  TovxView* container = Add(TovxAlign::baNone, 0, 50, 200, 40);
  auto* inner = new TovxView(container);
  inner->SetAlign(TovxAlign::baClient);
  band.AlignChildren();
  EXPECT_DOUBLE_EQ(first->Left(), 0);
  EXPECT_DOUBLE_EQ(second->Left(), 10);
  EXPECT_DOUBLE_EQ(inner->Width(), 200);
  EXPECT_DOUBLE_EQ(inner->Height(), 40);
}

}  // namespace
