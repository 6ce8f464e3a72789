// The memo's data cycle (saving, filling from data and expressions,
// highlights, restoring) and its stored collections of formats and
// highlights.
#include "base/text_codec.h"
#include "base/value_format.h"
#include "report/model/bracket_expressions.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/report.h"
#include "report/storage/xml_item.h"
#include "report/storage/xml_serializer.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace {

bool IsNumericZero(const QVariant& value) {
  return ovx::IsNumberValue(value) && value.toDouble() == 0;
}

// A bracket may name its own format after a blank and "#": "[Sum(x) #N0.00]",
// "[Date #Ddd.mm.yyyy]", "[Paid #BNo,Yes]". Splits such an expression and
// adjusts `format`; answers the expression to evaluate.
QString SplitOwnFormat(const QString& expression, TovxFormat& format) {
  const qsizetype hash = expression.lastIndexOf(QStringLiteral(" #"));
  if (hash < 0) return expression;
  const QString rest = expression.mid(hash + 2);
  if (rest.isEmpty() || rest.contains(u')')) return expression;
  QString format_str = rest.mid(1);
  switch (rest[0].toUpper().unicode()) {
    case u'B':
      format.SetKind(TovxFormatKind::fkBoolean);
      break;
    case u'D':
    case u'T':
      format.SetKind(TovxFormatKind::fkDateTime);
      break;
    case u'N':
      format.SetKind(TovxFormatKind::fkNumeric);
      // "%2,2f" and "%2-2f" say which decimal separator to show.
      for (QChar& c : format_str) {
        if (c == u',' || c == u'-' || c == u'.') {
          format.SetDecimalSeparator(QString(c));
          c = u'.';
        }
      }
      break;
    default:
      return expression;
  }
  format.SetFormatStr(format_str);
  return expression.left(hash);
}

}  // namespace

void TovxCustomMemoView::BeforePrint() {
  TovxStretcheable::BeforePrint();
  // Also a memo that shows a data field: its text is the field reference
  // the template keeps, which the field's value replaces while printing.
  text_saved_ = true;
  saved_memo_ = memo_;
}

void TovxCustomMemoView::GetData() {
  TovxStretcheable::GetData();
  if (formats_.empty()) default_format_ = true;
  TovxDataSet* data_set = DataField().isEmpty() ? nullptr : DataSet();
  if (data_set) {
    FillFromDataField(*data_set);
    if (TovxReport* report = Report()) report->MemoValue(Value());
  } else if (allow_expressions_) {
    ExpandTextExpressions();
  }
  ApplyHighlightConditions();
  if (suppress_repeated_) {
    const QString text = Text();
    if (text == ExtraOrNone().last_value) {
      memo_.clear();
    } else {
      MakeExtra().last_value = text;
    }
  }
  if (TovxCustomMemoView* next = FlowTo()) {
    InitPart();
    DrawPart();
    next->SetText(RestText());
    next->SetAllowExpressions(false);
  }
}

void TovxCustomMemoView::AfterPrint() {
  if (text_saved_) {
    memo_ = std::move(saved_memo_);
    saved_memo_.clear();
    text_saved_ = false;
  }
  RestoreAppearance();
  TovxStretcheable::AfterPrint();
}

// Texts are Unicode throughout, so a font's character set needs no
// conversion of field values here; UseDefaultCharset only matters to the
// narrow-text editors.
void TovxCustomMemoView::FillFromDataField(TovxDataSet& data_set) {
  const QString& field = DataField();
  if (!data_set.HasField(field)) {
    SetValue(QVariant());
    memo_.clear();
    return;
  }
  if (data_set.IsBlobField(field)) {
    QVariant content = data_set.Value(field);
    auto* user = dynamic_cast<TovxUserDataSet*>(&data_set);
    if (user && user->on_get_blob_value) {
      QByteArray blob;
      user->on_get_blob_value(field, blob);
      content = blob;
    }
    const QString text = content.metaType().id() == QMetaType::QByteArray
                             ? ovx::DecodeNarrow(content.toByteArray())
                             : content.toString();
    SetValue(text);
    SetText(text);
    return;
  }
  SetValue(data_set.Value(field));
  const TovxFormat& format = std::as_const(*this).DisplayFormat();
  QString text = format.Kind() != TovxFormatKind::fkText ? format.FormatValue(Value())
                                                         : data_set.DisplayText(field);
  if (hide_zeros_ && IsNumericZero(Value())) text.clear();
  SetText(text);
}

