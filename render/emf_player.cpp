// Playing records: the loop, the handlers, and the state each record
// changes. Descriptions are built in emf_description.cpp.
#include "render/emf_player.h"

#include "base/error.h"
#include "base/stream.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>

using namespace ovx::emf;

namespace {

// Coordinates of mapped clip rectangles stay within this.
constexpr double kRegionLimit = 1 << 24;

int RoundClamped(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::floor(std::clamp(v, -kRegionLimit, kRegionLimit) + 0.5));
}

TEMFXForm XFormAt(const TEnhMetaObj& r, qint64 offset) {
  return {r.F32(offset),      r.F32(offset + 4),  r.F32(offset + 8),
          r.F32(offset + 12), r.F32(offset + 16), r.F32(offset + 20)};
}

bool IsObjectCreation(quint32 type) {
  switch (type) {
    case kEmrCreatePen:
    case kEmrExtCreatePen:
    case kEmrCreateBrushIndirect:
    case kEmrCreateMonoBrush:
    case kEmrCreateDIBPatternBrushPt:
    case kEmrExtCreateFontIndirectW:
    case kEmrCreatePalette:
    case kEmrCreateColorSpace:
    case kEmrCreateColorSpaceW:
      return true;
    default:
      return false;
  }
}

}  // namespace

// --- TQuickWideFragment ------------------------------------------------------------

void TQuickWideFragment::Append(QStringView text) {
  const qsizetype needed = length_ + text.size();
  if (needed > Capacity()) {
    qsizetype capacity = std::max<qsizetype>(Capacity(), 1);
    while (capacity < needed) capacity *= 2;
    buffer_.resize(static_cast<size_t>(capacity));
  }
  std::copy(text.begin(), text.end(), buffer_.begin() + length_);
  length_ = needed;
}

void TQuickWideFragment::AppendFormatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const QString text = QString::vasprintf(format, args);
  va_end(args);
  Append(text);
}

// --- TEMFAbstractExport -------------------------------------------------------------

TEMFAbstractExport::TEMFAbstractExport(ovx::Stream& input, ovx::Stream* output)
    : input_(input), output_(output), context_(std::make_unique<TDeviceContext>()) {
  start_ = input_.Position();
  end_ = input_.Size();
}

TEMFAbstractExport::~TEMFAbstractExport() = default;

void TEMFAbstractExport::WriteComment(const QString&) {}

std::unique_ptr<TDeviceContext> TEMFAbstractExport::CreateDeviceContext() {
  return std::make_unique<TDeviceContext>();
}

ovx::CanvasFont TEMFAbstractExport::CreateCurrentFont() {
  const TDeviceContext& dc = *context_;
  ovx::CanvasFont font;
  font.name = dc.FontFaceName();
  font.charset = dc.FontCharset();
  font.color =
      static_cast<ovx::Color>(ResolveColorRef(dc.Data().text_color, dc.Data().eof_palette));
  font.style_bits = (dc.FontWeight() > 550 ? 1 : 0) | (dc.FontItalic() ? 2 : 0) |
                    (dc.FontUnderline() ? 4 : 0) | (dc.FontStrikeOut() ? 8 : 0);
  font.height = dc.Data().font ? dc.FontSignedHeight() : -12;
  font.escapement = dc.FontEscapement();
  return font;
}

void TEMFAbstractExport::Play() {
  context_ = CreateDeviceContext();
  context_->Reset();
  ended_ = false;
  damage_.clear();
  BeginPlay();
  qint64 position = input_.Position();
  while (!ended_) {
    TDeviceContextData& data = context_->Data();
    data.previous_position = data.current_position;
    const qint64 offset = position - start_;
    position = start_ + (offset + 3) / 4 * 4;
    if (position >= end_) break;
    if (end_ - position < 8) {
      damage_ = QStringLiteral("a record header is cut off at offset %1").arg(position - start_);
      break;
    }
    input_.Seek(position);
    char head[8];
    input_.ReadExactly(head, 8);
    const quint32 type = ovx::internal::LoadU32(QByteArrayView(head, 8), 0);
    const quint32 size = ovx::internal::LoadU32(QByteArrayView(head, 8), 4);
    if (size < 8 || size > end_ - position) {
      damage_ =
          QStringLiteral("the record at offset %1 has the size %2, which %3")
              .arg(position - start_)
              .arg(size)
              .arg(size < 8 ? QStringLiteral("is too small") : QStringLiteral("runs past the end"));
      break;
    }
    input_.Seek(position);
    record_type_ = type;
    record_size_ = size;
    record_offset_ = position - start_;
    Dispatch(type);
    // A handler of a subclass that did not read its record still moves on.
    position += size;
    input_.Seek(position);
  }
  EndPlay();
}

