// Breaking Russian words at a line end.
//
// A rule of thumb rather than a dictionary: a word may break after a
// consonant not followed by a vowel or a hard or soft sign, or after a vowel
// not followed by "Й" and not followed by a doubled consonant before a
// vowel; both parts must be at least two letters long and hold a vowel.
// Letters are compared in upper case, so the rule sees any Russian word;
// text in other scripts never breaks.
#pragma once

#include <QStringView>

namespace ovx {

// The length of the longest prefix of the word that starts at `word_start`
// in `line` which may stand before a hyphen and ends before the character
// at `overflow` (the first one that did not fit); 0 when there is none. The
// word runs to the first of " .,-;" at or after `overflow`, or to the end of
// the line.
qsizetype HyphenatedPrefixLength(QStringView line, qsizetype word_start, qsizetype overflow);

}  // namespace ovx
