// Showing one band: its preparation (events, data, stretching, shifting),
// the break when it does not fit, its place in the store, and its child
// chain (see engine.h).
#include "base/rounding.h"
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "engine/shift_engine.h"
#include "report/model/band.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/subreport.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEpsilon = 0.0001;
// Column breaks one band may take on a page it does not fit anywhere.
constexpr int kMaxColumnBreaks = 1000;

// Bands whose place is fixed by the page, not by the space left on it.
bool NeverBreaks(const TovxBand& band) {
  return dynamic_cast<const TovxOverlay*>(&band) || dynamic_cast<const TovxNullBand*>(&band) ||
         dynamic_cast<const TovxPageFooter*>(&band) || dynamic_cast<const TovxColumnFooter*>(&band);
}

bool IsMultiColumnData(const TovxBand& band) {
  const auto* data = dynamic_cast<const TovxDataBand*>(&band);
  return data && data->Columns() > 1;
}

}  // namespace

bool TovxEngine::IsCountedChild(const TovxBand& band) const {
  const auto* child = dynamic_cast<const TovxChild*>(&band);
  return child && (child->ToNRows() > 0 || child->ToNRowsMode() == TovxToNRowsMode::rmTillPageEnds);
}

void TovxEngine::ShowBand(TovxBand* band) {
  const bool keep_child = band && band->KeepChild() && running_;
  if (keep_child) StartKeep(band);
  ShowChain(band);
  if (keep_child) EndKeep(band);
}

void TovxEngine::ShowChain(TovxBand* band) {
  // A chain that comes back to a band it passed (a damaged template) ends
  // there instead of showing bands for ever.
  std::vector<const TovxBand*> shown;
  while (band && running_ && !report_.Terminated()) {
    if (std::find(shown.begin(), shown.end(), band) != shown.end()) return;
    shown.push_back(band);
    if (!ShowOneBand(*band)) return;
    auto* data = dynamic_cast<TovxDataBand*>(band);
    if (data) {
      aggregates_->AddValue(*data);
      aggregate_list_.TakeValues(*data);
    }
    if (!band->Visible() && !band->PrintChildIfInvisible()) return;
    // A collapsed drill-down group shows its header's child only when asked
    // to, as with its footer.
    if (auto* group = dynamic_cast<TovxGroupHeader*>(band)) {
      const auto run = group_runs_.find(group);
      if (run != group_runs_.end() && run->second.collapsed && !group->ShowChildIfDrillDown()) {
        return;
      }
    }
    // Records beside the first of their row have no children of their own.
    if (data && IsMultiColumnData(*data) && band_runs_[data].placed_column > 1) return;
    TovxBand* child = band->Child();
    if (!child || IsCountedChild(*child)) return;
    band = child;
  }
}

// A band a script shows again while it is being prepared (from its own
// events or from a subreport on it) puts its objects through a second data
// cycle inside the first: only the outer one saves and restores, or the
// inner one would take the outer one's values for the template's.
void TovxEngine::SaveState(TovxReportComponent& object) {
  saved_.push_back(&object);
  if (++active_[&object] > 1) return;
  object.BeforePrint();
}

void TovxEngine::RestoreState(TovxReportComponent& object) {
  if (const auto found = active_.find(&object); found != active_.end()) {
    if (--found->second > 0) return;
    active_.erase(found);
  }
  object.AfterPrint();
}

