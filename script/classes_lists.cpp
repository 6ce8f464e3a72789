// The module's lists: TList of values, TStrings/TStringList of lines with
// an object per line, and TCollection with the TCollectionItems it owns.
//
// Every entry counts against the program's element budget, like array
// elements, so that a loop of Adds stops with an error instead of taking
// all memory. Objects a list holds are kept as handles: the list never
// keeps an object alive, and one freed meanwhile reads as nil.
#include <QHash>

#include <algorithm>

#include "base/object_handle.h"
#include "base/text_codec.h"
#include "script/classes_internal.h"
#include "script/messages.h"
#include "script/script.h"

namespace ovx {
namespace classes {
namespace {

// Files a script reads into a list are bounded like any outside input.
constexpr qint64 kMaxListFileBytes = 64 * 1024 * 1024;

enum Duplicates { kDupIgnore = 0, kDupAccept = 1, kDupError = 2 };

ScriptError SortedListError() {
  return ScriptError(ScriptMessage(QStringLiteral("rsScriptSortedList"),
                                   QStringLiteral("Operation not allowed on sorted list")),
                     QStringLiteral("EStringListError"));
}

// An index from a script value, checked against `size` (`size` itself
// allowed where `end_ok`).
qsizetype CheckedIndex(const ScriptValue& v, qsizetype size, bool end_ok = false) {
  const qint64 i = v.ToInt64();
  if (i < 0 || i > size || (i == size && !end_ok)) throw ListIndexError(i);
  return static_cast<qsizetype>(i);
}

// ---- TStrings / TStringList ----

class StringListObject : public ClassesObject {
 public:
  StringListObject(std::shared_ptr<qint64> budget)
      : ClassesObject(Meta("TStringList")), charge_(std::move(budget)) {}

  struct Line {
    QString text;
    qint64 object = 0;  // a handle
  };
  const std::vector<Line>& Lines() const { return lines_; }
  qsizetype Count() const { return static_cast<qsizetype>(lines_.size()); }
  const QString& At(qsizetype i) const { return lines_[static_cast<size_t>(i)].text; }
  bool sorted = false;
  int duplicates = kDupIgnore;

  void Clear() {
    lines_.clear();
    charge_.Set(0);
  }
  // Where `s` is or would go in a sorted list.
  bool Find(const QString& s, qsizetype* index) const {
    qsizetype lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
      const qsizetype mid = (lo + hi) / 2;
      const int c = Compare(At(mid), s);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (duplicates != kDupAccept) lo = mid;
        }
      }
    }
    *index = lo;
    return found;
  }
  qsizetype IndexOf(const QString& s) const {
    if (sorted) {
      qsizetype i = 0;
      return Find(s, &i) ? i : -1;
    }
    for (qsizetype i = 0; i < Count(); ++i)
      if (Compare(At(i), s) == 0) return i;
    return -1;
  }
  qsizetype Add(const QString& s, qint64 object = 0) {
    qsizetype at = Count();
    if (sorted && Find(s, &at)) {
      if (duplicates == kDupIgnore) return at;
      if (duplicates == kDupError)
        throw ScriptError(ScriptMessage(QStringLiteral("rsScriptDuplicateString"),
                                        QStringLiteral("String list does not allow duplicates")),
                          QStringLiteral("EStringListError"));
    }
    InsertAt(at, s, object);
    return at;
  }
  void Insert(qsizetype at, const QString& s) {
    if (sorted) throw SortedListError();
    InsertAt(at, s, 0);
  }
  void Put(qsizetype i, const QString& s) {
    if (sorted) throw SortedListError();
    lines_[static_cast<size_t>(i)].text = s;
  }
  void PutObject(qsizetype i, qint64 object) { lines_[static_cast<size_t>(i)].object = object; }
  void Delete(qsizetype i) {
    lines_.erase(lines_.begin() + i);
    charge_.Add(-1);
  }
  // Exchange and Move would leave a sorted list out of order, and Find
  // and IndexOf would then miss lines that are there.
  void Exchange(qsizetype i, qsizetype j) {
    if (sorted) throw SortedListError();
    std::swap(lines_[static_cast<size_t>(i)], lines_[static_cast<size_t>(j)]);
  }
  void Move(qsizetype from, qsizetype to) {
    if (sorted) throw SortedListError();
    if (from == to) return;
    Line line = lines_[static_cast<size_t>(from)];
    lines_.erase(lines_.begin() + from);
    lines_.insert(lines_.begin() + to, std::move(line));
  }
  void Sort() {
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const Line& a, const Line& b) { return Compare(a.text, b.text) < 0; });
  }
  void SetSorted(bool on) {
    if (on && !sorted) Sort();
    sorted = on;
  }
  // Replaces every line (objects dropped); a sorted list sorts them.
  void SetLines(const QStringList& lines) {
    Clear();
    for (const QString& s : lines) Add(s);
  }
  QStringList Texts() const {
    QStringList texts;
    texts.reserve(Count());
    for (const Line& line : lines_) texts << line.text;
    return texts;
  }
  static int Compare(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive);
  }

 private:
  void InsertAt(qsizetype at, const QString& s, qint64 object) {
    charge_.Add(1);
    lines_.insert(lines_.begin() + at, Line{s, object});
  }
  std::vector<Line> lines_;
  Charge charge_;
};

