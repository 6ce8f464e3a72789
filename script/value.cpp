#include "base/date_serial.h"
#include "base/meta_class.h"
#include "base/number_format.h"
#include "base/object_handle.h"
#include "base/rounding.h"
#include "base/value_format.h"
#include "script/interpreter.h"
#include "script/messages.h"

#include <QDateTime>

#include <cmath>

namespace ovx {
namespace {

const char* KindName(ScriptValue::Kind kind) {
  switch (kind) {
    case ScriptValue::Kind::kEmpty:
      return "Empty";
    case ScriptValue::Kind::kNull:
      return "Null";
    case ScriptValue::Kind::kInt:
      return "Integer";
    case ScriptValue::Kind::kInt64:
      return "Int64";
    case ScriptValue::Kind::kFloat:
      return "Double";
    case ScriptValue::Kind::kBool:
      return "Boolean";
    case ScriptValue::Kind::kString:
      return "String";
    case ScriptValue::Kind::kArray:
      return "Array";
    case ScriptValue::Kind::kObject:
      return "Object";
    case ScriptValue::Kind::kCurrency:
      return "Currency";
    case ScriptValue::Kind::kDate:
      return "Date";
  }
  return "";
}

[[noreturn]] void ConvertError(ScriptValue::Kind from, const char* to) {
  throw ScriptError(
      ScriptMessage(QStringLiteral("rsScriptConvertError"),
                    QStringLiteral("Could not convert variant of type (%1) into type (%2)"))
          .arg(QLatin1String(KindName(from)), QLatin1String(to)),
      QStringLiteral("EConvertError"));
}

qint64 FloatToInt64(double d, ScriptValue::Kind from) {
  if (!std::isfinite(d) || d >= 9223372036854775807.0 || d < -9223372036854775808.0)
    ConvertError(from, "Int64");
  return ovx::Round(d);
}

[[noreturn]] void CurrencyOverflow() {
  throw ScriptError(
      ScriptMessage(QStringLiteral("rsScriptOverflow"), QStringLiteral("Arithmetic overflow")),
      QStringLiteral("EOverflow"));
}

// Ten-thousandths to the nearest whole, halves to even.
qint64 CurrencyToInt64(qint64 units) {
  qint64 whole = units / 10000;
  const qint64 rest = units % 10000;
  const qint64 twice = rest * 2;
  if (twice > 10000 || (twice == 10000 && (whole & 1))) ++whole;
  if (twice < -10000 || (twice == -10000 && (whole & 1))) --whole;
  return whole;
}

QString CurrencyText(qint64 units) {
  // Digits of the magnitude; INT64_MIN has none of its own.
  const quint64 magnitude =
      units < 0 ? static_cast<quint64>(-(units + 1)) + 1 : static_cast<quint64>(units);
  QString text = QString::number(magnitude / 10000);
  QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
  while (fraction.endsWith(u'0')) fraction.chop(1);
  if (!fraction.isEmpty()) text += u'.' + fraction;
  return units < 0 ? u'-' + text : text;
}

QDateTime DateOf(double serial) {
  const QDateTime when = DateTimeFromSerial(serial);
  if (!when.isValid())
    throw ScriptError(ScriptMessage(QStringLiteral("rsScriptInvalidDate"),
                                    QStringLiteral("Invalid date value: %1"))
                          .arg(FormatFloat(serial)),
                      QStringLiteral("EConvertError"));
  return when;
}

}  // namespace

void ScriptArray::Reserve(const std::shared_ptr<qint64>& live, qint64 count) {
  if (!live) return;
  if (count > kMaxScriptArrayElements - *live)
    throw ScriptError(ScriptMessage(QStringLiteral("rsScriptArrayBounds"),
                                    QStringLiteral("Invalid array bounds: at most %1 elements"))
                          .arg(kMaxScriptArrayElements),
                      QStringLiteral("EOutOfMemory"));
  *live += count;
}

ScriptArray::ScriptArray(const ScriptArray& other)
    : low(other.low), high(other.high), live(other.live) {
  Reserve(live, static_cast<qint64>(other.items.size()));
  try {
    items = other.items;
  } catch (...) {
    if (live) *live -= static_cast<qint64>(other.items.size());
    throw;
  }
}

ScriptValue ScriptValue::Currency(double d) {
  const double scaled = d * 10000;
  if (!std::isfinite(scaled) || scaled >= 9223372036854775807.0 || scaled < -9223372036854775808.0)
    CurrencyOverflow();
  return CurrencyUnits(ovx::Round(scaled));
}

qint64 ScriptValue::ToCurrencyUnits() const {
  if (kind_ == Kind::kCurrency) return i_;
  if (IsIntegral() || kind_ == Kind::kBool || kind_ == Kind::kEmpty) {
    qint64 units = 0;
    if (__builtin_mul_overflow(ToInt64(), qint64{10000}, &units)) CurrencyOverflow();
    return units;
  }
  return Currency(ToFloat()).i_;
}

ScriptValue ScriptValue::Array(std::shared_ptr<ScriptArray> a) {
  ScriptValue v;
  v.kind_ = Kind::kArray;
  v.a_ = std::move(a);
  return v;
}

ScriptValue ScriptValue::Object(Persistent* object) {
  if (!object) return Null();
  return Make(Kind::kObject, ObjectHandle(object));
}

ScriptValue ScriptValue::FromHandle(qint64 handle) {
  if (!ObjectFromHandle(handle))
    throw ScriptError(ScriptMessage(QStringLiteral("rsScriptInvalidObject"),
                                    QStringLiteral("Invalid object reference: %1"))
                          .arg(handle),
                      QStringLiteral("EInvalidPointer"));
  return Make(Kind::kObject, handle);
}

Persistent* ScriptValue::ObjectPointer() const {
  return kind_ == Kind::kObject ? ObjectFromHandle(i_) : nullptr;
}

bool ScriptValue::ToBool() const {
  switch (kind_) {
    case Kind::kEmpty:
      return false;
    case Kind::kInt:
    case Kind::kInt64:
    case Kind::kBool:
    case Kind::kObject:
      return i_ != 0;
    case Kind::kFloat:
    case Kind::kDate:
      return d_ != 0;
    case Kind::kCurrency:
      return i_ != 0;
    case Kind::kString: {
      if (s_.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
      if (s_.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
      if (auto d = ParseFloat(s_)) return *d != 0;
      ConvertError(kind_, "Boolean");
    }
    default:
      ConvertError(kind_, "Boolean");
  }
}

qint64 ScriptValue::ToInt64() const {
  switch (kind_) {
    case Kind::kEmpty:
      return 0;
    case Kind::kInt:
    case Kind::kInt64:
    case Kind::kObject:
      return i_;
    case Kind::kBool:
      return i_ ? -1 : 0;
    case Kind::kFloat:
    case Kind::kDate:
      return FloatToInt64(d_, kind_);
    case Kind::kCurrency:
      return CurrencyToInt64(i_);
    case Kind::kString: {
      if (auto i = ParseInt(s_)) return *i;
      if (s_.contains(u'$') || s_.contains(u'x') || s_.contains(u'X')) ConvertError(kind_, "Int64");
      if (auto d = ParseFloat(s_)) return FloatToInt64(*d, kind_);
      ConvertError(kind_, "Int64");
    }
    default:
      ConvertError(kind_, "Int64");
  }
}

qint32 ScriptValue::ToInt32() const {
  if (kind_ == Kind::kCurrency) {
    const qint64 whole = CurrencyToInt64(i_);
    if (whole > INT32_MAX || whole < INT32_MIN) ConvertError(kind_, "Integer");
    return static_cast<qint32>(whole);
  }
  if (kind_ == Kind::kFloat || kind_ == Kind::kDate || kind_ == Kind::kString) {
    double d = kind_ == Kind::kString ? 0 : d_;
    if (kind_ == Kind::kString) {
      if (auto i = ParseInt(s_)) return static_cast<qint32>(static_cast<quint32>(*i));
      auto p = ParseFloat(s_);
      if (!p) ConvertError(kind_, "Integer");
      d = *p;
    }
    if (!std::isfinite(d) || d >= 2147483647.5 || d < -2147483648.5) ConvertError(kind_, "Integer");
    return static_cast<qint32>(ovx::Round(d));
  }
  // Integral sources keep their low 32 bits: colours are written as
  // unsigned hexadecimal numbers.
  return static_cast<qint32>(static_cast<quint32>(ToInt64()));
}

double ScriptValue::ToFloat() const {
  switch (kind_) {
    case Kind::kEmpty:
      return 0;
    case Kind::kInt:
    case Kind::kInt64:
    case Kind::kObject:
      return static_cast<double>(i_);
    case Kind::kBool:
      return i_ ? -1 : 0;
    case Kind::kFloat:
    case Kind::kDate:
      return d_;
    case Kind::kCurrency:
      return static_cast<double>(i_) / 10000;
    case Kind::kString: {
      if (auto d = ParseFloat(s_)) return *d;
      if (auto i = ParseInt(s_)) return static_cast<double>(*i);
      ConvertError(kind_, "Double");
    }
    default:
      ConvertError(kind_, "Double");
  }
}

QString ScriptValue::ToString() const {
  switch (kind_) {
    case Kind::kEmpty:
      return QString();
    case Kind::kInt:
    case Kind::kInt64:
    case Kind::kObject:
      return FormatInt(i_);
    case Kind::kBool:
      return i_ ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::kFloat:
      return FormatFloat(d_);
    case Kind::kCurrency:
      return CurrencyText(i_);
    case Kind::kDate:
      // A time of day alone (day 0, not midnight) shows no date.
      return FormatDateTimePicture(std::trunc(d_) == 0 && d_ != 0 ? u"tt" : u"c", DateOf(d_));
    case Kind::kString:
      return s_;
    default:
      ConvertError(kind_, "String");
  }
}

QString ScriptValue::Display() const {
  switch (kind_) {
    case Kind::kEmpty:
      return QStringLiteral("Empty");
    case Kind::kNull:
      return QStringLiteral("Null");
    case Kind::kString:
      return u'\'' + s_ + u'\'';
    case Kind::kDate:
      // A serial beyond the calendar still shows, as its number.
      return DateTimeFromSerial(d_).isValid() ? ToString() : FormatFloat(d_);
    case Kind::kArray: {
      QString text = QStringLiteral("[");
      for (size_t i = 0; i < a_->items.size(); ++i) {
        if (i) text += QStringLiteral(", ");
        text += a_->items[i].Display();
      }
      return text + u']';
    }
    default:
      return ToString();
  }
}

ScriptValue ScriptValue::DeepCopy() const {
  if (kind_ != Kind::kArray) return *this;
  auto copy = std::make_shared<ScriptArray>(*a_);
  for (auto& item : copy->items) item = item.DeepCopy();
  return Array(std::move(copy));
}

ScriptValue ScriptValue::Detached() const {
  if (kind_ != Kind::kArray) return *this;
  return Array(std::make_shared<ScriptArray>(*a_));
}

bool ScriptValue::Unshared() const {
  if (kind_ != Kind::kArray) return true;
  std::vector<const ScriptArray*> work{a_.get()};
  if (a_.use_count() != 1) return false;
  while (!work.empty()) {
    const ScriptArray* array = work.back();
    work.pop_back();
    for (const ScriptValue& item : array->items) {
      if (item.kind_ != Kind::kArray) continue;
      if (item.a_.use_count() != 1) return false;
      work.push_back(item.a_.get());
    }
  }
  return true;
}

QVariant ScriptValue::ToQVariant() const {
  switch (kind_) {
    case Kind::kEmpty:
      return QVariant();
    case Kind::kNull:
      return QVariant();
    case Kind::kInt:
      return QVariant(static_cast<int>(i_));
    case Kind::kInt64:
    case Kind::kObject:
      return QVariant(static_cast<qlonglong>(i_));
    case Kind::kFloat:
      return QVariant(d_);
    case Kind::kCurrency:
      return QVariant(static_cast<double>(i_) / 10000);
    case Kind::kDate: {
      // A serial outside the years 1 to 9999 has no QDateTime; the model
      // sees no value rather than a wrong one.
      const QDateTime when = DateTimeFromSerial(d_);
      return when.isValid() ? QVariant(when) : QVariant();
    }
    case Kind::kBool:
      return QVariant(i_ != 0);
    case Kind::kString:
      return QVariant(s_);
    case Kind::kArray: {
      QVariantList list;
      for (const auto& item : a_->items) list << item.ToQVariant();
      return list;
    }
  }
  return QVariant();
}

ScriptValue ScriptValue::FromQVariant(const QVariant& v) {
  if (!v.isValid() || v.isNull()) return v.isValid() ? Null() : ScriptValue();
  switch (v.typeId()) {
    case QMetaType::Bool:
      return Bool(v.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UShort:
      return Int(v.toInt());
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
      return Integer(v.toLongLong());
    case QMetaType::ULongLong: {
      const qulonglong u = v.toULongLong();
      return u > static_cast<qulonglong>(INT64_MAX) ? Float(static_cast<double>(u))
                                                    : Integer(static_cast<qint64>(u));
    }
    case QMetaType::Double:
    case QMetaType::Float:
      return Float(v.toDouble());
    case QMetaType::QDateTime:
      if (auto serial = ovx::SerialFromDateTime(v.toDateTime())) return Date(*serial);
      return Null();
    case QMetaType::QDate:
      if (auto serial = ovx::SerialFromDate(v.toDate())) return Date(*serial);
      return Null();
    case QMetaType::QTime:
      if (auto serial = ovx::SerialFromTime(v.toTime())) return Date(*serial);
      return Null();
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
      auto a = std::make_shared<ScriptArray>();
      const QVariantList list = v.toList();
      a->low = {0};
      a->high = {static_cast<qint64>(list.size()) - 1};
      for (const auto& item : list) a->items.push_back(FromQVariant(item));
      return Array(std::move(a));
    }
    default:
      return String(v.toString());
  }
}

}  // namespace ovx