void TovxCustomMemoView::ExpandTextExpressions() {
  const std::optional<ovx::ExpressionDelimiters> delimiters =
      ovx::ExpressionDelimiters::Parse(expression_delimiters_);
  if (!delimiters) return;
  const QString text = Text();
  if (!text.contains(delimiters->open)) return;
  SetText(ovx::ExpandExpressions(text, *delimiters, [this](const QString& expression, int n) {
    // A copy: the expression may run script code that edits this memo.
    const TovxFormat format = std::as_const(*this).FormatAt(std::min(n, FormatCount() - 1));
    return EvaluateExpression(expression, format);
  }));
}

QString TovxCustomMemoView::EvaluateExpression(const QString& expression,
                                               const TovxFormat& format) {
  TovxFormat own = format;
  const QString plain = SplitOwnFormat(expression, own);
  // Page totals are known only when the prepared page is drawn.
  const QString key = plain.trimmed();
  if (key.compare(u"TOTALPAGES#", Qt::CaseInsensitive) == 0) {
    return QStringLiteral("[TotalPages#]");
  }
  if (key.compare(u"COPYNAME#", Qt::CaseInsensitive) == 0) return QStringLiteral("[CopyName#]");
  SetValue(Calc(plain));
  if (TovxReport* report = Report()) report->MemoValue(Value());
  if (hide_zeros_ && IsNumericZero(Value())) return {};
  return own.FormatValue(Value());
}

void TovxCustomMemoView::ApplyHighlightConditions() {
  for (int i = 0; i < HighlightCount(); ++i) {
    const QString condition = HighlightAt(i).Condition();
    if (condition.trimmed().isEmpty()) continue;
    const QVariant result = Calc(condition);
    // Only a real Boolean True counts; 1 or the text "True" do not.
    if (result.metaType().id() == QMetaType::Bool && result.toBool()) {
      if (i < HighlightCount()) ApplyHighlight(HighlightAt(i));
      return;
    }
  }
}

void TovxCustomMemoView::ApplyHighlight(TovxHighlight& highlight) {
  if (!saved_appearance_) {
    saved_appearance_ = std::make_unique<SavedAppearance>();
    saved_appearance_->font.Assign(Font());
    saved_appearance_->parent_font = ParentFont();
    saved_appearance_->fill = Fill().Clone();
    saved_appearance_->frame.Assign(Frame());
    saved_appearance_->visible = Visible();
  }
  highlight.SetActive(true);
  if (highlight.ApplyFont()) SetFont(highlight.Font());
  if (highlight.ApplyFill()) SetFill(highlight.Fill());
  if (highlight.ApplyFrame()) SetFrame(highlight.Frame());
  SetVisible(highlight.Visible());
}

void TovxCustomMemoView::RestoreAppearance() {
  for (const auto& h : highlights_) h->SetActive(false);
  if (!saved_appearance_) return;
  std::unique_ptr<SavedAppearance> saved = std::move(saved_appearance_);
  Font().Assign(saved->font);
  SetParentFont(saved->parent_font);
  SetFill(*saved->fill);
  SetFrame(saved->frame);
  SetVisible(saved->visible);
}

// --- stored collections ------------------------------------------------------------------

