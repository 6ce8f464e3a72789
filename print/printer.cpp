#include "print/printer.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "platform/cups_spooler.h"
#include "platform/safe_file.h"
#include "print/internal/pdf_sheets.h"
#include "resources/resources.h"

#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ovx {

std::optional<PaperDimensions> GetPaperDimensions(int number) {
  const std::optional<PaperInfo> paper = StandardPaperSource().Find(number);
  if (!paper) return std::nullopt;
  return PaperDimensions{paper->width, paper->height};
}

namespace {

DriverDialog& GlobalDriverDialog() {
  static DriverDialog dialog;
  return dialog;
}

constexpr int kDuplexOneSided = 1;
constexpr int kDuplexLongEdge = 2;
constexpr int kDuplexShortEdge = 3;

// Paper sources by their IPP keywords, with the numbers drivers give the
// same trays; other sources are numbered from 257 on, as driver-defined
// sources are.
int SourceNumber(const QByteArray& keyword, int& next_user_number) {
  static const std::pair<const char*, int> kKnown[] = {
      {"auto", kBinAutomatic}, {"top", 1},      {"bottom", 2},  {"middle", 3},
      {"manual", 4},           {"envelope", 5}, {"tractor", 8}, {"large-capacity", 11},
  };
  for (const auto& [name, number] : kKnown) {
    if (keyword == name) return number;
  }
  return next_user_number++;
}

QByteArray SidesKeyword(int code) {
  switch (code) {
    case kDuplexLongEdge:
      return QByteArrayLiteral("two-sided-long-edge");
    case kDuplexShortEdge:
      return QByteArrayLiteral("two-sided-short-edge");
    default:
      return QByteArrayLiteral("one-sided");
  }
}

int SidesCode(const QByteArray& keyword) {
  if (keyword == "two-sided-long-edge") return kDuplexLongEdge;
  if (keyword == "two-sided-short-edge") return kDuplexShortEdge;
  return kDuplexOneSided;
}

// The standard paper of that size (portrait, within half a millimetre),
// or 0.
int StandardPaperNumber(double width, double height) {
  for (const PaperInfo& paper : StandardPapers()) {
    if (std::abs(paper.width - width) <= 0.5 && std::abs(paper.height - height) <= 0.5)
      return paper.number;
  }
  return 0;
}

// A custom medium in the spooler's self-describing form.
QByteArray CustomMediaKeyword(double width, double height) {
  const QByteArray size =
      (FormatFloat(width) + u'x' + FormatFloat(height) + QStringLiteral("mm")).toLatin1();
  return "custom_" + size + "_" + size;
}

int CodeOf(TovxPrinterOrientation orientation) {
  return orientation == TovxPrinterOrientation::poLandscape ? 2 : 1;
}

}  // namespace

void SetDriverDialog(DriverDialog dialog) { GlobalDriverDialog() = std::move(dialog); }

}  // namespace ovx

using ovx::kDuplexLongEdge;
using ovx::kDuplexOneSided;
using ovx::kDuplexShortEdge;
using ovx::SidesCode;
using ovx::SourceNumber;
using ovx::StandardPaperNumber;

// --- canvas ------------------------------------------------------------------------------

int TovxPrinterCanvas::DpiX() const { return std::max(printer_.DPI().x(), 1); }
int TovxPrinterCanvas::DpiY() const { return std::max(printer_.DPI().y(), 1); }

ovx::Canvas* TovxPrinterCanvas::Sync() const {
  if (!target_) return nullptr;
  target_->Font() = Font();
  target_->Pen() = Pen();
  target_->Brush() = Brush();
  target_->MoveTo(PenPos().x(), PenPos().y());
  return target_;
}

