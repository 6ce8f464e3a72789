#include "app/core/command_line.h"

#include "engine/engine.h"
#include "engine/page_recording.h"
#include "engine/preview_pages.h"

#include "app/core/export_settings.h"
#include "app/core/fixed_data.h"
#include "app/core/report_dump.h"
#include "base/error.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "report/model/report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace ovx::app {
namespace {

[[noreturn]] void Fail(const QString& text, QStringList args = {}) {
  throw ovx::Error(QString(), text, std::move(args));
}

// The private font for the drawing of one headless run, as the window
// registers it for its lifetime; a missing file is no error there either.
class PrivateFont {
 public:
  explicit PrivateFont(const QString& data_directory)
      : path_(QDir(data_directory).filePath(QLatin1String(kPrivateFontFile))),
        registered_(FontService::Instance().AddPrivateFont(path_)) {}
  ~PrivateFont() {
    if (registered_) FontService::Instance().RemovePrivateFont(path_);
  }
  PrivateFont(const PrivateFont&) = delete;
  PrivateFont& operator=(const PrivateFont&) = delete;

 private:
  QString path_;
  bool registered_;
};

// Exports the prepared report with the window's JPEG filter settings; no
// dialog, since nobody is there to answer it.
void ExportJpeg(TovxReport& report, const CommandLine& command, QByteArray& err) {
  TovxJPEGExport filter;
  ApplyJpegExportSettings(filter);
  filter.SetShowDialog(false);
  filter.SetResolution(command.jpeg_resolution);
  if (QFileInfo(command.jpeg_path).isDir()) {
    filter.SetDefaultPath(command.jpeg_path);
  } else {
    filter.SetFileName(command.jpeg_path);
  }
  TovxPreviewPages* pages = PreparedPages(report);
  if (!pages) Fail(QStringLiteral("No engine prepared the report"));
  report.ClearErrors();
  if (!pages->Export(filter)) {
    Fail(QStringLiteral("The JPEG export failed: %s"), {report.Errors().join(u"; ")});
  }
  err += QStringLiteral("velmora: exported %1 pages as JPEG at %2 dpi into %3\n")
             .arg(pages->Count())
             .arg(command.jpeg_resolution)
             .arg(QDir::toNativeSeparators(QFileInfo(command.jpeg_path).absoluteFilePath()))
             .toUtf8();
}

// Exports the prepared report with the window's PDF filter settings.
void ExportPdf(TovxReport& report, const CommandLine& command, QByteArray& err) {
  TovxPDFExport filter(nullptr, /*registered=*/false);
  ApplyPdfExportSettings(filter);
  filter.SetShowDialog(false);
  filter.SetUserPassword(command.pdf_user_password);
  filter.SetOwnerPassword(command.pdf_owner_password);
  filter.SetFileName(command.pdf_file);
  TovxPreviewPages* pages = PreparedPages(report);
  if (!pages) Fail(QStringLiteral("No engine prepared the report"));
  report.ClearErrors();
  if (!pages->Export(filter)) {
    Fail(QStringLiteral("The PDF export failed: %s"), {report.Errors().join(u"; ")});
  }
  err += QStringLiteral("velmora: exported %1 pages as PDF into %2\n")
             .arg(pages->Count())
             .arg(QDir::toNativeSeparators(QFileInfo(command.pdf_file).absoluteFilePath()))
             .toUtf8();
}

// Prints the prepared report as the preview's print button does, without
// the dialog nobody could answer: the template's mode and sheet (join, four
// pages to an A4 sheet) on the printer named, else the default one.
void PrintReport(TovxReport& report, const CommandLine& command, QByteArray& err) {
  ovx::InstallPrinting();
  TovxPrinters& printers = ovxPrinters();
  if (!command.printer.isEmpty() && printers.IndexOf(command.printer) < 0) {
    Fail(QStringLiteral("There is no printer \"%s\" (printers: %s)"),
         {command.printer, printers.HasPhysicalPrinters() ? printers.Printers().join(u", ")
                                                          : QStringLiteral("none")});
  }
  TovxPrintOptions& options = report.PrintOptions();
  options.SetShowDialog(false);
  if (!command.printer.isEmpty()) options.SetPrinter(command.printer);
  QStringList errors;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simMessageBoxes);
  report.show_error = [&errors](const QString& text) { errors << text; };
  TovxPreviewPages* pages = PreparedPages(report);
  if (!pages) Fail(QStringLiteral("No engine prepared the report"));
  if (!pages->Print()) Fail(QStringLiteral("Printing failed: %s"), {errors.join(u"; ")});
  const TovxCustomPrinter* printer = printers.Printer();
  err += QStringLiteral("velmora: printed %1 pages on %2\n")
             .arg(pages->Count())
             .arg(printer ? printer->Name() : QString())
             .toUtf8();
}

