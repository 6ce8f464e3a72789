#include "preview/page_settings_form.h"

#include "base/number_format.h"
#include "report/model/page.h"
#include "resources/resources.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Paper sides beyond this are taken for typing errors: pages that big
// would only make images and files out of all proportion.
constexpr double kMaxPaperMillimetres = 5000;

QString Text(int number) { return TovxResources::Instance().GetNumbered(number); }

}  // namespace

TovxPageSettingsForm::Unit TovxPageSettingsForm::StoredUnit() {
  const QSettings settings(QStringLiteral("Velmora"), QStringLiteral("velmora"));
  // 0 centimetres, 1 inches; pixels and characters (2, 3) show centimetres.
  return settings.value(QStringLiteral("Form5.TovxDesignerForm/Units"), 0).toInt() == 1
             ? Unit::kInches
             : Unit::kCentimetres;
}

TovxPageSettingsForm::TovxPageSettingsForm(QWidget* parent, Unit unit)
    : QDialog(parent), unit_(unit), millimetres_per_unit_(unit == Unit::kInches ? 25.4 : 10) {
  const TovxResources& texts = TovxResources::Instance();
  const QString unit_text = texts.Get(unit == Unit::kInches ? u"uInch" : u"uCm");
  setObjectName(QStringLiteral("PageSettingsForm"));
  setWindowTitle(Text(400));
  auto* layout = new QVBoxLayout(this);

  auto* paper_box = new QGroupBox(Text(403), this);
  auto* paper_layout = new QGridLayout(paper_box);
  paper_ = new QComboBox(paper_box);
  paper_->setObjectName(QStringLiteral("PaperCB"));
  for (const ovx::PaperInfo& paper : ovx::StandardPapers())
    paper_->addItem(paper.name, paper.number);
  paper_->addItem(Text(412), ovx::kPaperCustom);
  paper_layout->addWidget(paper_, 0, 0, 1, 3);
  width_ = new QLineEdit(paper_box);
  width_->setObjectName(QStringLiteral("WidthE"));
  height_ = new QLineEdit(paper_box);
  height_->setObjectName(QStringLiteral("HeightE"));
  paper_layout->addWidget(new QLabel(Text(401), paper_box), 1, 0);
  paper_layout->addWidget(width_, 1, 1);
  paper_layout->addWidget(new QLabel(unit_text, paper_box), 1, 2);
  paper_layout->addWidget(new QLabel(Text(402), paper_box), 2, 0);
  paper_layout->addWidget(height_, 2, 1);
  paper_layout->addWidget(new QLabel(unit_text, paper_box), 2, 2);
  layout->addWidget(paper_box);

  auto* orientation_box = new QGroupBox(Text(404), this);
  auto* orientation_layout = new QHBoxLayout(orientation_box);
  portrait_ = new QRadioButton(Text(410), orientation_box);
  portrait_->setObjectName(QStringLiteral("PortraitRB"));
  landscape_ = new QRadioButton(Text(411), orientation_box);
  landscape_->setObjectName(QStringLiteral("LandscapeRB"));
  orientation_layout->addWidget(portrait_);
  orientation_layout->addWidget(landscape_);
  portrait_->setChecked(true);
  layout->addWidget(orientation_box);

  auto* margins_box = new QGroupBox(Text(409), this);
  auto* margins_layout = new QGridLayout(margins_box);
  auto margin = [&](int text, const char* name, int row, int column) {
    auto* edit = new QLineEdit(margins_box);
    edit->setObjectName(QLatin1String(name));
    margins_layout->addWidget(new QLabel(Text(text), margins_box), row, column * 3);
    margins_layout->addWidget(edit, row, column * 3 + 1);
    margins_layout->addWidget(new QLabel(unit_text, margins_box), row, column * 3 + 2);
    return edit;
  };
  left_ = margin(405, "LeftE", 0, 0);
  top_ = margin(406, "TopE", 0, 1);
  right_ = margin(407, "RightE", 1, 0);
  bottom_ = margin(408, "BottomE", 1, 1);
  layout->addWidget(margins_box);

  auto* apply_box = new QWidget(this);
  auto* apply_layout = new QHBoxLayout(apply_box);
  apply_layout->setContentsMargins(0, 0, 0, 0);
  this_page_ = new QRadioButton(Text(413), apply_box);
  this_page_->setObjectName(QStringLiteral("ThisPageRB"));
  all_pages_ = new QRadioButton(Text(414), apply_box);
  all_pages_->setObjectName(QStringLiteral("AllPagesRB"));
  this_page_->setChecked(true);
  apply_layout->addWidget(this_page_);
  apply_layout->addWidget(all_pages_);
  layout->addWidget(apply_box);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Text(1));
  buttons->button(QDialogButtonBox::Cancel)->setText(Text(2));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  connect(paper_, &QComboBox::currentIndexChanged, this, &TovxPageSettingsForm::PaperChosen);
  connect(width_, &QLineEdit::textEdited, this, &TovxPageSettingsForm::SizeTyped);
  connect(height_, &QLineEdit::textEdited, this, &TovxPageSettingsForm::SizeTyped);
  connect(portrait_, &QRadioButton::toggled, this, &TovxPageSettingsForm::OrientationChosen);
}

