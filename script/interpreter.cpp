#include "script/interpreter.h"

#include "base/error.h"
#include "base/meta_class.h"
#include "base/number_format.h"
#include "base/object_handle.h"
#include "base/rounding.h"
#include "script/messages.h"
#include "script/registry.h"
#include "script/xml.h"

#include <QHash>
#include <QSet>

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <unordered_map>

namespace ovx {
namespace {

QString Text(const char* name, const char* text) {
  return ScriptMessage(QString::fromLatin1(name), QString::fromUtf8(text));
}

// Messages that name an identifier: the (localised) text, then the name.
QString Named(const char* name, const char* text, const QString& identifier) {
  return Text(name, text) + u'\'' + identifier + u'\'';
}

[[noreturn]] void Fail(const QString& message, const QString& pos, const char* kind = "Exception") {
  throw ScriptError(message, QString::fromLatin1(kind), pos);
}

[[noreturn]] void DivByZero() {
  throw ScriptError(Text("rsScriptDivByZero", "Division by zero"), QStringLiteral("EDivByZero"));
}
[[noreturn]] void Overflow() {
  throw ScriptError(Text("rsScriptOverflow", "Arithmetic overflow"), QStringLiteral("EOverflow"));
}

// ---- operators -------------------------------------------------------------

enum Op {
  kAdd,
  kSub,
  kMul,
  kDivide,
  kIntDiv,
  kMod,
  kShl,
  kShr,
  kAnd,
  kOr,
  kXor,
  kStrcat,
  kEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kIn,
  kIs,
  kNot,
  kNeg,
  kOpen,
  kClose,
  kNoOp
};

Op OpFromText(const QString& t) {
  static const QHash<QString, Op> ops = {
      {QStringLiteral("+"), kAdd},      {QStringLiteral("-"), kSub},
      {QStringLiteral("*"), kMul},      {QStringLiteral("/"), kDivide},
      {QStringLiteral("div"), kIntDiv}, {QStringLiteral("mod"), kMod},
      {QStringLiteral("shl"), kShl},    {QStringLiteral("shr"), kShr},
      {QStringLiteral("and"), kAnd},    {QStringLiteral("or"), kOr},
      {QStringLiteral("xor"), kXor},    {QStringLiteral("strcat"), kStrcat},
      {QStringLiteral("="), kEq},       {QStringLiteral("<>"), kNe},
      {QStringLiteral("<"), kLt},       {QStringLiteral("<="), kLe},
      {QStringLiteral(">"), kGt},       {QStringLiteral(">="), kGe},
      {QStringLiteral("in"), kIn},      {QStringLiteral("is"), kIs},
      {QStringLiteral("not"), kNot},    {QStringLiteral("unminus"), kNeg},
      {QStringLiteral("("), kOpen},     {QStringLiteral(")"), kClose},
      {QStringLiteral("&"), kStrcat},   {QStringLiteral("\\"), kIntDiv},
      {QStringLiteral("%"), kMod}};
  return ops.value(t.toLower(), kNoOp);
}

// Binding strength: lower binds tighter. Pascal binds and/or/xor like
// multiplication and addition; the other dialects below the comparisons,
// so that `a = 1 And b = 2` and `x > 0 && y > 0` read as written.
int Priority(Op op, bool logic_last) {
  if (logic_last && (op == kAnd || op == kOr || op == kXor)) return op == kAnd ? 5 : 6;
  switch (op) {
    case kMul:
    case kDivide:
    case kIntDiv:
    case kMod:
    case kShl:
    case kShr:
    case kAnd:
      return 2;
    case kAdd:
    case kSub:
    case kOr:
    case kXor:
    case kStrcat:
      return 3;
    case kEq:
    case kNe:
    case kLt:
    case kLe:
    case kGt:
    case kGe:
    case kIn:
    case kIs:
      return 4;
    default:
      return 0;
  }
}

using V = ScriptValue;
using K = ScriptValue::Kind;

V IntResult(qint64 r, const V& a, const V& b) {
  return a.kind() == K::kInt64 || b.kind() == K::kInt64 ? V::Int64(r) : V::Integer(r);
}

bool BothBool(const V& a, const V& b) { return a.kind() == K::kBool && b.kind() == K::kBool; }

// Operands Currency arithmetic keeps exact.
bool ExactCurrency(const V& v) {
  return v.kind() == K::kCurrency || v.IsIntegral() || v.kind() == K::kBool ||
         v.kind() == K::kEmpty;
}

V Arith(Op op, const V& a, const V& b) {
  if (a.kind() == K::kNull || b.kind() == K::kNull) return V::Null();
  if (op == kStrcat) {
    if (a.kind() == K::kString) return V::String(a.ToString() + b.ToString());
    op = kAdd;
  }
  if (op == kAdd && a.kind() == K::kString && b.kind() == K::kString)
    return V::String(a.ToString() + b.ToString());
  if (op == kAnd || op == kOr || op == kXor) {
    if (BothBool(a, b)) {
      const bool x = a.ToBool(), y = b.ToBool();
      return V::Bool(op == kAnd ? x && y : op == kOr ? x || y : x != y);
    }
    const qint64 x = a.ToInt64(), y = b.ToInt64();
    return IntResult(op == kAnd ? x & y : op == kOr ? x | y : x ^ y, a, b);
  }
  if (op == kShl || op == kShr) {
    const qint64 count = b.ToInt64();
    if (a.kind() == K::kInt64) {
      const quint64 x = static_cast<quint64>(a.ToInt64());
      const int c = static_cast<int>(count & 63);
      return V::Int64(static_cast<qint64>(op == kShl ? x << c : x >> c));
    }
    const quint32 x = static_cast<quint32>(a.ToInt32());
    const int c = static_cast<int>(count & 31);
    return V::Int(static_cast<qint32>(op == kShl ? x << c : x >> c));
  }
  if (op == kIntDiv || op == kMod) {
    const qint64 x = a.ToInt64(), y = b.ToInt64();
    if (y == 0) DivByZero();
    if (y == -1) {
      if (op == kMod) return IntResult(0, a, b);
      if (x == INT64_MIN) Overflow();
      return IntResult(-x, a, b);
    }
    return IntResult(op == kIntDiv ? x / y : x % y, a, b);
  }
  // A date moved by a number of days stays a date; the days between two
  // dates are a number.
  if ((op == kAdd || op == kSub) && (a.kind() == K::kDate || b.kind() == K::kDate)) {
    const double x = a.ToFloat(), y = b.ToFloat();
    if (op == kAdd) return V::Date(x + y);
    return a.kind() == K::kDate && b.kind() != K::kDate ? V::Date(x - y) : V::Float(x - y);
  }
  // Currency with Currency or integers stays exact; with anything else
  // (floats, dates, text) it is a float.
  if ((op == kAdd || op == kSub || op == kMul) &&
      (a.kind() == K::kCurrency || b.kind() == K::kCurrency) && ExactCurrency(a) &&
      ExactCurrency(b)) {
    qint64 r = 0;
    if (op == kMul && a.kind() == K::kCurrency && b.kind() == K::kCurrency) {
      const __int128 p = static_cast<__int128>(a.ToCurrencyUnits()) * b.ToCurrencyUnits();
      __int128 q = p / 10000;
      const __int128 twice = (p % 10000) * 2;
      if (twice > 10000 || (twice == 10000 && (q & 1))) ++q;
      if (twice < -10000 || (twice == -10000 && (q & 1))) --q;
      if (q > INT64_MAX || q < INT64_MIN) Overflow();
      return V::CurrencyUnits(static_cast<qint64>(q));
    }
    bool over = false;
    if (op == kMul) {
      const V& money = a.kind() == K::kCurrency ? a : b;
      const V& count = a.kind() == K::kCurrency ? b : a;
      over = __builtin_mul_overflow(money.ToCurrencyUnits(), count.ToInt64(), &r);
    } else {
      const qint64 x = a.ToCurrencyUnits(), y = b.ToCurrencyUnits();
      over = op == kAdd ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r);
    }
    if (over) Overflow();
    return V::CurrencyUnits(r);
  }
  const bool floats = op == kDivide || a.kind() == K::kFloat || b.kind() == K::kFloat ||
                      a.kind() == K::kDate || b.kind() == K::kDate || a.kind() == K::kCurrency ||
                      b.kind() == K::kCurrency ||
                      (a.kind() == K::kString && !ParseInt(a.ToString())) ||
                      (b.kind() == K::kString && !ParseInt(b.ToString()));
  if (floats) {
    const double x = a.ToFloat(), y = b.ToFloat();
    switch (op) {
      case kAdd:
        return V::Float(x + y);
      case kSub:
        return V::Float(x - y);
      case kMul:
        return V::Float(x * y);
      default:
        if (y == 0) DivByZero();
        return V::Float(x / y);
    }
  }
  const qint64 x = a.ToInt64(), y = b.ToInt64();
  qint64 r = 0;
  bool over = false;
  switch (op) {
    case kAdd:
      over = __builtin_add_overflow(x, y, &r);
      break;
    case kSub:
      over = __builtin_sub_overflow(x, y, &r);
      break;
    default:
      over = __builtin_mul_overflow(x, y, &r);
      break;
  }
  if (over) Overflow();
  return IntResult(r, a, b);
}

V Negate(const V& a) {
  switch (a.kind()) {
    case K::kNull:
      return a;
    case K::kFloat:
      return V::Float(-a.ToFloat());
    case K::kDate:
      return V::Date(-a.ToFloat());
    case K::kCurrency:
      if (a.ToCurrencyUnits() == INT64_MIN) Overflow();
      return V::CurrencyUnits(-a.ToCurrencyUnits());
    case K::kString:
      if (!ParseInt(a.ToString())) return V::Float(-a.ToFloat());
      [[fallthrough]];
    default: {
      const qint64 x = a.ToInt64();
      if (x == INT64_MIN) Overflow();
      return a.kind() == K::kInt64 ? V::Int64(-x) : V::Integer(-x);
    }
  }
}

V Not(const V& a) {
  if (a.kind() == K::kNull) return a;
  if (a.kind() == K::kBool) return V::Bool(!a.ToBool());
  if (a.kind() == K::kInt64) return V::Int64(~a.ToInt64());
  return V::Int(~a.ToInt32());
}

// -1, 0, 1; 2 when unordered (Null against anything but Null).
int Compare(const V& a, const V& b) {
  if (a.kind() == K::kNull || b.kind() == K::kNull) return a.kind() == b.kind() ? 0 : 2;
  if (a.kind() == K::kString && b.kind() == K::kString) {
    const int c = QString::compare(a.ToString(), b.ToString(), Qt::CaseSensitive);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (a.kind() == K::kEmpty && b.kind() == K::kString) return b.ToString().isEmpty() ? 0 : -1;
  if (b.kind() == K::kEmpty && a.kind() == K::kString) return a.ToString().isEmpty() ? 0 : 1;
  if (a.kind() == K::kArray || b.kind() == K::kArray) {
    if (a.kind() == b.kind() && a.array() == b.array()) return 0;
    return 2;
  }
  auto integral = [](const V& v) {
    return v.IsIntegral() || v.kind() == K::kBool || v.kind() == K::kEmpty ||
           v.kind() == K::kObject;
  };
  if (integral(a) && integral(b)) {
    const qint64 x = a.ToInt64(), y = b.ToInt64();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if ((a.kind() == K::kCurrency || b.kind() == K::kCurrency) && ExactCurrency(a) &&
      ExactCurrency(b)) {
    // In ten-thousandths, widened so that scaling an integer cannot overflow.
    auto units = [](const V& v) -> __int128 {
      return v.kind() == K::kCurrency ? v.ToCurrencyUnits()
                                      : static_cast<__int128>(v.ToInt64()) * 10000;
    };
    const __int128 x = units(a), y = units(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const double x = a.ToFloat(), y = b.ToFloat();
  return x < y ? -1 : x > y ? 1 : x == y ? 0 : 2;
}

bool Relation(Op op, const V& a, const V& b) {
  const int c = Compare(a, b);
  if (c == 2) return op == kNe;
  switch (op) {
    case kEq:
      return c == 0;
    case kNe:
      return c != 0;
    case kLt:
      return c < 0;
    case kLe:
      return c <= 0;
    case kGt:
      return c > 0;
    default:
      return c >= 0;
  }
}

// ---- static types -----------------------------------------------------------

enum class T { kVariant, kInteger, kInt64, kFloat, kString, kBoolean, kArray, kClass };

T FromVarType(ScriptVarType t) {
  switch (t) {
    case ScriptVarType::kInt:
    case ScriptVarType::kEnum:
      return T::kInteger;
    case ScriptVarType::kInt64:
      return T::kInt64;
    case ScriptVarType::kBool:
      return T::kBoolean;
    case ScriptVarType::kFloat:
      return T::kFloat;
    case ScriptVarType::kChar:
    case ScriptVarType::kString:
      return T::kString;
    case ScriptVarType::kClass:
      return T::kClass;
    case ScriptVarType::kArray:
      return T::kArray;
    default:
      return T::kVariant;
  }
}

QString TypeName(T t) {
  switch (t) {
    case T::kInteger:
      return QStringLiteral("Integer");
    case T::kInt64:
      return QStringLiteral("Int64");
    case T::kFloat:
      return QStringLiteral("Extended");
    case T::kString:
      return QStringLiteral("String");
    case T::kBoolean:
      return QStringLiteral("Boolean");
    case T::kArray:
      return QStringLiteral("Array");
    case T::kClass:
      return QStringLiteral("TObject");
    default:
      return QStringLiteral("Variant");
  }
}

QString TypeName(T t, const TksClassVariable* cls) {
  return t == T::kClass && cls ? cls->Name() : TypeName(t);
}

[[noreturn]] void InvalidObject(const V& v) {
  throw ScriptError(Text("rsScriptInvalidObject", "Invalid object reference: %1")
                        .arg(v.kind() == K::kNull || v.kind() == K::kEmpty ? QStringLiteral("nil")
                                                                           : v.ToString()),
                    QStringLiteral("EInvalidPointer"));
}

// The value as an object reference: an object that is gone, or an integer
// that is no live handle, is an error; Null, Empty and 0 are no object.
V ToObjectValue(const V& v) {
  switch (v.kind()) {
    case K::kNull:
    case K::kEmpty:
      return V::Null();
    case K::kObject:
      if (!v.ObjectPointer()) InvalidObject(v);
      return v;
    case K::kInt:
    case K::kInt64:
      if (v.ToInt64() == 0) return V::Null();
      if (!ObjectFromHandle(v.ToInt64())) InvalidObject(v);
      return V::FromHandle(v.ToInt64());
    default:
      InvalidObject(v);
  }
}

bool Numeric(T t) {
  return t == T::kInteger || t == T::kInt64 || t == T::kFloat || t == T::kVariant;
}

bool Assignable(T to, T from) {
  if (to == T::kVariant || from == T::kVariant) return to != T::kArray || from == T::kVariant;
  switch (to) {
    case T::kInteger:
    case T::kInt64:
      return from == T::kInteger || from == T::kInt64;
    case T::kFloat:
      return from == T::kInteger || from == T::kInt64 || from == T::kFloat;
    default:
      return to == from;
  }
}

V Coerce(T t, const V& v) {
  switch (t) {
    case T::kInteger:
      return V::Int(v.ToInt32());
    case T::kInt64:
      return V::Int64(v.ToInt64());
    case T::kFloat:
      // Float variables keep a date a date (TDateTime is a Float type).
      return v.kind() == K::kDate ? v : V::Float(v.ToFloat());
    case T::kString:
      return V::String(v.ToString());
    case T::kBoolean:
      return V::Bool(v.ToBool());
    case T::kClass:
      return ToObjectValue(v);
    default:
      return v.DeepCopy();
  }
}

V DefaultValue(T t) {
  switch (t) {
    case T::kInteger:
      return V::Int(0);
    case T::kInt64:
      return V::Int64(0);
    case T::kFloat:
      return V::Float(0);
    case T::kString:
      return V::String(QString());
    case T::kBoolean:
      return V::Bool(false);
    case T::kClass:
      return V::Null();
    default:
      return V();
  }
}

// ---- model ------------------------------------------------------------------

struct Decl {
  QString name;
  T type = T::kVariant;
  const TksClassVariable* cls = nullptr;
  T element = T::kVariant;  // arrays
  bool is_const = false;
  std::vector<qint64> low, high;
};

struct Slot {
  V value;
  V* ref = nullptr;
  V& Get() { return ref ? *ref : value; }
};

struct Routine;

struct Expr {
  enum Kind {
    kConst,
    kVar,
    kIndex,
    kCall,
    kUnary,
    kBinary,
    kAndThen,
    kOrElse,
    kSet,
    kExcMessage,
    kExcClass,
    kHostVar,   // a registered variable
    kHostCall,  // a registered function
    kMember,    // a member of an object: args[0] the object, then the arguments
    kDynIndex,  // an index on a value known only at run time: args[0], then indexes
    kCast,      // Class(x)
    kClassRef,  // a class name alone
    kHostName   // a name only the host's resolver answers, at run time
  };
  Kind kind = kConst;
  Op op = kNoOp;
  T type = T::kVariant;
  QString pos;
  V constant;
  bool local = false;
  int slot = -1;
  const Decl* decl = nullptr;
  Routine* routine = nullptr;
  std::vector<std::unique_ptr<Expr>> args;
  std::vector<bool> range_start;  // sets: element i starts a range
  int depth = 1;
  // Class-typed values: the registered class (null when unknown).
  const TksClassVariable* cls = nullptr;
  V* host = nullptr;
  const ScriptMethod* method = nullptr;
  // Members: what compilation found (null: resolved at run time by name),
  // and for which class.
  const ScriptMember* member = nullptr;
  const TksClassVariable* member_cls = nullptr;
  QString name;
  bool index_set = false;  // member reached through an index (default property)
  // A member found only at run time, written with an index after its
  // name (v.Names[0]): an index property takes it as its arguments, any
  // other member's value is indexed.
  bool late_index = false;
  // kIndex: where each bracket's indexes begin among `args`.
  std::vector<size_t> groups;
  std::vector<QString> texts;  // arguments' source text, for macro routines
  // The member last found for an object's class at run time.
  mutable const MetaClass* seen_meta = nullptr;
  mutable const ScriptMember* seen_member = nullptr;
  mutable const TksClassVariable* seen_cls = nullptr;
};

struct Stmt;
using Stmts = std::vector<std::unique_ptr<Stmt>>;

struct Selector {
  std::vector<std::unique_ptr<Expr>> labels;
  std::vector<bool> range_start;
  Stmts body;
};

struct Stmt {
  enum Kind {
    kBlock,
    kAssign,
    kCall,
    kIf,
    kWhile,
    kRepeat,
    kFor,
    kVbFor,
    kCppFor,
    kCase,
    kTryExcept,
    kTryFinally,
    kBreak,
    kContinue,
    kExit,
    kReturn,
    kInit,
    kWith
  };
  Kind kind = kBlock;
  QString pos;
  QString unit;  // empty: the main script
  // Not announced to OnRunLine nor listed as a code line: a declaration
  // that sets no value of its own.
  bool quiet = false;
  std::unique_ptr<Expr> target, e1, e2, e3;
  Op modifier = kNoOp;
  bool flag = false;
  Stmts body, body2, body3;
  std::vector<Selector> selectors;
  std::vector<std::pair<bool, int>> inits;  // (local, slot)
  std::vector<std::unique_ptr<Expr>> init_values;
};

struct Param {
  QString name;
  T type = T::kVariant;
  const TksClassVariable* cls = nullptr;
  bool by_ref = false;
  std::unique_ptr<Expr> def;
};

struct Routine {
  QString name;
  QString pos;
  QString unit;
  bool is_function = false;
  T result = T::kVariant;
  const TksClassVariable* result_cls = nullptr;
  std::vector<Param> params;
  std::deque<Decl> locals;  // params first, then Result
  QHash<QString, int> names;
  int result_slot = -1;
  std::vector<int> entry_inits;
  std::vector<std::unique_ptr<Expr>> entry_values;
  Stmts body;
  const TksXMLItem* tree = nullptr;
};

struct Frame {
  Routine* routine;
  std::vector<Slot> cells;
};

QString Key(const QString& name) { return name.toLower(); }

}  // namespace

// The C++ stack the run below one entry may take: deep enough for the call
// limit in a plain build, and an error rather than a crash where frames are
// larger (sanitizers) or threads have smaller stacks.
constexpr std::uintptr_t kMaxStackBytes = 3 * 1024 * 1024;

namespace {
// Where the outermost entry into any program of this thread found the
// stack. A program entered while another runs (a report expression
// evaluated from a script, itself asking for a variable that is an
// expression) measures from there too: budgets of nested programs must not
// add up past the stack's end.
thread_local std::uintptr_t t_stack_base = 0;
thread_local int t_entries = 0;

void EnterStack(int& entries, std::uintptr_t& stack_base, std::uintptr_t here) {
  if (t_entries++ == 0) t_stack_base = here;
  if (entries++ == 0) stack_base = t_stack_base;
}

void LeaveStack(int& entries, std::uintptr_t& stack_base) {
  if (--entries == 0) stack_base = 0;
  if (--t_entries == 0) t_stack_base = 0;
}
}  // namespace

struct ScriptProgram::Impl {
  ScriptProgram& owner;
  explicit Impl(ScriptProgram& o) : owner(o) {}
  ~Impl() { DetachEvents(); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // An event handler given to a host object. The host holds only a weak
  // link: once the assignment is replaced or the program goes, firing the
  // event does nothing.
  struct Bridge {
    Impl* impl;
    Routine* routine;
    ScriptEventKind kind;
  };
  struct BridgeEntry {
    std::shared_ptr<Bridge> state;
    const ScriptMember* member;
    qint64 handle;
  };
  std::map<std::pair<qint64, const ScriptMember*>, BridgeEntry> bridges;

  QString dialect;
  bool declare_vars = true;
  bool c_switch = false;
  // C++Script and JScript give chained brackets (a[1][2]) as one list.
  bool flat_brackets = false;
  bool logic_last = false;
  bool var_again = false;
  static constexpr int kTopLevel = 6;
  QHash<QString, QString> type_aliases;
  std::deque<Decl> globals;
  std::deque<Slot> global_slots;
  QHash<QString, int> global_names;
  std::vector<std::unique_ptr<Routine>> routines;
  QHash<QString, Routine*> routine_names;
  std::vector<Stmts> main_blocks;
  std::unordered_map<const TksXMLItem*, std::vector<int>> var_slots;

  // compile state
  Routine* scope = nullptr;
  // What the host registered (empty when nothing), and the source text
  // macro arguments are cut from.
  ScriptScope host;
  QStringList source_lines;
  // The units' own texts by lower-case name, and the unit being compiled
  // (empty: the main script). Not restored when compiling fails, so that
  // the error names the unit it came from.
  QHash<QString, QStringList> unit_lines;
  QString cur_unit;
  // Units whose tree the host supplied (OnGetILUnit), by the `uses` node
  // they replace; null when the included tree stands. Each unit is taken
  // once per compilation.
  std::unordered_map<const TksXMLItem*, const TksXMLItem*> unit_trees;
  std::vector<std::unique_ptr<TksXMLDocument>> unit_documents;
  QSet<QString> units_seen;
  static constexpr int kMaxUnitNesting = 100;
  int unit_depth = 0;
  struct WithEntry {
    bool local;
    int slot;
    const Decl* decl;
  };
  std::vector<WithEntry> with_list;
  int with_count = 0;

  // run state
  std::vector<std::unique_ptr<Frame>> frames;
  // Where the outermost entry (Execute, Evaluate, CallFunction) found the
  // stack; calls and statements nested below it may use kMaxStackBytes.
  std::uintptr_t stack_base = 0;
  std::shared_ptr<qint64> live_elements = std::make_shared<qint64>(0);
  int entries = 0;
  bool brk = false, cont = false, exit = false;
  QString exc_message, exc_class;

  // ---- compile --------------------------------------------------------------

  static QString Pos(const TksXMLItem& item) { return item.Prop(QStringLiteral("pos")); }

  T ResolveType(const QString& name, const QString& pos, const TksClassVariable** cls = nullptr) {
    QString key = Key(name);
    key = type_aliases.value(key, key);
    if (ScriptItem* item = host.Find(key)) {
      if (item->kind == ScriptItem::Kind::kClass) {
        if (cls) *cls = item->cls.get();
        return T::kClass;
      }
      if (item->kind == ScriptItem::Kind::kType) return FromVarType(item->type);
    }
    static const QHash<QString, T> types = {
        {"integer", T::kInteger},  {"longint", T::kInteger},   {"cardinal", T::kInteger},
        {"smallint", T::kInteger}, {"shortint", T::kInteger},  {"byte", T::kInteger},
        {"word", T::kInteger},     {"longword", T::kInteger},  {"int64", T::kInt64},
        {"extended", T::kFloat},   {"double", T::kFloat},      {"single", T::kFloat},
        {"real", T::kFloat},       {"currency", T::kFloat},    {"tdatetime", T::kFloat},
        {"tdate", T::kFloat},      {"ttime", T::kFloat},       {"string", T::kString},
        {"char", T::kString},      {"widestring", T::kString}, {"ansistring", T::kString},
        {"boolean", T::kBoolean},  {"variant", T::kVariant},   {"olevariant", T::kVariant},
        {"tobject", T::kVariant},  {"pointer", T::kVariant}};
    auto it = types.constFind(key);
    if (it == types.constEnd()) Fail(Named("SUnknownType", "Unknown type: ", name), pos);
    return *it;
  }

  void ReadTypes(const TksXMLItem& item) {
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& child = *item.Items(i);
      if (child.Name() == u"types") {
        for (int j = 0; j < child.Count(); ++j)
          type_aliases.insert(Key(child.Items(j)->Name()),
                              Key(child.Items(j)->Prop(QStringLiteral("type"))));
      } else {
        ReadTypes(child);
      }
    }
  }

  bool LocalScope() const { return scope != nullptr; }

  void CheckFree(const QString& name, const QString& pos) {
    const QString key = Key(name);
    const bool taken = LocalScope() ? scope->names.contains(key)
                                    : global_names.contains(key) || routine_names.contains(key);
    if (taken) Fail(Named("SIdRedeclared", "Identifier redeclared: ", name), pos);
  }

  int AddVar(Decl decl, const QString& pos) {
    const QString key = Key(decl.name);
    // JScript lets `var` name a variable again; it is the same variable.
    if (var_again && !decl.is_const) {
      const auto& names = LocalScope() ? scope->names : global_names;
      const auto it = names.constFind(key);
      if (it != names.constEnd()) {
        const Decl& old = LocalScope() ? scope->locals[static_cast<size_t>(*it)]
                                       : globals[static_cast<size_t>(*it)];
        if (!old.is_const && old.type == decl.type && decl.low.empty() && old.low.empty())
          return *it;
      }
    }
    CheckFree(decl.name, pos);
    if (LocalScope()) {
      scope->locals.push_back(std::move(decl));
      const int slot = static_cast<int>(scope->locals.size()) - 1;
      scope->names.insert(key, slot);
      return slot;
    }
    globals.push_back(std::move(decl));
    global_slots.emplace_back();
    const int slot = static_cast<int>(globals.size()) - 1;
    global_names.insert(key, slot);
    global_slots[static_cast<size_t>(slot)].value = DefaultValue(globals.back().type);
    return slot;
  }

  qint64 ConstInt(const TksXMLItem& expr) {
    auto e = CompileExpr(expr);
    if (e->kind != Expr::kConst)
      Fail(Text("SConstExpected", "Constant expression expected"), Pos(expr));
    try {
      return e->constant.ToInt64();
    } catch (const ScriptError& error) {
      Fail(error.message, Pos(expr));
    }
  }

  void ArrayBounds(const TksXMLItem& array, Decl& decl) {
    qint64 count = 1;
    for (int i = 0; i < array.Count(); ++i) {
      const TksXMLItem& dim = *array.Items(i);
      if (dim.Name() != u"dim") continue;
      std::vector<const TksXMLItem*> exprs;
      for (int j = 0; j < dim.Count(); ++j)
        if (dim.Items(j)->Name() == u"expr") exprs.push_back(dim.Items(j));
      if (exprs.empty()) continue;
      qint64 low = 0, high;
      if (exprs.size() == 1) {
        high = ConstInt(*exprs[0]) - 1;
      } else {
        low = ConstInt(*exprs[0]);
        high = ConstInt(*exprs[1]);
      }
      const qint64 n = high >= low ? high - low + 1 : 0;
      if (high < low || n <= 0 || n > kMaxScriptArrayElements ||
          count * n > kMaxScriptArrayElements)
        Fail(Text("rsScriptArrayBounds", "Invalid array bounds: at most %1 elements")
                 .arg(kMaxScriptArrayElements),
             Pos(dim));
      count *= n;
      decl.low.push_back(low);
      decl.high.push_back(high);
    }
  }

  static bool TypeAfterNames(const TksXMLItem& var) {
    bool names = false;
    for (int i = 0; i < var.Count(); ++i) {
      const QString& n = var.Items(i)->Name();
      if (n == u"ident") names = true;
      if (n == u"type") return names;
    }
    return false;
  }

  // Declares the names of one `var` element; answers their cells.
  std::vector<int> DeclareVar(const TksXMLItem& var) {
    struct Entry {
      QString name, pos;
      const TksXMLItem* array = nullptr;
      const TksXMLItem* init = nullptr;
    };
    std::vector<Entry> entries;
    const TksXMLItem* type = nullptr;
    // A type written after the names (Pascal) gives its array and init to
    // every name; written before them (C++), or absent (Basic, JScript),
    // each array or init belongs to the name before it.
    const bool shared_parts = TypeAfterNames(var);
    const TksXMLItem* shared_array = nullptr;
    const TksXMLItem* shared_init = nullptr;
    for (int i = 0; i < var.Count(); ++i) {
      const TksXMLItem& c = *var.Items(i);
      if (c.Name() == u"ident") {
        entries.push_back({c.Prop(QStringLiteral("text")), Pos(c)});
      } else if (c.Name() == u"type") {
        type = &c;
      } else if (c.Name() == u"array" || c.Name() == u"init") {
        const bool array = c.Name() == u"array";
        if (!shared_parts && !entries.empty()) {
          (array ? entries.back().array : entries.back().init) = &c;
        } else {
          (array ? shared_array : shared_init) = &c;
        }
      }
    }
    const TksClassVariable* cls = nullptr;
    T t = type ? ResolveType(type->Prop(QStringLiteral("text")), Pos(*type), &cls) : T::kVariant;
    std::vector<int> cells;
    for (auto& e : entries) {
      Decl d;
      d.name = e.name;
      d.type = t;
      d.cls = cls;
      const TksXMLItem* array = e.array ? e.array : shared_array;
      if (array) {
        d.element = t;
        d.type = T::kArray;
        ArrayBounds(*array, d);
      }
      cells.push_back(AddVar(std::move(d), e.pos));
    }
    var_slots[&var] = cells;
    return cells;
  }

  std::unique_ptr<Expr> InitExpr(const TksXMLItem& var, size_t index) {
    // The init that belongs to ident `index` (see DeclareVar).
    int ident = -1;
    const bool shared_parts = TypeAfterNames(var);
    const TksXMLItem* shared = nullptr;
    const TksXMLItem* own = nullptr;
    for (int i = 0; i < var.Count(); ++i) {
      const TksXMLItem& c = *var.Items(i);
      if (c.Name() == u"ident") {
        ++ident;
      } else if (c.Name() == u"init") {
        if (!shared_parts && ident >= 0) {
          if (static_cast<size_t>(ident) == index) own = &c;
        } else {
          shared = &c;
        }
      }
    }
    const TksXMLItem* init = own ? own : shared;
    if (!init) return nullptr;
    for (int i = 0; i < init->Count(); ++i)
      if (init->Items(i)->Name() == u"expr") return CompileExpr(*init->Items(i));
    return nullptr;
  }

  void DeclareConst(const TksXMLItem& item) {
    QString name, pos;
    const TksXMLItem* expr = nullptr;
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& c = *item.Items(i);
      if (c.Name() == u"ident") {
        name = c.Prop(QStringLiteral("text"));
        pos = Pos(c);
      } else if (c.Name() == u"expr") {
        expr = &c;
      }
    }
    if (!expr) return;
    auto e = CompileExpr(*expr);
    if (e->kind != Expr::kConst)
      Fail(Text("SConstExpected", "Constant expression expected"), Pos(*expr));
    Decl d;
    d.name = name;
    d.type = e->type;
    d.is_const = true;
    const int slot = AddVar(std::move(d), pos);
    if (LocalScope()) {
      scope->entry_inits.push_back(slot);
      scope->entry_values.push_back(std::move(e));
    } else {
      global_slots[static_cast<size_t>(slot)].value = e->constant;
    }
  }

  void DeclareRoutine(const TksXMLItem& item) {
    auto r = std::make_unique<Routine>();
    r->tree = &item;
    r->pos = Pos(item);
    r->unit = cur_unit;
    r->is_function = item.Name() == u"function";
    const TksXMLItem* params = nullptr;
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& c = *item.Items(i);
      if (c.Name() == u"name")
        r->name = c.Prop(QStringLiteral("text"));
      else if (c.Name() == u"parameters")
        params = &c;
      else if (c.Name() == u"type") {
        const QString type = c.Prop(QStringLiteral("text"));
        if (Key(type) == u"void")
          r->is_function = false;
        else
          r->result = ResolveType(type, Pos(c), &r->result_cls);
      }
    }
    Routine* saved = scope;
    if (LocalScope()) scope = nullptr;
    // Routines nested in blocks or other routines are declared where the
    // program's routines are.
    const QString key = Key(r->name);
    if (routine_names.contains(key) || global_names.contains(key))
      Fail(Named("SIdRedeclared", "Identifier redeclared: ", r->name), r->pos);
    scope = r.get();
    if (params) {
      bool by_ref_next = false;
      auto add_var = [&](const TksXMLItem& var, bool by_ref) {
        for (int j = 0; j < var.Count(); ++j)
          if (var.Items(j)->Name() == u"varparam") by_ref = true;
        const auto cells = DeclareVar(var);
        for (size_t k = 0; k < cells.size(); ++k) {
          Param p;
          p.name = scope->locals[static_cast<size_t>(cells[k])].name;
          p.type = scope->locals[static_cast<size_t>(cells[k])].type;
          p.cls = scope->locals[static_cast<size_t>(cells[k])].cls;
          p.by_ref = by_ref;
          p.def = InitExpr(var, k);
          r->params.push_back(std::move(p));
        }
      };
      for (int i = 0; i < params->Count(); ++i) {
        const TksXMLItem& c = *params->Items(i);
        if (c.Name() == u"varparams") {
          if (c.Count() == 0) {
            by_ref_next = true;
          } else {
            for (int j = 0; j < c.Count(); ++j)
              if (c.Items(j)->Name() == u"var") add_var(*c.Items(j), true);
          }
        } else if (c.Name() == u"var") {
          add_var(c, by_ref_next);
          by_ref_next = false;
        }
      }
    }
    if (r->is_function) {
      Decl d;
      d.name = QStringLiteral("Result");
      d.type = r->result;
      r->locals.push_back(d);
      r->result_slot = static_cast<int>(r->locals.size()) - 1;
      r->names.insert(QStringLiteral("result"), r->result_slot);
    }
    scope = saved;
    routine_names.insert(key, r.get());
    routines.push_back(std::move(r));
  }

  // Pass one: dialect types, routines and the program's own variables, so
  // that code may name them before their declaration.
  void Declare(const TksXMLItem& item) {
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& c = *item.Items(i);
      const QString& n = c.Name();
      if (n == u"procedure" || n == u"function") {
        DeclareRoutine(c);
        Declare(c);
      } else if (n == u"var") {
        if (!InRoutine(c)) {
          const auto cells = DeclareVar(c);
          (void)cells;
        }
      } else if (n == u"const") {
        if (!InRoutine(c)) DeclareConst(c);
      } else if (n == u"uses") {
        // Trees the host hands over may include further units.
        if (++unit_depth > kMaxUnitNesting) Fail(QStringLiteral("Units nested too deeply"), Pos(c));
        const QString outer = cur_unit;
        cur_unit = c.Prop(QStringLiteral("unit"));
        if (const TksXMLItem* tree = ResolveUnit(c))
          Declare(*tree);
        else
          Declare(c);
        cur_unit = outer;
        --unit_depth;
      } else if (n == u"program") {
        Declare(c);
      } else if (n != u"expr" && n != u"dsgn" && n != u"types" && n != u"parameters") {
        Declare(c);
      }
    }
  }

  static bool InRoutine(const TksXMLItem& item) {
    for (const TksXMLItem* p = item.Parent(); p; p = p->Parent())
      if (p->Name() == u"procedure" || p->Name() == u"function") return true;
    return false;
  }

  // The tree to compile for the unit of `uses`: the host's when it gave
  // one, else null (the parser's tree inside the node stands). A unit met
  // again, by name, is left out.
  const TksXMLItem* ResolveUnit(const TksXMLItem& uses) {
    if (const auto found = unit_trees.find(&uses); found != unit_trees.end()) return found->second;
    static const TksXMLItem nothing;
    const QString name = uses.Prop(QStringLiteral("unit"));
    const TksXMLItem* tree = nullptr;
    if (units_seen.contains(Key(name))) {
      tree = &nothing;
    } else {
      units_seen.insert(Key(name));
      const QString text = owner.il_unit_provider_ ? owner.il_unit_provider_(name) : QString();
      if (!text.isEmpty()) {
        auto doc = std::make_unique<TksXMLDocument>();
        try {
          doc->LoadFromString(text);
        } catch (const Error& error) {
          Fail(error.Message(), Pos(uses));
        }
        tree = doc->Root();
        unit_documents.push_back(std::move(doc));
      }
    }
    unit_trees.emplace(&uses, tree);
    return tree;
  }

  void CompileRoutine(Routine& r) {
    scope = &r;
    cur_unit = r.unit;
    const TksXMLItem* body = nullptr;
    for (int i = 0; i < r.tree->Count(); ++i) {
      const TksXMLItem& c = *r.tree->Items(i);
      if (c.Name() == u"var") {
        for (int slot : DeclareVar(c)) {
          r.entry_inits.push_back(slot);
          r.entry_values.push_back(nullptr);
        }
        const auto& cells = var_slots[&c];
        for (size_t k = 0; k < cells.size(); ++k)
          r.entry_values[r.entry_values.size() - cells.size() + k] = InitExpr(c, k);
      } else if (c.Name() == u"const") {
        DeclareConst(c);
      } else if (c.Name() == u"compoundstmt") {
        body = &c;
      }
    }
    if (body) DeclareNestedVars(*body);
    if (body) CompileList(*body, r.body);
    scope = nullptr;
    cur_unit.clear();
  }

  void DeclareNestedVars(const TksXMLItem& item) {
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& c = *item.Items(i);
      if (c.Name() == u"procedure" || c.Name() == u"function" || c.Name() == u"expr") continue;
      if (c.Name() == u"var")
        DeclareVar(c);
      else
        DeclareNestedVars(c);
    }
  }

