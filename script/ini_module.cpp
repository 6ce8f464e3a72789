// The ini-file classes for scripts: TCustomIniFile, TMemIniFile and
// TIniFile, over text held in memory.
//
// The file is read once when the object is made (a missing file is an
// empty one) and written whole through the host's safe writer: TIniFile
// after every change, as its platform counterpart writes through at once;
// TMemIniFile on UpdateFile. A failed write is the script's error and
// leaves the old file. Sections and keys are found ignoring case and keep
// the order they were read or added in; lines count against the program's
// element budget. Dates, times and numbers are written in the library's
// fixed formats, never the user's locale.
#include "script/ini_module.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <mutex>

#include "base/text_codec.h"
#include "base/value_format.h"
#include "script/classes_internal.h"
#include "script/messages.h"
#include "script/script.h"
#include "script/sys_functions_internal.h"

namespace ovx {
namespace {

using classes::Self;

constexpr qint64 kMaxIniFileBytes = 16 * 1024 * 1024;

class IniObject : public classes::ClassesObject {
 public:
  IniObject(const MetaClass& meta, QString path, bool write_through, std::shared_ptr<qint64> budget)
      : ClassesObject(meta),
        path_(std::move(path)),
        write_through_(write_through),
        charge_(std::move(budget)) {}

  struct Section {
    QString name;
    QStringList lines;  // "key=value"; other lines are kept as written
  };
  const QString& Path() const { return path_; }
  const std::vector<Section>& Sections() const { return sections_; }

  void Load(const QString& text) {
    std::vector<Section> sections;
    for (QString line : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
      const QString trimmed = line.trimmed();
      if (trimmed.isEmpty()) continue;
      if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
        sections.push_back({trimmed.mid(1, trimmed.size() - 2).trimmed(), {}});
      } else {
        // Lines before the first section have nowhere to go in an ini
        // file's model; they would be lost on writing, so they stay in a
        // section of no name, written first.
        if (sections.empty()) sections.push_back({QString(), {}});
        sections.back().lines << trimmed;
      }
    }
    // One element for each section and each line.
    qint64 elements = static_cast<qint64>(sections.size());
    for (const Section& section : sections) elements += section.lines.size();
    charge_.Set(elements);
    sections_ = std::move(sections);
  }
  QString Text() const {
    QString text;
    for (const Section& s : sections_) {
      if (!s.name.isEmpty() || &s != &sections_.front())
        text += u'[' + s.name + QStringLiteral("]\r\n");
      for (const QString& line : s.lines) text += line + QStringLiteral("\r\n");
      text += QStringLiteral("\r\n");
    }
    return text;
  }

