// The engine's run for page-level reports and its installation into reports
// (see engine.h for the design).
#include "engine/engine.h"

#include "base/error.h"
#include "base/rounding.h"
#include "base/units.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "engine/report_rtti.h"
#include "engine/report_script.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/report_lists.h"
#include "report/model/subreport.h"
#include "report/model/view.h"
#include "script/script_languages.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr double kEndlessSpace = 1000000;

}  // namespace

TovxEngine::TovxEngine(TovxReport& report, TovxPreviewPages& pages)
    : report_(report), pages_(pages) {
  process_events = [] { QCoreApplication::processEvents(); };
}

bool TovxEngine::DoublePass() const { return report_.EngineOptions().DoublePass(); }

double TovxEngine::FreeSpace() const {
  if (Collecting() || (page_ && page_->EndlessHeight())) return kEndlessSpace;
  const double footer = previous_footer_height_ > 0 ? previous_footer_height_ : FooterHeight();
  return page_height_ - footer - cur_y_;
}

namespace {

// A position that is no number would make every later comparison false:
// bands would neither fit nor break.
double FinitePosition(double value, const char* name) {
  if (!std::isfinite(value)) {
    throw ovx::Error(QString(), QStringLiteral("Invalid value for %s"),
                     {QString::fromLatin1(name)});
  }
  return value;
}

}  // namespace

void TovxEngine::SetCurX(double x) { cur_x_ = FinitePosition(x, "CurX"); }

void TovxEngine::SetCurY(double y) { cur_y_ = FinitePosition(y, "CurY"); }

void TovxEngine::StopReport() { report_.SetTerminated(true); }

void TovxEngine::AddAnchor(const QString& text) {
  pages_.AddAnchor(text, static_cast<int>(ovx::Round(cur_y_)));
}

int TovxEngine::GetAnchorPage(const QString& text) const { return pages_.GetAnchorPage(text); }

bool TovxEngine::KeepGoing() {
  if (!report_.EngineOptions().EnableThreadSafe() && process_events) process_events();
  return !report_.Terminated();
}

void TovxEngine::CallScript(const QString& procedure, TovxComponent& object) {
  if (running_ && !procedure.isEmpty() && call_script) call_script(procedure, object);
}

void TovxEngine::FireBeforePrint(TovxComponent& object) {
  if (report_.on_before_print) report_.on_before_print(object);
  if (auto* view = dynamic_cast<TovxView*>(&object)) {
    CallScript(view->EventHandler(TovxView::Event::kOnBeforePrint), object);
  } else if (auto* band = dynamic_cast<TovxBand*>(&object)) {
    CallScript(band->OnBeforePrint(), object);
  }
}

void TovxEngine::FireAfterPrint(TovxComponent& object) {
  if (report_.on_after_print) report_.on_after_print(object);
  if (auto* view = dynamic_cast<TovxView*>(&object)) {
    CallScript(view->EventHandler(TovxView::Event::kOnAfterPrint), object);
  } else if (auto* band = dynamic_cast<TovxBand*>(&object)) {
    CallScript(band->OnAfterPrint(), object);
  }
}

// The band trees and the data set checks. Problems go to the report's
// errors; answers whether there were none.
bool TovxEngine::Initialize(TovxReportPage* only) {
  trees_.clear();
  band_runs_.clear();
  keep_ = Keep();
  group_runs_.clear();
  headers_.clear();
  saved_.clear();
  active_.clear();
  band_marks_.clear();
  tree_ = nullptr;
  page_ = nullptr;
  current_band_ = last_band_on_page_ = start_new_page_band_ = nullptr;
  in_page_start_ = in_end_page_ = false;
  page_objects_page_ = ended_page_ = continued_page_ = -1;
  frame_bands_.clear();
  data_tree_ = nullptr;
  running_pages_.clear();
  refused_.clear();
  collectors_.clear();
  extras_.clear();
  QStringList errors;
  for (TovxComponent* child : report_.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    // Subreports may run any page a subreport shows.
    if (!page || (only && page != only && !page->Subreport())) continue;
    SetUpPage(*page, errors);
  }
  for (const QString& error : errors) report_.AddError(error);
  return errors.isEmpty();
}