  // ---- expressions ----

  struct Token {
    Op op = kNoOp;  // kNoOp: operand
    const TksXMLItem* item = nullptr;
    QString pos;
  };

  void Flatten(const TksXMLItem& expr, std::vector<Token>& out) {
    for (int i = 0; i < expr.Count(); ++i) {
      const TksXMLItem& c = *expr.Items(i);
      if (c.Name() == u"op") {
        const Op op = OpFromText(c.Prop(QStringLiteral("text")));
        if (op == kNoOp)
          Fail(Text("SUnknownOperator", "Unknown operator: '%1'")
                   .arg(c.Prop(QStringLiteral("text"))),
               Pos(c));
        out.push_back({op, &c, Pos(c)});
      } else if (c.Name() == u"expr") {
        out.push_back({kOpen, nullptr, Pos(c)});
        Flatten(c, out);
        out.push_back({kClose, nullptr, Pos(c)});
      } else {
        out.push_back({kNoOp, &c, Pos(c)});
      }
    }
  }

  std::unique_ptr<Expr> CompileExpr(const TksXMLItem& expr) {
    std::vector<Token> tokens;
    Flatten(expr, tokens);
    // A trailing operator other than ')' carries no meaning.
    if (!tokens.empty() && tokens.back().op != kNoOp && tokens.back().op != kClose) {
      if (tokens.back().op != kNeg && tokens.back().op != kNot) tokens.pop_back();
    }
    size_t at = 0;
    int parens = 0;
    auto e = ParseLevel(tokens, at, kTopLevel, parens, Pos(expr));
    if (at != tokens.size()) {
      if (tokens[at].op == kClose) Fail(Text("SLeftParenExpected", "'(' expected"), tokens[at].pos);
      Fail(Text("SExpressionExpected", "Expression expected"), tokens[at].pos);
    }
    return e;
  }

