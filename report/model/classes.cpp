#include "report/model/classes.h"

#include "base/class_registry.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/kept_objects.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "report/model/shape_view.h"
#include "report/model/subreport.h"

namespace ovx {

void RegisterReportClasses(ClassRegistry& registry) {
  for (const MetaClass* meta : {
           // The report and its pages.
           &TovxReport::StaticMetaClass(),
           &TovxDataPage::StaticMetaClass(),
           &TovxReportPage::StaticMetaClass(),
           &TovxDialogPage::StaticMetaClass(),
           // Bands.
           &TovxNullBand::StaticMetaClass(),
           &TovxReportTitle::StaticMetaClass(),
           &TovxReportSummary::StaticMetaClass(),
           &TovxPageHeader::StaticMetaClass(),
           &TovxPageFooter::StaticMetaClass(),
           &TovxHeader::StaticMetaClass(),
           &TovxFooter::StaticMetaClass(),
           &TovxMasterData::StaticMetaClass(),
           &TovxDetailData::StaticMetaClass(),
           &TovxSubdetailData::StaticMetaClass(),
           &TovxDataBand4::StaticMetaClass(),
           &TovxDataBand5::StaticMetaClass(),
           &TovxDataBand6::StaticMetaClass(),
           &TovxGroupHeader::StaticMetaClass(),
           &TovxGroupFooter::StaticMetaClass(),
           &TovxChild::StaticMetaClass(),
           &TovxColumnHeader::StaticMetaClass(),
           &TovxColumnFooter::StaticMetaClass(),
           &TovxOverlay::StaticMetaClass(),
           // Views.
           &TovxMemoView::StaticMetaClass(),
           &TovxSysMemoView::StaticMetaClass(),
           &TovxPictureView::StaticMetaClass(),
           &TovxShapeView::StaticMetaClass(),
           &TovxLineView::StaticMetaClass(),
           &TovxSubreport::StaticMetaClass(),
           // Data.
           &TovxUserDataSet::StaticMetaClass(),
       }) {
    registry.Register(*meta);
  }
  RegisterKeptClasses(registry);
}

const ClassRegistry& ReportClasses() {
  static const ClassRegistry registry = [] {
    ClassRegistry classes;
    RegisterReportClasses(classes);
    return classes;
  }();
  return registry;
}

}  // namespace ovx
