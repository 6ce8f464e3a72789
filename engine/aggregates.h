// Totals over data bands: SUM, AVG, MIN, MAX and COUNT in the texts of
// footers, summaries and page footers.
//
// Design: before a run CollectPage finds every aggregate call in the memos
// of the bands that can print one and makes an item for it; the engine
// then feeds each item the rows of its data band (TakeValues), resets the
// items of a band after it is shown (ResetOnBand), and the expression
// evaluator answers a call from the item of the band being printed
// (ValueOf). Only the first pass of a call's text is trusted: variables and
// brackets are expanded with a depth bound and a guard against variables
// that name themselves, since templates are outside input.
//
// Keeping: rows taken while a keep is open count apart in the page-footer
// items until the keep ends, so rows that move with it to the next page
// count on that page. A footer kept with the last row (KeepFooter) takes
// that row back before the break and again after it.
#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class TovxBand;
class TovxComponent;
class TovxCustomMemoView;
class TovxDataBand;
class TovxReport;
class TovxReportPage;

namespace ovx {
struct BandTree;
}

enum class TovxAggregateFunction { kSum = 0, kAvg = 1, kMin = 2, kMax = 3, kCount = 4 };

class TovxAggregateItem {
 public:
  TovxAggregateFunction function = TovxAggregateFunction::kCount;
  TovxDataBand* data_band = nullptr;
  bool count_invisible_rows = false;
  bool dont_reset = false;
  QString expression;
  bool page_footer_item = false;
  // Per vertical column from index 1; empty until the first vertical row.
  std::vector<QVariant> column_values;
  std::vector<int> column_counts;
  int count = 0;
  QVariant value;
  bool keeping = false;
  int last_count = 0;
  QVariant last_value;
  // The last row may be taken back (no reset since it was taken), and the
  // row the last TakeBackLast took away, to be taken again.
  bool can_take_back = false;
  bool has_taken_back = false;
  QVariant taken_back;
  TovxCustomMemoView* memo = nullptr;
  QString memo_name;
  QString call_text;
  TovxBand* parent_band = nullptr;
  // The call prints in a cell of a vertical band over a horizontal data
  // band's rows: a total per vertical column (TakeColumnValues).
  bool per_column = false;
  int keep_count = 0;
  QVariant keep_value;
  int column = 0;

  void Reset(bool force);
  // The result for ValueOf; Null when nothing was taken.
  QVariant Result() const;
};

class TovxAggregateList {
 public:
  explicit TovxAggregateList(TovxReport& report) : report_(report) {}

  void Clear() { items_.clear(); }
  // Finds the aggregate calls of `page`, whose band tree is `tree`.
  void CollectPage(TovxReportPage& page, const ovx::BandTree& tree);
  // Every item fed by `band` takes the current row; `column` above 0 is
  // the vertical column the row fills.
  void TakeValues(TovxDataBand& band, int column = 0);
  // While vertical bands fill the cells of `band`'s row: the per-column
  // items fed by `band` take the row for vertical column `column` (from 1).
  // Other items of `band` are left alone, as their footers print no column.
  void TakeColumnValues(TovxDataBand& band, int column);
  // Every item fed by `band` goes back to its count and value before the
  // last row; RetakeLast gives that row back.
  void TakeBackLast(TovxDataBand& band);
  void RetakeLast(TovxDataBand& band);
  // The result of a call printed in `current_band`; Null when no item
  // matches. `band` (optional) must be the item's data band; the flag bits
  // must equal the item's. Of several matching items, the one of `memo`
  // (the memo being printed) answers, else the first.
  QVariant ValueOf(const QString& function, const QString& expression, TovxBand* band, int flags,
                   TovxBand* current_band, int column, const TovxComponent* memo = nullptr);
  // Resets the items printed in `band`.
  void ResetOnBand(TovxBand& band);
  void BeginKeepSnapshot();
  void EndKeepSnapshot();
  // Resets every item, running totals included (before a second pass).
  void ClearAllValues();

  int Count() const { return static_cast<int>(items_.size()); }
  const TovxAggregateItem& Items(int index) const { return *items_[static_cast<size_t>(index)]; }

 private:
  class Collector;
  void Take(TovxAggregateItem& item, TovxDataBand& band, int column);
  TovxReport& report_;
  std::vector<std::unique_ptr<TovxAggregateItem>> items_;
};

namespace ovx {

// The function code of a name (SUM, AVG, MIN, MAX, else COUNT), ignoring
// case and blanks around it.
TovxAggregateFunction AggregateFunctionOf(const QString& name);
// Bit 0 and 1 of a flags text: its integer value; 0 when empty or not an
// integer.
int AggregateFlags(const QString& text);
// Combines `v` into `stored` as `function` does; Null values change nothing.
void CombineAggregate(TovxAggregateFunction function, QVariant& stored, const QVariant& v);

}  // namespace ovx