void TovxPrinterCanvas::LineTo(int x, int y) {
  if (ovx::Canvas* t = Sync()) t->LineTo(x, y);
  MoveTo(x, y);
}
void TovxPrinterCanvas::Rectangle(const ovx::PixelRect& rect) {
  if (ovx::Canvas* t = Sync()) t->Rectangle(rect);
}
void TovxPrinterCanvas::FillRect(const ovx::PixelRect& rect) {
  if (ovx::Canvas* t = Sync()) t->FillRect(rect);
}
void TovxPrinterCanvas::RoundRect(const ovx::PixelRect& rect, int corner_width, int corner_height) {
  if (ovx::Canvas* t = Sync()) t->RoundRect(rect, corner_width, corner_height);
}
void TovxPrinterCanvas::Ellipse(const ovx::PixelRect& rect) {
  if (ovx::Canvas* t = Sync()) t->Ellipse(rect);
}
void TovxPrinterCanvas::Polygon(std::span<const QPoint> points) {
  if (ovx::Canvas* t = Sync()) t->Polygon(points);
}
void TovxPrinterCanvas::Polyline(std::span<const QPoint> points) {
  if (ovx::Canvas* t = Sync()) t->Polyline(points);
}
void TovxPrinterCanvas::BeginPath() {
  if (ovx::Canvas* t = Sync()) t->BeginPath();
}
void TovxPrinterCanvas::EndPath() {
  if (ovx::Canvas* t = Sync()) t->EndPath();
}
void TovxPrinterCanvas::SelectClipPath() {
  if (ovx::Canvas* t = Sync()) t->SelectClipPath();
}
void TovxPrinterCanvas::SaveDC() {
  if (ovx::Canvas* t = Sync()) t->SaveDC();
}
void TovxPrinterCanvas::RestoreDC() {
  if (!target_) return;
  // The sheet's surface kept the font, pen and brush of SaveDC; this
  // canvas is the one its callers go on drawing with.
  target_->RestoreDC();
  Font() = target_->Font();
  Pen() = target_->Pen();
  Brush() = target_->Brush();
}
void TovxPrinterCanvas::IntersectClipRect(const ovx::PixelRect& rect) {
  if (target_) target_->IntersectClipRect(rect);
}
void TovxPrinterCanvas::ExcludeClipRect(const ovx::PixelRect& rect) {
  if (target_) target_->ExcludeClipRect(rect);
}
std::optional<QRegion> TovxPrinterCanvas::ClipRegion() const {
  return target_ ? target_->ClipRegion() : std::nullopt;
}
void TovxPrinterCanvas::SelectClipRegion(const std::optional<QRegion>& region) {
  if (target_) target_->SelectClipRegion(region);
}
void TovxPrinterCanvas::SetMetaClip() {
  if (target_) target_->SetMetaClip();
}
bool TovxPrinterCanvas::RectVisible(const ovx::PixelRect& rect) const {
  return target_ && target_->RectVisible(rect);
}
void TovxPrinterCanvas::ExtTextOut(int x, int y, int options, const ovx::PixelRect* clip,
                                   QStringView text, std::span<const int> advances) {
  if (ovx::Canvas* t = Sync()) t->ExtTextOut(x, y, options, clip, text, advances);
}
void TovxPrinterCanvas::StretchDraw(const ovx::PixelRect& dest, const QImage& image,
                                    std::optional<ovx::Color> transparent) {
  if (ovx::Canvas* t = Sync()) t->StretchDraw(dest, image, transparent);
}

// --- the common part ---------------------------------------------------------------------

TovxCustomPrinter::TovxCustomPrinter(const QString& name, const QString& port)
    : name_(name), port_(port), canvas_(*this) {
  const TovxResources& texts = TovxResources::Instance();
  bins_.push_back({texts.Get(u"prDefault"), ovx::kBinAutomatic});
  papers_.push_back({texts.Get(u"prCustom"), ovx::kPaperCustom});
}

TovxCustomPrinter::~TovxCustomPrinter() = default;

int TovxCustomPrinter::PaperIndex(int number) const {
  for (size_t i = 0; i < papers_.size(); ++i) {
    if (papers_[i].number == number) return static_cast<int>(i);
  }
  return -1;
}

int TovxCustomPrinter::BinIndex(int number) const {
  for (size_t i = 0; i < bins_.size(); ++i) {
    if (bins_[i].number == number) return static_cast<int>(i);
  }
  return -1;
}

int TovxCustomPrinter::PaperNameToNumber(const QString& name) const {
  for (const ovx::PrinterEntry& paper : papers_) {
    if (paper.name.compare(name, Qt::CaseInsensitive) == 0) return paper.number;
  }
  return papers_.front().number;
}

int TovxCustomPrinter::BinNameToNumber(const QString& name) const {
  for (const ovx::PrinterEntry& bin : bins_) {
    if (bin.name.compare(name, Qt::CaseInsensitive) == 0) return bin.number;
  }
  return bins_.front().number;
}

