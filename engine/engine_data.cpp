// Data-band loops and groups (see engine.h).
#include "base/rounding.h"
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

namespace {

constexpr double kEpsilon = 0.0001;
// Data bands nest six deep at most; deeper recursion means a damaged tree.
constexpr int kMaxNesting = 16;

// Group values: Null equals Null; values of different types differ.
bool SameGroupValue(const QVariant& a, const QVariant& b) {
  if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
  if (a.metaType() != b.metaType()) return false;
  return a == b;
}

}  // namespace

// Only a Boolean true lets a record through.
bool TovxEngine::PassesFilter(TovxDataBand& band) {
  const QString filter = band.Filter().trimmed();
  if (filter.isEmpty()) return true;
  report_.SetCurrentObject(&band);
  const QVariant value = report_.Calc(filter, &band);
  report_.SetCurrentObject(nullptr);
  return value.metaType().id() == QMetaType::Bool && value.toBool();
}

// Whether the current record of `band` has data in its detail bands, as
// PrintIfDetailEmpty asks (always, without detail bands or with the flag).
bool TovxEngine::HasDetailData(TovxDataBand& band, int depth) {
  if (band.PrintIfDetailEmpty()) return true;
  const std::vector<TovxDataBand*>& subs = data_tree_->Links(&band).sub_bands;
  if (subs.empty() || depth > kMaxNesting) return true;
  for (TovxDataBand* sub : subs) {
    CallScript(sub->OnMasterDetail(), *sub);
    TovxDataSet* data_set = ovx::BandDataSet(*sub);
    if (!data_set) continue;
    data_set->First();
    while (!data_set->Eof() && !report_.Terminated()) {
      if (HasDetailData(*sub, depth + 1)) return true;
      data_set->Next();
    }
  }
  return false;
}

bool TovxEngine::PageHasData(TovxReportPage& page) {
  for (TovxDataBand* band : trees_[&page].top) {
    TovxDataSet* data_set = ovx::BandDataSet(*band);
    if (!data_set) continue;
    const ovx::BandTree* saved_tree = data_tree_;
    data_tree_ = &trees_[&page];
    data_set->First();
    bool found = false;
    while (!found && !data_set->Eof() && !report_.Terminated()) {
      found = HasDetailData(*band);
      data_set->Next();
    }
    data_tree_ = saved_tree;
    if (found) return true;
  }
  return false;
}

void TovxEngine::RunDataBands(const std::vector<TovxDataBand*>& bands) {
  if (bands.empty()) return;
  for (TovxDataBand* band : bands) {
    if (!KeepGoing()) return;
    if (TovxDataSet* data_set = ovx::BandDataSet(*band)) RunDataBand(*band, *data_set);
  }
}

bool TovxEngine::AddOutline(TovxBand& band) {
  if (band.OutlineText().isEmpty()) return false;
  report_.SetCurrentObject(&band);
  const QString text = report_.Calc(band.OutlineText(), &band).toString();
  report_.SetCurrentObject(nullptr);
  double top = cur_y_ - last_band_height_;
  // A record beside others in its row: the row's top (the row goes back
  // up for the next column).
  if (auto* data = dynamic_cast<TovxDataBand*>(&band); data && data->Columns() > 1) {
    const BandRun& run = band_runs_[data];
    if (run.row_page == pages_.CurPage()) top = run.row_top;
  }
  pages_.Outline().AddItem(text, static_cast<int>(ovx::Round(top)));
  return true;
}

