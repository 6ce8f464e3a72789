// Metafiles as vector page content: the operators records become, the
// number format, the balance of the graphics state whatever a metafile
// does, and what a reader draws from the result.
#include "export/emf_to_pdf.h"
#include "base/error.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "export/export_filter.h"
#include "export/pdf_export.h"
#include "export/pdf_writer.h"
#include "report/model/page.h"
#include "report/model/picture_view.h"
#include "report/model/report.h"
#include "tests/export/pdf_test_support.h"
#include "tests/render/emf_test_support.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace ovx {
namespace {

using test::EmfBuilder;
using namespace emf;

constexpr qint64 kStock = 0x80000000;

// The frame of EmfBuilder's header is 96 x 96 pixels; on a 72-point
// target a pixel is 0.75 points: X = 0.75 x, Y = 72 - 0.75 y.
const PdfRect kTarget{0, 72, 72, 0};

struct Played {
  QByteArray content;
  int images = 0;
  int patterns = 0;
  QByteArray file;
};

Played Play(const QByteArray& emf, const std::function<void(TEMFtoPDFExport&)>& setup = {},
            const PdfRect& target = kTarget, PdfDocumentOptions options = test::PlainOptions()) {
  MemoryStream out;
  PdfDocument document(out, options);
  document.Begin();
  document.BeginPage(200, 200, 0);
  MemoryStream input(emf);
  TEMFtoPDFExport player(input, document, target);
  if (setup) setup(player);
  player.Export();
  Played played;
  played.content = document.Content();
  played.images = document.ImageCount();
  played.patterns = document.PatternCount();
  document.EndPage();
  document.Finish();
  played.file = out.Data();
  return played;
}

QList<QByteArray> Lines(const QByteArray& content) {
  QList<QByteArray> lines = content.split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  for (QByteArray& line : lines) line.chop(1);  // the CR
  return lines;
}

// The lines between the playing clip ("q", "re", "W*", "n") and its "Q".
QList<QByteArray> Inner(const QByteArray& content) {
  QList<QByteArray> lines = Lines(content);
  EXPECT_GE(lines.size(), 5) << content.constData();
  if (lines.size() < 5) return {};
  EXPECT_EQ(lines[0], "q");
  EXPECT_TRUE(lines[1].endsWith(" re"));
  EXPECT_EQ(lines[2], "W*");
  EXPECT_EQ(lines[3], "n");
  EXPECT_EQ(lines.back(), "Q");
  return lines.mid(4, lines.size() - 5);
}

// `expected` appear in `lines` in this order (others may come between).
void ExpectInOrder(const QList<QByteArray>& lines, const QList<QByteArray>& expected) {
  qsizetype at = 0;
  for (const QByteArray& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    ASSERT_LT(at, lines.size()) << "missing \"" << want.constData() << "\" in\n"
                                << lines.join('\n').constData();
    ++at;
  }
}

// The balance every content stream must keep: as many "Q" as "q", never
// more "Q" than "q" so far, finite plain numbers, CR LF after each line.
void ExpectBalanced(const QByteArray& content) {
  int depth = 0;
  for (const QByteArray& line : Lines(content)) {
    if (line.startsWith('%')) continue;
    if (line == "q") ++depth;
    if (line == "Q") --depth;
    ASSERT_GE(depth, 0) << content.constData();
    const QByteArray lower = line.toLower();
    EXPECT_FALSE(lower.contains("nan") || lower.contains("inf") || lower.contains("e+"))
        << line.constData();
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(content.count('\n'), content.count("\r\n"));
  EXPECT_EQ(content.count('\r'), content.count("\r\n"));
}

EmfBuilder Start() {
  EmfBuilder b;
  b.Header();
  return b;
}

// EMR_EXTCREATEFONTINDIRECTW: handle, height, escapement, weight, italic,
// underline, strike-out, face, character set.
EmfBuilder& Font(EmfBuilder& b, quint32 handle, qint32 height, qint32 escapement = 0,
                 int weight = 400, int style_bytes = 0, const QString& face = "Arial",
                 quint32 charset = 1) {
  internal::RecordWriter w;
  w.U32(kEmrExtCreateFontIndirectW).U32(104).U32(handle).I32(height).I32(0);
  w.I32(escapement).I32(escapement).I32(weight).U32(style_bytes | (charset << 24)).U32(0);
  QString name = face.left(31);
  for (int i = 0; i < 32; ++i) w.U16(i < name.size() ? name[i].unicode() : 0);
  b.Raw(w.Data());
  return b;
}

// EMR_EXTTEXTOUTW at (x, y) with one advance per character.
EmfBuilder& Text(EmfBuilder& b, int x, int y, const QString& text, int advance = 10,
                 quint32 options = 0, QRect rect = QRect()) {
  const quint32 n = static_cast<quint32>(text.size());
  const quint32 string_bytes = (2 * n + 3) / 4 * 4;
  internal::RecordWriter w;
  w.U32(kEmrExtTextOutW).U32(76 + string_bytes + 4 * n);
  w.I32(0).I32(0).I32(-1).I32(-1).U32(1).F32(0).F32(0);
  w.I32(x).I32(y).U32(n).U32(76).U32(options);
  w.I32(rect.left()).I32(rect.top()).I32(rect.right()).I32(rect.bottom()).U32(76 + string_bytes);
  for (const QChar c : text) w.U16(c.unicode());
  if (n % 2) w.U16(0);
  for (quint32 i = 0; i < n; ++i) w.I32(advance);
  b.Raw(w.Data());
  return b;
}

// EMR_BITBLT without a bitmap.
EmfBuilder& Blit(EmfBuilder& b, QRect dest, quint32 rop) {
  internal::RecordWriter w;
  w.U32(kEmrBitBlt).U32(100).I32(0).I32(0).I32(-1).I32(-1);
  w.I32(dest.x()).I32(dest.y()).I32(dest.width()).I32(dest.height()).U32(rop);
  w.Zeros(100 - 44);
  b.Raw(w.Data());
  return b;
}

// EMR_EXTSELECTCLIPRGN of one rectangle (device pixels), RGN_COPY.
EmfBuilder& ClipRect(EmfBuilder& b, QRect r) {
  b.Record(kEmrExtSelectClipRgn,
           {48, kRgnCopy, 32, 1, 1, 16, r.left(), r.top(), r.right() + 1, r.bottom() + 1, r.left(),
            r.top(), r.right() + 1, r.bottom() + 1});
  return b;
}

// --- numbers ------------------------------------------------------------------------------------

TEST(EmfToPdf, NumberTable) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {12.5, "12.5"},
      {3, "3"},
      {128.0 / 255, "0.502"},
      {-0.0001, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
      {1e300, "1000000"},
      {-1e300, "-1000000"},
      {std::numeric_limits<double>::infinity(), "1000000"},
      {-2.25, "-2.25"},
      {0.0005, "0.001"},
  };
  for (const auto& c : cases) EXPECT_EQ(EmfPdfNumber(c.value), c.text) << c.value;
}

TEST(EmfToPdf, RotationMatrixKeepsItsCentre) {
  const TRotation2D turn(QPointF(10, 20), std::numbers::pi / 2);
  // e = x - x cos + y sin = 30, f = y - x sin - y cos = 10.
  EXPECT_EQ(turn.MatrixText(), "0.0000 1.0000 -1.0000 0.0000 30.0000 10.0000");
  const QPointF centre = turn.Map(QPointF(10, 20));
  EXPECT_NEAR(centre.x(), 10, 1e-9);
  EXPECT_NEAR(centre.y(), 20, 1e-9);
}

TEST(EmfToPdf, ASavedContextStartsWithoutTheClipOfItsLevel) {
  TPDFDeviceContext outer;
  outer.SetClipSelected(true);
  outer.Data().text_color = 0x123456;
  TPDFDeviceContext inner;
  inner.Assign(outer);
  EXPECT_EQ(inner.Data().text_color, 0x123456u);
  EXPECT_FALSE(inner.ClipSelected());
  outer.Reset();
  EXPECT_FALSE(outer.ClipSelected());
  EXPECT_EQ(outer.Data().text_color, 0u);
}

// --- the content table --------------------------------------------------------------------------

TEST(EmfToPdf, NullBrushRectangleIsStroked) {
  EmfBuilder b = Start();
  b.Record(kEmrSelectObject, {kStock | kNullBrush})
      .Record(kEmrSelectObject, {kStock | kBlackPen})
      .Record(kEmrRectangle, {10, 20, 50, 60})
      .Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  // As the screen draws it: the outline through the pixels inside the
  // right and bottom edges, a one-pixel line over the pixels right of and
  // below its points (half a pixel off), square ends and corners. A
  // cosmetic pen is the thinnest line at any zoom: width 0.
  const QList<QByteArray> expected = {"q",   "[] 0 d", "0 0 0 RG", "0 w",
                                      "4 M", "0 J",    "0 j",      "7.875 27.375 29.25 29.25 re",
                                      "S",   "Q"};
  EXPECT_EQ(lines, expected);
}

TEST(EmfToPdf, NullPenSolidBrushRectangleIsFilled) {
  EmfBuilder b = Start();
  b.Record(kEmrCreateBrushIndirect, {1, kBsSolid, 0x0000FF, 0})
      .Record(kEmrSelectObject, {1})
      .Record(kEmrSelectObject, {kStock | kNullPen})
      .Record(kEmrRectangle, {10, 20, 50, 60})
      .Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  // One pixel less on the right and at the bottom, as on the screen.
  const QList<QByteArray> expected = {"q", "1 0 0 rg", "7.5 27.75 29.25 29.25 re", "f*", "Q"};
  EXPECT_EQ(lines, expected);
}

TEST(EmfToPdf, BarcodeLinesAreSquareCappedAndMitered) {
  EmfBuilder b = Start();
  // A round-capped, round-joined geometric pen.
  b.Record(kEmrExtCreatePen,
           {1, 0, 0, 0, 0, kPsGeometric | kPsEndcapRound | kPsJoinRound, 4, kBsSolid, 0, 0, 0})
      .Record(kEmrSelectObject, {1})
      .Record(kEmrMoveToEx, {0, 0})
      .Record(kEmrLineTo, {40, 40})
      .Eof();
  const QList<QByteArray> plain = Inner(Play(b.Bytes()).content);
  ExpectInOrder(plain, {"1 J", "1 j", "S"});
  const QList<QByteArray> barcode =
      Inner(Play(b.Bytes(), [](TEMFtoPDFExport& p) { p.SetBarcode(true); }).content);
  ExpectInOrder(barcode, {"2 J", "0 j", "S"});
  EXPECT_FALSE(barcode.contains("1 J"));
}

TEST(EmfToPdf, HatchesAndPenGapsArePaintedAsTheScreenPaintsThem) {
  EmfBuilder b = Start();
  // A cross-hatched brush over an opaque yellow background, and a dashed
  // pen (the screen's 18 on, 6 off, from the top right corner) whose gaps
  // stay clear: a shape's outline fills its gaps only with a solid brush.
  b.Record(kEmrCreateBrushIndirect, {1, kBsHatched, 0x0000FF, 4})
      .Record(kEmrSelectObject, {1})
      .Record(kEmrCreatePen, {2, kPsDash, 1, 0, 0x800000})
      .Record(kEmrSelectObject, {2})
      .Record(kEmrSetBkColor, {0x00FFFF})
      .Record(kEmrRectangle, {8, 8, 40, 40})
      .Eof();
  const Played played = Play(b.Bytes());
  const QList<QByteArray> lines = Inner(played.content);
  // The background, the hatch as a tiling pattern, then the dashes: runs
  // of whole pixels between pixel centres (a quarter pixel beyond), 18
  // pixels from the top right corner, a gap of 6, and so on round.
  ExpectInOrder(
      lines, {"q", "1 1 0 rg", "6 42.75 23.25 23.25 re", "f*", "/Pattern cs", "/P0 scn",
              "6 42.75 23.25 23.25 re", "f*", "[] 0 d", "0 w", "29.812 65.625 m", "16.688 65.625 l",
              "11.812 65.625 m", "6.938 65.625 l", "6.375 65.812 m", "6.375 57.938 l", "S", "Q"});
  EXPECT_FALSE(lines.contains("1 1 0 RG"));
  // One cell of 8 x 8 device pixels, pixel (0, 0) at the frame's top
  // left, in the hatch colour: column 4 and row 3, each pixel a shade
  // short of its far edges.
  EXPECT_EQ(played.patterns, 1);
  EXPECT_TRUE(
      played.file.contains("/PatternType 1/PaintType 1/TilingType 1/BBox [0 0 8 8]"
                           "/XStep 8/YStep 8/Matrix [0.75 0 0 -0.75 0 72]"));
  EXPECT_TRUE(
      played.file.contains("1 0 0 rg\r\n4 0 0.984 0.984 re\r\n4 1 0.984 0.984 re\r\n"
                           "4 2 0.984 0.984 re\r\n0 3 7.984 0.984 re\r\n"));

  // A line's dashes take an opaque background; the pattern counts pixels.
  EmfBuilder d = Start();
  d.Record(kEmrCreatePen, {1, kPsDash, 1, 0, 0x800000})
      .Record(kEmrSelectObject, {1})
      .Record(kEmrSetBkColor, {0x00FFFF})
      .Record(kEmrMoveToEx, {0, 10})
      .Record(kEmrLineTo, {40, 10})
      .Eof();
  // The gaps from the first pixel's left edge to the last pixel's left
  // edge; dashes on pixels 0 to 17 and 24 to 39.
  ExpectInOrder(Inner(Play(d.Bytes()).content),
                {"[] 0 d", "q", "1 1 0 RG", "0 64.125 m", "30 64.125 l", "S", "Q", "0.188 64.125 m",
                 "13.312 64.125 l", "18.188 64.125 m", "29.812 64.125 l", "S"});
}

TEST(EmfToPdf, LinesStartAtTheCurrentPosition) {
  // One point: one line from the current position, after its move.
  EmfBuilder b = Start();
  b.Record(kEmrMoveToEx, {10, 10}).Record(kEmrPolylineTo, {0, 0, 0, 0, 1, 40, 50}).Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  // Half a pixel right and down, from where the first pixel begins to
  // where the last begins along the line (the screen leaves it out).
  ExpectInOrder(lines, {"q", "7.65 64.425 m", "30.15 34.425 l", "S", "Q"});
  EXPECT_EQ(lines.count("30.15 34.425 l"), 1);

  // No move before: the path still begins with one, at the context's
  // current position (the origin).
  for (const quint32 type : {kEmrLineTo, kEmrPolylineTo16, kEmrPolyBezierTo}) {
    EmfBuilder c = Start();
    if (type == kEmrLineTo) {
      c.Record(type, {40, 40});
    } else if (type == kEmrPolylineTo16) {
      c.Record(type, {0, 0, 0, 0, 1, (20 << 16) | 40});
    } else {
      c.Record(type, {0, 0, 0, 0, 3, 10, 10, 20, 20, 40, 40});
    }
    c.Eof();
    const QList<QByteArray> drawn = Inner(Play(c.Bytes()).content);
    // The origin, within the half pixel that places the stroke.
    qsizetype move = -1;
    for (qsizetype i = 0; i < drawn.size() && move < 0; ++i)
      if (drawn[i].endsWith(" m")) move = i;
    ASSERT_GT(move, 0) << type;
    const QList<QByteArray> xy = drawn[move].split(' ');
    EXPECT_LE(std::abs(xy[0].toDouble()), 0.375) << type;
    EXPECT_LE(std::abs(xy[1].toDouble() - 72), 0.375) << type;
    EXPECT_TRUE(drawn[move + 1].endsWith(" l") || drawn[move + 1].endsWith(" c")) << type;
  }
}

TEST(EmfToPdf, PolyPolygonClosesEachPolygonAndFillsByTheMode) {
  for (const bool winding : {false, true}) {
    EmfBuilder b = Start();
    b.Record(kEmrSelectObject, {kStock | kBlackBrush})
        .Record(kEmrSelectObject, {kStock | kNullPen});
    if (winding) b.Record(kEmrSetPolyFillMode, {2});
    b.Record(kEmrPolyPolygon, {0,  0,  0,  0,  2,  8,  4,  4, 0, 0, 10, 0, 10, 10, 0, 10,  //
                               20, 20, 30, 20, 30, 30, 20, 30})
        .Eof();
    const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
    EXPECT_EQ(lines.count("h"), 2);
    ExpectInOrder(lines, {"0 0 0 rg", "0 72 m", "h", "15 57 m", "h", winding ? "f" : "f*", "Q"});
  }
}

TEST(EmfToPdf, EmptyTextWritesNothing) {
  EmfBuilder b = Start();
  Text(b, 10, 10, QString()).Eof();
  EXPECT_TRUE(Inner(Play(b.Bytes()).content).isEmpty());
}

TEST(EmfToPdf, TurnedTextIsRotatedAboutItsOrigin) {
  EmfBuilder b = Start();
  Font(b, 1, -20, 900).Record(kEmrSelectObject, {1});
  b.Record(kEmrSetTextAlign, {kTaBaseline});
  Text(b, 40, 60, QStringLiteral("AB")).Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  // The baseline origin (40, 60) is the page's (30, 27).
  ExpectInOrder(
      lines, {"q", "0.0000 1.0000 -1.0000 0.0000 57.0000 -3.0000 cm", "BT", "30 27 Td", "ET", "Q"});
  ExpectInOrder(lines, {"BT", "/F0 15 Tf"});
}

TEST(EmfToPdf, TextAdvancesPlaceEveryGlyph) {
  EmfBuilder b = Start();
  Font(b, 1, -40).Record(kEmrSelectObject, {1});
  // Far wider than the font's own widths: every glyph is moved.
  Text(b, 0, 0, QStringLiteral("iii"), 40).Eof();
  const Played played = Play(b.Bytes());
  const QList<QByteArray> lines = Inner(played.content);
  const auto tj = std::find_if(lines.begin(), lines.end(),
                               [](const QByteArray& l) { return l.endsWith("] TJ"); });
  ASSERT_NE(tj, lines.end()) << played.content.constData();
  // "[<g> -n <g> -n <g>] TJ": the same pull between each pair, so that the
  // glyphs start 40 units (30 points, 1000 thousandths of 30) apart.
  const QList<QByteArray> parts = tj->split(' ');
  ASSERT_EQ(parts.size(), 6) << tj->constData();
  const int own = 1000 - std::abs(parts[1].toInt());
  EXPECT_EQ(parts[1], parts[3]);
  EXPECT_GT(own, 100);  // the font's "i" is a narrow glyph
  EXPECT_LT(own, 400);
}

TEST(EmfToPdf, PatternBlitFillsWithTheBrush) {
  EmfBuilder b = Start();
  b.Record(kEmrCreateBrushIndirect, {1, kBsSolid, 0x00FF00, 0}).Record(kEmrSelectObject, {1});
  Blit(b, QRect(0, 0, 40, 40), kPatCopy).Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  ExpectInOrder(lines, {"q", "0 1 0 rg", "0 42 30 30 re", "f", "Q"});
}

TEST(EmfToPdf, UnsupportedBlitsLeaveACommentAndNoImage) {
  // DSTINVERT, and a copy with no bitmap to copy.
  for (const quint32 rop : {0x00550009u, kSrcCopy}) {
    EmfBuilder b = Start();
    Blit(b, QRect(0, 0, 40, 40), rop).Eof();
    const Played played = Play(b.Bytes());
    const QList<QByteArray> lines = Inner(played.content);
    const QList<QByteArray> expected = {"%-- Unsupported dwRop: " + QByteArray::number(rop)};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(played.images, 0);
    EXPECT_FALSE(played.content.contains(" Do"));
  }
}

// An EMR_TRANSPARENTBLT of a 2 x 1 bitmap, red and blue, onto
// (10, 10, 40 x 20), with `key` transparent.
QByteArray TransparentBlit(quint32 key) {
  EmfBuilder b = Start();
  b.Record(kEmrTransparentBlt, {0,          0,  50,  30,  // rclBounds
                                10,         10, 40,  20,  // destination
                                key,        0,  0,        // transparent colour, source origin
                                0x3F800000, 0,  0,   0x3F800000,
                                0,          0,  // xformSrc
                                0xFFFFFF,   0,  108, 40,
                                148,        8,  2,   1,  // bk colour, usage, bitmap at 108, 2 x 1
                                40,         2,  1,   1 | (24 << 16),
                                0,          8,  0,   0,
                                0,          0,   // BITMAPINFOHEADER
                                0xFFFF0000, 0})  // pixels: 00 00 FF (red), FF 00 00 (blue), padding
      .Eof();
  return b.Bytes();
}

TEST(EmfToPdf, TransparentBlitsClipTheirTransparentColourAway) {
  // Red transparent: the blue right half shows, clipped to its pixels
  // (the image stretched to 40 x 20 pixels is one rectangle of runs).
  for (const bool pdfa1 : {false, true}) {
    const Played played = Play(TransparentBlit(0x0000FF), [&](TEMFtoPDFExport& p) {
      p.SetTransparency(!pdfa1);
      p.SetPdfA(pdfa1);
    });
    ExpectBalanced(played.content);
    ExpectInOrder(Inner(played.content),
                  {"q", "22.5 49.5 15 15 re", "W", "n", "q", "/Im0 Do", "Q", "Q"});
    EXPECT_EQ(played.images, 1);
    EXPECT_FALSE(played.file.contains("/SMask"));
  }
  // A colour the bitmap does not hold: the whole image; every pixel
  // transparent: nothing.
  const Played whole = Play(TransparentBlit(0x00FF00));
  ExpectInOrder(Inner(whole.content), {"q", "7.5 49.5 30 15 re", "W", "n", "/Im0 Do"});
  const QByteArray both = TransparentBlit(0x0000FF);
  QByteArray all_red = both;
  const qsizetype bits = all_red.size() - 20 - 8;  // before EMR_EOF
  all_red[bits + 3] = char(0x00);
  all_red[bits + 4] = char(0x00);
  all_red[bits + 5] = char(0xFF);
  const Played none = Play(all_red);
  EXPECT_EQ(none.images, 0);
  EXPECT_FALSE(none.content.contains(" Do"));
  ExpectBalanced(none.content);
}

TEST(EmfToPdf, StyledLinesCountTheirPatternInPixelSteps) {
  // A one-pixel dashed line at 45 degrees: the platform moves the pattern
  // on by one for each pixel step, so the first dash covers pixels 0 to
  // 17 on the diagonal (17.5 pixels across, not 18 along the line), and
  // the second starts at step 24.
  EmfBuilder b = Start();
  b.Record(kEmrCreatePen, {1, kPsDash, 1, 0, 0x000000})
      .Record(kEmrSelectObject, {1})
      .Record(kEmrMoveToEx, {0, 0})
      .Record(kEmrLineTo, {40, 40})
      .Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  ExpectInOrder(lines, {"[] 0 d", "0.188 71.812 m", "13.312 58.688 l", "18.188 53.812 m",
                        "29.812 42.188 l", "S"});
  EXPECT_FALSE(lines.contains("[13.5 4.5] 0 d"));
}

TEST(EmfToPdf, PatternBrushesFillAsTilingPatternsOfTheirPixels) {
  // A 2 x 2 pattern of blue and red (rows bottom up in the bitmap),
  // tiled from the brush origin, for shapes and PATCOPY alike.
  for (const bool blit : {false, true}) {
    EmfBuilder b = Start();
    b.Record(kEmrCreateDIBPatternBrushPt,
             {1,          0,  32,         40,
              72,         16,  // handle, usage, bitmap at 32
              40,         2,  2,          1 | (24 << 16),
              0,          16, 0,          0,
              0,          0,                            // BITMAPINFOHEADER
              0xFFFF0000, 0,  0x000000FF, 0x0000FF00})  // red blue / blue red
        .Record(kEmrSelectObject, {1})
        .Record(kEmrSelectObject, {kStock | kNullPen})
        .Record(kEmrSetBrushOrgEx, {5, -4});
    if (blit) {
      Blit(b, QRect(0, 0, 40, 40), kPatCopy);
    } else {
      b.Record(kEmrRectangle, {10, 20, 50, 60});
    }
    b.Eof();
    const Played played = Play(b.Bytes());
    SCOPED_TRACE(blit);
    ExpectInOrder(Inner(played.content), {"q", "/Pattern cs", "/P0 scn", "Q"});
    EXPECT_EQ(played.patterns, 1);
    // The origin (5, -4) is (1, 0) within the cell: 0.75 points right.
    EXPECT_TRUE(
        played.file.contains("/BBox [0 0 2 2]/XStep 2/YStep 2/Matrix [0.75 0 0 -0.75 0.75 72]"));
    EXPECT_TRUE(
        played.file.contains("0 0 1 rg\r\n0 0 0.984 0.984 re\r\n1 1 0.984 0.984 re\r\nf\r\n"
                             "1 0 0 rg\r\n1 0 0.984 0.984 re\r\n0 1 0.984 0.984 re\r\nf\r\n"));
  }
}

TEST(EmfToPdf, PatternBrushesTooLargeToTileFillInTheirAverageColour) {
  // 130 x 130 green pixels: beyond what a cell carries, so the screen's
  // average colour.
  constexpr quint32 side = 130, row = (side * 3 + 3) / 4 * 4;
  std::vector<quint32> record{
      1,          0, 32, 40, 72, row * side / 4 * 4, 40, side, side, 1 | (24 << 16), 0,
      row * side, 0, 0,  0,  0};
  QByteArray bits(qsizetype(row * side), '\0');
  for (quint32 y = 0; y < side; ++y)
    for (quint32 x = 0; x < side; ++x) bits[qsizetype(y * row + x * 3 + 1)] = char(0xFF);
  for (qsizetype k = 0; k < bits.size(); k += 4) {
    quint32 v = 0;
    for (int n = 0; n < 4 && k + n < bits.size(); ++n) v |= quint32(quint8(bits[k + n])) << (8 * n);
    record.push_back(v);
  }
  EmfBuilder b = Start();
  QByteArray bytes;
  for (const quint32 v : record)
    for (int n = 0; n < 4; ++n) bytes += char((v >> (8 * n)) & 0xFF);
  QByteArray head;
  for (const quint32 v : {quint32(kEmrCreateDIBPatternBrushPt), quint32(8 + bytes.size())})
    for (int n = 0; n < 4; ++n) head += char((v >> (8 * n)) & 0xFF);
  b.Raw(head + bytes)
      .Record(kEmrSelectObject, {1})
      .Record(kEmrSelectObject, {kStock | kNullPen})
      .Record(kEmrRectangle, {10, 20, 50, 60})
      .Eof();
  const Played played = Play(b.Bytes());
  EXPECT_EQ(played.patterns, 0);
  ExpectInOrder(Inner(played.content), {"0 1 0 rg", "f*"});
}

TEST(EmfToPdf, OneBitmapDrawnTwiceIsOneImage) {
  QImage image(8, 6, QImage::Format_RGB32);
  image.fill(QColor(10, 120, 200));
  const Metafile file = test::Record(
      [&](Canvas& c) {
        c.StretchDraw({0, 0, 40, 30}, image);
        c.StretchDraw({50, 50, 90, 80}, image);
      },
      96, 96);
  const Played played = Play(file.bytes);
  EXPECT_EQ(played.images, 1);
  EXPECT_EQ(played.content.count("/Im0 Do"), 2);
  // Stretched to its pixels as the screen stretches it, a 64th of a pixel
  // short of the far edges.
  EXPECT_TRUE(played.content.contains("29.988 0 0 22.488 0 49.512 cm"));
  EXPECT_TRUE(played.file.contains("/Width 40/Height 30")) << played.file.left(3000).constData();
  ExpectBalanced(played.content);
}

TEST(EmfToPdf, RestoreClosesTheSavedLevelAndItsClip) {
  EmfBuilder b = Start();
  b.Record(kEmrSaveDC, {});
  ClipRect(b, QRect(0, 0, 40, 40));
  b.Record(kEmrRestoreDC, {-1}).Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  const QList<QByteArray> expected = {"q", "q", "0 42 30 30 re", "W*", "n", "Q", "Q"};
  EXPECT_EQ(lines, expected);
}

// The curves between "m" and the painting operator of the first
// painted figure, as "x y" of their end points.
QList<QByteArray> CurveEnds(const QList<QByteArray>& lines) {
  QList<QByteArray> ends;
  for (const QByteArray& line : lines) {
    if (!line.endsWith(" c")) continue;
    const QList<QByteArray> parts = line.split(' ');
    ends.push_back(parts[4] + ' ' + parts[5]);
  }
  return ends;
}

TEST(EmfToPdf, ArcsFollowTheirRadialsAndTheArcDirection) {
  // The circle in (0, 0, 80, 80): centre (30, 42) on the page, radius 30
  // points. From the radial through (80, 40) (the right, page (60, 42))
  // to the one through (40, 0) (the top, page (30, 72)): a quarter
  // counter-clockwise, three quarters clockwise. Pens and brushes are
  // null, so the path shows as built, ended with "n".
  const struct {
    quint32 type;
    bool clockwise;
    int curves;
    bool to_centre;
    bool closed;
  } cases[] = {
      {kEmrArc, false, 2, false, false},  {kEmrArc, true, 5, false, false},
      {kEmrChord, false, 2, false, true}, {kEmrPie, false, 2, true, true},
      {kEmrPie, true, 5, true, true},
  };
  for (const auto& c : cases) {
    EmfBuilder b = Start();
    b.Record(kEmrSelectObject, {kStock | kNullPen}).Record(kEmrSelectObject, {kStock | kNullBrush});
    if (c.clockwise) b.Record(kEmrSetArcDirection, {2});
    b.Record(c.type, {0, 0, 80, 80, 80, 40, 40, 0}).Eof();
    const Played played = Play(b.Bytes());
    ExpectBalanced(played.content);
    const QList<QByteArray> lines = Inner(played.content);
    ASSERT_GE(lines.size(), 3) << c.type;
    EXPECT_EQ(lines[1], "60 42 m") << c.type;
    const QList<QByteArray> ends = CurveEnds(lines);
    ASSERT_EQ(ends.size(), c.curves) << c.type << " " << c.clockwise;
    EXPECT_EQ(ends.back(), "30 72") << c.type << " " << c.clockwise;
    EXPECT_EQ(lines.contains("30 42 l"), c.to_centre) << c.type;
    EXPECT_EQ(lines.contains("h"), c.closed) << c.type;
    // Clockwise from the right the first curve goes down (y falls).
    EXPECT_EQ(ends.front().split(' ')[1].toDouble() < 42, c.clockwise) << c.type;
  }
}

TEST(EmfToPdf, ArcToDrawsFromTheCurrentPositionAndMovesIt) {
  EmfBuilder b = Start();
  b.Record(kEmrSelectObject, {kStock | kNullPen})
      .Record(kEmrMoveToEx, {0, 0})
      .Record(kEmrArcTo, {0, 0, 80, 80, 80, 40, 40, 0})
      .Record(kEmrLineTo, {80, 80})
      .Eof();
  const QList<QByteArray> lines = Inner(Play(b.Bytes()).content);
  // A line from the current position to the arc's start, the arc, and the
  // next line starts where the arc ended.
  ExpectInOrder(lines, {"0 72 m", "60 42 l", "n", "Q", "q", "30 72 m", "60 12 l", "n", "Q"});
}

TEST(EmfToPdf, DegenerateAndHugeArcsStayBounded) {
  const struct {
    std::initializer_list<qint64> record;
    bool draws;
  } cases[] = {
      {{10, 10, 10, 50, 10, 10, 10, 50}, false},  // no width
      {{10, 10, 50, 10, 10, 10, 50, 10}, false},  // no height
      {{40, 40, 40, 40, 40, 40, 40, 40}, false},  // a point
      {{-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647, 0, 0, 0, 0}, true},
      {{0, 0, 80, 80, 40, 40, 40, 40}, true},  // radials at the centre: a whole ellipse
  };
  for (const quint32 type : {kEmrArc, kEmrArcTo, kEmrChord, kEmrPie}) {
    for (const auto& c : cases) {
      EmfBuilder b = Start();
      b.Record(type, c.record).Eof();
      const Played played = Play(b.Bytes());
      ExpectBalanced(played.content);
      EXPECT_EQ(!Inner(played.content).isEmpty(), c.draws) << type;
      for (const QByteArray& line : Lines(played.content)) {
        for (const QByteArray& token : line.split(' '))
          EXPECT_LE(token.size(), 12) << line.constData();
      }
    }
  }
}

TEST(EmfToPdf, GradientsFillStripsAndTrianglePieces) {
  // Horizontal: red at x 0 to blue at x 40 (40 device pixels, 40 strips).
  EmfBuilder h = Start();
  h.Record(kEmrGradientFill, {0, 0, 40, 20, 2, 1, 0,  //
                              0, 0, 0xFF00, 0,        // (0, 0) red
                              40, 20, 0, 0xFF00,      // (40, 20) blue
                              0, 1})
      .Eof();
  const QList<QByteArray> strips = Inner(Play(h.Bytes()).content);
  EXPECT_EQ(strips.count("f"), 40);
  ExpectInOrder(strips, {"q", "1 0 0 rg", "0 72 m", "1.5 72 l", "1.5 57 l", "0 57 l", "h", "f",
                         "0 0 1 rg", "f", "Q"});
  // Vertical: the strips run across y.
  EmfBuilder v = Start();
  v.Record(kEmrGradientFill, {0, 0, 40, 20, 2, 1, 1, 0, 0, 0xFF00, 0, 40, 20, 0, 0xFF00, 0, 1})
      .Eof();
  EXPECT_EQ(Inner(Play(v.Bytes()).content).count("f"), 20);

  // A triangle of red, green and blue: pieces near each corner take its
  // colour, not one average.
  EmfBuilder t = Start();
  // A vertex: x, y, then red and green, blue and alpha (16 bits each).
  t.Record(kEmrGradientFill, {0,  0,  96,         96,     3, 1, 2,  //
                              0,  0,  0xFF00,     0,                // red
                              96, 0,  0xFF000000, 0,                // green
                              0,  96, 0,          0xFF00,           // blue
                              0,  1,  2})
      .Eof();
  const QList<QByteArray> pieces = Inner(Play(t.Bytes()).content);
  EXPECT_GT(pieces.count("f"), 64);
  EXPECT_LE(pieces.count("f"), 32 * 32);
  auto reddest =
      std::max_element(pieces.begin(), pieces.end(), [](const QByteArray& a, const QByteArray& b) {
        auto red = [](const QByteArray& l) {
          return l.endsWith(" rg") ? l.split(' ')[0].toDouble() : 0;
        };
        return red(a) < red(b);
      });
  EXPECT_GT(reddest->split(' ')[0].toDouble(), 0.9) << reddest->constData();

  // Hostile counts and indices: nothing read beyond the record.
  const std::initializer_list<qint64> hostile[] = {
      {0, 0, 1, 1, 0x7FFFFFFF, 1, 0},                          // vertices beyond the record
      {0, 0, 1, 1, 2, 0x7FFFFFFF, 2, 0, 0, 0, 0, 1, 1, 0, 0},  // meshes beyond it
      {0, 0, 1, 1, 2, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 7, 9},     // indices beyond the vertices
      {0, 0, 1, 1, 2, 1, 9, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1},     // unknown mode
  };
  for (const auto& record : hostile) {
    EmfBuilder b = Start();
    b.Record(kEmrGradientFill, record).Eof();
    const Played played = Play(b.Bytes());
    ExpectBalanced(played.content);
    EXPECT_FALSE(played.content.contains(" f\r\n") || played.content.contains("\nf\r\n"));
  }
}

TEST(EmfToPdf, RegionsFillFrameAndPaintWithTheirBrush) {
  // One region of two rectangles (device pixels): (0, 0, 20, 20) and
  // (40, 40, 60, 60).
  auto region = [](EmfBuilder& b, quint32 type, std::initializer_list<qint64> before) {
    std::vector<qint64> v(before);
    const std::vector<qint64> rgn = {32, 1, 2, 32, 0, 0, 60, 60, 0, 0, 20, 20, 40, 40, 60, 60};
    std::vector<qint64> all = {0, 0, 60, 60, 64};
    all.insert(all.end(), v.begin(), v.end());
    all.insert(all.end(), rgn.begin(), rgn.end());
    internal::RecordWriter w;
    w.U32(type).U32(static_cast<quint32>(8 + 4 * all.size()));
    for (const qint64 x : all) w.U32(static_cast<quint32>(x));
    b.Raw(w.Data());
  };
  EmfBuilder fill = Start();
  fill.Record(kEmrCreateBrushIndirect, {1, kBsSolid, 0x0000FF, 0});
  region(fill, kEmrFillRgn, {1});
  fill.Eof();
  ExpectInOrder(Inner(Play(fill.Bytes()).content),
                {"q", "1 0 0 rg", "0 57 15 15 re", "30 27 15 15 re", "f*", "Q"});

  EmfBuilder paint = Start();
  paint.Record(kEmrSelectObject, {kStock | kBlackBrush});
  region(paint, kEmrPaintRgn, {});
  paint.Eof();
  ExpectInOrder(Inner(Play(paint.Bytes()).content), {"q", "0 0 0 rg", "0 57 15 15 re", "f*", "Q"});

  // A frame 2 x 3 pixels inside each rectangle: top, sides and bottom.
  EmfBuilder frame = Start();
  frame.Record(kEmrCreateBrushIndirect, {1, kBsSolid, 0x00FF00, 0});
  region(frame, kEmrFrameRgn, {1, 2, 3});
  frame.Eof();
  const QList<QByteArray> framed = Inner(Play(frame.Bytes()).content);
  EXPECT_EQ(std::count_if(framed.begin(), framed.end(),
                          [](const QByteArray& l) { return l.endsWith(" re"); }),
            8);
  ExpectInOrder(framed, {"0 1 0 rg", "0 69.75 15 2.25 re", "f*"});

  // A null brush, or a handle naming nothing, fills nothing.
  for (const qint64 handle : {kStock | kNullBrush, qint64{5}}) {
    EmfBuilder none = Start();
    region(none, kEmrFillRgn, {handle});
    none.Eof();
    EXPECT_TRUE(Inner(Play(none.Bytes()).content).isEmpty()) << handle;
  }
}

TEST(EmfToPdf, SetPixelFillsOneDevicePixel) {
  EmfBuilder b = Start();
  b.Record(kEmrSetPixelV, {5, 5, 0x0000FF}).Eof();
  const QList<QByteArray> expected = {"q", "1 0 0 rg", "3.75 67.5 0.75 0.75 re", "f", "Q"};
  EXPECT_EQ(Inner(Play(b.Bytes()).content), expected);
}

// The glyph codes of every text operator in `content`.
QByteArray GlyphCodes(const QByteArray& content) {
  QByteArray codes;
  for (const QByteArray& line : Lines(content)) {
    if (!line.endsWith("Tj") && !line.endsWith("TJ")) continue;
    for (qsizetype at = line.indexOf('<'); at >= 0; at = line.indexOf('<', at + 1))
      codes += line.mid(at + 1, line.indexOf('>', at) - at - 1);
  }
  return codes;
}

TEST(EmfToPdf, EightBitAndSmallTextGoThroughTheTextCode) {
  EmfBuilder w = Start();
  Font(w, 1, -20).Record(kEmrSelectObject, {1});
  Text(w, 10, 10, QStringLiteral("AB")).Eof();
  const QByteArray wide = Play(w.Bytes()).content;
  ASSERT_FALSE(GlyphCodes(wide).isEmpty());

  // EMR_EXTTEXTOUTA: the same string as bytes.
  EmfBuilder a = Start();
  Font(a, 1, -20).Record(kEmrSelectObject, {1});
  a.Record(kEmrExtTextOutA,
           {0, 0, -1, -1, 1, 0, 0, 10, 10, 2, 76, 0, 0, 0, 0, 0, 80, 'A' | ('B' << 8), 10, 10});
  a.Eof();
  const QByteArray narrow = Play(a.Bytes()).content;
  EXPECT_EQ(GlyphCodes(narrow), GlyphCodes(wide));
  EXPECT_EQ(Inner(narrow), Inner(wide));

  // EMR_SMALLTEXTOUT of 8-bit characters, no rectangle: the font's own
  // advances.
  EmfBuilder s = Start();
  Font(s, 1, -20).Record(kEmrSelectObject, {1});
  s.Record(kEmrSmallTextOut, {10, 10, 2, kEtoSmallChars | kEtoNoRect, 1, 0, 0, 'A' | ('B' << 8)});
  s.Eof();
  const QByteArray small = Play(s.Bytes()).content;
  EXPECT_EQ(GlyphCodes(small), GlyphCodes(wide));
  EXPECT_TRUE(small.contains("> Tj"));

  // EMR_POLYTEXTOUTW of two strings: two runs of text.
  EmfBuilder p = Start();
  Font(p, 1, -20).Record(kEmrSelectObject, {1});
  p.Record(kEmrPolyTextOutW, {0,   0,  -1,  -1,  1, 0, 0, 2,          //
                              10,  10, 1,   120, 0, 0, 0, 0, 0, 124,  // string 1
                              10,  40, 1,   128, 0, 0, 0, 0, 0, 132,  // string 2
                              'A', 10, 'B', 10});
  p.Eof();
  const QByteArray poly = Play(p.Bytes()).content;
  ExpectBalanced(poly);
  EXPECT_EQ(poly.count("BT\r\n"), 2);
  EXPECT_EQ(GlyphCodes(poly), GlyphCodes(wide));
}

TEST(EmfToPdf, EightBitTextInAChineseFontIsReadAsGbk) {
  // "中文" in code page 936 and as UTF-16: the same glyphs.
  const QString face = QStringLiteral("Noto Sans CJK SC");
  EmfBuilder w = Start();
  Font(w, 1, -20, 0, 400, 0, face, 134).Record(kEmrSelectObject, {1});
  Text(w, 10, 10, QStringLiteral(u"中文")).Eof();
  EmfBuilder a = Start();
  Font(a, 1, -20, 0, 400, 0, face, 134).Record(kEmrSelectObject, {1});
  a.Record(kEmrExtTextOutA,
           {0, 0, -1, -1, 1, 0, 0, 10, 10, 4, 76, 0, 0, 0, 0, 0, 80, 0xC4CED0D6, 10, 10, 10, 10})
      .Eof();
  const QByteArray wide = GlyphCodes(Play(w.Bytes()).content);
  ASSERT_EQ(wide.size(), 8);
  EXPECT_EQ(GlyphCodes(Play(a.Bytes()).content), wide);
}

// --- faults mended ----------------------------------------------------------------------------

TEST(EmfToPdf, RestoresNeverCloseMoreThanWasSaved) {
  EmfBuilder b = Start();
  b.Record(kEmrSaveDC, {})
      .Record(kEmrRestoreDC, {-3})  // one level saved
      .Record(kEmrRestoreDC, {-1})  // none left
      .Record(kEmrRestoreDC, {2});  // positive: restores nothing
  ClipRect(b, QRect(0, 0, 10, 10));
  b.Record(kEmrRestoreDC, {-1}).Record(kEmrSaveDC, {}).Record(kEmrSaveDC, {}).Eof();
  const Played played = Play(b.Bytes());
  ExpectBalanced(played.content);
  const QList<QByteArray> lines = Inner(played.content);
  // The save and its restore, the clip (closed at the end), two saves
  // closed at the end.
  EXPECT_EQ(lines.count("q"), 4);
  EXPECT_EQ(lines.count("Q"), 4);
  ExpectInOrder(lines, {"q", "Q", "q", "W*", "n", "q", "q", "Q", "Q", "Q"});
}

TEST(EmfToPdf, UnusableScalesDrawNothingAndNeverWriteNonFiniteNumbers) {
  // Millimetres of 0: 96 dots per inch stand in.
  QByteArray zero_mm = Start().Bytes();
  for (int i = 80; i < 88; ++i) zero_mm[i] = 0;
  EmfBuilder a;
  a.Raw(zero_mm).Record(kEmrRectangle, {10, 20, 50, 60}).Eof();
  const Played fallback = Play(a.Bytes());
  ExpectBalanced(fallback.content);
  EXPECT_TRUE(Inner(fallback.content).contains("7.5 27.75 29.25 29.25 re"));

  // An empty or inverted frame: nothing is drawn.
  for (const QRect frame :
       {QRect(QPoint(0, 0), QPoint(0, 2540)), QRect(QPoint(2540, 2540), QPoint(0, 0))}) {
    EmfBuilder b;
    b.Header(8, 0, frame).Record(kEmrRectangle, {10, 20, 50, 60});
    Text(b, 10, 10, QStringLiteral("x")).Eof();
    const Played played = Play(b.Bytes());
    ExpectBalanced(played.content);
    EXPECT_TRUE(Inner(played.content).isEmpty()) << played.content.constData();
  }
}

TEST(EmfToPdf, HugeTransformsAreClamped) {
  EmfBuilder b = Start();
  b.Transform(kEmrSetWorldTransform, {1e30f, 0, 0, 1e30f, 1e30f, -1e30f})
      .Record(kEmrRectangle, {10, 20, 50, 60})
      .Record(kEmrMoveToEx, {1, 1})
      .Record(kEmrLineTo, {2, 2})
      .Eof();
  const Played played = Play(b.Bytes());
  ExpectBalanced(played.content);
  for (const QByteArray& line : Lines(played.content)) {
    for (const QByteArray& token : line.split(' ')) EXPECT_LE(token.size(), 12) << line.constData();
  }
}

TEST(EmfToPdf, PointListsBeyondTheRecordAreNotRead) {
  EmfBuilder b = Start();
  b.Record(kEmrPolyBezier16, {0, 0, 0, 0, 0})                   // no points
      .Record(kEmrPolyBezier, {0, 0, 0, 0, 1000, 1, 2})         // count beyond the record
      .Record(kEmrPolyPolygon, {0, 0, 0, 0, 2, 3, 4, 4, 0, 0})  // counts exceed the total
      .Record(kEmrPolygon, {0, 0, 0, 0, 1, 5, 5})               // one point
      .Eof();
  const Played played = Play(b.Bytes());
  ExpectBalanced(played.content);
  EXPECT_TRUE(Inner(played.content).isEmpty()) << played.content.constData();
}

TEST(EmfToPdf, AngleArcSweepsAreBounded) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float start, sweep;
    int curves;
  } cases[] = {{0, nan, 0}, {nan, 90, 0}, {0, inf, 0}, {0, 1e30f, 6}, {0, -1e30f, 6}, {0, 90, 2}};
  for (const auto& c : cases) {
    EmfBuilder b = Start();
    internal::RecordWriter w;
    w.U32(kEmrAngleArc).U32(28).I32(48).I32(48).U32(20).F32(c.start).F32(c.sweep);
    b.Raw(w.Data()).Eof();
    const Played played = Play(b.Bytes());
    ExpectBalanced(played.content);
    int curves = 0;
    for (const QByteArray& line : Lines(played.content)) curves += line.endsWith(" c");
    EXPECT_EQ(curves, c.curves) << c.start << " " << c.sweep;
  }
}

