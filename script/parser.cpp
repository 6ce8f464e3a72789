#include "script/parser.h"

#include <algorithm>

namespace {

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

int HexValue(QChar c) {
  if (c >= u'0' && c <= u'9') return c.unicode() - '0';
  if (c >= u'A' && c <= u'F') return c.unicode() - 'A' + 10;
  if (c >= u'a' && c <= u'f') return c.unicode() - 'a' + 10;
  return -1;
}

bool IsPunctuation(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 33 && u <= 47) || (u >= 58 && u <= 64) || (u >= 91 && u <= 96) ||
         (u >= 123 && u <= 126);
}

bool IsLineEnd(QChar c) { return c == u'\r' || c == u'\n'; }

}  // namespace

TksParser::TksParser() { ResetSettings(); }

void TksParser::ResetSettings() {
  comment_line_[0] = QStringLiteral("//");
  comment_line_[1].clear();
  SetBlock(0, QStringLiteral("{,}"));
  SetBlock(1, QStringLiteral("(*,*)"));
  quote_ = u'\'';
  hex_prefix_ = QStringLiteral("$");
  SetIdentChars(QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz"));
  has_skip_char_ = false;
  skip_eol_ = true;
  spec_str_char_ = false;
  case_sensitive_ = false;
  skip_space_ = true;
  extended_charset_ = false;
  keywords_.clear();
}

void TksParser::SetBlock(int index, const QString& pair) {
  const qsizetype comma = pair.indexOf(u',');
  if (comma < 0) {
    block_open_[index].clear();
    block_close_[index].clear();
    return;
  }
  block_open_[index] = pair.left(comma);
  block_close_[index] = pair.mid(comma + 1);
}

void TksParser::SetStringQuotes(const QString& quotes) {
  if (!quotes.isEmpty()) quote_ = quotes[0];
}

void TksParser::SetHexSequence(const QString& prefix) {
  if (!prefix.isEmpty()) hex_prefix_ = prefix;
}

void TksParser::SetIdentChars(const QString& chars) {
  std::fill(std::begin(ident_ascii_), std::end(ident_ascii_), false);
  extra_ident_chars_.clear();
  for (QChar c : chars) {
    if (c.unicode() < 128) {
      ident_ascii_[c.unicode()] = true;
    } else {
      extra_ident_chars_ += c;
    }
  }
}

void TksParser::SetSkipChar(const QString& chars) {
  has_skip_char_ = !chars.isEmpty();
  if (has_skip_char_) skip_char_ = chars[0];
}

void TksParser::SetCaseSensitive(bool on) {
  if (on == case_sensitive_) return;
  const QSet<QString> old = keywords_;
  case_sensitive_ = on;
  keywords_.clear();
  for (const QString& word : old) AddKeyword(word);
}

void TksParser::AddKeyword(const QString& word) {
  keywords_.insert(case_sensitive_ ? word : word.toLower());
}

void TksParser::ClearKeywords() { keywords_.clear(); }

void TksParser::SetText(const QString& text) {
  text_ = text;
  text_ += QChar(u'\0');
  size_ = static_cast<int>(text.size());
  position_ = 1;
  last_position_ = 1;
  line_starts_.assign(1, 0);
  for (int i = 0; i < size_; ++i) {
    if (text_[i] == u'\n') line_starts_.push_back(i + 1);
  }
}

void TksParser::SetPosition(int position) {
  position_ = std::clamp(position, 1, size_ + 1);
  last_position_ = position_;
}

int TksParser::IdentCharLength(int position, bool first) const {
  if (position > size_) return 0;
  const QChar c = At(position);
  if (c.unicode() < 128) {
    if (!ident_ascii_[c.unicode()]) return 0;
    return first && IsAsciiDigit(c) ? 0 : 1;
  }
  if (extra_ident_chars_.contains(c)) return 1;
  if (!extended_charset_) return 0;
  // National names: any letter, digits after the first character, as
  // report object names allow.
  char32_t code = c.unicode();
  int length = 1;
  if (c.isHighSurrogate() && position < size_ && At(position + 1).isLowSurrogate()) {
    code = QChar::surrogateToUcs4(c, At(position + 1));
    length = 2;
  }
  if (QChar::isLetter(code)) return length;
  if (!first && QChar::isDigit(code)) return length;
  return 0;
}

bool TksParser::MatchLineComment(int position, const QString& marker) const {
  const int length = static_cast<int>(marker.size());
  if (length == 0 || position + length - 1 > size_) return false;
  const Qt::CaseSensitivity cs = case_sensitive_ ? Qt::CaseSensitive : Qt::CaseInsensitive;
  if (QStringView(text_).mid(position - 1, length).compare(marker, cs) != 0) return false;
  // A word-like marker ("rem") is a comment only as a whole word.
  const QChar last = marker.back();
  const bool word_like =
      last.unicode() < 128 ? ident_ascii_[last.unicode()] : last.isLetterOrNumber();
  return !word_like || IdentCharLength(position + length, false) == 0;
}

bool TksParser::SkipCharJoinsLine() const {
  // The skip character continues the line only when nothing but blanks or
  // a comment follows it there; otherwise it is an ordinary character.
  int p = position_ + 1;
  while (p <= size_ && At(p).unicode() <= ' ' && !IsLineEnd(At(p))) ++p;
  return p > size_ || IsLineEnd(At(p)) || MatchLineComment(p, comment_line_[0]) ||
         MatchLineComment(p, comment_line_[1]);
}

void TksParser::SkipSpaces() {
  for (;;) {
    while (position_ <= size_) {
      const QChar c = At(position_);
      if (c.unicode() > ' ' || (!skip_eol_ && c == u'\r')) break;
      ++position_;
    }
    if (position_ > size_) break;
    if (has_skip_char_ && At(position_) == skip_char_ && SkipCharJoinsLine()) {
      ++position_;
      while (position_ <= size_ && At(position_).unicode() <= ' ' && !IsLineEnd(At(position_))) {
        ++position_;
      }
      while (position_ <= size_ && !IsLineEnd(At(position_))) ++position_;  // a comment
      while (position_ <= size_ && IsLineEnd(At(position_))) ++position_;
      continue;
    }
    if (MatchLineComment(position_, comment_line_[0]) ||
        MatchLineComment(position_, comment_line_[1])) {
      const bool line_start = position_ == 1 || At(position_ - 1) == u'\n';
      if (!skip_eol_ && !line_start) {
        // Keep the line end as a token.
        while (position_ <= size_ && !IsLineEnd(At(position_))) ++position_;
      } else {
        while (position_ <= size_ && At(position_) != u'\n') ++position_;
      }
      continue;
    }
    bool in_block = false;
    for (int i = 0; i < 2 && !in_block; ++i) {
      const QString& open = block_open_[i];
      const QString& close = block_close_[i];
      if (open.isEmpty() || close.isEmpty() || position_ + open.size() - 1 > size_) continue;
      if (QStringView(text_).mid(position_ - 1, open.size()) != open) continue;
      in_block = true;
      position_ += static_cast<int>(open.size());
      const qsizetype found = QStringView(text_).first(size_).indexOf(close, position_ - 1);
      position_ = found < 0 ? size_ + 1 : static_cast<int>(found + close.size()) + 1;
    }
    if (!in_block) break;
  }
  last_position_ = position_;
}

bool TksParser::GetEOL() {
  SkipSpaces();
  if (position_ > size_ || !IsLineEnd(At(position_))) return false;
  while (position_ <= size_ && IsLineEnd(At(position_))) ++position_;
  return true;
}

QString TksParser::GetWord() {
  if (skip_space_) {
    SkipSpaces();
  } else {
    last_position_ = position_;
  }
  const int start = position_;
  int length = IdentCharLength(position_, true);
  if (length == 0) return QString();
  position_ += length;
  while ((length = IdentCharLength(position_, false)) > 0) position_ += length;
  return text_.mid(start - 1, position_ - start);
}

QString TksParser::GetIdent() {
  const int start = position_;
  QString word = GetWord();
  if (!word.isEmpty() && IsKeyword(word)) {
    position_ = start;
    return QString();
  }
  return word;
}

bool TksParser::IsKeyword(const QString& word) const {
  return keywords_.contains(case_sensitive_ ? word : word.toLower());
}

QString TksParser::GetChar() {
  if (position_ > size_ || !IsPunctuation(At(position_))) return QString();
  return QString(At(position_++));
}

bool TksParser::ReadInteger(bool* hex) {
  const int length = static_cast<int>(hex_prefix_.size());
  if (position_ + length - 1 <= size_ &&
      QStringView(text_).mid(position_ - 1, length) == hex_prefix_) {
    int p = position_ + length;
    while (p <= size_ && HexValue(At(p)) >= 0) ++p;
    if (p > position_ + length) {
      position_ = p;
      *hex = true;
      return true;
    }
  }
  int p = position_;
  while (p <= size_ && IsAsciiDigit(At(p))) ++p;
  if (p == position_) return false;
  position_ = p;
  *hex = false;
  return true;
}

QString TksParser::GetNumber() {
  if (skip_space_) SkipSpaces();
  const int start = position_;
  bool hex = false;
  if (!ReadInteger(&hex)) return QString();
  if (!hex) {
    bool fraction_ok = true;
    if (At(position_) == u'.' && position_ <= size_) {
      if (position_ + 1 <= size_ && IsAsciiDigit(At(position_ + 1))) {
        position_ += 1;
        while (position_ <= size_ && IsAsciiDigit(At(position_))) ++position_;
      } else {
        fraction_ok = false;  // 1..5: the integer alone
      }
    }
    if (fraction_ok && position_ <= size_ && (At(position_) == u'E' || At(position_) == u'e')) {
      int p = position_ + 1;
      if (p <= size_ && (At(p) == u'+' || At(p) == u'-')) ++p;
      if (p <= size_ && IsAsciiDigit(At(p))) {
        while (p <= size_ && IsAsciiDigit(At(p))) ++p;
        position_ = p;
      }
    }
  }
  QString token = text_.mid(start - 1, position_ - start);
  if (hex_prefix_ != u"$") token.replace(hex_prefix_, QStringLiteral("$"));
  return token;
}

QString TksParser::GetString() {
  SkipSpaces();
  QString result;
  int pieces = 0;
  for (;;) {
    if (position_ > size_) break;
    const QChar c = At(position_);
    if (c == quote_) {
      QString piece;
      int p = position_ + 1;
      bool closed = false;
      while (p <= size_) {
        QChar ch = At(p);
        if (ch == quote_) {
          if (!spec_str_char_ && p + 1 <= size_ && At(p + 1) == quote_) {
            piece += ch;
            p += 2;
            continue;
          }
          ++p;
          closed = true;
          break;
        }
        if (spec_str_char_ && ch == u'\\') {
          if (++p > size_) break;
          ch = At(p);
          if (ch.unicode() < ' ' && ch != u'\t') break;
          ++p;
          switch (ch.toLower().unicode()) {
            case 'n':
              piece += QChar(u'\n');
              break;
            case 'r':
              piece += QChar(u'\r');
              break;
            case 'x': {
              int value = 0;
              int digits = 0;
              while (p <= size_ && HexValue(At(p)) >= 0) {
                value = (value * 16 + HexValue(At(p))) & 0xFF;
                ++digits;
                ++p;
              }
              if (digits > 0) piece += QChar(static_cast<char16_t>(value));
              break;
            }
            default:
              piece += ch;
          }
          continue;
        }
        if (ch.unicode() < ' ' && ch != u'\t') break;
        piece += ch;
        ++p;
      }
      if (!closed) break;  // the position stays on the opening quote
      result += piece;
      position_ = p;
      ++pieces;
      continue;
    }
    if (c == u'#') {
      const int start = position_;
      ++position_;
      const int digits_start = position_;
      bool hex = false;
      if (!ReadInteger(&hex)) {
        position_ = start;
        break;
      }
      QStringView digits = QStringView(text_).mid(digits_start - 1, position_ - digits_start);
      if (hex) digits = digits.mid(hex_prefix_.size());
      char32_t code = 0;
      bool valid = true;
      for (QChar d : digits) {
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(HexValue(d));
        if (code > 0x10FFFF) {
          valid = false;
          break;
        }
      }
      if (!valid) {
        position_ = start;
        break;
      }
      if (QChar::requiresSurrogates(code)) {
        result += QChar(QChar::highSurrogate(code));
        result += QChar(QChar::lowSurrogate(code));
      } else {
        result += QChar(static_cast<char16_t>(code));
      }
      ++pieces;
      continue;
    }
    break;
  }
  if (pieces == 0) return QString();
  return u'\'' + result + u'\'';
}

QString TksParser::GetOvString() {
  int depth = 1;
  bool double_quoted = false;
  bool single_quoted = false;
  int p = position_;
  for (; p <= size_; ++p) {
    const QChar c = At(p);
    if (c == u'"' && !single_quoted) {
      double_quoted = !double_quoted;
    } else if (c == u'\'' && !double_quoted) {
      single_quoted = !single_quoted;
    } else if (!double_quoted && !single_quoted) {
      if (c == u'<' || c == u'[') {
        ++depth;
      } else if (c == u'>' || c == u']') {
        if (--depth == 0) break;
      }
    }
  }
  QString body = text_.mid(position_ - 1, p - position_);
  position_ = p;
  return body;
}

QString TksParser::XYPosition(int position) const {
  const auto it = std::lower_bound(line_starts_.begin(), line_starts_.end(), position);
  const auto line = std::max<std::ptrdiff_t>(it - line_starts_.begin(), 1);
  const int column = position - line_starts_[static_cast<size_t>(line - 1)];
  return QString::number(line) + u':' + QString::number(column);
}

int TksParser::PosToPoint(int column, int line) const {
  if (line < 1 || line > static_cast<int>(line_starts_.size())) return -1;
  return line_starts_[static_cast<size_t>(line - 1)] + column;
}
