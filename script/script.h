// A script of one of the registered dialects. This is the parsing side:
// the source, its dialect, where units come from, and the syntax tree
// (GetILCode); the program model built from the tree lives beside it.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "script/interpreter.h"
#include "script/registry.h"

namespace ovx {
class MetaClass;
class Persistent;
class Stream;
}  // namespace ovx

class TksScript {
 public:
  // Asked for the text of a unit named in an include clause; leaving
  // `text` empty includes nothing.
  using GetUnitEvent = std::function<void(TksScript& script, const QString& unit, QString& text)>;
  // Told before each statement runs: the unit it lies in (empty for the
  // main script) and its "line:col"; `sender` is the script running it.
  using RunLineEvent =
      std::function<void(TksScript& sender, const QString& unit, const QString& pos)>;

  TksScript();
  ~TksScript();
  TksScript(const TksScript&) = delete;
  TksScript& operator=(const TksScript&) = delete;

  QStringList& Lines() { return lines_; }
  const QStringList& Lines() const { return lines_; }
  void SetLines(const QStringList& lines) { lines_ = lines; }
  // Splits `text` at CR LF, CR or LF.
  void SetText(const QString& text);
  // The lines, each ending in CR LF: what the parser reads.
  QString SourceText() const;

  const QString& SyntaxType() const { return syntax_type_; }
  void SetSyntaxType(const QString& name) { syntax_type_ = name; }
  bool ExtendedCharset() const { return extended_charset_; }
  void SetExtendedCharset(bool on) { extended_charset_ = on; }
  // Folders searched for unit files in order; an empty entry is the
  // current directory.
  QStringList& IncludePath() { return include_path_; }
  const QStringList& IncludePath() const { return include_path_; }
  const GetUnitEvent& OnGetUnit() const { return on_get_unit_; }
  void SetOnGetUnit(GetUnitEvent event) { on_get_unit_ = std::move(event); }
  // Asked at compile time for each included unit; a non-empty `text` is
  // the unit's syntax tree (XML, as GetILCode writes it), compiled instead
  // of parsing the unit's source. Positions in it are the unit's own.
  const GetUnitEvent& OnGetILUnit() const { return on_get_il_unit_; }
  void SetOnGetILUnit(GetUnitEvent event) { on_get_il_unit_ = std::move(event); }

  const QString& ErrorMsg() const { return error_msg_; }
  const QString& ErrorPos() const { return error_pos_; }
  const QString& ErrorUnit() const { return error_unit_; }
  void SetError(const QString& message, const QString& position, const QString& unit);

  // Parses the script and writes its syntax tree (UTF-8, indented) to
  // `out`. On failure nothing is written and ErrorMsg/ErrorPos/ErrorUnit
  // say why; answers whether ErrorMsg is empty.
  bool GetILCode(ovx::Stream& out);

  // Parses the script and builds its program. Answers false with
  // ErrorMsg/ErrorPos set on a syntax or compile error (an unknown dialect
  // included). Compiling again starts from an empty program.
  bool Compile();
  // Runs the main block of the compiled program; a run-time error that
  // no try block handles answers false with ErrorMsg/ErrorPos set.
  bool Execute();
  // Asks a running script to stop before its next statement; safe from
  // any thread.
  void Terminate();
  // The value of `expression` in the scope of the routine being run (the
  // program's when none). A syntax or run-time error gives the message
  // text as the value and sets EvaluateFailed until the next Evaluate.
  ovx::ScriptValue Evaluate(const QString& expression);
  bool EvaluateFailed() const { return evaluate_failed_; }
  // Calls a routine of the program; arguments beyond its parameters are
  // dropped, missing ones get their default. By-reference parameters write
  // back into `args`. Throws ovx::ScriptError for an unknown routine or an
  // error inside it.
  ovx::ScriptValue CallFunction(const QString& name, std::vector<ovx::ScriptValue>& args);
  ovx::ScriptProgram& Program() { return *program_; }
  // Answers, at run time, names the script neither declares nor finds
  // registered; set before Compile.
  void SetNameResolver(ovx::ScriptProgram::NameResolver resolver) {
    name_resolver_ = std::move(resolver);
  }
  // Called with "line:col" before each statement runs.
  void SetOnRunLine(std::function<void(const QString& pos)> event);
  void SetOnRunLine(RunLineEvent event);
  const RunLineEvent& OnRunLine() const { return on_run_line_; }
  // Tells OnRunLine of this script, or else of the nearest parent that has
  // one, that the statement at `pos` of `unit` is about to run. It stays
  // attached while Evaluate runs routines, so a statement budget kept
  // there still stops them; a debugger ignores lines while Evaluating().
  void RunLine(const QString& unit, const QString& pos);
  bool Evaluating() const { return evaluating_ > 0; }
  // The code-line table of the compiled program: whether a statement
  // starts on `line` of `unit` (empty: the main script).
  bool IsExecutableLine(int line, const QString& unit = QString()) const;
  void AddCodeLine(const QString& unit, const QString& pos);

