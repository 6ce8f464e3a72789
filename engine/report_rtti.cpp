#include "engine/report_rtti.h"

#include <QSet>

#include <functional>
#include <mutex>
#include <vector>

#include "base/class_registry.h"
#include "base/error.h"
#include "base/meta_class.h"
#include "base/object_handle.h"
#include "base/rounding.h"
#include "base/stream.h"
#include "engine/custom_engine.h"
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "engine/report_script.h"
#include "report/model/band.h"
#include "report/model/classes.h"
#include "report/model/data_set.h"
#include "report/model/fill.h"
#include "report/model/format.h"
#include "report/model/highlight.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"
#include "report/model/report_lists.h"
#include "report/model/report_preparation.h"
#include "report/model/styles.h"
#include "report/model/view.h"
#include "script/classes_internal.h"
#include "script/classes_module.h"
#include "script/forms_module.h"
#include "script/graphics_module.h"
#include "script/messages.h"
#include "script/registry.h"
#include "script/script.h"
#include "script/sys_functions_internal.h"

namespace ovx {
namespace {

using V = ScriptValue;

// Nested ShowBand calls from scripts (a band's event showing the band
// again) would otherwise recurse until the stack runs out.
constexpr int kMaxScriptShowBandDepth = 64;

// What a script may read into a picture or a style sheet from a file; the
// host's file access refuses anything larger before reading it.
constexpr qint64 kMaxScriptPictureBytes = qint64{64} << 20;
constexpr qint64 kMaxScriptStyleSheetBytes = qint64{16} << 20;

QString Msg(const char* name, const char* built_in) {
  return ScriptMessage(QString::fromLatin1(name), QString::fromLatin1(built_in));
}

[[noreturn]] void InvalidObject(const V& v) {
  throw ScriptError(
      Msg("rsScriptInvalidObject", "Invalid object reference: %1")
          .arg(v.kind() == V::Kind::kNull || v.kind() == V::Kind::kEmpty ? QStringLiteral("nil")
                                                                         : v.ToString()),
      QStringLiteral("EInvalidPointer"));
}

// The object a member was reached through; an object that is gone (or one
// of another class) is a script error, never an address.
template <class T>
T& Self(const ScriptMethodCall& call) {
  auto* object = dynamic_cast<T*>(call.instance.ObjectPointer());
  if (!object) InvalidObject(call.instance);
  return *object;
}

// Argument `i` as an object of class T; nil gives null. A live object of
// another class is refused by name rather than used as the wrong thing.
template <class T>
T* ObjectArg(const ScriptMethodCall& call, int i, const char* expected) {
  const V v = call.Arg(i);
  if (v.kind() == V::Kind::kNull || v.kind() == V::Kind::kEmpty) return nullptr;
  if (v.IsIntegral() && v.ToInt64() == 0) return nullptr;
  Persistent* p = v.kind() == V::Kind::kObject ? v.ObjectPointer()
                  : v.IsIntegral()             ? ObjectFromHandle(v.ToInt64())
                                               : nullptr;
  if (!p) InvalidObject(v);
  auto* object = dynamic_cast<T*>(p);
  if (!object) {
    throw ScriptError(
        Msg("rsScriptArgumentClass", "Invalid argument to %1: %2 expected, %3 given")
            .arg(call.method_name, QString::fromLatin1(expected), p->GetMetaClass().ClassName()),
        QStringLiteral("EInvalidCast"));
  }
  return object;
}

// Library failures (file errors, no engine) reach the script as errors it
// may catch, with the library's own text.
template <class F>
auto Guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const Error& error) {
    throw ScriptError(error.Message(), QStringLiteral("Exception"));
  }
}

// Loading or clearing the report a run is walking would free the objects
// under the engine.
void RefuseWhileRunning(TovxReport& report, const ScriptMethodCall& call) {
  ReportPreparation* preparation = report.Preparation();
  if (preparation && preparation->Running()) {
    throw ScriptError(
        Msg("rsScriptReportRunning", "%1 cannot be called while the report is being prepared")
            .arg(call.method_name),
        QStringLiteral("EInvalidOperation"));
  }
}

// ---- classes and enumerations from the metadata ------------------------------

