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
  // The --text file as given (empty for the built-in text); no output may
  // replace it.
  QString text_file;
  bool dump = false;
  bool help = false;
  // Open the preview window as the print button does (needs a display);
  // the other outputs asked for are written first.
  bool preview = false;
  // Prepare the report and save the prepared pages there (".op3").
  QString op3_file;
  // Prepare the report and record each page as an enhanced metafile in
  // this folder (page-001.emf, ...).
  QString emf_dir;
  // Prepare the report and print it as the template asks (join mode, four
  // pages to an A4 sheet) on `printer`, the system's default when empty.
  bool print = false;
  QString printer;
  // Prepare the report and export it as JPEG pages: a folder (PATH/velmora.1.jpg,
  // ...) or a file name whose extension gives way to ".1.jpg", ...
  QString jpeg_path;
  int jpeg_resolution = 96;
  // Prepare the report and export it as a PDF file; with a password it is
  // protected (the owner password opens it with every permission).
  QString pdf_file;
  QString pdf_user_password;
  QString pdf_owner_password;
};

// Parses the arguments after the program name. Throws ovx::Error with a
// message meant for the user on unknown options, missing or bad values, an
// option given twice, a password without --pdf and unreadable files (a
// --text file is read here).
CommandLine ParseCommandLine(const QStringList& arguments, PrintSettings defaults);

QString HelpText();

// Runs a parsed command line; writes results to `out` and messages to `err`.
// Answers the process exit code. A program that exits right after a
// successful run may pass `leave_report_to_exit`: the report of hundreds of
// thousands of objects is then left for the system to reclaim, rather than
// freed object by object (a tenth of a long run's time).
int RunCommandLine(const CommandLine& command, QByteArray& out, QByteArray& err,
                   bool leave_report_to_exit = false);

// Reads a body text file: a regular file of UTF-8 (an initial byte-order
// mark is dropped); at most kMaxTextBytes. Throws ovx::Error naming the file.
QStringList ReadTextFile(const QString& path);
inline constexpr qint64 kMaxTextBytes = qint64{16} << 20;
inline constexpr int kMaxJpegResolution = 2400;

// The page files of an image or metafile export into `folder_or_file`
// beyond `count` that an earlier, longer export left: velmora.N.jpg with N
// greater than `count`, for as long as they follow each other.
QStringList StaleJpegPages(const QString& jpeg_path, int count);
QStringList StaleMetafilePages(const QString& emf_dir, int count);

}  // namespace ovx::app
