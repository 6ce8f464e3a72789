// The raw Text attribute is taken from the element, not through the XML
// layer's unescaping: that works on bytes, and entities must be decoded after
// the code page (see the header).
#include "resources/internal/resource_text.h"

#include "base/stream.h"
#include "base/text_codec.h"
#include "report/storage/xml_attributes.h"
#include "report/storage/xml_document.h"

#include <iconv.h>
#include <cerrno>
#include <charconv>
#include <string>

namespace ovx::resources_internal {
namespace {

constexpr int kUtf8CodePage = 65001;

// The iconv name of a Windows code page, or empty for UTF-8.
std::string IconvName(int code_page) {
  switch (code_page) {
    case kUtf8CodePage:
      return {};
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 20127:
      return "ASCII";
    case 54936:
      return "GB18030";
    default:
      break;
  }
  if (code_page >= 28591 && code_page <= 28599) {
    return "ISO-8859-" + std::to_string(code_page - 28590);
  }
  return "CP" + std::to_string(code_page);
}

// Converts with iconv; false when the system has no converter for `from`.
bool IconvDecode(const QByteArray& bytes, const char* from, QString& out) {
  iconv_t handle = iconv_open("UTF-16LE", from);
  if (handle == reinterpret_cast<iconv_t>(-1)) return false;
  QByteArray utf16(bytes.size() * 4 + 16, Qt::Uninitialized);
  char* in = const_cast<char*>(bytes.constData());
  size_t in_left = static_cast<size_t>(bytes.size());
  qsizetype used = 0;
  auto append_replacement = [&] {
    if (utf16.size() - used < 2) utf16.resize(utf16.size() * 2);
    utf16[used++] = static_cast<char>(0xFD);
    utf16[used++] = static_cast<char>(0xFF);
  };
  while (in_left > 0) {
    char* cursor = utf16.data() + used;
    size_t out_left = static_cast<size_t>(utf16.size() - used);
    const size_t result = iconv(handle, &in, &in_left, &cursor, &out_left);
    used = cursor - utf16.data();
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      utf16.resize(utf16.size() * 2);
    } else {
      // EILSEQ or a truncated sequence at the end: mark it and go on.
      append_replacement();
      ++in;
      --in_left;
      iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(handle);
  out = QString(reinterpret_cast<const QChar*>(utf16.constData()), used / 2);
  return true;
}

void AppendCodePoint(char32_t code_point, QString& out) {
  if (code_point > 0xFFFF) {
    out += QChar(QChar::highSurrogate(code_point));
    out += QChar(QChar::lowSurrogate(code_point));
  } else {
    out += QChar(static_cast<char16_t>(code_point));
  }
}

// Decodes the reference starting at `text[at]` ("&"); answers the index
// after it, or -1 when it is not one this dialect knows.
qsizetype DecodeReference(QStringView text, qsizetype at, QString& out) {
  static constexpr struct {
    QStringView name;
    QChar value;
  } kNamed[] = {{u"quot;", u'"'}, {u"amp;", u'&'}, {u"lt;", u'<'}, {u"gt;", u'>'}};
  const QStringView rest = text.mid(at + 1);
  if (rest.startsWith(u'#')) {
    char32_t value = 0;
    bool too_large = false;
    qsizetype i = 1;
    for (; i < rest.size() && rest[i] >= u'0' && rest[i] <= u'9'; ++i) {
      value = value * 10 + (rest[i].unicode() - u'0');
      if (value > 0x10FFFF) {
        too_large = true;
        value = 0x110000;  // keeps the arithmetic from wrapping
      }
    }
    const bool terminated = i > 1 && i < rest.size() && rest[i] == u';';
    if (!terminated || too_large || (value >= 0xD800 && value <= 0xDFFF)) return -1;
    AppendCodePoint(value, out);
    return at + 1 + i + 1;
  }
  for (const auto& entity : kNamed) {
    if (rest.startsWith(entity.name)) {
      out += entity.value;
      return at + 1 + entity.name.size();
    }
  }
  return -1;
}

int ParseCodePage(const QByteArray& raw) {
  int value = 0;
  const char* begin = raw.constData();
  const char* end = begin + raw.size();
  const auto [last, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || last != end || value <= 0) return 0;
  return value;
}

}  // namespace

QString DecodeEntities(QStringView text) {
  QString out;
  out.reserve(text.size());
  qsizetype i = 0;
  while (i < text.size()) {
    const qsizetype amp = text.indexOf(u'&', i);
    if (amp < 0) {
      out += text.mid(i);
      break;
    }
    out += text.mid(i, amp - i);
    const qsizetype next = DecodeReference(text, amp, out);
    if (next < 0) {
      out += u'&';
      i = amp + 1;
    } else {
      i = next;
    }
  }
  return out;
}

QString DecodeCodePage(const QByteArray& bytes, int code_page) {
  const std::string name = IconvName(code_page);
  if (name.empty()) return QString::fromUtf8(bytes);
  QString out;
  if (IconvDecode(bytes, name.c_str(), out)) return out;
  return DecodeNarrow(bytes);
}

QString DecodeResourceBytes(const QByteArray& bytes, int code_page) {
  if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes);
  return DecodeCodePage(bytes, code_page);
}

ResourceDocument ReadResourceDocument(Stream& stream) {
  TovxXMLDocument xml;
  xml.LoadFromStream(stream);
  ResourceDocument document;
  const TovxXMLItem* root = xml.Root();
  if (root->Name().compare("Resources", Qt::CaseInsensitive) != 0) return document;
  document.is_resources = true;
  document.code_page = ParseCodePage(root->Prop("CodePage").trimmed());
  const int code_page = document.code_page != 0 ? document.code_page : kDefaultCodePage;
  document.strings.reserve(root->Count());
  for (int i = 0; i < root->Count(); ++i) {
    const TovxXMLItem* item = root->Items(i);
    if (item->Name().compare("StrRes", Qt::CaseInsensitive) != 0) continue;
    XmlAttributeSpan name;
    if (!FindXmlAttribute(item->Text(), "Name", name)) continue;
    XmlAttributeSpan text;
    const bool has_text = FindXmlAttribute(item->Text(), "Text", text);
    document.strings.emplace_back(
        DecodeEntities(DecodeResourceBytes(name.raw_value.toByteArray(), code_page)),
        has_text ? DecodeEntities(DecodeResourceBytes(text.raw_value.toByteArray(), code_page))
                 : QString());
  }
  return document;
}

}  // namespace ovx::resources_internal
