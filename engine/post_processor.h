// The post-processor: values of views that are filled in after they were
// placed on a prepared page.
//
// A view whose Processing waits for a later point of the run (the end of
// its group, data band, page, column or report), or a memo whose repeated
// values are merged, cleared or hidden, is filed here when the store adds
// it to a page: its value goes into the value list of its name
// (TovxMacrosItem) and the page keeps only the entry index. Lists that wait
// for an event sit in the pending list until the engine reports that event
// (ProcessEvent); then the template view is evaluated again and its newest
// entry takes the result. When a page is rebuilt, each view takes its entry
// back (RestoreView) and repeats are merged, cleared or hidden within that
// page (ResetRunState after each page).
//
// The lists are saved in the prepared report's "postprocessing" element.
// Reading it treats the file as hostile: lists without a name or with a
// name seen before are skipped and reported; indexes stored in page texts
// are checked when a view takes its value (memo_view_deferred.cpp).
//
// Pointers to template views (base objects) and to views of a rebuilt page
// (last views) live only as long as a run or a rebuild: EndRun and
// ResetRunState drop them.
//
// Scripts reach the post-processor (the engine's GetPostProcessor) and a
// value list as a list of lines (GetMacroList) through script handles:
// both are objects of their own that die with the store's contents or the
// list, so a script that keeps one past a Clear meets an invalid reference
// rather than freed memory.
#pragma once

#include "report/model/deferred_values.h"
#include "report/model/view.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class TovxMacrosItem;
class TovxPostProcessor;
class TovxXMLItem;

// A value list's entries as scripts see them: one line per entry, any text
// readable and writable. The positions are the indexes stored on prepared
// pages, so a script may append but never insert, delete or clear: that
// would point every page after it at another value.
class TovxMacroList final : public ovx::Persistent {
  OVX_META_CLASS

 public:
  explicit TovxMacroList(TovxMacrosItem& list) : list_(list) {}
  TovxMacrosItem& List() const { return list_; }

 private:
  TovxMacrosItem& list_;
};

// The value list of one view name.
class TovxMacrosItem final : public ovx::DeferredValueList {
 public:
  TovxMacrosItem(TovxPostProcessor& owner, QString name, TovxProcessAtMode process_at,
                 TovxView* base, int group_level, int data_level);

  int Count() const override { return static_cast<int>(entries_.size()); }
  QString Entry(int index) const override;
  void SetEntry(int index, const QString& text) override;
  int LastIndex() const override { return last_index_; }
  void SetLastIndex(int index) override { last_index_ = index; }
  TovxView* LastView() const override { return last_view_; }
  void SetLastView(TovxView* view) override { last_view_ = view; }

  const QString& Name() const { return name_; }
  TovxProcessAtMode ProcessAt() const { return process_at_; }
  // The template view evaluated again; none after the run and for lists
  // read from a file.
  TovxView* BaseObject() const { return base_; }
  int GroupLevel() const { return group_level_; }
  int DataLevel() const { return data_level_; }
  const QString& BandName() const { return band_name_; }
  // Every entry's text, ready or not (what scripts see).
  QStringList Entries() const;
  bool Ready(int index) const;
  // Entry `index` (0 <= index < Count()) as stored, ready or not.
  const QString& Text(int index) const { return entries_[static_cast<size_t>(index)].text; }
  // Appends a ready entry and answers its index.
  int Append(const QString& text);
  // The list as a script object; made on first use, it dies with the list.
  TovxMacroList& ScriptList();

 private:
  friend class TovxPostProcessor;
  struct Value {
    QString text;
    bool ready = true;
  };

  TovxPostProcessor& owner_;
  QString name_;
  TovxProcessAtMode process_at_;
  TovxView* base_;
  int group_level_;
  int data_level_;
  QString band_name_;
  std::vector<Value> entries_;
  int last_index_ = -1;
  TovxView* last_view_ = nullptr;
  bool restart_ = false;
  std::unique_ptr<TovxMacroList> script_list_;
};

class TovxPostProcessor final : public ovx::DeferredProcessor, public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxPostProcessor() = default;
  TovxPostProcessor(const TovxPostProcessor&) = delete;
  TovxPostProcessor& operator=(const TovxPostProcessor&) = delete;

  // Frees every list, empties the pending list, levels := 0.
  void Clear();
  // After a run: lists still pending never get their event (their entries
  // stay empty) and the template views are no longer known.
  void EndRun();

  // --- filing and rebuilding (the store) ---------------------------------------------
  int Register(const QString& band_name, const QString& memo_name, bool compare_with_last,
               TovxView& view, TovxProcessAtMode process_at, const QString& text) override;
  // Appends a ready entry to the list of `memo_name` and answers its
  // index; -1 when there is no such list. For a view of a rebuilt page
  // whose changed text is stored again: its item must keep holding an
  // index, or a numeric text would later be read as one.
  int AddEntry(const QString& memo_name, const QString& text);
  // A view of a rebuilt page takes its value; true when the page drops it.
  // Views without a name are never filed, so they keep their text.
  bool RestoreView(TovxView& view);
  // Repeats are compared within one rebuilt page.
  void ResetRunState();

  // --- the run (the engine) ------------------------------------------------------------
  // Evaluates the pending lists that wait for `event` at the current
  // levels; paGroupFinished then ends the group level.
  void ProcessEvent(TovxProcessAtMode event);
  // Evaluates now the pending list whose template view is `object`; false
  // when none waits.
  bool ProcessObject(const TovxView& object);
  // The next value of the lists filed from band `band_name` (of every list
  // when empty) never shares the previous entry.
  void MarkBandRestart(const QString& band_name);
  void GroupStarted() { ++group_level_; }
  void GroupEnded();
  void DataStarted() { ++data_level_; }
  void DataEnded();
  int GroupLevel() const { return group_level_; }
  int DataLevel() const { return data_level_; }
  bool Processing() const { return processing_; }
  // Runs a view's OnAfterData event while it is evaluated late; the engine
  // sets it for the time of a run.
  std::function<void(TovxView&)> after_data;
  void AfterData(TovxView& view) override;

  // --- queries ---------------------------------------------------------------------------
  // The list of `memo_name` (ignoring case), or null.
  const TovxMacrosItem* Find(const QString& memo_name) const;
  TovxMacrosItem* Find(const QString& memo_name);
  int ListCount() const { return static_cast<int>(lists_.size()); }
  int PendingCount() const { return static_cast<int>(pending_.size()); }

  // --- the prepared report file -----------------------------------------------------------
  // One child per list (in name order) named by the view name, holding an
  // "i" element per entry with the text in "cnt". An entry still waiting is
  // written empty, as it shows.
  void WriteTo(TovxXMLItem& element) const;
  // Adds the lists of `element`, every entry ready; bad lists are skipped
  // and reported in `errors`.
  void ReadFrom(const TovxXMLItem& element, QStringList& errors);

 private:
  struct Pending {
    TovxMacrosItem* list;
    quint64 serial;
  };
  bool Qualifies(const TovxMacrosItem& list, TovxProcessAtMode event) const;
  void Process(TovxMacrosItem& list);
  static QString Key(const QString& name) { return name.toCaseFolded(); }

  std::map<QString, std::unique_ptr<TovxMacrosItem>> lists_;
  std::vector<Pending> pending_;
  quint64 next_serial_ = 0;
  int group_level_ = 0;
  int data_level_ = 0;
  bool processing_ = false;
};
