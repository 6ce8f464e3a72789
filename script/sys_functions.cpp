// The library table, the functions of the "other" category and the dialogs
// module's three functions.
#include "script/sys_functions.h"

#include "base/number_format.h"
#include "script/messages.h"
#include "script/sys_functions_internal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <cmath>
#include <random>

namespace ovx {
namespace sys {
namespace {

using V = ScriptValue;

// --- host dialogs ------------------------------------------------------------

QMutex& DialogsMutex() {
  static QMutex mutex;
  return mutex;
}

std::shared_ptr<ScriptDialogs>& DialogsSlot() {
  static std::shared_ptr<ScriptDialogs> dialogs;
  return dialogs;
}

// The installed dialogs when this thread may show them; null otherwise.
std::shared_ptr<ScriptDialogs> Dialogs() {
  const QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return nullptr;
  QMutexLocker lock(&DialogsMutex());
  return DialogsSlot();
}

// A value as message text: Null shows as nothing.
QString MessageText(const V& v) { return v.kind() == V::Kind::kNull ? QString() : v.ToString(); }

// Set arguments arrive as arrays of member values or as one number.
int ButtonBits(const V& v) {
  if (v.kind() != V::Kind::kArray) return v.ToInt32();
  int bits = 0;
  for (const V& item : v.array()->items) bits |= item.ToInt32();
  return bits;
}

// --- random numbers ------------------------------------------------------------

// One generator for the process. It starts from a fixed seed, so a script
// that never calls Randomize repeats its numbers from run to run.
struct RandomState {
  QMutex mutex;
  std::mt19937_64 engine{20240107};
};

RandomState& Randoms() {
  static RandomState state;
  return state;
}

// --- the rest ------------------------------------------------------------------

V IncBy(ScriptMethodCall& c, int sign) {
  const V v = c.Arg(0);
  const V step_value = c.Arg(1);
  const bool default_step = c.ArgCount() < 2 || step_value.kind() == V::Kind::kEmpty;
  if (v.kind() == V::Kind::kFloat || v.kind() == V::Kind::kDate) {
    const double step = default_step ? 1 : step_value.ToFloat();
    const double result = v.ToFloat() + sign * step;
    c.SetArg(0, v.kind() == V::Kind::kDate ? V::Date(result) : V::Float(result));
    return V();
  }
  if (v.kind() == V::Kind::kCurrency) {
    // Whole steps keep the decimals; the step itself may have some.
    const qint64 step = default_step ? 10000 : step_value.ToCurrencyUnits();
    qint64 result;
    const bool overflow = sign > 0 ? __builtin_add_overflow(v.ToCurrencyUnits(), step, &result)
                                   : __builtin_sub_overflow(v.ToCurrencyUnits(), step, &result);
    if (overflow) Fail("EOverflow", "rsScriptOverflow", QStringLiteral("Arithmetic overflow"));
    c.SetArg(0, V::CurrencyUnits(result));
    return V();
  }
  const qint64 step = default_step ? 1 : step_value.ToInt64();
  qint64 result;
  const bool overflow = sign > 0 ? __builtin_add_overflow(v.ToInt64(), step, &result)
                                 : __builtin_sub_overflow(v.ToInt64(), step, &result);
  if (overflow) Fail("EOverflow", "rsScriptOverflow", QStringLiteral("Arithmetic overflow"));
  c.SetArg(0, V::Integer(result));
  return V();
}

// The text of a value the Valid... functions test; values that have none
// (Null, arrays) give text no parser accepts.
QString TextToTest(const V& v) {
  if (v.kind() == V::Kind::kString || v.IsNumeric() || v.kind() == V::Kind::kObject)
    return v.ToString();
  return QString();
}

V ElementDefault(qint64 type) {
  switch (type) {
    case kVarSmallint:
    case kVarInteger:
    case kVarShortInt:
    case kVarByte:
    case kVarWord:
    case kVarLongWord:
    case kVarInt64:
      return V::Int(0);
    case kVarSingle:
    case kVarDouble:
      return V::Float(0);
    case kVarCurrency:
      return V::CurrencyUnits(0);
    case kVarDate:
      return V::Date(0);
    case kVarBoolean:
      return V::Bool(false);
    case kVarOleStr:
    case kVarString:
      return V::String(QString());
    case kVarVariant:
      return V();
    default:
      Fail("EVariantError", "rsScriptBadVarType", QStringLiteral("Invalid variant type: %1"),
           FormatInt(type));
  }
}

constexpr size_t kMaxArrayDimensions = 64;

[[noreturn]] void BadBounds() {
  Fail("EVariantError", "rsScriptBadArrayBounds", QStringLiteral("Invalid variant array bounds"));
}

// The bounds come pairwise (low, high); high may be low - 1 for an empty
// dimension.
V VarArrayCreate(ScriptMethodCall& c) {
  const V bounds = c.Arg(0);
  if (bounds.kind() != V::Kind::kArray) BadBounds();
  const std::vector<V>& items = bounds.array()->items;
  if (items.empty() || items.size() % 2 != 0 || items.size() / 2 > kMaxArrayDimensions) {
    BadBounds();
  }
  const V element = ElementDefault(c.Arg(1).ToInt64());
  auto a = std::make_shared<ScriptArray>();
  qint64 count = 1;
  for (size_t i = 0; i < items.size(); i += 2) {
    const qint64 low = items[i].ToInt64();
    const qint64 high = items[i + 1].ToInt64();
    const __int128 size = static_cast<__int128>(high) - low + 1;
    if (size < 0) BadBounds();
    if (size > kMaxScriptArrayElements ||
        count * static_cast<qint64>(size) > kMaxScriptArrayElements) {
      Fail("EOutOfMemory", "rsScriptArrayBounds",
           QStringLiteral("Invalid array bounds: at most %1 elements"),
           QString::number(kMaxScriptArrayElements));
    }
    count *= static_cast<qint64>(size);
    a->low.push_back(low);
    a->high.push_back(high);
  }
  // Charged to the calling program like the arrays it declares; the
  // destructor gives the elements back.
  std::shared_ptr<qint64> budget = c.program ? c.program->ElementBudget() : nullptr;
  ScriptArray::Reserve(budget, count);
  a->live = budget;
  try {
    a->items.assign(static_cast<size_t>(count), element);
  } catch (...) {
    if (a->live) *a->live -= count - static_cast<qint64>(a->items.size());
    throw;
  }
  return V::Array(std::move(a));
}

int VarTypeOf(const V& v) {
  switch (v.kind()) {
    case V::Kind::kEmpty:
      return kVarEmpty;
    case V::Kind::kNull:
      return kVarNull;
    case V::Kind::kInt:
      return kVarInteger;
    case V::Kind::kInt64:
    // An object reference shows its integer face, the handle's number,
    // which lies beyond 32 bits.
    case V::Kind::kObject:
      return kVarInt64;
    case V::Kind::kFloat:
      return kVarDouble;
    case V::Kind::kCurrency:
      return kVarCurrency;
    case V::Kind::kDate:
      return kVarDate;
    case V::Kind::kBool:
      return kVarBoolean;
    case V::Kind::kString:
      return kVarString;
    case V::Kind::kArray:
      return kVarArray | kVarVariant;
  }
  return kVarEmpty;
}

}  // namespace

[[noreturn]] void Fail(const char* kind, const char* name, const QString& text) {
  throw ScriptError(ScriptMessage(QString::fromLatin1(name), text), QString::fromLatin1(kind));
}

[[noreturn]] void Fail(const char* kind, const char* name, const QString& text,
                       const QString& arg) {
  throw ScriptError(ScriptMessage(QString::fromLatin1(name), text).arg(arg),
                    QString::fromLatin1(kind));
}

[[noreturn]] void InvalidFloatOperation() {
  Fail("EInvalidOp", "rsScriptInvalidOp", QStringLiteral("Invalid floating point operation"));
}

void AddOtherFunctions(std::vector<SysFunction>& out) {
  const QString cat = QStringLiteral("ctOther");
  out.push_back({cat, QStringLiteral("procedure Inc(var i: Integer; incr: Integer = 1)"),
                 [](ScriptMethodCall& c) { return IncBy(c, 1); }});
  out.push_back({cat, QStringLiteral("procedure Dec(var i: Integer; decr: Integer = 1)"),
                 [](ScriptMethodCall& c) { return IncBy(c, -1); }});
  out.push_back({cat, QStringLiteral("procedure RaiseException(Param: String)"),
                 [](ScriptMethodCall& c) -> V { throw ScriptError(c.Arg(0).ToString()); }});
  out.push_back(
      {cat, QStringLiteral("procedure ShowMessage(Msg: Variant)"), [](ScriptMethodCall& c) {
         const QString text = MessageText(c.Arg(0));
         if (const auto dialogs = Dialogs()) dialogs->ShowMessage(text);
         return V();
       }});
  out.push_back({cat, QStringLiteral("procedure Randomize"), [](ScriptMethodCall&) {
                   RandomState& r = Randoms();
                   QMutexLocker lock(&r.mutex);
                   r.engine.seed(static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch()) ^
                                 std::random_device{}());
                   return V();
                 }});
  out.push_back({cat, QStringLiteral("function Random: Extended"), [](ScriptMethodCall&) {
                   RandomState& r = Randoms();
                   QMutexLocker lock(&r.mutex);
                   // 53 random bits: every value in [0, 1), never 1.
                   return V::Float(static_cast<double>(r.engine() >> 11) * 0x1.0p-53);
                 }});
  out.push_back(
      {cat, QStringLiteral("function ValidInt(cInt: String): Boolean"), [](ScriptMethodCall& c) {
         return V::Bool(ParseIntegerText(TextToTest(c.Arg(0))).has_value());
       }});
  out.push_back(
      {cat, QStringLiteral("function ValidFloat(cFlt: String): Boolean"), [](ScriptMethodCall& c) {
         return V::Bool(ParseFloatText(TextToTest(c.Arg(0))).has_value());
       }});
  out.push_back(
      {cat, QStringLiteral("function ValidDate(cDate: String): Boolean"), [](ScriptMethodCall& c) {
         const V v = c.Arg(0);
         if (v.IsNumeric()) {
           // A date value: valid when its own text reads back.
           try {
             return V::Bool(ParseDateText(DateText(v.ToFloat())).has_value());
           } catch (const ScriptError&) {
             return V::Bool(false);
           }
         }
         return V::Bool(ParseDateText(TextToTest(v)).has_value());
       }});
  out.push_back({cat, QStringLiteral("function ExtractFilePath(const FileName: string): string;"),
                 [](ScriptMethodCall& c) {
                   // "/" separates too: these are paths of this system as well.
                   const QString name = c.Arg(0).ToString();
                   qsizetype i = name.size();
                   while (i > 0 && name[i - 1] != u'/' && name[i - 1] != u'\\' &&
                          name[i - 1] != u':')
                     --i;
                   return V::String(name.left(i));
                 }});
  out.push_back({cat, QStringLiteral("function CreateOleObject(ClassName: String): Variant"),
                 [](ScriptMethodCall& c) -> V {
                   // No automation classes exist here, so no class name resolves.
                   Fail("EOleError", "rsScriptOleError",
                        QStringLiteral("OLE error 800401F3: %1: Invalid class string"),
                        c.Arg(0).ToString());
                 }});
  out.push_back({cat,
                 QStringLiteral("function VarArrayCreate(Bounds: Array; Typ: Integer): Variant"),
                 VarArrayCreate});
  out.push_back({cat, QStringLiteral("function VarType(V: Variant): Integer"),
                 [](ScriptMethodCall& c) { return V::Int(VarTypeOf(c.Arg(0))); }});

