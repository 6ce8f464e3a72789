// velmora: with no arguments the main window; with arguments the print
// command without a window (no display needed), writing its results.
#include "app/core/command_line.h"
#include "app/core/fixed_data.h"
#include "app/main_window.h"
#include "base/error.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

void Write(std::FILE* stream, const QByteArray& bytes) {
  if (!bytes.isEmpty())
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

int RunHeadless(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QByteArray out;
  QByteArray err;
  int code = 2;
  try {
    const ovx::app::CommandLine command =
        ovx::app::ParseCommandLine(app.arguments().mid(1), ovx::app::DefaultPrintSettings());
    code = ovx::app::RunCommandLine(command, out, err);
  } catch (const ovx::Error& e) {
    err += QStringLiteral("velmora: %1\n").arg(e.Message()).toUtf8();
  }
  Write(stdout, out);
  Write(stderr, err);
  if (std::ferror(stdout)) {
    std::fputs("velmora: cannot write the output\n", stderr);
    return 1;
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return RunHeadless(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velmora"));
  TfrmMain window(ovx::app::DataDirectory());
  window.show();
  return app.exec();
}
