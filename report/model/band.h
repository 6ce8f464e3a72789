// Bands: the strips of a report page that the engine repeats per record,
// per page or per group.
//
// Every band kind is its own class; the engine tells kinds apart by a band
// number (the kind's place in a fixed table), and a class derived from a
// kind keeps that kind's number. The flags the kinds share live in TovxBand;
// each class publishes only the ones that mean something for it, so a
// template lists exactly the properties of its band kind.
//
// Links between objects are kept safe both ways: a child band knows which
// bands name it as their Child and clears their links when it goes, so a
// link never outlives the band it points to.
#pragma once

#include "report/model/component.h"
#include "report/model/fill.h"
#include "report/model/frame.h"

#include <QStringList>

#include <memory>
#include <vector>

OVX_ENUM(TovxShiftEngine, seLinear, seTree, seDontShift)
OVX_ENUM(TovxToNRowsMode, rmCount, rmAddToCount, rmTillPageEnds)

class TovxChild;
class TovxDataSet;
class TovxMemoView;
class TovxUserDataSet;

// The space the band's background leaves free on each side, in whole units.
class TovxFillGaps : public ovx::Persistent {
  OVX_META_CLASS

 public:
  int Top() const { return top_; }
  void SetTop(int top) { top_ = top; }
  int Left() const { return left_; }
  void SetLeft(int left) { left_ = left; }
  int Bottom() const { return bottom_; }
  void SetBottom(int bottom) { bottom_ = bottom; }
  int Right() const { return right_; }
  void SetRight(int right) { right_ = right; }

 private:
  int top_ = 0;
  int left_ = 0;
  int bottom_ = 0;
  int right_ = 0;
};

class TovxBand : public TovxReportComponent {
  OVX_META_CLASS

 public:
  explicit TovxBand(TovxComponent* owner = nullptr);
  ~TovxBand() override;

  // The kind's place in the band table (0 for kinds outside it).
  int BandNumber() const;
  static int BandNumberOf(const ovx::MetaClass& meta);

  QString GetDescription() const override;

  // On a character-grid page positions snap to the character cells.
  void SetLeft(double left) override;
  void SetTop(double top) override;
  void SetHeight(double height) override;

  // --- published by every band ------------------------------------------------
  TovxFillType FillType() const { return fill_.Type(); }
  // A different type replaces the fill by a new one with its defaults.
  void SetFillType(TovxFillType type) { fill_.SetType(type); }
  const TovxCustomFill& Fill() const { return fill_.Get(); }
  TovxCustomFill& Fill() { return fill_.Get(); }
  const TovxCustomFill* ExistingFill() const { return fill_.Existing(); }
  void SetFill(const TovxCustomFill& fill) { fill_.Set(fill); }
  TovxFrame& Frame() { return frame_; }
  const TovxFrame& Frame() const { return frame_; }
  void SetFrame(const TovxFrame& frame) { frame_.Assign(frame); }
  TovxFillGaps& FillGap() { return fill_gap_; }
  const TovxFillGaps& FillGap() const { return fill_gap_; }
  void SetFillGap(const TovxFillGaps& gaps) { fill_gap_ = gaps; }
  // A vertical band grows across the page instead of down.
  bool Vertical() const { return vertical_; }
  void SetVertical(bool vertical) { vertical_ = vertical; }
  const QString& OnAfterCalcHeight() const { return on_after_calc_height_; }
  void SetOnAfterCalcHeight(const QString& name) { on_after_calc_height_ = name; }
  const QString& OnAfterPrint() const { return on_after_print_; }
  void SetOnAfterPrint(const QString& name) { on_after_print_ = name; }
  const QString& OnBeforePrint() const { return on_before_print_; }
  void SetOnBeforePrint(const QString& name) { on_before_print_ = name; }

