#include "engine/aggregates.h"

#include "engine/band_tree.h"
#include "report/model/band.h"
#include "report/model/bracket_expressions.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// Nesting of "(" and "<" parts and of variables named in a call; deeper
// parts are skipped (a template could nest them until the stack overflows).
constexpr int kMaxDepth = 32;
// Characters the bracket matching may look at per memo: a text of many
// unmatched openers would otherwise be scanned to its end from each one.
constexpr qsizetype kScanBudget = 1 << 22;
// The biggest vertical column a row may fill; the arrays grow up to it.
constexpr int kMaxColumn = 1 << 20;

bool IsIntegral(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool:
      return true;
    default:
      return false;
  }
}

std::optional<double> NumberOf(const QVariant& v) {
  if (IsIntegral(v) || v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
    return v.toDouble();
  }
  if (v.typeId() == QMetaType::QString) {
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (ok) return d;
  }
  return std::nullopt;
}

QVariant Add(const QVariant& a, const QVariant& b) {
  if (IsIntegral(a) && IsIntegral(b)) {
    qint64 sum = 0;
    if (!__builtin_add_overflow(a.toLongLong(), b.toLongLong(), &sum)) return QVariant(sum);
  }
  const std::optional<double> x = NumberOf(a);
  const std::optional<double> y = NumberOf(b);
  if (x && y) return QVariant(*x + *y);
  return QVariant(a.toString() + b.toString());
}

// Below zero when a < b.
int Compare(const QVariant& a, const QVariant& b) {
  const std::optional<double> x = NumberOf(a);
  const std::optional<double> y = NumberOf(b);
  if (x && y) return *x < *y ? -1 : (*x > *y ? 1 : 0);
  const QPartialOrdering order = QVariant::compare(a, b);
  if (order == QPartialOrdering::Less) return -1;
  if (order == QPartialOrdering::Greater) return 1;
  if (order == QPartialOrdering::Equivalent) return 0;
  return a.toString().compare(b.toString());
}

QVariant Divide(const QVariant& value, int count) {
  if (!value.isValid() || count == 0) return QVariant();
  const std::optional<double> x = NumberOf(value);
  if (!x) return QVariant();
  return QVariant(*x / count);
}

// Booleans count as 1 and 0, so a sum over a condition counts its rows.
QVariant RowValue(const QVariant& v) {
  if (v.typeId() == QMetaType::Bool) return QVariant(v.toBool() ? 1 : 0);
  return v;
}

void Grow(TovxAggregateItem& item, int column) {
  const size_t size = static_cast<size_t>(column) + 1;
  if (item.column_values.size() < size) {
    item.column_values.resize(std::max(size, std::max<size_t>(16, item.column_values.size() * 2)));
    item.column_counts.resize(item.column_values.size(), 0);
  }
}

}  // namespace

namespace ovx {

TovxAggregateFunction AggregateFunctionOf(const QString& name) {
  const QString n = name.trimmed().toUpper();
  if (n == u"SUM") return TovxAggregateFunction::kSum;
  if (n == u"AVG") return TovxAggregateFunction::kAvg;
  if (n == u"MIN") return TovxAggregateFunction::kMin;
  if (n == u"MAX") return TovxAggregateFunction::kMax;
  return TovxAggregateFunction::kCount;
}

int AggregateFlags(const QString& text) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok);
  return ok ? static_cast<int>(value & 3) : 0;
}

void CombineAggregate(TovxAggregateFunction function, QVariant& stored, const QVariant& v) {
  if (!stored.isValid()) {
    stored = v;
    return;
  }
  if (!v.isValid()) return;
  switch (function) {
    case TovxAggregateFunction::kSum:
    case TovxAggregateFunction::kAvg:
      stored = Add(stored, v);
      break;
    case TovxAggregateFunction::kMin:
      if (Compare(v, stored) < 0) stored = v;
      break;
    case TovxAggregateFunction::kMax:
      if (Compare(v, stored) > 0) stored = v;
      break;
    case TovxAggregateFunction::kCount:
      break;
  }
}

}  // namespace ovx

