#include "script/script.h"

#include "base/error.h"
#include "base/stream.h"
#include "script/il_parser.h"
#include "script/messages.h"

namespace {

QStringList SplitLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines << text.mid(start, i - start);
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines << text.mid(start);
  return lines;
}

QString JoinLines(const QStringList& lines) {
  QString text;
  qsizetype size = 0;
  for (const QString& line : lines) size += line.size() + 2;
  text.reserve(size);
  for (const QString& line : lines) {
    text += line;
    text += QStringLiteral("\r\n");
  }
  return text;
}

}  // namespace

namespace ovx {
QString ScriptSourceText(const QString& text) { return JoinLines(SplitLines(text)); }
}  // namespace ovx

TksScript::TksScript() : program_(std::make_unique<ovx::ScriptProgram>()) { AttachProgram(); }

void TksScript::AttachProgram() {
  program_->SetOnRunLine(ovx::ScriptProgram::UnitRunLineEvent(
      [this](const QString& unit, const QString& pos) { RunLine(unit, pos); }));
  program_->SetILUnitProvider([this](const QString& unit) {
    QString text;
    if (on_get_il_unit_) on_get_il_unit_(*this, unit, text);
    return text;
  });
}

void TksScript::RunLine(const QString& unit, const QString& pos) {
  for (TksScript* s = this; s; s = s->parent_) {
    if (s->on_run_line_) {
      // A copy: the handler may replace itself.
      const RunLineEvent event = s->on_run_line_;
      event(*this, unit, pos);
      return;
    }
  }
}

bool TksScript::IsExecutableLine(int line, const QString& unit) const {
  return program_->IsExecutableLine(line, unit);
}

void TksScript::AddCodeLine(const QString& unit, const QString& pos) {
  program_->AddCodeLine(unit, pos);
}
TksScript::~TksScript() {
  // The program goes first: it detaches the event handlers it gave to
  // objects through the registrations.
  program_.reset();
}

void TksScript::SetText(const QString& text) { lines_ = SplitLines(text); }

QString TksScript::SourceText() const { return JoinLines(lines_); }

void TksScript::SetError(const QString& message, const QString& position, const QString& unit) {
  error_msg_ = message;
  error_pos_ = position;
  error_unit_ = unit;
}

bool TksScript::GetILCode(ovx::Stream& out) {
  SetError(QString(), QString(), QString());
  TksILParser parser(*this);
  try {
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(SourceText())) return false;
  } catch (const ovx::Error& error) {
    // An unknown dialect or a broken grammar ends the compilation like a
    // syntax error does.
    const QString text = error.ResourceName().isEmpty()
                             ? error.Text()
                             : ovx::ScriptMessage(error.ResourceName(), error.Text());
    SetError(error.MessageFrom(text), error_pos_, error_unit_);
    return false;
  }
  TksXMLDocument& tree = const_cast<TksXMLDocument&>(parser.ILScript());
  tree.SetAutoIndent(true);
  tree.SaveToStream(out);
  return true;
}

namespace {

QString ErrorText(const ovx::Error& error) {
  return error.ResourceName().isEmpty()
             ? error.Text()
             : error.MessageFrom(ovx::ScriptMessage(error.ResourceName(), error.Text()));
}

}  // namespace

bool TksScript::Compile() {
  SetError(QString(), QString(), QString());
  compiled_ = false;
  TksILParser parser(*this);
  try {
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(SourceText())) {
      if (error_msg_.isEmpty()) SetError(QStringLiteral("Syntax error"), QString(), QString());
      return false;
    }
    program_->SetHost(Scope(), SourceText());
    program_->SetUnitSources(parser.UnitTexts());
    program_->SetNameResolver(name_resolver_);
    program_->Build(*parser.ILScript().Root(), parser.Language(), parser.DeclareVars());
  } catch (const ovx::ScriptError& error) {
    SetError(error.message, error.pos, error.unit);
    return false;
  } catch (const ovx::Error& error) {
    SetError(ErrorText(error), QString(), QString());
    return false;
  }
  compiled_ = true;
  return true;
}

