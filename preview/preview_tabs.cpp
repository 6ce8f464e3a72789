// The tabs of a preview, and the preview control's side of them: switching,
// closing, and the detail reports and pages that hyperlinks open in new
// tabs.
#include "preview/preview_tabs.h"

#include "base/error.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "preview/preview.h"
#include "preview/preview_workspace.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "resources/resources.h"

#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QTabBar>

TovxPreviewTabs::Tab::Tab() = default;
TovxPreviewTabs::Tab::~Tab() {
  // Members go in reverse order of declaration, which is already engine,
  // store, report; spelled out because the order is what keeps it safe.
  owned_engine.reset();
  owned_pages.reset();
  owned_report.reset();
}

int TovxPreviewTabs::Find(const QString& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (tabs_[static_cast<size_t>(i)]->name == name) return i;
  }
  return -1;
}

int TovxPreviewTabs::Add(std::unique_ptr<Tab> tab) {
  tabs_.push_back(std::move(tab));
  return Count() - 1;
}

void TovxPreviewTabs::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  tabs_.erase(tabs_.begin() + index);
}

// --- hyperlinks to detail reports and pages ---------------------------------------------------

void TovxPreview::FollowLink(TovxComponent* object) {
  auto* view = dynamic_cast<TovxView*>(object);
  if (!view || view->Hyperlink().Value().isEmpty()) return;
  // Copied: preparing a detail report rebuilds pages, and the view with them.
  const TovxHyperlink link = view->Hyperlink();
  if (link.Kind() == TovxHyperlinkKind::hkDetailReport) OpenDetailReport(link);
  if (link.Kind() == TovxHyperlinkKind::hkDetailPage) OpenDetailPage(link);
}

namespace {

QString DetailCaption(const TovxHyperlink& link) {
  return link.TabCaption().isEmpty() ? link.Value() : link.TabCaption();
}

}  // namespace

void TovxPreview::OpenDetailReport(const TovxHyperlink& link) {
  if (!report_ || Busy() || link.DetailReport().isEmpty()) return;
  const QString name = QStringLiteral("report:%1|%2").arg(link.DetailReport(), link.Value());
  if (const int open = tabs_.Find(name); open >= 0) {
    SwitchTab(open);
    return;
  }
  QString path = link.DetailReport();
  if (QFileInfo(path).isRelative() && !report_->FileName().isEmpty()) {
    path = QFileInfo(report_->FileName()).dir().filePath(path);
  }
  auto tab = std::make_unique<TovxPreviewTabs::Tab>();
  tab->owned_report = std::make_unique<TovxReport>();
  TovxReport& detail = *tab->owned_report;
  detail.EngineOptions().SetNewSilentMode(report_->EngineOptions().NewSilentMode());
  detail.show_error = show_error;
  if (!detail.LoadFromFile(path)) {
    Fail(TovxResources::Instance().Message(ovx::Error("rsPreviewNoReport",
                                                      QStringLiteral("Cannot open the report %s"),
                                                      {QDir::toNativeSeparators(path)})));
    return;
  }
  if (!link.ReportVariable().isEmpty()) {
    detail.Variables().SetValue(link.ReportVariable(), link.Value());
  }
  running_ = true;
  emit RunningChanged(true);
  bool prepared = false;
  try {
    prepared = detail.PrepareReport(true);
  } catch (const ovx::Error& e) {
    running_ = false;
    emit RunningChanged(false);
    Fail(TovxResources::Instance().Message(e));
    return;
  }
  running_ = false;
  emit RunningChanged(false);
  TovxPreviewPages* pages = ovx::PreparedPages(detail);
  if (!prepared || !pages) return;
  tab->report = &detail;
  tab->pages = pages;
  tab->caption = DetailCaption(link);
  tab->name = name;
  AddTab(std::move(tab));
}