// Every class a script may meet: the report classes, the engine state, the
// value objects they hold (fonts, frames, fills, options) and the
// ancestors of all of these, each ancestor before its descendants.
std::vector<const MetaClass*> ScriptedClasses() {
  std::vector<const MetaClass*> out;
  QSet<const MetaClass*> seen;
  std::vector<const MetaClass*> pending;
  auto push = [&](const MetaClass* meta) {
    if (meta && !seen.contains(meta)) pending.push_back(meta);
  };
  std::function<void(const MetaClass*)> add = [&](const MetaClass* meta) {
    if (!meta || seen.contains(meta)) return;
    add(meta->Parent());
    if (seen.contains(meta)) return;
    seen.insert(meta);
    out.push_back(meta);
    for (const PropertyInfo* p : meta->Properties())
      if (p->kind == PropertyKind::kObject || p->kind == PropertyKind::kReference)
        push(p->ValueClass());
  };
  for (const MetaClass* meta : ReportClasses().Classes()) push(meta);
  for (const MetaClass* meta :
       {&TovxCustomEngine::StaticMetaClass(), &TovxBrushFill::StaticMetaClass(),
        &TovxGradientFill::StaticMetaClass(), &TovxGlassFill::StaticMetaClass(),
        &TovxFormat::StaticMetaClass(), &TovxHighlight::StaticMetaClass(),
        &TovxStyleItem::StaticMetaClass(), &TovxVariable::StaticMetaClass(),
        &TovxDataSetItem::StaticMetaClass(), &TovxMemoLines::StaticMetaClass(),
        &TovxPreviewPages::StaticMetaClass(), &TovxOutline::StaticMetaClass(),
        &TovxPostProcessor::StaticMetaClass(), &TovxMacroList::StaticMetaClass(),
        &TovxStyles::StaticMetaClass(), &TovxPicture::StaticMetaClass()})
    push(meta);
  // Value classes found while adding are added in turn.
  for (size_t i = 0; i < pending.size(); ++i) add(pending[i]);
  return out;
}

// The enumerations and sets the published properties use, by their type
// names, in the order met; the names and values come from the OVX_ENUM
// tables themselves.
void RegisterEnumerations(TksScript& script, const std::vector<const MetaClass*>& classes) {
  for (const MetaClass* meta : classes) {
    for (const PropertyInfo* p : meta->Properties()) {
      if (!p->enum_type || p->type_name.isEmpty()) continue;
      const QString names = [&] {
        QStringList list;
        for (const QString& v : p->enum_type->Values()) list << v;
        return list.join(QStringLiteral(", "));
      }();
      if (p->kind == PropertyKind::kSet) {
        script.AddEnumSet(p->type_name, names);
      } else if (p->kind == PropertyKind::kEnumeration && p->enum_type != &BooleanType()) {
        script.AddEnum(p->type_name, names);
      }
    }
  }
}

// ---- methods ---------------------------------------------------------------------

void AddComponentMembers(TksClassVariable& cls) {
  using C = TovxComponent;
  cls.AddMethod(
      QStringLiteral("function FindObject(const AName: String): TovxComponent"),
      [](ScriptMethodCall& c) { return V::Object(Self<C>(c).FindObject(c.Arg(0).ToString())); });
  cls.AddMethod(QStringLiteral("procedure SetBounds(ALeft, ATop, AWidth, AHeight: Extended)"),
                [](ScriptMethodCall& c) {
                  C& self = Self<C>(c);
                  const double l = c.Arg(0).ToFloat(), t = c.Arg(1).ToFloat(),
                               w = c.Arg(2).ToFloat(), h = c.Arg(3).ToFloat();
                  self.SetBounds(l, t, w, h);
                  return V();
                });
  // Report objects are owned by their parent; a script reads the tree but
  // does not move objects between trees.
  for (const char* name : {"Parent", "Owner"}) {
    cls.AddProperty(QString::fromLatin1(name), QStringLiteral("TovxComponent"),
                    [](ScriptMethodCall& c) { return V::Object(Self<C>(c).Parent()); });
  }
  cls.AddProperty(QStringLiteral("Page"), QStringLiteral("TovxPage"),
                  [](ScriptMethodCall& c) { return V::Object(Self<C>(c).Page()); });
  cls.AddProperty(QStringLiteral("Report"), QStringLiteral("TovxReport"),
                  [](ScriptMethodCall& c) { return V::Object(Self<C>(c).Report()); });
  cls.AddProperty(QStringLiteral("AbsLeft"), QStringLiteral("Extended"),
                  [](ScriptMethodCall& c) { return V::Float(Self<C>(c).AbsLeft()); });
  cls.AddProperty(QStringLiteral("AbsTop"), QStringLiteral("Extended"),
                  [](ScriptMethodCall& c) { return V::Float(Self<C>(c).AbsTop()); });
  cls.AddProperty(QStringLiteral("ObjectCount"), QStringLiteral("Integer"),
                  [](ScriptMethodCall& c) {
                    return V::Integer(static_cast<qint64>(Self<C>(c).Objects().size()));
                  });
  cls.AddIndexProperty(
      QStringLiteral("Objects"), QStringLiteral("Integer"), QStringLiteral("TovxComponent"),
      [](ScriptMethodCall& c) {
        const auto& objects = Self<C>(c).Objects();
        const qint64 i = c.Arg(0).ToInt64();
        if (i < 0 || i >= static_cast<qint64>(objects.size())) {
          throw ScriptError(Msg("SListIndexError", "List index out of bounds (%1)").arg(i),
                            QStringLiteral("EListError"));
        }
        return V::Object(objects[static_cast<size_t>(i)]);
      },
      true);
}