bool TksScript::Execute() {
  SetError(QString(), QString(), QString());
  if (!compiled_) {
    SetError(QStringLiteral("Script is not compiled"), QString(), QString());
    return false;
  }
  try {
    program_->Execute();
  } catch (const ovx::ScriptError& error) {
    SetError(error.message, error.pos, error.unit);
    return false;
  } catch (const std::bad_alloc&) {
    SetError(QStringLiteral("Out of memory"), QString(), QString());
    return false;
  }
  return true;
}

void TksScript::Terminate() { program_->Terminate(); }

void TksScript::SetOnRunLine(std::function<void(const QString& pos)> event) {
  if (!event) {
    on_run_line_ = nullptr;
    return;
  }
  on_run_line_ = [event = std::move(event)](TksScript&, const QString&, const QString& pos) {
    event(pos);
  };
}

void TksScript::SetOnRunLine(RunLineEvent event) { on_run_line_ = std::move(event); }

ovx::ScriptValue TksScript::Evaluate(const QString& expression) {
  evaluate_failed_ = false;
  struct Evaluating {
    int& depth;
    explicit Evaluating(int& d) : depth(d) { ++depth; }
    ~Evaluating() { --depth; }
  } evaluating{evaluating_};
  // The expression is parsed as the right side of an assignment in the
  // script's dialect, and only that side is compiled.
  const QString lang = syntax_type_.toLower();
  QString text;
  if (lang == u"pascalscript")
    text = QStringLiteral("begin\r\nx := ") + expression + QStringLiteral("\r\nend.");
  else if (lang == u"c++script")
    text = QStringLiteral("{\r\nx = ") + expression + QStringLiteral("\r\n;}");
  else if (lang == u"jscript")
    text = QStringLiteral("x = ") + expression + QStringLiteral("\r\n;");
  else
    text = QStringLiteral("x = ") + expression;
  const QString saved_msg = error_msg_, saved_pos = error_pos_, saved_unit = error_unit_;
  auto fail = [&](QString message) {
    evaluate_failed_ = true;
    SetError(saved_msg, saved_pos, saved_unit);
    return ovx::ScriptValue::String(message);
  };
  try {
    TksILParser parser(*this);
    parser.SelectLanguage(syntax_type_);
    if (!parser.MakeILScript(ovx::ScriptSourceText(text))) return fail(error_msg_);
    // The first assignment's right side.
    std::function<const TksXMLItem*(const TksXMLItem&)> find =
        [&](const TksXMLItem& item) -> const TksXMLItem* {
      if (item.Name() == u"assignstmt") {
        for (int i = 0; i < item.Count(); ++i)
          if (item.Items(i)->Name() == u"expr") return item.Items(i);
      }
      for (int i = 0; i < item.Count(); ++i)
        if (const TksXMLItem* found = find(*item.Items(i))) return found;
      return nullptr;
    };
    if (!compiled_) {
      // Without a program the expression still reads in its dialect.
      TksXMLItem empty;
      empty.SetName(QStringLiteral("program"));
      program_->SetHost(Scope(), ovx::ScriptSourceText(text));
      program_->Build(empty, parser.Language(), parser.DeclareVars());
      compiled_ = true;
    }
    const TksXMLItem* expr = find(*parser.ILScript().Root());
    if (!expr)
      return fail(ovx::ScriptMessage(QStringLiteral("SExpressionExpected"),
                                     QStringLiteral("Expression expected")));
    SetError(saved_msg, saved_pos, saved_unit);
    return program_->EvaluateTree(*expr, ovx::ScriptSourceText(text));
  } catch (const ovx::ScriptError& error) {
    return fail(error.message);
  } catch (const ovx::Error& error) {
    return fail(ErrorText(error));
  }
}

ovx::ScriptValue TksScript::CallFunction(const QString& name, std::vector<ovx::ScriptValue>& args) {
  return program_->CallFunction(name, args);
}

// ---- registrations ----------------------------------------------------------------

namespace {

QStringList SplitNames(const QString& names) {
  QStringList list;
  for (const QString& part : names.split(u',')) {
    const QString name = part.trimmed();
    if (!name.isEmpty()) list << name;
  }
  return list;
}

}  // namespace

