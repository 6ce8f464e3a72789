// The PDF filter over prepared reports: the application's kind of report
// (a cover page and body pages of one-character memos) exported and
// checked with qpdf and poppler where installed, the settings and their
// rules, and the pages compared with the program's own drawing.
#include "export/pdf_export.h"
#include "app/core/command_line.h"
#include "app/core/fixed_data.h"
#include "app/core/print_command.h"
#include "base/error.h"
#include "engine/engine.h"
#include "engine/preview_pages.h"
#include "platform/font_service.h"
#include "render/painter_canvas.h"
#include "report/model/picture.h"
#include "tests/engine/app_report.h"
#include "tests/export/font_test_fonts.h"
#include "tests/export/pdf_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace ovx {
namespace {

const QString kSourceDir = QStringLiteral(VELMORA_SOURCE_DIR);

// The application's template with its title, `body_pages` body pages and
// the body picture on them, prepared.
std::unique_ptr<TovxReport> AppReport(int body_pages) {
  InstallEngine();
  InstallExport();
  FontService::Instance().AddPrivateFont(kSourceDir + QStringLiteral("/app/data/KaitiVelmora.otf"));
  auto report = test::MakeAppReport(
      kSourceDir + QStringLiteral("/tests/data/templates/velmora.ov3"), body_pages);
  for (TovxComponent* child : report->Objects()) {
    auto* page = dynamic_cast<TovxReportPage*>(child);
    if (!page || page->Name() == u"Page1") continue;
    EXPECT_TRUE(
        page->BackPicture().LoadFromFile(kSourceDir + QStringLiteral("/app/data/bg_zw.jpg")));
  }
  EXPECT_TRUE(report->PrepareReport());
  return report;
}

// The application's filter settings.
void AppSettings(TovxPDFExport& filter) {
  filter.SetShowDialog(false);
  filter.SetEmbeddedFonts(true);
  filter.SetBackground(true);
  filter.SetTitle(QStringLiteral("Velmora"));
  filter.SetAuthor(QStringLiteral("Ilmar"));
  filter.SetSubject(QStringLiteral("Velmora"));
  filter.SetProtectionFlags(
      {TovxPDFPermission::ePrint, TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot});
  filter.SetHideToolbar(true);
  filter.SetFixedOutput(true);
}

QByteArray Export(TovxReport& report, TovxPDFExport& filter) {
  MemoryStream out;
  filter.SetStream(&out);
  EXPECT_TRUE(PreparedPages(report)->Export(filter)) << report.Errors().join(u'\n').toStdString();
  filter.SetStream(nullptr);
  return out.Data();
}

TEST(PdfExport, AppReportPassesTheCheckers) {
  auto report = AppReport(2);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  const QByteArray pdf = Export(*report, filter);
  ASSERT_FALSE(pdf.isEmpty());
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("app.pdf"));
  ASSERT_TRUE(test::WriteFile(path, pdf));

  VELMORA_REQUIRE_TOOL(qpdf);
  const test::ToolResult check = test::RunTool(tool_qpdf, {QStringLiteral("--check"), path});
  EXPECT_EQ(check.exit_code, 0) << check.out.constData() << check.err.constData();

  VELMORA_REQUIRE_TOOL(pdffonts);
  const test::ToolResult fonts = test::RunTool(tool_pdffonts, {path});
  ASSERT_EQ(fonts.exit_code, 0);
  const QList<QByteArray> rows = fonts.out.split('\n');
  int listed = 0;
  for (const QByteArray& row : rows.mid(2)) {
    if (row.trimmed().isEmpty()) continue;
    ++listed;
    // Name with its subset tag; embedded, subset, with a ToUnicode map.
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")).match(QString::fromUtf8(row)).hasMatch())
        << row.constData();
    EXPECT_TRUE(row.contains(" yes yes yes ")) << row.constData();
  }
  EXPECT_GE(listed, 1);

  VELMORA_REQUIRE_TOOL(pdfimages);
  const test::ToolResult images = test::RunTool(tool_pdfimages, {QStringLiteral("-list"), path});
  ASSERT_EQ(images.exit_code, 0);
  // One image per body page, all the same object: the background is stored
  // once.
  QSet<QByteArray> objects;
  int uses = 0;
  for (const QByteArray& row : images.out.split('\n').mid(2)) {
    const QList<QByteArray> cells = row.simplified().split(' ');
    if (cells.size() < 12) continue;
    ++uses;
    objects.insert(cells[10]);
  }
  EXPECT_EQ(uses, 2);
  EXPECT_EQ(objects.size(), 1);
}

TEST(PdfExport, PagesAndTheirSizes) {
  VELMORA_REQUIRE_TOOL(pdfinfo);
  auto report = AppReport(2);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  filter.SetPageNumbers(QStringLiteral("1,3"));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("range.pdf"));
  ASSERT_TRUE(test::WriteFile(path, Export(*report, filter)));
  const test::ToolResult info = test::RunTool(tool_pdfinfo, {path});
  EXPECT_TRUE(info.out.contains("Pages:           2")) << info.out.constData();
  EXPECT_TRUE(info.out.contains("Page size:       420.75 x 297.75 pts")) << info.out.constData();
}