  std::unique_ptr<Expr> ParseLevel(const std::vector<Token>& t, size_t& at, int level, int& parens,
                                   const QString& pos) {
    if (level == 1) return ParseUnary(t, at, parens, pos);
    auto left = ParseLevel(t, at, level - 1, parens, pos);
    while (at < t.size() && t[at].op != kNoOp && Priority(t[at].op, logic_last) == level) {
      const Token& op = t[at++];
      auto right = ParseLevel(t, at, level - 1, parens, pos);
      left = Binary(op.op, std::move(left), std::move(right), op.pos);
    }
    return left;
  }

  std::unique_ptr<Expr> ParseUnary(const std::vector<Token>& t, size_t& at, int& parens,
                                   const QString& pos) {
    if (at >= t.size()) Fail(Text("SExpressionExpected", "Expression expected"), pos);
    const Token& tok = t[at];
    if (tok.op == kNeg || tok.op == kNot || tok.op == kSub || tok.op == kAdd) {
      ++at;
      if (++parens > kMaxScriptExprDepth) TooDeep(tok.pos);
      auto operand = ParseUnary(t, at, parens, pos);
      --parens;
      if (tok.op == kAdd) return operand;
      return Unary(tok.op == kNot ? kNot : kNeg, std::move(operand), tok.pos);
    }
    if (tok.op == kOpen) {
      ++at;
      if (++parens > kMaxScriptExprDepth) TooDeep(tok.pos);
      auto inner = ParseLevel(t, at, kTopLevel, parens, pos);
      --parens;
      if (at >= t.size() || t[at].op != kClose)
        Fail(Text("SRightParenExpected", "')' expected"), tok.pos);
      ++at;
      return inner;
    }
    if (tok.op != kNoOp) Fail(Text("SExpressionExpected", "Expression expected"), tok.pos);
    ++at;
    return Operand(*tok.item);
  }

  [[noreturn]] static void TooDeep(const QString& pos) {
    Fail(Text("rsScriptExpressionTooDeep", "Expression too complex"), pos);
  }

  [[noreturn]] static void Incompatible(T a, T b, const QString& pos,
                                        const TksClassVariable* ca = nullptr,
                                        const TksClassVariable* cb = nullptr) {
    Fail(Text("SIncompatibleTypes", "Incompatible types") + QStringLiteral(": '") +
             TypeName(a, ca) + QStringLiteral("', '") + TypeName(b, cb) + u'\'',
         pos);
  }

  // Assignment compatibility with classes: a class target takes its own
  // class, a class inheriting from it, or a Variant.
  void CheckAssignable(T to, const TksClassVariable* to_cls, const Expr& from) {
    if (!Assignable(to, from.type)) Incompatible(to, from.type, from.pos, to_cls, from.cls);
    if (to == T::kClass && from.type == T::kClass && to_cls && from.cls &&
        !host.InheritsFrom(from.cls, to_cls))
      Incompatible(to, from.type, from.pos, to_cls, from.cls);
  }

  // `x op= e` stores what `x := x op e` would, so it passes the same
  // operand and assignment checks: `n /= 2` on an Integer is refused like
  // `n := n / 2` rather than storing a rounded quotient.
  void CheckCompound(const Stmt& s) {
    if (s.modifier == kNoOp) return;
    auto ghost = [](const Expr& like) {
      auto g = std::make_unique<Expr>();
      g->kind = Expr::kVar;
      g->type = like.type;
      g->cls = like.cls;
      g->pos = like.pos;
      return g;
    };
    const auto combined = Binary(s.modifier, ghost(*s.target), ghost(*s.e1), s.e1->pos);
    CheckAssignable(s.target->type, s.target->cls, *combined);
  }

  static T ArithType(T a, T b) {
    if (a == T::kVariant || b == T::kVariant) return T::kVariant;
    if (a == T::kFloat || b == T::kFloat) return T::kFloat;
    if (a == T::kInt64 || b == T::kInt64) return T::kInt64;
    return T::kInteger;
  }