  std::optional<QString> Read(const QString& section, const QString& key) const {
    const Section* s = Find(section);
    if (!s) return std::nullopt;
    const qsizetype i = KeyIndex(*s, key);
    if (i < 0) return std::nullopt;
    // Blanks around the value belong to the layout, as around the key.
    return s->lines[i].mid(s->lines[i].indexOf(u'=') + 1).trimmed();
  }
  void Write(const QString& section, const QString& key, const QString& value) {
    if (key.trimmed().isEmpty() || key.contains(u'=') || HasBreak(key) || HasBreak(value) ||
        HasBreak(section) || section.contains(u']'))
      throw ScriptError(ScriptMessage(QStringLiteral("rsScriptIniEntry"),
                                      QStringLiteral("Invalid ini file entry: [%1] %2"))
                            .arg(section, key),
                        QStringLiteral("EIniFileException"));
    Section* s = const_cast<Section*>(Find(section));
    const qsizetype i = s ? KeyIndex(*s, key) : -1;
    if (i >= 0) {
      s->lines[i] = key.trimmed() + u'=' + value;
    } else {
      charge_.Add(s ? 1 : 2);
      if (!s) {
        sections_.push_back({section.trimmed(), {}});
        s = &sections_.back();
      }
      s->lines << key.trimmed() + u'=' + value;
    }
    Changed();
  }
  void EraseSection(const QString& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
      if (it->name.compare(section.trimmed(), Qt::CaseInsensitive) == 0) {
        charge_.Add(-1 - it->lines.size());
        sections_.erase(it);
        Changed();
        return;
      }
    }
  }
  void DeleteKey(const QString& section, const QString& key) {
    auto* s = const_cast<Section*>(Find(section));
    const qsizetype i = s ? KeyIndex(*s, key) : -1;
    if (i < 0) return;
    s->lines.removeAt(i);
    charge_.Add(-1);
    Changed();
  }
  void Clear() {
    sections_.clear();
    charge_.Set(0);
  }
  void UpdateFile() const { classes::WriteScriptFile(path_, Text().toUtf8()); }
  const Section* Find(const QString& section) const {
    for (const Section& s : sections_)
      if (s.name.compare(section.trimmed(), Qt::CaseInsensitive) == 0) return &s;
    return nullptr;
  }
  static qsizetype KeyIndex(const Section& s, const QString& key) {
    for (qsizetype i = 0; i < s.lines.size(); ++i) {
      const qsizetype eq = s.lines[i].indexOf(u'=');
      if (eq >= 0 &&
          QStringView(s.lines[i]).left(eq).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) ==
              0)
        return i;
    }
    return -1;
  }

 private:
  static bool HasBreak(const QString& s) { return s.contains(u'\r') || s.contains(u'\n'); }
  void Changed() {
    if (write_through_) UpdateFile();
  }
  QString path_;
  bool write_through_;
  std::vector<Section> sections_;
  classes::Charge charge_;
};

// A missing file is an empty one; any other failure to read it (not a
// regular file, too large, unreadable) is the script's error.
QString ReadIniText(const QString& path) {
  if (!QFileInfo::exists(path)) return {};
  QByteArray bytes = classes::ReadScriptFile(path, kMaxIniFileBytes);
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  return DecodeNarrow(bytes);
}

ScriptValue Create(ScriptMethodCall& call, const char* class_name, bool write_through) {
  ScriptProgram& program = classes::ProgramOf(call);
  const QString path = call.Arg(0).ToString();
  auto ini = std::make_unique<IniObject>(classes::Meta(class_name), path, write_through,
                                         program.ElementBudget());
  ini->Load(ReadIniText(path));
  return ScriptValue::Object(program.AdoptObject(std::move(ini)));
}

using I = IniObject;

QString Arg(ScriptMethodCall& call, int i) { return call.Arg(i).ToString(); }
std::optional<QString> ReadValue(ScriptMethodCall& call) {
  return Self<I>(call).Read(Arg(call, 0), Arg(call, 1));
}
void WriteValue(ScriptMethodCall& call, const QString& value) {
  Self<I>(call).Write(Arg(call, 0), Arg(call, 1), value);
}

// Fills the TStrings argument `i` through its own Clear and Add, so the
// list's rules (sorted, duplicates, budget) hold.
void FillStrings(ScriptMethodCall& call, int i, const QStringList& lines) {
  Persistent* list = call.Arg(i).ObjectPointer();
  if (!list || !list->GetMetaClass().InheritsFrom(classes::Meta("TStrings")))
    throw classes::InvalidReference(call.Arg(i));
  classes::SetStringsLines(*list, lines);
}

}  // namespace

