// Descriptions of records for diagnostics: the record's name, then its
// fields as "name: value", four blanks apart. Long lists (points,
// characters, rectangles, bytes of an unknown record) are cut after a
// bounded number of items so that a hostile record cannot make a
// description of gigabytes.
#include "render/emf_player.h"

using namespace ovx::emf;

namespace {

constexpr int kMaxListed = 256;

class Describer {
 public:
  explicit Describer(const TEnhMetaObj& r) : r_(r) {}

  void Field(const char* name) {
    out_.Append(u"    ");
    out_.AppendFormatted("%s: ", name);
  }
  void U(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%u", r_.U32(offset));
  }
  void D(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%d", r_.I32(offset));
  }
  void Hex(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%08X", r_.U32(offset));
  }
  void F(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%.3g", double(r_.F32(offset)));
  }
  void Pt(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%d, %d", r_.I32(offset), r_.I32(offset + 4));
  }
  void Rc(const char* name, qint64 offset) {
    Field(name);
    out_.AppendFormatted("%d, %d, %d, %d", r_.I32(offset), r_.I32(offset + 4), r_.I32(offset + 8),
                         r_.I32(offset + 12));
  }
  void Text(const char* name, const QString& text) {
    Field(name);
    out_.Append(u"\"");
    out_.Append(QStringView(text).left(kMaxListed));
    out_.Append(text.size() > kMaxListed ? u"...\"" : u"\"");
  }
  void Points(int count, auto&& point) {
    Field("Points");
    for (int i = 0; i < count && i < kMaxListed; ++i) {
      const QPoint p = point(i);
      out_.AppendFormatted(" (%d:%d)", p.x(), p.y());
    }
    if (count > kMaxListed) out_.Append(u" ...");
  }
  void Values(const char* name, const std::vector<int>& values) {
    // Each value followed by a blank, the last blank removed.
    Field(name);
    for (size_t i = 0; i < values.size() && i < kMaxListed; ++i)
      out_.AppendFormatted("%d ", values[i]);
    if (values.size() > kMaxListed) out_.Append(u"... ");
    if (!values.empty()) out_.DropLast(1);
  }
  TQuickWideFragment& Out() { return out_; }

 private:
  const TEnhMetaObj& r_;
  TQuickWideFragment out_;
};

void DescribeBitmap(Describer& d, const TEnhMetaObj& r, qint64 dest, bool stretch) {
  d.Rc("rclBounds", 8);
  d.Pt("ptlDest", dest);
  if (stretch) d.Pt("szlDest", dest + 8);
  const auto& bitmap = static_cast<const TEMRBitmap&>(r);
  const QSize size = bitmap.BitmapSize();
  d.Field("Bitmap");
  d.Out().AppendFormatted("%d x %d at %u (%u bytes)", size.width(), size.height(), bitmap.OffBits(),
                          bitmap.CbBits());
}

}  // namespace

