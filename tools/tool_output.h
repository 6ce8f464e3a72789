// Output of the command-line tools: UTF-8 whatever the locale, so that
// their output can be compared byte for byte.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace ovx::tools {

inline void Print(FILE* out, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

}  // namespace ovx::tools
