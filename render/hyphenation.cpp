// Russian hyphenation by letter classes: see render/internal/hyphenation.h.
#include "render/internal/hyphenation.h"

#include <QString>

#include <algorithm>

namespace ovx {

namespace {

constexpr QStringView kVowels = u"АЕЁИОУЫЭЮЯ";
constexpr QStringView kConsonants = u"БВГДЖЗЙКЛМНПРСТФХЦЧШЩЬЪ";
constexpr QStringView kWordEnds = u" .,-;";
constexpr char16_t kShortI = u'Й';
constexpr char16_t kSoftSign = u'Ь';
constexpr char16_t kHardSign = u'Ъ';

bool IsVowel(char16_t c) { return c != 0 && kVowels.contains(QChar(c)); }
bool IsConsonant(char16_t c) { return c != 0 && kConsonants.contains(QChar(c)); }

bool HasVowel(QStringView part) {
  for (QChar c : part) {
    if (IsVowel(c.unicode())) return true;
  }
  return false;
}

}  // namespace

qsizetype HyphenatedPrefixLength(QStringView line, qsizetype word_start, qsizetype overflow) {
  if (word_start < 0 || overflow < 0 || word_start >= line.size()) return 0;
  qsizetype word_end = overflow;
  while (word_end < line.size() && !kWordEnds.contains(line[word_end])) ++word_end;
  if (word_end > line.size()) word_end = line.size();
  if (word_end - word_start <= 3) return 0;

  const QString word = line.sliced(word_start, word_end - word_start).toString().toUpper();
  // toUpper keeps the length of Cyrillic text; anything that changed length
  // (a few ligatures) has no Russian letters to break at anyway.
  if (word.size() != word_end - word_start) return 0;
  const qsizetype n = word.size();
  auto at = [&](qsizetype k) -> char16_t { return k < n ? word[k].unicode() : 0; };

  // Only prefixes that end before the character that overflowed can stand
  // on the line.
  const qsizetype longest = std::min(n - 1, overflow - word_start);
  for (qsizetype length = longest; length >= 2; --length) {
    const char16_t letter = at(length - 1);
    const char16_t next = at(length);
    bool allowed = false;
    if (IsConsonant(letter)) {
      allowed = !IsVowel(next) && next != kSoftSign && next != kHardSign;
    } else if (IsVowel(letter)) {
      const bool doubled_before_vowel =
          IsConsonant(next) && next == at(length + 1) && IsVowel(at(length + 2));
      allowed = next != kShortI && !doubled_before_vowel;
    }
    if (!allowed) continue;
    const QStringView before = QStringView(word).first(length);
    const QStringView after = QStringView(word).sliced(length);
    if (after.size() < 2 || !HasVowel(before) || !HasVowel(after)) continue;
    return length;
  }
  return 0;
}

}  // namespace ovx
