// The report container: the root of a report's tree and the storage owner of
// every object in it.
#pragma once

#include "report/model/component.h"

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

 private:
  QStringList errors_;
};
