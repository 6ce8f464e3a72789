// Recorded drawings (enhanced metafiles) as vector content of a PDF page.
//
// TEMFtoPDFExport is a metafile player whose drawing handlers write PDF
// content-stream operators instead of pixels: paths filled and stroked
// with the pen and brush of the device context, clips, text in the
// document's embedded fonts, and bitmaps as (deduplicated) image objects.
// The metafile's frame is mapped onto a target rectangle of the page.
//
// Balance. Every "q" the player writes is closed by a "Q" before it
// returns, also when the metafile saves without restoring, restores more
// levels than it saved, or playback fails: a metafile can never pop the
// graphics state of the page around it. Saved levels are counted with the
// clips opened in each, and a restore closes exactly the levels the player
// actually restored.
//
// Numbers. Every operand goes through EmfPdfNumber: at most three
// decimals, clamped to +-1,000,000 points, NaN written as 0, so a damaged
// transform can never put "inf", "nan" or hundreds of digits into the
// stream. Every operator is one line ending with CR LF.
//
// Pens and shapes. A cosmetic pen (width 0 or 1, or a cosmetic extended
// pen) is one device pixel whatever the mapping, on the screen as on any
// device the platform draws to: it is written as the thinnest line a
// reader can draw ("0 w"), which also keeps it unsmoothed. Arcs, chords
// and pies take their angles from the same code as the screen's replay
// (render/emf_arc.h); gradients are filled in flat pieces (strips of a
// device pixel for rectangles, small triangles for triangle meshes) and
// regions as rectangles with the brush's fill, hatches included.
//
// Brushes. Hatches and pattern bitmaps are device-pixel patterns: they
// fill through tiling patterns whose cells are those pixels, placed at the
// brush origin, so that a printer's page shows the pixels a screen would.
// One-pixel styled pens count their pattern in pixel steps along the
// line's major axis, as the platform does; their dashes are written as
// runs between pixel centres instead of a dash array measured along the
// path.
//
// Paths. Construction operators are buffered (TPDFPath) from the first
// move until the path is painted or ended; state operators go to the
// stream directly, ahead of the pending path, so that a path is always one
// unbroken run of construction operators followed by its painting
// operator. A line or curve record with no current point in the PDF path
// starts with a move to the context's current position.
#pragma once

#include "export/pdf_page_content.h"
#include "render/emf_arc.h"
#include "render/emf_device_context.h"
#include "render/emf_player.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class QImage;
class TovxPictureView;
class TovxView;

namespace ovx {

class PdfDocument;
class Stream;

// Coordinates and lengths beyond this many points are clamped.
inline constexpr double kEmfPdfMaxNumber = 1.0e6;

// Up to three decimals, trailing zeros and a trailing point removed
// ("12.5", "3", "0.502"); NaN as "0", clamped to +-kEmfPdfMaxNumber.
QByteArray EmfPdfNumber(double value);

// Whether a view's drawing goes into the page as vectors: a picture view
// holding an enhanced metafile, with AllowVectorExport. (Placeable WMF
// pictures, which the player cannot read, and raster pictures stay
// images.)
bool WritesVectorPicture(const TovxView& view);

// Writes such a view into the page `page` is writing: its fill, the
// metafile stretched into the picture's place and clipped to the view,
// and its frame. Soft masks only with `settings.transparency`, and never
// under PDF/A-1. Returns false, with the page left as it was, when the
// metafile cannot be played to its end (a damaged file, a font that fails
// to load): the caller then draws the view as an image, as the preview
// shows it, so one bad picture never costs the whole export.
bool WriteVectorPicture(PdfPageContent& page, PdfDocument& document, TovxPictureView& view,
                        const PdfContentSettings& settings);

}  // namespace ovx

// A rotation about a centre point, as the "cm" matrix that turns text.
class TRotation2D {
 public:
  // `angle` in radians, counter-clockwise (y up).
  TRotation2D(QPointF centre, double angle);
  // "cos sin -sin cos e f", each with exactly four decimals; e and f keep
  // the centre in place.
  QByteArray MatrixText() const;
  // `point` (page coordinates) in the rotated frame about the centre.
  QPointF Map(QPointF point) const;
  double Cos() const { return cos_; }
  double Sin() const { return sin_; }

 private:
  QPointF centre_;
  double cos_ = 1;
  double sin_ = 0;
};

