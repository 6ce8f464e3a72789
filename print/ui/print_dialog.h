// The print dialog and the printer's settings dialog, with widgets.
//
// The print job below the user interface knows them only as hooks:
// InstallPrintDialog puts TovxPrintDialog behind PrintHost::show_dialog and
// TovxPrinterSettingsDialog behind the printers' driver dialog. The print
// dialog edits the report's print options and the current printer (which
// printer, its output file); the job puts the options back afterwards, so
// choices made here apply to one job.
//
// Every control takes its text from the resources, by number or name, and
// its object name is the one the print dialog has always had ("PrintersCB",
// "CopiesE", "PrintModeCB", ...), so tests and scripts find them.
#pragma once

#include "print/printer.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TovxPreviewPages;
class TovxReport;

class TovxPrintDialog : public QDialog {
  Q_OBJECT

 public:
  // `duplex` is the job's duplex mode (0 default, 1 vertical, 2 horizontal,
  // 3 simplex).
  TovxPrintDialog(TovxReport& report, TovxPreviewPages& pages, int duplex,
                  QWidget* parent = nullptr);
  ~TovxPrintDialog() override;

  // The duplex mode chosen.
  int Duplex() const;
  // Asks where to print to a file; an empty answer cancels the dialog.
  // A save dialog ("打印至文件", *.prn) unless replaced.
  std::function<QString()> ask_file_name;

  // OK: the options and the printer's output file take the choices.
  void accept() override;
  // Cancel: the printer that was current before becomes current again.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Build();
  void Load(int duplex);
  // The printer list's choice becomes the current printer.
  void PrinterClicked();
  // The sheet list follows the print mode.
  void ModeClicked();
  void PropertiesClicked();
  void UpdateCollatePicture();
  // List position of paper `number` in the sheet list, or -1.
  int SheetIndex(int number) const;

  TovxReport& report_;
  TovxPreviewPages& pages_;
  int previous_printer_ = -1;

  QComboBox* printers_cb_ = nullptr;
  QLabel* where_l1_ = nullptr;
  QPushButton* prop_button_ = nullptr;
  QCheckBox* file_cb_ = nullptr;
  QRadioButton* all_rb_ = nullptr;
  QRadioButton* cur_page_rb_ = nullptr;
  QRadioButton* page_numbers_rb_ = nullptr;
  QLineEdit* page_numbers_e_ = nullptr;
  QSpinBox* copies_e_ = nullptr;
  QCheckBox* collate_cb_ = nullptr;
  QLabel* copies_pb_ = nullptr;
  QComboBox* print_mode_cb_ = nullptr;
  QComboBox* sheet_cb_ = nullptr;
  QComboBox* print_pages_cb_ = nullptr;
  QComboBox* order_cb_ = nullptr;
  QComboBox* duplex_cb_ = nullptr;
};

// The printer's own settings: paper, orientation, paper source and sides,
// from what the printer lists. OK writes them into the record.
class TovxPrinterSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  TovxPrinterSettingsDialog(const TovxCustomPrinter& printer, ovx::PrinterSettingsRecord& record,
                            QWidget* parent = nullptr);

  void accept() override;

 private:
  const TovxCustomPrinter& printer_;
  ovx::PrinterSettingsRecord& record_;
  QComboBox* paper_cb_ = nullptr;
  QComboBox* orientation_cb_ = nullptr;
  QComboBox* source_cb_ = nullptr;
  QComboBox* sides_cb_ = nullptr;
};

namespace ovx {

// Makes printing show these dialogs (call once at start-up, after
// InstallPrinting, in a program with a QApplication).
void InstallPrintDialog();

}  // namespace ovx
