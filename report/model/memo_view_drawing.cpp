// Drawing and measuring a memo's text.
//
// Every path (drawing, the height and width a text needs, splitting it
// over pages) configures the same text layout the same way, so a memo's
// lines break identically whether they are measured by the engine, drawn in
// the preview or printed. The layout object belongs to the memo's report
// (one process-wide object serves memos outside a report) and is shared,
// hence the lock held around each configure-and-use sequence.
//
// The text area is the view less its gaps and less the half of each frame
// line that lies inside the view (frame lines are centred on the edges).
#include "report/model/memo_view.h"

#include "base/rounding.h"
#include "render/canvas.h"
#include "render/draw_text.h"
#include "report/model/report.h"

#include <cmath>

namespace {

// The parts of the area the frame and the gaps take on each side, in
// report units.
struct Insets {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

Insets TextInsets(const TovxFrame& frame, double gap_x, double gap_y) {
  Insets in{gap_x, gap_y, gap_x, gap_y};
  const TovxFrameTypes typ = frame.Typ();
  const double half = frame.Width() / 2;
  if (typ.Contains(TovxFrameType::ftLeft)) in.left += half;
  if (typ.Contains(TovxFrameType::ftTop)) in.top += half;
  if (typ.Contains(TovxFrameType::ftRight)) in.right += half;
  if (typ.Contains(TovxFrameType::ftBottom)) in.bottom += half;
  return in;
}

// Printers take fonts at their own resolution times the extra zoom of the
// drawing; everything else at the drawing scale alone.
double PrintScale(const ovx::Canvas& canvas, double scale_y) {
  return canvas.IsPrinter() ? scale_y * 96.0 / canvas.DpiY() : 1.0;
}

// Whether `text` holds `tag` (upper-case ASCII) at `pos`, ignoring the case
// of ASCII letters only: full Unicode folding would let look-alikes such as
// the long s (U+017F) match.
bool MatchesAsciiTag(const QString& text, qsizetype pos, QStringView tag) {
  if (pos + tag.size() > text.size()) return false;
  for (qsizetype i = 0; i < tag.size(); ++i) {
    char16_t c = text[pos + i].unicode();
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != tag[i].unicode()) return false;
  }
  return true;
}

// Rotations that turn the lines on their side.
bool IsSideways(int rotation) {
  const int r = ((rotation % 360) + 360) % 360;
  return (r >= 90 && r < 180) || r >= 270;
}

}  // namespace

ovx::PixelRect TovxCustomMemoView::TextRectInUnits() const {
  const Insets in = TextInsets(Frame(), gap_x_, gap_y_);
  const double left = AbsLeft();
  const double top = AbsTop();
  return {ovx::RoundToInt(left + in.left), ovx::RoundToInt(top + in.top),
          ovx::RoundToInt(left + Width() - in.right), ovx::RoundToInt(top + Height() - in.bottom)};
}

ovx::PixelRect TovxCustomMemoView::TextRectInPixels(const ovx::PixelRect& rect, double scale_x,
                                                    double scale_y) const {
  const Insets in = TextInsets(Frame(), gap_x_, gap_y_);
  return {rect.left + ovx::RoundToInt(in.left * scale_x),
          rect.top + ovx::RoundToInt(in.top * scale_y),
          rect.right - ovx::RoundToInt(in.right * scale_x),
          rect.bottom - ovx::RoundToInt(in.bottom * scale_y)};
}

TovxDrawText& TovxCustomMemoView::TextLayout() const {
  if (TovxReport* report = Report()) return report->DrawText();
  return TovxDrawText::Global();
}

void TovxCustomMemoView::LayOut(TovxDrawText& layout, double scale_x, double scale_y,
                                double print_scale, const ovx::PixelRect& draw_rect,
                                bool word_wrap) const {
  layout.ApplyFont(Font());
  layout.SetVerticalForms(vertical_forms_);
  layout.ApplyOptions(word_wrap, allow_html_tags_, rotation_, wysiwyg_, clipped_, word_break_,
                      rtl_reading_);
  layout.ApplySpacing(paragraph_gap_, char_spacing_, line_spacing_);
  layout.SetUseDefaultCharset(use_default_charset_);
  layout.ApplyGeometry(scale_x, scale_y, print_scale, TextRectInUnits(), draw_rect);
  layout.LayOutText(memo_, first_para_break_);
  // A part that continues a paragraph from the page before gets no indent;
  // one that breaks off inside a paragraph is justified to its end.
  if (first_para_break_ || last_para_break_) {
    layout.ClearParagraphEnds(first_para_break_, last_para_break_);
  }
}

