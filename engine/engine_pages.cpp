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
    pages_.SetCurPage(pages_.Count() - 1);
    cur_y_ = pages_.LastUsedY(0);
    column_footer_shown_ = false;
    first_column_y_ = cur_y_;
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
  const bool was_in_page_start = in_page_start_;
  in_page_start_ = true;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{in_page_start_, was_in_page_start};
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

void TovxEngine::EndPage() {
  const bool nested = in_end_page_;
  in_end_page_ = true;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{in_end_page_, nested};
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
  // Footer and overlay span the page, whatever column (or subreport) the
  // page ended in.
  cur_x_ = 0;
  if (TovxPageFooter* footer = tree_->page_footer) {
    cur_y_ = page_height_ - FooterHeight();
    if (is_last_page_ && footer->PrintOnLastPage()) previous_footer_height_ = footer->Height();
    const bool skip = (is_first_page_ && !footer->PrintOnFirstPage()) ||
                      (is_last_page_ && !footer->PrintOnLastPage());
    if (!skip && !footer_on_page_) {
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