QString TovxPageSettingsForm::Show(double millimetres) const {
  // Two decimals are enough on paper and keep the box readable.
  return ovx::FormatFloat(std::round(millimetres / millimetres_per_unit_ * 100) / 100);
}

std::optional<double> TovxPageSettingsForm::Read(const QLineEdit* edit) const {
  const std::optional<double> value = ovx::ParseFloat(edit->text());
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return *value * millimetres_per_unit_;
}

void TovxPageSettingsForm::SetPage(const TovxReportPage& page) {
  Settings settings;
  settings.paper_size = page.PaperSize();
  settings.paper_width = page.PaperWidth();
  settings.paper_height = page.PaperHeight();
  settings.orientation = page.Orientation();
  settings.left_margin = page.LeftMargin();
  settings.top_margin = page.TopMargin();
  settings.right_margin = page.RightMargin();
  settings.bottom_margin = page.BottomMargin();
  SetValues(settings);
}

void TovxPageSettingsForm::SetValues(const Settings& settings) {
  updating_ = true;
  SelectPaper(settings.paper_size);
  width_->setText(Show(settings.paper_width));
  height_->setText(Show(settings.paper_height));
  shown_orientation_ = settings.orientation;
  (settings.orientation == TovxPrinterOrientation::poLandscape ? landscape_ : portrait_)
      ->setChecked(true);
  left_->setText(Show(settings.left_margin));
  top_->setText(Show(settings.top_margin));
  right_->setText(Show(settings.right_margin));
  bottom_->setText(Show(settings.bottom_margin));
  (settings.apply_to_all ? all_pages_ : this_page_)->setChecked(true);
  updating_ = false;
}

void TovxPageSettingsForm::SelectPaper(int number) {
  int index = paper_->findData(number);
  if (index < 0) index = paper_->findData(ovx::kPaperCustom);
  paper_->setCurrentIndex(index);
}

void TovxPageSettingsForm::PaperChosen() {
  if (updating_) return;
  const int number = paper_->currentData().toInt();
  const std::optional<ovx::PaperInfo> paper = ovx::CurrentPaperSource().Find(number);
  if (!paper) return;
  double width = paper->width;
  double height = paper->height;
  if (landscape_->isChecked()) std::swap(width, height);
  updating_ = true;
  width_->setText(Show(width));
  height_->setText(Show(height));
  updating_ = false;
}

void TovxPageSettingsForm::SizeTyped() {
  if (updating_) return;
  updating_ = true;
  SelectPaper(ovx::kPaperCustom);
  updating_ = false;
}

void TovxPageSettingsForm::OrientationChosen() {
  const TovxPrinterOrientation chosen = landscape_->isChecked()
                                            ? TovxPrinterOrientation::poLandscape
                                            : TovxPrinterOrientation::poPortrait;
  if (updating_ || chosen == shown_orientation_) return;
  shown_orientation_ = chosen;
  // The sheet turns: width and height change places.
  updating_ = true;
  const QString width = width_->text();
  width_->setText(height_->text());
  height_->setText(width);
  updating_ = false;
}

std::optional<TovxPageSettingsForm::Settings> TovxPageSettingsForm::TryValues() const {
  Settings settings;
  settings.paper_size = paper_->currentData().toInt();
  settings.orientation = landscape_->isChecked() ? TovxPrinterOrientation::poLandscape
                                                 : TovxPrinterOrientation::poPortrait;
  settings.apply_to_all = all_pages_->isChecked();
  const auto width = Read(width_);
  const auto height = Read(height_);
  const auto left = Read(left_);
  const auto top = Read(top_);
  const auto right = Read(right_);
  const auto bottom = Read(bottom_);
  if (!width || !height || !left || !top || !right || !bottom) return std::nullopt;
  if (*width <= 0 || *height <= 0 || *width > kMaxPaperMillimetres ||
      *height > kMaxPaperMillimetres) {
    return std::nullopt;
  }
  // The margins must leave some paper to print on.
  if (*left < 0 || *top < 0 || *right < 0 || *bottom < 0 || *left + *right >= *width ||
      *top + *bottom >= *height) {
    return std::nullopt;
  }
  settings.paper_width = *width;
  settings.paper_height = *height;
  settings.left_margin = *left;
  settings.top_margin = *top;
  settings.right_margin = *right;
  settings.bottom_margin = *bottom;
  return settings;
}

void TovxPageSettingsForm::accept() {
  const std::optional<Settings> values = TryValues();
  if (!values) {
    QMessageBox::warning(this, windowTitle(), TovxResources::Instance().Get(u"prInvProp"));
    return;
  }
  accepted_ = *values;
  QDialog::accept();
}

void TovxPageSettingsForm::Apply(const Settings& settings, TovxReportPage& page) {
  page.SetOrientation(settings.orientation);
  page.SetPaperWidth(settings.paper_width);
  page.SetPaperHeight(settings.paper_height);
  // A standard paper's own size (in the orientation) replaces the typed one.
  if (settings.paper_size != ovx::kPaperCustom) page.SetPaperSize(settings.paper_size);
  page.SetLeftMargin(settings.left_margin);
  page.SetTopMargin(settings.top_margin);
  page.SetRightMargin(settings.right_margin);
  page.SetBottomMargin(settings.bottom_margin);
}
