// The xmlcat tool, run as a program.
#include "base/stream.h"
#include "tests/test_support.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ovx {
namespace {

struct ToolRun {
  int exit_code = -1;
  QByteArray out;
  QByteArray err;
};

ToolRun Xmlcat(const QStringList& arguments, const QByteArray& input = QByteArray()) {
  QProcess process;
  process.start(QStringLiteral(VELMORA_XMLCAT), arguments);
  if (!process.waitForStarted()) return {};
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished();
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(XmlcatTest, CopiesFixturesByteForByte) {
  const QString indented = test::DataPath("xml/template_indented.ov3");
  const QString compact = test::DataPath("xml/prepared_compact.op3");
  struct Case {
    QStringList arguments;
    QString fixture;
    QByteArray input;
  };
  const Case cases[] = {
      {{indented}, indented, {}},
      {{"--indent", "-"}, indented, ReadFile(indented)},
      {{"--no-indent", compact}, compact, {}},
      {{"--no-indent", "--partial", compact}, compact, {}},
      {{"--partial", "--no-indent"}, compact, ReadFile(compact)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const QByteArray expected = ReadFile(c.fixture);
    ASSERT_FALSE(expected.isEmpty());
    const ToolRun run = Xmlcat(c.arguments, c.input);
    EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, expected);
  }
}

TEST(XmlcatTest, WritesToAFileAndSwitchesIndentation) {
  QTemporaryDir dir;
  const QString out = dir.filePath("out.ov3");
  const QString indented = test::DataPath("xml/template_indented.ov3");
  ToolRun run = Xmlcat({"--no-indent", "-o", out, indented});
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  const QByteArray compact = ReadFile(out);
  EXPECT_FALSE(compact.contains('\n'));
  run = Xmlcat({"--output=" + out, out});
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(ReadFile(out), ReadFile(indented));
}

TEST(XmlcatTest, ReportsErrors) {
  QTemporaryDir dir;
  struct Case {
    QStringList arguments;
    QByteArray input;
    int exit_code;
    const char* message;
  };
  const Case cases[] = {
      {{"-"},
       "<?xml version=\"1.0\"?><a><b>",
       1,
       "standard input: Invalid file format (document ends before its end tags at byte 27)"},
      {{"-"}, "<a/>", 1, "Invalid file format (first tag is not the XML declaration at byte 0)"},
      {{dir.filePath("missing.xml")}, {}, 1, "missing.xml: No such file or directory"},
      {{"-o", dir.filePath("no/dir/x.xml"), "-"}, "<?xml?><a/>", 1, "no/dir/x.xml"},
      {{"--bogus"}, {}, 2, "unknown option --bogus"},
      {{"a", "b"}, {}, 2, "more than one input file"},
      {{"-o"}, {}, 2, "needs a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const ToolRun run = Xmlcat(c.arguments, c.input);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
  }
}

TEST(XmlcatTest, Help) {
  const ToolRun run = Xmlcat({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.out.startsWith("Usage: xmlcat"));
  EXPECT_TRUE(run.err.isEmpty());
}

}  // namespace
}  // namespace ovx
