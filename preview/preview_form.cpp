#include "preview/preview_form.h"

#include "base/error.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "preview/page_search.h"
#include "preview/preview.h"
#include "preview/preview_workspace.h"
#include "preview/zoom.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// The classes of the filters the window treats apart.
const QString kPdfFilterClass = QStringLiteral("TovxPDFExport");
const QString kMailFilterClass = QStringLiteral("TovxMailExport");
const QString kDotMatrixFilterClass = QStringLiteral("TovxDotMatrixExport");

// The property of a toolbar action that holds its hint.
constexpr char kHintProperty[] = "ovxHint";

// The zoom box's fixed entries; the last two choose a zoom mode.
constexpr int kPageWidthEntry = 6;
constexpr int kWholePageEntry = 7;

// Commands that read or change the pages: disabled while preparing.
const QStringList kPageCommands = {"OpenB",         "SaveB",  "PdfB",  "EmailB", "FindB", "FirstB",
                                   "PageSettingsB", "PriorB", "PageE", "NextB",  "LastB"};

}  // namespace

struct TovxPreviewForm::ButtonSpec {
  const char* name;
  int image;    // -1: none
  int caption;  // resource numbers
  int hint;
  bool checkable = false;
};

TovxPreviewForm::TovxPreviewForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PreviewForm"));
  setWindowTitle(TovxResources::Instance().GetNumbered(100));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  resize(kDefaultWidth, kDefaultHeight);
  // The window's texts are Chinese: a face that has them comes first.
  QFont window_font = font();
  window_font.setFamilies({QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei"),
                           window_font.family()});
  setFont(window_font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("ToolBar"));
  toolbar_->setIconSize(QSize(16, 16));
  layout->addWidget(toolbar_);
  preview_ = new TovxPreview(this);
  layout->addWidget(preview_, 1);
  status_bar_ = new QStatusBar(this);
  status_bar_->setObjectName(QStringLiteral("StatusBar"));
  status_bar_->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    status_[i] = new QLabel(status_bar_);
    status_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    // Panel 0 fits its text; the other two share what is left.
    status_bar_->addWidget(status_[i], i == 0 ? 0 : 1);
  }
  layout->addWidget(status_bar_);

  save_menu_ = new QMenu(this);
  popup_menu_ = new QMenu(this);
  popup_menu_->setToolTipsVisible(true);

  AddButton({"PrintB", 2, 101, 101});
  AddButton({"OpenB", 0, 103, 103});
  QAction* save = AddButton({"SaveB", 1, 105, 105});
  save->setMenu(save_menu_);
  if (auto* button = qobject_cast<QToolButton*>(toolbar_->widgetForAction(save))) {
    button->setPopupMode(QToolButton::InstantPopup);
  }
  AddButton({"PdfB", 24, 154, 151});
  AddButton({"EmailB", 23, 153, 152});
  AddSeparator(QStringLiteral("FindB"));
  AddButton({"FindB", 4, 109, 109});
  AddSeparator(QStringLiteral("ZoomPlusB"));
  AddButton({"ZoomPlusB", 15, 124, 124});
  zoom_box_ = new QComboBox(toolbar_);
  zoom_box_->setObjectName(QStringLiteral("ZoomCB"));
  zoom_box_->setEditable(true);
  zoom_box_->setInsertPolicy(QComboBox::NoInsert);
  zoom_box_->setToolTip(TovxResources::Instance().GetNumbered(119));
  zoom_box_->addItems({"25%", "50%", "75%", "100%", "150%", "200%",
                       TovxResources::Instance().Get(u"zmPageWidth"),
                       TovxResources::Instance().Get(u"zmWholePage")});
  zoom_box_->setMinimumWidth(80);
  AddWidget(QStringLiteral("ZoomCB"), zoom_box_);
  AddButton({"ZoomMinusB", 16, 126, 126});
  AddButton({"FullScreenBtn", 22, 149, 149});
  AddSeparator(QStringLiteral("OutlineB"));
  AddButton({"OutlineB", 12, 128, 129, true});
  AddButton({"ThumbB", 5, 130, 130, true});
  AddButton({"PageSettingsB", 7, 120, 120});
  AddButton({"DesignerB", 21, 132, 132});
  AddSeparator(QStringLiteral("FirstB"));
  AddButton({"FirstB", 8, 134, 134});
  AddButton({"PriorB", 9, 136, 136});
  page_box_ = new QLineEdit(toolbar_);
  page_box_->setObjectName(QStringLiteral("PageE"));
  page_box_->setToolTip(TovxResources::Instance().GetNumbered(142));
  page_box_->setFixedWidth(48);
  page_box_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,9}")), page_box_));
  AddWidget(QStringLiteral("PageE"), page_box_);
  page_count_label_ = new QLabel(toolbar_);
  page_count_label_->setObjectName(QStringLiteral("PageCountL"));
  AddWidget(QStringLiteral("PageCountL"), page_count_label_);
  AddButton({"NextB", 10, 138, 138});
  AddButton({"LastB", 11, 140, 140});
  AddSeparator(QStringLiteral("HighlightEditableTB"));
  AddButton({"HighlightEditableTB", 25, 702, 701, true});
  AddSeparator(QStringLiteral("CancelB"));
  QAction* cancel = AddButton({"CancelB", -1, 0, 0});
  if (auto* button = qobject_cast<QToolButton*>(toolbar_->widgetForAction(cancel))) {
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  }
  groups_ = {
      {nullptr, {"PrintB", "OpenB", "SaveB", "PdfB", "EmailB"}},
      {separators_.value("FindB"), {"FindB"}},
      {separators_.value("ZoomPlusB"), {"ZoomPlusB", "ZoomCB", "ZoomMinusB", "FullScreenBtn"}},
      {separators_.value("OutlineB"), {"OutlineB", "ThumbB", "PageSettingsB", "DesignerB"}},
      {separators_.value("FirstB"), {"FirstB", "PriorB", "PageE", "PageCountL", "NextB", "LastB"}},
      {separators_.value("HighlightEditableTB"), {"HighlightEditableTB"}},
      {separators_.value("CancelB"), {"CancelB"}},
  };

  // Not available in this program yet: the buttons say why.
  // A program without the print module installed has no printing.
  if (ovx::PrintingInstalled()) {
    connect(Button("PrintB"), &QAction::triggered, this, [this] {
      preview_->Print();
      setEnabled(true);
    });
  } else {
    Button("PrintB")->setEnabled(false);
    Button("PrintB")->setToolTip(TovxResources::Instance().Get(u"rsPreviewNoPrinting"));
  }
  Button("DesignerB")->setEnabled(false);
  Button("DesignerB")->setToolTip(TovxResources::Instance().Get(u"rsPreviewNoDesigner"));

  connect(Button("OpenB"), &QAction::triggered, this, [this] {
    if (preview_->LoadFromFile()) UpdateCaption();
  });
  connect(Button("PdfB"), &QAction::triggered, this,
          [this] { ExportWith(FindFilter(kPdfFilterClass)); });
  connect(Button("EmailB"), &QAction::triggered, this,
          [this] { ExportWith(FindFilter(kMailFilterClass)); });
  connect(Button("FindB"), &QAction::triggered, preview_, qOverload<>(&TovxPreview::Find));
  connect(Button("ZoomPlusB"), &QAction::triggered, this,
          [this] { preview_->SetZoom(preview_->Zoom() + ovx::kButtonZoomStep); });
  connect(Button("ZoomMinusB"), &QAction::triggered, this,
          [this] { preview_->SetZoom(preview_->Zoom() - ovx::kButtonZoomStep); });
  connect(Button("FullScreenBtn"), &QAction::triggered, this, &TovxPreviewForm::ToggleFullScreen);
  connect(Button("OutlineB"), &QAction::triggered, this,
          [this](bool on) { preview_->SetOutlineVisible(on); });
  connect(Button("ThumbB"), &QAction::triggered, this,
          [this](bool on) { preview_->SetThumbnailVisible(on); });
  connect(Button("PageSettingsB"), &QAction::triggered, preview_, &TovxPreview::PageSetupDialog);
  connect(Button("FirstB"), &QAction::triggered, preview_, &TovxPreview::First);
  connect(Button("PriorB"), &QAction::triggered, preview_, &TovxPreview::Prior);
  connect(Button("NextB"), &QAction::triggered, preview_, &TovxPreview::Next);
  connect(Button("LastB"), &QAction::triggered, preview_, &TovxPreview::Last);
  connect(Button("HighlightEditableTB"), &QAction::triggered, this,
          [this](bool on) { preview_->SetHighlightEditable(on); });
  connect(cancel, &QAction::triggered, this, [this] {
    if (preview_->Busy()) {
      preview_->Cancel();
    } else {
      reject();
    }
  });
  connect(zoom_box_, &QComboBox::activated, this, [this](int index) {
    if (index == kPageWidthEntry) {
      preview_->SetZoomMode(TovxZoomMode::zmPageWidth);
      UpdateZoomBox();
    } else if (index == kWholePageEntry) {
      preview_->SetZoomMode(TovxZoomMode::zmWholePage);
      UpdateZoomBox();
    } else {
      ApplyZoomText(zoom_box_->itemText(index));
    }
  });
  connect(zoom_box_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { ApplyZoomText(zoom_box_->lineEdit()->text()); });
  connect(page_box_, &QLineEdit::returnPressed, this, [this] { ApplyPageText(page_box_->text()); });

  connect(preview_, &TovxPreview::PageChanged, this, [this] {
    UpdatePageBox();
    UpdateStatus();
  });
  connect(preview_, &TovxPreview::PageCountChanged, this, [this] {
    UpdatePageBox();
    UpdateStatus();
  });
  connect(preview_, &TovxPreview::ZoomChanged, this, &TovxPreviewForm::UpdateZoomBox);
  connect(preview_, &TovxPreview::RunningChanged, this, &TovxPreviewForm::RunningChanged);
  connect(preview_, &TovxPreview::FirstPassProgress, this, [this](int pages) {
    first_pass_pages_ = pages;
    UpdateStatus();
  });
  connect(preview_, &TovxPreview::ObjectHovered, this,
          [this](const QString& link, const QString& hint) {
            status_[1]->setText(link);
            status_[2]->setText(hint);
          });
  connect(preview_, &TovxPreview::ReportLoaded, this, &TovxPreviewForm::UpdateCaption);
  connect(preview_, &TovxPreview::PanesChanged, this, [this] {
    Button("OutlineB")->setChecked(preview_->OutlineVisible());
    Button("ThumbB")->setChecked(preview_->ThumbnailVisible());
  });
  preview_->Workspace()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(preview_->Workspace(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) {
            BuildPopupMenu();
            popup_menu_->exec(preview_->Workspace()->mapToGlobal(at));
          });
  RunningChanged(false);
}