void TovxEngine::SetUpPage(TovxReportPage& page_ref, QStringList& errors) {
  TovxReportPage* page = &page_ref;
  TovxDataSet* report_data = report_.DataSet();
  ovx::BandTree& tree = trees_[page];
  ovx::BuildBandTree(*page, tree, errors, resource_text);
  // Both sides must name a data set for the check to mean anything.
  TovxDataSet* page_data = page->DataSet();
  if (report_data && page_data == report_data) {
    errors.append(resource_text(QStringLiteral("rsSameDataSetReportPage")));
  }
  for (TovxDataBand* band : tree.top) {
    TovxDataSet* band_data = band->DataSet();
    if (!band_data) continue;
    if (band_data == report_data) {
      errors.append(resource_text(QStringLiteral("rsSameDataSetReportBand")));
    }
    if (band_data == page_data) {
      errors.append(resource_text(QStringLiteral("rsSameDataSetPageBand")));
    }
  }
  // Band backgrounds before the page becomes a source page, so their
  // memos are stored as differences like every other object.
  for (TovxComponent* object : page->Objects()) {
    if (auto* band = dynamic_cast<TovxBand*>(object)) {
      if (!dynamic_cast<TovxNullBand*>(band)) band->PrepareBackground();
    }
  }
}

bool TovxEngine::TakeMorePages() {
  const size_t before = report_.Objects().size();
  if (!more_pages || !more_pages() || report_.Objects().size() <= before) return false;
  // Set up as the pages there from the start were: band tree, aggregate
  // calls, data sets, source page.
  const std::vector<TovxComponent*> added(report_.Objects().begin() + static_cast<long>(before),
                                          report_.Objects().end());
  QStringList errors;
  std::vector<TovxDataSet*> used;
  for (TovxComponent* child : added) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (!page) continue;
    SetUpPage(*page, errors);
    const ovx::BandTree& tree = trees_[page];
    aggregate_list_.CollectPage(*page, tree);
    used.push_back(page->DataSet());
    for (const auto& [band, links] : tree.data) {
      used.push_back(ovx::BandDataSet(const_cast<TovxDataBand&>(*band)));
    }
    pages_.AddSourcePage(*page);
  }
  OpenDataSets(std::move(used));
  // A page whose bands do not fit together stops the run, as it would have
  // stopped it before the start.
  for (const QString& error : errors) report_.AddError(error);
  return errors.isEmpty();
}

void TovxEngine::OpenDataSets(TovxReportPage* only) {
  std::vector<TovxDataSet*> used;
  for (int i = 0; i < report_.DataSetCount(); ++i) used.push_back(report_.DataSets(i).DataSet());
  used.push_back(report_.DataSet());
  for (auto& [page, tree] : trees_) {
    used.push_back(page->DataSet());
    for (const auto& [band, links] : tree.data) {
      used.push_back(ovx::BandDataSet(const_cast<TovxDataBand&>(*band)));
    }
  }
  (void)only;
  OpenDataSets(std::move(used));
}

void TovxEngine::OpenDataSets(std::vector<TovxDataSet*> used) {
  for (TovxDataSet* data_set : used) {
    if (!data_set || data_set->Active()) continue;
    opened_.push_back(data_set);  // before Open: a throwing Open is closed again
    data_set->Open();
  }
}

void TovxEngine::CloseDataSets() {
  while (!opened_.empty()) {
    TovxDataSet* data_set = opened_.back();
    opened_.pop_back();
    data_set->Close();
  }
}

