#include "app/core/command_line.h"

#include "engine/engine.h"
#include "engine/preview_pages.h"

#include "app/core/report_dump.h"
#include "base/error.h"
#include "report/model/report.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

namespace ovx::app {
namespace {

[[noreturn]] void Fail(const QString& text, QStringList args = {}) {
  throw ovx::Error(QString(), text, std::move(args));
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
    } else if (option == u"--no-cover-background") {
      flag(command.settings.cover_background, false);
    } else if (option == u"--no-body-background") {
      flag(command.settings.body_background, false);
    } else if (option == u"--keep-punctuation") {
      flag(command.settings.remove_punctuation, false);
    } else if (option == u"--op3") {
      command.op3_file = value();
      if (command.op3_file.isEmpty()) Fail(QStringLiteral("%s needs a file name"), {option});
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
    if (!command.op3_file.isEmpty()) {
      ovx::InstallEngine();
      if (!report.PrepareReport()) {
        Fail(QStringLiteral("The report could not be prepared: %s"), {report.Errors().join(u"; ")});
      }
      TovxPreviewPages* pages = ovx::PreparedPages(report);
      if (!pages) Fail(QStringLiteral("No engine prepared the report"), {});
      pages->SaveToFile(command.op3_file);
      err += QStringLiteral("velmora: prepared %1 pages into %2\n")
                 .arg(pages->Count())
                 .arg(QDir::toNativeSeparators(command.op3_file))
                 .toUtf8();
    }
    if (!command.dump && command.op3_file.isEmpty()) {
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
