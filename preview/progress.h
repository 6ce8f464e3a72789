// The progress window of long runs (preparing, printing, exporting): a
// small borderless panel with a message, a bar and a cancel button.
//
// While it shows, the window that was active is disabled, so the run's
// event processing cannot start a second command there; it is enabled
// again when the progress hides. Cancel sets the terminated flag that the
// run polls, and hides the panel.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class TovxProgress : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 271;
  static constexpr int kHeight = 101;

  explicit TovxProgress(QWidget* parent = nullptr);
  ~TovxProgress() override;

  // Shows the panel with `message`; a bar from 0 to `maximum` when
  // `show_bar`.
  void Execute(int maximum, const QString& message, bool show_bar);
  void SetMessage(const QString& message);
  QString Message() const;
  void SetPosition(int position);
  int Position() const;
  bool Terminated() const { return terminated_; }
  void SetTerminated(bool on) { terminated_ = on; }
  // Hides the panel and enables the window it disabled.
  void Finish();

 signals:
  // The cancel button was pressed (Terminated() is true from then on).
  void Cancelled();

 protected:
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void EnableOwner();

  QLabel* message_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool terminated_ = false;
  QPointer<QWidget> disabled_window_;
  QPoint drag_offset_;
};
