// Pages and columns: starting a report page, breaking and ending pages,
// column breaks, the header list (see engine.h).
#include "base/number_format.h"
#include "base/rounding.h"
#include "base/units.h"
#include "engine/engine.h"
#include "engine/post_processor.h"
#include "engine/preview_pages.h"
#include "report/model/band.h"
#include "report/model/page.h"
#include "report/model/report.h"

#include <QScopedValueRollback>
#include <algorithm>

namespace {

// A band's height with the child chain that follows it, visible ones only.
double ChainHeight(const TovxBand* band) {
  double height = 0;
  std::vector<const TovxBand*> seen;
  while (band && std::find(seen.begin(), seen.end(), band) == seen.end()) {
    seen.push_back(band);
    if (band->Visible()) height += band->Height();
    band = band->Child();
  }
  return height;
}

double VisibleHeight(const TovxBand* band) { return band && band->Visible() ? band->Height() : 0; }

}  // namespace

double TovxEngine::HeaderHeight() const {
  if (!tree_) return 0;
  return VisibleHeight(tree_->column_header) + ChainHeight(tree_->page_header);
}

double TovxEngine::FooterHeight() const {
  if (!tree_) return 0;
  return VisibleHeight(tree_->column_footer) + VisibleHeight(tree_->page_footer);
}

void TovxEngine::MarkBodyStart() {
  // A page a report page went on from is no fresh page, in any of its
  // columns: a band that does not fit there goes on to a new page rather
  // than running over this one's end.
  if (pages_.CurPage() == continued_page_) {
    body_start_page_ = -1;
    return;
  }
  body_start_page_ = pages_.CurPage();
  body_start_position_ = pages_.ObjectPosition();
  body_start_column_ = cur_column_;
}

void TovxEngine::AddHeader(TovxBand* band) {
  if (!band) return;
  for (const HeaderItem& item : headers_) {
    if (item.band == band) return;
  }
  headers_.push_back({band, cur_x_});
}

void TovxEngine::RemoveHeader(const TovxBand* band) {
  if (!band) return;
  headers_.erase(std::remove_if(headers_.begin(), headers_.end(),
                                [band](const HeaderItem& item) { return item.band == band; }),
                 headers_.end());
}

void TovxEngine::AddPageOutline() {
  if (!page_ || page_->OutlineText().isEmpty()) return;
  pages_.Outline().AddItem(report_.Calc(page_->OutlineText(), page_).toString(),
                           static_cast<int>(ovx::Round(cur_y_)));
}

void TovxEngine::StartFirstPage(TovxReportPage& page) {
  headers_.clear();
  TovxBand* title = tree_->title;
  TovxBand* page_header = tree_->page_header;
  if (page.TitleBeforeHeader()) {
    AddHeader(title);
    AddHeader(page_header);
  } else {
    AddHeader(page_header);
    AddHeader(title);
  }
  page_height_ = page.PrintableHeight();
  page_width_ = page.PrintableWidth();
  cur_x_ = 0;
  cur_y_ = 0;
  cur_column_ = 1;
  page_x_ = 0;
  first_column_y_ = 0;
  is_first_page_ = true;
  is_last_page_ = false;
  summary_shown_ = false;
  last_band_on_page_ = nullptr;
  pages_.Outline().LevelRoot();
  if (page.ResetPageNumbers()) pages_.ResetLogicalPages();
  if (pages_.Count() > 0 && page.PrintOnPreviousPage()) {
    const int last = pages_.Count() - 1;
    pages_.SetCurPage(last);
    continued_page_ = last;
    column_footer_shown_ = false;
    // Pages with columns go on in the column the previous page stopped in;
    // a title of this page is shown across the page instead, and the
    // columns start afresh below it.
    int column = 1;
    double x = 0;
    // The page may come from a file: a column or place this page does
    // not have starts in the first column.
    if (page.Columns() > 1 && !(title && title->Visible()) && pages_.PageColumn(last, column, x) &&
        column <= page.Columns() && x >= 0 && x < page_width_) {
      cur_column_ = column;
      cur_x_ = x;
      cur_y_ = pages_.LastUsedY(x);
      // The next column starts where this page's columns started, when
      // this run made the page; else below the output it goes on from.
      first_column_y_ = last == ended_page_ ? ended_first_column_y_ : cur_y_;
    } else {
      cur_y_ = pages_.LastUsedY(0);
      first_column_y_ = cur_y_;
    }
    if (title) ShowBand(title);
  } else {
    StartNewPage(true);
  }
  if (first_report_page_) pages_.SetFirstPage(pages_.CurPage());
  if (TovxBand* column_header = tree_->column_header) {
    ShowBand(column_header);
    AddHeader(column_header);
  }
  RemoveHeader(title);
  AddPageOutline();
}

void TovxEngine::StartNewPage(bool show_headers) {
  title_above_body_ = false;
  previous_footer_height_ = 0;
  footer_on_page_ = false;
  pages_.AddPage(*page_);
  column_footer_shown_ = false;
  cur_x_ = page_x_;
  cur_column_ = 1;
  cur_y_ = 0;
  if (tree_->overlay && !tree_->overlay->PrintOnTop()) {
    cur_x_ = 0;
    ShowBand(tree_->overlay);
    cur_x_ = page_x_;
    cur_y_ = 0;
  }
  first_column_y_ = 0;
  if (show_headers) ShowHeaders(true);
}

