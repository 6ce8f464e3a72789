#include "report/model/format.h"

#include "base/class_builder.h"

ovx::FormatSettings TovxFormat::Settings() const {
  ovx::FormatSettings settings;
  if (!decimal_separator_.isEmpty()) settings.decimal_separator = decimal_separator_;
  if (!thousand_separator_.isEmpty()) settings.thousand_separator = thousand_separator_;
  return settings;
}

bool TovxFormat::operator==(const TovxFormat& other) const {
  return decimal_separator_ == other.decimal_separator_ &&
         thousand_separator_ == other.thousand_separator_ && format_str_ == other.format_str_ &&
         kind_ == other.kind_;
}

QString TovxFormat::FormatValue(const QVariant& value) const {
  return ovx::FormatValue(value, static_cast<ovx::ValueFormatKind>(kind_), format_str_, Settings());
}

const ovx::MetaClass& TovxFormat::StaticMetaClass() {
  static const ovx::MetaClass meta = [] {
    using C = TovxFormat;
    ovx::ClassBuilder<C> b("TovxFormat", nullptr);
    b.String("DecimalSeparator", &C::DecimalSeparator, &C::SetDecimalSeparator);
    b.String("ThousandSeparator", &C::ThousandSeparator, &C::SetThousandSeparator);
    b.String("FormatStr", &C::FormatStr, &C::SetFormatStr);
    b.Enum("Kind", &C::Kind, &C::SetKind).Default(TovxFormatKind::fkText);
    b.Creatable([](ovx::Persistent*) -> ovx::Persistent* { return new TovxFormat; });
    return b.Build();
  }();
  return meta;
}
