// The report script, name lookup and expression evaluation (see
// report_script.h for the design).
#include "engine/report_script.h"

#include "base/error.h"
#include "engine/aggregates.h"
#include "engine/band_tree.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/report.h"
#include "report/model/report_lists.h"
#include "report/model/view.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <optional>

namespace ovx {
namespace {

// Inherited templates name their parents; a chain of them (or a template
// that names itself) ends here.
constexpr int kMaxParentDepth = 8;
// Report variables whose expressions name other variables nest one
// expression program inside another; a template's chain ends here.
constexpr int kMaxVariableDepth = 64;

// `format` with each "%s" replaced by the next argument.
QString FormatText(const QString& format, const QStringList& args) {
  QString out;
  int next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
      if (next < args.size()) out += args[next++];
      ++i;
      continue;
    }
    out += format[i];
  }
  return out;
}

bool IsDivisionByZero(const QString& kind) {
  return kind == u"EDivByZero" || kind == u"EZeroDivide";
}

// The message of a script error with its position, for errors that leave
// a script run.
QString WithPosition(const ScriptError& error) {
  return error.pos.isEmpty() ? error.message : error.message + u' ' + error.pos;
}

}  // namespace

ReportScript::ReportScript(TovxReport& report, TovxEngine* engine, TovxPreviewPages* pages)
    : ReportScript(report, engine, pages, &report, 0) {}

ReportScript::ReportScript(TovxReport& report, TovxEngine* engine, TovxPreviewPages* pages,
                           TovxReport* objects_of, int depth)
    : report_(report), engine_(engine), pages_(pages), objects_of_(objects_of), depth_(depth) {
  // The RTTI registrations come before the objects: an object could never
  // take the name of a function or class from them anyway, and names that
  // scripts use most are found without asking for an object.
  rtti_.SetExtendedCharset(true);
  rtti_.AddRTTI();
  objects_.SetExtendedCharset(true);
  rtti_.SetParent(&objects_);
  script_.SetExtendedCharset(true);
  script_.SetParent(&rtti_);
  cache_.SetNameResolver(
      [this](const QString& name, ScriptValue& value) { return GetReportValue(name, value); });
}

ReportScript::~ReportScript() {
  if (report_.Evaluator() == this) report_.SetEvaluator(nullptr);
}

QString ReportScript::Text(const char* name) const {
  const QString key = QString::fromLatin1(name);
  return engine_ ? engine_->resource_text(key) : EngineText(key);
}

void ReportScript::AddError(const QString& text) { objects_of_->AddError(text); }

// --- preparation ------------------------------------------------------------------------------

bool ReportScript::PrepareParent() {
  const QString parent_name = report_.ParentReport();
  if (parent_name.isEmpty()) {
    parent_.reset();
    parent_report_.reset();
    return true;
  }
  auto fail = [&](const QString& position, const QString& message) {
    AddError(FormatText(Text("clScrError"), {QStringLiteral("Parent report: ") + parent_name +
                                                 QStringLiteral(" Line: ") + position,
                                             message}));
    return false;
  };
  if (depth_ >= kMaxParentDepth) return fail(QString(), QStringLiteral("Too many parent reports"));
  const QString base = report_.FileName().isEmpty() ? QDir::currentPath()
                                                    : QFileInfo(report_.FileName()).absolutePath();
  const QString path = QDir(base).absoluteFilePath(parent_name);
  parent_report_ = std::make_unique<TovxReport>();
  parent_report_->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  if (!parent_report_->LoadFromFile(path)) {
    return fail(QString(), QStringLiteral("Cannot find the ancestor report %1").arg(parent_name));
  }
  parent_ = std::unique_ptr<ReportScript>(
      new ReportScript(*parent_report_, engine_, pages_, objects_of_, depth_ + 1));
  parent_->host_script_ = host_script_;
  // The parent's own errors are its own: only its verdict is reported.
  const QStringList before = objects_of_->Errors();
  const bool ok = parent_->PrepareScript();
  if (ok) return true;
  objects_of_->ClearErrors();
  for (const QString& line : before) objects_of_->AddError(line);
  return fail(parent_->script_.ErrorPos(), parent_->script_.ErrorMsg());
}

