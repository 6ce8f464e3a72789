// A dialect's grammar document, checked and turned into a table the
// interpreter walks without reading attributes again.
#pragma once

#include "script/xml.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TksParser;

namespace ovx {

// What a dialect does with text after its `program` rule.
enum class TrailingText {
  kIgnored,  // the main block ends the script (Pascal `end.`, C++ `}`)
  kError,    // statements at top level: anything left is a syntax error
};

struct GrammarElement {
  enum Kind {
    kChar,
    kKeyword,
    kIdent,
    kNumber,
    kString,
    kOvString,
    kEol,
    kSequence,
    kSwitch,
    kOptionalSwitch,
    kOptional,
    kLoop,
    kOptionalLoop,
    kReference,
    kRule,
  };
  Kind kind = kSequence;
  QString text;  // lower-cased `text` (loops: the separator)
  bool has_text = false;
  bool no_skip = false;    // char skip="0"
  bool loop_skip = false;  // loop skip="1"
  bool term = false;
  QString node;
  bool node_is_uses = false;
  QString add;
  QString add_text;
  bool has_add_text = false;
  int error = -1;  // index into ScriptGrammar::errors, -1 for none
  int rule = -1;   // kReference: the element index of the rule
  std::vector<int> children;
};

struct ScriptGrammar {
  QString name;  // as registered
  TrailingText trailing = TrailingText::kIgnored;
  std::vector<GrammarElement> elements;
  int program = -1;
  QStringList errors;           // message texts
  int statement_expected = -1;  // err3, the message for unparsed text
  QStringList keywords;
  // (setting name in lower case, text)
  std::vector<std::pair<QString, QString>> settings;
  bool declare_vars = true;
  TksXMLItem types;  // copied into every syntax tree

  // Resets `parser` to the defaults and applies this dialect's settings
  // and keywords.
  void Configure(TksParser& parser) const;
};

// Throws ovx::Error "Invalid file format" for malformed XML and "Invalid
// language definition" for a document that is not a usable grammar (no
// `program`, a reference to a missing rule or error text).
std::shared_ptr<const ScriptGrammar> CompileGrammar(const QString& name, const QString& xml,
                                                    TrailingText trailing);

}  // namespace ovx
