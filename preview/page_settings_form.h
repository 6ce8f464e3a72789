// The page settings dialog of the preview: paper, orientation and margins
// of the current page, applied to that page or to every page of the report.
//
// Sizes are shown in the designer's unit (centimetres or inches, as the
// user chose there) and kept in millimetres. The papers offered are the
// standard ones plus the custom size; choosing a paper fills in its size for
// the chosen orientation, typing a size chooses the custom paper.
#pragma once

#include "base/paper_sizes.h"

#include <QDialog>

#include <optional>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class TovxReportPage;

class TovxPageSettingsForm : public QDialog {
  Q_OBJECT

 public:
  struct Settings {
    int paper_size = ovx::kPaperCustom;
    double paper_width = 0;  // millimetres, in the orientation below
    double paper_height = 0;
    TovxPrinterOrientation orientation = TovxPrinterOrientation::poPortrait;
    double left_margin = 0;
    double top_margin = 0;
    double right_margin = 0;
    double bottom_margin = 0;
    bool apply_to_all = false;
  };

  // Millimetres per unit shown.
  enum class Unit { kCentimetres, kInches };
  // The designer's unit from the user settings.
  static Unit StoredUnit();

  explicit TovxPageSettingsForm(QWidget* parent = nullptr, Unit unit = StoredUnit());

  void SetPage(const TovxReportPage& page);
  void SetValues(const Settings& settings);
  // The values shown; nullopt when one of them is not a valid number.
  std::optional<Settings> TryValues() const;
  // The values accepted (valid once the dialog was accepted).
  Settings Values() const { return accepted_; }
  // Gives `page` the settings.
  static void Apply(const Settings& settings, TovxReportPage& page);

  void accept() override;

 private:
  void PaperChosen();
  void SizeTyped();
  void OrientationChosen();
  void SelectPaper(int number);
  QString Show(double millimetres) const;
  std::optional<double> Read(const QLineEdit* edit) const;

  Unit unit_;
  double millimetres_per_unit_;
  bool updating_ = false;
  TovxPrinterOrientation shown_orientation_ = TovxPrinterOrientation::poPortrait;
  Settings accepted_;

  QComboBox* paper_;
  QLineEdit* width_;
  QLineEdit* height_;
  QRadioButton* portrait_;
  QRadioButton* landscape_;
  QLineEdit* left_;
  QLineEdit* top_;
  QLineEdit* right_;
  QLineEdit* bottom_;
  QRadioButton* this_page_;
  QRadioButton* all_pages_;
};
