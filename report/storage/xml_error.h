// The error of malformed documents of the library's XML dialect.
#pragma once

#include "base/error.h"

// Always shows "Invalid file format". The reason and the byte position are
// kept beside it for logs and tools; they are not part of the message.
class TovxInvalidXMLException : public ovx::Error {
 public:
  explicit TovxInvalidXMLException(QString reason = QString(), qint64 position = -1)
      : ovx::Error(QString(), QStringLiteral("Invalid file format")),
        reason_(std::move(reason)),
        position_(position) {}

  const QString& Reason() const { return reason_; }
  // Stream position where the fault was found, -1 when unknown.
  qint64 Position() const { return position_; }

 private:
  QString reason_;
  qint64 position_;
};
