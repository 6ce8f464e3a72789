// The main window: three options, one print button, and the fixed data in
// hidden fields. The print command itself lives in app/core so that the
// command line and the tests run it without a window; this class only
// gathers the window's settings, registers the private font for its
// lifetime, and shows the outcome.
#pragma once

#include "app/core/print_command.h"
#include "app/core/typesetter.h"

#include <QFont>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TovxJPEGExport;
class TovxPDFExport;
class TovxReport;

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // `data_directory` holds the private font and the background pictures.
  explicit TfrmMain(const QString& data_directory, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The print command (button "打印"): builds the report and shows it in
  // the preview.
  void btn2Click();
  // Puts command-line settings into the window's fields, as if the user had
  // set them (the hidden fixed data included).
  void ApplySettings(const ovx::app::PrintSettings& settings);
  // What a window does when it is shown first; for a window that stays
  // hidden (velmora --preview).
  void PrepareHidden();

  // How errors are shown; a message box unless a test replaces it.
  std::function<void(const QString&)> show_error;

  TovxReport& Report() { return *ovx1_; }
  QString StatusText() const;
  // The settings the print command would use now.
  ovx::app::PrintSettings CurrentSettings() const;
  bool PrivateFontRegistered() const { return font_registered_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormClose();
  void RemoveFont();
  // The status line for what the print command has built so far.
  void ShowBuildStatus();

  QString data_directory_;
  QString font_path_;
  bool font_registered_ = false;
  int qt_font_id_ = -1;
  bool shown_once_ = false;

  QCheckBox* chk1_;
  QCheckBox* chk2_;
  QCheckBox* chk3_;
  QLabel* lbl3_;
  QPushButton* btn2_;
  QLabel* lbl_status_;
  // Hidden fixed data.
  QPlainTextEdit* memo1_;
  QPlainTextEdit* metitle_;
  QPlainTextEdit* memo2_;
  QSpinBox* edt1_;
  QSpinBox* edt2_;
  QFont dlg_font1_;  // the font holder

  std::unique_ptr<TovxReport> ovx1_;
  // The export components: they register themselves, so the preview's
  // export menu and quick-export button offer them.
  std::unique_ptr<TovxPDFExport> ovx_pdf_export1_;
  std::unique_ptr<TovxJPEGExport> ovx_jpeg_export1_;
  ovx::app::Typesetter typesetter_;
  // Typesets the body pages as the preparation reaches them; it lives as
  // long as the report may still ask for pages.
  std::unique_ptr<ovx::app::ReportBuilder> builder_;
  bool font_missing_ = false;
};
