// Memo text as PDF text.
//
// The memo draws itself on a measuring canvas that records what the text
// layout hands to the device: runs of characters, each with its reference
// point (the top left of the first character cell), its font and the
// advance of every character, exactly as the screen receives them. Each
// run becomes one text object: the baseline lies the font's ascent below
// the reference point (turned with the run's escapement), and when the
// embedded font shows one glyph per character, TJ adjustments move every
// glyph to the place the layout gave it, whatever the font's own widths
// say. Characters the face lacks are split off by the font list into runs
// of their fallback face, again at their layout places.
//
// Ruled lines (Underlines) come from the same drawing; the memo's frame is
// switched off for that drawing only so that its lines are not taken for
// rules, and is written as vector lines afterwards like every frame.
#include "export/pdf_page_content.h"

#include "base/rounding.h"
#include "base/utf16.h"
#include "export/pdf_objects.h"
#include "platform/font_service.h"
#include "render/null_canvas.h"
#include "report/model/memo_view.h"

#include <cmath>
#include <numbers>

namespace ovx {

struct PdfPageContent::TextRun {
  int x = 0;
  int y = 0;
  int options = 0;
  PixelRect clip;
  QString text;
  std::vector<int> advances;
  CanvasFont font;
};

class PdfPageContent::RecordingCanvas : public NullCanvas {
 public:
  struct Segment {
    QPoint from;
    QPoint to;
    int width = 1;
  };

  RecordingCanvas() : NullCanvas(96 * 6.25) {}

  void ExtTextOut(int x, int y, int options, const PixelRect* clip, QStringView text,
                  std::span<const int> advances) override {
    if (text.isEmpty()) return;
    TextRun run;
    run.x = x;
    run.y = y;
    run.options = options;
    if (clip) run.clip = *clip;
    run.text = text.toString();
    run.advances.assign(advances.begin(), advances.end());
    run.font = Font();
    runs.push_back(std::move(run));
  }

  void LineTo(int x, int y) override {
    if (record_lines && Pen().style != PenStyle::kClear) {
      lines.push_back({PenPos(), QPoint(x, y), Pen().width});
    }
    NullCanvas::LineTo(x, y);
  }