void ReportScript::RegisterRunItems() {
  TovxReport& objects = *objects_of_;
  script_.AddObject(QStringLiteral("Report"), &objects);
  if (engine_) {
    script_.AddObject(QStringLiteral("Engine"), engine_);
    script_.AddObject(QStringLiteral("PreviewPages"), &engine_->Pages());
    script_.AddObject(QStringLiteral("Outline"), &engine_->Pages().Outline());
  }
  script_.AddVariable(QStringLiteral("Value"), QStringLiteral("Variant"), ScriptValue::Null());
  script_.AddVariable(QStringLiteral("Self"), QStringLiteral("TovxView"), ScriptValue::Null());
  value_item_ = script_.Registry().FindLocal(QStringLiteral("Value"));

  script_.AddMethod(QStringLiteral("function Get(Name: String): Variant"),
                    [this](ScriptMethodCall& call) {
                      const QString name = call.Arg(0).ToString();
                      ScriptValue value;
                      if (GetReportValue(name, value)) return value;
                      const int paren = name.indexOf(u'(');
                      if (paren > 0) {
                        const QString head = name.left(paren).trimmed().toUpper();
                        if (head == u"SUM" || head == u"MIN" || head == u"MAX" || head == u"AVG" ||
                            head == u"COUNT")
                          return Evaluate(name, true);
                      }
                      AddError(Text("clUnknownVar") + u' ' + name);
                      return ScriptValue::Null();
                    });
  script_.AddMethod(QStringLiteral("procedure Set(Name: String; Value: Variant)"),
                    [this](ScriptMethodCall& call) {
                      report_.Variables().SetValue(call.Arg(0).ToString(),
                                                   call.Arg(1).ToQVariant());
                      return ScriptValue::Null();
                    });
  script_.AddMethod(
      QStringLiteral("function Calc(const Expr: String): Variant"),
      [this](ScriptMethodCall& call) { return Evaluate(call.Arg(0).ToString(), true); });
  script_.AddMethod(
      QStringLiteral("macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant"),
      [this](ScriptMethodCall& call) { return MacroIIF(call.args); });
  for (const char* name : {"SUM", "AVG", "MIN", "MAX"}) {
    const QString function = QString::fromLatin1(name);
    script_.AddMethod(QStringLiteral("macrofunction %1(Expr: Variant; Band: Variant = 0; "
                                     "Flags: Integer = 0): Variant")
                          .arg(function),
                      [this, function](ScriptMethodCall& call) {
                        return Aggregate(function, call.Arg(0).ToString(), call.Arg(1).ToString(),
                                         call.Arg(2).ToString());
                      });
  }
  script_.AddMethod(
      QStringLiteral("macrofunction COUNT(Band: Variant = 0; Flags: Integer = 0): Variant"),
      [this](ScriptMethodCall& call) {
        return Aggregate(QStringLiteral("COUNT"), QString(), call.Arg(0).ToString(),
                         call.Arg(1).ToString());
      });

  // The host's functions, each answered by the host's event.
  for (const TovxReport::UserFunction& f : objects.UserFunctions()) {
    TovxReport* owner = objects_of_;
    script_.AddMethod(
        f.declaration,
        [owner](ScriptMethodCall& call) {
          if (!owner->on_user_function) {
            throw ScriptError(QStringLiteral("No handler for function %1").arg(call.method_name));
          }
          QVariantList args;
          for (const ScriptValue& v : call.args) args.append(v.ToQVariant());
          const QVariant result = owner->on_user_function(call.method_name, args);
          for (int i = 0; i < static_cast<int>(args.size()) && i < call.ArgCount(); ++i)
            call.SetArg(i, ScriptValue::FromQVariant(args[i]));
          return ScriptValue::FromQVariant(result);
        },
        f.category, f.description);
  }
}

ScriptItem* ReportScript::RegisterObject(const QString& name) {
  // Only a name a script can write may be an object's; other texts (whole
  // expressions asked as names) cost no search.
  if (!TovxComponent::IsValidName(name)) return nullptr;
  TovxComponent* object = objects_of_->FindObject(name);
  if (!object || object->Name().isEmpty()) return nullptr;
  // Inherited objects belong to the parent report's script, which names
  // them already.
  if (objects_of_ == &report_ && parent_ && object->IsAncestor()) return nullptr;
  // A name the parent report's or the host's script registers keeps its
  // meaning: AddObject then adds nothing and the lookup goes on to them.
  objects_.AddObject(object->Name(), object);
  return objects_.Registry().FindLocal(object->Name());
}

