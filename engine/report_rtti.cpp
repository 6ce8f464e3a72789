#include "engine/report_rtti.h"

#include <mutex>

#include "base/class_registry.h"
#include "base/meta_class.h"
#include "report/model/classes.h"
#include "script/classes_module.h"
#include "script/registry.h"
#include "script/script.h"

namespace ovx {

void RegisterReportRtti(TksScript& script) {
  // Ancestors first, so a class finds its ancestor's members registered;
  // a class whose ancestor is not a report class hangs under TPersistent.
  for (const MetaClass* meta : ReportClasses().Classes()) {
    const MetaClass* parent = meta->Parent();
    script.AddClass(*meta, parent ? parent->ClassName() : QStringLiteral("TPersistent"));
  }
}

void RegisterReportModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterClassesModule();
    AddScriptRttiModule(RegisterReportRtti);
  });
}

}  // namespace ovx
