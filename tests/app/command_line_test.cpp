// The headless command line: options map onto the print command's
// settings, bad input gives a message and never a half-run command.
#include "app/core/command_line.h"
#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

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
      // A forgotten value is not a file named after the next option.
      {{"--pdf", "--lines", "3"}, "--pdf needs a value, not the option \"--lines\""},
      {{"--text", "--dump"}, "--text needs a value, not the option"},
      {{"--pdf", "o.pdf", "--pdf-password="}, "--pdf-password is empty"},
      {{"--pdf", "o.pdf", "--pdf-user-password", ""}, "--pdf-user-password is empty"},
      {{"--pdf-password", "secret"}, "--pdf-password needs --pdf"},
      {{"--pdf-user-password=secret", "--op3", "o.op3"}, "--pdf-user-password needs --pdf"},
      {{"--title", QStringLiteral("caf") + QChar::ReplacementCharacter}, "not valid UTF-8"},
      {{"--lines", "3", "--lines=4"}, "--lines is given more than once"},
      {{"--dump", "--dump"}, "--dump is given more than once"},
      {{"--pdf", "a.pdf", "--pdf", "b.pdf"}, "--pdf is given more than once"},
      {{"-h", "--help"}, "--help is given more than once"},
      // Files that are no regular files are refused, not read for ever.
      {{"--text", "/dev/zero"}, "a device"},
      {{"--text", dir.path()}, "a folder"},
  };
  const QString fifo = dir.filePath("fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({{"--text", fifo}, "a pipe"});
  for (const Case& c : all) {
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

TEST(CommandLineTest, AValueThatLooksLikeAnOptionIsGivenWithAnEqualsSign) {
  const CommandLine c = ParseCommandLine({"--pdf=--lines", "--pdf-password=--x"}, Defaults());
  EXPECT_EQ(c.pdf_file, "--lines");
  EXPECT_EQ(c.pdf_owner_password, "--x");
}

// Runs the command line; answers the exit code, with its messages in `err`.
int RunArgs(const QStringList& args, QByteArray& err, PrintSettings settings = Defaults()) {
  QByteArray out;
  err.clear();
  return RunCommandLine(ParseCommandLine(args, std::move(settings)), out, err);
}

TEST(CommandLineTest, OutputsNeverReplaceAnInput) {
  QTemporaryDir dir;
  const QString text = WriteFile(dir, "t.txt", "天地玄黄");
  const QString alias = dir.filePath("alias.txt");
  ASSERT_TRUE(QFile::link(text, alias));
  QByteArray err;
  for (const QStringList& args :
       {QStringList{"--text", text, "--pdf", text}, QStringList{"--text", text, "--op3", alias},
        QStringList{"--text", alias, "--jpeg", dir.filePath("t.jpg"), "--pdf",
                    dir.path() + "/./t.txt"}}) {
    EXPECT_EQ(RunArgs(args, err), 1) << args.join(' ').toStdString();
    EXPECT_TRUE(err.contains("would replace the input file")) << err.constData();
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("天地玄黄"));
  }
}

TEST(CommandLineTest, AMissingOrDamagedPrivateFontStopsTheRunWithItsName) {
  QTemporaryDir dir;
  const QString data = QStringLiteral(VELMORA_APP_DATA_DIR);
  QFile font(data + "/KaitiVelmora.otf");
  ASSERT_TRUE(font.open(QIODevice::ReadOnly));
  const QByteArray bytes = font.readAll();
  for (const char* picture : {"bg_fm.jpg", "bg_zw.jpg"})
    ASSERT_TRUE(QFile::copy(data + '/' + picture, dir.filePath(picture)));
  const QString pdf = WriteFile(dir, "keep.pdf", "old pdf");
  PrintSettings settings = Defaults();
  settings.data_directory = dir.path();
  struct Case {
    const char* what;
    QByteArray font;  // empty: missing
  };
  for (const Case& c : {Case{"missing", {}}, Case{"cut short by one byte", bytes.chopped(1)},
                        Case{"cut in half", bytes.left(bytes.size() / 2)},
                        Case{"not a font", QByteArray(4096, 'x')}}) {
    SCOPED_TRACE(c.what);
    QFile::remove(dir.filePath("KaitiVelmora.otf"));
    if (!c.font.isEmpty()) WriteFile(dir, "KaitiVelmora.otf", c.font);
    QByteArray err;
    EXPECT_EQ(RunArgs({"--pdf", pdf}, err, settings), 1);
    EXPECT_TRUE(err.contains("KaitiVelmora.otf")) << err.constData();
    QFile kept(pdf);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old pdf"));
  }
}

TEST(CommandLineTest, PageFoldersAreMadeAndLeftWithOneExport) {
  QTemporaryDir dir;
  QByteArray err;
  // A folder named as the output is made (for --jpeg, with its slash).
  const QString jpeg = dir.filePath("new/pages/");
  ASSERT_EQ(RunArgs({"--jpeg", jpeg}, err), 0) << err.constData();
  EXPECT_TRUE(QFileInfo::exists(jpeg + "velmora.1.jpg"));
  EXPECT_TRUE(QFileInfo::exists(jpeg + "velmora.2.jpg"));
  // The pages of an earlier, longer export go; a page after a gap is no
  // page of it.
  for (const char* stale : {"velmora.3.jpg", "velmora.4.jpg", "velmora.6.jpg"})
    WriteFile(dir, (QByteArray("new/pages/") + stale).constData(), "stale");
  ASSERT_EQ(RunArgs({"--jpeg", jpeg}, err), 0) << err.constData();
  EXPECT_TRUE(err.contains("removed 2 page files of an earlier export")) << err.constData();
  EXPECT_EQ(QDir(jpeg).entryList(QDir::Files),
            (QStringList{"velmora.1.jpg", "velmora.2.jpg", "velmora.6.jpg"}));

  // The folder of an output file must exist; the message names what was typed.
  const QString pdf = dir.filePath("missing/out.pdf");
  EXPECT_EQ(RunArgs({"--pdf", pdf}, err), 1);
  EXPECT_TRUE(err.contains(pdf.toUtf8()) && err.contains("does not exist")) << err.constData();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
  const QString jpeg_file = dir.filePath("gone/book.jpg");
  EXPECT_EQ(RunArgs({"--jpeg", jpeg_file}, err), 1);
  EXPECT_TRUE(err.contains(dir.filePath("gone").toUtf8()) && err.contains("does not exist"))
      << err.constData();
}

// A title is the user's text: brackets in it are printed, not evaluated.
TEST(CommandLineTest, BracketsInTheTitleArePrinted) {
  QTemporaryDir dir;
  QByteArray err;
  const QString op3 = dir.filePath("t.op3");
  ASSERT_EQ(RunArgs({"--title=[\n序\n]", "--op3", op3}, err), 0) << err.constData();
  QFile file(op3);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString saved = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(saved.contains(QRegularExpression(QStringLiteral("\\[[^\\]\"]*序[^\\[\"]*\\]"))))
      << saved.left(2000).toStdString();
}

TEST(CommandLineTest, WhatTheBuildLeavesOutIsSaid) {
  QTemporaryDir dir;
  struct Case {
    QStringList args;
    const char* message_part;  // empty: no message
  };
  const QString controls = WriteFile(dir, "c.txt", QByteArray("\x01\x02天\x1B地\t"));
  const QString long_text = WriteFile(dir, "l.txt", QByteArray("天地玄黄").repeated(150));
  const Case cases[] = {
      {{"--text", controls}, "4 control characters were dropped from the body text"},
      {{"--text", long_text, "--lines", "1", "--chars", "1"},
       "99 of its 600 characters were left out"},
      {{"--title", "道\n德\n经"}, ""},
      {{"--title", QStringLiteral("一\n二\n三\n四\n五\n六")}, "it is set at"},
      {{"--title", QStringList(60, QStringLiteral("长")).join(u'\n')}, "cut off"},
  };
  for (const Case& c : cases) {
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(RunCommandLine(ParseCommandLine(c.args, Defaults()), out, err), 0);
    if (*c.message_part) {
      EXPECT_TRUE(err.contains(c.message_part))
          << c.args.join(' ').toStdString() << ": " << err.constData();
    } else {
      EXPECT_TRUE(err.isEmpty()) << err.constData();
    }
  }
}

}  // namespace
}  // namespace ovx::app
