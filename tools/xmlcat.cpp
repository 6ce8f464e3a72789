// xmlcat: reads a document of the library's XML dialect and writes it back.
//
// It exposes the reader and writer for tests and debugging: a file the
// library wrote comes out byte for byte as it went in (with the matching
// indentation option), and a damaged one is reported with the reason and
// byte position the reader found.
#include "base/error.h"
#include "base/stream.h"
#include "report/storage/xml_document.h"
#include "tools/tool_output.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char kUsage[] =
    "Usage: xmlcat [options] [INPUT]\n"
    "Reads an XML document (templates, prepared reports, resource documents)\n"
    "and writes it back. INPUT \"-\" or none reads standard input.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  write to FILE (replaced safely) instead of standard output\n"
    "  --indent           one tag per line, CR LF, two spaces per level (default)\n"
    "  --no-indent        no line breaks or indentation between tags\n"
    "  --partial          load swappable elements (ld=\"0\") on demand while writing\n"
    "  -h, --help         show this help\n"
    "\n"
    "Exit status: 0 on success, 1 when reading or writing fails, 2 on bad usage.\n";

void PrintError(const QString& message) {
  const QByteArray text = "xmlcat: " + message.toLocal8Bit() + "\n";
  std::fwrite(text.constData(), 1, text.size(), stderr);
}

int UsageError(const QString& message) {
  PrintError(message);
  PrintError("try 'xmlcat --help'");
  return 2;
}

QByteArray ReadStandardInput() {
  QByteArray data;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.append(buffer, got);
  if (std::ferror(stdin)) throw ovx::Error("", "Cannot read standard input");
  return data;
}

void WriteStandardOutput(const QByteArray& data) {
  if (std::fwrite(data.constData(), 1, data.size(), stdout) != static_cast<size_t>(data.size()) ||
      std::fflush(stdout) != 0) {
    throw ovx::Error("", "Cannot write standard output: %s", {ovx::SystemErrorText(errno)});
  }
}

struct Options {
  QString input = "-";
  QString output;
  bool output_given = false;
  bool auto_indent = true;
  bool partial = false;
};

}  // namespace

int Main(int argc, char** argv) {
  Options options;
  bool have_input = false;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-o" || arg == "--output") {
      if (++i >= argc) return UsageError("option " + QString::fromLocal8Bit(arg) + " needs a file");
      options.output = QString::fromLocal8Bit(argv[i]);
      options.output_given = true;
    } else if (arg.startsWith("--output=")) {
      options.output = QString::fromLocal8Bit(arg.mid(9));
      options.output_given = true;
    } else if (arg == "--indent") {
      options.auto_indent = true;
    } else if (arg == "--no-indent") {
      options.auto_indent = false;
    } else if (arg == "--partial") {
      options.partial = true;
    } else if (arg.startsWith('-') && arg != "-") {
      return UsageError("unknown option " + QString::fromLocal8Bit(arg));
    } else if (have_input) {
      return UsageError("more than one input file");
    } else {
      options.input = QString::fromLocal8Bit(arg);
      have_input = true;
    }
  }
  if (options.output_given && options.output.isEmpty()) return UsageError("empty output file name");

  const QString input_name =
      options.input == "-" ? QStringLiteral("standard input") : options.input;
  try {
    // Outlives the document, which keeps reading from it with --partial.
    std::unique_ptr<ovx::MemoryStream> standard_input;
    TovxXMLDocument document;
    document.SetAutoIndent(options.auto_indent);
    try {
      if (options.input == "-") {
        standard_input = std::make_unique<ovx::MemoryStream>(ReadStandardInput());
        document.LoadFromStream(*standard_input, options.partial);
      } else {
        document.LoadFromFile(options.input, options.partial);
      }
    } catch (const TovxInvalidXMLException& error) {
      QString detail = error.Reason();
      if (error.Position() >= 0) detail += " at byte " + QString::number(error.Position());
      PrintError(input_name + ": " + error.Message() + " (" + detail + ")");
      return 1;
    }
    if (options.output.isEmpty()) {
      ovx::MemoryStream out;
      document.SaveToStream(out);
      WriteStandardOutput(out.Data());
    } else {
      document.SaveToFile(options.output);
    }
  } catch (const ovx::Error& error) {
    PrintError(error.Message());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("xmlcat", [&] { return Main(argc, argv); });
}