TovxPreviewForm::~TovxPreviewForm() { RestoreApplication(false); }

QAction* TovxPreviewForm::AddButton(const ButtonSpec& spec) {
  const ovx::ImageList& images = TovxResources::Instance().PreviewImages();
  auto* action = new QAction(this);
  action->setObjectName(QLatin1String(spec.name));
  if (spec.image >= 0) action->setIcon(QIcon(QPixmap::fromImage(images.Image(spec.image))));
  if (spec.caption > 0) action->setText(TovxResources::Instance().GetNumbered(spec.caption));
  if (spec.hint > 0) {
    action->setToolTip(TovxResources::Instance().GetNumbered(spec.hint));
    // Kept apart from the tooltip, which may come to say why a button is
    // off; the right-click menu shows the hint.
    action->setProperty(kHintProperty, action->toolTip());
  }
  action->setCheckable(spec.checkable);
  toolbar_->addAction(action);
  actions_.insert(QLatin1String(spec.name), action);
  return action;
}

void TovxPreviewForm::AddWidget(const QString& name, QWidget* widget) {
  QAction* action = toolbar_->addWidget(widget);
  action->setObjectName(name);
  actions_.insert(name, action);
}

void TovxPreviewForm::AddSeparator(const QString& first_of_group) {
  separators_.insert(first_of_group, toolbar_->addSeparator());
}

