// The preview control's commands (files, export, find, page settings,
// pages added and deleted) and its part in preparing a report. See
// preview.h for the design.
#include "base/error.h"
#include "engine/engine.h"
#include "export/export_filter.h"
#include "preview/page_settings_form.h"
#include "preview/preview.h"
#include "preview/preview_workspace.h"
#include "preview/progress.h"
#include "preview/search_dialog.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QWidget>

#include <algorithm>

// --- commands ---------------------------------------------------------------------------------

bool TovxPreview::Print() {
  if (!PageCommandsAllowed() || PageCount() == 0 || !ovx::PrintingInstalled()) return false;
  pages_->SetCurPreviewPage(PageNo());
  return RunJob(ovx::PreviewJobKind::kPrint, [this] { return pages_->Print(); });
}

bool TovxPreview::Edit() { return false; }

bool TovxPreview::SaveToFile() {
  if (!PageCommandsAllowed() || PageCount() == 0) return false;
  QString suggested;
  if (report_ && !report_->FileName().isEmpty()) {
    suggested = QFileInfo(report_->FileName()).completeBaseName() + QStringLiteral(".op3");
  }
  QString file_name = QFileDialog::getSaveFileName(
      this, QString(), suggested,
      TovxResources::Instance().Get(u"clOP3files") + QStringLiteral(" (*.op3)"));
  if (file_name.isEmpty()) return false;
  if (QFileInfo(file_name).suffix().isEmpty()) file_name += QStringLiteral(".op3");
  try {
    return SaveToFile(file_name);
  } catch (const ovx::Error& e) {
    Fail(TovxResources::Instance().Message(e));
    return false;
  }
  return true;
}

bool TovxPreview::SaveToFile(const QString& file_name) {
  if (!PageCommandsAllowed()) return false;
  pages_->SaveToFile(file_name);
  return true;
}

bool TovxPreview::LoadFromFile() {
  if (!PageCommandsAllowed()) return false;
  const QString file_name = QFileDialog::getOpenFileName(
      this, QString(), QString(),
      TovxResources::Instance().Get(u"clOP3files") + QStringLiteral(" (*.op3)"));
  if (file_name.isEmpty()) return false;
  try {
    return LoadFromFile(file_name);
  } catch (const ovx::Error& e) {
    Fail(TovxResources::Instance().Message(e));
    return false;
  }
  return true;
}

bool TovxPreview::LoadFromFile(const QString& file_name) {
  if (!PageCommandsAllowed()) return false;
  Lock();
  ShowMessage(TovxResources::Instance().Get(u"clLoading"));
  // Whatever happens, the view comes back before the error goes on.
  struct Restore {
    TovxPreview& preview;
    ~Restore() {
      preview.HideMessage();
      preview.search_.Invalidate();
      preview.search_.Start(QString(), false, 0);
      preview.workspace_->SetFoundArea(-1, std::nullopt);
      preview.workspace_->InvalidateImages();
      preview.thumbnails_->InvalidateImages();
      preview.page_no_ = 0;
      preview.UpdatePages();
      if (preview.PageCount() > 0) preview.GoToPage(1, true);
      preview.BuildOutline();
      preview.Unlock();
      emit preview.PageCountChanged(preview.PageCount());
    }
  } restore{*this};
  pages_->LoadFromFile(file_name, true);
  emit ReportLoaded();
  if (!pages_->LoadErrors().isEmpty()) Fail(pages_->LoadErrors().join(u'\n'));
  return true;
}

bool TovxPreview::Export(TovxCustomExportFilter& filter) {
  if (!PageCommandsAllowed() || PageCount() == 0) return false;
  pages_->SetCurPreviewPage(page_no_);
  return RunJob(ovx::PreviewJobKind::kExport, [this, &filter] { return pages_->Export(filter); });
}

