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

TksScript::TksScript() : program_(std::make_unique<ovx::ScriptProgram>()) {}
TksScript::~TksScript() = default;

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

namespace {

QString ErrorText(const ovx::Error& error) {
  return error.ResourceName().isEmpty()
             ? error.Text()
             : error.MessageFrom(ovx::ScriptMessage(error.ResourceName(), error.Text()));
}

}  // namespace

bool TksScript::Compile() {
  SetError(QString(), QString(), QString());
  compiled_ = false;
  TksILParser parser(*this);
  try {
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(SourceText())) {
      if (error_msg_.isEmpty()) SetError(QStringLiteral("Syntax error"), QString(), QString());
      return false;
    }
    program_->Build(*parser.ILScript().Root(), parser.Language(), parser.DeclareVars());
  } catch (const ovx::ScriptError& error) {
    SetError(error.message, error.pos, QString());
    return false;
  } catch (const ovx::Error& error) {
    SetError(ErrorText(error), QString(), QString());
    return false;
  }
  compiled_ = true;
  return true;
}

bool TksScript::Execute() {
  SetError(QString(), QString(), QString());
  if (!compiled_) {
    SetError(QStringLiteral("Script is not compiled"), QString(), QString());
    return false;
  }
  try {
    program_->Execute();
  } catch (const ovx::ScriptError& error) {
    SetError(error.message, error.pos, QString());
    return false;
  } catch (const std::bad_alloc&) {
    SetError(QStringLiteral("Out of memory"), QString(), QString());
    return false;
  }
  return true;
}

void TksScript::Terminate() { program_->Terminate(); }

void TksScript::SetOnRunLine(std::function<void(const QString& pos)> event) {
  program_->SetOnRunLine(std::move(event));
}

ovx::ScriptValue TksScript::Evaluate(const QString& expression) {
  evaluate_failed_ = false;
  // The expression is parsed as the right side of an assignment in the
  // script's dialect, and only that side is compiled.
  const QString lang = syntax_type_.toLower();
  QString text;
  if (lang == u"pascalscript")
    text = QStringLiteral("begin\r\nx := ") + expression + QStringLiteral("\r\nend.");
  else if (lang == u"c++script")
    text = QStringLiteral("{\r\nx = ") + expression + QStringLiteral("\r\n;}");
  else if (lang == u"jscript")
    text = QStringLiteral("x = ") + expression + QStringLiteral("\r\n;");
  else
    text = QStringLiteral("x = ") + expression;
  const QString saved_msg = error_msg_, saved_pos = error_pos_, saved_unit = error_unit_;
  auto fail = [&](QString message) {
    evaluate_failed_ = true;
    SetError(saved_msg, saved_pos, saved_unit);
    return ovx::ScriptValue::String(message);
  };
  try {
    TksILParser parser(*this);
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(ovx::ScriptSourceText(text))) return fail(error_msg_);
    // The first assignment's right side.
    std::function<const TksXMLItem*(const TksXMLItem&)> find =
        [&](const TksXMLItem& item) -> const TksXMLItem* {
      if (item.Name() == u"assignstmt") {
        for (int i = 0; i < item.Count(); ++i)
          if (item.Items(i)->Name() == u"expr") return item.Items(i);
      }
      for (int i = 0; i < item.Count(); ++i)
        if (const TksXMLItem* found = find(*item.Items(i))) return found;
      return nullptr;
    };
    if (!compiled_) {
      // Without a program the expression still reads in its dialect.
      TksXMLItem empty;
      empty.SetName(QStringLiteral("program"));
      program_->Build(empty, parser.Language(), parser.DeclareVars());
      compiled_ = true;
    }
    const TksXMLItem* expr = find(*parser.ILScript().Root());
    if (!expr)
      return fail(ovx::ScriptMessage(QStringLiteral("SExpressionExpected"),
                                     QStringLiteral("Expression expected")));
    SetError(saved_msg, saved_pos, saved_unit);
    return program_->EvaluateTree(*expr);
  } catch (const ovx::ScriptError& error) {
    return fail(error.message);
  } catch (const ovx::Error& error) {
    return fail(ErrorText(error));
  }
}

ovx::ScriptValue TksScript::CallFunction(const QString& name, std::vector<ovx::ScriptValue>& args) {
  return program_->CallFunction(name, args);
}
