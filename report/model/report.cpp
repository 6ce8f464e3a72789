#include "report/model/report.h"

#include "base/class_builder.h"
#include "base/class_registry.h"
#include "report/model/classes.h"
#include "report/model/page.h"

const ovx::MetaClass& TovxReport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxReport> b("TovxReport", &TovxComponent::StaticMetaClass());
    b.Creatable(ovx::ComponentFactory<TovxReport>());
    return b.Build();
  }();
  return meta;
}

namespace ovx {

void RegisterReportClasses(ClassRegistry& registry) {
  registry.Register(TovxReport::StaticMetaClass());
  registry.Register(TovxDialogPage::StaticMetaClass());
}

}  // namespace ovx
