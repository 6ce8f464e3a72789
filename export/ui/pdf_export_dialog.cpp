// The PDF filter's settings dialog; see pdf_export_dialog.h.
#include "export/ui/pdf_export_dialog.h"

#include "export/pdf_export.h"
#include "report/model/report.h"
#include "resources/resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Text(int tag) { return TovxResources::Instance().GetNumbered(tag); }

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, int tag) {
  auto* box = Named(new QCheckBox(Text(tag), parent), name);
  return box;
}

QLineEdit* Edit(QWidget* parent, const char* name) { return Named(new QLineEdit(parent), name); }

}  // namespace

TovxPDFExportDialog::TovxPDFExportDialog(QWidget* parent) : TovxBaseExportDialog(parent) {
  setObjectName(QStringLiteral("TovxPDFExportDialog"));
  SetTag(this, 8700);

  // Export tab: the options below "open after export".
  QGroupBox* options = GroupQuality();
  compressed_cb_ = CheckBox(options, "CompressedCB", 8712);
  embedded_cb_ = CheckBox(options, "EmbeddedCB", 8702);
  print_opt_cb_ = CheckBox(options, "PrintOptCB", 8703);
  outline_cb_ = CheckBox(options, "OutlineCB", 8704);
  backgr_cb_ = CheckBox(options, "BackgrCB", 8705);
  transparent_cb_ = CheckBox(options, "TransparentCB", 8709);
  for (QCheckBox* box :
       {compressed_cb_, embedded_cb_, print_opt_cb_, outline_cb_, backgr_cb_, transparent_cb_}) {
    QualityLayout()->addWidget(box);
  }
  auto* numbers = new QFormLayout;
  quality_edit_ = Named(new QSpinBox(options), "QualityEdit");
  quality_edit_->setRange(1, 100);
  numbers->addRow(Named(new QLabel(Text(8602), options), "QualityL"), quality_edit_);
  standard_cb_ = Named(new QComboBox(options), "PDFStandardComboBox");
  for (int i = 0; i <= static_cast<int>(TPDFStandard::psPDFA_3b); ++i) {
    standard_cb_->addItem(ovx::PdfStandardName(static_cast<TPDFStandard>(i)));
  }
  numbers->addRow(Named(new QLabel(Text(8710), options), "PDFStandardL"), standard_cb_);
  version_cb_ = Named(new QComboBox(options), "PDFVersionComboBox");
  for (int i = 0; i <= static_cast<int>(TPDFVersion::pv17); ++i) {
    version_cb_->addItem(ovx::PdfVersionName(static_cast<TPDFVersion>(i)));
  }
  numbers->addRow(Named(new QLabel(Text(8711), options), "PDFVersionL"), version_cb_);
  QualityLayout()->addLayout(numbers);
  connect(standard_cb_, &QComboBox::currentIndexChanged, this, [this] { StandardChanged(); });

  // Information.
  auto* information = Named(new QWidget, "InfoPage");
  auto* info_group = Named(new QGroupBox(Text(8971), information), "DocInfoGroup");
  auto* info_form = new QFormLayout(info_group);
  title_e_ = Edit(info_group, "TitleE");
  author_e_ = Edit(info_group, "AuthorE");
  subject_e_ = Edit(info_group, "SubjectE");
  keywords_e_ = Edit(info_group, "KeywordsE");
  creator_e_ = Edit(info_group, "CreatorE");
  producer_e_ = Edit(info_group, "ProducerE");
  int tag = 8973;
  for (QLineEdit* edit : {title_e_, author_e_, subject_e_, keywords_e_, creator_e_, producer_e_}) {
    info_form->addRow(new QLabel(Text(tag++), info_group), edit);
  }
  auto* info_layout = new QVBoxLayout(information);
  info_layout->addWidget(info_group);
  info_layout->addStretch();
  AddPage(information, Text(8972));

  // Security.
  auto* security = Named(new QWidget, "SecurityPage");
  security_group_ = Named(new QGroupBox(Text(8961), security), "SecurityGroup");
  auto* passwords = new QFormLayout(security_group_);
  own_pass_e_ = Edit(security_group_, "OwnPassE");
  user_pass_e_ = Edit(security_group_, "UserPassE");
  for (QLineEdit* edit : {own_pass_e_, user_pass_e_}) edit->setEchoMode(QLineEdit::Password);
  passwords->addRow(new QLabel(Text(8963), security_group_), own_pass_e_);
  passwords->addRow(new QLabel(Text(8964), security_group_), user_pass_e_);
  permissions_group_ = Named(new QGroupBox(Text(8965), security), "PermissionsGroup");
  auto* permissions = new QVBoxLayout(permissions_group_);
  print_cb_ = CheckBox(permissions_group_, "PrintCB", 8966);
  mod_cb_ = CheckBox(permissions_group_, "ModCB", 8967);
  copy_cb_ = CheckBox(permissions_group_, "CopyCB", 8968);
  annot_cb_ = CheckBox(permissions_group_, "AnnotCB", 8969);
  for (QCheckBox* box : {print_cb_, mod_cb_, copy_cb_, annot_cb_}) permissions->addWidget(box);
  auto* security_layout = new QVBoxLayout(security);
  security_layout->addWidget(security_group_);
  security_layout->addWidget(permissions_group_);
  security_layout->addStretch();
  AddPage(security, Text(8962));

  // Viewer.
  auto* viewer = Named(new QWidget, "ViewerPage");
  auto* viewer_group = Named(new QGroupBox(Text(8979), viewer), "ViewerGroup");
  auto* viewer_options = new QVBoxLayout(viewer_group);
  hide_toolbar_cb_ = CheckBox(viewer_group, "HideToolbarCB", 8983);
  hide_menubar_cb_ = CheckBox(viewer_group, "HideMenubarCB", 8984);
  hide_window_ui_cb_ = CheckBox(viewer_group, "HideWindowUICB", 8985);
  fit_window_cb_ = CheckBox(viewer_group, "FitWindowCB", 8986);
  center_window_cb_ = CheckBox(viewer_group, "CenterWindowCB", 8987);
  print_scaling_cb_ = CheckBox(viewer_group, "PrintScalingCB", 8988);
  for (QCheckBox* box : {hide_toolbar_cb_, hide_menubar_cb_, hide_window_ui_cb_, fit_window_cb_,
                         center_window_cb_, print_scaling_cb_}) {
    viewer_options->addWidget(box);
  }
  auto* viewer_layout = new QVBoxLayout(viewer);
  viewer_layout->addWidget(viewer_group);
  viewer_layout->addStretch();
  AddPage(viewer, Text(8981));
}

