#include "script/script_languages.h"

#include "base/error.h"
#include "script/languages.h"

#include <QFile>

namespace ovx {
namespace {

QString GrammarText(const QString& file) {
  QFile resource(QStringLiteral(":/velmora/script/grammars/") + file);
  if (!resource.open(QIODevice::ReadOnly)) {
    throw Error(QString(), QStringLiteral("Missing built-in grammar \"%s\""), {file});
  }
  return QString::fromUtf8(resource.readAll());
}

}  // namespace

void RegisterScriptLanguages() {
  RegisterLanguage(QStringLiteral("PascalScript"), GrammarText(QStringLiteral("pascalscript.xml")));
  RegisterLanguage(QStringLiteral("C++Script"), GrammarText(QStringLiteral("cppscript.xml")));
  // Statements at top level: text the program rule did not take is an
  // error, not silently dropped.
  RegisterLanguage(QStringLiteral("BasicScript"), GrammarText(QStringLiteral("basicscript.xml")),
                   TrailingText::kError);
  RegisterLanguage(QStringLiteral("JScript"), GrammarText(QStringLiteral("jscript.xml")),
                   TrailingText::kError);
}

}  // namespace ovx