void TEMFAbstractExport::Dispatch(quint32 type) {
  switch (type) {
#define OVX_EMF_DISPATCH(type, name, cls) \
  case type:                              \
    Do##name();                           \
    break;
    OVX_EMF_RECORD_TYPES(OVX_EMF_DISPATCH)
#undef OVX_EMF_DISPATCH
    default:
      UnknownRecord();
  }
}

template <class R>
const R& TEMFAbstractExport::ReadRecord() {
  input_.Seek(start_ + record_offset_);
  QByteArray bytes(record_size_, Qt::Uninitialized);
  input_.ReadExactly(bytes.data(), record_size_);
  auto record = std::make_unique<R>(std::move(bytes));
  const R& ref = *record;
  records_.push_back(std::move(record));
  current_ = &ref;
  return ref;
}

template <class R>
void TEMFAbstractExport::Handle() {
  const R& record = ReadRecord<R>();
  Update(record);
  if (diagnostics_) Describe(record);
  WriteComment(QString());
}

#define OVX_EMF_HANDLER_DEF(type, name, cls) \
  void TEMFAbstractExport::Do##name() { Handle<cls>(); }
OVX_EMF_RECORD_TYPES(OVX_EMF_HANDLER_DEF)
#undef OVX_EMF_HANDLER_DEF

void TEMFAbstractExport::UnknownRecord() {
  const TEnhMetaObj& record = ReadRecord<TEnhMetaObj>();
  if (diagnostics_) Describe(record);
  WriteComment(QString());
}

// --- state -----------------------------------------------------------------------------

