// Small prepared reports and a filter that records how the export run
// calls it, shared by the filter and image export tests.
#pragma once

#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "report/model/band.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ovx::test {

struct PageSize {
  double width_mm = 60;
  double height_mm = 40;
};

// A report of pages `sizes` with 5 mm margins; page n (from 1) holds memo
// "P<n>A" with the text "A<n>" at (10, 10) and memo "P<n>B" with
// "[TotalPages#]" below it, each 40 x 20 units. `build` may add more.
inline std::unique_ptr<TovxReport> MakeReport(
    const std::vector<PageSize>& sizes,
    const std::function<void(TovxReportPage&, int)>& build = nullptr) {
  auto report = std::make_unique<TovxReport>();
  report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    auto* page = new TovxReportPage(report.get());
    page->SetName(QStringLiteral("Page%1").arg(n));
    page->SetPaperWidth(sizes[i].width_mm);
    page->SetPaperHeight(sizes[i].height_mm);
    page->SetLeftMargin(5);
    page->SetRightMargin(5);
    page->SetTopMargin(5);
    page->SetBottomMargin(5);
    auto* a = new TovxMemoView(page);
    a->SetName(QStringLiteral("P%1A").arg(n));
    a->SetBounds(10, 10, 40, 20);
    a->SetText(QStringLiteral("A%1").arg(n));
    auto* b = new TovxMemoView(page);
    b->SetName(QStringLiteral("P%1B").arg(n));
    b->SetBounds(10, 40, 40, 20);
    b->SetText(QStringLiteral("[TotalPages#]"));
    if (build) build(*page, n);
  }
  return report;
}

// `count` pages of the default size, prepared.
inline std::unique_ptr<TovxReport> PreparedReport(
    int count, const std::function<void(TovxReportPage&, int)>& build = nullptr) {
  InstallEngine();
  InstallExport();
  auto report = MakeReport(std::vector<PageSize>(static_cast<size_t>(count)), build);
  EXPECT_TRUE(report->PrepareReport());
  return report;
}

inline std::unique_ptr<TovxReport> PreparedReport(const std::vector<PageSize>& sizes) {
  InstallEngine();
  InstallExport();
  auto report = MakeReport(sizes);
  EXPECT_TRUE(report->PrepareReport());
  return report;
}

// Logs every call of the protocol as one line: "ShowModal", "Start",
// "StartPage 0", "Object P1A", "FinishPage 0", "Finish", ...
class RecordingFilter : public TovxCustomExportFilter {
 public:
  RecordingFilter() : TovxCustomExportFilter(nullptr, /*registered=*/false) {
    SetFileName(QStringLiteral("out"));
    SetShowDialog(false);
  }

  ovx::ModalResult ShowModal() override {
    log.push_back("ShowModal");
    return modal_result;
  }
  void PrepareFileName() override {
    log.push_back("PrepareFileName");
    TovxCustomExportFilter::PrepareFileName();
  }
  bool Start() override {
    log.push_back("Start");
    return start_result;
  }
  void StartPage(TovxReportPage& page, int index) override {
    log.push_back("StartPage " + std::to_string(index));
  }
  void ExportObject(TovxComponent& object) override {
    log.push_back("Object " + object.Name().toStdString());
    if (on_object) on_object(object);
  }
  void FinishPage(TovxReportPage& page, int index) override {
    log.push_back("FinishPage " + std::to_string(index));
  }
  void Finish() override { log.push_back("Finish"); }
  void AfterFinish() override { log.push_back("AfterFinish"); }

  // The pages StartPage saw, 0-based.
  std::vector<int> Pages() const {
    std::vector<int> pages;
    for (const std::string& line : log) {
      if (line.rfind("StartPage ", 0) == 0) pages.push_back(std::stoi(line.substr(10)));
    }
    return pages;
  }
  bool Logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  std::vector<std::string> log;
  ovx::ModalResult modal_result = ovx::ModalResult::kOk;
  bool start_result = true;
  std::function<void(TovxComponent&)> on_object;
};

inline TovxPreviewPages& PagesOf(TovxReport& report) { return *PreparedPages(report); }

}  // namespace ovx::test
