// The subreport: a view that runs the bands of another report page in its
// place (or, printed on its parent, inside the band that holds it).
#pragma once

#include "report/model/view.h"

class TovxReportPage;

class TovxSubreport : public TovxView {
  OVX_META_CLASS

 public:
  // All four frame lines, "Tahoma" 8, grey (0xC0C0C0): how the designer
  // shows the placeholder.
  explicit TovxSubreport(TovxComponent* owner = nullptr);
  // Clears the subreport link of the page it shows.
  ~TovxSubreport() override;

  QString GetDescription() const override { return QStringLiteral("obSubRep"); }

  // The page whose bands this subreport runs. Both sides keep the link, so
  // it goes away with whichever of the two is destroyed first; a page is
  // shown by one subreport at a time (a new one takes it over).
  TovxReportPage* Page() const { return page_; }
  void SetPage(TovxReportPage* page);
  bool PrintOnParent() const { return print_on_parent_; }
  void SetPrintOnParent(bool on) { print_on_parent_ = on; }

 private:
  friend class TovxReportPage;

  TovxReportPage* page_ = nullptr;
  bool print_on_parent_ = false;
};
