// scriptrun: compiles a script of one of the registered dialects.
//
// With --il it prints the syntax tree the parser builds; a syntax error is
// printed as "error LINE:COL: MESSAGE [unit NAME]" with exit status 1.
// Running scripts needs the interpreter, which this build does not hold
// yet, so --il is required.
#include "base/error.h"
#include "base/stream.h"
#include "base/text_codec.h"
#include "script/script.h"
#include "script/script_languages.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <new>

namespace {

constexpr char kUsage[] =
    "Usage: scriptrun [--lang NAME] --il FILE|-\n"
    "Compiles FILE (\"-\": standard input) as a script of dialect NAME\n"
    "(PascalScript, C++Script, BasicScript or JScript; default PascalScript).\n"
    "\n"
    "Options:\n"
    "  --lang NAME  the dialect (a #language line at the top overrides it)\n"
    "  --il         print the syntax tree (UTF-8, CR LF) and stop\n"
    "  -h, --help   show this help\n"
    "\n"
    "Units named in include clauses are looked up beside FILE, then in the\n"
    "current directory.\n"
    "Exit status: 0 on success, 1 on a compile error, 2 on bad usage.\n";

void Print(FILE* out, const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

int UsageError(const QString& message) {
  Print(stderr, "scriptrun: " + message.toUtf8() + "\ntry 'scriptrun --help'\n");
  return 2;
}

QByteArray ReadStandardInput() {
  QByteArray data;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    data.append(buffer, static_cast<qsizetype>(got));
  }
  return data;
}

QString DecodeSource(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  return ovx::DecodeNarrow(bytes);
}

int Run(const QStringList& args) {
  QString language = QStringLiteral("PascalScript");
  QString file;
  bool il = false;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == u"-h" || arg == u"--help") {
      Print(stdout, kUsage);
      return 0;
    }
    if (arg == u"--il") {
      il = true;
    } else if (arg == u"--lang") {
      if (++i >= args.size()) return UsageError(QStringLiteral("--lang needs a dialect name"));
      language = args[i];
    } else if (arg == u"--eval") {
      return UsageError(QStringLiteral("--eval needs the interpreter, not in this build"));
    } else if (arg.startsWith(u'-') && arg != u"-") {
      return UsageError(QStringLiteral("unknown option ") + arg);
    } else if (file.isEmpty()) {
      file = arg;
    } else {
      return UsageError(QStringLiteral("more than one script given"));
    }
  }
  if (file.isEmpty()) return UsageError(QStringLiteral("no script given"));
  if (!il) {
    return UsageError(
        QStringLiteral("running scripts needs the interpreter, not in this "
                       "build; use --il"));
  }

  ovx::RegisterScriptLanguages();
  TksScript script;
  script.SetSyntaxType(language);
  QByteArray bytes;
  if (file == u"-") {
    bytes = ReadStandardInput();
  } else {
    ovx::FileStream stream(file, ovx::FileStream::Mode::kRead);
    bytes = stream.ReadAll();
    script.IncludePath().prepend(QFileInfo(file).absolutePath());
  }
  script.SetText(DecodeSource(bytes));

  ovx::MemoryStream out;
  if (!script.GetILCode(out)) {
    QString line = script.ErrorPos().isEmpty() ? QStringLiteral("error: ") + script.ErrorMsg()
                                               : QStringLiteral("error ") + script.ErrorPos() +
                                                     QStringLiteral(": ") + script.ErrorMsg();
    if (!script.ErrorUnit().isEmpty())
      line += QStringLiteral(" [unit ") + script.ErrorUnit() + u']';
    Print(stdout, line.toUtf8() + '\n');
    return 1;
  }
  Print(stdout, out.Data());
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Print(stderr, "scriptrun: cannot write the syntax tree to standard output\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    return Run(QCoreApplication::arguments());
  } catch (const ovx::Error& error) {
    Print(stderr, "scriptrun: " + error.Message().toUtf8() + '\n');
  } catch (const std::bad_alloc&) {
    Print(stderr, "scriptrun: out of memory\n");
  }
  return 1;
}
