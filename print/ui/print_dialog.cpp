#include "print/ui/print_dialog.h"

#include "engine/preview_pages.h"
#include "print/print_job.h"
#include "print/printers.h"
#include "report/model/report.h"
#include "resources/image_catalogue.h"
#include "resources/resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Text(int number) { return TovxResources::Instance().GetNumbered(number); }
QString Text(const char* name) { return TovxResources::Instance().Get(QString::fromLatin1(name)); }

// The group texts keep no accelerator: they label, they are not pressed.
QString Plain(QString text) { return text.remove(QLatin1String("&")); }

// A small sheet with a folded look and a few text lines (or a number).
void DrawSheet(QPainter& p, const QRectF& r, const QString& number = QString()) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  p.setPen(QPen(Qt::gray, 1));
  if (number.isEmpty()) {
    for (double y = r.top() + 4; y < r.bottom() - 2; y += 4)
      p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
  } else {
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, number);
  }
}

// The 64 x 32 pictures of the four print modes.
QPixmap ModeIcon(TovxPrintMode mode) {
  QPixmap pixmap(64, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  switch (mode) {
    case TovxPrintMode::pmDefault:
      DrawSheet(p, QRectF(22.5, 2.5, 19, 27));
      break;
    case TovxPrintMode::pmSplit:
      // One page over four sheets.
      DrawSheet(p, QRectF(16.5, 1.5, 31, 29));
      p.setPen(QPen(Qt::red, 1, Qt::DashLine));
      p.drawLine(QPointF(32, 1), QPointF(32, 31));
      p.drawLine(QPointF(16, 16), QPointF(48, 16));
      break;
    case TovxPrintMode::pmJoin:
      // Four pages on one sheet.
      p.setPen(Qt::black);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(12.5, 2.5, 39, 27));
      for (int i = 0; i < 4; ++i)
        DrawSheet(p, QRectF(14.5 + (i % 2) * 18, 4.5 + (i / 2) * 12, 17, 11));
      break;
    case TovxPrintMode::pmScale:
      // A small page stretched onto a large sheet.
      DrawSheet(p, QRectF(6.5, 12.5, 12, 17));
      p.setPen(QPen(Qt::darkBlue, 2));
      p.drawLine(QPointF(22, 20), QPointF(33, 20));
      p.drawLine(QPointF(29, 16), QPointF(33, 20));
      p.drawLine(QPointF(29, 24), QPointF(33, 20));
      DrawSheet(p, QRectF(37.5, 1.5, 21, 29));
      break;
  }
  return pixmap;
}

// Two copies of three pages, collated (1 2 3, 1 2 3) or not (1 1, 2 2, 3 3).
QPixmap CollatePicture(bool collate) {
  QPixmap pixmap(96, 40);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  QFont font = p.font();
  font.setPixelSize(9);
  p.setFont(font);
  for (int stack = 0; stack < (collate ? 2 : 3); ++stack) {
    const int pages = collate ? 3 : 2;
    const double x = 2.5 + stack * (collate ? 46 : 31);
    for (int i = pages - 1; i >= 0; --i) {
      // The front sheet (drawn last) is the first of its stack.
      const int number = collate ? i + 1 : stack + 1;
      DrawSheet(p, QRectF(x + i * 6, 2.5 + i * 4, 18, 24), QString::number(number));
    }
  }
  return pixmap;
}

}  // namespace

// --- the print dialog ------------------------------------------------------------------------

TovxPrintDialog::TovxPrintDialog(TovxReport& report, TovxPreviewPages& pages, int duplex,
                                 QWidget* parent)
    : QDialog(parent), report_(report), pages_(pages) {
  setObjectName(QStringLiteral("TovxPrintDialog"));
  setWindowTitle(Text(200));
  setModal(true);
  ask_file_name = [this] {
    QString filter = Text(510);
    // "text|*.prn" in the resources; Qt wants "text".
    filter = filter.section(u'|', 0, 0);
    return QFileDialog::getSaveFileName(this, Text(507), QString(), filter);
  };
  Build();
  TovxPrinters& printers = ovxPrinters();
  previous_printer_ = printers.PrinterIndex();
  {
    const QSignalBlocker block(printers_cb_);
    for (const QString& name : printers.Printers()) {
      printers_cb_->addItem(
          QIcon(QPixmap::fromImage(
              TovxResources::Instance().PreviewImages().Image(ovx::images::kPreviewPrint))),
          name);
    }
    printers_cb_->setCurrentIndex(previous_printer_);
  }
  PrinterClicked();
  Load(duplex);
  setFixedSize(sizeHint());
}

