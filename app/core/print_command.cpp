#include "app/core/print_command.h"

#include "app/core/fixed_data.h"
#include "base/error.h"
#include "base/stream.h"
#include "base/units.h"
#include "export/pdf_font.h"
#include "export/truetype_font.h"
#include "platform/safe_file.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/picture.h"
#include "report/model/report.h"

#include <QDir>

#include <algorithm>

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

qsizetype CodePoints(QStringView text) {
  qsizetype count = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) ++count;
  }
  return count;
}

// The title memo's text needs more height than the memo has: lines would be
// cut off at both ends, since it is centred.
bool TitleOverflows(TovxMemoView& title) { return title.CalcHeight() > title.Height() + 0.5; }

}  // namespace

qsizetype DropControlCharacters(QString& text) {
  const qsizetype before = text.size();
  text.removeIf([](QChar c) { return c.unicode() < 0x20; });
  return before - text.size();
}

QStringList BuildNotes(const BuildResult& result) {
  QStringList notes;
  if (result.left_out_characters > 0) {
    notes << QStringLiteral(
                 "the text fills the limit of %1 body pages: %2 of its %3 characters "
                 "were left out")
                 .arg(kMaxBodyPages)
                 .arg(result.left_out_characters)
                 .arg(result.text_characters);
  }
  if (result.dropped_controls > 0) {
    notes << QStringLiteral("%1 control characters were dropped from the body text")
                 .arg(result.dropped_controls);
  }
  if (!result.title_fits) {
    notes << QStringLiteral(
                 "the title is longer than the cover holds even at %1 pt: its first "
                 "and last lines are cut off")
                 .arg(kMinTitlePoints);
  } else if (result.title_points != 0 && result.title_points < kTitlePoints) {
    notes << QStringLiteral("the title is longer than the cover holds at %1 pt: it is set at %2 pt")
                 .arg(kTitlePoints)
                 .arg(result.title_points);
  }
  return notes;
}

void CheckPrivateFont(const QString& data_directory) {
  const QString path = QDir(data_directory).filePath(QLatin1String(kPrivateFontFile));
  const QByteArray data =
      ovx::ReadFileBounded(path, ovx::kMaxFontFileBytes, QStringLiteral("private font"));
  try {
    // What the PDF export does with it: parse the face and embed a subset.
    const ovx::TrueTypeCollection collection(data);
    const ovx::TrueTypeFont& font = collection.Font(0);
    TovxPDFFont pdf_font(font.FamilyName(), 0, data, 0, 0);
    pdf_font.MapText(QStringLiteral("道德经"), false, false);
    if (pdf_font.BuildSubsetFont().isEmpty()) {
      throw ovx::Error(QString(), QStringLiteral("no glyphs could be taken from it"));
    }
  } catch (const ovx::Error& error) {
    throw ovx::Error(QString(), QStringLiteral("The private font \"%s\" is damaged: %s"),
                     {QDir::toNativeSeparators(path), error.Message()});
  }
}

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

struct ReportBuilder::State {
  TovxReportPage* cover = nullptr;
  Typesetter::Grid grid;
  bool body_background = false;
  // Read once, shared by every body page (pictures share equal contents).
  TovxPicture body_picture;
  BuildResult result;
};

ReportBuilder::ReportBuilder(TovxReport& report, Typesetter& typesetter)
    : report_(report), typesetter_(typesetter) {}

ReportBuilder::~ReportBuilder() = default;

