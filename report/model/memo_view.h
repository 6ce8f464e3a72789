// The memo view: a rectangle of text.
//
// A memo's text is a list of lines; bracketed expressions in it ("Total:
// [Sum(Amount)]") are evaluated when the memo is printed, each formatted
// with the memo's display format for its position (the first expression
// with the first format item, and so on; the last item serves the rest).
// A memo may instead show a field of a data set, change its look through
// conditional highlights, blank out repeated values and hand text that did
// not fit on to another memo (FlowTo).
//
// TovxCustomMemoView holds all of it; TovxMemoView publishes the full set
// of properties and TovxSysMemoView (system texts such as page numbers and
// totals) a shorter one. The typesetting application creates one memo per
// character cell, so a memo is kept cheap: the format and highlight lists
// are empty until something asks for an item, and the runtime state is
// plain values.
//
// The data cycle leaves a memo as it found it: BeforePrint saves the text
// (unless the memo shows a data field, whose text is fetched anew each
// time), AfterPrint puts it back along with any appearance a highlight
// changed.
#pragma once

#include "render/text_options.h"
#include "report/model/format.h"
#include "report/model/highlight.h"
#include "report/model/view.h"

#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

OVX_ENUM(TovxDuplicateMode, dmShow, dmHide, dmClear, dmMerge)

class TovxDrawText;
class TovxCustomMemoView;

// A memo's lines as an object of their own, so that a script can hold
// `Memo1.Lines` and call its methods. The memo owns it: it goes with the
// memo, and so does its script handle.
class TovxMemoLines : public ovx::Persistent {
  OVX_META_CLASS

 public:
  explicit TovxMemoLines(TovxCustomMemoView& memo) : memo_(&memo) {}
  TovxCustomMemoView& Memo() const { return *memo_; }

 private:
  TovxCustomMemoView* memo_;
};

class TovxCustomMemoView : public TovxStretcheable {
  OVX_META_CLASS

 public:
  explicit TovxCustomMemoView(TovxComponent* owner = nullptr);
  ~TovxCustomMemoView() override;

  // --- text ---------------------------------------------------------------------
  const QStringList& Memo() const { return memo_; }
  void SetMemo(const QStringList& lines) { memo_ = lines; }
  const QStringList& Lines() const { return memo_; }
  void SetLines(const QStringList& lines) { memo_ = lines; }
  // The lines as one object (made on first use, lives with the memo).
  TovxMemoLines& LinesObject();
  // Every line followed by CR LF.
  QString Text() const;
  // Split at CR LF, CR or LF; a final line break ends the last line rather
  // than starting an empty one.
  void SetText(const QString& text);
  // The text in the narrow code page (GBK); characters it lacks become "?".
  QByteArray AnsiText() const;
  void SetAnsiText(const QByteArray& text);

