// The post-processor's lists, the pending walk and the file element.
#include "engine/post_processor.h"

#include "report/model/memo_view.h"
#include "report/storage/xml_item.h"

#include <algorithm>

// --- value list ----------------------------------------------------------------------

TovxMacrosItem::TovxMacrosItem(TovxPostProcessor& owner, QString name, TovxProcessAtMode process_at,
                               TovxView* base, int group_level, int data_level)
    : owner_(owner),
      name_(std::move(name)),
      process_at_(process_at),
      base_(base),
      group_level_(group_level),
      data_level_(data_level) {}

QString TovxMacrosItem::Entry(int index) const {
  if (index < 0 || index >= Count()) return {};
  const Value& value = entries_[static_cast<size_t>(index)];
  return value.ready || owner_.Processing() ? value.text : QString();
}

void TovxMacrosItem::SetEntry(int index, const QString& text) {
  if (index < 0 || index >= Count()) return;
  entries_[static_cast<size_t>(index)] = {text, true};
}

bool TovxMacrosItem::Ready(int index) const {
  return index >= 0 && index < Count() && entries_[static_cast<size_t>(index)].ready;
}

int TovxMacrosItem::Append(const QString& text) {
  entries_.push_back({text, true});
  return Count() - 1;
}

TovxMacroList& TovxMacrosItem::ScriptList() {
  if (!script_list_) script_list_ = std::make_unique<TovxMacroList>(*this);
  return *script_list_;
}

// Scripts declare the list as a TWideStrings, the class of a memo's lines;
// its own class keeps the members that would move its positions away.
const ovx::MetaClass& TovxMacroList::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TovxMacroList"),
                                   &TovxMemoLines::StaticMetaClass(), {}, nullptr);
  return meta;
}

QStringList TovxMacrosItem::Entries() const {
  QStringList texts;
  texts.reserve(Count());
  for (const Value& value : entries_) texts << value.text;
  return texts;
}

// --- post-processor ----------------------------------------------------------------------

const ovx::MetaClass& TovxPostProcessor::StaticMetaClass() {
  static const ovx::MetaClass meta(QStringLiteral("TovxPostProcessor"), nullptr, {}, nullptr);
  return meta;
}

void TovxPostProcessor::Clear() {
  pending_.clear();
  lists_.clear();
  group_level_ = 0;
  data_level_ = 0;
}

void TovxPostProcessor::EndRun() {
  pending_.clear();
  for (auto& [key, list] : lists_) list->base_ = nullptr;
  group_level_ = 0;
  data_level_ = 0;
}

int TovxPostProcessor::Register(const QString& band_name, const QString& memo_name,
                                bool compare_with_last, TovxView& view,
                                TovxProcessAtMode process_at, const QString& text) {
  std::unique_ptr<TovxMacrosItem>& slot = lists_[Key(memo_name)];
  if (!slot) {
    slot = std::make_unique<TovxMacrosItem>(*this, memo_name, process_at, &view, group_level_,
                                            data_level_);
  }
  TovxMacrosItem& list = *slot;
  // A list read from a file, or kept from an earlier run, meets its view
  // again; a list that waits evaluates the view that filed its value.
  if (!list.base_ || process_at != TovxProcessAtMode::paDefault) list.base_ = &view;
  if (!band_name.isEmpty() && list.band_name_.isEmpty()) list.band_name_ = band_name;
  if (compare_with_last && !list.entries_.empty() && !list.restart_ &&
      list.entries_.back().text == text) {
    return list.Count() - 1;
  }
  list.entries_.push_back({text, process_at == TovxProcessAtMode::paDefault});
  list.restart_ = false;
  if (process_at != TovxProcessAtMode::paDefault &&
      (pending_.empty() || pending_.back().list != &list)) {
    pending_.push_back({&list, ++next_serial_});
  }
  return list.Count() - 1;
}

int TovxPostProcessor::AddEntry(const QString& memo_name, const QString& text) {
  TovxMacrosItem* list = Find(memo_name);
  return list ? list->Append(text) : -1;
}

bool TovxPostProcessor::RestoreView(TovxView& view) {
  if (view.Name().isEmpty()) return false;
  const auto it = lists_.find(Key(view.Name()));
  return it != lists_.end() && view.RestoreDeferred(*it->second);
}

void TovxPostProcessor::ResetRunState() {
  for (auto& [key, list] : lists_) {
    list->last_index_ = -1;
    list->last_view_ = nullptr;
  }
}

void TovxPostProcessor::MarkBandRestart(const QString& band_name) {
  for (auto& [key, list] : lists_) {
    if (band_name.isEmpty() || list->band_name_.compare(band_name, Qt::CaseInsensitive) == 0) {
      list->restart_ = true;
    }
  }
}

void TovxPostProcessor::GroupEnded() { group_level_ = std::max(group_level_ - 1, 0); }