void TovxPDFExportDialog::StandardChanged() {
  const auto standard = static_cast<TPDFStandard>(std::max(0, standard_cb_->currentIndex()));
  const int part = ovx::PdfAPart(standard);
  version_cb_->setEnabled(part == 0);
  if (part > 0) {
    version_cb_->setCurrentIndex(
        static_cast<int>(part == 1 ? TPDFVersion::pv14 : TPDFVersion::pv17));
    embedded_cb_->setChecked(true);
  }
  embedded_cb_->setEnabled(part == 0);
  security_group_->setVisible(part == 0);
  permissions_group_->setVisible(part == 0);
  if (part == 1) transparent_cb_->setChecked(false);
  transparent_cb_->setEnabled(part != 1);
}

void TovxPDFExportDialog::FillFrom(TovxCustomExportFilter& filter) {
  TovxBaseExportDialog::FillFrom(filter);
  OpenCB()->show();
  auto* pdf = dynamic_cast<TovxPDFExport*>(&filter);
  if (!pdf) return;
  // The outline can be exported only when the report shows one.
  const bool outline = filter.Report() ? filter.Report()->PreviewOptions().OutlineVisible() : true;
  outline_cb_->setChecked(pdf->Outline() && outline);
  outline_cb_->setEnabled(outline);
  compressed_cb_->setChecked(pdf->Compressed());
  embedded_cb_->setChecked(pdf->EmbeddedFonts());
  print_opt_cb_->setChecked(pdf->PrintOptimized());
  backgr_cb_->setChecked(pdf->Background());
  transparent_cb_->setChecked(pdf->Transparency());
  quality_edit_->setValue(pdf->Quality());
  version_cb_->setCurrentIndex(static_cast<int>(pdf->PDFVersion()));
  standard_cb_->setCurrentIndex(static_cast<int>(pdf->PDFStandard()));
  StandardChanged();

  title_e_->setText(pdf->Title());
  author_e_->setText(pdf->Author());
  subject_e_->setText(pdf->Subject());
  keywords_e_->setText(pdf->Keywords());
  creator_e_->setText(pdf->Creator());
  producer_e_->setText(pdf->Producer());

  own_pass_e_->setText(pdf->OwnerPassword());
  user_pass_e_->setText(pdf->UserPassword());
  const TovxPDFPermissions flags = pdf->ProtectionFlags();
  print_cb_->setChecked(flags.Contains(TovxPDFPermission::ePrint));
  mod_cb_->setChecked(flags.Contains(TovxPDFPermission::eModify));
  copy_cb_->setChecked(flags.Contains(TovxPDFPermission::eCopy));
  annot_cb_->setChecked(flags.Contains(TovxPDFPermission::eAnnot));

  hide_toolbar_cb_->setChecked(pdf->HideToolbar());
  hide_menubar_cb_->setChecked(pdf->HideMenubar());
  hide_window_ui_cb_->setChecked(pdf->HideWindowUI());
  fit_window_cb_->setChecked(pdf->FitWindow());
  center_window_cb_->setChecked(pdf->CenterWindow());
  print_scaling_cb_->setChecked(pdf->PrintScaling());
}