  // The dialogs module's functions.
  out.push_back({cat,
                 QStringLiteral("function MessageDlg(Msg: string; DlgType: TMsgDlgType; Buttons: "
                                "TMsgDlgButtons; HelpCtx: Longint): Integer"),
                 [](ScriptMethodCall& c) {
                   const QString text = MessageText(c.Arg(0));
                   const int type = c.Arg(1).ToInt32();
                   const int buttons = ButtonBits(c.Arg(2));
                   const int help = c.Arg(3).ToInt32();
                   const auto dialogs = Dialogs();
                   return V::Int(dialogs ? dialogs->MessageDlg(text, type, buttons, help) : 0);
                 }});
  out.push_back({cat,
                 QStringLiteral("function InputBox(ACaption, APrompt, ADefault: string): string"),
                 [](ScriptMethodCall& c) {
                   const QString fallback = MessageText(c.Arg(2));
                   const auto dialogs = Dialogs();
                   if (!dialogs) return V::String(fallback);
                   const std::optional<QString> text =
                       dialogs->InputQuery(MessageText(c.Arg(0)), MessageText(c.Arg(1)), fallback);
                   return V::String(text.value_or(fallback));
                 }});
  out.push_back(
      {cat,
       QStringLiteral("function InputQuery(ACaption, APrompt: string; var Value: string): Boolean"),
       [](ScriptMethodCall& c) {
         const auto dialogs = Dialogs();
         if (!dialogs) return V::Bool(false);
         const std::optional<QString> text = dialogs->InputQuery(
             MessageText(c.Arg(0)), MessageText(c.Arg(1)), MessageText(c.Arg(2)));
         if (!text) return V::Bool(false);
         c.SetArg(2, V::String(*text));
         return V::Bool(true);
       }});
}

}  // namespace sys

const std::vector<SysFunction>& SysFunctions() {
  static const std::vector<SysFunction> functions = [] {
    std::vector<SysFunction> all;
    sys::AddConversionFunctions(all);
    sys::AddDateFunctions(all);
    sys::AddStringFunctions(all);
    sys::AddMathFunctions(all);
    sys::AddOtherFunctions(all);
    return all;
  }();
  return functions;
}

void SetScriptDialogs(std::shared_ptr<ScriptDialogs> dialogs) {
  QMutexLocker lock(&sys::DialogsMutex());
  sys::DialogsSlot() = std::move(dialogs);
}

}  // namespace ovx
