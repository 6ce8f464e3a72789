// The built-in resource documents: complete, well-formed, representable in
// GBK, and holding a text for every name the code looks up.
#include "base/stream.h"
#include "base/text_codec.h"
#include "resources/internal/resource_text.h"
#include "script/messages.h"
#include "tests/resources/resources_test_util.h"
#include "tests/test_support.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

namespace ovx::test {
namespace {

const QString kSourceDir = QStringLiteral(VELMORA_SOURCE_DIR);
const QStringList kDocuments = {"general", "prop_hints", "designer", "export"};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString DocumentPath(const QString& document) {
  return kSourceDir + "/resources/data/" + document + ".xml";
}

// names.txt: "[document]" headers, then one name or "a-b" range per line.
QMap<QString, QStringList> ListedNames() {
  QMap<QString, QStringList> names;
  QString section;
  static const QRegularExpression kRange(QStringLiteral("^(\\d+)-(\\d+)$"));
  const QByteArray fixture = ReadFile(DataPath("resources/names.txt"));
  EXPECT_FALSE(fixture.isEmpty()) << "tests/data/resources/names.txt not found (VELMORA_TEST_DATA)";
  for (const QString& line : QString::fromUtf8(fixture).split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    if (line.startsWith('[')) {
      section = line.mid(1, line.size() - 2);
      continue;
    }
    const QRegularExpressionMatch range = kRange.match(line);
    if (range.hasMatch()) {
      for (int n = range.captured(1).toInt(); n <= range.captured(2).toInt(); ++n) {
        names[section].append(QString::number(n));
      }
    } else {
      names[section].append(line);
    }
  }
  return names;
}

resources_internal::ResourceDocument ReadDocument(const QString& document) {
  MemoryStream stream(ReadFile(DocumentPath(document)));
  return resources_internal::ReadResourceDocument(stream);
}

TEST_F(ResourcesTest, EveryListedNameHasItsText) {
  const QMap<QString, QStringList> listed = ListedNames();
  struct Case {
    const char* document;
    int count;  // names of the group, duplicates counted once
  };
  const Case cases[] = {{"general", 243}, {"prop_hints", 273}, {"export", 284}, {"designer", 2}};
  for (const Case& c : cases) {
    const QStringList& names = listed.value(QString::fromLatin1(c.document));
    EXPECT_EQ(names.size(), c.count) << c.document;
    for (const QString& name : names) {
      EXPECT_TRUE(resources_->Contains(name)) << c.document << ": " << name.toStdString();
    }
  }
}

TEST_F(ResourcesTest, DocumentsHoldNoStrayOrRepeatedNames) {
  const QMap<QString, QStringList> listed = ListedNames();
  for (const QString& document : kDocuments) {
    SCOPED_TRACE(document.toStdString());
    const auto parsed = ReadDocument(document);
    ASSERT_TRUE(parsed.is_resources);
    EXPECT_EQ(parsed.code_page, 936);
    const QStringList names = listed.value(document);
    const QSet<QString> known(names.begin(), names.end());
    QSet<QString> seen;
    for (const auto& [name, text] : parsed.strings) {
      // The general document also carries this program's own messages.
      EXPECT_TRUE(known.contains(name) || (document == "general" && name.startsWith("rs")))
          << name.toStdString();
      EXPECT_FALSE(seen.contains(name)) << name.toStdString() << " twice";
      seen.insert(name);
      EXPECT_FALSE(text.trimmed().isEmpty()) << name.toStdString();
    }
  }
}

TEST_F(ResourcesTest, TextsOtherPartsRelyOn) {
  int count = 0;
  for (const QString& line :
       QString::fromUtf8(ReadFile(DataPath("resources/texts.tsv"))).split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const qsizetype tab = line.indexOf('\t');
    ASSERT_GT(tab, 0) << line.toStdString();
    const QString name = line.left(tab);
    EXPECT_EQ(resources_->Get(name), line.mid(tab + 1)) << name.toStdString();
    ++count;
  }
  EXPECT_EQ(count, 95);
}

TEST_F(ResourcesTest, DocumentsAreUtf8AndEveryTextFitsGbk) {
  for (const QString& document : kDocuments) {
    SCOPED_TRACE(document.toStdString());
    const QByteArray bytes = ReadFile(DocumentPath(document));
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.1\" encoding=\"utf-8\"?>"));
    EXPECT_TRUE(IsValidUtf8(bytes));
    for (const auto& [name, text] : ReadDocument(document).strings) {
      bool lossless = false;
      ToGbk(text, &lossless);
      EXPECT_TRUE(lossless) << name.toStdString() << ": " << text.toStdString();
      EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << name.toStdString();
    }
  }
}

