#include "render/emf_device_context.h"

#include "base/color.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numbers>

using namespace ovx::emf;

namespace {

// Field offsets of the object records.
constexpr qint64 kPenStyle = 12, kPenWidth = 16, kPenColor = 24;
constexpr qint64 kExtPenStyle = 28, kExtPenWidth = 32, kExtPenColor = 40;
constexpr qint64 kBrushStyle = 12, kBrushColor = 16;
constexpr qint64 kFontHeight = 12, kFontEscapement = 20, kFontWeight = 28, kFontItalic = 32,
                 kFontUnderline = 33, kFontStrikeOut = 34, kFontCharset = 35, kFontFace = 40;

bool IsType(const TEnhMetaObj* r, quint32 type) { return r && r->Type() == type; }

}  // namespace

TEMFXForm TEMFXForm::Multiply(const TEMFXForm& a, const TEMFXForm& b) {
  TEMFXForm r;
  r.m11 = a.m11 * b.m11 + a.m12 * b.m21;
  r.m12 = a.m11 * b.m12 + a.m12 * b.m22;
  r.m21 = a.m21 * b.m11 + a.m22 * b.m21;
  r.m22 = a.m21 * b.m12 + a.m22 * b.m22;
  r.dx = a.dx * b.m11 + a.dy * b.m21 + b.dx;
  r.dy = a.dx * b.m12 + a.dy * b.m22 + b.dy;
  return r;
}

void TDeviceContext::Reset() {
  const QPointF origin = data_.frame_origin;
  data_ = TDeviceContextData();
  data_.frame_origin = origin;
}

quint32 TDeviceContext::BrushColor() const {
  if (!IsType(data_.brush, kEmrCreateBrushIndirect)) return 0xFFFFFF;
  if (data_.brush->U32(kBrushStyle) == kBsNull) return static_cast<quint32>(clNone);
  return data_.brush->U32(kBrushColor);
}

bool TDeviceContext::BrushIsNull() const {
  return IsType(data_.brush, kEmrCreateBrushIndirect) && data_.brush->U32(kBrushStyle) == kBsNull;
}

quint32 TDeviceContext::BrushStyle() const {
  return IsType(data_.brush, kEmrCreateBrushIndirect) ? data_.brush->U32(kBrushStyle) : 0;
}

quint32 TDeviceContext::PenStyleWord() const {
  if (IsType(data_.pen, kEmrCreatePen)) return data_.pen->U32(kPenStyle);
  if (IsType(data_.pen, kEmrExtCreatePen)) return data_.pen->U32(kExtPenStyle);
  return 0x2200;
}

qint64 TDeviceContext::PenWidth() const {
  if (IsType(data_.pen, kEmrCreatePen)) return data_.pen->I32(kPenWidth);
  if (IsType(data_.pen, kEmrExtCreatePen)) return data_.pen->U32(kExtPenWidth);
  return 1;
}

quint32 TDeviceContext::PenColor() const {
  if (IsType(data_.pen, kEmrCreatePen)) return data_.pen->U32(kPenColor);
  if (IsType(data_.pen, kEmrExtCreatePen)) return data_.pen->U32(kExtPenColor);
  return 0;
}

double TDeviceContext::MiterLimit() const {
  const float value = std::bit_cast<float>(data_.miter_limit);
  // Some writers store an integer here.
  if (!(value >= 1)) return static_cast<double>(data_.miter_limit);
  return value;
}

QString TDeviceContext::FontFaceName() const {
  if (!IsType(data_.font, kEmrExtCreateFontIndirectW)) return QStringLiteral("Serif");
  QString name;
  for (int i = 0; i < 32; ++i) {
    const quint16 unit = data_.font->U16(kFontFace + 2 * i);
    if (unit == 0) break;
    name.append(QChar(unit));
  }
  return name;
}

int TDeviceContext::FontCharset() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) ? data_.font->U8(kFontCharset) : 1;
}

bool TDeviceContext::FontItalic() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) && data_.font->U8(kFontItalic) == 1;
}

