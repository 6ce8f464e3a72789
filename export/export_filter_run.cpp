// The export run: TovxPreviewPages::Export as installed by InstallExport.
//
// Stages: ask (settings dialog), open the output (transport), run the pages
// (Start, each selected page, Finish), close. Whatever fails, the filter's
// FileName is put back and the transport closed before the failure is
// reported, so a re-throwing report leaves the filter as it found it. The
// files of a run take their names only when the whole run went well: a
// failed or cancelled run leaves the files it would have replaced alone.
//
// Pages are exported with their left and top edges moved to the margins,
// so that an object's absolute position is its place on the paper; the
// edges go back to 0 after the page, also when it fails.
#include "base/error.h"
#include "base/units.h"
#include "engine/page_ranges.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "export/output_transport.h"
#include "render/null_canvas.h"
#include "report/model/band.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QCoreApplication>

#include <optional>

namespace ovx {

class ExportRun {
 public:
  ExportRun(TovxPreviewPages& pages, TovxCustomExportFilter& filter)
      : pages_(pages), filter_(filter), report_(pages.Report()) {}

  bool Run();

 private:
  // The stages after the dialog; answers the run's result.
  bool OpenAndRun();
  // False when Start refused.
  bool RunPages(const PageRanges& selection);
  void ExportPage(TovxReportPage& page, int index);
  void ExportObjects(TovxReportPage& page, int index);
  void ExportObject(TovxComponent& object);
  void ProcessEvents();
  void AddError(const QString& message) { errors_.append(message); }
  // Adds every collected message to the report's error list and shows
  // them the way the silent mode asks; without a report, throws.
  void ReportErrors();

