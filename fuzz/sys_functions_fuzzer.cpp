// Fuzz target for the script function library: the input picks a function
// and a list of arguments of any kind (extreme numbers, NaN, long texts,
// nested arrays), and the handler is called the way the interpreter calls
// it. A handler may raise a script error; anything else (a crash, a
// sanitizer report, another exception, a result outside the value kinds)
// is a finding. script_compile_fuzzer reaches the same handlers through
// scripts; this target reaches argument kinds no script writes directly.
#include "script/sys_functions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace {

using ovx::ScriptValue;

ScriptValue MakeValue(FuzzedDataProvider& in, int depth) {
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0:
      return ScriptValue();
    case 1:
      return ScriptValue::Null();
    case 2:
      return ScriptValue::Int(in.ConsumeIntegral<qint32>());
    case 3:
      return ScriptValue::Int64(in.ConsumeIntegral<qint64>());
    case 4:
      return ScriptValue::Float(in.ConsumeFloatingPoint<double>());
    case 5: {
      static const double kEdges[] = {std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      9223372036854775808.0,
                                      -9223372036854775808.0,
                                      2.5,
                                      -0.0,
                                      1e-320};
      return ScriptValue::Float(kEdges[in.ConsumeIntegralInRange<size_t>(0, 7)]);
    }
    case 6:
      return ScriptValue::Bool(in.ConsumeBool());
    case 7:
    case 8:
      return ScriptValue::String(QString::fromStdString(in.ConsumeRandomLengthString(64)));
    default: {
      if (depth > 2) return ScriptValue::Int(in.ConsumeIntegralInRange(-2, 8));
      auto a = std::make_shared<ovx::ScriptArray>();
      const int n = in.ConsumeIntegralInRange(0, 6);
      for (int i = 0; i < n; ++i) a->items.push_back(MakeValue(in, depth + 1));
      a->low = {0};
      a->high = {n - 1};
      return ScriptValue::Array(std::move(a));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<ovx::SysFunction>& functions = ovx::SysFunctions();
  FuzzedDataProvider in(data, size);
  const ovx::SysFunction& f = functions[in.ConsumeIntegralInRange<size_t>(0, functions.size() - 1)];
  std::vector<ScriptValue> args;
  const int count = in.ConsumeIntegralInRange(0, 5);
  for (int i = 0; i < count; ++i) args.push_back(MakeValue(in, 0));
  ovx::ScriptMethodCall call{ScriptValue::Null(), QString(), QString(), args};
  try {
    const ScriptValue result = f.handler(call);
    (void)result.Display();
  } catch (const ovx::ScriptError&) {
  }
  return 0;
}
