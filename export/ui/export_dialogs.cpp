// The export settings dialogs; see export_dialogs.h.
#include "export/ui/export_dialogs.h"

#include "export/image_export.h"
#include "export/output_transport.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString Text(int tag) { return TovxResources::Instance().GetNumbered(tag); }

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

namespace ovx {

QValidator::State PageNumbersValidator::validate(QString& input, int&) const {
  for (QChar c : input) {
    if (!c.isDigit() && c != u',' && c != u'-') return Invalid;
  }
  return Acceptable;
}

}  // namespace ovx

// --- TovxBaseExportDialog ------------------------------------------------------------------

TovxBaseExportDialog::TovxBaseExportDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TovxBaseExportDialog"));
  SetTag(this, 8700);
  form_layout_ = new QVBoxLayout(this);

  page_control_ = Named(new QTabWidget(this), "PageControl");
  export_page_ = Named(new QWidget, "ExportPage");
  page_control_->addTab(export_page_, Text(107));
  form_layout_->addWidget(page_control_);
  auto* page_layout = new QVBoxLayout(export_page_);

  group_page_range_ = Named(new QGroupBox(export_page_), "GroupPageRange");
  SetTag(group_page_range_, 7);
  page_range_layout_ = new QVBoxLayout(group_page_range_);
  all_rb_ = Named(new QRadioButton(group_page_range_), "AllRB");
  SetTag(all_rb_, 3);
  all_rb_->setChecked(true);
  cur_page_rb_ = Named(new QRadioButton(group_page_range_), "CurPageRB");
  SetTag(cur_page_rb_, 4);
  page_numbers_rb_ = Named(new QRadioButton(group_page_range_), "PageNumbersRB");
  SetTag(page_numbers_rb_, 5);
  page_numbers_e_ = Named(new QLineEdit(group_page_range_), "PageNumbersE");
  page_numbers_e_->setValidator(new ovx::PageNumbersValidator(page_numbers_e_));
  connect(page_numbers_e_, &QLineEdit::textEdited, this,
          [this] { page_numbers_rb_->setChecked(true); });
  descr_l_ = Named(new QLabel(group_page_range_), "DescrL");
  SetTag(descr_l_, 9);
  descr_l_->setWordWrap(true);
  auto* numbers_row = new QHBoxLayout;
  numbers_row->addWidget(page_numbers_rb_);
  numbers_row->addWidget(page_numbers_e_, 1);
  page_range_layout_->addWidget(all_rb_);
  page_range_layout_->addWidget(cur_page_rb_);
  page_range_layout_->addLayout(numbers_row);
  page_range_layout_->addWidget(descr_l_);
  page_layout->addWidget(group_page_range_);

  group_quality_ = Named(new QGroupBox(export_page_), "GroupQuality");
  SetTag(group_quality_, 8);
  quality_layout_ = new QVBoxLayout(group_quality_);
  open_cb_ = Named(new QCheckBox(group_quality_), "OpenCB");
  SetTag(open_cb_, 8706);
  quality_layout_->addWidget(open_cb_);
  page_layout->addWidget(group_quality_);

  group_box1_ = Named(new QGroupBox(export_page_), "GroupBox1");
  SetTag(group_box1_, 162);
  auto* save_layout = new QVBoxLayout(group_box1_);
  filters_name_cb_ = Named(new QComboBox(group_box1_), "FiltersNameCB");
  save_layout->addWidget(filters_name_cb_);
  page_layout->addWidget(group_box1_);
  page_layout->addStretch();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok_b_ = Named(new QPushButton(this), "OkB");
  SetTag(ok_b_, 1);
  ok_b_->setDefault(true);
  cancel_b_ = Named(new QPushButton(this), "CancelB");
  SetTag(cancel_b_, 2);
  connect(ok_b_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_b_, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(ok_b_);
  buttons->addWidget(cancel_b_);
  form_layout_->addLayout(buttons);
}

TovxBaseExportDialog::~TovxBaseExportDialog() = default;

void TovxBaseExportDialog::SetTag(QWidget* control, int tag) {
  const QString text = Text(tag);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(text);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else {
    control->setWindowTitle(text);
  }
}