bool TovxCustomPrinter::Fail(const QString& error) {
  last_error_ = error;
  return false;
}

// --- printers behind a spooler -------------------------------------------------------------

struct TovxPrinter::Media {
  int number;
  QByteArray keyword;
  double width, height;  // mm, portrait
  double left, top, right, bottom;
  bool Borderless() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
};

namespace {

// The sheets' device over the safe file writer: a write that fails is
// remembered (the sheets keep drawing), and the file is then never committed.
class SafeFileDevice : public QIODevice {
 public:
  explicit SafeFileDevice(const QString& path) : file_(path) { open(QIODevice::WriteOnly); }

  qint64 size() const override { return file_.Size(); }
  bool seek(qint64 position) override {
    if (!failure_.isEmpty() || !QIODevice::seek(position)) return false;
    try {
      file_.Seek(position);
    } catch (const ovx::Error& error) {
      failure_ = error.Message();
      setErrorString(failure_);
      return false;
    }
    return true;
  }
  // Completes the file, or answers the first failure's message.
  QString Commit() {
    if (!failure_.isEmpty()) return failure_;
    try {
      file_.Commit();
    } catch (const ovx::Error& error) {
      return error.Message();
    }
    return {};
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (!failure_.isEmpty()) return -1;
    try {
      file_.Write(data, size);
    } catch (const ovx::Error& error) {
      failure_ = error.Message();
      setErrorString(failure_);
      return -1;
    }
    return size;
  }

 private:
  ovx::SafeFile file_;
  QString failure_;
};

}  // namespace

struct TovxPrinter::Document {
  std::unique_ptr<SafeFileDevice> file;   // printing to a file
  std::unique_ptr<QTemporaryFile> spool;  // or the document for the spooler
  std::unique_ptr<ovx::PdfSheets> sheets;
  ovx::SpoolerOptions options;  // the spooled document's job options
};

TovxPrinter::TovxPrinter(const QString& name, const QString& port,
                         std::shared_ptr<ovx::Spooler> spooler)
    : TovxCustomPrinter(name, port), spooler_(std::move(spooler)) {}

TovxPrinter::~TovxPrinter() {
  canvas_.SetTarget(nullptr);
  if (raw_job_) raw_job_->Cancel();
  // A job left running is not silently sent half-done.
  DiscardDocument();
}

void TovxPrinter::Initialize() {
  if (initialized_) return;
  const std::optional<ovx::SpoolerCapabilities> caps = spooler_->Capabilities(name_);
  if (!caps) {
    last_error_ = QStringLiteral("The printer \"%1\" does not answer").arg(name_);
    return;
  }
  // Drawing is vector, so a queue that names no resolution loses nothing
  // by a fine grid.
  dpi_ = caps->dpi_x > 0 && caps->dpi_y > 0 ? QPoint(caps->dpi_x, caps->dpi_y) : QPoint(600, 600);

  int next_paper = ovx::kPaperCustom + 1;
  for (const ovx::SpoolerMedia& m : caps->media) {
    int number = StandardPaperNumber(m.width, m.height);
    QString name = m.display_name;
    if (name.isEmpty() && number != 0) name = ovx::StandardPaperSource().Find(number)->name;
    if (name.isEmpty()) name = QString::fromUtf8(m.keyword);
    const Media media{number, m.keyword, m.width, m.height, m.left, m.top, m.right, m.bottom};
    if (number != 0) {
      // One entry per paper number; of a bordered and a borderless
      // variant of one size, the bordered one, whose margins are safe.
      auto same = std::find_if(media_.begin(), media_.end(),
                               [number](const Media& known) { return known.number == number; });
      if (same != media_.end()) {
        if (same->Borderless() && !media.Borderless()) {
          *same = media;
          if (!m.display_name.isEmpty())
            papers_[static_cast<size_t>(PaperIndex(number))].name = name;
        }
        continue;
      }
    } else {
      number = next_paper++;
    }
    media_.push_back(media);
    media_.back().number = number;
    papers_.push_back({name, number});
  }
  default_media_ = -1;
  for (size_t i = 0; i < media_.size(); ++i) {
    if (media_[i].keyword == caps->default_media) default_media_ = static_cast<int>(i);
  }
  if (default_media_ < 0) {
    for (size_t i = 0; i < media_.size(); ++i) {
      if (media_[i].number == ovx::kPaperA4) default_media_ = static_cast<int>(i);
    }
  }
  if (default_media_ < 0 && !media_.empty()) default_media_ = 0;

  int next_source = 257;
  def_bin_ = ovx::kBinAutomatic;
  for (const ovx::SpoolerChoice& source : caps->sources) {
    const int number = SourceNumber(source.keyword, next_source);
    if (number == ovx::kBinAutomatic || BinIndex(number) >= 0) continue;
    sources_.emplace_back(number, source.keyword);
    bins_.push_back({source.display_name, number});
    if (source.keyword == caps->default_source) def_bin_ = number;
  }

  sides_ = caps->sides;
  duplex_codes_ = {kDuplexOneSided};
  for (const QByteArray& side : sides_) {
    const int code = SidesCode(side);
    if (code != kDuplexOneSided) duplex_codes_.push_back(code);
  }
  def_duplex_ = SidesCode(caps->default_sides);

  record_ = {};
  record_.orientation = caps->landscape_default ? 2 : 1;
  record_.paper_size = default_media_ >= 0 ? media_[default_media_].number : ovx::kPaperCustom;
  record_.default_source = def_bin_;
  record_.duplex = def_duplex_;
  if (!Measure()) return;
  def_paper_ = record_.paper_size;
  paper_ = def_paper_;
  def_paper_width_ = paper_width_;
  def_paper_height_ = paper_height_;
  def_orientation_ = record_.orientation == 1 ? TovxPrinterOrientation::poPortrait
                                              : TovxPrinterOrientation::poLandscape;
  orientation_ = def_orientation_;
  bin_ = -1;
  duplex_ = -1;
  initialized_ = true;
}