  std::unique_ptr<Expr> Unary(Op op, std::unique_ptr<Expr> a, const QString& pos) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kUnary;
    e->op = op;
    e->pos = pos;
    if (op == kNot) {
      if (a->type != T::kBoolean && a->type != T::kInteger && a->type != T::kInt64 &&
          a->type != T::kVariant)
        Incompatible(a->type, a->type, pos);
      e->type = a->type;
    } else {
      if (!Numeric(a->type)) Incompatible(a->type, a->type, pos);
      e->type = a->type;
    }
    e->depth = a->depth + 1;
    if (e->depth > kMaxScriptExprDepth) TooDeep(pos);
    e->args.push_back(std::move(a));
    return Fold(std::move(e));
  }

  std::unique_ptr<Expr> Binary(Op op, std::unique_ptr<Expr> a, std::unique_ptr<Expr> b,
                               const QString& pos) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kBinary;
    e->op = op;
    e->pos = pos;
    const T l = a->type, r = b->type;
    const bool var = l == T::kVariant || r == T::kVariant;
    switch (op) {
      case kStrcat:
        if (l == T::kString || var)
          e->type = l == T::kString ? T::kString : T::kVariant;
        else if (Numeric(l) && Numeric(r))
          e->type = ArithType(l, r);
        else
          Incompatible(l, r, pos);
        break;
      case kAdd:
        if (l == T::kString && r == T::kString) {
          e->type = T::kString;
          break;
        }
        [[fallthrough]];
      case kSub:
      case kMul:
        if (!Numeric(l) || !Numeric(r)) {
          if (!var || l == T::kBoolean || r == T::kBoolean || l == T::kArray || r == T::kArray)
            Incompatible(l, r, pos);
        }
        e->type = ArithType(l, r);
        break;
      case kDivide:
        if (!(Numeric(l) && Numeric(r))) Incompatible(l, r, pos);
        e->type = var ? T::kVariant : T::kFloat;
        break;
      case kIntDiv:
      case kMod:
      case kShl:
      case kShr:
        if (!(Numeric(l) && Numeric(r))) Incompatible(l, r, pos);
        e->type = var ? T::kVariant : (l == T::kInt64 || r == T::kInt64 ? T::kInt64 : T::kInteger);
        if (op == kShl || op == kShr)
          e->type = l == T::kInt64 ? T::kInt64 : var ? T::kVariant : T::kInteger;
        break;
      case kAnd:
      case kOr:
      case kXor:
        if (l == T::kBoolean && r == T::kBoolean)
          e->type = T::kBoolean;
        else if (var && l != T::kString && r != T::kString && l != T::kFloat && r != T::kFloat)
          e->type = T::kVariant;
        else if ((l == T::kInteger || l == T::kInt64) && (r == T::kInteger || r == T::kInt64))
          e->type = ArithType(l, r);
        else
          Incompatible(l, r, pos);
        if (op != kXor && l == T::kBoolean && r == T::kBoolean)
          e->kind = op == kAnd ? Expr::kAndThen : Expr::kOrElse;
        break;
      case kEq:
      case kNe:
        if (!(var || (Numeric(l) && Numeric(r)) || l == r)) Incompatible(l, r, pos);
        e->type = T::kBoolean;
        break;
      case kLt:
      case kLe:
      case kGt:
      case kGe:
        if (!(var && l != T::kBoolean && r != T::kBoolean) && !(Numeric(l) && Numeric(r)) &&
            !(l == T::kString && r == T::kString))
          Incompatible(l, r, pos);
        e->type = T::kBoolean;
        break;
      case kIn:
        e->type = T::kBoolean;
        break;
      case kIs:
        if (b->kind != Expr::kClassRef) Fail(Text("SClassRequired", "Class type required"), pos);
        e->type = T::kBoolean;
        break;
      default:
        Fail(Text("SExpressionExpected", "Expression expected"), pos);
    }
    e->depth = std::max(a->depth, b->depth) + 1;
    if (e->depth > kMaxScriptExprDepth) TooDeep(pos);
    e->args.push_back(std::move(a));
    e->args.push_back(std::move(b));
    return Fold(std::move(e));
  }

  // Operators on constants are worked out once, errors staying for run time.
  std::unique_ptr<Expr> Fold(std::unique_ptr<Expr> e) {
    for (const auto& a : e->args)
      if (a->kind != Expr::kConst) return e;
    if (e->op == kIs || e->op == kIn) return e;
    try {
      V v = Eval(*e);
      auto c = std::make_unique<Expr>();
      c->kind = Expr::kConst;
      c->constant = v;
      c->type = e->type;
      // A folded integer that outgrew 32 bits is an Int64 constant.
      if (c->type == T::kInteger && v.kind() == K::kInt64) c->type = T::kInt64;
      c->pos = e->pos;
      return c;
    } catch (const ScriptError&) {
      return e;
    }
  }

  std::unique_ptr<Expr> Constant(V v, T t, const QString& pos) {
    auto e = std::make_unique<Expr>();
    e->constant = std::move(v);
    e->type = t;
    e->pos = pos;
    return e;
  }

  std::unique_ptr<Expr> Operand(const TksXMLItem& item) {
    const QString& n = item.Name();
    const QString text = item.Prop(QStringLiteral("text"));
    const QString pos = Pos(item);
    if (n == u"number") {
      if (auto i = ParseInt(text)) {
        return *i >= INT32_MIN && *i <= INT32_MAX
                   ? Constant(V::Int(static_cast<qint32>(*i)), T::kInteger, pos)
                   : Constant(V::Int64(*i), T::kInt64, pos);
      }
      QString hex = text;
      if (hex.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) hex = u'$' + hex.mid(2);
      if (auto i = ParseInt(hex))
        return Constant(V::Integer(*i), *i > INT32_MAX ? T::kInt64 : T::kInteger, pos);
      if (!text.contains(u',')) {
        if (auto d = ParseFloat(text)) return Constant(V::Float(*d), T::kFloat, pos);
      }
      Fail(Text("SInvalidNumber", "Invalid number: '%1'").arg(text), pos);
    }
    if (n == u"string") {
      QString s = text;
      if (s.size() >= 2 && (s.startsWith(u'\'') || s.startsWith(u'"')) && s.endsWith(s[0]))
        s = s.mid(1, s.size() - 2);
      return Constant(V::String(s), T::kString, pos);
    }
    if (n == u"set") return SetExpr(item);
    if (n == u"dsgn") return Designator(item, false);
    if (n == u"new") return NewObject(item);
    if (n == u"expr") return CompileExpr(item);
    Fail(Text("SExpressionExpected", "Expression expected"), pos);
  }

  std::unique_ptr<Expr> SetExpr(const TksXMLItem& item) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kSet;
    e->type = T::kVariant;
    e->pos = Pos(item);
    bool range = false;
    for (int i = 0; i < item.Count(); ++i) {
      const TksXMLItem& c = *item.Items(i);
      if (c.Name() == u"range") {
        if (!e->args.empty()) range = true;
        continue;
      }
      if (c.Name() != u"expr") continue;
      if (range) e->range_start.back() = true;
      range = false;
      e->args.push_back(CompileExpr(c));
      e->range_start.push_back(false);
    }
    return e;
  }

  // ---- designators ----

  struct Segment {
    QString name, pos;
    std::vector<const TksXMLItem*> args, indexes;
    // Where each bracket of `indexes` begins: x[1][2] is two groups, each
    // applied to what the one before gave; x[1, 2] is one.
    std::vector<size_t> groups;
    bool parens = false;
  };

  using Indexes = std::vector<const TksXMLItem*>;

  // In dialects that write chained brackets as one list, a list longer
  // than an index property takes goes on to index what it gives.
  void SplitAfterParams(const ScriptMethod& m, Indexes& first, Indexes& rest,
                        std::vector<size_t>& rest_groups) const {
    const size_t n = m.decl.params.size();
    if (!flat_brackets || !rest.empty() || n == 0 || first.size() <= n) return;
    rest.assign(first.begin() + static_cast<std::ptrdiff_t>(n), first.end());
    first.resize(n);
    rest_groups.clear();
  }

  // The indexes of the first bracket, and the rest with their groups.
  static Indexes FirstGroup(const Indexes& indexes, const std::vector<size_t>& groups,
                            Indexes* rest, std::vector<size_t>* rest_groups) {
    const size_t end = groups.size() > 1 ? groups[1] : indexes.size();
    rest->assign(indexes.begin() + static_cast<std::ptrdiff_t>(end), indexes.end());
    rest_groups->clear();
    for (size_t i = 1; i < groups.size(); ++i) rest_groups->push_back(groups[i] - end);
    return Indexes(indexes.begin(), indexes.begin() + static_cast<std::ptrdiff_t>(end));
  }

  static Segment NewSegment(const QString& name, const QString& pos) {
    Segment seg;
    seg.name = name;
    seg.pos = pos;
    return seg;
  }

  static std::vector<Segment> Segments(const TksXMLItem& dsgn) {
    std::vector<Segment> segs;
    bool index_mode = false;
    for (int i = 0; i < dsgn.Count(); ++i) {
      const TksXMLItem& c = *dsgn.Items(i);
      if (c.Name() == u"node") {
        const QString t = c.Prop(QStringLiteral("text"));
        if (segs.empty()) segs.push_back(NewSegment(QString(), Pos(c)));
        if (t == u"[") {
          index_mode = true;
          segs.back().groups.push_back(segs.back().indexes.size());
        } else if (t == u"(") {
          segs.back().parens = true;
          index_mode = false;
        } else if (segs.back().name.isEmpty()) {
          segs.back().name = t;
          segs.back().pos = Pos(c);
        } else {
          segs.push_back(NewSegment(t, Pos(c)));
          index_mode = false;
        }
      } else if (c.Name() == u"expr") {
        if (segs.empty()) segs.push_back(NewSegment(QString(), Pos(c)));
        if (index_mode) {
          segs.back().indexes.push_back(&c);
        } else {
          segs.back().args.push_back(&c);
          segs.back().parens = true;
        }
      }
    }
    return segs;
  }

  // The text an argument was written as, for macro routines; clamped to
  // the source, never outside it.
  QString SourceOf(const TksXMLItem& expr) const {
    auto parse = [](const QString& p, qsizetype& line, qsizetype& col) {
      const qsizetype colon = p.indexOf(u':');
      if (colon < 0) return false;
      bool ok1 = false, ok2 = false;
      line = p.left(colon).toLongLong(&ok1);
      col = p.mid(colon + 1).toLongLong(&ok2);
      return ok1 && ok2 && line >= 1 && col >= 1;
    };
    qsizetype l1, c1, l2, c2;
    if (!parse(Pos(expr), l1, c1) || !parse(expr.Prop(QStringLiteral("pos1")), l2, c2)) return {};
    static const QStringList no_text;
    const auto unit_text = unit_lines.constFind(Key(cur_unit));
    const QStringList& source = cur_unit.isEmpty()                   ? source_lines
                                : unit_text != unit_lines.constEnd() ? *unit_text
                                                                     : no_text;
    const qsizetype lines = source.size();
    if (l1 > lines || l2 < l1) return {};
    l2 = std::min(l2, lines);
    QString text;
    for (qsizetype l = l1; l <= l2; ++l) {
      const QString& line = source[l - 1];
      const qsizetype from = l == l1 ? std::min(c1 - 1, line.size()) : 0;
      const qsizetype to = l == l2 ? std::min(c2 - 1, line.size()) : line.size();
      if (l > l1) text += QStringLiteral("\r\n");
      if (to > from) text += line.mid(from, to - from);
    }
    return text.trimmed();
  }

  std::unique_ptr<Expr> VarExpr(bool local, int slot, const Decl* decl, const QString& pos) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kVar;
    e->slot = slot;
    e->local = local;
    e->decl = decl;
    e->type = decl->type;
    e->cls = decl->cls;
    e->pos = pos;
    return e;
  }

  const TksClassVariable* ClassOfType(ScriptVarType type, const QString& type_name) const {
    return type == ScriptVarType::kClass ? host.FindClass(type_name) : nullptr;
  }

  // The arguments of a registered routine, checked against its
  // declaration. Missing optional ones are filled when it is called.
  void HostArgs(const ScriptMethod& m, Expr& e, const std::vector<const TksXMLItem*>& args,
                const QString& pos) {
    const auto& params = m.decl.params;
    size_t required = 0;
    for (const auto& p : params)
      if (!p.optional) ++required;
    if (args.size() < required) Fail(Text("SNotEnoughParams", "Not enough actual parameters"), pos);
    if (args.size() > params.size())
      Fail(Text("STooManyParams", "Too many actual parameters"), pos);
    for (size_t i = 0; i < args.size(); ++i) {
      e.texts.push_back(SourceOf(*args[i]));
      if (m.decl.is_macro) {
        e.args.push_back(Constant(V::String(e.texts.back()), T::kString, Pos(*args[i])));
        continue;
      }
      auto a = CompileExpr(*args[i]);
      const ScriptParam& p = params[i];
      CheckAssignable(FromVarType(p.type), ClassOfType(p.type, p.type_name), *a);
      e.args.push_back(std::move(a));
    }
  }

  void LateArgs(Expr& e, const std::vector<const TksXMLItem*>& args) {
    for (const TksXMLItem* a : args) {
      e.texts.push_back(SourceOf(*a));
      e.args.push_back(CompileExpr(*a));
    }
  }

  void TypeFromMethod(Expr& e, const ScriptMethod& m) {
    e.type = FromVarType(m.decl.result_type);
    e.cls = ClassOfType(m.decl.result_type, m.decl.result_type_name);
  }

  // A member of a class-typed or Variant value.
  std::unique_ptr<Expr> Member(std::unique_ptr<Expr> base, const Segment& seg) {
    if (base->type == T::kString)
      Fail(Text("SStringError", "Strings doesn't have properties or methods"), seg.pos);
    const TksClassVariable* cls = nullptr;
    const ScriptMember* m = nullptr;
    if (base->type == T::kClass) {
      cls = base->cls;
      if (cls) {
        m = host.FindMember(cls, seg.name);
        if (!m) return OwnedComponent(*base, seg);
      }
    } else if (base->type != T::kVariant) {
      Fail(Text("SClassRequired", "Class type required"), seg.pos);
    }
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kMember;
    e->pos = seg.pos;
    e->name = seg.name;
    e->member = m;
    e->member_cls = cls;
    e->type = T::kVariant;
    const bool class_ref = base->kind == Expr::kClassRef;
    e->args.push_back(std::move(base));
    Indexes args = seg.args, indexes = seg.indexes;
    std::vector<size_t> groups = seg.groups;
    if (!m) {
      // Late bound: found by the object's class when it runs.
      if (args.empty() && !indexes.empty()) {
        e->late_index = true;
        Indexes rest;
        std::vector<size_t> rest_groups;
        args = FirstGroup(indexes, groups, &rest, &rest_groups);
        indexes.swap(rest);
        groups.swap(rest_groups);
      }
      LateArgs(*e, args);
    } else if (m->kind == ScriptMember::Kind::kMethod) {
      const ScriptMethod& meth = *m->method;
      if (meth.index_property) {
        if (indexes.empty()) {
          indexes.swap(args);
          groups.clear();
        }
        if (indexes.empty()) Fail(Text("SIndexRequired", "Index required"), seg.pos);
        Indexes rest;
        std::vector<size_t> rest_groups;
        Indexes first = FirstGroup(indexes, groups, &rest, &rest_groups);
        SplitAfterParams(meth, first, rest, rest_groups);
        HostArgs(meth, *e, first, seg.pos);
        indexes.swap(rest);
        groups.swap(rest_groups);
      } else {
        HostArgs(meth, *e, args, seg.pos);
      }
      TypeFromMethod(*e, meth);
      if (meth.decl.result_type == ScriptVarType::kConstructor) {
        e->type = T::kClass;
        e->cls = cls;
      }
    } else {
      // A property, or an event (a procedure's name as text).
      if (class_ref) Fail(Text("SClassRequired", "Class type required"), seg.pos);
      if (!args.empty()) Fail(Text("STooManyParams", "Too many actual parameters"), seg.pos);
      e->type = FromVarType(m->type);
      e->cls = ClassOfType(m->type, m->type_name);
    }
    if (!indexes.empty()) return IndexOn(std::move(e), indexes, seg.pos, groups);
    return e;
  }

  // The object an expression stands for while compiling, when it is
  // known then: a registered object, a form's component, or a component
  // found that way before. Null otherwise.
  static Persistent* KnownObject(const Expr& e) {
    switch (e.kind) {
      case Expr::kHostVar:
        return e.host ? e.host->ObjectPointer() : nullptr;
      case Expr::kConst:
        return e.constant.ObjectPointer();
      case Expr::kMember:
        return e.member && e.member->kind == ScriptMember::Kind::kComponent
                   ? ObjectFromHandle(e.member->component)
                   : nullptr;
      default:
        return nullptr;
    }
  }

  // `Page1.Memo1`: a name its class does not have, on an object known
  // while compiling, is the component that object owns under that name,
  // taken as a constant of its class. The handle stays checked: a
  // component freed before the statement runs is an error there.
  std::unique_ptr<Expr> OwnedComponent(const Expr& base, const Segment& seg) {
    Persistent* owner_object = KnownObject(base);
    Persistent* child = owner_object ? FindOwnedComponent(*owner_object, seg.name) : nullptr;
    if (!child) Fail(Named("SIdUndeclared", "Undeclared identifier: ", seg.name), seg.pos);
    if (!seg.args.empty()) Fail(Text("STooManyParams", "Too many actual parameters"), seg.pos);
    auto e = Constant(V::Object(child), T::kClass, seg.pos);
    e->cls = host.ClassOf(child->GetMetaClass());
    if (!seg.indexes.empty()) return IndexOn(std::move(e), seg.indexes, seg.pos, seg.groups);
    return e;
  }

  // An index on a value: a class's default property, a string's
  // character, an array's element. A default property takes the first
  // bracket; further brackets index what it gives.
  std::unique_ptr<Expr> IndexOn(std::unique_ptr<Expr> base, const Indexes& all_indexes,
                                const QString& pos, const std::vector<size_t>& groups = {}) {
    if (base->type == T::kClass) {
      Indexes rest;
      std::vector<size_t> rest_groups;
      Indexes indexes = FirstGroup(all_indexes, groups, &rest, &rest_groups);
      const TksClassVariable* cls = base->cls;
      const ScriptMember* d = cls ? host.DefaultProperty(cls) : nullptr;
      if (cls && !d)
        Fail(Text("SClassError", "Class %s does not have a default property")
                 .replace(QLatin1String("%s"), cls->Name()),
             pos);
      auto e = std::make_unique<Expr>();
      e->kind = Expr::kMember;
      e->pos = pos;
      e->member = d;
      e->member_cls = cls;
      e->index_set = true;
      e->type = T::kVariant;
      e->args.push_back(std::move(base));
      if (d) {
        e->name = d->name;
        SplitAfterParams(*d->method, indexes, rest, rest_groups);
        HostArgs(*d->method, *e, indexes, pos);
        TypeFromMethod(*e, *d->method);
      } else {
        LateArgs(*e, indexes);
      }
      if (!rest.empty()) return IndexOn(std::move(e), rest, pos, rest_groups);
      return e;
    }
    const Indexes& indexes = all_indexes;
    if (base->type != T::kString && base->type != T::kVariant && base->type != T::kArray)
      Fail(Text("SArrayRequired", "Array type required"), pos);
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kDynIndex;
    e->pos = pos;
    e->type = base->type == T::kString ? T::kString : T::kVariant;
    e->args.push_back(std::move(base));
    for (const TksXMLItem* ix : indexes) e->args.push_back(CompileExpr(*ix));
    return e;
  }

  // `new Class(args)`: the class's constructor Create.
  std::unique_ptr<Expr> NewObject(const TksXMLItem& item) {
    const TksXMLItem* dsgn = Child(item, u"dsgn");
    if (!dsgn) Fail(Text("SClassRequired", "Class type required"), Pos(item));
    std::vector<Segment> segs = Segments(*dsgn);
    const TksClassVariable* cls =
        segs.size() == 1 && segs[0].indexes.empty() ? host.FindClass(segs[0].name) : nullptr;
    if (!cls) Fail(Text("SClassRequired", "Class type required"), Pos(*dsgn));
    auto ref = std::make_unique<Expr>();
    ref->kind = Expr::kClassRef;
    ref->type = T::kClass;
    ref->cls = cls;
    ref->constant = V::String(cls->Name());
    ref->pos = segs[0].pos;
    Segment create = segs[0];
    create.name = QStringLiteral("Create");
    return Member(std::move(ref), create);
  }

  // `delete x`: the object's Free method.
  std::unique_ptr<Expr> FreeObject(const TksXMLItem& dsgn) {
    auto object = Designator(dsgn, false);
    if (object->type != T::kClass && object->type != T::kVariant)
      Fail(Text("SClassRequired", "Class type required"), object->pos);
    Segment free = NewSegment(QStringLiteral("Free"), object->pos);
    if (object->type == T::kVariant) {
      // Found by the object's class when it runs; TObject's when known.
      if (const TksClassVariable* root = host.FindClass(QStringLiteral("TObject"))) {
        if (!host.FindMember(root, free.name))
          Fail(Named("SIdUndeclared", "Undeclared identifier: ", free.name), object->pos);
      }
    }
    return Member(std::move(object), free);
  }

  // Whether `key` names something of the script or its host.
  bool Ordinary(const QString& key) const {
    if (scope && scope->names.contains(key)) return true;
    return global_names.contains(key) || routine_names.contains(key) || host.Find(key);
  }

  // A name inside `with` blocks: a member of the innermost object that
  // has one.
  std::unique_ptr<Expr> WithMember(const Segment& seg) {
    const QString key = Key(seg.name);
    for (auto it = with_list.rbegin(); it != with_list.rend(); ++it) {
      const Decl* d = it->decl;
      bool take = false;
      if (d->type == T::kClass && d->cls)
        take = host.FindMember(d->cls, seg.name) != nullptr;
      else if (d->type == T::kVariant || d->type == T::kClass)
        take = !Ordinary(key);
      if (take) return Member(VarExpr(it->local, it->slot, d, seg.pos), seg);
    }
    return nullptr;
  }

  std::unique_ptr<Expr> Designator(const TksXMLItem& dsgn, bool assign_target) {
    std::vector<Segment> segs = Segments(dsgn);
    if (segs.empty() || segs[0].name.isEmpty())
      Fail(Text("SExpressionExpected", "Expression expected"), Pos(dsgn));
    for (int i = 0; i < dsgn.Count(); ++i) {
      if (dsgn.Items(i)->Name() != u"addr") continue;
      // The address of a routine is its name, what event properties take.
      const Segment& seg = segs[0];
      Routine* r = routine_names.value(Key(seg.name));
      if (!r || segs.size() > 1 || !seg.args.empty() || !seg.indexes.empty())
        Fail(Text("SVarRequired", "Variable required"), seg.pos);
      return Constant(V::String(r->name), T::kString, seg.pos);
    }
    std::unique_ptr<Expr> e;
    if (!with_list.empty()) e = WithMember(segs[0]);
    if (!e) e = First(segs[0], assign_target && segs.size() == 1);
    for (size_t i = 1; i < segs.size(); ++i) e = Member(std::move(e), segs[i]);
    return e;
  }

  // The first name of a designator with its arguments or indexes.
  std::unique_ptr<Expr> First(const Segment& seg, bool assign_target) {
    const QString& name = seg.name;
    const QString& pos = seg.pos;
    std::vector<const TksXMLItem*> args = seg.args, indexes = seg.indexes;
    // Indexes written as arguments (x(0)) are one group.
    const std::vector<size_t> groups = indexes.empty() ? std::vector<size_t>{} : seg.groups;
    const bool has_parens = seg.parens;
    const QString key = Key(name);
    auto e = std::make_unique<Expr>();
    e->pos = pos;
    // Variables: the routine's, then the program's.
    int slot = -1;
    bool local = false;
    const Decl* decl = nullptr;
    if (scope) {
      auto it = scope->names.constFind(key);
      if (it != scope->names.constEnd()) {
        slot = *it;
        local = true;
        decl = &scope->locals[static_cast<size_t>(slot)];
      } else if (assign_target && key == Key(scope->name) && scope->is_function) {
        slot = scope->result_slot;
        local = true;
        decl = &scope->locals[static_cast<size_t>(slot)];
      }
    }
    if (slot < 0) {
      auto it = global_names.constFind(key);
      if (it != global_names.constEnd()) {
        slot = *it;
        decl = &globals[static_cast<size_t>(slot)];
      }
    }
    if (slot >= 0) {
      if (!args.empty() && indexes.empty()) {
        indexes = args;
        args.clear();
      }
      e = VarExpr(local, slot, decl, pos);
      if (!indexes.empty()) {
        if (decl->type == T::kClass) return IndexOn(std::move(e), indexes, pos, groups);
        e->kind = Expr::kIndex;
        if (decl->type == T::kArray)
          e->type = decl->element;
        else if (decl->type == T::kString)
          e->type = T::kString;
        else if (decl->type == T::kVariant)
          e->type = T::kVariant;
        else
          Fail(Text("SArrayRequired", "Array type required"), pos);
        e->groups = groups;
        for (auto* ix : indexes) e->args.push_back(CompileExpr(*ix));
      }
      return e;
    }
    if (Routine* r = routine_names.value(key)) {
      if (!indexes.empty()) Fail(Text("SArrayRequired", "Array type required"), pos);
      e->kind = Expr::kCall;
      e->routine = r;
      e->type = r->is_function ? r->result : T::kVariant;
      e->cls = r->is_function ? r->result_cls : nullptr;
      size_t required = 0;
      for (const auto& p : r->params)
        if (!p.def) ++required;
      if (args.size() < required)
        Fail(Text("SNotEnoughParams", "Not enough actual parameters"), pos);
      if (args.size() > r->params.size())
        Fail(Text("STooManyParams", "Too many actual parameters"), pos);
      for (size_t i = 0; i < args.size(); ++i) {
        auto a = CompileExpr(*args[i]);
        const Param& p = r->params[i];
        CheckAssignable(p.type, p.cls, *a);
        e->args.push_back(std::move(a));
      }
      return e;
    }
    if (indexes.empty() && args.empty() && !has_parens) {
      if (key == u"true") return Constant(V::Bool(true), T::kBoolean, pos);
      if (key == u"false") return Constant(V::Bool(false), T::kBoolean, pos);
      if (key == u"null") return Constant(V::Null(), T::kVariant, pos);
      if (key == u"nil" || key == u"nothing") return Constant(V::Null(), T::kVariant, pos);
      if (key == u"exceptionmessage" || key == u"exceptionclassname") {
        e->kind = key == u"exceptionmessage" ? Expr::kExcMessage : Expr::kExcClass;
        e->type = T::kString;
        return e;
      }
    }
    if (ScriptItem* item = host.Find(key)) {
      switch (item->kind) {
        case ScriptItem::Kind::kVariable:
          e->kind = Expr::kHostVar;
          e->host = &item->value;
          e->type = FromVarType(item->type);
          e->cls = ClassOfType(item->type, item->type_name);
          if (!args.empty() && indexes.empty()) indexes.swap(args);
          if (!indexes.empty()) return IndexOn(std::move(e), indexes, pos, groups);
          return e;
        case ScriptItem::Kind::kConst: {
          if (!args.empty() || !indexes.empty())
            Fail(Text("SArrayRequired", "Array type required"), pos);
          auto c = Constant(item->value, FromVarType(item->type), pos);
          return c;
        }
        case ScriptItem::Kind::kMethod:
          e->kind = Expr::kHostCall;
          e->method = item->method.get();
          e->name = item->name;
          HostArgs(*e->method, *e, args, pos);
          TypeFromMethod(*e, *e->method);
          if (!indexes.empty()) return IndexOn(std::move(e), indexes, pos, groups);
          return e;
        case ScriptItem::Kind::kClass:
        case ScriptItem::Kind::kType:
          if (args.size() > 1) Fail(Text("STooManyParams", "Too many actual parameters"), pos);
          if (item->kind == ScriptItem::Kind::kClass) {
            e->type = T::kClass;
            e->cls = item->cls.get();
          } else {
            e->type = FromVarType(item->type);
          }
          if (args.empty()) {
            if (item->kind == ScriptItem::Kind::kType)
              Fail(Named("SIdUndeclared", "Undeclared identifier: ", name), pos);
            e->kind = Expr::kClassRef;
            e->constant = V::String(item->name);
            return e;
          }
          e->kind = Expr::kCast;
          e->args.push_back(CompileExpr(*args[0]));
          if (!indexes.empty()) return IndexOn(std::move(e), indexes, pos, groups);
          return e;
      }
    }
    if (owner.resolve_name_ && args.empty() && indexes.empty() && !has_parens) {
      // Report expressions name data fields and variables that exist only
      // while the report runs.
      e->kind = Expr::kHostName;
      e->name = name;
      e->type = T::kVariant;
      return e;
    }
    if (!declare_vars && args.empty() && !has_parens) {
      // Dialects without declarations make the name a program variable.
      Routine* saved = scope;
      scope = nullptr;
      Decl d;
      d.name = name;
      const int gslot = AddVar(std::move(d), pos);
      scope = saved;
      e->kind = indexes.empty() ? Expr::kVar : Expr::kIndex;
      e->slot = gslot;
      e->decl = &globals[static_cast<size_t>(gslot)];
      e->type = T::kVariant;
      for (auto* ix : indexes) e->args.push_back(CompileExpr(*ix));
      return e;
    }
    Fail(Named("SIdUndeclared", "Undeclared identifier: ", name), pos);
  }

  static bool Writable(const Expr& e) {
    if (e.kind == Expr::kHostVar) return true;
    // A member found only at run time is checked there.
    if (e.kind == Expr::kMember) return !e.member || !e.member->ReadOnly();
    return (e.kind == Expr::kVar || e.kind == Expr::kIndex) && e.decl && !e.decl->is_const;
  }

  // ---- statements ----

  void CompileList(const TksXMLItem& parent, Stmts& out, int from = 0, int to = -1) {
    if (to < 0) to = parent.Count();
    for (int i = from; i < to; ++i) CompileStmt(*parent.Items(i), out);
  }

  static const TksXMLItem* Child(const TksXMLItem& item, const char16_t* name) {
    for (int i = 0; i < item.Count(); ++i)
      if (item.Items(i)->Name() == name) return item.Items(i);
    return nullptr;
  }

  std::unique_ptr<Expr> Condition(const TksXMLItem& item) {
    const TksXMLItem* expr = Child(item, u"expr");
    if (!expr) Fail(Text("SExpressionExpected", "Expression expected"), Pos(item));
    auto e = CompileExpr(*expr);
    if (e->type != T::kBoolean && e->type != T::kVariant && !Numeric(e->type))
      Incompatible(T::kBoolean, e->type, e->pos);
    return e;
  }

  void CompileStmt(const TksXMLItem& item, Stmts& out) {
    const QString& n = item.Name();
    auto s = std::make_unique<Stmt>();
    s->pos = Pos(item);
    s->unit = cur_unit;
    if (n == u"procedure" || n == u"function" || n == u"types" || n == u"uses" || n == u"const") {
      if (n == u"const" && InRoutine(item) && !var_slots.count(&item)) {
        // constants of a routine are declared with its variables
      }
      return;
    }
    if (n == u"compoundstmt" || n == u"thenstmt" || n == u"elsestmt") {
      CompileList(item, out);
      return;
    }
    if (n == u"var") {
      auto it = var_slots.find(&item);
      if (it == var_slots.end()) return;
      s->kind = Stmt::kInit;
      s->quiet = true;
      for (size_t k = 0; k < it->second.size(); ++k) {
        s->inits.emplace_back(scope != nullptr && InRoutine(item), it->second[k]);
        s->init_values.push_back(InitExpr(item, k));
        if (s->init_values.back()) s->quiet = false;
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"assignstmt") {
      if (item.Count() == 1 && item.Items(0)->Name() == u"assignstmt") {
        CompileStmt(*item.Items(0), out);
        return;
      }
      s->kind = Stmt::kAssign;
      const TksXMLItem* target = Child(item, u"dsgn");
      const TksXMLItem* value = Child(item, u"expr");
      if (!target || !value) Fail(Text("SStatementExpected", "Statement expected"), s->pos);
      s->target = Designator(*target, true);
      if (!Writable(*s->target))
        Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), s->target->pos);
      if (const TksXMLItem* m = Child(item, u"modificator"))
        s->modifier = OpFromText(m->Prop(QStringLiteral("text")));
      s->e1 = CompileExpr(*value);
      if (s->modifier == kNoOp)
        CheckAssignable(s->target->type, s->target->cls, *s->e1);
      else
        CheckCompound(*s);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"delete") {
      const TksXMLItem* d = Child(item, u"dsgn");
      if (!d) Fail(Text("SClassRequired", "Class type required"), s->pos);
      s->kind = Stmt::kCall;
      s->e1 = FreeObject(*d);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"callstmt") {
      const TksXMLItem* d = Child(item, u"dsgn");
      if (!d) return;
      if (const TksXMLItem* m = Child(item, u"modificator")) {
        s->kind = Stmt::kAssign;
        s->target = Designator(*d, true);
        if (!Writable(*s->target))
          Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), s->pos);
        s->modifier = OpFromText(m->Prop(QStringLiteral("text")));
        s->e1 = Constant(V::Int(1), T::kInteger, s->pos);
        CheckCompound(*s);
      } else {
        s->kind = Stmt::kCall;
        s->e1 = Designator(*d, false);
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"ifstmt") {
      s->kind = Stmt::kIf;
      s->e1 = Condition(item);
      if (auto* t = Child(item, u"thenstmt")) CompileList(*t, s->body);
      if (auto* e = Child(item, u"elsestmt")) CompileList(*e, s->body2);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"whilestmt" || n == u"repeatstmt") {
      s->kind = n == u"whilestmt" ? Stmt::kWhile : Stmt::kRepeat;
      s->e1 = Condition(item);
      s->flag = Child(item, u"inverse") != nullptr;
      const TksXMLItem* cond = Child(item, u"expr");
      for (int i = 0; i < item.Count(); ++i) {
        const TksXMLItem* c = item.Items(i);
        if (c != cond && c->Name() != u"inverse") CompileStmt(*c, s->body);
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"forstmt" || n == u"vbforstmt") {
      s->kind = n == u"forstmt" ? Stmt::kFor : Stmt::kVbFor;
      const TksXMLItem* ident = Child(item, u"ident");
      if (!ident) Fail(Text("SStatementExpected", "Statement expected"), s->pos);
      TksXMLItem fake;
      fake.SetProp(QStringLiteral("pos"), Pos(*ident));
      TksXMLItem* node = fake.Add();
      node->SetName(QStringLiteral("node"));
      node->SetProp(QStringLiteral("text"), ident->Prop(QStringLiteral("text")));
      node->SetProp(QStringLiteral("pos"), Pos(*ident));
      s->target = Designator(fake, true);
      if (s->target->kind != Expr::kVar || !Writable(*s->target) || !Numeric(s->target->type))
        Fail(Text("SForError", "For loop variable must be numeric variable"), Pos(*ident));
      std::vector<const TksXMLItem*> exprs;
      int first_body = -1;
      for (int i = 0; i < item.Count(); ++i) {
        const TksXMLItem& c = *item.Items(i);
        if (c.Name() == u"expr" && first_body < 0 &&
            exprs.size() < (s->kind == Stmt::kFor ? 2u : 3u))
          exprs.push_back(&c);
        else if (c.Name() == u"downto")
          s->flag = true;
        else if (c.Name() != u"ident" && first_body < 0 && (exprs.size() >= 2))
          first_body = i;
      }
      if (exprs.size() < 2) Fail(Text("SExpressionExpected", "Expression expected"), s->pos);
      s->e1 = CompileExpr(*exprs[0]);
      s->e2 = CompileExpr(*exprs[1]);
      if (exprs.size() > 2) s->e3 = CompileExpr(*exprs[2]);
      for (auto* e : {s->e1.get(), s->e2.get(), s->e3.get()})
        if (e && !Numeric(e->type)) Incompatible(s->target->type, e->type, e->pos);
      if (first_body >= 0) CompileList(item, s->body, first_body);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"cppforstmt") {
      s->kind = Stmt::kCppFor;
      int cond = -1;
      for (int i = 0; i < item.Count(); ++i)
        if (item.Items(i)->Name() == u"expr") {
          cond = i;
          break;
        }
      if (cond < 0) {
        // No condition: everything is the body.
        CompileList(item, s->body);
      } else {
        CompileList(item, s->body2, 0, cond);  // initial statements
        s->e1 = Condition(item);
        if (cond + 1 < item.Count()) CompileStmt(*item.Items(cond + 1), s->body3);
        CompileList(item, s->body, std::min(cond + 2, item.Count()));
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"casestmt") {
      s->kind = Stmt::kCase;
      s->e1 = Condition(item);
      const TksXMLItem* sel = Child(item, u"expr");
      for (int i = 0; i < item.Count(); ++i) {
        const TksXMLItem& c = *item.Items(i);
        if (&c == sel) continue;
        if (c.Name() == u"caseselector") {
          Selector selector;
          for (int j = 0; j < c.Count(); ++j) {
            const TksXMLItem& part = *c.Items(j);
            if (part.Name() == u"set") {
              auto set = SetExpr(part);
              selector.labels = std::move(set->args);
              selector.range_start = set->range_start;
            } else {
              CompileStmt(part, selector.body);
            }
          }
          s->selectors.push_back(std::move(selector));
        } else {
          CompileStmt(c, s->body);
        }
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"trystmt") {
      const TksXMLItem* handler = Child(item, u"exceptstmt");
      s->kind = handler ? Stmt::kTryExcept : Stmt::kTryFinally;
      if (!handler) handler = Child(item, u"finallystmt");
      for (int i = 0; i < item.Count(); ++i)
        if (item.Items(i) != handler) CompileStmt(*item.Items(i), s->body);
      if (handler) CompileList(*handler, s->body2);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"break" || n == u"continue" || n == u"exit") {
      s->kind = n == u"break" ? Stmt::kBreak : n == u"continue" ? Stmt::kContinue : Stmt::kExit;
      out.push_back(std::move(s));
      return;
    }
    if (n == u"return") {
      s->kind = Stmt::kReturn;
      if (const TksXMLItem* e = Child(item, u"expr")) {
        if (!scope || scope->result_slot < 0) {
          if (scope) Fail(Text("SNoResult", "A procedure has no result"), s->pos);
        } else {
          s->e1 = CompileExpr(*e);
          if (!Assignable(scope->result, s->e1->type))
            Incompatible(scope->result, s->e1->type, s->e1->pos);
        }
      }
      out.push_back(std::move(s));
      return;
    }
    if (n == u"with") {
      s->kind = Stmt::kWith;
      size_t pushed = 0;
      for (int i = 0; i < item.Count(); ++i) {
        const TksXMLItem& c = *item.Items(i);
        if (c.Name() == u"dsgn") {
          auto d = Designator(c, false);
          if (d->type != T::kVariant && d->type != T::kClass)
            Fail(Text("SClassRequired", "Class type required"), d->pos);
          // The object lives in a hidden variable for the block.
          Decl hidden;
          do {
            hidden.name = QStringLiteral("_WithList_%1").arg(++with_count);
          } while (Ordinary(Key(hidden.name)));
          hidden.type = d->type;
          hidden.cls = d->cls;
          const bool local = LocalScope();
          const int slot = AddVar(std::move(hidden), d->pos);
          const Decl* decl = local ? &scope->locals[static_cast<size_t>(slot)]
                                   : &globals[static_cast<size_t>(slot)];
          with_list.push_back({local, slot, decl});
          ++pushed;
          s->inits.emplace_back(local, slot);
          s->init_values.push_back(std::move(d));
        } else {
          CompileStmt(c, s->body);
        }
      }
      with_list.resize(with_list.size() - pushed);
      out.push_back(std::move(s));
      return;
    }
    if (n == u"inverse" || n == u"downto" || n == u"modificator") return;
    Fail(Text("SStatementExpected", "Statement expected"), s->pos);
  }

  // ---- run ------------------------------------------------------------------

  V& Ref(bool local, int slot) {
    if (local) return frames.back()->cells[static_cast<size_t>(slot)].Get();
    return global_slots[static_cast<size_t>(slot)].Get();
  }

  qint64 FlatIndex(const Expr& e, const ScriptArray& a) { return FlatIndexFrom(e, 0, a); }

  // The element the index arguments from `first` on name.
  // `end`: one past the last index argument (all of them by default).
  qint64 FlatIndexFrom(const Expr& e, size_t first, const ScriptArray& a, size_t end = SIZE_MAX) {
    end = std::min(end, e.args.size());
    if (end - first != a.low.size() || a.low.size() != a.high.size())
      Fail(Text("SIndexCount", "Wrong number of indexes"), e.pos);
    qint64 flat = 0;
    for (size_t i = 0; i < a.low.size(); ++i) {
      const qint64 ix = Eval(*e.args[first + i]).ToInt64();
      if (ix < a.low[i] || ix > a.high[i])
        Fail(Text("rsScriptRangeError", "Index out of range: %1").arg(ix), e.pos, "ERangeError");
      flat = flat * (a.high[i] - a.low[i] + 1) + (ix - a.low[i]);
    }
    if (flat < 0 || static_cast<size_t>(flat) >= a.items.size())
      Fail(Text("rsScriptRangeError", "Index out of range: %1").arg(flat), e.pos, "ERangeError");
    return flat;
  }

  // `for_write`: the element is about to change, so an array the variable
  // shares (with a host function's argument, or what a host kept of it)
  // is copied first; the other holders keep it as it was.
  V& ElementRef(const Expr& e, bool for_write = false) {
    V& base = Ref(e.local, e.slot);
    if (base.kind() != K::kArray)
      Fail(Text("SArrayRequired", "Array type required"), e.pos, "EVariantError");
    if (for_write && !base.OwnsArray()) base = base.Detached();
    ScriptArray& a = *base.array();
    return a.items[static_cast<size_t>(FlatIndex(e, a))];
  }

  qint64 StringIndex(const Expr& e, const QString& s) {
    if (e.args.size() != 1) Fail(Text("SIndexCount", "Wrong number of indexes"), e.pos);
    const qint64 ix = Eval(*e.args[0]).ToInt64();
    if (ix < 1 || ix > s.size())
      Fail(Text("rsScriptRangeError", "Index out of range: %1").arg(ix), e.pos, "ERangeError");
    return ix - 1;
  }

  V Read(const Expr& e) {
    V& base = Ref(e.local, e.slot);
    if (e.kind == Expr::kVar) return base;
    if (base.kind() == K::kObject) {
      // A Variant holding an object: its default property takes the first
      // bracket, and each further bracket indexes what the one before gave.
      V value = base;
      for (size_t g = 0; g < std::max<size_t>(e.groups.size(), 1); ++g) {
        const size_t from = g < e.groups.size() ? e.groups[g] : 0;
        const size_t to = g + 1 < e.groups.size() ? e.groups[g + 1] : e.args.size();
        value = IndexValue(value, e, from, to);
      }
      return value;
    }
    if (base.kind() == K::kString) {
      const QString s = base.ToString();
      return V::String(QString(s[static_cast<qsizetype>(StringIndex(e, s))]));
    }
    return ElementRef(e);
  }

  // `temporary`: `value` dies after the call, so an array nothing else
  // holds moves into a variable instead of being copied.
  void Write(const Expr& e, const V& value, bool temporary = false) {
    if (e.kind == Expr::kHostVar) {
      *e.host = Coerce(e.type, value);
      return;
    }
    if (e.kind == Expr::kMember) {
      EvalMember(e, &value);
      return;
    }
    const Decl& d = *e.decl;
    V& base = Ref(e.local, e.slot);
    if (e.kind == Expr::kVar) {
      if (d.type == T::kArray && value.kind() != K::kArray)
        Fail(Text("SArrayRequired", "Array type required"), e.pos, "EVariantError");
      const bool keep = d.type == T::kArray || d.type == T::kVariant;
      base = temporary && keep && value.kind() == K::kArray && value.Unshared()
                 ? value
                 : Coerce(d.type, value);
      return;
    }
    if (base.kind() == K::kString) {
      QString s = base.ToString();
      const qint64 ix = StringIndex(e, s);
      const QString c = value.ToString();
      if (c.size() != 1)
        Fail(Text("SCharExpected", "A single character expected"), e.pos, "EConvertError");
      s[static_cast<qsizetype>(ix)] = c[0];
      base = V::String(s);
      return;
    }
    if (base.kind() == K::kObject) {
      // A Variant holding an object: the earlier brackets read through
      // default properties, the last one writes the default property of
      // what they gave.
      V target = base;
      const size_t groups = std::max<size_t>(e.groups.size(), 1);
      for (size_t g = 0; g + 1 < groups; ++g)
        target = IndexValue(target, e, e.groups[g], e.groups[g + 1]);
      const size_t from = e.groups.empty() ? 0 : e.groups[groups - 1];
      WriteDefaultProperty(target, e, from, value);
      return;
    }
    V element = Coerce(d.type == T::kArray ? d.element : T::kVariant, value);
    ElementRef(e, true) = std::move(element);
  }

  void WriteDefaultProperty(const V& target, const Expr& e, size_t first, const V& value) {
    if (target.kind() != K::kObject)
      Fail(Text("SArrayRequired", "Array type required"), e.pos, "EVariantError");
    DefaultProperty(target, e, first, SIZE_MAX, &value);
  }

  // The default property of the object `target` stands for, read or (with
  // `set_value`) written with the arguments of `e` from `first` to `end`.
  V DefaultProperty(const V& target, const Expr& e, size_t first, size_t end, const V* set_value) {
    const V instance = ToObjectValue(target);
    const Persistent* p = instance.ObjectPointer();
    if (!p) InvalidObject(instance);
    const TksClassVariable* own = host.ClassOf(p->GetMetaClass());
    const ScriptMember* d = own ? host.DefaultProperty(own) : nullptr;
    if (!d)
      Fail(Text("SClassError", "Class %s does not have a default property")
               .replace(QLatin1String("%s"), own ? own->Name() : p->GetMetaClass().ClassName()),
           e.pos);
    if (set_value && d->method->read_only)
      Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), e.pos);
    const QString name = d->method->decl.name.toUpper() + (set_value ? ".SET" : ".GET");
    return CallHost(*d->method, instance, own->Name(), name, e, first, set_value, end);
  }

  bool InSet(const V& x, const Expr& set) {
    for (size_t i = 0; i < set.args.size(); ++i) {
      const V lo = Eval(*set.args[i]);
      if (set.range_start[i] && i + 1 < set.args.size()) {
        const V hi = Eval(*set.args[++i]);
        if (Relation(kGe, x, lo) && Relation(kLe, x, hi)) return true;
      } else if (Relation(kEq, x, lo)) {
        return true;
      }
    }
    return false;
  }

  // ---- host calls and members ----

  // A set parameter (an enumeration type) takes a set constructor as it
  // is, "[mbYes, mbNo]"; the handler reads the members.
  //
  // Arrays are passed shared, not copied: handlers only read them (a
  // by-reference result is a new value, ScriptMethodCall::SetArg), and the
  // script's own writes copy an array before they change it (ElementRef).
  static V HostArgument(const ScriptParam& p, const V& value) {
    if (value.kind() == K::kArray &&
        (p.type == ScriptVarType::kEnum || p.type == ScriptVarType::kVariant ||
         p.type == ScriptVarType::kArray))
      return value;
    // "Integer" in a host declaration is any integer: the handler picks
    // the width it reads, so 64-bit values (Int64 variables, Round's
    // results) arrive whole.
    if (p.type == ScriptVarType::kInt) return V::Integer(value.ToInt64());
    return Coerce(FromVarType(p.type), value);
  }

  // The arguments are those of `e` from `first` to `end` (all by default).
  V CallHost(const ScriptMethod& m, const V& instance, const QString& class_name,
             const QString& method_name, const Expr& e, size_t first, const V* set_value,
             size_t end = SIZE_MAX) {
    const auto& params = m.decl.params;
    const size_t given = std::min(end, e.args.size()) - first;
    if (given > params.size()) Fail(Text("STooManyParams", "Too many actual parameters"), e.pos);
    // All arguments are taken before the call, by-reference ones written
    // back after it.
    std::vector<V> values;
    values.reserve(params.size() + 1);
    for (size_t i = 0; i < params.size(); ++i) {
      const ScriptParam& p = params[i];
      if (i < given) {
        if (m.decl.is_macro)
          values.push_back(V::String(i < e.texts.size() ? e.texts[i] : QString()));
        else
          values.push_back(HostArgument(p, Eval(*e.args[first + i])));
      } else if (p.optional) {
        values.push_back(p.default_value);
      } else {
        Fail(Text("SNotEnoughParams", "Not enough actual parameters"), e.pos);
      }
    }
    if (set_value) values.push_back(*set_value);
    V result = V::Int(0);
    if (m.handler) {
      ScriptMethodCall call{instance, class_name, method_name, values, &owner};
      result = m.handler(call);
    }
    for (size_t i = 0; i < given && i < params.size(); ++i) {
      const Expr& arg = *e.args[first + i];
      if (params[i].by_ref && !m.decl.is_macro && Writable(arg)) Write(arg, values[i]);
    }
    return result;
  }

  [[noreturn]] static void NoMember(const QString& name, const QString& pos) {
    Fail(Named("SIdUndeclared", "Undeclared identifier: ", name), pos);
  }

  // Reads a member of an object (or, with `set_value`, writes it). The
  // member is looked up again for each class of object the expression
  // meets, so a designator shared by objects of several classes reaches
  // each one's own member.
  V EvalMember(const Expr& e, const V* set_value) {
    const Expr& base = *e.args[0];
    V instance = V::Null();
    const ScriptMember* m = e.member;
    const TksClassVariable* cls = e.member_cls;
    if (base.kind != Expr::kClassRef) {
      const V value = Eval(base);
      if (value.kind() == K::kString)
        Fail(Text("SStringError", "Strings doesn't have properties or methods"), e.pos);
      instance = ToObjectValue(value);
      const Persistent* p = instance.ObjectPointer();
      if (!p) InvalidObject(instance);
      const MetaClass& meta = p->GetMetaClass();
      if (e.seen_meta != &meta) {
        const TksClassVariable* own = host.ClassOf(meta);
        const ScriptMember* found = nullptr;
        if (own) found = e.index_set ? host.DefaultProperty(own) : host.FindMember(own, e.name);
        if (!found) {
          found = e.member;
          own = e.member_cls;
        }
        if (!found) {
          if (e.index_set && own)
            Fail(Text("SClassError", "Class %s does not have a default property")
                     .replace(QLatin1String("%s"), own->Name()),
                 e.pos);
          NoMember(e.name.isEmpty() ? meta.ClassName() : e.name, e.pos);
        }
        e.seen_meta = &meta;
        e.seen_member = found;
        e.seen_cls = own;
      }
      m = e.seen_member;
      cls = e.seen_cls;
    }
    if (!m) NoMember(e.name, e.pos);
    const QString class_name = cls ? cls->Name() : QString();
    if (m->kind == ScriptMember::Kind::kMethod) {
      const ScriptMethod& meth = *m->method;
      if (set_value && (!meth.index_property || meth.read_only))
        Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), e.pos);
      QString name = meth.decl.name.toUpper();
      if (meth.index_property) name += set_value ? QStringLiteral(".SET") : QStringLiteral(".GET");
      const V result = CallHost(meth, instance, class_name, name, e, 1, set_value);
      return set_value ? V() : result;
    }
    if (base.kind == Expr::kClassRef) NoMember(e.name, e.pos);
    if (e.late_index) {
      // v.Text[1]: only an index property takes the index itself; any
      // other member gives its value to be indexed.
      if (set_value) Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), e.pos);
      V value = V::String(QString());
      if (m->kind == ScriptMember::Kind::kComponent) {
        if (!ObjectFromHandle(m->component)) InvalidObject(V::Int64(m->component));
        value = V::FromHandle(m->component);
      } else if (m->kind == ScriptMember::Kind::kProperty) {
        value = ReadProperty(*m, instance, class_name, e.pos);
      }
      return IndexValue(value, e, 1);
    }
    if (m->kind == ScriptMember::Kind::kComponent) {
      if (set_value) Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), e.pos);
      if (!ObjectFromHandle(m->component)) InvalidObject(V::Int64(m->component));
      return V::FromHandle(m->component);
    }
    if (m->kind == ScriptMember::Kind::kEvent) {
      if (!set_value) return V::String(QString());
      AssignEvent(*m, instance, *set_value, e.pos);
      return V();
    }
    if (e.args.size() > 1) Fail(Text("STooManyParams", "Too many actual parameters"), e.pos);
    if (set_value) {
      WriteProperty(*m, instance, class_name, *set_value, e.pos);
      return V();
    }
    return ReadProperty(*m, instance, class_name, e.pos);
  }

  void AssignEvent(const ScriptMember& m, const V& instance, const V& value, const QString& pos) {
    Persistent* p = instance.ObjectPointer();
    if (!p) InvalidObject(instance);
    if (!m.attach) Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), pos);
    const QString text = value.ToString();
    Routine* r = nullptr;
    if (!text.isEmpty() && text != u"0") {
      r = routine_names.value(Key(text));
      if (!r) Fail(Text("SEventError", "Event handler must be a procedure"), pos);
    }
    // One handler per object and event: a new assignment replaces the old.
    const auto key = std::make_pair(instance.handle(), &m);
    auto old = bridges.find(key);
    if (old != bridges.end()) {
      old->second.state->impl = nullptr;
      bridges.erase(old);
    }
    if (!r) {
      m.attach(*p, {});
      return;
    }
    auto state = std::make_shared<Bridge>(Bridge{this, r, m.event});
    std::weak_ptr<Bridge> weak = state;
    m.attach(*p, [weak](std::vector<V>& args) {
      if (auto s = weak.lock())
        if (s->impl) s->impl->Fire(*s, args);
    });
    bridges[key] = {state, &m, instance.handle()};
  }

  void DetachEvents() {
    auto list = std::move(bridges);
    bridges.clear();
    for (auto& [key, entry] : list) {
      entry.state->impl = nullptr;
      if (Persistent* p = ObjectFromHandle(entry.handle)) entry.member->attach(*p, {});
    }
  }

  // Runs the procedure of a fired event; by-reference parameters go back
  // into `args`.
  void Fire(const Bridge& bridge, std::vector<V>& args) {
    std::vector<V> given = args;
    const bool key_press = bridge.kind == ScriptEventKind::kKeyPress && given.size() > 1;
    if (key_press) given[1] = V::String(QString(QChar(static_cast<char16_t>(given[1].ToInt32()))));
    if (given.size() > bridge.routine->params.size()) given.resize(bridge.routine->params.size());
    const char here = 0;
    EnterStack(entries, stack_base, reinterpret_cast<std::uintptr_t>(&here));
    struct Leave {
      Impl& impl;
      ~Leave() { LeaveStack(impl.entries, impl.stack_base); }
    } leave{*this};
    Call(*bridge.routine, nullptr, &given);
    for (size_t i = 0; i < given.size() && i < args.size(); ++i)
      if (bridge.routine->params[i].by_ref) args[i] = given[i];
    if (key_press) {
      // The script may have emptied the key: that is no key, not a read
      // past the end.
      const V& key = args[1];
      if (key.kind() == K::kString) {
        const QString s = key.ToString();
        args[1] = V::Int(s.isEmpty() ? 0 : s[0].unicode());
      }
    }
  }

  // The object a published property is read from: one of the class that
  // declares it, or the call would reach into an object of another type.
  static Persistent& Holder(const ScriptMember& m, const V& instance, const QString& pos) {
    Persistent* p = instance.ObjectPointer();
    if (!p) InvalidObject(instance);
    const MetaClass* declared = m.published->declared_in;
    if (declared && !p->GetMetaClass().InheritsFrom(*declared)) NoMember(m.name, pos);
    return *p;
  }

  V ReadProperty(const ScriptMember& m, const V& instance, const QString& class_name,
                 const QString& pos) {
    if (m.published) {
      const PropertyInfo& info = *m.published;
      Persistent& p = Holder(m, instance, pos);
      if (info.kind == PropertyKind::kObject && info.object) return V::Object(info.object(p));
      if (!info.get) return V::Null();
      const PropertyValue v = info.get(p);
      switch (info.kind) {
        case PropertyKind::kChar:
          return V::String(QString(QChar(static_cast<char16_t>(ToInt(v)))));
        case PropertyKind::kEnumeration:
          if (m.type == ScriptVarType::kBool) return V::Bool(ToInt(v) != 0);
          return V::Integer(ToInt(v));
        case PropertyKind::kFloat:
          return V::Float(ToDouble(v));
        case PropertyKind::kString:
        case PropertyKind::kStringList:
        case PropertyKind::kWideStringList:
          return V::String(ToText(v));
        case PropertyKind::kVariant:
          return V::FromQVariant(ToVariant(v));
        case PropertyKind::kObject:
        case PropertyKind::kReference:
          return V::Object(ToObject(v));
        case PropertyKind::kMethod:
          return V::Null();
        default:
          return V::Integer(ToInt(v));
      }
    }
    if (!m.getter) return V::Null();
    std::vector<V> none;
    ScriptMethodCall call{instance, class_name, m.name.toUpper(), none, &owner};
    V v = m.getter(call);
    if (m.type == ScriptVarType::kBool && v.IsIntegral()) v = V::Bool(v.ToInt64() != 0);
    return v;
  }

  void WriteProperty(const ScriptMember& m, const V& instance, const QString& class_name,
                     const V& value, const QString& pos) {
    if (m.ReadOnly()) Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), pos);
    if (!m.published) {
      std::vector<V> none;
      ScriptMethodCall call{instance, class_name, m.name.toUpper(), none, &owner};
      m.setter(call, value);
      return;
    }
    const PropertyInfo& info = *m.published;
    Persistent& p = Holder(m, instance, pos);
    PropertyValue v;
    switch (info.kind) {
      case PropertyKind::kChar: {
        const QString s = value.ToString();
        v = qint64{s.isEmpty() ? 0 : s[0].unicode()};
        break;
      }
      case PropertyKind::kEnumeration:
        v = m.type == ScriptVarType::kBool ? qint64{value.ToBool() ? 1 : 0} : value.ToInt64();
        break;
      case PropertyKind::kFloat:
        v = value.ToFloat();
        break;
      case PropertyKind::kString:
        v = value.ToString();
        break;
      case PropertyKind::kStringList:
      case PropertyKind::kWideStringList: {
        QString text = value.ToString();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        v = text.isEmpty() ? QStringList() : text.split(u'\n');
        break;
      }
      case PropertyKind::kVariant:
        v = value.ToQVariant();
        break;
      case PropertyKind::kObject:
      case PropertyKind::kReference: {
        const V object = ToObjectValue(value);
        v = object.ObjectPointer();
        break;
      }
      case PropertyKind::kMethod:
        Fail(Text("SLeftCantAssigned", "Left side cannot be assigned to"), pos);
      case PropertyKind::kSet:
        // [fsBold, fsItalic]: the members' bits together.
        if (value.kind() == K::kArray) {
          qint64 bits = 0;
          for (const V& item : value.array()->items) bits |= item.ToInt64();
          v = bits;
          break;
        }
        v = value.ToInt64();
        break;
      default:
        v = value.ToInt64();
        break;
    }
    info.set(p, v);
  }

  // An index on a value met at run time: an array's element, a string's
  // character, an object's default property.
  V DynIndex(const Expr& e) { return IndexValue(Eval(*e.args[0]), e, 1); }

  // `base` indexed by the arguments of `e` from `first` on.
  // `end`: one past the last index argument (all of them by default).
  V IndexValue(const V& base, const Expr& e, size_t first, size_t end = SIZE_MAX) {
    end = std::min(end, e.args.size());
    if (base.kind() == K::kArray) {
      const ScriptArray& a = *base.array();
      return a.items[static_cast<size_t>(FlatIndexFrom(e, first, a, end))];
    }
    if (base.kind() == K::kString) {
      const QString s = base.ToString();
      if (end != first + 1) Fail(Text("SIndexCount", "Wrong number of indexes"), e.pos);
      const qint64 ix = Eval(*e.args[first]).ToInt64();
      if (ix < 1 || ix > s.size())
        Fail(Text("rsScriptRangeError", "Index out of range: %1").arg(ix), e.pos, "ERangeError");
      return V::String(QString(s[static_cast<qsizetype>(ix - 1)]));
    }
    if (base.kind() == K::kObject || base.IsIntegral())
      return DefaultProperty(base, e, first, end, nullptr);
    Fail(Text("SArrayRequired", "Array type required"), e.pos, "EVariantError");
  }

  V Eval(const Expr& e) {
    switch (e.kind) {
      case Expr::kConst:
        return e.constant;
      case Expr::kVar:
        return Ref(e.local, e.slot);
      case Expr::kIndex:
        return Read(e);
      case Expr::kCall:
        return Call(*e.routine, &e, nullptr);
      case Expr::kExcMessage:
        return V::String(exc_message);
      case Expr::kExcClass:
        return V::String(exc_class);
      case Expr::kHostVar:
        return *e.host;
      case Expr::kHostName: {
        V value;
        if (!owner.resolve_name_(e.name, value))
          Fail(Named("SIdUndeclared", "Undeclared identifier: ", e.name), e.pos);
        return value;
      }
      case Expr::kHostCall:
        return CallHost(*e.method, V::Null(), QString(), e.method->decl.name.toUpper(), e, 0,
                        nullptr);
      case Expr::kMember:
        return EvalMember(e, nullptr);
      case Expr::kDynIndex:
        return DynIndex(e);
      case Expr::kCast: {
        const V v = Eval(*e.args[0]);
        return e.type == T::kClass ? ToObjectValue(v) : Coerce(e.type, v);
      }
      case Expr::kClassRef:
        return e.constant;
      case Expr::kUnary: {
        const V a = Eval(*e.args[0]);
        return e.op == kNot ? Not(a) : Negate(a);
      }
      case Expr::kAndThen:
        return V::Bool(Eval(*e.args[0]).ToBool() && Eval(*e.args[1]).ToBool());
      case Expr::kOrElse:
        return V::Bool(Eval(*e.args[0]).ToBool() || Eval(*e.args[1]).ToBool());
      case Expr::kSet: {
        auto a = std::make_shared<ScriptArray>();
        for (const auto& item : e.args) a->items.push_back(Eval(*item));
        a->low = {0};
        a->high = {static_cast<qint64>(a->items.size()) - 1};
        return V::Array(std::move(a));
      }
      case Expr::kBinary:
        break;
    }
    if (e.op == kIn) {
      const V x = Eval(*e.args[0]);
      const Expr& right = *e.args[1];
      if (right.kind == Expr::kSet) return V::Bool(InSet(x, right));
      const V r = Eval(right);
      if (r.kind() != K::kArray)
        Fail(Text("SSetExpected", "Set or array expected"), e.pos, "EVariantError");
      for (const V& item : r.array()->items)
        if (Relation(kEq, x, item)) return V::Bool(true);
      return V::Bool(false);
    }
    if (e.op == kIs) {
      // Nil, numbers and objects that are gone are no instance of anything.
      const Persistent* p = Eval(*e.args[0]).ObjectPointer();
      const TksClassVariable* target = e.args[1]->cls;
      if (!p || !target) return V::Bool(false);
      const MetaClass& meta = p->GetMetaClass();
      if (target->ClassRef()) return V::Bool(meta.InheritsFrom(*target->ClassRef()));
      const TksClassVariable* own = host.ClassOf(meta);
      return V::Bool(own && host.InheritsFrom(own, target));
    }
    const V a = Eval(*e.args[0]);
    const V b = Eval(*e.args[1]);
    switch (e.op) {
      case kEq:
      case kNe:
      case kLt:
      case kLe:
      case kGt:
      case kGe:
        return V::Bool(Relation(e.op, a, b));
      default:
        return Arith(e.op, a, b);
    }
  }

  struct FlagGuard {
    Impl& impl;
    bool brk, cont, exit;
    explicit FlagGuard(Impl& i) : impl(i), brk(i.brk), cont(i.cont), exit(i.exit) {
      i.brk = i.cont = i.exit = false;
    }
    ~FlagGuard() {
      impl.brk = brk;
      impl.cont = cont;
      impl.exit = exit;
    }
  };

  struct FrameGuard {
    Impl& impl;
    ~FrameGuard() { impl.frames.pop_back(); }
  };

  // Calls `r` with the arguments of `call`, or with `host_args` (by-reference
  // parameters writing back into them).
  void CheckStack() {
    const char here = 0;
    const auto at = reinterpret_cast<std::uintptr_t>(&here);
    if (stack_base && stack_base > at && stack_base - at > kMaxStackBytes)
      throw ScriptError(Text("rsScriptStackOverflow", "Too many nested calls (more than %1)")
                            .arg(kMaxScriptCallDepth),
                        QStringLiteral("EScriptStackOverflow"));
  }

  V Call(Routine& r, const Expr* call, std::vector<V>* host_args) {
    CheckStack();
    if (frames.size() >= static_cast<size_t>(kMaxScriptCallDepth))
      throw ScriptError(Text("rsScriptStackOverflow", "Too many nested calls (more than %1)")
                            .arg(kMaxScriptCallDepth),
                        QStringLiteral("EScriptStackOverflow"));
    auto frame = std::make_unique<Frame>();
    frame->routine = &r;
    frame->cells.resize(r.locals.size());
    // All arguments are taken before any parameter is set.
    std::vector<const Expr*> copy_back(r.params.size(), nullptr);
    for (size_t i = 0; i < r.params.size(); ++i) {
      const Param& p = r.params[i];
      Slot& slot = frame->cells[i];
      const size_t given = call ? call->args.size() : host_args->size();
      if (i >= given) {
        slot.value = p.def ? Coerce(p.type, Eval(*p.def)) : DefaultValue(p.type);
        continue;
      }
      if (call) {
        const Expr& arg = *call->args[i];
        if (p.by_ref && arg.kind == Expr::kVar && Writable(arg)) {
          slot.ref = &Ref(arg.local, arg.slot);
        } else {
          slot.value = Coerce(p.type, Eval(arg));
          if (p.by_ref && Writable(arg)) copy_back[i] = &arg;
        }
      } else {
        slot.value = Coerce(p.type, (*host_args)[i]);
      }
    }
    for (size_t i = r.params.size(); i < r.locals.size(); ++i) {
      const Decl& d = r.locals[i];
      frame->cells[i].value = d.type == T::kArray ? NewArray(d) : DefaultValue(d.type);
    }
    FlagGuard flags(*this);
    frames.push_back(std::move(frame));
    V result;
    std::vector<V> by_ref_values(r.params.size());
    {
      FrameGuard guard{*this};
      for (size_t i = 0; i < r.entry_inits.size(); ++i) {
        if (r.entry_values[i]) {
          Frame& f = *frames.back();
          const int s = r.entry_inits[i];
          const Decl& d = r.locals[static_cast<size_t>(s)];
          f.cells[static_cast<size_t>(s)].value =
              d.is_const ? Eval(*r.entry_values[i]) : Coerce(d.type, Eval(*r.entry_values[i]));
        }
      }
      RunList(r.body);
      Frame& f = *frames.back();
      if (r.result_slot >= 0) result = f.cells[static_cast<size_t>(r.result_slot)].Get();
      for (size_t i = 0; i < r.params.size(); ++i)
        if (r.params[i].by_ref) by_ref_values[i] = f.cells[i].Get();
    }
    // Values go back only once the callee's frame is gone.
    for (size_t i = 0; i < r.params.size(); ++i) {
      if (copy_back[i]) Write(*copy_back[i], by_ref_values[i]);
      if (host_args && r.params[i].by_ref && i < host_args->size())
        (*host_args)[i] = by_ref_values[i];
    }
    return result;
  }

  V NewArray(const Decl& d) {
    qint64 n = 1;
    for (size_t i = 0; i < d.low.size(); ++i) n *= d.high[i] - d.low[i] + 1;
    ScriptArray::Reserve(live_elements, n);
    auto a = std::make_shared<ScriptArray>();
    a->live = live_elements;
    a->low = d.low;
    a->high = d.high;
    try {
      a->items.assign(static_cast<size_t>(n), DefaultValue(d.element));
    } catch (...) {
      a->items.clear();
      *live_elements -= n;
      throw;
    }
    return V::Array(std::move(a));
  }

  bool Stopped() const { return brk || cont || exit || owner.terminated_; }

  void RunList(const Stmts& list) {
    for (const auto& s : list) {
      if (Stopped()) return;
      Run(*s);
    }
  }

  // One loop pass's flags: true when the loop ends.
  bool LoopEnds() {
    if (cont) cont = false;
    if (brk) {
      brk = false;
      return true;
    }
    return exit || owner.terminated_;
  }

  void Run(const Stmt& s) {
    if (owner.terminated_) return;
    CheckStack();
    if (owner.on_run_line_ && !s.quiet) owner.on_run_line_(s.unit, s.pos);
    try {
      Execute(s);
    } catch (ScriptError& error) {
      if (error.pos.isEmpty()) {
        error.pos = s.pos;
        error.unit = s.unit;
      }
      throw;
    }
  }

  void Execute(const Stmt& s) {
    switch (s.kind) {
      case Stmt::kBlock:
        RunList(s.body);
        break;
      case Stmt::kAssign: {
        if (s.modifier == kNoOp) {
          Write(*s.target, Eval(*s.e1), true);
        } else {
          const V old = Eval(*s.target);
          Write(*s.target, Arith(s.modifier, old, Eval(*s.e1)));
        }
        break;
      }
      case Stmt::kCall:
        Eval(*s.e1);
        break;
      case Stmt::kIf:
        RunList(Eval(*s.e1).ToBool() ? s.body : s.body2);
        break;
      case Stmt::kWhile:
        while (!Stopped() && Eval(*s.e1).ToBool()) {
          RunList(s.body);
          if (LoopEnds()) break;
        }
        break;
      case Stmt::kRepeat:
        while (!Stopped()) {
          RunList(s.body);
          if (LoopEnds()) break;
          // `until` ends on true, the inverse form (do ... while) on false.
          if (Eval(*s.e1).ToBool() != s.flag) break;
        }
        break;
      case Stmt::kFor: {
        const qint64 from = Eval(*s.e1).ToInt64(), to = Eval(*s.e2).ToInt64();
        if (s.flag ? from < to : from > to) break;
        // 64-bit pass count: a loop up to the largest Integer still ends.
        const quint64 passes = s.flag ? static_cast<quint64>(from) - static_cast<quint64>(to) + 1
                                      : static_cast<quint64>(to) - static_cast<quint64>(from) + 1;
        qint64 value = from;
        for (quint64 k = 0; k < passes; ++k) {
          Write(*s.target, V::Integer(value));
          RunList(s.body);
          if (LoopEnds()) break;
          if (k + 1 < passes) value += s.flag ? -1 : 1;
        }
        break;
      }
      case Stmt::kVbFor: {
        const V to = Eval(*s.e2);
        const V step = s.e3 ? Eval(*s.e3) : V::Int(1);
        const bool down = Relation(kLt, step, V::Int(0));
        Write(*s.target, Eval(*s.e1));
        while (!Stopped()) {
          const V counter = Eval(*s.target);
          if (down ? Relation(kLt, counter, to) : Relation(kGt, counter, to)) break;
          RunList(s.body);
          if (LoopEnds()) break;
          Write(*s.target, Arith(kAdd, Eval(*s.target), step));
        }
        break;
      }
      case Stmt::kCppFor: {
        RunList(s.body2);
        while (!Stopped() && (!s.e1 || Eval(*s.e1).ToBool())) {
          RunList(s.body);
          if (LoopEnds()) break;
          RunList(s.body3);
        }
        break;
      }
      case Stmt::kCase: {
        const V x = Eval(*s.e1);
        const Stmts* chosen = &s.body;
        for (const Selector& sel : s.selectors) {
          bool hit = false;
          for (size_t i = 0; i < sel.labels.size() && !hit; ++i) {
            const V lo = Eval(*sel.labels[i]);
            if (sel.range_start[i] && i + 1 < sel.labels.size()) {
              const V hi = Eval(*sel.labels[++i]);
              hit = Relation(kGe, x, lo) && Relation(kLe, x, hi);
            } else {
              hit = Relation(kEq, x, lo);
            }
          }
          if (hit) {
            chosen = &sel.body;
            break;
          }
        }
        RunList(*chosen);
        // In the C dialects a `break` ends the switch, not the loop round it.
        if (c_switch && brk) brk = false;
        break;
      }
      case Stmt::kTryExcept: {
        const size_t depth = frames.size();
        try {
          RunList(s.body);
        } catch (const ScriptError& error) {
          exc_message = error.message;
          exc_class = error.kind;
          HandlerAfterError(depth);
          RunList(s.body2);
        } catch (const std::bad_alloc&) {
          throw;
        } catch (const std::exception& error) {
          exc_message = QString::fromUtf8(error.what());
          exc_class = QStringLiteral("Exception");
          HandlerAfterError(depth);
          RunList(s.body2);
        }
        break;
      }
      case Stmt::kTryFinally: {
        try {
          RunList(s.body);
        } catch (...) {
          RunHandler(s.body2);
          throw;
        }
        RunHandler(s.body2);
        break;
      }
      case Stmt::kBreak:
        brk = true;
        break;
      case Stmt::kContinue:
        cont = true;
        break;
      case Stmt::kExit:
        exit = true;
        break;
      case Stmt::kReturn:
        if (s.e1) {
          Frame& f = *frames.back();
          const Decl& d = f.routine->locals[static_cast<size_t>(f.routine->result_slot)];
          f.cells[static_cast<size_t>(f.routine->result_slot)].Get() = Coerce(d.type, Eval(*s.e1));
        }
        exit = true;
        break;
      case Stmt::kInit:
        for (size_t i = 0; i < s.inits.size(); ++i) {
          const auto [local, slot] = s.inits[i];
          const Decl& d = local ? frames.back()->routine->locals[static_cast<size_t>(slot)]
                                : globals[static_cast<size_t>(slot)];
          V& v = Ref(local, slot);
          if (d.type == T::kArray)
            v = NewArray(d);
          else
            v = s.init_values[i] ? Coerce(d.type, Eval(*s.init_values[i])) : DefaultValue(d.type);
        }
        break;
      case Stmt::kWith:
        for (size_t i = 0; i < s.init_values.size(); ++i) {
          const auto [local, slot] = s.inits[i];
          const V v = Eval(*s.init_values[i]);
          Ref(local, slot) = s.init_values[i]->type == T::kClass ? ToObjectValue(v) : v;
        }
        RunList(s.body);
        break;
    }
  }

  void HandlerAfterError(size_t depth) {
    // Frames are popped by their guards while the error travels; this is
    // a check that none was left behind.
    while (frames.size() > depth) frames.pop_back();
  }

  // A finally handler runs whole, whatever loop flags the body set; the
  // flags afterwards are those of the body or the handler.
  void RunHandler(const Stmts& handler) {
    const bool b = brk, c = cont, x = exit;
    brk = cont = exit = false;
    RunList(handler);
    brk = brk || b;
    cont = cont || c;
    exit = exit || x;
  }
};