void TEMFAbstractExport::Update(const TEnhMetaObj& r) {
  TDeviceContextData& d = context_->Data();
  const quint32 type = r.Type();
  if (IsObjectCreation(type)) {
    StoreObject(r);
    return;
  }
  switch (type) {
    case kEmrHeader:
      ReadHeader(static_cast<const TEnhMetaHeaderObj&>(r));
      break;
    case kEmrEoF:
      ended_ = true;
      break;
    case kEmrSelectObject:
      SelectObject(r.U32(8));
      break;
    case kEmrDeleteObject:
      DeleteObject(r.U32(8));
      break;
    case kEmrSaveDC:
      SaveContext();
      break;
    case kEmrRestoreDC:
      RestoreContext(r.I32(8));
      break;
    case kEmrSetMapMode:
      d.map_mode = r.U32(8);
      break;
    case kEmrSetWindowExtEx:
    case kEmrSetViewportExtEx: {
      // The platform refuses a zero extent: it would divide by zero.
      const QSize extent(r.I32(8), r.I32(12));
      if (extent.width() == 0 || extent.height() == 0) break;
      (type == kEmrSetWindowExtEx ? d.window_extent : d.viewport_extent) = extent;
      break;
    }
    case kEmrSetWindowOrgEx:
      d.window_origin = QPoint(r.I32(8), r.I32(12));
      break;
    case kEmrSetViewportOrgEx:
      d.viewport_origin = QPoint(r.I32(8), r.I32(12));
      break;
    case kEmrSetBrushOrgEx:
      d.brush_origin = QPoint(r.I32(8), r.I32(12));
      break;
    case kEmrSetBkMode:
      d.bk_mode = r.U32(8);
      break;
    case kEmrSetBkColor:
      d.bk_color = r.U32(8);
      break;
    case kEmrSetTextColor:
      d.text_color = r.U32(8);
      break;
    case kEmrSetTextAlign:
      d.text_align = r.U32(8);
      break;
    case kEmrSetPolyFillMode:
      d.poly_fill_mode = r.U32(8);
      break;
    case kEmrSetRop2:
      d.rop2 = r.U32(8);
      break;
    case kEmrSetStretchBltMode:
      d.stretch_mode = r.U32(8);
      break;
    case kEmrSetICMMode:
      d.icm_mode = r.U32(8);
      break;
    case kEmrSetLayout:
      d.layout = r.U32(8);
      break;
    case kEmrSetArcDirection:
      d.arc_direction = r.U32(8);
      break;
    case kEmrSetMapperFlags:
      d.mapper_flags = r.U32(8);
      break;
    case kEmrSetMiterLimit:
      d.miter_limit = r.U32(8);
      break;
    case kEmrScaleViewportExtEx:
    case kEmrScaleWindowExtEx: {
      if (d.map_mode != kMmIsotropic && d.map_mode != kMmAnisotropic) break;
      const qint64 x_num = r.I32(8), x_denom = r.I32(12), y_num = r.I32(16), y_denom = r.I32(20);
      if (x_denom == 0 || y_denom == 0) break;
      QSize& extent = type == kEmrScaleViewportExtEx ? d.viewport_extent : d.window_extent;
      const double cx = std::nearbyint(double(extent.width()) * double(x_num) / double(x_denom));
      const double cy = std::nearbyint(double(extent.height()) * double(y_num) / double(y_denom));
      // A result of 0 or beyond 32 bits would make the mapping degenerate.
      if (cx == 0 || cy == 0 || std::abs(cx) > INT_MAX || std::abs(cy) > INT_MAX) break;
      extent = QSize(static_cast<int>(cx), static_cast<int>(cy));
      break;
    }
    case kEmrSetWorldTransform:
      d.world_transform = XFormAt(r, 8);
      break;
    case kEmrModifyWorldTransform: {
      const TEMFXForm x = XFormAt(r, 8);
      switch (r.U32(32)) {
        case 1:
          d.world_transform = TEMFXForm();
          break;
        case 2:
          d.world_transform = TEMFXForm::Multiply(x, d.world_transform);
          break;
        case 3:
          d.world_transform = TEMFXForm::Multiply(d.world_transform, x);
          break;
        case 4:
          d.world_transform = x;
          break;
      }
      break;
    }
    case kEmrMoveToEx:
    case kEmrLineTo:
      d.current_position = QPoint(r.I32(8), r.I32(12));
      break;
    case kEmrPolylineTo:
    case kEmrPolyBezierTo:
    case kEmrPolylineTo16:
    case kEmrPolyBezierTo16: {
      const auto& poly = static_cast<const TEMRPolyObj&>(r);
      if (const int n = poly.PointCount(); n > 0) d.current_position = poly.Point(n - 1);
      break;
    }
    case kEmrBeginPath:
      d.in_path = true;
      break;
    case kEmrEndPath:
    case kEmrAbortPath:
      d.in_path = false;
      break;
    case kEmrExtSelectClipRgn: {
      const auto& clip = static_cast<const TEMRExtSelectClipRgnObj&>(r);
      if (clip.RegionDataSize() == 0) {
        d.clip_region.reset();
        break;
      }
      // Region data is in device pixels; the state keeps them relative to
      // the frame.
      const QPoint shift(RoundClamped(-d.frame_origin.x()), RoundClamped(-d.frame_origin.y()));
      CombineClip(RegionOfRects(clip.Rects()).translated(shift), clip.Mode());
      break;
    }
    case kEmrIntersectClipRect:
      CombineClip(QRegion(MapRect(r.Rect(8))), kRgnAnd);
      break;
    case kEmrExcludeClipRect:
      CombineClip(QRegion(MapRect(r.Rect(8))), kRgnDiff);
      break;
    case kEmrOffsetClipRgn:
      if (d.clip_region) {
        const QPointF zero = MapPoint(0, 0);
        const QPointF moved = MapPoint(r.I32(8), r.I32(12));
        d.clip_region = Translated(*d.clip_region, RoundClamped(moved.x() - zero.x()),
                                   RoundClamped(moved.y() - zero.y()));
      }
      break;
    case kEmrSetMetaRgn:
      if (d.clip_region) {
        d.meta_region = d.meta_region ? (*d.meta_region & *d.clip_region) : *d.clip_region;
      }
      d.clip_region.reset();
      break;
    default:
      break;
  }
}

void TEMFAbstractExport::ReadHeader(const TEnhMetaHeaderObj& header) {
  handles_.assign(header.HandleCount(), nullptr);
  const QSize device = header.Device();
  const QSize mm = header.Millimeters();
  if (device.width() > 0 && device.height() > 0 && mm.width() > 0 && mm.height() > 0) {
    pixels_per_mm_ =
        QPointF(double(device.width()) / mm.width(), double(device.height()) / mm.height());
  }
  const QRect frame = header.Frame();
  context_->Data().frame_origin =
      QPointF(pixels_per_mm_.x() * frame.left() / 100, pixels_per_mm_.y() * frame.top() / 100);
  if (header.PaletteEntries() != 0) LoadEndOfFilePalette();
}