void TovxPDFExportDialog::CopyTo(TovxCustomExportFilter& filter) {
  TovxBaseExportDialog::CopyTo(filter);
  auto* pdf = dynamic_cast<TovxPDFExport*>(&filter);
  if (!pdf) return;
  pdf->SetOwnerPassword(own_pass_e_->text());
  pdf->SetUserPassword(user_pass_e_->text());
  TovxPDFPermissions flags;
  flags = flags.With(TovxPDFPermission::ePrint, print_cb_->isChecked())
              .With(TovxPDFPermission::eModify, mod_cb_->isChecked())
              .With(TovxPDFPermission::eCopy, copy_cb_->isChecked())
              .With(TovxPDFPermission::eAnnot, annot_cb_->isChecked());
  pdf->SetProtectionFlags(flags);
  // The standard first: the version, fonts and transparency below then
  // follow its rules.
  pdf->SetPDFStandard(ovx::PdfStandardFromName(standard_cb_->currentText()));
  pdf->SetPDFVersion(ovx::PdfVersionFromName(version_cb_->currentText()));
  pdf->SetCompressed(compressed_cb_->isChecked());
  pdf->SetEmbeddedFonts(embedded_cb_->isChecked());
  pdf->SetPrintOptimized(print_opt_cb_->isChecked());
  pdf->SetOutline(outline_cb_->isChecked());
  pdf->SetBackground(backgr_cb_->isChecked());
  pdf->SetQuality(quality_edit_->value());
  pdf->SetTitle(title_e_->text());
  pdf->SetAuthor(author_e_->text());
  pdf->SetSubject(subject_e_->text());
  pdf->SetKeywords(keywords_e_->text());
  pdf->SetCreator(creator_e_->text());
  pdf->SetProducer(producer_e_->text());
  pdf->SetHideToolbar(hide_toolbar_cb_->isChecked());
  pdf->SetHideMenubar(hide_menubar_cb_->isChecked());
  pdf->SetHideWindowUI(hide_window_ui_cb_->isChecked());
  pdf->SetFitWindow(fit_window_cb_->isChecked());
  pdf->SetCenterWindow(center_window_cb_->isChecked());
  pdf->SetPrintScaling(print_scaling_cb_->isChecked());
  pdf->SetTransparency(transparent_cb_->isChecked());
}

namespace ovx {

void InstallPdfExportDialog() {
  RegisterExportDialog(QStringLiteral("TovxPDFExportDialog"), [] {
    return std::make_unique<TovxPDFExportDialog>(QApplication::activeWindow());
  });
}

}  // namespace ovx