namespace {

struct EntryGuard {
  ScriptProgram::Impl& impl;
  explicit EntryGuard(ScriptProgram::Impl& i) : impl(i) {
    const char here = 0;
    EnterStack(impl.entries, impl.stack_base, reinterpret_cast<std::uintptr_t>(&here));
  }
  ~EntryGuard() { LeaveStack(impl.entries, impl.stack_base); }
};

}  // namespace

ScriptProgram::ScriptProgram() : impl_(std::make_unique<Impl>(*this)) {}

std::shared_ptr<qint64> ScriptProgram::ElementBudget() const { return impl_->live_elements; }
ScriptProgram::~ScriptProgram() = default;

Persistent* ScriptProgram::AdoptObject(std::unique_ptr<Persistent> object) {
  if (!object) return nullptr;
  if (static_cast<qint64>(owned_.size()) >= kMaxOwnedObjects)
    throw ScriptError(ScriptMessage(QStringLiteral("rsScriptTooManyObjects"),
                                    QStringLiteral("Too many objects: at most %1 at a time"))
                          .arg(kMaxOwnedObjects),
                      QStringLiteral("EOutOfMemory"));
  Persistent* p = object.get();
  owned_.emplace(p, std::move(object));
  return p;
}

bool ScriptProgram::FreeObject(Persistent* object) {
  auto found = owned_.find(object);
  if (found == owned_.end()) return false;
  // Out of the table before it dies: its destructor may free more.
  std::unique_ptr<Persistent> doomed = std::move(found->second);
  owned_.erase(found);
  doomed.reset();
  return true;
}

