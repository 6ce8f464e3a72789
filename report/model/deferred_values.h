// How views reach the post-processor that fills their text after the run.
//
// A view whose value is known only later (a page total shown in the page
// header, "page N of M" done by values) or whose repeated values are merged,
// cleared or hidden does not keep its text on the prepared page: it keeps
// an index into a list of values that the engine's post-processor holds per
// view name. The object model cannot see engine types, so views talk to it
// through these two narrow interfaces, as they reach the scripting engine
// through ExpressionEvaluator.
#pragma once

#include <QString>

class TovxComponent;
class TovxView;
enum class TovxProcessAtMode;

namespace ovx {

// The values registered under one view name.
class DeferredValueList {
 public:
  virtual ~DeferredValueList() = default;
  virtual int Count() const = 0;
  // Entry `index` (0 <= index < Count()); an entry still waiting for its
  // event reads as empty text, except while the post-processor evaluates.
  virtual QString Entry(int index) const = 0;
  // Replaces entry `index` and marks it ready; nothing outside the entries.
  virtual void SetEntry(int index, const QString& text) = 0;
  // The entry a view of the page being rebuilt showed last (-1: none yet)
  // and the first view that showed it, for merging repeated values.
  virtual int LastIndex() const = 0;
  virtual void SetLastIndex(int index) = 0;
  virtual TovxView* LastView() const = 0;
  virtual void SetLastView(TovxView* view) = 0;
};

class DeferredProcessor {
 public:
  virtual ~DeferredProcessor() = default;
  // Adds `text` to the list of `memo_name` (made on first use) and answers
  // the entry index the view stores instead of its text. With
  // `compare_with_last`, a text equal to the list's last entry shares it.
  virtual int Register(const QString& band_name, const QString& memo_name, bool compare_with_last,
                       TovxView& view, TovxProcessAtMode process_at, const QString& text) = 0;
  // Runs the view's OnAfterData script event while it is evaluated late.
  virtual void AfterData(TovxView& view) = 0;
};

}  // namespace ovx
