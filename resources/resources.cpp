// The text table: lookups, changes and loading of resource documents.
//
// A table is an immutable value once published. A change copies the current
// table (QHash copies share their data until written, so the copy is cheap),
// edits the copy and publishes it; a reader holds its own reference to the
// table it looked at, so a table being replaced stays alive under it.
#include "resources/resources.h"

#include "base/error.h"
#include "base/stream.h"
#include "resources/internal/image_store.h"
#include "resources/internal/resource_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace rs = ovx::resources_internal;

struct TovxResources::Table {
  struct Entry {
    QString name;  // as first given
    QString text;
  };

  static QString Key(QStringView name) { return name.toString().toCaseFolded(); }

  // Adds the texts of `document` over the present ones; answers their count.
  int Merge(const rs::ResourceDocument& document) {
    if (!document.is_resources) return 0;
    if (document.code_page != 0) code_page = document.code_page;
    for (const auto& [name, text] : document.strings) {
      entries.insert(Key(name), {name, text});
    }
    return static_cast<int>(document.strings.size());
  }

  QHash<QString, Entry> entries;  // by case-folded name
  int code_page = rs::kDefaultCodePage;
};

namespace {

// Built-in documents in loading order.
constexpr const char* kBuiltInDocuments[] = {
    ":/velmora/resources/data/general.xml",
    ":/velmora/resources/data/prop_hints.xml",
    ":/velmora/resources/data/designer.xml",
    ":/velmora/resources/data/export.xml",
};

// Language files are a few hundred kilobytes; anything far larger is not one.
constexpr qint64 kMaxResourceFileSize = 16 * 1024 * 1024;

rs::ResourceDocument ReadBuiltIn(const char* path) {
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly)) {
    throw ovx::Error({}, "The built-in resource document %s is missing",
                     {QString::fromLatin1(path)});
  }
  ovx::MemoryStream stream(file.readAll());
  return rs::ReadResourceDocument(stream);
}

// Reads a resource file whole, with the checks a file the user dropped into
// the program folder needs.
rs::ResourceDocument ReadResourceFile(const QString& file_name) {
  if (!QFileInfo(file_name).isFile()) {
    throw ovx::Error(QStringLiteral("rsLangFileMissing"),
                     QStringLiteral("Language file not found: %s"), {file_name});
  }
  QFile file(file_name);
  if (file.size() > kMaxResourceFileSize) {
    throw ovx::Error(QStringLiteral("rsLangFileTooLarge"),
                     QStringLiteral("The language file %s is too large"), {file_name});
  }
  if (!file.open(QIODevice::ReadOnly)) {
    throw ovx::Error({}, "Cannot open file %s: %s", {file_name, file.errorString()});
  }
  ovx::MemoryStream stream(file.read(kMaxResourceFileSize + 1));
  return rs::ReadResourceDocument(stream);
}

}  // namespace

TovxResources::TovxResources(Options options)
    : options_(std::move(options)), images_(std::make_unique<Images>()) {
  auto table = std::make_shared<Table>();
  if (options_.load_built_in) {
    for (const char* path : kBuiltInDocuments) table->Merge(ReadBuiltIn(path));
  }
  built_in_ = table;
  table_ = table;
  RescanLanguages();
}

TovxResources::~TovxResources() = default;

TovxResources& TovxResources::Instance() {
  static TovxResources instance;
  return instance;
}

std::shared_ptr<const TovxResources::Table> TovxResources::Snapshot() const {
  std::lock_guard lock(table_mutex_);
  return table_;
}

void TovxResources::Publish(std::shared_ptr<const Table> table) {
  {
    std::lock_guard lock(table_mutex_);
    table_ = std::move(table);
  }
  if (script_sink_) {
    QHash<QString, QString> messages;
    for (const QString& name : ScriptMessageNames()) messages.insert(name, Get(name));
    script_sink_(messages);
  }
}

QString TovxResources::Get(QStringView name) const {
  const auto table = Snapshot();
  const auto it = table->entries.constFind(Table::Key(name));
  if (it == table->entries.cend()) return name.toString();
  const QString& text = it->text;
  return text.startsWith(u'!') ? text.mid(1) : text;
}

QString TovxResources::GetNumbered(int number) const { return Get(QString::number(number)); }

bool TovxResources::Contains(QStringView name) const {
  return Snapshot()->entries.contains(Table::Key(name));
}

QStringList TovxResources::Names() const {
  const auto table = Snapshot();
  QStringList names;
  names.reserve(table->entries.size());
  for (const auto& entry : table->entries) names.append(entry.name);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return names;
}