// Ends the data cycle of every object still in it, newest first, so the
// template gets back what it had when a run stops half-way.
void TovxEngine::RestoreSavedObjects() {
  while (!saved_.empty()) {
    TovxReportComponent* object = saved_.back();
    saved_.pop_back();
    RestoreState(*object);
  }
  active_.clear();
  band_marks_.clear();
  report_.SetCurrentObject(nullptr);
}

bool TovxEngine::Run(bool run_dialogs, TovxReportPage* page) {
  if (running_) return false;
  // Initialisation: only problems found now stop the run, not those left
  // from loading the template.
  previous_footer_height_ = 0;
  start_date_ = QDate::currentDate();
  start_time_ = QTime::currentTime();
  cur_y_ = 0;
  cur_v_column_ = 0;
  aggregates_->Clear();
  aggregate_list_.Clear();
  if (!Initialize(page)) return false;
  for (TovxComponent* child : report_.Objects()) {
    auto* report_page = dynamic_cast<TovxReportPage*>(child);
    auto tree = report_page ? trees_.find(report_page) : trees_.end();
    if (tree != trees_.end()) aggregate_list_.CollectPage(*report_page, tree->second);
  }

  running_ = true;
  bool started = false;
  struct Cleanup {
    TovxEngine& engine;
    bool& started;
    ~Cleanup() {
      engine.RestoreSavedObjects();
      try {
        if (started) engine.CallScript(engine.report_.OnStopReport(), engine.report_);
      } catch (const ovx::Error& error) {
        engine.report_.AddError(error.Message());
      }
      try {
        engine.CloseDataSets();
      } catch (const ovx::Error& error) {
        engine.report_.AddError(error.Message());
      }
      engine.opened_.clear();
      // Copies made during the run go before the store forgets its
      // template objects.
      engine.collectors_.clear();
      engine.extras_.clear();
      engine.running_pages_.clear();
      engine.pages_.PostProcessor().after_data = nullptr;
      engine.pages_.Finish();
      engine.tree_ = nullptr;
      engine.page_ = nullptr;
      engine.running_ = false;
    }
  } cleanup{*this, started};
  pages_.SetEngine(this);
  pages_.Initialize();
  pages_.PostProcessor().after_data = [this](TovxView& view) {
    CallScript(view.EventHandler(TovxView::Event::kOnAfterData), view);
  };
  OpenDataSets(page);
  started = true;
  CallScript(report_.OnStartReport(), report_);
  // Dialog pages are kept as read and never shown here; a script may still
  // decide that the run does not go on.
  if (run_dialogs && !report_.OnRunDialogs().isEmpty() && call_run_dialogs &&
      !call_run_dialogs(report_.OnRunDialogs())) {
    return false;
  }

  std::vector<TovxReportPage*> report_pages;
  for (TovxComponent* child : report_.Objects()) {
    auto* report_page = dynamic_cast<TovxReportPage*>(child);
    if (!report_page || (page && report_page != page && !report_page->Subreport())) continue;
    report_pages.push_back(report_page);
    pages_.AddSourcePage(*report_page);
  }

  final_pass_ = !DoublePass();
  total_pages_ = 0;
  pages_.SetDoublePass(DoublePass());
  pages_.SetFinalPass(final_pass_);
  pages_.BeginPass();
  RunPass(page);
  if (DoublePass() && !report_.Terminated()) {
    total_pages_ = pages_.Count();
    pages_.SetCurPage(pages_.Count() - 1);
    pages_.DiscardFirstPass();
    // The first pass's pages are gone: their title, headers and footers
    // are placed again.
    frame_bands_.clear();
    page_objects_page_ = ended_page_ = continued_page_ = -1;
    aggregates_->Clear();
    aggregate_list_.ClearAllValues();
    final_pass_ = true;
    pages_.SetFinalPass(true);
    RunPass(page);
  }
  return true;
}