  TovxPreviewPages& pages_;
  TovxCustomExportFilter& filter_;
  TovxReport* report_;
  QStringList errors_;
  TovxCustomMemoView::PrintState print_state_;
};

namespace {

QString MessageOf(const Error& error) { return TovxResources::Instance().Message(error); }

// The band an object lies on (the object itself for a band); null for
// objects placed on the page directly.
TovxBand* BandOf(TovxComponent& object) {
  for (TovxComponent* c = &object; c; c = c->Parent()) {
    if (auto* band = dynamic_cast<TovxBand*>(c)) return band;
  }
  return nullptr;
}

}  // namespace

bool ExportRun::Run() {
  pages_.SetCopyNo(0);
  filter_.SetCreationTime(QDateTime::currentDateTime());
  filter_.SetReport(report_);
  bool result = false;
  try {
    if (filter_.on_before_export) filter_.on_before_export(filter_);
    if (filter_.ShowDialog() && filter_.ShowModal() != ModalResult::kOk) return false;
    result = OpenAndRun();
  } catch (const Error& error) {
    AddError(MessageOf(error));
  } catch (const std::exception& error) {
    AddError(QString::fromLocal8Bit(error.what()));
  }
  if (!errors_.isEmpty()) {
    ReportErrors();
    return false;
  }
  return result;
}

bool ExportRun::OpenAndRun() {
  // The default transport: the cached file-dialog one when the user is to
  // choose the file, a plain file transport made for this run otherwise.
  std::unique_ptr<TovxCustomIOTransport> run_transport;
  TovxCustomIOTransport* transport = filter_.IOTransport();
  if (!transport) {
    if (filter_.ShowDialog() && !filter_.TemporaryOutput() && !filter_.Stream()) {
      if (!filter_.DialogTransport()) {
        filter_.SetDialogTransport(filter_.CreateDefaultIOTransport());
      }
      transport = filter_.DialogTransport();
    } else {
      run_transport = std::make_unique<TovxFileTransport>();
      transport = run_transport.get();
    }
  }
  transport->TakeSettingsFrom(filter_);

  // What the run changes on the filter goes back afterwards: the name chosen
  // in the save dialog, and the current page's number standing in for the
  // range (a later run without CurPage must not inherit it).
  struct Restore {
    TovxCustomExportFilter& filter;
    TovxCustomIOTransport& transport;
    const QString file_name;
    const QString page_numbers;
    ~Restore() {
      filter.SetFileName(file_name);
      filter.SetPageNumbers(page_numbers);
      filter.active_transport_ = nullptr;
      filter.exported_pages_ = nullptr;
      filter.selection_ = nullptr;
      transport.CloseFilter();
    }
  } restore{filter_, *transport, filter_.FileName(), filter_.PageNumbers()};

  if (!transport->OpenFilter()) return false;
  // Files given back stay under their temporary names until every page and
  // Finish went well; Restore's CloseFilter drops them otherwise.
  transport->HoldCompletedFiles();
  filter_.active_transport_ = transport;
  filter_.SetFileName(transport->FileName());
  if (filter_.CurPage()) {
    const int shown = pages_.CurPreviewPage();
    filter_.SetPageNumbers(QString::number(shown > 0 ? shown : 1));
  }
  if (report_) report_->SetTerminated(false);
  const PageRanges selection = PageRanges::Parse(filter_.PageNumbers(), pages_.Count());
  filter_.exported_pages_ = &pages_;
  filter_.selection_ = &selection;
  try {
    if (!RunPages(selection)) {
      AddError(TovxResources::Instance().Get(u"rsExportNotStarted"));
      return false;
    }
  } catch (const EExportTerminated&) {
    // The user's cancel is no failure, but what it left unfinished must
    // not replace the files of an earlier export: nothing is committed.
    return true;
  }
  return true;
}

bool ExportRun::RunPages(const PageRanges& selection) {
  if (filter_.on_begin_export) filter_.on_begin_export(filter_);
  filter_.PrepareFileName();
  if (!filter_.Start()) return false;
  const bool progress = filter_.ShowProgress() && report_;
  if (progress && report_->on_progress_start) report_->on_progress_start();

  std::exception_ptr failure;
  try {
    for (int index = 0; index < pages_.Count(); ++index) {
      if (!selection.Contains(index)) continue;
      TovxReportPage* page = pages_.GetPage(index);
      if (!page) continue;
      if (progress && report_->on_progress) report_->on_progress(index + 1);
      ExportPage(*page, index);
      ProcessEvents();
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // The filter closes its output whatever happened to the pages: a cancel
  // keeps what was drawn, an error still frees what the filter holds.
  if (progress && report_->on_progress_stop) report_->on_progress_stop();
  try {
    filter_.Finish();
    // The files take their names before AfterFinish may open them.
    if (!failure && filter_.active_transport_) filter_.active_transport_->CommitHeldFiles();
    filter_.AfterFinish();
  } catch (...) {
    if (!failure) throw;
    // The first failure is reported; this one is kept with it.
    try {
      throw;
    } catch (const Error& error) {
      AddError(MessageOf(error));
    } catch (const std::exception& error) {
      AddError(QString::fromLocal8Bit(error.what()));
    }
  }
  if (failure) std::rethrow_exception(failure);
  return true;
}

void ExportRun::ExportPage(TovxReportPage& page, int index) {
  struct ResetEdges {
    ExportRun& run;
    TovxReportPage& page;
    ~ResetEdges() {
      page.SetLeft(0);
      page.SetTop(0);
      // Without a preview nobody needs the rebuilt page again soon.
      if (run.pages_.CurPreviewPage() <= 0) run.pages_.ClearCache();
    }
  };
  ResetEdges reset{*this, page};
  // FinishPage comes whatever happens after StartPage was called.
  try {
    filter_.StartPage(page, index);
    const bool mirrored = page.MirrorMargins() && index % 2 == 1;
    page.SetLeft((mirrored ? page.RightMargin() : page.LeftMargin()) * ov01cm);
    page.SetTop(page.TopMargin() * ov01cm);
    ExportObjects(page, index);
  } catch (...) {
    filter_.FinishPage(page, index);
    throw;
  }
  filter_.FinishPage(page, index);
}

void ExportRun::ExportObjects(TovxReportPage& page, int index) {
  // An export is one copy: "[CopyName#]" ends in 1.
  print_state_ = TovxCustomMemoView::PrintState{pages_.Count(), 1, std::nullopt, 0};
  print_state_.copy_name = ovx::CopyNameVariable(report_ ? &report_->Variables() : nullptr);

  // The page's colour, frame and picture as a view over the printable area.
  TovxPictureView background;
  background.SetName(QStringLiteral("_pagebackground"));
  background.SetColor(page.Color());
  background.SetFrame(page.Frame());
  background.SetPicture(page.BackPicture());
  background.SetStretched(true);
  background.SetKeepAspectRatio(false);
  background.SetBounds(page.Left(), page.Top(),
                       page.Width() - (page.LeftMargin() + page.RightMargin()) * ov01cm,
                       page.Height() - (page.TopMargin() + page.BottomMargin()) * ov01cm);
  ExportObject(background);

  const int last = pages_.Count() - 1;
  // Objects of a page-level report lie on the page itself (their band was
  // a null band); banded pages hold bands with objects on them. Both are
  // walked in drawing order.
  for (TovxComponent* object : page.AllObjects()) {
    if (filter_.SuppressPageBands()) {
      TovxBand* band = BandOf(*object);
      if (dynamic_cast<TovxPageHeader*>(band) && index != 0) continue;
      if (dynamic_cast<TovxPageFooter*>(band) && index != last) continue;
    }
    ExportObject(*object);
  }
}

void ExportRun::ExportObject(TovxComponent& object) {
  if (filter_.DataOnly() && !dynamic_cast<TovxDataBand*>(BandOf(object))) return;
  auto* view = dynamic_cast<TovxView*>(&object);
  if (view && !view->Visibility().Contains(TovxVisibilityType::vsExport)) return;

  auto* memo = dynamic_cast<TovxCustomMemoView*>(&object);
  struct Unmark {
    TovxCustomMemoView* memo;
    ~Unmark() {
      if (memo) memo->SetPrintState(nullptr);
    }
  } unmark{memo};
  if (memo) {
    memo->SetPrintState(&print_state_);
    // Page totals and copy names are filled in by drawing; drawn once on a
    // scratch canvas, the memo's text holds them for filters that read it.
    if (memo->AllowExpressions() && memo->Text().contains(u'[')) {
      NullCanvas scratch;
      memo->Draw(scratch, 1, 1, 0, 0);
    }
  }

  const ObjectExportHook* hook = GlobalObjectExportHooks().Find(object);
  if (!hook || !(*hook)(object, filter_)) filter_.ExportObject(object);
  if (report_ && report_->Terminated()) throw EExportTerminated();
}

void ExportRun::ProcessEvents() {
  if (report_ && report_->EngineOptions().EnableThreadSafe()) return;
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void ExportRun::ReportErrors() {
  if (!report_) throw Error(QString(), errors_.join(u'\n'));
  for (const QString& message : errors_) report_->AddError(message);
  report_->ShowErrorText(TovxResources::Instance().Get(u"clErrors") + u'\n' +
                         report_->Errors().join(u'\n'));
}

namespace {

bool RunExport(TovxPreviewPages& pages, TovxCustomExportFilter& filter) {
  return ExportRun(pages, filter).Run();
}

}  // namespace

void InstallExport() { SetPagesExporter(&RunExport); }

}  // namespace ovx
