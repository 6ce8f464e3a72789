// The report's side of preparation: finding the installed engine and the
// ShowReport glue. The engine itself lives in engine/.
#include "report/model/report_preparation.h"

#include "base/error.h"
#include "report/model/report.h"

#include <atomic>

namespace ovx {
namespace {
std::atomic<ReportPreparationFactory> g_factory{nullptr};
}  // namespace

void SetReportPreparationFactory(ReportPreparationFactory factory) { g_factory = factory; }
ReportPreparationFactory GetReportPreparationFactory() { return g_factory; }

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
  // The preview window that prepares in the background comes later; until
  // then the pages are prepared first and shown only when that succeeded.
  if (!PrepareReport(clear_last_report)) return false;
  if (show_prepared) show_prepared(*this);
  return true;
}
