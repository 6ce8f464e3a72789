// The XMP packet uses only properties of the schemas that PDF/A predefines
// (Dublin Core, XMP basic, Adobe PDF, XMP media management, PDF/A
// identification), so it needs no extension schema description. Each
// document-information entry has its XMP twin with the same value, as
// PDF/A requires: Title - dc:title, Author - dc:creator, Subject -
// dc:description, Keywords - pdf:Keywords, Creator - xmp:CreatorTool,
// Producer - pdf:Producer, the dates - xmp:CreateDate and ModifyDate.
#include "export/internal/pdf_metadata.h"

#include <QtEndian>

#include <cmath>
#include <cstdint>

namespace ovx::pdf_internal {
namespace {

// Text as XML character data: markup characters escaped, and characters
// XML 1.0 cannot hold at all (controls, lone surrogates) replaced by U+FFFD
// so that the packet always parses.
QByteArray XmlText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    const char16_t u = c.unicode();
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      out += c;
      out += text[++i];
      continue;
    }
    if (c.isSurrogate() || (u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE ||
        u == 0xFFFF) {
      out += QChar(0xFFFD);
      continue;
    }
    switch (u) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      default:
        out += c;
    }
  }
  return out.toUtf8();
}

QByteArray Uuid(const QByteArray& id) {
  const QByteArray hex = id.toHex();
  return "uuid:" + hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' +
         hex.mid(16, 4) + '-' + hex.mid(20, 12);
}

// --- ICC profile ---------------------------------------------------------------------

void Put32(QByteArray& out, std::uint32_t value) {
  char bytes[4];
  qToBigEndian(value, bytes);
  out.append(bytes, 4);
}

void Put16(QByteArray& out, std::uint16_t value) {
  char bytes[2];
  qToBigEndian(value, bytes);
  out.append(bytes, 2);
}

void PutTag(QByteArray& out, const char (&signature)[5]) { out.append(signature, 4); }

std::uint32_t S15Fixed16(double value) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * 65536.0)));
}

QByteArray XyzTag(double x, double y, double z) {
  QByteArray data;
  PutTag(data, "XYZ ");
  Put32(data, 0);
  Put32(data, S15Fixed16(x));
  Put32(data, S15Fixed16(y));
  Put32(data, S15Fixed16(z));
  return data;
}

QByteArray DescriptionTag(const QByteArray& ascii) {
  QByteArray data;
  PutTag(data, "desc");
  Put32(data, 0);
  Put32(data, static_cast<std::uint32_t>(ascii.size() + 1));
  data += ascii;
  data += '\0';
  Put32(data, 0);  // Unicode language
  Put32(data, 0);  // Unicode count
  Put16(data, 0);  // ScriptCode code
  data += '\0';    // ScriptCode count
  data.append(67, '\0');
  return data;
}

QByteArray TextTag(const QByteArray& ascii) {
  QByteArray data;
  PutTag(data, "text");
  Put32(data, 0);
  data += ascii;
  data += '\0';
  return data;
}

QByteArray SrgbCurveTag() {
  constexpr int kSteps = 1024;
  QByteArray data;
  PutTag(data, "curv");
  Put32(data, 0);
  Put32(data, kSteps);
  for (int i = 0; i < kSteps; ++i) {
    const double v = double(i) / (kSteps - 1);
    const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    Put16(data, static_cast<std::uint16_t>(std::lround(linear * 65535.0)));
  }
  return data;
}

}  // namespace

