// Vertical bands: bands that grow across the page. Their cells are objects
// of horizontal bands that lie within a vertical band's width (the band
// tree finds them; they stay in their horizontal band). When such a
// horizontal band is shown it becomes the master band: the vertical data
// bands run over their records and each shown vertical band adds copies of
// its cells to the master band at the current x. Where the page's width
// ends, a new page across begins; the master band is then stored stretch
// by stretch, each on its page across, at the same y (see engine.h).
//
// The template is never changed for good: the cells stay where they are,
// the copies belong to the engine, and the master band's AllowSplit and the
// store's add mode come back on every way out (ShowOneBand's guard).
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/subreport.h"
#include "report/model/view.h"

#include <algorithm>
#include <limits>

namespace {

constexpr double kEpsilon = 0.0001;
// Data bands nest six deep at most; deeper recursion means a damaged tree.
constexpr int kMaxNesting = 16;

}  // namespace

bool TovxEngine::IsCell(const TovxComponent& object) const {
  return data_tree_ && !data_tree_->cells.empty() && data_tree_->cells.count(&object) > 0;
}

void TovxEngine::RunVerticalBands(TovxBand& band) {
  BandExtras& extras = extras_[&band];
  extras.placed.clear();
  extras.splits.assign(1, 0);
  vertical_headers_.clear();
  cur_v_column_ = 0;
  struct Restore {
    TovxEngine& engine;
    double x;
    int line, line_through;
    TovxBand* band;
    ~Restore() {
      engine.cur_x_ = x;
      engine.cur_line_ = line;
      engine.cur_line_through_ = line_through;
      engine.current_band_ = band;
      engine.vertical_headers_.clear();
    }
  } restore{*this, cur_x_, cur_line_, cur_line_through_, &band};
  // Across the page from where the first vertical band stands.
  double left = std::numeric_limits<double>::max();
  for (const auto& [cell, vertical] : data_tree_->cells) left = std::min(left, vertical->Left());
  cur_x_ = data_tree_->cells.empty() ? 0 : left;
  RunVerticalDataBands(data_tree_->vertical_top, 0);
  BandExtras& filled = extras_[&band];
  filled.splits.push_back(filled.placed.size());
  if (page_ && page_->EndlessWidth()) filled.widths.resize(filled.splits.size() - 1, page_width_);
}

void TovxEngine::RunVerticalDataBands(const std::vector<TovxDataBand*>& bands, int depth) {
  if (depth > kMaxNesting) return;
  for (TovxDataBand* band : bands) {
    if (!KeepGoing()) return;
    TovxDataSet* data_set = ovx::BandDataSet(*band);
    if (!data_set) continue;
    const ovx::DataBandLinks& links = data_tree_->Links(band);
    BandRun& run = band_runs_[band];
    run = BandRun();
    pages_.PostProcessor().MarkBandRestart(band->Name());
    const DataLevel level(pages_);
    const int limit = band->RowCount();
    int shown = 0;
    data_set->First();
    while (!data_set->Eof() && !report_.Terminated() && (limit <= 0 || shown < limit)) {
      if (!PassesFilter(*band)) {
        data_set->Next();
        continue;
      }
      if (shown == 0) {
        if (links.header) {
          ShowVerticalBand(*links.header);
          // Listed once shown: a header that opens a page across is not
          // shown there twice.
          if (links.header->ReprintOnNewPage()) vertical_headers_.push_back(links.header);
        }
        ShowVerticalGroupHeaders(*band, 0, true);
      } else if (!links.groups.empty()) {
        CheckGroups(*band, *data_set, true);
      }
      cur_line_ = run.line;
      cur_line_through_ = run.line_through;
      ShowVerticalBand(*band);
      for (TovxGroupHeader* group : links.groups) ++group_runs_[group].rows;
      ++run.line;
      ++run.line_through;
      ++shown;
      RunVerticalDataBands(links.sub_bands, depth + 1);
      if (band->FooterAfterEach() && links.footer) ShowVerticalBand(*links.footer);
      data_set->Next();
    }
    if (shown > 0) {
      ShowVerticalGroupFooters(*band, 0);
      RemoveVerticalHeader(links.header);
      if (!band->FooterAfterEach() && links.footer) ShowVerticalBand(*links.footer);
    }
  }
}

