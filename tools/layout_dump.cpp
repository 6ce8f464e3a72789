#include "tools/layout_dump.h"

#include "base/error.h"
#include "base/number_format.h"
#include "base/rounding.h"
#include "platform/font_service.h"
#include "platform/safe_file.h"
#include "render/draw_text.h"
#include "render/null_canvas.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace ovx {

namespace {

// Four decimals are plenty to see a change and keep goldens stable across
// the last bits of floating point.
QString Number(double value) { return FormatFloat(std::round(value * 10000) / 10000); }

QString Quoted(const QString& text) {
  QString out = text;
  out.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
  return u'"' + out + u'"';
}

QString IntList(std::span<const int> values) {
  QStringList parts;
  for (int v : values) parts << QString::number(v);
  return parts.join(u' ');
}

// Collects the runs DrawLines hands to its recorder.
class RunCollector : public TextRunSink {
 public:
  QStringList runs;
  void TextRun(int x, int y, int options, const PixelRect& clip, QStringView text,
               std::span<const int> advances, const Canvas& canvas) override {
    runs << QStringLiteral("  run at %1,%2 options %3 clip %4,%5,%6,%7 height %8 style %9 %10")
                .arg(x)
                .arg(y)
                .arg(options)
                .arg(clip.left)
                .arg(clip.top)
                .arg(clip.right)
                .arg(clip.bottom)
                .arg(canvas.Font().height)
                .arg(canvas.Font().style_bits)
                .arg(Quoted(text.toString()));
    runs << QStringLiteral("    advances %1").arg(IntList(advances));
  }
};

TovxFont MakeFont(const LayoutRequest& r) {
  TovxFont font;
  font.SetName(r.font_name);
  font.SetSize(r.font_size);
  TovxFontStyles style;
  if (r.style_bits & 1) style = style.With(TovxFontStyle::fsBold, true);
  if (r.style_bits & 2) style = style.With(TovxFontStyle::fsItalic, true);
  if (r.style_bits & 4) style = style.With(TovxFontStyle::fsUnderline, true);
  if (r.style_bits & 8) style = style.With(TovxFontStyle::fsStrikeOut, true);
  font.SetStyle(style);
  return font;
}

void Configure(TovxDrawText& layout, const LayoutRequest& r, double scale,
               const PixelRect& draw_rect) {
  layout.ApplyFont(MakeFont(r));
  layout.ApplyOptions(r.word_wrap, r.html_tags, r.rotation, r.wysiwyg, true, r.word_break,
                      r.rtl_reading);
  layout.ApplySpacing(r.paragraph_gap, r.char_spacing, r.line_spacing);
  layout.ApplyGeometry(scale, scale, 1, PixelRect{0, 0, r.width, r.height}, draw_rect);
  layout.LayOutText(r.lines, r.first_para_break);
}

// Runs of equal attributes in one line's records.
QStringList AttributeRuns(const TovxHTMLTags& tags) {
  QStringList out;
  size_t start = 0;
  auto same = [](const TovxHTMLTag& a, const TovxHTMLTag& b) {
    return a.size == b.size && a.style == b.style && a.color == b.color && a.script == b.script &&
           a.no_wrap == b.no_wrap;
  };
  for (size_t i = 1; i <= tags.size(); ++i) {
    if (i < tags.size() && same(tags[i], tags[start])) continue;
    const TovxHTMLTag& t = tags[start];
    out << QStringLiteral("    chars %1..%2 from %3: size %4 style %5 color %6 script %7%8")
               .arg(start)
               .arg(i - 1)
               .arg(t.position)
               .arg(t.size)
               .arg(t.style)
               .arg(QString::number(static_cast<quint32>(t.color), 16).rightJustified(6, u'0'))
               .arg(t.script)
               .arg(t.no_wrap ? QStringLiteral(" nowrap") : QString());
    start = i;
  }
  return out;
}

}  // namespace

