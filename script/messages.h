// The texts of the scripting engine's own messages ("Language '%s' not
// found", ...), replaceable at run time by the localised resource table.
// The grammars' syntax messages are not among them.
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

}  // namespace ovx
