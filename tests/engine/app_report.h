// The report the typesetting application builds, made here the same way:
// the application's template (a landscape cover page with a title memo)
// plus body pages of 148.5 x 105 mm, each with 180 one-character memos of
// 29.92 units (15 vertical lines of 12 cells, right to left).
#pragma once

#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QString>

#include <memory>

namespace ovx::test {

inline constexpr double kCell = 29.92;
inline constexpr int kCellsPerPage = 180;

inline QString SampleText() {
  return QStringLiteral("天地玄黃宇宙洪荒日月盈昃辰宿列張寒來暑往秋收冬藏閏餘成歲律呂調陽");
}

inline TovxReportPage* AddBodyPage(TovxReport& report, int number, const QString& text) {
  auto* page = new TovxReportPage(&report);
  page->SetName(QStringLiteral("Body%1").arg(number));
  page->SetPaperWidth(148.5);
  page->SetPaperHeight(105);
  page->SetLeftMargin(5);
  page->SetRightMargin(5);
  page->SetTopMargin(5);
  page->SetBottomMargin(5);
  for (int i = 0; i < kCellsPerPage; ++i) {
    auto* memo = new TovxMemoView(page);
    memo->SetName(QStringLiteral("F%1_%2").arg(number).arg(i));
    memo->SetBounds(466.77 - (i / 12 + 1) * kCell, (i % 12) * kCell, kCell, kCell);
    memo->Font().SetSize(15);
    memo->Font().SetName(QStringLiteral("楷体"));
    memo->SetHAlign(TovxHAlign::haCenter);
    memo->SetVAlign(TovxVAlign::vaCenter);
    memo->SetText(text.mid((number * kCellsPerPage + i) % text.size(), 1));
  }
  return page;
}

// The template at `template_path` with the title set and `body_pages` pages.
inline std::unique_ptr<TovxReport> MakeAppReport(const QString& template_path, int body_pages,
                                                 const QString& text = SampleText()) {
  auto report = std::make_unique<TovxReport>();
  report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  (void)report->LoadFromFile(template_path);
  if (auto* title = dynamic_cast<TovxMemoView*>(report->FindObject(QStringLiteral("title")))) {
    title->Font().SetName(QStringLiteral("楷体"));
    title->Font().SetSize(30);
    title->SetText(QStringLiteral("千字文"));
  }
  for (int i = 0; i < body_pages; ++i) AddBodyPage(*report, i, text);
  return report;
}

}  // namespace ovx::test
