// Conversions between values and their text, and the formatting functions.
//
// Texts are read and written the one way the whole program uses
// (FormatSettings::Default(): "." for numbers, "yyyy/mm/dd" dates), so a
// script gives the same results on every desktop; number input also takes ","
// as the decimal point, as every reader of the program does.
#include "base/date_serial.h"
#include "base/number_format.h"
#include "base/value_format.h"
#include "script/messages.h"
#include "script/sys_functions_internal.h"

#include <cmath>

namespace ovx::sys {
namespace {

using V = ScriptValue;

[[noreturn]] void NotValid(const char* name, const char* text, const QString& value) {
  Fail("EConvertError", name, QString::fromLatin1(text), value);
}

bool StrToBool(const V& v) {
  if (v.kind() != V::Kind::kString) return v.ToBool();
  const QString s = v.ToString().trimmed();
  if (s.compare(u"true", Qt::CaseInsensitive) == 0) return true;
  if (s.compare(u"false", Qt::CaseInsensitive) == 0) return false;
  if (const auto d = ParseFloat(s)) return *d != 0;
  NotValid("rsScriptNotBoolean", "'%1' is not a valid boolean value", v.ToString());
}

QVariantList FormatArgumentList(const V& args) {
  QVariantList list;
  if (args.kind() == V::Kind::kArray) {
    for (const V& item : args.array()->items) list << item.ToQVariant();
  } else if (args.kind() != V::Kind::kEmpty && args.kind() != V::Kind::kNull) {
    // A single value where the list belongs stands for itself.
    list << args.ToQVariant();
  }
  return list;
}

// The platform's edit masks: "mask[;keep literals[;blank]]" with the input
// characters L l A a C c 0 9 #, "\" before a literal, ">" "<" "<>" for
// case, "!" (ignored here), "_" for a space and ":" "/" for the separators.
QString FormatMaskText(const QString& edit_mask, const QString& value) {
  const auto last_field = [](const QString& text) {
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
      if (text[i] == u';' && (i == 0 || text[i - 1] != u'\\')) return i;
    }
    return qsizetype(-1);
  };
  QString mask = edit_mask;
  bool keep_literals = true;
  QChar blank = u'_';
  if (const qsizetype last = last_field(mask); last >= 0) {
    const QString tail = mask.mid(last + 1);
    mask.truncate(last);
    if (const qsizetype before = last_field(mask); before >= 0) {
      keep_literals = mask.mid(before + 1) != u"0";
      if (!tail.isEmpty()) blank = tail[0];
      mask.truncate(before);
    } else {
      keep_literals = tail != u"0";
    }
  }
  const FormatSettings& settings = FormatSettings::Default();
  enum class Case { kAsIs, kUpper, kLower } letter_case = Case::kAsIs;
  QString out;
  qsizetype vi = 0;
  const auto put_literal = [&](const QString& literal) {
    out += literal;
    if (keep_literals) vi = std::min(vi + literal.size(), value.size());
  };
  for (qsizetype i = 0; i < mask.size(); ++i) {
    const QChar m = mask[i];
    switch (m.unicode()) {
      case u'!':
        break;
      case u'>':
        if (i + 1 < mask.size() && mask[i + 1] == u'<') {
          letter_case = Case::kAsIs;
          ++i;
        } else {
          letter_case = Case::kUpper;
        }
        break;
      case u'<':
        letter_case = Case::kLower;
        break;
      case u'\\':
        if (i + 1 < mask.size()) put_literal(QString(mask[++i]));
        break;
      case u':':
        put_literal(settings.time_separator);
        break;
      case u'/':
        put_literal(settings.date_separator);
        break;
      case u'_':
        put_literal(QStringLiteral(" "));
        break;
      case u'L':
      case u'l':
      case u'A':
      case u'a':
      case u'C':
      case u'c':
      case u'0':
      case u'9':
      case u'#': {
        QChar c = vi < value.size() ? value[vi++] : blank;
        if (letter_case == Case::kUpper) c = c.toUpper();
        if (letter_case == Case::kLower) c = c.toLower();
        out += c;
        break;
      }
      default:
        put_literal(QString(m));
    }
  }
  return out;
}

}  // namespace

std::optional<qint64> ParseIntegerText(QStringView text) { return ParseInt(text); }

std::optional<double> ParseFloatText(QStringView text) { return ParseFloat(text); }

QDateTime DateTimeArg(const ScriptMethodCall& call, int i) {
  const double serial = call.Arg(i).ToFloat();
  const QDateTime when = DateTimeFromSerial(serial);
  if (!when.isValid()) {
    Fail("EConvertError", "rsScriptInvalidDate", QStringLiteral("Invalid date value: %1"),
         FormatFloat(serial));
  }
  return when;
}

QString DateText(double serial) {
  const QDateTime when = DateTimeFromSerial(serial);
  if (!when.isValid()) {
    Fail("EConvertError", "rsScriptInvalidDate", QStringLiteral("Invalid date value: %1"),
         FormatFloat(serial));
  }
  const FormatSettings& s = FormatSettings::Default();
  return FormatDateTimePicture(s.short_date_format, when, s);
}

