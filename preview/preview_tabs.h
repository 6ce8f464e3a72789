// The reports a preview shows, one per tab.
//
// Design: the first report opens the first tab; detail reports and detail
// pages reached through hyperlinks open further ones, and with
// EachReportInTab every further report does. A tab holds the report and
// the store it shows, owns them when the preview made them (a detail
// report, the store of a detail page), and keeps the view the user left it
// with, so switching back restores zoom, scroll positions and page.
#pragma once

#include "report/model/report_options.h"

#include <QString>

#include <memory>
#include <vector>

class TovxEngine;
class TovxPreviewPages;
class TovxReport;

class TovxPreviewTabs {
 public:
  struct ViewState {
    bool saved = false;
    double zoom = 1;
    TovxZoomMode zoom_mode = TovxZoomMode::zmDefault;
    int horizontal = 0;
    int vertical = 0;
    int page_no = 0;
  };

  struct Tab {
    TovxReport* report = nullptr;
    TovxPreviewPages* pages = nullptr;
    QString caption;
    // Finds the tab again when the same link is followed twice.
    QString name;
    ViewState view;
    // What the tab frees when it closes. The engine goes before the store
    // it writes into, and both before the report they refer to.
    std::unique_ptr<TovxReport> owned_report;
    std::unique_ptr<TovxPreviewPages> owned_pages;
    std::unique_ptr<TovxEngine> owned_engine;

    Tab();
    ~Tab();
    Tab(const Tab&) = delete;
    Tab& operator=(const Tab&) = delete;
  };

  int Count() const { return static_cast<int>(tabs_.size()); }
  Tab& Items(int index) { return *tabs_.at(static_cast<size_t>(index)); }
  const Tab& Items(int index) const { return *tabs_.at(static_cast<size_t>(index)); }
  // The tab of that name, -1 when none.
  int Find(const QString& name) const;
  // Appends a tab; answers its index.
  int Add(std::unique_ptr<Tab> tab);
  // Closes a tab, freeing what it owns.
  void Delete(int index);
  // Closes every tab.
  void Clear() { tabs_.clear(); }

 private:
  std::vector<std::unique_ptr<Tab>> tabs_;
};
