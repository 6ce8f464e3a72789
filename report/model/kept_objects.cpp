#include "report/model/kept_objects.h"

#include "base/class_builder.h"
#include "base/class_registry.h"
#include "report/model/page.h"

#include <deque>

namespace {

// Views of other products that may stand on report pages.
constexpr const char* kKeptViews[] = {
    "TovxBarCodeView", "TovxRichView",     "TovxOLEView",           "TovxCheckBoxView",
    "TovxChartView",   "TovxCrossView",    "TovxDBCrossView",       "TovxGradientView",
    "TovxMapView",     "TovxGaugeView",    "TovxIntervalGaugeView", "TovxZipCodeView",
    "TovxTableObject", "TovxCellularText", "TovxDMPMemoView",       "TovxDMPLineView",
    "TovxDMPCommand",
};

// Controls of dialog pages.
constexpr const char* kKeptControls[] = {
    "TovxLabelControl",    "TovxEditControl",         "TovxMemoControl",
    "TovxButtonControl",   "TovxCheckBoxControl",     "TovxRadioButtonControl",
    "TovxListBoxControl",  "TovxComboBoxControl",     "TovxDateEditControl",
    "TovxImageControl",    "TovxBevelControl",        "TovxPanelControl",
    "TovxGroupBoxControl", "TovxBitBtnControl",       "TovxSpeedButtonControl",
    "TovxMaskEditControl", "TovxCheckListBoxControl", "TovxDBLookupComboBox",
};

// Database components of the data page.
constexpr const char* kKeptDataComponents[] = {
    "TovxDBDataset",   "TovxBDEDatabase", "TovxBDETable",    "TovxBDEQuery",
    "TovxADODatabase", "TovxADOTable",    "TovxADOQuery",    "TovxIBXDatabase",
    "TovxIBXTable",    "TovxIBXQuery",    "TovxDBXDatabase", "TovxDBXTable",
    "TovxDBXQuery",    "TovxFIBDatabase", "TovxFIBTable",    "TovxFIBQuery",
};

// Pages of dot-matrix reports.
constexpr const char* kKeptPages[] = {"TovxDMPPage"};

// The class descriptions live as long as the process, like those of the
// modelled classes; a deque keeps their addresses fixed as it grows.
std::deque<ovx::MetaClass>& KeptClasses() {
  static std::deque<ovx::MetaClass> classes;
  return classes;
}

template <class Base>
const ovx::MetaClass& MakeKeptClass(const char* class_name) {
  auto& classes = KeptClasses();
  const size_t index = classes.size();
  classes.emplace_back(QString::fromLatin1(class_name), &Base::StaticMetaClass(),
                       std::vector<std::unique_ptr<ovx::PropertyInfo>>{},
                       [index](ovx::Persistent* owner) -> ovx::Persistent* {
                         return new TovxKeptObject<Base>(dynamic_cast<TovxComponent*>(owner),
                                                         KeptClasses()[index]);
                       });
  return classes.back();
}

// Every kept class, made once.
const std::vector<const ovx::MetaClass*>& AllKeptClasses() {
  static const std::vector<const ovx::MetaClass*> all = [] {
    std::vector<const ovx::MetaClass*> made;
    for (const char* name : kKeptViews) made.push_back(&MakeKeptClass<TovxView>(name));
    for (const char* name : kKeptControls) made.push_back(&MakeKeptClass<TovxDialogControl>(name));
    for (const char* name : kKeptDataComponents) {
      made.push_back(&MakeKeptClass<TovxDialogComponent>(name));
    }
    for (const char* name : kKeptPages) made.push_back(&MakeKeptClass<TovxPage>(name));
    return made;
  }();
  return all;
}

}  // namespace

const ovx::MetaClass& TovxDialogControl::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxDialogControl> b("TovxDialogControl",
                                           &TovxReportComponent::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

namespace ovx {

void RegisterKeptClasses(ClassRegistry& registry) {
  for (const MetaClass* meta : AllKeptClasses()) registry.Register(*meta);
}

}  // namespace ovx
