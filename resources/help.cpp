// The help page: one HTML file in Chinese, built into the program and shown
// in the desktop's web browser.
//
// A browser needs a real file, so the built-in copy is written to the
// user's cache folder (atomically, and only when it changed) unless an
// installed copy stands beside the program. Without a window system (tests,
// the headless command line) nothing is launched: the caller gets a message
// naming the file instead.
#include "resources/resources.h"

#include "base/error.h"
#include "platform/safe_file.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

namespace {

constexpr char kBuiltInHelp[] = ":/velmora/resources/help/index.html";

struct Topic {
  QStringView class_name;
  QStringView anchor;
};

// Window and component classes with a topic of their own; the anchors are
// the section ids of help/index.html.
constexpr Topic kTopics[] = {
    {u"TovxDesignerForm", u"designer"},
    {u"TovxOptionsEditor", u"designer-options"},
    {u"TovxReportEditorForm", u"report-options"},
    {u"TovxPageEditorForm", u"page-options"},
    {u"TovxCrossEditorForm", u"cross-tab"},
    {u"TovxChartEditorForm", u"charts"},
    {u"TovxSyntaxMemo", u"script"},
    {u"TovxDialogPage", u"dialog-forms"},
    {u"TovxDialogComponent", u"data-access"},
    {u"TovxVarEditorForm", u"variables"},
    {u"TovxHighlightEditorForm", u"highlighting"},
    {u"TovxSysMemoEditorForm", u"aggregates"},
    {u"TovxFormatEditorForm", u"formatting"},
    {u"TovxGroupEditorForm", u"groups"},
    {u"TovxPictureEditorForm", u"picture"},
    {u"TovxMemoEditorForm", u"text-object"},
    {u"TovxSQLEditorForm", u"sql-query"},
    // The windows of this program's own use of the library.
    {u"TovxPreviewForm", u"preview"},
    {u"TovxPrintDialog", u"printing"},
    {u"TovxBaseExportDialog", u"export"},
    {u"TovxIMGExportDialog", u"export"},
    {u"TovxPDFExportDialog", u"export"},
};

bool OpenInBrowser(const QUrl& url) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
  const QString platform = QGuiApplication::platformName();
  if (platform == u"offscreen" || platform == u"minimal") return false;
  return QDesktopServices::openUrl(url);
}

}  // namespace

QString TovxResources::HelpTopic(QStringView class_name) {
  for (const Topic& topic : kTopics) {
    if (topic.class_name == class_name) return topic.anchor.toString();
  }
  return {};
}

QString TovxResources::HelpFile() const {
  const QString program_dir =
      QCoreApplication::instance() != nullptr ? QCoreApplication::applicationDirPath() : QString();
  if (!program_dir.isEmpty()) {
    const QString installed = program_dir + QStringLiteral("/help/index.html");
    if (QFileInfo(installed).isFile()) return installed;
  }
  QFile source(QString::fromLatin1(kBuiltInHelp));
  if (!source.open(QIODevice::ReadOnly)) {
    throw ovx::Error({}, "The built-in help page is missing");
  }
  const QByteArray page = source.readAll();

  QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (cache.isEmpty()) cache = QDir::tempPath();
  const QString dir = cache + QStringLiteral("/velmora/help");
  const QString path = dir + QStringLiteral("/index.html");

  std::lock_guard lock(help_mutex_);
  QFile existing(path);
  if (existing.open(QIODevice::ReadOnly) && existing.size() == page.size() &&
      existing.readAll() == page) {
    return path;
  }
  existing.close();
  if (!QDir().mkpath(dir)) {
    throw ovx::Error(QStringLiteral("rsHelpCannotWrite"),
                     QStringLiteral("Cannot write the help page %s: %s"),
                     {path, QStringLiteral("the folder cannot be made")});
  }
  try {
    ovx::WriteFileSafely(path, page);
  } catch (const ovx::Error& error) {
    throw ovx::Error(QStringLiteral("rsHelpCannotWrite"),
                     QStringLiteral("Cannot write the help page %s: %s"), {path, error.Message()});
  }
  return path;
}

void TovxResources::SetUrlOpener(UrlOpener opener) {
  std::lock_guard lock(help_mutex_);
  url_opener_ = std::move(opener);
}

bool TovxResources::ShowHelp(QStringView class_name, QString* message) {
  QString file;
  try {
    file = HelpFile();
  } catch (const ovx::Error& error) {
    if (message != nullptr) *message = Message(error);
    return false;
  }
  QUrl url = QUrl::fromLocalFile(file);
  const QString topic = HelpTopic(class_name);
  if (!topic.isEmpty()) url.setFragment(topic);

  UrlOpener opener;
  {
    std::lock_guard lock(help_mutex_);
    opener = url_opener_;
  }
  if (opener ? opener(url) : OpenInBrowser(url)) return true;
  if (message != nullptr) {
    *message = Message(ovx::Error(
        QStringLiteral("rsHelpNoBrowser"),
        QStringLiteral("No web browser is available to show the help. The help page is %s"),
        {file}));
  }
  return false;
}