TEST(PdfExport, TwoRunsWithFixedOutputWriteTheSameBytes) {
  auto report = AppReport(1);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  const QByteArray first = Export(*report, filter);
  EXPECT_EQ(Export(*report, filter), first);
}

TEST(PdfExport, BackgroundSettingDecidesOverThePageBackground) {
  auto report = AppReport(1);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  EXPECT_TRUE(Export(*report, filter).contains("/Subtype /Image"));
  filter.SetBackground(false);
  EXPECT_FALSE(Export(*report, filter).contains("/Subtype /Image"));
}

TEST(PdfExport, ProtectedFileDecryptsToTheSamePages) {
  VELMORA_REQUIRE_TOOL(qpdf);
  VELMORA_REQUIRE_TOOL(pdftoppm);
  auto report = AppReport(1);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  QTemporaryDir dir;
  const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
  ASSERT_TRUE(test::WriteFile(plain, Export(*report, filter)));
  filter.SetOwnerPassword(QStringLiteral("owner"));
  const QString secret = dir.filePath(QStringLiteral("secret.pdf"));
  ASSERT_TRUE(test::WriteFile(secret, Export(*report, filter)));

  const test::ToolResult shown =
      test::RunTool(tool_qpdf, {QStringLiteral("--show-encryption"), secret});
  EXPECT_TRUE(shown.out.contains("R = 3\nP = -12\n")) << shown.out.constData();
  const QString decrypted = dir.filePath(QStringLiteral("decrypted.pdf"));
  ASSERT_EQ(test::RunTool(tool_qpdf, {QStringLiteral("--decrypt"),
                                      QStringLiteral("--password=owner"), secret, decrypted})
                .exit_code,
            0);
  for (const QString& file : {plain, decrypted}) {
    const QString prefix = file + QStringLiteral(".page");
    ASSERT_EQ(
        test::RunTool(tool_pdftoppm, {QStringLiteral("-r"), QStringLiteral("48"), file, prefix})
            .exit_code,
        0);
  }
  int pages = 0;
  for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("plain.pdf.page*")})) {
    QFile a(dir.filePath(name));
    QFile b(
        dir.filePath(QString(name).replace(QStringLiteral("plain"), QStringLiteral("decrypted"))));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << name.toStdString();
    EXPECT_EQ(a.readAll(), b.readAll()) << name.toStdString();
    ++pages;
  }
  EXPECT_EQ(pages, 2);
}

TEST(PdfExport, PdfAOutputClaimsLevelBAndLeavesOutWhatItForbids) {
  auto report = AppReport(1);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  filter.SetPDFStandard(TPDFStandard::psPDFA_1a);
  filter.SetOwnerPassword(QStringLiteral("owner"));
  filter.SetTransparency(true);
  const QByteArray pdf = Export(*report, filter);
  EXPECT_TRUE(pdf.startsWith("%PDF-1.4"));
  EXPECT_FALSE(pdf.contains("/Encrypt"));
  EXPECT_FALSE(pdf.contains("/Group"));
  EXPECT_TRUE(pdf.contains("<pdfaid:part>1</pdfaid:part>"));
  EXPECT_TRUE(pdf.contains("<pdfaid:conformance>B</pdfaid:conformance>"));
  EXPECT_TRUE(pdf.contains("/Type /OutputIntent"));

  VELMORA_REQUIRE_TOOL(qpdf);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("pdfa.pdf"));
  ASSERT_TRUE(test::WriteFile(path, pdf));
  EXPECT_EQ(test::RunTool(tool_qpdf, {QStringLiteral("--check"), path}).exit_code, 0);
}

// The objects of a PDF file as qpdf reads them (JSON version 2, streams
// decoded), for checks that walk the whole file.
struct PdfObjects {
  QJsonObject objects;  // "obj:N 0 R" -> {"value": ...} or {"stream": {...}}
  QJsonObject trailer;

  QJsonValue Resolve(const QJsonValue& value) const {
    if (!value.isString() || !value.toString().endsWith(QStringLiteral(" R"))) return value;
    const QJsonObject object = objects.value(QStringLiteral("obj:") + value.toString()).toObject();
    if (object.contains(QStringLiteral("value"))) return object.value(QStringLiteral("value"));
    return object.value(QStringLiteral("stream"));
  }
  // A stream's dictionary, or the value itself when it is a dictionary.
  static QJsonObject Dict(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (object.contains(QStringLiteral("dict")) && object.contains(QStringLiteral("data"))) {
      return object.value(QStringLiteral("dict")).toObject();
    }
    return object;
  }
  static QByteArray Data(const QJsonValue& stream) {
    return QByteArray::fromBase64(
        stream.toObject().value(QStringLiteral("data")).toString().toLatin1());
  }
  // Every dictionary of the file (stream dictionaries included), nested
  // ones too.
  std::vector<QJsonObject> Dictionaries() const {
    std::vector<QJsonObject> all;
    std::function<void(const QJsonValue&)> walk = [&](const QJsonValue& value) {
      if (value.isArray()) {
        for (const QJsonValue& item : value.toArray()) walk(item);
      } else if (value.isObject()) {
        all.push_back(value.toObject());
        for (const QJsonValue& item : value.toObject()) walk(item);
      }
    };
    for (const QJsonValue& object : objects) {
      const QJsonObject o = object.toObject();
      walk(o.contains(QStringLiteral("value")) ? o.value(QStringLiteral("value"))
                                               : Dict(o.value(QStringLiteral("stream"))));
    }
    return all;
  }
};

