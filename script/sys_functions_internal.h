// Shared pieces of the standard library's files: each file appends its
// categories' entries, in the order the designer lists them.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

#include "script/sys_functions.h"

namespace ovx::sys {

void AddConversionFunctions(std::vector<SysFunction>& out);  // ctConv, ctFormat
void AddDateFunctions(std::vector<SysFunction>& out);        // ctDate
void AddStringFunctions(std::vector<SysFunction>& out);      // ctString
void AddMathFunctions(std::vector<SysFunction>& out);        // ctMath
void AddOtherFunctions(std::vector<SysFunction>& out);       // ctOther, dialogs

// Raises a script error of exception class `kind` with message `name`
// (replaceable through the script message table) built from `text`.
[[noreturn]] void Fail(const char* kind, const char* name, const QString& text);
// The same with "%1" of the (possibly replaced) text filled by `arg`: a
// replacement text keeps the argument.
[[noreturn]] void Fail(const char* kind, const char* name, const QString& text, const QString& arg);
[[noreturn]] void InvalidFloatOperation();

// Parsers behind StrToInt, StrToFloat, StrToDate, StrToTime and
// StrToDateTime (and the Valid... tests): nullopt for text they reject.
std::optional<qint64> ParseIntegerText(QStringView text);
std::optional<double> ParseFloatText(QStringView text);
std::optional<double> ParseDateText(QStringView text);
std::optional<double> ParseTimeText(QStringView text);
std::optional<double> ParseDateTimeText(QStringView text);

// Argument `i` as a date-time; raises for serials outside the years 1 to
// 9999 (and NaN).
QDateTime DateTimeArg(const ScriptMethodCall& call, int i);
// DateToStr's text of a serial; raises for serials that are no date.
QString DateText(double serial);

}  // namespace ovx::sys