  // --- properties -----------------------------------------------------------------
  // Set when the memo is a later part of a split paragraph (first) or its
  // text ends inside a paragraph that goes on in the next part (last).
  bool FirstParaBreak() const { return first_para_break_; }
  void SetFirstParaBreak(bool v) { first_para_break_ = v; }
  bool LastParaBreak() const { return last_para_break_; }
  void SetLastParaBreak(bool v) { last_para_break_ = v; }
  bool AutoWidth() const { return auto_width_; }
  void SetAutoWidth(bool v) { auto_width_ = v; }
  bool AllowExpressions() const { return allow_expressions_; }
  void SetAllowExpressions(bool v) { allow_expressions_ = v; }
  bool AllowHTMLTags() const { return allow_html_tags_; }
  void SetAllowHTMLTags(bool v) { allow_html_tags_ = v; }
  double CharSpacing() const { return char_spacing_; }
  void SetCharSpacing(double v) { char_spacing_ = v; }
  bool Clipped() const { return clipped_; }
  void SetClipped(bool v) { clipped_ = v; }
  // "open,close"; a value without a comma, or with an empty side, marks
  // no expressions.
  const QString& ExpressionDelimiters() const { return expression_delimiters_; }
  void SetExpressionDelimiters(const QString& v) { expression_delimiters_ = v; }
  // The memo that takes the text this one cannot hold. Kept by name and
  // looked up in the report when needed, so it never dangles; a memo
  // without a name cannot be a target.
  TovxCustomMemoView* FlowTo() const;
  void SetFlowTo(TovxCustomMemoView* memo);
  double GapX() const { return gap_x_; }
  void SetGapX(double v) { gap_x_ = v; }
  double GapY() const { return gap_y_; }
  void SetGapY(double v) { gap_y_ = v; }
  TovxHAlign HAlign() const { return h_align_; }
  void SetHAlign(TovxHAlign v) { h_align_ = v; }
  // A numeric value of 0 shows as empty text.
  bool HideZeros() const { return hide_zeros_; }
  void SetHideZeros(bool v) { hide_zeros_ = v; }
  double LineSpacing() const { return line_spacing_; }
  void SetLineSpacing(double v) { line_spacing_ = v; }
  double ParagraphGap() const { return paragraph_gap_; }
  void SetParagraphGap(double v) { paragraph_gap_ = v; }
  int Rotation() const { return rotation_; }
  void SetRotation(int v) { rotation_ = v; }
  bool RTLReading() const { return rtl_reading_; }
  void SetRTLReading(bool v) { rtl_reading_ = v; }
  // Marks and brackets drawn in their vertical forms, for a cell of text
  // that reads top to bottom; the text keeps the ordinary marks.
  bool VerticalForms() const { return vertical_forms_; }
  void SetVerticalForms(bool v) { vertical_forms_ = v; }
  // The name of a style of the report's style sheet.
  const QString& Style() const { return ExtraOrNone().style; }
  void SetStyle(const QString& v) {
    if (extra_ || !v.isEmpty()) MakeExtra().style = v;
  }
  // A text equal to the one printed last shows as empty text.
  bool SuppressRepeated() const { return suppress_repeated_; }
  void SetSuppressRepeated(bool v) { suppress_repeated_ = v; }
  TovxDuplicateMode Duplicates() const { return duplicates_; }
  void SetDuplicates(TovxDuplicateMode v) { duplicates_ = v; }
  bool Underlines() const { return underlines_; }
  void SetUnderlines(bool v) { underlines_ = v; }
  TovxUnderlinesTextMode UnderlinesTextMode() const { return underlines_text_mode_; }
  void SetUnderlinesTextMode(TovxUnderlinesTextMode v) { underlines_text_mode_ = v; }
  bool UseDefaultCharset() const { return use_default_charset_; }
  void SetUseDefaultCharset(bool v) { use_default_charset_ = v; }
  bool WordBreak() const { return word_break_; }
  void SetWordBreak(bool v) { word_break_ = v; }
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v) { word_wrap_ = v; }
  bool Wysiwyg() const { return wysiwyg_; }
  void SetWysiwyg(bool v) { wysiwyg_ = v; }
  TovxVAlign VAlign() const { return v_align_; }
  void SetVAlign(TovxVAlign v) { v_align_ = v; }

  // --- display formats ---------------------------------------------------------------
  // Printing gives a memo without formats the default item; until it is
  // changed, that item is one shared, read-only default (memos come by the
  // thousand), made the memo's own on the first access that may change it.
  int FormatCount() const {
    return formats_.empty() ? int{default_format_} : static_cast<int>(formats_.size());
  }
  TovxFormat& FormatAt(int index) {
    MakeDefaultFormatOwn();
    return *formats_.at(static_cast<size_t>(index));
  }
  const TovxFormat& FormatAt(int index) const;
  TovxFormat& AddFormat();
  void DeleteFormat(int index);
  void ClearFormats() {
    formats_.clear();
    default_format_ = false;
  }
  // The first item, created when the list is empty. The const form answers
  // a default format instead.
  TovxFormat& DisplayFormat();
  const TovxFormat& DisplayFormat() const;
  void SetDisplayFormat(const TovxFormat& format) { DisplayFormat().Assign(format); }

  // --- highlights ------------------------------------------------------------------
  int HighlightCount() const { return static_cast<int>(highlights_.size()); }
  TovxHighlight& HighlightAt(int index) { return *highlights_.at(static_cast<size_t>(index)); }
  const TovxHighlight& HighlightAt(int index) const {
    return *highlights_.at(static_cast<size_t>(index));
  }
  // A new last item with the next unique number.
  TovxHighlight& AddHighlight();
  void DeleteHighlight(int index);
  void ClearHighlights() { highlights_.clear(); }
  // The first item, created when the list is empty; the const form answers
  // a default highlight instead.
  TovxHighlight& Highlight();
  const TovxHighlight& Highlight() const;
  void SetHighlight(const TovxHighlight& highlight) { Highlight().Assign(highlight); }

  // --- runtime state ----------------------------------------------------------------
  // The value the last expression or data field gave.
  const QVariant& Value() const { return ExtraOrNone().value; }
  void SetValue(const QVariant& value) {
    if (extra_ || value.isValid()) MakeExtra().value = value;
  }
  // Forgets the text printed last (SuppressRepeated starts afresh).
  void ResetSuppressRepeated() {
    if (extra_) extra_->last_value.clear();
  }
  // The text left over by the last DrawPart.
  const QString& RestText() const { return ExtraOrNone().rest_text; }

  // --- layout and drawing ------------------------------------------------------------
  // Background, frame, then the text laid out inside the gaps.
  void Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
            double offset_y) override;
  // The height the text needs at the current width, gaps and frame included.
  double CalcHeight() override;
  // The width the text needs with one line per paragraph, gaps and frame
  // included.
  virtual double CalcWidth();
  // Keeps the lines that fit into the current height as the text and the
  // rest in RestText; answers the height the rest needs (0 when all fit).
  double DrawPart() override;
  void InitPart() override { SetRestText(QString()); }
  bool HasNextDataPart() const override { return !RestText().isEmpty(); }
  void TakeNextPart() override;
  // The text area in report units at scale 1, and in pixels of a drawing
  // whose view rectangle is `rect`: the view less its gaps and the inner
  // half of each frame line.
  ovx::PixelRect TextRectInUnits() const;
  ovx::PixelRect TextRectInPixels(const ovx::PixelRect& rect, double scale_x, double scale_y) const;

  // What the prepared pages store hands a memo it draws: the page count,
  // copy number and the global "CopyName" variable, else the report's (none:
  // the copy-name macro becomes empty) for the page-count and copy-name macros, and the
  // factor of the page being printed (0: derived from the canvas and the
  // drawing scale). A rebuilt page belongs to no report, hence the variable
  // travels here. The memo keeps only a pointer (memos come by the
  // thousand); the store sets it for the time of drawing. Null: not drawn by
  // a store, the macros stay.
  struct PrintState {
    int page_count = 0;
    int copy_no = 0;
    std::optional<QString> copy_name;
    double print_scale = 0;
  };
  void SetPrintState(const PrintState* state) { print_state_ = state; }
  const PrintState* GetPrintState() const { return print_state_; }

  // --- data cycle -----------------------------------------------------------------------
  void BeforePrint() override;
  void GetData() override;
  void AfterPrint() override;
  // One bracketed expression as text, formatted with `format` unless the
  // expression names a format of its own (" #N0.00").
  QString EvaluateExpression(const QString& expression, const TovxFormat& format);
  // Puts a highlight's look on the memo (saving the memo's own first).
  void ApplyHighlight(TovxHighlight& highlight);
  // Takes back what ApplyHighlight changed.
  void RestoreAppearance();

  // --- deferred values (memo_view_deferred.cpp) --------------------------------------
  // Also when repeated values are merged, cleared or hidden.
  bool NeedsPostProcessing() const override;
  void RegisterDeferred(ovx::DeferredProcessor& processor) override;
  bool RestoreDeferred(ovx::DeferredValueList& list) override;
  void ProcessDeferred(ovx::DeferredValueList& list, ovx::DeferredProcessor& processor) override;

  QString GetComponentText() const override { return Text(); }
  QByteArray DifferenceText(const TovxComponent& base) const override;

  // --- storage -------------------------------------------------------------------------
  // The lines joined by CR LF: the text without one final line break.
  std::optional<QString> StoredText() const override;
  // Exactly the lines that StoredText joined.
  void SetStoredText(const QString& text) override;
  void WriteCollections(TovxXMLItem& element, TovxXMLSerializer& serializer) const override;
  bool ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) override;

 protected:
  bool DifferenceHasWidth() const override { return !auto_width_; }
  void SetRestText(const QString& rest) {
    if (extra_ || !rest.isEmpty()) MakeExtra().rest_text = rest;
  }

 private:
  // What most memos never set, made on first use: memos come by the
  // thousand.
  struct Extra {
    QString flow_to_name;
    QString style;
    QVariant value;
    QString last_value;
    QString rest_text;
    std::unique_ptr<TovxMemoLines> lines_object;
  };
  const Extra& ExtraOrNone() const;
  Extra& MakeExtra();
  void MakeDefaultFormatOwn();

  // The look a highlight changed, for RestoreAppearance.
  struct SavedAppearance {
    TovxFont font;
    bool parent_font = true;
    std::unique_ptr<TovxCustomFill> fill;
    TovxFrame frame;
    bool visible = true;
  };

  // Configures `layout` for this memo and lays the text out; the caller
  // holds the layout lock.
  void LayOut(TovxDrawText& layout, double scale_x, double scale_y, double print_scale,
              const ovx::PixelRect& draw_rect, bool word_wrap) const;
  TovxDrawText& TextLayout() const;
  // The laid-out text's extent in report units: along its lines (the
  // widest line) or across them (all lines' height); 0 without text.
  double TextExtent(bool word_wrap, bool along_lines) const;
  void FillFromDataField(TovxDataSet& data_set);
  void ExpandTextExpressions();
  void ReplacePrintMacros();
  void ApplyHighlightConditions();
  TovxHighlight* FindHighlight(const QString& collection_name);
  int NextUniqueNumber() const;

  QStringList memo_;
  mutable bool first_para_break_ = false;  // DifferenceText hands the break on
  mutable bool last_para_break_ = false;
  bool auto_width_ = false;
  bool allow_expressions_ = true;
  bool allow_html_tags_ = false;
  bool clipped_ = true;
  bool hide_zeros_ = false;
  bool rtl_reading_ = false;
  bool vertical_forms_ = false;
  bool suppress_repeated_ = false;
  bool underlines_ = false;
  bool use_default_charset_ = false;
  bool word_break_ = false;
  bool word_wrap_ = true;
  bool wysiwyg_ = true;
  bool text_saved_ = false;
  // Holds the shared default format item (formats_ is empty then).
  bool default_format_ = false;
  TovxHAlign h_align_ = TovxHAlign::haLeft;
  TovxVAlign v_align_ = TovxVAlign::vaTop;
  TovxDuplicateMode duplicates_ = TovxDuplicateMode::dmShow;
  TovxUnderlinesTextMode underlines_text_mode_ = TovxUnderlinesTextMode::ulmNone;
  int rotation_ = 0;
  double char_spacing_ = 0;
  double gap_x_ = 2;
  double gap_y_ = 1;
  double line_spacing_ = 2;
  double paragraph_gap_ = 0;
  QString expression_delimiters_ = QStringLiteral("[,]");
  std::vector<std::unique_ptr<TovxFormat>> formats_;
  std::vector<std::unique_ptr<TovxHighlight>> highlights_;

  std::unique_ptr<Extra> extra_;
  QStringList saved_memo_;
  std::unique_ptr<SavedAppearance> saved_appearance_;
  const PrintState* print_state_ = nullptr;
};

class TovxMemoView : public TovxCustomMemoView {
  OVX_META_CLASS

 public:
  explicit TovxMemoView(TovxComponent* owner = nullptr) : TovxCustomMemoView(owner) {}
};

// System texts (dates, page numbers, totals): the same object with fewer
// published properties.
class TovxSysMemoView : public TovxCustomMemoView {
  OVX_META_CLASS

 public:
  explicit TovxSysMemoView(TovxComponent* owner = nullptr) : TovxCustomMemoView(owner) {}
};
