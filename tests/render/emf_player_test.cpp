// The metafile player: the state after each record for the cases that
// matter (alignment, stock objects, saved contexts, transforms, mapping,
// clipping, handles), hostile files, records' variable parts, and the
// canvas replay's placement and manners.
#include "render/emf_player.h"
#include "tests/render/emf_test_support.h"

#include "base/error.h"
#include "base/stream.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace ovx {
namespace {

using namespace emf;
using test::EmfBuilder;

using Probe = std::function<QString(const TEMFAbstractExport&)>;

// Notes the probe's answer after every record (every handler ends by
// calling WriteComment).
class ProbingPlayer : public TEMFAbstractExport {
 public:
  ProbingPlayer(Stream& input, Probe probe)
      : TEMFAbstractExport(input, nullptr), probe_(std::move(probe)) {}
  QStringList states;

 protected:
  void WriteComment(const QString&) override { states << probe_(*this); }

 private:
  Probe probe_;
};

QString Hex(quint32 v) { return QString::number(v, 16); }

QString ClipText(const std::optional<QRegion>& region) {
  if (!region) return QStringLiteral("none");
  const QRect b = region->boundingRect();
  return QStringLiteral("%1,%2,%3,%4 (%5)")
      .arg(b.left())
      .arg(b.top())
      .arg(b.left() + b.width())
      .arg(b.top() + b.height())
      .arg(region->rectCount());
}

QString PointText(QPointF p) { return QStringLiteral("%1,%2").arg(p.x()).arg(p.y()); }

struct Case {
  const char* name;
  QByteArray file;
  Probe probe;
  // One state per record played, the header's first.
  QStringList expected;
  // What Damage() says, in part; empty: nothing.
  QString damage = {};
};

QByteArray CommentOfSize14() {
  internal::RecordWriter w;
  w.U32(kEmrGdiComment).U32(14).U32(2).U8('a').U8('b').U8(0).U8(0);
  return w.Data();
}

QByteArray PolyPolyline32() {
  internal::RecordWriter w;
  w.U32(kEmrPolyPolyline).U32(0).I32(0).I32(0).I32(10).I32(10);
  w.U32(2).U32(5).U32(2).U32(3);
  for (int v : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) w.I32(v);
  w.PatchU32(4, static_cast<quint32>(w.Size()));
  return w.Data();
}

QByteArray PolyPolygon16() {
  internal::RecordWriter w;
  w.U32(kEmrPolyPolygon16).U32(0).I32(0).I32(0).I32(10).I32(10);
  w.U32(2).U32(5).U32(3).U32(2);
  for (int v : {-1, -2, 3, 4, 5, 6, 7, 8, 9, 10}) w.I16(static_cast<qint16>(v));
  w.PatchU32(4, static_cast<quint32>(w.Size()));
  return w.Data();
}

// Region data of rectangles (left, top, right, bottom).
QByteArray ClipRegion(quint32 mode, std::initializer_list<QRect> rects) {
  internal::RecordWriter w;
  const auto n = static_cast<quint32>(rects.size());
  w.U32(kEmrExtSelectClipRgn).U32(16 + 32 + 16 * n).U32(32 + 16 * n).U32(mode);
  w.U32(32).U32(1).U32(n).U32(16 * n).I32(0).I32(0).I32(0).I32(0);
  for (const QRect& r : rects) w.I32(r.left()).I32(r.top()).I32(r.right()).I32(r.bottom());
  return w.Data();
}

QString PolyText(const TEMFAbstractExport& p) {
  const auto* poly = dynamic_cast<const TEMRPolyPolygonObj*>(p.CurrentRecord());
  if (!poly) return QStringLiteral("-");
  QStringList polygons;
  for (int i = 0; i < poly->PolygonCount(); ++i) {
    QString points;
    for (int j = 0; j < poly->PointCount(i); ++j)
      points += QStringLiteral("(%1,%2)").arg(poly->Point(i, j).x()).arg(poly->Point(i, j).y());
    polygons << points;
  }
  // The one-pass reading agrees with the point-by-point one.
  QStringList again;
  for (const std::vector<QPoint>& polygon : poly->Polygons()) {
    QString points;
    for (const QPoint& p : polygon) points += QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y());
    again << points;
  }
  return again == polygons ? polygons.join(u'|') : QStringLiteral("mismatch");
}

