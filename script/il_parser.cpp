#include "script/il_parser.h"

#include "base/error.h"
#include "base/stream.h"
#include "base/text_codec.h"
#include "script/languages.h"
#include "script/script.h"

#include <QFileInfo>

using ovx::GrammarElement;

namespace {

QString PositionAttribute(const QString& position) {
  return QStringLiteral("pos=\"") + position + u'"';
}

}  // namespace

TksILParser::TksILParser(TksScript& script) : script_(script) {}

void TksILParser::SelectLanguage(const QString& name) {
  grammar_ = ovx::FindLanguage(name);
  language_ = grammar_->name;
  grammar_->Configure(parser_);
  parser_.SetExtendedCharset(script_.ExtendedCharset());
}

bool TksILParser::Matches(const GrammarElement& element, const QString& token) const {
  if (token.isEmpty()) return false;
  if (!element.has_text) return true;
  return parser_.CaseSensitive() ? token == element.text
                                 : token.compare(element.text, Qt::CaseInsensitive) == 0;
}

void TksILParser::Restore(int position, size_t output) {
  parser_.SetPosition(position);
  if (output_lines_.size() > output) output_lines_.resize(output);
}

int TksILParser::TokenStart(int position) {
  const int saved = parser_.Position();
  parser_.SetPosition(position);
  parser_.SkipSpaces();
  const int start = parser_.Position();
  parser_.SetPosition(saved);
  return start;
}

QString TksILParser::TokenPosition(int position) {
  return parser_.XYPosition(TokenStart(position));
}

void TksILParser::RecordMessage(const QString& message, const QString& position,
                                const QString& unit) {
  if (!error_msg_.isEmpty()) return;
  error_msg_ = message;
  error_pos_ = position;
  error_unit_ = unit;
}

void TksILParser::RecordError(const GrammarElement& element, int entry_position) {
  if (element.error < 0 || !error_msg_.isEmpty()) return;
  RecordMessage(grammar_->errors[element.error], TokenPosition(entry_position), QString());
  term_ = element.term;
}

void TksILParser::Wrap(const GrammarElement& element, int entry_position, size_t entry_output) {
  if (element.node_is_uses) {
    IncludeUnits(entry_output);
    return;
  }
  OutLine open{OutLine::kOpen, element.node, QString(), QString(), TokenStart(entry_position), 0};
  if (element.node == u"expr") open.end_position = parser_.Position();
  output_lines_.insert(output_lines_.begin() + static_cast<std::ptrdiff_t>(entry_output),
                       std::move(open));
  output_lines_.push_back(OutLine{OutLine::kClose, element.node, QString(), QString()});
}

void TksILParser::AddLeaf(const QString& name, const QString& text) {
  output_lines_.push_back(OutLine{OutLine::kLeaf, name, QString(), text, parser_.Position(), 0});
}

void TksILParser::WriteReportExpression(const QString& body, int position, int end_position) {
  // <...> in a script is a call of Get with the bracket's text.
  output_lines_.push_back(
      OutLine{OutLine::kOpen, QStringLiteral("dsgn"), QString(), QString(), position, 0});
  output_lines_.push_back(OutLine{OutLine::kLeaf, QStringLiteral("node"), QString(),
                                  QStringLiteral("Get"), position, 0});
  output_lines_.push_back(OutLine{OutLine::kOpen, QStringLiteral("expr"), QString(), QString(),
                                  position, end_position});
  output_lines_.push_back(OutLine{OutLine::kLeaf, QStringLiteral("string"), QString(),
                                  u'\'' + body + u'\'', position, 0});
  output_lines_.push_back(OutLine{OutLine::kClose, QStringLiteral("expr"), QString(), QString()});
  output_lines_.push_back(OutLine{OutLine::kClose, QStringLiteral("dsgn"), QString(), QString()});
}

QString TksILParser::Attributes(const OutLine& line) const {
  if (line.position == 0) return line.attributes;
  QString attributes;
  if (line.kind == OutLine::kLeaf) {
    attributes =
        QStringLiteral("text=\"") + ovx::ScriptXmlEscape(line.value) + QStringLiteral("\" ");
  }
  attributes += PositionAttribute(parser_.XYPosition(line.position));
  if (line.end_position > 0) {
    attributes += QStringLiteral(" pos1=\"") + parser_.XYPosition(line.end_position) + u'"';
  }
  return attributes;
}

