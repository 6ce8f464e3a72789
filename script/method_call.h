// What the host sees when a script calls one of its functions, methods or
// index properties. Registered members are implemented by a handler that
// reads its arguments by position and writes by-reference results back in
// place; the script engine copies those back into the caller's variables
// after the handler returns.
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "script/interpreter.h"

namespace ovx {

struct ScriptMethodCall {
  // The object the member was reached through; Null for global functions
  // and class-level calls such as constructors.
  ScriptValue instance;
  // The registered class name of the member's owner; empty for globals.
  QString class_name;
  // Upper case. An index property is called NAME.GET when read and
  // NAME.SET when written, with the value being written as the last
  // argument.
  QString method_name;
  // One entry per declared parameter, defaults filled in for the ones the
  // script left out. Macro parameters hold their argument's source text.
  // An array argument is the caller's own array, shared rather than
  // copied: read it, keep it, but never change its elements in place; a
  // by-reference result is a new value given to SetArg.
  std::vector<ScriptValue>& args;
  // The running program, for handlers that need its host hooks or raise
  // errors in its terms; null when a handler is called outside a run.
  ScriptProgram* program = nullptr;

  int ArgCount() const { return static_cast<int>(args.size()); }
  // Out-of-range positions read as Empty rather than failing: a handler
  // registered with a declaration that lists fewer parameters than it
  // reads must not touch memory outside the arguments.
  ScriptValue Arg(int i) const {
    return i >= 0 && i < ArgCount() ? args[static_cast<size_t>(i)] : ScriptValue();
  }
  void SetArg(int i, const ScriptValue& v) {
    if (i >= 0 && i < ArgCount()) args[static_cast<size_t>(i)] = v;
  }
};

// Throws ScriptError for failures the script may catch in try/except.
using ScriptMethodHandler = std::function<ScriptValue(ScriptMethodCall& call)>;

// The older handler form hosts register their own functions with: the
// object (null for global functions and class-level calls), the class
// name, the upper-case method name as above, and the argument values as
// one 0-based Variant array. Elements the handler replaces in the array
// are what by-reference parameters get back.
using ScriptArrayMethodHandler =
    std::function<ScriptValue(Persistent* instance, const QString& class_name,
                              const QString& method_name, ScriptValue& params)>;

// The same handler in the caller form. The array holds copies of the
// arguments, and only as many elements as there are arguments come back:
// a handler that resized the array cannot make the engine read or write
// outside them.
inline ScriptMethodHandler FromArrayHandler(ScriptArrayMethodHandler handler) {
  return [handler = std::move(handler)](ScriptMethodCall& call) -> ScriptValue {
    if (!handler) return ScriptValue::Int(0);
    auto array = std::make_shared<ScriptArray>();
    array->low = {0};
    array->high = {static_cast<qint64>(call.args.size()) - 1};
    array->items = call.args;
    // Handlers of this form may write into the arrays they are given, so
    // array arguments arrive as copies of the caller's.
    for (ScriptValue& item : array->items)
      if (item.kind() == ScriptValue::Kind::kArray) item = item.DeepCopy();
    ScriptValue params = ScriptValue::Array(array);
    const ScriptValue result =
        handler(call.instance.ObjectPointer(), call.class_name, call.method_name, params);
    if (const ScriptArray* back = params.array()) {
      for (size_t i = 0; i < call.args.size() && i < back->items.size(); ++i)
        call.args[i] = back->items[i];
    }
    return result;
  };
}

}  // namespace ovx