bool TovxPreviewForm::SeparatorBeforeVisible(const QString& button) const {
  const QAction* separator = separators_.value(button);
  return separator && separator->isVisible();
}

QString TovxPreviewForm::StatusText(int panel) const {
  return panel >= 0 && panel < 3 ? status_[panel]->text() : QString();
}

TovxCustomExportFilter* TovxPreviewForm::FindFilter(const QString& class_name) const {
  for (TovxCustomExportFilter* filter : ovx::ExportFilters().Filters()) {
    if (filter->GetMetaClass().ClassName() == class_name) return filter;
  }
  return nullptr;
}

// --- set-up from the report ---------------------------------------------------------------

void TovxPreviewForm::Init(TovxReport* report, TovxPreviewPages* pages) {
  report_ = report;
  preview_->Init(report, pages);
  if (!report) return;
  const TovxPreviewOptions& options = report->PreviewOptions();
  preview_->SetOutlineWidth(options.OutlineWidth());
  preview_->SetOutlineVisible(options.OutlineVisible());
  preview_->SetThumbnailVisible(options.ThumbnailVisible());
  if (options.ZoomMode() != TovxZoomMode::zmDefault) {
    preview_->SetZoomMode(options.ZoomMode());
  } else {
    preview_->SetZoom(options.Zoom());
  }
  toolbar_->setToolButtonStyle(options.ShowCaptions() ? Qt::ToolButtonTextUnderIcon
                                                      : Qt::ToolButtonIconOnly);
  ApplyButtons();
  BuildSaveMenu();
  BuildPopupMenu();
  UpdateCaption();
  UpdateZoomBox();
  UpdatePageBox();
  UpdateStatus();
}