void TovxEngine::RemoveVerticalHeader(const TovxBand* band) {
  if (!band) return;
  vertical_headers_.erase(std::remove(vertical_headers_.begin(), vertical_headers_.end(), band),
                          vertical_headers_.end());
}

void TovxEngine::ShowVerticalGroupHeaders(TovxDataBand& band, size_t from, bool first_record) {
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = from; i < groups.size(); ++i) {
    TovxGroupHeader* group = groups[i];
    GroupRun& run = group_runs_[group];
    StartGroupLine(run, first_record, i == from);
    run.collapsed = false;
    run.drill_name.clear();
    cur_line_ = run.line;
    cur_line_through_ = run.line_through;
    report_.SetCurrentObject(group);
    run.value = report_.Calc(group->Condition(), group);
    report_.SetCurrentObject(nullptr);
    aggregates_->Notify(TovxProcessAtMode::paDefault, group);
    pages_.PostProcessor().GroupStarted();
    ShowVerticalBand(*group);
    if (group->ReprintOnNewPage()) vertical_headers_.push_back(group);
  }
  band_runs_[&band].line = 1;
}

void TovxEngine::ShowVerticalGroupFooters(TovxDataBand& band, size_t down_to) {
  const std::vector<TovxGroupHeader*>& groups = data_tree_->Links(&band).groups;
  for (size_t i = groups.size(); i-- > down_to;) {
    TovxGroupHeader* group = groups[i];
    if (TovxGroupFooter* footer = data_tree_->GroupFooter(group)) {
      if (footer->HideIfSingleDataRecord() && group_runs_[group].rows < 2) {
        // Not shown, the group ends all the same: its totals too.
        NotifyFinished(*footer);
      } else {
        ShowVerticalBand(*footer);
      }
    } else {
      NotifyEvent(TovxProcessAtMode::paGroupFinished, group);
    }
    RemoveVerticalHeader(group);
  }
}