TEST(EmfToPdf, TextTooSmallToShowIsLeftOut) {
  EmfBuilder b = Start();
  Font(b, 1, -20).Record(kEmrSelectObject, {1});
  Text(b, 10, 10, QStringLiteral("AB"), 10, kEtoOpaque, QRect(0, 0, 50, 50)).Eof();
  // 96 pixels on half a point: the font rounds to size 0.
  const Played played = Play(b.Bytes(), {}, PdfRect{0, 0.5, 0.5, 0});
  ExpectBalanced(played.content);
  EXPECT_TRUE(Inner(played.content).isEmpty()) << played.content.constData();
  EXPECT_FALSE(played.content.contains(" Tf"));
}

TEST(EmfToPdf, CommentsStayOnOneLine) {
  EmfBuilder b = Start();
  Text(b, 10, 10, QStringLiteral("a\r\nQ\r\nQ\nb")).Eof();
  const Played played = Play(b.Bytes(), [](TEMFtoPDFExport& p) { p.SetDiagnostics(true); });
  ExpectBalanced(played.content);
  for (const QByteArray& line : Lines(played.content)) {
    if (line.startsWith("%--")) {
      EXPECT_FALSE(line.contains('\r')) << line.constData();
    }
  }
  EXPECT_TRUE(played.content.contains("%--EMR_ExtTextOutW"));
}

