// Text layout and drawing of memo views: see render/draw_text.h.
//
// Stages: a source line is expanded (tags become attribute records, one per
// UTF-16 unit), measured at 600 dpi and wrapped at spaces (or before the
// first character that does not fit, for text without spaces, with an
// optional Russian hyphenation); drawing measures each wrapped line again
// at 600 dpi and on the target, and with Wysiwyg spreads the difference over
// the target advances so that every line is exactly as wide, and every line
// exactly as far down, as the measuring canvas put it.
//
// Invariants worth knowing:
//   - line_tags[i] holds one record per UTF-16 unit of wrapped[i], and the
//     unchanged flags are exact over the final lines (a space dropped at a
//     break cannot hide a change of attributes).
//   - A "character" is a code point: the low half of a surrogate pair gets
//     no advance and no spacing of its own, and a break never splits a pair.
//   - Drawing never alters the layout, so drawing twice draws the same.
//   - Everything computed from caller values saturates instead of
//     overflowing, and divisions are guarded, whatever the sizes.
//
// Only the wide-character text path exists: an 8-bit path is for platforms
// without wide text output, and the character set of a font therefore does
// not change how its text is measured or drawn here.
#include "render/draw_text.h"

#include "base/rounding.h"
#include "base/utf16.h"
#include "render/canvas.h"
#include "render/internal/html_tags.h"
#include "render/internal/hyphenation.h"
#include "render/null_canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <optional>

using ovx::Canvas;
using ovx::CanvasFont;
using ovx::PixelRect;
using ovx::RoundToInt;

namespace {

constexpr int kMeasureDpi = 600;
constexpr double kFactor = TovxDrawText::kMeasureFactor;
constexpr qsizetype kInitialBuffer = 32768;

// Font sizes beyond these could not be printed on any paper; they are
// clamped so that advances, and sums of them, stay far inside an int.
constexpr int kMaxFontPoints = 7800;  // 65000 pixels at 600 dpi
constexpr int kMaxDeviceFontHeight = 65536;
// Lines are measured in slices of this many units, so that no cumulative
// extent the font service returns can overflow.
constexpr qsizetype kMeasureSlice = 4096;
// Ruled lines of one series; more pixel rows than this are on no page.
constexpr qint64 kMaxRules = 1 << 16;

int Saturate(qint64 v) { return static_cast<int>(std::clamp<qint64>(v, INT_MIN, INT_MAX)); }

qsizetype CodePointLength(QStringView text, qsizetype i) {
  return ovx::ReadCodePoint(text, i).length;
}

double Finite(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

// Spreads `n` increments of `sign` over entries[a..b]: one goes to the
// middle entry; more are split between the first half and the rest by the
// same rule. Callers keep n within the number of entries, so every entry
// reached lies inside a..b.
void SpreadUnits(std::span<int> entries, qsizetype a, qsizetype b, qint64 n, int sign) {
  if (n <= 0 || a > b) return;
  const qsizetype m = std::max<qsizetype>(1, (b - a + 1) / 2);
  if (n == 1) {
    int& e = entries[a + m - 1];
    e = Saturate(static_cast<qint64>(e) + sign);
    return;
  }
  SpreadUnits(entries, a, a + m - 1, n / 2, sign);
  SpreadUnits(entries, a + m, b, n - n / 2, sign);
}

// Adds `amount` to the entries as evenly as the spreading rule allows:
// each takes its share (truncated), and the rest, fewer increments than
// entries, goes by the rule. No entries: nothing to do.
void Spread(std::span<int> entries, qint64 amount) {
  const auto count = static_cast<qint64>(entries.size());
  if (count == 0 || amount == 0) return;
  const qint64 share = amount / count;
  const qint64 rest = amount % count;
  if (share != 0) {
    for (int& e : entries) e = Saturate(e + share);
  }
  SpreadUnits(entries, 0, static_cast<qsizetype>(count - 1), std::abs(rest), rest < 0 ? -1 : 1);
}

struct Trig {
  double sin = 0;
  double cos = 1;
};

// Right angles exactly, so that upright and quarter-turned text never
// drifts by a rounding of 1e-17.
Trig TrigOf(int degrees) {
  switch (degrees) {
    case 0:
      return {0, 1};
    case 90:
      return {1, 0};
    case 180:
      return {0, -1};
    case 270:
      return {-1, 0};
    default: {
      const double r = degrees * std::numbers::pi / 180;
      return {std::sin(r), std::cos(r)};
    }
  }
}

// Unit advances of `text` in the canvas's current font.
void MeasureUnits(const Canvas& canvas, QStringView text, int* out, std::vector<int>& scratch) {
  qsizetype pos = 0;
  while (pos < text.size()) {
    qsizetype length = std::min(kMeasureSlice, text.size() - pos);
    if (length > 1 && pos + length < text.size() && ovx::IsTrailingHalf(text, pos + length))
      --length;
    if (static_cast<qsizetype>(scratch.size()) < length) scratch.resize(length);
    canvas.TextExtents(text.sliced(pos, length), std::span<int>(scratch.data(), length));
    int previous = 0;
    for (qsizetype k = 0; k < length; ++k) {
      out[pos + k] = scratch[k] - previous;
      previous = scratch[k];
    }
    pos += length;
  }
}

}  // namespace

struct TovxDrawText::Impl {
  ovx::NullCanvas measure{kMeasureDpi};
  int font_size = 10;
  ovx::TagDefaults defaults;

