// Page content: report views written into the content stream of the PDF
// page being written.
//
// Each view is written in its own graphics state ("q" ... "Q"): its fill
// first, then its content, then its frame. How the content is written
// depends on the view:
//   - memo views: native text in the embedded CID fonts. The text is laid
//     out by the same text layout the screen uses (drawn on a measuring
//     canvas at 600 dots per inch that records every run), so line breaks,
//     alignment and every character's position are the screen's; only the
//     glyphs are PDF text. Runs carry their own font, size, style, colour
//     and direction, so tagged (HTML) text and turned text need no other
//     path.
//   - line views: a stroked line with its arrow heads.
//   - shape views: the outline path filled and stroked.
//   - everything else that has an extent (pictures, the page background
//     picture, views that only know how to draw themselves): drawn into a
//     bitmap and placed as a JPEG image, identical images stored once.
// Views with a hyperlink add a link annotation over their rectangle.
//
// Coordinates: report units (96 per inch, y down, absolute on the paper)
// become points (72 per inch, y up): X(x) = 0.75 x + Ox and
// Y(y) = H - Oy - 0.75 y, where H is the page height in points and Ox, Oy
// are the page's left and top margins in millimetres times 0.05, the small
// shift the export has always placed its pages by.
#pragma once

#include "base/brush_style.h"
#include "base/color.h"
#include "export/pdf_writer.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

class TovxCustomFill;
class TovxCustomLineView;
class TovxCustomMemoView;
class TovxFrame;
class TovxPictureView;
class TovxShapeView;
class TovxView;

namespace ovx {

// A rectangle in points, y up: left < right, bottom < top for a view with
// an extent.
struct PdfRect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  double Width() const { return right - left; }
  double Height() const { return top - bottom; }
};

struct PdfContentSettings {
  // Paint the page colour, frame and background picture.
  bool background = false;
  // Raster views at three times the screen resolution.
  bool print_optimized = false;
  // Soft masks for raster views without a fill.
  bool transparency = false;
  // JPEG quality of raster views (1 to 100).
  int quality = 95;
  // Fonts are mapped for PDF/A.
  bool pdfa = false;
  // The text that glyphs drawn from `text` in the face `face` stand for,
  // for text extraction (empty: the characters themselves). For fonts that
  // draw other characters at the code points of the text.
  std::function<QString(const QString& face, QStringView text)> actual_text;
  // Whether the prepared page of a 0-based index is part of the document;
  // a link to another page is written only then. Empty: every page.
  std::function<bool(int page)> page_exported;
  // An anchor's 0-based page and its top in report units from the top of
  // the paper; nullopt when the report has no such anchor.
  std::function<std::optional<std::pair<int, double>>(const QString& name)> find_anchor;
};

class PdfPageContent {
 public:
  // The layout scale of memo text: pixels per report unit (600 dpi).
  static constexpr double kTextScale = 6.25;

  PdfPageContent(PdfDocument& document, PdfContentSettings settings);
  ~PdfPageContent();
  PdfPageContent(const PdfPageContent&) = delete;
  PdfPageContent& operator=(const PdfPageContent&) = delete;

  // Starts a page in the document: its size in report units and its left
  // and top margins in millimetres; `index` is its 0-based page index.
  void BeginPage(double width_units, double height_units, double left_margin_mm,
                 double top_margin_mm, int index);
  // Writes one view. The page background picture view ("_pagebackground")
  // is written only with `background`, and its picture only when
  // `background_picture_visible`.
  void WriteView(TovxView& view, bool background_picture_visible = true);
  void EndPage();
  // Ends the text object consecutive plain memos share, if one is open
  // (EndPage and every other kind of content do so).
  void CloseText();

  // --- coordinates ----------------------------------------------------------------
  double X(double x) const { return 0.75 * x + offset_x_; }
  double Y(double y) const { return height_ - offset_y_ - 0.75 * y; }
  // The view's rectangle, less a drop shadow's strip.
  PdfRect ViewRect(const TovxView& view) const;

  // --- pieces (each appends to the page content) ---------------------------------------
  void WriteFill(const TovxCustomFill& fill, const PdfRect& rect);
  // The frame's lines (and drop shadow) around `rect`; `shadow` is the
  // shadow's width in points (0 for none).
  void WriteFrame(const TovxFrame& frame, const PdfRect& rect);

 private:
  struct TextRun;
  class RecordingCanvas;

  QByteArray& Out() { return document_.Content(); }
  void WriteLink(const TovxView& view, const PdfRect& rect);
  void WriteMemo(TovxCustomMemoView& memo);
  // `shared`: the run may join the text object the memos before it left
  // open (CloseText ends it).
  void WriteTextRun(const TextRun& run, bool shared);
  bool Inside(const TextRun& run) const;
  QByteArray Captured(const std::function<void()>& write);
  void WriteLine(TovxCustomLineView& line);
  void WriteShape(TovxShapeView& shape);
  void WriteRaster(TovxView& view, bool skip_fill_and_frame = false);
  void WriteImage(const PdfImage& image, int pixels_x, int pixels_y, double scale,
                  const TovxView& view);
  void WriteHatch(TovxBrushStyle style, Color color, const PdfRect& rect);
  void WriteGradient(Color start, Color end, int style, const PdfRect& rect);
  // The width of `code` in `font` as the embedded font's /W gives it.
  int GlyphWidth(TovxPDFFont& font, uint16_t code);

  PdfDocument& document_;
  PdfContentSettings settings_;
  double height_ = 0;
  double offset_x_ = 0;
  double offset_y_ = 0;
  int page_index_ = 0;
  // Per font index: code -> width, refreshed when a code is new.
  std::vector<std::unordered_map<uint16_t, int>> widths_;
  // The last page background drawn and encoded: every body page of a
  // report usually has the same one, which is then drawn only once.
  // The text object consecutive plain memos share, with the state written
  // into it.
  struct SharedText {
    bool open = false;
    QByteArray font;
    QByteArray size;
    QByteArray color;
    qint64 x = 0;  // line start in hundredths of a point
    qint64 y = 0;
  } text_;
  struct BackgroundImage;
  std::unique_ptr<BackgroundImage> last_background_;
};

}  // namespace ovx