std::optional<PdfObjects> ReadPdfObjects(const QString& qpdf, const QString& path) {
  const test::ToolResult result =
      test::RunTool(qpdf, {QStringLiteral("--json=2"), QStringLiteral("--json-key=qpdf"),
                           QStringLiteral("--json-stream-data=inline"),
                           QStringLiteral("--decode-level=generalized"), path});
  if (result.exit_code != 0) return std::nullopt;
  const QJsonArray parts =
      QJsonDocument::fromJson(result.out).object().value(QStringLiteral("qpdf")).toArray();
  if (parts.size() < 2) return std::nullopt;
  PdfObjects pdf;
  pdf.objects = parts[1].toObject();
  pdf.trailer = pdf.objects.value(QStringLiteral("trailer"))
                    .toObject()
                    .value(QStringLiteral("value"))
                    .toObject();
  return pdf;
}

// qpdf's text form of a string ("u:" and the text).
QString PdfText(const QJsonValue& value) {
  const QString text = value.toString();
  return text.startsWith(QStringLiteral("u:")) ? text.mid(2) : QStringLiteral("(not text) ") + text;
}

// The text of the first element `name` of the XMP packet (inside an
// rdf:Alt or rdf:Seq: its first rdf:li).
QString XmpValue(const QByteArray& xmp, const QString& name) {
  QXmlStreamReader reader(xmp);
  while (!reader.atEnd()) {
    if (reader.readNext() == QXmlStreamReader::StartElement && reader.qualifiedName() == name) {
      QString text;
      int depth = 1;
      while (depth > 0 && !reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) ++depth;
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token == QXmlStreamReader::Characters) text += reader.text();
      }
      return text.trimmed();
    }
  }
  return QStringLiteral("(missing)");
}

// "D:20000101000000+00'00'" as the XMP date "2000-01-01T00:00:00+00:00".
QString XmpDateOf(const QString& pdf_date) {
  const QString d = pdf_date.mid(2);
  return d.mid(0, 4) + u'-' + d.mid(4, 2) + u'-' + d.mid(6, 2) + u'T' + d.mid(8, 2) + u':' +
         d.mid(10, 2) + u':' + d.mid(12, 2) + d.mid(14, 3) + u':' + d.mid(18, 2);
}

