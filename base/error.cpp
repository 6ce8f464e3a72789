#include "base/error.h"

#include <cstring>

namespace ovx {

Error::Error(QString resource_name, QString text, QStringList args)
    : resource_name_(std::move(resource_name)), text_(std::move(text)), args_(std::move(args)) {
  what_ = Message().toUtf8();
}

QString Error::Message() const { return FormatMessage(text_, args_); }

QString Error::MessageFrom(const QString& text) const { return FormatMessage(text, args_); }

const char* Error::what() const noexcept { return what_.constData(); }

QString FormatMessage(const QString& text, const QStringList& args) {
  QString out;
  out.reserve(text.size());
  qsizetype next_arg = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'%' && i + 1 < text.size()) {
      const QChar kind = text[i + 1];
      if (kind == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if ((kind == u's' || kind == u'd') && next_arg < args.size()) {
        out += args[next_arg++];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

QString SystemErrorText(int error_number) {
  char buffer[256];
  // GNU strerror_r answers a pointer that may or may not be `buffer`.
  return QString::fromLocal8Bit(strerror_r(error_number, buffer, sizeof buffer));
}

}  // namespace ovx
