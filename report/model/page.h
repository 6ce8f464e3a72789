// Pages: the top-level containers of a report.
//
// A report page carries the paper (size in millimetres, orientation,
// margins), its columns, a background picture and the bands and views the
// engine turns into output pages. Its own Width and Height are the paper in
// whole report units; the origin of its children is the top-left corner of
// the printable area (inside the margins).
//
// The paper setters keep size, number and orientation consistent in every
// order a template may set them: width or height make the paper custom
// (256); a paper number looks its size up in the current paper source and
// turns it for landscape; the orientation swaps the sizes and turns the
// margins with them.
#pragma once

#include "base/paper_sizes.h"
#include "report/model/component.h"

#include <QStringList>

#include <memory>

OVX_ENUM(TovxDuplexMode, dmNone, dmVertical, dmHorizontal, dmSimplex)
OVX_ENUM(TovxMirrorControl, mcmRTLBands, mcmRTLObjects, mcmRTLAppearance, mcmRTLContent,
         mcmRTLSpecial, mcmBTTBands, mcmBTTObjects, mcmBTTAppearance, mcmBTTContent, mcmBTTSpecial,
         mcmOnlySelected)
using TovxMirrorControls = ovx::EnumSet<TovxMirrorControl>;

class TovxBand;
class TovxDataSet;
class TovxFrame;
class TovxPicture;
class TovxPictureView;
class TovxSubreport;

namespace ovx {
class Canvas;
}  // namespace ovx

class TovxPage : public TovxComponent {
  OVX_META_CLASS

 public:
  explicit TovxPage(TovxComponent* owner = nullptr) : TovxComponent(owner) {}

  QString BaseName() const override { return QStringLiteral("Page"); }
};

// A page of run-time dialog controls; positions on it are absolute.
// A page of run-time dialog controls; positions on it are absolute. Its
// window settings are not modelled: it keeps the attributes it was read with
// and writes them back.
class TovxDialogPage : public TovxPage {
  OVX_META_CLASS

 public:
  explicit TovxDialogPage(TovxComponent* owner = nullptr) : TovxPage(owner) {}

  std::optional<QByteArray> RawAttributes() const override { return attributes_; }
  bool SetRawAttributes(const QByteArray& attributes) override {
    attributes_ = attributes;
    return true;
  }

 private:
  QByteArray attributes_;
};

// The design-time home of the report's data sets and databases.
class TovxDataPage : public TovxPage {
  OVX_META_CLASS

 public:
  explicit TovxDataPage(TovxComponent* owner = nullptr);

  QString GetDescription() const override { return QStringLiteral("obDataPage"); }
};

class TovxReportPage : public TovxPage {
  OVX_META_CLASS

 public:
  // A4 portrait without margins.
  explicit TovxReportPage(TovxComponent* owner = nullptr);
  // Clears the page link of the subreport that shows this page.
  ~TovxReportPage() override;

  QString GetDescription() const override { return QStringLiteral("obRepPage"); }

  // --- paper ------------------------------------------------------------------
  TovxPrinterOrientation Orientation() const { return orientation_; }
  // A change swaps the paper sizes and turns the margins a quarter turn.
  void SetOrientation(TovxPrinterOrientation orientation);
  // Millimetres, already swapped for landscape.
  double PaperWidth() const { return paper_width_; }
  double PaperHeight() const { return paper_height_; }
  // Rounded to 8 decimals; the paper becomes custom (256). Values that are
  // not finite are ignored.
  void SetPaperWidth(double width);
  void SetPaperHeight(double height);
  int PaperSize() const { return paper_size_; }
  // Below 256: the size of that paper from the current paper source, turned
  // for landscape; a number the source does not know keeps the size.
  void SetPaperSize(int paper_size);
  double LeftMargin() const { return left_margin_; }
  void SetLeftMargin(double margin) { left_margin_ = margin; }
  double RightMargin() const { return right_margin_; }
  void SetRightMargin(double margin) { right_margin_ = margin; }
  double TopMargin() const { return top_margin_; }
  void SetTopMargin(double margin) { top_margin_ = margin; }
  double BottomMargin() const { return bottom_margin_; }
  void SetBottomMargin(double margin) { bottom_margin_ = margin; }
  bool MirrorMargins() const { return mirror_margins_; }
  void SetMirrorMargins(bool on) { mirror_margins_ = on; }
  // Margins 10 mm and the paper the current paper source calls its default.
  void ResetToPrinterDefaults();