void RegisterIniFiles(TksScript& script) {
  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TCustomIniFile"), QStringLiteral("TObject"))) {
    cls->AddConstructor(
        QStringLiteral("constructor Create(const FileName: String)"),
        [](ScriptMethodCall&) -> ScriptValue {
          throw classes::ObjectError(
              ScriptMessage(QStringLiteral("rsScriptAbstractClass"),
                            QStringLiteral("Cannot create an instance of abstract class %1"))
                  .arg(QStringLiteral("TCustomIniFile")));
        });
    cls->AddProperty(
        QStringLiteral("FileName"), QStringLiteral("String"),
        [](ScriptMethodCall& call) { return ScriptValue::String(Self<I>(call).Path()); });
    cls->AddMethod(
        QStringLiteral("function ReadString(const Section, Ident, Default: String): String"),
        [](ScriptMethodCall& call) {
          return ScriptValue::String(ReadValue(call).value_or(Arg(call, 2)));
        });
    cls->AddMethod(QStringLiteral("procedure WriteString(const Section, Ident, Value: String)"),
                   [](ScriptMethodCall& call) {
                     WriteValue(call, Arg(call, 2));
                     return ScriptValue();
                   });
    cls->AddMethod(
        QStringLiteral("function ReadInteger(const Section, Ident: String; Default: Integer): "
                       "Integer"),
        [](ScriptMethodCall& call) {
          const auto text = ReadValue(call);
          const auto n = text ? sys::ParseIntegerText(text->trimmed()) : std::nullopt;
          return n ? ScriptValue::Integer(*n) : ScriptValue::Integer(call.Arg(2).ToInt64());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteInteger(const Section, Ident: String; Value: Integer)"),
        [](ScriptMethodCall& call) {
          WriteValue(call, QString::number(call.Arg(2).ToInt64()));
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral(
            "function ReadBool(const Section, Ident: String; Default: Boolean): Boolean"),
        [](ScriptMethodCall& call) {
          const auto text = ReadValue(call);
          const auto n = text ? sys::ParseIntegerText(text->trimmed()) : std::nullopt;
          return ScriptValue::Bool(n ? *n != 0 : call.Arg(2).ToBool());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteBool(const Section, Ident: String; Value: Boolean)"),
        [](ScriptMethodCall& call) {
          WriteValue(call, call.Arg(2).ToBool() ? QStringLiteral("1") : QStringLiteral("0"));
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral("function ReadFloat(const Section, Ident: String; Default: Double): Double"),
        [](ScriptMethodCall& call) {
          const auto text = ReadValue(call);
          const auto d = text ? sys::ParseFloatText(text->trimmed()) : std::nullopt;
          return ScriptValue::Float(d ? *d : call.Arg(2).ToFloat());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteFloat(const Section, Ident: String; Value: Double)"),
        [](ScriptMethodCall& call) {
          WriteValue(call, ScriptValue::Float(call.Arg(2).ToFloat()).ToString());
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral("function ReadDate(const Section, Ident: String; Default: TDateTime): "
                       "TDateTime"),
        [](ScriptMethodCall& call) {
          const auto text = ReadValue(call);
          const auto d = text ? sys::ParseDateText(text->trimmed()) : std::nullopt;
          return ScriptValue::Float(d ? *d : call.Arg(2).ToFloat());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteDate(const Section, Ident: String; Value: TDateTime)"),
        [](ScriptMethodCall& call) {
          WriteValue(call, sys::DateText(call.Arg(2).ToFloat()));
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral("function ReadTime(const Section, Ident: String; Default: TDateTime): "
                       "TDateTime"),
        [](ScriptMethodCall& call) {
          const auto text = ReadValue(call);
          const auto d = text ? sys::ParseTimeText(text->trimmed()) : std::nullopt;
          return ScriptValue::Float(d ? *d : call.Arg(2).ToFloat());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteTime(const Section, Ident: String; Value: TDateTime)"),
        [](ScriptMethodCall& call) {
          const FormatSettings& settings = FormatSettings::Default();
          WriteValue(call, FormatDateTimePicture(settings.long_time_format,
                                                 sys::DateTimeArg(call, 2), settings));
          return ScriptValue();
        });
    // Binary values are hexadecimal digits, two per byte.
    cls->AddMethod(
        QStringLiteral("function ReadBinaryStream(const Section, Name: String; Value: TStream): "
                       "Integer"),
        [](ScriptMethodCall& call) {
          const QByteArray hex = ReadValue(call).value_or(QString()).trimmed().toLatin1();
          const QByteArray bytes = QByteArray::fromHex(hex);
          classes::WriteBytes(classes::ArgObject<classes::StreamObject>(call, 2), bytes);
          return ScriptValue::Integer(bytes.size());
        });
    cls->AddMethod(
        QStringLiteral("procedure WriteBinaryStream(const Section, Name: String; Value: TStream)"),
        [](ScriptMethodCall& call) {
          auto& stream = classes::ArgObject<classes::StreamObject>(call, 2);
          WriteValue(call, QString::fromLatin1(classes::ReadRest(stream).toHex().toUpper()));
          return ScriptValue();
        });
    cls->AddMethod(QStringLiteral("function SectionExists(const Section: String): Boolean"),
                   [](ScriptMethodCall& call) {
                     return ScriptValue::Bool(Self<I>(call).Find(Arg(call, 0)) != nullptr);
                   });
    cls->AddMethod(
        QStringLiteral("function ValueExists(const Section, Ident: String): Boolean"),
        [](ScriptMethodCall& call) { return ScriptValue::Bool(ReadValue(call).has_value()); });
    cls->AddMethod(QStringLiteral("procedure ReadSections(Strings: TStrings)"),
                   [](ScriptMethodCall& call) {
                     QStringList names;
                     for (const auto& s : Self<I>(call).Sections())
                       if (!s.name.isEmpty()) names << s.name;
                     FillStrings(call, 0, names);
                     return ScriptValue();
                   });
    cls->AddMethod(
        QStringLiteral("procedure ReadSection(const Section: String; Strings: TStrings)"),
        [](ScriptMethodCall& call) {
          QStringList keys;
          if (const auto* s = Self<I>(call).Find(Arg(call, 0))) {
            for (const QString& line : s->lines)
              if (line.contains(u'=')) keys << line.left(line.indexOf(u'=')).trimmed();
          }
          FillStrings(call, 1, keys);
          return ScriptValue();
        });
    cls->AddMethod(
        QStringLiteral("procedure ReadSectionValues(const Section: String; Strings: TStrings)"),
        [](ScriptMethodCall& call) {
          QStringList lines;
          if (const auto* s = Self<I>(call).Find(Arg(call, 0))) {
            for (const QString& line : s->lines)
              if (line.contains(u'=')) lines << line;
          }
          FillStrings(call, 1, lines);
          return ScriptValue();
        });
    cls->AddMethod(QStringLiteral("procedure EraseSection(const Section: String)"),
                   [](ScriptMethodCall& call) {
                     Self<I>(call).EraseSection(Arg(call, 0));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure DeleteKey(const Section, Ident: String)"),
                   [](ScriptMethodCall& call) {
                     Self<I>(call).DeleteKey(Arg(call, 0), Arg(call, 1));
                     return ScriptValue();
                   });
    cls->AddMethod(QStringLiteral("procedure UpdateFile"), [](ScriptMethodCall& call) {
      Self<I>(call).UpdateFile();
      return ScriptValue();
    });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TMemIniFile"), QStringLiteral("TCustomIniFile"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(const FileName: String)"),
                        [](ScriptMethodCall& call) { return Create(call, "TMemIniFile", false); });
    cls->AddMethod(QStringLiteral("procedure Clear"), [](ScriptMethodCall& call) {
      Self<I>(call).Clear();
      return ScriptValue();
    });
    cls->AddMethod(
        QStringLiteral("procedure GetStrings(List: TStrings)"), [](ScriptMethodCall& call) {
          FillStrings(call, 0,
                      Self<I>(call).Text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts));
          return ScriptValue();
        });
  }

  if (TksClassVariable* cls =
          script.AddClass(QStringLiteral("TIniFile"), QStringLiteral("TCustomIniFile"))) {
    cls->AddConstructor(QStringLiteral("constructor Create(const FileName: String)"),
                        [](ScriptMethodCall& call) { return Create(call, "TIniFile", true); });
  }
}

void RegisterIniModule() {
  static std::once_flag once;
  std::call_once(once, [] { AddScriptRttiModule(RegisterIniFiles); });
}

}  // namespace ovx