  // --- published by the kinds that use them -------------------------------------
  // The band printed after this one. Throws ovx::Error ("clCirRefNotAllow")
  // when the chain of children would come back to this band.
  TovxChild* Child() const { return child_; }
  void SetChild(TovxChild* child);
  bool AllowSplit() const { return allow_split_; }
  void SetAllowSplit(bool on) { allow_split_ = on; }
  bool KeepChild() const { return keep_child_; }
  void SetKeepChild(bool on) { keep_child_ = on; }
  bool PrintChildIfInvisible() const { return print_child_if_invisible_; }
  void SetPrintChildIfInvisible(bool on) { print_child_if_invisible_ = on; }
  bool StartNewPage() const { return start_new_page_; }
  void SetStartNewPage(bool on) { start_new_page_ = on; }
  bool Stretched() const { return stretched_; }
  void SetStretched(bool on) { stretched_ = on; }
  TovxShiftEngine ShiftEngine() const { return shift_engine_; }
  void SetShiftEngine(TovxShiftEngine engine) { shift_engine_ = engine; }
  bool KeepTogether() const { return keep_together_; }
  void SetKeepTogether(bool on) { keep_together_ = on; }
  bool ReprintOnNewPage() const { return reprint_on_new_page_; }
  void SetReprintOnNewPage(bool on) { reprint_on_new_page_ = on; }
  bool PrintOnFirstPage() const { return print_on_first_page_; }
  void SetPrintOnFirstPage(bool on) { print_on_first_page_ = on; }
  bool PrintOnLastPage() const { return print_on_last_page_; }
  void SetPrintOnLastPage(bool on) { print_on_last_page_ = on; }
  const QString& OutlineText() const { return outline_text_; }
  void SetOutlineText(const QString& text) { outline_text_ = text; }

  // --- engine state ---------------------------------------------------------------
  // The objects the engine places on the band while it is output.
  std::vector<TovxComponent*>& PlacedObjects() { return placed_objects_; }

  // Whether the fill or the frame draws anything: a fill other than a
  // brush, a brush with a colour or a hatch, or any frame line.
  bool HasBackground() const;
  // Before output: a band with a background gets, once, a hidden memo as
  // its first child that carries the band's fill and frame, inset by the
  // fill gaps; later calls bring it up to date. Null bands have none.
  void PrepareBackground();
  // That memo, or null. It is never stored with the template.
  TovxMemoView* BackgroundMemo() const;
  std::vector<ovx::StoredObject*> StoredChildren() const override;

 protected:
  bool DifferenceAlwaysHasTop() const override { return true; }
  // Snapping applies on pages laid out in character cells.
  bool OnCharacterGrid() const;

 private:
  friend class TovxChild;

  ovx::FillSlot fill_;
  TovxFillGaps fill_gap_;
  TovxFrame frame_;
  bool vertical_ = false;
  QString on_after_calc_height_;
  QString on_after_print_;
  QString on_before_print_;

  TovxChild* child_ = nullptr;
  bool allow_split_ = false;
  bool keep_child_ = false;
  bool print_child_if_invisible_ = false;
  bool start_new_page_ = false;
  bool stretched_ = false;
  TovxShiftEngine shift_engine_ = TovxShiftEngine::seTree;
  bool keep_together_ = false;
  bool reprint_on_new_page_ = false;
  bool print_on_first_page_ = true;
  bool print_on_last_page_ = true;
  QString outline_text_;

  std::vector<TovxComponent*> placed_objects_;
};

