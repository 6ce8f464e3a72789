// The font record every report object carries.
//
// Like the platform font it mirrors, the record keeps the character height
// in pixels at its pixels-per-inch (96 unless a printer canvas says
// otherwise); the size in points is derived from it, so Size 10 is Height
// -13 and Height -13 reads back as Size 10. Setting any attribute notifies
// the holder (even when the value is the same: the holder takes any setting
// as "this object has a font of its own").
#pragma once

#include "base/color.h"
#include "base/enum_set.h"
#include "base/meta_class.h"

#include <QString>

OVX_ENUM(TovxFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)
using TovxFontStyles = ovx::EnumSet<TovxFontStyle>;

class TovxFont : public ovx::Persistent {
  OVX_META_CLASS

 public:
  static constexpr int kDefaultCharset = 1;
  static constexpr int kScreenPixelsPerInch = 96;

  // "Arial", 10 points, black, no style, the default character set.
  TovxFont();
  // Copies the values; the change handler stays with the original.
  TovxFont(const TovxFont& other);
  TovxFont& operator=(const TovxFont& other);

  const QString& Name() const { return name_; }
  void SetName(const QString& name);
  // Negative: the character height; positive: the cell height.
  int Height() const { return height_; }
  void SetHeight(int height);
  int Size() const;
  void SetSize(int points);
  ovx::Color Color() const { return color_; }
  void SetColor(ovx::Color color);
  TovxFontStyles Style() const { return style_; }
  void SetStyle(TovxFontStyles style);
  // Style as the sum of bold 1, italic 2, underline 4, strike-out 8.
  int StyleBits() const { return static_cast<int>(style_.Bits()); }
  int Charset() const { return charset_; }
  void SetCharset(int charset);
  // Changing it keeps Height, so the size in points changes.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int pixels_per_inch);

  // Copies every value and notifies once.
  void Assign(const TovxFont& other);
  // Same face, height, colour, style and character set.
  bool SameAs(const TovxFont& other) const;

  // Called with `context` after every setting. A plain function and its
  // context, not a std::function: every report object holds a font.
  using ChangeHandler = void (*)(void* context);
  void SetChangeHandler(ChangeHandler handler, void* context) {
    on_change_ = handler;
    change_context_ = context;
  }

 private:
  void Changed();

  QString name_;
  int height_;
  ovx::Color color_ = 0;
  TovxFontStyles style_;
  int charset_ = kDefaultCharset;
  int pixels_per_inch_ = kScreenPixelsPerInch;
  ChangeHandler on_change_ = nullptr;
  void* change_context_ = nullptr;
};
