// The display format of a memo's values: how a number, date or Boolean
// that an expression or a data field gives is turned into text.
//
// A memo holds a list of formats, one per bracketed expression of its text
// (the last one serves the rest). Empty separators, the default, stand for
// the usual "." and ","; keeping them empty rather than spelling them out
// means a stored format holds only what its author chose, and an empty
// value (which a template cannot store) never has to be told apart from
// the default.
#pragma once

#include "base/meta_class.h"
#include "base/value_format.h"

#include <QString>
#include <QVariant>

OVX_ENUM(TovxFormatKind, fkText, fkNumeric, fkDateTime, fkBoolean)

class TovxFormat : public ovx::Persistent {
  OVX_META_CLASS

 public:
  const QString& DecimalSeparator() const { return decimal_separator_; }
  void SetDecimalSeparator(const QString& v) { decimal_separator_ = v; }
  const QString& ThousandSeparator() const { return thousand_separator_; }
  void SetThousandSeparator(const QString& v) { thousand_separator_ = v; }
  const QString& FormatStr() const { return format_str_; }
  void SetFormatStr(const QString& v) { format_str_ = v; }
  TovxFormatKind Kind() const { return kind_; }
  void SetKind(TovxFormatKind kind) { kind_ = kind; }

  void Assign(const TovxFormat& source) { *this = source; }
  bool operator==(const TovxFormat& other) const;

  // `value` as text in this format (see ovx::FormatValue).
  QString FormatValue(const QVariant& value) const;
  ovx::FormatSettings Settings() const;

 private:
  QString decimal_separator_;
  QString thousand_separator_;
  QString format_str_;
  TovxFormatKind kind_ = TovxFormatKind::fkText;
};
