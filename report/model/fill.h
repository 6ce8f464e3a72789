// Fills: how the background of a view (or a highlight) is painted.
//
// The fill is a small class family selected by a fill type: a brush (a
// colour with an optional hatch), a gradient between two colours, or the
// "glass" look (a colour with a lighter half). A holder keeps exactly one
// fill; changing the type replaces it by a new fill of that type with its
// defaults. The stored form is nested ("Fill.BackColor"), and which
// attributes exist depends on the current fill's class: the holder
// publishes the fill type before the fill, so a reader sets the type (and
// thereby the class) before it meets the fill's attributes.
//
// FillSlot is that holder. It creates its fill only when something asks for
// a fill that can change, since thousands of views never touch theirs; until
// then it answers a shared default brush.
#pragma once

#include "base/brush_style.h"
#include "base/color.h"
#include "base/meta_class.h"
#include "render/fill_drawing.h"  // TovxGradientStyle, TovxFillOrientation

#include <memory>

namespace ovx {

// Each channel of `color` lowered by `amount`, stopping at 0. A plain
// subtraction of the packed value would borrow from the next channel
// (0x000500 - 0x060606 is not a colour at all).
Color DarkerBy(Color color, int amount);

}  // namespace ovx

OVX_ENUM(TovxFillType, ftBrush, ftGradient, ftGlass)

// The common base; publishes nothing itself.
class TovxCustomFill : public ovx::Persistent {
  OVX_META_CLASS

 public:
  virtual TovxFillType FillType() const = 0;
  virtual std::unique_ptr<TovxCustomFill> Clone() const = 0;
  // Same class and same values.
  virtual bool Equals(const TovxCustomFill& other) const = 0;
  // The one colour that stands for the fill (a view's derived Color):
  // clNone when there is none.
  virtual ovx::Color MainColor() const = 0;

  // A new fill of `type` with its defaults.
  static std::unique_ptr<TovxCustomFill> Create(TovxFillType type);
};

class TovxBrushFill : public TovxCustomFill {
  OVX_META_CLASS

 public:
  ovx::Color BackColor() const { return back_color_; }
  void SetBackColor(ovx::Color color) { back_color_ = color; }
  ovx::Color ForeColor() const { return fore_color_; }
  void SetForeColor(ovx::Color color) { fore_color_ = color; }
  TovxBrushStyle Style() const { return style_; }
  void SetStyle(TovxBrushStyle style) { style_ = style; }

  TovxFillType FillType() const override { return TovxFillType::ftBrush; }
  std::unique_ptr<TovxCustomFill> Clone() const override;
  bool Equals(const TovxCustomFill& other) const override;
  ovx::Color MainColor() const override { return back_color_; }

 private:
  ovx::Color back_color_ = clNone;
  ovx::Color fore_color_ = clBlack;
  TovxBrushStyle style_ = TovxBrushStyle::bsSolid;
};

class TovxGradientFill : public TovxCustomFill {
  OVX_META_CLASS

 public:
  ovx::Color StartColor() const { return start_color_; }
  void SetStartColor(ovx::Color color) { start_color_ = color; }
  ovx::Color EndColor() const { return end_color_; }
  void SetEndColor(ovx::Color color) { end_color_ = color; }
  TovxGradientStyle GradientStyle() const { return gradient_style_; }
  void SetGradientStyle(TovxGradientStyle style) { gradient_style_ = style; }

  TovxFillType FillType() const override { return TovxFillType::ftGradient; }
  std::unique_ptr<TovxCustomFill> Clone() const override;
  bool Equals(const TovxCustomFill& other) const override;
  // The colour halfway: each channel start + (end - start) * 127 / 255,
  // rounded (system colours resolved first).
  ovx::Color MainColor() const override;

 private:
  ovx::Color start_color_ = clWhite;
  ovx::Color end_color_ = clBlack;
  TovxGradientStyle gradient_style_ = TovxGradientStyle::gsHorizontal;
};

class TovxGlassFill : public TovxCustomFill {
  OVX_META_CLASS

 public:
  ovx::Color Color() const { return color_; }
  void SetColor(ovx::Color color) { color_ = color; }
  double Blend() const { return blend_; }
  void SetBlend(double blend) { blend_ = blend; }
  bool Hatch() const { return hatch_; }
  void SetHatch(bool hatch) { hatch_ = hatch; }
  TovxFillOrientation Orientation() const { return orientation_; }
  void SetOrientation(TovxFillOrientation orientation) { orientation_ = orientation; }

  TovxFillType FillType() const override { return TovxFillType::ftGlass; }
  std::unique_ptr<TovxCustomFill> Clone() const override;
  bool Equals(const TovxCustomFill& other) const override;
  ovx::Color MainColor() const override { return color_; }

  // The lighter half: each channel c + round((255 - c) * Blend), kept
  // within 0..255 whatever Blend a file holds.
  ovx::Color LightColor() const;
  // The hatch drawn over a hatched glass fill.
  ovx::Color HatchColor() const { return ovx::DarkerBy(LightColor(), 6); }

 private:
  ovx::Color color_ = clGray;
  double blend_ = 0.5;
  bool hatch_ = false;
  TovxFillOrientation orientation_ = TovxFillOrientation::foHorizontal;
};

namespace ovx {

// The fill of a view or highlight, with the derived Color and BrushStyle
// that the holders publish.
class FillSlot {
 public:
  FillSlot() = default;
  FillSlot(const FillSlot&) = delete;
  FillSlot& operator=(const FillSlot&) = delete;

  TovxFillType Type() const { return fill_ ? fill_->FillType() : TovxFillType::ftBrush; }
  // A different type replaces the fill by a new one with its defaults.
  void SetType(TovxFillType type);
  const TovxCustomFill& Get() const;
  TovxCustomFill& Get();
  // A copy of `fill`, whose class sets the type.
  void Set(const TovxCustomFill& fill);
  void Assign(const FillSlot& other) { Set(other.Get()); }
  // The fill if one was made, else null (the default brush).
  const TovxCustomFill* Existing() const { return fill_.get(); }

  // The brush's BackColor, the gradient's halfway colour, the glass colour.
  ovx::Color Color() const { return Get().MainColor(); }
  // Changes a brush fill only.
  void SetColor(ovx::Color color);
  // A brush's style; bsClear for the other fills.
  TovxBrushStyle BrushStyle() const;
  // Changes a brush fill only.
  void SetBrushStyle(TovxBrushStyle style);

 private:
  // Null stands for a brush fill with its defaults.
  std::unique_ptr<TovxCustomFill> fill_;
};

}  // namespace ovx
