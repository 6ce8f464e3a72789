// Records of enhanced metafiles (the public EMF record layout): the record
// types, the GDI constants they carry, and one class per record shape with
// accessors for its variable parts.
//
// A record object keeps a private copy of its bytes exactly as stored
// (iType, nSize, body; little-endian). Every accessor is checked against
// those bytes: a count, offset or size that does not fit the record makes
// the accessor answer "nothing" (no points, an empty string, a null image),
// never a read past the end. A record with a damaged variable part is
// thereby drawn as nothing while its fixed fields stay readable.
//
// The record types and their classes come from one table,
// OVX_EMF_RECORD_TYPES, which the player uses for its handlers as well.
#pragma once

#include "render/internal/emf_bytes.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <span>
#include <vector>

namespace ovx::emf {

// --- record types ----------------------------------------------------------------
// X(type, Name, Class): one line per record type 1..122. Name gives the
// handler (Do<Name>) and the record's name in descriptions ("EMR_<Name>").
#define OVX_EMF_RECORD_TYPES(X)                                  \
  X(1, Header, TEnhMetaHeaderObj)                                \
  X(2, PolyBezier, TEMRPolyObj)                                  \
  X(3, Polygon, TEMRPolyObj)                                     \
  X(4, Polyline, TEMRPolyObj)                                    \
  X(5, PolyBezierTo, TEMRPolyObj)                                \
  X(6, PolylineTo, TEMRPolyObj)                                  \
  X(7, PolyPolyline, TEMRPolyPolylineObj)                        \
  X(8, PolyPolygon, TEMRPolyPolygonObj)                          \
  X(9, SetWindowExtEx, TEnhMetaObj)                              \
  X(10, SetWindowOrgEx, TEnhMetaObj)                             \
  X(11, SetViewportExtEx, TEnhMetaObj)                           \
  X(12, SetViewportOrgEx, TEnhMetaObj)                           \
  X(13, SetBrushOrgEx, TEnhMetaObj)                              \
  X(14, EoF, TEoFObj)                                            \
  X(15, SetPixelV, TEnhMetaObj)                                  \
  X(16, SetMapperFlags, TEnhMetaObj)                             \
  X(17, SetMapMode, TEnhMetaObj)                                 \
  X(18, SetBkMode, TEnhMetaObj)                                  \
  X(19, SetPolyFillMode, TEnhMetaObj)                            \
  X(20, SetRop2, TEnhMetaObj)                                    \
  X(21, SetStretchBltMode, TEnhMetaObj)                          \
  X(22, SetTextAlign, TEnhMetaObj)                               \
  X(23, SetColorAdjustment, TEnhMetaObj)                         \
  X(24, SetTextColor, TEnhMetaObj)                               \
  X(25, SetBkColor, TEnhMetaObj)                                 \
  X(26, OffsetClipRgn, TEnhMetaObj)                              \
  X(27, MoveToEx, TEnhMetaObj)                                   \
  X(28, SetMetaRgn, TEnhMetaObj)                                 \
  X(29, ExcludeClipRect, TEnhMetaObj)                            \
  X(30, IntersectClipRect, TEnhMetaObj)                          \
  X(31, ScaleViewportExtEx, TEnhMetaObj)                         \
  X(32, ScaleWindowExtEx, TEnhMetaObj)                           \
  X(33, SaveDC, TEnhMetaObj)                                     \
  X(34, RestoreDC, TEnhMetaObj)                                  \
  X(35, SetWorldTransform, TEnhMetaObj)                          \
  X(36, ModifyWorldTransform, TEnhMetaObj)                       \
  X(37, SelectObject, TEnhMetaObj)                               \
  X(38, CreatePen, TEnhMetaObj)                                  \
  X(39, CreateBrushIndirect, TEnhMetaObj)                        \
  X(40, DeleteObject, TEnhMetaObj)                               \
  X(41, AngleArc, TEnhMetaObj)                                   \
  X(42, Ellipse, TEnhMetaObj)                                    \
  X(43, Rectangle, TEnhMetaObj)                                  \
  X(44, RoundRect, TEnhMetaObj)                                  \
  X(45, Arc, TEnhMetaObj)                                        \
  X(46, Chord, TEnhMetaObj)                                      \
  X(47, Pie, TEnhMetaObj)                                        \
  X(48, SelectPalette, TEnhMetaObj)                              \
  X(49, CreatePalette, TEnhMetaObj)                              \
  X(50, SetPaletteEntries, TEnhMetaObj)                          \
  X(51, ResizePalette, TEnhMetaObj)                              \
  X(52, RealizePalette, TEnhMetaObj)                             \
  X(53, ExtFloodFill, TEnhMetaObj)                               \
  X(54, LineTo, TEnhMetaObj)                                     \
  X(55, ArcTo, TEnhMetaObj)                                      \
  X(56, PolyDraw, TEMRPolyDrawObj)                               \
  X(57, SetArcDirection, TEnhMetaObj)                            \
  X(58, SetMiterLimit, TEnhMetaObj)                              \
  X(59, BeginPath, TEnhMetaObj)                                  \
  X(60, EndPath, TEnhMetaObj)                                    \
  X(61, CloseFigure, TEnhMetaObj)                                \
  X(62, FillPath, TEnhMetaObj)                                   \
  X(63, StrokeAndFillPath, TEnhMetaObj)                          \
  X(64, StrokePath, TEnhMetaObj)                                 \
  X(65, FlattenPath, TEnhMetaObj)                                \
  X(66, WidenPath, TEnhMetaObj)                                  \
  X(67, SelectClipPath, TEnhMetaObj)                             \
  X(68, AbortPath, TEnhMetaObj)                                  \
  X(69, Reserved69, TEnhMetaObj)                                 \
  X(70, GdiComment, TEnhMetaObj)                                 \
  X(71, FillRgn, TEnhMetaObj)                                    \
  X(72, FrameRgn, TEnhMetaObj)                                   \
  X(73, InvertRgn, TEnhMetaObj)                                  \
  X(74, PaintRgn, TEnhMetaObj)                                   \
  X(75, ExtSelectClipRgn, TEMRExtSelectClipRgnObj)               \
  X(76, BitBlt, TEMRBitBltObj)                                   \
  X(77, StretchBlt, TEMRStretchBltObj)                           \
  X(78, MaskBlt, TEMRMaskBltObj)                                 \
  X(79, PlgBlt, TEMRPLGBltObj)                                   \
  X(80, SetDIBitsToDevice, TEMRSetDIBitsToDeviceObj)             \
  X(81, StretchDIBits, TEMRStretchDIBitsObj)                     \
  X(82, ExtCreateFontIndirectW, TEnhMetaObj)                     \
  X(83, ExtTextOutA, TEMRExtTextOutAObj)                         \
  X(84, ExtTextOutW, TEMRExtTextOutWObj)                         \
  X(85, PolyBezier16, TEMRPoly16Obj)                             \
  X(86, Polygon16, TEMRPoly16Obj)                                \
  X(87, Polyline16, TEMRPoly16Obj)                               \
  X(88, PolyBezierTo16, TEMRPoly16Obj)                           \
  X(89, PolylineTo16, TEMRPoly16Obj)                             \
  X(90, PolyPolyline16, TEMRPolyPolyline16Obj)                   \
  X(91, PolyPolygon16, TEMRPolyPolygon16Obj)                     \
  X(92, PolyDraw16, TEMRPolyDraw16Obj)                           \
  X(93, CreateMonoBrush, TEMRCreateMonoBrushObj)                 \
  X(94, CreateDIBPatternBrushPt, TEMRCreateDIBPatternBrushPtObj) \
  X(95, ExtCreatePen, TEMRExtCreatePenObj)                       \
  X(96, PolyTextOutA, TEMRPolyTextOutAObj)                       \
  X(97, PolyTextOutW, TEMRPolyTextOutWObj)                       \
  X(98, SetICMMode, TEnhMetaObj)                                 \
  X(99, CreateColorSpace, TEnhMetaObj)                           \
  X(100, SetColorSpace, TEnhMetaObj)                             \
  X(101, DeleteColorSpace, TEnhMetaObj)                          \
  X(102, GLSRecord, TEnhMetaObj)                                 \
  X(103, GLSBoundedRecord, TEnhMetaObj)                          \
  X(104, PixelFormat, TEnhMetaObj)                               \
  X(105, DrawEscape, TEnhMetaObj)                                \
  X(106, ExtEscape, TEnhMetaObj)                                 \
  X(107, Reserved107, TEnhMetaObj)                               \
  X(108, SmallTextOut, TEMRSmallTextOutObj)                      \
  X(109, ForceUFIMapping, TEnhMetaObj)                           \
  X(110, NamedEscape, TEnhMetaObj)                               \
  X(111, ColorCorrectPalette, TEnhMetaObj)                       \
  X(112, SetICMProfileA, TEnhMetaObj)                            \
  X(113, SetICMProfileW, TEnhMetaObj)                            \
  X(114, AlphaBlend, TEMRAlphaBlendObj)                          \
  X(115, SetLayout, TEnhMetaObj)                                 \
  X(116, TransparentBlt, TEMRTransparentBltObj)                  \
  X(117, Reserved117, TEnhMetaObj)                               \
  X(118, GradientFill, TEnhMetaObj)                              \
  X(119, SetLinkedUFIs, TEnhMetaObj)                             \
  X(120, SetTextJustification, TEnhMetaObj)                      \
  X(121, ColorMatchToTargetW, TEnhMetaObj)                       \
  X(122, CreateColorSpaceW, TEnhMetaObj)

enum RecordType : quint32 {
#define OVX_EMF_ENUM(type, name, cls) kEmr##name = type,
  OVX_EMF_RECORD_TYPES(OVX_EMF_ENUM)
#undef OVX_EMF_ENUM
};

inline constexpr quint32 kFirstRecordType = 1;
inline constexpr quint32 kLastRecordType = 122;

// "EMR_ExtTextOutW" for 84; empty outside 1..122.
QString RecordName(quint32 type);

// " EMF" read as a little-endian 32-bit value.
inline constexpr quint32 kSignature = 0x464D4520;

// --- GDI constants -----------------------------------------------------------------

inline constexpr quint32 kStockObject = 0x80000000;
enum StockObject : quint32 {
  kWhiteBrush = 0,
  kLtGrayBrush = 1,
  kGrayBrush = 2,
  kDkGrayBrush = 3,
  kBlackBrush = 4,
  kNullBrush = 5,
  kWhitePen = 6,
  kBlackPen = 7,
  kNullPen = 8,
  kOemFixedFont = 10,
  kAnsiFixedFont = 11,
  kAnsiVarFont = 12,
  kSystemFont = 13,
  kDeviceDefaultFont = 14,
  kDefaultPalette = 15,
  kSystemFixedFont = 16,
  kDefaultGuiFont = 17,
  kDcBrush = 18,
  kDcPen = 19,
};

enum MapMode : quint32 {
  kMmText = 1,
  kMmLoMetric = 2,
  kMmHiMetric = 3,
  kMmLoEnglish = 4,
  kMmHiEnglish = 5,
  kMmTwips = 6,
  kMmIsotropic = 7,
  kMmAnisotropic = 8,
};

enum BkMode : quint32 { kTransparent = 1, kOpaque = 2 };

enum PenStyleBits : quint32 {
  kPsSolid = 0,
  kPsDash = 1,
  kPsDot = 2,
  kPsDashDot = 3,
  kPsDashDotDot = 4,
  kPsNull = 5,
  kPsInsideFrame = 6,
  kPsUserStyle = 7,
  kPsAlternate = 8,
  kPsStyleMask = 0xF,
  kPsEndcapRound = 0x000,
  kPsEndcapSquare = 0x100,
  kPsEndcapFlat = 0x200,
  kPsEndcapMask = 0xF00,
  kPsJoinRound = 0x0000,
  kPsJoinBevel = 0x1000,
  kPsJoinMiter = 0x2000,
  kPsJoinMask = 0xF000,
  kPsGeometric = 0x10000,
  kPsTypeMask = 0xF0000,
};

enum BrushStyleValue : quint32 { kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3 };

enum RegionMode : quint32 { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };

enum TextOutOptions : quint32 {
  kEtoOpaque = 0x2,
  kEtoClipped = 0x4,
  kEtoGlyphIndex = 0x10,
  kEtoRtlReading = 0x80,
  kEtoNoRect = 0x100,
  kEtoSmallChars = 0x200,
  kEtoPdy = 0x2000,
};

enum TextAlignBits : quint32 {
  kTaUpdateCp = 1,
  kTaRight = 2,
  kTaCenter = 6,
  kTaBottom = 8,
  kTaBaseline = 24,
};

inline constexpr quint32 kSrcCopy = 0x00CC0020;
inline constexpr quint32 kPatCopy = 0x00F00021;
inline constexpr quint32 kBlackness = 0x00000042;
inline constexpr quint32 kWhiteness = 0x00FF0062;

}  // namespace ovx::emf