TEST(EmfToPdf, ImagesOfTheSameDigestStayApart) {
  // Two different 128-byte blocks with one MD5 (a published collision).
  const QByteArray a = QByteArray::fromHex(
      "d131dd02c5e6eec4693d9a0698aff95c2fcab58712467eab4004583eb8fb7f8955ad340609f4b30283e48883"
      "2571415a085125e8f7cdc99fd91dbdf280373c5bd8823e3156348f5bae6dacd436c919c6dd53e2b487da03fd"
      "02396306d248cda0e99f33420f577ee8ce54b67080a80d1ec69821bcb6a8839396f9652b6ff72a70");
  const QByteArray b = QByteArray::fromHex(
      "d131dd02c5e6eec4693d9a0698aff95c2fcab50712467eab4004583eb8fb7f8955ad340609f4b30283e48883"
      "25f1415a085125e8f7cdc99fd91dbd7280373c5bd8823e3156348f5bae6dacd436c919c6dd53e23487da03fd"
      "02396306d248cda0e99f33420f577ee8ce54b67080280d1ec69821bcb6a8839396f965ab6ff72a70");
  ASSERT_NE(a, b);
  ASSERT_EQ(QCryptographicHash::hash(a, QCryptographicHash::Md5),
            QCryptographicHash::hash(b, QCryptographicHash::Md5));
  MemoryStream out;
  PdfDocument document(out, test::PlainOptions());
  document.Begin();
  document.BeginPage(100, 100, 0);
  const QByteArray first = document.UseImage({a, 1, 1, {}});
  const QByteArray second = document.UseImage({b, 1, 1, {}});
  EXPECT_NE(first, second);
  EXPECT_EQ(document.UseImage({b, 1, 1, {}}), second);
  EXPECT_EQ(document.ImageCount(), 2);
  document.EndPage();
  document.Finish();
}