void TEMFAbstractExport::Describe(const TEnhMetaObj& r) {
  const quint32 type = r.Type();
  const QString name = RecordName(type);
  Describer d(r);
  if (name.isEmpty()) {
    TQuickWideFragment& out = d.Out();
    out.Append(u"######################### Unknown\n");
    out.AppendFormatted("Type:%u Size:%u Data:", type, r.Size());
    const QByteArray& bytes = r.Bytes();
    for (qsizetype i = 0; i < bytes.size() && i < 16 * kMaxListed; ++i)
      out.AppendFormatted("%02X", static_cast<unsigned char>(bytes[i]));
    description_ = out.Result();
    return;
  }
  d.Out().Append(name);
  switch (type) {
    case kEmrHeader: {
      const auto& h = static_cast<const TEnhMetaHeaderObj&>(r);
      d.Rc("rclBounds", 8);
      d.Rc("rclFrame", 24);
      d.U("nBytes", 48);
      d.U("nRecords", 52);
      d.Field("nHandles");
      d.Out().AppendFormatted("%u", h.HandleCount());
      d.U("nPalEntries", 68);
      d.Pt("szlDevice", 72);
      d.Pt("szlMillimeters", 80);
      d.Text("Description", h.Description().replace(QChar(0), u'|'));
      break;
    }
    case kEmrPolyBezier:
    case kEmrPolygon:
    case kEmrPolyline:
    case kEmrPolyBezierTo:
    case kEmrPolylineTo:
    case kEmrPolyBezier16:
    case kEmrPolygon16:
    case kEmrPolyline16:
    case kEmrPolyBezierTo16:
    case kEmrPolylineTo16:
    case kEmrPolyDraw:
    case kEmrPolyDraw16: {
      const auto& poly = static_cast<const TEMRPolyObj&>(r);
      d.Rc("rclBounds", 8);
      d.U("cptl", 24);
      d.Points(poly.PointCount(), [&](int i) { return poly.Point(i); });
      break;
    }
    case kEmrPolyPolyline:
    case kEmrPolyPolygon:
    case kEmrPolyPolyline16:
    case kEmrPolyPolygon16: {
      const auto& poly = static_cast<const TEMRPolyPolygonObj&>(r);
      d.Rc("rclBounds", 8);
      d.U("nPolys", 24);
      d.U("cptl", 28);
      const int polygons = poly.PolygonCount();
      for (int i = 0; i < polygons && i < kMaxListed; ++i)
        d.Out().AppendFormatted("    Poly: %u (%u)", unsigned(i), unsigned(poly.PointCount(i)));
      break;
    }
    case kEmrSetWindowExtEx:
    case kEmrSetViewportExtEx:
      d.Pt("szlExtent", 8);
      break;
    case kEmrSetWindowOrgEx:
    case kEmrSetViewportOrgEx:
    case kEmrSetBrushOrgEx:
      d.Pt("ptlOrigin", 8);
      break;
    case kEmrMoveToEx:
    case kEmrLineTo:
      d.Pt("ptl", 8);
      break;
    case kEmrOffsetClipRgn:
      d.Pt("ptlOffset", 8);
      break;
    case kEmrSetPixelV:
      d.Pt("ptlPixel", 8);
      d.Hex("crColor", 16);
      break;
    case kEmrSetMapMode:
    case kEmrSetBkMode:
    case kEmrSetPolyFillMode:
    case kEmrSetRop2:
    case kEmrSetStretchBltMode:
    case kEmrSetTextAlign:
    case kEmrSetICMMode:
    case kEmrSetLayout:
      d.U("iMode", 8);
      break;
    case kEmrSetArcDirection:
      d.U("iArcDirection", 8);
      break;
    case kEmrSetMapperFlags:
      d.Hex("dwFlags", 8);
      break;
    case kEmrSetMiterLimit:
      d.F("eMiterLimit", 8);
      break;
    case kEmrSetTextColor:
    case kEmrSetBkColor:
      d.Hex("crColor", 8);
      break;
    case kEmrRestoreDC:
      d.D("iRelative", 8);
      break;
    case kEmrSelectObject:
    case kEmrDeleteObject:
    case kEmrSelectPalette:
      d.Hex("ihObject", 8);
      break;
    case kEmrScaleViewportExtEx:
    case kEmrScaleWindowExtEx:
      d.D("xNum", 8);
      d.D("xDenom", 12);
      d.D("yNum", 16);
      d.D("yDenom", 20);
      break;
    case kEmrSetWorldTransform:
    case kEmrModifyWorldTransform:
      for (const auto& [field, offset] : {std::pair{"eM11", 8},
                                          {"eM12", 12},
                                          {"eM21", 16},
                                          {"eM22", 20},
                                          {"eDx", 24},
                                          {"eDy", 28}})
        d.F(field, offset);
      if (type == kEmrModifyWorldTransform) d.U("iMode", 32);
      break;
    case kEmrIntersectClipRect:
    case kEmrExcludeClipRect:
      d.Rc("rclClip", 8);
      break;
    case kEmrEllipse:
    case kEmrRectangle:
      d.Rc("rclBox", 8);
      break;
    case kEmrRoundRect:
      d.Rc("rclBox", 8);
      d.Pt("szlCorner", 24);
      break;
    case kEmrArc:
    case kEmrChord:
    case kEmrPie:
    case kEmrArcTo:
      d.Rc("rclBox", 8);
      d.Pt("ptlStart", 24);
      d.Pt("ptlEnd", 32);
      break;
    case kEmrAngleArc:
      d.Pt("ptlCenter", 8);
      d.U("nRadius", 16);
      d.F("eStartAngle", 20);
      d.F("eSweepAngle", 24);
      break;
    case kEmrCreatePen:
      d.U("ihPen", 8);
      d.Hex("lopnStyle", 12);
      d.D("lopnWidth", 16);
      d.Hex("lopnColor", 24);
      break;
    case kEmrExtCreatePen:
      d.U("ihPen", 8);
      d.Hex("elpPenStyle", 28);
      d.U("elpWidth", 32);
      d.U("elpBrushStyle", 36);
      d.Hex("elpColor", 40);
      d.U("elpNumEntries", 48);
      break;
    case kEmrCreateBrushIndirect:
      d.U("ihBrush", 8);
      d.U("lbStyle", 12);
      d.Hex("lbColor", 16);
      d.U("lbHatch", 20);
      break;
    case kEmrExtCreateFontIndirectW: {
      d.U("ihFont", 8);
      d.D("lfHeight", 12);
      d.D("lfWidth", 16);
      d.D("lfEscapement", 20);
      d.D("lfWeight", 28);
      d.Field("lfItalic");
      d.Out().AppendFormatted("%u    lfUnderline: %u    lfStrikeOut: %u    lfCharSet: %u", r.U8(32),
                              r.U8(33), r.U8(34), r.U8(35));
      QString face = r.WideString(40, 32);
      face.truncate(face.indexOf(QChar(0)) < 0 ? face.size() : face.indexOf(QChar(0)));
      d.Text("lfFaceName", face);
      break;
    }
    case kEmrExtTextOutW:
    case kEmrExtTextOutA: {
      const auto& text = static_cast<const TEMRExtTextOutWObj&>(r);
      d.Rc("rclBounds", 8);
      d.U("iGraphicsMode", 24);
      d.F("exScale", 28);
      d.F("eyScale", 32);
      d.Pt("emrtext.ptlReference", 36);
      d.U("emrtext.nChars", 44);
      d.Hex("emrtext.fOptions", 52);
      d.Rc("emrtext.rcl", 56);
      d.Text("String", text.Text());
      d.Values("Dx", text.Advances());
      if (text.Options() & kEtoPdy) d.Values("Dy", text.VerticalAdvances());
      break;
    }
    case kEmrSmallTextOut: {
      const auto& text = static_cast<const TEMRSmallTextOutObj&>(r);
      d.Pt("ptlReference", 8);
      d.U("cChars", 16);
      d.Hex("fuOptions", 20);
      d.Text("String", text.Text());
      break;
    }
    case kEmrPolyTextOutA:
    case kEmrPolyTextOutW: {
      const auto& text = static_cast<const TEMRPolyTextOutWObj&>(r);
      d.Rc("rclBounds", 8);
      d.U("cStrings", 36);
      for (int i = 0; i < text.StringCount() && i < kMaxListed; ++i) d.Text("String", text.Text(i));
      break;
    }
    case kEmrExtSelectClipRgn: {
      const auto& clip = static_cast<const TEMRExtSelectClipRgnObj&>(r);
      d.U("cbRgnData", 8);
      d.U("iMode", 12);
      const std::vector<QRect> rects = clip.Rects();
      d.Field("Rects");
      d.Out().AppendFormatted("%u", unsigned(rects.size()));
      for (size_t i = 0; i < rects.size() && i < kMaxListed; ++i) {
        const QRect& q = rects[i];
        d.Out().AppendFormatted(" (%d, %d, %d, %d)", q.left(), q.top(), q.right() + 1,
                                q.bottom() + 1);
      }
      break;
    }
    case kEmrSelectClipPath:
      d.U("iMode", 8);
      break;
    case kEmrBitBlt:
    case kEmrStretchBlt:
    case kEmrMaskBlt:
    case kEmrAlphaBlend:
    case kEmrTransparentBlt:
      DescribeBitmap(d, r, 24, true);
      d.Hex("dwRop", 40);
      break;
    case kEmrStretchDIBits:
      DescribeBitmap(d, r, 24, false);
      d.Pt("szlDest", 72);
      d.Hex("dwRop", 68);
      break;
    case kEmrSetDIBitsToDevice:
    case kEmrPlgBlt:
    case kEmrCreateMonoBrush:
    case kEmrCreateDIBPatternBrushPt:
      d.Field("Bitmap");
      {
        const QSize size = static_cast<const TEMRBitmap&>(r).BitmapSize();
        d.Out().AppendFormatted("%d x %d", size.width(), size.height());
      }
      break;
    case kEmrGdiComment:
      d.U("cbData", 8);
      d.Hex("Identifier", 12);
      break;
    case kEmrEoF:
      d.U("nPalEntries", 8);
      d.U("offPalEntries", 12);
      break;
    default:
      d.U("nSize", 4);
  }
  description_ = d.Out().Result();
}