// --- record classes ----------------------------------------------------------------

// One record: its bytes as stored.
class TEnhMetaObj {
 public:
  explicit TEnhMetaObj(QByteArray bytes) : bytes_(std::move(bytes)) {}
  virtual ~TEnhMetaObj() = default;
  TEnhMetaObj(const TEnhMetaObj&) = delete;
  TEnhMetaObj& operator=(const TEnhMetaObj&) = delete;

  quint32 Type() const { return U32(0); }
  // nSize as stored; the bytes held may be fewer only for built-in records.
  quint32 Size() const { return U32(4); }
  const QByteArray& Bytes() const { return bytes_; }

  // Fields at byte offsets; 0 when the field lies outside the record.
  quint32 U32(qint64 offset) const { return ovx::internal::LoadU32(bytes_, offset); }
  qint32 I32(qint64 offset) const { return ovx::internal::LoadI32(bytes_, offset); }
  quint16 U16(qint64 offset) const { return ovx::internal::LoadU16(bytes_, offset); }
  qint16 I16(qint64 offset) const { return ovx::internal::LoadI16(bytes_, offset); }
  quint8 U8(qint64 offset) const { return ovx::internal::LoadU8(bytes_, offset); }
  float F32(qint64 offset) const { return ovx::internal::LoadF32(bytes_, offset); }
  bool Fits(qint64 offset, qint64 length) const {
    return ovx::internal::Fits(bytes_.size(), offset, length);
  }
  // A RECTL (left, top, right, bottom) at `offset`, as stored.
  QRect Rect(qint64 offset) const;
  // `count` UTF-16 units at `offset`; empty when they do not fit.
  QString WideString(qint64 offset, qint64 count) const;
  // The record's rclBounds (bytes 8..23), for the records that have one.
  QRect Bounds() const { return Rect(8); }

