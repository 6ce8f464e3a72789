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

}  // namespace

void SetScriptMessages(const QHash<QString, QString>& texts) {
  QMutexLocker lock(&MessagesMutex());
  Messages() = texts;
}

QString ScriptMessage(const QString& name, const QString& built_in) {
  QMutexLocker lock(&MessagesMutex());
  const auto it = Messages().constFind(name);
  return it == Messages().constEnd() || it->isEmpty() ? built_in : *it;
}

}  // namespace ovx
