#include "print/sheet_grid.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/rounding.h"

#include <cmath>

namespace ovx {

int FitCount(double whole, double part) {
  const double q = whole / part;
  if (!(whole > 0) || !(part > 0) || !std::isfinite(q) || q >= kMaxSheetGrid + 1) {
    throw Error(QStringLiteral("rsPrintBadSheetGrid"),
                QStringLiteral("Pages of %s mm cannot be arranged on %s mm of paper"),
                {FormatFloat(part), FormatFloat(whole)});
  }
  const double whole_parts = std::trunc(q);
  const qint64 count =
      std::abs(whole_parts * part - whole) >= 11 ? static_cast<qint64>(whole_parts) + 1 : Round(q);
  if (count < 1 || count > kMaxSheetGrid) {
    throw Error(QStringLiteral("rsPrintBadSheetGrid"),
                QStringLiteral("Pages of %s mm cannot be arranged on %s mm of paper"),
                {FormatFloat(part), FormatFloat(whole)});
  }
  return static_cast<int>(count);
}

SheetGrid Arrange(double a, double b, double c, double d) {
  SheetGrid grid{FitCount(a, c), FitCount(b, d), false};
  const int columns = FitCount(a, d);
  const int rows = FitCount(b, c);
  if (columns * rows < grid.columns * grid.rows) grid = {columns, rows, true};
  return grid;
}

}  // namespace ovx
