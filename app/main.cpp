// velmora: with no arguments the main window; with arguments the print
// command without a window (no display needed), writing its results; with
// --preview the print command with the preview window, as the print button
// runs it.
#include "app/core/command_line.h"
#include "app/core/fixed_data.h"
#include "app/main_window.h"
#include "app/script_dialogs.h"
#include "base/error.h"
#include "engine/engine.h"
#include "engine/report_script.h"
#include "export/export_filter.h"
#include "export/ui/export_dialogs.h"
#include "export/ui/pdf_export_dialog.h"
#include "preview/preview_host.h"
#include "print/print_job.h"
#include "print/ui/print_dialog.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

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
    code = ovx::app::RunCommandLine(command, out, err, /*leave_report_to_exit=*/true);
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

// Qt aborts when the window system it is to use is not there; the program
// says so and exits instead. A platform without a display (offscreen) is
// fine.
bool HasDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const bool x11 = !qgetenv("DISPLAY").isEmpty();
  const bool wayland = !qgetenv("WAYLAND_DISPLAY").isEmpty();
  if (platform.isEmpty()) return x11 || wayland;
  if (platform.startsWith("xcb")) return x11;
  if (platform.startsWith("wayland")) return wayland || (platform.contains("xcb") && x11);
  return true;
}

// The preview opens a window, so it needs the window system from the start.
bool AsksForPreview(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--preview") == 0) return true;
  }
  return false;
}

int RunPreview(QApplication& app) {
  ovx::app::CommandLine command;
  try {
    command = ovx::app::ParseCommandLine(app.arguments().mid(1), ovx::app::DefaultPrintSettings());
  } catch (const ovx::Error& e) {
    Write(stderr, QStringLiteral("velmora: %1\n").arg(e.Message()).toUtf8());
    return 2;
  }
  // The files asked for besides the preview come first, as without it.
  QByteArray out;
  QByteArray err;
  const int code = ovx::app::RunCommandLine(command, out, err);
  Write(stdout, out);
  Write(stderr, err);
  if (code != 0 || command.help) return code;
  // The window registers the private font and holds the report; it stays
  // hidden, and the program ends when the preview closes.
  TfrmMain window(command.settings.data_directory);
  window.ApplySettings(command.settings);
  window.PrepareHidden();
  window.btn2Click();
  if (ovx::OpenPreviewForms().empty()) return 0;
  // A preview that is not modal is still open.
  return app.exec();
}

}  // namespace

int Main(int argc, char** argv) {
  if (argc > 1 && !AsksForPreview(argc, argv)) return RunHeadless(argc, argv);
  if (!HasDisplay()) {
    std::fputs(argc > 1 ? "velmora: --preview needs a display (DISPLAY or WAYLAND_DISPLAY is not "
                          "set); the other outputs need none\n"
                        : "velmora: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not "
                          "set); see velmora --help for the options that need none\n",
               stderr);
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velmora"));
  ovx::InstallScripting();
  ovx::app::InstallScriptDialogs();
  ovx::InstallExport();
  ovx::InstallExportDialogs();
  ovx::InstallPdfExportDialog();
  ovx::InstallPreview();
  ovx::InstallPrinting();
  ovx::InstallPrintDialog();
  if (argc > 1) return RunPreview(app);
  TfrmMain window(ovx::app::DataDirectory());
  window.show();
  return app.exec();
}

int main(int argc, char** argv) {
  // Whatever escapes is reported, never an abort.
  try {
    return Main(argc, argv);
  } catch (const ovx::Error& e) {
    Write(stderr, QStringLiteral("velmora: %1\n").arg(e.Message()).toUtf8());
  } catch (const std::bad_alloc&) {
    std::fputs("velmora: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: %s\n", e.what());
  }
  return 1;
}