QString TovxResources::Message(const ovx::Error& error) const {
  if (error.ResourceName().isEmpty() || !Contains(error.ResourceName())) return error.Message();
  return error.MessageFrom(Get(error.ResourceName()));
}

void TovxResources::AddString(const QString& name, const QString& text) {
  std::lock_guard change(change_mutex_);
  auto table = std::make_shared<Table>(*Snapshot());
  table->entries.insert(Table::Key(name), {name, text});
  Publish(std::move(table));
}

void TovxResources::AddAnsiString(const QString& name, const QByteArray& text) {
  AddString(name, rs::DecodeCodePage(text, CodePage()));
}

int TovxResources::LoadFromString(const QByteArray& xml) {
  ovx::MemoryStream stream(xml);
  return LoadFromStream(stream);
}

int TovxResources::LoadFromStream(ovx::Stream& stream) {
  // Parsed before anything changes: a malformed document leaves the table
  // untouched.
  return MergeDocument(rs::ReadResourceDocument(stream), false);
}

int TovxResources::LoadFromFile(const QString& file_name) {
  return MergeDocument(ReadResourceFile(file_name), false);
}

int TovxResources::MergeDocument(const rs::ResourceDocument& document, bool onto_built_in) {
  std::lock_guard change(change_mutex_);
  auto table = std::make_shared<Table>(onto_built_in ? *built_in_ : *Snapshot());
  const int count = table->Merge(document);
  Publish(std::move(table));
  return count;
}

void TovxResources::Reset() {
  std::lock_guard change(change_mutex_);
  Publish(built_in_);
}

int TovxResources::CodePage() const { return Snapshot()->code_page; }

void TovxResources::SetScriptMessageSink(ScriptMessageSink sink) {
  std::lock_guard change(change_mutex_);
  script_sink_ = std::move(sink);
  Publish(Snapshot());
}

const QStringList& TovxResources::ScriptMessageNames() {
  static const QStringList kNames = {
      QStringLiteral("SLangNotFound"),
      QStringLiteral("SInvalidLanguage"),
      QStringLiteral("SIdRedeclared"),
      QStringLiteral("SUnknownType"),
      QStringLiteral("SIncompatibleTypes"),
      QStringLiteral("SIdUndeclared"),
      QStringLiteral("SClassRequired"),
      QStringLiteral("SIndexRequired"),
      QStringLiteral("SStringError"),
      QStringLiteral("SClassError"),
      QStringLiteral("SArrayRequired"),
      QStringLiteral("SVarRequired"),
      QStringLiteral("SNotEnoughParams"),
      QStringLiteral("STooManyParams"),
      QStringLiteral("SLeftCantAssigned"),
      QStringLiteral("SForError"),
      QStringLiteral("SEventError"),
      QStringLiteral("rsScriptDivByZero"),
      QStringLiteral("rsScriptOverflow"),
      QStringLiteral("rsScriptConvertError"),
      QStringLiteral("rsScriptRangeError"),
      QStringLiteral("rsScriptArrayBounds"),
      QStringLiteral("rsScriptStackOverflow"),
      QStringLiteral("rsScriptExpressionTooDeep"),
      QStringLiteral("rsScriptInvalidObject"),
      QStringLiteral("rsScriptBadArrayBounds"),
      QStringLiteral("rsScriptBadVarType"),
      QStringLiteral("rsScriptSetLengthDims"),
      QStringLiteral("rsScriptBadLength"),
      QStringLiteral("rsScriptBadChr"),
      QStringLiteral("rsScriptBadFormat"),
      QStringLiteral("rsScriptInvalidDate"),
      QStringLiteral("rsScriptInvalidMonth"),
      QStringLiteral("rsScriptDateEncode"),
      QStringLiteral("rsScriptTimeEncode"),
      QStringLiteral("rsScriptNotInteger"),
      QStringLiteral("rsScriptNotFloat"),
      QStringLiteral("rsScriptNotDate"),
      QStringLiteral("rsScriptNotTime"),
      QStringLiteral("rsScriptNotDateTime"),
      QStringLiteral("rsScriptNotBoolean"),
      QStringLiteral("rsScriptInvalidOp"),
      QStringLiteral("rsScriptFloatOverflow"),
      QStringLiteral("rsScriptFloatZeroDivide"),
      QStringLiteral("rsScriptOleError"),
      QStringLiteral("rsScriptCharExpected"),
      QStringLiteral("rsScriptConstExpected"),
      QStringLiteral("rsScriptExpressionExpected"),
      QStringLiteral("rsScriptIndexCount"),
      QStringLiteral("rsScriptInvalidNumber"),
      QStringLiteral("rsScriptLeftParenExpected"),
      QStringLiteral("rsScriptNoResult"),
      QStringLiteral("rsScriptRightParenExpected"),
      QStringLiteral("rsScriptSetExpected"),
      QStringLiteral("rsScriptStatementExpected"),
      QStringLiteral("rsScriptUnknownOperator"),
      QStringLiteral("rsScriptDuplicateString"),
      QStringLiteral("rsScriptSortedList"),
      QStringLiteral("rsScriptListIndex"),
      QStringLiteral("rsScriptInvalidPropertyValue"),
      QStringLiteral("rsScriptAbstractClass"),
      QStringLiteral("rsScriptFreeHostObject"),
      QStringLiteral("rsScriptNoProgram"),
      QStringLiteral("rsScriptTooManyObjects"),
      QStringLiteral("rsScriptNoFiles"),
      QStringLiteral("rsScriptStreamSeek"),
      QStringLiteral("rsScriptStreamRead"),
      QStringLiteral("rsScriptStreamWrite"),
      QStringLiteral("rsScriptStreamShort"),
      QStringLiteral("rsScriptStreamSize"),
      QStringLiteral("rsScriptStreamChar"),
      QStringLiteral("rsScriptStreamOrigin"),
      QStringLiteral("rsScriptStreamMode"),
      QStringLiteral("rsScriptXmlRootMove"),
      QStringLiteral("rsScriptIniEntry"),
      QStringLiteral("rsScriptNoForms"),
  };
  return kNames;
}