// Lines as the memo holds them; a text splits at CR LF, CR or LF, and a
// break after the last line makes no empty line.
QStringList SplitLines(const QString& text) {
  QStringList lines;
  QString line;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar ch = text[i];
    if (ch == u'\r' || ch == u'\n') {
      lines << line;
      line.clear();
      if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line += ch;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

qsizetype LineIndex(const QStringList& lines, const V& v, bool allow_end) {
  const qint64 i = v.ToInt64();
  if (i < 0 || i > lines.size() || (i == lines.size() && !allow_end)) {
    throw ScriptError(Msg("SListIndexError", "List index out of bounds (%1)").arg(i),
                      QStringLiteral("EListError"));
  }
  return static_cast<qsizetype>(i);
}

// `Memo` is published as a wide string list: scripts get the memo's lines
// object, and set it from another one or from a text. Every memo class
// publishes it again, so each gets the member.
void AddMemoListProperty(TksClassVariable& memo) {
  using M = TovxCustomMemoView;
  memo.ReplaceProperty(
      QStringLiteral("Memo"), QStringLiteral("TWideStrings"),
      [](ScriptMethodCall& c) { return V::Object(&Self<M>(c).LinesObject()); },
      [](ScriptMethodCall& c, const V& v) {
        if (v.kind() == V::Kind::kObject) {
          auto* lines = dynamic_cast<TovxMemoLines*>(v.ObjectPointer());
          if (!lines)
            throw ScriptError(QStringLiteral("Invalid class typecast"),
                              QStringLiteral("EInvalidCast"));
          Self<M>(c).SetMemo(QStringList(lines->Memo().Memo()));
          return;
        }
        Self<M>(c).SetMemo(SplitLines(v.ToString()));
      });
}

void AddMemoMembers(TksClassVariable& memo, TksClassVariable* lines) {
  using M = TovxCustomMemoView;
  memo.AddProperty(QStringLiteral("Lines"), QStringLiteral("TWideStrings"),
                   [](ScriptMethodCall& c) { return V::Object(&Self<M>(c).LinesObject()); });
  memo.AddProperty(
      QStringLiteral("Text"), QStringLiteral("String"),
      [](ScriptMethodCall& c) { return V::String(Self<M>(c).Text()); },
      [](ScriptMethodCall& c, const V& v) { Self<M>(c).SetMemo(SplitLines(v.ToString())); });
  if (!lines) return;

  // Every call finds the memo through the lines object, which dies with it.
  auto memo_of = [](ScriptMethodCall& c) -> M& { return Self<TovxMemoLines>(c).Memo(); };
  lines->AddMethod(QStringLiteral("function Add(const S: String): Integer"),
                   [memo_of](ScriptMethodCall& c) {
                     M& m = memo_of(c);
                     QStringList l = m.Memo();
                     l << c.Arg(0).ToString();
                     m.SetMemo(l);
                     return V::Integer(l.size() - 1);
                   });
  lines->AddMethod(QStringLiteral("procedure Clear"), [memo_of](ScriptMethodCall& c) {
    memo_of(c).SetMemo({});
    return V();
  });
  lines->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"),
                   [memo_of](ScriptMethodCall& c) {
                     M& m = memo_of(c);
                     QStringList l = m.Memo();
                     l.removeAt(LineIndex(l, c.Arg(0), false));
                     m.SetMemo(l);
                     return V();
                   });
  lines->AddMethod(QStringLiteral("procedure Insert(Index: Integer; const S: String)"),
                   [memo_of](ScriptMethodCall& c) {
                     M& m = memo_of(c);
                     QStringList l = m.Memo();
                     l.insert(LineIndex(l, c.Arg(0), true), c.Arg(1).ToString());
                     m.SetMemo(l);
                     return V();
                   });
  lines->AddMethod(QStringLiteral("function IndexOf(const S: String): Integer"),
                   [memo_of](ScriptMethodCall& c) {
                     const QStringList& l = memo_of(c).Memo();
                     const QString s = c.Arg(0).ToString();
                     for (qsizetype i = 0; i < l.size(); ++i)
                       if (l[i].compare(s, Qt::CaseInsensitive) == 0) return V::Integer(i);
                     return V::Int(-1);
                   });
  lines->AddProperty(
      QStringLiteral("Count"), QStringLiteral("Integer"),
      [memo_of](ScriptMethodCall& c) { return V::Integer(memo_of(c).Memo().size()); });
  lines->AddProperty(
      QStringLiteral("Text"), QStringLiteral("String"),
      [memo_of](ScriptMethodCall& c) { return V::String(memo_of(c).Text()); },
      [memo_of](ScriptMethodCall& c, const V& v) { memo_of(c).SetMemo(SplitLines(v.ToString())); });
  lines->AddDefaultProperty(QStringLiteral("Strings"), QStringLiteral("Integer"),
                            QStringLiteral("String"), [memo_of](ScriptMethodCall& c) {
                              M& m = memo_of(c);
                              QStringList l = m.Memo();
                              const qsizetype i = LineIndex(l, c.Arg(0), false);
                              if (c.method_name.endsWith(QLatin1String(".SET"))) {
                                l[i] = c.Arg(1).ToString();
                                m.SetMemo(l);
                                return V();
                              }
                              return V::String(l[i]);
                            });
}

void AddReportMembers(TksClassVariable& cls) {
  using R = TovxReport;
  cls.AddMethod(QStringLiteral("function LoadFromFile(const FileName: String): Boolean"),
                [](ScriptMethodCall& c) {
                  R& r = Self<R>(c);
                  RefuseWhileRunning(r, c);
                  const QString file = c.Arg(0).ToString();
                  return V::Bool(Guarded([&] { return r.LoadFromFile(file); }));
                });
  cls.AddMethod(QStringLiteral("procedure SaveToFile(const FileName: String)"),
                [](ScriptMethodCall& c) {
                  R& r = Self<R>(c);
                  const QString file = c.Arg(0).ToString();
                  Guarded([&] { r.SaveToFile(file); });
                  return V();
                });
  cls.AddMethod(QStringLiteral("function PrepareReport(ClearLastReport: Boolean = True): Boolean"),
                [](ScriptMethodCall& c) {
                  R& r = Self<R>(c);
                  RefuseWhileRunning(r, c);
                  const bool clear = c.Arg(0).ToBool();
                  return V::Bool(Guarded([&] { return r.PrepareReport(clear); }));
                });
  cls.AddMethod(QStringLiteral("procedure ShowReport(ClearLastReport: Boolean = True)"),
                [](ScriptMethodCall& c) {
                  R& r = Self<R>(c);
                  RefuseWhileRunning(r, c);
                  const bool clear = c.Arg(0).ToBool();
                  Guarded([&] { return r.ShowReport(clear); });
                  return V();
                });
  cls.AddMethod(QStringLiteral("procedure ShowPrepared"), [](ScriptMethodCall& c) {
    R& r = Self<R>(c);
    Guarded([&] { r.ShowPrepared(); });
    return V();
  });
  cls.AddMethod(
      QStringLiteral("function GetDataset(const Alias: String): TovxDataSet"),
      [](ScriptMethodCall& c) { return V::Object(Self<R>(c).GetDataset(c.Arg(0).ToString())); });
  // Streams are the script's own (TMemoryStream, TFileStream); the report
  // reads from the stream's position to its end.
  cls.AddMethod(
      QStringLiteral("function LoadFromStream(Stream: TStream): Boolean"), [](ScriptMethodCall& c) {
        R& r = Self<R>(c);
        RefuseWhileRunning(r, c);
        MemoryStream input(classes::ReadRest(classes::ArgObject<classes::StreamObject>(c, 0)));
        return V::Bool(Guarded([&] { return r.LoadFromStream(input); }));
      });
  cls.AddMethod(QStringLiteral("procedure SaveToStream(Stream: TStream)"), [](ScriptMethodCall& c) {
    R& r = Self<R>(c);
    classes::StreamObject& stream = classes::ArgObject<classes::StreamObject>(c, 0);
    MemoryStream output;
    Guarded([&] { r.SaveToStream(output); });
    classes::WriteBytes(stream, output.Data());
    return V();
  });
  cls.AddMethod(QStringLiteral("function Calc(const Expr: String): Variant"),
                [](ScriptMethodCall& c) {
                  ReportScript* scripting = ReportScripting(Self<R>(c));
                  if (!scripting) {
                    throw ScriptError(
                        Msg("rsScriptNoScripting", "%1: the report evaluates no expressions here")
                            .arg(c.method_name),
                        QStringLiteral("EInvalidOperation"));
                  }
                  return scripting->Evaluate(c.Arg(0).ToString(), true);
                });
  cls.AddProperty(QStringLiteral("Styles"), QStringLiteral("TovxStyles"),
                  [](ScriptMethodCall& c) { return V::Object(&Self<R>(c).Styles()); });
  cls.AddIndexProperty(QStringLiteral("Variables"), QStringLiteral("String"),
                       QStringLiteral("Variant"), [](ScriptMethodCall& c) {
                         TovxVariables& variables = Self<R>(c).Variables();
                         const QString name = c.Arg(0).ToString();
                         if (c.method_name.endsWith(QLatin1String(".SET"))) {
                           variables.SetValue(name, c.Arg(1).ToQVariant());
                           return V();
                         }
                         const QVariant value = variables.Value(name);
                         return value.isValid() && !value.isNull() ? V::FromQVariant(value)
                                                                   : V::Null();
                       });
}

void AddDataSetMembers(TksClassVariable& cls) {
  using D = TovxDataSet;
  cls.AddMethod(QStringLiteral("procedure Open"), [](ScriptMethodCall& c) {
    Self<D>(c).Open();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure Close"), [](ScriptMethodCall& c) {
    Self<D>(c).Close();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure First"), [](ScriptMethodCall& c) {
    Self<D>(c).First();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure Next"), [](ScriptMethodCall& c) {
    Self<D>(c).Next();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure Prior"), [](ScriptMethodCall& c) {
    Self<D>(c).Prior();
    return V();
  });
  cls.AddMethod(QStringLiteral("function Eof: Boolean"),
                [](ScriptMethodCall& c) { return V::Bool(Self<D>(c).Eof()); });
  cls.AddProperty(QStringLiteral("RecNo"), QStringLiteral("Integer"),
                  [](ScriptMethodCall& c) { return V::Integer(Self<D>(c).RecNo()); });
  cls.AddProperty(QStringLiteral("Active"), QStringLiteral("Boolean"),
                  [](ScriptMethodCall& c) { return V::Bool(Self<D>(c).Active()); });
  cls.AddIndexProperty(
      QStringLiteral("Value"), QStringLiteral("String"), QStringLiteral("Variant"),
      [](ScriptMethodCall& c) {
        const QVariant v = Self<D>(c).Value(c.Arg(0).ToString());
        return v.isValid() && !v.isNull() ? V::FromQVariant(v) : V::Null();
      },
      true);
}

void AddEngineMembers(TksClassVariable& cls) {
  using E = TovxEngine;
  cls.AddMethod(QStringLiteral("procedure NewPage"), [](ScriptMethodCall& c) {
    Self<E>(c).NewPage();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure NewColumn"), [](ScriptMethodCall& c) {
    Self<E>(c).NewColumn();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure ShowBand(Band: TovxBand)"), [](ScriptMethodCall& c) {
    E& engine = Self<E>(c);
    TovxBand* band = ObjectArg<TovxBand>(c, 0, "TovxBand");
    // A band of another report is no band of this run.
    if (!band || band->Report() != &engine.Report()) return V();
    static thread_local int depth = 0;
    if (depth >= kMaxScriptShowBandDepth) {
      throw ScriptError(
          Msg("rsScriptShowBandDepth", "ShowBand nested too deeply (%1)").arg(band->Name()),
          QStringLiteral("EStackOverflow"));
    }
    ++depth;
    struct Leave {
      ~Leave() { --depth; }
    } leave;
    engine.ShowBand(band);
    return V();
  });
  cls.AddMethod(QStringLiteral("function FreeSpace: Extended"),
                [](ScriptMethodCall& c) { return V::Float(Self<E>(c).FreeSpace()); });
  cls.AddMethod(QStringLiteral("function HeaderHeight: Extended"),
                [](ScriptMethodCall& c) { return V::Float(Self<E>(c).HeaderHeight()); });
  cls.AddMethod(QStringLiteral("function FooterHeight: Extended"),
                [](ScriptMethodCall& c) { return V::Float(Self<E>(c).FooterHeight()); });
  cls.AddMethod(QStringLiteral("procedure StopReport"), [](ScriptMethodCall& c) {
    Self<E>(c).StopReport();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure AddAnchor(const Text: String)"), [](ScriptMethodCall& c) {
    E& engine = Self<E>(c);
    // Anchors belong to the pages of a run.
    if (engine.Running()) engine.AddAnchor(c.Arg(0).ToString());
    return V();
  });
  cls.AddMethod(QStringLiteral("function GetAnchorPage(const Text: String): Integer"),
                [](ScriptMethodCall& c) {
                  return V::Integer(Self<E>(c).GetAnchorPage(c.Arg(0).ToString()));
                });
  cls.AddMethod(QStringLiteral("function GetPostProcessor: TovxPostProcessor"),
                [](ScriptMethodCall& c) { return V::Object(&Self<E>(c).Pages().PostProcessor()); });
  // Only a view waiting for paCustom is evaluated; anything else does
  // nothing, as the engine's own calls do. Outside a run nothing waits, so
  // a call there is a mistake the script should hear of.
  cls.AddMethod(
      QStringLiteral("procedure ProcessObject(ReportObject: TovxView)"), [](ScriptMethodCall& c) {
        E& engine = Self<E>(c);
        TovxView* view = ObjectArg<TovxView>(c, 0, "TovxView");
        if (!view) InvalidObject(c.Arg(0));
        if (!engine.Running()) {
          throw ScriptError(
              Msg("rsScriptNotRunning", "%1 can only be called while the report is prepared")
                  .arg(c.method_name),
              QStringLiteral("EInvalidOperation"));
        }
        engine.ProcessObject(view);
        return V();
      });
}

void AddPostProcessorMembers(TksClassVariable& cls) {
  cls.AddMethod(QStringLiteral("function GetMacroList(const MacroName: String): TWideStrings"),
                [](ScriptMethodCall& c) {
                  TovxMacrosItem* list = Self<TovxPostProcessor>(c).Find(c.Arg(0).ToString());
                  return V::Object(list ? &list->ScriptList() : nullptr);
                });
}

// A value list as lines. Its members replace every member of a memo's
// lines, so none of those is ever called on it with the wrong object.
void AddMacroListMembers(TksClassVariable& cls) {
  auto list_of = [](ScriptMethodCall& c) -> TovxMacrosItem& {
    return Self<TovxMacroList>(c).List();
  };
  auto index_of = [](const TovxMacrosItem& list, const V& v) {
    const qint64 i = v.ToInt64();
    if (i < 0 || i >= list.Count()) {
      throw ScriptError(Msg("SListIndexError", "List index out of bounds (%1)").arg(i),
                        QStringLiteral("EListError"));
    }
    return static_cast<int>(i);
  };
  cls.AddProperty(QStringLiteral("Count"), QStringLiteral("Integer"),
                  [list_of](ScriptMethodCall& c) { return V::Integer(list_of(c).Count()); });
  cls.AddDefaultProperty(QStringLiteral("Strings"), QStringLiteral("Integer"),
                         QStringLiteral("String"), [list_of, index_of](ScriptMethodCall& c) {
                           TovxMacrosItem& list = list_of(c);
                           const int i = index_of(list, c.Arg(0));
                           if (c.method_name.endsWith(QLatin1String(".SET"))) {
                             list.SetEntry(i, c.Arg(1).ToString());
                             return V();
                           }
                           return V::String(list.Text(i));
                         });
  cls.AddMethod(QStringLiteral("function Add(const S: String): Integer"),
                [list_of](ScriptMethodCall& c) {
                  return V::Integer(list_of(c).Append(c.Arg(0).ToString()));
                });
  cls.AddMethod(QStringLiteral("function IndexOf(const S: String): Integer"),
                [list_of](ScriptMethodCall& c) {
                  const TovxMacrosItem& list = list_of(c);
                  const QString s = c.Arg(0).ToString();
                  for (int i = 0; i < list.Count(); ++i)
                    if (list.Text(i).compare(s, Qt::CaseInsensitive) == 0) return V::Integer(i);
                  return V::Int(-1);
                });
  cls.AddProperty(QStringLiteral("Text"), QStringLiteral("String"), [list_of](ScriptMethodCall& c) {
    const TovxMacrosItem& list = list_of(c);
    QString text;
    for (int i = 0; i < list.Count(); ++i) text += list.Text(i) + QStringLiteral("\r\n");
    return V::String(text);
  });
  for (const char* declaration : {"procedure Clear", "procedure Delete(Index: Integer)",
                                  "procedure Insert(Index: Integer; const S: String)"}) {
    cls.AddMethod(QString::fromLatin1(declaration), [list_of](ScriptMethodCall& c) -> V {
      throw ScriptError(Msg("rsScriptMacroListFixed",
                            "%1: the values of %2 keep their places, pages refer to them")
                            .arg(c.method_name, list_of(c).Name()),
                        QStringLiteral("EListError"));
    });
  }
}

// ---- style sheet and pictures ----------------------------------------------------

// A TStrings of the classes module, or a memo's lines, takes `lines`.
void FillLines(ScriptMethodCall& c, int i, const QStringList& lines) {
  const V v = c.Arg(i);
  Persistent* target = v.ObjectPointer();
  if (!target) InvalidObject(v);
  if (auto* memo_lines = dynamic_cast<TovxMemoLines*>(target)) {
    memo_lines->Memo().SetMemo(lines);
    return;
  }
  classes::SetStringsLines(*target, lines);
}

void AddStylesMembers(TksClassVariable& cls) {
  using S = TovxStyles;
  cls.AddMethod(QStringLiteral("function Add: TovxStyleItem"),
                [](ScriptMethodCall& c) { return V::Object(&Self<S>(c).Add()); });
  cls.AddMethod(
      QStringLiteral("function Find(const Name: String): TovxStyleItem"),
      [](ScriptMethodCall& c) { return V::Object(Self<S>(c).Find(c.Arg(0).ToString())); });
  cls.AddMethod(QStringLiteral("procedure Apply"), [](ScriptMethodCall& c) {
    S& styles = Self<S>(c);
    if (TovxReport* report = styles.Report()) styles.Apply(*report);
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure GetList(List: TStrings)"), [](ScriptMethodCall& c) {
    FillLines(c, 0, Self<S>(c).GetList());
    return V();
  });
  // Through the host's file access, as every file a script names.
  cls.AddMethod(QStringLiteral("procedure LoadFromFile(const FileName: String)"),
                [](ScriptMethodCall& c) {
                  S& styles = Self<S>(c);
                  const QByteArray data =
                      classes::ReadScriptFile(c.Arg(0).ToString(), kMaxScriptStyleSheetBytes);
                  Guarded([&] { styles.LoadFromData(data, styles.Report(), ReportClasses()); });
                  return V();
                });
  cls.AddMethod(QStringLiteral("procedure SaveToFile(const FileName: String)"),
                [](ScriptMethodCall& c) {
                  const QByteArray data = Self<S>(c).SaveToData(ReportClasses());
                  classes::WriteScriptFile(c.Arg(0).ToString(), data);
                  return V();
                });
  cls.AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& c) {
    Self<S>(c).Clear();
    return V();
  });
  cls.AddProperty(QStringLiteral("Count"), QStringLiteral("Integer"),
                  [](ScriptMethodCall& c) { return V::Integer(Self<S>(c).Count()); });
  cls.AddProperty(
      QStringLiteral("Name"), QStringLiteral("String"),
      [](ScriptMethodCall& c) { return V::String(Self<S>(c).Name()); },
      [](ScriptMethodCall& c, const V& v) { Self<S>(c).SetName(v.ToString()); });
  cls.AddDefaultProperty(
      QStringLiteral("Items"), QStringLiteral("Integer"), QStringLiteral("TovxStyleItem"),
      [](ScriptMethodCall& c) {
        S& styles = Self<S>(c);
        const qint64 i = c.Arg(0).ToInt64();
        if (i < 0 || i >= styles.Count()) {
          throw ScriptError(Msg("SListIndexError", "List index out of bounds (%1)").arg(i),
                            QStringLiteral("EListError"));
        }
        return V::Object(&styles.Items(static_cast<int>(i)));
      },
      true);
}