void TEMFAbstractExport::LoadEndOfFilePalette() {
  const qint64 back = input_.Position();
  qint64 position = start_ + record_offset_;
  while (true) {
    position = start_ + (position - start_ + 3) / 4 * 4;
    if (end_ - position < 8) break;
    input_.Seek(position);
    char head[8];
    input_.ReadExactly(head, 8);
    const quint32 type = ovx::internal::LoadU32(QByteArrayView(head, 8), 0);
    const quint32 size = ovx::internal::LoadU32(QByteArrayView(head, 8), 4);
    if (size < 8 || size > end_ - position) break;
    if (type == kEmrEoF) {
      input_.Seek(position);
      QByteArray bytes(size, Qt::Uninitialized);
      input_.ReadExactly(bytes.data(), size);
      const TEoFObj eof(std::move(bytes));
      std::vector<quint32>& palette = context_->Data().eof_palette;
      palette.clear();
      for (int i = 0; i < eof.PaletteEntryCount(); ++i) {
        const quint32 entry = eof.PaletteEntry(i);
        palette.push_back(entry & 0xFFFFFF);  // red, green, blue: 0x00BBGGRR
      }
      input_.Seek(back);
      return;
    }
    position += size;
  }
  input_.Seek(back);
  throw ovx::Error(QString(), QStringLiteral("EMR_EoF not found"));
}

const TEnhMetaObj* TEMFAbstractExport::ObjectAt(quint32 handle) const {
  if (handle & kStockObject) return StockObject(handle);
  return handle < handles_.size() ? handles_[handle] : nullptr;
}

void TEMFAbstractExport::StoreObject(const TEnhMetaObj& record) {
  const quint32 index = record.U32(8);
  // Index 0 stands for the metafile itself; stock handles are not made.
  if (index == 0 || index >= handles_.size()) return;
  handles_[index] = &record;
}

void TEMFAbstractExport::SelectObject(quint32 handle) {
  TDeviceContextData& d = context_->Data();
  if (handle & kStockObject) {
    const TEnhMetaObj* stock = StockObject(handle);
    if (!stock) return;
    switch (handle & ~kStockObject) {
      case kWhitePen:
      case kBlackPen:
      case kNullPen:
      case kDcPen:
        d.pen = stock;
        break;
      case kWhiteBrush:
      case kLtGrayBrush:
      case kGrayBrush:
      case kDkGrayBrush:
      case kBlackBrush:
      case kNullBrush:
      case kDcBrush:
        d.brush = stock;
        break;
      case kDefaultPalette:
        d.palette = stock;
        break;
      default:
        d.font = stock;
    }
    return;
  }
  const TEnhMetaObj* object = ObjectAt(handle);
  if (!object) return;
  switch (object->Type()) {
    case kEmrCreatePen:
    case kEmrExtCreatePen:
      d.pen = object;
      break;
    case kEmrCreateBrushIndirect:
    case kEmrCreateMonoBrush:
    case kEmrCreateDIBPatternBrushPt:
      d.brush = object;
      break;
    case kEmrExtCreateFontIndirectW:
      d.font = object;
      break;
    case kEmrCreatePalette:
      d.palette = object;
      break;
    case kEmrCreateColorSpace:
    case kEmrCreateColorSpaceW:
      d.color_space = object;
      break;
  }
}

void TEMFAbstractExport::DeleteObject(quint32 handle) {
  // Stock objects cannot be deleted.
  if (handle & kStockObject) return;
  TDeviceContextData& d = context_->Data();
  for (const TEnhMetaObj** slot : {&d.pen, &d.brush, &d.font, &d.palette, &d.color_space}) {
    if (*slot && (*slot)->U32(8) == handle) {
      *slot = nullptr;
      return;
    }
  }
}

void TEMFAbstractExport::SaveContext() {
  std::unique_ptr<TDeviceContext> fresh = CreateDeviceContext();
  fresh->Assign(*context_);
  saved_.push_back(std::move(context_));
  context_ = std::move(fresh);
}

