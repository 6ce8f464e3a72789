#include "print/printers.h"

#include "platform/cups_spooler.h"
#include "resources/resources.h"

#include <QCollator>

#include <algorithm>
#include <mutex>

namespace ovx {
namespace {

// The current printer's default paper, copied whenever the process list
// changes its current printer, so that reports prepared on another thread
// never touch the list itself.
class CurrentPrinterPapers : public PaperSource {
 public:
  std::optional<PaperInfo> Find(int number) const override {
    return StandardPaperSource().Find(number);
  }
  DefaultPaper Default() const override {
    std::lock_guard lock(mutex_);
    return default_;
  }
  void Update(const TovxCustomPrinter* printer) {
    DefaultPaper paper;
    if (printer && printer->Initialized() && printer->DefPaperWidth() > 0 &&
        printer->DefPaperHeight() > 0) {
      paper.number = printer->DefPaper();
      paper.width = printer->DefPaperWidth();
      paper.height = printer->DefPaperHeight();
      paper.orientation = printer->DefOrientation();
    }
    std::lock_guard lock(mutex_);
    default_ = paper;
  }

 private:
  mutable std::mutex mutex_;
  DefaultPaper default_;
};

CurrentPrinterPapers& Papers() {
  static CurrentPrinterPapers papers;
  return papers;
}

std::unique_ptr<TovxPrinters>& GlobalPrinters() {
  static std::unique_ptr<TovxPrinters> printers;
  return printers;
}

std::shared_ptr<Spooler>& DefaultSpooler() {
  static std::shared_ptr<Spooler> spooler;
  return spooler;
}

// Blanks and control characters around a name.
QString Trimmed(const QString& name) {
  qsizetype first = 0;
  qsizetype last = name.size();
  while (first < last && name[first].unicode() <= u' ') ++first;
  while (last > first && name[last - 1].unicode() <= u' ') --last;
  return name.mid(first, last - first);
}

}  // namespace

std::unique_ptr<TovxPrinters> SetPrinters(std::unique_ptr<TovxPrinters> printers) {
  std::unique_ptr<TovxPrinters> previous = std::move(GlobalPrinters());
  GlobalPrinters() = std::move(printers);
  Papers().Update(GlobalPrinters() ? GlobalPrinters()->Printer() : nullptr);
  return previous;
}

void SetDefaultSpooler(std::shared_ptr<Spooler> spooler) { DefaultSpooler() = std::move(spooler); }

const PaperSource& PrinterPaperSource() { return Papers(); }

}  // namespace ovx

TovxPrinters& ovxPrinters() {
  std::unique_ptr<TovxPrinters>& printers = ovx::GlobalPrinters();
  if (!printers) {
    std::shared_ptr<ovx::Spooler> spooler = ovx::DefaultSpooler();
    if (!spooler) spooler = std::make_shared<ovx::CupsSpooler>();
    printers = std::make_unique<TovxPrinters>(std::move(spooler));
    ovx::Papers().Update(printers->Printer());
  }
  return *printers;
}

TovxPrinters::TovxPrinters(std::shared_ptr<ovx::Spooler> spooler) : spooler_(std::move(spooler)) {
  std::vector<ovx::SpoolerQueue> queues = spooler_->Queues();
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(queues.begin(), queues.end(),
                   [&](const ovx::SpoolerQueue& a, const ovx::SpoolerQueue& b) {
                     return collator.compare(a.name, b.name) < 0;
                   });
  QString default_name;
  for (const ovx::SpoolerQueue& queue : queues) {
    printers_.push_back(std::make_unique<TovxPrinter>(queue.name, queue.port, spooler_));
    names_.push_back(queue.name);
    if (queue.is_default && default_name.isEmpty()) default_name = ovx::Trimmed(queue.name);
  }
  if (!printers_.empty()) {
    has_physical_ = true;
    const int index = IndexOf(default_name);
    SetPrinterIndex(index >= 0 ? index : 0);
  } else {
    const QString name = TovxResources::Instance().Get(u"prVirtual");
    printers_.push_back(std::make_unique<TovxVirtualPrinter>(name, QString()));
    names_.push_back(name);
    has_physical_ = false;
    SetPrinterIndex(0);
  }
}

TovxPrinters::~TovxPrinters() = default;

TovxCustomPrinter* TovxPrinters::Printer() const { return At(index_); }

TovxCustomPrinter* TovxPrinters::At(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return printers_[static_cast<size_t>(index)].get();
}

int TovxPrinters::IndexOf(const QString& name) const {
  for (qsizetype i = 0; i < names_.size(); ++i) {
    if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  }
  return -1;
}

QString TovxPrinters::DefaultName() const {
  for (const ovx::SpoolerQueue& queue : spooler_->Queues()) {
    if (queue.is_default) return ovx::Trimmed(queue.name);
  }
  return {};
}

void TovxPrinters::SetPrinterIndex(int index) {
  if (index == -1 && has_physical_) index = IndexOf(DefaultName());
  index_ = index >= 0 && index < Count() ? index : -1;
  if (TovxCustomPrinter* printer = Printer()) printer->Initialize();
  if (ovx::GlobalPrinters().get() == this) ovx::Papers().Update(Printer());
}
