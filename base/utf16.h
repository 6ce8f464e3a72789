// Walking UTF-16 text by character.
//
// Measuring and drawing work per UTF-16 unit, as the platform's text calls
// do, but a character outside the Basic Multilingual Plane is one pair of
// units: its high half carries the character and the low half follows it.
// A half without its partner stands for U+FFFD, never for a character of
// its own.
#pragma once

#include <QChar>
#include <QStringView>

namespace ovx {

// The character that starts at unit `index`: 2 units for a surrogate pair,
// else 1 (a lone surrogate reads as U+FFFD).
struct CodePointAt {
  char32_t code_point;
  qsizetype length;
};

inline CodePointAt ReadCodePoint(QStringView text, qsizetype index) {
  const QChar unit = text[index];
  if (unit.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate()) {
    return {QChar::surrogateToUcs4(unit, text[index + 1]), 2};
  }
  if (unit.isSurrogate()) return {QChar::ReplacementCharacter, 1};
  return {unit.unicode(), 1};
}

// Whether unit `index` is the low half of a pair.
inline bool IsTrailingHalf(QStringView text, qsizetype index) {
  return index > 0 && text[index].isLowSurrogate() && text[index - 1].isHighSurrogate();
}

}  // namespace ovx