void TovxEngine::RunPass(TovxReportPage* only) {
  first_report_page_ = true;
  if (TovxDataSet* data_set = report_.DataSet()) {
    data_set->First();
    while (!data_set->Eof() && !report_.Terminated()) {
      RunPages(only);
      data_set->Next();
    }
  } else {
    RunPages(only);
  }
  // The page totals of this numbering run.
  pages_.ResetLogicalPages();
}

void TovxEngine::RunPages(TovxReportPage* only) {
  // By index: more_pages appends to the list while the run goes on.
  for (size_t i = 0;; ++i) {
    if (i >= report_.Objects().size()) {
      if (only || !KeepGoing() || !TakeMorePages() || i >= report_.Objects().size()) return;
    }
    auto* page = dynamic_cast<TovxReportPage*>(report_.Objects()[i]);
    if (!page || (only && page != only)) continue;
    if (!only && (!page->Visible() || page->Subreport())) continue;
    if (!KeepGoing()) return;
    RunReportPage(*page);
    first_report_page_ = false;
  }
}

void TovxEngine::RunReportPage(TovxReportPage& page) {
  page_ = &page;
  tree_ = &trees_[&page];
  data_tree_ = tree_;
  running_pages_.assign(1, &page);
  CallScript(page.OnBeforePrint(), page);
  if (TovxDataSet* data_set = page.DataSet()) {
    data_set->First();
    while (!data_set->Eof() && KeepGoing()) {
      RunPageContents(page);
      data_set->Next();
    }
  } else {
    for (int i = 0; i < page.PageCount() && KeepGoing(); ++i) RunPageContents(page);
  }
  CallScript(page.OnAfterPrint(), page);
}

void TovxEngine::RunPageContents(TovxReportPage& page) {
  if (!(page.PrintIfEmpty() && report_.EngineOptions().PrintIfEmpty()) && !PageHasData(page)) {
    return;
  }
  StartFirstPage(page);
  ShowPageObjects(page, 0);
  MarkBodyStart();

  if (on_manual_build) {
    on_manual_build(page);
  } else if (!page.OnManualBuild().isEmpty() && call_script) {
    CallScript(page.OnManualBuild(), page);
  } else {
    RunDataBands(tree_->top);
  }
  is_last_page_ = true;
  EndPage();
  is_last_page_ = false;
  NotifyEvent(TovxProcessAtMode::paReportPageFinished, nullptr);
}

// The page's own objects (outside bands) at `x` and the current y, once
// per run of the page contents. Views are copied and take no vertical
// space. A subreport is no view of its own: it prints what its page makes,
// inside the area (printed on its parent) or from its place on over as
// many columns and pages as that takes.
void TovxEngine::ShowPageObjects(TovxReportPage& page, double x) {
  std::vector<TovxComponent*> objects;
  std::vector<TovxComponent*> subreports;
  for (TovxComponent* child : page.Objects()) {
    if (dynamic_cast<TovxBand*>(child)) continue;
    if (dynamic_cast<TovxSubreport*>(child)) {
      subreports.push_back(child);
      continue;
    }
    objects.push_back(child);
  }
  const double top = cur_y_;
  if (!objects.empty()) {
    TovxNullBand band;
    band.SetBounds(x, top, page_width_, page_height_);
    ShowNullBand(band, objects);
    cur_y_ = top;
    // An endless page grows to hold its own objects as well as its bands.
    if (&page == page_ && page.EndlessHeight()) {
      page_objects_page_ = pages_.CurPage();
      page_objects_bottom_ = top;
      for (const TovxComponent* object : objects) {
        page_objects_bottom_ =
            std::max(page_objects_bottom_, top + object->Top() + object->Height());
      }
    }
  }
  if (subreports.empty() || report_.Terminated()) return;
  // The placeholders have their events around what they print, as on a
  // band; their state comes back whatever way the run leaves.
  const size_t mark = saved_.size();
  for (TovxComponent* object : subreports) {
    auto* subreport = static_cast<TovxSubreport*>(object);
    SaveState(*subreport);
    FireBeforePrint(*subreport);
  }
  for (Copy& copy : CollectSubreports(nullptr, SubreportsOf(subreports, true))) {
    copy->SetLeft(copy->Left() + x);
    copy->SetTop(copy->Top() + top);
    if (Collecting()) {
      collectors_.back().push_back(std::move(copy));
    } else {
      pages_.AddObject(*copy);
    }
  }
  const int start_page = pages_.CurPage();
  const int start_column = cur_column_;
  const double start_x = cur_x_;
  if (!report_.Terminated()) {
    RunSubreportsBeside(nullptr, SubreportsOf(subreports, false), start_page, x, top);
  }
  // Like the views they take no space where they stayed on the page; once
  // they ran on, the page's bands follow their end rather than printing
  // over them.
  if (pages_.CurPage() == start_page && cur_column_ == start_column) {
    cur_y_ = top;
    cur_x_ = start_x;
  }
  for (size_t i = mark; i < saved_.size(); ++i) FireAfterPrint(*saved_[i]);
  while (saved_.size() > mark) {
    TovxReportComponent* object = saved_.back();
    saved_.pop_back();
    RestoreState(*object);
  }
}