TovxPrintDialog::~TovxPrintDialog() = default;

void TovxPrintDialog::Build() {
  auto* form = new QVBoxLayout(this);

  // The printer.
  auto* printer_group = new QGroupBox(Plain(Text(201)), this);
  printer_group->setObjectName(QStringLiteral("Label12"));
  auto* printer_grid = new QGridLayout(printer_group);
  auto* name_l = new QLabel(Text(212), printer_group);
  name_l->setObjectName(QStringLiteral("NameL"));
  printers_cb_ = new QComboBox(printer_group);
  printers_cb_->setObjectName(QStringLiteral("PrintersCB"));
  printers_cb_->setMinimumContentsLength(30);
  name_l->setBuddy(printers_cb_);
  prop_button_ = new QPushButton(Text(209), printer_group);
  prop_button_->setObjectName(QStringLiteral("PropButton"));
  auto* where_l = new QLabel(Text(208), printer_group);
  where_l->setObjectName(QStringLiteral("WhereL"));
  where_l1_ = new QLabel(printer_group);
  where_l1_->setObjectName(QStringLiteral("WhereL1"));
  file_cb_ = new QCheckBox(Text(210), printer_group);
  file_cb_->setObjectName(QStringLiteral("FileCB"));
  printer_grid->addWidget(name_l, 0, 0);
  printer_grid->addWidget(printers_cb_, 0, 1);
  printer_grid->addWidget(prop_button_, 0, 2);
  printer_grid->addWidget(where_l, 1, 0);
  printer_grid->addWidget(where_l1_, 1, 1);
  printer_grid->addWidget(file_cb_, 1, 2);
  form->addWidget(printer_group);

  auto* middle = new QHBoxLayout;
  // The pages.
  auto* pages_group = new QGroupBox(Plain(Text(202)).trimmed(), this);
  pages_group->setObjectName(QStringLiteral("Label1"));
  auto* pages_layout = new QGridLayout(pages_group);
  all_rb_ = new QRadioButton(Text(3), pages_group);
  all_rb_->setObjectName(QStringLiteral("AllRB"));
  cur_page_rb_ = new QRadioButton(Text(4), pages_group);
  cur_page_rb_->setObjectName(QStringLiteral("CurPageRB"));
  page_numbers_rb_ = new QRadioButton(Text(5), pages_group);
  page_numbers_rb_->setObjectName(QStringLiteral("PageNumbersRB"));
  page_numbers_e_ = new QLineEdit(pages_group);
  page_numbers_e_->setObjectName(QStringLiteral("PageNumbersE"));
  page_numbers_e_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9,\\- ]*")), page_numbers_e_));
  auto* descr_l = new QLabel(Text(9), pages_group);
  descr_l->setObjectName(QStringLiteral("DescrL"));
  descr_l->setWordWrap(true);
  pages_layout->addWidget(all_rb_, 0, 0, 1, 2);
  pages_layout->addWidget(cur_page_rb_, 1, 0, 1, 2);
  pages_layout->addWidget(page_numbers_rb_, 2, 0);
  pages_layout->addWidget(page_numbers_e_, 2, 1);
  pages_layout->addWidget(descr_l, 3, 0, 1, 2);
  middle->addWidget(pages_group, 1);

  // The copies.
  auto* copies_group = new QGroupBox(Plain(Text(205)), this);
  copies_group->setObjectName(QStringLiteral("Label2"));
  auto* copies_layout = new QGridLayout(copies_group);
  auto* copies_l = new QLabel(Text(203), copies_group);
  copies_l->setObjectName(QStringLiteral("CopiesL"));
  copies_e_ = new QSpinBox(copies_group);
  copies_e_->setObjectName(QStringLiteral("CopiesE"));
  copies_e_->setRange(1, 1000);
  copies_l->setBuddy(copies_e_);
  collate_cb_ = new QCheckBox(Text(204), copies_group);
  collate_cb_->setObjectName(QStringLiteral("CollateCB"));
  copies_pb_ = new QLabel(copies_group);
  copies_pb_->setObjectName(QStringLiteral("CopiesPB"));
  copies_layout->addWidget(copies_l, 0, 0);
  copies_layout->addWidget(copies_e_, 0, 1);
  copies_layout->addWidget(copies_pb_, 1, 0);
  copies_layout->addWidget(collate_cb_, 1, 1);
  middle->addWidget(copies_group);
  form->addLayout(middle);

  auto* bottom = new QHBoxLayout;
  // The print mode and its sheet.
  auto* scale_group = new QGroupBox(Text(213), this);
  scale_group->setObjectName(QStringLiteral("ScaleGB"));
  auto* scale_layout = new QGridLayout(scale_group);
  print_mode_cb_ = new QComboBox(scale_group);
  print_mode_cb_->setObjectName(QStringLiteral("PrintModeCB"));
  print_mode_cb_->setIconSize(QSize(64, 32));
  // In the order of the enumeration, whose ordinal is the list position.
  const std::pair<TovxPrintMode, const char*> modes[] = {{TovxPrintMode::pmDefault, "pmDefault"},
                                                         {TovxPrintMode::pmSplit, "pmSplit"},
                                                         {TovxPrintMode::pmJoin, "pmJoin"},
                                                         {TovxPrintMode::pmScale, "pmScale"}};
  for (const auto& [mode, name] : modes) print_mode_cb_->addItem(QIcon(ModeIcon(mode)), Text(name));
  auto* sheet_l = new QLabel(Text(214), scale_group);
  sheet_l->setObjectName(QStringLiteral("PagSizeL"));
  sheet_cb_ = new QComboBox(scale_group);
  sheet_cb_->setObjectName(QStringLiteral("PagPageSizeCB"));
  sheet_l->setBuddy(sheet_cb_);
  scale_layout->addWidget(print_mode_cb_, 0, 0, 1, 2);
  scale_layout->addWidget(sheet_l, 1, 0);
  scale_layout->addWidget(sheet_cb_, 1, 1);
  bottom->addWidget(scale_group, 1);

  // Parity, order and sides.
  auto* other_group = new QGroupBox(Text(207), this);
  other_group->setObjectName(QStringLiteral("OtherGB"));
  auto* other_layout = new QGridLayout(other_group);
  auto add_list = [&](int row, const char* label_name, int label_text, const char* list_name,
                      std::initializer_list<const char*> items) {
    auto* label = new QLabel(Text(label_text), other_group);
    label->setObjectName(QString::fromLatin1(label_name));
    auto* list = new QComboBox(other_group);
    list->setObjectName(QString::fromLatin1(list_name));
    for (const char* item : items) list->addItem(Text(item));
    label->setBuddy(list);
    other_layout->addWidget(label, row, 0);
    other_layout->addWidget(list, row, 1);
    return list;
  };
  print_pages_cb_ = add_list(0, "PrintL", 206, "PrintPagesCB", {"ppAll", "ppOdd", "ppEven"});
  order_cb_ = add_list(1, "OrderL", 211, "OrderCB", {"poDirect", "poReverse"});
  duplex_cb_ =
      add_list(2, "DuplexL", 216, "DuplexCB", {"dupDefault", "dupVert", "dupHorz", "dupSimpl"});
  bottom->addWidget(other_group);
  form->addLayout(bottom);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = buttons->addButton(Text(1), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("OkB"));
  ok->setDefault(true);
  auto* cancel = buttons->addButton(Text(2), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("CancelB"));
  form->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &TovxPrintDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TovxPrintDialog::reject);
  connect(printers_cb_, &QComboBox::currentIndexChanged, this, [this] { PrinterClicked(); });
  connect(print_mode_cb_, &QComboBox::currentIndexChanged, this, [this] { ModeClicked(); });
  connect(prop_button_, &QPushButton::clicked, this, [this] { PropertiesClicked(); });
  connect(collate_cb_, &QCheckBox::toggled, this, [this] { UpdateCollatePicture(); });
  connect(page_numbers_e_, &QLineEdit::textEdited, this,
          [this] { page_numbers_rb_->setChecked(true); });
  connect(page_numbers_rb_, &QRadioButton::clicked, this, [this] { page_numbers_e_->setFocus(); });
}