std::vector<Case> Cases() {
  const auto type_at = [](const TEMFAbstractExport& p) {
    return QStringLiteral("%1@%2").arg(p.RecordType()).arg(p.RecordOffset());
  };
  const auto pen_brush = [](const TEMFAbstractExport& p) {
    const TDeviceContext& dc = p.DeviceContext();
    return QStringLiteral("pen %1 brush %2")
        .arg(dc.Data().pen ? QString::number(dc.PenType()) : QStringLiteral("-"))
        .arg(Hex(dc.BrushColor()));
  };
  const auto bk_saved = [](const TEMFAbstractExport& p) {
    return QStringLiteral("bk %1 saved %2")
        .arg(p.DeviceContext().Data().bk_color)
        .arg(p.SavedContextCount());
  };
  const auto transform = [](const TEMFAbstractExport& p) {
    const TEMFXForm& t = p.DeviceContext().Data().world_transform;
    return QStringLiteral("%1 m11 %2 dx %3")
        .arg(p.DeviceContext().IsIdentityTransform() ? "identity" : "turned")
        .arg(t.m11)
        .arg(t.dx);
  };
  const auto map_origin = [](const TEMFAbstractExport& p) {
    return PointText(p.MapPoint(10, 20)) + u' ' + PointText(p.MapPoint(0, 0));
  };
  const auto extents = [](const TEMFAbstractExport& p) {
    const QSize v = p.DeviceContext().Data().viewport_extent;
    return QStringLiteral("%1,%2").arg(v.width()).arg(v.height());
  };
  const auto clip = [](const TEMFAbstractExport& p) {
    return ClipText(p.DeviceContext().Data().clip_region) + QStringLiteral(" meta ") +
           ClipText(p.DeviceContext().Data().meta_region);
  };
  const auto position = [](const TEMFAbstractExport& p) {
    const TDeviceContextData& d = p.DeviceContext().Data();
    return PointText(d.current_position) + QStringLiteral(" from ") +
           PointText(d.previous_position);
  };
  const auto palette = [](const TEMFAbstractExport& p) {
    QStringList entries;
    for (quint32 e : p.DeviceContext().Data().eof_palette) entries << Hex(e);
    return entries.join(u',');
  };
  const auto handles = [](const TEMFAbstractExport& p) {
    const TDeviceContext& dc = p.DeviceContext();
    return QStringLiteral("pen %1 table %2")
        .arg(dc.Data().pen ? QString::number(dc.PenWidth()) : QStringLiteral("-"))
        .arg(p.HandleTableSize());
  };
  const QRect r10(QPoint(10, 10), QPoint(50, 50));  // left, top, right, bottom as stored

  return {
      {"records begin at the next multiple of 4",
       EmfBuilder().Header().Raw(CommentOfSize14()).Record(kEmrSetMapMode, {8}).Eof().Bytes(),
       type_at,
       {"1@0", "70@88", "17@104", "14@116"}},
      {"stock objects select by their kind",
       EmfBuilder()
           .Header()
           .Record(kEmrCreateBrushIndirect, {1, kBsSolid, 0x123456, 0})
           .Record(kEmrSelectObject, {1})
           .Record(kEmrSelectObject, {kStockObject | kWhiteBrush})
           .Record(kEmrSelectObject, {kStockObject | kNullPen})
           .Record(kEmrSelectObject, {kStockObject | kNullBrush})
           .Eof()
           .Bytes(),
       pen_brush,
       {"pen - brush ffffff", "pen - brush ffffff", "pen - brush 123456", "pen - brush ffffff",
        "pen 5 brush ffffff", "pen 5 brush 1fffffff", "pen 5 brush 1fffffff"}},
      {"restoring two levels returns to before the first save",
       EmfBuilder()
           .Header()
           .Record(kEmrSetBkColor, {1})
           .Record(kEmrSaveDC, {})
           .Record(kEmrSetBkColor, {2})
           .Record(kEmrSaveDC, {})
           .Record(kEmrSetBkColor, {3})
           .Record(kEmrRestoreDC, {-2})
           .Bytes(),
       bk_saved,
       {"bk 16777215 saved 0", "bk 1 saved 0", "bk 1 saved 1", "bk 2 saved 1", "bk 2 saved 2",
        "bk 3 saved 2", "bk 1 saved 0"}},
      {"restoring below the bottom stops there",
       EmfBuilder()
           .Header()
           .Record(kEmrSetBkColor, {1})
           .Record(kEmrSaveDC, {})
           .Record(kEmrSetBkColor, {2})
           .Record(kEmrRestoreDC, {-2})
           .Record(kEmrSetBkColor, {4})
           .Record(kEmrRestoreDC, {-1})
           .Record(kEmrRestoreDC, {1})
           .Record(kEmrRestoreDC, {-2147483648LL})
           .Bytes(),
       bk_saved,
       {"bk 16777215 saved 0", "bk 1 saved 0", "bk 1 saved 1", "bk 2 saved 1", "bk 1 saved 0",
        "bk 4 saved 0", "bk 4 saved 0", "bk 4 saved 0", "bk 4 saved 0"}},
      {"world transforms multiply and reset",
       EmfBuilder()
           .Header()
           .Transform(kEmrSetWorldTransform, {2, 0, 0, 2, 5, 5})
           .Transform(kEmrModifyWorldTransform, {1, 0, 0, 1, 10, 0}, 3)
           .Transform(kEmrSetWorldTransform, {2, 0, 0, 2, 5, 5})
           .Transform(kEmrModifyWorldTransform, {1, 0, 0, 1, 10, 0}, 2)
           .Transform(kEmrModifyWorldTransform, {9, 9, 9, 9, 9, 9}, 1)
           .Transform(kEmrModifyWorldTransform, {3, 0, 0, 3, 0, 0}, 4)
           .Bytes(),
       transform,
       {"identity m11 1 dx 0", "turned m11 2 dx 5", "turned m11 2 dx 15", "turned m11 2 dx 5",
        "turned m11 2 dx 25", "identity m11 1 dx 0", "turned m11 3 dx 0"}},
      {"in MM_TEXT the window origin maps to the viewport origin",
       EmfBuilder()
           .Header()
           .Record(kEmrSetWindowOrgEx, {10, 20})
           .Record(kEmrSetViewportOrgEx, {3, 4})
           .Bytes(),
       map_origin,
       {"10,20 0,0", "0,0 -10,-20", "3,4 -7,-16"}},
      {"the world transform applies before the window-to-viewport mapping",
       EmfBuilder()
           .Header()
           .Record(kEmrSetMapMode, {kMmAnisotropic})
           .Record(kEmrSetViewportExtEx, {2, 3})
           .Transform(kEmrSetWorldTransform, {1, 0, 0, 1, 10, 0})
           .Record(kEmrSetWindowOrgEx, {5, 0})
           .Bytes(),
       map_origin,
       {"10,20 0,0", "10,20 0,0", "20,60 0,0", "40,60 20,0", "30,60 10,0"}},
      {"fixed map modes scale by the reference device and turn y up",
       EmfBuilder()
           .Header()
           .Record(kEmrSetMapMode, {kMmLoMetric})
           .Record(kEmrSetMapMode, {kMmIsotropic})
           .Record(kEmrSetWindowExtEx, {10, 10})
           .Record(kEmrSetViewportExtEx, {40, -20})
           .Bytes(),
       [](const TEMFAbstractExport& p) { return PointText(p.MapPoint(100, 100)); },
       {"100,100", "37.7953,-37.7953", "100,100", "10,10", "200,-200"}},
      {"scaling an extent only works in the scalable modes",
       EmfBuilder()
           .Header()
           .Record(kEmrSetViewportExtEx, {100, 100})
           .Record(kEmrScaleViewportExtEx, {2, 1, 3, 1})
           .Record(kEmrSetMapMode, {kMmAnisotropic})
           .Record(kEmrScaleViewportExtEx, {3, 2, 1, 3})
           .Record(kEmrScaleViewportExtEx, {1, 0, 1, 1})
           .Record(kEmrSetViewportExtEx, {0, 5})
           .Bytes(),
       extents,
       {"1,1", "100,100", "100,100", "100,100", "150,33", "150,33", "150,33"}},
      {"poly-polylines read like poly-polygons",
       EmfBuilder().Header().Raw(PolyPolyline32()).Raw(PolyPolygon16()).Bytes(),
       PolyText,
       {"-", "(1,2)(3,4)|(5,6)(7,8)(9,10)", "(-1,-2)(3,4)(5,6)|(7,8)(9,10)"}},
      {"bad handles are ignored",
       EmfBuilder()
           .Header(2)
           .Record(kEmrCreatePen, {5, kPsSolid, 7, 0, 0})
           .Record(kEmrCreatePen, {0, kPsSolid, 8, 0, 0})
           .Record(kEmrSelectObject, {5})
           .Record(kEmrSelectObject, {1})
           .Record(kEmrSelectObject, {kStockObject | 9})
           .Record(kEmrCreatePen, {1, kPsDash, 3, 0, 0})
           .Record(kEmrSelectObject, {1})
           .Record(kEmrDeleteObject, {kStockObject | kBlackPen})
           .Record(kEmrDeleteObject, {1})
           .Record(kEmrSelectObject, {1})
           .Bytes(),
       handles,
       {"pen - table 2", "pen - table 2", "pen - table 2", "pen - table 2", "pen - table 2",
        "pen - table 2", "pen - table 2", "pen 3 table 2", "pen 3 table 2", "pen - table 2",
        "pen 3 table 2"}},
      {"clipping combines with the whole surface where there is no clip",
       EmfBuilder()
           .Header()
           .Record(kEmrIntersectClipRect, {10, 10, 50, 50})
           .Record(kEmrExcludeClipRect, {20, 20, 30, 30})
           .Raw(ClipRegion(kRgnOr, {QRect(QPoint(60, 60), QPoint(70, 70))}))
           .Record(kEmrSetMetaRgn, {})
           .Raw(ClipRegion(kRgnDiff, {QRect(QPoint(0, 0), QPoint(100, 15))}))
           .Raw(ClipRegion(kRgnCopy, {r10}))
           .Record(kEmrExtSelectClipRgn, {0, kRgnCopy})
           .Record(kEmrExcludeClipRect, {0, 0, 10, 10})
           .Bytes(),
       clip,
       {"none meta none", "10,10,50,50 (1) meta none", "10,10,50,50 (4) meta none",
        "10,10,70,70 (5) meta none", "none meta 10,10,70,70 (5)",
        "-16777216,-16777216,16777216,16777216 (4) meta 10,10,70,70 (5)",
        "10,10,50,50 (1) meta 10,10,70,70 (5)", "none meta 10,10,70,70 (5)",
        "-16777216,-16777216,16777216,16777216 (4) meta 10,10,70,70 (5)"}},
      {"region data relative to the frame",
       EmfBuilder()
           .Header(8, 0, QRect(QPoint(254, 508), QPoint(2540, 2540)))
           .Raw(ClipRegion(kRgnCopy, {r10}))
           .Record(kEmrIntersectClipRect, {0, 0, 30, 30})
           .Bytes(),
       clip,
       {"none meta none", "0,-9,40,31 (1) meta none", "0,-9,20,11 (1) meta none"}},
      {"current position",
       EmfBuilder()
           .Header()
           .Record(kEmrMoveToEx, {5, 6})
           .Record(kEmrLineTo, {7, 8})
           .Record(kEmrPolylineTo16, {0, 0, 9, 9, 2, 0x00020001, 0x00040003})
           .Record(kEmrSetBkMode, {1})
           .Bytes(),
       position,
       {"0,0 from 0,0", "5,6 from 0,0", "7,8 from 5,6", "3,4 from 7,8", "3,4 from 3,4"}},
      {"a palette promised by the header is read from the end record",
       EmfBuilder().Header(8, 2).Record(kEmrSetBkMode, {1}).Eof({0x00332211, 0x00665544}).Bytes(),
       palette,
       {"332211,665544", "332211,665544", "332211,665544"}},
      {"unknown and reserved records are skipped",
       EmfBuilder()
           .Header()
           .Record(200, {1})
           .Record(69, {})
           .Record(kEmrSetBkMode, {1})
           .Eof()
           .Record(kEmrSetBkMode, {2})
           .Bytes(),
       type_at,
       {"1@0", "200@88", "69@100", "18@108", "14@120"}},
      {"a record smaller than its header stops playback",
       EmfBuilder()
           .Header()
           .Record(kEmrSetBkMode, {1})
           .Raw(QByteArray::fromHex("1200000000000000"))
           .Record(kEmrSetBkMode, {2})
           .Bytes(),
       type_at,
       {"1@0", "18@88"},
       QStringLiteral("is too small")},
      {"a record running past the end stops playback",
       EmfBuilder()
           .Header()
           .Record(kEmrSetBkMode, {1})
           .Raw(QByteArray::fromHex("12000000f0000000"))
           .Bytes(),
       type_at,
       {"1@0", "18@88"},
       QStringLiteral("runs past the end")},
      {"a cut-off record header stops playback",
       EmfBuilder().Header().Raw(QByteArray::fromHex("1200")).Bytes(),
       type_at,
       {"1@0"},
       QStringLiteral("cut off")},
  };
}

