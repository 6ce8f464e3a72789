#include "report/model/frame.h"

#include "base/class_builder.h"

void TovxFrameLine::Assign(const TovxFrameLine& source) {
  color_ = source.color_;
  style_ = source.style_;
  width_ = source.width_;
}

bool TovxFrameLine::operator==(const TovxFrameLine& other) const {
  return color_ == other.color_ && style_ == other.style_ && width_ == other.width_;
}

TovxFrame::TovxFrame() = default;

void TovxFrame::SetColor(ovx::Color color) {
  color_ = color;
  for (TovxFrameLine* line : {&left_line_, &top_line_, &right_line_, &bottom_line_}) {
    line->SetColor(color);
  }
}

void TovxFrame::SetStyle(TovxFrameStyle style) {
  style_ = style;
  for (TovxFrameLine* line : {&left_line_, &top_line_, &right_line_, &bottom_line_}) {
    line->SetStyle(style);
  }
}

void TovxFrame::SetWidth(double width) {
  width_ = width;
  for (TovxFrameLine* line : {&left_line_, &top_line_, &right_line_, &bottom_line_}) {
    line->SetWidth(width);
  }
}

void TovxFrame::Assign(const TovxFrame& source) {
  color_ = source.color_;
  drop_shadow_ = source.drop_shadow_;
  shadow_color_ = source.shadow_color_;
  shadow_width_ = source.shadow_width_;
  style_ = source.style_;
  typ_ = source.typ_;
  width_ = source.width_;
  left_line_.Assign(source.left_line_);
  top_line_.Assign(source.top_line_);
  right_line_.Assign(source.right_line_);
  bottom_line_.Assign(source.bottom_line_);
}

bool TovxFrame::operator==(const TovxFrame& other) const {
  return color_ == other.color_ && drop_shadow_ == other.drop_shadow_ &&
         shadow_color_ == other.shadow_color_ && shadow_width_ == other.shadow_width_ &&
         style_ == other.style_ && typ_ == other.typ_ && width_ == other.width_ &&
         left_line_ == other.left_line_ && top_line_ == other.top_line_ &&
         right_line_ == other.right_line_ && bottom_line_ == other.bottom_line_;
}

// A line's values are written only where they differ from its frame's; the
// frame's values are read first, so a line read afterwards keeps its own.
const ovx::MetaClass& TovxFrameLine::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxFrameLine;
    ovx::ClassBuilder<C> b("TovxFrameLine", nullptr);
    b.Color("Color", &C::Color, &C::SetColor).StoredWhen<C>([](const C& c) {
      return !c.Frame() || c.Color() != c.Frame()->Color();
    });
    b.Enum("Style", &C::Style, &C::SetStyle).StoredWhen<C>([](const C& c) {
      return !c.Frame() || c.Style() != c.Frame()->Style();
    });
    b.Float("Width", &C::Width, &C::SetWidth).Default(1).StoredWhen<C>([](const C& c) {
      return !c.Frame() || c.Width() != c.Frame()->Width();
    });
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxFrameLine; });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxFrame::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxFrame;
    ovx::ClassBuilder<C> b("TovxFrame", nullptr);
    b.Color("Color", &C::Color, &C::SetColor).Default(clBlack);
    b.Bool("DropShadow", &C::DropShadow, &C::SetDropShadow).Default(false);
    b.Color("ShadowColor", &C::ShadowColor, &C::SetShadowColor).Default(clBlack);
    b.Float("ShadowWidth", &C::ShadowWidth, &C::SetShadowWidth)
        .Default(4)
        .StoredWhen<C>([](const C& c) { return c.ShadowWidth() != 4; });
    b.Enum("Style", &C::Style, &C::SetStyle).Default(TovxFrameStyle::fsSolid);
    // No declared default: written even when empty ("Frame.Typ" "0").
    b.Set("Typ", "TovxFrameTypes", &C::Typ, &C::SetTyp);
    b.Float("Width", &C::Width, &C::SetWidth).Default(1).StoredWhen<C>([](const C& c) {
      return c.Width() != 1;
    });
    b.Object("LeftLine", [](C& c) -> TovxFrameLine& { return c.LeftLine(); });
    b.Object("TopLine", [](C& c) -> TovxFrameLine& { return c.TopLine(); });
    b.Object("RightLine", [](C& c) -> TovxFrameLine& { return c.RightLine(); });
    b.Object("BottomLine", [](C& c) -> TovxFrameLine& { return c.BottomLine(); });
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxFrame; });
    return b.Build();
  }();
  return meta;
}