void TovxPreview::OpenDetailPage(const TovxHyperlink& link) {
  if (!report_ || Busy()) return;
  auto* page = dynamic_cast<TovxReportPage*>(report_->FindObject(link.DetailPage()));
  if (!page) return;
  const QString name = QStringLiteral("page:%1|%2").arg(link.DetailPage(), link.Value());
  if (const int open = tabs_.Find(name); open >= 0) {
    SwitchTab(open);
    return;
  }
  auto tab = std::make_unique<TovxPreviewTabs::Tab>();
  tab->owned_pages = std::make_unique<TovxPreviewPages>(report_);
  tab->owned_engine = std::make_unique<TovxEngine>(*report_, *tab->owned_pages);
  tab->owned_pages->SetEngine(tab->owned_engine.get());
  if (!link.ReportVariable().isEmpty()) {
    report_->Variables().SetValue(link.ReportVariable(), link.Value());
  }
  report_->SetTerminated(false);
  running_ = true;
  emit RunningChanged(true);
  const bool ran = tab->owned_engine->Run(true, page);
  running_ = false;
  emit RunningChanged(false);
  if (!ran || tab->owned_pages->Count() == 0) return;
  tab->report = report_;
  tab->pages = tab->owned_pages.get();
  tab->caption = DetailCaption(link);
  tab->name = name;
  AddTab(std::move(tab));
}

// --- tabs -------------------------------------------------------------------------------------

void TovxPreview::SaveViewState(TovxPreviewTabs::Tab& tab) {
  tab.view.saved = true;
  tab.view.zoom = zoom_;
  tab.view.zoom_mode = zoom_mode_;
  tab.view.horizontal = workspace_->horizontalScrollBar()->value();
  tab.view.vertical = workspace_->verticalScrollBar()->value();
  tab.view.page_no = page_no_;
}

void TovxPreview::AddTab(std::unique_ptr<TovxPreviewTabs::Tab> tab) {
  if (const int open = tabs_.Find(tab->name); open >= 0) {
    SwitchTab(open);
    return;
  }
  const int index = tabs_.Add(std::move(tab));
  UpdateTabBar();
  SwitchTab(index);
}

void TovxPreview::SwitchTab(int index) {
  if (Busy() || index < 0 || index >= tabs_.Count() || index == current_tab_) {
    UpdateTabBar();
    return;
  }
  if (current_tab_ >= 0 && current_tab_ < tabs_.Count()) SaveViewState(tabs_.Items(current_tab_));
  current_tab_ = index;
  TovxPreviewTabs::Tab& tab = tabs_.Items(index);
  const TovxPreviewTabs::ViewState view = tab.view;
  if (view.saved) {
    zoom_ = view.zoom;
    zoom_mode_ = view.zoom_mode;
  }
  Bind(tab.report, tab.pages);
  if (view.saved && view.page_no > 0) {
    GoToPage(view.page_no, true);
    setting_page_ = true;
    workspace_->horizontalScrollBar()->setValue(view.horizontal);
    workspace_->verticalScrollBar()->setValue(view.vertical);
    setting_page_ = false;
  }
  UpdateTabBar();
}

void TovxPreview::CloseTab(int index) {
  if (Busy() || index < 0 || index >= tabs_.Count() || tabs_.Count() < 2) return;
  // The view lets go of the tab's store before the tab frees it.
  if (index == current_tab_) {
    SwitchTab(index == 0 ? 1 : index - 1);
  }
  tabs_.Delete(index);
  if (current_tab_ > index) --current_tab_;
  UpdateTabBar();
}

void TovxPreview::UpdateTabBar() {
  const QSignalBlocker blocker(tab_bar_);
  while (tab_bar_->count() > tabs_.Count()) tab_bar_->removeTab(tab_bar_->count() - 1);
  for (int i = 0; i < tabs_.Count(); ++i) {
    if (i >= tab_bar_->count()) tab_bar_->addTab(QString());
    tab_bar_->setTabText(i, tabs_.Items(i).caption);
  }
  if (current_tab_ >= 0 && current_tab_ < tab_bar_->count())
    tab_bar_->setCurrentIndex(current_tab_);
  tab_bar_->setVisible(tabs_.Count() > 1);
}
