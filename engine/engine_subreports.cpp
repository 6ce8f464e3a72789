// Subreports: a subreport object on a band runs the bands of its own report
// page, either inside the band (PrintOnParent: the output is collected and
// becomes objects of the band, which stretches around them) or beside it,
// starting where the band was shown and running over as many columns and
// pages as it needs (see engine.h).
//
// A page that is already running further up (a subreport showing its own
// page, or pages showing each other) is not run again: that would recurse
// until the stack ran out. The subreport is reported once in the error list
// and skipped. Chains of distinct pages are bounded too.
//
// While output is collected there is no page to break: the free space is
// unlimited, page and column breaks do nothing, and keeping is off.
#include "base/error.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/subreport.h"

#include <algorithm>
#include <functional>

namespace {

constexpr double kEpsilon = 0.0001;
// Subreports inside subreports deeper than this are refused.
constexpr size_t kMaxSubreportDepth = 32;

}  // namespace

void TovxEngine::CopyDeleter::operator()(TovxComponent* object) const {
  if (!object) return;
  if (pages) {
    pages->ForgetCopy(*object);
    for (const TovxComponent* child : object->AllObjects()) pages->ForgetCopy(*child);
  }
  delete object;
}

TovxEngine::Copy TovxEngine::CopyObject(const TovxComponent& object) {
  const ovx::MetaClass& meta = object.GetMetaClass();
  if (!meta.CanCreate()) return Copy(nullptr, CopyDeleter{&pages_});
  std::unique_ptr<ovx::Persistent> made(meta.Create(nullptr));
  auto* component = dynamic_cast<TovxComponent*>(made.get());
  if (!component) return Copy(nullptr, CopyDeleter{&pages_});
  made.release();
  Copy copy(component, CopyDeleter{&pages_});
  copy->Assign(object);
  try {
    copy->SetName(object.Name());  // a copy has no parent, so no name clash
  } catch (const ovx::Error&) {
  }
  pages_.ShareSource(*copy, object);
  // Children (rare in views) come along, owned by the copy.
  const std::function<void(const TovxComponent&, TovxComponent&)> children =
      [&](const TovxComponent& from, TovxComponent& to) {
        for (const TovxComponent* child : from.Objects()) {
          const ovx::MetaClass& child_meta = child->GetMetaClass();
          if (!child_meta.CanCreate()) continue;
          std::unique_ptr<ovx::Persistent> child_made(child_meta.Create(&to));
          auto* child_copy = dynamic_cast<TovxComponent*>(child_made.get());
          if (!child_copy) continue;  // freed here; `to` never took it
          child_made.release();
          child_copy->Assign(*child);
          pages_.ShareSource(*child_copy, *child);
          children(*child, *child_copy);
        }
      };
  children(object, *copy);
  return copy;
}

bool TovxEngine::HasOtherOutput(const TovxBand& band) const {
  if (extras_.empty()) return false;
  const auto found = extras_.find(&band);
  return found != extras_.end() && (found->second.subreports || !found->second.placed.empty() ||
                                    !found->second.splits.empty());
}

std::vector<TovxComponent*> TovxEngine::OutputObjects(const TovxBand& band) const {
  std::vector<TovxComponent*> objects;
  objects.reserve(band.Objects().size());
  for (TovxComponent* object : band.Objects()) {
    // The subreport is a placeholder; what it prints is its page's output.
    // A master band's cells print as the copies its vertical bands made.
    if (dynamic_cast<TovxSubreport*>(object)) continue;
    if (vertical_master_ == &band && IsCell(*object)) continue;
    objects.push_back(object);
  }
  if (const auto found = extras_.find(&band); found != extras_.end()) {
    for (const Copy& copy : found->second.placed) objects.push_back(copy.get());
  }
  return objects;
}

void TovxEngine::CollectBand(const TovxBand& band, double x) {
  std::vector<Copy>& collector = collectors_.back();
  for (TovxComponent* object : OutputObjects(band)) {
    if (!object->Visible()) continue;
    Copy copy = CopyObject(*object);
    if (!copy) continue;
    copy->SetLeft(x + object->Left());
    copy->SetTop(cur_y_ + object->Top());
    collector.push_back(std::move(copy));
  }
}

bool TovxEngine::RunSubreportPage(TovxSubreport& subreport) {
  TovxReportPage* page = subreport.Page();
  if (!page) return false;
  const auto tree = trees_.find(page);
  const bool running =
      std::find(running_pages_.begin(), running_pages_.end(), page) != running_pages_.end();
  if (running || running_pages_.size() >= kMaxSubreportDepth || tree == trees_.end()) {
    if (refused_.insert(&subreport).second) {
      report_.AddError(resource_text(QStringLiteral("clCirRefNotAllow")) + u' ' + subreport.Name());
    }
    return false;
  }
  running_pages_.push_back(page);
  const ovx::BandTree* outer = data_tree_;
  data_tree_ = &tree->second;
  struct Restore {
    TovxEngine& engine;
    const ovx::BandTree* tree;
    int line, line_through;
    ~Restore() {
      engine.running_pages_.pop_back();
      engine.data_tree_ = tree;
      engine.cur_line_ = line;
      engine.cur_line_through_ = line_through;
    }
  } restore{*this, outer, cur_line_, cur_line_through_};
  CallScript(page->OnBeforePrint(), *page);
  // The page's own objects stand where the subreport starts, as a report
  // page's stand on its printable area.
  ShowPageObjects(*page, cur_x_);
  if (on_manual_build) {
    on_manual_build(*page);
  } else if (!page->OnManualBuild().isEmpty() && call_script) {
    CallScript(page->OnManualBuild(), *page);
  } else {
    RunDataBands(data_tree_->top);
  }
  CallScript(page->OnAfterPrint(), *page);
  return true;
}

