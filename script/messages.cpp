#include "script/messages.h"

#include <QMutex>
#include <QMutexLocker>

namespace ovx {
namespace {

QMutex& MessagesMutex() {
  static QMutex mutex;
  return mutex;
}

QHash<QString, QString>& Messages() {
  static QHash<QString, QString> messages;
  return messages;
}

// The interpreter's message names that the resource table does not know.
const QHash<QString, QString>& ResourceNames() {
  static const QHash<QString, QString> names = {
      {QStringLiteral("SCharExpected"), QStringLiteral("rsScriptCharExpected")},
      {QStringLiteral("SConstExpected"), QStringLiteral("rsScriptConstExpected")},
      {QStringLiteral("SExpressionExpected"), QStringLiteral("rsScriptExpressionExpected")},
      {QStringLiteral("SIndexCount"), QStringLiteral("rsScriptIndexCount")},
      {QStringLiteral("SInvalidNumber"), QStringLiteral("rsScriptInvalidNumber")},
      {QStringLiteral("SLeftParenExpected"), QStringLiteral("rsScriptLeftParenExpected")},
      {QStringLiteral("SNoResult"), QStringLiteral("rsScriptNoResult")},
      {QStringLiteral("SRightParenExpected"), QStringLiteral("rsScriptRightParenExpected")},
      {QStringLiteral("SSetExpected"), QStringLiteral("rsScriptSetExpected")},
      {QStringLiteral("SStatementExpected"), QStringLiteral("rsScriptStatementExpected")},
      {QStringLiteral("SUnknownOperator"), QStringLiteral("rsScriptUnknownOperator")},
  };
  return names;
}

}  // namespace

QString ScriptMessageResourceName(const QString& name) { return ResourceNames().value(name, name); }

void SetScriptMessages(const QHash<QString, QString>& texts) {
  QMutexLocker lock(&MessagesMutex());
  Messages() = texts;
}

QString ScriptMessage(const QString& name, const QString& built_in) {
  QMutexLocker lock(&MessagesMutex());
  const auto it = Messages().constFind(ScriptMessageResourceName(name));
  return it == Messages().constEnd() || it->isEmpty() ? built_in : *it;
}

}  // namespace ovx