// Differing pixels (a channel off by more than 64) per inked pixel (not
// white in either image).
double InkDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 1;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  qint64 inked = 0, differing = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) {
      const bool ink = (p[col] & RGB_MASK) != 0xFFFFFF || (q[col] & RGB_MASK) != 0xFFFFFF;
      if (!ink) continue;
      ++inked;
      differing += std::abs(qRed(p[col]) - qRed(q[col])) > 64 ||
                   std::abs(qGreen(p[col]) - qGreen(q[col])) > 64 ||
                   std::abs(qBlue(p[col]) - qBlue(q[col])) > 64;
    }
  }
  return inked == 0 ? 1 : double(differing) / inked;
}

// --- picture views on pages
// -------------------------------------------------------------------------

// A metafile of a filled rectangle, a line of text and a picture with
// transparent parts (recorded as an alpha blend).
Metafile PictureMetafile() {
  QImage image(16, 8, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y) image.setPixelColor(x, y, QColor(200, 30, 30));
  return test::Record(
      [&](Canvas& c) {
        c.Pen() = CanvasPen{clBlue, 1, PenStyle::kSolid, false, LineCap::kRound, {}};
        c.Brush() = CanvasBrush{clYellow, TovxBrushStyle::bsSolid};
        c.Rectangle({4, 4, 60, 30});
        c.Font().name = QStringLiteral("Arial");
        c.Font().height = -14;
        c.ExtTextOut(8, 34, 0, nullptr, QStringLiteral("Vector"), {});
        c.StretchDraw({64, 4, 96, 20}, image);
      },
      100, 50);
}

