// Stand-ins for the print tests: a spooler that keeps what it is given, a
// printer that records what a job asks of it, and reports of pages of
// chosen sizes.
#pragma once

#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "platform/cups_spooler.h"
#include "print/printer.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace ovx::test {

// --- a spooler in memory -------------------------------------------------------------------

struct FakeJob {
  QString queue;
  QString title;
  QByteArray format;
  SpoolerOptions options;
  QByteArray data;
  bool finished = false;
  bool cancelled = false;

  QByteArray Option(const char* name) const { return OptionOf(options, name); }

  static QByteArray OptionOf(const SpoolerOptions& options, const char* name) {
    for (const auto& [key, value] : options) {
      if (key == name) return value;
    }
    return {};
  }
};

class FakeSpooler : public Spooler {
 public:
  std::vector<SpoolerQueue> queues;
  std::map<QString, SpoolerCapabilities> capabilities;
  std::vector<std::shared_ptr<FakeJob>> jobs;
  // Non-empty: CreateJob refuses with this text.
  QString refuse;
  // Finish fails with this text.
  QString refuse_finish;

  std::vector<SpoolerQueue> Queues() override { return queues; }
  std::optional<SpoolerCapabilities> Capabilities(const QString& queue) override {
    auto it = capabilities.find(queue);
    if (it == capabilities.end()) return std::nullopt;
    return it->second;
  }
  std::unique_ptr<SpoolerJob> CreateJob(const QString& queue, const QString& title,
                                        const QByteArray& format, const SpoolerOptions& options,
                                        QString* error) override {
    if (!refuse.isEmpty()) {
      *error = refuse;
      return nullptr;
    }
    auto job = std::make_shared<FakeJob>(FakeJob{queue, title, format, options, {}, false, false});
    jobs.push_back(job);
    return std::make_unique<Handle>(job, *this);
  }

 private:
  class Handle : public SpoolerJob {
   public:
    Handle(std::shared_ptr<FakeJob> job, FakeSpooler& spooler)
        : job_(std::move(job)), spooler_(spooler) {}
    bool Write(const char* data, qint64 size) override {
      job_->data.append(data, size);
      return true;
    }
    bool Finish() override {
      if (!spooler_.refuse_finish.isEmpty()) {
        error_ = spooler_.refuse_finish;
        return false;
      }
      job_->finished = true;
      return true;
    }
    void Cancel() override { job_->cancelled = true; }
    int Id() const override { return 1; }

   private:
    std::shared_ptr<FakeJob> job_;
    FakeSpooler& spooler_;
  };
};

inline SpoolerMedia Media(const char* keyword, double width, double height, double left = 4,
                          double top = 3, double right = 5, double bottom = 6) {
  return {keyword, QString(), width, height, left, top, right, bottom};
}

// A queue with A4 (after a borderless variant), Letter, A5 and a size no
// standard paper has; automatic, top, manual and a third tray; both kinds
// of two-sided printing; 600 dpi.
inline SpoolerCapabilities OfficeCapabilities() {
  SpoolerCapabilities caps;
  caps.media = {Media("iso_a4_210x297mm", 210, 297, 0, 0, 0, 0),
                Media("iso_a4_210x297mm", 210, 297), Media("na_letter_8.5x11in", 215.9, 279.4),
                Media("iso_a5_148x210mm", 148, 210),
                Media("om_photo_100x150mm", 100, 150, 1, 1, 1, 1)};
  caps.media[1].display_name = QStringLiteral("A4");
  caps.default_media = "iso_a4_210x297mm";
  caps.sources = {{"auto", "Automatic"},
                  {"top", "Upper tray"},
                  {"manual", "Manual feed"},
                  {"tray-3", "Tray 3"}};
  caps.default_source = "auto";
  caps.sides = {"one-sided", "two-sided-long-edge", "two-sided-short-edge"};
  caps.default_sides = "one-sided";
  caps.dpi_x = caps.dpi_y = 600;
  return caps;
}

// --- a printer that records ------------------------------------------------------------------

// Measures like a device with fixed margins on every paper of the standard
// table, and writes down every call a job makes.
class RecordingPrinter : public TovxCustomPrinter {
 public:
  explicit RecordingPrinter(int dpi = 600, double margin = 5)
      : TovxCustomPrinter(QStringLiteral("Recorder"), QString()), margin_(margin) {
    dpi_ = QPoint(dpi, dpi);
    left_margin_ = top_margin_ = right_margin_ = bottom_margin_ = margin;
    initialized_ = true;
    papers_.push_back({QStringLiteral("A4"), 9});
    papers_.push_back({QStringLiteral("A3"), 8});
  }

