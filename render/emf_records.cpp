// Accessors of metafile records and the stock object table.
//
// Every variable part is checked against the record's own bytes before it
// is read (see emf_records.h): a part that does not fit reads as empty.
#include "render/emf_records.h"

#include "base/error.h"
#include "base/text_codec.h"
#include "render/internal/emf_dib.h"

#include <algorithm>
#include <array>
#include <memory>

using ovx::internal::Fits;
using ovx::internal::RecordWriter;

namespace ovx::emf {

QString RecordName(quint32 type) {
  switch (type) {
#define OVX_EMF_NAME(type, name, cls) \
  case type:                          \
    return QStringLiteral("EMR_" #name);
    OVX_EMF_RECORD_TYPES(OVX_EMF_NAME)
#undef OVX_EMF_NAME
    default:
      return QString();
  }
}

}  // namespace ovx::emf

namespace {

// Region and clip coordinates stay within this, far beyond any device, so
// that no rectangle arithmetic can overflow.
constexpr int kRegionLimit = 1 << 24;

int ClampRegion(qint32 v) { return std::clamp(v, -kRegionLimit, kRegionLimit); }

// Whether `count` items of `size` bytes fit from `offset` in `bytes`.
bool ArrayFits(const TEnhMetaObj& r, qint64 offset, qint64 count, qint64 size) {
  return count >= 0 && count <= (qint64{1} << 31) && r.Fits(offset, count * size);
}

QString Latin1At(const TEnhMetaObj& r, qint64 offset, qint64 count) {
  if (!ArrayFits(r, offset, count, 1)) return QString();
  return QString::fromLatin1(r.Bytes().constData() + offset, count);
}

std::vector<int> AdvancesAt(const TEnhMetaObj& r, qint64 offset, qint64 count, bool pdy,
                            bool vertical) {
  std::vector<int> out;
  const qint64 step = pdy ? 2 : 1;
  if (!ArrayFits(r, offset, count * step, 4)) return out;
  out.reserve(static_cast<size_t>(count));
  for (qint64 i = 0; i < count; ++i)
    out.push_back(r.I32(offset + 4 * (i * step + (vertical ? 1 : 0))));
  return out;
}

}  // namespace

// --- TEnhMetaObj ---------------------------------------------------------------------

QRect TEnhMetaObj::Rect(qint64 offset) const {
  QRect r;
  r.setCoords(I32(offset), I32(offset + 4), I32(offset + 8), I32(offset + 12));
  return r;
}

QString TEnhMetaObj::WideString(qint64 offset, qint64 count) const {
  if (!ArrayFits(*this, offset, count, 2)) return QString();
  QString text(count, Qt::Uninitialized);
  for (qint64 i = 0; i < count; ++i) text[i] = QChar(U16(offset + 2 * i));
  return text;
}

std::vector<QRect> TEnhMetaObj::RegionRects(qint64 offset, qint64 size) const {
  std::vector<QRect> rects;
  if (size < 32 || !Fits(offset, size)) return rects;
  const qint64 count = U32(offset + 8);
  if (count > (size - 32) / 16) return rects;
  rects.reserve(static_cast<size_t>(count));
  for (qint64 i = 0; i < count; ++i) {
    const qint64 at = offset + 32 + 16 * i;
    const int l = ClampRegion(I32(at)), t = ClampRegion(I32(at + 4));
    const int r = ClampRegion(I32(at + 8)), b = ClampRegion(I32(at + 12));
    if (r > l && b > t) rects.emplace_back(QPoint(l, t), QPoint(r - 1, b - 1));
  }
  return rects;
}

// --- bitmaps -------------------------------------------------------------------------------

QImage TEMRBitmap::Image(bool use_alpha) const {
  const qint64 off_bmi = OffBmi(), cb_bmi = CbBmi(), off_bits = OffBits(), cb_bits = CbBits();
  if (cb_bmi == 0 || !Fits(off_bmi, cb_bmi) || !Fits(off_bits, cb_bits)) return QImage();
  const QByteArrayView bytes(Bytes());
  return ovx::internal::DecodeDib(bytes.sliced(off_bmi, cb_bmi), bytes.sliced(off_bits, cb_bits),
                                  use_alpha);
}

QSize TEMRBitmap::BitmapSize() const {
  const qint64 off_bmi = OffBmi(), cb_bmi = CbBmi();
  if (cb_bmi < 12 || !Fits(off_bmi, cb_bmi)) return QSize();
  if (U32(off_bmi) == 12) return QSize(U16(off_bmi + 4), U16(off_bmi + 6));
  if (cb_bmi < 40) return QSize();
  return QSize(I32(off_bmi + 4), I32(off_bmi + 8));
}

std::vector<quint32> TEMRExtCreatePenObj::StyleEntries() const {
  std::vector<quint32> out;
  const qint64 count = U32(48);
  if (!ArrayFits(*this, 52, count, 4)) return out;
  for (qint64 i = 0; i < count; ++i) out.push_back(U32(52 + 4 * i));
  return out;
}

// --- text ----------------------------------------------------------------------------------

QString TEMRExtTextOutWObj::Text() const { return WideString(U32(48), CharCount()); }

QString TEMRExtTextOutAObj::Text() const { return Latin1At(*this, U32(48), CharCount()); }

std::vector<int> TEMRExtTextOutWObj::Advances() const {
  return AdvancesAt(*this, U32(72), CharCount(), Options() & ovx::emf::kEtoPdy, false);
}

std::vector<int> TEMRExtTextOutWObj::VerticalAdvances() const {
  if (!(Options() & ovx::emf::kEtoPdy)) return {};
  return AdvancesAt(*this, U32(72), CharCount(), true, true);
}

qint64 TEMRExtTextOutWObj::AdvanceSum() const {
  qint64 sum = 0;
  for (int a : Advances())
    if (a > 0) sum += a;
  return sum;
}

QString TEMRSmallTextOutObj::Text() const {
  const qint64 at = (Options() & ovx::emf::kEtoNoRect) ? 36 : 52;
  if (Options() & ovx::emf::kEtoSmallChars) return Latin1At(*this, at, CharCount());
  return WideString(at, CharCount());
}

namespace ovx::emf {

QString EightBitText(const QString& latin1, int charset, std::vector<int>& advances) {
  if (charset != 134) return latin1;
  QString text = latin1;
  try {
    text = ovx::FromGbk(latin1.toLatin1());
  } catch (const ovx::Error&) {
    // Bytes that are no GBK text stay as they are.
  }
  if (text.size() != latin1.size()) advances.clear();
  return text;
}

}  // namespace ovx::emf

int TEMRPolyTextOutWObj::StringCount() const {
  const qint64 count = U32(36);
  return ArrayFits(*this, 40, count, 40) ? static_cast<int>(count) : 0;
}

QString TEMRPolyTextOutWObj::Text(int i) const {
  return WideString(U32(52 + 40 * qint64{i}), U32(48 + 40 * qint64{i}));
}

QString TEMRPolyTextOutAObj::Text(int i) const {
  return Latin1At(*this, U32(52 + 40 * qint64{i}), U32(48 + 40 * qint64{i}));
}

std::vector<int> TEMRPolyTextOutWObj::Advances(int i) const {
  return AdvancesAt(*this, U32(76 + 40 * qint64{i}), U32(48 + 40 * qint64{i}),
                    Options(i) & ovx::emf::kEtoPdy, false);
}

// --- points --------------------------------------------------------------------------------

int TEMRPolyObj::PointCount() const {
  const qint64 count = U32(24);
  return ArrayFits(*this, 28, count, 8) ? static_cast<int>(count) : 0;
}

int TEMRPoly16Obj::PointCount() const {
  const qint64 count = U32(24);
  return ArrayFits(*this, 28, count, 4) ? static_cast<int>(count) : 0;
}

int TEMRPolyDrawObj::PointCount() const {
  const qint64 count = U32(24);
  return ArrayFits(*this, 28, count, 9) ? static_cast<int>(count) : 0;
}

int TEMRPolyDraw16Obj::PointCount() const {
  const qint64 count = U32(24);
  return ArrayFits(*this, 28, count, 5) ? static_cast<int>(count) : 0;
}

int TEMRPolyPolygonObj::PolygonCount() const {
  const qint64 polygons = U32(24);
  const qint64 total = U32(28);
  if (!ArrayFits(*this, 32, polygons, 4)) return 0;
  if (!ArrayFits(*this, 32 + 4 * polygons, total, PointBytes())) return 0;
  qint64 sum = 0;
  for (qint64 i = 0; i < polygons; ++i) {
    sum += U32(32 + 4 * i);
    if (sum > total) return 0;
  }
  return sum == total ? static_cast<int>(polygons) : 0;
}

qint64 TEMRPolyPolygonObj::FirstPointOffset(int polygon) const {
  const qint64 polygons = U32(24);
  qint64 index = 0;
  for (int i = 0; i < polygon; ++i) index += PointCount(i);
  return 32 + 4 * polygons + index * PointBytes();
}

QPoint TEMRPolyPolygonObj::Point(int polygon, int j) const {
  return PointAt(FirstPointOffset(polygon) + qint64{j} * PointBytes());
}

std::vector<std::vector<QPoint>> TEMRPolyPolygonObj::Polygons() const {
  const int polygons = PolygonCount();
  std::vector<std::vector<QPoint>> out(static_cast<size_t>(polygons));
  qint64 at = 32 + 4 * qint64{polygons};
  for (int i = 0; i < polygons; ++i) {
    const int count = PointCount(i);
    out[i].reserve(static_cast<size_t>(count));
    for (int j = 0; j < count; ++j, at += PointBytes()) out[i].push_back(PointAt(at));
  }
  return out;
}

// --- header and end of file -----------------------------------------------------------------

QString TEnhMetaHeaderObj::Description() const {
  return WideString(DescriptionOffset(), DescriptionLength());
}

int TEoFObj::PaletteEntryCount() const {
  const qint64 count = U32(8);
  return ArrayFits(*this, U32(12), count, 4) ? static_cast<int>(count) : 0;
}

// --- stock objects --------------------------------------------------------------------------

namespace ovx::emf {

namespace {

QByteArray Finish(RecordWriter& w) {
  w.PatchU32(4, static_cast<quint32>(w.Size()));
  return w.Data();
}

QByteArray StockBrush(quint32 index, quint32 style, quint32 color) {
  RecordWriter w;
  w.U32(kEmrCreateBrushIndirect).U32(0).U32(kStockObject | index);
  w.U32(style).U32(color).U32(0);
  return Finish(w);
}

QByteArray StockPen(quint32 index, quint32 style, quint32 color) {
  RecordWriter w;
  w.U32(kEmrCreatePen).U32(0).U32(kStockObject | index);
  w.U32(style).I32(1).I32(1).U32(color);
  return Finish(w);
}

QByteArray StockFont(quint32 index, const char16_t* face, quint8 charset) {
  RecordWriter w;
  w.U32(kEmrExtCreateFontIndirectW).U32(0).U32(kStockObject | index);
  w.I32(12).I32(0).I32(0).I32(0).I32(400);
  w.U8(0).U8(0).U8(0).U8(charset).U8(0).U8(0).U8(0).U8(0);
  const QString name = QString::fromUtf16(face);
  for (int i = 0; i < 32; ++i) w.U16(i < name.size() ? name[i].unicode() : 0);
  return Finish(w);
}

QByteArray StockPalette(quint32 index) {
  RecordWriter w;
  w.U32(kEmrCreatePalette).U32(0).U32(kStockObject | index);
  w.U16(0x300).U16(0);
  return Finish(w);
}

}  // namespace

const TEnhMetaObj* StockObject(quint32 handle) {
  static const auto table = [] {
    std::array<std::unique_ptr<TEnhMetaObj>, 20> t;
    const quint32 greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (quint32 i = 0; i < 5; ++i)
      t[i] = std::make_unique<TEnhMetaObj>(StockBrush(i, kBsSolid, greys[i]));
    t[kNullBrush] = std::make_unique<TEnhMetaObj>(StockBrush(kNullBrush, kBsNull, 0));
    t[kDcBrush] = std::make_unique<TEnhMetaObj>(StockBrush(kDcBrush, kBsSolid, 0xFFFFFF));
    t[kWhitePen] = std::make_unique<TEnhMetaObj>(StockPen(kWhitePen, kPsSolid, 0xFFFFFF));
    t[kBlackPen] = std::make_unique<TEnhMetaObj>(StockPen(kBlackPen, kPsSolid, 0));
    t[kNullPen] = std::make_unique<TEnhMetaObj>(StockPen(kNullPen, kPsNull, 0));
    t[kDcPen] = std::make_unique<TEnhMetaObj>(StockPen(kDcPen, kPsSolid, 0));
    t[kOemFixedFont] = std::make_unique<TEnhMetaObj>(StockFont(kOemFixedFont, u"Terminal", 255));
    t[kAnsiFixedFont] = std::make_unique<TEnhMetaObj>(StockFont(kAnsiFixedFont, u"Courier", 0));
    t[kAnsiVarFont] = std::make_unique<TEnhMetaObj>(StockFont(kAnsiVarFont, u"Serif", 0));
    t[kSystemFont] = std::make_unique<TEnhMetaObj>(StockFont(kSystemFont, u"System", 1));
    t[kDeviceDefaultFont] =
        std::make_unique<TEnhMetaObj>(StockFont(kDeviceDefaultFont, u"System", 1));
    t[kSystemFixedFont] =
        std::make_unique<TEnhMetaObj>(StockFont(kSystemFixedFont, u"Fixedsys", 1));
    t[kDefaultGuiFont] = std::make_unique<TEnhMetaObj>(StockFont(kDefaultGuiFont, u"Serif", 1));
    t[kDefaultPalette] = std::make_unique<TEnhMetaObj>(StockPalette(kDefaultPalette));
    return t;
  }();
  if (!(handle & kStockObject)) return nullptr;
  const quint32 index = handle & ~kStockObject;
  return index < table.size() ? table[index].get() : nullptr;
}

QImage BitmapSourcePart(const QImage& image, qint64 x, qint64 y, qint64 w, qint64 h,
                        bool bottom_up) {
  if (image.isNull() || w <= 0 || h <= 0) return image;
  if (x == 0 && y == 0 && w == image.width() && h == image.height()) return image;
  const qint64 top = bottom_up ? qint64{image.height()} - y - h : y;
  const qint64 left = std::max<qint64>(x, 0), right = std::min<qint64>(x + w, image.width());
  const qint64 upper = std::max<qint64>(top, 0), lower = std::min<qint64>(top + h, image.height());
  if (right <= left || lower <= upper) return image;
  return image.copy(QRect(static_cast<int>(left), static_cast<int>(upper),
                          static_cast<int>(right - left), static_cast<int>(lower - upper)));
}

}  // namespace ovx::emf