QByteArray XmpPacket(const XmpValues& v) {
  const QByteArray date =
      v.time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "+00:00";
  const QByteArray id = Uuid(v.file_id);
  QByteArray x;
  x += "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n";
  x += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Velmora PDF export\">\n";
  x += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
  x += "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
  x += "<dc:format>application/pdf</dc:format>\n";
  x += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(v.title) +
       "</rdf:li></rdf:Alt></dc:title>\n";
  x += "<dc:creator><rdf:Seq><rdf:li>" + XmlText(v.author) + "</rdf:li></rdf:Seq></dc:creator>\n";
  x += "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(v.subject) +
       "</rdf:li></rdf:Alt></dc:description>\n";
  x += "</rdf:Description>\n";
  x += "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n";
  x += "<xmp:CreatorTool>" + XmlText(v.creator) + "</xmp:CreatorTool>\n";
  x += "<xmp:CreateDate>" + date + "</xmp:CreateDate>\n";
  x += "<xmp:ModifyDate>" + date + "</xmp:ModifyDate>\n";
  x += "<xmp:MetadataDate>" + date + "</xmp:MetadataDate>\n";
  x += "</rdf:Description>\n";
  x += "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
  x += "<pdf:Producer>" + XmlText(v.producer) + "</pdf:Producer>\n";
  x += "<pdf:Keywords>" + XmlText(v.keywords) + "</pdf:Keywords>\n";
  x += "<pdf:PDFVersion>" + v.version + "</pdf:PDFVersion>\n";
  x += "</rdf:Description>\n";
  x += "<rdf:Description rdf:about=\"\" xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\">\n";
  x += "<xmpMM:DocumentID>" + id + "</xmpMM:DocumentID>\n";
  x += "<xmpMM:InstanceID>" + id + "</xmpMM:InstanceID>\n";
  x += "</rdf:Description>\n";
  if (v.part > 0) {
    x += "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n";
    x += "<pdfaid:part>" + QByteArray::number(v.part) + "</pdfaid:part>\n";
    x += "<pdfaid:conformance>" + QByteArray(1, v.conformance) + "</pdfaid:conformance>\n";
    x += "</rdf:Description>\n";
  }
  x += "</rdf:RDF>\n</x:xmpmeta>\n";
  // Room for editors to change the packet in place.
  for (int i = 0; i < 20; ++i) x += QByteArray(99, ' ') + '\n';
  x += "<?xpacket end=\"w\"?>";
  return x;
}

QByteArray SrgbIccProfile() {
  struct Tag {
    const char* signature;
    QByteArray data;
  };
  const QByteArray curve = SrgbCurveTag();
  // The three tone curves share one data block.
  const Tag tags[] = {
      {"desc", DescriptionTag("sRGB IEC61966-2.1")},
      {"cprt", TextTag("No copyright, use freely")},
      {"wtpt", XyzTag(0.950455, 1.0, 1.089050)},
      {"rXYZ", XyzTag(0.436066, 0.222488, 0.013916)},
      {"gXYZ", XyzTag(0.385147, 0.716873, 0.097076)},
      {"bXYZ", XyzTag(0.143066, 0.060608, 0.714096)},
      {"rTRC", curve},
      {"gTRC", curve},
      {"bTRC", curve},
  };
  constexpr int kTagCount = 9;
  constexpr int kHeaderSize = 128;
  const int table_size = 4 + 12 * kTagCount;

  QByteArray table;
  QByteArray data;
  Put32(table, kTagCount);
  int curve_offset = 0;
  for (const Tag& tag : tags) {
    while (data.size() % 4 != 0) data += '\0';
    int offset = kHeaderSize + table_size + int(data.size());
    const bool shared_curve = tag.data == curve && curve_offset != 0;
    if (shared_curve) {
      offset = curve_offset;
    } else {
      if (tag.data == curve) curve_offset = offset;
      data += tag.data;
    }
    table.append(tag.signature, 4);
    Put32(table, static_cast<std::uint32_t>(offset));
    Put32(table, static_cast<std::uint32_t>(tag.data.size()));
  }
  while (data.size() % 4 != 0) data += '\0';

  QByteArray header;
  Put32(header, static_cast<std::uint32_t>(kHeaderSize + table_size + data.size()));
  Put32(header, 0);           // preferred CMM
  Put32(header, 0x02100000);  // version 2.1
  PutTag(header, "mntr");
  PutTag(header, "RGB ");
  PutTag(header, "XYZ ");
  for (const int field : {2000, 1, 1, 0, 0, 0}) Put16(header, static_cast<std::uint16_t>(field));
  PutTag(header, "acsp");
  Put32(header, 0);  // platform
  Put32(header, 0);  // flags
  Put32(header, 0);  // manufacturer
  Put32(header, 0);  // model
  Put32(header, 0);  // attributes
  Put32(header, 0);
  Put32(header, 0);  // perceptual intent
  Put32(header, S15Fixed16(0.9642));
  Put32(header, S15Fixed16(1.0));
  Put32(header, S15Fixed16(0.8249));
  Put32(header, 0);  // creator
  header.append(kHeaderSize - header.size(), '\0');
  return header + table + data;
}

}  // namespace ovx::pdf_internal
