#include "base/font.h"

#include "base/class_builder.h"
#include "base/rounding.h"

namespace {

int HeightForSize(int points, int pixels_per_inch) {
  return -ovx::MulDiv(points, pixels_per_inch, 72);
}

}  // namespace

TovxFont::TovxFont()
    : name_(QStringLiteral("Arial")), height_(HeightForSize(10, kScreenPixelsPerInch)) {}

TovxFont::TovxFont(const TovxFont& other)
    : name_(other.name_),
      height_(other.height_),
      color_(other.color_),
      style_(other.style_),
      charset_(other.charset_),
      pixels_per_inch_(other.pixels_per_inch_) {}

TovxFont& TovxFont::operator=(const TovxFont& other) {
  Assign(other);
  return *this;
}

void TovxFont::SetName(const QString& name) {
  name_ = name;
  Changed();
}

void TovxFont::SetHeight(int height) {
  height_ = height;
  Changed();
}

int TovxFont::Size() const { return -ovx::MulDiv(height_, 72, pixels_per_inch_); }

void TovxFont::SetSize(int points) { SetHeight(HeightForSize(points, pixels_per_inch_)); }

void TovxFont::SetColor(ovx::Color color) {
  color_ = color;
  Changed();
}

void TovxFont::SetStyle(TovxFontStyles style) {
  style_ = style;
  Changed();
}

void TovxFont::SetCharset(int charset) {
  charset_ = charset;
  Changed();
}

void TovxFont::SetPixelsPerInch(int pixels_per_inch) {
  // A zero resolution would make every size -1; keep the old one instead.
  if (pixels_per_inch > 0) pixels_per_inch_ = pixels_per_inch;
}

void TovxFont::Assign(const TovxFont& other) {
  if (this != &other) {
    name_ = other.name_;
    height_ = other.height_;
    color_ = other.color_;
    style_ = other.style_;
    charset_ = other.charset_;
    pixels_per_inch_ = other.pixels_per_inch_;
  }
  Changed();
}

bool TovxFont::SameAs(const TovxFont& other) const {
  return name_ == other.name_ && height_ == other.height_ && color_ == other.color_ &&
         style_ == other.style_ && charset_ == other.charset_;
}

void TovxFont::Changed() {
  if (on_change_) on_change_(change_context_);
}

// Published as the platform's font class is, so scripts and property hints
// ("propName.TFont") find it under that name.
const ovx::MetaClass& TovxFont::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    ovx::ClassBuilder<TovxFont> b("TFont", nullptr);
    b.Integer("Charset", &TovxFont::Charset, &TovxFont::SetCharset, "TFontCharset");
    b.Color("Color", &TovxFont::Color, &TovxFont::SetColor);
    b.Integer("Height", &TovxFont::Height, &TovxFont::SetHeight);
    b.String("Name", &TovxFont::Name, &TovxFont::SetName, "TFontName").Default("Arial");
    b.Integer("Size", &TovxFont::Size, &TovxFont::SetSize).Stored(false);
    b.Set("Style", "TFontStyles", &TovxFont::Style, &TovxFont::SetStyle);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxFont; });
    return b.Build();
  }();
  return meta;
}