void TovxEngine::ShowNullBand(TovxNullBand& band, const std::vector<TovxComponent*>& objects) {
  for (TovxComponent* object : objects) {
    if (report_.Terminated()) return;
    ShowObject(*object, band.Left(), band.Top());
  }
}

// The data cycle of one object and its children, and its copy on the page.
// The objects stay listed as saved until their cycle ends, so an event or
// expression that throws leaves nothing changed in the template.
void TovxEngine::ShowObject(TovxComponent& object, double band_x, double band_top) {
  auto* printable = dynamic_cast<TovxReportComponent*>(&object);
  if (!printable) return;
  const size_t mark = saved_.size();
  saved_.push_back(printable);
  for (TovxComponent* child : object.AllObjects()) {
    if (auto* c = dynamic_cast<TovxReportComponent*>(child)) saved_.push_back(c);
  }
  for (size_t i = mark; i < saved_.size(); ++i) {
    TovxReportComponent* c = saved_[i];
    c->BeforePrint();
    FireBeforePrint(*c);
    report_.SetCurrentObject(c);
    c->GetData();
  }
  report_.SetCurrentObject(nullptr);
  if (Collecting()) {
    // Output of a subreport printed on its parent: a copy, placed relative
    // to the parent, as the bands it collects.
    if (Copy copy = CopyObject(object); copy && object.Visible()) {
      copy->SetLeft(band_x + object.Left());
      copy->SetTop(band_top + object.Top());
      collectors_.back().push_back(std::move(copy));
    }
  } else {
    if (band_x != 0) printable->SetLeft(printable->Left() + band_x);
    pages_.AddObject(object, band_top);
  }
  for (size_t i = mark; i < saved_.size(); ++i) {
    FireAfterPrint(*saved_[i]);
    saved_[i]->AfterPrint();
  }
  saved_.resize(mark);
}

// --- installation ---------------------------------------------------------------

namespace {

std::atomic<bool> g_scripting{false};

class EnginePreparation : public ovx::ReportPreparation {
 public:
  explicit EnginePreparation(TovxReport& report)
      : report_(report), pages_(&report), engine_(report, pages_) {
    pages_.SetEngine(&engine_);
    if (!g_scripting.load()) return;
    script_ = std::make_unique<ovx::ReportScript>(report, &engine_, &pages_);
    // A host or test that brought its own evaluator keeps it.
    if (!report.Evaluator()) report.SetEvaluator(script_.get());
    engine_.call_script = [this](const QString& procedure, TovxComponent& object) {
      script_->CallNotifyEvent(object, procedure);
    };
    engine_.call_run_dialogs = [this](const QString& procedure) {
      std::vector<ovx::ScriptValue> args{ovx::ScriptValue::Bool(true)};
      script_->CallParamEvent(procedure, args);
      return args[0].kind() != ovx::ScriptValue::Kind::kBool || args[0].ToBool();
    };
    pages_.preview_click = [this](TovxView& view, bool double_click) {
      // The preview has no place for an exception: the failure joins the
      // report's errors and the click changes nothing.
      try {
        return script_->PreviewClick(view, double_click, 0, 0);
      } catch (const ovx::Error& error) {
        report_.AddError(error.Message());
        return false;
      }
    };
  }