QString TextOf(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  return text;
}

// Lines end at CR LF, CR or LF; a break after the last line makes no
// empty line.
QStringList SplitText(const QString& text) {
  QStringList lines;
  QString line;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines << line;
      line.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

// Items with spaces, commas, quotes or control characters are quoted, with
// quotes doubled; an empty item is "".
QString CommaTextOf(const QStringList& lines) {
  QStringList parts;
  for (const QString& s : lines) {
    const bool quote = s.isEmpty() || std::any_of(s.begin(), s.end(), [](QChar c) {
                         return c <= u' ' || c == u',' || c == u'"';
                       });
    if (quote) {
      QString q = s;
      q.replace(u'"', QStringLiteral("\"\""));
      parts << u'"' + q + u'"';
    } else {
      parts << s;
    }
  }
  return parts.join(u',');
}

// Items are separated by commas or characters up to the space; quoted
// items keep those, with "" for a quote. An unclosed quote runs to the end.
QStringList SplitCommaText(const QString& text) {
  QStringList items;
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto skip_blanks = [&] {
    while (i < n && text[i] <= u' ') ++i;
  };
  skip_blanks();
  while (i < n) {
    QString item;
    if (text[i] == u'"') {
      ++i;
      while (i < n) {
        if (text[i] == u'"') {
          if (i + 1 < n && text[i + 1] == u'"') {
            item += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < n && text[i] > u' ' && text[i] != u',') item += text[i++];
    }
    items << item;
    skip_blanks();
    if (i < n && text[i] == u',') {
      ++i;
      skip_blanks();
      // A trailing comma leaves an empty last item.
      if (i >= n) items << QString();
    }
  }
  return items;
}

// Text files are UTF-8 (a byte-order mark is skipped); older files that
// are not valid UTF-8 are code page 936.
QString DecodeTextFile(QByteArray bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  return DecodeNarrow(bytes);
}

// The part of "name=value" before the first "="; the whole line when
// there is none.
qsizetype NameEnd(const QString& line) {
  const qsizetype eq = line.indexOf(u'=');
  return eq < 0 ? line.size() : eq;
}

qsizetype IndexOfName(const StringListObject& list, const QString& name) {
  for (qsizetype i = 0; i < list.Count(); ++i) {
    const QString& line = list.At(i);
    const qsizetype end = line.indexOf(u'=');
    if (end >= 0 && QStringView(line).left(end).compare(name, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

bool IsSet(const ScriptMethodCall& call) {
  return call.method_name.endsWith(QLatin1String(".SET"));
}

void RegisterStrings(TksScript& script) {
  using L = StringListObject;
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TStrings"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall&) -> ScriptValue {
      throw ObjectError(
          ScriptMessage(QStringLiteral("rsScriptAbstractClass"),
                        QStringLiteral("Cannot create an instance of abstract class %1"))
              .arg(QStringLiteral("TStrings")));
    });
    cls->AddMethod(QStringLiteral("function Add(const S: String): Integer"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Integer(Self<L>(call).Add(call.Arg(0).ToString()));
                   });
    cls->AddMethod(QStringLiteral("function AddObject(const S: String; AObject: TObject): Integer"),
                   [](ScriptMethodCall& call) {
                     const qint64 object = ObjectHandle(call.Arg(1).ObjectPointer());
                     return ScriptValue::Integer(Self<L>(call).Add(call.Arg(0).ToString(), object));
                   });
    cls->AddMethod(QStringLiteral("procedure AddStrings(Strings: TStrings)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     // A copy first: the source may be the list itself.
                     const std::vector<L::Line> lines = ArgObject<L>(call, 0).Lines();
                     for (const L::Line& line : lines) list.Add(line.text, line.object);
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure Assign(Source: TPersistent)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     const std::vector<L::Line> lines = ArgObject<L>(call, 0).Lines();
                     list.Clear();
                     for (const L::Line& line : lines) list.Add(line.text, line.object);
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure BeginUpdate"),
                   [](ScriptMethodCall& call) { return Self<L>(call), ScriptValue(); });
    cls->AddMethod(QStringLiteral("procedure EndUpdate"),
                   [](ScriptMethodCall& call) { return Self<L>(call), ScriptValue(); });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      Self<L>(call).Clear();
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
      L& list = Self<L>(call);
      list.Delete(CheckedIndex(call.Arg(0), list.Count()));
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Exchange(Index1, Index2: Integer)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     list.Exchange(CheckedIndex(call.Arg(0), list.Count()),
                                   CheckedIndex(call.Arg(1), list.Count()));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure Move(CurIndex, NewIndex: Integer)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     list.Move(CheckedIndex(call.Arg(0), list.Count()),
                               CheckedIndex(call.Arg(1), list.Count()));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure Insert(Index: Integer; const S: String)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     list.Insert(CheckedIndex(call.Arg(0), list.Count(), true),
                                 call.Arg(1).ToString());
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("function IndexOf(const S: String): Integer"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Integer(Self<L>(call).IndexOf(call.Arg(0).ToString()));
                   });
    cls->AddMethod(
        QStringLiteral("function IndexOfName(const Name: String): Integer"),
        [](ScriptMethodCall& call) {
          return ScriptValue::Integer(IndexOfName(Self<L>(call), call.Arg(0).ToString()));
        });
    cls->AddMethod(QStringLiteral("function IndexOfObject(AObject: TObject): Integer"),
                   [](ScriptMethodCall& call) {
                     const L& list = Self<L>(call);
                     const qint64 object = ObjectHandle(call.Arg(0).ObjectPointer());
                     for (qsizetype i = 0; object && i < list.Count(); ++i)
                       if (list.Lines()[static_cast<size_t>(i)].object == object)
                         return ScriptValue::Integer(i);
                     return ScriptValue::Int(-1);
                   });
    cls->AddMethod(QStringLiteral("procedure LoadFromFile(const FileName: String)"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     list.SetLines(SplitText(DecodeTextFile(
                         ReadScriptFile(call.Arg(0).ToString(), kMaxListFileBytes))));
                     return ScriptValue();
                   });
    cls->AddMethod(
        QStringLiteral("procedure SaveToFile(const FileName: String)"), [](ScriptMethodCall& call) {
          WriteScriptFile(call.Arg(0).ToString(), TextOf(Self<L>(call).Texts()).toUtf8());
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral("procedure LoadFromStream(Stream: TStream)"), [](ScriptMethodCall& call) {
          L& list = Self<L>(call);
          list.SetLines(SplitText(DecodeTextFile(ReadRest(ArgObject<StreamObject>(call, 0)))));
          return ScriptValue();
        });
    cls->AddMethod(QStringLiteral("procedure SaveToStream(Stream: TStream)"),
                   [](ScriptMethodCall& call) {
                     const QByteArray bytes = TextOf(Self<L>(call).Texts()).toUtf8();
                     WriteBytes(ArgObject<StreamObject>(call, 0), bytes);
                     return ScriptValue();
                   });
    cls->AddProperty(
        QStringLiteral("Count"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<L>(call).Count()); });
    cls->AddProperty(
        QStringLiteral("Text"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(TextOf(Self<L>(call).Texts())); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<L>(call).SetLines(SplitText(v.ToString()));
        });
    cls->AddProperty(
        QStringLiteral("CommaText"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          return ScriptValue::String(CommaTextOf(Self<L>(call).Texts()));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<L>(call).SetLines(SplitCommaText(v.ToString()));
        });
    cls->AddIndexProperty(
        QStringLiteral("Names"), QStringLiteral("Integer"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          const L& list = Self<L>(call);
          const QString& line = list.At(CheckedIndex(call.Arg(0), list.Count()));
          return ScriptValue::String(line.contains(u'=') ? line.left(NameEnd(line)) : QString());
        },
        true);
    // Writing an empty value removes the line, as the name=value lists of
    // settings files expect.
    cls->AddIndexProperty(
        QStringLiteral("Values"), QStringLiteral("String"), QStringLiteral("String"),
        [](ScriptMethodCall& call) {
          L& list = Self<L>(call);
          const QString name = call.Arg(0).ToString();
          const qsizetype i = IndexOfName(list, name);
          if (!IsSet(call)) {
            return ScriptValue::String(i < 0 ? QString() : list.At(i).mid(NameEnd(list.At(i)) + 1));
          }
          const QString value = call.Arg(1).ToString();
          if (value.isEmpty()) {
            if (i >= 0) list.Delete(i);
          } else if (i < 0) {
            list.Add(name + u'=' + value);
          } else if (list.sorted) {
            list.Delete(i);
            list.Add(name + u'=' + value);
          } else {
            list.Put(i, name + u'=' + value);
          }
          return ScriptValue();
        });
    cls->AddIndexProperty(
        QStringLiteral("Objects"), QStringLiteral("Integer"), QStringLiteral("TObject"),
        [](ScriptMethodCall& call) {
          L& list = Self<L>(call);
          const qsizetype i = CheckedIndex(call.Arg(0), list.Count());
          if (IsSet(call)) {
            list.PutObject(i, ObjectHandle(call.Arg(1).ObjectPointer()));
            return ScriptValue();
          }
          return ScriptValue::Object(ObjectFromHandle(list.Lines()[static_cast<size_t>(i)].object));
        });
    cls->AddDefaultProperty(QStringLiteral("Strings"), QStringLiteral("Integer"),
                            QStringLiteral("String"), [](ScriptMethodCall& call) {
                              L& list = Self<L>(call);
                              const qsizetype i = CheckedIndex(call.Arg(0), list.Count());
                              if (IsSet(call)) {
                                list.Put(i, call.Arg(1).ToString());
                                return ScriptValue();
                              }
                              return ScriptValue::String(list.At(i));
                            });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TStringList"), QStringLiteral("TStrings"))) {
    cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
      ScriptProgram& program = ProgramOf(call);
      return ScriptValue::Object(program.AdoptObject(std::make_unique<L>(program.ElementBudget())));
    });
    cls->AddMethod(QStringLiteral("function Find(const S: String; var Index: Integer): Boolean"),
                   [](ScriptMethodCall& call) {
                     L& list = Self<L>(call);
                     qsizetype at = 0;
                     bool found = false;
                     if (list.sorted) {
                       found = list.Find(call.Arg(0).ToString(), &at);
                     } else {
                       at = list.IndexOf(call.Arg(0).ToString());
                       found = at >= 0;
                       if (!found) at = list.Count();
                     }
                     call.SetArg(1, ScriptValue::Integer(at));
                     return ScriptValue::Bool(found);
                   });
    cls->AddMethod(QStringLiteral("procedure Sort"), [](ScriptMethodCall& call) {
      Self<L>(call).Sort();
      return ScriptValue();
    });
    cls->AddProperty(
        QStringLiteral("Sorted"), QStringLiteral("Boolean"),
        [](ScriptMethodCall& call) { return ScriptValue::Bool(Self<L>(call).sorted); },
        [](ScriptMethodCall& call, const ScriptValue& v) { Self<L>(call).SetSorted(v.ToBool()); });
    cls->AddProperty(
        QStringLiteral("Duplicates"), QStringLiteral("TDuplicates"),
        [](ScriptMethodCall& call) { return ScriptValue::Int(Self<L>(call).duplicates); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          const qint64 d = v.ToInt64();
          if (d < kDupIgnore || d > kDupError)
            throw ScriptError(ScriptMessage(QStringLiteral("rsScriptInvalidPropertyValue"),
                                            QStringLiteral("Invalid property value")));
          Self<L>(call).duplicates = static_cast<int>(d);
        });
  }
}

// ---- TList ----

// Values as a list of pointers would compare them: objects by identity,
// numbers by value, texts exactly.
bool SameEntry(const ScriptValue& a, const ScriptValue& b) {
  using K = ScriptValue::Kind;
  if (a.kind() == K::kObject || b.kind() == K::kObject) return a.handle() == b.handle();
  if (a.kind() == K::kNull || a.kind() == K::kEmpty || b.kind() == K::kNull ||
      b.kind() == K::kEmpty)
    return (a.kind() == K::kNull || a.kind() == K::kEmpty) &&
           (b.kind() == K::kNull || b.kind() == K::kEmpty);
  if (a.kind() == K::kArray || b.kind() == K::kArray) return a.array() == b.array();
  if (a.IsNumeric() && b.IsNumeric()) {
    if (a.IsIntegral() && b.IsIntegral()) return a.ToInt64() == b.ToInt64();
    return a.ToFloat() == b.ToFloat();
  }
  if (a.kind() == K::kString && b.kind() == K::kString) return a.ToString() == b.ToString();
  if (a.kind() == K::kBool && b.kind() == K::kBool) return a.ToBool() == b.ToBool();
  return false;
}

class ListObject : public ClassesObject {
 public:
  explicit ListObject(std::shared_ptr<qint64> budget)
      : ClassesObject(Meta("TList")), charge_(std::move(budget)) {}
  std::vector<ScriptValue> items;
  qsizetype Count() const { return static_cast<qsizetype>(items.size()); }
  void Insert(qsizetype at, const ScriptValue& v) {
    charge_.Add(1);
    items.insert(items.begin() + at, v);
  }
  void Delete(qsizetype at) {
    items.erase(items.begin() + at);
    charge_.Add(-1);
  }
  void Resize(qint64 count) {
    if (count < 0 || count > kMaxScriptArrayElements) throw ListIndexError(count);
    charge_.Set(count);
    items.resize(static_cast<size_t>(count));
  }
  qsizetype IndexOf(const ScriptValue& v) const {
    for (qsizetype i = 0; i < Count(); ++i)
      if (SameEntry(items[static_cast<size_t>(i)], v)) return i;
    return -1;
  }

 private:
  Charge charge_;
};

void RegisterList(TksScript& script) {
  TksClassVariable* cls = script.AddClass(QStringLiteral("TList"), QStringLiteral("TObject"));
  if (!cls) return;
  cls->AddConstructor(QStringLiteral("constructor Create"), [](ScriptMethodCall& call) {
    ScriptProgram& program = ProgramOf(call);
    return ScriptValue::Object(
        program.AdoptObject(std::make_unique<ListObject>(program.ElementBudget())));
  });
  cls->AddMethod(QStringLiteral("function Add(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   list.Insert(list.Count(), call.Arg(0));
                   return ScriptValue::Integer(list.Count() - 1);
                 });
  cls->AddMethod(QStringLiteral("procedure Insert(Index: Integer; Item: Variant)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   list.Insert(CheckedIndex(call.Arg(0), list.Count(), true), call.Arg(1));
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    list.Delete(CheckedIndex(call.Arg(0), list.Count()));
    return ScriptValue();
  });
  cls->AddMethod(QStringLiteral("function Remove(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   const qsizetype i = list.IndexOf(call.Arg(0));
                   if (i >= 0) list.Delete(i);
                   return ScriptValue::Integer(i);
                 });
  cls->AddMethod(QStringLiteral("function IndexOf(Item: Variant): Integer"),
                 [](ScriptMethodCall& call) {
                   return ScriptValue::Integer(Self<ListObject>(call).IndexOf(call.Arg(0)));
                 });
  cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
    Self<ListObject>(call).Resize(0);
    return ScriptValue();
  });
  cls->AddMethod(QStringLiteral("procedure Exchange(Index1, Index2: Integer)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   std::swap(list.items[CheckedIndex(call.Arg(0), list.Count())],
                             list.items[CheckedIndex(call.Arg(1), list.Count())]);
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("procedure Move(CurIndex, NewIndex: Integer)"),
                 [](ScriptMethodCall& call) {
                   ListObject& list = Self<ListObject>(call);
                   const qsizetype from = CheckedIndex(call.Arg(0), list.Count());
                   const qsizetype to = CheckedIndex(call.Arg(1), list.Count());
                   const ScriptValue v = list.items[static_cast<size_t>(from)];
                   list.items.erase(list.items.begin() + from);
                   list.items.insert(list.items.begin() + to, v);
                   return ScriptValue();
                 });
  cls->AddMethod(QStringLiteral("function First: Variant"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    return list.items[CheckedIndex(ScriptValue::Int(0), list.Count())];
  });
  cls->AddMethod(QStringLiteral("function Last: Variant"), [](ScriptMethodCall& call) {
    ListObject& list = Self<ListObject>(call);
    return list.items[CheckedIndex(ScriptValue::Integer(list.Count() - 1), list.Count())];
  });
  cls->AddProperty(
      QStringLiteral("Count"), QStringLiteral("Integer"),
      [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<ListObject>(call).Count()); },
      [](ScriptMethodCall& call, const ScriptValue& v) {
        Self<ListObject>(call).Resize(v.ToInt64());
      });
  cls->AddDefaultProperty(QStringLiteral("Items"), QStringLiteral("Integer"),
                          QStringLiteral("Variant"), [](ScriptMethodCall& call) {
                            ListObject& list = Self<ListObject>(call);
                            const qsizetype i = CheckedIndex(call.Arg(0), list.Count());
                            if (IsSet(call)) {
                              list.items[static_cast<size_t>(i)] = call.Arg(1);
                              return ScriptValue();
                            }
                            return list.items[static_cast<size_t>(i)];
                          });
}

