// Output of the command-line tools: UTF-8 whatever the locale, so that
// their output can be compared byte for byte; files written through the
// safe writer; failures caught at main.
#pragma once

#include "base/error.h"
#include "platform/safe_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdio>
#include <exception>
#include <new>

namespace ovx::tools {

inline void Print(FILE* out, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

// Encodes `image` as PNG and writes it beside `path`, renamed into place
// only when complete. Throws ovx::Error naming the file.
inline void WritePng(const QImage& image, const QString& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) {
    throw Error(QString(), QStringLiteral("Cannot encode the image for \"%s\""), {path});
  }
  WriteFileSafely(path, bytes);
}

// Runs a tool's main: whatever escapes it is printed as "tool: message" and
// the tool exits with 1, never with an abort.
template <class Main>
int RunMain(const char* tool, Main&& main) {
  try {
    return main();
  } catch (const Error& error) {
    Print(stderr, QString::fromUtf8(tool) + QStringLiteral(": ") + error.Message() + u'\n');
  } catch (const std::bad_alloc&) {
    Print(stderr, QString::fromUtf8(tool) + QStringLiteral(": out of memory\n"));
  } catch (const std::exception& error) {
    Print(stderr, QString::fromUtf8(tool) + QStringLiteral(": ") +
                      QString::fromLocal8Bit(error.what()) + u'\n');
  }
  return 1;
}

}  // namespace ovx::tools
