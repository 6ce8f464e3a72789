#include "script/languages.h"

#include "base/error.h"

#include <QMutex>
#include <QMutexLocker>

#include <vector>

namespace ovx {
namespace {

struct Entry {
  QString name;
  QString xml;
  TrailingText trailing;
  std::shared_ptr<const ScriptGrammar> compiled;  // on first use
};

QMutex& RegistryMutex() {
  static QMutex mutex;
  return mutex;
}

std::vector<Entry>& Entries() {
  static std::vector<Entry> entries;
  return entries;
}

Entry* Find(const QString& name) {
  for (Entry& entry : Entries()) {
    if (entry.name.compare(name, Qt::CaseInsensitive) == 0) return &entry;
  }
  return nullptr;
}

}  // namespace

void RegisterLanguage(const QString& name, const QString& grammar_xml, TrailingText trailing) {
  QMutexLocker lock(&RegistryMutex());
  if (Entry* entry = Find(name)) {
    entry->xml = grammar_xml;
    entry->trailing = trailing;
    entry->compiled.reset();
    return;
  }
  Entries().push_back({name, grammar_xml, trailing, nullptr});
}

QStringList GetLanguageList() {
  QMutexLocker lock(&RegistryMutex());
  QStringList names;
  for (const Entry& entry : Entries()) {
    if (!entry.name.startsWith(u'@')) names << entry.name;
  }
  return names;
}

std::shared_ptr<const ScriptGrammar> FindLanguage(const QString& name) {
  QString xml;
  QString registered;
  TrailingText trailing;
  {
    QMutexLocker lock(&RegistryMutex());
    Entry* entry = Find(name);
    if (!entry) {
      throw Error(QStringLiteral("SLangNotFound"), QStringLiteral("Language '%s' not found"),
                  {name});
    }
    if (entry->compiled) return entry->compiled;
    xml = entry->xml;
    registered = entry->name;
    trailing = entry->trailing;
  }
  // Compiled outside the lock; a concurrent compilation of the same text
  // gives an equal result, and the first one stored wins.
  std::shared_ptr<const ScriptGrammar> compiled = CompileGrammar(registered, xml, trailing);
  QMutexLocker lock(&RegistryMutex());
  Entry* entry = Find(name);
  if (entry && entry->xml == xml) {
    if (!entry->compiled) entry->compiled = compiled;
    return entry->compiled;
  }
  return compiled;
}

}  // namespace ovx
