// The vertical grid typesetter: turns the body text into one memo view per
// character on each body page.
//
// Lines run top to bottom and are placed right to left; the page number
// stands in a strip right of the grid. The text carries its own mark-up:
// "x" ends a vertical line (and resets the colour to black), a space turns
// the colour green until the next "x", and a single-byte character is drawn
// in the private face because the private font carries rare characters at
// those code points.
//
// The text is read by Unicode code point, not by byte or UTF-16 unit: a
// character outside the Basic Multilingual Plane (or outside GBK) takes one
// cell like any other and is never split or dropped. A lone surrogate, which
// no valid text holds, is passed on as a character of its own. Combining
// marks (and variation selectors) share the cell of the character before
// them.
#pragma once

#include "base/color.h"

#include <QString>

class TovxReportPage;

namespace ovx::app {

inline constexpr ovx::Color kBlack = 0;
inline constexpr ovx::Color kGreen = 0x008000;

class Typesetter {
 public:
  // The grid geometry FillPage works with, in report units.
  struct Grid {
    int lines = 15;   // vertical lines per page
    int chars = 12;   // cells per line
    double x0 = 0;    // right edge of the grid
    double y0 = 0;    // top of the grid
    double cell = 0;  // cell size
  };

  // Starts a print command's run: the text to place, colour black, cell
  // counter and page number 0. The face name survives, as it does between
  // runs of the window.
  void Reset(const QString& text);

  // The face of the wide characters (the font holder's face).
  void SetHolderFace(const QString& face) { holder_face_ = face; }
  const QString& HolderFace() const { return holder_face_; }
  const QString& CurrentFace() const { return current_face_; }
  void SetCurrentFace(const QString& face) { current_face_ = face; }
  ovx::Color CurrentColor() const { return color_; }
  int CellCount() const { return cell_count_; }
  int PageNumber() const { return page_number_; }
  void SetPageNumber(int page_number) { page_number_ = page_number; }
  // What is left of the text.
  QStringView Remaining() const { return QStringView(text_).mid(position_); }

  // Takes the next character with the combining marks after it off the
  // text (empty when none is left) and sets the current face for it.
  QString NextChar();
  // Creates one cell: a centred memo view named "F<counter>" on `page`.
  void AddCell(const QString& text, TovxReportPage& page, double left, double top, double size);
  // Fills one page with up to lines x chars cells and its page number.
  // Answers whether the last cell visited found a character; false means
  // the text was used up before this page's last cell.
  bool FillPage(TovxReportPage& page, const Grid& grid);

 private:
  QString text_;
  qsizetype position_ = 0;
  QString holder_face_ = QStringLiteral("楷体-Velmora");
  QString current_face_ = QStringLiteral("楷体-Velmora");
  ovx::Color color_ = kBlack;
  int cell_count_ = 0;
  int page_number_ = 0;
};

}  // namespace ovx::app
