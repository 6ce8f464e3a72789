// templatecopy: loads a report template and saves it again.
//
// Shows what the library keeps of a template: loading and saving a template
// it wrote itself gives the same bytes back.
#include "base/error.h"
#include "engine/engine.h"
#include "engine/report_script.h"
#include "report/model/report.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: templatecopy [--prepare] INPUT OUTPUT\n"
    "Loads the report template INPUT (.ov3) and saves it as OUTPUT.\n"
    "Errors found while loading are printed; the rest is saved anyway.\n"
    "With --prepare the report is prepared (twice) before it is saved, to\n"
    "show that preparing leaves the template as it was; errors of the\n"
    "preparation are printed and do not change the exit status.\n"
    "\n"
    "Exit status: 0 on success, 1 when loading had errors or saving failed,\n"
    "2 on bad usage.\n";

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  const bool prepare = !args.isEmpty() && args[0] == "--prepare";
  if (prepare) args.removeFirst();
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
  const QStringList load_errors = report.Errors();
  if (prepare) {
    ovx::InstallScripting();
    // Quiet and without event processing while preparing; the template's
    // own settings go back before it is saved.
    const TovxSilentMode silent_mode = report.EngineOptions().NewSilentMode();
    const bool thread_safe = report.EngineOptions().EnableThreadSafe();
    report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
    report.EngineOptions().SetEnableThreadSafe(true);
    for (int run = 0; run < 2; ++run) {
      const qsizetype before = report.Errors().size();
      if (!report.PrepareReport()) Print(stderr, QStringLiteral("prepare: no pages\n"));
      for (qsizetype i = before; i < report.Errors().size(); ++i)
        Print(stderr, QStringLiteral("prepare: ") + report.Errors()[i] + u'\n');
    }
    report.EngineOptions().SetNewSilentMode(silent_mode);
    report.EngineOptions().SetEnableThreadSafe(thread_safe);
  }
  try {
    report.SaveToFile(args[1]);
  } catch (const ovx::Error& error) {
    Print(stderr, QStringLiteral("templatecopy: ") + error.Message() + u'\n');
    return 1;
  }
  return load_errors.isEmpty() ? 0 : 1;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("templatecopy", [&] { return Main(argc, argv); });
}