void AddPictureMembers(TksClassVariable& cls) {
  using P = TovxPicture;
  // A file of an unknown kind leaves the picture empty, as a stream of one
  // does, and says so.
  cls.AddMethod(
      QStringLiteral("procedure LoadFromFile(const FileName: String)"), [](ScriptMethodCall& c) {
        P& picture = Self<P>(c);
        const QString file = c.Arg(0).ToString();
        const QByteArray data = classes::ReadScriptFile(file, kMaxScriptPictureBytes);
        if (!picture.LoadFromData(data)) {
          throw ScriptError(Msg("rsScriptPictureFormat", "Unknown picture format: %1").arg(file),
                            QStringLiteral("EInvalidGraphic"));
        }
        return V();
      });
  cls.AddMethod(
      QStringLiteral("procedure LoadFromStream(Stream: TStream)"), [](ScriptMethodCall& c) {
        P& picture = Self<P>(c);
        const QByteArray data = classes::ReadRest(classes::ArgObject<classes::StreamObject>(c, 0));
        if (!picture.LoadFromData(data)) {
          throw ScriptError(
              Msg("rsScriptPictureFormat", "Unknown picture format: %1").arg(c.method_name),
              QStringLiteral("EInvalidGraphic"));
        }
        return V();
      });
  cls.AddMethod(QStringLiteral("procedure SaveToStream(Stream: TStream)"), [](ScriptMethodCall& c) {
    const QByteArray data = Self<P>(c).Data();
    classes::WriteBytes(classes::ArgObject<classes::StreamObject>(c, 0), data);
    return V();
  });
  // The bytes as they were loaded; an empty picture has none to write.
  cls.AddMethod(
      QStringLiteral("procedure SaveToFile(const FileName: String)"), [](ScriptMethodCall& c) {
        const P& picture = Self<P>(c);
        const QString file = c.Arg(0).ToString();
        if (picture.IsEmpty()) {
          throw ScriptError(Msg("rsScriptPictureEmpty", "No picture to save: %1").arg(file),
                            QStringLiteral("EInvalidGraphic"));
        }
        classes::WriteScriptFile(file, picture.Data());
        return V();
      });
  cls.AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& c) {
    Self<P>(c).Clear();
    return V();
  });
  // An empty picture has no size at all; scripts see 0 by 0.
  cls.AddProperty(QStringLiteral("Width"), QStringLiteral("Integer"), [](ScriptMethodCall& c) {
    const P& picture = Self<P>(c);
    return V::Int(picture.IsEmpty() ? 0 : picture.Width());
  });
  cls.AddProperty(QStringLiteral("Height"), QStringLiteral("Integer"), [](ScriptMethodCall& c) {
    const P& picture = Self<P>(c);
    return V::Int(picture.IsEmpty() ? 0 : picture.Height());
  });
}

