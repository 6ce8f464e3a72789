#include "app/core/print_command.h"

#include "app/core/fixed_data.h"
#include "base/error.h"
#include "base/stream.h"
#include "base/units.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"

#include <QDir>

#include <optional>

namespace ovx::app {
namespace {

QString PicturePath(const PrintSettings& settings, const char* file) {
  const QString name = QLatin1String(file);
  return settings.data_directory.isEmpty() ? name : QDir(settings.data_directory).filePath(name);
}

// A picture that cannot be read stops the command; the message names the
// file so the user knows which one to fix.
void LoadPicture(TovxPicture& picture, const QString& path) {
  bool loaded = false;
  try {
    loaded = picture.LoadFromFile(path);
  } catch (const ovx::Error& e) {
    throw ovx::Error(QString(), QStringLiteral("Cannot read the background picture \"%s\": %s"),
                     {QDir::toNativeSeparators(path), e.Message()});
  }
  if (!loaded) {
    throw ovx::Error(QString(), QStringLiteral("Cannot read the background picture \"%s\": %s"),
                     {QDir::toNativeSeparators(path), QStringLiteral("not a picture")});
  }
}

template <class T>
T& Find(TovxReport& report, const QString& name) {
  auto* object = dynamic_cast<T*>(report.FindObject(name));
  if (!object) {
    throw ovx::Error(QString(), QStringLiteral("The report template has no object \"%s\""), {name});
  }
  return *object;
}

}  // namespace

PrintSettings DefaultPrintSettings() {
  PrintSettings settings;
  settings.body_lines = BodyTextLines();
  settings.title_lines = TitleLines();
  settings.data_directory = DataDirectory();
  return settings;
}

int ReadGridNumber(const QString& text, const QString& field) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 1 || value > kMaxGridNumber) {
    throw ovx::Error(QString(),
                     QStringLiteral("%s must be a whole number from 1 to %s, not \"%s\""),
                     {field, QString::number(kMaxGridNumber), text});
  }
  return value;
}

TovxPreviewButtons ApplicationPreviewButtons() {
  using B = TovxPreviewButton;
  return {B::pbPrint, B::pbSave, B::pbExport, B::pbZoom, B::pbExportQuick};
}

QString RemovePunctuation(QString text) {
  for (char16_t mark : {u'，', u'、', u'？', u'?', u'。', u'！', u'：', u'；'})
    text.remove(QChar(mark));
  return text;
}

BuildResult BuildReport(TovxReport& report, const PrintSettings& settings, Typesetter& typesetter) {
  // Read the number fields first: a bad value must not leave half a report.
  const int lines = ReadGridNumber(settings.lines, QStringLiteral("lines"));
  const int chars = ReadGridNumber(settings.chars, QStringLiteral("chars"));

  typesetter.Reset(QString());
  ovx::MemoryStream stream(TemplateLines().join(QStringLiteral("\r\n")).toUtf8());
  if (!report.LoadFromStream(stream)) {
    throw ovx::Error(QString(), QStringLiteral("The report template does not load: %s"),
                     {report.Errors().join(QStringLiteral("; "))});
  }
  QString text = settings.body_lines.join(QString());

  auto& cover = Find<TovxReportPage>(report, QStringLiteral("Page1"));
  if (settings.cover_background)
    LoadPicture(cover.BackPicture(), PicturePath(settings, kCoverPicture));
  if (settings.remove_punctuation) text = RemovePunctuation(std::move(text));
  typesetter.Reset(text);

  auto& title = Find<TovxMemoView>(report, QStringLiteral("title"));
  title.Font().SetSize(kTitlePoints);
  title.Font().SetName(typesetter.HolderFace());
  title.Font().SetStyle(TovxFontStyles{TovxFontStyle::fsBold});
  title.SetText(settings.title_lines.join(u'\n'));

  const double strip = 15 * ov01cm;
  const double w = (cover.PaperWidth() - cover.RightMargin() - cover.LeftMargin()) * ov01cm;
  const double h = (cover.PaperHeight() - cover.TopMargin() - cover.BottomMargin()) * ov01cm;
  const double by_height = h / chars;
  const double by_width = w / lines;
  Typesetter::Grid grid;
  grid.lines = lines;
  grid.chars = chars;
  grid.cell = by_height < by_width ? by_height : by_width;
  grid.x0 = w - strip;
  grid.y0 = 0;

  // Read once, shared by every body page (pictures share equal contents).
  std::optional<TovxPicture> body_picture;
  BuildResult result;
  for (int i = 0; i < kMaxBodyPages; ++i) {
    auto* page = new TovxReportPage(&report);
    page->SetPaperWidth(cover.PaperWidth());
    page->SetPaperHeight(cover.PaperHeight());
    page->SetLeftMargin(cover.LeftMargin());
    page->SetTopMargin(cover.TopMargin());
    page->SetBottomMargin(cover.BottomMargin());
    page->SetRightMargin(cover.RightMargin());
    if (settings.body_background) {
      if (!body_picture) {
        body_picture.emplace();
        LoadPicture(*body_picture, PicturePath(settings, kBodyPicture));
      }
      page->SetBackPicture(*body_picture);
    }
    typesetter.SetPageNumber(typesetter.PageNumber() + 1);
    ++result.body_pages;
    if (!typesetter.FillPage(*page, grid)) break;
  }
  result.cells = typesetter.CellCount();
  return result;
}

}  // namespace ovx::app
