// The memo's text, lists, differences and published properties. The data
// cycle and the stored collections live in memo_view_data.cpp.
#include "report/model/memo_view.h"

#include "base/class_builder.h"
#include "base/error.h"
#include "base/text_codec.h"
#include "base/units.h"
#include "report/model/data_set.h"

#include <algorithm>
#include <unordered_set>

namespace {

// Lines of a text: breaks are CR LF, CR or LF. With `final_break_ends_line`
// a break at the very end closes the last line (the way the text of a line
// list reads); without it the text is exactly the lines joined by breaks.
QStringList SplitLines(const QString& text, bool final_break_ends_line) {
  QStringList lines;
  if (text.isEmpty()) return lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n || !final_break_ends_line) lines.append(text.mid(start));
  return lines;
}

}  // namespace

TovxCustomMemoView::TovxCustomMemoView(TovxComponent* owner) : TovxStretcheable(owner) {}

TovxCustomMemoView::~TovxCustomMemoView() = default;

TovxMemoLines& TovxCustomMemoView::LinesObject() {
  Extra& extra = MakeExtra();
  if (!extra.lines_object) extra.lines_object = std::make_unique<TovxMemoLines>(*this);
  return *extra.lines_object;
}

const ovx::MetaClass& TovxMemoLines::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TWideStrings"), nullptr, {}, nullptr);
  return meta;
}

const TovxCustomMemoView::Extra& TovxCustomMemoView::ExtraOrNone() const {
  static const Extra kNone;
  return extra_ ? *extra_ : kNone;
}

TovxCustomMemoView::Extra& TovxCustomMemoView::MakeExtra() {
  if (!extra_) extra_ = std::make_unique<Extra>();
  return *extra_;
}

// --- text ---------------------------------------------------------------------------

QString TovxCustomMemoView::Text() const {
  QString text;
  for (const QString& line : memo_) {
    text += line;
    text += QStringLiteral("\r\n");
  }
  return text;
}

void TovxCustomMemoView::SetText(const QString& text) { memo_ = SplitLines(text, true); }

QByteArray TovxCustomMemoView::AnsiText() const { return ovx::ToGbk(Text()); }

void TovxCustomMemoView::SetAnsiText(const QByteArray& text) { SetText(ovx::FromGbk(text)); }

std::optional<QString> TovxCustomMemoView::StoredText() const {
  return memo_.join(QStringLiteral("\r\n"));
}

void TovxCustomMemoView::SetStoredText(const QString& text) { memo_ = SplitLines(text, false); }

// --- references --------------------------------------------------------------------

TovxCustomMemoView* TovxCustomMemoView::FlowTo() const {
  const QString& flow_to_name = ExtraOrNone().flow_to_name;
  if (flow_to_name.isEmpty()) return nullptr;
  const TovxComponent* root = this;
  while (root->Parent()) root = root->Parent();
  TovxComponent* found = root->FindObject(flow_to_name);
  auto* memo = dynamic_cast<TovxCustomMemoView*>(found);
  return memo == this ? nullptr : memo;
}

void TovxCustomMemoView::SetFlowTo(TovxCustomMemoView* memo) {
  // Text handed on along a chain that returns to this memo would never
  // settle: refuse the link. The walk remembers where it has been, so even
  // a loop made by renaming ends.
  std::unordered_set<const TovxCustomMemoView*> seen;
  for (const TovxCustomMemoView* m = memo; m && seen.insert(m).second; m = m->FlowTo()) {
    if (m == this) {
      throw ovx::Error(QStringLiteral("clCirRefNotAllow"),
                       QStringLiteral("Circular child reference is not allowed"));
    }
  }
  if (memo) {
    if (extra_ || !memo->Name().isEmpty()) MakeExtra().flow_to_name = memo->Name();
  } else if (!IsLoading() && extra_) {
    extra_->flow_to_name.clear();
  }
}

// --- lists --------------------------------------------------------------------------------

TovxFormat& TovxCustomMemoView::AddFormat() {
  MakeDefaultFormatOwn();
  formats_.push_back(std::make_unique<TovxFormat>());
  return *formats_.back();
}

void TovxCustomMemoView::DeleteFormat(int index) {
  if (index < 0 || index >= FormatCount()) return;
  MakeDefaultFormatOwn();
  formats_.erase(formats_.begin() + index);
}

namespace {

const TovxFormat& DefaultFormat() {
  static const TovxFormat kDefault;
  return kDefault;
}

}  // namespace

