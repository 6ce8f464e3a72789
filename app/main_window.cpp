#include "app/main_window.h"

#include "app/core/export_settings.h"
#include "app/core/fixed_data.h"
#include "base/error.h"
#include "engine/engine.h"
#include "export/image_export.h"
#include "export/pdf_export.h"
#include "platform/font_service.h"
#include "report/model/report.h"
#include "report/model/report_preparation.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TfrmMain::TfrmMain(const QString& data_directory, QWidget* parent)
    : QWidget(parent), data_directory_(data_directory), ovx1_(std::make_unique<TovxReport>()) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Velmora打印"));
  // The window's own texts need a CJK face; Qt's fontconfig picks it from
  // these families, which the program's packages install.
  QFont window_font = font();
  window_font.setFamilies({QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei"),
                           window_font.family()});
  setFont(window_font);

  chk1_ = new QCheckBox(QStringLiteral("封面加背景（420X300)"), this);
  chk2_ = new QCheckBox(QStringLiteral("正文加背景"), this);
  chk3_ = new QCheckBox(QStringLiteral("去掉标点符号"), this);
  for (auto [box, name] : {std::pair{chk1_, "chk1"}, {chk2_, "chk2"}, {chk3_, "chk3"}}) {
    box->setObjectName(QLatin1String(name));
    box->setChecked(true);
  }
  lbl3_ = new QLabel(QStringLiteral("在A4纸上打印4页："), this);
  lbl3_->setObjectName(QStringLiteral("lbl3"));
  btn2_ = new QPushButton(QStringLiteral("打印"), this);
  btn2_->setObjectName(QStringLiteral("btn2"));
  lbl_status_ = new QLabel(this);
  lbl_status_->setObjectName(QStringLiteral("lblStatus"));
  lbl_status_->setWordWrap(true);

  auto hidden_text = [this](const char* name, const QStringList& lines) {
    auto* edit = new QPlainTextEdit(this);
    edit->setObjectName(QLatin1String(name));
    edit->setPlainText(lines.join(u'\n'));
    edit->hide();
    return edit;
  };
  memo1_ = hidden_text("Memo1", ovx::app::BodyTextLines());
  metitle_ = hidden_text("Metitle", ovx::app::TitleLines());
  metitle_->setFont(QFont(QStringLiteral("黑体-Velmora")));
  memo2_ = hidden_text("Memo2", ovx::app::TemplateLines());
  auto hidden_number = [this](const char* name, int value) {
    auto* edit = new QSpinBox(this);
    edit->setObjectName(QLatin1String(name));
    edit->setRange(1, ovx::app::kMaxGridNumber);
    edit->setValue(value);
    edit->hide();
    return edit;
  };
  edt1_ = hidden_number("edt1", ovx::app::kDefaultLines);
  edt2_ = hidden_number("edt2", ovx::app::kDefaultChars);

  dlg_font1_ = QFont(QString::fromUtf16(ovx::app::kHolderInitialFace));
  dlg_font1_.setPointSize(ovx::app::kTitlePoints);
  dlg_font1_.setBold(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chk1_);
  layout->addWidget(chk2_);
  layout->addWidget(chk3_);
  layout->addStretch();
  layout->addWidget(lbl3_);
  layout->addWidget(btn2_);
  layout->addWidget(lbl_status_);
  resize(411, 333);

  connect(btn2_, &QPushButton::clicked, this, &TfrmMain::btn2Click);
  show_error = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
  // The hand cursor shows while the engine prints objects.
  ovx1_->on_before_print = [this](TovxComponent&) { setCursor(Qt::PointingHandCursor); };
  ovx1_->on_after_print = [this](TovxComponent&) { unsetCursor(); };
  ovx1_->show_error = [this](const QString& text) { show_error(text); };
  // The preview offers exactly the buttons the application chose; loading
  // the template does not change them.
  ovx1_->PreviewOptions().SetButtons(ovx::app::ApplicationPreviewButtons());
  ovx1_->PreviewOptions().SetZoom(1);

  ovx_pdf_export1_ = std::make_unique<TovxPDFExport>();
  ovx::app::ApplyPdfExportSettings(*ovx_pdf_export1_);
  ovx_jpeg_export1_ = std::make_unique<TovxJPEGExport>();
  ovx::app::ApplyJpegExportSettings(*ovx_jpeg_export1_);

  FormCreate();
}

TfrmMain::~TfrmMain() { RemoveFont(); }

void TfrmMain::FormCreate() {
  // As on the original platform, a missing font is not an error: the views
  // still name the face and the font service substitutes one.
  font_path_ = QDir(data_directory_).filePath(QLatin1String(ovx::app::kPrivateFontFile));
  font_registered_ = ovx::FontService::Instance().AddPrivateFont(font_path_);
  qt_font_id_ = QFontDatabase::addApplicationFont(font_path_);
}

void TfrmMain::FormShow() {
  const QString face = QString::fromUtf16(ovx::app::kPrivateFace);
  typesetter_.SetCurrentFace(face);
  typesetter_.SetHolderFace(face);
  dlg_font1_.setFamily(face);
  metitle_->setFont(dlg_font1_);
}