  // The rectangles of region data (RGNDATA: a 32-byte header, then nCount
  // rectangles, exclusive right and bottom) of `size` bytes at `offset`.
  // Empty when the data does not fit the record or contradicts itself.
  std::vector<QRect> RegionRects(qint64 offset, qint64 size) const;

 private:
  QByteArray bytes_;
};

// A record holding a device-independent bitmap.
class TEMRBitmap : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  // Byte offset of the field offBmi (the bitmap header's offset); the
  // sizes and the bits' offset follow it as cbBmi, offBits, cbBits.
  virtual qint64 BitmapHeaderOffset() const = 0;
  // The bitmap's header offset as recorded.
  quint32 OffBmi() const { return U32(BitmapHeaderOffset()); }
  quint32 CbBmi() const { return U32(BitmapHeaderOffset() + 4); }
  quint32 OffBits() const { return U32(BitmapHeaderOffset() + 8); }
  quint32 CbBits() const { return U32(BitmapHeaderOffset() + 12); }
  // Whether the record carries a bitmap at all (cbBmi not 0).
  bool HasBitmap() const { return CbBmi() != 0; }
  // The image, decoded from the header and bits found through their
  // recorded offsets and sizes; null when they do not fit the record or do
  // not decode. 32-bit images keep their alpha with `use_alpha` (the alpha
  // blend record's source), else are opaque.
  QImage Image(bool use_alpha = false) const;
  // The header's biWidth and biHeight (0 when absent).
  QSize BitmapSize() const;
};

class TEMRBitBltObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 84; }
};
class TEMRStretchBltObj : public TEMRBitBltObj {
 public:
  using TEMRBitBltObj::TEMRBitBltObj;
};
class TEMRMaskBltObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 84; }
};
class TEMRAlphaBlendObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 84; }
};
class TEMRTransparentBltObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 84; }
};
class TEMRPLGBltObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 96; }
};
class TEMRStretchDIBitsObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 48; }
};
class TEMRSetDIBitsToDeviceObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 48; }
};
class TEMRCreateMonoBrushObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 16; }
};
class TEMRCreateDIBPatternBrushPtObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 16; }
};
class TEMRExtCreatePenObj : public TEMRBitmap {
 public:
  using TEMRBitmap::TEMRBitmap;
  qint64 BitmapHeaderOffset() const override { return 12; }
  quint32 PenStyle() const { return U32(28); }
  quint32 Width() const { return U32(32); }
  quint32 BrushStyle() const { return U32(36); }
  quint32 Color() const { return U32(40); }
  // The user style's dash and gap lengths (PS_USERSTYLE); empty when the
  // count does not fit the record.
  std::vector<quint32> StyleEntries() const;
};

// EMR_EXTTEXTOUTW and EMR_EXTTEXTOUTA: one EMRTEXT at byte 36.
class TEMRExtTextOutWObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  quint32 GraphicsMode() const { return U32(24); }
  QPoint Reference() const { return QPoint(I32(36), I32(40)); }
  quint32 CharCount() const { return U32(44); }
  quint32 Options() const { return U32(52); }
  QRect ClipRect() const { return Rect(56); }
  virtual QString Text() const;
  // One advance per character (nChars values at offDx; every second value
  // with ETO_PDY); empty when they do not fit the record.
  std::vector<int> Advances() const;
  // With ETO_PDY, the vertical advances; else empty.
  std::vector<int> VerticalAdvances() const;
  // The sum of the non-negative advances.
  qint64 AdvanceSum() const;
};