  QStringList calls;
  // "StartSheet" fails on this call (1-based) of it; 0 never.
  int fail_sheet = 0;
  bool fail_start = false;
  bool fail_finish = false;
  int sheets = 0;
  int aborts = 0;

  void Initialize() override {}
  bool StartJob() override {
    calls << QStringLiteral("StartJob");
    return fail_start ? Fail(QStringLiteral("no job today")) : true;
  }
  bool StartSheet() override {
    ++sheets;
    calls << QStringLiteral("StartSheet");
    if (fail_sheet == sheets) return Fail(QStringLiteral("paper jam"));
    return true;
  }
  bool FinishSheet() override {
    calls << QStringLiteral("FinishSheet");
    return true;
  }
  bool FinishJob() override {
    calls << QStringLiteral("FinishJob");
    return fail_finish ? Fail(QStringLiteral("spooler gone")) : true;
  }
  void AbortJob() override {
    ++aborts;
    calls << QStringLiteral("AbortJob");
  }
  bool StartRawJob() override { return true; }
  bool WriteRaw(const QByteArray&) override { return true; }
  bool FinishRawJob() override { return true; }
  bool ShowDriverDialog() override { return false; }
  bool SelectViewPaper(int paper, double width, double height,
                       TovxPrinterOrientation orientation) override {
    Apply(paper, width, height, orientation);
    return true;
  }
  bool SelectJobPaper(int paper, double width, double height, TovxPrinterOrientation orientation,
                      int bin, TovxDuplexMode duplex, int copies) override {
    calls << QStringLiteral("SelectJobPaper(%1 %2 bin %3 dup %4 copies %5)")
                 .arg(paper)
                 .arg(orientation == TovxPrinterOrientation::poLandscape ? "L" : "P")
                 .arg(bin)
                 .arg(static_cast<int>(duplex))
                 .arg(copies);
    Apply(paper, width, height, orientation);
    return true;
  }

 private:
  void Apply(int paper, double width, double height, TovxPrinterOrientation orientation) {
    const bool landscape = orientation == TovxPrinterOrientation::poLandscape;
    if (const auto size = GetPaperDimensions(paper); size && paper != 256) {
      paper_width_ = landscape ? size->height : size->width;
      paper_height_ = landscape ? size->width : size->height;
    } else {
      paper_width_ = width;
      paper_height_ = height;
    }
    paper_ = paper;
    orientation_ = orientation;
    left_margin_ = top_margin_ = right_margin_ = bottom_margin_ = margin_;
  }

  double margin_;
};

// --- reports -----------------------------------------------------------------------------------

struct PageSpec {
  double width = 210;
  double height = 297;
  bool landscape = false;
  int bin = 7;
  int bin_other_pages = 7;
  TovxDuplexMode duplex = TovxDuplexMode::dmNone;
};

// One page per entry (a memo with "P<n>" on each), prepared.
inline std::unique_ptr<TovxReport> PreparedReport(const std::vector<PageSpec>& specs) {
  InstallEngine();
  auto report = std::make_unique<TovxReport>();
  report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  int number = 0;
  for (const PageSpec& spec : specs) {
    auto* page = new TovxReportPage(report.get());
    page->SetName(QStringLiteral("Page%1").arg(++number));
    if (spec.landscape) page->SetOrientation(TovxPrinterOrientation::poLandscape);
    page->SetPaperWidth(spec.width);
    page->SetPaperHeight(spec.height);
    page->SetBin(spec.bin);
    page->SetBinOtherPages(spec.bin_other_pages);
    page->SetDuplex(spec.duplex);
    auto* memo = new TovxMemoView(page);
    memo->SetName(QStringLiteral("Memo%1").arg(number));
    memo->SetBounds(0, 0, 100, 30);
    memo->SetText(QStringLiteral("P%1").arg(number));
  }
  (void)report->PrepareReport();
  return report;
}

inline std::vector<PageSpec> Pages(int count, PageSpec spec = {}) {
  return std::vector<PageSpec>(static_cast<size_t>(count), spec);
}

}  // namespace ovx::test