// ---- TCollection / TCollectionItem ----

class CollectionObject;

class CollectionItemObject : public ClassesObject {
 public:
  CollectionItemObject(qint64 collection, qint64 id)
      : ClassesObject(Meta("TCollectionItem")), collection(collection), id(id) {}
  bool FreeFromOwner() override;
  qint64 collection;  // a handle
  qint64 id;
  QString display_name;
};

// Owns its items; an item freed by the script leaves its collection, and
// the collection's end frees the items left.
class CollectionObject : public ClassesObject {
 public:
  explicit CollectionObject(std::shared_ptr<qint64> budget)
      : ClassesObject(Meta("TCollection")), charge_(std::move(budget)) {}
  qsizetype Count() const { return static_cast<qsizetype>(items_.size()); }
  CollectionItemObject* At(qsizetype i) const { return items_[static_cast<size_t>(i)].get(); }
  CollectionItemObject* Insert(qsizetype at) {
    charge_.Add(1);
    auto item = std::make_unique<CollectionItemObject>(ObjectHandle(this), next_id_++);
    CollectionItemObject* p = item.get();
    items_.insert(items_.begin() + at, std::move(item));
    return p;
  }
  qsizetype IndexOf(const CollectionItemObject* item) const {
    for (qsizetype i = 0; i < Count(); ++i)
      if (At(i) == item) return i;
    return -1;
  }
  std::unique_ptr<CollectionItemObject> Take(qsizetype i) {
    std::unique_ptr<CollectionItemObject> item = std::move(items_[static_cast<size_t>(i)]);
    items_.erase(items_.begin() + i);
    charge_.Add(-1);
    return item;
  }
  // Takes `item` from whatever collection holds it.
  void Adopt(std::unique_ptr<CollectionItemObject> item, qsizetype at) {
    charge_.Add(1);
    item->collection = ObjectHandle(this);
    item->id = next_id_++;
    items_.insert(items_.begin() + at, std::move(item));
  }
  void Clear() {
    // Items go before the charge: their handles end with them.
    std::vector<std::unique_ptr<CollectionItemObject>> old;
    old.swap(items_);
    old.clear();
    charge_.Set(0);
  }
  void MoveItem(qsizetype from, qsizetype to) {
    auto item = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
  }

