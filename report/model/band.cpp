#include "report/model/band.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/rounding.h"
#include "base/units.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/storage/xml_escape.h"

#include <algorithm>
#include <unordered_set>

namespace {

// The band table: a kind's number is its index here.
const ovx::MetaClass& (*const kBandTable[])() = {
    &TovxReportTitle::StaticMetaClass,   &TovxReportSummary::StaticMetaClass,
    &TovxPageHeader::StaticMetaClass,    &TovxPageFooter::StaticMetaClass,
    &TovxHeader::StaticMetaClass,        &TovxFooter::StaticMetaClass,
    &TovxMasterData::StaticMetaClass,    &TovxDetailData::StaticMetaClass,
    &TovxSubdetailData::StaticMetaClass, &TovxDataBand4::StaticMetaClass,
    &TovxDataBand5::StaticMetaClass,     &TovxDataBand6::StaticMetaClass,
    &TovxGroupHeader::StaticMetaClass,   &TovxGroupFooter::StaticMetaClass,
    &TovxChild::StaticMetaClass,         &TovxColumnHeader::StaticMetaClass,
    &TovxColumnFooter::StaticMetaClass,  &TovxOverlay::StaticMetaClass,
};

double Snap(double value, double cell) {
  return static_cast<double>(ovx::Round(value / cell)) * cell;
}

// The band's background memo. Its own class tells it apart from the memos
// a user put on the band (it stores and scripts as a plain memo view); no
// pointer to it is kept, so it cannot dangle whoever destroys it.
class BandBackgroundMemo final : public TovxMemoView {
 public:
  using TovxMemoView::TovxMemoView;
};

}  // namespace

// --- TovxBand -------------------------------------------------------------------------

TovxBand::TovxBand(TovxComponent* owner) : TovxReportComponent(owner) {}

TovxBand::~TovxBand() {
  if (child_) std::erase(child_->referrers_, this);
}

int TovxBand::BandNumberOf(const ovx::MetaClass& meta) {
  int number = 0;
  for (int i = 0; i < static_cast<int>(std::size(kBandTable)); ++i) {
    if (meta.InheritsFrom(kBandTable[i]())) number = i;
  }
  return number;
}

int TovxBand::BandNumber() const { return BandNumberOf(GetMetaClass()); }

QString TovxBand::GetDescription() const { return QStringLiteral("obBand"); }

bool TovxBand::OnCharacterGrid() const {
  const auto* page = dynamic_cast<const TovxReportPage*>(Page());
  return page && page->CharacterGrid();
}

void TovxBand::SetLeft(double left) {
  TovxReportComponent::SetLeft(OnCharacterGrid() ? Snap(left, ov1CharX) : left);
}

void TovxBand::SetTop(double top) {
  TovxReportComponent::SetTop(OnCharacterGrid() ? Snap(top, ov1CharY) : top);
}

void TovxBand::SetHeight(double height) {
  TovxReportComponent::SetHeight(OnCharacterGrid() ? Snap(height, ov1CharY) : height);
}

void TovxBand::SetChild(TovxChild* child) {
  if (child == child_) return;
  // The chain below `child` is loop-free (every link was checked when it was
  // made), but the walk is bounded by the set anyway.
  std::unordered_set<const TovxBand*> seen;
  for (const TovxBand* band = child; band && seen.insert(band).second; band = band->child_) {
    if (band == this) {
      throw ovx::Error(QStringLiteral("clCirRefNotAllow"),
                       QStringLiteral("Circular child reference is not allowed"));
    }
  }
  if (child_) std::erase(child_->referrers_, this);
  child_ = child;
  if (child_) child_->referrers_.push_back(this);
}

bool TovxBand::HasBackground() const {
  if (!frame_.Typ().IsEmpty()) return true;
  if (fill_.Type() != TovxFillType::ftBrush) return true;
  const auto& brush = static_cast<const TovxBrushFill&>(fill_.Get());
  return brush.BackColor() != clNone || brush.ForeColor() != clBlack ||
         (brush.Style() != TovxBrushStyle::bsSolid && brush.Style() != TovxBrushStyle::bsClear);
}

TovxMemoView* TovxBand::BackgroundMemo() const {
  for (TovxComponent* child : Objects()) {
    if (auto* memo = dynamic_cast<BandBackgroundMemo*>(child)) return memo;
  }
  return nullptr;
}