// The band the engine collects loose objects in; it has no band number.
class TovxNullBand : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxNullBand(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxReportTitle : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxReportTitle(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxReportSummary : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxReportSummary(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxPageHeader : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxPageHeader(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxPageFooter : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxPageFooter(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxHeader : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxHeader(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxFooter : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxFooter(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

// The base of the data bands of levels 1 to 6.
class TovxDataBand : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxDataBand(TovxComponent* owner = nullptr);
  ~TovxDataBand() override;

  int Columns() const { return columns_; }
  void SetColumns(int columns) { columns_ = columns; }
  double ColumnWidth() const { return column_width_; }
  void SetColumnWidth(double width) { column_width_ = width; }
  double ColumnGap() const { return column_gap_; }
  void SetColumnGap(double gap) { column_gap_ = gap; }
  // The data set is kept by its user name and looked up when asked for, so
  // a data set that goes away leaves no dangling link. Null clears the
  // link, except while loading (as for views).
  TovxDataSet* DataSet() const;
  void SetDataSet(TovxDataSet* data_set);
  const QString& DataSetName() const { return data_set_name_; }
  void SetDataSetName(const QString& name) { data_set_name_ = name; }
  bool FooterAfterEach() const { return footer_after_each_; }
  void SetFooterAfterEach(bool on) { footer_after_each_ = on; }
  const QString& Filter() const { return filter_; }
  void SetFilter(const QString& filter) { filter_ = filter; }
  bool KeepFooter() const { return keep_footer_; }
  void SetKeepFooter(bool on) { keep_footer_ = on; }
  bool KeepHeader() const { return keep_header_; }
  void SetKeepHeader(bool on) { keep_header_ = on; }
  bool PrintIfDetailEmpty() const { return print_if_detail_empty_; }
  void SetPrintIfDetailEmpty(bool on) { print_if_detail_empty_ = on; }
  // The record count of the private counting data set.
  int RowCount() const;
  void SetRowCount(int count);
  const QString& OnMasterDetail() const { return on_master_detail_; }
  void SetOnMasterDetail(const QString& name) { on_master_detail_ = name; }

  // Runs RowCount records for a band without a data set of its own.
  TovxUserDataSet& CountingDataSet() { return *counting_; }

 private:
  int columns_ = 0;
  double column_width_ = 0;
  double column_gap_ = 0;
  QString data_set_name_;
  bool footer_after_each_ = false;
  QString filter_;
  bool keep_footer_ = false;
  bool keep_header_ = false;
  bool print_if_detail_empty_ = false;
  QString on_master_detail_;
  std::unique_ptr<TovxUserDataSet> counting_;
};

class TovxMasterData : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxMasterData(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxDetailData : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxDetailData(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxSubdetailData : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxSubdetailData(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxDataBand4 : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxDataBand4(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxDataBand5 : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxDataBand5(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxDataBand6 : public TovxDataBand {
  OVX_META_CLASS

 public:
  explicit TovxDataBand6(TovxComponent* owner = nullptr) : TovxDataBand(owner) {}
};

class TovxGroupHeader : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxGroupHeader(TovxComponent* owner = nullptr) : TovxBand(owner) {}

  // The expression whose change of value starts a new group.
  const QString& Condition() const { return condition_; }
  void SetCondition(const QString& condition) { condition_ = condition; }
  bool DrillDown() const { return drill_down_; }
  void SetDrillDown(bool on) { drill_down_ = on; }
  bool ExpandDrillDown() const { return expand_drill_down_; }
  void SetExpandDrillDown(bool on) { expand_drill_down_ = on; }
  bool ResetPageNumbers() const { return reset_page_numbers_; }
  void SetResetPageNumbers(bool on) { reset_page_numbers_ = on; }
  bool ShowFooterIfDrillDown() const { return show_footer_if_drill_down_; }
  void SetShowFooterIfDrillDown(bool on) { show_footer_if_drill_down_ = on; }
  bool ShowChildIfDrillDown() const { return show_child_if_drill_down_; }
  void SetShowChildIfDrillDown(bool on) { show_child_if_drill_down_ = on; }
  const QString& DrillName() const { return drill_name_; }
  void SetDrillName(const QString& name) { drill_name_ = name; }
  // A prepared header names its group for the preview's drill-down clicks.
  QByteArray DifferenceText(const TovxComponent& base) const override;

 private:
  QString condition_;
  bool drill_down_ = false;
  bool expand_drill_down_ = false;
  bool reset_page_numbers_ = false;
  bool show_footer_if_drill_down_ = false;
  bool show_child_if_drill_down_ = false;
  QString drill_name_;
};

class TovxGroupFooter : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxGroupFooter(TovxComponent* owner = nullptr) : TovxBand(owner) {}

  bool HideIfSingleDataRecord() const { return hide_if_single_data_record_; }
  void SetHideIfSingleDataRecord(bool on) { hide_if_single_data_record_ = on; }

 private:
  bool hide_if_single_data_record_ = false;
};

class TovxChild : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxChild(TovxComponent* owner = nullptr) : TovxBand(owner) {}
  // Clears the Child link of every band that names this one.
  ~TovxChild() override;

  int ToNRows() const { return to_n_rows_; }
  void SetToNRows(int rows) { to_n_rows_ = rows; }
  TovxToNRowsMode ToNRowsMode() const { return to_n_rows_mode_; }
  void SetToNRowsMode(TovxToNRowsMode mode) { to_n_rows_mode_ = mode; }

 private:
  friend class TovxBand;

  int to_n_rows_ = 0;
  TovxToNRowsMode to_n_rows_mode_ = TovxToNRowsMode::rmCount;
  // The bands whose Child is this band.
  std::vector<TovxBand*> referrers_;
};

class TovxColumnHeader : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxColumnHeader(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxColumnFooter : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxColumnFooter(TovxComponent* owner = nullptr) : TovxBand(owner) {}
};

class TovxOverlay : public TovxBand {
  OVX_META_CLASS

 public:
  explicit TovxOverlay(TovxComponent* owner = nullptr) : TovxBand(owner) {}

  // Drawn over the page's content instead of under it.
  bool PrintOnTop() const { return print_on_top_; }
  void SetPrintOnTop(bool on) { print_on_top_ = on; }

 private:
  bool print_on_top_ = false;
};
