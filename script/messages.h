// The texts of the scripting engine's own messages ("Language '%s' not
// found", ...), replaceable at run time by the localised resource table.
// The grammars' syntax messages are not among them.
//
// The resource table holds the engine's texts under the names it knows
// (SIdUndeclared, rsScript...). A few messages of the interpreter go by
// names of their own and are found under an rsScript name there.
#pragma once

#include <QHash>
#include <QString>

namespace ovx {

// Replaces the message texts (name -> text) as a whole: names the table
// does not hold go back to their built-in text. Safe from any thread; the
// signature fits TovxResources::SetScriptMessageSink.
void SetScriptMessages(const QHash<QString, QString>& texts);
// The current text of message `name`; `built_in` when none was given.
QString ScriptMessage(const QString& name, const QString& built_in);
// The name the resource table holds message `name`'s text under.
QString ScriptMessageResourceName(const QString& name);

}  // namespace ovx
