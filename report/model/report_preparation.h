// The hook through which a report reaches the engine that prepares it.
//
// The report model sits below the engine, so it cannot create one itself:
// the engine module installs a factory once (ovx::InstallEngine) and every
// report asks it, on first use, for the object that owns its engine and its
// prepared pages. A report without an installed factory cannot prepare and
// says so with an error instead of producing nothing.
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
};

using ReportPreparationFactory = ReportPreparation* (*)(TovxReport& report);

// Process-wide; set by the engine module before reports prepare.
void SetReportPreparationFactory(ReportPreparationFactory factory);
ReportPreparationFactory GetReportPreparationFactory();

}  // namespace ovx