void TovxPreviewForm::ApplyButtons() {
  const TovxPreviewOptions& options = report_->PreviewOptions();
  const TovxPreviewButtons buttons = options.Buttons();
  auto has = [&](TovxPreviewButton button) { return buttons.Contains(button); };
  using B = TovxPreviewButton;
  const bool quick = has(B::pbExportQuick);
  const QHash<QString, bool> shown = {
      {"PrintB", has(B::pbPrint)},
      {"OpenB", has(B::pbLoad)},
      {"SaveB", has(B::pbSave) || has(B::pbExport)},
      {"PdfB", quick && FindFilter(kPdfFilterClass)},
      {"EmailB", quick && !has(B::pbNoEmail) && FindFilter(kMailFilterClass)},
      {"FindB", has(B::pbFind)},
      {"ZoomPlusB", has(B::pbZoom)},
      {"ZoomCB", has(B::pbZoom)},
      {"ZoomMinusB", has(B::pbZoom)},
      {"FullScreenBtn", has(B::pbZoom) && !has(B::pbNoFullScreen)},
      {"OutlineB", has(B::pbOutline)},
      {"ThumbB", has(B::pbOutline)},
      {"PageSettingsB", has(B::pbPageSetup)},
      {"DesignerB", has(B::pbEdit)},
      {"FirstB", has(B::pbNavigator)},
      {"PriorB", has(B::pbNavigator)},
      {"PageE", has(B::pbNavigator)},
      {"PageCountL", has(B::pbNavigator)},
      {"NextB", has(B::pbNavigator)},
      {"LastB", has(B::pbNavigator)},
      {"HighlightEditableTB", has(B::pbInplaceEdit) && options.AllowPreviewEdit()},
      {"CancelB", !has(B::pbNoClose)},
  };
  for (auto it = shown.cbegin(); it != shown.cend(); ++it)
    actions_.value(it.key())->setVisible(it.value());
  // A separator shows only between two groups that both show something.
  bool anything_before = false;
  for (const auto& [separator, names] : groups_) {
    const bool group_shown = std::any_of(names.cbegin(), names.cend(),
                                         [&](const QString& name) { return shown.value(name); });
    if (separator) separator->setVisible(group_shown && anything_before);
    anything_before = anything_before || group_shown;
  }
}

