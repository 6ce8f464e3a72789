// Bands: kind numbers, child chains, the counting data set of data bands
// and character-grid snapping.
#include "report/model/band.h"

#include "base/class_builder.h"
#include "base/class_registry.h"
#include "base/error.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/storage/xml_serializer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A kind derived from a table kind keeps the table kind's number.
class CustomMasterData : public TovxMasterData {
  OVX_META_CLASS

 public:
  using TovxMasterData::TovxMasterData;
};

}  // namespace

const ovx::MetaClass& CustomMasterData::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<CustomMasterData> b("CustomMasterData", &TovxMasterData::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

namespace {

TEST(BandTest, NumbersFollowTheBandTable) {
  const struct {
    std::unique_ptr<TovxBand> band;
    int number;
  } cases[] = {
      {std::make_unique<TovxReportTitle>(), 0},   {std::make_unique<TovxReportSummary>(), 1},
      {std::make_unique<TovxPageHeader>(), 2},    {std::make_unique<TovxPageFooter>(), 3},
      {std::make_unique<TovxHeader>(), 4},        {std::make_unique<TovxFooter>(), 5},
      {std::make_unique<TovxMasterData>(), 6},    {std::make_unique<TovxDetailData>(), 7},
      {std::make_unique<TovxSubdetailData>(), 8}, {std::make_unique<TovxDataBand4>(), 9},
      {std::make_unique<TovxDataBand5>(), 10},    {std::make_unique<TovxDataBand6>(), 11},
      {std::make_unique<TovxGroupHeader>(), 12},  {std::make_unique<TovxGroupFooter>(), 13},
      {std::make_unique<TovxChild>(), 14},        {std::make_unique<TovxColumnHeader>(), 15},
      {std::make_unique<TovxColumnFooter>(), 16}, {std::make_unique<TovxOverlay>(), 17},
      {std::make_unique<TovxNullBand>(), 0},      {std::make_unique<TovxBand>(), 0},
      {std::make_unique<CustomMasterData>(), 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.band->BandNumber(), c.number) << c.band->GetMetaClass().ClassName().toStdString();
    EXPECT_EQ(c.band->GetDescription(), "obBand");
  }
}

TEST(BandTest, ChildChainThatComesBackIsRefused) {
  TovxReportPage page;
  auto* master = new TovxMasterData(&page);
  auto* first = new TovxChild(&page);
  auto* second = new TovxChild(&page);
  master->SetChild(first);
  first->SetChild(second);
  try {
    second->SetChild(first);
    FAIL() << "a loop was accepted";
  } catch (const ovx::Error& error) {
    EXPECT_EQ(error.ResourceName(), "clCirRefNotAllow");
    EXPECT_EQ(error.Message(), "Circular child reference is not allowed");
  }
  EXPECT_EQ(second->Child(), nullptr);
  EXPECT_THROW(first->SetChild(first), ovx::Error);
  EXPECT_EQ(first->Child(), second);  // a refused link changes nothing
}

TEST(BandTest, LoopFromATemplateIsReportedAndNotMade) {
  TovxReport report;
  auto* page = new TovxReportPage(&report);
  auto* first = new TovxChild(page);
  auto* second = new TovxChild(page);
  first->SetName(QStringLiteral("Child1"));
  second->SetName(QStringLiteral("Child2"));
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, &report);
  serializer.ReadProperties(R"(Child="Child2")", *first);
  serializer.ReadProperties(R"(Child="Child1")", *second);
  EXPECT_EQ(first->Child(), second);
  EXPECT_EQ(second->Child(), nullptr);
  EXPECT_TRUE(
      serializer.Errors().contains(QStringLiteral("Circular child reference is not allowed")))
      << serializer.Errors().join(u'\n').toStdString();
}

TEST(BandTest, DestroyedChildLeavesNoDanglingLink) {
  TovxReportPage page;
  auto* header = new TovxPageHeader(&page);
  auto* footer = new TovxFooter(&page);
  auto* child = new TovxChild(&page);
  header->SetChild(child);
  footer->SetChild(child);
  delete child;
  EXPECT_EQ(header->Child(), nullptr);
  EXPECT_EQ(footer->Child(), nullptr);

  auto* other = new TovxChild(&page);
  header->SetChild(other);
  delete header;  // the child forgets the band that named it
  delete other;
}

TEST(BandTest, RowCountRunsThePrivateCountingDataSet) {
  TovxMasterData band;
  EXPECT_EQ(band.DataSet(), nullptr);
  band.SetRowCount(3);
  EXPECT_EQ(band.RowCount(), 3);
  TovxDataSet& rows = band.CountingDataSet();
  rows.First();
  for (int record = 0; record < 3; ++record) {
    EXPECT_EQ(rows.RecNo(), record);
    EXPECT_FALSE(rows.Eof()) << record;
    rows.Next();
  }
  EXPECT_TRUE(rows.Eof());
  EXPECT_EQ(rows.RecNo(), 2);
}

TEST(BandTest, DataBandWritesItsRowCountAlways) {
  TovxMasterData band;
  ovx::ClassRegistry classes;
  TovxXMLSerializer serializer(classes, nullptr);
  const QByteArray written = serializer.WriteProperties(band);
  EXPECT_TRUE(written.contains(R"(RowCount="0")")) << written.toStdString();
  EXPECT_TRUE(written.contains(R"(ColumnWidth="0" ColumnGap="0")")) << written.toStdString();
  EXPECT_FALSE(written.contains("ShiftEngine")) << written.toStdString();
  band.SetShiftEngine(TovxShiftEngine::seLinear);
  EXPECT_TRUE(serializer.WriteProperties(band).contains(R"(ShiftEngine="seLinear")"));
}

TEST(BandTest, KindsPublishOnlyTheirOwnFlags) {
  const auto has = [](const ovx::MetaClass& meta, const char* name) {
    return meta.FindProperty(QString::fromLatin1(name)) != nullptr;
  };
  EXPECT_FALSE(has(TovxPageFooter::StaticMetaClass(), "Child"));
  EXPECT_TRUE(has(TovxPageFooter::StaticMetaClass(), "PrintOnLastPage"));
  EXPECT_TRUE(has(TovxChild::StaticMetaClass(), "ToNRowsMode"));
  EXPECT_FALSE(has(TovxColumnFooter::StaticMetaClass(), "Stretched"));
  EXPECT_TRUE(has(TovxOverlay::StaticMetaClass(), "PrintOnTop"));
  EXPECT_TRUE(has(TovxGroupHeader::StaticMetaClass(), "Condition"));
  EXPECT_TRUE(has(TovxDataBand4::StaticMetaClass(), "RowCount"));
  EXPECT_TRUE(has(TovxBand::StaticMetaClass(), "FillGap"));
}

TEST(BandTest, CharacterGridPagesSnapPositions) {
  TovxReportPage page;
  auto* band = new TovxMasterData(&page);
  band->SetLeft(10);
  EXPECT_DOUBLE_EQ(band->Left(), 10);
  page.SetCharacterGrid(true);
  band->SetLeft(10);
  band->SetTop(40);
  band->SetHeight(30);
  band->SetWidth(101);
  EXPECT_DOUBLE_EQ(band->Left(), 9.6);
  EXPECT_DOUBLE_EQ(band->Top(), 34);
  EXPECT_DOUBLE_EQ(band->Height(), 34);
  EXPECT_DOUBLE_EQ(band->Width(), 101);
}

TEST(BandTest, DataSetIsKeptByUserName) {
  TovxReport report;
  auto* data_page = new TovxDataPage(&report);
  auto* page = new TovxReportPage(&report);
  auto* band = new TovxMasterData(page);
  auto* data_set = new TovxUserDataSet(data_page);
  data_set->SetName(QStringLiteral("Customers"));
  band->SetDataSet(data_set);
  EXPECT_EQ(band->DataSetName(), "Customers");
  EXPECT_EQ(band->DataSet(), data_set);
  delete data_set;
  EXPECT_EQ(band->DataSet(), nullptr);
}

}  // namespace