TksScript& TksScript::GlobalUnit() {
  static const std::unique_ptr<TksScript> unit = [] {
    auto script = std::make_unique<TksScript>();
    script->AddRTTI();
    return script;
  }();
  return *unit;
}

void TksScript::AddRTTI() {
  if (rtti_added_) return;
  rtti_added_ = true;
  added_by_ = 1;
  for (const auto& module : ovx::ScriptRttiModules()) module(*this);
  added_by_ = 0;
}

ovx::ScriptScope TksScript::Scope() const {
  ovx::ScriptScope scope;
  bool rtti = false;
  int depth = 0;
  for (const TksScript* s = this; s && depth < 64; s = s->parent_, ++depth) {
    scope.chain.push_back(&s->registry_);
    rtti = rtti || s->rtti_added_;
  }
  if (!rtti && this != &GlobalUnit()) scope.chain.push_back(&GlobalUnit().registry_);
  return scope;
}

ovx::ScriptItem* TksScript::Find(const QString& name) const {
  // The global unit is not consulted while it registers its own modules.
  ovx::ScriptScope scope;
  int depth = 0;
  bool rtti = false;
  for (const TksScript* s = this; s && depth < 64; s = s->parent_, ++depth) {
    if (ovx::ScriptItem* item = s->registry_.FindLocal(name)) return item;
    rtti = rtti || s->rtti_added_;
  }
  if (!rtti && !added_by_) return GlobalUnit().registry_.FindLocal(name);
  return nullptr;
}

TksClassVariable* TksScript::FindClass(const QString& name) const {
  ovx::ScriptItem* item = Find(name);
  return item && item->kind == ovx::ScriptItem::Kind::kClass ? item->cls.get() : nullptr;
}

namespace {

ovx::ScriptDeclarationContext ContextOf(const TksScript& script) {
  ovx::ScriptDeclarationContext c;
  c.find_type = [&script](const QString& name, ovx::ScriptVarType* type) {
    ovx::ScriptItem* item = script.Find(name);
    if (!item ||
        (item->kind != ovx::ScriptItem::Kind::kType && item->kind != ovx::ScriptItem::Kind::kClass))
      return false;
    *type = item->type;
    return true;
  };
  c.find_const = [&script](const QString& name, ovx::ScriptValue* value) {
    ovx::ScriptItem* item = script.Find(name);
    if (!item || item->kind != ovx::ScriptItem::Kind::kConst) return false;
    *value = item->value;
    return true;
  };
  return c;
}

ovx::ScriptVarType TypeKind(const TksScript& script, const QString& type_name) {
  ovx::ScriptVarType t = ovx::ScriptVarType::kVariant;
  if (ovx::ScriptItem* item = script.Find(type_name)) {
    if (item->kind == ovx::ScriptItem::Kind::kType || item->kind == ovx::ScriptItem::Kind::kClass)
      return item->type;
  }
  if (ovx::BuiltInScriptType(type_name, &t)) return t;
  return ovx::ScriptVarType::kClass;
}

}  // namespace

void TksScript::AddType(const QString& name, ovx::ScriptVarType type) {
  if (Find(name)) return;
  auto item = std::make_unique<ovx::ScriptItem>();
  item->kind = ovx::ScriptItem::Kind::kType;
  item->name = name;
  item->type = type;
  item->type_name = name;
  item->added_by = added_by_;
  registry_.Add(std::move(item));
}

void TksScript::AddConst(const QString& name, const QString& type_name,
                         const ovx::ScriptValue& value) {
  AddValueItem(ovx::ScriptItem::Kind::kConst, name, type_name, value);
}

void TksScript::AddVariable(const QString& name, const QString& type_name,
                            const ovx::ScriptValue& value) {
  AddValueItem(ovx::ScriptItem::Kind::kVariable, name, type_name, value);
}