TEST(EmfPlayerTest, StateAfterEachRecord) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    MemoryStream input(c.file);
    ProbingPlayer player(input, c.probe);
    player.Play();
    EXPECT_EQ(player.states, c.expected);
    if (c.damage.isEmpty())
      EXPECT_TRUE(player.Damage().isEmpty()) << player.Damage().toStdString();
    else
      EXPECT_TRUE(player.Damage().contains(c.damage)) << player.Damage().toStdString();
  }
}

TEST(EmfPlayerTest, PaletteWithoutEndRecordFails) {
  MemoryStream input(EmfBuilder().Header(8, 3).Record(kEmrSetBkMode, {1}).Bytes());
  TEMFAbstractExport player(input, nullptr);
  try {
    player.Play();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("EMR_EoF not found"));
  }
}

TEST(EmfPlayerTest, DerivedValuesOfObjects) {
  internal::RecordWriter font;
  font.U32(kEmrExtCreateFontIndirectW).U32(104).U32(1);
  font.I32(-24).I32(0).I32(450).I32(450).I32(-700).U8(1).U8(0).U8(1).U8(134).Zeros(4);
  for (QChar c : QStringLiteral("楷体")) font.U16(c.unicode());
  font.Zeros(64 - 4);
  const QByteArray file = EmfBuilder()
                              .Header()
                              .Record(kEmrExtCreatePen, {2, 0, 0, 0, 0, 0x12201, 6, 0, 0xFF, 0, 0})
                              .Record(kEmrSelectObject, {2})
                              .Raw(font.Data())
                              .Record(kEmrSelectObject, {1})
                              .Record(kEmrSetTextAlign, {24 | 6})
                              .Record(kEmrSetMiterLimit, {7})
                              .Bytes();
  MemoryStream input(file);
  TEMFAbstractExport player(input, nullptr);
  const TDeviceContext& dc = player.DeviceContext();
  EXPECT_EQ(dc.FontFaceName(), QStringLiteral("Serif"));
  EXPECT_EQ(dc.FontHeight(), 12);
  EXPECT_EQ(dc.PenStyleWord(), 0x2200u);
  EXPECT_DOUBLE_EQ(dc.MiterLimit(), 4.0);
  player.Play();
  EXPECT_EQ(player.DeviceContext().PenType(), 1u);
  EXPECT_EQ(player.DeviceContext().PenEndCap(), 0x200u);
  EXPECT_EQ(player.DeviceContext().PenJoin(), 0x2000u);
  EXPECT_EQ(player.DeviceContext().PenWidth(), 6);
  EXPECT_EQ(player.DeviceContext().PenColor(), 0xFFu);
  const TDeviceContext& after = player.DeviceContext();
  EXPECT_EQ(after.FontFaceName(), QStringLiteral("楷体"));
  EXPECT_EQ(after.FontHeight(), 24);
  EXPECT_EQ(after.FontWeight(), 700);
  EXPECT_EQ(after.FontCharset(), 134);
  EXPECT_TRUE(after.FontItalic());
  EXPECT_FALSE(after.FontUnderline());
  EXPECT_TRUE(after.FontStrikeOut());
  EXPECT_EQ(after.FontEscapement(), 450);
  EXPECT_NEAR(after.FontEscapementAngle(), 3.14159265 / 4, 1e-9);
  EXPECT_EQ(after.HorizontalAlignment(), TDeviceContext::HAlign::kCenter);
  EXPECT_EQ(after.VerticalAlignment(), TDeviceContext::VAlign::kBaseline);
  // Stored as an integer by some writers: below 1 as a float.
  EXPECT_DOUBLE_EQ(after.MiterLimit(), 7.0);
}

