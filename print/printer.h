// Printers: what a print job drives, sheet by sheet.
//
// A printer lists its papers and paper sources by the numbers print drivers
// use (paper 9 is A4, 256 a custom size; source 7 the automatic one), knows
// the physical size and the unprintable margins of its current paper in
// millimetres, and runs jobs: start and end a job and each sheet, choose
// paper, orientation, source, sides and copies between sheets.
//
// The canvas of a printer has the printer's resolution, and its origin is
// the top-left corner of the printable area, as on the print devices report
// layouts were made for: a job that wants a page corner on the paper's
// physical corner draws at minus the left and top margins. That origin is
// undone in exactly one place, where a sheet is written out, so a page
// printed at full size keeps its exact size and position on the paper.
//
// `TovxPrinter` prints through the spooler (CUPS): each sheet is drawn as
// vectors into a PDF page of the sheet's physical size and the document is
// handed to the queue with options that forbid any rescaling. Sheets whose
// paper, source, sides or copies differ go to the queue as separate jobs,
// since those are settings of a whole job there. Printing to a file writes
// the same PDF to the file instead.
//
// `TovxVirtualPrinter` stands in when no printer is installed: it lists the
// standard papers so page setup still works, and it cannot print.
#pragma once

#include "base/paper_sizes.h"
#include "render/canvas.h"
#include "report/model/page.h"

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ovx {
class Spooler;
class SpoolerJob;

// Source 7: whichever the printer picks.
inline constexpr int kBinAutomatic = 7;

// The settings a printer applies to the next sheet: this project's own
// record of the fields print drivers keep. `fields` says which were set
// (for the spooler, the others keep the queue's defaults).
struct PrinterSettingsRecord {
  enum Field : unsigned {
    kOrientation = 0x1,
    kPaperSize = 0x2,
    kPaperLength = 0x4,
    kPaperWidth = 0x8,
    kCopies = 0x100,
    kDefaultSource = 0x200,
    kDuplex = 0x1000,
    kCollate = 0x8000,
  };
  unsigned fields = 0;
  int orientation = 1;  // 1 portrait, 2 landscape
  int paper_size = kPaperA4;
  // Custom sizes, tenths of a millimetre, portrait terms.
  int paper_length = 0;
  int paper_width = 0;
  int copies = 1;
  int default_source = kBinAutomatic;
  int duplex = 1;  // 1 one-sided, 2 long edge (vertical), 3 short edge (horizontal)
  int collate = 0;

  bool operator==(const PrinterSettingsRecord&) const = default;
};

struct PrinterEntry {
  QString name;
  int number = 0;
};

struct PaperDimensions {
  double width = 0;  // mm, portrait
  double height = 0;
};

// The standard paper table: width and height of paper `number`, nullopt
// for a number the table does not hold (256 included).
std::optional<PaperDimensions> GetPaperDimensions(int number);

}  // namespace ovx

class TovxCustomPrinter;

// The printer's canvas: it forwards to the sheet being printed and ignores
// drawing between sheets (measuring always works). Font heights are device
// pixels here, so a font of N points drawn at the printer's resolution is N
// points high on paper without any adjustment.
class TovxPrinterCanvas : public ovx::Canvas {
 public:
  explicit TovxPrinterCanvas(TovxCustomPrinter& printer) : printer_(printer) {}

  TovxCustomPrinter& Printer() const { return printer_; }
  // The surface of the current sheet (not owned); null between sheets.
  void SetTarget(ovx::Canvas* target) { target_ = target; }
  ovx::Canvas* Target() const { return target_; }

  int DpiX() const override;
  int DpiY() const override;
  bool IsPrinter() const override { return true; }

  void LineTo(int x, int y) override;
  void Rectangle(const ovx::PixelRect& rect) override;
  void FillRect(const ovx::PixelRect& rect) override;
  void RoundRect(const ovx::PixelRect& rect, int corner_width, int corner_height) override;
  void Ellipse(const ovx::PixelRect& rect) override;
  void Polygon(std::span<const QPoint> points) override;
  void Polyline(std::span<const QPoint> points) override;
  void BeginPath() override;
  void EndPath() override;
  void SelectClipPath() override;
  void SaveDC() override;
  void RestoreDC() override;
  void IntersectClipRect(const ovx::PixelRect& rect) override;
  void ExcludeClipRect(const ovx::PixelRect& rect) override;
  std::optional<QRegion> ClipRegion() const override;
  void SelectClipRegion(const std::optional<QRegion>& region) override;
  void SetMetaClip() override;
  bool RectVisible(const ovx::PixelRect& rect) const override;
  void ExtTextOut(int x, int y, int options, const ovx::PixelRect* clip, QStringView text,
                  std::span<const int> advances) override;
  void StretchDraw(const ovx::PixelRect& dest, const QImage& image,
                   std::optional<ovx::Color> transparent = std::nullopt) override;

