// Making the report object classes known by name.
#pragma once

namespace ovx {
class ClassRegistry;

// Registers every class a template or prepared report may name.
void RegisterReportClasses(ClassRegistry& registry);

// The process-wide registry of those classes, filled on first use. Reports
// use it unless the host gives them a registry of its own.
const ClassRegistry& ReportClasses();

}  // namespace ovx