bool TovxEngine::ShowOneBand(TovxBand& band) {
  auto* data = dynamic_cast<TovxDataBand*>(&band);
  auto* group = dynamic_cast<TovxGroupHeader*>(&band);
  // A band holding cells of vertical bands is their master band while it
  // is shown: never split (its stretches go across), and whatever way the
  // band is left, AllowSplit and the store's add mode come back.
  struct MasterGuard {
    TovxEngine* engine = nullptr;
    TovxBand* band = nullptr;
    bool allow_split = false;
    TovxPreviewPages::AddMode mode = TovxPreviewPages::AddMode::kAppend;
    ~MasterGuard() {
      if (!engine) return;
      band->SetAllowSplit(allow_split);
      engine->pages_.SetAddMode(mode);
      engine->vertical_master_ = nullptr;
      engine->vertical_headers_.clear();
    }
  } master;
  if (!vertical_master_ && data_tree_ && !data_tree_->holds_cells.empty() &&
      data_tree_->holds_cells.count(&band) && !band.Vertical() &&
      !dynamic_cast<TovxPageHeader*>(&band)) {
    master = MasterGuard{this, &band, band.AllowSplit(), pages_.GetAddMode()};
    band.SetAllowSplit(false);
    vertical_master_ = &band;
  }
  if (group) {
    aggregates_->Notify(TovxProcessAtMode::paDefault, &band);
    pages_.PostProcessor().GroupStarted();
  }
  // A band that starts a new page, unless it is the first line of its data
  // or group (which is on a new page anyway or follows its header).
  if (band.Visible() && band.StartNewPage() && !in_page_start_ && !Collecting()) {
    bool first_line = false;
    if (data) first_line = band_runs_[data].line == 1;
    if (group) first_line = group_runs_[group].line == 1;
    if (!first_line) {
      if (group && group->ResetPageNumbers()) pages_.ResetLogicalPages();
      start_new_page_band_ = &band;
      NewPage();
      start_new_page_band_ = nullptr;
    }
  }

  // Data bands of several columns break row by row (NextDataColumn); what
  // a record's events add belongs to its row.
  const bool columns = data && IsMultiColumnData(band);
  const OutputMark before = columns ? MarkOutput() : OutputMark();
  double height = PrepareBand(band);
  const bool visible = band.Visible();
  if (visible && !NeverBreaks(band) && !columns && !in_page_start_ &&
      FreeSpace() < height - kEpsilon) {
    if (const auto* child = dynamic_cast<TovxChild*>(&band);
        child && child->ToNRowsMode() == TovxToNRowsMode::rmTillPageEnds) {
      FinishBand(band);
      return false;
    }
    // Breaking again for a band that did not fit on a fresh page would
    // never end: it goes here, running over the page's end.
    const bool fresh = AtBodyStart();
    const bool too_high = height > page_height_ - FooterHeight() + kEpsilon;
    if ((too_high && vertical_master_ != &band) ||
        (band.AllowSplit() && (!keep_.band || !KeptPartFits(height)))) {
      DropKeep();
      // A whole band higher than the page starts on a fresh column.
      if (!band.AllowSplit() && !fresh && !band.StartNewPage()) {
        NewColumn();
        current_band_ = &band;
      }
      if (FreeSpace() < height - kEpsilon) {
        const int page = pages_.CurPage();
        const double x = cur_x_;
        const double top = cur_y_;
        SplitBand(band);
        last_band_height_ = band.Height();
        FinishBand(band);
        NotifyFinished(band);
        RunSubreportsBeside(band, page, x, top);
        return true;
      }
    } else if (!fresh) {
      bool reset = false;
      for (TovxComponent* object : band.Objects()) {
        auto* memo = dynamic_cast<TovxCustomMemoView*>(object);
        if (memo && memo->SuppressRepeated()) {
          memo->ResetSuppressRepeated();
          reset = true;
        }
      }
      if (reset) {
        // The band's events run again, knowing it is the second time.
        FinishBand(band);
        second_script_call_ = true;
        struct Reset {
          bool& flag;
          ~Reset() { flag = false; }
        } reset_flag{second_script_call_};
        height = PrepareBand(band);
      }
      NewColumn();
      // The columns of a page a report page went on from start below what
      // was there: a band that fits none of them goes on to a new page.
      for (int i = 0; i < kMaxColumnBreaks && pages_.CurPage() == continued_page_ &&
                      FreeSpace() < height - kEpsilon;
           ++i) {
        NewColumn();
      }
      current_band_ = &band;
    }
  }

  const int shown_page = pages_.CurPage();
  double shown_x = cur_x_;
  const double shown_top = cur_y_;
  if (visible) {
    bool again = dynamic_cast<TovxPageFooter*>(&band) && footer_on_page_;
    // A page reached again keeps the frame bands it has.
    if (!again && !Collecting() && (in_page_start_ || in_end_page_ || NeverBreaks(band)) &&
        !dynamic_cast<TovxNullBand*>(&band)) {
      again = !frame_bands_.emplace(&band, shown_page, cur_column_).second;
    }
    if (columns) PlaceInColumn(*data, before);
    if (!again) {
      const double x = columns ? band.Left() + cur_x_ : cur_x_;
      shown_x = x;
      if (Collecting()) {
        CollectBand(band, x);
      } else if (vertical_master_ == &band && extras_[&band].splits.size() > 1) {
        StoreVerticalStretches(band);
      } else {
        if (band.Left() != x) band.SetLeft(x);
        if (HasOtherOutput(band)) {
          const std::vector<TovxComponent*> part = OutputObjects(band);
          AddBandToPage(band, cur_y_ - band.Top(), &part);
        } else {
          AddBandToPage(band, cur_y_ - band.Top());
        }
      }
    }
    cur_y_ += height;
    if (columns) {
      BandRun& run = band_runs_[data];
      if (run.details_in_column) {
        run.next_column_due = true;
      } else {
        NextDataColumn(*data);
      }
    }
  }
  last_band_height_ = height;
  const bool subreports = visible && HasOtherOutput(band);
  FinishBand(band);
  NotifyFinished(band);
  if (subreports) RunSubreportsBeside(band, shown_page, shown_x, shown_top);
  return true;
}