void TovxPrintDialog::Load(int duplex) {
  const TovxPrintOptions& options = report_.PrintOptions();
  copies_e_->setValue(std::clamp(options.Copies(), 1, 1000));
  collate_cb_->setChecked(options.Collate());
  UpdateCollatePicture();
  page_numbers_e_->setText(options.PageNumbers());
  (options.PageNumbers().isEmpty() ? all_rb_ : page_numbers_rb_)->setChecked(true);
  print_pages_cb_->setCurrentIndex(static_cast<int>(options.PrintPages()));
  order_cb_->setCurrentIndex(options.Reverse() ? 1 : 0);
  duplex_cb_->setCurrentIndex(duplex >= 0 && duplex <= 3 ? duplex : 0);
  {
    const QSignalBlocker block(print_mode_cb_);
    print_mode_cb_->setCurrentIndex(static_cast<int>(options.PrintMode()));
  }
  ModeClicked();
  if (options.PrintMode() != TovxPrintMode::pmDefault) {
    const int index = SheetIndex(options.PrintOnSheet());
    if (index > 0) sheet_cb_->setCurrentIndex(index);
  }
}

int TovxPrintDialog::SheetIndex(int number) const {
  const TovxCustomPrinter* printer = ovxPrinters().Printer();
  if (!printer || number == ovx::kPaperCustom) return -1;
  const int position = printer->PaperIndex(number);
  const int custom = printer->PaperIndex(ovx::kPaperCustom);
  if (position < 0) return -1;
  // The custom entry is left out and "default" put first: entries after
  // the custom one keep their position, entries before it move down one.
  return custom >= 0 && custom < position ? position : position + 1;
}

