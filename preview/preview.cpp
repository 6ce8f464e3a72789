#include "preview/preview.h"

#include "base/rounding.h"
#include "base/units.h"
#include "preview/preview_workspace.h"
#include "preview/zoom.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "resources/resources.h"

#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Outline items deeper than this are shown at this depth; a file may nest
// them without end.
constexpr int kMaxOutlineDepth = 64;
// Roles of an outline node: the page (from 1) and the top it leads to.
constexpr int kOutlinePageRole = Qt::UserRole;
constexpr int kOutlineTopRole = Qt::UserRole + 1;

// The mouse cursors objects may ask for, numbered as templates store them.
Qt::CursorShape CursorShape(int cursor) {
  switch (cursor) {
    case -1:
      return Qt::BlankCursor;
    case -3:
      return Qt::CrossCursor;
    case -4:
      return Qt::IBeamCursor;
    case -5:
    case -22:
      return Qt::SizeAllCursor;
    case -6:
      return Qt::SizeBDiagCursor;
    case -7:
      return Qt::SizeVerCursor;
    case -8:
      return Qt::SizeFDiagCursor;
    case -9:
      return Qt::SizeHorCursor;
    case -10:
      return Qt::UpArrowCursor;
    case -11:
    case -17:
      return Qt::WaitCursor;
    case -12:
      return Qt::DragMoveCursor;
    case -13:
    case -18:
      return Qt::ForbiddenCursor;
    case -14:
      return Qt::SplitHCursor;
    case -15:
      return Qt::SplitVCursor;
    case -16:
      return Qt::DragCopyCursor;
    case -19:
      return Qt::BusyCursor;
    case -20:
      return Qt::WhatsThisCursor;
    case -21:
    case 150:  // the application's own hand cursor
      return Qt::PointingHandCursor;
    default:
      return Qt::ArrowCursor;
  }
}

QString FileCaption(const TovxReport& report) {
  if (!report.FileName().isEmpty()) return QFileInfo(report.FileName()).fileName();
  return report.ReportOptions().Name();
}

}  // namespace

