// The print command of the main window, without the window: it loads the
// template into the report, puts the title on the cover, and lets the
// typesetter fill body pages until the text is used up or 501 pages exist.
//
// The window and the command line both call BuildReport and then decide
// what to do with the report (preview, dump, export). Failures are thrown
// as ovx::Error and leave the report as far as it was built; the next call
// starts from scratch because loading the template empties the report.
#pragma once

#include "app/core/typesetter.h"
#include "report/model/report_options.h"

#include <QString>
#include <QStringList>

class TovxReport;

namespace ovx::app {

inline constexpr int kMaxBodyPages = 501;

struct PrintSettings {
  QStringList body_lines;   // joined with nothing between them
  QStringList title_lines;  // one title character per line
  bool cover_background = true;
  bool body_background = true;
  bool remove_punctuation = true;
  // The two hidden number fields, as text: they are read as integers.
  QString lines = QStringLiteral("15");
  QString chars = QStringLiteral("12");
  // Where the background pictures are found (the current folder when empty).
  QString data_directory;
};

// The settings of the window as it starts: built-in text and title, all
// three options checked, 15 lines of 12 characters.
PrintSettings DefaultPrintSettings();

// The limits the number fields accept; they bound the cells a page can hold.
inline constexpr int kMaxGridNumber = 50;

// Reads a number field: an integer from 1 to kMaxGridNumber, else
// ovx::Error naming the field.
int ReadGridNumber(const QString& text, const QString& field);

struct BuildResult {
  int body_pages = 0;
  int cells = 0;
};

// Runs the print command up to (not including) showing the report.
BuildResult BuildReport(TovxReport& report, const PrintSettings& settings, Typesetter& typesetter);

// The preview buttons the application's report offers: print, save,
// export, zoom and quick export. The window sets them (with zoom 1) once;
// loading the template keeps them.
TovxPreviewButtons ApplicationPreviewButtons();

// The eight marks "remove punctuation" deletes; other marks stay.
QString RemovePunctuation(QString text);

}  // namespace ovx::app