// The checks of PDF/A-1b that run here, on the objects of the file:
// every font embedded with a CIDSet that holds every code the pages show,
// nothing transparent, the XMP identification equal to the document
// information, an sRGB output intent, no encryption. Gives the faults.
QStringList PdfA1bFaults(const PdfObjects& pdf) {
  QStringList faults;
  if (pdf.trailer.contains(QStringLiteral("/Encrypt"))) faults << QStringLiteral("encrypted");
  if (!pdf.trailer.contains(QStringLiteral("/ID"))) faults << QStringLiteral("no /ID");
  int fonts = 0;
  for (const QJsonObject& dict : pdf.Dictionaries()) {
    if (dict.contains(QStringLiteral("/SMask")) &&
        dict.value(QStringLiteral("/SMask")) != QJsonValue(QStringLiteral("/None"))) {
      faults << QStringLiteral("soft mask");
    }
    if (dict.value(QStringLiteral("/S")) == QJsonValue(QStringLiteral("/Transparency"))) {
      faults << QStringLiteral("transparency group");
    }
    for (const char* alpha : {"/CA", "/ca"}) {
      if (dict.contains(QLatin1String(alpha)) && dict.value(QLatin1String(alpha)).toDouble() != 1.0)
        faults << QStringLiteral("constant alpha");
    }
    if (dict.value(QStringLiteral("/Subtype")) == QJsonValue(QStringLiteral("/Type0"))) {
      ++fonts;
      const QJsonArray descendants =
          pdf.Resolve(dict.value(QStringLiteral("/DescendantFonts"))).toArray();
      if (descendants.size() != 1) {
        faults << QStringLiteral("Type0 font without one descendant");
        continue;
      }
      const QJsonObject cid_font = PdfObjects::Dict(pdf.Resolve(descendants[0]));
      const QJsonObject descriptor =
          PdfObjects::Dict(pdf.Resolve(cid_font.value(QStringLiteral("/FontDescriptor"))));
      if (!descriptor.contains(QStringLiteral("/FontFile2")) &&
          !descriptor.contains(QStringLiteral("/FontFile3"))) {
        faults << QStringLiteral("font not embedded");
      }
      const QJsonValue cid_set = pdf.Resolve(descriptor.value(QStringLiteral("/CIDSet")));
      const QByteArray bits = PdfObjects::Data(cid_set);
      if (bits.isEmpty()) {
        faults << QStringLiteral("font without /CIDSet");
        continue;
      }
      const auto has = [&bits](int cid) {
        return cid / 8 < bits.size() && (uchar(bits[cid / 8]) & (0x80 >> (cid % 8))) != 0;
      };
      if (!has(0)) faults << QStringLiteral("/CIDSet lacks .notdef");
      // /W: code [widths...] runs; every code shown has a width.
      const QJsonArray widths = pdf.Resolve(cid_font.value(QStringLiteral("/W"))).toArray();
      for (qsizetype i = 0; i + 1 < widths.size(); i += 2) {
        const int first = widths[i].toInt();
        const qsizetype count = pdf.Resolve(widths[i + 1]).toArray().size();
        for (int cid = first; cid < first + count; ++cid) {
          if (!has(cid)) faults << QStringLiteral("/CIDSet lacks CID %1").arg(cid);
        }
      }
    }
  }
  if (fonts == 0) faults << QStringLiteral("no fonts to check");

  const QJsonObject catalog =
      PdfObjects::Dict(pdf.Resolve(pdf.trailer.value(QStringLiteral("/Root"))));
  const QJsonArray intents = pdf.Resolve(catalog.value(QStringLiteral("/OutputIntents"))).toArray();
  bool srgb_intent = false;
  for (const QJsonValue& intent : intents) {
    const QJsonObject dict = PdfObjects::Dict(pdf.Resolve(intent));
    const QJsonObject profile =
        PdfObjects::Dict(pdf.Resolve(dict.value(QStringLiteral("/DestOutputProfile"))));
    srgb_intent = srgb_intent ||
                  (dict.value(QStringLiteral("/S")) == QJsonValue(QStringLiteral("/GTS_PDFA1")) &&
                   profile.value(QStringLiteral("/N")).toInt() == 3);
  }
  if (!srgb_intent) faults << QStringLiteral("no sRGB output intent");

  const QJsonValue metadata = pdf.Resolve(catalog.value(QStringLiteral("/Metadata")));
  if (PdfObjects::Dict(metadata).contains(QStringLiteral("/Filter")))
    faults << QStringLiteral("filtered metadata");
  const QByteArray xmp = PdfObjects::Data(metadata);
  const QJsonObject info =
      PdfObjects::Dict(pdf.Resolve(pdf.trailer.value(QStringLiteral("/Info"))));
  const struct {
    const char* info;
    const char* xmp;
  } pairs[] = {{"/Title", "dc:title"},          {"/Author", "dc:creator"},
               {"/Subject", "dc:description"},  {"/Keywords", "pdf:Keywords"},
               {"/Creator", "xmp:CreatorTool"}, {"/Producer", "pdf:Producer"}};
  for (const auto& pair : pairs) {
    if (!info.contains(QLatin1String(pair.info))) continue;
    const QString in_info = PdfText(info.value(QLatin1String(pair.info)));
    const QString in_xmp = XmpValue(xmp, QLatin1String(pair.xmp));
    if (in_info != in_xmp) {
      faults << QStringLiteral("%1 \"%2\" but %3 \"%4\"")
                    .arg(QLatin1String(pair.info), in_info, QLatin1String(pair.xmp), in_xmp);
    }
  }
  for (const auto& [key, name] :
       {std::pair{"/CreationDate", "xmp:CreateDate"}, std::pair{"/ModDate", "xmp:ModifyDate"}}) {
    const QString date = XmpDateOf(PdfText(info.value(QLatin1String(key))));
    if (date != XmpValue(xmp, QLatin1String(name))) faults << QStringLiteral("%1 differs").arg(key);
  }
  if (XmpValue(xmp, QStringLiteral("pdfaid:part")) != u"1" ||
      XmpValue(xmp, QStringLiteral("pdfaid:conformance")) != u"B") {
    faults << QStringLiteral("no PDF/A-1b identification");
  }
  return faults;
}

TEST(PdfExport, PdfA1bFilePassesTheChecksThatRunHere) {
  VELMORA_REQUIRE_TOOL(qpdf);
  auto report = AppReport(2);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  filter.SetKeywords(QStringLiteral("\u7ad6\u6392 (vertical)"));
  filter.SetPDFStandard(TPDFStandard::psPDFA_1b);
  const QByteArray pdf = Export(*report, filter);
  EXPECT_TRUE(pdf.startsWith("%PDF-1.4\r\n"));
  EXPECT_TRUE(report->Errors().isEmpty()) << report->Errors().join(u'\n').toStdString();

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("pdfa1b.pdf"));
  ASSERT_TRUE(test::WriteFile(path, pdf));
  const test::ToolResult check = test::RunTool(tool_qpdf, {QStringLiteral("--check"), path});
  EXPECT_EQ(check.exit_code, 0) << check.out.toStdString() << check.err.toStdString();
  const std::optional<PdfObjects> objects = ReadPdfObjects(tool_qpdf, path);
  ASSERT_TRUE(objects.has_value());
  EXPECT_EQ(PdfA1bFaults(*objects), QStringList());
}

