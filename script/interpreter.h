// The script interpreter: run-time values, the program model built from a
// syntax tree, and its execution.
//
// Routines run in frames of their own (one per activation), so recursion
// never has to save and restore locals, and by-reference parameters alias
// the caller's variable. Everything a script can make grow or nest (calls,
// expression depth, array sizes) is bounded, and a cancel flag is checked
// before every statement.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <vector>

class TksXMLItem;

namespace ovx {

class Persistent;

// Limits against hostile scripts.
inline constexpr int kMaxScriptCallDepth = 1000;
inline constexpr int kMaxScriptExprDepth = 1000;
// Elements of all arrays a program holds at one time (each takes about 80
// bytes), whatever their number and the depth of recursion.
inline constexpr qint64 kMaxScriptArrayElements = 1024 * 1024;

struct ScriptArray;

class ScriptValue {
 public:
  // kObject holds a handle (base/object_handle.h), never an address; its
  // integer face is the handle's number. kCurrency is a fixed-point number
  // with four decimals, held exactly as ten-thousandths; kDate a date-time
  // serial (base/date_serial.h).
  enum class Kind {
    kEmpty,
    kNull,
    kInt,
    kInt64,
    kFloat,
    kBool,
    kString,
    kArray,
    kObject,
    kCurrency,
    kDate
  };

  ScriptValue() = default;
  static ScriptValue Null() {
    ScriptValue v;
    v.kind_ = Kind::kNull;
    return v;
  }
  static ScriptValue Int(qint32 i) { return Make(Kind::kInt, i); }
  static ScriptValue Int64(qint64 i) { return Make(Kind::kInt64, i); }
  // The narrowest integer kind that holds `i`.
  static ScriptValue Integer(qint64 i) {
    return i >= INT32_MIN && i <= INT32_MAX ? Int(static_cast<qint32>(i)) : Int64(i);
  }
  static ScriptValue Float(double d) {
    ScriptValue v;
    v.kind_ = Kind::kFloat;
    v.d_ = d;
    return v;
  }
  static ScriptValue Bool(bool b) { return Make(Kind::kBool, b ? 1 : 0); }
  // `d` rounded to four decimals (halves to even); an overflow error
  // outside the Currency range or for NaN.
  static ScriptValue Currency(double d);
  // From ten-thousandths: CurrencyUnits(12345) is 1.2345.
  static ScriptValue CurrencyUnits(qint64 units) { return Make(Kind::kCurrency, units); }
  static ScriptValue Date(double serial) {
    ScriptValue v;
    v.kind_ = Kind::kDate;
    v.d_ = serial;
    return v;
  }
  static ScriptValue String(const QString& s) {
    ScriptValue v;
    v.kind_ = Kind::kString;
    v.s_ = s;
    return v;
  }
  static ScriptValue Array(std::shared_ptr<ScriptArray> a);
  // A reference to `object`; Null for null.
  static ScriptValue Object(Persistent* object);
  // The object a handle stands for; throws a script error when it is gone
  // or never was one.
  static ScriptValue FromHandle(qint64 handle);

  Kind kind() const { return kind_; }
  bool IsNumeric() const {
    return kind_ == Kind::kInt || kind_ == Kind::kInt64 || kind_ == Kind::kFloat ||
           kind_ == Kind::kCurrency || kind_ == Kind::kDate;
  }
  bool IsIntegral() const { return kind_ == Kind::kInt || kind_ == Kind::kInt64; }
  ScriptArray* array() const { return a_.get(); }
  qint64 handle() const { return kind_ == Kind::kObject ? i_ : 0; }
  // A Currency in ten-thousandths; integral values scaled, others rounded
  // to four decimals. An overflow error outside the range.
  qint64 ToCurrencyUnits() const;
  // The live object of an object value; null for any other value or an
  // object that is gone.
  Persistent* ObjectPointer() const;

  // Conversions; each throws a conversion error where the value has no
  // such meaning (Null, non-numeric text, out of range).
  bool ToBool() const;
  qint32 ToInt32() const;  // integral sources keep their low 32 bits
  qint64 ToInt64() const;
  double ToFloat() const;
  QString ToString() const;
  // Dates read as DateTimeToStr writes them (date, then the time unless
  // midnight; a time of day alone without date); Currency with up to four
  // decimals and no trailing zeros.
  // The text scriptrun prints: strings quoted, Booleans True/False.
  QString Display() const;
  ScriptValue DeepCopy() const;
  // Whether nothing else holds this value's array or an array inside it:
  // a value that is about to die can then hand its array over instead of
  // copying it (and charging the copy while the original still counts).
  bool Unshared() const;
  // Whether this value is the only holder of its array (true for values
  // that hold none). Only such an array may change in place.
  bool OwnsArray() const { return kind_ != Kind::kArray || a_.use_count() == 1; }
  // The value with an array of its own: the elements are copied (charged
  // to the same budget); arrays inside stay shared, since no element is
  // ever changed in place below the first level.
  ScriptValue Detached() const;

  QVariant ToQVariant() const;
  static ScriptValue FromQVariant(const QVariant& v);

 private:
  static ScriptValue Make(Kind k, qint64 i) {
    ScriptValue v;
    v.kind_ = k;
    v.i_ = i;
    return v;
  }
  Kind kind_ = Kind::kEmpty;
  qint64 i_ = 0;
  double d_ = 0;
  QString s_;
  std::shared_ptr<ScriptArray> a_;
};

struct ScriptArray {
  std::vector<qint64> low, high;
  std::vector<ScriptValue> items;
  // The program's count of live elements; arrays from the host have none.
  std::shared_ptr<qint64> live;

