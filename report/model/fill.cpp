// Colour arithmetic works on resolved RGB values channel by channel and
// clamps every channel to 0..255, whatever values a file holds.
#include "report/model/fill.h"

#include "base/class_builder.h"
#include "base/rounding.h"

#include <algorithm>
#include <cmath>

namespace {

int ClampChannel(qint64 value) { return static_cast<int>(std::clamp<qint64>(value, 0, 255)); }

}  // namespace

std::unique_ptr<TovxCustomFill> TovxCustomFill::Create(TovxFillType type) {
  switch (type) {
    case TovxFillType::ftGradient:
      return std::make_unique<TovxGradientFill>();
    case TovxFillType::ftGlass:
      return std::make_unique<TovxGlassFill>();
    case TovxFillType::ftBrush:
      break;
  }
  return std::make_unique<TovxBrushFill>();
}

std::unique_ptr<TovxCustomFill> TovxBrushFill::Clone() const {
  return std::make_unique<TovxBrushFill>(*this);
}

bool TovxBrushFill::Equals(const TovxCustomFill& other) const {
  const auto* o = dynamic_cast<const TovxBrushFill*>(&other);
  return o && back_color_ == o->back_color_ && fore_color_ == o->fore_color_ && style_ == o->style_;
}

std::unique_ptr<TovxCustomFill> TovxGradientFill::Clone() const {
  return std::make_unique<TovxGradientFill>(*this);
}

bool TovxGradientFill::Equals(const TovxCustomFill& other) const {
  const auto* o = dynamic_cast<const TovxGradientFill*>(&other);
  return o && start_color_ == o->start_color_ && end_color_ == o->end_color_ &&
         gradient_style_ == o->gradient_style_;
}

ovx::Color TovxGradientFill::MainColor() const {
  const ovx::Color start = ovx::ColorToRgb(start_color_);
  const ovx::Color end = ovx::ColorToRgb(end_color_);
  const auto halfway = [](int s, int e) {
    return ClampChannel(ovx::Round(s + (e - s) * 127.0 / 255.0));
  };
  return ovx::RgbColor(halfway(ovx::RedOf(start), ovx::RedOf(end)),
                       halfway(ovx::GreenOf(start), ovx::GreenOf(end)),
                       halfway(ovx::BlueOf(start), ovx::BlueOf(end)));
}

std::unique_ptr<TovxCustomFill> TovxGlassFill::Clone() const {
  return std::make_unique<TovxGlassFill>(*this);
}

bool TovxGlassFill::Equals(const TovxCustomFill& other) const {
  const auto* o = dynamic_cast<const TovxGlassFill*>(&other);
  return o && color_ == o->color_ && blend_ == o->blend_ && hatch_ == o->hatch_ &&
         orientation_ == o->orientation_;
}

ovx::Color TovxGlassFill::LightColor() const {
  const ovx::Color c = ovx::ColorToRgb(color_);
  const double blend = std::isfinite(blend_) ? blend_ : 0;
  const auto light = [blend](int channel) {
    return ClampChannel(channel + ovx::Round((255 - channel) * blend));
  };
  return ovx::RgbColor(light(ovx::RedOf(c)), light(ovx::GreenOf(c)), light(ovx::BlueOf(c)));
}

namespace ovx {

Color DarkerBy(Color color, int amount) {
  const auto darker = [amount](int channel) { return std::max(channel - amount, 0); };
  return RgbColor(darker(RedOf(color)), darker(GreenOf(color)), darker(BlueOf(color)));
}

void FillSlot::SetType(TovxFillType type) {
  // No fill already is the default brush: a copy of a view that never set
  // its fill makes none.
  if (type == Type() && (fill_ || type == TovxFillType::ftBrush)) return;
  fill_ = TovxCustomFill::Create(type);
}

const TovxCustomFill& FillSlot::Get() const {
  static const TovxBrushFill kDefaultBrush;
  return fill_ ? *fill_ : static_cast<const TovxCustomFill&>(kDefaultBrush);
}

TovxCustomFill& FillSlot::Get() {
  if (!fill_) fill_ = std::make_unique<TovxBrushFill>();
  return *fill_;
}

void FillSlot::Set(const TovxCustomFill& fill) {
  if (&fill == fill_.get()) return;
  fill_ = fill.Clone();
}

void FillSlot::SetColor(ovx::Color color) {
  if (Type() == TovxFillType::ftBrush) static_cast<TovxBrushFill&>(Get()).SetBackColor(color);
}

TovxBrushStyle FillSlot::BrushStyle() const {
  if (const auto* brush = dynamic_cast<const TovxBrushFill*>(&Get())) return brush->Style();
  return TovxBrushStyle::bsClear;
}

void FillSlot::SetBrushStyle(TovxBrushStyle style) {
  if (Type() == TovxFillType::ftBrush) static_cast<TovxBrushFill&>(Get()).SetStyle(style);
}

}  // namespace ovx

// --- published properties ----------------------------------------------------------

const ovx::MetaClass& TovxCustomFill::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxCustomFill> b("TovxCustomFill", nullptr);
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxBrushFill::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxBrushFill;
    ovx::ClassBuilder<C> b("TovxBrushFill", &TovxCustomFill::StaticMetaClass());
    b.Color("BackColor", &C::BackColor, &C::SetBackColor).Default(clNone);
    b.Color("ForeColor", &C::ForeColor, &C::SetForeColor).Default(clBlack);
    b.Enum("Style", &C::Style, &C::SetStyle).Default(TovxBrushStyle::bsSolid);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxBrushFill; });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxGradientFill::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxGradientFill;
    ovx::ClassBuilder<C> b("TovxGradientFill", &TovxCustomFill::StaticMetaClass());
    b.Color("StartColor", &C::StartColor, &C::SetStartColor).Default(clWhite);
    b.Color("EndColor", &C::EndColor, &C::SetEndColor).Default(clBlack);
    b.Enum("GradientStyle", &C::GradientStyle, &C::SetGradientStyle)
        .Default(TovxGradientStyle::gsHorizontal);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxGradientFill; });
    return b.Build();
  }();
  return meta;
}

const ovx::MetaClass& TovxGlassFill::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxGlassFill;
    ovx::ClassBuilder<C> b("TovxGlassFill", &TovxCustomFill::StaticMetaClass());
    b.Color("Color", &C::Color, &C::SetColor).Default(clGray);
    b.Float("Blend", &C::Blend, &C::SetBlend).Default(0.5);
    b.Bool("Hatch", &C::Hatch, &C::SetHatch).Default(false);
    b.Enum("Orientation", &C::Orientation, &C::SetOrientation)
        .Default(TovxFillOrientation::foHorizontal);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxGlassFill; });
    return b.Build();
  }();
  return meta;
}