TEST(PdfExport, OutlineItemsOfExportedPagesBecomeBookmarks) {
  auto report = AppReport(2);
  TovxPreviewPages& pages = *PreparedPages(*report);
  TovxOutline& outline = pages.Outline();
  pages.SetCurPage(1);
  outline.LevelRoot();
  outline.AddItem(QStringLiteral("Chapter (one)"), 10);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  filter.SetOutline(true);
  const QByteArray pdf = Export(*report, filter);
  EXPECT_TRUE(pdf.contains("/PageMode /UseOutlines"));
  EXPECT_TRUE(pdf.contains("/Type /Outlines\r\n/Count 1\r\n"));
  EXPECT_TRUE(pdf.contains(QByteArray("\x00\\(\x00o", 5)));  // the title, escaped

  // Not exported, not listed.
  filter.SetPageNumbers(QStringLiteral("1"));
  EXPECT_FALSE(Export(*report, filter).contains("/Type /Outlines"));
}

// A font whose file is damaged in a way the export survives: the file is
// written, and the report's error list says so once for the font, however
// many texts used it.
TEST(PdfExport, AFontWrittenDespiteADamagedTableIsReportedOnce) {
  InstallEngine();
  InstallExport();
  QTemporaryDir dir;
  test::TestFontSpec spec;
  spec.family = QStringLiteral("Velmora Damaged");
  spec.cmap = {{U'A', 1}, {U'B', 2}, {U'C', 3}};
  const QString font_path = dir.filePath(QStringLiteral("damaged.ttf"));
  ASSERT_TRUE(test::WriteFile(font_path, test::WithBadChecksum(test::BuildTestFont(spec), "glyf")));
  ASSERT_TRUE(FontService::Instance().AddPrivateFont(font_path));
  struct Unregister {
    QString path;
    ~Unregister() { FontService::Instance().RemovePrivateFont(path); }
  } unregister{font_path};

  TovxReport report;
  report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
  auto* page = new TovxReportPage(&report);
  page->SetName(QStringLiteral("Page1"));
  const QStringList texts = {QStringLiteral("ABC"), QStringLiteral("CAB"), QStringLiteral("BCA")};
  for (qsizetype i = 0; i < texts.size(); ++i) {
    auto* memo = new TovxMemoView(page);
    memo->SetName(QStringLiteral("Memo%1").arg(i + 1));
    memo->SetBounds(20, 20 + 40 * double(i), 200, 30);
    memo->Font().SetName(spec.family);
    memo->SetText(texts[i]);
  }
  ASSERT_TRUE(report.PrepareReport());
  TovxPDFExport filter(nullptr, false);
  filter.SetShowDialog(false);
  filter.SetEmbeddedFonts(true);
  const QByteArray pdf = Export(report, filter);
  EXPECT_TRUE(pdf.startsWith("%PDF-"));
  QStringList about_font;
  for (const QString& line : report.Errors()) {
    if (line.contains(spec.family)) about_font << line;
  }
  ASSERT_EQ(about_font.size(), 1) << report.Errors().join(u'\n').toStdString();
  EXPECT_TRUE(about_font[0].contains(u"\"glyf\" checksum")) << about_font[0].toStdString();
  EXPECT_TRUE(about_font[0].contains(font_path)) << about_font[0].toStdString();
}

TEST(PdfExport, PreparedReportFilesExport) {
  InstallEngine();
  InstallExport();
  for (const QString& name : QDir(kSourceDir + QStringLiteral("/fuzz/corpus/op3"))
                                 .entryList({QStringLiteral("*.op3")}, QDir::Files)) {
    TovxReport report;
    report.EngineOptions().SetNewSilentMode(TovxSilentMode::simSilent);
    TovxPreviewPages& pages = *PreparedPages(report);
    ASSERT_TRUE(pages.LoadFromFile(kSourceDir + QStringLiteral("/fuzz/corpus/op3/") + name))
        << name.toStdString();
    TovxPDFExport filter(nullptr, false);
    AppSettings(filter);
    const QByteArray pdf = Export(report, filter);
    EXPECT_EQ(pdf.count("/Type /Page\r\n"), pages.Count()) << name.toStdString();

    const QString qpdf = test::Tool(QStringLiteral("qpdf"));
    if (qpdf.isEmpty()) continue;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("op3.pdf"));
    ASSERT_TRUE(test::WriteFile(path, pdf));
    EXPECT_EQ(test::RunTool(qpdf, {QStringLiteral("--check"), path}).exit_code, 0)
        << name.toStdString();
  }
}

TEST(PdfExport, WithoutFileNameOrStreamNothingStarts) {
  TovxPDFExport filter(nullptr, false);
  EXPECT_FALSE(filter.Start());
}

// The image at half size, each pixel the mean of a 2 x 2 block: glyph edges
// antialiased by two different rasterisers (and JPEG ringing around thin
// lines) average out, while anything out of place by a pixel or more still
// shows.
QImage HalfSize(const QImage& image) {
  const QImage in = image.convertToFormat(QImage::Format_RGB32);
  QImage out(in.width() / 2, in.height() / 2, QImage::Format_RGB32);
  for (int y = 0; y < out.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(in.constScanLine(2 * y));
    const auto* b = reinterpret_cast<const QRgb*>(in.constScanLine(2 * y + 1));
    auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p[4] = {a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]};
      int r = 0, g = 0, bl = 0;
      for (const QRgb c : p) {
        r += qRed(c);
        g += qGreen(c);
        bl += qBlue(c);
      }
      o[x] = qRgb(r / 4, g / 4, bl / 4);
    }
  }
  return out;
}

