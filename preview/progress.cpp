#include "preview/progress.h"

#include "resources/resources.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

TovxProgress::TovxProgress(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Progress"));
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("MessageL"));
  message_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  message_->setGeometry(8, 15, kWidth - 16, 20);
  bar_ = new QProgressBar(this);
  bar_->setGeometry(16, 40, kWidth - 32, 18);
  bar_->setTextVisible(false);
  cancel_ = new QPushButton(TovxResources::Instance().GetNumbered(2), this);
  cancel_->setObjectName(QStringLiteral("CancelB"));
  cancel_->setGeometry((kWidth - 90) / 2, kHeight - 32, 90, 24);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    terminated_ = true;
    Finish();
    emit Cancelled();
  });
}

TovxProgress::~TovxProgress() { EnableOwner(); }

void TovxProgress::Execute(int maximum, const QString& message, bool show_bar) {
  terminated_ = false;
  bar_->setRange(0, std::max(0, maximum));
  bar_->setValue(0);
  bar_->setVisible(show_bar);
  // The message sits higher when the bar is below it.
  message_->move(message_->x(), show_bar ? 15 : 35);
  message_->setText(message);
  QWidget* active = QApplication::activeWindow();
  if (active && active != this && active->isEnabled()) {
    active->setEnabled(false);
    disabled_window_ = active;
  }
  const QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
  const QRect area = anchor     ? anchor->geometry()
                     : screen() ? screen()->availableGeometry()
                                : QRect(0, 0, kWidth, kHeight);
  move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  show();
  raise();
}

void TovxProgress::SetMessage(const QString& message) { message_->setText(message); }
QString TovxProgress::Message() const { return message_->text(); }
void TovxProgress::SetPosition(int position) { bar_->setValue(position); }
int TovxProgress::Position() const { return bar_->value(); }

void TovxProgress::Finish() {
  hide();
  EnableOwner();
}

void TovxProgress::EnableOwner() {
  if (disabled_window_) disabled_window_->setEnabled(true);
  disabled_window_ = nullptr;
}

void TovxProgress::hideEvent(QHideEvent* event) {
  EnableOwner();
  QWidget::hideEvent(event);
}

void TovxProgress::mousePressEvent(QMouseEvent* event) {
  drag_offset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TovxProgress::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - drag_offset_);
}