  // ---- registrations ----
  // Each adds nothing when the name is already registered in this script
  // or its parents. Names are found ignoring case. A script compiled after
  // a registration sees it; registered variables keep their values across
  // runs and are what the host reads back.

  // Searched after this script's own registrations; not owned. A script
  // whose chain holds no RTTI modules also reaches GlobalUnit().
  void SetParent(TksScript* parent) { parent_ = parent; }
  TksScript* Parent() const { return parent_; }
  // Registers every RTTI module (the standard library first) into this
  // script, once; those registrations survive ClearItems.
  void AddRTTI();
  bool HasRTTI() const { return rtti_added_; }
  // A process-wide script with the RTTI modules applied, made on first
  // request (thread-safe) and read-only afterwards.
  static TksScript& GlobalUnit();

  void AddType(const QString& name, ovx::ScriptVarType type);
  // Read-only.
  void AddConst(const QString& name, const QString& type_name, const ovx::ScriptValue& value);
  void AddVariable(const QString& name, const QString& type_name, const ovx::ScriptValue& value);
  // A variable of the object's class holding a reference to it.
  void AddObject(const QString& name, ovx::Persistent* object);
  // A type of kind Enum and one read-only constant per name ("a, b, c"):
  // 0, 1, 2... for AddEnum, 1, 2, 4... for AddEnumSet.
  void AddEnum(const QString& type_name, const QString& names);
  void AddEnumSet(const QString& type_name, const QString& names);
  // `description` defaults to the routine's name.
  void AddMethod(const QString& declaration, ovx::ScriptMethodHandler handler,
                 const QString& category = {}, const QString& description = {});
  // The same for a handler of the array form (script/method_call.h).
  void AddArrayMethod(const QString& declaration, ovx::ScriptArrayMethodHandler handler,
                      const QString& category = {}, const QString& description = {}) {
    AddMethod(declaration, ovx::FromArrayHandler(std::move(handler)), category, description);
  }
  // A class from its metadata, every published property a member; answers
  // null when the name is already registered. The default property is
  // the ancestor's unless the class sets its own.
  TksClassVariable* AddClass(const ovx::MetaClass& meta, const QString& ancestor);
  // A class the metadata does not describe (a platform class).
  TksClassVariable* AddClass(const QString& name, const QString& ancestor);
  // A form, data module or frame (`ancestor` "TForm", "TDataModule" or
  // "TFrame") with the components it owns: a class not yet registered is
  // registered with one read-only member per owned component, and the
  // component is added as an object named `name`.
  struct Owned {
    QString name;
    ovx::Persistent* object;
  };
  void AddComponent(const QString& name, ovx::Persistent* component, const QString& ancestor,
                    const std::vector<Owned>& owned);

  // This script's registrations, then its parents'.
  ovx::ScriptItem* Find(const QString& name) const;
  TksClassVariable* FindClass(const QString& name) const;
  ovx::ScriptScope Scope() const;
  ovx::ScriptRegistry& Registry() { return registry_; }
  // Forgets the compiled program and what the host registered; what RTTI
  // modules registered stays.
  void ClearItems();

 private:
  // A constant or variable, unless the name is already registered here or
  // in a parent.
  // Connects a new program to this script's hooks.
  void AttachProgram();
  void AddValueItem(ovx::ScriptItem::Kind kind, const QString& name, const QString& type_name,
                    const ovx::ScriptValue& value);

  QStringList lines_;
  QString syntax_type_ = QStringLiteral("PascalScript");
  bool extended_charset_ = false;
  QStringList include_path_{QString()};
  GetUnitEvent on_get_unit_;
  GetUnitEvent on_get_il_unit_;
  RunLineEvent on_run_line_;
  int evaluating_ = 0;
  QString error_msg_;
  QString error_pos_;
  QString error_unit_;
  std::unique_ptr<ovx::ScriptProgram> program_;
  ovx::ScriptProgram::NameResolver name_resolver_;
  ovx::ScriptRegistry registry_;
  TksScript* parent_ = nullptr;
  bool rtti_added_ = false;
  int added_by_ = 0;
  bool compiled_ = false;
  bool evaluate_failed_ = false;
};

namespace ovx {
// Text with every line end (CR LF, CR, LF) made CR LF, and a CR LF after
// the last line: the form the parser reads for scripts and units alike.
QString ScriptSourceText(const QString& text);
}  // namespace ovx