void TovxAggregateItem::Reset(bool force) {
  if (!force && dont_reset && count != 0) return;
  // A row taken back stays due: the band that resets may be the page
  // footer printed at the break the row moves over.
  can_take_back = false;
  count = 0;
  value = QVariant();
  column_values.clear();
  column_counts.clear();
}

QVariant TovxAggregateItem::Result() const {
  QVariant v = value;
  int n = count;
  if (!column_values.empty()) {
    const size_t c = column >= 0 ? static_cast<size_t>(column) : 0;
    v = c < column_values.size() ? column_values[c] : QVariant();
    n = c < column_counts.size() ? column_counts[c] : 0;
  }
  QVariant result;
  switch (function) {
    case TovxAggregateFunction::kAvg:
      result = Divide(v, n);
      break;
    case TovxAggregateFunction::kCount:
      result = n;
      break;
    default:
      result = v;
  }
  return result.isValid() ? result : QVariant(0);
}

// Walks the bands of a page in the order calls are collected and makes the
// items of each memo.
class TovxAggregateList::Collector {
 public:
  Collector(TovxAggregateList& list, const ovx::BandTree& tree) : list_(list), tree_(tree) {}

  void Page() {
    for (TovxDataBand* band : tree_.top) DataBand(*band);
    for (TovxDataBand* band : tree_.vertical_top) DataBand(*band);
    if (tree_.top.empty()) return;
    TovxDataBand* first = tree_.top.front();
    Chain(tree_.page_footer, first);
    Chain(tree_.column_footer, first);
    Chain(tree_.summary, first);
  }

 private:
  void DataBand(TovxDataBand& band, int depth = 0) {
    if (depth > kMaxDepth) return;
    const ovx::DataBandLinks& links = tree_.Links(&band);
    Chain(links.footer, &band);
    for (TovxGroupHeader* group : links.groups) Chain(tree_.GroupFooter(group), &band);
    for (TovxDataBand* sub : links.sub_bands) DataBand(*sub, depth + 1);
    if (band.Vertical()) Chain(&band, &band);
  }

  // A vertical band's memos are its cells (objects of horizontal bands
  // within its width); a horizontal band's are its own but the cells it
  // lends, which count with their vertical band.
  void Chain(TovxBand* band, TovxDataBand* default_band) {
    std::vector<const TovxBand*> seen;
    while (band && std::find(seen.begin(), seen.end(), band) == seen.end()) {
      seen.push_back(band);
      if (band->Vertical()) {
        const auto cells = tree_.cells_of.find(band);
        if (cells != tree_.cells_of.end()) {
          for (TovxComponent* cell : cells->second) {
            Object(*cell, default_band);
            for (TovxComponent* object : cell->AllObjects()) Object(*object, default_band);
          }
        }
      }
      for (TovxComponent* object : band->AllObjects()) {
        if (!CellOf(*object)) Object(*object, default_band);
      }
      band = band->Child();
    }
  }

  void Object(TovxComponent& object, TovxDataBand* default_band) {
    if (auto* memo = dynamic_cast<TovxCustomMemoView*>(&object)) Memo(*memo, default_band);
  }

  // The vertical band whose cell holds `object` (the cell itself or an
  // object inside it); null for any other object.
  TovxBand* CellOf(const TovxComponent& object) const {
    if (tree_.cells.empty()) return nullptr;
    for (const TovxComponent* o = &object; o; o = o->Parent()) {
      const auto found = tree_.cells.find(o);
      if (found != tree_.cells.end()) return found->second;
      if (dynamic_cast<const TovxBand*>(o)) return nullptr;
    }
    return nullptr;
  }

