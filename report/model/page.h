// Pages: the top-level containers of a report.
#pragma once

#include "report/model/component.h"

class TovxPage : public TovxComponent {
  OVX_META_CLASS

 public:
  explicit TovxPage(TovxComponent* owner = nullptr) : TovxComponent(owner) {}

  QString BaseName() const override { return QStringLiteral("Page"); }
};

// A page of run-time dialog controls; positions on it are absolute.
class TovxDialogPage : public TovxPage {
  OVX_META_CLASS

 public:
  explicit TovxDialogPage(TovxComponent* owner = nullptr) : TovxPage(owner) {}
};