  ScriptArray() = default;
  // Copies count against the same budget; throws when it is spent.
  ScriptArray(const ScriptArray& other);
  ScriptArray& operator=(const ScriptArray&) = delete;
  ~ScriptArray() {
    if (live) *live -= static_cast<qint64>(items.size());
  }
  // Takes `count` elements from the budget of `live`; throws when spent.
  static void Reserve(const std::shared_ptr<qint64>& live, qint64 count);
};

// A run-time or compile error of a script. `kind` is the exception class
// name scripts see through ExceptionClassName.
struct ScriptError : std::runtime_error {
  ScriptError(QString message, QString kind = QStringLiteral("Exception"), QString pos = {})
      : std::runtime_error(message.toStdString()),
        message(std::move(message)),
        kind(std::move(kind)),
        pos(std::move(pos)) {}
  QString message;
  QString kind;
  QString pos;
  // The unit `pos` lies in; empty for the main script.
  QString unit;
};

class ScriptProgram;
struct ScriptScope;

// One variable as the host sees it after a run.
struct ScriptVariableInfo {
  QString name;
  QString type;
  ScriptValue value;
};

class ScriptProgram {
 public:
  using RunLineEvent = std::function<void(const QString& pos)>;
  // Called before each statement with the unit it lies in (empty for the
  // main script) and its "line:col".
  using UnitRunLineEvent = std::function<void(const QString& unit, const QString& pos)>;
  // Asked once per compilation for each unit the tree includes: a
  // non-empty answer is the unit's syntax tree (XML text), compiled in
  // place of the tree the parser included.
  using ILUnitProvider = std::function<QString(const QString& unit)>;

  ScriptProgram();
  ~ScriptProgram();
  ScriptProgram(const ScriptProgram&) = delete;
  ScriptProgram& operator=(const ScriptProgram&) = delete;

  // What the host registered, searched after the program's own names,
  // and the source text (macro routines receive their arguments' text).
  // Takes effect with the next Build.
  void SetHost(const ScriptScope& scope, const QString& source_text);
  // The texts of the units the tree includes, by lower-case name (as
  // TksILParser::UnitTexts gives them); macro arguments inside a unit are
  // cut from its own text. Takes effect with the next Build.
  void SetUnitSources(const QHash<QString, QString>& texts) { unit_sources_ = texts; }
  void SetILUnitProvider(ILUnitProvider provider) { il_unit_provider_ = std::move(provider); }
  // Builds the model from a syntax tree; throws ScriptError with a position.
  // `declare_vars`: whether undeclared names are errors (else they become
  // global Variants); `dialect` decides a few statement details.
  void Build(const TksXMLItem& program, const QString& dialect, bool declare_vars);
  // Runs the main block; throws ScriptError for an unhandled error.
  void Execute();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Compiles the expression tree `expr` in the scope of the routine being
  // run (the globals when none) and evaluates it.
  // `source_text`: the text the tree was read from, when not the program's.
  ScriptValue EvaluateTree(const TksXMLItem& expr, const QString& source_text = QString());
  // Calls routine `name` with `args`; by-reference parameters write back
  // into `args`. Throws for an unknown name.
  ScriptValue CallFunction(const QString& name, std::vector<ScriptValue>& args);
  bool HasRoutine(const QString& name) const;
  // The name of the routine running now (innermost); empty outside routines.
  QString ActiveRoutine() const;
  // The value of a parameter, Result or local variable of the routine
  // running now (innermost); false when none runs or it has no such name.
  bool ActiveLocal(const QString& name, ScriptValue& value) const;
  std::vector<ScriptVariableInfo> Variables() const;
  bool SetVariable(const QString& name, const ScriptValue& value);
  void SetOnRunLine(RunLineEvent event);
  void SetOnRunLine(UnitRunLineEvent event) { on_run_line_ = std::move(event); }
  // The code-line table: whether a statement starts on `line` of `unit`
  // (empty: the main script), for a debugger's breakpoints. Filled by
  // Build; AddCodeLine adds the line part of "line:col".
  bool IsExecutableLine(int line, const QString& unit = QString()) const;
  void AddCodeLine(const QString& unit, const QString& pos);
  // The lines of `unit` that hold statements, ascending.
  std::vector<int> CodeLines(const QString& unit = QString()) const;
  // Answers names that are neither declared nor registered, at run time
  // (false: undeclared); without one such names are compile errors. Takes
  // effect with the next Build.
  using NameResolver = std::function<bool(const QString& name, ScriptValue& value)>;
  void SetNameResolver(NameResolver resolver) { resolve_name_ = std::move(resolver); }
  // The count of array elements the program holds, shared by its arrays;
  // host functions that make arrays charge it (ScriptArray::Reserve).
  std::shared_ptr<qint64> ElementBudget() const;
  // Objects the script itself created (constructors of platform classes)
  // belong to the program: freed by the script's Free or with the program,
  // whichever comes first. At most kMaxOwnedObjects live at once; Adopt
  // throws a script error past that and deletes `object`.
  static constexpr qint64 kMaxOwnedObjects = 1000000;
  Persistent* AdoptObject(std::unique_ptr<Persistent> object);
  // Deletes `object` when the program owns it; answers whether it did.
  bool FreeObject(Persistent* object);
  bool OwnsObject(const Persistent* object) const { return owned_.count(object) != 0; }

  struct Impl;

 private:
  std::unordered_map<const Persistent*, std::unique_ptr<Persistent>> owned_;
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<ScriptScope> host_;
  QString source_;
  QHash<QString, QString> unit_sources_;
  ILUnitProvider il_unit_provider_;
  std::map<QString, std::set<int>> code_lines_;
  std::atomic<bool> terminated_{false};
  UnitRunLineEvent on_run_line_;
  NameResolver resolve_name_;
};

}  // namespace ovx
