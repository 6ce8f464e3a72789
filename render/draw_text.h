// Laying out and drawing the text of memo views.
//
// TovxDrawText breaks a memo's lines into wrapped lines for a width,
// expands a small set of HTML-like tags into per-character attributes,
// measures, tells which lines fit (and which text is left for the next
// page), and draws the lines on any canvas with alignment, justification,
// rotation, spacing, paragraph indent and ruled underlines.
//
// Every measurement is made at a fixed 600 pixels per inch and scaled to
// the target from there, so line breaks and line widths are the same on
// screen, printer and export whatever the target's resolution. Report
// units are 96 per inch, so the measuring factor is 600 / 96 = 6.25.
//
// Callers configure the object afresh each time, all under the process-wide
// lock (DrawTextLock), in this order: ApplyFont, ApplyOptions, ApplySpacing,
// ApplyGeometry, LayOutText; then DrawLines and the measurements.
#pragma once

#include "base/color.h"
#include "base/font.h"
#include "base/pixel_rect.h"
#include "render/text_options.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace ovx {
class Canvas;
}

// The attributes of one visible character.
struct TovxHTMLTag {
  int position = 0;  // 1-based index into the plain text
  int size = 0;      // points
  int lowered = 0;   // 1 for subscript
  int style = 0;     // bold 1, italic 2, underline 4, strike-out 8
  ovx::Color color = clBlack;
  bool unchanged = true;  // equal to the previous character's attributes
  bool reduced = false;   // size differs from the default size
  bool no_wrap = false;
  int script = 0;  // 0 normal, 1 subscript, 2 superscript
};

using TovxHTMLTags = std::vector<TovxHTMLTag>;

namespace ovx {

// Receives a copy of every run DrawLines draws (the vector export records
// the memo's text this way).
class TextRunSink {
 public:
  virtual ~TextRunSink() = default;
  virtual void TextRun(int x, int y, int options, const PixelRect& clip, QStringView text,
                       std::span<const int> advances, const Canvas& canvas) = 0;
};

// Holds the process-wide text layout lock for its lifetime.
class DrawTextLock {
 public:
  DrawTextLock();
  ~DrawTextLock();
  DrawTextLock(const DrawTextLock&) = delete;
  DrawTextLock& operator=(const DrawTextLock&) = delete;
};

}  // namespace ovx

class TovxDrawText {
 public:
  // Wrapped-line flags.
  static constexpr int kParagraphFirst = 1;
  static constexpr int kParagraphLast = 2;
  static constexpr double kMeasureFactor = 6.25;

  TovxDrawText();
  ~TovxDrawText();
  TovxDrawText(const TovxDrawText&) = delete;
  TovxDrawText& operator=(const TovxDrawText&) = delete;

  // The object components outside a report use.
  static TovxDrawText& Global();
  static void LockDrawText();
  static void UnlockDrawText();

  // --- configuration ---------------------------------------------------------------
  void ApplyFont(const TovxFont& font);
  void ApplyOptions(bool word_wrap, bool html_tags, int rotation, bool wysiwyg, bool clipped,
                    bool word_break, bool rtl_reading);
  void ApplySpacing(double paragraph_gap, double char_spacing, double line_spacing);
  // `text_rect` in report units at scale 1 (wrapping width, fit counts);
  // `draw_rect` in target pixels (start point and clip).
  void ApplyGeometry(double scale_x, double scale_y, double print_scale,
                     const ovx::PixelRect& text_rect, const ovx::PixelRect& draw_rect);
  // All text black (monochrome output).
  void SetMonoFont(bool mono);
  void SetUseDefaultCharset(bool use);
  // Marks and brackets are drawn in their vertical forms (after ApplyFont,
  // which switches this off).
  void SetVerticalForms(bool vertical);
  // Null stops recording.
  void SetRecorder(ovx::TextRunSink* recorder);

  // --- layout -------------------------------------------------------------------------
  void LayOutText(const QStringList& lines, bool first_para_break);
  const QStringList& WrappedLines() const;
  // kParagraphFirst / kParagraphLast bits of wrapped line `index`.
  int ParagraphFlags(int index) const;
  // The attribute records of wrapped line `index`.
  const TovxHTMLTags& LineTags(int index) const;

  // --- drawing and measuring ---------------------------------------------------------
  void DrawLines(ovx::Canvas& canvas, TovxHAlign h_align, TovxVAlign v_align,
                 TovxUnderlinesTextMode underlines);
  // Report units.
  double MeasureHeight();
  double MeasureWidth();
  double LineHeight();
  double SpareHeight();
  // The text that does not fit into the text rectangle; drops the lines
  // behind the last one that fits. `para_break`: the cut falls inside a
  // paragraph.
  QString OverflowText(bool* para_break);
  // The plain text (after OverflowText: the part that fits).
  QString FittingText() const;
  // The wrapped lines joined with CR LF.
  QString WrappedText() const;
  void ClearParagraphEnds(bool first, bool last);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