void TovxPreviewForm::BuildSaveMenu() {
  save_menu_->clear();
  const TovxPreviewButtons buttons = report_->PreviewOptions().Buttons();
  const bool save = buttons.Contains(TovxPreviewButton::pbSave);
  if (save) {
    QAction* entry =
        save_menu_->addAction(TovxResources::Instance().Get(u"clOP3files") + QStringLiteral("..."),
                              preview_, qOverload<>(&TovxPreview::SaveToFile));
    entry->setObjectName(QStringLiteral("SaveOp3"));
  }
  if (!buttons.Contains(TovxPreviewButton::pbExport)) return;
  bool separated = !save;
  for (TovxCustomExportFilter* filter : ovx::ExportFilters().Filters()) {
    const QString class_name = filter->GetMetaClass().ClassName();
    if (class_name == kMailFilterClass || class_name == kDotMatrixFilterClass) continue;
    if (!separated) {
      save_menu_->addSeparator();
      separated = true;
    }
    QAction* entry = save_menu_->addAction(filter->GetDescription() + QStringLiteral("..."));
    entry->setObjectName(QStringLiteral("Export_") + class_name);
    connect(entry, &QAction::triggered, this, [this, filter] { ExportWith(filter); });
  }
}

void TovxPreviewForm::BuildPopupMenu() {
  popup_menu_->clear();
  int separators = 0;
  bool entries = false;
  for (QAction* action : toolbar_->actions()) {
    if (!action->isVisible()) continue;
    if (action->isSeparator()) {
      if (!entries) continue;
      if (++separators == 2) break;
      popup_menu_->addSeparator();
      continue;
    }
    // Boxes and labels have no place in a menu.
    if (toolbar_->widgetForAction(action) &&
        !qobject_cast<QToolButton*>(toolbar_->widgetForAction(action))) {
      continue;
    }
    const QString hint = action->property(kHintProperty).toString();
    if (hint.isEmpty() || action->objectName() == u"CancelB") continue;
    QAction* entry = popup_menu_->addAction(action->icon(), hint);
    entry->setEnabled(action->isEnabled());
    if (!action->isEnabled()) entry->setToolTip(action->toolTip());
    if (action->menu()) {
      entry->setMenu(action->menu());
    } else {
      entry->setCheckable(action->isCheckable());
      entry->setChecked(action->isChecked());
      connect(entry, &QAction::triggered, action, &QAction::trigger);
    }
    entries = true;
  }
  const TovxPreviewOptions* options = report_ ? &report_->PreviewOptions() : nullptr;
  if (entries) popup_menu_->addSeparator();
  QAction* copy = popup_menu_->addAction(
      QIcon(QPixmap::fromImage(TovxResources::Instance().PreviewImages().Image(17))),
      TovxResources::Instance().GetNumbered(160), this, &TovxPreviewForm::CopyContent);
  copy->setEnabled(options && options->Buttons().Contains(TovxPreviewButton::pbCopy) &&
                   options->AllowPreviewEdit() && preview_->Workspace()->Selection());
  QAction* paste = popup_menu_->addAction(
      QIcon(QPixmap::fromImage(TovxResources::Instance().PreviewImages().Image(18))),
      TovxResources::Instance().GetNumbered(161));
  // Pasting objects onto a page belongs to page editing, which comes with
  // the designer.
  paste->setEnabled(false);
  popup_menu_->addAction(
      QIcon(QPixmap::fromImage(TovxResources::Instance().PreviewImages().Image(13))),
      TovxResources::Instance().GetNumbered(601), preview_->OutlineTree(),
      &QTreeWidget::collapseAll);
  popup_menu_->addAction(
      QIcon(QPixmap::fromImage(TovxResources::Instance().PreviewImages().Image(14))),
      TovxResources::Instance().GetNumbered(600), preview_->OutlineTree(), &QTreeWidget::expandAll);
}