 private:
  // The target with this canvas's font, pen, brush and position; null
  // between sheets.
  ovx::Canvas* Sync() const;

  TovxCustomPrinter& printer_;
  ovx::Canvas* target_ = nullptr;
};

class TovxCustomPrinter {
 public:
  // Seeds the lists: source "prDefault" (7) and paper "prCustom" (256)
  // always come first.
  TovxCustomPrinter(const QString& name, const QString& port);
  virtual ~TovxCustomPrinter();
  TovxCustomPrinter(const TovxCustomPrinter&) = delete;
  TovxCustomPrinter& operator=(const TovxCustomPrinter&) = delete;

  // Reads the printer's papers, sources and defaults; does nothing once
  // Initialized. A printer that cannot be asked stays uninitialised.
  virtual void Initialize() = 0;

  // --- jobs ------------------------------------------------------------------------
  // Each answers false when the spooler or the output refused; LastError()
  // then says why, and the caller aborts the job.
  [[nodiscard]] virtual bool StartJob() = 0;
  [[nodiscard]] virtual bool StartSheet() = 0;
  [[nodiscard]] virtual bool FinishSheet() = 0;
  [[nodiscard]] virtual bool FinishJob() = 0;
  // Discards the job, withdrawing what it already gave the spooler.
  virtual void AbortJob() = 0;
  // A job of bytes in the printer's own language, passed through untouched.
  [[nodiscard]] virtual bool StartRawJob() = 0;
  [[nodiscard]] virtual bool WriteRaw(const QByteArray& bytes) = 0;
  [[nodiscard]] virtual bool FinishRawJob() = 0;

  // --- paper -----------------------------------------------------------------------
  // The paper for measuring and page setup. `paper` 256 takes `width` x
  // `height` (mm, in `orientation`) with the margins of a listed paper.
  // False when the printer cannot measure it (Paper and Orientation keep
  // their values).
  virtual bool SelectViewPaper(int paper, double width, double height,
                               TovxPrinterOrientation orientation) = 0;
  // The paper, source, sides and copies of the next sheet. `bin` 7 takes
  // the source chosen in the driver dialog, else the default one;
  // `duplex` dmNone the printer's default sides.
  [[nodiscard]] virtual bool SelectJobPaper(int paper, double width, double height,
                                            TovxPrinterOrientation orientation, int bin,
                                            TovxDuplexMode duplex, int copies) = 0;
  // The printer's own settings dialog (through ovx::SetDriverDialog);
  // answers whether the user confirmed it.
  virtual bool ShowDriverDialog() = 0;

  // List position of the first entry with that number, or -1.
  int PaperIndex(int number) const;
  int BinIndex(int number) const;
  // The number of the entry of that name (ignoring case); the seed entry's
  // number when none has it.
  int PaperNameToNumber(const QString& name) const;
  int BinNameToNumber(const QString& name) const;

  // --- state -------------------------------------------------------------------------
  const QString& Name() const { return name_; }
  const QString& Port() const { return port_; }
  const QString& Title() const { return title_; }
  void SetTitle(const QString& title) { title_ = title; }
  // Output file of the next job; empty prints to the device.
  const QString& FileName() const { return file_name_; }
  void SetFileName(const QString& file_name) { file_name_ = file_name; }
  const std::vector<ovx::PrinterEntry>& Bins() const { return bins_; }
  const std::vector<ovx::PrinterEntry>& Papers() const { return papers_; }
  // Duplex codes the printer offers (1 one-sided always).
  const std::vector<int>& DuplexCodes() const { return duplex_codes_; }
  TovxPrinterCanvas& Canvas() { return canvas_; }
  QPoint DPI() const { return dpi_; }
  int Paper() const { return paper_; }
  double PaperWidth() const { return paper_width_; }
  double PaperHeight() const { return paper_height_; }
  double LeftMargin() const { return left_margin_; }
  double TopMargin() const { return top_margin_; }
  double RightMargin() const { return right_margin_; }
  double BottomMargin() const { return bottom_margin_; }
  TovxPrinterOrientation Orientation() const { return orientation_; }
  int DefPaper() const { return def_paper_; }
  double DefPaperWidth() const { return def_paper_width_; }
  double DefPaperHeight() const { return def_paper_height_; }
  TovxPrinterOrientation DefOrientation() const { return def_orientation_; }
  int DefBin() const { return def_bin_; }
  int DefDuplex() const { return def_duplex_; }
  // Chosen in the driver dialog; -1 when none was.
  int Bin() const { return bin_; }
  int Duplex() const { return duplex_; }
  bool Initialized() const { return initialized_; }
  bool Printing() const { return printing_; }
  // Why the last failing call failed.
  const QString& LastError() const { return last_error_; }
  // The settings the next sheet gets.
  const ovx::PrinterSettingsRecord& Record() const { return record_; }