void AddPreviewPagesMembers(TksClassVariable& cls) {
  using P = TovxPreviewPages;
  cls.AddProperty(QStringLiteral("Count"), QStringLiteral("Integer"),
                  [](ScriptMethodCall& c) { return V::Integer(Self<P>(c).Count()); });
  // The page the engine adds to: only a page that exists, or the engine
  // would write past its pages.
  cls.AddProperty(
      QStringLiteral("CurPage"), QStringLiteral("Integer"),
      [](ScriptMethodCall& c) { return V::Integer(Self<P>(c).CurPage()); },
      [](ScriptMethodCall& c, const V& v) {
        P& pages = Self<P>(c);
        const qint64 page = v.ToInt64();
        if (page < 0 || page >= pages.Count()) {
          throw ScriptError(Msg("rsScriptPageIndex", "Page index out of range: %1").arg(page),
                            QStringLiteral("ERangeError"));
        }
        pages.SetCurPage(static_cast<int>(page));
      });
  cls.AddMethod(QStringLiteral("procedure ModifyObject(Component: TovxComponent)"),
                [](ScriptMethodCall& c) {
                  P& pages = Self<P>(c);
                  if (TovxComponent* object = ObjectArg<TovxComponent>(c, 0, "TovxComponent"))
                    pages.ModifyObject(*object);
                  return V();
                });
}