bool TksILParser::Process(int index) {
  if (aborted_) return false;
  const GrammarElement& element = grammar_->elements[static_cast<size_t>(index)];
  if (depth_ >= ovx::kMaxGrammarDepth) {
    aborted_ = true;
    RecordMessage(QStringLiteral("Program nested too deeply"), parser_.GetXYPosition(), QString());
    return false;
  }
  struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
  } guard(depth_);

  const int entry_position = parser_.Position();
  const size_t entry_output = output_lines_.size();
  bool ok = false;
  bool terminal = true;
  QString token;
  switch (element.kind) {
    case GrammarElement::kChar:
      if (!element.no_skip) parser_.SkipSpaces();
      token = parser_.GetChar();
      ok = Matches(element, token);
      break;
    case GrammarElement::kKeyword:
      token = parser_.GetWord();
      ok = Matches(element, token);
      break;
    case GrammarElement::kIdent:
      token = parser_.GetIdent();
      ok = Matches(element, token);
      break;
    case GrammarElement::kNumber:
      token = parser_.GetNumber();
      ok = Matches(element, token);
      break;
    case GrammarElement::kString:
      token = parser_.GetString();
      ok = Matches(element, token);
      break;
    case GrammarElement::kOvString: {
      const int position = parser_.Position();
      token = parser_.GetOvString();
      WriteReportExpression(token, position, parser_.Position());
      ok = true;
      break;
    }
    case GrammarElement::kEol:
      ok = parser_.GetEOL();
      break;
    case GrammarElement::kSequence:
    case GrammarElement::kRule:
      terminal = false;
      ok = true;
      for (int child : element.children) {
        if (!Process(child)) {
          ok = false;
          break;
        }
      }
      break;
    case GrammarElement::kReference:
      terminal = false;
      ok = Process(element.rule);
      break;
    case GrammarElement::kSwitch:
    case GrammarElement::kOptionalSwitch:
      for (int child : element.children) {
        if (Process(child)) return true;
      }
      if (element.kind == GrammarElement::kOptionalSwitch) return true;
      RecordError(element, entry_position);
      Restore(entry_position, entry_output);
      return false;
    case GrammarElement::kOptional:
      for (int child : element.children) {
        if (!Process(child)) {
          Restore(entry_position, entry_output);
          break;
        }
      }
      return true;
    case GrammarElement::kLoop:
    case GrammarElement::kOptionalLoop:
      return ProcessLoop(element, entry_position, entry_output);
  }
  if (ok) {
    if (!element.node.isEmpty()) Wrap(element, entry_position, entry_output);
    if (!element.add.isEmpty()) {
      const bool no_token = !terminal || element.kind == GrammarElement::kEol;
      AddLeaf(element.add,
              element.has_add_text ? element.add_text : (no_token ? QString() : token));
    }
    if (terminal) {
      for (int child : element.children) {
        if (!Process(child)) {
          ok = false;
          break;
        }
      }
    }
  }
  if (!ok) {
    RecordError(element, entry_position);
    Restore(entry_position, entry_output);
  }
  return ok && !aborted_;
}

bool TksILParser::ProcessLoop(const GrammarElement& element, int entry_position,
                              size_t entry_output) {
  int passes = 0;
  int stop_position = entry_position;
  bool last_complete = false;
  for (;;) {
    ++passes;
    const int start = parser_.Position();
    bool complete = true;
    for (int child : element.children) {
      if (!Process(child)) {
        complete = false;
        break;
      }
    }
    stop_position = parser_.Position();
    last_complete = complete;
    if (!complete || aborted_) break;
    if (element.has_text) {
      parser_.SkipSpaces();
      if (parser_.GetChar().toLower() != element.text) {
        parser_.SetPosition(stop_position);
        break;
      }
    }
    if (parser_.Position() == start) break;
  }
  if (passes >= 2) {
    // A partial last pass keeps what its successful children read, so a
    // separator with nothing valid after it is accepted.
    if (element.loop_skip || term_) {
      error_msg_.clear();
      error_pos_.clear();
      error_unit_.clear();
      term_ = false;
    }
    parser_.SetPosition(stop_position);
    return !aborted_;
  }
  if (last_complete) return !aborted_;
  Restore(entry_position, entry_output);
  return element.kind == GrammarElement::kOptionalLoop && !aborted_;
}