  // Buffers only grow: a memo is measured line by line, thousands of times.
  std::vector<int> cumulative;
  std::vector<int> measured;
  std::vector<int> advances;
  std::vector<int> scratch;
  std::vector<int> spread;

  ovx::TagExpander expander;
  std::vector<TovxHTMLTags> line_tags;

  double char_spacing = 0;
  double line_spacing = 0;
  double paragraph_gap = 0;
  PixelRect text_rect;
  PixelRect draw_rect;
  double scale_x = 1;
  double scale_y = 1;
  double print_scale = 1;
  int rotation = 0;
  int text_options = 0;
  bool word_wrap = true;
  bool word_break = false;
  bool wysiwyg = true;
  bool use_default_charset = false;
  bool rtl_reading = false;
  bool mono = false;
  bool html = false;

  QStringList wrapped;
  std::vector<int> flags;
  // Whether the layout put a hyphen at the end of the line.
  std::vector<char> hyphenated;
  QString plain;
  ovx::TextRunSink* recorder = nullptr;

  Impl() {
    cumulative.reserve(kInitialBuffer);
    measured.reserve(kInitialBuffer);
    advances.reserve(kInitialBuffer);
  }

  int MeasureHeightPixels() const { return std::abs(measure.Font().height); }

  // Advances of one line on `canvas` (its font height as it is), each in
  // the style of its record, plus `spacing` per character; a reduced
  // (sub- or superscript) character takes two thirds when `reduce`. With
  // `accumulate` the entries are cumulative. Answers the total.
  qint64 LineAdvances(Canvas& canvas, QStringView line, const TovxHTMLTags& tags, int spacing,
                      bool accumulate, bool reduce, std::vector<int>& out) {
    const qsizetype n = line.size();
    out.resize(n);
    auto style_at = [&](qsizetype k) {
      return tags.empty() ? defaults.style : tags[std::min<size_t>(k, tags.size() - 1)].style;
    };
    qsizetype run = 0;
    while (run < n) {
      const int style = style_at(run);
      qsizetype end = run + 1;
      while (end < n && style_at(end) == style) ++end;
      canvas.Font().style_bits = style;
      MeasureUnits(canvas, line.sliced(run, end - run), out.data() + run, scratch);
      run = end;
    }
    qint64 total = 0;
    for (qsizetype k = 0; k < n; ++k) {
      qint64 advance = out[k];
      if (!ovx::IsTrailingHalf(line, k)) advance += spacing;
      if (reduce && k < static_cast<qsizetype>(tags.size()) && tags[k].reduced) {
        advance = ovx::Round(advance / 1.5);
      }
      total += advance;
      out[k] = Saturate(accumulate ? total : advance);
    }
    return total;
  }

