#include "script/forms_module.h"

#include <mutex>

#include "script/messages.h"
#include "script/registry.h"
#include "script/script.h"

namespace ovx {

void RegisterForms(TksScript& script) {
  // The answers MessageDlg gives (ScriptDialogs::MessageDlg numbers them).
  script.AddType(QStringLiteral("TModalResult"), ScriptVarType::kInt);
  static const char* const kModalResults[] = {"mrNone",  "mrOk",      "mrCancel",   "mrAbort",
                                              "mrRetry", "mrIgnore",  "mrYes",      "mrNo",
                                              "mrAll",   "mrNoToAll", "mrYesToAll", "mrClose"};
  int result = 0;
  for (const char* name : kModalResults)
    script.AddConst(QString::fromLatin1(name), QStringLiteral("TModalResult"),
                    ScriptValue::Int(result++));
  // Button sets by their usual shorthands, as the bits of TMsgDlgButtons
  // (mbYes 1, mbNo 2, mbOK 4, mbCancel 8, mbAbort 16, mbRetry 32,
  // mbIgnore 64, mbNoToAll 256, mbYesToAll 512).
  static const std::pair<const char*, int> kButtonSets[] = {
      {"mbYesNoCancel", 1 | 2 | 8},
      {"mbYesAllNoAllCancel", 1 | 512 | 2 | 256 | 8},
      {"mbOKCancel", 4 | 8},
      {"mbAbortRetryIgnore", 16 | 32 | 64},
      {"mbAbortIgnore", 16 | 64}};
  for (const auto& [name, bits] : kButtonSets)
    script.AddConst(QString::fromLatin1(name), QStringLiteral("TMsgDlgButtons"),
                    ScriptValue::Int(bits));

  // Names only: casts, `is` and the ancestors of hosts' forms. Nothing of
  // these classes can be made by a script, so their constructor says so
  // rather than making a plain component under a form's name.
  static const std::pair<const char*, const char*> kClasses[] = {
      {"TControl", "TComponent"},
      {"TWinControl", "TControl"},
      {"TScrollingWinControl", "TWinControl"},
      {"TCustomForm", "TScrollingWinControl"},
      {"TForm", "TCustomForm"},
      {"TFrame", "TScrollingWinControl"},
      {"TDataModule", "TComponent"}};
  for (const auto& [name, ancestor] : kClasses) {
    TksClassVariable* cls =
        script.AddClass(QString::fromLatin1(name), QString::fromLatin1(ancestor));
    if (!cls || (QLatin1String(ancestor) != QLatin1String("TComponent"))) continue;
    cls->AddConstructor(
        QStringLiteral("constructor Create(AOwner: TComponent)"),
        [](ScriptMethodCall& call) -> ScriptValue {
          throw ScriptError(
              ScriptMessage(QStringLiteral("rsScriptNoForms"),
                            QStringLiteral("Cannot create %1: scripts have no forms here"))
                  .arg(call.class_name),
              QStringLiteral("EInvalidOperation"));
        });
  }
}

void RegisterFormsModule() {
  static std::once_flag once;
  std::call_once(once, [] { AddScriptRttiModule(RegisterForms); });
}

}  // namespace ovx