void TksILParser::IncludeUnits(size_t entry_output) {
  // Units are included in place of their `file` leaves, last named first.
  for (size_t i = output_lines_.size(); i-- > entry_output;) {
    const OutLine& line = output_lines_[i];
    if (line.kind != OutLine::kLeaf || line.name.compare(u"file", Qt::CaseInsensitive) != 0) {
      continue;
    }
    const QString quoted = line.value;
    const QString name = quoted.size() >= 2 ? quoted.mid(1, quoted.size() - 2) : QString();
    const QString position = parser_.XYPosition(line.position);
    output_lines_.erase(output_lines_.begin() + static_cast<std::ptrdiff_t>(i));
    IncludeUnit(name, position, i);
  }
}

QString TksILParser::LoadUnitFile(const QString& name) const {
  const QStringList& path = script_.IncludePath();
  QString file_name = name;
  for (const QString& entry : path) {
    QString folder = entry;
    if (!folder.isEmpty() && !folder.endsWith(u'/') && !folder.endsWith(u'\\')) folder += u'/';
    file_name = folder + name;
    if (QFileInfo(file_name).isFile()) break;
  }
  ovx::FileStream stream(file_name, ovx::FileStream::Mode::kRead);
  const QByteArray bytes = stream.ReadAll();
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  if (bytes.startsWith("\xFF\xFE")) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
  }
  return ovx::DecodeNarrow(bytes);
}

void TksILParser::IncludeUnit(const QString& name, const QString& position, size_t at) {
  for (const QString& used : uses_) {
    if (used.compare(name, Qt::CaseInsensitive) == 0) return;
  }
  uses_ << name;
  std::vector<OutLine> unit_lines;
  if (unit_depth_ + 1 >= ovx::kMaxUnitDepth) {
    RecordMessage(QStringLiteral("Units nested too deeply"), position, unit_name_);
  } else {
    QString text;
    try {
      if (script_.OnGetUnit()) {
        script_.OnGetUnit()(script_, name, text);
      } else {
        text = LoadUnitFile(name);
      }
    } catch (const ovx::Error& error) {
      RecordMessage(error.Message(), position, unit_name_);
    }
    if (!text.isEmpty()) {
      TksILParser nested(script_);
      nested.grammar_ = grammar_;
      nested.language_ = language_;
      grammar_->Configure(nested.parser_);
      nested.parser_.SetExtendedCharset(script_.ExtendedCharset());
      nested.unit_name_ = name;
      nested.unit_depth_ = unit_depth_ + 1;
      nested.uses_ = uses_;
      nested.depth_ = depth_;  // one bound for the whole walk, units included
      const QString unit_text = ovx::ScriptSourceText(text);
      if (nested.MakeILScript(unit_text)) {
        uses_ = nested.uses_;
        unit_texts_.insert(nested.unit_texts_);
        unit_texts_.insert(name.toLower(), unit_text);
        // The unit's whole tree, its root included.
        std::vector<std::pair<const TksXMLItem*, int>> path{{nested.output_.Root(), 0}};
        unit_lines.push_back(OutLine{OutLine::kOpen, nested.output_.Root()->Name(),
                                     nested.output_.Root()->Text(), QString()});
        while (!path.empty()) {
          auto& [item, next] = path.back();
          if (next < item->Count()) {
            const TksXMLItem* child = item->Items(next++);
            if (child->Count() == 0) {
              unit_lines.push_back(
                  OutLine{OutLine::kLeaf, child->Name(), child->Text(), child->Prop("text")});
            } else {
              unit_lines.push_back(OutLine{OutLine::kOpen, child->Name(), child->Text(), {}});
              path.emplace_back(child, 0);
            }
            continue;
          }
          unit_lines.push_back(OutLine{OutLine::kClose, item->Name(), QString(), QString()});
          path.pop_back();
        }
      } else {
        RecordMessage(nested.error_msg_, nested.error_pos_,
                      nested.error_unit_.isEmpty() ? name : nested.error_unit_);
        if (nested.aborted_) aborted_ = true;
      }
    }
  }
  std::vector<OutLine> lines;
  lines.reserve(unit_lines.size() + 2);
  lines.push_back(OutLine{OutLine::kOpen, QStringLiteral("uses"),
                          QStringLiteral("unit=\"") + ovx::ScriptXmlEscape(name) + u'"',
                          QString()});
  for (OutLine& line : unit_lines) lines.push_back(std::move(line));
  lines.push_back(OutLine{OutLine::kClose, QStringLiteral("uses"), QString(), QString()});
  output_lines_.insert(output_lines_.begin() + static_cast<std::ptrdiff_t>(at),
                       std::make_move_iterator(lines.begin()),
                       std::make_move_iterator(lines.end()));
}

