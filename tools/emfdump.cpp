// emfdump: shows the records of an enhanced metafile, one line per record
// with the player's state after it; with --png, draws the metafile to a
// PNG image instead, or with --pdf writes it as vectors into a one-page
// PDF file the size of its frame.
//
//   emfdump FILE
//   emfdump FILE --png OUT.png [--scale S]
//   emfdump FILE --pdf OUT.pdf
#include "base/error.h"
#include "base/number_format.h"
#include "base/stream.h"
#include "export/emf_to_pdf.h"
#include "export/pdf_writer.h"
#include "platform/safe_file.h"
#include "render/emf_canvas_player.h"
#include "render/emf_player.h"
#include "render/painter_canvas.h"
#include "tools/tool_output.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: emfdump FILE\n"
    "       emfdump FILE --png OUT.png [--scale S]\n"
    "       emfdump FILE --pdf OUT.pdf\n"
    "Lists the records of an enhanced metafile (\".emf\"), one line per record:\n"
    "its number, offset, fields, and the player's state after it (map mode,\n"
    "current position, selected pen, brush and font, clip, saved states).\n"
    "With --png, draws the metafile at S times its size (default 1, at most\n"
    "16) to a PNG image. With --pdf, writes it as vector content (paths, text\n"
    "in embedded fonts, images) into a one-page PDF file the size of its\n"
    "frame.\n"
    "\n"
    "Exit status: 0 on success, 1 when the file cannot be read, is damaged\n"
    "(the records before the damage are listed) or the image or PDF file\n"
    "cannot be written (an existing file is then left as it was), 2 on bad\n"
    "usage.\n";

// Files beyond this are refused rather than read into memory.
constexpr qint64 kMaxFileBytes = qint64{512} << 20;
// Images beyond this many pixels a side are refused.
constexpr int kMaxPixels = 20000;

QString Region(const std::optional<QRegion>& region) {
  if (!region) return QStringLiteral("none");
  const QRect b = region->boundingRect();
  return QStringLiteral("%1,%2,%3,%4/%5")
      .arg(b.left())
      .arg(b.top())
      .arg(b.left() + b.width())
      .arg(b.top() + b.height())
      .arg(region->rectCount());
}

class Dumper : public TEMFAbstractExport {
 public:
  Dumper(ovx::Stream& input, QString& out) : TEMFAbstractExport(input, nullptr), out_(out) {
    SetDiagnostics(true);
  }

 protected:
  void WriteComment(const QString&) override {
    const TDeviceContext& dc = DeviceContext();
    const TDeviceContextData& d = dc.Data();
    QString pen = QStringLiteral("-");
    if (d.pen) {
      pen = QStringLiteral("%1/%2/%3")
                .arg(dc.PenType())
                .arg(dc.PenWidth())
                .arg(dc.PenColor(), 6, 16, QLatin1Char('0'));
    }
    QString brush = QStringLiteral("-");
    if (d.brush) {
      brush = QStringLiteral("%1/%2")
                  .arg(dc.BrushStyle())
                  .arg(dc.BrushColor(), 6, 16, QLatin1Char('0'));
    }
    QString font = QStringLiteral("-");
    if (d.font) font = QStringLiteral("%1/%2").arg(dc.FontFaceName()).arg(dc.FontSignedHeight());
    const QString state =
        QStringLiteral(
            "map=%1 pos=%2,%3 pen=%4 brush=%5 font=%6 text=%7 bk=%8/%9 clip=%10 "
            "meta=%11 saved=%12%13%14")
            .arg(d.map_mode)
            .arg(d.current_position.x())
            .arg(d.current_position.y())
            .arg(pen, brush, font)
            .arg(d.text_color, 6, 16, QLatin1Char('0'))
            .arg(d.bk_mode)
            .arg(d.bk_color, 6, 16, QLatin1Char('0'))
            .arg(Region(d.clip_region), Region(d.meta_region))
            .arg(SavedContextCount())
            .arg(d.in_path ? QStringLiteral(" path") : QString())
            .arg(dc.IsIdentityTransform() ? QString() : QStringLiteral(" transformed"));
    out_ += QStringLiteral("#%1 @%2 %3\n    %4\n")
                .arg(++count_)
                .arg(RecordOffset())
                .arg(Description(), state);
  }

 private:
  QString& out_;
  int count_ = 0;
};

int Fail(const QString& message) {
  Print(stderr, QStringLiteral("emfdump: ") + message + u'\n');
  return 1;
}

