#include "report/model/page.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/number_format.h"
#include "base/units.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/picture.h"
#include "report/model/picture_view.h"
#include "report/model/subreport.h"

#include <cmath>
#include <utility>

namespace {

// round(v * 10^8) / 10^8; beyond 10^10 mm a double has no eighth decimal
// to round anyway.
double RoundToEightDecimals(double value) {
  if (std::fabs(value) >= 1e10) return value;
  return std::nearbyint(value * 1e8) / 1e8;
}

// Bands that span the page whatever its columns.
bool IsPageWideBand(const TovxBand& band) {
  return dynamic_cast<const TovxNullBand*>(&band) ||
         dynamic_cast<const TovxReportSummary*>(&band) ||
         dynamic_cast<const TovxPageHeader*>(&band) || dynamic_cast<const TovxPageFooter*>(&band) ||
         dynamic_cast<const TovxReportTitle*>(&band) || dynamic_cast<const TovxOverlay*>(&band);
}

}  // namespace

// --- TovxDataPage ----------------------------------------------------------------

TovxDataPage::TovxDataPage(TovxComponent* owner) : TovxPage(owner) {
  SetWidth(1000);
  SetHeight(1000);
}

// --- TovxReportPage ----------------------------------------------------------------

TovxReportPage::TovxReportPage(TovxComponent* owner)
    : TovxPage(owner), background_(std::make_unique<TovxPictureView>()) {
  background_->SetColor(clTransparent);
  background_->SetKeepAspectRatio(false);
  UpdateDimensions();
}

TovxReportPage::~TovxReportPage() {
  if (subreport_) subreport_->page_ = nullptr;
}

void TovxReportPage::UpdateDimensions() {
  SetWidth(ovx::MmToUnits(paper_width_));
  SetHeight(ovx::MmToUnits(paper_height_));
}

void TovxReportPage::SetPaperWidth(double width) {
  if (!std::isfinite(width)) return;
  paper_width_ = RoundToEightDecimals(width);
  paper_size_ = ovx::kPaperCustom;
  UpdateDimensions();
}

void TovxReportPage::SetPaperHeight(double height) {
  if (!std::isfinite(height)) return;
  paper_height_ = RoundToEightDecimals(height);
  paper_size_ = ovx::kPaperCustom;
  UpdateDimensions();
}

void TovxReportPage::SetPaperSize(int paper_size) {
  paper_size_ = paper_size;
  if (paper_size >= ovx::kPaperCustom) return;
  const std::optional<ovx::PaperInfo> paper = ovx::CurrentPaperSource().Find(paper_size);
  if (!paper) return;
  paper_width_ = paper->width;
  paper_height_ = paper->height;
  if (orientation_ == TovxPrinterOrientation::poLandscape) {
    std::swap(paper_width_, paper_height_);
  }
  UpdateDimensions();
}

void TovxReportPage::SetOrientation(TovxPrinterOrientation orientation) {
  if (orientation == orientation_) return;
  std::swap(paper_width_, paper_height_);
  const double left = left_margin_;
  const double right = right_margin_;
  const double top = top_margin_;
  const double bottom = bottom_margin_;
  if (orientation == TovxPrinterOrientation::poLandscape) {
    left_margin_ = top;
    right_margin_ = bottom;
    top_margin_ = right;
    bottom_margin_ = left;
  } else {
    left_margin_ = bottom;
    right_margin_ = top;
    top_margin_ = left;
    bottom_margin_ = right;
  }
  orientation_ = orientation;
  UpdateDimensions();
}

void TovxReportPage::ResetToPrinterDefaults() {
  left_margin_ = right_margin_ = top_margin_ = bottom_margin_ = 10;
  const ovx::DefaultPaper paper = ovx::CurrentPaperSource().Default();
  paper_size_ = paper.number;
  paper_width_ = paper.width;
  paper_height_ = paper.height;
  orientation_ = paper.orientation;
  UpdateDimensions();
}

double TovxReportPage::PrintableWidth() const {
  return (paper_width_ - left_margin_ - right_margin_) * ov01cm;
}

double TovxReportPage::PrintableHeight() const {
  return (paper_height_ - top_margin_ - bottom_margin_) * ov01cm;
}