struct ViewPage {
  QByteArray content;
  QByteArray file;
};

ViewPage WriteView(TovxView& view, PdfDocumentOptions options = test::PlainOptions(),
                   PdfContentSettings settings = {}) {
  MemoryStream out;
  PdfDocument document(out, options);
  PdfPageContent content(document, settings);
  document.Begin();
  content.BeginPage(200, 100, 0, 0, 0);
  content.WriteView(view);
  ViewPage page;
  page.content = document.Content();
  content.EndPage();
  document.Finish();
  page.file = out.Data();
  return page;
}

TEST(EmfToPdf, MetafilePicturesAreWrittenAsVectors) {
  TovxPictureView view;
  view.SetBounds(20, 10, 100, 50);
  ASSERT_TRUE(view.Picture().LoadFromData(PictureMetafile().bytes));
  view.Frame().SetTyp({TovxFrameType::ftBottom});
  const ViewPage vectors = WriteView(view);
  ExpectBalanced(vectors.content);
  // The view's clip, the playing clip, the rectangle, the text, the
  // picture part, the frame.
  ExpectInOrder(Lines(vectors.content),
                {"q", "q", "15 30 75 37.5 re", "W", "n", "q", "15 30 75 37.5 re", "W*", "n",
                 "18 45.75 41.25 18.75 re", "BT", "ET", "/Im0 Do", "Q", "Q"});
  EXPECT_EQ(vectors.content.count(" Do"), 1);
  EXPECT_TRUE(vectors.content.contains(" Tf"));

  // Without AllowVectorExport, or for a placeable metafile, a raster image.
  view.SetAllowVectorExport(false);
  const ViewPage raster = WriteView(view);
  EXPECT_FALSE(raster.content.contains("BT"));
  EXPECT_FALSE(raster.content.contains(" re\r\nW*"));
}

