// Fuzz target for the text layout.
//
// The first 32 bytes choose the memo's options, font, sizes, spacing,
// rectangles, rotation and target device; the rest is UTF-16 text (lines
// split at line feeds). Every stage runs: layout, drawing on a screen and a
// printer canvas, every measurement, the text left over and the text kept.
// Beyond "no crash", it traps when the layout breaks what callers rely on:
// - every wrapped line has one attribute record per UTF-16 unit, pointing
//   into the plain text;
// - without tags, no character other than a dropped space goes missing
//   (and nothing but hyphens is added);
// - what OverflowText leaves over and what it keeps come from the plain
//   text, in order;
// - drawing twice draws the same.
#include "base/font.h"
#include "render/draw_text.h"
#include "render/null_canvas.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "text_layout_fuzzer: check failed: %s\n", what);
  std::abort();
}

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  int16_t I16() {
    const int lo = U8();
    const int hi = U8();
    return static_cast<int16_t>(lo | (hi << 8));
  }
  QString Rest() const {
    QString text;
    for (size_t i = pos_; i + 1 < size_; i += 2) {
      text.append(QChar(static_cast<char16_t>(data_[i] | (data_[i + 1] << 8))));
    }
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class FuzzPrinter : public ovx::NullCanvas {
 public:
  using NullCanvas::NullCanvas;
  bool IsPrinter() const override { return true; }
};

// Records every run drawn, to compare two draws.
class RunLog : public ovx::TextRunSink {
 public:
  QStringList runs;
  void TextRun(int x, int y, int options, const ovx::PixelRect&, QStringView text,
               std::span<const int> advances, const ovx::Canvas& canvas) override {
    QString run = QStringLiteral("%1,%2,%3,%4,%5:")
                      .arg(x)
                      .arg(y)
                      .arg(options)
                      .arg(canvas.Font().height)
                      .arg(canvas.Font().escapement);
    for (int a : advances) run += QString::number(a) + u' ';
    runs << run + text.toString();
  }
};

QString Stripped(QString text) {
  text.remove(u' ');
  text.remove(u'-');
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  const uint8_t flags = in.U8();
  const bool word_wrap = flags & 1;
  const bool tags = flags & 2;
  const bool wysiwyg = flags & 4;
  const bool clipped = flags & 8;
  const bool word_break = flags & 16;
  const bool rtl = flags & 32;
  const bool first_para_break = flags & 64;
  const bool mono = flags & 128;
  const uint8_t modes = in.U8();
  const auto h_align = static_cast<TovxHAlign>(modes % 4);
  const auto v_align = static_cast<TovxVAlign>((modes / 4) % 3);
  const auto underlines = static_cast<TovxUnderlinesTextMode>((modes / 12) % 4);
  const uint8_t device = in.U8();
  static const char16_t* const kFonts[] = {u"Arial", u"楷体", u"Liberation Mono"};
  static const int kDpis[] = {96, 300, 600, 1200};
  const QString font_name = QString::fromUtf16(kFonts[device % 3]);
  const int dpi = kDpis[(device / 3) % 4];
  const bool last_para_break = device & 64;
  const int font_size = in.I16() / 64;  // mostly sane sizes, sometimes negative
  const int rotation = in.I16();
  const int style = in.U8() & 15;
  const double char_spacing = in.I16() / 256.0;
  const double line_spacing = in.I16() / 256.0;
  const double paragraph_gap = in.I16() / 256.0;
  const double scale = in.I16() / 4096.0;
  const double print_scale = in.I16() / 4096.0;
  const ovx::PixelRect text_rect{in.I16(), in.I16(), in.I16(), in.I16()};
  const ovx::PixelRect draw_rect{in.I16(), in.I16(), in.I16(), in.I16()};
  const QString text = in.Rest();
  const QStringList lines = text.isEmpty() ? QStringList() : text.split(u'\n');

  TovxFont font;
  font.SetName(font_name);
  font.SetSize(font_size);
  font.SetStyle(TovxFontStyles::FromBits(style));

  ovx::DrawTextLock lock;
  TovxDrawText layout;
  layout.SetMonoFont(mono);
  layout.ApplyFont(font);
  layout.ApplyOptions(word_wrap, tags, rotation, wysiwyg, clipped, word_break, rtl);
  layout.ApplySpacing(paragraph_gap, char_spacing, line_spacing);
  layout.ApplyGeometry(scale, scale, print_scale, text_rect, draw_rect);
  layout.LayOutText(lines, first_para_break);

  const QStringList& wrapped = layout.WrappedLines();
  const QString plain = layout.FittingText();
  QString joined;
  for (int i = 0; i < wrapped.size(); ++i) {
    const TovxHTMLTags& records = layout.LineTags(i);
    Check(records.size() == static_cast<size_t>(wrapped[i].size()), "one record per unit");
    for (const TovxHTMLTag& r : records) {
      Check(r.position >= 1 && r.position <= plain.size(), "record position in the plain text");
    }
    joined += wrapped[i];
  }
  if (!tags) {
    QString source;
    for (const QString& line : lines) source += line;
    Check(Stripped(joined) == Stripped(source), "no character lost or added");
  }

  RunLog first;
  RunLog second;
  ovx::NullCanvas screen(dpi);
  layout.SetRecorder(&first);
  layout.DrawLines(screen, h_align, v_align, underlines);
  layout.SetRecorder(&second);
  layout.DrawLines(screen, h_align, v_align, underlines);
  layout.SetRecorder(nullptr);
  Check(first.runs == second.runs, "drawing twice draws the same");
  FuzzPrinter printer(dpi);
  layout.DrawLines(printer, h_align, v_align, underlines);

  (void)layout.MeasureHeight();
  (void)layout.MeasureWidth();
  (void)layout.LineHeight();
  (void)layout.SpareHeight();
  (void)layout.WrappedText();
  layout.ClearParagraphEnds(first_para_break, last_para_break);

  bool para_break = false;
  const QString rest = layout.OverflowText(&para_break);
  const QString kept = layout.FittingText();
  if (!tags && !rest.isEmpty()) {
    Check(plain.endsWith(rest), "the rest is the end of the plain text");
    QString kept_source = kept;
    if (word_break && kept_source.endsWith(u'-') && !plain.startsWith(kept_source)) {
      kept_source.chop(1);
    }
    Check(plain.startsWith(kept_source), "the kept text is the start of the plain text");
  }
  layout.DrawLines(screen, h_align, v_align, underlines);
  return 0;
}