const TovxPrinter::Media* TovxPrinter::MediaOf(int paper) const {
  for (const Media& media : media_) {
    if (media.number == paper) return &media;
  }
  return nullptr;
}

bool TovxPrinter::Measure() {
  if (dpi_.x() <= 0 || dpi_.y() <= 0) return Fail(QStringLiteral("Printer selected is not valid"));
  const Media* fallback = default_media_ >= 0 ? &media_[default_media_] : nullptr;
  const Media* media = MediaOf(record_.paper_size);
  double width = 0, height = 0, left = 0, top = 0, right = 0, bottom = 0;
  if (media) {
    width = media->width;
    height = media->height;
  } else if (record_.paper_size == ovx::kPaperCustom && record_.paper_width > 0 &&
             record_.paper_length > 0) {
    width = record_.paper_width / 10.0;
    height = record_.paper_length / 10.0;
  } else if (fallback) {
    width = fallback->width;
    height = fallback->height;
  } else if (const auto a4 = ovx::GetPaperDimensions(ovx::kPaperA4)) {
    width = a4->width;
    height = a4->height;
  }
  // A custom size has the unprintable margins of the printer's usual paper,
  // as far as they fit on it.
  if (const Media* margins = media ? media : fallback) {
    if (margins->left + margins->right < width && margins->top + margins->bottom < height) {
      left = margins->left;
      top = margins->top;
      right = margins->right;
      bottom = margins->bottom;
    }
  }
  if (record_.orientation == 2) {
    // Turned as a report page turns: the top edge becomes the left one.
    std::swap(width, height);
    const double l = left, t = top, r = right, b = bottom;
    left = t;
    right = b;
    top = r;
    bottom = l;
  }
  paper_width_ = width;
  paper_height_ = height;
  left_margin_ = left;
  top_margin_ = top;
  right_margin_ = right;
  bottom_margin_ = bottom;
  return true;
}