bool TovxPreview::RunJob(ovx::PreviewJobKind kind, const std::function<bool()>& run) {
  if (!pages_ || !job_.Begin(kind, PageCount())) return false;
  Lock();
  TovxReport* report = report_;
  TovxProgress progress(window());
  job_progress_ = &progress;
  const QString message = TovxResources::Instance().Get(
      kind == ovx::PreviewJobKind::kPrint ? u"prPrinting" : u"prExporting");
  const bool show_progress = !report || report->ShowProgress();
  // The run tells the report; the host's own callbacks still run, first.
  std::function<void()> saved_start;
  std::function<void(int)> saved_page;
  std::function<void()> saved_stop;
  if (report) {
    saved_start = report->on_progress_start;
    saved_page = report->on_progress;
    saved_stop = report->on_progress_stop;
    report->on_progress_start = [&] {
      if (saved_start) saved_start();
      if (show_progress) {
        progress.Execute(job_.Total(), ovx::FormatMessage(message, {QStringLiteral("0")}), true);
      }
    };
    report->on_progress = [&](int page) {
      if (saved_page) saved_page(page);
      if (show_progress) {
        progress.SetMessage(ovx::FormatMessage(message, {QString::number(page)}));
        progress.SetPosition(page);
      }
      if (progress.Terminated()) job_.Cancel();
      if (!job_.Step(page)) report->SetTerminated(true);
    };
    report->on_progress_stop = [&] {
      if (saved_stop) saved_stop();
      progress.Finish();
    };
  }
  // A cancel takes effect before the next page, not after it.
  connect(&progress, &TovxProgress::Cancelled, this, &TovxPreview::Cancel);
  // The run's own problems are told apart from those of earlier runs by
  // starting from an empty list; the earlier ones come back afterwards.
  const QStringList earlier = report ? report->Errors() : QStringList();
  if (report) report->ClearErrors();
  emit RunningChanged(true);
  bool result = false;
  QString error;
  // Nothing the run throws may leave through the button's event handler.
  try {
    result = run();
  } catch (const ovx::Error& e) {
    error = TovxResources::Instance().Message(e);
  } catch (const std::exception& e) {
    error = QString::fromLocal8Bit(e.what());
  } catch (...) {
    error = QStringLiteral("Unknown error");
  }
  QStringList added;
  if (report) {
    report->on_progress_start = saved_start;
    report->on_progress = saved_page;
    report->on_progress_stop = saved_stop;
    added = report->Errors();
    for (const QString& line : earlier) report->AddError(line);
  }
  progress.Finish();
  job_progress_ = nullptr;
  Unlock();
  (void)job_.End();
  emit RunningChanged(false);
  if (!error.isEmpty()) {
    Fail(error);
  } else if (result && !added.isEmpty() && show_warning) {
    // A failed run has shown its errors already; one that succeeded says
    // what it wrote anyway. The box stays readable however many there are;
    // the report keeps them all.
    constexpr qsizetype kShownLines = 20;
    QStringList lines = added.mid(0, kShownLines);
    if (added.size() > kShownLines) {
      lines << QStringLiteral("… (+%1)").arg(added.size() - kShownLines);
    }
    show_warning(TovxResources::Instance().Get(kind == ovx::PreviewJobKind::kPrint
                                                   ? u"rsPrintWarnings"
                                                   : u"rsExportWarnings") +
                 u'\n' + lines.join(u'\n'));
  }
  return result;
}

void TovxPreview::Find() {
  if (!PageCommandsAllowed() || PageCount() == 0) return;
  TovxSearchDialog dialog(this);
  dialog.SetText(search_.Text());
  dialog.SetCaseSensitive(search_.CaseSensitive());
  if (dialog.exec() != QDialog::Accepted) return;
  Find(dialog.Text(), dialog.CaseSensitive(), dialog.FromFirstPage());
}

bool TovxPreview::Find(const QString& text, bool case_sensitive, bool from_first_page) {
  if (!PageCommandsAllowed() || PageCount() == 0 || text.isEmpty()) return false;
  search_.Start(text, case_sensitive, from_first_page ? 0 : std::max(0, page_no_ - 1));
  return FindNext();
}

bool TovxPreview::FindNext() {
  if (!PageCommandsAllowed() || PageCount() == 0) return false;
  if (!search_.Active()) {
    Find();
    return search_.Current().has_value();
  }
  const std::optional<ovx::PageTextSearch::Hit> hit = search_.FindNext(*pages_);
  if (!hit) {
    if (show_message) show_message(TovxResources::Instance().Get(u"clStrNotFound"));
    return false;
  }
  workspace_->SetFoundArea(hit->page, hit->bounds);
  GoToPage(hit->page + 1, false);
  setting_page_ = true;
  workspace_->ScrollToArea(hit->page, hit->bounds, 20);
  thumbnails_->ScrollToPage(hit->page);
  setting_page_ = false;
  return true;
}