  // Script and expression errors end the run (the engine restores the
  // template on the way out) and are reported here, the same way for every
  // caller.
  bool Prepare(bool clear_last_report) override {
    if (engine_.Running() || busy_.exchange(true)) return false;
    thread_ = std::this_thread::get_id();
    struct Done {
      std::atomic<bool>& busy;
      ~Done() { busy.store(false); }
    } done{busy_};
    if (clear_last_report) pages_.Clear();
    report_.SetTerminated(false);
    // Scripts may set report variables (Set); the template gets its own
    // back however the run ends.
    struct KeepVariables {
      TovxReport& report;
      TovxVariables saved;
      ~KeepVariables() { report.Variables() = std::move(saved); }
    } keep{report_, report_.Variables()};
    try {
      if (script_ && !script_->Start()) return false;
      return engine_.Run(true, nullptr) && pages_.Count() > 0;
    } catch (const ovx::Error& error) {
      report_.AddError(error.Message());
      return false;
    }
  }
  bool Running() const override { return busy_.load() || engine_.Running(); }
  // A run on another thread is waited for, until Prepare has returned. A
  // run on this thread is further up the stack: a host callback is
  // destroying the report its own run stands on. Nothing can wait for that
  // run, and going on would have it use freed objects, so the program
  // stops here with a message rather than corrupt memory.
  void StopAndWait() override {
    report_.SetTerminated(true);
    if (busy_.load() && thread_.load() == std::this_thread::get_id()) {
      qFatal("A report was destroyed from inside its own preparation");
    }
    while (busy_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // The pages a run writes into stay while it runs.
  void ClearPrepared() override {
    if (!Running()) pages_.Clear();
  }

  TovxPreviewPages& Pages() { return pages_; }
  TovxEngine& Engine() { return engine_; }
  ovx::ReportScript* Script() { return script_.get(); }

 private:
  TovxReport& report_;
  TovxPreviewPages pages_;
  TovxEngine engine_;
  // Last: it goes first, while the engine and pages it names still exist.
  std::unique_ptr<ovx::ReportScript> script_;
  std::atomic<bool> busy_{false};
  std::atomic<std::thread::id> thread_;
};

ovx::ReportPreparation* CreatePreparation(TovxReport& report) {
  return new EnginePreparation(report);
}

}  // namespace

namespace ovx {

void InstallEngine() {
  g_scripting = false;
  SetReportPreparationFactory(&CreatePreparation);
}

void InstallScripting() {
  RegisterScriptLanguages();
  RegisterReportModule();
  g_scripting = true;
  SetReportPreparationFactory(&CreatePreparation);
}

ReportScript* ReportScripting(TovxReport& report) {
  auto* preparation = dynamic_cast<EnginePreparation*>(report.Preparation());
  return preparation ? preparation->Script() : nullptr;
}

TovxPreviewPages* PreparedPages(TovxReport& report) {
  auto* preparation = dynamic_cast<EnginePreparation*>(report.Preparation());
  return preparation ? &preparation->Pages() : nullptr;
}

TovxEngine* ReportEngine(TovxReport& report) {
  auto* preparation = dynamic_cast<EnginePreparation*>(report.Preparation());
  return preparation ? &preparation->Engine() : nullptr;
}

}  // namespace ovx