// Page totals and copies are known only when a prepared page is drawn;
// the text keeps the result, as an export of the drawn page should see it.
void TovxCustomMemoView::ReplacePrintMacros() {
  static constexpr QStringView kTotalPages = u"[TOTALPAGES#]";
  static constexpr QStringView kCopyName = u"[COPYNAME#]";
  const QString text = Text();
  if (!text.contains(u'[')) return;
  const PrintState& state = *print_state_;
  const QString copy_name =
      state.copy_name ? *state.copy_name + QString::number(state.copy_no) : QString();
  QString result;
  bool changed = false;
  qsizetype pos = 0;
  while (pos < text.size()) {
    if (MatchesAsciiTag(text, pos, kTotalPages)) {
      result += QString::number(state.page_count);
      pos += kTotalPages.size();
      changed = true;
    } else if (MatchesAsciiTag(text, pos, kCopyName)) {
      result += copy_name;
      pos += kCopyName.size();
      changed = true;
    } else {
      result += text[pos++];
    }
  }
  if (changed) SetText(result);
}

void TovxCustomMemoView::Draw(ovx::Canvas& canvas, double scale_x, double scale_y, double offset_x,
                              double offset_y) {
  if (print_state_ && allow_expressions_ && !IsDesigning()) ReplacePrintMacros();
  const ovx::ViewDrawing drawing = BeginDraw(canvas, scale_x, scale_y, offset_x, offset_y);
  DrawBackground(drawing);
  DrawFrame(drawing);
  if (!memo_.isEmpty() || underlines_ || underlines_text_mode_ != TovxUnderlinesTextMode::ulmNone) {
    const ovx::PixelRect draw_rect = TextRectInPixels(drawing.rect, scale_x, scale_y);
    ovx::DrawTextLock lock;
    TovxDrawText& layout = TextLayout();
    const double print_scale = print_state_ && print_state_->print_scale > 0
                                   ? print_state_->print_scale
                                   : PrintScale(canvas, scale_y);
    LayOut(layout, scale_x, scale_y, print_scale, draw_rect, word_wrap_);
    // Ruled lines follow the text lines; they make no sense on turned text.
    TovxUnderlinesTextMode underlines = underlines_text_mode_;
    if (underlines_ && underlines == TovxUnderlinesTextMode::ulmNone) {
      underlines = TovxUnderlinesTextMode::ulmUnderlinesAll;
    }
    if (rotation_ % 360 != 0) underlines = TovxUnderlinesTextMode::ulmNone;
    if (underlines != TovxUnderlinesTextMode::ulmNone) {
      canvas.Pen() = ovx::CanvasPen{};
      canvas.Pen().color = Frame().Color() == clNone ? clBlack : Frame().Color();
      canvas.Pen().width = std::max(1, drawing.frame_width);
    }
    layout.DrawLines(canvas, h_align_, v_align_, underlines);
  }
  DrawDesignMarks(drawing);
}

double TovxCustomMemoView::CalcHeight() {
  const Insets in = TextInsets(Frame(), gap_x_, gap_y_);
  return TextExtent(word_wrap_, /*along_lines=*/false) + in.top + in.bottom;
}

double TovxCustomMemoView::CalcWidth() {
  const Insets in = TextInsets(Frame(), gap_x_, gap_y_);
  return TextExtent(/*word_wrap=*/false, /*along_lines=*/true) + in.left + in.right;
}

double TovxCustomMemoView::TextExtent(bool word_wrap, bool along_lines) const {
  if (memo_.isEmpty()) return 0;
  ovx::DrawTextLock lock;
  TovxDrawText& layout = TextLayout();
  LayOut(layout, 1, 1, 1, TextRectInUnits(), word_wrap);
  // Turned text: the lines' length runs down the view, their stack across.
  return along_lines != IsSideways(rotation_) ? layout.MeasureWidth() : layout.MeasureHeight();
}

void TovxCustomMemoView::TakeNextPart() {
  const QString rest = RestText();
  if (rest.isEmpty()) return;
  SetText(rest);
  SetRestText(QString());
}

double TovxCustomMemoView::DrawPart() {
  SetRestText(QString());
  if (memo_.isEmpty()) return 0;
  ovx::DrawTextLock lock;
  TovxDrawText& layout = TextLayout();
  LayOut(layout, 1, 1, 1, TextRectInUnits(), word_wrap_);
  bool para_break = false;
  const QString rest = layout.OverflowText(&para_break);
  if (rest.isEmpty()) return 0;
  const QString fitting = layout.FittingText();
  // The plain text ends every line with CR LF; the stored lines do not.
  SetText(fitting);
  last_para_break_ = para_break;
  SetRestText(rest);

  // What the rest needs, measured as the next part will be laid out.
  const Insets in = TextInsets(Frame(), gap_x_, gap_y_);
  QStringList rest_lines = rest.split(QStringLiteral("\r\n"));
  if (!rest_lines.isEmpty() && rest_lines.back().isEmpty()) rest_lines.removeLast();
  layout.LayOutText(rest_lines, para_break);
  return layout.MeasureHeight() + in.top + in.bottom;
}
