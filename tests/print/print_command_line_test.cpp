// The program's --print option: its optional printer name.
#include "app/core/command_line.h"
#include "base/error.h"

#include <gtest/gtest.h>

namespace ovx::test {
namespace {

TEST(PrintCommandLineTest, ThePrinterNameIsOptional) {
  struct Case {
    QStringList arguments;
    QString printer;
    bool dump;
  };
  const Case cases[] = {
      {{"--print"}, "", false},
      {{"--print", "office"}, "office", false},
      {{"--print=office"}, "office", false},
      {{"--print", "--dump"}, "", true},  // the next option is no printer
      {{"--dump", "--print", "Laser 5"}, "Laser 5", true},
  };
  for (const Case& c : cases) {
    const app::CommandLine command = app::ParseCommandLine(c.arguments, app::PrintSettings());
    EXPECT_TRUE(command.print) << c.arguments.join(u' ').toStdString();
    EXPECT_EQ(command.printer, c.printer) << c.arguments.join(u' ').toStdString();
    EXPECT_EQ(command.dump, c.dump) << c.arguments.join(u' ').toStdString();
  }
  EXPECT_FALSE(app::ParseCommandLine({"--dump"}, app::PrintSettings()).print);
  EXPECT_NE(app::HelpText().indexOf(u"--print [PRINTER]"), -1);
}

}  // namespace
}  // namespace ovx::test
