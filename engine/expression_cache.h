// Compiled report expressions, kept for the length of one preparation.
//
// Every distinct expression text (per routine of the report script that
// evaluates it) is compiled once, as a one-function program in the
// report's script language, and run again for every record that prints
// it. Each expression gets a program of its own, so adding one never
// compiles the others again; all of them see the report script's
// registrations through their parent chain.
#pragma once

#include <QString>

#include <map>
#include <memory>

#include "script/interpreter.h"

class TksScript;

class TovxExpressionCache {
 public:
  TovxExpressionCache();
  ~TovxExpressionCache();
  TovxExpressionCache(const TovxExpressionCache&) = delete;
  TovxExpressionCache& operator=(const TovxExpressionCache&) = delete;

  // Forgets every compiled expression.
  void Clear();
  const QString& Language() const { return language_; }
  void SetLanguage(const QString& language) { language_ = language; }
  // Answers the run-time names the compiled expressions use but neither
  // declare nor find registered.
  void SetNameResolver(ovx::ScriptProgram::NameResolver resolver) {
    resolver_ = std::move(resolver);
  }

  struct Result {
    ovx::ScriptValue value;
    // Empty when the expression compiled and ran.
    QString error;
    // The script exception class of a run-time error ("EDivByZero").
    QString error_kind;
    bool compile_error = false;
  };
  // Evaluates `expression`, cached under `key`, with `parent` (not owned)
  // as the scripts' parent. Compile and run errors come back in the
  // result; the cache never throws for them.
  Result Evaluate(const QString& key, const QString& expression, TksScript& parent);

  int Count() const { return static_cast<int>(entries_.size()); }
  // Compilations since the last Clear (each failed one included).
  int Compilations() const { return compilations_; }

  // The wrapper program of `expression` as function `name` in `language`.
  static QString WrapperText(const QString& language, const QString& name,
                             const QString& expression);

 private:
  struct Entry {
    std::unique_ptr<TksScript> script;
    QString function;
  };
  std::map<QString, Entry> entries_;
  QString language_;
  ovx::ScriptProgram::NameResolver resolver_;
  int compilations_ = 0;
};