// --- Languages ---------------------------------------------------------------

namespace {

const QString kLanguageKey = QStringLiteral("Resources/Language");

// "GERMAN.ovc" and "german.OVC" both name the language "German".
QString LanguageName(QStringView base_name) {
  QString name = base_name.toString().toLower();
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return name;
}

}  // namespace

void TovxResources::RescanLanguages() {
  // Without an application object there is no program folder to search
  // (asking for it would only print a warning).
  QString dir = options_.language_dir;
  if (dir.isEmpty() && QCoreApplication::instance() != nullptr) {
    dir = QCoreApplication::applicationDirPath();
  }
  QHash<QString, QString> found;
  if (!dir.isEmpty()) {
    // Name filters match ignoring case unless asked otherwise; sorting by
    // name makes the choice between "German.ovc" and "GERMAN.OVC" stable.
    const QFileInfoList files =
        QDir(dir).entryInfoList({QStringLiteral("*.ovc")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
      const QString file_name = file.fileName();
      const QString language = LanguageName(QStringView(file_name).chopped(4));
      if (!language.isEmpty() && !found.contains(language)) {
        found.insert(language, file.absoluteFilePath());
      }
    }
  }
  std::lock_guard lock(languages_mutex_);
  language_files_ = std::move(found);
}

QStringList TovxResources::Languages() const {
  std::lock_guard lock(languages_mutex_);
  QStringList languages = language_files_.keys();
  languages.sort(Qt::CaseInsensitive);
  return languages;
}

QString TovxResources::LanguageFile(const QString& language) const {
  std::lock_guard lock(languages_mutex_);
  return language_files_.value(LanguageName(language));
}

std::unique_ptr<QSettings> TovxResources::OpenSettings() const {
  if (!options_.settings_file.isEmpty()) {
    return std::make_unique<QSettings>(options_.settings_file, QSettings::IniFormat);
  }
  return std::make_unique<QSettings>(QStringLiteral("Velmora"), QStringLiteral("velmora"));
}

QString TovxResources::StoredLanguage() const {
  return OpenSettings()->value(kLanguageKey).toString();
}

void TovxResources::SelectLanguage(const QString& language) {
  if (language.isEmpty()) {
    Reset();
  } else {
    const QString file = LanguageFile(language);
    if (file.isEmpty()) {
      throw ovx::Error(QStringLiteral("rsLangUnknown"), QStringLiteral("Unknown language: %s"),
                       {language});
    }
    const rs::ResourceDocument document = ReadResourceFile(file);
    if (!document.is_resources || document.strings.empty()) {
      throw ovx::Error(QStringLiteral("rsLangFileEmpty"),
                       QStringLiteral("The language file %s holds no texts"), {file});
    }
    // Onto the built-in texts, so that texts of the language chosen before
    // do not linger where this one has none.
    MergeDocument(document, true);
  }
  const auto settings = OpenSettings();
  settings->setValue(kLanguageKey, LanguageName(language));
  settings->sync();
  if (settings->status() != QSettings::NoError) {
    throw ovx::Error(QStringLiteral("rsSettingsNotSaved"),
                     QStringLiteral("The language choice could not be saved in %s"),
                     {settings->fileName()});
  }
}

void TovxResources::ApplyStoredLanguage() {
  const QString language = StoredLanguage();
  if (!language.isEmpty()) SelectLanguage(language);
}
