#include "app/script_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>

#include <utility>

namespace ovx::app {
namespace {

// The buttons' bits of TMsgDlgButtons with their Qt buttons and the modal
// result each answers, in the order the bits are numbered.
struct Button {
  int bit;
  QMessageBox::StandardButton qt;
  int modal_result;
};
constexpr Button kButtons[] = {
    {1, QMessageBox::Yes, 6},     {2, QMessageBox::No, 7},        {4, QMessageBox::Ok, 1},
    {8, QMessageBox::Cancel, 2},  {16, QMessageBox::Abort, 3},    {32, QMessageBox::Retry, 4},
    {64, QMessageBox::Ignore, 5}, {256, QMessageBox::NoToAll, 9}, {512, QMessageBox::YesToAll, 10},
    {1024, QMessageBox::Help, 0}, {2048, QMessageBox::Close, 11},
};

class QtScriptDialogs : public ScriptDialogs {
 public:
  void ShowMessage(const QString& text) override {
    QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
  }

  int MessageDlg(const QString& text, int type, int buttons, int help_context) override {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QApplication::applicationName());
    box.setText(text);
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                                   QMessageBox::Information, QMessageBox::Question,
                                                   QMessageBox::NoIcon};
    box.setIcon(type >= 0 && type < 5 ? kIcons[type] : QMessageBox::NoIcon);
    QMessageBox::StandardButtons shown;
    for (const Button& b : kButtons)
      if (buttons & b.bit) shown |= b.qt;
    // "All" (128) has no Qt button of its own; a set of none still needs a
    // way out.
    if (!shown) shown = QMessageBox::Ok;
    box.setStandardButtons(shown);
    const int pressed = box.exec();
    for (const Button& b : kButtons)
      if (pressed == b.qt && (buttons & b.bit)) return b.modal_result;
    return pressed == QMessageBox::Ok ? 1 : 0;
  }

  std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                    const QString& value) override {
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                               QLineEdit::Normal, value, &ok);
    if (!ok) return std::nullopt;
    return text;
  }
};

}  // namespace

std::shared_ptr<ScriptDialogs> MakeScriptDialogs() { return std::make_shared<QtScriptDialogs>(); }

void InstallScriptDialogs() { SetScriptDialogs(MakeScriptDialogs()); }

}  // namespace ovx::app