TEST_F(ResourcesTest, DocumentsPassXmllint) {
  const QString xmllint = QStringLiteral(VELMORA_XMLLINT);
  if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils)";
  for (const QString& document : kDocuments) {
    QProcess process;
    process.start(xmllint, {"--noout", DocumentPath(document)});
    ASSERT_TRUE(process.waitForFinished()) << document.toStdString();
    const QByteArray errors = process.readAllStandardError();
    EXPECT_EQ(process.exitCode(), 0) << errors.toStdString();
    // The one warning allowed: libxml2 reads XML 1.1 as 1.0.
    for (const QByteArray& line : errors.split('\n')) {
      if (line.contains(": ")) {
        EXPECT_TRUE(line.contains("Unsupported version '1.1'")) << line.toStdString();
      }
    }
  }
}

// Every resource name the code uses literally has a text: lookups
// (Get("...") on a table, GetNumbered(N)) and the names errors carry
// (ovx::Error("name", ...)).
TEST_F(ResourcesTest, EveryNameUsedInTheCodeHasAText) {
  static const QRegularExpression kUses(
      QStringLiteral(R"re((?:\.|->)Get\(\s*(?:QStringLiteral\(|u)?"([^"\\]+)"\)?\s*\))re"
                     R"re(|\bGetNumbered\(\s*(\d+)\s*\))re"
                     R"re(|\bError\(\s*(?:QStringLiteral\(|u)?"([^"\\]+)")re"));
  const QSet<QString> skipped_dirs = {"tests", "fuzz", "fuzz-corpus", "data", "docs", "scripts"};
  QMap<QString, QString> uses;  // name -> first place
  QDirIterator it(kSourceDir, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString relative = path.mid(kSourceDir.size() + 1);
    const QString top = relative.section('/', 0, 0);
    if (skipped_dirs.contains(top) || top.startsWith("build") || top.startsWith('.')) continue;
    const QString source = QString::fromUtf8(ReadFile(path));
    for (auto match = kUses.globalMatch(source); match.hasNext();) {
      const QRegularExpressionMatch m = match.next();
      const QString name = !m.captured(1).isEmpty()   ? m.captured(1)
                           : !m.captured(2).isEmpty() ? m.captured(2)
                                                      : m.captured(3);
      const int line = source.left(m.capturedStart()).count('\n') + 1;
      if (!uses.contains(name)) uses.insert(name, relative + ":" + QString::number(line));
    }
  }
  // The scan must see the code base: these names are used today.
  for (const char* name : {"prDupl", "prInvProp", "rsLangUnknown", "rsHelpNoBrowser"}) {
    EXPECT_TRUE(uses.contains(QString::fromLatin1(name))) << name << " not found by the scan";
  }
  for (auto use = uses.cbegin(); use != uses.cend(); ++use) {
    EXPECT_TRUE(resources_->Contains(use.key())) << "\"" << use.key().toStdString() << "\" ("
                                                 << use.value().toStdString() << ") has no text";
  }
}

// The scripting engine keeps its messages apart from the table (it links
// nothing above base) and receives their texts through the sink; every
// message it can raise must be among them with a Chinese text.
TEST_F(ResourcesTest, EveryScriptMessageHasAText) {
  static const QRegularExpression kNames(
      QStringLiteral(R"re("((?:S[A-Z]|rsScript)[A-Za-z0-9]+)")re"));
  QMap<QString, QString> uses;  // name -> first file
  QDirIterator it(kSourceDir + "/script", {"*.cpp", "*.h"}, QDir::Files);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString source = QString::fromUtf8(ReadFile(path));
    for (auto match = kNames.globalMatch(source); match.hasNext();) {
      const QString name = match.next().captured(1);
      if (!uses.contains(name)) uses.insert(name, path.mid(kSourceDir.size() + 1));
    }
  }
  // The scan must see the engine: these are raised today.
  for (const char* name : {"SIdUndeclared", "SExpressionExpected", "rsScriptBadFormat"}) {
    EXPECT_TRUE(uses.contains(QString::fromLatin1(name))) << name << " not found by the scan";
  }
  QHash<QString, QString> texts;
  resources_->SetScriptMessageSink([&](const QHash<QString, QString>& t) { texts = t; });
  const QStringList& sent = TovxResources::ScriptMessageNames();
  static const QRegularExpression kChinese(QStringLiteral("[\\x{4E00}-\\x{9FFF}]"));
  for (auto use = uses.cbegin(); use != uses.cend(); ++use) {
    const QString resource = ScriptMessageResourceName(use.key());
    EXPECT_TRUE(sent.contains(resource))
        << use.key().toStdString() << " (" << use.value().toStdString()
        << ") is not among the script messages as " << resource.toStdString();
    EXPECT_TRUE(texts.value(resource).contains(kChinese))
        << use.key().toStdString() << " (" << use.value().toStdString() << ") has no Chinese text";
  }
}

}  // namespace
}  // namespace ovx::test
