// The hooks through which a report reaches the engine that prepares it and
// the preview window that shows the result.
//
// The report model sits below the engine, so it cannot create one itself:
// the engine module installs a factory once (ovx::InstallEngine) and every
// report asks it, on first use, for the object that owns its engine and its
// prepared pages. A report without an installed factory cannot prepare and
// says so with an error instead of producing nothing.
//
// The preview window sits higher still; the preview module installs a host
// (ovx::InstallPreview) that ShowReport and ShowPrepared hand the report to.
#pragma once

class TovxReport;

namespace ovx {

class ReportPreparation {
 public:
  virtual ~ReportPreparation() = default;
  // Runs the engine over the report; answers whether pages were prepared.
  virtual bool Prepare(bool clear_last_report) = 0;
  // True while a preparation is in progress.
  virtual bool Running() const = 0;
  // Drops the prepared pages.
  virtual void ClearPrepared() = 0;
  // Called while the report is being destroyed: a preparation running on
  // another thread is told to stop and waited for, so nothing is freed
  // under it.
  virtual void StopAndWait() {}
};

using ReportPreparationFactory = ReportPreparation* (*)(TovxReport& report);

// Process-wide; set by the engine module before reports prepare.
void SetReportPreparationFactory(ReportPreparationFactory factory);
ReportPreparationFactory GetReportPreparationFactory();

// The window that shows prepared reports.
class PreviewHost {
 public:
  virtual ~PreviewHost() = default;
  // Opens a preview on `report` and prepares the report in it; answers
  // whether the preview opened.
  virtual bool ShowReport(TovxReport& report, bool clear_last_report) = 0;
  // Opens a preview on the pages the report holds now.
  virtual void ShowPrepared(TovxReport& report) = 0;
  // The report is going away: every preview on it must let go of it now.
  virtual void ReportDestroyed(TovxReport& report) = 0;
};

// Process-wide; set by the preview module at start-up. The host must outlive
// its installation (null uninstalls).
void SetPreviewHost(PreviewHost* host);
PreviewHost* GetPreviewHost();

}  // namespace ovx
