// The module's lists of lines: TStrings and TStringList, with an object
// (by handle) beside each line, name=value access and text files.
//
// Every line counts against the program's element budget, like an array
// element, so that a loop of Adds stops with an error instead of taking
// all memory.
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

}  // namespace

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
    cls->AddMethod(QStringLiteral("procedure BeginUpdate"), [](ScriptMethodCall& call) {
      Self<L>(call);
      return ScriptValue();
    });
    cls->AddMethod(QStringLiteral("procedure EndUpdate"), [](ScriptMethodCall& call) {
      Self<L>(call);
      return ScriptValue();
    });
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

void SetStringsLines(Persistent& strings, const QStringList& lines) {
  auto* list = dynamic_cast<StringListObject*>(&strings);
  if (!list) throw InvalidReference(ScriptValue::Object(&strings));
  list->SetLines(lines);
}

}  // namespace classes
}  // namespace ovx