void TovxEngine::ShowVerticalBand(TovxBand& band) {
  TovxBand* master = vertical_master_;
  if (!master || !running_) return;
  auto* data = dynamic_cast<TovxDataBand*>(&band);
  if (data) ++cur_v_column_;
  const bool footer = dynamic_cast<TovxFooter*>(&band) || dynamic_cast<TovxGroupFooter*>(&band);
  // Totals print in the band they belong to: a vertical footer's in its
  // cells of data rows, but a footer or summary row's own totals (those of
  // its corner cells included) in that row.
  const bool total_row =
      dynamic_cast<TovxFooter*>(master) || dynamic_cast<TovxGroupFooter*>(master) ||
      dynamic_cast<TovxReportSummary*>(master) || dynamic_cast<TovxPageFooter*>(master);
  current_band_ = footer && !total_row ? &band : master;
  const size_t mark = saved_.size();
  report_.SetCurrentObject(&band);
  SaveState(band);
  FireBeforePrint(band);
  if (band.Visible()) {
    BandExtras& extras = extras_[master];
    auto* group = dynamic_cast<TovxGroupHeader*>(&band);
    const bool start_new = band.StartNewPage() && ((data && band_runs_[data].line_through > 1) ||
                                                   (group && group_runs_[group].line_through > 1));
    // Nothing placed on this page across yet: a band wider than the page
    // stays here rather than starting pages across for ever.
    const bool placed = extras.placed.size() > extras.splits.back() || extras.splits.size() == 1;
    if (!in_vertical_headers_ && placed &&
        (cur_x_ + band.Width() > page_width_ + kEpsilon || start_new)) {
      if (page_ && page_->EndlessWidth() && !start_new) {
        page_width_ += band.Width();
      } else {
        // An endless page across that a band ends keeps the width it used;
        // the next one starts from the printable width again.
        if (page_ && page_->EndlessWidth()) {
          extras.widths.resize(extras.splits.size(), page_width_);
          extras.widths.back() = page_width_;
          page_width_ = page_->PrintableWidth();
        }
        extras.splits.push_back(extras.placed.size());
        cur_x_ = 0;
        in_vertical_headers_ = true;
        struct Reset {
          bool& flag;
          ~Reset() { flag = false; }
        } reset{in_vertical_headers_};
        const std::vector<TovxBand*> headers = vertical_headers_;
        for (TovxBand* header : headers) ShowVerticalBand(*header);
      }
    }
    for (TovxComponent* object : master->Objects()) {
      const auto found = data_tree_->cells.find(object);
      if (found == data_tree_->cells.end() || found->second != &band) continue;
      auto* cell = dynamic_cast<TovxReportComponent*>(object);
      if (!cell) continue;
      report_.SetCurrentObject(cell);
      SaveState(*cell);
      FireBeforePrint(*cell);
      if (cell->Visible()) {
        cell->GetData();
        if (auto* view = dynamic_cast<TovxView*>(cell)) {
          CallScript(view->EventHandler(TovxView::Event::kOnAfterData), *view);
        }
        if (Copy copy = CopyObject(*cell)) {
          copy->SetLeft(cell->Left() - band.Left() + cur_x_);
          extras_[master].placed.push_back(std::move(copy));
        }
      }
      saved_.pop_back();
      RestoreState(*cell);
    }
    cur_x_ += band.Width();
  }
  report_.SetCurrentObject(&band);
  FireAfterPrint(band);
  while (saved_.size() > mark) {
    TovxReportComponent* object = saved_.back();
    saved_.pop_back();
    RestoreState(*object);
  }
  report_.SetCurrentObject(nullptr);
  if (footer) NotifyFinished(band);
  // A record of a data row: its cells feed the row's per-column totals and
  // the totals over the vertical band's own records. Under a header or
  // footer the vertical records are labels or totals, no data: taken
  // there, a row total would count them twice.
  auto* master_data = dynamic_cast<TovxDataBand*>(master);
  if (data && master_data) {
    aggregate_list_.TakeValues(*data);
    aggregate_list_.TakeColumnValues(*master_data, cur_v_column_);
  }
}

void TovxEngine::StoreVerticalStretches(TovxBand& band) {
  BandExtras& extras = extras_[&band];
  const std::vector<size_t> splits = extras.splits;
  std::vector<TovxComponent*> own;
  for (TovxComponent* object : band.Objects()) {
    if (!IsCell(*object) && !dynamic_cast<TovxSubreport*>(object)) own.push_back(object);
  }
  // Each page across ends at the width it used (endless width).
  const std::vector<double> widths = extras.widths;
  const auto use_width = [&](size_t k) {
    if (k < widths.size()) page_width_ = widths[k];
  };
  const PagePosition start = TakePosition();
  const double y = cur_y_;
  if (band.Left() != 0) band.SetLeft(0);
  // Pages across exist already from the rows above: they are used again.
  const TovxPreviewPages::AddMode mode = pages_.GetAddMode();
  pages_.SetAddMode(TovxPreviewPages::AddMode::kOverwrite);
  for (size_t k = 0; k + 1 < splits.size(); ++k) {
    std::vector<TovxComponent*> children = k == 0 ? own : std::vector<TovxComponent*>();
    for (size_t i = splits[k]; i < splits[k + 1] && i < extras.placed.size(); ++i) {
      children.push_back(extras.placed[i].get());
    }
    pages_.AddObjectPart(band, y - band.Top(), children);
    if (k + 2 < splits.size()) {
      // A page across that ends here gets its footer (once); the page the
      // band started on ends later, as usual.
      if (k > 0) {
        column_footer_shown_ = true;
        use_width(k);
        EndPage();
      }
      StartNewPage(false);
      cur_y_ = y;
    }
  }
  if (splits.size() > 2) {
    column_footer_shown_ = true;
    use_width(splits.size() - 2);
    EndPage();
  }
  pages_.SetAddMode(mode);
  PutPosition(start);
  use_width(0);
}