  void Memo(TovxCustomMemoView& memo, TovxDataBand* default_band) {
    if (!memo.AllowExpressions()) return;
    const std::optional<ovx::ExpressionDelimiters> delimiters =
        ovx::ExpressionDelimiters::Parse(memo.ExpressionDelimiters());
    if (!delimiters) return;
    memo_ = &memo;
    default_band_ = default_band;
    budget_ = kScanBudget;
    const QString text = memo.Text();
    qsizetype i = 0;
    while (i < text.size()) {
      const qsizetype start = text.indexOf(delimiters->open, i);
      if (start < 0) break;
      const std::optional<qsizetype> end = ovx::FindExpressionEnd(text, start, *delimiters);
      if (!end) break;
      const qsizetype inner = start + delimiters->open.size();
      expanding_.clear();
      Parse(QStringView(text).mid(inner, *end - delimiters->close.size() - inner), 0);
      i = *end;
    }
  }

  // Whole text a variable: its value is parsed in its place. A variable
  // met again on the same path is not expanded (X = "X" or a cycle).
  bool ParseVariable(QStringView name, int depth) {
    const TovxVariables& variables = list_.report_.Variables();
    const int index = variables.IndexOf(name.toString());
    if (index < 0) return false;
    const QString key = name.toString().toCaseFolded();
    if (expanding_.contains(key) || depth >= kMaxDepth) return true;
    expanding_.insert(key);
    Parse(variables.Items(index).Value().toString(), depth + 1);
    expanding_.remove(key);
    return true;
  }

