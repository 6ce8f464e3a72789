// Measuring on any canvas: the current font through the font service, so
// that every backend (image, printer, recorder, the layout's measuring
// canvas) measures alike and only the device resolution differs.
#include "render/canvas.h"

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
    const QChar unit = text[i];
    char32_t code_point = unit.unicode();
    const bool pair = unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    if (pair)
      code_point = QChar::surrogateToUcs4(unit, text[i + 1]);
    else if (unit.isSurrogate())
      code_point = QChar::ReplacementCharacter;
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