void TovxCustomMemoView::MakeDefaultFormatOwn() {
  if (!default_format_) return;
  default_format_ = false;
  if (formats_.empty()) formats_.push_back(std::make_unique<TovxFormat>());
}

const TovxFormat& TovxCustomMemoView::FormatAt(int index) const {
  if (default_format_ && formats_.empty() && index == 0) return DefaultFormat();
  return *formats_.at(static_cast<size_t>(index));
}

TovxFormat& TovxCustomMemoView::DisplayFormat() {
  MakeDefaultFormatOwn();
  if (formats_.empty()) AddFormat();
  return *formats_.front();
}

const TovxFormat& TovxCustomMemoView::DisplayFormat() const {
  return formats_.empty() ? DefaultFormat() : *formats_.front();
}

int TovxCustomMemoView::NextUniqueNumber() const {
  if (highlights_.empty()) return 1;
  int smallest = highlights_.front()->UniqueNumber();
  int largest = smallest;
  for (const auto& h : highlights_) {
    smallest = std::min(smallest, h->UniqueNumber());
    largest = std::max(largest, h->UniqueNumber());
  }
  return smallest >= 2 ? 1 : largest + 1;
}

TovxHighlight& TovxCustomMemoView::AddHighlight() {
  auto highlight = std::make_unique<TovxHighlight>();
  highlight->SetUniqueNumber(NextUniqueNumber());
  highlights_.push_back(std::move(highlight));
  return *highlights_.back();
}

void TovxCustomMemoView::DeleteHighlight(int index) {
  if (index >= 0 && index < HighlightCount()) highlights_.erase(highlights_.begin() + index);
}

TovxHighlight& TovxCustomMemoView::Highlight() {
  if (highlights_.empty()) AddHighlight();
  return *highlights_.front();
}

const TovxHighlight& TovxCustomMemoView::Highlight() const {
  static const TovxHighlight kDefault;
  return highlights_.empty() ? kDefault : *highlights_.front();
}

TovxHighlight* TovxCustomMemoView::FindHighlight(const QString& collection_name) {
  for (const auto& h : highlights_) {
    if (h->CollectionName().compare(collection_name, Qt::CaseInsensitive) == 0) return h.get();
  }
  return nullptr;
}

// --- differences ----------------------------------------------------------------------

QByteArray TovxCustomMemoView::DifferenceText(const TovxComponent& base) const {
  QByteArray out = TovxStretcheable::DifferenceText(base);
  const auto* b = dynamic_cast<const TovxCustomMemoView*>(&base);
  const auto number_differs = [](double x, double y) { return !ovx::SamePosition(x, y); };
  if (b) {
    if (auto_width_ != b->auto_width_) AppendAttribute(out, "AutoWidth", FlagText(auto_width_));
    if (number_differs(char_spacing_, b->char_spacing_)) {
      AppendAttribute(out, "CharSpacing", NumberText(char_spacing_));
    }
    if (number_differs(gap_x_, b->gap_x_)) AppendAttribute(out, "GapX", NumberText(gap_x_));
    if (number_differs(gap_y_, b->gap_y_)) AppendAttribute(out, "GapY", NumberText(gap_y_));
    if (h_align_ != b->h_align_) AppendAttribute(out, "HAlign", NumberText(qint64(h_align_)));
    if (number_differs(line_spacing_, b->line_spacing_)) {
      AppendAttribute(out, "LineSpacing", NumberText(line_spacing_));
    }
    if (use_default_charset_ != b->use_default_charset_) {
      AppendAttribute(out, "UseDefaultCharset", FlagText(use_default_charset_));
    }
  }
  AppendAttribute(out, "u", EscapedText(*StoredText()));
  if (!Hint().isEmpty()) AppendAttribute(out, "Hint", EscapedText(Hint()));
  if (b) {
    if (number_differs(paragraph_gap_, b->paragraph_gap_)) {
      AppendAttribute(out, "ParagraphGap", NumberText(paragraph_gap_));
    }
    if (rotation_ != b->rotation_) AppendAttribute(out, "Rotation", NumberText(qint64{rotation_}));
    if (rtl_reading_ != b->rtl_reading_) {
      AppendAttribute(out, "RTLReading", FlagText(rtl_reading_));
    }
    if (underlines_text_mode_ != b->underlines_text_mode_) {
      AppendAttribute(out, "UnderlinesTextMode", NumberText(qint64(underlines_text_mode_)));
    }
    if (v_align_ != b->v_align_) AppendAttribute(out, "VAlign", NumberText(qint64(v_align_)));
    if (word_wrap_ != b->word_wrap_) AppendAttribute(out, "WordWrap", FlagText(word_wrap_));
    if (vertical_forms_ != b->vertical_forms_) {
      AppendAttribute(out, "VerticalForms", FlagText(vertical_forms_));
    }
    if (FormatCount() == 1) {
      const TovxFormat& f = DisplayFormat();
      const TovxFormat& g = b->DisplayFormat();
      if (f.Kind() != g.Kind()) {
        AppendAttribute(out, "DisplayFormat.Kind", NumberText(qint64(f.Kind())));
      }
      if (f.DecimalSeparator() != g.DecimalSeparator()) {
        AppendAttribute(out, "DisplayFormat.DecimalSeparator", EscapedText(f.DecimalSeparator()));
      }
      if (f.ThousandSeparator() != g.ThousandSeparator()) {
        AppendAttribute(out, "DisplayFormat.ThousandSeparator", EscapedText(f.ThousandSeparator()));
      }
      if (f.FormatStr() != g.FormatStr()) {
        AppendAttribute(out, "DisplayFormat.FormatStr", EscapedText(f.FormatStr()));
      }
    }
  }
  if (first_para_break_) AppendAttribute(out, "FirstParaBreak", FlagText(true));
  if (last_para_break_) AppendAttribute(out, "LastParaBreak", FlagText(true));
  // The next part of a split memo starts where this one ended.
  first_para_break_ = last_para_break_;
  last_para_break_ = false;
  return out;
}