TEST(EmfPlayerTest, DescriptionsWhenDiagnosticsAreOn) {
  internal::RecordWriter text;
  text.U32(kEmrExtTextOutW).U32(0).I32(1).I32(2).I32(3).I32(4).U32(1).F32(0).F32(0);
  text.I32(5).I32(6).U32(2).U32(76).U32(0).I32(0).I32(0).I32(0).I32(0).U32(80);
  text.U16('O').U16('K').I32(10).I32(12);
  text.PatchU32(4, static_cast<quint32>(text.Size()));
  const QByteArray file = EmfBuilder()
                              .Header()
                              .Raw(text.Data())
                              .Record(300, {0x04030201})
                              .Record(kEmrSaveDC, {})
                              .Bytes();
  MemoryStream input(file);
  class Lines : public TEMFAbstractExport {
   public:
    using TEMFAbstractExport::TEMFAbstractExport;
    QStringList lines;

   protected:
    void WriteComment(const QString&) override { lines << Description(); }
  } player(input, nullptr);
  player.SetDiagnostics(true);
  player.Play();
  ASSERT_EQ(player.lines.size(), 4);
  EXPECT_EQ(player.lines[1],
            QStringLiteral("EMR_ExtTextOutW    rclBounds: 1, 2, 3, 4    iGraphicsMode: 1    "
                           "exScale: 0    eyScale: 0    emrtext.ptlReference: 5, 6    "
                           "emrtext.nChars: 2    emrtext.fOptions: 00000000    "
                           "emrtext.rcl: 0, 0, 0, 0    String: \"OK\"    Dx: 10 12"));
  EXPECT_EQ(player.lines[2], QStringLiteral("######################### Unknown\n"
                                            "Type:300 Size:12 Data:2C0100000C00000001020304"));
  EXPECT_EQ(player.lines[3], QStringLiteral("EMR_SaveDC    nSize: 8"));
}