void TovxPreview::PageSetupDialog() {
  if (!PageCommandsAllowed() || PageCount() == 0 || !report_) return;
  const int index = page_no_ - 1;
  TovxReportPage* page = pages_->GetPage(index);
  if (!page) return;
  TovxPageSettingsForm dialog(this);
  dialog.SetPage(*page);
  if (dialog.exec() != QDialog::Accepted) return;
  const TovxPageSettingsForm::Settings settings = dialog.Values();
  if (settings.apply_to_all) {
    for (TovxComponent* child : report_->Objects()) {
      if (auto* report_page = dynamic_cast<TovxReportPage*>(child)) {
        TovxPageSettingsForm::Apply(settings, *report_page);
      }
    }
    RefreshReport();
    return;
  }
  // The dialog ran an event loop: the page is asked for again.
  page = pages_->GetPage(index);
  if (!page) return;
  TovxPageSettingsForm::Apply(settings, *page);
  pages_->ModifyPage(index, *page);
  workspace_->InvalidateImages();
  thumbnails_->InvalidateImages();
  search_.Invalidate();
  UpdatePages();
  GoToPage(index + 1, true);
}

void TovxPreview::AddPage() {
  if (!PageCommandsAllowed() || PageCount() == 0) return;
  pages_->InsertEmptyPage(page_no_);
  if (pages_->Count() == page_no_) return;
  workspace_->InvalidateImages();
  thumbnails_->InvalidateImages();
  search_.Invalidate();
  UpdatePages();
  GoToPage(page_no_ + 1, true);
  emit PageCountChanged(PageCount());
}

void TovxPreview::DeletePage() {
  if (!PageCommandsAllowed() || PageCount() < 2) return;
  pages_->DeletePage(page_no_ - 1);
  workspace_->InvalidateImages();
  thumbnails_->InvalidateImages();
  search_.Invalidate();
  UpdatePages();
  GoToPage(std::min(page_no_, PageCount()), true);
  emit PageCountChanged(PageCount());
}

void TovxPreview::Cancel() {
  if (job_.Busy()) job_.Cancel();
  if (Busy() && report_) report_->SetTerminated(true);
}

bool TovxPreview::RequestClose() {
  if (job_.Busy()) {
    (void)job_.RequestClose();
    Cancel();
    return false;
  }
  if (running_) {
    Cancel();
    return false;
  }
  return true;
}

void TovxPreview::RefreshReport() {
  if (!report_ || Busy()) return;
  // A detail page's store is not the report's: it cannot be prepared again
  // through the report.
  if (current_tab_ >= 0 && tabs_.Items(current_tab_).owned_pages) return;
  const int page_no = page_no_;
  const int horizontal = workspace_->horizontalScrollBar()->value();
  const int vertical = workspace_->verticalScrollBar()->value();
  Lock();
  refreshing_ = true;
  try {
    Prepare(true);
  } catch (...) {
    // The view must not stay frozen behind a failed run.
    refreshing_ = false;
    Unlock();
    throw;
  }
  refreshing_ = false;
  UpdatePages();
  if (PageCount() > 0) GoToPage(std::min(std::max(page_no, 1), PageCount()), true);
  if (zoom_mode_ != TovxZoomMode::zmWholePage) {
    setting_page_ = true;
    workspace_->horizontalScrollBar()->setValue(horizontal);
    workspace_->verticalScrollBar()->setValue(vertical);
    setting_page_ = false;
  }
  Unlock();
}

bool TovxPreview::ToggleDrillGroup(const QString& drill_name) {
  if (drill_name.isEmpty() || !report_ || Busy()) return false;
  if (current_tab_ >= 0 && tabs_.Items(current_tab_).owned_pages) return false;
  TovxEngine* engine = ovx::ReportEngine(*report_);
  if (!engine) return false;
  engine->ToggleDrillGroup(drill_name);
  // Called from the mouse handling: nothing may escape into Qt.
  try {
    RefreshReport();
  } catch (const ovx::Error& e) {
    Fail(TovxResources::Instance().Message(e));
  } catch (const std::exception& e) {
    Fail(QString::fromLocal8Bit(e.what()));
  }
  return true;
}

void TovxPreview::Lock() {
  if (lock_count_++ == 0) {
    workspace_->Freeze();
    thumbnails_->Freeze();
  }
}

void TovxPreview::Unlock() {
  if (lock_count_ == 0) return;
  if (--lock_count_ == 0) {
    workspace_->Unfreeze();
    thumbnails_->Unfreeze();
  }
}

