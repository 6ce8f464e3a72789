// Band reports built in code for the engine's tests: an A4 page with 10 mm
// margins (1046.93 units of printable height), bands added by class, and
// user data sets whose rows are a list of values.
#pragma once

#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/data_set.h"
#include "report/model/expression_evaluator.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace ovx::test {

// Rows of one field, "key".
class RowsDataSet : public TovxUserDataSet {
 public:
  explicit RowsDataSet(const QString& name, QVariantList rows = {}) : rows_(std::move(rows)) {
    SetName(name);
    SetFields({QStringLiteral("key")});
    SetRangeEnd(TovxRangeEnd::reCount);
    SetRangeEndCount(static_cast<int>(rows_.size()));
    on_get_value = [this](const QString&, QVariant& value) {
      if (RecNo() >= 0 && RecNo() < rows_.size()) value = rows_[RecNo()];
    };
  }
  void Open() override {
    ++opens;
    TovxUserDataSet::Open();
  }
  void Close() override {
    ++closes;
    TovxUserDataSet::Close();
  }
  int opens = 0;
  int closes = 0;

 private:
  QVariantList rows_;
};

// Answers expressions from a function; throws for those it does not know.
class FunctionEvaluator : public ovx::ExpressionEvaluator {
 public:
  std::function<QVariant(const QString&)> calc;
  QVariant Calc(const QString& expression, TovxComponent*) override {
    if (calc) return calc(expression);
    throw ovx::Error(QString(), QStringLiteral("unknown expression %s"), {expression});
  }
};

struct BandReport {
  BandReport() {
    report->EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
    page = new TovxReportPage(report.get());
    page->SetName(QStringLiteral("Page1"));
    page->SetPaperWidth(210);
    page->SetPaperHeight(297);
    page->SetLeftMargin(10);
    page->SetRightMargin(10);
    page->SetTopMargin(10);
    page->SetBottomMargin(10);
  }

  template <class Band>
  Band* Add(const QString& name, double top, double height) {
    auto* band = new Band(page);
    band->SetName(name);
    band->SetBounds(0, top, 718.11, height);
    return band;
  }
  // A memo across the band's width showing `text`.
  TovxMemoView* AddMemo(TovxBand& band, const QString& name, const QString& text,
                        double height = 18) {
    auto* memo = new TovxMemoView(&band);
    memo->SetName(name);
    memo->SetBounds(0, 0, 200, height);
    memo->SetText(text);
    return memo;
  }

  bool Prepare() { return report->PrepareReport(); }
  TovxPreviewPages& Pages() { return *ovx::PreparedPages(*report); }
  TovxEngine& Engine() { return *ovx::ReportEngine(*report); }

  // The objects of `class_name` on each prepared page.
  std::vector<int> CountPerPage(const QString& class_name) {
    std::vector<int> counts;
    for (int i = 0; i < Pages().Count(); ++i) {
      int count = 0;
      for (const TovxComponent* object : Pages().GetPage(i)->AllObjects()) {
        if (object->GetMetaClass().ClassName() == class_name) ++count;
      }
      counts.push_back(count);
    }
    return counts;
  }
  // The tops of the objects named `name` on page `index`.
  std::vector<double> Tops(int index, const QString& name) {
    std::vector<double> tops;
    for (const TovxComponent* object : Pages().GetPage(index)->AllObjects()) {
      if (object->Name() == name) tops.push_back(object->Top());
    }
    return tops;
  }
  // The names of the bands on page `index`, top to bottom as added.
  QStringList Bands(int index) {
    QStringList names;
    for (const TovxComponent* object : Pages().GetPage(index)->Objects()) {
      if (dynamic_cast<const TovxBand*>(object)) names << object->Name();
    }
    return names;
  }

  std::unique_ptr<TovxReport> report = std::make_unique<TovxReport>();
  TovxReportPage* page = nullptr;
};

}  // namespace ovx::test
