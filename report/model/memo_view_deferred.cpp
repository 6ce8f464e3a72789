// A memo's part in deferred values: what it files with the post-processor
// when it is placed on a prepared page, how a view of a rebuilt page takes
// its value back (merging, clearing or hiding repeats), and how the
// template memo is evaluated again when its event arrives.
//
// The prepared page keeps only the entry index as the memo's text. That
// text comes from a file, so it is read strictly: anything but a decimal
// number naming an existing entry leaves the text as it is.
#include "base/value_format.h"
#include "report/model/data_set.h"
#include "report/model/deferred_values.h"
#include "report/model/memo_view.h"
#include "report/model/report.h"

#include <optional>

namespace {

// A decimal integer with an optional minus sign, nothing around it; none
// when it does not fit.
std::optional<qint64> StrictInteger(const QString& text) {
  qsizetype i = 0;
  const bool negative = !text.isEmpty() && text[0] == u'-';
  if (negative) ++i;
  if (i >= text.size() || text.size() - i > 18) return std::nullopt;
  qint64 value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return negative ? -value : value;
}

QString WithoutFinalLineBreak(QString text) {
  if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
  return text;
}

}  // namespace

bool TovxCustomMemoView::NeedsPostProcessing() const {
  return TovxStretcheable::NeedsPostProcessing() || duplicates_ != TovxDuplicateMode::dmShow;
}

void TovxCustomMemoView::RegisterDeferred(ovx::DeferredProcessor& processor) {
  const QString band_name = Parent() ? Parent()->Name() : QString();
  QString text;
  if (IsDataField()) {
    TovxDataSet* data_set = DataSet();
    if (data_set && data_set->HasField(DataField())) {
      text = ovx::ValueToText(data_set->Value(DataField()));
    }
  } else {
    text = WithoutFinalLineBreak(Text());
  }
  const TovxProcessAtMode at = Processing().ProcessAt();
  const bool compare =
      (at != TovxProcessAtMode::paDefault || duplicates_ != TovxDuplicateMode::dmShow) &&
      !band_name.isEmpty();
  const int index = processor.Register(band_name, Name(), compare, *this, at, text);
  SetText(QString::number(index));
}

bool TovxCustomMemoView::RestoreDeferred(ovx::DeferredValueList& list) {
  const std::optional<qint64> number = StrictInteger(memo_.isEmpty() ? QString() : memo_.first());
  if (!number || *number < 0 || *number >= list.Count()) return false;
  const int n = static_cast<int>(*number);
  const int last = list.LastIndex();
  if (duplicates_ == TovxDuplicateMode::dmClear && n == last) {
    memo_.clear();
  } else {
    SetText(list.Entry(n));
  }
  bool drop = false;
  if (duplicates_ != TovxDuplicateMode::dmShow && n == last) {
    if (duplicates_ == TovxDuplicateMode::dmMerge) {
      // The first copy grows down over the ones it stands for.
      if (TovxView* first = list.LastView())
        first->SetHeight(AbsTop() - first->AbsTop() + Height());
    }
    drop = duplicates_ != TovxDuplicateMode::dmClear;
  }
  if (n != last) list.SetLastView(this);
  list.SetLastIndex(n);
  return drop;
}

void TovxCustomMemoView::ProcessDeferred(ovx::DeferredValueList& list,
                                         ovx::DeferredProcessor& processor) {
  const int k = list.Count();
  if (k == 0) return;
  TovxReport* report = Report();
  // The template memo is evaluated in place: whatever happens, it gets its
  // own text back, and the report its current object.
  struct Restore {
    TovxCustomMemoView& memo;
    TovxReport* report;
    QStringList lines;
    TovxComponent* current;
    ~Restore() {
      memo.RestoreAppearance();
      memo.memo_ = lines;
      if (report) report->SetCurrentObject(current);
    }
  } restore{*this, report, memo_, report ? report->CurrentObject() : nullptr};
  if (report) report->SetCurrentObject(this);
  GetData();
  processor.AfterData(*this);
  list.SetEntry(k - 1, WithoutFinalLineBreak(Text()));
}