void TovxPreviewForm::UpdateCaption() {
  const QString name = report_ ? report_->ReportOptions().Name() : QString();
  setWindowTitle(name.isEmpty() ? TovxResources::Instance().GetNumbered(100) : name);
}

// --- toolbar boxes and status --------------------------------------------------------------

void TovxPreviewForm::ApplyZoomText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed == TovxResources::Instance().Get(u"zmPageWidth")) {
    preview_->SetZoomMode(TovxZoomMode::zmPageWidth);
  } else if (trimmed == TovxResources::Instance().Get(u"zmWholePage")) {
    preview_->SetZoomMode(TovxZoomMode::zmWholePage);
  } else if (const std::optional<double> zoom = ovx::ParseZoomText(text)) {
    preview_->SetZoom(*zoom);
  }
  UpdateZoomBox();
}

void TovxPreviewForm::ApplyPageText(const QString& text) {
  bool ok = false;
  const int page = text.trimmed().toInt(&ok);
  if (ok) preview_->SetPageNo(page);
  UpdatePageBox();
}

void TovxPreviewForm::UpdateZoomBox() {
  const QSignalBlocker blocker(zoom_box_);
  zoom_box_->setCurrentIndex(-1);
  zoom_box_->setEditText(ovx::ZoomText(preview_->Zoom()));
}

void TovxPreviewForm::UpdatePageBox() {
  page_box_->setText(preview_->PageNo() > 0 ? QString::number(preview_->PageNo()) : QString());
  page_count_label_->setText(ovx::FormatMessage(TovxResources::Instance().Get(u"clOf"),
                                                {QString::number(preview_->ShownPageCount())}));
}

void TovxPreviewForm::UpdateStatus() {
  if (preview_->Running() && first_pass_pages_ >= 0) {
    status_[0]->setText(TovxResources::Instance().Get(u"clFirstPass") +
                        QString::number(first_pass_pages_));
    return;
  }
  status_[0]->setText(ovx::FormatMessage(
      TovxResources::Instance().Get(u"clPageOf"),
      {QString::number(preview_->PageNo()), QString::number(preview_->ShownPageCount())}));
}

void TovxPreviewForm::RunningChanged(bool running) {
  QAction* cancel = Button("CancelB");
  cancel->setText(running ? TovxResources::Instance().Get(u"clCancel")
                          : TovxResources::Instance().Get(u"clClose"));
  cancel->setToolTip(cancel->text().remove(u'&'));
  for (const QString& name : kPageCommands) {
    if (QAction* action = actions_.value(name)) action->setEnabled(!running);
  }
  if (!running) first_pass_pages_ = -1;
  UpdatePageBox();
  UpdateStatus();
  // Closing waited for the engine: finish it once the engine has returned
  // to the event loop.
  if (!running && close_pending_) {
    QTimer::singleShot(0, this, [this] { reject(); });
  }
}

// --- commands -------------------------------------------------------------------------------

void TovxPreviewForm::ExportWith(TovxCustomExportFilter* filter) {
  // The filter may have gone since the menu was built.
  const auto& filters = ovx::ExportFilters().Filters();
  if (!filter || std::find(filters.begin(), filters.end(), filter) == filters.end()) return;
  preview_->Export(*filter);
}