bool ReportScript::PrepareScript() {
  if (!PrepareParent()) return false;
  cache_.Clear();
  cache_.SetLanguage(report_.ScriptLanguage());
  evaluating_.clear();
  script_.ClearItems();
  value_item_ = nullptr;
  // Objects are looked up anew in every preparation (they may have been
  // renamed, deleted or added since), and only after the run's items are
  // registered: those win over an object of the same name.
  objects_.Registry().SetMissHandler({});
  objects_.ClearItems();
  objects_.SetParent(parent_ ? &parent_->script_ : host_script_);
  RegisterRunItems();
  objects_.Registry().SetMissHandler([this](const QString& name) { return RegisterObject(name); });
  // Cancelling the run stops a script between statements.
  script_.SetOnRunLine([this](const QString&) {
    if (objects_of_->Terminated()) script_.Terminate();
  });
  script_.SetLines(report_.ScriptText());
  script_.SetSyntaxType(report_.ScriptLanguage().isEmpty() ? QStringLiteral("PascalScript")
                                                           : report_.ScriptLanguage());
  if (!script_.Compile()) {
    AddError(FormatText(Text("clScrError"), {script_.ErrorPos(), script_.ErrorMsg()}));
    return false;
  }
  return true;
}

bool ReportScript::Start() {
  if (!PrepareScript()) return false;
  if (report_.on_after_script_compile) report_.on_after_script_compile(report_);
  bool ok = false;
  try {
    ok = script_.Execute();
  } catch (const Error& error) {
    // An expression or host call that failed inside the main block has
    // listed itself already.
    AddError(error.Message());
    return false;
  } catch (const std::exception& error) {
    AddError(QString::fromUtf8(error.what()));
    return false;
  }
  if (!ok) {
    AddError(script_.ErrorPos().isEmpty() ? script_.ErrorMsg()
                                          : script_.ErrorMsg() + u' ' + script_.ErrorPos());
  }
  return ok;
}

// --- names and expressions ----------------------------------------------------------------------

bool ReportScript::GetReportValue(const QString& name, QVariant& value) {
  ScriptValue v;
  if (!GetReportValue(name, v)) return false;
  value = v.ToQVariant();
  return true;
}