void AddConversionFunctions(std::vector<SysFunction>& out) {
  const QString conv = QStringLiteral("ctConv");
  const QString format = QStringLiteral("ctFormat");
  const FormatSettings& settings = FormatSettings::Default();
  out.push_back({conv, QStringLiteral("function IntToStr(i: Integer): String"),
                 [](ScriptMethodCall& c) { return V::String(FormatInt(c.Arg(0).ToInt64())); }});
  out.push_back({conv, QStringLiteral("function FloatToStr(e: Extended): String"),
                 [](ScriptMethodCall& c) { return V::String(FormatFloat(c.Arg(0).ToFloat())); }});
  out.push_back({conv, QStringLiteral("function DateToStr(e: Extended): String"),
                 [](ScriptMethodCall& c) { return V::String(DateText(c.Arg(0).ToFloat())); }});
  out.push_back({conv, QStringLiteral("function TimeToStr(e: Extended): String"),
                 [&settings](ScriptMethodCall& c) {
                   return V::String(FormatDateTimePicture(settings.long_time_format,
                                                          DateTimeArg(c, 0), settings));
                 }});
  out.push_back({conv, QStringLiteral("function DateTimeToStr(e: Extended): String"),
                 [&settings](ScriptMethodCall& c) {
                   return V::String(FormatDateTimePicture(u"c", DateTimeArg(c, 0), settings));
                 }});
  out.push_back(
      {conv, QStringLiteral("function BoolToStr(B: Boolean): string;"), [](ScriptMethodCall& c) {
         return V::String(c.Arg(0).ToBool() ? QStringLiteral("-1") : QStringLiteral("0"));
       }});
  out.push_back(
      {conv, QStringLiteral("function VarToStr(v: Variant): String"), [](ScriptMethodCall& c) {
         const V v = c.Arg(0);
         return V::String(v.kind() == V::Kind::kNull ? QString() : v.ToString());
       }});
  out.push_back(
      {conv, QStringLiteral("function StrToInt(s: String): Integer"), [](ScriptMethodCall& c) {
         const QString s = c.Arg(0).ToString();
         const std::optional<qint64> i = ParseIntegerText(s);
         if (!i) NotValid("rsScriptNotInteger", "'%1' is not a valid integer value", s);
         return V::Integer(*i);
       }});
  out.push_back(
      {conv, QStringLiteral("function StrToFloat(s: String): Extended"), [](ScriptMethodCall& c) {
         const QString s = c.Arg(0).ToString();
         const std::optional<double> d = ParseFloatText(s);
         if (!d) NotValid("rsScriptNotFloat", "'%1' is not a valid floating point value", s);
         return V::Float(*d);
       }});
  out.push_back(
      {conv, QStringLiteral("function StrToDate(s: String): Extended"), [](ScriptMethodCall& c) {
         const QString s = c.Arg(0).ToString();
         const std::optional<double> d = ParseDateText(s);
         if (!d) NotValid("rsScriptNotDate", "'%1' is not a valid date", s);
         return V::Float(*d);
       }});
  out.push_back(
      {conv, QStringLiteral("function StrToTime(s: String): Extended"), [](ScriptMethodCall& c) {
         const QString s = c.Arg(0).ToString();
         const std::optional<double> d = ParseTimeText(s);
         if (!d) NotValid("rsScriptNotTime", "'%1' is not a valid time", s);
         return V::Float(*d);
       }});
  out.push_back({conv, QStringLiteral("function StrToDateTime(s: String): Extended"),
                 [](ScriptMethodCall& c) {
                   const QString s = c.Arg(0).ToString();
                   const std::optional<double> d = ParseDateTimeText(s);
                   if (!d) NotValid("rsScriptNotDateTime", "'%1' is not a valid date and time", s);
                   return V::Float(*d);
                 }});
  out.push_back({conv, QStringLiteral("function StrToBool(const S: string): Boolean;"),
                 [](ScriptMethodCall& c) { return V::Bool(StrToBool(c.Arg(0))); }});

  out.push_back({format, QStringLiteral("function Format(Fmt: String; Args: array): String"),
                 [&settings](ScriptMethodCall& c) {
                   const QString fmt = c.Arg(0).ToString();
                   const std::optional<QString> text =
                       FormatArguments(fmt, FormatArgumentList(c.Arg(1)), settings);
                   if (!text) {
                     NotValid("rsScriptBadFormat",
                              "Format '%1' invalid or incompatible with argument", fmt);
                   }
                   return V::String(*text);
                 }});
  out.push_back(
      {format, QStringLiteral("function FormatFloat(Fmt: String; Value: Extended): String"),
       [&settings](ScriptMethodCall& c) {
         return V::String(FormatNumberPicture(c.Arg(0).ToString(), c.Arg(1).ToFloat(), settings));
       }});
  out.push_back(
      {format, QStringLiteral("function FormatDateTime(Fmt: String; DateTime: TDateTime): String"),
       [&settings](ScriptMethodCall& c) {
         return V::String(FormatDateTimePicture(c.Arg(0).ToString(), DateTimeArg(c, 1), settings));
       }});
  out.push_back({format,
                 QStringLiteral("function FormatMaskText(EditMask: string; Value: string): string"),
                 [](ScriptMethodCall& c) {
                   return V::String(FormatMaskText(c.Arg(0).ToString(), c.Arg(1).ToString()));
                 }});
}

}  // namespace ovx::sys