void TovxEngine::PlaceInColumn(TovxDataBand& band, const OutputMark& before) {
  BandRun& run = band_runs_[&band];
  if (run.column < 1 || run.column > band.Columns()) run.column = 1;
  if (run.column == 1) {
    run.row_top = cur_y_;
    run.row_bottom = cur_y_;
    run.row_page = pages_.CurPage();
    run.row_position = pages_.ObjectPosition();
    run.row_anchor = before.anchor;
    run.row_outline = before.outline;
  }
  run.placed_column = run.column;
  band.SetLeft((run.column - 1) * (band.ColumnWidth() + band.ColumnGap()));
}

void TovxEngine::NextDataColumn(TovxDataBand& band) {
  BandRun& run = band_runs_[&band];
  run.row_bottom = std::max(run.row_bottom, cur_y_);
  if (run.column < band.Columns()) {
    ++run.column;
    cur_y_ = run.row_top;
    return;
  }
  FinishDataRow(band);
}

void TovxEngine::FinishDataRow(TovxDataBand& band) {
  if (!IsMultiColumnData(band)) return;
  BandRun& run = band_runs_[&band];
  if (run.row_page < 0) return;  // no row open
  run.column = 1;
  const double top = run.row_top;
  const double height = run.row_bottom - top;
  const bool on_page = run.row_page == pages_.CurPage();
  run.row_page = -1;
  cur_y_ = top + height;
  if (Collecting()) return;
  // A row that runs past the page's end moves whole to the next column or
  // page, unless it opened its page already (it would run over there too).
  const bool opened_page = pages_.CurPage() == body_start_page_ &&
                           cur_column_ == body_start_column_ &&
                           run.row_position <= body_start_position_;
  if (!on_page || (page_ && page_->EndlessHeight()) || opened_page ||
      page_height_ - FooterHeight() - cur_y_ >= -kEpsilon) {
    return;
  }
  current_band_ = &band;
  if (keep_.band && keep_.position <= run.row_position && KeptPartFits(band.Height())) {
    // The kept part holds the row: it moves along with it.
    NewColumn();
    return;
  }
  DropKeep();  // a keep inside the row goes with the row
  pages_.CutObjects(run.row_position);
  NewColumn();
  const double y = cur_y_;
  pages_.PasteObjects(cur_x_, y);
  // The row's outline items and anchors go where the row went.
  const int shift = static_cast<int>(ovx::Round(y - top));
  pages_.MoveOutlineItems(run.row_outline, pages_.CurPage(), shift);
  pages_.MoveAnchors(run.row_anchor, pages_.CurPage(), shift);
  cur_y_ = y + height;
}

