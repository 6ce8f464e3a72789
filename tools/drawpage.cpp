// drawpage: draws a page of a report template, or one view of it, to a PNG
// image, as the designer and the preview would show it.
#include "base/number_format.h"
#include "base/rounding.h"
#include "base/units.h"
#include "render/painter_canvas.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "report/model/view.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: drawpage TEMPLATE OUTPUT.png [--page N] [--object NAME] [--dpi N]\n"
    "Draws report page N (1 = the first report page; default 1) of a\n"
    "template at N dots per inch (default 96), background picture and\n"
    "every view, to a PNG image. With --object only that view is drawn, on\n"
    "an image just large enough for it.\n"
    "\n"
    "Exit status: 0 on success, 1 when the template or page cannot be used\n"
    "or the image cannot be written, 2 on bad usage.\n";

// Larger images would need gigabytes; no real page comes near.
constexpr int kMaxPixels = 20000;

int Fail(const QString& message) {
  Print(stderr, QStringLiteral("drawpage: ") + message + u'\n');
  return 1;
}

std::vector<TovxView*> ViewsOf(const TovxComponent& root) {
  std::vector<TovxView*> views;
  for (TovxComponent* object : root.AllObjects()) {
    if (auto* view = dynamic_cast<TovxView*>(object)) views.push_back(view);
  }
  return views;
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  QStringList files;
  int page_number = 1;
  int dpi = 96;
  QString object_name;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if ((a == "--page" || a == "--dpi") && i + 1 < args.size()) {
      const auto v = ovx::ParseInt32(args[++i]);
      if (!v || *v < 1 || *v > 4800) {
        Print(stderr, QStringLiteral("drawpage: bad value for %1\n").arg(a));
        return 2;
      }
      (a == "--page" ? page_number : dpi) = *v;
    } else if (a == "--object" && i + 1 < args.size()) {
      object_name = args[++i];
    } else if (a.startsWith(u'-')) {
      Print(stderr, QString::fromLatin1(kUsage));
      return 2;
    } else {
      files << a;
    }
  }
  if (files.size() != 2) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }

  TovxReport report;
  if (!report.LoadFromFile(files[0])) return Fail(QStringLiteral("cannot read %1").arg(files[0]));
  for (const QString& line : report.Errors())
    Print(stderr, QStringLiteral("warning: ") + line + u'\n');
  TovxReportPage* page = nullptr;
  int seen = 0;
  for (TovxComponent* object : report.Objects()) {
    if (auto* p = dynamic_cast<TovxReportPage*>(object); p && ++seen == page_number) page = p;
  }
  if (!page) return Fail(QStringLiteral("the template has no report page %1").arg(page_number));

  const double scale = dpi / 96.0;
  const double margin_x = page->LeftMargin() * ov01cm * scale;
  const double margin_y = page->TopMargin() * ov01cm * scale;
  std::unique_ptr<ovx::PainterCanvas> canvas;
  if (object_name.isEmpty()) {
    const int width = ovx::RoundToInt(page->Width() * scale);
    const int height = ovx::RoundToInt(page->Height() * scale);
    if (width <= 0 || height <= 0 || width > kMaxPixels || height > kMaxPixels)
      return Fail(QStringLiteral("the page is too large or empty to draw"));
    canvas = ovx::PainterCanvas::ForImage(width, height, dpi);
    page->Draw(*canvas, scale, scale, 0, 0);
    for (TovxView* view : ViewsOf(*page)) view->Draw(*canvas, scale, scale, margin_x, margin_y);
  } else {
    auto* view = dynamic_cast<TovxView*>(page->FindObject(object_name));
    if (!view)
      return Fail(QStringLiteral("no view named %1 on page %2").arg(object_name).arg(page_number));
    // A few pixels around the view leave room for frame lines and shadows.
    const int pad = ovx::RoundToInt(8 * scale);
    const int width = ovx::RoundToInt(view->Width() * scale) + 2 * pad;
    const int height = ovx::RoundToInt(view->Height() * scale) + 2 * pad;
    if (width <= 0 || height <= 0 || width > kMaxPixels || height > kMaxPixels)
      return Fail(QStringLiteral("the view is too large or empty to draw"));
    canvas = ovx::PainterCanvas::ForImage(width, height, dpi);
    view->Draw(*canvas, scale, scale, pad - view->AbsLeft() * scale, pad - view->AbsTop() * scale);
  }
  canvas->End();
  ovx::tools::WritePng(*canvas->Image(), files[1]);
  return 0;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("drawpage", [&] { return Main(argc, argv); });
}
