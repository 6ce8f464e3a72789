// prepare: runs the engine over a report template and shows what it made.
//
// The dump lists every prepared page with its objects at their places on
// the page: a band as an object of its own, followed by the objects it
// carried, moved by the band's position.
#include "base/error.h"
#include "base/json_text.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "engine/report_script.h"
#include "export/export_filter.h"
#include "export/pdf_export.h"
#include "report/model/band.h"
#include "report/model/memo_view.h"
#include "report/model/page.h"
#include "report/model/report.h"
#include "tools/tool_output.h"

#include <QCoreApplication>

#include <charconv>
#include <cstdio>

namespace {

using ovx::tools::Print;

constexpr char kUsage[] =
    "Usage: prepare TEMPLATE [--dump] [--op3 FILE] [--pdf FILE]\n"
    "Loads the report template TEMPLATE (.ov3) and prepares its pages.\n"
    "  --dump      print the prepared pages as JSON: each page's objects with\n"
    "              class, name, left, top, width, height (report units on the\n"
    "              page's printable area) and the text of memos; a band is\n"
    "              listed before the objects it carried\n"
    "  --op3 FILE  save the prepared pages (.op3)\n"
    "  --pdf FILE  export the prepared pages as PDF\n"
    "Without an option it prints the number of pages.\n"
    "\n"
    "Exit status: 0 when pages were prepared, 1 when loading or preparing\n"
    "had errors (they are printed) or a file could not be written, 2 on bad\n"
    "usage.\n";

void Number(QByteArray& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr - buffer);
}

void String(QByteArray& out, const QString& value) { ovx::AppendJsonString(out, value); }

void Object(QByteArray& out, const TovxComponent& object, double dx, double dy, bool& first) {
  if (!first) out += ',';
  first = false;
  out += "{\"class\":";
  String(out, object.GetMetaClass().ClassName());
  out += ",\"name\":";
  String(out, object.Name());
  out += ",\"left\":";
  Number(out, object.Left() + dx);
  out += ",\"top\":";
  Number(out, object.Top() + dy);
  out += ",\"width\":";
  Number(out, object.Width());
  out += ",\"height\":";
  Number(out, object.Height());
  if (const auto* memo = dynamic_cast<const TovxCustomMemoView*>(&object)) {
    out += ",\"text\":";
    String(out, memo->Lines().join(u'\n'));
  }
  out += '}';
}

void Children(QByteArray& out, const TovxComponent& parent, double dx, double dy, bool& first) {
  for (const TovxComponent* child : parent.Objects()) {
    Object(out, *child, dx, dy, first);
    Children(out, *child, dx + child->Left(), dy + child->Top(), first);
  }
}

QByteArray Dump(TovxPreviewPages& pages) {
  QByteArray out = "{\"pages\":[";
  for (int i = 0; i < pages.Count(); ++i) {
    const TovxReportPage* page = pages.GetPage(i);
    if (i > 0) out += ',';
    out += "{\"class\":";
    String(out, page ? page->GetMetaClass().ClassName() : QString());
    out += ",\"name\":";
    String(out, page ? page->Name() : QString());
    if (page) {
      out += ",\"paperWidth\":";
      Number(out, page->PaperWidth());
      out += ",\"paperHeight\":";
      Number(out, page->PaperHeight());
    }
    out += ",\"objects\":[";
    bool first = true;
    if (page) {
      for (const TovxComponent* object : page->Objects()) {
        Object(out, *object, 0, 0, first);
        if (dynamic_cast<const TovxBand*>(object)) {
          Children(out, *object, object->Left(), object->Top(), first);
        }
      }
    }
    out += "]}";
  }
  out += "]}\n";
  return out;
}

}  // namespace

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    Print(stdout, QString::fromLatin1(kUsage));
    return 0;
  }
  QString input;
  QString op3;
  QString pdf;
  bool dump = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == "--dump") {
      dump = true;
    } else if ((arg == "--op3" || arg == "--pdf") && i + 1 < args.size() &&
               !args[i + 1].isEmpty()) {
      (arg == "--op3" ? op3 : pdf) = args[++i];
    } else if (!arg.startsWith(u'-') && input.isEmpty()) {
      input = arg;
    } else {
      Print(stderr, QString::fromLatin1(kUsage));
      return 2;
    }
  }
  if (input.isEmpty()) {
    Print(stderr, QString::fromLatin1(kUsage));
    return 2;
  }
  ovx::InstallScripting();
  TovxReport report;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  if (!report.LoadFromFile(input)) {
    Print(stderr, QStringLiteral("prepare: no such file: %1\n").arg(input));
    return 1;
  }
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  report.EngineOptions().SetEnableThreadSafe(true);
  int status = 0;
  for (const QString& line : report.Errors()) {
    Print(stderr, QStringLiteral("error: ") + line + u'\n');
    status = 1;
  }
  const qsizetype load_errors = report.Errors().size();
  const bool prepared = report.PrepareReport();
  for (qsizetype i = load_errors; i < report.Errors().size(); ++i) {
    Print(stderr, QStringLiteral("error: ") + report.Errors()[i] + u'\n');
  }
  TovxPreviewPages& pages = *ovx::PreparedPages(report);
  if (!prepared) {
    Print(stderr, QStringLiteral("prepare: no pages were prepared\n"));
    status = 1;
  }
  if (dump) {
    const QByteArray out = Dump(pages);
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
  }
  if (!op3.isEmpty()) pages.SaveToFile(op3);
  if (!pdf.isEmpty()) {
    ovx::InstallExport();
    TovxPDFExport filter(nullptr, /*registered=*/false);
    filter.SetShowDialog(false);
    filter.SetFileName(pdf);
    report.ClearErrors();
    if (!pages.Export(filter)) {
      throw ovx::Error(QString(), QStringLiteral("The PDF export failed: %s"),
                       {report.Errors().join(u"; ")});
    }
  }
  if (!dump && op3.isEmpty() && pdf.isEmpty()) {
    Print(stdout, QStringLiteral("%1 pages\n").arg(pages.Count()));
  }
  return status;
}

int main(int argc, char** argv) {
  return ovx::tools::RunMain("prepare", [&] { return Main(argc, argv); });
}
