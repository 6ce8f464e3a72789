// The headless command line: options map onto the print command's
// settings, bad input gives a message and never a half-run command.
#include "app/core/command_line.h"
#include "base/error.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx::app {
namespace {

PrintSettings Defaults() {
  PrintSettings settings;
  settings.body_lines = {QStringLiteral("天地")};
  settings.title_lines = {QStringLiteral("题")};
  settings.data_directory = QStringLiteral(VELMORA_APP_DATA_DIR);
  return settings;
}

QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
  const QString path = dir.filePath(QLatin1String(name));
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(bytes);
  return path;
}

TEST(CommandLineTest, OptionsSetTheSettings) {
  QTemporaryDir dir;
  const QString text = WriteFile(dir, "t.txt",
                                 "\xEF\xBB\xBF"
                                 "一二\r\n三 四\nx五\n");
  const CommandLine c = ParseCommandLine(
      {"--text", text, "--title=甲\n乙", "--no-cover-background", "--no-body-background",
       "--keep-punctuation", "--lines", "3", "--chars=4", "--dump"},
      Defaults());
  EXPECT_EQ(c.settings.body_lines, (QStringList{"一二", "三 四", "x五"}));
  EXPECT_EQ(c.settings.title_lines, (QStringList{"甲", "乙"}));
  EXPECT_FALSE(c.settings.cover_background);
  EXPECT_FALSE(c.settings.body_background);
  EXPECT_FALSE(c.settings.remove_punctuation);
  EXPECT_EQ(c.settings.lines, "3");
  EXPECT_EQ(c.settings.chars, "4");
  EXPECT_TRUE(c.dump);

  const CommandLine plain = ParseCommandLine({}, Defaults());
  EXPECT_TRUE(plain.settings.cover_background && plain.settings.body_background &&
              plain.settings.remove_punctuation && !plain.dump && !plain.preview);
  EXPECT_TRUE(ParseCommandLine({"--preview", "--lines", "3"}, Defaults()).preview);
}

TEST(CommandLineTest, BadInputIsRefusedWithAMessage) {
  QTemporaryDir dir;
  const QString latin1 = WriteFile(dir, "bad.txt", "caf\xE9");
  struct Case {
    QStringList args;
    const char* message_part;
  };
  const Case cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"file.txt"}, "file.txt"},
      {{"--text"}, "--text needs a value"},
      {{"--text", dir.filePath("missing.txt")}, "missing.txt"},
      {{"--text", latin1}, "not UTF-8"},
      {{"--lines", "abc"}, "--lines"},
      {{"--chars", "0"}, "--chars"},
      {{"--dump=yes"}, "takes no value"},
      {{"--preview=yes"}, "takes no value"},
  };
  for (const Case& c : cases) {
    try {
      ParseCommandLine(c.args, Defaults());
      ADD_FAILURE() << c.args.join(' ').toStdString();
    } catch (const ovx::Error& e) {
      EXPECT_TRUE(e.Message().contains(QLatin1String(c.message_part))) << e.Message().toStdString();
    }
  }
}

TEST(CommandLineTest, RunWritesTheDumpOrAMessage) {
  QByteArray out;
  QByteArray err;
  CommandLine dump = ParseCommandLine({"--dump", "--keep-punctuation"}, Defaults());
  EXPECT_EQ(RunCommandLine(dump, out, err), 0);
  EXPECT_TRUE(err.isEmpty());
  EXPECT_TRUE(out.startsWith("{\"pages\":[{\"class\":\"TovxDataPage\",\"name\":\"Data\""));
  EXPECT_TRUE(out.contains("\"name\":\"F1\",") && out.contains("\"text\":\"地\""))
      << out.constData();

  out.clear();
  CommandLine help = ParseCommandLine({"--help"}, Defaults());
  EXPECT_EQ(RunCommandLine(help, out, err), 0);
  for (const char* option :
       {"--text", "--title", "--no-cover-background", "--no-body-background", "--keep-punctuation",
        "--lines", "--chars", "--dump", "--preview", "--help"}) {
    EXPECT_TRUE(out.contains(option)) << option;
  }

  // The preview itself is the program's to open: the run writes nothing.
  out.clear();
  err.clear();
  CommandLine preview = ParseCommandLine({"--preview"}, Defaults());
  EXPECT_EQ(RunCommandLine(preview, out, err), 0);
  EXPECT_TRUE(out.isEmpty() && err.isEmpty()) << out.constData() << err.constData();

  out.clear();
  CommandLine no_pictures = ParseCommandLine({}, Defaults());
  no_pictures.settings.data_directory = QStringLiteral("/nonexistent");
  EXPECT_EQ(RunCommandLine(no_pictures, out, err), 1);
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(err.contains("bg_fm.jpg")) << err.constData();
}

}  // namespace
}  // namespace ovx::app
