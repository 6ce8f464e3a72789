#include "report/model/page.h"

#include "base/class_builder.h"

const ovx::MetaClass& TovxPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxPage;
    ovx::ClassBuilder<C> b("TovxPage", &TovxComponent::StaticMetaClass());
    b.Object(
         "Font", [](C& c) -> TovxFont& { return c.Font(); }, &C::SetFont)
        .StoredWhen<C>([](const C& c) { return !c.ParentFont(); });
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxDialogPage::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxDialogPage> b("TovxDialogPage", &TovxPage::StaticMetaClass());
    b.Creatable(ovx::ComponentFactory<TovxDialogPage>());
    return b.Build();
  }();
  return meta;
}