std::vector<TovxSubreport*> TovxEngine::SubreportsOf(const std::vector<TovxComponent*>& objects,
                                                     bool on_parent) {
  std::vector<TovxSubreport*> subreports;
  for (TovxComponent* object : objects) {
    auto* subreport = dynamic_cast<TovxSubreport*>(object);
    if (subreport && subreport->PrintOnParent() == on_parent && subreport->Visible() &&
        subreport->Page()) {
      subreports.push_back(subreport);
    }
  }
  return subreports;
}

double TovxEngine::RunSubreportsOnParent(TovxBand& band) {
  std::vector<Copy> copies = CollectSubreports(&band, SubreportsOf(band.Objects(), true));
  double bottom = 0;
  BandExtras& extras = extras_[&band];
  for (Copy& copy : copies) {
    if (copy->Visible()) bottom = std::max(bottom, copy->Top() + copy->Height());
    extras.placed.push_back(std::move(copy));
  }
  return bottom;
}

std::vector<TovxEngine::Copy> TovxEngine::CollectSubreports(
    TovxBand* band, const std::vector<TovxSubreport*>& subreports) {
  if (subreports.empty()) return {};
  // Position and page come back afterwards whatever happens; the collector
  // goes with its copies.
  struct Restore {
    TovxEngine& engine;
    double x, y, page_x;
    int column, page;
    TovxBand* band;
    ~Restore() {
      engine.collectors_.pop_back();
      engine.cur_x_ = x;
      engine.cur_y_ = y;
      engine.page_x_ = page_x;
      engine.cur_column_ = column;
      engine.pages_.SetCurPage(page);
      engine.current_band_ = band;
    }
  };
  collectors_.emplace_back();
  Restore restore{*this, cur_x_, cur_y_, page_x_, cur_column_, pages_.CurPage(), band};
  for (TovxSubreport* subreport : subreports) {
    if (!KeepGoing()) break;
    cur_x_ = page_x_ = subreport->Left();
    cur_y_ = subreport->Top();
    RunSubreportPage(*subreport);
  }
  return std::move(collectors_.back());
}

void TovxEngine::RunSubreportsBeside(TovxBand& band, int page, double x, double top) {
  RunSubreportsBeside(&band, SubreportsOf(band.Objects(), false), page, x, top);
}

void TovxEngine::RunSubreportsBeside(TovxBand* band, const std::vector<TovxSubreport*>& subreports,
                                     int page, double x, double top) {
  if (subreports.empty()) return;
  // Where each subreport starts, and where the furthest one ended: the
  // state of the page and column it ended in goes on from there.
  using Position = PagePosition;
  const auto take = [this] { return TakePosition(); };
  const auto put = [this](const Position& p) { PutPosition(p); };
  const auto further = [](const Position& a, const Position& b) {
    if (a.page != b.page) return a.page > b.page;
    if (a.column != b.column) return a.column > b.column;
    return a.y > b.y + kEpsilon;
  };
  // A subreport that starts on a page the one before it ran over goes on
  // over the pages that one made.
  struct Mode {
    TovxPreviewPages& pages;
    TovxPreviewPages::AddMode mode;
    ~Mode() { pages.SetAddMode(mode); }
  } mode{pages_, pages_.GetAddMode()};
  pages_.SetAddMode(TovxPreviewPages::AddMode::kOverwrite);
  Position start = take();
  start.page = page;
  Position furthest = take();
  for (TovxSubreport* subreport : subreports) {
    if (!KeepGoing()) break;
    put(start);
    // A subreport's own page breaks start again at its x.
    cur_x_ = page_x_ = x + subreport->Left();
    cur_y_ = top + subreport->Top();
    current_band_ = band;
    if (!RunSubreportPage(*subreport)) continue;
    Position reached = take();
    // The page's own x comes back; the column goes on from its position.
    reached.page_x = start.page_x;
    reached.x = reached.column > 1 ? start.page_x + ColumnPosition(reached.column) : start.page_x;
    if (further(reached, furthest)) furthest = reached;
  }
  put(furthest);
}

TovxEngine::PagePosition TovxEngine::TakePosition() const {
  return PagePosition{pages_.CurPage(),
                      cur_column_,
                      cur_y_,
                      cur_x_,
                      page_x_,
                      first_column_y_,
                      previous_footer_height_,
                      is_first_page_,
                      footer_on_page_,
                      column_footer_shown_,
                      title_above_body_,
                      body_start_page_,
                      body_start_position_,
                      body_start_column_,
                      last_band_on_page_};
}

void TovxEngine::PutPosition(const PagePosition& p) {
  pages_.SetCurPage(p.page);
  cur_column_ = p.column;
  cur_y_ = p.y;
  cur_x_ = p.x;
  page_x_ = p.page_x;
  first_column_y_ = p.first_column_y;
  previous_footer_height_ = p.previous_footer_height;
  is_first_page_ = p.first_page;
  footer_on_page_ = p.footer_on_page;
  column_footer_shown_ = p.column_footer_shown;
  title_above_body_ = p.title_above_body;
  body_start_page_ = p.body_page;
  body_start_position_ = p.body_position;
  body_start_column_ = p.body_column;
  last_band_on_page_ = p.last_band_on_page;
}