class TEMRExtTextOutAObj : public TEMRExtTextOutWObj {
 public:
  using TEMRExtTextOutWObj::TEMRExtTextOutWObj;
  // The bytes, Latin-1 (the font's code page is not known here).
  QString Text() const override;
};

class TEMRSmallTextOutObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  QPoint Reference() const { return QPoint(I32(8), I32(12)); }
  quint32 CharCount() const { return U32(16); }
  quint32 Options() const { return U32(20); }
  // The clip rectangle, present unless ETO_NO_RECT.
  QRect ClipRect() const { return (Options() & ovx::emf::kEtoNoRect) ? QRect() : Rect(36); }
  QString Text() const;
};

// The characters of an 8-bit text record's bytes (`latin1`, one unit a
// byte) in the font's character set: code page 936 for GB2312 fonts (134),
// the bytes as they are otherwise. `advances`, one per byte, are cleared
// when double-byte characters leave fewer characters than bytes.
namespace ovx::emf {
QString EightBitText(const QString& latin1, int charset, std::vector<int>& advances);
}  // namespace ovx::emf

// EMR_POLYTEXTOUTA/W: cStrings EMRTEXT structures from byte 40.
class TEMRPolyTextOutWObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  // The number of strings whose EMRTEXT fits the record.
  int StringCount() const;
  QPoint Reference(int i) const { return QPoint(I32(40 + 40 * i), I32(44 + 40 * i)); }
  quint32 Options(int i) const { return U32(56 + 40 * i); }
  virtual QString Text(int i) const;
  std::vector<int> Advances(int i) const;
};
class TEMRPolyTextOutAObj : public TEMRPolyTextOutWObj {
 public:
  using TEMRPolyTextOutWObj::TEMRPolyTextOutWObj;
  QString Text(int i) const override;
};

// Poly records with one point list: rclBounds, a count at 24, 32-bit
// points from 28.
class TEMRPolyObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  virtual int PointCount() const;
  virtual QPoint Point(int i) const { return QPoint(I32(28 + 8 * i), I32(32 + 8 * i)); }
};
// The same with 16-bit points.
class TEMRPoly16Obj : public TEMRPolyObj {
 public:
  using TEMRPolyObj::TEMRPolyObj;
  int PointCount() const override;
  QPoint Point(int i) const override { return QPoint(I16(28 + 4 * i), I16(30 + 4 * i)); }
};