TovxPreview::TovxPreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Preview"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  tab_bar_ = new QTabBar(this);
  tab_bar_->setObjectName(QStringLiteral("TabBar"));
  tab_bar_->setFixedHeight(kTabHeight);
  tab_bar_->setIconSize(QSize(16, 16));
  tab_bar_->setTabsClosable(true);
  tab_bar_->setExpanding(false);
  tab_bar_->hide();
  layout->addWidget(tab_bar_);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setHandleWidth(kSplitterWidth);
  splitter_->setChildrenCollapsible(false);
  layout->addWidget(splitter_, 1);

  left_pane_ = new QWidget(splitter_);
  auto* left_layout = new QVBoxLayout(left_pane_);
  left_layout->setContentsMargins(0, 0, 0, 0);
  left_layout->setSpacing(0);
  outline_ = new QTreeWidget(left_pane_);
  outline_->setObjectName(QStringLiteral("OutlineTree"));
  outline_->setHeaderHidden(true);
  outline_->setContextMenuPolicy(Qt::CustomContextMenu);
  left_layout->addWidget(outline_);
  thumbnails_ = new TovxPreviewWorkspace(this, true, left_pane_);
  left_layout->addWidget(thumbnails_);
  workspace_ = new TovxPreviewWorkspace(this, false, splitter_);
  splitter_->addWidget(left_pane_);
  splitter_->addWidget(workspace_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);

  auto* message_frame = new QFrame(this);
  message_frame->setFrameShape(QFrame::Panel);
  message_frame->setFrameShadow(QFrame::Raised);
  message_panel_ = message_frame;
  message_panel_->setObjectName(QStringLiteral("MessagePanel"));
  message_panel_->setAutoFillBackground(true);
  message_panel_->setFixedSize(260, 75);
  auto* message_layout = new QVBoxLayout(message_panel_);
  message_label_ = new QLabel(message_panel_);
  message_label_->setAlignment(Qt::AlignCenter);
  message_layout->addWidget(message_label_);
  message_cancel_ = new QPushButton(TovxResources::Instance().Get(u"clCancel"), message_panel_);
  message_layout->addWidget(message_cancel_, 0, Qt::AlignHCenter);
  message_panel_->hide();

  connect(message_cancel_, &QPushButton::clicked, this, &TovxPreview::Cancel);
  connect(workspace_, &TovxPreviewWorkspace::Scrolled, this, &TovxPreview::OnPagesScrolled);
  connect(workspace_, &TovxPreviewWorkspace::Resized, this, &TovxPreview::OnWorkspaceResized);
  connect(workspace_, &TovxPreviewWorkspace::PageClicked, this,
          [this](int index) { GoToPage(index + 1, false); });
  connect(thumbnails_, &TovxPreviewWorkspace::PageClicked, this,
          [this](int index) { SetPageNo(index + 1); });
  connect(outline_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    GoToPosition(item->data(0, kOutlinePageRole).toInt(), item->data(0, kOutlineTopRole).toInt());
  });
  connect(outline_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const ovx::ImageList& images = TovxResources::Instance().PreviewImages();
    QMenu menu(outline_);
    menu.addAction(QIcon(QPixmap::fromImage(images.Image(13))),
                   TovxResources::Instance().GetNumbered(601), outline_, &QTreeWidget::collapseAll);
    menu.addAction(QIcon(QPixmap::fromImage(images.Image(14))),
                   TovxResources::Instance().GetNumbered(600), outline_, &QTreeWidget::expandAll);
    menu.exec(outline_->viewport()->mapToGlobal(at));
  });
  connect(tab_bar_, &QTabBar::currentChanged, this, &TovxPreview::SwitchTab);
  connect(tab_bar_, &QTabBar::tabCloseRequested, this, &TovxPreview::CloseTab);

  // Pages stand right to left where the desktop reads that way.
  workspace_->SetRightToLeft(layoutDirection() == Qt::RightToLeft);
  thumbnails_->SetRightToLeft(layoutDirection() == Qt::RightToLeft);

  show_error = [this](const QString& text) {
    QMessageBox::critical(window(), TovxResources::Instance().Get(u"mbError"), text);
  };
  show_message = [this](const QString& text) {
    QMessageBox::information(window(), TovxResources::Instance().Get(u"mbInfo"), text);
  };
  show_warning = [this](const QString& text) {
    QMessageBox::warning(window(), TovxResources::Instance().Get(u"rsWarning"), text);
  };
  UpdatePanes();
}

TovxPreview::~TovxPreview() {
  // The workspaces may paint from the store until they go.
  workspace_->SetPages(nullptr);
  thumbnails_->SetPages(nullptr);
}

// --- binding ------------------------------------------------------------------------------------

void TovxPreview::Init(TovxReport* report, TovxPreviewPages* pages) {
  if (Busy()) return;
  Bind(nullptr, nullptr);
  tabs_.Clear();
  current_tab_ = -1;
  if (report && pages) {
    auto tab = std::make_unique<TovxPreviewTabs::Tab>();
    tab->report = report;
    tab->pages = pages;
    tab->caption = FileCaption(*report);
    tab->name = tab->caption;
    tabs_.Add(std::move(tab));
    current_tab_ = 0;
  }
  UpdateTabBar();
  Bind(report, pages);
}

void TovxPreview::Bind(TovxReport* report, TovxPreviewPages* pages) {
  report_ = report;
  pages_ = pages;
  search_.Start(QString(), false, 0);
  search_.Invalidate();
  workspace_->SetPages(pages);
  thumbnails_->SetPages(pages);
  page_no_ = 0;
  shown_pages_ = 0;
  UpdatePages();
  BuildOutline();
  if (PageCount() > 0) GoToPage(1, true);
  emit PageCountChanged(PageCount());
  emit PageChanged(page_no_);
}

int TovxPreview::PageCount() const { return pages_ ? pages_->Count() : 0; }

int TovxPreview::ShownPageCount() const { return running_ ? shown_pages_ : PageCount(); }

bool TovxPreview::PageCommandsAllowed() const { return pages_ && !Busy(); }

bool TovxPreview::ButtonAllowed(TovxPreviewButton button) const {
  return report_ && report_->PreviewOptions().Buttons().Contains(button);
}

