// templatecopy: loads a report template and saves it again.
//
// Shows what the library keeps of a template: loading and saving a template
// it wrote itself gives the same bytes back.
#include "base/error.h"
#include "report/model/report.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: templatecopy INPUT OUTPUT\n"
    "Loads the report template INPUT (.ov3) and saves it as OUTPUT.\n"
    "Errors found while loading are printed; the rest is saved anyway.\n"
    "\n"
    "Exit status: 0 on success, 1 when loading had errors or saving failed,\n"
    "2 on bad usage.\n";

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  if (args.size() != 2) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }
  TovxReport report;
  if (!report.LoadFromFile(args[0])) {
    Print(stderr, QStringLiteral("templatecopy: no such file: %1\n").arg(args[0]));
    return 1;
  }
  for (const QString& line : report.Errors())
    Print(stderr, QStringLiteral("error: ") + line + u'\n');
  try {
    report.SaveToFile(args[1]);
  } catch (const ovx::Error& error) {
    Print(stderr, QStringLiteral("templatecopy: ") + error.Message() + u'\n');
    return 1;
  }
  return report.Errors().isEmpty() ? 0 : 1;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("templatecopy", [&] { return Main(argc, argv); });
}