bool TDeviceContext::FontUnderline() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) && data_.font->U8(kFontUnderline) == 1;
}

bool TDeviceContext::FontStrikeOut() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) && data_.font->U8(kFontStrikeOut) == 1;
}

int TDeviceContext::FontEscapement() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) ? data_.font->I32(kFontEscapement) : 0;
}

double TDeviceContext::FontEscapementAngle() const {
  return FontEscapement() / 10.0 * std::numbers::pi / 180;
}

int TDeviceContext::FontSignedHeight() const {
  return IsType(data_.font, kEmrExtCreateFontIndirectW) ? data_.font->I32(kFontHeight) : 0;
}

int TDeviceContext::FontHeight() const {
  if (!IsType(data_.font, kEmrExtCreateFontIndirectW)) return 12;
  return static_cast<int>(std::min<qint64>(std::llabs(data_.font->I32(kFontHeight)), INT_MAX));
}

int TDeviceContext::FontWeight() const {
  if (!IsType(data_.font, kEmrExtCreateFontIndirectW)) return 400;
  return static_cast<int>(std::min<qint64>(std::llabs(data_.font->I32(kFontWeight)), INT_MAX));
}

TDeviceContext::HAlign TDeviceContext::HorizontalAlignment() const {
  if ((data_.text_align & 6) == 6) return HAlign::kCenter;
  if (data_.text_align & 2) return HAlign::kRight;
  return HAlign::kLeft;
}

TDeviceContext::VAlign TDeviceContext::VerticalAlignment() const {
  if ((data_.text_align & 24) == 24) return VAlign::kBaseline;
  if (data_.text_align & 8) return VAlign::kBottom;
  return VAlign::kTop;
}

bool TDeviceContext::IsIdentityTransform() const {
  const TEMFXForm& t = data_.world_transform;
  const double sum = std::abs(t.m11 - 1.0) + std::abs(t.m12) + std::abs(t.m21) +
                     std::abs(t.m22 - 1.0) + std::abs(t.dx) + std::abs(t.dy);
  return sum < 0.001;
}

std::optional<QRegion> TDeviceContext::EffectiveClip() const {
  if (data_.clip_region && data_.meta_region) return *data_.clip_region & *data_.meta_region;
  return data_.clip_region ? data_.clip_region : data_.meta_region;
}

namespace ovx::emf {

QRegion EverythingRegion() {
  constexpr int kEverything = 1 << 24;
  return QRegion(-kEverything, -kEverything, 2 * kEverything, 2 * kEverything);
}

QRegion Translated(const QRegion& region, qint64 dx, qint64 dy) {
  constexpr qint64 kLimit = qint64{1} << 25;
  if (region.isEmpty()) return region;
  const QRect b = region.boundingRect();
  dx = std::clamp(dx, -kLimit - b.left(), kLimit - (qint64{b.left()} + b.width()));
  dy = std::clamp(dy, -kLimit - b.top(), kLimit - (qint64{b.top()} + b.height()));
  return region.translated(static_cast<int>(dx), static_cast<int>(dy));
}

QRegion RegionOfRects(const std::vector<QRect>& rects) {
  std::vector<QRegion> parts;
  parts.reserve(rects.size());
  for (const QRect& r : rects)
    if (!r.isEmpty()) parts.emplace_back(r);
  if (parts.empty()) return QRegion();
  while (parts.size() > 1) {
    std::vector<QRegion> merged;
    merged.reserve(parts.size() / 2 + 1);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) merged.push_back(parts[i] | parts[i + 1]);
    if (parts.size() % 2 == 1) merged.push_back(std::move(parts.back()));
    parts = std::move(merged);
  }
  return parts.front();
}

quint32 ResolveColorRef(quint32 color_ref, const std::vector<quint32>& palette) {
  if ((color_ref >> 24) == 1) {
    const quint32 index = color_ref & 0xFFFF;
    return index < palette.size() ? palette[index] & 0xFFFFFF : 0;
  }
  return color_ref & 0xFFFFFF;
}

}  // namespace ovx::emf
