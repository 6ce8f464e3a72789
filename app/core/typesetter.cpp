#include "app/core/typesetter.h"

#include "app/core/fixed_data.h"
#include "base/rounding.h"
#include "base/utf16.h"
#include "platform/font_service.h"
#include "report/model/format.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"

namespace ovx::app {

void Typesetter::Reset(const QString& text) {
  text_ = text;
  position_ = 0;
  color_ = kBlack;
  cell_count_ = 0;
  page_number_ = 0;
}

namespace {

bool IsCombiningMark(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
      return true;
    default:
      return false;
  }
}

}  // namespace

QString Typesetter::NextChar() {
  if (position_ >= text_.size()) return {};
  qsizetype length = ovx::ReadCodePoint(text_, position_).length;
  // Combining marks (accents, variation selectors) belong to the character
  // before them and share its cell.
  while (position_ + length < text_.size()) {
    const ovx::CodePointAt mark = ovx::ReadCodePoint(text_, position_ + length);
    if (!IsCombiningMark(mark.code_point)) break;
    length += mark.length;
  }
  QString ch = text_.mid(position_, length);
  position_ += length;
  current_face_ = ch[0].unicode() > 0x7F ? holder_face_ : QString::fromUtf16(kPrivateFace);
  return ch;
}

void Typesetter::AddCell(const QString& text, TovxReportPage& page, double left, double top,
                         double size) {
  auto* memo = new TovxMemoView();
  memo->SetParent(&page);
  memo->SetName(QStringLiteral("F%1").arg(cell_count_));
  memo->SetBounds(left, top, size, size);
  memo->Font().SetSize(static_cast<int>(ovx::Round(size * 0.49)));
  memo->SetHAlign(TovxHAlign::haCenter);
  memo->SetVAlign(TovxVAlign::vaCenter);
  // A fresh memo's display format already is the cleared one (no format
  // string, kind text); asking for it here would give every cell, and every
  // copy of it in the prepared pages, a format item of its own.
  memo->Font().SetName(current_face_);
  memo->Font().SetColor(color_);
  memo->SetText(text);
  // Lines read top to bottom: a mark or bracket alone in its cell takes its
  // vertical form (at the top right, or turned), while the text keeps the
  // ordinary mark for copying and searching.
  if (!text.isEmpty() && ovx::VerticalPresentationForm(ReadCodePoint(text, 0).code_point) != 0) {
    memo->SetVerticalForms(true);
  }
  ++cell_count_;
}

bool Typesetter::FillPage(TovxReportPage& page, const Grid& grid) {
  const double s = grid.cell;
  bool found = false;
  for (int l = 1; l <= grid.lines; ++l) {
    const double x = grid.x0 - (l - 1) * s;
    for (int r = 1; r <= grid.chars; ++r) {
      const double y = grid.y0 + (r - 1) * s;
      QString ch = NextChar();
      found = false;
      if (ch.isEmpty()) continue;
      found = true;
      if (ch == u"x") {
        color_ = kBlack;
        if (r > 1) break;
        // An "x" at the top of a line would waste the line: the next
        // character takes the cell, even when it is another "x".
        ch = NextChar();
      }
      if (ch == u" ") color_ = kGreen;
      AddCell(ch, page, x - s, y, s);
    }
  }
  const int n = page_number_;
  const double top = grid.y0 + grid.chars * s - s / 2;
  if (n < 10) {
    AddCell(QString::number(n), page, grid.x0 + s / 4, top, s / 2);
  } else {
    AddCell(QString::number(n / 10), page, grid.x0 + s / 4, top, s / 2);
    AddCell(QString::number(n % 10), page, grid.x0 + s / 2, top, s / 2);
  }
  return found;
}

}  // namespace ovx::app
