// The error type of the whole library.
//
// A failure the user may see names the resource text that explains it (the
// localised table looks texts up by name) together with the arguments that
// fill the text's "%s"/"%d" places. The untranslated text travels with it, so
// the error is readable before and without the resource table.
#pragma once

#include <QString>
#include <QStringList>

#include <exception>

namespace ovx {

class Error : public std::exception {
 public:
  // `resource_name` may be empty for texts the resource table does not hold
  // (for example the platform's own messages).
  Error(QString resource_name, QString text, QStringList args = {});

  const QString& ResourceName() const { return resource_name_; }
  const QString& Text() const { return text_; }
  const QStringList& Args() const { return args_; }

  // The text with its arguments filled in.
  QString Message() const;
  // The same, from a text looked up elsewhere (a localised one).
  QString MessageFrom(const QString& text) const;

  const char* what() const noexcept override;

 private:
  QString resource_name_;
  QString text_;
  QStringList args_;
  QByteArray what_;
};

// Fills "%s" and "%d" places of `text` with `args` in order; "%%" is a
// percent sign. Places without an argument stay as they are.
QString FormatMessage(const QString& text, const QStringList& args);

// The system's text for an errno value ("No space left on device"), in the
// user's language; the one wording every file message uses for its reason.
QString SystemErrorText(int error_number);

}  // namespace ovx
