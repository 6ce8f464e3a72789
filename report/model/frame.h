// The frame around a view: which sides have a line, and how each is drawn.
//
// A frame holds one line object per side. The frame's own Color, Style and
// Width act as the values of all four lines: setting one of them sets it on
// every line, after which single lines may differ. A line is stored only
// where it differs from its frame, so a template with a uniform frame holds
// no per-line attributes. Because a line compares itself with its frame,
// lines are never copied on their own (the pointer to the frame would go
// with them); Assign copies values only.
#pragma once

#include "base/color.h"
#include "base/enum_set.h"
#include "base/meta_class.h"
#include "render/frame_drawing.h"  // TovxFrameStyle, TovxFrameType

class TovxFrame;

class TovxFrameLine : public ovx::Persistent {
  OVX_META_CLASS

 public:
  // A line without a frame stores all its values.
  TovxFrameLine() = default;
  explicit TovxFrameLine(const TovxFrame* frame) : frame_(frame) {}
  TovxFrameLine(const TovxFrameLine&) = delete;
  TovxFrameLine& operator=(const TovxFrameLine&) = delete;

  ovx::Color Color() const { return color_; }
  void SetColor(ovx::Color color) { color_ = color; }
  TovxFrameStyle Style() const { return style_; }
  void SetStyle(TovxFrameStyle style) { style_ = style; }
  double Width() const { return width_; }
  void SetWidth(double width) { width_ = width; }

  const TovxFrame* Frame() const { return frame_; }
  // Values only; the line stays with its own frame.
  void Assign(const TovxFrameLine& source);
  bool operator==(const TovxFrameLine& other) const;

 private:
  const TovxFrame* frame_ = nullptr;
  ovx::Color color_ = clBlack;
  TovxFrameStyle style_ = TovxFrameStyle::fsSolid;
  double width_ = 1;
};

class TovxFrame : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxFrame();
  TovxFrame(const TovxFrame&) = delete;
  TovxFrame& operator=(const TovxFrame&) = delete;

  ovx::Color Color() const { return color_; }
  // Also sets every line's colour (likewise Style and Width).
  void SetColor(ovx::Color color);
  bool DropShadow() const { return drop_shadow_; }
  void SetDropShadow(bool drop_shadow) { drop_shadow_ = drop_shadow; }
  ovx::Color ShadowColor() const { return shadow_color_; }
  void SetShadowColor(ovx::Color color) { shadow_color_ = color; }
  double ShadowWidth() const { return shadow_width_; }
  void SetShadowWidth(double width) { shadow_width_ = width; }
  TovxFrameStyle Style() const { return style_; }
  void SetStyle(TovxFrameStyle style);
  // The sides that have a line.
  TovxFrameTypes Typ() const { return typ_; }
  void SetTyp(TovxFrameTypes typ) { typ_ = typ; }
  double Width() const { return width_; }
  void SetWidth(double width);

  TovxFrameLine& LeftLine() { return left_line_; }
  TovxFrameLine& TopLine() { return top_line_; }
  TovxFrameLine& RightLine() { return right_line_; }
  TovxFrameLine& BottomLine() { return bottom_line_; }
  const TovxFrameLine& LeftLine() const { return left_line_; }
  const TovxFrameLine& TopLine() const { return top_line_; }
  const TovxFrameLine& RightLine() const { return right_line_; }
  const TovxFrameLine& BottomLine() const { return bottom_line_; }

  // Every value, the lines' included.
  void Assign(const TovxFrame& source);
  bool operator==(const TovxFrame& other) const;

 private:
  ovx::Color color_ = clBlack;
  bool drop_shadow_ = false;
  ovx::Color shadow_color_ = clBlack;
  double shadow_width_ = 4;
  TovxFrameStyle style_ = TovxFrameStyle::fsSolid;
  TovxFrameTypes typ_;
  double width_ = 1;
  TovxFrameLine left_line_{this};
  TovxFrameLine top_line_{this};
  TovxFrameLine right_line_{this};
  TovxFrameLine bottom_line_{this};
};