// The device context with one more flag: a region clip opened with "q" in
// this context is still open. A context made by EMR_SAVEDC starts without
// it (Assign does not copy it): the clip belongs to the saved level.
class TPDFDeviceContext : public TDeviceContext {
 public:
  void Assign(const TDeviceContext& other) override;
  void Reset() override;
  bool ClipSelected() const { return clip_selected_; }
  void SetClipSelected(bool on) { clip_selected_ = on; }

 private:
  bool clip_selected_ = false;
};

// The path being built: construction operators wait until the path is
// painted (Flush) or dropped. They are kept as geometry, so that a stroke
// can be written half a pixel off the fill it outlines (see Text).
class TPDFPath {
 public:
  explicit TPDFPath(QByteArray& out) : out_(out) {}
  void MoveTo(QPointF p);
  void LineTo(QPointF p);
  void CurveTo(QPointF c1, QPointF c2, QPointF end);
  // A curve whose first control point is the current point ("v").
  void CurveV(QPointF c2, QPointF end);
  void Close();
  // left, bottom, width, height ("re").
  void Rect(double left, double bottom, double width, double height);
  // Copies the operators to the output and empties the path.
  void Flush();
  void Discard();
  bool Pending() const { return !ops_.empty(); }
  // A move, line, curve or rectangle was added: the PDF path has a
  // current point.
  bool HasCurrentPoint() const { return !ops_.empty(); }
  // Something beyond moves was added.
  bool HasSegments() const { return segments_; }
  bool HasClosedFigure() const;
  // The operators waiting, each line with its CR LF.
  QByteArray Buffer() const { return Text(); }

  // The figures of the path as polylines (page units): curves cut into 16
  // pieces, or drawn as the points SetFlat gave them; rectangles walked
  // from the top right corner, counter-clockwise.
  struct Figure {
    std::vector<QPointF> points;
    bool closed = false;
  };
  std::vector<Figure> Figures() const;
  size_t OpCount() const { return ops_.size(); }
  // The operators added from `first` on (curves, and the move and lines
  // between them) are, as a polyline, `points`: the screen's own pieces of
  // an arc or ellipse.
  void SetFlat(size_t first, std::vector<QPointF> points);

  // How a stroke is placed over the pixels it inks: every point moved by
  // `shift` (page units); with `pixel_ends`, open figures of straight
  // lines begin and end half a device pixel (`px`, `py` page units per
  // pixel) earlier, so that a one-pixel line covers its first pixel and
  // not its last; with `walk_rects`, rectangles become four lines from
  // the top right corner, counter-clockwise, where a dash pattern starts.
  struct Placement {
    QPointF shift;
    bool pixel_ends = false;
    double px = 0, py = 0;
    bool walk_rects = false;
  };
  QByteArray Text(const Placement& placement) const;
  QByteArray Text() const { return Text(Placement{}); }

 private:
  struct Op {
    char op;  // m l c v h r
    QPointF p[3];
    // Index into flats_ of the polyline this curve is part of; the first
    // curve of it (`head`) stands for all of them.
    int flat = -1;
    bool head = false;
  };
  QByteArray& out_;
  std::vector<Op> ops_;
  std::vector<std::vector<QPointF>> flats_;
  bool segments_ = false;
};

class TEMFtoPDFExport : public TEMFAbstractExport {
 public:
  // Plays the metafile `input` into the content stream of the page being
  // written in `document`, with its frame on `target` (points, y up,
  // top > bottom).
  TEMFtoPDFExport(ovx::Stream& input, ovx::PdfDocument& document, const ovx::PdfRect& target);
  ~TEMFtoPDFExport() override;

  // Barcode views: caps always projecting, joins always miter.
  void SetBarcode(bool on) { barcode_ = on; }
  // Shape views: no record fills anything.
  void SetShape(bool on) { shape_ = on; }
  // Soft masks for alpha-blended bitmaps (treated as off under PDF/A-1).
  void SetTransparency(bool on) { transparency_ = on; }
  void SetPdfA(bool on) { pdfa_ = on; }
  // JPEG quality of bitmaps drawn from records (90) and of redrawn
  // alpha-blended bitmaps (the document's).
  void SetJpegQuality(int quality) { jpeg_quality_ = quality; }
  void SetDocumentQuality(int quality) { document_quality_ = quality; }

  // Plays the metafile (TEMFAbstractExport::Play) and keeps the stream
  // balanced when playing fails: every "q" written is closed before the
  // error passes on.
  void Export();