void TovxEngine::ShowHeaders(bool page_start) {
  const QScopedValueRollback<bool> restore(in_page_start_, true);
  const double column_x = cur_x_;
  const std::vector<HeaderItem> list = headers_;
  for (const HeaderItem& item : list) {
    TovxBand* band = item.band;
    const bool is_page_header = band == tree_->page_header;
    const bool is_title = band == tree_->title;
    if (band == start_new_page_band_ || band == last_band_on_page_) continue;
    // A kept header moves with its rows instead.
    if (band == keep_.band) continue;
    if (!page_start && (is_page_header || is_title)) continue;
    if (is_page_header && is_first_page_ && !band->PrintOnFirstPage()) continue;
    cur_x_ = page_start ? item.x : column_x;
    ShowBand(band);
    if (is_title) {
      RemoveHeader(band);
      title_above_body_ = band->Visible();
    }
    if (is_page_header) first_column_y_ = cur_y_;
  }
  cur_x_ = page_start ? page_x_ : column_x;
}

void TovxEngine::NewPage() {
  // Output collected for a subreport printed on its parent has no page.
  if (!running_ || !page_ || Collecting()) return;
  last_band_on_page_ = current_band_;
  const bool kept = CutKept();
  EndPage();
  StartNewPage(true);
  AddPageOutline();
  MarkBodyStart();
  if (kept) PasteKept();
}

// The left of a column, from the page's column positions (millimetres);
// a missing or unreadable entry falls back to equal column widths.
double TovxEngine::ColumnPosition(int column) const {
  const int index = column - 1;
  const QStringList& positions = page_->ColumnPositions();
  if (index >= 0 && index < positions.size()) {
    if (const std::optional<double> mm = ovx::ParseFloat(positions[index].trimmed())) {
      return *mm * ov01cm;
    }
  }
  return index * page_->ColumnWidth() * ov01cm;
}

// Once per column, also when the page's end and a break inside it both ask.
void TovxEngine::ShowColumnFooter() {
  if (column_footer_shown_ || !tree_->column_footer) return;
  column_footer_shown_ = true;
  ShowBand(tree_->column_footer);
}

void TovxEngine::NewColumn() {
  if (!running_ || !page_ || Collecting()) return;
  const int columns = page_->Columns();
  if (columns <= 1 || cur_column_ >= columns) {
    NewPage();
    return;
  }
  last_band_on_page_ = current_band_;
  const bool kept = CutKept();
  ShowColumnFooter();
  ++cur_column_;
  title_above_body_ = false;
  column_footer_shown_ = false;
  cur_x_ = page_x_ + ColumnPosition(cur_column_);
  cur_y_ = first_column_y_;
  ShowHeaders(false);
  MarkBodyStart();
  if (kept) PasteKept();
}

void TovxEngine::FitEndlessPage(double footer_height) {
  const bool tall = page_->EndlessHeight();
  const bool wide = page_->EndlessWidth();
  if (!tall && !wide) return;
  double width = page_->PaperWidth();
  double height = page_->PaperHeight();
  if (wide) width = page_->LeftMargin() + page_width_ / ov01cm + page_->RightMargin();
  if (tall) {
    double used = std::max(cur_y_, pages_.LastUsedY(0));
    if (pages_.CurPage() == page_objects_page_) used = std::max(used, page_objects_bottom_);
    used = std::max(used, 0.0);
    // The page footer is placed FooterHeight() above the page's end; the
    // column footer is shown already, within what is used.
    page_height_ = used + FooterHeight();
    height = page_->TopMargin() + (used + footer_height) / ov01cm + page_->BottomMargin();
  }
  pages_.SetPageSize(width, height);
}

void TovxEngine::EndPage() {
  const bool nested = in_end_page_;
  const QScopedValueRollback<bool> restore(in_end_page_, true);
  if (!nested) ShowColumnFooter();
  if (!is_last_page_) {
    cur_x_ = page_x_;
    cur_column_ = 1;
  }
  if (is_last_page_ && !summary_shown_) {
    summary_shown_ = true;
    if (tree_->summary) {
      ShowBand(tree_->summary);
    } else {
      NotifyEvent(TovxProcessAtMode::paReportFinished, nullptr);
    }
  }
  if (page_->Columns() > 1) pages_.SetPageColumn(cur_column_, cur_x_);
  ended_page_ = pages_.CurPage();
  ended_first_column_y_ = first_column_y_;
  // An endless page ends where its contents do: the footer follows them
  // and the store keeps the size used. The next page starts at full size.
  const QScopedValueRollback<double> restore_height(page_height_);
  TovxPageFooter* footer = tree_->page_footer;
  const bool footer_shown = footer && !footer_on_page_ &&
                            !(is_first_page_ && !footer->PrintOnFirstPage()) &&
                            !(is_last_page_ && !footer->PrintOnLastPage());
  FitEndlessPage(footer_shown && footer->Visible() ? footer->Height() : 0);
  // Footer and overlay span the page, whatever column (or subreport) the
  // page ended in.
  cur_x_ = 0;
  if (footer) {
    cur_y_ = page_height_ - FooterHeight();
    if (is_last_page_ && footer->PrintOnLastPage()) previous_footer_height_ = footer->Height();
    if (footer_shown) {
      ShowBand(footer);
      footer_on_page_ = true;
    }
  }
  if (tree_->overlay && tree_->overlay->PrintOnTop()) {
    cur_y_ = 0;
    ShowBand(tree_->overlay);
  }
  is_first_page_ = false;
}