void ScriptProgram::SetHost(const ScriptScope& scope, const QString& source_text) {
  host_ = std::make_unique<ScriptScope>(scope);
  source_ = source_text;
}

namespace {
void AddCodeLines(ScriptProgram& program, const Stmts& list) {
  for (const auto& s : list) {
    if (!s->quiet) program.AddCodeLine(s->unit, s->pos);
    AddCodeLines(program, s->body);
    AddCodeLines(program, s->body2);
    AddCodeLines(program, s->body3);
    for (const Selector& sel : s->selectors) AddCodeLines(program, sel.body);
  }
}
}  // namespace

void ScriptProgram::Build(const TksXMLItem& program, const QString& dialect, bool declare_vars) {
  impl_ = std::make_unique<Impl>(*this);
  code_lines_.clear();
  Impl& m = *impl_;
  if (host_) m.host = *host_;
  m.source_lines = source_.split(QStringLiteral("\r\n"));
  for (auto it = unit_sources_.constBegin(); it != unit_sources_.constEnd(); ++it)
    m.unit_lines.insert(it.key().toLower(), it.value().split(QStringLiteral("\r\n")));
  m.dialect = dialect;
  m.declare_vars = declare_vars;
  m.c_switch = dialect.compare(QLatin1String("C++Script"), Qt::CaseInsensitive) == 0 ||
               dialect.compare(QLatin1String("JScript"), Qt::CaseInsensitive) == 0;
  m.flat_brackets = m.c_switch;
  m.var_again = dialect.compare(QLatin1String("JScript"), Qt::CaseInsensitive) == 0;
  m.logic_last = dialect.compare(QLatin1String("PascalScript"), Qt::CaseInsensitive) != 0;
  try {
    m.ReadTypes(program);
    m.Declare(program);
    for (auto& r : m.routines) m.CompileRoutine(*r);
    // Units' main blocks run first, then the program's.
    struct Block {
      const TksXMLItem* tree;
      QString unit;
    };
    std::vector<Block> blocks;
    // The trees a `uses` node stands for: the host's, or the included one.
    auto unit_programs = [&m](const TksXMLItem& uses) {
      std::vector<const TksXMLItem*> list;
      const auto found = m.unit_trees.find(&uses);
      if (found != m.unit_trees.end() && found->second) {
        list.push_back(found->second);
        return list;
      }
      for (int j = 0; j < uses.Count(); ++j)
        if (uses.Items(j)->Name() == u"program") list.push_back(uses.Items(j));
      return list;
    };
    std::function<void(const TksXMLItem&, const QString&)> collect = [&](const TksXMLItem& p,
                                                                         const QString& unit) {
      for (int i = 0; i < p.Count(); ++i) {
        const TksXMLItem& c = *p.Items(i);
        if (c.Name() == u"uses") {
          for (const TksXMLItem* u : unit_programs(c)) collect(*u, c.Prop(QStringLiteral("unit")));
        }
      }
      for (int i = 0; i < p.Count(); ++i)
        if (p.Items(i)->Name() == u"compoundstmt") blocks.push_back({p.Items(i), unit});
    };
    collect(program, QString());
    std::function<void(const TksXMLItem&)> inits = [&](const TksXMLItem& p) {
      for (int i = 0; i < p.Count(); ++i) {
        const TksXMLItem& c = *p.Items(i);
        if (c.Name() == u"uses") {
          const QString outer = m.cur_unit;
          m.cur_unit = c.Prop(QStringLiteral("unit"));
          for (const TksXMLItem* u : unit_programs(c)) inits(*u);
          m.cur_unit = outer;
        } else if (c.Name() == u"var") {
          Stmts list;
          m.CompileStmt(c, list);
          if (!list.empty()) {
            m.main_blocks.emplace_back();
            m.main_blocks.back().push_back(std::move(list.front()));
          }
        }
      }
    };
    inits(program);
    for (const Block& b : blocks) {
      m.cur_unit = b.unit;
      m.main_blocks.emplace_back();
      m.CompileList(*b.tree, m.main_blocks.back());
    }
    m.cur_unit.clear();
  } catch (ScriptError& error) {
    if (error.unit.isEmpty()) error.unit = m.cur_unit;
    throw;
  }
  for (const Stmts& block : m.main_blocks) AddCodeLines(*this, block);
  for (const auto& r : m.routines) AddCodeLines(*this, r->body);
}