void TovxEngine::RunDataBand(TovxDataBand& band, TovxDataSet& data_set) {
  const ovx::DataBandLinks& links = data_tree_->Links(&band);
  BandRun& run = band_runs_[&band];  // element references survive rehashing
  run = BandRun();
  run.details_in_column = band.Columns() > 1 && !links.sub_bands.empty();
  for (TovxComponent* object : band.Objects()) {
    if (auto* memo = dynamic_cast<TovxCustomMemoView*>(object)) memo->ResetSuppressRepeated();
  }
  pages_.PostProcessor().MarkBandRestart(band.Name());
  // Footers of this band, shown below, still belong to its level.
  const DataLevel level(pages_);
  const int limit = band.RowCount();
  int shown = 0;
  // Where the last record began, for a footer kept with it.
  int record_page = -1;
  OutputMark record;
  data_set.First();
  while (!data_set.Eof() && !report_.Terminated() && (limit <= 0 || shown < limit)) {
    if (!PassesFilter(band) || !HasDetailData(band)) {
      data_set.Next();
      continue;
    }
    TovxHeader* header = links.header;
    if (shown == 0) {
      if (header) {
        if (band.KeepHeader()) StartKeep(header);
        if (header->ReprintOnNewPage()) AddHeader(header);
        ShowBand(header);
      }
      ShowGroupHeaders(band, 0, true);
      if (band.KeepTogether()) StartKeep(&band);
    } else if (!links.groups.empty()) {
      CheckGroups(band, data_set);
    } else if (band.KeepTogether()) {
      StartKeep(&band);
    }
    record_page = pages_.CurPage();
    record = MarkOutput();
    cur_line_ = run.line;
    cur_line_through_ = run.line_through;
    const bool collapsed = GroupsCollapsed(band, links.groups.size());
    if (collapsed) {
      // Hidden records still count in the group's totals.
      aggregates_->AddValue(band);
    } else {
      ShowBand(&band);
    }
    // The header stays with the first record only, unless the footer is
    // kept with them too.
    if (shown == 0 && header && !band.KeepFooter()) EndKeep(header);
    for (TovxGroupHeader* group : links.groups) ++group_runs_[group].rows;
    ++run.line;
    ++run.line_through;
    ++shown;
    const bool outlined = !collapsed && AddOutline(band);
    if (!collapsed) {
      if (run.next_column_due) {
        RunColumnDetails(band, links.sub_bands);
      } else {
        RunDataBands(links.sub_bands);
      }
    }
    if (outlined) pages_.Outline().LevelUp();
    if (links.groups.empty()) EndKeep(&band);
    if (band.FooterAfterEach()) ShowKeptFooter(band, record_page, record);
    data_set.Next();
  }
  FinishDataRow(band);
  if (shown > 0) {
    ShowGroupFooters(band, 0);
    if (!band.FooterAfterEach()) ShowKeptFooter(band, record_page, record);
    RemoveHeader(links.header);
  }
  EndKeep(links.header);
  EndKeep(&band);
  RunCountedChild(band, shown);
}

void TovxEngine::RunColumnDetails(TovxDataBand& band, const std::vector<TovxDataBand*>& details) {
  BandRun& run = band_runs_[&band];
  run.next_column_due = false;
  MoveRowBeforeDetails(band);
  const int page = pages_.CurPage();
  const int column = cur_column_;
  const double x = cur_x_;
  cur_x_ += (run.placed_column - 1) * (band.ColumnWidth() + band.ColumnGap());
  RunDataBands(details);
  if (page == pages_.CurPage() && column == cur_column_) {
    cur_x_ = x;
    NextDataColumn(band);
    return;
  }
  // The details ran on over a break: the row ends with them, and the next
  // record opens a row where they end.
  run.column = 1;
  run.row_page = -1;
}

// A record that runs past the page's end would leave its details on the
// next page: its row (open, as more records may join it) moves there first,
// unless it opened its page (it would run over there too).
void TovxEngine::MoveRowBeforeDetails(TovxDataBand& band) {
  BandRun& run = band_runs_[&band];
  if (run.row_page < 0 || run.row_page != pages_.CurPage() || Collecting()) return;
  if ((page_ && page_->EndlessHeight()) || page_height_ - FooterHeight() - cur_y_ >= -kEpsilon) {
    return;
  }
  const bool opened_page = pages_.CurPage() == body_start_page_ &&
                           cur_column_ == body_start_column_ &&
                           run.row_position <= body_start_position_;
  if (opened_page) return;
  current_band_ = &band;
  const double height = cur_y_ - run.row_top;
  const double bottom = run.row_bottom - run.row_top;
  if (keep_.band && keep_.position <= run.row_position && KeptPartFits(height)) {
    // The kept part holds the row and moves with it; the row is closed.
    NewColumn();
    run.column = 1;
    run.row_page = -1;
    return;
  }
  DropKeep();
  pages_.CutObjects(run.row_position);
  NewColumn();
  const double y = cur_y_;
  run.row_page = pages_.CurPage();
  run.row_position = pages_.ObjectPosition();
  run.row_top = y;
  run.row_bottom = y + bottom;
  pages_.PasteObjects(cur_x_, y);
  cur_y_ = y + height;
}

