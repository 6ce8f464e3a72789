// The engine's run for page-level reports and its installation into reports
// (see engine.h for the design).
#include "engine/engine.h"

#include "base/rounding.h"
#include "base/units.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"

#include <QCoreApplication>

TovxEngine::TovxEngine(TovxReport& report, TovxPreviewPages& pages)
    : report_(report), pages_(pages) {
  process_events = [] { QCoreApplication::processEvents(); };
}

bool TovxEngine::DoublePass() const { return report_.EngineOptions().DoublePass(); }

double TovxEngine::FreeSpace() const { return page_height_ - previous_footer_height_ - cur_y_; }

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
  }
}

void TovxEngine::FireAfterPrint(TovxComponent& object) {
  if (report_.on_after_print) report_.on_after_print(object);
  if (auto* view = dynamic_cast<TovxView*>(&object)) {
    CallScript(view->EventHandler(TovxView::Event::kOnAfterPrint), object);
  }
}

bool TovxEngine::Run(bool run_dialogs, TovxReportPage* page) {
  if (running_) return false;
  // Initialisation: only problems found now stop the run, not those left
  // from loading the template.
  const qsizetype errors_before = report_.Errors().size();
  previous_footer_height_ = 0;
  start_date_ = QDate::currentDate();
  start_time_ = QTime::currentTime();
  cur_y_ = 0;
  if (report_.Errors().size() != errors_before) return false;

  running_ = true;
  struct Cleanup {
    TovxEngine& engine;
    ~Cleanup() {
      engine.CallScript(engine.report_.OnStopReport(), engine.report_);
      engine.pages_.Finish();
      engine.running_ = false;
    }
  } cleanup{*this};
  pages_.SetEngine(this);
  pages_.Initialize();
  CallScript(report_.OnStartReport(), report_);

  std::vector<TovxReportPage*> report_pages;
  for (TovxComponent* child : report_.Objects()) {
    auto* report_page = dynamic_cast<TovxReportPage*>(child);
    if (!report_page || (page && report_page != page)) continue;
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
  for (TovxComponent* child : report_.Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (!page || (only && page != only)) continue;
    if (!only && (!page->Visible() || page->Subreport())) continue;
    if (!KeepGoing()) return;
    RunReportPage(*page);
    first_report_page_ = false;
  }
}

void TovxEngine::RunReportPage(TovxReportPage& page) {
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

void TovxEngine::StartFirstPage(TovxReportPage& page) {
  page_height_ = page.PrintableHeight();
  page_width_ = page.PrintableWidth();
  cur_x_ = 0;
  cur_y_ = 0;
  cur_column_ = 1;
  pages_.Outline().LevelRoot();
  if (page.ResetPageNumbers()) pages_.ResetLogicalPages();
  if (pages_.Count() > 0 && page.PrintOnPreviousPage()) {
    pages_.SetCurPage(pages_.Count() - 1);
    cur_y_ = pages_.LastUsedY(0);
  } else {
    previous_footer_height_ = 0;
    pages_.AddPage(page);
    cur_y_ = 0;
  }
  if (first_report_page_) pages_.SetFirstPage(pages_.CurPage());
  if (!page.OutlineText().isEmpty()) {
    pages_.Outline().AddItem(report_.Calc(page.OutlineText(), &page).toString(),
                             static_cast<int>(ovx::Round(cur_y_)));
  }
}

void TovxEngine::RunPageContents(TovxReportPage& page) {
  const bool has_data_bands = page.FindBand<TovxDataBand>() != nullptr;
  if (!(page.PrintIfEmpty() && report_.EngineOptions().PrintIfEmpty()) && !has_data_bands) {
    return;
  }
  StartFirstPage(page);

  // The page's own objects, once on each started page, at their positions
  // relative to the printable area; they take no vertical space.
  std::vector<TovxComponent*> objects;
  for (TovxComponent* child : page.Objects()) {
    if (!dynamic_cast<TovxBand*>(child)) objects.push_back(child);
  }
  TovxNullBand band;
  band.SetBounds(0, cur_y_, page_width_, page_height_);
  const double saved_y = cur_y_;
  ShowNullBand(band, objects);
  cur_y_ = saved_y;

  if (on_manual_build) {
    on_manual_build(page);
  } else if (!page.OnManualBuild().isEmpty() && call_script) {
    CallScript(page.OnManualBuild(), page);
  } else {
    RunDataBands(page);
  }
}

void TovxEngine::ShowNullBand(TovxNullBand& band, const std::vector<TovxComponent*>& objects) {
  for (TovxComponent* object : objects) {
    if (report_.Terminated()) return;
    ShowObject(*object, band.Top());
  }
}

// The data cycle of one object and its children, and its copy on the page.
void TovxEngine::ShowObject(TovxComponent& object, double band_top) {
  auto* printable = dynamic_cast<TovxReportComponent*>(&object);
  if (!printable) return;
  std::vector<TovxReportComponent*> cycle{printable};
  for (TovxComponent* child : object.AllObjects()) {
    if (auto* c = dynamic_cast<TovxReportComponent*>(child)) cycle.push_back(c);
  }
  for (TovxReportComponent* c : cycle) {
    c->BeforePrint();
    FireBeforePrint(*c);
    report_.SetCurrentObject(c);
    c->GetData();
  }
  report_.SetCurrentObject(nullptr);
  pages_.AddObject(object, band_top);
  for (TovxReportComponent* c : cycle) {
    FireAfterPrint(*c);
    c->AfterPrint();
  }
}

// --- installation ---------------------------------------------------------------

namespace {

class EnginePreparation : public ovx::ReportPreparation {
 public:
  explicit EnginePreparation(TovxReport& report)
      : report_(report), pages_(&report), engine_(report, pages_) {
    pages_.SetEngine(&engine_);
  }

  bool Prepare(bool clear_last_report) override {
    if (engine_.Running()) return false;
    if (clear_last_report) pages_.Clear();
    report_.SetTerminated(false);
    return engine_.Run(true, nullptr) && pages_.Count() > 0;
  }
  bool Running() const override { return engine_.Running(); }
  void ClearPrepared() override { pages_.Clear(); }

  TovxPreviewPages& Pages() { return pages_; }
  TovxEngine& Engine() { return engine_; }

 private:
  TovxReport& report_;
  TovxPreviewPages pages_;
  TovxEngine engine_;
};

ovx::ReportPreparation* CreatePreparation(TovxReport& report) {
  return new EnginePreparation(report);
}

}  // namespace

namespace ovx {

void InstallEngine() { SetReportPreparationFactory(&CreatePreparation); }

TovxPreviewPages* PreparedPages(TovxReport& report) {
  auto* preparation = dynamic_cast<EnginePreparation*>(report.Preparation());
  return preparation ? &preparation->Pages() : nullptr;
}

TovxEngine* ReportEngine(TovxReport& report) {
  auto* preparation = dynamic_cast<EnginePreparation*>(report.Preparation());
  return preparation ? &preparation->Engine() : nullptr;
}

}  // namespace ovx
