// Measuring on any canvas: the current font through the font service, so
// that every backend (image, printer, recorder, the layout's measuring
// canvas) measures alike and only the device resolution differs.
#include "render/canvas.h"

#include "base/utf16.h"

#include <limits>

namespace ovx {

FontMetrics Canvas::Metrics() const { return CurrentScaledFont().Metrics(); }

int Canvas::TextExtents(QStringView text, std::span<int> cumulative) const {
  const ScaledFont font = CurrentScaledFont();
  const auto fits = static_cast<qsizetype>(cumulative.size());
  auto store = [&](qsizetype i, qint64 value) {
    if (i < fits) cumulative[i] = static_cast<int>(value);
  };
  qint64 total = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const CodePointAt read = ReadCodePoint(text, i);
    const char32_t code_point = read.code_point;
    const bool pair = read.length == 2;
    total = std::min<qint64>(total + font.Advance(code_point), std::numeric_limits<int>::max());
    store(i, total);
    // The low half of a pair adds nothing: the high half carried the
    // character's advance.
    if (pair) store(++i, total);
  }
  return static_cast<int>(total);
}

int Canvas::TextWidth(QStringView text) const { return TextExtents(text, {}); }

ScaledFont Canvas::CurrentScaledFont() const {
  return ScaledFont(font_.name, font_.height, font_.style_bits);
}

}  // namespace ovx