TEST(EmfPlayerTest, QuickWideFragmentGrowsByDoubling) {
  TQuickWideFragment fragment;
  EXPECT_EQ(fragment.Capacity(), 1024);
  const QString chunk(700, u'x');
  fragment.Append(chunk);
  fragment.Append(chunk);
  EXPECT_EQ(fragment.Capacity(), 2048);
  fragment.Append(chunk);
  fragment.AppendFormatted(" %d %.3g", -5, 0.5);
  EXPECT_EQ(fragment.Capacity(), 4096);
  fragment.DropLast(4);
  EXPECT_EQ(fragment.Result(), chunk + chunk + chunk + QStringLiteral(" -5"));
  fragment.DropLast(1 << 20);
  EXPECT_TRUE(fragment.Result().isEmpty());
}

// A STRETCHDIBITS record with a 2 x 2 24-bit bitmap: the header, `gap`
// bytes of junk, then `total_bits` bytes of bits; offBits and cbBits as
// given.
QByteArray StretchDIBits(quint32 off_bits, quint32 cb_bits, int gap, int total_bits = 16) {
  internal::RecordWriter w;
  w.U32(kEmrStretchDIBits).U32(0).I32(0).I32(0).I32(1).I32(1);
  w.I32(0).I32(0).I32(0).I32(0).I32(2).I32(2);
  w.U32(80).U32(40).U32(off_bits).U32(cb_bits).U32(0).U32(kSrcCopy).I32(2).I32(2);
  w.U32(40).I32(2).I32(2).U16(1).U16(24).U32(0).U32(16).I32(0).I32(0).U32(0).U32(0);
  w.Bytes(QByteArray(gap, '\x7f'));
  // Bottom row blue, red; top row green, white (BGR, rows padded to 4).
  const QByteArray bits = QByteArray::fromHex("ff00000000ff000000ff00ffffff0000");
  w.Bytes(bits.left(total_bits));
  w.PatchU32(4, static_cast<quint32>(w.Size()));
  return w.Data();
}

