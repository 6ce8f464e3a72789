#pragma once

#include <QByteArray>
#include <QString>

namespace ovx {

// Appends `text` as a JSON string literal in UTF-8: quotes and backslashes
// escaped, control characters as \u00XX, everything else as it stands.
void AppendJsonString(QByteArray& out, const QString& text);

}  // namespace ovx
