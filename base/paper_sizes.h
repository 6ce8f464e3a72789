// Paper numbers and their sizes.
//
// Papers are known by the numbers print drivers use (1 Letter, 9 A4, 11 A5,
// 70 A6, ...; 256 is a custom size given by width and height). Report pages
// look sizes up through the current paper source: the built-in table below
// until the printing module installs the table of the current printer.
// Sizes are millimetres in portrait orientation (width <= height for the
// papers that are not "rotated" or "transverse" variants).
#pragma once

#include "base/meta_class.h"

#include <QString>

#include <optional>
#include <span>

OVX_ENUM(TovxPrinterOrientation, poPortrait, poLandscape)

namespace ovx {

inline constexpr int kPaperA4 = 9;
inline constexpr int kPaperCustom = 256;

struct PaperInfo {
  int number = kPaperCustom;
  double width = 0;  // mm, portrait
  double height = 0;
  QString name;
};

// The paper a new page gets when it is reset to the printer's defaults.
struct DefaultPaper {
  int number = kPaperA4;
  double width = 210;  // mm, in `orientation`
  double height = 297;
  TovxPrinterOrientation orientation = TovxPrinterOrientation::poPortrait;
};

// Where paper sizes come from. Implementations must be usable from any
// thread (a report may be prepared on a worker thread).
class PaperSource {
 public:
  virtual ~PaperSource() = default;
  // Nullopt for a number the source does not know (256 included).
  virtual std::optional<PaperInfo> Find(int number) const = 0;
  virtual DefaultPaper Default() const = 0;
};

// The built-in table: the standard driver paper numbers 1 to 118 (48 and
// 49 are unassigned), default A4 portrait.
class StandardPaperSource : public PaperSource {
 public:
  std::optional<PaperInfo> Find(int number) const override;
  DefaultPaper Default() const override { return {}; }
};

// Every row of the built-in table, in number order.
std::span<const PaperInfo> StandardPapers();

// The source report pages use. Installing null goes back to the built-in
// table; an installed source must outlive its installation.
const PaperSource& CurrentPaperSource();
void SetCurrentPaperSource(const PaperSource* source);

}  // namespace ovx