TEST(EmfToPdf, AMetafileThatCannotBePlayedIsExportedAsAnImage) {
  // A header announcing palette entries and no end-of-file record: the
  // player gives up on it, the export goes on and shows the view as the
  // preview draws it.
  QByteArray bytes = PictureMetafile().bytes;
  bytes.chop(20);  // the EMR_EOF record
  const quint32 file_size = static_cast<quint32>(bytes.size()), palette_entries = 4;
  std::memcpy(bytes.data() + 48, &file_size, sizeof file_size);
  std::memcpy(bytes.data() + 68, &palette_entries, sizeof palette_entries);
  TovxPictureView view;
  view.SetBounds(20, 10, 100, 50);
  ASSERT_TRUE(view.Picture().LoadFromData(bytes));
  ViewPage page;
  ASSERT_NO_THROW(page = WriteView(view));
  ExpectBalanced(page.content);
  EXPECT_FALSE(page.content.contains("BT"));
  EXPECT_EQ(page.content.count(" Do"), 1);
}

TEST(EmfToPdf, SoftMasksOnlyWithTransparencyAndNeverUnderPdfA1) {
  TovxPictureView view;
  view.SetBounds(20, 10, 100, 50);
  ASSERT_TRUE(view.Picture().LoadFromData(PictureMetafile().bytes));
  PdfContentSettings transparent;
  transparent.transparency = true;
  PdfDocumentOptions plain = test::PlainOptions();
  EXPECT_TRUE(WriteView(view, plain, transparent).file.contains("/SMask"));
  EXPECT_FALSE(WriteView(view, plain, {}).file.contains("/SMask"));
  PdfDocumentOptions pdfa1 = test::PlainOptions();
  pdfa1.pdfa_part = 1;
  EXPECT_FALSE(WriteView(view, pdfa1, transparent).file.contains("/SMask"));
  PdfDocumentOptions pdfa2 = test::PlainOptions();
  pdfa2.pdfa_part = 2;
  EXPECT_TRUE(WriteView(view, pdfa2, transparent).file.contains("/SMask"));
}