  void Emit(const QString& line, const TovxHTMLTags& tags, qsizetype from, qsizetype to,
            bool hyphen) {
    QString text = line.sliced(from, to - from);
    TovxHTMLTags records(tags.begin() + from, tags.begin() + to);
    if (hyphen) {
      text += u'-';
      TovxHTMLTag copy = records.back();
      copy.unchanged = true;
      records.push_back(copy);
    }
    wrapped.append(text);
    line_tags.push_back(std::move(records));
    flags.push_back(0);
    hyphenated.push_back(hyphen);
  }

  // Wraps one source line into wrapped lines (pixels at 600 dpi).
  void WrapLine(QStringView source, int first_width, int width, int spacing) {
    TovxHTMLTags tags;
    QString line = expander.Expand(source, html, tags);
    if (line.isEmpty()) {
      line = QStringLiteral(" ");
      tags.push_back(expander.CurrentRecord());
    }
    expander.Skip(2);
    const qsizetype n = line.size();
    if (!word_wrap || CodePointLength(line, 0) == n) {
      Emit(line, tags, 0, n, false);
      return;
    }
    const qint64 total = LineAdvances(measure, line, tags, spacing, true, true, cumulative);
    if (total < first_width) {
      Emit(line, tags, 0, n, false);
      return;
    }

    qsizetype start = 0;
    qsizetype candidate = 0;
    qint64 offset = 0;
    qint64 available = first_width;
    qsizetype i = 0;
    std::optional<ovx::Hyphenator> hyphenator;
    const auto hyphenated_prefix = [&](qsizetype word_start, qsizetype overflow) -> qsizetype {
      if (!word_break) return 0;
      if (!hyphenator) hyphenator.emplace(line);
      return hyphenator->PrefixLength(word_start, overflow);
    };
    while (i < n) {
      if (line[i] == u' ' && (!html || !tags[i].no_wrap)) candidate = i;
      if (cumulative[i] - offset <= available) {
        ++i;
        continue;
      }
      qsizetype next = 0;
      if (candidate != start) {
        const qsizetype prefix = hyphenated_prefix(candidate + 1, i);
        if (prefix > 0) {
          next = candidate + 1 + prefix;
          Emit(line, tags, start, next, true);
        } else {
          Emit(line, tags, start, candidate, false);
          next = candidate + 1;
        }
      } else if (i == start) {
        next = i + CodePointLength(line, i);
        Emit(line, tags, start, next, false);
      } else {
        const qsizetype prefix = hyphenated_prefix(start, i);
        next = prefix > 0 ? start + prefix : i;
        Emit(line, tags, start, next, prefix > 0);
      }
      offset = cumulative[next - 1];
      available = width;
      start = candidate = i = next;
    }
    if (start < n) Emit(line, tags, start, n, false);
  }

  int TargetHeight(const Canvas& canvas, int size) const {
    const double pixels =
        canvas.IsPrinter() ? canvas.DpiY() * size * print_scale / 72 : size * scale_y * 96 / 72;
    return std::clamp(RoundToInt(-pixels), -kMaxDeviceFontHeight, kMaxDeviceFontHeight);
  }

  // Height of all n lines on the target, from the measuring canvas; in the
  // int range, so that the sums the placement makes with it cannot overflow.
  qint64 TextHeight(const Canvas& canvas, qint64 n) const {
    const double h_m = MeasureHeightPixels();
    if (!canvas.IsPrinter()) {
      return ovx::RoundToInt((line_spacing * kFactor * n + h_m * n) / kFactor * scale_y);
    }
    if (print_scale > 0) {
      const double u = double(kMeasureDpi) / canvas.DpiY() / print_scale;
      return ovx::RoundToInt((line_spacing * scale_y * u * n + h_m * n) / u);
    }
    return ovx::RoundToInt(line_spacing * scale_y * n +
                           h_m * n * canvas.DpiY() * print_scale / kMeasureDpi);
  }

  void SetRunFont(Canvas& canvas, const TovxHTMLTag& tag) const {
    CanvasFont& font = canvas.Font();
    font.height = TargetHeight(canvas, tag.size);
    font.style_bits = tag.style;
    font.color = mono ? clBlack : tag.color;
    font.escapement = rotation * 10;
  }

  void DrawLine(Canvas& canvas, int index, TovxHAlign align, qint64 available, qint64 x, qint64 y,
                int base_height, const Trig& t);
  void DrawLines(Canvas& canvas, TovxHAlign h_align, TovxVAlign v_align,
                 TovxUnderlinesTextMode underlines);