// Records every prepared page as DIR/page-001.emf, ..., each written to a
// temporary file beside it and renamed into place.
void WriteMetafiles(TovxReport& report, const QString& dir, QByteArray& err) {
  TovxPreviewPages* pages = PreparedPages(report);
  if (!pages) Fail(QStringLiteral("No engine prepared the report"));
  if (!QDir().mkpath(dir)) {
    Fail(QStringLiteral("Cannot make the folder \"%s\""), {QDir::toNativeSeparators(dir)});
  }
  const int digits = std::max<int>(3, static_cast<int>(QString::number(pages->Count()).size()));
  for (int i = 0; i < pages->Count(); ++i) {
    const Metafile file = RecordPreparedPage(*pages, i);
    const QString path =
        QDir(dir).filePath(QStringLiteral("page-%1.emf").arg(i + 1, digits, 10, QLatin1Char('0')));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size() ||
        !out.commit()) {
      Fail(QStringLiteral("Cannot write \"%s\": %s"),
           {QDir::toNativeSeparators(path), out.errorString()});
    }
  }
  err += QStringLiteral("velmora: recorded %1 pages into %2\n")
             .arg(pages->Count())
             .arg(QDir::toNativeSeparators(dir))
             .toUtf8();
}

}  // namespace

QString HelpText() {
  return QStringLiteral(
      "Usage: velmora [options]\n"
      "\n"
      "Without options, opens the main window. With options, runs the print\n"
      "command without a window and writes its results.\n"
      "\n"
      "  --text FILE             body text from a UTF-8 file instead of the built-in\n"
      "                          one; its lines are joined with nothing between them\n"
      "  --title TEXT            title, one character per line (lines separated by\n"
      "                          a newline)\n"
      "  --no-cover-background   no picture on the cover page\n"
      "  --no-body-background    no picture on the body pages\n"
      "  --keep-punctuation      do not remove punctuation from the body text\n"
      "  --lines N               vertical lines per body page (1 to 50, default 15)\n"
      "  --chars N               characters per line (1 to 50, default 12)\n"
      "  --dump                  print the report as built, as JSON\n"
      "  --op3 FILE              prepare the report and save the prepared pages\n"
      "                          (.op3)\n"
      "  --emf DIR               prepare the report and record each page as an\n"
      "                          enhanced metafile: DIR/page-001.emf, ...\n"
      "  --print [PRINTER]       print the report, four pages to an A4 sheet, on\n"
      "                          PRINTER (--print=PRINTER) or the default printer\n"
      "  --jpeg PATH             prepare the report and export one JPEG per page:\n"
      "                          PATH/velmora.1.jpg, ... for a folder, else PATH\n"
      "                          with its extension replaced by .1.jpg, ...\n"
      "  --jpeg-dpi N            resolution of the JPEG pages (1 to 2400, default 96)\n"
      "  --pdf FILE              prepare the report and export it as a PDF file\n"
      "  --pdf-password TEXT     encrypt the PDF file: it opens with the window's\n"
      "                          permissions (print, copy, annotate), and TEXT (the\n"
      "                          owner password) gives every permission\n"
      "  --pdf-user-password TEXT\n"
      "                          encrypt the PDF file and ask for TEXT to open it\n"
      "  --preview               open the preview window, as the print button does\n"
      "                          (needs a display)\n"
      "  --help                  show this text\n"
      "\n"
      "Environment: VELMORA_DATA_DIR names the folder holding the private font\n"
      "and the background pictures (default: the program's data folder).\n");
}

QStringList ReadTextFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Fail(QStringLiteral("Cannot read the text file \"%s\": %s"),
         {QDir::toNativeSeparators(path), file.errorString()});
  }
  if (file.size() > kMaxTextBytes) {
    Fail(QStringLiteral("The text file \"%s\" is larger than %s bytes"),
         {QDir::toNativeSeparators(path), QString::number(kMaxTextBytes)});
  }
  const QByteArray bytes = file.read(kMaxTextBytes + 1);
  if (bytes.size() > kMaxTextBytes) {
    Fail(QStringLiteral("The text file \"%s\" is larger than %s bytes"),
         {QDir::toNativeSeparators(path), QString::number(kMaxTextBytes)});
  }
  // Stateless: a truncated sequence at the end is an error, not pending input.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) {
    Fail(QStringLiteral("The text file \"%s\" is not UTF-8"), {QDir::toNativeSeparators(path)});
  }
  text.remove(u'\r');
  QStringList lines = text.split(u'\n');
  if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