bool TovxPrinter::SelectViewPaper(int paper, double width, double height,
                                  TovxPrinterOrientation orientation) {
  const int requested = paper;
  if (paper != ovx::kPaperCustom && PaperIndex(paper) < 0) paper = ovx::kPaperCustom;
  const ovx::PrinterSettingsRecord saved = record_;
  record_.fields =
      ovx::PrinterSettingsRecord::kOrientation | ovx::PrinterSettingsRecord::kPaperSize;
  record_.orientation = ovx::CodeOf(orientation);
  if (paper != ovx::kPaperCustom || requested == -1) {
    record_.paper_size = paper;
    if (!Measure()) {
      record_ = saved;
      return false;
    }
  } else {
    // A custom size is measured on a listed paper whose margins stay in
    // force. Decided here, not by asking again, so a printer that lists no
    // paper at all still ends in one step.
    int substitute = -1;
    if (PaperIndex(ovx::kPaperA4) >= 0) {
      substitute = ovx::kPaperA4;
    } else {
      for (const ovx::PrinterEntry& entry : papers_) {
        if (entry.number != ovx::kPaperCustom) {
          substitute = entry.number;
          break;
        }
      }
    }
    record_.paper_size = substitute >= 0 ? substitute : ovx::kPaperCustom;
    record_.paper_width = record_.paper_length = 0;
    if (!Measure()) {
      record_ = saved;
      return false;
    }
    paper_width_ = width;
    paper_height_ = height;
  }
  paper_ = paper;
  orientation_ = orientation;
  return true;
}

bool TovxPrinter::SelectJobPaper(int paper, double width, double height,
                                 TovxPrinterOrientation orientation, int bin, TovxDuplexMode duplex,
                                 int copies) {
  using R = ovx::PrinterSettingsRecord;
  const R saved = record_;
  record_.fields |= R::kOrientation | R::kPaperSize | R::kCopies | R::kDefaultSource | R::kCollate;
  if (PaperIndex(paper) < 0) paper = ovx::kPaperCustom;
  if (paper == ovx::kPaperCustom) {
    record_.fields |= R::kPaperLength | R::kPaperWidth;
    const bool landscape = orientation == TovxPrinterOrientation::poLandscape;
    record_.paper_length = ovx::RoundToInt((landscape ? width : height) * 10);
    record_.paper_width = ovx::RoundToInt((landscape ? height : width) * 10);
  } else {
    record_.paper_length = 0;
    record_.paper_width = 0;
  }
  record_.paper_size = paper;
  record_.orientation = ovx::CodeOf(orientation);
  record_.copies = std::max(copies, 1);
  // The job collates by itself.
  record_.collate = 0;
  record_.default_source = bin == ovx::kBinAutomatic ? (bin_ != -1 ? bin_ : def_bin_) : bin;

  int code = def_duplex_;
  switch (duplex) {
    case TovxDuplexMode::dmNone:
      break;
    case TovxDuplexMode::dmVertical:
      code = kDuplexLongEdge;
      break;
    case TovxDuplexMode::dmHorizontal:
      code = kDuplexShortEdge;
      break;
    case TovxDuplexMode::dmSimplex:
      code = kDuplexOneSided;
      break;
  }
  if (duplex_ != -1) code = duplex_;
  // One-sided needs no duplex flag: the queue's default already is.
  if (code != kDuplexOneSided) {
    record_.fields |= R::kDuplex;
  } else {
    record_.fields &= ~static_cast<unsigned>(R::kDuplex);
  }
  record_.duplex = code;

  if (!Measure()) {
    record_ = saved;
    return false;
  }
  paper_ = paper;
  orientation_ = orientation;
  return true;
}

bool TovxPrinter::ShowDriverDialog() {
  const ovx::DriverDialog& dialog = ovx::GlobalDriverDialog();
  if (!dialog || !initialized_) return false;
  const int previous_duplex = record_.duplex;
  ovx::PrinterSettingsRecord record = record_;
  if (!dialog(*this, record)) return false;
  record_ = record;
  bin_ = def_bin_ = record_.default_source;
  if (record_.duplex != previous_duplex) duplex_ = record_.duplex;
  (void)Measure();
  return true;
}

ovx::SpoolerOptions TovxPrinter::JobOptions() const {
  ovx::SpoolerOptions options;
  if (const Media* media = MediaOf(record_.paper_size)) {
    options.emplace_back("media", media->keyword);
  } else if (record_.paper_size == ovx::kPaperCustom && record_.paper_width > 0 &&
             record_.paper_length > 0) {
    options.emplace_back(
        "media", ovx::CustomMediaKeyword(record_.paper_width / 10.0, record_.paper_length / 10.0));
  }
  for (const auto& [number, keyword] : sources_) {
    if (number == record_.default_source) options.emplace_back("media-source", keyword);
  }
  const QByteArray sides = ovx::SidesKeyword(record_.duplex);
  if (std::find(sides_.begin(), sides_.end(), sides) != sides_.end())
    options.emplace_back("sides", sides);
  if (record_.copies > 1) {
    options.emplace_back("copies", QByteArray::number(record_.copies));
    options.emplace_back("multiple-document-handling", "separate-documents-uncollated-copies");
  }
  // The document is already the sheet at its size: nothing may scale it.
  options.emplace_back("print-scaling", "none");
  options.emplace_back("fit-to-page", "false");
  return options;
}