  double LineHeight() const { return MeasureHeightPixels() / kFactor + line_spacing; }

  // Lines that fit into the text rectangle's height; all of them when a
  // line takes no height.
  qint64 FitCount() const {
    const double line_height = LineHeight();
    if (!(line_height > 0)) return wrapped.size();
    const double k = std::trunc((text_rect.Height() + 1.0) / line_height);
    if (!(k > 0)) return 0;
    return k >= double(INT_MAX) ? INT_MAX : static_cast<qint64>(k);
  }
};

void TovxDrawText::Impl::DrawLine(Canvas& canvas, int index, TovxHAlign align, qint64 available,
                                  qint64 x, qint64 y, int base_height, const Trig& t) {
  const QString& line = wrapped[index];
  const TovxHTMLTags& tags = line_tags[index];
  const qsizetype n = line.size();
  if (n == 0) return;

  const int measure_spacing = RoundToInt(char_spacing * kFactor);
  const int target_spacing = RoundToInt(char_spacing * scale_x);
  const qint64 g = LineAdvances(measure, line, tags, measure_spacing, false, true, measured);
  canvas.Font().height = base_height;
  const qint64 o = LineAdvances(canvas, line, tags, target_spacing, false, true, advances);

  const double g_line = double(g) - measure_spacing;
  qint64 w = 0;
  if (!wysiwyg) {
    w = o - target_spacing;
  } else if (canvas.IsPrinter()) {
    w = ovx::RoundToInt(g_line * print_scale / (double(kMeasureDpi) / canvas.DpiX()));
  } else {
    w = ovx::RoundToInt(g_line / kFactor * scale_x);
  }

  const int first_style = tags.empty() ? defaults.style : tags.front().style;
  bool justified = false;
  if (align == TovxHAlign::haBlock) {
    qint64 spaces = 0;
    for (QChar c : line) spaces += (c == u' ' || c == QChar(0xA0)) ? 1 : 0;
    if (spaces == 0) {
      align = TovxHAlign::haLeft;
    } else {
      const qint64 extra = std::abs(available) + target_spacing - o;
      const qint64 share = extra / spaces;
      qint64 rest = extra % spaces;
      for (qsizetype k = 0; k < n; ++k) {
        if (line[k] != u' ' && line[k] != QChar(0xA0)) continue;
        qint64 add = share;
        if (rest > 0) {
          ++add;
          --rest;
        } else if (rest < 0) {
          --add;
          ++rest;
        }
        advances[k] = Saturate(advances[k] + add);
      }
      justified = true;
    }
  }
  if (align == TovxHAlign::haRight) {
    const qint64 c = available - w + 1;
    y -= ovx::Round(c * t.sin);
    x += ovx::Round(c * t.cos) - 1;
    if ((first_style & 3) && rotation == 0) x -= 1;
  } else if (align == TovxHAlign::haCenter) {
    const double c = double(available - w) / 2;
    y -= ovx::Round(c * t.sin);
    x += ovx::Round(c * t.cos);
  }
  if (wysiwyg && !justified) {
    spread.clear();
    for (qsizetype k = 0; k < n; ++k) {
      if (!ovx::IsTrailingHalf(line, k)) spread.push_back(0);
    }
    Spread(spread, w + target_spacing - o);
    qsizetype j = 0;
    for (qsizetype k = 0; k < n; ++k) {
      if (!ovx::IsTrailingHalf(line, k)) advances[k] = Saturate(qint64(advances[k]) + spread[j++]);
    }
  }

  // Without Wysiwyg the device spaces the characters itself, except on a
  // justified line, whose spaces were just widened.
  const bool pass_advances = wysiwyg || justified;
  const PixelRect clip = draw_rect;
  qsizetype k = 0;
  while (k < n) {
    qsizetype end = k + 1;
    while (end < n && (end >= static_cast<qsizetype>(tags.size()) || tags[end].unchanged)) ++end;
    const TovxHTMLTag& tag = k < static_cast<qsizetype>(tags.size()) ? tags[k] : tags.back();
    SetRunFont(canvas, tag);
    const qint64 f = ovx::Round(tag.lowered * double(tag.size) * scale_y);
    const int run_x = Saturate(x + ovx::Round(f * t.sin));
    const int run_y = Saturate(y + ovx::Round(f * t.cos));
    const QStringView text = QStringView(line).sliced(k, end - k);
    const std::span<const int> run_advances =
        pass_advances ? std::span<const int>(advances.data() + k, end - k) : std::span<const int>();
    canvas.ExtTextOut(run_x, run_y, text_options, &clip, text, run_advances);
    if (recorder) recorder->TextRun(run_x, run_y, text_options, clip, text, run_advances, canvas);
    qint64 width = 0;
    for (qsizetype a = k; a < end; ++a) width += advances[a];
    x += ovx::Round(width * t.cos);
    y -= ovx::Round(width * t.sin);
    k = end;
  }
}

void TovxDrawText::Impl::DrawLines(Canvas& canvas, TovxHAlign h_align, TovxVAlign v_align,
                                   TovxUnderlinesTextMode underlines) {
  if (wrapped.isEmpty() && underlines == TovxUnderlinesTextMode::ulmNone) return;
  std::lock_guard canvas_lock(canvas.Lock());
  std::lock_guard measure_lock(measure.Lock());

  const CanvasFont saved_font = canvas.Font();
  CanvasFont base = measure.Font();
  base.height = TargetHeight(canvas, font_size);
  base.style_bits = defaults.style;
  base.color = mono ? clBlack : defaults.color;
  base.escapement = rotation * 10;
  canvas.Font() = base;

  const Trig t = TrigOf(rotation);
  const qint64 n = wrapped.size();
  const qint64 h_t = std::abs(base.height);
  // Int range: a damaged file's spacing must not overflow the sums below.
  const qint64 spacing_px = ovx::RoundToInt(line_spacing * scale_y);
  const qint64 text_height = TextHeight(canvas, n);

  std::vector<int> steps(n > 1 ? n - 1 : 0, Saturate(spacing_px + h_t));
  if (wysiwyg) Spread(steps, text_height - n * (h_t + spacing_px));

  // Start point and the room the vertical alignment works in, by angle.
  const qint64 left = draw_rect.left;
  const qint64 top = draw_rect.top;
  const qint64 right = draw_rect.right;
  const qint64 bottom = draw_rect.bottom;
  const double s = std::abs(t.sin);
  const double c = std::abs(t.cos);
  const double h = double(text_height);
  qint64 x = left;
  qint64 y = top;
  qint64 line_width = right - left;
  qint64 room = bottom - top;
  int shift_cos = 1;
  int shift_sin = 0;
  const qint64 oblique_width = c > 0 ? ovx::RoundToInt((right - left - s * h) / c) : 0;
  // Upright text starts at the top left corner; turned text at the corner
  // its first line's top starts from, oblique text where its lines fit.
  if (rotation == 90) {
    y = bottom;
    line_width = bottom - top;
    room = right - left;
    shift_cos = 0;
    shift_sin = 1;
  } else if (rotation == 180) {
    x = right;
    y = bottom;
    shift_cos = -1;
  } else if (rotation == 270) {
    x = right;
    line_width = bottom - top;
    room = right - left;
    shift_cos = 0;
    shift_sin = -1;
  } else if (rotation > 0 && rotation < 90) {
    line_width = oblique_width;
    y = top + ovx::Round(s * oblique_width);
    room = bottom + text_height - y - ovx::Round(c * h);
  } else if (rotation > 90 && rotation < 180) {
    line_width = oblique_width;
    x = left + ovx::Round(c * oblique_width);
    y = bottom;
    room = bottom + text_height - top - ovx::Round(c * h + s * oblique_width);
    shift_cos = -1;
  } else if (rotation > 180 && rotation < 270) {
    line_width = oblique_width;
    y = bottom - ovx::Round(s * oblique_width);
    x = right;
    room = y + text_height - top - ovx::Round(c * h);
    shift_cos = -1;
  } else if (rotation > 270) {
    line_width = oblique_width;
    x = left + ovx::Round(s * h);
    room = bottom + text_height - top - ovx::Round(s * oblique_width + c * h);
  }

  qint64 aligned_height = text_height;
  if (line_spacing < 0 && v_align != TovxVAlign::vaTop) {
    aligned_height += std::abs(qint64{ovx::RoundToInt(2 * line_spacing)});
  }
  const double d = double(room - aligned_height);
  if (v_align == TovxVAlign::vaBottom) {
    y += ovx::Round(shift_cos * d);
    x += ovx::Round(d * shift_sin);
  } else if (v_align == TovxVAlign::vaCenter) {
    y += ovx::Round(shift_cos * d / 2);
    x += ovx::Round(d / 2 * shift_sin);
  }

  // Ruled lines: horizontal, over the line width, strictly inside the draw
  // rectangle; never closer together than a pixel.
  const bool ruled = underlines != TovxUnderlinesTextMode::ulmNone;
  const bool rule_all = underlines == TovxUnderlinesTextMode::ulmUnderlinesAll;
  const qint64 pitch = std::max<qint64>(1, qint64{ovx::RoundToInt(scale_y)} + h_t);
  auto rule = [&](qint64 at) {
    if (at <= top || at >= bottom) return;
    canvas.MoveTo(Saturate(x), Saturate(at));
    canvas.LineTo(Saturate(x + line_width), Saturate(at));
  };
  // At origin + direction x pitch x k for k = k_first .. k_last.
  auto rule_series = [&](int direction, qint64 origin, qint64 k_first, qint64 k_last) {
    k_last = std::min(k_last, k_first + kMaxRules);
    for (qint64 k = k_first; k <= k_last; ++k) rule(origin + direction * pitch * k);
  };

  if (wrapped.isEmpty()) {
    if (rule_all) rule_series(1, top, 1, (bottom - top) / pitch);
    canvas.Font() = saved_font;
    return;
  }

  const qint64 first_y = y;
  if (rule_all && v_align != TovxVAlign::vaTop)
    rule_series(-1, first_y, 0, (first_y - top) / pitch);

  const int indent = RoundToInt(paragraph_gap * scale_x);
  qint64 last_y = y;
  for (qint64 i = 0; i < n; ++i) {
    const int line_flags = flags[i];
    const bool indented = (line_flags & kParagraphFirst) &&
                          (h_align == TovxHAlign::haLeft || h_align == TovxHAlign::haBlock);
    const qint64 line_indent = indented ? indent : 0;
    TovxHAlign align = h_align;
    if (align == TovxHAlign::haBlock && (line_flags & kParagraphLast)) {
      align = rtl_reading ? TovxHAlign::haRight : TovxHAlign::haLeft;
    }
    DrawLine(canvas, static_cast<int>(i), align, line_width - line_indent, x + line_indent, y,
             base.height, t);
    if (ruled && (underlines != TovxUnderlinesTextMode::ulmUnderlinesText ||
                  !wrapped[i].trimmed().isEmpty())) {
      rule(y + pitch);
    }
    last_y = y;
    if (i + 1 < n) {
      y += ovx::Round(steps[i] * t.cos);
      x += ovx::Round(steps[i] * t.sin);
    }
  }
  if (rule_all && v_align != TovxVAlign::vaBottom) {
    rule_series(1, last_y, 2, (bottom - last_y) / pitch);
  }
  canvas.Font() = saved_font;
}

// --- TovxDrawText --------------------------------------------------------------------------

namespace {

std::recursive_mutex& DrawTextMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

}  // namespace

namespace ovx {

DrawTextLock::DrawTextLock() { TovxDrawText::LockDrawText(); }
DrawTextLock::~DrawTextLock() { TovxDrawText::UnlockDrawText(); }

}  // namespace ovx

TovxDrawText::TovxDrawText() : impl_(std::make_unique<Impl>()) {}
TovxDrawText::~TovxDrawText() = default;

TovxDrawText& TovxDrawText::Global() {
  static TovxDrawText global;
  return global;
}

void TovxDrawText::LockDrawText() { DrawTextMutex().lock(); }
void TovxDrawText::UnlockDrawText() { DrawTextMutex().unlock(); }

void TovxDrawText::ApplyFont(const TovxFont& font) {
  Impl& d = *impl_;
  std::lock_guard lock(d.measure.Lock());
  d.font_size = std::clamp(font.Size(), -kMaxFontPoints, kMaxFontPoints);
  CanvasFont& f = d.measure.Font();
  f.name = font.Name();
  f.height = -RoundToInt(d.font_size * double(kMeasureDpi) / 72);
  f.style_bits = font.StyleBits();
  f.charset = font.Charset();
  f.color = d.mono ? clBlack : font.Color();
  f.escapement = 0;
  f.vertical_forms = false;
  d.defaults = {f.color, d.font_size, f.style_bits};
}

void TovxDrawText::SetVerticalForms(bool vertical) {
  Impl& d = *impl_;
  std::lock_guard lock(d.measure.Lock());
  d.measure.Font().vertical_forms = vertical;
}

void TovxDrawText::ApplyOptions(bool word_wrap, bool html_tags, int rotation, bool wysiwyg,
                                bool clipped, bool word_break, bool rtl_reading) {
  Impl& d = *impl_;
  d.word_wrap = word_wrap;
  d.html = html_tags;
  d.rotation = ((rotation % 360) + 360) % 360;
  d.wysiwyg = wysiwyg;
  d.word_break = word_break;
  d.rtl_reading = rtl_reading;
  d.text_options = (clipped ? ovx::kTextClipped : 0) | (rtl_reading ? ovx::kTextRtlReading : 0);
}

void TovxDrawText::ApplySpacing(double paragraph_gap, double char_spacing, double line_spacing) {
  // A damaged file's NaN or infinity means nothing; it counts as no spacing.
  impl_->paragraph_gap = Finite(paragraph_gap, 0);
  impl_->char_spacing = Finite(char_spacing, 0);
  impl_->line_spacing = Finite(line_spacing, 0);
}

void TovxDrawText::ApplyGeometry(double scale_x, double scale_y, double print_scale,
                                 const PixelRect& text_rect, const PixelRect& draw_rect) {
  Impl& d = *impl_;
  d.scale_x = Finite(scale_x, 1);
  d.scale_y = Finite(scale_y, 1);
  d.print_scale = Finite(print_scale, 1);
  d.text_rect = text_rect;
  d.draw_rect = draw_rect;
}

void TovxDrawText::SetMonoFont(bool mono) { impl_->mono = mono; }
void TovxDrawText::SetUseDefaultCharset(bool use) { impl_->use_default_charset = use; }
void TovxDrawText::SetRecorder(ovx::TextRunSink* recorder) { impl_->recorder = recorder; }

void TovxDrawText::LayOutText(const QStringList& lines, bool first_para_break) {
  Impl& d = *impl_;
  std::lock_guard lock(d.measure.Lock());
  d.wrapped.clear();
  d.flags.clear();
  d.hyphenated.clear();
  d.line_tags.clear();
  d.plain.clear();
  if (lines.isEmpty()) return;

  d.expander.Reset(d.defaults);
  const int r = d.rotation;
  const bool across = (r >= 90 && r < 180) || r >= 270;
  const double width = across ? d.text_rect.Height() : d.text_rect.Width();
  const int wrap_width = RoundToInt(width * kFactor);
  const int spacing = RoundToInt(d.char_spacing * kFactor);
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString& source = lines[i].isEmpty() ? QStringLiteral(" ") : lines[i];
    d.plain += source;
    d.plain += QStringLiteral("\r\n");
    const double first = (i == 0 && first_para_break) ? width : width - d.paragraph_gap;
    const qsizetype first_line = d.wrapped.size();
    d.WrapLine(source, RoundToInt(first * kFactor), wrap_width, spacing);
    const qsizetype count = d.wrapped.size() - first_line;
    if (count == 1) {
      d.flags[first_line] = kParagraphFirst | kParagraphLast;
    } else if (count > 1) {
      d.flags[first_line] = kParagraphFirst;
      d.flags.back() = kParagraphLast;
    }
  }
  ovx::MarkUnchanged(d.line_tags, d.defaults, d.html);
}

