// The canvas replay of text records: the font the state selects, scaled
// with the mapping, the reference point moved to the top left of the cell
// as the canvas draws from it, and the recorded advances scaled as running
// sums so that rounding never accumulates along a run.
#include "render/emf_canvas_player.h"

#include "base/error.h"
#include "base/rounding.h"
#include "base/text_codec.h"
#include "render/internal/emf_canvas_pixels.h"

#include <climits>
#include <cmath>
#include <numbers>

namespace ovx {

namespace {

using namespace emf;
using internal::Px;

// Font heights beyond this many pixels are drawn at it.
constexpr int kMaxFontPixels = 1 << 15;

}  // namespace

// --- text ----------------------------------------------------------------------------------

void EmfCanvasPlayer::DrawText(const TextRun& run) {
  if (run.text.isEmpty() || (run.options & kEtoGlyphIndex)) return;
  TDeviceContextData& d = DeviceContext().Data();
  const QTransform t = ToCanvas();
  const double along = std::hypot(t.m11(), t.m12());
  const double across = std::hypot(t.m21(), t.m22());

  CanvasFont font = CreateCurrentFont();
  if (std::abs(across - 1) > 1e-9) {
    const double pixels = std::min(std::abs(double(font.height)) * across, double(kMaxFontPixels));
    font.height = (font.height < 0 ? -1 : 1) * RoundToInt(pixels);
  }
  font.height = std::clamp(font.height, -kMaxFontPixels, kMaxFontPixels);
  if (std::abs(t.m12()) > 1e-12 || t.m11() < 0) {
    const double turn = std::atan2(-t.m12(), t.m11()) * 180 / std::numbers::pi;
    font.escapement = static_cast<int>((qint64{font.escapement} + RoundToInt(turn * 10)) % 3600);
  }
  canvas_.Font() = font;

  const bool update_cp = d.text_align & kTaUpdateCp;
  const QPoint reference = update_cp ? d.current_position : run.reference;
  QPointF origin = t.map(QPointF(reference));

  std::vector<int> advances;
  qint64 logical_width = 0;
  if (!run.advances.empty()) {
    advances.reserve(run.advances.size());
    qint64 sum = 0;
    for (int a : run.advances) {
      const qint64 next = sum + a;
      // Running sums scaled and rounded, so rounding never accumulates.
      const qint64 scaled =
          std::abs(along - 1) < 1e-9 ? a : Round(next * along) - Round(sum * along);
      advances.push_back(static_cast<int>(std::clamp<qint64>(scaled, INT_MIN, INT_MAX)));
      sum = next;
    }
    logical_width = sum;
  }
  qint64 width = 0;
  if (advances.empty()) {
    width = canvas_.TextWidth(run.text);
    logical_width = along > 0 ? static_cast<qint64>(std::llround(width / along)) : 0;
  } else {
    for (int a : advances) width += a;
  }

  // The canvas draws from the top left of the cell: move the reference
  // there from where the alignment puts it, along the text direction.
  double shift_along = 0, shift_down = 0;
  switch (DeviceContext().HorizontalAlignment()) {
    case TDeviceContext::HAlign::kCenter:
      shift_along = -double(width) / 2;
      break;
    case TDeviceContext::HAlign::kRight:
      shift_along = -double(width);
      break;
    default:
      break;
  }
  const FontMetrics metrics = canvas_.Metrics();
  switch (DeviceContext().VerticalAlignment()) {
    case TDeviceContext::VAlign::kBaseline:
      shift_down = -metrics.ascent;
      break;
    case TDeviceContext::VAlign::kBottom:
      shift_down = -metrics.height;
      break;
    default:
      break;
  }
  const double angle = font.escapement / 10.0 * std::numbers::pi / 180;
  origin += QPointF(shift_along * std::cos(angle) + shift_down * std::sin(angle),
                    -shift_along * std::sin(angle) + shift_down * std::cos(angle));

  PixelRect clip;
  const bool clipped = run.options & kEtoClipped;
  const bool opaque = run.options & kEtoOpaque;
  if (clipped || opaque) clip = CanvasRect(run.clip);
  if (opaque && !clip.IsEmpty()) {
    canvas_.Brush() = {static_cast<Color>(ResolveColorRef(d.bk_color, d.eof_palette)),
                       TovxBrushStyle::bsSolid};
    canvas_.FillRect(clip);
  }
  const int options =
      (clipped ? kTextClipped : 0) | (run.options & kEtoRtlReading ? kTextRtlReading : 0);
  const QPoint at = Px(origin);
  canvas_.ExtTextOut(at.x(), at.y(), options, clipped ? &clip : nullptr, run.text, advances);

  if (update_cp) {
    d.current_position.rx() = static_cast<int>(
        std::clamp<qint64>(qint64{d.current_position.x()} + logical_width, INT_MIN, INT_MAX));
  }
}

void EmfCanvasPlayer::DoExtTextOutW() {
  TEMFAbstractExport::DoExtTextOutW();
  const auto& r = Current<TEMRExtTextOutWObj>();
  DrawText({r.Reference(), r.Options(), r.ClipRect(), r.Text(), r.Advances()});
}

void EmfCanvasPlayer::DoExtTextOutA() {
  TEMFAbstractExport::DoExtTextOutA();
  const auto& r = Current<TEMRExtTextOutAObj>();
  std::vector<int> advances = r.Advances();
  const QString text = EightBitText(r.Text(), DeviceContext().FontCharset(), advances);
  DrawText({r.Reference(), r.Options(), r.ClipRect(), text, advances});
}

void EmfCanvasPlayer::DoSmallTextOut() {
  TEMFAbstractExport::DoSmallTextOut();
  const auto& r = Current<TEMRSmallTextOutObj>();
  DrawText({r.Reference(), r.Options(), r.ClipRect(), r.Text(), {}});
}

void EmfCanvasPlayer::DoPolyTextOutW() {
  TEMFAbstractExport::DoPolyTextOutW();
  const auto& r = Current<TEMRPolyTextOutWObj>();
  for (int i = 0; i < r.StringCount(); ++i)
    DrawText({r.Reference(i), r.Options(i), r.Rect(60 + 40 * i), r.Text(i), r.Advances(i)});
}

void EmfCanvasPlayer::DoPolyTextOutA() {
  TEMFAbstractExport::DoPolyTextOutA();
  const auto& r = Current<TEMRPolyTextOutAObj>();
  for (int i = 0; i < r.StringCount(); ++i) {
    std::vector<int> advances = r.Advances(i);
    const QString text = EightBitText(r.Text(i), DeviceContext().FontCharset(), advances);
    DrawText({r.Reference(i), r.Options(i), r.Rect(60 + 40 * i), text, advances});
  }
}

}  // namespace ovx