CommandLine ParseCommandLine(const QStringList& arguments, PrintSettings defaults) {
  CommandLine command;
  command.settings = std::move(defaults);
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    QString option = arguments[i];
    std::optional<QString> inline_value;
    if (option.startsWith(u"--")) {
      const qsizetype eq = option.indexOf(u'=');
      if (eq > 0) {
        inline_value = option.mid(eq + 1);
        option.truncate(eq);
      }
    }
    auto value = [&]() -> QString {
      if (inline_value) return *inline_value;
      if (i + 1 >= arguments.size()) Fail(QStringLiteral("%s needs a value"), {option});
      return arguments[++i];
    };
    auto flag = [&](bool& target, bool set_to) {
      if (inline_value) Fail(QStringLiteral("%s takes no value"), {option});
      target = set_to;
    };
    if (option == u"--help" || option == u"-h") {
      flag(command.help, true);
    } else if (option == u"--dump") {
      flag(command.dump, true);
    } else if (option == u"--preview") {
      flag(command.preview, true);
    } else if (option == u"--no-cover-background") {
      flag(command.settings.cover_background, false);
    } else if (option == u"--no-body-background") {
      flag(command.settings.body_background, false);
    } else if (option == u"--keep-punctuation") {
      flag(command.settings.remove_punctuation, false);
    } else if (option == u"--print") {
      // The printer is optional: the next argument counts unless it is
      // another option.
      command.print = true;
      if (inline_value) {
        command.printer = *inline_value;
      } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(u'-')) {
        command.printer = arguments[++i];
      }
    } else if (option == u"--op3") {
      command.op3_file = value();
      if (command.op3_file.isEmpty()) Fail(QStringLiteral("%s needs a file name"), {option});
    } else if (option == u"--emf") {
      command.emf_dir = value();
      if (command.emf_dir.isEmpty()) Fail(QStringLiteral("%s needs a folder"), {option});
    } else if (option == u"--pdf") {
      command.pdf_file = value();
      if (command.pdf_file.isEmpty()) Fail(QStringLiteral("%s needs a file name"), {option});
    } else if (option == u"--pdf-password") {
      command.pdf_owner_password = value();
    } else if (option == u"--pdf-user-password") {
      command.pdf_user_password = value();
    } else if (option == u"--jpeg") {
      command.jpeg_path = value();
      if (command.jpeg_path.isEmpty()) Fail(QStringLiteral("%s needs a path"), {option});
    } else if (option == u"--jpeg-dpi") {
      const QString text = value();
      bool ok = false;
      command.jpeg_resolution = text.toInt(&ok);
      if (!ok || command.jpeg_resolution < 1 || command.jpeg_resolution > kMaxJpegResolution) {
        Fail(QStringLiteral("%s needs a number from 1 to %s, not \"%s\""),
             {option, QString::number(kMaxJpegResolution), text});
      }
    } else if (option == u"--text") {
      command.settings.body_lines = ReadTextFile(value());
    } else if (option == u"--title") {
      command.settings.title_lines = value().split(u'\n');
    } else if (option == u"--lines") {
      command.settings.lines = value();
      ReadGridNumber(command.settings.lines, option);
    } else if (option == u"--chars") {
      command.settings.chars = value();
      ReadGridNumber(command.settings.chars, option);
    } else {
      Fail(QStringLiteral("Unknown option \"%s\" (see velmora --help)"), {arguments[i]});
    }
  }
  return command;
}

int RunCommandLine(const CommandLine& command, QByteArray& out, QByteArray& err) {
  if (command.help) {
    out += HelpText().toUtf8();
    return 0;
  }
  try {
    TovxReport report;
    Typesetter typesetter;
    const BuildResult result = BuildReport(report, command.settings, typesetter);
    if (command.dump) out += DumpReportJson(report);
    std::optional<PrivateFont> font;
    if (!command.jpeg_path.isEmpty() || !command.pdf_file.isEmpty() || command.print ||
        !command.emf_dir.isEmpty()) {
      font.emplace(command.settings.data_directory);
    }
    if (!command.op3_file.isEmpty() || !command.jpeg_path.isEmpty() ||
        !command.pdf_file.isEmpty() || command.print || !command.emf_dir.isEmpty()) {
      ovx::InstallEngine();
      if (!report.PrepareReport()) {
        Fail(QStringLiteral("The report could not be prepared: %s"), {report.Errors().join(u"; ")});
      }
    }
    if (!command.op3_file.isEmpty()) {
      TovxPreviewPages* pages = ovx::PreparedPages(report);
      if (!pages) Fail(QStringLiteral("No engine prepared the report"), {});
      pages->SaveToFile(command.op3_file);
      err += QStringLiteral("velmora: prepared %1 pages into %2\n")
                 .arg(pages->Count())
                 .arg(QDir::toNativeSeparators(command.op3_file))
                 .toUtf8();
    }
    if (!command.emf_dir.isEmpty()) WriteMetafiles(report, command.emf_dir, err);
    if (!command.jpeg_path.isEmpty()) {
      ovx::InstallExport();
      ExportJpeg(report, command, err);
    }
    if (!command.pdf_file.isEmpty()) {
      ovx::InstallExport();
      ExportPdf(report, command, err);
    }
    if (command.print) PrintReport(report, command, err);
    if (!command.dump && command.op3_file.isEmpty() && command.jpeg_path.isEmpty() &&
        command.pdf_file.isEmpty() && !command.preview && !command.print &&
        command.emf_dir.isEmpty()) {
      out += QStringLiteral("velmora: built the cover and %1 body pages with %2 cells\n")
                 .arg(result.body_pages)
                 .arg(result.cells)
                 .toUtf8();
    }
    return 0;
  } catch (const ovx::Error& e) {
    err += QStringLiteral("velmora: %1\n").arg(e.Message()).toUtf8();
    return 1;
  }
}

}  // namespace ovx::app