void TovxPreview::Fail(const QString& text) {
  if (show_error) show_error(text);
}

// --- navigation -------------------------------------------------------------------------------

void TovxPreview::GoToPage(int page_no, bool scroll) {
  const int count = ShownPageCount();
  if (count <= 0) return;
  page_no = std::clamp(page_no, 1, count);
  page_no_ = page_no;
  if (scroll) {
    setting_page_ = true;
    workspace_->ScrollToPage(page_no - 1);
    thumbnails_->ScrollToPage(page_no - 1);
    setting_page_ = false;
  }
  workspace_->SetCurrentPage(page_no - 1);
  thumbnails_->SetCurrentPage(page_no - 1);
  if (pages_) pages_->SetCurPreviewPage(page_no);
  emit PageChanged(page_no);
}

void TovxPreview::SetPageNo(int page_no) {
  if (!PageCommandsAllowed() || PageCount() == 0) return;
  GoToPage(page_no, true);
}

void TovxPreview::First() { SetPageNo(1); }
void TovxPreview::Prior() { SetPageNo(page_no_ - 1); }
void TovxPreview::Next() { SetPageNo(page_no_ + 1); }
void TovxPreview::Last() { SetPageNo(PageCount()); }

void TovxPreview::GoToPosition(int page_no, int top) {
  if (!PageCommandsAllowed() || page_no < 1 || page_no > PageCount()) return;
  double top_margin = 0;
  if (TovxReportPage* page = pages_->GetPage(page_no - 1)) top_margin = page->TopMargin();
  const int offset = ovx::RoundToInt((top_margin * ov01cm + top) * zoom_);
  GoToPage(page_no, false);
  setting_page_ = true;
  workspace_->ScrollToPage(page_no - 1, offset);
  thumbnails_->ScrollToPage(page_no - 1);
  setting_page_ = false;
}

void TovxPreview::OnPagesScrolled() {
  if (setting_page_) return;
  const int index = workspace_->PageList().FindPage(workspace_->verticalScrollBar()->value());
  if (index < 0 || index + 1 == page_no_) return;
  page_no_ = index + 1;
  workspace_->SetCurrentPage(index);
  thumbnails_->SetCurrentPage(index);
  if (pages_) pages_->SetCurPreviewPage(page_no_);
  emit PageChanged(page_no_);
}

// --- zoom -------------------------------------------------------------------------------------

void TovxPreview::SetZoom(double zoom) {
  if (std::isnan(zoom)) return;
  zoom_ = ovx::ClampZoom(zoom);
  zoom_mode_ = TovxZoomMode::zmDefault;
  UpdatePages();
  if (page_no_ > 0) GoToPage(page_no_, true);
}

void TovxPreview::SetZoomMode(TovxZoomMode mode) {
  zoom_mode_ = mode;
  UpdatePages();
  if (page_no_ > 0) GoToPage(page_no_, true);
}

void TovxPreview::ApplyZoomMode() {
  if (zoom_mode_ != TovxZoomMode::zmWholePage && zoom_mode_ != TovxZoomMode::zmPageWidth) return;
  if (!pages_ || ShownPageCount() == 0) return;
  const QSize page = pages_->GetPageSize(std::max(0, page_no_ - 1));
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, workspace_);
  const std::optional<double> fitted =
      zoom_mode_ == TovxZoomMode::zmWholePage
          ? ovx::WholePageZoom(workspace_->size(), page, bar, ShownPageCount())
          : ovx::PageWidthZoom(workspace_->size(), page, bar, ShownPageCount());
  if (fitted) zoom_ = *fitted;
}

void TovxPreview::UpdatePages() {
  ApplyZoomMode();
  workspace_->SetZoom(zoom_);
  workspace_->Rebuild(ShownPageCount());
  thumbnails_->SetZoom(ovx::kThumbnailZoom);
  thumbnails_->Rebuild(ShownPageCount());
  workspace_->SetCurrentPage(page_no_ - 1);
  thumbnails_->SetCurrentPage(page_no_ - 1);
  emit ZoomChanged();
}