TEST(EmfPlayerTest, BitmapsAreFoundThroughTheirRecordedOffsets) {
  const TEMRStretchDIBitsObj apart(StretchDIBits(140, 16, 20));
  const QImage image = apart.Image();
  ASSERT_EQ(image.size(), QSize(2, 2));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_EQ(apart.BitmapSize(), QSize(2, 2));

  // Bits beyond the record, a size that overflows, too few bits.
  EXPECT_TRUE(TEMRStretchDIBitsObj(StretchDIBits(150, 16, 20)).Image().isNull());
  EXPECT_TRUE(TEMRStretchDIBitsObj(StretchDIBits(0xFFFFFFF0u, 0x20, 0)).Image().isNull());
  EXPECT_TRUE(TEMRStretchDIBitsObj(StretchDIBits(120, 12, 0, 12)).Image().isNull());
}

TEST(EmfPlayerTest, VariablePartsThatDoNotFitReadAsNothing) {
  internal::RecordWriter text;
  text.U32(kEmrExtTextOutW).U32(80).Zeros(28).I32(0).I32(0).U32(0x40000000).U32(76).U32(0);
  text.Zeros(16).U32(0xFFFFFFF0u);
  const TEMRExtTextOutWObj huge(text.Data());
  EXPECT_TRUE(huge.Text().isEmpty());
  EXPECT_TRUE(huge.Advances().empty());

  const TEMRPolyObj poly(EmfBuilder().Record(kEmrPolyline, {0, 0, 0, 0, 1000, 1, 2}).Bytes());
  EXPECT_EQ(poly.PointCount(), 0);
  // Polygon counts that do not add up to the total.
  const TEMRPolyPolygonObj polygons(
      EmfBuilder().Record(kEmrPolyPolygon, {0, 0, 0, 0, 2, 3, 1, 1, 0, 0, 1, 1, 2, 2}).Bytes());
  EXPECT_EQ(polygons.PolygonCount(), 0);
  const TEMRExtSelectClipRgnObj region(
      EmfBuilder()
          .Record(kEmrExtSelectClipRgn, {48, 5, 32, 1, 99, 16, 0, 0, 0, 0, 1, 1, 2, 2})
          .Bytes());
  EXPECT_TRUE(region.Rects().empty());
  const TEoFObj eof(EmfBuilder().Record(kEmrEoF, {5, 16, 20}).Bytes());
  EXPECT_EQ(eof.PaletteEntryCount(), 0);
}

