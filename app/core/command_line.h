// The program's command line: any argument runs the print command without
// a window and writes results instead of opening the preview.
#pragma once

#include "app/core/print_command.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace ovx::app {

struct CommandLine {
  PrintSettings settings;
  bool dump = false;
  bool help = false;
  // Prepare the report and save the prepared pages there (".op3").
  QString op3_file;
};

// Parses the arguments after the program name. Throws ovx::Error with a
// message meant for the user on unknown options, missing or bad values and
// unreadable files (a --text file is read here).
CommandLine ParseCommandLine(const QStringList& arguments, PrintSettings defaults);

QString HelpText();

// Runs a parsed command line; writes results to `out` and messages to `err`.
// Answers the process exit code.
int RunCommandLine(const CommandLine& command, QByteArray& out, QByteArray& err);

// Reads a body text file: UTF-8 (an initial byte-order mark is dropped);
// at most kMaxTextBytes. Throws ovx::Error naming the file.
QStringList ReadTextFile(const QString& path);
inline constexpr qint64 kMaxTextBytes = qint64{16} << 20;

}  // namespace ovx::app