void ScriptProgram::AddCodeLine(const QString& unit, const QString& pos) {
  bool ok = false;
  const int line = pos.left(pos.indexOf(u':')).toInt(&ok);
  if (ok) code_lines_[unit.toLower()].insert(line);
}

bool ScriptProgram::IsExecutableLine(int line, const QString& unit) const {
  const auto found = code_lines_.find(unit.toLower());
  return found != code_lines_.end() && found->second.count(line) != 0;
}

std::vector<int> ScriptProgram::CodeLines(const QString& unit) const {
  const auto found = code_lines_.find(unit.toLower());
  if (found == code_lines_.end()) return {};
  return {found->second.begin(), found->second.end()};
}

void ScriptProgram::SetOnRunLine(RunLineEvent event) {
  if (!event) {
    on_run_line_ = nullptr;
    return;
  }
  on_run_line_ = [event = std::move(event)](const QString&, const QString& pos) { event(pos); };
}

void ScriptProgram::Execute() {
  Impl& m = *impl_;
  EntryGuard entry(m);
  terminated_ = false;
  m.brk = m.cont = m.exit = false;
  m.frames.clear();
  for (const auto& block : m.main_blocks) {
    m.exit = m.brk = m.cont = false;
    m.RunList(block);
    if (terminated_) break;
  }
  m.brk = m.cont = m.exit = false;
}

