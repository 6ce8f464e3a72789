#include "preview/preview_host.h"

#include "base/error.h"
#include "engine/engine.h"
#include "preview/preview.h"
#include "preview/preview_form.h"
#include "preview/progress.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>

#include <algorithm>

namespace ovx {
namespace {

class PreviewWindowHost : public PreviewHost {
 public:
  bool ShowReport(TovxReport& report, bool clear_last_report) override {
    TovxPreviewPages* pages = Pages(report);
    if (report.OldStyleProgress()) {
      if (!PrepareWithProgress(report, clear_last_report)) return false;
      Show(report, pages, false, false);
      return true;
    }
    // The window must not show the pages of the last run meanwhile.
    if (clear_last_report) report.Preparation()->ClearPrepared();
    Show(report, pages, true, clear_last_report);
    return true;
  }

  void ShowPrepared(TovxReport& report) override { Show(report, Pages(report), false, false); }

  void SetMdiArea(QMdiArea* area) { mdi_area_ = area; }

  void ReportDestroyed(TovxReport& report) override {
    for (TovxPreviewForm* form : Forms()) {
      if (form->Report() == &report) form->Detach();
    }
  }

  // Windows being destroyed are left out: QWidget announces its end while
  // it is no longer a TovxPreviewForm.
  std::vector<TovxPreviewForm*> Forms() const {
    std::vector<TovxPreviewForm*> open;
    for (const QPointer<QObject>& object : forms_) {
      if (auto* form = qobject_cast<TovxPreviewForm*>(object.data())) open.push_back(form);
    }
    return open;
  }

 private:
  static TovxPreviewPages* Pages(TovxReport& report) {
    TovxPreviewPages* pages = PreparedPages(report);
    if (!pages) throw Error(QString(), QStringLiteral("No report engine is installed"));
    return pages;
  }

  void Show(TovxReport& report, TovxPreviewPages* pages, bool prepare, bool clear) {
    // A window still open on the report would go on showing pages that
    // are about to be replaced.
    for (TovxPreviewForm* open : Forms()) {
      if (open->Report() == &report) open->reject();
    }
    QMdiArea* area = report.PreviewOptions().MDIChild() ? mdi_area_.data() : nullptr;
    auto* form = new TovxPreviewForm(area ? nullptr : QApplication::activeWindow());
    forms_.emplace_back(form);
    QObject::connect(form, &QObject::destroyed, [this](QObject* gone) { Forget(gone); });
    form->Init(&report, pages);
    if (prepare) form->PrepareLater(clear);
    if (area) {
      QMdiSubWindow* sub = area->addSubWindow(form);
      sub->setAttribute(Qt::WA_DeleteOnClose);
      // The window closes as a dialog (finished), which hides it inside its
      // frame; the frame goes then, and takes the window with it. Queued:
      // the frame's own close button may be what closed the dialog.
      QObject::connect(form, &QDialog::finished, sub, &QMdiSubWindow::close, Qt::QueuedConnection);
      if (report.PreviewOptions().Maximized()) {
        sub->showMaximized();
      } else {
        sub->show();
      }
      form->show();
      return;
    }
    if (report.PreviewOptions().Maximized()) {
      // Without a window manager maximising does nothing: the window is
      // given the screen first.
      if (QScreen* screen = form->screen()) form->setGeometry(screen->availableGeometry());
      form->setWindowState(Qt::WindowMaximized);
    }
    if (report.PreviewOptions().Modal()) {
      const QPointer<TovxPreviewForm> guard(form);
      form->exec();
      delete guard.data();
    } else {
      QObject::connect(form, &QDialog::finished, form, &QObject::deleteLater);
      form->show();
    }
  }

  void Forget(QObject* gone) {
    forms_.erase(std::remove_if(forms_.begin(), forms_.end(),
                                [gone](const QPointer<QObject>& object) {
                                  return object.isNull() || object.data() == gone;
                                }),
                 forms_.end());
  }

  std::vector<QPointer<QObject>> forms_;
  QPointer<QMdiArea> mdi_area_;
};

PreviewWindowHost& Host() {
  static PreviewWindowHost host;
  return host;
}

}  // namespace

void InstallPreview() { SetPreviewHost(&Host()); }

void UninstallPreview() { SetPreviewHost(nullptr); }

void SetPreviewMdiArea(QMdiArea* area) { Host().SetMdiArea(area); }

std::vector<TovxPreviewForm*> OpenPreviewForms() { return Host().Forms(); }

bool PrepareWithProgress(TovxReport& report, bool clear_last_report) {
  // A preparation for a preview opens every drill-down group as its
  // template says, not as the last preview left it.
  if (TovxEngine* engine = ReportEngine(report)) engine->ClearDrillDown();
  if (!report.ShowProgress()) return report.PrepareReport(clear_last_report);
  TovxProgress progress(QApplication::activeWindow());
  const TovxResources& texts = TovxResources::Instance();
  const auto saved_start = report.on_progress_start;
  const auto saved_page = report.on_progress;
  const auto saved_stop = report.on_progress_stop;
  report.on_progress_start = [&] {
    if (saved_start) saved_start();
    progress.Execute(0, FormatMessage(texts.Get(u"prRunning"), {QStringLiteral("0")}), false);
  };
  report.on_progress = [&](int page) {
    if (saved_page) saved_page(page);
    progress.SetMessage(FormatMessage(texts.Get(u"prRunning"), {QString::number(page)}));
    if (progress.Terminated()) report.SetTerminated(true);
  };
  report.on_progress_stop = [&] {
    if (saved_stop) saved_stop();
    progress.Finish();
  };
  struct Restore {
    TovxReport& report;
    std::function<void()> start;
    std::function<void(int)> page;
    std::function<void()> stop;
    ~Restore() {
      report.on_progress_start = start;
      report.on_progress = page;
      report.on_progress_stop = stop;
    }
  } restore{report, saved_start, saved_page, saved_stop};
  return report.PrepareReport(clear_last_report);
}

}  // namespace ovx
