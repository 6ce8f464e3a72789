#include "preview/zoom.h"

#include "base/number_format.h"
#include "base/rounding.h"

#include <algorithm>
#include <cmath>

namespace ovx {
namespace {

// The space the layout keeps around pages (10 on each side plus the frame
// and the rounding of the page sizes).
constexpr int kFitMargin = 26;
// A fitted zoom stays visible even in a window of a few pixels.
constexpr double kMinFitZoom = 0.01;

int AvailableWidth(QSize workspace, int scroll_bar_width) {
  return std::max(1, workspace.width() - scroll_bar_width - kFitMargin);
}

double FitBounds(double zoom) { return std::clamp(zoom, kMinFitZoom, kMaxZoom); }

}  // namespace

double ClampZoom(double zoom) {
  if (std::isnan(zoom)) return 1;
  return std::clamp(zoom, kMinZoom, kMaxZoom);
}

std::optional<double> ParseZoomText(const QString& text) {
  QString number = text;
  number.replace(u'%', u' ');
  number.remove(u' ');
  if (number.isEmpty()) return std::nullopt;
  const std::optional<double> percent = ParseFloat(number);
  if (!percent || !std::isfinite(*percent)) return std::nullopt;
  return *percent / 100;
}

QString ZoomText(double zoom) { return QString::number(RoundToInt(zoom * 100)) + QLatin1Char('%'); }

std::optional<double> WholePageZoom(QSize workspace, QSize page, int scroll_bar_width,
                                    int page_count) {
  if (page_count <= 0 || page.width() <= 0 || page.height() <= 0) return std::nullopt;
  // A single page needs no vertical scroll bar.
  const double width = AvailableWidth(workspace, page_count >= 2 ? scroll_bar_width : 0);
  const double height = std::max(1, workspace.height() - kFitMargin);
  if (page.width() / width > page.height() / height) return FitBounds(width / page.width());
  return FitBounds(height / page.height());
}

std::optional<double> PageWidthZoom(QSize workspace, QSize page, int scroll_bar_width,
                                    int page_count) {
  if (page_count <= 0 || page.width() <= 0 || page.height() <= 0) return std::nullopt;
  return FitBounds(AvailableWidth(workspace, scroll_bar_width) / static_cast<double>(page.width()));
}

}  // namespace ovx
