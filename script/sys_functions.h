// The standard function library every script sees, and the dialogs module's
// three functions.
//
// Each entry is a declaration string (the text the registry parses into a
// routine with its parameters and defaults), the category the designer files
// it under, and the handler that does the work. Arguments come from script
// values, which come from templates: every handler checks ranges and kinds
// and raises a ScriptError instead of reaching outside a value.
//
// Message boxes and input boxes never come from here directly: the library
// must neither link a widget toolkit nor open a window on a worker thread
// (thread-safe preparation runs scripts there). The host program installs
// ScriptDialogs; without it, or off the thread that owns the application,
// the functions show nothing and answer as if the user had not confirmed.
#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "script/method_call.h"

namespace ovx {

struct SysFunction {
  // "ctConv", "ctFormat", "ctDate", "ctString", "ctMath" or "ctOther".
  QString category;
  QString declaration;
  ScriptMethodHandler handler;
};

// The whole library in the order the designer lists it. Built once on first
// use (safe from any thread), read-only afterwards.
const std::vector<SysFunction>& SysFunctions();

// The variant type codes VarType answers and VarArrayCreate takes.
enum ScriptVarCode : int {
  kVarEmpty = 0,
  kVarNull = 1,
  kVarSmallint = 2,
  kVarInteger = 3,
  kVarSingle = 4,
  kVarDouble = 5,
  kVarCurrency = 6,
  kVarDate = 7,
  kVarOleStr = 8,
  kVarDispatch = 9,
  kVarError = 10,
  kVarBoolean = 11,
  kVarVariant = 12,
  kVarUnknown = 13,
  kVarShortInt = 16,
  kVarByte = 17,
  kVarWord = 18,
  kVarLongWord = 19,
  kVarInt64 = 20,
  kVarStrArg = 72,
  kVarString = 256,
  kVarAny = 257,
  kVarTypeMask = 4095,
  kVarArray = 8192,
  kVarByRef = 16384,
};

// What a host program shows for scripts. Called only on the application's
// main thread.
class ScriptDialogs {
 public:
  virtual ~ScriptDialogs() = default;
  virtual void ShowMessage(const QString& text) = 0;
  // `type`: 0 warning, 1 error, 2 information, 3 confirmation, 4 custom.
  // `buttons`: bits 1 Yes, 2 No, 4 OK, 8 Cancel, 16 Abort, 32 Retry,
  // 64 Ignore, 128 All, 256 No to all, 512 Yes to all, 1024 Help, 2048 Close.
  // Answers the modal result of the button pressed (1 OK, 2 Cancel, 3 Abort,
  // 4 Retry, 5 Ignore, 6 Yes, 7 No, 8 All, 9 No to all, 10 Yes to all,
  // 11 Close), 0 when closed otherwise.
  virtual int MessageDlg(const QString& text, int type, int buttons, int help_context) = 0;
  // The text entered, or nullopt when the user cancelled.
  virtual std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                            const QString& value) = 0;
};

// Installs the dialogs for every script of the process; null removes them.
// Safe from any thread; a call already showing a dialog keeps its copy.
void SetScriptDialogs(std::shared_ptr<ScriptDialogs> dialogs);

}  // namespace ovx
