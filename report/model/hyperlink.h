// The hyperlink of a view: where a click in the preview (or a link in an
// exported file) leads.
#pragma once

#include "base/meta_class.h"

#include <QString>

OVX_ENUM(TovxHyperlinkKind, hkURL, hkAnchor, hkPageNumber, hkDetailReport, hkDetailPage, hkCustom)

class TovxHyperlink : public ovx::Persistent {
  OVX_META_CLASS

 public:
  TovxHyperlinkKind Kind() const { return kind_; }
  void SetKind(TovxHyperlinkKind kind) { kind_ = kind; }
  const QString& DetailReport() const { return detail_report_; }
  void SetDetailReport(const QString& v) { detail_report_ = v; }
  const QString& DetailPage() const { return detail_page_; }
  void SetDetailPage(const QString& v) { detail_page_ = v; }
  // Evaluated when the view is filled from data; the result becomes Value.
  const QString& Expression() const { return expression_; }
  void SetExpression(const QString& v) { expression_ = v; }
  const QString& ReportVariable() const { return report_variable_; }
  void SetReportVariable(const QString& v) { report_variable_ = v; }
  const QString& TabCaption() const { return tab_caption_; }
  void SetTabCaption(const QString& v) { tab_caption_ = v; }
  const QString& Value() const { return value_; }
  void SetValue(const QString& v) { value_ = v; }
  // Splits Value and Expression into parts (detail reports take several).
  const QString& ValuesSeparator() const { return values_separator_; }
  void SetValuesSeparator(const QString& v) { values_separator_ = v; }

  void Assign(const TovxHyperlink& source) { *this = source; }
  bool operator==(const TovxHyperlink& other) const;

 private:
  TovxHyperlinkKind kind_ = TovxHyperlinkKind::hkURL;
  QString detail_report_;
  QString detail_page_;
  QString expression_;
  QString report_variable_;
  QString tab_caption_;
  QString value_;
  QString values_separator_ = QStringLiteral(";");
};
