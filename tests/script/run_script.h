// Compiles and runs a script in a test, the way every script test needs it.
#pragma once

#include <QHash>
#include <QString>

#include "script/script.h"

namespace ovx::test {

// Runs `text` in `language`; answers "" or the error ("compile: …" or
// "run: …"), and fills `vars` with the variables as displayed, by
// lower-case name.
inline QString RunScript(TksScript& script, const QString& text, const QString& language,
                         QHash<QString, QString>* vars) {
  script.SetSyntaxType(language);
  script.SetText(text);
  if (!script.Compile()) return QStringLiteral("compile: ") + script.ErrorMsg();
  const bool ran = script.Execute();
  if (vars) {
    for (const auto& v : script.Program().Variables())
      vars->insert(v.name.toLower(), v.value.Display());
  }
  return ran ? QString() : QStringLiteral("run: ") + script.ErrorMsg();
}

}  // namespace ovx::test
