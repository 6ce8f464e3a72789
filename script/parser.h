// The tokenizer of every script dialect. A dialect's grammar configures it
// (comment markers, quotes, identifier characters, keywords); the grammar
// interpreter calls one reader per terminal.
//
// Positions are 1-based indexes into the text; the text carries one NUL
// after its end, so reading one character past the last is always safe.
// Every reader stays inside the text whatever it holds (NULs included),
// and nothing recurses, so no input can exhaust the stack.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class TksParser {
 public:
  TksParser();

  // Settings (grammar `parser` section); the defaults are those of
  // PascalScript without its keywords.
  void ResetSettings();
  void SetCommentLine1(const QString& marker) { comment_line_[0] = marker; }
  void SetCommentLine2(const QString& marker) { comment_line_[1] = marker; }
  // "open,close"; a marker pair without a comma, or with an empty half,
  // never matches.
  void SetCommentBlock1(const QString& pair) { SetBlock(0, pair); }
  void SetCommentBlock2(const QString& pair) { SetBlock(1, pair); }
  // First character used; empty keeps the previous quote.
  void SetStringQuotes(const QString& quotes);
  // Empty keeps the previous prefix.
  void SetHexSequence(const QString& prefix);
  void SetIdentChars(const QString& chars);
  void SetSkipChar(const QString& chars);
  void SetSkipEOL(bool line_ends_are_blanks) { skip_eol_ = line_ends_are_blanks; }
  void SetSpecStrChar(bool backslash_escapes) { spec_str_char_ = backslash_escapes; }
  void SetCaseSensitive(bool on);
  void SetSkipSpace(bool on) { skip_space_ = on; }
  // Every non-ASCII letter joins the identifier characters, non-ASCII
  // digits after the first character.
  void SetExtendedCharset(bool on) { extended_charset_ = on; }
  void AddKeyword(const QString& word);
  void ClearKeywords();
  bool CaseSensitive() const { return case_sensitive_; }

  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  // Characters of the text, without the trailing NUL.
  int Size() const { return size_; }
  int Position() const { return position_; }
  // Also sets the last position; clamped to 1..Size()+1.
  void SetPosition(int position);
  int LastPosition() const { return last_position_; }

  void SkipSpaces();
  bool GetEOL();
  QString GetIdent();
  QString GetWord();
  bool IsKeyword(const QString& word) const;
  QString GetChar();
  QString GetNumber();
  QString GetString();
  QString GetOvString();
  // "line:col" of the current position, both 1-based.
  QString GetXYPosition() const { return XYPosition(position_); }
  QString XYPosition(int position) const;
  // Position of (column, line), or -1 when the line is out of range.
  int PosToPoint(int column, int line) const;

 private:
  QChar At(int position) const {
    return position >= 1 && position <= size_ ? text_[position - 1] : QChar(u'\0');
  }
  void SetBlock(int index, const QString& pair);
  // Length (0, 1 or 2 UTF-16 units) of the identifier character at
  // `position`; `first` excludes digits.
  int IdentCharLength(int position, bool first) const;
  // Whether line comment `marker` starts at `position`: compared in the
  // keywords' case rule, and a word-like marker ("rem") only as a whole word.
  bool MatchLineComment(int position, const QString& marker) const;
  bool SkipCharJoinsLine() const;
  // Reads step 1 of a number (hex after the prefix, else decimal digits)
  // from the position; answers false and keeps the position when none.
  bool ReadInteger(bool* hex);

  QString comment_line_[2];
  QString block_open_[2];
  QString block_close_[2];
  QChar quote_ = u'\'';
  QString hex_prefix_ = QStringLiteral("$");
  bool ident_ascii_[128] = {};
  QString extra_ident_chars_;  // listed non-ASCII identifier characters
  QChar skip_char_;
  bool has_skip_char_ = false;
  bool skip_eol_ = true;
  bool spec_str_char_ = false;
  bool case_sensitive_ = false;
  bool skip_space_ = true;
  bool extended_charset_ = false;
  QSet<QString> keywords_;  // lower case unless case-sensitive

  QString text_;  // the source and one NUL
  int size_ = 0;
  int position_ = 1;
  int last_position_ = 1;
  std::vector<int> line_starts_{0};
};