  // "q" written and not yet closed since playing began (BeginPlay's own
  // excluded).
  int SaveDepth() const;
  // Whether the header gave a frame to map; without one nothing is drawn.
  bool FrameUsable() const { return frame_ok_; }

 protected:
  void WriteComment(const QString& text) override;
  std::unique_ptr<TDeviceContext> CreateDeviceContext() override;

  void BeginPlay() override;
  void EndPlay() override;

  void DoHeader() override;
  void DoEoF() override;
  void DoSaveDC() override;
  void DoRestoreDC() override;
  void DoExtSelectClipRgn() override;
  void DoIntersectClipRect() override;
  void DoExcludeClipRect() override;
  void DoOffsetClipRgn() override;
  void DoSetMetaRgn() override;
  void DoSelectClipPath() override;
  void DoMoveToEx() override;
  void DoLineTo() override;
  void DoCloseFigure() override;
  void DoBeginPath() override;
  void DoAbortPath() override;
  void DoFillPath() override;
  void DoStrokePath() override;
  void DoStrokeAndFillPath() override;
  void DoPolyline() override;
  void DoPolyline16() override;
  void DoPolylineTo() override;
  void DoPolylineTo16() override;
  void DoPolygon() override;
  void DoPolygon16() override;
  void DoPolyPolyline() override;
  void DoPolyPolyline16() override;
  void DoPolyPolygon() override;
  void DoPolyPolygon16() override;
  void DoPolyBezier() override;
  void DoPolyBezier16() override;
  void DoPolyBezierTo() override;
  void DoPolyBezierTo16() override;
  void DoRectangle() override;
  void DoRoundRect() override;
  void DoEllipse() override;
  void DoArc() override;
  void DoArcTo() override;
  void DoChord() override;
  void DoPie() override;
  void DoAngleArc() override;
  void DoExtTextOutA() override;
  void DoExtTextOutW() override;
  void DoSmallTextOut() override;
  void DoPolyTextOutA() override;
  void DoPolyTextOutW() override;
  void DoSetPixelV() override;
  void DoFillRgn() override;
  void DoPaintRgn() override;
  void DoFrameRgn() override;
  void DoGradientFill() override;
  void DoBitBlt() override;
  void DoStretchBlt() override;
  void DoMaskBlt() override;
  void DoTransparentBlt() override;
  void DoStretchDIBits() override;
  void DoAlphaBlend() override;

 private:
  enum PaintSet { kEnd = 0, kStroke = 2, kFill = 4, kFillStroke = 6 };

  TPDFDeviceContext& Context();
  // One operator line to the stream (CR LF added).
  void Line(QByteArrayView line);
  bool Drawing() const { return frame_ok_; }
  bool InPath() const;

  // --- coordinates ---
  QPointF ToPage(QPointF device) const;
  QPointF PagePoint(QPoint logical) const;
  QByteArray PointText(QPointF page) const;
  double PageLength(double logical) const;
  // The page rectangle of a logical rectangle: left, bottom, right, top.
  ovx::PdfRect PageRect(const QRect& logical) const;
  // The page rectangle of a box the screen outlines: one device pixel
  // less on the right and at the bottom.
  ovx::PdfRect OutlineRect(const QRect& box) const;
  bool AxisAligned() const;
  QByteArray ColorText(quint32 color_ref) const;
  // The fill colour of the selected brush ("r g b").
  QByteArray BrushFill();

