// The table of localised user texts, the button images and the help page.
//
// Every text the library shows is looked up here by name. The table is
// filled from four resource documents compiled into the program (general
// texts, property hints, designer texts, export texts; a later document
// replaces texts of names an earlier one gave) and can be overlaid with a
// language file ("*.ovc" in the program's folder) the user chooses.
//
// Texts are Unicode throughout: Get answers UTF-16 text whatever code page
// the last document declared, so a language file in another code page never
// damages the built-in Chinese texts.
//
// Threads: lookups may come from any thread. The table is never changed in
// place; every change builds a new table and swaps it in, so a lookup reads
// either the old or the new table, never a half-changed one. Changes are
// serialised among themselves.
//
// One process-wide instance (Instance) is created on first use and destroyed
// at exit; tests build their own with Options.
#pragma once

#include "resources/image_list.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>

namespace ovx {
class Error;
class Stream;
}  // namespace ovx
namespace ovx::resources_internal {
struct ResourceDocument;
}
class QSettings;

class TovxResources {
 public:
  struct Options {
    // Folder searched for language files; empty means the program's folder.
    QString language_dir;
    // An ini file that keeps the language choice; empty means the user's
    // settings of the program (organisation "Velmora", application "velmora").
    QString settings_file;
    // Load the built-in documents on creation.
    bool load_built_in = true;
  };

  TovxResources() : TovxResources(Options()) {}
  explicit TovxResources(Options options);
  TovxResources(const TovxResources&) = delete;
  TovxResources& operator=(const TovxResources&) = delete;
  ~TovxResources();

  // The process-wide table, created on first use.
  static TovxResources& Instance();

  // --- Texts ---------------------------------------------------------------

  // The text of `name` (names compare ignoring case). A name without text
  // yields the name itself; a text that begins with "!" loses that
  // character.
  QString Get(QStringView name) const;
  // Get of the decimal digits of `number`.
  QString GetNumbered(int number) const;
  // Whether `name` has a text.
  bool Contains(QStringView name) const;
  // Every name with a text, sorted ignoring case.
  QStringList Names() const;
  // The message of `error` with its resource text, when it names one.
  QString Message(const ovx::Error& error) const;

  // Sets the text of `name`, replacing an existing one.
  void AddString(const QString& name, const QString& text);
  // The same for text in the current code page.
  void AddAnsiString(const QString& name, const QByteArray& text);

  // Loading a resource document adds its texts over the current ones and
  // makes its CodePage current. A document whose root is not Resources adds
  // nothing. Each call answers the number of texts taken. Malformed XML
  // throws TovxInvalidXMLException and leaves the table as it was.
  int LoadFromString(const QByteArray& xml);
  int LoadFromStream(ovx::Stream& stream);
  // Throws ovx::Error when the file does not exist or cannot be read.
  int LoadFromFile(const QString& file_name);
  // Back to the built-in documents alone.
  void Reset();
  // The CodePage of the last loaded document (936 for the built-in ones).
  int CodePage() const;

  // The script engine keeps its own copies of its message texts. The sink
  // receives them (name -> text) now and after every change of the table.
  using ScriptMessageSink = std::function<void(const QHash<QString, QString>&)>;
  void SetScriptMessageSink(ScriptMessageSink sink);
  static const QStringList& ScriptMessageNames();

  // --- Languages -----------------------------------------------------------

  // The languages found as "*.ovc" files (any case of the extension) in the
  // language folder when the table was created or last rescanned: the file
  // name without extension, lower case with a capital first letter. Sorted.
  QStringList Languages() const;
  // The file of `language` as it is named on disk; empty when unknown.
  QString LanguageFile(const QString& language) const;
  void RescanLanguages();
  // The language chosen last (kept in the settings); empty for the built-in
  // texts.
  QString StoredLanguage() const;
  // Rebuilds the table from the built-in documents and the file of
  // `language` (empty: the built-in texts alone) and keeps the choice. An
  // unknown language, a missing or empty file and malformed XML throw
  // ovx::Error; the table and the stored choice then stay as they were.
  void SelectLanguage(const QString& language);
  // Selects the stored language, if any (for start-up).
  void ApplyStoredLanguage();

  // --- Images --------------------------------------------------------------

  // Drawn on first use. Indexes are fixed (see image_catalogue.h).
  const ovx::ImageList& DesignerImages() const;
  const ovx::ImageList& DesignerImagesGreyed() const;
  const ovx::ImageList& ObjectImages() const;
  const ovx::ImageList& PreviewImages() const;
  const ovx::ImageList& WizardImages() const;
  // A 32 x 16 button glyph: designer image `index` at (0, 1), its greyed
  // copy at (16, 1), transparent elsewhere. Null for an unknown index.
  QImage ButtonGlyph(int index) const;

  // --- Help ----------------------------------------------------------------

  // Opens the program's help page in the desktop's web browser, at the topic
  // of the window or component class `class_name` (the top of the page for
  // other classes). Answers false, with the reason in `message`, when there
  // is no browser or the page cannot be provided.
  [[nodiscard]] bool ShowHelp(QStringView class_name, QString* message = nullptr);
  // The anchor of `class_name`'s topic in the help page; empty when none.
  static QString HelpTopic(QStringView class_name);
  // The help page as a local file: "help/index.html" beside the program when
  // installed there, otherwise the copy built into the program, written to
  // the user's cache folder. Throws ovx::Error when it cannot be written.
  QString HelpFile() const;
  // Replaces the browser call (for tests and hosts with their own viewer).
  // The opener answers whether the page was shown.
  using UrlOpener = std::function<bool(const QUrl&)>;
  void SetUrlOpener(UrlOpener opener);

 private:
  struct Table;
  struct Images;

  std::shared_ptr<const Table> Snapshot() const;
  // Adds the texts of `document` to the current table, or to the built-in
  // texts alone with `onto_built_in`, and publishes the result.
  int MergeDocument(const ovx::resources_internal::ResourceDocument& document, bool onto_built_in);
  // Publishes `table` and tells the script sink; call with change_mutex_.
  void Publish(std::shared_ptr<const Table> table);
  std::unique_ptr<QSettings> OpenSettings() const;

  const Options options_;
  std::shared_ptr<const Table> built_in_;

  // Guards only the pointer swap; readers copy the pointer and let go.
  mutable std::mutex table_mutex_;
  std::shared_ptr<const Table> table_;
  // Serialises changes; recursive so that the script sink may look texts up
  // or even add one.
  std::recursive_mutex change_mutex_;
  ScriptMessageSink script_sink_;

  mutable std::mutex languages_mutex_;
  QHash<QString, QString> language_files_;  // language -> real path

  mutable std::mutex help_mutex_;
  UrlOpener url_opener_;

  std::unique_ptr<Images> images_;
};