void TovxBand::PrepareBackground() {
  if (dynamic_cast<const TovxNullBand*>(this)) return;
  TovxMemoView* memo = BackgroundMemo();
  if (!memo) {
    if (!HasBackground()) return;
    memo = new BandBackgroundMemo(this);
    memo->SetAlign(TovxAlign::baHidden);
  }
  memo->MoveToFront();
  memo->SetFill(fill_.Get());
  memo->SetFrame(frame_);
  // Inset by every gap; a gap wider than the band leaves nothing to fill.
  memo->SetBounds(fill_gap_.Left(), fill_gap_.Top(),
                  std::max(0.0, Width() - fill_gap_.Left() - fill_gap_.Right()),
                  std::max(0.0, Height() - fill_gap_.Top() - fill_gap_.Bottom()));
}

std::vector<ovx::StoredObject*> TovxBand::StoredChildren() const {
  std::vector<ovx::StoredObject*> children = TovxReportComponent::StoredChildren();
  std::erase_if(children, [](const ovx::StoredObject* child) {
    return dynamic_cast<const BandBackgroundMemo*>(child) != nullptr;
  });
  return children;
}

TovxChild::~TovxChild() {
  for (TovxBand* band : referrers_) band->child_ = nullptr;
}

// --- TovxDataBand ----------------------------------------------------------------------

TovxDataBand::TovxDataBand(TovxComponent* owner)
    : TovxBand(owner), counting_(std::make_unique<TovxUserDataSet>()) {
  counting_->SetRangeEnd(TovxRangeEnd::reCount);
}

TovxDataBand::~TovxDataBand() = default;

TovxDataSet* TovxDataBand::DataSet() const { return ovx::FindDataSet(*this, data_set_name_); }

void TovxDataBand::SetDataSet(TovxDataSet* data_set) {
  if (data_set) {
    data_set_name_ = data_set->UserName();
  } else if (!IsLoading()) {
    data_set_name_.clear();
  }
}

int TovxDataBand::RowCount() const { return counting_->RangeEndCount(); }

void TovxDataBand::SetRowCount(int count) { counting_->SetRangeEndCount(count); }

// --- published properties --------------------------------------------------------------

namespace {

template <class C>
void PublishChild(ovx::ClassBuilder<C>& b) {
  b.Reference("Child", "TovxChild", &C::Child, &C::SetChild);
}
template <class C>
void PublishAllowSplit(ovx::ClassBuilder<C>& b) {
  b.Bool("AllowSplit", &C::AllowSplit, &C::SetAllowSplit).Default(false);
}
template <class C>
void PublishKeepChild(ovx::ClassBuilder<C>& b) {
  b.Bool("KeepChild", &C::KeepChild, &C::SetKeepChild).Default(false);
}
template <class C>
void PublishPrintChildIfInvisible(ovx::ClassBuilder<C>& b) {
  b.Bool("PrintChildIfInvisible", &C::PrintChildIfInvisible, &C::SetPrintChildIfInvisible)
      .Default(false);
}
template <class C>
void PublishStartNewPage(ovx::ClassBuilder<C>& b) {
  b.Bool("StartNewPage", &C::StartNewPage, &C::SetStartNewPage).Default(false);
}
template <class C>
void PublishStretchedAndShift(ovx::ClassBuilder<C>& b) {
  b.Bool("Stretched", &C::Stretched, &C::SetStretched).Default(false);
  b.Enum("ShiftEngine", &C::ShiftEngine, &C::SetShiftEngine).Default(TovxShiftEngine::seTree);
}
template <class C>
void PublishPrintOnFirstPage(ovx::ClassBuilder<C>& b) {
  b.Bool("PrintOnFirstPage", &C::PrintOnFirstPage, &C::SetPrintOnFirstPage).Default(true);
}
template <class C>
void PublishReprintOnNewPage(ovx::ClassBuilder<C>& b) {
  b.Bool("ReprintOnNewPage", &C::ReprintOnNewPage, &C::SetReprintOnNewPage).Default(false);
}

// Report title, summary and child bands publish the same set.
template <class C>
void PublishTitleLike(ovx::ClassBuilder<C>& b) {
  PublishAllowSplit(b);
  PublishChild(b);
  PublishKeepChild(b);
  PublishPrintChildIfInvisible(b);
  PublishStartNewPage(b);
  PublishStretchedAndShift(b);
}

// A class whose published properties are all its base's.
template <class C>
ovx::MetaClass PlainBandClass(const char* name, const ovx::MetaClass& parent) {
  ovx::ClassBuilder<C> b(name, &parent);
  b.Creatable(ovx::ComponentFactory<C>());
  return b.Build();
}

}  // namespace

