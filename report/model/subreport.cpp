#include "report/model/subreport.h"

#include "base/class_builder.h"
#include "report/model/page.h"

TovxSubreport::TovxSubreport(TovxComponent* owner) : TovxView(owner) {
  TovxFont font;
  font.SetName(QStringLiteral("Tahoma"));
  font.SetSize(8);
  SetFont(font);
  Frame().SetTyp(TovxFrameTypes{TovxFrameType::ftLeft, TovxFrameType::ftRight, TovxFrameType::ftTop,
                                TovxFrameType::ftBottom});
  SetColor(clSilver);
}

TovxSubreport::~TovxSubreport() { SetPage(nullptr); }

void TovxSubreport::SetPage(TovxReportPage* page) {
  if (page == page_) return;
  if (page_) page_->subreport_ = nullptr;
  if (page && page->subreport_) page->subreport_->page_ = nullptr;
  page_ = page;
  if (page_) page_->subreport_ = this;
}

const ovx::MetaClass& TovxSubreport::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxSubreport;
    ovx::ClassBuilder<C> b("TovxSubreport", &TovxView::StaticMetaClass());
    b.Reference("Page", "TovxReportPage", &C::Page, &C::SetPage);
    b.Bool("PrintOnParent", &C::PrintOnParent, &C::SetPrintOnParent).Default(false);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
