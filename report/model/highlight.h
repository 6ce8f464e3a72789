// A conditional highlight of a memo: a condition and the look (font, fill,
// frame, visibility) the memo takes while the condition holds.
//
// Highlights carry a unique number within their memo's list, which names
// them ("ovxUIN3") so that an inherited template can refer to the item of
// its ancestor.
#pragma once

#include "base/font.h"
#include "base/meta_class.h"
#include "report/model/fill.h"
#include "report/model/frame.h"

#include <QString>

OVX_ENUM(TovxHighlightInteractiveType, ihNone, ihClick, ihEnter, ieLeave)

class TovxHighlight : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxHighlight() = default;
  TovxHighlight(const TovxHighlight&) = delete;
  TovxHighlight& operator=(const TovxHighlight&) = delete;

  // Set while the highlight is applied to its memo.
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  bool ApplyFont() const { return apply_font_; }
  void SetApplyFont(bool v) { apply_font_ = v; }
  bool ApplyFill() const { return apply_fill_; }
  void SetApplyFill(bool v) { apply_fill_ = v; }
  bool ApplyFrame() const { return apply_frame_; }
  void SetApplyFrame(bool v) { apply_frame_ = v; }
  TovxFont& Font() { return font_; }
  const TovxFont& Font() const { return font_; }
  void SetFont(const TovxFont& font) { font_.Assign(font); }
  // Derived from the fill, as a view's Color is.
  ovx::Color Color() const { return fill_.Color(); }
  void SetColor(ovx::Color color) { fill_.SetColor(color); }
  // An expression; the highlight applies when it evaluates to True.
  const QString& Condition() const { return condition_; }
  void SetCondition(const QString& condition) { condition_ = condition; }
  TovxHighlightInteractiveType InteractiveType() const { return interactive_type_; }
  void SetInteractiveType(TovxHighlightInteractiveType v) { interactive_type_ = v; }
  TovxFillType FillType() const { return fill_.Type(); }
  void SetFillType(TovxFillType type) { fill_.SetType(type); }
  const TovxCustomFill& Fill() const { return fill_.Get(); }
  TovxCustomFill& Fill() { return fill_.Get(); }
  void SetFill(const TovxCustomFill& fill) { fill_.Set(fill); }
  TovxFrame& Frame() { return frame_; }
  const TovxFrame& Frame() const { return frame_; }
  void SetFrame(const TovxFrame& frame) { frame_.Assign(frame); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  // The number that identifies the item in its memo's list (0: none yet).
  int UniqueNumber() const { return unique_number_; }
  void SetUniqueNumber(int number) { unique_number_ = number; }
  // "ovxUIN" followed by the unique number.
  QString CollectionName() const;

  // Every published value; the unique number stays.
  void Assign(const TovxHighlight& source);

 private:
  bool active_ = false;
  bool apply_font_ = true;
  bool apply_fill_ = true;
  bool apply_frame_ = false;
  TovxFont font_;
  QString condition_;
  TovxHighlightInteractiveType interactive_type_ = TovxHighlightInteractiveType::ihNone;
  ovx::FillSlot fill_;
  TovxFrame frame_;
  bool visible_ = true;
  int unique_number_ = 0;
};
