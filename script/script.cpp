#include "script/script.h"

#include "base/error.h"
#include "base/stream.h"
#include "script/il_parser.h"
#include "script/messages.h"

namespace {

QStringList SplitLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines << text.mid(start, i - start);
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines << text.mid(start);
  return lines;
}

QString JoinLines(const QStringList& lines) {
  QString text;
  qsizetype size = 0;
  for (const QString& line : lines) size += line.size() + 2;
  text.reserve(size);
  for (const QString& line : lines) {
    text += line;
    text += QStringLiteral("\r\n");
  }
  return text;
}

}  // namespace

namespace ovx {
QString ScriptSourceText(const QString& text) { return JoinLines(SplitLines(text)); }
}  // namespace ovx

void TksScript::SetText(const QString& text) { lines_ = SplitLines(text); }

QString TksScript::SourceText() const { return JoinLines(lines_); }

void TksScript::SetError(const QString& message, const QString& position, const QString& unit) {
  error_msg_ = message;
  error_pos_ = position;
  error_unit_ = unit;
}

bool TksScript::GetILCode(ovx::Stream& out) {
  SetError(QString(), QString(), QString());
  TksILParser parser(*this);
  try {
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(SourceText())) return false;
  } catch (const ovx::Error& error) {
    // An unknown dialect or a broken grammar ends the compilation like a
    // syntax error does.
    const QString text = error.ResourceName().isEmpty()
                             ? error.Text()
                             : ovx::ScriptMessage(error.ResourceName(), error.Text());
    SetError(error.MessageFrom(text), error_pos_, error_unit_);
    return false;
  }
  TksXMLDocument& tree = const_cast<TksXMLDocument&>(parser.ILScript());
  tree.SetAutoIndent(true);
  tree.SaveToStream(out);
  return true;
}
