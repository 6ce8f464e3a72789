// The preview window: a preview control with a toolbar that follows the
// report's PreviewOptions.Buttons, a zoom box, a page box, a status bar, an
// export menu of the registered export filters and a right-click menu that
// repeats the toolbar.
//
// Design: the window is a dialog so that it can be shown modally (exec) or
// on its own, as PreviewOptions.Modal asks; the host (preview_host.h)
// creates one per showing. Every button is a QAction named as the toolbar
// control it stands for ("PrintB", "ZoomPlusB", ...), so the window, its
// right-click menu and the tests all reach the same objects.
//
// Minimising: a modal window takes the windows it blocks with it (they
// are of no use meanwhile, so the application is minimised as a whole);
// when one of them, or the window itself, is restored, they all come back
// and the modal window is raised and activated on top. A modeless window,
// or one inside a multi-document area, minimises alone.
//
// Closing: while the report is being prepared the window does not close;
// closing (the close button, Esc, the title bar) stops the preparation
// first and closes once the engine has returned, so nothing is left writing
// into pages the window no longer follows.
#pragma once

#include "report/model/report_options.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointer>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QToolBar;
class TovxCustomExportFilter;
class TovxPreview;
class TovxPreviewPages;
class TovxReport;

class TovxPreviewForm : public QDialog {
  Q_OBJECT

 public:
  // The size of a window that is not maximised.
  static constexpr int kDefaultWidth = 803;
  static constexpr int kDefaultHeight = 583;

  explicit TovxPreviewForm(QWidget* parent = nullptr);
  ~TovxPreviewForm() override;

  // Binds the report and its pages and sets the window up from the
  // report's preview options (buttons, zoom, panes, caption, menus).
  void Init(TovxReport* report, TovxPreviewPages* pages);
  // Lets go of the report (it is going away) and closes.
  void Detach();
  TovxReport* Report() const { return report_; }
  TovxPreview* Preview() const { return preview_; }
  // Prepares the report in the window once it has had 50 ms to show.
  void PrepareLater(bool clear_last_report);

  // --- commands of the toolbar -------------------------------------------------------------
  // The zoom box: an entry or typed text; text that is not a number is
  // ignored. The box then shows the zoom in per cent.
  void ApplyZoomText(const QString& text);
  // The page box: a page number; anything else keeps the current page.
  void ApplyPageText(const QString& text);
  void ToggleFullScreen();
  bool FullScreen() const { return full_screen_; }
  // Copies the texts inside the selection dragged with Shift.
  void CopyContent();

  // --- parts, for tests -----------------------------------------------------------------------
  QAction* Button(const QString& name) const { return actions_.value(name); }
  QToolBar* ToolBar() const { return toolbar_; }
  QComboBox* ZoomBox() const { return zoom_box_; }
  QLineEdit* PageBox() const { return page_box_; }
  QStatusBar* StatusBar() const { return status_bar_; }
  QString StatusText(int panel) const;
  QMenu* SaveMenu() const { return save_menu_; }
  QMenu* PopupMenu() const { return popup_menu_; }
  // Whether the separator before `button`'s group is shown.
  bool SeparatorBeforeVisible(const QString& button) const;

  // Closes the window; while the report is being prepared it stops the
  // preparation and closes once the engine has returned.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct ButtonSpec;
  QAction* AddButton(const ButtonSpec& spec);
  // A box or label in the toolbar; its action is named like the widget.
  void AddWidget(const QString& name, QWidget* widget);
  void AddSeparator(const QString& first_of_group);
  void ApplyButtons();
  void BuildSaveMenu();
  void BuildPopupMenu();
  void UpdateCaption();
  void UpdateZoomBox();
  void UpdatePageBox();
  void UpdateStatus();
  void RunningChanged(bool running);
  void ExportWith(TovxCustomExportFilter* filter);
  TovxCustomExportFilter* FindFilter(const QString& class_name) const;
  void MinimiseApplication();
  // Brings back the windows minimised with this one; `raise_me` restores,
  // raises and activates this window as well.
  void RestoreApplication(bool raise_me);

  TovxReport* report_ = nullptr;
  TovxPreview* preview_;
  QToolBar* toolbar_;
  QHash<QString, QAction*> actions_;
  // The separator before each group, keyed by the group's first button.
  QHash<QString, QAction*> separators_;
  QList<QPair<QAction*, QStringList>> groups_;
  QComboBox* zoom_box_;
  QLineEdit* page_box_;
  QLabel* page_count_label_;
  QStatusBar* status_bar_;
  QLabel* status_[3];
  QMenu* save_menu_;
  QMenu* popup_menu_;
  bool close_pending_ = false;
  bool full_screen_ = false;
  Qt::WindowStates state_before_full_screen_;
  int first_pass_pages_ = -1;
  // The windows minimised together with this modal one.
  QList<QPointer<QWidget>> minimised_with_me_;
};
