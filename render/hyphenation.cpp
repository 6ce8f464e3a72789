// Russian hyphenation by letter classes: see render/internal/hyphenation.h.
#include "render/internal/hyphenation.h"

#include <QChar>
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

// Whether upper-casing the character changes the length of the text (German
// sharp s, ligatures, a few Greek and Armenian letters).
bool UpperChangesLength(QStringView character) {
  const char16_t c = character.front().unicode();
  if (c < 0x80 || (c >= 0x400 && c < 0x530)) return false;
  return character.toString().toUpper().size() != character.size();
}

}  // namespace

Hyphenator::Hyphenator(QStringView line)
    : size_(line.size()),
      upper_(static_cast<size_t>(size_)),
      word_end_(static_cast<size_t>(size_) + 1, size_),
      next_vowel_(static_cast<size_t>(size_) + 1, size_),
      odd_before_(static_cast<size_t>(size_) + 1, 0) {
  for (qsizetype k = 0; k < size_;) {
    // A surrogate pair is one character: it keeps its code units (no
    // Russian letter lies outside the basic plane).
    const bool pair = k + 1 < size_ && line[k].isHighSurrogate() && line[k + 1].isLowSurrogate();
    const qsizetype length = pair ? 2 : 1;
    const bool odd = UpperChangesLength(line.sliced(k, length));
    for (qsizetype j = k; j < k + length; ++j) {
      upper_[static_cast<size_t>(j)] = pair ? line[j].unicode() : QChar::toUpper(line[j].unicode());
      odd_before_[static_cast<size_t>(j) + 1] = odd_before_[static_cast<size_t>(j)] + (odd ? 1 : 0);
    }
    k += length;
  }
  for (qsizetype k = size_ - 1; k >= 0; --k) {
    const auto at = static_cast<size_t>(k);
    word_end_[at] = kWordEnds.contains(line[k]) ? k : word_end_[at + 1];
    next_vowel_[at] = IsVowel(upper_[at]) ? k : next_vowel_[at + 1];
  }
}

qsizetype Hyphenator::PrefixLength(qsizetype word_start, qsizetype overflow) const {
  if (word_start < 0 || overflow < 0 || word_start >= size_) return 0;
  const qsizetype word_end = overflow >= size_ ? size_ : word_end_[static_cast<size_t>(overflow)];
  const qsizetype n = word_end - word_start;
  if (n <= 3) return 0;
  // Text whose upper case changes length has no Russian letters to break at.
  if (odd_before_[static_cast<size_t>(word_end)] != odd_before_[static_cast<size_t>(word_start)]) {
    return 0;
  }
  auto at = [&](qsizetype k) -> char16_t {
    return k < n ? upper_[static_cast<size_t>(word_start + k)] : 0;
  };
  const qsizetype first_vowel = next_vowel_[static_cast<size_t>(word_start)] - word_start;

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
    const bool before_has_vowel = first_vowel < length;
    const bool after_has_vowel = next_vowel_[static_cast<size_t>(word_start + length)] < word_end;
    if (n - length < 2 || !before_has_vowel || !after_has_vowel) continue;
    return length;
  }
  return 0;
}

qsizetype HyphenatedPrefixLength(QStringView line, qsizetype word_start, qsizetype overflow) {
  return Hyphenator(line).PrefixLength(word_start, overflow);
}

}  // namespace ovx