const QStringList& TovxDrawText::WrappedLines() const { return impl_->wrapped; }

int TovxDrawText::ParagraphFlags(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= impl_->flags.size()) return 0;
  return impl_->flags[index];
}

const TovxHTMLTags& TovxDrawText::LineTags(int index) const {
  static const TovxHTMLTags kNone;
  if (index < 0 || static_cast<size_t>(index) >= impl_->line_tags.size()) return kNone;
  return impl_->line_tags[index];
}

void TovxDrawText::DrawLines(ovx::Canvas& canvas, TovxHAlign h_align, TovxVAlign v_align,
                             TovxUnderlinesTextMode underlines) {
  impl_->DrawLines(canvas, h_align, v_align, underlines);
}

double TovxDrawText::MeasureHeight() {
  Impl& d = *impl_;
  if (d.wrapped.isEmpty()) return 0;
  std::lock_guard lock(d.measure.Lock());
  const double h_m = d.MeasureHeightPixels();
  double height = (h_m / kFactor + d.line_spacing) * d.wrapped.size();
  if (d.line_spacing < 0) height += std::abs(d.line_spacing);
  if (d.font_size > 12) {
    // The cell of large fonts reaches further than their em height.
    d.measure.Font().style_bits = d.defaults.style;
    int cell = d.measure.Metrics().height;
    if (cell <= 0) cell = static_cast<int>(h_m);
    const double extra = (cell - h_m) / kFactor;
    if (extra > 0) height += extra;
  }
  return height;
}