int TovxBaseExportDialog::AddPage(QWidget* page, const QString& title) {
  if (arranged_single_) {
    // The export tab goes back into the tab control, first.
    form_layout_->removeWidget(export_page_);
    page_control_->insertTab(0, export_page_, Text(107));
    page_control_->show();
    arranged_single_ = false;
  }
  return page_control_->addTab(page, title);
}

void TovxBaseExportDialog::ArrangePages() {
  if (arranged_single_ || page_control_->count() != 1) return;
  page_control_->removeTab(0);
  export_page_->setParent(this);
  form_layout_->insertWidget(0, export_page_);
  export_page_->show();
  page_control_->hide();
  arranged_single_ = true;
}

void TovxBaseExportDialog::showEvent(QShowEvent* event) {
  ArrangePages();
  QDialog::showEvent(event);
}

void TovxBaseExportDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    (void)TovxResources::Instance().ShowHelp(QString::fromLatin1(metaObject()->className()));
    return;
  }
  QDialog::keyPressEvent(event);
}

void TovxBaseExportDialog::FillFrom(TovxCustomExportFilter& filter) {
  const bool temporary = filter.TemporaryOutput();
  open_cb_->hide();
  if (temporary) {
    open_cb_->setEnabled(false);
    open_cb_->setChecked(false);
    filter.SetOpenAfterExport(false);
  } else {
    open_cb_->setChecked(filter.OpenAfterExport());
  }

  filters_name_cb_->clear();
  for (const ovx::TransportClass& transport_class : ovx::TransportClasses()) {
    const std::unique_ptr<TovxCustomIOTransport> transport = transport_class.create();
    if (transport && transport->CanWrite()) {
      filters_name_cb_->addItem(transport->GetDescription(), transport_class.class_name);
    }
  }
  filters_name_cb_->setEnabled(!temporary);
  group_box1_->setVisible(filters_name_cb_->count() > 1);
  const int current =
      filter.IOTransport()
          ? filters_name_cb_->findData(filter.IOTransport()->GetMetaClass().ClassName())
          : -1;
  filters_name_cb_->setCurrentIndex(current >= 0 ? current : 0);

  if (!filter.PageNumbers().isEmpty()) {
    page_numbers_e_->setText(filter.PageNumbers());
    page_numbers_rb_->setChecked(true);
  } else if (filter.CurPage()) {
    cur_page_rb_->setChecked(true);
  } else {
    all_rb_->setChecked(true);
  }

  if (filter.FileName().isEmpty() && !temporary && filter.Report() &&
      !filter.Report()->FileName().isEmpty()) {
    filter.SetFileName(QFileInfo(filter.Report()->FileName()).completeBaseName() +
                       filter.DefaultExt());
  }
}

ovx::ModalResult TovxBaseExportDialog::Execute() {
  ArrangePages();
  return exec() == QDialog::Accepted ? ovx::ModalResult::kOk : ovx::ModalResult::kCancel;
}

void TovxBaseExportDialog::CopyTo(TovxCustomExportFilter& filter) {
  const QString class_name = filters_name_cb_->currentData().toString();
  for (const ovx::TransportClass& transport_class : ovx::TransportClasses()) {
    if (transport_class.class_name == class_name) {
      filter.SetDialogTransport(transport_class.create());
      break;
    }
  }
  filter.SetPageNumbers(QString());
  filter.SetCurPage(false);
  if (cur_page_rb_->isChecked()) {
    filter.SetCurPage(true);
  } else if (page_numbers_rb_->isChecked()) {
    filter.SetPageNumbers(page_numbers_e_->text());
  }
  filter.SetOpenAfterExport(open_cb_->isChecked());
}

// --- TovxIMGExportDialog -------------------------------------------------------------------

