// Reading resource documents: their texts, code pages and entities.
//
// A resource document is `<Resources CodePage="N">` with `<StrRes Name=""
// Text=""/>` children. Texts are UTF-8; older language files were saved in
// their own code page, so a text that is not valid UTF-8 is decoded with the
// document's code page. Entities are decoded only after that, on UTF-16
// text: decoding them on bytes first would splice UTF-8 into a text in
// another code page, and a reference above U+FFFF needs a surrogate pair.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

namespace ovx {
class Stream;
}

namespace ovx::resources_internal {

inline constexpr int kDefaultCodePage = 936;

struct ResourceDocument {
  bool is_resources = false;                         // the root element is named Resources
  int code_page = 0;                                 // 0 when the root gives no usable CodePage
  std::vector<std::pair<QString, QString>> strings;  // name, decoded text, in document order
};

// Reads a whole document from `stream`. Throws TovxInvalidXMLException for
// malformed XML.
ResourceDocument ReadResourceDocument(Stream& stream);

// One left-to-right pass: "&#N;" (decimal, a Unicode scalar value) becomes
// that character, "&quot;", "&amp;", "&lt;" and "&gt;" their characters;
// anything else, an unterminated reference included, stays as it is. What a
// replacement produces is never looked at again, so "&#38;#34;" gives
// "&#34;".
QString DecodeEntities(QStringView text);

// Bytes of code page `code_page` (a Windows code page number; 65001 is
// UTF-8) as UTF-16. Undecodable bytes become U+FFFD; a code page the system
// cannot convert is read as UTF-8 when valid, else as GBK.
QString DecodeCodePage(const QByteArray& bytes, int code_page);

// UTF-8 when `bytes` are valid UTF-8, otherwise the code page.
QString DecodeResourceBytes(const QByteArray& bytes, int code_page);

}  // namespace ovx::resources_internal