const ovx::MetaClass& TovxFillGaps::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxFillGaps;
    ovx::ClassBuilder<C> b("TovxFillGaps", nullptr);
    b.Integer("Top", &C::Top, &C::SetTop).Default(0);
    b.Integer("Left", &C::Left, &C::SetLeft).Default(0);
    b.Integer("Bottom", &C::Bottom, &C::SetBottom).Default(0);
    b.Integer("Right", &C::Right, &C::SetRight).Default(0);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxFillGaps; });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxBand::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxBand;
    ovx::ClassBuilder<C> b("TovxBand", &TovxReportComponent::StaticMetaClass());
    b.Enum("FillType", &C::FillType, &C::SetFillType).Default(TovxFillType::ftBrush);
    b.Object(
         "Fill", [](C& c) -> TovxCustomFill& { return c.Fill(); }, &C::SetFill)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFill(); });
    b.Object(
        "FillGap", [](C& c) -> TovxFillGaps& { return c.FillGap(); }, &C::SetFillGap);
    b.Object(
        "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame);
    b.Object(
         "Font", [](C& c) -> TovxFont& { return c.Font(); }, &C::SetFont)
        .StoredWhen<C>([](const C& c) { return !c.ParentFont(); });
    b.Float("Height", &C::Height, &C::SetHeight).Default(0);
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Bool("ParentFont", &C::ParentFont, &C::SetParentFont).Default(true);
    b.Set("Restrictions", "TovxRestrictions", &C::Restrictions, &C::SetRestrictions)
        .Default(TovxRestrictions{});
    b.Float("Top", &C::Top, &C::SetTop).Default(0);
    b.Bool("Vertical", &C::Vertical, &C::SetVertical).Default(false);
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    b.Float("Width", &C::Width, &C::SetWidth).Default(0);
    b.Event("OnAfterCalcHeight", &C::OnAfterCalcHeight, &C::SetOnAfterCalcHeight);
    b.Event("OnAfterPrint", &C::OnAfterPrint, &C::SetOnAfterPrint);
    b.Event("OnBeforePrint", &C::OnBeforePrint, &C::SetOnBeforePrint);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxNullBand::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxNullBand>("TovxNullBand", TovxBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxReportTitle::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxReportTitle> b("TovxReportTitle", &TovxBand::StaticMetaClass());
    PublishTitleLike(b);
    b.Creatable(ovx::ComponentFactory<TovxReportTitle>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxReportSummary::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxReportSummary> b("TovxReportSummary", &TovxBand::StaticMetaClass());
    PublishTitleLike(b);
    b.Creatable(ovx::ComponentFactory<TovxReportSummary>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxPageHeader::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPageHeader;
    ovx::ClassBuilder<C> b("TovxPageHeader", &TovxBand::StaticMetaClass());
    PublishChild(b);
    PublishPrintChildIfInvisible(b);
    PublishPrintOnFirstPage(b);
    PublishStretchedAndShift(b);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxPageFooter::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPageFooter;
    ovx::ClassBuilder<C> b("TovxPageFooter", &TovxBand::StaticMetaClass());
    PublishPrintOnFirstPage(b);
    b.Bool("PrintOnLastPage", &C::PrintOnLastPage, &C::SetPrintOnLastPage).Default(true);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxHeader::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxHeader;
    ovx::ClassBuilder<C> b("TovxHeader", &TovxBand::StaticMetaClass());
    PublishAllowSplit(b);
    PublishChild(b);
    PublishKeepChild(b);
    PublishPrintChildIfInvisible(b);
    PublishReprintOnNewPage(b);
    PublishStartNewPage(b);
    PublishStretchedAndShift(b);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxFooter::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxFooter;
    ovx::ClassBuilder<C> b("TovxFooter", &TovxBand::StaticMetaClass());
    PublishAllowSplit(b);
    PublishChild(b);
    PublishKeepChild(b);
    PublishPrintChildIfInvisible(b);
    PublishStretchedAndShift(b);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxDataBand::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxDataBand;
    ovx::ClassBuilder<C> b("TovxDataBand", &TovxBand::StaticMetaClass());
    PublishAllowSplit(b);
    PublishChild(b);
    b.Integer("Columns", &C::Columns, &C::SetColumns).Default(0);
    b.Float("ColumnWidth", &C::ColumnWidth, &C::SetColumnWidth).Default(0);
    b.Float("ColumnGap", &C::ColumnGap, &C::SetColumnGap).Default(0);
    // Stored by name, through DataSetName.
    b.Reference("DataSet", "TovxDataSet", &C::DataSet, &C::SetDataSet).Stored(false);
    b.String("DataSetName", &C::DataSetName, &C::SetDataSetName);
    b.Bool("FooterAfterEach", &C::FooterAfterEach, &C::SetFooterAfterEach).Default(false);
    b.String("Filter", &C::Filter, &C::SetFilter);
    PublishKeepChild(b);
    b.Bool("KeepFooter", &C::KeepFooter, &C::SetKeepFooter).Default(false);
    b.Bool("KeepHeader", &C::KeepHeader, &C::SetKeepHeader).Default(false);
    b.Bool("KeepTogether", &C::KeepTogether, &C::SetKeepTogether).Default(false);
    b.String("OutlineText", &C::OutlineText, &C::SetOutlineText);
    PublishPrintChildIfInvisible(b);
    b.Bool("PrintIfDetailEmpty", &C::PrintIfDetailEmpty, &C::SetPrintIfDetailEmpty).Default(false);
    // No declared default: templates always carry the row count.
    b.Integer("RowCount", &C::RowCount, &C::SetRowCount);
    PublishStartNewPage(b);
    PublishStretchedAndShift(b);
    b.Event("OnMasterDetail", &C::OnMasterDetail, &C::SetOnMasterDetail);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxMasterData::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxMasterData>("TovxMasterData", TovxDataBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxDetailData::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxDetailData>("TovxDetailData", TovxDataBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxSubdetailData::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxSubdetailData>("TovxSubdetailData", TovxDataBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxDataBand4::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxDataBand4>("TovxDataBand4", TovxDataBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxDataBand5::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxDataBand5>("TovxDataBand5", TovxDataBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxDataBand6::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxDataBand6>("TovxDataBand6", TovxDataBand::StaticMetaClass());
  return meta;
}

QByteArray TovxGroupHeader::DifferenceText(const TovxComponent& base) const {
  QByteArray out = TovxBand::DifferenceText(base);
  const auto* b = dynamic_cast<const TovxGroupHeader*>(&base);
  if (b && b->drill_name_ != drill_name_) {
    out += " DrillName=\"" + ovx::XmlEscape(drill_name_.toUtf8()) + '"';
  }
  return out;
}

const ovx::MetaClass& TovxGroupHeader::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxGroupHeader;
    ovx::ClassBuilder<C> b("TovxGroupHeader", &TovxBand::StaticMetaClass());
    PublishAllowSplit(b);
    PublishChild(b);
    b.String("Condition", &C::Condition, &C::SetCondition);
    b.Bool("DrillDown", &C::DrillDown, &C::SetDrillDown).Default(false);
    b.Bool("ExpandDrillDown", &C::ExpandDrillDown, &C::SetExpandDrillDown).Default(false);
    PublishKeepChild(b);
    b.Bool("KeepTogether", &C::KeepTogether, &C::SetKeepTogether).Default(false);
    PublishReprintOnNewPage(b);
    b.String("OutlineText", &C::OutlineText, &C::SetOutlineText);
    PublishPrintChildIfInvisible(b);
    b.Bool("ResetPageNumbers", &C::ResetPageNumbers, &C::SetResetPageNumbers).Default(false);
    b.Bool("ShowFooterIfDrillDown", &C::ShowFooterIfDrillDown, &C::SetShowFooterIfDrillDown)
        .Default(false);
    b.Bool("ShowChildIfDrillDown", &C::ShowChildIfDrillDown, &C::SetShowChildIfDrillDown)
        .Default(false);
    PublishStartNewPage(b);
    PublishStretchedAndShift(b);
    b.String("DrillName", &C::DrillName, &C::SetDrillName);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxGroupFooter::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxGroupFooter;
    ovx::ClassBuilder<C> b("TovxGroupFooter", &TovxBand::StaticMetaClass());
    PublishAllowSplit(b);
    PublishChild(b);
    b.Bool("HideIfSingleDataRecord", &C::HideIfSingleDataRecord, &C::SetHideIfSingleDataRecord)
        .Default(false);
    PublishKeepChild(b);
    PublishPrintChildIfInvisible(b);
    PublishStretchedAndShift(b);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxChild::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxChild;
    ovx::ClassBuilder<C> b("TovxChild", &TovxBand::StaticMetaClass());
    PublishTitleLike(b);
    b.Integer("ToNRows", &C::ToNRows, &C::SetToNRows).Default(0);
    b.Enum("ToNRowsMode", &C::ToNRowsMode, &C::SetToNRowsMode).Default(TovxToNRowsMode::rmCount);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxColumnHeader::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxColumnHeader;
    ovx::ClassBuilder<C> b("TovxColumnHeader", &TovxBand::StaticMetaClass());
    PublishChild(b);
    PublishStretchedAndShift(b);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxColumnFooter::StaticMetaClass() {
  static const ovx::MetaClass meta =
      PlainBandClass<TovxColumnFooter>("TovxColumnFooter", TovxBand::StaticMetaClass());
  return meta;
}

const ovx::MetaClass& TovxOverlay::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxOverlay;
    ovx::ClassBuilder<C> b("TovxOverlay", &TovxBand::StaticMetaClass());
    b.Bool("PrintOnTop", &C::PrintOnTop, &C::SetPrintOnTop).Default(false);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