void TovxPrintDialog::PrinterClicked() {
  TovxPrinters& printers = ovxPrinters();
  int remembered = -1;
  if (sheet_cb_->currentIndex() > 0) {
    if (const TovxCustomPrinter* before = printers.Printer())
      remembered = before->PaperNameToNumber(sheet_cb_->currentText());
  }
  printers.SetPrinterIndex(printers_cb_->currentIndex());
  const TovxCustomPrinter* printer = printers.Printer();
  where_l1_->setText(printer ? printer->Port() : QString());
  prop_button_->setEnabled(printer && printer->Initialized());

  const QSignalBlocker block(sheet_cb_);
  sheet_cb_->clear();
  sheet_cb_->addItem(Text("pgDefault"));
  if (printer) {
    for (const ovx::PrinterEntry& paper : printer->Papers()) {
      if (paper.number != ovx::kPaperCustom) sheet_cb_->addItem(paper.name);
    }
  }
  const int index = remembered >= 0 ? SheetIndex(remembered) : -1;
  sheet_cb_->setCurrentIndex(index > 0 ? index : 0);
}

void TovxPrintDialog::ModeClicked() {
  if (print_mode_cb_->currentIndex() == static_cast<int>(TovxPrintMode::pmDefault)) {
    sheet_cb_->setCurrentIndex(0);
    sheet_cb_->setEnabled(false);
    return;
  }
  sheet_cb_->setEnabled(true);
  if (sheet_cb_->currentIndex() <= 0) {
    const int a4 = SheetIndex(ovx::kPaperA4);
    if (a4 > 0) sheet_cb_->setCurrentIndex(a4);
  }
}

void TovxPrintDialog::PropertiesClicked() {
  TovxCustomPrinter* printer = ovxPrinters().Printer();
  if (!printer || !printer->ShowDriverDialog()) return;
  // The driver's duplex codes are not the dialog's modes: 1 one-sided is
  // Simplex, 2 vertical, 3 horizontal.
  switch (printer->Duplex()) {
    case 1:
      duplex_cb_->setCurrentIndex(3);
      break;
    case 2:
      duplex_cb_->setCurrentIndex(1);
      break;
    case 3:
      duplex_cb_->setCurrentIndex(2);
      break;
    default:
      break;
  }
}

void TovxPrintDialog::UpdateCollatePicture() {
  copies_pb_->setPixmap(CollatePicture(collate_cb_->isChecked()));
}

int TovxPrintDialog::Duplex() const { return duplex_cb_->currentIndex(); }

void TovxPrintDialog::accept() {
  TovxCustomPrinter* printer = ovxPrinters().Printer();
  if (printer) printer->SetFileName(QString());
  if (file_cb_->isChecked()) {
    const QString name = ask_file_name ? ask_file_name() : QString();
    if (name.isEmpty()) {
      reject();
      return;
    }
    const QFileInfo file(name);
    if (printer) printer->SetFileName(file.dir().filePath(file.completeBaseName() + ".prn"));
  }
  TovxPrintOptions& options = report_.PrintOptions();
  options.SetCopies(copies_e_->value());
  options.SetCollate(collate_cb_->isChecked());
  if (all_rb_->isChecked()) {
    options.SetPageNumbers(QString());
  } else if (cur_page_rb_->isChecked()) {
    options.SetPageNumbers(QString::number(std::max(pages_.CurPreviewPage(), 1)));
  } else {
    options.SetPageNumbers(page_numbers_e_->text());
  }
  options.SetPrintPages(static_cast<TovxPrintPages>(print_pages_cb_->currentIndex()));
  options.SetReverse(order_cb_->currentIndex() == 1);
  options.SetPrintMode(static_cast<TovxPrintMode>(print_mode_cb_->currentIndex()));
  // "Default" names no paper: the first entry's number, custom (256).
  options.SetPrintOnSheet(printer ? printer->PaperNameToNumber(sheet_cb_->currentText())
                                  : ovx::kPaperCustom);
  QDialog::accept();
}