TovxIMGExportDialog::TovxIMGExportDialog(QWidget* parent) : TovxBaseExportDialog(parent) {
  setObjectName(QStringLiteral("TovxIMGExportDialog"));
  SetTag(this, 8600);
  // Its only control, "open after export", does not apply to images.
  GroupQuality()->hide();

  group_image_ = Named(new QGroupBox(ExportPage()), "GroupImage");
  SetTag(group_image_, 8601);
  auto* layout = new QVBoxLayout(group_image_);
  mono_ = Named(new QCheckBox(group_image_), "Mono");
  SetTag(mono_, 8606);
  crop_page_ = Named(new QCheckBox(group_image_), "CropPage");
  SetTag(crop_page_, 8605);
  quality_l_ = Named(new QLabel(group_image_), "QualityL");
  SetTag(quality_l_, 8602);
  quality_ = Named(new QSpinBox(group_image_), "Quality");
  quality_->setRange(1, 100);
  quality_l_->setBuddy(quality_);
  resolution_l_ = Named(new QLabel(group_image_), "ResolutionL");
  SetTag(resolution_l_, 8603);
  resolution_ = Named(new QSpinBox(group_image_), "Resolution");
  resolution_->setRange(1, 2400);
  resolution_l_->setBuddy(resolution_);
  auto* numbers = new QHBoxLayout;
  numbers->addWidget(quality_l_);
  numbers->addWidget(quality_);
  numbers->addSpacing(12);
  numbers->addWidget(resolution_l_);
  numbers->addWidget(resolution_);
  numbers->addStretch();
  layout->addLayout(numbers);
  layout->addWidget(crop_page_);
  layout->addWidget(mono_);
  auto* page_layout = static_cast<QVBoxLayout*>(ExportPage()->layout());
  page_layout->insertWidget(page_layout->indexOf(GroupQuality()) + 1, group_image_);

  separate_cb_ = Named(new QCheckBox(GroupPageRange()), "SeparateCB");
  SetTag(separate_cb_, 8604);
  PageRangeLayout()->addWidget(separate_cb_);
}

void TovxIMGExportDialog::FillFrom(TovxCustomExportFilter& filter) {
  TovxBaseExportDialog::FillFrom(filter);
  OpenCB()->hide();
  auto* image = dynamic_cast<TovxCustomImageExport*>(&filter);
  if (!image) return;
  quality_->setValue(image->JPEGQuality());
  quality_->setEnabled(image->UsesQuality());
  quality_l_->setEnabled(image->UsesQuality());
  resolution_->setValue(image->Resolution());
  mono_->setChecked(image->Monochrome());
  crop_page_->setChecked(image->CropImages());
  if (filter.TemporaryOutput()) {
    separate_cb_->setChecked(false);
    separate_cb_->hide();
  } else {
    separate_cb_->setChecked(image->SeparateFiles());
  }
}

void TovxIMGExportDialog::CopyTo(TovxCustomExportFilter& filter) {
  TovxBaseExportDialog::CopyTo(filter);
  auto* image = dynamic_cast<TovxCustomImageExport*>(&filter);
  if (!image) return;
  image->SetJPEGQuality(quality_->value());
  image->SetResolution(resolution_->value());
  image->SetMonochrome(mono_->isChecked());
  image->SetCropImages(crop_page_->isChecked());
  image->SetSeparateFiles(separate_cb_->isChecked());
}

// --- installation --------------------------------------------------------------------------

namespace ovx {

namespace {

std::optional<QString> AskSaveFileName(const SaveDialogRequest& request) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QString suffix = request.default_ext;
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  if (!request.filter.isEmpty()) dialog.setNameFilter(request.filter);
  if (!request.initial_folder.isEmpty()) dialog.setDirectory(request.initial_folder);
  if (!request.initial_name.isEmpty()) dialog.selectFile(request.initial_name);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwrite_prompt);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace

void InstallExportDialogs() {
  RegisterExportDialog(QStringLiteral("TovxBaseExportDialog"), [] {
    return std::make_unique<TovxBaseExportDialog>(QApplication::activeWindow());
  });
  RegisterExportDialog(QStringLiteral("TovxIMGExportDialog"), [] {
    return std::make_unique<TovxIMGExportDialog>(QApplication::activeWindow());
  });
  SetSaveDialogHook(&AskSaveFileName);
}

}  // namespace ovx