void AddOutlineMembers(TksClassVariable& cls) {
  using O = TovxOutline;
  // Scripts add at the engine's current position, as the engine does.
  cls.AddMethod(QStringLiteral("procedure AddItem(const Text: String)"), [](ScriptMethodCall& c) {
    O& outline = Self<O>(c);
    const TovxEngine* engine = outline.Pages().Engine();
    const double y = engine && engine->Running() ? engine->CurY() : 0;
    outline.AddItem(c.Arg(0).ToString(), static_cast<int>(Round(y)));
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure LevelRoot"), [](ScriptMethodCall& c) {
    Self<O>(c).LevelRoot();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure LevelUp"), [](ScriptMethodCall& c) {
    Self<O>(c).LevelUp();
    return V();
  });
  cls.AddMethod(QStringLiteral("procedure LevelDown(Index: Integer)"), [](ScriptMethodCall& c) {
    O& outline = Self<O>(c);
    const qint64 i = c.Arg(0).ToInt64();
    if (i < 0 || i >= outline.Count()) {
      throw ScriptError(Msg("SListIndexError", "List index out of bounds (%1)").arg(i),
                        QStringLiteral("EListError"));
    }
    outline.LevelDown(static_cast<int>(i));
    return V();
  });
  cls.AddProperty(QStringLiteral("Count"), QStringLiteral("Integer"),
                  [](ScriptMethodCall& c) { return V::Integer(Self<O>(c).Count()); });
}

