// Making the report object classes known by name.
#pragma once

namespace ovx {
class ClassRegistry;

// Registers every creatable report object class (for loading templates and
// prepared reports by class name).
void RegisterReportClasses(ClassRegistry& registry);

}  // namespace ovx