void TovxReportPage::SetColumns(int columns) {
  if (columns > kMaxColumns) {
    throw ovx::Error(QStringLiteral("prInvProp"), QStringLiteral("无效属性值"));
  }
  columns_ = columns;
  column_positions_.clear();
  if (columns <= 0) return;
  column_width_ = (paper_width_ - left_margin_ - right_margin_) / columns;
  for (int i = 0; i < columns; ++i) column_positions_.append(ovx::FormatFloat(i * column_width_));
}

void TovxReportPage::SetPageCount(int count) {
  if (count > 0) page_count_ = count;
}

TovxPicture& TovxReportPage::BackPicture() { return background_->Picture(); }

const TovxPicture& TovxReportPage::BackPicture() const { return background_->Picture(); }

void TovxReportPage::SetBackPicture(const TovxPicture& picture) {
  background_->SetPicture(picture);
}

ovx::Color TovxReportPage::Color() const { return background_->Color(); }

void TovxReportPage::SetColor(ovx::Color color) { background_->SetColor(color); }

TovxFrame& TovxReportPage::Frame() { return background_->Frame(); }

const TovxFrame& TovxReportPage::Frame() const { return background_->Frame(); }

void TovxReportPage::SetFrame(const TovxFrame& frame) { background_->SetFrame(frame); }

TovxDataSet* TovxReportPage::DataSet() const { return ovx::FindDataSet(*this, data_set_name_); }

void TovxReportPage::SetDataSet(TovxDataSet* data_set) {
  if (data_set) {
    data_set_name_ = data_set->UserName();
  } else if (!IsLoading()) {
    data_set_name_.clear();
  }
}

TovxBand* TovxReportPage::FindBand(const ovx::MetaClass& meta) const {
  for (TovxComponent* child : Objects()) {
    if (child->GetMetaClass().InheritsFrom(meta)) return dynamic_cast<TovxBand*>(child);
  }
  return nullptr;
}

void TovxReportPage::GetClientRect(double& left, double& top, double& width, double& height) const {
  left = 0;
  top = 0;
  width = PrintableWidth();
  height = PrintableHeight();
}

// The page's own size stays the paper's throughout: setting it to the
// printable area and back would push anchored children back and forth.
void TovxReportPage::AlignChildren() {
  TovxPage::AlignChildren();
  const double printable_width = PrintableWidth();
  const double printable_height = PrintableHeight();
  for (TovxComponent* child : Objects()) {
    auto* band = dynamic_cast<TovxBand*>(child);
    if (!band) continue;
    if (band->Vertical()) {
      band->SetHeight(printable_height - band->Top());
    } else if (columns_ > 1 && !IsPageWideBand(*band)) {
      band->SetWidth(column_width_ * ov01cm);
    } else {
      band->SetWidth(printable_width - band->Left());
    }
    band->AlignChildren();
  }
}

// --- published properties ------------------------------------------------------------

