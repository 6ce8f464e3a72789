// templatedump: loads a report template and prints a canonical dump of it.
//
// Every object with its class, name and every published property with its
// value, children indented below their parents, then the problems found
// while loading. Two templates with the same content give the same dump.
#include "base/error.h"
#include "report/model/report.h"
#include "report/storage/object_dump.h"
#include "tools/tool_output.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: templatedump TEMPLATE\n"
    "Loads a report template (.ov3) and prints every object with all its\n"
    "properties, then the errors found while loading.\n"
    "\n"
    "Exit status: 0 when the template loaded without errors, 1 when it could\n"
    "not be read or had errors, 2 on bad usage.\n";

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  if (args.size() != 1) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }
  TovxReport report;
  if (!report.LoadFromFile(args[0])) {
    Print(stderr, QStringLiteral("templatedump: no such file: %1\n").arg(args[0]));
    return 1;
  }
  Print(stdout, ovx::DumpObjectTree(report));
  for (const QString& line : report.Errors())
    Print(stderr, QStringLiteral("error: ") + line + u'\n');
  return report.Errors().isEmpty() ? 0 : 1;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("templatedump", [&] { return Main(argc, argv); });
}