// The frame's size in pixels of the reference device (96 per inch when
// the header's device is unusable); 0 for an empty frame.
QSizeF FramePixels(const QByteArray& bytes) {
  const TEnhMetaHeaderObj header(bytes.left(88));
  const QRect frame = header.Frame();
  double per_mm_x = 96 / 25.4, per_mm_y = 96 / 25.4;
  if (header.Millimeters().width() > 0 && header.Millimeters().height() > 0 &&
      header.Device().width() > 0 && header.Device().height() > 0) {
    per_mm_x = double(header.Device().width()) / header.Millimeters().width();
    per_mm_y = double(header.Device().height()) / header.Millimeters().height();
  }
  const double width = std::round((double(frame.right()) - frame.left()) / 100 * per_mm_x);
  const double height = std::round((double(frame.bottom()) - frame.top()) / 100 * per_mm_y);
  if (!(width >= 1 && height >= 1)) return {};
  return {width, height};
}

int WritePdf(const QByteArray& bytes, const QString& path) {
  const QSizeF pixels = FramePixels(bytes);
  // A page beyond 200 inches is not one PDF readers accept.
  if (pixels.isEmpty() || pixels.width() > 19200 || pixels.height() > 19200)
    return Fail(QStringLiteral("the frame is empty or too large for a page"));
  const double width = 0.75 * pixels.width(), height = 0.75 * pixels.height();
  ovx::SafeFile file(path);
  ovx::PdfDocumentOptions options;
  if (ovx::PdfFixedOutputRequested()) {
    options.fixed_id = ovx::PdfFixedId();
    options.fixed_time = ovx::PdfFixedTime();
  }
  options.title = QFileInfo(path).completeBaseName();
  options.creator = QStringLiteral("emfdump");
  ovx::PdfDocument document(file, options);
  document.Begin();
  document.BeginPage(width, height, 0);
  ovx::MemoryStream input(bytes);
  TEMFtoPDFExport player(input, document, ovx::PdfRect{0, height, width, 0});
  player.Export();
  document.EndPage();
  document.Finish();
  file.Commit();
  if (!player.Damage().isEmpty()) return Fail(player.Damage());
  return 0;
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  if (args.isEmpty() || args[0].startsWith(u'-')) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }
  QString png;
  QString pdf;
  double scale = 1;
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == u"--png" && i + 1 < args.size()) {
      png = args[++i];
    } else if (args[i] == u"--pdf" && i + 1 < args.size()) {
      pdf = args[++i];
    } else if (args[i] == u"--scale" && i + 1 < args.size()) {
      const std::optional<double> value = ovx::ParseFloat(args[++i]);
      if (!value || !(*value > 0) || *value > 16) {
        Print(stderr, QStringLiteral("emfdump: bad value for --scale\n"));
        return 2;
      }
      scale = *value;
    } else {
      Print(stderr, QString::fromLatin1(kUsage));
      return 2;
    }
  }

  const QByteArray bytes = ovx::ReadFileBounded(args[0], kMaxFileBytes, QStringLiteral("metafile"));
  if (bytes.size() < 88 || ovx::internal::LoadU32(bytes, 0) != ovx::emf::kEmrHeader ||
      ovx::internal::LoadU32(bytes, 40) != ovx::emf::kSignature) {
    return Fail(QStringLiteral("%1 is not an enhanced metafile").arg(args[0]));
  }

  if (!png.isEmpty() && !pdf.isEmpty()) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }
  if (!pdf.isEmpty()) return WritePdf(bytes, pdf);

  if (!png.isEmpty()) {
    const QSizeF frame = FramePixels(bytes);
    const double w = std::round(frame.width() * scale), h = std::round(frame.height() * scale);
    if (!(w >= 1 && h >= 1 && w <= kMaxPixels && h <= kMaxPixels))
      return Fail(QStringLiteral("the frame is empty or too large to draw"));
    std::unique_ptr<ovx::PainterCanvas> canvas;
    try {
      canvas =
          ovx::PainterCanvas::ForImage(int(w), int(h), static_cast<int>(std::lround(96 * scale)));
    } catch (const ovx::Error& e) {
      return Fail(e.Message());
    }
    const QString damage = ovx::PlayMetafile(bytes, *canvas, QRectF(0, 0, w, h));
    canvas->End();
    ovx::tools::WritePng(*canvas->Image(), png);
    if (!damage.isEmpty()) return Fail(damage);
    return 0;
  }

  QString out;
  ovx::MemoryStream input(bytes);
  Dumper dumper(input, out);
  QString failure;
  try {
    dumper.Play();
  } catch (const ovx::Error& e) {
    failure = e.Message();
  }
  Print(stdout, out);
  if (failure.isEmpty()) failure = dumper.Damage();
  return failure.isEmpty() ? 0 : Fail(failure);
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("emfdump", [&] { return Main(argc, argv); });
}
