// The settings dialog of the PDF filter: the base export dialog with the
// PDF options on its export tab and three more tabs (document
// information, security, viewer preferences).
//
// The controls keep the filter's rules visible: a PDF/A level selects the
// version it forces (the version list is usable only without a level),
// checks and locks "embed fonts", hides the security settings (PDF/A files
// are never encrypted) and, for PDF/A-1, clears and locks transparency.
// On OK every value goes through the filter's own setters, so the rules
// hold whatever the controls showed.
#pragma once

#include "export/ui/export_dialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

class TovxPDFExportDialog : public TovxBaseExportDialog {
  Q_OBJECT

 public:
  explicit TovxPDFExportDialog(QWidget* parent = nullptr);

  void FillFrom(TovxCustomExportFilter& filter) override;
  void CopyTo(TovxCustomExportFilter& filter) override;

  // Controls, for tests.
  QCheckBox* CompressedCB() const { return compressed_cb_; }
  QCheckBox* EmbeddedCB() const { return embedded_cb_; }
  QCheckBox* PrintOptCB() const { return print_opt_cb_; }
  QCheckBox* OutlineCB() const { return outline_cb_; }
  QCheckBox* BackgrCB() const { return backgr_cb_; }
  QCheckBox* TransparentCB() const { return transparent_cb_; }
  QSpinBox* QualityEdit() const { return quality_edit_; }
  QComboBox* PDFStandardComboBox() const { return standard_cb_; }
  QComboBox* PDFVersionComboBox() const { return version_cb_; }
  QLineEdit* TitleE() const { return title_e_; }
  QLineEdit* AuthorE() const { return author_e_; }
  QLineEdit* SubjectE() const { return subject_e_; }
  QLineEdit* KeywordsE() const { return keywords_e_; }
  QLineEdit* CreatorE() const { return creator_e_; }
  QLineEdit* ProducerE() const { return producer_e_; }
  QLineEdit* OwnPassE() const { return own_pass_e_; }
  QLineEdit* UserPassE() const { return user_pass_e_; }
  QCheckBox* PrintCB() const { return print_cb_; }
  QCheckBox* ModCB() const { return mod_cb_; }
  QCheckBox* CopyCB() const { return copy_cb_; }
  QCheckBox* AnnotCB() const { return annot_cb_; }
  QGroupBox* SecurityGroup() const { return security_group_; }
  QGroupBox* PermissionsGroup() const { return permissions_group_; }
  QCheckBox* HideToolbarCB() const { return hide_toolbar_cb_; }
  QCheckBox* HideMenubarCB() const { return hide_menubar_cb_; }
  QCheckBox* HideWindowUICB() const { return hide_window_ui_cb_; }
  QCheckBox* FitWindowCB() const { return fit_window_cb_; }
  QCheckBox* CenterWindowCB() const { return center_window_cb_; }
  QCheckBox* PrintScalingCB() const { return print_scaling_cb_; }

 private:
  // Applies the rules of the standard now selected to the other controls.
  void StandardChanged();

  QCheckBox* compressed_cb_ = nullptr;
  QCheckBox* embedded_cb_ = nullptr;
  QCheckBox* print_opt_cb_ = nullptr;
  QCheckBox* outline_cb_ = nullptr;
  QCheckBox* backgr_cb_ = nullptr;
  QCheckBox* transparent_cb_ = nullptr;
  QSpinBox* quality_edit_ = nullptr;
  QComboBox* standard_cb_ = nullptr;
  QComboBox* version_cb_ = nullptr;
  QLineEdit* title_e_ = nullptr;
  QLineEdit* author_e_ = nullptr;
  QLineEdit* subject_e_ = nullptr;
  QLineEdit* keywords_e_ = nullptr;
  QLineEdit* creator_e_ = nullptr;
  QLineEdit* producer_e_ = nullptr;
  QGroupBox* security_group_ = nullptr;
  QGroupBox* permissions_group_ = nullptr;
  QLineEdit* own_pass_e_ = nullptr;
  QLineEdit* user_pass_e_ = nullptr;
  QCheckBox* print_cb_ = nullptr;
  QCheckBox* mod_cb_ = nullptr;
  QCheckBox* copy_cb_ = nullptr;
  QCheckBox* annot_cb_ = nullptr;
  QCheckBox* hide_toolbar_cb_ = nullptr;
  QCheckBox* hide_menubar_cb_ = nullptr;
  QCheckBox* hide_window_ui_cb_ = nullptr;
  QCheckBox* fit_window_cb_ = nullptr;
  QCheckBox* center_window_cb_ = nullptr;
  QCheckBox* print_scaling_cb_ = nullptr;
};

namespace ovx {

// Registers the dialog under "TovxPDFExportDialog" (call once at start-up,
// with a QApplication, like InstallExportDialogs).
void InstallPdfExportDialog();

}  // namespace ovx
