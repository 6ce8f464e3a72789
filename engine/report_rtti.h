// What scripts of a report can reach of the report library: its classes
// (from their property metadata), enumerations, methods and functions.
// Registered as an RTTI module, so every report script that applies
// AddRTTI gets the same set without a second table.
#pragma once

class TksScript;

namespace ovx {

// Appends the report module to the RTTI module list after the classes
// module, once; call at start-up, before the first report prepares.
void RegisterReportModule();
// The registrations themselves, for a module list of one's own.
void RegisterReportRtti(TksScript& script);

}  // namespace ovx
