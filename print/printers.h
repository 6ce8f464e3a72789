// The printers of the machine, with a current one.
//
// The list is read from the spooler when it is built: one printer per
// queue, sorted by name, the system's default printer current. When no
// queue answers, one virtual printer stands in so that page setup and
// measuring still work; jobs then refuse to start.
//
// One list serves the process (ovxPrinters, built on first use); tests and
// a program that wants to see newly added queues build a fresh one and
// install it with ovx::SetPrinters.
#pragma once

#include "print/printer.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace ovx {
class Spooler;
}

class TovxPrinters {
 public:
  explicit TovxPrinters(std::shared_ptr<ovx::Spooler> spooler);
  ~TovxPrinters();
  TovxPrinters(const TovxPrinters&) = delete;
  TovxPrinters& operator=(const TovxPrinters&) = delete;

  // The current printer; null when none is.
  TovxCustomPrinter* Printer() const;
  TovxCustomPrinter* At(int index) const;
  int Count() const { return static_cast<int>(printers_.size()); }
  // The names, in list order.
  const QStringList& Printers() const { return names_; }
  bool HasPhysicalPrinters() const { return has_physical_; }
  // The first printer of that name (ignoring case), or -1.
  int IndexOf(const QString& name) const;

  int PrinterIndex() const { return index_; }
  // Makes printer `index` current and initialises it; -1 makes the
  // system's default printer current (none when it is not listed). An
  // index outside the list leaves no printer current.
  void SetPrinterIndex(int index);

 private:
  QString DefaultName() const;

  std::shared_ptr<ovx::Spooler> spooler_;
  std::vector<std::unique_ptr<TovxCustomPrinter>> printers_;
  QStringList names_;
  bool has_physical_ = false;
  int index_ = -1;
};

// The process's printers, built on first use.
TovxPrinters& ovxPrinters();

namespace ovx {

// Installs `printers` as the process's list and answers the previous one
// (null when none was built); null makes the next use build a new list.
std::unique_ptr<TovxPrinters> SetPrinters(std::unique_ptr<TovxPrinters> printers);

// The spooler a new process-wide list reads (CUPS unless replaced).
void SetDefaultSpooler(std::shared_ptr<Spooler> spooler);

// Paper sizes for report pages: the standard table, and as default paper
// that of the process list's current printer once the list exists (A4
// portrait before). Usable from any thread.
const PaperSource& PrinterPaperSource();

}  // namespace ovx
