// The report's side of preparation: finding the installed engine and the
// ShowReport glue. The engine itself lives in engine/, the preview window in
// preview/.
#include "report/model/report_preparation.h"

#include "base/error.h"
#include "report/model/report.h"

#include <atomic>

namespace ovx {
namespace {
std::atomic<ReportPreparationFactory> g_factory{nullptr};
std::atomic<PreviewHost*> g_preview_host{nullptr};
}  // namespace

void SetReportPreparationFactory(ReportPreparationFactory factory) { g_factory = factory; }
ReportPreparationFactory GetReportPreparationFactory() { return g_factory; }
void SetPreviewHost(PreviewHost* host) { g_preview_host = host; }
PreviewHost* GetPreviewHost() { return g_preview_host; }

}  // namespace ovx

ovx::ReportPreparation* TovxReport::Preparation() {
  if (!preparation_) {
    if (ovx::ReportPreparationFactory factory = ovx::GetReportPreparationFactory()) {
      preparation_.reset(factory(*this));
    }
  }
  return preparation_.get();
}

bool TovxReport::PrepareReport(bool clear_last_report) {
  ovx::ReportPreparation* preparation = Preparation();
  if (!preparation) {
    throw ovx::Error(QString(), QStringLiteral("No report engine is installed"));
  }
  return preparation->Prepare(clear_last_report);
}

bool TovxReport::ShowReport(bool clear_last_report) {
  ovx::ReportPreparation* preparation = Preparation();
  if (preparation && preparation->Running()) return false;
  // A host callback of the report's own takes precedence over the installed
  // preview window; it is given the pages only once they are prepared.
  if (!show_prepared) {
    if (ovx::PreviewHost* host = ovx::GetPreviewHost()) {
      return host->ShowReport(*this, clear_last_report);
    }
  }
  if (!PrepareReport(clear_last_report)) return false;
  ShowPrepared();
  return true;
}

void TovxReport::ShowPrepared() {
  if (show_prepared) {
    show_prepared(*this);
  } else if (ovx::PreviewHost* host = ovx::GetPreviewHost()) {
    host->ShowPrepared(*this);
  }
}
