// Bracketed expressions in texts: "Total: [Sum(Amount)]".
//
// A text marks expressions with an opening and a closing delimiter ("[" and
// "]" unless a memo chooses others, such as "<%" and "%>"). Delimiters nest,
// and delimiters inside quoted strings of the expression do not count, so
// [IIF(a = ']', "x]", [b])] is one expression. The scan never reads past
// the text and always ends: it steps over each delimiter by its length, and
// an opening delimiter that is never closed ends the scan with the rest of
// the text unchanged.
#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace ovx {

struct ExpressionDelimiters {
  QString open = QStringLiteral("[");
  QString close = QStringLiteral("]");

  // "open,close", split at the first comma. None when there is no comma or
  // either side is empty: such a setting marks no expressions at all.
  static std::optional<ExpressionDelimiters> Parse(const QString& text);
};

// One past the closing delimiter of the expression whose opening delimiter
// stands at `start`; none when the text ends before it is closed.
std::optional<qsizetype> FindExpressionEnd(QStringView text, qsizetype start,
                                           const ExpressionDelimiters& delimiters);

// `text` with every expression, delimiters included, replaced by
// evaluate(expression, n), n counting the expressions from 0. Scanning goes
// on after each replacement, so a result is never scanned again.
QString ExpandExpressions(QStringView text, const ExpressionDelimiters& delimiters,
                          const std::function<QString(const QString& expression, int n)>& evaluate);

}  // namespace ovx