// --- jobs --------------------------------------------------------------------------------

bool TovxPrinter::OpenDocument() {
  auto document = std::make_unique<Document>();
  QIODevice* out = nullptr;
  if (!file_name_.isEmpty()) {
    try {
      document->file = std::make_unique<SafeFileDevice>(file_name_);
    } catch (const ovx::Error& error) {
      return Fail(error.Message());
    }
    out = document->file.get();
  } else {
    document->spool = std::make_unique<QTemporaryFile>();
    if (!document->spool->open()) {
      return Fail(QStringLiteral("Cannot make a temporary file for the print job: %1")
                      .arg(document->spool->errorString()));
    }
    out = document->spool.get();
  }
  const QString title = title_.isEmpty() ? QStringLiteral("Orvane Document") : title_;
  document->sheets = std::make_unique<ovx::PdfSheets>(out, title, dpi_.x(), dpi_.y());
  document_ = std::move(document);
  return true;
}

bool TovxPrinter::SubmitDocument() {
  std::unique_ptr<Document> document = std::move(document_);
  canvas_.SetTarget(nullptr);
  if (!document) return true;
  document->sheets->Finish();
  const int sheets = document->sheets->Sheets();
  document->sheets.reset();
  if (document->file) {
    const QString failure = document->file->Commit();
    if (!failure.isEmpty()) return Fail(failure);
    return true;
  }
  if (sheets == 0) return true;
  QTemporaryFile& spool = *document->spool;
  if (!spool.flush() || spool.error() != QFileDevice::NoError || !spool.seek(0)) {
    return Fail(QStringLiteral("Cannot write the print job: %1").arg(spool.errorString()));
  }
  const QString title = title_.isEmpty() ? QStringLiteral("Orvane Document") : title_;
  QString error;
  std::unique_ptr<ovx::SpoolerJob> job =
      spooler_->CreateJob(name_, title, "application/pdf", document->options, &error);
  if (!job) return Fail(error);
  QByteArray block(1 << 16, Qt::Uninitialized);
  for (;;) {
    const qint64 read = spool.read(block.data(), block.size());
    if (read < 0) {
      job->Cancel();
      return Fail(QStringLiteral("Cannot read the print job: %1").arg(spool.errorString()));
    }
    if (read == 0) break;
    if (!job->Write(block.constData(), read)) {
      job->Cancel();
      return Fail(job->Error());
    }
  }
  if (!job->Finish()) {
    job->Cancel();
    return Fail(job->Error());
  }
  submitted_.push_back(std::move(job));
  return true;
}

void TovxPrinter::DiscardDocument() {
  canvas_.SetTarget(nullptr);
  if (!document_) return;
  document_->sheets->Finish();
  document_->sheets.reset();
  document_.reset();
}

void TovxPrinter::EndJobState() {
  using R = ovx::PrinterSettingsRecord;
  printing_ = false;
  bin_ = -1;
  duplex_ = -1;
  record_.fields |= R::kDefaultSource | R::kDuplex;
  record_.default_source = def_bin_;
  record_.duplex = def_duplex_;
  (void)Measure();
}

bool TovxPrinter::StartJob() {
  if (printing_) return Fail(QStringLiteral("A print job is already running on this printer"));
  printing_ = true;
  submitted_.clear();
  last_error_.clear();
  // Printing to a file makes one document of the whole job; the spooler
  // gets a document per run of sheets with equal job settings.
  if (!file_name_.isEmpty() && !OpenDocument()) {
    printing_ = false;
    return false;
  }
  return true;
}

bool TovxPrinter::StartSheet() {
  if (!printing_) return Fail(QStringLiteral("No print job is running"));
  if (document_ && document_->spool) {
    const ovx::SpoolerOptions options = JobOptions();
    if (document_->sheets->Sheets() > 0 && document_->options != options && !SubmitDocument())
      return false;
  }
  if (!document_ && !OpenDocument()) return false;
  if (document_->spool && document_->sheets->Sheets() == 0) document_->options = JobOptions();
  document_->sheets->BeginSheet(QSizeF(paper_width_, paper_height_), left_margin_, top_margin_);
  canvas_.SetTarget(&document_->sheets->SheetCanvas());
  return true;
}