namespace {

TEST(BandBackgroundTest, OnlyAFillOrAFrameLineGivesABackgroundMemo) {
  TovxReportPage page;
  auto* band = new TovxMasterData(&page);
  band->SetBounds(0, 0, 200, 40);
  auto* memo = new TovxMemoView(band);
  band->PrepareBackground();
  EXPECT_EQ(band->BackgroundMemo(), nullptr);
  EXPECT_EQ(band->Objects().size(), 1u);

  band->Frame().SetTyp(TovxFrameTypes{TovxFrameType::ftLeft});
  band->FillGap().SetLeft(2);
  band->FillGap().SetTop(3);
  band->FillGap().SetRight(4);
  band->FillGap().SetBottom(5);
  band->PrepareBackground();
  TovxMemoView* background = band->BackgroundMemo();
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(band->Objects().front(), background);
  EXPECT_EQ(band->Objects().back(), memo);
  EXPECT_EQ(background->Align(), TovxAlign::baHidden);
  EXPECT_EQ(background->Frame().Typ(), TovxFrameTypes{TovxFrameType::ftLeft});
  EXPECT_DOUBLE_EQ(background->Left(), 2);
  EXPECT_DOUBLE_EQ(background->Top(), 3);
  EXPECT_DOUBLE_EQ(background->Width(), 194);
  EXPECT_DOUBLE_EQ(background->Height(), 32);

  // Made once, brought up to date afterwards; never stored.
  band->SetFillType(TovxFillType::ftGlass);
  band->PrepareBackground();
  EXPECT_EQ(band->BackgroundMemo(), background);
  EXPECT_EQ(band->Objects().size(), 2u);
  EXPECT_EQ(background->FillType(), TovxFillType::ftGlass);
  const std::vector<ovx::StoredObject*> stored = band->StoredChildren();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.front(), memo);

  delete background;  // whoever removes it, the band does not hold on to it
  EXPECT_EQ(band->BackgroundMemo(), nullptr);
}

TEST(BandBackgroundTest, FillsThatDrawSomethingCount) {
  const auto with_brush = [](auto change) {
    TovxMasterData band;
    TovxBrushFill brush;
    change(brush);
    band.SetFill(brush);
    return band.HasBackground();
  };
  EXPECT_FALSE(with_brush([](TovxBrushFill&) {}));
  EXPECT_FALSE(with_brush([](TovxBrushFill& b) { b.SetStyle(TovxBrushStyle::bsClear); }));
  EXPECT_TRUE(with_brush([](TovxBrushFill& b) { b.SetBackColor(clYellow); }));
  EXPECT_TRUE(with_brush([](TovxBrushFill& b) { b.SetForeColor(clRed); }));
  EXPECT_TRUE(with_brush([](TovxBrushFill& b) { b.SetStyle(TovxBrushStyle::bsCross); }));
  TovxMasterData gradient;
  gradient.SetFillType(TovxFillType::ftGradient);
  EXPECT_TRUE(gradient.HasBackground());

  TovxReportPage page;
  auto* null_band = new TovxNullBand(&page);
  null_band->Frame().SetTyp(TovxFrameTypes{TovxFrameType::ftTop});
  null_band->PrepareBackground();
  EXPECT_EQ(null_band->BackgroundMemo(), nullptr);
}

}  // namespace
