// scriptrun: compiles a script of one of the registered dialects.
//
// With --il it prints the syntax tree the parser builds; otherwise it runs
// the main block and prints every program variable as "name: Type = value",
// and with --eval the value of an expression afterwards. A compile or
// run-time error is printed as "error LINE:COL: MESSAGE [unit NAME]" with
// exit status 1. Scripts read and write files through the safe writer.
#include "base/error.h"
#include "base/stream.h"
#include "base/text_codec.h"
#include "platform/safe_file.h"
#include "script/classes_module.h"
#include "script/forms_module.h"
#include "script/graphics_module.h"
#include "script/ini_module.h"
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
    "Usage: scriptrun [--lang NAME] [--il] [--eval EXPR] FILE|-\n"
    "       scriptrun [--lang NAME] --eval EXPR\n"
    "Compiles FILE (\"-\": standard input) as a script of dialect NAME\n"
    "(PascalScript, C++Script, BasicScript or JScript; default PascalScript),\n"
    "runs it and prints its variables as \"name: Type = value\".\n"
    "\n"
    "Options:\n"
    "  --lang NAME  the dialect (a #language line at the top overrides it)\n"
    "  --il         print the syntax tree (UTF-8, CR LF) and stop\n"
    "  -e, --eval EXPR  print the value of EXPR after the run; without FILE,\n"
    "               only the value of EXPR in an empty program\n"
    "  -h, --help   show this help\n"
    "\n"
    "Units named in include clauses are looked up beside FILE, then in the\n"
    "current directory.\n"
    "Exit status: 0 on success, 1 on a compile or run-time error, 2 on bad usage.\n";

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
  QString eval;
  bool has_eval = false;
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
    } else if (arg == u"--eval" || arg == u"-e") {
      if (++i >= args.size()) return UsageError(QStringLiteral("--eval needs an expression"));
      eval = args[i];
      has_eval = true;
    } else if (arg.startsWith(u'-') && arg != u"-") {
      return UsageError(QStringLiteral("unknown option ") + arg);
    } else if (file.isEmpty()) {
      file = arg;
    } else {
      return UsageError(QStringLiteral("more than one script given"));
    }
  }
  const bool expression_only = file.isEmpty() && has_eval && !il;
  if (file.isEmpty() && !expression_only) return UsageError(QStringLiteral("no script given"));

  ovx::RegisterScriptLanguages();
  ovx::RegisterClassesModule();
  ovx::RegisterGraphicsModule();
  ovx::RegisterFormsModule();
  ovx::RegisterIniModule();
  // Scripts the tool runs are the user's own, like the file they name.
  ovx::SetScriptFiles(
      {[](const QString& path, qint64 max_bytes) { return ovx::ReadFileBounded(path, max_bytes); },
       &ovx::WriteFileSafely});
  TksScript script;
  script.SetSyntaxType(language);
  QByteArray bytes;
  if (expression_only) {
    // An empty program: the expression sees the standard library only.
    // Pascal and C++ want a main block even when it does nothing.
    if (language.compare(QLatin1String("PascalScript"), Qt::CaseInsensitive) == 0)
      bytes = "begin end.";
    else if (language.compare(QLatin1String("C++Script"), Qt::CaseInsensitive) == 0)
      bytes = "{}";
  } else if (file == u"-") {
    bytes = ReadStandardInput();
  } else {
    ovx::FileStream stream(file, ovx::FileStream::Mode::kRead);
    bytes = stream.ReadAll();
    script.IncludePath().prepend(QFileInfo(file).absolutePath());
  }
  script.SetText(DecodeSource(bytes));

  auto report_error = [&script] {
    QString line = script.ErrorPos().isEmpty() ? QStringLiteral("error: ") + script.ErrorMsg()
                                               : QStringLiteral("error ") + script.ErrorPos() +
                                                     QStringLiteral(": ") + script.ErrorMsg();
    if (!script.ErrorUnit().isEmpty())
      line += QStringLiteral(" [unit ") + script.ErrorUnit() + u']';
    Print(stdout, line.toUtf8() + '\n');
    return 1;
  };
  if (il) {
    ovx::MemoryStream out;
    if (!script.GetILCode(out)) return report_error();
    Print(stdout, out.Data());
  } else {
    if (!script.Compile()) return report_error();
    const bool ran = script.Execute();
    QByteArray text;
    for (const auto& var : script.Program().Variables())
      text +=
          (var.name + QStringLiteral(": ") + var.type + QStringLiteral(" = ") + var.value.Display())
              .toUtf8() +
          '\n';
    if (!expression_only) Print(stdout, text);
    if (!ran) return report_error();
    if (has_eval) {
      const ovx::ScriptValue value = script.Evaluate(eval);
      if (script.EvaluateFailed()) {
        Print(stdout, "error: " + value.ToString().toUtf8() + '\n');
        return 1;
      }
      // A bare expression prints as a calculator would: text unquoted.
      const QString shown = expression_only && value.kind() == ovx::ScriptValue::Kind::kString
                                ? value.ToString()
                                : value.Display();
      Print(stdout, shown.toUtf8() + '\n');
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Print(stderr, "scriptrun: cannot write to standard output\n");
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
