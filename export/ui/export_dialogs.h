// The export settings dialogs and the save dialog of the file-dialog
// transport, with widgets.
//
// The filters below the user interface only know ovx::ExportSettingsDialog
// and the save-dialog hook; InstallExportDialogs registers the widget
// versions under the class names filters ask for ("TovxBaseExportDialog",
// "TovxIMGExportDialog") and installs the platform's save dialog.
//
// The base dialog holds a tab control whose first tab ("导出") carries the
// page range, the settings group and the "save to" list. Dialogs of other
// filters add tabs (AddPage) or controls to the settings group; when the
// dialog is shown with a single tab, that tab's controls sit on the form
// itself and the tab control is hidden. Every control takes its text from
// the resource numbered by its tag.
#pragma once

#include "export/export_filter.h"

#include <QDialog>
#include <QValidator>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QVBoxLayout;
class QWidget;

namespace ovx {

// Accepts only digits, "," and "-" (deleting is always possible).
class PageNumbersValidator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

}  // namespace ovx

class TovxBaseExportDialog : public QDialog, public ovx::ExportSettingsDialog {
  Q_OBJECT

 public:
  explicit TovxBaseExportDialog(QWidget* parent = nullptr);
  ~TovxBaseExportDialog() override;

  // Takes the page range, the output transport and "open after export"
  // from the filter; an empty FileName becomes the report's file name with
  // the filter's extension. OpenCB starts hidden: dialogs of filters whose
  // output can be opened show it.
  void FillFrom(TovxCustomExportFilter& filter) override;
  ovx::ModalResult Execute() override;
  // On OK: the chosen transport becomes the filter's file-dialog transport;
  // the range becomes PageNumbers or CurPage.
  void CopyTo(TovxCustomExportFilter& filter) override;

  // Adds a tab after the export tab; answers its index.
  int AddPage(QWidget* page, const QString& title);
  // Moves the controls of a single tab onto the form (done by Execute and
  // when the dialog is shown; safe to call again).
  void ArrangePages();

  // Controls, for dialogs that build on this one and for tests.
  QTabWidget* PageControl() const { return page_control_; }
  QWidget* ExportPage() const { return export_page_; }
  QGroupBox* GroupPageRange() const { return group_page_range_; }
  QGroupBox* GroupQuality() const { return group_quality_; }
  QVBoxLayout* PageRangeLayout() const { return page_range_layout_; }
  QVBoxLayout* QualityLayout() const { return quality_layout_; }
  QCheckBox* OpenCB() const { return open_cb_; }
  QRadioButton* AllRB() const { return all_rb_; }
  QRadioButton* CurPageRB() const { return cur_page_rb_; }
  QRadioButton* PageNumbersRB() const { return page_numbers_rb_; }
  QLineEdit* PageNumbersE() const { return page_numbers_e_; }
  QComboBox* FiltersNameCB() const { return filters_name_cb_; }
  QGroupBox* GroupBox1() const { return group_box1_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Sets a control's text from the resource numbered `tag`.
  static void SetTag(QWidget* control, int tag);

 private:
  QVBoxLayout* form_layout_ = nullptr;
  QTabWidget* page_control_ = nullptr;
  QWidget* export_page_ = nullptr;
  QGroupBox* group_page_range_ = nullptr;
  QVBoxLayout* page_range_layout_ = nullptr;
  QGroupBox* group_quality_ = nullptr;
  QVBoxLayout* quality_layout_ = nullptr;
  QCheckBox* open_cb_ = nullptr;
  QRadioButton* all_rb_ = nullptr;
  QRadioButton* cur_page_rb_ = nullptr;
  QRadioButton* page_numbers_rb_ = nullptr;
  QLineEdit* page_numbers_e_ = nullptr;
  QLabel* descr_l_ = nullptr;
  QGroupBox* group_box1_ = nullptr;
  QComboBox* filters_name_cb_ = nullptr;
  QPushButton* ok_b_ = nullptr;
  QPushButton* cancel_b_ = nullptr;
  // The export tab's controls sit on the form.
  bool arranged_single_ = false;
};

// The settings of the raster image filters.
class TovxIMGExportDialog : public TovxBaseExportDialog {
  Q_OBJECT

 public:
  explicit TovxIMGExportDialog(QWidget* parent = nullptr);

  void FillFrom(TovxCustomExportFilter& filter) override;
  void CopyTo(TovxCustomExportFilter& filter) override;

  QGroupBox* GroupImage() const { return group_image_; }
  QCheckBox* Mono() const { return mono_; }
  QCheckBox* CropPage() const { return crop_page_; }
  QSpinBox* Quality() const { return quality_; }
  QSpinBox* Resolution() const { return resolution_; }
  QCheckBox* SeparateCB() const { return separate_cb_; }

 private:
  QGroupBox* group_image_ = nullptr;
  QCheckBox* mono_ = nullptr;
  QCheckBox* crop_page_ = nullptr;
  QLabel* quality_l_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QLabel* resolution_l_ = nullptr;
  QSpinBox* resolution_ = nullptr;
  QCheckBox* separate_cb_ = nullptr;
};

namespace ovx {

// Registers the dialogs above and installs the save dialog (call once at
// start-up, with a QApplication).
void InstallExportDialogs();

}  // namespace ovx