void TfrmMain::FormClose() { RemoveFont(); }

void TfrmMain::RemoveFont() {
  if (font_registered_) ovx::FontService::Instance().RemovePrivateFont(font_path_);
  font_registered_ = false;
  if (qt_font_id_ >= 0) QFontDatabase::removeApplicationFont(qt_font_id_);
  qt_font_id_ = -1;
}

void TfrmMain::showEvent(QShowEvent* event) {
  PrepareHidden();
  QWidget::showEvent(event);
}

void TfrmMain::PrepareHidden() {
  if (!shown_once_) FormShow();
  shown_once_ = true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  FormClose();
  QWidget::closeEvent(event);
}

ovx::app::PrintSettings TfrmMain::CurrentSettings() const {
  ovx::app::PrintSettings settings;
  settings.body_lines = memo1_->toPlainText().split(u'\n');
  settings.title_lines = metitle_->toPlainText().split(u'\n');
  settings.cover_background = chk1_->isChecked();
  settings.body_background = chk2_->isChecked();
  settings.remove_punctuation = chk3_->isChecked();
  settings.lines = edt1_->text();
  settings.chars = edt2_->text();
  settings.data_directory = data_directory_;
  return settings;
}

QString TfrmMain::StatusText() const { return lbl_status_->text(); }

void TfrmMain::ApplySettings(const ovx::app::PrintSettings& settings) {
  memo1_->setPlainText(settings.body_lines.join(u'\n'));
  metitle_->setPlainText(settings.title_lines.join(u'\n'));
  chk1_->setChecked(settings.cover_background);
  chk2_->setChecked(settings.body_background);
  chk3_->setChecked(settings.remove_punctuation);
  edt1_->setValue(ovx::app::ReadGridNumber(settings.lines, QStringLiteral("lines")));
  edt2_->setValue(ovx::app::ReadGridNumber(settings.chars, QStringLiteral("chars")));
}

void TfrmMain::ShowBuildStatus() {
  if (!builder_) return;
  const ovx::app::BuildResult result = builder_->Result();
  QString status = QStringLiteral("已生成报表：封面 1 页，正文 %1 页，共 %2 个字格。")
                       .arg(result.body_pages)
                       .arg(result.cells);
  if (!builder_->Finished()) {
    status += QStringLiteral("正文尚未排完（排版已取消或仍在进行）。");
  } else if (result.left_out_characters > 0) {
    status += QStringLiteral("正文超过 %1 页的上限，共 %2 字，其中 %3 字未排入。")
                  .arg(ovx::app::kMaxBodyPages)
                  .arg(result.text_characters)
                  .arg(result.left_out_characters);
  }
  if (result.dropped_controls > 0) {
    status += QStringLiteral("已删去正文中的 %1 个控制字符。").arg(result.dropped_controls);
  }
  if (!result.title_fits) {
    status += QStringLiteral("标题过长，封面放不下，首尾被截去。");
  } else if (result.title_points < ovx::app::kTitlePoints) {
    status += QStringLiteral("标题过长，已缩小为 %1 磅。").arg(result.title_points);
  }
  if (font_missing_) {
    status += QStringLiteral("私有字体 %1 不存在，以替代字体显示。")
                  .arg(QDir::toNativeSeparators(font_path_));
  }
  lbl_status_->setText(status);
}

void TfrmMain::btn2Click() {
  // A preview that is not modal may still be preparing this report: the
  // template must not be reloaded under the engine.
  if (ovx::ReportPreparation* preparation = ovx1_->Preparation();
      preparation && preparation->Running()) {
    return;
  }
  lbl_status_->clear();
  TovxEngine* engine = ovx::ReportEngine(*ovx1_);
  if (engine) engine->more_pages = nullptr;
  try {
    // A damaged private font stops the command (its pages would silently
    // take another face); a missing one is the window's old, documented
    // case: the face is substituted, and the status line says so.
    font_missing_ = !QFileInfo::exists(font_path_);
    if (!font_missing_) ovx::app::CheckPrivateFont(data_directory_);
    builder_ = std::make_unique<ovx::app::ReportBuilder>(*ovx1_, typesetter_);
    builder_->Start(CurrentSettings());
    if (engine) {
      // The body pages are typeset as the preparation reaches them, so the
      // preview shows the first ones at once, however long the text.
      engine->more_pages = [this, builder = builder_.get()] {
        if (!builder->AddBodyPage()) return false;
        if (builder->Finished()) ShowBuildStatus();
        return true;
      };
    } else {
      while (builder_->AddBodyPage()) {
      }
    }
    ShowBuildStatus();
    // Prepares the report in the preview window, which stays open until
    // the user closes it when it is modal (the application's choice).
    ovx1_->ShowReport(true);
    ShowBuildStatus();
  } catch (const ovx::Error& e) {
    lbl_status_->setText(QStringLiteral("打印失败。"));
    show_error(e.Message());
  }
}
