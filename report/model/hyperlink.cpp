#include "report/model/hyperlink.h"

#include "base/class_builder.h"

bool TovxHyperlink::operator==(const TovxHyperlink& other) const {
  return kind_ == other.kind_ && detail_report_ == other.detail_report_ &&
         detail_page_ == other.detail_page_ && expression_ == other.expression_ &&
         report_variable_ == other.report_variable_ && tab_caption_ == other.tab_caption_ &&
         value_ == other.value_ && values_separator_ == other.values_separator_;
}

const ovx::MetaClass& TovxHyperlink::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxHyperlink;
    ovx::ClassBuilder<C> b("TovxHyperlink", nullptr);
    b.Enum("Kind", &C::Kind, &C::SetKind).Default(TovxHyperlinkKind::hkURL);
    b.String("DetailReport", &C::DetailReport, &C::SetDetailReport);
    b.String("DetailPage", &C::DetailPage, &C::SetDetailPage);
    b.String("Expression", &C::Expression, &C::SetExpression);
    b.String("ReportVariable", &C::ReportVariable, &C::SetReportVariable);
    b.String("TabCaption", &C::TabCaption, &C::SetTabCaption);
    b.String("Value", &C::Value, &C::SetValue);
    b.String("ValuesSeparator", &C::ValuesSeparator, &C::SetValuesSeparator)
        .StoredWhen<C>([](const C& c) { return c.ValuesSeparator() != u";"; });
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxHyperlink; });
    return b.Build();
  }();
  return meta;
}