 protected:
  bool Fail(const QString& error);

  QString name_;
  QString port_;
  QString title_;
  QString file_name_;
  std::vector<ovx::PrinterEntry> bins_;
  std::vector<ovx::PrinterEntry> papers_;
  std::vector<int> duplex_codes_{1};
  TovxPrinterCanvas canvas_;
  QPoint dpi_;
  int paper_ = 0;
  double paper_width_ = 0;
  double paper_height_ = 0;
  double left_margin_ = 0;
  double top_margin_ = 0;
  double right_margin_ = 0;
  double bottom_margin_ = 0;
  TovxPrinterOrientation orientation_ = TovxPrinterOrientation::poPortrait;
  int def_paper_ = 0;
  double def_paper_width_ = 0;
  double def_paper_height_ = 0;
  TovxPrinterOrientation def_orientation_ = TovxPrinterOrientation::poPortrait;
  int def_bin_ = ovx::kBinAutomatic;
  int def_duplex_ = 1;
  int bin_ = -1;
  int duplex_ = -1;
  bool initialized_ = false;
  bool printing_ = false;
  QString last_error_;
  ovx::PrinterSettingsRecord record_;
};

// A printer behind a spooler queue.
class TovxPrinter : public TovxCustomPrinter {
 public:
  TovxPrinter(const QString& name, const QString& port, std::shared_ptr<ovx::Spooler> spooler);
  ~TovxPrinter() override;

  void Initialize() override;
  bool StartJob() override;
  bool StartSheet() override;
  bool FinishSheet() override;
  bool FinishJob() override;
  void AbortJob() override;
  bool StartRawJob() override;
  bool WriteRaw(const QByteArray& bytes) override;
  bool FinishRawJob() override;
  bool SelectViewPaper(int paper, double width, double height,
                       TovxPrinterOrientation orientation) override;
  bool SelectJobPaper(int paper, double width, double height, TovxPrinterOrientation orientation,
                      int bin, TovxDuplexMode duplex, int copies) override;
  bool ShowDriverDialog() override;

  // The job options the spooler gets for a sheet of the current settings.
  std::vector<std::pair<QByteArray, QByteArray>> JobOptions() const;

 private:
  struct Media;
  // Physical size and margins for the record (the "device" measures it).
  bool Measure();
  const Media* MediaOf(int paper) const;
  bool OpenDocument();
  bool SubmitDocument();
  void DiscardDocument();
  void EndJobState();

  std::shared_ptr<ovx::Spooler> spooler_;
  std::vector<Media> media_;
  int default_media_ = -1;                           // index in media_
  std::vector<std::pair<int, QByteArray>> sources_;  // bin number -> keyword
  std::vector<QByteArray> sides_;

  // The document being written and where it goes.
  struct Document;
  std::unique_ptr<Document> document_;
  // Jobs already handed to the spooler in this print job (withdrawn on abort).
  std::vector<std::unique_ptr<ovx::SpoolerJob>> submitted_;
  std::unique_ptr<ovx::SpoolerJob> raw_job_;
};

// The stand-in when no printer is installed: it measures, it cannot print.
class TovxVirtualPrinter : public TovxCustomPrinter {
 public:
  TovxVirtualPrinter(const QString& name, const QString& port);

  void Initialize() override;
  // A job cannot start: it would otherwise answer success for sheets that
  // go nowhere.
  bool StartJob() override;
  bool StartSheet() override;
  bool FinishSheet() override;
  bool FinishJob() override { return true; }
  void AbortJob() override {}
  bool StartRawJob() override;
  bool WriteRaw(const QByteArray&) override;
  bool FinishRawJob() override;
  bool SelectViewPaper(int paper, double width, double height,
                       TovxPrinterOrientation orientation) override;
  bool SelectJobPaper(int paper, double width, double height, TovxPrinterOrientation orientation,
                      int bin, TovxDuplexMode duplex, int copies) override;
  bool ShowDriverDialog() override { return false; }
};

namespace ovx {

// The printer's settings dialog: it shows `printer`'s papers, sources and
// sides, changes `record` and answers whether the user confirmed. The
// print dialogs library installs one; without it ShowDriverDialog answers
// false.
using DriverDialog =
    std::function<bool(const TovxCustomPrinter& printer, PrinterSettingsRecord& record)>;
void SetDriverDialog(DriverDialog dialog);

}  // namespace ovx