TEST(EmfToPdf, AlphaBlendsAreRedrawnNoLargerThanTheirSource) {
  // 16 x 8 pixels blended onto an area of a million points and onto an
  // empty one.
  QImage image(16, 8, QImage::Format_ARGB32);
  image.fill(QColor(0, 0, 255, 128));
  for (const PixelRect dest : {PixelRect{0, 0, 90, 90}, PixelRect{10, 10, 10, 40}}) {
    const Metafile file = test::Record([&](Canvas& c) { c.StretchDraw(dest, image); }, 96, 96);
    const Played played = Play(
        file.bytes, [](TEMFtoPDFExport& p) { p.SetTransparency(true); }, PdfRect{0, 1e6, 1e6, 0});
    ExpectBalanced(played.content);
    if (dest.right == dest.left) {
      EXPECT_EQ(played.images, 0);
      continue;
    }
    EXPECT_EQ(played.images, 1);
    EXPECT_TRUE(played.file.contains("/Width 16/Height 8/SMask"))
        << played.file.left(2000).constData();
  }
}

TEST(EmfToPdf, ReportsExportMetafilePicturesAsTheScreenDrawsThem) {
  VELMORA_REQUIRE_TOOL(qpdf);
  VELMORA_REQUIRE_TOOL(pdftoppm);
  InstallEngine();
  InstallExport();
  QFile seed(QStringLiteral(VELMORA_SOURCE_DIR "/fuzz/corpus/emf/clips_and_paths.emf"));
  ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
  TovxReport report;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  auto* page = new TovxReportPage(&report);
  page->SetName(QStringLiteral("Page1"));
  page->SetPaperWidth(100);
  page->SetPaperHeight(80);
  // No margins: the export shifts pages by a twentieth of them, which
  // would move every edge by a fraction of a pixel.
  page->SetLeftMargin(0);
  page->SetTopMargin(0);
  page->SetRightMargin(0);
  page->SetBottomMargin(0);
  auto* view = new TovxPictureView(page);
  view->SetName(QStringLiteral("Picture1"));
  // Twice the metafile's size: edges fall on whole pixels both ways.
  view->SetBounds(20, 20, 200, 160);
  ASSERT_TRUE(view->Picture().LoadFromData(seed.readAll()));
  ASSERT_TRUE(report.PrepareReport());

  TovxPDFExport filter(nullptr, false);
  filter.SetShowDialog(false);
  filter.SetFixedOutput(true);
  MemoryStream out;
  filter.SetStream(&out);
  ASSERT_TRUE(PreparedPages(report)->Export(filter));
  filter.SetStream(nullptr);
  const QByteArray pdf = out.Data();
  EXPECT_FALSE(pdf.contains("/Subtype /Image"));

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("report.pdf"));
  ASSERT_TRUE(test::WriteFile(path, pdf));
  const test::ToolResult check = test::RunTool(tool_qpdf, {QStringLiteral("--check"), path});
  EXPECT_EQ(check.exit_code, 0) << check.out.constData();
  EXPECT_TRUE(check.out.contains("No syntax or stream encoding errors found"));

  TovxPreviewPages& pages = *PreparedPages(report);
  const QSize size = pages.GetPageSize(0);
  auto canvas = PainterCanvas::ForImage(size.width(), size.height());
  pages.DrawPage(0, *canvas, 1, 1, 0, 0);
  canvas->End();
  const test::ToolResult r = test::RunTool(
      tool_pdftoppm, {"-r", "96", "-png", "-singlefile", path, dir.filePath("report")});
  ASSERT_EQ(r.exit_code, 0) << r.err.constData();
  const QImage read(dir.filePath(QStringLiteral("report.png")));
  ASSERT_EQ(read.size(), size);
  const double difference = InkDifference(*canvas->Image(), read);
  if (qEnvironmentVariableIsSet("VELMORA_KEEP_RENDERINGS")) {
    canvas->Image()->save(qEnvironmentVariable("VELMORA_KEEP_RENDERINGS") + "/report-screen.png");
    read.save(qEnvironmentVariable("VELMORA_KEEP_RENDERINGS") + "/report-pdf.png");
  }
  std::printf("report page: %.2f %% of inked pixels differ\n", 100 * difference);
  EXPECT_LT(difference, 0.02);
}

// --- balance over every seed
// ----------------------------------------------------------------------

