#include "report/model/view.h"

#include "base/class_builder.h"

const ovx::MetaClass& TovxView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxView;
    ovx::ClassBuilder<C> b("TovxView", &TovxReportComponent::StaticMetaClass());
    b.Set("Anchors", "TovxAnchors", &C::Anchors, &C::SetAnchors)
        .Default(TovxAnchors{TovxAnchor::fraLeft, TovxAnchor::fraTop});
    b.Enum("Align", &C::Align, &C::SetAlign).Default(TovxAlign::baNone);
    b.Float("Left", &C::Left, &C::SetLeft).Default(0);
    b.Float("Top", &C::Top, &C::SetTop).Default(0);
    b.Float("Width", &C::Width, &C::SetWidth).Default(0);
    b.Float("Height", &C::Height, &C::SetHeight).Default(0);
    b.Integer("GroupIndex", &C::GroupIndex, &C::SetGroupIndex).Default(0);
    b.Set("Restrictions", "TovxRestrictions", &C::Restrictions, &C::SetRestrictions)
        .Default(TovxRestrictions{});
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    return b.Build();
  }();
  return meta;
}