void TovxPreview::HandleWheelZoom(int notches) {
  if (notches == 0 || !pages_) return;
  double zoom = zoom_ + ovx::kWheelZoomStep * notches;
  if (notches < 0) zoom = std::max(zoom, std::min(zoom_, ovx::kWheelMinZoom));
  SetZoom(zoom);
}

void TovxPreview::SizePanes() {
  if (left_pane_->isHidden()) return;
  // The splitter would share out the space by the panes' size hints.
  const int total = std::max(splitter_->width(), outline_width_ + 100);
  splitter_->setSizes({outline_width_, total - outline_width_ - kSplitterWidth});
}

void TovxPreview::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceMessage();
  if (!panes_sized_ && isVisible()) {
    SizePanes();
    panes_sized_ = true;
  }
}

void TovxPreview::OnWorkspaceResized() {
  // The fitted zoom follows the page area's new size.
  if (zoom_mode_ != TovxZoomMode::zmWholePage && zoom_mode_ != TovxZoomMode::zmPageWidth) return;
  UpdatePages();
  if (page_no_ > 0 && zoom_mode_ == TovxZoomMode::zmWholePage) GoToPage(page_no_, true);
}

// --- panes ------------------------------------------------------------------------------------

void TovxPreview::SetOutlineVisible(bool visible) {
  outline_visible_ = visible;
  if (visible) thumbnail_visible_ = false;
  UpdatePanes();
}

void TovxPreview::SetThumbnailVisible(bool visible) {
  thumbnail_visible_ = visible;
  if (visible) outline_visible_ = false;
  UpdatePanes();
}

void TovxPreview::SetOutlineWidth(int width) {
  outline_width_ = std::max(16, width);
  UpdatePanes();
}

void TovxPreview::UpdatePanes() {
  outline_->setVisible(outline_visible_);
  thumbnails_->setVisible(thumbnail_visible_);
  left_pane_->setVisible(outline_visible_ || thumbnail_visible_);
  SizePanes();
  if (thumbnail_visible_) {
    thumbnails_->Rebuild(ShownPageCount());
    if (page_no_ > 0) thumbnails_->ScrollToPage(page_no_ - 1);
  }
  emit PanesChanged();
}

ovx::Color TovxPreview::BackColor() const { return workspace_->BackColor(); }
void TovxPreview::SetBackColor(ovx::Color color) {
  workspace_->SetBackColor(color);
  thumbnails_->SetBackColor(color);
}
ovx::Color TovxPreview::FrameColor() const { return workspace_->FrameColor(); }
void TovxPreview::SetFrameColor(ovx::Color color) {
  workspace_->SetFrameColor(color);
  thumbnails_->SetFrameColor(color);
}
ovx::Color TovxPreview::ActiveFrameColor() const { return workspace_->ActiveFrameColor(); }
void TovxPreview::SetActiveFrameColor(ovx::Color color) {
  workspace_->SetActiveFrameColor(color);
  thumbnails_->SetActiveFrameColor(color);
}
bool TovxPreview::HighlightEditable() const { return workspace_->HighlightEditable(); }
void TovxPreview::SetHighlightEditable(bool on) { workspace_->SetHighlightEditable(on); }

void TovxPreview::BuildOutline() {
  outline_->clear();
  if (!pages_) return;
  TovxXMLItem* root = pages_->Document().Root();
  const int at = root->Find("outline");
  if (at < 0) return;
  const int page_count = PageCount();
  // Iterative, so a deeply nested outline from a file cannot exhaust the
  // stack.
  struct Pending {
    const TovxXMLItem* item;
    QTreeWidgetItem* parent;
    int depth;
  };
  std::vector<Pending> stack;
  const TovxXMLItem* outline = root->Items(at);
  for (int i = outline->Count() - 1; i >= 0; --i) stack.push_back({outline->Items(i), nullptr, 0});
  while (!stack.empty()) {
    const Pending next = stack.back();
    stack.pop_back();
    auto* node = next.parent ? new QTreeWidgetItem(next.parent) : new QTreeWidgetItem(outline_);
    node->setText(0, QString::fromUtf8(next.item->Prop("text")));
    bool ok = false;
    int page = next.item->Prop("page").toInt(&ok) + 1;
    if (!ok) page = 1;
    node->setData(0, kOutlinePageRole, std::clamp(page, 1, std::max(1, page_count)));
    node->setData(0, kOutlineTopRole, next.item->Prop("top").toInt());
    QTreeWidgetItem* children_parent = next.depth + 1 < kMaxOutlineDepth ? node : next.parent;
    const int child_depth = std::min(next.depth + 1, kMaxOutlineDepth - 1);
    for (int i = next.item->Count() - 1; i >= 0; --i) {
      stack.push_back({next.item->Items(i), children_parent, child_depth});
    }
  }
  if (report_ && report_->PreviewOptions().OutlineExpand()) outline_->expandAll();
}