// --- published properties --------------------------------------------------------------

namespace {

// The memo's published properties in declaration order; system texts
// publish the subset marked `sys`.
template <class C>
void AddMemoProperties(ovx::ClassBuilder<C>& b, bool system) {
  using M = TovxCustomMemoView;
  const bool all = !system;
  if (all) {
    b.Bool("FirstParaBreak", &M::FirstParaBreak, &M::SetFirstParaBreak).Default(false);
    b.Bool("LastParaBreak", &M::LastParaBreak, &M::SetLastParaBreak).Default(false);
    b.Integer("Cursor", &M::Cursor, &M::SetCursor, "TCursor").Default(0);
    b.String("TagStr", &M::TagStr, &M::SetTagStr);
    b.String("URL", &M::URL, &M::SetURL).Stored(false);
  }
  b.Bool("AutoWidth", &M::AutoWidth, &M::SetAutoWidth).Default(false);
  if (all) {
    b.Bool("AllowExpressions", &M::AllowExpressions, &M::SetAllowExpressions).Default(true);
    b.Bool("AllowHTMLTags", &M::AllowHTMLTags, &M::SetAllowHTMLTags).Default(false);
  }
  b.Enum("BrushStyle", &M::BrushStyle, &M::SetBrushStyle)
      .Default(TovxBrushStyle::bsSolid)
      .Stored(false);
  b.Color("Color", &M::Color, &M::SetColor).Default(clNone).Stored(false);
  b.Float("CharSpacing", &M::CharSpacing, &M::SetCharSpacing)
      .Default(0)
      .template StoredWhen<M>([](const M& m) { return m.CharSpacing() != 0; });
  if (all) {
    b.Bool("Clipped", &M::Clipped, &M::SetClipped).Default(true);
    b.String("DataField", &M::DataField, &M::SetDataField);
    // Stored by name, through DataSetName.
    b.Reference("DataSet", "TovxDataSet", &M::DataSet, &M::SetDataSet).Stored(false);
    b.String("DataSetName", &M::DataSetName, &M::SetDataSetName);
  }
  b.Object(
       "DisplayFormat", [](M& m) -> TovxFormat& { return m.DisplayFormat(); }, &M::SetDisplayFormat)
      .template StoredWhen<M>([](const M& m) { return m.FormatCount() == 1; });
  if (all) {
    b.String("ExpressionDelimiters", &M::ExpressionDelimiters, &M::SetExpressionDelimiters)
        .template StoredWhen<M>([](const M& m) { return m.ExpressionDelimiters() != u"[,]"; });
    b.Reference("FlowTo", "TovxCustomMemoView", &M::FlowTo, &M::SetFlowTo);
  }
  b.Object(
       "Font", [](M& m) -> TovxFont& { return m.Font(); }, &M::SetFont)
      .template StoredWhen<M>([](const M& m) { return !m.ParentFont(); });
  b.Object(
       "Frame", [](M& m) -> TovxFrame& { return m.Frame(); }, &M::SetFrame)
      .template ExistingWhen<M>([](const M& c) { return c.ExistingFrame(); });
  b.Enum("FillType", &M::FillType, &M::SetFillType).Default(TovxFillType::ftBrush);
  b.Object(
       "Fill", [](M& m) -> TovxCustomFill& { return m.Fill(); }, &M::SetFill)
      .template ExistingWhen<M>([](const M& m) { return m.ExistingFill(); });
  b.Float("GapX", &M::GapX, &M::SetGapX).Default(2).template StoredWhen<M>([](const M& m) {
    return m.GapX() != 2;
  });
  b.Float("GapY", &M::GapY, &M::SetGapY).Default(1).template StoredWhen<M>([](const M& m) {
    return m.GapY() != 1;
  });
  b.Enum("HAlign", &M::HAlign, &M::SetHAlign).Default(TovxHAlign::haLeft);
  b.Bool("HideZeros", &M::HideZeros, &M::SetHideZeros).Default(false);
  b.Object(
       "Highlight", [](M& m) -> TovxHighlight& { return m.Highlight(); }, &M::SetHighlight)
      .template StoredWhen<M>([](const M& m) {
        return m.HighlightCount() == 1 && !m.Highlight().Condition().trimmed().isEmpty();
      });
  if (all) {
    b.Float("LineSpacing", &M::LineSpacing, &M::SetLineSpacing)
        .Default(2)
        .template StoredWhen<M>([](const M& m) { return m.LineSpacing() != 2; });
  }
  b.StringList("Memo", &M::Memo, &M::SetMemo, true);
  if (all) {
    b.Float("ParagraphGap", &M::ParagraphGap, &M::SetParagraphGap)
        .Default(0)
        .template StoredWhen<M>([](const M& m) { return m.ParagraphGap() != 0; });
  }
  b.Bool("ParentFont", &M::ParentFont, &M::SetParentFont).Default(true);
  b.Object(
      "Processing", [](M& m) -> TovxObjectProcessing& { return m.Processing(); },
      &M::SetProcessing);
  b.Integer("Rotation", &M::Rotation, &M::SetRotation).Default(0);
  b.Bool("RTLReading", &M::RTLReading, &M::SetRTLReading).Default(false);
  b.String("Style", &M::Style, &M::SetStyle);
  b.Bool("SuppressRepeated", &M::SuppressRepeated, &M::SetSuppressRepeated).Default(false);
  if (all) {
    b.Enum("Duplicates", &M::Duplicates, &M::SetDuplicates).Default(TovxDuplicateMode::dmShow);
  }
  b.Bool("Underlines", &M::Underlines, &M::SetUnderlines).Default(false);
  if (all) {
    b.Enum("UnderlinesTextMode", &M::UnderlinesTextMode, &M::SetUnderlinesTextMode)
        .Default(TovxUnderlinesTextMode::ulmNone);
    b.Bool("UseDefaultCharset", &M::UseDefaultCharset, &M::SetUseDefaultCharset).Default(false);
  }
  b.Bool("WordBreak", &M::WordBreak, &M::SetWordBreak).Default(false);
  b.Bool("WordWrap", &M::WordWrap, &M::SetWordWrap).Default(true);
  if (all) b.Bool("Wysiwyg", &M::Wysiwyg, &M::SetWysiwyg).Default(true);
  b.Enum("VAlign", &M::VAlign, &M::SetVAlign).Default(TovxVAlign::vaTop);
  if (all) b.Bool("VerticalForms", &M::VerticalForms, &M::SetVerticalForms).Default(false);
}

}  // namespace

const ovx::MetaClass& TovxCustomMemoView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxCustomMemoView> b("TovxCustomMemoView",
                                            &TovxStretcheable::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxMemoView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxMemoView> b("TovxMemoView", &TovxCustomMemoView::StaticMetaClass());
    AddMemoProperties(b, false);
    b.Creatable(ovx::ComponentFactory<TovxMemoView>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxSysMemoView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxSysMemoView> b("TovxSysMemoView", &TovxCustomMemoView::StaticMetaClass());
    AddMemoProperties(b, true);
    b.Creatable(ovx::ComponentFactory<TovxSysMemoView>());
    return b.Build();
  }();
  return meta;
}