void TksScript::AddValueItem(ovx::ScriptItem::Kind kind, const QString& name,
                             const QString& type_name, const ovx::ScriptValue& value) {
  if (Find(name)) return;
  auto item = std::make_unique<ovx::ScriptItem>();
  item->kind = kind;
  item->name = name;
  item->type_name = type_name;
  item->type = TypeKind(*this, type_name);
  item->value = value;
  item->added_by = added_by_;
  registry_.Add(std::move(item));
}

void TksScript::AddObject(const QString& name, ovx::Persistent* object) {
  if (!object) return;
  AddVariable(name, object->GetMetaClass().ClassName(), ovx::ScriptValue::Object(object));
}

void TksScript::AddEnum(const QString& type_name, const QString& names) {
  AddType(type_name, ovx::ScriptVarType::kEnum);
  int value = 0;
  for (const QString& name : SplitNames(names))
    AddConst(name, type_name, ovx::ScriptValue::Int(value++));
}

void TksScript::AddEnumSet(const QString& type_name, const QString& names) {
  AddType(type_name, ovx::ScriptVarType::kEnum);
  qint64 value = 1;
  for (const QString& name : SplitNames(names)) {
    AddConst(name, type_name, ovx::ScriptValue::Integer(value));
    if (value < (qint64{1} << 62)) value <<= 1;
  }
}

void TksScript::AddMethod(const QString& declaration, ovx::ScriptMethodHandler handler,
                          const QString& category, const QString& description) {
  auto method = std::make_unique<ovx::ScriptMethod>();
  method->decl = ovx::ParseScriptDeclaration(declaration, ContextOf(*this));
  if (method->decl.name.isEmpty() || Find(method->decl.name)) return;
  method->syntax = declaration;
  method->category = category;
  method->description = description.isEmpty() ? method->decl.name : description;
  method->handler = std::move(handler);
  auto item = std::make_unique<ovx::ScriptItem>();
  item->kind = ovx::ScriptItem::Kind::kMethod;
  item->name = method->decl.name;
  item->type = method->decl.result_type;
  item->type_name = method->decl.result_type_name;
  item->method = std::move(method);
  item->added_by = added_by_;
  registry_.Add(std::move(item));
}

TksClassVariable* TksScript::AddClass(const QString& name, const QString& ancestor) {
  if (name.isEmpty() || Find(name)) return nullptr;
  auto item = std::make_unique<ovx::ScriptItem>();
  item->kind = ovx::ScriptItem::Kind::kClass;
  item->name = name;
  item->type = ovx::ScriptVarType::kClass;
  item->type_name = name;
  item->cls = std::make_unique<TksClassVariable>(name, nullptr, ancestor);
  item->cls->SetDeclarationContext(ContextOf(*this));
  item->added_by = added_by_;
  return registry_.Add(std::move(item))->cls.get();
}

TksClassVariable* TksScript::AddClass(const ovx::MetaClass& meta, const QString& ancestor) {
  const QString& name = meta.ClassName();
  if (name.isEmpty() || Find(name)) return nullptr;
  auto item = std::make_unique<ovx::ScriptItem>();
  item->kind = ovx::ScriptItem::Kind::kClass;
  item->name = name;
  item->type = ovx::ScriptVarType::kClass;
  item->type_name = name;
  item->cls = std::make_unique<TksClassVariable>(name, &meta, ancestor);
  item->cls->SetDeclarationContext(ContextOf(*this));
  for (const ovx::PropertyInfo* p : meta.Properties()) item->cls->AddPublished(*p);
  item->added_by = added_by_;
  return registry_.Add(std::move(item))->cls.get();
}

void TksScript::AddComponent(const QString& name, ovx::Persistent* component,
                             const QString& ancestor, const std::vector<Owned>& owned) {
  if (!component) return;
  if (TksClassVariable* cls = AddClass(component->GetMetaClass(), ancestor)) {
    for (const Owned& o : owned) cls->AddComponentMember(o.name, o.object);
  }
  AddObject(name, component);
}

void TksScript::ClearItems() {
  program_ = std::make_unique<ovx::ScriptProgram>();
  AttachProgram();
  registry_.ClearHostItems();
  compiled_ = false;
  SetError(QString(), QString(), QString());
}