void TovxPreviewForm::ToggleFullScreen() {
  if (!full_screen_) {
    state_before_full_screen_ = windowState();
    toolbar_->hide();
    status_bar_->hide();
    setWindowState(windowState() | Qt::WindowFullScreen);
    full_screen_ = true;
  } else {
    toolbar_->show();
    status_bar_->show();
    setWindowState(state_before_full_screen_);
    full_screen_ = false;
  }
}

void TovxPreviewForm::CopyContent() {
  const auto selection = preview_->Workspace()->Selection();
  TovxPreviewPages* pages = preview_->PreviewPages();
  if (!selection || !pages || preview_->Busy()) return;
  QStringList texts;
  for (const ovx::PageTextRecord& record : ovx::RecordPageText(*pages, selection->first)) {
    if (record.bounds.intersects(selection->second)) texts << record.text;
  }
  QGuiApplication::clipboard()->setText(texts.join(u'\n'));
}

void TovxPreviewForm::PrepareLater(bool clear_last_report) {
  QTimer::singleShot(50, this, [this, clear_last_report] { preview_->Prepare(clear_last_report); });
}

void TovxPreviewForm::Detach() {
  report_ = nullptr;
  close_pending_ = false;
  preview_->Init(nullptr, nullptr);
  QDialog::reject();
}

void TovxPreviewForm::reject() {
  // A run borrows the store this window shows: the window closes when the
  // run has stopped.
  if (!preview_->RequestClose()) {
    close_pending_ = true;
    return;
  }
  close_pending_ = false;
  QDialog::reject();
}

void TovxPreviewForm::keyPressEvent(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (event->key() == Qt::Key_F11) {
    ToggleFullScreen();
  } else if (event->key() == Qt::Key_F1) {
    QString message;
    if (!TovxResources::Instance().ShowHelp(u"TovxPreviewForm", &message)) {
      if (preview_->show_error) preview_->show_error(message);
    }
  } else if (ctrl && event->key() == Qt::Key_C) {
    const TovxPreviewOptions* options = report_ ? &report_->PreviewOptions() : nullptr;
    if (options && options->Buttons().Contains(TovxPreviewButton::pbCopy) &&
        options->AllowPreviewEdit()) {
      CopyContent();
    }
  } else {
    QDialog::keyPressEvent(event);
    return;
  }
  event->accept();
}

// --- minimising a modal window -------------------------------------------------------------

void TovxPreviewForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (windowState() & Qt::WindowMinimized) {
    if (isModal() && isWindow() && minimised_with_me_.isEmpty()) MinimiseApplication();
  } else if (!minimised_with_me_.isEmpty()) {
    RestoreApplication(false);
  }
}

void TovxPreviewForm::MinimiseApplication() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = top->windowType();
    if (top == this || isAncestorOf(top) || !top->isVisible() || top->isMinimized() ||
        (type != Qt::Window && type != Qt::Dialog)) {
      continue;
    }
    minimised_with_me_.append(top);
    top->installEventFilter(this);
    top->setWindowState(top->windowState() | Qt::WindowMinimized);
  }
}

void TovxPreviewForm::RestoreApplication(bool raise_me) {
  // Taken first: the state changes below come back through changeEvent and
  // eventFilter.
  const QList<QPointer<QWidget>> windows = std::exchange(minimised_with_me_, {});
  for (const QPointer<QWidget>& window : windows) {
    if (!window) continue;
    window->removeEventFilter(this);
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  }
  if (!raise_me) return;
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

bool TovxPreviewForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window && !window->isMinimized() && minimised_with_me_.contains(window)) {
      // The application is being restored: the modal window comes back on top.
      RestoreApplication(true);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TovxPreviewForm::hideEvent(QHideEvent* event) {
  // A spontaneous hide is the window system minimising the window; any
  // other means it closes, and the windows it took along come back.
  if (!event->spontaneous()) RestoreApplication(false);
  QDialog::hideEvent(event);
}