  // The printable area in report units.
  double PrintableWidth() const;
  double PrintableHeight() const;

  // --- columns ----------------------------------------------------------------
  int Columns() const { return columns_; }
  // Divides the printable width into `columns` equal columns. Throws
  // ovx::Error ("prInvProp") above kMaxColumns.
  void SetColumns(int columns);
  static constexpr int kMaxColumns = 1000;
  double ColumnWidth() const { return column_width_; }
  void SetColumnWidth(double width) { column_width_ = width; }
  // The left edge of each column in millimetres, as number texts.
  const QStringList& ColumnPositions() const { return column_positions_; }
  void SetColumnPositions(const QStringList& positions) { column_positions_ = positions; }

  // --- printing -----------------------------------------------------------------
  int Bin() const { return bin_; }
  void SetBin(int bin) { bin_ = bin; }
  int BinOtherPages() const { return bin_other_pages_; }
  void SetBinOtherPages(int bin) { bin_other_pages_ = bin; }
  TovxDuplexMode Duplex() const { return duplex_; }
  void SetDuplex(TovxDuplexMode duplex) { duplex_ = duplex; }
  int PageCount() const { return page_count_; }
  // Counts below 1 are ignored.
  void SetPageCount(int count);

  // --- background -----------------------------------------------------------------
  TovxPicture& BackPicture();
  const TovxPicture& BackPicture() const;
  void SetBackPicture(const TovxPicture& picture);
  bool BackPictureVisible() const { return back_picture_visible_; }
  void SetBackPictureVisible(bool on) { back_picture_visible_ = on; }
  bool BackPicturePrintable() const { return back_picture_printable_; }
  void SetBackPicturePrintable(bool on) { back_picture_printable_ = on; }
  bool BackPictureStretched() const { return back_picture_stretched_; }
  void SetBackPictureStretched(bool on) { back_picture_stretched_ = on; }
  // The page's colour and frame are those of its background picture view.
  ovx::Color Color() const;
  void SetColor(ovx::Color color);
  TovxFrame& Frame();
  const TovxFrame& Frame() const;
  void SetFrame(const TovxFrame& frame);
  // The view that draws colour, picture and frame; not a child of the page.
  TovxPictureView& BackgroundView() { return *background_; }
  const TovxPictureView& BackgroundView() const { return *background_; }
  // The page background (colour, picture, frame) over the printable area,
  // the page's top-left paper corner at the offset. Nothing when the
  // picture is hidden, or on a printer when it is not printable.
  void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x, double offset_y);

  // --- data and layout ------------------------------------------------------------
  // Kept by user name and looked up when asked for (see TovxView).
  TovxDataSet* DataSet() const;
  void SetDataSet(TovxDataSet* data_set);
  const QString& DataSetName() const { return data_set_name_; }
  void SetDataSetName(const QString& name) { data_set_name_ = name; }
  bool EndlessHeight() const { return endless_height_; }
  void SetEndlessHeight(bool on) { endless_height_ = on; }
  bool EndlessWidth() const { return endless_width_; }
  void SetEndlessWidth(bool on) { endless_width_ = on; }
  bool LargeDesignHeight() const { return large_design_height_; }
  void SetLargeDesignHeight(bool on) { large_design_height_ = on; }
  TovxMirrorControls MirrorMode() const { return mirror_mode_; }
  void SetMirrorMode(TovxMirrorControls mode) { mirror_mode_ = mode; }
  const QString& OutlineText() const { return outline_text_; }
  void SetOutlineText(const QString& text) { outline_text_ = text; }
  bool PrintIfEmpty() const { return print_if_empty_; }
  void SetPrintIfEmpty(bool on) { print_if_empty_ = on; }
  bool PrintOnPreviousPage() const { return print_on_previous_page_; }
  void SetPrintOnPreviousPage(bool on) { print_on_previous_page_ = on; }
  bool ShowTitleOnPreviousPage() const { return show_title_on_previous_page_; }
  void SetShowTitleOnPreviousPage(bool on) { show_title_on_previous_page_ = on; }
  bool ResetPageNumbers() const { return reset_page_numbers_; }
  void SetResetPageNumbers(bool on) { reset_page_numbers_ = on; }
  bool TitleBeforeHeader() const { return title_before_header_; }
  void SetTitleBeforeHeader(bool on) { title_before_header_ = on; }
  const QStringList& HGuides() const { return h_guides_; }
  void SetHGuides(const QStringList& guides) { h_guides_ = guides; }
  const QStringList& VGuides() const { return v_guides_; }
  void SetVGuides(const QStringList& guides) { v_guides_ = guides; }
  const QString& OnAfterPrint() const { return on_after_print_; }
  void SetOnAfterPrint(const QString& name) { on_after_print_ = name; }
  const QString& OnBeforePrint() const { return on_before_print_; }
  void SetOnBeforePrint(const QString& name) { on_before_print_ = name; }
  const QString& OnManualBuild() const { return on_manual_build_; }
  void SetOnManualBuild(const QString& name) { on_manual_build_ = name; }

  // Pages laid out in character cells (dot-matrix reports): bands snap
  // their positions to the cells.
  bool CharacterGrid() const { return character_grid_; }
  void SetCharacterGrid(bool on) { character_grid_ = on; }

  // The first child band of the class `meta` (or a class derived from it).
  TovxBand* FindBand(const ovx::MetaClass& meta) const;
  template <class Band>
  Band* FindBand() const {
    return static_cast<Band*>(FindBand(Band::StaticMetaClass()));
  }

  // The client rectangle is the printable area; bands then take the
  // printable width (a column's width on pages with several columns).
  void AlignChildren() override;
  void GetClientRect(double& left, double& top, double& width, double& height) const override;

  // The subreport that shows this page, kept by both sides.
  TovxSubreport* Subreport() const { return subreport_; }

 private:
  friend class TovxSubreport;

  void UpdateDimensions();

  TovxPrinterOrientation orientation_ = TovxPrinterOrientation::poPortrait;
  double paper_width_ = 210;
  double paper_height_ = 297;
  int paper_size_ = ovx::kPaperA4;
  double left_margin_ = 0;
  double right_margin_ = 0;
  double top_margin_ = 0;
  double bottom_margin_ = 0;
  bool mirror_margins_ = false;
  int columns_ = 0;
  double column_width_ = 0;
  QStringList column_positions_;
  int bin_ = 7;
  int bin_other_pages_ = 7;
  TovxDuplexMode duplex_ = TovxDuplexMode::dmNone;
  int page_count_ = 1;
  bool back_picture_visible_ = true;
  bool back_picture_printable_ = true;
  bool back_picture_stretched_ = true;
  std::unique_ptr<TovxPictureView> background_;
  QString data_set_name_;
  bool endless_height_ = false;
  bool endless_width_ = false;
  bool large_design_height_ = false;
  TovxMirrorControls mirror_mode_;
  QString outline_text_;
  bool print_if_empty_ = true;
  bool print_on_previous_page_ = false;
  bool show_title_on_previous_page_ = true;
  bool reset_page_numbers_ = false;
  bool title_before_header_ = true;
  QStringList h_guides_;
  QStringList v_guides_;
  QString on_after_print_;
  QString on_before_print_;
  QString on_manual_build_;
  bool character_grid_ = false;
  TovxSubreport* subreport_ = nullptr;
};
