// Views: report objects that occupy a rectangle and draw something.
#pragma once

#include "report/model/component.h"

OVX_ENUM(TovxAlign, baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient, baHidden)

class TovxView : public TovxReportComponent {
  OVX_META_CLASS

 public:
  explicit TovxView(TovxComponent* owner = nullptr) : TovxReportComponent(owner) {}

  // How the view is placed when its container aligns its children.
  TovxAlign Align() const { return align_; }
  void SetAlign(TovxAlign align) { align_ = align; }

 private:
  TovxAlign align_ = TovxAlign::baNone;
};