// EMR_POLYPOLYGON: nPolys at 24, the total count at 28, the per-polygon
// counts from 32, then the points.
class TEMRPolyPolygonObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  // 0 when the counts do not add up to the total or the points do not fit.
  int PolygonCount() const;
  int PointCount(int polygon) const { return static_cast<int>(U32(32 + 4 * qint64{polygon})); }
  // Point j of polygon i.
  QPoint Point(int polygon, int j) const;
  // Every polygon's points, read in one pass (Point walks the counts
  // before its polygon each time).
  std::vector<std::vector<QPoint>> Polygons() const;

 protected:
  virtual int PointBytes() const { return 8; }
  virtual QPoint PointAt(qint64 offset) const { return QPoint(I32(offset), I32(offset + 4)); }

 private:
  qint64 FirstPointOffset(int polygon) const;
};
class TEMRPolyPolygon16Obj : public TEMRPolyPolygonObj {
 public:
  using TEMRPolyPolygonObj::TEMRPolyPolygonObj;

 protected:
  int PointBytes() const override { return 4; }
  QPoint PointAt(qint64 offset) const override { return QPoint(I16(offset), I16(offset + 2)); }
};
class TEMRPolyPolylineObj : public TEMRPolyPolygonObj {
 public:
  using TEMRPolyPolygonObj::TEMRPolyPolygonObj;
};
class TEMRPolyPolyline16Obj : public TEMRPolyPolygon16Obj {
 public:
  using TEMRPolyPolygon16Obj::TEMRPolyPolygon16Obj;
};

// EMR_POLYDRAW: points, then one type byte per point.
class TEMRPolyDrawObj : public TEMRPolyObj {
 public:
  using TEMRPolyObj::TEMRPolyObj;
  int PointCount() const override;
  virtual quint8 PointType(int i) const { return U8(28 + 8 * qint64{U32(24)} + i); }
};
class TEMRPolyDraw16Obj : public TEMRPolyDrawObj {
 public:
  using TEMRPolyDrawObj::TEMRPolyDrawObj;
  int PointCount() const override;
  QPoint Point(int i) const override { return QPoint(I16(28 + 4 * i), I16(30 + 4 * i)); }
  quint8 PointType(int i) const override { return U8(28 + 4 * qint64{U32(24)} + i); }
};

class TEMRExtSelectClipRgnObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  quint32 RegionDataSize() const { return U32(8); }
  quint32 Mode() const { return U32(12); }
  // Region header fields at 16; rectangle i at 48 + 16 i.
  quint32 RectCount() const { return U32(24); }
  std::vector<QRect> Rects() const { return RegionRects(16, RegionDataSize()); }
};

class TEnhMetaHeaderObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  QRect Frame() const { return Rect(24); }
  quint32 Signature() const { return U32(40); }
  quint32 Version() const { return U32(44); }
  quint32 FileBytes() const { return U32(48); }
  quint32 RecordCount() const { return U32(52); }
  quint16 HandleCount() const { return U16(56); }
  quint32 DescriptionLength() const { return U32(60); }
  quint32 DescriptionOffset() const { return U32(64); }
  quint32 PaletteEntries() const { return U32(68); }
  QSize Device() const { return QSize(I32(72), I32(76)); }
  QSize Millimeters() const { return QSize(I32(80), I32(84)); }
  // nDescription characters at offDescription (empty when they do not
  // fit); the application and picture names are separated by a 0.
  QString Description() const;
};

class TEoFObj : public TEnhMetaObj {
 public:
  using TEnhMetaObj::TEnhMetaObj;
  // The entries that fit the record.
  int PaletteEntryCount() const;
  // 4 bytes (red, green, blue, flags) at offPalEntries + 4 i.
  quint32 PaletteEntry(int i) const { return U32(qint64{U32(12)} + 4 * qint64{i}); }
};

namespace ovx::emf {

// The stock object for a handle with the high bit set, or null when the
// index names none. The table is built once and shared.
const TEnhMetaObj* StockObject(quint32 handle);

// The part of `image` a bitmap record's source rectangle (x, y, w, h)
// names; in bitmaps stored bottom-up the source's y counts from the bottom.
// The whole image when the rectangle covers it or lies outside it.
QImage BitmapSourcePart(const QImage& image, qint64 x, qint64 y, qint64 w, qint64 h,
                        bool bottom_up);

}  // namespace ovx::emf