// More than one format or highlight goes to a list element; a single one is
// stored as the DisplayFormat / Highlight property instead.
void TovxCustomMemoView::WriteCollections(TovxXMLItem& element,
                                          TovxXMLSerializer& serializer) const {
  if (formats_.size() > 1) {
    TovxXMLItem* list = element.Add();
    list->SetName("Formats");
    for (const auto& format : formats_) {
      TovxXMLItem* item = list->Add();
      item->SetName("item");
      item->SetText(serializer.WriteCollectionItem(*format).trimmed());
    }
  }
  if (highlights_.size() > 1) {
    const ovx::StoredObject* ancestor_object =
        serializer.ancestor_of ? serializer.ancestor_of(*this) : nullptr;
    auto* ancestor = dynamic_cast<const TovxCustomMemoView*>(ancestor_object);
    TovxXMLItem* list = element.Add();
    list->SetName("Highlights");
    for (const auto& highlight : highlights_) {
      const TovxHighlight* inherited = nullptr;
      if (ancestor) {
        for (const auto& candidate : ancestor->highlights_) {
          if (candidate->UniqueNumber() == highlight->UniqueNumber()) inherited = candidate.get();
        }
      }
      TovxXMLItem* item = list->Add();
      item->SetName("item");
      item->SetText(serializer
                        .WriteCollectionItem(*highlight, inherited,
                                             inherited ? inherited->CollectionName() : QString(),
                                             highlight->UniqueNumber())
                        .trimmed());
    }
  }
}

bool TovxCustomMemoView::ReadCollection(const TovxXMLItem& element, TovxXMLSerializer& serializer) {
  const QByteArray& name = element.Name();
  // A list element holds the whole list: it replaces what is there (an
  // inherited memo updates its ancestor's highlights by name instead).
  if (name.compare("Formats", Qt::CaseInsensitive) == 0) {
    ClearFormats();
    for (int i = 0; i < element.Count(); ++i) {
      serializer.ReadCollectionItem(element[i]->Text(), AddFormat());
    }
    return true;
  }
  if (name.compare("Highlights", Qt::CaseInsensitive) != 0) return false;
  if (!IsInherited()) ClearHighlights();
  // The numbering rule of AddHighlight (1 while the smallest number in use
  // is 2 or more, else the largest plus one) and the lookup by collection
  // name are kept up to date here, item by item, so that a long list reads
  // in linear time.
  int smallest = std::numeric_limits<int>::max();
  int largest = std::numeric_limits<int>::min();
  QHash<QString, TovxHighlight*> by_name;
  for (const auto& h : highlights_) {
    smallest = std::min(smallest, h->UniqueNumber());
    largest = std::max(largest, h->UniqueNumber());
  }
  if (IsInherited()) {
    for (auto it = highlights_.rbegin(); it != highlights_.rend(); ++it) {
      by_name.insert((*it)->CollectionName().toCaseFolded(), it->get());
    }
  }
  for (int i = 0; i < element.Count(); ++i) {
    const TovxXMLItem& item = *element[i];
    TovxHighlight* highlight = nullptr;
    if (IsInherited()) {
      const QByteArray inherited_name = item.Prop("InheritedName");
      if (!inherited_name.isEmpty()) {
        highlight = by_name.value(QString::fromUtf8(inherited_name).toCaseFolded(), nullptr);
      }
    }
    const bool appended = highlight == nullptr;
    if (appended) {
      const int number = highlights_.empty() || smallest >= 2 ? 1 : largest + 1;
      highlights_.push_back(std::make_unique<TovxHighlight>());
      highlight = highlights_.back().get();
      highlight->SetUniqueNumber(number);
    }
    const int old_number = highlight->UniqueNumber();
    const QString old_name = highlight->CollectionName().toCaseFolded();
    serializer.ReadCollectionItem(item.Text(), *highlight);
    const QByteArray uin = item.Prop("uin");
    int number = 0;
    const auto [end, error] = std::from_chars(uin.data(), uin.data() + uin.size(), number);
    if (error == std::errc() && end == uin.data() + uin.size() && number > 0) {
      highlight->SetUniqueNumber(number);
    }
    const int kept = highlight->UniqueNumber();
    if (appended || kept == old_number) {
      smallest = std::min(smallest, kept);
      largest = std::max(largest, kept);
    } else {
      // An ancestor's item took another number (rare): count afresh.
      smallest = largest = kept;
      for (const auto& h : highlights_) {
        smallest = std::min(smallest, h->UniqueNumber());
        largest = std::max(largest, h->UniqueNumber());
      }
    }
    if (IsInherited()) {
      const QString new_name = highlight->CollectionName().toCaseFolded();
      if (new_name != old_name && by_name.value(old_name) == highlight) by_name.remove(old_name);
      if (!by_name.contains(new_name)) by_name.insert(new_name, highlight);
    }
  }
  return true;
}
