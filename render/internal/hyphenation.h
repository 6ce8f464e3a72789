// Breaking Russian words at a line end.
//
// A rule of thumb rather than a dictionary: a word may break after a
// consonant not followed by a vowel or a hard or soft sign, or after a vowel
// not followed by "Й" and not followed by a doubled consonant before a
// vowel; both parts must be at least two letters long and hold a vowel.
// Letters are compared in upper case, so the rule sees any Russian word;
// text in other scripts never breaks.
//
// A line is asked once per wrapped line, and a line without word ends (Chinese
// text has none) is one long "word": Hyphenator looks at the line once, so
// each question costs only the characters that can stand on one wrapped
// line, and breaking a whole line stays linear in its length.
#pragma once

#include <QStringView>

#include <vector>

namespace ovx {

class Hyphenator {
 public:
  explicit Hyphenator(QStringView line);

  // The length of the longest prefix of the word that starts at
  // `word_start` which may stand before a hyphen and ends before the
  // character at `overflow` (the first one that did not fit); 0 when there
  // is none. The word runs to the first of " .,-;" at or after `overflow`,
  // or to the end of the line.
  qsizetype PrefixLength(qsizetype word_start, qsizetype overflow) const;

 private:
  qsizetype size_ = 0;
  // Each code unit in upper case.
  std::vector<char16_t> upper_;
  // For each position, the first word end at or after it (size_ for none).
  std::vector<qsizetype> word_end_;
  // For each position, the first vowel at or after it (size_ for none).
  std::vector<qsizetype> next_vowel_;
  // Characters before each position whose upper case has another length
  // (a word holding one is not Russian and never breaks).
  std::vector<qsizetype> odd_before_;
};

// The same for a single question (builds a Hyphenator over `line`).
qsizetype HyphenatedPrefixLength(QStringView line, qsizetype word_start, qsizetype overflow);

}  // namespace ovx