bool ReportScript::GetReportValue(const QString& name, ScriptValue& value) {
  TovxReport& report = *objects_of_;
  // 1. DataSet."Field": only a name that ends in the field's closing quote.
  const qsizetype split = name.indexOf(QStringLiteral(".\""));
  if (split > 0 && name.size() > split + 2 && name.endsWith(u'"')) {
    const QString set_name = name.left(split);
    const QString field = name.mid(split + 2, name.size() - split - 3);
    if (TovxDataSet* data_set = FindDataSet(report, set_name)) {
      QVariant v = data_set->Value(field);
      if ((!v.isValid() || v.isNull()) && report.EngineOptions().ConvertNulls()) {
        switch (data_set->FieldType(field)) {
          case TovxFieldType::fftString:
            v = QVariant(QStringLiteral(""));
            break;
          case TovxFieldType::fftBoolean:
            v = false;
            break;
          default:
            v = 0;
        }
      }
      value = ScriptValue::FromQVariant(v);
      return true;
    }
  }
  // 2. System variables.
  const QStringList& system = report.SystemVariables();
  for (qsizetype i = 0; i < system.size(); ++i) {
    if (system[i].compare(name, Qt::CaseInsensitive) != 0) continue;
    const QString key = system[i].toLower();
    if (key == u"date") {
      value = ScriptValue::FromQVariant(
          QVariant(engine_ ? engine_->StartDate().startOfDay() : QDateTime()));
    } else if (key == u"time") {
      const QTime t = engine_ ? engine_->StartTime() : QTime();
      value = ScriptValue::Float(t.isValid() ? t.msecsSinceStartOfDay() / 86400000.0 : 0);
    } else if (key == u"page") {
      value = ScriptValue::Int(pages_ ? pages_->LogicalPageNo() : 0);
    } else if (key == u"page#") {
      value = ScriptValue::Int(pages_ ? pages_->CurPage() + 1 : 0);
    } else if (key == u"totalpages") {
      value = ScriptValue::Int(pages_ ? pages_->LogicalTotalPages() : 0);
    } else if (key == u"totalpages#") {
      value = ScriptValue::Int(engine_ ? engine_->TotalPages() : 0);
    } else if (key == u"line") {
      value = ScriptValue::Int(engine_ ? engine_->CurLine() : 0);
    } else if (key == u"line#") {
      value = ScriptValue::Int(engine_ ? engine_->CurLineThrough() : 0);
    } else if (key == u"copyname#") {
      value = ScriptValue::FromQVariant(GlobalVariables().Value(QStringLiteral("CopyName0")));
    } else {
      // Table rows and columns belong to cross tables, which no report
      // object of this library makes.
      value = ScriptValue::Int(0);
    }
    return true;
  }
  // 3. The host.
  if (report.on_get_value || report.on_new_get_value) {
    QVariant v;
    if (report.on_get_value) report.on_get_value(name, v);
    if (!v.isValid() && report.on_new_get_value) report.on_new_get_value(report, name, v);
    if (v.isValid()) {
      value = ScriptValue::FromQVariant(v);
      return true;
    }
  }
  // 4. Report variables; the text of one is an expression.
  const int index = report.Variables().IndexOf(name);
  if (index >= 0) {
    const QVariant v = report.Variables().Items(index).Value();
    const bool expression =
        v.metaType().id() == QMetaType::QString && !v.toString().contains(QStringLiteral("\r\n"));
    if (!expression) {
      value = ScriptValue::FromQVariant(v);
      return true;
    }
    const QString key = name.toLower();
    if (evaluating_.contains(key)) {
      // A variable whose value needs itself has none.
      AddError(Text("clUnknownVar") + u' ' + name);
      value = ScriptValue::Null();
      return true;
    }
    if (evaluating_.size() >= kMaxVariableDepth) {
      const QString text = QStringLiteral("Report variables nested too deeply (%1): %2")
                               .arg(kMaxVariableDepth)
                               .arg(name);
      AddError(text);
      throw Error(QString(), text);
    }
    evaluating_.insert(key);
    struct Done {
      QSet<QString>& set;
      QString key;
      ~Done() { set.remove(key); }
    } done{evaluating_, key};
    value = Evaluate(v.toString(), false);
    return true;
  }
  // 5. Global variables.
  if (std::optional<QVariant> global = GlobalVariables().Find(name)) {
    value = ScriptValue::FromQVariant(*global);
    return true;
  }
  // 6. The locals of the report script's routine running now (an
  // expression or IIF evaluated inside it), then its own variables and
  // the report's objects.
  if (script_.Program().ActiveLocal(name, value)) return true;
  ScriptItem* item = script_.Registry().FindLocal(name);
  if (!item) item = objects_.Registry().FindLocal(name);
  if (item) {
    if (item->kind == ScriptItem::Kind::kVariable || item->kind == ScriptItem::Kind::kConst) {
      value = item->value;
      return true;
    }
    return false;
  }
  for (const ScriptVariableInfo& variable : script_.Program().Variables()) {
    if (variable.name.compare(name, Qt::CaseInsensitive) == 0) {
      value = variable.value;
      return true;
    }
  }
  return false;
}

ScriptValue ReportScript::Evaluate(const QString& expression, bool from_script) {
  ScriptValue value;
  if (GetReportValue(expression, value)) return value;
  // The same text in different routines is compiled apart.
  const QString routine = script_.Program().ActiveRoutine();
  const QString key = routine.isEmpty() ? expression : routine + u'.' + expression;
  TovxExpressionCache::Result result = cache_.Evaluate(key, expression, script_);
  if (result.error.isEmpty()) return result.value;
  if (!result.compile_error && IsDivisionByZero(result.error_kind) &&
      objects_of_->EngineOptions().IgnoreDevByZero()) {
    return ScriptValue::Null();
  }
  QString text = Text("clExprError") + QStringLiteral(" '") + expression + QStringLiteral("': ") +
                 result.error;
  if (from_script) {
    throw ScriptError(Text("clErrorInExp") + text, result.error_kind.isEmpty()
                                                       ? QStringLiteral("Exception")
                                                       : result.error_kind);
  }
  if (TovxComponent* current = objects_of_->CurrentObject()) {
    if (!current->Name().isEmpty()) text = current->Name() + QStringLiteral(": ") + text;
  }
  AddError(text);
  throw Error(QString(), text);
}