// With KeepFooter the footer stays with the last record: the keep starts
// where that record began, when it is still on this page.
void TovxEngine::ShowKeptFooter(TovxDataBand& band, int page, const OutputMark& record) {
  TovxFooter* footer = data_tree_->Links(&band).footer;
  if (!footer) return;
  bool keep = band.KeepFooter() && page == pages_.CurPage();
  if (keep) {
    if (keep_.band && (keep_.band == data_tree_->Links(&band).header || keep_.band == &band)) {
      // The header's or the record's keep goes on until the footer.
      keep_.band = footer;
    } else if (!keep_.band) {
      StartKeep(footer, &record);
    } else {
      keep = false;  // an outer keep holds the footer already
    }
  }
  ShowBand(footer);
  if (keep) EndKeep(footer);
}

// A child repeated after the records: up to ToNRows lines in all, or
// until the page is full. A child that takes no space never fills it.
void TovxEngine::RunCountedChild(TovxDataBand& band, int rows) {
  TovxBand* child_band = band.Child();
  if (!child_band || !IsCountedChild(*child_band)) return;
  auto& child = static_cast<TovxChild&>(*child_band);
  const bool till_page_ends = child.ToNRowsMode() == TovxToNRowsMode::rmTillPageEnds;
  if (till_page_ends && (!child.Visible() || child.Height() <= kEpsilon)) return;
  // Collected output has no page end to fill up to.
  if (till_page_ends && Collecting()) return;
  for (int child_rows = 0; KeepGoing(); ++child_rows) {
    if (!till_page_ends && rows + child_rows >= child.ToNRows()) return;
    const double y = cur_y_;
    const int page = pages_.CurPage();
    if (!ShowOneBand(child)) return;
    if (till_page_ends &&
        (!child.Visible() || (page == pages_.CurPage() && cur_y_ - y <= kEpsilon))) {
      return;
    }
    if (child.Visible() || child.PrintChildIfInvisible()) {
      TovxBand* next = child.Child();
      if (next && !IsCountedChild(*next)) ShowBand(next);
    }
  }
}

// Line numbers of a group shown again: the group whose value changed counts
// on, the groups inside it start over, and the first record starts them all.
void TovxEngine::StartGroupLine(GroupRun& run, bool first_record, bool changed) {
  if (first_record) {
    run.line = 1;
    run.line_through = 1;
  } else if (changed) {
    ++run.line;
    ++run.line_through;
  } else {
    run.line = 1;
    ++run.line_through;
  }
  run.rows = 0;
}

void TovxEngine::ShowGroupHeaders(TovxDataBand& band, size_t from, bool first_record) {
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = from; i < groups.size(); ++i) {
    TovxGroupHeader* group = groups[i];
    GroupRun& run = group_runs_[group];
    StartGroupLine(run, first_record, i == from);
    cur_line_ = run.line;
    cur_line_through_ = run.line_through;
    report_.SetCurrentObject(group);
    run.value = report_.Calc(group->Condition(), group);
    report_.SetCurrentObject(nullptr);
    // Inside a collapsed group nothing shows, inner headers included.
    run.collapsed = false;
    run.drill_name.clear();
    if (GroupsCollapsed(band, i)) {
      run.outlined = false;
      continue;
    }
    if (group->DrillDown()) {
      const QString name = group->Name() + u'.' + run.value.toString();
      if (!drill_met_.contains(name)) {
        drill_met_.insert(name);
        if (group->ExpandDrillDown()) drill_expanded_.insert(name);
      }
      run.collapsed = !drill_expanded_.contains(name);
      run.drill_name = name;
    }
    if (group->KeepTogether()) StartKeep(group);
    ShowBand(group);
    run.outlined = AddOutline(*group);
    if (group->ReprintOnNewPage()) AddHeader(group);
  }
  band_runs_[&band].line = 1;
}

