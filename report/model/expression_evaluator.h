// How report objects evaluate the expressions in their texts.
//
// Memo texts hold bracketed expressions ("[Page#]", "[Sum(Value)]") that the
// report's scripting engine evaluates. Objects reach it only through this
// narrow interface, so the object model does not depend on the engine; a
// report without an evaluator gives every expression back as its own text.
#pragma once

#include <QString>
#include <QVariant>

class TovxComponent;

namespace ovx {

class ExpressionEvaluator {
 public:
  virtual ~ExpressionEvaluator() = default;
  // The value of `expression`, evaluated for `context` (the object whose text
  // holds it). Errors are the evaluator's to report.
  virtual QVariant Calc(const QString& expression, TovxComponent* context) = 0;
  // A memo took `value` from its data or an expression: scripts and
  // later expressions of the same object read it as Value.
  virtual void MemoValue(const QVariant& value) { (void)value; }
};

}  // namespace ovx
