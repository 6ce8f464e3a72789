#include "app/core/command_line.h"

#include "engine/engine.h"
#include "engine/page_recording.h"
#include "engine/preview_pages.h"
#include "engine/report_script.h"

#include "app/core/export_settings.h"
#include "app/core/fixed_data.h"
#include "app/core/report_dump.h"
#include "base/error.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"
#include "platform/safe_file.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "report/model/report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <memory>
#include <vector>

namespace ovx::app {
namespace {

[[noreturn]] void Fail(const QString& text, QStringList args = {}) {
  throw ovx::Error(QString(), text, std::move(args));
}

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

// A JPEG path names a folder when it is one or ends with a slash (the
// folder is then made); anything else is a file name whose extension gives
// way to ".1.jpg", ...
bool IsJpegFolder(const QString& path) { return path.endsWith(u'/') || QFileInfo(path).isDir(); }

QString JpegPageName(const QString& jpeg_path, int number) {
  const QString base =
      IsJpegFolder(jpeg_path) ? QDir(jpeg_path).filePath(QStringLiteral("velmora")) : jpeg_path;
  const qsizetype slash = base.lastIndexOf(u'/');
  const qsizetype dot = base.lastIndexOf(u'.');
  const QString stem = dot > slash + 1 ? base.left(dot) : base;
  return stem + u'.' + QString::number(number) + QStringLiteral(".jpg");
}

QString MetafilePageName(const QString& dir, int number, int count) {
  const int digits = std::max<int>(3, static_cast<int>(QString::number(count).size()));
  return QDir(dir).filePath(
      QStringLiteral("page-%1.emf").arg(number, digits, 10, QLatin1Char('0')));
}

// Makes a folder the user named as an output (see MakeOutputFolders); the
// message names the option and what the user typed.
void MakeFolder(const QString& folder, const QString& option, const QString& typed) {
  if (folder.isEmpty() || QFileInfo(folder).isDir()) return;
  if (!QDir().mkpath(folder)) {
    Fail(QStringLiteral("%s \"%s\": cannot make the folder \"%s\""),
         {option, typed, Shown(folder)});
  }
}

// The private font for the drawing of one headless run, as the window
// registers it for its lifetime; CheckPrivateFont has refused a missing or
// damaged file before.
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

// Problems an export recorded without failing (a damaged font it wrote
// anyway): the file exists, so they are warnings and the run still succeeds.
void ReportWarnings(const TovxReport& report, QByteArray& err) {
  for (const QString& line : report.Errors()) {
    err += QStringLiteral("velmora: warning: %1\n").arg(line).toUtf8();
  }
}

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
  ReportWarnings(report, err);
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
  ReportWarnings(report, err);
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
// temporary file beside it and renamed into place when all are written.
void WriteMetafiles(TovxReport& report, const QString& dir, QByteArray& err) {
  TovxPreviewPages* pages = PreparedPages(report);
  if (!pages) Fail(QStringLiteral("No engine prepared the report"));
  MakeFolder(dir, QStringLiteral("--emf"), dir);
  // Every page is written and synced before the first takes its name, so a
  // failure leaves the pages of an earlier run as they were.
  std::vector<std::unique_ptr<ovx::SafeFile>> files;
  for (int i = 0; i < pages->Count(); ++i) {
    const Metafile file = RecordPreparedPage(*pages, i);
    files.push_back(std::make_unique<ovx::SafeFile>(MetafilePageName(dir, i + 1, pages->Count())));
    files.back()->Write(file.bytes);
    files.back()->Finish();
  }
  for (const auto& file : files) file->Commit();
  err += QStringLiteral("velmora: recorded %1 pages into %2\n")
             .arg(pages->Count())
             .arg(Shown(dir))
             .toUtf8();
}

// Removes the pages an earlier, longer export left beside the new ones, so
// the folder holds one export; says how many went.
void RemoveStalePages(const QStringList& stale, QByteArray& err) {
  qsizetype removed = 0;
  QStringList kept;
  for (const QString& path : stale) {
    if (QFile::remove(path)) {
      ++removed;
    } else {
      kept << path;
    }
  }
  if (removed > 0) {
    err += QStringLiteral("velmora: removed %1 page files of an earlier export, from %2 on\n")
               .arg(removed)
               .arg(Shown(stale.front()))
               .toUtf8();
  }
  if (!kept.isEmpty()) {
    err += QStringLiteral(
               "velmora: %1 page files of an earlier export could not be removed: "
               "%2, ...\n")
               .arg(kept.size())
               .arg(Shown(kept.front()))
               .toUtf8();
  }
}

// Every file the run will write, with the option that asked for it.
struct Output {
  QString path;
  QString option;
};

std::vector<Output> OutputsOf(const CommandLine& command, int pages) {
  std::vector<Output> outputs;
  if (!command.op3_file.isEmpty()) outputs.push_back({command.op3_file, QStringLiteral("--op3")});
  if (!command.pdf_file.isEmpty()) outputs.push_back({command.pdf_file, QStringLiteral("--pdf")});
  for (int i = 1; i <= pages; ++i) {
    if (!command.jpeg_path.isEmpty())
      outputs.push_back({JpegPageName(command.jpeg_path, i), QStringLiteral("--jpeg")});
    if (!command.emf_dir.isEmpty())
      outputs.push_back({MetafilePageName(command.emf_dir, i, pages), QStringLiteral("--emf")});
  }
  return outputs;
}

// Refuses, before anything is written, an output that would replace an
// input of the run or something that is not a regular file.
void CheckOutputs(const CommandLine& command, int pages) {
  QStringList inputs;
  if (!command.text_file.isEmpty()) inputs << command.text_file;
  const QDir data(command.settings.data_directory);
  for (const char* file : {kPrivateFontFile, kCoverPicture, kBodyPicture})
    inputs << data.filePath(QLatin1String(file));
  for (const Output& output : OutputsOf(command, pages)) {
    for (const QString& input : inputs) {
      if (ovx::IsSameFile(output.path, input)) {
        Fail(QStringLiteral("%s \"%s\" would replace the input file \"%s\""),
             {output.option, Shown(output.path), Shown(input)});
      }
    }
    ovx::CheckWritableTarget(output.path);
  }
}

// One rule for the folders: a folder the user names as the output (--emf
// DIR, --jpeg DIR/) is made when it does not exist; the folder of an output
// file (--pdf, --op3, --jpeg FILE) must exist, so that a mistyped path fails
// with a message naming it instead of scattering folders.
void MakeOutputFolders(const CommandLine& command) {
  if (command.jpeg_path.endsWith(u'/'))
    MakeFolder(command.jpeg_path, QStringLiteral("--jpeg"), command.jpeg_path);
  if (!command.emf_dir.isEmpty())
    MakeFolder(command.emf_dir, QStringLiteral("--emf"), command.emf_dir);
}

}  // namespace

QStringList StaleJpegPages(const QString& jpeg_path, int count) {
  QStringList stale;
  for (int n = count + 1;; ++n) {
    const QString path = JpegPageName(jpeg_path, n);
    if (!QFileInfo(path).isFile()) break;
    stale << path;
  }
  return stale;
}

QStringList StaleMetafilePages(const QString& emf_dir, int count) {
  QStringList stale;
  for (int n = count + 1;; ++n) {
    const QString path = MetafilePageName(emf_dir, n, count);
    if (!QFileInfo(path).isFile()) break;
    stale << path;
  }
  return stale;
}

QString HelpText() {
  return QStringLiteral(
      "Usage: velmora [options]\n"
      "\n"
      "Without options, opens the main window. With options, runs the print\n"
      "command without a window and writes its results.\n"
      "\n"
      "  --text FILE             body text from a UTF-8 file instead of the built-in\n"
      "                          one; its lines are joined with nothing between them\n"
      "                          and control characters are dropped (counted)\n"
      "  --title TEXT            title, one character per line (lines separated by\n"
      "                          a newline); a title longer than the cover holds is\n"
      "                          set smaller, down to 12 pt\n"
      "  --no-cover-background   no picture on the cover page\n"
      "  --no-body-background    no picture on the body pages\n"
      "  --keep-punctuation      do not remove punctuation from the body text\n"
      "  --lines N               vertical lines per body page (1 to 50, default 15)\n"
      "  --chars N               characters per line (1 to 50, default 12)\n"
      "  --dump                  print the report as built, as JSON\n"
      "  --op3 FILE              prepare the report and save the prepared pages\n"
      "                          (.op3)\n"
      "  --emf DIR               prepare the report and record each page as an\n"
      "                          enhanced metafile: DIR/page-001.emf, ...; page\n"
      "                          files of an earlier, longer run are removed\n"
      "  --print [PRINTER]       print the report, four pages to an A4 sheet, on\n"
      "                          PRINTER (--print=PRINTER) or the default printer\n"
      "  --jpeg PATH             prepare the report and export one JPEG per page:\n"
      "                          PATH/velmora.1.jpg, ... for a folder (an existing\n"
      "                          one, or PATH ending in /), else PATH with its\n"
      "                          extension replaced by .1.jpg, ...; page files of an\n"
      "                          earlier, longer export there are removed\n"
      "  --jpeg-dpi N            resolution of the JPEG pages (1 to 2400, default 96)\n"
      "  --pdf FILE              prepare the report and export it as a PDF file\n"
      "  --pdf-password TEXT     (with --pdf) encrypt the PDF file: it opens with\n"
      "                          the window's permissions (print, copy, annotate),\n"
      "                          and TEXT (the owner password) gives every one\n"
      "  --pdf-user-password TEXT\n"
      "                          (with --pdf) encrypt the PDF file and ask for TEXT\n"
      "                          to open it; passwords may not be empty\n"
      "  --preview               open the preview window, as the print button does\n"
      "                          (needs a display: without one, exits with 2)\n"
      "  --help                  show this text\n"
      "\n"
      "Each option is given once. A value that starts with \"--\" is written\n"
      "--option=VALUE. A folder named as the output (--emf DIR, --jpeg DIR/) is\n"
      "made when it does not exist; the folder of an output file (--pdf FILE,\n"
      "--op3 FILE, --jpeg FILE) must exist. A file is written beside its target\n"
      "and renamed into place only when complete: a failed run leaves the old\n"
      "files as they were. Outputs never replace an input (the --text file, the\n"
      "font, the pictures), nor anything that is not a regular file (a device,\n"
      "a pipe: such a target is refused).\n"
      "\n"
      "The body text carries two marks: a lower-case \"x\" ends the vertical line\n"
      "(and turns the colour back to black), and a space starts a chapter name,\n"
      "drawn in green up to the next \"x\". So \"Linux xterm\" is split at its\n"
      "\"x\" and turns green at its space; other characters each take a cell, a\n"
      "combining mark sharing the cell of the character before it. Text beyond\n"
      "501 body pages is left out, and the program says how much.\n"
      "\n"
      "Environment: VELMORA_DATA_DIR names the folder holding the private font\n"
      "and the background pictures (default: the program's data folder).\n");
}

QStringList ReadTextFile(const QString& path) {
  const QByteArray bytes = ovx::ReadFileBounded(path, kMaxTextBytes, QStringLiteral("text file"));
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
  QStringList seen;
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
    // A value that looks like an option is a forgotten value, not a file
    // named "--lines"; such a value is given as --option=VALUE.
    auto value = [&]() -> QString {
      if (inline_value) return *inline_value;
      if (i + 1 >= arguments.size()) Fail(QStringLiteral("%s needs a value"), {option});
      if (arguments[i + 1].startsWith(u"--")) {
        Fail(QStringLiteral("%s needs a value, not the option \"%s\" (write %s=VALUE for a value "
                            "that starts with \"--\")"),
             {option, arguments[i + 1], option});
      }
      return arguments[++i];
    };
    // A second value would silently win over the first.
    if (option.startsWith(u"--") || option == u"-h") {
      const QString name = option == u"-h" ? QStringLiteral("--help") : option;
      if (seen.contains(name)) Fail(QStringLiteral("%s is given more than once"), {name});
      seen << name;
    }
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
      if (command.pdf_owner_password.isEmpty()) Fail(QStringLiteral("%s is empty"), {option});
    } else if (option == u"--pdf-user-password") {
      command.pdf_user_password = value();
      if (command.pdf_user_password.isEmpty()) Fail(QStringLiteral("%s is empty"), {option});
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
      command.text_file = value();
      command.settings.body_lines = ReadTextFile(command.text_file);
    } else if (option == u"--title") {
      const QString title = value();
      // The arguments were decoded as UTF-8: bytes that are not UTF-8 became
      // replacement characters, which no title means to hold.
      if (title.contains(QChar::ReplacementCharacter)) {
        Fail(QStringLiteral("%s is not valid UTF-8"), {option});
      }
      command.settings.title_lines = title.split(u'\n');
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
  if (command.pdf_file.isEmpty()) {
    for (const char* password : {"--pdf-password", "--pdf-user-password"}) {
      if (seen.contains(QLatin1String(password)))
        Fail(QStringLiteral("%s needs --pdf"), {QLatin1String(password)});
    }
  }
  return command;
}

int RunCommandLine(const CommandLine& command, QByteArray& out, QByteArray& err,
                   bool leave_report_to_exit) {
  if (command.help) {
    out += HelpText().toUtf8();
    return 0;
  }
  try {
    const bool draws = !command.jpeg_path.isEmpty() || !command.pdf_file.isEmpty() ||
                       command.print || !command.emf_dir.isEmpty();
    // Everything that would stop the run is checked before any work: the
    // font the pages are drawn in, the outputs' targets and folders.
    if (draws) CheckPrivateFont(command.settings.data_directory);
    CheckOutputs(command, 0);
    MakeOutputFolders(command);
    auto owned_report = std::make_unique<TovxReport>();
    TovxReport& report = *owned_report;
    Typesetter typesetter;
    const BuildResult result = BuildReport(report, command.settings, typesetter);
    for (const QString& note : BuildNotes(result))
      err += QStringLiteral("velmora: %1\n").arg(note).toUtf8();
    if (command.dump) out += DumpReportJson(report);
    std::optional<PrivateFont> font;
    if (draws) font.emplace(command.settings.data_directory);
    if (!command.op3_file.isEmpty() || !command.jpeg_path.isEmpty() ||
        !command.pdf_file.isEmpty() || command.print || !command.emf_dir.isEmpty()) {
      ovx::InstallScripting();
      if (!report.PrepareReport()) {
        Fail(QStringLiteral("The report could not be prepared: %s"), {report.Errors().join(u"; ")});
      }
    }
    if (TovxPreviewPages* pages = ovx::PreparedPages(report)) CheckOutputs(command, pages->Count());
    if (!command.op3_file.isEmpty()) {
      TovxPreviewPages* pages = ovx::PreparedPages(report);
      if (!pages) Fail(QStringLiteral("No engine prepared the report"), {});
      pages->SaveToFile(command.op3_file);
      err += QStringLiteral("velmora: prepared %1 pages into %2\n")
                 .arg(pages->Count())
                 .arg(QDir::toNativeSeparators(command.op3_file))
                 .toUtf8();
    }
    if (!command.emf_dir.isEmpty()) {
      WriteMetafiles(report, command.emf_dir, err);
      RemoveStalePages(StaleMetafilePages(command.emf_dir, PreparedPages(report)->Count()), err);
    }
    if (!command.jpeg_path.isEmpty()) {
      ovx::InstallExport();
      ExportJpeg(report, command, err);
      RemoveStalePages(StaleJpegPages(command.jpeg_path, PreparedPages(report)->Count()), err);
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
#if !defined(__SANITIZE_ADDRESS__)
    // Every output is complete and in place and the process ends next; a
    // store that swapped to temporary files removes them as it goes.
    if (leave_report_to_exit && !report.EngineOptions().UseFileCache() &&
        !report.PreviewOptions().PictureCacheInFile()) {
      static_cast<void>(owned_report.release());
    }
#endif
    return 0;
  } catch (const ovx::Error& e) {
    err += QStringLiteral("velmora: %1\n").arg(e.Message()).toUtf8();
    return 1;
  }
}

}  // namespace ovx::app