void ReportBuilder::Start(const PrintSettings& settings) {
  finished_ = true;
  state_.reset();
  // Read the number fields first: a bad value must not leave half a report.
  const int lines = ReadGridNumber(settings.lines, QStringLiteral("lines"));
  const int chars = ReadGridNumber(settings.chars, QStringLiteral("chars"));

  typesetter_.Reset(QString());
  ovx::MemoryStream stream(TemplateLines().join(QStringLiteral("\r\n")).toUtf8());
  if (!report_.LoadFromStream(stream)) {
    throw ovx::Error(QString(), QStringLiteral("The report template does not load: %s"),
                     {report_.Errors().join(QStringLiteral("; "))});
  }
  auto state = std::make_unique<State>();
  QString text = settings.body_lines.join(QString());
  BuildResult& result = state->result;
  result.dropped_controls = DropControlCharacters(text);

  auto& cover = Find<TovxReportPage>(report_, QStringLiteral("Page1"));
  state->cover = &cover;
  if (settings.cover_background)
    LoadPicture(cover.BackPicture(), PicturePath(settings, kCoverPicture));
  if (settings.remove_punctuation) text = RemovePunctuation(std::move(text));
  typesetter_.Reset(text);

  auto& title = Find<TovxMemoView>(report_, QStringLiteral("title"));
  title.Font().SetSize(kTitlePoints);
  title.Font().SetName(typesetter_.HolderFace());
  title.Font().SetStyle(TovxFontStyles{TovxFontStyle::fsBold});
  title.SetText(settings.title_lines.join(u'\n'));
  // The title is the user's text, never an expression; the property stays
  // at its default otherwise, so prepared files are as they always were.
  if (title.Text().contains(u'[')) title.SetAllowExpressions(false);
  // A title longer than the cover holds is set smaller until it fits.
  result.title_points = kTitlePoints;
  while (result.title_points > kMinTitlePoints && TitleOverflows(title)) {
    result.title_points = std::max(kMinTitlePoints, result.title_points - 4);
    title.Font().SetSize(result.title_points);
  }
  result.title_fits = !TitleOverflows(title);

  const double strip = 15 * ov01cm;
  const double w = (cover.PaperWidth() - cover.RightMargin() - cover.LeftMargin()) * ov01cm;
  const double h = (cover.PaperHeight() - cover.TopMargin() - cover.BottomMargin()) * ov01cm;
  const double by_height = h / chars;
  const double by_width = w / lines;
  Typesetter::Grid& grid = state->grid;
  grid.lines = lines;
  grid.chars = chars;
  grid.cell = by_height < by_width ? by_height : by_width;
  grid.x0 = w - strip;
  grid.y0 = 0;

  // Every body page shows the picture (there is at least one): a picture
  // that cannot be read stops the command here, before any page is shown.
  state->body_background = settings.body_background;
  if (settings.body_background)
    LoadPicture(state->body_picture, PicturePath(settings, kBodyPicture));
  result.text_characters = CodePoints(typesetter_.Remaining());
  state_ = std::move(state);
  finished_ = false;
}

bool ReportBuilder::AddBodyPage() {
  if (finished_ || !state_) return false;
  const TovxReportPage& cover = *state_->cover;
  auto* page = new TovxReportPage(&report_);
  page->SetPaperWidth(cover.PaperWidth());
  page->SetPaperHeight(cover.PaperHeight());
  page->SetLeftMargin(cover.LeftMargin());
  page->SetTopMargin(cover.TopMargin());
  page->SetBottomMargin(cover.BottomMargin());
  page->SetRightMargin(cover.RightMargin());
  if (state_->body_background) page->SetBackPicture(state_->body_picture);
  typesetter_.SetPageNumber(typesetter_.PageNumber() + 1);
  ++state_->result.body_pages;
  if (!typesetter_.FillPage(*page, state_->grid) || state_->result.body_pages >= kMaxBodyPages) {
    finished_ = true;
  }
  return true;
}

BuildResult ReportBuilder::Result() const {
  if (!state_) return {};
  BuildResult result = state_->result;
  result.cells = typesetter_.CellCount();
  if (finished_) result.left_out_characters = CodePoints(typesetter_.Remaining());
  return result;
}

BuildResult BuildReport(TovxReport& report, const PrintSettings& settings, Typesetter& typesetter) {
  ReportBuilder builder(report, typesetter);
  builder.Start(settings);
  while (builder.AddBodyPage()) {
  }
  return builder.Result();
}

}  // namespace ovx::app
