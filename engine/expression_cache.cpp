#include "engine/expression_cache.h"

#include "base/error.h"
#include "script/script.h"

#include <new>

TovxExpressionCache::TovxExpressionCache() = default;
TovxExpressionCache::~TovxExpressionCache() = default;

void TovxExpressionCache::Clear() {
  entries_.clear();
  compilations_ = 0;
}

QString TovxExpressionCache::WrapperText(const QString& language, const QString& name,
                                         const QString& expression) {
  const QString lang = language.toLower();
  if (lang == u"c++script") {
    return QStringLiteral("Variant %1() { return %2; } {}").arg(name, expression);
  }
  if (lang == u"basicscript") {
    // A Basic statement ends at the line's end: a bracket written over
    // several lines must still be one expression.
    QString line = expression;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    return QStringLiteral("function %1\r\nreturn %2\r\nend function").arg(name, line);
  }
  if (lang == u"jscript")
    return QStringLiteral("function %1() { return %2; }").arg(name, expression);
  return QStringLiteral("function %1: Variant; begin Result := %2 end; begin end.")
      .arg(name, expression);
}

TovxExpressionCache::Result TovxExpressionCache::Evaluate(const QString& key,
                                                          const QString& expression,
                                                          TksScript& parent) {
  Result result;
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    Entry entry;
    entry.function = QStringLiteral("ov3f%1").arg(entries_.size());
    entry.script = std::make_unique<TksScript>();
    entry.script->SetExtendedCharset(true);
    entry.script->SetParent(&parent);
    entry.script->SetSyntaxType(language_.isEmpty() ? QStringLiteral("PascalScript") : language_);
    entry.script->SetNameResolver(resolver_);
    entry.script->SetText(WrapperText(entry.script->SyntaxType(), entry.function, expression));
    ++compilations_;
    if (!entry.script->Compile() || !entry.script->Program().HasRoutine(entry.function)) {
      // Nothing is kept: the same text fails again the next time, and is
      // reported each time.
      result.error = entry.script->ErrorMsg();
      if (result.error.isEmpty()) result.error = QStringLiteral("Syntax error");
      result.compile_error = true;
      result.value = ovx::ScriptValue::Null();
      return result;
    }
    found = entries_.emplace(key, std::move(entry)).first;
  }
  Entry& entry = found->second;
  entry.script->SetParent(&parent);
  std::vector<ovx::ScriptValue> args;
  try {
    result.value = entry.script->CallFunction(entry.function, args);
  } catch (const ovx::ScriptError& error) {
    result.error = error.message;
    result.error_kind = error.kind;
    result.value = ovx::ScriptValue::Null();
  } catch (const ovx::Error&) {
    // A nested evaluation that failed has listed itself already.
    throw;
  } catch (const std::bad_alloc&) {
    result.error = QStringLiteral("Out of memory");
    result.value = ovx::ScriptValue::Null();
  } catch (const std::exception& error) {
    // What a host function throws is an error of the expression, never an
    // exception that leaves the report.
    result.error = QString::fromUtf8(error.what());
    result.value = ovx::ScriptValue::Null();
  }
  return result;
}
