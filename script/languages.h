// The process-wide list of script dialects: name -> grammar document.
// Written at start-up, read by every compilation (possibly on other
// threads), so every access is locked.
#pragma once

#include "script/grammar.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace ovx {

// Adds the dialect or replaces the grammar of a registered one (names
// compare ignoring case).
void RegisterLanguage(const QString& name, const QString& grammar_xml,
                      TrailingText trailing = TrailingText::kIgnored);
// Registered names in registration order, without those starting with `@`.
QStringList GetLanguageList();
// The compiled grammar of `name` (ignoring case). Throws ovx::Error
// "Language '%s' not found" (SLangNotFound) or the grammar's own error.
std::shared_ptr<const ScriptGrammar> FindLanguage(const QString& name);

}  // namespace ovx