  // --- paths ---
  void Move(QPointF page);
  void LineToPage(QPointF page);
  void EnsureCurrentPoint();
  // Drops a pending path of moves only, before a record that starts its
  // own figure.
  void StartFigure();
  void BeginRecord();
  void EndRecord(int set, bool moves_current_position = false);
  int Reduced(int set) const;
  // Who paints: a path record (its stroke leaves gaps clear), a line
  // record (gaps take an opaque background) or a shape record (gaps take
  // a solid brush), as the screen's replay paints them.
  enum class Painter { kPath, kLine, kShape };
  void Paint(int set, Painter painter, bool text_background = false);
  // The pen as the screen draws it: one-pixel lines of whole pixels, or
  // wide ones; widths and dashes in device pixels.
  struct StrokePlan {
    bool pixel = true;
    double width = 1;
    std::vector<double> dashes;
    int cap = 0;
    int join = 0;
  };
  StrokePlan PlanStroke() const;
  // `phase` in device pixels.
  void WriteStrokeState(const StrokePlan& plan, double phase);
  // The dashes of a one-pixel styled line as the platform counts them: one
  // pattern position per pixel step along the line's major axis, not per
  // unit of length, so a slanted line's dashes are longer than along the
  // path. Lines between the centres of the first and last pixel of each
  // dash; nothing when the pending path would take too many.
  std::optional<QByteArray> PixelDashes(const std::vector<double>& dashes) const;
  // The selected brush's hatch or bitmap as a tiling pattern's resource
  // name; nothing for a solid brush (or a pattern too large to tile).
  std::optional<QByteArray> BrushPattern();
  // Fills `path` (operators) with the selected brush: its colour, or its
  // pattern (over the background for an opaque hatch).
  void FillWithBrush(const QByteArray& path, const QByteArray& fill_op);
  void AddPoints(const std::vector<QPoint>& points, bool closed);
  void AddBeziers(const std::vector<QPoint>& points);
  // `r` with y up; `map`, when given, takes its points to the page.
  void AddRoundRect(const ovx::PdfRect& r, double rx, double ry,
                    const std::function<QPointF(QPointF)>& map = {});
  void AddRectangle(const QRect& box);
  // `connect`: a line from the current point to the arc's start, else a
  // move there.
  void AddArc(const ovx::emf::EllipseArc& arc, bool connect);
  // EMR_ARC, EMR_ARCTO, EMR_CHORD or EMR_PIE, the record just read.
  void DrawArc(quint32 type);

  void DrawPoly(const std::vector<QPoint>& points, bool closed, bool to);
  void DrawPolyBezier(const std::vector<QPoint>& points, bool to);
  void DrawPolyPolygon(const std::vector<std::vector<QPoint>>& polygons, bool closed);
  void DrawBox(quint32 type);

  // --- clips and levels ---
  // Writes the context's present clip in place of the one this level
  // opened before.
  void SelectClip();
  void CloseLevels(size_t keep);

  // --- regions and gradients ---
  // Fills device rectangles (relative to the frame) with `brush`, as the
  // selected brush would fill a shape.
  void FillRegion(const std::vector<QRect>& rects, const TEnhMetaObj* brush);
  // A closed polygon of logical points in the colour `color`.
  void FillPolygon(const std::vector<QPointF>& logical, const QByteArray& color);

  // --- text and bitmaps ---
  // One string of a text record.
  struct TextRecord {
    QPoint reference;
    quint32 options = 0;
    QRect clip;
    QString text;
    std::vector<int> advances;  // logical units; empty: the font's own
  };
  void DrawText(const TextRecord& record);
  // `key`: a transparent colour (EMR_TRANSPARENTBLT).
  void DrawBitmap(const TEMRBitmap& record, const QRect& dest, quint32 rop, QRect source,
                  std::optional<quint32> key = std::nullopt);
  // The clip of an image's pixels other than `key`, drawn in `page`; null
  // when there are none, and the whole image when the clip would take
  // more rectangles than a page should carry.
  QByteArray KeyClip(const QImage& image, quint32 key, const ovx::PdfRect& page) const;
  void PlaceImage(const ovx::PdfImage& image, const ovx::PdfRect& r);
  void FillRect(const ovx::PdfRect& r, const QByteArray& color);

  ovx::PdfDocument& document_;
  QByteArray& out_;
  ovx::PdfRect target_;
  TPDFPath path_;
  double sx_ = 0;
  double sy_ = 0;
  bool frame_ok_ = false;
  bool barcode_ = false;
  bool shape_ = false;
  bool transparency_ = false;
  bool pdfa_ = false;
  int jpeg_quality_ = 90;
  int document_quality_ = 95;
  bool playing_ = false;
  // Per context level (the first is the level playing began in): the "q"
  // written for it and not yet closed, the save's own and its clip's.
  std::vector<int> levels_{0};
  int wrapper_depth_ = 0;
  // Pattern brushes' average colours, by record.
  std::unordered_map<const TEnhMetaObj*, QByteArray> pattern_colors_;
  // Pattern brushes' cells (pixels and content), by record; empty for a
  // bitmap too large to tile.
  struct Cell {
    QSize size;
    QByteArray content;
  };
  std::unordered_map<const TEnhMetaObj*, std::optional<Cell>> pattern_cells_;
};