ScriptValue ScriptProgram::EvaluateTree(const TksXMLItem& expr, const QString& source_text) {
  Impl& m = *impl_;
  m.scope = m.frames.empty() ? nullptr : m.frames.back()->routine;
  m.cur_unit.clear();
  std::unique_ptr<Expr> e;
  QStringList program_lines = m.source_lines;
  if (!source_text.isNull()) m.source_lines = source_text.split(QStringLiteral("\r\n"));
  try {
    e = m.CompileExpr(expr);
  } catch (...) {
    m.scope = nullptr;
    m.source_lines = program_lines;
    throw;
  }
  m.scope = nullptr;
  m.source_lines = program_lines;
  EntryGuard entry(m);
  return m.Eval(*e);
}

QString ScriptProgram::ActiveRoutine() const {
  return impl_->frames.empty() ? QString() : impl_->frames.back()->routine->name;
}

bool ScriptProgram::ActiveLocal(const QString& name, ScriptValue& value) const {
  if (impl_->frames.empty()) return false;
  const Frame& frame = *impl_->frames.back();
  const auto it = frame.routine->names.constFind(Key(name));
  if (it == frame.routine->names.constEnd()) return false;
  const auto slot = static_cast<size_t>(*it);
  if (slot >= frame.cells.size()) return false;
  const Decl& d = frame.routine->locals[slot];
  if (d.is_const || d.name.startsWith(QLatin1String("_WithList_"))) return false;
  value = const_cast<Slot&>(frame.cells[slot]).Get();
  return true;
}

bool ScriptProgram::HasRoutine(const QString& name) const {
  return impl_->routine_names.contains(Key(name));
}

ScriptValue ScriptProgram::CallFunction(const QString& name, std::vector<ScriptValue>& args) {
  Impl& m = *impl_;
  Routine* r = m.routine_names.value(Key(name));
  if (!r) throw ScriptError(Named("SIdUndeclared", "Undeclared identifier: ", name));
  // Arguments beyond the parameters are not passed.
  std::vector<ScriptValue> given(
      args.begin(), args.begin() + static_cast<qsizetype>(std::min(args.size(), r->params.size())));
  EntryGuard entry(m);
  ScriptValue result = m.Call(*r, nullptr, &given);
  for (size_t i = 0; i < given.size(); ++i) args[i] = given[i];
  return result;
}

std::vector<ScriptVariableInfo> ScriptProgram::Variables() const {
  std::vector<ScriptVariableInfo> list;
  const Impl& m = *impl_;
  for (size_t i = 0; i < m.globals.size(); ++i) {
    const Decl& d = m.globals[i];
    if (d.is_const || d.name.startsWith(QLatin1String("_WithList_"))) continue;
    list.push_back({d.name, TypeName(d.type, d.cls), const_cast<Impl&>(m).global_slots[i].Get()});
  }
  return list;
}

bool ScriptProgram::SetVariable(const QString& name, const ScriptValue& value) {
  Impl& m = *impl_;
  auto it = m.global_names.constFind(Key(name));
  if (it == m.global_names.constEnd() || m.globals[static_cast<size_t>(*it)].is_const) return false;
  const Decl& d = m.globals[static_cast<size_t>(*it)];
  m.global_slots[static_cast<size_t>(*it)].Get() =
      d.type == T::kArray ? value.DeepCopy() : Coerce(d.type, value);
  return true;
}

}  // namespace ovx