// --- keys and mouse ---------------------------------------------------------------------------

bool TovxPreview::HandleKey(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_PageUp:
      if (!ctrl) return false;
      Prior();
      return true;
    case Qt::Key_PageDown:
      if (!ctrl) return false;
      Next();
      return true;
    case Qt::Key_Home:
      First();
      return true;
    case Qt::Key_End:
      Last();
      return true;
    case Qt::Key_F3:
      if (!ButtonAllowed(TovxPreviewButton::pbFind)) return false;
      FindNext();
      return true;
    default:
      break;
  }
  if (!ctrl) return false;
  switch (event->key()) {
    case Qt::Key_P:
      if (!ButtonAllowed(TovxPreviewButton::pbPrint)) return false;
      Print();
      return true;
    case Qt::Key_S:
      if (!ButtonAllowed(TovxPreviewButton::pbSave)) return false;
      SaveToFile();
      return true;
    case Qt::Key_F:
      if (!ButtonAllowed(TovxPreviewButton::pbFind)) return false;
      Find();
      return true;
    case Qt::Key_O:
      if (!ButtonAllowed(TovxPreviewButton::pbLoad)) return false;
      LoadFromFile();
      return true;
    default:
      return false;
  }
}

bool TovxPreview::HandleMouse(int page_index, TovxPreviewPages::MouseEvent kind, QPoint in_page,
                              QPoint global) {
  if (!pages_ || Busy() || workspace_->Frozen()) return false;
  TovxPreviewPages::MouseResult result;
  try {
    result = pages_->HandleMouse(page_index, kind, in_page.x(), in_page.y(), zoom_);
  } catch (const std::exception&) {
    return false;
  }
  auto* view = dynamic_cast<TovxView*>(result.object);
  QWidget* surface = workspace_->viewport();
  const QString link_value = view ? view->Hyperlink().Value() : QString();
  // A link on a drill-down header wins over the header's own click.
  const QString drill = link_value.isEmpty() ? result.drill_name : QString();
  if (result.hand || !drill.isEmpty()) {
    surface->setCursor(Qt::PointingHandCursor);
  } else if (view) {
    surface->setCursor(CursorShape(result.cursor));
  } else if (kind == TovxPreviewPages::MouseEvent::kMove) {
    surface->unsetCursor();
  }
  const QString link = view ? view->Hyperlink().Value() : QString();
  const QString hint = view ? view->Hint() : QString();
  emit ObjectHovered(link, hint);
  if (kind == TovxPreviewPages::MouseEvent::kMove) {
    if (use_report_hints_ && view && view->ShowHint() && !hint.isEmpty()) {
      QToolTip::showText(global, hint, surface);
    } else {
      QToolTip::hideText();
    }
  }
  if (kind == TovxPreviewPages::MouseEvent::kClick) {
    if (result.go_to_page >= 0) {
      if (result.go_to_top != 0) {
        GoToPosition(result.go_to_page + 1, result.go_to_top);
      } else {
        SetPageNo(result.go_to_page + 1);
      }
    } else if (!drill.isEmpty()) {
      // The store's objects are gone once the report is prepared again:
      // nothing of `result` is used after this.
      ToggleDrillGroup(drill);
      return true;
    } else if (view) {
      FollowLink(view);
    }
  }
  return result.hand || !drill.isEmpty();
}

void TovxPreview::LeavePages() {
  workspace_->viewport()->unsetCursor();
  QToolTip::hideText();
  emit ObjectHovered(QString(), QString());
}