void TovxPostProcessor::DataEnded() { data_level_ = std::max(data_level_ - 1, 0); }

void TovxPostProcessor::AfterData(TovxView& view) {
  if (after_data) after_data(view);
}

bool TovxPostProcessor::Qualifies(const TovxMacrosItem& list, TovxProcessAtMode event) const {
  if (list.process_at_ != event) return false;
  switch (event) {
    case TovxProcessAtMode::paDataFinished:
      return list.data_level_ == data_level_;
    case TovxProcessAtMode::paGroupFinished: {
      const int level = list.base_ ? list.base_->Processing().GroupLevel() : 0;
      return level == group_level_ || (level == 0 && list.group_level_ == group_level_);
    }
    default:
      return true;
  }
}

void TovxPostProcessor::Process(TovxMacrosItem& list) {
  if (list.base_) list.base_->ProcessDeferred(list, *this);
}

namespace {

// Sets the processing flag for a walk and gives the former value back on
// every way out, exceptions from scripts included.
class ProcessingMark {
 public:
  explicit ProcessingMark(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ProcessingMark(const ProcessingMark&) = delete;
  ProcessingMark& operator=(const ProcessingMark&) = delete;
  ~ProcessingMark() { flag_ = saved_; }

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

// Evaluating a list runs script code (OnAfterData, expressions) that may
// show bands and so file new values, process lists itself or clear the
// store's run state. The walk therefore goes over a copy of the pending
// list taken at its start, and takes out only the occurrences of a list
// that were pending then: a value filed while it runs waits for the next
// event.
void TovxPostProcessor::ProcessEvent(TovxProcessAtMode event) {
  const ProcessingMark mark(processing_);
  const std::vector<Pending> walk = pending_;
  const quint64 walk_end = next_serial_;
  std::vector<const TovxMacrosItem*> done;
  for (const Pending& item : walk) {
    TovxMacrosItem* list = item.list;
    if (std::find(done.begin(), done.end(), list) != done.end()) continue;
    if (!Qualifies(*list, event)) continue;
    const auto before_walk = [&](const Pending& p) {
      return p.list == list && p.serial <= walk_end;
    };
    // Processed meanwhile by a script (ProcessObject)?
    if (std::none_of(pending_.begin(), pending_.end(), before_walk)) continue;
    done.push_back(list);
    std::erase_if(pending_, before_walk);
    Process(*list);
  }
  if (event == TovxProcessAtMode::paGroupFinished) GroupEnded();
}

bool TovxPostProcessor::ProcessObject(const TovxView& object) {
  const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) {
    return p.list->base_ == &object && p.list->process_at_ != TovxProcessAtMode::paDefault;
  });
  if (it == pending_.end()) return false;
  TovxMacrosItem* list = it->list;
  std::erase_if(pending_, [&](const Pending& p) { return p.list == list; });
  const ProcessingMark mark(processing_);
  Process(*list);
  return true;
}

const TovxMacrosItem* TovxPostProcessor::Find(const QString& memo_name) const {
  const auto it = lists_.find(Key(memo_name));
  return it == lists_.end() ? nullptr : it->second.get();
}

TovxMacrosItem* TovxPostProcessor::Find(const QString& memo_name) {
  const auto it = lists_.find(Key(memo_name));
  return it == lists_.end() ? nullptr : it->second.get();
}

void TovxPostProcessor::WriteTo(TovxXMLItem& element) const {
  element.Clear();
  for (const auto& [key, list] : lists_) {
    if (list->name_.isEmpty()) continue;
    TovxXMLItem* child = element.Add();
    child->SetName(list->name_.toUtf8());
    for (const TovxMacrosItem::Value& value : list->entries_) {
      TovxXMLItem* item = child->Add();
      item->SetName("i");
      item->SetProp("cnt", value.ready ? value.text.toUtf8() : QByteArray());
    }
  }
}

void TovxPostProcessor::ReadFrom(const TovxXMLItem& element, QStringList& errors) {
  for (int i = 0; i < element.Count(); ++i) {
    const TovxXMLItem& child = *element.Items(i);
    const QString name = QString::fromUtf8(child.Name());
    std::unique_ptr<TovxMacrosItem>& slot = lists_[Key(name)];
    if (name.isEmpty() || slot) {
      errors << QStringLiteral("Bad post-processing list %1").arg(name);
      if (!slot) lists_.erase(Key(name));
      continue;
    }
    slot =
        std::make_unique<TovxMacrosItem>(*this, name, TovxProcessAtMode::paDefault, nullptr, 0, 0);
    slot->entries_.reserve(static_cast<size_t>(child.Count()));
    for (int j = 0; j < child.Count(); ++j) {
      slot->entries_.push_back({QString::fromUtf8(child.Items(j)->Prop("cnt")), true});
    }
  }
}