void AddDateFunctions(TksScript& script) {
  const QString cat = QStringLiteral("ctDate");
  script.AddMethod(
      QStringLiteral("function DayOf(Date: TDateTime): Integer"),
      [](ScriptMethodCall& c) { return V::Int(sys::DateTimeArg(c, 0).date().day()); }, cat);
  script.AddMethod(
      QStringLiteral("function MonthOf(Date: TDateTime): Integer"),
      [](ScriptMethodCall& c) { return V::Int(sys::DateTimeArg(c, 0).date().month()); }, cat);
  script.AddMethod(
      QStringLiteral("function YearOf(Date: TDateTime): Integer"),
      [](ScriptMethodCall& c) { return V::Int(sys::DateTimeArg(c, 0).date().year()); }, cat);
}

}  // namespace

void RegisterReportRtti(TksScript& script) {
  const std::vector<const MetaClass*> classes = ScriptedClasses();
  RegisterEnumerations(script, classes);
  // A report object is a component; value objects (fonts, frames,
  // options) are persistent objects of their holder.
  const MetaClass& component = TovxComponent::StaticMetaClass();
  for (const MetaClass* meta : classes) {
    const MetaClass* parent = meta->Parent();
    script.AddClass(*meta, parent               ? parent->ClassName()
                           : meta == &component ? QStringLiteral("TComponent")
                                                : QStringLiteral("TPersistent"));
  }
  // The engine object's metadata is its published state's; the name
  // scripts declare it by descends from that.
  script.AddClass(QStringLiteral("TovxEngine"), TovxCustomEngine::StaticMetaClass().ClassName());

  auto find = [&](const MetaClass& meta) { return script.FindClass(meta.ClassName()); };
  if (TksClassVariable* c = find(component)) AddComponentMembers(*c);
  if (TksClassVariable* c = find(TovxCustomMemoView::StaticMetaClass()))
    AddMemoMembers(*c, find(TovxMemoLines::StaticMetaClass()));
  for (const MetaClass* meta : classes) {
    if (!meta->InheritsFrom(TovxCustomMemoView::StaticMetaClass())) continue;
    if (TksClassVariable* c = find(*meta)) AddMemoListProperty(*c);
  }
  if (TksClassVariable* c = find(TovxReport::StaticMetaClass())) AddReportMembers(*c);
  if (TksClassVariable* c = find(TovxDataSet::StaticMetaClass())) AddDataSetMembers(*c);
  if (TksClassVariable* c = find(TovxCustomEngine::StaticMetaClass())) AddEngineMembers(*c);
  if (TksClassVariable* c = find(TovxPreviewPages::StaticMetaClass())) AddPreviewPagesMembers(*c);
  if (TksClassVariable* c = find(TovxOutline::StaticMetaClass())) AddOutlineMembers(*c);
  if (TksClassVariable* c = find(TovxPostProcessor::StaticMetaClass())) AddPostProcessorMembers(*c);
  if (TksClassVariable* c = find(TovxMacroList::StaticMetaClass())) AddMacroListMembers(*c);
  if (TksClassVariable* c = find(TovxStyles::StaticMetaClass())) AddStylesMembers(*c);
  if (TksClassVariable* c = find(TovxPicture::StaticMetaClass())) AddPictureMembers(*c);
  AddDateFunctions(script);
}

void RegisterReportModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterClassesModule();
    // Before the report's classes: TFont is registered once, from the
    // same metadata, by whichever module runs first.
    RegisterGraphicsModule();
    RegisterFormsModule();
    AddScriptRttiModule(RegisterReportRtti);
    // A report object held as a plain TComponent answers the same owner as
    // through its own class.
    SetScriptOwnerOf([](Persistent& component) -> Persistent* {
      auto* object = dynamic_cast<TovxComponent*>(&component);
      return object ? object->Parent() : nullptr;
    });
    // What a report object owns are its children, as Owner answers.
    SetScriptOwnedComponent([](Persistent& owner, const QString& name) -> Persistent* {
      auto* object = dynamic_cast<TovxComponent*>(&owner);
      if (!object) return nullptr;
      for (TovxComponent* child : object->Objects())
        if (child->Name().compare(name, Qt::CaseInsensitive) == 0) return child;
      return nullptr;
    });
  });
}

}  // namespace ovx