// --- the canvas replay ----------------------------------------------------------------

TEST(EmfCanvasPlayerTest, FrameIsStretchedOverTheDestination) {
  // 100 x 100 pixels with a black square at (10, 10)-(30, 30).
  const Metafile file = test::Record(
      [](Canvas& c) {
        c.Brush() = {clBlack, TovxBrushStyle::bsSolid};
        c.FillRect({10, 10, 30, 30});
      },
      100, 100);
  auto canvas = PainterCanvas::ForImage(300, 300);
  EXPECT_TRUE(PlayMetafile(file.bytes, *canvas, QRectF(50, 50, 200, 100)).isEmpty());
  canvas->End();
  const QImage& image = *canvas->Image();
  QRect black;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == qRgb(0, 0, 0)) black |= QRect(x, y, 1, 1);
  EXPECT_EQ(black, QRect(QPoint(70, 60), QPoint(109, 79)));
}

TEST(EmfCanvasPlayerTest, CanvasClipBoundsThePlaybackAndStateIsRestored) {
  const QByteArray file = EmfBuilder()
                              .Header()
                              .Record(kEmrSaveDC, {})
                              .Record(kEmrSaveDC, {})
                              .Record(kEmrExtSelectClipRgn, {0, kRgnCopy})
                              .Record(kEmrSelectObject, {kStockObject | kBlackBrush})
                              .Record(kEmrBitBlt, {0, 0, 0, 0, 0, 0, 100, 100, kPatCopy, 0, 0, 0,
                                                   0, 0, 0, 0, 0, 0, 0,   0,   0,        0, 0})
                              .Bytes();
  auto canvas = PainterCanvas::ForImage(100, 100);
  canvas->IntersectClipRect({20, 20, 40, 40});
  canvas->Pen().color = clRed;
  const std::optional<QRegion> clip = canvas->ClipRegion();
  EXPECT_TRUE(PlayMetafile(file, *canvas).isEmpty());
  EXPECT_EQ(canvas->ClipRegion(), clip);
  EXPECT_EQ(canvas->Pen().color, clRed);
  canvas->End();
  const QImage& image = *canvas->Image();
  EXPECT_EQ(image.pixel(19, 19), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(20, 20), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(39, 39), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(40, 40), qRgb(255, 255, 255));
}

// Shapes the canvas has no call for: a filled path and a poly-polygon
// with a hole fill through a clip, only inside their outlines.
TEST(EmfCanvasPlayerTest, PathsAndPolyPolygonsFillInsideTheirOutlines) {
  const QByteArray file =
      EmfBuilder()
          .Header()
          .Record(kEmrSelectObject, {kStockObject | kBlackBrush})
          .Record(kEmrSelectObject, {kStockObject | kNullPen})
          .Record(kEmrBeginPath, {})
          .Record(kEmrMoveToEx, {10, 10})
          .Record(kEmrLineTo, {90, 10})
          .Record(kEmrLineTo, {10, 90})
          .Record(kEmrCloseFigure, {})
          .Record(kEmrEndPath, {})
          .Record(kEmrFillPath, {0, 0, 0, 0})
          // A square from 100 to 180 with a hole from 120 to 160.
          .Record(kEmrPolyPolygon16, {0, 0, 0, 0, 2, 8, 4, 4, 0x00640064, 0x006400B4, 0x00B400B4,
                                      0x00B40064, 0x00780078, 0x007800A0, 0x00A000A0, 0x00A00078})
          .Eof()
          .Bytes();
  auto canvas = PainterCanvas::ForImage(200, 200);
  EXPECT_TRUE(PlayMetafile(file, *canvas).isEmpty());
  canvas->End();
  const QImage& image = *canvas->Image();
  const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
  EXPECT_EQ(image.pixel(20, 20), black);
  EXPECT_EQ(image.pixel(80, 80), white);  // in the bounds, outside the triangle
  EXPECT_EQ(image.pixel(105, 105), black);
  EXPECT_EQ(image.pixel(140, 140), white);  // the hole
  EXPECT_EQ(image.pixel(175, 175), black);
}

