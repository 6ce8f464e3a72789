// The document writer: file structure, deterministic output, document
// information, outline, links, images, protection and PDF/A, checked on
// the bytes and, where installed, with qpdf and poppler.
#include "export/pdf_writer.h"
#include "base/error.h"
#include "export/internal/pdf_metadata.h"
#include "export/pdf_objects.h"
#include "export/pdf_security.h"
#include "tests/export/pdf_test_support.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <limits>

#include <gtest/gtest.h>

namespace ovx {
namespace {

using test::PlainOptions;
using test::WriteDocument;

// Two pages with a line of content each.
void TwoPages(PdfDocument& document, PdfPageContent& content) {
  for (int i = 0; i < 2; ++i) {
    content.BeginPage(200, 100, 5, 5, i);
    document.Content() += "0 0 1 rg 10 10 50 20 re f\r\n";
    content.EndPage();
  }
}

QString TempFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  EXPECT_TRUE(test::WriteFile(path, bytes));
  return path;
}

TEST(PdfWriter, CrossReferenceTablePointsAtEveryObject) {
  const QByteArray pdf = WriteDocument(PlainOptions(), TwoPages);
  ASSERT_TRUE(pdf.startsWith("%PDF-1.7\r\n%\xE2\xE3\xCF\xD3\r\n"));
  ASSERT_TRUE(pdf.endsWith("%%EOF\r\n"));

  const qsizetype startxref = pdf.lastIndexOf("startxref\r\n");
  ASSERT_GT(startxref, 0);
  const qint64 xref = pdf.mid(startxref + 11).split('\r').first().toLongLong();
  ASSERT_TRUE(pdf.mid(xref).startsWith("xref\r\n0 "));
  const QList<QByteArray> header = pdf.mid(xref + 6).split('\r').first().split(' ');
  const int size = header[1].toInt();
  const qsizetype entries = pdf.indexOf("\r\n", xref + 6) + 2;
  // Each entry is exactly 20 bytes; the first is the free head.
  EXPECT_EQ(pdf.mid(entries, 20), "0000000000 65535 f\r\n");
  for (int n = 1; n < size; ++n) {
    const QByteArray entry = pdf.mid(entries + 20 * n, 20);
    ASSERT_TRUE(entry.endsWith(" 00000 n\r\n")) << entry.constData();
    const qint64 offset = entry.left(10).toLongLong();
    EXPECT_TRUE(pdf.mid(offset).startsWith(QByteArray::number(n) + " 0 obj\r\n")) << n;
  }
  EXPECT_TRUE(pdf.mid(entries + 20 * size)
                  .startsWith("trailer\r\n<<\r\n/Size " + QByteArray::number(size) + "\r\n"));
  EXPECT_TRUE(pdf.contains("/Count 2\r\n"));
  EXPECT_TRUE(pdf.contains("/MediaBox [0 0 150.00 75.00 ]"));
}

TEST(PdfWriter, FixedIdentifierAndDateGiveIdenticalBytes) {
  PdfDocumentOptions options = PlainOptions();
  options.compressed = true;
  const QByteArray first = WriteDocument(options, TwoPages);
  const QByteArray second = WriteDocument(options, TwoPages);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(first.contains("/CreationDate (D:20000101000000+00'00')"));
  EXPECT_TRUE(first.contains("/ID [<" + PdfFixedId().toHex() + "><" + PdfFixedId().toHex() + ">]"));

  // Without them every file has an identifier of its own.
  options.fixed_id.reset();
  EXPECT_NE(WriteDocument(options, TwoPages), WriteDocument(options, TwoPages));
}

TEST(PdfWriter, InformationAndViewerPreferences) {
  PdfDocumentOptions options = PlainOptions();
  options.title = QString::fromUtf16(u"A(b)\u5C28");
  options.author = QStringLiteral("Ilmar");
  options.hide_toolbar = true;
  const QByteArray pdf = WriteDocument(options, TwoPages);
  QByteArray title = "/Title (";
  title += QByteArray(
      "\xFE\xFF\x00"
      "A\x00\\(\x00"
      "b\x00\\)\\\\\\(",
      16);
  EXPECT_TRUE(pdf.contains(title));
  EXPECT_TRUE(
      pdf.contains("/DisplayDocTitle true\r\n/HideToolbar true\r\n/PrintScaling /None\r\n"));
  EXPECT_FALSE(pdf.contains("/HideMenubar"));
  EXPECT_FALSE(pdf.contains("/Marked true"));  // the file has no logical structure

  VELMORA_REQUIRE_TOOL(pdfinfo);
  QTemporaryDir dir;
  const QString path = TempFile(dir, QStringLiteral("info.pdf"), pdf);
  const test::ToolResult info = test::RunTool(tool_pdfinfo, {path});
  ASSERT_EQ(info.exit_code, 0) << info.err.constData();
  const QString text = QString::fromUtf8(info.out);
  auto field = [&](const QString& name) {
    const QRegularExpression line(u'^' + name + QStringLiteral(":\\s+(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
  };
  EXPECT_EQ(field(QStringLiteral("Title")), QString::fromUtf16(u"A(b)\u5C28"))
      << info.out.constData();
  EXPECT_EQ(field(QStringLiteral("Author")), QStringLiteral("Ilmar"));
  EXPECT_EQ(field(QStringLiteral("Pages")), QStringLiteral("2"));
}

TEST(PdfWriter, QpdfFindsNoFaultInPlainCompressedProtectedAndPdfAFiles) {
  VELMORA_REQUIRE_TOOL(qpdf);
  QTemporaryDir dir;
  PdfDocumentOptions plain = PlainOptions();
  PdfDocumentOptions compressed = PlainOptions();
  compressed.compressed = true;
  PdfDocumentOptions secret = compressed;
  secret.user_password = QStringLiteral("user");
  secret.owner_password = QStringLiteral("owner");
  PdfDocumentOptions pdfa = compressed;
  pdfa.pdfa_part = 2;
  int n = 0;
  for (const PdfDocumentOptions& options : {plain, compressed, secret, pdfa}) {
    const QString path =
        TempFile(dir, QStringLiteral("f%1.pdf").arg(n++), WriteDocument(options, TwoPages));
    const test::ToolResult check = test::RunTool(
        tool_qpdf, {QStringLiteral("--password=user"), QStringLiteral("--check"), path});
    EXPECT_EQ(check.exit_code, 0) << check.out.constData() << check.err.constData();
  }
}

TEST(PdfWriter, ProtectionUsesRevision3AndEncryptsStringsAndLinks) {
  VELMORA_REQUIRE_TOOL(qpdf);
  PdfDocumentOptions options = PlainOptions();
  options.user_password = QStringLiteral("user");
  options.owner_password = QStringLiteral("owner");
  options.protection_flags = kPdfPermitPrint | kPdfPermitCopy | kPdfPermitAnnotate;
  const QString uri = QStringLiteral("http://example.org/a\\b(c)");
  const QByteArray pdf =
      WriteDocument(options, [&](PdfDocument& document, PdfPageContent& content) {
        content.BeginPage(200, 100, 5, 5, 0);
        PdfLink link;
        link.right = 10;
        link.top = 10;
        link.uri = uri;
        document.AddLink(link);
        document.Content() += "BT /F0 12 Tf (Secret page text) Tj ET\r\n";
        content.EndPage();
      });
  EXPECT_TRUE(pdf.contains("/Filter /Standard\r\n/V 2\r\n/R 3\r\n/Length 128\r\n/P -12\r\n"));
  EXPECT_FALSE(pdf.contains("example.org"));
  EXPECT_FALSE(pdf.contains("Secret page text"));
  EXPECT_FALSE(pdf.contains("Test"));  // the title

  QTemporaryDir dir;
  const QString path = TempFile(dir, QStringLiteral("secret.pdf"), pdf);
  const test::ToolResult shown = test::RunTool(
      tool_qpdf, {QStringLiteral("--password=owner"), QStringLiteral("--show-encryption"), path});
  ASSERT_EQ(shown.exit_code, 0) << shown.err.constData();
  EXPECT_TRUE(shown.out.contains("R = 3")) << shown.out.constData();
  EXPECT_TRUE(shown.out.contains("P = -12"));
  EXPECT_TRUE(shown.out.contains("print low resolution: allowed")) << shown.out.constData();
  EXPECT_TRUE(shown.out.contains("modify other: not allowed")) << shown.out.constData();
  EXPECT_TRUE(shown.out.contains("extract for any purpose: allowed"));

  // Both passwords open the file; a wrong one does not.
  for (const char* password : {"user", "owner"}) {
    const QString out = dir.filePath(QStringLiteral("plain-%1.pdf").arg(password));
    const test::ToolResult decrypted =
        test::RunTool(tool_qpdf, {QStringLiteral("--password=%1").arg(password),
                                  QStringLiteral("--decrypt"), QStringLiteral("--qdf"), path, out});
    ASSERT_EQ(decrypted.exit_code, 0) << decrypted.err.constData();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray plain = file.readAll();
    EXPECT_TRUE(plain.contains("Secret page text"));
    // The address comes back escaped like every PDF string.
    EXPECT_TRUE(plain.contains("/URI (http://example.org/a\\\\b\\(c\\))")) << password;
  }
  const test::ToolResult wrong = test::RunTool(
      tool_qpdf, {QStringLiteral("--password=nope"), QStringLiteral("--check"), path});
  EXPECT_NE(wrong.exit_code, 0);
}

TEST(PdfWriter, IdenticalImagesAreStoredOnce) {
  int written = 0;
  const QByteArray pdf =
      WriteDocument(PlainOptions(), [&](PdfDocument& document, PdfPageContent& content) {
        PdfImage a{QByteArray("\xFF\xD8 jpeg one"), 2, 2, {}};
        PdfImage b{QByteArray("\xFF\xD8 jpeg two"), 2, 2, {}};
        for (int i = 0; i < 3; ++i) {
          content.BeginPage(200, 100, 5, 5, i);
          EXPECT_EQ(document.UseImage(a), "/Im0");
          EXPECT_EQ(document.UseImage(b), "/Im1");
          EXPECT_EQ(document.UseImage(a), "/Im0");
          content.EndPage();
        }
        written = document.ImageCount();
      });
  EXPECT_EQ(written, 2);
  EXPECT_EQ(pdf.count("/Subtype /Image"), 2);
  EXPECT_EQ(pdf.count("/XObject << /Im0 "), 3);
}

TEST(PdfWriter, EqualTilingPatternsAreStoredOnceAndListedPerPage) {
  PdfTilingPattern a;
  a.cell = "1 0 0 rg\r\n0 0 1 1 re\r\nf\r\n";
  a.bbox = {0, 0, 8, 8};
  a.x_step = a.y_step = 8;
  a.matrix = {0.75, 0, 0, -0.75, 10, 700};
  PdfTilingPattern moved = a;  // another origin is another pattern
  moved.matrix[4] = 10.5;
  int written = 0;
  const QByteArray pdf =
      WriteDocument(PlainOptions(), [&](PdfDocument& document, PdfPageContent& content) {
        for (int i = 0; i < 2; ++i) {
          content.BeginPage(200, 100, 5, 5, i);
          EXPECT_EQ(document.UsePattern(a), "/P0");
          EXPECT_EQ(document.UsePattern(moved), "/P1");
          EXPECT_EQ(document.UsePattern(a), "/P0");
          content.EndPage();
        }
        written = document.PatternCount();
      });
  EXPECT_EQ(written, 2);
  EXPECT_EQ(pdf.count("/Type /Pattern"), 2);
  EXPECT_EQ(pdf.count("/Pattern << /P0 "), 2);
  EXPECT_TRUE(
      pdf.contains("/PatternType 1/PaintType 1/TilingType 1/BBox [0 0 8 8]/XStep 8"
                   "/YStep 8/Matrix [0.75 0 0 -0.75 10 700]/Resources <<"));
}

TEST(PdfWriter, PatternsWithoutAnAreaAreRefused) {
  // Readers divide by the steps and fill the box: an empty or NaN one
  // must never reach the file.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double step;
    double box_right;
    double matrix_a;
  };
  for (const Case& c : {Case{0, 8, 1}, Case{8, 0, 1}, Case{nan, 8, 1}, Case{8, nan, 1},
                        Case{8, 8, std::numeric_limits<double>::infinity()}}) {
    MemoryStream out;
    PdfDocument document(out, PlainOptions());
    document.Begin();
    document.BeginPage(100, 100, 0);
    PdfTilingPattern p;
    p.cell = "f\r\n";
    p.x_step = c.step;
    p.bbox = {0, 0, c.box_right, 8};
    p.matrix[0] = c.matrix_a;
    EXPECT_THROW(document.UsePattern(p), Error) << c.step << ' ' << c.box_right;
    EXPECT_EQ(document.PatternCount(), 0);
  }
}

TEST(PdfWriter, ImagesWithAMaskCarryASoftMask) {
  const QByteArray pdf =
      WriteDocument(PlainOptions(), [&](PdfDocument& document, PdfPageContent& content) {
        content.BeginPage(200, 100, 5, 5, 0);
        document.UseImage({QByteArray("\xFF\xD8 jpeg"), 2, 1, QByteArray("\x00\xFF", 2)});
        content.EndPage();
      });
  EXPECT_TRUE(pdf.contains("/SMask "));
  EXPECT_TRUE(pdf.contains("/ColorSpace /DeviceGray"));
}

TEST(PdfWriter, OutlineItemsPointAtTheirPages) {
  PdfDocumentOptions options = PlainOptions();
  options.outline = true;
  PdfOutlineNode chapter{QStringLiteral("Chapter"), 1, 40, {}};
  chapter.children.push_back({QStringLiteral("Section"), 1, 80, {}});
  const QByteArray pdf = WriteDocument(
      options, TwoPages, {}, {PdfOutlineNode{QStringLiteral("Start"), 0, 0, {}}, chapter});
  EXPECT_TRUE(pdf.contains("/PageMode /UseOutlines\r\n/Outlines "));
  EXPECT_TRUE(pdf.contains("/Type /Outlines\r\n/Count 3\r\n"));
  // Page height 75 points less the top in points.
  EXPECT_TRUE(pdf.contains(" /XYZ 0 45 0]"));
  EXPECT_TRUE(pdf.contains(" /XYZ 0 15 0]"));

  // Outline set without items: the page mode stays, no outline object.
  const QByteArray empty = WriteDocument(options, TwoPages);
  EXPECT_TRUE(empty.contains("/PageMode /UseOutlines"));
  EXPECT_FALSE(empty.contains("/Outlines"));

  VELMORA_REQUIRE_TOOL(qpdf);
  QTemporaryDir dir;
  const test::ToolResult check = test::RunTool(
      tool_qpdf, {QStringLiteral("--check"), TempFile(dir, QStringLiteral("o.pdf"), pdf)});
  EXPECT_EQ(check.exit_code, 0) << check.out.constData();
}

TEST(PdfWriter, InternalLinksPointAtPagesWrittenLater) {
  const QByteArray pdf =
      WriteDocument(PlainOptions(), [&](PdfDocument& document, PdfPageContent& content) {
        for (int i = 0; i < 2; ++i) {
          content.BeginPage(200, 100, 5, 5, i);
          if (i == 0) {
            PdfLink link;
            link.right = 10;
            link.top = 10;
            link.target_page = 1;
            link.target_top = 20;
            document.AddLink(link);
          }
          content.EndPage();
        }
      });
  const QRegularExpression dest(QStringLiteral("/Dest \\[(\\d+) 0 R /XYZ null 60.00 null\\]"));
  const QRegularExpressionMatch match = dest.match(QString::fromLatin1(pdf));
  ASSERT_TRUE(match.hasMatch());
  // The destination is the second page object.
  const QByteArray page = match.captured(1).toLatin1() + " 0 obj\r\n<<\r\n/Type /Page";
  EXPECT_GT(pdf.indexOf(page), pdf.indexOf("/Annots ["));
}

TEST(PdfWriter, PdfAFileDeclaresLevelBAndOmitsWhatPdfAForbids) {
  PdfDocumentOptions options = PlainOptions();
  options.version = "1.4";
  options.pdfa_part = 1;
  options.user_password = QStringLiteral("ignored");
  options.transparency = true;
  options.title = QStringLiteral("<Tom & \"Jerry\">");
  const QByteArray pdf = WriteDocument(options, TwoPages);
  EXPECT_TRUE(pdf.startsWith("%PDF-1.4"));
  EXPECT_FALSE(pdf.contains("/Encrypt"));
  EXPECT_FALSE(pdf.contains("/Group"));
  EXPECT_TRUE(pdf.contains("/OutputIntents [ "));
  EXPECT_TRUE(pdf.contains("/S /GTS_PDFA1"));
  EXPECT_TRUE(pdf.contains("<pdfaid:part>1</pdfaid:part>"));
  EXPECT_TRUE(pdf.contains("<pdfaid:conformance>B</pdfaid:conformance>"));
  EXPECT_TRUE(pdf.contains("&lt;Tom &amp; &quot;Jerry&quot;&gt;"));
}

TEST(PdfWriter, PdfAFileThatFailsACheckClaimsNoLevel) {
  // A soft mask is transparency, which part 1 forbids; part 2 allows it.
  for (const int part : {1, 2}) {
    PdfDocumentOptions options = PlainOptions();
    options.pdfa_part = part;
    MemoryStream out;
    PdfDocument document(out, options);
    PdfPageContent content(document, {});
    document.Begin();
    content.BeginPage(200, 100, 5, 5, 0);
    PdfImage image;
    image.jpeg = "not really a JPEG";
    image.width = 1;
    image.height = 1;
    image.alpha = QByteArray(1, '\x80');
    document.Content() += document.UseImage(image) + " Do\r\n";
    content.EndPage();
    document.Finish();
    const QByteArray pdf = out.Data();
    SCOPED_TRACE(part);
    EXPECT_EQ(document.PdfAFailures().isEmpty(), part == 2);
    EXPECT_EQ(pdf.contains("<pdfaid:part>"), part == 2);
    // The rest of the PDF/A objects stay.
    EXPECT_TRUE(pdf.contains("/Type /Metadata"));
    EXPECT_TRUE(pdf.contains("/S /GTS_PDFA1"));
  }
}

TEST(PdfMetadata, XmpPacketParsesWhateverTheValues) {
  pdf_internal::XmpValues values;
  values.title = QString::fromUtf16(u"<a href='x'>&amp;</a> \u6587");
  values.author = QStringLiteral(
      "bad\x01"
      "control");
  values.subject = QString(QChar(0xD800));  // a lone surrogate
  values.keywords = QStringLiteral("]]> -->");
  values.version = "1.7";
  values.time = PdfFixedTime();
  values.file_id = PdfFixedId();
  const QByteArray packet = pdf_internal::XmpPacket(values);
  QXmlStreamReader reader(packet);
  QString title;
  while (!reader.atEnd()) {
    if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"li" &&
        title.isEmpty()) {
      title = reader.readElementText();
    }
  }
  EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
  EXPECT_EQ(title, values.title);
  EXPECT_TRUE(packet.contains("<xmp:CreateDate>2000-01-01T00:00:00+00:00</xmp:CreateDate>"));
}

TEST(PdfMetadata, SrgbProfileIsAWellFormedIccProfile) {
  const QByteArray profile = pdf_internal::SrgbIccProfile();
  ASSERT_GE(profile.size(), 132);
  const auto be32 = [&](qsizetype at) {
    return (quint32(quint8(profile[at])) << 24) | (quint32(quint8(profile[at + 1])) << 16) |
           (quint32(quint8(profile[at + 2])) << 8) | quint32(quint8(profile[at + 3]));
  };
  EXPECT_EQ(be32(0), quint32(profile.size()));
  EXPECT_EQ(profile.mid(12, 4), "mntr");
  EXPECT_EQ(profile.mid(16, 4), "RGB ");
  EXPECT_EQ(profile.mid(36, 4), "acsp");
  const quint32 tags = be32(128);
  EXPECT_EQ(tags, 9u);
  for (quint32 i = 0; i < tags; ++i) {
    const quint32 offset = be32(132 + 12 * i + 4);
    const quint32 size = be32(132 + 12 * i + 8);
    EXPECT_EQ(offset % 4, 0u);
    EXPECT_LE(offset + size, quint32(profile.size())) << profile.mid(132 + 12 * i, 4).constData();
  }

  VELMORA_REQUIRE_TOOL(convert);
  QTemporaryDir dir;
  const QString icc = TempFile(dir, QStringLiteral("srgb.icc"), profile);
  const test::ToolResult converted = test::RunTool(
      tool_convert, {QStringLiteral("-size"), QStringLiteral("2x2"), QStringLiteral("xc:red"),
                     QStringLiteral("-profile"), icc, dir.filePath(QStringLiteral("out.png"))});
  EXPECT_EQ(converted.exit_code, 0) << converted.err.constData();
}

}  // namespace
}  // namespace ovx