bool TovxEngine::AtBodyStart() const {
  return pages_.CurPage() == body_start_page_ && pages_.ObjectPosition() == body_start_position_ &&
         cur_column_ == body_start_column_;
}

void TovxEngine::NotifyFinished(TovxBand& band) {
  if (dynamic_cast<TovxGroupFooter*>(&band)) {
    NotifyEvent(TovxProcessAtMode::paGroupFinished, &band);
  } else if (dynamic_cast<TovxFooter*>(&band)) {
    NotifyEvent(TovxProcessAtMode::paDataFinished, &band);
  } else if (dynamic_cast<TovxPageFooter*>(&band)) {
    NotifyEvent(TovxProcessAtMode::paPageFinished, &band);
  } else if (dynamic_cast<TovxColumnFooter*>(&band)) {
    NotifyEvent(TovxProcessAtMode::paColumnFinished, &band);
  } else if (dynamic_cast<TovxReportSummary*>(&band)) {
    NotifyEvent(TovxProcessAtMode::paReportPageFinished, &band);
  }
  aggregates_->Reset(band);
  aggregate_list_.ResetOnBand(band);
}

void TovxEngine::NotifyEvent(TovxProcessAtMode event, TovxBand* band) {
  if (band) current_band_ = band;
  aggregates_->Notify(event, band);
  pages_.PostProcessor().ProcessEvent(event);
}

TovxEngine::DataLevel::DataLevel(TovxPreviewPages& p) : pages(p) {
  pages.PostProcessor().DataStarted();
}
TovxEngine::DataLevel::~DataLevel() { pages.PostProcessor().DataEnded(); }

bool TovxEngine::ProcessObject(TovxView* view) {
  if (!running_ || !view || view->Processing().ProcessAt() != TovxProcessAtMode::paCustom) {
    return false;
  }
  return pages_.PostProcessor().ProcessObject(*view);
}

QVariant TovxEngine::AggregateValue(const QString& function, const QString& expression,
                                    TovxBand* band, int flags) {
  return aggregate_list_.ValueOf(function, expression, band, flags, current_band_, cur_v_column_,
                                 report_.CurrentObject());
}

double TovxEngine::PrepareBand(TovxBand& band) {
  current_band_ = &band;
  band_marks_.push_back(saved_.size());
  report_.SetCurrentObject(&band);
  SaveState(band);
  FireBeforePrint(band);
  const bool visible = band.Visible();
  for (TovxComponent* child : band.Objects()) {
    auto* object = dynamic_cast<TovxReportComponent*>(child);
    if (!object) continue;
    if (dynamic_cast<TovxSubreport*>(object)) extras_[&band].subreports = true;
    // Cells get their data once per vertical band shown, not here.
    if (vertical_master_ == &band && IsCell(*object)) continue;
    SaveState(*object);
    if (!visible) continue;
    FireBeforePrint(*object);
    if (!object->Visible()) continue;
    auto* view = dynamic_cast<TovxView*>(object);
    // A deferred view is evaluated when its event comes (post_processor.h);
    // one without a name cannot be filed for it and is evaluated now.
    if (view && view->Processing().ProcessAt() != TovxProcessAtMode::paDefault &&
        !view->Name().isEmpty()) {
      continue;
    }
    report_.SetCurrentObject(object);
    object->GetData();
    if (view) CallScript(view->EventHandler(TovxView::Event::kOnAfterData), *view);
  }
  report_.SetCurrentObject(nullptr);
  if (!visible) return band.Height();
  StretchAndShift(band);
  CallScript(band.OnAfterCalcHeight(), band);
  return band.Height();
}