const ovx::MetaClass& TovxPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPage;
    ovx::ClassBuilder<C> b("TovxPage", &TovxComponent::StaticMetaClass());
    b.Object(
         "Font", [](C& c) -> TovxFont& { return c.Font(); }, &C::SetFont)
        .StoredWhen<C>([](const C& c) { return !c.ParentFont(); });
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxDialogPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxDialogPage> b("TovxDialogPage", &TovxPage::StaticMetaClass());
    b.Creatable(ovx::ComponentFactory<TovxDialogPage>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxDataPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxDataPage;
    ovx::ClassBuilder<C> b("TovxDataPage", &TovxPage::StaticMetaClass());
    b.Float("Height", &C::Height, &C::SetHeight).Default(0);
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Float("Top", &C::Top, &C::SetTop).Default(0);
    b.Float("Width", &C::Width, &C::SetWidth).Default(0);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxReportPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxReportPage;
    ovx::ClassBuilder<C> b("TovxReportPage", &TovxPage::StaticMetaClass());
    b.Enum("Orientation", &C::Orientation, &C::SetOrientation)
        .Default(TovxPrinterOrientation::poPortrait);
    b.Float("PaperWidth", &C::PaperWidth, &C::SetPaperWidth).Default(210);
    b.Float("PaperHeight", &C::PaperHeight, &C::SetPaperHeight).Default(297);
    // Always written: the width and height that come before it make any page
    // custom while it is read, so only the number itself can put it back.
    b.Integer("PaperSize", &C::PaperSize, &C::SetPaperSize);
    b.Float("LeftMargin", &C::LeftMargin, &C::SetLeftMargin).Default(0);
    b.Float("RightMargin", &C::RightMargin, &C::SetRightMargin).Default(0);
    b.Float("TopMargin", &C::TopMargin, &C::SetTopMargin).Default(0);
    b.Float("BottomMargin", &C::BottomMargin, &C::SetBottomMargin).Default(0);
    b.Bool("MirrorMargins", &C::MirrorMargins, &C::SetMirrorMargins).Default(false);
    b.Integer("Columns", &C::Columns, &C::SetColumns).Default(0);
    b.Float("ColumnWidth", &C::ColumnWidth, &C::SetColumnWidth).Default(0);
    b.StringList("ColumnPositions", &C::ColumnPositions, &C::SetColumnPositions);
    b.Integer("Bin", &C::Bin, &C::SetBin).Default(7);
    b.Integer("BinOtherPages", &C::BinOtherPages, &C::SetBinOtherPages).Default(7);
    b.Object(
        "BackPicture", [](C& c) -> TovxPicture& { return c.BackPicture(); }, &C::SetBackPicture);
    b.Bool("BackPictureVisible", &C::BackPictureVisible, &C::SetBackPictureVisible).Default(true);
    b.Bool("BackPicturePrintable", &C::BackPicturePrintable, &C::SetBackPicturePrintable)
        .Default(true);
    b.Bool("BackPictureStretched", &C::BackPictureStretched, &C::SetBackPictureStretched)
        .Default(true);
    b.Integer("PageCount", &C::PageCount, &C::SetPageCount).Default(1);
    b.Color("Color", &C::Color, &C::SetColor).Default(clNone);
    // Stored by name, through DataSetName.
    b.Reference("DataSet", "TovxDataSet", &C::DataSet, &C::SetDataSet).Stored(false);
    b.String("DataSetName", &C::DataSetName, &C::SetDataSetName);
    b.Enum("Duplex", &C::Duplex, &C::SetDuplex).Default(TovxDuplexMode::dmNone);
    b.Object(
        "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame);
    b.Bool("EndlessHeight", &C::EndlessHeight, &C::SetEndlessHeight).Default(false);
    b.Bool("EndlessWidth", &C::EndlessWidth, &C::SetEndlessWidth).Default(false);
    b.Bool("LargeDesignHeight", &C::LargeDesignHeight, &C::SetLargeDesignHeight).Default(false);
    // No declared default: templates always carry the mirror mode.
    b.Set("MirrorMode", "TovxMirrorControls", &C::MirrorMode, &C::SetMirrorMode);
    b.String("OutlineText", &C::OutlineText, &C::SetOutlineText);
    b.Bool("PrintIfEmpty", &C::PrintIfEmpty, &C::SetPrintIfEmpty).Default(true);
    b.Bool("PrintOnPreviousPage", &C::PrintOnPreviousPage, &C::SetPrintOnPreviousPage)
        .Default(false);
    b.Bool("ShowTitleOnPreviousPage", &C::ShowTitleOnPreviousPage, &C::SetShowTitleOnPreviousPage)
        .Default(true);
    b.Bool("ResetPageNumbers", &C::ResetPageNumbers, &C::SetResetPageNumbers).Default(false);
    b.Bool("TitleBeforeHeader", &C::TitleBeforeHeader, &C::SetTitleBeforeHeader).Default(true);
    b.StringList("HGuides", &C::HGuides, &C::SetHGuides);
    b.StringList("VGuides", &C::VGuides, &C::SetVGuides);
    b.Event("OnAfterPrint", &C::OnAfterPrint, &C::SetOnAfterPrint);
    b.Event("OnBeforePrint", &C::OnBeforePrint, &C::SetOnBeforePrint);
    b.Event("OnManualBuild", &C::OnManualBuild, &C::SetOnManualBuild);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
