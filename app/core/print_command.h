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

#include <memory>

class TovxReport;

namespace ovx::app {

inline constexpr int kMaxBodyPages = 501;
// The smallest size a long title is set at before it is cut off.
inline constexpr int kMinTitlePoints = 12;

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
  // Characters (code points) of the body text after the marks and control
  // characters were taken out, and those the page limit left out.
  qsizetype text_characters = 0;
  qsizetype left_out_characters = 0;
  // C0 control characters dropped from the body text as it was read.
  qsizetype dropped_controls = 0;
  // The title's size: kTitlePoints, or smaller when the title is longer
  // than the cover holds; title_fits is false when it does not fit even at
  // kMinTitlePoints (its ends are then cut off on the cover).
  int title_points = 0;
  bool title_fits = true;
};

// What a build left out or changed, one sentence each, for the user: the
// text beyond the page limit, dropped control characters, a shrunk title.
QStringList BuildNotes(const BuildResult& result);

// Drops the C0 control characters (U+0000 to U+001F) from `text`; answers
// how many there were.
qsizetype DropControlCharacters(QString& text);

// Throws ovx::Error naming the file unless the private font in
// `data_directory` is there and is a font the PDF export can embed: a
// missing or damaged font would silently give the pages another face.
void CheckPrivateFont(const QString& data_directory);

// The print command's report, built in steps so that a preview can show
// the first pages while later ones are still being typeset: Start loads
// the template, sets up the cover and reads the pictures (every failure of
// the command happens there); AddBodyPage then typesets one body page at a
// time, as the engine asks for it (TovxEngine::more_pages).
class ReportBuilder {
 public:
  ReportBuilder(TovxReport& report, Typesetter& typesetter);
  ReportBuilder(const ReportBuilder&) = delete;
  ReportBuilder& operator=(const ReportBuilder&) = delete;
  ~ReportBuilder();

  // Throws ovx::Error (the report is left as far as it was built).
  void Start(const PrintSettings& settings);
  // Appends and fills the next body page; false, adding nothing, once the
  // text is used up or the page limit is reached.
  bool AddBodyPage();
  bool Finished() const { return finished_; }
  // What was built so far; the characters left out count only once
  // Finished().
  BuildResult Result() const;

 private:
  struct State;
  TovxReport& report_;
  Typesetter& typesetter_;
  std::unique_ptr<State> state_;
  bool finished_ = true;
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
