// The report container: the root of a report's tree and the storage owner of
// every object in it.
#pragma once

#include "report/model/component.h"
#include "report/model/expression_evaluator.h"

#include <QStringList>

class TovxReport : public TovxComponent {
  OVX_META_CLASS

 public:
  explicit TovxReport(TovxComponent* owner = nullptr) : TovxComponent(owner) {}

  // Problems found while loading or building the report, one line each:
  // the resource text, a space, the object's name.
  const QStringList& Errors() const { return errors_; }
  void AddError(const QString& line) { errors_.append(line); }
  void ClearErrors() { errors_.clear(); }

  // The evaluator of expressions in texts (not owned); none gives every
  // expression back as its own text.
  ovx::ExpressionEvaluator* Evaluator() const { return evaluator_; }
  void SetEvaluator(ovx::ExpressionEvaluator* evaluator) { evaluator_ = evaluator; }
  QVariant Calc(const QString& expression, TovxComponent* context = nullptr) {
    return evaluator_ ? evaluator_->Calc(expression, context) : QVariant(expression);
  }
  // The object being filled from data, for expressions that refer to it.
  TovxComponent* CurrentObject() const { return current_object_; }
  void SetCurrentObject(TovxComponent* object) { current_object_ = object; }

 private:
  QStringList errors_;
  ovx::ExpressionEvaluator* evaluator_ = nullptr;
  TovxComponent* current_object_ = nullptr;
};
