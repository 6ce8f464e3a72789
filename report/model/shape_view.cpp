#include "report/model/shape_view.h"

#include "base/class_builder.h"

const ovx::MetaClass& TovxShapeView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxShapeView;
    ovx::ClassBuilder<C> b("TovxShapeView", &TovxView::StaticMetaClass());
    // Derived from the fill, which is stored in its place.
    b.Color("Color", &C::Color, &C::SetColor).Default(clNone).Stored(false);
    b.Integer("Cursor", &C::Cursor, &C::SetCursor, "TCursor").Default(0);
    b.Integer("Curve", &C::Curve, &C::SetCurve).Default(0);
    b.Enum("FillType", &C::FillType, &C::SetFillType).Default(TovxFillType::ftBrush);
    b.Object(
         "Fill", [](C& c) -> TovxCustomFill& { return c.Fill(); }, &C::SetFill)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFill(); });
    b.Object(
         "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFrame(); });
    b.Enum("Shape", &C::Shape, &C::SetShape).Default(TovxShapeKind::skRectangle);
    b.String("TagStr", &C::TagStr, &C::SetTagStr);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxCustomLineView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxCustomLineView> b("TovxCustomLineView",
                                            &TovxStretcheable::StaticMetaClass());
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxLineView::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxLineView;
    ovx::ClassBuilder<C> b("TovxLineView", &TovxCustomLineView::StaticMetaClass());
    // Lines publish no fill, so the colour is stored itself.
    b.Color("Color", &C::Color, &C::SetColor).Default(clNone);
    b.String("TagStr", &C::TagStr, &C::SetTagStr);
    b.Bool("ArrowEnd", &C::ArrowEnd, &C::SetArrowEnd).Default(false);
    b.Integer("ArrowLength", &C::ArrowLength, &C::SetArrowLength).Default(20);
    b.Bool("ArrowSolid", &C::ArrowSolid, &C::SetArrowSolid).Default(false);
    b.Bool("ArrowStart", &C::ArrowStart, &C::SetArrowStart).Default(false);
    b.Integer("ArrowWidth", &C::ArrowWidth, &C::SetArrowWidth).Default(5);
    b.Object(
         "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame)
        .ExistingWhen<C>([](const C& c) { return c.ExistingFrame(); });
    b.Bool("Diagonal", &C::Diagonal, &C::SetDiagonal).Default(false);
    b.Creatable(ovx::ComponentFactory<C>());
    return b.Build();
  }();
  return meta;
}