// Per mille of pixels whose channels differ by more than `tolerance`.
int DifferingPermille(const QImage& a, const QImage& b, int tolerance) {
  const QImage x = HalfSize(a);
  const QImage y = HalfSize(b);
  if (x.size() != y.size()) return 1000;
  qint64 bad = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) {
      if (std::abs(qRed(p[col]) - qRed(q[col])) > tolerance ||
          std::abs(qGreen(p[col]) - qGreen(q[col])) > tolerance ||
          std::abs(qBlue(p[col]) - qBlue(q[col])) > tolerance) {
        ++bad;
      }
    }
  }
  return static_cast<int>(bad * 1000 / (qint64(x.width()) * x.height()));
}

TEST(PdfExport, PagesLookLikeTheProgramsOwnDrawing) {
  VELMORA_REQUIRE_TOOL(pdftoppm);
  auto report = AppReport(1);
  TovxPDFExport filter(nullptr, false);
  AppSettings(filter);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("app.pdf"));
  ASSERT_TRUE(test::WriteFile(path, Export(*report, filter)));
  TovxPreviewPages& pages = *PreparedPages(*report);
  for (int index = 0; index < pages.Count(); ++index) {
    const QSize size = pages.GetPageSize(index);
    auto canvas = PainterCanvas::ForImage(size.width(), size.height());
    pages.DrawPage(index, *canvas, 1, 1, 0, 0);
    canvas->End();
    const QString prefix = dir.filePath(QStringLiteral("page"));
    const QString page = QString::number(index + 1);
    const test::ToolResult rendered = test::RunTool(
        tool_pdftoppm, {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), page,
                        QStringLiteral("-l"), page, QStringLiteral("-png"),
                        QStringLiteral("-singlefile"), path, prefix});
    ASSERT_EQ(rendered.exit_code, 0) << rendered.err.constData();
    const QImage pdf_page(prefix + QStringLiteral(".png"));
    ASSERT_EQ(pdf_page.size(), size) << index;
    // The PDF places glyphs where the layout puts them at 600 dpi, the
    // screen rounds each place to its pixels: measured about 30 per mille
    // on a body page. The screen's own drawing moved by one pixel differs
    // by about 52, by two pixels about 90.
    EXPECT_LE(DifferingPermille(*canvas->Image(), pdf_page, 64), 42) << "page " << index;
  }
}

// --- the program ------------------------------------------------------------------------------

// The body text as the pages should give it back: punctuation removed as
// the window's option does, no line-break letters, the rare characters
// instead of the signs that stand for them, no blanks.
QString ExpectedBodyText() {
  QString text = app::RemovePunctuation(app::BodyTextLines().join(QString()));
  text.remove(u'x');
  for (const app::RareCharacter& rare : app::kRareCharacters) {
    text.replace(QChar(rare.sign), QChar(rare.real));
  }
  text.remove(QRegularExpression(QStringLiteral("\\s")));
  return text;
}

TEST(PdfExportProgram, VelmoraPdfWritesTheBookForReadersAndCheckers) {
  VELMORA_REQUIRE_TOOL(qpdf);
  VELMORA_REQUIRE_TOOL(pdfinfo);
  VELMORA_REQUIRE_TOOL(pdffonts);
  VELMORA_REQUIRE_TOOL(pdftotext);
  VELMORA_REQUIRE_TOOL(pdfimages);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("velmora.pdf"));
  app::PrintSettings defaults = app::DefaultPrintSettings();
  defaults.data_directory = kSourceDir + QStringLiteral("/app/data");
  const app::CommandLine command = app::ParseCommandLine({QStringLiteral("--pdf"), path}, defaults);
  QByteArray out;
  QByteArray err;
  ASSERT_EQ(app::RunCommandLine(command, out, err), 0) << err.constData();

  EXPECT_EQ(test::RunTool(tool_qpdf, {QStringLiteral("--check"), path}).exit_code, 0);

  const QString info = QString::fromUtf8(test::RunTool(tool_pdfinfo, {path}).out);
  auto field = [&](const QString& name) {
    return QRegularExpression(u'^' + name + QStringLiteral(":\\s+(.*)$"),
                              QRegularExpression::MultilineOption)
        .match(info)
        .captured(1);
  };
  EXPECT_EQ(field(QStringLiteral("Title")), u"Velmora");
  EXPECT_EQ(field(QStringLiteral("Author")), u"Ilmar");
  EXPECT_EQ(field(QStringLiteral("Subject")), u"Velmora");
  EXPECT_TRUE(field(QStringLiteral("Page size")).startsWith(u"420.75 x 297.75 pts"));
  const int pages = field(QStringLiteral("Pages")).toInt();
  EXPECT_GT(pages, 30);

  // Every font embedded, as a subset, with a ToUnicode map.
  const QList<QByteArray> fonts = test::RunTool(tool_pdffonts, {path}).out.split('\n');
  for (const QByteArray& row : fonts.mid(2)) {
    if (row.trimmed().isEmpty()) continue;
    EXPECT_TRUE(row.contains(" yes yes yes ")) << row.constData();
  }

  // The cover gives the title; the body pages give the text back in
  // reading order (each column top to bottom, columns right to left,
  // pages in order) once the page numbers are left out.
  const QString text = QString::fromUtf8(
      test::RunTool(tool_pdftotext, {QStringLiteral("-raw"), path, QStringLiteral("-")}).out);
  QStringList page_texts = text.split(u'\f');
  ASSERT_GE(page_texts.size(), pages);
  EXPECT_EQ(page_texts[0].remove(QRegularExpression(QStringLiteral("\\s"))),
            app::TitleLines().join(QString()));
  QString body;
  for (int i = 1; i < pages; ++i) {
    body += page_texts[i].remove(QRegularExpression(QStringLiteral("[\\s0-9]")));
  }
  EXPECT_EQ(body, ExpectedBodyText());

  // Two pictures: the cover's and the body's, each stored once.
  QSet<QByteArray> objects;
  int uses = 0;
  for (const QByteArray& row :
       test::RunTool(tool_pdfimages, {QStringLiteral("-list"), path}).out.split('\n').mid(2)) {
    const QList<QByteArray> cells = row.simplified().split(' ');
    if (cells.size() < 12) continue;
    ++uses;
    objects.insert(cells[10]);
  }
  EXPECT_EQ(uses, pages);
  EXPECT_EQ(objects.size(), 2);
}