  static bool IsSkipped(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 128) return false;
    if (u >= 1 && u <= 32) return true;
    if (u >= '0' && u <= '9') return true;
    return QStringView(u"!#$%&*+,-./=[]^|").contains(c);
  }
  static bool EndsWord(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 128) return false;
    if (u >= 1 && u <= 32) return true;
    return QStringView(u"!#$%&(*+,-./=[]^|").contains(c);
  }

  void Parse(QStringView text, int depth) {
    if (depth > kMaxDepth || budget_ <= 0) return;
    budget_ -= text.size();
    if (ParseVariable(text.trimmed(), depth)) return;
    static const ovx::ExpressionDelimiters kParens{QStringLiteral("("), QStringLiteral(")")};
    static const ovx::ExpressionDelimiters kAngles{QStringLiteral("<"), QStringLiteral(">")};
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && budget_ > 0) {
      const QChar c = text[i];
      if (IsSkipped(c)) {
        ++i;
      } else if (c == u'"' || c == u'\'') {
        const qsizetype close = text.indexOf(c, i + 1);
        i = close < 0 ? n : close + 1;  // an open quote ends the scan
      } else if (c == u'(' || c == u'<') {
        const std::optional<qsizetype> end =
            ovx::FindExpressionEnd(text, i, c == u'(' ? kParens : kAngles);
        budget_ -= (end ? *end : n) - i;
        if (!end) {
          ++i;  // no match: the opener is one character
          continue;
        }
        Parse(text.mid(i + 1, *end - i - 2), depth + 1);
        i = *end;
      } else {
        const qsizetype start = i;
        while (i < n && !EndsWord(text[i])) ++i;
        if (i == start) {
          ++i;
          continue;
        }
        const QStringView word = text.mid(start, i - start);
        const QString upper = word.toString().toUpper();
        const bool aggregate = upper == u"SUM" || upper == u"MIN" || upper == u"MAX" ||
                               upper == u"AVG" || upper == u"COUNT";
        if (aggregate && i < n && text[i] == u'(') {
          i = Call(text, start, i, depth);
        } else {
          ParseVariable(word, depth);
        }
      }
    }
  }

  // Reads the arguments from the "(" at `open` and makes the item; answers
  // where the scan goes on.
  qsizetype Call(QStringView text, qsizetype start, qsizetype open, int depth) {
    int nesting = 1;
    bool in_single = false;
    bool in_double = false;
    QStringList arguments;
    qsizetype argument_start = open + 1;
    qsizetype i = open + 1;
    const qsizetype n = text.size();
    for (; i < n && nesting > 0; ++i) {
      const QChar c = text[i];
      if (c == u'\'' && !in_double) {
        in_single = !in_single;
      } else if (c == u'"' && !in_single) {
        in_double = !in_double;
      } else if (!in_single && !in_double) {
        if (c == u'(') {
          ++nesting;
        } else if (c == u')') {
          if (--nesting == 0)
            arguments.append(text.mid(argument_start, i - argument_start).toString());
        } else if (c == u',' && nesting == 1) {
          arguments.append(text.mid(argument_start, i - argument_start).toString());
          argument_start = i + 1;
        }
      }
    }
    budget_ -= i - open;
    if (nesting > 0) return open + 1;  // never closed: not a call
    while (arguments.size() > 3) arguments.removeLast();
    for (QString& argument : arguments) argument = argument.trimmed();
    MakeItem(text.mid(start, i - start).toString().trimmed(), text.mid(start, open - start),
             arguments);
    (void)depth;
    return i;
  }

  void MakeItem(const QString& call, QStringView name, QStringList arguments) {
    auto item = std::make_unique<TovxAggregateItem>();
    item->function = ovx::AggregateFunctionOf(name.toString());
    if (item->function == TovxAggregateFunction::kCount) arguments.prepend(QString());
    while (arguments.size() < 3) arguments.append(QString());
    item->expression = arguments[0];
    item->data_band = default_band_;
    if (!arguments[1].isEmpty()) {
      TovxDataBand* named = FindDataBand(arguments[1]);
      if (named) item->data_band = named;
    }
    const int flags = ovx::AggregateFlags(arguments[2]);
    item->count_invisible_rows = (flags & 1) != 0;
    item->dont_reset = (flags & 2) != 0;
    item->memo = memo_;
    item->memo_name = memo_->Name();
    item->call_text = call;
    for (TovxComponent* parent = memo_->Parent(); parent; parent = parent->Parent()) {
      if (auto* band = dynamic_cast<TovxBand*>(parent)) {
        item->parent_band = band;
        break;
      }
    }
    // A cell prints in its vertical band, unless it lends a total of a
    // footer or summary: it prints when that band is shown and resets with
    // it.
    if (TovxBand* vertical = CellOf(*memo_)) {
      TovxBand* holder = item->parent_band;
      const bool total =
          dynamic_cast<TovxReportSummary*>(holder) || dynamic_cast<TovxPageFooter*>(holder) ||
          dynamic_cast<TovxFooter*>(holder) || dynamic_cast<TovxGroupFooter*>(holder);
      if (!total) item->parent_band = vertical;
      item->per_column = item->data_band && !item->data_band->Vertical();
    }
    item->page_footer_item = dynamic_cast<TovxPageFooter*>(item->parent_band) != nullptr;
    item->Reset(true);
    list_.items_.push_back(std::move(item));
  }

  TovxDataBand* FindDataBand(const QString& name) const {
    return dynamic_cast<TovxDataBand*>(list_.report_.FindObject(name));
  }

  TovxAggregateList& list_;
  const ovx::BandTree& tree_;
  TovxCustomMemoView* memo_ = nullptr;
  TovxDataBand* default_band_ = nullptr;
  QSet<QString> expanding_;
  qsizetype budget_ = 0;
};

void TovxAggregateList::CollectPage(TovxReportPage& page, const ovx::BandTree& tree) {
  (void)page;
  Collector(*this, tree).Page();
}

void TovxAggregateList::TakeValues(TovxDataBand& band, int column) {
  for (const auto& owned : items_) {
    if (owned->data_band == &band) Take(*owned, band, column);
  }
}

void TovxAggregateList::TakeColumnValues(TovxDataBand& band, int column) {
  if (column < 1) return;
  for (const auto& owned : items_) {
    if (owned->data_band == &band && owned->per_column) Take(*owned, band, column);
  }
}