// A hatched brush in opaque mode lays the background colour under its
// lines, in shapes, paths and regions alike; in transparent mode the
// page shows between them.
TEST(EmfCanvasPlayerTest, HatchesInOpaqueModeFillTheirGapsWithTheBackground) {
  const QRgb yellow = qRgb(255, 255, 0), white = qRgb(255, 255, 255);
  for (const quint32 mode : {kOpaque, kTransparent}) {
    EmfBuilder b;
    b.Header()
        .Record(kEmrCreateBrushIndirect, {1, kBsHatched, 0x0000FF, 0})  // horizontal
        .Record(kEmrSelectObject, {1})
        .Record(kEmrSelectObject, {kStockObject | kNullPen})
        .Record(kEmrSetBkMode, {mode})
        .Record(kEmrSetBkColor, {0x00FFFF})
        .Record(kEmrRectangle, {0, 0, 40, 40})
        .Record(kEmrBeginPath, {})
        .Record(kEmrMoveToEx, {50, 0})
        .Record(kEmrLineTo, {90, 0})
        .Record(kEmrLineTo, {90, 40})
        .Record(kEmrCloseFigure, {})
        .Record(kEmrEndPath, {})
        .Record(kEmrFillPath, {0, 0, 0, 0})
        .Record(kEmrPaintRgn, {0, 0, 0, 0, 48, 32, 1, 1, 16, 0, 50, 40, 90, 0, 50, 40, 90})
        .Eof();
    auto canvas = PainterCanvas::ForImage(100, 100);
    EXPECT_TRUE(PlayMetafile(b.Bytes(), *canvas).isEmpty());
    canvas->End();
    const QImage& image = *canvas->Image();
    // Row 3 of each 8-pixel cell carries the line; row 5 is a gap.
    for (const QPoint gap : {QPoint(20, 21), QPoint(85, 13), QPoint(20, 53)}) {
      EXPECT_EQ(image.pixel(gap), mode == kOpaque ? yellow : white) << gap.x() << "," << gap.y();
    }
    EXPECT_EQ(image.pixel(20, 19), qRgb(255, 0, 0));
  }
}

// A clip region selected after a restore left none still clips (QPainter
// forgets clip regions set after clipping was switched off).
TEST(EmfCanvasPlayerTest, ClipAfterARestoreThatLeftNoneStillClips) {
  const QByteArray file = EmfBuilder()
                              .Header()
                              .Record(kEmrSaveDC, {})
                              .Record(kEmrIntersectClipRect, {0, 0, 10, 10})
                              .Record(kEmrRestoreDC, {-1})
                              .Raw(ClipRegion(kRgnCopy, {QRect(QPoint(100, 100), QPoint(180, 180)),
                                                         QRect(QPoint(20, 20), QPoint(30, 30))}))
                              .Record(kEmrSelectObject, {kStockObject | kBlackBrush})
                              .Record(kEmrBitBlt, {0, 0, 0, 0, 0, 0, 200, 200, kPatCopy, 0, 0, 0,
                                                   0, 0, 0, 0, 0, 0, 0,   0,   0,        0, 0})
                              .Eof()
                              .Bytes();
  auto canvas = PainterCanvas::ForImage(200, 200);
  EXPECT_TRUE(PlayMetafile(file, *canvas).isEmpty());
  canvas->End();
  const QImage& image = *canvas->Image();
  EXPECT_EQ(image.pixel(50, 50), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(25, 25), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(150, 150), qRgb(0, 0, 0));
}

TEST(EmfCanvasPlayerTest, FailedPlaybackRestoresTheCanvas) {
  auto canvas = PainterCanvas::ForImage(10, 10);
  const QByteArray file = EmfBuilder().Header(8, 1).Record(kEmrSaveDC, {}).Bytes();
  EXPECT_EQ(PlayMetafile(file, *canvas), QStringLiteral("EMR_EoF not found"));
  EXPECT_FALSE(canvas->ClipRegion());
  EXPECT_FALSE(PlayMetafile("not a metafile at all", *canvas).isEmpty());
  EXPECT_TRUE(PlayMetafile(QByteArray(), *canvas).isEmpty());
}

// The fuzz target's checks on every seed of its corpus.
TEST(EmfPlayerTest, FuzzSeedsPlay) {
  const QDir dir(QStringLiteral(VELMORA_EMF_SEEDS));
  const QStringList seeds = dir.entryList(QDir::Files);
  ASSERT_FALSE(seeds.isEmpty());
  for (const QString& name : seeds) {
    SCOPED_TRACE(name.toStdString());
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()));
  }
}

}  // namespace
}  // namespace ovx