  std::vector<TextRun> runs;
  std::vector<Segment> lines;
  bool record_lines = false;
};

namespace {

constexpr char kEol[] = "\r\n";

QByteArray Hex4(uint16_t code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QByteArray out(4, '0');
  for (int i = 3; i >= 0; --i) {
    out[i] = kDigits[code & 15];
    code >>= 4;
  }
  return out;
}

// A length in hundredths of a point, written as PdfFixed writes points.
QByteArray Hundredths(qint64 value) {
  // Written backwards into a buffer: one of these goes with every text line.
  char buffer[32];
  char* const end = buffer + sizeof buffer;
  char* p = end;
  const quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
  const auto cents = unsigned(magnitude % 100);
  quint64 whole = magnitude / 100;
  *--p = char('0' + cents % 10);
  *--p = char('0' + cents / 10);
  *--p = '.';
  do {
    *--p = char('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (value < 0) *--p = '-';
  return QByteArray(p, end - p);
}

}  // namespace

int PdfPageContent::GlyphWidth(TovxPDFFont& font, uint16_t code) {
  const auto index = static_cast<size_t>(font.Index());
  if (widths_.size() <= index) widths_.resize(index + 1);
  auto& widths = widths_[index];
  auto found = widths.find(code);
  if (found == widths.end()) {
    // New codes are rare (each glyph is new once per document).
    for (const TovxPDFFont::UsedGlyph& glyph : font.UsedGlyphs()) widths[glyph.code] = glyph.width;
    found = widths.find(code);
    if (found == widths.end()) return 0;
  }
  return found->second;
}

// What `write` appends to the page content, taken out of it.
QByteArray PdfPageContent::Captured(const std::function<void()>& write) {
  QByteArray& out = Out();
  QByteArray saved = std::move(out);
  out = QByteArray();
  write();
  QByteArray result = std::move(out);
  out = std::move(saved);
  return result;
}

void PdfPageContent::CloseText() {
  if (!text_.open) return;
  Out() += "ET\r\nQ\r\n";
  text_.open = false;
}

void PdfPageContent::WriteMemo(TovxCustomMemoView& memo) {
  const PdfRect rect = ViewRect(memo);
  const QByteArray fill = Captured([&] { WriteFill(memo.Fill(), rect); });

  RecordingCanvas canvas;
  const bool rules =
      memo.Underlines() || memo.UnderlinesTextMode() != TovxUnderlinesTextMode::ulmNone;
  const Color rule_color = memo.Frame().Color() == clNone ? clBlack : memo.Frame().Color();
  if (rules) {
    TovxFrame saved;
    saved.Assign(memo.Frame());
    memo.Frame().SetColor(clNone);
    struct Restore {
      TovxCustomMemoView& memo;
      const TovxFrame& saved;
      ~Restore() { memo.Frame().Assign(saved); }
    } restore{memo, saved};
    canvas.record_lines = true;
    memo.Draw(canvas, kTextScale, kTextScale, 0, 0);
  } else {
    memo.Draw(canvas, kTextScale, kTextScale, 0, 0);
  }
  const QByteArray frame = Captured([&] { WriteFrame(memo.Frame(), rect); });

  const TextRun* clipped = nullptr;
  for (const TextRun& run : canvas.runs) {
    if (run.options & kTextClipped) clipped = &run;
  }
  // One line of text inside its clip needs none (a cell of one character).
  if (clipped && canvas.runs.size() == 1 && canvas.lines.empty() && Inside(canvas.runs.front())) {
    clipped = nullptr;
  }

  QByteArray& out = Out();
  if (fill.isEmpty() && frame.isEmpty() && !clipped && canvas.lines.empty()) {
    // Nothing but text: it joins the text object of the memos before.
    for (const TextRun& run : canvas.runs) WriteTextRun(run, true);
    return;
  }
  CloseText();
  out += "q\r\n";
  out += fill;
  if (!canvas.runs.empty() || !canvas.lines.empty()) {
    out += "q\r\n";
    if (clipped) {
      const PixelRect& c = clipped->clip;
      const PdfRect clip{X(c.left / kTextScale), Y(c.top / kTextScale), X(c.right / kTextScale),
                         Y(c.bottom / kTextScale)};
      out += PdfFixed(clip.left) + ' ' + PdfFixed(clip.bottom) + ' ' + PdfFixed(clip.Width()) +
             ' ' + PdfFixed(clip.top - clip.bottom) + " re W n\r\n";
    }
    for (const RecordingCanvas::Segment& line : canvas.lines) {
      out += "[] 0 d 0 J " + PdfFixed(0.75 * line.width / kTextScale) + " w " +
             PdfColorOperands(rule_color) + " RG " + PdfFixed(X(line.from.x() / kTextScale)) + ' ' +
             PdfFixed(Y(line.from.y() / kTextScale)) + " m " +
             PdfFixed(X(line.to.x() / kTextScale)) + ' ' + PdfFixed(Y(line.to.y() / kTextScale)) +
             " l S\r\n";
    }
    for (const TextRun& run : canvas.runs) WriteTextRun(run, false);
    out += "Q\r\n";
  }
  out += frame;
  out += "Q\r\n";
}

// Whether a run's glyphs, each within its advance and the font's ascent
// and descent, lie inside the run's clip rectangle.
bool PdfPageContent::Inside(const TextRun& run) const {
  const CanvasFont& font = run.font;
  if (font.escapement % 3600 != 0 || (font.style_bits & 2) || (run.options & kTextRtlReading)) {
    return false;
  }
  const ScaledFont scaled(font.name, font.height, font.style_bits & 3);
  const auto& metrics = scaled.Metrics();
  qint64 width = 0;
  for (qsizetype i = 0; i < run.text.size(); ++i) {
    if (i < static_cast<qsizetype>(run.advances.size())) {
      width += run.advances[static_cast<size_t>(i)];
    } else if (!IsTrailingHalf(run.text, i)) {
      width += scaled.Advance(ReadCodePoint(run.text, i).code_point);
    }
  }
  const PixelRect& c = run.clip;
  return run.x >= c.left && run.x + width <= c.right && run.y >= c.top &&
         run.y + metrics.ascent + metrics.descent <= c.bottom;
}

void PdfPageContent::WriteTextRun(const TextRun& run, bool shared) {
  const CanvasFont& font = run.font;
  if (font.color == clNone) return;
  const ScaledFont scaled(font.name, font.height, font.style_bits & 3);
  const double em = scaled.EmPixels();
  if (!(em > 0) || !std::isfinite(em)) return;
  const double size = 0.75 * em / kTextScale;
  const int ascent = scaled.Metrics().ascent;
  const double angle = font.escapement / 10.0 * std::numbers::pi / 180;
  const double cos_a = font.escapement % 3600 == 0 ? 1 : std::cos(angle);
  const double sin_a = font.escapement % 3600 == 0 ? 0 : std::sin(angle);
  const bool rtl = (run.options & kTextRtlReading) != 0;

  // Pen positions of every UTF-16 unit, in layout pixels from the run's
  // start; without advances the device spaces by the font's own.
  const QString& text = run.text;
  std::vector<qint64> pen(static_cast<size_t>(text.size()) + 1, 0);
  for (qsizetype i = 0; i < text.size(); ++i) {
    qint64 advance = 0;
    if (i < static_cast<qsizetype>(run.advances.size())) {
      advance = run.advances[static_cast<size_t>(i)];
    } else if (!IsTrailingHalf(text, i)) {
      advance = scaled.Advance(ReadCodePoint(text, i).code_point);
    }
    pen[static_cast<size_t>(i) + 1] = pen[static_cast<size_t>(i)] + advance;
  }
  // A point of the run's frame (along the text, down from the reference
  // point) in points on the page.
  auto page_x = [&](double along, double down) {
    return X((run.x + along * cos_a + down * sin_a) / kTextScale);
  };
  auto page_y = [&](double along, double down) {
    return Y((run.y - along * sin_a + down * cos_a) / kTextScale);
  };

  QByteArray& out = Out();
  const QByteArray color = PdfColorOperands(font.color);
  QString actual;
  if (settings_.actual_text) actual = settings_.actual_text(font.name, text);
  if (!actual.isEmpty()) {
    if (shared) CloseText();
    out += "/Span << /ActualText " + PdfLiteralString(PdfTextBytes(actual)) + " >> BDC\r\n";
  }

  const std::vector<PdfTextRun> pieces = document_.Fonts().MapRuns(
      font.name, font.style_bits, text, rtl, settings_.pdfa, font.vertical_forms);
  for (const PdfTextRun& piece : pieces) {
    if (piece.mapped.codes.empty()) continue;
    TovxPDFFont& pdf_font = *piece.font;
    const QByteArray resource = document_.UseFont(pdf_font);
    const double start = static_cast<double>(pen[static_cast<size_t>(piece.first_char)]);
    const double along = start + piece.shift_x * em / 1000;
    const double down = ascent - piece.shift_y * em / 1000;
    const double x = page_x(along, down);
    const double y = page_y(along, down);

    const bool italic = pdf_font.SimulatedItalic(font.style_bits);
    const bool bold = pdf_font.SimulatedBold(font.style_bits);
    const bool plain = !italic && !bold && sin_a == 0 && cos_a == 1 && actual.isEmpty();
    if (plain && shared) {
      // Into the text object left open by the memo before: only the font,
      // colour and line start that change are written.
      const QByteArray size_text = PdfReal(size);
      if (!text_.open) {
        out += "q\r\nBT\r\n";
        text_ = SharedText{};
        text_.open = true;
      }
      if (text_.font != resource || text_.size != size_text) {
        out += resource + ' ' + size_text + " Tf\r\n";
        text_.font = resource;
        text_.size = size_text;
      }
      if (text_.color != color) {
        out += color + " rg\r\n";
        text_.color = color;
      }
      // Line starts in hundredths of a point, as PdfFixed writes them, so
      // that each moves exactly to the written position.
      const qint64 cx = std::llround(PdfFixed(x).toDouble() * 100);
      const qint64 cy = std::llround(PdfFixed(y).toDouble() * 100);
      out += Hundredths(cx - text_.x) + ' ' + Hundredths(cy - text_.y) + " Td\r\n";
      text_.x = cx;
      text_.y = cy;
    } else {
      if (shared) {
        // A text of its own, with its own state.
        CloseText();
        out += "q\r\n";
      }
      out += "BT\r\n" + resource + ' ' + PdfReal(size) + " Tf\r\n" + color + " rg\r\n";
    }
    if (plain && shared) {
    } else if (italic || sin_a != 0 || cos_a != 1) {
      // Text space is sheared first (simulated italic), then turned.
      const double shear = italic ? 0.25 : 0;
      out += PdfReal(cos_a) + ' ' + PdfReal(sin_a) + ' ' + PdfReal(shear * cos_a - sin_a) + ' ' +
             PdfReal(shear * sin_a + cos_a) + ' ' + PdfFixed(x) + ' ' + PdfFixed(y) + " Tm\r\n";
    } else {
      out += PdfFixed(x) + ' ' + PdfFixed(y) + " Td\r\n";
    }
    if (bold) out += TovxPDFFont::BoldSimulationOperators(size, color) + kEol;

    // The UTF-16 offset of each character of the piece.
    std::vector<qsizetype> starts;
    const qsizetype piece_end = piece.first_char + piece.char_count;
    for (qsizetype i = piece.first_char; i < piece_end; i += ReadCodePoint(text, i).length) {
      starts.push_back(i);
    }
    const std::vector<uint16_t>& codes = piece.mapped.codes;
    if (!rtl && codes.size() == starts.size()) {
      // Every glyph at its layout place: the adjustment before a glyph is
      // how far the font's own widths would leave it from there, in
      // thousandths of the font size.
      QByteArray array = "[<";
      double natural = 0;
      for (size_t g = 0; g < codes.size(); ++g) {
        if (g > 0) {
          const double target = (static_cast<double>(pen[static_cast<size_t>(starts[g])]) - start) /
                                kTextScale * 0.75 * 1000 / size;
          const qint64 adjustment = std::llround(natural - target);
          if (adjustment != 0) {
            array += "> " + QByteArray::number(adjustment) + " <";
            natural -= static_cast<double>(adjustment);
          }
        }
        array += Hex4(codes[g]);
        natural += GlyphWidth(pdf_font, codes[g]);
      }
      out += array + ">] TJ\r\n";
    } else {
      QByteArray string = "<";
      for (const uint16_t code : codes) string += Hex4(code);
      out += string + "> Tj\r\n";
    }
    if (!(plain && shared)) {
      out += "ET\r\n";
      if (bold) out += "0 Tr\r\n";
      if (shared) out += "Q\r\n";
    }
  }

  // Underline and strike-out: filled bars over the whole run, placed as
  // the screen places them.
  if (font.style_bits & (4 | 8)) {
    CloseText();
    const FontFace& face = scaled.Face();
    const double s = em / face.UnitsPerEm();
    const double run_width = static_cast<double>(pen.back());
    auto bar = [&](double top, int thickness) {
      const double height = std::max(1, RoundToInt(thickness * s));
      const double t = RoundToInt(top);
      out += color + " rg " + PdfFixed(page_x(0, t)) + ' ' + PdfFixed(page_y(0, t)) + " m " +
             PdfFixed(page_x(run_width, t)) + ' ' + PdfFixed(page_y(run_width, t)) + " l " +
             PdfFixed(page_x(run_width, t + height)) + ' ' +
             PdfFixed(page_y(run_width, t + height)) + " l " + PdfFixed(page_x(0, t + height)) +
             ' ' + PdfFixed(page_y(0, t + height)) + " l h f\r\n";
    };
    if (font.style_bits & 4) {
      const int thickness = face.UnderlineThickness();
      bar(ascent - face.UnderlinePosition() * s - std::max(1, RoundToInt(thickness * s)) / 2,
          thickness);
    }
    if (font.style_bits & 8) bar(ascent - face.StrikeoutPosition() * s, face.StrikeoutThickness());
  }
  if (!actual.isEmpty()) out += "EMC\r\n";
}

}  // namespace ovx
