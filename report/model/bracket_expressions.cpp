#include "report/model/bracket_expressions.h"

namespace ovx {

std::optional<ExpressionDelimiters> ExpressionDelimiters::Parse(const QString& text) {
  const qsizetype comma = text.indexOf(u',');
  if (comma <= 0 || comma == text.size() - 1) return std::nullopt;
  return ExpressionDelimiters{text.left(comma), text.mid(comma + 1)};
}

std::optional<qsizetype> FindExpressionEnd(QStringView text, qsizetype start,
                                           const ExpressionDelimiters& delimiters) {
  const QStringView open = delimiters.open;
  const QStringView close = delimiters.close;
  if (open.isEmpty() || close.isEmpty()) return std::nullopt;
  int depth = 0;
  bool in_double = false;
  bool in_single = false;
  qsizetype i = start;
  const qsizetype n = text.size();
  while (i < n) {
    if (!in_double && !in_single) {
      // Closing first, so that equal delimiters ("|,|") close rather than nest.
      if (depth > 0 && text.mid(i).startsWith(close)) {
        i += close.size();
        if (--depth == 0) return i;
        continue;
      }
      if (text.mid(i).startsWith(open)) {
        ++depth;
        i += open.size();
        continue;
      }
    }
    const QChar c = text[i];
    if (c == u'"' && !in_single) {
      in_double = !in_double;
    } else if (c == u'\'' && !in_double) {
      in_single = !in_single;
    }
    ++i;
  }
  return std::nullopt;
}

QString ExpandExpressions(
    QStringView text, const ExpressionDelimiters& delimiters,
    const std::function<QString(const QString& expression, int n)>& evaluate) {
  if (delimiters.open.isEmpty() || delimiters.close.isEmpty()) return text.toString();
  QString out;
  qsizetype i = 0;
  int n = 0;
  while (i < text.size()) {
    const qsizetype start = text.indexOf(delimiters.open, i);
    if (start < 0) break;
    const std::optional<qsizetype> end = FindExpressionEnd(text, start, delimiters);
    if (!end) break;
    out += text.mid(i, start - i);
    const qsizetype inner = start + delimiters.open.size();
    out += evaluate(text.mid(inner, *end - delimiters.close.size() - inner).toString(), n++);
    i = *end;
  }
  out += text.mid(i);
  return out;
}

}  // namespace ovx