double TovxDrawText::MeasureWidth() {
  Impl& d = *impl_;
  std::lock_guard lock(d.measure.Lock());
  double widest = 0;
  for (qsizetype i = 0; i < d.wrapped.size(); ++i) {
    const QString& line = d.wrapped[i];
    const double extent =
        double(d.LineAdvances(d.measure, line, d.line_tags[i], 0, false, false, d.measured));
    qsizetype characters = 0;
    for (qsizetype k = 0; k < line.size(); ++k) characters += ovx::IsTrailingHalf(line, k) ? 0 : 1;
    double width = extent + characters * d.char_spacing * kFactor;
    if (d.flags[i] & kParagraphFirst) width += d.paragraph_gap * kFactor;
    widest = std::max(widest, width);
  }
  return widest / kFactor;
}

double TovxDrawText::LineHeight() { return impl_->LineHeight(); }

double TovxDrawText::SpareHeight() {
  Impl& d = *impl_;
  const qint64 k = d.FitCount();
  if (k == 0) return 0;
  const double rest = d.text_rect.Height() + 1.0 - d.LineHeight() * k;
  return rest == 0 ? 0.0001 : rest;
}

QString TovxDrawText::OverflowText(bool* para_break) {
  Impl& d = *impl_;
  if (para_break) *para_break = false;
  const qint64 kept = d.FitCount();
  if (d.wrapped.size() <= kept) return {};

  const bool breaks_paragraph = kept > 0 && !(d.flags[kept - 1] & kParagraphLast);
  const TovxHTMLTags& first_tags = d.line_tags[kept];
  const TovxHTMLTag first = first_tags.empty() ? TovxHTMLTag{} : first_tags.front();
  const qsizetype cut = std::clamp<qsizetype>(first.position, 1, d.plain.size() + 1) - 1;
  QString rest = d.plain.sliced(cut);
  if (breaks_paragraph && rest.startsWith(u' ')) rest.remove(0, 1);
  d.plain.truncate(cut);
  // Only a hyphen the layout added goes into the kept text; one that
  // stands in the source is there already.
  if (d.word_break && kept > 0 && d.hyphenated[kept - 1]) d.plain += u'-';

  d.wrapped.erase(d.wrapped.begin() + kept, d.wrapped.end());
  d.flags.resize(kept);
  d.hyphenated.resize(kept);
  d.line_tags.resize(kept);
  if (d.html) rest.prepend(ovx::OpeningTags(first));
  if (para_break) *para_break = breaks_paragraph;
  return rest;
}

QString TovxDrawText::FittingText() const { return impl_->plain; }

QString TovxDrawText::WrappedText() const { return impl_->wrapped.join(QStringLiteral("\r\n")); }

void TovxDrawText::ClearParagraphEnds(bool first, bool last) {
  Impl& d = *impl_;
  if (d.flags.empty()) return;
  if (first) d.flags.front() &= ~kParagraphFirst;
  if (last) d.flags.back() &= ~kParagraphLast;
}