void TEMFAbstractExport::RestoreContext(qint64 relative) {
  if (relative >= 0) return;
  const qint64 levels = std::min<qint64>(-relative, static_cast<qint64>(saved_.size()));
  for (qint64 i = 0; i < levels; ++i) {
    context_ = std::move(saved_.back());
    saved_.pop_back();
  }
}

void TEMFAbstractExport::CombineClip(const std::optional<QRegion>& region, quint32 mode) {
  std::optional<QRegion>& clip = context_->Data().clip_region;
  if (!region) return;
  // No clip is the whole surface.
  const QRegion base = clip ? *clip : EverythingRegion();
  switch (mode) {
    case kRgnAnd:
      clip = base & *region;
      break;
    case kRgnOr:
      if (clip) clip = *clip | *region;
      break;
    case kRgnXor:
      clip = base ^ *region;
      break;
    case kRgnDiff:
      clip = base - *region;
      break;
    case kRgnCopy:
      clip = *region;
      break;
  }
}

// --- mapping ----------------------------------------------------------------------------

QTransform TEMFAbstractExport::LogicalToDevice() const {
  const TDeviceContextData& d = context_->Data();
  double sx = 1, sy = 1;
  const QPointF mm = pixels_per_mm_;
  switch (d.map_mode) {
    case kMmLoMetric:
      sx = mm.x() / 10, sy = -mm.y() / 10;
      break;
    case kMmHiMetric:
      sx = mm.x() / 100, sy = -mm.y() / 100;
      break;
    case kMmLoEnglish:
      sx = mm.x() * 0.254, sy = -mm.y() * 0.254;
      break;
    case kMmHiEnglish:
      sx = mm.x() * 0.0254, sy = -mm.y() * 0.0254;
      break;
    case kMmTwips:
      sx = mm.x() * 25.4 / 1440, sy = -mm.y() * 25.4 / 1440;
      break;
    case kMmIsotropic:
    case kMmAnisotropic:
      sx = double(d.viewport_extent.width()) / d.window_extent.width();
      sy = double(d.viewport_extent.height()) / d.window_extent.height();
      if (d.map_mode == kMmIsotropic) {
        // Both axes take the smaller scale, keeping their directions.
        const double s = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
      }
      break;
    default:
      break;
  }
  const QTransform page(sx, 0, 0, sy,
                        d.viewport_origin.x() - d.window_origin.x() * sx - d.frame_origin.x(),
                        d.viewport_origin.y() - d.window_origin.y() * sy - d.frame_origin.y());
  if (!apply_world_transform_ || context_->IsIdentityTransform()) return page;
  const TEMFXForm& w = d.world_transform;
  return QTransform(w.m11, w.m12, w.m21, w.m22, w.dx, w.dy) * page;
}

QPointF TEMFAbstractExport::MapPoint(qint32 x, qint32 y) const {
  return LogicalToDevice().map(QPointF(x, y));
}

QPointF TEMFAbstractExport::MapPoint16(quint32 packed) const {
  return MapPoint(static_cast<qint16>(packed & 0xFFFF), static_cast<qint16>(packed >> 16));
}

QPointF TEMFAbstractExport::MapPointF(float x, float y) const {
  return LogicalToDevice().map(QPointF(x, y));
}

double TEMFAbstractExport::MapLengthX(double length) const {
  const QTransform t = LogicalToDevice();
  return std::max(length, 1.0) * std::hypot(t.m11(), t.m12());
}

double TEMFAbstractExport::MapLengthY(double length) const {
  const QTransform t = LogicalToDevice();
  return std::max(length, 1.0) * std::hypot(t.m21(), t.m22());
}

double TEMFAbstractExport::MapLength(double length) const {
  return (MapLengthX(length) + MapLengthY(length)) / 2;
}

QRect TEMFAbstractExport::MapRect(const QRect& logical) const {
  const QTransform t = LogicalToDevice();
  const QRectF mapped = t.mapRect(
      QRectF(QPointF(logical.left(), logical.top()), QPointF(logical.right(), logical.bottom()))
          .normalized());
  const int l = RoundClamped(mapped.left()), r = RoundClamped(mapped.right());
  const int top = RoundClamped(mapped.top()), b = RoundClamped(mapped.bottom());
  if (r <= l || b <= top) return QRect();
  return QRect(QPoint(l, top), QPoint(r - 1, b - 1));
}