TEST(PdfExportProgram, PdfOptionsOfTheCommandLine) {
  const app::PrintSettings defaults;
  const app::CommandLine command = app::ParseCommandLine(
      {QStringLiteral("--pdf=out.pdf"), QStringLiteral("--pdf-password"), QStringLiteral("own"),
       QStringLiteral("--pdf-user-password"), QStringLiteral("user")},
      defaults);
  EXPECT_EQ(command.pdf_file, u"out.pdf");
  EXPECT_EQ(command.pdf_owner_password, u"own");
  EXPECT_EQ(command.pdf_user_password, u"user");
  for (const QStringList& bad :
       {QStringList{QStringLiteral("--pdf")}, QStringList{QStringLiteral("--pdf"), QString()},
        QStringList{QStringLiteral("--pdf-password")}}) {
    EXPECT_THROW(app::ParseCommandLine(bad, defaults), Error) << bad.join(u' ').toStdString();
  }
  EXPECT_TRUE(app::HelpText().contains(u"--pdf FILE"));
}

TEST(PdfExportProgram, AFileThatCannotBeWrittenFailsWithAMessage) {
  app::PrintSettings defaults = app::DefaultPrintSettings();
  defaults.data_directory = kSourceDir + QStringLiteral("/app/data");
  const app::CommandLine command = app::ParseCommandLine(
      {QStringLiteral("--pdf"), QStringLiteral("/nonexistent-folder/out.pdf")}, defaults);
  QByteArray out;
  QByteArray err;
  EXPECT_EQ(app::RunCommandLine(command, out, err), 1);
  EXPECT_TRUE(err.contains("PDF export failed")) << err.constData();
}

// The program's own private font, damaged as above: the book is still
// written and the run succeeds, with the problem on stderr.
TEST(PdfExportProgram, AFontWarningGoesToStderrAndTheRunSucceeds) {
  const QString original_data = kSourceDir + QStringLiteral("/app/data");
  const QString original_font = original_data + QStringLiteral("/KaitiVelmora.otf");
  QTemporaryDir dir;
  const QString data = dir.filePath(QStringLiteral("data"));
  ASSERT_TRUE(QDir().mkpath(data));
  for (const QFileInfo& file : QDir(original_data).entryInfoList(QDir::Files)) {
    ASSERT_TRUE(QFile::copy(file.filePath(), data + u'/' + file.fileName()));
  }
  QFile font(original_font);
  ASSERT_TRUE(font.open(QIODevice::ReadOnly));
  const QString damaged = data + QStringLiteral("/KaitiVelmora.otf");
  QFile::remove(damaged);
  ASSERT_TRUE(test::WriteFile(damaged, test::WithBadChecksum(font.readAll(), "glyf")));
  // Only the damaged copy may serve the family in this process.
  FontService::Instance().RemovePrivateFont(original_font);

  app::PrintSettings defaults = app::DefaultPrintSettings();
  defaults.data_directory = data;
  const QString path = dir.filePath(QStringLiteral("velmora.pdf"));
  const app::CommandLine command = app::ParseCommandLine({QStringLiteral("--pdf"), path}, defaults);
  QByteArray out;
  QByteArray err;
  EXPECT_EQ(app::RunCommandLine(command, out, err), 0) << err.constData();
  QList<QByteArray> warnings;
  for (const QByteArray& line : err.split('\n')) {
    if (line.startsWith("velmora: warning: ")) warnings << line;
  }
  ASSERT_EQ(warnings.size(), 1) << err.constData();
  EXPECT_TRUE(warnings[0].contains("\"glyf\" checksum")) << err.constData();
  EXPECT_TRUE(err.contains("exported")) << err.constData();
  EXPECT_TRUE(QFileInfo(path).size() > 0);
}

