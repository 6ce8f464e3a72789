// Zoom arithmetic of the preview: limits, the zoom box's text, and the
// zoom that fits a page to the workspace.
//
// These are plain functions so that the rules (what the zoom box accepts,
// what happens with no pages or an empty page) are tested without widgets.
#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace ovx {

// Setting a lower zoom gives this one.
inline constexpr double kMinZoom = 0.25;
// The highest zoom: a page is drawn into an image at the zoom, and beyond
// this a big paper would need images (and layout sums) out of all proportion.
inline constexpr double kMaxZoom = 20;
// Ctrl + wheel steps by 0.1 and does not go below this.
inline constexpr double kWheelMinZoom = 0.3;
inline constexpr double kWheelZoomStep = 0.1;
// The zoom-in and zoom-out buttons.
inline constexpr double kButtonZoomStep = 0.25;
// The thumbnail pane's fixed zoom.
inline constexpr double kThumbnailZoom = 0.1;

// `zoom` within kMinZoom..kMaxZoom; NaN gives 1.
double ClampZoom(double zoom);

// The zoom typed into the zoom box: "%" counts as a space, spaces are
// dropped, the rest is a number of per cent ("75 %" is 0.75). Nullopt when
// the rest is not a number, so the box's text is then ignored. The result
// is not clamped.
std::optional<double> ParseZoomText(const QString& text);
// The zoom box's text: round(zoom x 100) followed by "%".
QString ZoomText(double zoom);

// The zoom at which a page of `page` pixels (at 96 per inch) fits into a
// workspace of `workspace` pixels, leaving 26 pixels and room for a
// vertical scroll bar of `scroll_bar_width`. Whole page fits both ways and
// leaves out the scroll bar for a single page; page width fits the width.
// Nullopt without pages or for a page of zero size: the current zoom then
// stays.
std::optional<double> WholePageZoom(QSize workspace, QSize page, int scroll_bar_width,
                                    int page_count);
std::optional<double> PageWidthZoom(QSize workspace, QSize page, int scroll_bar_width,
                                    int page_count);

}  // namespace ovx