void TovxPrintDialog::reject() {
  ovxPrinters().SetPrinterIndex(previous_printer_);
  QDialog::reject();
}

void TovxPrintDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    (void)TovxResources::Instance().ShowHelp(u"TovxPrintDialog");
    return;
  }
  QDialog::keyPressEvent(event);
}

// --- the printer's settings ---------------------------------------------------------------------

TovxPrinterSettingsDialog::TovxPrinterSettingsDialog(const TovxCustomPrinter& printer,
                                                     ovx::PrinterSettingsRecord& record,
                                                     QWidget* parent)
    : QDialog(parent), printer_(printer), record_(record) {
  setObjectName(QStringLiteral("TovxPrinterSettingsDialog"));
  setWindowTitle(ovx::FormatMessage(Text("rsPrinterProperties"), {printer.Name()}));
  setModal(true);
  auto* form = new QGridLayout(this);
  auto add = [&](int row, const char* name, const QString& label) {
    auto* text = new QLabel(label, this);
    auto* list = new QComboBox(this);
    list->setObjectName(QString::fromLatin1(name));
    text->setBuddy(list);
    form->addWidget(text, row, 0);
    form->addWidget(list, row, 1);
    return list;
  };
  paper_cb_ = add(0, "PaperCB", Text("rsPrinterPaper"));
  for (const ovx::PrinterEntry& paper : printer.Papers()) {
    if (paper.number != ovx::kPaperCustom) paper_cb_->addItem(paper.name, paper.number);
  }
  paper_cb_->setCurrentIndex(std::max(paper_cb_->findData(record.paper_size), 0));
  orientation_cb_ = add(1, "OrientationCB", Text(404) + u':');
  orientation_cb_->addItem(Text(410), 1);
  orientation_cb_->addItem(Text(411), 2);
  orientation_cb_->setCurrentIndex(record.orientation == 2 ? 1 : 0);
  source_cb_ = add(2, "SourceCB", Text("rsPrinterSource"));
  for (const ovx::PrinterEntry& bin : printer.Bins()) source_cb_->addItem(bin.name, bin.number);
  source_cb_->setCurrentIndex(std::max(source_cb_->findData(record.default_source), 0));
  sides_cb_ = add(3, "SidesCB", Text("rsPrinterSides"));
  for (int code : printer.DuplexCodes()) {
    sides_cb_->addItem(Text(code == 2   ? "rsPrinterLongEdge"
                            : code == 3 ? "rsPrinterShortEdge"
                                        : "rsPrinterOneSided"),
                       code);
  }
  sides_cb_->setCurrentIndex(std::max(sides_cb_->findData(record.duplex), 0));
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(Text(1), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("OkB"));
  buttons->addButton(Text(2), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("CancelB"));
  form->addWidget(buttons, 4, 0, 1, 2);
  connect(buttons, &QDialogButtonBox::accepted, this, &TovxPrinterSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TovxPrinterSettingsDialog::reject);
  setFixedSize(sizeHint());
}

void TovxPrinterSettingsDialog::accept() {
  using R = ovx::PrinterSettingsRecord;
  if (paper_cb_->count() > 0) {
    record_.paper_size = paper_cb_->currentData().toInt();
    record_.fields |= R::kPaperSize;
  }
  record_.orientation = orientation_cb_->currentData().toInt();
  record_.default_source = source_cb_->currentData().toInt();
  record_.duplex = sides_cb_->currentData().toInt();
  record_.fields |= R::kOrientation | R::kDefaultSource | R::kDuplex;
  QDialog::accept();
}

// --- installation ------------------------------------------------------------------------------

namespace ovx {

void InstallPrintDialog() {
  GlobalPrintHost().show_dialog = [](TovxReport& report, TovxPreviewPages& pages, int& duplex) {
    TovxPrintDialog dialog(report, pages, duplex, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return false;
    duplex = dialog.Duplex();
    return true;
  };
  SetDriverDialog([](const TovxCustomPrinter& printer, PrinterSettingsRecord& record) {
    TovxPrinterSettingsDialog dialog(printer, record, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
  });
}

}  // namespace ovx
