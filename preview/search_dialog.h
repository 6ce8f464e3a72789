// The find dialog of the preview: the text, whether to start on the first
// page, and whether case matters.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

class TovxSearchDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TovxSearchDialog(QWidget* parent = nullptr);

  QString Text() const;
  void SetText(const QString& text);
  bool FromFirstPage() const;
  void SetFromFirstPage(bool on);
  bool CaseSensitive() const;
  void SetCaseSensitive(bool on);

 private:
  QLineEdit* text_;
  QCheckBox* from_top_;
  QCheckBox* case_sensitive_;
};