void TksILParser::BuildOutput() {
  output_.Clear();
  TksXMLItem* root = output_.Root();
  root->SetName(QStringLiteral("program"));
  std::vector<TksXMLItem*> open{root};
  for (const OutLine& line : output_lines_) {
    switch (line.kind) {
      case OutLine::kOpen: {
        TksXMLItem* item = open.back()->Add();
        item->SetName(line.name);
        item->SetText(Attributes(line));
        open.push_back(item);
        break;
      }
      case OutLine::kClose:
        if (open.size() > 1) open.pop_back();
        break;
      case OutLine::kLeaf: {
        TksXMLItem* item = open.back()->Add();
        item->SetName(line.name);
        item->SetText(Attributes(line));
        break;
      }
    }
  }
  root->Add()->Assign(grammar_->types);
}

bool TksILParser::MakeILScript(const QString& text) {
  if (!grammar_) SelectLanguage(script_.SyntaxType());
  output_lines_.clear();
  output_.Clear();
  error_msg_.clear();
  error_pos_.clear();
  error_unit_.clear();
  term_ = false;
  aborted_ = false;
  if (unit_depth_ == 0) depth_ = 0;
  parser_.SetText(text);

  // "#language NAME" on the very first line switches the dialect.
  int start = 1;
  if (text.startsWith(u'#')) {
    static const QString kWord = QStringLiteral("language");
    const QStringView rest = QStringView(text).mid(1);
    if (rest.startsWith(kWord, Qt::CaseInsensitive) &&
        (rest.size() == kWord.size() || rest[kWord.size()].unicode() <= ' ')) {
      qsizetype end = 1 + kWord.size();
      while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
      SelectLanguage(text.mid(1 + kWord.size(), end - 1 - kWord.size()).trimmed());
      if (end < text.size() && text[end] == u'\r') ++end;
      if (end < text.size() && text[end] == u'\n') ++end;
      start = static_cast<int>(end) + 1;
    }
  }
  parser_.SetPosition(start);

  bool ok = Process(grammar_->program);
  const QString statement_expected = grammar_->statement_expected >= 0
                                         ? grammar_->errors[grammar_->statement_expected]
                                         : QStringLiteral("Statement expected");
  if (ok && error_msg_.isEmpty() && grammar_->trailing == ovx::TrailingText::kError) {
    // Statements at top level end only at the end of the text.
    for (;;) {
      parser_.SkipSpaces();
      if (!parser_.GetEOL()) break;
    }
    if (parser_.Position() <= parser_.Size()) {
      RecordMessage(statement_expected, parser_.GetXYPosition(), QString());
      ok = false;
    }
  }
  if (!ok && error_msg_.isEmpty()) {
    // The program rule gave up without saying why: either there is
    // nothing to parse (an empty program) or the text where it stopped
    // starts no statement.
    const int stopped = parser_.Position();
    parser_.SetPosition(start);
    for (;;) {
      parser_.SkipSpaces();
      if (!parser_.GetEOL()) break;
    }
    if (parser_.Position() > parser_.Size()) {
      output_lines_.clear();
      ok = true;
    } else {
      RecordMessage(statement_expected, TokenPosition(stopped), QString());
    }
  }
  const bool success = ok && error_msg_.isEmpty();
  if (success) {
    BuildOutput();
  } else {
    output_lines_.clear();
  }
  if (unit_depth_ == 0) script_.SetError(error_msg_, error_pos_, error_unit_);
  return success;
}
