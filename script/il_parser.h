// The grammar interpreter: walks a dialect's rules over the tokens of a
// script and writes the syntax tree every dialect shares.
//
// Grammar elements either succeed or fail; a failing element puts back
// the position *and* the output written since it started, so that an
// alternative that was tried and dropped leaves nothing in the tree. The
// walk recurses per grammar level, so its depth is counted and bounded:
// a script nested too deeply is a syntax error, not a stack overflow.
#pragma once

#include "script/grammar.h"
#include "script/parser.h"
#include "script/xml.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TksScript;

namespace ovx {
// Bounds of the walk: grammar elements in progress, and units included
// within units.
inline constexpr int kMaxGrammarDepth = 4000;
inline constexpr int kMaxUnitDepth = 100;
}  // namespace ovx

class TksILParser {
 public:
  explicit TksILParser(TksScript& script);

  // Throws ovx::Error for an unregistered dialect or a bad grammar.
  void SelectLanguage(const QString& name);
  const QString& Language() const { return language_; }
  // False when the dialect lets undeclared names become variables.
  bool DeclareVars() const { return !grammar_ || grammar_->declare_vars; }
  // Parses `text` (lines ending in CR LF). On success the tree is in
  // ILScript(); in every case the script's ErrorMsg/ErrorPos/ErrorUnit
  // are set (empty on success). Throws ovx::Error for a `#language`
  // directive that names no registered dialect.
  bool MakeILScript(const QString& text);
  const TksXMLDocument& ILScript() const { return output_; }
  // The text of every unit the tree includes (lines ending in CR LF), by
  // lower-case unit name: positions inside a unit refer to its own text.
  const QHash<QString, QString>& UnitTexts() const { return unit_texts_; }
  TksParser& Parser() { return parser_; }

 private:
  // One line of the tree being built. Lines written by this parser keep
  // their positions as numbers, turned into "line:col" text only for the
  // lines that survive; lines taken from a unit's tree carry their
  // attribute text as it is (position 0).
  struct OutLine {
    enum Kind : unsigned char { kOpen, kClose, kLeaf };
    Kind kind;
    QString name;
    QString attributes;  // when `position` is 0
    QString value;       // leaves: the unescaped text
    int position = 0;
    int end_position = 0;  // `expr` wrappers: pos1
  };

  bool Process(int index);
  bool ProcessLoop(const ovx::GrammarElement& element, int entry_position, size_t entry_output);
  bool Matches(const ovx::GrammarElement& element, const QString& token) const;
  void Restore(int position, size_t output);
  // "line:col" of the first token at or after `position`.
  QString TokenPosition(int position);
  int TokenStart(int position);
  void RecordError(const ovx::GrammarElement& element, int entry_position);
  void RecordMessage(const QString& message, const QString& position, const QString& unit);
  void Wrap(const ovx::GrammarElement& element, int entry_position, size_t entry_output);
  void AddLeaf(const QString& name, const QString& text);
  void WriteReportExpression(const QString& body, int position, int end_position);
  QString Attributes(const OutLine& line) const;
  void IncludeUnits(size_t entry_output);
  void IncludeUnit(const QString& name, const QString& position, size_t at);
  QString LoadUnitFile(const QString& name) const;
  void BuildOutput();

  TksScript& script_;
  std::shared_ptr<const ovx::ScriptGrammar> grammar_;
  QString language_;
  TksParser parser_;
  std::vector<OutLine> output_lines_;
  TksXMLDocument output_;
  QString unit_name_;
  QStringList uses_;
  QHash<QString, QString> unit_texts_;
  int unit_depth_ = 0;
  int depth_ = 0;
  bool aborted_ = false;
  QString error_msg_;
  QString error_pos_;
  QString error_unit_;
  bool term_ = false;
};