QVariant ReportScript::Calc(const QString& expression, TovxComponent* context) {
  // The object whose text holds the expression names the error.
  TovxComponent* saved = objects_of_->CurrentObject();
  if (context) objects_of_->SetCurrentObject(context);
  struct Restore {
    TovxReport& report;
    TovxComponent* object;
    ~Restore() { report.SetCurrentObject(object); }
  } restore{*objects_of_, saved};
  return Evaluate(expression, false).ToQVariant();
}

void ReportScript::MemoValue(const QVariant& value) {
  if (value_item_) value_item_->value = ScriptValue::FromQVariant(value);
}

ScriptValue ReportScript::MacroIIF(const std::vector<ScriptValue>& args) {
  auto text = [&](size_t i) { return i < args.size() ? args[i].ToString() : QString(); };
  // A failing part is listed and gives Null; the branch not chosen is
  // never evaluated.
  try {
    const ScriptValue condition = Evaluate(text(0), false);
    const bool chosen = condition.kind() == ScriptValue::Kind::kBool && condition.ToBool();
    return Evaluate(text(chosen ? 1 : 2), false);
  } catch (const Error&) {
    return ScriptValue::Null();
  } catch (const ScriptError&) {
    return ScriptValue::Null();
  }
}

ScriptValue ReportScript::Aggregate(const QString& function, const QString& expression,
                                    const QString& band_text, const QString& flags_text) {
  TovxBand* band = nullptr;
  if (!band_text.trimmed().isEmpty() && band_text.trimmed() != u"0") {
    const ScriptValue v = Evaluate(band_text, true);
    band = dynamic_cast<TovxBand*>(v.ObjectPointer());
  }
  int flags = 0;
  if (!flags_text.trimmed().isEmpty()) flags = Evaluate(flags_text, true).ToInt32();
  if (!engine_) return ScriptValue::Null();
  return ScriptValue::FromQVariant(engine_->AggregateValue(function, expression, band, flags));
}

// --- events -----------------------------------------------------------------------------------

bool ReportScript::FindRoutine(const QString& name, TksScript*& script) {
  for (ReportScript* s = this; s; s = s->parent_.get()) {
    if (s->script_.Program().HasRoutine(name)) {
      script = &s->script_;
      return true;
    }
  }
  return false;
}

void ReportScript::CallParamEvent(const QString& procedure, std::vector<ScriptValue>& args,
                                  bool force) {
  if (procedure.isEmpty() || !(force || (engine_ && engine_->Running()))) return;
  TksScript* script = nullptr;
  if (!FindRoutine(procedure, script)) {
    throw Error(QString(), QStringLiteral("Undeclared identifier: %1").arg(procedure));
  }
  try {
    script->CallFunction(procedure, args);
  } catch (const ScriptError& error) {
    throw Error(QString(), WithPosition(error));
  } catch (const Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw Error(QString(), QStringLiteral("Out of memory"));
  } catch (const std::exception& error) {
    throw Error(QString(), QString::fromUtf8(error.what()));
  }
}

void ReportScript::CallNotifyEvent(TovxComponent& object, const QString& procedure, bool force) {
  std::vector<ScriptValue> args{ScriptValue::Object(&object)};
  CallParamEvent(procedure, args, force);
}

bool ReportScript::PreviewClick(TovxView& view, bool double_click, int button, int shift) {
  const QString procedure = view.EventHandler(double_click ? TovxView::Event::kOnPreviewDblClick
                                                           : TovxView::Event::kOnPreviewClick);
  if (procedure.isEmpty()) return false;
  std::vector<ScriptValue> args{ScriptValue::Object(&view), ScriptValue::Int(button),
                                ScriptValue::Int(shift), ScriptValue::Bool(false)};
  // The preview shows a finished run: the engine is idle, so the event is
  // forced.
  CallParamEvent(procedure, args, true);
  return args[3].kind() == ScriptValue::Kind::kBool && args[3].ToBool();
}

}  // namespace ovx