void TovxEngine::StretchAndShift(TovxBand& band) {
  const std::vector<TovxComponent*>& objects = band.Objects();
  // A master band's cells are not its own: they stay as they are.
  const bool master = vertical_master_ == &band;
  bool changed = false;
  for (TovxComponent* object : objects) {
    auto* view = dynamic_cast<TovxStretcheable*>(object);
    if (!view || !view->Visible()) continue;
    if (view->StretchMode() == TovxStretchMode::smDontStretch && !view->CanShrink()) continue;
    changed = true;
    break;
  }
  // Most bands have nothing that can stretch: no shift tree for them.
  if (changed) {
    changed = false;
    std::vector<ovx::ShiftItem> items;
    items.reserve(objects.size());
    for (TovxComponent* object : objects) {
      ovx::ShiftItem item{object->Left(), object->Top(), object->Width(), object->Height()};
      if (auto* view = dynamic_cast<TovxView*>(object)) item.mode = view->ShiftMode();
      auto* stretch = dynamic_cast<TovxStretcheable*>(object);
      if (stretch && stretch->Visible() && !(master && IsCell(*object)) &&
          (stretch->StretchMode() != TovxStretchMode::smDontStretch || stretch->CanShrink())) {
        const double height = stretch->CalcHeight();
        const double growth = height - item.height;
        if (growth > kEpsilon || (growth < -kEpsilon && stretch->CanShrink())) {
          item.growth = growth;
          stretch->SetHeight(height);
          changed = true;
        }
      }
      items.push_back(item);
    }
    if (changed) {
      const std::vector<double> shifts = ovx::ComputeShifts(band.ShiftEngine(), items);
      for (size_t i = 0; i < objects.size(); ++i) {
        if (shifts[i] != 0 && !(master && IsCell(*objects[i]))) {
          objects[i]->SetTop(objects[i]->Top() + shifts[i]);
        }
      }
    }
  }
  if (vertical_master_ == &band) RunVerticalBands(band);
  // Subreports printed on the band run once its objects are in place.
  const double placed_bottom = HasOtherOutput(band) ? RunSubreportsOnParent(band) : 0;
  if (band.Stretched()) {
    double bottom = placed_bottom;
    for (TovxComponent* object : objects) {
      if (object->Visible()) bottom = std::max(bottom, object->Top() + object->Height());
    }
    band.SetHeight(bottom);
  }
  // Objects aligned to the band's bottom stay there however the band grew
  // (or grew beside them).
  for (TovxComponent* object : objects) {
    const auto* view = dynamic_cast<const TovxView*>(object);
    if (view && view->Visible() && view->Align() == TovxAlign::baBottom &&
        !(master && IsCell(*object))) {
      const double top = band.Height() - object->Height();
      if (std::abs(top - object->Top()) > kEpsilon) object->SetTop(top);
    }
  }
  for (TovxComponent* object : objects) {
    auto* stretch = dynamic_cast<TovxStretcheable*>(object);
    if (stretch && stretch->StretchMode() == TovxStretchMode::smMaxHeight &&
        !(master && IsCell(*object))) {
      stretch->SetHeight(std::max(band.Height() - stretch->Top(), 0.0));
    }
  }
}

void TovxEngine::FinishBand(TovxBand& band) {
  if (band_marks_.empty()) return;
  const size_t mark = band_marks_.back();
  band_marks_.pop_back();
  if (band.Visible()) {
    for (size_t i = mark + 1; i < saved_.size(); ++i) FireAfterPrint(*saved_[i]);
  }
  while (saved_.size() > mark + 1) {
    TovxReportComponent* object = saved_.back();
    saved_.pop_back();
    RestoreState(*object);
  }
  FireAfterPrint(band);
  if (saved_.size() > mark) {
    saved_.pop_back();
    RestoreState(band);
  }
  if (!extras_.empty()) extras_.erase(&band);
}
