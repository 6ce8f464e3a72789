#include "report/model/highlight.h"

#include "base/class_builder.h"

QString TovxHighlight::CollectionName() const {
  return QStringLiteral("ovxUIN") + QString::number(unique_number_);
}

void TovxHighlight::Assign(const TovxHighlight& source) {
  active_ = source.active_;
  apply_font_ = source.apply_font_;
  apply_fill_ = source.apply_fill_;
  apply_frame_ = source.apply_frame_;
  font_.Assign(source.font_);
  condition_ = source.condition_;
  interactive_type_ = source.interactive_type_;
  fill_.Assign(source.fill_);
  frame_.Assign(source.frame_);
  visible_ = source.visible_;
}

const ovx::MetaClass& TovxHighlight::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxHighlight;
    ovx::ClassBuilder<C> b("TovxHighlight", nullptr);
    b.Bool("Active", &C::Active, &C::SetActive).Default(false).Stored(false);
    b.Bool("ApplyFont", &C::ApplyFont, &C::SetApplyFont).Default(true);
    b.Bool("ApplyFill", &C::ApplyFill, &C::SetApplyFill).Default(true);
    b.Bool("ApplyFrame", &C::ApplyFrame, &C::SetApplyFrame).Default(false);
    b.Object(
        "Font", [](C& c) -> TovxFont& { return c.Font(); }, &C::SetFont);
    b.Color("Color", &C::Color, &C::SetColor).Default(clNone).Stored(false);
    b.String("Condition", &C::Condition, &C::SetCondition);
    b.Enum("InteractiveType", &C::InteractiveType, &C::SetInteractiveType)
        .Default(TovxHighlightInteractiveType::ihNone);
    b.Enum("FillType", &C::FillType, &C::SetFillType).Default(TovxFillType::ftBrush);
    b.Object(
        "Fill", [](C& c) -> TovxCustomFill& { return c.Fill(); }, &C::SetFill);
    b.Object(
        "Frame", [](C& c) -> TovxFrame& { return c.Frame(); }, &C::SetFrame);
    b.Bool("Visible", &C::Visible, &C::SetVisible).Default(true);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxHighlight; });
    return b.Build();
  }();
  return meta;
}
