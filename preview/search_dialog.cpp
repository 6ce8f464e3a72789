#include "preview/search_dialog.h"

#include "resources/resources.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TovxSearchDialog::TovxSearchDialog(QWidget* parent) : QDialog(parent) {
  const TovxResources& texts = TovxResources::Instance();
  setObjectName(QStringLiteral("SearchDialog"));
  setWindowTitle(texts.GetNumbered(300));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(texts.GetNumbered(301), this));
  text_ = new QLineEdit(this);
  text_->setObjectName(QStringLiteral("TextE"));
  layout->addWidget(text_);
  auto* options = new QGroupBox(texts.GetNumbered(302), this);
  auto* options_layout = new QVBoxLayout(options);
  from_top_ = new QCheckBox(texts.GetNumbered(303), options);
  from_top_->setObjectName(QStringLiteral("TopCB"));
  case_sensitive_ = new QCheckBox(texts.GetNumbered(304), options);
  case_sensitive_->setObjectName(QStringLiteral("CaseCB"));
  options_layout->addWidget(from_top_);
  options_layout->addWidget(case_sensitive_);
  layout->addWidget(options);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(texts.GetNumbered(305));
  buttons->button(QDialogButtonBox::Cancel)->setText(texts.GetNumbered(2));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // Nothing to find in an empty text.
  auto update_ok = [this, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!text_->text().isEmpty());
  };
  connect(text_, &QLineEdit::textChanged, this, update_ok);
  update_ok();
}

QString TovxSearchDialog::Text() const { return text_->text(); }
void TovxSearchDialog::SetText(const QString& text) {
  text_->setText(text);
  text_->selectAll();
}
bool TovxSearchDialog::FromFirstPage() const { return from_top_->isChecked(); }
void TovxSearchDialog::SetFromFirstPage(bool on) { from_top_->setChecked(on); }
bool TovxSearchDialog::CaseSensitive() const { return case_sensitive_->isChecked(); }
void TovxSearchDialog::SetCaseSensitive(bool on) { case_sensitive_->setChecked(on); }