QString DumpLayout(const LayoutRequest& r) {
  QStringList out;
  const int style = r.style_bits & 3;
  const FontFace& face = FontService::Instance().Resolve(r.font_name, style);
  out << QStringLiteral("font %1 %2pt style %3 -> %4 (%5 #%6)")
             .arg(Quoted(r.font_name))
             .arg(r.font_size)
             .arg(r.style_bits)
             .arg(face.FamilyName(), QFileInfo(face.FilePath()).fileName())
             .arg(face.FaceIndex());
  out << QStringLiteral(
             "text rect %1 x %2 units; wrap %3, word break %4, tags %5, wysiwyg %6, rtl %7, "
             "rotation %8, first para break %9")
             .arg(r.width)
             .arg(r.height)
             .arg(int(r.word_wrap))
             .arg(int(r.word_break))
             .arg(int(r.html_tags))
             .arg(int(r.wysiwyg))
             .arg(int(r.rtl_reading))
             .arg(r.rotation)
             .arg(int(r.first_para_break));
  out << QStringLiteral("spacing: paragraph gap %1, characters %2, lines %3")
             .arg(Number(r.paragraph_gap), Number(r.char_spacing), Number(r.line_spacing));

  DrawTextLock lock;
  TovxDrawText layout;
  const double scale = r.scale * r.dpi / 96.0;
  const PixelRect draw_rect{0, 0, RoundToInt(r.width * scale), RoundToInt(r.height * scale)};
  Configure(layout, r, scale, draw_rect);

  // Advances as the layout measures them: at 600 dpi, in the line's first
  // style (tagged runs of other styles are listed below the line).
  NullCanvas measuring(600);
  measuring.Font().name = r.font_name;
  measuring.Font().height = -RoundToInt(r.font_size * 600.0 / 72);
  measuring.Font().style_bits = r.style_bits;
  const QStringList& lines = layout.WrappedLines();
  out << QStringLiteral("wrapped lines: %1").arg(lines.size());
  for (int i = 0; i < lines.size(); ++i) {
    std::vector<int> cumulative(static_cast<size_t>(lines[i].size()));
    const int total = measuring.TextExtents(lines[i], cumulative);
    std::vector<int> advances(cumulative.size());
    for (size_t k = 0; k < cumulative.size(); ++k)
      advances[k] = cumulative[k] - (k ? cumulative[k - 1] : 0);
    out << QStringLiteral("  %1 [%2] %3")
               .arg(i)
               .arg(layout.ParagraphFlags(i))
               .arg(Quoted(lines[i]));
    out << QStringLiteral("    width@600 %1: %2").arg(total).arg(IntList(advances));
    if (r.html_tags) out << AttributeRuns(layout.LineTags(i));
  }
  out << QStringLiteral("measure: height %1, width %2, line height %3, spare %4")
             .arg(Number(layout.MeasureHeight()), Number(layout.MeasureWidth()),
                  Number(layout.LineHeight()), Number(layout.SpareHeight()));

  NullCanvas target(r.dpi);
  RunCollector runs;
  layout.SetRecorder(&runs);
  layout.DrawLines(target, r.h_align, r.v_align, r.underlines);
  layout.SetRecorder(nullptr);
  out << QStringLiteral("drawn at %1 dpi, scale %2, into 0,0,%3,%4:")
             .arg(r.dpi)
             .arg(Number(r.scale))
             .arg(draw_rect.right)
             .arg(draw_rect.bottom);
  out << runs.runs;

  bool para_break = false;
  const QString rest = layout.OverflowText(&para_break);
  out << QStringLiteral("overflow (para break %1): %2").arg(int(para_break)).arg(Quoted(rest));
  out << QStringLiteral("fitting: %1").arg(Quoted(layout.FittingText()));
  return out.join(u'\n') + u'\n';
}

QString ParseLayoutArguments(const QStringList& args, LayoutRequest* r) {
  auto number = [&](int& i, double* out) -> bool {
    if (i + 1 >= args.size()) return false;
    const auto v = ParseFloat(args[++i]);
    if (!v || !std::isfinite(*v)) return false;
    *out = *v;
    return true;
  };
  auto integer = [&](int& i, int* out) -> bool {
    double v = 0;
    if (!number(i, &v) || v != std::floor(v) || std::abs(v) > 1e6) return false;
    *out = static_cast<int>(v);
    return true;
  };
  bool have_text = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    bool ok = true;
    if (a == "--text" && i + 1 < args.size()) {
      r->lines = args[++i].split(QStringLiteral("\\n"));
      have_text = true;
    } else if (a == "--file" && i + 1 < args.size()) {
      QString text;
      try {
        text = QString::fromUtf8(
            ovx::ReadFileBounded(args[++i], qint64{16} << 20, QStringLiteral("text file")));
      } catch (const ovx::Error& error) {
        return error.Message();
      }
      text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      if (text.endsWith(u'\n')) text.chop(1);
      r->lines = text.split(u'\n');
      have_text = true;
    } else if (a == "--font" && i + 1 < args.size()) {
      r->font_name = args[++i];
    } else if (a == "--size") {
      ok = integer(i, &r->font_size);
    } else if (a == "--style") {
      ok = integer(i, &r->style_bits);
    } else if (a == "--width") {
      ok = integer(i, &r->width);
    } else if (a == "--height") {
      ok = integer(i, &r->height);
    } else if (a == "--rotation") {
      ok = integer(i, &r->rotation);
    } else if (a == "--dpi") {
      ok = integer(i, &r->dpi) && r->dpi > 0;
    } else if (a == "--scale") {
      ok = number(i, &r->scale) && r->scale > 0;
    } else if (a == "--paragraph-gap") {
      ok = number(i, &r->paragraph_gap);
    } else if (a == "--char-spacing") {
      ok = number(i, &r->char_spacing);
    } else if (a == "--line-spacing") {
      ok = number(i, &r->line_spacing);
    } else if (a == "--halign") {
      int v = 0;
      ok = integer(i, &v) && v >= 0 && v <= 3;
      r->h_align = static_cast<TovxHAlign>(v);
    } else if (a == "--valign") {
      int v = 0;
      ok = integer(i, &v) && v >= 0 && v <= 2;
      r->v_align = static_cast<TovxVAlign>(v);
    } else if (a == "--underlines") {
      int v = 0;
      ok = integer(i, &v) && v >= 0 && v <= 3;
      r->underlines = static_cast<TovxUnderlinesTextMode>(v);
    } else if (a == "--no-wrap") {
      r->word_wrap = false;
    } else if (a == "--word-break") {
      r->word_break = true;
    } else if (a == "--tags") {
      r->html_tags = true;
    } else if (a == "--no-wysiwyg") {
      r->wysiwyg = false;
    } else if (a == "--rtl") {
      r->rtl_reading = true;
    } else if (a == "--first-para-break") {
      r->first_para_break = true;
    } else {
      return QStringLiteral("unknown or incomplete option: %1").arg(a);
    }
    if (!ok) return QStringLiteral("bad value for %1").arg(a);
  }
  if (!have_text) return QStringLiteral("no text: give --text or --file");
  return {};
}

}  // namespace ovx