bool TovxEngine::GroupsCollapsed(TovxDataBand& band, size_t count) {
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = 0; i < count && i < groups.size(); ++i) {
    if (group_runs_[groups[i]].collapsed) return true;
  }
  return false;
}

void TovxEngine::AddBandToPage(TovxBand& band, double offset_y,
                               const std::vector<TovxComponent*>* part) {
  auto* group = dynamic_cast<TovxGroupHeader*>(&band);
  const auto run = group ? group_runs_.find(group) : group_runs_.end();
  if (run == group_runs_.end() || run->second.drill_name.isEmpty()) {
    if (part) {
      pages_.AddObjectPart(band, offset_y, *part);
    } else {
      pages_.AddObject(band, offset_y);
    }
    return;
  }
  const QString saved = group->DrillName();
  group->SetDrillName(run->second.drill_name);
  struct Restore {
    TovxGroupHeader& group;
    const QString& name;
    ~Restore() { group.SetDrillName(name); }
  } restore{*group, saved};
  if (part) {
    pages_.AddObjectPart(band, offset_y, *part);
  } else {
    pages_.AddObject(band, offset_y);
  }
}

void TovxEngine::ToggleDrillGroup(const QString& name) {
  if (!drill_expanded_.remove(name)) drill_expanded_.insert(name);
}

void TovxEngine::ClearDrillDown() {
  drill_expanded_.clear();
  drill_met_.clear();
}

void TovxEngine::CheckGroups(TovxDataBand& band, TovxDataSet& data_set, bool vertical) {
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = 0; i < groups.size(); ++i) {
    TovxGroupHeader* group = groups[i];
    report_.SetCurrentObject(group);
    const QVariant value = report_.Calc(group->Condition(), group);
    report_.SetCurrentObject(nullptr);
    if (SameGroupValue(value, group_runs_[group].value)) continue;
    // The footers see the last record of the group they close.
    const bool moved = data_set.RecNo() > 0;
    if (moved) data_set.Prior();
    if (vertical) {
      ShowVerticalGroupFooters(band, i);
    } else {
      ShowGroupFooters(band, i);
    }
    if (moved) data_set.Next();
    if (vertical) {
      ShowVerticalGroupHeaders(band, i, false);
    } else {
      ShowGroupHeaders(band, i, false);
    }
    return;
  }
}

void TovxEngine::ShowGroupFooters(TovxDataBand& band, size_t down_to) {
  // A group ends its row of records.
  FinishDataRow(band);
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = groups.size(); i-- > down_to;) {
    TovxGroupHeader* group = groups[i];
    GroupRun& run = group_runs_[group];
    // A collapsed group shows its footer only when asked to; groups inside
    // it show none.
    const bool hidden =
        GroupsCollapsed(band, i) || (run.collapsed && !group->ShowFooterIfDrillDown());
    if (TovxGroupFooter* footer = data_tree_->GroupFooter(group)) {
      if (hidden || (footer->HideIfSingleDataRecord() && run.rows < 2)) {
        // Not shown, the group ends all the same: its totals too.
        NotifyFinished(*footer);
      } else {
        ShowBand(footer);
      }
    } else {
      // The group ends all the same: its deferred values are due, and the
      // group level must go back down for the groups that follow.
      NotifyEvent(TovxProcessAtMode::paGroupFinished, group);
    }
    if (run.outlined) pages_.Outline().LevelUp();
    run.outlined = false;
    RemoveHeader(group);
    EndKeep(group);
  }
}