void TovxAggregateList::Take(TovxAggregateItem& item, TovxDataBand& band, int column) {
  if (!band.Visible() && !item.count_invisible_rows) return;
  item.has_taken_back = false;
  QVariant v;
  if (item.function != TovxAggregateFunction::kCount) {
    TovxComponent* saved = report_.CurrentObject();
    report_.SetCurrentObject(item.memo);
    struct Restore {
      TovxReport& report;
      TovxComponent* object;
      ~Restore() { report.SetCurrentObject(object); }
    } restore{report_, saved};
    v = RowValue(report_.Calc(item.expression, item.memo));
  }
  const bool counted = item.function != TovxAggregateFunction::kAvg || v.isValid();
  if (column >= 1 && column <= kMaxColumn) {
    Grow(item, column);
    const size_t c = static_cast<size_t>(column);
    if (counted) ++item.column_counts[c];
    ovx::CombineAggregate(item.function, item.column_values[c], v);
  } else if (item.keeping) {
    item.can_take_back = false;  // the last row is in the keep
    if (counted) ++item.keep_count;
    ovx::CombineAggregate(item.function, item.keep_value, v);
  } else {
    item.last_count = item.count;
    item.last_value = item.value;
    item.taken_back = v;
    item.can_take_back = true;
    if (counted) ++item.count;
    ovx::CombineAggregate(item.function, item.value, v);
  }
}

void TovxAggregateList::TakeBackLast(TovxDataBand& band) {
  for (const auto& item : items_) {
    if (item->data_band != &band || !item->can_take_back) continue;
    item->can_take_back = false;
    item->count = item->last_count;
    item->value = item->last_value;
    item->has_taken_back = true;
  }
}

void TovxAggregateList::RetakeLast(TovxDataBand& band) {
  for (const auto& item : items_) {
    if (item->data_band != &band || !item->has_taken_back) continue;
    item->has_taken_back = false;
    item->can_take_back = true;
    item->last_count = item->count;
    item->last_value = item->value;
    if (item->function != TovxAggregateFunction::kAvg || item->taken_back.isValid()) ++item->count;
    ovx::CombineAggregate(item->function, item->value, item->taken_back);
  }
}

QVariant TovxAggregateList::ValueOf(const QString& function, const QString& expression,
                                    TovxBand* band, int flags, TovxBand* current_band, int column,
                                    const TovxComponent* memo) {
  const TovxAggregateFunction code = ovx::AggregateFunctionOf(function);
  const QString trimmed = expression.trimmed();
  // The same call in two memos of a band (one a cell of a vertical band,
  // totalling its column) has an item for each: the memo's own answers.
  TovxAggregateItem* found = nullptr;
  for (const auto& item : items_) {
    if (item->parent_band != current_band || item->function != code) continue;
    if (item->expression.compare(trimmed, Qt::CaseInsensitive) != 0) continue;
    if (band && item->data_band != band) continue;
    if (item->count_invisible_rows != ((flags & 1) != 0)) continue;
    if (item->dont_reset != ((flags & 2) != 0)) continue;
    if (!found) found = item.get();
    if (!memo || item->memo == memo) {
      found = item.get();
      break;
    }
  }
  if (!found) return QVariant();
  found->column = column;
  return found->Result();
}

void TovxAggregateList::ResetOnBand(TovxBand& band) {
  for (const auto& item : items_) {
    if (item->parent_band == &band) item->Reset(false);
  }
}

void TovxAggregateList::BeginKeepSnapshot() {
  for (const auto& item : items_) {
    if (!item->page_footer_item || item->keeping) continue;
    item->keeping = true;
    item->keep_count = 0;
    item->keep_value = QVariant();
  }
}

void TovxAggregateList::EndKeepSnapshot() {
  for (const auto& item : items_) {
    if (!item->page_footer_item || !item->keeping) continue;
    item->keeping = false;
    item->count += item->keep_count;
    ovx::CombineAggregate(item->function, item->value, item->keep_value);
    item->keep_count = 0;
    item->keep_value = QVariant();
  }
}

void TovxAggregateList::ClearAllValues() {
  for (const auto& item : items_) {
    item->Reset(true);
    item->keeping = false;
    item->keep_count = 0;
    item->keep_value = QVariant();
    item->last_count = 0;
    item->last_value = QVariant();
    item->has_taken_back = false;
  }
}