void TovxPreview::ShowMessage(const QString& text) {
  message_label_->setText(text);
  PlaceMessage();
  message_panel_->show();
  message_panel_->raise();
}

void TovxPreview::HideMessage() { message_panel_->hide(); }

bool TovxPreview::MessageVisible() const { return !message_panel_->isHidden(); }

void TovxPreview::PlaceMessage() {
  const QRect area = workspace_->geometry().translated(splitter_->pos());
  message_panel_->move(area.center() -
                       QPoint(message_panel_->width() / 2, message_panel_->height() / 2));
}

// --- preparation ------------------------------------------------------------------------------

bool TovxPreview::Prepare(bool clear_last_report) {
  if (!report_ || Busy()) return false;
  // Only the report's own store is prepared through the report.
  if (current_tab_ >= 0 && tabs_.Items(current_tab_).owned_pages) return false;
  TovxReport& report = *report_;
  // The host's own progress callbacks still run, before ours.
  const auto saved_start = report.on_progress_start;
  const auto saved_page = report.on_progress;
  const auto saved_stop = report.on_progress_stop;
  report.on_progress_start = [this, saved_start] {
    if (saved_start) saved_start();
    ProgressStart();
  };
  report.on_progress = [this, saved_page](int page) {
    if (saved_page) saved_page(page);
    ProgressPage(page);
  };
  report.on_progress_stop = [this, saved_stop] {
    if (saved_stop) saved_stop();
    ProgressStop();
  };
  struct RestoreHooks {
    TovxReport& report;
    std::function<void()> start;
    std::function<void(int)> page;
    std::function<void()> stop;
    ~RestoreHooks() {
      report.on_progress_start = start;
      report.on_progress = page;
      report.on_progress_stop = stop;
    }
  };
  bool prepared = false;
  QString error;
  // A new preparation starts with every drill-down group as its template
  // says; a refresh keeps what the user opened.
  if (!refreshing_) {
    if (TovxEngine* engine = ovx::ReportEngine(report)) engine->ClearDrillDown();
  }
  {
    RestoreHooks restore{report, saved_start, saved_page, saved_stop};
    try {
      prepared = report.PrepareReport(clear_last_report);
    } catch (const ovx::Error& e) {
      error = TovxResources::Instance().Message(e);
    }
  }
  // A run that ended before it started reports no stop.
  if (running_) ProgressStop();
  if (!error.isEmpty()) Fail(error);
  return prepared;
}

void TovxPreview::ProgressStart() {
  running_ = true;
  shown_pages_ = 0;
  page_no_ = 0;
  refresh_interval_ = 20;
  search_.Start(QString(), false, 0);
  search_.Invalidate();
  workspace_->SetFoundArea(-1, std::nullopt);
  workspace_->InvalidateImages();
  thumbnails_->InvalidateImages();
  workspace_->Rebuild(0);
  thumbnails_->Rebuild(0);
  emit RunningChanged(true);
  emit PageCountChanged(0);
}

void TovxPreview::ProgressPage(int page_number) {
  if (!running_ || !report_) return;
  if (TovxEngine* engine = ovx::ReportEngine(*report_); engine && !engine->FinalPass()) {
    emit FirstPassProgress(page_number);
    return;
  }
  const int index = page_number - 1;
  bool extend = index < kPagesShownAtOnce;
  if (index == 0) first_page_time_.start();
  if (index == 1 && first_page_time_.isValid()) {
    const qint64 ms = first_page_time_.elapsed();
    refresh_interval_ = ms <= 4 ? 50 : ms > 9 ? 5 : 20;
  }
  if (index >= kPagesShownAtOnce && index % refresh_interval_ == 0) extend = true;
  if (extend) {
    shown_pages_ = page_number;
    workspace_->Extend(page_number);
    thumbnails_->Extend(page_number);
    emit PageCountChanged(shown_pages_);
  }
  if (index == 0) GoToPage(1, true);
}

void TovxPreview::ProgressStop() {
  if (!running_) return;
  running_ = false;
  shown_pages_ = PageCount();
  workspace_->InvalidateImages();
  thumbnails_->InvalidateImages();
  UpdatePages();
  BuildOutline();
  if (PageCount() > 0) {
    GoToPage(page_no_ > 0 ? page_no_ : 1, page_no_ == 0);
  } else {
    page_no_ = 0;
    emit PageChanged(0);
  }
  emit PageCountChanged(PageCount());
  emit RunningChanged(false);
}