// --- settings -----------------------------------------------------------------------------

TEST(PdfExportSettings, DefaultsOfANewFilter) {
  TovxPDFExport filter(nullptr, false);
  EXPECT_TRUE(filter.Compressed());
  EXPECT_FALSE(filter.EmbeddedFonts());
  EXPECT_TRUE(filter.EmbedFontsIfProtected());
  EXPECT_EQ(filter.Quality(), 95);
  EXPECT_EQ(filter.Author(), u"Orvane");
  EXPECT_EQ(filter.Subject(), u"Orvane PDF export");
  EXPECT_FALSE(filter.Creator().isEmpty());
  EXPECT_EQ(filter.Permissions(), -4);
  EXPECT_EQ(filter.PDFStandard(), TPDFStandard::psNone);
  EXPECT_EQ(filter.PDFVersion(), TPDFVersion::pv17);
  EXPECT_EQ(filter.DefaultExt(), u".pdf");
  EXPECT_EQ(filter.FilterDesc(), u"Adobe PDF \u6587\u4EF6 (*.pdf)|*.pdf");
  EXPECT_EQ(filter.GetDescription(), u"PDF \u6587\u4EF6");
}

TEST(PdfExportSettings, StandardsForceTheirVersionFontsAndTransparency) {
  struct Case {
    TPDFStandard standard;
    TPDFVersion version;
    bool transparency;
  } cases[] = {
      {TPDFStandard::psPDFA_1a, TPDFVersion::pv14, false},
      {TPDFStandard::psPDFA_1b, TPDFVersion::pv14, false},
      {TPDFStandard::psPDFA_2a, TPDFVersion::pv17, true},
      {TPDFStandard::psPDFA_2b, TPDFVersion::pv17, true},
      {TPDFStandard::psPDFA_3b, TPDFVersion::pv17, true},
  };
  for (const Case& c : cases) {
    TovxPDFExport filter(nullptr, false);
    filter.SetPDFVersion(TPDFVersion::pv15);
    filter.SetTransparency(true);
    filter.SetUserPassword(QStringLiteral("u"));
    filter.SetPDFStandard(c.standard);
    EXPECT_EQ(filter.PDFVersion(), c.version);
    EXPECT_TRUE(filter.EmbeddedFonts());
    EXPECT_TRUE(filter.PdfA());
    EXPECT_EQ(filter.Transparency(), c.transparency);
    EXPECT_FALSE(filter.EncryptionActive());
    // Forced values stay.
    filter.SetPDFVersion(TPDFVersion::pv16);
    filter.SetEmbeddedFonts(false);
    filter.SetTransparency(true);
    EXPECT_EQ(filter.PDFVersion(), c.version);
    EXPECT_TRUE(filter.EmbeddedFonts());
    EXPECT_EQ(filter.Transparency(), c.transparency);
  }
  TovxPDFExport filter(nullptr, false);
  filter.SetPdfA(true);
  EXPECT_EQ(filter.PDFStandard(), TPDFStandard::psPDFA_2a);
  filter.SetPdfA(false);
  EXPECT_EQ(filter.PDFStandard(), TPDFStandard::psNone);
  filter.SetPDFVersion(TPDFVersion::pv15);
  EXPECT_EQ(filter.PDFVersion(), TPDFVersion::pv15);
}

TEST(PdfExportSettings, ProtectionFlagsGiveThePermissionValue) {
  TovxPDFExport filter(nullptr, false);
  filter.SetProtectionFlags({});
  EXPECT_EQ(filter.Permissions(), -64);
  filter.SetProtectionFlags(
      {TovxPDFPermission::ePrint, TovxPDFPermission::eCopy, TovxPDFPermission::eAnnot});
  EXPECT_EQ(filter.Permissions(), -12);
  EXPECT_FALSE(filter.EncryptionActive());
  filter.SetOwnerPassword(QStringLiteral("x"));
  EXPECT_TRUE(filter.EncryptionActive());
}

TEST(PdfExportSettings, NamesOfStandardsAndVersions) {
  for (int i = 0; i < 7; ++i) {
    const auto standard = static_cast<TPDFStandard>(i);
    EXPECT_EQ(PdfStandardFromName(PdfStandardName(standard)), standard);
  }
  for (int i = 0; i < 4; ++i) {
    const auto version = static_cast<TPDFVersion>(i);
    EXPECT_EQ(PdfVersionFromName(PdfVersionName(version)), version);
  }
  EXPECT_EQ(PdfStandardName(TPDFStandard::psPDFA_2b), u"PDF/A-2b");
  try {
    PdfStandardFromName(QStringLiteral("PDF/X"));
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), u"Unknown/unsupported PDF standard: \"PDF/X\"");
  }
  try {
    PdfVersionFromName(QStringLiteral("2.0"));
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), u"Unknown/unsupported PDF version: \"2.0\"");
  }
}

}  // namespace
}  // namespace ovx