bool TovxPrinter::FinishSheet() {
  if (!document_) return Fail(QStringLiteral("No sheet is being printed"));
  document_->sheets->EndSheet();
  canvas_.SetTarget(nullptr);
  return true;
}

bool TovxPrinter::FinishJob() {
  if (!printing_) return true;
  const bool sent = SubmitDocument();
  if (!sent) {
    for (const auto& job : submitted_) job->Cancel();
  }
  submitted_.clear();
  EndJobState();
  return sent;
}

void TovxPrinter::AbortJob() {
  DiscardDocument();
  for (const auto& job : submitted_) job->Cancel();
  submitted_.clear();
  if (raw_job_) {
    raw_job_->Cancel();
    raw_job_.reset();
  }
  if (printing_) EndJobState();
}

bool TovxPrinter::StartRawJob() {
  if (raw_job_) return Fail(QStringLiteral("A print job is already running on this printer"));
  QString error;
  raw_job_ = spooler_->CreateJob(name_, title_, "application/vnd.cups-raw", {}, &error);
  if (!raw_job_) return Fail(error);
  return true;
}

bool TovxPrinter::WriteRaw(const QByteArray& bytes) {
  if (!raw_job_) return Fail(QStringLiteral("No print job is running"));
  if (!raw_job_->Write(bytes.constData(), bytes.size())) return Fail(raw_job_->Error());
  return true;
}

bool TovxPrinter::FinishRawJob() {
  if (!raw_job_) return Fail(QStringLiteral("No print job is running"));
  std::unique_ptr<ovx::SpoolerJob> job = std::move(raw_job_);
  if (!job->Finish()) {
    job->Cancel();
    return Fail(job->Error());
  }
  return true;
}

// --- the virtual printer -------------------------------------------------------------------

TovxVirtualPrinter::TovxVirtualPrinter(const QString& name, const QString& port)
    : TovxCustomPrinter(name, port) {}

void TovxVirtualPrinter::Initialize() {
  if (initialized_) return;
  dpi_ = QPoint(600, 600);
  def_paper_ = ovx::kPaperA4;
  def_orientation_ = TovxPrinterOrientation::poPortrait;
  def_paper_width_ = 210;
  def_paper_height_ = 297;
  for (const ovx::PaperInfo& paper : ovx::StandardPapers())
    papers_.push_back({paper.name, paper.number});
  bin_ = -1;
  duplex_ = -1;
  initialized_ = true;
}

bool TovxVirtualPrinter::StartJob() {
  return Fail(QStringLiteral("The virtual printer cannot print"));
}
bool TovxVirtualPrinter::StartSheet() { return StartJob(); }
bool TovxVirtualPrinter::FinishSheet() { return StartJob(); }
bool TovxVirtualPrinter::StartRawJob() { return StartJob(); }
bool TovxVirtualPrinter::WriteRaw(const QByteArray&) { return StartJob(); }
bool TovxVirtualPrinter::FinishRawJob() { return StartJob(); }

bool TovxVirtualPrinter::SelectViewPaper(int paper, double width, double height,
                                         TovxPrinterOrientation orientation) {
  const std::optional<ovx::PaperDimensions> size =
      paper != ovx::kPaperCustom ? ovx::GetPaperDimensions(paper) : std::nullopt;
  if (size) {
    const bool landscape = orientation == TovxPrinterOrientation::poLandscape;
    paper_width_ = landscape ? size->height : size->width;
    paper_height_ = landscape ? size->width : size->height;
    paper_ = paper;
  } else {
    paper_ = ovx::kPaperCustom;
    paper_width_ = width;
    paper_height_ = height;
  }
  left_margin_ = top_margin_ = right_margin_ = bottom_margin_ = 5;
  orientation_ = orientation;
  return true;
}

bool TovxVirtualPrinter::SelectJobPaper(int paper, double width, double height,
                                        TovxPrinterOrientation orientation, int bin,
                                        TovxDuplexMode duplex, int copies) {
  (void)SelectViewPaper(paper, width, height, orientation);
  bin_ = bin;
  return true;
}