TEST(EmfToPdf, EverySeedAndHostileCaseStaysBalanced) {
  std::vector<QByteArray> inputs;
  QDirIterator it(QStringLiteral(VELMORA_SOURCE_DIR "/fuzz/corpus/emf"), QDir::Files);
  while (it.hasNext()) {
    QFile file(it.next());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    inputs.push_back(file.readAll());
  }
  ASSERT_GE(inputs.size(), 8u);
  // Hostile: saves never restored, restores beyond the saves, clips in
  // nested levels, a path never ended, a header in the middle.
  EmfBuilder hostile = Start();
  hostile.Record(kEmrSaveDC, {}).Record(kEmrSaveDC, {});
  ClipRect(hostile, QRect(0, 0, 10, 10));
  ClipRect(hostile, QRect(0, 0, 20, 20));
  hostile.Record(kEmrRestoreDC, {-5}).Record(kEmrSaveDC, {});
  ClipRect(hostile, QRect(5, 5, 10, 10));
  hostile.Record(kEmrBeginPath, {}).Record(kEmrMoveToEx, {1, 1}).Record(kEmrLineTo, {5, 5});
  hostile.Header().Record(kEmrRestoreDC, {-1}).Record(kEmrSaveDC, {});
  inputs.push_back(hostile.Bytes());  // no end record
  // Hostile fields of the records drawn as shapes, gradients, regions,
  // pixels and text: counts beyond the record, a huge transform, arcs in
  // a path bracket, a frame wider than any device.
  EmfBuilder fields = Start();
  fields.Transform(kEmrSetWorldTransform, {1e30f, 0, 0, -1e30f, 1e30f, 1e30f})
      .Record(kEmrSetPixelV, {2147483647, -2147483647, 0xFF})
      .Record(kEmrChord, {0, 0, 2147483647, 1, 5, 5, 5, 5})
      .Transform(kEmrSetWorldTransform, {1, 0, 0, 1, 0, 0})
      .Record(kEmrBeginPath, {})
      .Record(kEmrArcTo, {0, 0, 40, 40, 0, 0, 40, 40})
      .Record(kEmrPie, {0, 0, 40, 40, 0, 0, 40, 40})
      .Record(kEmrPaintRgn, {0, 0, 0, 0, 48, 32, 1, 1, 16, 0, 0, 9, 9, 0, 0, 9, 9})
      .Record(kEmrEndPath, {})
      .Record(kEmrStrokePath, {0, 0, 0, 0})
      .Record(kEmrGradientFill, {0, 0, 1, 1, 1, 0x40000000, 2, 0, 0, 0, 0})
      .Record(kEmrFillRgn, {0, 0, 0, 0, 0x7FFFFFF0, kStock | kBlackBrush, 32, 1, 1000000})
      .Record(kEmrFrameRgn,
              {0, 0, 0, 0, 48, kStock | kBlackBrush, 0x7FFFFFFF, 1, 32, 1, 1, 16, 0, 0, 9,
               9, 0, 0, 9, 9})
      .Record(kEmrSmallTextOut, {0, 0, 0x7FFFFFFF, kEtoSmallChars, 1, 0, 0, 0x41414141})
      .Record(kEmrPolyTextOutA, {0, 0, 0, 0, 1, 0, 0, 0x7FFFFFFF})
      .Record(kEmrExtTextOutA, {0, 0, -1, -1, 1, 0, 0, 0, 0, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 76})
      .Eof();
  inputs.push_back(fields.Bytes());
  for (const QByteArray& input : inputs) {
    for (const bool diagnostics : {false, true}) {
      MemoryStream out;
      PdfDocument document(out, test::PlainOptions());
      document.Begin();
      document.BeginPage(200, 200, 0);
      MemoryStream in(input);
      TEMFtoPDFExport player(in, document, PdfRect{10, 150, 150, 10});
      player.SetDiagnostics(diagnostics);
      try {
        player.Export();
      } catch (const Error&) {
      }
      ExpectBalanced(document.Content());
      EXPECT_EQ(player.SaveDepth(), 0);
      document.EndPage();
      document.Finish();
    }
  }
}

// The fuzz target's checks on every seed of its corpus.
TEST(EmfToPdf, FuzzSeedsPass) {
  QDirIterator it(QStringLiteral(VELMORA_SOURCE_DIR "/fuzz/corpus/emf"), QDir::Files);
  int seeds = 0;
  while (it.hasNext()) {
    QFile file(it.next());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()));
    ++seeds;
  }
  EXPECT_GE(seeds, 8);
}

// --- what a reader draws
// ---------------------------------------------------------------------------

// Differing pixels per inked pixel, where a pixel of either image counts
// as matched when a pixel of the other within one pixel has its colour
// (every channel within 64), or (with `mix`) when it is a mix of two such
// pixels' colours. The screen draws without anti-aliasing and a reader smooths
// every slanted edge and glyph: those pixels are mixes of the colours on
// either side. A shape or glyph missing, moved by two pixels or coloured
// wrongly still counts.
double InkDifferenceNear(const QImage& a, const QImage& b, bool mix = true) {
  if (a.size() != b.size()) return 1;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  auto close = [](QRgb p, double r, double g, double bl) {
    return std::abs(qRed(p) - r) <= 64 && std::abs(qGreen(p) - g) <= 64 &&
           std::abs(qBlue(p) - bl) <= 64;
  };
  auto matched = [&](QRgb p, const QImage& other, int col, int row) {
    std::vector<QRgb> near;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (other.rect().contains(col + dx, row + dy))
          near.push_back(other.pixel(col + dx, row + dy));
    for (const QRgb q : near)
      if (close(p, qRed(q), qGreen(q), qBlue(q))) return true;
    if (!mix) return false;
    for (size_t i = 0; i < near.size(); ++i) {
      for (size_t j = i + 1; j < near.size(); ++j) {
        const double d[] = {double(qRed(near[i])) - qRed(near[j]),
                            double(qGreen(near[i])) - qGreen(near[j]),
                            double(qBlue(near[i])) - qBlue(near[j])};
        const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (dd == 0) continue;
        double t = ((qRed(p) - qRed(near[j])) * d[0] + (qGreen(p) - qGreen(near[j])) * d[1] +
                    (qBlue(p) - qBlue(near[j])) * d[2]) /
                   dd;
        t = std::clamp(t, 0.0, 1.0);
        if (close(p, qRed(near[j]) + t * d[0], qGreen(near[j]) + t * d[1],
                  qBlue(near[j]) + t * d[2]))
          return true;
      }
    }
    return false;
  };
  qint64 inked = 0, differing = 0;
  for (int row = 0; row < x.height(); ++row) {
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
      if ((p & RGB_MASK) == 0xFFFFFF && (q & RGB_MASK) == 0xFFFFFF) continue;
      ++inked;
      if (!matched(p, y, col, row) || !matched(q, x, col, row)) ++differing;
    }
  }
  return inked == 0 ? 1 : double(differing) / inked;
}

TEST(EmfToPdf, ReadersDrawTheSeedsAsTheScreenDoes) {
  VELMORA_REQUIRE_TOOL(pdftoppm);
  // Every seed a reader can draw, under the measures that fit it: pixel
  // for pixel where the drawing is upright (rectangles, bitmaps, clips),
  // near where a reader's smoothing of slanted edges and small glyphs is
  // the only difference (`plain` false); a seed whose frame is empty has
  // nothing to draw.
  struct Seed {
    const char* name;
    bool plain;
    // Of inked pixels, near or mixed. The screen restarts a styled pen's
    // pattern at each line of a stroked path, where the PDF runs it on
    // along the figure; those two seeds stroke a dashed triangle path.
    double limit = 0.02;
  };
  const Seed seeds[] = {{"clips_and_paths", true},
                        {"pictures", true},
                        {"velmora_body", true},
                        {"velmora_cover", true},
                        {"regression-blend-source-beyond-int", true},
                        {"shapes_and_pens", false},
                        {"text_runs", false},
                        {"regression-turned-ellipse-far-away", false},
                        {"foreign_records", false, 0.03},
                        {"regression-huge-arc", false, 0.03}};
  QTemporaryDir dir;
  for (const Seed& seed : seeds) {
    const QString name = QString::fromLatin1(seed.name);
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/fuzz/corpus/emf/%1.emf").arg(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray emf = file.readAll();
    const TEnhMetaHeaderObj header(emf.left(88));
    const QRect frame = header.Frame();
    const int w = static_cast<int>(std::lround((frame.right() - frame.left()) / 100.0 * 480 / 127));
    const int h = static_cast<int>(std::lround((frame.bottom() - frame.top()) / 100.0 * 480 / 127));
    auto canvas = PainterCanvas::ForImage(w, h);
    (void)PlayMetafile(emf, *canvas, QRectF(0, 0, w, h));
    canvas->End();
    const QImage screen = *canvas->Image();

    MemoryStream out;
    PdfDocument document(out, test::PlainOptions());
    document.Begin();
    document.BeginPage(0.75 * w, 0.75 * h, 0);
    MemoryStream in(emf);
    TEMFtoPDFExport player(in, document, PdfRect{0, 0.75 * h, 0.75 * w, 0});
    try {
      player.Export();
    } catch (const Error&) {
      // What played before the damage stays, as on the screen.
    }
    document.EndPage();
    document.Finish();
    const QString pdf = dir.filePath(name + ".pdf");
    ASSERT_TRUE(test::WriteFile(pdf, out.Data()));
    const test::ToolResult r =
        test::RunTool(tool_pdftoppm, {"-r", "96", "-png", "-singlefile", pdf, dir.filePath(name)});
    ASSERT_EQ(r.exit_code, 0) << r.err.constData();
    const QImage read(dir.filePath(name + ".png"));
    const double plain = InkDifference(screen, read);
    const double near = InkDifferenceNear(screen, read, false);
    const double near_mix = InkDifferenceNear(screen, read);
    if (qEnvironmentVariableIsSet("VELMORA_KEEP_RENDERINGS")) {
      screen.save(QStringLiteral("%1/%2-screen.png")
                      .arg(qEnvironmentVariable("VELMORA_KEEP_RENDERINGS"), name));
      read.save(QStringLiteral("%1/%2-pdf.png")
                    .arg(qEnvironmentVariable("VELMORA_KEEP_RENDERINGS"), name));
    }
    std::printf("%s: %.2f %% of inked pixels differ, %.2f %% near, %.2f %% near or mixed\n",
                seed.name, 100 * plain, 100 * near, 100 * near_mix);
    EXPECT_LT(near_mix, seed.limit) << seed.name;
    if (seed.plain) {
      EXPECT_LT(plain, 0.02) << seed.name;
    }
  }
}

}  // namespace
}  // namespace ovx