 private:
  std::vector<std::unique_ptr<CollectionItemObject>> items_;
  Charge charge_;
  qint64 next_id_ = 0;
};

bool CollectionItemObject::FreeFromOwner() {
  auto* owner = dynamic_cast<CollectionObject*>(ObjectFromHandle(collection));
  if (!owner) return false;
  const qsizetype i = owner->IndexOf(this);
  if (i < 0) return false;
  owner->Take(i);  // deletes this
  return true;
}

CollectionObject& CollectionOf(CollectionItemObject& item) {
  auto* owner = dynamic_cast<CollectionObject*>(ObjectFromHandle(item.collection));
  if (!owner) throw InvalidReference(ScriptValue::Integer(item.collection));
  return *owner;
}

void RegisterCollections(TksScript& script) {
  using C = CollectionObject;
  using I = CollectionItemObject;
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TCollectionItem"), QStringLiteral("TPersistent"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(Collection: TCollection)"),
                        [](ScriptMethodCall& call) {
                          C& owner = ArgObject<C>(call, 0);
                          return ScriptValue::Object(owner.Insert(owner.Count()));
                        });
    cls->AddProperty(
        QStringLiteral("Collection"), QStringLiteral("TCollection"),
        [](ScriptMethodCall& call) {
          return ScriptValue::Object(ObjectFromHandle(Self<I>(call).collection));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          I& item = Self<I>(call);
          C& from = CollectionOf(item);
          C& to = *[&] {
            auto* c = dynamic_cast<C*>(v.ObjectPointer());
            if (!c) throw InvalidReference(v);
            return c;
          }();
          if (&from == &to) return;
          to.Adopt(from.Take(from.IndexOf(&item)), to.Count());
        });
    cls->AddProperty(
        QStringLiteral("Index"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) {
          I& item = Self<I>(call);
          return ScriptValue::Integer(CollectionOf(item).IndexOf(&item));
        },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          I& item = Self<I>(call);
          C& owner = CollectionOf(item);
          owner.MoveItem(owner.IndexOf(&item), CheckedIndex(v, owner.Count()));
        });
    cls->AddProperty(QStringLiteral("ID"), QStringLiteral("Integer"),
                     [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<I>(call).id); });
    cls->AddProperty(
        QStringLiteral("DisplayName"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(Self<I>(call).display_name); },
        [](ScriptMethodCall& call, const ScriptValue& v) {
          Self<I>(call).display_name = v.ToString();
        });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TCollection"), QStringLiteral("TPersistent"))) {
    // Items are TCollectionItems whatever class is named: scripts cannot
    // derive classes of their own.
    cls->AddConstructor(QStringLiteral("constructor Create(ItemClass: Variant)"),
                        [](ScriptMethodCall& call) {
                          ScriptProgram& program = ProgramOf(call);
                          return ScriptValue::Object(
                              program.AdoptObject(std::make_unique<C>(program.ElementBudget())));
                        });
    cls->AddMethod(QStringLiteral("function Add: TCollectionItem"), [](ScriptMethodCall& call) {
      C& c = Self<C>(call);
      return ScriptValue::Object(c.Insert(c.Count()));
    });
    cls->AddMethod(
        QStringLiteral("function Insert(Index: Integer): TCollectionItem"),
        [](ScriptMethodCall& call) {
          C& c = Self<C>(call);
          return ScriptValue::Object(c.Insert(CheckedIndex(call.Arg(0), c.Count(), true)));
        });
    cls->AddMethod(QStringLiteral("procedure Delete(Index: Integer)"), [](ScriptMethodCall& call) {
      C& c = Self<C>(call);
      c.Take(CheckedIndex(call.Arg(0), c.Count()));
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      Self<C>(call).Clear();
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure BeginUpdate"),
                   [](ScriptMethodCall& call) { return Self<C>(call), ScriptValue(); });
    cls->AddMethod(QStringLiteral("procedure EndUpdate"),
                   [](ScriptMethodCall& call) { return Self<C>(call), ScriptValue(); });
    cls->AddMethod(QStringLiteral("function FindItemID(ID: Integer): TCollectionItem"),
                   [](ScriptMethodCall& call) {
                     C& c = Self<C>(call);
                     const qint64 id = call.Arg(0).ToInt64();
                     for (qsizetype i = 0; i < c.Count(); ++i)
                       if (c.At(i)->id == id) return ScriptValue::Object(c.At(i));
                     return ScriptValue::Null();
                   });
    cls->AddProperty(
        QStringLiteral("Count"), QStringLiteral("Integer"),
        [](ScriptMethodCall& call) { return ScriptValue::Integer(Self<C>(call).Count()); });
    cls->AddDefaultProperty(
        QStringLiteral("Items"), QStringLiteral("Integer"), QStringLiteral("TCollectionItem"),
        [](ScriptMethodCall& call) {
          C& c = Self<C>(call);
          return ScriptValue::Object(c.At(CheckedIndex(call.Arg(0), c.Count())));
        },
        true);
  }
}

}  // namespace

void SetStringsLines(Persistent& strings, const QStringList& lines) {
  auto* list = dynamic_cast<StringListObject*>(&strings);
  if (!list) throw InvalidReference(ScriptValue::Object(&strings));
  list->SetLines(lines);
}

void RegisterLists(TksScript& script) {
  RegisterList(script);
  RegisterStrings(script);
  RegisterCollections(script);
}

}  // namespace classes
}  // namespace ovx
