// A report's script and the evaluation of its expressions.
//
// Each report that prepares with scripting installed (ovx::InstallScripting)
// has one ReportScript beside its engine. Before every run it compiles the
// report's script with the report's objects (each registered when a script
// or an expression first names it), the report, its engine and the
// report functions (Get, Set, Calc, IIF, SUM, AVG, MIN, MAX, COUNT)
// registered, and runs its main block once. During the run it answers the
// model's expressions (it is the report's ExpressionEvaluator) and calls the
// procedures named in the objects' event properties.
//
// Names are looked up in a fixed order before anything is compiled: a data
// field written DataSet."Field", a system variable, the host's value events,
// a report variable (whose text is itself an expression), a global variable,
// a local of the report script's routine that is running, and an item of
// the report script. Anything else is compiled once per preparation in the
// expression cache, whose programs ask the same lookup for the names they
// neither declare nor find registered.
//
// Registrations: the report script holds what each preparation registers
// and searches a script of its own with the RTTI modules applied after it,
// so the report's macro versions of IIF and the aggregates hide the plain
// functions of the same names. The report's objects come next, each
// registered the first time a name nobody registered is looked up; the
// parent report's script (an inherited template) or the host's script
// comes after that.
//
// Errors: a failed expression is listed in the report's errors as
// "Object: <clExprError> 'text': message" and thrown as ovx::Error, which ends
// the run (the engine puts the template back on the way out); called from a
// script it is a script exception the script may handle. Script errors in
// event procedures leave as ovx::Error too.
#pragma once

#include <QSet>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

#include "engine/expression_cache.h"
#include "report/model/expression_evaluator.h"
#include "script/script.h"

class TovxComponent;
class TovxEngine;
class TovxPreviewPages;
class TovxReport;
class TovxView;

namespace ovx {

class ReportScript final : public ExpressionEvaluator {
 public:
  // `engine` and `pages` may be null (a parent report's script).
  ReportScript(TovxReport& report, TovxEngine* engine, TovxPreviewPages* pages);
  ~ReportScript() override;
  ReportScript(const ReportScript&) = delete;
  ReportScript& operator=(const ReportScript&) = delete;

  TksScript& Script() { return script_; }
  TovxExpressionCache& Cache() { return cache_; }
  // A script of the host program searched after the report's (not owned).
  void SetHostScript(TksScript* script) { host_script_ = script; }

  // Registers the run's items and compiles the report script (and the
  // parent report's first); errors go to the report's list.
  bool PrepareScript();
  // PrepareScript, the host's after-compile event and the main block; false
  // stops the preparation.
  bool Start();

  // The value of a name without compiling anything; false when no source
  // knows it.
  bool GetReportValue(const QString& name, QVariant& value);
  bool GetReportValue(const QString& name, ScriptValue& value);
  // Throws ovx::Error after listing the error.
  QVariant Calc(const QString& expression, TovxComponent* context) override;
  void MemoValue(const QVariant& value) override;
  // `from_script`: the error is thrown as a script exception and not listed.
  ScriptValue Evaluate(const QString& expression, bool from_script);

  // Calls `procedure` with the object as its argument when the engine runs
  // (or with `force`); nothing for an empty name.
  void CallNotifyEvent(TovxComponent& object, const QString& procedure, bool force = false);
  // The same with any arguments; by-reference results come back in `args`.
  void CallParamEvent(const QString& procedure, std::vector<ScriptValue>& args, bool force = false);
  // A click or double click on a prepared object: its OnPreviewClick or
  // OnPreviewDblClick procedure gets the object, the button, the shift
  // state and a modified flag, which it answers.
  bool PreviewClick(TovxView& view, bool double_click, int button, int shift);

 private:
  ReportScript(TovxReport& report, TovxEngine* engine, TovxPreviewPages* pages,
               TovxReport* objects_of, int depth);
  QString Text(const char* name) const;
  void RegisterRunItems();
  // Registers the report's object named `name` (the lookup of a name the
  // objects' registry does not hold yet); null when there is none.
  ScriptItem* RegisterObject(const QString& name);
  bool PrepareParent();
  void AddError(const QString& text);
  bool FindRoutine(const QString& name, TksScript*& script);
  ScriptValue Aggregate(const QString& function, const QString& expression,
                        const QString& band_text, const QString& flags_text);
  ScriptValue MacroIIF(const std::vector<ScriptValue>& args);

  TovxReport& report_;
  TovxEngine* engine_;
  TovxPreviewPages* pages_;
  // The report whose objects the script names: this one, or for a parent
  // report's script, the inheriting report.
  TovxReport* objects_of_;
  int depth_;
  TksScript script_;
  // The report's objects by name, searched after the RTTI registrations. An
  // object is registered when a script or an expression first names it:
  // a report of 90,000 memos whose scripts name a few registers a few.
  TksScript objects_;
  // The RTTI registrations, searched after the run's items.
  TksScript rtti_;
  TovxExpressionCache cache_;
  TksScript* host_script_ = nullptr;
  ScriptItem* value_item_ = nullptr;
  // Names being evaluated as report variables: a variable that names
  // itself, directly or through others, stops here.
  QSet<QString> evaluating_;
  // The parent template's report and script, for inherited templates.
  std::unique_ptr<TovxReport> parent_report_;
  std::unique_ptr<ReportScript> parent_;
};

// Makes every report prepare with the engine and its report script (call
// once at start-up, in place of InstallEngine): registers the script
// dialects and the report's RTTI module too.
void InstallScripting();
// The script of a report prepared with scripting; null otherwise.
ReportScript* ReportScripting(TovxReport& report);

}  // namespace ovx
