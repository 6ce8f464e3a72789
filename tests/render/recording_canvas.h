// A canvas for tests that writes down what is drawn on it, one line per
// call, so that a test can compare the exact geometry a drawing produced.
#pragma once

#include "render/null_canvas.h"

#include <QString>
#include <QStringList>

namespace ovx::test {

class RecordingCanvas : public NullCanvas {
 public:
  explicit RecordingCanvas(int dpi = 96) : NullCanvas(dpi) {}

  // "LineTo 10,20-10,30" (from the pen position to the end point),
  // "Rectangle 0,0,10,10", "FillRect ...", "RoundRect l,t,r,b cw,ch",
  // "Ellipse ...", "Polygon x,y x,y ...", "Polyline ...",
  // "Text x,y opts 'text' a1,a2,..", "Picture l,t,r,b", "BeginPath",
  // "EndPath", "SelectClipPath"; with `with_state` each line ends in the
  // pen (or brush, font) it was drawn with.
  QStringList calls;
  bool with_state = false;

  void Clear() { calls.clear(); }

  void LineTo(int x, int y) override {
    Add(QStringLiteral("LineTo %1,%2-%3,%4").arg(PenPos().x()).arg(PenPos().y()).arg(x).arg(y),
        PenText());
    NullCanvas::LineTo(x, y);
  }
  void Rectangle(const PixelRect& r) override {
    Add("Rectangle " + RectText(r), PenText() + " " + BrushText());
  }
  void FillRect(const PixelRect& r) override { Add("FillRect " + RectText(r), BrushText()); }
  void RoundRect(const PixelRect& r, int cw, int ch) override {
    Add(QStringLiteral("RoundRect %1 %2,%3").arg(RectText(r)).arg(cw).arg(ch),
        PenText() + " " + BrushText());
  }
  void Ellipse(const PixelRect& r) override {
    Add("Ellipse " + RectText(r), PenText() + " " + BrushText());
  }
  void Polygon(std::span<const QPoint> points) override {
    Add("Polygon " + PointsText(points), PenText() + " " + BrushText());
  }
  void Polyline(std::span<const QPoint> points) override {
    Add("Polyline " + PointsText(points), PenText());
  }
  void BeginPath() override { Add("BeginPath", {}); }
  void EndPath() override { Add("EndPath", {}); }
  void SelectClipPath() override { Add("SelectClipPath", {}); }
  void ExtTextOut(int x, int y, int options, const PixelRect*, QStringView text,
                  std::span<const int> advances) override {
    QStringList a;
    for (int v : advances) a << QString::number(v);
    Add(QStringLiteral("Text %1,%2 %3 '%4' %5")
            .arg(x)
            .arg(y)
            .arg(options)
            .arg(text.toString(), a.join(',')),
        QStringLiteral("font(%1,%2,%3,%4,%5)")
            .arg(Font().name)
            .arg(Font().height)
            .arg(Font().style_bits)
            .arg(Font().color, 0, 16)
            .arg(Font().escapement));
  }
  void StretchDraw(const PixelRect& r, const QImage&, std::optional<Color> t) override {
    Add("Picture " + RectText(r) + (t ? QStringLiteral(" transparent") : QString()), {});
  }

  static QString RectText(const PixelRect& r) {
    return QStringLiteral("%1,%2,%3,%4").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom);
  }

 private:
  void Add(const QString& call, const QString& state) {
    calls << (with_state && !state.isEmpty() ? call + " " + state : call);
  }
  QString PenText() const {
    const CanvasPen& p = Pen();
    QString dashes;
    for (int d : p.dashes) dashes += QString::number(d) + ' ';
    return QStringLiteral("pen(%1,%2,%3%4%5)")
        .arg(p.color, 0, 16)
        .arg(p.width)
        .arg(static_cast<int>(p.style))
        .arg(p.geometric ? QStringLiteral(",geo,cap%1").arg(static_cast<int>(p.cap)) : QString())
        .arg(dashes.isEmpty() ? QString() : ",dash " + dashes.trimmed());
  }
  QString BrushText() const {
    return QStringLiteral("brush(%1,%2)")
        .arg(Brush().color, 0, 16)
        .arg(static_cast<int>(Brush().style));
  }
  static QString PointsText(std::span<const QPoint> points) {
    QStringList out;
    for (const QPoint& p : points) out << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
    return out.join(' ');
  }
};

}  // namespace ovx::test
